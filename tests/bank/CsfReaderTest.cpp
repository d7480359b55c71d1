#include "bank/BankPacker.h"
#include "bank/Ccompsf.h"
#include "platform/File.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace korvelt {
namespace {

using test::Sf2Builder;
using test::StoreFixture;
using test::TempDir;

std::vector<std::int16_t> loadFrames(SampleStore& store, SampleHeader& s) {
    store.loadSample(s);
    return std::vector<std::int16_t>(s.data.get(), s.data.get() + s.residentLength +
                                                       SampleHeader::kPaddingFrames);
}

class CsfReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        sf2Path = dir.write("bank.sf2", builder.build());
        source = std::make_unique<Csf2file>(sf2Path, f.notifier, f.store);
        ASSERT_TRUE(source->rdfile());
        csfPath = dir.file("bank.csf");
        report = BankPacker().pack(*source, csfPath);
        ASSERT_TRUE(report.ok) << report.error;
        ASSERT_TRUE(file::readWhole(csfPath, packed));
    }

    // Reads bytes as a compressed bank.
    Ccompsf& read(const std::string& bytes) {
        bank_ = std::make_unique<Ccompsf>(dir.write("other.csf", bytes), f.notifier, f.store);
        bank_->rdfile();
        return *bank_;
    }
    // Exactly this message; with a problem of `path` when `reason` is given.
    void expectOnly(const char* text, const char* reason = nullptr, const std::string& path = {}) {
        std::optional<FileProblem> problem;
        if (reason != nullptr)
            problem = FileProblem{path.empty() ? dir.file("other.csf") : path, reason};
        EXPECT_EQ(f.notifier.messages(), (std::vector<RecordingNotifier::Message>{
                                             {Severity::Error, "Error!", text, problem}}));
        f.notifier.clear();
    }

    TempDir dir;
    StoreFixture f;
    Sf2Builder builder = test::smallBank();
    std::string sf2Path, csfPath, packed;
    std::unique_ptr<Csf2file> source;
    PackReport report;
    std::unique_ptr<Ccompsf> bank_;
};

TEST_F(CsfReaderTest, PackedBankHasTheSameRecordsAndSamples) {
    EXPECT_EQ(report.inputBytes, file::size(source->handle()) >= 0
                                     ? static_cast<std::uint64_t>(file::size(source->handle()))
                                     : 0);
    EXPECT_EQ(report.outputBytes, packed.size());
    EXPECT_EQ(report.samples, 5u);
    EXPECT_EQ(packed.compare(0, 4, "CSFF"), 0);

    Ccompsf& bank = read(packed);
    ASSERT_TRUE(bank.loaded());
    EXPECT_EQ(f.notifier.count(), 0u);

    ASSERT_EQ(bank.presets().size(), source->presets().size());
    for (std::size_t i = 0; i < bank.presets().size(); ++i) {
        const PresetHeader &a = bank.presets()[i], &b = source->presets()[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.preset, b.preset);
        EXPECT_EQ(a.bank, b.bank);
        EXPECT_EQ(a.bagIndex, b.bagIndex);
    }
    auto sameBags = [](const std::vector<ZoneBag>& a, const std::vector<ZoneBag>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const ZoneBag& x, const ZoneBag& y) {
                              return x.genIndex == y.genIndex && x.modIndex == y.modIndex;
                          });
    };
    auto sameGens = [](const std::vector<Generator>& a, const std::vector<Generator>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                          [](const Generator& x, const Generator& y) {
                              return x.oper == y.oper && x.amount == y.amount;
                          });
    };
    EXPECT_TRUE(sameBags(bank.presetBags(), source->presetBags()));
    EXPECT_TRUE(sameBags(bank.instrumentBags(), source->instrumentBags()));
    EXPECT_TRUE(sameGens(bank.presetGenerators(), source->presetGenerators()));
    EXPECT_TRUE(sameGens(bank.instrumentGenerators(), source->instrumentGenerators()));
    ASSERT_EQ(bank.instruments().size(), source->instruments().size());
    for (std::size_t i = 0; i < bank.instruments().size(); ++i) {
        EXPECT_EQ(bank.instruments()[i].name, source->instruments()[i].name);
        EXPECT_EQ(bank.instruments()[i].bagIndex, source->instruments()[i].bagIndex);
    }

    ASSERT_EQ(bank.samples().size(), source->samples().size());
    for (std::size_t i = 0; i < bank.samples().size(); ++i) {
        SampleHeader &a = bank.samples()[i], &b = source->samples()[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.playLength, b.playLength);
        EXPECT_EQ(a.storedLength, b.storedLength);
        EXPECT_EQ(a.loopStart, b.loopStart);
        EXPECT_EQ(a.loopEnd, b.loopEnd);
        EXPECT_EQ(a.sampleRate, b.sampleRate);
        EXPECT_EQ(a.originalPitch, b.originalPitch);
        EXPECT_EQ(a.pitchCorrection, b.pitchCorrection);
        EXPECT_EQ(a.sampleLink, b.sampleLink);
        EXPECT_EQ(a.sampleType, b.sampleType);
        EXPECT_EQ(a.handle, bank.handle());
        // The stored frames are identical; the padding after them is silence in the
        // compressed bank (the SoundFont's is whatever follows in its file, here the
        // terminal record's first frames of sample 0).
        const auto packedFrames = loadFrames(f.store, a);
        auto sourceFrames = loadFrames(f.store, b);
        std::fill(sourceFrames.end() - SampleHeader::kPaddingFrames, sourceFrames.end(), 0);
        EXPECT_EQ(packedFrames, sourceFrames) << i;
    }
    // Smooth samples are coded; white noise is cheaper raw, and is read raw.
    EXPECT_GT(bank.sample(0)->blockSamples, 0);
    EXPECT_GT(bank.sample(1)->blockSamples, 0);
    EXPECT_EQ(bank.sample(2)->blockSamples, 0);
    EXPECT_EQ(report.rawSamples, 1u);
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST_F(CsfReaderTest, VersionTenIsReadElevenIsTooRecent) {
    std::string v10 = packed;
    v10[csf::kVersionField] = 10;
    EXPECT_TRUE(read(v10).loaded());
    EXPECT_EQ(f.notifier.count(), 0u);

    // Version 11 is refused before any chunk is read, even when the chunks are damaged.
    std::string v11 = packed.substr(0, 48);
    v11[csf::kVersionField] = 11;
    EXPECT_FALSE(read(v11).loaded());
    expectOnly(test::kCsfTooRecent);
    v11[csf::kVersionField] = static_cast<char>(255);
    EXPECT_FALSE(read(v11).loaded());
    expectOnly(test::kCsfTooRecent);
}

TEST_F(CsfReaderTest, UnreadHeaderBytesMayHoldAnything) {
    std::string bytes = packed;
    for (std::size_t i = 4; i < 44; ++i)
        bytes[i] = static_cast<char>(0xA5 ^ i);
    bytes[46] = '\x7F';
    EXPECT_TRUE(read(bytes).loaded());
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST_F(CsfReaderTest, RejectsDamagedFiles) {
    std::string magic = packed;
    magic[3] = 'G';
    EXPECT_FALSE(read(magic).loaded());
    expectOnly(test::kCsfInvalid, "not a compressed bank (.csf)");

    EXPECT_FALSE(read(packed.substr(0, 47)).loaded());
    expectOnly(test::kCsfInvalid, "not a compressed bank (.csf)");

    std::string offset = packed; // first chunk offset one byte off: the tag is wrong
    offset[44] = 49;
    EXPECT_FALSE(read(offset).loaded());
    expectOnly(test::kCsfInvalid);

    std::string pastEnd = packed;
    pastEnd[44] = '\xFF';
    pastEnd[45] = '\xFF';
    EXPECT_FALSE(read(pastEnd).loaded());
    expectOnly(test::kCsfInvalid);

    std::string tag = packed; // sample data tag
    tag[48] ^= 1;
    EXPECT_FALSE(read(tag).loaded());
    expectOnly(test::kCsfInvalid);

    std::string hugeBody = packed; // sample data body claiming far more than the file
    hugeBody[48 + 9] ^= 0x40;
    EXPECT_FALSE(read(hugeBody).loaded());
    expectOnly(test::kCsfInvalid);

    for (std::size_t cut :
         {packed.size() - 1, packed.size() - 62, packed.size() / 2, std::size_t(60)}) {
        EXPECT_FALSE(read(packed.substr(0, cut)).loaded()) << cut;
        expectOnly(test::kCsfInvalid);
    }
}

TEST_F(CsfReaderTest, ReportsAFileThatCannotBeOpened) {
    Ccompsf bank(dir.file("missing.csf"), f.notifier, f.store);
    EXPECT_FALSE(bank.rdfile());
    expectOnly(test::kCsfOpenFailed, "No such file or directory", dir.file("missing.csf"));
}

TEST_F(CsfReaderTest, HeadersNamingTheSameFramesShareOneStream) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    // Sample 3 made to name the same frames as sample 1.
    const std::size_t shdr = b.layout().chunkHead[8] + 8;
    bytes.replace(shdr + 3 * 46 + 20, 8, bytes.substr(shdr + 46 + 20, 8));
    Csf2file src(dir.write("shared.sf2", bytes), f.notifier, f.store);
    ASSERT_TRUE(src.rdfile());
    const PackReport r = BankPacker().pack(src, dir.file("shared.csf"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sharedSamples, 1u);
    Ccompsf bank(dir.file("shared.csf"), f.notifier, f.store);
    ASSERT_TRUE(bank.rdfile());
    EXPECT_EQ(bank.sample(3)->dataOffset, bank.sample(1)->dataOffset);
    EXPECT_EQ(loadFrames(f.store, *bank.sample(3)), loadFrames(f.store, *src.sample(1)));
}

TEST_F(CsfReaderTest, CompressedBankPacksAgain) {
    Ccompsf once(csfPath, f.notifier, f.store);
    ASSERT_TRUE(once.rdfile());
    const PackReport again = BankPacker().pack(once, dir.file("again.csf"));
    ASSERT_TRUE(again.ok) << again.error;
    Ccompsf twice(dir.file("again.csf"), f.notifier, f.store);
    ASSERT_TRUE(twice.rdfile());
    ASSERT_EQ(twice.samples().size(), source->samples().size());
    for (std::size_t i = 0; i < source->sampleCount(); ++i) {
        auto expected = loadFrames(f.store, source->samples()[i]);
        std::fill(expected.end() - SampleHeader::kPaddingFrames, expected.end(), 0);
        EXPECT_EQ(loadFrames(f.store, twice.samples()[i]), expected) << i;
    }
}

TEST_F(CsfReaderTest, FailedPackLeavesNoOutput) {
    const PackReport noDir = BankPacker().pack(*source, dir.file("no/such/dir/out.csf"));
    EXPECT_FALSE(noDir.ok);
    EXPECT_FALSE(noDir.error.empty());

    // The file cut inside sample 0 after the bank was read: its frames cannot be read.
    Sf2Builder b = test::smallBank();
    const std::string brokenPath = dir.write("broken.sf2", b.build());
    Csf2file broken(brokenPath, f.notifier, f.store);
    ASSERT_TRUE(broken.rdfile());
    std::filesystem::resize_file(brokenPath, b.layout().smplBody + 100);
    const PackReport r = BankPacker().pack(broken, dir.file("broken.csf"));
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Sine"), std::string::npos);
    EXPECT_FALSE(file::exists(dir.file("broken.csf")));
    EXPECT_FALSE(file::exists(dir.file("broken.csf.part")));

    Csf2file unread(sf2Path, f.notifier, f.store);
    EXPECT_FALSE(BankPacker().pack(unread, dir.file("unread.csf")).ok);
    EXPECT_FALSE(file::exists(dir.file("unread.csf")));
}

} // namespace
} // namespace korvelt
