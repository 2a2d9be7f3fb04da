// SPDX-License-Identifier: GPL-2.0-or-later
// Reading the disc back: the data blocks a drive holds, for verification;
// how the drive's writes treat a Blu-ray disc.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbCalls.h"

using namespace starburn;

extern "C" {

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ReadData(SB_GRABBER_HEAD, uint32_t ulLba,
                                                         uint32_t ulBlocks, void* pBuffer) {
    const Report where{pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo};
    return grabberCall("StarBurn_CdvdBurnerGrabber_ReadData", pGrabber, where,
                       [&](Grabber& g) -> Error {
                           if (pBuffer == nullptr) {
                               return badArgument("No buffer was given for the blocks");
                           }
                           if (ulBlocks == 0) {
                               return badArgument("No blocks were asked for");
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_ReadData",
                                             [&] { return g.read(ulLba, ulBlocks, pBuffer); });
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ReadAudio(SB_GRABBER_HEAD, uint32_t ulLba,
                                                          uint32_t ulBlocks, void* pBuffer) {
    const Report where{pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo};
    return grabberCall("StarBurn_CdvdBurnerGrabber_ReadAudio", pGrabber, where,
                       [&](Grabber& g) -> Error {
                           if (pBuffer == nullptr) {
                               return badArgument("No buffer was given for the sectors");
                           }
                           if (ulBlocks == 0) {
                               return badArgument("No sectors were asked for");
                           }
                           return actOnDrive(g, "StarBurn_CdvdBurnerGrabber_ReadAudio",
                                             [&] { return g.readAudio(ulLba, ulBlocks, pBuffer); });
                       });
}

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetBluRayWrite(SB_GRABBER_HEAD, uint32_t ulFormat,
                                                               uint8_t bStreamRecording) {
    const Report where{pExceptionText, ulExceptionTextSize, pStatus, pFailureInfo};
    return grabberCall("StarBurn_CdvdBurnerGrabber_SetBluRayWrite", pGrabber, where,
                       [&](Grabber& g) -> Error {
                           if (ulFormat > SB_BD_FORMAT_NO_SPARE) {
                               return badArgument("Unknown Blu-ray format " +
                                                  std::to_string(ulFormat) + " (0, 1 or 2)");
                           }
                           return g.entry().device->setBluRayWrite(ulFormat, bStreamRecording != 0);
                       });
}

} // extern "C"
