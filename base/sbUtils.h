// SPDX-License-Identifier: GPL-2.0-or-later
// Disc-type texts and sets, the text-file line writer, date parts and the
// drive letter of a device.
#pragma once

#include "base/sbTypes.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The program's date-time value.
using TDateTime = std::chrono::system_clock::time_point;

// The display text of a disc type ("CD-R", "Empty" for DISC_TYPE_NO_MEDIA,
// "BD-R"); empty for a value that names no kind (above 21).
std::string DiscTypeToStr(uint8_t discType);
// True exactly for DVD-ROM, DVD-R, DVD-RAM, both DVD-RW kinds, DVD+RW, DVD+R
// and DVD+R DL (not DVD-R DL).
bool IsDVDDiscType(uint8_t discType);
// False exactly for the pressed kinds CD-ROM, DVD-ROM and DD CD-ROM. Unknown
// and no medium count as writable: callers test for those first.
bool IsWritableDiscType(uint8_t discType);

// Appends Line and a CR LF line end to the text file FileName, creating the
// file when it does not exist; the line is written with one write call and
// the file is closed again. A symbolic link in place of the file is not
// followed. Raises EsbError when the file cannot be opened, written or closed.
void AppendLineToFile(const std::string& fileName, std::string_view line);

// Parts of a date-time in local time.
uint16_t HourOfTime(TDateTime time);
uint16_t MinuteOfTime(TDateTime time);
uint16_t DayOfDate(TDateTime time);
uint16_t MonthOfDate(TDateTime time);

// The drive name ("E:") of a device, empty when none is found.
// With a device name (the SPTI case, "CdRom0"): every letter A to Y is asked
// for its device (platform::QueryDosDevice) and compared, without regard to
// case, with "\Device\" + the name; the last matching letter wins.
// Without one: the library is asked (StarBurn_GetDeviceNameByDeviceAddress,
// announced in the diagnostic log) for the address's name "\\.\E:", of which
// the first four characters are dropped. No address and no name: empty.
std::string GetDriveLetterByDeviceAddress(const std::optional<TsbDeviceAddress>& address,
                                          std::string_view deviceName);
