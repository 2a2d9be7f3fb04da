// SPDX-License-Identifier: GPL-2.0-or-later
// The libburn drive object: grabbing and releasing, the queries about the
// disc, speeds, buffer-underrun protection, the tray and closing a session.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnReady.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnSense.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace starburn::lb {
namespace {

using namespace burn;

constexpr uint32_t kSlowestStdioSpeed = 176;

// How long a disc just put in may take to become ready, looked at in steps.
constexpr int kSettleSteps = 6;
constexpr auto kSettleStep = std::chrono::milliseconds(500);

// A refusal this library makes before the drive is asked reads as the drive's
// own refusal of that code would (the table's sentence and advice), then
// what in particular stands in the way.
Error refusedAs(uint8_t exception, const SenseCode& code, const std::string& detail) {
    return senseError(exception, static_cast<uint8_t>(code.key), static_cast<uint8_t>(code.asc),
                      static_cast<uint8_t>(code.ascq), senseAdvice(code) + " (" + detail + ")");
}

} // namespace

Error notReady(const std::string& title) {
    return refusedAs(SB_EXCEPTION_NOT_READY, {0x02, 0x3A, 0x00}, title);
}

Error becomingReady(const std::string& title) {
    return refusedAs(SB_EXCEPTION_NOT_READY, {0x02, 0x04, 0x01}, title);
}

Error incompatibleMedium(const std::string& why) {
    return refusedAs(SB_EXCEPTION_MEDIUM_ERROR, {0x05, 0x30, 0x00}, why);
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

bool stale(Media media) {
    return media == Media::Empty || media == Media::Unready || media == Media::Unknown;
}

// Notes about a write that went otherwise than asked, for the log.
void note(const std::string& text) {
    std::fprintf(stderr, "libStarBurn: %s\n", text.c_str());
}

// ---------------------------------------------------------------------------
// Grabbing and releasing

Drive::Drive(DriveSetup setup)
    : setup_(std::move(setup)), info_(setup_.info), bupEnabled_(setup_.facts.bupSupported) {
    if (setup_.notReadyAtStart) {
        lastFailure_ = setup_.notReadyAtStart;
        failureUntil_ = Clock::now() + kFailureMemory;
    }
    if (info_ != nullptr) {
        std::lock_guard lock(mutex_);
        drive_ = info_[0].drive;
        refreshLocked();
        applySpeedsLocked();
        touchLocked();
    }
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
    forgetLocked();
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

Error Drive::grabLocked(bool* fresh, const std::function<bool()>& cancelled) {
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
        // Every call on the drive reads libburn's queue, held or not, so the
        // program's message handler has what came since as the call is made.
        messageMark();
        return {};
    }
    if (Clock::now() < failureUntil_) {
        return lastFailure_;
    }
    if (!setup_.stdio) {
        if (Error e = awaitUnitReady(setup_.address, setup_.title, setup_.readyWait, cancelled)) {
            if (e.exception != SB_EXCEPTION_CANCELLED) {
                lastFailure_ = e;
                lastFailureBusy_ = false;
                failureUntil_ = Clock::now() + kFailureMemory;
            }
            return e;
        }
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
        lastFailureBusy_ = lastFailureBusy_ && lastFailure_.status != ENODEV;
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
    if (!setup_.stdio && deviceFileGone(setup_.address)) {
        return disconnected();
    }
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
        closeFailed_.clear();
    }
    changed_.notify_all();
}

void Drive::forgetLocked() {
    releaseLocked(false);
    if (info_ != nullptr) {
        // Dropped from libburn's drive list, which is libburn's global state.
        std::lock_guard list(driveListMutex());
        burn_drive_info_forget(&info_[0], 0);
        burn_drive_info_free(info_);
        info_ = nullptr;
    }
}

void Drive::dropLocked() {
    forgetLocked();
    closedByWrite_.clear();
    feat21Failed_.clear();
    closeFailed_.clear();
}

std::string leftAsText(const DiscState& s) {
    switch (s.media) {
    case Media::Blank:
        return "blank";
    case Media::Full:
        return "closed";
    case Media::Appendable:
        return (s.damage & 1) != 0 || s.incompleteSessions > 0 ? "appendable, its last session open"
                                                               : "appendable";
    default:
        return "as the drive does not tell";
    }
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

Error Drive::reassessIfStaleLocked(bool force, const std::function<bool()>& cancelled) {
    if (drive_ == nullptr || writing_ || !(force || setup_.stdio || stale(state_.media))) {
        return {};
    }
    // A disc put in while the drive stayed grabbed may still spin up, and
    // libburn's look at it would retry for many minutes.
    if (!setup_.stdio) {
        if (Error e = awaitUnitReady(setup_.address, setup_.title, setup_.readyWait, cancelled)) {
            return e;
        }
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
    return {};
}

Error Drive::stateForQuery(DiscState& out) {
    std::lock_guard lock(mutex_);
    if (!writing_) {
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        if (!fresh) {
            if (Error e = reassessIfStaleLocked()) {
                return e;
            }
        }
    }
    out = state_;
    return {};
}

Error Drive::disconnected() const {
    return makeError(SB_EXCEPTION_NO_DEVICE, ENODEV,
                     disconnectedAdvice() + " (" + setup_.title + ")");
}

Error Drive::discForQuery(DiscState& out) {
    if (Error e = stateForQuery(out)) {
        return e;
    }
    return out.present() ? Error{} : noDisc();
}

Error Drive::noDisc() const {
    // libburn sees a drive that went away as one without a disc.
    if (!setup_.stdio && deviceFileGone(setup_.address)) {
        return disconnected();
    }
    return notReady(setup_.title);
}

// ---------------------------------------------------------------------------
// Queries

Error Drive::testUnitReady() {
    std::lock_guard lock(mutex_);
    // libburn takes a drive that went away for one without a disc, or with
    // one it cannot read: the device file says it.
    if (!setup_.stdio && deviceFileGone(setup_.address)) {
        return disconnected();
    }
    if (!writing_) {
        bool fresh = false;
        if (Error e = grabLocked(&fresh)) {
            return e;
        }
        // The question whether a disc is in is asked anew: the drive stays
        // grabbed for a while after its last use, and a disc taken out or
        // put in (another one) meanwhile is otherwise not seen. A locked
        // tray keeps its disc.
        if (!fresh) {
            if (Error e = reassessIfStaleLocked(!held_)) {
                return e;
            }
        }
    }
    switch (state_.media) {
    case Media::Empty:
    case Media::Unknown:
        return noDisc();
    case Media::Unready:
        return becomingReady(setup_.title);
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
    if (Error e = discForQuery(s)) {
        return e;
    }
    fillDiscInformation(s, out);
    return {};
}

Error Drive::trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) {
    DiscState s;
    if (Error e = discForQuery(s)) {
        return e;
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
    if (Error e = discForQuery(s)) {
        return e;
    }
    fillTocInformation(s, out);
    return {};
}

Error Drive::discSpace(DiscSpace& out) {
    DiscState s;
    if (Error e = discForQuery(s)) {
        return e;
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
// Speeds and buffer-underrun protection

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

uint32_t Drive::pick(const std::vector<uint32_t>& speeds, uint32_t fastest,
                     uint32_t request) const {
    if (setup_.stdio) {
        return std::clamp(request, kSlowestStdioSpeed, kStdioTopSpeed);
    }
    if (speeds.empty()) {
        return std::min(request, fastest);
    }
    return speedFor(speeds, request);
}

uint32_t Drive::pickWrite(uint32_t request) const {
    return pick(writeSpeeds_, maxWrite_, request);
}

uint32_t Drive::pickRead(uint32_t request) const {
    return pick(readSpeeds_, maxRead_, request);
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
    if (!writing_ && drive_ != nullptr) {
        // Let go a moment later, not at once: the eject that follows an
        // unlock at the end of a burn then ejects the drive as it holds it.
        // Released at once, the disc would be stopped, spun up again and
        // read once more only to be ejected.
        releaseAt_ = std::min(releaseAt_, Clock::now() + kUnlockedRelease);
        changed_.notify_all();
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
        if (Error e = reassessIfStaleLocked()) {
            return e;
        }
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
    if (appendable && !closeFailed_.empty() && closeFailed_ == fingerprintOf(state_)) {
        return closeLeftOpenLocked();
    }
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

} // namespace starburn::lb
