/* SPDX-License-Identifier: GPL-2.0-or-later */
/*
 * sbLibburnTesting.h - inspection of the libburn backend for tests.
 *
 * The libburn backend turns what libburn says about a disc into disc types
 * and information blocks; a test cannot put every kind of disc into a drive,
 * so that reading is reachable here with values shaped like libburn's own.
 */
#ifndef STARBURN_LIBBURN_SBLIBBURNTESTING_H
#define STARBURN_LIBBURN_SBLIBBURNTESTING_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The DISC_TYPE the libburn backend reports for a medium of the given MMC
 * profile (0xFFFF: libburn's stdio pseudo-drive) in a drive of the given
 * libburn role (1 a real drive, 2 a random-access file, 3 a sequential
 * target, 4 a read-only file, 5 a write-only file).
 */
STARBURN_API uint8_t StarBurnLibburnTesting_DiscTypeOfProfile(uint32_t ulProfile, uint32_t ulRole);

/* One track as burn_track_get_entry gives it (the fields the backend reads). */
typedef struct StarBurnLibburnTesting_Track {
    int32_t Point;           /* the track number */
    int32_t Control;         /* 4: data */
    int32_t ExtensionsValid; /* bit 0: StartLba/TrackBlocks, bit 2: TrackStatusBits */
    int32_t StartLba;
    int32_t TrackBlocks;
    int32_t TrackStatusBits; /* bit 5 damage, bit 14 blank, bit 16 NWA valid */
} StarBurnLibburnTesting_Track;

#define STARBURN_LIBBURN_TESTING_MAX_TRACKS 8

/* One session as burn_disc_get_sessions lists it. */
typedef struct StarBurnLibburnTesting_Session {
    uint8_t Complete; /* 0: one of burn_disc_get_incomplete_sessions */
    uint32_t TrackCount;
    StarBurnLibburnTesting_Track Tracks[STARBURN_LIBBURN_TESTING_MAX_TRACKS];
    int32_t LeadOutLba; /* complete sessions */
} StarBurnLibburnTesting_Session;

#define STARBURN_LIBBURN_TESTING_MAX_SESSIONS 4

/* A disc as libburn's calls describe it. */
typedef struct StarBurnLibburnTesting_Disc {
    uint32_t Status;  /* enum burn_disc_status */
    uint32_t Profile; /* burn_disc_get_profile */
    uint32_t Role;    /* burn_drive_get_drive_role */
    uint8_t Erasable;
    int64_t AvailableBytes; /* burn_disc_available_space */
    int32_t ReadCapacity;   /* burn_get_read_capacity, 0 when unknown */
    int32_t NwaResult;      /* the return of burn_disc_track_lba_nwa */
    int32_t NextTrackLba;
    int32_t Nwa;
    int32_t Damage; /* burn_disc_next_track_is_damaged */
    uint32_t SessionCount;
    StarBurnLibburnTesting_Session Sessions[STARBURN_LIBBURN_TESTING_MAX_SESSIONS];
} StarBurnLibburnTesting_Disc;

/*
 * What the backend answers for such a disc: its DISC_TYPE, the disc
 * information, the track information of track 255 (the next track; Valid 0
 * when the backend refuses it) and the table of contents.
 */
STARBURN_API void StarBurnLibburnTesting_Describe(const StarBurnLibburnTesting_Disc* pDisc,
                                                  uint8_t* pDiscType,
                                                  SB_DISC_INFORMATION* pInformation,
                                                  SB_TRACK_INFORMATION* pNextTrack,
                                                  SB_TOC_INFORMATION* pToc);

/*
 * How often the backend has asked libburn to open a device of the running
 * library: scans (burn_drive_scan_and_grab) and grabs of a scanned drive.
 * Returns SB_EXCEPTION_NO_DEVICE for a name that is no libburn drive.
 */
STARBURN_API uint8_t StarBurnLibburnTesting_DriveOpenings(const char* pDeviceName, uint32_t* pScans,
                                                          uint32_t* pGrabs);

/*
 * How the backend writes a job: ucMethod 0 Track-At-Once, 1 Session-At-Once,
 * 2 Disc-At-Once PQ, 3 Disc-At-Once raw P-W, asked with or without
 * multisession, on a disc of the given profile, drive role and
 * burn_disc_status; bClaimedIncremental: a Track-At-Once write failed on it
 * because the drive only claimed it could. pCaps[method] is what
 * burn_disc_get_multi_caps says for each method (bit 0 possible, bit 1
 * multi_session, bit 2 might_do_tao). Writes the method and multisession
 * flag used; returns 0 as asked, 1 Session-At-Once instead (closed), 2
 * written closed instead of left open, 3 refused.
 */
STARBURN_API uint8_t StarBurnLibburnTesting_PlanWrite(
    uint8_t ucMethod, uint8_t bMultiSession, uint32_t ulProfile, uint32_t ulRole, uint32_t ulStatus,
    uint8_t bClaimedIncremental, const uint32_t* pCaps, uint8_t* pMethod, uint8_t* pMulti);

/* The advice the backend adds to "busy" for a device file ("" when none). */
STARBURN_API void StarBurnLibburnTesting_BusyAdvice(const char* pDeviceFile, char* pText,
                                                    uint32_t ulTextSize);

/*
 * The advice the backend gives for a device file this process may not open
 * (lErrno: EACCES, EPERM or EROFS, as the opening failed), read from the
 * system as for a drive at start: the file's owner, group, mode and access
 * list, this process's user and groups, and udev's device database in the
 * folder pUdevData (NULL: /run/udev/data). Written into pText, cut to
 * ulTextSize - 1 bytes.
 */
STARBURN_API void StarBurnLibburnTesting_AccessAdvice(const char* pDeviceFile, int32_t lErrno,
                                                      const char* pUdevData, char* pText,
                                                      uint32_t ulTextSize);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_LIBBURN_SBLIBBURNTESTING_H */
