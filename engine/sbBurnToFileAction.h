// SPDX-License-Identifier: GPL-2.0-or-later
// The burn-to-file action: builds the image of the burner's file tree and
// stores it in a file instead of on a disc.
//
// A caller schedules it with a file tree in the burner's FileTree, the
// burner's WriteMode set to wmImageToFile and the image file's path in the
// action list's SourceFileName. It checks that the target file system has
// room, proves that the image can be read and lets the burn thread copy the
// image into the file in 64 KiB chunks, with progress and cancel. The file it
// creates stays on disk after any failure, complete or not.
#pragma once

#include "engine/sbActions.h"

#include <cstdint>
#include <string>

// The status kept in LastStatus when the image will not fit: the number users
// and support know as the "disk full" code.
constexpr uint32_t sbErrorDiskFull = 112;

class TsbBurnToFileAction : public TsbAction {
public:
    TsbBurnToFileAction() = default;

    // Raises EsbError with the burner's StatusText on every failure.
    void Execute(TsbActionItem* Item) override;
};

// The folder whose free space decides whether an image stored at Path fits:
// the path's own folder for an absolute path ("/" for a file in the root), the
// current directory joined with the path's folder for a relative path, and the
// current directory itself for a bare file name.
std::string ImageFileDirectory(const std::string& Path);
