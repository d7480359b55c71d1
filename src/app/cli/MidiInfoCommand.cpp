#include "app/cli/Commands.h"

#include "midi/Cmidfil.h"
#include "platform/Notifier.h"

#include <algorithm>
#include <cstdio>

namespace korvelt::cli {

// Reads a MIDI file and prints its header values and, per track, how many events of
// each kind it holds and its last tick. A file that cannot be read gets the reader's
// messages on standard error and exit status 1.
int runMidiInfo(const std::string& path) {
    StderrNotifier notifier;
    Cmidfil midi(path, notifier);
    if (!midi.rdmidi())
        return kExitFailure;

    std::printf("format %u\ntracks %u\ndivision %u\n", unsigned{midi.format()},
                unsigned{midi.trackCount()}, unsigned{midi.division()});
    unsigned number = 0;
    for (const Ctrack& track : midi.tracks()) {
        unsigned long counts[3] = {0, 0, 0};
        std::int32_t lastTick = 0;
        for (const Cmidiev& event : track) {
            ++counts[event.kind()];
            lastTick = std::max(lastTick, event.tick());
        }
        std::printf("track %u: %lu channel, %lu sysex, %lu meta, last tick %ld\n", ++number,
                    counts[Cmidiev::kChannel], counts[Cmidiev::kSysex], counts[Cmidiev::kMeta],
                    static_cast<long>(lastTick));
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

} // namespace korvelt::cli
