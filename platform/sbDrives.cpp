#include "platform/sbDrives.h"

#include <array>
#include <cctype>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

struct TDosDrive {
    bool Defined = false;
    std::string Target;
    std::string MediumPath;
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

// ISO9660: the primary volume descriptor is the first descriptor, at block 16
// of 2048 bytes; type 1, "CD001", then the volume identifier at byte 40 (32
// characters, blank-padded).
constexpr off_t kDescriptorOffset = 16 * 2048;
constexpr size_t kDescriptorHead = 72;

} // namespace

bool DefineDosDevice(char letter, std::string target, std::string mediumPath) {
    const auto index = letterIndex(letter);
    if (!index) {
        return false;
    }
    std::lock_guard lock(g_mutex);
    g_drives[*index] = TDosDrive{true, std::move(target), std::move(mediumPath)};
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

std::optional<std::string> GetVolumeLabel(std::string_view root) {
    const auto index = driveIndex(root);
    if (!index) {
        return std::nullopt;
    }
    std::string mediumPath;
    {
        std::lock_guard lock(g_mutex);
        mediumPath = g_drives[*index].MediumPath;
    }
    if (mediumPath.empty()) {
        return std::nullopt;
    }
    return ReadIso9660VolumeLabel(mediumPath);
}

std::optional<std::string> ReadIso9660VolumeLabel(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::array<char, kDescriptorHead> head{};
    const ssize_t got = ::pread(fd, head.data(), head.size(), kDescriptorOffset);
    ::close(fd);
    if (got != static_cast<ssize_t>(head.size()) || head[0] != 1 ||
        std::string_view(head.data() + 1, 5) != "CD001") {
        return std::nullopt;
    }
    std::string label(head.data() + 40, 32);
    const size_t end = label.find_last_not_of(" \0", std::string::npos, 2);
    label.erase(end == std::string::npos ? 0 : end + 1);
    return label;
}

} // namespace platform
