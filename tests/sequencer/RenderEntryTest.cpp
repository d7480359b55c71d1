#include "sequencer/RenderTestSupport.h"

#include "bank/Csf2file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

namespace korvelt::test {
namespace {

// Notes on three channels over about eight seconds (two render blocks), with a controller
// the engine does not know on channel 2 at 0.5 s.
std::string song() {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.note(0, 1920, 0, 60, 110);
    t.note(480, 2400, 1, 67, 90);
    t.controlChange(480, 1, 3, 9);
    t.note(4800, 2880, 9, 64, 100);
    t.note(7200, 4800, 0, 72, 120);
    return midi.bytes();
}

// Programs 0 and 1 and the kit, each with a sample of its own, so that a store with room
// for one sample evicts at every change of sample.
std::string threeSampleBank() {
    Sf2Builder b;
    const char* names[] = {"Low", "High", "Kit"};
    std::vector<int> instruments;
    for (int i = 0; i < 3; ++i) {
        std::vector<std::int16_t> frames = rampFrames(44100 + 5000 * std::size_t(i));
        for (auto& f : frames)
            f = static_cast<std::int16_t>(f / (i + 1));
        const int s = b.addSample({.name = names[i], .frames = frames});
        instruments.push_back(
            b.addInstrument(names[i], {Sf2Builder::instrumentZone(s, instantEnvelope())}));
    }
    b.addPreset("Low", 0, 0, {Sf2Builder::presetZone(instruments[0])});
    b.addPreset("High", 0, 1, {Sf2Builder::presetZone(instruments[1])});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(instruments[2])});
    return b.build();
}

// Records each data problem with its place.
class PlaceRecorder final : public Notifier {
public:
    void show(Severity, const std::string& title, const std::string&) override {
        titles.push_back(title);
    }
    void showDataProblem(Severity, const std::string& title, const std::string&,
                         const DataPlace& place) override {
        titles.push_back(title);
        places.push_back(place);
    }
    std::vector<std::string> titles;
    std::vector<DataPlace> places;
};

class RenderEntry : public ::testing::Test {
protected:
    RenderEntry() {
        sf2 = makeSoundBank(rig.dir.write("bank.sf2", simpleBank(rampFrames(3 * 44100))),
                            rig.notifier, rig.engine->store);
        sf2->rdfile();
        midi = std::make_unique<Cmidfil>(rig.dir.write("song.mid", song()), rig.notifier);
        midi->rdmidi();
    }

    RenderRig rig;
    std::unique_ptr<Csf2file> sf2;
    std::unique_ptr<Cmidfil> midi;
};

TEST_F(RenderEntry, EverySinkGetsTheFramesOfTheWaveFileAndStandaloneRendersMatchKeptOnes) {
    const RenderedWave wave = rig.renderWithBank(sf2->name(), midi->name());
    ASSERT_GT(wave.peak, 0);
    EXPECT_EQ(rig.lastOutcome, RenderOutcome::Finished);

    // A standalone render (its own job and rack) into memory: the WAVE file's frames, then
    // the trailing silence the file's header leaves out.
    MemorySink memory;
    EXPECT_EQ(render(*midi, rig.request(*sf2, memory)), RenderOutcome::Finished);
    ASSERT_EQ(memory.samples().size(), wave.bytesAfterHeader / 2);
    ASSERT_GT(memory.samples().size(), wave.samples.size());
    EXPECT_TRUE(std::equal(wave.samples.begin(), wave.samples.end(), memory.samples().begin()));
    EXPECT_TRUE(std::all_of(memory.samples().begin() + std::ptrdiff_t(wave.samples.size()),
                            memory.samples().end(), [](std::int16_t s) { return s == 0; }));
    EXPECT_GE(rig.progress.back(), 100);

    // Through the rack the program keeps, run twice on one job: the same frames each time.
    RenderJob job(*midi);
    for (int run = 0; run < 2; ++run) {
        MemorySink again;
        EXPECT_EQ(render(job, rig.engine->rack, rig.request(*sf2, again)), RenderOutcome::Finished);
        EXPECT_EQ(again.samples(), memory.samples()) << "run " << run;
    }
}

TEST_F(RenderEntry, RendersOnSeveralThreadsSharingOneBankMakeTheSameFrames) {
    MidiFileWriter writer(480);
    auto& t = writer.addTrack();
    t.programChange(0, 1, 1);
    for (std::uint32_t beat = 0; beat < 24; ++beat)
        t.note(beat * 240, 200, beat % 3 == 2 ? 9 : int(beat % 2), 48 + int(beat), 100);
    Cmidfil changes(rig.dir.write("changes.mid", writer.bytes()), rig.notifier);
    ASSERT_TRUE(changes.rdmidi());
    const std::string bankPath = rig.dir.write("three.sf2", threeSampleBank());
    auto own = makeSoundBank(bankPath, rig.notifier, rig.engine->store);
    ASSERT_TRUE(own->rdfile());
    MemorySink reference;
    ASSERT_EQ(render(changes, rig.request(*own, reference)), RenderOutcome::Finished);
    ASSERT_GT(reference.frames(), 0u);

    // A store with room for one sample: every start of another sample evicts, so the
    // threads load, evict and reload the bank's samples under each other's feet.
    SampleStore small(2 * (55000 + SampleHeader::kPaddingFrames));
    auto shared = makeSoundBank(bankPath, rig.notifier, small);
    ASSERT_TRUE(shared->rdfile());

    constexpr int kThreads = 4;
    std::vector<MemorySink> sinks(kThreads);
    std::vector<RenderOutcome> outcomes(kThreads, RenderOutcome::Aborted);
    std::atomic<bool> never{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] {
            RecordingNotifier quiet;
            outcomes[std::size_t(i)] = render(
                changes, RenderRequest{*shared, rig.options, sinks[std::size_t(i)], quiet, never});
        });
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(outcomes[std::size_t(i)], RenderOutcome::Finished);
        EXPECT_EQ(sinks[std::size_t(i)].samples(), reference.samples()) << "thread " << i;
    }
}

TEST_F(RenderEntry, ASinkThatFailsOrMemoryThatRunsOutEndsTheRenderAsAnOutcome) {
    // The sink takes 1000 frames, then fails within the first block: the render stops
    // there, without its tail.
    MemorySink small(1000);
    EXPECT_EQ(render(*midi, rig.request(*sf2, small)), RenderOutcome::SinkFailed);
    EXPECT_EQ(small.frames(), 1000u);
    EXPECT_EQ(rig.progress.size(), 1u);

    // An allocation that fails during the render ends it with no voice left behind.
    RenderJob job(*midi);
    MemorySink memory;
    RenderRequest request = rig.request(*sf2, memory);
    request.progress = [](int) { throw std::bad_alloc(); };
    EXPECT_EQ(render(job, rig.engine->rack, request), RenderOutcome::OutOfMemory);
    for (int c = 0; c < kMidiChannels; ++c) {
        const MidiChannel* channel = job.channel(c);
        EXPECT_TRUE(channel == nullptr || !channel->isSounding()) << c;
    }
    EXPECT_TRUE(rig.notifier.messages().empty()); // the caller says what it means
}

TEST_F(RenderEntry, DataProblemsComeWithTheirChannelAndTimeOnlyWhenShown) {
    PlaceRecorder messages;
    MemorySink memory;
    RenderRequest request{*sf2, rig.options, memory, messages, rig.engine->abortRequested};
    ASSERT_EQ(render(*midi, request), RenderOutcome::Finished);
    EXPECT_TRUE(messages.titles.empty());

    rig.options.showMidiErrors = true;
    MemorySink shown;
    RenderRequest showing{*sf2, rig.options, shown, messages, rig.engine->abortRequested};
    ASSERT_EQ(render(*midi, showing), RenderOutcome::Finished);
    ASSERT_EQ(messages.places.size(), 1u);
    EXPECT_EQ(messages.titles.size(), 1u); // nothing without its place
    EXPECT_EQ(messages.places[0].channel, 1);
    EXPECT_NEAR(messages.places[0].seconds, 0.5, 1.0 / 44100);
    EXPECT_EQ(shown.samples(), memory.samples()); // showing changes nothing of the sound
}

} // namespace
} // namespace korvelt::test
