// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn burn --bd-format and --stream-recording: how the drive treats
// a Blu-ray disc that is not formatted yet, and its defect management.
#include "cli/sbCliBluRay.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "engine/sbBurner.h"
#include "starburn/StarBurnLinux.h"

namespace cli {

void applyBluRayChoice(TsbBurner& burner, const TCliBurnOptions& options) {
    if (options.BdFormat.empty() && !options.StreamRecording) {
        return; // the library's defaults: libburn's rule, defect management on
    }
    const uint32_t format = options.BdFormat == "spare"      ? SB_BD_FORMAT_SPARE
                            : options.BdFormat == "no-spare" ? SB_BD_FORMAT_NO_SPARE
                                                             : SB_BD_FORMAT_DEFAULT;
    const TsbCallResult set = burner.Kept(
        LibraryCall("StarBurn_CdvdBurnerGrabber_SetBluRayWrite",
                    burner.Failure("StarBurn_CdvdBurnerGrabber_SetBluRayWrite"), [&] {
                        return StarBurn_CdvdBurnerGrabber_SetBluRayWrite(
                            SB_BURNER_HEAD(burner), format, options.StreamRecording ? 1 : 0);
                    }));
    if (set.Failed()) {
        throw EsbError(set.FailureText);
    }
}

} // namespace cli
