// SPDX-License-Identifier: GPL-2.0-or-later
// The table of drive refusals a user can act on (see sbSenseTable.h).
#include "starburn/core/sbSenseTable.h"

namespace starburn {
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

} // namespace

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

} // namespace starburn
