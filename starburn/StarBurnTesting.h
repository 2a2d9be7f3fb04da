/* SPDX-License-Identifier: GPL-2.0-or-later */
/*
 * StarBurnTesting.h - fault injection and inspection for tests of programs
 * that use libStarBurn. Not for production use: these calls make drives fail
 * on purpose.
 *
 * Devices are named as StarBurn_CdvdBurnerGrabber_CreateEx names them
 * ("CdRom0", "\\.\E:"). Every call returns an SB_EXCEPTION_* number; the
 * drive calls need a started library (SB_EXCEPTION_NOT_STARTED otherwise) and
 * a virtual recorder (SB_EXCEPTION_NO_DEVICE for other names).
 *
 * The same faults can be set in the configuration file (see the README):
 * [Fault NAME] sections, and FailWriteAtByte, TakeDiscOutAtByte and
 * WriteLimit in a [Recorder ID] section.
 */
#ifndef STARBURN_STARBURNTESTING_H
#define STARBURN_STARBURNTESTING_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Makes the named call fail with the given exception number (1..255),
 * status and text: the next ulCount calls, or every call until
 * StarBurnTesting_ClearFaults when ulCount is 0. pDeviceName NULL or "" means
 * any device (and calls that work on none, such as StarBurn_UpStartEx).
 * pFunctionName is the full name, "StarBurn_CdvdBurnerGrabber_GetSpeeds".
 * The short queries report only the exception number;
 * StarBurn_CdvdBurnerGrabber_GetInsertedDiscType returns it as the disc type.
 * Can be armed before StarBurn_UpStartEx; StarBurn_DownShut forgets them.
 */
STARBURN_API uint8_t StarBurnTesting_FailCall(const char* pFunctionName, const char* pDeviceName,
                                              uint8_t ucException, uint32_t ulStatus,
                                              const char* pText, uint32_t ulCount);

/* Forgets every injected fault, including per-recorder write faults and
 * write limits set through this header. */
STARBURN_API void StarBurnTesting_ClearFaults(void);

/*
 * The next write of the device fails once ullByte bytes of it have reached
 * the disc: with SB_EXCEPTION_WRITE_ERROR, or, when bTakeDiscOut is
 * non-zero, with SB_EXCEPTION_NOT_READY as the disc leaves the drive (it is
 * filed away as an ejected image and the tray stays empty).
 */
STARBURN_API uint8_t StarBurnTesting_FailWriteAt(const char* pDeviceName, uint64_t ullByte,
                                                 uint8_t bTakeDiscOut);

/* Takes the disc out of the device now (the tray stays empty until Eject or
 * StarBurnTesting_InsertDisc). A write running on it fails at its next chunk. */
STARBURN_API uint8_t StarBurnTesting_TakeDiscOut(const char* pDeviceName);

/*
 * Puts a disc of the given DISC_TYPE in: blank for recordable kinds, written
 * for CD-ROM and DVD-ROM. ulCapacityBlocks 0 gives the kind's usual
 * capacity. A written disc in the tray is filed away first.
 */
STARBURN_API uint8_t StarBurnTesting_InsertDisc(const char* pDeviceName, uint8_t ucDiscType,
                                                uint32_t ulCapacityBlocks);

/* Limits the device's writes to ullBytesPerSecond (0: no limit beyond the
 * speed and time factor). */
STARBURN_API uint8_t StarBurnTesting_SlowWrite(const char* pDeviceName, uint64_t ullBytesPerSecond);

/* The path of the image file the device's last eject filed away, into pPath
 * (zero-terminated, never past ulPathSize). SB_EXCEPTION_FILE_ERROR when no
 * disc has been filed away since the library started. */
STARBURN_API uint8_t StarBurnTesting_GetLastEjectedImage(const char* pDeviceName, char* pPath,
                                                         uint32_t ulPathSize);

/*
 * Holds the next pFunctionName call on the device (NULL or "": on any) at
 * the point where it has the drive to itself and is about to act on it, until
 * StarBurnTesting_ReleaseHeldCall. A test can then make another call exactly
 * between that call's checks and its action. The calls that stop there are
 * StarBurn_CdvdBurnerGrabber_SetSpeeds, _SetBUP, _SendOPC, _Eject,
 * _CloseSession and _ReadData. One hold at a time; arming another replaces a
 * hold not yet reached. Any drive, virtual or not.
 */
STARBURN_API uint8_t StarBurnTesting_HoldCall(const char* pFunctionName, const char* pDeviceName);

/* Waits up to ulTimeoutMs for the held call to stop: SB_EXCEPTION_NONE once
 * it has, SB_EXCEPTION_NOT_READY when it has not in that time. */
STARBURN_API uint8_t StarBurnTesting_AwaitHeldCall(uint32_t ulTimeoutMs);

/* Lets the held call go on and disarms a hold not yet reached.
 * StarBurnTesting_ClearFaults and StarBurn_DownShut do the same. */
STARBURN_API void StarBurnTesting_ReleaseHeldCall(void);

/* The state folder of the running library into pPath. */
STARBURN_API uint8_t StarBurnTesting_GetStateFolder(char* pPath, uint32_t ulPathSize);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_STARBURNTESTING_H */
