// SPDX-License-Identifier: GPL-2.0-or-later
// Writing and erasing a virtual disc: the checks before a write, the paced
// copy of the image into the disc's contents file, what a failed write leaves.
#include "starburn/virtual/sbVirtualRecorder.h"

#include "starburn/virtual/sbVirtualFiles.h"
#include "starburn/virtual/sbVirtualRecorderParts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace starburn::virt {
namespace {

constexpr size_t kMaxChunk = 1 << 20; // bounded memory whatever the image size

// The moment seconds after start, at most a year on: a tiny rate (WriteLimit
// = 1) would otherwise overflow the clock's 64-bit count of nanoseconds.
Clock::time_point secondsAfter(Clock::time_point start, double seconds) {
    constexpr double kYear = 365.0 * 24 * 3600;
    if (!(seconds > 0)) {
        seconds = 0;
    }
    seconds = std::min(seconds, kYear);
    return start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

} // namespace

struct Recorder::Plan {
    uint32_t startLba = 0;
    uint64_t total = 0;
    std::vector<uint64_t> trackBytes;
    double rate = 0; // bytes per second; 0 for as fast as the disk allows
    uint32_t bufferSize = 0;
    std::optional<WriteFault> fault;
    bool testWrite = false;
};

Error Recorder::planLocked(const WriteJob& job, Plan& plan) {
    const DeviceFacts& f = config_.facts;
    if (!(f.writesCdR || f.writesCdRw || f.writesDvdR || f.writesDvdRam || f.writesDvdPlusR ||
          f.writesDvdPlusRw || f.writesDvdPlusRDl)) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED,
                            "The drive " + f.product + " cannot write discs");
    }
    const bool supported = (job.method == WriteMethod::TrackAtOnce && f.trackAtOnce) ||
                           (job.method == WriteMethod::SessionAtOnce && f.sessionAtOnce) ||
                           (job.method == WriteMethod::DiscAtOncePq && f.discAtOncePq) ||
                           (job.method == WriteMethod::DiscAtOnceRawPw && f.discAtOnceRawPw);
    if (!supported) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED, "The drive " + f.product +
                                                            " does not write " +
                                                            writeMethodName(job.method));
    }
    if (job.testWrite && !f.testWrite) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED,
                            "The drive " + f.product + " cannot test-write");
    }
    if (!disc_.present() || discPulled_) {
        return noDisc();
    }
    const DiscKind& kind = *disc_.kind();
    if (disc_.pressed()) {
        return incompatibleMedium(std::string("The disc in the drive is a ") + kind.name +
                                  "; it cannot be written");
    }
    if (!writesKind(f, kind)) {
        return incompatibleMedium("The drive " + f.product + " cannot write " + kind.name +
                                  " discs");
    }
    if (disc_.isDamaged()) {
        return incompatibleMedium("The disc was damaged by a failed write; it cannot be "
                                  "written again");
    }
    if (disc_.isComplete()) {
        return incompatibleMedium("The disc is complete (closed); nothing more can be written "
                                  "to it");
    }
    if ((job.method == WriteMethod::DiscAtOncePq || job.method == WriteMethod::DiscAtOnceRawPw) &&
        !disc_.isBlank()) {
        return incompatibleMedium("Disc-At-Once needs a blank disc");
    }
    if (job.method == WriteMethod::SessionAtOnce && disc_.hasOpenSession()) {
        return incompatibleMedium("A session of the disc is still open; close it before "
                                  "writing a new session");
    }
    if (disc_.tracks().size() + job.tracks.size() > kMaxTracks) {
        return incompatibleMedium("A disc holds at most " + std::to_string(kMaxTracks) + " tracks");
    }
    uint64_t blocks = 0;
    plan.total = 0;
    for (const auto& t : job.tracks) {
        const uint64_t size = t.source->size();
        plan.trackBytes.push_back(size);
        plan.total += size;
        blocks += blocksOf(size);
    }
    const uint64_t freeBlocks = disc_.freeBlocks();
    if (blocks > freeBlocks) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, ENOSPC,
                         "The image does not fit on the disc: it needs " + std::to_string(blocks) +
                             " blocks (" + std::to_string(plan.total) + " bytes), the disc has " +
                             std::to_string(freeBlocks) + " free blocks" +
                             (job.overburn ? " and overburning is not supported" : ""));
    }
    plan.startLba = disc_.nextWritable();
    plan.bufferSize = f.bufferSize;
    plan.testWrite = job.testWrite;
    const double speed = static_cast<double>(pickSpeed(writeSpeeds(), requestedWrite_)) * 1000.0;
    double rate = 0;
    if (timeFactor_ > 0 && speed > 0) {
        rate = speed / timeFactor_;
    }
    if (writeLimit_ > 0 && (rate == 0 || static_cast<double>(writeLimit_) < rate)) {
        rate = static_cast<double>(writeLimit_);
    }
    plan.rate = rate;
    if (nextWriteFault_) {
        plan.fault = nextWriteFault_;
        nextWriteFault_.reset();
    } else if (config_.failWriteAtByte) {
        plan.fault = WriteFault{*config_.failWriteAtByte, false};
    } else if (config_.takeDiscOutAtByte) {
        plan.fault = WriteFault{*config_.takeDiscOutAtByte, true};
    }
    return {};
}

Recorder::WritingEnds::~WritingEnds() {
    std::lock_guard lock(recorder.mutex_);
    recorder.writing_ = false;
}

Error Recorder::write(WriteJob& job, WriteMonitor& monitor) {
    if (!job.cueSheet.empty()) {
        // Its disc keeps 2048-byte data sectors only; a cue sheet's audio
        // tracks and pregaps have nowhere to go.
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, EINVAL,
                         "A virtual recorder does not burn cue sheets; burn it on a real "
                         "(libburn) drive, or burn its data track's ISO image instead");
    }
    Plan plan;
    {
        std::lock_guard lock(mutex_);
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is already writing");
        }
        if (Error e = planLocked(job, plan)) {
            return e;
        }
        if (!plan.testWrite) {
            // Recorded before the first byte goes out: when the program dies
            // during the write, the next start finds a disc that was being
            // written, not a blank one beside half an image.
            Disc marked = disc_;
            marked.beginWrite();
            if (Error e = saveLocked(marked)) {
                e.text = "The write did not start: " + e.text;
                return e;
            }
        }
        writing_ = true;
    }
    const WritingEnds done{*this};

    uint64_t written = 0;
    Error e;
    try {
        e = stream(job, monitor, plan, written);
    } catch (...) {
        recordFailure(plan, written, false);
        throw;
    }
    if (e) {
        const bool takeOut = discPulled_.load() || (e.exception == SB_EXCEPTION_NOT_READY &&
                                                    plan.fault && plan.fault->takeDiscOut);
        recordFailure(plan, written, takeOut);
        return e;
    }
    std::lock_guard lock(mutex_);
    if (!plan.testWrite) {
        // Each fits: the plan checked the sum against the disc's free blocks.
        std::vector<uint32_t> blocks;
        for (uint64_t b : plan.trackBytes) {
            blocks.push_back(static_cast<uint32_t>(blocksOf(b)));
        }
        switch (job.method) {
        case WriteMethod::TrackAtOnce:
            disc_.addTrackAtOnce(blocks.front(), job.multiSession);
            break;
        case WriteMethod::SessionAtOnce:
            // Session-At-Once closes the disc with its session.
            disc_.addSession(blocks, job.closeSession, false);
            break;
        case WriteMethod::DiscAtOncePq:
        case WriteMethod::DiscAtOnceRawPw:
            disc_.addSession(blocks, true, job.multiSession);
            break;
        }
        corruptWrittenLocked(plan.startLba, plan.total);
        // A write the disc's record does not show has not happened for the
        // next start of the program: the caller learns it now.
        if (Error e = persistLocked()) {
            e.text = "The image was written, but " + e.text;
            return e;
        }
    }
    return {};
}

Error Recorder::blank(bool full, WriteMonitor& monitor) {
    uint64_t total = 0;
    double rate = 0;
    uint8_t type = 0;
    uint32_t capacity = 0;
    {
        std::lock_guard lock(mutex_);
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is already writing");
        }
        if (!disc_.present() || discPulled_) {
            return noDisc();
        }
        const DiscKind* k = disc_.kind();
        if (k == nullptr || !k->erasable) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x05,
                              std::string("The ") + (k != nullptr ? k->name : "unknown") +
                                  (disc_.pressed() ? " disc is pressed" : " disc is write-once") +
                                  "; it cannot be erased (only CD-RW, DVD-RW and DVD+RW can)");
        }
        if (!writesKind(config_.facts, *k)) {
            return makeError(SB_EXCEPTION_NOT_SUPPORTED, EOPNOTSUPP,
                             std::string("The recorder cannot write ") + k->name +
                                 " discs, so it cannot erase them");
        }
        type = disc_.type();
        capacity = disc_.capacity();
        // A quick blank erases what was recorded (at least the lead-in's
        // worth); a full one every block of the disc.
        const uint64_t blocks = full ? capacity : std::max<uint64_t>(disc_.nextWritable(), 1);
        total = blocks * kBlockSize;
        const double speed =
            static_cast<double>(pickSpeed(writeSpeeds(), requestedWrite_)) * 1000.0;
        if (timeFactor_ > 0 && speed > 0) {
            rate = speed / timeFactor_;
        }
        writing_ = true;
    }
    const WritingEnds done{*this};

    monitor.otherProgress();
    monitor.progress(total, 0);
    const auto start = Clock::now();
    uint64_t erased = 0;
    bool cancelled = false;
    // Steps of a tenth of a second at most, so a cancel is seen at once.
    const uint64_t step =
        rate > 0 ? std::max<uint64_t>(static_cast<uint64_t>(rate / 10), kBlockSize) : total;
    while (erased < total) {
        erased = std::min(total, erased + step);
        if (rate > 0) {
            const auto due =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(erased) / rate));
            if (!monitor.sleepUntil(due)) {
                cancelled = true;
            }
        } else if (monitor.cancelled()) {
            cancelled = true;
        }
        if (cancelled || discPulled_) {
            break;
        }
        monitor.progress(total, erased);
    }

    std::lock_guard lock(mutex_);
    if (discPulled_) {
        std::string path;
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                         e.text.c_str());
        }
        disc_ = Disc();
        discPulled_ = false;
        persistQuietly();
        return notReady("The disc was taken out of the drive while it was being erased");
    }
    disc_ = Disc::blank(type, capacity);
    if (cancelled) {
        // What was erased is gone and the rest no longer makes a disc: it
        // needs blanking again before it takes a write.
        disc_.addDamaged(static_cast<uint32_t>(std::min<uint64_t>(erased / kBlockSize, capacity)));
    }
    ::unlink(contentsFile().c_str());
    persistQuietly();
    if (cancelled) {
        return makeError(SB_EXCEPTION_CANCELLED, ECANCELED,
                         "The erase was cancelled; the disc must be blanked again before it is "
                         "written");
    }
    return {};
}

// How far a paced write has come: the drive burns at the plan's rate from
// the start, and what the stream sent beyond that waits in its buffer.
struct Recorder::Pace {
    Pace(const Plan& plan, const uint64_t& done)
        : plan(plan), done(done), start(Clock::now()),
          lead(std::min<double>(plan.bufferSize, static_cast<double>(plan.total) / 20)) {}

    double burned(Clock::time_point now) const {
        if (plan.rate <= 0) {
            return static_cast<double>(done);
        }
        const double seconds = std::chrono::duration<double>(now - start).count();
        return std::min<double>(static_cast<double>(done), seconds * plan.rate);
    }

    void reportBuffer(WriteMonitor& monitor) const {
        uint32_t fill = plan.bufferSize;
        if (plan.rate > 0) {
            const double inBuffer = static_cast<double>(done) - burned(Clock::now());
            fill = static_cast<uint32_t>(std::clamp<double>(inBuffer, 0, plan.bufferSize));
        }
        monitor.bufferStatus(plan.bufferSize, plan.bufferSize - fill);
    }

    // Waits while the buffer is full; false when the write was cancelled.
    bool keepUp(WriteMonitor& monitor) const {
        if (plan.rate > 0 && static_cast<double>(done) > lead) {
            const auto due = secondsAfter(start, (static_cast<double>(done) - lead) / plan.rate);
            if (due > Clock::now() && !monitor.sleepUntil(due)) {
                return false;
            }
        }
        return true;
    }

    // The drive empties its buffer onto the disc; false when cancelled.
    bool drain(WriteMonitor& monitor) const {
        if (plan.rate > 0) {
            const auto end = secondsAfter(start, static_cast<double>(plan.total) / plan.rate);
            while (Clock::now() < end) {
                const auto step = std::min(end, Clock::now() + std::chrono::milliseconds(200));
                if (!monitor.sleepUntil(step)) {
                    return false;
                }
                reportBuffer(monitor);
            }
        }
        return true;
    }

    const Plan& plan;
    const uint64_t& done;
    const Clock::time_point start;
    const double lead;
};

namespace {

Error writeCancelled() {
    return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The write was cancelled");
}

} // namespace

Error Recorder::stream(WriteJob& job, WriteMonitor& monitor, const Plan& plan, uint64_t& done) {
    int fd = -1;
    if (!plan.testWrite) {
        fd = ::open(contentsFile().c_str(), O_WRONLY | O_CREAT | kNoLinks, 0644);
        if (fd < 0) {
            const int err = errno;
            return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                             fileError("The disc image cannot be opened", contentsFile(), err));
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    } closer{fd};

    size_t chunk = static_cast<size_t>(std::clamp<uint64_t>(plan.total / 100, 1, kMaxChunk));
    if (chunk >= 4096) {
        chunk -= chunk % 4096;
    }
    std::unique_ptr<char[]> buffer(new char[std::max<size_t>(chunk, kBlockSize)]);

    const Pace pace(plan, done);
    monitor.otherProgress(); // lead-in
    monitor.progress(plan.total, 0);
    pace.reportBuffer(monitor);

    uint64_t trackLba = plan.startLba;
    for (size_t i = 0; i < job.tracks.size(); ++i) {
        const uint64_t size = plan.trackBytes[i];
        const uint64_t base = trackLba * kBlockSize;
        TrackStream track{*job.tracks[i].source, size, base, fd, buffer.get(), chunk};
        if (Error e = streamTrack(track, monitor, plan, pace, done)) {
            return e;
        }
        // A track ends on a whole sector.
        const uint64_t tail = size % kBlockSize;
        if (fd >= 0 && tail != 0) {
            const char zeros[kBlockSize] = {};
            if (!pwriteAll(fd, zeros, kBlockSize - tail, base + size)) {
                const int werr = errno;
                return makeError(
                    SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(werr),
                    fileError("The disc image cannot be written", contentsFile(), werr));
            }
        }
        trackLba += blocksOf(size);
    }
    if (fd >= 0 && ::fdatasync(fd) != 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         fileError("The disc image cannot be flushed", contentsFile(), err));
    }
    if (!pace.drain(monitor) || monitor.cancelled()) {
        return writeCancelled();
    }
    monitor.otherProgress(); // closing
    return {};
}

Error Recorder::streamTrack(const TrackStream& track, WriteMonitor& monitor, const Plan& plan,
                            const Pace& pace, uint64_t& done) {
    uint64_t offset = 0;
    while (offset < track.size) {
        if (monitor.cancelled()) {
            return writeCancelled();
        }
        if (discPulled_) {
            return notReady("The disc was taken out of the drive during the write");
        }
        size_t n = static_cast<size_t>(std::min<uint64_t>(track.chunk, track.size - offset));
        bool faultHere = false;
        if (plan.fault && done + n >= plan.fault->atByte) {
            n = static_cast<size_t>(plan.fault->atByte - done);
            faultHere = true;
        }
        if (n > 0) {
            std::string error;
            int err = 0;
            const uint64_t at = track.base + offset;
            // The kernel copies file to file where it can; a test write
            // still reads every byte, as the drive would receive them.
            const int copied = track.fd >= 0 ? track.source.copyTo(track.fd, at, n, error, err) : 0;
            if (copied < 0) {
                return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
            }
            if (copied == 0 && !track.source.read(track.buffer, n, error, err)) {
                return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
            }
            if (copied == 0 && track.fd >= 0 && !pwriteAll(track.fd, track.buffer, n, at)) {
                const int werr = errno;
                return makeError(
                    SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(werr),
                    fileError("The disc image cannot be written", contentsFile(), werr));
            }
            offset += n;
            done += n;
        }
        if (faultHere) {
            if (plan.fault->takeDiscOut) {
                discPulled_ = true;
                return notReady("The disc was taken out of the drive during the write");
            }
            return senseError(SB_EXCEPTION_WRITE_ERROR, 0x03, 0x0C, 0x00,
                              "Write error at byte " + std::to_string(done) + " of " +
                                  std::to_string(plan.total));
        }
        if (!pace.keepUp(monitor)) {
            return writeCancelled();
        }
        monitor.progress(plan.total, done);
        pace.reportBuffer(monitor);
    }
    return {};
}

void Recorder::recordFailure(const Plan& plan, uint64_t done, bool takeOut) {
    std::lock_guard lock(mutex_);
    if (!plan.testWrite && disc_.present()) {
        // What reached the disc stays on it; a burn that began leaves no blank disc.
        uint64_t bytes = 0;
        uint64_t blocks = 0;
        for (uint64_t size : plan.trackBytes) {
            const uint64_t part = std::min(size, done - bytes);
            blocks += blocksOf(part);
            bytes += part;
            if (bytes >= done) {
                break;
            }
        }
        blocks = std::max<uint64_t>(blocks, 1);
        blocks = std::min<uint64_t>(blocks, disc_.capacity() - plan.startLba);
        coverLocked((plan.startLba + blocks) * kBlockSize);
        disc_.addDamaged(static_cast<uint32_t>(blocks));
        persistQuietly();
    }
    if (takeOut && disc_.present()) {
        std::string path;
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                         e.text.c_str());
        }
        disc_ = Disc();
        persistQuietly();
    }
    discPulled_ = false;
}

void Recorder::corruptWrittenLocked(uint32_t startLba, uint64_t total) {
    if (!config_.corruptAfterWrite || *config_.corruptAfterWrite >= total) {
        return;
    }
    const off_t at = static_cast<off_t>(static_cast<uint64_t>(startLba) * kBlockSize +
                                        *config_.corruptAfterWrite);
    const int fd = ::open(contentsFile().c_str(), O_RDWR | kNoLinks);
    if (fd < 0) {
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                     fileError("The disc image cannot be opened", contentsFile(), errno).c_str());
        return;
    }
    unsigned char byte = 0;
    if (::pread(fd, &byte, 1, at) != 1) {
        ::close(fd);
        return;
    }
    byte ^= 0xFF;
    if (::pwrite(fd, &byte, 1, at) != 1) {
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": the written byte cannot be changed\n",
                     config_.id.c_str());
    }
    ::close(fd);
}

} // namespace starburn::virt
