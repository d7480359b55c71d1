// The desktop program: the main window with its dialogs over the application's logic.

#include "app/AppDirectories.h"
#include "app/SettingsFile.h"
#include "app/gui/DesktopProgram.h"
#include "app/gui/MainWindow.h"
#include "app/gui/Screenshots.h"
#include "app/gui/WxText.h"

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/filename.h>
#include <wx/image.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifndef KORVELT_VERSION
#define KORVELT_VERSION "1.9"
#endif

namespace korvelt::gui {
namespace {

class KorveltApp final : public wxApp {
public:
    void OnInitCmdLine(wxCmdLineParser& parser) override {
        // -h and -V are answered before the toolkit starts (see main below).
        static const wxCmdLineEntryDesc entries[] = {
            {wxCMD_LINE_OPTION, nullptr, "screenshots", "save pictures of the windows",
             wxCMD_LINE_VAL_STRING, 0},
            {wxCMD_LINE_OPTION, nullptr, "write-icons", "save the icon files",
             wxCMD_LINE_VAL_STRING, 0},
            {wxCMD_LINE_PARAM, nullptr, nullptr, "FILE", wxCMD_LINE_VAL_STRING,
             wxCMD_LINE_PARAM_OPTIONAL | wxCMD_LINE_PARAM_MULTIPLE},
            wxCMD_LINE_DESC_END,
        };
        parser.SetDesc(entries);
        parser.SetSwitchChars("-");
    }

    bool OnCmdLineParsed(wxCmdLineParser& parser) override {
        wxString dir;
        if (parser.Found("screenshots", &dir))
            screenshots_ = fromWx(dir);
        if (parser.Found("write-icons", &dir))
            iconDirectory_ = fromWx(dir);
        for (size_t i = 0; i < parser.GetParamCount(); ++i) {
            wxFileName name(parser.GetParam(i));
            name.MakeAbsolute();
            files_.push_back(fromWx(name.GetFullPath()));
        }
        return true;
    }

    bool OnInit() override {
        if (!wxApp::OnInit())
            return false;
        wxInitAllImageHandlers();
        if (iconDirectory_) {
            exitCode_ = saveIconFiles(*iconDirectory_) ? 0 : 1;
            quitAtOnce_ = true;
            return true;
        }
        AppDirectories dirs = AppDirectories::fromProcess();
        const std::string settingsFile = settingsFilePathFromEnvironment(dirs);
        program_ = std::make_unique<DesktopProgram>(std::move(dirs), settingsFile);
        MainWindow& window = program_->createMainWindow();
        SetTopWindow(&window);
        window.Show();
        window.openFiles(files_);
        if (screenshots_) {
            CallAfter([this] {
                if (MainWindow* w = program_->window()) {
                    exitCode_ = saveScreenshots(*program_, *w, *screenshots_) ? 0 : 1;
                    w->Close();
                }
            });
        }
        return true;
    }

    int OnExit() override {
        program_.reset();
        return wxApp::OnExit();
    }

    int OnRun() override {
        if (quitAtOnce_)
            return exitCode_;
        const int status = wxApp::OnRun();
        return exitCode_ != 0 ? exitCode_ : status;
    }

private:
    std::unique_ptr<DesktopProgram> program_;
    std::vector<std::string> files_;
    std::optional<std::string> screenshots_;
    std::optional<std::string> iconDirectory_;
    bool quitAtOnce_ = false;
    int exitCode_ = 0;
};

} // namespace
} // namespace korvelt::gui

wxIMPLEMENT_APP_NO_MAIN(korvelt::gui::KorveltApp);

namespace {

const char* const kUsage =
    "Usage: korvelt [OPTIONS] [FILE...]\n"
    "Korvelt " KORVELT_VERSION " - MIDI to WAVE converter, the desktop program.\n"
    "\n"
    "Each FILE is used as if dropped on the window, in the order given: a sound bank\n"
    "(.sf2, .sf3, .csf) becomes the sound bank, a .wav file the output file, and a MIDI file\n"
    "(.mid, .kar, .rmi) is loaded.\n"
    "\n"
    "Options:\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "  --screenshots DIR    save pictures of the main window and the Options and Mixer\n"
    "                       dialogs and the About box as main-window.png, options.png,\n"
    "                       mixer.png and about.png in DIR, then quit\n"
    "  --write-icons DIR    save the program icon as DIR/NxN/apps/korvelt.png, then quit\n"
    "\n"
    "The settings file is $KORVELT_INI, else $XDG_CONFIG_HOME/korvelt/Korvelt.ini, else\n"
    "~/.config/korvelt/Korvelt.ini. For converting without a window see korvelt-cli.\n";

} // namespace

int main(int argc, char** argv) {
    // Help and version need no display, so they are answered before the toolkit starts.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "-V" || arg == "--version") {
            std::printf("korvelt %s\n", KORVELT_VERSION);
            return 0;
        }
    }
    return wxEntry(argc, argv);
}
