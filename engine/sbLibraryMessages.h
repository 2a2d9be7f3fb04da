// SPDX-License-Identifier: GPL-2.0-or-later
// What the drives' software (libburn, under the disc library) says while the
// program works: every message goes to the diagnostic log with its kind, and
// the newest ones are kept for a problem report, also when the log is off.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Hands the library this program's message handler; called before the
// library starts. Debugging messages come only when the environment variable
// TAVRIN_LIBBURN_DEBUG is set to something other than 0.
void InstallLibraryMessageHandler();

// The diagnostic-log line of one message: "libburn error: SORRY 0x0002014A
// (errno 13): text". Kind is an SB_MESSAGE_* value.
std::string LibraryMessageLine(uint32_t Kind, const std::string& Severity, uint32_t Code,
                               int32_t OsErrno, const std::string& Text);

// The newest messages of this run (at most a few thousand), oldest first,
// each a timestamped log line.
std::vector<std::string> RecentLibraryMessages();
