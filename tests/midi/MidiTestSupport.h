#pragma once

#include "midi/Cmidfil.h"
#include "midi/SmfBytes.h"
#include "platform/Notifier.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace korvelt::test {

// Writes MIDI bytes to a temporary file and reads them with Cmidfil, recording the
// messages shown.
class MidiReadTest : public ::testing::Test {
protected:
    std::unique_ptr<Cmidfil> read(const std::string& bytes) {
        // A new file for each read, the previous one removed: rewriting a file in place
        // makes the file system flush it, and a directory of thousands of files is slow.
        if (!previous_.empty())
            std::remove(previous_.c_str());
        const std::string path = dir_.write("file" + std::to_string(count_++) + ".mid", bytes);
        previous_ = path;
        notifier_.clear();
        auto midi = std::make_unique<Cmidfil>(path, notifier_);
        errno = EIO; // an error left over from before must never pass for the file's reason
        const bool ok = midi->rdmidi();
        EXPECT_EQ(ok, midi->loaded());
        return midi;
    }

    // The read succeeded without a message.
    void expectRead(const Cmidfil& midi) {
        EXPECT_TRUE(midi.loaded());
        EXPECT_TRUE(notifier_.texts().empty()) << joinedTexts();
        EXPECT_EQ(midi.tracks().size(), midi.trackCount());
    }

    // The read failed with exactly these messages, each titled "Error!" with the error icon.
    void expectFailure(const Cmidfil& midi, const std::vector<std::string>& texts) {
        EXPECT_FALSE(midi.loaded());
        EXPECT_EQ(notifier_.texts(), texts);
        for (const auto& m : notifier_.messages()) {
            EXPECT_EQ(m.title, "Error!");
            EXPECT_EQ(m.severity, Severity::Error);
        }
    }

    std::string joinedTexts() const {
        std::string all;
        for (const auto& t : notifier_.texts())
            all += "[" + t + "] ";
        return all;
    }

    TempDir dir_;
    RecordingNotifier notifier_;
    int count_ = 0;
    std::string previous_;
};

} // namespace korvelt::test
