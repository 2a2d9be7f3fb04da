// SPDX-License-Identifier: GPL-2.0-or-later
// The virtual recorder as a drive: queries, speeds, buffer-underrun
// protection, power calibration, the tray, closing a session, reading back.
#include "starburn/virtual/sbVirtualRecorder.h"

#include "starburn/core/sbFileSource.h"
#include "starburn/core/sbSenseTable.h"
#include "starburn/virtual/sbVirtualFiles.h"
#include "starburn/virtual/sbVirtualRecorderParts.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::virt {

// Sense data of the answers a drive gives.
Error notReady(const std::string& text) {
    return senseError(SB_EXCEPTION_NOT_READY, 0x02, 0x3A, 0x00, text);
}

Error incompatibleMedium(const std::string& text) {
    return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x00, text);
}

Error invalidField(uint8_t exception, const std::string& text) {
    return senseError(exception, 0x05, 0x24, 0x00, text);
}

// In 64 bits: an image of 8 TiB is 2^32 blocks, not none.
uint64_t blocksOf(uint64_t bytes) {
    return bytes / kBlockSize + (bytes % kBlockSize != 0 ? 1 : 0);
}

PrimaryVolume primaryVolumeOf(int fd) {
    unsigned char block[kBlockSize];
    const ssize_t got =
        ::pread(fd, block, sizeof block, kPrimaryVolumeDescriptorBlock * kBlockSize);
    return got > 0 ? readPrimaryVolume(block, static_cast<size_t>(got)) : PrimaryVolume{};
}

Error Recorder::noDisc() const {
    // In the words a real drive's refusal gets, naming the recorder as those
    // name theirs; no raw code in the text, as no drive was asked.
    return notReady(senseAdvice({0x02, 0x3A, 0x00}) + " (" + config_.facts.product + ")");
}

Error Recorder::testUnitReady() {
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    return {};
}

uint8_t Recorder::discType() {
    std::lock_guard lock(mutex_);
    return disc_.type();
}

Error Recorder::discInformation(SB_DISC_INFORMATION& out) {
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    disc_.fill(out);
    return {};
}

Error Recorder::trackInformation(uint32_t trackNumber, SB_TRACK_INFORMATION& out) {
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    if (!disc_.fill(trackNumber, out)) {
        return invalidField(SB_EXCEPTION_INVALID_PARAMETER,
                            "The disc has no track " + std::to_string(trackNumber));
    }
    return {};
}

Error Recorder::tocInformation(SB_TOC_INFORMATION& out, bool /*fast*/) {
    // A virtual disc has no slow full table of contents to skip.
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    disc_.fill(out);
    return {};
}

Error Recorder::discSpace(DiscSpace& out) {
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    out.freeBlocks = disc_.freeBlocks();
    out.freeBytes = static_cast<uint64_t>(out.freeBlocks) * kBlockSize;
    out.usedBytes = disc_.usedBytes();
    return {};
}

Error Recorder::region(RegionInfo& out) {
    if (!config_.facts.readsDvdRom) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED,
                            "The drive " + config_.facts.product + " is not a DVD drive");
    }
    out = config_.region;
    return {};
}

const std::vector<uint32_t>& Recorder::writeSpeeds() const {
    const DiscKind* k = disc_.kind();
    return (k != nullptr && k->dvd) ? config_.dvdWriteSpeeds : config_.cdWriteSpeeds;
}

const std::vector<uint32_t>& Recorder::readSpeeds() const {
    const DiscKind* k = disc_.kind();
    return (k != nullptr && k->dvd) ? config_.dvdReadSpeeds : config_.cdReadSpeeds;
}

uint32_t Recorder::pickSpeed(const std::vector<uint32_t>& speeds, uint32_t request) const {
    if (speeds.empty()) {
        return 0;
    }
    return speedFor(speeds, request);
}

Error Recorder::speeds(Speeds& out) {
    std::lock_guard lock(mutex_);
    const auto& reads = readSpeeds();
    const auto& writes = writeSpeeds();
    out.maximumRead = reads.empty() ? 0 : reads.back();
    out.maximumWrite = writes.empty() ? 0 : writes.back();
    out.currentRead = pickSpeed(reads, requestedRead_);
    out.currentWrite = pickSpeed(writes, requestedWrite_);
    return {};
}

Error Recorder::setSpeeds(uint32_t readSpeed, uint32_t writeSpeed) {
    std::lock_guard lock(mutex_);
    requestedRead_ = readSpeed;
    requestedWrite_ = writeSpeed;
    return {};
}

Error Recorder::bup(bool& enabled, bool& supported) {
    std::lock_guard lock(mutex_);
    supported = config_.facts.bupSupported;
    enabled = bupEnabled_;
    return {};
}

Error Recorder::setBup(bool enable) {
    std::lock_guard lock(mutex_);
    if (enable && !config_.facts.bupSupported) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED, "The drive " + config_.facts.product +
                                                            " has no buffer-underrun protection");
    }
    bupEnabled_ = enable;
    return {};
}

Error Recorder::sendOpc() {
    std::lock_guard lock(mutex_);
    const DeviceFacts& f = config_.facts;
    if (!(f.writesCdR || f.writesCdRw || f.writesDvdR || f.writesDvdRam || f.writesDvdPlusR ||
          f.writesDvdPlusRw || f.writesDvdPlusRDl)) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED, "The drive " + f.product +
                                                            " cannot write, so it has no laser "
                                                            "power to calibrate");
    }
    if (!disc_.present()) {
        return noDisc();
    }
    if (!disc_.writable() || !writesKind(f, *disc_.kind())) {
        return incompatibleMedium("The disc cannot be written, so the laser power cannot be "
                                  "calibrated on it");
    }
    return {};
}

Error Recorder::preventRemoval(bool prevent) {
    std::lock_guard lock(mutex_);
    removalPrevented_ = prevent;
    return {};
}

Error Recorder::eject() {
    std::lock_guard lock(mutex_);
    if (writing_) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is writing");
    }
    if (removalPrevented_) {
        return senseError(SB_EXCEPTION_DEVICE_BUSY, 0x05, 0x53, 0x02,
                          "Medium removal is prevented (the tray is locked)");
    }
    Disc next;
    if (!disc_.present()) {
        // An empty tray opens and closes with a disc of the configured kind in it.
        next = Disc::fromConfig(config_.disc);
    } else if (disc_.pressed()) {
        next = disc_; // a pressed disc goes back in as it came out
    } else {
        next = Disc::blank(disc_.type(), disc_.capacity());
    }
    std::string path;
    if (disc_.present() && !disc_.pressed()) {
        if (Error e = fileAwayLocked("ejected", path, true)) {
            return e;
        }
    }
    disc_ = next;
    discPulled_ = false;
    persistQuietly();
    return {};
}

Error Recorder::closeSession() {
    std::lock_guard lock(mutex_);
    if (!disc_.present()) {
        return noDisc();
    }
    if (!disc_.closeSession()) {
        return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x2C, 0x00,
                          "The disc has no open session to close");
    }
    persistQuietly();
    return {};
}

Error Recorder::readData(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) {
    std::string file;
    double rate = 0; // bytes per second; 0 for as fast as the disk allows
    uint64_t fileBytes = 0;
    {
        std::lock_guard lock(mutex_);
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is writing");
        }
        if (!disc_.present() || discPulled_) {
            return noDisc();
        }
        const uint32_t recorded = disc_.nextWritable();
        if (static_cast<uint64_t>(lba) + blocks > recorded) {
            return senseError(SB_EXCEPTION_INVALID_PARAMETER, 0x05, 0x21, 0x00,
                              "Blocks " + std::to_string(lba) + " to " +
                                  std::to_string(static_cast<uint64_t>(lba) + blocks - 1) +
                                  " go past the recorded data (" + std::to_string(recorded) +
                                  " blocks)");
        }
        if (config_.readErrorAtBlock && *config_.readErrorAtBlock >= lba &&
            *config_.readErrorAtBlock - lba < blocks) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              "Unrecovered read error at block " +
                                  std::to_string(*config_.readErrorAtBlock));
        }
        const double speed = static_cast<double>(pickSpeed(readSpeeds(), requestedRead_)) * 1000.0;
        if (timeFactor_ > 0 && speed > 0) {
            rate = speed / timeFactor_;
        }
        file = contentsFile();
    }
    const auto start = Clock::now();
    const uint64_t bytes = static_cast<uint64_t>(blocks) * kBlockSize;
    auto* out = static_cast<char*>(buffer);
    // Blocks the contents file does not hold (a disc written before it was
    // kept, a pressed disc) read as zeros. A contents file that is there but
    // cannot be read is a read error, never zeros; non-blocking, so a FIFO
    // put in its place cannot stop the read in open().
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | kNoLinks);
    if (fd < 0 && errno != ENOENT) {
        return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                          fileError("The disc image cannot be read", file, errno));
    }
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              "The disc image \"" + file + "\" is not a regular file");
        }
        fileBytes = static_cast<uint64_t>(st.st_size);
    }
    if (fd >= 0) {
        const int err =
            readPadded(fd, static_cast<uint64_t>(lba) * kBlockSize, bytes, fileBytes, out);
        ::close(fd);
        if (err != 0) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              fileError("The disc image cannot be read", file, err));
        }
    } else {
        std::memset(out, 0, static_cast<size_t>(bytes));
    }
    if (rate > 0) {
        const auto due =
            start + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(bytes) / rate));
        if (!monitor.sleepUntil(due)) {
            return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The read was cancelled");
        }
    } else if (monitor.cancelled()) {
        return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The read was cancelled");
    }
    return {};
}

// The label a mounted disc shows: the volume identifier of the ISO9660
// primary volume descriptor in block 16 of what was written, without its
// padding blanks. Discs that hold no such descriptor have no label.
std::string Recorder::discVolumeLabel() {
    std::string file;
    {
        std::lock_guard lock(mutex_);
        if (!disc_.present() || disc_.usedBytes() < 17 * kBlockSize) {
            return {};
        }
        file = contentsFile();
    }
    const int fd = ::open(file.c_str(), O_RDONLY | kNoLinks);
    if (fd < 0) {
        return {};
    }
    const std::string label = primaryVolumeOf(fd).identifier;
    ::close(fd);
    return label;
}

} // namespace starburn::virt
