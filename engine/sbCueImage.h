// SPDX-License-Identifier: GPL-2.0-or-later
// Cue sheets (.cue with their BIN or WAVE files) as a burn's source: what
// the library reads of one (libburn's reader behind StarBurn_CueSheet_Read),
// the track list the summary and `tavrin-burn check` show, and the
// verification that reads each track back (audio with READ CD) and compares
// it with its file.
#pragma once

#include "engine/sbVerify.h"

#include <cstdint>
#include <string>
#include <vector>

struct TsbCueTrack {
    int Number = 0;
    bool Audio = false;
    bool ByteSwapped = false;
    uint32_t Line = 0;
    uint32_t Sectors = 0;
    uint32_t Pregap = 0;
    uint32_t Postgap = 0;
    uint64_t FileOffset = 0;
    std::string File;

    uint32_t SectorBytes() const { return Audio ? 2352 : 2048; }
    // What it takes on the disc: libburn pads a track to 4 seconds.
    uint32_t DiscSectors() const { return Sectors < 300 ? 300 : Sectors; }
};

struct TsbCueSheet {
    std::vector<TsbCueTrack> Tracks;
    bool Audio = false;
    // Every track and gap with the 150 sectors before the first.
    uint32_t TotalSectors = 0;
    uint64_t TotalBytes = 0;
};

// A path that names a cue sheet (".cue", any case).
bool IsCueSheet(const std::string& Path);

// Reads the sheet through the library. Raises EsbError with the library's
// text (the line, what stands on it, what works instead) when it cannot be
// burnt.
TsbCueSheet ReadCueSheet(const std::string& Path);

// A blank CD's sectors as a sheet's sum counts them: its free 2048-byte
// blocks and the 150 sectors before block 0 (79:59:74 for an 80-minute CD-R).
uint32_t CueDiscSectors(int64_t FreeBytes);

// 75 sectors a second: "mm:ss:ff".
std::string MsfText(uint32_t Sectors);

// One line per track ("Track 01  audio  04:10:00  (pregap 00:02:00)") and
// the sum against the disc: "Total 12:30:00 of 79:57:74 (the disc's
// minutes)"; DiscSectors 0 leaves the disc out.
std::vector<std::string> CueTrackLines(const TsbCueSheet& Sheet, uint32_t DiscSectors);

// Reads every track of a burnt cue sheet back from the disc in the opened
// drive (audio sectors with READ CD, data blocks as 2048-byte blocks), from
// the disc's block 0 on, and compares each with its file. Blocks counts the
// sectors compared; Sha256 sums the tracks' bytes as read; Notes has one
// line per track.
TsbVerifyResult VerifyCueDisc(void* Grabber, const TsbCueSheet& Sheet,
                              const TsbVerifyCallbacks& Callbacks);
