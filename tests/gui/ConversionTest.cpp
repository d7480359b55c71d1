#include "GuiTestSupport.h"

#include "platform/IniFile.h"

#include <wx/gauge.h>
#include <wx/uiaction.h>

#include <cstring>
#include <filesystem>
#include <thread>

namespace korvelt::test {
namespace {

// The 32-bit little-endian number at `offset`.
std::uint32_t le32(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

// A WAVE file with a complete header (the data length leaves out the silence the render
// wrote at the end), and the largest absolute sample of its data.
int checkedPeak(const std::string& path) {
    const std::string bytes = TempDir::read(path);
    EXPECT_GE(bytes.size(), 44u);
    if (bytes.size() < 44)
        return -1;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    const std::uint32_t dataBytes = le32(bytes, 40);
    EXPECT_EQ(le32(bytes, 4), dataBytes + 36);
    EXPECT_GT(dataBytes, 0u);
    EXPECT_LE(dataBytes, bytes.size() - 44);
    int peak = 0;
    for (std::size_t i = 44; i + 1 < 44 + std::size_t(dataBytes); i += 2) {
        const auto sample = static_cast<std::int16_t>(
            static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
        peak = std::max(peak, std::abs(int(sample)));
    }
    return peak;
}

// The controls that a run switches, as they must be while it runs and when it is over.
void expectRunControls(gui::MainWindow& w, bool running) {
    using namespace control;
    EXPECT_EQ(w.FindWindow(kConvert)->GetLabel(), running ? "A&bort" : "&Convert");
    EXPECT_EQ(w.FindWindow(kBatch)->GetLabel(), "&Batch");
    EXPECT_TRUE(w.FindWindow(kConvert)->IsEnabled());
    for (int id : {kBatch, kListen, kLoadMidi, kChangeSoundBank, kChangeOutput})
        EXPECT_EQ(w.FindWindow(id)->IsEnabled(), !running) << "control " << id;
    for (int id : {kOptions, kMixer, kAbout, kHelp})
        EXPECT_TRUE(w.FindWindow(id)->IsEnabled()) << "control " << id;
    EXPECT_EQ(w.acceptsDrops(), !running);
}

TEST_F(GuiTest, ConversionAndListeningThroughTheButtons) {
    const std::string bank = dir.write("piano.sf2", smallBank());
    const std::string midi = dir.write("tune.mid", tune(2));
    const std::string out = dir.file("tune.wav");
    dir.write("Korvelt.sf2", smallBank()); // the default bank, beside the program
    start();

    answers.answerFile(bank);
    click(*window, control::kChangeSoundBank);
    answers.answerFile(out);
    click(*window, control::kChangeOutput);
    answers.answerFile(midi);
    click(*window, control::kLoadMidi);

    ASSERT_EQ(answers.fileRequests.size(), 3u);
    const auto& bankDialog = answers.fileRequests[0];
    EXPECT_EQ(bankDialog.wildcard, MainWindowLogic::kSoundBankFilter);
    EXPECT_TRUE(bankDialog.style & wxFD_OPEN);
    EXPECT_EQ(bankDialog.directory, dir.path()); // where the default bank is
    const auto& outputDialog = answers.fileRequests[1];
    EXPECT_EQ(outputDialog.wildcard, MainWindowLogic::kWaveFilter);
    EXPECT_TRUE(outputDialog.style & wxFD_SAVE);
    EXPECT_FALSE(outputDialog.style & wxFD_OVERWRITE_PROMPT);
    const auto& midiDialog = answers.fileRequests[2];
    EXPECT_EQ(midiDialog.wildcard, MainWindowLogic::kMidiFilter);
    EXPECT_EQ(midiDialog.directory, dir.path()); // the start-up directory

    EXPECT_EQ(boxText(control::kSoundBankName), "piano.sf2");
    EXPECT_EQ(boxText(control::kOutputFileName), "tune.wav");
    EXPECT_EQ(boxText(control::kMidiFileName), "tune.mid");
    EXPECT_FALSE(std::filesystem::exists(out)); // choosing the output creates nothing

    click(*window, control::kConvert);
    ASSERT_EQ(logic().runState(), RunState::Converting);
    expectRunControls(*window, true);
    EXPECT_GE(find<wxGauge>(*window, control::kProgress)->GetValue(), 1);
    EXPECT_FALSE(drop({midi})); // refused while converting

    ASSERT_TRUE(waitUntilIdle());
    expectRunControls(*window, false);
    EXPECT_EQ(find<wxGauge>(*window, control::kProgress)->GetValue(), 100);
    EXPECT_TRUE(answers.messages.empty()); // rescaled to full scale: nothing to report
    EXPECT_GE(checkedPeak(out), 32700);

    // Listening to the result: Stop while it plays, then every control comes back.
    click(*window, control::kListen);
    ASSERT_EQ(logic().runState(), RunState::Listening)
        << (answers.messages.empty() ? std::string() : answers.messages[0].title);
    EXPECT_EQ(text(control::kListen), "&Stop");
    for (int id : {control::kConvert, control::kBatch, control::kChangeOutput})
        EXPECT_FALSE(window->FindWindow(id)->IsEnabled());
    for (int id : {control::kLoadMidi, control::kChangeSoundBank})
        EXPECT_TRUE(window->FindWindow(id)->IsEnabled());
    EXPECT_FALSE(window->acceptsDrops());

    click(*window, control::kListen);
    EXPECT_EQ(logic().runState(), RunState::Idle);
    EXPECT_EQ(text(control::kListen), "&Listen");
    EXPECT_EQ(find<wxGauge>(*window, control::kProgress)->GetValue(), 0);
    EXPECT_TRUE(pumpUntil([this] {
        return window->FindWindow(control::kConvert)->IsEnabled() &&
               window->FindWindow(control::kBatch)->IsEnabled() &&
               window->FindWindow(control::kChangeOutput)->IsEnabled();
    }));
    EXPECT_TRUE(answers.messages.empty());
}

TEST_F(GuiTest, EscapeDuringConversionStopsTheRenderBeforeTheWindowGoes) {
    const std::string out = dir.file("long.wav");
    ini::writeString(dir.file("Korvelt.ini"), "Files", "Sound Bank",
                     dir.write("piano.sf2", smallBank()));
    ini::writeString(dir.file("Korvelt.ini"), "Files", "Output File", out);
    start();
    EXPECT_TRUE(drop({dir.write("long.mid", tune(900))}));
    ASSERT_EQ(boxText(control::kMidiFileName), "long.mid");

    click(*window, control::kConvert);
    ASSERT_EQ(logic().runState(), RunState::Converting);
    // Let the render get under way: the first progress report arrives.
    ASSERT_TRUE(
        pumpUntil([this] { return std::filesystem::file_size(dir.file("long.wav")) > 44; }));

    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    escape.SetEventObject(window);
    window->GetEventHandler()->ProcessEvent(escape);

    // The close steps ran at once: the render stopped and its file was closed, with no
    // report shown while the window closes.
    EXPECT_EQ(window->logic(), nullptr);
    const int peak = checkedPeak(out);
    EXPECT_GT(peak, 0);
    EXPECT_LT(std::filesystem::file_size(out), 900u * 44100u * 4u / 2u); // well before the end
    EXPECT_TRUE(answers.messages.empty());
    EXPECT_TRUE(pumpUntil([this] { return program->window() == nullptr; }));
}

TEST_F(GuiTest, FileFailuresEndTheirBoxWithTheFileAndTheReason) {
    // The settings file cannot be read (a directory stands in its place): a box says so
    // at start, and again when Options cannot save the default files.
    const std::string ini = dir.file("Korvelt.ini");
    std::filesystem::create_directory(ini);
    dir.write("Korvelt.sf2", smallBank());
    start();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].title, "Settings file error");
    EXPECT_EQ(answers.messages[0].text, "The settings file could not be read\nThe built-in "
                                        "default files are used\n" +
                                            ini + ": Is a directory");
    answers.onDialog("Korvelt - Options", [&](wxDialog& d) { click(d, 1); });
    click(*window, control::kOptions);
    ASSERT_EQ(answers.messages.size(), 2u);
    EXPECT_EQ(answers.messages[1].text,
              "The default files could not be saved\n" + ini + ": Is a directory");

    // An output in a missing directory: the writer's box ends with the file and the reason,
    // the window's box keeps its words.
    answers.answerFile(dir.file("missing/tune.wav"));
    click(*window, control::kChangeOutput);
    answers.answerFile(dir.write("tune.mid", tune(1)));
    click(*window, control::kLoadMidi);
    click(*window, control::kConvert);
    ASSERT_EQ(answers.messages.size(), 4u);
    EXPECT_EQ(answers.messages[2].title, "Error!");
    EXPECT_EQ(answers.messages[2].text, "Cwavfil::openwr\nError while writing Korvelt.wav file\n" +
                                            dir.file("missing/tune.wav") +
                                            ": No such file or directory");
    EXPECT_EQ(answers.messages[3].title, "Couldn't create the WAVE file");
    EXPECT_EQ(answers.messages[3].text, "There was an error while creating the WAVE file\nPlease "
                                        "check if your hard drive is not full and try again");
}

TEST_F(GuiTest, MessagesFromAnotherThreadAreShownOnTheUserInterfaceThread) {
    start();
    const std::thread::id uiThread = std::this_thread::get_id();
    std::atomic<bool> returned{false};
    std::thread::id shownOn;
    bool returnedBeforeShown = false;
    answers.onMessage = [&](const DialogAnswers::Message&) {
        shownOn = std::this_thread::get_id();
        returnedBeforeShown = returned;
    };
    std::thread worker([&] {
        program->notifier().show(Severity::Error, "Error!",
                                 "Ctrack::rdmidi\nBad data in midi file");
        returned = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return returned.load(); }));
    worker.join();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].title, "Error!");
    EXPECT_EQ(answers.messages[0].text, "Ctrack::rdmidi\nBad data in midi file");
    EXPECT_TRUE(answers.messages[0].style & wxICON_ERROR);
    EXPECT_EQ(shownOn, uiThread);
    EXPECT_FALSE(returnedBeforeShown); // the sender waited for the box

    // Once the window has gone, a message from another thread cannot block its sender.
    closeWindow();
    std::thread late([&] { program->notifier().show(Severity::Warning, "Late", "text"); });
    late.join();
    EXPECT_EQ(answers.messages.size(), 1u);
}

} // namespace
} // namespace korvelt::test
