#pragma once

#include "bank/BankRecords.h"
#include "bank/BankScrambler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace korvelt {

class Notifier;

// Makes sample data resident on demand, within a byte budget, freeing the least recently
// used samples when a new one would not fit. Renders that share a bank may use its store at
// the same time: loading, holding and forgetting take one lock (once per note start, never
// per frame); the accessors below it are for when no render runs.
//
// A voice calls hold() when it starts, with the furthest frame its zone can address: the
// store raises the sample's storedLength to it, makes the sample resident and hands back
// the header's `data` (a shared pointer) and residentLength; the voice reads at most
// residentLength + kPaddingFrames frames of it. Holding that copy keeps
// the buffer alive while the voice plays, even when the store evicts the sample or loads
// it again at a greater length; the store never frees memory a voice may still read.
//
// Raw samples are read from the bank file as they stand; compressed ones are read,
// unscrambled and decoded (SampleDecoder); codec streams (SoundFont 3) are read and decoded
// whole (CodecStream.h), to exactly the frame count their last page gives, which bounds
// the buffer: a stream that decodes to another count, or fails to decode, is silence. Every size
// and offset is checked against the file and its sample data area (SampleHeader::dataEnd) before
// anything is allocated: a buffer never holds more frames than the area can supply (a raw sample
// that runs past its end keeps the frames before it), no other byte of the file is read as a frame,
// and a sample whose buffer would exceed the whole budget is not loaded (a damaged compressed bank
// could otherwise claim gigabytes for a few bytes of stream). A sample that cannot be read becomes
// resident as silence, reported as "Sample:NAME" / "Error loading sample" to the render that asked
// for it when that render shows data errors (a stream of another codec than Ogg Vorbis says so),
// and is not read again while resident.
class SampleStore {
public:
    // The most frames a compressed block may stand for; a stream claiming more is damaged.
    static constexpr std::int32_t kMaxBlockSamples = 65536;

    using Clock = std::function<std::int64_t()>;

    // budget: bytes that resident buffers may take (the machine's physical memory).
    // clock: calendar time in whole seconds (the system's when empty).
    explicit SampleStore(std::uint64_t budget, Clock clock = {});
    ~SampleStore();

    SampleStore(const SampleStore&) = delete;
    SampleStore& operator=(const SampleStore&) = delete;

    // Makes the sample's data resident if it is not, or if it was made resident for a
    // shorter storedLength, and stamps lastUse with the current time, which it returns.
    // A sample that is resident for its storedLength only has lastUse refreshed and keeps
    // its place in the list. A sample that cannot be read is reported to `problems`: the
    // message sink of a render that shows data errors, null for one that does not.
    std::int64_t loadSample(SampleHeader& sample, Notifier* problems = nullptr);

    // What a voice plays of a sample: its buffer and the frames of it that are the sample's
    // (no buffer for a sample that could not be made resident).
    struct Held {
        std::shared_ptr<std::int16_t[]> data;
        std::int32_t residentLength = 0;
    };
    // In one step under the lock: raises the sample's storedLength to `length` when it is
    // shorter, loadSample(), and takes the header's buffer and residentLength.
    Held hold(SampleHeader& sample, std::int32_t length, Notifier* problems = nullptr);

    // Forgets every resident sample (their buffers are the bank's to free); used = 0.
    void forgetAll() noexcept;
    // Forgets the resident samples among these (a bank's sample list that goes away).
    void forgetSamples(std::span<SampleHeader> samples) noexcept;

    std::uint64_t used() const noexcept { return used_; }
    std::uint64_t budget() const noexcept { return budget_; }
    std::size_t residentCount() const noexcept { return resident_.size(); }
    // The resident samples, newest first.
    const std::vector<SampleHeader*>& resident() const noexcept { return resident_; }

private:
    std::int64_t loadLocked(SampleHeader& sample, Notifier* problems);
    // Frees the resident sample with the smallest lastUse; among equal stamps the one
    // loaded most recently (nearest the head of the list).
    void evictOldest();
    void drop(SampleHeader& sample) noexcept;
    // Reads or decodes the sample into a new buffer; false when it cannot be read.
    bool load(SampleHeader& sample, std::int32_t length);
    // dataEnd: where the sample data area ends (within the file).
    bool loadRaw(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd);
    bool loadCompressed(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd);
    bool loadStream(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd);
    // Whether a buffer of this size can be held at all: one larger than the whole budget
    // (the machine's memory) is refused rather than allocated.
    bool fits(std::uint64_t bytes) const noexcept;
    // Evicts until `bytes` more fit the budget (or nothing is left to evict).
    void makeRoom(std::uint64_t bytes);
    // Attaches a buffer of frames + padding frames to the sample, for the caller to fill.
    void attach(SampleHeader& sample, std::size_t frames);

    std::vector<SampleHeader*> resident_; // newest first
    std::uint64_t budget_;
    std::uint64_t used_ = 0;
    Clock clock_;
    BankScrambler scrambler_;
    std::vector<std::uint8_t> stream_;  // compressed bytes of the sample being decoded
    std::vector<std::int16_t> decoded_; // the frames of a codec stream being decoded
    // The codec of the last stream refused for it (not Ogg Vorbis), for the message.
    const char* refusedCodec_ = nullptr;
    std::mutex mutex_;
};

} // namespace korvelt
