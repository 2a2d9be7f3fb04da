// The text a failed library call leaves in the diagnostic log and in error
// boxes. Every call site announces its call in the diagnostic log by the
// function's name before making it, then decides what a failure means there.
#pragma once

#include "base/sbConst.h"

#include <cstdint>
#include <string>
#include <string_view>

// "<Function>() failed, exception <e>, status <s>, text \"<text>\"", the
// text read from the library's exception-text buffer up to its first zero
// (at most BufferSize characters).
std::string LibraryFailureText(std::string_view functionName, int exception, uint32_t status,
                               const char* textBuffer, size_t bufferSize = kExceptionTextSize);
