// SPDX-License-Identifier: GPL-2.0-or-later
// The table of drive refusals a user can act on (see sbLibburnSense.h).
#include "starburn/libburn/sbLibburnSense.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

int hexAt(std::string_view text, size_t at, size_t digits) {
    if (at + digits > text.size()) {
        return -1;
    }
    int value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const char c = text[at + i];
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return -1;
        }
        value = value * 16 + (std::isdigit(static_cast<unsigned char>(c)) != 0
                                  ? c - '0'
                                  : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return value;
}

// The first block of the failed command: "write(992,32)" or "read(…)".
std::optional<uint64_t> sectorOf(std::string_view text) {
    for (const std::string_view verb : {"write(", "read("}) {
        const size_t at = text.find(verb);
        if (at == std::string_view::npos) {
            continue;
        }
        const std::string number(text.substr(at + verb.size(), 20));
        char* end = nullptr;
        const unsigned long long n = std::strtoull(number.c_str(), &end, 10);
        if (end != number.c_str() && *end == ',') {
            return n;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<SenseCode> senseOf(std::string_view text) {
    // "[K AA QQ]"
    for (size_t at = text.find('['); at != std::string_view::npos; at = text.find('[', at + 1)) {
        if (at + 9 <= text.size() && text[at + 2] == ' ' && text[at + 5] == ' ' &&
            text[at + 8] == ']') {
            const SenseCode code{hexAt(text, at + 1, 1), hexAt(text, at + 3, 2),
                                 hexAt(text, at + 6, 2)};
            if (code.key >= 0 && code.asc >= 0 && code.ascq >= 0) {
                return code;
            }
        }
    }
    // "Sense Key 3 \"Medium error\", ASC 10 ASCQ 00"
    const size_t key = text.find("Sense Key ");
    const size_t asc = text.find("ASC ", key == std::string_view::npos ? 0 : key);
    const size_t ascq = text.find("ASCQ ", asc == std::string_view::npos ? 0 : asc);
    if (key != std::string_view::npos && asc != std::string_view::npos &&
        ascq != std::string_view::npos) {
        const SenseCode code{hexAt(text, key + 10, 1), hexAt(text, asc + 4, 2),
                             hexAt(text, ascq + 5, 2)};
        if (code.key >= 0 && code.asc >= 0 && code.ascq >= 0) {
            return code;
        }
    }
    return std::nullopt;
}

std::string disconnectedAdvice() {
    return "The recorder was disconnected. Plug it in again and start over; a write-once disc "
           "that was being written is probably lost.";
}

bool isDisconnection(int osErrno) {
    return osErrno == ENODEV || osErrno == ENXIO;
}

bool deviceFileGone(const std::string& address) {
    if (address.empty() || address.rfind("stdio:", 0) == 0) {
        return false;
    }
    // Not exclusive and not blocking: beside libburn's own exclusive opening
    // of the drive, and without closing a tray.
    const int fd = ::open(address.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == ENOENT || isDisconnection(errno);
}

std::string adviceFor(const std::vector<Message>& messages) {
    for (const Message& m : messages) {
        if (isDisconnection(m.osErrno)) {
            return disconnectedAdvice();
        }
    }
    const auto advise = [](const Message& m) {
        const auto code = senseOf(m.text);
        return code ? senseAdvice(*code, sectorOf(m.text)) : std::string();
    };
    // The failures first; else the newest condition libburn only noted on
    // the way (it reports some refusals at debugging level alone).
    for (const Message& m : messages) {
        if (m.failure) {
            if (std::string advice = advise(m); !advice.empty()) {
                return advice;
            }
        }
    }
    for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
        if (!m->failure) {
            if (std::string advice = advise(*m); !advice.empty()) {
                return advice;
            }
        }
    }
    return {};
}

} // namespace starburn::lb
