#include "app/BatchFile.h"

#include "platform/MessageTexts.h"
#include "platform/Notifier.h"

#include <algorithm>
#include <unordered_map>

namespace korvelt {
namespace {

// Reads one file name from `line` at `pos`: skips spaces; a name in double quotes runs to
// the next quote (consumed) or the end of the line; any other name to the next space
// (consumed) or the end. Returns false for a name of no characters.
bool readName(const std::string& line, std::size_t& pos, std::string& name) {
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    name.clear();
    if (pos < line.size() && line[pos] == '"') {
        ++pos;
        const auto close = line.find('"', pos);
        const auto end = close == std::string::npos ? line.size() : close;
        name = line.substr(pos, end - pos);
        pos = close == std::string::npos ? line.size() : close + 1;
    } else {
        const auto space = line.find(' ', pos);
        const auto end = space == std::string::npos ? line.size() : space;
        name = line.substr(pos, end - pos);
        pos = space == std::string::npos ? line.size() : space + 1;
    }
    return !name.empty();
}

} // namespace

const char* const BatchFile::kSyntaxHelp = msg::kBatchSyntaxHelp;

void BatchFile::error(const std::string& text) {
    notifier_.show(Severity::Warning, msg::kBatchFileErrorTitle, text);
}

bool BatchFile::parseBatchLine(std::string line, unsigned lineNumber, const Exists& exists) {
    std::replace(line.begin(), line.end(), '\t', ' ');
    BatchJob job;
    std::size_t pos = 0;
    if (line.size() > kMaxLine || !readName(line, pos, job.soundBank) ||
        !readName(line, pos, job.outputFile) || !readName(line, pos, job.midiFile)) {
        error(msg::batchSyntaxErrorText(lineNumber));
        return false;
    }
    if (!exists(job.soundBank)) {
        error(msg::batchBankMissingText(lineNumber, job.soundBank));
        return false;
    }
    if (!exists(job.midiFile)) {
        error(msg::batchMidiMissingText(lineNumber, job.midiFile));
        return false;
    }
    job.line = lineNumber;
    jobs_.push_back(std::move(job));
    return true;
}

bool BatchFile::checkOutputs(const FileIdentity& identity) {
    auto identityOf = [&](const std::string& name) {
        return identity ? identity(name) : std::optional<std::string>(name);
    };
    // Every input file with the first job that reads it: one look-up per output instead of
    // a comparison with every input (a batch of many thousand jobs stays quick).
    struct Reader {
        const BatchJob* job;
        const char* what;
    };
    std::unordered_map<std::string, Reader> readers;
    for (const BatchJob& job : jobs_) {
        if (auto file = identityOf(job.soundBank))
            readers.try_emplace(std::move(*file), Reader{&job, msg::kBatchSoundBankFile});
        if (auto file = identityOf(job.midiFile))
            readers.try_emplace(std::move(*file), Reader{&job, msg::kBatchMidiFile});
    }
    for (const BatchJob& writer : jobs_) {
        const auto file = identityOf(writer.outputFile);
        const auto reader = file ? readers.find(*file) : readers.end();
        if (reader != readers.end()) {
            error(msg::batchOverwritesText(writer.line, writer.outputFile, reader->second.what,
                                           reader->second.job->line));
            return false;
        }
    }
    return true;
}

bool BatchFile::parse(std::string_view text, const Exists& exists, const FileIdentity& identity) {
    jobs_.clear();
    const auto zero = text.find('\0');
    if (zero != std::string_view::npos)
        text = text.substr(0, zero);
    unsigned lineNumber = 1;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto newline = text.find('\n', pos);
        const auto end = newline == std::string_view::npos ? text.size() : newline;
        std::string line;
        line.reserve(end - pos);
        for (char c : text.substr(pos, end - pos))
            if (c != '\r')
                line += c;
        pos = newline == std::string_view::npos ? text.size() : newline + 1;
        if (!line.empty() && line[0] != ';' && !parseBatchLine(line, lineNumber, exists))
            return false;
        ++lineNumber;
    }
    return checkOutputs(identity);
}

} // namespace korvelt
