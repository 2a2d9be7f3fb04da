#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/core/sbSession.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnTesting.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

using Clock = std::chrono::steady_clock;
using namespace burn;

// 16 MiB of fifo between the image and the drive: smaller fifos starve the
// drive on real media.
constexpr int kFifoChunks = 8192;
constexpr int kFifoChunkSize = 2048;
constexpr size_t kFeedChunk = 256 * 1024;
constexpr auto kPollStep = std::chrono::milliseconds(20);
// libburn's write thread lingers about half a second after a failed or
// cancelled write; this bounds the wait for it.
constexpr auto kThreadEndWait = std::chrono::seconds(10);
constexpr auto kWindDownStep = std::chrono::milliseconds(20);
constexpr auto kThreadLinger = std::chrono::seconds(2);
// A pseudo-drive's file is forced to its storage once, at the end of the
// write (burn_write_opts_set_stdio_fsync 1). Chosen by measurement:
// libburn's default (every 16 MiB) was slower than libburn writing alone, no
// sync at all would report success for bytes still in the page cache.
constexpr int kStdioFsync = 1;
// A pseudo-drive has no speed list; it is fed at the speed asked.
constexpr uint32_t kStdioTopSpeed = 0xFFFF;
constexpr uint32_t kSlowestStdioSpeed = 176;

Error notReady(const std::string& text) {
    return senseError(SB_EXCEPTION_NOT_READY, 0x02, 0x3A, 0x00, text);
}
Error becomingReady(const std::string& text) {
    return senseError(SB_EXCEPTION_NOT_READY, 0x02, 0x04, 0x01, text);
}
Error incompatibleMedium(const std::string& text) {
    return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x00, text);
}
Error notSupported(const std::string& text) {
    return makeError(SB_EXCEPTION_NOT_SUPPORTED, EOPNOTSUPP, text);
}

Media mediaOf(burn_disc_status status) {
    switch (status) {
    case BURN_DISC_BLANK:
        return Media::Blank;
    case BURN_DISC_EMPTY:
        return Media::Empty;
    case BURN_DISC_APPENDABLE:
        return Media::Appendable;
    case BURN_DISC_FULL:
        return Media::Full;
    case BURN_DISC_UNSUITABLE:
        return Media::Unsuitable;
    case BURN_DISC_UNREADY:
        return Media::Unready;
    default:
        return Media::Unknown;
    }
}

std::string profileText(const DiscState& s) {
    if (!s.profileName.empty()) {
        return s.profileName;
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(s.profile));
    return std::string("profile ") + hex;
}

bool sendAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        // MSG_NOSIGNAL: a closed reader is an error code here, never a SIGPIPE
        // that would be the program's business.
        const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

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

void readToc(burn_drive* d, RawDisc& raw) {
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

void readCdInfo(burn_drive* d, DiscState& s) {
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

std::string readVolumeLabel(burn_drive* d, const DiscState& s) {
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
    return volumeIdentifier(reinterpret_cast<const unsigned char*>(block.get()), 2048);
}

// What tells one written disc from another without reading it.
std::string fingerprintOf(const DiscState& s) {
    std::string f = std::to_string(s.profile) + "/" + std::to_string(static_cast<int>(s.media)) +
                    "/" + std::to_string(s.completeSessions) + "/" +
                    std::to_string(s.tracks.size()) + "/" + std::to_string(s.nwa) + "/" +
                    std::to_string(s.readCapacity);
    for (const auto& t : s.tracks) {
        f += "/" + std::to_string(t.start) + "+" + std::to_string(t.blocks);
    }
    return f;
}

uint32_t pickFrom(const std::vector<uint32_t>& speeds, uint32_t request) {
    // Drives answer x-factors rounded to KB/s and callers ask in rounded
    // numbers of their own: a request within 1 % of a speed selects it.
    const uint64_t reach = static_cast<uint64_t>(request) + request / 100;
    uint32_t chosen = speeds.front();
    for (uint32_t s : speeds) {
        if (s <= reach) {
            chosen = s;
        }
    }
    return chosen;
}

// How long a disc just put in may take to become ready, looked at in steps.
constexpr int kSettleSteps = 6;
constexpr auto kSettleStep = std::chrono::milliseconds(500);

bool stale(Media media) {
    return media == Media::Empty || media == Media::Unready || media == Media::Unknown;
}

// Notes about a write that went otherwise than asked, for the log.
void note(const std::string& text) {
    std::fprintf(stderr, "libStarBurn: %s\n", text.c_str());
}

} // namespace

// ---------------------------------------------------------------------------
// Grabbing and releasing

Drive::Drive(DriveSetup setup)
    : setup_(std::move(setup)), info_(setup_.info), bupEnabled_(setup_.facts.bupSupported) {
    releaser_ = std::thread([this] { releaser(); });
}

Drive::~Drive() {
    shutDown();
}

void Drive::shutDown() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    if (releaser_.joinable()) {
        releaser_.join();
    }
    std::unique_lock lock(mutex_);
    awaitWindDownLocked(lock);
    releaseLocked(false);
    if (info_ != nullptr) {
        // Dropped from libburn's drive list, which is libburn's global state.
        std::lock_guard list(driveListMutex());
        burn_drive_info_forget(&info_[0], 0);
        burn_drive_info_free(info_);
        info_ = nullptr;
    }
}

void Drive::releaser() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const bool idle = drive_ != nullptr && !held_ && !writing_;
        if (idle && Clock::now() >= releaseAt_) {
            releaseLocked(false);
            continue;
        }
        if (idle) {
            changed_.wait_until(lock, releaseAt_);
        } else {
            changed_.wait(lock);
        }
    }
}

void Drive::touchLocked() {
    releaseAt_ = Clock::now() + kIdleRelease;
    changed_.notify_all();
}

Error Drive::grabLocked(bool* fresh) {
    if (fresh != nullptr) {
        *fresh = false;
    }
    if (!setup_.unavailableText.empty()) {
        return makeError(SB_EXCEPTION_NOT_READY, setup_.unavailableStatus, setup_.unavailableText);
    }
    if (stopping_) {
        return makeError(SB_EXCEPTION_NOT_STARTED, 0, "The library is shutting down");
    }
    if (drive_ != nullptr) {
        touchLocked();
        return {};
    }
    if (Clock::now() < failureUntil_) {
        return lastFailure_;
    }
    const uint64_t mark = messageMark();
    int result = 0;
    if (info_ == nullptr) {
        // Not scanned yet (it could not be examined at start): scanning
        // touches libburn's global drive list.
        std::lock_guard list(driveListMutex());
        ++scans_;
        burn_drive_info* info = nullptr;
        std::string address = setup_.address;
        // No load: a tray the user opened stays open.
        result = burn_drive_scan_and_grab(&info, address.data(), 0);
        if (result > 0 && info != nullptr) {
            info_ = info;
        } else if (info != nullptr) {
            burn_drive_info_free(info); // freed on failure too, or it leaks
        }
    } else {
        ++grabs_;
        result = burn_drive_grab(info_[0].drive, 0);
    }
    if (result <= 0 || info_ == nullptr) {
        int err = 0;
        std::string why = failureText(messagesSince(mark), err);
        lastFailureBusy_ = !setup_.stdio && busyFailure(why, err);
        lastFailure_ = openFailure(why, err);
        failureUntil_ = Clock::now() + kFailureMemory;
        return lastFailure_;
    }
    drive_ = info_[0].drive;
    // The disc first, then the speeds for it.
    refreshLocked();
    applySpeedsLocked();
    touchLocked();
    if (fresh != nullptr) {
        *fresh = true;
    }
    return {};
}

Error Drive::openFailure(const std::string& reason, int err) const {
    const std::string why = reason.empty() ? "libburn could not acquire it" : reason;
    if (setup_.stdio) {
        return makeError(SB_EXCEPTION_NOT_READY, err != 0 ? static_cast<uint32_t>(err) : ENOENT,
                         "The pseudo-drive " + setup_.title + " cannot be opened: " + why);
    }
    std::string advice;
    if (busyFailure(why, err)) {
        advice = busyAdvice(setup_.address);
        if (advice.empty()) {
            advice = "Another program (a burning program, or the desktop's automounter) is using "
                     "it; close it and try again";
        }
    }
    return makeError(SB_EXCEPTION_DEVICE_BUSY, err != 0 ? static_cast<uint32_t>(err) : EBUSY,
                     "The drive " + setup_.title + " cannot be opened: " + why +
                         (advice.empty() ? std::string() : ". " + advice));
}

Error Drive::access(uint8_t& state) {
    state = SB_DEVICE_ACCESS_FREE;
    std::lock_guard lock(mutex_);
    if (!setup_.unavailableText.empty()) {
        const uint32_t err = setup_.unavailableStatus;
        if (err == EACCES || err == EPERM || err == EROFS) {
            state = SB_DEVICE_ACCESS_FORBIDDEN;
            return makeError(SB_EXCEPTION_NOT_READY, err, setup_.unavailableText);
        }
        return {};
    }
    // Held by this program: grabbed, or writing.
    if (drive_ != nullptr || writing_) {
        return {};
    }
    // Taken as a query takes it (a failure is remembered for a few seconds,
    // and a success keeps the drive for the next calls).
    Error e = grabLocked();
    if (!e || !lastFailureBusy_) {
        return {};
    }
    state =
        mountPointsOf(setup_.address).empty() ? SB_DEVICE_ACCESS_BUSY : SB_DEVICE_ACCESS_MOUNTED;
    return e;
}

void Drive::releaseLocked(bool eject) {
    if (drive_ == nullptr) {
        return;
    }
    // The drive stays in libburn's list, scanned, for the next grab.
    burn_drive_release(drive_, eject ? 1 : 0);
    drive_ = nullptr;
    state_ = DiscState{};
    if (eject) {
        closedByWrite_.clear();
        feat21Failed_.clear();
    }
    changed_.notify_all();
}

void Drive::refreshLocked() {
    burn_drive* d = drive_;
    RawDisc raw;
    raw.role = static_cast<Role>(burn_drive_get_drive_role(d));
    raw.media = mediaOf(burn_disc_get_status(d));
    if (raw.media == Media::Unready) {
        // A disc just put in needs a moment; libburn looks again when asked.
        burn_drive_re_assess(d, 0);
        raw.media = mediaOf(burn_disc_get_status(d));
    }
    char name[80] = {};
    int profile = 0;
    if (burn_disc_get_profile(d, &profile, name) > 0) {
        raw.profile = profile;
        raw.profileName = name;
    }
    const bool present = raw.media == Media::Blank || raw.media == Media::Appendable ||
                         raw.media == Media::Full || raw.media == Media::Unsuitable;
    if (present) {
        raw.erasable = burn_disc_erasable(d) != 0;
        raw.availableBytes = static_cast<int64_t>(burn_disc_available_space(d, nullptr));
        int capacity = 0;
        if (raw.role != Role::StdioSequential && raw.role != Role::StdioWriteOnly &&
            burn_get_read_capacity(d, &capacity, 0) > 0) {
            raw.readCapacity = capacity;
        }
        if (raw.media == Media::Blank || raw.media == Media::Appendable) {
            raw.nwaResult = burn_disc_track_lba_nwa(d, nullptr, 0, &raw.nextTrackLba, &raw.nwa);
            raw.damage = burn_disc_next_track_is_damaged(d, 0);
        }
        readToc(d, raw);
    }
    DiscState s = stateOf(raw);
    if (s.present()) {
        if (isCdProfile(s.profile)) {
            readCdInfo(d, s);
        }
        s.volumeLabel = readVolumeLabel(d, s);
    }
    state_ = std::move(s);
    readSpeedListLocked();
}

void Drive::reassessIfStaleLocked() {
    if (drive_ == nullptr || writing_ || !(setup_.stdio || stale(state_.media))) {
        return;
    }
    const int oldProfile = state_.profile;
    for (int step = 0; step < kSettleSteps; ++step) {
        if (step > 0) {
            std::this_thread::sleep_for(kSettleStep);
        }
        burn_drive_re_assess(drive_, 0);
        if (mediaOf(burn_disc_get_status(drive_)) != Media::Unready) {
            break;
        }
    }
    refreshLocked();
    if (state_.profile != oldProfile) {
        applySpeedsLocked(); // the list is the new disc's
    }
}

Error Drive::stateForQuery(DiscState& out) {
    std::lock_guard lock(mutex_);
    if (!writing_) {
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        if (!fresh) {
            reassessIfStaleLocked();
        }
    }
    out = state_;
    return {};
}

Error Drive::noDisc() const {
    return notReady("No disc in the drive " + setup_.title);
}

// ---------------------------------------------------------------------------
// Queries

Error Drive::testUnitReady() {
    std::lock_guard lock(mutex_);
    if (!writing_) {
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        if (!fresh) {
            reassessIfStaleLocked();
        }
    }
    switch (state_.media) {
    case Media::Empty:
    case Media::Unknown:
        return noDisc();
    case Media::Unready:
        return becomingReady("The disc in the drive " + setup_.title +
                             " is not ready yet; try again in a moment");
    default:
        return {};
    }
}

uint8_t Drive::discType() {
    DiscState s;
    if (stateForQuery(s)) {
        return DISC_TYPE_UNKNOWN;
    }
    return discTypeOf(s);
}

Error Drive::discInformation(SB_DISC_INFORMATION& out) {
    DiscState s;
    if (Error e = stateForQuery(s)) {
        return e;
    }
    if (!s.present()) {
        return noDisc();
    }
    fillDiscInformation(s, out);
    return {};
}

Error Drive::trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) {
    DiscState s;
    if (Error e = stateForQuery(s)) {
        return e;
    }
    if (!s.present()) {
        return noDisc();
    }
    if (!fillTrackInformation(s, trackNumber, out)) {
        return senseError(SB_EXCEPTION_INVALID_PARAMETER, 0x05, 0x24, 0x00,
                          "The disc has no track " + std::to_string(trackNumber));
    }
    return {};
}

Error Drive::tocInformation(SB_TOC_INFORMATION& out, bool /*fast*/) {
    // libburn reads the table of contents once when it grabs the drive; there
    // is no slower full read to skip.
    DiscState s;
    if (Error e = stateForQuery(s)) {
        return e;
    }
    if (!s.present()) {
        return noDisc();
    }
    fillTocInformation(s, out);
    return {};
}

Error Drive::discSpace(DiscSpace& out) {
    DiscState s;
    if (Error e = stateForQuery(s)) {
        return e;
    }
    if (!s.present()) {
        return noDisc();
    }
    out = spaceOf(s);
    return {};
}

std::string Drive::discVolumeLabel() {
    DiscState s;
    if (stateForQuery(s)) {
        return {};
    }
    return s.volumeLabel;
}

Error Drive::region(RegionInfo& /*out*/) {
    return notSupported("DVD region settings cannot be read through libburn (it has no call for "
                        "them)");
}

// ---------------------------------------------------------------------------
// Speeds, buffer-underrun protection, power calibration

void Drive::readSpeedListLocked() {
    writeSpeeds_.clear();
    readSpeeds_.clear();
    maxWrite_ = 0;
    maxRead_ = 0;
    if (setup_.stdio || drive_ == nullptr) {
        return;
    }
    burn_speed_descriptor* list = nullptr;
    if (burn_drive_get_speedlist(drive_, &list) > 0) {
        // On DVD and BD the drive's performance descriptors (source 2) are
        // the speeds for the disc; the capabilities page's list (source 1)
        // describes CD. All entries count only where there are none of those.
        const bool performanceOnly = isDvdProfile(state_.profile) || isBdProfile(state_.profile);
        for (int pass = performanceOnly ? 0 : 1; pass < 2; ++pass) {
            for (burn_speed_descriptor* s = list; s != nullptr; s = s->next) {
                // Only speeds for the medium in the drive (or for no medium).
                if (s->profile_loaded >= 0 && state_.profile != 0 &&
                    s->profile_loaded != state_.profile) {
                    continue;
                }
                if (pass == 0 && s->source != 2) {
                    continue;
                }
                if (s->write_speed > 0) {
                    writeSpeeds_.push_back(static_cast<uint32_t>(s->write_speed));
                }
                if (s->read_speed > 0) {
                    readSpeeds_.push_back(static_cast<uint32_t>(s->read_speed));
                }
            }
            if (!writeSpeeds_.empty() || !readSpeeds_.empty()) {
                break;
            }
        }
        burn_drive_free_speedlist(&list);
    }
    for (auto* v : {&writeSpeeds_, &readSpeeds_}) {
        std::sort(v->begin(), v->end());
        v->erase(std::unique(v->begin(), v->end()), v->end());
    }
    maxWrite_ = static_cast<uint32_t>(std::max(burn_drive_get_write_speed(drive_), 0));
    maxRead_ = static_cast<uint32_t>(std::max(burn_drive_get_read_speed(drive_), 0));
    if (!writeSpeeds_.empty()) {
        maxWrite_ = std::max(maxWrite_, writeSpeeds_.back());
    }
    if (!readSpeeds_.empty()) {
        maxRead_ = std::max(maxRead_, readSpeeds_.back());
    }
}

uint32_t Drive::pickWrite(uint32_t request) const {
    if (setup_.stdio) {
        return std::clamp(request, kSlowestStdioSpeed, kStdioTopSpeed);
    }
    if (writeSpeeds_.empty()) {
        return std::min(request, maxWrite_);
    }
    return pickFrom(writeSpeeds_, request);
}

uint32_t Drive::pickRead(uint32_t request) const {
    if (setup_.stdio) {
        return std::clamp(request, kSlowestStdioSpeed, kStdioTopSpeed);
    }
    if (readSpeeds_.empty()) {
        return std::min(request, maxRead_);
    }
    return pickFrom(readSpeeds_, request);
}

void Drive::applySpeedsLocked() {
    if (drive_ == nullptr) {
        return;
    }
    const uint32_t write = pickWrite(requestedWrite_);
    const uint32_t read = pickRead(requestedRead_);
    appliedRead_ = read;
    appliedWrite_ = write;
    // 0 asks libburn for the drive's fastest. A pseudo-drive is never
    // throttled by libburn (it sleeps in 16 MiB steps): the write feeds it at
    // the speed asked instead.
    const int w = setup_.stdio || write == 0 ? 0 : static_cast<int>(write);
    const int r =
        (setup_.stdio && read >= kStdioTopSpeed) || read == 0 ? 0 : static_cast<int>(read);
    burn_drive_set_speed(drive_, r, w);
}

Error Drive::speeds(Speeds& out) {
    std::lock_guard lock(mutex_);
    if (!writing_) {
        if (Error e = grabLocked()) {
            return e;
        }
    }
    if (setup_.stdio) {
        out.maximumRead = kStdioTopSpeed;
        out.maximumWrite = kStdioTopSpeed;
    } else {
        out.maximumRead = maxRead_;
        out.maximumWrite = maxWrite_;
    }
    // What was set on the drive for the disc in it (libburn has no call that
    // asks the drive for its current speed).
    out.currentRead = appliedRead_;
    out.currentWrite = appliedWrite_;
    return {};
}

Error Drive::setSpeeds(uint32_t readSpeed, uint32_t writeSpeed) {
    std::unique_lock lock(mutex_);
    // A cancelled write may still wind down; libburn's writer owns the drive
    // until it has, and a speed set meanwhile would reach it mid-write.
    if (Error e = awaitIdleLocked(lock)) {
        return e;
    }
    if (Error e = grabLocked()) {
        return e;
    }
    requestedRead_ = readSpeed;
    requestedWrite_ = writeSpeed;
    applySpeedsLocked();
    return {};
}

Error Drive::bup(bool& enabled, bool& supported) {
    std::lock_guard lock(mutex_);
    supported = setup_.facts.bupSupported;
    enabled = supported && bupEnabled_;
    return {};
}

Error Drive::setBup(bool enable) {
    std::lock_guard lock(mutex_);
    if (enable && !setup_.facts.bupSupported) {
        return senseError(SB_EXCEPTION_NOT_SUPPORTED, 0x05, 0x24, 0x00,
                          "The drive " + setup_.title + " has no buffer-underrun protection");
    }
    bupEnabled_ = enable;
    return {};
}

Error Drive::sendOpc() {
    std::lock_guard lock(mutex_);
    if (setup_.stdio) {
        return notSupported("The pseudo-drive " + setup_.title +
                            " writes a file; it has no laser power to calibrate");
    }
    if (Error e = grabLocked()) {
        return e;
    }
    if (!state_.present()) {
        return noDisc();
    }
    if (!state_.writable()) {
        return incompatibleMedium("The disc cannot be written, so the laser power cannot be "
                                  "calibrated on it");
    }
    // libburn has no stand-alone calibration: the drive calibrates at the
    // start of the next write, which is told to do so.
    opcPending_ = true;
    return {};
}

// ---------------------------------------------------------------------------
// Tray, eject, session

Error Drive::preventRemoval(bool prevent) {
    std::lock_guard lock(mutex_);
    if (prevent) {
        // libburn locks the tray of a drive it holds; holding it is the lock.
        if (Error e = grabLocked()) {
            return e;
        }
        held_ = true;
        return {};
    }
    held_ = false;
    if (!writing_) {
        releaseLocked(false);
    }
    return {};
}

Error Drive::eject() {
    std::unique_lock lock(mutex_);
    if (Error e = awaitIdleLocked(lock)) {
        return e;
    }
    if (held_) {
        return senseError(SB_EXCEPTION_DEVICE_BUSY, 0x05, 0x53, 0x02,
                          "Medium removal is prevented (the tray is locked)");
    }
    // libburn ejects when it lets go of a drive, so the drive is taken (if it
    // is not held already) and let go with the eject.
    if (Error e = grabLocked()) {
        return e;
    }
    releaseLocked(true);
    return {};
}

Error Drive::closeSession() {
    std::unique_lock lock(mutex_);
    if (Error e = awaitIdleLocked(lock)) {
        return e;
    }
    bool fresh = false;
    if (Error e = grabLocked(&fresh)) {
        return e;
    }
    if (!fresh) {
        reassessIfStaleLocked();
    }
    if (!state_.present()) {
        return noDisc();
    }
    if (!closedByWrite_.empty() && closedByWrite_ == fingerprintOf(state_)) {
        // libburn closed the session at the end of the write that made it:
        // nothing is sent to the drive.
        closedByWrite_.clear();
        return {};
    }
    const bool appendable = state_.media == Media::Appendable;
    if (!appendable || (state_.damage & 1) == 0) {
        // The empty next session of an appendable disc is no open session,
        // and a session is never closed by force: that could close the disc.
        if (appendable && state_.incompleteSessions > 0) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x2C, 0x00,
                              "The last session of the " + profileText(state_) +
                                  " disc holds tracks left open by another program; the drive "
                                  "does not report them damaged, so they are not closed (the "
                                  "disc can still be appended to)");
        }
        return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x2C, 0x00,
                          "The disc has no open session to close");
    }
    burn_write_opts* o = burn_write_opts_new(drive_);
    if (o == nullptr) {
        return makeError(SB_EXCEPTION_GENERIC, ENOMEM,
                         "libburn could not set up the session close");
    }
    // Closes the damaged track and session and leaves the disc appendable.
    burn_write_opts_set_write_type(o, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
    burn_write_opts_set_simulate(o, 0);
    burn_write_opts_set_multi(o, 1);
    const uint64_t mark = messageMark();
    const int r = burn_disc_close_damaged(o, 0);
    burn_write_opts_free(o);
    int err = 0;
    const std::string why = failureText(messagesSince(mark), err);
    burn_drive_re_assess(drive_, 0);
    refreshLocked();
    if (r <= 0) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, err != 0 ? static_cast<uint32_t>(err) : EIO,
                         "The session could not be closed" + (why.empty() ? "" : ": " + why));
    }
    return {};
}

// ---------------------------------------------------------------------------
// Writing

// How a job is written: the method and multisession flag may differ from the
// request where libburn documents that the disc cannot be written as asked.
struct Drive::Plan {
    WriteMethod method = WriteMethod::TrackAtOnce;
    bool multi = false;
    std::string note; // the difference, for the log; empty when none
};

namespace {

burn_write_types writeTypeOf(WriteMethod method) {
    switch (method) {
    case WriteMethod::TrackAtOnce:
        return BURN_WRITE_TAO;
    case WriteMethod::DiscAtOnceRawPw:
        return BURN_WRITE_RAW;
    case WriteMethod::SessionAtOnce:
    case WriteMethod::DiscAtOncePq:
        break;
    }
    return BURN_WRITE_SAO;
}

struct Caps {
    bool possible = false;
    bool simulate = false;
    bool multi = false;
    bool multiTrack = false;
    bool incremental = false; // Track-At-Once is available on the disc
};

Caps capsOf(burn_drive* d, WriteMethod method) {
    Caps c;
    burn_multi_caps* caps = nullptr;
    c.possible = burn_disc_get_multi_caps(d, writeTypeOf(method), &caps, 0) > 0;
    if (caps != nullptr) {
        c.simulate = caps->might_simulate != 0;
        c.multi = caps->multi_session != 0;
        c.multiTrack = caps->multi_track != 0;
        c.incremental = caps->might_do_tao > 0;
    }
    burn_disc_free_multi_caps(&caps);
    return c;
}

// After a failed or cancelled write libburn's thread lingers with the drive
// already idle: it still lets go of its reference to the write options, and
// only then announces its end (libburn 1.5.4 posts "Write thread on drive N
// ended" after that, then leaves its list of workers). The announcement is
// the only sign of the thread's end libburn gives; it is kept apart from the
// messages that fall off the queue, so a busy queue cannot hide it. Waited
// for (bounded) before the write's objects go and before libburn may be shut
// down. It names no drive a program can match, so another drive's thread
// ending meanwhile ends the wait early, which startOperation makes up for.
void awaitWriteThreadEnd(uint64_t mark) {
    const auto deadline = Clock::now() + kThreadLinger;
    while (Clock::now() < deadline && !writeThreadEndedSince(mark)) {
        std::this_thread::sleep_for(kWindDownStep);
    }
}

// Starts a libburn operation on a drive (a write, an erase, a format).
// libburn marks the drive busy before the call returns when it starts its
// thread; a drive still idle was refused, and the refusal is in the queue.
// libburn's thread of the drive's previous operation lingers about half a
// second after a failure or cancel although the drive shows idle; libburn
// refuses the next operation meanwhile, so that refusal is waited out. mark
// is set to where the started operation's messages begin.
template <typename Start>
bool startOperation(burn_drive* d, WriteMonitor& monitor, uint64_t& mark, Start&& start) {
    const auto giveUp = Clock::now() + kThreadEndWait;
    for (;;) {
        mark = messageMark();
        start();
        if (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE) {
            return true;
        }
        bool going = false;
        bool refused = false;
        for (const auto& m : messagesSince(mark)) {
            if (!m.failure) {
                continue;
            }
            if (m.code == kDriveOperationGoing) {
                going = true;
            } else if (m.code == 0x0002017c || m.code == 0x00020146 || m.code == 0x00020181 ||
                       m.code == 0x00020113 || m.code == 0x00020139 || m.code == 0x00020168 ||
                       m.code == 0x00020130 || m.code == 0x00020129) {
                refused = true;
            }
        }
        if (going && !refused && Clock::now() < giveUp && !monitor.cancelled()) {
            std::this_thread::sleep_for(kWindDownStep);
            continue;
        }
        // Idle and not refused: it started and has ended already.
        return !going && !refused;
    }
}

} // namespace

Error Drive::checkWriteLocked(const WriteJob& job, uint64_t& total, Plan& plan) {
    const DeviceFacts& f = setup_.facts;
    if (state_.role == Role::StdioReadOnly) {
        return notSupported("The pseudo-drive " + setup_.title + " is a read-only file");
    }
    if (!setup_.stdio && !(f.writesCdR || f.writesCdRw || f.writesDvdR || f.writesDvdRam ||
                           f.writesDvdPlusR || f.writesDvdPlusRw || f.writesDvdPlusRDl)) {
        return notSupported("The drive " + setup_.title + " cannot write discs");
    }
    if (job.method == WriteMethod::DiscAtOnceRawPw && !f.discAtOnceRawPw) {
        return notSupported("The drive " + setup_.title +
                            " is not offered Disc-At-Once raw P-W: libburn does not probe "
                            "raw writing, because the probe disturbs drives");
    }
    const bool supported = (job.method == WriteMethod::TrackAtOnce && f.trackAtOnce) ||
                           (job.method == WriteMethod::SessionAtOnce && f.sessionAtOnce) ||
                           (job.method == WriteMethod::DiscAtOncePq && f.discAtOncePq);
    if (!supported) {
        return notSupported("The drive " + setup_.title + " does not write " +
                            writeMethodName(job.method) + " through libburn");
    }
    if (job.method == WriteMethod::SessionAtOnce && !job.closeSession) {
        return notSupported("libburn closes every session it writes; it cannot leave a "
                            "Session-At-Once session open");
    }
    switch (state_.media) {
    case Media::Blank:
    case Media::Appendable:
        break;
    case Media::Empty:
    case Media::Unknown:
        return noDisc();
    case Media::Unready:
        return becomingReady("The disc in the drive " + setup_.title + " is not ready yet");
    case Media::Full:
        return incompatibleMedium("The " + profileText(state_) +
                                  " disc is complete (closed); nothing more can be written to it");
    case Media::Unsuitable:
        return incompatibleMedium("The " + profileText(state_) +
                                  " disc in the drive cannot be written (libburn finds it "
                                  "unsuitable)");
    }
    if ((job.method == WriteMethod::DiscAtOncePq || job.method == WriteMethod::DiscAtOnceRawPw) &&
        state_.media != Media::Blank) {
        return incompatibleMedium("Disc-At-Once needs a blank disc");
    }

    const bool claimed = !feat21Failed_.empty() && feat21Failed_ == fingerprintOf(state_);
    const WritePlan chosen = planWrite(job.method, job.multiSession, state_, f.sessionAtOnce,
                                       claimed, [&](WriteMethod m) {
                                           const Caps c = capsOf(drive_, m);
                                           return WriteCaps{c.possible, c.multi, c.incremental};
                                       });
    plan.method = chosen.method;
    plan.multi = chosen.multi;
    switch (chosen.change) {
    case PlanChange::None:
        break;
    case PlanChange::SessionAtOnce:
        plan.note = "The blank " + profileText(state_) + " disc in " + setup_.title +
                    " cannot be written Track-At-Once" +
                    (claimed ? " (the drive claims it can, but failed before)" : "") +
                    "; it is written Session-At-Once and closed" +
                    (job.multiSession ? ", not left open for more sessions" : "");
        break;
    case PlanChange::Closed:
        plan.note = "A " + profileText(state_) + " disc cannot be left open for more sessions; " +
                    "the disc in " + setup_.title + " is written and closed";
        break;
    case PlanChange::Refused:
        return notSupported("The " + profileText(state_) + " disc in " + setup_.title +
                            " cannot be left open for more sessions (multisession)");
    }

    const Caps caps = capsOf(drive_, plan.method);
    if (!caps.possible) {
        return notSupported("The " + profileText(state_) + " disc cannot be written " +
                            writeMethodName(plan.method) + " through libburn");
    }
    if (job.testWrite && !caps.simulate) {
        return notSupported("A test write (simulation) is not possible on the " +
                            profileText(state_) + " disc in " + setup_.title);
    }
    if (job.tracks.size() > 1 && !caps.multiTrack) {
        return notSupported("The " + profileText(state_) +
                            " disc takes one track per session "
                            "here; " +
                            std::to_string(job.tracks.size()) + " were given");
    }

    total = 0;
    uint64_t blocks = 0;
    for (const auto& t : job.tracks) {
        total += t.source->size();
        blocks += (t.source->size() + 2047) / 2048;
    }
    const uint64_t freeBlocks = state_.availableBytes / 2048;
    if (blocks > freeBlocks) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, ENOSPC,
                         "The image does not fit on the disc: it needs " + std::to_string(blocks) +
                             " blocks (" + std::to_string(total) + " bytes), the disc has " +
                             std::to_string(freeBlocks) + " free blocks" +
                             (job.overburn ? "; overburning is not done through libburn" : ""));
    }
    return {};
}

// The libburn objects of one write and, where libburn cannot read the image
// itself, the thread that feeds it: a socket per track, read by libburn's
// fifo, written by the feeder from the job's sources. An image file that
// needs no throttling is handed to libburn as a file descriptor and read by
// libburn directly, its fastest path. libburn never calls back into this
// library's code, so its threads (which it may cancel at any instruction) run
// only its own.
struct Drive::WriteRun {
    struct Feed {
        int socket = -1; // our end; libburn owns and closes the other
        int file = -1;   // the image file handed to libburn (it closes its copy)
        uint64_t fileSize = 0;
        burn_source* fifo = nullptr;
        burn_track* track = nullptr;
        ImageSource* source = nullptr;
        std::string description;
        uint64_t size = 0;
    };

    burn_disc* disc = nullptr;
    burn_session* session = nullptr;
    burn_write_opts* opts = nullptr;
    std::vector<Feed> feeds;
    // Bytes per second the feeder keeps to (a throttled pseudo-drive); 0: as
    // fast as libburn takes them.
    uint64_t rate = 0;
    bool pseudoDrive = false;

    std::thread feeder;
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> stop{false};
    std::atomic<bool> feedFailed{false};
    Error feedError; // written by the feeder before feedFailed, read after join

    ~WriteRun() {
        stopFeeding();
        if (opts != nullptr) {
            burn_write_opts_free(opts);
        }
        for (auto& f : feeds) {
            if (f.fifo != nullptr) {
                burn_source_free(f.fifo);
            }
            if (f.track != nullptr) {
                burn_track_free(f.track);
            }
            if (f.socket >= 0) {
                ::close(f.socket);
            }
        }
        if (session != nullptr) {
            burn_session_free(session);
        }
        if (disc != nullptr) {
            burn_disc_free(disc);
        }
    }

    void stopFeeding() {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_all();
        for (auto& f : feeds) {
            if (f.socket >= 0) {
                ::shutdown(f.socket, SHUT_RDWR);
            }
        }
        if (feeder.joinable()) {
            feeder.join();
        }
    }

    bool needsFeeder() const {
        return std::any_of(feeds.begin(), feeds.end(), [](const Feed& f) { return f.socket >= 0; });
    }

    burn_source* inputFor(Feed& f) {
        const int fd = rate == 0 ? f.source->fileDescriptor() : -1;
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            // libburn reads the file itself from its start; the source reads
            // with pread, so a copy of its descriptor has its offset to itself.
            const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (copy >= 0 && ::lseek(copy, 0, SEEK_SET) == 0) {
                f.file = copy;
                f.fileSize = static_cast<uint64_t>(st.st_size);
                if (burn_source* in = burn_fd_source_new(copy, -1, static_cast<off_t>(f.size))) {
                    return in;
                }
                f.file = -1;
            }
            if (copy >= 0) {
                ::close(copy);
            }
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
            return nullptr;
        }
        f.socket = pair[1];
        burn_source* in = burn_fd_source_new(pair[0], -1, static_cast<off_t>(f.size));
        if (in == nullptr) {
            ::close(pair[0]);
        }
        return in;
    }

    Error build(WriteJob& job) {
        disc = burn_disc_create();
        session = burn_session_create();
        if (disc == nullptr || session == nullptr ||
            burn_disc_add_session(disc, session, BURN_POS_END) == 0) {
            return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up the disc");
        }
        for (auto& t : job.tracks) {
            Feed f;
            f.source = t.source.get();
            f.description = t.description;
            f.size = t.source->size();
            burn_source* input = inputFor(f);
            if (input == nullptr) {
                const int err = errno != 0 ? errno : ENOMEM;
                feeds.push_back(f);
                return makeError(SB_EXCEPTION_GENERIC, static_cast<uint32_t>(err),
                                 std::string("libburn could not take the image: ") +
                                     std::strerror(err));
            }
            if (f.file >= 0 && pseudoDrive) {
                // A file written into a file: libburn's fifo would only copy
                // the bytes once more.
                f.fifo = input;
            } else {
                f.fifo = burn_fifo_source_new(input, kFifoChunkSize, kFifoChunks, 1);
                burn_source_free(input); // the fifo holds it now
            }
            f.track = burn_track_create();
            feeds.push_back(f);
            if (f.fifo == nullptr || f.track == nullptr) {
                return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up a track");
            }
            // Data mode 1, the last sector padded with zeros.
            burn_track_define_data(f.track, 0, 0, 1, BURN_MODE1);
            if (burn_track_set_source(f.track, f.fifo) != BURN_SOURCE_OK ||
                burn_session_add_track(session, f.track, BURN_POS_END) == 0) {
                return makeError(SB_EXCEPTION_GENERIC, 0, "libburn refused a track");
            }
        }
        return {};
    }

    void startFeeding() {
        if (needsFeeder()) {
            feeder = std::thread([this] { feed(); });
        }
    }

    // A file libburn read itself that changed size meanwhile was burned cut
    // short or padded: that is a failure, not a disc.
    Error checkFiles() const {
        for (const auto& f : feeds) {
            if (f.file < 0) {
                continue;
            }
            struct stat st {};
            if (::fstat(f.source->fileDescriptor(), &st) == 0 &&
                static_cast<uint64_t>(st.st_size) != f.fileSize) {
                return makeError(SB_EXCEPTION_FILE_ERROR, 0,
                                 "The " + f.description +
                                     " changed size during the write: it was " +
                                     std::to_string(f.fileSize) + " bytes and is now " +
                                     std::to_string(st.st_size));
            }
        }
        return {};
    }

    void feed() {
        // Throttled, the bytes go in steps of about 20 ms, so a stop is seen
        // between two steps.
        const size_t chunk = rate == 0
                                 ? kFeedChunk
                                 : std::clamp<size_t>(static_cast<size_t>(rate / 50) / 2048 * 2048,
                                                      2048, kFeedChunk);
        std::unique_ptr<char[]> buffer(new char[chunk]);
        const auto start = Clock::now();
        uint64_t sent = 0;
        for (auto& f : feeds) {
            if (f.socket < 0) {
                continue;
            }
            uint64_t left = f.size;
            while (left > 0 && !stop) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk));
                std::string error;
                int err = 0;
                if (!f.source->read(buffer.get(), n, error, err)) {
                    feedError =
                        makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
                    feedFailed = true;
                    return;
                }
                if (!sendAll(f.socket, buffer.get(), n)) {
                    return; // libburn stopped reading: the write ended or was cancelled
                }
                left -= n;
                sent += n;
                if (rate != 0) {
                    const auto due =
                        start +
                        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            static_cast<double>(sent) / static_cast<double>(rate)));
                    std::unique_lock lock(mutex);
                    wake.wait_until(lock, due, [this] { return stop.load(); });
                }
            }
            // The end of the track's input.
            ::shutdown(f.socket, SHUT_WR);
        }
    }
};

// libburn's write thread for a drive ends when the drive's status turns idle
// (it sets it last). Until then nothing of the write is freed or begun anew.
Error Drive::awaitIdleLocked(std::unique_lock<std::mutex>& lock) {
    if (!awaitWindDownLocked(lock)) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The drive is writing");
    }
    return {};
}

bool Drive::awaitWindDownLocked(std::unique_lock<std::mutex>& lock) {
    changed_.wait(lock, [this] { return !windingDown_; });
    if (windDown_.joinable()) {
        std::thread t = std::move(windDown_);
        lock.unlock();
        t.join();
        lock.lock();
    }
    return !writing_;
}

// A cancelled write returns to its caller at once; this thread waits for
// libburn to stop writing, frees the write's objects and gives the drive
// back.
void Drive::windDown(std::unique_ptr<WriteRun> run, burn_drive* d, uint64_t mark) {
    const auto deadline = Clock::now() + kThreadEndWait;
    bool idle = false;
    while (!(idle = burn_drive_get_status(d, nullptr) == BURN_DRIVE_IDLE) &&
           Clock::now() < deadline) {
        // libburn takes a cancel only while it reads or writes.
        burn_drive_cancel(d);
        std::this_thread::sleep_for(kWindDownStep);
    }
    if (idle) {
        awaitWriteThreadEnd(mark);
    } else {
        // Never freed under libburn's feet: a drive that does not stop keeps
        // its write's objects, and the log says so.
        note("The drive " + setup_.title +
             " did not stop writing after the cancel; it stays busy until the program ends");
        (void)run.release();
    }
    run.reset();
    std::lock_guard lock(mutex_);
    if (idle) {
        writing_ = false;
        opcPending_ = false;
        burn_drive_re_assess(d, 0);
        refreshLocked();
        touchLocked();
        if (!setup_.stdio && state_.present() && !state_.erasable &&
            !isOverwritable(state_.profile, state_.role)) {
            note("The write on " + setup_.title +
                 " was cancelled; the write-once disc is left as libburn left it (it may hold an "
                 "unfinished track)");
        }
    }
    windingDown_ = false;
    changed_.notify_all();
}

Error Drive::write(WriteJob& job, WriteMonitor& monitor) {
    auto run = std::make_unique<WriteRun>();
    Plan plan;
    uint64_t total = 0;
    bool simulated = job.testWrite;
    burn_drive* d = nullptr;
    {
        std::unique_lock lock(mutex_);
        // The drive's cancelled write may still wind down; a cancel of this
        // one meanwhile is answered at once.
        while (windingDown_) {
            if (monitor.cancelled()) {
                return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The write was cancelled");
            }
            changed_.wait_for(lock, kWindDownStep);
        }
        if (!awaitWindDownLocked(lock) || writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The drive is already writing");
        }
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        if (!fresh) {
            // A disc put in after the last look is seen; otherwise the
            // snapshot is renewed for the write.
            if (setup_.stdio || stale(state_.media)) {
                reassessIfStaleLocked();
            } else {
                refreshLocked();
            }
        }
        if (Error e = checkWriteLocked(job, total, plan)) {
            return e;
        }
        applySpeedsLocked();
        run->pseudoDrive = setup_.stdio;
        if (setup_.stdio && appliedWrite_ < kStdioTopSpeed) {
            run->rate = static_cast<uint64_t>(appliedWrite_) * 1000;
        }
        if (Error e = run->build(job)) {
            return e;
        }
        d = drive_;
        run->opts = burn_write_opts_new(d);
        if (run->opts == nullptr) {
            return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up the write");
        }
        int typeSet = 0;
        switch (plan.method) {
        case WriteMethod::TrackAtOnce:
            typeSet = burn_write_opts_set_write_type(run->opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
            break;
        case WriteMethod::SessionAtOnce:
        case WriteMethod::DiscAtOncePq:
            typeSet = burn_write_opts_set_write_type(run->opts, BURN_WRITE_SAO, BURN_BLOCK_SAO);
            break;
        case WriteMethod::DiscAtOnceRawPw:
            typeSet = burn_write_opts_set_write_type(run->opts, BURN_WRITE_RAW, BURN_BLOCK_RAW96R);
            break;
        }
        if (typeSet == 0) {
            return notSupported(std::string("libburn cannot write ") +
                                writeMethodName(plan.method) + " on " + setup_.title);
        }
        burn_write_opts_set_simulate(run->opts, job.testWrite ? 1 : 0);
        burn_write_opts_set_underrun_proof(run->opts, bupEnabled_ ? 1 : 0);
        // libburn calibrates the laser power at the start of every write
        // unless told not to; nothing here tells it not to.
        if (opcPending_) {
            burn_write_opts_set_perform_opc(run->opts, 1);
        }
        burn_write_opts_set_multi(run->opts, plan.multi ? 1 : 0);
        if (setup_.stdio) {
            burn_write_opts_set_stdio_fsync(run->opts, kStdioFsync);
        }
        char reasons[BURN_REASONS_LEN] = {};
        if (burn_precheck_write(run->opts, run->disc, reasons, 1) <= 0) {
            std::string why = reasons;
            while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) {
                why.pop_back();
            }
            return incompatibleMedium("libburn refuses this write on " + setup_.title +
                                      (why.empty() ? std::string() : ": " + why));
        }
        writing_ = true;
        closedByWrite_.clear();
        changed_.notify_all();
    }

    // From here the drive is this thread's: the releaser and the queries keep
    // their hands off until writing_ goes.
    run->startFeeding();
    uint64_t mark = 0;
    const bool spawned =
        startOperation(d, monitor, mark, [&] { burn_disc_write(run->opts, run->disc); });

    monitor.progress(total, 0);
    uint64_t done = 0;
    int lastStatus = BURN_DRIVE_IDLE;
    std::vector<uint64_t> trackStart;
    uint64_t sum = 0;
    for (const auto& f : run->feeds) {
        trackStart.push_back(sum);
        sum += f.size;
    }
    while (spawned) {
        if (monitor.cancelled() || run->feedFailed) {
            // The caller has its answer at once; libburn stops on its own time.
            burn_drive_cancel(d);
            run->stopFeeding();
            const bool feedFailed = run->feedFailed;
            Error feedError = run->feedError;
            {
                std::lock_guard lock(mutex_);
                windingDown_ = true;
                windDown_ = std::thread([this, r = std::move(run), d, mark]() mutable {
                    windDown(std::move(r), d, mark);
                });
            }
            if (feedFailed && !monitor.cancelled()) {
                return feedError;
            }
            return makeError(
                SB_EXCEPTION_CANCELLED, ECANCELED,
                std::string("The write was cancelled") +
                    (!setup_.stdio && !simulated ? "; the disc may hold an unfinished track" : ""));
        }
        burn_progress p{};
        const burn_drive_status status = burn_drive_get_status(d, &p);
        if (status == BURN_DRIVE_IDLE) {
            break;
        }
        if (status != lastStatus &&
            (status == BURN_DRIVE_WRITING_LEADIN || status == BURN_DRIVE_WRITING_LEADOUT ||
             status == BURN_DRIVE_CLOSING_TRACK || status == BURN_DRIVE_CLOSING_SESSION ||
             status == BURN_DRIVE_WRITING_PREGAP)) {
            monitor.otherProgress();
        }
        lastStatus = status;
        if (status == BURN_DRIVE_WRITING || status == BURN_DRIVE_WRITING_SYNC) {
            uint64_t now = static_cast<uint64_t>(std::max<off_t>(p.buffered_bytes, 0));
            if (p.track >= 0 && static_cast<size_t>(p.track) < trackStart.size()) {
                now = std::max(now, trackStart[static_cast<size_t>(p.track)] +
                                        static_cast<uint64_t>(std::max(p.sector, 0)) * 2048);
            }
            now = std::min(now, total);
            if (now > done) {
                done = now;
                monitor.progress(total, done);
            }
            if (p.buffer_capacity > 0) {
                monitor.bufferStatus(p.buffer_capacity,
                                     std::min(p.buffer_available, p.buffer_capacity));
            }
        }
        monitor.sleepUntil(Clock::now() + kPollStep);
    }

    const bool wroteWell = spawned && burn_drive_wrote_well(d) != 0;
    const bool feat21 = spawned && !wroteWell && plan.method == WriteMethod::TrackAtOnce &&
                        burn_drive_was_feat21_failure(d) != 0;
    if (spawned && !wroteWell) {
        awaitWriteThreadEnd(mark);
    }
    run->stopFeeding();
    int err = 0;
    const std::string why = failureText(messagesSince(mark), err);
    const Error fileChanged = wroteWell ? run->checkFiles() : Error{};

    {
        std::lock_guard lock(mutex_);
        writing_ = false;
        opcPending_ = false;
        // libburn advises a fresh look at the medium after writing.
        burn_drive_re_assess(d, 0);
        refreshLocked();
        // The caller closes a Track-At-Once session next, also when it went
        // Session-At-Once here.
        if (wroteWell && !simulated && job.method == WriteMethod::TrackAtOnce) {
            closedByWrite_ = fingerprintOf(state_);
        }
        if (feat21) {
            feat21Failed_ = fingerprintOf(state_);
        }
        touchLocked();
    }
    const std::string planNote = plan.note.empty() ? std::string() : " (" + plan.note + ")";

    if (run->feedFailed) {
        return run->feedError;
    }
    if (fileChanged) {
        return fileChanged;
    }
    if (!wroteWell) {
        return makeError(
            SB_EXCEPTION_WRITE_ERROR, err != 0 ? static_cast<uint32_t>(err) : EIO,
            "The write on " + setup_.title + " failed" +
                (why.empty() ? std::string() : ": " + why) + planNote +
                (feat21 ? ". The drive claimed it could write this disc track by track but "
                          "cannot; write it again and it is written Session-At-Once"
                        : ""));
    }
    if (!plan.note.empty()) {
        note(plan.note);
    }
    monitor.progress(total, total);
    monitor.otherProgress(); // closing
    return {};
}

// ---------------------------------------------------------------------------
// Erasing

Error Drive::blank(bool full, WriteMonitor& monitor) {
    burn_drive* d = nullptr;
    bool format = false;
    {
        std::unique_lock lock(mutex_);
        if (!awaitWindDownLocked(lock)) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The drive is already writing");
        }
        if (setup_.stdio) {
            return notSupported("The pseudo-drive " + setup_.title +
                                " writes a file; there is no disc to erase");
        }
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        if (!fresh) {
            refreshLocked();
        }
        if (!state_.present()) {
            return noDisc();
        }
        // CD-RW and DVD-RW (sequential or restricted overwrite) are blanked,
        // DVD+RW formatted; libburn has no erase for anything else.
        const int p = state_.profile;
        format = p == 0x1a;
        if (!(p == 0x0a || p == 0x13 || p == 0x14 || format) || (!state_.erasable && !format)) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x05,
                              "The " + profileText(state_) +
                                  " disc cannot be erased: it is write-once or pressed (only "
                                  "CD-RW, DVD-RW and DVD+RW can be)");
        }
        if (!(setup_.facts.writesCdRw || setup_.facts.writesDvdPlusRw || setup_.facts.writesDvdR)) {
            return notSupported("The drive " + setup_.title + " cannot write, so it cannot erase");
        }
        d = drive_;
        writing_ = true;
        closedByWrite_.clear();
        feat21Failed_.clear();
        changed_.notify_all();
    }

    monitor.otherProgress();
    uint64_t mark = 0;
    const bool started = startOperation(d, monitor, mark, [&] {
        if (format) {
            // Formatted to its full size; libburn decides the format itself.
            burn_disc_format(d, 0, 0);
        } else {
            burn_disc_erase(d, full ? 0 : 1);
        }
    });
    bool cancelNoted = false;
    uint64_t done = 0;
    while (burn_drive_get_status(d, nullptr) != BURN_DRIVE_IDLE) {
        burn_progress p{};
        burn_drive_get_status(d, &p);
        if (p.sectors > 0) {
            const uint64_t total = static_cast<uint64_t>(p.sectors) * 2048;
            const uint64_t now =
                std::min<uint64_t>(static_cast<uint64_t>(std::max(p.sector, 0)) * 2048, total);
            if (now >= done) {
                done = now;
                monitor.progress(total, done);
            }
        }
        if (monitor.cancelled() && !cancelNoted) {
            // A drive cannot stop an erase it has begun; stopping it would
            // leave the disc unreadable to everything.
            note("The erase on " + setup_.title +
                 " cannot be stopped once begun; it finishes before the cancel is answered");
            cancelNoted = true;
        }
        if (cancelNoted) {
            std::this_thread::sleep_for(kPollStep);
        } else {
            monitor.sleepUntil(Clock::now() + kPollStep);
        }
    }
    const bool erased = started && burn_drive_wrote_well(d) != 0;
    int err = 0;
    const std::string why = failureText(messagesSince(mark), err);
    {
        std::lock_guard lock(mutex_);
        writing_ = false;
        burn_drive_re_assess(d, 0);
        refreshLocked();
        applySpeedsLocked();
        touchLocked();
    }
    if (!erased) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, err != 0 ? static_cast<uint32_t>(err) : EIO,
                         std::string(format ? "Formatting" : "Blanking") + " the disc in " +
                             setup_.title + " failed" + (why.empty() ? "" : ": " + why));
    }
    // A cancel that came during the erase is not reported: the disc is erased,
    // and saying otherwise would have the user believe its contents remain.
    return {};
}

// ---------------------------------------------------------------------------
// Discovery

Error examineDrive(const std::string& deviceFile, DeviceFacts& f, burn_drive_info*& kept) {
    kept = nullptr;
    burn_drive_info* info = nullptr;
    int result = 0;
    uint64_t mark = 0;
    {
        std::lock_guard list(driveListMutex());
        mark = messageMark();
        std::string address = deviceFile;
        result = burn_drive_scan_and_grab(&info, address.data(), 0);
        if ((result <= 0 || info == nullptr) && info != nullptr) {
            burn_drive_info_free(info);
            info = nullptr;
        }
    }
    if (result <= 0 || info == nullptr) {
        int err = 0;
        std::string why = failureText(messagesSince(mark), err);
        if (why.empty()) {
            why = "libburn could not acquire it";
        }
        if (busyFailure(why, err)) {
            const std::string advice = busyAdvice(deviceFile);
            if (!advice.empty()) {
                why += ". " + advice;
            }
        }
        return makeError(SB_EXCEPTION_DEVICE_BUSY, err != 0 ? static_cast<uint32_t>(err) : EBUSY,
                         why);
    }
    const burn_drive_info& i = info[0];
    burn_drive* d = i.drive;
    auto text = [](const char* s, size_t n) {
        std::string t(s, strnlen(s, n));
        while (!t.empty() && t.back() == ' ') {
            t.pop_back();
        }
        return t;
    };
    f.vendor = text(i.vendor, sizeof i.vendor);
    f.product = text(i.product, sizeof i.product);
    f.revision = text(i.revision, sizeof i.revision);
    f.bufferSize = static_cast<uint32_t>(std::max(i.buffer_size, 0)) * 1024;

    int count = 0;
    int profiles[64] = {};
    char current[64] = {};
    burn_drive_get_all_profiles(d, &count, profiles, current);
    auto has = [&](int p) {
        for (int k = 0; k < count && k < 64; ++k) {
            if (profiles[k] == p) {
                return true;
            }
        }
        return false;
    };
    // libburn gives write modes only to drives that write CD or DVD.
    const bool writer = (i.tao_block_types | i.sao_block_types) != 0;
    f.readsCdR = i.read_cdr || has(0x09);
    f.readsCdRw = i.read_cdrw || has(0x0a);
    f.readsDvdRom = i.read_dvdrom || has(0x10);
    f.readsDvdR = i.read_dvdr || has(0x11) || has(0x14) || has(0x15);
    f.readsDvdRam = i.read_dvdram || has(0x12);
    f.readsDvdPlusR = has(0x1b);
    f.readsDvdPlusRw = has(0x1a);
    f.readsDvdPlusRDl = has(0x2b);
    f.testWrite = i.write_simulate;
    f.writesCdR = i.write_cdr || (writer && has(0x09));
    f.writesCdRw = i.write_cdrw || (writer && has(0x0a));
    f.writesDvdR = i.write_dvdr || (writer && (has(0x11) || has(0x13) || has(0x14) || has(0x15)));
    f.writesDvdRam = i.write_dvdram || (writer && has(0x12));
    f.writesDvdPlusR = writer && has(0x1b);
    f.writesDvdPlusRw = writer && has(0x1a);
    f.writesDvdPlusRDl = writer && has(0x2b);
    f.trackAtOnce = (i.tao_block_types & BURN_BLOCK_MODE1) != 0;
    f.sessionAtOnce = (i.sao_block_types & BURN_BLOCK_SAO) != 0;
    f.discAtOncePq = f.sessionAtOnce;
    f.discAtOnceRawPw = (i.raw_block_types & BURN_BLOCK_RAW96R) != 0;

    if (burn_write_opts* o = burn_write_opts_new(d)) {
        f.bupSupported = burn_write_opts_set_underrun_proof(o, 1) == 1;
        burn_write_opts_free(o);
    }

    // Released but kept scanned: later uses grab it without a bus scan.
    burn_drive_release(d, 0);
    kept = info;
    return {};
}

namespace {

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// /proc/mounts escapes blanks and the like as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(field[i + 1]) &&
            std::isdigit(field[i + 2]) && std::isdigit(field[i + 3])) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string firstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

bool busyFailure(const std::string& why, int err) {
    return err == EBUSY || why.find("busy") != std::string::npos;
}

std::vector<std::string> mountPointsOf(const std::string& deviceFile) {
    const std::string device = canonical(deviceFile);
    std::vector<std::string> mountPoints;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source;
        std::string target;
        fields >> source >> target;
        if (!source.empty() && source[0] == '/' &&
            canonical(unescapeMountField(source)) == device) {
            mountPoints.push_back(unescapeMountField(target));
        }
    }
    return mountPoints;
}

std::string busyAdvice(const std::string& deviceFile) {
    const std::string device = canonical(deviceFile);
    const std::vector<std::string> mountPoints = mountPointsOf(deviceFile);
    std::vector<std::string> holders;
    const std::string self = std::to_string(::getpid());
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* p = ::readdir(proc)) {
            const std::string pid = p->d_name;
            if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == self) {
                continue;
            }
            const std::string fdDir = "/proc/" + pid + "/fd";
            DIR* fds = ::opendir(fdDir.c_str()); // other users' processes stay closed
            if (fds == nullptr) {
                continue;
            }
            bool holds = false;
            while (const dirent* fd = ::readdir(fds)) {
                char target[PATH_MAX];
                const std::string link = fdDir + "/" + fd->d_name;
                const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
                if (n > 0) {
                    target[n] = '\0';
                    holds = holds || device == target;
                }
            }
            ::closedir(fds);
            if (holds) {
                const std::string name = firstLineOf("/proc/" + pid + "/comm");
                holders.push_back((name.empty() ? std::string("a process") : name) + " (pid " +
                                  pid + ")");
            }
        }
        ::closedir(proc);
    }
    std::string advice;
    if (!mountPoints.empty()) {
        advice = "Its disc is mounted at " + mountPoints.front() +
                 ": unmount it (eject it in the file manager, or umount \"" + mountPoints.front() +
                 "\") and try again";
    }
    if (!holders.empty()) {
        std::string list;
        for (size_t i = 0; i < holders.size() && i < 3; ++i) {
            list += (i == 0 ? "" : ", ") + holders[i];
        }
        if (holders.size() > 3) {
            list += " and " + std::to_string(holders.size() - 3) + " more";
        }
        advice += (advice.empty() ? "" : ". ") + std::string("It is held open by ") + list +
                  (mountPoints.empty() ? "; close that program and try again" : "");
    }
    return advice;
}

} // namespace starburn::lb

// ---------------------------------------------------------------------------
// Inspection for tests

using namespace starburn;
using namespace starburn::lb;

extern "C" STARBURN_API void StarBurnLibburnTesting_Describe(const StarBurnLibburnTesting_Disc* in,
                                                             uint8_t* pDiscType,
                                                             SB_DISC_INFORMATION* pInformation,
                                                             SB_TRACK_INFORMATION* pNextTrack,
                                                             SB_TOC_INFORMATION* pToc) {
    RawDisc raw;
    raw.media = mediaOf(static_cast<burn::burn_disc_status>(in->Status));
    raw.profile = static_cast<int>(in->Profile);
    raw.role = static_cast<Role>(in->Role);
    raw.erasable = in->Erasable != 0;
    raw.availableBytes = in->AvailableBytes;
    raw.readCapacity = in->ReadCapacity;
    raw.nwaResult = in->NwaResult;
    raw.nextTrackLba = in->NextTrackLba;
    raw.nwa = in->Nwa;
    raw.damage = in->Damage;
    for (uint32_t i = 0; i < in->SessionCount && i < STARBURN_LIBBURN_TESTING_MAX_SESSIONS; ++i) {
        const auto& from = in->Sessions[i];
        RawSession session;
        session.complete = from.Complete != 0;
        session.leadOut.extensionsValid = 1;
        session.leadOut.startLba = from.LeadOutLba;
        for (uint32_t k = 0; k < from.TrackCount && k < STARBURN_LIBBURN_TESTING_MAX_TRACKS; ++k) {
            const auto& t = from.Tracks[k];
            RawTocEntry e;
            e.point = t.Point;
            e.control = t.Control;
            e.extensionsValid = t.ExtensionsValid;
            e.startLba = t.StartLba;
            e.trackBlocks = t.TrackBlocks;
            e.sectors = t.TrackBlocks;
            e.trackStatusBits = t.TrackStatusBits;
            session.tracks.push_back(e);
        }
        raw.sessions.push_back(std::move(session));
    }
    const DiscState s = stateOf(raw);
    *pDiscType = discTypeOf(s);
    std::memset(pInformation, 0, sizeof *pInformation);
    std::memset(pNextTrack, 0, sizeof *pNextTrack);
    std::memset(pToc, 0, sizeof *pToc);
    if (s.present()) {
        fillDiscInformation(s, *pInformation);
        fillTrackInformation(s, SB_TRACK_NUMBER_INVISIBLE, *pNextTrack);
        fillTocInformation(s, *pToc);
    }
}

extern "C" STARBURN_API uint8_t StarBurnLibburnTesting_DriveOpenings(const char* pDeviceName,
                                                                     uint32_t* pScans,
                                                                     uint32_t* pGrabs) {
    auto session = currentSession();
    if (!session || pDeviceName == nullptr) {
        return SB_EXCEPTION_NOT_STARTED;
    }
    auto entry = session->table.byName(pDeviceName);
    auto* drive = entry ? dynamic_cast<Drive*>(entry->device.get()) : nullptr;
    if (drive == nullptr) {
        return SB_EXCEPTION_NO_DEVICE;
    }
    *pScans = drive->scans();
    *pGrabs = drive->grabs();
    return SB_EXCEPTION_NONE;
}

extern "C" STARBURN_API void StarBurnLibburnTesting_BusyAdvice(const char* pDeviceFile, char* pText,
                                                               uint32_t ulTextSize) {
    copyText(pText, ulTextSize, busyAdvice(pDeviceFile));
}

extern "C" STARBURN_API uint8_t StarBurnLibburnTesting_PlanWrite(
    uint8_t ucMethod, uint8_t bMultiSession, uint32_t ulProfile, uint32_t ulRole, uint32_t ulStatus,
    uint8_t bClaimedIncremental, const uint32_t* pCaps, uint8_t* pMethod, uint8_t* pMulti) {
    static constexpr WriteMethod kMethods[] = {WriteMethod::TrackAtOnce, WriteMethod::SessionAtOnce,
                                               WriteMethod::DiscAtOncePq,
                                               WriteMethod::DiscAtOnceRawPw};
    DiscState s;
    s.media = mediaOf(static_cast<burn::burn_disc_status>(ulStatus));
    s.profile = static_cast<int>(ulProfile);
    s.role = static_cast<Role>(ulRole);
    const WritePlan plan =
        planWrite(kMethods[ucMethod & 3], bMultiSession != 0, s, true, bClaimedIncremental != 0,
                  [&](WriteMethod m) {
                      const uint32_t bits = pCaps[static_cast<int>(m)];
                      return WriteCaps{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
                  });
    *pMethod = static_cast<uint8_t>(plan.method);
    *pMulti = plan.multi ? 1 : 0;
    return static_cast<uint8_t>(plan.change);
}
