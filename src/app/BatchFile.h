#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvelt {

class Notifier;

// One line of a batch file: convert `midiFile` with `soundBank` into `outputFile`.
struct BatchJob {
    std::string soundBank;
    std::string outputFile;
    std::string midiFile;
    unsigned line = 0; // its line number in the batch file
};

// Reads batch files: each line names a sound bank, an output WAVE file and a MIDI file,
// separated by spaces, with names holding spaces in double quotes. Empty lines and lines
// starting with ";" are skipped; carriage returns are dropped; the text ends at a zero byte.
// Lines longer than the path limit are rejected as a syntax error (a line cut into pieces
// would turn a file name into a different one). No job may write a file that a job of the
// batch reads: an output that is any job's sound bank or MIDI file is refused.
class BatchFile {
public:
    using Exists = std::function<bool(const std::string&)>;
    // Whether two names name the same file.
    using SameFile = std::function<bool(const std::string&, const std::string&)>;

    // The longest line taken (three long file names must fit in it together).
    static constexpr std::size_t kMaxLine = 4095;

    explicit BatchFile(Notifier& notifier) : notifier_(notifier) {}

    // Parses the whole text; on the first bad line shows its message and returns false
    // (the jobs of the lines before it stay). `exists` tests whether a file exists. Then,
    // when every line is good, checks each job's output against every job's inputs with
    // `sameFile` (equal names when it is empty); the first output that is an input is
    // refused with its message, and parse returns false.
    bool parse(std::string_view text, const Exists& exists, const SameFile& sameFile = {});
    // Reads three names from one line and appends the job; shows its message and returns
    // false when the line is bad.
    bool parseBatchLine(std::string line, unsigned lineNumber, const Exists& exists);

    const std::vector<BatchJob>& jobs() const noexcept { return jobs_; }
    void clear() noexcept { jobs_.clear(); }

    static const char* const kSyntaxHelp;

private:
    void error(const std::string& text);
    bool checkOutputs(const SameFile& sameFile);

    Notifier& notifier_;
    std::vector<BatchJob> jobs_;
};

} // namespace korvelt
