#include "app/AppTestSupport.h"
#include "midi/SmfBytes.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt::test {
namespace {

struct CliConvertFiles : ::testing::Test {
    TempDir dir;
    std::string bank = dir.write("bank.sf2", smallBank());
    std::string song = dir.write("song.mid", noteMidi(0.3));

    CliRun convert(const std::string& midi, const std::string& output) {
        return runCli(dir, "convert -q -b " + test::quoted(bank) + " -o " + test::quoted(output) +
                               " " + test::quoted(midi));
    }
};

TEST_F(CliConvertFiles, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    const std::string songBytes = TempDir::read(song);
    std::filesystem::create_hard_link(song, dir.file("hard.wav"));
    std::filesystem::create_symlink(song, dir.file("soft.wav"));
    std::filesystem::create_symlink(bank, dir.file("bank-soft.wav"));
    for (const std::string& output :
         {song, dir.path() + "/./song.mid", dir.file("hard.wav"), dir.file("soft.wav")}) {
        const CliRun run = convert(song, output);
        EXPECT_EQ(run.status, 1) << output;
        EXPECT_EQ(run.err, "Output file is the MIDI file: The output file " + output +
                               "\nis the MIDI file being converted; writing it would destroy "
                               "the MIDI file.\nPlease name another output file with --output "
                               "and try again\n");
        EXPECT_EQ(TempDir::read(song), songBytes) << output;
    }
    for (const std::string& output : {bank, dir.file("bank-soft.wav")}) {
        const CliRun run = convert(song, output);
        EXPECT_EQ(run.status, 1) << output;
        EXPECT_EQ(run.err.rfind("Output file is the sound bank: The output file " + output, 0), 0u)
            << run.err;
        EXPECT_EQ(TempDir::read(bank), smallBank());
    }
    // A MIDI file named like a WAVE file is not its own default output either.
    const std::string named = dir.write("tune.wav", noteMidi(0.3));
    const CliRun byDefault =
        runCli(dir, "convert -q -b " + test::quoted(bank) + " " + test::quoted(named));
    EXPECT_EQ(byDefault.status, 1);
    EXPECT_EQ(TempDir::read(named), noteMidi(0.3));
}

TEST_F(CliConvertFiles, AHugeDeltaIsRefusedAtOnceAndNothingIsWritten) {
    const std::string huge = dir.write("huge.mid", hugeDeltaMidi());
    const CliRun run = convert(huge, dir.file("huge.wav"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "MIDI file too long: " + kTooLongCliText + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("huge.wav")));
}

TEST_F(CliConvertFiles, ARiffMidiFileRendersAsThePlainFile) {
    const std::string rmi = dir.write("song.RMI", smf::rmid(noteMidi(0.3)));
    ASSERT_EQ(convert(song, dir.file("plain.wav")).status, 0);
    const CliRun run = convert(rmi, dir.file("wrapped.wav"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(TempDir::read(dir.file("wrapped.wav")), TempDir::read(dir.file("plain.wav")));
    const CliRun info = runCli(dir, "info " + test::quoted(rmi));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, runCli(dir, "info " + test::quoted(song)).out);
}

} // namespace
} // namespace korvelt::test
