/* SPDX-License-Identifier: GPL-2.0-or-later */
/*
 * StarBurnLinux.h - calls of the Linux build of libStarBurn: what the program
 * would otherwise ask the operating system about a drive (its disc's volume
 * label, its drive letter), and what only this build offers (stopping every
 * write, reading a disc back, erasing, whether a drive is free, reading a
 * volume descriptor, cue sheets and audio CDs).
 */
#ifndef STARBURN_STARBURNLINUX_H
#define STARBURN_STARBURNLINUX_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The media id of the disc in a device and its manufacturer, where the drive
 * reports them (libburn's burn_disc_get_media_id and
 * burn_guess_manufacturer): the id is the disc's product code as the drive
 * reads it from a DVD or BD ("VERBAT/IMe/000") or a CD's ATIP lead-in
 * ("97m26s66f"), the manufacturer a name ("Verbatim Corporation"). Each is
 * written empty when the drive has no disc, reports none or the name is not
 * known. pDeviceName as for StarBurn_GetVolumeLabel. Returns
 * SB_EXCEPTION_NOT_STARTED, SB_EXCEPTION_INVALID_PARAMETER (a buffer
 * missing) or SB_EXCEPTION_NO_DEVICE.
 */
STARBURN_API uint8_t StarBurn_GetMediaId(const char* pDeviceName, char* pMediaId,
                                         uint32_t ulMediaIdSize, char* pManufacturer,
                                         uint32_t ulManufacturerSize);

/*
 * The volume label of the disc in a device (the name a file manager shows
 * for the mounted disc): the volume identifier of the disc's ISO9660 primary
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

/*
 * Stops every running write of the library and waits until the drives have
 * finished with them, for a program that is being ended (SIGINT, SIGTERM): a
 * recorder left writing with nobody to finish the write stays busy and holds
 * an unfinished track. Every grabber is cancelled as with
 * StarBurn_CdvdBurnerGrabber_Cancel (a running write returns
 * SB_EXCEPTION_CANCELLED on its own thread; a grabber that is not writing
 * stops its next write as it starts), then the call waits up to
 * ulPatienceSeconds for the writes to end; a real drive takes some seconds
 * to stop. From this call until StarBurn_DownShut, a wait for a drive that
 * answers "not ready yet" (see ReadyWait in the [Libburn] section) ends at
 * once: the call that waits, StarBurn_UpStartEx among them, fails with
 * SB_EXCEPTION_CANCELLED. Call it from the program's
 * own signal handling, on a thread woken by the handler (a self-pipe,
 * signalfd, a watcher thread), not inside the signal handler itself: it
 * takes locks and sleeps. Not from a write's callback either: that write
 * cannot end while its callback waits. Returns SB_EXCEPTION_NONE when no
 * write runs any more (also when the library is not started) and
 * SB_EXCEPTION_DEVICE_BUSY when one still runs after the patience.
 */
STARBURN_API uint8_t StarBurn_AbortWrites(uint32_t ulPatienceSeconds);

/*
 * Reads ulBlocks 2048-byte blocks of the disc in the drive, from block ulLba
 * on, into pBuffer (at least ulBlocks * 2048 bytes): what a verification
 * compares with the image it wrote. The grabber may be opened for queries
 * only. StarBurn_CdvdBurnerGrabber_Cancel ends a read early with
 * SB_EXCEPTION_CANCELLED; a cancel that came while no read or write ran stops
 * the next read. Failures:
 *   SB_EXCEPTION_INVALID_PARAMETER  no buffer, no blocks, or a range that goes
 *                                   past the recorded data (nothing is read)
 *   SB_EXCEPTION_NOT_READY          no disc in the drive
 *   SB_EXCEPTION_MEDIUM_ERROR       a block cannot be read; the failure block
 *                                   holds the drive's sense data (03/11/00,
 *                                   unrecovered read error)
 *   SB_EXCEPTION_DEVICE_BUSY        the drive is writing
 *   SB_EXCEPTION_NOT_SUPPORTED      the drive cannot read its disc back
 * Virtual recorders read at their current read speed (times the time factor);
 * their fault settings ReadErrorAtBlock and CorruptAfterWrite make a read fail
 * or a written byte change on purpose.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ReadData(SB_GRABBER_HEAD, uint32_t ulLba,
                                                         uint32_t ulBlocks, void* pBuffer);

/*
 * Erases the rewritable disc in the drive so that it can be written from its
 * start again: a CD-RW or DVD-RW is blanked (quickly, or every block when
 * bFull is not 0), a DVD+RW or BD-RE is formatted anew. Everything the disc held is lost.
 * The grabber must be opened for writing; the call runs on the calling
 * thread like a write and counts as one (a second write or blank on the drive
 * is refused meanwhile, StarBurn_AbortWrites waits for it). The grabber's
 * callback gets SB_REASON_OTHER_PROGRESS (11) as the erase starts, then
 * SB_REASON_WRITE_PROGRESS (12) with the bytes of the whole erase and the
 * bytes erased so far. StarBurn_CdvdBurnerGrabber_Cancel stops it where the
 * medium allows: a virtual recorder stops at once and leaves the disc needing
 * another blank; a real drive finishes the erase it has begun (drives cannot
 * interrupt it), and the call then reports the erase done. Failures:
 *   SB_EXCEPTION_MEDIUM_ERROR   a write-once or pressed disc (CD-R, DVD-R,
 *                               DVD+R, CD-ROM ...): it cannot be erased
 *   SB_EXCEPTION_NOT_READY      no disc in the drive
 *   SB_EXCEPTION_CANCELLED      cancelled before the end
 *   SB_EXCEPTION_DEVICE_BUSY    the drive is writing
 *   SB_EXCEPTION_NOT_SUPPORTED  the drive (a pseudo-drive) erases nothing
 * A virtual recorder's disc becomes blank with its full capacity; a quick
 * blank takes the time of writing the recorded area at the current write
 * speed (times the time factor), a full blank that of the whole disc.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_Blank(SB_GRABBER_HEAD, uint8_t bFull);

/* What keeps this program from opening a drive now (StarBurn_CdvdBurnerGrabber_GetAccess). */
#define SB_DEVICE_ACCESS_FREE 0      /* nothing: the drive opens for writing */
#define SB_DEVICE_ACCESS_BUSY 1      /* another program has it open */
#define SB_DEVICE_ACCESS_MOUNTED 2   /* a file system of its disc is mounted */
#define SB_DEVICE_ACCESS_FORBIDDEN 3 /* this user may not open its device file */

/*
 * Whether the drive could be opened for writing (ulAccess 0) and used now,
 * asked without taking it from anyone: what a device list shows before the
 * user chooses a drive. The grabber may be opened for queries only. *pState
 * (when pState is not NULL) gets an SB_DEVICE_ACCESS_* value. Returns
 * SB_EXCEPTION_NONE with SB_DEVICE_ACCESS_FREE; otherwise the answer the
 * drive's use gets, with a text that says what stands in the way and what to
 * do about it:
 *   SB_EXCEPTION_DEVICE_BUSY  BUSY (status EBUSY): a virtual recorder another
 *                             program has open for writing (the text names its
 *                             process id); a real drive another program holds
 *                             (named with its process id where /proc tells it)
 *                             MOUNTED: a real drive whose disc is mounted (the
 *                             text names the mount point and says to unmount it)
 *   SB_EXCEPTION_NOT_READY    FORBIDDEN (status EACCES or EPERM): the device
 *                             file keeps this user out; the text says what
 *                             the system tells of it (its owner, group and
 *                             mode, the user's groups now and in the group
 *                             database, the seat's access list) and the
 *                             command that lets the user in
 * This program's own openings never make a drive busy for it. A real drive
 * is taken for the question, as its queries take it; a virtual recorder's
 * lock is only tested. A drive that fails for another reason (a device file
 * with no drive behind it, a pseudo-drive whose file is missing) answers
 * SB_EXCEPTION_NONE and FREE here, and its failure in its other calls.
 * Other failures: SB_EXCEPTION_INVALID_HANDLE, SB_EXCEPTION_NOT_STARTED.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_GetAccess(SB_GRABBER_HEAD, uint8_t* pState);

/* The kinds of message StarBurn_SetMessageHandler hands on. */
#define SB_MESSAGE_ERROR 0   /* a failure: libburn's SORRY, FATAL and worse */
#define SB_MESSAGE_WARNING 1 /* libburn's WARNING, HINT and NOTE */
#define SB_MESSAGE_DEBUG 2   /* libburn's UPDATE and DEBUG: only when asked for */

/*
 * A message of the software a backend drives the recorders with (libburn):
 * its kind (SB_MESSAGE_*), the software's own severity name ("SORRY",
 * "NOTE"), its message code, the operating-system error it carries (0 when
 * none) and its text.
 */
typedef void (*PSB_MESSAGE_HANDLER)(uint32_t ulKind, const char* pSeverity, uint32_t ulCode,
                                    int32_t lOsErrno, const char* pText, void* pContext);

/*
 * Hands every message of the drives' software to pHandler (NULL: to nobody),
 * with pContext: errors and warnings always, debugging messages only when
 * bDebug is not 0. None is left out, however many a write brings; they come
 * in the order the software gave them, one at a time, on the thread of the
 * library call that read them (any thread; a write's messages mostly on the
 * thread of the write), and the last ones of a session before
 * StarBurn_DownShut returns. The handler must return soon and must not call
 * the library. Callable before StarBurn_UpStartEx; the handler stays set
 * across sessions. After the call returns, the handler it replaced is not
 * called again. The virtual recorders send no messages.
 */
STARBURN_API void StarBurn_SetMessageHandler(PSB_MESSAGE_HANDLER pHandler, void* pContext,
                                             uint8_t bDebug);

/* What an ISO9660 primary volume descriptor says (StarBurn_ReadPrimaryVolumeDescriptor). */
typedef struct SB_PRIMARY_VOLUME_DESCRIPTOR {
    uint8_t IsPrimary;         /* 1: the block is a primary volume descriptor */
    char VolumeIdentifier[33]; /* printable ASCII, its padding blanks removed, zero-terminated */
    uint32_t VolumeSpaceSize;  /* the volume's size in logical blocks */
    uint16_t LogicalBlockSize; /* bytes of a logical block (2048 on discs; 0 when not recorded) */
} SB_PRIMARY_VOLUME_DESCRIPTOR;

/*
 * Reads an ISO9660 primary volume descriptor (ECMA-119 8.4), the 2048-byte
 * block 16 of a disc or an image, from the ulBlockSize bytes at pBlock: what
 * the library itself reads to give a disc's volume label. A block cut short
 * (the end of a truncated image file) is read as far as it goes: it is a
 * descriptor when its first 130 bytes, which hold every field reported, are
 * there. Identifier bytes outside printable ASCII read as blanks. A block
 * that is no such descriptor gets IsPrimary 0 and every other field zero.
 * Needs no started library. Returns SB_EXCEPTION_INVALID_PARAMETER when
 * pBlock or pDescriptor is NULL, otherwise SB_EXCEPTION_NONE.
 */
STARBURN_API uint8_t StarBurn_ReadPrimaryVolumeDescriptor(
    const void* pBlock, uint32_t ulBlockSize, SB_PRIMARY_VOLUME_DESCRIPTOR* pDescriptor);

/* The most tracks a cue sheet may hold (a CD's), and the size of a path in SB_CUE_TRACK. */
#define SB_CUE_MAX_TRACKS 99
#define SB_CUE_PATH_SIZE 1024

/* One track of a cue sheet (StarBurn_CueSheet_Read). */
typedef struct SB_CUE_TRACK {
    uint8_t Number;                  /* its CD track number (1 to 99) */
    uint8_t IsAudio;                 /* 1: AUDIO, 2352-byte sectors; 0: MODE1/2048 data */
    uint8_t ByteSwapped;             /* 1: its file holds big-endian samples (FILE ... MOTOROLA) */
    uint32_t Line;                   /* the line of the cue sheet its TRACK stands on */
    uint32_t Sectors;                /* the sectors it takes from its file (a track shorter than
                                        300, 4 seconds, is padded to 300 on the disc) */
    uint32_t PregapSectors;          /* the sectors of silence (or zeros) written before it (PREGAP;
                                        0 for the first track, whose pregap is the disc's 150) */
    uint32_t PostgapSectors;         /* the same written after it (POSTGAP) */
    uint64_t FileOffset;             /* where its bytes begin in its file */
    char FileName[SB_CUE_PATH_SIZE]; /* its file, with the cue sheet's folder before a relative name
                                      */
} SB_CUE_TRACK;

/* What a cue sheet burns (StarBurn_CueSheet_Read). */
typedef struct SB_CUE_SHEET {
    uint32_t TrackCount;
    uint8_t IsAudio;       /* 1: every track is AUDIO (libburn burns no mix) */
    uint32_t TotalSectors; /* every track (padded) and gap, and the 150 sectors before the
                              first: what the disc holds */
    uint64_t TotalBytes;   /* the bytes its tracks take from their files */
    SB_CUE_TRACK Tracks[SB_CUE_MAX_TRACKS];
} SB_CUE_SHEET;

/*
 * Reads a CDRWIN cue sheet (.cue) as libburn reads it for a burn (libburn's
 * own reader: FILE of type BINARY, MOTOROLA or WAVE; TRACK AUDIO or
 * MODE1/2048; INDEX, PREGAP, POSTGAP, CATALOG, ISRC and CD-TEXT entries) and
 * fills *pSheet with its tracks. A relative FILE name is taken from the cue
 * sheet's folder, as the programs that write cue sheets mean it. Needs no
 * started library and no drive. What libburn cannot burn is refused with a
 * text in pExceptionText that names the cue sheet's line, what stands on it
 * and what can be burnt instead:
 *   SB_EXCEPTION_NOT_SUPPORTED  a track type libburn does not write
 *                               (MODE2/2352, MODE1/2352 raw data, CDG ...),
 *                               data and audio tracks in one session, a FILE
 *                               type other than BINARY, MOTOROLA and WAVE
 *   SB_EXCEPTION_FILE_ERROR     a file it names is not there or cannot be
 *                               read; the cue sheet itself cannot be read
 *   SB_EXCEPTION_INVALID_PARAMETER  no path or no sheet given; a sheet with
 *                               no track or more than SB_CUE_MAX_TRACKS
 * Returns SB_EXCEPTION_NONE when the sheet can be burnt.
 */
STARBURN_API uint8_t StarBurn_CueSheet_Read(const char* pCueFileName, SB_CUE_SHEET* pSheet,
                                            char* pExceptionText, uint32_t ulExceptionTextSize);

/*
 * Burns the cue sheet pCueFileName Disc-At-Once (session at once) onto the
 * blank CD in the drive, with its tracks, pregaps, indices, catalog number
 * and ISRCs, and closes the disc. The grabber must be opened for writing; the
 * call runs on the calling thread like the other writes, with the same
 * callbacks (reason 12 with the bytes of its tracks) and cancel. The sheet
 * is read as StarBurn_CueSheet_Read reads it and refused with the same
 * texts before anything is written. Only drives through libburn burn cue
 * sheets: a virtual recorder answers SB_EXCEPTION_NOT_SUPPORTED. Other
 * failures as for StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile
 * (SB_EXCEPTION_MEDIUM_ERROR with status ENOSPC when it does not fit).
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue(SB_GRABBER_HEAD,
                                                                  const char* pCueFileName,
                                                                  uint8_t bTestWrite,
                                                                  uint8_t bReportProgress);

/*
 * Reads ulBlocks 2352-byte audio sectors of the CD in the drive, from sector
 * ulLba on, into pBuffer (at least ulBlocks * 2352 bytes), with READ CD: the
 * samples of an audio track, 16-bit little-endian stereo, for a verification
 * or a copy. The grabber may be opened for queries only; a cancel acts as on
 * StarBurn_CdvdBurnerGrabber_ReadData. Failures as for that call, and
 * SB_EXCEPTION_MEDIUM_ERROR with sense 05/64/00 for a sector that is not
 * audio; a virtual recorder (it holds no audio) and a pseudo-drive answer
 * SB_EXCEPTION_NOT_SUPPORTED.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_ReadAudio(SB_GRABBER_HEAD, uint32_t ulLba,
                                                          uint32_t ulBlocks, void* pBuffer);
/* How StarBurn_CdvdBurnerGrabber_SetBluRayWrite has a BD formatted before a write. */
#define SB_BD_FORMAT_DEFAULT 0  /* libburn's rule: an unformatted BD-RE is formatted with its
                                   default spare areas, a blank BD-R is written unformatted */
#define SB_BD_FORMAT_SPARE 1    /* spare areas (the drive's defect management): an unformatted
                                   BD-RE or a blank BD-R is formatted with the default spare
                                   areas first */
#define SB_BD_FORMAT_NO_SPARE 2 /* no spare areas, the whole capacity: an unformatted BD-RE is
                                   formatted without them, a blank BD-R written unformatted */

/*
 * How the writes of the drive behind pGrabber treat a Blu-ray disc, from the
 * next write on (until the library stops): ulFormat (SB_BD_FORMAT_*) says
 * whether a disc that is not formatted yet gets spare areas, and
 * bStreamRecording (1) lets the drive write without its defect management
 * (libburn's stream recording: faster, no verify-after-write by the drive);
 * 0, the default, keeps the defect management. A disc already formatted is
 * never formatted again. The format is done at the start of the write with
 * libburn's burn_disc_format, the exact format chosen from the drive's list
 * (types 30h or 31h on BD-RE, 32h on BD-R), after the image was checked
 * against the capacity that format gives, and the capacity is read again
 * once it is done: nothing is formatted or written for an image that will
 * not fit. Other discs ignore both settings. Failures:
 * SB_EXCEPTION_INVALID_PARAMETER (an unknown ulFormat), the grabber's.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_SetBluRayWrite(SB_GRABBER_HEAD, uint32_t ulFormat,
                                                               uint8_t bStreamRecording);

/* The kinds of note StarBurn_ISO9660JolietFileTree_AddFolderContents hands on. */
#define SB_TREE_NOTE_SKIPPED_SPECIAL 1 /* a device, FIFO or socket: it has no content to store */
#define SB_TREE_NOTE_SKIPPED_LINK 2    /* a symbolic link that leads nowhere, loops, or leads back
                                          into a folder above it */
#define SB_TREE_NOTE_RENAMED 3         /* a name Joliet (or Rock Ridge, for bytes that are no
                                          UTF-8) cannot hold: pText is the name given instead */

/*
 * A note of StarBurn_ISO9660JolietFileTree_AddFolderContents about one source
 * entry: its kind (SB_TREE_NOTE_*), the entry's source path and a text that
 * says what was done, zero-terminated. Called on the thread of the call,
 * during it; it must not call the library.
 */
typedef void (*PSB_TREE_NOTE_HANDLER)(uint32_t ulKind, const char* pSourcePath, const char* pText,
                                      void* pContext);

/*
 * Puts the contents of the folder pSourceFolder (not the folder itself) at
 * the root of the file tree pFileTree, which must be empty, and makes the
 * tree a data disc as Linux, Windows and macOS read it: BuildImage then
 * writes Rock Ridge (every name as it is on disk, a byte that is no UTF-8
 * replaced by U+FFFD; permissions made readable by everyone, owner and group 0)
 * and Joliet beside the ISO9660 tree, whose names libisofs derives from the
 * Rock Ridge names, at ISO level 3 when a file has 4 GiB or more (level 2
 * otherwise), with the MD5 of the session and of every file recorded in the
 * image (libisofs' checksum tags and array, as `xorriso -check_md5` reads
 * them). The tree's collision callback
 * is not asked: names of one folder are distinct on disk, and the ISO9660 and
 * Joliet names libisofs makes are unique in their folder.
 *
 * Symbolic links are followed. Skipped, each with a note to pNoteHandler
 * (when not NULL): devices, FIFOs and sockets; links that lead nowhere or
 * loop; links to a folder above them. A name Joliet cannot hold (more than 64
 * UTF-16 units, or one of * / : ; ? \ or a control character) is noted with
 * the Joliet name. A file that cannot be read fails the call, naming the
 * file (SB_EXCEPTION_FILE_ERROR, its errno in the status), and the tree is
 * left empty. Other failures: SB_EXCEPTION_INVALID_HANDLE,
 * SB_EXCEPTION_INVALID_PARAMETER (no folder given), SB_EXCEPTION_TREE_ERROR
 * (the tree is not empty), SB_EXCEPTION_DEVICE_BUSY (a write reads the tree).
 */
STARBURN_API uint8_t StarBurn_ISO9660JolietFileTree_AddFolderContents(
    void* pFileTree, char* pExceptionText, uint32_t ulExceptionTextSize, uint32_t* pStatus,
    const char* pSourceFolder, PSB_TREE_NOTE_HANDLER pNoteHandler, void* pContext);
/*
 * Reads the next bytes of a stream write (StarBurn_CdvdBurnerGrabber_
 * TrackAtOnceFromStream): fills 1 to ulLength bytes at pBuffer, stores how
 * many in *pulRead and returns SB_EXCEPTION_NONE; it may wait for them. Any
 * other answer (SB_EXCEPTION_CANCELLED: the caller stops this write) ends
 * the write as failed, with a text that says after how many bytes the
 * stream stopped; so does a read of 0 bytes before the stream's size is
 * reached. Called on the thread of the write (or one of
 * the library's own threads while that call runs), one call at a time.
 */
typedef uint8_t (*PSB_STREAM_READ)(void* pContext, void* pBuffer, uint32_t ulLength,
                                   uint32_t* pulRead);

/*
 * One data track Track-At-Once, as StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile
 * writes it, from ullSize bytes the caller feeds through pRead (with
 * pContext) instead of a file: so one reader of an image can feed several
 * drives at once, each with its own grabber and its own call. The stream is
 * read once, in order, from its first byte to its last; its bytes are not
 * kept, so the write is never restarted from them. A drive whose write
 * waits for its stream simply waits (a drive that needs a steady stream, a
 * real recorder, has the library's buffer of some MB before it). bCloseTrack:
 * 1. Returns what TrackAtOnceFromFile returns; SB_EXCEPTION_INVALID_PARAMETER
 * when pRead is NULL or ullSize is 0.
 */
STARBURN_API uint8_t StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream(
    SB_GRABBER_HEAD, uint64_t ullSize, PSB_STREAM_READ pRead, void* pContext, uint8_t bCloseTrack,
    uint8_t bTestWrite, uint8_t bMultiSession, uint8_t bReportProgress, uint32_t ulRevision);

#ifdef __cplusplus
}
#endif

#endif /* STARBURN_STARBURNLINUX_H */
