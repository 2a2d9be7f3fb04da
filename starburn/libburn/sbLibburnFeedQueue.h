// SPDX-License-Identifier: GPL-2.0-or-later
// The bytes of a write read ahead of the drive: one thread reads the image
// into blocks, another hands them to libburn through a socket. This stands
// where libburn's own fifo (burn_fifo_source_new) would: libburn 1.5.4 guards
// the start and end of every fifo with one lock for the whole program, and
// its bookkeeping of that lock loses an unlock when two fifos start or end at
// the same moment (async.c, burn_async_manage_lock), which leaves every
// write of the program waiting for good. Several drives at once do that.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace starburn::lb {

class FeedQueue {
public:
    struct Block {
        char* data = nullptr;
        size_t length = 0;
        size_t track = 0;
        bool lastOfTrack = false;
    };

    // At most `blocks` blocks of `blockSize` bytes each, made as they are
    // first needed: a small image never takes the whole of it.
    FeedQueue(size_t blockSize, size_t blocks);
    FeedQueue(const FeedQueue&) = delete;
    FeedQueue& operator=(const FeedQueue&) = delete;

    size_t blockSize() const { return blockSize_; }

    // The reader: a block to fill, waiting while all are full; nullptr once
    // closed. Each block taken goes back through filled().
    char* emptyBlock();
    void filled(const Block& block);
    // No more blocks come: the sender ends once it has sent what is queued.
    void finish();

    // The sender: the next filled block in order, waiting for it; false when
    // finished and empty, or closed. Each block taken goes back through done().
    bool next(Block& block);
    void done(char* data);

    // Either side, or the one who stops the write: the other side's wait ends
    // at once and nothing more is handed out.
    void close();

private:
    const size_t blockSize_;
    const size_t maxBlocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<char[]>> storage_;
    std::vector<char*> free_;
    std::deque<Block> queued_;
    bool finished_ = false;
    bool closed_ = false;
};

} // namespace starburn::lb
