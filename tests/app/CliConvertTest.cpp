#include "app/AppTestSupport.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <string>

namespace korvelt::test {
namespace {

struct CliConvert : ::testing::Test {
    TempDir dir;
    std::string bank = dir.write("bank.sf2", smallBank());
    std::string song = dir.write("song.mid", noteMidi(0.5));

    // Renders the song on channel 1 without rescale and compressor (a linear chain at
    // these levels) and returns the WAVE file's peak.
    int peakWith(const std::string& options) {
        const std::string out = dir.file("out.wav");
        const CliRun run =
            runCli(dir, "convert -q --no-rescale --compressor 0 -b " + test::quoted(bank) + " -o " +
                            test::quoted(out) + " " + options + " " + test::quoted(song));
        EXPECT_EQ(run.status, 0) << run.err;
        return wavePeak(out);
    }
};

TEST_F(CliConvert, ChannelVolumeIsInWholeDecibels) {
    const double unchanged = peakWith("");
    ASSERT_GT(unchanged, 1000);
    // -20 dB is a tenth of the level, +6 dB about twice; other channels are untouched.
    EXPECT_NEAR(peakWith("--channel-volume 1=-20") / unchanged, 0.1, 0.005);
    EXPECT_NEAR(peakWith("--channel-volume=1=6") / unchanged, 1.995, 0.05);
    EXPECT_EQ(peakWith("--channel-volume 2=-20"), unchanged);
}

} // namespace
} // namespace korvelt::test
