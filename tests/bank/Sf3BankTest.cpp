// SoundFont 3 banks: samples stored as Ogg Vorbis streams beside raw ones, decoded by the
// sample store on first use, packed losslessly, and damaged or foreign streams that silence
// only their own zones.

#include "bank/BankPacker.h"
#include "bank/Ccompsf.h"
#include "bank/CodecStream.h"
#include "bank/SoundBank.h"
#include "platform/File.h"

#include "BankTestSupport.h"
#include "support/TempDir.h"
#include "support/VorbisEncode.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <random>

namespace korvelt {
namespace {

using test::Sf2Builder;

// A sine of `period` frames at `amplitude` of full scale.
std::vector<float> sineWave(std::size_t frames, double period, double amplitude) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i)
        out[i] = float(amplitude * std::sin(2.0 * std::numbers::pi * double(i) / period));
    return out;
}

constexpr std::size_t kHighFrames = 8820; // 0.2 s of 441 Hz: period 100 frames
constexpr std::size_t kLowFrames = 6001;  // 220.5 Hz: period 200 frames

struct Sf3Bank {
    std::string high = test::encodeVorbis(sineWave(kHighFrames, 100.0, 0.5));
    std::string low = test::encodeVorbis(sineWave(kLowFrames, 200.0, 0.25));
    std::vector<std::int16_t> raw = test::tone(700, 3);
    Sf2Builder builder;

    // Streams around a raw sample, the MuseScore way: version 3, terminal records unnamed.
    explicit Sf3Bank(std::uint16_t version = 3) {
        const int h =
            builder.addSample({.name = "High", .loopStart = 1000, .loopEnd = 5000, .stream = high});
        const int r = builder.addSample({.name = "Raw",
                                         .frames = raw,
                                         .loopStart = 10,
                                         .loopEnd = 600,
                                         .sampleType = 2,
                                         .padding = 46});
        const int l = builder.addSample({.name = "Low",
                                         .loopStart = 2000,
                                         .loopEnd = 4000,
                                         .sampleLink = 1,
                                         .sampleType = 4,
                                         .stream = low});
        const int lead = builder.addInstrument(
            "Lead", {Sf2Builder::instrumentZone(h, {test::keyRange(0, 63)}),
                     Sf2Builder::instrumentZone(r, {test::keyRange(64, 127)}),
                     Sf2Builder::instrumentZone(l, {test::keyRange(64, 127)})});
        builder.addPreset("Lead", 0, 0, {Sf2Builder::presetZone(lead)});
        builder.addPreset("Lead too", 0, 1, {Sf2Builder::presetZone(lead)});
        builder.setVersion(version, 1);
        builder.setTerminalNames("", "", "");
    }
    std::string bytes() { return builder.build(); }
    // Where stream n (0 high, 2 low) begins in a built file.
    std::size_t streamAt(int sample) const {
        return builder.layout().smplBody +
               builder.layout().sampleStart[static_cast<std::size_t>(sample)];
    }
};

std::vector<std::int16_t> frames(const SampleHeader& s) {
    return std::vector<std::int16_t>(s.data.get(), s.data.get() + s.residentLength);
}

// Upward zero crossings in [from, to).
int crossings(const std::vector<std::int16_t>& f, std::size_t from, std::size_t to) {
    int n = 0;
    for (std::size_t i = from + 1; i < to; ++i)
        n += f[i - 1] < 0 && f[i] >= 0;
    return n;
}

double rms(const std::vector<std::int16_t>& f, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(f[i]) * f[i];
    return std::sqrt(sum / double(to - from));
}

TEST(Sf3Bank, StreamsDecodeToTheirPitchLevelAndLoopsWhateverTheVersionOrName) {
    for (const std::uint16_t version : {3, 2}) {
        SCOPED_TRACE(version);
        Sf3Bank made(version);
        test::TempDir dir;
        const std::string path = dir.write("bank.SF3", made.bytes());
        test::StoreFixture f;
        f.showErrors = true;
        std::unique_ptr<Csf2file> bank = makeSoundBank(path, f.notifier, f.store);
        ASSERT_TRUE(bank->rdfile());
        // The last record of every list is its terminal record, named or not.
        EXPECT_EQ(bank->presetCount(), 2u);
        EXPECT_EQ(bank->instrumentCount(), 1u);
        EXPECT_EQ(bank->sampleCount(), 3u);
        EXPECT_EQ(bank->presetZones(1).size(), 1u);
        EXPECT_EQ(bank->instrumentZones(0).size(), 3u);

        SampleHeader& high = *bank->sample(0);
        SampleHeader& raw = *bank->sample(1);
        SampleHeader& low = *bank->sample(2);
        // Frame counts from the streams; loops in decoded frames, not in bytes of "smpl";
        // the compressed bit leaves the type, so stereo pairs still pair.
        EXPECT_TRUE(high.codecStream && low.codecStream && !raw.codecStream);
        EXPECT_EQ(high.playLength, std::int32_t(kHighFrames));
        EXPECT_EQ(low.playLength, std::int32_t(kLowFrames));
        EXPECT_EQ(high.loopStart, 1000);
        EXPECT_EQ(high.loopEnd, 5000);
        EXPECT_EQ(low.loopStart, 2000);
        EXPECT_EQ(low.loopEnd, 4000);
        EXPECT_EQ(high.sampleType, kSampleTypeMono);
        EXPECT_EQ(low.sampleType, kSampleTypeLeft);
        EXPECT_EQ(raw.sampleType, kSampleTypeRight);
        EXPECT_EQ(low.compressedBytes, made.low.size());
        EXPECT_EQ(raw.playLength, 700);
        EXPECT_EQ(raw.loopEnd, 600);

        // Nothing is decoded before a voice asks.
        EXPECT_EQ(f.store.residentCount(), 0u);
        for (SampleHeader* s : {&high, &raw, &low})
            f.load(*s);
        EXPECT_EQ(f.notifier.count(), 0u);
        ASSERT_EQ(high.residentLength, std::int32_t(kHighFrames));
        ASSERT_EQ(low.residentLength, std::int32_t(kLowFrames));
        EXPECT_EQ(frames(raw), made.raw);
        const auto h = frames(high);
        const auto l = frames(low);
        EXPECT_EQ(crossings(h, 950, 4950), 40);  // 441 Hz
        EXPECT_EQ(crossings(l, 1900, 3900), 10); // 220.5 Hz
        EXPECT_NEAR(rms(h, 1000, 5000), 0.5 * 32768 / std::sqrt(2.0), 250.0);
        EXPECT_NEAR(rms(l, 2000, 4000), 0.25 * 32768 / std::sqrt(2.0), 150.0);
        // The loop points sit on the same phase of the decoded wave (both zero crossings).
        for (std::size_t at : {1000u, 5000u})
            EXPECT_LT(std::abs(h[at]), 400) << at;
        EXPECT_GT(h[1025], 15000); // a quarter period on: the crest
        for (std::size_t at : {2000u, 4000u})
            EXPECT_LT(std::abs(l[at]), 300) << at;
        // The padding after the decoded frames is silence.
        for (int i = 0; i < SampleHeader::kPaddingFrames; ++i)
            ASSERT_EQ(high.data[kHighFrames + std::size_t(i)], 0);
    }
}

// libvorbisfile's own 16-bit output of a whole stream (rounded to nearest, ties to even).
std::vector<std::int16_t> referenceFrames(std::string stream) {
    std::vector<std::int16_t> out;
    FILE* in = fmemopen(stream.data(), stream.size(), "rb");
    OggVorbis_File vf;
    if (in == nullptr || ov_open(in, &vf, nullptr, 0) != 0)
        return out;
    char buffer[4096];
    int link = 0;
    long got = 0;
    while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &link)) > 0)
        for (long i = 0; i + 1 < got; i += 2)
            out.push_back(
                std::int16_t(std::uint8_t(buffer[i]) | (std::uint8_t(buffer[i + 1]) << 8)));
    ov_clear(&vf); // closes `in`
    return out;
}

TEST(Sf3Bank, DecodedFramesAreRoundedAndClippedTo16Bits) {
    // A square wave at full scale overshoots after coding: the peaks clip at the 16-bit
    // limits instead of wrapping around; every frame is the nearest 16-bit value.
    std::vector<float> square(4000);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 50) % 2 ? -1.0f : 1.0f;
    const std::string stream = test::encodeVorbis(square);
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
    std::vector<std::int16_t> out;
    ASSERT_TRUE(codec::decodeVorbis(bytes, square.size(), out));
    ASSERT_EQ(out.size(), square.size());
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 32767);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), -32768);
    const std::vector<std::int16_t> reference = referenceFrames(stream);
    ASSERT_EQ(reference.size(), out.size());
    std::size_t differ = 0; // only exact halves may round the other way
    for (std::size_t i = 0; i < out.size(); ++i) {
        ASSERT_LE(std::abs(out[i] - reference[i]), 1) << i;
        differ += out[i] != reference[i];
    }
    EXPECT_LE(differ, out.size() / 1000);
    // One frame more or fewer than the stream holds is a failure, not a truncation.
    EXPECT_FALSE(codec::decodeVorbis(bytes, square.size() - 1, out));
    EXPECT_LE(out.size(), square.size());
    EXPECT_FALSE(codec::decodeVorbis(bytes, square.size() + 1, out));
}

TEST(Sf3Bank, DamagedAndForeignStreamsSilenceOnlyTheirOwnSamples) {
    Sf3Bank made;
    std::string good = made.bytes();
    const std::size_t highAt = made.streamAt(0);
    const std::size_t shdr = made.builder.layout().chunkHead[8] + 8;
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* text; // the message's text
    };
    const std::vector<Case> cases = {
        {"bytes inside the stream",
         [&](std::string& b) {
             for (std::size_t i = made.high.size() / 2; i < made.high.size() / 2 + 40; ++i)
                 b[highAt + i] = char(b[highAt + i] ^ 0x5A);
         },
         "Sample:High"},
        {"a last page claiming more frames",
         [&](std::string& b) {
             const std::size_t page = highAt + made.high.rfind("OggS");
             b[page + 6] = char(b[page + 6] + 1);
         },
         "Sample:High"},
        {"a granule beyond what the bytes can hold",
         [&](std::string& b) {
             const std::size_t page = highAt + made.high.rfind("OggS");
             b[page + 12] = 0x10;
         },
         "Sample:High"},
        {"an end beyond smpl",
         [&](std::string& b) { Sf2Builder::patch32(b, shdr + 24, 0x7FFFFFF0); }, "Sample:High"},
        {"start after end",
         [&](std::string& b) {
             Sf2Builder::patch32(b, shdr + 20, std::uint32_t(made.high.size() + 2));
         },
         "Sample:High"},
        {"a FLAC stream", [&](std::string& b) { b.replace(highAt, 4, "fLaC"); },
         "Sample:High\nIts data is compressed as FLAC; only Ogg Vorbis samples can be played."},
        {"an Opus stream",
         [&](std::string& b) {
             b.replace(highAt + 27 + std::uint8_t(b[highAt + 26]), 8, "OpusHead");
         },
         "Sample:High\nIts data is compressed as Opus; only Ogg Vorbis samples can be played."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = good;
        c.damage(bytes);
        test::TempDir dir;
        test::StoreFixture f;
        f.showErrors = true;
        Csf2file bank(dir.write("bank.sf3", bytes), f.notifier, f.store);
        ASSERT_TRUE(bank.rdfile());
        SampleHeader& high = *bank.sample(0);
        SampleHeader& low = *bank.sample(2);
        f.load(high);
        f.load(low);
        EXPECT_EQ(high.residentLength, 0);
        ASSERT_NE(high.data, nullptr);
        EXPECT_EQ(high.data[0], 0);
        EXPECT_LE(high.loopEnd, high.playLength);
        EXPECT_LE(high.dataOffset + high.compressedBytes, high.dataEnd); // within smpl
        EXPECT_EQ(low.residentLength, std::int32_t(kLowFrames)); // the other stream plays
        EXPECT_EQ(f.notifier.titles(), std::vector<std::string>{"Error loading sample"});
        EXPECT_EQ(f.notifier.texts(), std::vector<std::string>{c.text});
        EXPECT_LT(f.store.used(), 64u * 1024);
        // Not decoded again while resident.
        f.load(high);
        EXPECT_EQ(f.notifier.count(), 1u);
        // The packer refuses the sample rather than packing silence.
        const PackReport report = BankPacker().pack(bank, dir.file("out.csf"));
        EXPECT_FALSE(report.ok);
        EXPECT_EQ(report.error, "the data of sample \"High\" cannot be read from the bank file");
        EXPECT_FALSE(file::exists(dir.file("out.csf")));
    }
}

TEST(Sf3Bank, RandomDamageNeverCrashesOrOverAllocates) {
    Sf3Bank made;
    const std::string good = made.bytes();
    const std::size_t at = made.streamAt(2);
    std::mt19937 rng(17);
    test::TempDir dir;
    for (int round = 0; round < 60; ++round) {
        std::string bytes = good;
        std::uniform_int_distribution<std::size_t> where(0, made.low.size() - 1);
        const int flips = 1 + round % 8;
        for (int i = 0; i < flips; ++i)
            bytes[at + where(rng)] = char(rng());
        test::StoreFixture f;
        Csf2file bank(dir.write("fuzz.sf3", bytes), f.notifier, f.store);
        ASSERT_TRUE(bank.rdfile());
        SampleHeader& low = *bank.sample(2);
        f.load(low);
        // All of the stream, or silence; never more frames than the stream's size allows.
        EXPECT_TRUE(low.residentLength == 0 || low.residentLength == low.playLength) << round;
        EXPECT_LE(std::uint64_t(low.playLength), low.compressedBytes * codec::kMaxFramesPerByte);
    }
}

TEST(Sf3Bank, PackStoresTheDecodedFramesLosslessly) {
    Sf3Bank made;
    test::TempDir dir;
    test::StoreFixture f;
    Csf2file source(dir.write("bank.sf3", made.bytes()), f.notifier, f.store);
    ASSERT_TRUE(source.rdfile());
    const PackReport report = BankPacker().pack(source, dir.file("bank.csf"));
    ASSERT_TRUE(report.ok) << report.error;
    Ccompsf packed(dir.file("bank.csf"), f.notifier, f.store);
    ASSERT_TRUE(packed.rdfile()); // no compressed-data type bit is written
    ASSERT_EQ(packed.samples().size(), source.samples().size());
    for (std::size_t i = 0; i + 1 < source.samples().size(); ++i) {
        SampleHeader& a = source.samples()[i];
        SampleHeader& b = packed.samples()[i];
        EXPECT_FALSE(b.codecStream);
        EXPECT_EQ(a.playLength, b.playLength);
        EXPECT_EQ(a.loopStart, b.loopStart);
        EXPECT_EQ(a.loopEnd, b.loopEnd);
        EXPECT_EQ(a.sampleType, b.sampleType);
        EXPECT_EQ(a.sampleLink, b.sampleLink);
        f.load(a);
        f.load(b);
        ASSERT_EQ(a.residentLength, b.residentLength) << i;
        EXPECT_EQ(frames(a), frames(b)) << i;
    }
    EXPECT_EQ(f.notifier.count(), 0u);
}

TEST(Sf3Bank, StreamFramesComeFromTheLastPageEndingTheStream) {
    const std::string stream = test::encodeVorbis(sineWave(3000, 50.0, 0.3));
    const auto bytes =
        std::span(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
    EXPECT_EQ(codec::identify(bytes), codec::Codec::Vorbis);
    EXPECT_EQ(codec::streamFrames(bytes, bytes.size()), 3000u);
    // A tail that ends inside a page, or holds no page head, has no length.
    EXPECT_EQ(codec::streamFrames(bytes.first(bytes.size() - 1), bytes.size()), std::nullopt);
    EXPECT_EQ(codec::streamFrames(bytes.last(20), bytes.size()), std::nullopt);
    // A granule the stream's bytes cannot hold is refused.
    EXPECT_EQ(codec::streamFrames(bytes, 0), std::nullopt);
    EXPECT_EQ(codec::streamFrames(bytes, 1), 3000u); // 4096 frames per byte at most
}

const char* const kLite = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";

TEST(Sf3Bank, MuseScoreGeneralLiteReadsAndItsStreamsDecodeToTheirLengths) {
    if (!file::exists(kLite))
        GTEST_SKIP() << kLite << " is not installed";
    test::StoreFixture f;
    f.showErrors = true;
    Csf2file bank(kLite, f.notifier, f.store);
    ASSERT_TRUE(bank.rdfile());
    EXPECT_EQ(bank.presetCount(), 311u);
    EXPECT_EQ(bank.sampleCount(), 1254u);
    // Every 50th sample, so that the sanitizer build stays quick.
    for (std::size_t i = 0; i < bank.sampleCount(); i += 50) {
        SampleHeader& s = *bank.sample(i);
        ASSERT_GT(s.playLength, 0) << i;
        f.load(s);
        ASSERT_EQ(s.residentLength, s.playLength) << recordNameText(s.name);
        EXPECT_LE(s.loopEnd, s.playLength);
    }
    EXPECT_EQ(f.notifier.count(), 0u);
}

} // namespace
} // namespace korvelt
