/*
 * StarBurnLinux.h - calls of the Linux build of libStarBurn that stand in for
 * what a Windows program asks Windows itself about a drive.
 */
#ifndef STARBURN_STARBURNLINUX_H
#define STARBURN_STARBURNLINUX_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The volume label of the disc in a device (as GetVolumeInformation gives it
 * for the drive's root): the volume identifier of the disc's ISO9660 primary
 * volume descriptor, without its padding. pDeviceName is "CdRom3" or
 * "\\.\E:". An empty label is written when the drive has no disc or the disc
 * has no such descriptor. Returns SB_EXCEPTION_NOT_STARTED,
 * SB_EXCEPTION_INVALID_PARAMETER (no buffer) or SB_EXCEPTION_NO_DEVICE.
 */
STARBURN_API uint8_t StarBurn_GetVolumeLabel(const char* pDeviceName, char* pLabel,
                                             uint32_t ulLabelSize);

/*
 * The drive letter of a device, as the operating system's device-name query
 * answers it for a letter: "E:" written into pDriveName (at least 3 bytes).
 * pDeviceName is "CdRom3". An empty text is written for a device without a
 * letter. Returns SB_EXCEPTION_NOT_STARTED, SB_EXCEPTION_INVALID_PARAMETER or
 * SB_EXCEPTION_NO_DEVICE.
 */
STARBURN_API uint8_t StarBurn_GetDriveLetterByDeviceName(const char* pDeviceName, char* pDriveName,
                                                         uint32_t ulDriveNameSize);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_STARBURNLINUX_H */
