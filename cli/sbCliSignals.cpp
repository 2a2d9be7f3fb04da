// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliSignals.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>
#include <utility>

namespace {

// SIGUSR2 only ends the waiting thread when the program stops.
sigset_t waitedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);
    return set;
}

void say(const char* text) {
    const ssize_t ignored = ::write(STDERR_FILENO, text, __builtin_strlen(text));
    (void)ignored;
}

} // namespace

TCliSignals::~TCliSignals() {
    Stop();
}

void TCliSignals::Start(std::function<void()> OnRequest) {
    onRequest_ = std::move(OnRequest);
    const sigset_t set = waitedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
    }
    thread_ = std::thread([this] { run(); });
}

void TCliSignals::Acknowledge() {
    {
        std::lock_guard lock(mutex_);
        acked_ = true;
    }
    acknowledged_.notify_all();
}

void TCliSignals::Stop() {
    if (thread_.joinable()) {
        pthread_kill(thread_.native_handle(), SIGUSR2);
        thread_.join();
    }
    for (int& fd : pipe_) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void TCliSignals::run() {
    const sigset_t set = waitedSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) {
            continue;
        }
        if (signal == SIGUSR2) {
            return;
        }
        if (count_.fetch_add(1) == 0) {
            requested_ = true;
            say("\ntavrin-burn: cancelling; the drive is released before the program ends\n");
            if (pipe_[1] >= 0) {
                const char byte = 1;
                const ssize_t ignored = ::write(pipe_[1], &byte, 1);
                (void)ignored;
            }
            if (onRequest_) {
                // The main thread cancels first, as the wizard's Cancel does; it
                // may be busy elsewhere (a search, a stage), so not for long.
                std::unique_lock lock(mutex_);
                acknowledged_.wait_for(lock, std::chrono::seconds(2), [this] { return acked_; });
                lock.unlock();
                onRequest_();
            }
        } else {
            say("\ntavrin-burn: already cancelling; waiting for the drive to be released\n");
        }
    }
}
