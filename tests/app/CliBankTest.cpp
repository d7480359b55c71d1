#include "support/CliRun.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvelt::test {
namespace {

std::vector<std::int16_t> wave(std::size_t n, double step) {
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::int16_t>(8000.0 * std::sin(step * double(i)));
    return out;
}

std::string bank() {
    Sf2Builder b;
    const int s1 = b.addSample({.name = "Wave", .frames = wave(4000, 0.05)});
    const int s2 = b.addSample({.name = "Click", .frames = wave(300, 0.9)});
    const int lead = b.addInstrument("Lead", {Sf2Builder::instrumentZone(s1, {keyRange(0, 70)}),
                                              Sf2Builder::instrumentZone(s2, {keyRange(71, 127)})});
    const int kit = b.addInstrument("Kit", {Sf2Builder::instrumentZone(s2)});
    b.addPreset("Lead", 0, 80, {Sf2Builder::presetZone(lead)});
    b.addPreset("Two \"quoted\"", 8, 80,
                {Sf2Builder::presetZone(lead), Sf2Builder::presetZone(kit)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(kit)});
    return b.build();
}

const char* const kBankInfo = "presets 3\n"
                              "instruments 2\n"
                              "samples 2\n"
                              "preset 0:80 \"Lead\" zones 1\n"
                              "preset 8:80 \"Two \"quoted\"\" zones 2\n"
                              "preset 128:0 \"Kit\" zones 1\n";

TEST(CliBank, InfoListsCountsAndPresets) {
    TempDir dir;
    const CliRun run = runCli(dir, "info " + quoted(dir.write("bank.SF2", bank())));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kBankInfo);
    EXPECT_EQ(run.err, "");
}

TEST(CliBank, PackedBankHasTheSameInfo) {
    TempDir dir;
    const std::string sf2 = dir.write("bank.sf2", bank());
    const std::string csf = dir.file("bank.CSF"); // the extension in any case
    const CliRun pack = runCli(dir, "pack " + quoted(sf2) + " " + quoted(csf));
    ASSERT_EQ(pack.status, 0) << pack.err;
    EXPECT_NE(pack.out.find("bytes"), std::string::npos);
    EXPECT_NE(pack.out.find("%"), std::string::npos);
    EXPECT_LT(std::filesystem::file_size(csf), std::filesystem::file_size(sf2));
    const CliRun info = runCli(dir, "info " + quoted(csf));
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out, kBankInfo);
}

TEST(CliBank, UnreadableBanksShowTheReadersMessagesAndExitOne) {
    TempDir dir;
    const CliRun missing = runCli(dir, "info " + quoted(dir.file("none.sf2")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "korvelt-cli: " + dir.file("none.sf2") +
                               ": No such file or directory\n"
                               "Error!: Csf2file::rdfile\nFatal error while reading Sound Font "
                               "file\nCould not open Sound Font file\n");

    // A SoundFont named .csf is read as a compressed bank, and is not one.
    const CliRun wrongKind = runCli(dir, "info " + quoted(dir.write("bank.csf", bank())));
    EXPECT_EQ(wrongKind.status, 1);
    EXPECT_EQ(wrongKind.err, "korvelt-cli: " + dir.file("bank.csf") +
                                 ": not a compressed bank (.csf)\n"
                                 "Error!: Ccompsf::rdfile\nFatal error while reading SoundFont "
                                 "file\nInvalid SoundFont file format\n");

    const CliRun truncated =
        runCli(dir, "info " + quoted(dir.write("cut.sf2", bank().substr(0, 500))));
    EXPECT_EQ(truncated.status, 1);
    EXPECT_EQ(truncated.err, "Error!: Csf2file::rdfile\nFatal error while reading Sound Font "
                             "file\nInvalid Sound Font file format\n");
}

TEST(CliBank, PackRefusesAnExistingOutputUnlessForced) {
    TempDir dir;
    const std::string sf2 = dir.write("bank.sf2", bank());
    const std::string csf = dir.write("out.csf", "keep me");
    const CliRun refused = runCli(dir, "pack " + quoted(sf2) + " " + quoted(csf));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--force"), std::string::npos);
    EXPECT_EQ(TempDir::read(csf), "keep me");

    const CliRun forced = runCli(dir, "pack " + quoted(sf2) + " " + quoted(csf) + " --force");
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(TempDir::read(csf).substr(0, 4), "CSFF");
    EXPECT_EQ(runCli(dir, "info " + quoted(csf)).out, kBankInfo);
}

TEST(CliBank, PackNeverReplacesItsInput) {
    TempDir dir;
    const std::string sf2 = dir.write("bank.sf2", bank());
    std::filesystem::create_hard_link(sf2, dir.file("hard.csf"));
    std::filesystem::create_symlink(sf2, dir.file("soft.csf"));
    for (const std::string& out :
         {sf2, dir.path() + "/./bank.sf2", dir.file("hard.csf"), dir.file("soft.csf")}) {
        const CliRun run = runCli(dir, "pack " + quoted(sf2) + " " + quoted(out) + " --force");
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_EQ(run.err,
                  "korvelt-cli pack: " + out + " is the input bank; choose another output file\n");
        EXPECT_EQ(TempDir::read(sf2), bank()) << out;
        EXPECT_TRUE(std::filesystem::is_symlink(dir.file("soft.csf")));
    }
}

TEST(CliBank, TwentyFourBitBankPacksItsSixteenBitPartWithAWarning) {
    TempDir dir;
    Sf2Builder plain;
    const int s = plain.addSample({.name = "Wave", .frames = wave(4000, 0.05)});
    const int i = plain.addInstrument("Lead", {Sf2Builder::instrumentZone(s)});
    plain.addPreset("Lead", 0, 80, {Sf2Builder::presetZone(i)});
    Sf2Builder deep = plain;
    deep.addSdtaChunk("sm24", std::string(4046, '\x33'));
    const std::string plainPath = dir.write("plain.sf2", plain.build());
    const std::string deepPath = dir.write("deep.sf2", deep.build());

    EXPECT_EQ(runCli(dir, "info " + quoted(deepPath)).out,
              runCli(dir, "info " + quoted(plainPath)).out);
    const CliRun packed = runCli(dir, "pack " + quoted(deepPath) + " " + quoted(dir.file("d.csf")));
    EXPECT_EQ(packed.status, 0) << packed.err;
    EXPECT_EQ(packed.err, "korvelt-cli pack: warning: " + deepPath +
                              " holds 24-bit samples; the compressed bank keeps their upper 16 "
                              "bits, the low 8 bits are not kept\n");
    const CliRun reference =
        runCli(dir, "pack " + quoted(plainPath) + " " + quoted(dir.file("p.csf")));
    EXPECT_EQ(reference.err, "");
    EXPECT_EQ(TempDir::read(dir.file("d.csf")), TempDir::read(dir.file("p.csf")));
}

TEST(CliBank, PackUsage) {
    TempDir dir;
    const std::string sf2 = dir.write("bank.sf2", bank());
    // Each usage error says what is wrong, then the usage.
    const auto usageError = [&](const std::string& args, const std::string& what) {
        const CliRun run = runCli(dir, "pack " + args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err, "korvelt-cli pack: " + what +
                               "\nUsage: korvelt-cli pack [-f] IN.sf2 OUT.csf\n"
                               "Run 'korvelt-cli pack --help' for more.\n")
            << args;
    };
    usageError("", "missing IN.sf2 and OUT.csf");
    usageError(quoted(sf2), "missing OUT.csf");
    usageError(quoted(sf2) + " a.csf b.csf", "unexpected operand 'b.csf'");
    usageError(quoted(sf2) + " " + quoted(dir.file("x.csf")) + " --bogus",
               "unknown option '--bogus'");
    usageError("-fx " + quoted(sf2) + " y.csf", "unknown option '-x'");
    usageError("--force=yes " + quoted(sf2) + " y.csf", "option '--force' takes no value");
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.csf")));
    const CliRun help = runCli(dir, "pack --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: korvelt-cli pack"), std::string::npos);
}

TEST(CliBank, FailedPackLeavesNoOutput) {
    TempDir dir;
    const std::string sf2 = dir.write("bank.sf2", bank());
    const std::string nowhere = dir.file("missing-dir/out.csf");
    const CliRun noDir = runCli(dir, "pack " + quoted(sf2) + " " + quoted(nowhere));
    EXPECT_EQ(noDir.status, 1);
    EXPECT_EQ(noDir.err, "korvelt-cli: " + nowhere +
                             ": No such file or directory\n"
                             "korvelt-cli pack: cannot create the compressed bank\n");
    EXPECT_FALSE(std::filesystem::exists(nowhere));

    const std::string out = dir.file("out.csf");
    const CliRun badInput =
        runCli(dir, "pack " + quoted(dir.write("bad.sf2", "RIFF....")) + " " + quoted(out));
    EXPECT_EQ(badInput.status, 1);
    EXPECT_NE(badInput.err.find("Invalid Sound Font file format"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));
    // Nothing else was left in the directory either.
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        entries += e.path().extension() == ".part";
    EXPECT_EQ(entries, 0u);
}

} // namespace
} // namespace korvelt::test
