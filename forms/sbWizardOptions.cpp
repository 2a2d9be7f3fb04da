// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbWizardOptions.h"

#include "engine/sbBurner.h"

void CopyWizardOptions(const TsbWizardOptions& options, TsbBurner& burner) {
    burner.WriteMode = options.WriteMode;
    burner.TestWrite = options.TestWrite != 0;
    burner.MultiSession = options.MultiSession != 0;
    burner.SendOPC = options.SendOPC != 0;
    burner.OptionValue = options.OptionValue;
    burner.SpeedFactor = options.SpeedFactor;
    burner.WriteSpeed = options.WriteSpeed;
}
