#pragma once

#include <cstdint>

namespace korvelt {

// Where a render's finished sound goes: stereo frames of signed 16-bit samples, handed over
// by the output stage in runs as it makes them (one call per run of at most kMaxRunFrames
// frames, never a call per frame). A WAVE file is one sink, memory another.
//
// A sink that cannot take frames any more (a full disk) says so through failed(); the render
// then stops, as nothing more would arrive. The frames a sink is handed are exactly the
// frames of the output, whatever it does with them.
class FrameSink {
public:
    // The most frames one writeFrames call hands over.
    static constexpr int kMaxRunFrames = 256;

    virtual ~FrameSink() = default;

    // Takes `count` frames (0 ... kMaxRunFrames), interleaved left, right, left, ...
    virtual void writeFrames(const std::int16_t* interleaved, int count) noexcept = 0;
    // The sink has lost frames: it could not take every frame handed to it.
    virtual bool failed() const noexcept = 0;

protected:
    FrameSink() = default;
    FrameSink(const FrameSink&) = default;
    FrameSink& operator=(const FrameSink&) = default;
};

} // namespace korvelt
