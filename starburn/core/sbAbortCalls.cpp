// SPDX-License-Identifier: GPL-2.0-or-later
// Stopping every running write at once, for a program that is being ended
// (SIGINT, SIGTERM): a drive left writing with nobody to finish the write
// holds a half-written track and stays busy.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbGrabber.h"
#include "starburn/core/sbSession.h"

#include <chrono>
#include <thread>

using namespace starburn;

namespace {

bool anyWriting(const Session& session) {
    for (const auto& entry : session.table.all()) {
        if (entry->writing()) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" STARBURN_API uint8_t StarBurn_AbortWrites(uint32_t ulPatienceSeconds) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto session = currentSession();
        if (!session) {
            return SB_EXCEPTION_NONE; // nothing can be writing
        }
        // Every grabber, writing or not: a write about to start stops as it
        // starts, so none slips past the abort.
        for (const auto& object : liveObjects(ObjectKind::Grabber)) {
            static_cast<Grabber&>(*object).cancel();
        }
        // Each write ends on its own thread once its drive is idle; this
        // thread looks in short steps until then or until patience runs out.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(ulPatienceSeconds);
        while (anyWriting(*session)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                return SB_EXCEPTION_DEVICE_BUSY;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return SB_EXCEPTION_NONE;
    });
}
