#include "bank/SampleStore.h"
#include "bank/BankScrambler.h"
#include "bank/Csf2file.h"
#include "bank/SampleEncoder.h"
#include "platform/File.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvelt {
namespace {

using test::StoreFixture;
using test::TempDir;

std::string le16(const std::vector<std::int16_t>& frames) {
    std::string out;
    for (std::int16_t f : frames) {
        out.push_back(static_cast<char>(f & 0xFF));
        out.push_back(static_cast<char>((static_cast<std::uint16_t>(f) >> 8) & 0xFF));
    }
    return out;
}

// A file of bytes, open for reading while the object lives.
struct OpenFile {
    OpenFile(const TempDir& dir, const std::string& name, const std::string& bytes)
        : fd(file::openRead(dir.write(name, bytes))) {}
    ~OpenFile() { file::close(fd); }
    int fd;
};

SampleHeader rawSample(int fd, std::uint64_t offset, std::int32_t length, const char* name = "S") {
    SampleHeader s;
    for (std::size_t i = 0; i < s.name.size() && name[i] != '\0'; ++i)
        s.name[i] = name[i];
    s.handle = fd;
    s.dataOffset = offset;
    s.storedLength = length;
    s.playLength = length;
    return s;
}

std::vector<std::int16_t> resident(const SampleHeader& s) {
    return std::vector<std::int16_t>(s.data.get(), s.data.get() + s.residentLength +
                                                       SampleHeader::kPaddingFrames);
}

std::vector<std::int16_t> withPadding(std::vector<std::int16_t> frames) {
    frames.resize(frames.size() + SampleHeader::kPaddingFrames, 0);
    return frames;
}

class SampleStoreTest : public ::testing::Test {
protected:
    TempDir dir;
    StoreFixture f;
};

TEST_F(SampleStoreTest, RawSampleLoadsItsFramesAndPadding) {
    const auto frames = test::tone(500, 1);
    OpenFile file(dir, "raw.bin", "HEAD" + le16(frames) + std::string(46, '\0') + "tail");
    SampleHeader s = rawSample(file.fd, 4, 500);
    EXPECT_EQ(f.load(s), 1000);
    ASSERT_TRUE(s.data);
    EXPECT_EQ(s.residentLength, 500);
    EXPECT_EQ(resident(s), withPadding(frames));
    EXPECT_EQ(s.lastUse, 1000);
    EXPECT_EQ(f.store.used(), 2u * 500 + 46);
    EXPECT_EQ(s.residentBytes, 2u * 500 + 46);
    EXPECT_EQ(f.store.residentCount(), 1u);
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST_F(SampleStoreTest, ResidentSampleIsOnlyStampedAgain) {
    OpenFile file(dir, "raw.bin", le16(test::sine(300, 30)) + std::string(46, '\0'));
    SampleHeader a = rawSample(file.fd, 0, 100);
    SampleHeader b = rawSample(file.fd, 200, 100);
    f.load(a);
    f.load(b);
    const auto* buffer = a.data.get();
    f.now = 2000;
    EXPECT_EQ(f.load(a), 2000);
    EXPECT_EQ(a.data.get(), buffer);
    EXPECT_EQ(a.lastUse, 2000);
    // Still in its place: b, loaded later, stays at the head.
    ASSERT_EQ(f.store.resident().size(), 2u);
    EXPECT_EQ(f.store.resident()[0], &b);
    EXPECT_EQ(f.store.used(), 2 * (2u * 100 + 46));
}

TEST_F(SampleStoreTest, MissingPaddingAtTheEndOfTheFileIsSilence) {
    const auto frames = test::sine(64, 16);
    OpenFile file(dir, "short.bin", le16(frames) + std::string(10, '\x7F'));
    SampleHeader s = rawSample(file.fd, 0, 64);
    f.showErrors = true;
    f.load(s);
    EXPECT_EQ(s.residentLength, 64);
    auto expected = withPadding(frames);
    for (int i = 0; i < 5; ++i) // the five padding frames that the file holds
        expected[64 + static_cast<std::size_t>(i)] = 0x7F7F;
    EXPECT_EQ(resident(s), expected);
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST_F(SampleStoreTest, UnreadableSampleIsSilentAndReportedOnlyWhenAsked) {
    OpenFile file(dir, "short.bin", le16(test::sine(64, 16)));
    SampleHeader s = rawSample(file.fd, 200, 100, "Broken flute"); // past the file's end
    f.load(s);
    ASSERT_TRUE(s.data);
    EXPECT_EQ(s.residentLength, 0);
    EXPECT_EQ(resident(s), std::vector<std::int16_t>(SampleHeader::kPaddingFrames, 0));
    EXPECT_EQ(f.notifier.count(), 0u);
    EXPECT_EQ(f.store.residentCount(), 1u); // resident as silence, not read again

    f.showErrors = true;
    f.load(s);
    EXPECT_EQ(f.notifier.count(), 0u);

    SampleHeader t = rawSample(file.fd, 1 << 20, 10, "Far away"); // offset past the end
    f.load(t);
    SampleHeader u = rawSample(-1, 0, 10, "No file");
    f.load(u);
    ASSERT_EQ(f.notifier.count(), 2u);
    const auto messages = f.notifier.messages();
    EXPECT_EQ(messages[0], (RecordingNotifier::Message{Severity::Error, "Error loading sample",
                                                       "Sample:Far away"}));
    EXPECT_EQ(messages[1].text, "Sample:No file");
}

TEST_F(SampleStoreTest, HostileLengthsAllocateNothingHuge) {
    OpenFile file(dir, "small.bin", std::string(1000, '\1'));
    SampleHeader s = rawSample(file.fd, 0, 0x7FFFFFFF);
    f.load(s);
    EXPECT_EQ(s.residentLength, 500); // what the file holds
    EXPECT_LE(f.store.used(), 1000u + 46u);

    SampleHeader c = rawSample(file.fd, 0, 0x7FFFFFFF);
    c.blockSamples = 0x7FFFFFFF;
    c.compressedBytes = 0xFFFFFFFF; // more than the file holds
    f.load(c);
    EXPECT_EQ(c.residentLength, 0);

    SampleHeader negative = rawSample(file.fd, 0, 100);
    negative.blockSamples = -4;
    negative.compressedBytes = 10;
    f.load(negative);
    EXPECT_EQ(negative.residentLength, 0);

    SampleHeader belowZero = rawSample(file.fd, 0, -50);
    f.load(belowZero);
    EXPECT_EQ(belowZero.residentLength, 0);
    EXPECT_EQ(resident(belowZero), std::vector<std::int16_t>(23, 0x0101));
}

TEST_F(SampleStoreTest, EvictsTheLeastRecentlyUsed) {
    OpenFile file(dir, "raw.bin", le16(test::noise(2000, 3)));
    const std::uint64_t each = 2 * 100 + 46;
    StoreFixture small(3 * each);
    SampleHeader a = rawSample(file.fd, 0, 100), b = rawSample(file.fd, 400, 100),
                 c = rawSample(file.fd, 800, 100), d = rawSample(file.fd, 1200, 100);
    small.now = 1;
    small.load(a);
    small.now = 2;
    small.load(b);
    small.now = 3;
    small.load(c);
    small.now = 4;
    small.load(a); // a is now the most recently used
    small.load(d); // evicts b, the oldest stamp
    EXPECT_FALSE(b.data);
    EXPECT_TRUE(a.data && c.data && d.data);
    EXPECT_EQ(small.store.used(), 3 * each);
    EXPECT_EQ(small.store.resident(), (std::vector<SampleHeader*>{&d, &c, &a}));
}

TEST_F(SampleStoreTest, AmongEqualStampsTheMostRecentlyLoadedGoesFirst) {
    OpenFile file(dir, "raw.bin", le16(test::noise(2000, 3)));
    const std::uint64_t each = 2 * 100 + 46;
    StoreFixture small(2 * each);
    SampleHeader a = rawSample(file.fd, 0, 100), b = rawSample(file.fd, 400, 100),
                 c = rawSample(file.fd, 800, 100);
    small.now = 7; // all in the same second
    small.load(a);
    small.load(b);
    small.load(c); // a and b tie: b, nearer the head, is evicted
    EXPECT_TRUE(a.data);
    EXPECT_FALSE(b.data);
    EXPECT_TRUE(c.data);
}

TEST_F(SampleStoreTest, BudgetTooSmallForTwoKeepsOnlyTheNewest) {
    OpenFile file(dir, "raw.bin", le16(test::noise(2000, 3)));
    StoreFixture tiny(300);
    SampleHeader a = rawSample(file.fd, 0, 100), b = rawSample(file.fd, 400, 100);
    tiny.load(a);
    tiny.now += 1;
    tiny.load(b);
    EXPECT_FALSE(a.data);
    EXPECT_EQ(tiny.store.resident(), (std::vector<SampleHeader*>{&b}));
    EXPECT_EQ(tiny.store.used(), 246u);
    // A sample larger than the whole budget is refused: it stays silent, and evicts
    // nothing for a buffer it cannot have.
    tiny.showErrors = true;
    SampleHeader big = rawSample(file.fd, 0, 1000, "Big");
    tiny.load(big);
    EXPECT_EQ(big.residentLength, 0);
    EXPECT_EQ(tiny.notifier.texts(), (std::vector<std::string>{"Sample:Big"}));
    EXPECT_EQ(tiny.store.resident(), (std::vector<SampleHeader*>{&big, &b}));
}

TEST_F(SampleStoreTest, EvictedBufferStaysAliveForItsVoice) {
    const auto frames = test::noise(2000, 3);
    OpenFile file(dir, "raw.bin", le16(frames));
    StoreFixture tiny(300);
    SampleHeader a = rawSample(file.fd, 0, 100), b = rawSample(file.fd, 400, 100);
    tiny.load(a);
    std::shared_ptr<std::int16_t[]> voice = a.data; // a sounding voice's copy
    tiny.load(b);
    EXPECT_FALSE(a.data);
    EXPECT_EQ(voice[99], frames[99]); // still readable
}

TEST_F(SampleStoreTest, RaisedStoredLengthLoadsAgain) {
    const auto frames = test::tone(1000, 2);
    OpenFile file(dir, "raw.bin", le16(frames) + std::string(46, '\0'));
    SampleHeader s = rawSample(file.fd, 0, 100);
    f.load(s);
    std::shared_ptr<std::int16_t[]> voice = s.data;
    s.storedLength = 900; // a later voice addresses further frames
    f.now = 1500;
    f.load(s);
    EXPECT_NE(s.data.get(), voice.get());
    EXPECT_EQ(s.residentLength, 900);
    EXPECT_EQ(s.residentFor, 900);
    EXPECT_TRUE(std::equal(frames.begin(), frames.begin() + 900, s.data.get()));
    EXPECT_EQ(f.store.used(), 2u * 900 + 46);
    EXPECT_EQ(f.store.residentCount(), 1u);
    EXPECT_EQ(voice[50], frames[50]); // the old buffer lives on for the first voice
    // Lowering it again changes nothing.
    s.storedLength = 10;
    const auto* kept = s.data.get();
    f.load(s);
    EXPECT_EQ(s.data.get(), kept);
}

TEST_F(SampleStoreTest, FramesBeyondTheSampleDataAreNeverRead) {
    // Two samples, then bytes that are not sample data (the bank's records).
    const auto frames = test::tone(100, 2);
    const auto next = test::sine(50, 10);
    const std::string records(400, '\x55');
    OpenFile file(dir, "raw.bin", "HEAD" + le16(frames) + le16(next) + records);
    SampleHeader s = rawSample(file.fd, 4, 100);
    s.dataEnd = 4 + 2 * 150;
    f.showErrors = true;
    f.load(s);
    // A zone addressing 80 frames past the end plays into the next sample, and no further
    // than the data: 150 frames, then silence for padding.
    s.storedLength = 230;
    f.load(s);
    EXPECT_EQ(s.residentLength, 150);
    EXPECT_EQ(s.residentFor, 230);
    std::vector<std::int16_t> expected = frames;
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(resident(s), withPadding(expected));
    EXPECT_EQ(f.notifier.count(), 0u);
    f.load(s); // not read again while resident
    EXPECT_EQ(s.residentLength, 150);

    // A sample ending just before the area's end takes what is left of it as padding.
    SampleHeader t = rawSample(file.fd, 4 + 2 * 140, 5);
    t.dataEnd = s.dataEnd;
    f.load(t);
    EXPECT_EQ(t.residentLength, 5);
    expected.assign(next.begin() + 40, next.end());
    expected.resize(5 + 23, 0);
    EXPECT_EQ(resident(t), expected);

    // One that starts at the area's end holds nothing; one beyond it cannot be read.
    SampleHeader atEnd = rawSample(file.fd, s.dataEnd, 10);
    atEnd.dataEnd = s.dataEnd;
    f.load(atEnd);
    EXPECT_EQ(atEnd.residentLength, 0);
    EXPECT_EQ(f.notifier.count(), 0u);
    SampleHeader beyond = rawSample(file.fd, s.dataEnd + 2, 10, "Beyond");
    beyond.dataEnd = s.dataEnd;
    f.load(beyond);
    EXPECT_EQ(beyond.residentLength, 0);
    EXPECT_EQ(f.notifier.texts(), std::vector<std::string>{"Sample:Beyond"});
}

TEST_F(SampleStoreTest, ForgetAllEmptiesTheList) {
    OpenFile file(dir, "raw.bin", le16(test::noise(1000, 3)));
    SampleHeader a = rawSample(file.fd, 0, 100), b = rawSample(file.fd, 400, 100);
    f.load(a);
    f.load(b);
    f.store.forgetAll();
    EXPECT_EQ(f.store.used(), 0u);
    EXPECT_EQ(f.store.residentCount(), 0u);
}

// A compressed sample stream, scrambled for its place, written after `lead` bytes.
struct CompressedFile {
    std::string bytes;
    SampleHeader header;
};

CompressedFile compressedFile(const std::vector<std::int16_t>& frames, std::size_t lead) {
    SampleEncoder encoder;
    auto encoded = encoder.encode(frames);
    BankScrambler scrambler;
    scrambler.setKeyPosition(lead);
    scrambler.scramble(encoded.stream.data(), encoded.stream.size());
    CompressedFile c;
    c.bytes.assign(lead, 'x');
    c.bytes.append(encoded.stream.begin(), encoded.stream.end());
    c.header.dataOffset = lead;
    c.header.storedLength = static_cast<std::int32_t>(frames.size());
    c.header.compressedBytes = static_cast<std::uint32_t>(encoded.stream.size());
    c.header.blockSamples = encoded.blockSamples;
    return c;
}

TEST_F(SampleStoreTest, CompressedSampleIsUnscrambledAndDecoded) {
    const auto frames = test::tone(5000, 8);
    CompressedFile c = compressedFile(frames, 77);
    OpenFile file(dir, "c.bin", c.bytes + "trailing");
    c.header.handle = file.fd;
    f.load(c.header);
    EXPECT_EQ(c.header.residentLength, 5000);
    EXPECT_EQ(resident(c.header), withPadding(frames));
    EXPECT_EQ(f.store.used(), 2u * 5000 + 46);
}

TEST_F(SampleStoreTest, FramesBeyondTheStreamAreSilence) {
    const auto frames = test::tone(1000, 8);
    CompressedFile c = compressedFile(frames, 10);
    OpenFile file(dir, "c.bin", c.bytes);
    c.header.handle = file.fd;
    c.header.storedLength = 1500; // raised past what the stream holds
    f.showErrors = true;
    f.load(c.header);
    ASSERT_GE(c.header.residentLength, 1000);
    std::vector<std::int16_t> expected = frames;
    expected.resize(static_cast<std::size_t>(c.header.residentLength) + 23, 0);
    EXPECT_EQ(resident(c.header), expected);
    EXPECT_EQ(f.notifier.count(), 0u); // a damaged stream is not detected as an error
}

TEST_F(SampleStoreTest, TruncatedCompressedStreamFailsTheLoad) {
    CompressedFile c = compressedFile(test::tone(1000, 8), 10);
    OpenFile file(dir, "c.bin", c.bytes.substr(0, c.bytes.size() - 1));
    c.header.handle = file.fd;
    f.showErrors = true;
    f.load(c.header);
    EXPECT_EQ(c.header.residentLength, 0);
    EXPECT_EQ(f.notifier.count(), 1u);
}

TEST_F(SampleStoreTest, DestroyingABankForgetsItsResidentSamples) {
    test::Sf2Builder builder = test::smallBank();
    const std::string path = dir.write("bank.sf2", builder.build());
    {
        Csf2file bank(path, f.notifier, f.store);
        ASSERT_TRUE(bank.rdfile());
        for (std::size_t i = 0; i < bank.sampleCount(); ++i)
            f.load(*bank.sample(i));
        EXPECT_EQ(f.store.residentCount(), bank.sampleCount());
        EXPECT_GT(f.store.used(), 0u);
    }
    EXPECT_EQ(f.store.residentCount(), 0u);
    EXPECT_EQ(f.store.used(), 0u);
}

} // namespace
} // namespace korvelt
