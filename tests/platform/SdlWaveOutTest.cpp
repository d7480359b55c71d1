// The SDL2 output device, played through SDL's "disk" driver, which writes what it plays
// to a file instead of a sound card.
#if __has_include(<SDL.h>)

#include "platform/SdlWaveOut.h"

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "support/UiQueue.h"

namespace korvelt {
namespace {

using test::TempDir;
using test::UiQueue;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RecordingListener : public WaveOutListener {
public:
    void waveOutOpened() override { events.push_back("opened"); }
    void waveOutDone(int buffer) override { events.push_back("done " + std::to_string(buffer)); }
    std::vector<std::string> events;
};

class SdlWaveOutTest : public ::testing::Test {
protected:
    // The disk driver, writing to a file of the test's directory; `delayMs` between two
    // chunks of 2048 frames keeps SDL from using the buffers up during a test.
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "disk", 1);
        ::setenv("SDL_DISKAUDIOFILE", dir.file("out.raw").c_str(), 1);
        ::setenv("SDL_DISKAUDIODELAY", "200", 1);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            GTEST_SKIP() << "SDL has no audio here: " << SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    TempDir dir;
    UiQueue ui;
    WaveOutFormat format; // 16-bit stereo at 44100 Hz
    std::vector<std::uint8_t> a = std::vector<std::uint8_t>(262144, 0x11);
    std::vector<std::uint8_t> b = std::vector<std::uint8_t>(262144, 0x22);
};

TEST_F(SdlWaveOutTest, OpenFailsWhenNoDeviceCanBeOpened) {
    ::setenv("SDL_AUDIODRIVER", "korvelt-no-such-driver", 1);
    SdlWaveOut device(ui.poster());
    RecordingListener listener;
    EXPECT_FALSE(device.open(format, listener));
    EXPECT_FALSE(device.lastError().empty());
    EXPECT_FALSE(device.write(0, a.data(), a.size()));
    device.reset();
    device.close();
    EXPECT_EQ(ui.runPending(), 0);

    // Formats the device cannot play are refused before SDL is asked.
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    WaveOutFormat odd;
    odd.bitsPerSample = 24;
    EXPECT_FALSE(device.open(odd, listener));
    odd.bitsPerSample = 16;
    odd.sampleRate = 0;
    EXPECT_FALSE(device.open(odd, listener));
    EXPECT_EQ(ui.runPending(), 0);
    EXPECT_THAT(listener.events, IsEmpty());
}

TEST_F(SdlWaveOutTest, ResetGivesBackTheQueuedBuffersInOrderEvenAfterClose) {
    SdlWaveOut device(ui.poster());
    RecordingListener listener;
    ASSERT_TRUE(device.open(format, listener)) << device.lastError();
    EXPECT_FALSE(device.open(format, listener)); // already open
    ASSERT_TRUE(device.write(1, b.data(), b.size()));
    ASSERT_TRUE(device.write(0, a.data(), a.size()));
    EXPECT_FALSE(device.write(0, a.data(), a.size())); // two in flight at most
    device.reset();
    // Nothing of the buffers is read any more: they may be overwritten at once.
    std::fill(a.begin(), a.end(), 0);
    std::fill(b.begin(), b.end(), 0);
    device.close();
    EXPECT_FALSE(device.write(0, a.data(), a.size()));

    ui.runPending();
    // The opened report found the device closed; the given-back buffers still arrive.
    EXPECT_THAT(listener.events, ElementsAre("done 1", "done 0"));
}

TEST_F(SdlWaveOutTest, ReportsOfAnEarlierOpeningAreDroppedOnceItOpensAgain) {
    SdlWaveOut device(ui.poster());
    RecordingListener first;
    RecordingListener second;
    ASSERT_TRUE(device.open(format, first)) << device.lastError();
    ASSERT_TRUE(device.write(0, a.data(), a.size()));
    device.reset();
    device.close();
    ASSERT_TRUE(device.open(format, second)) << device.lastError();
    ui.runPending();
    EXPECT_THAT(first.events, IsEmpty());
    EXPECT_THAT(second.events, ElementsAre("opened"));

    ASSERT_TRUE(device.write(0, a.data(), a.size()));
    device.reset();
    ui.runPending();
    EXPECT_THAT(second.events, ElementsAre("opened", "done 0"));
    device.close();
}

TEST_F(SdlWaveOutTest, ReportsStillOnTheirWayWhenTheDeviceGoesAreDropped) {
    RecordingListener listener;
    {
        SdlWaveOut device(ui.poster());
        ASSERT_TRUE(device.open(format, listener)) << device.lastError();
        ASSERT_TRUE(device.write(0, a.data(), a.size()));
        device.reset();
    }
    EXPECT_EQ(ui.runPending(), 2);
    EXPECT_THAT(listener.events, IsEmpty());
}

} // namespace
} // namespace korvelt

#endif
