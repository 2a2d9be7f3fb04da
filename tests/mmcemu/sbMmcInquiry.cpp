// SPDX-License-Identifier: GPL-2.0-or-later
// What the drive tells about itself and its disc: INQUIRY, GET
// CONFIGURATION, mode pages, disc and track information, TOC and ATIP,
// capacities, performance, events, disc structures; and the small controls
// beside them (speed, tray, lock, OPC).
#include "tests/mmcemu/sbMmcDrive.h"

#include <algorithm>
#include <cstring>

namespace sbmmc {

namespace {

// ATIP start of the lead-in of the emulated CD-R/RW (97:26:66, -11634).
constexpr int32_t kAtipLeadIn = -11634;

std::vector<uint8_t> feature(int code, int version, bool persistent, bool current,
                             std::vector<uint8_t> payload) {
    std::vector<uint8_t> f(4);
    put16(f.data(), static_cast<uint32_t>(code));
    f[2] = static_cast<uint8_t>((version << 2) | (persistent ? 2 : 0) | (current ? 1 : 0));
    f[3] = static_cast<uint8_t>(payload.size());
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

void putPadded(uint8_t* p, const std::string& text, size_t width) {
    std::memset(p, ' ', width);
    std::memcpy(p, text.data(), std::min(width, text.size()));
}

constexpr int kProfiles[] = {0x43, 0x41, 0x40, 0x2B, 0x1B, 0x1A, 0x15, 0x14,
                             0x13, 0x12, 0x11, 0x10, 0x0A, 0x09, 0x08};

} // namespace

Sense Drive::inquiry(Command& c) {
    if (c.cdb[1] & 1) {
        return sense(5, 0x24, 0); // vital product data pages are not modelled
    }
    const size_t allocation = be16(c.cdb + 3);
    if (replay_ && !replay_->inquiry.empty()) {
        reply(c, replay_->inquiry, allocation);
        return Sense{};
    }
    std::vector<uint8_t> d(36);
    d[0] = 0x05; // CD/DVD device
    d[1] = 0x80; // removable
    d[3] = 0x02;
    d[4] = 31;
    putPadded(&d[8], config_.vendor, 8);
    putPadded(&d[16], config_.product, 16);
    putPadded(&d[32], config_.revision, 4);
    reply(c, d, allocation);
    return Sense{};
}

Sense Drive::requestSense(Command& c) {
    if (c.cdb[1] & 1) {
        return sense(5, 0x24, 0); // descriptor format sense is not modelled
    }
    Sense s;
    if (unitAttention_) {
        unitAttention_ = false;
        s = sense(6, 0x28, 0);
    } else if (!discPresent()) {
        s = notPresent();
    } else if (notReadyLeft_ > 0) {
        s = sense(2, 0x04, config_.faults.notReadyAscq);
    }
    std::vector<uint8_t> d(18);
    d[0] = 0x70;
    d[2] = s.key;
    d[7] = 10;
    d[12] = s.asc;
    d[13] = s.ascq;
    reply(c, d, c.cdb[4]);
    return Sense{};
}

std::vector<std::vector<uint8_t>> Drive::features() const {
    const Layout& l = disc();
    const int profile = discPresent() ? l.profile() : 0;
    std::vector<std::vector<uint8_t>> out;
    if (replay_) {
        if (auto it = replay_->configuration.find(profile); it != replay_->configuration.end()) {
            const auto& r = it->second;
            for (size_t i = 8; i + 4 <= r.size(); i += 4 + r[i + 3]) {
                const size_t end = std::min(r.size(), i + 4 + r[i + 3]);
                out.emplace_back(r.begin() + static_cast<long>(i),
                                 r.begin() + static_cast<long>(end));
            }
            return out;
        }
    }
    const Medium m = discPresent() ? l.medium : Medium::None;
    const bool cd = isCd(m);
    const bool dvd = isDvd(m);
    const bool bd = isBd(m);
    const bool open = discPresent() && !l.finalized;
    const bool dvdMinus = (m == Medium::DvdR || m == Medium::DvdRw) && !l.restricted;

    std::vector<uint8_t> profiles;
    for (int p : kProfiles) {
        profiles.push_back(static_cast<uint8_t>(p >> 8));
        profiles.push_back(static_cast<uint8_t>(p));
        profiles.push_back(p == profile ? 1 : 0);
        profiles.push_back(0);
    }
    const uint8_t blocking = bd ? 32 : dvd ? 16 : 1;
    const uint32_t lastBlock = static_cast<uint32_t>(std::max<int64_t>(l.capacity - 1, 0));
    std::vector<uint8_t> randomWritable(12);
    put32(&randomWritable[0], lastBlock);
    put32(&randomWritable[4], 2048);
    randomWritable[9] = blocking;
    std::vector<uint8_t> randomReadable(8);
    put32(&randomReadable[0], 2048);
    randomReadable[5] = blocking;
    std::string serial = "EMU" + std::to_string(config_.number);
    serial.resize((serial.size() + 3) / 4 * 4, ' ');

    out.push_back(feature(0x0000, 0, true, true, profiles));
    out.push_back(feature(0x0001, 2, true, true, {0, 0, 0, 7, 0x03, 0, 0, 0}));
    out.push_back(feature(0x0002, 1, true, true, {0x02, 0, 0, 0}));
    out.push_back(feature(0x0003, 2, true, true, {0x29, 0, 0, 0}));
    out.push_back(feature(0x0010, 0, false, discPresent(), randomReadable));
    out.push_back(feature(0x001D, 0, false, cd, {}));
    out.push_back(feature(0x001E, 2, false, cd, {0, 0, 0, 0}));
    out.push_back(feature(0x001F, 1, false, dvd, {0x01, 0, 0, 0}));
    out.push_back(feature(0x0020, 1, false,
                          (m == Medium::DvdRam || m == Medium::BdRe) && l.formatted,
                          randomWritable));
    out.push_back(feature(0x0021, 1, false, dvdMinus && open && !l.quickBlanked,
                          {0x01, 0x00, 0x01, 1, 16, 0, 0, 0}));
    const bool formattable = m == Medium::DvdPlusRw || m == Medium::DvdRw || m == Medium::DvdRam ||
                             m == Medium::BdRe || (m == Medium::BdR && l.blank() && !l.formatted);
    out.push_back(
        feature(0x0023, 0, false, formattable, {uint8_t(bd ? 0x08 : 0), 0, 0, 0, 0, 0, 0, 0}));
    out.push_back(
        feature(0x0024, 1, false, m == Medium::DvdRam || (bd && l.spareAreas), {0x80, 0, 0, 0}));
    out.push_back(feature(0x0026, 0, false, m == Medium::DvdRw && l.restricted, {}));
    out.push_back(feature(0x0027, 0, false, m == Medium::CdRw, {0, 0, 0, 0}));
    out.push_back(feature(0x0028, 1, false, false, {0, 0, 0, 0}));
    out.push_back(feature(0x002A, 1, false, m == Medium::DvdPlusRw, {0x01, 0, 0, 0}));
    out.push_back(
        feature(0x002B, 0, false, m == Medium::DvdPlusR && l.layers == 1, {0x01, 0, 0, 0}));
    out.push_back(feature(0x002C, 1, false, m == Medium::DvdRw && l.restricted, {0x01, 0, 0, 0}));
    out.push_back(feature(0x002D, 2, false, cd && open, {0x44, 0, 0x01, 0x01}));
    out.push_back(feature(0x002E, 1, false, cd && open, {0x64, 0x00, 0x0F, 0xFF}));
    // 08h: RDL, double-layer DVD-R.
    out.push_back(feature(0x002F, 1, false, dvdMinus && open,
                          {static_cast<uint8_t>(l.layers == 2 ? 0x4E : 0x46), 0, 0, 0}));
    out.push_back(feature(0x0033, 0, false, false, {0, 0, 0, 0}));
    out.push_back(feature(0x0037, 0, false, m == Medium::CdRw, {0, 0x3F, 0, 0}));
    out.push_back(feature(0x0038, 0, false, false, {0, 0, 0, 0}));
    out.push_back(feature(0x003A, 1, false, false, {0, 0, 0, 0}));
    out.push_back(
        feature(0x003B, 0, false, m == Medium::DvdPlusR && l.layers == 2, {0x01, 0, 0, 0}));
    std::vector<uint8_t> bdRead(28);
    bdRead[5] = 0x0E;  // BD-RE class 0, versions 1 to 3
    bdRead[13] = 0x0E; // BD-R
    bdRead[21] = 0x0E; // BD-ROM
    out.push_back(feature(0x0040, 1, false, bd, bdRead));
    std::vector<uint8_t> bdWrite(24);
    bdWrite[0] = 0x01;
    bdWrite[5] = 0x0E;
    bdWrite[13] = 0x0E;
    out.push_back(feature(0x0041, 2, false, bd && open, bdWrite));
    out.push_back(feature(0x0107, 4, true, true, {0x1F, 0, 0, 0}));
    out.push_back(
        feature(0x0108, 0, true, true, std::vector<uint8_t>(serial.begin(), serial.end())));
    return out;
}

Sense Drive::getConfiguration(Command& c) {
    const int rt = c.cdb[1] & 3;
    const int start = be16(c.cdb + 2);
    if (rt == 3) {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> out(8);
    for (const auto& f : features()) {
        const int code = be16(f.data());
        const bool current = f[2] & 1;
        if ((rt == 2 && code == start) || (rt == 1 && code >= start && current) ||
            (rt == 0 && code >= start)) {
            out.insert(out.end(), f.begin(), f.end());
        }
    }
    put32(out.data(), static_cast<uint32_t>(out.size() - 4));
    put16(out.data() + 6, static_cast<uint32_t>(discPresent() ? disc().profile() : 0));
    reply(c, out, be16(c.cdb + 7));
    return Sense{};
}

std::vector<int> Drive::speeds() const {
    if (!config_.speeds.empty()) {
        return config_.speeds;
    }
    const Medium m = layout_.present() ? layout_.medium : Medium::CdR;
    return defaultSpeeds(m);
}

std::vector<uint8_t> Drive::page2A() const {
    if (replay_ && discPresent()) {
        if (auto it = replay_->page2A.find(disc().profile()); it != replay_->page2A.end()) {
            return it->second;
        }
    }
    auto offered = speeds();
    std::reverse(offered.begin(), offered.end());
    std::vector<uint8_t> p(32 + 4 * offered.size());
    const int fastest = offered.empty() ? 0 : offered.front();
    const int reading = readSpeed_ > 0 ? readSpeed_ : fastest * 2;
    p[0] = 0x2A;
    p[1] = static_cast<uint8_t>(p.size() - 2);
    p[2] = 0x3F; // reads CD-R, CD-RW, DVD-ROM, -R, -RAM
    p[3] = 0x37; // writes CD-R, CD-RW, DVD-R, -RAM, test write
    p[4] = 0xC0; // underrun protection, multi-session
    p[5] = 0x03; // CD-DA commands, accurate stream
    p[6] = static_cast<uint8_t>(0x29 | (preventRemoval_ ? 0x02 : 0)); // tray, eject, lock
    put16(&p[8], static_cast<uint32_t>(reading));
    put16(&p[12], static_cast<uint32_t>(config_.bufferKb));
    put16(&p[14], static_cast<uint32_t>(reading));
    put16(&p[18], static_cast<uint32_t>(fastest));
    put16(&p[20], static_cast<uint32_t>(writeSpeed_));
    put16(&p[28], static_cast<uint32_t>(writeSpeed_));
    put16(&p[30], static_cast<uint32_t>(offered.size()));
    for (size_t i = 0; i < offered.size(); ++i) {
        put16(&p[32 + 4 * i + 2], static_cast<uint32_t>(offered[i]));
    }
    return p;
}

std::vector<uint8_t> Drive::page05(int control) const {
    std::vector<uint8_t> p(page05_.begin(), page05_.end());
    if (control == 1) {
        std::fill(p.begin() + 2, p.end(), 0xFF);
        p[2] = 0x7F;
        p[4] = 0x0F;
        p[6] = 0;
        p[9] = 0;
    } else if (control == 2) {
        std::fill(p.begin() + 2, p.end(), 0);
        p[2] = 0x01;
        p[3] = 0x04;
        p[4] = 0x08;
        p[15] = 150;
    }
    return p;
}

Sense Drive::modeSense(Command& c) {
    const int control = c.cdb[2] >> 6;
    const int page = c.cdb[2] & 0x3F;
    if (control == 3) {
        return sense(5, 0x39, 0); // saved pages are not kept
    }
    if (c.cdb[3] != 0) {
        return sense(5, 0x24, 0);
    }
    std::vector<int> pages;
    if (page == 0x3F) {
        pages = {0x01, 0x05, 0x2A};
    } else if (page == 0x01 || page == 0x05 || page == 0x2A) {
        pages = {page};
    } else {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> out(8);
    for (int p : pages) {
        std::vector<uint8_t> bytes;
        if (p == 0x01) {
            bytes.assign(page01_.begin(), page01_.end());
            if (control == 1) {
                std::fill(bytes.begin() + 2, bytes.end(), 0);
                bytes[3] = 0xFF;
                bytes[8] = 0xFF;
            }
        } else if (p == 0x05) {
            bytes = page05(control);
        } else {
            bytes = page2A();
            if (control == 1) {
                std::fill(bytes.begin() + 2, bytes.end(), 0);
            }
        }
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    put16(out.data(), static_cast<uint32_t>(out.size() - 2));
    reply(c, out, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::readDiscInformation(Command& c) {
    if ((c.cdb[1] & 7) != 0) {
        return sense(5, 0x24, 0); // only standard disc information
    }
    const Layout& l = disc();
    std::vector<uint8_t> d(34);
    put16(d.data(), 32);
    int status = 0;
    int lastSession = 0;
    int sessions = 1;
    int firstTrack = 1;
    int lastTrack = 1;
    if (l.overwritable()) {
        status = !l.formatted                                               ? 0
                 : (l.medium == Medium::DvdRam || l.medium == Medium::BdRe) ? 3
                                                                            : 2;
        lastSession = l.formatted ? 3 : 0;
    } else {
        status = l.finalized ? 2 : l.blank() ? 0 : 1;
        const bool openHasTracks = !l.tracks.empty() && l.tracks.back().session == l.openSession();
        lastSession = l.finalized ? 3 : openHasTracks ? 1 : 0;
        sessions = l.finalized ? l.closedSessions : l.openSession();
        firstTrack = l.firstTrackInSession(sessions);
        lastTrack = static_cast<int>(l.tracks.size()) + (l.hasInvisibleTrack() ? 1 : 0);
    }
    d[2] = static_cast<uint8_t>((isErasable(l.medium) ? 0x10 : 0) | (lastSession << 2) | status);
    d[3] = 1;
    d[4] = static_cast<uint8_t>(sessions);
    d[9] = static_cast<uint8_t>(sessions >> 8);
    d[5] = static_cast<uint8_t>(firstTrack);
    d[10] = static_cast<uint8_t>(firstTrack >> 8);
    d[6] = static_cast<uint8_t>(lastTrack);
    d[11] = static_cast<uint8_t>(lastTrack >> 8);
    d[7] = 0x20; // unrestricted use
    if (l.medium == Medium::DvdPlusRw) {
        d[7] |= l.formatted ? 3 : 0; // background format complete
    }
    if (l.finalized) {
        put32(&d[16], 0xFFFFFFFF);
        put32(&d[20], 0xFFFFFFFF);
    } else if (isCd(l.medium)) {
        const int32_t leadIn = l.blank() ? kAtipLeadIn : l.sessionStart(l.openSession()) - 4650;
        putMsf(&d[17], leadIn);
        putMsf(&d[21], l.lastPossibleEnd());
    } else if (!l.overwritable()) {
        put32(&d[16], static_cast<uint32_t>(l.sessionStart(l.openSession())));
        put32(&d[20], static_cast<uint32_t>(l.lastPossibleEnd()));
    }
    reply(c, d, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::readTrackInformation(Command& c) {
    const Layout& l = disc();
    const int kind = c.cdb[1] & 3;
    const uint32_t number = be32(c.cdb + 2);
    const int tracks = static_cast<int>(l.tracks.size());
    int n = 0; // the track, 1-based; tracks + 1 is the invisible one
    if (l.overwritable()) {
        if (!((kind == 1 && (number == 1 || number == 0xFF)) || (kind == 2 && number == 1) ||
              (kind == 0 && number < static_cast<uint32_t>(std::max<int64_t>(l.capacity, 1))))) {
            return sense(5, 0x24, 0);
        }
        n = 1;
    } else if (kind == 1) {
        if (number == 0xFF) {
            const Track* open = l.openTrack();
            n = open != nullptr && open->reserved == 0 ? tracks : tracks + 1;
        } else {
            n = static_cast<int>(number);
        }
    } else if (kind == 2) {
        n = number == static_cast<uint32_t>(l.openSession()) && !l.finalized
                ? l.firstTrackInSession(l.openSession())
                : (number >= 1 && number <= static_cast<uint32_t>(l.closedSessions)
                       ? l.firstTrackInSession(static_cast<int>(number))
                       : 0);
    } else {
        const auto lba = static_cast<int32_t>(number);
        for (int i = 0; i < tracks; ++i) {
            if (lba >= l.tracks[i].start && lba < l.tracks[i].end()) {
                n = i + 1;
            }
        }
        if (n == 0 && l.hasInvisibleTrack() && lba >= l.invisibleStart() &&
            lba < l.lastPossibleEnd()) {
            n = tracks + 1;
        }
    }
    const bool invisible = !l.overwritable() && n == tracks + 1 && l.hasInvisibleTrack();
    if (!l.overwritable() && (n < 1 || (n > tracks && !invisible))) {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> d(36);
    put16(d.data(), 34);
    int session = 1;
    int32_t start = 0, nwa = 0, free = 0, size = 0, lastRecorded = 0;
    bool nwaValid = false, lraValid = false, blank = false, reserved = false;
    int mode = isCd(l.medium) ? (page05_[3] & 0x0F) : 5;
    if (l.overwritable()) {
        size = static_cast<int32_t>(l.capacity);
        free = l.formatted ? size : 0;
        nwaValid = true;
        blank = !l.formatted;
        mode = 4;
    } else if (invisible) {
        session = l.openSession();
        start = nwa = l.invisibleStart();
        free = size = l.lastPossibleEnd() - start;
        nwaValid = blank = true;
    } else {
        const Track& t = l.tracks[n - 1];
        session = t.session;
        start = t.start;
        mode = t.control;
        reserved = t.reserved > 0;
        lraValid = t.recorded > 0;
        lastRecorded = t.start + t.recorded - 1;
        blank = t.recorded == 0;
        if (t.closed) {
            size = t.userBlocks() + t.tail;
        } else {
            nwa = t.start + t.recorded;
            nwaValid = !reserved || t.recorded < t.reserved;
            free = reserved ? t.reserved - t.recorded : l.lastPossibleEnd() - nwa;
            size = reserved ? t.reserved : t.recorded + free;
        }
    }
    d[2] = static_cast<uint8_t>(n);
    d[32] = static_cast<uint8_t>(n >> 8);
    d[3] = static_cast<uint8_t>(session);
    d[33] = static_cast<uint8_t>(session >> 8);
    d[5] = static_cast<uint8_t>(mode & 0x0F);
    d[6] = static_cast<uint8_t>((reserved ? 0x80 : 0) | (blank ? 0x40 : 0) | (blank ? 0x0F : 0x01));
    d[7] = static_cast<uint8_t>((lraValid ? 2 : 0) | (nwaValid ? 1 : 0));
    put32(&d[8], static_cast<uint32_t>(start));
    put32(&d[12], static_cast<uint32_t>(nwaValid ? nwa : 0));
    put32(&d[16], static_cast<uint32_t>(free));
    put32(&d[20], isDvd(l.medium) ? 16u : 0u);
    put32(&d[24], static_cast<uint32_t>(size));
    put32(&d[28], static_cast<uint32_t>(lraValid ? lastRecorded : 0));
    reply(c, d, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::readToc(Command& c) {
    const Layout& l = disc();
    const bool msf = c.cdb[1] & 2;
    const int format = c.cdb[2] & 0x0F;
    const int first = c.cdb[6];
    const size_t allocation = be16(c.cdb + 7);
    const bool cd = isCd(l.medium);
    std::vector<uint8_t> d(4);
    auto address = [&](uint8_t* p, int32_t lba) {
        if (msf) {
            p[0] = 0;
            putMsf(p + 1, lba);
        } else {
            put32(p, static_cast<uint32_t>(lba));
        }
    };

    if (format == 4) { // ATIP
        if (!cd) {
            return sense(5, 0x24, 0);
        }
        d.resize(28);
        put16(d.data(), 26);
        d[4] = 0x80 | (4 << 4) | 2;
        d[5] = 0x40;
        d[6] = static_cast<uint8_t>(0x80 | (l.medium == Medium::CdRw ? 0x40 : 0));
        putMsf(&d[8], kAtipLeadIn);
        putMsf(&d[12], l.lastPossibleEnd());
        reply(c, d, allocation);
        return Sense{};
    }
    if (format > 2) {
        return sense(5, 0x24, 0); // PMA and CD-TEXT are not modelled
    }
    // The tracks a TOC shows: those of closed sessions on CD, every closed one
    // elsewhere; a random-access disc shows its one track.
    std::vector<Track> shown;
    if (l.overwritable()) {
        if (l.formatted) {
            Track t;
            t.recorded = static_cast<int32_t>(l.capacity);
            t.closed = true;
            shown.push_back(t);
        }
    } else {
        for (const auto& t : l.tracks) {
            if (cd ? t.session <= l.closedSessions : t.closed) {
                shown.push_back(t);
            }
        }
    }
    if (shown.empty()) {
        return sense(5, 0x24, 0); // no table of contents yet
    }
    const int lastTrack = static_cast<int>(shown.size());
    const int lastSession = shown.back().session;
    auto control = [](const Track& t) { return static_cast<uint8_t>(0x10 | (t.control & 0x0F)); };

    if (format == 0) {
        if (first > lastTrack && first != 0xAA) {
            return sense(5, 0x24, 0);
        }
        d[2] = 1;
        d[3] = static_cast<uint8_t>(lastTrack);
        for (int i = 0; i < lastTrack; ++i) {
            if (i + 1 < first) {
                continue;
            }
            uint8_t e[8] = {0, control(shown[i]), static_cast<uint8_t>(i + 1), 0};
            address(e + 4, shown[i].start);
            d.insert(d.end(), e, e + 8);
        }
        uint8_t e[8] = {0, control(shown.back()), 0xAA, 0};
        address(e + 4, shown.back().end());
        d.insert(d.end(), e, e + 8);
    } else if (format == 1) {
        int firstOfLast = 0;
        for (int i = lastTrack; i >= 1 && shown[i - 1].session == lastSession; --i) {
            firstOfLast = i;
        }
        d[2] = 1;
        d[3] = static_cast<uint8_t>(lastSession);
        uint8_t e[8] = {0, control(shown[firstOfLast - 1]), static_cast<uint8_t>(firstOfLast), 0};
        address(e + 4, shown[firstOfLast - 1].start);
        d.insert(d.end(), e, e + 8);
    } else {
        if (!cd) {
            return sense(5, 0x24, 0);
        }
        d[2] = 1;
        d[3] = static_cast<uint8_t>(lastSession);
        auto entry = [&](int session, uint8_t adrControl, uint8_t point, int32_t atime, int zero,
                         int32_t ptime, bool ptimeIsMsf) {
            uint8_t e[11] = {static_cast<uint8_t>(session), adrControl, 0, point};
            if (atime != INT32_MIN) {
                putMsf(e + 4, atime);
            }
            e[7] = static_cast<uint8_t>(zero);
            if (ptimeIsMsf) {
                putMsf(e + 8, ptime);
            } else {
                e[8] = static_cast<uint8_t>(ptime);
            }
            d.insert(d.end(), e, e + 11);
        };
        for (int s = 1; s <= lastSession; ++s) {
            int firstNo = 0, lastNo = 0;
            for (int i = 0; i < lastTrack; ++i) {
                if (shown[i].session == s) {
                    firstNo = firstNo ? firstNo : i + 1;
                    lastNo = i + 1;
                }
            }
            if (firstNo == 0) {
                continue;
            }
            entry(s, control(shown[firstNo - 1]), 0xA0, INT32_MIN, 0, firstNo, false);
            entry(s, control(shown[lastNo - 1]), 0xA1, INT32_MIN, 0, lastNo, false);
            entry(s, control(shown[lastNo - 1]), 0xA2, INT32_MIN, 0, l.leadOut(s), true);
            for (int i = firstNo; i <= lastNo; ++i) {
                entry(s, control(shown[i - 1]), static_cast<uint8_t>(i), INT32_MIN, 0,
                      shown[i - 1].start, true);
            }
            const bool another = s < l.closedSessions || !l.finalized;
            if (another) {
                // Where the next session may start, and the last possible lead-out.
                entry(s, 0x50 | (control(shown[lastNo - 1]) & 0x0F), 0xB0, l.sessionStart(s + 1), 1,
                      l.lastPossibleEnd(), true);
                if (s == 1) {
                    entry(s, 0x50 | (control(shown[lastNo - 1]) & 0x0F), 0xC0, INT32_MIN, 0,
                          kAtipLeadIn, true);
                }
            }
        }
    }
    put16(d.data(), static_cast<uint32_t>(d.size() - 2));
    reply(c, d, allocation);
    return Sense{};
}

Sense Drive::readCapacity(Command& c) {
    std::vector<uint8_t> d(8);
    put32(&d[0], static_cast<uint32_t>(std::max(disc().readableEnd() - 1, 0)));
    put32(&d[4], 2048);
    reply(c, d, 8);
    return Sense{};
}

std::vector<FormatDescriptor> Drive::formats(FormatDescriptor& current) const {
    const Layout& l = disc();
    std::vector<FormatDescriptor> list;
    const auto raw = static_cast<uint32_t>(l.rawCapacity);
    current = {static_cast<uint32_t>(l.capacity), 2, 2048};
    if (!discPresent()) {
        current = {0, 3, 2048};
        return list;
    }
    // Spare areas a BD may be given: the default 768 MiB, more and less.
    const uint32_t spares[][2] = {{393216, 0x3000}, {655360, 0x5000}, {131072, 0x1000}};
    switch (l.medium) {
    case Medium::DvdPlusRw:
        current.type = l.formatted ? 2 : 1;
        list.push_back({raw, 0x26, 0});
        break;
    case Medium::DvdRw:
        current.type = l.restricted ? 2 : 1;
        list.push_back({raw, 0x00, 16});
        list.push_back({raw, 0x10, 16});
        list.push_back({raw, 0x15, 16});
        break;
    case Medium::DvdRam:
        current.type = l.formatted ? 2 : 1;
        list.push_back({raw, 0x00, 2048});
        break;
    case Medium::BdRe:
    case Medium::BdR:
        if (l.medium == Medium::BdR && (l.formatted || !l.blank())) {
            break; // a BD-R takes its format once, before anything is recorded
        }
        current.type = l.formatted ? 2 : 1;
        if (raw > 2 * spares[0][0]) {
            list.push_back({raw - spares[0][0], 0x00, spares[0][1]});
        }
        for (const auto& s : spares) {
            if (raw > 2 * s[0]) {
                list.push_back({raw - s[0], l.medium == Medium::BdRe ? 0x30 : 0x32, s[1]});
            }
        }
        if (l.medium == Medium::BdRe) {
            list.push_back({raw, 0x31, 2048});
        }
        break;
    default:
        break;
    }
    if (replay_) {
        auto it = replay_->formatCapacities.find({l.profile(), current.type});
        if (it != replay_->formatCapacities.end()) {
            const auto& r = it->second;
            list.clear();
            current = {be32(&r[4]), r[8] & 3, be32(&r[8]) & 0xFFFFFF};
            for (size_t i = 12; i + 8 <= r.size(); i += 8) {
                list.push_back({be32(&r[i]), r[i + 4] >> 2, be32(&r[i + 4]) & 0xFFFFFF});
            }
        }
    }
    return list;
}

Sense Drive::readFormatCapacities(Command& c) {
    FormatDescriptor current;
    const auto list = formats(current);
    std::vector<uint8_t> d(12);
    d[3] = static_cast<uint8_t>(8 + 8 * list.size());
    put32(&d[4], current.blocks);
    put32(&d[8], current.parameter);
    d[8] = static_cast<uint8_t>(current.type);
    for (const auto& f : list) {
        uint8_t e[8];
        put32(e, f.blocks);
        put32(e + 4, f.parameter);
        e[4] = static_cast<uint8_t>(f.type << 2);
        d.insert(d.end(), e, e + 8);
    }
    reply(c, d, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::getPerformance(Command& c) {
    const int type = c.cdb[10];
    const size_t most = be16(c.cdb + 8);
    const Layout& l = disc();
    const int32_t end = static_cast<int32_t>(std::max<int64_t>(l.capacity - 1, 0));
    const auto offered = speeds();
    const int reading = readSpeed_ > 0 ? readSpeed_ : (offered.empty() ? 0 : offered.back() * 2);
    std::vector<std::array<uint8_t, 16>> descriptors;
    if (type == 0x03) {
        for (auto it = offered.rbegin(); it != offered.rend(); ++it) {
            std::array<uint8_t, 16> e{};
            put32(&e[4], static_cast<uint32_t>(end));
            put32(&e[8], static_cast<uint32_t>(reading));
            put32(&e[12], static_cast<uint32_t>(*it));
            descriptors.push_back(e);
        }
    } else if (type == 0x00 && (c.cdb[1] & 0x1F) == 0x10) {
        std::array<uint8_t, 16> e{};
        put32(&e[4], static_cast<uint32_t>(reading));
        put32(&e[8], static_cast<uint32_t>(end));
        put32(&e[12], static_cast<uint32_t>(reading));
        descriptors.push_back(e);
    } else {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> d(8);
    put32(d.data(), static_cast<uint32_t>(4 + 16 * descriptors.size()));
    for (size_t i = 0; i < descriptors.size() && i < most; ++i) {
        d.insert(d.end(), descriptors[i].begin(), descriptors[i].end());
    }
    reply(c, d, c.dataLength);
    return Sense{};
}

Sense Drive::readBufferCapacity(Command& c) {
    std::vector<uint8_t> d(12);
    put16(d.data(), 10);
    const uint32_t bytes = static_cast<uint32_t>(config_.bufferKb) * 1024;
    if (c.cdb[1] & 1) {
        d[3] = 1;
        put32(&d[8], bytes / 2048);
    } else {
        put32(&d[4], bytes);
        put32(&d[8], bytes); // written at once: the buffer is always empty
    }
    reply(c, d, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::getEventStatus(Command& c) {
    if (!(c.cdb[1] & 1)) {
        return sense(5, 0x24, 0); // only polled notification
    }
    std::vector<uint8_t> d(4);
    d[3] = 0x10; // media events only
    if (c.cdb[4] & 0x10) {
        put16(d.data(), 6);
        d[2] = 0x04;
        d.push_back(static_cast<uint8_t>(mediaEvent_));
        d.push_back(static_cast<uint8_t>((discPresent() ? 2 : 0) | (layout_.trayOpen ? 1 : 0)));
        d.push_back(0);
        d.push_back(0);
        mediaEvent_ = 0;
    } else {
        put16(d.data(), 2);
        d[2] = 0x80; // no event available
    }
    reply(c, d, be16(c.cdb + 7));
    return Sense{};
}

Sense Drive::readDiscStructure(Command& c) {
    const Layout& l = disc();
    const int mediaType = c.cdb[1] & 0x0F;
    const int format = c.cdb[7];
    if (isCd(l.medium)) {
        return sense(5, 0x30, 0x02);
    }
    if ((mediaType == 1) != isBd(l.medium) && format != 0xFF) {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> p; // the payload after the 4-byte header
    const char* maker = "TAVRIN00";
    if (format == 0xFF) {
        const int codes[] = {0x00, 0x0A, 0x0E, 0x10, 0x11, 0xFF};
        for (int code : codes) {
            p.push_back(static_cast<uint8_t>(code));
            p.push_back(0x40);
            p.push_back(0);
            p.push_back(0);
        }
    } else if (format == 0x00 && isBd(l.medium)) {
        p.resize(112);
        p[0] = 'D';
        p[1] = 'I';
        p[2] = 1;
        std::memcpy(&p[8], l.medium == Medium::BdRe ? "BDW" : "BDR", 3);
        std::memcpy(&p[100], maker, 6);
        std::memcpy(&p[106], l.medium == Medium::BdRe ? "E01" : "R01", 3);
        p[12] = static_cast<uint8_t>(l.layers << 4); // the disc's layers
        p[111] = 1;
    } else if (format == 0x00 || format == 0x10) {
        p.resize(2048);
        int book = 0;
        switch (l.medium) {
        case Medium::DvdRam:
            book = 1;
            break;
        case Medium::DvdR:
            book = 2;
            break;
        case Medium::DvdRw:
            book = 3;
            break;
        case Medium::DvdPlusRw:
            book = 9;
            break;
        case Medium::DvdPlusR:
            book = l.layers == 2 ? 14 : 10;
            break;
        default:
            break;
        }
        p[0] = static_cast<uint8_t>(book << 4 | 1);
        p[1] = 0x0F;
        // Two layers in opposite track path: layer 0 ends half way.
        p[2] = static_cast<uint8_t>((l.layers == 2 ? 0x30 : 0) |
                                    (isWriteOnce(l.medium) ? 0x02 : 0x04));
        p[3] = 0x10;
        put32(&p[4], 0x030000);
        put32(&p[8], static_cast<uint32_t>(0x030000 + l.rawCapacity - 1));
        if (l.layers == 2) {
            put32(&p[12], static_cast<uint32_t>(0x030000 + l.rawCapacity / 2 - 1));
        }
        if (l.medium == Medium::DvdPlusR || l.medium == Medium::DvdPlusRw) {
            std::memcpy(&p[19], maker, 8);
            std::memcpy(&p[27], "R01", 3);
        }
    } else if (format == 0x0E && (l.medium == Medium::DvdR || l.medium == Medium::DvdRw)) {
        p.resize(32);
        p[16] = 3;
        std::memcpy(&p[17], maker, 6);
        p[24] = 4;
        std::memcpy(&p[25], "EMU-R1", 6);
    } else if (format == 0x11 && (l.medium == Medium::DvdPlusR || l.medium == Medium::DvdPlusRw)) {
        p.resize(256);
        std::memcpy(&p[19], maker, 8);
        std::memcpy(&p[27], "R01", 3);
    } else if (format == 0x0A && isBd(l.medium) && l.formatted) {
        p.resize(12);
        const auto spare = static_cast<uint32_t>(l.rawCapacity - l.capacity);
        put32(&p[4], spare);
        put32(&p[8], spare);
    } else {
        return sense(5, 0x24, 0);
    }
    std::vector<uint8_t> d(4);
    put16(d.data(), static_cast<uint32_t>(p.size() + 2));
    d.insert(d.end(), p.begin(), p.end());
    reply(c, d, be16(c.cdb + 8));
    return Sense{};
}

// The fastest offered speed not above the wish, or the slowest one.
static int chooseSpeed(const std::vector<int>& offered, uint32_t wish) {
    int chosen = offered.empty() ? 0 : offered.front();
    for (int s : offered) {
        if (static_cast<uint32_t>(s) <= wish) {
            chosen = s;
        }
    }
    return chosen;
}

Sense Drive::setCdSpeed(Command& c) {
    const uint32_t read = be16(c.cdb + 2);
    const uint32_t write = be16(c.cdb + 4);
    writeSpeed_ = chooseSpeed(speeds(), write == 0xFFFF ? UINT32_MAX : write);
    readSpeed_ = read == 0xFFFF ? 0 : static_cast<int>(read);
    return Sense{};
}

Sense Drive::setStreaming(Command& c) {
    if (c.cdb[8] != 0) {
        return sense(5, 0x24, 0); // only performance descriptors
    }
    const uint32_t length = be16(c.cdb + 9);
    if (length < 28 || c.dataLength < 28) {
        return sense(5, 0x1A, 0);
    }
    const uint8_t* p = c.data;
    const uint32_t start = be32(p + 4), end = be32(p + 8);
    const uint32_t readSize = be32(p + 12), readTime = be32(p + 16);
    const uint32_t writeSize = be32(p + 20), writeTime = be32(p + 24);
    if (end < start || readTime == 0 || writeTime == 0) {
        return sense(5, 0x26, 0);
    }
    const uint64_t write = uint64_t(writeSize) * 1000 / writeTime;
    writeSpeed_ =
        chooseSpeed(speeds(), static_cast<uint32_t>(std::min<uint64_t>(write, UINT32_MAX)));
    readSpeed_ = static_cast<int>(std::min<uint64_t>(uint64_t(readSize) * 1000 / readTime, 0xFFFF));
    return Sense{};
}

Sense Drive::preventAllow(Command& c) {
    preventRemoval_ = c.cdb[4] & 1;
    return Sense{};
}

Sense Drive::startStopUnit(Command& c) {
    const bool start = c.cdb[4] & 1;
    const bool loadEject = c.cdb[4] & 2;
    if ((c.cdb[4] >> 4) != 0 || !loadEject) {
        return Sense{}; // power conditions and the spindle: nothing to model
    }
    if (!start) {
        if (preventRemoval_) {
            return sense(5, 0x53, 0x02);
        }
        if (!layout_.trayOpen) {
            layout_.trayOpen = true;
            mediaEvent_ = 3;
            simulated_.reset();
            discAtOnce_.reset();
            dirty_ = true;
        }
    } else if (layout_.trayOpen) {
        layout_.trayOpen = false;
        dirty_ = true;
        mediumChanged();
    }
    return Sense{};
}

Sense Drive::sendOpc(Command&) {
    if (config_.faults.opcError) {
        return sense(5, 0x73, 0x03);
    }
    return Sense{};
}

} // namespace sbmmc
