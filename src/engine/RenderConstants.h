#pragma once

// The fixed numbers of every render, defined once for the whole engine.
namespace korvelt {

// Output frames per second: every render, voice and WAVE file runs at this rate.
inline constexpr int kSampleRate = 44100;
// The length of one output frame in microseconds (1,000,000 / 44100).
inline constexpr double kMicrosecondsPerFrame = 22.675736961451246;
// The frames of one render block, five seconds: the mix bus holds one block, the render
// loop fills it channel by channel and the effects then turn it into output frames.
inline constexpr int kBlockFrames = 5 * kSampleRate;
// The MIDI channels a render plays, each with its own strip of the mixer.
inline constexpr int kMidiChannels = 16;

} // namespace korvelt
