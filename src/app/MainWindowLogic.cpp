#include "app/MainWindowLogic.h"

#include "app/ControlIds.h"
#include "app/MainView.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "audio/Cwavfil.h"
#include "audio/WavePlayer.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "platform/Path.h"

#include <cerrno>

namespace korvelt {
namespace {

bool hasExtension(const std::string& path, const char* ext) {
    return path::equalsIgnoreCase(path::extension(path), ext);
}

} // namespace

// "All Files" matches every file: "*" here, where "*.*" would miss names without a dot.
const char* const MainWindowLogic::kSoundBankFilter =
    "Sound Font Files(*.sf2;*.sf3;*.csf)|*.sf2;*.sf3;*.csf|Compressed Sound Font Files (*.csf)|"
    "*.csf|Uncompressed Sound Font files (*.sf2)|*.sf2|SoundFont 3 files (*.sf3)|*.sf3|"
    "All Files (*.*)|*";
const char* const MainWindowLogic::kWaveFilter = "Wave files (*.wav)|*.wav|All Files (*.*)|*";
const char* const MainWindowLogic::kMidiFilter =
    "MIDI & Karaoke Files (*.mid;*.midi;*.kar;*.rmi)|*.mid;*.midi;*.kar;*.rmi|All Files (*.*)|*";

MainWindowLogic::MainWindowLogic(Settings& settings, AppDirectories dirs, std::string settingsFile,
                                 Notifier& notifier, UiDispatcher& dispatcher, MainView& view,
                                 RenderEngine& engine, WaveOut& device)
    : settings_(settings), dirs_(std::move(dirs)), settingsFile_(std::move(settingsFile)),
      notifier_(notifier), view_(view), device_(device),
      flow_(settings, notifier, dispatcher, view, engine),
      batch_(flow_, view, notifier, engine, dirs_.startupDirectory) {}

MainWindowLogic::~MainWindowLogic() {
    close();
    // The window goes with its objects and its labels.
    settings_.resetMixer();
}

std::string MainWindowLogic::helpFile() const {
    return helpPagePath(dirs_.programDirectory);
}

void MainWindowLogic::initialise() {
    if (auto problem = loadSettings(settings_, dirs_, settingsFile_))
        notifier_.showFileProblem(Severity::Warning, msg::kSettingsFileErrorTitle,
                                  msg::kSettingsNotReadText, *problem);
    flow_.setSoundBank(settings_.defaultSoundBank,
                       hasExtension(settings_.defaultSoundBank, ".csf"));
    flow_.setOutputFile(settings_.defaultOutputFile);
    view_.setText(control::kMidiFileName, "");
}

void MainWindowLogic::command(int controlId) {
    const RunState state = flow_.runState();
    switch (controlId) {
    case control::kOptions:
        view_.runOptionsDialog();
        break;
    case control::kMixer:
        view_.runMixerDialog();
        break;
    case control::kAbout:
        view_.runAboutBox();
        break;
    case control::kHelp:
        openHelp();
        break;
    case control::kChangeSoundBank:
        if (state == RunState::Idle || state == RunState::Listening)
            chooseSoundBank();
        break;
    case control::kChangeOutput:
        if (state == RunState::Idle)
            chooseOutputFile();
        break;
    case control::kLoadMidi:
        if (state == RunState::Idle || state == RunState::Listening)
            chooseMidiFile();
        break;
    case control::kConvert:
        if (state == RunState::Idle)
            flow_.startConversion();
        else if (state == RunState::Converting)
            flow_.abort();
        break;
    case control::kBatch:
        batch_.command();
        break;
    case control::kListen:
        if (state == RunState::Idle)
            listen();
        else if (state == RunState::Listening)
            stopListening();
        break;
    default:
        break;
    }
}

void MainWindowLogic::chooseSoundBank() {
    FileDialogRequest request;
    request.filter = kSoundBankFilter;
    request.defaultExtension = ".sf2";
    request.startDirectory = path::directoryOrWhole(flow_.currentSoundBank());
    if (auto choice = view_.chooseFile(request))
        flow_.setSoundBank(choice->path, path::equalsIgnoreCase(choice->extension, "csf"),
                           choice->fileName);
}

void MainWindowLogic::chooseOutputFile() {
    FileDialogRequest request;
    request.save = true;
    request.filter = kWaveFilter;
    request.defaultExtension = ".wav";
    request.startDirectory = path::directoryOrWhole(flow_.currentOutputFile());
    if (auto choice = view_.chooseFile(request))
        flow_.setOutputFile(choice->path);
}

void MainWindowLogic::chooseMidiFile() {
    FileDialogRequest request;
    request.filter = kMidiFilter;
    request.defaultExtension = ".mid";
    request.startDirectory = flow_.currentMidiFile().empty()
                                 ? dirs_.startupDirectory
                                 : path::directoryOrWhole(flow_.currentMidiFile());
    if (auto choice = view_.chooseFile(request))
        flow_.loadMidiFile(choice->path);
}

void MainWindowLogic::dropFiles(const std::vector<std::string>& files) {
    if (flow_.runState() != RunState::Idle || files.empty())
        return;
    const std::string name = path::limit(files.front());
    if (name.size() < 6)
        return;
    if (hasExtension(name, ".sf2") || hasExtension(name, ".sf3"))
        flow_.setSoundBank(name, false);
    else if (hasExtension(name, ".csf"))
        flow_.setSoundBank(name, true);
    else if (hasExtension(name, ".wav"))
        flow_.setOutputFile(name);
    else if (hasExtension(name, ".mid") || hasExtension(name, ".kar") || hasExtension(name, ".rmi"))
        flow_.loadMidiFile(name);
}

void MainWindowLogic::openHelp() {
    const std::string page = helpFile();
    if (!view_.openHelp(page))
        notifier_.show(Severity::Warning, msg::kHelpNotOpenedTitle, msg::helpNotOpenedText(page));
}

void MainWindowLogic::listen() {
    const bool cli = flow_.advice() == Advice::CommandLine;
    Cwavfil* wave = flow_.waveFile();
    if (wave == nullptr) {
        notifier_.show(Severity::Warning, msg::kWaveMissingTitle,
                       cli ? msg::kWaveMissingCliText : msg::kWaveMissingText);
        return;
    }
    if (!wave->exists()) {
        notifier_.showFileProblem(Severity::Warning, msg::kWaveMissingTitle,
                                  cli ? msg::kWaveMissingCliText : msg::kWaveMissingText,
                                  file::problem(wave->name(), file::errorText(ENOENT)));
        return;
    }
    if (!wave->openrd()) {
        notifier_.show(Severity::Warning, msg::kInvalidWaveTitle,
                       cli ? msg::kInvalidWaveCliText : msg::kInvalidWaveText);
        return;
    }
    player_ = std::make_unique<WavePlayer>(*wave, device_);
    if (!player_->open(*this)) {
        player_.reset();
        wave->closeFile();
        notifier_.show(Severity::Warning, msg::kOutputBusyTitle, msg::kOutputBusyText);
        return;
    }
    lateReports_ = false;
    view_.setText(control::kListen, caption::kStop);
    view_.setEnabled(control::kConvert, false);
    view_.setEnabled(control::kBatch, false);
    view_.setEnabled(control::kChangeOutput, false);
    flow_.setRunState(RunState::Listening);
    view_.setAcceptDrops(false);
}

void MainWindowLogic::waveOutOpened() {
    if (!player_ || flow_.runState() != RunState::Listening)
        return; // the device opened after Stop: nothing to play any more
    view_.setProgress(0);
    player_->queueNext();
    player_->queueNext();
    // A file with nothing to play returns no buffer, so no report would end playback.
    if (player_->allDone())
        endPlayback();
}

void MainWindowLogic::waveOutDone(int buffer) {
    if (!player_ || flow_.runState() != RunState::Listening) {
        // A buffer that Stop's reset gave back. The first such report brings back the
        // controls Stop left disabled; none touches the file or the bar, which may belong
        // to a conversion by the time it comes.
        if (lateReports_) {
            lateReports_ = false;
            if (flow_.runState() == RunState::Idle)
                enableAfterPlayback();
        }
        return;
    }
    player_->bufferReturned(buffer);
    view_.setProgress(player_->progressPercent());
    player_->refill();
    if (player_->allDone())
        endPlayback();
}

void MainWindowLogic::endPlayback() {
    player_->release();
    player_.reset(); // it reads the WAVE file object, which the next command may replace
    if (Cwavfil* wave = flow_.waveFile())
        wave->closeFile();
    flow_.setRunState(RunState::Idle);
    view_.setAcceptDrops(true);
    view_.setText(control::kListen, caption::kListen);
    enableAfterPlayback();
}

void MainWindowLogic::enableAfterPlayback() {
    view_.setEnabled(control::kConvert, true);
    view_.setEnabled(control::kBatch, true);
    view_.setEnabled(control::kChangeOutput, true);
}

void MainWindowLogic::stopListening() {
    // The buffers at the device come back later, each with a report; with none there, no
    // report will come to enable the controls, so they are enabled now.
    const bool reportsPending = !player_->allDone();
    player_->release();
    player_.reset();
    if (Cwavfil* wave = flow_.waveFile())
        wave->closeFile();
    flow_.setRunState(RunState::Idle);
    view_.setAcceptDrops(true);
    view_.setProgress(0);
    view_.setText(control::kListen, caption::kListen);
    lateReports_ = reportsPending;
    if (!reportsPending)
        enableAfterPlayback();
}

void MainWindowLogic::close() {
    if (closed_)
        return;
    closed_ = true;
    flow_.closeWindow([this] {
        if (player_)
            player_->shutdown();
    });
}

} // namespace korvelt
