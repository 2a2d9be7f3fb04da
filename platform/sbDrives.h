// Drive letters and volume labels.
//
// The wizard names a recorder by a drive letter (E:) as Windows does. Linux
// has no drive letters, so the platform layer keeps a table of them: whoever
// learns which drive stands behind a letter defines it here. The device
// discovery fills the table from the disc library's device table: for each
// device that has a letter it defines the letter with the target
// "\Device\" + the library's device name (for example "\Device\CdRom0"), and
// with the path of the medium (the block device of a real drive, the
// disc-content file of a virtual one) when it knows it.
//
// Letters are A to Z (either case; stored upper case). Every function is
// safe to call from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Defines (or redefines) a letter: Target is what QueryDosDevice answers for
// it; MediumPath, when not empty, is the file or block device that holds the
// disc, read for the volume label. Returns false for a character that is not
// a letter.
bool DefineDosDevice(char letter, std::string target, std::string mediumPath = {});
void RemoveDosDevice(char letter);
void ClearDosDevices();

// The target of a drive name, "E:" (a trailing "/" or "\" is allowed);
// nothing when the letter is not defined or the name is not a drive name.
std::optional<std::string> QueryDosDevice(std::string_view driveName);

// The volume label of the disc in the drive whose root is given ("E:/" or
// "E:"): the volume identifier of the ISO9660 primary volume descriptor of
// the drive's medium, trailing blanks removed. Nothing when the root is not a
// defined drive, the drive has no medium path, or the medium cannot be read
// or holds no ISO9660 volume. Unlike Windows, a root that is not a drive
// never answers with the label of some other drive.
std::optional<std::string> GetVolumeLabel(std::string_view root);

// The volume identifier of an ISO9660 image or medium at Path (as above).
std::optional<std::string> ReadIso9660VolumeLabel(const std::string& path);

} // namespace platform
