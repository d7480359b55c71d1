// Damaged banks: every truncation and thousands of seeded byte flips of a small SoundFont
// and of its packed form. Each must either load or fail with exactly one of its reader's
// messages, and whatever loaded must be walkable and playable (every look-up, every
// sample made resident) without a crash or a read outside any buffer.

#include "bank/BankPacker.h"
#include "bank/Ccompsf.h"
#include "platform/File.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>

namespace korvelt {
namespace {

using test::Sf2Builder;
using test::StoreFixture;
using test::TempDir;

Sf2Builder tinyBank() {
    Sf2Builder b;
    const int a =
        b.addSample({.name = "A", .frames = test::tone(160, 1), .loopStart = 20, .loopEnd = 150});
    const int c = b.addSample({.name = "C", .frames = test::sine(120, 17.0)});
    const int n = b.addSample({.name = "N", .frames = test::noise(40, 2)});
    const int i1 =
        b.addInstrument("I1", {Sf2Builder::globalZone({test::gen(test::sfgen::kPan, 100)}),
                               Sf2Builder::instrumentZone(a, {test::keyRange(0, 60)}),
                               Sf2Builder::instrumentZone(c, {test::keyRange(61, 127)})});
    const int i2 = b.addInstrument("I2", {Sf2Builder::instrumentZone(n)});
    b.addPreset("P1", 0, 0, {Sf2Builder::presetZone(i1), Sf2Builder::presetZone(i2)});
    b.addPreset("P2", 128, 0, {Sf2Builder::presetZone(i2)});
    return b;
}

// Walks the bank as the sequencer will: presets, their zones and generators, the
// instruments they name, those zones' samples; then makes every sample resident and reads
// its last frame.
void play(Csf2file& bank, StoreFixture& store) {
    for (std::size_t p = 0; p < bank.presets().size() + 1; ++p) {
        for (std::size_t bag = bank.presetZones(p).first; bag < bank.presetZones(p).last; ++bag)
            for (const Generator& g : bank.presetZoneGenerators(bag)) {
                if (g.oper != test::sfgen::kInstrument)
                    continue;
                const IndexRange zones = bank.instrumentZones(static_cast<std::uint16_t>(g.amount));
                for (std::size_t ib = zones.first; ib < zones.last; ++ib)
                    for (const Generator& ig : bank.instrumentZoneGenerators(ib))
                        if (ig.oper == test::sfgen::kSampleId)
                            if (SampleHeader* s =
                                    bank.sample(static_cast<std::uint16_t>(ig.amount)))
                                store.load(*s);
            }
    }
    (void)bank.findPreset(0, 0);
    (void)bank.searchPreset(128, 5);
    volatile std::int32_t sum = 0;
    for (SampleHeader& s : bank.samples()) {
        store.load(s);
        ASSERT_TRUE(s.data);
        sum = sum +
              s.data[static_cast<std::size_t>(s.residentLength) + SampleHeader::kPaddingFrames - 1];
    }
}

class Robustness : public ::testing::Test {
protected:
    // Reads the bytes as `Bank`, plays what loaded, and checks the messages.
    template <class Bank>
    void check(const std::string& bytes, const std::set<std::string>& failures,
               const std::string& what) {
        fixture.notifier.clear();
        // A new file each time: rewriting one file in place makes some file systems flush
        // it to disk on every round.
        const std::string path = dir.write("damaged" + std::to_string(++fileCount), bytes);
        struct Remove {
            const std::string& path;
            ~Remove() { file::remove(path); }
        } remove{path};
        {
            Bank bank(path, fixture.notifier, fixture.store);
            bank.rdfile();
            const auto messages = fixture.notifier.messages();
            if (!bank.loaded()) {
                ASSERT_EQ(messages.size(), 1u) << what;
                EXPECT_EQ(messages[0].title, "Error!") << what;
                EXPECT_EQ(messages[0].severity, Severity::Error) << what;
                EXPECT_TRUE(failures.count(messages[0].text)) << what << ": " << messages[0].text;
                return;
            }
            ASSERT_TRUE(messages.empty()) << what;
            ++loadedCount;
            play(bank, fixture);
            for (const auto& m : fixture.notifier.messages()) {
                EXPECT_EQ(m.title, "Error loading sample") << what;
                EXPECT_EQ(m.text.rfind("Sample:", 0), 0u) << what;
            }
        }
        EXPECT_EQ(fixture.store.residentCount(), 0u) << what;
        EXPECT_EQ(fixture.store.used(), 0u) << what;
    }

    template <class Bank>
    void truncationsAndFlips(const std::string& good, const std::set<std::string>& failures,
                             std::uint32_t seed) {
        check<Bank>(good, failures, "intact");
        EXPECT_EQ(loadedCount, 1);
        for (std::size_t n = 0; n < good.size(); ++n) {
            check<Bank>(good.substr(0, n), failures, "cut at " + std::to_string(n));
            if (HasFatalFailure())
                return;
        }
        std::mt19937 rng(seed);
        for (int round = 0; round < 3000; ++round) {
            std::string bytes = good;
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int i = 0; i < flips; ++i)
                bytes[rng() % bytes.size()] ^= static_cast<char>(1 + rng() % 255);
            check<Bank>(bytes, failures, "round " + std::to_string(round));
            if (HasFatalFailure())
                return;
        }
        EXPECT_GT(loadedCount, 100); // many damaged banks still load and must play safely
    }

    TempDir dir;
    // A budget that keeps a damaged length from asking for gigabytes in the test.
    StoreFixture fixture{std::uint64_t(64) << 20};
    int loadedCount = 0;
    int fileCount = 0;
};

TEST_F(Robustness, DamagedSoundFonts) {
    fixture.showErrors = true;
    truncationsAndFlips<Csf2file>(tinyBank().build(), {test::kSf2Invalid}, 20240601);
}

TEST_F(Robustness, DamagedCompressedBanks) {
    fixture.showErrors = true;
    const std::string sf2 = dir.write("tiny.sf2", tinyBank().build());
    std::string packed;
    {
        Csf2file source(sf2, fixture.notifier, fixture.store);
        ASSERT_TRUE(source.rdfile());
        ASSERT_TRUE(BankPacker().pack(source, dir.file("tiny.csf")).ok);
        ASSERT_TRUE(file::readWhole(dir.file("tiny.csf"), packed));
    }
    truncationsAndFlips<Ccompsf>(packed, {test::kCsfInvalid, test::kCsfTooRecent}, 77);
}

} // namespace
} // namespace korvelt
