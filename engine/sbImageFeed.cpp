// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbImageFeed.h"

#include "base/sbError.h"
#include "starburn/StarBurn.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The reader fills the ring in steps of this much (the ring is a multiple).
constexpr size_t kStep = 1024 * 1024;

} // namespace

TsbImageFeed::TsbImageFeed(const std::string& Path, size_t Readers, size_t RingBytes)
    : path_(Path), taken_(Readers, 0), released_(Readers, false) {
    fd_ = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        throw EsbError("The image file \"" + Path + "\" cannot be opened: " + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd_);
        throw EsbError("The image file \"" + Path + "\" is not a regular file with data");
    }
    size_ = static_cast<uint64_t>(st.st_size);
    ring_.resize(std::max(kStep, RingBytes / kStep * kStep));
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

TsbImageFeed::~TsbImageFeed() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    spaceFree_.notify_all();
    dataReady_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    ::close(fd_);
}

void TsbImageFeed::Start() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

uint64_t TsbImageFeed::slowest() const {
    uint64_t low = readUpTo_;
    for (size_t i = 0; i < taken_.size(); ++i) {
        if (!released_[i]) {
            low = std::min(low, taken_[i]);
        }
    }
    return low;
}

bool TsbImageFeed::allReleased() const {
    return std::all_of(released_.begin(), released_.end(), [](bool r) { return r; });
}

void TsbImageFeed::run() {
    while (true) {
        uint64_t at = 0;
        size_t length = 0;
        {
            std::unique_lock lock(mutex_);
            // A step goes into the ring where the slowest drive has taken it all.
            spaceFree_.wait(lock, [this] {
                return stop_ || readUpTo_ >= size_ || allReleased() ||
                       readUpTo_ + kStep <= slowest() + ring_.size();
            });
            if (stop_ || readUpTo_ >= size_ || allReleased()) {
                return;
            }
            at = readUpTo_;
            length = static_cast<size_t>(std::min<uint64_t>(kStep, size_ - at));
        }
        // Outside the lock: no drive reads this part of the ring until readUpTo_ passes it.
        char* into = ring_.data() + at % ring_.size();
        size_t done = 0;
        std::string failure;
        while (done < length) {
            const ssize_t n =
                ::pread(fd_, into + done, length - done, static_cast<off_t>(at + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                failure = n < 0 ? "The image file \"" + path_ +
                                      "\" cannot be read: " + std::strerror(errno)
                                : "The image file \"" + path_ + "\" ended after " +
                                      std::to_string(at + done) + " of " + std::to_string(size_) +
                                      " bytes: it changed during the write";
                break;
            }
            done += static_cast<size_t>(n);
        }
        {
            std::lock_guard lock(mutex_);
            if (!failure.empty()) {
                failure_ = failure;
                stop_ = true;
            } else {
                readUpTo_ = at + length;
                peakAhead_ = std::max(peakAhead_, static_cast<size_t>(readUpTo_ - slowest()));
            }
        }
        dataReady_.notify_all();
        if (!failure.empty()) {
            return;
        }
    }
}

bool TsbImageFeed::Read(size_t Index, void* Buffer, size_t Length, size_t& Got) {
    Got = 0;
    std::unique_lock lock(mutex_);
    if (Index >= taken_.size()) {
        return false;
    }
    dataReady_.wait(lock, [&] {
        return stop_ || released_[Index] || taken_[Index] < readUpTo_ || taken_[Index] >= size_;
    });
    if (stop_ || released_[Index] || taken_[Index] >= size_) {
        return false;
    }
    const uint64_t from = taken_[Index];
    const size_t offset = static_cast<size_t>(from % ring_.size());
    // Up to what was read, and never across the ring's end in one copy.
    Got =
        static_cast<size_t>(std::min<uint64_t>({Length, readUpTo_ - from, ring_.size() - offset}));
    lock.unlock();
    // The bytes [from, from + Got) stay until this reader's count passes them.
    std::memcpy(Buffer, ring_.data() + offset, Got);
    lock.lock();
    taken_[Index] = from + Got;
    lock.unlock();
    spaceFree_.notify_one();
    return true;
}

void TsbImageFeed::Release(size_t Index) {
    {
        std::lock_guard lock(mutex_);
        if (Index < released_.size()) {
            released_[Index] = true;
        }
    }
    spaceFree_.notify_all();
    dataReady_.notify_all();
}

uint64_t TsbImageFeed::Taken(size_t Index) const {
    std::lock_guard lock(mutex_);
    return Index < taken_.size() ? taken_[Index] : 0;
}

std::string TsbImageFeed::Failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

size_t TsbImageFeed::PeakAhead() const {
    std::lock_guard lock(mutex_);
    return peakAhead_;
}

uint8_t TsbImageFeed::StreamRead(void* Context, void* Buffer, uint32_t Length, uint32_t* Read) {
    auto* reader = static_cast<TReader*>(Context);
    size_t got = 0;
    if (reader == nullptr || Read == nullptr ||
        !reader->Feed->Read(reader->Index, Buffer, Length, got)) {
        return SB_EXCEPTION_CANCELLED;
    }
    *Read = static_cast<uint32_t>(got);
    return SB_EXCEPTION_NONE;
}
