#include "app/ConversionFlow.h"
#include "app/AppTestSupport.h"
#include "audio/Cwavfil.h"
#include "bank/Csf2file.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt::test {
namespace {

using Msg = RecordingNotifier::Message;
using control::kConvert;

const char* const kNoMidi = "There is no MIDI file loaded\nPlease load a MIDI file and try again";
const char* const kMidiNotLoaded =
    "The selected MIDI file could not be loaded,\npossibly due to an error in the MIDI "
    "file.\nPlease load a valid MIDI file and try again";
const char* const kCouldntLoadMidi =
    "The MIDI file selected could not be loaded\nIt either does not exist, or it is "
    "corrupt\nor it has an unknown format\nPlease select another MIDI file and try again";
const char* const kBankMissing = "The sound bank selected does not exist.";
const char* const kBankUnreadable =
    "The sound bank selected could not be loaded\nIt is either corrupt or it has an unknown "
    "format\nPlease select another sound bank and try again";
const char* const kWaveNotCreated = "There was an error while creating the WAVE file\nPlease "
                                    "check if your hard drive is not full and try again";
const char* const kWaveEmpty =
    "The WAVE file created has no sound. Possible causes:\n1) Your MIDI file doesn't have "
    "sound generating commands\n2) Your MIDI file doesn't have preset selection commands\n3) "
    "Your Sound Font doesn't have the required presets\nSuggestion: Go to OPTIONS and activate "
    "'Show MIDI error messages'\nPlease check your MIDI and Sound Font files and try again";
const char* const kRescaleFailed = "An error ocurred while rescaling the values in the "
                                   "\noutput WAVE file.\nPlease check your hard-disk space and "
                                   "try again";

std::string adviceText(int dB) {
    return "To obtain better dynamics in your WAVE file\nyou should go to OPTIONS, increase "
           "the\nMaster Volume by " +
           std::to_string(dB) + " dB and try again";
}

Msg warning(const std::string& title, const std::string& text) {
    return Msg{Severity::Warning, title, text};
}
Msg readerError(const std::string& text, std::optional<FileProblem> problem = std::nullopt) {
    return Msg{Severity::Error, "Error!", text, std::move(problem)};
}

TEST(Conversion, ChecksRunInOrderEachWithItsMessageAndChangeNothing) {
    AppHarness h;
    const auto callsBefore = h.view.calls.size();
    h.press(kConvert);
    EXPECT_EQ(h.record.messages(), std::vector{warning("No MIDI file", kNoMidi)});

    // A MIDI file that fails to load: the reader's box, then the window's; its name stays
    // in the box and Convert tells that it was not loaded.
    h.record.clear();
    h.load(h.midi("broken.mid", "MThd"));
    EXPECT_EQ(
        h.record.messages(),
        (std::vector{readerError("Cmidfil::rdmidi\nError while reading midi file",
                                 FileProblem{h.dir.file("broken.mid"), "not a Standard MIDI file"}),
                     warning("Couldn't load MIDI file", kCouldntLoadMidi)}));
    EXPECT_EQ(h.view.text(control::kMidiFileName), "broken.mid");
    EXPECT_EQ(h.flow().currentMidiFile(), "");
    h.record.clear();
    h.press(kConvert);
    EXPECT_EQ(h.record.messages(), std::vector{warning("MIDI file not loaded", kMidiNotLoaded)});

    // A missing bank: its reader's box, then "Couldn't find". Once the file is there, the
    // failed bank is not read again: "Couldn't load", without a reader's box.
    h.load(h.midi("song.mid", noteMidi(0.5)));
    const std::string later = h.dir.file("later.sf2");
    h.view.answer(later);
    h.press(control::kChangeSoundBank);
    h.record.clear();
    h.press(kConvert);
    ASSERT_EQ(h.record.count(), 2u);
    EXPECT_EQ(h.record.messages()[0].severity, Severity::Error);
    EXPECT_EQ(h.record.messages()[0].file, (FileProblem{later, "No such file or directory"}));
    EXPECT_EQ(h.record.messages()[1], warning("Couldn't find sound bank", kBankMissing));
    h.dir.write("later.sf2", smallBank());
    h.record.clear();
    h.press(kConvert);
    h.press(kConvert);
    EXPECT_EQ(h.record.messages(),
              std::vector(2, warning("Couldn't load sound bank", kBankUnreadable)));

    // Choosing it again reads it; an output in a missing directory fails after the
    // writer's own box, and the next Convert tries again.
    h.view.answer(later);
    h.press(control::kChangeSoundBank);
    h.view.answer(h.dir.file("nowhere/out.wav"));
    h.press(control::kChangeOutput);
    h.record.clear();
    h.press(kConvert);
    h.press(kConvert);
    const auto createFailure = std::vector{
        readerError("Cwavfil::openwr\nError while writing Korvelt.wav file",
                    FileProblem{h.dir.file("nowhere/out.wav"), "No such file or directory"}),
        warning("Couldn't create the WAVE file", kWaveNotCreated)};
    EXPECT_EQ(h.record.messages(), (std::vector{createFailure[0], createFailure[1],
                                                createFailure[0], createFailure[1]}));
    EXPECT_EQ(h.state(), RunState::Idle);
    expectControls(h.view, RunState::Idle);
    for (std::size_t i = callsBefore; i < h.view.calls.size(); ++i)
        EXPECT_TRUE(h.view.calls[i].kind == RecordingView::Kind::Text &&
                    h.view.calls[i].id != kConvert)
            << "a failed check touched control " << h.view.calls[i].id;

    std::filesystem::create_directory(h.dir.file("nowhere"));
    h.record.clear();
    h.convert();
    EXPECT_EQ(h.record.count(), 0u);
    EXPECT_GT(wavePeak(h.dir.file("nowhere/out.wav")), 32000); // rescaled to full scale
}

TEST(Conversion, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    AppHarness h;
    const std::string song = h.midi("song.mid", noteMidi(0.3));
    h.load(song);
    const std::string songBytes = TempDir::read(song);
    const std::string bankBytes = TempDir::read(h.bank);
    std::filesystem::create_hard_link(song, h.dir.file("hard.wav"));
    std::filesystem::create_symlink(song, h.dir.file("soft.wav"));
    std::filesystem::create_hard_link(h.bank, h.dir.file("bank-hard.wav"));
    std::filesystem::create_symlink(h.bank, h.dir.file("bank-soft.wav"));
    const std::string midiText = "\nis the MIDI file being converted; writing it would destroy "
                                 "the MIDI file.\nPlease choose another output file and try again";
    const std::string bankText = "\nis the sound bank; writing it would destroy the sound "
                                 "bank.\nPlease choose another output file and try again";
    const std::pair<std::string, bool> outputs[] = {{song, true},
                                                    {h.dir.path() + "/./song.mid", true},
                                                    {h.dir.file("hard.wav"), true},
                                                    {h.dir.file("soft.wav"), true},
                                                    {h.bank, false},
                                                    {h.dir.file("bank-hard.wav"), false},
                                                    {h.dir.file("bank-soft.wav"), false}};
    for (const auto& [output, isMidi] : outputs) {
        h.view.answer(output);
        h.press(control::kChangeOutput);
        h.record.clear();
        h.press(kConvert);
        EXPECT_EQ(h.record.messages(),
                  std::vector{isMidi ? warning("Output file is the MIDI file",
                                               "The output file " + output + midiText)
                                     : warning("Output file is the sound bank",
                                               "The output file " + output + bankText)});
        EXPECT_EQ(h.state(), RunState::Idle);
        EXPECT_FALSE(h.flow().renderRunning());
    }
    EXPECT_EQ(TempDir::read(song), songBytes);
    EXPECT_EQ(TempDir::read(h.bank), bankBytes);
    EXPECT_TRUE(std::filesystem::is_symlink(h.dir.file("soft.wav")));
    expectControls(h.view, RunState::Idle);

    // Any other output converts.
    h.view.answer(h.out);
    h.press(control::kChangeOutput);
    h.record.clear();
    h.convert();
    EXPECT_EQ(h.record.count(), 0u);
    EXPECT_TRUE(readWave(h.out).headerValid);
}

TEST(Conversion, ARenderTooLongForAWaveFileIsRefusedBeforeAnythingIsWritten) {
    AppHarness h;
    h.load(h.midi("huge.mid", hugeDeltaMidi()));
    ASSERT_EQ(h.record.count(), 0u);
    h.press(kConvert);
    EXPECT_EQ(h.record.messages(), std::vector{warning("MIDI file too long", kTooLongText)});
    EXPECT_EQ(h.state(), RunState::Idle);
    EXPECT_FALSE(h.flow().renderRunning());
    EXPECT_FALSE(std::filesystem::exists(h.out));
    expectControls(h.view, RunState::Idle);
}

TEST(Conversion, ButtonsFollowTheStateAndTheBarKeepsItsLastPosition) {
    AppHarness h;
    expectControls(h.view, RunState::Idle);
    h.load(h.midi("song.mid", noteMidi(1.0)));
    h.view.calls.clear();
    h.press(kConvert);
    // The render waits for its first report to be handled: the run has just started.
    EXPECT_EQ(h.state(), RunState::Converting);
    expectControls(h.view, RunState::Converting);
    EXPECT_EQ(h.view.progressLog, std::vector{1});
    h.runUntilIdle();
    expectControls(h.view, RunState::Idle);
    EXPECT_EQ(h.record.count(), 0u);
    // Render progress shows, never as 0, and the end does not reset the bar.
    ASSERT_GE(h.view.progressLog.size(), 2u);
    for (int p : h.view.progressLog)
        EXPECT_GT(p, 0);
    EXPECT_EQ(h.view.progress, 100);

    // Progress reports count only while converting; 0 shows as 1.
    ConversionFlow& f = h.flow();
    f.setRunState(RunState::Converting);
    f.onRenderProgress(0);
    f.onRenderProgress(37);
    for (RunState s : {RunState::Batch, RunState::Listening, RunState::Idle}) {
        f.setRunState(s);
        f.onRenderProgress(55);
    }
    EXPECT_EQ(std::vector(h.view.progressLog.end() - 2, h.view.progressLog.end()),
              (std::vector{1, 37}));
}

TEST(Conversion, SecondConversionWithTheSameBankDoesNotReadItAgain) {
    AppHarness h;
    h.load(h.midi("song.mid", noteMidi(0.5)));
    h.convert();
    const Csf2file* bank = h.flow().soundBank();
    ASSERT_NE(bank, nullptr);
    const std::string first = TempDir::read(h.out);
    // Were the bank read again, this would fail to load.
    h.dir.write("bank.sf2", "RIFF....not a bank");
    h.convert();
    EXPECT_EQ(h.record.count(), 0u);
    EXPECT_EQ(h.flow().soundBank(), bank);
    EXPECT_EQ(TempDir::read(h.out), first);
}

TEST(Conversion, AbortedConversionClosesTheFileAndStillReports) {
    AppHarness h;
    h.load(h.midi("long.mid", silentMidi(600 * kSecond)));
    h.press(kConvert);
    h.dispatcher.processUntil([&] { return h.view.progressLog.size() >= 2; });
    {
        Watchdog guard("Abort");
        h.press(kConvert); // Abort: returns once the render has ended
    }
    EXPECT_FALSE(h.flow().renderRunning());
    expectControls(h.view, RunState::Idle);
    EXPECT_EQ(h.record.messages(), std::vector{warning("WAVE file empty", kWaveEmpty)});
    const WaveData wave = readWave(h.out);
    EXPECT_TRUE(wave.headerValid);
    EXPECT_GT(wave.frames(), 0);
    EXPECT_LT(wave.frames(), 600 * 44100);
    EXPECT_NE(h.view.progress, 0);
}

// A MIDI file whose first note asks for a preset the bank lacks: with MIDI errors shown,
// the render thread raises a message box at once and waits until it has been shown.
std::string missingPresetMidi() {
    MidiFileWriter w(kDivision);
    auto& t = w.addTrack();
    t.programChange(0, 0, 5);
    t.note(0, kSecond, 0, 60, 100);
    t.controlChange(600 * kSecond, 0, 7, 100);
    return w.bytes();
}

struct BlockedRender : AppHarness {
    BlockedRender() {
        settings.render.showMidiErrors = true;
        load(midi("missing.mid", missingPresetMidi()));
        press(kConvert);
        // Nothing is handled here: the render thread now waits for its message box.
        EXPECT_TRUE(waitFor([this] { return notifier.fromOtherThreads >= 1; }));
        EXPECT_EQ(record.count(), 0u);
    }
    const Msg presetMessage = warning("Invalid MIDI preset", "Bank number 0 doesn't have preset "
                                                             "number 5");
};

TEST(Conversion, AbortHandlesTheRenderThreadsMessagesWhileItWaits) {
    BlockedRender h;
    {
        Watchdog guard("Abort while the render shows a message");
        h.press(kConvert);
    }
    EXPECT_FALSE(h.flow().renderRunning());
    EXPECT_EQ(h.record.messages(),
              (std::vector{h.presetMessage, warning("WAVE file empty", kWaveEmpty)}));
    expectControls(h.view, RunState::Idle);
}

TEST(Conversion, ClosingDuringARenderWaitsForItAndReportsNothing) {
    BlockedRender h;
    {
        Watchdog guard("close while the render shows a message");
        h.logic->close();
    }
    EXPECT_FALSE(h.flow().renderRunning());
    EXPECT_TRUE(h.flow().closing());
    EXPECT_EQ(h.record.messages(), std::vector{h.presetMessage});
    EXPECT_TRUE(readWave(h.out).headerValid);
}

TEST(Conversion, ClosingAfterTheQueueWasShutDownStillEndsTheRender) {
    // A window torn down before its logic: the queue releases the render thread's
    // waiting calls, and closing must still end the render before its objects go.
    BlockedRender h;
    h.dispatcher.shutdown();
    {
        Watchdog guard("close after the queue was shut down");
        h.logic.reset();
    }
    EXPECT_TRUE(readWave(h.out).headerValid);
}

// The render's report on hand-made WAVE files of a known peak.
struct Report : ::testing::Test {
    AppHarness h;
    ConversionFlow& f = h.flow();

    // Writes frames (left, right) to the output through the flow's WAVE file object.
    void render(std::initializer_list<std::pair<std::int16_t, std::int16_t>> frames) {
        f.setOutputFile(h.out);
        Cwavfil& w = *f.waveFile();
        ASSERT_TRUE(w.openwr());
        for (auto [l, r] : frames)
            w.write(l, r);
        ASSERT_TRUE(w.close());
    }
    std::vector<Msg> report(RunState state) {
        h.record.clear();
        f.setRunState(state);
        f.reportRenderResult();
        f.setRunState(RunState::Idle);
        return h.record.messages();
    }
};

TEST_F(Report, RescaleBringsThePeakToFullScale) {
    render({{16384, -100}, {-16384, 3}});
    EXPECT_TRUE(report(RunState::Converting).empty());
    // Factor 2047: each sample times 2047/1024, rounded down.
    EXPECT_EQ(waveSamples(h.out), (std::vector<std::int16_t>{32752, -200, -32752, 5}));
    render({{32736, 1000}});
    const std::string before = TempDir::read(h.out);
    EXPECT_TRUE(report(RunState::Converting).empty());
    EXPECT_EQ(TempDir::read(h.out), before);
    // Batch jobs are rescaled too.
    render({{0, 16384}});
    EXPECT_TRUE(report(RunState::Batch).empty());
    EXPECT_EQ(waveSamples(h.out), (std::vector<std::int16_t>{0, 32752}));
}

TEST_F(Report, WithoutRescaleAdvisesTheMasterVolumeOnlyForSingleConversions) {
    h.settings.rescaleOutput = false;
    render({{100, 16384}});
    EXPECT_EQ(report(RunState::Converting),
              std::vector{warning("Adjust Master Volume", adviceText(6))});
    EXPECT_TRUE(report(RunState::Batch).empty());
    EXPECT_EQ(waveSamples(h.out), (std::vector<std::int16_t>{100, 16384}));
    render({{29203, 0}});
    EXPECT_EQ(report(RunState::Converting),
              std::vector{warning("Adjust Master Volume", adviceText(1))});
    render({{-29204, 0}});
    EXPECT_TRUE(report(RunState::Converting).empty());
}

TEST_F(Report, SilenceIsReportedOnlyForSingleConversions) {
    render({{0, 0}});
    EXPECT_EQ(report(RunState::Converting), std::vector{warning("WAVE file empty", kWaveEmpty)});
    EXPECT_TRUE(report(RunState::Batch).empty());
}

TEST_F(Report, FailedRescaleLeavesTheFileAndSaysSo) {
    render({{1000, -1000}});
    std::filesystem::create_directory(Cwavfil::temporaryName(h.out)); // in the way
    const std::string before = TempDir::read(h.out);
    EXPECT_EQ(
        report(RunState::Batch),
        (std::vector{readerError("Cwavfil::rescale\nError while rescaling WAVE file",
                                 FileProblem{Cwavfil::temporaryName(h.out), "Is a directory"}),
                     warning("Error in WAVE file", kRescaleFailed)}));
    EXPECT_EQ(TempDir::read(h.out), before);
}

TEST_F(Report, TheCommandLineAdvisesItsOwnOptions) {
    f.setAdvice(Advice::CommandLine);
    render({{0, 0}});
    ASSERT_EQ(report(RunState::Converting).size(), 1u);
    EXPECT_NE(h.record.texts()[0].find("\nSuggestion: run again with --show-midi-errors\n"),
              std::string::npos)
        << h.record.texts()[0];
    EXPECT_EQ(h.record.texts()[0].find("OPTIONS"), std::string::npos);
    // Shown already: nothing to suggest.
    h.settings.render.showMidiErrors = true;
    ASSERT_EQ(report(RunState::Converting).size(), 1u);
    EXPECT_EQ(h.record.texts()[0].find("Suggestion"), std::string::npos) << h.record.texts()[0];

    // The level to give the option: the current one raised by the headroom, as far as the
    // option goes; none at the top already.
    h.settings.rescaleOutput = false;
    render({{100, 16384}});
    const auto advice = [](int level) {
        return warning("Adjust Master Volume",
                       "To obtain better dynamics in your WAVE file\nraise the level with "
                       "--master-volume " +
                           std::to_string(level) + " and try again");
    };
    EXPECT_EQ(report(RunState::Converting), std::vector{advice(6)});
    h.settings.render.masterVolumeDb = 16;
    EXPECT_EQ(report(RunState::Converting), std::vector{advice(20)});
    h.settings.render.masterVolumeDb = 20;
    EXPECT_TRUE(report(RunState::Converting).empty());
}

TEST(Conversion, RealRenderIsRescaledOrAdvisedFromItsPeak) {
    AppHarness h;
    h.settings.rescaleOutput = false;
    h.settings.render.compressorLevel = 0;
    h.load(h.midi("quiet.mid", noteMidi(0.5, 20)));
    h.convert();
    const std::vector<std::int16_t> plain = waveSamples(h.out);
    const int peak = wavePeak(h.out);
    ASSERT_GT(peak, 0);
    ASSERT_LT(peak, 29204) << "the quiet note should leave headroom";
    EXPECT_EQ(h.record.messages(),
              std::vector{warning("Adjust Master Volume",
                                  adviceText(int(20.0 * std::log10(32767.0 / peak))))});

    h.record.clear();
    h.settings.rescaleOutput = true;
    h.convert();
    EXPECT_EQ(h.record.count(), 0u);
    const std::int64_t factor = 33553408 / peak;
    const std::vector<std::int16_t> scaled = waveSamples(h.out);
    ASSERT_EQ(scaled.size(), plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(scaled[i], (plain[i] * factor) >> 10) << "sample " << i;
}

} // namespace
} // namespace korvelt::test
