// SPDX-License-Identifier: GPL-2.0-or-later
// A libisofs content stream that reads one source file of a tree.
//
// libisofs' own local-file stream fills a file that cannot be read with zeros
// and only logs the fault; this stream reports every fault to its tree, so the
// tree can fail the read of the image instead of handing out corrupted bytes.
// Written in C because libisofs' stream record has a member named "class".
#pragma once

#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct iso_stream IsoStream;

/* What went wrong with a source file while the image was generated. */
enum sbFileStreamFault {
    SB_STREAM_OPEN_FAILED = 1, /* errno value in the report */
    SB_STREAM_READ_FAILED = 2, /* errno value in the report */
    SB_STREAM_SIZE_CHANGED = 3 /* the file is no longer the size it had when the image was built */
};

/* Called on libisofs' writer thread. */
typedef void (*sbFileStreamReport)(void* context, const char* path, int fault, int errnoValue);

/*
 * A stream over the file at path, which had the given size, device and inode
 * when the image was built (the identity lets libisofs store the content once
 * however many names refer to it). Returns NULL when memory runs out.
 */
IsoStream* sbFileStreamNew(const char* path, off_t size, dev_t device, ino_t inode,
                           sbFileStreamReport report, void* context);

#ifdef __cplusplus
}
#endif
