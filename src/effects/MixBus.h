#pragma once

#include "engine/RenderConstants.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace korvelt {

// The six accumulation buffers of one render block, into which every voice adds its
// frames, and the two frame positions the render loop and the voices share while they
// fill them. Owned by the EffectsRack; allocated once.
class MixBus {
public:
    static constexpr int kBlockFrames = korvelt::kBlockFrames;

    enum Buffer : int { DryLeft, DryRight, ChorusLeft, ChorusRight, ReverbLeft, ReverbRight };
    static constexpr int kBufferCount = 6;

    MixBus()
        : storage_(static_cast<float*>(::operator new[](sizeof(float) * kStride * kBufferCount,
                                                        std::align_val_t{kAlignment}))) {
        std::memset(storage_.get(), 0, sizeof(float) * kStride * kBufferCount);
    }

    MixBus(const MixBus&) = delete;
    MixBus& operator=(const MixBus&) = delete;

    float* buffer(int which) noexcept { return storage_.get() + std::size_t(which) * kStride; }
    const float* buffer(int which) const noexcept {
        return storage_.get() + std::size_t(which) * kStride;
    }

    // Zeroes the first `frames` frames of all six buffers.
    void clear(int frames) noexcept {
        if (frames <= 0)
            return;
        for (int b = 0; b < kBufferCount; ++b)
            std::memset(buffer(b), 0, sizeof(float) * std::size_t(frames));
    }

    // The frame index within the current block at which the span being rendered starts.
    int blockOffset = 0;
    // The index at which a voice adds its next frame.
    int mixPosition = 0;

private:
    static constexpr std::size_t kAlignment = 64;
    // Each buffer starts on a cache line.
    static constexpr std::size_t kStride = (kBlockFrames + 15) / 16 * 16;

    struct Free {
        void operator()(float* p) const noexcept {
            ::operator delete[](p, std::align_val_t{kAlignment});
        }
    };
    std::unique_ptr<float[], Free> storage_;
};

} // namespace korvelt
