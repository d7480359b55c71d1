// Reading speed of the MIDI file reader on a large generated multi-track file and on a
// song-sized one.

#include "midi/Cmidfil.h"
#include "platform/File.h"
#include "platform/Notifier.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <random>
#include <string>
#include <unistd.h>

namespace {

void put(std::string& out, std::initializer_list<int> values) {
    for (int v : values)
        out += static_cast<char>(v & 0xFF);
}

void putVnum(std::string& out, std::uint32_t v) {
    std::string bytes(1, static_cast<char>(v & 0x7F));
    while ((v >>= 7) != 0)
        bytes.insert(bytes.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    out += bytes;
}

void putBe32(std::string& out, std::uint32_t v) {
    put(out, {int(v >> 24), int(v >> 16), int(v >> 8), int(v)});
}

void putMeta(std::string& out, std::uint32_t delta, int type, const std::string& data) {
    putVnum(out, delta);
    put(out, {0xFF, type});
    putVnum(out, static_cast<std::uint32_t>(data.size()));
    out += data;
}

// One track of about `bytes` bytes on `channel`, written as sequencers write them: a name,
// a program change and controllers, then notes (note-offs as note-ons of velocity 0 under
// running status, some with an explicit status), controller and pitch-bend runs, now and
// then a lyric or a system-exclusive message.
std::string trackBody(int channel, std::size_t bytes, std::mt19937& random) {
    std::string out;
    putMeta(out, 0, 0x03, "Track " + std::to_string(channel + 1));
    if (channel == 0)
        putMeta(out, 0, 0x51, std::string("\x07\xA1\x20", 3));
    put(out, {0x00, 0xC0 | channel, channel * 7 % 128, 0x00, 0xB0 | channel, 0x07, 100});
    int running = 0xB0 | channel;
    while (out.size() < bytes) {
        const unsigned r = random() % 100;
        const int key = 36 + static_cast<int>(random() % 48);
        if (r < 70) {
            putVnum(out, random() % 120);
            if (r < 10 || running != (0x90 | channel))
                put(out, {running = 0x90 | channel});
            put(out, {key, 64 + static_cast<int>(random() % 63)});
            putVnum(out, 30 + random() % 400);
            put(out, {key, 0});
        } else if (r < 85) {
            put(out, {0x00, running = 0xB0 | channel, 1, static_cast<int>(random() % 128)});
            for (int i = 0; i < 6; ++i)
                put(out, {0x05, 1, static_cast<int>(random() % 128)});
        } else if (r < 97) {
            put(out, {0x00, running = 0xE0 | channel, 0x00, 0x40});
            for (int i = 0; i < 8; ++i)
                put(out,
                    {0x04, static_cast<int>(random() % 128), static_cast<int>(random() % 128)});
        } else if (r < 99) {
            putMeta(out, 0, 0x05, "la ");
        } else {
            running = 0; // system exclusive cancels the running status
            put(out,
                {0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
        }
    }
    putMeta(out, 0, 0x2F, {});
    return out;
}

std::string midiFile(int tracks, std::size_t bytesPerTrack) {
    std::mt19937 random(1234);
    std::string out = "MThd";
    putBe32(out, 6);
    put(out, {0, 1, 0, tracks, 0x01, 0xE0});
    for (int t = 0; t < tracks; ++t) {
        const std::string body = trackBody(t % 16, bytesPerTrack, random);
        out += "MTrk";
        putBe32(out, static_cast<std::uint32_t>(body.size()));
        out += body;
    }
    return out;
}

// A generated file in the temporary directory, removed at the end.
class TempMidiFile {
public:
    TempMidiFile(const std::string& name, const std::string& bytes)
        : path_((std::filesystem::temp_directory_path() /
                 ("korvelt-bench-" + std::to_string(::getpid()) + "-" + name))
                    .string()),
          size_(bytes.size()) {
        const int fd = korvelt::file::openWrite(path_);
        if (fd < 0 || !korvelt::file::writeAll(fd, bytes.data(), bytes.size()))
            std::abort();
        korvelt::file::close(fd);
    }
    ~TempMidiFile() { korvelt::file::remove(path_); }
    const std::string& path() const { return path_; }
    std::size_t size() const { return size_; }

private:
    std::string path_;
    std::size_t size_;
};

// Generated once per run and read-only afterwards.
const TempMidiFile& largeFile() {
    static const TempMidiFile file("large.mid", midiFile(32, 400 * 1024));
    return file;
}

const TempMidiFile& songFile() {
    static const TempMidiFile file("song.mid", midiFile(12, 4 * 1024));
    return file;
}

void readFile(benchmark::State& state, const TempMidiFile& file) {
    korvelt::RecordingNotifier notifier;
    std::size_t events = 0;
    for (auto _ : state) {
        korvelt::Cmidfil midi(file.path(), notifier);
        if (!midi.rdmidi()) {
            state.SkipWithError(("the generated file did not read: " +
                                 (notifier.texts().empty() ? "" : notifier.texts().front()))
                                    .c_str());
            return;
        }
        for (const korvelt::Ctrack& track : midi.tracks())
            events += track.size();
        benchmark::DoNotOptimize(midi.tracks().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
    state.counters["events/s"] =
        benchmark::Counter(static_cast<double>(events), benchmark::Counter::kIsRate);
    state.counters["file MB"] = static_cast<double>(file.size()) / 1e6;
}

void BM_ReadLargeMidiFile(benchmark::State& state) {
    readFile(state, largeFile());
}
BENCHMARK(BM_ReadLargeMidiFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadSongSizedMidiFile(benchmark::State& state) {
    readFile(state, songFile());
}
BENCHMARK(BM_ReadSongSizedMidiFile)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
