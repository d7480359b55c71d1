#pragma once

#include "platform/FileProblem.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvelt {

class Csf2file;

// What a pack did.
struct PackReport {
    bool ok = false;
    std::string error;                  // why it failed, for the user
    std::optional<FileProblem> problem; // the file that failed and the system's reason
    std::uint64_t inputBytes = 0;
    std::uint64_t outputBytes = 0;
    std::size_t samples = 0;           // sample headers written (terminal included)
    std::size_t compressedSamples = 0; // streams stored compressed
    std::size_t rawSamples = 0;        // streams stored raw (compression did not pay)
    std::size_t sharedSamples = 0;     // headers that share another header's stream
    std::uint64_t frames = 0;          // sample frames stored
};

// Writes a loaded bank in the compressed bank format (see Ccompsf.h): the same preset,
// bag, generator, instrument and sample header records, no INFO list and no modulators,
// and each sample's storedLength frames as a compressed stream, or raw where that is
// smaller. Samples whose headers name the same frames share one stream. Every stream is
// decoded again before it is written, so a sample read back is bit-identical. The source
// may be a SoundFont 2 or 3 bank or a compressed bank (whose samples, codec streams or
// blocks, are decoded first, to the frames the sample store would hold); a sample
// whose frames cannot all be read fails the pack rather than being packed as silence.
//
// The file is written beside the output under a temporary name and renamed over it only
// when complete: a failed pack leaves no partial output.
class BankPacker {
public:
    PackReport pack(const Csf2file& bank, const std::string& outPath);

private:
    PackReport packBank(const Csf2file& bank, const std::string& outPath);
};

} // namespace korvelt
