#include "app/SettingsFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvelt {
namespace {

using test::TempDir;

TEST(Settings, DefaultsAreTheBuiltInOnes) {
    Settings s;
    s.render.tempoPercent = 40;
    s.render.delayTimeMs = 300;
    s.setDefaults();
    EXPECT_FALSE(s.render.showMidiErrors);
    EXPECT_EQ(s.render.tempoPercent, 0);
    EXPECT_EQ(s.render.transposeSemitones, 0);
    EXPECT_FLOAT_EQ(s.render.reverbRoomSize, 0.5f);
    EXPECT_EQ(s.render.reverbDamping, 50);
    EXPECT_TRUE(s.rescaleOutput);
    EXPECT_EQ(s.render.compressorLevel, 8);
    EXPECT_EQ(s.render.delayTimeMs, 20);
    EXPECT_EQ(s.render.delayModulationMs, 0);
    EXPECT_FLOAT_EQ(s.render.delayAmount, 0.5f);
    EXPECT_EQ(s.render.delayStereoSpreadMs, 8);
}

TEST(Settings, ResetMixerClearsEveryEntry) {
    Settings s;
    s.channelLabels[3] = "Flute";
    s.render.mixer[3].volumeCb = 250;
    s.render.mixer[15].muted = true;
    s.resetMixer();
    for (const auto& label : s.channelLabels)
        EXPECT_TRUE(label.empty());
    for (const auto& c : s.render.mixer) {
        EXPECT_EQ(c.volumeCb, 0);
        EXPECT_FALSE(c.muted);
    }
}

TEST(SettingsFile, WithoutFileTheDefaultsLiveInTheirDirectories) {
    TempDir dir;
    auto dirs = AppDirectories::make(dir.path(), "/start", std::nullopt, std::nullopt);
    Settings s;
    // A bank beside the program wins over every fallback.
    dir.write("Korvelt.sf2", "x");
    loadSettings(s, dirs, dir.file("missing.ini"));
    EXPECT_EQ(s.defaultSoundBank, dir.file("Korvelt.sf2"));
    // TMP unset: the output lands in the start-up directory.
    EXPECT_EQ(s.defaultOutputFile, "/start/Korvelt.wav");
}

TEST(SettingsFile, TempDirectoryPrefersTmpThenTmpdir) {
    EXPECT_EQ(AppDirectories::make("/p", "/s", "/t1", "/t2").tempDirectory, "/t1");
    EXPECT_EQ(AppDirectories::make("/p", "/s", std::nullopt, "/t2/").tempDirectory, "/t2");
    EXPECT_EQ(AppDirectories::make("/p", "/s", std::nullopt, std::nullopt).tempDirectory, "/s");
}

TEST(SettingsFile, BankFallsBackToTheInstallationThenTheSystemBank) {
    TempDir dir;
    dir.write("share/.keep", "");
    std::filesystem::create_directories(dir.file("bin"));
    std::filesystem::create_directories(dir.file("share/korvelt"));
    const std::string program = dir.file("bin");
    const std::string installed = dir.file("share/korvelt/Korvelt.sf2");
    if (std::filesystem::exists(kSystemGeneralMidiBank))
        EXPECT_EQ(builtInSoundBank(program), kSystemGeneralMidiBank);
    else
        EXPECT_EQ(builtInSoundBank(program), program + "/Korvelt.sf2");
    dir.write("share/korvelt/Korvelt.sf2", "x");
    EXPECT_EQ(builtInSoundBank(program), installed);
}

TEST(SettingsFile, StoredNamesConvertSeparatorsAndStayRelativeWhenTheyHoldOne) {
    TempDir dir;
    auto dirs = AppDirectories::make("/prog", "/start", "/tmp/x", std::nullopt);
    auto ini = dir.write("k.ini", "[Files]\nSound Bank=banks\\gm.sf2\nOutput File=song.wav\n");
    Settings s;
    loadSettings(s, dirs, ini);
    EXPECT_EQ(s.defaultSoundBank, "banks/gm.sf2");
    EXPECT_EQ(s.defaultOutputFile, "/tmp/x/song.wav");

    dir.write("k.ini", "[Files]\nSound Bank=mybank.sf2\nOutput File=C:\\Music\\song.wav\n");
    loadSettings(s, dirs, ini);
    EXPECT_EQ(s.defaultSoundBank, "/prog/mybank.sf2");
    EXPECT_EQ(s.defaultOutputFile, "C:/Music/song.wav");
}

TEST(SettingsFile, SaveWritesOutputFileBeforeSoundBankExactlyAsHeld) {
    TempDir dir;
    Settings s;
    s.defaultSoundBank = "C:\\banks\\gm.sf2";
    s.defaultOutputFile = "/music/out.wav";
    auto ini = dir.file("cfg/Korvelt.ini");
    saveDefaultFiles(s, ini);
    EXPECT_EQ(TempDir::read(ini),
              "[Files]\nOutput File=/music/out.wav\nSound Bank=C:\\banks\\gm.sf2\n");
}

TEST(SettingsFile, OnlyTheFileNamesSurviveARestart) {
    TempDir dir;
    auto dirs = AppDirectories::make("/prog", "/start", std::nullopt, std::nullopt);
    auto ini = dir.file("Korvelt.ini");
    Settings s;
    loadSettings(s, dirs, ini);
    s.render.tempoPercent = 25;
    s.defaultOutputFile = "/music/out.wav";
    saveDefaultFiles(s, ini);
    Settings restarted;
    loadSettings(restarted, dirs, ini);
    EXPECT_EQ(restarted.render.tempoPercent, 0);
    EXPECT_EQ(restarted.defaultOutputFile, "/music/out.wav");
}

TEST(SettingsFile, LocationFollowsTheEnvironment) {
    EXPECT_EQ(settingsFilePath("/x/k.ini", "/xdg", "/home/u", "/p"), "/x/k.ini");
    EXPECT_EQ(settingsFilePath(std::nullopt, "/xdg", "/home/u", "/p"), "/xdg/korvelt/Korvelt.ini");
    EXPECT_EQ(settingsFilePath(std::nullopt, std::nullopt, "/home/u", "/p"),
              "/home/u/.config/korvelt/Korvelt.ini");
    EXPECT_EQ(settingsFilePath(std::nullopt, "", std::nullopt, "/p"), "/p/Korvelt.ini");
}

// The help page is found beside the program (a build tree) or, installed, in
// share/korvelt/ next to the program's bin/ directory.
TEST(SettingsFile, HelpPageIsBesideTheProgramElseInTheInstallation) {
    TempDir prefix;
    std::filesystem::create_directories(prefix.file("bin"));
    std::filesystem::create_directories(prefix.file("share/korvelt"));
    const std::string bin = prefix.file("bin");
    const std::string beside = prefix.file("bin/Help.htm");

    EXPECT_EQ(helpPagePath(bin), beside); // neither exists: the one asked for
    const std::string installed = prefix.write("share/korvelt/Help.htm", "<html></html>");
    EXPECT_EQ(helpPagePath(bin), installed);
    prefix.write("bin/Help.htm", "<html></html>");
    EXPECT_EQ(helpPagePath(bin), beside);
}

} // namespace
} // namespace korvelt
