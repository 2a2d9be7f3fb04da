// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbMultiBurn.h"

#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "engine/sbActions.h"
#include "engine/sbThread.h"

#include <fmt/format.h>

#include <algorithm>
#include <thread>

namespace {

using TClock = std::chrono::steady_clock;

double secondsSince(TClock::time_point start, TClock::time_point end = TClock::now()) {
    return std::chrono::duration<double>(end - start).count();
}

class TsbDriveThread : public TsbThread {
public:
    explicit TsbDriveThread(std::function<void()> Body) : body_(std::move(Body)) {}

protected:
    void Execute() override {
        // Nothing may escape a thread: it would end the program.
        try {
            body_();
        } catch (const std::exception& e) {
            Logger().Log(std::string("A drive's burn ended with an error: ") + e.what());
        } catch (...) {
            Logger().Log("A drive's burn ended with an unknown error");
        }
    }

private:
    std::function<void()> body_;
};

// Takes a disc out after a failed copy, so the next one can go in; false
// when the drive does not (it is gone, or refuses).
bool ejectAfterFailure(TsbBurner& burner) {
    burner.ReleaseDevice();
    return !LibraryCall("StarBurn_CdvdBurnerGrabber_Eject",
                        burner.Failure("StarBurn_CdvdBurnerGrabber_Eject"),
                        [&] { return StarBurn_CdvdBurnerGrabber_Eject(SB_BURNER_HEAD(burner)); })
                .Failed();
}

// How a copy ended, from the action's end: an error it raised, a failed
// verification (Succeeded false without an error), or a success.
void classify(TsbDriveCopyResult& result, const TsbBurner& burner, bool succeeded,
              const std::string& failure, const std::string& fed, const std::string& firstError) {
    if (!failure.empty()) {
        // The feed's own failure (the image could not be read) says more than the drive's.
        result.Outcome = burner.Cancelled ? TsbCopyOutcome::Cancelled : TsbCopyOutcome::Failed;
        result.Text = burner.Cancelled ? LoadResString(rsCanceledByUser)
                                       : (fed.empty() ? failure : fed + " (" + failure + ")");
    } else if (!succeeded) {
        result.Outcome =
            burner.Cancelled ? TsbCopyOutcome::Cancelled : TsbCopyOutcome::VerifyFailed;
        result.Text = burner.Cancelled ? std::string("Verification cancelled")
                                       : (firstError.empty() ? burner.StatusText : firstError);
        result.Verify = burner.Cancelled ? "cancelled" : "failed";
    } else {
        result.Outcome = TsbCopyOutcome::Done;
        if (burner.Verify) {
            result.Verify = burner.TestWrite ? "skipped" : "verified";
        }
    }
}

} // namespace

struct TsbMultiBurn::TDrive {
    TsbBurner* Burner = nullptr;
    size_t Index = 0;
    TsbCallBackEventer Eventer;
    mutable std::mutex Mutex;
    TsbDriveState State;
    std::vector<TsbDriveCopyResult> Results;
    // The series has ended: cancelled, no next disc, or a failure with StopOnFailure.
    bool Stopped = false;
};

TsbMultiBurn::TsbMultiBurn(std::string ImagePath) : image_(std::move(ImagePath)) {}

TsbMultiBurn::~TsbMultiBurn() = default;

size_t TsbMultiBurn::Add(TsbBurner& Burner, const std::string& Name) {
    auto drive = std::make_unique<TDrive>();
    drive->Burner = &Burner;
    drive->Index = drives_.size();
    drive->State.Name = Name;
    drive->State.Phase = "waiting";
    drives_.push_back(std::move(drive));
    return drives_.size() - 1;
}

void TsbMultiBurn::line(size_t drive, const std::string& text, TsbLogItemType kind) {
    std::lock_guard lock(linesMutex_);
    lines_.push_back({drive, text, kind});
}

std::vector<TsbDriveLine> TsbMultiBurn::TakeLines() {
    std::lock_guard lock(linesMutex_);
    std::vector<TsbDriveLine> taken;
    taken.swap(lines_);
    return taken;
}

std::vector<TsbDriveState> TsbMultiBurn::States() const {
    std::vector<TsbDriveState> states;
    for (const auto& d : drives_) {
        std::lock_guard lock(d->Mutex);
        states.push_back(d->State);
    }
    return states;
}

const std::vector<TsbDriveCopyResult>& TsbMultiBurn::Results(size_t Drive) const {
    return drives_.at(Drive)->Results;
}

TsbCopyTally TsbMultiBurn::Tally() const {
    TsbCopyTally tally;
    for (const auto& d : drives_) {
        for (const TsbDriveCopyResult& r : d->Results) {
            (r.Outcome == TsbCopyOutcome::Done ? tally.Done : tally.Failed) += 1;
            tally.VerifyFailed += r.Outcome == TsbCopyOutcome::VerifyFailed ? 1 : 0;
        }
    }
    return tally;
}

void TsbMultiBurn::CancelAll() {
    if (cancelled_.exchange(true)) {
        return;
    }
    for (const auto& d : drives_) {
        d->Burner->Cancel();
    }
    // A write waiting for its bytes hears of the cancel there.
    std::lock_guard lock(feedMutex_);
    if (feed_ != nullptr) {
        for (size_t i = 0; i < drives_.size(); ++i) {
            feed_->Release(i);
        }
    }
}

void TsbMultiBurn::Run() {
    for (int copy = 1; copy <= Copies && !cancelled_; ++copy) {
        std::vector<TDrive*> round;
        for (const auto& d : drives_) {
            std::lock_guard lock(d->Mutex);
            if (!d->Stopped) {
                round.push_back(d.get());
            }
        }
        if (round.empty()) {
            break;
        }
        // The image is read once for the round, whatever the number of drives.
        TsbImageFeed feed(image_, round.size(), RingBytes);
        {
            std::lock_guard lock(feedMutex_);
            feed_ = &feed;
        }
        std::vector<std::unique_ptr<TsbDriveThread>> threads;
        for (size_t r = 0; r < round.size(); ++r) {
            TDrive* d = round[r];
            threads.push_back(std::make_unique<TsbDriveThread>(
                [this, d, &feed, r, copy] { runCopy(*d, feed, r, copy); }));
        }
        feed.Start();
        for (auto& t : threads) {
            t->Start();
        }
        for (auto& t : threads) {
            while (!t->WaitFor(std::chrono::milliseconds(80))) {
                ProcessMessages();
                if (OnWait) {
                    OnWait();
                }
            }
        }
        threads.clear();
        {
            std::lock_guard lock(feedMutex_);
            feed_ = nullptr;
        }
        peakAhead_ = std::max(peakAhead_, feed.PeakAhead());
    }
    for (const auto& d : drives_) {
        std::lock_guard lock(d->Mutex);
        d->State.Finished = true;
        d->State.Phase = "done";
    }
}

void TsbMultiBurn::runCopy(TDrive& d, TsbImageFeed& feed, size_t reader, int copy) {
    const TsbEventerScope bound(&d.Eventer);
    const TsbQuietWaits quiet;
    struct TRelease {
        TsbImageFeed& Feed;
        size_t Reader;
        ~TRelease() { Feed.Release(Reader); }
    } release{feed, reader};
    TsbBurner& burner = *d.Burner;
    auto setState = [&d](const char* phase, int percent) {
        std::lock_guard lock(d.Mutex);
        d.State.Phase = phase;
        d.State.Percent = percent;
    };
    {
        std::lock_guard lock(d.Mutex);
        d.State.Copy = copy;
    }
    TsbDriveCopyResult result;
    result.Copy = copy;
    const TClock::time_point start = TClock::now();
    auto keep = [&](bool stopSeries) {
        result.Seconds = secondsSince(start);
        std::lock_guard lock(d.Mutex);
        d.Results.push_back(result);
        d.Stopped = d.Stopped || stopSeries;
    };

    if (copy > 1) {
        setState("waiting for a disc", 0);
        line(d.Index, fmt::format("Copy {} of {}: put the next blank disc in", copy, Copies),
             litInfo);
        const bool there = NextDisc
                               ? NextDisc(d.Index, burner)
                               : WaitForBlankDisc(burner, [this] { return cancelled_.load(); });
        if (!there) {
            result.Outcome = cancelled_ ? TsbCopyOutcome::Cancelled : TsbCopyOutcome::Failed;
            result.Text = cancelled_ ? LoadResString(rsCanceledByUser)
                                     : "No blank disc was put in for copy " + std::to_string(copy);
            line(d.Index, result.Text, cancelled_ ? litWarning : litError);
            keep(true);
            return;
        }
        burner.LockDevice();
    }

    setState("preparing", 0);
    TClock::time_point writeStart = start;
    TClock::time_point writeEnd{};
    d.Eventer.SetOnProgress([&d](TsbCallBackEventer&, int32_t p) {
        std::lock_guard lock(d.Mutex);
        d.State.Percent = p;
    });
    d.Eventer.SetOnCancelEnabled([&](TsbCallBackEventer&, bool on) {
        if (!on) {
            return;
        }
        if (burner.BurnThreadRunning()) {
            writeStart = TClock::now();
            setState("writing", 0);
        } else {
            writeEnd = TClock::now();
            setState("verifying", 0);
        }
    });

    TsbActionList actions;
    TsbBurnAtOnceToCDDVDAction burn;
    burn.EjectWhenDone = EjectWhenDone || copy < Copies;
    actions.Options.SourceIsFile = 1;
    actions.Options.SourceFileName = image_;
    TsbActionItem* item = actions.Add();
    item->Action = &burn;
    item->PageIndex = 4;
    std::string firstError;
    actions.OnMessage = [this, &d, &firstError](void*, const std::string& text,
                                                TsbLogItemType kind) {
        line(d.Index, text, kind);
        if (kind == litError && firstError.empty()) {
            firstError = text;
        }
    };
    actions.BindMessages();
    actions.Burner = &burner;
    burner.Stream = {&feed, reader};
    burner.StatusText.clear();
    burner.WriteStarted = false;

    std::string failure;
    try {
        burn.Execute(item);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    feed.Release(reader);
    burner.Stream = {nullptr, 0};
    d.Eventer.SetOnProgress({});
    d.Eventer.SetOnCancelEnabled({});
    if (writeEnd == TClock::time_point{}) {
        writeEnd = TClock::now();
    }
    result.Bytes = feed.Taken(reader);
    result.WriteSeconds = secondsSince(writeStart, writeEnd);

    classify(result, burner, burn.Succeeded, failure, feed.Failure(), firstError);
    if (!failure.empty()) {
        line(d.Index, result.Text, burner.Cancelled ? litWarning : litError);
    }
    const bool failed = result.Outcome != TsbCopyOutcome::Done;
    bool stopSeries = result.Outcome == TsbCopyOutcome::Cancelled || (failed && StopOnFailure);
    if (failed && !stopSeries && copy < Copies && !ejectAfterFailure(burner)) {
        // A drive that cannot even give its disc back takes no more copies.
        line(d.Index, "The drive does not eject: no more copies on it", litError);
        stopSeries = true;
    }
    setState(failed ? "failed" : "done", failed ? 0 : 100);
    keep(stopSeries);
}

bool WaitForBlankDisc(TsbBurner& Burner, const std::function<bool()>& Cancelled,
                      std::chrono::milliseconds PollInterval, std::chrono::seconds Patience) {
    const TClock::time_point deadline = TClock::now() + Patience;
    while (!Cancelled()) {
        const bool ready =
            !QuietLibraryCall(Burner.Failure("StarBurn_CdvdBurnerGrabber_TestUnitReady"), [&] {
                 return StarBurn_CdvdBurnerGrabber_TestUnitReady(SB_BURNER_HEAD(Burner));
             }).Failed();
        if (ready) {
            SB_DISC_INFORMATION disc{};
            const bool read =
                !QuietLibraryCall(Burner.Failure("StarBurn_CdvdBurnerGrabber_GetDiscInformation"),
                                  [&] {
                                      return StarBurn_CdvdBurnerGrabber_GetDiscInformation(
                                          SB_BURNER_HEAD(Burner), &disc);
                                  })
                     .Failed();
            if (read && disc.DiscStatus == SB_DISC_STATUS_BLANK) {
                return true;
            }
        }
        if (TClock::now() >= deadline) {
            return false;
        }
        // The drive's status once a poll; in between a sleep that a cancel cuts short.
        const TClock::time_point next = TClock::now() + PollInterval;
        while (TClock::now() < next && !Cancelled()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return false;
}

const char* CopyOutcomeName(TsbCopyOutcome Outcome) {
    switch (Outcome) {
    case TsbCopyOutcome::Done:
        return "done";
    case TsbCopyOutcome::Failed:
        return "failed";
    case TsbCopyOutcome::VerifyFailed:
        return "verify-failed";
    case TsbCopyOutcome::Cancelled:
        return "cancelled";
    }
    return "failed";
}
