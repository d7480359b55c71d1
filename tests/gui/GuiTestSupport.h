#pragma once

// Test support for the desktop program: the real main window and dialogs on a virtual X
// server, driven by button events, with every modal box and file dialog answered by a
// hook instead of a person.

#include "app/AppDirectories.h"
#include "app/ControlIds.h"
#include "app/MainWindowLogic.h"
#include "app/SettingsFile.h"
#include "app/gui/DesktopProgram.h"
#include "app/gui/MainWindow.h"
#include "midi/MidiFileWriter.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace korvelt::test {

// Runs the toolkit's event loop (events, calls handed over from other threads, idle
// work such as destroying closed windows) until `done` holds; false when `limit` passed
// first. Waits for events rather than sleeping.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        loop->DispatchTimeout(10);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    }
    return true;
}

// Answers the modal dialogs of a test: records every message box and file dialog,
// answers file dialogs from a queue (cancel when it is empty), and lets the dialogs named
// in a script run for real, acting in them once their modal loop runs.
class DialogAnswers final : public wxModalDialogHook {
public:
    struct Message {
        std::string title;
        std::string text;
        long style = 0;
    };
    struct FileRequest {
        std::string directory;
        std::string wildcard;
        long style = 0;
    };
    using Script = std::function<void(wxDialog&)>;

    DialogAnswers() { Register(); }

    void answerFile(const std::string& path) { files_.push_back(path); }
    void cancelFile() { files_.push_back(std::nullopt); }
    // The next dialog with this caption runs; `script` acts in it and should end it (it
    // is cancelled afterwards if it is still open, so a failed check cannot hang the test).
    void onDialog(const std::string& caption, Script script) {
        scripts_[caption].push_back(std::move(script));
    }

    std::vector<Message> messages;
    std::vector<FileRequest> fileRequests;
    std::function<void(const Message&)> onMessage;

protected:
    int Enter(wxDialog* dialog) override {
        if (auto* box = dynamic_cast<wxMessageDialog*>(dialog)) {
            Message m{box->GetCaption().utf8_string(), box->GetMessage().utf8_string(),
                      box->GetMessageDialogStyle()};
            messages.push_back(m);
            if (onMessage)
                onMessage(m);
            return wxID_OK;
        }
        if (auto* chooser = dynamic_cast<wxFileDialog*>(dialog)) {
            fileRequests.push_back({chooser->GetDirectory().utf8_string(),
                                    chooser->GetWildcard().utf8_string(),
                                    chooser->GetWindowStyle()});
            if (files_.empty() || !files_.front()) {
                if (!files_.empty())
                    files_.pop_front();
                return wxID_CANCEL;
            }
            chooser->SetPath(wxString::FromUTF8(*files_.front()));
            files_.pop_front();
            return wxID_OK;
        }
        auto it = scripts_.find(dialog->GetTitle().utf8_string());
        if (it == scripts_.end() || it->second.empty()) {
            ADD_FAILURE() << "unexpected dialog " << dialog->GetTitle().utf8_string();
            return wxID_CANCEL;
        }
        Script script = std::move(it->second.front());
        it->second.pop_front();
        dialog->CallAfter([dialog, script] {
            script(*dialog);
            if (dialog->IsModal()) {
                ADD_FAILURE() << "the script left the dialog open";
                dialog->EndModal(wxID_CANCEL);
            }
        });
        return wxID_NONE; // shown and run modally
    }
    void Exit(wxDialog*) override {}

private:
    std::deque<std::optional<std::string>> files_;
    std::map<std::string, std::deque<Script>> scripts_;
};

// A click on the button `id` in `window`, as the button sends it.
inline void click(wxWindow& window, int id) {
    wxWindow* button = window.FindWindow(id);
    ASSERT_NE(button, nullptr) << "no control " << id;
    ASSERT_TRUE(button->IsEnabled()) << "control " << id << " is disabled";
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

template <class T>
T* find(wxWindow& window, int id) {
    return wxDynamicCast(window.FindWindow(id), T);
}

// A small bank: a looped sine as "Piano" (bank 0 program 0) and as a drum kit (bank 128).
inline std::string smallBank() {
    std::vector<std::int16_t> sine(2000);
    for (std::size_t i = 0; i < sine.size(); ++i)
        sine[i] = static_cast<std::int16_t>(12000.0 *
                                            std::sin(2.0 * std::numbers::pi * double(i) / 100.0));
    Sf2Builder b;
    const int s = b.addSample({.name = "Sine", .frames = sine, .loopStart = 100, .loopEnd = 1900});
    const int piano =
        b.addInstrument("Piano", {Sf2Builder::instrumentZone(s, {gen(sfgen::kSampleModes, 1)})});
    b.addPreset("Piano", 0, 0, {Sf2Builder::presetZone(piano)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(piano)});
    return b.build();
}

// A MIDI file of `seconds` (480 ticks a second): a note each second on channel 1 and a
// drum on channel 10, with programs chosen on channels 1, 2 and 10.
inline std::string tune(int seconds) {
    constexpr std::uint32_t kSecond = 480;
    MidiFileWriter w(kSecond / 2); // at the default 120 beats per minute
    auto& t = w.addTrack();
    t.programChange(0, 0, 0);
    t.programChange(0, 1, 40);
    t.programChange(0, 9, 0);
    for (int s = 0; s < seconds; ++s) {
        t.note(std::uint32_t(s) * kSecond, kSecond / 2, 0, 60 + s % 12, 100);
        t.note(std::uint32_t(s) * kSecond, kSecond / 4, 9, 36, 90);
    }
    return w.bytes();
}

// The desktop program with its main window on screen, in a fresh directory that is the
// program's, the start-up and the temporary directory; KORVELT_INI names the settings
// file there.
class GuiTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("KORVELT_INI", dir.file("Korvelt.ini").c_str(), 1); }

    void TearDown() override {
        closeWindow();
        program.reset();
    }

    void start() {
        const AppDirectories dirs =
            AppDirectories::make(dir.path(), dir.path(), dir.path(), std::nullopt);
        program = std::make_unique<gui::DesktopProgram>(dirs, settingsFilePathFromEnvironment(dirs),
                                                        std::uint64_t(64) << 20);
        window = &program->createMainWindow();
        window->Show();
    }

    // Closes the main window as its close box does and waits until it is gone.
    void closeWindow() {
        if (program && program->window()) {
            program->window()->Close();
            EXPECT_TRUE(pumpUntil([this] { return program->window() == nullptr; }));
        }
    }

    MainWindowLogic& logic() { return *window->logic(); }
    Settings& settings() { return program->settings(); }

    std::string text(int id) { return window->FindWindow(id)->GetLabel().utf8_string(); }
    std::string boxText(int id) { return find<wxTextCtrl>(*window, id)->GetValue().utf8_string(); }

    // Files dropped on the window; false when the window refused them.
    bool drop(const std::vector<std::string>& files) {
        auto* target = dynamic_cast<wxFileDropTarget*>(window->panel()->GetDropTarget());
        EXPECT_NE(target, nullptr);
        wxArrayString names;
        for (const auto& f : files)
            names.Add(wxString::FromUTF8(f));
        const bool taken = target->OnDropFiles(10, 10, names);
        // The window hands the drop to its logic once the drop has completed.
        int rounds = 0;
        pumpUntil([&rounds] { return ++rounds > 3; });
        return taken;
    }

    bool waitUntilIdle() {
        return pumpUntil([this] {
            return logic().runState() == RunState::Idle && !logic().flow().renderRunning();
        });
    }

    TempDir dir;
    DialogAnswers answers;
    std::unique_ptr<gui::DesktopProgram> program;
    gui::MainWindow* window = nullptr;
};

} // namespace korvelt::test
