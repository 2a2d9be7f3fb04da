#include "starburn/core/sbFailure.h"

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

} // namespace starburn
