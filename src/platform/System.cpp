#include "platform/System.h"

#include "platform/Path.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace korvelt::sys {

std::uint64_t totalPhysicalMemory() noexcept {
    long pages = ::sysconf(_SC_PHYS_PAGES);
    long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

std::int64_t calendarSeconds() noexcept { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string executableDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return {};
    return path::directoryOrEmpty(std::string(buffer.data(), static_cast<std::size_t>(n)));
}

std::string currentDirectory() {
    std::vector<char> buffer(PATH_MAX + 1);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return {};
    return std::string(buffer.data());
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

} // namespace korvelt::sys
