#include "platform/IniFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

using test::TempDir;

TEST(IniFile, MissingFileSectionOrKeyReadsEmpty) {
    TempDir dir;
    EXPECT_EQ(ini::readString(dir.file("none.ini"), "Files", "Sound Bank", 259), "");
    auto p = dir.write("a.ini", "[Other]\nSound Bank=x\n[Files]\nOutput File=y\n");
    EXPECT_EQ(ini::readString(p, "Files", "Sound Bank", 259), "");
    EXPECT_EQ(ini::readString(p, "Nothing", "Output File", 259), "");
}

TEST(IniFile, MatchesSectionAndKeyWithoutRegardToCaseAndTrimsBlanks) {
    TempDir dir;
    auto p = dir.write("a.ini", "; comment\r\n[ files ]\r\n  sound BANK =  /x/gm.sf2  \r\n"
                                "Output File=\"/tmp/a b.wav\"\r\n");
    EXPECT_EQ(ini::readString(p, "Files", "Sound Bank", 259), "/x/gm.sf2");
    EXPECT_EQ(ini::readString(p, "FILES", "output file", 259), "/tmp/a b.wav");
}

TEST(IniFile, ReadCutsLongValues) {
    TempDir dir;
    auto p = dir.write("a.ini", "[Files]\nSound Bank=" + std::string(300, 'a') + "\n");
    EXPECT_EQ(ini::readString(p, "Files", "Sound Bank", 259).size(), 259u);
}

TEST(IniFile, WriteCreatesFileAndDirectory) {
    TempDir dir;
    auto p = dir.file("sub/dir/Korvelt.ini");
    ASSERT_TRUE(ini::writeString(p, "Files", "Output File", "/o.wav"));
    ASSERT_TRUE(ini::writeString(p, "Files", "Sound Bank", "/b.sf2"));
    EXPECT_EQ(TempDir::read(p), "[Files]\nOutput File=/o.wav\nSound Bank=/b.sf2\n");
}

TEST(IniFile, WriteKeepsOtherContentAndReplacesInPlace) {
    TempDir dir;
    auto p = dir.write("a.ini", "; mine\n[Files]\nsound bank=old\nOther=1\n\n[More]\nk=v\n");
    ASSERT_TRUE(ini::writeString(p, "files", "Sound Bank", "new"));
    ASSERT_TRUE(ini::writeString(p, "Files", "Output File", "out"));
    EXPECT_EQ(TempDir::read(p),
              "; mine\n[Files]\nSound Bank=new\nOther=1\nOutput File=out\n\n[More]\nk=v\n");
    EXPECT_EQ(ini::readString(p, "More", "k", 10), "v");
}

// Blanks at the ends of a value and quotes around it are taken away on reading, so a value
// holding them is written in quotes; any other value is written as it is.
TEST(IniFile, EveryValueReadsBackAsWritten) {
    const std::string values[] = {" /a b.sf2", "/a/b.sf2\t", "'x.sf2'",         "\"x\"", " ",
                                  "\"",        "'x\"",       "/plain name.wav", ""};
    std::string text = "[Files]\nSound Bank=  \"/old \"  \r\n";
    for (const std::string& value : values) {
        text = ini::withValue(text, "Files", "Sound Bank", value);
        EXPECT_EQ(ini::valueIn(text, "Files", "Sound Bank", 259), value);
    }
    EXPECT_EQ(ini::withValue("", "Files", "Output File", "/plain name.wav"),
              "[Files]\nOutput File=/plain name.wav\n");
    EXPECT_EQ(ini::withValue("", "Files", "Output File", "/a "), "[Files]\nOutput File=\"/a \"\n");
}

TEST(IniFile, WriteToUnwritablePlaceFails) {
    EXPECT_FALSE(ini::writeString("/proc/korvelt/none.ini", "Files", "a", "b"));
}

} // namespace
} // namespace korvelt
