// SPDX-License-Identifier: GPL-2.0-or-later
// An emulated udev monitor: what a test writes into its pipe, one line per
// device ("add /dev/sr1 ID_CDROM=1"), reaches the program as udev's
// announcements do, through the same filter (DriveEventOf).
#pragma once

#include "devices/sbDriveMonitor.h"

#include <fcntl.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

class TTestDriveMonitor : public IsbDriveMonitor {
public:
    TTestDriveMonitor() {
        if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
            fds_[0] = fds_[1] = -1;
        }
    }
    ~TTestDriveMonitor() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    TTestDriveMonitor(const TTestDriveMonitor&) = delete;
    TTestDriveMonitor& operator=(const TTestDriveMonitor&) = delete;

    int Fd() const override { return fds_[0]; }
    // "ACTION DEVNODE [NAME=VALUE ...]"
    bool Send(const std::string& line) {
        const std::string text = line + "\n";
        return ::write(fds_[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    std::vector<TsbDriveEvent> Read() override {
        char chunk[512];
        ssize_t n = 0;
        while ((n = ::read(fds_[0], chunk, sizeof chunk)) > 0) {
            pending_.append(chunk, static_cast<size_t>(n));
        }
        std::vector<TsbDriveEvent> events;
        for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            std::istringstream words(pending_.substr(0, end));
            pending_.erase(0, end + 1);
            std::string action, node, word;
            words >> action >> node;
            std::map<std::string, std::string> properties;
            while (words >> word) {
                const size_t eq = word.find('=');
                if (eq != std::string::npos) {
                    properties[word.substr(0, eq)] = word.substr(eq + 1);
                }
            }
            const auto devType = properties.count("DEVTYPE") ? properties["DEVTYPE"] : "disk";
            if (auto event = DriveEventOf(action, node, devType, [&](const char* name) {
                    const auto p = properties.find(name);
                    return p != properties.end() ? p->second.c_str() : nullptr;
                })) {
                events.push_back(*event);
            }
        }
        return events;
    }

private:
    int fds_[2] = {-1, -1};
    std::string pending_;
};

// Puts a test monitor in for every page created while it lives; Monitor()
// is the one the page took (null until then).
class TTestDriveMonitorScope {
public:
    TTestDriveMonitorScope() {
        SetDriveMonitorFactory([this](std::string&) -> std::unique_ptr<IsbDriveMonitor> {
            auto monitor = std::make_unique<TTestDriveMonitor>();
            monitor_ = monitor.get();
            return monitor;
        });
    }
    ~TTestDriveMonitorScope() { SetDriveMonitorFactory(nullptr); }
    TTestDriveMonitorScope(const TTestDriveMonitorScope&) = delete;
    TTestDriveMonitorScope& operator=(const TTestDriveMonitorScope&) = delete;

    TTestDriveMonitor* Monitor() const { return monitor_; }

private:
    TTestDriveMonitor* monitor_ = nullptr;
};
