// SPDX-License-Identifier: GPL-2.0-or-later
// Waiting for a disc: "Insert a blank disc into <drive>". A drive is asked
// what it holds through the library (opened, asked, closed again) once per
// interval and never in between: the time between two questions is spent in
// poll() on a wake-up pipe, so a waiting program costs nothing, and Cancel
// from any thread (or a descriptor the caller names, such as a signal pipe)
// ends the wait at once.
//
// One place for every front end: the wizard's recorder sheet asks PollDisc
// on its timer; tavrin-burn --wait, and any helper that copies discs in a
// row on one or more drives, call TsbDiscWait::Wait, one waiter per drive,
// each on its own thread if it likes.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a drive holds now.
enum TsbDiscPresence : uint8_t {
    dpNoDisc = 0,      // no disc, or the tray is open
    dpNotReady = 1,    // a disc is there but the drive is still reading it in
    dpBlank = 2,       // a blank disc
    dpWritten = 3,     // a disc with something on it (appendable or closed)
    dpBusy = 4,        // another program has the drive: asked again later
    dpUnavailable = 5, // the drive cannot be opened at all (gone, closed to the user)
};

struct TsbDiscPoll {
    TsbDiscPresence Presence = dpNoDisc;
    uint8_t DiscType = 0; // the library's DISC_TYPE_*, when a disc was read
    // The library's text when the drive could not be opened.
    std::string Text;
};

// Opens the drive by its library name (CdRom1), asks whether a disc is in
// and whether it is blank, and closes it. Not announced in the diagnostic
// log: a waiting program asks every second or two.
TsbDiscPoll PollDisc(const std::string& deviceName);

// What is waited for: a blank disc (to burn), a written one (to verify), or
// either (to erase).
enum class TsbDiscWanted : uint8_t { Blank, Written, Any };

// True when Poll is what Wanted asks for.
bool DiscIsWanted(const TsbDiscPoll& poll, TsbDiscWanted wanted);

// "Insert a blank disc into <drive>" ("a disc" unless a blank one is wanted).
std::string InsertDiscText(const std::string& drive, TsbDiscWanted wanted = TsbDiscWanted::Blank);

enum class TsbDiscWaitOutcome : uint8_t {
    Ready,     // the wanted disc is in
    Cancelled, // Cancel, or a wake descriptor became readable
    Gone,      // the drive cannot be opened any more (Last.Text says why)
    TimedOut,  // Timeout passed
};

struct TsbDiscWaitResult {
    TsbDiscWaitOutcome Outcome = TsbDiscWaitOutcome::Cancelled;
    TsbDiscPoll Last;
};

class TsbDiscWait {
public:
    TsbDiscWait();
    ~TsbDiscWait();
    TsbDiscWait(const TsbDiscWait&) = delete;
    TsbDiscWait& operator=(const TsbDiscWait&) = delete;

    // Between two questions to the drive; the issue asks for 1 to 2 s.
    std::chrono::milliseconds Interval{1500};
    // 0: wait until the disc comes or the wait is cancelled.
    std::chrono::milliseconds Timeout{0};
    // Readable descriptors that end the wait as Cancel does (tavrin-burn's
    // signal pipe); they are only watched, never read.
    std::vector<int> WakeFds;
    // Called on the waiting thread after every question, with its answer.
    std::function<void(const TsbDiscPoll&)> OnPoll;
    // The question itself; PollDisc unless a test puts another in.
    std::function<TsbDiscPoll(const std::string&)> Poll = PollDisc;

    // Asks the drive at once and then every Interval until Wanted is in,
    // the drive is gone, the timeout passes or the wait is cancelled. A busy
    // drive is asked again. Blocks the calling thread, which must not be one
    // that has to process window messages.
    TsbDiscWaitResult Wait(const std::string& deviceName, TsbDiscWanted wanted);
    // Ends a running Wait (and the next one: a cancelled waiter stays
    // cancelled until Reset). Safe from any thread and from a signal thread.
    void Cancel();
    void Reset();
    bool Cancelled() const { return cancelled_.load(); }

private:
    // Until End; false when cancelled or a wake descriptor fired before.
    bool pause(std::chrono::steady_clock::time_point end);

    std::atomic<bool> cancelled_{false};
    int wake_[2] = {-1, -1};
};
