#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/WaveOut.h"

namespace korvelt {

class Cwavfil;

// Streams a WAVE file opened with Cwavfil::openrd to an output device through two
// buffers of 1 MiB, refilling each one as the device gives it back. It has no thread of
// its own: the window's handlers of the device's reports drive it, all on the
// user-interface thread:
//
//   Listen:        file.exists(), file.openrd(), open(listener)  (false: device busy)
//   opened:        progress 0; queueNext() twice;
//                  if allDone(): release(), file.closeFile(), back to idle
//   done(buffer):  bufferReturned(buffer); progress = progressPercent(); refill();
//                  if allDone(): release(), file.closeFile(), back to idle
//   Stop:          release(), file.closeFile(), back to idle
//   program ends:  shutdown()
//
// The device gives back only what it holds. Nothing can be queued for a file without data
// (or whose first read fails), so no done report will come: the opened handler ends
// playback itself when allDone() is already true. Likewise a Stop while allDone() is true
// (before the opened report) is followed by no done report at all.
//
// position() of the file counts the frames handed to the device, so the progress runs up
// to two buffers (about 6 seconds at 44100 Hz) ahead of what is heard.
//
// The file and the device must outlive the player. The buffers are allocated by open
// only; nothing on the way allocates.
class WavePlayer {
public:
    static constexpr std::size_t kBufferBytes = 1048576;
    // Header flags, as the Windows wave output headers have them.
    static constexpr std::uint32_t kDone = 1;     // the device has given the buffer back
    static constexpr std::uint32_t kPrepared = 2; // handed to the device and not yet released

    // One playback buffer: its data, the bytes handed to the device and its flags.
    struct BufferHeader {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t length = 0;
        std::uint32_t flags = 0;
    };

    WavePlayer(Cwavfil& file, WaveOut& device);
    // Stops the device when it is still open (the program closing during playback) and
    // frees the buffers.
    ~WavePlayer();

    WavePlayer(const WavePlayer&) = delete;
    WavePlayer& operator=(const WavePlayer&) = delete;

    // Allocates the two buffers and opens the device in the file's own format (rate,
    // channels, bits). Nothing is queued yet: the device's opened report does that. False
    // when the device cannot be opened, when it is already open, or when the buffers
    // cannot be allocated.
    bool open(WaveOutListener& listener);

    // Fills the next buffer with up to 1 MiB of the frames not yet handed on and queues it.
    // False (nothing queued) when all frames have been handed on, the device still holds
    // that buffer, the player is not open, the file gives fewer bytes than due, or the
    // device refuses the buffer.
    bool queueNext();

    // Queues again every buffer that the device has given back (buffer 0, then 1).
    void refill();

    // The device holds no buffer of the player.
    bool allDone() const noexcept;

    // The device reports buffer `index` (0 or 1) done. Only a buffer the device still
    // holds is marked done: the reports that arrive after release find nothing to mark.
    void bufferReturned(int index) noexcept;

    // Stops the device, frees both buffers and closes the device. Without an open device
    // it does nothing.
    void release();

    // Stops and closes the device only, for the program's end; the buffers go with the
    // player.
    void shutdown();

    // position x 100 / frames, truncated; 0 for a file without frames.
    int progressPercent() const noexcept;

    bool isOpen() const noexcept { return open_; }
    int nextBuffer() const noexcept { return nextBuffer_; }
    const BufferHeader& header(int index) const noexcept { return headers_[index & 1]; }

private:
    Cwavfil& file_;
    WaveOut& device_;
    bool open_ = false;
    int nextBuffer_ = 0;
    BufferHeader headers_[2];
};

} // namespace korvelt
