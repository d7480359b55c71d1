#pragma once

#include "app/AppDirectories.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/UiDispatcher.h"
#include "app/gui/WxNotifier.h"
#include "platform/SdlWaveOut.h"

#include <wx/weakref.h>

#include <cstdint>
#include <memory>
#include <string>

namespace korvelt::gui {

class MainWindow;

// Everything the desktop program builds once at start, in the order each part needs the
// ones before it: the settings, the hand-over of calls to the user-interface thread, the
// message boxes, the render objects, the sound card and the main window. Created and
// destroyed on the user-interface thread, within the toolkit's lifetime.
class DesktopProgram {
public:
    // `sampleBudget` 0 gives the sample store the machine's physical memory.
    DesktopProgram(AppDirectories dirs, std::string settingsFile, std::uint64_t sampleBudget = 0);
    // Runs the main window's close steps if it is still there.
    ~DesktopProgram();

    DesktopProgram(const DesktopProgram&) = delete;
    DesktopProgram& operator=(const DesktopProgram&) = delete;

    // Creates and initialises the main window (not shown yet). Once per program: the
    // hand-over to the user-interface thread ends with the window.
    MainWindow& createMainWindow();
    // The main window while it exists, else null.
    MainWindow* window() const { return window_.get(); }

    Settings& settings() noexcept { return settings_; }
    const AppDirectories& directories() const noexcept { return dirs_; }
    const std::string& settingsFile() const noexcept { return settingsFile_; }
    QueueDispatcher& dispatcher() noexcept { return dispatcher_; }
    WxNotifier& notifier() noexcept { return notifier_; }
    RenderEngine& engine() noexcept { return engine_; }
    SdlWaveOut& waveOut() noexcept { return waveOut_; }

    // Called by the main window once its close steps are done and its logic is gone: the
    // hand-over to the user-interface thread stops, so nothing can wait on it any more.
    void windowClosed();

private:
    // What a scheduled hand-over runs: cleared when the program goes, so a call still
    // queued in the toolkit's event queue then does nothing.
    struct WakeTarget {
        QueueDispatcher* dispatcher = nullptr;
    };

    AppDirectories dirs_;
    std::string settingsFile_;
    Settings settings_;
    std::shared_ptr<WakeTarget> wakeTarget_;
    QueueDispatcher dispatcher_;
    WxNotifier notifier_;
    RenderEngine engine_;
    SdlWaveOut waveOut_;
    wxWeakRef<MainWindow> window_;
};

} // namespace korvelt::gui
