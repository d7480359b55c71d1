#include "app/MixerModel.h"
#include "app/OptionsModel.h"
#include "app/Settings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt {
namespace {

using test::TempDir;

// Opens the dialog on the Settings, lets `edit` change its controls and presses OK.
template <class Edit>
void openEditOk(Settings& s, const std::string& ini, Edit edit) {
    OptionsValues v = options::fromSettings(s);
    edit(v);
    options::ok(v, s, ini);
}

TEST(Options, OkWithoutChangesKeepsEverythingButTheDelayTime) {
    TempDir dir;
    Settings s;
    s.defaultSoundBank = "/banks/gm.sf2";
    s.defaultOutputFile = "/music/out.wav";
    const OptionsValues v = options::fromSettings(s);
    EXPECT_TRUE(v.slower && v.higher && v.rescaleOutput && !v.showMidiErrors);
    EXPECT_EQ(v.tempoText, "0");
    EXPECT_EQ(v.transposeText, "0");
    EXPECT_EQ(std::vector({v.roomSize, v.damping, v.reverbAmount, v.chorusAmount, v.delayTime,
                           v.modulation, v.feedback, v.delayAmount, v.stereoSpread, v.masterVolume,
                           v.compressor}),
              std::vector({5, 5, 5, 5, 9, 0, 0, 5, 4, 10, 8}));

    // Cancel: the values are dropped, nothing is written anywhere.
    EXPECT_FALSE(std::filesystem::exists(dir.file("k.ini")));

    options::ok(v, s, dir.file("k.ini"));
    Settings d;
    d.setDefaults();
    EXPECT_EQ(s.render.delayTimeMs, 22);
    EXPECT_EQ(s.render.showMidiErrors, d.render.showMidiErrors);
    EXPECT_EQ(s.rescaleOutput, d.rescaleOutput);
    EXPECT_EQ(s.render.tempoPercent, 0);
    EXPECT_EQ(s.render.transposeSemitones, 0);
    EXPECT_FLOAT_EQ(s.render.reverbRoomSize, 0.5f);
    EXPECT_EQ(s.render.reverbDamping, 50);
    EXPECT_FLOAT_EQ(s.render.reverbAmount, 0.0f);
    EXPECT_FLOAT_EQ(s.render.chorusAmount, 0.0f);
    EXPECT_EQ(s.render.masterVolumeDb, 0);
    EXPECT_EQ(s.render.compressorLevel, 8);
    EXPECT_EQ(s.render.delayModulationMs, 0);
    EXPECT_FLOAT_EQ(s.render.delayFeedback, 0.0f);
    EXPECT_FLOAT_EQ(s.render.delayAmount, 0.5f);
    EXPECT_EQ(s.render.delayStereoSpreadMs, 8);
    // The default files are saved, the output first.
    EXPECT_EQ(TempDir::read(dir.file("k.ini")),
              "[Files]\nOutput File=/music/out.wav\nSound Bank=/banks/gm.sf2\n");
}

TEST(Options, ValuesSetByTheDialogReopenAtTheirPositions) {
    TempDir dir;
    Settings s;
    openEditOk(s, dir.file("k.ini"), [](OptionsValues& v) {
        v.roomSize = 7;
        v.reverbAmount = 1;
        v.chorusAmount = 10;
        v.damping = 3;
        v.feedback = 9;
        v.delayAmount = 0;
        v.stereoSpread = 20;
        v.modulation = 20;
        v.masterVolume = 0;
        v.compressor = 0;
        v.showMidiErrors = true;
        v.rescaleOutput = false;
    });
    EXPECT_FLOAT_EQ(s.render.reverbRoomSize, 0.7f);
    EXPECT_FLOAT_EQ(s.render.reverbAmount, -0.8f);
    EXPECT_FLOAT_EQ(s.render.chorusAmount, 1.0f);
    EXPECT_EQ(s.render.reverbDamping, 30);
    EXPECT_FLOAT_EQ(s.render.delayFeedback, 0.9f);
    EXPECT_EQ(s.render.delayStereoSpreadMs, 40);
    EXPECT_EQ(s.render.masterVolumeDb, -20);
    const OptionsValues v = options::fromSettings(s);
    EXPECT_EQ(
        std::vector({v.roomSize, v.damping, v.reverbAmount, v.chorusAmount, v.feedback,
                     v.delayAmount, v.stereoSpread, v.modulation, v.masterVolume, v.compressor}),
        std::vector({7, 3, 1, 10, 9, 0, 20, 20, 0, 0}));
    EXPECT_TRUE(v.showMidiErrors);
    EXPECT_FALSE(v.rescaleOutput);

    // Master volume: the middle is 0 dB, the ends -20 and +20; odd values show truncated.
    for (auto [position, dB] : {std::pair{0, -20}, {10, 0}, {20, 20}, {13, 6}}) {
        openEditOk(s, dir.file("k.ini"), [&](OptionsValues& o) { o.masterVolume = position; });
        EXPECT_EQ(s.render.masterVolumeDb, dB);
        EXPECT_EQ(options::fromSettings(s).masterVolume, position);
    }
    s.render.masterVolumeDb = -5;
    EXPECT_EQ(options::fromSettings(s).masterVolume, 8);
}

TEST(Options, TempoAndTranspositionTextsAndSigns) {
    TempDir dir;
    Settings s;
    auto set = [&](const char* tempo, bool slower, const char* transpose, bool higher) {
        openEditOk(s, dir.file("k.ini"), [&](OptionsValues& v) {
            v.tempoText = tempo;
            v.slower = slower;
            v.transposeText = transpose;
            v.higher = higher;
        });
    };
    set("5", false, "7", false);
    EXPECT_EQ(s.render.tempoPercent, -5);
    EXPECT_EQ(s.render.transposeSemitones, -7);
    OptionsValues v = options::fromSettings(s);
    EXPECT_FALSE(v.slower);
    EXPECT_EQ(v.tempoText, "5");
    EXPECT_FALSE(v.higher);
    EXPECT_EQ(v.transposeText, "7");
    set("-5", true, "+3", true); // not unsigned whole numbers
    EXPECT_EQ(s.render.tempoPercent, 0);
    EXPECT_EQ(s.render.transposeSemitones, 0);
    set("12x", true, "", false);
    EXPECT_EQ(s.render.tempoPercent, 0);
    set("250", true, "12", true);
    EXPECT_EQ(s.render.tempoPercent, 250);
    EXPECT_EQ(s.render.transposeSemitones, 12);
    // Faster by 100 % or more would stop the music: the tempo is held at 99 % faster.
    set("150", false, "99999999999999999999", true);
    EXPECT_EQ(s.render.tempoPercent, -99);
    EXPECT_EQ(s.render.transposeSemitones, 127);
}

TEST(Options, DelayTimeScaleAndLongFileNames) {
    const std::vector<int> expected = {1,  1,  2,  3,   4,   6,   8,   11,  16,  22,  32,
                                       45, 63, 89, 126, 178, 251, 355, 501, 708, 1000};
    for (int p = 0; p <= 20; ++p) {
        EXPECT_EQ(options::delayTimeFromPosition(p), expected[std::size_t(p)]) << p;
        // Positions 0 and 1 both give 1 ms, which opens at 0.
        EXPECT_EQ(options::delayTimePosition(expected[std::size_t(p)]), p == 1 ? 0 : p);
    }
    EXPECT_EQ(options::delayTimePosition(20), 9);
    EXPECT_EQ(options::delayTimePosition(0), 0);
    EXPECT_EQ(options::delayTimePosition(5000), 20);

    TempDir dir;
    Settings s;
    openEditOk(s, dir.file("k.ini"), [](OptionsValues& v) {
        v.defaultSoundBank = std::string(5000, 'b');
        v.defaultOutputFile = "/o.wav";
    });
    EXPECT_EQ(s.defaultSoundBank.size(), 4095u);
    EXPECT_EQ(s.defaultOutputFile, "/o.wav");
}

TEST(Mixer, StripsFollowTheSettings) {
    EXPECT_EQ(mixer::labelId(0), 1027);
    EXPECT_EQ(mixer::soloId(0), 1030);
    EXPECT_EQ(std::vector(
                  {mixer::labelId(15), mixer::sliderId(15), mixer::muteId(15), mixer::soloId(15)}),
              std::vector({1088, 1089, 1090, 1091}));

    Settings s;
    MixerStrips strips;
    mixer::fill(s, strips);
    for (const MixerStrip& m : strips) {
        EXPECT_EQ(m.label, "");
        EXPECT_EQ(m.position, 5);
        EXPECT_FALSE(m.mute);
    }

    // Solo writes the Settings at once: Cancel keeps it.
    mixer::solo(s, strips, 2);
    for (int i = 0; i < kMidiChannels; ++i) {
        EXPECT_EQ(s.render.mixer[std::size_t(i)].muted, i != 2);
        EXPECT_EQ(strips[std::size_t(i)].mute, i != 2);
    }

    // Sliders and boxes change the Settings only on OK.
    s.channelLabels[0] = "Flute";
    mixer::fill(s, strips);
    strips[0].position = 0;
    strips[2].mute = true;
    strips[15].position = 10;
    EXPECT_EQ(s.render.mixer[0].volumeCb, 0);
    mixer::apply(strips, s);
    EXPECT_EQ(s.render.mixer[0].volumeCb, 250);
    EXPECT_EQ(s.render.mixer[15].volumeCb, -250);
    EXPECT_TRUE(s.render.mixer[2].muted);
    MixerStrips reopened;
    mixer::fill(s, reopened);
    EXPECT_EQ(reopened[0].position, 0);
    EXPECT_EQ(reopened[0].label, "Flute");
    EXPECT_EQ(reopened[15].position, 10);

    // Reset writes at once too and keeps the labels: Cancel after it leaves 0 dB, unmuted.
    mixer::reset(s, reopened);
    for (std::size_t i = 0; i < s.render.mixer.size(); ++i) {
        EXPECT_EQ(s.render.mixer[i].volumeCb, 0);
        EXPECT_FALSE(s.render.mixer[i].muted);
        EXPECT_EQ(reopened[i].position, 5);
        EXPECT_FALSE(reopened[i].mute);
    }
    EXPECT_EQ(reopened[0].label, "Flute");
}

} // namespace
} // namespace korvelt
