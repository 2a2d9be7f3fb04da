// SPDX-License-Identifier: GPL-2.0-or-later
// A stream the caller feeds as the source of a write: the bytes come from
// its read function, in order, once.
#pragma once

#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbImageSource.h"

#include <memory>

namespace starburn {

// A source of size bytes read through read(context, ...). It cannot be read
// a second time: a rewind after the first byte fails.
std::unique_ptr<ImageSource> openStreamSource(uint64_t size, PSB_STREAM_READ read, void* context);

} // namespace starburn
