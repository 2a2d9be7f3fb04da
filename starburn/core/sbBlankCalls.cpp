// SPDX-License-Identifier: GPL-2.0-or-later
// Erasing a rewritable disc.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbCalls.h"

using namespace starburn;

extern "C" {

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Blank(SB_GRABBER_HEAD, uint8_t bFull) {
    const Report where{pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo};
    return grabberCall("StarBurn_CdvdBurnerGrabber_Blank", pGrabber, where,
                       [&](Grabber& g) -> Error {
                           if (Error e = needsFullAccess(g, "erase the disc")) {
                               return e;
                           }
                           if (Error e = notWhileWriting(g)) {
                               return e;
                           }
                           return g.blank(bFull != 0);
                       });
}

} // extern "C"
