// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "starburn/libburn/sbLibburnCue.h"
#include "starburn/libburn/sbLibburnDrive.h"
#include "starburn/libburn/sbLibburnFeedQueue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace burn {
struct burn_disc;
struct burn_session;
struct burn_source;
struct burn_track;
struct burn_write_opts;
} // namespace burn

namespace starburn::lb {

// The libburn objects of one write and, where libburn cannot read the image
// itself, the threads that feed it: a socket per track, read by libburn,
// written by the sender from the blocks the feeder reads ahead from the
// job's sources (FeedQueue). An image file that needs no throttling is
// handed to libburn as a file descriptor and read by libburn directly, its
// fastest path; on a real drive a reader thread keeps the part of it the
// drive comes to next in the page cache. libburn never calls back into this
// library's code, so its threads (which it may cancel at any instruction)
// run only its own.
struct Drive::WriteRun {
    struct Feed {
        int socket = -1; // our end; libburn owns and closes the other
        int file = -1;   // the image file handed to libburn (it closes its copy)
        uint64_t fileSize = 0;
        burn::burn_source* input = nullptr;
        burn::burn_track* track = nullptr;
        ImageSource* source = nullptr;
        std::string description;
        uint64_t size = 0;
    };

    burn::burn_disc* disc = nullptr;
    burn::burn_session* session = nullptr;
    burn::burn_write_opts* opts = nullptr;
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

    // Stops the threads, then frees the libburn objects.
    ~WriteRun();
    // Ends the feeding threads and waits for them; libburn's reads of the
    // sockets end with it.
    void stopFeeding();

    // The disc, its session and a track for each of the job's sources.
    Error build(WriteJob& job);
    // What libburn reads of a track: the image file itself, or a socket.
    burn::burn_source* inputFor(Feed& f);
    bool needsFeeder() const;
    bool needsReader() const;
    // Starts the feeder and the sender where a socket needs them, and the
    // reader where libburn reads an image file on a real drive.
    void startFeeding();

    // Asks the kernel to read the image files' bytes [from, to) of the job
    // into the page cache, each file through the library's own descriptor
    // (libburn closes its copy when it likes).
    void adviseRange(uint64_t from, uint64_t to) const;

    void readAhead();

    // A file libburn read itself that changed size meanwhile was burned cut
    // short or padded: that is a failure, not a disc.
    Error checkFiles() const;

    // Reads the sockets' tracks, in order, into the queue.
    void feed();

    // Hands the queued blocks to libburn, at the pace of a throttled drive.
    void send();
};

} // namespace starburn::lb
