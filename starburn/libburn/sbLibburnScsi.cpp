// SPDX-License-Identifier: GPL-2.0-or-later
// Commands libburn has no call for, sent to the drive's device file through
// the sg driver on a descriptor of its own beside libburn's: the drive
// answers them as it would libburn. Power calibration (SEND OPC INFORMATION,
// which libburn's write never sends either) and the close of a track and
// session that a write of this program could not close (libburn closes only
// tracks a drive reports damaged).
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnSg.h"

#include <libburn/libburn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

Sense senseOf(const unsigned char* sb, size_t length) {
    Sense s;
    if (length >= 14 && (sb[0] & 0x7E) == 0x70) { // fixed format
        s = {true, static_cast<uint8_t>(sb[2] & 0x0F), sb[12], sb[13]};
    } else if (length >= 4 && (sb[0] & 0x7E) == 0x72) { // descriptor format
        s = {true, static_cast<uint8_t>(sb[1] & 0x0F), sb[2], sb[3]};
    }
    return s;
}

// A calibration takes a drive a few seconds, a close some minutes at most;
// one that has not answered in this time is not going to.
constexpr unsigned kOpcTimeoutMs = 60000;
constexpr unsigned kCloseTimeoutMs = 600000;

// One command on a descriptor opened for it. libburn holds the device file
// exclusively; a second descriptor without O_EXCL reaches the same drive, as
// the sg driver allows.
Outcome command(const std::string& deviceFile, unsigned char (&cdb)[10], unsigned timeoutMs) {
    const int fd = ::open(deviceFile.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Outcome o;
        o.err = errno;
        return o;
    }
    const Outcome o = sgCommand(fd, cdb, sizeof cdb, timeoutMs);
    ::close(fd);
    return o;
}

} // namespace

Outcome sgCommand(int fd, const unsigned char* cdb, size_t length, unsigned timeoutMs) {
    Outcome o;
    unsigned char sb[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = SG_DXFER_NONE;
    io.cmd_len = static_cast<unsigned char>(length);
    io.cmdp = const_cast<unsigned char*>(cdb);
    io.mx_sb_len = sizeof sb;
    io.sbp = sb;
    io.timeout = timeoutMs;
    if (::ioctl(fd, SG_IO, &io) != 0) {
        o.err = errno;
        return o;
    }
    o.sense = senseOf(sb, io.sb_len_wr);
    o.status = io.status;
    o.ok =
        io.status == 0 && io.host_status == 0 && (io.driver_status & 0x0F) == 0 && !o.sense.valid;
    if (!o.ok && !o.sense.valid) {
        o.err = EIO;
    }
    return o;
}

std::string senseText(const Sense& s) {
    char text[16];
    std::snprintf(text, sizeof text, "%X/%02X/%02X", s.key, s.asc, s.ascq);
    return text;
}

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
    unsigned char cdb[10] = {0x54, 0x01}; // SEND OPC INFORMATION, DoOpc
    const Outcome o = command(setup_.address, cdb, kOpcTimeoutMs);
    touchLocked();
    if (o.ok) {
        return {};
    }
    if (!o.sense.valid) {
        return makeError(SB_EXCEPTION_NOT_READY, static_cast<uint32_t>(o.err),
                         "The drive " + setup_.title + " did not take the power calibration: " +
                             std::strerror(o.err) + ". Check that it is still connected");
    }
    const Sense& s = o.sense;
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

Error Drive::closeLeftOpenLocked() {
    // The open track first (a track the drive already closed answers
    // 5/24/00), then its session, left appendable: CLOSE TRACK/SESSION 1, 2.
    const unsigned track = state_.tracks.empty() ? 0xFF : state_.tracks.back().number;
    unsigned char closeTrack[10] = {0x5B,
                                    0x00,
                                    0x01,
                                    0x00,
                                    static_cast<unsigned char>(track >> 8),
                                    static_cast<unsigned char>(track & 0xFF)};
    Outcome o = command(setup_.address, closeTrack, kCloseTimeoutMs);
    if (o.ok || (o.sense.valid && o.sense.key == 0x05 && o.sense.asc == 0x24)) {
        unsigned char closeSession[10] = {0x5B, 0x00, 0x02};
        o = command(setup_.address, closeSession, kCloseTimeoutMs);
    }
    burn_drive_re_assess(drive_, 0);
    refreshLocked();
    touchLocked();
    if (o.ok) {
        closeFailed_.clear();
        return {};
    }
    closeFailed_ = fingerprintOf(state_); // a later CloseSession tries again
    const std::string what = "The drive " + setup_.title +
                             " could not close the session its "
                             "last write left open; the disc is left " +
                             leftAsText(state_);
    if (!o.sense.valid) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, static_cast<uint32_t>(o.err),
                         what + ": " + std::strerror(o.err));
    }
    char code[16];
    std::snprintf(code, sizeof code, "[%X %02X %02X]", o.sense.key, o.sense.asc, o.sense.ascq);
    return operationFailure(SB_EXCEPTION_MEDIUM_ERROR, 0, what,
                            std::string("CLOSE TRACK/SESSION ") + code);
}

} // namespace starburn::lb
