#include "midi/MidiInput.h"

#include "platform/File.h"

#include <algorithm>
#include <cerrno>

namespace korvelt::midi_input {

bool Input::readExact(void* buffer, std::size_t n) noexcept {
    if (n > left_) {
        errno = 0; // the limit ends the bytes as the end of a file would
        return false;
    }
    if (!file::readExact(fd_, buffer, n))
        return false;
    left_ -= n;
    return true;
}

bool Input::skip(std::uint64_t n) noexcept {
    // A length beyond what is known to be left fails at once, without reading it all.
    const std::int64_t left = bytesLeft();
    if (n > left_ || (left >= 0 && n > static_cast<std::uint64_t>(left))) {
        errno = 0;
        return false;
    }
    std::uint8_t sink[4096];
    while (n > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n, sizeof sink));
        if (!readExact(sink, piece))
            return false;
        n -= piece;
    }
    return true;
}

std::int64_t Input::bytesLeft() const noexcept {
    const std::int64_t size = file::size(fd_);
    const std::int64_t pos = file::position(fd_);
    if (size < 0 || pos < 0)
        return left_ == kNoLimit
                   ? -1
                   : static_cast<std::int64_t>(std::min<std::uint64_t>(left_, INT64_MAX));
    const std::uint64_t inFile = size > pos ? static_cast<std::uint64_t>(size - pos) : 0;
    return static_cast<std::int64_t>(std::min(inFile, left_));
}

void Input::readUpTo(std::uint32_t n, std::vector<std::uint8_t>& out) {
    out.clear();
    n = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left_));
    if (n == 0)
        return;
    // A regular file says how much it has left: read that at once. Elsewhere (a pipe, a
    // device) read in growing pieces, so memory follows the bytes that really arrive.
    const std::int64_t left = bytesLeft();
    std::size_t step = left > 0 ? static_cast<std::size_t>(std::min<std::int64_t>(n, left))
                                : std::min<std::size_t>(n, 64 * 1024);
    while (out.size() < n) {
        const std::size_t have = out.size();
        const std::size_t want = std::min<std::size_t>(n - have, step);
        out.resize(have + want);
        const std::int64_t got = file::read(fd_, out.data() + have, want);
        const std::size_t arrived = got > 0 ? static_cast<std::size_t>(got) : 0;
        out.resize(have + arrived);
        left_ -= arrived;
        if (arrived < want)
            break;
        step = std::max<std::size_t>(step, std::min<std::size_t>(out.size(), 16u << 20));
    }
}

} // namespace korvelt::midi_input
