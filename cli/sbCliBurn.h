// SPDX-License-Identifier: GPL-2.0-or-later
// What the burn of one drive and the burn of several (cli/sbCliMulti) share:
// the checks of the sheets before a drive is opened, and the option record.
#pragma once

#include "cli/sbCliChoices.h"
#include "cli/sbCliCommands.h"
#include "devices/sbDeviceList.h"
#include "engine/sbBurner.h"

#include <cstdint>
#include <string>
#include <vector>

class TCliSignals;
class TCliOutput;

namespace cli {

// Every check of the recorder, image, mode and options sheets, before the
// drive is opened (a failed one stops the run).
struct TBurnPlan {
    int64_t ImageSize = 0;
    const TCliMode* Mode = nullptr;
    std::vector<std::string> CueLines; // a cue sheet's tracks
};
// folder: the burner that gets the tree when options.Image is a folder, else null.
TBurnPlan checkBurn(const TCliBurnOptions& options, const TsbDeviceItem& device, TsbBurner* folder,
                    TCliOutput& output);

// The option record as the mode and options sheets leave it.
void setOptions(TsbBurner& burner, const TCliBurnOptions& options, uint8_t writeMode,
                const TCliSpeed& speed);

} // namespace cli

// More than one drive (--device twice or more, --all) or more than one copy.
bool IsMultiBurn(const TCliBurnOptions& options);
int RunMultiBurnCommand(const TCliBurnOptions& options, TCliSignals& signals);
