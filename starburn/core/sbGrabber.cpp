// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbGrabber.h"

#include "starburn/core/sbSession.h"

#include <utility>
#include <vector>

namespace starburn {

namespace {

// The writes running on this thread, the innermost last: a callback may
// start a write on another drive.
thread_local std::vector<Grabber*> t_writes;
thread_local bool t_shutDownDeferred = false;

} // namespace

bool deferShutDownToEndOfWrites() {
    if (t_writes.empty()) {
        return false;
    }
    t_shutDownDeferred = true;
    for (Grabber* g : t_writes) {
        g->shutDown(); // cancels, and leaves the drive to the write's end
    }
    return true;
}

class Grabber::Monitor : public WriteMonitor {
public:
    Monitor(Grabber& grabber, bool reportProgress)
        : grabber_(grabber), reportProgress_(reportProgress) {}

    bool cancelled() const override { return grabber_.cancelRequested_.load(); }

    bool sleepUntil(std::chrono::steady_clock::time_point deadline) override {
        std::unique_lock lock(grabber_.mutex_);
        return !grabber_.changed_.wait_until(lock, deadline,
                                             [this] { return grabber_.cancelRequested_.load(); });
    }

    void progress(uint64_t total, uint64_t done) override {
        if (!reportProgress_ || grabber_.callback_ == nullptr || grabber_.closed_) {
            return;
        }
        int64_t t = static_cast<int64_t>(total);
        int64_t d = static_cast<int64_t>(done);
        invokeCallback(grabber_.callback_, SB_REASON_WRITE_PROGRESS, grabber_.context_, &t, &d);
    }

    void bufferStatus(uint32_t size, uint32_t freeBytes) override {
        if (!reportProgress_ || grabber_.callback_ == nullptr || grabber_.closed_) {
            return;
        }
        uint32_t s = size;
        uint32_t f = freeBytes;
        invokeCallback(grabber_.callback_, SB_REASON_BUFFER_STATUS, grabber_.context_, &s, &f);
    }

    void otherProgress() override {
        if (!reportProgress_ || grabber_.callback_ == nullptr || grabber_.closed_) {
            return;
        }
        invokeCallback(grabber_.callback_, SB_REASON_OTHER_PROGRESS, grabber_.context_, nullptr,
                       nullptr);
    }

private:
    Grabber& grabber_;
    bool reportProgress_;
};

class Grabber::Reader : public ReadMonitor {
public:
    explicit Reader(Grabber& grabber) : grabber_(grabber) {}

    bool cancelled() const override { return grabber_.cancelRequested_.load(); }

    bool sleepUntil(std::chrono::steady_clock::time_point deadline) override {
        std::unique_lock lock(grabber_.mutex_);
        return !grabber_.changed_.wait_until(lock, deadline,
                                             [this] { return grabber_.cancelRequested_.load(); });
    }

private:
    Grabber& grabber_;
};

Grabber::Grabber(std::shared_ptr<DeviceEntry> entry, PCALLBACK callback, void* context,
                 bool queryOnly)
    : entry_(std::move(entry)), callback_(callback), context_(context), queryOnly_(queryOnly),
      claimed_(!queryOnly) {}

Grabber::~Grabber() {
    if (claimed_.exchange(false)) {
        entry_->device->unclaim();
    }
}

void Grabber::shutDown() {
    {
        std::unique_lock lock(mutex_);
        closed_ = true;
        cancelRequested_ = true;
        changed_.notify_all();
        if (writing_ && writer_ == std::this_thread::get_id()) {
            // Called back from this grabber's own write, which is still on
            // this thread's stack and still using the drive.
            letGoAfterWrite_ = true;
            return;
        }
        changed_.wait(lock, [this] { return !writing_; });
    }
    letGo();
}

void Grabber::letGo() {
    bool hadLock = false;
    {
        std::lock_guard lock(mutex_);
        hadLock = locked_;
        locked_ = false;
    }
    if (hadLock) {
        entry_->removeLock();
    }
    if (claimed_.exchange(false)) {
        entry_->device->unclaim();
    }
}

Error Grabber::lock() {
    {
        std::lock_guard lock(mutex_);
        if (locked_) {
            return {};
        }
    }
    Error e = entry_->addLock();
    if (e) {
        return e;
    }
    std::lock_guard lock(mutex_);
    if (locked_ || closed_) {
        // Another thread locked through this grabber meanwhile, or it went away.
        entry_->removeLock();
    } else {
        locked_ = true;
    }
    return {};
}

Error Grabber::release() {
    {
        std::lock_guard lock(mutex_);
        if (!locked_) {
            return {};
        }
        locked_ = false;
    }
    Error e = entry_->removeLock();
    if (e) {
        std::lock_guard lock(mutex_);
        locked_ = true;
    }
    return e;
}

void Grabber::cancel() {
    std::lock_guard lock(mutex_);
    cancelRequested_ = true;
    changed_.notify_all();
}

template <typename Work>
Error Grabber::asWrite(bool reportProgress, Work&& work) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return makeError(SB_EXCEPTION_INVALID_HANDLE, 0, "The grabber has been destroyed");
        }
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, 16,
                             "This grabber is already writing on another thread");
        }
        if (cancelRequested_.exchange(false)) {
            return makeError(SB_EXCEPTION_CANCELLED, 125, "The write was cancelled");
        }
        // Marked before the drive is taken, so a Destroy from now on waits.
        writing_ = true;
        writer_ = std::this_thread::get_id();
    }
    if (const auto claim = entry_->beginWrite(); claim != DeviceEntry::Claim::Granted) {
        std::lock_guard lock(mutex_);
        writing_ = false;
        writer_ = {};
        changed_.notify_all();
        return makeError(SB_EXCEPTION_DEVICE_BUSY, 16,
                         "The recorder " + entry_->name +
                             (claim == DeviceEntry::Claim::Writing
                                  ? " is busy with another write"
                                  : " is busy with another call (speeds, calibration, eject, "
                                    "closing or reading)"));
    }
    // Runs a shut-down that a callback of this write (or of one it is nested
    // in) asked for, once the outermost write on this thread has returned.
    struct OnThisThread {
        explicit OnThisThread(Grabber* g) { t_writes.push_back(g); }
        ~OnThisThread() {
            t_writes.pop_back();
            if (t_writes.empty() && std::exchange(t_shutDownDeferred, false)) {
                StarBurn_DownShut();
            }
        }
    } onThisThread{this};

    // Ends the write's bookkeeping however the write leaves, a callback's
    // exception included.
    struct Finish {
        Grabber& g;
        ~Finish() {
            g.entry_->endWrite();
            bool letGo = false;
            {
                std::lock_guard lock(g.mutex_);
                g.writing_ = false;
                g.writer_ = {};
                // A cancel that arrived during this write has been answered.
                g.cancelRequested_ = g.closed_.load();
                letGo = std::exchange(g.letGoAfterWrite_, false);
                g.changed_.notify_all();
            }
            if (letGo) {
                g.letGo();
            }
        }
    } finish{*this};

    Monitor monitor(*this, reportProgress);
    return work(monitor);
}

Error Grabber::write(WriteJob& job, bool reportProgress) {
    return asWrite(reportProgress,
                   [&](WriteMonitor& monitor) { return entry_->device->write(job, monitor); });
}

Error Grabber::blank(bool full) {
    return asWrite(true,
                   [&](WriteMonitor& monitor) { return entry_->device->blank(full, monitor); });
}

Error Grabber::readSectors(uint32_t lba, uint32_t blocks, void* buffer, bool audio) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return makeError(SB_EXCEPTION_INVALID_HANDLE, 0, "The grabber has been destroyed");
        }
        // A cancel that came between two reads stops the next one: a
        // verification asked to stop never reads on.
        if (cancelRequested_.exchange(false)) {
            return makeError(SB_EXCEPTION_CANCELLED, 125, "The read was cancelled");
        }
    }
    Reader reader(*this);
    Error e = audio ? entry_->device->readAudio(lba, blocks, buffer, reader)
                    : entry_->device->readData(lba, blocks, buffer, reader);
    if (e.exception == SB_EXCEPTION_CANCELLED) {
        std::lock_guard lock(mutex_);
        cancelRequested_ = closed_.load();
    }
    return e;
}

Error Grabber::read(uint32_t lba, uint32_t blocks, void* buffer) {
    return readSectors(lba, blocks, buffer, false);
}

Error Grabber::readAudio(uint32_t lba, uint32_t blocks, void* buffer) {
    return readSectors(lba, blocks, buffer, true);
}

} // namespace starburn
