// The batch-file parser (BatchFile): any text, as the batch flow hands it over once the
// file is read.

#include "FuzzSupport.h"
#include "app/BatchFile.h"
#include "platform/Notifier.h"

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace korvelt;
using fuzz::require;

class CountingNotifier final : public Notifier {
public:
    void show(Severity, const std::string& title, const std::string&) override {
        require(title == "Batch file error", "a batch file's message has its title");
        ++count;
    }
    int count = 0;
};

// Every name exists but one holding a '?', so that both answers are reached.
bool exists(const std::string& name) {
    return name.find('?') == std::string::npos;
}

// One file name of a batch line as a writer of batch files puts it: in quotes when it holds
// a space (a name can hold a quote only when it holds no space, so none needs both).
std::string field(const std::string& name) {
    return name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
}

bool sameJobs(const std::vector<BatchJob>& a, const std::vector<BatchJob>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].soundBank != b[i].soundBank || a[i].outputFile != b[i].outputFile ||
            a[i].midiFile != b[i].midiFile)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::text(data, size);
    CountingNotifier notifier;
    BatchFile batch(notifier);
    const bool ok = batch.parse(text, exists);
    require(notifier.count == (ok ? 0 : 1), "a refused batch says why once, a good one nothing");

    unsigned previousLine = 0;
    for (const BatchJob& job : batch.jobs()) {
        require(job.line > previousLine, "jobs keep the order of their lines");
        previousLine = job.line;
        for (const std::string* name : {&job.soundBank, &job.outputFile, &job.midiFile}) {
            require(!name->empty(), "every job names three files");
            require(name->find_first_of(std::string("\r\n\t\0", 4)) == std::string::npos,
                    "a name holds no line break, tab or zero byte");
        }
        require(exists(job.soundBank) && exists(job.midiFile), "a job's inputs exist");
    }

    // Parsing again on the same object gives the same result (nothing stays from before).
    CountingNotifier again;
    BatchFile reused(again);
    reused.parse("b o m\n", exists);
    require(reused.parse(text, exists) == ok && sameJobs(reused.jobs(), batch.jobs()),
            "a parse starts afresh");

    // Where names that differ in letter case are one file, more outputs may be refused as
    // inputs, never fewer; the jobs read are the same.
    CountingNotifier caseless;
    BatchFile folded(caseless);
    const bool foldedOk = folded.parse(text, exists, [](const std::string& name) {
        std::string lower = name;
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return std::optional<std::string>(lower);
    });
    require(!foldedOk || ok, "a looser file comparison refuses no fewer outputs");
    require(sameJobs(folded.jobs(), batch.jobs()), "the file comparison leaves the jobs alone");

    // A batch file written from the jobs, one line each with a leading space (so that no
    // line reads as a comment), reads back as the same jobs.
    if (ok) {
        std::string written;
        bool fits = true;
        for (const BatchJob& job : batch.jobs()) {
            const std::string line = " " + field(job.soundBank) + " " + field(job.outputFile) +
                                     " " + field(job.midiFile);
            fits = fits && line.size() <= BatchFile::kMaxLine;
            written += line + "\n";
        }
        CountingNotifier rewritten;
        BatchFile reread(rewritten);
        if (fits)
            require(reread.parse(written, exists) && sameJobs(reread.jobs(), batch.jobs()),
                    "the jobs written as a batch file read back as the same jobs");
    }
    return 0;
}
