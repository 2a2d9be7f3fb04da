// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbLibraryCall.h"

#include "base/sbStrUtils.h"

#include <fmt/printf.h>

std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize) {
    return FailureOf(functionName, textBuffer, bufferSize, &status).Format(exception);
}

std::string TsbCallFailure::Format(int exception) const {
    // The status is printed as the signed 32-bit number it is on the wire.
    const auto status = static_cast<int32_t>(Status != nullptr ? *Status : 0);
    const std::string text = Text != nullptr ? BufferToStr(Text, TextSize) : std::string();
    return fmt::sprintf(Pattern, exception, status, text);
}

TsbCallFailure FailureOf(std::string_view function, const char* text, size_t textSize,
                         const uint32_t* status) {
    return {std::string(function) + "() failed, exception %d, status %d, text \"%s\"", text,
            textSize, status};
}
