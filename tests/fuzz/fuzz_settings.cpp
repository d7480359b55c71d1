// The settings-file reader and writer (IniFile) and the default file names the program
// takes from it (SettingsFile): any text as the content of the settings file.

#include "FuzzSupport.h"
#include "app/SettingsFile.h"
#include "platform/IniFile.h"
#include "platform/Path.h"

#include <string>

namespace {

using namespace korvelt;
using fuzz::require;

const AppDirectories& directories() {
    static const AppDirectories dirs = AppDirectories::make(
        "/korvelt-fuzz/bin", "/korvelt-fuzz/start", "/korvelt-fuzz/temp", std::nullopt);
    return dirs;
}

// What Save Default Files writes over `text`, in its order.
std::string saved(std::string_view text, const Settings& s) {
    const std::string withOutput =
        ini::withValue(text, kFilesSection, kOutputFileKey, s.defaultOutputFile);
    return ini::withValue(withOutput, kFilesSection, kSoundBankKey, s.defaultSoundBank);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::text(data, size);
    Settings loaded;
    loadSettingsFromText(loaded, directories(), text);
    for (const std::string* name : {&loaded.defaultSoundBank, &loaded.defaultOutputFile}) {
        require(!name->empty() && name->size() <= path::kMaxPath,
                "a default file name is never empty nor longer than a path");
        require(name->find(path::kForeignSeparator) == std::string::npos,
                "a default file name has native separators");
    }
    require(ini::valueIn(text, "Files", "Sound Bank", 7).size() <= 7,
            "a value is cut to its limit");

    // What is saved is what the next start reads, and saving it again changes nothing.
    const std::string once = saved(text, loaded);
    Settings restarted;
    loadSettingsFromText(restarted, directories(), once);
    require(restarted.defaultSoundBank == loaded.defaultSoundBank &&
                restarted.defaultOutputFile == loaded.defaultOutputFile,
            "the saved default files read back as they were");
    require(saved(once, restarted) == once, "saving unchanged names leaves the file as it is");

    // A key of another section written beside them reads back and leaves them alone.
    const std::string other = ini::withValue(once, "Other", kSoundBankKey, "x.sf2");
    require(ini::valueIn(other, "Other", kSoundBankKey, path::kMaxPath) == "x.sf2",
            "a written key reads back");
    Settings afterOther;
    loadSettingsFromText(afterOther, directories(), other);
    require(afterOther.defaultSoundBank == loaded.defaultSoundBank &&
                afterOther.defaultOutputFile == loaded.defaultOutputFile,
            "writing one section leaves another alone");
    return 0;
}
