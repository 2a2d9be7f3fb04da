// SPDX-License-Identifier: GPL-2.0-or-later
// The drive a backend offers: what every backend (virtual recorders, real
// recorders through libburn) implements, so the C functions of StarBurn.h
// never know which backend answers.
//
// The core (starburn/core) does everything that is the same for every drive:
// it checks handles and arguments, refuses writes on query-only grabbers,
// keeps one write per drive at a time, counts tray locks over grabbers, opens
// the image sources, injects named-call faults and turns an Error into the
// caller's failure report. A backend only answers for its drive.
//
// Threads: any method may be called from any thread, and the queries may be
// called while a write of the same drive runs on another thread. A backend
// must not call back into the C interface.
#pragma once

#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbFailure.h"
#include "starburn/core/sbImageSource.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace starburn {

// What a drive reports about itself; it does not change while the library runs.
struct DeviceFacts {
    std::string vendor;
    std::string product;
    std::string revision;
    uint32_t bufferSize = 0;

    // Media formats, modelled on the capabilities mode page.
    bool readsCdR = false;
    bool readsCdRw = false;
    bool readsDvdRom = false;
    bool readsDvdR = false;
    bool readsDvdRam = false;
    bool testWrite = false;
    bool writesCdR = false;
    bool writesCdRw = false;
    bool writesDvdR = false;
    bool writesDvdRam = false;
    bool readsDvdPlusR = false;
    bool readsDvdPlusRw = false;
    bool writesDvdPlusR = false;
    bool writesDvdPlusRw = false;
    bool readsDvdPlusRDl = false;
    bool writesDvdPlusRDl = false;

    // Write methods.
    bool trackAtOnce = false;
    bool sessionAtOnce = false;
    bool discAtOncePq = false;
    bool discAtOnceRawPw = false;

    // Read modes.
    bool readsCdda = false;
    bool readsCddaAccurate = false;
    bool readsMode2Form1 = false;
    bool readsMode2Form2 = false;
    bool readsRaw = false;
    bool readsSubchannel = false;

    bool bupSupported = false;
};

// DVD region settings.
struct RegionInfo {
    uint8_t rpcType = 0;
    uint8_t regionMask = 0;
    uint8_t userChangesLeft = 0;
    uint8_t vendorResetsLeft = 0;
    uint8_t regionScheme = 0;
};

// Speeds in KB/s (1000 bytes).
struct Speeds {
    uint32_t currentRead = 0;
    uint32_t maximumRead = 0;
    uint32_t currentWrite = 0;
    uint32_t maximumWrite = 0;
};

// The speed a drive takes for a request, from its list of speeds (not
// empty, slowest first): speeds are x-factors rounded to KB/s and callers ask
// in rounded numbers of their own (1400 for 8x = 1411), so a request within
// 1 % of a speed selects it, as drives do; below every speed, the slowest.
inline uint32_t speedFor(const std::vector<uint32_t>& speeds, uint32_t request) {
    const uint64_t reach = static_cast<uint64_t>(request) + request / 100;
    uint32_t chosen = speeds.front();
    for (uint32_t s : speeds) {
        if (s <= reach) {
            chosen = s;
        }
    }
    return chosen;
}

struct DiscSpace {
    uint32_t freeBlocks = 0; // 2048-byte blocks
    uint64_t freeBytes = 0;
    uint64_t usedBytes = 0;
};

enum class WriteMethod { TrackAtOnce, SessionAtOnce, DiscAtOncePq, DiscAtOnceRawPw };

const char* writeMethodName(WriteMethod method);

// One track of a write: its source, already opened and sized.
struct WriteTrack {
    std::unique_ptr<ImageSource> source;
    std::string description; // "image file \"/x.iso\"", used in failure texts
};

struct WriteJob {
    WriteMethod method = WriteMethod::DiscAtOncePq;
    std::vector<WriteTrack> tracks;
    bool testWrite = false;
    bool multiSession = false; // leave the disc appendable
    bool closeSession = true;  // Session-At-Once: close the session it writes
    bool overburn = false;
    // A cue sheet to write Disc-At-Once instead of the tracks (none then):
    // the backend reads it (libburn's own reader) and takes its files.
    std::string cueSheet;
};

// What a write reports to, and asks of, the grabber that runs it. Everything
// here runs on the writing thread.
class WriteMonitor {
public:
    virtual ~WriteMonitor() = default;

    // True once Cancel (or Destroy, or shut-down) asked the write to stop.
    virtual bool cancelled() const = 0;

    // Waits until the deadline or until a cancel, whichever comes first.
    // Returns false when the wait ended because of a cancel.
    virtual bool sleepUntil(std::chrono::steady_clock::time_point deadline) = 0;

    // Reason 12: bytes of the whole write, bytes handed to the drive.
    virtual void progress(uint64_t total, uint64_t done) = 0;

    // Reason 13: the drive's buffer size and its free bytes.
    virtual void bufferStatus(uint32_t size, uint32_t freeBytes) = 0;

    // Reason 11: lead-in, closing and the like.
    virtual void otherProgress() = 0;
};

// What a read of the disc asks of the grabber that runs it: whether Cancel
// came, and a wait that a cancel ends early. Runs on the reading thread.
class ReadMonitor {
public:
    virtual ~ReadMonitor() = default;
    virtual bool cancelled() const = 0;
    // Returns false when the wait ended because of a cancel.
    virtual bool sleepUntil(std::chrono::steady_clock::time_point deadline) = 0;
};

// One drive. The methods answer for the drive and its disc; the information
// blocks are filled whole (the core zeroes them first).
class Device {
public:
    virtual ~Device() = default;

    virtual const DeviceFacts& facts() const = 0;

    virtual Error testUnitReady() = 0;
    // A DISC_TYPE; DISC_TYPE_NO_MEDIA when the tray is empty.
    virtual uint8_t discType() = 0;
    virtual Error discInformation(SB_DISC_INFORMATION& out) = 0;
    virtual Error trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) = 0;
    virtual Error tocInformation(SB_TOC_INFORMATION& out, bool fast) = 0;
    virtual Error discSpace(DiscSpace& out) = 0;
    virtual Error region(RegionInfo& out) = 0;

    virtual Error speeds(Speeds& out) = 0;
    // Requests in KB/s; the drive picks the fastest it supports at or below each.
    virtual Error setSpeeds(uint32_t readSpeed, uint32_t writeSpeed) = 0;

    virtual Error bup(bool& enabled, bool& supported) = 0;
    virtual Error setBup(bool enable) = 0;
    virtual Error sendOpc() = 0;

    // The core calls this when the first grabber locks the tray (true) and
    // when the last lock goes (false).
    virtual Error preventRemoval(bool prevent) = 0;
    virtual Error eject() = 0;
    virtual Error closeSession() = 0;

    // Writes the job on the calling thread, streaming its sources in bounded
    // chunks. Returns SB_EXCEPTION_CANCELLED when the monitor says so.
    virtual Error write(WriteJob& job, WriteMonitor& monitor) = 0;

    // Reads `blocks` 2048-byte blocks from `lba` on into buffer (the core
    // checks the buffer and a count above zero). A range past the recorded
    // data fails with SB_EXCEPTION_INVALID_PARAMETER and reads nothing; an
    // unreadable block with SB_EXCEPTION_MEDIUM_ERROR and its sense data.
    virtual Error readData(uint32_t /*lba*/, uint32_t /*blocks*/, void* /*buffer*/,
                           ReadMonitor& /*monitor*/) {
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, 0, "This drive cannot read its disc back");
    }

    // Reads `blocks` 2352-byte audio sectors from `lba` on (READ CD) into
    // buffer; as readData otherwise. Only a CD holds audio sectors.
    virtual Error readAudio(uint32_t /*lba*/, uint32_t /*blocks*/, void* /*buffer*/,
                            ReadMonitor& /*monitor*/) {
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, 0,
                         "This drive cannot read audio sectors back");
    }

    // A grabber opens the drive for writing (claim) and lets go of it
    // (unclaim, once for each claim that succeeded). A drive that other
    // programs can reach answers SB_EXCEPTION_DEVICE_BUSY while one of them
    // has it open, as a real drive does.
    virtual Error claim() { return {}; }
    virtual void unclaim() {}

    // Whether a claim (or, for a drive that must be taken to be used, its
    // taking) would succeed now, asked without taking the drive from anyone:
    // state gets an SB_DEVICE_ACCESS_* value, and anything but FREE comes with
    // the error that says what stands in the way. This program's own claims
    // never stand in its way.
    virtual Error access(uint8_t& state) {
        state = SB_DEVICE_ACCESS_FREE;
        return {};
    }

    // Erases a rewritable disc (quick, or every block when full): CD-RW and
    // DVD-RW are blanked, DVD+RW formatted. Runs on the calling thread like a
    // write: reason 11 as it starts, then reason 12 with a total. A
    // write-once or pressed disc fails with SB_EXCEPTION_MEDIUM_ERROR.
    virtual Error blank(bool /*full*/, WriteMonitor& /*monitor*/) {
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, 0, "This drive cannot erase discs");
    }

    // Called once when the library shuts down, after every write has ended.
    virtual void shutDown() {}

    // The volume label in the primary volume descriptor of the disc in the
    // drive, or empty when there is none (or the backend cannot read it).
    virtual std::string discVolumeLabel() { return {}; }

    // How the next writes treat a Blu-ray disc (SB_BD_FORMAT_*, stream
    // recording); a backend without Blu-ray rules keeps nothing.
    virtual Error setBluRayWrite(uint32_t /*format*/, bool /*streamRecording*/) { return {}; }

    // The disc's media id and its manufacturer, as the drive reports them;
    // both empty when it reports none (StarBurn_GetMediaId).
    virtual void discMediaId(std::string& /*id*/, std::string& /*manufacturer*/) {}
};

} // namespace starburn
