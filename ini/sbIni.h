// SPDX-License-Identifier: GPL-2.0-or-later
// The one INI reader of the program: the library's configuration and disc
// descriptions, the settings file ("registry") and the product file all read
// through it, by the same rules (README.md, "Settings files"):
//
// - UTF-8 text; a byte-order mark at the start is skipped; lines end in LF or CR LF.
// - Blank lines and lines whose first character is ';' or '#' are comments. A ';'
//   or '#' after a blank, outside quotes, starts a comment at the end of a line.
// - [Section] headings and key names compare without regard to ASCII letter case;
//   values keep their case. Blanks around names and values are dropped.
// - A value enclosed in one pair of double (or single) quotes loses them, and
//   ';' and '#' inside them are part of the value.
// - A key given twice in a section (or in two sections of the same name): the last wins.
// - A file over 1 MiB, a file with a NUL byte, and anything that is not a regular
//   file (a FIFO, a device, a folder) are refused with a message; opening never blocks.
//
// Sections keep their order and may repeat; every section and entry remembers
// its line, so a problem found later can still name the file and the line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sbini {

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

    // The last entry with that key in any section of that name, or null.
    const IniEntry* find(std::string_view section, std::string_view key) const;
    bool hasSection(std::string_view section) const;
};

// The largest settings file read; anything bigger is not one.
inline constexpr std::size_t kMaxIniFileSize = 1 << 20;

// Parses text. Lines it cannot read are skipped and described in problems,
// each as "origin:line: problem".
IniDocument parseIni(std::string_view text, const std::string& origin,
                     std::vector<std::string>& problems);

// Reads and parses a file. Returns nothing and sets error when the file cannot
// be read or is refused; kind names the file in that message ("The <kind> \"path\" ...").
// With followLinks false, a symbolic link in place of the file is refused too
// (files a program keeps for itself).
std::optional<IniDocument> readIniFile(const std::string& path, std::vector<std::string>& problems,
                                       std::string& error,
                                       std::string_view kind = "configuration file",
                                       bool followLinks = true);

// "origin:line: text"
std::string iniProblem(const IniDocument& doc, int line, std::string_view text);

// Case-insensitive comparison of ASCII names.
bool sameName(std::string_view a, std::string_view b);

// Value helpers: each returns false when the text is not a valid value.
bool parseBool(std::string_view text, bool& out);         // yes/no, true/false, on/off, 1/0
bool parseUnsigned(std::string_view text, uint64_t& out); // decimal or 0x hexadecimal
bool parseDouble(std::string_view text, double& out);
std::vector<std::string> splitList(std::string_view text, char separator = ',');
std::string trim(std::string_view text);

} // namespace sbini
