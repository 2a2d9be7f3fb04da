// SPDX-License-Identifier: GPL-2.0-or-later
// Where the bytes of a write come from: an image file or a built file tree.
// The write code of every backend streams from an ImageSource in bounded
// chunks, so memory stays flat whatever the image size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace starburn {

class ImageSource {
public:
    virtual ~ImageSource() = default;

    // The number of bytes the source yields from its start.
    virtual uint64_t size() const = 0;

    // Reads the next `length` bytes into buffer. On failure returns false and
    // sets error (a text for the caller's failure report) and errnoValue
    // (0 when no operating-system error is behind it).
    virtual bool read(void* buffer, size_t length, std::string& error, int& errnoValue) = 0;

    // Makes the next read start at the first byte again.
    virtual bool rewind(std::string& error, int& errnoValue) = 0;

    // The open file the source reads with pread (so its offset is free), for
    // a backend that can read the file itself; -1 when the bytes come from
    // anything else.
    virtual int fileDescriptor() const { return -1; }

    // True when the bytes come from the caller as it has them (a stream):
    // a backend keeps a smaller buffer of its own before a drive, since the
    // caller has one in front of it.
    virtual bool fedByCaller() const { return false; }

    // Where the source can, copies its next `length` bytes into the file
    // descriptor `fd` at `offset` inside the kernel, sparing the copy through
    // a buffer. Returns 1 when done, -1 on failure (error and errnoValue set),
    // and 0 when the source has no such path: then nothing was consumed and
    // the caller reads instead.
    virtual int copyTo(int /*fd*/, uint64_t /*offset*/, size_t /*length*/, std::string& /*error*/,
                       int& /*errnoValue*/) {
        return 0;
    }
};

} // namespace starburn
