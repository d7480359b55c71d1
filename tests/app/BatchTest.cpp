#include "app/AppTestSupport.h"
#include "app/BatchFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace korvelt::test {
namespace {

using Msg = RecordingNotifier::Message;
using control::kBatch;

const std::string kHelp = "Each line in the batch file must have 3 elements,\nseparated by one "
                          "or more spaces, in this order:\n- SoundBank file\n- Output file\n- "
                          "MIDI file\nIf the file name has spaces, enclose it between \"\"\n";
const char* const kWaveNotCreated = "There was an error while creating the WAVE file\nPlease "
                                    "check if your hard drive is not full and try again";

Msg fileError(const std::string& text) {
    return Msg{Severity::Warning, "Batch file error", text};
}
std::string syntaxError(unsigned line) {
    return "Syntax error in line " + std::to_string(line) + "\n" + kHelp;
}

// Parses `text` with the files in `existing` present; the jobs as "bank|output|midi".
struct Parse {
    RecordingNotifier notifier;
    BatchFile file{notifier};
    std::set<std::string> existing{"b.sf2", "m.mid", "my bank.sf2", "my song.mid"};
    bool ok = false;

    explicit Parse(std::string_view text) { run(text); }
    void run(std::string_view text) {
        ok = file.parse(text, [this](const std::string& p) { return existing.count(p) > 0; });
    }
    std::vector<std::string> jobs() const {
        std::vector<std::string> out;
        for (const BatchJob& j : file.jobs())
            out.push_back(j.soundBank + "|" + j.outputFile + "|" + j.midiFile);
        return out;
    }
    std::vector<std::string> texts() const { return notifier.texts(); }
};

TEST(BatchParse, SkipsCommentsAndEmptyLinesButCountsThem) {
    Parse p(";a comment\n\n\r\nb.sf2 o1.wav m.mid\n;\n  \nb.sf2 o2.wav m.mid\n");
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.jobs(), std::vector<std::string>{"b.sf2|o1.wav|m.mid"}); // the jobs before stay
    EXPECT_EQ(p.notifier.messages(), std::vector{fileError(syntaxError(6))});

    Parse q(";only\r\n\r\n;comments\n\n");
    EXPECT_TRUE(q.ok);
    EXPECT_TRUE(q.jobs().empty());
    EXPECT_EQ(q.notifier.count(), 0u);
    // A new parse starts without the jobs of the last.
    p.run("b.sf2 x.wav m.mid");
    EXPECT_EQ(p.jobs(), std::vector<std::string>{"b.sf2|x.wav|m.mid"});
}

TEST(BatchParse, ReadsNamesInQuotesTabsAndCarriageReturns) {
    Parse p("\"my bank.sf2\"\t \"out put.wav\"   \"my song.mid\" anything after\n"
            "b\r.sf2\tout\"side.wav\r m.mid\r\n"
            "b.sf2 o.wav \"my song.mid\n");
    EXPECT_TRUE(p.ok) << testing::PrintToString(p.texts());
    EXPECT_EQ(p.jobs(),
              (std::vector<std::string>{"my bank.sf2|out put.wav|my song.mid",
                                        "b.sf2|out\"side.wav|m.mid", "b.sf2|o.wav|my song.mid"}));
}

TEST(BatchParse, ReportsTheFirstBadLine) {
    struct Case {
        const char* text;
        std::string message;
    } cases[] = {
        {"b.sf2 o.wav", syntaxError(1)},
        {"   ", syntaxError(1)},
        {"b.sf2 \"\" m.mid", syntaxError(1)},
        // An empty pair of quotes is an empty name, never the start of the next quoted field.
        {"b.sf2 \"\" \"o.wav\" m.mid", syntaxError(1)},
        {"b.sf2 \"o.wav m.mid", syntaxError(1)}, // the unclosed quote takes the rest
        {"\n\n  ;b.sf2 o.wav m.mid", "Line 3 - SoundBank file ;b.sf2 doesn't exist"},
        {"missing.sf2 o.wav gone.mid", "Line 1 - SoundBank file missing.sf2 doesn't exist"},
        {";\nb.sf2 /no/dir/o.wav gone.mid\nb.sf2", "Line 2 - MIDI file gone.mid doesn't exist"},
    };
    for (const Case& c : cases) {
        Parse p(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.notifier.messages(), std::vector{fileError(c.message)}) << c.text;
    }
}

TEST(BatchParse, AnOutputThatIsAnyJobsInputIsRefused) {
    const std::string tail = "\nThe batch would overwrite it";
    struct Case {
        const char* text;
        std::string message;
    } cases[] = {
        {"b.sf2 m.mid m.mid", "Line 1 - Output file m.mid is also the MIDI file of line 1"},
        {"b.sf2 b.sf2 m.mid", "Line 1 - Output file b.sf2 is also the SoundBank file of line 1"},
        {"b.sf2 o.wav m.mid\n;\nb.sf2 o2.wav \"my song.mid\"\nb.sf2 \"my song.mid\" m.mid",
         "Line 4 - Output file my song.mid is also the MIDI file of line 3"},
        {"b.sf2 \"my bank.sf2\" m.mid\n\"my bank.sf2\" o.wav m.mid",
         "Line 1 - Output file my bank.sf2 is also the SoundBank file of line 2"},
        // The first output in job order, against the first job that reads it, its bank
        // before its MIDI file.
        {"b.sf2 \"my song.mid\" m.mid\nb.sf2 b.sf2 m.mid\nb.sf2 o.wav \"my song.mid\"",
         "Line 1 - Output file my song.mid is also the MIDI file of line 3"},
        {"\"my song.mid\" o.wav \"my song.mid\"\nb.sf2 \"my song.mid\" m.mid",
         "Line 2 - Output file my song.mid is also the SoundBank file of line 1"},
        {"b.sf2 o.wav \"my song.mid\"\nb.sf2 \"my song.mid\" m.mid\n\"my song.mid\" o.wav "
         "m.mid",
         "Line 2 - Output file my song.mid is also the MIDI file of line 1"},
    };
    for (const Case& c : cases) {
        Parse p(c.text);
        EXPECT_FALSE(p.ok) << c.text;
        EXPECT_EQ(p.notifier.messages(), std::vector{fileError(c.message + tail)}) << c.text;
    }
    // Two jobs writing one file read nothing of each other.
    EXPECT_TRUE(Parse("b.sf2 o.wav m.mid\nb.sf2 o.wav m.mid").ok);

    // Names are compared by the identity given: here one file has two names, and a name
    // without identity (a missing file) is no file's name, not even its own.
    RecordingNotifier notifier;
    BatchFile file(notifier);
    const auto identity = [](const std::string& name) -> std::optional<std::string> {
        if (name == "gone.wav")
            return std::nullopt;
        return name == "alias.sf2" ? std::string("b.sf2") : name;
    };
    const auto all = [](const std::string&) { return true; };
    EXPECT_FALSE(file.parse("b.sf2 o.wav m.mid\nb.sf2 alias.sf2 m.mid", all, identity));
    EXPECT_EQ(notifier.texts(),
              std::vector<std::string>{"Line 2 - Output file alias.sf2 is also the SoundBank file "
                                       "of line 1" +
                                       tail});
    EXPECT_TRUE(file.parse("gone.wav gone.wav m.mid", all, identity));
}

TEST(BatchParse, EndsAtAZeroByteAndRejectsOverlongLines) {
    const std::string withZero("b.sf2 o.wav m.mid\n\0b.sf2 o.wav", 30);
    Parse z(withZero);
    EXPECT_TRUE(z.ok);
    EXPECT_EQ(z.jobs().size(), 1u);

    // The longest line taken; one more character is a syntax error (the name must not be
    // cut into another file's name).
    std::string longest = "b.sf2 o.wav m.mid ";
    longest.resize(BatchFile::kMaxLine, 'x');
    EXPECT_TRUE(Parse(longest + "\r\n").ok);
    Parse tooLong(";\n" + longest + "x\nb.sf2 o.wav m.mid");
    EXPECT_FALSE(tooLong.ok);
    EXPECT_EQ(tooLong.texts(), std::vector{syntaxError(2)});
    // A comment may be as long as it likes.
    EXPECT_TRUE(Parse(";" + longest + longest).ok);
}

// Batch runs through the window with real renders.
struct BatchRun : ::testing::Test {
    AppHarness h;
    std::string song = h.midi("song.mid", noteMidi(0.3));

    std::string line(const std::string& output, const std::string& midi = {},
                     const std::string& bank = {}) {
        return "\"" + (bank.empty() ? h.bank : bank) + "\" \"" + h.dir.file(output) + "\" \"" +
               (midi.empty() ? song : midi) + "\"\n";
    }
    // Chooses a batch file holding `text` and runs it to its end.
    void runBatch(const std::string& text, bool toTheEnd = true) {
        h.view.answer(h.dir.write("batch.txt", text));
        h.press(kBatch);
        if (toTheEnd)
            h.runUntilIdle();
    }
    bool written(const std::string& output) { return readWave(h.dir.file(output)).frames() > 0; }
};

TEST_F(BatchRun, ProgressCountsJobsDoneAndTheButtonsComeBack) {
    h.view.progressLog.clear();
    runBatch(";four jobs\n" + line("1.wav") + line("2.wav") + "\n" + line("3.wav") + line("4.wav"),
             false);
    ASSERT_EQ(h.state(), RunState::Batch);
    expectControls(h.view, RunState::Batch);
    const FileDialogRequest& r = h.view.requests.back();
    EXPECT_EQ(r.filter, "Batch Files (*.txt)|*.txt|All Files (*.*)|*");
    EXPECT_EQ(r.defaultExtension, ".txt");
    EXPECT_EQ(r.startDirectory, h.dir.path());
    EXPECT_FALSE(r.save);
    h.runUntilIdle();
    // Render progress is not shown during a batch: only the share of jobs done.
    EXPECT_EQ(h.view.progressLog, (std::vector{1, 25, 50, 75, 0}));
    expectControls(h.view, RunState::Idle);
    EXPECT_EQ(h.record.count(), 0u);
    for (const char* out : {"1.wav", "2.wav", "3.wav", "4.wav"})
        EXPECT_TRUE(written(out)) << out;
    // The window now shows the last job's files.
    EXPECT_EQ(h.view.text(control::kOutputFileName), "4.wav");
    EXPECT_EQ(h.view.text(control::kMidiFileName), "song.mid");

    // A second batch computes its progress from its own job count.
    h.view.progressLog.clear();
    runBatch(line("5.wav") + line("6.wav"));
    EXPECT_EQ(h.view.progressLog, (std::vector{1, 50, 0}));
    EXPECT_EQ(h.logic->batch().currentJob(), -1);
}

TEST_F(BatchRun, AJobThatCannotStartEndsTheBatch) {
    runBatch(line("1.wav") + line("missing-dir/2.wav") + line("3.wav"));
    EXPECT_EQ(
        h.record.messages(),
        (std::vector{Msg{Severity::Error, "Error!",
                         "Cwavfil::openwr\nError while writing Korvelt.wav file",
                         FileProblem{h.dir.file("missing-dir/2.wav"), "No such file or directory"}},
                     Msg{Severity::Warning, "Batch error", kWaveNotCreated}}));
    EXPECT_EQ(h.logic->batch().failures().size(), 1u);
    EXPECT_TRUE(written("1.wav"));
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("3.wav")));
    EXPECT_EQ(h.view.progressLog.back(), 0);
    expectControls(h.view, RunState::Idle);
    // The failed job's MIDI file stays loaded: Convert renders it once the output can be made.
    h.record.clear();
    h.view.answer(h.dir.file("again.wav"));
    h.press(control::kChangeOutput);
    h.convert();
    EXPECT_EQ(h.record.count(), 0u);
    EXPECT_TRUE(written("again.wav"));
}

TEST_F(BatchRun, AnOutputThatIsAnInputIsRefusedBeforeAnyJobRuns) {
    const std::string bytes = TempDir::read(song);
    std::filesystem::create_hard_link(song, h.dir.file("hard.wav"));
    std::filesystem::create_symlink(h.bank, h.dir.file("soft.wav"));
    runBatch(line("1.wav") + line("hard.wav"));
    EXPECT_EQ(h.record.messages(),
              std::vector{fileError("Line 2 - Output file " + h.dir.file("hard.wav") +
                                    " is also the MIDI file of line 1\nThe batch would "
                                    "overwrite it")});
    runBatch(line("1.wav") + line("soft.wav", h.midi("other.mid", noteMidi(0.2))));
    EXPECT_EQ(h.record.messages().back(),
              fileError("Line 2 - Output file " + h.dir.file("soft.wav") +
                        " is also the SoundBank file of line 1\nThe batch would overwrite it"));
    EXPECT_EQ(TempDir::read(song), bytes);
    EXPECT_EQ(TempDir::read(h.bank), smallBank());
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("1.wav")));
    EXPECT_TRUE(h.view.progressLog.empty());
    expectControls(h.view, RunState::Idle);
}

TEST_F(BatchRun, AJobTooLongForAWaveFileEndsTheBatchUnwritten) {
    runBatch(line("1.wav") + line("huge.wav", h.midi("huge.mid", hugeDeltaMidi())) + line("3.wav"));
    EXPECT_EQ(h.record.messages(),
              (std::vector{Msg{Severity::Warning, "Batch error", kTooLongText}}));
    EXPECT_TRUE(written("1.wav"));
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("huge.wav")));
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("3.wav")));
    expectControls(h.view, RunState::Idle);
}

TEST_F(BatchRun, EveryJobReadsItsFilesAfresh) {
    // Jobs 2 and 3 name the same bank; it is damaged while job 2 renders (silence, so that
    // job needs no sample from it): job 3 reads it again and fails.
    const std::string bank2 = h.dir.write("bank2.sf2", smallBank());
    runBatch(line("1.wav") + line("2.wav", h.midi("silent.mid", silentMidi(5 * kSecond)), bank2) +
                 line("3.wav", song, bank2) + line("4.wav"),
             false);
    h.dispatcher.processUntil([&] { return h.logic->batch().currentJob() == 1; });
    h.dir.write("bank2.sf2", "RIFF");
    h.runUntilIdle();
    ASSERT_EQ(h.record.count(), 2u);
    EXPECT_EQ(h.record.messages()[0].title, "Error!"); // the reader's own message
    EXPECT_EQ(h.record.messages()[1],
              (Msg{Severity::Warning, "Batch error",
                   "The sound bank could not be loaded\nIt either does not exist, or it is "
                   "corrupt\nor it has an unknown format\nPlease correct the batch and try "
                   "again"}));
    EXPECT_TRUE(written("2.wav"));
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("3.wav")));
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("4.wav")));

    // A MIDI file that cannot be read ends a batch with its own message.
    h.record.clear();
    runBatch(line("5.wav", h.midi("bad.mid", "MThd")));
    EXPECT_EQ(h.record.messages().back(),
              (Msg{Severity::Warning, "Batch error",
                   "The MIDI file could not be loaded\nIt either does not exist, or it is "
                   "corrupt\nor it has an unknown format\nPlease correct the batch file and try "
                   "again"}));
    expectControls(h.view, RunState::Idle);
}

TEST_F(BatchRun, AbortInTheSecondJobStopsTheBatchLikeAConversion) {
    struct Seen {
        RunState state;
        std::string batchText, convertText;
        bool batchEnabled, convertEnabled;
    };
    std::vector<Seen> seen;
    h.view.onProgress = [&](int) {
        seen.push_back({h.state(), h.view.text(kBatch), h.view.text(control::kConvert),
                        h.view.isEnabled(kBatch), h.view.isEnabled(control::kConvert)});
    };
    runBatch(line("1.wav") + line("2.wav", h.midi("long.mid", silentMidi(600 * kSecond))) +
                 line("3.wav"),
             false);
    h.dispatcher.processUntil([&] { return h.logic->batch().currentJob() == 1; });
    seen.clear();
    {
        Watchdog guard("Abort of a batch");
        h.press(kBatch);
    }
    // The render's last progress came while converting, Batch still offering to abort.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().state, RunState::Converting);
    EXPECT_EQ(seen.front().batchText, caption::kAbort);
    EXPECT_TRUE(seen.front().batchEnabled);
    EXPECT_EQ(seen.front().convertText, caption::kConvert);
    EXPECT_FALSE(seen.front().convertEnabled);

    expectControls(h.view, RunState::Idle);
    EXPECT_EQ(h.logic->batch().currentJob(), -1);
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("3.wav")));
    const WaveData second = readWave(h.dir.file("2.wav"));
    EXPECT_TRUE(second.headerValid);
    EXPECT_LT(second.frames(), 600 * 44100);
    // Reported like an aborted single conversion.
    EXPECT_EQ(h.record.titles(), std::vector<std::string>{"WAVE file empty"});
}

TEST_F(BatchRun, JobsAreRescaledButNeitherAdvisedNorWarnedOfSilence) {
    h.settings.rescaleOutput = false;
    runBatch(line("quiet.wav", h.midi("quiet.mid", noteMidi(0.3, 10))) +
             line("silent.wav", h.midi("silent.mid", silentMidi())));
    EXPECT_EQ(h.record.count(), 0u);
    const int quietPeak = wavePeak(h.dir.file("quiet.wav"));
    EXPECT_LT(quietPeak, 29000);
    h.settings.rescaleOutput = true;
    runBatch(line("loud.wav", h.dir.file("quiet.mid")));
    EXPECT_GE(wavePeak(h.dir.file("loud.wav")), 32736);
}

TEST_F(BatchRun, UnreadableOrCancelledBatchFilesStartNothing) {
    h.press(kBatch); // cancelled
    h.view.answer(h.dir.file("no-such.txt"));
    h.press(kBatch);
    h.view.answer(h.dir.path()); // a directory is no file to read
    h.press(kBatch);
    // A file larger than any list of names is not read into memory at all.
    const std::string huge = h.dir.write("huge.txt", "");
    std::filesystem::resize_file(huge, BatchFlow::kMaxFileBytes + 1);
    h.view.answer(huge);
    h.press(kBatch);
    h.view.answer(h.dir.write("empty.txt", ";nothing\n\n"));
    h.press(kBatch);
    const std::string cannotOpen =
        "Couldn't open the selected batch file\nPlease select a batch file and try again";
    EXPECT_EQ(h.record.messages(),
              (std::vector{Msg{Severity::Warning, "Batch file error", cannotOpen,
                               FileProblem{h.dir.file("no-such.txt"), "No such file or directory"}},
                           Msg{Severity::Warning, "Batch file error", cannotOpen,
                               FileProblem{h.dir.path(), "Is a directory"}},
                           Msg{Severity::Warning, "Batch file error",
                               "Couldn't read the selected batch file\nPlease select a batch file "
                               "and try again",
                               FileProblem{huge, "File too large"}}}));
    EXPECT_EQ(h.state(), RunState::Idle);
    EXPECT_TRUE(h.view.progressLog.empty());
}

} // namespace
} // namespace korvelt::test
