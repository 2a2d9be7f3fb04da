#include "starburn/virtual/sbVirtualRecorder.h"

#include "ini/sbIni.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::virt {

using namespace sbini;
namespace {

// State files are never reached through a symbolic link: a link planted in
// the state folder must not send the recorder's writes somewhere else.
using Clock = std::chrono::steady_clock;

constexpr int kNoLinks = O_CLOEXEC | O_NOFOLLOW;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Makes a rename or link in a folder last through a power cut.
bool syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A folder only this user may enter; an existing folder is left as it is.
bool makePrivateFolder(const std::string& folder, int& errnoValue) {
    if (::mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    errnoValue = errno;
    struct stat st {};
    if (errnoValue == EEXIST && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;
    }
    if (errnoValue == EEXIST) {
        errnoValue = ENOTDIR;
    }
    return false;
}

// Writes a file through a temporary file of a name of its own and a rename,
// so a crash never leaves half a file behind and nothing already there is
// written through. Returns false and sets error (and errnoValue) on failure.
bool writeFileAtomically(const std::string& path, std::string_view content, std::string& error,
                         int& errnoValue) {
    std::string temporary = path + ".new-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        errnoValue = errno;
        error = "\"" + path + ".new\" cannot be created: " + std::strerror(errnoValue);
        return false;
    }
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            errnoValue = errno;
            error = "\"" + temporary + "\" cannot be written: " + std::strerror(errnoValue);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!synced || !closed) {
        errnoValue = synced ? errno : syncErrno;
        error = "\"" + temporary + "\" cannot be saved: " + std::strerror(errnoValue);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        errnoValue = errno;
        error = "\"" + path + "\" cannot be replaced: " + std::strerror(errnoValue);
        ::unlink(temporary.c_str());
        return false;
    }
    if (!syncFolder(folderOf(path))) {
        errnoValue = errno;
        error = "the folder of \"" + path + "\" cannot be saved: " + std::strerror(errnoValue);
        return false;
    }
    return true;
}

// Copies from to a new file to, syncs it and removes from. Memory stays
// bounded whatever the size. 0 or an errno value; EEXIST when to is taken.
int copyThenRemove(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | kNoLinks);
    if (in < 0) {
        return errno;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | kNoLinks, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    int err = 0;
    for (;;) {
        const ssize_t n = ::read(in, buffer.get(), 1 << 20);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            err = n < 0 ? errno : 0;
            break;
        }
        size_t done = 0;
        while (done < static_cast<size_t>(n)) {
            const ssize_t w = ::write(out, buffer.get() + done, static_cast<size_t>(n) - done);
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0) {
                err = errno;
                break;
            }
            done += static_cast<size_t>(w);
        }
        if (err != 0) {
            break;
        }
    }
    if (err == 0 && ::fsync(out) != 0) {
        err = errno;
    }
    if (::close(out) != 0 && err == 0) {
        err = errno;
    }
    ::close(in);
    if (err != 0) {
        ::unlink(to.c_str());
        return err;
    }
    ::unlink(from.c_str());
    return 0;
}

// Moves from to the new name to without ever replacing a file there: a hard
// link where the file system has them; else a rename that refuses to replace
// (vfat, exFAT and many network file systems have no hard links); else, across
// file systems, a copy. 0 or an errno value; EEXIST when to is taken.
int moveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno == EEXIST) {
        return EEXIST;
    }
    return copyThenRemove(from, to);
}

constexpr size_t kMaxChunk = 1 << 20; // bounded memory whatever the image size

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

std::string fileError(const std::string& what, const std::string& path, int err) {
    return what + " \"" + path + "\": " + std::strerror(err);
}

// Also true for a dangling symbolic link: a state file name that is taken.
bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool pwriteAll(int fd, const char* data, size_t length, uint64_t offset) {
    while (length > 0) {
        const ssize_t n = ::pwrite(fd, data, length, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

// In 64 bits: an image of 8 TiB is 2^32 blocks, not none.
uint64_t blocksOf(uint64_t bytes) {
    return bytes / kBlockSize + (bytes % kBlockSize != 0 ? 1 : 0);
}

// The moment seconds after start, at most a year on: a tiny rate (WriteLimit
// = 1) would otherwise overflow the clock's 64-bit count of nanoseconds.
Clock::time_point secondsAfter(Clock::time_point start, double seconds) {
    constexpr double kYear = 365.0 * 24 * 3600;
    if (!(seconds > 0)) {
        seconds = 0;
    }
    seconds = std::min(seconds, kYear);
    return start +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// A volume label that is safe in a file name: ISO9660 d-characters and a few more.
std::string safeLabel(const std::string& raw) {
    std::string out;
    for (char c : raw) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-';
        out += ok ? c : '_';
    }
    while (!out.empty() && out.back() == '_') {
        out.pop_back();
    }
    return out.substr(0, 32);
}

// The volume label of an ISO9660 image at the start of the file, or empty.
std::string volumeLabel(int fd) {
    char pvd[72];
    if (::pread(fd, pvd, sizeof pvd, 16 * kBlockSize) != static_cast<ssize_t>(sizeof pvd)) {
        return {};
    }
    if (pvd[0] != 1 || std::memcmp(pvd + 1, "CD001", 5) != 0) {
        return {};
    }
    return safeLabel(std::string(pvd + 40, 32));
}

} // namespace

struct Recorder::Plan {
    uint32_t startLba = 0;
    uint64_t total = 0;
    std::vector<uint64_t> trackBytes;
    double rate = 0; // bytes per second; 0 for as fast as the disk allows
    uint32_t bufferSize = 0;
    std::optional<WriteFault> fault;
    bool testWrite = false;
};

Recorder::Recorder(RecorderConfig config, std::string stateFolder, double timeFactor)
    : config_(std::move(config)), folder_(stateFolder + "/" + config_.id),
      ejectFolder_(stateFolder + "/ejected"), timeFactor_(timeFactor),
      bupEnabled_(config_.bupEnabled), writeLimit_(config_.writeLimit) {}

std::string Recorder::discFile() const {
    return folder_ + "/disc.ini";
}

std::string Recorder::contentsFile() const {
    return folder_ + "/disc.img";
}

Recorder::~Recorder() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

std::string Recorder::lockFile() const {
    return folder_ + "/lock";
}

namespace {

// The process id the holder of a recorder's lock wrote into it (0 when
// unknown).
long lockHolder(int fd) {
    char text[32] = {};
    return ::pread(fd, text, sizeof text - 1, 0) > 0 ? std::strtol(text, nullptr, 10) : 0;
}

} // namespace

int Recorder::tryLock(long& holder, Error& error) const {
    holder = 0;
    const int fd = ::open(lockFile().c_str(), O_RDWR | O_CREAT | kNoLinks, 0600);
    if (fd < 0) {
        const int err = errno;
        error = makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                          fileError("The lock of the recorder cannot be opened", lockFile(), err));
        return -1;
    }
    // The kernel lets go of the lock when its holder ends, however it ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            holder = lockHolder(fd);
        } else {
            error = makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                              fileError("The recorder cannot be locked", lockFile(), err));
        }
        ::close(fd);
        return -1;
    }
    return fd;
}

Error Recorder::load(std::vector<std::string>& problems) {
    int err = 0;
    if (!makePrivateFolder(folder_, err)) {
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         "The folder of recorder \"" + config_.id + "\", \"" + folder_ +
                             "\", cannot be created: " + std::strerror(err));
    }
    std::lock_guard lock(mutex_);
    disc_ = Disc::fromConfig(config_.disc);
    long holder = 0;
    Error error;
    const int fd = tryLock(holder, error);
    if (fd < 0) {
        if (error) {
            return error;
        }
        // Another program has the recorder open for writing: its files are
        // in use, so nothing is recovered or changed here. Queries answer
        // with the disc as last saved; the state is read again when this
        // program opens the recorder for writing.
        std::vector<std::string> ignored;
        std::string why;
        Disc saved;
        auto doc = readIniFile(discFile(), ignored, why, "disc description", false);
        if (doc && Disc::parse(*doc, saved, why)) {
            disc_ = saved;
        }
        return {};
    }
    Error e = restoreLocked(problems);
    ::close(fd);
    return e;
}

Error Recorder::busyError(long holder) const {
    return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                     "The recorder " + config_.facts.product + " is in use by another " +
                         (holder > 0 ? "program (process " + std::to_string(holder) + ")"
                                     : std::string("program")) +
                         "; close it there and try again");
}

Error Recorder::access(uint8_t& state) {
    state = SB_DEVICE_ACCESS_FREE;
    std::lock_guard lock(mutex_);
    if (claims_ > 0) {
        return {};
    }
    // A shared lock tests the holder's exclusive one: two programs that ask
    // at once do not stand in each other's way, and only a claim in the very
    // instant of the test is refused (as one during another program's start
    // is). A lock file that cannot be opened is no holder; the claim reports
    // what is wrong with it.
    const int fd = ::open(lockFile().c_str(), O_RDONLY | kNoLinks);
    if (fd < 0) {
        return {};
    }
    Error e;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        state = SB_DEVICE_ACCESS_BUSY;
        e = busyError(lockHolder(fd));
    }
    ::close(fd);
    return e;
}

Error Recorder::claim() {
    std::lock_guard lock(mutex_);
    if (claims_ > 0) {
        ++claims_;
        return {};
    }
    long holder = 0;
    Error error;
    const int fd = tryLock(holder, error);
    if (fd < 0) {
        if (error) {
            return error;
        }
        return busyError(holder);
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        // Only the text naming the holder is missing; the lock itself holds.
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                     std::strerror(errno));
    }
    // Another program may have written, ejected or crashed on this recorder
    // since the library started: its files say what the disc holds now.
    std::vector<std::string> problems;
    Error e = restoreLocked(problems);
    for (const auto& p : problems) {
        std::fprintf(stderr, "libStarBurn: %s\n", p.c_str());
    }
    if (e) {
        ::close(fd);
        return e;
    }
    lockFd_ = fd;
    claims_ = 1;
    return {};
}

void Recorder::unclaim() {
    std::lock_guard lock(mutex_);
    if (claims_ == 0 || --claims_ > 0) {
        return;
    }
    if (::ftruncate(lockFd_, 0) != 0) {
        // The next holder writes its own number over it.
    }
    ::close(lockFd_);
    lockFd_ = -1;
}

Error Recorder::restoreLocked(std::vector<std::string>& problems) {
    disc_ = Disc::fromConfig(config_.disc);
    if (!exists(discFile())) {
        if (exists(contentsFile())) {
            // Bytes without their description: keep them where the user finds them.
            std::string path;
            if (Error e = fileAwayLocked("recovered", path, false)) {
                return e;
            }
            problems.push_back("recorder \"" + config_.id + "\": a disc image without its " +
                               "description was found and moved to \"" + path + "\"");
        }
        return {};
    }
    std::vector<std::string> parseProblems;
    std::string error;
    Disc saved;
    auto doc = readIniFile(discFile(), parseProblems, error, "disc description", false);
    bool usable = doc && parseProblems.empty() && Disc::parse(*doc, saved, error);
    if (usable && saved.present() && !readsKind(config_.facts, *saved.kind())) {
        usable = false;
        error = std::string("the recorder can no longer read its ") + saved.kind()->name + " disc";
    }
    if (usable && saved.writeInterrupted()) {
        // The program ended during a write. What reached the image stays on
        // the disc as a damaged session, as a drive shows a burn that stopped;
        // the disc is not blank and nothing writes over those bytes.
        struct stat st {};
        const uint64_t written = ::lstat(contentsFile().c_str(), &st) == 0 && S_ISREG(st.st_mode)
                                     ? static_cast<uint64_t>(st.st_size)
                                     : 0;
        const uint64_t startByte = static_cast<uint64_t>(saved.nextWritable()) * kBlockSize;
        const uint64_t room = saved.capacity() - saved.nextWritable();
        const uint64_t blocks =
            std::clamp<uint64_t>(written > startByte ? blocksOf(written - startByte) : 0, 1,
                                 std::max<uint64_t>(room, 1));
        disc_ = saved;
        if (room > 0) {
            coverLocked(static_cast<uint64_t>(saved.nextWritable() + blocks) * kBlockSize);
            disc_.addDamaged(static_cast<uint32_t>(blocks));
        }
        disc_.endWrite();
        problems.push_back("recorder \"" + config_.id +
                           "\": a write was under way when the program ended; the disc holds "
                           "what reached it as a damaged session");
        return persistLocked();
    }
    if (usable) {
        disc_ = saved;
        return {};
    }
    if (error.empty() && !parseProblems.empty()) {
        error = parseProblems.front();
    }
    std::string path;
    if (Error e = fileAwayLocked("recovered", path, false)) {
        return e;
    }
    problems.push_back("recorder \"" + config_.id + "\": the saved disc \"" + discFile() +
                       "\" cannot be used (" + error + "); " +
                       (path.empty() ? std::string("it had no written bytes")
                                     : "its bytes were moved to \"" + path + "\"") +
                       " and the configured disc is inserted");
    if (Error e = persistLocked()) {
        return e;
    }
    return {};
}

void Recorder::coverLocked(uint64_t end) {
    // The contents file covers the damaged blocks, zeros where nothing came.
    const int fd = ::open(contentsFile().c_str(), O_WRONLY | O_CREAT | kNoLinks, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                     fileError("The disc image cannot be opened", contentsFile(), errno).c_str());
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) < end) {
        if (::ftruncate(fd, static_cast<off_t>(end)) != 0) {
            std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                         std::strerror(errno));
        }
    }
    ::close(fd);
}

Error Recorder::noDisc() const {
    return notReady("No disc in the drive " + config_.facts.product);
}

Error Recorder::persistLocked() {
    return saveLocked(disc_);
}

Error Recorder::saveLocked(const Disc& disc) {
    std::string error;
    int err = 0;
    if (!writeFileAtomically(discFile(), disc.serialize(), error, err)) {
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         "The state of the disc cannot be saved: " + error);
    }
    return {};
}

void Recorder::persistQuietly() {
    // The disc in memory is right; only a later start of the library would
    // miss the change, so the call that made it still succeeds.
    if (Error e = persistLocked()) {
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                     e.text.c_str());
    }
}

Error Recorder::fileAwayLocked(const char* reason, std::string& imagePath, bool trimToDisc) {
    imagePath.clear();
    const std::string contents = contentsFile();
    if (!exists(contents)) {
        return {};
    }
    int folderErr = 0;
    if (!makePrivateFolder(ejectFolder_, folderErr)) {
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(folderErr),
                         "The folder for ejected discs, \"" + ejectFolder_ +
                             "\", cannot be created: " + std::strerror(folderErr));
    }
    // The image holds exactly the written blocks: whole sectors, nothing after.
    const int fd = ::open(contents.c_str(), O_RDWR | kNoLinks);
    if (fd < 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         fileError("The disc image cannot be opened", contents, err));
    }
    std::string label;
    if (trimToDisc && !disc_.tracks().empty()) {
        const uint64_t size = static_cast<uint64_t>(disc_.nextWritable()) * kBlockSize;
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            const int err = errno;
            ::close(fd);
            return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                             fileError("The disc image cannot be finished", contents, err));
        }
    }
    label = volumeLabel(fd);
    ::close(fd);

    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = ejectFolder_ + "/" + config_.id + "-" + stamp;
    if (!label.empty()) {
        base += "-" + label;
    }
    if (std::strcmp(reason, "ejected") != 0) {
        base += std::string("-") + reason;
    }
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate =
            n == 1 ? base + ".iso" : base + "-" + std::to_string(n) + ".iso";
        // Never replaces a file, so no earlier image is overwritten.
        const int err = moveWithoutReplacing(contents, candidate);
        if (err == 0) {
            if (!syncFolder(ejectFolder_) || !syncFolder(folder_)) {
                std::fprintf(
                    stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                    fileError("The folders cannot be saved after filing away", candidate, errno)
                        .c_str());
            }
            imagePath = candidate;
            lastEjected_ = candidate;
            return {};
        }
        if (err != EEXIST) {
            return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                             fileError("The disc cannot be filed away as", candidate, err));
        }
    }
    return makeError(SB_EXCEPTION_FILE_ERROR, EEXIST,
                     "The disc cannot be filed away: too many images named \"" + base + "\"");
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
    // Speeds are x-factors rounded to KB/s, and callers ask in rounded
    // numbers of their own (1400 for 8x = 1411): a request within 1 % of a
    // speed selects it, as drives do.
    const uint64_t reach = static_cast<uint64_t>(request) + request / 100;
    uint32_t chosen = speeds.front();
    for (uint32_t s : speeds) {
        if (s <= reach) {
            chosen = s;
        }
    }
    return chosen;
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

Error Recorder::planLocked(const WriteJob& job, Plan& plan) {
    const DeviceFacts& f = config_.facts;
    if (!(f.writesCdR || f.writesCdRw || f.writesDvdR || f.writesDvdRam || f.writesDvdPlusR ||
          f.writesDvdPlusRw || f.writesDvdPlusRDl)) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED,
                            "The drive " + f.product + " cannot write discs");
    }
    const bool supported = (job.method == WriteMethod::TrackAtOnce && f.trackAtOnce) ||
                           (job.method == WriteMethod::SessionAtOnce && f.sessionAtOnce) ||
                           (job.method == WriteMethod::DiscAtOncePq && f.discAtOncePq) ||
                           (job.method == WriteMethod::DiscAtOnceRawPw && f.discAtOnceRawPw);
    if (!supported) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED, "The drive " + f.product +
                                                            " does not write " +
                                                            writeMethodName(job.method));
    }
    if (job.testWrite && !f.testWrite) {
        return invalidField(SB_EXCEPTION_NOT_SUPPORTED,
                            "The drive " + f.product + " cannot test-write");
    }
    if (!disc_.present() || discPulled_) {
        return noDisc();
    }
    const DiscKind& kind = *disc_.kind();
    if (disc_.pressed()) {
        return incompatibleMedium(std::string("The disc in the drive is a ") + kind.name +
                                  "; it cannot be written");
    }
    if (!writesKind(f, kind)) {
        return incompatibleMedium("The drive " + f.product + " cannot write " + kind.name +
                                  " discs");
    }
    if (disc_.isDamaged()) {
        return incompatibleMedium("The disc was damaged by a failed write; it cannot be "
                                  "written again");
    }
    if (disc_.isComplete()) {
        return incompatibleMedium("The disc is complete (closed); nothing more can be written "
                                  "to it");
    }
    if ((job.method == WriteMethod::DiscAtOncePq || job.method == WriteMethod::DiscAtOnceRawPw) &&
        !disc_.isBlank()) {
        return incompatibleMedium("Disc-At-Once needs a blank disc");
    }
    if (job.method == WriteMethod::SessionAtOnce && disc_.hasOpenSession()) {
        return incompatibleMedium("A session of the disc is still open; close it before "
                                  "writing a new session");
    }
    if (disc_.tracks().size() + job.tracks.size() > kMaxTracks) {
        return incompatibleMedium("A disc holds at most " + std::to_string(kMaxTracks) + " tracks");
    }
    uint64_t blocks = 0;
    plan.total = 0;
    for (const auto& t : job.tracks) {
        const uint64_t size = t.source->size();
        plan.trackBytes.push_back(size);
        plan.total += size;
        blocks += blocksOf(size);
    }
    const uint64_t freeBlocks = disc_.freeBlocks();
    if (blocks > freeBlocks) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, ENOSPC,
                         "The image does not fit on the disc: it needs " + std::to_string(blocks) +
                             " blocks (" + std::to_string(plan.total) + " bytes), the disc has " +
                             std::to_string(freeBlocks) + " free blocks" +
                             (job.overburn ? " and overburning is not supported" : ""));
    }
    plan.startLba = disc_.nextWritable();
    plan.bufferSize = f.bufferSize;
    plan.testWrite = job.testWrite;
    const double speed = static_cast<double>(pickSpeed(writeSpeeds(), requestedWrite_)) * 1000.0;
    double rate = 0;
    if (timeFactor_ > 0 && speed > 0) {
        rate = speed / timeFactor_;
    }
    if (writeLimit_ > 0 && (rate == 0 || static_cast<double>(writeLimit_) < rate)) {
        rate = static_cast<double>(writeLimit_);
    }
    plan.rate = rate;
    if (nextWriteFault_) {
        plan.fault = nextWriteFault_;
        nextWriteFault_.reset();
    } else if (config_.failWriteAtByte) {
        plan.fault = WriteFault{*config_.failWriteAtByte, false};
    } else if (config_.takeDiscOutAtByte) {
        plan.fault = WriteFault{*config_.takeDiscOutAtByte, true};
    }
    return {};
}

Error Recorder::write(WriteJob& job, WriteMonitor& monitor) {
    Plan plan;
    {
        std::lock_guard lock(mutex_);
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is already writing");
        }
        if (Error e = planLocked(job, plan)) {
            return e;
        }
        if (!plan.testWrite) {
            // Recorded before the first byte goes out: when the program dies
            // during the write, the next start finds a disc that was being
            // written, not a blank one beside half an image.
            Disc marked = disc_;
            marked.beginWrite();
            if (Error e = saveLocked(marked)) {
                e.text = "The write did not start: " + e.text;
                return e;
            }
        }
        writing_ = true;
    }
    struct Done {
        Recorder& r;
        ~Done() {
            std::lock_guard lock(r.mutex_);
            r.writing_ = false;
        }
    } done{*this};

    uint64_t written = 0;
    Error e;
    try {
        e = stream(job, monitor, plan, written);
    } catch (...) {
        recordFailure(plan, written, false);
        throw;
    }
    if (e) {
        const bool takeOut = discPulled_.load() || (e.exception == SB_EXCEPTION_NOT_READY &&
                                                    plan.fault && plan.fault->takeDiscOut);
        recordFailure(plan, written, takeOut);
        return e;
    }
    std::lock_guard lock(mutex_);
    if (!plan.testWrite) {
        // Each fits: the plan checked the sum against the disc's free blocks.
        std::vector<uint32_t> blocks;
        for (uint64_t b : plan.trackBytes) {
            blocks.push_back(static_cast<uint32_t>(blocksOf(b)));
        }
        switch (job.method) {
        case WriteMethod::TrackAtOnce:
            disc_.addTrackAtOnce(blocks.front(), job.multiSession);
            break;
        case WriteMethod::SessionAtOnce:
            // Session-At-Once closes the disc with its session.
            disc_.addSession(blocks, job.closeSession, false);
            break;
        case WriteMethod::DiscAtOncePq:
        case WriteMethod::DiscAtOnceRawPw:
            disc_.addSession(blocks, true, job.multiSession);
            break;
        }
        corruptWrittenLocked(plan.startLba, plan.total);
        // A write the disc's record does not show has not happened for the
        // next start of the program: the caller learns it now.
        if (Error e = persistLocked()) {
            e.text = "The image was written, but " + e.text;
            return e;
        }
    }
    return {};
}

Error Recorder::blank(bool full, WriteMonitor& monitor) {
    uint64_t total = 0;
    double rate = 0;
    uint8_t type = 0;
    uint32_t capacity = 0;
    {
        std::lock_guard lock(mutex_);
        if (writing_) {
            return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is already writing");
        }
        if (!disc_.present() || discPulled_) {
            return noDisc();
        }
        const DiscKind* k = disc_.kind();
        if (k == nullptr || !k->erasable) {
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x30, 0x05,
                              std::string("The ") + (k != nullptr ? k->name : "unknown") +
                                  (disc_.pressed() ? " disc is pressed" : " disc is write-once") +
                                  "; it cannot be erased (only CD-RW, DVD-RW and DVD+RW can)");
        }
        if (!writesKind(config_.facts, *k)) {
            return makeError(SB_EXCEPTION_NOT_SUPPORTED, EOPNOTSUPP,
                             std::string("The recorder cannot write ") + k->name +
                                 " discs, so it cannot erase them");
        }
        type = disc_.type();
        capacity = disc_.capacity();
        // A quick blank erases what was recorded (at least the lead-in's
        // worth); a full one every block of the disc.
        const uint64_t blocks = full ? capacity : std::max<uint64_t>(disc_.nextWritable(), 1);
        total = blocks * kBlockSize;
        const double speed =
            static_cast<double>(pickSpeed(writeSpeeds(), requestedWrite_)) * 1000.0;
        if (timeFactor_ > 0 && speed > 0) {
            rate = speed / timeFactor_;
        }
        writing_ = true;
    }
    struct Done {
        Recorder& r;
        ~Done() {
            std::lock_guard lock(r.mutex_);
            r.writing_ = false;
        }
    } done{*this};

    monitor.otherProgress();
    monitor.progress(total, 0);
    const auto start = Clock::now();
    uint64_t erased = 0;
    bool cancelled = false;
    // Steps of a tenth of a second at most, so a cancel is seen at once.
    const uint64_t step =
        rate > 0 ? std::max<uint64_t>(static_cast<uint64_t>(rate / 10), kBlockSize) : total;
    while (erased < total) {
        erased = std::min(total, erased + step);
        if (rate > 0) {
            const auto due =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(static_cast<double>(erased) / rate));
            if (!monitor.sleepUntil(due)) {
                cancelled = true;
            }
        } else if (monitor.cancelled()) {
            cancelled = true;
        }
        if (cancelled || discPulled_) {
            break;
        }
        monitor.progress(total, erased);
    }

    std::lock_guard lock(mutex_);
    if (discPulled_) {
        std::string path;
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                         e.text.c_str());
        }
        disc_ = Disc();
        discPulled_ = false;
        persistQuietly();
        return notReady("The disc was taken out of the drive while it was being erased");
    }
    disc_ = Disc::blank(type, capacity);
    if (cancelled) {
        // What was erased is gone and the rest no longer makes a disc: it
        // needs blanking again before it takes a write.
        disc_.addDamaged(static_cast<uint32_t>(std::min<uint64_t>(erased / kBlockSize, capacity)));
    }
    ::unlink(contentsFile().c_str());
    persistQuietly();
    if (cancelled) {
        return makeError(SB_EXCEPTION_CANCELLED, ECANCELED,
                         "The erase was cancelled; the disc must be blanked again before it is "
                         "written");
    }
    return {};
}

Error Recorder::stream(WriteJob& job, WriteMonitor& monitor, const Plan& plan, uint64_t& done) {
    int fd = -1;
    if (!plan.testWrite) {
        fd = ::open(contentsFile().c_str(), O_WRONLY | O_CREAT | kNoLinks, 0644);
        if (fd < 0) {
            const int err = errno;
            return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                             fileError("The disc image cannot be opened", contentsFile(), err));
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    } closer{fd};

    size_t chunk = static_cast<size_t>(std::clamp<uint64_t>(plan.total / 100, 1, kMaxChunk));
    if (chunk >= 4096) {
        chunk -= chunk % 4096;
    }
    std::unique_ptr<char[]> buffer(new char[std::max<size_t>(chunk, kBlockSize)]);

    const auto start = Clock::now();
    const double lead = std::min<double>(plan.bufferSize, static_cast<double>(plan.total) / 20);
    auto burned = [&](Clock::time_point now) -> double {
        if (plan.rate <= 0) {
            return static_cast<double>(done);
        }
        const double seconds = std::chrono::duration<double>(now - start).count();
        return std::min<double>(static_cast<double>(done), seconds * plan.rate);
    };
    auto reportBuffer = [&] {
        uint32_t fill = plan.bufferSize;
        if (plan.rate > 0) {
            const double inBuffer = static_cast<double>(done) - burned(Clock::now());
            fill = static_cast<uint32_t>(std::clamp<double>(inBuffer, 0, plan.bufferSize));
        }
        monitor.bufferStatus(plan.bufferSize, plan.bufferSize - fill);
    };
    auto cancelled = [] {
        return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The write was cancelled");
    };

    monitor.otherProgress(); // lead-in
    monitor.progress(plan.total, 0);
    reportBuffer();

    uint64_t trackLba = plan.startLba;
    for (size_t i = 0; i < job.tracks.size(); ++i) {
        ImageSource& source = *job.tracks[i].source;
        const uint64_t size = plan.trackBytes[i];
        const uint64_t base = trackLba * kBlockSize;
        uint64_t offset = 0;
        while (offset < size) {
            if (monitor.cancelled()) {
                return cancelled();
            }
            if (discPulled_) {
                return notReady("The disc was taken out of the drive during the write");
            }
            size_t n = static_cast<size_t>(std::min<uint64_t>(chunk, size - offset));
            bool faultHere = false;
            if (plan.fault && done + n >= plan.fault->atByte) {
                n = static_cast<size_t>(plan.fault->atByte - done);
                faultHere = true;
            }
            if (n > 0) {
                std::string error;
                int err = 0;
                // The kernel copies file to file where it can; a test write
                // still reads every byte, as the drive would receive them.
                const int copied = fd >= 0 ? source.copyTo(fd, base + offset, n, error, err) : 0;
                if (copied < 0) {
                    return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
                }
                if (copied == 0 && !source.read(buffer.get(), n, error, err)) {
                    return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err), error);
                }
                if (copied == 0 && fd >= 0 && !pwriteAll(fd, buffer.get(), n, base + offset)) {
                    const int werr = errno;
                    return makeError(
                        SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(werr),
                        fileError("The disc image cannot be written", contentsFile(), werr));
                }
                offset += n;
                done += n;
            }
            if (faultHere) {
                if (plan.fault->takeDiscOut) {
                    discPulled_ = true;
                    return notReady("The disc was taken out of the drive during the write");
                }
                return senseError(SB_EXCEPTION_WRITE_ERROR, 0x03, 0x0C, 0x00,
                                  "Write error at byte " + std::to_string(done) + " of " +
                                      std::to_string(plan.total));
            }
            if (plan.rate > 0 && static_cast<double>(done) > lead) {
                const auto due =
                    secondsAfter(start, (static_cast<double>(done) - lead) / plan.rate);
                if (due > Clock::now() && !monitor.sleepUntil(due)) {
                    return cancelled();
                }
            }
            monitor.progress(plan.total, done);
            reportBuffer();
        }
        // A track ends on a whole sector.
        const uint64_t tail = size % kBlockSize;
        if (fd >= 0 && tail != 0) {
            const char zeros[kBlockSize] = {};
            if (!pwriteAll(fd, zeros, kBlockSize - tail, base + size)) {
                const int werr = errno;
                return makeError(
                    SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(werr),
                    fileError("The disc image cannot be written", contentsFile(), werr));
            }
        }
        trackLba += blocksOf(size);
    }
    if (fd >= 0 && ::fdatasync(fd) != 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         fileError("The disc image cannot be flushed", contentsFile(), err));
    }
    // The drive empties its buffer onto the disc.
    if (plan.rate > 0) {
        const auto end = secondsAfter(start, static_cast<double>(plan.total) / plan.rate);
        while (Clock::now() < end) {
            const auto step = std::min(end, Clock::now() + std::chrono::milliseconds(200));
            if (!monitor.sleepUntil(step)) {
                return cancelled();
            }
            reportBuffer();
        }
    }
    if (monitor.cancelled()) {
        return cancelled();
    }
    monitor.otherProgress(); // closing
    return {};
}

void Recorder::recordFailure(const Plan& plan, uint64_t done, bool takeOut) {
    std::lock_guard lock(mutex_);
    if (!plan.testWrite && disc_.present()) {
        // What reached the disc stays on it; a burn that began leaves no blank disc.
        uint64_t bytes = 0;
        uint64_t blocks = 0;
        for (uint64_t size : plan.trackBytes) {
            const uint64_t part = std::min(size, done - bytes);
            blocks += blocksOf(part);
            bytes += part;
            if (bytes >= done) {
                break;
            }
        }
        blocks = std::max<uint64_t>(blocks, 1);
        blocks = std::min<uint64_t>(blocks, disc_.capacity() - plan.startLba);
        coverLocked((plan.startLba + blocks) * kBlockSize);
        disc_.addDamaged(static_cast<uint32_t>(blocks));
        persistQuietly();
    }
    if (takeOut && disc_.present()) {
        std::string path;
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            std::fprintf(stderr, "libStarBurn: recorder \"%s\": %s\n", config_.id.c_str(),
                         e.text.c_str());
        }
        disc_ = Disc();
        persistQuietly();
    }
    discPulled_ = false;
}

void Recorder::corruptWrittenLocked(uint32_t startLba, uint64_t total) {
    if (!config_.corruptAfterWrite || *config_.corruptAfterWrite >= total) {
        return;
    }
    const off_t at = static_cast<off_t>(static_cast<uint64_t>(startLba) * kBlockSize +
                                        *config_.corruptAfterWrite);
    const int fd = ::open(contentsFile().c_str(), O_RDWR | O_CLOEXEC);
    unsigned char byte = 0;
    if (fd < 0 || ::pread(fd, &byte, 1, at) != 1) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    byte ^= 0xFF;
    if (::pwrite(fd, &byte, 1, at) != 1) {
        std::fprintf(stderr, "libStarBurn: recorder \"%s\": the written byte cannot be changed\n",
                     config_.id.c_str());
    }
    ::close(fd);
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
    // kept, a pressed disc) read as zeros.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            fileBytes = static_cast<uint64_t>(st.st_size);
        }
    }
    const uint64_t offset = static_cast<uint64_t>(lba) * kBlockSize;
    uint64_t got = 0;
    while (fd >= 0 && got < bytes && offset + got < fileBytes) {
        const ssize_t n = ::pread(fd, out + got, static_cast<size_t>(bytes - got),
                                  static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              fileError("The disc image cannot be read", file, err));
        }
        got += static_cast<uint64_t>(n);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    std::memset(out + got, 0, static_cast<size_t>(bytes - got));
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

void Recorder::armWriteFault(uint64_t atByte, bool takeDiscOut) {
    std::lock_guard lock(mutex_);
    nextWriteFault_ = WriteFault{atByte, takeDiscOut};
}

void Recorder::setWriteLimit(uint64_t bytesPerSecond) {
    std::lock_guard lock(mutex_);
    writeLimit_ = bytesPerSecond;
}

Error Recorder::takeDiscOut() {
    std::lock_guard lock(mutex_);
    if (writing_) {
        discPulled_ = true; // the write notices at its next chunk and files the disc away
        return {};
    }
    if (!disc_.present()) {
        return {};
    }
    std::string path;
    if (!disc_.pressed()) {
        if (Error e = fileAwayLocked("taken-out", path, true)) {
            return e;
        }
    }
    disc_ = Disc();
    persistQuietly();
    return {};
}

Error Recorder::insertDisc(uint8_t type, uint32_t capacity) {
    const DiscKind* kind = discKindByType(type);
    if (kind == nullptr) {
        return makeError(SB_EXCEPTION_INVALID_PARAMETER, EINVAL,
                         "Disc type " + std::to_string(type) +
                             " is not one the virtual "
                             "recorders know");
    }
    std::lock_guard lock(mutex_);
    if (writing_) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY, "The recorder is writing");
    }
    if (!readsKind(config_.facts, *kind)) {
        return incompatibleMedium("The drive " + config_.facts.product + " cannot read " +
                                  kind->name + " discs");
    }
    if (disc_.present() && !disc_.pressed()) {
        std::string path;
        if (Error e = fileAwayLocked("ejected", path, true)) {
            return e;
        }
    }
    DiscConfig c;
    c.type = type;
    c.capacity = capacity != 0 ? capacity : kind->capacity;
    if (!kind->recordable) {
        c.state = InitialState::Complete;
        c.usedBlocks = c.capacity / 4 * 3;
    }
    disc_ = Disc::fromConfig(c);
    discPulled_ = false;
    persistQuietly();
    return {};
}

void Recorder::clearTestFaults() {
    std::lock_guard lock(mutex_);
    nextWriteFault_.reset();
    writeLimit_ = config_.writeLimit;
}

std::string Recorder::lastEjectedImage() const {
    std::lock_guard lock(mutex_);
    return lastEjected_;
}

} // namespace starburn::virt

namespace starburn::virt {

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
    char descriptor[72] = {};
    const ssize_t got = ::pread(fd, descriptor, sizeof descriptor, 16 * kBlockSize);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof descriptor)) {
        return {};
    }
    if (descriptor[0] != 1 || std::memcmp(descriptor + 1, "CD001", 5) != 0) {
        return {};
    }
    std::string label(descriptor + 40, 32);
    label.erase(label.find_last_not_of(' ') + 1);
    return label;
}

} // namespace starburn::virt
