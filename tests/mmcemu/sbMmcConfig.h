// SPDX-License-Identifier: GPL-2.0-or-later
// The emulator's configuration: the INI file named by SBMMCEMU, one
// [Drive N] section per drive (README.md lists the keys), and the faults a
// drive section plants.
#pragma once

#include "tests/mmcemu/sbMmcDisc.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sbmmc {

struct Faults {
    std::vector<int32_t> writeErrors; // 3/0C/00 on a write that reaches the block
    std::vector<int32_t> readErrors;  // 3/11/00 on a read that reaches the block
    int notReady = 0;                 // 2/04/notReadyAscq for so many commands after a load
    uint8_t notReadyAscq = 0x01;      // 01: becoming ready; 00, 04, 07, 08 ...
    int64_t noDiscAfter = -1;         // the disc vanishes after so many commands
    int64_t unplugAt = -1;            // from this command on the drive is gone
    int slowMs = 0;                   // every write takes so long
    bool writeProtected = false;      // 7/27/00 on everything that records
    bool closeError = false;          // CLOSE TRACK/SESSION fails with 3/0C/00
    bool opcError = false;            // SEND OPC INFORMATION fails with 5/73/03
    bool writeOpcError = false;       // every write fails with 3/73/03
    int32_t fullAt = -1;              // 5/21/00 on a write that reaches the block
};

struct DriveConfig {
    int number = 0; // the N of [Drive N]
    std::string path;
    std::string vendor = "TAVRIN";
    std::string product = "MMC EMULATOR";
    std::string revision = "1.00";
    DiscSpec disc;
    std::vector<int> speeds; // kB/s; empty: the medium's own
    int bufferKb = 2048;
    Faults faults;
    std::string replay; // a libburn SCSI log whose answers the drive gives
};

// Parses "write-error@LBA, slow:MS ..." (commas or blanks between faults).
bool parseFaults(std::string_view text, Faults& out, std::string& why);

// Reads the drive sections of a configuration file. Each problem is
// "file:line: text"; a drive with a bad setting is left out.
std::vector<DriveConfig> readConfig(const std::string& file, std::vector<std::string>& problems);

} // namespace sbmmc
