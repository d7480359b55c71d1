#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvelt::cli {

// Walks command-line arguments as POSIX utilities take them: options ("-x", "--name",
// "--name=value") and operands; "--" makes every later argument an operand. Short options
// may be combined in one argument ("-qb BANK" is "-q -b BANK"); a short option that takes
// a value takes the rest of its argument when there is any ("-bBANK"), else the next one.
class OptionParser {
public:
    // `shortWithValue`: the letters of the short options that take a value ("bo").
    explicit OptionParser(const std::vector<std::string>& args, std::string shortWithValue = {})
        : args_(args), shortWithValue_(std::move(shortWithValue)) {}

    // The next option or operand; false at the end.
    bool next();
    // The current argument is an option (starts with "-", is not "-" alone, and no "--"
    // has been seen).
    bool isOption() const noexcept { return option_; }
    // The option's name ("--tempo", "-b") or the operand.
    const std::string& name() const noexcept { return name_; }
    // The option's value: the part after "=" (or the rest of a short option's argument),
    // else the next argument. None when missing.
    std::optional<std::string> value();
    // A value came with the option itself ("--name=value"): an error for an option that
    // takes none.
    bool hasInlineValue() const noexcept { return inline_.has_value(); }

private:
    // Takes the next short option from the combined ones left in `cluster_`.
    void takeShort();

    const std::vector<std::string>& args_;
    std::string shortWithValue_;
    std::size_t index_ = 0;
    bool option_ = false;
    bool operandsOnly_ = false;
    std::string name_;
    std::optional<std::string> inline_;
    std::string cluster_; // short options of the current argument not taken yet
};

// Whole numbers and decimal numbers, the whole text or nothing.
std::optional<long> parseInteger(const std::string& text);
std::optional<double> parseNumber(const std::string& text);

} // namespace korvelt::cli
