// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/libburn/sbLibburnFeedQueue.h"

namespace starburn::lb {

FeedQueue::FeedQueue(size_t blockSize, size_t blocks)
    : blockSize_(blockSize), maxBlocks_(blocks == 0 ? 1 : blocks) {}

char* FeedQueue::emptyBlock() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [this] { return closed_ || !free_.empty() || storage_.size() < maxBlocks_; });
    if (closed_) {
        return nullptr;
    }
    if (free_.empty()) {
        storage_.push_back(std::make_unique<char[]>(blockSize_));
        return storage_.back().get();
    }
    char* data = free_.back();
    free_.pop_back();
    return data;
}

void FeedQueue::filled(const Block& block) {
    {
        std::lock_guard lock(mutex_);
        queued_.push_back(block);
    }
    changed_.notify_all();
}

void FeedQueue::finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

bool FeedQueue::next(Block& block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return closed_ || finished_ || !queued_.empty(); });
    if (closed_ || queued_.empty()) {
        return false;
    }
    block = queued_.front();
    queued_.pop_front();
    return true;
}

void FeedQueue::done(char* data) {
    {
        std::lock_guard lock(mutex_);
        free_.push_back(data);
    }
    changed_.notify_all();
}

void FeedQueue::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

} // namespace starburn::lb
