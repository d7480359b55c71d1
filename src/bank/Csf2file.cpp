#include "bank/Csf2file.h"

#include "bank/ByteOrder.h"
#include "bank/CodecStream.h"
#include "bank/SampleStore.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"

#include <algorithm>
#include <cerrno>

namespace korvelt {

namespace {

constexpr std::size_t kPresetRecord = 38;
constexpr std::size_t kBagRecord = 4;
constexpr std::size_t kGeneratorRecord = 4;
constexpr std::size_t kInstrumentRecord = 22;
constexpr std::size_t kSampleRecord = 46;

ZoneBag readBag(const std::uint8_t* p) {
    return ZoneBag{le::u16(p), le::u16(p + 2)};
}

Generator readGenerator(const std::uint8_t* p) {
    return Generator{le::u16(p), static_cast<std::int16_t>(le::u16(p + 2))};
}

} // namespace

RecordName Csf2file::readName(const std::uint8_t* p) noexcept {
    RecordName name{};
    for (std::size_t i = 0; i < name.size() && p[i] != 0; ++i)
        name[i] = static_cast<char>(p[i]);
    return name;
}

Csf2file::Csf2file(std::string fileName, Notifier& notifier, SampleStore& store)
    : NamedFile(std::move(fileName)), notifier_(notifier), store_(store) {}

Csf2file::~Csf2file() {
    store_.forgetSamples(samples_);
}

void Csf2file::fail(const std::string& text) {
    notifier_.show(Severity::Error, msg::kErrorTitle, text);
}

void Csf2file::failWithProblem(const std::string& text, const std::string& otherwise) {
    problem_ = file::problem(name(), otherwise);
    notifier_.showFileProblem(Severity::Error, msg::kErrorTitle, text, *problem_);
}

bool Csf2file::openForReading() {
    // A second read starts from nothing; samples of the first are no longer the store's.
    store_.forgetSamples(samples_);
    presets_.clear();
    presetBags_.clear();
    presetGens_.clear();
    instruments_.clear();
    instrumentBags_.clear();
    instrumentGens_.clear();
    samples_.clear();
    sampleDataOffset_ = 0;
    sampleDataSize_ = 0;
    lowSampleBytes_ = false;
    loaded_ = false;
    problem_.reset();
    closeHandle();
    position_ = 0;
    fileSize_ = 0;
    scrambler_.setKeyPosition(0);
    handle_ = file::openRead(name());
    if (handle_ < 0)
        return false;
    const std::int64_t size = file::size(handle_);
    fileSize_ = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    return true;
}

bool Csf2file::readNext(void* bytes, std::size_t n) {
    if (n > fileSize_ - position_) {
        errno = 0;
        return false;
    }
    if (!file::readAt(handle_, position_, bytes, n))
        return false;
    position_ += n;
    return true;
}

bool Csf2file::skip(std::uint64_t n) {
    if (n > fileSize_ - position_)
        return false;
    position_ += n;
    return true;
}

bool Csf2file::peekChunkHead(std::uint8_t (&head)[8]) const {
    return sizeof head <= fileSize_ - position_ &&
           file::readAt(handle_, position_, head, sizeof head);
}

bool Csf2file::skipLowSampleBytes() {
    std::uint8_t chunk[8];
    if (!peekChunkHead(chunk) || !le::tagIs(chunk, "sm24"))
        return true; // none: the pdta list comes next, or the read fails there
    position_ += sizeof chunk;
    const std::uint32_t size = le::u32(chunk + 4);
    // One byte per frame of "smpl", the chunk padded to an even size; a chunk of any other
    // size does not belong to these samples and is ignored.
    const std::uint64_t frames = sampleDataSize_ / 2;
    lowSampleBytes_ = size == frames || size == frames + (frames & 1);
    if (!skip(size))
        return false;
    // A chunk of odd size is followed by a pad byte; a writer that left it out is forgiven.
    std::uint8_t next[8];
    if ((size & 1) != 0 && peekChunkHead(next) && !le::tagIs(next, "LIST"))
        return skip(1);
    return true;
}

bool Csf2file::rdfile() {
    if (!openForReading()) {
        failWithProblem(msg::kSoundFontOpenFailed, kNotSoundFont);
        return false;
    }
    auto invalid = [this] {
        fail(msg::kSoundFontInvalid);
        return false;
    };
    std::uint8_t head[24];
    const bool headRead = readNext(head, sizeof head);
    if (!headRead || !le::tagIs(head, "RIFF") || !le::tagIs(head + 8, "sfbk") ||
        !le::tagIs(head + 12, "LIST") || !le::tagIs(head + 20, "INFO")) {
        if (headRead)
            errno = 0;
        failWithProblem(msg::kSoundFontInvalid, kNotSoundFont);
        return false;
    }
    // The INFO list size counts the "INFO" tag already read.
    const std::uint32_t infoSize = le::u32(head + 16);
    if (infoSize < 4 || !skip(infoSize - 4))
        return invalid();

    std::uint8_t list[12];
    if (!readNext(list, sizeof list) || !le::tagIs(list, "LIST") || !le::tagIs(list + 8, "sdta"))
        return invalid();
    std::uint8_t chunk[8];
    if (!readNext(chunk, sizeof chunk) || !le::tagIs(chunk, "smpl"))
        return invalid();
    sampleDataOffset_ = position_;
    sampleDataSize_ = le::u32(chunk + 4);
    if (!skip(sampleDataSize_) || !skipLowSampleBytes())
        return invalid();
    if (!readNext(list, sizeof list) || !le::tagIs(list, "LIST") || !le::tagIs(list + 8, "pdta"))
        return invalid();

    static const char* const kChunks[] = {"phdr", "pbag", "pmod", "pgen", "inst",
                                          "ibag", "imod", "igen", "shdr"};
    for (int i = 0; i < 9; ++i) {
        if (!readNext(chunk, sizeof chunk) || std::memcmp(chunk, kChunks[i], 4) != 0)
            return invalid();
        const std::uint32_t size = le::u32(chunk + 4);
        bool ok = false;
        switch (i) {
        case 0:
            ok = readPresetHeaders(size, false);
            break;
        case 1:
            ok = readPresetBags(size, false);
            break;
        case 2:
        case 6:
            ok = skipModulators(size);
            break;
        case 3:
            ok = readPresetGenerators(size, false);
            break;
        case 4:
            ok = readInstruments(size, false);
            break;
        case 5:
            ok = readInstrumentBags(size, false);
            break;
        case 7:
            ok = readInstrumentGenerators(size, false);
            break;
        default:
            ok = readSampleHeaders(size);
            break;
        }
        if (!ok)
            return invalid();
    }
    loaded_ = true;
    return true;
}

std::size_t Csf2file::readRecords(std::uint64_t size, std::size_t recordSize, bool scrambled,
                                  bool& complete) {
    const std::uint64_t count = size / recordSize;
    // Never more than the file holds, whatever the chunk head claims.
    const std::uint64_t whole =
        std::min<std::uint64_t>(count, (fileSize_ - position_) / recordSize);
    const auto bytes = static_cast<std::size_t>(whole * recordSize);
    records_.resize(bytes);
    if (bytes > 0 && !readNext(records_.data(), bytes)) {
        complete = false;
        return 0;
    }
    if (scrambled)
        scrambler_.unscramble(records_.data(), bytes);
    complete = whole == count;
    return static_cast<std::size_t>(whole);
}

bool Csf2file::readPresetHeaders(std::uint64_t size, bool scrambled) {
    return readList(size, kPresetRecord, scrambled, presets_, [](const std::uint8_t* p) {
        PresetHeader h;
        h.name = readName(p);
        h.preset = le::u16(p + 20);
        h.bank = le::u16(p + 22);
        h.bagIndex = le::u16(p + 24);
        h.library = le::u32(p + 26);
        h.genre = le::u32(p + 30);
        h.morphology = le::u32(p + 34);
        return h;
    });
}

bool Csf2file::readPresetBags(std::uint64_t size, bool scrambled) {
    return readList(size, kBagRecord, scrambled, presetBags_, readBag);
}

bool Csf2file::readPresetGenerators(std::uint64_t size, bool scrambled) {
    return readList(size, kGeneratorRecord, scrambled, presetGens_, readGenerator);
}

bool Csf2file::readInstruments(std::uint64_t size, bool scrambled) {
    return readList(size, kInstrumentRecord, scrambled, instruments_, [](const std::uint8_t* p) {
        return InstrumentHeader{readName(p), le::u16(p + 20)};
    });
}

bool Csf2file::readInstrumentBags(std::uint64_t size, bool scrambled) {
    return readList(size, kBagRecord, scrambled, instrumentBags_, readBag);
}

bool Csf2file::readInstrumentGenerators(std::uint64_t size, bool scrambled) {
    return readList(size, kGeneratorRecord, scrambled, instrumentGens_, readGenerator);
}

bool Csf2file::readSampleHeaders(std::uint64_t size) {
    bool complete = false;
    const std::size_t n = readRecords(size, kSampleRecord, false, complete);
    samples_.reserve(samples_.size() + n);
    const std::uint64_t frames = sampleDataSize_ / 2;
    const std::uint64_t dataEnd = sampleDataOffset_ + 2 * frames;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = records_.data() + i * kSampleRecord;
        SampleHeader h;
        h.name = readName(p);
        // A point beyond the sample data would play the bytes after it (the preset and
        // sample records) as sound: it is moved to the end of the data.
        auto inside = [frames](std::uint32_t point) {
            return static_cast<std::uint32_t>(std::min<std::uint64_t>(point, frames));
        };
        const std::uint32_t start = inside(le::u32(p + 20));
        // Relative positions in 32-bit wrap-around arithmetic, as the file has them.
        h.playLength = static_cast<std::int32_t>(inside(le::u32(p + 24)) - start);
        h.loopStart = static_cast<std::int32_t>(inside(le::u32(p + 28)) - start);
        h.loopEnd = static_cast<std::int32_t>(inside(le::u32(p + 32)) - start);
        h.sampleRate = le::u32(p + 36);
        h.originalPitch = p[40];
        h.pitchCorrection = static_cast<std::int8_t>(p[41]);
        h.sampleLink = le::u16(p + 42);
        h.sampleType = le::u16(p + 44);
        h.handle = handle_;
        h.dataOffset = sampleDataOffset_ + 2 * std::uint64_t(start);
        h.dataEnd = dataEnd;
        h.storedLength = h.playLength;
        h.compressedBytes = 0;
        h.blockSamples = 0;
        if (h.sampleType & kSoundFont3Compressed)
            readStreamHeader(p, h);
        samples_.push_back(h);
    }
    return complete;
}

void Csf2file::readStreamHeader(const std::uint8_t* p, SampleHeader& h) {
    // Start and end are byte offsets of the stream in "smpl" (end exclusive); the loop
    // points count decoded frames from the stream's first frame.
    h.sampleType = static_cast<std::uint16_t>(h.sampleType & ~kSoundFont3Compressed);
    h.codecStream = true;
    h.dataOffset = sampleDataOffset_;
    h.dataEnd = sampleDataOffset_ + sampleDataSize_;
    h.playLength = 0;
    const std::uint32_t first = le::u32(p + 20);
    const std::uint32_t last = le::u32(p + 24);
    // A stream outside "smpl" has no bytes and no frames: it fails when first played.
    if (first <= last && last <= sampleDataSize_) {
        h.dataOffset += first;
        h.compressedBytes = last - first;
        h.playLength = static_cast<std::int32_t>(streamFrames(h.dataOffset, h.compressedBytes));
    }
    const auto frames = static_cast<std::uint32_t>(h.playLength);
    h.loopStart = static_cast<std::int32_t>(std::min(le::u32(p + 28), frames));
    h.loopEnd = static_cast<std::int32_t>(std::min(le::u32(p + 32), frames));
    h.storedLength = h.playLength;
}

std::uint64_t Csf2file::streamFrames(std::uint64_t offset, std::uint32_t bytes) {
    // The frame count is the granule position of the stream's last Ogg page: read from the
    // stream's end, a short stretch first, then the longest a page can be.
    for (const std::size_t want : {codec::kShortTail, codec::kLongestPage}) {
        const std::size_t n = std::min<std::size_t>(want, bytes);
        tail_.resize(n);
        if (n == 0 || !file::readAt(handle_, offset + bytes - n, tail_.data(), n))
            return 0;
        if (const auto frames = codec::streamFrames(tail_, bytes))
            return *frames;
        if (n == bytes)
            break;
    }
    return 0;
}

bool Csf2file::skipModulators(std::uint64_t size) {
    return skip(size);
}

int Csf2file::findPreset(std::uint16_t bank, std::uint16_t program) const noexcept {
    for (std::size_t i = 0; i + 1 < presets_.size(); ++i)
        if (presets_[i].preset == program && presets_[i].bank == bank)
            return static_cast<int>(i);
    return -1;
}

PresetSearch Csf2file::searchPreset(std::uint16_t bank, std::uint16_t program) const noexcept {
    PresetSearch result;
    for (const PresetHeader& p : presets_) {
        if (p.bank == bank && p.preset == program)
            result.found = true;
        if (p.bank < bank && (!result.lowerBank || p.bank > *result.lowerBank))
            result.lowerBank = p.bank;
        if (p.bank == bank && p.preset < program &&
            (!result.lowerProgram || p.preset > *result.lowerProgram))
            result.lowerProgram = p.preset;
    }
    return result;
}

IndexRange Csf2file::zoneRange(std::size_t bags, std::uint16_t first, std::uint16_t next) noexcept {
    const std::size_t last = std::min<std::size_t>(next, bags);
    if (first >= last)
        return {};
    return IndexRange{first, last};
}

IndexRange Csf2file::presetZones(std::size_t preset) const noexcept {
    if (preset + 1 >= presets_.size())
        return {};
    return zoneRange(presetBags_.size(), presets_[preset].bagIndex, presets_[preset + 1].bagIndex);
}

IndexRange Csf2file::instrumentZones(std::size_t instrument) const noexcept {
    if (instrument + 1 >= instruments_.size())
        return {};
    return zoneRange(instrumentBags_.size(), instruments_[instrument].bagIndex,
                     instruments_[instrument + 1].bagIndex);
}

namespace {
std::span<const Generator> bagGenerators(const std::vector<ZoneBag>& bags,
                                         const std::vector<Generator>& gens,
                                         std::size_t bag) noexcept {
    if (bag + 1 >= bags.size())
        return {};
    const std::size_t first = bags[bag].genIndex;
    const std::size_t last = std::min<std::size_t>(bags[bag + 1].genIndex, gens.size());
    if (first >= last)
        return {};
    return std::span<const Generator>(gens.data() + first, last - first);
}
} // namespace

std::span<const Generator> Csf2file::presetZoneGenerators(std::size_t bag) const noexcept {
    return bagGenerators(presetBags_, presetGens_, bag);
}

std::span<const Generator> Csf2file::instrumentZoneGenerators(std::size_t bag) const noexcept {
    return bagGenerators(instrumentBags_, instrumentGens_, bag);
}

const PresetHeader* Csf2file::preset(std::size_t index) const noexcept {
    return index < presets_.size() ? &presets_[index] : nullptr;
}

const InstrumentHeader* Csf2file::instrument(std::size_t index) const noexcept {
    return index < instruments_.size() ? &instruments_[index] : nullptr;
}

SampleHeader* Csf2file::sample(std::size_t index) noexcept {
    return index < samples_.size() ? &samples_[index] : nullptr;
}

const SampleHeader* Csf2file::sample(std::size_t index) const noexcept {
    return index < samples_.size() ? &samples_[index] : nullptr;
}

} // namespace korvelt
