// SPDX-License-Identifier: GPL-2.0-or-later
// libburn itself: started once per library session, and its message queue,
// which is global to the process. Every libburn call of the backend reads the
// messages it caused from here, so no message is lost to another reader.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace starburn::lb {

struct Message {
    uint64_t sequence = 0;
    int code = 0;
    int osErrno = 0;
    int severity = 0;     // libburn's number: larger is worse
    bool failure = false; // SORRY or worse
    std::string text;
};

// Message codes the backend acts on.
constexpr int kWriteThreadEnded = 0x00020178;
constexpr int kDriveOperationGoing = 0x00020102;

// Starts libburn for the library session. libburn installs no signal
// handlers of its own unless asked, and it is never asked here: the
// program's handling of signals stays the program's.
bool startLibburn(std::string& error);
// Ends it; every drive has been released before.
void stopLibburn();

// The sequence number the next message will get: a write remembers it when it
// starts and later asks for what came since.
uint64_t messageMark();
// Every message queued since mark (reading libburn's queue first).
std::vector<Message> messagesSince(uint64_t mark);
// Whether a libburn write thread has announced its end since mark; kept
// apart from the messages, so it holds however many came after it.
bool writeThreadEndedSince(uint64_t mark);
// The failure messages among them, joined into one text ("" when none); the
// first operating-system error among them goes to osErrno.
std::string failureText(const std::vector<Message>& messages, int& osErrno);

// Scanning for a drive and forgetting one touch libburn's global drive list:
// one at a time. Grabbing and releasing a scanned drive touch only that drive.
std::mutex& driveListMutex();

} // namespace starburn::lb
