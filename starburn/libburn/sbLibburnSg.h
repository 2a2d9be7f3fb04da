// SPDX-License-Identifier: GPL-2.0-or-later
// One SCSI command without data, sent through the sg driver on a descriptor
// of this library's own beside libburn's, and the drive's answer to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace starburn::lb {

struct Sense {
    bool valid = false;
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

struct Outcome {
    int err = 0; // the system refused the command (errno)
    bool ok = false;
    Sense sense; // the drive refused it
    int status = 0;
};

// Sends the command block cdb (length bytes) on fd and waits at most
// timeoutMs for the drive. A refusal without sense data reads as EIO.
Outcome sgCommand(int fd, const unsigned char* cdb, size_t length, unsigned timeoutMs);

// "K/AA/QQ"
std::string senseText(const Sense& s);

} // namespace starburn::lb
