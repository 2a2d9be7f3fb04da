// SPDX-License-Identifier: GPL-2.0-or-later
// An image file as the source of a write, and a disc's blocks read from
// the file that holds them.
#pragma once

#include "starburn/core/sbFailure.h"
#include "starburn/core/sbImageSource.h"

#include <cstdint>
#include <memory>
#include <string>

namespace starburn {

// Opens an image file for a write. Fails (null, error filled) when the path
// is empty, the file is missing, unreadable, not a regular file or empty.
// The source notices when the file changes size while it is read.
std::unique_ptr<ImageSource> openFileSource(const std::string& path, Error& error);

// Reads `bytes` bytes at `offset` of the file fd, whose first fileSize bytes
// are written: what lies past them reads as zeros, as a disc's unwritten or
// padded blocks do. Returns 0, or the errno of the read that failed (EIO for
// a file that ended before fileSize).
int readPadded(int fd, uint64_t offset, uint64_t bytes, uint64_t fileSize, char* out);

} // namespace starburn
