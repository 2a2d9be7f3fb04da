// SPDX-License-Identifier: GPL-2.0-or-later
// A worker thread of the engine (the device search, the burn thread).
//
// The owner starts the thread, then waits for it on the main thread in short
// steps (WaitFor) so the front end can process its messages in between. The
// thread's termination handler runs on the worker itself, after Execute, and
// only then does the thread count as finished; the owner joins and frees the
// object, so no worker ever outlives the object it works for.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TsbThread {
public:
    TsbThread() = default;
    TsbThread(const TsbThread&) = delete;
    TsbThread& operator=(const TsbThread&) = delete;
    // Joins a thread still running: an object is never freed under its worker.
    virtual ~TsbThread();

    // Raised on the worker thread when Execute has returned, with the thread as Sender.
    std::function<void(TsbThread* Sender)> OnTerminate;

    // Starts the worker. A thread runs once.
    void Start();
    // Waits at most Timeout for the worker to finish; true when it has.
    bool WaitFor(std::chrono::milliseconds Timeout);
    // Waits for the worker to finish and joins it.
    void Join();
    bool Finished() const;

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};
