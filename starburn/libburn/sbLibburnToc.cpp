// SPDX-License-Identifier: GPL-2.0-or-later
// What a drive's disc holds as libburn reads it: the table of contents, the
// CD's own information and the ISO volume's label.
#include "starburn/core/sbVolumeDescriptor.h"
#include "starburn/libburn/sbLibburnDriveParts.h"

#include <libburn/libburn.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace starburn::lb {
namespace {

using namespace burn;

RawTocEntry rawEntry(const burn_toc_entry& e) {
    RawTocEntry r;
    r.point = e.point;
    r.adr = e.adr;
    r.control = e.control;
    r.extensionsValid = e.extensions_valid;
    r.startLba = e.start_lba;
    r.trackBlocks = e.track_blocks;
    r.msfLba = burn_msf_to_lba(e.pmin, e.psec, e.pframe);
    r.trackStatusBits = e.track_status_bits;
    return r;
}

} // namespace

void readToc(burn::burn_drive* d, RawDisc& raw) {
    burn_disc* disc = burn_drive_get_disc(d);
    if (disc == nullptr) {
        return;
    }
    int complete = 0;
    burn_session** sessions = burn_disc_get_sessions(disc, &complete);
    const int incomplete = burn_disc_get_incomplete_sessions(disc);
    for (int i = 0; sessions != nullptr && i < complete + incomplete; ++i) {
        RawSession session;
        session.complete = i < complete;
        int count = 0;
        burn_track** tracks = burn_session_get_tracks(sessions[i], &count);
        for (int k = 0; tracks != nullptr && k < count; ++k) {
            burn_toc_entry e{};
            burn_track_get_entry(tracks[k], &e);
            RawTocEntry r = rawEntry(e);
            r.sectors = burn_track_get_sectors(tracks[k]);
            session.tracks.push_back(r);
        }
        if (session.complete) {
            burn_toc_entry leadOut{};
            burn_session_get_leadout_entry(sessions[i], &leadOut);
            session.leadOut = rawEntry(leadOut);
        }
        raw.sessions.push_back(std::move(session));
    }
    burn_disc_free(disc);
}

void readCdInfo(burn::burn_drive* d, DiscState& s) {
    char type[80] = {};
    unsigned int id = 0;
    char bar[9] = {};
    int app = 0;
    int valid = 0;
    if (burn_disc_get_cd_info(d, type, &id, bar, &app, &valid) <= 0) {
        return;
    }
    s.cdInfoValid = true;
    if ((valid & 1) != 0) {
        if (std::strcmp(type, "CD-I") == 0) {
            s.discTypeCode = 0x10;
        } else if (std::strcmp(type, "CD-ROM XA") == 0) {
            s.discTypeCode = 0x20;
        } else if (std::strcmp(type, "CD-DA or CD-ROM") == 0) {
            s.discTypeCode = 0x00;
        }
    } else {
        s.discTypeCode = 0x00;
    }
    if ((valid & 2) != 0) {
        s.discId = id;
    }
    if ((valid & 8) != 0) {
        s.appCode = static_cast<uint8_t>(app);
    }
    if ((valid & 4) != 0) {
        // Eight hex digits: the four bytes of the bar code the drive read.
        for (int i = 0; i < 4; ++i) {
            unsigned value = 0;
            if (std::sscanf(bar + 2 * i, "%2x", &value) == 1) {
                s.barCode[i] = static_cast<uint8_t>(value);
            }
        }
    }
}

std::string readVolumeLabel(burn::burn_drive* d, const DiscState& s) {
    const bool overwritable = isOverwritable(s.profile, s.role);
    if (s.role == Role::StdioSequential || s.role == Role::StdioWriteOnly) {
        return {}; // nothing to read back
    }
    if (!(s.media == Media::Full || s.media == Media::Appendable ||
          (overwritable && s.media == Media::Blank))) {
        return {};
    }
    int start = 0;
    if (!overwritable && burn_disc_get_msc1(d, &start) <= 0) {
        start = 0;
    }
    std::unique_ptr<char[]> block(new char[2048]);
    off_t count = 0;
    // Quietly: a blank overwritable medium simply has no descriptor there.
    if (burn_read_data(d, static_cast<off_t>(start + 16) * 2048, block.get(), 2048, &count,
                       2 | 4 | 8) <= 0 ||
        count < 2048) {
        return {};
    }
    return readPrimaryVolume(reinterpret_cast<const unsigned char*>(block.get()), 2048).identifier;
}

} // namespace starburn::lb
