#include "sequencer/RenderTestSupport.h"

#include "bank/BankPacker.h"
#include "bank/Csf2file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace korvelt::test {
namespace {

const char* const kGeneralMidiBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The demo piece with Debian's General MIDI bank, with the program's default options: it
// sounds all the way through, and the bank packed into the compressed format renders the
// very same file.
TEST(DemoRender, TheDemoSoundsThroughoutAndTheCompressedBankRendersItIdentically) {
    if (!std::filesystem::exists(kGeneralMidiBank))
        GTEST_SKIP() << kGeneralMidiBank << " is not installed";
    RenderRig rig;
    rig.options.setDefaults();
    const std::string demo = std::string(KORVELT_SOURCE_DIR) + "/examples/demo.mid";

    const RenderedWave sf2 = rig.renderWithBank(kGeneralMidiBank, demo);
    EXPECT_TRUE(rig.notifier.messages().empty());
    EXPECT_GT(rig.lastPeak, 16000);
    // About 25 seconds, every second of it audible.
    ASSERT_GT(sf2.frames(), 24u * 44100);
    for (std::size_t second = 0; second < 24; ++second) {
        double energy = 0;
        for (std::size_t i = second * 88200; i < (second + 1) * 88200; ++i)
            energy += double(sf2.samples[i]) * sf2.samples[i];
        EXPECT_GT(std::sqrt(energy / 88200), 500.0) << "second " << second;
    }

    {
        auto bank = makeSoundBank(kGeneralMidiBank, rig.notifier, rig.engine->store);
        ASSERT_TRUE(bank->rdfile());
        ASSERT_TRUE(BankPacker().pack(*bank, rig.dir.file("gm.csf")).ok);
    }
    const RenderedWave csf = rig.renderWithBank(rig.dir.file("gm.csf"), demo);
    EXPECT_TRUE(csf.samples == sf2.samples);
}

} // namespace
} // namespace korvelt::test
