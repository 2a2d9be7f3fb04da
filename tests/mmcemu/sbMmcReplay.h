// SPDX-License-Identifier: GPL-2.0-or-later
// Answers of a real drive, taken from a libburn SCSI command log
// (burn_set_scsi_logging, xorriso -scsi_log on): its INQUIRY, and per loaded
// profile its GET CONFIGURATION, mode page 2A and READ FORMAT CAPACITIES.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sbmmc {

struct Replay {
    std::vector<uint8_t> inquiry;
    std::map<int, std::vector<uint8_t>> configuration; // profile -> the whole reply
    std::map<int, std::vector<uint8_t>> page2A;        // profile -> the page
    // (profile, descriptor type of the current capacity) -> the whole reply
    std::map<std::pair<int, int>, std::vector<uint8_t>> formatCapacities;

    bool empty() const {
        return inquiry.empty() && configuration.empty() && page2A.empty() &&
               formatCapacities.empty();
    }
};

// Reads a log; false with why when it cannot be read or holds none of them.
bool readReplay(const std::string& path, Replay& out, std::string& why);

} // namespace sbmmc
