#include "app/AppTestSupport.h"
#include "app/MixerModel.h"
#include "audio/PlaybackTestSupport.h"
#include "midi/Cmidfil.h"
#include "midi/SmfBytes.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt::test {
namespace {

using Msg = RecordingNotifier::Message;
using namespace control;

TEST(MainWindow, InitialisesFromTheSettingsAndRunsTheDialogs) {
    AppHarness h;
    EXPECT_EQ(h.view.text(kSoundBankName), "bank.sf2");
    EXPECT_EQ(h.view.text(kOutputFileName), "out.wav");
    EXPECT_EQ(h.view.text(kMidiFileName), "");
    EXPECT_EQ(h.flow().currentSoundBank(), h.bank);
    EXPECT_EQ(h.flow().currentOutputFile(), h.out);
    expectControls(h.view, RunState::Idle);
    for (int id : {kOptions, kMixer, kAbout, kHelp})
        h.press(id);
    EXPECT_EQ(h.view.dialogRuns, 3);
    EXPECT_EQ(h.view.helpFiles, std::vector{h.dir.file("Help.htm")});
    EXPECT_EQ(h.record.count(), 0u);

    // When no program takes the page, a box says so and names it.
    h.view.helpOpens = false;
    h.press(kHelp);
    EXPECT_EQ(h.record.messages(),
              (std::vector<RecordingNotifier::Message>{
                  {Severity::Warning, "Couldn't open the help page",
                   "No program could open the help page:\n" + h.dir.file("Help.htm")}}));
}

TEST(MainWindow, ASettingsFileThatCannotBeReadIsReportedAndLeftAside) {
    AppHarness h;
    // A directory where the settings file should be: it exists but cannot be read.
    std::filesystem::create_directory(h.dir.file("dir.ini"));
    MainWindowLogic logic(
        h.settings, AppDirectories::make(h.dir.path(), h.dir.path(), h.dir.path(), std::nullopt),
        h.dir.file("dir.ini"), h.notifier, h.dispatcher, h.view, h.engine, h.device);
    h.record.clear();
    logic.initialise();
    EXPECT_EQ(h.record.messages(),
              (std::vector<RecordingNotifier::Message>{
                  {Severity::Warning, "Settings file error",
                   "The settings file could not be read\nThe built-in default files are used",
                   FileProblem{h.dir.file("dir.ini"), "Is a directory"}}}));
    EXPECT_EQ(h.settings.defaultOutputFile, h.dir.file("Korvelt.wav"));
    // A missing one is the usual first start: nothing to say.
    h.record.clear();
    MainWindowLogic fresh(
        h.settings, AppDirectories::make(h.dir.path(), h.dir.path(), h.dir.path(), std::nullopt),
        h.dir.file("none.ini"), h.notifier, h.dispatcher, h.view, h.engine, h.device);
    fresh.initialise();
    EXPECT_EQ(h.record.count(), 0u);
}

TEST(MainWindow, FileDialogsStartWhereTheirFilesAreAndCancelChangesNothing) {
    AppHarness h;
    h.press(kChangeSoundBank); // cancelled
    h.press(kChangeOutput);
    h.press(kLoadMidi);
    ASSERT_EQ(h.view.requests.size(), 3u);
    const auto& bank = h.view.requests[0];
    EXPECT_EQ(bank.filter, "Sound Font Files(*.sf2;*.sf3;*.csf)|*.sf2;*.sf3;*.csf|Compressed "
                           "Sound Font Files (*.csf)|*.csf|Uncompressed Sound Font files "
                           "(*.sf2)|*.sf2|SoundFont 3 files (*.sf3)|*.sf3|All Files (*.*)|*");
    EXPECT_EQ(bank.defaultExtension, ".sf2");
    EXPECT_FALSE(bank.save);
    const auto& output = h.view.requests[1];
    EXPECT_EQ(output.filter, "Wave files (*.wav)|*.wav|All Files (*.*)|*");
    EXPECT_EQ(output.defaultExtension, ".wav");
    EXPECT_TRUE(output.save);
    const auto& midi = h.view.requests[2];
    EXPECT_EQ(midi.filter, "MIDI & Karaoke Files (*.mid;*.midi;*.kar;*.rmi)|*.mid;*.midi;*.kar;"
                           "*.rmi|All Files (*.*)|*");
    EXPECT_EQ(midi.defaultExtension, ".mid");
    for (const auto& r : h.view.requests)
        EXPECT_EQ(r.startDirectory, h.dir.path()); // the files' directory; MIDI: start-up
    EXPECT_EQ(h.flow().currentSoundBank(), h.bank);
    EXPECT_EQ(h.view.text(kOutputFileName), "out.wav");

    // The bank's kind and shown name are the dialog's; a new output is not created yet.
    std::filesystem::create_directories(h.dir.file("sub"));
    h.view.answers.push_back(FileChoice{h.dir.file("sub/Packed.CSF"), "Shown.CSF", "CSF"});
    h.press(kChangeSoundBank);
    EXPECT_TRUE(h.flow().bankIsCompressed());
    EXPECT_EQ(h.view.text(kSoundBankName), "Shown.CSF");
    h.view.answer(h.dir.file("sub/new.wav"));
    h.press(kChangeOutput);
    EXPECT_FALSE(std::filesystem::exists(h.dir.file("sub/new.wav")));
    h.load(h.midi("sub/song.mid", noteMidi(0.2)));
    h.press(kChangeSoundBank);
    h.press(kChangeOutput);
    h.press(kLoadMidi);
    ASSERT_EQ(h.view.requests.size(), 9u);
    for (std::size_t i = 6; i < 9; ++i)
        EXPECT_EQ(h.view.requests[i].startDirectory, h.dir.file("sub"));
}

TEST(MainWindow, LoadingAMidiFileResetsTheMixerAndLabelsItsChannels) {
    AppHarness h;
    h.settings.render.mixer[0].volumeCb = 250;
    h.settings.render.mixer[5].muted = true;
    h.settings.channelLabels[7] = "Old";
    MidiFileWriter w(kDivision);
    auto& t = w.addTrack();
    for (int program : {0, 48, 73, 0})
        t.programChange(0, 0, program);
    t.programChange(0, 9, 0);
    t.programChange(0, 2, 59); // Muted Trumpet already holds "Trumpet"
    t.programChange(0, 2, 56);
    t.programChange(0, 3, 56);
    t.programChange(0, 3, 59);
    h.load(h.midi("labels.mid", w.bytes()));
    MixerStrips strips;
    mixer::fill(h.settings, strips);
    EXPECT_EQ(strips[0].label, "Acoustic Grand Piano/String Ensemble 1/Flute");
    EXPECT_EQ(strips[9].label, "Percussion");
    EXPECT_EQ(strips[2].label, "Muted Trumpet");
    EXPECT_EQ(strips[3].label, "Trumpet/Muted Trumpet");
    EXPECT_EQ(strips[7].label, "");
    for (const MixerStrip& s : strips) {
        EXPECT_EQ(s.position, 5);
        EXPECT_FALSE(s.mute);
    }
}

TEST(MainWindow, DroppedFilesByExtensionOnlyTheFirstOnlyWhenIdle) {
    AppHarness h;
    const std::string song = h.midi("song.mid", noteMidi(0.2));
    h.convert(); // no MIDI file yet: a message, nothing loaded
    h.load(song);
    h.convert();
    ASSERT_NE(h.flow().soundBank(), nullptr);
    h.record.clear();

    h.logic->dropFiles({h.dir.file("Other.SF2"), song});
    EXPECT_EQ(h.flow().currentSoundBank(), h.dir.file("Other.SF2"));
    EXPECT_EQ(h.view.text(kSoundBankName), "Other.SF2");
    EXPECT_EQ(h.flow().soundBank(), nullptr); // the next Convert loads the new bank
    EXPECT_FALSE(h.flow().bankIsCompressed());
    h.logic->dropFiles({h.dir.file("x.Csf")});
    EXPECT_TRUE(h.flow().bankIsCompressed());
    h.logic->dropFiles({h.dir.file("MuseScore.sF3")}); // a SoundFont bank, read by content
    EXPECT_EQ(h.flow().currentSoundBank(), h.dir.file("MuseScore.sF3"));
    EXPECT_FALSE(h.flow().bankIsCompressed());
    h.logic->dropFiles({h.bank});
    h.logic->dropFiles({h.dir.file("dropped.WAV")});
    EXPECT_EQ(h.flow().currentOutputFile(), h.dir.file("dropped.WAV"));

    const std::string kar = h.midi("karaoke.KAR", noteMidi(0.2));
    const std::string midiExt = h.midi("long-ext.MIDI", noteMidi(0.2));
    h.logic->dropFiles({midiExt});
    EXPECT_EQ(h.flow().currentMidiFile(), song);
    const std::string rmi = h.midi("wrapped.Rmi", smf::rmid(noteMidi(0.2)));
    h.logic->dropFiles({rmi});
    EXPECT_EQ(h.flow().currentMidiFile(), rmi);
    ASSERT_NE(h.flow().midiFile(), nullptr);
    EXPECT_TRUE(h.flow().midiFile()->loaded());
    h.logic->dropFiles({kar});
    EXPECT_EQ(h.flow().currentMidiFile(), kar);
    for (const std::string ignored : {"a.mid", "x.sf2", "/tmp/noextension"})
        h.logic->dropFiles({ignored});
    h.logic->dropFiles({});
    EXPECT_EQ(h.flow().currentMidiFile(), kar);
    EXPECT_EQ(h.flow().currentSoundBank(), h.bank);
    // Six characters are enough: this one is taken (and fails to load).
    h.logic->dropFiles({"ab.mid"});
    EXPECT_EQ(h.record.titles(), std::vector<std::string>({"Error!", "Couldn't load MIDI file"}));

    h.load(song);
    h.press(kConvert);
    h.logic->dropFiles({h.dir.file("late.sf2")});
    h.runUntilIdle();
    EXPECT_EQ(h.flow().currentSoundBank(), h.bank);
}

// Listen through the fake output device, on WAVE files of the test signal.
struct Listen : ::testing::Test {
    AppHarness h;
    FakeWaveOut& device = h.device;

    void writeOutput(std::int64_t frames, std::uint32_t rate = 44100) {
        writeTestWave(h.dir, "out.wav", frames, rate);
    }
    std::string played() const { return std::string(device.played.begin(), device.played.end()); }
    std::vector<std::size_t> writeSizes() const {
        std::vector<std::size_t> v;
        for (const auto& w : device.writes)
            v.push_back(w.bytes);
        return v;
    }
};

TEST_F(Listen, ChecksTheFileThenTheDevice) {
    h.press(kListen);
    writeOutput(100);
    device.failOpen = true;
    h.press(kListen);
    h.dir.write("out.wav", "RIFF not a wave file at all, but long enough for a header.");
    h.press(kListen);
    EXPECT_EQ(
        h.record.messages(),
        (std::vector<Msg>{
            {Severity::Warning, "WAVE file missing",
             "The WAVE file selected does not exist.\nSuggestion 1: Select an existing WAVE "
             "file and try again\nSuggestion 2: Select a MIDI file and hit Convert",
             FileProblem{h.out, "No such file or directory"}},
            {Severity::Warning, "Wave output busy",
             "The Wave output device is not ready. Possible causes:\n1) There is another "
             "application using the device\n2) Your computer doesn't have sound output "
             "capabilities"},
            {Severity::Error, "Error!", "Cwavfil::openrd\nError while reading Korvelt.wav file",
             FileProblem{h.out, "not a 16-bit stereo PCM WAVE file"}},
            {Severity::Warning, "Invalid Wave file",
             "The WAVE file selected appears to be corrupt\nSuggestion 1: Select another WAVE "
             "file and try again\nSuggestion 2: Select a MIDI file and hit Convert"}}));
    EXPECT_EQ(device.opens, 1);
    expectControls(h.view, RunState::Idle);
}

TEST_F(Listen, OneBufferFileEndsAtItsFirstReport) {
    writeOutput(262144, 22050);
    h.press(kListen);
    EXPECT_EQ(h.state(), RunState::Listening);
    expectControls(h.view, RunState::Listening);
    EXPECT_EQ(device.lastFormat.sampleRate, 22050u);
    EXPECT_TRUE(device.writes.empty());
    device.deliverOpened();
    EXPECT_EQ(writeSizes(), std::vector<std::size_t>{1048576});
    EXPECT_EQ(h.view.progress, 0);
    ASSERT_TRUE(device.finishNext());
    EXPECT_EQ(h.view.progress, 100);
    expectControls(h.view, RunState::Idle);
    EXPECT_FALSE(device.isOpen);
    EXPECT_TRUE(played() == testSignalBytes(0, 262144));
}

TEST_F(Listen, LongerFilesRefillAsBuffersComeBack) {
    writeOutput(300000);
    h.press(kListen);
    device.deliverOpened();
    EXPECT_EQ(writeSizes(), (std::vector<std::size_t>{1048576, 151424}));
    device.finishNext();
    EXPECT_EQ(h.state(), RunState::Listening);
    device.finishNext();
    expectControls(h.view, RunState::Idle);

    writeOutput(600000);
    device.writes.clear();
    device.played.clear();
    h.view.progressLog.clear();
    h.press(kListen);
    device.deliverOpened();
    while (device.finishNext()) {
    }
    EXPECT_EQ(writeSizes(), (std::vector<std::size_t>{1048576, 1048576, 302848}));
    EXPECT_EQ(h.view.progressLog, (std::vector{0, 87, 100, 100}));
    EXPECT_TRUE(played() == testSignalBytes(0, 600000));
    EXPECT_EQ(device.overwrittenWhileQueued, 0);
    expectControls(h.view, RunState::Idle);
}

TEST_F(Listen, StopReturnsAtOnceAndTheLateReportsBringBackTheOtherCommands) {
    writeOutput(600000);
    h.press(kListen);
    device.deliverOpened();
    device.finishNext();
    h.press(kListen); // Stop
    EXPECT_EQ(h.state(), RunState::Idle);
    EXPECT_EQ(h.view.progress, 0);
    EXPECT_EQ(h.view.text(kListen), caption::kListen);
    EXPECT_TRUE(h.view.acceptDrops);
    EXPECT_FALSE(h.view.isEnabled(kConvert));
    EXPECT_FALSE(h.view.isEnabled(kBatch));
    EXPECT_FALSE(h.view.isEnabled(kChangeOutput));
    EXPECT_FALSE(device.isOpen);
    EXPECT_EQ(device.deliverReturns(), 2);
    expectControls(h.view, RunState::Idle);

    // The late reports may also find the output file changed meanwhile.
    h.press(kListen);
    device.deliverOpened();
    h.press(kListen);
    h.logic->dropFiles({h.dir.file("other.wav")});
    EXPECT_EQ(device.deliverReturns(), 2);
    expectControls(h.view, RunState::Idle);
}

TEST_F(Listen, StopBeforeTheDeviceOpenedAndFilesWithoutFrames) {
    writeOutput(1000);
    h.press(kListen);
    h.press(kListen); // Stop: the device holds nothing, so nothing will come back
    expectControls(h.view, RunState::Idle);
    device.deliverOpened(); // closed already: no report
    EXPECT_TRUE(device.writes.empty());
    EXPECT_EQ(h.state(), RunState::Idle);

    writeOutput(0);
    h.press(kListen);
    device.deliverOpened();
    EXPECT_TRUE(device.writes.empty());
    expectControls(h.view, RunState::Idle);
    EXPECT_FALSE(device.isOpen);
    EXPECT_EQ(h.record.count(), 0u);
}

TEST_F(Listen, LoadAndBankChangeStayAvailableAndClosingShutsTheDevice) {
    writeOutput(600000);
    h.press(kListen);
    device.deliverOpened();
    h.load(h.midi("song.mid", noteMidi(0.2)));
    h.logic->dropFiles({h.dir.file("ignored.sf2")});
    h.view.answer(h.dir.file("chosen.sf2"));
    h.press(kChangeSoundBank);
    h.view.answer(h.dir.file("refused.wav"));
    h.press(kChangeOutput);
    h.press(kConvert);
    h.press(kBatch);
    EXPECT_EQ(h.flow().currentMidiFile(), h.dir.file("song.mid"));
    EXPECT_EQ(h.flow().currentSoundBank(), h.dir.file("chosen.sf2"));
    EXPECT_EQ(h.flow().currentOutputFile(), h.out);
    EXPECT_EQ(h.state(), RunState::Listening);
    expectControls(h.view, RunState::Listening);
    h.logic->close();
    EXPECT_FALSE(device.isOpen);
    EXPECT_EQ(device.resets, 1);
}

} // namespace
} // namespace korvelt::test
