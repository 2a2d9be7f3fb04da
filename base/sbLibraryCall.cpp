#include "base/sbLibraryCall.h"

#include "base/sbStrUtils.h"

#include <fmt/printf.h>

std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize) {
    // The status is printed as the signed 32-bit number it is on the wire.
    return fmt::sprintf("%s() failed, exception %d, status %d, text \"%s\"", functionName,
                        exception, static_cast<int32_t>(status),
                        BufferToStr(textBuffer, bufferSize));
}
