// SPDX-License-Identifier: GPL-2.0-or-later
// Who holds a drive the system reports busy: its mounts and the processes
// that have its device file open, as /proc tells.
#include "starburn/libburn/sbLibburnDrive.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace starburn::lb {

namespace {

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// /proc/mounts escapes blanks and the like as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(field[i + 1]) &&
            std::isdigit(field[i + 2]) && std::isdigit(field[i + 3])) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string firstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

bool busyFailure(const std::string& why, int err) {
    return err == EBUSY || why.find("busy") != std::string::npos;
}

std::vector<std::string> mountPointsOf(const std::string& deviceFile) {
    const std::string device = canonical(deviceFile);
    std::vector<std::string> mountPoints;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source;
        std::string target;
        fields >> source >> target;
        if (!source.empty() && source[0] == '/' &&
            canonical(unescapeMountField(source)) == device) {
            mountPoints.push_back(unescapeMountField(target));
        }
    }
    return mountPoints;
}

std::string busyAdvice(const std::string& deviceFile) {
    const std::string device = canonical(deviceFile);
    const std::vector<std::string> mountPoints = mountPointsOf(deviceFile);
    std::vector<std::string> holders;
    const std::string self = std::to_string(::getpid());
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* p = ::readdir(proc)) {
            const std::string pid = p->d_name;
            if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit) || pid == self) {
                continue;
            }
            const std::string fdDir = "/proc/" + pid + "/fd";
            DIR* fds = ::opendir(fdDir.c_str()); // other users' processes stay closed
            if (fds == nullptr) {
                continue;
            }
            bool holds = false;
            while (const dirent* fd = ::readdir(fds)) {
                char target[PATH_MAX];
                const std::string link = fdDir + "/" + fd->d_name;
                const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
                if (n > 0) {
                    target[n] = '\0';
                    holds = holds || device == target;
                }
            }
            ::closedir(fds);
            if (holds) {
                const std::string name = firstLineOf("/proc/" + pid + "/comm");
                holders.push_back((name.empty() ? std::string("a process") : name) + " (pid " +
                                  pid + ")");
            }
        }
        ::closedir(proc);
    }
    std::string advice;
    if (!mountPoints.empty()) {
        advice = "Its disc is mounted at " + mountPoints.front() +
                 ": unmount it (eject it in the file manager, or umount \"" + mountPoints.front() +
                 "\") and try again";
    }
    if (!holders.empty()) {
        std::string list;
        for (size_t i = 0; i < holders.size() && i < 3; ++i) {
            list += (i == 0 ? "" : ", ") + holders[i];
        }
        if (holders.size() > 3) {
            list += " and " + std::to_string(holders.size() - 3) + " more";
        }
        advice += (advice.empty() ? "" : ". ") + std::string("It is held open by ") + list +
                  (mountPoints.empty() ? "; close that program and try again" : "");
    }
    return advice;
}

} // namespace starburn::lb
