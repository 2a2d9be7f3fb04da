/*
 * StarBurnLinux.h - calls of the Linux build of libStarBurn: what the program
 * would otherwise ask the operating system about a drive (its disc's volume
 * label, its drive letter), and what only this build offers (stopping every
 * write, reading a disc back, erasing, whether a drive is free, reading a
 * volume descriptor).
 */
#ifndef STARBURN_STARBURNLINUX_H
#define STARBURN_STARBURNLINUX_H

#include "starburn/StarBurn.h"

#ifdef __cplusplus
extern "C" {
#endif

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
 * to stop. Call it from the program's
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
 * bFull is not 0), a DVD+RW is formatted. Everything the disc held is lost.
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
