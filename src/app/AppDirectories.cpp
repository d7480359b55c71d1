#include "app/AppDirectories.h"

#include "platform/Path.h"
#include "platform/System.h"

namespace korvelt {

AppDirectories AppDirectories::make(std::string programDirectory, std::string startupDirectory,
                                    std::optional<std::string> tmp,
                                    std::optional<std::string> tmpdir) {
    AppDirectories dirs;
    dirs.programDirectory = path::limit(std::move(programDirectory));
    dirs.startupDirectory = path::limit(std::move(startupDirectory));
    if (tmp && !tmp->empty())
        dirs.tempDirectory = path::limit(*tmp);
    else if (tmpdir && !tmpdir->empty())
        dirs.tempDirectory = path::limit(*tmpdir);
    else
        dirs.tempDirectory = dirs.startupDirectory;
    // A trailing separator would give a doubled one when names are joined to it.
    auto strip = [](std::string& d) {
        while (d.size() > 1 && d.back() == path::kSeparator)
            d.pop_back();
    };
    strip(dirs.tempDirectory);
    return dirs;
}

AppDirectories AppDirectories::fromProcess() {
    return make(sys::executableDirectory(), sys::currentDirectory(), sys::environment("TMP"),
                sys::environment("TMPDIR"));
}

} // namespace korvelt
