#include "midi/Cmidfil.h"

#include "midi/MidiInput.h"
#include "platform/File.h"
#include "platform/Notifier.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace korvelt {

Cmidfil::Cmidfil(std::string name, Notifier& notifier)
    : NamedFile(std::move(name)), notifier_(notifier) {}

bool Cmidfil::rdmidi() {
    tracks_.clear();
    format_ = trackCount_ = division_ = 0;

    bool result = false;
    handle_ = file::openRead(name());
    if (handle_ >= 0) {
        try {
            result = readContents(handle_);
        } catch (const std::bad_alloc&) {
            result = false; // a file too large for the memory at hand
        }
    }
    closeHandle();

    loaded_ = result;
    if (!result)
        notifier_.show(Severity::Error, "Error!", "Cmidfil::rdmidi\nError while reading midi file");
    return result;
}

// The header chunk: "MThd", its length L (at least the 6 bytes of format, track count and
// division; the L - 6 bytes after them are skipped), then exactly track-count "MTrk"
// chunks. A header that is cut short or too short fails without a message of its own.
bool Cmidfil::readContents(int fd) {
    std::uint8_t head[14];
    if (!file::readExact(fd, head, sizeof head) || std::memcmp(head, "MThd", 4) != 0)
        return false;
    const std::uint32_t length = midi_input::bigEndian32(head + 4);
    if (length < 6)
        return false;
    format_ = midi_input::bigEndian16(head + 8);
    trackCount_ = midi_input::bigEndian16(head + 10);
    division_ = midi_input::bigEndian16(head + 12);
    if (!midi_input::skip(fd, length - 6u))
        return false;

    // Each track takes at least its 8-byte chunk head: a count the file cannot hold
    // reserves no more than the file could.
    const std::int64_t left = midi_input::bytesLeft(fd);
    if (left >= 0)
        tracks_.reserve(static_cast<std::size_t>(std::min<std::int64_t>(trackCount_, left / 8)));

    std::vector<std::uint8_t> scratch;
    for (unsigned i = 0; i < trackCount_; ++i) {
        Ctrack& track = tracks_.emplace_back();
        if (!track.rdmidi(fd, scratch, notifier_))
            return false;
    }
    return true;
}

} // namespace korvelt
