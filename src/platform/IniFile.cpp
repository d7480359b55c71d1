#include "platform/IniFile.h"

#include "platform/File.h"
#include "platform/Path.h"

#include <cerrno>
#include <string_view>
#include <vector>

namespace korvelt::ini {
namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// The section name of a "[name]" line, or false.
bool sectionName(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[')
        return false;
    auto close = line.find(']');
    if (close == std::string_view::npos)
        return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

// The key and raw value of a "key=value" line, or false.
bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    auto trimmed = trim(line);
    if (trimmed.empty() || trimmed.front() == ';')
        return false;
    auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return !key.empty();
}

// The value as a "key=value" line holds it: in double quotes when it would not read back as
// it is otherwise, that is when it begins or ends with a blank (trimmed away) or is itself
// in matching quotes (taken off).
std::string stored(const std::string& value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted || (!value.empty() && (blank(value.front()) || blank(value.back()))))
        return "\"" + value + "\"";
    return value;
}

} // namespace

std::string valueIn(std::string_view text, const std::string& section, const std::string& key,
                    std::size_t maxLength) {
    bool inSection = false;
    for (const auto& line : splitLines(text)) {
        std::string_view name;
        if (sectionName(line, name)) {
            inSection = path::equalsIgnoreCase(name, section);
            continue;
        }
        std::string_view k, v;
        if (inSection && keyValue(line, k, v) && path::equalsIgnoreCase(k, key)) {
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.substr(1, v.size() - 2);
            std::string result(v);
            if (result.size() > maxLength)
                result.resize(maxLength);
            return result;
        }
    }
    return {};
}

std::string readString(const std::string& path, const std::string& section, const std::string& key,
                       std::size_t maxLength) {
    std::string text;
    if (!file::readWhole(path, text))
        return {};
    return valueIn(text, section, key, maxLength);
}

std::string withValue(std::string_view text, const std::string& section, const std::string& key,
                      const std::string& value) {
    std::vector<std::string> lines = splitLines(text);
    const std::string newLine = key + "=" + stored(value);

    bool inSection = false;
    long sectionLine = -1;   // index of the "[section]" line
    long lastInSection = -1; // last non-blank line of the section
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
        std::string_view name;
        if (sectionName(lines[i], name)) {
            if (inSection)
                break;
            inSection = path::equalsIgnoreCase(name, section);
            if (inSection) {
                sectionLine = static_cast<long>(i);
                lastInSection = static_cast<long>(i);
            }
            continue;
        }
        if (!inSection)
            continue;
        if (!trim(lines[i]).empty())
            lastInSection = static_cast<long>(i);
        std::string_view k, v;
        if (keyValue(lines[i], k, v) && path::equalsIgnoreCase(k, key)) {
            bool cr = !lines[i].empty() && lines[i].back() == '\r';
            lines[i] = newLine + (cr ? "\r" : "");
            replaced = true;
        }
    }
    if (!replaced) {
        if (sectionLine >= 0) {
            lines.insert(lines.begin() + lastInSection + 1, newLine);
        } else {
            lines.push_back("[" + section + "]");
            lines.push_back(newLine);
        }
    }

    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

bool writeString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value, FileProblem* problem) {
    std::string text;
    // A missing file starts empty; one that exists but cannot be read is not replaced by
    // a file holding only this key.
    if (!file::readWhole(path, text) && errno != ENOENT) {
        if (problem != nullptr)
            *problem = file::problem(path, "");
        return false;
    }
    const std::string out = withValue(text, section, key, value);
    auto dir = path::directoryOrEmpty(path);
    if (!dir.empty())
        file::makeDirectories(dir);
    // Write a sibling file and rename it over the settings file, so a failed write never
    // leaves a half-written settings file behind.
    const std::string temp = path + ".new";
    int fd = file::openWrite(temp);
    bool ok = fd >= 0 && file::writeAll(fd, out.data(), out.size());
    if (ok)
        ok = file::rename(temp, path);
    if (!ok && problem != nullptr)
        *problem = file::problem(path, "");
    file::close(fd);
    if (!ok)
        file::remove(temp);
    return ok;
}

} // namespace korvelt::ini
