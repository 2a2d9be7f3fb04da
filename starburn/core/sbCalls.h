// SPDX-License-Identifier: GPL-2.0-or-later
// Shared steps of the grabber calls: handle look-up, injected faults, access
// checks, and turning the outcome into the caller's report.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/core/sbFailure.h"
#include "starburn/core/sbFaults.h"
#include "starburn/core/sbGrabber.h"
#include "starburn/core/sbSession.h"

#include <cerrno>
#include <string>
#include <string_view>

namespace starburn {

inline Error badHandle() {
    return makeError(SB_EXCEPTION_INVALID_HANDLE, EBADF,
                     "The grabber handle is not valid (null, destroyed or not a grabber)");
}

inline Error badArgument(const std::string& text) {
    return makeError(SB_EXCEPTION_INVALID_PARAMETER, EINVAL, text);
}

// Calls that change the drive or its disc need a grabber opened for everything.
inline Error needsFullAccess(const Grabber& g, const char* what) {
    if (!g.queryOnly()) {
        return {};
    }
    return makeError(SB_EXCEPTION_NOT_SUPPORTED, EACCES,
                     "The device " + g.entry().name + " was opened for queries only; it cannot " +
                         what);
}

inline Error busyWriting(const Grabber& g) {
    return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                     "The recorder " + g.entry().name + " is busy writing a disc");
}

// A first look before a write is set up; the write's own claim decides.
inline Error notWhileWriting(const Grabber& g) {
    return g.entry().writing() ? busyWriting(g) : Error{};
}

// Runs an action on the drive that must not meet a write: refused while one
// runs, and no write starts until the action is done. A check followed by
// the action would leave a gap in which a write could start.
template <class Action>
Error actOnDrive(Grabber& g, std::string_view function, Action&& action) {
    DeviceEntry& entry = g.entry();
    if (entry.beginAction() != DeviceEntry::Claim::Granted) {
        return busyWriting(g);
    }
    struct End {
        DeviceEntry& entry;
        ~End() { entry.endAction(); }
    } end{entry};
    holdCallForTest(function, entry.name);
    return action();
}

// A grabber call with the common failure report.
template <class Body>
uint8_t grabberCall(const char* function, void* handle, const Report& where, Body&& body) {
    return guarded(where, [&]() -> uint8_t {
        auto g = lookup<Grabber>(handle, ObjectKind::Grabber);
        if (!g) {
            return report(where, badHandle());
        }
        if (auto fault = takeCallFault(function, g->entry().name)) {
            return report(where, *fault);
        }
        return report(where, body(*g));
    });
}

// A short query: handle and outputs only, the exception number is all it says.
template <class Body>
uint8_t shortCall(const char* function, void* handle, Body&& body) {
    return guarded(Report{}, [&]() -> uint8_t {
        auto g = lookup<Grabber>(handle, ObjectKind::Grabber);
        if (!g) {
            return SB_EXCEPTION_INVALID_HANDLE;
        }
        if (auto fault = takeCallFault(function, g->entry().name)) {
            return fault->exception;
        }
        return body(*g).exception;
    });
}

} // namespace starburn
