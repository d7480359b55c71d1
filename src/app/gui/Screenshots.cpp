#include "app/gui/Screenshots.h"

#include "app/gui/AboutBox.h"
#include "app/gui/DesktopProgram.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MixerDialog.h"
#include "app/gui/OptionsDialog.h"
#include "app/gui/ProgramIcon.h"
#include "app/gui/WxText.h"
#include "platform/File.h"
#include "platform/Path.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace korvelt::gui {

void settle() {
    // Drawing under X happens in several rounds (map, expose, the controls' own idle
    // work); a few rounds of the event loop with short pauses let all of them finish.
    for (int round = 0; round < 15; ++round) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        wxMilliSleep(20);
    }
}

bool saveWindowImage(wxWindow& window, const std::string& file) {
    window.Update();
    settle();
    const wxSize size = window.GetClientSize();
    wxBitmap picture(size.x, size.y, 24);
    wxMemoryDC memory(picture);
    wxClientDC screen(&window);
    const bool copied = memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
    memory.SelectObject(wxNullBitmap);
    return copied && picture.SaveFile(toWx(file), wxBITMAP_TYPE_PNG);
}

bool saveScreenshots(DesktopProgram& program, MainWindow& window, const std::string& directory) {
    // A failure shows in the exit status; a logged error would wait in a message box.
    wxLogNull quiet;
    if (!file::makeDirectories(directory))
        return false;
    bool ok = saveWindowImage(window, path::join(directory, "main-window.png"));

    auto* options = new OptionsDialog(&window, program.settings(), program.settingsFile(),
                                      program.directories().startupDirectory, [] {});
    options->Show();
    ok = saveWindowImage(*options, path::join(directory, "options.png")) && ok;
    options->Destroy();

    auto* mixer = new MixerDialog(&window, program.settings());
    mixer->Show();
    ok = saveWindowImage(*mixer, path::join(directory, "mixer.png")) && ok;
    mixer->Destroy();

    auto* about = new AboutBox(&window);
    about->Show();
    ok = saveWindowImage(*about, path::join(directory, "about.png")) && ok;
    about->Destroy();
    return ok;
}

bool saveIconFiles(const std::string& directory) {
    wxLogNull quiet;
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string dir =
            path::join(directory, std::to_string(size) + "x" + std::to_string(size) + "/apps");
        ok =
            file::makeDirectories(dir) &&
            programBitmap(size).SaveFile(toWx(path::join(dir, "korvelt.png")), wxBITMAP_TYPE_PNG) &&
            ok;
    }
    return ok;
}

} // namespace korvelt::gui
