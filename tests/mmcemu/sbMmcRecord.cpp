// SPDX-License-Identifier: GPL-2.0-or-later
// What the drive does to the disc: write parameters, writes and reads, the
// ends of tracks and sessions, reservations and cue sheets, blanking and
// formatting. Every refusal carries the sense a drive gives for it.
#include "tests/mmcemu/sbMmcDrive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sbmmc {

namespace {

int32_t msfToLba(int m, int s, int f) {
    const int32_t frames = (m * 60 + s) * 75 + f;
    return m < 90 ? frames - 150 : frames - 450150;
}

void sleepMs(int ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

} // namespace

Sense Drive::checkPage05(const uint8_t* p) const {
    const Layout& l = layout_;
    const int type = p[2] & 0x0F;
    const bool test = p[2] & 0x10;
    const int multi = p[3] >> 6;
    const int trackMode = p[3] & 0x0F;
    const int blockType = p[4] & 0x0F;
    const Sense invalid = sense(5, 0x26, 0);
    if (type > 4 || multi == 2) {
        return invalid;
    }
    if (!discPresent()) {
        return Sense{};
    }
    const bool dvdMinus = (l.medium == Medium::DvdR || l.medium == Medium::DvdRw) && !l.restricted;
    if (isCd(l.medium)) {
        // Track at once and session at once, with mode 1 data or audio;
        // packets, raw writing and mode 2 are not modelled.
        if (type != 1 && type != 2) {
            return invalid;
        }
        if (blockType != 8 && blockType != 0) {
            return invalid;
        }
        if (type == 1 && ((blockType == 8) != ((trackMode & 4) != 0))) {
            return invalid;
        }
        if (p[8] != 0x00 && p[8] != 0x20) {
            return invalid;
        }
    } else if (dvdMinus) {
        if ((type != 0 && type != 2) || blockType != 8) {
            return invalid;
        }
    } else if (test) {
        return invalid; // only CD and DVD-R/-RW know a test write
    }
    return Sense{};
}

Sense Drive::modeSelect(Command& c) {
    if (!(c.cdb[1] & 0x10) || (c.cdb[1] & 0x01)) {
        return sense(5, 0x24, 0); // pages as the standard has them, never saved
    }
    const uint32_t length = std::min<uint32_t>(be16(c.cdb + 7), c.dataLength);
    if (length < 8) {
        return length == 0 ? Sense{} : sense(5, 0x1A, 0);
    }
    if (be16(c.data + 6) != 0) {
        return sense(5, 0x26, 0); // no block descriptors
    }
    for (uint32_t at = 8; at < length;) {
        const uint8_t* p = c.data + at;
        if (at + 2 > length || at + 2 + p[1] > length) {
            return sense(5, 0x1A, 0);
        }
        const int code = p[0] & 0x3F;
        if (code == 0x01) {
            if (p[1] != 0x0A) {
                return sense(5, 0x26, 0);
            }
            std::copy(p + 2, p + 12, page01_.begin() + 2);
        } else if (code == 0x05) {
            if (p[1] != 0x32) {
                return sense(5, 0x26, 0);
            }
            const Sense s = checkPage05(p);
            if (!s.good()) {
                return s;
            }
            std::copy(p + 2, p + 52, page05_.begin() + 2);
            if (!testWrite() && simulated_) {
                simulated_.reset(); // what a test write pretended is gone
                discAtOnce_.reset();
            }
        } else {
            return sense(5, 0x26, 0);
        }
        at += 2 + p[1];
    }
    return Sense{};
}

int32_t Drive::writeErrorIn(int32_t lba, int32_t count) const {
    int32_t first = -1;
    for (int32_t bad : config_.faults.writeErrors) {
        if (bad >= lba && bad < lba + count && (first < 0 || bad < first)) {
            first = bad;
        }
    }
    return first;
}

namespace {

bool allZero(const uint8_t* data, size_t bytes) {
    return bytes == 0 || (data[0] == 0 && std::memcmp(data, data + 1, bytes - 1) == 0);
}

// Zeros are recorded as a hole, so that a disc of gigabytes of zeros (a
// sparse file burnt) costs no room on the test machine: the range is punched
// out, and the file grown where it ends beyond its end. False when the file
// system cannot: the zeros are then written.
bool storeZeros(int fd, off_t at, size_t bytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    const off_t end = at + off_t(bytes);
    if (at < st.st_size && ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, at,
                                       std::min(end, st.st_size) - at) != 0) {
        return false;
    }
    return end <= st.st_size || ::ftruncate(fd, end) == 0;
}

} // namespace

Sense Drive::store(const uint8_t* data, int32_t lba, int32_t count, int blockLength) {
    if (simulated_ || discFd_ < 0) {
        return discFd_ < 0 ? sense(4, 0x44, 0) : Sense{};
    }
    const int64_t step = stride();
    if (blockLength == step) {
        const int32_t skip = std::max(0, -lba); // the first pregap lies before block 0
        if (skip < count) {
            const size_t bytes = size_t(count - skip) * size_t(blockLength);
            const off_t at = off_t(lba + skip) * step;
            const uint8_t* from = data + size_t(skip) * size_t(blockLength);
            if (allZero(from, bytes) && storeZeros(discFd_, at, bytes)) {
                return Sense{};
            }
            size_t done = 0;
            while (done < bytes) {
                const ssize_t n =
                    ::pwrite(discFd_, data + size_t(skip) * size_t(blockLength) + done,
                             bytes - done, at + off_t(done));
                if (n <= 0) {
                    return sense(3, 0x0C, 0x00);
                }
                done += size_t(n);
            }
        }
        return Sense{};
    }
    for (int32_t i = 0; i < count; ++i) {
        if (lba + i < 0) {
            continue;
        }
        if (::pwrite(discFd_, data + size_t(i) * size_t(blockLength), size_t(blockLength),
                     off_t(lba + i) * step) != blockLength) {
            return sense(3, 0x0C, 0x00);
        }
    }
    return Sense{};
}

Sense Drive::write(Command& c) {
    const auto lba = static_cast<int32_t>(be32(c.cdb + 2));
    const auto count = static_cast<int32_t>(c.op() == 0x2A ? be16(c.cdb + 7) : be32(c.cdb + 6));
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    if (count == 0) {
        return Sense{};
    }
    if (count < 0) {
        return sense(5, 0x24, 0);
    }
    if (config_.faults.writeOpcError) {
        return sense(3, 0x73, 0x03); // the calibration the drive makes before it writes failed
    }
    if (config_.faults.fullAt >= 0 && int64_t(lba) + count > config_.faults.fullAt) {
        return senseAt(5, 0x21, 0x00, lba); // the disc ends there, whatever it said of its space
    }
    if (config_.faults.slowMs > 0) {
        sleepMs(config_.faults.slowMs);
    }
    return disc().overwritable() ? writeRandom(c, lba, count) : writeSequential(c, lba, count);
}

Sense Drive::writeRandom(Command& c, int32_t lba, int32_t count) {
    const Layout& l = disc();
    if (!l.formatted) {
        return sense(5, 0x30, 0x10); // medium not formatted
    }
    if (lba < 0 || int64_t(lba) + count > l.capacity) {
        return senseAt(5, 0x21, 0, lba);
    }
    if (l.restricted && (lba % 16 != 0 || count % 16 != 0)) {
        return senseAt(5, 0x21, 0x02, lba); // restricted overwrite takes whole ECC blocks
    }
    if (c.dataLength != uint32_t(count) * 2048u || !c.toDevice) {
        return sense(5, 0x24, 0);
    }
    const int32_t bad = writeErrorIn(lba, count);
    const int32_t good = bad < 0 ? count : bad - lba;
    if (const Sense s = store(c.data, lba, good, 2048); !s.good()) {
        return s;
    }
    return bad < 0 ? Sense{} : senseAt(3, 0x0C, 0x00, bad);
}

Sense Drive::writeSequential(Command& c, int32_t lba, int32_t count) {
    Layout& l = disc();
    if (l.finalized) {
        return sense(5, 0x30, 0x05); // nothing more goes onto a closed disc
    }
    const bool cd = isCd(l.medium);
    int blockLength = 2048;
    int32_t end = 0;
    if (discAtOnce_) {
        // Session at once: every block from the first pregap to the lead-out,
        // each with the length its cue sheet entry gives.
        if (lba != discAtOnce_->next) {
            return senseAt(5, 0x21, 0x02, lba);
        }
        if (int64_t(lba) + count > discAtOnce_->leadOut) {
            return senseAt(5, 0x21, 0x00, lba);
        }
        uint64_t bytes = 0;
        size_t r = 0;
        for (int32_t b = lba; b < lba + count; ++b) {
            while (r + 1 < discAtOnce_->regions.size() && discAtOnce_->regions[r + 1].lba <= b) {
                ++r;
            }
            bytes += uint64_t(discAtOnce_->regions[r].blockLength);
        }
        if (!c.toDevice || c.dataLength != bytes) {
            return sense(5, 0x24, 0);
        }
        const int32_t bad = writeErrorIn(lba, count);
        const int32_t good = bad < 0 ? count : bad - lba;
        const uint8_t* data = c.data;
        r = 0;
        for (int32_t b = lba; b < lba + good;) {
            while (r + 1 < discAtOnce_->regions.size() && discAtOnce_->regions[r + 1].lba <= b) {
                ++r;
            }
            const int32_t regionEnd = r + 1 < discAtOnce_->regions.size()
                                          ? discAtOnce_->regions[r + 1].lba
                                          : discAtOnce_->leadOut;
            const int32_t n = std::min(regionEnd, lba + good) - b;
            const int length = discAtOnce_->regions[r].blockLength;
            if (const Sense s = store(data, b, n, length); !s.good()) {
                return s;
            }
            data += size_t(n) * size_t(length);
            b += n;
        }
        discAtOnce_->next = lba + good;
        return bad < 0 ? Sense{} : senseAt(3, 0x0C, 0x00, bad);
    }
    const int32_t nwa = l.nextWritable();
    if (nwa < 0) {
        return senseAt(5, 0x21, 0x00, lba); // the disc is full
    }
    if (lba != nwa) {
        return senseAt(5, 0x21, 0x02, lba);
    }
    Track* open = l.openTrack();
    const bool intoReserved = open != nullptr && open->reserved > 0;
    if (cd) {
        if (writeType() != 1) {
            return sense(5, 0x2C, 0x00); // session at once needs its cue sheet first
        }
        blockLength = (page05_[4] & 0x0F) == 8 ? 2048 : 2352;
        if (open != nullptr && open->blockLength != blockLength) {
            return sense(5, 0x64, 0x00);
        }
    } else if ((l.medium == Medium::DvdR || l.medium == Medium::DvdRw)) {
        if (writeType() == 2 && !intoReserved) {
            return sense(5, 0x2C, 0x00); // disc at once writes into a reserved track
        }
        if (writeType() == 0 && l.quickBlanked) {
            return sense(5, 0x64, 0x00); // a minimally blanked DVD-RW takes disc at once only
        }
    }
    end = intoReserved ? open->start + open->reserved : l.lastPossibleEnd();
    if (int64_t(lba) + count > end) {
        return senseAt(5, 0x21, 0x00, lba);
    }
    if (!c.toDevice || c.dataLength != uint32_t(count) * uint32_t(blockLength)) {
        return sense(5, 0x24, 0);
    }
    const int32_t bad = writeErrorIn(lba, count);
    const int32_t good = bad < 0 ? count : bad - lba;
    if (const Sense s = store(c.data, lba, good, blockLength); !s.good()) {
        return s;
    }
    if (open == nullptr) {
        Track t;
        t.start = lba;
        t.session = l.openSession();
        t.blockLength = blockLength;
        t.control = cd ? (page05_[3] & 0x0F) : 5;
        l.tracks.push_back(t);
        open = &l.tracks.back();
    }
    open->recorded += good;
    dirty_ = !simulated_;
    return bad < 0 ? Sense{} : senseAt(3, 0x0C, 0x00, bad);
}

Sense Drive::readBlocks(Command& c, int32_t lba, int32_t count, bool cdRead, int sectorType,
                        int mainChannel) {
    const Layout& l = layout_; // a test write recorded nothing to read
    if (lba < 0 || int64_t(lba) + count > l.readableEnd()) {
        return senseAt(5, 0x21, 0x00, std::max(lba, l.readableEnd()));
    }
    for (int32_t bad : config_.faults.readErrors) {
        if (bad >= lba && bad < lba + count) {
            return senseAt(3, 0x11, 0x00, bad);
        }
    }
    const int64_t step = stride();
    uint8_t* out = c.data;
    size_t left = c.dataLength;
    for (int32_t b = lba; b < lba + count;) {
        int32_t runEnd = b + 1;
        int length = 2048;
        if (l.overwritable()) {
            runEnd = lba + count;
        } else {
            // The track holding b: the last one starting at or before it.
            auto it = std::upper_bound(l.tracks.begin(), l.tracks.end(), b,
                                       [](int32_t v, const Track& t) { return v < t.start; });
            if (it == l.tracks.begin()) {
                return senseAt(5, 0x64, 0x00, b);
            }
            const Track& t = *(it - 1);
            if (b >= t.start + t.recorded) {
                // Run-out, pregaps, lead-in and lead-out, or not yet recorded.
                return b < t.end() || t.closed ? senseAt(5, 0x64, 0x00, b)
                                               : senseAt(5, 0x21, 0x00, b);
            }
            if (t.isAudio() && !cdRead) {
                return senseAt(5, 0x64, 0x00, b); // READ (10) reads data tracks only
            }
            if (cdRead) {
                const bool typeFits =
                    sectorType == 0 || (t.isAudio() ? sectorType == 1 : sectorType == 2);
                if (!typeFits) {
                    return senseAt(5, 0x64, 0x00, b);
                }
                if (!t.isAudio() && mainChannel != 0x10 && mainChannel != 0) {
                    return sense(5, 0x24, 0); // headers, sync and EDC are not modelled
                }
                length = mainChannel == 0 ? 0 : t.isAudio() ? 2352 : 2048;
            }
            runEnd = std::min(lba + count, t.start + t.recorded);
        }
        const int32_t n = runEnd - b;
        const size_t bytes = size_t(n) * size_t(length);
        if (bytes > left) {
            return sense(5, 0x24, 0);
        }
        if (length == step) {
            size_t done = 0;
            while (done < bytes) {
                const ssize_t got =
                    ::pread(discFd_, out + done, bytes - done, off_t(b) * step + off_t(done));
                if (got < 0) {
                    return senseAt(3, 0x11, 0x00, b);
                }
                if (got == 0) {
                    std::memset(out + done, 0, bytes - done); // never written: zeros
                    break;
                }
                done += size_t(got);
            }
        } else if (length > 0) {
            for (int32_t i = 0; i < n; ++i) {
                uint8_t* to = out + size_t(i) * size_t(length);
                const ssize_t got = ::pread(discFd_, to, size_t(length), off_t(b + i) * step);
                if (got < 0) {
                    return senseAt(3, 0x11, 0x00, b + i);
                }
                std::memset(to + got, 0, size_t(length) - size_t(got));
            }
        }
        out += bytes;
        left -= bytes;
        b = runEnd;
    }
    c.transferred = static_cast<uint32_t>(c.dataLength - left);
    return Sense{};
}

Sense Drive::read(Command& c) {
    const auto lba = static_cast<int32_t>(be32(c.cdb + 2));
    const auto count = static_cast<int32_t>(c.op() == 0x28 ? be16(c.cdb + 7) : be32(c.cdb + 6));
    if (count < 0) {
        return sense(5, 0x24, 0);
    }
    if (count == 0) {
        return Sense{};
    }
    if (layout_.overwritable() && !layout_.formatted) {
        return senseAt(5, 0x21, 0x00, lba);
    }
    if (!c.fromDevice || c.dataLength != uint32_t(count) * 2048u) {
        return sense(5, 0x24, 0);
    }
    return readBlocks(c, lba, count, false, 0, 0x10);
}

Sense Drive::readCd(Command& c) {
    if (!isCd(layout_.medium)) {
        return sense(5, 0x64, 0x00);
    }
    const int sectorType = (c.cdb[1] >> 2) & 7;
    const auto lba = static_cast<int32_t>(be32(c.cdb + 2));
    const int32_t count = (c.cdb[6] << 16) | (c.cdb[7] << 8) | c.cdb[8];
    const int mainChannel = c.cdb[9] & 0xF8;
    if (sectorType > 5 || (c.cdb[9] & 0x06) != 0 || (c.cdb[10] & 0x07) != 0) {
        return sense(5, 0x24, 0); // C2 errors and subchannels are not modelled
    }
    if (count == 0) {
        return Sense{};
    }
    if (!c.fromDevice) {
        return sense(5, 0x24, 0);
    }
    return readBlocks(c, lba, count, true, sectorType, mainChannel);
}

void Drive::closeTrack(Track& t) {
    if (t.closed) {
        return;
    }
    t.closed = true;
    if (t.reserved > 0 && t.recorded < t.reserved) {
        t.recorded = t.reserved; // a reserved track is padded to its size
    }
    if (isCd(disc().medium)) {
        t.tail = 2; // run-out blocks after a track at once
    }
    dirty_ = !simulated_;
}

void Drive::closeSession(bool finalize) {
    Layout& l = disc();
    if (Track* open = l.openTrack()) {
        closeTrack(*open);
    }
    l.closedSessions = l.openSession();
    l.finalized = finalize || !l.hasInvisibleTrack();
    if (simulated_) {
        // The simulated burn is over; the disc is as it was.
        simulated_.reset();
    } else {
        dirty_ = true;
    }
}

Sense Drive::synchronizeCache(Command&) {
    Layout& l = disc();
    if (discAtOnce_ && discAtOnce_->next == discAtOnce_->leadOut) {
        // The session's tracks, as the cue sheet laid them out.
        const int session = l.openSession();
        const auto& regions = discAtOnce_->regions;
        for (size_t i = 0; i < regions.size(); ++i) {
            if (regions[i].track == 0 || regions[i].index != 1) {
                continue;
            }
            int32_t end = discAtOnce_->leadOut;
            for (size_t j = i + 1; j < regions.size(); ++j) {
                if (regions[j].track != regions[i].track) {
                    end = regions[j].lba;
                    break;
                }
            }
            Track t;
            t.start = regions[i].lba;
            t.recorded = end - t.start;
            t.session = session;
            t.blockLength = regions[i].blockLength;
            t.control = regions[i].control;
            t.closed = true;
            l.tracks.push_back(t);
        }
        discAtOnce_.reset();
        closeSession(multiSession() != 3);
        return Sense{};
    }
    Track* open = l.openTrack();
    if (open == nullptr) {
        return Sense{};
    }
    if (isCd(l.medium) && writeType() == 1 && open->reserved == 0) {
        closeTrack(*open); // a track at once ends with the cache flushed
    } else if ((l.medium == Medium::DvdR || l.medium == Medium::DvdRw) && writeType() == 2 &&
               open->reserved > 0 && open->recorded == open->reserved) {
        closeSession(true); // disc at once: the reserved track was the whole disc
    }
    return Sense{};
}

Sense Drive::closeTrackSession(Command& c) {
    const int function = c.cdb[2] & 7;
    const int number = be16(c.cdb + 4);
    Layout& l = disc();
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    if (config_.faults.closeError) {
        return sense(3, 0x0C, 0x00);
    }
    if (l.overwritable()) {
        // Stopping a background format or closing a DVD+RW or a restricted
        // DVD-RW compatibly; a BD-RE and a DVD-RAM have nothing to close.
        const bool ok = (l.medium == Medium::DvdPlusRw && (function == 0 || function == 2)) ||
                        (l.medium == Medium::DvdRw && (function == 1 || function == 2));
        if (!ok) {
            return sense(5, 0x24, 0);
        }
        return l.formatted ? Sense{} : sense(5, 0x30, 0x10);
    }
    if (l.finalized) {
        return sense(5, 0x2C, 0x00);
    }
    Track* open = l.openTrack();
    const int openNumber = static_cast<int>(l.tracks.size());
    if (function == 1) {
        if (open == nullptr || (number != openNumber && number != 0xFF)) {
            return sense(5, 0x24, 0); // no such incomplete track
        }
        closeTrack(*open);
        return Sense{};
    }
    const bool plus = l.medium == Medium::DvdPlusR || l.medium == Medium::BdR;
    if (function != 2 && !(plus && (function == 5 || function == 6))) {
        return sense(5, 0x24, 0);
    }
    if (l.tracks.empty() || l.tracks.back().session != l.openSession()) {
        return sense(5, 0x2C, 0x00); // an empty session cannot be closed
    }
    if (open != nullptr && open->reserved > 0 && open->recorded < open->reserved) {
        return sense(5, 0x2C, 0x00);
    }
    const bool finalize = plus ? function != 2 : multiSession() != 3;
    closeSession(finalize);
    return Sense{};
}

Sense Drive::reserveTrack(Command& c) {
    Layout& l = disc();
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    if (l.overwritable() || (c.cdb[1] & 1)) {
        return sense(5, 0x24, 0);
    }
    if (l.finalized) {
        return sense(5, 0x30, 0x05);
    }
    if (l.openTrack() != nullptr || discAtOnce_) {
        return sense(5, 0x2C, 0x00);
    }
    const int64_t size = be32(c.cdb + 5);
    if (size == 0 || !l.hasInvisibleTrack() || size > l.freeBlocks()) {
        return sense(5, 0x24, 0);
    }
    Track t;
    t.start = l.invisibleStart();
    t.reserved = static_cast<int32_t>(size);
    t.session = l.openSession();
    t.control = isCd(l.medium) ? (page05_[3] & 0x0F) : 4;
    t.blockLength = isCd(l.medium) && (page05_[4] & 0x0F) == 0 ? 2352 : 2048;
    l.tracks.push_back(t);
    dirty_ = !simulated_;
    return Sense{};
}

Sense Drive::sendCueSheet(Command& c) {
    Layout& l = disc();
    const uint32_t length = (c.cdb[6] << 16) | (c.cdb[7] << 8) | c.cdb[8];
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    if (!isCd(l.medium)) {
        return sense(5, 0x24, 0);
    }
    if (writeType() != 2 || l.finalized || l.openTrack() != nullptr) {
        return sense(5, 0x2C, 0x00);
    }
    if (!c.toDevice || length == 0 || length % 8 != 0 || length > c.dataLength) {
        return sense(5, 0x1A, 0);
    }
    const Sense invalid = sense(5, 0x26, 0);
    DiscAtOnce plan;
    bool leadIn = false, leadOut = false;
    int lastTrack = 0;
    int32_t last = INT32_MIN;
    for (uint32_t at = 0; at < length; at += 8) {
        const uint8_t* e = c.data + at;
        const int adr = e[0] & 0x0F;
        if (adr == 2 || adr == 3) {
            continue; // catalogue number and ISRC: nothing to model
        }
        if (adr != 1 || leadOut) {
            return invalid;
        }
        const int form = e[3];
        const int32_t lba = msfToLba(e[5], e[6], e[7]);
        if (lba < last || e[6] > 59 || e[7] > 74) {
            return invalid;
        }
        last = lba;
        if (e[1] == 0) {
            // The lead-in, generated by the drive; CD-TEXT in it is not modelled.
            if (leadIn || (form != 0x01 && form != 0x14)) {
                return invalid;
            }
            leadIn = true;
            continue;
        }
        if (e[1] == 0xAA) {
            if (!leadIn || lastTrack == 0 || (form != 0x01 && form != 0x14)) {
                return invalid;
            }
            plan.leadOut = lba;
            leadOut = true;
            continue;
        }
        const int track = e[1];
        if (!leadIn || track < lastTrack || track > 99 || (track > lastTrack + 1) ||
            (form != 0x00 && form != 0x10)) {
            return invalid; // audio or mode 1 data; subchannels are not modelled
        }
        if (track != lastTrack && e[2] > 1) {
            return invalid;
        }
        lastTrack = track;
        Cue region;
        region.lba = lba;
        region.blockLength = form == 0x00 ? 2352 : 2048;
        region.track = track;
        region.index = e[2];
        region.control = e[0] >> 4;
        plan.regions.push_back(region);
    }
    if (!leadOut || plan.regions.empty()) {
        return invalid;
    }
    // Every track needs an index 1, and the session starts with the first
    // pregap where the next one may.
    for (int t = 1; t <= lastTrack; ++t) {
        if (std::none_of(plan.regions.begin(), plan.regions.end(),
                         [t](const Cue& r) { return r.track == t && r.index == 1; })) {
            return invalid;
        }
    }
    if (plan.regions.front().lba != l.nextWritable() - 150 ||
        plan.regions.front().track != l.firstTrackInSession(l.openSession())) {
        return invalid;
    }
    if (plan.leadOut > l.lastPossibleEnd()) {
        return senseAt(5, 0x21, 0x00, plan.leadOut);
    }
    plan.next = plan.regions.front().lba;
    discAtOnce_ = std::move(plan);
    return Sense{};
}

void Drive::restart() {
    discAtOnce_.reset();
    if (simulated_) {
        simulated_ = layout_;
    }
    dirty_ = true;
}

Sense Drive::blank(Command& c) {
    Layout& l = layout_; // the test write bit is for writes only
    const int type = c.cdb[1] & 7;
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    if (l.medium != Medium::CdRw && l.medium != Medium::DvdRw) {
        return sense(5, 0x30, 0x05); // only CD-RW and DVD-RW are blanked
    }
    if (type != 0 && type != 1) {
        return sense(5, 0x24, 0); // whole disc or minimal; no track blanking
    }
    const Layout before = l;
    l = Layout{};
    l.stamp = before.stamp;
    l.medium = before.medium;
    l.layers = before.layers;
    l.rawCapacity = l.capacity = before.rawCapacity;
    l.quickBlanked = l.medium == Medium::DvdRw && type == 1;
    truncateDisc();
    restart();
    return Sense{};
}

Sense Drive::formatUnit(Command& c) {
    Layout& l = layout_;
    if (config_.faults.writeProtected) {
        return sense(7, 0x27, 0);
    }
    const bool formattable = l.medium == Medium::DvdPlusRw || l.medium == Medium::DvdRw ||
                             l.medium == Medium::DvdRam || l.medium == Medium::BdRe ||
                             l.medium == Medium::BdR;
    if (!formattable) {
        return sense(5, 0x30, 0x06); // cannot format this medium
    }
    if ((c.cdb[1] & 0x17) != 0x11) {
        return sense(5, 0x24, 0); // a format list must come with it
    }
    if (!c.toDevice || c.dataLength < 12) {
        return sense(5, 0x1A, 0);
    }
    const uint8_t* p = c.data;
    if (be16(p + 2) != 8) {
        return sense(5, 0x26, 0);
    }
    const uint32_t blocks = be32(p + 4);
    const int type = p[8] >> 2;
    const int subtype = p[8] & 3;
    const uint32_t parameter = be32(p + 8) & 0xFFFFFF;
    FormatDescriptor current;
    const auto offered = formats(current);
    if (offered.empty()) {
        return sense(5, 0x30, 0x06);
    }
    uint32_t smallest = UINT32_MAX, largest = 0;
    const FormatDescriptor* match = nullptr;
    for (const auto& f : offered) {
        if (f.type != type) {
            continue;
        }
        smallest = std::min(smallest, f.blocks);
        largest = std::max(largest, f.blocks);
        if (match == nullptr || (parameter != 0 && f.parameter == parameter)) {
            match = &f;
        }
    }
    const Sense invalid = sense(5, 0x26, 0);
    if (match == nullptr) {
        return invalid;
    }
    int64_t capacity = match->blocks;
    if (type == 0x30 || type == 0x32) {
        // Spare areas: a capacity from the offered ones' range, in whole clusters,
        // or one of them named by its spare size; no certification, no POW.
        if ((type == 0x30 && subtype != 0) || (type == 0x32 && subtype != 1)) {
            return invalid;
        }
        if (parameter == 0) {
            if (blocks < smallest || blocks > largest || blocks % 32 != 0) {
                return invalid;
            }
            capacity = blocks;
        } else if (match->parameter != parameter || blocks > match->blocks || blocks == 0) {
            return invalid;
        }
    } else {
        // A full format covers the whole medium, whatever smaller size was asked.
        if (blocks == 0 || (blocks > match->blocks && !(type == 0x26 && blocks == 0xFFFFFFFF))) {
            return invalid;
        }
        if (l.medium == Medium::BdR && subtype != 1) {
            return invalid; // pseudo overwrite is not modelled
        }
    }
    Layout f = l;
    if (current.type == 1 && current.blocks > 0) {
        f.rawCapacity = current.blocks; // the medium as its (perhaps replayed) formats say
    }
    f.tracks.clear();
    f.closedSessions = 0;
    f.finalized = false;
    f.quickBlanked = false;
    f.formatted = true;
    f.capacity = capacity;
    f.spareAreas = isBd(l.medium) && type != 0x31 && capacity < l.rawCapacity;
    if (l.medium == Medium::DvdRw) {
        f.restricted = true; // sequential recording becomes restricted overwrite
        f.formatted = true;
    }
    l = f;
    truncateDisc();
    restart();
    return Sense{};
}

} // namespace sbmmc
