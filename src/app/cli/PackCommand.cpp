#include "app/cli/Commands.h"

#include "app/cli/OptionParser.h"
#include "bank/BankPacker.h"
#include "bank/Csf2file.h"
#include "bank/SampleStore.h"
#include "platform/File.h"
#include "platform/Notifier.h"
#include "platform/System.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace korvelt::cli {

namespace {

const char* const kPackUsage = "Usage: korvelt-cli pack [-f] IN.sf2 OUT.csf\n";
const char* const kPackHelp =
    "Writes a compressed bank (.csf) from a SoundFont bank (.sf2, or .sf3 whose Ogg Vorbis\n"
    "samples are decoded).\n"
    "Every sample is stored losslessly; the output is refused if it exists.\n"
    "\n"
    "Options:\n"
    "  -f, --force  replace OUT.csf if it exists\n"
    "  -h, --help   show this help and exit\n";

} // namespace

int runPack(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    bool force = false;
    OptionParser parser(args);
    while (parser.next()) {
        const std::string& name = parser.name();
        if (!parser.isOption()) {
            if (files.size() == 2)
                return usageError("pack", "unexpected operand '" + name + "'", kPackUsage);
            files.push_back(name);
        } else if ((name == "-h" || name == "--help") && !parser.hasInlineValue()) {
            std::fputs(kPackUsage, stdout);
            std::fputs(kPackHelp, stdout);
            return kExitOk;
        } else if ((name == "-f" || name == "--force") && !parser.hasInlineValue()) {
            force = true;
        } else if (parser.hasInlineValue() && (name == "--force" || name == "--help")) {
            return usageError("pack", "option '" + name + "' takes no value", kPackUsage);
        } else {
            return usageError("pack", "unknown option '" + name + "'", kPackUsage);
        }
    }
    if (files.empty())
        return usageError("pack", "missing IN.sf2 and OUT.csf", kPackUsage);
    if (files.size() == 1)
        return usageError("pack", "missing OUT.csf", kPackUsage);
    const std::string& in = files[0];
    const std::string& out = files[1];
    // Replacing the input with its own packed copy would lose the bank, --force or not.
    if (file::sameFile(in, out)) {
        std::fprintf(stderr, "korvelt-cli pack: %s is the input bank; choose another output file\n",
                     out.c_str());
        return kExitFailure;
    }
    if (!force && file::exists(out)) {
        std::fprintf(stderr, "korvelt-cli pack: %s already exists (use --force to replace it)\n",
                     out.c_str());
        return kExitFailure;
    }

    StderrNotifier notifier;
    SampleStore store(sys::totalPhysicalMemory());
    Csf2file bank(in, notifier, store);
    bank.rdfile();
    if (!bank.loaded())
        return kExitFailure;

    if (bank.hasLowSampleBytes())
        std::fprintf(stderr,
                     "korvelt-cli pack: warning: %s holds 24-bit samples; the compressed bank "
                     "keeps their upper 16 bits, the low 8 bits are not kept\n",
                     in.c_str());

    const auto started = std::chrono::steady_clock::now();
    BankPacker packer;
    const PackReport report = packer.pack(bank, out);
    if (!report.ok) {
        if (report.problem)
            std::fprintf(stderr, "korvelt-cli: %s\n", report.problem->line().c_str());
        std::fprintf(stderr, "korvelt-cli pack: %s\n", report.error.c_str());
        return kExitFailure;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double ratio = report.inputBytes > 0
                             ? 100.0 * double(report.outputBytes) / double(report.inputBytes)
                             : 0.0;
    std::printf("%s: %llu bytes\n%s: %llu bytes (%.1f %% of the input)\n"
                "samples: %zu compressed, %zu raw, %zu sharing another's data\n"
                "time: %.2f s\n",
                in.c_str(), static_cast<unsigned long long>(report.inputBytes), out.c_str(),
                static_cast<unsigned long long>(report.outputBytes), ratio,
                report.compressedSamples, report.rawSamples, report.sharedSamples, seconds);
    return kExitOk;
}

} // namespace korvelt::cli
