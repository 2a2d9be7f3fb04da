// SPDX-License-Identifier: GPL-2.0-or-later
// What a failed write, erase or format on a libburn drive tells the user: the
// drive's sense, which libburn gives only inside its text ("[3 0C 00]"),
// named in the text and put in the failure block, and what to do about it.
#include "starburn/libburn/sbLibburnDriveParts.h"

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace starburn::lb {
namespace {

struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int l = std::tolower(static_cast<unsigned char>(c));
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// The first "[K AS AQ]" of libburn's text that reports an error.
bool senseIn(const std::string& text, Sense& out) {
    for (size_t at = text.find('['); at != std::string::npos; at = text.find('[', at + 1)) {
        if (at + 9 > text.size() || text.compare(at + 2, 1, " ") != 0 ||
            text.compare(at + 5, 1, " ") != 0 || text.compare(at + 8, 1, "]") != 0) {
            continue;
        }
        const int k = hexDigit(text[at + 1]);
        const int a1 = hexDigit(text[at + 3]), a2 = hexDigit(text[at + 4]);
        const int q1 = hexDigit(text[at + 6]), q2 = hexDigit(text[at + 7]);
        if (k < 0 || a1 < 0 || a2 < 0 || q1 < 0 || q2 < 0 || k == 0) {
            continue;
        }
        out = {static_cast<uint8_t>(k), static_cast<uint8_t>(a1 * 16 + a2),
               static_cast<uint8_t>(q1 * 16 + q2)};
        return true;
    }
    return false;
}

std::string adviceFor(const Sense& s) {
    switch (s.key) {
    case 0x02:
        if (s.asc == 0x3A) {
            return "The disc left the drive (or its tray opened) during the operation: put it "
                   "back, check what it holds, and start again";
        }
        return "The drive was not ready: wait until its light stops, then start again";
    case 0x03:
        if (s.asc == 0x0C) {
            return "The drive could not write the disc: try another disc, or a slower speed";
        }
        return "The disc is damaged or dirty: clean it or try another disc";
    case 0x04:
        return "The drive reports a fault of its own: switch it off and on again, and start "
               "again";
    case 0x05:
        return "The drive refused the command: the disc may not suit this drive or this way of "
               "writing; try another disc or another burning mode";
    case 0x06:
        return "The drive was reset or its disc changed during the operation: check the disc "
               "and start again";
    case 0x07:
        return "The disc is write-protected: use another disc, or switch off its write "
               "protection";
    default:
        return "Start again; if it fails again, try another disc";
    }
}

} // namespace

bool lostDrive(const std::string& why, int err) {
    return err == ENODEV || err == ENXIO ||
           why.find("Lost connection to drive") != std::string::npos ||
           why.find("errno= 19 ") != std::string::npos;
}

Error operationFailure(uint8_t exception, int err, const std::string& what,
                       const std::string& why) {
    const std::string text = what + (why.empty() ? std::string() : ": " + why);
    if (lostDrive(why, err)) {
        return makeError(exception, ENODEV,
                         text + ". The drive no longer answers (it may have been unplugged or "
                                "switched off): plug it in again and start again");
    }
    Sense s;
    if (senseIn(why, s)) {
        char code[16];
        std::snprintf(code, sizeof code, "%X/%02X/%02X", s.key, s.asc, s.ascq);
        return senseError(exception, s.key, s.asc, s.ascq,
                          text + " (sense " + code + "). " + adviceFor(s));
    }
    return makeError(exception, err != 0 ? static_cast<uint32_t>(err) : EIO,
                     text + ". Start again; if it fails again, try another disc");
}

} // namespace starburn::lb
