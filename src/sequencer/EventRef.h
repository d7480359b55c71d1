#pragma once

#include <cstdint>

namespace korvelt {

// A channel event of the performance as a channel's list keeps it: its tick and message.
struct EventRef {
    std::int32_t tick = 0;
    std::uint8_t command = 0; // status high nibble, 8 ... 14
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

// A set-tempo event: its tick and microseconds per quarter note as the file gives them.
struct TempoRef {
    std::int32_t tick = 0;
    std::int32_t tempo = 0;
};

} // namespace korvelt
