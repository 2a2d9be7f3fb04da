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

TsbWizardOptions BurnerOptions(const TsbBurner& burner) {
    TsbWizardOptions options;
    options.WriteMode = burner.WriteMode;
    options.TestWrite = burner.TestWrite ? 1 : 0;
    options.MultiSession = burner.MultiSession ? 1 : 0;
    options.SendOPC = burner.SendOPC ? 1 : 0;
    options.OptionValue = burner.OptionValue;
    options.SpeedFactor = burner.SpeedFactor;
    options.WriteSpeed = burner.WriteSpeed;
    return options;
}
