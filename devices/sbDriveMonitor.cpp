// SPDX-License-Identifier: GPL-2.0-or-later
// udev's announcements of optical drives through libudev (see sbDriveMonitor.h).
#include "devices/sbDriveMonitor.h"

#include <libudev.h>

#include <cstring>
#include <mutex>

std::optional<TsbDriveEvent>
DriveEventOf(const std::string& action, const std::string& devNode, const std::string& devType,
             const std::function<const char*(const char* name)>& property) {
    const auto is = [&](const char* name, const char* value) {
        const char* v = property(name);
        return v != nullptr && std::strcmp(v, value) == 0;
    };
    // A removed device may no longer carry its properties: its node says it
    // was a drive ("sr"), as the library's search of /dev does.
    const bool drive =
        is("ID_CDROM", "1") || (action == "remove" && devNode.rfind("/dev/sr", 0) == 0);
    if (!drive || devNode.empty() || (!devType.empty() && devType != "disk")) {
        return std::nullopt;
    }
    TsbDriveEvent event;
    event.DevNode = devNode;
    if (action == "add") {
        event.Action = TsbDriveEvent::Added;
    } else if (action == "remove") {
        event.Action = TsbDriveEvent::Removed;
    } else if (action == "change" &&
               (is("DISK_MEDIA_CHANGE", "1") || is("DISK_EJECT_REQUEST", "1") ||
                property("ID_CDROM_MEDIA") != nullptr)) {
        event.Action = TsbDriveEvent::DiscChanged;
    } else {
        return std::nullopt;
    }
    return event;
}

namespace {

class TUdevDriveMonitor : public IsbDriveMonitor {
public:
    TUdevDriveMonitor(udev* context, udev_monitor* monitor) : udev_(context), monitor_(monitor) {}
    ~TUdevDriveMonitor() override {
        udev_monitor_unref(monitor_);
        udev_unref(udev_);
    }
    TUdevDriveMonitor(const TUdevDriveMonitor&) = delete;
    TUdevDriveMonitor& operator=(const TUdevDriveMonitor&) = delete;

    int Fd() const override { return udev_monitor_get_fd(monitor_); }

    std::vector<TsbDriveEvent> Read() override {
        std::vector<TsbDriveEvent> events;
        // The socket is non-blocking: null once everything that came is read.
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            const auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
            if (auto event = DriveEventOf(
                    text(udev_device_get_action(device)), text(udev_device_get_devnode(device)),
                    text(udev_device_get_devtype(device)), [device](const char* name) {
                        return udev_device_get_property_value(device, name);
                    })) {
                events.push_back(*event);
            }
            udev_device_unref(device);
        }
        return events;
    }

private:
    udev* udev_;
    udev_monitor* monitor_;
};

std::mutex g_factoryMutex;
TsbDriveMonitorFactory g_factory;

} // namespace

std::unique_ptr<IsbDriveMonitor> MakeUdevDriveMonitor(std::string& failure) {
    udev* context = udev_new();
    if (context == nullptr) {
        failure = "udev is not available";
        return nullptr;
    }
    // "udev": the events after udev has worked on them, with their properties.
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (monitor == nullptr) {
        udev_unref(context);
        failure = "udev's announcements cannot be received here";
        return nullptr;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", "disk") < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        failure = "udev's announcements of drives cannot be received here";
        return nullptr;
    }
    return std::make_unique<TUdevDriveMonitor>(context, monitor);
}

void SetDriveMonitorFactory(TsbDriveMonitorFactory factory) {
    std::lock_guard lock(g_factoryMutex);
    g_factory = std::move(factory);
}

std::unique_ptr<IsbDriveMonitor> CreateDriveMonitor(std::string& failure) {
    TsbDriveMonitorFactory factory;
    {
        std::lock_guard lock(g_factoryMutex);
        factory = g_factory;
    }
    return factory ? factory(failure) : MakeUdevDriveMonitor(failure);
}
