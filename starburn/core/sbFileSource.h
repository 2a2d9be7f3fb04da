// SPDX-License-Identifier: GPL-2.0-or-later
// An image file as the source of a write.
#pragma once

#include "starburn/core/sbFailure.h"
#include "starburn/core/sbImageSource.h"

#include <memory>
#include <string>

namespace starburn {

// Opens an image file for a write. Fails (null, error filled) when the path
// is empty, the file is missing, unreadable, not a regular file or empty.
// The source notices when the file changes size while it is read.
std::unique_ptr<ImageSource> openFileSource(const std::string& path, Error& error);

} // namespace starburn
