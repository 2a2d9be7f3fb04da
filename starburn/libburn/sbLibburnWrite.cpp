// SPDX-License-Identifier: GPL-2.0-or-later
// Writing an image onto a libburn drive's disc: the checks before a write,
// the write itself (its libburn objects and the threads that feed them in
// sbLibburnWriteRun) and the wind-down of a cancelled one.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnCue.h"
#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnSense.h"
#include "starburn/libburn/sbLibburnWriteRun.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace starburn::lb {
namespace {

using namespace burn;

constexpr auto kThreadLinger = std::chrono::seconds(2);
// A pseudo-drive's file is forced to its storage once, at the end of the
// write (burn_write_opts_set_stdio_fsync 1). Chosen by measurement:
// libburn's default (every 16 MiB) was slower than libburn writing alone, no
// sync at all would report success for bytes still in the page cache.
constexpr int kStdioFsync = 1;

} // namespace

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

std::string msfText(uint32_t sectors) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", sectors / 4500, sectors / 75 % 60,
                  sectors % 75);
    return text;
}

// A cue sheet goes Disc-At-Once onto a blank CD, and all of it fits.
Error checkCue(const CueSession& cue, const DiscState& state, const std::string& title,
               burn_drive* d, bool testWrite, uint64_t& total) {
    if (state.profile != 0x09 && state.profile != 0x0A) {
        return incompatibleMedium("A cue sheet is burnt on a CD-R or CD-RW; the disc in " + title +
                                  " is a " + profileText(state));
    }
    const Caps caps = capsOf(d, WriteMethod::DiscAtOncePq);
    if (!caps.possible) {
        return notSupported("The " + profileText(state) + " disc in " + title +
                            " cannot be written Disc-At-Once through libburn");
    }
    if (testWrite && !caps.simulate) {
        return notSupported("A test write (simulation) is not possible on the " +
                            profileText(state) + " disc in " + title);
    }
    const uint64_t freeSectors = state.availableBytes / 2048;
    // The 150 sectors before the first track come before the disc's block 0.
    const uint32_t needed = cue.discSectors() - 150;
    if (needed > freeSectors) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, ENOSPC,
                         "The cue sheet does not fit on the disc: its tracks take " +
                             std::to_string(needed) + " sectors (" + msfText(needed) +
                             "), the disc holds " + std::to_string(freeSectors) + " (" +
                             msfText(static_cast<uint32_t>(freeSectors)) + ")");
    }
    total = cue.bytes();
    return {};
}

} // namespace

Error Drive::checkWriteLocked(const WriteJob& job, uint64_t& total, Plan& plan,
                              const CueSession* cue) {
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
        return becomingReady(setup_.title);
    case Media::Full:
        return incompatibleMedium("The " + profileText(state_) + " disc in " + setup_.title +
                                  " is complete (closed); nothing more can be written to it");
    case Media::Unsuitable:
        return incompatibleMedium("The " + profileText(state_) + " disc in " + setup_.title +
                                  " cannot be written (libburn finds it unsuitable)");
    }
    if ((job.method == WriteMethod::DiscAtOncePq || job.method == WriteMethod::DiscAtOnceRawPw) &&
        state_.media != Media::Blank) {
        return incompatibleMedium("Disc-At-Once needs a blank disc");
    }
    if (cue != nullptr) {
        plan.method = WriteMethod::DiscAtOncePq;
        plan.multi = false;
        return checkCue(*cue, state_, setup_.title, drive_, job.testWrite, total);
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
    burn_drive* d = nullptr;
    if (Error e = prepareWrite(job, monitor, *run, plan, total, d)) {
        return e;
    }
    // From here the drive is this thread's: the releaser and the queries keep
    // their hands off until writing_ goes.
    run->startFeeding();
    uint64_t mark = 0;
    const bool spawned =
        startOperation(d, monitor, mark, [&] { burn_disc_write(run->opts, run->disc); });
    monitor.progress(total, 0);
    Error stopped;
    if (spawned && followWrite(run, d, mark, total, job.testWrite, monitor, stopped)) {
        return stopped;
    }
    return finishWrite(job, *run, plan, d, mark, spawned, total, monitor);
}

Error Drive::prepareWrite(WriteJob& job, WriteMonitor& monitor, WriteRun& run, Plan& plan,
                          uint64_t& total, burn_drive*& d) {
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
    if (Error e = grabLocked(&fresh, [&monitor] { return monitor.cancelled(); })) {
        return e;
    }
    if (!fresh) {
        // A disc put in after the last look is seen; otherwise the
        // snapshot is renewed for the write.
        if (setup_.stdio || stale(state_.media)) {
            if (Error e =
                    reassessIfStaleLocked(false, [&monitor] { return monitor.cancelled(); })) {
                return e;
            }
        } else {
            refreshLocked();
        }
    }
    if (!job.cueSheet.empty()) {
        run.cue = std::make_unique<CueSession>();
        if (Error e = loadCueSheet(job.cueSheet, *run.cue)) {
            return e;
        }
    }
    if (Error e = formatBluRayLocked(job)) {
        return e;
    }
    if (Error e = checkWriteLocked(job, total, plan, run.cue.get())) {
        return e;
    }
    applySpeedsLocked();
    run.pseudoDrive = setup_.stdio;
    if (setup_.stdio && appliedWrite_ < kStdioTopSpeed) {
        run.rate = static_cast<uint64_t>(appliedWrite_) * 1000;
    }
    if (Error e = run.build(job)) {
        return e;
    }
    d = drive_;
    if (Error e = writeOptionsLocked(job, plan, run)) {
        return e;
    }
    writing_ = true;
    closedByWrite_.clear();
    changed_.notify_all();
    return {};
}

Error Drive::writeOptionsLocked(const WriteJob& job, const Plan& plan, WriteRun& run) {
    run.opts = burn_write_opts_new(drive_);
    if (run.opts == nullptr) {
        return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up the write");
    }
    int typeSet = 0;
    switch (plan.method) {
    case WriteMethod::TrackAtOnce:
        typeSet = burn_write_opts_set_write_type(run.opts, BURN_WRITE_TAO, BURN_BLOCK_MODE1);
        break;
    case WriteMethod::SessionAtOnce:
    case WriteMethod::DiscAtOncePq:
        typeSet = burn_write_opts_set_write_type(run.opts, BURN_WRITE_SAO, BURN_BLOCK_SAO);
        break;
    case WriteMethod::DiscAtOnceRawPw:
        typeSet = burn_write_opts_set_write_type(run.opts, BURN_WRITE_RAW, BURN_BLOCK_RAW96R);
        break;
    }
    if (typeSet == 0) {
        return notSupported(std::string("libburn cannot write ") + writeMethodName(plan.method) +
                            " on " + setup_.title);
    }
    burn_write_opts_set_simulate(run.opts, job.testWrite ? 1 : 0);
    burn_write_opts_set_underrun_proof(run.opts, bupEnabled_ ? 1 : 0);
    burn_write_opts_set_multi(run.opts, plan.multi ? 1 : 0);
    // Only a BD (and a DVD-RAM) knows stream recording; it stays off unless asked for.
    burn_write_opts_set_stream_recording(run.opts, streamRecording_ ? 1 : 0);
    if (setup_.stdio) {
        burn_write_opts_set_stdio_fsync(run.opts, kStdioFsync);
    }
    char reasons[BURN_REASONS_LEN] = {};
    if (burn_precheck_write(run.opts, run.disc, reasons, 1) <= 0) {
        std::string why = reasons;
        while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) {
            why.pop_back();
        }
        return incompatibleMedium("libburn refuses this write on " + setup_.title +
                                  (why.empty() ? std::string() : ": " + why));
    }
    return {};
}

bool Drive::followWrite(std::unique_ptr<WriteRun>& run, burn_drive* d, uint64_t mark,
                        uint64_t total, bool simulated, WriteMonitor& monitor, Error& stopped) {
    uint64_t done = 0;
    int lastStatus = BURN_DRIVE_IDLE;
    std::vector<uint64_t> trackStart;
    uint64_t sum = 0;
    for (const auto& f : run->feeds) {
        trackStart.push_back(sum);
        sum += f.size;
    }
    for (;;) {
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
                stopped = feedError;
                return true;
            }
            stopped = makeError(
                SB_EXCEPTION_CANCELLED, ECANCELED,
                std::string("The write was cancelled") +
                    (!setup_.stdio && !simulated ? "; the disc may hold an unfinished track" : ""));
            return true;
        }
        burn_progress p{};
        const burn_drive_status status = burn_drive_get_status(d, &p);
        if (status == BURN_DRIVE_IDLE) {
            return false;
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
                run->taken = done;
                monitor.progress(total, done);
            }
            if (p.buffer_capacity > 0) {
                monitor.bufferStatus(p.buffer_capacity,
                                     std::min(p.buffer_available, p.buffer_capacity));
            }
        }
        monitor.sleepUntil(Clock::now() + kPollStep);
    }
}

Error Drive::finishWrite(const WriteJob& job, WriteRun& run, const Plan& plan, burn_drive* d,
                         uint64_t mark, bool spawned, uint64_t total, WriteMonitor& monitor) {
    const bool simulated = job.testWrite;
    const bool wroteWell = spawned && burn_drive_wrote_well(d) != 0;
    const bool feat21 = spawned && !wroteWell && plan.method == WriteMethod::TrackAtOnce &&
                        burn_drive_was_feat21_failure(d) != 0;
    if (spawned && !wroteWell) {
        awaitWriteThreadEnd(mark);
    }
    run.stopFeeding();
    int err = 0;
    std::string why = failureText(messagesSince(mark), err);
    const Error fileChanged = wroteWell ? run.checkFiles() : Error{};

    const bool lost = !wroteWell && lostDrive(why, err);
    std::string left; // what the disc is left as, after a failure
    {
        std::lock_guard lock(mutex_);
        writing_ = false;
        if (lost) {
            // Taken anew (scanned) at the next use: libburn's handle of a
            // drive that went away never answers again.
            dropLocked();
            return operationFailure(SB_EXCEPTION_WRITE_ERROR, err,
                                    "The write on " + setup_.title + " failed", why);
        }
        // libburn advises a fresh look at the medium after writing.
        burn_drive_re_assess(d, 0);
        refreshLocked();
        left = leftAsText(state_);
        closeFailed_.clear();
        if (!wroteWell && why.find("Failed to close") != std::string::npos &&
            state_.media == Media::Appendable) {
            closeFailed_ = fingerprintOf(state_);
        }
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

    if (run.feedFailed) {
        return run.feedError;
    }
    if (fileChanged) {
        return fileChanged;
    }
    if (!wroteWell) {
        // A drive pulled out mid-write leaves libburn with little to say.
        if (!isDisconnection(err) && deviceFileGone(setup_.address)) {
            err = ENODEV;
        }
        Error e = operationFailure(SB_EXCEPTION_WRITE_ERROR, err,
                                   "The write on " + setup_.title + " failed", why + planNote);
        // libburn closes the track even after a write the drive refused (a
        // calibration that failed, for one): then the image was not written.
        if (why.find("Failed to close") != std::string::npos &&
            why.find("error on write(") == std::string::npos) {
            e.text += ". The image was written, but the drive did not close its track or "
                      "session: the disc is left " +
                      left + "; closing the session (CloseSession) tries again";
        }
        if (feat21) {
            e.text += ". The drive claimed it could write this disc track by track but cannot; "
                      "write it again and it is written Session-At-Once";
        }
        return e;
    }
    if (!plan.note.empty()) {
        note(plan.note);
    }
    monitor.progress(total, total);
    monitor.otherProgress(); // closing
    return {};
}

} // namespace starburn::lb
