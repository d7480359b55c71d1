#include "platform/SdlWaveOut.h"

#include <SDL.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace korvelt {

SdlWaveOut::SdlWaveOut(Post post) : post_(std::move(post)) {}

SdlWaveOut::~SdlWaveOut() {
    close();
    std::lock_guard lock(mutex_);
    if (session_)
        session_->current = false;
}

bool SdlWaveOut::open(const WaveOutFormat& format, WaveOutListener& listener) {
    if (device_ != 0) {
        lastError_ = "The output device is already open";
        return false;
    }
    SDL_AudioSpec wanted{};
    if (format.bitsPerSample == 16)
        wanted.format = AUDIO_S16LSB;
    else if (format.bitsPerSample == 8)
        wanted.format = AUDIO_U8;
    if (wanted.format == 0 || format.channels == 0 || format.channels > 255 ||
        format.sampleRate == 0 || format.sampleRate > INT_MAX) {
        lastError_ = "Unsupported sample format";
        return false;
    }
    wanted.freq = static_cast<int>(format.sampleRate);
    wanted.channels = static_cast<Uint8>(format.channels);
    wanted.samples = 2048;
    wanted.callback = &SdlWaveOut::audioCallback;
    wanted.userdata = this;

    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        lastError_ = SDL_GetError();
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        head_ = 0;
        count_ = 0;
        offset_ = 0;
    }
    SDL_AudioSpec obtained{};
    // No changes allowed: SDL converts to whatever the hardware needs.
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0) {
        lastError_ = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    device_ = device;
    auto session = std::make_shared<Session>(listener);
    {
        std::lock_guard lock(mutex_);
        // Reports of an earlier opening still on their way are dropped from now on.
        if (session_)
            session_->current = false;
        session_ = session;
        silence_ = obtained.silence;
    }
    SDL_PauseAudioDevice(device_, 0);
    post_([session] {
        if (session->open && session->current)
            session->listener->waveOutOpened();
    });
    return true;
}

bool SdlWaveOut::write(int buffer, const std::uint8_t* data, std::size_t bytes) {
    if (device_ == 0 || (buffer != 0 && buffer != 1) || (data == nullptr && bytes != 0))
        return false;
    std::lock_guard lock(mutex_);
    if (count_ == 2 || (count_ == 1 && queue_[head_].buffer == buffer))
        return false;
    queue_[(head_ + count_) % 2] = Queued{buffer, data, bytes};
    ++count_;
    return true;
}

void SdlWaveOut::reset() {
    if (device_ == 0)
        return;
    int returned[2];
    int n = 0;
    std::shared_ptr<Session> session;
    {
        // Once the queue is empty under the lock the audio thread cannot read any of
        // these buffers again.
        std::lock_guard lock(mutex_);
        while (count_ > 0) {
            returned[n++] = queue_[head_].buffer;
            head_ = (head_ + 1) % 2;
            --count_;
        }
        offset_ = 0;
        session = session_;
    }
    for (int i = 0; i < n; ++i)
        postDone(session, returned[i]);
}

void SdlWaveOut::close() {
    if (device_ == 0)
        return;
    // Waits for the audio thread to end: nothing is reported after this.
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    {
        std::lock_guard lock(mutex_);
        count_ = 0;
        offset_ = 0;
        if (session_)
            session_->open = false;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlWaveOut::audioCallback(void* self, std::uint8_t* stream, int length) noexcept {
    static_cast<SdlWaveOut*>(self)->fill(stream, length);
}

// On SDL's audio thread: copies queued bytes into the device's stream, silence when the
// queue runs dry. Nothing here allocates except a report's post, once per used-up buffer.
void SdlWaveOut::fill(std::uint8_t* stream, int length) noexcept {
    int finished[2];
    int n = 0;
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(mutex_);
        auto left = static_cast<std::size_t>(length > 0 ? length : 0);
        while (left > 0 && count_ > 0) {
            const Queued& q = queue_[head_];
            const std::size_t chunk = std::min(left, q.bytes - offset_);
            std::memcpy(stream, q.data + offset_, chunk);
            stream += chunk;
            left -= chunk;
            offset_ += chunk;
            if (offset_ == q.bytes) {
                finished[n++] = q.buffer;
                head_ = (head_ + 1) % 2;
                --count_;
                offset_ = 0;
            }
        }
        // A buffer of no bytes is used up at once, too.
        if (count_ > 0 && queue_[head_].bytes == 0) {
            finished[n++] = queue_[head_].buffer;
            head_ = (head_ + 1) % 2;
            --count_;
        }
        std::memset(stream, silence_, left);
        if (n > 0)
            session = session_;
    }
    for (int i = 0; i < n; ++i)
        postDone(session, finished[i]);
}

void SdlWaveOut::postDone(const std::shared_ptr<Session>& session, int buffer) noexcept {
    try {
        post_([session, buffer] {
            if (session->current)
                session->listener->waveOutDone(buffer);
        });
    } catch (...) {
        // Out of memory on the way to the UI queue: the report is lost, as a device
        // that fails would lose it. Nothing may escape into SDL's thread.
    }
}

} // namespace korvelt
