#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Path texts as the program handles them: one separator ('/' here), a foreign separator
// that stored paths may carry ('\\', converted on use), and a length limit.
namespace korvelt::path {

inline constexpr char kSeparator = '/';
inline constexpr char kForeignSeparator = '\\';
// The longest path the program keeps (PATH_MAX - 1 on POSIX).
inline constexpr std::size_t kMaxPath = 4095;

// Every foreign separator replaced by the native one.
std::string toNativeSeparators(std::string text);
// The part after the last separator (all of it when there is none).
std::string fileName(const std::string& path);
// The part before the last separator, or an empty text when there is none.
std::string directoryOrEmpty(const std::string& path);
// The part before the last separator, or the whole path when there is none.
std::string directoryOrWhole(const std::string& path);
// dir + separator + name.
std::string join(const std::string& dir, const std::string& name);
// The text from the last "." of the file name part on (".csf"), empty when the file name
// has no "." (a "." in a directory name never counts).
std::string extension(const std::string& path);
// The path without its extension (see extension()).
std::string withoutExtension(const std::string& path);
// Case-insensitive ASCII comparison.
bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept;
// The text cut to at most kMaxPath characters.
std::string limit(std::string text);

} // namespace korvelt::path
