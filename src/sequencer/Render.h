#pragma once

#include "sequencer/RenderJob.h"

#include <atomic>

namespace korvelt {

class Cmidfil;
class Csf2file;
class EffectsRack;
class FrameSink;
class Notifier;
struct RenderOptions;

// How a render ended. Whatever the outcome, the sink holds every frame made before the end
// and no voice of the render is left.
enum class RenderOutcome {
    Finished,    // the performance and its tail went to the sink
    Aborted,     // the abort flag was set (before the end)
    SinkFailed,  // the sink could take no more frames (a full disk)
    OutOfMemory, // memory ran out (a damaged bank asking for absurd numbers of voices)
};

// What a render reads and where it reports; everything is the caller's and must outlive the
// call.
struct RenderRequest {
    // A loaded bank. Renders may share it, and its sample store, at the same time.
    Csf2file& bank;
    // Read while the render runs: another thread may change them (the Options and Mixer
    // dialogs), and the render takes a new value when it next reads it.
    const RenderOptions& options;
    // Receives the finished frames; a sink that fails ends the render.
    FrameSink& sink;
    // The problems met in the MIDI and bank data (shown only when options.showMidiErrors is
    // on), each through Notifier::showDataProblem with its place: the channel at work and
    // the time in the performance. Called on the render's thread; nothing is printed.
    Notifier& messages;
    // Polled once per voice block (20 frames), per channel span and per run of effects
    // frames; set from any thread, it ends the render soon after.
    const std::atomic<bool>& abortRequested;
    // Called on the render's thread after every block of five seconds with the progress in
    // percent, and once more at the end (may be empty).
    RenderJob::Progress progress = {};
};

// Renders a MIDI file into the request's sink, standalone: a render job and an effects
// rack of its own are made for this call and go with it. Several calls may run at the same
// time on different threads with different sinks, sharing one bank.
RenderOutcome render(const Cmidfil& midi, const RenderRequest& request);

// Renders a job the caller keeps for repeated runs (the lists are built on its first run)
// through a rack the caller keeps (the desktop program holds one for its life). The rack is
// bound to the request's options and abort flag and configured for the run. A job and a
// rack serve one render at a time; different jobs and racks may render at the same time.
RenderOutcome render(RenderJob& job, EffectsRack& rack, const RenderRequest& request);

} // namespace korvelt
