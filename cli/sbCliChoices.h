// SPDX-License-Identifier: GPL-2.0-or-later
// The choices of a burn from the command line, checked as the wizard's
// sheets check them before anything is opened: the image, the mode and the
// speed.
#pragma once

#include "base/sbTypes.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "engine/sbModeChoice.h"
#include "engine/sbVerify.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// A burning mode as --mode names it.
struct TCliMode {
    const char* Option; // raw, dao, sao, tao
    TsbModeChoice Choice;
};

// The mode --mode names, among those the mode sheet would offer for the
// recorder and its disc; without --mode, Track-At-Once where offered, else
// the first mode offered (the sheet's preselection).
const TCliMode& chooseMode(const TsbDeviceItem& device, const std::string& option);

// The image checks of the image sheet's Next, and the engine's check of an
// ISO image shorter than its own volume (a cut-off download); the image's size.
int64_t checkImage(const std::string& path, const TsbDiscSpace& space);

// A cue sheet named on the command line, read as libburn reads it: refused
// (exUsage) with the library's text when it cannot be burnt, and (space not
// null) when it does not fit the disc's free sectors. Lines: its tracks with
// their lengths and their sum against the disc.
struct TCliCue {
    int64_t Bytes = 0;
    std::vector<std::string> Lines;
};
TCliCue checkCue(const std::string& path, const TsbDiscSpace* space);

// An image named on the command line: present, readable and not cut off.
TsbImageCheck existingImage(const std::string& path);

// The speed --speed names (max, KB/s or an x-factor) in the drive's list
// for the disc: its x-factor and KB/s.
struct TCliSpeed {
    int32_t Factor = 0;
    int32_t KBps = 0;
};
TCliSpeed chooseSpeed(const TsbDiscSpeedList& speeds, const std::string& option,
                      const TsbSpeedTable& table);

} // namespace cli
