// SPDX-License-Identifier: GPL-2.0-or-later
// libburn's threads hand sectors to each other through their own ring buffer,
// in a library built without the thread sanitizer; its copies would be
// reported (and checked against the suppressions, slowly) for every sector.
// The sanitizer looks at what this program's instrumented code does.
#pragma once

extern "C" const char* __tsan_default_options() {
    return "ignore_noninstrumented_modules=1";
}
