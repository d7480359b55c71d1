#include "audio/WavePlayer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audio/Cwavfil.h"
#include "audio/PlaybackTestSupport.h"
#include "platform/Notifier.h"
#include "support/FakeWaveOut.h"
#include "support/TempDir.h"

namespace korvelt {
namespace {

using test::FakeWaveOut;
using test::ListenWindow;
using test::TempDir;
using test::testSignalBytes;
using test::writeTestWave;
using ::testing::ElementsAre;

constexpr std::size_t kMiB = 1048576;

std::vector<std::size_t> writeSizes(const FakeWaveOut& device) {
    std::vector<std::size_t> v;
    for (const auto& w : device.writes)
        v.push_back(w.bytes);
    return v;
}

std::vector<int> writeBuffers(const FakeWaveOut& device) {
    std::vector<int> v;
    for (const auto& w : device.writes)
        v.push_back(w.buffer);
    return v;
}

// The device played exactly frames [0, frames) of the test signal. (Compared here rather
// than with EXPECT_EQ so that a failure names the first wrong byte instead of printing
// megabytes.)
::testing::AssertionResult playedSignal(const FakeWaveOut& device, std::int64_t frames) {
    const std::string expected = testSignalBytes(0, frames);
    const std::string got(device.played.begin(), device.played.end());
    if (got == expected)
        return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i])
        ++i;
    return ::testing::AssertionFailure() << "played " << got.size() << " bytes, expected "
                                         << expected.size() << "; first difference at byte " << i;
}

class WavePlayerTest : public ::testing::Test {
protected:
    // A file of `frames` frames of the test signal, its object and a window for it.
    void load(std::int64_t frames, std::uint32_t rate = 44100, std::int64_t claimed = -1) {
        path = writeTestWave(dir, "play.wav", frames, rate, claimed);
        file = std::make_unique<Cwavfil>(path, notifier);
        window = std::make_unique<ListenWindow>(*file, device);
    }

    // Plays every queued buffer, one report at a time, until the device holds none.
    void playToTheEnd() {
        while (device.finishNext()) {
        }
    }

    TempDir dir;
    RecordingNotifier notifier;
    FakeWaveOut device;
    std::string path;
    std::unique_ptr<Cwavfil> file;
    std::unique_ptr<ListenWindow> window;
};

TEST_F(WavePlayerTest, OpenUsesTheFilesOwnFormatAndQueuesNothing) {
    load(1000, 22050);
    ASSERT_EQ(window->listen(), "");
    EXPECT_EQ(device.opens, 1);
    EXPECT_EQ(device.lastFormat.sampleRate, 22050u);
    EXPECT_EQ(device.lastFormat.channels, 2);
    EXPECT_EQ(device.lastFormat.bitsPerSample, 16);
    EXPECT_TRUE(device.writes.empty());
    const WavePlayer& player = window->player();
    EXPECT_TRUE(player.isOpen());
    EXPECT_EQ(player.nextBuffer(), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(player.header(i).data, nullptr);
        EXPECT_EQ(player.header(i).length, kMiB);
        EXPECT_EQ(player.header(i).flags, 0u);
    }
    EXPECT_EQ(window->state, ListenWindow::State::Listening);
    EXPECT_EQ(window->listenText, "&Stop");
    EXPECT_FALSE(window->otherCommandsEnabled);

    // A second open while playing is refused and leaves the first one alone.
    EXPECT_FALSE(window->player().open(*window));
    EXPECT_TRUE(player.isOpen());
    EXPECT_EQ(device.closes, 0);

    device.deliverOpened();
    EXPECT_EQ(window->progress, 0);
    EXPECT_THAT(writeSizes(device), ElementsAre(4000u));
    playToTheEnd();
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(playedSignal(device, 1000));
}

TEST_F(WavePlayerTest, FileOfExactlyOneBufferEndsAtTheFirstDoneReport) {
    load(262144);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    // The second queueNext of the opened report found nothing left.
    EXPECT_THAT(writeSizes(device), ElementsAre(kMiB));
    EXPECT_EQ(file->position(), 262144);
    EXPECT_FALSE(window->player().allDone());
    EXPECT_FALSE(window->player().queueNext());

    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(window->doneReports, 1);
    EXPECT_EQ(window->progress, 100);
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_EQ(window->listenText, "&Listen");
    EXPECT_TRUE(window->otherCommandsEnabled);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_EQ(window->player().header(0).data, nullptr);
    EXPECT_EQ(window->player().header(1).data, nullptr);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(file->handle(), -1);
    EXPECT_TRUE(playedSignal(device, 262144));
    EXPECT_EQ(device.overwrittenWhileQueued, 0);
}

TEST_F(WavePlayerTest, ThreeHundredThousandFramesPlayAsAFullAndAPartialBuffer) {
    load(300000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    EXPECT_THAT(writeSizes(device), ElementsAre(kMiB, 151424u));
    EXPECT_THAT(writeBuffers(device), ElementsAre(0, 1));
    EXPECT_EQ(window->player().header(1).length, 151424u);
    EXPECT_EQ(window->player().header(1).flags, WavePlayer::kPrepared);

    // The first return finds nothing left to queue; the second one ends playback.
    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(window->progress, 100);
    EXPECT_EQ(window->state, ListenWindow::State::Listening);
    EXPECT_EQ(window->player().header(0).flags, 0u);
    EXPECT_EQ(device.writes.size(), 2u);
    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(playedSignal(device, 300000));
}

TEST_F(WavePlayerTest, LongFileStreamsInOrderThroughAlternatingBuffers) {
    load(700000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    std::vector<int> progress;
    while (device.finishNext())
        progress.push_back(window->progress);
    // 262144, 524288 and 700000 frames handed on by the returns.
    EXPECT_THAT(progress, ElementsAre(100 * 524288 / 700000, 100, 100));
    EXPECT_THAT(writeSizes(device), ElementsAre(kMiB, kMiB, 700000u * 4 - 2 * kMiB));
    EXPECT_THAT(writeBuffers(device), ElementsAre(0, 1, 0));
    EXPECT_TRUE(playedSignal(device, 700000));
    EXPECT_EQ(device.overwrittenWhileQueued, 0);
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(notifier.messages().empty());
}

TEST_F(WavePlayerTest, StopReleasesAtOnceAndTheLateReportsOnlyRestoreTheControls) {
    load(700000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    ASSERT_TRUE(device.finishNext()); // buffer 0 back and queued again
    EXPECT_THAT(device.queuedBuffers(), ElementsAre(1, 0));

    window->stop();
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_EQ(window->progress, 0);
    EXPECT_EQ(window->listenText, "&Listen");
    EXPECT_FALSE(window->otherCommandsEnabled);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.queuedCount(), 0u);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_TRUE(window->player().allDone());
    EXPECT_EQ(window->player().header(0).data, nullptr);
    EXPECT_EQ(window->player().header(1).data, nullptr);
    EXPECT_EQ(file->handle(), -1);

    // The buffers the reset gave back arrive now; they find nothing prepared, touch no
    // freed buffer and stop nothing twice.
    EXPECT_EQ(device.deliverReturns(), 2);
    EXPECT_EQ(window->doneReports, 3);
    EXPECT_TRUE(window->otherCommandsEnabled);
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_EQ(window->progress, 100); // every frame had been handed on
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.writes.size(), 3u);

    // Listening again starts from the beginning.
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    device.played.clear();
    playToTheEnd();
    EXPECT_TRUE(playedSignal(device, 700000));
}

TEST_F(WavePlayerTest, ShortReadEndsPlaybackWhenTheOtherBufferComesBack) {
    // The header claims 600000 frames; the file holds 300000.
    load(300000, 44100, 600000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    EXPECT_THAT(writeSizes(device), ElementsAre(kMiB));
    EXPECT_EQ(file->position(), 262144);
    EXPECT_EQ(window->player().header(1).flags, 0u);

    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(window->otherCommandsEnabled);
    EXPECT_EQ(device.writes.size(), 1u);
    EXPECT_TRUE(playedSignal(device, 262144));
}

TEST_F(WavePlayerTest, FileGivingNoBufferAtAllEndsAtTheOpenedReport) {
    for (std::int64_t claimed : {0, 1000}) { // no data at all; a header claiming missing data
        SCOPED_TRACE(claimed);
        load(0, 44100, claimed);
        ASSERT_EQ(window->listen(), "");
        device.deliverOpened();
        EXPECT_EQ(window->openedReports, 1);
        EXPECT_EQ(window->state, ListenWindow::State::Idle);
        EXPECT_TRUE(window->otherCommandsEnabled);
        EXPECT_FALSE(window->player().isOpen());
        EXPECT_EQ(device.queuedCount(), 0u);
        EXPECT_EQ(file->handle(), -1);
    }
    EXPECT_TRUE(device.writes.empty());
}

TEST_F(WavePlayerTest, DeviceThatCannotOpenIsReportedBusy) {
    load(1000);
    device.failOpen = true;
    EXPECT_EQ(window->listen(), "Wave output busy");
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_EQ(window->player().header(0).data, nullptr);
    EXPECT_EQ(window->player().header(1).data, nullptr);
    EXPECT_FALSE(window->player().queueNext());
    window->player().release(); // without a device: nothing
    EXPECT_EQ(device.resets, 0);
    EXPECT_EQ(device.closes, 0);

    device.failOpen = false;
    EXPECT_EQ(window->listen(), "");
}

TEST_F(WavePlayerTest, RefusedBufferIsNotInFlight) {
    // Refused once: the same frames go out in the next buffer and nothing is lost.
    load(700000);
    device.failWriteCalls = {2};
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    EXPECT_THAT(writeSizes(device), ElementsAre(kMiB));
    EXPECT_EQ(window->player().header(1).flags, 0u);
    EXPECT_EQ(window->player().nextBuffer(), 1);
    EXPECT_EQ(file->position(), 262144);
    playToTheEnd();
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(playedSignal(device, 700000));

    // Refused for good: playback ends when the buffer in flight comes back.
    device.failWriteCalls = {2, 3, 4, 5};
    device.writeCalls = 0;
    device.writes.clear();
    device.played.clear();
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(window->state, ListenWindow::State::Idle);
    EXPECT_TRUE(window->player().allDone());
    EXPECT_TRUE(playedSignal(device, 262144));
}

TEST_F(WavePlayerTest, ReportsForBuffersTheDeviceDoesNotHoldAreIgnored) {
    load(300000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    WavePlayer& player = window->player();
    player.bufferReturned(2);
    player.bufferReturned(-1);
    EXPECT_EQ(player.header(0).flags, WavePlayer::kPrepared);
    EXPECT_EQ(player.header(1).flags, WavePlayer::kPrepared);
    player.bufferReturned(1);
    EXPECT_EQ(player.header(1).flags, WavePlayer::kPrepared | WavePlayer::kDone);
    EXPECT_FALSE(player.allDone());
}

TEST_F(WavePlayerTest, ShutdownAndDestructionStopTheDeviceBeforeTheBuffersGo) {
    load(700000);
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    window->player().shutdown();
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_FALSE(window->player().isOpen());
    EXPECT_NE(window->player().header(0).data, nullptr); // kept until the player goes
    // Reports that still arrive end nothing twice and queue nothing.
    EXPECT_EQ(device.deliverReturns(), 2);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.writes.size(), 2u);

    // The program closing during playback without a shutdown: the player stops the device
    // before it frees the buffers the device holds.
    ASSERT_EQ(window->listen(), "");
    device.deliverOpened();
    EXPECT_EQ(device.queuedCount(), 2u);
    window.reset();
    EXPECT_EQ(device.resets, 2);
    EXPECT_EQ(device.closes, 2);
    EXPECT_EQ(device.queuedCount(), 0u);
    EXPECT_FALSE(device.isOpen);
}

} // namespace
} // namespace korvelt
