// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbFailure.h"

#include "starburn/StarBurn.h"

#include <algorithm>
#include <cstring>

namespace starburn {

void copyText(char* buffer, uint32_t bufferSize, std::string_view text) {
    if (buffer == nullptr || bufferSize == 0) {
        return;
    }
    const size_t n = std::min<size_t>(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

uint8_t fail(char* text, uint32_t textSize, uint32_t* status, uint8_t exception,
             uint32_t statusValue, std::string_view message) {
    copyText(text, textSize, message);
    if (status != nullptr) {
        *status = statusValue;
    }
    return exception;
}

Error makeError(uint8_t exception, uint32_t status, std::string text) {
    Error e;
    e.exception = exception;
    e.status = status;
    e.text = std::move(text);
    return e;
}

Error senseError(uint8_t exception, uint8_t key, uint8_t asc, uint8_t ascq, std::string text) {
    Error e = makeError(exception, SB_STATUS_SENSE, std::move(text));
    e.hasSense = true;
    e.senseKey = key;
    e.asc = asc;
    e.ascq = ascq;
    return e;
}

uint8_t report(const Report& where, const Error& error) {
    if (!error) {
        return SB_EXCEPTION_NONE;
    }
    fail(where.text, where.textSize, where.status, error.exception, error.status, error.text);
    if (where.failureInfo != nullptr) {
        auto* block = static_cast<uint8_t*>(where.failureInfo);
        std::memset(block, 0, SB_FAILURE_INFO_SIZE);
        if (error.hasSense) {
            block[0] = 1;
            block[1] = error.senseKey;
            block[2] = error.asc;
            block[3] = error.ascq;
        }
    }
    return error.exception;
}

} // namespace starburn
