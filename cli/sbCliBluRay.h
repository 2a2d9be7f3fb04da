// SPDX-License-Identifier: GPL-2.0-or-later
// The Blu-ray choices of tavrin-burn burn, handed to the opened drive.
#pragma once

#include "cli/sbCliCommands.h"

class TsbBurner;

namespace cli {

// --bd-format (spare, no-spare; empty: libburn's rule) and
// --stream-recording for the burner's opened drive; nothing when neither
// was given. Raises EsbError with the library's text on failure.
void applyBluRayChoice(TsbBurner& burner, const TCliBurnOptions& options);

} // namespace cli
