// Filling the caller's failure report (text buffer, status, failure block).
#pragma once

#include <cstdint>
#include <string_view>

namespace starburn {

// What a failing call hands back: the exception number it returns, the status
// and the text it reports.
struct Failure {
    uint8_t exception = 0;
    uint32_t status = 0;
    std::string_view text;
};

// Copies text into the caller's buffer, zero-terminated and never past its
// size (a null buffer or a zero size is left alone).
void copyText(char* buffer, uint32_t bufferSize, std::string_view text);

// Fills the report of a failed call and returns its exception number, so a
// call ends with `return fail(...)`. Null report pointers are skipped.
uint8_t fail(char* text, uint32_t textSize, uint32_t* status, uint8_t exception,
             uint32_t statusValue, std::string_view message);

} // namespace starburn
