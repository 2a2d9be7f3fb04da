// SPDX-License-Identifier: GPL-2.0-or-later
// Writing an image onto a libburn drive's disc: the checks before a write,
// the libburn objects of one write and the thread that feeds them, the write
// itself and the wind-down of a cancelled one.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/libburn/sbLibburnCue.h"
#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnFeedQueue.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnSense.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

using namespace burn;

// 16 MiB read ahead of the drive from a source the library reads: less
// starves the drive on real media.
constexpr size_t kFeedChunk = 256 * 1024;
constexpr size_t kFeedBlocks = 64;
// A stream the caller feeds has the caller's buffer before it (one for
// several drives at once): 4 MiB here keeps memory flat with many drives.
constexpr size_t kStreamFeedBlocks = 16;
// An image file libburn reads itself is kept this far ahead of the drive in
// the page cache, asked for in steps of this much: the drive's reserve when
// the disk stalls, as a fifo would hold it, without copying it through one.
// (libburn's fifo, besides, waits 50 ms whenever it finds itself full or
// empty, so a drive that takes 16 MiB in less than that waits every time.)
constexpr uint64_t kReadAhead = 32 * 1024 * 1024;
constexpr uint64_t kReadAheadStep = 4 * 1024 * 1024;
constexpr auto kReadAheadPoll = std::chrono::milliseconds(20);
constexpr auto kThreadLinger = std::chrono::seconds(2);
// A pseudo-drive's file is forced to its storage once, at the end of the
// write (burn_write_opts_set_stdio_fsync 1). Chosen by measurement:
// libburn's default (every 16 MiB) was slower than libburn writing alone, no
// sync at all would report success for bytes still in the page cache.
constexpr int kStdioFsync = 1;

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

// The libburn objects of one write and, where libburn cannot read the image
// itself, the threads that feed it: a socket per track, read by libburn,
// written by the sender from the blocks the feeder reads ahead from the
// job's sources (FeedQueue). An image file that
// needs no throttling is handed to libburn as a file descriptor and read by
// libburn directly, its fastest path; on a real drive a reader thread keeps
// the part of it the drive comes to next in the page cache. libburn never
// calls back into this library's code, so its threads (which it may cancel
// at any instruction) run only its own.
struct Drive::WriteRun {
    struct Feed {
        int socket = -1; // our end; libburn owns and closes the other
        int file = -1;   // the image file handed to libburn (it closes its copy)
        uint64_t fileSize = 0;
        burn_source* input = nullptr;
        burn_track* track = nullptr;
        ImageSource* source = nullptr;
        std::string description;
        uint64_t size = 0;
    };

    burn_disc* disc = nullptr;
    burn_session* session = nullptr;
    burn_write_opts* opts = nullptr;
    std::vector<Feed> feeds;
    // The session libburn read from a cue sheet, in place of the feeds.
    std::unique_ptr<CueSession> cue;
    // Bytes per second the feeder keeps to (a throttled pseudo-drive); 0: as
    // fast as libburn takes them.
    uint64_t rate = 0;
    bool pseudoDrive = false;

    std::unique_ptr<FeedQueue> queue;
    std::thread feeder;
    std::thread sender;
    std::thread reader;
    // Bytes of the job the drive has taken (followWrite), for the reader.
    std::atomic<uint64_t> taken{0};
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
            if (f.input != nullptr) {
                burn_source_free(f.input);
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
        if (queue != nullptr) {
            queue->close();
        }
        for (auto& f : feeds) {
            if (f.socket >= 0) {
                ::shutdown(f.socket, SHUT_RDWR);
            }
        }
        if (feeder.joinable()) {
            feeder.join();
        }
        if (sender.joinable()) {
            sender.join();
        }
        if (reader.joinable()) {
            reader.join();
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
        session = cue != nullptr ? nullptr : burn_session_create();
        if (disc == nullptr || (cue == nullptr && session == nullptr) ||
            (session != nullptr && burn_disc_add_session(disc, session, BURN_POS_END) == 0)) {
            return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up the disc");
        }
        if (cue != nullptr && burn_disc_add_session(disc, cue->session, BURN_POS_END) == 0) {
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
            // libburn reads the file or the socket itself, without its fifo:
            // the file is kept ahead in the page cache (kReadAhead), the
            // socket's bytes in the feed queue.
            f.input = input;
            f.track = burn_track_create();
            feeds.push_back(f);
            if (f.track == nullptr) {
                return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up a track");
            }
            // Data mode 1, the last sector padded with zeros.
            burn_track_define_data(f.track, 0, 0, 1, BURN_MODE1);
            if (burn_track_set_source(f.track, f.input) != BURN_SOURCE_OK ||
                burn_session_add_track(session, f.track, BURN_POS_END) == 0) {
                return makeError(SB_EXCEPTION_GENERIC, 0, "libburn refused a track");
            }
        }
        return {};
    }

    bool needsReader() const {
        return !pseudoDrive &&
               std::any_of(feeds.begin(), feeds.end(), [](const Feed& f) { return f.file >= 0; });
    }

    void startFeeding() {
        if (needsFeeder()) {
            // Throttled, the bytes go in steps of about 20 ms, so a stop is
            // seen between two steps.
            const size_t chunk =
                rate == 0 ? kFeedChunk
                          : std::clamp<size_t>(static_cast<size_t>(rate / 50) / 2048 * 2048, 2048,
                                               kFeedChunk);
            const bool fed = std::any_of(feeds.begin(), feeds.end(), [](const Feed& f) {
                return f.socket >= 0 && f.source->fedByCaller();
            });
            const size_t bytes = (fed ? kStreamFeedBlocks : kFeedBlocks) * kFeedChunk;
            queue = std::make_unique<FeedQueue>(chunk, bytes / chunk);
            feeder = std::thread([this] { feed(); });
            sender = std::thread([this] { send(); });
        }
        if (needsReader()) {
            reader = std::thread([this] { readAhead(); });
        }
    }

    // Asks the kernel to read the image files' bytes [from, to) of the job
    // into the page cache, each file through the library's own descriptor
    // (libburn closes its copy when it likes).
    void adviseRange(uint64_t from, uint64_t to) const {
        uint64_t start = 0;
        for (const auto& f : feeds) {
            const uint64_t end = start + f.size;
            if (f.file >= 0 && from < end && to > start) {
                const uint64_t a = std::max(from, start) - start;
                const uint64_t b = std::min(to, end) - start;
                ::posix_fadvise(f.source->fileDescriptor(), static_cast<off_t>(a),
                                static_cast<off_t>(b - a), POSIX_FADV_WILLNEED);
            }
            start = end;
        }
    }

    void readAhead() {
        uint64_t total = 0;
        for (const auto& f : feeds) {
            total += f.size;
        }
        uint64_t asked = 0;
        std::unique_lock lock(mutex);
        while (!stop && asked < total) {
            const uint64_t want = std::min(total, taken.load() + kReadAhead);
            if (want >= asked + kReadAheadStep || (want == total && want > asked)) {
                // A step at a time: a slow disk may hold the asking up, and
                // a cancel waits for the step in hand.
                const uint64_t to = std::min(want, asked + kReadAheadStep);
                lock.unlock();
                adviseRange(asked, to);
                lock.lock();
                asked = to;
                continue;
            }
            wake.wait_for(lock, kReadAheadPoll, [this] { return stop.load(); });
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

    // Reads the sockets' tracks, in order, into the queue.
    void feed() {
        for (size_t i = 0; i < feeds.size(); ++i) {
            Feed& f = feeds[i];
            if (f.socket < 0) {
                continue;
            }
            uint64_t left = f.size;
            do {
                char* block = queue->emptyBlock();
                if (block == nullptr) {
                    return; // stopped
                }
                const size_t n = static_cast<size_t>(std::min<uint64_t>(left, queue->blockSize()));
                std::string error;
                int err = 0;
                if (n > 0 && !f.source->read(block, n, error, err)) {
                    queue->done(block);
                    feedError =
                        makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
                    feedFailed = true;
                    queue->close();
                    return;
                }
                left -= n;
                queue->filled({block, n, i, left == 0});
            } while (left > 0);
        }
        queue->finish();
    }

    // Hands the queued blocks to libburn, at the pace of a throttled drive.
    void send() {
        const auto start = Clock::now();
        uint64_t sent = 0;
        FeedQueue::Block b;
        while (queue->next(b)) {
            const int socket = feeds[b.track].socket;
            const bool ok = sendAll(socket, b.data, b.length);
            queue->done(b.data);
            if (!ok) {
                queue->close();
                return; // libburn stopped reading: the write ended or was cancelled
            }
            if (b.lastOfTrack) {
                // The end of the track's input.
                ::shutdown(socket, SHUT_WR);
            }
            sent += b.length;
            if (rate != 0) {
                const auto due =
                    start +
                    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                        static_cast<double>(sent) / static_cast<double>(rate)));
                std::unique_lock lock(mutex);
                wake.wait_until(lock, due, [this] { return stop.load(); });
            }
        }
    }
};

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
