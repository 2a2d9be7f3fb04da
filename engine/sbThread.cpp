// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbThread.h"

#include "base/sbCallBack.h"
#include "base/sbFrontEnd.h"

TsbThread::~TsbThread() {
    Join();
}

void TsbThread::Start() {
    if (thread_.joinable()) {
        return;
    }
    // A worker reports to the eventer of the thread that starts it and waits
    // as quietly: so each drive of several has its own progress.
    thread_ = std::thread([this, eventer = BoundEventer(), quiet = WaitsAreQuiet()] {
        const TsbEventerScope bound(eventer);
        const TsbQuietWaits waits(quiet);
        Run();
    });
}

void TsbThread::Run() {
    // Whatever Execute lets through, the owner must still learn that the
    // worker has ended, or it would wait for it for ever.
    struct Finish {
        TsbThread* self;
        ~Finish() {
            if (self->OnTerminate) {
                self->OnTerminate(self);
            }
            std::lock_guard lock(self->mutex_);
            self->finished_ = true;
            self->finishedChanged_.notify_all();
        }
    } finish{this};
    Execute();
}

bool TsbThread::WaitFor(std::chrono::milliseconds Timeout) {
    std::unique_lock lock(mutex_);
    return finishedChanged_.wait_for(lock, Timeout, [this] { return finished_; });
}

void TsbThread::Join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

bool TsbThread::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}
