// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/StarBurnImport.h"

#include "base/sbConst.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "platform/sbSystem.h"

#include <fmt/printf.h>

std::string StarBurnVersionText(uint32_t version) {
    if (version == kExpectedStarBurnVersion) {
        return fmt::sprintf("StarBurn : StarBurn.dll version : 0x%08X", version);
    }
    return fmt::sprintf("StarBurn : Invalid StarBurn.dll version : 0x%08X. Expected : 0x%08X",
                        version, kExpectedStarBurnVersion);
}

bool CheckStarBurnVersion(uint32_t version) {
    const std::string text = StarBurnVersionText(version);
    platform::OutputDebugString(text);
    if (version == kExpectedStarBurnVersion) {
        return true;
    }
    ShowMessageBox(text, std::string(), TsbMessageBoxKind::mbkWarning);
    return false;
}

bool CheckStarBurnVersion() {
    // Not announced: asked once at start, before the log is set up; the
    // answer is written to the debug output, and on a mismatch shown.
    return CheckStarBurnVersion(QuietLibraryCall([] { return StarBurn_GetVersion(); }));
}
