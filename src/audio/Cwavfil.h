#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/FrameSink.h"
#include "engine/RenderConstants.h"
#include "platform/FileProblem.h"
#include "platform/MessageTexts.h"
#include "platform/NamedFile.h"

#include <optional>

namespace korvelt {

class Notifier;

// The PCM format record of a WAVE file's "fmt " chunk (18 bytes on disk with the extra
// size, which is always 0 here).
struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint16_t extraSize = 0;
};

// The program's WAVE file: 16-bit signed stereo PCM at 44100 frames per second with the
// canonical 44-byte header. A render writes into it as its FrameSink.
//
// Writing (the render): openwr, write for every frame, close. The writer keeps the peak
// sample magnitude and the number of silent frames at the end; close leaves that trailing
// silence out of the data length in the header. A write that fails on the way (disk full,
// removed medium) is remembered: close then reports it and returns false, and failed()
// stays true until the next openwr, so a failed render is never taken for a good one.
//
// Reading (listening): openrd checks the header and leaves the file positioned at the
// first sample; format(), frames() and position() describe the stream for the player
// (WavePlayer), which reads from handle() and advances position().
//
// rescale multiplies every sample by a gain through a temporary file that replaces the
// original in one atomic rename.
//
// Every failure that comes from the file itself (it cannot be created, written, read or
// renamed, or its header is not one this program plays) is kept as problem(), and the
// message shown for it carries it: the file's name and the system's reason.
class Cwavfil : public NamedFile, public FrameSink {
public:
    static constexpr int kHeaderBytes = 44;
    static constexpr std::uint32_t kSampleRate = korvelt::kSampleRate;
    // The write buffer and the rescale chunk: one second of stereo frames.
    static constexpr int kBufferFrames = korvelt::kSampleRate;
    static constexpr int kBufferSamples = 2 * kBufferFrames;
    // The most frames whose data size (frames x 4) and RIFF size (data size + 36) still fit
    // the header's 32-bit fields: a little more than 6 hours 45 minutes.
    static constexpr std::int64_t kMaxFrames = (0xFFFFFFFFll - 36) / 4;

    Cwavfil(std::string name, Notifier& notifier);
    ~Cwavfil() override;

    // The named file exists (an access test; the file is not opened).
    bool exists() const;

    // Creates (or truncates) the file and writes the header with both sizes 0. On failure
    // shows "Cwavfil::openwr\nError while writing Korvelt.wav file" and returns false.
    bool openwr();

    // Appends one frame. Called for every output frame on the render thread: it only stores
    // the frame and updates the peak and the trailing silence; every 44100 frames the
    // buffer goes to the file in one write. Frames written while no file is open for
    // writing are dropped (and counted as a failure).
    void write(std::int16_t left, std::int16_t right) noexcept {
        if (fill_ == capacity_ && !flush())
            return;
        const int l = left;
        const int r = right;
        const int a = l < 0 ? -l : l;
        const int b = r < 0 ? -r : r;
        const int m = a > b ? a : b;
        peak_ = m > peak_ ? m : peak_;
        trailingSilence_ = (l | r) != 0 ? 0 : trailingSilence_ + 1;
        buffer_[fill_] = left;
        buffer_[fill_ + 1] = right;
        fill_ += 2;
        ++frames_;
    }

    // Appends `count` interleaved frames (left, right, left, ...) with exactly the effect
    // of calling write(left, right) for each of them: the render's frames as a sink.
    void writeFrames(const std::int16_t* interleaved, int count) noexcept override;

    // Completes a render: writes what is buffered, then the data size (frames without the
    // trailing silence; an all-silent file keeps its full length) at offset 40 and the
    // RIFF size at offset 4, and closes the file. Returns true only when every write of the
    // render and of the header succeeded; otherwise shows
    // "Cwavfil::close\nError while writing Korvelt.wav file" and returns false (the header
    // then describes only the frames known to be on disk). Without a file open for
    // writing it does nothing and returns false.
    bool close();

    // Closes the descriptor only (after playback). Does nothing when no file is open.
    void closeFile() noexcept;

    // Opens the file for reading and checks its header: "RIFF", "WAVE", "fmt " and "data"
    // in the canonical places, PCM, 2 channels, 16 bits, a non-zero rate (any rate). frames
    // = data size / 4, or (file length - 44) / 4 when the data size is 0. On failure closes
    // the file, shows "Cwavfil::openrd\nError while reading Korvelt.wav file" and returns
    // false.
    bool openrd();

    // Multiplies every one of the frames x 2 samples of the data (frames as close left
    // them) by gain / 1024: (gain x s) shifted right by 10 bits (the floor), held within
    // 16 bits. Writes the result to temporaryName(name()) and renames that over the file,
    // so the file is at every moment either the old or the new one. On a read or write
    // failure shows "Cwavfil::rescale\nError while rescaling WAVE file", removes the
    // temporary file and returns false with the file unchanged. A failed rename returns
    // false without a message (the caller reports it, with problem()).
    bool rescale(int gain);

    // The name of rescale's temporary file: the file name up to its last "." with ".tmp"
    // appended ("out.wav" -> "out.tmp"; a "." in a directory name does not count). A name
    // without "." gets ".tmp" appended, and so does a name that already ends in ".tmp"
    // (the temporary file must never be the file itself).
    static std::string temporaryName(const std::string& name);

    // The largest absolute sample value written since openwr (0 ... 32768).
    int peak() const noexcept { return peak_; }
    // After openwr: frames written so far; after close: the data length in frames; after
    // openrd: the frames in the file.
    std::int64_t frames() const noexcept { return frames_; }
    // Frames already handed on for playback.
    std::int64_t position() const noexcept { return position_; }
    void setPosition(std::int64_t frames) noexcept { position_ = frames; }
    // A write of the current (or last) render failed.
    bool failed() const noexcept override { return failed_; }
    // Why the last openwr, close, openrd or rescale failed (see above); none after a
    // success.
    const std::optional<FileProblem>& problem() const noexcept { return problem_; }
    // The problem has been shown with this object's own message (all but a failed rename).
    bool problemShown() const noexcept { return problemShown_; }

    static constexpr const char* kNotPlayable = msg::kNotPlayableWave;
    // The format record read by openrd.
    const WaveFormat& format() const noexcept { return format_; }

private:
    // Writes the full buffer to the file and empties it. False when no file is open for
    // writing (the frame at hand is then dropped).
    bool flush() noexcept;
    void writeBuffered() noexcept;
    void stopWriting() noexcept;
    // Keeps the problem of `path` (the system's reason in errno, else `otherwise`) and
    // shows `text` with it.
    void fail(const char* text, const std::string& path, const std::string& otherwise);

    Notifier& notifier_;
    std::int64_t frames_ = 0;
    std::int64_t position_ = 0;
    int peak_ = 0;
    std::unique_ptr<std::int16_t[]> buffer_;
    // Samples in the buffer, and the buffer's size in samples (0 while not writing).
    int fill_ = 0;
    int capacity_ = 0;
    std::int64_t trailingSilence_ = 0;
    // Frames of the current render that reached the file.
    std::int64_t framesOnDisk_ = 0;
    bool failed_ = false;
    // The system's error of the render's first failed write (0 when the file simply had
    // no room for more frames).
    int writeError_ = 0;
    std::optional<FileProblem> problem_;
    bool problemShown_ = false;
    WaveFormat format_;
};

} // namespace korvelt
