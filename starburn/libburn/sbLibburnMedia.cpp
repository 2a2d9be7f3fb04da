// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/libburn/sbLibburnMedia.h"

#include <algorithm>
#include <cstring>

namespace starburn::lb {
namespace {

struct ProfileType {
    int profile;
    uint8_t type;
};

// MMC profiles (MMC-5, table 89) and the disc type each one is. Profiles not
// listed have no DISC_TYPE of their own.
constexpr ProfileType kProfiles[] = {
    {0x00, DISC_TYPE_NO_MEDIA},    // no current profile: the tray is empty
    {0x08, DISC_TYPE_CDROM},       //
    {0x09, DISC_TYPE_CDR},         //
    {0x0a, DISC_TYPE_CDRW},        //
    {0x10, DISC_TYPE_DVDROM},      //
    {0x11, DISC_TYPE_DVDR},        // DVD-R sequential recording
    {0x12, DISC_TYPE_DVDRAM},      //
    {0x13, DISC_TYPE_DVDRWRO},     // DVD-RW restricted overwrite
    {0x14, DISC_TYPE_DVDRWSR},     // DVD-RW sequential recording
    {0x15, DISC_TYPE_DVDR_DL},     // DVD-R DL sequential recording
    {0x16, DISC_TYPE_DVDR_DL},     // DVD-R DL layer jump recording
    {0x1a, DISC_TYPE_DVDPLUSRW},   //
    {0x1b, DISC_TYPE_DVDPLUSR},    //
    {0x2b, DISC_TYPE_DVDPLUSR_DL}, //
    {0x41, DISC_TYPE_BDR},         // BD-R sequential recording
    {0x42, DISC_TYPE_BDR},         // BD-R random recording
    {0x43, DISC_TYPE_BDRE},        //
    {0x50, DISC_TYPE_HDDVDROM},    //
    {0x51, DISC_TYPE_HDDVDR},      //
    {0x53, DISC_TYPE_HDDVDRW},     //
    {0x58, DISC_TYPE_HDDVDR},      // HD DVD-R DL
    {0x5a, DISC_TYPE_HDDVDRW},     // HD DVD-RW DL
};

uint32_t clampBlocks(uint64_t blocks) {
    return static_cast<uint32_t>(std::min<uint64_t>(blocks, UINT32_MAX));
}

uint32_t freeBlocksOf(const DiscState& s) {
    return s.writable() ? clampBlocks(s.availableBytes / 2048) : 0;
}

uint32_t usedBlocksOf(const DiscState& s) {
    switch (s.media) {
    case Media::Appendable:
        if (s.nwaValid) {
            return s.nwa;
        }
        break;
    case Media::Full:
    case Media::Unsuitable:
        if (s.readCapacity > 0) {
            return s.readCapacity;
        }
        if (s.leadOut > 0) {
            return s.leadOut;
        }
        break;
    default:
        return 0;
    }
    uint64_t end = 0;
    for (const auto& t : s.tracks) {
        end = std::max<uint64_t>(end, static_cast<uint64_t>(t.start) + t.blocks);
    }
    return clampBlocks(end);
}

uint8_t lastTrackNumber(const DiscState& s) {
    return s.tracks.empty() ? 0 : s.tracks.back().number;
}

uint8_t firstTrackOfLastSession(const DiscState& s) {
    if (s.tracks.empty()) {
        return 1;
    }
    uint8_t first = s.tracks.back().number;
    for (auto it = s.tracks.rbegin(); it != s.tracks.rend(); ++it) {
        if (it->session != s.tracks.back().session) {
            break;
        }
        first = it->number;
    }
    return first;
}

} // namespace

uint8_t discTypeOfProfile(int profile, Role role) {
    if (profile == kStdioProfile) {
        switch (role) {
        case Role::StdioRandom:
        case Role::StdioWriteOnly:
            return DISC_TYPE_DVDRAM;
        case Role::StdioSequential:
            return DISC_TYPE_DVDR;
        case Role::StdioReadOnly:
            return DISC_TYPE_DVDROM;
        case Role::Null:
            return DISC_TYPE_NO_MEDIA;
        case Role::Mmc:
            return DISC_TYPE_UNKNOWN;
        }
        return DISC_TYPE_UNKNOWN;
    }
    for (const auto& p : kProfiles) {
        if (p.profile == profile) {
            return p.type;
        }
    }
    return DISC_TYPE_UNKNOWN;
}

bool isOverwritable(int profile, Role role) {
    if (profile == kStdioProfile) {
        return role == Role::StdioRandom || role == Role::StdioReadOnly ||
               role == Role::StdioWriteOnly;
    }
    return profile == 0x12 || profile == 0x13 || profile == 0x1a || profile == 0x2a ||
           profile == 0x43;
}

bool isCdProfile(int profile) {
    return profile >= 0x08 && profile <= 0x0a;
}

bool isDvdProfile(int profile) {
    return profile >= 0x10 && profile <= 0x2b;
}

bool isBdProfile(int profile) {
    return profile >= 0x40 && profile <= 0x43;
}

bool isDvdMinusRFamily(int profile) {
    return profile == 0x11 || profile == 0x14 || isDvdMinusRDl(profile);
}

bool isDvdMinusRDl(int profile) {
    return profile == 0x15 || profile == 0x16;
}

namespace {

constexpr int kTrackStatusValid = 4; // extensions_valid bit 2
constexpr int kTrackBlank = 1 << 14; // READ TRACK INFORMATION: Blank
constexpr int kTrackDamage = 1 << 5;

int lbaOf(const RawTocEntry& e) {
    return (e.extensionsValid & 1) != 0 ? e.startLba : e.msfLba;
}

// The track libburn lists for where the next one will go: blank by its status
// bits, or, where libburn read no status bits, an empty track of an
// incomplete session.
bool isInvisibleTrack(const RawTocEntry& e, bool inCompleteSession) {
    if ((e.extensionsValid & kTrackStatusValid) != 0) {
        return (e.trackStatusBits & kTrackBlank) != 0;
    }
    const int blocks = (e.extensionsValid & 1) != 0 ? e.trackBlocks : e.sectors;
    return !inCompleteSession && blocks <= 0;
}

} // namespace

DiscState stateOf(const RawDisc& raw) {
    DiscState s;
    s.media = raw.media;
    s.profile = raw.profile;
    s.profileName = raw.profileName;
    s.role = raw.role;
    if (!s.present()) {
        return s;
    }
    s.erasable = raw.erasable;
    s.availableBytes = static_cast<uint64_t>(std::max<int64_t>(raw.availableBytes, 0));
    s.readCapacity = static_cast<uint32_t>(std::max(raw.readCapacity, 0));
    if (s.writable()) {
        s.nextTrackStart = static_cast<uint32_t>(std::max(raw.nextTrackLba, 0));
        // A pseudo-drive or an overwritable medium is written from its first
        // block, which libburn reports without calling it valid.
        if (raw.nwaResult > 0 || (raw.nwaResult == 0 && isOverwritable(s.profile, s.role))) {
            s.nwaValid = true;
            s.nwa = static_cast<uint32_t>(std::max(raw.nwa, 0));
        }
        s.damage = raw.damage;
    }
    int complete = 0;
    int open = 0;
    for (size_t i = 0; i < raw.sessions.size(); ++i) {
        const RawSession& session = raw.sessions[i];
        bool written = false;
        for (const RawTocEntry& e : session.tracks) {
            if (isInvisibleTrack(e, session.complete)) {
                continue;
            }
            TocTrack t;
            t.session = static_cast<uint8_t>(i + 1);
            t.number = static_cast<uint8_t>(e.point);
            t.adr = static_cast<uint8_t>(e.adr);
            t.control = static_cast<uint8_t>(e.control);
            t.start = static_cast<uint32_t>(std::max(lbaOf(e), 0));
            t.blocks = static_cast<uint32_t>(
                std::max((e.extensionsValid & 1) != 0 ? e.trackBlocks : e.sectors, 0));
            t.damaged = (e.extensionsValid & kTrackStatusValid) != 0 &&
                        (e.trackStatusBits & kTrackDamage) != 0;
            s.tracks.push_back(t);
            written = true;
        }
        if (session.complete) {
            ++complete;
            s.leadOut = static_cast<uint32_t>(std::max(lbaOf(session.leadOut), 0));
        } else if (written) {
            ++open;
        }
    }
    s.completeSessions = complete;
    s.incompleteSessions = open;
    return s;
}

uint8_t discTypeOf(const DiscState& s) {
    if (s.media == Media::Empty) {
        return DISC_TYPE_NO_MEDIA;
    }
    if (s.media == Media::Unknown || (s.profile == 0 && s.present())) {
        return DISC_TYPE_UNKNOWN;
    }
    return discTypeOfProfile(s.profile, s.role);
}

void fillDiscInformation(const DiscState& s, SB_DISC_INFORMATION& out) {
    std::memset(&out, 0, sizeof out);
    out.Valid = 1;
    out.Erasable = s.erasable ? 1 : 0;
    out.FirstTrackNumber = s.tracks.empty() ? 1 : s.tracks.front().number;
    if (s.cdInfoValid) {
        out.DiscTypeCode = s.discTypeCode;
        out.DiscIdentification = s.discId;
        std::memcpy(out.DiscBarCode, s.barCode, sizeof out.DiscBarCode);
        out.DiscApplicationCode = s.appCode;
    } else {
        out.DiscTypeCode = isCdProfile(s.profile) ? 0x00 : 0xFF;
    }

    switch (s.media) {
    case Media::Blank:
        out.DiscStatus = SB_DISC_STATUS_BLANK;
        out.LastSessionStatus = SB_SESSION_STATUS_EMPTY;
        break;
    case Media::Appendable:
        out.DiscStatus = SB_DISC_STATUS_APPENDABLE;
        if ((s.damage & 1) != 0 || s.damage == 3) {
            out.LastSessionStatus = SB_SESSION_STATUS_DAMAGED;
        } else if (s.incompleteSessions > 0) {
            out.LastSessionStatus = SB_SESSION_STATUS_INCOMPLETE;
        } else {
            out.LastSessionStatus = SB_SESSION_STATUS_EMPTY;
        }
        break;
    case Media::Full:
        out.DiscStatus = SB_DISC_STATUS_COMPLETE;
        out.LastSessionStatus = SB_SESSION_STATUS_COMPLETE;
        break;
    default:
        out.DiscStatus = SB_DISC_STATUS_OTHER;
        out.LastSessionStatus = SB_SESSION_STATUS_COMPLETE;
        break;
    }

    // As a drive counts: a writable disc's empty next session counts too, and
    // the last session's tracks include the next, invisible one.
    const uint8_t last = lastTrackNumber(s);
    if (s.tracks.empty()) {
        out.NumberOfSessions = 1;
        out.FirstTrackInLastSession = 1;
        out.LastTrackInLastSession = 1;
    } else if (s.writable() && s.incompleteSessions == 0) {
        out.NumberOfSessions = static_cast<uint8_t>(s.completeSessions + 1);
        out.FirstTrackInLastSession = static_cast<uint8_t>(last + 1);
        out.LastTrackInLastSession = static_cast<uint8_t>(last + 1);
    } else {
        out.NumberOfSessions = static_cast<uint8_t>(s.completeSessions + s.incompleteSessions);
        out.FirstTrackInLastSession = firstTrackOfLastSession(s);
        out.LastTrackInLastSession = static_cast<uint8_t>(s.writable() ? last + 1 : last);
    }
    out.LastSessionLeadInStart = s.writable() ? (s.nwaValid ? s.nwa : s.nextTrackStart) : 0;
    if (s.writable()) {
        const uint64_t start = isOverwritable(s.profile, s.role) ? 0 : s.nwa;
        out.LastPossibleLeadOutStart = clampBlocks(start + s.availableBytes / 2048);
    } else {
        out.LastPossibleLeadOutStart = usedBlocksOf(s);
    }
}

bool fillTrackInformation(const DiscState& s, uint32_t trackNumber, SB_TRACK_INFORMATION& out) {
    std::memset(&out, 0, sizeof out);
    const uint8_t last = lastTrackNumber(s);
    if (trackNumber == SB_TRACK_NUMBER_INVISIBLE ||
        trackNumber == static_cast<uint32_t>(last) + 1) {
        // The next track to be written.
        out.Valid = 1;
        out.TrackNumber = static_cast<uint8_t>(last + 1);
        out.SessionNumber = static_cast<uint8_t>(s.completeSessions + 1);
        out.TrackMode = 4;
        out.DataMode = 1;
        out.TrackStartAddress = s.nwaValid ? s.nwa : s.nextTrackStart;
        if (s.writable()) {
            out.Blank = 1;
            out.NextWritableAddressValid = s.nwaValid ? 1 : 0;
            out.NextWritableAddress = s.nwaValid ? s.nwa : 0;
            out.FreeBlocks = freeBlocksOf(s);
            out.TrackSize = out.FreeBlocks;
        }
        return true;
    }
    for (const auto& t : s.tracks) {
        if (t.number != trackNumber) {
            continue;
        }
        out.Valid = 1;
        out.TrackNumber = t.number;
        out.SessionNumber = t.session;
        out.TrackMode = t.control;
        out.DataMode = (t.control & 4) != 0 ? 1 : 0x0F;
        out.Damage = t.damaged ? 1 : 0;
        out.Copy = (t.control & 2) != 0 ? 1 : 0;
        out.TrackStartAddress = t.start;
        out.TrackSize = t.blocks;
        return true;
    }
    return false;
}

void fillTocInformation(const DiscState& s, SB_TOC_INFORMATION& out) {
    std::memset(&out, 0, sizeof out);
    if (s.tracks.empty()) {
        return; // a blank disc has no table of contents
    }
    out.Valid = 1;
    out.FirstTrackNumber = s.tracks.front().number;
    out.LastTrackNumber = s.tracks.back().number;
    out.NumberOfSessions =
        static_cast<uint8_t>(std::max(s.completeSessions + s.incompleteSessions, 1));
    out.FirstTrackInLastSession = firstTrackOfLastSession(s);
    out.LeadOutStartAddress = s.leadOut;
    const size_t count = std::min<size_t>(s.tracks.size(), SB_TOC_MAX_ENTRIES);
    out.NumberOfEntries = static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; ++i) {
        const TocTrack& t = s.tracks[i];
        out.Entries[i].SessionNumber = t.session;
        out.Entries[i].TrackNumber = t.number;
        out.Entries[i].AdrControl = static_cast<uint8_t>((t.adr << 4) | (t.control & 0x0F));
        out.Entries[i].TrackMode = (t.control & 4) != 0 ? 1 : 0;
        out.Entries[i].StartAddress = t.start;
    }
}

DiscSpace spaceOf(const DiscState& s) {
    DiscSpace space;
    space.freeBlocks = freeBlocksOf(s);
    space.freeBytes = s.writable() ? s.availableBytes / 2048 * 2048 : 0;
    space.usedBytes = static_cast<uint64_t>(usedBlocksOf(s)) * 2048;
    return space;
}

} // namespace starburn::lb
