// SPDX-License-Identifier: GPL-2.0-or-later
// One reader of an image file for several drives written at once: a thread
// reads the file once into one ring buffer, and every drive takes the bytes
// at its own pace. The reader runs ahead of the slowest drive still taking
// bytes by the ring's length at most, so memory stays the ring's whatever
// the number of drives, and a slow drive holds the others back only when
// they are a whole ring ahead of it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TsbImageFeed {
public:
    // The default ring: 16 MiB for all the drives together.
    static constexpr size_t DefaultRing = 16u * 1024 * 1024;

    // Opens Path for Readers drives; raises EsbError when it cannot be opened
    // or is empty. The reading starts with Start.
    TsbImageFeed(const std::string& Path, size_t Readers, size_t RingBytes = DefaultRing);
    // Stops the reader and waits for it.
    ~TsbImageFeed();
    TsbImageFeed(const TsbImageFeed&) = delete;
    TsbImageFeed& operator=(const TsbImageFeed&) = delete;

    void Start();
    uint64_t Size() const { return size_; }

    // Reader Index takes up to Length bytes; waits until some are there.
    // False when it cannot go on: the file failed (Failure says how), the
    // reader was let go, or the feed is stopping.
    bool Read(size_t Index, void* Buffer, size_t Length, size_t& Got);
    // Reader Index takes no more bytes (its drive ended, failed or was
    // cancelled): the others no longer wait for it.
    void Release(size_t Index);
    // Bytes reader Index has taken so far.
    uint64_t Taken(size_t Index) const;
    // The text of a failed file read; empty while none failed.
    std::string Failure() const;
    // The largest amount the reader has ever run ahead of the slowest drive
    // still taking bytes (for the benchmark: never more than the ring).
    size_t PeakAhead() const;

    // The library's read function for a stream write (PSB_STREAM_READ),
    // with a TsbImageFeed::TReader as its context.
    struct TReader {
        TsbImageFeed* Feed;
        size_t Index;
    };
    static uint8_t StreamRead(void* Context, void* Buffer, uint32_t Length, uint32_t* Read);

private:
    void run();
    uint64_t slowest() const; // under mutex_
    bool allReleased() const; // under mutex_

    int fd_ = -1;
    std::string path_;
    uint64_t size_ = 0;
    std::vector<char> ring_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable dataReady_;
    std::condition_variable spaceFree_;
    uint64_t readUpTo_ = 0;
    std::vector<uint64_t> taken_;
    std::vector<bool> released_;
    bool stop_ = false;
    std::string failure_;
    size_t peakAhead_ = 0;
};
