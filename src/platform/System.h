#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the program asks of the operating system besides files.
namespace korvelt::sys {

// Total physical memory in bytes (0 when unknown).
std::uint64_t totalPhysicalMemory() noexcept;
// Calendar time in whole seconds.
std::int64_t calendarSeconds() noexcept;
// The directory of the running executable, without a trailing separator; empty when unknown.
std::string executableDirectory();
// The process's current directory; empty when unknown.
std::string currentDirectory();
// The value of an environment variable, none when unset.
std::optional<std::string> environment(const char* name);

} // namespace korvelt::sys
