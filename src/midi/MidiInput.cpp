#include "midi/MidiInput.h"

#include "platform/File.h"

#include <algorithm>

namespace korvelt::midi_input {

bool skip(int fd, std::uint64_t n) noexcept {
    std::uint8_t sink[4096];
    while (n > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof sink));
        if (!file::readExact(fd, sink, piece))
            return false;
        n -= piece;
    }
    return true;
}

std::int64_t bytesLeft(int fd) noexcept {
    const std::int64_t size = file::size(fd);
    const std::int64_t pos = file::position(fd);
    if (size < 0 || pos < 0)
        return -1;
    return size > pos ? size - pos : 0;
}

void readUpTo(int fd, std::uint32_t n, std::vector<std::uint8_t>& out) {
    out.clear();
    if (n == 0)
        return;
    // A regular file says how much it has left: read that at once. Elsewhere (a pipe, a
    // device) read in growing pieces, so memory follows the bytes that really arrive.
    const std::int64_t left = bytesLeft(fd);
    std::size_t step = left > 0 ? static_cast<std::size_t>(std::min<std::int64_t>(n, left))
                                : std::min<std::size_t>(n, 64 * 1024);
    while (out.size() < n) {
        const std::size_t have = out.size();
        const std::size_t want = std::min<std::size_t>(n - have, step);
        out.resize(have + want);
        const std::int64_t got = file::read(fd, out.data() + have, want);
        const std::size_t arrived = got > 0 ? static_cast<std::size_t>(got) : 0;
        out.resize(have + arrived);
        if (arrived < want)
            break;
        step = std::max<std::size_t>(step, std::min<std::size_t>(out.size(), 16u << 20));
    }
}

} // namespace korvelt::midi_input
