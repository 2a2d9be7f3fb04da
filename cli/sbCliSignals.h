// Ctrl-C and SIGTERM for tavrin-burn: they ask the burn to cancel as the
// wizard's Cancel button does, and never end the program while it cleans up.
//
// Start blocks SIGINT and SIGTERM in the calling thread before any other
// thread exists, so every thread the engine and the library start later
// inherits the mask, and one thread of its own takes them with sigwait. That
// thread only records the request and wakes whoever waits on WakeFd; the main
// thread acts on it (it owns the drive). A second signal prints that the
// cancel is under way and is otherwise ignored.
#pragma once

#include <atomic>
#include <cstdio>
#include <thread>

class TCliSignals {
public:
    TCliSignals() = default;
    ~TCliSignals();
    TCliSignals(const TCliSignals&) = delete;
    TCliSignals& operator=(const TCliSignals&) = delete;

    // Call first thing in main, before any thread is started.
    void Start();
    void Stop();

    // True once SIGINT or SIGTERM arrived.
    bool Requested() const { return requested_.load(); }
    // Readable once a signal arrived: for poll() beside other descriptors.
    int WakeFd() const { return pipe_[0]; }

private:
    void run();

    std::atomic<bool> requested_{false};
    std::atomic<int> count_{0};
    int pipe_[2] = {-1, -1};
    std::thread thread_;
};
