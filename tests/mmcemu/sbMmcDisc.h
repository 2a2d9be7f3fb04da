// SPDX-License-Identifier: GPL-2.0-or-later
// The emulated disc: its kind, its recording state (sessions and tracks, or a
// formatted random-access area) and the rules of its medium, with the files
// beside the device file that keep it between processes:
//   PATH.medium  the disc in the drive (kind, starting state, capacity); a
//                test swaps the disc by rewriting it
//   PATH.layout  what has been recorded on that disc, rewritten atomically
//   PATH.disc    the recorded sectors (a sparse file)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sbmmc {

enum class Medium { None, CdR, CdRw, DvdR, DvdRw, DvdPlusR, DvdPlusRw, DvdRam, BdR, BdRe };

// The disc a drive section or a swap names: "cdr", "dvdrw-ro", ...
struct DiscSpec {
    Medium medium = Medium::None;
    bool restricted = false; // a DVD-RW in restricted overwrite
    int layers = 1;          // 2: a double-layer DVD-R, DVD+R or BD
    std::string state = "blank";
    int64_t capacity = 0; // 0: the medium's usual size
    bool operator==(const DiscSpec&) const = default;
};

// Parses a Media= and State= pair; false with why when they do not fit.
bool parseDiscSpec(std::string_view media, std::string_view state, int64_t capacity, DiscSpec& out,
                   std::string& why);
std::string mediaName(const DiscSpec& spec);

bool isCd(Medium m);
bool isDvd(Medium m);
bool isBd(Medium m);
bool isWriteOnce(Medium m);
bool isErasable(Medium m);
// Sectors of a medium of so many layers when nothing says otherwise.
int64_t defaultCapacity(Medium m, int layers = 1);
// Write speeds in kB/s a drive offers for the medium.
std::vector<int> defaultSpeeds(Medium m);

struct Track {
    int32_t start = 0;    // first user block
    int32_t recorded = 0; // user blocks recorded from start
    int32_t reserved = 0; // fixed size (RESERVE TRACK, cue sheet); 0 while open-ended
    int32_t tail = 0;     // blocks after the user data that count to the track (CD run-out)
    int session = 1;
    int blockLength = 2048;
    int control = 4; // CD control nibble (bit 2: data), DVD track mode
    bool closed = false;

    int32_t userBlocks() const { return reserved > 0 ? reserved : recorded; }
    int32_t end() const { return start + userBlocks() + tail; } // first block after the track
    bool isAudio() const { return (control & 4) == 0; }
};

// The recording state of the disc in the drive.
struct Layout {
    std::string stamp; // the PATH.medium it belongs to (inode, time, size)
    Medium medium = Medium::None;
    bool restricted = false; // DVD-RW restricted overwrite
    int layers = 1;
    bool quickBlanked = false; // DVD-RW minimally blanked: disc at once only
    bool formatted = false;    // random-access media and BD-R with spare areas
    bool spareAreas = false;
    int64_t rawCapacity = 0; // the unformatted medium
    int64_t capacity = 0;    // blocks a user can record
    bool finalized = false;
    int closedSessions = 0;
    bool trayOpen = false;
    std::vector<Track> tracks;

    bool present() const { return medium != Medium::None; }
    // Random access: DVD+RW, DVD-RAM, BD-RE and restricted-overwrite DVD-RW.
    bool overwritable() const;
    int profile() const;

    // Sequential recording.
    int openSession() const { return closedSessions + 1; }
    const Track* openTrack() const; // the incomplete track being written, if any
    Track* openTrack();
    bool hasInvisibleTrack() const;          // an empty track where the next one starts
    int32_t invisibleStart() const;          // its first block
    int32_t nextWritable() const;            // where the next write must go; -1: nowhere
    int32_t lastPossibleEnd() const;         // blocks up to the last possible lead-out
    int32_t freeBlocks() const;              // from nextWritable() to the end
    int32_t sessionStart(int session) const; // first block a session may use
    int32_t leadOut(int session) const;      // first block after a closed session
    int lastTrackInSession(int session) const;
    int firstTrackInSession(int session) const;
    int32_t readableEnd() const; // first block after the last readable one
    bool blank() const;
};

// Starts a disc as spec says it comes out of its box (or with one recorded
// session for "appendable" and "closed").
Layout freshLayout(const DiscSpec& spec);

// The layout as text (an INI document) and back; false with why on a bad one.
std::string layoutText(const Layout& layout);
bool parseLayout(std::string_view text, const std::string& origin, Layout& out, std::string& why);

// Writes text to path through a temporary beside it and a rename, so a reader
// sees the old or the new file whole. False with why when it fails.
bool replaceFile(const std::string& path, const std::string& text, std::string& why);

// Block alignment of track starts on the medium (ECC blocks, clusters).
int trackAlignment(Medium m);

} // namespace sbmmc
