#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/WaveOut.h"

namespace korvelt {

// The sound card through SDL2's audio output (its audio subsystem only, initialised while
// the device is open). SDL's audio thread copies the queued buffers, in the order they
// were written, into the device; every report goes to the user-interface thread through
// `post`, which queues a call there and may be called from any thread (the application
// gives its UI dispatcher's post).
//
// Without a sound card SDL cannot open a device and open() returns false. For tests,
// SDL_AUDIODRIVER=disk (with SDL_DISKAUDIOFILE) or dummy plays without one.
class SdlWaveOut final : public WaveOut {
public:
    using Post = std::function<void(std::function<void()>)>;

    explicit SdlWaveOut(Post post);
    // Closes the device; reports still on their way are then dropped.
    ~SdlWaveOut() override;

    SdlWaveOut(const SdlWaveOut&) = delete;
    SdlWaveOut& operator=(const SdlWaveOut&) = delete;

    // Opens the default output device in exactly the given format (16-bit little-endian
    // or 8-bit unsigned samples, any channel count and rate SDL accepts); SDL converts
    // when the hardware needs another one.
    bool open(const WaveOutFormat& format, WaveOutListener& listener) override;
    bool write(int buffer, const std::uint8_t* data, std::size_t bytes) override;
    void reset() override;
    void close() override;

    // Why the last open failed (SDL's own words, e.g. "Couldn't open audio device").
    const std::string& lastError() const noexcept { return lastError_; }

private:
    // One opening of the device, shared with the reports on their way to the UI thread.
    // Its flags are read and written on the UI thread only.
    struct Session {
        explicit Session(WaveOutListener& l) : listener(&l) {}
        WaveOutListener* listener;
        // The device of this opening is still open (its opened report is still wanted).
        bool open = true;
        // No later opening has begun (its done reports are still wanted).
        bool current = true;
    };

    struct Queued {
        int buffer = 0;
        const std::uint8_t* data = nullptr;
        std::size_t bytes = 0;
    };

    static void audioCallback(void* self, std::uint8_t* stream, int length) noexcept;
    void fill(std::uint8_t* stream, int length) noexcept;
    void postDone(const std::shared_ptr<Session>& session, int buffer) noexcept;

    Post post_;
    std::uint32_t device_ = 0; // SDL_AudioDeviceID, 0 while closed
    std::string lastError_;

    // Shared with the audio thread, under mutex_. The audio thread posts its reports only
    // after letting go of it, so the UI thread never waits on it for the UI queue.
    std::mutex mutex_;
    std::shared_ptr<Session> session_;
    Queued queue_[2];
    int head_ = 0;
    int count_ = 0;
    std::size_t offset_ = 0; // bytes of the head buffer already played
    std::uint8_t silence_ = 0;
};

} // namespace korvelt
