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

// Debugger output: one message per call, written as one line to standard
// error, so a developer sees it in the terminal or the debugger's console.
// A sink may be installed (tests capture the messages); an empty sink restores
// standard error.
void OutputDebugString(std::string_view message);
void SetDebugOutputSink(std::function<void(std::string_view)> sink);

// The space on the file system that holds Folder.
struct TDiskSpace {
    bool Ok = false;
    int Error = 0;           // errno when not Ok
    uint64_t FreeBytes = 0;  // available to this (unprivileged) user
    uint64_t TotalBytes = 0; // size of the file system
};
TDiskSpace GetDiskFreeSpace(const std::string& folder);

} // namespace platform
