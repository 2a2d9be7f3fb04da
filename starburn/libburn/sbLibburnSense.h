// SPDX-License-Identifier: GPL-2.0-or-later
// What a drive's refusal means to the person at the computer. libburn's
// messages carry the sense key, ASC and ASCQ a drive answered ("SCSI error
// on write(992,32): [3 0C 00] Write error"); the one table of this library
// (starburn/core/sbSenseTable) turns the codes a user can act on into a
// short sentence and what to do,
// and an operating-system error that says the drive went away into "the
// recorder was disconnected". The raw code stays beside the sentence, so the
// diagnostic log line keeps it.
#pragma once

#include "starburn/core/sbSenseTable.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn::lb {

using starburn::senseAdvice;
using starburn::SenseCode;
using starburn::senseRemedy;

// The sense code a libburn message names, in either of its forms:
// "[3 0C 00]" or "Sense Key 3 \"...\", ASC 0C ASCQ 00".
std::optional<SenseCode> senseOf(std::string_view text);

// "The recorder was disconnected. ..." — the one text of a drive that went
// away in the middle of its work.
std::string disconnectedAdvice();

// True for an operating-system error of a device that is no longer there.
bool isDisconnection(int osErrno);

// True when the device file of a real drive (not a stdio: pseudo-drive)
// cannot be opened any more because the device is gone: a USB drive pulled
// out takes its node with it, and an emulated one answers ENODEV.
bool deviceFileGone(const std::string& address);

// The advice for what libburn reported in these messages (the first failure
// whose code the table knows; a disconnection first of all), "" when none.
std::string adviceFor(const std::vector<Message>& messages);

} // namespace starburn::lb
