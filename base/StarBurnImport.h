// SPDX-License-Identifier: GPL-2.0-or-later
// The program's import of the disc library: the version check made once at
// start-up. A version other than the expected one only warns.
#pragma once

#include <cstdint>
#include <string>

// The debugger text for a library reporting Version: the plain version line
// when it is the expected one, the invalid-version warning otherwise.
std::string StarBurnVersionText(uint32_t version);

// Checks Version against the expected one: sends the text above to the
// debugger output and, on a mismatch, shows it in a warning box with no
// caption (base/sbFrontEnd.h). Returns whether the version matched.
bool CheckStarBurnVersion(uint32_t version);
// The same for the version the loaded library reports.
bool CheckStarBurnVersion();
