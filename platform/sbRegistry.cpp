#include "platform/sbRegistry.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

namespace platform {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool sameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Registry paths are written with backslashes; a slash, doubled or trailing
// separators are forgiven so a hand-edited file still matches.
std::string normalisePath(std::string_view path) {
    std::string result;
    for (char c : trim(path)) {
        if (c == '/') {
            c = '\\';
        }
        if (c == '\\' && (result.empty() || result.back() == '\\')) {
            continue;
        }
        result += c;
    }
    while (!result.empty() && result.back() == '\\') {
        result.pop_back();
    }
    return result;
}

std::string joinPath(std::string_view a, std::string_view b) {
    std::string joined(a);
    joined += '\\';
    joined += b;
    return normalisePath(joined);
}

std::optional<int32_t> parseInteger(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20) {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    for (char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        } else {
            return std::nullopt;
        }
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    // A hexadecimal value is a DWORD as the registry stores it: 0xFFFFFFFF reads as -1.
    if (base == 16 && !negative) {
        return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    }
    const int64_t value =
        negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

} // namespace

std::string RegistryFilePath() {
    const char* fromEnvironment = std::getenv(kRegistryFileVariable);
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    return kDefaultRegistryFile;
}

TRegistryIniFile::TRegistryIniFile(std::string rootKey) : m_rootKey(std::move(rootKey)) {}

void TRegistryIniFile::OpenKey(std::string_view key) {
    m_key = joinPath(m_rootKey, key);
    std::ifstream file(RegistryFilePath(), std::ios::binary);
    if (!file) {
        m_fileText.clear();
        return;
    }
    std::ostringstream text;
    text << file.rdbuf();
    m_fileText = text.str();
}

std::optional<std::string> TRegistryIniFile::ReadString(std::string_view section,
                                                        std::string_view name) const {
    if (m_key.empty()) {
        return std::nullopt;
    }
    const std::string wantedSection = joinPath(m_key, section);
    std::optional<std::string> found;
    bool inSection = false;
    std::istringstream lines(m_fileText);
    std::string rawLine;
    while (std::getline(lines, rawLine)) {
        std::string_view line = trim(rawLine);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string_view::npos &&
                        sameNoCase(normalisePath(line.substr(1, close - 1)), wantedSection);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos || !sameNoCase(trim(line.substr(0, equals)), name)) {
            continue;
        }
        std::string_view value = trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        // As with INI files, the first occurrence of a name counts.
        found = std::string(value);
        break;
    }
    return found;
}

int32_t TRegistryIniFile::ReadInteger(std::string_view section, std::string_view name,
                                      int32_t defaultValue) const {
    const auto text = ReadString(section, name);
    const auto number = text ? parseInteger(*text) : std::nullopt;
    return number.value_or(defaultValue);
}

bool TRegistryIniFile::ReadBool(std::string_view section, std::string_view name,
                                bool defaultValue) const {
    const auto text = ReadString(section, name);
    if (!text) {
        return defaultValue;
    }
    for (const char* yes : {"true", "yes", "on"}) {
        if (sameNoCase(*text, yes)) {
            return true;
        }
    }
    for (const char* no : {"false", "no", "off"}) {
        if (sameNoCase(*text, no)) {
            return false;
        }
    }
    const auto number = parseInteger(*text);
    return number ? *number != 0 : defaultValue;
}

} // namespace platform
