#pragma once

// Test support for the application layer: a main window view that records what the logic
// tells it and answers file dialogs from a script, a notifier that hands the render
// thread's messages to the user-interface thread as the desktop program does, a watchdog
// against hangs, and small banks, MIDI files and WAVE files made on the spot.

#include "app/ControlIds.h"
#include "app/MainView.h"
#include "app/MainWindowLogic.h"
#include "app/RenderEngine.h"
#include "app/RunState.h"
#include "app/Settings.h"
#include "app/UiDispatcher.h"
#include "midi/MidiFileWriter.h"
#include "platform/IniFile.h"
#include "platform/Notifier.h"
#include "platform/Path.h"
#include "support/FakeWaveOut.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WaveData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <numbers>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace korvelt {

// Messages as test failures print them.
inline void PrintTo(const RecordingNotifier::Message& m, std::ostream* out) {
    *out << (m.severity == Severity::Error ? "error " : "warning ") << '"' << m.title << "\": \""
         << m.text << '"';
    if (m.file)
        *out << " [" << m.file->line() << "]";
}
inline void PrintTo(const FileProblem& p, std::ostream* out) {
    *out << p.line();
}

} // namespace korvelt

namespace korvelt::test {

// The main window's view for tests: keeps the current text and state of every control,
// the control of every call in order, and answers file dialogs from a script (cancel when
// the script is empty).
class RecordingView final : public MainView {
public:
    enum class Kind { Text, Enabled, Progress, Drops };
    struct Call {
        Kind kind;
        int id;
    };

    void setText(int id, const std::string& text) override {
        texts[id] = text;
        calls.push_back({Kind::Text, id});
    }
    void setEnabled(int id, bool on) override {
        enabled[id] = on;
        calls.push_back({Kind::Enabled, id});
    }
    void setProgress(int percent) override {
        progress = percent;
        progressLog.push_back(percent);
        calls.push_back({Kind::Progress, control::kProgress});
        if (onProgress)
            onProgress(percent);
    }
    void setAcceptDrops(bool accept) override {
        acceptDrops = accept;
        calls.push_back({Kind::Drops, 0});
    }
    std::optional<FileChoice> chooseFile(const FileDialogRequest& request) override {
        requests.push_back(request);
        if (answers.empty())
            return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void runOptionsDialog() override { ++dialogRuns; }
    void runMixerDialog() override { ++dialogRuns; }
    void runAboutBox() override { ++dialogRuns; }
    bool openHelp(const std::string& file) override {
        helpFiles.push_back(file);
        return helpOpens;
    }

    // The next file dialog answers with `path` (its name and extension as a dialog gives
    // them).
    void answer(const std::string& path) {
        const std::string ext = path::extension(path);
        answers.push_back(
            FileChoice{path, path::fileName(path), ext.empty() ? ext : ext.substr(1)});
    }

    bool isEnabled(int id) const { return !enabled.count(id) || enabled.at(id); }
    std::string text(int id) const { return texts.count(id) ? texts.at(id) : std::string(); }

    // The window is created showing the idle captions.
    std::map<int, std::string> texts{{control::kConvert, caption::kConvert},
                                     {control::kBatch, caption::kBatch},
                                     {control::kListen, caption::kListen}};
    std::map<int, bool> enabled;
    bool acceptDrops = true;
    int progress = 0;
    std::vector<int> progressLog;
    std::vector<Call> calls;
    std::deque<std::optional<FileChoice>> answers;
    std::vector<FileDialogRequest> requests;
    int dialogRuns = 0;
    std::vector<std::string> helpFiles;
    bool helpOpens = true; // whether a program takes the help page
    std::function<void(int)> onProgress;
};

// The buttons and drops as they must be in each activity state.
inline void expectControls(const RecordingView& v, RunState state) {
    SCOPED_TRACE("activity state " + std::to_string(int(state)));
    using namespace control;
    const bool idle = state == RunState::Idle;
    const bool converting = state == RunState::Converting;
    const bool batch = state == RunState::Batch;
    const bool listening = state == RunState::Listening;
    EXPECT_EQ(v.text(kConvert), converting ? caption::kAbort : caption::kConvert);
    EXPECT_EQ(v.isEnabled(kConvert), idle || converting);
    EXPECT_EQ(v.text(kBatch), batch ? caption::kAbort : caption::kBatch);
    EXPECT_EQ(v.isEnabled(kBatch), idle || batch);
    EXPECT_EQ(v.text(kListen), listening ? caption::kStop : caption::kListen);
    EXPECT_EQ(v.isEnabled(kListen), idle || listening);
    EXPECT_EQ(v.isEnabled(kLoadMidi), idle || listening);
    EXPECT_EQ(v.isEnabled(kChangeSoundBank), idle || listening);
    EXPECT_EQ(v.isEnabled(kChangeOutput), idle);
    EXPECT_EQ(v.acceptDrops, idle);
    // Options, Mixer, About and Help are never touched.
    for (const auto& c : v.calls) {
        const bool alwaysOn = c.id == kOptions || c.id == kMixer || c.id == kAbout || c.id == kHelp;
        EXPECT_FALSE(c.kind == RecordingView::Kind::Enabled && alwaysOn) << c.id;
    }
}

// Shows messages as the desktop program does: a message raised on another thread (the
// render thread) is handed to the user-interface thread, and its sender waits until it
// has been shown. Counts the messages sent from other threads as they are sent.
class UiNotifier final : public Notifier {
public:
    UiNotifier(RecordingNotifier& record, UiDispatcher& dispatcher)
        : record_(record), dispatcher_(dispatcher), uiThread_(std::this_thread::get_id()) {}

    void show(Severity severity, const std::string& title, const std::string& text) override {
        if (std::this_thread::get_id() != uiThread_)
            ++fromOtherThreads;
        dispatcher_.invokeAndWait([&] { record_.show(severity, title, text); });
    }
    void showFileProblem(Severity severity, const std::string& title, const std::string& text,
                         const FileProblem& problem) override {
        if (std::this_thread::get_id() != uiThread_)
            ++fromOtherThreads;
        dispatcher_.invokeAndWait([&] { record_.showFileProblem(severity, title, text, problem); });
    }

    std::atomic<int> fromOtherThreads{0};

private:
    RecordingNotifier& record_;
    UiDispatcher& dispatcher_;
    std::thread::id uiThread_;
};

// Ends the test program when the scope it guards takes longer than `limit`: a hang in the
// code under test then shows as a failure, not as a stuck test run.
class Watchdog {
public:
    explicit Watchdog(std::string what, std::chrono::seconds limit = std::chrono::seconds(60))
        : thread_([this, what = std::move(what), limit] {
              std::unique_lock lock(mutex_);
              if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "Watchdog: %s did not finish in time\n", what.c_str());
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

// Waits (without handling any report) until `condition` holds.
inline bool waitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(20000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A small bank: a looped sine ("Piano", bank 0 program 0) and a short click kit (bank 128
// program 0).
inline std::string smallBank() {
    std::vector<std::int16_t> sine(2000);
    for (std::size_t i = 0; i < sine.size(); ++i) // period 100 frames: 441 Hz
        sine[i] = static_cast<std::int16_t>(12000.0 *
                                            std::sin(2.0 * std::numbers::pi * double(i) / 100.0));
    std::vector<std::int16_t> click(400);
    for (std::size_t i = 0; i < click.size(); ++i)
        click[i] = static_cast<std::int16_t>((i % 7 < 3 ? 9000 : -9000) * (400 - int(i)) / 400);
    Sf2Builder b;
    const int s = b.addSample({.name = "Sine", .frames = sine, .loopStart = 100, .loopEnd = 1900});
    const int c = b.addSample({.name = "Click", .frames = click});
    const int piano =
        b.addInstrument("Piano", {Sf2Builder::instrumentZone(s, {gen(sfgen::kSampleModes, 1)})});
    const int kit = b.addInstrument("Kit", {Sf2Builder::instrumentZone(c)});
    b.addPreset("Piano", 0, 0, {Sf2Builder::presetZone(piano)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(kit)});
    return b.build();
}

// MIDI files at 240 ticks per quarter note and the default tempo (120 beats per minute, a
// quarter every half second): 480 ticks are one second.
inline constexpr std::uint32_t kSecond = 480;
inline constexpr std::uint16_t kDivision = kSecond / 2;

// One note of `seconds` on channel 1 at tick 0, then silence until `lastTick`.
inline std::string noteMidi(double seconds, int velocity = 100, std::uint32_t lastTick = 0) {
    MidiFileWriter w(kDivision);
    auto& t = w.addTrack();
    t.programChange(0, 0, 0);
    t.note(0, static_cast<std::uint32_t>(seconds * kSecond), 0, 69, velocity);
    if (lastTick > 0)
        t.controlChange(lastTick, 0, 7, 100);
    return w.bytes();
}

// A note, then a controller after the longest delta time a file can hold: 2^28 - 1 ticks
// of a 96-tick quarter note, 388 hours 21 minutes at the default tempo.
inline std::string hugeDeltaMidi() {
    MidiFileWriter w(96);
    auto& t = w.addTrack();
    t.note(0, 96, 0, 69, 100);
    t.controlChange(0x0FFFFFFF, 0, 7, 100);
    return w.bytes();
}

inline const std::string kTooLongText =
    "The MIDI file plays for 388 hours 21 minutes, but a WAVE file can hold\nat most 6 hours "
    "35 minutes of music.\nPlease check the MIDI file and the MIDI tempo in OPTIONS and try "
    "again";
// The same on the command line, which advises its own option.
inline const std::string kTooLongCliText =
    "The MIDI file plays for 388 hours 21 minutes, but a WAVE file can hold\nat most 6 hours "
    "35 minutes of music.\nPlease check the MIDI file and the --tempo option and try again";

// Only a controller at tick 0 and one at `lastTick`: renders silence of that length.
inline std::string silentMidi(std::uint32_t lastTick = kSecond) {
    MidiFileWriter w(kDivision);
    auto& t = w.addTrack();
    t.controlChange(0, 0, 7, 100);
    t.controlChange(lastTick, 0, 7, 100);
    return w.bytes();
}

inline std::vector<std::int16_t> waveSamples(const std::string& path) {
    return readWave(path).samples;
}

inline int wavePeak(const std::string& path) {
    return readWave(path).peak();
}

// The main window's logic with a recording view, the real render thread, a queue for the
// user-interface thread and a fake output device. The settings file names `bank.sf2`
// (written) and `out.wav` in the test's directory as the default files.
struct AppHarness {
    TempDir dir;
    Settings settings;
    RecordingNotifier record;
    QueueDispatcher dispatcher;
    UiNotifier notifier{record, dispatcher};
    RecordingView view;
    RenderEngine engine{settings.render, 256u << 20};
    FakeWaveOut device;
    std::string bank = dir.write("bank.sf2", smallBank());
    std::string out = dir.file("out.wav");
    std::unique_ptr<MainWindowLogic> logic;

    AppHarness() {
        ini::writeString(dir.file("Korvelt.ini"), "Files", "Sound Bank", bank);
        ini::writeString(dir.file("Korvelt.ini"), "Files", "Output File", out);
        logic = std::make_unique<MainWindowLogic>(
            settings, AppDirectories::make(dir.path(), dir.path(), dir.path(), std::nullopt),
            dir.file("Korvelt.ini"), notifier, dispatcher, view, engine, device);
        logic->initialise();
    }

    ConversionFlow& flow() { return logic->flow(); }
    RunState state() { return logic->runState(); }
    void press(int id) { logic->command(id); }
    // Loads a MIDI file through the Load command's dialog.
    void load(const std::string& path) {
        view.answer(path);
        press(control::kLoadMidi);
    }
    std::string midi(const std::string& name, const std::string& bytes) {
        return dir.write(name, bytes);
    }
    // Handles the render thread's reports until no render runs and the window is idle.
    void runUntilIdle() {
        Watchdog guard("a render");
        dispatcher.processUntil(
            [this] { return !flow().renderRunning() && state() == RunState::Idle; });
    }
    // Convert, and every report handled to the end.
    void convert() {
        press(control::kConvert);
        runUntilIdle();
    }
};

} // namespace korvelt::test
