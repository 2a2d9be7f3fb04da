// SPDX-License-Identifier: GPL-2.0-or-later
// The two names every entry of a file tree carries on the disc.
//
// Joliet names are the names as the user gave them (UTF-8 here, UTF-16 on the
// disc), with the few characters Joliet forbids replaced and cut to the 64
// UTF-16 units Joliet allows. ISO9660 names are 8.3 names of upper-case
// d-characters (A-Z, 0-9, "_"), the form every reader understands; the
// image is written at ISO level 2, so a name the program chooses when it
// answers a collision may be longer (up to 30 characters and a dot).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace starburn::filetree {

// Longest Joliet name in UTF-16 units.
inline constexpr size_t kJolietMaxUnits = 64;
// Longest ISO9660 level-2 name (name, dot and extension), version not counted.
inline constexpr size_t kIsoMaxChars = 31;

// Checks a name given for an entry: not empty, not "." or "..", no "/" and no NUL.
bool isAcceptableName(std::string_view name);

// The Joliet form of a name: invalid UTF-8 bytes and the characters Joliet
// forbids (below 0x20, * / : ; ? \) become "_"; a name longer than 64 UTF-16
// units is cut, keeping a short extension.
std::string jolietName(std::string_view name);

// Whether two Joliet names are the same for a reader that ignores letter case.
bool jolietEqual(std::string_view a, std::string_view b);

// The 8.3 ISO9660 name of an entry (no version suffix; a file without an
// extension has no dot).
std::string isoName(std::string_view name, bool directory);

// A name the program wrote into a collision record, made into a valid level-2
// identifier: version suffix and trailing dot dropped, letters upper-cased,
// other characters "_", cut to the level-2 length. Empty when nothing is left.
std::string isoNameFromReply(std::string_view reply, bool directory);

// The form shown in a collision record: files carry the dot and ";1".
std::string isoRecordName(const std::string& iso, bool directory);

// An ISO9660 name numbered so it differs from its siblings: the name part is
// shortened to keep the 8.3 form, and the number put at its end (LONGFIL1.TXT).
std::string isoNumberedName(const std::string& iso, bool directory, unsigned number);

// UTF-8 <-> UTF-16 (little-endian on the disc; native units here). Invalid
// UTF-8 becomes U+FFFD; unpaired surrogates become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

} // namespace starburn::filetree
