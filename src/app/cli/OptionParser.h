#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvelt::cli {

// Walks command-line arguments: options ("-x", "--name", "--name=value") and operands.
class OptionParser {
public:
    explicit OptionParser(const std::vector<std::string>& args) : args_(args) {}

    // The next argument; false at the end.
    bool next();
    // The current argument is an option (starts with "-", is not "-" alone, and no "--"
    // has been seen).
    bool isOption() const noexcept { return option_; }
    // The option's name ("--tempo", "-b") or the operand.
    const std::string& name() const noexcept { return name_; }
    // The option's value: the part after "=", else the next argument. None when missing.
    std::optional<std::string> value();
    // An option given a value with "=" that takes none.
    bool hasInlineValue() const noexcept { return inline_.has_value(); }

private:
    const std::vector<std::string>& args_;
    std::size_t index_ = 0;
    bool option_ = false;
    bool operandsOnly_ = false;
    std::string name_;
    std::optional<std::string> inline_;
};

// Whole numbers and decimal numbers, the whole text or nothing.
std::optional<long> parseInteger(const std::string& text);
std::optional<double> parseNumber(const std::string& text);

} // namespace korvelt::cli
