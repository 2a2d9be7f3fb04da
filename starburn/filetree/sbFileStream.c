/* SPDX-License-Identifier: GPL-2.0-or-later */
#define LIBISOFS_WITHOUT_LIBBURN
#include "starburn/filetree/sbFileStream.h"

#include <errno.h>
#include <fcntl.h>
#include <libisofs/libisofs.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

/* libisofs uses 1 to 5 for its own stream families; this value keeps ours apart. */
#define SB_FILE_STREAM_FS_ID 0x53424654u

/* libisofs asks for 2 KiB at a time; a larger read keeps the system calls few. */
#define SB_FILE_STREAM_BUFFER (256 * 1024)

typedef struct FileStreamData {
    char* path;
    off_t size;
    dev_t device;
    ino_t inode;
    sbFileStreamReport report;
    void* context;
    int fd;
    off_t delivered;
    char* buffer;
    size_t bufferFill;
    size_t bufferPos;
    int eof;
} FileStreamData;

static void fs_report(FileStreamData* d, int fault, int err) {
    if (d->report != NULL) {
        d->report(d->context, d->path, fault, err);
    }
}

static int fs_open(IsoStream* stream) {
    FileStreamData* d = (FileStreamData*)stream->data;
    struct stat st;
    if (d->fd >= 0) {
        return ISO_FILE_ALREADY_OPENED;
    }
    /* Non-blocking: a source swapped for a FIFO must not hang the write. */
    d->fd = open(d->path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (d->fd >= 0 && (fstat(d->fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(d->fd);
        d->fd = -1;
        errno = EINVAL;
    }
    if (d->fd < 0) {
        int err = errno;
        fs_report(d, SB_STREAM_OPEN_FAILED, err);
        return err == ENOENT   ? ISO_FILE_DOESNT_EXIST
               : err == EACCES ? ISO_FILE_ACCESS_DENIED
                               : ISO_FILE_ERROR;
    }
    (void)fcntl(d->fd, F_SETFL, fcntl(d->fd, F_GETFL) & ~O_NONBLOCK);
    d->buffer = malloc(SB_FILE_STREAM_BUFFER);
    if (d->buffer == NULL) {
        close(d->fd);
        d->fd = -1;
        return ISO_OUT_OF_MEM;
    }
    d->delivered = 0;
    d->bufferFill = 0;
    d->bufferPos = 0;
    d->eof = 0;
    (void)posix_fadvise(d->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (fstat(d->fd, &st) == 0 && st.st_size != d->size) {
        fs_report(d, SB_STREAM_SIZE_CHANGED, 0);
        return st.st_size > d->size ? 2 : 3;
    }
    return 1;
}

static int fs_close(IsoStream* stream) {
    FileStreamData* d = (FileStreamData*)stream->data;
    if (d->fd < 0) {
        return ISO_FILE_NOT_OPENED;
    }
    close(d->fd);
    d->fd = -1;
    free(d->buffer);
    d->buffer = NULL;
    return 1;
}

static off_t fs_get_size(IsoStream* stream) {
    return ((FileStreamData*)stream->data)->size;
}

/* Refills the buffer; returns 0 at end of file, 1 with data, < 0 on a read error. */
static int fs_fill(FileStreamData* d) {
    ssize_t n;
    do {
        n = read(d->fd, d->buffer, SB_FILE_STREAM_BUFFER);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        fs_report(d, SB_STREAM_READ_FAILED, errno);
        return ISO_FILE_READ_ERROR;
    }
    d->bufferFill = (size_t)n;
    d->bufferPos = 0;
    if (n == 0) {
        d->eof = 1;
        return 0;
    }
    return 1;
}

static int fs_read(IsoStream* stream, void* buf, size_t count) {
    FileStreamData* d = (FileStreamData*)stream->data;
    size_t done = 0;
    if (d->fd < 0) {
        return ISO_FILE_NOT_OPENED;
    }
    /* Never more than the size the image was laid out for. */
    if ((off_t)count > d->size - d->delivered) {
        count = (size_t)(d->size - d->delivered);
    }
    while (done < count) {
        size_t take;
        if (d->bufferPos == d->bufferFill) {
            int r;
            if (d->eof) {
                break;
            }
            r = fs_fill(d);
            if (r < 0) {
                return r;
            }
            if (r == 0) {
                break;
            }
        }
        take = d->bufferFill - d->bufferPos;
        if (take > count - done) {
            take = count - done;
        }
        memcpy((char*)buf + done, d->buffer + d->bufferPos, take);
        d->bufferPos += take;
        done += take;
    }
    d->delivered += (off_t)done;
    if (done < count) {
        /* The file ended before the size it had when the image was laid out. */
        fs_report(d, SB_STREAM_SIZE_CHANGED, 0);
    }
    return (int)done;
}

static int fs_is_repeatable(IsoStream* stream) {
    (void)stream;
    return 1;
}

static void fs_get_id(IsoStream* stream, unsigned int* fs_id, dev_t* dev_id, ino_t* ino_id) {
    FileStreamData* d = (FileStreamData*)stream->data;
    *fs_id = SB_FILE_STREAM_FS_ID;
    *dev_id = d->device;
    *ino_id = d->inode;
}

static void fs_free(IsoStream* stream) {
    FileStreamData* d = (FileStreamData*)stream->data;
    if (d->fd >= 0) {
        close(d->fd);
    }
    free(d->buffer);
    free(d->path);
    free(d);
}

static int fs_update_size(IsoStream* stream) {
    FileStreamData* d = (FileStreamData*)stream->data;
    struct stat st;
    if (stat(d->path, &st) != 0) {
        return ISO_FILE_ERROR;
    }
    d->size = st.st_size;
    return 1;
}

static IsoStreamIface g_fileStreamClass = {1,
                                           {'u', 's', 'e', 'r'},
                                           fs_open,
                                           fs_close,
                                           fs_get_size,
                                           fs_read,
                                           fs_is_repeatable,
                                           fs_get_id,
                                           fs_free,
                                           fs_update_size,
                                           NULL,
                                           NULL,
                                           NULL};

IsoStream* sbFileStreamNew(const char* path, off_t size, dev_t device, ino_t inode,
                           sbFileStreamReport report, void* context) {
    IsoStream* stream = malloc(sizeof(IsoStream));
    FileStreamData* d = calloc(1, sizeof(FileStreamData));
    if (stream == NULL || d == NULL) {
        free(stream);
        free(d);
        return NULL;
    }
    d->path = strdup(path);
    if (d->path == NULL) {
        free(stream);
        free(d);
        return NULL;
    }
    d->size = size;
    d->device = device;
    d->inode = inode;
    d->report = report;
    d->context = context;
    d->fd = -1;
    stream->class = &g_fileStreamClass;
    stream->refcount = 1;
    stream->data = d;
    return stream;
}
