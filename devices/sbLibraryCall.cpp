#include "devices/sbLibraryCall.h"

#include "devices/sbError.h"
#include "devices/sbStrUtils.h"
#include "engine/sbLogger.h"

#include <cstring>
#include <fmt/printf.h>

std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize) {
    // The status is printed as the signed 32-bit number it is on the wire.
    return fmt::sprintf("%s() failed, exception %d, status %d, text \"%s\"", functionName,
                        exception, static_cast<int32_t>(status),
                        BufferToStr(textBuffer, bufferSize));
}

void TsbFailureReport::PrepareForCreate() {
    std::memset(ExceptionText, 0, sizeof ExceptionText);
    Status = kStatusBeforeCreate;
}

std::string TsbFailureReport::Text() const {
    return BufferToStr(ExceptionText, sizeof ExceptionText);
}

void AnnounceLibraryCall(std::string_view functionName, std::string_view announcement) {
    Logger().Log(std::string(announcement.empty() ? functionName : announcement));
}

void FinishLibraryCall(TsbCallResult& result, const TsbFailureReport& report, unsigned flags) {
    result.FailureText = LibraryFailureText(result.FunctionName, result.Exception, report.Status,
                                            report.ExceptionText, sizeof report.ExceptionText);
    if (flags & lcLogFailure) {
        Logger().Log(result.FailureText);
    }
}

void RaiseLibraryFailure(const TsbCallResult& result) {
    if (!result.Succeeded()) {
        throw EsbError(result.FailureText);
    }
}
