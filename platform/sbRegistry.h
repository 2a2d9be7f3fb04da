// SPDX-License-Identifier: GPL-2.0-or-later
// Registry values, read from an INI-style text file.
//
// The program reads a handful of machine-wide switches that an installer or
// an administrator sets by hand; nothing ever writes them. On Linux they live
// in one text file:
//
//   the file named by the environment variable TAVRIN_REGISTRY, when it is set
//   and not empty; otherwise /etc/tavrin/registry.ini
//
// Each section names a key below a root key, the root key first:
//
//   [HKEY_LOCAL_MACHINE\Software\Korvath\StarBurnVelmarSample]
//   LogEnabled=1
//   LogLevel=3
//
// The file follows the program's INI rules (ini/sbIni.h, README.md): names
// compare without regard to letter case, ';' and '#' start comments, also at
// the end of a line, and the last of two equal values wins. A missing file, a
// missing section or value, or a value that does not parse yields the caller's
// default: a broken settings file never stops the program; a refused one (too
// large, not a regular file) is reported once as debugger output.
#pragma once

#include "ini/sbIni.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr const char* kRegistryFileVariable = "TAVRIN_REGISTRY";
inline constexpr const char* kDefaultRegistryFile = "/etc/tavrin/registry.ini";
inline constexpr const char* kLocalMachine = "HKEY_LOCAL_MACHINE";

// The file the values are read from, following the rule above.
std::string RegistryFilePath();

// Reads the values of one open key, the way an INI-style registry accessor
// does: values are addressed as section (a subkey) + name under the key.
// The file is read once, when the key is opened.
class TRegistryIniFile {
public:
    explicit TRegistryIniFile(std::string rootKey = kLocalMachine);

    // Opens Key (for example "Software\Korvath") below the root key. Always
    // succeeds: a key that the file does not hold simply has no values.
    void OpenKey(std::string_view key);

    // The text of a value, or nothing when the file does not hold it.
    std::optional<std::string> ReadString(std::string_view section, std::string_view name) const;

    // An integer value: decimal, or hexadecimal with a 0x prefix, optionally
    // signed; it must fit 32 bits. Anything else yields Default.
    int32_t ReadInteger(std::string_view section, std::string_view name,
                        int32_t defaultValue) const;

    // A Boolean value: an integer (non-zero is true) or one of true/false,
    // yes/no, on/off in any letter case. Anything else yields Default.
    bool ReadBool(std::string_view section, std::string_view name, bool defaultValue) const;

private:
    std::string m_rootKey;
    std::string m_key;
    sbini::IniDocument m_document;
};

} // namespace platform
