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
};

// Reads batch files: each line names a sound bank, an output WAVE file and a MIDI file,
// separated by spaces, with names holding spaces in double quotes. Empty lines and lines
// starting with ";" are skipped; carriage returns are dropped; the text ends at a zero byte.
// Lines longer than the path limit are rejected as a syntax error (a line cut into pieces
// would turn a file name into a different one).
class BatchFile {
public:
    // The longest line taken (three long file names must fit in it together).
    static constexpr std::size_t kMaxLine = 4095;

    explicit BatchFile(Notifier& notifier) : notifier_(notifier) {}

    // Parses the whole text; on the first bad line shows its message and returns false
    // (the jobs of the lines before it stay). `exists` tests whether a file exists.
    bool parse(std::string_view text, const std::function<bool(const std::string&)>& exists);
    // Reads three names from one line and appends the job; shows its message and returns
    // false when the line is bad.
    bool parseBatchLine(std::string line, unsigned lineNumber,
                        const std::function<bool(const std::string&)>& exists);

    const std::vector<BatchJob>& jobs() const noexcept { return jobs_; }
    void clear() noexcept { jobs_.clear(); }

    static const char* const kSyntaxHelp;

private:
    void error(const std::string& text);

    Notifier& notifier_;
    std::vector<BatchJob> jobs_;
};

} // namespace korvelt
