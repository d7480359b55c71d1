#include "platform/Path.h"

#include <algorithm>

namespace korvelt::path {

std::string toNativeSeparators(std::string text) {
    std::replace(text.begin(), text.end(), kForeignSeparator, kSeparator);
    return text;
}

std::string fileName(const std::string& path) {
    auto pos = path.find_last_of(kSeparator);
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string directoryOrEmpty(const std::string& path) {
    auto pos = path.find_last_of(kSeparator);
    return pos == std::string::npos ? std::string() : path.substr(0, pos);
}

std::string directoryOrWhole(const std::string& path) {
    auto pos = path.find_last_of(kSeparator);
    return pos == std::string::npos ? path : path.substr(0, pos);
}

std::string join(const std::string& dir, const std::string& name) {
    return dir + kSeparator + name;
}

static std::size_t extensionStart(const std::string& path) {
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos)
        return std::string::npos;
    auto sep = path.find_last_of(kSeparator);
    if (sep != std::string::npos && sep > dot)
        return std::string::npos;
    return dot;
}

std::string extension(const std::string& path) {
    auto dot = extensionStart(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string withoutExtension(const std::string& path) {
    auto dot = extensionStart(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::string limit(std::string text) {
    if (text.size() > kMaxPath)
        text.resize(kMaxPath);
    return text;
}

} // namespace korvelt::path
