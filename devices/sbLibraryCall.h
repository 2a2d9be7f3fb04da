// The one way every call into the disc library is made: announce the call in
// the diagnostic log, make it, keep the result and, on failure, form the
// failure text and log it. What a call site does after a failure (carry on,
// skip a step, raise) stays with the call site.
//
//   TsbFailureReport report;
//   const TsbCallResult result = CallLibrary("StarBurn_CdvdBurnerGrabber_TestUnitReady", report,
//       [&] { return StarBurn_CdvdBurnerGrabber_TestUnitReady(grabber, report.ExceptionText,
//                 report.ExceptionTextSize(), &report.Status, report.FailureInfo); });
//   if (!result.Succeeded()) { lastError = result.FailureText; RaiseLibraryFailure(result); }
#pragma once

#include "devices/sbConst.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// "<Function>() failed, exception <e>, status <s>, text \"<text>\"", the
// text read from the library's exception-text buffer up to its first zero
// (at most BufferSize characters).
std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize = kExceptionTextSize);

// The buffers a grabber call fills on failure.
struct TsbFailureReport {
    char ExceptionText[kExceptionTextSize] = {};
    uint32_t Status = 0;
    uint8_t FailureInfo[kFailureInfoSize] = {};

    static constexpr uint32_t ExceptionTextSize() { return kExceptionTextSize; }
    // Zeroes the text and sets the status a create call starts from.
    void PrepareForCreate();
    std::string Text() const;
};

struct TsbCallResult {
    std::string FunctionName;
    uint8_t Exception = 0;   // 0: success
    std::string FailureText; // empty on success

    bool Succeeded() const { return Exception == 0; }
};

enum TsbCallFlag : unsigned {
    lcAnnounce = 1u,   // write the announcement to the diagnostic log first
    lcLogFailure = 2u, // write the failure text to the diagnostic log
    lcDefault = lcAnnounce | lcLogFailure,
};

// Writes Announcement (the function name when empty) to the diagnostic log.
void AnnounceLibraryCall(std::string_view functionName, std::string_view announcement = {});
// Fills in the failure text of a failed call and logs it when asked.
void FinishLibraryCall(TsbCallResult& result, const TsbFailureReport& report, unsigned flags);

// Makes one library call the way the rule says. Call returns the library's
// exception byte. Announcement replaces the logged name where a call carries
// a note ("StarBurn_CdvdBurnerGrabber_Create (before create)").
template <class F>
TsbCallResult CallLibrary(std::string_view functionName, const TsbFailureReport& report, F&& call,
                          unsigned flags = lcDefault, std::string_view announcement = {}) {
    static_assert(std::is_invocable_v<F>, "the call takes no arguments; capture them");
    if (flags & lcAnnounce) {
        AnnounceLibraryCall(functionName, announcement);
    }
    TsbCallResult result;
    result.FunctionName = std::string(functionName);
    result.Exception = static_cast<uint8_t>(call());
    if (!result.Succeeded()) {
        FinishLibraryCall(result, report, flags);
    }
    return result;
}

// Raises EsbError with the failure text of a failed call; does nothing after
// a success.
void RaiseLibraryFailure(const TsbCallResult& result);
