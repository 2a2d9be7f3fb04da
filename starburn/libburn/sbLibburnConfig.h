// SPDX-License-Identifier: GPL-2.0-or-later
// The configuration of the libburn backend: the [Libburn] section, a
// [Drive /dev/srN] section per real drive that needs a fixed place, and a
// [Stdio ID] section per pseudo-drive (an image file written through libburn),
// with the STARBURN_REAL_DRIVES, STARBURN_SCSI_LOG and STARBURN_READY_WAIT
// environment variables on top.
#pragma once

#include "ini/sbIni.h"
#include "starburn/StarBurn.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace starburn::lb {

// Where a drive goes in the device table; empty wishes take what is free.
struct Placement {
    std::string deviceName; // "CdRomN"
    std::optional<SB_DEVICE_ADDRESS> address;
    char driveLetter = 0;
    int line = 0; // of the section, for messages
};

struct StdioDriveConfig {
    std::string id;
    std::string path; // absolute
    Placement placement;
};

struct RealDrivePlacement {
    std::string deviceFile; // "/dev/sr0"
    Placement placement;
};

// Where libburn logs every SCSI command it sends and the drive's answer
// (burn_set_scsi_logging): a log of a run on a real drive is what a report
// of a drive's misbehaviour needs.
enum class ScsiLog { Off, File, StandardError };

// libburn's own name for its log file; it appends to it.
inline constexpr const char* kScsiLogFile = "/tmp/libburn_sg_command_log";

// How long a drive that answers "not ready yet" (2/04/xx: spinning up a disc
// just put in, finishing a format) is asked again before a call on it gives
// up. libburn would retry each command until that command's own time-out, for
// many minutes without a word.
inline constexpr std::chrono::seconds kDefaultReadyWait{30};
inline constexpr std::chrono::seconds kLongestReadyWait{3600};

struct LibburnConfig {
    std::string origin = "built-in"; // file name used in messages
    bool realDrives = true;
    ScsiLog scsiLog = ScsiLog::Off;
    std::chrono::seconds readyWait = kDefaultReadyWait;
    // Device files to use instead of every /dev/sr* there is.
    std::vector<std::string> devices;
    std::vector<RealDrivePlacement> placements;
    std::vector<StdioDriveConfig> stdioDrives;
};

// Reads the backend's part of a configuration (null: the defaults) and the
// environment. Every problem is "file:line: text"; a bad entry is left out.
LibburnConfig readLibburnConfig(const sbini::IniDocument* configuration,
                                std::vector<std::string>& problems);

bool isLibburnSection(std::string_view sectionName);

} // namespace starburn::lb
