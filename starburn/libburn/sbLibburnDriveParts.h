// SPDX-License-Identifier: GPL-2.0-or-later
// What the source files of a libburn drive share: the refusals they answer
// with, libburn's disc states in this library's terms, the waits for
// libburn's threads and the start of an operation on a drive.
#pragma once

#include "starburn/core/sbDevice.h"
#include "starburn/libburn/sbLibburnMedia.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <libburn/libburn.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace starburn::lb {

using Clock = std::chrono::steady_clock;

constexpr auto kPollStep = std::chrono::milliseconds(20);
// libburn's write thread lingers about half a second after a failed or
// cancelled write; this bounds the wait for it.
constexpr auto kThreadEndWait = std::chrono::seconds(10);
constexpr auto kWindDownStep = std::chrono::milliseconds(20);

// A pseudo-drive has no speed list; it is fed at the speed asked.
constexpr uint32_t kStdioTopSpeed = 0xFFFF;

// The library's own refusals of the codes 2/3A/00 (no disc), 2/04/01 (the
// disc not ready yet) and 5/30/00 (a disc this write cannot use): the sense
// table's sentence and advice, then the drive or the reason in brackets.
Error notReady(const std::string& title);
Error becomingReady(const std::string& title);
Error incompatibleMedium(const std::string& why);
Error notSupported(const std::string& text);
Media mediaOf(burn::burn_disc_status status);
std::string profileText(const DiscState& s);
// What a disc is left as after a failed write ("appendable, its last session open").
std::string leftAsText(const DiscState& s);
// What tells one written disc from another without reading it.
std::string fingerprintOf(const DiscState& s);
bool stale(Media media);
// Notes about a write that went otherwise than asked, for the log.
void note(const std::string& text);

// In sbLibburnToc.cpp. The disc's sessions and tracks as libburn read them;
// a CD's type, id, application code and bar code; the label of the ISO
// volume the last session holds (empty where none can be read).
void readToc(burn::burn_drive* d, RawDisc& raw);
void readCdInfo(burn::burn_drive* d, DiscState& s);
std::string readVolumeLabel(burn::burn_drive* d, const DiscState& s);

// In sbLibburnFailure.cpp. Whether libburn's failure (its text, and errno or
// 0) says the drive stopped answering, as a drive that was unplugged.
bool lostDrive(const std::string& why, int err);
// The failure of a write, an erase or a format: what failed, libburn's
// reasons, the drive's sense found in them (named in the text and put in the
// failure block) and what the user can do about it.
Error operationFailure(uint8_t exception, int err, const std::string& what, const std::string& why);

// Starts a libburn operation on a drive (a write, an erase, a format).
// libburn marks the drive busy before the call returns when it starts its
// thread; a drive still idle was refused, and the refusal is in the queue.
// libburn's thread of the drive's previous operation lingers about half a
// second after a failure or cancel although the drive shows idle; libburn
// refuses the next operation meanwhile, so that refusal is waited out. mark
// is set to where the started operation's messages begin.
// libburn keeps the threads of all drives in one list that it changes
// without a lock (async.c, add_worker): drives started at the same moment
// from threads of their own are started one after the other here.
inline std::mutex& operationStartMutex() {
    static std::mutex m;
    return m;
}

template <typename Start>
bool startOperation(burn::burn_drive* d, WriteMonitor& monitor, uint64_t& mark, Start&& start) {
    const auto giveUp = Clock::now() + kThreadEndWait;
    for (;;) {
        mark = messageMark();
        {
            std::lock_guard lock(operationStartMutex());
            start();
        }
        if (burn::burn_drive_get_status(d, nullptr) != burn::BURN_DRIVE_IDLE) {
            return true;
        }
        bool going = false;
        bool refused = false;
        for (const auto& m : messagesSince(mark)) {
            if (!m.failure) {
                continue;
            }
            if (m.code == kDriveOperationGoing) {
                going = true;
            } else if (m.code == 0x0002017c || m.code == 0x00020146 || m.code == 0x00020181 ||
                       m.code == 0x00020113 || m.code == 0x00020139 || m.code == 0x00020168 ||
                       m.code == 0x00020130 || m.code == 0x00020129) {
                refused = true;
            }
        }
        if (going && !refused && Clock::now() < giveUp && !monitor.cancelled()) {
            std::this_thread::sleep_for(kWindDownStep);
            continue;
        }
        // Idle and not refused: it started and has ended already.
        return !going && !refused;
    }
}

} // namespace starburn::lb
