// SPDX-License-Identifier: GPL-2.0-or-later
// One emulated MMC drive as the process sees it: the ioctls the Linux sg
// driver answers on its device file, and the SCSI commands behind SG_IO.
// The disc's state lives in files (sbMmcDisc.h); what only a powered drive
// remembers (mode pages, a pending unit attention, a simulated burn, the
// fault counters) lives here.
#pragma once

#include "tests/mmcemu/sbMmcConfig.h"
#include "tests/mmcemu/sbMmcDisc.h"
#include "tests/mmcemu/sbMmcReplay.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sbmmc {

// A check condition: sense key, additional sense code and qualifier.
struct Sense {
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
    bool infoValid = false;
    uint32_t info = 0;
    bool good() const { return key == 0 && asc == 0; }
};

inline Sense sense(uint8_t key, uint8_t asc, uint8_t ascq) {
    return Sense{key, asc, ascq};
}
inline Sense senseAt(uint8_t key, uint8_t asc, uint8_t ascq, int64_t lba) {
    return Sense{key, asc, ascq, true, static_cast<uint32_t>(lba)};
}

// One command as SG_IO brings it.
struct Command {
    const uint8_t* cdb = nullptr;
    int cdbLength = 0;
    uint8_t* data = nullptr; // the caller's buffer
    uint32_t dataLength = 0;
    bool toDevice = false;
    bool fromDevice = false;
    uint32_t transferred = 0; // data-in bytes the drive produced

    uint8_t op() const { return cdb[0]; }
};

// A format a medium offers (READ FORMAT CAPACITIES).
struct FormatDescriptor {
    uint32_t blocks = 0;
    int type = 0;
    uint32_t parameter = 0;
};

class Drive {
public:
    Drive(DriveConfig config, std::shared_ptr<const Replay> replay);
    ~Drive();
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    const DriveConfig& config() const { return config_; }
    bool isFile(dev_t device, ino_t inode) const { return device == device_ && inode == inode_; }
    bool unplugged();

    // The ioctls of sg and the CD-ROM driver; -1 with errno as the kernel gives it.
    int ioctl(unsigned long request, void* argument);
    // Writes down what is recorded; at exit and when a command asks.
    void flush();

    // The files beside the device file.
    static std::string mediumFile(const std::string& path) { return path + ".medium"; }
    static std::string layoutFile(const std::string& path) { return path + ".layout"; }
    static std::string discFile(const std::string& path) { return path + ".disc"; }

private:
    struct Cue {
        int32_t lba = 0;
        int blockLength = 2048;
        int track = 0; // 0: lead-in
        int index = 0;
        int control = 4;
    };
    // A session being written at once from a cue sheet.
    struct DiscAtOnce {
        std::vector<Cue> regions;
        int32_t leadOut = 0;
        int32_t next = 0;
    };

    int scsi(void* header);
    Sense execute(Command& c);
    Sense dispatch(Command& c);
    void reply(Command& c, const std::vector<uint8_t>& bytes, size_t allocation);

    // The disc in the drive, as the files say now.
    void refresh(bool atStart);
    void newDisc(const DiscSpec& spec, const std::string& stamp);
    void mediumChanged();
    bool loadLayoutFile(Layout& out);
    void saveLayout();
    // The disc as writes see it: under the test write bit a copy that records
    // nothing and goes when the session it simulated ends.
    Layout& disc() {
        if (testWrite() && !simulated_ && discPresent()) {
            simulated_ = layout_;
        }
        return simulated_ ? *simulated_ : layout_;
    }
    const Layout& disc() const { return simulated_ ? *simulated_ : layout_; }
    bool discPresent() const;
    Sense notPresent() const;
    int64_t stride() const;

    // Commands (sbMmcInquiry.cpp: what the drive tells; sbMmcRecord.cpp: what
    // it does to the disc).
    Sense inquiry(Command& c);
    Sense requestSense(Command& c);
    Sense getConfiguration(Command& c);
    Sense modeSense(Command& c);
    Sense modeSelect(Command& c);
    Sense readDiscInformation(Command& c);
    Sense readTrackInformation(Command& c);
    Sense readToc(Command& c);
    Sense readCapacity(Command& c);
    Sense readFormatCapacities(Command& c);
    Sense getPerformance(Command& c);
    Sense readBufferCapacity(Command& c);
    Sense getEventStatus(Command& c);
    Sense readDiscStructure(Command& c);
    Sense setCdSpeed(Command& c);
    Sense setStreaming(Command& c);
    Sense startStopUnit(Command& c);
    Sense preventAllow(Command& c);
    Sense sendOpc(Command& c);
    Sense write(Command& c);
    Sense read(Command& c);
    Sense readCd(Command& c);
    Sense synchronizeCache(Command& c);
    Sense closeTrackSession(Command& c);
    Sense reserveTrack(Command& c);
    Sense sendCueSheet(Command& c);
    Sense blank(Command& c);
    Sense formatUnit(Command& c);

    std::vector<std::vector<uint8_t>> features() const;
    std::vector<uint8_t> page2A() const;
    std::vector<uint8_t> page05(int control) const;
    std::vector<FormatDescriptor> formats(FormatDescriptor& current) const;
    std::vector<int> speeds() const;
    int writeType() const { return page05_[2] & 0x0f; }
    bool testWrite() const { return (page05_[2] & 0x10) != 0; }
    int multiSession() const { return page05_[3] >> 6; }
    Sense checkPage05(const uint8_t* page) const;
    Sense writeSequential(Command& c, int32_t lba, int32_t count);
    Sense writeRandom(Command& c, int32_t lba, int32_t count);
    Sense store(const uint8_t* data, int32_t lba, int32_t count, int blockLength);
    Sense readBlocks(Command& c, int32_t lba, int32_t count, bool cdRead, int sectorType,
                     int mainChannel);
    void closeTrack(Track& t);
    void closeSession(bool finalize);
    void truncateDisc();
    void restart(); // after a blank or a format: nothing half-written is left
    int32_t writeErrorIn(int32_t lba, int32_t count) const;

    DriveConfig config_;
    std::shared_ptr<const Replay> replay_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::mutex mutex_;

    Layout layout_;
    std::optional<Layout> simulated_; // a test write records here, never on the disc
    // What the files beside the device file looked like when last read or
    // written, so one stat a file and command tells whether another process
    // or a swap changed them.
    struct FileId {
        ino_t inode = 0;
        int64_t seconds = 0;
        int64_t nanoseconds = 0;
        int64_t size = -1;
        bool operator==(const FileId&) const = default;
    };
    static FileId idOf(const std::string& file);
    std::string mediumPath_;
    std::string layoutPath_;
    FileId mediumId_;
    FileId layoutId_;
    bool dirty_ = false;
    int discFd_ = -1;

    std::array<uint8_t, 52> page05_{};
    std::array<uint8_t, 12> page01_{};
    std::optional<DiscAtOnce> discAtOnce_;
    bool unitAttention_ = false;
    int mediaEvent_ = 0; // GET EVENT STATUS NOTIFICATION: 2 new medium, 3 removal
    bool preventRemoval_ = false;
    bool vanished_ = false; // the no-disc-after fault struck
    bool unplugged_ = false;
    int64_t commands_ = 0;
    int notReadyLeft_ = 0;
    int writeSpeed_ = 0;
    int readSpeed_ = 0;
};

// Big-endian fields of CDBs and replies.
inline uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline void put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
// A CD address as minutes, seconds and frames (LBA 0 is 00:02:00).
void putMsf(uint8_t* p, int32_t lba);

} // namespace sbmmc
