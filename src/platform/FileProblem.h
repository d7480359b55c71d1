#pragma once

#include <string>

namespace korvelt {

// A file operation that failed: the file's path as the user gave it, and why: the
// system's text for the error ("No such file or directory", "Permission denied") or what
// is wrong with the file's contents ("not a Standard MIDI file").
struct FileProblem {
    std::string path;
    std::string reason;

    // "PATH: REASON", the form every message shows it in.
    std::string line() const { return path + ": " + reason; }
    bool operator==(const FileProblem&) const = default;
};

} // namespace korvelt
