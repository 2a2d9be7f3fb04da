// SPDX-License-Identifier: GPL-2.0-or-later
// The wait for a drive that is not ready yet, before libburn is given it.
// libburn retries every command a drive answers with "not ready" (2/04/xx)
// until that command's own time-out: a drive that never becomes ready holds
// a scan or a grab for the better part of an hour, out of reach of a cancel.
// So the drive is asked here first, with TEST UNIT READY at a calm pace, for
// no longer than the configured wait.
#pragma once

#include "starburn/core/sbFailure.h"

#include <chrono>
#include <functional>
#include <string>

namespace starburn::lb {

// Asks the drive at a device file (a real one; never a stdio: address) until
// it stops answering 2/04/xx or the limit has passed, and returns then: ready,
// no disc (libburn sees that itself), anything else libburn reports in its
// own words, or a device file that cannot be opened. Fails with
// SB_EXCEPTION_NOT_READY and the last sense when the drive was still not
// ready at the limit (title names the drive in the text), and with
// SB_EXCEPTION_CANCELLED when cancelled (may be empty) says so or
// StarBurn_AbortWrites came.
Error awaitUnitReady(const std::string& deviceFile, const std::string& title,
                     std::chrono::seconds limit, const std::function<bool()>& cancelled = {});

} // namespace starburn::lb
