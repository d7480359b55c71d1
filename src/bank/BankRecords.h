#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace korvelt {

// The records of a sound bank, one per record of the file, in file order. Each list of a
// bank keeps the file's terminal record (end of presets, instruments, samples) as its last
// element; consumers use it to bound the last real record.

// A record name: 20 bytes copied up to the first NUL, the rest zero (not NUL-terminated
// when all 20 bytes are used).
using RecordName = std::array<char, 20>;

inline std::string recordNameText(const RecordName& name) {
    std::size_t n = 0;
    while (n < name.size() && name[n] != '\0')
        ++n;
    return std::string(name.data(), n);
}

struct PresetHeader {
    RecordName name{};
    std::uint16_t preset = 0;   // MIDI program number
    std::uint16_t bank = 0;     // MIDI bank number
    std::uint16_t bagIndex = 0; // first zone in the preset bag list
    std::uint32_t library = 0;
    std::uint32_t genre = 0;
    std::uint32_t morphology = 0;
};

struct ZoneBag {
    std::uint16_t genIndex = 0; // first generator of the zone
    std::uint16_t modIndex = 0; // first modulator (kept, never used)
};

struct Generator {
    std::uint16_t oper = 0;
    std::int16_t amount = 0;

    // The low and high ends of a key or velocity range (generators 43 and 44).
    std::uint8_t rangeLow() const noexcept {
        return static_cast<std::uint8_t>(static_cast<std::uint16_t>(amount) & 0xFF);
    }
    std::uint8_t rangeHigh() const noexcept {
        return static_cast<std::uint8_t>(static_cast<std::uint16_t>(amount) >> 8);
    }
};

struct InstrumentHeader {
    RecordName name{};
    std::uint16_t bagIndex = 0; // first zone in the instrument bag list
};

// One sample of the bank: where its data lies in the file and, while resident, the data.
// Sample data is read lazily by the SampleStore.
struct SampleHeader {
    RecordName name{};
    std::int32_t playLength = 0; // playable frames (end - start)
    std::int32_t loopStart = 0;  // relative to the first frame
    std::int32_t loopEnd = 0;
    std::uint32_t sampleRate = 0;
    std::uint8_t originalPitch = 0;
    std::int8_t pitchCorrection = 0;
    std::uint16_t sampleLink = 0;
    std::uint16_t sampleType = 0; // 1 mono, 2 right, 4 left, 8 linked (never the
                                  // compressed-data bit 0x10: see codecStream)
    int handle = -1;              // the bank file's descriptor
    std::uint64_t dataOffset = 0; // absolute file offset of the stored data
    // Absolute file offset of the end of the bank's sample data area ("smpl"): no byte at or
    // beyond it is ever read as a frame of this sample, whatever its length or a zone's
    // address offsets ask for.
    std::uint64_t dataEnd = UINT64_MAX;
    std::int64_t lastUse = 0; // calendar seconds of the latest request
    // Frames to hold in memory. Raised by a voice before it requests the data so that it
    // covers every frame the voice's zone can address.
    std::int32_t storedLength = 0;
    std::uint32_t compressedBytes = 0; // 0 for raw data
    std::int32_t blockSamples = 0;     // frames per compressed block; 0 = raw
    // The data is a codec stream of compressedBytes bytes at dataOffset (a SoundFont 3
    // sample; blockSamples 0). playLength is then the stream's frame count, from its last
    // Ogg page (0 when that cannot be read: the sample then fails to load), and the whole
    // stream is decoded at once.
    bool codecStream = false;

    // The resident frames, null while not resident: residentLength decoded frames followed
    // by kPaddingFrames frames of silence. Shared so that a voice can keep the buffer it
    // reads alive after the store has evicted or replaced it.
    // residentLength never exceeds the storedLength the buffer was made for; it is shorter
    // when the data cannot supply that many frames (a raw sample ends with the sample data
    // area; a compressed one is silence beyond its stream) and 0 after a failed load (the
    // buffer is then kPaddingFrames frames of silence).
    std::shared_ptr<std::int16_t[]> data;
    std::int32_t residentLength = 0;
    std::uint64_t residentBytes = 0; // what the store counts for the buffer
    // The storedLength the resident buffer was made for; a larger storedLength makes the
    // store load the sample again.
    std::int32_t residentFor = 0;

    static constexpr int kPaddingFrames = 23;
};

inline constexpr std::uint16_t kSampleTypeMono = 1;
inline constexpr std::uint16_t kSampleTypeRight = 2;
inline constexpr std::uint16_t kSampleTypeLeft = 4;
inline constexpr std::uint16_t kSampleTypeLinked = 8;

} // namespace korvelt
