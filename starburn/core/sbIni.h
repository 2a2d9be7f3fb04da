// A small INI reader for the library's configuration and state files.
//
// Sections keep their order and may repeat; keys keep their order and may
// repeat inside a section. Every section and entry remembers its line, so a
// problem found later can still name the file and the line. Section and key
// names compare without regard to case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn {

struct IniEntry {
    std::string key;
    std::string value;
    int line = 0;
};

struct IniSection {
    std::string name; // as written between the brackets, trimmed
    int line = 0;
    std::vector<IniEntry> entries;

    // The last entry with that key, or null.
    const IniEntry* find(std::string_view key) const;
};

struct IniDocument {
    std::string origin; // the file name used in messages
    std::vector<IniSection> sections;
};

// Parses text. Lines it cannot read are skipped and described in problems,
// each as "origin:line: problem".
IniDocument parseIni(std::string_view text, const std::string& origin,
                     std::vector<std::string>& problems);

// Reads and parses a file. Returns nothing and sets error when the file
// cannot be read (or is larger than the library accepts for a configuration).
std::optional<IniDocument> readIniFile(const std::string& path, std::vector<std::string>& problems,
                                       std::string& error);

// "origin:line: text"
std::string iniProblem(const IniDocument& doc, int line, std::string_view text);

// Case-insensitive comparison of ASCII names.
bool sameName(std::string_view a, std::string_view b);

// Value helpers: each returns false when the text is not a valid value.
bool parseBool(std::string_view text, bool& out);
bool parseUnsigned(std::string_view text, uint64_t& out); // decimal or 0x hexadecimal
bool parseDouble(std::string_view text, double& out);
std::vector<std::string> splitList(std::string_view text, char separator = ',');
std::string trim(std::string_view text);

// Writes a file through a temporary file and a rename, so a crash never leaves
// half a file behind. Returns false and sets error (and errnoValue) on failure.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error,
                         int& errnoValue);

} // namespace starburn
