// SPDX-License-Identifier: GPL-2.0-or-later
// Filling the caller's failure report (text buffer, status, failure block).
#pragma once

#include <cstdint>
#include <string>
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

// The outcome of one operation inside the library: success (exception 0) or
// a failure with everything the caller's report needs, sense data included
// when a drive answered with it.
struct Error {
    uint8_t exception = 0;
    uint32_t status = 0;
    std::string text;
    bool hasSense = false;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;

    explicit operator bool() const { return exception != 0; }
};

// A failure with an errno value (or an SB_STATUS_* number) as its status.
Error makeError(uint8_t exception, uint32_t status, std::string text);

// A failure a drive reported with sense data; the status is SB_STATUS_SENSE.
Error senseError(uint8_t exception, uint8_t key, uint8_t asc, uint8_t ascq, std::string text);

// The caller's report buffers of one grabber call.
struct Report {
    char* text = nullptr;
    uint32_t textSize = 0;
    uint32_t* status = nullptr;
    void* failureInfo = nullptr;
};

// Fills the report from error (when it is a failure) and returns its
// exception number. The failure block gets at most SB_FAILURE_INFO_SIZE bytes.
uint8_t report(const Report& where, const Error& error);

} // namespace starburn
