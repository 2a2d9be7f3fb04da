// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/virtual/sbVirtualFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::virt {
namespace {

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

} // namespace

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

std::string fileError(const std::string& what, const std::string& path, int err) {
    struct stat st {};
    if (err == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Opened with O_NOFOLLOW: "too many levels of symbolic links" would
        // hide that the name itself is a link someone put there.
        return what + " \"" + path +
               "\": it is a symbolic link, and a recorder's state files are never reached "
               "through one";
    }
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

} // namespace starburn::virt
