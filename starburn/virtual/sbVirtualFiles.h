// SPDX-License-Identifier: GPL-2.0-or-later
// The recorders' durable files: every state file is written so that a crash
// or a power cut leaves either the old file or the new one, never half of
// one, and none is reached through a symbolic link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>

namespace starburn::virt {

// State files are never reached through a symbolic link: a link planted in
// the state folder must not send the recorder's writes somewhere else.
constexpr int kNoLinks = O_CLOEXEC | O_NOFOLLOW;

std::string folderOf(const std::string& path);

// Makes a rename or link in a folder last through a power cut.
bool syncFolder(const std::string& folder);

// A folder only this user may enter; an existing folder is left as it is.
bool makePrivateFolder(const std::string& folder, int& errnoValue);

// Writes a file through a temporary file of a name of its own and a rename,
// so a crash never leaves half a file behind and nothing already there is
// written through. Returns false and sets error (and errnoValue) on failure.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error,
                         int& errnoValue);

// Moves from to the new name to without ever replacing a file there: a hard
// link where the file system has them; else a rename that refuses to replace
// (vfat, exFAT and many network file systems have no hard links); else, across
// file systems, a copy. 0 or an errno value; EEXIST when to is taken.
int moveWithoutReplacing(const std::string& from, const std::string& to);

std::string fileError(const std::string& what, const std::string& path, int err);

// Also true for a dangling symbolic link: a state file name that is taken.
bool exists(const std::string& path);

bool pwriteAll(int fd, const char* data, size_t length, uint64_t offset);

} // namespace starburn::virt
