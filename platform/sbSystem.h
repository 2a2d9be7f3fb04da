// SPDX-License-Identifier: GPL-2.0-or-later
// Operating-system facts and services the program asks for: the OS family,
// the running executable's path, debugger output and the free space of a
// folder. Linux implementations of what the program would otherwise ask
// Windows for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform {

// The OS family, as the transport page asks for it: 0 the Windows 9x family,
// 1 the NT family, -1 unknown. Linux offers what the NT family offers (devices
// opened by name), so it answers 1.
int GetWindowsPlatform();

// The full path of the running executable, read from /proc/self/exe. Empty
// when it cannot be read. A test may set the path the program believes it
// runs from (SetExecutablePathOverride); an empty override restores the real
// answer.
std::string GetExecutablePath();
void SetExecutablePathOverride(std::string path);

// The executable's folder with a trailing "/" (the path up to and including
// the last "/"); empty when the path is unknown.
std::string GetExecutableFolder();

// Where a user's program keeps state worth keeping between runs that is not
// a document (logs, history): $XDG_STATE_HOME when it is an absolute path,
// else $HOME/.local/state; empty when neither is known. No trailing "/".
std::string UserStateFolder();

// False when the folder exists and this process may not create files in it
// (an installed program's folder, a read-only file system); true otherwise,
// also for a folder that does not exist (writing there fails on its own).
bool IsFolderWritable(const std::string& folder);

// Debugger output: one message per call, written as one line to standard
// error, so a developer sees it in the terminal or the debugger's console.
// A sink may be installed (tests capture the messages); an empty sink restores
// standard error.
void OutputDebugString(std::string_view message);
void SetDebugOutputSink(std::function<void(std::string_view)> sink);

// The space on the file system that holds Folder.
struct TDiskSpace {
    bool Ok = false;
    int Error = 0;               // errno when not Ok
    uint64_t FreeBytes = 0;      // available to this (unprivileged) user
    uint64_t TotalBytes = 0;     // size of the file system
    uint64_t TotalFreeBytes = 0; // free, including the blocks kept for the superuser
};
TDiskSpace GetDiskFreeSpace(const std::string& folder);

// Tests stand in for the free-space query (a full disk without filling one);
// an empty function restores the file system's own answer.
void SetDiskFreeSpaceOverride(std::function<TDiskSpace(const std::string& folder)> query);

} // namespace platform
