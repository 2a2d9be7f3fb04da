// SPDX-License-Identifier: GPL-2.0-or-later
// A folder burnt as a data disc: the library's file tree of the folder's
// contents (Rock Ridge, Joliet and ISO9660, the MD5 of the session and of
// every file recorded), built and streamed to the drive as it is written.
// No image file is made first, and memory stays flat whatever the size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TsbBurner;

// Whether Path names a folder (links followed).
bool IsSourceFolder(const std::string& Path);

// A volume label from Text (a folder's name, or the one the user typed):
// ISO9660's d-characters only (A-Z, 0-9, "_"), letters upper-cased, every
// other character "_", at most 32 characters, "_" at either end dropped;
// "CDROM" when nothing is left.
std::string FolderVolumeLabel(const std::string& Text);

// The label a folder's disc gets from the folder's own name.
std::string FolderLabelOf(const std::string& Folder);

// What a folder made of the tree.
struct TsbFolderTree {
    // The size of the image the tree yields.
    int64_t Bytes = 0;
    // "<source path>: <what was done>" for every entry skipped or renamed.
    std::vector<std::string> Notes;
};

// Makes Burner.FileTree (destroying one it held) from the folder's contents
// and builds its image once with Burner.VolumeLabel, so its size is known
// before the burn; the staged burn builds it again where the session starts.
// Every note goes to the diagnostic log as well. Raises EsbError with the
// library's text when the folder cannot be read (a file that cannot be read,
// a folder that cannot be listed), and when it is empty; the burner then
// holds no tree. It may run on any thread, with a burner of its own.
TsbFolderTree PrepareFolderTree(TsbBurner& Burner, const std::string& Folder);

// Why a folder's image of Bytes cannot be burnt on a disc with FreeBytes
// free, in the user's language; empty when it fits.
std::string FolderDoesNotFitText(int64_t Bytes, int64_t FreeBytes);

// Moves From's file tree (made by PrepareFolderTree away from the burner
// that writes, so the window lives while it is made) to To, destroying the
// one To held.
void HandOverFileTree(TsbBurner& From, TsbBurner& To);

// "Source folder: <folder> (<n> MB, label <label>)"
std::string FolderSourceLine(const std::string& Folder, int64_t Bytes, const std::string& Label);
