// The hook through which the write calls read a built file tree's image.
#pragma once

#include "starburn/core/sbImageSource.h"

#include <memory>
#include <string>

namespace starburn {

// The built image of the file tree behind treeHandle, as a source for a
// write, read from its first byte. Returns null and sets error when the
// handle is not a live file tree or its image is not built.
//
// starburn/filetree defines it; until it does, a default in the core answers
// every tree with "File trees are not available".
std::unique_ptr<ImageSource> openTreeSource(void* treeHandle, std::string& error);

} // namespace starburn
