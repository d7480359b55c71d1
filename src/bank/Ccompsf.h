#pragma once

#include "bank/Csf2file.h"

#include <cstdint>

namespace korvelt {

// The program's compressed bank format (extension csf). All numbers little-endian.
//
//   offset 0   "CSFF"
//          4   40 bytes not read
//         44   u16 absolute offset of the first chunk
//         46   1 byte not read
//         47   u8 format version (0 ... 10 readable)
//
// From the first chunk on, every byte but raw sample data is scrambled (BankScrambler,
// key index = absolute file position mod 43). The chunks, in this order:
//   sample data: u16 tag 0x5486, u64 body size, then the sample streams
//   preset headers 0x94D7, preset bags 0x9BA6, preset generators 0x96E2,
//   instruments 0x1457, instrument bags 0x1BA6, instrument generators 0x16E2,
//   sample headers 0x54D8: each u16 tag, u32 body size, then records laid out as the
//   SoundFont's, except the 62-byte sample header (see readCompressedSampleHeaders).
// A compressed sample is a stream in the block format of SampleDecoder.h; a raw one
// (blockSamples 0) is storedLength + 23 plain 16-bit frames. A sample header with the
// SoundFont 3 compressed-data type bit (0x10) is refused: this format holds no codec
// streams (the packer stores their decoded frames).
namespace csf {
inline constexpr std::uint8_t kMagic[4] = {'C', 'S', 'F', 'F'};
inline constexpr std::size_t kHeaderSize = 48;
inline constexpr std::size_t kFirstChunkField = 44;
inline constexpr std::size_t kVersionField = 47;
inline constexpr std::uint8_t kMaxVersion = 10;
inline constexpr std::uint8_t kVersion = 1; // what the packer writes
inline constexpr std::uint16_t kSampleDataTag = 0x5486;
inline constexpr std::size_t kSampleDataHead = 10;
inline constexpr std::size_t kChunkHead = 6;
inline constexpr std::uint16_t kStructureTags[7] = {0x94D7, 0x9BA6, 0x96E2, 0x1457,
                                                    0x1BA6, 0x16E2, 0x54D8};
inline constexpr std::size_t kSampleRecord = 62;
} // namespace csf

// A sound bank read from the compressed format: the same records as a SoundFont bank,
// without modulators.
class Ccompsf : public Csf2file {
public:
    using Csf2file::Csf2file;

    bool rdfile() override;

    static constexpr const char* kNotCompressed = msg::kNotCompressedBank;

protected:
    bool readCompressedSampleHeaders(std::uint64_t size);
};

} // namespace korvelt
