#pragma once

#include "app/AppDirectories.h"
#include "app/BatchFlow.h"
#include "app/ConversionFlow.h"
#include "platform/WaveOut.h"

#include <memory>
#include <string>
#include <vector>

namespace korvelt {

class MainView;
class Notifier;
class RenderEngine;
class UiDispatcher;
class WavePlayer;
class Cwavfil;
struct Settings;

// Everything the main window does, without drawing it: the commands of its buttons, files
// dropped on it, the render's and the audio device's reports, and the close steps. It
// owns the conversion and batch flows and the player, and tells its view what to show.
// Every call comes on the user-interface thread.
class MainWindowLogic final : public WaveOutListener {
public:
    MainWindowLogic(Settings& settings, AppDirectories dirs, std::string settingsFile,
                    Notifier& notifier, UiDispatcher& dispatcher, MainView& view,
                    RenderEngine& engine, WaveOut& device);
    ~MainWindowLogic() override;

    // Loads the settings and takes the current files from the two defaults.
    void initialise();
    // A button of the window (its control id).
    void command(int controlId);
    // Files dropped on the window; only the first counts.
    void dropFiles(const std::vector<std::string>& files);
    // The close steps: stops playback or the render and waits for its end. The window
    // closes afterwards.
    void close();

    // The audio device's reports.
    void waveOutOpened() override;
    void waveOutDone(int buffer) override;

    RunState runState() const noexcept { return flow_.runState(); }
    ConversionFlow& flow() noexcept { return flow_; }
    BatchFlow& batch() noexcept { return batch_; }
    const AppDirectories& directories() const noexcept { return dirs_; }
    const std::string& settingsFile() const noexcept { return settingsFile_; }
    // The help page beside the program.
    std::string helpFile() const;

    // The filters of the file dialogs.
    static const char* const kSoundBankFilter;
    static const char* const kWaveFilter;
    static const char* const kMidiFilter;

private:
    // The Help command: the page in the desktop's browser, or a message naming it.
    void openHelp();
    void chooseSoundBank();
    void chooseOutputFile();
    void chooseMidiFile();
    void listen();
    void stopListening();
    void endPlayback();
    void enableAfterPlayback();

    Settings& settings_;
    AppDirectories dirs_;
    std::string settingsFile_;
    Notifier& notifier_;
    MainView& view_;
    WaveOut& device_;
    ConversionFlow flow_;
    BatchFlow batch_;
    std::unique_ptr<WavePlayer> player_;
    // Stop left buffers at the device, whose reports are still to come.
    bool lateReports_ = false;
    bool closed_ = false;
};

} // namespace korvelt
