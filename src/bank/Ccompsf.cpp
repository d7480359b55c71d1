#include "bank/Ccompsf.h"

#include "bank/ByteOrder.h"
#include "platform/MessageTexts.h"

#include <cerrno>
#include <cstring>

namespace korvelt {

bool Ccompsf::rdfile() {
    if (!openForReading()) {
        failWithProblem(msg::kCompressedOpenFailed, kNotCompressed);
        return false;
    }
    auto invalid = [this] {
        fail(msg::kCompressedInvalid);
        return false;
    };
    std::uint8_t header[csf::kHeaderSize];
    const bool headerRead = readNext(header, sizeof header);
    if (!headerRead || std::memcmp(header, csf::kMagic, 4) != 0) {
        if (headerRead)
            errno = 0;
        failWithProblem(msg::kCompressedInvalid, kNotCompressed);
        return false;
    }
    if (header[csf::kVersionField] > csf::kMaxVersion) {
        fail(msg::kCompressedTooRecent);
        return false;
    }
    const std::uint16_t firstChunk = le::u16(header + csf::kFirstChunkField);
    if (firstChunk > fileSize_)
        return invalid();
    position_ = firstChunk;
    scrambler_.setKeyPosition(firstChunk);

    std::uint8_t head[csf::kSampleDataHead];
    if (!readNext(head, csf::kSampleDataHead))
        return invalid();
    scrambler_.unscramble(head, csf::kSampleDataHead);
    if (le::u16(head) != csf::kSampleDataTag)
        return invalid();
    sampleDataOffset_ = position_;
    const std::uint64_t bodySize = le::u64(head + 2);
    sampleDataSize_ = bodySize;
    if (!skip(bodySize))
        return invalid();
    scrambler_.advanceKeyPosition(bodySize);

    for (int i = 0; i < 7; ++i) {
        if (!readNext(head, csf::kChunkHead))
            return invalid();
        scrambler_.unscramble(head, csf::kChunkHead);
        if (le::u16(head) != csf::kStructureTags[i])
            return invalid();
        const std::uint32_t size = le::u32(head + 2);
        bool ok = false;
        switch (i) {
        case 0:
            ok = readPresetHeaders(size, true);
            break;
        case 1:
            ok = readPresetBags(size, true);
            break;
        case 2:
            ok = readPresetGenerators(size, true);
            break;
        case 3:
            ok = readInstruments(size, true);
            break;
        case 4:
            ok = readInstrumentBags(size, true);
            break;
        case 5:
            ok = readInstrumentGenerators(size, true);
            break;
        default:
            ok = readCompressedSampleHeaders(size);
            break;
        }
        if (!ok)
            return invalid();
    }
    loaded_ = true;
    return true;
}

// Sample header record, 62 bytes:
//   0 name[20]   20 u64 dataOffset   28 u32 storedLength   32 u32 compressedBytes
//  36 u32 blockSamples   40 u32 playLength   44 u32 loopStart   48 u32 loopEnd
//  52 u32 sampleRate   56 u8 originalPitch   57 i8 pitchCorrection   58 u16 sampleLink
//  60 u16 sampleType
bool Ccompsf::readCompressedSampleHeaders(std::uint64_t size) {
    bool complete = false;
    const std::size_t n = readRecords(size, csf::kSampleRecord, true, complete);
    samples_.reserve(samples_.size() + n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = records_.data() + i * csf::kSampleRecord;
        SampleHeader h;
        h.name = readName(p);
        h.dataOffset = le::u64(p + 20);
        h.storedLength = static_cast<std::int32_t>(le::u32(p + 28));
        h.compressedBytes = le::u32(p + 32);
        h.blockSamples = static_cast<std::int32_t>(le::u32(p + 36));
        h.playLength = static_cast<std::int32_t>(le::u32(p + 40));
        h.loopStart = static_cast<std::int32_t>(le::u32(p + 44));
        h.loopEnd = static_cast<std::int32_t>(le::u32(p + 48));
        h.sampleRate = le::u32(p + 52);
        h.originalPitch = p[56];
        h.pitchCorrection = static_cast<std::int8_t>(p[57]);
        h.sampleLink = le::u16(p + 58);
        h.sampleType = le::u16(p + 60);
        h.handle = handle_;
        h.dataEnd = sampleDataOffset_ + sampleDataSize_;
        if (h.sampleType & kSoundFont3Compressed)
            return false;
        samples_.push_back(h);
    }
    return complete;
}

} // namespace korvelt
