// SPDX-License-Identifier: GPL-2.0-or-later
// A virtual recorder's state on disk: its folder, the lock other programs
// see, the saved disc, repairs after a crash, and filing discs away.
#include "starburn/virtual/sbVirtualRecorder.h"

#include "ini/sbIni.h"
#include "starburn/virtual/sbVirtualFiles.h"
#include "starburn/virtual/sbVirtualRecorderParts.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::virt {

using namespace sbini;
namespace {

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

} // namespace

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
    label = safeLabel(primaryVolumeOf(fd).identifier);
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

} // namespace starburn::virt
