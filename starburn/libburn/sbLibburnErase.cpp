// SPDX-License-Identifier: GPL-2.0-or-later
// Erasing a libburn drive's disc: blanking CD-RW and DVD-RW, formatting DVD+RW
// and BD-RE.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>

namespace starburn::lb {

using namespace burn;

namespace {

// libburn's format flags for an erase. A formatted disc is formatted anew
// (bit 4): without it libburn takes the disc's earlier format for this one
// and reports success with the old contents still on it. A DVD+RW gets its
// full size; a BD-RE the drive's default format with its spare areas
// (size mode 3, format 00h without certification, bit 6), as
// dvd+rw-format does it.
int formatFlagsOf(int profile) {
    if (profile == 0x43) {
        return (3 << 1) | 16 | 64;
    }
    return 16;
}

} // namespace

Error Drive::blank(bool full, WriteMonitor& monitor) {
    burn_drive* d = nullptr;
    bool format = false;
    int formatFlags = 0;
    {
        std::unique_lock lock(mutex_);
        if (!awaitWindDownLocked(lock)) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The drive is already writing");
        }
        if (setup_.stdio) {
            return notSupported("The pseudo-drive " + setup_.title +
                                " writes a file; there is no disc to erase");
        }
        bool fresh = false;
        if (Error e = grabLocked(&fresh, [&monitor] { return monitor.cancelled(); })) {
            return e;
        }
        if (!fresh) {
            refreshLocked();
        }
        if (!state_.present()) {
            return noDisc();
        }
        // CD-RW and DVD-RW (sequential or restricted overwrite) are blanked,
        // DVD+RW and BD-RE formatted; libburn has no erase for anything else.
        const int p = state_.profile;
        format = p == 0x1a || p == 0x43;
        formatFlags = formatFlagsOf(p);
        if (!(p == 0x0a || p == 0x13 || p == 0x14 || format) || (!state_.erasable && !format)) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x05,
                              "The " + profileText(state_) +
                                  " disc cannot be erased: it is write-once or pressed (only "
                                  "CD-RW, DVD-RW, DVD+RW and BD-RE can be)");
        }
        if (!(setup_.facts.writesCdRw || setup_.facts.writesDvdPlusRw || setup_.facts.writesDvdR)) {
            return notSupported("The drive " + setup_.title + " cannot write, so it cannot erase");
        }
        d = drive_;
        writing_ = true;
        closedByWrite_.clear();
        feat21Failed_.clear();
        changed_.notify_all();
    }

    monitor.otherProgress();
    uint64_t mark = 0;
    const bool started = startOperation(d, monitor, mark, [&] {
        if (format) {
            burn_disc_format(d, 0, formatFlags);
        } else {
            burn_disc_erase(d, full ? 0 : 1);
        }
    });
    bool cancelNoted = false;
    uint64_t done = 0;
    while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE) {
        burn_progress p{};
        burn_drive_get_status(d, &p);
        if (p.sectors > 0) {
            const uint64_t total = static_cast<uint64_t>(p.sectors) * 2048;
            const uint64_t now =
                std::min<uint64_t>(static_cast<uint64_t>(std::max(p.sector, 0)) * 2048, total);
            if (now >= done) {
                done = now;
                monitor.progress(total, done);
            }
        }
        if (monitor.cancelled() && !cancelNoted) {
            // A drive cannot stop an erase it has begun; stopping it would
            // leave the disc unreadable to everything.
            note("The erase on " + setup_.title +
                 " cannot be stopped once begun; it finishes before the cancel is answered");
            cancelNoted = true;
        }
        if (cancelNoted) {
            std::this_thread::sleep_for(kPollStep);
        } else {
            monitor.sleepUntil(Clock::now() + kPollStep);
        }
    }
    const bool erased = started && burn_drive_wrote_well(d) != 0;
    int err = 0;
    const std::string why = failureText(messagesSince(mark), err);
    const std::string what = std::string(format ? "Formatting" : "Blanking") + " the disc in " +
                             setup_.title + " failed";
    {
        std::lock_guard lock(mutex_);
        writing_ = false;
        if (!erased && lostDrive(why, err)) {
            dropLocked(); // scanned anew at its next use
            return operationFailure(SB_EXCEPTION_MEDIUM_ERROR, err, what, why);
        }
        burn_drive_re_assess(d, 0);
        refreshLocked();
        applySpeedsLocked();
        touchLocked();
    }
    if (!erased) {
        return operationFailure(SB_EXCEPTION_MEDIUM_ERROR, err, what, why);
    }
    // A cancel that came during the erase is not reported: the disc is erased,
    // and saying otherwise would have the user believe its contents remain.
    return {};
}

} // namespace starburn::lb
