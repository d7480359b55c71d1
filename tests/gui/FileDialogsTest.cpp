#include "GuiTestSupport.h"

#include "platform/File.h"

#include <filesystem>

namespace korvelt::test {
namespace {

// A name typed without an extension gets the dialog's default one: always in a save
// dialog, and in an open dialog when no file of the typed name exists.
TEST_F(GuiTest, FileNamesTypedWithoutExtensionGetTheDefaultOne) {
    start();
    answers.answerFile(dir.file("take"));
    click(*window, control::kChangeOutput);
    EXPECT_EQ(boxText(control::kOutputFileName), "take.wav");
    EXPECT_EQ(logic().flow().currentOutputFile(), dir.file("take.wav"));

    dir.write("song.mid", tune(1));
    answers.answerFile(dir.file("song"));
    click(*window, control::kLoadMidi);
    EXPECT_EQ(logic().flow().currentMidiFile(), dir.file("song.mid"));

    // A file that exists as named is taken as it is, and a bank's extension decides how
    // it is read whatever its case.
    const std::string bank = dir.write("GM.CSF", "not read until a conversion");
    answers.answerFile(bank);
    click(*window, control::kChangeSoundBank);
    EXPECT_EQ(logic().flow().currentSoundBank(), bank);
    EXPECT_TRUE(logic().flow().bankIsCompressed());

    // Cancel changes nothing.
    answers.cancelFile();
    click(*window, control::kChangeOutput);
    EXPECT_EQ(boxText(control::kOutputFileName), "take.wav");
}

} // namespace
} // namespace korvelt::test
