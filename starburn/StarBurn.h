/* SPDX-License-Identifier: GPL-2.0-or-later */
/*
 * StarBurn.h - the C interface of libStarBurn, Tavrin's disc library.
 *
 * Everything the program does to a drive goes through the functions below.
 * The library has its own drive backends (virtual recorders backed by files,
 * real recorders through libburn) behind one device table; a caller never
 * knows which backend answers.
 *
 * Conventions shared by every function:
 *  - Results: a call returns one byte, the exception number. 0 is success;
 *    any other value is one of the SB_EXCEPTION_* numbers. A few calls return
 *    something else and say so.
 *  - Failure report: grabber calls take, as their first five arguments, the
 *    grabber handle, a text buffer, the buffer's size, the address of a
 *    32-bit status value and a failure-information block (at least
 *    SB_FAILURE_INFO_SIZE bytes). On failure the buffer holds a
 *    zero-terminated text (never written past its size) and the status value
 *    a status (an errno value, or an SB_STATUS_* number). The create calls
 *    take the address of the handle variable first and the same four after it.
 *  - Handles are opaque. StarBurn_Destroy takes the address of the handle
 *    variable and nulls it. A null, destroyed or foreign handle makes a call
 *    fail with SB_EXCEPTION_INVALID_HANDLE; it never crashes.
 *  - Threads: any call may come from any thread. The callback runs on the
 *    thread that made the library call. StarBurn_CdvdBurnerGrabber_Cancel may
 *    come from another thread while a write runs and makes that write return
 *    soon with SB_EXCEPTION_CANCELLED.
 *  - Records shared with the caller are packed, little-endian, with the widths
 *    and offsets documented (and checked) below. Where a record holds a
 *    pointer, this 64-bit build keeps a native pointer there.
 */
#ifndef STARBURN_STARBURN_H
#define STARBURN_STARBURN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define STARBURN_API __declspec(dllexport)
#else
#define STARBURN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------------ */
/* Version                                                                   */
/* ------------------------------------------------------------------------ */

#define STARBURN_VERSION 0x20080820u

/* ------------------------------------------------------------------------ */
/* Exception numbers (the byte every call returns)                           */
/* ------------------------------------------------------------------------ */

#define SB_EXCEPTION_NONE 0
#define SB_EXCEPTION_GENERIC 1          /* anything not listed below */
#define SB_EXCEPTION_INVALID_HANDLE 2   /* null, destroyed or foreign handle */
#define SB_EXCEPTION_INVALID_PARAMETER 3
#define SB_EXCEPTION_NOT_STARTED 4      /* StarBurn_UpStartEx has not run */
#define SB_EXCEPTION_NO_DEVICE 5        /* no device of that name/address */
#define SB_EXCEPTION_DEVICE_BUSY 6
#define SB_EXCEPTION_NOT_READY 7        /* no medium, tray open */
#define SB_EXCEPTION_NOT_SUPPORTED 8    /* the device or backend cannot do it */
#define SB_EXCEPTION_MEDIUM_ERROR 9     /* wrong, full or unwritable medium */
#define SB_EXCEPTION_FILE_ERROR 10      /* a source or state file failed */
#define SB_EXCEPTION_CANCELLED 11
#define SB_EXCEPTION_WRITE_ERROR 12     /* the drive failed during a write */
#define SB_EXCEPTION_CONFIGURATION 13   /* malformed or unusable configuration */
#define SB_EXCEPTION_TREE_ERROR 14      /* file tree build or read failed */

/* Status values that are not errno values. */
#define SB_STATUS_NONE 0
#define SB_STATUS_SENSE 0x10000u        /* sense data in the failure block */

/* ------------------------------------------------------------------------ */
/* Disc types (StarBurn_CdvdBurnerGrabber_GetInsertedDiscType)               */
/* ------------------------------------------------------------------------ */

typedef enum DISC_TYPE {
    DISC_TYPE_UNKNOWN = 0,
    DISC_TYPE_CDROM = 1,
    DISC_TYPE_CDR = 2,
    DISC_TYPE_CDRW = 3,
    DISC_TYPE_DVDROM = 4,
    DISC_TYPE_DVDR = 5,
    DISC_TYPE_DVDRAM = 6,
    DISC_TYPE_DVDRWRO = 7,
    DISC_TYPE_DVDRWSR = 8,
    DISC_TYPE_DVDPLUSRW = 9,
    DISC_TYPE_DDCDROM = 10,
    DISC_TYPE_DDCDR = 11,
    DISC_TYPE_DDCDRW = 12,
    DISC_TYPE_DVDPLUSR = 13,
    DISC_TYPE_NO_MEDIA = 14,
    DISC_TYPE_DVDPLUSR_DL = 15,
    DISC_TYPE_DVDR_DL = 16,
    DISC_TYPE_BDR = 17,
    DISC_TYPE_BDRE = 18,
    DISC_TYPE_HDDVDROM = 19,
    DISC_TYPE_HDDVDR = 20,
    DISC_TYPE_HDDVDRW = 21
} DISC_TYPE;

/* ------------------------------------------------------------------------ */
/* Callback                                                                  */
/* ------------------------------------------------------------------------ */

/*
 * The callback has four arguments: the reason (only its low byte carries
 * meaning), the context the caller handed in, and two reason-specific
 * pointers. It runs on the thread that made the library call.
 */
typedef void (*PCALLBACK)(uint32_t ulReason, void* pContext, void* pSpecial1, void* pSpecial2);

/*
 * Reasons.
 *  0 ADD_NAME       a name is added to a file tree. Special1: the name
 *                   (single-byte, zero-terminated); Special2: the tree node;
 *                   context: the tree's uint32_t node count that the
 *                   callback keeps.
 *  1 REMOVE_NAME    a name is removed from a file tree; as reason 0.
 *  2 IGNORE_NAME    a name is ignored (not added); Special1: the name.
 *  3 NAME_COLLISION two entries of a tree have the same name. Special1: a
 *                   NameCollisionRecord that the callback answers in place.
 *  10 DEVICE_FOUND  StarBurn_FindDevice found a device. Special1: its
 *                   TsbDeviceAddress-shaped SB_DEVICE_ADDRESS; Special2: NULL.
 *  11 OTHER_PROGRESS progress of another kind (lead-in, closing); no payload
 *                   the program reads.
 *  12 WRITE_PROGRESS Special1: const int64_t* total bytes; Special2: const
 *                   int64_t* bytes done.
 *  13 BUFFER_STATUS Special1: const uint32_t* recorder buffer size;
 *                   Special2: const uint32_t* free bytes in it.
 */
#define SB_REASON_TREE_ADD_NAME 0u
#define SB_REASON_TREE_REMOVE_NAME 1u
#define SB_REASON_TREE_IGNORE_NAME 2u
#define SB_REASON_TREE_NAME_COLLISION 3u
#define SB_REASON_DEVICE_FOUND 10u
#define SB_REASON_OTHER_PROGRESS 11u
#define SB_REASON_WRITE_PROGRESS 12u
#define SB_REASON_BUFFER_STATUS 13u

/* ------------------------------------------------------------------------ */
/* Records shared with the caller                                            */
/* ------------------------------------------------------------------------ */

#pragma pack(push, 1)

/* A device's SCSI address: Present is non-zero when the four numbers hold one. */
typedef struct SB_DEVICE_ADDRESS {
    uint8_t Present;
    uint8_t PortID;
    uint8_t BusID;
    uint8_t TargetID;
    uint8_t LUN;
} SB_DEVICE_ADDRESS;

/*
 * Failure-information block: the sense data of the last failed command.
 * The library writes at most SB_FAILURE_INFO_SIZE bytes into it.
 *   0      Valid (non-zero when the rest is filled)
 *   1      sense key
 *   2      additional sense code
 *   3      additional sense code qualifier
 *   4..53  reserved, zero
 */
#define SB_FAILURE_INFO_SIZE 54

/*
 * Disc information block (33 bytes), modelled on the answer to READ DISC
 * INFORMATION.
 *   0      Valid: non-zero when the disc answered
 *   1      disc status: 0 blank, 1 appendable (incomplete), 2 complete,
 *          3 other (read-only or random-access medium)
 *   2      last session status: 0 empty, 1 incomplete, 2 reserved/damaged,
 *          3 complete
 *   3      erasable: non-zero for rewritable media
 *   4      number of the first track on the disc
 *   5      number of sessions
 *   6      first track number in the last session
 *   7      last track number in the last session
 *   8      disc type code (0x00 CD-DA or CD-ROM, 0x10 CD-I, 0x20 CD-ROM XA,
 *          0xFF undefined - always 0xFF for DVD and BD)
 *   9..12  disc identification (uint32, 0 when none)
 *   13..16 last session lead-in start address (LBA, uint32)
 *   17..20 last possible lead-out start address (LBA, uint32): the disc's
 *          capacity in 2048-byte blocks
 *   21..28 disc bar code (8 bytes, zero when none)
 *   29     disc application code
 *   30     number of OPC tables
 *   31     background format status
 *   32     reserved
 */
typedef struct SB_DISC_INFORMATION {
    uint8_t Valid;
    uint8_t DiscStatus;
    uint8_t LastSessionStatus;
    uint8_t Erasable;
    uint8_t FirstTrackNumber;
    uint8_t NumberOfSessions;
    uint8_t FirstTrackInLastSession;
    uint8_t LastTrackInLastSession;
    uint8_t DiscTypeCode;
    uint32_t DiscIdentification;
    uint32_t LastSessionLeadInStart;
    uint32_t LastPossibleLeadOutStart;
    uint8_t DiscBarCode[8];
    uint8_t DiscApplicationCode;
    uint8_t NumberOfOPCTables;
    uint8_t BackgroundFormatStatus;
    uint8_t Reserved;
} SB_DISC_INFORMATION;

#define SB_DISC_STATUS_BLANK 0
#define SB_DISC_STATUS_APPENDABLE 1
#define SB_DISC_STATUS_COMPLETE 2
#define SB_DISC_STATUS_OTHER 3

#define SB_SESSION_STATUS_EMPTY 0
#define SB_SESSION_STATUS_INCOMPLETE 1
#define SB_SESSION_STATUS_DAMAGED 2
#define SB_SESSION_STATUS_COMPLETE 3

/*
 * Track information block (28 bytes), modelled on the answer to READ TRACK
 * INFORMATION. Track 255 (SB_TRACK_NUMBER_INVISIBLE) asks for the next track
 * to be written.
 *   0      Valid: non-zero when the block is filled
 *   1      track number
 *   2      session number
 *   3      track mode (control nibble: 4 data, uninterrupted)
 *   4      data mode (1 mode 1, 2 mode 2, 0x0F unknown)
 *   5      damage flag
 *   6      copy flag
 *   7      reserved-track flag
 *   8      packet/incremental flag
 *   9      blank: non-zero when the track holds nothing
 *   10     fixed-packet flag
 *   11     next writable address valid
 *   12..15 next writable address (LBA, uint32)
 *   16..19 track start address (LBA, uint32); for the invisible track the
 *          address at which a new session's image starts
 *   20..23 free blocks (2048-byte blocks, uint32)
 *   24..27 track size (blocks, uint32)
 */
typedef struct SB_TRACK_INFORMATION {
    uint8_t Valid;
    uint8_t TrackNumber;
    uint8_t SessionNumber;
    uint8_t TrackMode;
    uint8_t DataMode;
    uint8_t Damage;
    uint8_t Copy;
    uint8_t ReservedTrack;
    uint8_t Packet;
    uint8_t Blank;
    uint8_t FixedPacket;
    uint8_t NextWritableAddressValid;
    uint32_t NextWritableAddress;
    uint32_t TrackStartAddress;
    uint32_t FreeBlocks;
    uint32_t TrackSize;
} SB_TRACK_INFORMATION;

#define SB_TRACK_NUMBER_INVISIBLE 255u

/*
 * Table of contents block (13838 bytes), modelled on READ TOC/PMA/ATIP:
 * a 14-byte header and up to SB_TOC_MAX_ENTRIES entries of 8 bytes.
 *   0      Valid: non-zero when the disc has a table of contents
 *   1      first track number
 *   2      last track number
 *   3      number of sessions
 *   4      first track number of the last session
 *   5      reserved
 *   6..9   lead-out start address (LBA, uint32)
 *   10..13 number of entries that follow (uint32), lead-out not included
 *   14...  entries: session, track number, ADR/control byte, track mode,
 *          start address (LBA, uint32)
 */
typedef struct SB_TOC_ENTRY {
    uint8_t SessionNumber;
    uint8_t TrackNumber;
    uint8_t AdrControl;
    uint8_t TrackMode;
    uint32_t StartAddress;
} SB_TOC_ENTRY;

#define SB_TOC_MAX_ENTRIES 1728

typedef struct SB_TOC_INFORMATION {
    uint8_t Valid;
    uint8_t FirstTrackNumber;
    uint8_t LastTrackNumber;
    uint8_t NumberOfSessions;
    uint8_t FirstTrackInLastSession;
    uint8_t Reserved;
    uint32_t LeadOutStartAddress;
    uint32_t NumberOfEntries;
    SB_TOC_ENTRY Entries[SB_TOC_MAX_ENTRIES];
} SB_TOC_INFORMATION;

/*
 * Image-file sources of the Disc-At-Once writes (79604 bytes): a track count
 * and 100 entries of 796 bytes.
 *   entry 0      track kind: 0 data mode 1 (the only kind written)
 *   entry 1..4   reserved, zero
 *   entry 5..8   reserved, zero
 *   entry 9..795 the source file's path, single-byte, zero-terminated
 *                (at most SB_FILE_SOURCE_PATH_SIZE - 1 characters)
 */
#define SB_FILE_SOURCE_MAX_TRACKS 100
#define SB_FILE_SOURCE_PATH_SIZE 787

typedef struct FileSourceEntry {
    uint8_t TrackKind;
    uint32_t Reserved1;
    uint32_t Reserved2;
    char FileName[SB_FILE_SOURCE_PATH_SIZE];
} FileSourceEntry;

typedef struct FileSourceLayoutRecord {
    uint32_t TrackCount;
    FileSourceEntry Tracks[SB_FILE_SOURCE_MAX_TRACKS];
} FileSourceLayoutRecord;

/*
 * Session-At-Once sources (29108 bytes): an entry count and entries of 287
 * bytes from offset 4, each naming either an image file (path at offset 15)
 * or a file tree (handle at offset 279). 101 entries fit; the last 117 bytes
 * are reserved.
 *   entry 0      track kind: 0 data mode 1
 *   entry 1..14  reserved, zero
 *   entry 15..278 source file path, single-byte, zero-terminated
 *                (at most SB_SESSION_PATH_SIZE - 1 characters)
 *   entry 279..286 file-tree handle (native pointer) or NULL
 */
#define SB_SESSION_MAX_ENTRIES 101
#define SB_SESSION_PATH_SIZE 264

typedef struct SessionEntry {
    uint8_t TrackKind;
    uint8_t Reserved[14];
    char FileName[SB_SESSION_PATH_SIZE];
    void* FileTree;
} SessionEntry;

typedef struct SessionLayoutRecord {
    uint32_t EntryCount;
    SessionEntry Entries[SB_SESSION_MAX_ENTRIES];
    uint8_t Reserved[117];
} SessionLayoutRecord;

/*
 * Name collision (reason 3). The library fills everything but Reply and may
 * have the callback rewrite Name in place.
 *   0       tree kind: 0 ISO9660 names, non-zero Joliet names
 *   1..520  the colliding name, zero-terminated: single-byte characters for
 *           ISO9660, UTF-16 (little-endian) for Joliet
 *   521     first entry (native pointer); its source path, single-byte and
 *           zero-terminated, starts one byte into the entry
 *   529     first entry's attributes (0x10 directory)
 *   533     second entry (native pointer), same layout
 *   541     second entry's attributes
 *   545     reply, written by the callback:
 *           1 the first entry is the boot image: keep the name for it and
 *             give the renamed name to the second entry
 *           2 rename: the second entry takes the rewritten name
 *           3 merge: two folders become one (their contents are combined)
 */
#define SB_COLLISION_NAME_SIZE 520
#define SB_ATTRIBUTE_DIRECTORY 0x10u

#define SB_COLLISION_REPLY_BOOT_IMAGE 1
#define SB_COLLISION_REPLY_RENAME 2
#define SB_COLLISION_REPLY_MERGE 3

typedef struct NameCollisionRecord {
    uint8_t TreeKind;
    uint8_t Name[SB_COLLISION_NAME_SIZE];
    void* FirstEntry;
    uint32_t FirstAttributes;
    void* SecondEntry;
    uint32_t SecondAttributes;
    uint8_t Reply;
} NameCollisionRecord;

#pragma pack(pop)

#ifdef __cplusplus
#define SB_STATIC_ASSERT static_assert
#else
#define SB_STATIC_ASSERT _Static_assert
#endif

SB_STATIC_ASSERT(sizeof(void*) == 8, "this layout is for 64-bit builds");
SB_STATIC_ASSERT(sizeof(SB_DEVICE_ADDRESS) == 5, "device address is 5 bytes");
SB_STATIC_ASSERT(sizeof(SB_DISC_INFORMATION) == 33, "disc information is 33 bytes");
SB_STATIC_ASSERT(offsetof(SB_DISC_INFORMATION, DiscIdentification) == 9, "disc id at 9");
SB_STATIC_ASSERT(offsetof(SB_DISC_INFORMATION, LastPossibleLeadOutStart) == 17, "lead-out at 17");
SB_STATIC_ASSERT(sizeof(SB_TRACK_INFORMATION) == 28, "track information is 28 bytes");
SB_STATIC_ASSERT(offsetof(SB_TRACK_INFORMATION, Blank) == 9, "blank flag at 9");
SB_STATIC_ASSERT(offsetof(SB_TRACK_INFORMATION, NextWritableAddressValid) == 11, "NWA valid at 11");
SB_STATIC_ASSERT(offsetof(SB_TRACK_INFORMATION, TrackStartAddress) == 16, "start address at 16");
SB_STATIC_ASSERT(offsetof(SB_TRACK_INFORMATION, FreeBlocks) == 20, "free blocks at 20");
SB_STATIC_ASSERT(sizeof(SB_TOC_ENTRY) == 8, "TOC entry is 8 bytes");
SB_STATIC_ASSERT(sizeof(SB_TOC_INFORMATION) == 13838, "TOC information is 13838 bytes");
SB_STATIC_ASSERT(sizeof(FileSourceEntry) == 796, "file source entry is 796 bytes");
SB_STATIC_ASSERT(offsetof(FileSourceEntry, FileName) == 9, "file source path at 9");
SB_STATIC_ASSERT(sizeof(FileSourceLayoutRecord) == 79604, "file source layout is 79604 bytes");
SB_STATIC_ASSERT(sizeof(SessionEntry) == 287, "session entry is 287 bytes");
SB_STATIC_ASSERT(offsetof(SessionEntry, FileName) == 15, "session path at 15");
SB_STATIC_ASSERT(offsetof(SessionEntry, FileTree) == 279, "session tree handle at 279");
SB_STATIC_ASSERT(offsetof(SessionLayoutRecord, Entries) == 4, "session entries from 4");
SB_STATIC_ASSERT(sizeof(SessionLayoutRecord) == 29108, "session layout is 29108 bytes");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, Name) == 1, "collision name at 1");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, FirstEntry) == 521, "first entry at 521");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, FirstAttributes) == 529, "first attributes at 529");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, SecondEntry) == 533, "second entry at 533");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, SecondAttributes) == 541, "second attributes at 541");
SB_STATIC_ASSERT(offsetof(NameCollisionRecord, Reply) == 545, "reply at 545");

/* ------------------------------------------------------------------------ */
/* Library session                                                           */
/* ------------------------------------------------------------------------ */

/* The library's version: STARBURN_VERSION. Callable before UpStartEx. */
STARBURN_API uint32_t StarBurn_GetVersion(void);

/*
 * Starts the library: reads the recorder configuration and opens the state
 * folder. pConfigurationFile may be NULL: then the file named by the
 * environment variable STARBURN_CONFIG is read, or, without it, the built-in
 * recorder set is used. On failure the text buffer (may be NULL) gets the
 * reason. On success it holds the configuration problems that were skipped
 * ("file:line: problem", one per line; they also go to stderr), or is empty.
 * A second call while started does nothing and returns 0.
 */
STARBURN_API uint8_t StarBurn_UpStartEx(const char* pConfigurationFile, char* pExceptionText,
                                        uint32_t ulExceptionTextSize);

/* Stops the library; handles still open are destroyed (their running writes
 * are cancelled and waited for). Called from a write's callback, it cancels
 * that write and takes effect once the write call has returned. */
STARBURN_API void StarBurn_DownShut(void);

/*
 * Reports every device of the given SCSI peripheral type (5: CD/DVD) through
 * the callback, reason 10, on the calling thread, before returning.
 * ulFlags: 0 (reserved).
 */
STARBURN_API uint8_t StarBurn_FindDevice(uint8_t ucScsiDeviceType, uint32_t ulFlags,
                                         PCALLBACK pCallback, void* pContext);

/*
 * The drive-letter name of the device at a SCSI address, "\\.\E:" form,
 * written into pDeviceName (at least 8 bytes). Non-zero when no device
 * or no letter belongs to the address.
 */
STARBURN_API uint8_t StarBurn_GetDeviceNameByDeviceAddress(uint8_t ucPortID, uint8_t ucBusID,
                                                           uint8_t ucTargetID, uint8_t ucLUN,
                                                           char* pDeviceName);

/* Makes GetTOCInformation skip the slow full-TOC read where a backend has one. */
STARBURN_API void StarBurn_SetFastReadTOC(uint8_t bFastReadTOC);

/* Destroys a grabber or a file tree and nulls the handle variable. A running
 * write of the grabber is cancelled and waited for; called from that write's
 * own callback, the write lets go of the drive once it has returned. No
 * callback of the grabber follows. */
STARBURN_API void StarBurn_Destroy(void** ppObject);

/* ------------------------------------------------------------------------ */
/* Grabbers: one opened device each                                          */
/* ------------------------------------------------------------------------ */

/*
 * Opens a device. ulAccess: 1 opens it for queries only (write calls fail),
 * 0 opens it for everything, including writes. The callback and its context
 * receive the reasons raised by this grabber's calls. A virtual recorder that
 * another program has open for everything answers SB_EXCEPTION_DEVICE_BUSY to
 * ulAccess 0, with a text naming that program's process id; queries (1) still
 * open. A handle is never given out twice in a process: a destroyed handle
 * stays SB_EXCEPTION_INVALID_HANDLE.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Create(void** ppGrabber, char* pExceptionText,
                                                       uint32_t ulExceptionTextSize,
                                                       uint32_t* pStatus, void* pFailureInfo,
                                                       PCALLBACK pCallback, void* pContext,
                                                       uint8_t ucPortID, uint8_t ucBusID,
                                                       uint8_t ucTargetID, uint8_t ucLUN,
                                                       uint32_t ulAccess);

/* Opens a device by name: "CdRom0" .. "CdRom20", or "\\.\E:" (drive letter). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_CreateEx(void** ppGrabber, char* pExceptionText,
                                                         uint32_t ulExceptionTextSize,
                                                         uint32_t* pStatus, void* pFailureInfo,
                                                         PCALLBACK pCallback, void* pContext,
                                                         const char* pDeviceName,
                                                         uint32_t ulAccess);

/* Short queries: handle and outputs only. */

/* Vendor, product and revision (each buffer at least 64 bytes) and buffer size. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDeviceInformation(void* pGrabber,
                                                                     char* pVendor,
                                                                     char* pProduct,
                                                                     char* pRevision,
                                                                     uint32_t* pBufferSize);

/*
 * Media the device reads and writes, modelled on the capabilities page:
 * 1 reads CD-R, 2 reads CD-RW, 3 reads DVD-ROM, 4 reads DVD-R, 5 reads DVD-RAM,
 * 6 can test-write (simulate), 7 writes CD-R, 8 writes CD-RW, 9 writes DVD-R,
 * 10 writes DVD-RAM. Each output is one byte, non-zero for yes.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormats(
    void* pGrabber, uint8_t* pReadsCDR, uint8_t* pReadsCDRW, uint8_t* pReadsDVDROM,
    uint8_t* pReadsDVDR, uint8_t* pReadsDVDRAM, uint8_t* pTestWrite, uint8_t* pWritesCDR,
    uint8_t* pWritesCDRW, uint8_t* pWritesDVDR, uint8_t* pWritesDVDRAM);

/* 1 reads DVD+R, 2 reads DVD+RW, 3 writes DVD+R, 4 writes DVD+RW, 5 reads DVD+R DL,
 * 6 writes DVD+R DL. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSupportedMediaFormatsExEx(
    void* pGrabber, uint8_t* pReadsDVDPlusR, uint8_t* pReadsDVDPlusRW, uint8_t* pWritesDVDPlusR,
    uint8_t* pWritesDVDPlusRW, uint8_t* pReadsDVDPlusRDL, uint8_t* pWritesDVDPlusRDL);

/* The DISC_TYPE of the inserted disc (DISC_TYPE_NO_MEDIA when none; DISC_TYPE_UNKNOWN on
 * a bad handle). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(void* pGrabber);

/*
 * Free space of the inserted disc. ulFlags: 3 (count both the blank
 * remainder of the last session and unused reserved tracks). pFreeBlocks gets
 * the free 2048-byte blocks, pFreeBytes the free bytes.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscFreeSpace(void* pGrabber, uint32_t ulFlags,
                                                                 uint32_t* pFreeBlocks,
                                                                 uint64_t* pFreeBytes);

/* Calls with the common failure report. */

#define SB_GRABBER_HEAD                                                                       \
    void *pGrabber, char *pExceptionText, uint32_t ulExceptionTextSize, uint32_t *pStatus,    \
        void *pFailureInfo

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
    SB_GRABBER_HEAD, uint8_t* pTrackAtOnce, uint8_t* pSessionAtOnce, uint8_t* pDiscAtOncePQ,
    uint8_t* pDiscAtOnceRawPW);

/* 1 reads CD-DA, 2 reads CD-DA accurately, 3 reads mode 2 form 1, 4 reads mode 2 form 2,
 * 5 reads raw sectors, 6 reads sub-channel P-W. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ProbeSupportedReadModes(
    SB_GRABBER_HEAD, uint8_t* pReadsCDDA, uint8_t* pReadsCDDAAccurate, uint8_t* pReadsMode2Form1,
    uint8_t* pReadsMode2Form2, uint8_t* pReadsRaw, uint8_t* pReadsSubchannel);

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TestUnitReady(SB_GRABBER_HEAD);

/* pDiscInformation: an SB_DISC_INFORMATION (33 bytes). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscInformation(SB_GRABBER_HEAD,
                                                                   void* pDiscInformation);

/* pTrackInformation: an SB_TRACK_INFORMATION (28 bytes); track 255 = next to write. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetTrackInformation(SB_GRABBER_HEAD,
                                                                    uint32_t ulTrackNumber,
                                                                    void* pTrackInformation);

/* pTOCInformation: an SB_TOC_INFORMATION (13838 bytes). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetTOCInformation(SB_GRABBER_HEAD,
                                                                  void* pTOCInformation);

/*
 * DVD region settings; each output is one byte: RPC type (1 or 2),
 * region mask of the drive, user changes left, vendor resets left,
 * region scheme (0 none, 1 set).
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetRPC(SB_GRABBER_HEAD, uint8_t* pRPCType,
                                                       uint8_t* pRegionMask,
                                                       uint8_t* pUserChangesLeft,
                                                       uint8_t* pVendorResetsLeft,
                                                       uint8_t* pRegionScheme);

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetDiscUsedSpace(SB_GRABBER_HEAD,
                                                                 uint64_t* pUsedBytes);

/* Speeds in KB/s (1000 bytes). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetSpeeds(SB_GRABBER_HEAD,
                                                          uint32_t* pCurrentReadSpeed,
                                                          uint32_t* pMaximumReadSpeed,
                                                          uint32_t* pCurrentWriteSpeed,
                                                          uint32_t* pMaximumWriteSpeed);

/* Requests speeds in KB/s; the device picks the fastest it supports at or below each. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetSpeeds(SB_GRABBER_HEAD, uint32_t ulReadSpeed,
                                                          uint32_t ulWriteSpeed);

/* Buffer-underrun protection. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetBUP(SB_GRABBER_HEAD, uint8_t* pEnabled,
                                                       uint8_t* pSupported);
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetBUP(SB_GRABBER_HEAD, uint8_t bEnable);

/* Optimum power calibration. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SendOPC(SB_GRABBER_HEAD);

/* Tray lock, unlock and eject. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Lock(SB_GRABBER_HEAD);
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Release(SB_GRABBER_HEAD);
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Eject(SB_GRABBER_HEAD);

/* Closes the open session of the disc (after Track-At-Once). */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_CloseSession(SB_GRABBER_HEAD);

/*
 * Asks a running write of this grabber to stop; callable from any thread. The
 * write returns SB_EXCEPTION_CANCELLED within 100 ms. When no write runs, the
 * grabber's next write stops as soon as it starts, so a cancel that falls
 * between two tracks is not lost.
 */
STARBURN_API void StarBurn_CdvdBurnerGrabber_Cancel(void* pGrabber);

/*
 * Writes. Shared tail arguments:
 *  bTestWrite      non-zero: simulate, nothing is stored on the disc
 *  bReportProgress non-zero: raise reasons 12 and 13 through the callback
 *  ulRevision      the layout revision the caller speaks; 5 is the only one
 *
 * bOverburn (non-zero: allow writing past the disc's nominal capacity) is
 * passed as 0 by every caller; bMultiSession leaves the disc appendable.
 *
 * An image file must be a regular file; anything else (a FIFO, a device)
 * fails at once with SB_EXCEPTION_FILE_ERROR. While a write reads a file
 * tree, the tree's AddFile, AddFolder, RemoveName, SetBootImage, BuildImage,
 * Read and SeekToBegin fail with SB_EXCEPTION_DEVICE_BUSY, and so does a
 * second write from it; a tree named twice in one SessionLayoutRecord is
 * refused (SB_EXCEPTION_INVALID_PARAMETER) before anything is written.
 */

/* One track from an image file, Track-At-Once. bCloseTrack: 1. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
    SB_GRABBER_HEAD, const char* pFileName, uint8_t bCloseTrack, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision);

/* The image of a built file tree, Track-At-Once. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bCloseTrack, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision);

/*
 * Session-At-Once from a SessionLayoutRecord. bEntriesAreTrees: 1 when the
 * entries name file trees, 0 when they name image files. bCloseSession: 1.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SessionAtOnce(
    SB_GRABBER_HEAD, void* pSessionLayout, uint8_t bEntriesAreTrees, uint8_t bTestWrite,
    uint8_t bCloseSession, uint8_t bReportProgress, uint32_t ulRevision);

/* Disc-At-Once from image files (FileSourceLayoutRecord). bCdText: 0. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(
    SB_GRABBER_HEAD, void* pFileSourceLayout, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bCdText, uint8_t bReportProgress, uint32_t ulRevision);

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
    SB_GRABBER_HEAD, void* pFileSourceLayout, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bCdText, uint8_t bReportProgress, uint32_t ulRevision);

/* Disc-At-Once from a built file tree. */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision);

STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
    SB_GRABBER_HEAD, void* pFileTree, uint8_t bOverburn, uint8_t bTestWrite,
    uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision);

#define SB_WRITE_REVISION 5u

/* ------------------------------------------------------------------------ */
/* ISO9660/Joliet file trees                                                 */
/* ------------------------------------------------------------------------ */

/*
 * Creates an empty tree. The callback receives reasons 0 to 3 for this tree
 * with pContext (for reasons 0 and 1 the context is the caller's uint32_t
 * node count). The context must stay valid until the tree is destroyed:
 * every later add, remove and merge reports through it.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Create(void** ppFileTree, char* pExceptionText,
                                                           uint32_t ulExceptionTextSize,
                                                           uint32_t* pStatus, PCALLBACK pCallback,
                                                           void* pContext);

/*
 * Building a tree.
 *
 * Paths inside a tree use "/" ("/docs/readme.txt"); NULL, "" and "/" name
 * the root folder. Names are UTF-8 and may not be empty, "." or "..", nor
 * hold "/". A path matches names ignoring the case of the letters A-Z.
 *
 * Every entry carries two names on the disc:
 *  - its Joliet name: the name as added, with the characters Joliet forbids
 *    (below 0x20, * / : ; ? \) replaced by "_" and cut to 64 UTF-16 units,
 *    keeping a short extension. Paths in the tree use this name.
 *  - its ISO9660 name: an 8.3 name of upper-case letters, digits and "_"
 *    ("Long File Name.txt" becomes LONG_FIL.TXT). The image is written at
 *    ISO level 2, so a name chosen on a collision may be up to 30 characters.
 *
 * Collisions (reason 3). The first entry of a NameCollisionRecord is the one
 * already in the folder, the second the one being added.
 *  - Joliet (TreeKind non-zero, Name UTF-16LE): the new entry's Joliet name
 *    equals, ignoring the case of A-Z, the name of an entry of the folder.
 *    Reply 3 for two folders merges them: the new folder's contents go into
 *    the existing folder, their own collisions raised in turn. Reply 1 or 2
 *    gives the new entry the rewritten Name (its ISO9660 name follows from
 *    it). Any other reply, a merge of a file, a rewritten name that is not a
 *    valid name, a name still colliding after 8 answers, or a tree without a
 *    callback makes the add fail with SB_EXCEPTION_TREE_ERROR.
 *  - ISO9660 (TreeKind 0, Name single-byte, files with ";1"): distinct
 *    Joliet names share an 8.3 name (LONGFILENAME_A.TXT and LONGFILENAME_B.TXT
 *    are both LONGFILE.TXT). Reply 1 or 2 gives the new entry the rewritten
 *    Name as its ISO9660 name (only that name changes; letters are
 *    upper-cased, other characters become "_", the version is dropped). Any
 *    other reply, an unusable name, 8 answers that still collide, or no
 *    callback: the library numbers the name itself (LONGFIL1.TXT).
 *  Reply 1 says the first entry is the boot image; its name is kept either
 *  way, as the existing entry never changes name.
 *
 * Names raised: reason 0 once for every entry placed in the tree (Special1
 * its Joliet name, Special2 the entry), reason 1 once for every entry taken
 * out (folders after their contents), reason 2 for a source that is skipped
 * (a link leading nowhere or back to a folder above, a device, pipe or
 * socket; Special1 its name, Special2 NULL). A call that fails leaves the
 * tree as it was: the entries it had placed are taken out again, each with
 * reason 1, so a node count kept by the callback stays right.
 *
 * Changing a tree discards its built image: build it again before reading.
 * The callback must not call into the tree that raised it (such a call fails
 * with SB_EXCEPTION_GENERIC).
 */

/*
 * Adds the file at pSourcePath (links followed; it must be a readable regular
 * file) to the folder pTargetFolder of the tree, named pNameInTree, or by
 * the source's own name when pNameInTree is NULL. Fails with
 * SB_EXCEPTION_FILE_ERROR (status: errno) for a missing or unreadable source,
 * SB_EXCEPTION_TREE_ERROR for a target folder that is not in the tree or an
 * unresolved collision.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFile(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourcePath, const char* pTargetFolder, const char* pNameInTree);

/*
 * Adds the folder at pSourcePath with everything below it (links followed,
 * entries in name order) to pTargetFolder, named pNameInTree or by the
 * source's own name. With pSourcePath NULL or "" it adds an empty folder
 * named pNameInTree. A file below that cannot be read fails the whole call.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFolder(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourcePath, const char* pTargetFolder, const char* pNameInTree);

/* Takes the entry at pPathInTree, and everything below a folder, out of the tree. */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_RemoveName(void* pFileTree,
                                                               char* pExceptionText,
                                                               uint32_t ulExceptionTextSize,
                                                               uint32_t* pStatus,
                                                               const char* pPathInTree);

/*
 * Sets an El Torito boot image. ulBootImageKind: 6 (no emulation, boot
 * information table patched); ulPlatform: 2 (x86 BIOS); ulLoadSectors: 1
 * (2048-byte sectors loaded at boot); ulLoadSegment: 0 (the default, 0x07C0).
 * Other kinds and platforms fail with SB_EXCEPTION_NOT_SUPPORTED.
 *
 * pBootImage names a file of the tree by its path in the tree or by its
 * source path; failing both, an absolute path of a readable file, which is
 * then added to the tree's root under its own name (reason 0, collisions as
 * for any add). Anything else fails with SB_EXCEPTION_TREE_ERROR. The image
 * must be at least 64 bytes (checked when the image is built). NULL or ""
 * clears the boot image. Removing the boot image's entry from the tree makes
 * the next BuildImage fail until a boot image is set again. The boot catalog
 * is written but listed in neither directory tree.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SetBootImage(
    void* pFileTree, const char* pBootImage, uint32_t ulBootImageKind, uint32_t ulPlatform,
    uint32_t ulLoadSectors, uint32_t ulLoadSegment, char* pExceptionText,
    uint32_t ulExceptionTextSize, uint32_t* pStatus);

/*
 * Builds the tree's image. ulStartAddress: the block at which the image will
 * start on the disc (0 for a first session or a file; a multisession image
 * links to the session before it). ulTailPaddingSectors: blocks of zeros after
 * the image. bJoliet: 1 adds the Joliet tree. pApplicationId and pPreparerId
 * go into the primary volume descriptor.
 *
 * With a start address every address inside the image counts from that block,
 * so the image reads correctly when written there. The image holds this
 * tree's files only; files of earlier sessions are not carried over.
 * pVolumeLabel NULL or "" gives "CDROM". Every source file is checked again
 * (present, regular, readable) and its size taken now. After a successful
 * build the image is ready to read from its first byte.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_BuildImage(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    uint32_t ulStartAddress, uint32_t ulTailPaddingSectors, uint32_t bJoliet,
    const char* pVolumeLabel, const char* pApplicationId, const char* pPreparerId);

/* The built image's size in bytes: the low half returned, the high half in *pHigh. */
STARBURN_API uint32_t StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(void* pFileTree,
                                                                     uint32_t* pSizeHigh);

/*
 * Reads the next ulChunkSize bytes of the built image into pBuffer, exactly
 * that many. The image is generated while it is read, in bounded memory.
 * Fails with SB_EXCEPTION_TREE_ERROR before BuildImage, with
 * SB_EXCEPTION_INVALID_PARAMETER for a chunk that goes past the image's end
 * (nothing is read), and with SB_EXCEPTION_FILE_ERROR (status: errno) when a
 * source file cannot be read or changed since the build; after such a fault
 * every Read fails until SeekToBegin or BuildImage.
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_Read(void* pFileTree, char* pExceptionText,
                                                         uint32_t ulExceptionTextSize,
                                                         uint32_t* pStatus, uint32_t ulChunkSize,
                                                         void* pBuffer);

/* Makes the next Read start at the image's first byte. */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_SeekToBegin(void* pFileTree,
                                                                char* pExceptionText,
                                                                uint32_t ulExceptionTextSize,
                                                                uint32_t* pStatus);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_STARBURN_H */
