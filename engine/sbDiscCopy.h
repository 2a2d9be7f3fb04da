// SPDX-License-Identifier: GPL-2.0-or-later
// A disc copied to an image file: the data track up to its ISO 9660
// volume's end (not the track's padded end), or an audio CD as a BIN of its
// tracks with a cue sheet. The image is written beside its name and moved
// there only when it is whole; its SHA-256 goes next to it in the form
// `sha256sum -c` reads. A sector that cannot be read stops the copy, or,
// when the caller says so, is filled with zeros and listed.
#pragma once

#include "base/sbTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TsbCopyTrack {
    int Number = 0;
    bool Audio = false;
    uint32_t Start = 0;
    uint32_t Sectors = 0; // what is copied of it
    uint32_t Pregap = 0;  // audio: the sectors before it that read as none (PREGAP in the cue)
};

struct TsbCopyPlan {
    bool Audio = false;
    std::vector<TsbCopyTrack> Tracks; // audio: every track; data: the one copied
    // Data: the volume's label, and whether the size came from the volume
    // (false: the track holds no ISO 9660 volume, its whole length is copied).
    std::string VolumeLabel;
    bool SizeFromVolume = false;
    uint64_t Bytes() const;
};

// What the disc in the opened drive holds, from its table of contents and
// (data) the primary volume descriptor of its first data track. Raises
// EsbError for a disc without tracks.
TsbCopyPlan PlanDiscCopy(void* Grabber);

// Whether a table of contents (as the device search read it) names tracks
// and all of them audio: PlanDiscCopy makes such a disc a BIN and cue sheet.
bool HoldsOnlyAudio(const TsbTOCInformation& Toc);

enum class TsbBadSectorChoice { Stop, FillWithZeros };

struct TsbCopyCallbacks {
    // Bytes copied so far of all, on the copying thread.
    std::function<void(uint64_t Done, uint64_t Total)> Progress;
    std::function<bool()> Cancelled;
    // The first sector that cannot be read (its number and the drive's
    // answer): stop, or fill it and every later one with zeros.
    std::function<TsbBadSectorChoice(uint32_t Sector, const std::string& Why)> BadSector;
};

struct TsbCopyResult {
    bool Done = false;
    bool Cancelled = false;
    std::string FailureText;
    // The files written: the image (or BIN and cue), its .sha256, a list of
    // the bad sectors when there were any.
    std::vector<std::string> Files;
    std::string Sha256;
    uint64_t Bytes = 0;
    std::vector<uint32_t> BadSectors;
};

// The image's name for an audio CD: OUT.iso becomes OUT.bin and OUT.cue.
std::string AudioBinName(const std::string& OutPath);
std::string AudioCueName(const std::string& OutPath);

// The files a copy to OutPath writes, whether or not it will need them all:
// the image (audio: the BIN), its .sha256, and the cue sheet (audio) or the
// list of bad sectors (data).
std::vector<std::string> CopyOutputFiles(bool Audio, const std::string& OutPath);

// Copies the disc as Plan says to OutPath (audio: AudioBinName and
// AudioCueName of it). Refuses an output that exists, unless Replace: then
// each file takes the old one's place only once the copy is whole, and a
// list of bad sectors from an earlier copy goes when this one has none.
// Nothing that looks complete is left behind when it fails or is cancelled.
TsbCopyResult CopyDisc(void* Grabber, const TsbCopyPlan& Plan, const std::string& OutPath,
                       const TsbCopyCallbacks& Callbacks, bool Replace = false);
