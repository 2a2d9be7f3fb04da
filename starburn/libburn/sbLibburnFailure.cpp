// SPDX-License-Identifier: GPL-2.0-or-later
// What a failed write, erase or format on a libburn drive tells the user: the
// drive's sense, which libburn gives only inside its text ("[3 0C 00]"),
// named in the text and put in the failure block, and what to do about it.
#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnSense.h"

#include <cerrno>
#include <cstdio>

namespace starburn::lb {

bool lostDrive(const std::string& why, int err) {
    return isDisconnection(err) || why.find("Lost connection to drive") != std::string::npos ||
           why.find("errno= 19 ") != std::string::npos;
}

Error operationFailure(uint8_t exception, int err, const std::string& what,
                       const std::string& why) {
    const std::string text = what + (why.empty() ? std::string() : ": " + why);
    if (lostDrive(why, err)) {
        return makeError(exception, ENODEV, disconnectedAdvice() + " (" + text + ")");
    }
    if (const auto code = senseOf(why)) {
        char named[16];
        std::snprintf(named, sizeof named, "%X/%02X/%02X", code->key, code->asc, code->ascq);
        // libburn's text may already lead with the table's sentence (the
        // runtime puts it there): the advice is said once.
        const std::string remedy = senseRemedy(*code);
        const std::string advice = remedy.empty()
                                       ? "Start again; if it fails again, try another disc"
                                   : why.find(remedy) != std::string::npos ? std::string()
                                                                           : senseAdvice(*code);
        return senseError(exception, static_cast<uint8_t>(code->key),
                          static_cast<uint8_t>(code->asc), static_cast<uint8_t>(code->ascq),
                          text + " (sense " + named + ")" + (advice.empty() ? "" : ". " + advice));
    }
    return makeError(exception, err != 0 ? static_cast<uint32_t>(err) : EIO,
                     text + ". Start again; if it fails again, try another disc");
}

} // namespace starburn::lb
