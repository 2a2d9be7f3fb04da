// SPDX-License-Identifier: GPL-2.0-or-later
// The device list and its items, and what a drive that may not be opened
// now is told apart by. The search is in sbDeviceFinder, the probe in
// sbDeviceProbe, the recorder sheet's questions and checks in sbRecorderChecks.
#include "devices/sbDeviceList.h"

#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "starburn/StarBurn.h"

#include <cerrno>
#include <cstring>

std::optional<TsbDeviceAccess> AccessOfFailedOpening(uint8_t exception, uint32_t status) {
    if (exception == SB_EXCEPTION_DEVICE_BUSY) {
        return daBusy;
    }
    if (exception == SB_EXCEPTION_NOT_READY && (status == EACCES || status == EPERM)) {
        return daForbidden;
    }
    return std::nullopt;
}

std::string RefusalText(TsbDeviceAccess access, const char* text, uint32_t size) {
    std::string given = BufferToStr(text, size);
    if (!given.empty()) {
        return given;
    }
    switch (access) {
    case daMounted:
        return SbTranslate("Devices", "The disc in the drive is mounted; unmount it and try again");
    case daForbidden:
        return SbTranslate("Devices", "You may not open the drive (permission denied)");
    default:
        return SbTranslate("Devices",
                           "The drive is in use by another program; close it there and try again");
    }
}

TsbDeviceItem* TsbDeviceList::Add() {
    items_.push_back(std::make_unique<TsbDeviceItem>());
    return items_.back().get();
}

void TsbDeviceList::Delete(int Index) {
    items_.erase(items_.begin() + Index);
}

bool TsbDeviceItem::MediaFormatsKnown() const {
    static const TsbMediaFormats none{};
    return std::memcmp(&MediaFormats, &none, sizeof none) != 0;
}

const char* DeviceAccessName(TsbDeviceAccess access) {
    switch (access) {
    case daBusy:
        return "busy";
    case daMounted:
        return "mounted";
    case daForbidden:
        return "forbidden";
    case daUnavailable:
        return "unavailable";
    default:
        return "available";
    }
}
