#include "audio/WavePlayer.h"

#include <algorithm>
#include <new>

#include "audio/Cwavfil.h"
#include "platform/File.h"

namespace korvelt {

namespace {

// The file holds 16-bit stereo frames (openrd accepts nothing else).
constexpr std::int64_t kBytesPerFrame = 4;

} // namespace

WavePlayer::WavePlayer(Cwavfil& file, WaveOut& device) : file_(file), device_(device) {}

WavePlayer::~WavePlayer() {
    // The device must not be left reading buffers that are about to be freed.
    if (open_)
        shutdown();
}

bool WavePlayer::open(WaveOutListener& listener) {
    if (open_)
        return false;
    for (BufferHeader& h : headers_) {
        if (!h.data)
            h.data.reset(new (std::nothrow) std::uint8_t[kBufferBytes]);
        h.length = kBufferBytes;
        h.flags = 0;
    }
    nextBuffer_ = 0;
    const WaveFormat& f = file_.format();
    WaveOutFormat format;
    format.channels = f.channels;
    format.sampleRate = f.sampleRate;
    format.bitsPerSample = f.bitsPerSample;
    if (!headers_[0].data || !headers_[1].data || !device_.open(format, listener)) {
        for (BufferHeader& h : headers_)
            h = BufferHeader{};
        return false;
    }
    open_ = true;
    return true;
}

bool WavePlayer::queueNext() {
    if (!open_)
        return false;
    const std::int64_t position = file_.position();
    const std::int64_t frames = file_.frames();
    if (position >= frames)
        return false;
    BufferHeader& h = headers_[nextBuffer_];
    if ((h.flags & kPrepared) != 0)
        return false;

    const auto n = static_cast<std::size_t>(
        std::min<std::int64_t>((frames - position) * kBytesPerFrame, kBufferBytes));
    const std::int64_t got = file::read(file_.handle(), h.data.get(), n);
    if (got != static_cast<std::int64_t>(n)) {
        // Keep the file's read position at the first frame not handed on.
        if (got > 0)
            file::seekBy(file_.handle(), -got);
        return false;
    }
    h.length = n;
    h.flags = kPrepared;
    if (!device_.write(nextBuffer_, h.data.get(), n)) {
        // The device does not hold it, so no report will come back for it: it must not
        // count as in flight, or playback could never end. The frames were not handed on,
        // so the file goes back to them.
        h.flags = 0;
        file::seekBy(file_.handle(), -static_cast<std::int64_t>(n));
        return false;
    }
    file_.setPosition(position + static_cast<std::int64_t>(n) / kBytesPerFrame);
    nextBuffer_ ^= 1;
    return true;
}

void WavePlayer::refill() {
    for (BufferHeader& h : headers_) {
        if ((h.flags & kDone) != 0) {
            h.flags = 0;
            queueNext();
        }
    }
}

bool WavePlayer::allDone() const noexcept {
    return ((headers_[0].flags | headers_[1].flags) & kPrepared) == 0;
}

void WavePlayer::bufferReturned(int index) noexcept {
    if (index != 0 && index != 1)
        return;
    BufferHeader& h = headers_[index];
    if ((h.flags & kPrepared) != 0)
        h.flags |= kDone;
}

void WavePlayer::release() {
    if (!open_)
        return;
    // After reset the device reads neither buffer any more, so both can go at once.
    device_.reset();
    for (BufferHeader& h : headers_)
        h = BufferHeader{};
    device_.close();
    open_ = false;
}

void WavePlayer::shutdown() {
    if (!open_)
        return;
    device_.reset();
    device_.close();
    open_ = false;
}

int WavePlayer::progressPercent() const noexcept {
    const std::int64_t frames = file_.frames();
    if (frames <= 0)
        return 0;
    return static_cast<int>(std::clamp<std::int64_t>(file_.position() * 100 / frames, 0, 100));
}

} // namespace korvelt
