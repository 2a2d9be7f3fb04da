// SPDX-License-Identifier: GPL-2.0-or-later
// A grabber: one opened drive, the handle behind StarBurn_CdvdBurnerGrabber_*.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/core/sbDeviceTable.h"
#include "starburn/core/sbHandles.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace starburn {

class Grabber : public Object {
public:
    // A grabber that is not query-only holds a claim on its drive
    // (Device::claim, made by whoever creates it) and lets go of it once.
    Grabber(std::shared_ptr<DeviceEntry> entry, PCALLBACK callback, void* context, bool queryOnly);
    ~Grabber() override;
    Grabber(const Grabber&) = delete;
    Grabber& operator=(const Grabber&) = delete;

    ObjectKind kind() const override { return ObjectKind::Grabber; }

    // Destroy or shut-down: cancels a running write and waits for it to end,
    // then lets go of a tray lock this grabber still holds and of its drive.
    // From inside the write's own callback it cannot wait: the write is
    // cancelled and lets go of both itself once it has returned.
    void shutDown() override;

    DeviceEntry& entry() const { return *entry_; }
    Device& device() const { return *entry_->device; }
    bool queryOnly() const { return queryOnly_; }

    // Tray lock of this grabber (at most one each; a second Lock is a no-op).
    Error lock();
    Error release();

    // Asks the running write to stop. When none runs, the next write of this
    // grabber stops as soon as it starts: a cancel is never lost in the gap
    // between two tracks.
    void cancel();

    // Runs job on the calling thread with this grabber's callback. Refuses a
    // second write on the same drive.
    Error write(WriteJob& job, bool reportProgress);

    // Erases the disc on the calling thread, with the bookkeeping and cancel
    // of a write (a blank is a write to the drive).
    Error blank(bool full);

    // Reads blocks of the disc on the calling thread. A Cancel (also one
    // that came since the last write or read) ends it with
    // SB_EXCEPTION_CANCELLED; refused while the drive writes.
    Error read(uint32_t lba, uint32_t blocks, void* buffer);
    // The same for 2352-byte audio sectors (READ CD).
    Error readAudio(uint32_t lba, uint32_t blocks, void* buffer);

private:
    void letGo();
    Error readSectors(uint32_t lba, uint32_t blocks, void* buffer, bool audio);

    // Runs work as this grabber's write: one per drive, cancel honoured.
    template <typename Work>
    Error asWrite(bool reportProgress, Work&& work);

    class Monitor;
    friend class Monitor;
    class Reader;
    friend class Reader;

    std::shared_ptr<DeviceEntry> entry_;
    PCALLBACK callback_;
    void* context_;
    const bool queryOnly_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> cancelRequested_{false};
    bool writing_ = false;
    std::atomic<bool> closed_{false};
    bool letGoAfterWrite_ = false;
    bool locked_ = false;
    std::atomic<bool> claimed_;
    std::thread::id writer_;
};

// A StarBurn_DownShut from a write's callback must not take the drives down
// under that write. When the calling thread runs writes, their grabbers are
// shut down as from their own callbacks, the shut-down is put off until the outermost of those
// writes has returned, and the answer is true; otherwise false.
bool deferShutDownToEndOfWrites();

} // namespace starburn
