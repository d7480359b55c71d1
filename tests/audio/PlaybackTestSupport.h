#pragma once

#include <cstdint>
#include <string>

#include "audio/Cwavfil.h"
#include "audio/WavePlayer.h"
#include "platform/WaveOut.h"
#include "support/TempDir.h"

namespace korvelt::test {

// Frame k of the test signal: never all-zero, and no two nearby frames alike, so a
// buffer played twice, dropped or out of order shows.
inline std::int16_t testLeft(std::int64_t k) {
    return static_cast<std::int16_t>(k % 30011 + 1);
}
inline std::int16_t testRight(std::int64_t k) {
    return static_cast<std::int16_t>(-(k * 7 % 29989) - 1);
}

// The samples of frames [first, first + count) of the test signal as they lie in a file.
inline std::string testSignalBytes(std::int64_t first, std::int64_t count) {
    std::string s;
    s.reserve(static_cast<std::size_t>(count) * 4);
    for (std::int64_t k = first; k < first + count; ++k) {
        for (std::int16_t v : {testLeft(k), testRight(k)}) {
            const auto u = static_cast<std::uint16_t>(v);
            s += static_cast<char>(u & 0xff);
            s += static_cast<char>(u >> 8);
        }
    }
    return s;
}

// A canonical 16-bit stereo WAVE file holding `frames` frames of the test signal at
// `rate`; its header claims `claimedFrames` (the real count when negative).
inline std::string writeTestWave(const TempDir& dir, const std::string& name, std::int64_t frames,
                                 std::uint32_t rate = 44100, std::int64_t claimedFrames = -1) {
    auto put = [](std::string& s, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            s += static_cast<char>((v >> (8 * i)) & 0xff);
    };
    const auto dataBytes =
        static_cast<std::uint32_t>((claimedFrames < 0 ? frames : claimedFrames) * 4);
    std::string s = "RIFF";
    put(s, dataBytes + 36, 4);
    s += "WAVEfmt ";
    put(s, 16, 4);
    put(s, 1, 2);
    put(s, 2, 2);
    put(s, rate, 4);
    put(s, rate * 4, 4);
    put(s, 4, 2);
    put(s, 16, 2);
    s += "data";
    put(s, dataBytes, 4);
    s += testSignalBytes(0, frames);
    return dir.write(name, s);
}

// The main window's Listen command and the handlers of the device's reports, as the
// application runs them, with the window's controls reduced to a few fields.
class ListenWindow : public WaveOutListener {
public:
    enum class State { Idle, Listening };

    ListenWindow(Cwavfil& file, WaveOut& device) : file_(file), player_(file, device) {}

    // Listen pressed while idle. Returns the warning's title, or "" when listening.
    std::string listen() {
        if (!file_.exists())
            return "WAVE file missing";
        if (!file_.openrd())
            return "Invalid Wave file";
        if (!player_.open(*this))
            return "Wave output busy";
        state = State::Listening;
        listenText = "&Stop";
        otherCommandsEnabled = false;
        return "";
    }

    // Stop pressed while listening.
    void stop() {
        player_.release();
        file_.closeFile();
        state = State::Idle;
        progress = 0;
        listenText = "&Listen";
    }

    void waveOutOpened() override {
        ++openedReports;
        progress = 0;
        player_.queueNext();
        player_.queueNext();
        // Nothing could be queued (no data, or the first read failed): no buffer will come
        // back to end playback, so it ends here.
        if (player_.allDone())
            finish();
    }

    void waveOutDone(int buffer) override {
        ++doneReports;
        player_.bufferReturned(buffer);
        progress = player_.progressPercent();
        player_.refill();
        if (player_.allDone())
            finish();
    }

    WavePlayer& player() { return player_; }

    State state = State::Idle;
    std::string listenText = "&Listen";
    bool otherCommandsEnabled = true; // Convert, Batch and the output file's Change
    int progress = -1;
    int openedReports = 0;
    int doneReports = 0;

private:
    void finish() {
        player_.release();
        file_.closeFile();
        state = State::Idle;
        listenText = "&Listen";
        otherCommandsEnabled = true;
    }

    Cwavfil& file_;
    WavePlayer player_;
};

} // namespace korvelt::test
