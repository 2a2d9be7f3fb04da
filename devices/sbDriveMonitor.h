// SPDX-License-Identifier: GPL-2.0-or-later
// Drives and discs as they come and go: the system's device manager (udev)
// announces every block device of the cdrom kind that appears, goes away or
// has its disc changed. A monitor is a descriptor the front end watches (a
// QSocketNotifier in the wizard) and a Read that turns what arrived into
// drive events. The real monitor listens to udev through libudev; a test
// puts its own in (SetDriveMonitorFactory) and drives it through a pipe.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct TsbDriveEvent {
    enum TAction { Added, Removed, DiscChanged };
    TAction Action = Added;
    std::string DevNode; // "/dev/sr1"
};

// What udev said of one device, as the real monitor and a test's read it:
// its action ("add", "remove", "change"), its node and a property lookup
// (null when the property is not set). Nothing for a device that is no
// optical drive (ID_CDROM is not 1, or not a whole disc) or a change that
// is not a disc's (DISK_MEDIA_CHANGE, or ID_CDROM_MEDIA appearing).
std::optional<TsbDriveEvent>
DriveEventOf(const std::string& action, const std::string& devNode, const std::string& devType,
             const std::function<const char*(const char* name)>& property);

class IsbDriveMonitor {
public:
    virtual ~IsbDriveMonitor() = default;
    // Readable when events have arrived.
    virtual int Fd() const = 0;
    // What has arrived, without waiting.
    virtual std::vector<TsbDriveEvent> Read() = 0;
};

// The monitor of this system: udev's through libudev, or null with Failure
// saying why (no udev, as in some containers: the Refresh button remains).
std::unique_ptr<IsbDriveMonitor> MakeUdevDriveMonitor(std::string& failure);

// What CreateDriveMonitor makes; a test puts in its own, null puts back udev's.
using TsbDriveMonitorFactory = std::function<std::unique_ptr<IsbDriveMonitor>(std::string&)>;
void SetDriveMonitorFactory(TsbDriveMonitorFactory factory);
std::unique_ptr<IsbDriveMonitor> CreateDriveMonitor(std::string& failure);
