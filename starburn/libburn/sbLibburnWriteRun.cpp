// SPDX-License-Identifier: GPL-2.0-or-later
// The libburn objects of one write and the threads that feed libburn.
#include "starburn/libburn/sbLibburnWriteRun.h"

#include "starburn/libburn/sbLibburnDriveParts.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

Drive::WriteRun::~WriteRun() {
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

void Drive::WriteRun::stopFeeding() {
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

bool Drive::WriteRun::needsFeeder() const {
    return std::any_of(feeds.begin(), feeds.end(), [](const Feed& f) { return f.socket >= 0; });
}

burn_source* Drive::WriteRun::inputFor(Feed& f) {
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

Error Drive::WriteRun::build(WriteJob& job) {
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

bool Drive::WriteRun::needsReader() const {
    return !pseudoDrive &&
           std::any_of(feeds.begin(), feeds.end(), [](const Feed& f) { return f.file >= 0; });
}

void Drive::WriteRun::startFeeding() {
    if (needsFeeder()) {
        // Throttled, the bytes go in steps of about 20 ms, so a stop is
        // seen between two steps.
        const size_t chunk = rate == 0
                                 ? kFeedChunk
                                 : std::clamp<size_t>(static_cast<size_t>(rate / 50) / 2048 * 2048,
                                                      2048, kFeedChunk);
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

void Drive::WriteRun::adviseRange(uint64_t from, uint64_t to) const {
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

void Drive::WriteRun::readAhead() {
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

Error Drive::WriteRun::checkFiles() const {
    for (const auto& f : feeds) {
        if (f.file < 0) {
            continue;
        }
        struct stat st {};
        if (::fstat(f.source->fileDescriptor(), &st) == 0 &&
            static_cast<uint64_t>(st.st_size) != f.fileSize) {
            return makeError(SB_EXCEPTION_FILE_ERROR, 0,
                             "The " + f.description + " changed size during the write: it was " +
                                 std::to_string(f.fileSize) + " bytes and is now " +
                                 std::to_string(st.st_size));
        }
    }
    return {};
}

void Drive::WriteRun::feed() {
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
                feedError = makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
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

void Drive::WriteRun::send() {
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
                start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                            static_cast<double>(sent) / static_cast<double>(rate)));
            std::unique_lock lock(mutex);
            wake.wait_until(lock, due, [this] { return stop.load(); });
        }
    }
}

} // namespace starburn::lb
