// SPDX-License-Identifier: GPL-2.0-or-later
// The calls the emulator stands in: libburn's Linux transport reaches a
// drive through open (and its fortified and 64-bit names), close and ioctl,
// so these are taken over for the emulated device files and handed to the C
// library for every other file. A device file is known by its device and
// inode numbers, whatever name opened it.
//
// An exclusive open (O_EXCL) claims the drive as the kernel claims a block
// device: a second exclusive open, from any process, fails with EBUSY until
// the first descriptor is closed. The claim is a flock on PATH.excl; never
// on the device file itself, whose closing would drop the fcntl locks
// libburn holds on it.
#include "tests/mmcemu/sbMmcConfig.h"
#include "tests/mmcemu/sbMmcDrive.h"
#include "tests/mmcemu/sbMmcEmu.h"

#include "ini/sbIni.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using sbmmc::Drive;

namespace {

struct Emulator {
    std::mutex mutex;
    std::vector<std::shared_ptr<Drive>> drives;
    std::string lastProblem;
};

// Never destroyed: libburn's threads may still send commands while the
// process ends.
Emulator& emulator() {
    static Emulator* e = new Emulator;
    return *e;
}

std::atomic<bool> active{false};

// Set while the emulator itself runs, so its own file calls go straight to
// the C library.
thread_local int inside __attribute__((tls_model("initial-exec"))) = 0;
struct Inside {
    Inside() { ++inside; }
    ~Inside() { --inside; }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;
};

template <typename F>
F next(std::atomic<F>& slot, const char* name) {
    F f = slot.load(std::memory_order_acquire);
    if (f == nullptr) {
        f = reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
        if (f == nullptr) {
            // Only a program without the C library's own calls gets here.
            std::fprintf(stderr, "sbmmcemu: the C library has no %s\n", name);
            std::abort();
        }
        slot.store(f, std::memory_order_release);
    }
    return f;
}

using OpenFn = int (*)(const char*, int, ...);
using Open2Fn = int (*)(const char*, int);
using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);
std::atomic<OpenFn> realOpen{nullptr};
std::atomic<OpenFn> realOpen64{nullptr};
std::atomic<Open2Fn> realOpen2{nullptr};
std::atomic<Open2Fn> realOpen64_2{nullptr};
std::atomic<IoctlFn> realIoctl{nullptr};
std::atomic<CloseFn> realClose{nullptr};

// Exclusive opens: the device descriptor and the descriptor holding its claim.
struct Claims {
    std::mutex mutex;
    std::vector<std::pair<int, int>> held;
};
Claims& claims() {
    static Claims* c = new Claims;
    return *c;
}
std::atomic<int> claimCount{0};

// Takes the claim of an exclusive open; false (errno EBUSY) when another holds it.
bool claim(int fd, const Drive& d) {
    const std::string file = d.config().path + ".excl";
    const int lock = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock < 0) {
        return true; // no place to keep a claim: as a device that does not claim
    }
    if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
        next(realClose, "close")(lock);
        errno = EBUSY;
        return false;
    }
    Claims& c = claims();
    std::lock_guard guard(c.mutex);
    c.held.emplace_back(fd, lock);
    claimCount.fetch_add(1);
    return true;
}

// The claim a descriptor holds, taken out of the table; -1 for none.
int releaseClaim(int fd) {
    Claims& c = claims();
    std::lock_guard guard(c.mutex);
    for (auto it = c.held.begin(); it != c.held.end(); ++it) {
        if (it->first == fd) {
            const int lock = it->second;
            c.held.erase(it);
            claimCount.fetch_sub(1);
            return lock;
        }
    }
    return -1;
}

std::shared_ptr<Drive> driveOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        return nullptr;
    }
    Emulator& e = emulator();
    std::lock_guard lock(e.mutex);
    for (const auto& d : e.drives) {
        if (d->isFile(st.st_dev, st.st_ino)) {
            return d;
        }
    }
    return nullptr;
}

// A pulled drive's device file no longer opens; an exclusive open claims it.
int afterOpen(int fd, int flags) {
    if (fd < 0 || inside > 0 || !active.load(std::memory_order_relaxed)) {
        return fd;
    }
    Inside guard;
    const auto d = driveOf(fd);
    if (!d) {
        return fd;
    }
    if (d->unplugged()) {
        next(realClose, "close")(fd);
        errno = ENODEV;
        return -1;
    }
    if ((flags & O_EXCL) != 0 && !claim(fd, *d)) {
        next(realClose, "close")(fd);
        errno = EBUSY;
        return -1;
    }
    return fd;
}

std::string discText(const std::string& media, const std::string& state, long long capacity,
                     const std::string& configured) {
    return "[Disc]\nMedia=" + media + "\nState=" + state +
           "\nCapacity=" + std::to_string(capacity) + "\nConfigured=" + configured + "\n";
}

std::string configuredText(const sbmmc::DiscSpec& spec) {
    return sbmmc::mediaName(spec) + " " + spec.state + " " + std::to_string(spec.capacity);
}

// What the description file beside path says the configuration was.
std::string configuredBefore(const std::string& path) {
    std::vector<std::string> problems;
    std::string error;
    const auto doc =
        sbini::readIniFile(Drive::mediumFile(path), problems, error, "disc description");
    const sbini::IniEntry* e = doc ? doc->find("Disc", "Configured") : nullptr;
    return e != nullptr ? e->value : std::string();
}

// Makes the device file and the disc description for a configured drive.
bool prepare(const sbmmc::DriveConfig& c, std::string& why) {
    struct stat st {};
    if (::stat(c.path.c_str(), &st) != 0) {
        const int fd = ::open(c.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) {
            why = c.path + " cannot be made: " + std::strerror(errno);
            return false;
        }
        ::close(fd);
    } else if (!S_ISREG(st.st_mode)) {
        why = c.path + " is not an ordinary file; an emulated drive needs one";
        return false;
    }
    const std::string configured = configuredText(c.disc);
    if (::stat(Drive::mediumFile(c.path).c_str(), &st) != 0 ||
        configuredBefore(c.path) != configured) {
        const std::string text =
            discText(sbmmc::mediaName(c.disc), c.disc.state, c.disc.capacity, configured);
        if (!sbmmc::replaceFile(Drive::mediumFile(c.path), text, why)) {
            return false;
        }
    }
    return true;
}

int load() {
    Inside guard;
    Emulator& e = emulator();
    std::vector<std::shared_ptr<Drive>> drives;
    std::string problem;
    const char* file = std::getenv("SBMMCEMU");
    int status = 0;
    if (file != nullptr && *file != 0) {
        std::vector<std::string> problems;
        for (auto& c : sbmmc::readConfig(file, problems)) {
            std::string why;
            auto replay = std::make_shared<sbmmc::Replay>();
            if (!c.replay.empty() && !sbmmc::readReplay(c.replay, *replay, why)) {
                problems.push_back(why + "; [Drive " + std::to_string(c.number) + "] is left out");
                continue;
            }
            if (!prepare(c, why)) {
                problems.push_back(why + "; [Drive " + std::to_string(c.number) + "] is left out");
                continue;
            }
            drives.push_back(std::make_shared<Drive>(
                std::move(c), replay->empty() ? nullptr : std::move(replay)));
        }
        for (const auto& p : problems) {
            std::fprintf(stderr, "sbmmcemu: %s\n", p.c_str());
        }
        if (!problems.empty()) {
            problem = problems.front();
        }
        struct stat st {};
        if (drives.empty() && ::stat(file, &st) != 0) {
            status = -1;
        }
    }
    std::vector<std::shared_ptr<Drive>> old;
    {
        std::lock_guard lock(e.mutex);
        old.swap(e.drives);
        e.drives = drives;
        e.lastProblem = problem;
    }
    for (const auto& d : old) {
        d->flush();
    }
    active.store(!drives.empty());
    return status < 0 ? -1 : static_cast<int>(drives.size());
}

void setProblem(const std::string& text) {
    Emulator& e = emulator();
    std::lock_guard lock(e.mutex);
    e.lastProblem = text;
}

__attribute__((constructor)) void startEmulator() {
    load();
}

__attribute__((destructor)) void stopEmulator() {
    Inside guard;
    std::vector<std::shared_ptr<Drive>> drives;
    {
        std::unique_lock lock(emulator().mutex, std::try_to_lock);
        if (lock.owns_lock()) {
            drives = emulator().drives;
        }
    }
    for (const auto& d : drives) {
        d->flush();
    }
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    const OpenFn real = next(realOpen, "open");
    return afterOpen(real(path, flags, mode), flags);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list ap;
        va_start(ap, flags);
        mode = static_cast<mode_t>(va_arg(ap, int));
        va_end(ap);
    }
    const OpenFn real = next(realOpen64, "open64");
    return afterOpen(real(path, flags, mode), flags);
}

__attribute__((visibility("default"))) int __open_2(const char* path, int flags) {
    return afterOpen(next(realOpen2, "__open_2")(path, flags), flags);
}

__attribute__((visibility("default"))) int __open64_2(const char* path, int flags) {
    return afterOpen(next(realOpen64_2, "__open64_2")(path, flags), flags);
}

__attribute__((visibility("default"))) int close(int fd) {
    const CloseFn real = next(realClose, "close");
    if (claimCount.load(std::memory_order_acquire) == 0 || inside > 0) {
        return real(fd);
    }
    const int lock = releaseClaim(fd);
    const int result = real(fd);
    if (lock >= 0) {
        const int saved = errno;
        real(lock);
        errno = saved;
    }
    return result;
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* argument = va_arg(ap, void*);
    va_end(ap);
    const IoctlFn real = next(realIoctl, "ioctl");
    // The generic requests never reach a driver.
    if (inside > 0 || !active.load(std::memory_order_relaxed) || request == FIONBIO ||
        request == FIOCLEX || request == FIONCLEX || request == FIOASYNC) {
        return real(fd, request, argument);
    }
    Inside guard;
    try {
        const auto d = driveOf(fd);
        if (!d) {
            return real(fd, request, argument);
        }
        return d->ioctl(request, argument);
    } catch (const std::exception& x) {
        std::fprintf(stderr, "sbmmcemu: %s\n", x.what());
        errno = EIO; // as from a drive that stopped answering
        return -1;
    }
}

__attribute__((visibility("default"))) int sbMmcEmu_Reload(void) {
    return load();
}

__attribute__((visibility("default"))) int
sbMmcEmu_InsertDisc(const char* path, const char* media, const char* state, long long capacity) {
    Inside guard;
    if (path == nullptr || media == nullptr) {
        setProblem("a disc needs a device file and a medium");
        return -1;
    }
    sbmmc::DiscSpec spec;
    std::string why;
    if (!sbmmc::parseDiscSpec(media, state != nullptr ? state : "", capacity, spec, why)) {
        setProblem(why);
        return -1;
    }
    const std::string text =
        discText(sbmmc::mediaName(spec), spec.state, spec.capacity, configuredBefore(path));
    if (!sbmmc::replaceFile(Drive::mediumFile(path), text, why)) {
        setProblem(why);
        return -1;
    }
    return 0;
}

__attribute__((visibility("default"))) int sbMmcEmu_RemoveDisc(const char* path) {
    return sbMmcEmu_InsertDisc(path, "none", "", 0);
}

__attribute__((visibility("default"))) const char* sbMmcEmu_LastProblem(void) {
    static thread_local std::string copy;
    Emulator& e = emulator();
    std::lock_guard lock(e.mutex);
    copy = e.lastProblem;
    return copy.c_str();
}

} // extern "C"
