#include "midi/Cmidfil.h"

#include "midi/MidiInput.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace korvelt {

Cmidfil::Cmidfil(std::string name, Notifier& notifier)
    : NamedFile(std::move(name)), notifier_(notifier) {}

bool Cmidfil::rdmidi() {
    tracks_.clear();
    format_ = trackCount_ = division_ = 0;
    problem_.reset();

    bool result = false;
    handle_ = file::openRead(name());
    if (handle_ < 0) {
        problem_ = file::problem(name(), kNotStandardMidi);
    } else {
        try {
            result = readContents(handle_);
        } catch (const std::bad_alloc&) {
            result = false; // a file too large for the memory at hand
            problem_ = FileProblem{name(), file::errorText(ENOMEM)};
        }
    }
    closeHandle();

    loaded_ = result;
    if (!result) {
        const char* text = msg::kMidiReadFailed;
        if (problem_)
            notifier_.showFileProblem(Severity::Error, msg::kErrorTitle, text, *problem_);
        else
            notifier_.show(Severity::Error, msg::kErrorTitle, text);
    }
    return result;
}

bool Cmidfil::notMidi() {
    problem_ = file::problem(name(), kNotStandardMidi);
    return false;
}

bool Cmidfil::readContents(int fd) {
    midi_input::Input file(fd);
    std::uint8_t tag[4];
    if (!file.readExact(tag, sizeof tag))
        return notMidi();
    if (std::memcmp(tag, "RIFF", 4) != 0)
        return readSmf(file, tag);

    // A RIFF MIDI file (".rmi"): "RIFF", the chunk's size, "RMID", then chunks of a 4-byte
    // type and a little-endian size, each padded to an even length. The "data" chunk holds
    // the Standard MIDI file, which is read within that chunk; the chunks before it are
    // skipped. Every chunk must lie within the RIFF chunk's size. A RIFF file that is not
    // one of these is not a MIDI file at all.
    std::uint8_t riff[8];
    if (!file.readExact(riff, sizeof riff))
        return notMidi();
    errno = 0; // from here on a failed check is the contents', not the system's
    if (std::memcmp(riff + 4, "RMID", 4) != 0)
        return notMidi();
    const std::uint32_t riffSize = midi_input::littleEndian32(riff);
    if (riffSize < 4)
        return notMidi();
    std::uint64_t left = riffSize - 4u; // the RIFF chunk's bytes after "RMID"
    for (;;) {
        std::uint8_t head[8];
        errno = 0;
        if (left < sizeof head || !file.readExact(head, sizeof head))
            return notMidi();
        left -= sizeof head;
        const std::uint32_t size = midi_input::littleEndian32(head + 4);
        if (size > left)
            return notMidi();
        if (std::memcmp(head, "data", 4) == 0) {
            midi_input::Input data(fd, size);
            if (!data.readExact(tag, sizeof tag))
                return notMidi();
            return readSmf(data, tag);
        }
        // The pad byte of the last chunk may be missing from the RIFF size.
        const std::uint64_t padded = std::min<std::uint64_t>(size + (size & 1u), left);
        if (!file.skip(padded))
            return notMidi();
        left -= padded;
    }
}

// The header chunk, from after its tag: "MThd", its length L (at least the 6 bytes of
// format, track count and division; the L - 6 bytes after them are skipped), then exactly
// track-count "MTrk" chunks, chunks of other types among them skipped. A header that is
// cut short or too short fails without a message of its own: the file is not a Standard
// MIDI file (or could not be read, which the system's reason tells).
bool Cmidfil::readSmf(midi_input::Input& in, const std::uint8_t (&tag)[4]) {
    std::uint8_t head[10];
    errno = 0;
    if (std::memcmp(tag, "MThd", 4) != 0 || !in.readExact(head, sizeof head))
        return notMidi();
    const std::uint32_t length = midi_input::bigEndian32(head);
    if (length < 6) {
        errno = 0;
        return notMidi();
    }
    format_ = midi_input::bigEndian16(head + 4);
    trackCount_ = midi_input::bigEndian16(head + 6);
    division_ = midi_input::bigEndian16(head + 8);
    errno = 0;
    if (!in.skip(length - 6u))
        return notMidi();

    // Each track takes at least its 8-byte chunk head: a count the file cannot hold
    // reserves no more than the file could.
    const std::int64_t left = in.bytesLeft();
    if (left >= 0)
        tracks_.reserve(static_cast<std::size_t>(std::min<std::int64_t>(trackCount_, left / 8)));

    std::vector<std::uint8_t> scratch;
    for (unsigned i = 0; i < trackCount_; ++i) {
        Ctrack& track = tracks_.emplace_back();
        if (!track.rdmidi(in, scratch, notifier_))
            return false;
    }
    return true;
}

} // namespace korvelt
