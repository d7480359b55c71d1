#include "voice/VoiceMath.h"

#include <cmath>

namespace korvelt::voice {

std::int32_t timecentsToTicks(std::int32_t timecents) noexcept {
    return truncateToInt32(std::exp2(timecents / 1200.0) * kTicksPerSecond);
}

std::int32_t keyScaledTicks(std::int32_t timecents, std::int32_t scaling, int key) noexcept {
    const std::int32_t ticks = timecentsToTicks(timecents);
    if (scaling == 0)
        return ticks;
    if (key <= 60)
        return truncateToInt32(ticks * std::exp2(double(60 - key) * scaling / 1200.0));
    return truncateToInt32(ticks / std::exp2(double(key - 60) * scaling / 1200.0));
}

namespace {

const std::array<double, 128> kKeyFrequencies = [] {
    std::array<double, 128> table{};
    for (int k = 0; k < 128; ++k)
        table[k] = std::round(440.0 * std::exp2((k - 69) / 12.0) * 1000.0) / 1000.0;
    return table;
}();

} // namespace

const std::array<double, 128>& keyFrequencies() noexcept {
    return kKeyFrequencies;
}

} // namespace korvelt::voice
