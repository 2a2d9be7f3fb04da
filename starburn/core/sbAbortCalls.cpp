// SPDX-License-Identifier: GPL-2.0-or-later
// Stopping every running write at once, for a program that is being ended
// (SIGINT, SIGTERM): a drive left writing with nobody to finish the write
// holds a half-written track and stays busy.
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbGrabber.h"
#include "starburn/core/sbSession.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace starburn;

namespace {

std::mutex g_abortMutex;
std::condition_variable g_aborted;
bool g_abortRequested = false;

bool anyWriting(const Session& session) {
    for (const auto& entry : session.table.all()) {
        if (entry->writing()) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace starburn {

void abortWaits() {
    {
        std::lock_guard lock(g_abortMutex);
        g_abortRequested = true;
    }
    g_aborted.notify_all();
}

void clearAbortedWaits() {
    std::lock_guard lock(g_abortMutex);
    g_abortRequested = false;
}

bool sleepUnlessAborted(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(g_abortMutex);
    return !g_aborted.wait_until(lock, deadline, [] { return g_abortRequested; });
}

} // namespace starburn

extern "C" STARBURN_API uint8_t StarBurn_AbortWrites(uint32_t ulPatienceSeconds) {
    return guarded(Report{}, [&]() -> uint8_t {
        // Before the session is looked at: the library may still be starting,
        // waiting for a drive that spins up its disc.
        abortWaits();
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
