// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbUtils.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "platform/sbDrives.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fmt/printf.h>
#include <unistd.h>

namespace {

std::tm localParts(TDateTime time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    return parts;
}

[[noreturn]] void raiseFileError(const char* what, const std::string& fileName, int error) {
    throw EsbError(fmt::sprintf("Cannot %s file \"%s\": %s", what, fileName, std::strerror(error)));
}

} // namespace

std::string DiscTypeToStr(uint8_t discType) {
    switch (discType) {
    case DISC_TYPE_UNKNOWN:
        return SbTranslate("Messages", "Unknown");
    case DISC_TYPE_CDROM:
        return "CD-ROM";
    case DISC_TYPE_CDR:
        return "CD-R";
    case DISC_TYPE_CDRW:
        return "CD-RW";
    case DISC_TYPE_DVDROM:
        return "DVD-ROM";
    case DISC_TYPE_DVDR:
        return "DVD-R";
    case DISC_TYPE_DVDRAM:
        return "DVD-RAM";
    case DISC_TYPE_DVDRWRO:
        return "DVD-RW RO (Restricted Overwrite)";
    case DISC_TYPE_DVDRWSR:
        return "DVD-RW SR (Sequential Recording)";
    case DISC_TYPE_DVDPLUSRW:
        return "DVD+RW";
    case DISC_TYPE_DDCDROM:
        return "DD (Double Density) CD-ROM";
    case DISC_TYPE_DDCDR:
        return "DD (Double Density) CD-R";
    case DISC_TYPE_DDCDRW:
        return "DD (Double Density) CD-RW";
    case DISC_TYPE_DVDPLUSR:
        return "DVD+R";
    case DISC_TYPE_NO_MEDIA:
        return SbTranslate("Messages", "Empty");
    // The kinds a drive may report past the old table: without a name the
    // summary and tavrin-burn devices showed a Blu-ray disc as nothing at all.
    case DISC_TYPE_DVDPLUSR_DL:
        return "DVD+R DL";
    case DISC_TYPE_DVDR_DL:
        return "DVD-R DL";
    case DISC_TYPE_BDR:
        return "BD-R";
    case DISC_TYPE_BDRE:
        return "BD-RE";
    case DISC_TYPE_HDDVDROM:
        return "HD DVD-ROM";
    case DISC_TYPE_HDDVDR:
        return "HD DVD-R";
    case DISC_TYPE_HDDVDRW:
        return "HD DVD-RW";
    default:
        return {};
    }
}

bool IsDVDDiscType(uint8_t discType) {
    switch (discType) {
    case DISC_TYPE_DVDROM:
    case DISC_TYPE_DVDR:
    case DISC_TYPE_DVDRAM:
    case DISC_TYPE_DVDRWRO:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDPLUSRW:
    case DISC_TYPE_DVDPLUSR:
    case DISC_TYPE_DVDPLUSR_DL:
        return true;
    default:
        return false;
    }
}

bool IsWritableDiscType(uint8_t discType) {
    return discType != DISC_TYPE_CDROM && discType != DISC_TYPE_DVDROM &&
           discType != DISC_TYPE_DDCDROM;
}

void AppendLineToFile(const std::string& fileName, std::string_view line) {
    // Never through a symbolic link planted where the file should be.
    const int fd =
        ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        raiseFileError("open", fileName, errno);
    }
    std::string text(line);
    text += "\r\n";
    // One write per line: with O_APPEND, lines of other writers never land
    // inside this one.
    size_t written = 0;
    int error = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(fd, text.data() + written, text.size() - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        written += static_cast<size_t>(result);
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        raiseFileError("write to", fileName, error);
    }
}

uint16_t HourOfTime(TDateTime time) {
    return static_cast<uint16_t>(localParts(time).tm_hour);
}

uint16_t MinuteOfTime(TDateTime time) {
    return static_cast<uint16_t>(localParts(time).tm_min);
}

uint16_t DayOfDate(TDateTime time) {
    return static_cast<uint16_t>(localParts(time).tm_mday);
}

uint16_t MonthOfDate(TDateTime time) {
    return static_cast<uint16_t>(localParts(time).tm_mon + 1);
}

std::string GetDriveLetterByDeviceAddress(const std::optional<TsbDeviceAddress>& address,
                                          std::string_view deviceName) {
    std::string result;
    if (!deviceName.empty()) {
        const std::string wanted = "\\Device\\" + std::string(deviceName);
        for (char letter = 'A'; letter <= 'Y'; ++letter) {
            const std::string drive{letter, ':'};
            const auto target = platform::QueryDosDevice(drive);
            if (target && SameTextNoCase(*target, wanted)) {
                result = drive;
            }
        }
        return result;
    }
    if (!address) {
        return result;
    }
    char name[1024] = {};
    if (LibraryCall("StarBurn_GetDeviceNameByDeviceAddress", [&] {
            return StarBurn_GetDeviceNameByDeviceAddress(address->PortID, address->BusID,
                                                         address->TargetID, address->LUN, name);
        }) == 0) {
        const std::string text = BufferToStr(name, sizeof name);
        if (text.size() > 4) {
            result = text.substr(4);
        }
    }
    return result;
}
