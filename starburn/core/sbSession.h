// SPDX-License-Identifier: GPL-2.0-or-later
// The running library: its drive table, its backends and its state folder.
#pragma once

#include "starburn/core/sbBackend.h"
#include "starburn/core/sbDeviceTable.h"

#include <chrono>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace starburn {

class Session {
public:
    DeviceTable table;
    std::vector<std::unique_ptr<Backend>> backends;
    std::string stateFolder;
};

// The running session, or null before StarBurn_UpStartEx and after
// StarBurn_DownShut. Holding the reference keeps the drives alive.
std::shared_ptr<Session> currentSession();

// StarBurn_AbortWrites: the program is being ended, so a wait for a drive
// (one spinning up its disc) gives up at once, now and until
// StarBurn_DownShut clears the request.
void abortWaits();
void clearAbortedWaits();
// Sleeps until the deadline; false as soon as the waits are aborted.
bool sleepUnlessAborted(std::chrono::steady_clock::time_point deadline);

// StarBurn_SetFastReadTOC's switch.
bool fastReadToc();

// The state folder the library would use now: STARBURN_STATE_DIR, else
// $XDG_DATA_HOME/tavrin/starburn, else ~/.local/share/tavrin/starburn.
// Empty (with error set) when none can be named.
std::string defaultStateFolder(std::string& error);

// An exception thrown by the caller's callback. The library lets it pass
// through its own frames, cleaning up on the way, and rethrows it to the
// caller of the C function, as a callback's error would travel through a
// library written without exceptions of its own.
struct CallbackAbort {
    std::exception_ptr original;
};

// Calls the caller's callback, wrapping anything it throws in CallbackAbort.
void invokeCallback(PCALLBACK callback, uint32_t reason, void* context, void* special1,
                    void* special2);

// Runs the body of a C function: an exception of the library's own turns into
// SB_EXCEPTION_GENERIC with its text; a callback's exception is rethrown.
template <class Body>
uint8_t guarded(const Report& where, Body&& body) {
    try {
        return body();
    } catch (const CallbackAbort& abort) {
        std::rethrow_exception(abort.original);
    } catch (const std::bad_alloc&) {
        return report(where, makeError(SB_EXCEPTION_GENERIC, 12, "The library ran out of memory"));
    } catch (const std::exception& e) {
        return report(where, makeError(SB_EXCEPTION_GENERIC, 0,
                                       std::string("Unexpected library failure: ") + e.what()));
    }
}

} // namespace starburn
