#pragma once

#include "platform/FileProblem.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A small settings-file reader and writer with private-profile semantics: sections
// "[name]" and "key=value" lines, section and key matched without regard to case,
// blanks around names and values ignored, a value in matching quotes taken without
// them, everything else in the file kept as it is on write. A value written reads back as
// it was: one with blanks at its ends or in matching quotes is written in double quotes.
// A value cannot hold a line break. A missing file, section or key reads as an empty text.
namespace korvelt::ini {

// The value of key in section, cut to maxLength characters.
std::string readString(const std::string& path, const std::string& section, const std::string& key,
                       std::size_t maxLength);

// The value of key in section of a settings file's text, cut to maxLength characters
// (readString without the file).
std::string valueIn(std::string_view text, const std::string& section, const std::string& key,
                    std::size_t maxLength);

// The settings file's text with key in section set, as writeString writes it.
std::string withValue(std::string_view text, const std::string& section, const std::string& key,
                      const std::string& value);

// Sets key in section (adding the section and the key when missing) and rewrites the
// file, creating it and its directory when needed. False when the file cannot be written;
// `problem`, when given, then says why.
bool writeString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value, FileProblem* problem = nullptr);

} // namespace korvelt::ini
