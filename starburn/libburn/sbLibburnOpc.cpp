// SPDX-License-Identifier: GPL-2.0-or-later
// Power calibration on a libburn drive. libburn has no call that sends SEND
// OPC INFORMATION (its write never sends it either), so the command goes to
// the drive's device file through the sg driver here, on a descriptor of its
// own beside libburn's: the drive answers it as it would libburn.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnDriveParts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

// A calibration takes a drive a few seconds; one that has not answered in
// this time is not going to.
constexpr unsigned kOpcTimeoutMs = 60000;

struct Sense {
    bool valid = false;
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

Sense senseOf(const unsigned char* sb, size_t length) {
    Sense s;
    if (length >= 14 && (sb[0] & 0x7E) == 0x70) { // fixed format
        s = {true, static_cast<uint8_t>(sb[2] & 0x0F), sb[12], sb[13]};
    } else if (length >= 4 && (sb[0] & 0x7E) == 0x72) { // descriptor format
        s = {true, static_cast<uint8_t>(sb[1] & 0x0F), sb[2], sb[3]};
    }
    return s;
}

std::string senseText(const Sense& s) {
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", s.key, s.asc, s.ascq);
    return text;
}

} // namespace

Error Drive::sendOpc() {
    std::lock_guard lock(mutex_);
    if (setup_.stdio) {
        return notSupported("The pseudo-drive " + setup_.title +
                            " writes a file; it has no laser power to calibrate");
    }
    if (writing_) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                         "The drive " + setup_.title + " is writing");
    }
    if (Error e = grabLocked()) {
        return e;
    }
    if (!state_.present()) {
        return noDisc();
    }
    if (!state_.writable()) {
        return incompatibleMedium("The disc in the drive " + setup_.title +
                                  " cannot be written, so the laser power cannot be calibrated "
                                  "on it");
    }
    // libburn holds the device file exclusively; a second descriptor without
    // O_EXCL reaches the same drive, as the sg driver allows.
    const int fd = ::open(setup_.address.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_NOT_READY, static_cast<uint32_t>(err),
                         "The drive " + setup_.title +
                             " cannot be reached for the power calibration: " + std::strerror(err));
    }
    unsigned char cdb[10] = {0x54, 0x01}; // SEND OPC INFORMATION, DoOpc
    unsigned char sb[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = sizeof cdb;
    io.cmdp = cdb;
    io.mx_sb_len = sizeof sb;
    io.sbp = sb;
    io.timeout = kOpcTimeoutMs;
    const int result = ::ioctl(fd, SG_IO, &io);
    const int err = errno;
    ::close(fd);
    touchLocked();
    if (result != 0) {
        return makeError(SB_EXCEPTION_NOT_READY, static_cast<uint32_t>(err),
                         "The drive " + setup_.title + " did not take the power calibration: " +
                             std::strerror(err) + ". Check that it is still connected");
    }
    const Sense s = senseOf(sb, io.sb_len_wr);
    if (io.status == 0 && io.host_status == 0 && (io.driver_status & 0x0F) == 0 && !s.valid) {
        return {};
    }
    if (!s.valid) {
        return makeError(SB_EXCEPTION_GENERIC, EIO,
                         "The drive " + setup_.title +
                             " failed the power calibration without saying why (SCSI status " +
                             std::to_string(io.status) + ")");
    }
    if (s.key == 0x05 && (s.asc == 0x20 || s.asc == 0x24)) {
        return senseError(SB_EXCEPTION_NOT_SUPPORTED, s.key, s.asc, s.ascq,
                          "The drive " + setup_.title +
                              " does not calibrate its laser power on request (sense " +
                              senseText(s) + "); it calibrates at the start of the write");
    }
    return senseError(
        SB_EXCEPTION_MEDIUM_ERROR, s.key, s.asc, s.ascq,
        "The drive " + setup_.title + " refused the power calibration (sense " + senseText(s) +
            (s.key == 0x05 && s.asc == 0x73 && s.ascq == 0x03 ? ": power calibration area error"
                                                              : "") +
            "). Try another disc, or burn without the calibration");
}

} // namespace starburn::lb
