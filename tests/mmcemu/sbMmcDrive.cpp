// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/mmcemu/sbMmcDrive.h"

#include "ini/sbIni.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/scsi_ioctl.h>
#include <scsi/sg.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sbmmc {

namespace {

// The SCSI host our drives hang on; the target is the drive's number.
constexpr int kHost = 7;
// The status of a failed command and the sg driver's mark of sense data.
constexpr unsigned char kCheckCondition = 0x02;
constexpr unsigned short kDriverSense = 0x08;

// The length of a CDB by its operation code group.
int cdbLength(uint8_t op) {
    switch (op >> 5) {
    case 0:
        return 6;
    case 1:
    case 2:
        return 10;
    case 5:
        return 12;
    default:
        return 16;
    }
}

// The commands the emulated drive knows; any other is an illegal request.
bool known(uint8_t op) {
    static constexpr uint8_t kCommands[] = {0x00, 0x03, 0x04, 0x12, 0x1B, 0x1E, 0x23, 0x25,
                                            0x28, 0x2A, 0x35, 0x43, 0x46, 0x4A, 0x51, 0x52,
                                            0x53, 0x54, 0x55, 0x5A, 0x5B, 0x5C, 0x5D, 0xA1,
                                            0xA8, 0xAA, 0xAC, 0xAD, 0xB6, 0xBB, 0xBE};
    return std::find(std::begin(kCommands), std::end(kCommands), op) != std::end(kCommands);
}

bool needsMedium(uint8_t op) {
    switch (op) {
    case 0x00:
    case 0x04:
    case 0x25:
    case 0x28:
    case 0x2A:
    case 0x35:
    case 0x43:
    case 0x51:
    case 0x52:
    case 0x53:
    case 0x54:
    case 0x5B:
    case 0x5D:
    case 0xA1:
    case 0xA8:
    case 0xAA:
    case 0xAC:
    case 0xAD:
    case 0xBE:
        return true;
    default:
        return false;
    }
}

// Commands a unit attention does not stop (SPC, MMC).
bool passesUnitAttention(uint8_t op) {
    return op == 0x12 || op == 0x03 || op == 0x46 || op == 0x4A;
}

// Commands after which the layout need not be written down yet: the writes
// themselves and what a burn asks between them.
bool keepsLayoutUnwritten(uint8_t op) {
    return op == 0x2A || op == 0xAA || op == 0x5C || op == 0x00 || op == 0x03 || op == 0x4A;
}

void complain(const std::string& text) {
    std::fprintf(stderr, "sbmmcemu: %s\n", text.c_str());
}

} // namespace

void putMsf(uint8_t* p, int32_t lba) {
    const int32_t frames = lba >= -150 ? lba + 150 : lba + 450150;
    p[0] = static_cast<uint8_t>(frames / (60 * 75));
    p[1] = static_cast<uint8_t>(frames / 75 % 60);
    p[2] = static_cast<uint8_t>(frames % 75);
}

Drive::Drive(DriveConfig config, std::shared_ptr<const Replay> replay)
    : config_(std::move(config)), replay_(std::move(replay)), mediumPath_(mediumFile(config_.path)),
      layoutPath_(layoutFile(config_.path)) {
    struct stat st {};
    if (::stat(config_.path.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    discFd_ = ::open(discFile(config_.path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (discFd_ < 0) {
        complain(discFile(config_.path) + ": " + std::strerror(errno));
    }
    page05_[0] = 0x05;
    page05_[1] = 0x32;
    page05_[2] = 0x01; // track at once
    page05_[3] = 0x04; // data track
    page05_[4] = 0x08; // mode 1
    page05_[15] = 150; // audio pause
    page01_[0] = 0x01;
    page01_[1] = 0x0A;
    page01_[3] = 1;
    page01_[8] = 1;
    refresh(true);
    notReadyLeft_ = config_.faults.notReady;
    const auto offered = speeds();
    writeSpeed_ = offered.empty() ? 0 : offered.back();
}

Drive::~Drive() {
    if (discFd_ >= 0) {
        ::close(discFd_);
    }
}

bool Drive::unplugged() {
    std::lock_guard lock(mutex_);
    return unplugged_;
}

void Drive::flush() {
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (lock.owns_lock() && dirty_) {
        saveLayout();
    }
}

int Drive::ioctl(unsigned long request, void* argument) {
    if (request == SG_IO) {
        return scsi(argument);
    }
    std::lock_guard lock(mutex_);
    if (unplugged_) {
        errno = ENODEV;
        return -1;
    }
    if (argument == nullptr && request != CDROM_DRIVE_STATUS && request != CDROM_MEDIA_CHANGED &&
        request != CDROM_GET_CAPABILITY) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
    case SG_GET_SCSI_ID: {
        struct sg_scsi_id id {};
        id.host_no = kHost;
        id.scsi_id = config_.number;
        id.scsi_type = TYPE_ROM;
        id.h_cmd_per_lun = 1;
        id.d_queue_depth = 1;
        std::memcpy(argument, &id, sizeof id);
        return 0;
    }
    case SG_GET_VERSION_NUM:
        *static_cast<int*>(argument) = 30536;
        return 0;
    case SCSI_IOCTL_GET_IDLUN: {
        const int idlun[2] = {(kHost << 24) | (config_.number & 0xff), kHost};
        std::memcpy(argument, idlun, sizeof idlun);
        return 0;
    }
    case SCSI_IOCTL_GET_BUS_NUMBER:
        *static_cast<int*>(argument) = kHost;
        return 0;
    case CDROM_DRIVE_STATUS:
        refresh(false);
        if (layout_.trayOpen) {
            return CDS_TRAY_OPEN;
        }
        return discPresent() ? CDS_DISC_OK : CDS_NO_DISC;
    case CDROM_MEDIA_CHANGED:
        return mediaEvent_ != 0 ? 1 : 0;
    case CDROM_GET_CAPABILITY:
        return CDC_CLOSE_TRAY | CDC_OPEN_TRAY | CDC_LOCK | CDC_SELECT_SPEED | CDC_MEDIA_CHANGED |
               CDC_DRIVE_STATUS | CDC_GENERIC_PACKET | CDC_CD_R | CDC_CD_RW | CDC_DVD | CDC_DVD_R |
               CDC_DVD_RAM;
    default:
        // sr answers no other request; the generic ones never reach a driver.
        errno = ENOTTY;
        return -1;
    }
}

int Drive::scsi(void* argument) {
    auto* h = static_cast<sg_io_hdr_t*>(argument);
    if (h == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (h->interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    if (h->cmdp == nullptr || h->cmd_len < 6 || h->cmd_len > 16 || h->iovec_count != 0 ||
        (h->dxfer_len > 0 && h->dxferp == nullptr)) {
        errno = h->cmdp == nullptr ? EFAULT : EINVAL;
        return -1;
    }
    std::lock_guard lock(mutex_);
    ++commands_;
    if (unplugged_ || (config_.faults.unplugAt > 0 && commands_ >= config_.faults.unplugAt)) {
        unplugged_ = true;
        errno = ENODEV;
        return -1;
    }
    const auto started = std::chrono::steady_clock::now();
    Command c;
    c.cdb = h->cmdp;
    c.cdbLength = h->cmd_len;
    c.data = static_cast<uint8_t*>(h->dxferp);
    c.dataLength = h->dxfer_len;
    c.toDevice = h->dxfer_direction == SG_DXFER_TO_DEV;
    c.fromDevice =
        h->dxfer_direction == SG_DXFER_FROM_DEV || h->dxfer_direction == SG_DXFER_TO_FROM_DEV;
    if (!c.toDevice && !c.fromDevice) {
        c.dataLength = 0;
    }
    const Sense s = execute(c);

    h->msg_status = 0;
    h->host_status = 0;
    h->resid = c.fromDevice ? static_cast<int>(c.dataLength - c.transferred) : 0;
    h->sb_len_wr = 0;
    if (s.good()) {
        h->status = 0;
        h->masked_status = 0;
        h->driver_status = 0;
        h->info = 0;
    } else {
        uint8_t sense[18] = {};
        sense[0] = static_cast<uint8_t>(0x70 | (s.infoValid ? 0x80 : 0));
        sense[2] = s.key;
        put32(sense + 3, s.info);
        sense[7] = 10;
        sense[12] = s.asc;
        sense[13] = s.ascq;
        const unsigned n = std::min<unsigned>(sizeof sense, h->mx_sb_len);
        if (h->sbp != nullptr && n > 0) {
            std::memcpy(h->sbp, sense, n);
            h->sb_len_wr = static_cast<unsigned char>(n);
        }
        h->status = kCheckCondition;
        h->masked_status = kCheckCondition >> 1;
        h->driver_status = h->sb_len_wr > 0 ? kDriverSense : 0;
        h->info = SG_INFO_CHECK;
    }
    h->duration = static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - started)
                                            .count());
    return 0;
}

Sense Drive::execute(Command& c) {
    refresh(false);
    if (config_.faults.noDiscAfter >= 0 && commands_ > config_.faults.noDiscAfter && !vanished_ &&
        layout_.present()) {
        vanished_ = true;
        mediaEvent_ = 3;
        simulated_.reset();
        discAtOnce_.reset();
    }
    const uint8_t op = c.op();
    if (!known(op)) {
        return sense(5, 0x20, 0);
    }
    if (c.cdbLength < cdbLength(op)) {
        return sense(5, 0x24, 0);
    }
    if (unitAttention_ && !passesUnitAttention(op)) {
        unitAttention_ = false;
        return sense(6, 0x28, 0);
    }
    if (needsMedium(op)) {
        if (!discPresent()) {
            return notPresent();
        }
        if (notReadyLeft_ > 0) {
            --notReadyLeft_;
            return sense(2, 0x04, config_.faults.notReadyAscq);
        }
    }
    const Sense s = dispatch(c);
    if (dirty_ && !keepsLayoutUnwritten(op)) {
        saveLayout();
    }
    return s;
}

Sense Drive::dispatch(Command& c) {
    switch (c.op()) {
    case 0x00:
        return Sense{};
    case 0x03:
        return requestSense(c);
    case 0x04:
        return formatUnit(c);
    case 0x12:
        return inquiry(c);
    case 0x1B:
        return startStopUnit(c);
    case 0x1E:
        return preventAllow(c);
    case 0x23:
        return readFormatCapacities(c);
    case 0x25:
        return readCapacity(c);
    case 0x28:
    case 0xA8:
        return read(c);
    case 0x2A:
    case 0xAA:
        return write(c);
    case 0x35:
        return synchronizeCache(c);
    case 0x43:
        return readToc(c);
    case 0x46:
        return getConfiguration(c);
    case 0x4A:
        return getEventStatus(c);
    case 0x51:
        return readDiscInformation(c);
    case 0x52:
        return readTrackInformation(c);
    case 0x53:
        return reserveTrack(c);
    case 0x54:
        return sendOpc(c);
    case 0x55:
        return modeSelect(c);
    case 0x5A:
        return modeSense(c);
    case 0x5B:
        return closeTrackSession(c);
    case 0x5C:
        return readBufferCapacity(c);
    case 0x5D:
        return sendCueSheet(c);
    case 0xA1:
        return blank(c);
    case 0xAC:
        return getPerformance(c);
    case 0xAD:
        return readDiscStructure(c);
    case 0xB6:
        return setStreaming(c);
    case 0xBB:
        return setCdSpeed(c);
    default:
        return readCd(c);
    }
}

void Drive::reply(Command& c, const std::vector<uint8_t>& bytes, size_t allocation) {
    const size_t n = std::min({bytes.size(), allocation, size_t(c.dataLength)});
    if (n > 0) {
        std::memcpy(c.data, bytes.data(), n);
    }
    c.transferred = static_cast<uint32_t>(n);
}

bool Drive::discPresent() const {
    return layout_.present() && !layout_.trayOpen && !vanished_;
}

Sense Drive::notPresent() const {
    return layout_.trayOpen ? sense(2, 0x3A, 0x02) : sense(2, 0x3A, 0x00);
}

int64_t Drive::stride() const {
    return isCd(layout_.medium) ? 2352 : 2048;
}

Drive::FileId Drive::idOf(const std::string& file) {
    struct stat st {};
    FileId id;
    if (::stat(file.c_str(), &st) == 0) {
        id = {st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size};
    }
    return id;
}

bool Drive::loadLayoutFile(Layout& out) {
    const FileId id = idOf(layoutPath_);
    const int fd = ::open(layoutPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string text;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    std::string why;
    if (!parseLayout(text, layoutPath_, out, why)) {
        complain(why);
        return false;
    }
    layoutId_ = id;
    return true;
}

void Drive::saveLayout() {
    std::string why;
    if (!replaceFile(layoutPath_, layoutText(layout_), why)) {
        complain("the disc layout cannot be written: " + why);
        return;
    }
    layoutId_ = idOf(layoutPath_);
    dirty_ = false;
}

void Drive::truncateDisc() {
    if (discFd_ >= 0 && ::ftruncate(discFd_, 0) != 0) {
        complain(discFile(config_.path) + ": " + std::strerror(errno));
    }
}

void Drive::newDisc(const DiscSpec& spec, const std::string& stamp) {
    layout_ = freshLayout(spec);
    layout_.stamp = stamp;
    truncateDisc();
    saveLayout();
}

void Drive::mediumChanged() {
    unitAttention_ = discPresent();
    mediaEvent_ = discPresent() ? 2 : 3;
    notReadyLeft_ = config_.faults.notReady;
    vanished_ = false;
    simulated_.reset();
    discAtOnce_.reset();
}

void Drive::refresh(bool atStart) {
    const FileId id = idOf(mediumPath_);
    if (id == mediumId_ && !atStart) {
        // The same disc. Another process may have recorded on it since, unless
        // this one holds newer records of its own.
        if (!dirty_ && idOf(layoutPath_) != layoutId_) {
            Layout saved;
            if (loadLayoutFile(saved) && saved.stamp == layout_.stamp) {
                layout_ = std::move(saved);
            }
        }
        return;
    }
    // Another disc (or the first one): the layout a process wrote for it, or
    // the disc as it comes out of its box.
    mediumId_ = id;
    const std::string stamp =
        id.size < 0 ? std::string()
                    : std::to_string(id.inode) + ":" + std::to_string(id.seconds) + "." +
                          std::to_string(id.nanoseconds) + ":" + std::to_string(id.size);
    Layout saved;
    if (!stamp.empty() && loadLayoutFile(saved) && saved.stamp == stamp) {
        layout_ = std::move(saved);
        dirty_ = false;
    } else {
        DiscSpec spec;
        if (!stamp.empty()) {
            std::vector<std::string> problems;
            std::string error;
            std::string why;
            const auto doc = sbini::readIniFile(mediumPath_, problems, error, "disc description");
            const sbini::IniEntry* media = doc ? doc->find("Disc", "Media") : nullptr;
            const sbini::IniEntry* state = doc ? doc->find("Disc", "State") : nullptr;
            const sbini::IniEntry* capacity = doc ? doc->find("Disc", "Capacity") : nullptr;
            uint64_t blocks = 0;
            if (capacity != nullptr && !sbini::parseUnsigned(capacity->value, blocks)) {
                blocks = 0;
            }
            if (media == nullptr ||
                !parseDiscSpec(media->value, state != nullptr ? state->value : "",
                               static_cast<int64_t>(blocks), spec, why)) {
                complain(mediumPath_ + ": " + (doc ? why : error) + "; the drive is empty");
                spec = DiscSpec{};
            }
        }
        newDisc(spec, stamp);
    }
    if (!atStart) {
        mediumChanged();
    }
}

} // namespace sbmmc
