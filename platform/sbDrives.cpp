// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/sbDrives.h"

#include <array>
#include <cctype>
#include <mutex>

namespace platform {

namespace {

struct TDosDrive {
    bool Defined = false;
    std::string Target;
};

std::mutex g_mutex;
std::array<TDosDrive, 26> g_drives;

std::optional<size_t> letterIndex(char letter) {
    const int upper = std::toupper(static_cast<unsigned char>(letter));
    if (upper < 'A' || upper > 'Z') {
        return std::nullopt;
    }
    return static_cast<size_t>(upper - 'A');
}

std::optional<size_t> driveIndex(std::string_view driveName) {
    if (driveName.size() < 2 || driveName[1] != ':') {
        return std::nullopt;
    }
    const std::string_view rest = driveName.substr(2);
    if (!(rest.empty() || rest == "/" || rest == "\\")) {
        return std::nullopt;
    }
    return letterIndex(driveName[0]);
}

} // namespace

bool DefineDosDevice(char letter, std::string target) {
    const auto index = letterIndex(letter);
    if (!index) {
        return false;
    }
    std::lock_guard lock(g_mutex);
    g_drives[*index] = TDosDrive{true, std::move(target)};
    return true;
}

void RemoveDosDevice(char letter) {
    if (const auto index = letterIndex(letter)) {
        std::lock_guard lock(g_mutex);
        g_drives[*index] = TDosDrive{};
    }
}

void ClearDosDevices() {
    std::lock_guard lock(g_mutex);
    g_drives.fill(TDosDrive{});
}

std::optional<std::string> QueryDosDevice(std::string_view driveName) {
    const auto index = driveIndex(driveName);
    if (!index) {
        return std::nullopt;
    }
    std::lock_guard lock(g_mutex);
    const TDosDrive& drive = g_drives[*index];
    if (!drive.Defined) {
        return std::nullopt;
    }
    return drive.Target;
}

} // namespace platform
