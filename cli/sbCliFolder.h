// SPDX-License-Identifier: GPL-2.0-or-later
// A folder named where tavrin-burn burn takes an image: burnt as a data disc
// from the library's file tree (engine/sbFolderSource).
#pragma once

#include "base/sbTypes.h"
#include "cli/sbCliCommands.h"
#include "cli/sbCliOutput.h"

#include <cstdint>

class TsbBurner;

namespace cli {

// Puts the folder options.Image into the burner's file tree with its label
// (--label, else the folder's name, fixed to ISO 9660's characters), lists
// what was skipped or renamed, and stops when the folder cannot be read or
// its image does not fit the free space. The image's size.
int64_t checkFolder(TsbBurner& burner, const TCliBurnOptions& options, const TsbDiscSpace& space,
                    TCliOutput& output);

} // namespace cli
