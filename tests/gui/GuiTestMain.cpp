// Starts the toolkit for the desktop program's tests. Without a display of its own the
// program runs itself again under xvfb-run, so the tests also pass where only a virtual
// X server is at hand.

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

bool haveDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Replaces this process by `xvfb-run -a` running it again with the same arguments.
void runUnderVirtualServer(const std::vector<std::string>& args) {
    if (std::getenv("KORVELT_GUI_TESTS_UNDER_XVFB") != nullptr)
        return; // already tried
    ::setenv("KORVELT_GUI_TESTS_UNDER_XVFB", "1", 1);
    std::vector<char*> argv;
    std::string runner = "xvfb-run";
    std::string automatic = "-a";
    argv.push_back(runner.data());
    argv.push_back(automatic.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp("xvfb-run", argv.data());
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> original(argv, argv + argc);
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();

    if (!haveDisplay())
        runUnderVirtualServer(original);
    // No sound card needed: Listen plays through SDL's silent driver.
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);

    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) {
        std::fprintf(stderr, "The desktop program's tests need a display: run them under "
                             "'xvfb-run -a'.\n");
        return 1;
    }
    wxTheApp->SetExitOnFrameDelete(false);
    wxInitAllImageHandlers();
    int status = 0;
    {
        wxGUIEventLoop loop;
        wxEventLoopActivator active(&loop);
        status = RUN_ALL_TESTS();
    }
    wxEntryCleanup();
    return status;
}
