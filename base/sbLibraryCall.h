// SPDX-License-Identifier: GPL-2.0-or-later
// The one way the program calls the library. A call is announced in the
// diagnostic log just before it is made, and a failure is written there with
// the library's text, so a user's log tells what was asked of the drive and
// what it answered. The call site decides what a failure means there.
//
// LibraryCall announces; QuietLibraryCall does not, for the few calls the log
// would drown in (a read per 64 KB chunk, a question per speed): they are
// named in ARCHITECTURE.md. tests/check_layers.sh rejects a call of the
// library in engine/, devices/ or cli/ that goes past these two.
#pragma once

#include "base/sbConst.h"
#include "base/sbLogger.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// "<Function>() failed, exception <e>, status <s>, text \"<text>\"", the
// text read from the library's exception-text buffer up to its first zero
// (at most BufferSize characters).
std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize = kExceptionTextSize);

// How a failed call reads in the diagnostic log: a printf pattern filled with
// the exception number, the status (signed) and the library's text, in that
// order, taken from the buffers the call filled. A pattern may use fewer of
// them; a call that fills no buffers leaves Text and Status null.
struct TsbCallFailure {
    std::string Pattern;
    const char* Text = nullptr;
    size_t TextSize = 0;
    const uint32_t* Status = nullptr;

    std::string Format(int exception) const;
};

// The usual failure of Function: "<Function>() failed, exception %d, status %d, text \"%s\"".
TsbCallFailure FailureOf(std::string_view function, const char* text, size_t textSize,
                         const uint32_t* status);

// What a call with failure buffers answered.
struct TsbCallResult {
    uint8_t Exception = 0;
    // The failure as it was logged; empty after a success.
    std::string FailureText;

    bool Failed() const { return Exception != 0; }
};

namespace sbcall_detail {
template <class Call>
TsbCallResult make(const TsbCallFailure& failure, Call&& call) {
    TsbCallResult result;
    result.Exception = static_cast<uint8_t>(std::forward<Call>(call)());
    if (result.Exception != 0) {
        result.FailureText = failure.Format(result.Exception);
        Logger().Log(result.FailureText);
    }
    return result;
}
} // namespace sbcall_detail

// Announces the call (a text that begins with the function's name), makes it
// and logs a failure as Failure says.
template <class Call>
TsbCallResult LibraryCall(std::string_view announcement, const TsbCallFailure& failure,
                          Call&& call) {
    Logger().Log(announcement);
    return sbcall_detail::make(failure, std::forward<Call>(call));
}

// The same, announced or not as Announced says: a call repeated in a loop is
// announced on its first turn only.
template <class Call>
TsbCallResult LibraryCall(bool announced, std::string_view announcement,
                          const TsbCallFailure& failure, Call&& call) {
    if (announced) {
        Logger().Log(announcement);
    }
    return sbcall_detail::make(failure, std::forward<Call>(call));
}

// A call without failure buffers (a query that answers a value, a release):
// announced, made, its answer returned as it is.
template <class Call>
decltype(auto) LibraryCall(std::string_view announcement, Call&& call) {
    Logger().Log(announcement);
    return std::forward<Call>(call)();
}

// Not announced: made, a failure logged as Failure says.
template <class Call>
TsbCallResult QuietLibraryCall(const TsbCallFailure& failure, Call&& call) {
    return sbcall_detail::make(failure, std::forward<Call>(call));
}

// Not announced, no failure buffers: made, its answer returned as it is.
template <class Call>
decltype(auto) QuietLibraryCall(Call&& call) {
    return std::forward<Call>(call)();
}
