// SPDX-License-Identifier: GPL-2.0-or-later
// Cue sheets as libburn reads them: the session libburn builds from a .cue
// for a Disc-At-Once burn, and what the library reports of its tracks.
#pragma once

#include "starburn/core/sbFailure.h"

#include <cstdint>
#include <string>
#include <vector>

namespace burn {
struct burn_session;
} // namespace burn

namespace starburn::lb {

struct CueTrack {
    int number = 0;
    bool audio = false;
    bool swapped = false;
    uint32_t line = 0;
    uint32_t sectors = 0;
    uint32_t pregap = 0;
    uint32_t postgap = 0;
    uint64_t offset = 0;
    std::string file;
};

// A cue sheet read by libburn: its session (freed with the object) and its
// tracks.
struct CueSession {
    burn::burn_session* session = nullptr;
    std::vector<CueTrack> tracks;

    CueSession() = default;
    CueSession(const CueSession&) = delete;
    CueSession& operator=(const CueSession&) = delete;
    ~CueSession();

    bool audio() const;
    // Every track and pregap, with the 150 sectors before the first track.
    uint32_t discSectors() const;
    // The bytes the tracks take from their files.
    uint64_t bytes() const;
};

// Reads the cue sheet at path with libburn (started here when it is not);
// refusals name the line and say what works instead. A burn of the session
// reads the files directly, without libburn's fifo (see sbLibburnFeedQueue.h
// for why), the kernel's read-ahead keeping ahead of a CD's pace.
Error loadCueSheet(const std::string& path, CueSession& out);

} // namespace starburn::lb
