// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::mutex g_mutex;
std::string g_executableOverride;
std::function<void(std::string_view)> g_debugSink;
std::function<TDiskSpace(const std::string&)> g_diskFreeSpaceOverride;

std::string readProcSelfExe() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

int GetWindowsPlatform() {
    return 1;
}

std::string GetExecutablePath() {
    {
        std::lock_guard lock(g_mutex);
        if (!g_executableOverride.empty()) {
            return g_executableOverride;
        }
    }
    return readProcSelfExe();
}

void SetExecutablePathOverride(std::string path) {
    std::lock_guard lock(g_mutex);
    g_executableOverride = std::move(path);
}

std::string GetExecutableFolder() {
    const std::string path = GetExecutablePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string UserStateFolder() {
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/state";
    }
    return {};
}

bool IsFolderWritable(const std::string& folder) {
    if (folder.empty() || ::access(folder.c_str(), W_OK) == 0) {
        return true;
    }
    return errno != EACCES && errno != EPERM && errno != EROFS;
}

void OutputDebugString(std::string_view message) {
    std::function<void(std::string_view)> sink;
    {
        std::lock_guard lock(g_mutex);
        sink = g_debugSink;
    }
    if (sink) {
        sink(message);
        return;
    }
    // One fwrite per message keeps lines from different threads whole.
    std::string line(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void SetDebugOutputSink(std::function<void(std::string_view)> sink) {
    std::lock_guard lock(g_mutex);
    g_debugSink = std::move(sink);
}

void SetDiskFreeSpaceOverride(std::function<TDiskSpace(const std::string& folder)> query) {
    std::lock_guard lock(g_mutex);
    g_diskFreeSpaceOverride = std::move(query);
}

TDiskSpace GetDiskFreeSpace(const std::string& folder) {
    std::function<TDiskSpace(const std::string&)> query;
    {
        std::lock_guard lock(g_mutex);
        query = g_diskFreeSpaceOverride;
    }
    if (query) {
        return query(folder);
    }
    TDiskSpace space;
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) {
        space.Error = errno;
        return space;
    }
    const uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    space.Ok = true;
    space.FreeBytes = static_cast<uint64_t>(info.f_bavail) * unit;
    space.TotalBytes = static_cast<uint64_t>(info.f_blocks) * unit;
    space.TotalFreeBytes = static_cast<uint64_t>(info.f_bfree) * unit;
    return space;
}

} // namespace platform
