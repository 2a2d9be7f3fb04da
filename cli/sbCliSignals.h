// SPDX-License-Identifier: GPL-2.0-or-later
// Ctrl-C and SIGTERM for tavrin-burn: they ask the burn to cancel as the
// wizard's Cancel button does, and never end the program while it cleans up.
//
// Start blocks SIGINT and SIGTERM in the calling thread before any other
// thread exists, so every thread the engine and the library start later
// inherits the mask, and one thread of its own takes them with sigwait. That
// thread only records the request and wakes whoever waits on WakeFd; the main
// thread acts on it (it owns the drive) and says so with Acknowledge. Then,
// still on the signal thread, the first signal runs the OnRequest given to
// Start, which may wait (never in a signal handler); it runs after the main
// thread's own cancel, or after a short wait when that thread has none to give. A second signal
// prints that the cancel is under way and is otherwise ignored.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

class TCliSignals {
public:
    TCliSignals() = default;
    ~TCliSignals();
    TCliSignals(const TCliSignals&) = delete;
    TCliSignals& operator=(const TCliSignals&) = delete;

    // Call first thing in main, before any thread is started.
    // OnRequest runs once, on the signal thread, after the first signal.
    void Start(std::function<void()> OnRequest = {});
    void Stop();

    // True once SIGINT or SIGTERM arrived.
    bool Requested() const { return requested_.load(); }
    // Readable once a signal arrived: for poll() beside other descriptors.
    int WakeFd() const { return pipe_[0]; }
    // The main thread has given its own cancel: OnRequest may run now.
    void Acknowledge();

private:
    void run();

    std::function<void()> onRequest_;
    std::mutex mutex_;
    std::condition_variable acknowledged_;
    bool acked_ = false;
    std::atomic<bool> requested_{false};
    std::atomic<int> count_{0};
    int pipe_[2] = {-1, -1};
    std::thread thread_;
};
