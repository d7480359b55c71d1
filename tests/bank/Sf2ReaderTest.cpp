#include "bank/Ccompsf.h"
#include "bank/Csf2file.h"
#include "bank/SoundBank.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace korvelt {
namespace {

using test::Sf2Builder;
using test::StoreFixture;
using test::TempDir;
using namespace test::sfgen;

class Sf2ReaderTest : public ::testing::Test {
protected:
    // Reads bytes as a SoundFont; the bank stays for inspection.
    Csf2file& read(const std::string& bytes) {
        bank_ = std::make_unique<Csf2file>(dir.write("bank.sf2", bytes), f.notifier, f.store);
        bank_->rdfile();
        return *bank_;
    }
    // Reads bytes expecting the invalid-format failure; a file that is no SoundFont at all
    // says so, with its name.
    void expectInvalid(const std::string& bytes, bool notASoundFont = false) {
        f.notifier.clear();
        Csf2file& bank = read(bytes);
        EXPECT_FALSE(bank.loaded());
        std::optional<FileProblem> problem;
        if (notASoundFont)
            problem = FileProblem{dir.file("bank.sf2"), "not a SoundFont 2 bank"};
        EXPECT_EQ(f.notifier.messages(),
                  (std::vector<RecordingNotifier::Message>{
                      {Severity::Error, "Error!", test::kSf2Invalid, problem}}));
        EXPECT_EQ(bank.problem(), problem);
    }

    TempDir dir;
    StoreFixture f;
    std::unique_ptr<Csf2file> bank_;
};

TEST_F(Sf2ReaderTest, ReadsEveryRecordInFileOrder) {
    Sf2Builder b = test::smallBank();
    const std::string bytes = b.build();
    Csf2file& bank = read(bytes);
    ASSERT_TRUE(bank.loaded());
    EXPECT_EQ(f.notifier.count(), 0u);

    EXPECT_EQ(bank.presetCount(), 3u);
    EXPECT_EQ(bank.instrumentCount(), 3u);
    EXPECT_EQ(bank.sampleCount(), 4u);
    ASSERT_EQ(bank.presets().size(), 4u); // with the terminal records
    ASSERT_EQ(bank.instruments().size(), 4u);
    ASSERT_EQ(bank.samples().size(), 5u);
    EXPECT_EQ(recordNameText(bank.presets()[3].name), "EOP");
    EXPECT_EQ(recordNameText(bank.instruments()[3].name), "EOI");
    EXPECT_EQ(recordNameText(bank.samples()[4].name), "EOS");

    const PresetHeader& pad = bank.presets()[1];
    EXPECT_EQ(recordNameText(pad.name), "Pad and lead");
    EXPECT_EQ(pad.bank, 0);
    EXPECT_EQ(pad.preset, 5);
    EXPECT_EQ(pad.bagIndex, 1);
    EXPECT_EQ(bank.presets()[2].bank, 128);

    // Bags and generators: preset bags 1 + 2 + 1 + terminal.
    EXPECT_EQ(bank.presetBags().size(), 5u);
    EXPECT_EQ(bank.presetGenerators().size(), 6u); // 2 + 1 + 1 + 1 + terminal
    const auto leadGens = bank.presetZoneGenerators(0);
    ASSERT_EQ(leadGens.size(), 2u);
    EXPECT_EQ(leadGens[0].oper, kCoarseTune);
    EXPECT_EQ(leadGens[0].amount, 2);
    EXPECT_EQ(leadGens[1].oper, kInstrument);
    EXPECT_EQ(leadGens[1].amount, 0);

    // Instrument zones, a global zone first; ranges as two bytes; signed amounts.
    const IndexRange leadZones = bank.instrumentZones(0);
    EXPECT_EQ(leadZones, (IndexRange{0, 3}));
    const auto global = bank.instrumentZoneGenerators(0);
    ASSERT_EQ(global.size(), 1u);
    EXPECT_EQ(global[0].amount, -200);
    const auto toneZone = bank.instrumentZoneGenerators(2);
    ASSERT_EQ(toneZone.size(), 3u);
    EXPECT_EQ(toneZone[0].oper, kKeyRange);
    EXPECT_EQ(toneZone[0].rangeLow(), 64);
    EXPECT_EQ(toneZone[0].rangeHigh(), 127);
    EXPECT_EQ(toneZone[1].rangeLow(), 1);
    EXPECT_EQ(toneZone[1].rangeHigh(), 100);
    EXPECT_EQ(toneZone[2].oper, kSampleId);
    EXPECT_EQ(toneZone[2].amount, 1);

    // Sample headers: relative loop points, absolute data offsets, lengths.
    const SampleHeader& sine = *bank.sample(0);
    EXPECT_EQ(recordNameText(sine.name), "Sine");
    EXPECT_EQ(sine.playLength, 1500);
    EXPECT_EQ(sine.storedLength, 1500);
    EXPECT_EQ(sine.loopStart, 100);
    EXPECT_EQ(sine.loopEnd, 1400);
    EXPECT_EQ(sine.sampleRate, 44100u);
    EXPECT_EQ(sine.originalPitch, 60);
    EXPECT_EQ(sine.sampleType, 1);
    EXPECT_EQ(sine.blockSamples, 0);
    EXPECT_EQ(sine.compressedBytes, 0u);
    EXPECT_EQ(sine.handle, bank.handle());
    EXPECT_FALSE(sine.data);
    EXPECT_EQ(bank.sampleDataOffset(), b.layout().smplBody);
    const SampleHeader& tone = *bank.sample(1);
    EXPECT_EQ(tone.dataOffset, b.layout().smplBody + 2 * b.layout().sampleStart[1]);
    EXPECT_EQ(tone.loopStart, 0);
}

TEST_F(Sf2ReaderTest, SampleDataIsReadOnlyOnDemand) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    Csf2file& bank = read(bytes);
    ASSERT_TRUE(bank.loaded());
    SampleHeader& tone = *bank.sample(1);
    f.load(tone);
    const auto expected = test::tone(3000, 7);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tone.data.get()));
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(tone.data[3000 + i], 0);
}

TEST_F(Sf2ReaderTest, RecordNamesKeepAllTwentyBytes) {
    Sf2Builder b;
    const int s = b.addSample({.name = "ABCDEFGHIJKLMNOPQRST", .frames = {1, 2, 3}});
    const int i = b.addInstrument("Twenty characters!!!", {Sf2Builder::instrumentZone(s)});
    b.addPreset("Short", 0, 0, {Sf2Builder::presetZone(i)});
    Csf2file& bank = read(b.build());
    ASSERT_TRUE(bank.loaded());
    EXPECT_EQ(recordNameText(bank.sample(0)->name), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(recordNameText(bank.instrument(0)->name), "Twenty characters!!!");
    const RecordName& shortName = bank.preset(0)->name;
    EXPECT_EQ(recordNameText(shortName), "Short");
    EXPECT_TRUE(std::all_of(shortName.begin() + 5, shortName.end(), [](char c) { return c == 0; }));
}

TEST_F(Sf2ReaderTest, FindPresetTakesTheFirstAndNeverTheTerminal) {
    Sf2Builder b;
    const int s = b.addSample({.name = "S", .frames = {1, 2, 3}});
    const int i = b.addInstrument("I", {Sf2Builder::instrumentZone(s)});
    b.addPreset("First", 0, 10, {Sf2Builder::presetZone(i)});
    b.addPreset("Second", 0, 10, {Sf2Builder::presetZone(i)});
    b.addPreset("Drums", 128, 16, {Sf2Builder::presetZone(i)});
    b.addPreset("Bank 8", 8, 10, {Sf2Builder::presetZone(i)});
    b.setTerminalPreset(5, 77); // the terminal record carries bank 5, program 77
    Csf2file& bank = read(b.build());
    ASSERT_TRUE(bank.loaded());
    EXPECT_EQ(bank.findPreset(0, 10), 0);
    EXPECT_EQ(bank.findPreset(128, 16), 2);
    EXPECT_EQ(bank.findPreset(8, 10), 3);
    EXPECT_EQ(bank.findPreset(5, 77), -1);
    EXPECT_EQ(bank.findPreset(0, 11), -1);

    // The search behind the fallbacks sees the terminal record too.
    EXPECT_TRUE(bank.searchPreset(5, 77).found);
    const PresetSearch missing = bank.searchPreset(7, 10);
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.lowerBank, std::optional<std::uint16_t>(5));
    EXPECT_FALSE(missing.lowerProgram);
    const PresetSearch kit = bank.searchPreset(128, 40);
    EXPECT_FALSE(kit.found);
    EXPECT_EQ(kit.lowerProgram, std::optional<std::uint16_t>(16));
    EXPECT_EQ(kit.lowerBank, std::optional<std::uint16_t>(8));
    const PresetSearch none = bank.searchPreset(0, 5);
    EXPECT_FALSE(none.found);
    EXPECT_FALSE(none.lowerBank);
    EXPECT_FALSE(none.lowerProgram);
}

TEST_F(Sf2ReaderTest, LookUpsStayInsideTheLists) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    Csf2file& ok = read(bytes);
    ASSERT_TRUE(ok.loaded());
    // Terminal records and indices past the lists give nothing.
    EXPECT_TRUE(ok.presetZones(3).empty());
    EXPECT_TRUE(ok.presetZones(1000).empty());
    EXPECT_TRUE(ok.instrumentZones(3).empty()); // an instrument number naming the terminal
    EXPECT_NE(ok.instrument(3), nullptr);
    EXPECT_EQ(ok.instrument(4), nullptr);
    EXPECT_EQ(ok.preset(4), nullptr);
    EXPECT_TRUE(ok.presetZoneGenerators(ok.presetBags().size() - 1).empty()); // terminal bag
    EXPECT_TRUE(ok.instrumentZoneGenerators(99999).empty());
    EXPECT_NE(ok.sample(4), nullptr); // the terminal sample record is a node like any
    EXPECT_EQ(ok.sample(5), nullptr);
    EXPECT_EQ(ok.presetZones(1).size(), 2u);

    // A damaged file: the second preset's bag index far past the bag list, and a bag
    // whose generator index runs backwards.
    const std::size_t phdr = b.layout().chunkHead[0] + 8;
    Sf2Builder::patch16(bytes, phdr + 38 + 24, 60000);
    const std::size_t ibag = b.layout().chunkHead[5] + 8;
    Sf2Builder::patch16(bytes, ibag + 4, 50); // bag 1 starts at generator 50
    Csf2file& bad = read(bytes);
    ASSERT_TRUE(bad.loaded());
    EXPECT_TRUE(bad.presetZones(1).empty()); // 60000 > next index: backwards
    EXPECT_EQ(bad.presetZones(0), (IndexRange{0, bad.presetBags().size()})); // cut to the list
    EXPECT_TRUE(bad.instrumentZoneGenerators(1).empty());
    EXPECT_EQ(bad.instrumentZoneGenerators(0).size(), bad.instrumentGenerators().size());
}

TEST_F(Sf2ReaderTest, ZeroLengthChunksGiveEmptyLists) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    // Empty the preset generator chunk: its records are skipped, so the size field alone
    // changes and the following chunk moves up.
    const std::size_t pgen = b.layout().chunkHead[3];
    const std::uint32_t size = static_cast<std::uint32_t>(b.layout().chunkHead[4] - pgen - 8);
    bytes.erase(pgen + 8, size);
    Sf2Builder::patch32(bytes, pgen + 4, 0);
    Csf2file& bank = read(bytes);
    ASSERT_TRUE(bank.loaded());
    EXPECT_TRUE(bank.presetGenerators().empty());
    EXPECT_TRUE(bank.presetZoneGenerators(0).empty());
    EXPECT_EQ(bank.sampleCount(), 4u);
}

TEST_F(Sf2ReaderTest, ModulatorsAreSkipped) {
    Sf2Builder b;
    const int s = b.addSample({.name = "S", .frames = {1, 2, 3}});
    auto zone = Sf2Builder::instrumentZone(s);
    zone.modulators = 3;
    const int i = b.addInstrument("I", {zone});
    auto pzone = Sf2Builder::presetZone(i);
    pzone.modulators = 2;
    b.addPreset("P", 0, 0, {pzone});
    Csf2file& bank = read(b.build());
    EXPECT_TRUE(bank.loaded());
    EXPECT_EQ(bank.presetBags()[1].modIndex, 2);
}

TEST_F(Sf2ReaderTest, RejectsWhatIsNotASoundFont) {
    Sf2Builder b = test::smallBank();
    const std::string good = b.build();
    const auto& layout = b.layout();

    expectInvalid("", true);
    expectInvalid("RIFF", true);
    std::string notRiff = good;
    notRiff[0] = 'X';
    expectInvalid(notRiff, true);
    std::string notSfbk = good;
    notSfbk[8] = 'x';
    expectInvalid(notSfbk, true);
    std::string notInfo = good;
    notInfo[20] = 'X'; // the first list is not an INFO list
    expectInvalid(notInfo, true);
    std::string tinyInfo = good;
    Sf2Builder::patch32(tinyInfo, layout.infoListSize, 3);
    expectInvalid(tinyInfo);
    std::string hugeInfo = good;
    Sf2Builder::patch32(hugeInfo, layout.infoListSize, 0xFFFFFFF0u);
    expectInvalid(hugeInfo);
    std::string notSmpl = good;
    notSmpl[layout.smplHead] = 'x';
    expectInvalid(notSmpl);
    std::string hugeSmpl = good;
    Sf2Builder::patch32(hugeSmpl, layout.smplHead + 4, 0xFFFFFFF0u);
    expectInvalid(hugeSmpl);
    std::string hugeChunk = good; // a record chunk claiming more than the file holds
    Sf2Builder::patch32(hugeChunk, layout.chunkHead[4] + 4, 0xFFFFFFF0u);
    expectInvalid(hugeChunk);
}

// The sample headers as text, data offsets and data ends included.
std::string sampleRecords(const Csf2file& bank) {
    std::string out;
    for (const SampleHeader& s : bank.samples())
        out += recordNameText(s.name) + " " + std::to_string(s.dataOffset) + " " +
               std::to_string(s.dataEnd) + " " + std::to_string(s.playLength) + " " +
               std::to_string(s.loopStart) + " " + std::to_string(s.loopEnd) + "\n";
    return out;
}

TEST_F(Sf2ReaderTest, TwentyFourBitSampleChunkIsSkippedAndNotedWhenItFits) {
    Sf2Builder plainBuilder = test::smallBank();
    Csf2file& plain = read(plainBuilder.build());
    ASSERT_TRUE(plain.loaded());
    EXPECT_FALSE(plain.hasLowSampleBytes());
    const std::string expected = sampleRecords(plain);
    const std::uint64_t frames = plain.sampleDataSize() / 2; // even here
    const std::size_t presets = plain.presets().size();      // the next read replaces it

    struct Case {
        std::size_t size;
        bool fits;
    };
    for (const Case c : {Case{frames, true}, Case{frames - 2, false}, Case{frames + 1, false},
                         Case{frames * 2, false}}) {
        SCOPED_TRACE("sm24 of " + std::to_string(c.size) + " bytes");
        Sf2Builder b = test::smallBank();
        b.addSdtaChunk("sm24", std::string(c.size, '\x7F'));
        f.notifier.clear();
        Csf2file& bank = read(b.build());
        ASSERT_TRUE(bank.loaded());
        EXPECT_EQ(f.notifier.count(), 0u);
        EXPECT_EQ(bank.hasLowSampleBytes(), c.fits);
        EXPECT_EQ(sampleRecords(bank), expected);
        EXPECT_EQ(bank.presets().size(), presets);
    }

    // An odd-sized chunk whose writer left out the pad byte.
    Sf2Builder b = test::smallBank();
    b.addSdtaChunk("sm24", std::string(frames + 1, '\x7F'));
    std::string bytes = b.build();
    bytes.erase(b.layout().smplBody + 2 * frames + 8 + frames + 1, 1);
    ASSERT_TRUE(read(bytes).loaded());
    EXPECT_EQ(sampleRecords(*bank_), expected);
    // Any other chunk there is still refused.
    Sf2Builder other = test::smallBank();
    other.addSdtaChunk("sm32", std::string(frames, '\0'));
    expectInvalid(other.build());
}

TEST_F(Sf2ReaderTest, RejectsChunksOutOfOrder) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    const auto& h = b.layout().chunkHead;
    // Swap the pbag and pmod chunks.
    const std::string pbag = bytes.substr(h[1], h[2] - h[1]);
    const std::string pmod = bytes.substr(h[2], h[3] - h[2]);
    bytes.replace(h[1], pbag.size() + pmod.size(), pmod + pbag);
    expectInvalid(bytes);
}

TEST_F(Sf2ReaderTest, RejectsRecordChunkWithTrailingBytes) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    // phdr one byte longer than its records: the next chunk head is read a byte early.
    const std::size_t phdr = b.layout().chunkHead[0];
    const std::uint32_t size = static_cast<std::uint32_t>(b.layout().chunkHead[1] - phdr - 8);
    Sf2Builder::patch32(bytes, phdr + 4, size + 1);
    bytes.insert(phdr + 8 + size, 1, '\0');
    expectInvalid(bytes);
}

TEST_F(Sf2ReaderTest, ASampleWithTheCompressedBitIsAStreamAndOnlyItIsSilent) {
    // A version 2 file whose sample claims compressed data (type bit 0x10) is read by its
    // content: the bytes are no stream, so that sample alone fails to load.
    Sf2Builder b;
    const int s = b.addSample({.name = "Vorbis", .frames = {1, 2, 3}, .sampleType = 0x11});
    const int r = b.addSample({.name = "Raw", .frames = {4, 5, 6}});
    const int i =
        b.addInstrument("I", {Sf2Builder::instrumentZone(s), Sf2Builder::instrumentZone(r)});
    b.addPreset("P", 0, 0, {Sf2Builder::presetZone(i)});
    Csf2file& bank = read(b.build());
    ASSERT_TRUE(bank.loaded());
    SampleHeader& stream = *bank.sample(0);
    EXPECT_TRUE(stream.codecStream);
    EXPECT_EQ(stream.sampleType, kSampleTypeMono);
    EXPECT_EQ(stream.compressedBytes, 3u); // start 0 and end 3 taken as byte offsets
    EXPECT_EQ(stream.playLength, 0);
    f.showErrors = true;
    f.load(stream);
    f.load(*bank.sample(1));
    EXPECT_EQ(stream.residentLength, 0);
    EXPECT_EQ(bank.sample(1)->residentLength, 3);
    EXPECT_EQ(f.notifier.texts(), std::vector<std::string>{"Sample:Vorbis"});
}

TEST_F(Sf2ReaderTest, ReportsAFileThatCannotBeOpenedWithItsNameAndTheReason) {
    for (const auto& [path, reason] :
         {std::pair{dir.file("missing.sf2"), "No such file or directory"},
          std::pair{dir.path(), "Is a directory"},
          std::pair{dir.file("missing/bank.sf2"), "No such file or directory"}}) {
        f.notifier.clear();
        Csf2file bank(path, f.notifier, f.store);
        EXPECT_FALSE(bank.rdfile());
        EXPECT_FALSE(bank.loaded());
        EXPECT_EQ(f.notifier.messages(), (std::vector<RecordingNotifier::Message>{
                                             {Severity::Error, "Error!", test::kSf2OpenFailed,
                                              FileProblem{path, reason}}}));
    }
}

TEST_F(Sf2ReaderTest, SamplePointsBeyondTheSampleDataAreHeldAtItsEnd) {
    Sf2Builder b = test::smallBank();
    std::string bytes = b.build();
    const Sf2Builder::Layout& at = b.layout();
    const auto frames = static_cast<std::uint32_t>(at.sampleStart[3] + 600 + 46);
    const std::size_t shdr = at.chunkHead[8] + 8;
    // Tone runs on into the records after the data, its loop end far beyond the file.
    Sf2Builder::patch32(bytes, shdr + 46 + 24, frames + 500);
    Sf2Builder::patch32(bytes, shdr + 46 + 32, 0xFFFFFFF0u);
    // Noise lies wholly in the records, Quiet a million frames out.
    for (std::uint32_t field = 20; field <= 32; field += 4) {
        Sf2Builder::patch32(bytes, shdr + 2 * 46 + field, frames + 10 + field);
        Sf2Builder::patch32(bytes, shdr + 3 * 46 + field, 1000000 + field);
    }
    Csf2file& bank = read(bytes);
    ASSERT_TRUE(bank.loaded());
    const std::uint64_t dataEnd = at.smplBody + 2 * std::uint64_t(frames);
    const auto toneStart = static_cast<std::int32_t>(at.sampleStart[1]);
    const SampleHeader& tone = *bank.sample(1);
    EXPECT_EQ(tone.playLength, std::int32_t(frames) - toneStart);
    EXPECT_EQ(tone.storedLength, tone.playLength);
    EXPECT_EQ(tone.loopEnd, tone.playLength);
    EXPECT_EQ(tone.dataEnd, dataEnd);
    for (std::size_t i : {2u, 3u}) {
        const SampleHeader& gone = *bank.sample(i);
        EXPECT_EQ(gone.dataOffset, dataEnd);
        EXPECT_EQ(gone.playLength, 0);
        EXPECT_EQ(gone.loopStart, 0);
        EXPECT_EQ(gone.loopEnd, 0);
    }

    // Tone plays to the end of the data (the samples after it included), never beyond.
    f.showErrors = true;
    SampleHeader& loaded = *bank.sample(1);
    f.load(loaded);
    ASSERT_EQ(loaded.residentLength, tone.playLength);
    const std::string data =
        bytes.substr(at.smplBody + 2 * at.sampleStart[1], 2 * std::size_t(tone.playLength));
    EXPECT_EQ(std::memcmp(loaded.data.get(), data.data(), data.size()), 0);
    for (int i = 0; i < SampleHeader::kPaddingFrames; ++i)
        EXPECT_EQ(loaded.data[std::size_t(tone.playLength + i)], 0);
    f.load(*bank.sample(2));
    EXPECT_EQ(bank.sample(2)->residentLength, 0);
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST_F(Sf2ReaderTest, ReadingAgainStartsAfresh) {
    Sf2Builder b = test::smallBank();
    Csf2file& bank = read(b.build());
    ASSERT_TRUE(bank.loaded());
    f.load(*bank.sample(0));
    ASSERT_EQ(f.store.residentCount(), 1u);
    ASSERT_TRUE(bank.rdfile());
    EXPECT_EQ(bank.presets().size(), 4u);
    EXPECT_EQ(f.store.residentCount(), 0u);
}

TEST(SoundBankKind, ChosenByExtensionWithoutRegardToCase) {
    EXPECT_TRUE(isCompressedBankName("bank.csf"));
    EXPECT_TRUE(isCompressedBankName("/x/y/BANK.CSF"));
    EXPECT_TRUE(isCompressedBankName("Bank.CsF"));
    EXPECT_FALSE(isCompressedBankName("bank.sf2"));
    EXPECT_FALSE(isCompressedBankName("bank.csf.sf2"));
    EXPECT_FALSE(isCompressedBankName("csf"));
    EXPECT_FALSE(isCompressedBankName("dir.csf/bank"));
    StoreFixture f;
    auto compressed = makeSoundBank("A.CSF", f.notifier, f.store);
    EXPECT_NE(dynamic_cast<Ccompsf*>(compressed.get()), nullptr);
    auto plain = makeSoundBank("a.sf2", f.notifier, f.store);
    EXPECT_EQ(dynamic_cast<Ccompsf*>(plain.get()), nullptr);
    auto other = makeSoundBank("a.bin", f.notifier, f.store);
    EXPECT_EQ(dynamic_cast<Ccompsf*>(other.get()), nullptr);
}

} // namespace
} // namespace korvelt
