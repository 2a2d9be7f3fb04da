// SPDX-License-Identifier: GPL-2.0-or-later
// A virtual recorder: a drive whose discs are files under the state folder.
//
// Folder layout (the recorder's id names its folder):
//   <state>/<id>/disc.ini   the disc in the tray: kind, sessions, tracks
//   <state>/<id>/disc.img   the bytes written to it, block N at N * 2048
//   <state>/ejected/        written discs, filed away by Eject as
//                           <id>-<yyyymmdd-hhmmss>[-<volume label>].iso
#pragma once

#include "starburn/core/sbDevice.h"
#include "starburn/virtual/sbVirtualConfig.h"
#include "starburn/virtual/sbVirtualDisc.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace starburn::virt {

class Recorder : public Device {
public:
    Recorder(RecorderConfig config, std::string stateFolder, double timeFactor);
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Makes the recorder's folder and loads the disc it held when the library
    // last ran. A saved disc it cannot use is filed away (nothing is lost) and
    // the configured disc is inserted; each such event is a problem. A
    // recorder another program holds for writing is read, never repaired.
    Error load(std::vector<std::string>& problems);

    // Opened for writing: the first claim takes the recorder's lock file
    // (flock, so the lock goes when this process ends, however it ends) and
    // reads the disc again from the state folder; another program's claim
    // meanwhile fails with SB_EXCEPTION_DEVICE_BUSY naming this process.
    Error claim() override;
    void unclaim() override;
    // Busy while another program holds the lock; asked with a shared lock
    // that is let go at once.
    Error access(uint8_t& state) override;

    const RecorderConfig& config() const { return config_; }

    const DeviceFacts& facts() const override { return config_.facts; }
    Error testUnitReady() override;
    uint8_t discType() override;
    std::string discVolumeLabel() override;
    Error discInformation(SB_DISC_INFORMATION& out) override;
    Error trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) override;
    Error tocInformation(SB_TOC_INFORMATION& out, bool fast) override;
    Error discSpace(DiscSpace& out) override;
    Error region(RegionInfo& out) override;
    Error speeds(Speeds& out) override;
    Error setSpeeds(uint32_t readSpeed, uint32_t writeSpeed) override;
    Error bup(bool& enabled, bool& supported) override;
    Error setBup(bool enable) override;
    Error sendOpc() override;
    Error preventRemoval(bool prevent) override;
    Error eject() override;
    Error closeSession() override;
    Error write(WriteJob& job, WriteMonitor& monitor) override;
    Error blank(bool full, WriteMonitor& monitor) override;
    Error readData(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) override;

    // Faults for tests.
    // The next write fails once `atByte` bytes of it are written: with a
    // write error, or, with takeDiscOut, by the disc leaving the drive.
    void armWriteFault(uint64_t atByte, bool takeDiscOut);
    // Caps the write rate (bytes per second; 0 lifts the cap).
    void setWriteLimit(uint64_t bytesPerSecond);
    // Takes the disc out now; a running write fails at its next chunk.
    Error takeDiscOut();
    // Puts a blank disc of a kind in (capacity 0: the kind's usual one).
    Error insertDisc(uint8_t type, uint32_t capacity);
    // Back to the configured write faults and limit.
    void clearTestFaults();
    // The image file the last eject filed away, or empty.
    std::string lastEjectedImage() const;

private:
    // Clears writing_, under the lock, when the write or erase that set it ends.
    struct WritingEnds {
        Recorder& recorder;
        ~WritingEnds();
    };

    struct Plan;
    struct WriteFault {
        uint64_t atByte;
        bool takeDiscOut;
    };

    std::string discFile() const;
    std::string lockFile() const;
    // The lock file's descriptor with the lock taken, or -1: then error is
    // set, or (error empty) another process holds it and holder is its pid
    // (0 when unknown).
    int tryLock(long& holder, Error& error) const;
    // The answer to a claim while another program (process holder, 0 when
    // unknown) has the recorder open for writing.
    Error busyError(long holder) const;
    // Loads the saved disc, repairing what a crash or a bad file left.
    Error restoreLocked(std::vector<std::string>& problems);
    // Makes the contents file at least end bytes long.
    void coverLocked(uint64_t end);
    Error saveLocked(const Disc& disc);
    std::string contentsFile() const;
    Error noDisc() const;
    Error persistLocked();
    void persistQuietly();
    // Moves the contents file (when there is one) to the ejected folder,
    // trimmed to the disc's written blocks when trimToDisc. imagePath gets the
    // image's path, or stays empty when there was nothing to file away.
    Error fileAwayLocked(const char* reason, std::string& imagePath, bool trimToDisc);
    Error planLocked(const WriteJob& job, Plan& plan);
    Error stream(WriteJob& job, WriteMonitor& monitor, const Plan& plan, uint64_t& done);
    // One track of a write: its source, its bytes, where they go on the
    // disc, and the contents file (-1 for a test write) with the copy buffer.
    struct TrackStream {
        ImageSource& source;
        uint64_t size;
        uint64_t base;
        int fd;
        char* buffer;
        size_t chunk;
    };
    struct Pace;
    Error streamTrack(const TrackStream& track, WriteMonitor& monitor, const Plan& plan,
                      const Pace& pace, uint64_t& done);
    void recordFailure(const Plan& plan, uint64_t done, bool takeOut);
    // The configured CorruptAfterWrite fault, after a write of total bytes at startLba.
    void corruptWrittenLocked(uint32_t startLba, uint64_t total);
    uint32_t pickSpeed(const std::vector<uint32_t>& speeds, uint32_t request) const;
    const std::vector<uint32_t>& writeSpeeds() const;
    const std::vector<uint32_t>& readSpeeds() const;

    const RecorderConfig config_;
    const std::string folder_;
    const std::string ejectFolder_;
    const double timeFactor_;

    mutable std::mutex mutex_;
    Disc disc_;
    bool removalPrevented_ = false;
    bool bupEnabled_;
    uint32_t requestedRead_ = UINT32_MAX;
    uint32_t requestedWrite_ = UINT32_MAX;
    bool writing_ = false;
    std::optional<WriteFault> nextWriteFault_;
    uint64_t writeLimit_;
    std::string lastEjected_;
    std::atomic<bool> discPulled_{false};
    int claims_ = 0;  // grabbers that have the recorder open for writing
    int lockFd_ = -1; // held while claims_ > 0
};

} // namespace starburn::virt
