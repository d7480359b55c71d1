#pragma once

#include "app/RunState.h"
#include "sequencer/Render.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace korvelt {

class Cmidfil;
class Csf2file;
class Cwavfil;
class MainView;
class Notifier;
class RenderEngine;
class RenderJob;
class UiDispatcher;
struct Settings;

// The conversion between the user pressing Convert and the buttons coming back: the checks
// of the inputs in their order, loading the sound bank on demand, opening the WAVE file,
// the render on its own thread with its progress and finished reports, abort, closing the
// file, and the rescale or the master volume advice afterwards. It holds the window's
// activity state, the current files and the objects made for them.
//
// Everything here runs on the user-interface thread; the render thread reports through
// the UiDispatcher and waits while its reports are handled.
// Whose terms the advice in messages is given in: the desktop program's controls
// ("go to OPTIONS"), or the command line's options ("--master-volume").
enum class Advice { Desktop, CommandLine };

class ConversionFlow {
public:
    ConversionFlow(Settings& settings, Notifier& notifier, UiDispatcher& dispatcher, MainView& view,
                   RenderEngine& engine);
    // Stops and waits for a render still running.
    ~ConversionFlow();

    ConversionFlow(const ConversionFlow&) = delete;
    ConversionFlow& operator=(const ConversionFlow&) = delete;

    // The terms of the advice in messages (the desktop program's by default).
    void setAdvice(Advice advice) noexcept { advice_ = advice; }
    Advice advice() const noexcept { return advice_; }

    RunState runState() const noexcept { return runState_; }
    void setRunState(RunState state) noexcept { runState_ = state; }
    bool closing() const noexcept { return closing_; }

    const std::string& currentSoundBank() const noexcept { return currentSoundBank_; }
    const std::string& currentOutputFile() const noexcept { return currentOutputFile_; }
    const std::string& currentMidiFile() const noexcept { return currentMidiFile_; }
    bool bankIsCompressed() const noexcept { return bankIsCompressed_; }

    Csf2file* soundBank() const noexcept { return bank_.get(); }
    Cmidfil* midiFile() const noexcept { return midi_.get(); }
    Cwavfil* waveFile() const noexcept { return wave_.get(); }
    RenderJob* renderJob() const noexcept { return job_.get(); }

    // The current sound bank: the box shows `shownName` (the part after the last separator
    // when empty); the loaded bank goes, so the next conversion loads the new one.
    void setSoundBank(const std::string& path, bool compressed, const std::string& shownName = {});
    // The current output file, with a new WAVE file object for it (nothing is opened).
    void setOutputFile(const std::string& path);
    // The current MIDI file, read at once. On success a new render job, the mixer reset and
    // its channels labelled. On failure shows "Couldn't load MIDI file" (after the reader's
    // own messages) and forgets the path; the failed file object stays.
    bool loadMidiFile(const std::string& path);

    // Batch jobs: a fresh bank, MIDI file and WAVE file object, without messages of their
    // own. Each returns whether it succeeded.
    bool loadBankFresh();
    bool readMidiFile(const std::string& path);
    void replaceWaveFile(const std::string& path);
    void setPaths(const std::string& bank, bool compressed, const std::string& output,
                  const std::string& midi);
    // A new render job for the loaded MIDI file, the mixer reset and labelled.
    void prepareRenderJob();

    // The Convert command while idle: the checks in order, each with its message; then the
    // run starts. Returns whether the render thread was started.
    bool startConversion();
    // Empty when every frame the loaded MIDI file's render can write fits a WAVE file under
    // the current tempo option; otherwise the text of the message that refuses the render.
    std::string renderTooLongText() const;
    // Abort while converting (or ending a batch): sets the abort flag and waits for the
    // render thread's end while its reports are handled.
    void abort();
    // Starts the render thread for the current job, bank and WAVE file.
    void startRenderThread();
    // Waits for the render thread's end while its reports are handled. Should the
    // dispatcher be shut down meanwhile, the reports go unhandled: the thread is then
    // joined and the WAVE file closed without a report.
    void waitForRender();
    bool renderRunning() const noexcept { return renderRunning_; }

    // The close steps while a run is active: abort, mark closing, wait for the end.
    // `shutdownPlayer` stops playback when listening.
    void closeWindow(const std::function<void()>& shutdownPlayer);

    // The render thread's reports, handled on the user-interface thread.
    void onRenderProgress(int percent);
    void onRenderFinished();
    // After a render: rescale with the gain that brings the peak to full scale, or advise a
    // higher master volume, or report an empty file.
    void reportRenderResult();

    // Run when a render finishes while the state is Batch (the batch goes on from there).
    std::function<void()> batchContinuation;
    // A render whose WAVE file could not be written ends a batch as an abort would (unless
    // the batch keeps going past failing jobs).
    bool writeFailureEndsBatch = true;
    // Called when a render has ended, once its WAVE file is closed and its report shown
    // (lastOutcome() tells how it went), before the window goes idle or a batch goes on
    // with its next job.
    std::function<void()> renderFinishedHook;

    // How the last render ended, for the command line.
    struct Outcome {
        bool finished = false; // a render ran to its finished report
        bool aborted = false;  // the abort flag was set when it ended
        bool writeOk = false;  // every frame and the header reached the file
        bool rescaleOk = true; // no rescale, or a successful one
        int peak = 0;
        double seconds = 0.0;                           // audio length in the file
        RenderOutcome render = RenderOutcome::Finished; // as the render reported it
    };
    const Outcome& lastOutcome() const noexcept { return outcome_; }

    // Enables the idle controls, restores the Batch and Convert texts, accepts drops.
    void restoreIdleControls();

private:
    void renderThreadMain();
    void joinRetired();
    void warn(const char* title, const std::string& text);

    Settings& settings_;
    Notifier& notifier_;
    UiDispatcher& dispatcher_;
    MainView& view_;
    RenderEngine& engine_;

    RunState runState_ = RunState::Idle;
    Advice advice_ = Advice::Desktop;
    bool closing_ = false;
    std::string currentSoundBank_;
    std::string currentOutputFile_;
    std::string currentMidiFile_;
    bool bankIsCompressed_ = false;

    std::unique_ptr<Csf2file> bank_;
    std::unique_ptr<Cmidfil> midi_;
    std::unique_ptr<RenderJob> job_; // refers to midi_
    std::unique_ptr<Cwavfil> wave_;

    std::thread renderThread_;
    std::vector<std::thread> retired_; // render threads that have reported their end
    bool renderRunning_ = false;
    Outcome outcome_;
};

} // namespace korvelt
