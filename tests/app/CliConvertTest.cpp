#include "app/AppTestSupport.h"
#include "support/CliRun.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace korvelt::test {
namespace {

// Runs the command line with `args` as a user whom file permissions stop: this user, or,
// when the tests run as root (who may write anywhere), the unprivileged user "nobody".
// The settings file is a missing one in `dir`, which must be open to that user.
CliRun runCliUnprivileged(const TempDir& dir, const std::vector<std::string>& args) {
    std::vector<std::string> argv{KORVELT_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env{"KORVELT_INI=" + dir.file("none.ini")};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::string(*e).rfind("KORVELT_INI=", 0) != 0)
            env.emplace_back(*e);
    auto pointers = [](std::vector<std::string>& v) {
        std::vector<char*> p;
        for (auto& s : v)
            p.push_back(s.data());
        p.push_back(nullptr);
        return p;
    };
    auto argp = pointers(argv);
    auto envp = pointers(env);
    const std::string out = dir.file("cli-stdout.txt");
    const std::string err = dir.file("cli-stderr.txt");
    const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        constexpr uid_t kNobody = 65534;
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(126);
        ::execve(KORVELT_CLI, argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TempDir::read(out), TempDir::read(err)};
}

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

// What the command line prints when the WAVE file cannot be created: the file and the
// system's reason first, then the writer's and the conversion's messages.
std::string cannotCreate(const std::string& path, const std::string& reason) {
    return "korvelt-cli: " + path + ": " + reason +
           "\nError!: Cwavfil::openwr\nError while writing Korvelt.wav file\n"
           "Couldn't create the WAVE file: There was an error while creating the WAVE file\n"
           "Please check if your hard drive is not full and try again\n";
}

TEST_F(CliConvert, AnOutputThatCannotBeCreatedIsNamedWithTheReason) {
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                        std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                        std::filesystem::perms::others_exec);
    const std::string readOnly = dir.file("read-only");
    std::filesystem::create_directory(readOnly);
    std::filesystem::permissions(
        readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                      std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                      std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const struct {
        std::string output;
        const char* reason;
    } cases[] = {
        {dir.file("missing/out.wav"), "No such file or directory"},
        {readOnly, "Is a directory"},
        {readOnly + "/out.wav", "Permission denied"},
    };
    for (const auto& c : cases) {
        const CliRun run =
            runCliUnprivileged(dir, {"convert", "-q", "-b", bank, "-o", c.output, song});
        EXPECT_EQ(run.status, 1) << c.output;
        EXPECT_EQ(run.err, cannotCreate(c.output, c.reason));
    }
    EXPECT_FALSE(std::filesystem::exists(readOnly + "/out.wav"));
}

TEST_F(CliConvert, MissingInputsAreNamedWithTheReason) {
    const std::string noMidi = dir.file("nothing.mid");
    CliRun run = runCli(dir, "convert -q -b " + test::quoted(bank) + " " + test::quoted(noMidi));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "korvelt-cli: " + noMidi +
                           ": No such file or directory\n"
                           "Error!: Cmidfil::rdmidi\nError while reading midi file\n"
                           "Couldn't load MIDI file: The MIDI file selected could not be loaded\n"
                           "It either does not exist, or it is corrupt\nor it has an unknown "
                           "format\nPlease name another MIDI file and try again\n");

    const std::string noBank = dir.file("nothing.sf2");
    run = runCli(dir, "convert -q -b " + test::quoted(noBank) + " -o " +
                          test::quoted(dir.file("x.wav")) + " " + test::quoted(song));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "korvelt-cli: " + noBank +
                           ": No such file or directory\n"
                           "Error!: Csf2file::rdfile\nFatal error while reading Sound Font file\n"
                           "Could not open Sound Font file\n"
                           "Couldn't find sound bank: The sound bank selected does not exist.\n"
                           "Name an existing one with --bank and try again\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.wav")));
}

TEST_F(CliConvert, MidiErrorsAreSummedUpAfterTheRender) {
    // Channel 3 asks three times for a program the bank lacks; channel 1 sends an unknown
    // controller twice; channel 2 plays without fault.
    MidiFileWriter w(kDivision);
    auto& t = w.addTrack();
    t.programChange(0, 0, 0);
    t.controlChange(kSecond / 4, 0, 3, 9);
    t.note(kSecond / 4, kSecond / 4, 0, 60, 100);
    t.controlChange(kSecond * 7, 0, 3, 9);
    t.note(0, kSecond, 1, 64, 100);
    for (std::uint32_t at : {kSecond / 2, kSecond, 6 * kSecond}) {
        t.programChange(at, 2, 5);
        t.note(at, kSecond / 8, 2, 67, 100);
    }
    const std::string midi = dir.write("faulty.mid", w.bytes());
    const std::string options =
        "convert -q -b " + test::quoted(bank) + " -o " + test::quoted(dir.file("f.wav")) + " ";
    const CliRun run = runCli(dir, options + "--show-midi-errors " + test::quoted(midi));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "MIDI and sound bank errors met while rendering:\n"
                       "  channel 1, first at 0:00.250, 2 times: Invalid MIDI channel Control "
                       "change: Controller number: 3; Controller value: 9\n"
                       "  channel 3, first at 0:00.500, 3 times: Invalid MIDI preset: Bank number "
                       "0 doesn't have preset number 5\n");
    // Without the option nothing is said.
    EXPECT_EQ(runCli(dir, options + test::quoted(midi)).err, "");
}

} // namespace
} // namespace korvelt::test
