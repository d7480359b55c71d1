#pragma once

#include "engine/FrameSink.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace korvelt {

// A sink that keeps every frame in memory, interleaved as it arrives. It holds at most
// `maxFrames` frames: it takes the frames that fit and fails when more arrive, or when
// memory runs out (keeping the frames taken before).
class MemorySink final : public FrameSink {
public:
    explicit MemorySink(std::size_t maxFrames = std::numeric_limits<std::size_t>::max() / 2)
        : maxFrames_(maxFrames) {}

    void writeFrames(const std::int16_t* interleaved, int count) noexcept override {
        if (failed_ || count <= 0)
            return;
        const std::size_t room = maxFrames_ - frames();
        const std::size_t n = std::min(static_cast<std::size_t>(count), room);
        try {
            samples_.insert(samples_.end(), interleaved, interleaved + 2 * n);
        } catch (...) { // no memory for more
            failed_ = true;
            return;
        }
        if (n < static_cast<std::size_t>(count))
            failed_ = true;
    }
    bool failed() const noexcept override { return failed_; }

    // The frames taken, interleaved left, right, left, ...
    const std::vector<std::int16_t>& samples() const noexcept { return samples_; }
    std::size_t frames() const noexcept { return samples_.size() / 2; }
    // Empty again, and no longer failed.
    void clear() noexcept {
        samples_.clear();
        failed_ = false;
    }

private:
    std::vector<std::int16_t> samples_;
    std::size_t maxFrames_;
    bool failed_ = false;
};

} // namespace korvelt
