// SPDX-License-Identifier: GPL-2.0-or-later
// What a drive's refusal means to the person at the computer: the one table
// of this library that turns the sense codes a user can act on into a short
// sentence and what to do. Both backends speak through it, the virtual
// recorders for the refusals they make in a drive's stead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace starburn {

struct SenseCode {
    int key = -1;
    int asc = -1;
    int ascq = -1;
};

// The sentence and advice for a code, or "" when the table has none. Sector,
// when known, is the first block of the command that failed.
std::string senseAdvice(const SenseCode& code, std::optional<uint64_t> sector = std::nullopt);

// The advice column alone of the code's row, "" when the table has none.
std::string senseRemedy(const SenseCode& code);

} // namespace starburn
