#pragma once

#include "bank/BankRecords.h"
#include "bank/BankScrambler.h"
#include "platform/FileProblem.h"
#include "platform/MessageTexts.h"
#include "platform/NamedFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvelt {

class Notifier;
class SampleStore;

// A half-open range of record indices [first, last).
struct IndexRange {
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t size() const noexcept { return last - first; }
    bool empty() const noexcept { return first == last; }
    bool operator==(const IndexRange&) const = default;
};

// What a preset search over every preset record (the terminal one included) finds: whether
// one carries the bank and program; if not, the greatest bank number below the requested
// bank among presets of other banks, and the greatest program number below the requested
// program among presets of the requested bank.
struct PresetSearch {
    bool found = false;
    std::optional<std::uint16_t> lowerBank;
    std::optional<std::uint16_t> lowerProgram;
};

// A sound bank read from a SoundFont 2 file (or SoundFont 3, whose samples may be Ogg Vorbis
// streams, see CodecStream.h): the preset, instrument and sample records as
// the file lists them, each list ending with the file's terminal record. Sample data is not
// read here: each sample header records where its data lies, and the SampleStore makes it
// resident when a voice needs it. The file stays open for that for the bank's whole life.
//
// rdfile() reports its own failures through the Notifier (title "Error!") and leaves
// loaded() false; the records read before the failure stay until the bank goes. When the
// file could not be opened or read, or is not a bank of the reader's kind at all, the
// message carries the file problem (the system's reason, or "not a SoundFont 2 bank").
//
// The look-ups below never index outside the lists, whatever indices a damaged file holds.
class Csf2file : public NamedFile {
public:
    Csf2file(std::string fileName, Notifier& notifier, SampleStore& store);
    // Forgets the bank's resident samples in the store; their buffers go with the headers
    // (a voice still holding one keeps it alive until it ends).
    ~Csf2file() override;

    virtual bool rdfile();
    bool loaded() const noexcept { return loaded_; }
    // The store that makes this bank's samples resident.
    SampleStore& sampleStore() const noexcept { return store_; }
    // Why the last rdfile() failed, when the file itself was the trouble (see above).
    const std::optional<FileProblem>& problem() const noexcept { return problem_; }

    static constexpr const char* kNotSoundFont = msg::kNotSoundFont;

    // The records in file order, terminal records included.
    const std::vector<PresetHeader>& presets() const noexcept { return presets_; }
    const std::vector<ZoneBag>& presetBags() const noexcept { return presetBags_; }
    const std::vector<Generator>& presetGenerators() const noexcept { return presetGens_; }
    const std::vector<InstrumentHeader>& instruments() const noexcept { return instruments_; }
    const std::vector<ZoneBag>& instrumentBags() const noexcept { return instrumentBags_; }
    const std::vector<Generator>& instrumentGenerators() const noexcept { return instrumentGens_; }
    const std::vector<SampleHeader>& samples() const noexcept { return samples_; }
    // The sample headers for the store and the voices to fill and read. A span: the list
    // itself never changes after rdfile(), so pointers to its headers stay valid.
    std::span<SampleHeader> samples() noexcept { return samples_; }
    // Absolute file offset of the first byte of the sample data area, and its size in bytes.
    std::uint64_t sampleDataOffset() const noexcept { return sampleDataOffset_; }
    std::uint64_t sampleDataSize() const noexcept { return sampleDataSize_; }
    // The bank holds the low bytes of 24-bit samples (a SoundFont 2.04 "sm24" chunk of the
    // right size). They are never read: the program plays the upper 16 bits in "smpl".
    bool hasLowSampleBytes() const noexcept { return lowSampleBytes_; }

    // Record counts without the terminal records.
    std::size_t presetCount() const noexcept { return withoutTerminal(presets_.size()); }
    std::size_t instrumentCount() const noexcept { return withoutTerminal(instruments_.size()); }
    std::size_t sampleCount() const noexcept { return withoutTerminal(samples_.size()); }

    // The index of the first preset in file order, the terminal record excepted, with this
    // bank and program; -1 when there is none.
    int findPreset(std::uint16_t bank, std::uint16_t program) const noexcept;
    // The search behind the bank and percussion fallbacks (see PresetSearch).
    PresetSearch searchPreset(std::uint16_t bank, std::uint16_t program) const noexcept;

    // The zones (bag indices) of preset i: from its bagIndex up to the next preset's
    // bagIndex, cut to the bag list. Empty for the terminal record, an index past the
    // list, or a range that runs backwards.
    IndexRange presetZones(std::size_t preset) const noexcept;
    // The zones of instrument i, likewise. An instrument number naming the terminal
    // instrument record has no zones.
    IndexRange instrumentZones(std::size_t instrument) const noexcept;
    // The generators of a preset bag / instrument bag: from its genIndex up to the next
    // bag's genIndex, cut to the generator list. Empty for the terminal bag and past the
    // list.
    std::span<const Generator> presetZoneGenerators(std::size_t bag) const noexcept;
    std::span<const Generator> instrumentZoneGenerators(std::size_t bag) const noexcept;

    // The n-th record (the terminal one included), or null past the list.
    const PresetHeader* preset(std::size_t index) const noexcept;
    const InstrumentHeader* instrument(std::size_t index) const noexcept;
    SampleHeader* sample(std::size_t index) noexcept;
    const SampleHeader* sample(std::size_t index) const noexcept;

protected:
    // Reads the next n bytes at the read position; false (nothing consumed) when fewer
    // than n remain in the file or the read fails (errno then tells which: 0 for a file
    // that ends first).
    bool readNext(void* bytes, std::size_t n);
    // Moves the read position forward by n bytes; false when that passes the file's end.
    bool skip(std::uint64_t n);
    // Opens the file, clearing what an earlier read left. False when it cannot be opened.
    bool openForReading();
    void fail(const std::string& text);
    // Shows `text` with the file problem: the system's reason when errno holds one, else
    // `otherwise`.
    void failWithProblem(const std::string& text, const std::string& otherwise);

    // The record readers shared by both formats: each reads size / record bytes records
    // (trailing bytes are left) and appends them; when `scrambled` they are unscrambled
    // first. False on a short read; the records that arrived whole stay.
    bool readPresetHeaders(std::uint64_t size, bool scrambled);
    bool readPresetBags(std::uint64_t size, bool scrambled);
    bool readPresetGenerators(std::uint64_t size, bool scrambled);
    bool readInstruments(std::uint64_t size, bool scrambled);
    bool readInstrumentBags(std::uint64_t size, bool scrambled);
    bool readInstrumentGenerators(std::uint64_t size, bool scrambled);
    // The SoundFont form of the sample headers (never scrambled). Start, end and loop
    // points beyond the sample data area are moved to its end. A sample whose type has the
    // compressed-data bit (0x10, SoundFont 3) is a codec stream (readStreamHeader),
    // whatever the file's version or name.
    bool readSampleHeaders(std::uint64_t size);
    // The stream's place, frame count and loop points (at most the frame count), from the
    // 46-byte record at p; the type loses the compressed-data bit.
    void readStreamHeader(const std::uint8_t* p, SampleHeader& h);
    // The frame count of the stream of `bytes` bytes at `offset`, from its last Ogg page;
    // 0 when it cannot be read.
    std::uint64_t streamFrames(std::uint64_t offset, std::uint32_t bytes);
    bool skipModulators(std::uint64_t size);

    // Reads the records of a chunk body into `records` (bytes) and returns how many whole
    // records arrived; `complete` tells whether all of them did.
    std::size_t readRecords(std::uint64_t size, std::size_t recordSize, bool scrambled,
                            bool& complete);

    // Reads a chunk's records (readRecords) and appends parse(record bytes) of each to
    // `list`; false when not all of them arrived.
    template <class T, class Parse>
    bool readList(std::uint64_t size, std::size_t recordSize, bool scrambled, std::vector<T>& list,
                  Parse parse) {
        bool complete = false;
        const std::size_t n = readRecords(size, recordSize, scrambled, complete);
        list.reserve(list.size() + n);
        for (std::size_t i = 0; i < n; ++i)
            list.push_back(parse(records_.data() + i * recordSize));
        return complete;
    }

    // Copies a 20-byte record name up to its first NUL, zero-filling the rest.
    static RecordName readName(const std::uint8_t* p) noexcept;
    static std::size_t withoutTerminal(std::size_t n) noexcept { return n > 0 ? n - 1 : 0; }
    static constexpr std::uint16_t kSoundFont3Compressed = 0x10;

    Notifier& notifier_;
    SampleStore& store_;
    BankScrambler scrambler_;
    bool loaded_ = false;
    std::optional<FileProblem> problem_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t position_ = 0;        // read position
    std::vector<std::uint8_t> records_; // the chunk body being parsed
    std::vector<std::uint8_t> tail_;    // the end of a codec stream being measured

    std::vector<PresetHeader> presets_;
    std::vector<ZoneBag> presetBags_;
    std::vector<Generator> presetGens_;
    std::vector<InstrumentHeader> instruments_;
    std::vector<ZoneBag> instrumentBags_;
    std::vector<Generator> instrumentGens_;
    std::vector<SampleHeader> samples_;
    std::uint64_t sampleDataOffset_ = 0;
    std::uint64_t sampleDataSize_ = 0;
    bool lowSampleBytes_ = false;

private:
    // Reads the 8-byte head of the chunk at the read position without consuming it.
    bool peekChunkHead(std::uint8_t (&head)[8]) const;
    // After "smpl": an optional "sm24" chunk (see hasLowSampleBytes), consumed.
    bool skipLowSampleBytes();
    // Bags [first, next) cut to a list of `bags` bags; empty when it runs backwards.
    static IndexRange zoneRange(std::size_t bags, std::uint16_t first, std::uint16_t next) noexcept;
};

} // namespace korvelt
