// SPDX-License-Identifier: GPL-2.0-or-later
// What the file tree's source files share: quoting, failure texts, the check
// of a source file, and libisofs' start and messages.
#pragma once

#include "starburn/filetree/sbFileTree.h"

#include <string>
#include <sys/stat.h>

namespace starburn::filetree {

std::string quoted(const std::string& text);
Error fileError(int err, const std::string& what);
// Checks that a source file exists, is a regular file (links followed) and can be read.
bool checkReadableFile(const std::string& path, struct stat& st, Error& error);

// Starts libisofs once for the process; false (error set) when it cannot start.
bool initLibisofs(Error& error);
// A new libisofs image whose messages are kept for it (null on failure,
// with libisofs' result).
Iso_Image* newImage(const std::string& volumeId, int& result);
// Lets go of an image and of its messages.
void releaseImage(Iso_Image* image);
// The newest libisofs message about the image (none for a null one) since
// the last one read, or a text built from the error code.
std::string libisofsText(Iso_Image* image, int code);

} // namespace starburn::filetree
