#include "app/BatchFlow.h"

#include "app/ControlIds.h"
#include "app/ConversionFlow.h"
#include "app/MainView.h"
#include "app/RenderEngine.h"
#include "audio/Cwavfil.h"
#include "bank/Csf2file.h"
#include "midi/Cmidfil.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "platform/Path.h"

#include <cerrno>
#include <optional>

namespace korvelt {
namespace {

// Why a file could not be used, for a job's failure: the reader's problem when it has one.
std::string reasonOf(const std::optional<FileProblem>& problem, const std::string& otherwise) {
    return problem ? problem->line() : otherwise;
}

} // namespace

BatchFlow::BatchFlow(ConversionFlow& flow, MainView& view, Notifier& notifier, RenderEngine& engine,
                     std::string startupDirectory)
    : flow_(flow), view_(view), notifier_(notifier), engine_(engine),
      startupDirectory_(std::move(startupDirectory)), file_(notifier) {
    flow_.batchContinuation = [this] { continueBatch(); };
}

void BatchFlow::setKeepGoing(bool keepGoing) {
    keepGoing_ = keepGoing;
    flow_.writeFailureEndsBatch = !keepGoing;
}

void BatchFlow::command() {
    if (flow_.runState() == RunState::Batch) {
        // Abort: the render's end is then handled like a single conversion's.
        flow_.setRunState(RunState::Converting);
        flow_.abort();
        current_ = -1;
        return;
    }
    if (flow_.runState() != RunState::Idle)
        return;
    FileDialogRequest request;
    request.filter = "Batch Files (*.txt)|*.txt|All Files (*.*)|*";
    request.defaultExtension = ".txt";
    request.startDirectory = startupDirectory_;
    auto choice = view_.chooseFile(request);
    if (choice)
        run(choice->path);
}

void BatchFlow::batchFileError(const std::string& text, const FileProblem& problem) {
    notifier_.showFileProblem(Severity::Warning, msg::kBatchFileErrorTitle, text, problem);
}

bool BatchFlow::run(const std::string& path) {
    if (flow_.runState() != RunState::Idle)
        return false;
    const bool cli = flow_.advice() == Advice::CommandLine;
    int fd = file::openRead(path);
    if (fd < 0) {
        batchFileError(cli ? msg::kBatchOpenFailedCliText : msg::kBatchOpenFailedText,
                       file::problem(path, ""));
        return false;
    }
    // A batch file is a list of names; one larger than any such list is not read into
    // memory at all.
    const std::int64_t length = file::size(fd);
    const bool fits = length >= 0 && length <= kMaxFileBytes;
    std::string text(fits ? static_cast<std::size_t>(length) : 0, '\0');
    if (!fits)
        errno = EFBIG;
    const bool complete = fits && file::readExact(fd, text.data(), text.size());
    const FileProblem problem = file::problem(path, msg::kBatchFileCutShort);
    file::close(fd);
    if (!complete) {
        batchFileError(cli ? msg::kBatchReadFailedCliText : msg::kBatchReadFailedText, problem);
        return false;
    }
    // With keep-going a missing file fails its job instead of the whole batch.
    const bool parsed = file_.parse(
        text, [this](const std::string& p) { return keepGoing_ || file::exists(p); },
        [](const std::string& p) { return file::identity(p); });
    if (!parsed || file_.jobs().empty())
        return false;

    jobsDone_ = 0;
    current_ = 0;
    failures_.clear();
    view_.setText(control::kBatch, caption::kAbort);
    view_.setEnabled(control::kListen, false);
    view_.setEnabled(control::kConvert, false);
    view_.setEnabled(control::kLoadMidi, false);
    view_.setEnabled(control::kChangeSoundBank, false);
    view_.setEnabled(control::kChangeOutput, false);
    flow_.setRunState(RunState::Batch);
    view_.setAcceptDrops(false);
    engine_.abortRequested = false;
    view_.setProgress(1);
    startBatchJob();
    return true;
}

void BatchFlow::jobError(const std::string& text, const std::string& reason) {
    notifier_.show(Severity::Warning, msg::kBatchErrorTitle, text);
    failures_.push_back({current_, reason});
}

bool BatchFlow::tryStartJob() {
    const BatchJob& job = file_.jobs()[static_cast<std::size_t>(current_)];
    const bool compressed = path::equalsIgnoreCase(path::extension(job.soundBank), ".csf");
    flow_.setPaths(job.soundBank, compressed, job.outputFile, job.midiFile);
    // Every job reads its bank afresh, even the bank of the job before.
    if (!flow_.loadBankFresh()) {
        jobError(msg::kBatchBankFailedText,
                 reasonOf(flow_.soundBank()->problem(), msg::jobBankFailedReason(job.soundBank)));
        return false;
    }
    if (!flow_.readMidiFile(flow_.currentMidiFile())) {
        jobError(msg::kBatchMidiFailedText,
                 reasonOf(flow_.midiFile()->problem(), msg::jobMidiFailedReason(job.midiFile)));
        return false;
    }
    // The loaded file gets its render job and mixer labels at once: should its output not
    // open, the window still holds a loaded MIDI file that Convert can render.
    flow_.prepareRenderJob();
    if (const std::string tooLong = flow_.renderTooLongText(); !tooLong.empty()) {
        jobError(tooLong, msg::jobTooLongReason(job.midiFile));
        return false;
    }
    flow_.replaceWaveFile(flow_.currentOutputFile());
    if (!flow_.waveFile()->openwr()) {
        jobError(msg::kBatchWaveFailedText, reasonOf(flow_.waveFile()->problem(),
                                                     msg::jobWaveNotCreatedReason(job.outputFile)));
        return false;
    }
    flow_.startRenderThread();
    return true;
}

void BatchFlow::startBatchJob() {
    while (!tryStartJob()) {
        if (!keepGoing_ || current_ + 1 >= jobCount() || engine_.abortRequested) {
            endBatch();
            return;
        }
        ++current_;
        ++jobsDone_;
        const int percent = jobsDone_ * 100 / jobCount();
        view_.setProgress(percent == 0 ? 1 : percent);
    }
}

void BatchFlow::continueBatch() {
    // The job just rendered: a file that did not reach the disk whole, or could not be
    // rescaled, failed.
    const ConversionFlow::Outcome& outcome = flow_.lastOutcome();
    if (!outcome.writeOk || !outcome.rescaleOk) {
        const Cwavfil* wave = flow_.waveFile();
        const std::string what = outcome.writeOk
                                     ? msg::jobWaveNotRescaledReason(flow_.currentOutputFile())
                                     : msg::jobWaveNotWrittenReason(flow_.currentOutputFile());
        failures_.push_back(
            {current_, reasonOf(wave != nullptr ? wave->problem() : std::nullopt, what)});
    }
    ++current_;
    if (current_ < jobCount() && !engine_.abortRequested) {
        ++jobsDone_;
        const int percent = jobsDone_ * 100 / jobCount();
        view_.setProgress(percent == 0 ? 1 : percent);
        startBatchJob();
        return;
    }
    endBatch();
}

void BatchFlow::endBatch() {
    current_ = -1;
    view_.setText(control::kBatch, caption::kBatch);
    view_.setEnabled(control::kListen, true);
    view_.setEnabled(control::kConvert, true);
    view_.setEnabled(control::kLoadMidi, true);
    view_.setEnabled(control::kChangeSoundBank, true);
    view_.setEnabled(control::kChangeOutput, true);
    flow_.setRunState(RunState::Idle);
    view_.setAcceptDrops(true);
    view_.setProgress(0);
}

} // namespace korvelt
