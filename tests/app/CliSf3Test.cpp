// SoundFont 3 banks on the command line: info, convert, and pack whose bank renders the
// very same bytes.

#include "app/AppTestSupport.h"
#include "support/CliRun.h"
#include "support/VorbisEncode.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt::test {
namespace {

// A looped Ogg Vorbis sine ("Piano", 0:0) and a raw click kit (128:0), terminal records
// unnamed as MuseScore writes them.
std::string sf3Bank() {
    std::vector<float> sine(8000);
    for (std::size_t i = 0; i < sine.size(); ++i) // period 100 frames: 441 Hz
        sine[i] = float(0.4 * std::sin(2.0 * std::numbers::pi * double(i) / 100.0));
    std::vector<std::int16_t> click(400);
    for (std::size_t i = 0; i < click.size(); ++i)
        click[i] = static_cast<std::int16_t>((i % 7 < 3 ? 9000 : -9000) * (400 - int(i)) / 400);
    Sf2Builder b;
    const int s = b.addSample(
        {.name = "Sine", .loopStart = 1000, .loopEnd = 7000, .stream = encodeVorbis(sine)});
    const int c = b.addSample({.name = "Click", .frames = click});
    const int piano =
        b.addInstrument("Piano", {Sf2Builder::instrumentZone(s, {gen(sfgen::kSampleModes, 1)})});
    const int kit = b.addInstrument("Kit", {Sf2Builder::instrumentZone(c)});
    b.addPreset("Piano", 0, 0, {Sf2Builder::presetZone(piano)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(kit)});
    b.setVersion(3, 1);
    b.setTerminalNames("", "", "");
    return b.build();
}

TEST(CliSf3, InfoConvertAndPackedBankRenderTheSameBytes) {
    TempDir dir;
    const std::string sf3 = dir.write("bank.Sf3", sf3Bank());
    const CliRun info = runCli(dir, "info " + quoted(sf3));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, "presets 2\ninstruments 2\nsamples 2\n"
                        "preset 0:0 \"Piano\" zones 1\npreset 128:0 \"Kit\" zones 1\n");

    const std::string csf = dir.file("bank.csf");
    const CliRun pack = runCli(dir, "pack " + quoted(sf3) + " " + quoted(csf));
    ASSERT_EQ(pack.status, 0) << pack.err;

    const std::string song = dir.write("song.mid", noteMidi(0.5));
    for (const std::string& bank : {sf3, csf}) {
        const CliRun run = runCli(dir, "convert -q --show-midi-errors -b " + quoted(bank) + " -o " +
                                           quoted(bank + ".wav") + " " + quoted(song));
        EXPECT_EQ(run.status, 0) << bank << run.err;
        EXPECT_EQ(run.err, "") << bank;
    }
    const std::string fromSf3 = TempDir::read(sf3 + ".wav");
    EXPECT_EQ(fromSf3, TempDir::read(csf + ".wav"));
    EXPECT_GT(wavePeak(sf3 + ".wav"), 8000); // the decoded sine sounds
    // Half a second of 441 Hz and its release: about 220 upward zero crossings or more.
    const std::vector<std::int16_t> samples = waveSamples(sf3 + ".wav");
    int crossings = 0;
    for (std::size_t i = 2; i < samples.size(); i += 2) // left channel
        crossings += samples[i - 2] < 0 && samples[i] >= 0;
    EXPECT_GT(crossings, 215);
}

} // namespace
} // namespace korvelt::test
