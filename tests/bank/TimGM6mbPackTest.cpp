// Packs Debian's TimGM6mb General MIDI bank (when installed) and checks that every sample
// reads back bit-identically and that the compressed bank is at most 83 % of the original.

#include "bank/BankPacker.h"
#include "bank/Ccompsf.h"
#include "platform/File.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

const char* const kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

TEST(TimGM6mbPack, EverySampleRoundTripsAndTheBankShrinks) {
    if (!file::exists(kTimGM6mb))
        GTEST_SKIP() << kTimGM6mb << " is not installed";
    test::TempDir dir;
    test::StoreFixture f;
    Csf2file source(kTimGM6mb, f.notifier, f.store);
    ASSERT_TRUE(source.rdfile());
    const std::string out = dir.file("TimGM6mb.csf");
    const PackReport report = BankPacker().pack(source, out);
    ASSERT_TRUE(report.ok) << report.error;
    std::string bytes;
    ASSERT_TRUE(file::readWhole(out, bytes));
    EXPECT_EQ(report.outputBytes, bytes.size());
    const double ratio = double(report.outputBytes) / double(report.inputBytes);
    EXPECT_LE(ratio, 0.83);
    RecordProperty("ratio_percent", std::to_string(100.0 * ratio));

    Ccompsf packed(out, f.notifier, f.store);
    ASSERT_TRUE(packed.rdfile());
    EXPECT_EQ(packed.presets().size(), source.presets().size());
    EXPECT_EQ(packed.instrumentGenerators().size(), source.instrumentGenerators().size());
    ASSERT_EQ(packed.samples().size(), source.samples().size());
    EXPECT_GT(report.compressedSamples, packed.sampleCount() * 9 / 10);
    for (std::size_t i = 0; i < source.samples().size(); ++i) {
        SampleHeader& a = source.samples()[i];
        SampleHeader& b = packed.samples()[i];
        f.load(a);
        f.load(b);
        ASSERT_EQ(a.residentLength, b.residentLength) << i;
        ASSERT_TRUE(std::equal(a.data.get(), a.data.get() + a.residentLength, b.data.get()))
            << "sample " << i << " " << recordNameText(a.name);
        // Free them again so the test holds two samples at a time.
        f.store.forgetAll();
        a.data.reset();
        b.data.reset();
    }
    EXPECT_EQ(f.notifier.count(), 0u);
}

} // namespace
} // namespace korvelt
