#pragma once

// Reads back a WAVE file as the program writes it, for the tests of every layer.

#include "support/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace korvelt::test {

// A WAVE file as the program writes it: the canonical 44-byte header, whose sizes count
// the data (trailing silence written after it is not counted), then the samples.
struct WaveData {
    // "RIFF" and "data" in their places, and the RIFF size is the data size + 36 and the
    // data fits the file.
    bool headerValid = false;
    // The samples the header's data size counts (as far as the file holds them),
    // interleaved left, right, little-endian on disk.
    std::vector<std::int16_t> samples;
    // What the file holds after the header, trailing silence included.
    std::size_t bytesAfterHeader = 0;

    std::int64_t frames() const { return std::int64_t(samples.size() / 2); }
    // The first frame with a non-zero sample, or -1.
    long firstSound() const {
        for (std::size_t i = 0; i < samples.size(); ++i)
            if (samples[i] != 0)
                return static_cast<long>(i / 2);
        return -1;
    }
    // The largest sample magnitude.
    int peak() const {
        int peak = 0;
        for (std::int16_t s : samples)
            peak = std::max(peak, std::abs(int(s)));
        return peak;
    }
};

// The file's bytes as a WaveData; a file shorter than a header gives an empty, invalid one.
inline WaveData decodeWave(const std::string& b) {
    WaveData w;
    if (b.size() < 44)
        return w;
    auto le32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = v << 8 | std::uint8_t(b[at + std::size_t(i)]);
        return v;
    };
    const std::uint32_t dataBytes = le32(40);
    w.bytesAfterHeader = b.size() - 44;
    w.headerValid = b.compare(0, 4, "RIFF") == 0 && b.compare(36, 4, "data") == 0 &&
                    le32(4) == dataBytes + 36 && dataBytes <= w.bytesAfterHeader;
    const std::size_t end = 44 + std::min<std::size_t>(dataBytes, w.bytesAfterHeader);
    for (std::size_t i = 44; i + 1 < end; i += 2)
        w.samples.push_back(
            static_cast<std::int16_t>(std::uint8_t(b[i]) | std::uint8_t(b[i + 1]) << 8));
    return w;
}

inline WaveData readWave(const std::string& path) {
    return decodeWave(TempDir::read(path));
}

} // namespace korvelt::test
