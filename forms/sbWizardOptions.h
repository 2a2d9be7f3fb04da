// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard's option record: what the write-mode and burn-options sheets
// chose. Its fields are those of the burner's option fields of the same
// names, and it always reaches the burner whole (CopyWizardOptions), so the
// burner never holds half of one choice and half of another.
#pragma once

#include <cstdint>

class TsbBurner;

#pragma pack(push, 1)
struct TsbWizardOptions {
    uint8_t WriteMode = 0;
    uint8_t TestWrite = 0;
    uint8_t MultiSession = 0;
    uint8_t SendOPC = 0;
    int32_t OptionValue = 0; // never set by the wizard
    int32_t SpeedFactor = 0;
    int32_t WriteSpeed = 0; // KB per second
};
#pragma pack(pop)

static_assert(sizeof(TsbWizardOptions) == 16);

// Copies every field of Options onto the burner's option fields.
void CopyWizardOptions(const TsbWizardOptions& options, TsbBurner& burner);
