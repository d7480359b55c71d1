#include "app/cli/Commands.h"

#include "bank/SampleStore.h"
#include "bank/SoundBank.h"
#include "platform/Notifier.h"
#include "platform/System.h"

#include <cstdio>
#include <string>

namespace korvelt::cli {

namespace {

// A record name as printed: control characters would garble the listing, so they show
// as '?'.
std::string printable(const RecordName& name) {
    std::string text = recordNameText(name);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

} // namespace

// Prints the bank's record counts (terminal records excluded), then one line per preset:
//   presets P
//   instruments I
//   samples S
//   preset BANK:PROGRAM "NAME" zones Z
int runBankInfo(const std::string& path) {
    StderrNotifier notifier;
    SampleStore store(sys::totalPhysicalMemory());
    std::unique_ptr<Csf2file> bank = makeSoundBank(path, notifier, store);
    bank->rdfile();
    if (!bank->loaded())
        return kExitFailure;
    std::printf("presets %zu\ninstruments %zu\nsamples %zu\n", bank->presetCount(),
                bank->instrumentCount(), bank->sampleCount());
    for (std::size_t i = 0; i < bank->presetCount(); ++i) {
        const PresetHeader& p = bank->presets()[i];
        std::printf("preset %u:%u \"%s\" zones %zu\n", unsigned(p.bank), unsigned(p.preset),
                    printable(p.name).c_str(), bank->presetZones(i).size());
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
}

} // namespace korvelt::cli
