#include "midi/MidiTestSupport.h"

#include <sys/resource.h>

namespace korvelt::test {
namespace {

using namespace smf;

using ReadTest = MidiReadTest;

// --- What a well-formed file gives ----------------------------------------------------

TEST_F(ReadTest, HeaderValuesAndTracksInFileOrder) {
    const std::string first = bytes({0x00, 0x90, 0x3C, 0x64}) + endOfTrack(10);
    const std::string second = bytes({0x05, 0xC1, 0x07}) + endOfTrack();
    auto midi = read(header(1, 2, 480) + track(first) + track(second));
    expectRead(*midi);
    EXPECT_EQ(midi->format(), 1);
    EXPECT_EQ(midi->trackCount(), 2);
    EXPECT_EQ(midi->division(), 480);
    ASSERT_EQ(midi->tracks().size(), 2u);
    ASSERT_EQ(midi->tracks()[0].size(), 2u);
    EXPECT_EQ(midi->tracks()[0][0].status(), 0x90);
    EXPECT_EQ(midi->tracks()[0][1].tick(), 10);
    ASSERT_EQ(midi->tracks()[1].size(), 2u);
    EXPECT_EQ(midi->tracks()[1][0].command(), 12);
    EXPECT_EQ(midi->tracks()[1][0].tick(), 5);
    EXPECT_EQ(midi->track(1), &midi->tracks()[1]);
    EXPECT_EQ(midi->track(2), nullptr);
}

TEST_F(ReadTest, DivisionWithTopBitAndFormatTwoAreKeptAsStored) {
    auto midi = read(header(2, 1, 0xE728) + track(endOfTrack()));
    expectRead(*midi);
    EXPECT_EQ(midi->division(), 0xE728);
    EXPECT_EQ(midi->format(), 2);
}

TEST_F(ReadTest, HeaderLengthTenSkipsFourExtraBytes) {
    // The extra bytes look like a chunk tag: they must be skipped, not read as one.
    auto midi = read(header(0, 1, 96, "MTrk") + track(endOfTrack()));
    expectRead(*midi);
    EXPECT_EQ(midi->division(), 96);
    ASSERT_EQ(midi->tracks().size(), 1u);
    EXPECT_EQ(midi->tracks()[0].size(), 1u);
}

TEST_F(ReadTest, TrackCountZeroReadsWithoutEventsAndIgnoresTrailingBytes) {
    auto midi = read(header(1, 0, 96) + "garbage that is never read");
    expectRead(*midi);
    EXPECT_EQ(midi->trackCount(), 0);
    EXPECT_TRUE(midi->tracks().empty());
}

TEST_F(ReadTest, EmptyChunkIsAnEmptyTrack) {
    auto midi = read(header(1, 2, 96) + track({}) + track(endOfTrack()));
    expectRead(*midi);
    EXPECT_TRUE(midi->tracks()[0].empty());
    EXPECT_EQ(midi->tracks()[1].size(), 1u);
}

TEST_F(ReadTest, EndOfTrackIsAMetaEventWithoutData) {
    auto midi = read(file(bytes({0x00, 0xFF, 0x2F, 0x00})));
    expectRead(*midi);
    ASSERT_EQ(midi->tracks()[0].size(), 1u);
    const Cmidiev& e = midi->tracks()[0][0];
    EXPECT_EQ(e.kind(), Cmidiev::kMeta);
    EXPECT_EQ(e.metaType(), 0x2F);
    EXPECT_EQ(e.length(), 0u);
    EXPECT_TRUE(e.data().empty());
    EXPECT_EQ(e.tick(), 0);
}

TEST_F(ReadTest, RunningStatusNoteOnWithVelocityZero) {
    auto midi = read(file(bytes({0x00, 0x90, 0x3C, 0x64, 0x00, 0x3C, 0x00})));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 2u);
    for (const Cmidiev& e : t) {
        EXPECT_EQ(e.kind(), Cmidiev::kChannel);
        EXPECT_EQ(e.status(), 0x90);
        EXPECT_EQ(e.tick(), 0);
    }
    EXPECT_EQ(t[0].data2(), 0x64);
    EXPECT_EQ(t[1].data1(), 0x3C);
    EXPECT_EQ(t[1].data2(), 0);
}

TEST_F(ReadTest, OneDataByteMessages) {
    // Program change and channel pressure take one data byte, also under running status.
    auto midi = read(file(bytes({0x00, 0xC5, 0x07, 0x01, 0x08, 0x00, 0xD3, 0x40, 0x00, 0x41})));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 4u);
    const Cchanev program(t[0]);
    EXPECT_EQ(program.command(), 12);
    EXPECT_EQ(program.channel(), 5);
    EXPECT_EQ(program.data1(), 7);
    EXPECT_EQ(program.data2(), 0);
    EXPECT_EQ(t[1].data1(), 8);
    EXPECT_EQ(t[1].tick(), 1);
    EXPECT_EQ(t[3].command(), 13);
    EXPECT_EQ(t[3].channel(), 3);
    EXPECT_EQ(t[3].data1(), 0x41);
}

TEST_F(ReadTest, EveryChannelCommandAndChannel) {
    std::string body;
    for (int command = 8; command <= 14; ++command) {
        const bool one = command == 12 || command == 13;
        body += bytes({0x00, command << 4 | (command + 1), 0x11});
        if (!one)
            body += bytes({0x22});
    }
    auto midi = read(file(body));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        const int command = 8 + i;
        EXPECT_EQ(t[i].command(), command);
        EXPECT_EQ(t[i].channel(), command + 1);
        EXPECT_EQ(t[i].data1(), 0x11);
        EXPECT_EQ(t[i].data2(), command == 12 || command == 13 ? 0 : 0x22);
        EXPECT_EQ(t[i].metaType(), 0);
        EXPECT_EQ(t[i].tempo(), 0);
        EXPECT_EQ(t[i].length(), 0u);
    }
}

TEST_F(ReadTest, TicksAreTheSumOfDeltaTimes) {
    auto midi = read(file(bytes({0x10, 0x90, 0x3C, 0x64}) + vnum(0x2000) + bytes({0x3C, 0}) +
                          vnum(0x0FFFFFFF) + bytes({0x80, 0x3C, 0x00})));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].tick(), 0x10);
    EXPECT_EQ(t[1].tick(), 0x2010);
    EXPECT_EQ(t[2].tick(), 0x2010 + 0x0FFFFFFF);
}

TEST_F(ReadTest, SysexAndMetaEventsKeepTheirBytes) {
    auto midi = read(file(sysex(0, 0xF0, bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7})) +
                          sysex(3, 0xF7, bytes({0x43})) + meta(1, 0x03, "Piano") +
                          sysex(0, 0xF0, {}) + endOfTrack()));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 5u);
    const Csysexev gmOn(t[0]);
    EXPECT_EQ(t[0].kind(), Cmidiev::kSysex);
    EXPECT_EQ(gmOn.status(), 0xF0);
    EXPECT_EQ(std::string(gmOn.data().begin(), gmOn.data().end()),
              bytes({0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(t[0].command(), 0);
    EXPECT_EQ(t[0].channel(), 0);
    EXPECT_EQ(t[0].data1(), 0);
    EXPECT_EQ(t[0].metaType(), 0);
    EXPECT_EQ(t[1].status(), 0xF7);
    EXPECT_EQ(t[1].tick(), 3);
    EXPECT_EQ(t[1].length(), 1u);
    const Cmetaev name(t[2]);
    EXPECT_EQ(t[2].kind(), Cmidiev::kMeta);
    EXPECT_EQ(name.metaType(), 0x03);
    EXPECT_EQ(std::string(name.data().begin(), name.data().end()), "Piano");
    EXPECT_EQ(name.tick(), 4);
    EXPECT_EQ(t[2].command(), 0);
    EXPECT_EQ(t[2].data1(), 0);
    EXPECT_EQ(t[3].length(), 0u);
    EXPECT_TRUE(t[3].data().empty());
}

TEST_F(ReadTest, EventDataStaysValidWhenTheFileObjectMoves) {
    // Many meta events make the byte pool grow several times while reading.
    std::string body;
    for (int i = 0; i < 300; ++i)
        body += meta(1, 0x01, std::string(static_cast<std::size_t>(i % 50), char('a' + i % 26)));
    auto midi = read(header(1, 3, 96) + track(body) + track(body) + track(body));
    expectRead(*midi);
    for (const Ctrack& t : midi->tracks()) {
        ASSERT_EQ(t.size(), 300u);
        for (int i = 0; i < 300; ++i) {
            const auto d = t[static_cast<std::size_t>(i)].data();
            EXPECT_EQ(std::string(d.begin(), d.end()),
                      std::string(static_cast<std::size_t>(i % 50), char('a' + i % 26)));
        }
    }
}

TEST_F(ReadTest, TempoOnlyForThreeByteSetTempo) {
    auto midi = read(file(
        meta(0, 0x51, bytes({0x07, 0xA1, 0x20})) + meta(0, 0x51, bytes({0x07, 0xA1, 0x20, 0x00})) +
        meta(0, 0x51, bytes({0xFF, 0xFF, 0xFF})) + meta(0, 0x01, bytes({0x07, 0xA1, 0x20})) +
        sysex(0, 0xF0, bytes({0x07, 0xA1, 0x20}))));
    expectRead(*midi);
    const Ctrack& t = midi->tracks()[0];
    ASSERT_EQ(t.size(), 5u);
    EXPECT_EQ(t[0].tempo(), 500000);
    EXPECT_EQ(Cmetaev(t[0]).tempo(), 500000);
    EXPECT_EQ(t[1].tempo(), 0);
    EXPECT_EQ(t[2].tempo(), 0xFFFFFF);
    EXPECT_EQ(t[3].tempo(), 0);
    EXPECT_EQ(t[4].tempo(), 0);
}

TEST_F(ReadTest, MetaKeepsRunningStatusSystemMessagesDoNot) {
    // Meta and real-time bytes leave the running status; the next data byte continues it.
    auto keep = read(file(bytes({0x00, 0x91, 0x3C, 0x64}) + meta(0, 0x01, "x") +
                          bytes({0x00, 0x3E, 0x50, 0x00, 0xF8, 0x00, 0x40, 0x51})));
    expectRead(*keep);
    const Ctrack& t = keep->tracks()[0];
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[2].status(), 0x91);
    EXPECT_EQ(t[2].data1(), 0x3E);
    EXPECT_EQ(t[3].status(), 0x91);
    EXPECT_EQ(t[3].data1(), 0x40);

    // System exclusive cancels it.
    auto sysexCancels = read(
        file(bytes({0x00, 0x91, 0x3C, 0x64}) + sysex(0, 0xF0, "\x7F") + bytes({0x00, 0x3E, 0x50})));
    expectFailure(*sysexCancels, {kNoRunningStatus, kFileMessage});

    // So does a system common message.
    auto commonCancels = read(file(bytes({0x00, 0x91, 0x3C, 0x64, 0x00, 0xF6, 0x00, 0x3E, 0x50})));
    expectFailure(*commonCancels, {kNoRunningStatus, kFileMessage});
}

TEST_F(ReadTest, SystemCommonAndRealTimeMessagesAreSkipped) {
    // F1 xx, F2 xx xx, F3 xx, F4, F5, F6, F8-FE: no events, their data bytes are consumed
    // (a data byte that looks like a status is still data), and the ticks still count.
    std::string body = bytes({0x01, 0xF1, 0x90, 0x01, 0xF2, 0x90, 0x80, 0x01, 0xF3, 0xFF, 0x01,
                              0xF4, 0x01, 0xF5, 0x01, 0xF6});
    for (int b = 0xF8; b <= 0xFE; ++b)
        body += bytes({0x01, b});
    body += bytes({0x01, 0x90, 0x3C, 0x64});
    auto midi = read(file(body));
    expectRead(*midi);
    ASSERT_EQ(midi->tracks()[0].size(), 1u);
    EXPECT_EQ(midi->tracks()[0][0].status(), 0x90);
    EXPECT_EQ(midi->tracks()[0][0].tick(), 14);
}

TEST_F(ReadTest, EndOfTrackDoesNotEndTheChunk) {
    auto midi = read(file(endOfTrack() + bytes({0x00, 0x90, 0x3C, 0x64})));
    expectRead(*midi);
    ASSERT_EQ(midi->tracks()[0].size(), 2u);
    EXPECT_EQ(midi->tracks()[0][1].kind(), Cmidiev::kChannel);
}

TEST_F(ReadTest, ChunkEndingAfterACompleteEventEndsTheTrack) {
    // The first chunk ends right after a note; the next bytes are the next chunk's tag.
    auto midi = read(header(1, 2, 96) + track(bytes({0x00, 0x90, 0x3C, 0x64})) +
                     track(bytes({0x00, 0x3C, 0x00})));
    // Running status does not carry into the next track.
    expectFailure(*midi, {kNoRunningStatus, kFileMessage});
    ASSERT_EQ(midi->tracks().size(), 2u);
    EXPECT_EQ(midi->tracks()[0].size(), 1u);
}

// --- Failures: the messages, in order ---------------------------------------------------

TEST_F(ReadTest, HeaderProblemsGiveTheFileMessageAlone) {
    const std::string good = header(0, 1, 96) + track(endOfTrack());
    const std::vector<std::string> fileOnly = {kFileMessage};
    // Not a Standard MIDI file at all: the message says so, with the file's name.
    const auto notMidi = [&](const std::string& bytes) {
        auto midi = read(bytes);
        expectFailure(*midi, fileOnly);
        ASSERT_TRUE(midi->problem());
        EXPECT_EQ(*midi->problem(), (FileProblem{midi->name(), "not a Standard MIDI file"}));
        EXPECT_EQ(notifier_.messages().back().file, midi->problem());
    };
    notMidi("");
    notMidi("MTh");
    notMidi("RIFF" + good.substr(4));
    notMidi("mthd" + good.substr(4));
    // Cut inside the length, format, track count or division.
    notMidi(good.substr(0, 6));
    notMidi(good.substr(0, 13));
    // A header length below 6 cannot hold format, track count and division.
    for (std::int64_t length : {0, 5})
        notMidi(header(0, 0, 96, {}, length));
    // Extra header bytes beyond the end of the file, up to the largest length.
    notMidi(header(0, 0, 96, "ab", 10));
    notMidi(header(0, 0, 96, {}, 0xFFFFFFFF));

    // A file that cannot be opened: the system's reason.
    for (const auto& [path, reason] :
         {std::pair{dir_.file("no-such-file.mid"), "No such file or directory"},
          std::pair{dir_.path(), "Is a directory"}}) {
        Cmidfil midi(path, notifier_);
        notifier_.clear();
        EXPECT_FALSE(midi.rdmidi());
        expectFailure(midi, fileOnly);
        EXPECT_EQ(notifier_.messages().back().file, (FileProblem{path, reason}));
    }
}

TEST_F(ReadTest, BadTrackChunkHead) {
    const std::vector<std::string> expected = {kBadData, kFileMessage};
    // A chunk of another type is skipped; then the file ends where the track should be.
    expectFailure(*read(header(0, 1, 96) + "MTrX" + be32(4) + endOfTrack()), expected);
    expectFailure(*read(header(0, 1, 96) + "MTr"), expected);
    expectFailure(*read(header(0, 1, 96) + "MTrk" + bytes({0, 0, 4})), expected);
    // Fewer chunks than the track count.
    auto missingTrack = read(header(1, 3, 96) + track(endOfTrack()) + track(endOfTrack()));
    expectFailure(*missingTrack, expected);
    EXPECT_EQ(missingTrack->tracks().size(), 3u);
    EXPECT_EQ(missingTrack->tracks()[1].size(), 1u);
    EXPECT_TRUE(missingTrack->tracks()[2].empty());
}

TEST_F(ReadTest, VariableLengthNumberFailures) {
    const std::vector<std::string> expected = {kBadVnum, kFileMessage};
    // Four bytes, all with the top bit set.
    expectFailure(*read(file(bytes({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}))), expected);
    // A delta time cut by the end of the chunk (the next chunk's bytes are not used).
    expectFailure(*read(header(1, 2, 96) + track(bytes({0x00, 0x90, 0x3C, 0x64, 0x81})) +
                        track(endOfTrack())),
                  expected);
    // System-exclusive and meta lengths.
    expectFailure(*read(file(bytes({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}))), expected);
    expectFailure(*read(file(bytes({0x00, 0xFF, 0x01, 0x80, 0x80, 0x80, 0x80, 0x00}))), expected);
    expectFailure(*read(file(bytes({0x00, 0xF7, 0x83}))), expected);
    // The file ends inside the chunk just after a complete event: no delta time can follow.
    expectFailure(*read(header(0, 1, 96) + track(bytes({0x00, 0x90, 0x3C, 0x64}), 12)), expected);
}

TEST_F(ReadTest, DataByteWithoutRunningStatus) {
    auto midi = read(file(meta(0, 0x01, "a") + bytes({0x00, 0x3C, 0x64})));
    expectFailure(*midi, {kNoRunningStatus, kFileMessage});
    // The event read before the fault stays in the track.
    ASSERT_EQ(midi->tracks().size(), 1u);
    ASSERT_EQ(midi->tracks()[0].size(), 1u);
    EXPECT_EQ(midi->tracks()[0][0].data()[0], 'a');
}

TEST_F(ReadTest, SysexAndMetaDataRunningPastTheChunk) {
    // The length claims more bytes than the chunk has, though the file has them (the next
    // chunk): the data must not be taken from there.
    const std::string next = track(endOfTrack());
    expectFailure(*read(header(1, 2, 96) + track(bytes({0x00, 0xF0, 0x20})) + next),
                  {kBadSysex, kFileMessage});
    expectFailure(*read(header(1, 2, 96) + track(bytes({0x00, 0xFF, 0x01, 0x20})) + next),
                  {kBadMeta, kFileMessage});
    // Data running past the end of the file.
    expectFailure(*read(header(0, 1, 96) + track(sysex(0, 0xF0, "abcdef"), 100).substr(0, 14)),
                  {kBadSysex, kFileMessage});
    expectFailure(*read(header(0, 1, 96) + track(meta(0, 0x05, "abcdef"), 100).substr(0, 15)),
                  {kBadMeta, kFileMessage});
}

TEST_F(ReadTest, EventBytesMissingAtTheEndOfTheChunk) {
    const std::vector<std::string> expected = {kBadData, kFileMessage};
    const std::string next = track(bytes({0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}));
    // Status byte, channel data bytes, meta type, system common data: never from the
    // following chunk.
    for (const std::string& body :
         {bytes({0x00}), bytes({0x00, 0x90}), bytes({0x00, 0x90, 0x3C}), bytes({0x00, 0xC0}),
          bytes({0x00, 0xFF}), bytes({0x00, 0xF2, 0x01}), bytes({0x00, 0xF1})}) {
        SCOPED_TRACE(::testing::PrintToString(body));
        expectFailure(*read(header(1, 2, 96) + track(body) + next), expected);
    }
}

TEST_F(ReadTest, TickBeyondSigned32BitsIsBadData) {
    std::string body;
    for (int i = 0; i < 8; ++i)
        body += vnum(0x0FFFFFFF) + bytes({0x90, 0x3C, 0x64});
    auto full = read(file(body));
    expectRead(*full); // 8 * (2^28 - 1) still fits
    EXPECT_EQ(full->tracks()[0][7].tick(), 8 * 0x0FFFFFFF);
    body += vnum(8) + bytes({0x3C, 0x00});
    expectFailure(*read(file(body)), {kBadData, kFileMessage});
}

TEST_F(ReadTest, TracksBeforeAFailureStayAndAReadStartsAfresh) {
    const std::string good = track(bytes({0x00, 0x90, 0x3C, 0x64}) + endOfTrack(4));
    const std::string path =
        dir_.write("twice.mid", header(1, 3, 96) + good +
                                    track(bytes({0x00, 0xC0, 0x05}) + sysex(0, 0xF0, "abc") +
                                          bytes({0x00, 0xF0, 0x10})));
    Cmidfil midi(path, notifier_);
    for (int round = 0; round < 2; ++round) {
        notifier_.clear();
        EXPECT_FALSE(midi.rdmidi());
        expectFailure(midi, {kBadSysex, kFileMessage});
        EXPECT_EQ(midi.trackCount(), 3);
        ASSERT_EQ(midi.tracks().size(), 2u);
        EXPECT_EQ(midi.tracks()[0].size(), 2u);
        ASSERT_EQ(midi.tracks()[1].size(), 2u); // the program change and the complete sysex
        EXPECT_EQ(midi.tracks()[1][1].length(), 3u);
        EXPECT_EQ(midi.track(2), nullptr);
    }
    dir_.write("twice.mid", header(1, 1, 96) + good);
    notifier_.clear();
    EXPECT_TRUE(midi.rdmidi());
    expectRead(midi);
    EXPECT_EQ(midi.tracks().size(), 1u);
}

// --- Chunks of other types and RIFF MIDI files -------------------------------------------

// The header values and every event of every track as text: files that read alike give
// the same text.
std::string contents(const Cmidfil& midi) {
    std::string out = std::to_string(midi.format()) + "/" + std::to_string(midi.trackCount()) +
                      "/" + std::to_string(midi.division());
    for (const Ctrack& track : midi.tracks()) {
        out += "\ntrack";
        for (const Cmidiev& e : track) {
            out += " " + std::to_string(e.tick()) + ":" + std::to_string(e.kind()) + ":" +
                   std::to_string(e.status()) + ":" + std::to_string(e.data1()) + ":" +
                   std::to_string(e.data2()) + ":" + std::to_string(e.metaType()) + ":";
            out.append(reinterpret_cast<const char*>(e.data().data()), e.data().size());
        }
    }
    return out;
}

const std::string kFirstTrack =
    track(bytes({0x00, 0x90, 0x3C, 0x64}) + meta(0, 0x51, bytes({0x07, 0xA1, 0x20})) +
          bytes({0x60, 0x3C, 0x00}) + endOfTrack(10));
const std::string kSecondTrack = track(bytes({0x05, 0xC1, 0x07}) + sysex(0, 0xF0, "xyz\xF7") +
                                       bytes({0x00, 0x91, 0x40, 0x50}) + endOfTrack());
const std::string kHeader = header(1, 2, 480);

TEST_F(ReadTest, ChunksOfOtherTypesAreSkippedWhereverTheyStand) {
    auto plain = read(kHeader + kFirstTrack + kSecondTrack);
    expectRead(*plain);
    const std::string expected = contents(*plain);
    // Vendor chunks, one whose body looks like a track, one empty.
    const std::string xfih = "XFIH" + be32(6) + "abcdef";
    const std::string xfkm = "XFKM" + be32(12) + track(endOfTrack());
    const std::string empty = "junk" + be32(0);
    for (const std::string& bytes :
         {kHeader + xfih + kFirstTrack + kSecondTrack,
          kHeader + kFirstTrack + xfkm + empty + kSecondTrack,
          kHeader + kFirstTrack + kSecondTrack + xfih + xfkm,
          kHeader + empty + xfih + kFirstTrack + xfkm + kSecondTrack + empty}) {
        auto midi = read(bytes);
        expectRead(*midi);
        EXPECT_EQ(contents(*midi), expected);
    }
}

TEST_F(ReadTest, AChunkOfAnotherTypeCutByTheEndIsAMissingTrack) {
    const std::vector<std::string> expected = {kBadData, kFileMessage};
    // Its length runs past the end of the file.
    auto cut = read(kHeader + kFirstTrack + "XFIH" + be32(100) + kSecondTrack);
    expectFailure(*cut, expected);
    ASSERT_EQ(cut->tracks().size(), 2u);
    EXPECT_EQ(cut->tracks()[0].size(), 4u);
    EXPECT_TRUE(cut->tracks()[1].empty());
    // The file ends after it, or inside its head.
    expectFailure(*read(kHeader + kFirstTrack + "XFIH" + be32(2) + "ab"), expected);
    expectFailure(*read(kHeader + kFirstTrack + "XFIH" + bytes({0, 0})), expected);
}

TEST_F(ReadTest, ARiffMidiFileReadsAsTheFileInItsDataChunk) {
    const std::string smf = kHeader + kFirstTrack + "XFIH" + be32(1) + "!" + kSecondTrack;
    auto plain = read(smf);
    expectRead(*plain);
    const std::string expected = contents(*plain);
    const std::string info = riffChunk("LIST", "INFOINAM" + le32(5) + "Song" + bytes({0, 0}));
    const std::string odd = riffChunk("DISP", "abc"); // padded to an even size
    for (const std::string& bytes :
         {rmid(smf), rmid(smf, info + odd), rmid(smf, odd, info), rmid(smf + "x", {}, odd)}) {
        auto midi = read(bytes);
        expectRead(*midi);
        EXPECT_EQ(contents(*midi), expected);
    }
}

TEST_F(ReadTest, ARiffMidiFileIsCheckedAgainstItsSizes) {
    const std::string smf = kHeader + kFirstTrack + kSecondTrack;
    const std::vector<std::string> fileOnly = {kFileMessage};
    // Not a RIFF MIDI file; no data chunk; a data chunk beyond the RIFF size.
    std::string wave = rmid(smf);
    wave.replace(8, 4, "WAVE");
    expectFailure(*read(wave), fileOnly);
    expectFailure(*read(rmid(smf).substr(0, 12)), fileOnly);
    expectFailure(*read("RIFF" + le32(4 + 8 + 6) + "RMID" + riffChunk("DISP", "abcdef")), fileOnly);
    std::string beyond = rmid(smf);
    beyond.replace(4, 4, le32(static_cast<std::uint32_t>(4 + 8 + smf.size() - 1)));
    expectFailure(*read(beyond), fileOnly);
    // The file is read within the data chunk only: a track whose length runs past it does
    // not take the next chunk's bytes (here a chunk type that reads as an end of track),
    // and fails as a track cut by the end of the file.
    const std::string longTrack = kHeader + kFirstTrack + track(endOfTrack(), 8);
    expectRead(*read(longTrack + endOfTrack()));
    const std::string next = riffChunk(endOfTrack(), "tail");
    expectFailure(*read(rmid(longTrack, {}, next)), {kBadVnum, kFileMessage});
}

// Peak resident memory of this process, in kilobytes.
long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(ReadTest, HugeLengthsInATinyFileAllocateNothingLarge) {
    const long before = peakKilobytes();
    expectFailure(*read(header(0, 1, 96) + "MTrk" + be32(0xFFFFFFFF) + endOfTrack()),
                  {kBadVnum, kFileMessage});
    expectFailure(
        *read(header(0, 1, 96) + track(bytes({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F}), 0xFFFFFFFF)),
        {kBadSysex, kFileMessage});
    expectFailure(*read(header(0, 1, 96) +
                        track(bytes({0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F}), 0xFFFFFFFF)),
                  {kBadMeta, kFileMessage});
    expectFailure(*read(header(0, 0xFFFF, 96) + track(endOfTrack())), {kBadData, kFileMessage});
    EXPECT_LT(peakKilobytes() - before, 64 * 1024);
}

} // namespace
} // namespace korvelt::test
