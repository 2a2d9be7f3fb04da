// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbDeviceTable.h"

#include <algorithm>

namespace starburn {

DeviceEntry::Claim DeviceEntry::beginWrite() {
    std::lock_guard lock(mutex_);
    if (writing_) {
        return Claim::Writing;
    }
    if (actions_ > 0) {
        return Claim::Acting;
    }
    writing_ = true;
    return Claim::Granted;
}

void DeviceEntry::endWrite() {
    std::lock_guard lock(mutex_);
    writing_ = false;
}

DeviceEntry::Claim DeviceEntry::beginAction() {
    std::lock_guard lock(mutex_);
    if (writing_) {
        return Claim::Writing;
    }
    ++actions_;
    return Claim::Granted;
}

void DeviceEntry::endAction() {
    std::lock_guard lock(mutex_);
    --actions_;
}

bool DeviceEntry::writing() const {
    std::lock_guard lock(mutex_);
    return writing_;
}

Error DeviceEntry::addLock() {
    std::lock_guard lock(mutex_);
    if (locks_ == 0) {
        Error e = device->preventRemoval(true);
        if (e) {
            return e;
        }
    }
    ++locks_;
    return {};
}

Error DeviceEntry::removeLock() {
    std::lock_guard lock(mutex_);
    if (locks_ == 0) {
        return {};
    }
    if (locks_ == 1) {
        Error e = device->preventRemoval(false);
        if (e) {
            return e;
        }
    }
    --locks_;
    return {};
}

bool DeviceEntry::locked() const {
    std::lock_guard lock(mutex_);
    return locks_ > 0;
}

std::optional<int> deviceNumber(std::string_view name) {
    constexpr std::string_view prefix = "cdrom";
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 2) {
        return std::nullopt;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return std::nullopt;
        }
    }
    int n = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        n = n * 10 + (name[i] - '0');
    }
    // Device numbers have no leading zero: "CdRom05" names no device.
    if (name.size() == prefix.size() + 2 && name[prefix.size()] == '0') {
        return std::nullopt;
    }
    if (n > kMaxDeviceNumber) {
        return std::nullopt;
    }
    return n;
}

char driveLetterOf(std::string_view name) {
    if (name.size() == 6 && name.substr(0, 4) == "\\\\.\\") {
        name.remove_prefix(4);
    }
    if (name.size() != 2 || name[1] != ':') {
        return 0;
    }
    char c = name[0];
    if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
    }
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

std::string addressText(const SB_DEVICE_ADDRESS& a) {
    return std::to_string(a.PortID) + ":" + std::to_string(a.BusID) + ":" +
           std::to_string(a.TargetID) + ":" + std::to_string(a.LUN);
}

bool DeviceTable::add(DeviceRequest request, std::string& error) {
    if (!request.device) {
        error = "a backend offered no drive";
        return false;
    }
    int number = -1;
    if (!request.name.empty()) {
        const auto n = deviceNumber(request.name);
        if (!n) {
            error = "\"" + request.name + "\" is not a device name (CdRom0 to CdRom" +
                    std::to_string(kMaxDeviceNumber) + ")";
            return false;
        }
        if (byName(request.name)) {
            error = "the device name CdRom" + std::to_string(*n) + " is taken by another drive";
            return false;
        }
        number = *n;
    } else {
        for (int n = 0; n <= kMaxDeviceNumber; ++n) {
            if (!byName("CdRom" + std::to_string(n))) {
                number = n;
                break;
            }
        }
        if (number < 0) {
            error = "no device name is left: CdRom0 to CdRom" + std::to_string(kMaxDeviceNumber) +
                    " are all taken";
            return false;
        }
    }

    SB_DEVICE_ADDRESS address{};
    if (request.address) {
        address = *request.address;
        address.Present = 1;
        if (byAddress(address.PortID, address.BusID, address.TargetID, address.LUN)) {
            error = "the SCSI address " + addressText(address) + " is taken by another drive";
            return false;
        }
    } else {
        bool found = false;
        for (int target = 0; target < 256 && !found; ++target) {
            if (!byAddress(request.port, 0, static_cast<uint8_t>(target), 0)) {
                address = {1, request.port, 0, static_cast<uint8_t>(target), 0};
                found = true;
            }
        }
        if (!found) {
            error = "no SCSI address is left on port " + std::to_string(request.port);
            return false;
        }
    }

    char letter = request.driveLetter;
    if (letter != 0) {
        if (letter >= 'a' && letter <= 'z') {
            letter = static_cast<char>(letter - 'a' + 'A');
        }
        if (letter < 'A' || letter > 'Z') {
            error = "a drive letter is one of A to Z";
            return false;
        }
        if (byLetter(letter)) {
            error = std::string("the drive letter ") + letter + ": is taken by another drive";
            return false;
        }
    }

    auto entry = std::make_shared<DeviceEntry>();
    entry->name = "CdRom" + std::to_string(number);
    entry->address = address;
    entry->driveLetter = letter;
    entry->backend = std::move(request.backend);
    entry->device = std::move(request.device);
    entries_.push_back(std::move(entry));
    std::sort(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
        return *deviceNumber(a->name) < *deviceNumber(b->name);
    });
    return true;
}

std::shared_ptr<DeviceEntry> DeviceTable::byName(std::string_view name) const {
    if (const char letter = driveLetterOf(name); letter != 0) {
        return byLetter(letter);
    }
    // A device name may come in its device-path form, "\\.\CdRom0".
    if (name.size() > 4 && name.substr(0, 4) == "\\\\.\\") {
        name.remove_prefix(4);
    }
    const auto n = deviceNumber(name);
    if (!n) {
        return nullptr;
    }
    for (const auto& e : entries_) {
        if (*deviceNumber(e->name) == *n) {
            return e;
        }
    }
    return nullptr;
}

std::shared_ptr<DeviceEntry> DeviceTable::byAddress(uint8_t port, uint8_t bus, uint8_t target,
                                                    uint8_t lun) const {
    for (const auto& e : entries_) {
        if (e->address.PortID == port && e->address.BusID == bus && e->address.TargetID == target &&
            e->address.LUN == lun) {
            return e;
        }
    }
    return nullptr;
}

std::shared_ptr<DeviceEntry> DeviceTable::byLetter(char letter) const {
    if (letter == 0) {
        return nullptr;
    }
    for (const auto& e : entries_) {
        if (e->driveLetter == letter) {
            return e;
        }
    }
    return nullptr;
}

std::vector<std::shared_ptr<DeviceEntry>> DeviceTable::all() const {
    return entries_;
}

} // namespace starburn
