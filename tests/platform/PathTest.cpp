#include "platform/Path.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

TEST(Path, PartsAroundTheLastSeparator) {
    EXPECT_EQ(path::fileName("/a/b/song.mid"), "song.mid");
    EXPECT_EQ(path::fileName("song.mid"), "song.mid");
    EXPECT_EQ(path::directoryOrEmpty("/a/b/song.mid"), "/a/b");
    EXPECT_EQ(path::directoryOrEmpty("song.mid"), "");
    EXPECT_EQ(path::directoryOrWhole("song.mid"), "song.mid");
}

TEST(Path, ExtensionComesFromTheFileNameOnly) {
    EXPECT_EQ(path::extension("/a/my.song.wav"), ".wav");
    EXPECT_EQ(path::extension("/dir.v2/out"), "");
    EXPECT_EQ(path::withoutExtension("/dir.v2/out"), "/dir.v2/out");
    EXPECT_EQ(path::withoutExtension("/a/my.song.wav"), "/a/my.song");
    EXPECT_TRUE(path::equalsIgnoreCase(path::extension("BANK.CSF"), ".csf"));
    EXPECT_FALSE(path::equalsIgnoreCase(".csf", ".csv"));
}

TEST(Path, ForeignSeparatorsBecomeNative) {
    EXPECT_EQ(path::toNativeSeparators("banks\\gm.sf2"), "banks/gm.sf2");
    EXPECT_EQ(path::limit(std::string(5000, 'x')).size(), path::kMaxPath);
}

} // namespace
} // namespace korvelt
