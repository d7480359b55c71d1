#pragma once

#include <cstddef>
#include <cstdint>

namespace korvelt {

// The sample format a WAVE stream is played in.
struct WaveOutFormat {
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 44100;
    std::uint16_t bitsPerSample = 16;
};

// What an output device reports, always on the user-interface thread.
class WaveOutListener {
public:
    virtual ~WaveOutListener() = default;
    // The device has opened and is ready for buffers.
    virtual void waveOutOpened() = 0;
    // The device has played (or, after reset, given back) buffer 0 or 1.
    virtual void waveOutDone(int buffer) = 0;
};

// The sound card: plays buffers of PCM data in the order they are written and gives each
// one back when it has been played. At most two buffers are in flight.
//
// Every call is made on the user-interface thread, and every report reaches the listener
// there, later, from that thread's queue (never from within a call).
class WaveOut {
public:
    virtual ~WaveOut() = default;
    // Opens the default output device in the given format. The listener is told
    // waveOutOpened() soon after, unless the device has been closed by then. False when no
    // device can be opened (busy, no sound output at all, or already open); nothing is
    // then reported.
    virtual bool open(const WaveOutFormat& format, WaveOutListener& listener) = 0;
    // Queues buffer 0 or 1 to play; the bytes must stay valid and unchanged until the
    // device gives the buffer back or until reset or close returns. False when the device
    // refuses it (not open, or that buffer is already queued); nothing is then reported
    // for it.
    virtual bool write(int buffer, const std::uint8_t* data, std::size_t bytes) = 0;
    // Stops playing at once: when reset returns, the device reads no queued buffer any
    // more, so the caller may free them. Every queued buffer is given back with
    // waveOutDone, in the order they were written. Those reports reach the listener later,
    // even when the device has been closed meanwhile (the player is ready for such late
    // reports); only opening the device again drops the reports of the earlier opening
    // that have not arrived yet, so they are never taken for the new opening's buffers.
    virtual void reset() = 0;
    // Closes the device. Nothing new is reported after this; a buffer still queued is
    // dropped without a report (reset first to have it given back).
    virtual void close() = 0;
};

} // namespace korvelt
