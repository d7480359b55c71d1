#include "midi/SmfBytes.h"
#include "support/CliRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace korvelt::test {
namespace {

using namespace smf;

TEST(CliInfoMidi, PrintsHeaderAndPerTrackCounts) {
    TempDir dir;
    const std::string conductor = meta(0, 0x51, bytes({0x07, 0xA1, 0x20})) +
                                  meta(0, 0x58, bytes({4, 2, 24, 8})) + endOfTrack(1920);
    const std::string piano = sysex(0, 0xF0, bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7})) +
                              bytes({0x00, 0xC0, 0x00, 0x00, 0x90, 0x3C, 0x64}) + vnum(480) +
                              bytes({0x3C, 0x00, 0x00, 0xF8}) + meta(10, 0x05, "la") + vnum(300) +
                              bytes({0xE0, 0x00, 0x40}) + endOfTrack(0);
    const std::string path =
        dir.write("song.MID", header(1, 3, 480) + track(conductor) + track(piano) + track({}));

    const CliRun run = runCli(dir, "info " + quoted(path));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "format 1\n"
                       "tracks 3\n"
                       "division 480\n"
                       "track 1: 0 channel, 0 sysex, 3 meta, last tick 1920\n"
                       "track 2: 4 channel, 1 sysex, 2 meta, last tick 790\n"
                       "track 3: 0 channel, 0 sysex, 0 meta, last tick 0\n");
    EXPECT_EQ(run.err, "");
}

TEST(CliInfoMidi, UnreadableFilesShowTheReadersMessagesAndExitOne) {
    TempDir dir;
    const std::string broken =
        dir.write("broken.mid", header(1, 2, 96) + track(endOfTrack()) + "XFIH" + be32(0));
    CliRun run = runCli(dir, "info " + quoted(broken));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Error!: Ctrack::rdmidi\nBad data in midi file\n"
                       "Error!: Cmidfil::rdmidi\nError while reading midi file\n");

    // A missing file, a directory, an empty file and a text file: each named, with why.
    for (const auto& [path, reason] :
         {std::pair{dir.file("missing.kar"), "No such file or directory"},
          std::pair{dir.path(), "Is a directory"},
          std::pair{dir.write("empty.mid", ""), "not a Standard MIDI file"},
          std::pair{dir.write("notes.mid", "a text file, not music\n"),
                    "not a Standard MIDI file"}}) {
        run = runCli(dir, "info " + quoted(path));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "korvelt-cli: " + path + ": " + reason +
                               "\nError!: Cmidfil::rdmidi\nError while reading midi file\n");
    }
}

TEST(CliInfoMidi, UsageErrorsSayWhatIsWrongThenTheUsage) {
    TempDir dir;
    const std::string path = dir.write("a.mid", header(0, 1, 96) + track(endOfTrack()));
    const auto expectUsageError = [&](const std::string& args, const std::string& what) {
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err, "korvelt-cli info: " + what +
                               "\nUsage: korvelt-cli info FILE\nRun 'korvelt-cli info --help' "
                               "for more.\n")
            << args;
    };
    expectUsageError("info", "missing FILE");
    expectUsageError("info " + quoted(path) + " b", "unexpected operand 'b'");
    expectUsageError("info --bogus " + quoted(path), "unknown option '--bogus'");
    // After "--" a name starting with "-" is a file.
    EXPECT_EQ(runCli(dir, "info -- " + quoted(path)).status, 0);
    const CliRun noCommand = runCli(dir, "");
    EXPECT_EQ(noCommand.status, 2);
    EXPECT_EQ(noCommand.err.rfind("korvelt-cli: missing COMMAND\n", 0), 0u) << noCommand.err;
}

} // namespace
} // namespace korvelt::test
