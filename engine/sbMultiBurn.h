// SPDX-License-Identifier: GPL-2.0-or-later
// One image to several drives at once, and several copies in a row.
//
// Each drive runs the final sheet's burn action (TsbBurnAtOnceToCDDVDAction)
// on a thread of its own, with its own burner, eventer and log lines; the
// image is read once per round of copies by a TsbImageFeed that feeds every
// drive's Track-At-Once write through the library's stream call. A drive
// that fails, is unplugged or cancelled ends alone; the others go on. The
// front end stays on the main thread: Run waits in 80 ms steps and
// processes the front end's messages, and the front end reads the drives'
// progress (States) and lines (TakeLines) from there.
#pragma once

#include "base/sbCallBack.h"
#include "base/sbTypes.h"
#include "engine/sbBurner.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

enum class TsbCopyOutcome { Done, Failed, VerifyFailed, Cancelled };

// One copy on one drive, as the closing table shows it.
struct TsbDriveCopyResult {
    int Copy = 1;
    TsbCopyOutcome Outcome = TsbCopyOutcome::Failed;
    // The first error (or the cancel's text); empty for a success.
    std::string Text;
    double Seconds = 0;      // the whole copy: preparation, write, verification
    double WriteSeconds = 0; // the write alone
    uint64_t Bytes = 0;      // handed to the drive
    // "verified", "failed", "cancelled", "skipped" or "" (not asked for).
    std::string Verify;
};

// The copies of a run, counted as its closing line and exit status read them.
struct TsbCopyTally {
    int Done = 0;
    int Failed = 0;       // every copy that did not end Done
    int VerifyFailed = 0; // of those, the ones written but not read back the same
};

// What the front end shows of one drive while the burn runs.
struct TsbDriveState {
    std::string Name;
    int Copy = 0;      // the copy in hand (1, 2, ...), 0 before the first
    int Percent = 0;   // of the write, or of the verification
    std::string Phase; // "preparing", "writing", "verifying", "waiting for a disc", "done"
    bool Finished = false;
};

// A line of a drive's log.
struct TsbDriveLine {
    size_t Drive = 0;
    std::string Text;
    TsbLogItemType Kind = litInfo;
};

class TsbMultiBurn {
public:
    explicit TsbMultiBurn(std::string ImagePath);
    ~TsbMultiBurn();
    TsbMultiBurn(const TsbMultiBurn&) = delete;
    TsbMultiBurn& operator=(const TsbMultiBurn&) = delete;

    // A drive, its device opened and locked and its option record filled
    // (WriteMode Track-At-Once from a file). Before Run.
    size_t Add(TsbBurner& Burner, const std::string& Name);

    int Copies = 1;
    // A failed copy ends the drive's series (else it goes on with the next disc).
    bool StopOnFailure = false;
    // Eject after the last copy (every earlier copy is ejected for the next disc).
    bool EjectWhenDone = true;
    size_t RingBytes = TsbImageFeed::DefaultRing;
    // Between two copies, on the drive's thread after the eject: waits for
    // the next blank disc; false when none came (cancelled, given up). The
    // default waits with WaitForBlankDisc.
    std::function<bool(size_t Drive, TsbBurner& Burner)> NextDisc;

    // Called on the main thread at every wait step of Run, after the front
    // end's messages: a window shows the drives' rows from here.
    std::function<void()> OnWait;

    // Runs every round of copies; returns when every drive has ended.
    void Run();
    // Stops every drive (from the main thread, while Run waits).
    void CancelAll();
    bool Cancelled() const { return cancelled_.load(); }

    size_t DriveCount() const { return drives_.size(); }
    std::vector<TsbDriveState> States() const;
    std::vector<TsbDriveLine> TakeLines();
    // After Run: each copy of drive Drive, in order.
    const std::vector<TsbDriveCopyResult>& Results(size_t Drive) const;
    // After Run: every drive's copies, counted.
    TsbCopyTally Tally() const;
    // The most the image was read ahead of the slowest drive (all rounds).
    size_t PeakAhead() const { return peakAhead_; }

private:
    struct TDrive;
    void runCopy(TDrive& drive, TsbImageFeed& feed, size_t reader, int copy);
    void line(size_t drive, const std::string& text, TsbLogItemType kind);

    std::string image_;
    std::vector<std::unique_ptr<TDrive>> drives_;
    std::atomic<bool> cancelled_{false};
    std::mutex feedMutex_;
    TsbImageFeed* feed_ = nullptr; // the round's, for CancelAll
    mutable std::mutex linesMutex_;
    std::vector<TsbDriveLine> lines_;
    size_t peakAhead_ = 0;
};

// Waits on the calling thread until the drive of Burner holds a blank disc
// (asking its unit and disc every PollInterval, sleeping in between), or
// until Cancelled answers true or Patience has passed: true when the disc
// is there. The tray may be open or the drive empty meanwhile.
bool WaitForBlankDisc(TsbBurner& Burner, const std::function<bool()>& Cancelled,
                      std::chrono::milliseconds PollInterval = std::chrono::milliseconds(1500),
                      std::chrono::seconds Patience = std::chrono::hours(24));

// The words of an outcome in the closing table.
const char* CopyOutcomeName(TsbCopyOutcome Outcome);
