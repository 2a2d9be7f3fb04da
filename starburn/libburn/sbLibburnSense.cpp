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

// One row: a code (-1 matches any ASC or ASCQ), the sentence (where "%N"
// stands for " at sector N" when the sector is known) and the advice.
struct Row {
    int key;
    int asc;
    int ascq;
    const char* sentence;
    const char* advice;
};

// First match wins: the precise rows come before the wider ones.
constexpr Row kTable[] = {
    {0x2, 0x3A, -1, "There is no disc in the drive.", "Insert a disc and try again."},
    {0x2, 0x04, 0x01, "The disc is not ready yet.",
     "Wait a few seconds while the drive reads it in, then try again."},
    {0x2, 0x04, -1, "The drive did not become ready, however often it was asked.",
     "Take the disc out and put it in again; if that does not help, unplug the drive or restart "
     "the computer."},
    {0x3, 0x0C, -1, "Write error%N.",
     "The disc or the drive is bad: try a slower speed or another disc."},
    {0x3, 0x11, -1, "Read error%N while the disc was verified.",
     "The disc does not read back as written: try another disc or a slower speed."},
    {0x3, 0x73, -1, "Power calibration failed.",
     "The drive could not tune its laser to this disc: try a slower speed or discs of another "
     "brand."},
    {0x5, 0x73, -1, "Power calibration failed.",
     "The drive could not tune its laser to this disc: try a slower speed or discs of another "
     "brand."},
    {0x5, 0x30, -1, "The drive cannot use this disc (incompatible medium).",
     "Use a disc of a kind this drive writes, or one that is not closed."},
    {0x7, 0x27, -1, "The disc is write-protected.",
     "Use another disc, or slide the write-protect tab of its cartridge off."},
    {0x5, 0x21, 0x00, "The disc is full.", "Use a disc with more free space, or write less."},
    {0x5, 0x63, -1, "The disc is full.", "Use a disc with more free space, or write less."},
    // What is left of each key: a sentence for every refusal a drive gives.
    {0x2, -1, -1, "The drive was not ready.", "Wait until its light stops, then start again."},
    {0x3, -1, -1, "The disc could not be read or written.",
     "It is damaged or dirty: clean it or try another disc."},
    {0x4, -1, -1, "The drive reports a fault of its own.",
     "Switch it off and on again, and start again."},
    {0x5, -1, -1, "The drive refused the command.",
     "The disc may not suit this drive or this way of writing: try another disc or another "
     "burning mode."},
    {0x6, -1, -1, "The drive was reset or its disc changed during the operation.",
     "Check the disc and start again."},
};

const Row* rowOf(const SenseCode& code) {
    for (const Row& row : kTable) {
        if (row.key == code.key && (row.asc < 0 || row.asc == code.asc) &&
            (row.ascq < 0 || row.ascq == code.ascq)) {
            return &row;
        }
    }
    return nullptr;
}

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

std::string senseAdvice(const SenseCode& code, std::optional<uint64_t> sector) {
    const Row* row = rowOf(code);
    if (row == nullptr) {
        return {};
    }
    std::string sentence = row->sentence;
    const size_t mark = sentence.find("%N");
    if (mark != std::string::npos) {
        sentence.replace(mark, 2, sector ? " at sector " + std::to_string(*sector) : std::string());
    }
    return sentence + " " + row->advice;
}

std::string senseRemedy(const SenseCode& code) {
    const Row* row = rowOf(code);
    return row == nullptr ? std::string() : row->advice;
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
