#include "audio/Cwavfil.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "platform/Path.h"

namespace korvelt {

namespace {

void putLE16(unsigned char* p, std::uint16_t v) noexcept {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putLE32(unsigned char* p, std::uint32_t v) noexcept {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint16_t getLE16(const unsigned char* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t getLE32(const unsigned char* p) noexcept {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Samples are little-endian on disk; on a big-endian host they are swapped in place.
void swapToLittleEndian(std::int16_t* samples, std::size_t count) noexcept {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < count; ++i) {
            auto u = static_cast<std::uint16_t>(samples[i]);
            samples[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(u << 8 | u >> 8));
        }
    } else {
        (void)samples;
        (void)count;
    }
}

// The canonical header: RIFF/WAVE, a 16-byte-body "fmt " chunk directly followed by the
// "data" chunk.
bool hasCanonicalTags(const unsigned char* h) noexcept {
    return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0 &&
           std::memcmp(h + 12, "fmt ", 4) == 0 && std::memcmp(h + 36, "data", 4) == 0;
}

WaveFormat readFormat(const unsigned char* h) noexcept {
    WaveFormat f;
    f.formatTag = getLE16(h + 20);
    f.channels = getLE16(h + 22);
    f.sampleRate = getLE32(h + 24);
    f.bytesPerSecond = getLE32(h + 28);
    f.blockAlign = getLE16(h + 32);
    f.bitsPerSample = getLE16(h + 34);
    f.extraSize = 0;
    return f;
}

// A header this program can play or rescale: canonical layout, 16-bit stereo PCM at a
// non-zero rate (a rate of 0 cannot be played).
bool isPlayableHeader(const unsigned char* h) noexcept {
    if (!hasCanonicalTags(h))
        return false;
    const WaveFormat f = readFormat(h);
    return f.formatTag == 1 && f.channels == 2 && f.bitsPerSample == 16 && f.sampleRate != 0;
}

bool writeLE32At(int fd, std::int64_t offset, std::uint32_t value) noexcept {
    unsigned char bytes[4];
    putLE32(bytes, value);
    return file::seekTo(fd, offset) == offset && file::writeAll(fd, bytes, sizeof bytes);
}

// (gain x s) >> 10 (an arithmetic shift: the floor), held within 16 bits.
inline std::int16_t scaleSample(std::int64_t gain, std::int16_t s) noexcept {
    std::int64_t v = (gain * s) >> 10;
    v = std::clamp<std::int64_t>(v, -32768, 32767);
    return static_cast<std::int16_t>(v);
}

} // namespace

Cwavfil::Cwavfil(std::string name, Notifier& notifier)
    : NamedFile(std::move(name)), notifier_(notifier) {}

Cwavfil::~Cwavfil() = default;

void Cwavfil::fail(const char* text, const std::string& path, const std::string& otherwise) {
    problem_ = file::problem(path, otherwise);
    problemShown_ = true;
    notifier_.showFileProblem(Severity::Error, msg::kErrorTitle, text, *problem_);
}

bool Cwavfil::exists() const {
    return file::exists(name());
}

bool Cwavfil::openwr() {
    stopWriting();
    closeHandle();
    problem_.reset();
    handle_ = file::openWrite(name());

    unsigned char h[kHeaderBytes] = {};
    std::memcpy(h, "RIFF", 4);
    putLE32(h + 4, 0);
    std::memcpy(h + 8, "WAVE", 4);
    std::memcpy(h + 12, "fmt ", 4);
    putLE32(h + 16, 16);
    putLE16(h + 20, 1);
    putLE16(h + 22, 2);
    putLE32(h + 24, kSampleRate);
    putLE32(h + 28, kSampleRate * 4);
    putLE16(h + 32, 4);
    putLE16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putLE32(h + 40, 0);

    if (handle_ < 0 || !file::writeAll(handle_, h, sizeof h)) {
        const int error = errno;
        closeHandle();
        errno = error;
        fail(msg::kWaveCreateFailed, name(), file::errorText(ENOSPC));
        return false;
    }
    if (!buffer_)
        buffer_ = std::make_unique<std::int16_t[]>(kBufferSamples);
    capacity_ = kBufferSamples;
    fill_ = 0;
    frames_ = 0;
    peak_ = 0;
    trailingSilence_ = 0;
    framesOnDisk_ = 0;
    failed_ = false;
    writeError_ = 0;
    return true;
}

void Cwavfil::writeFrames(const std::int16_t* interleaved, int count) noexcept {
    if (count <= 0)
        return;
    if (capacity_ == 0) {
        failed_ = true;
        return;
    }
    const std::size_t samples = std::size_t(count) * 2;
    int m = peak_;
    for (std::size_t i = 0; i < samples; ++i) {
        const int v = interleaved[i];
        const int a = v < 0 ? -v : v;
        m = a > m ? a : m;
    }
    peak_ = m;
    int last = count - 1;
    while (last >= 0 && (interleaved[2 * last] | interleaved[2 * last + 1]) == 0)
        --last;
    trailingSilence_ = last < 0 ? trailingSilence_ + count : count - 1 - last;
    frames_ += count;

    std::size_t done = 0;
    while (done < samples) {
        if (fill_ == capacity_)
            writeBuffered();
        const std::size_t n = std::min<std::size_t>(samples - done, std::size_t(capacity_ - fill_));
        std::memcpy(buffer_.get() + fill_, interleaved + done, n * sizeof(std::int16_t));
        fill_ += static_cast<int>(n);
        done += n;
    }
}

bool Cwavfil::flush() noexcept {
    if (capacity_ == 0) {
        failed_ = true;
        return false;
    }
    writeBuffered();
    return true;
}

void Cwavfil::writeBuffered() noexcept {
    if (fill_ == 0)
        return;
    const int framesInBuffer = fill_ / 2;
    // After a failure nothing more is written, so the file holds an unbroken run of
    // frames that the header can describe.
    if (!failed_) {
        if (framesOnDisk_ + framesInBuffer > kMaxFrames) {
            failed_ = true;
            writeError_ = EFBIG;
        } else {
            swapToLittleEndian(buffer_.get(), std::size_t(fill_));
            if (file::writeAll(handle_, buffer_.get(), std::size_t(fill_) * 2)) {
                framesOnDisk_ += framesInBuffer;
            } else {
                failed_ = true;
                writeError_ = errno;
            }
        }
    }
    fill_ = 0;
}

void Cwavfil::stopWriting() noexcept {
    capacity_ = 0;
    fill_ = 0;
    buffer_.reset();
}

bool Cwavfil::close() {
    if (capacity_ == 0 || handle_ < 0)
        return false;
    writeBuffered();

    std::int64_t dataFrames;
    if (failed_) {
        dataFrames = framesOnDisk_;
    } else {
        dataFrames = frames_;
        if (frames_ != trailingSilence_)
            dataFrames -= trailingSilence_;
    }
    frames_ = dataFrames;
    const auto dataBytes = static_cast<std::uint32_t>(dataFrames * 4);
    if (!writeLE32At(handle_, 40, dataBytes) || !writeLE32At(handle_, 4, dataBytes + 36)) {
        if (!failed_)
            writeError_ = errno;
        failed_ = true;
    }

    stopWriting();
    closeHandle();
    if (failed_) {
        errno = writeError_;
        fail(msg::kWaveCloseFailed, name(), file::errorText(ENOSPC));
        return false;
    }
    problem_.reset();
    return true;
}

void Cwavfil::closeFile() noexcept {
    // A file still open for writing loses its buffered frames; later writes are dropped
    // instead of going to a descriptor number that may have been reused.
    stopWriting();
    closeHandle();
}

bool Cwavfil::openrd() {
    stopWriting();
    closeHandle();
    problem_.reset();
    handle_ = file::openRead(name());

    unsigned char h[kHeaderBytes];
    bool ok = handle_ >= 0 && file::readExact(handle_, h, sizeof h);
    if (ok && !isPlayableHeader(h)) {
        errno = 0;
        ok = false;
    }
    if (ok) {
        format_ = readFormat(h);
        frames_ = getLE32(h + 40) / 4;
        if (frames_ == 0) {
            const std::int64_t length = file::size(handle_);
            if (length < kHeaderBytes) {
                errno = 0;
                ok = false;
            } else {
                frames_ = (length - kHeaderBytes) / 4;
            }
        }
    }
    if (!ok) {
        const int error = errno;
        closeHandle();
        errno = error;
        fail(msg::kWaveOpenFailed, name(), kNotPlayable);
        return false;
    }
    position_ = 0;
    return true;
}

std::string Cwavfil::temporaryName(const std::string& name) {
    std::string temporary = path::withoutExtension(name) + ".tmp";
    if (temporary == name)
        temporary = name + ".tmp";
    return temporary;
}

bool Cwavfil::rescale(int gain) {
    problem_.reset();
    const std::string temporary = temporaryName(name());
    if (capacity_ != 0) { // never while the file is still being written
        errno = 0;
        fail(msg::kWaveRescaleFailed, name(), msg::kWaveStillWritten);
        return false;
    }
    // Where the pass failed: the file and the system's error there (0: the file's contents).
    std::string failedPath;
    int failedError = 0;
    auto failAt = [&](const std::string& path) {
        failedPath = path;
        failedError = errno;
        return false;
    };

    int in = file::openRead(name());
    unsigned char h[kHeaderBytes];
    // Only a header that describes exactly the data about to be copied is rescaled;
    // anything else would leave a file that contradicts its own header.
    bool ok = in >= 0 && file::readExact(in, h, sizeof h);
    if (ok && (!isPlayableHeader(h) || std::int64_t(getLE32(h + 40)) != frames_ * 4)) {
        errno = 0;
        ok = false;
    }
    if (!ok)
        failAt(name());

    int out = -1;
    bool created = false;
    if (ok) {
        out = file::openWrite(temporary);
        created = out >= 0;
        ok = (created && file::writeAll(out, h, sizeof h)) || failAt(temporary);
    }
    if (ok) {
        std::vector<std::int16_t> chunk(kBufferSamples);
        const std::int64_t total = frames_ * 2;
        position_ = 0;
        while (position_ < total) {
            const auto n =
                static_cast<std::size_t>(std::min<std::int64_t>(total - position_, kBufferSamples));
            if (!file::readExact(in, chunk.data(), n * 2)) {
                ok = failAt(name());
                break;
            }
            swapToLittleEndian(chunk.data(), n); // to host order
            for (std::size_t i = 0; i < n; ++i)
                chunk[i] = scaleSample(gain, chunk[i]);
            swapToLittleEndian(chunk.data(), n); // and back
            if (!file::writeAll(out, chunk.data(), n * 2)) {
                ok = failAt(temporary);
                break;
            }
            position_ += static_cast<std::int64_t>(n);
        }
    }
    file::close(out);
    file::close(in);

    if (!ok) {
        if (created)
            file::remove(temporary);
        errno = failedError;
        fail(msg::kWaveRescaleFailed, failedPath, msg::kWaveHeaderMismatch);
        return false;
    }
    // rename replaces the file in one step: there is never a moment without it. A failed
    // rename shows no message here; the caller reports it with problem().
    if (!file::rename(temporary, name())) {
        problem_ = file::problem(name(), "");
        problemShown_ = false;
        file::remove(temporary);
        return false;
    }
    return true;
}

} // namespace korvelt
