#include "app/cli/OptionParser.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace korvelt::cli {

bool OptionParser::next() {
    inline_.reset();
    if (!cluster_.empty()) {
        takeShort();
        return true;
    }
    while (index_ < args_.size()) {
        const std::string& arg = args_[index_++];
        if (!operandsOnly_ && arg == "--") {
            operandsOnly_ = true;
            continue;
        }
        option_ = !operandsOnly_ && arg.size() > 1 && arg[0] == '-';
        if (option_ && arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            name_ = arg.substr(0, eq);
            if (eq != std::string::npos)
                inline_ = arg.substr(eq + 1);
            return true;
        }
        if (option_) {
            cluster_ = arg.substr(1);
            takeShort();
            return true;
        }
        name_ = arg;
        return true;
    }
    return false;
}

void OptionParser::takeShort() {
    option_ = true;
    const char letter = cluster_[0];
    name_ = std::string("-") + letter;
    cluster_.erase(0, 1);
    if (!cluster_.empty() && shortWithValue_.find(letter) != std::string::npos) {
        inline_ = cluster_;
        cluster_.clear();
    }
}

std::optional<std::string> OptionParser::value() {
    if (inline_)
        return inline_;
    if (index_ < args_.size())
        return args_[index_++];
    return std::nullopt;
}

std::optional<long> parseInteger(const std::string& text) {
    long value = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    auto [p, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || p != end || begin == end)
        return std::nullopt;
    return value;
}

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace korvelt::cli
