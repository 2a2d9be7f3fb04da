// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/libburn/sbLibburnReady.h"

#include "starburn/StarBurn.h"
#include "starburn/core/sbSession.h"
#include "starburn/libburn/sbLibburnSense.h"
#include "starburn/libburn/sbLibburnSg.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

using Clock = std::chrono::steady_clock;

// A drive spinning up a disc needs seconds; asking it more often only keeps
// its firmware busy.
constexpr auto kAskAgain = std::chrono::milliseconds(500);
// How soon a cancel of the caller's own (a grabber's) is seen.
constexpr auto kCancelLook = std::chrono::milliseconds(100);
// A drive answers TEST UNIT READY at once, ready or not.
constexpr unsigned kCommandTimeoutMs = 10000;
// A unit attention (a disc put in, a reset) is reported to one command; the
// next one tells how the drive really is.
constexpr int kAttentionsPassed = 4;

// Closes the descriptor however the wait ends.
class DeviceFile {
public:
    explicit DeviceFile(const std::string& path)
        // Read-only and not blocking, as libburn opens it to look: without a
        // claim on the drive and without closing an open tray.
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~DeviceFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    DeviceFile(const DeviceFile&) = delete;
    DeviceFile& operator=(const DeviceFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// TEST UNIT READY: false when the device takes no SG_IO or fails without
// saying why (then libburn has its say); code.key 0 when the drive is ready.
bool testUnit(int fd, SenseCode& code) {
    const unsigned char cdb[6] = {0x00, 0, 0, 0, 0, 0};
    const Outcome o = sgCommand(fd, cdb, sizeof cdb, kCommandTimeoutMs);
    if (o.ok) {
        code = {0, 0, 0};
        return true;
    }
    if (!o.sense.valid) {
        return false;
    }
    code = {o.sense.key, o.sense.asc, o.sense.ascq};
    return true;
}

// 2/04/xx, except 2/04/02 (the drive waits for a START UNIT, which libburn
// sends as it grabs) and 2/04/03 (it needs a hand, which no waiting gives).
bool becomingReady(const SenseCode& code) {
    return code.key == 0x2 && code.asc == 0x04 && code.ascq != 0x02 && code.ascq != 0x03;
}

// Sleeps until the deadline; false when the wait was cancelled.
bool pause(Clock::time_point deadline, const std::function<bool()>& cancelled) {
    if (!cancelled) {
        return sleepUnlessAborted(deadline);
    }
    for (;;) {
        if (cancelled()) {
            return false;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        if (!sleepUnlessAborted(std::min(deadline, now + kCancelLook))) {
            return false;
        }
    }
}

Error stillNotReady(const SenseCode& code, const std::string& title, std::chrono::seconds limit) {
    const std::string named =
        senseText({true, static_cast<uint8_t>(code.key), static_cast<uint8_t>(code.asc),
                   static_cast<uint8_t>(code.ascq)});
    const long long n = limit.count();
    const std::string how = n == 0 ? "was not ready"
                                   : "was still not ready after " + std::to_string(n) +
                                         (n == 1 ? " second" : " seconds");
    return senseError(SB_EXCEPTION_NOT_READY, static_cast<uint8_t>(code.key),
                      static_cast<uint8_t>(code.asc), static_cast<uint8_t>(code.ascq),
                      senseAdvice(code) + " The drive " + title + " " + how + " (sense " + named +
                          ")");
}

} // namespace

Error awaitUnitReady(const std::string& deviceFile, const std::string& title,
                     std::chrono::seconds limit, const std::function<bool()>& cancelled) {
    const auto giveUp = Clock::now() + limit;
    const DeviceFile device(deviceFile);
    if (device.fd() < 0) {
        return {}; // busy, forbidden or gone: libburn's grab says which
    }
    int attentions = 0;
    for (;;) {
        SenseCode code;
        if (!testUnit(device.fd(), code)) {
            return {};
        }
        if (code.key == 0x6 && ++attentions <= kAttentionsPassed) {
            continue;
        }
        if (!becomingReady(code)) {
            return {};
        }
        const auto now = Clock::now();
        if (now >= giveUp) {
            return stillNotReady(code, title, limit);
        }
        if (!pause(std::min(giveUp, now + kAskAgain), cancelled)) {
            return makeError(SB_EXCEPTION_CANCELLED, ECANCELED,
                             "The wait for the drive " + title + " to become ready was cancelled");
        }
    }
}

} // namespace starburn::lb
