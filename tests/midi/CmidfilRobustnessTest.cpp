#include "midi/MidiTestSupport.h"

#include <algorithm>
#include <random>

namespace korvelt::test {
namespace {

using namespace smf;

// Event pieces labelled with the message a cut inside them must give.
void delta(LabelledFile& f, std::uint32_t ticks) {
    f.add(vnum(ticks), kBadVnum);
}

void channel(LabelledFile& f, std::uint32_t ticks, const std::string& message) {
    delta(f, ticks);
    for (char c : message)
        f.add(std::string(1, c), kBadData); // status and data bytes alike
}

void metaEvent(LabelledFile& f, std::uint32_t ticks, int type, const std::string& data) {
    delta(f, ticks);
    f.add(bytes({0xFF, type}), kBadData);
    f.add(vnum(static_cast<std::uint32_t>(data.size())), kBadVnum);
    f.add(data, kBadMeta);
}

void sysexEvent(LabelledFile& f, std::uint32_t ticks, int status, const std::string& data) {
    delta(f, ticks);
    f.add(bytes({status}), kBadData);
    f.add(vnum(static_cast<std::uint32_t>(data.size())), kBadVnum);
    f.add(data, kBadSysex);
}

// Three tracks using every kind of event, multi-byte numbers and a header with two
// extra bytes.
LabelledFile multiTrackFile() {
    LabelledFile file;
    file.add(header(1, 3, 384, "xy"), "");

    LabelledFile conductor;
    metaEvent(conductor, 0, 0x03, "Conductor");
    metaEvent(conductor, 0, 0x51, bytes({0x07, 0xA1, 0x20}));
    metaEvent(conductor, 0, 0x58, bytes({4, 2, 24, 8}));
    metaEvent(conductor, 1536, 0x51, bytes({0x06, 0x1A, 0x80}));
    metaEvent(conductor, 0, 0x2F, {});
    file.addTrack(conductor);

    LabelledFile piano;
    sysexEvent(piano, 0, 0xF0, bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    channel(piano, 0, bytes({0xC0, 0x00}));
    channel(piano, 0, bytes({0xB0, 0x07, 0x64}));
    channel(piano, 96, bytes({0x90, 0x3C, 0x64}));
    channel(piano, 0, bytes({0x40, 0x50})); // running status
    metaEvent(piano, 0, 0x05, "la");        // keeps it
    channel(piano, 200, bytes({0x3C, 0x00}));
    channel(piano, 0, bytes({0xF8})); // real-time, skipped
    channel(piano, 0, bytes({0x40, 0x00}));
    channel(piano, 20000, bytes({0xE0, 0x00, 0x40}));
    channel(piano, 0, bytes({0xF2, 0x10, 0x20})); // system common, skipped
    sysexEvent(piano, 0, 0xF7, std::string(200, '\x11'));
    channel(piano, 0, bytes({0xD0, 0x30}));
    metaEvent(piano, 0, 0x2F, {});
    file.addTrack(piano);

    LabelledFile drums;
    for (int i = 0; i < 8; ++i) {
        channel(drums, 48, bytes({0x99, 36 + i, 0x70}));
        channel(drums, 48, bytes({0x89, 36 + i, 0x00}));
    }
    metaEvent(drums, 0x0FFFFFFF, 0x2F, {});
    file.addTrack(drums);
    return file;
}

// What every read must satisfy, whether it succeeded or not.
void checkConsistent(const Cmidfil& midi, const RecordingNotifier& notifier, std::size_t fileSize) {
    const std::vector<std::string> texts = notifier.texts();
    for (const auto& m : notifier.messages()) {
        EXPECT_EQ(m.title, "Error!");
        EXPECT_EQ(m.severity, Severity::Error);
    }
    if (midi.loaded()) {
        EXPECT_TRUE(texts.empty());
        EXPECT_EQ(midi.tracks().size(), midi.trackCount());
    } else {
        // The specific message, then the file message; the file message alone for a
        // header problem, before any track was begun.
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), kFileMessage);
        ASSERT_LE(texts.size(), 2u);
        if (texts.size() == 2) {
            static const std::vector<std::string> specific = {kBadData, kBadVnum, kNoRunningStatus,
                                                              kBadSysex, kBadMeta};
            EXPECT_NE(std::find(specific.begin(), specific.end(), texts[0]), specific.end())
                << texts[0];
            EXPECT_FALSE(midi.tracks().empty());
        } else {
            EXPECT_TRUE(midi.tracks().empty());
        }
        EXPECT_LE(midi.tracks().size(), midi.trackCount());
    }

    std::size_t dataBytes = 0;
    for (const Ctrack& track : midi.tracks()) {
        std::int32_t previous = 0;
        for (const Cmidiev& e : track) {
            EXPECT_GE(e.tick(), previous);
            previous = e.tick();
            EXPECT_EQ(e.data().size(), e.length());
            dataBytes += e.length();
            switch (e.kind()) {
            case Cmidiev::kChannel:
                EXPECT_GE(e.status(), 0x80);
                EXPECT_LE(e.status(), 0xEF);
                EXPECT_EQ(e.length(), 0u);
                if (e.command() == 12 || e.command() == 13) {
                    EXPECT_EQ(e.data2(), 0);
                }
                break;
            case Cmidiev::kSysex:
                EXPECT_TRUE(e.status() == 0xF0 || e.status() == 0xF7);
                EXPECT_EQ(e.data1() | e.data2() | e.metaType() | e.command(), 0);
                break;
            case Cmidiev::kMeta:
                EXPECT_EQ(e.data1() | e.data2() | e.command() | e.channel(), 0);
                if (e.metaType() == 0x51 && e.length() == 3) {
                    EXPECT_EQ(e.tempo(), e.data()[0] << 16 | e.data()[1] << 8 | e.data()[2]);
                } else {
                    EXPECT_EQ(e.tempo(), 0);
                }
                break;
            default:
                ADD_FAILURE() << "kind " << e.kind();
            }
        }
    }
    EXPECT_LE(dataBytes, fileSize);
}

using RobustnessTest = MidiReadTest;

TEST_F(RobustnessTest, TheWholeFileReads) {
    const LabelledFile file = multiTrackFile();
    auto midi = read(file.bytes());
    expectRead(*midi);
    checkConsistent(*midi, notifier_, file.bytes().size());
    ASSERT_EQ(midi->tracks().size(), 3u);
    EXPECT_EQ(midi->tracks()[0].size(), 5u);
    EXPECT_EQ(midi->tracks()[0][3].tempo(), 400000);
    EXPECT_EQ(midi->tracks()[1].size(), 12u);
    EXPECT_EQ(midi->tracks()[1][4].status(), 0x90);
    EXPECT_EQ(midi->tracks()[1][8].tick(), 20296);
    EXPECT_EQ(midi->tracks()[2].size(), 17u);
    EXPECT_EQ(midi->tracks()[2][16].tick(), 16 * 48 + 0x0FFFFFFF);
}

TEST_F(RobustnessTest, EveryPrefixFailsWithTheMessageOfWhatWasCut) {
    const LabelledFile file = multiTrackFile();
    const std::string& whole = file.bytes();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE("prefix of " + std::to_string(size) + " bytes");
        auto midi = read(whole.substr(0, size));
        const std::string& cut = file.cutMessage(size);
        if (cut.empty())
            expectFailure(*midi, {kFileMessage});
        else
            expectFailure(*midi, {cut, kFileMessage});
        checkConsistent(*midi, notifier_, size);
        if (HasFailure())
            return;
    }
}

TEST_F(RobustnessTest, ARiffMidiFileCutAnywhereFailsAsThePlainFileWould) {
    const LabelledFile file = multiTrackFile();
    const std::string wrapped = rmid(file.bytes());
    constexpr std::size_t kWrapping = 20; // "RIFF", size, "RMID", "data", size
    for (std::size_t size = 0; size < wrapped.size(); ++size) {
        SCOPED_TRACE("prefix of " + std::to_string(size) + " bytes");
        auto midi = read(wrapped.substr(0, size));
        if (size < kWrapping) {
            expectFailure(*midi, {kFileMessage});
        } else if (size - kWrapping >= file.bytes().size()) {
            expectRead(*midi); // only the pad byte is missing
        } else {
            const std::string& cut = file.cutMessage(size - kWrapping);
            if (cut.empty())
                expectFailure(*midi, {kFileMessage});
            else
                expectFailure(*midi, {cut, kFileMessage});
        }
        checkConsistent(*midi, notifier_, size);
        if (HasFailure())
            return;
    }
}

TEST_F(RobustnessTest, RandomCorruptionsNeverCrashAndReportConsistently) {
    const std::string whole = multiTrackFile().bytes();
    std::mt19937 random(0x5EED);
    std::uniform_int_distribution<int> anyByte(0, 255);
    // Bytes that matter most to the reader: status bytes, top-bit patterns, tags.
    const std::string interesting =
        bytes({0x00, 0x7F, 0x80, 0x81, 0xFF, 0xF0, 0xF7, 0x90, 0xC0, 0xF2, 0xF8, 'M', 'T'});
    int loaded = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string bytes = whole;
        const int edits = 1 + round % 3;
        for (int i = 0; i < edits && !bytes.empty(); ++i) {
            const std::size_t at = random() % bytes.size();
            const char value = round % 2 ? static_cast<char>(anyByte(random))
                                         : interesting[random() % interesting.size()];
            switch (random() % 4) {
            case 0:
            case 1:
                bytes[at] = value;
                break;
            case 2:
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(at), value);
                break;
            default:
                bytes.erase(at, 1);
            }
        }
        SCOPED_TRACE("round " + std::to_string(round));
        auto midi = read(bytes);
        checkConsistent(*midi, notifier_, bytes.size());
        loaded += midi->loaded();
        if (HasFailure())
            return;
    }
    // Some corruptions (inside text or note data) leave a readable file; most do not.
    EXPECT_GT(loaded, 0);
    EXPECT_LT(loaded, 4000);
}

} // namespace
} // namespace korvelt::test
