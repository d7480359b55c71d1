// Listening from end to end: a WAVE file through the player and the SDL2 output device,
// played by SDL's "disk" driver into a file, with the test's thread as the UI thread.
#if __has_include(<SDL.h>)

#include <SDL.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "audio/Cwavfil.h"
#include "audio/PlaybackTestSupport.h"
#include "platform/Notifier.h"
#include "platform/SdlWaveOut.h"
#include "support/TempDir.h"
#include "support/UiQueue.h"

namespace korvelt {
namespace {

using namespace std::chrono_literals;
using test::ListenWindow;
using test::TempDir;
using test::testSignalBytes;
using test::UiQueue;
using test::writeTestWave;

// What the disk driver wrote: silence, the played bytes, silence. Returns the bytes
// between the first and the last frame that is not all zero, and checks that the frames
// around them are all zero.
::testing::AssertionResult playedPart(const std::string& raw, std::string& payload) {
    if (raw.size() % 4 != 0)
        return ::testing::AssertionFailure() << "not whole frames: " << raw.size() << " bytes";
    auto silent = [&](std::size_t frame) {
        return (raw[frame * 4] | raw[frame * 4 + 1] | raw[frame * 4 + 2] | raw[frame * 4 + 3]) == 0;
    };
    const std::size_t frames = raw.size() / 4;
    std::size_t first = 0;
    while (first < frames && silent(first))
        ++first;
    std::size_t end = frames;
    while (end > first && silent(end - 1))
        --end;
    payload = raw.substr(first * 4, (end - first) * 4);
    return ::testing::AssertionSuccess();
}

class WavePlayerSdlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", dir.file("out.raw").c_str(), 1);
        ::setenv("SDL_DISKAUDIODELAY", "0", 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            GTEST_SKIP() << "SDL has no audio here: " << SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    TempDir dir;
    RecordingNotifier notifier;
    UiQueue ui;
};

TEST_F(WavePlayerSdlTest, PlaysTheFileThroughTheSoundDeviceByteForByte) {
    // Two buffers: both are queued at the opened report, so even a device running far
    // faster than real time plays them without a gap.
    const std::int64_t frames = 300000;
    Cwavfil file(writeTestWave(dir, "play.wav", frames), notifier);
    SdlWaveOut device(ui.poster());
    ListenWindow window(file, device);
    ASSERT_EQ(window.listen(), "") << device.lastError();

    ASSERT_TRUE(ui.runUntil([&] { return window.state == ListenWindow::State::Idle; }, 30s));
    EXPECT_EQ(window.openedReports, 1);
    EXPECT_EQ(window.doneReports, 2);
    EXPECT_EQ(window.progress, 100);
    EXPECT_TRUE(window.otherCommandsEnabled);
    EXPECT_FALSE(window.player().isOpen());

    std::string payload;
    ASSERT_TRUE(playedPart(TempDir::read(dir.file("out.raw")), payload));
    EXPECT_EQ(payload.size(), std::size_t(frames) * 4);
    EXPECT_TRUE(payload == testSignalBytes(0, frames)) << "the played bytes differ";
    EXPECT_TRUE(notifier.messages().empty());
}

TEST_F(WavePlayerSdlTest, StopDuringPlaybackEndsAtOnceAndTheLateReportsRestoreTheControls) {
    const std::int64_t frames = 700000;
    Cwavfil file(writeTestWave(dir, "play.wav", frames), notifier);
    SdlWaveOut device(ui.poster());
    ListenWindow window(file, device);
    ASSERT_EQ(window.listen(), "") << device.lastError();
    ASSERT_TRUE(ui.runUntil([&] { return window.openedReports == 1; }, 30s));

    window.stop();
    EXPECT_EQ(window.state, ListenWindow::State::Idle);
    EXPECT_FALSE(window.player().isOpen());
    EXPECT_EQ(file.handle(), -1);
    // The buffers the reset gave back (and any report already on its way) arrive now.
    ASSERT_TRUE(ui.runUntil([&] { return window.otherCommandsEnabled; }, 30s));
    ui.runPending();
    EXPECT_EQ(window.state, ListenWindow::State::Idle);
    EXPECT_FALSE(window.player().isOpen());

    // Whatever was heard before Stop is the start of the file.
    std::string payload;
    ASSERT_TRUE(playedPart(TempDir::read(dir.file("out.raw")), payload));
    EXPECT_LE(payload.size(), std::size_t(frames) * 4);
    EXPECT_TRUE(payload == testSignalBytes(0, std::int64_t(payload.size() / 4)));
}

} // namespace
} // namespace korvelt

#endif
