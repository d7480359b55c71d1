#include "app/AppTestSupport.h"
#include "audio/PlaybackTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvelt::test {
namespace {

struct CliRun {
    int status = -1; // the exit status, -1 when ended by a signal
    std::string out;
    std::string err;
};

// Runs the built korvelt-cli in `dir` with `args` and extra environment entries
// ("NAME=value"); the settings file is the directory's own. `whileRunning` gets the
// process id once it has started.
CliRun runCli(const TempDir& dir, const std::vector<std::string>& args,
              std::vector<std::string> env = {},
              const std::function<void(pid_t)>& whileRunning = {}) {
    std::vector<std::string> argv{KORVELT_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    env.push_back("KORVELT_INI=" + dir.file("Korvelt.ini"));
    for (char** e = environ; *e != nullptr; ++e)
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
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, KORVELT_CLI, &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    CliRun run;
    if (spawned != 0)
        return run;
    if (whileRunning)
        whileRunning(pid);
    int raw = 0;
    waitpid(pid, &raw, 0);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = TempDir::read(out);
    run.err = TempDir::read(err);
    return run;
}

// A command line that is wrong, and what the program must say about it.
struct UsageCase {
    std::vector<std::string> args;
    const char* what;
};

// Waits until the process blocks SIGINT (its Ctrl-C watcher is in place), then sends it.
void interruptOnceWatched(pid_t pid) {
    const bool watched = waitFor([pid] {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("SigBlk:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1))) != 0;
        return false;
    });
    EXPECT_TRUE(watched);
    kill(pid, SIGINT);
}

struct CliBatch : ::testing::Test {
    TempDir dir;
    std::string bank = dir.write("bank.sf2", smallBank());
    std::string song = dir.write("song one.mid", noteMidi(0.3));
    std::string other = dir.write("other.mid", noteMidi(0.2, 40));

    std::string batchFile(const std::string& text) { return dir.write("jobs.txt", text); }
};

TEST_F(CliBatch, ConvertsEveryJobAndSaysSo) {
    const std::string file =
        batchFile("; two jobs\n\"" + bank + "\" " + dir.file("a.wav") + " \"" + song + "\"\n" +
                  bank + "\t" + dir.file("b.wav") + " " + other + "\r\n");
    const CliRun run = runCli(dir, {"batch", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Job 1 of 2: wrote " + dir.file("a.wav")), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Job 2 of 2: wrote " + dir.file("b.wav")), std::string::npos);
    EXPECT_GE(wavePeak(dir.file("a.wav")), 32736); // rescaled, as by default
    EXPECT_TRUE(readWave(dir.file("b.wav")).headerValid);

    // Render options apply to every job; -q leaves standard error silent.
    const CliRun quiet =
        runCli(dir, {"batch", "-q", "--no-rescale", "--master-volume", "-20", file});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_LT(wavePeak(dir.file("a.wav")), 32736);
}

TEST_F(CliBatch, BadFilesAndFailingJobsExitWithOne) {
    const CliRun bad =
        runCli(dir, {"batch", batchFile(";\n" + bank + " " + dir.file("a.wav") + "\n")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "Batch file error: Syntax error in line 2\nEach line in the batch file must have 3 "
              "elements,\nseparated by one or more spaces, in this order:\n- SoundBank file\n- "
              "Output file\n- MIDI file\nIf the file name has spaces, enclose it between \"\"\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.wav")));

    const CliRun missing = runCli(dir, {"batch", dir.file("none.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "korvelt-cli: " + dir.file("none.txt") +
                               ": No such file or directory\n"
                               "Batch file error: Couldn't open the selected batch file\nPlease "
                               "name a batch file and try again\n");

    const CliRun failing =
        runCli(dir, {"batch", batchFile(bank + " " + dir.file("a.wav") + " " + other + "\n" + bank +
                                        " " + dir.file("no/b.wav") + " " + other + "\n")});
    EXPECT_EQ(failing.status, 1);
    EXPECT_NE(failing.err.find("Job 1 of 2: wrote"), std::string::npos);
    EXPECT_NE(failing.err.find("korvelt-cli: " + dir.file("no/b.wav") +
                               ": No such file or directory\nError!: Cwavfil::openwr\n"),
              std::string::npos)
        << failing.err;
    EXPECT_NE(failing.err.find("Batch error: There was an error while creating the WAVE file"),
              std::string::npos)
        << failing.err;
    // The run closes with what it wrote and what failed.
    EXPECT_NE(failing.err.find("korvelt-cli: 1 of 2 jobs written; job 2 failed: " +
                               dir.file("no/b.wav") + ": No such file or directory\n"),
              std::string::npos)
        << failing.err;
    EXPECT_TRUE(readWave(dir.file("a.wav")).headerValid);

    const CliRun empty = runCli(dir, {"batch", batchFile(";nothing to do\n")});
    EXPECT_EQ(empty.status, 0);
}

TEST_F(CliBatch, KeepGoingSkipsFailingJobsAndSumsUp) {
    const std::string gone = dir.file("gone.mid");
    const std::string nowhere = dir.file("no/c.wav");
    const std::string jobs = bank + " " + dir.file("a.wav") + " " + other + "\n" + bank + " " +
                             dir.file("b.wav") + " " + gone + "\n" + bank + " " + nowhere + " " +
                             other + "\n" + bank + " " + dir.file("d.wav") + " " + other + "\n";
    const std::string file = batchFile(jobs);
    const CliRun run = runCli(dir, {"batch", "--keep-going", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("korvelt-cli: " + gone + ": No such file or directory\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Batch error: The MIDI file could not be loaded"), std::string::npos);
    EXPECT_EQ(run.err.substr(run.err.rfind("korvelt-cli: ")),
              "korvelt-cli: 2 of 4 jobs written; job 2 failed: " + gone +
                  ": No such file or directory; job 3 failed: " + nowhere +
                  ": No such file or directory\n");
    EXPECT_TRUE(readWave(dir.file("a.wav")).headerValid);
    EXPECT_TRUE(readWave(dir.file("d.wav")).headerValid);
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.wav")));

    // Every job written: the summary counts them, and the exit status is 0.
    const CliRun good = runCli(
        dir, {"batch", "-kq", batchFile(bank + " " + dir.file("e.wav") + " " + other + "\n")});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.err, "");
    const CliRun said = runCli(
        dir, {"batch", "-k", batchFile(bank + " " + dir.file("e.wav") + " " + other + "\n")});
    EXPECT_NE(said.err.find("korvelt-cli: 1 of 1 job written\n"), std::string::npos) << said.err;

    // Without the option a missing file stops the batch before any job runs.
    std::filesystem::remove(dir.file("a.wav"));
    const CliRun strict = runCli(dir, {"batch", batchFile(jobs)});
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.err, "Batch file error: Line 2 - MIDI file " + gone + " doesn't exist\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.wav")));
}

TEST_F(CliBatch, UsageErrorsExitWithTwo) {
    const UsageCase cases[] = {
        {{"batch"}, "missing FILE"},
        {{"batch", "a.txt", "b.txt"}, "unexpected operand 'b.txt'"},
        {{"batch", "--bogus", "a.txt"}, "unknown option '--bogus'"},
        {{"batch", "-qx", "a.txt"}, "unknown option '-x'"},
        {{"batch", "--keep-going=1", "a.txt"}, "option '--keep-going' takes no value"},
        {{"batch", "--tempo", "fast", "a.txt"}, "--tempo: 'fast' is not a whole number"},
        {{"batch", "--compressor"}, "option '--compressor' needs a value"}};
    for (const auto& [args, what] : cases) {
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << what;
        EXPECT_EQ(run.err, std::string("korvelt-cli batch: ") + what +
                               "\nUsage: korvelt-cli batch [OPTIONS] FILE\n"
                               "Run 'korvelt-cli batch --help' for more.\n");
    }
    const CliRun help = runCli(dir, {"batch", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: korvelt-cli batch [OPTIONS] FILE\n", 0), 0u);
    EXPECT_NE(help.out.find("--no-rescale"), std::string::npos);
}

TEST_F(CliBatch, CtrlCAbortsTheRunningJobAndClosesItsFile) {
    const std::string file = batchFile(bank + " " + dir.file("long.wav") + " " +
                                       dir.write("long.mid", silentMidi(3600 * kSecond)) + "\n" +
                                       bank + " " + dir.file("never.wav") + " " + other + "\n");
    const CliRun run = runCli(dir, {"batch", file}, {}, [&](pid_t pid) {
        // Once the first job's file exists its render is under way.
        EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dir.file("long.wav")); }));
        interruptOnceWatched(pid);
    });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("korvelt-cli: batch interrupted; 0 of 2 jobs written"),
              std::string::npos)
        << run.err;
    const WaveData wave = readWave(dir.file("long.wav"));
    EXPECT_TRUE(wave.headerValid);
    EXPECT_LT(wave.frames(), 3600 * 44100);
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.wav")));
}

TEST_F(CliBatch, ConvertSharesTheRenderOptions) {
    const CliRun run = runCli(dir, {"convert", "-q", "--no-rescale", "--master-volume=-20", "-b",
                                    bank, "-o", dir.file("c.wav"), other});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_LT(wavePeak(dir.file("c.wav")), 32736);
    const UsageCase cases[] = {
        {{"convert", other, "--bogus"}, "unknown option '--bogus'"},
        {{"convert", other, "--delay-time=0"}, "--delay-time: 0 is outside 1..1000"},
        {{"convert", other, "--no-rescale=1"}, "option '--no-rescale' takes no value"},
        {{"convert"}, "missing MIDI"},
        {{"convert", other, "b.mid"}, "unexpected operand 'b.mid'"},
        {{"convert", other, "-b"}, "option '-b' needs a value"}};
    for (const auto& [args, what] : cases) {
        const CliRun usage = runCli(dir, args);
        EXPECT_EQ(usage.status, 2) << what;
        EXPECT_EQ(usage.err, std::string("korvelt-cli convert: ") + what +
                                 "\nUsage: korvelt-cli convert [OPTIONS] MIDI\n"
                                 "Run 'korvelt-cli convert --help' for more.\n");
    }
    // Short options combine as POSIX utilities take them; a value may follow its letter.
    const CliRun combined =
        runCli(dir, {"convert", "-qb", bank, "-o" + dir.file("d.wav"), "--", other});
    EXPECT_EQ(combined.status, 0) << combined.err;
    EXPECT_EQ(combined.err, "");
    EXPECT_TRUE(readWave(dir.file("d.wav")).headerValid);
}

struct CliPlay : ::testing::Test {
    TempDir dir;
    std::vector<std::string> diskDriver() const {
        return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir.file("played.raw"),
                "SDL_DISKAUDIODELAY=0"};
    }
};

TEST_F(CliPlay, PlaysTheWholeFileThroughTheDevice) {
    const std::string wave = writeTestWave(dir, "tune.wav", 300000);
    const CliRun run = runCli(dir, {"play", wave}, diskDriver());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(TempDir::read(dir.file("played.raw")).find(testSignalBytes(0, 300000)),
              std::string::npos);
}

TEST_F(CliPlay, MissingInvalidFilesAndABusyDeviceExitWithOne) {
    const CliRun missing = runCli(dir, {"play", dir.file("none.wav")}, diskDriver());
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "korvelt-cli: " + dir.file("none.wav") +
                               ": No such file or directory\n"
                               "WAVE file missing: The WAVE file selected does not exist.\n"
                               "Suggestion 1: Name an existing WAVE file and try again\n"
                               "Suggestion 2: Make one with 'korvelt-cli convert'\n");

    const CliRun invalid =
        runCli(dir, {"play", dir.write("bad.wav", std::string(100, 'x'))}, diskDriver());
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err, "korvelt-cli: " + dir.file("bad.wav") +
                               ": not a 16-bit stereo PCM WAVE file\n"
                               "Error!: Cwavfil::openrd\nError while reading Korvelt.wav file\n"
                               "Invalid Wave file: The WAVE file selected appears to be corrupt\n"
                               "Suggestion 1: Name another WAVE file and try again\n"
                               "Suggestion 2: Make one with 'korvelt-cli convert'\n");

    const CliRun busy = runCli(dir, {"play", writeTestWave(dir, "tune.wav", 1000)},
                               {"SDL_AUDIODRIVER=no-such-driver"});
    EXPECT_EQ(busy.status, 1);
    EXPECT_EQ(busy.err.rfind("Wave output busy: The Wave output device is not ready.", 0), 0u)
        << busy.err;

    EXPECT_EQ(runCli(dir, {"play"}).err.rfind("korvelt-cli play: missing FILE.wav\n", 0), 0u);
    EXPECT_EQ(runCli(dir, {"play", "a.wav", "b.wav"}).status, 2);
    const CliRun loud = runCli(dir, {"play", "--loud", "a.wav"});
    EXPECT_EQ(loud.status, 2);
    EXPECT_EQ(loud.err, "korvelt-cli play: unknown option '--loud'\n"
                        "Usage: korvelt-cli play [-q] FILE.wav\n"
                        "Run 'korvelt-cli play --help' for more.\n");
}

TEST_F(CliPlay, CtrlCStopsPlayback) {
    // The dummy driver plays in real time: a minute of sound is still playing when stopped.
    const std::string wave = writeTestWave(dir, "minute.wav", 60 * 44100);
    const CliRun run = runCli(dir, {"play", wave}, {"SDL_AUDIODRIVER=dummy"}, interruptOnceWatched);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "korvelt-cli: playback stopped\n");
}

} // namespace
} // namespace korvelt::test
