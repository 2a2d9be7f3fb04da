// SPDX-License-Identifier: GPL-2.0-or-later
#include "ini/sbIni.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sbini {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The value after '=': quotes taken off, a trailing comment dropped.
std::string valueOf(std::string_view text) {
    const std::string value = trim(text);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'')) {
        const size_t close = value.find(value[0], 1);
        if (close != std::string::npos) {
            const std::string rest = trim(std::string_view(value).substr(close + 1));
            if (rest.empty() || rest[0] == ';' || rest[0] == '#') {
                return value.substr(1, close - 1);
            }
        }
    }
    for (size_t i = 1; i < value.size(); ++i) {
        if ((value[i] == ';' || value[i] == '#') && isBlank(value[i - 1])) {
            return trim(std::string_view(value).substr(0, i));
        }
    }
    if (!value.empty() && (value[0] == ';' || value[0] == '#')) {
        return {}; // "key = ; nothing set"
    }
    return value;
}

} // namespace

std::string trim(std::string_view text) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && isSpace(text[b])) {
        ++b;
    }
    while (e > b && isSpace(text[e - 1])) {
        --e;
    }
    return std::string(text.substr(b, e - b));
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

const IniEntry* IniSection::find(std::string_view key) const {
    const IniEntry* found = nullptr;
    for (const auto& e : entries) {
        if (sameName(e.key, key)) {
            found = &e;
        }
    }
    return found;
}

const IniEntry* IniDocument::find(std::string_view section, std::string_view key) const {
    const IniEntry* found = nullptr;
    for (const auto& s : sections) {
        if (sameName(s.name, section)) {
            if (const IniEntry* e = s.find(key)) {
                found = e;
            }
        }
    }
    return found;
}

bool IniDocument::hasSection(std::string_view section) const {
    for (const auto& s : sections) {
        if (sameName(s.name, section)) {
            return true;
        }
    }
    return false;
}

std::string iniProblem(const IniDocument& doc, int line, std::string_view text) {
    return doc.origin + ":" + std::to_string(line) + ": " + std::string(text);
}

IniDocument parseIni(std::string_view text, const std::string& origin,
                     std::vector<std::string>& problems) {
    IniDocument doc;
    doc.origin = origin;
    int lineNumber = 0;
    size_t pos = 0;
    bool warnedOutside = false;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (lineNumber == 1 && raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") {
            raw.remove_prefix(3); // a byte-order mark some editors write
        }
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        std::string line = trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            if (end == text.size()) {
                break;
            }
            continue;
        }
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string::npos) {
                problems.push_back(
                    origin + ":" + std::to_string(lineNumber) +
                    ": a section heading needs a closing ']'; the lines up to the next "
                    "heading are ignored");
                doc.sections.push_back({"", lineNumber, {}});
                doc.sections.back().name = "\x01"; // matches no section the library knows
            } else {
                std::string rest = trim(std::string_view(line).substr(close + 1));
                if (!rest.empty() && rest[0] != ';' && rest[0] != '#') {
                    problems.push_back(origin + ":" + std::to_string(lineNumber) +
                                       ": unexpected text after the section heading");
                }
                doc.sections.push_back(
                    {trim(std::string_view(line).substr(1, close - 1)), lineNumber, {}});
            }
        } else {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) {
                problems.push_back(origin + ":" + std::to_string(lineNumber) +
                                   ": expected 'key = value' or a [section] heading");
            } else if (doc.sections.empty()) {
                if (!warnedOutside) {
                    problems.push_back(origin + ":" + std::to_string(lineNumber) +
                                       ": a setting before the first [section] heading is "
                                       "ignored");
                    warnedOutside = true;
                }
            } else {
                std::string key = trim(std::string_view(line).substr(0, eq));
                std::string value = valueOf(std::string_view(line).substr(eq + 1));
                if (key.empty()) {
                    problems.push_back(origin + ":" + std::to_string(lineNumber) +
                                       ": a setting needs a name before '='");
                } else {
                    doc.sections.back().entries.push_back(
                        {std::move(key), std::move(value), lineNumber});
                }
            }
        }
        if (end == text.size()) {
            break;
        }
    }
    return doc;
}

std::optional<IniDocument> readIniFile(const std::string& path, std::vector<std::string>& problems,
                                       std::string& error, std::string_view kind,
                                       bool followLinks) {
    const std::string named = "The " + std::string(kind) + " \"" + path + "\"";
    // Non-blocking, so a FIFO or a device named here cannot stop the program in open().
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY |
                                            (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        error = named + " cannot be opened: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = named + " is not a regular file";
        return std::nullopt;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxIniFileSize) {
        ::close(fd);
        error = named + " is too large (" + std::to_string(st.st_size) + " bytes; at most " +
                std::to_string(kMaxIniFileSize) + " are read)";
        return std::nullopt;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = named + " cannot be read: " + std::strerror(errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kMaxIniFileSize) {
            error = named + " is too large";
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    if (text.find('\0') != std::string::npos) {
        error = named + " is not a text file";
        return std::nullopt;
    }
    return parseIni(text, path, problems);
}

bool parseBool(std::string_view text, bool& out) {
    const std::string t = trim(text);
    if (sameName(t, "yes") || sameName(t, "true") || sameName(t, "on") || t == "1") {
        out = true;
        return true;
    }
    if (sameName(t, "no") || sameName(t, "false") || sameName(t, "off") || t == "0") {
        out = false;
        return true;
    }
    return false;
}

bool parseUnsigned(std::string_view text, uint64_t& out) {
    const std::string t = trim(text);
    if (t.empty() || t[0] == '-' || t[0] == '+') {
        return false;
    }
    int base = 10;
    const char* begin = t.c_str();
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        begin += 2;
    }
    // strtoull takes a sign or blanks of its own: "0x-1" would be the largest number.
    if (!std::isxdigit(static_cast<unsigned char>(*begin)) ||
        (base == 10 && !std::isdigit(static_cast<unsigned char>(*begin)))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(begin, &end, base);
    if (errno != 0 || end == begin || *end != '\0') {
        return false;
    }
    out = v;
    return true;
}

bool parseDouble(std::string_view text, double& out) {
    const std::string t = trim(text);
    if (t.empty()) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (errno != 0 || end == t.c_str() || *end != '\0' || v != v) {
        return false;
    }
    out = v;
    return true;
}

std::vector<std::string> splitList(std::string_view text, char separator) {
    std::vector<std::string> items;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(separator, pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string item = trim(text.substr(pos, end - pos));
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
        pos = end + 1;
    }
    return items;
}

} // namespace sbini
