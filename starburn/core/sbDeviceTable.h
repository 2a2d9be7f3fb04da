// SPDX-License-Identifier: GPL-2.0-or-later
// The drives of all backends under one set of names and addresses.
//
// Device names (CdRom0 .. CdRom20), SCSI addresses and drive letters are
// unique over every backend: a backend asks for them when it adds a drive and
// the table gives what is free. The table is filled while the library starts
// and stays as it is until it shuts down.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/core/sbDevice.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn {

constexpr int kMaxDeviceNumber = 20; // CdRom0 .. CdRom20

// One drive in the table with the state the core keeps for it over all the
// grabbers that open it.
class DeviceEntry {
public:
    std::string name;          // "CdRom3"
    SB_DEVICE_ADDRESS address; // Present is always 1
    char driveLetter = 0;      // 'E', or 0 when the drive has none
    std::string backend;       // "virtual", "libburn"
    std::shared_ptr<Device> device;

    // One write at a time per drive, and none while a call that acts on the
    // drive (speeds, calibration, eject, closing a session, reading) runs.
    // Those calls run side by side with each other but never under a write:
    // the check and the action are one claim, so a write cannot start between
    // them. Each begin answers what stood in the way.
    enum class Claim { Granted, Writing, Acting };
    Claim beginWrite();
    void endWrite();
    Claim beginAction();
    void endAction();
    bool writing() const;

    // Tray locks counted over grabbers; the drive hears only the first lock
    // and the last release.
    Error addLock();
    Error removeLock();
    bool locked() const;

private:
    mutable std::mutex mutex_;
    bool writing_ = false;
    int actions_ = 0;
    int locks_ = 0;
};

// What a backend asks for when it adds a drive. Empty wishes are filled with
// what is free.
struct DeviceRequest {
    std::string backend;
    std::shared_ptr<Device> device;
    std::string name;                         // "CdRomN" or empty
    std::optional<SB_DEVICE_ADDRESS> address; // or the next free target on `port`
    uint8_t port = 1;
    char driveLetter = 0; // 'A'..'Z' or 0
};

class DeviceTable {
public:
    // Adds a drive. Fails with a text (and adds nothing) when a wish is taken
    // or not valid, or when all 21 names are used.
    bool add(DeviceRequest request, std::string& error);

    std::shared_ptr<DeviceEntry> byName(std::string_view name) const; // "CdRom3", "\\.\E:"
    std::shared_ptr<DeviceEntry> byAddress(uint8_t port, uint8_t bus, uint8_t target,
                                           uint8_t lun) const;
    std::shared_ptr<DeviceEntry> byLetter(char letter) const;
    std::vector<std::shared_ptr<DeviceEntry>> all() const; // in the order of their names

private:
    std::vector<std::shared_ptr<DeviceEntry>> entries_;
};

// "CdRom7" -> 7; nothing when the text is not such a name.
std::optional<int> deviceNumber(std::string_view name);

// "\\.\E:" (or "E:") -> 'E'; 0 when the text is not a drive letter name.
char driveLetterOf(std::string_view name);

std::string addressText(const SB_DEVICE_ADDRESS& address); // "1:0:2:0"

} // namespace starburn
