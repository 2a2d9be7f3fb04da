// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbRegistry.h"

#include "platform/sbSystem.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

namespace platform {

namespace {

// Registry paths are written with backslashes; a slash, doubled or trailing
// separators are forgiven so a hand-edited file still matches.
std::string normalisePath(std::string_view path) {
    std::string result;
    for (char c : sbini::trim(path)) {
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
    m_document = {};
    const std::string path = RegistryFilePath();
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) {
        return; // no settings file: every value has its default
    }
    // A broken settings file never stops the program, but the user who wrote
    // it is told why it has no effect.
    std::vector<std::string> problems;
    std::string error;
    auto document = sbini::readIniFile(path, problems, error, "settings file");
    if (!document) {
        OutputDebugString(error + "; its settings are ignored");
        return;
    }
    for (const auto& problem : problems) {
        OutputDebugString(problem);
    }
    m_document = std::move(*document);
}

std::optional<std::string> TRegistryIniFile::ReadString(std::string_view section,
                                                        std::string_view name) const {
    if (m_key.empty()) {
        return std::nullopt;
    }
    const std::string wantedSection = joinPath(m_key, section);
    const sbini::IniEntry* found = nullptr;
    for (const auto& s : m_document.sections) {
        if (sbini::sameName(normalisePath(s.name), wantedSection)) {
            if (const sbini::IniEntry* e = s.find(name)) {
                found = e;
            }
        }
    }
    if (found == nullptr) {
        return std::nullopt;
    }
    return found->value;
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
    bool value = false;
    if (sbini::parseBool(*text, value)) {
        return value;
    }
    const auto number = parseInteger(*text);
    return number ? *number != 0 : defaultValue;
}

} // namespace platform
