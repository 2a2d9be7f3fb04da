// SPDX-License-Identifier: GPL-2.0-or-later
// What libburn says about a drive's disc, kept as plain values so the
// library's information blocks can be built (and reasoned about) without
// libburn's own types. libburn.h stays inside the few files that talk to it.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/core/sbDevice.h"

#include <cstdint>
#include <string>
#include <vector>

namespace starburn::lb {

// Drive roles as libburn numbers them (burn_drive_get_drive_role).
enum class Role : int {
    Null = 0,
    Mmc = 1,             // a real drive
    StdioRandom = 2,     // an image file or block device, read and write
    StdioSequential = 3, // a pipe or character device, written once
    StdioReadOnly = 4,
    StdioWriteOnly = 5,
};

// libburn's own profile number for a stdio pseudo-drive's "medium".
constexpr int kStdioProfile = 0xffff;

// The DISC_TYPE of a medium by its MMC profile. A pseudo-drive (profile
// 0xffff) counts as the medium libburn says it behaves like: a random-access
// file as DVD-RAM, a sequential target as a blank DVD-R, a read-only file as
// DVD-ROM. Profiles with no DISC_TYPE of their own give DISC_TYPE_UNKNOWN.
uint8_t discTypeOfProfile(int profile, Role role);

// Overwritable media: libburn reports them as blank whatever they hold, and
// writes them from their first block.
bool isOverwritable(int profile, Role role);

bool isCdProfile(int profile);
bool isDvdProfile(int profile);
bool isBdProfile(int profile);
// DVD-R, DVD-RW sequential and DVD-R DL: the discs that a drive may write
// only Session-At-Once (a fast-blanked DVD-RW, a drive without incremental
// streaming, DVD-R DL).
bool isDvdMinusRFamily(int profile);
// DVD-R DL cannot be left appendable at all.
bool isDvdMinusRDl(int profile);

enum class Media { Unknown, Empty, Unready, Blank, Appendable, Full, Unsuitable };

struct TocTrack {
    uint8_t session = 1;
    uint8_t number = 1;
    uint8_t adr = 1;
    uint8_t control = 4;
    uint32_t start = 0;  // LBA
    uint32_t blocks = 0; // 2048-byte blocks
    bool damaged = false;
};

// A snapshot of the medium, taken while the drive is grabbed.
struct DiscState {
    Media media = Media::Unknown;
    int profile = 0;
    std::string profileName;
    Role role = Role::Mmc;
    bool erasable = false;

    uint64_t availableBytes = 0; // burn_disc_available_space
    uint32_t readCapacity = 0;   // readable blocks (burn_get_read_capacity)
    bool nwaValid = false;
    uint32_t nextTrackStart = 0; // start LBA of the track to come
    uint32_t nwa = 0;            // next writable address
    int damage = 0;              // burn_disc_next_track_is_damaged

    int completeSessions = 0;
    int incompleteSessions = 0;
    std::vector<TocTrack> tracks; // every track of every session, in order
    uint32_t leadOut = 0;         // lead-out start of the last complete session

    bool cdInfoValid = false;
    uint8_t discTypeCode = 0xFF;
    uint32_t discId = 0;
    uint8_t barCode[8] = {};
    uint8_t appCode = 0;

    std::string volumeLabel;

    bool present() const {
        return media == Media::Blank || media == Media::Appendable || media == Media::Full ||
               media == Media::Unsuitable;
    }
    bool writable() const { return media == Media::Blank || media == Media::Appendable; }
};

// What libburn says about the disc, call by call, before any of it is
// interpreted: the status, the drive's answers about the next track, and the
// table of contents as burn_drive_get_disc gives it (complete sessions first,
// then the incomplete ones). Kept apart so the reading of libburn's model,
// which is where real discs differ from pseudo-drives, can be checked without
// a drive.
struct RawTocEntry {
    int point = 1; // the track number
    int adr = 1;
    int control = 4;
    int extensionsValid = 0; // burn_toc_entry.extensions_valid
    int startLba = 0;        // with extension bit 0
    int trackBlocks = 0;     // with extension bit 0
    int msfLba = 0;          // pmin:psec:pframe as an address, without bit 0
    int sectors = 0;         // burn_track_get_sectors, without bit 0
    int trackStatusBits = 0; // with extension bit 2 (READ TRACK INFORMATION)
};

struct RawSession {
    bool complete = true;
    std::vector<RawTocEntry> tracks;
    RawTocEntry leadOut;
};

struct RawDisc {
    Media media = Media::Unknown;
    int profile = 0;
    std::string profileName;
    Role role = Role::Mmc;
    bool erasable = false;
    int64_t availableBytes = 0; // burn_disc_available_space
    int readCapacity = 0;       // burn_get_read_capacity, 0 when unknown
    int nwaResult = -1;         // burn_disc_track_lba_nwa's return
    int nextTrackLba = 0;
    int nwa = 0;
    int damage = 0; // burn_disc_next_track_is_damaged
    std::vector<RawSession> sessions;
};

// The snapshot of a disc from what libburn said. An appendable disc shows in
// libburn as one incomplete session holding the next track, empty and
// invisible (blank in its status bits): that track is no track of the disc,
// and a session counts as open only when it holds a written track.
DiscState stateOf(const RawDisc& raw);

// The DISC_TYPE of the disc in a snapshot: no media only for an empty tray; a
// disc the drive holds but cannot name (profile 0) is unknown.
uint8_t discTypeOf(const DiscState& state);

// What libburn says a disc allows with one write type
// (burn_disc_get_multi_caps).
struct WriteCaps {
    bool possible = false;    // its return value
    bool multi = false;       // multi_session: the disc can be left appendable
    bool incremental = false; // might_do_tao
};

// How a write is changed from what was asked.
enum class PlanChange {
    None,
    SessionAtOnce, // Track-At-Once impossible here: Session-At-Once, closed
    Closed,        // multisession impossible (DVD-R DL): written and closed
    Refused,       // multisession impossible: not written
};

struct WritePlan {
    WriteMethod method = WriteMethod::TrackAtOnce;
    bool multi = false;
    PlanChange change = PlanChange::None;
};

// The method and multisession flag of a write on the disc of `state`: what
// was asked, except where libburn documents the disc cannot be written so.
// A rewritable or random-access disc is never kept appendable (it stays
// writable from its start anyway); a blank disc of the DVD-R family that
// cannot be written track by track (no Track-At-Once from libburn, or the
// drive only claimed it: claimedIncremental) goes Session-At-Once; DVD-R DL
// is written closed. capsOf gives libburn's caps for a method.
template <class CapsOf>
WritePlan planWrite(WriteMethod asked, bool multiSession, const DiscState& state,
                    bool sessionAtOnce, bool claimedIncremental, CapsOf&& capsOf) {
    WritePlan plan;
    plan.method = asked;
    plan.multi = asked != WriteMethod::SessionAtOnce && multiSession;
    if (asked == WriteMethod::TrackAtOnce && state.media == Media::Blank &&
        isDvdMinusRFamily(state.profile) && sessionAtOnce) {
        const WriteCaps tao = capsOf(WriteMethod::TrackAtOnce);
        if (claimedIncremental || !tao.possible || !tao.incremental) {
            plan.method = WriteMethod::SessionAtOnce;
            plan.multi = false;
            plan.change = PlanChange::SessionAtOnce;
        }
    }
    if (isOverwritable(state.profile, state.role)) {
        plan.multi = false;
    }
    if (plan.multi && !capsOf(plan.method).multi) {
        plan.multi = false;
        plan.change = isDvdMinusRDl(state.profile) ? PlanChange::Closed : PlanChange::Refused;
    }
    return plan;
}

// The library's blocks, modelled on an MMC drive's answers, from a snapshot.
void fillDiscInformation(const DiscState& state, SB_DISC_INFORMATION& out);
// False when the disc has no such track.
bool fillTrackInformation(const DiscState& state, uint32_t trackNumber, SB_TRACK_INFORMATION& out);
void fillTocInformation(const DiscState& state, SB_TOC_INFORMATION& out);
DiscSpace spaceOf(const DiscState& state);

} // namespace starburn::lb
