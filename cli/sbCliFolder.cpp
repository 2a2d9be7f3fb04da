// SPDX-License-Identifier: GPL-2.0-or-later
// tavrin-burn burn FOLDER: the folder's file tree in the burner, its label
// and size checked before the drive is opened.
#include "cli/sbCliFolder.h"

#include "base/sbError.h"
#include "base/sbTranslate.h"
#include "cli/sbCliRun.h"
#include "engine/sbBurner.h"
#include "engine/sbFolderSource.h"

#include <fmt/format.h>

namespace cli {

int64_t checkFolder(TsbBurner& burner, const TCliBurnOptions& options, const TsbDiscSpace& space,
                    TCliOutput& output) {
    const std::string label =
        options.Label.empty() ? FolderLabelOf(options.Image) : FolderVolumeLabel(options.Label);
    if (!options.Label.empty() && label != options.Label) {
        output.Note(fmt::format(
            fmt::runtime(SbTranslate(
                "tavrin-burn",
                "The volume label is {}: ISO 9660 allows only A-Z, 0-9 and _ (at most 32)")),
            label));
    }
    burner.VolumeLabel = label;
    TsbFolderTree tree;
    try {
        tree = PrepareFolderTree(burner, options.Image);
    } catch (const EsbError& e) {
        stop(exUsage, e.what());
    }
    for (const std::string& note : tree.Notes) {
        output.Log(note, litWarning);
    }
    const std::string tooBig = FolderDoesNotFitText(tree.Bytes, space.FreeBytes);
    if (!tooBig.empty()) {
        stop(exNoDriveOrDisc, tooBig);
    }
    return tree.Bytes;
}

} // namespace cli
