#include "app/ConversionFlow.h"

#include "app/ControlIds.h"
#include "app/MainView.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/UiDispatcher.h"
#include "audio/Cwavfil.h"
#include "bank/Ccompsf.h"
#include "bank/Csf2file.h"
#include "midi/Cmidfil.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "platform/Path.h"
#include "sequencer/ProgramNames.h"
#include "sequencer/Render.h"
#include "sequencer/RenderJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korvelt {
namespace {

// The highest master volume the options take.
constexpr int kMaxMasterVolumeDb = 20;

std::string formatText(const char* format, const std::string& value) {
    const int n = std::snprintf(nullptr, 0, format, value.c_str());
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    std::snprintf(text.data(), text.size() + 1, format, value.c_str());
    return text;
}

// "388 hours 21 minutes", "6 hours 35 minutes": whole minutes, rounded down.
std::string hoursAndMinutes(double seconds) {
    const double minutes = std::floor(seconds / 60.0);
    const double hours = std::floor(minutes / 60.0);
    const double rest = minutes - hours * 60.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.0f hour%s %.0f minute%s", hours, hours == 1.0 ? "" : "s",
                  rest, rest == 1.0 ? "" : "s");
    return text;
}

std::unique_ptr<Csf2file> makeBank(const std::string& path, bool compressed, Notifier& notifier,
                                   SampleStore& store) {
    if (compressed)
        return std::make_unique<Ccompsf>(path, notifier, store);
    return std::make_unique<Csf2file>(path, notifier, store);
}

} // namespace

ConversionFlow::ConversionFlow(Settings& settings, Notifier& notifier, UiDispatcher& dispatcher,
                               MainView& view, RenderEngine& engine)
    : settings_(settings), notifier_(notifier), dispatcher_(dispatcher), view_(view),
      engine_(engine) {}

ConversionFlow::~ConversionFlow() {
    if (renderRunning_) {
        engine_.abortRequested = true;
        closing_ = true;
        waitForRender();
    }
    joinRetired();
}

void ConversionFlow::warn(const char* title, const std::string& text) {
    notifier_.show(Severity::Warning, title, text);
}

void ConversionFlow::setSoundBank(const std::string& path, bool compressed,
                                  const std::string& shownName) {
    currentSoundBank_ = path::limit(path);
    bankIsCompressed_ = compressed;
    view_.setText(control::kSoundBankName,
                  shownName.empty() ? path::fileName(currentSoundBank_) : shownName);
    bank_.reset();
}

void ConversionFlow::setOutputFile(const std::string& path) {
    currentOutputFile_ = path::limit(path);
    view_.setText(control::kOutputFileName, path::fileName(currentOutputFile_));
    wave_ = std::make_unique<Cwavfil>(currentOutputFile_, notifier_);
}

bool ConversionFlow::readMidiFile(const std::string& path) {
    job_.reset(); // it refers to the MIDI file about to go
    midi_ = std::make_unique<Cmidfil>(path, notifier_);
    return midi_->rdmidi();
}

void ConversionFlow::prepareRenderJob() {
    job_ = std::make_unique<RenderJob>(*midi_);
    settings_.resetMixer();
    settings_.channelLabels = channelLabels(*midi_);
}

bool ConversionFlow::loadMidiFile(const std::string& path) {
    currentMidiFile_ = path::limit(path);
    view_.setText(control::kMidiFileName, path::fileName(currentMidiFile_));
    if (readMidiFile(currentMidiFile_)) {
        prepareRenderJob();
        return true;
    }
    warn(msg::kMidiLoadFailedTitle,
         advice_ == Advice::CommandLine ? msg::kMidiLoadFailedCliText : msg::kMidiLoadFailedText);
    currentMidiFile_.clear();
    return false;
}

void ConversionFlow::setPaths(const std::string& bank, bool compressed, const std::string& output,
                              const std::string& midi) {
    currentSoundBank_ = path::limit(bank);
    bankIsCompressed_ = compressed;
    view_.setText(control::kSoundBankName, path::fileName(currentSoundBank_));
    currentOutputFile_ = path::limit(output);
    view_.setText(control::kOutputFileName, path::fileName(currentOutputFile_));
    currentMidiFile_ = path::limit(midi);
    view_.setText(control::kMidiFileName, path::fileName(currentMidiFile_));
}

bool ConversionFlow::loadBankFresh() {
    bank_.reset();
    bank_ = makeBank(currentSoundBank_, bankIsCompressed_, notifier_, engine_.store);
    bank_->rdfile();
    return bank_->loaded();
}

void ConversionFlow::replaceWaveFile(const std::string& path) {
    wave_ = std::make_unique<Cwavfil>(path, notifier_);
}

bool ConversionFlow::startConversion() {
    if (runState_ != RunState::Idle)
        return false;
    joinRetired();
    if (!midi_) {
        warn(msg::kNoMidiTitle, msg::kNoMidiText);
        return false;
    }
    if (!midi_->loaded() || !job_) {
        warn(msg::kMidiNotLoadedTitle, msg::kMidiNotLoadedText);
        return false;
    }
    if (!bank_) {
        // A bank that exists, loaded or failed, is not read again.
        bank_ = makeBank(currentSoundBank_, bankIsCompressed_, notifier_, engine_.store);
        bank_->rdfile();
    }
    const bool cli = advice_ == Advice::CommandLine;
    if (!bank_->loaded()) {
        if (!file::exists(currentSoundBank_))
            warn(msg::kBankMissingTitle, cli ? msg::kBankMissingCliText : msg::kBankMissingText);
        else
            warn(msg::kBankUnreadableTitle,
                 cli ? msg::kBankUnreadableCliText : msg::kBankUnreadableText);
        return false;
    }
    if (file::sameFile(currentOutputFile_, midi_->name())) {
        warn(msg::kOutputIsMidiTitle,
             formatText(cli ? msg::kOutputIsMidiCliFormat : msg::kOutputIsMidiFormat,
                        currentOutputFile_));
        return false;
    }
    if (file::sameFile(currentOutputFile_, bank_->name())) {
        warn(msg::kOutputIsBankTitle,
             formatText(cli ? msg::kOutputIsBankCliFormat : msg::kOutputIsBankFormat,
                        currentOutputFile_));
        return false;
    }
    if (const std::string tooLong = renderTooLongText(); !tooLong.empty()) {
        warn(msg::kTooLongTitle, tooLong);
        return false;
    }
    if (!wave_)
        wave_ = std::make_unique<Cwavfil>(currentOutputFile_, notifier_);
    if (!wave_->openwr()) {
        warn(msg::kWaveNotCreatedTitle, msg::kWaveNotCreatedText);
        return false;
    }
    runState_ = RunState::Converting;
    view_.setAcceptDrops(false);
    engine_.abortRequested = false;
    view_.setProgress(1);
    view_.setText(control::kConvert, caption::kAbort);
    view_.setEnabled(control::kBatch, false);
    view_.setEnabled(control::kListen, false);
    view_.setEnabled(control::kLoadMidi, false);
    view_.setEnabled(control::kChangeSoundBank, false);
    view_.setEnabled(control::kChangeOutput, false);
    startRenderThread();
    return true;
}

std::string ConversionFlow::renderTooLongText() const {
    if (!job_)
        return {};
    const int percent = settings_.render.tempoPercent;
    if (job_->plannedFrames(percent) <= Cwavfil::kMaxFrames)
        return {};
    // The longest performance whose run fits (about 6 hours 35 minutes).
    const double longest =
        double(Cwavfil::kMaxFrames - RenderJob::kTailAllowance) / Cwavfil::kSampleRate;
    char text[512];
    std::snprintf(text, sizeof text,
                  advice_ == Advice::CommandLine ? msg::kTooLongCliFormat : msg::kTooLongFormat,
                  hoursAndMinutes(job_->plannedDuration(percent) * 1e-6).c_str(),
                  hoursAndMinutes(longest).c_str());
    return text;
}

void ConversionFlow::abort() {
    engine_.abortRequested = true;
    waitForRender();
}

void ConversionFlow::startRenderThread() {
    // Called from a finished report too (the next batch job), while the thread that sent
    // the report still waits for it: that thread is only retired here, never joined.
    if (renderThread_.joinable())
        retired_.push_back(std::move(renderThread_));
    renderRunning_ = true;
    outcome_ = Outcome{};
    renderThread_ = std::thread([this] { renderThreadMain(); });
}

void ConversionFlow::renderThreadMain() {
    const RenderOutcome result = render(
        *job_, engine_.rack,
        RenderRequest{*bank_, settings_.render, *wave_, notifier_, engine_.abortRequested,
                      [this](int percent) {
                          dispatcher_.invokeAndWait([this, percent] { onRenderProgress(percent); });
                      }});
    outcome_.render = result;
    if (result == RenderOutcome::OutOfMemory) {
        // Memory ran out (a damaged bank asking for absurd numbers of voices or zones): the
        // render ended like an abort, and says why.
        engine_.abortRequested = true;
        notifier_.show(Severity::Error, msg::kErrorTitle, msg::kRenderOutOfMemory);
    }
    dispatcher_.invokeAndWait([this] { onRenderFinished(); });
}

void ConversionFlow::waitForRender() {
    dispatcher_.processUntil([this] { return !renderRunning_; });
    if (renderRunning_) {
        // The dispatcher has been shut down (the window is going): the render thread's
        // reports now return without being handled, so the thread runs to its end by
        // itself. It must end before the bank, the job and the file it uses go; the file
        // is then closed here, without a report, so its header matches what was written.
        if (renderThread_.joinable())
            renderThread_.join();
        renderRunning_ = false;
        if (wave_)
            wave_->close();
    }
    joinRetired();
}

void ConversionFlow::joinRetired() {
    // Only called outside the render thread's reports: every retired thread has had its
    // finished report handled and is at most returning.
    for (auto& t : retired_)
        if (t.joinable())
            t.join();
    retired_.clear();
}

void ConversionFlow::closeWindow(const std::function<void()>& shutdownPlayer) {
    if (runState_ == RunState::Listening && shutdownPlayer)
        shutdownPlayer();
    if (runState_ == RunState::Converting || runState_ == RunState::Batch) {
        engine_.abortRequested = true;
        closing_ = true;
    }
    if (renderRunning_)
        waitForRender();
}

void ConversionFlow::onRenderProgress(int percent) {
    // The bar's range is 0 to 100, and a piece shorter than one block reports more than
    // 100 after it; 0 shows as 1 so that a started run never looks idle.
    if (runState_ == RunState::Converting)
        view_.setProgress(std::clamp(percent, 1, 100));
}

void ConversionFlow::onRenderFinished() {
    renderRunning_ = false;
    // Threads retired before this one have finished their reports long ago; the one that
    // sends this report waits for it and is joined later.
    joinRetired();
    if (renderThread_.joinable())
        retired_.push_back(std::move(renderThread_));
    outcome_.finished = true;
    outcome_.aborted = engine_.abortRequested;
    if (!wave_)
        return;
    outcome_.writeOk = wave_->close();
    outcome_.peak = wave_->peak();
    outcome_.seconds = double(wave_->frames()) / Cwavfil::kSampleRate;
    if (!closing_) {
        if (outcome_.writeOk) {
            reportRenderResult();
        } else {
            warn(msg::kWaveNotWrittenTitle, msg::kWaveNotWrittenText);
            // A disk that cannot take this job's file ends a batch as an abort would.
            if (writeFailureEndsBatch)
                engine_.abortRequested = true;
        }
    }
    if (renderFinishedHook)
        renderFinishedHook();
    if (runState_ == RunState::Batch && batchContinuation) {
        batchContinuation();
    } else {
        runState_ = RunState::Idle;
        restoreIdleControls();
    }
}

void ConversionFlow::restoreIdleControls() {
    view_.setAcceptDrops(true);
    view_.setEnabled(control::kBatch, true);
    view_.setEnabled(control::kConvert, true);
    view_.setEnabled(control::kListen, true);
    view_.setEnabled(control::kLoadMidi, true);
    view_.setEnabled(control::kChangeSoundBank, true);
    view_.setEnabled(control::kChangeOutput, true);
    view_.setText(control::kBatch, caption::kBatch);
    view_.setText(control::kConvert, caption::kConvert);
}

void ConversionFlow::reportRenderResult() {
    const int peak = wave_->peak();
    if (peak <= 0) {
        if (runState_ == RunState::Converting)
            warn(msg::kWaveEmptyTitle, advice_ == Advice::Desktop ? msg::kWaveEmptyText
                                       : settings_.render.showMidiErrors
                                           ? msg::kWaveEmptyShownCliText
                                           : msg::kWaveEmptyCliText);
        return;
    }
    const int factor = 33553408 / peak; // 32767 x 1024: the gain to full scale, in 1/1024
    if (settings_.rescaleOutput) {
        if (factor <= 1024)
            return; // within 1/1024 of full scale already
        if (!wave_->rescale(factor)) {
            outcome_.rescaleOk = false;
            // A failed rename has shown nothing yet: this message names the file.
            if (wave_->problem() && !wave_->problemShown())
                notifier_.showFileProblem(Severity::Warning, msg::kRescaleFailedTitle,
                                          msg::kRescaleFailedText, *wave_->problem());
            else
                warn(msg::kRescaleFailedTitle, msg::kRescaleFailedText);
        }
        return;
    }
    const int dB = static_cast<int>(20.0 * std::log10(32767.0 / peak));
    if (dB <= 0 || runState_ == RunState::Batch)
        return;
    char text[256];
    if (advice_ == Advice::CommandLine) {
        // The option takes the level itself: the one that gains the headroom, as far as
        // the option goes.
        const int current = settings_.render.masterVolumeDb;
        const int level = std::min(current + dB, kMaxMasterVolumeDb);
        if (level <= current)
            return;
        std::snprintf(text, sizeof text, msg::kAdjustVolumeCliFormat, level);
    } else {
        std::snprintf(text, sizeof text, msg::kAdjustVolumeFormat, static_cast<unsigned>(dB));
    }
    warn(msg::kAdjustVolumeTitle, text);
}

} // namespace korvelt
