// SPDX-License-Identifier: GPL-2.0-or-later
#include "devices/sbDeviceReport.h"

#include "base/sbUtils.h"

#include <fmt/format.h>

#include <mutex>

namespace {

struct TRemembered {
    std::mutex Mutex;
    std::vector<TsbReportDrive> Drives;
};

TRemembered& remembered() {
    static TRemembered r;
    return r;
}

} // namespace

void RememberDrivesForReport(const TsbDeviceList& Devices) {
    std::vector<TsbReportDrive> drives;
    for (int i = 0; i < Devices.Count(); ++i) {
        const TsbDeviceItem& d = *Devices.Items(i);
        TsbReportDrive drive;
        drive.Name = d.DeviceName;
        drive.Letter = d.DriveLetter;
        drive.Address = fmt::format("{}:{}:{}:{}", d.Address.PortID, d.Address.BusID,
                                    d.Address.TargetID, d.Address.LUN);
        drive.Vendor = d.Vendor;
        drive.Product = d.Product;
        drive.Firmware = d.ProductRevisionLevel;
        drive.State = DeviceAccessName(d.Access);
        drive.Disc = d.Usable() ? DiscTypeToStr(d.DiscType) : std::string();
        drive.Note = d.AccessText;
        drives.push_back(std::move(drive));
    }
    TRemembered& r = remembered();
    std::lock_guard lock(r.Mutex);
    r.Drives = std::move(drives);
}

std::vector<TsbReportDrive> RememberedDrives() {
    TRemembered& r = remembered();
    std::lock_guard lock(r.Mutex);
    return r.Drives;
}
