#include "audio/Cwavfil.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Notifier.h"
#include "support/TempDir.h"

namespace korvelt {
namespace {

using test::TempDir;
using ::testing::ElementsAre;

const char* const kOpenwrError = "Cwavfil::openwr\nError while writing Korvelt.wav file";
const char* const kCloseError = "Cwavfil::close\nError while writing Korvelt.wav file";
const char* const kOpenrdError = "Cwavfil::openrd\nError while reading Korvelt.wav file";
const char* const kRescaleError = "Cwavfil::rescale\nError while rescaling WAVE file";

std::uint32_t le32(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return v;
}

std::int16_t sampleAt(const std::string& bytes, std::size_t index) {
    const std::size_t o = 44 + 2 * index;
    return static_cast<std::int16_t>(static_cast<unsigned char>(bytes[o]) |
                                     static_cast<unsigned char>(bytes[o + 1]) << 8);
}

void put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xff);
    s += static_cast<char>(v >> 8);
}

void put32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xff);
}

struct HeaderFields {
    std::uint16_t tag = 1;
    std::uint16_t channels = 2;
    std::uint32_t rate = 44100;
    std::uint16_t bits = 16;
    std::uint32_t dataSize = 0;
    const char* data = "data";
};

// A canonical header with the given fields, followed by the samples.
std::string waveBytes(const HeaderFields& f, const std::vector<std::int16_t>& samples) {
    std::string s = "RIFF";
    put32(s, f.dataSize + 36);
    s += "WAVEfmt ";
    put32(s, 16);
    put16(s, f.tag);
    put16(s, f.channels);
    put32(s, f.rate);
    put32(s, f.rate * f.channels * f.bits / 8);
    put16(s, static_cast<std::uint16_t>(f.channels * f.bits / 8));
    put16(s, f.bits);
    s += f.data;
    put32(s, f.dataSize);
    for (std::int16_t v : samples)
        put16(s, static_cast<std::uint16_t>(v));
    return s;
}

std::string wave(const std::vector<std::int16_t>& samples) {
    HeaderFields f;
    f.dataSize = static_cast<std::uint32_t>(samples.size() * 2);
    return waveBytes(f, samples);
}

class CwavfilTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingNotifier notifier;
};

TEST_F(CwavfilTest, WritesTheCanonicalHeaderAndSizes) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openwr());
    EXPECT_EQ(TempDir::read(name).size(), 44u);
    for (int i = 0; i < 100000; ++i)
        wav.write(static_cast<std::int16_t>(i % 1000 + 1), static_cast<std::int16_t>(-(i % 7) - 1));
    ASSERT_TRUE(wav.close());
    EXPECT_FALSE(wav.failed());
    EXPECT_EQ(wav.frames(), 100000);
    EXPECT_EQ(notifier.count(), 0u);

    const std::string bytes = TempDir::read(name);
    ASSERT_EQ(bytes.size(), 44u + 400000u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(bytes, 4), 400036u);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(bytes, 16), 16u);
    EXPECT_EQ(le32(bytes, 20), 1u | 2u << 16);
    EXPECT_EQ(le32(bytes, 24), 44100u);
    EXPECT_EQ(le32(bytes, 28), 176400u);
    EXPECT_EQ(le32(bytes, 32), 4u | 16u << 16);
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(le32(bytes, 40), 400000u);
    // Interleaved left, right, little-endian, in order across buffer flushes.
    EXPECT_EQ(sampleAt(bytes, 0), 1);
    EXPECT_EQ(sampleAt(bytes, 1), -1);
    EXPECT_EQ(sampleAt(bytes, 2 * 88199), 88199 % 1000 + 1);
    EXPECT_EQ(sampleAt(bytes, 2 * 99999 + 1), -(99999 % 7) - 1);
}

TEST_F(CwavfilTest, TrailingSilenceIsLeftOutOfTheDataSize) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openwr());
    for (int i = 0; i < 50000; ++i)
        wav.write(0, static_cast<std::int16_t>(i % 2 == 0 ? 5 : 0));
    for (int i = 0; i < 3 * 44100; ++i)
        wav.write(0, 0);
    ASSERT_TRUE(wav.close());
    const std::string bytes = TempDir::read(name);
    const std::size_t written = bytes.size() - 44;
    // The last non-silent frame is frame 49998.
    EXPECT_EQ(le32(bytes, 40), 49999u * 4);
    EXPECT_EQ(le32(bytes, 4), 49999u * 4 + 36);
    EXPECT_EQ(written - le32(bytes, 40), 529200u + 4u);
    EXPECT_EQ(wav.frames(), 49999);
    EXPECT_EQ(wav.peak(), 5);
}

TEST_F(CwavfilTest, AllSilentFileKeepsItsLengthWithPeakZero) {
    const std::string name = dir.file("silent.wav");
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openwr());
    for (int i = 0; i < 1000; ++i)
        wav.write(0, 0);
    ASSERT_TRUE(wav.close());
    EXPECT_EQ(wav.peak(), 0);
    EXPECT_EQ(le32(TempDir::read(name), 40), 4000u);
}

TEST_F(CwavfilTest, PeakIsTheLargestMagnitudeOnEitherSide) {
    Cwavfil wav(dir.file("p.wav"), notifier);
    ASSERT_TRUE(wav.openwr());
    wav.write(100, -200);
    EXPECT_EQ(wav.peak(), 200);
    wav.write(-32768, 5);
    EXPECT_EQ(wav.peak(), 32768);
    wav.write(32767, 32767);
    EXPECT_EQ(wav.peak(), 32768);
    ASSERT_TRUE(wav.close());

    // openwr starts a new render from peak 0.
    ASSERT_TRUE(wav.openwr());
    wav.write(3, -4);
    EXPECT_EQ(wav.peak(), 4);
    EXPECT_TRUE(wav.close());
}

TEST_F(CwavfilTest, BulkWriteMatchesFrameByFrameWrites) {
    std::mt19937 rng(7);
    std::vector<std::int16_t> frames;
    // Random stretches of sound and of silence, ending in silence.
    while (frames.size() < 2 * 300000) {
        const int length = std::uniform_int_distribution<int>(1, 30000)(rng);
        const bool silent = rng() % 3 == 0;
        for (int i = 0; i < length; ++i) {
            frames.push_back(silent ? 0 : static_cast<std::int16_t>(rng()));
            frames.push_back(silent ? 0 : static_cast<std::int16_t>(rng() % 3 == 0 ? 0 : rng()));
        }
    }
    for (int i = 0; i < 5000; ++i)
        frames.push_back(0);
    const int count = static_cast<int>(frames.size() / 2);

    Cwavfil single(dir.file("single.wav"), notifier);
    Cwavfil bulk(dir.file("bulk.wav"), notifier);
    ASSERT_TRUE(single.openwr());
    ASSERT_TRUE(bulk.openwr());
    for (int i = 0; i < count; ++i)
        single.write(frames[2 * i], frames[2 * i + 1]);
    int done = 0;
    while (done < count) {
        const int n = std::min(count - done, std::uniform_int_distribution<int>(0, 70000)(rng));
        bulk.writeFrames(frames.data() + 2 * done, n);
        done += n;
        EXPECT_EQ(bulk.peak(), [&] {
            int p = 0;
            for (int i = 0; i < 2 * done; ++i)
                p = std::max(p, std::abs(int(frames[i])));
            return p;
        }()) << done;
    }
    ASSERT_TRUE(single.close());
    ASSERT_TRUE(bulk.close());
    EXPECT_EQ(single.frames(), bulk.frames());
    EXPECT_EQ(single.peak(), bulk.peak());
    EXPECT_EQ(TempDir::read(dir.file("single.wav")), TempDir::read(dir.file("bulk.wav")));
}

TEST_F(CwavfilTest, OpenwrFailureShowsItsMessageWithTheFileAndTheReason) {
    // A directory as the output is refused with its own reason.
    Cwavfil directory(dir.path(), notifier);
    EXPECT_FALSE(directory.openwr());
    EXPECT_THAT(notifier.fileLines(), ElementsAre(dir.path() + ": Is a directory"));
    notifier.clear();

    Cwavfil wav(dir.file("missing-dir/out.wav"), notifier);
    EXPECT_FALSE(wav.openwr());
    EXPECT_EQ(wav.handle(), -1);
    ASSERT_EQ(notifier.count(), 1u);
    const FileProblem problem{dir.file("missing-dir/out.wav"), "No such file or directory"};
    EXPECT_EQ(notifier.messages()[0],
              (RecordingNotifier::Message{Severity::Error, "Error!", kOpenwrError, problem}));
    EXPECT_EQ(wav.problem(), problem);
    // Frames written without an open file are dropped, not sent to a stale descriptor.
    wav.write(1, 1);
    EXPECT_EQ(wav.frames(), 0);
    EXPECT_FALSE(wav.close());
}

// Points the writer's descriptor at /dev/full, where every write fails with ENOSPC, as a
// disk filling up in the middle of a render would.
void fillDisk(const Cwavfil& wav) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    ASSERT_EQ(::dup2(full, wav.handle()), wav.handle());
    ::close(full);
}

TEST_F(CwavfilTest, WriteErrorDuringRenderIsReportedByClose) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openwr());
    for (int i = 0; i < 44100; ++i) // one full buffer reaches the disk
        wav.write(1000, 1000);
    wav.write(1000, 1000);
    fillDisk(wav);
    for (int i = 0; i < 100000; ++i)
        wav.write(2000, 2000);
    EXPECT_TRUE(wav.failed()); // known during the render already
    EXPECT_FALSE(wav.close());
    EXPECT_TRUE(wav.failed());
    EXPECT_EQ(wav.handle(), -1);
    EXPECT_EQ(wav.peak(), 2000);
    EXPECT_THAT(notifier.texts(), ElementsAre(kCloseError));
    EXPECT_THAT(notifier.titles(), ElementsAre("Error!"));
    EXPECT_THAT(notifier.fileLines(), ElementsAre(name + ": No space left on device"));

    // The next render starts clean.
    notifier.clear();
    ASSERT_TRUE(wav.openwr());
    EXPECT_FALSE(wav.failed());
    wav.write(1, 1);
    EXPECT_TRUE(wav.close());
    EXPECT_EQ(notifier.count(), 0u);
}

TEST_F(CwavfilTest, WriteErrorAtCloseIsReported) {
    Cwavfil wav(dir.file("out.wav"), notifier);
    ASSERT_TRUE(wav.openwr());
    for (int i = 0; i < 1000; ++i)
        wav.write(7, 7);
    fillDisk(wav);
    EXPECT_FALSE(wav.failed());
    EXPECT_FALSE(wav.close());
    EXPECT_TRUE(wav.failed());
    EXPECT_THAT(notifier.texts(), ElementsAre(kCloseError));
}

TEST_F(CwavfilTest, FileCutShortByAFullDiskStaysAValidShorterFile) {
    // A file size limit makes writes past two seconds of sound fail (EFBIG), as a full
    // disk would; the header must then describe exactly the frames that reached the disk.
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openwr());
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 44 + 2 * 176400 + 1000;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    for (int i = 0; i < 5 * 44100; ++i)
        wav.write(static_cast<std::int16_t>(i % 3000 + 1), -1);
    const bool closed = wav.close();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(closed);
    EXPECT_THAT(notifier.texts(), ElementsAre(kCloseError));
    EXPECT_THAT(notifier.fileLines(), ElementsAre(name + ": File too large"));
    EXPECT_EQ(wav.frames(), 2 * 44100);
    const std::string bytes = TempDir::read(name);
    EXPECT_EQ(le32(bytes, 40), 2u * 176400);
    EXPECT_EQ(le32(bytes, 4), 2u * 176400 + 36);
    EXPECT_EQ(sampleAt(bytes, 2 * (2 * 44100 - 1)), (2 * 44100 - 1) % 3000 + 1);
    Cwavfil reader(name, notifier);
    ASSERT_TRUE(reader.openrd());
    EXPECT_EQ(reader.frames(), 2 * 44100);
}

TEST_F(CwavfilTest, OpenrdAcceptsStereo16BitAtAnyRate) {
    HeaderFields f;
    f.rate = 22050;
    f.dataSize = 12;
    const std::string name = dir.write("slow.wav", waveBytes(f, {1, 2, 3, 4, 5, 6}));
    Cwavfil wav(name, notifier);
    ASSERT_TRUE(wav.openrd());
    EXPECT_EQ(wav.frames(), 3);
    EXPECT_EQ(wav.position(), 0);
    EXPECT_EQ(wav.format().formatTag, 1);
    EXPECT_EQ(wav.format().channels, 2);
    EXPECT_EQ(wav.format().sampleRate, 22050u);
    EXPECT_EQ(wav.format().bytesPerSecond, 88200u);
    EXPECT_EQ(wav.format().blockAlign, 4);
    EXPECT_EQ(wav.format().bitsPerSample, 16);
    EXPECT_EQ(wav.format().extraSize, 0);
    // Positioned at the first sample for the player.
    std::int16_t first[2];
    ASSERT_EQ(::read(wav.handle(), first, sizeof first), 4);
    EXPECT_EQ(first[0], 1);
    EXPECT_EQ(first[1], 2);
    wav.closeFile();
    EXPECT_EQ(wav.handle(), -1);
    wav.closeFile(); // nothing open: nothing happens
    EXPECT_EQ(notifier.count(), 0u);
}

TEST_F(CwavfilTest, OpenrdTakesFramesFromTheLengthWhenDataSizeIsZero) {
    HeaderFields f;
    f.dataSize = 0;                                     // a render cut off before close
    std::vector<std::int16_t> samples(2 * 1000 + 1, 9); // and half a frame more
    Cwavfil wav(dir.write("cut.wav", waveBytes(f, samples)), notifier);
    ASSERT_TRUE(wav.openrd());
    EXPECT_EQ(wav.frames(), 1000);
}

TEST_F(CwavfilTest, OpenrdRefusesAnythingButTheCanonicalStereo16BitLayout) {
    struct Case {
        const char* what;
        std::string bytes;
    };
    HeaderFields mono;
    mono.channels = 1;
    HeaderFields eightBit;
    eightBit.bits = 8;
    HeaderFields floatTag;
    floatTag.tag = 3;
    HeaderFields zeroRate;
    zeroRate.rate = 0;
    HeaderFields listChunk;
    listChunk.data = "LIST";
    std::string wrongRiff = wave({1, 2});
    wrongRiff[0] = 'X';
    std::string wrongWave = wave({1, 2});
    wrongWave[8] = 'X';
    std::string wrongFmt = wave({1, 2});
    wrongFmt[12] = 'X';
    const std::vector<Case> cases = {
        {"mono", waveBytes(mono, {1, 2})},
        {"8 bits", waveBytes(eightBit, {1, 2})},
        {"not PCM", waveBytes(floatTag, {1, 2})},
        {"rate 0", waveBytes(zeroRate, {1, 2})},
        {"no data chunk at 36", waveBytes(listChunk, {1, 2})},
        {"not RIFF", wrongRiff},
        {"not WAVE", wrongWave},
        {"no fmt chunk", wrongFmt},
        {"43 bytes", wave({}).substr(0, 43)},
        {"empty", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        notifier.clear();
        Cwavfil wav(dir.write("bad.wav", c.bytes), notifier);
        EXPECT_FALSE(wav.openrd());
        EXPECT_EQ(wav.handle(), -1); // the descriptor is closed again
        EXPECT_EQ(notifier.messages(),
                  (std::vector<RecordingNotifier::Message>{
                      {Severity::Error, "Error!", kOpenrdError,
                       FileProblem{dir.file("bad.wav"), "not a 16-bit stereo PCM WAVE file"}}}));
    }
    notifier.clear();
    Cwavfil missing(dir.file("nothing.wav"), notifier);
    EXPECT_FALSE(missing.exists());
    EXPECT_FALSE(missing.openrd());
    EXPECT_THAT(notifier.fileLines(),
                ElementsAre(dir.file("nothing.wav") + ": No such file or directory"));
}

TEST_F(CwavfilTest, TemporaryNameReplacesTheFileNamesOwnExtension) {
    EXPECT_EQ(Cwavfil::temporaryName("out.wav"), "out.tmp");
    EXPECT_EQ(Cwavfil::temporaryName("my.song.wav"), "my.song.tmp");
    EXPECT_EQ(Cwavfil::temporaryName("/data/v1.2/render"), "/data/v1.2/render.tmp");
    EXPECT_EQ(Cwavfil::temporaryName("/data/v1.2/out.wav"), "/data/v1.2/out.tmp");
    EXPECT_EQ(Cwavfil::temporaryName("render"), "render.tmp");
    // Never the file itself.
    EXPECT_EQ(Cwavfil::temporaryName("/x/take.tmp"), "/x/take.tmp.tmp");
}

// Writes samples through a Cwavfil (as a render would) and closes it.
void render(Cwavfil& wav, const std::vector<std::int16_t>& samples) {
    ASSERT_TRUE(wav.openwr());
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2)
        wav.write(samples[i], samples[i + 1]);
    ASSERT_TRUE(wav.close());
}

TEST_F(CwavfilTest, RescaleMultipliesEverySampleWithTheFloorOfTheShift) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    render(wav, {1000, -1, -3, 3, 16383, -16384, 20000, -20000});
    ASSERT_TRUE(wav.rescale(2048));
    EXPECT_EQ(TempDir::read(name), wave({2000, -2, -6, 6, 32766, -32768, 32767, -32768}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.tmp")));

    render(wav, {-3, 3, 1, -1, 0, 0, 7, 7});
    ASSERT_TRUE(wav.rescale(1536));
    EXPECT_EQ(TempDir::read(name), wave({-5, 4, 1, -2, 0, 0, 10, 10}));

    // The gain the application derives from the peak (2717 here) brings the peak to within
    // 1/1024 of full scale without passing it.
    render(wav, {-12345, 12000, 100, -100});
    ASSERT_TRUE(wav.rescale(32767 * 1024 / wav.peak()));
    EXPECT_EQ(TempDir::read(name), wave({-32756, 31839, 265, -266}));
    EXPECT_EQ(notifier.count(), 0u);
}

TEST_F(CwavfilTest, RescaleCopiesOnlyTheDataTheHeaderDescribes) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 2 * 200000; ++i) // several chunks
        samples.push_back(static_cast<std::int16_t>(i % 30000 - 15000));
    samples.insert(samples.end(), 2 * 500, 0); // trailing silence
    render(wav, samples);
    ASSERT_TRUE(wav.rescale(1024));
    samples.resize(2 * 200000);
    EXPECT_EQ(TempDir::read(name), wave(samples));
}

TEST_F(CwavfilTest, RescaleInADottedDirectoryAndOfATmpFile) {
    std::filesystem::create_directory(dir.file("v1.2"));
    const std::string name = dir.file("v1.2/render");
    Cwavfil wav(name, notifier);
    render(wav, {10, 20});
    ASSERT_TRUE(wav.rescale(3072));
    EXPECT_EQ(TempDir::read(name), wave({30, 60}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("v1.tmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("v1.2/render.tmp")));

    const std::string tmpName = dir.file("take.tmp");
    Cwavfil tmp(tmpName, notifier);
    render(tmp, {10, 20});
    ASSERT_TRUE(tmp.rescale(2048));
    EXPECT_EQ(TempDir::read(tmpName), wave({20, 40}));
}

TEST_F(CwavfilTest, FailedRescaleLeavesTheFileUnchangedAndNoTemporaryFile) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    std::vector<std::int16_t> samples(2 * 100000, 1234);
    render(wav, samples);
    // The file lost its end after close: the read comes up short in the second chunk.
    std::filesystem::resize_file(name, 44 + 4 * 60000);
    const std::string before = TempDir::read(name);
    EXPECT_FALSE(wav.rescale(2048));
    EXPECT_EQ(TempDir::read(name), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.tmp")));
    EXPECT_EQ(notifier.messages(),
              (std::vector<RecordingNotifier::Message>{
                  {Severity::Error, "Error!", kRescaleError,
                   FileProblem{name, "its header does not describe its data"}}}));
}

TEST_F(CwavfilTest, RescaleThatCannotCreateItsTemporaryFileChangesNothing) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    render(wav, {5, 6});
    std::filesystem::create_directory(dir.file("out.tmp")); // in the way
    const std::string before = TempDir::read(name);
    EXPECT_FALSE(wav.rescale(2048));
    EXPECT_EQ(TempDir::read(name), before);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("out.tmp"))); // not ours to remove
    EXPECT_THAT(notifier.texts(), ElementsAre(kRescaleError));
    EXPECT_THAT(notifier.fileLines(), ElementsAre(dir.file("out.tmp") + ": Is a directory"));
}

TEST_F(CwavfilTest, RescaleRefusesAFileThatIsNotWhatCloseLeft) {
    const std::string name = dir.file("out.wav");
    Cwavfil wav(name, notifier);
    render(wav, {5, 6, 7, 8});
    // Someone replaced the file with a longer one: copying only two frames would lose data.
    const std::string other = wave({1, 2, 3, 4, 5, 6});
    dir.write("out.wav", other);
    EXPECT_FALSE(wav.rescale(2048));
    EXPECT_EQ(TempDir::read(name), other);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.tmp")));
    EXPECT_THAT(notifier.texts(), ElementsAre(kRescaleError));

    notifier.clear();
    std::filesystem::remove(name);
    EXPECT_FALSE(wav.rescale(2048));
    EXPECT_THAT(notifier.texts(), ElementsAre(kRescaleError));
    EXPECT_THAT(notifier.fileLines(), ElementsAre(name + ": No such file or directory"));
}

} // namespace
} // namespace korvelt
