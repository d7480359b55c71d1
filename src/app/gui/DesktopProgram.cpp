#include "app/gui/DesktopProgram.h"

#include "app/gui/MainWindow.h"

#include <wx/app.h>

namespace korvelt::gui {

DesktopProgram::DesktopProgram(AppDirectories dirs, std::string settingsFile,
                               std::uint64_t sampleBudget)
    : dirs_(std::move(dirs)), settingsFile_(std::move(settingsFile)),
      wakeTarget_(std::make_shared<WakeTarget>()),
      // Called from the handing thread: asks the toolkit's event loop to run the handed-over
      // calls soon (CallAfter may be called from any thread).
      dispatcher_([target = wakeTarget_] {
          if (wxTheApp != nullptr)
              wxTheApp->CallAfter([target] {
                  if (target->dispatcher != nullptr)
                      target->dispatcher->runPending();
              });
      }),
      notifier_(dispatcher_), engine_(settings_.render, sampleBudget),
      waveOut_([this](std::function<void()> call) { dispatcher_.post(std::move(call)); }) {
    wakeTarget_->dispatcher = &dispatcher_;
}

DesktopProgram::~DesktopProgram() {
    if (MainWindow* window = window_.get()) {
        window->closeLogic();
        window->Destroy();
    }
    windowClosed();
    wakeTarget_->dispatcher = nullptr;
}

MainWindow& DesktopProgram::createMainWindow() {
    auto* window = new MainWindow(*this);
    window_ = window;
    return *window;
}

void DesktopProgram::windowClosed() {
    notifier_.setOwner(nullptr);
    dispatcher_.shutdown();
}

} // namespace korvelt::gui
