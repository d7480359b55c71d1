#pragma once

#include "midi/Ctrack.h"
#include "platform/FileProblem.h"
#include "platform/MessageTexts.h"
#include "platform/NamedFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvelt {

class Notifier;

// A Standard MIDI file (".mid", ".midi", ".kar") read completely into memory: the header's
// format, track count and division, and one Ctrack per track chunk, in file order. Nothing
// is interpreted while reading; formats 0, 1 and 2 are read alike. Chunks of other types
// are skipped. A RIFF MIDI file (".rmi") is read as the Standard MIDI file in its "data"
// chunk.
class Cmidfil final : public NamedFile {
public:
    // Keeps the name; reads nothing yet. Read failures are shown through `notifier`, which
    // must outlive the object.
    Cmidfil(std::string name, Notifier& notifier);

    // Reads the whole file. On failure shows the reader's message(s), each titled "Error!"
    // with Severity::Error, the last one "Cmidfil::rdmidi\nError while reading midi file",
    // and returns false. Sets loaded() to the result. The tracks read before a failure stay
    // (the last of them holding the events read before the fault). When the file could not
    // be opened or read, or is not a Standard MIDI file at all, the last message carries
    // the file problem (the system's reason, or "not a Standard MIDI file").
    bool rdmidi();

    // True after a successful rdmidi().
    bool loaded() const noexcept { return loaded_; }
    // Why the last rdmidi() failed, when the file itself was the trouble (see rdmidi).
    const std::optional<FileProblem>& problem() const noexcept { return problem_; }

    static constexpr const char* kNotStandardMidi = msg::kNotStandardMidi;
    // The header's values (0 until a header was read).
    std::uint16_t format() const noexcept { return format_; }
    std::uint16_t trackCount() const noexcept { return trackCount_; }
    // Ticks per quarter note, as stored (a value with the top bit set is not special).
    std::uint16_t division() const noexcept { return division_; }

    // The tracks in file order: trackCount() of them after a successful read, fewer after
    // a failure.
    const std::vector<Ctrack>& tracks() const noexcept { return tracks_; }
    // Track i (0-based), or null when it was not read (i beyond a failure, or beyond the
    // track count).
    const Ctrack* track(std::size_t i) const noexcept {
        return i < tracks_.size() ? &tracks_[i] : nullptr;
    }

private:
    bool readContents(int fd);
    bool readSmf(midi_input::Input& in, const std::uint8_t (&tag)[4]);
    // Keeps the problem of a file that is not a MIDI file (or the system's reason, when
    // errno holds one) and returns false.
    bool notMidi();

    Notifier& notifier_;
    std::optional<FileProblem> problem_;
    std::uint16_t trackCount_ = 0;
    std::vector<Ctrack> tracks_;
    std::uint16_t division_ = 0;
    bool loaded_ = false;
    std::uint16_t format_ = 0;
};

} // namespace korvelt
