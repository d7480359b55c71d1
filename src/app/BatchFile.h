#pragma once

#include <functional>
#include <optional>
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
    // What a name stands for: two names with the same identity name the same file. None for
    // a name that is no other name's file (one that does not exist).
    using FileIdentity = std::function<std::optional<std::string>(const std::string&)>;

    // The longest line taken (three long file names must fit in it together).
    static constexpr std::size_t kMaxLine = 4095;

    explicit BatchFile(Notifier& notifier) : notifier_(notifier) {}

    // Parses the whole text; on the first bad line shows its message and returns false
    // (the jobs of the lines before it stay). `exists` tests whether a file exists. Then,
    // when every line is good, checks each job's output against every job's inputs by their
    // `identity` (the name itself when it is empty): the first output (in job order) that is
    // an input is refused with its message, naming the first job that reads it (its sound
    // bank before its MIDI file), and parse returns false. The check takes time in
    // proportion to the number of jobs, however many there are.
    bool parse(std::string_view text, const Exists& exists, const FileIdentity& identity = {});
    // Reads three names from one line and appends the job; shows its message and returns
    // false when the line is bad.
    bool parseBatchLine(std::string line, unsigned lineNumber, const Exists& exists);

    const std::vector<BatchJob>& jobs() const noexcept { return jobs_; }
    void clear() noexcept { jobs_.clear(); }

    static const char* const kSyntaxHelp;

private:
    void error(const std::string& text);
    bool checkOutputs(const FileIdentity& identity);

    Notifier& notifier_;
    std::vector<BatchJob> jobs_;
};

} // namespace korvelt
