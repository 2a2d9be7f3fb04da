// SPDX-License-Identifier: GPL-2.0-or-later
// Drive letters.
//
// The wizard names a recorder by a drive letter (E:) as Windows does. Linux
// has no drive letters, so the platform layer keeps a table of them: whoever
// learns which drive stands behind a letter defines it here. The device
// discovery fills the table from the disc library's device table: for each
// device that has a letter it defines the letter with the target
// "\Device\" + the library's device name (for example "\Device\CdRom0").
// Volume labels come from the library (StarBurn_GetVolumeLabel).
//
// Letters are A to Z (either case; stored upper case). Every function is
// safe to call from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Defines (or redefines) a letter: Target is what QueryDosDevice answers for
// it. Returns false for a character that is not a letter.
bool DefineDosDevice(char letter, std::string target);
void RemoveDosDevice(char letter);
void ClearDosDevices();

// The target of a drive name, "E:" (a trailing "/" or "\" is allowed);
// nothing when the letter is not defined or the name is not a drive name.
std::optional<std::string> QueryDosDevice(std::string_view driveName);

} // namespace platform
