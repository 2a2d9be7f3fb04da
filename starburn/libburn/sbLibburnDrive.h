// SPDX-License-Identifier: GPL-2.0-or-later
// A drive reached through libburn: a real recorder (/dev/srN) or a stdio
// pseudo-drive (an image file libburn writes as if it were a disc).
//
// libburn answers only for a grabbed drive, and a grabbed drive is held
// exclusively with its tray locked. So a drive is grabbed when a call needs
// it and released again when it has been idle for a while, unless a grabber
// holds the tray lock (then it stays grabbed until the lock goes) or a write
// runs. Every grab costs a spin-up, a tray lock and a fresh look at the disc,
// and every release stops the unit, so the idle time spans the pauses between
// the wizard's sheets. The drive is scanned once (at start, or at its first
// use when it could not be examined then) and later taken with
// burn_drive_grab alone, which touches no other drive.
// Calls that come while a write runs answer from the state taken before it,
// without touching the drive.
#pragma once

#include "starburn/core/sbDevice.h"
#include "starburn/libburn/sbLibburnMedia.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace burn {
struct burn_drive;
struct burn_drive_info;
} // namespace burn

namespace starburn::lb {

struct CueSession;

struct DriveSetup {
    std::string address; // what libburn grabs: "/dev/sr0" or "stdio:/path/disc.iso"
    std::string title;   // how failure texts name the drive
    bool stdio = false;
    DeviceFacts facts;
    // Set when the drive cannot be opened at all (no permission): every call
    // that needs the drive fails with this text and status.
    std::string unavailableText;
    uint32_t unavailableStatus = 0;
    // The drive as the examination scanned and grabbed it; the Drive owns it
    // and holds it as a drive a call has just used. Null when it could not
    // be examined: the first use scans.
    burn::burn_drive_info* info = nullptr;
    // How long a drive answering "not ready yet" is asked before a grab gives
    // up (real drives only).
    std::chrono::seconds readyWait{30};
    // The examination's failure of a drive that did not become ready: the
    // first calls answer it at once instead of waiting all over again.
    Error notReadyAtStart;
};

class Drive : public Device {
public:
    explicit Drive(DriveSetup setup);
    ~Drive() override;

    const DeviceFacts& facts() const override { return setup_.facts; }
    Error testUnitReady() override;
    uint8_t discType() override;
    Error discInformation(SB_DISC_INFORMATION& out) override;
    Error trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) override;
    Error tocInformation(SB_TOC_INFORMATION& out, bool fast) override;
    Error discSpace(DiscSpace& out) override;
    Error region(RegionInfo& out) override;
    Error speeds(Speeds& out) override;
    Error setSpeeds(uint32_t readSpeed, uint32_t writeSpeed) override;
    Error bup(bool& enabled, bool& supported) override;
    Error setBup(bool enable) override;
    // In sbLibburnScsi.cpp.
    Error sendOpc() override;
    Error preventRemoval(bool prevent) override;
    Error eject() override;
    Error closeSession() override;
    Error write(WriteJob& job, WriteMonitor& monitor) override;
    Error blank(bool full, WriteMonitor& monitor) override;
    // In sbLibburnRead.cpp.
    Error readData(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) override;
    Error readAudio(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) override;
    void shutDown() override;
    // Forbidden when the device file keeps the user out; busy or mounted when
    // the drive cannot be taken because another program or a mount holds it.
    Error access(uint8_t& state) override;

    // The volume label of the disc in the drive (its primary volume
    // descriptor), or empty.
    std::string discVolumeLabel() override;
    // In sbLibburnMediaId.cpp.
    void discMediaId(std::string& id, std::string& manufacturer) override;
    // In sbLibburnBluRay.cpp.
    Error setBluRayWrite(uint32_t format, bool streamRecording) override;

    // How long an unused drive stays grabbed.
    static constexpr std::chrono::milliseconds kIdleRelease{30000};
    // How long a drive stays grabbed once its tray is unlocked.
    static constexpr std::chrono::milliseconds kUnlockedRelease{1000};
    // How long a failed grab (a busy drive) is answered from memory: libburn
    // retries a busy device for seconds on every attempt.
    static constexpr std::chrono::milliseconds kFailureMemory{5000};

    // Scans (burn_drive_scan_and_grab) and grabs (burn_drive_grab) so far.
    uint32_t scans() const { return scans_; }
    uint32_t grabs() const { return grabs_; }

private:
    struct WriteRun;

    struct Plan;

    // Waits for a cancelled write's wind-down; false when a write still runs.
    bool awaitWindDownLocked(std::unique_lock<std::mutex>& lock);
    // The same, answering a drive still writing with SB_EXCEPTION_DEVICE_BUSY.
    Error awaitIdleLocked(std::unique_lock<std::mutex>& lock);
    void windDown(std::unique_ptr<WriteRun> run, burn::burn_drive* d, uint64_t mark);

    // cancelled (may be empty): the caller's cancel, which ends a wait for a
    // drive that is not ready yet.
    Error grabLocked(bool* fresh = nullptr, const std::function<bool()>& cancelled = {});
    // "The recorder was disconnected. ..." (SB_EXCEPTION_NO_DEVICE, ENODEV).
    Error disconnected() const;
    Error openFailure(const std::string& why, int err) const;
    void releaseLocked(bool eject);
    // In sbLibburnScsi.cpp: closes the track and session a write of this
    // program left open because the drive did not close them.
    Error closeLeftOpenLocked();
    // Lets go of the drive and drops it from libburn's drive list (libburn's
    // global state).
    void forgetLocked();
    // The same, and what the drive's writes left is forgotten: the next use
    // scans it anew.
    void dropLocked();
    void refreshLocked();
    // A fresh look at the disc when the cached one may be out of date: the
    // drive showed no disc (or one not ready yet), or it is a file that
    // anyone may change. Waits a bounded time for a disc becoming ready
    // (the configured wait, cancelled may end it) and fails when it is not.
    // force: also a disc that looked fine (a disc swapped while the drive
    // stayed grabbed between two uses).
    Error reassessIfStaleLocked(bool force = false, const std::function<bool()>& cancelled = {});
    void touchLocked();
    void releaser();
    // The disc snapshot for a query: fresh from the drive, or the one taken
    // before the running write.
    Error stateForQuery(DiscState& out);
    // The state as stateForQuery reads it, and noDisc() when the tray is empty.
    Error discForQuery(DiscState& out);
    Error noDisc() const;
    // cue: the session read from the job's cue sheet, or nullptr.
    Error checkWriteLocked(const WriteJob& job, uint64_t& total, Plan& plan,
                           const CueSession* cue = nullptr);
    // The steps of a write. Takes the drive for the write, checks the job
    // and sets up libburn's objects for it (d: the drive libburn writes).
    Error prepareWrite(WriteJob& job, WriteMonitor& monitor, WriteRun& run, Plan& plan,
                       uint64_t& total, burn::burn_drive*& d);
    Error writeOptionsLocked(const WriteJob& job, const Plan& plan, WriteRun& run);
    // Formats a BD that is not formatted yet as setBluRayWrite chose, once
    // the job's blocks are known to fit the format's capacity, and reads the
    // disc again (sbLibburnBluRay.cpp).
    Error formatBluRayLocked(const WriteJob& job);
    // Reports progress until libburn's write ends (false), or until it is
    // cancelled or its feed fails (true: stopped is the answer, and run has
    // gone to the wind-down).
    bool followWrite(std::unique_ptr<WriteRun>& run, burn::burn_drive* d, uint64_t mark,
                     uint64_t total, bool simulated, WriteMonitor& monitor, Error& stopped);
    // The drive back from the write, and the write's outcome.
    Error finishWrite(const WriteJob& job, WriteRun& run, const Plan& plan, burn::burn_drive* d,
                      uint64_t mark, bool spawned, uint64_t total, WriteMonitor& monitor);
    void applySpeedsLocked();
    // A stdio pseudo-drive's speed is the request within its bounds; a drive
    // without a list of speeds takes the request up to its fastest.
    uint32_t pick(const std::vector<uint32_t>& speeds, uint32_t fastest, uint32_t request) const;
    uint32_t pickWrite(uint32_t request) const;
    uint32_t pickRead(uint32_t request) const;
    void readSpeedListLocked();

    const DriveSetup setup_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread releaser_;
    bool stopping_ = false;
    burn::burn_drive_info* info_ = nullptr; // scanned once, kept until shut-down
    burn::burn_drive* drive_ = nullptr;     // set while grabbed
    std::atomic<uint32_t> scans_{0};
    std::atomic<uint32_t> grabs_{0};
    Error lastFailure_;
    bool lastFailureBusy_ = false; // lastFailure_ came from a drive in use
    std::chrono::steady_clock::time_point failureUntil_{};
    std::chrono::steady_clock::time_point releaseAt_{};
    bool held_ = false;    // a grabber locked the tray
    bool writing_ = false; // a write runs; only it touches the drive
    // A cancelled write has returned to its caller while libburn still stops
    // it; windDown_ then frees it and clears writing_.
    bool windingDown_ = false;
    std::thread windDown_;
    DiscState state_;
    std::vector<uint32_t> writeSpeeds_; // KB/s, ascending, for the disc in the drive
    std::vector<uint32_t> readSpeeds_;
    uint32_t maxWrite_ = 0;
    uint32_t maxRead_ = 0;
    uint32_t requestedRead_ = 0xFFFF;
    uint32_t requestedWrite_ = 0xFFFF;
    uint32_t appliedRead_ = 0; // what was last set on the drive
    uint32_t appliedWrite_ = 0;
    bool bupEnabled_;
    uint32_t bluRayFormat_ = 0;    // SB_BD_FORMAT_*
    bool streamRecording_ = false; // BD written without the drive's defect management
    // The disc (as fingerprintOf describes it) whose session the last write
    // closed itself, as libburn closes what it writes; empty when none. It
    // outlives an idle release: the disc is the same while it looks the same.
    std::string closedByWrite_;
    // The blank disc on which a Track-At-Once write failed because the drive
    // only claimed to write it incrementally (feature 21h); its next write
    // goes Session-At-Once.
    std::string feat21Failed_;
    // The disc (fingerprintOf) whose last write this program wrote, but the
    // drive did not close; CloseSession closes it. Empty when none.
    std::string closeFailed_;
};

// Grabs the drive at a device file once, reads what it reports about itself
// and releases it again, keeping it scanned in info. Fails with a text when
// the drive cannot be grabbed (info stays null).
// A real drive that answers "not ready yet" is waited for first, up to
// readyWait (title names it in the failure).
Error examineDrive(const std::string& deviceFile, DeviceFacts& facts, burn::burn_drive_info*& info,
                   std::chrono::seconds readyWait, const std::string& title);

// Advice for a drive the system reports busy: where its disc is mounted (to
// be unmounted) and which processes have the device open, as /proc tells;
// empty when /proc tells neither.
std::string busyAdvice(const std::string& deviceFile);

// Whether libburn's failure to take a drive (its text, and errno or 0) says
// the drive is in use.
bool busyFailure(const std::string& why, int err);

// Where the device file's file systems are mounted (none: empty).
std::vector<std::string> mountPointsOf(const std::string& deviceFile);

} // namespace starburn::lb
