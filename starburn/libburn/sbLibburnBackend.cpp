// SPDX-License-Identifier: GPL-2.0-or-later
// Real recorders and stdio pseudo-drives through libburn, as a backend of the
// library: at start it finds the drives, learns what each reports about
// itself, and adds them to the device table beside the virtual recorders.
#include "starburn/core/sbBackend.h"

#include "ini/sbIni.h"
#include "starburn/libburn/sbLibburnAccess.h"
#include "starburn/libburn/sbLibburnConfig.h"
#include "starburn/libburn/sbLibburnDrive.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnSense.h"
#include "starburn/libburn/sbLibburnTesting.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::lb {

using namespace sbini;
namespace {

constexpr const char* kBackendName = "libburn";
// Pseudo-drives have no SCSI address of their own; they get one on this port.
constexpr uint8_t kStdioPort = 2;
// Real drives whose own address is taken get one on this port.
constexpr uint8_t kFallbackPort = 3;

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return trim(line);
}

// Every /dev/srN, in the order of N.
std::vector<std::string> scanDeviceFiles() {
    std::vector<std::pair<long, std::string>> found;
    if (DIR* dir = ::opendir("/dev")) {
        while (const dirent* e = ::readdir(dir)) {
            const char* name = e->d_name;
            if (std::strncmp(name, "sr", 2) != 0 || name[2] == '\0') {
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(name + 2, &end, 10);
            if (end != nullptr && *end == '\0') {
                found.emplace_back(n, std::string("/dev/") + name);
            }
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> files;
    for (auto& f : found) {
        files.push_back(std::move(f.second));
    }
    return files;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The SCSI address of a device file: libburn's answer, else the name of the
// device's folder in sysfs ("1:0:0:0"), which needs no permission on the
// device.
std::optional<SB_DEVICE_ADDRESS> scsiAddress(const std::string& deviceFile) {
    int bus = 0;
    int host = 0;
    int channel = 0;
    int target = 0;
    int lun = 0;
    std::string path = deviceFile;
    auto clip = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    if (burn::burn_drive_obtain_scsi_adr(path.data(), &bus, &host, &channel, &target, &lun) == 1) {
        return SB_DEVICE_ADDRESS{1, clip(host), clip(channel), clip(target), clip(lun)};
    }
    char resolved[PATH_MAX];
    const std::string link = "/sys/block/" + baseName(deviceFile) + "/device";
    if (::realpath(link.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    if (std::sscanf(baseName(resolved).c_str(), "%d:%d:%d:%d", &host, &channel, &target, &lun) ==
        4) {
        return SB_DEVICE_ADDRESS{1, clip(host), clip(channel), clip(target), clip(lun)};
    }
    return std::nullopt;
}

// What sysfs tells of a drive without opening it.
DeviceFacts sysfsFacts(const std::string& deviceFile) {
    DeviceFacts f;
    const std::string dir = "/sys/block/" + baseName(deviceFile) + "/device/";
    f.vendor = firstLine(dir + "vendor");
    f.product = firstLine(dir + "model");
    f.revision = firstLine(dir + "rev");
    if (f.product.empty()) {
        f.product = deviceFile;
    }
    return f;
}

// Why the user may not open the device, and what to do about it; empty when
// nothing stands in the way.
std::string permissionProblem(const std::string& deviceFile, uint32_t& status) {
    if (::access(deviceFile.c_str(), R_OK | W_OK) == 0) {
        return {};
    }
    const int err = errno;
    status = static_cast<uint32_t>(err);
    if (err != EACCES && err != EPERM && err != EROFS) {
        return "The drive " + deviceFile + " cannot be opened: " + std::strerror(err);
    }
    return accessAdvice(readAccessFacts(deviceFile, err));
}

int highestNumber(const DeviceTable& table) {
    int highest = -1;
    for (const auto& e : table.all()) {
        highest = std::max(highest, deviceNumber(e->name).value_or(-1));
    }
    return highest;
}

// The next device name after every drive already in the table, so real
// drives are numbered after the virtual recorders; empty (the first free
// name) when the numbers run out.
std::string nextName(const DeviceTable& table) {
    const int next = highestNumber(table) + 1;
    return next <= kMaxDeviceNumber ? "CdRom" + std::to_string(next) : std::string();
}

char nextLetter(const DeviceTable& table) {
    char highest = 'C';
    for (const auto& e : table.all()) {
        highest = std::max(highest, e->driveLetter);
    }
    for (char c = static_cast<char>(highest + 1); c <= 'Z'; ++c) {
        if (!table.byLetter(c)) {
            return c;
        }
    }
    for (char c = 'D'; c <= 'Z'; ++c) {
        if (!table.byLetter(c)) {
            return c;
        }
    }
    return 0;
}

// libburn opens its log file at its first command without looking, and
// writes on regardless when the opening fails; so the file is tried here
// first, refusing a symbolic link, and a file that cannot be written leaves
// the log off with a message instead.
void switchScsiLog(ScsiLog log, std::vector<std::string>& problems) {
    int flags = 0;
    if (log == ScsiLog::File) {
        const int fd =
            ::open(kScsiLogFile, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int err = errno;
            problems.push_back(std::string("libburn's SCSI log ") + kScsiLogFile +
                               " cannot be written (" +
                               (err == ELOOP ? "it is a symbolic link" : std::strerror(err)) +
                               "); no SCSI log is kept");
        } else {
            ::close(fd);
            flags = 1 | 4; // its file, flushed line by line so a hang keeps the end
            problems.push_back(std::string("libburn logs every SCSI command to ") + kScsiLogFile);
        }
    } else if (log == ScsiLog::StandardError) {
        flags = 2 | 4;
        problems.push_back("libburn logs every SCSI command to standard error");
    }
    burn::burn_set_scsi_logging(flags);
}

bool fits(const DeviceTable& table, const DeviceRequest& request, std::string& error) {
    DeviceTable trial = table;
    DeviceRequest copy = request;
    return trial.add(std::move(copy), error);
}

class LibburnBackend : public Backend {
public:
    const char* name() const override { return kBackendName; }

    bool ownsSection(std::string_view sectionName) const override {
        return isLibburnSection(sectionName);
    }

    Error start(BackendContext& context) override {
        auto& problems = *context.problems;
        const LibburnConfig config = readLibburnConfig(context.configuration, problems);
        std::vector<std::string> devices;
        if (config.realDrives) {
            devices = config.devices.empty() ? scanDeviceFiles() : config.devices;
        }
        if (devices.empty() && config.stdioDrives.empty()) {
            return {}; // nothing for libburn to do; it is not even started
        }
        std::string error;
        if (!startLibburn(error)) {
            problems.push_back(error + "; real drives and pseudo-drives are left out");
            return {};
        }
        started_ = true;
        switchScsiLog(config.scsiLog, problems);
        for (const auto& file : devices) {
            addRealDrive(context, config, file);
        }
        for (const auto& stdio : config.stdioDrives) {
            addStdioDrive(context, config, stdio);
        }
        return {};
    }

    void shutDown() override {
        if (started_) {
            stopLibburn();
            started_ = false;
        }
    }

private:
    void addRealDrive(BackendContext& context, const LibburnConfig& config,
                      const std::string& file) {
        auto& problems = *context.problems;
        // A drive that is not there (a USB writer pulled out, its node gone)
        // is no row to choose: the program starts the library again when
        // the system reports it back.
        const auto notThere = [&] {
            problems.push_back("The drive " + file + " is not there; it is left out");
        };
        if (deviceFileGone(file)) {
            notThere();
            return;
        }
        DriveSetup setup;
        setup.address = file;
        setup.facts = sysfsFacts(file);
        setup.readyWait = config.readyWait;
        const auto titleOf = [&file](const DeviceFacts& facts) {
            const std::string model = trim(facts.vendor + " " + facts.product);
            return model.empty() || facts.product == file ? file : file + " (" + model + ")";
        };
        const std::string permission = permissionProblem(file, setup.unavailableStatus);
        if (!permission.empty()) {
            // Listed all the same, so the user sees the drive and learns why
            // it does not answer.
            setup.unavailableText = permission;
            problems.push_back(permission + (permission.back() == '.'
                                                 ? " The drive is listed but cannot be used."
                                                 : "; the drive is listed but cannot be used"));
        } else if (Error e = examineDrive(file, setup.facts, setup.info, config.readyWait,
                                          titleOf(setup.facts))) {
            if (deviceFileGone(file)) {
                notThere();
                return;
            }
            // The first calls answer the same at once instead of waiting
            // all over again.
            if (e.exception == SB_EXCEPTION_NOT_READY && e.hasSense) {
                setup.notReadyAtStart = e;
            }
            problems.push_back("The drive " + file + " could not be examined (" + e.text +
                               "); it is listed with what the system knows of it, and cannot "
                               "write until the program is started again");
        }
        setup.title = titleOf(setup.facts);

        DeviceRequest request;
        request.backend = kBackendName;
        request.name = nextName(*context.table);
        request.address = scsiAddress(file);
        request.port = kFallbackPort;
        request.driveLetter = nextLetter(*context.table);
        const Placement* placement = nullptr;
        for (const auto& p : config.placements) {
            if (p.deviceFile == file) {
                placement = &p.placement;
            }
        }
        std::string origin = config.origin + ":";
        if (placement != nullptr) {
            origin += std::to_string(placement->line) + ": ";
            if (!placement->deviceName.empty()) {
                request.name = placement->deviceName;
            }
            if (placement->address) {
                request.address = placement->address;
            }
            if (placement->driveLetter != 0) {
                request.driveLetter = placement->driveLetter;
            }
        } else {
            origin = "";
        }
        // The trial of the address below needs the whole request: a request
        // without its drive never fits, and every drive would lose its address.
        request.device = std::make_shared<Drive>(std::move(setup));
        std::string why;
        if (request.address && placement == nullptr && !fits(*context.table, request, why)) {
            // Its own address is a virtual recorder's: it takes a free one.
            problems.push_back("The drive " + file + " cannot have its SCSI address " +
                               addressText(*request.address) + " (" + why +
                               "); it gets a free address on port " +
                               std::to_string(kFallbackPort));
            request.address.reset();
        }
        if (!context.table->add(std::move(request), why)) {
            problems.push_back(origin + "The drive " + file + " is left out: " + why);
        }
    }

    void addStdioDrive(BackendContext& context, const LibburnConfig& config,
                       const StdioDriveConfig& stdio) {
        auto& problems = *context.problems;
        DriveSetup setup;
        setup.address = "stdio:" + stdio.path;
        setup.stdio = true;
        setup.title = "\"" + stdio.id + "\" (" + stdio.path + ")";
        if (Error e = examineDrive(setup.address, setup.facts, setup.info, config.readyWait,
                                   setup.title)) {
            problems.push_back(config.origin + ":" + std::to_string(stdio.placement.line) +
                               ": pseudo-drive \"" + stdio.id + "\" is left out: " + e.text);
            return;
        }
        // libburn's own names for a pseudo-drive are jokes; the file is what
        // the user recognises.
        setup.facts.vendor = "LIBBURN";
        setup.facts.product = ("stdio " + baseName(stdio.path)).substr(0, 63);
        // A pseudo-drive can simulate and writes the way its role says:
        // random access like DVD-RAM, sequential like a blank DVD-R.
        setup.facts.testWrite = true;
        setup.facts.readsDvdRom = true;
        setup.facts.readsDvdRam = setup.facts.writesDvdRam = true;
        setup.facts.readsDvdR = setup.facts.writesDvdR = true;

        DeviceRequest request;
        request.backend = kBackendName;
        request.name = stdio.placement.deviceName.empty() ? nextName(*context.table)
                                                          : stdio.placement.deviceName;
        request.address = stdio.placement.address;
        request.port = kStdioPort;
        request.driveLetter = stdio.placement.driveLetter != 0 ? stdio.placement.driveLetter
                                                               : nextLetter(*context.table);
        request.device = std::make_shared<Drive>(std::move(setup));
        std::string why;
        if (!context.table->add(std::move(request), why)) {
            problems.push_back(config.origin + ":" + std::to_string(stdio.placement.line) +
                               ": pseudo-drive \"" + stdio.id + "\" is left out: " + why);
        }
    }

    bool started_ = false;
};

[[maybe_unused]] const bool registered = registerBackend(
    10, []() -> std::unique_ptr<Backend> { return std::make_unique<LibburnBackend>(); });

} // namespace
} // namespace starburn::lb

extern "C" STARBURN_API uint8_t StarBurnLibburnTesting_DiscTypeOfProfile(uint32_t ulProfile,
                                                                         uint32_t ulRole) {
    return starburn::lb::discTypeOfProfile(static_cast<int>(ulProfile),
                                           static_cast<starburn::lb::Role>(ulRole));
}
