// SPDX-License-Identifier: GPL-2.0-or-later
// Which burning modes the recorder and the disc allow: the one rule the
// mode sheet and tavrin-burn both offer their choice by.
#pragma once

#include "base/sbTypes.h"

#include <cstdint>

// The burning modes of the mode sheet, in the order it lists them.
enum TsbModeChoice : uint8_t { mcDAORaw, mcDAOPQ, mcSAO, mcTAO };
inline constexpr TsbModeChoice sbModeChoices[] = {mcDAORaw, mcDAOPQ, mcSAO, mcTAO};

// Its name on the mode sheet: "Disc-At-Once raw P-W", "Disc-At-Once PQ",
// "Session-At-Once", "Track-At-Once".
const char* ModeChoiceName(TsbModeChoice choice);

// The write mode of the choice, from an image file or from a file tree.
uint8_t ModeChoiceWriteMode(TsbModeChoice choice, bool fromFile);

// Whether the choice is offered: the recorder writes the mode (Can) and
// Allowed says the disc takes it; the Disc- and Session-At-Once modes are
// never offered for a DVD.
bool ModeChoiceOffered(TsbModeChoice choice, const TsbWriteModes& can, uint8_t discType,
                       bool allowed);

// Whether the disc takes the Disc- and Session-At-Once modes: only a blank
// one does (disc status 0). Track-At-Once is allowed on any.
bool DiscAllowsWholeDiscModes(const TsbDiscInformation& disc);
