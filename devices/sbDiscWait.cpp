// SPDX-License-Identifier: GPL-2.0-or-later
// Waiting for a disc: one question to the drive per interval, the pauses in
// poll() on a wake-up pipe (see sbDiscWait.h).
#include "devices/sbDiscWait.h"

#include "base/sbConst.h"
#include "base/sbLibraryCall.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbTypes.h"
#include "devices/sbDeviceList.h"
#include "starburn/StarBurn.h"

#include <fmt/format.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

TsbDiscPoll PollDisc(const std::string& deviceName) {
    TsbDiscPoll poll;
    void* grabber = nullptr;
    uint32_t status = 0;
    char text[kExceptionTextSize] = {};
    uint8_t failureInfo[kFailureInfoSize] = {};
    const uint8_t opened = QuietLibraryCall([&] {
        return StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status,
                                                   failureInfo, nullptr, nullptr,
                                                   deviceName.c_str(), 1);
    });
    if (opened != SB_EXCEPTION_NONE) {
        const auto access = AccessOfFailedOpening(opened, status);
        poll.Presence = access && *access == daBusy ? dpBusy : dpUnavailable;
        poll.Text = BufferToStr(text, sizeof text);
        if (poll.Text.empty()) {
            poll.Text = RefusalText(access.value_or(daUnavailable), text, sizeof text);
        }
        return poll;
    }
    struct Closer {
        void*& grabber;
        ~Closer() {
            QuietLibraryCall([this] { StarBurn_Destroy(&grabber); });
        }
    } closer{grabber};

    const uint8_t ready = QuietLibraryCall([&] {
        return StarBurn_CdvdBurnerGrabber_TestUnitReady(grabber, text, sizeof text, &status,
                                                        failureInfo);
    });
    if (ready == SB_EXCEPTION_NO_DEVICE) {
        // The drive went away (pulled out): there is nothing to wait for.
        poll.Presence = dpUnavailable;
        poll.Text = BufferToStr(text, sizeof text);
        return poll;
    }
    if (ready != SB_EXCEPTION_NONE) {
        poll.Presence = dpNoDisc;
        return poll;
    }
    poll.DiscType =
        QuietLibraryCall([&] { return StarBurn_CdvdBurnerGrabber_GetInsertedDiscType(grabber); });
    if (poll.DiscType == DISC_TYPE_NO_MEDIA) {
        poll.Presence = dpNoDisc;
        return poll;
    }
    TsbDiscInformation disc{};
    const uint8_t read = QuietLibraryCall([&] {
        return StarBurn_CdvdBurnerGrabber_GetDiscInformation(grabber, text, sizeof text, &status,
                                                             failureInfo, disc.Bytes);
    });
    // A disc whose type is known but whose information cannot be read yet
    // is still being read in by the drive.
    if (read != SB_EXCEPTION_NONE || !disc.Valid() || poll.DiscType == DISC_TYPE_UNKNOWN) {
        poll.Presence = dpNotReady;
        return poll;
    }
    poll.Presence = disc.DiscStatus() == 0 ? dpBlank : dpWritten;
    return poll;
}

bool DiscIsWanted(const TsbDiscPoll& poll, TsbDiscWanted wanted) {
    switch (wanted) {
    case TsbDiscWanted::Blank:
        return poll.Presence == dpBlank;
    case TsbDiscWanted::Written:
        return poll.Presence == dpWritten;
    default:
        return poll.Presence == dpBlank || poll.Presence == dpWritten;
    }
}

std::string InsertDiscText(const std::string& drive, TsbDiscWanted wanted) {
    return fmt::format(fmt::runtime(wanted == TsbDiscWanted::Blank
                                        ? SbTranslate("Devices", "Insert a blank disc into {}")
                                        : SbTranslate("Devices", "Insert a disc into {}")),
                       drive);
}

TsbDiscWait::TsbDiscWait() {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        wake_[0] = wake_[1] = -1;
    }
}

TsbDiscWait::~TsbDiscWait() {
    for (int fd : wake_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void TsbDiscWait::Cancel() {
    cancelled_ = true;
    if (wake_[1] >= 0) {
        const char byte = 1;
        // A full pipe already wakes the waiter; write() is safe on a signal thread.
        [[maybe_unused]] const ssize_t n = ::write(wake_[1], &byte, 1);
    }
}

void TsbDiscWait::Reset() {
    cancelled_ = false;
    char drain[64];
    while (wake_[0] >= 0 && ::read(wake_[0], drain, sizeof drain) > 0) {
    }
}

bool TsbDiscWait::pause(std::chrono::steady_clock::time_point end) {
    std::vector<pollfd> fds;
    fds.push_back({wake_[0], POLLIN, 0});
    for (int fd : WakeFds) {
        fds.push_back({fd, POLLIN, 0});
    }
    for (;;) {
        if (cancelled_) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return true;
        }
        // Rounded up: a pause never ends before its time, nor spins at its end.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        const int n = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
        if (n < 0 && errno != EINTR) {
            // Without poll the pause still ends at its time, never in a busy loop.
            std::this_thread::sleep_until(end);
            return !cancelled_;
        }
        for (std::size_t i = 1; n > 0 && i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                return false;
            }
        }
    }
}

TsbDiscWaitResult TsbDiscWait::Wait(const std::string& deviceName, TsbDiscWanted wanted) {
    TsbDiscWaitResult result;
    const auto start = std::chrono::steady_clock::now();
    while (!cancelled_) {
        result.Last = Poll(deviceName);
        if (OnPoll) {
            OnPoll(result.Last);
        }
        if (DiscIsWanted(result.Last, wanted)) {
            result.Outcome = TsbDiscWaitOutcome::Ready;
            return result;
        }
        if (result.Last.Presence == dpUnavailable) {
            result.Outcome = TsbDiscWaitOutcome::Gone;
            return result;
        }
        auto end = std::chrono::steady_clock::now() + Interval;
        if (Timeout.count() > 0) {
            const auto deadline = start + Timeout;
            if (std::chrono::steady_clock::now() >= deadline) {
                result.Outcome = TsbDiscWaitOutcome::TimedOut;
                return result;
            }
            end = std::min(end, deadline);
        }
        if (!pause(end)) {
            break;
        }
    }
    result.Outcome = TsbDiscWaitOutcome::Cancelled;
    return result;
}
