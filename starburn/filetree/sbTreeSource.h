// SPDX-License-Identifier: GPL-2.0-or-later
// A built file tree as the source of a write.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/core/sbImageSource.h"

#include <memory>
#include <string>

namespace starburn {

// Opens the image of the file tree behind treeHandle for a write. The tree
// must be built (StarBurn_ISO9660JolietFileTree_BuildImage); the source then
// yields the image from its first byte: size() is the built image's size,
// read() hands out its bytes in order, rewind() starts over.
//
// The source reads through the tree's own read position (the one
// StarBurn_ISO9660JolietFileTree_Read moves), so the tree's Read and the write
// must not run at the same time. The source keeps the tree alive even when
// StarBurn_Destroy runs meanwhile. A failed read (a source file that went
// missing or changed, a generator fault) reports the text of the tree's Read;
// the errno value is set where a file operation failed, else 0.
//
// While the source lives, the tree refuses calls that would change it or move
// its read position, and a second source (FileTree::beginWrite).
//
// Returns null with error set when the handle is no file tree, the tree has
// no built image or a write reads it already; exception (when given) gets the
// SB_EXCEPTION_* number of that failure. Visible outside the library so the
// library's tests can drive it directly.
STARBURN_API std::unique_ptr<ImageSource> openTreeSource(void* treeHandle, std::string& error,
                                                         uint8_t* exception = nullptr);

} // namespace starburn
