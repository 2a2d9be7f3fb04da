// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/core/sbFileSource.h"

#include "starburn/StarBurn.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn {
namespace {

class FileSource : public ImageSource {
public:
    FileSource(int fd, std::string path, uint64_t size)
        : fd_(fd), path_(std::move(path)), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    uint64_t size() const override { return size_; }

    int fileDescriptor() const override { return fd_; }

    bool read(void* buffer, size_t length, std::string& error, int& errnoValue) override {
        if (!fits(length, error, errnoValue)) {
            return false;
        }
        auto* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < length) {
            const ssize_t n =
                ::pread(fd_, out + done, length - done, static_cast<off_t>(position_ + done));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                errnoValue = errno;
                error =
                    "The image file \"" + path_ + "\" cannot be read: " + std::strerror(errnoValue);
                return false;
            }
            if (n == 0) {
                return shrunk(position_ + done, error, errnoValue);
            }
            done += static_cast<size_t>(n);
        }
        position_ += done;
        return checkEnd(error, errnoValue);
    }

    int copyTo(int fd, uint64_t offset, size_t length, std::string& error,
               int& errnoValue) override {
        if (!kernelCopy_) {
            return 0;
        }
        if (!fits(length, error, errnoValue)) {
            return -1;
        }
        size_t done = 0;
        while (done < length) {
            loff_t in = static_cast<loff_t>(position_ + done);
            loff_t out = static_cast<loff_t>(offset + done);
            const ssize_t n = ::copy_file_range(fd_, &in, fd, &out, length - done, 0);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                if (done == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                  errno == EOPNOTSUPP || errno == EBADF)) {
                    // This pair of file systems cannot; read through a buffer from now on.
                    kernelCopy_ = false;
                    return 0;
                }
                errnoValue = errno;
                error = "The image file \"" + path_ +
                        "\" cannot be copied to the disc: " + std::strerror(errnoValue);
                return -1;
            }
            if (n == 0) {
                return shrunk(position_ + done, error, errnoValue) ? 1 : -1;
            }
            done += static_cast<size_t>(n);
        }
        position_ += done;
        return checkEnd(error, errnoValue) ? 1 : -1;
    }

    bool rewind(std::string& /*error*/, int& /*errnoValue*/) override {
        position_ = 0;
        return true;
    }

private:
    bool fits(size_t length, std::string& error, int& errnoValue) const {
        if (length <= size_ - position_) {
            return true;
        }
        error = "The write asked for more bytes than the image file \"" + path_ + "\" holds";
        errnoValue = EINVAL;
        return false;
    }

    bool shrunk(uint64_t reached, std::string& error, int& errnoValue) const {
        errnoValue = 0;
        error = "The image file \"" + path_ + "\" changed size during the write: it ended after " +
                std::to_string(reached) + " of " + std::to_string(size_) + " bytes";
        return false;
    }

    // A file that grew meanwhile would be burned cut short.
    bool checkEnd(std::string& error, int& errnoValue) const {
        if (position_ != size_) {
            return true;
        }
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && static_cast<uint64_t>(st.st_size) != size_) {
            errnoValue = 0;
            error = "The image file \"" + path_ + "\" changed size during the write: it was " +
                    std::to_string(size_) + " bytes and is now " + std::to_string(st.st_size);
            return false;
        }
        return true;
    }

    int fd_;
    std::string path_;
    uint64_t size_;
    uint64_t position_ = 0;
    bool kernelCopy_ = true;
};

} // namespace

std::unique_ptr<ImageSource> openFileSource(const std::string& path, Error& error) {
    if (path.empty()) {
        error = makeError(SB_EXCEPTION_INVALID_PARAMETER, EINVAL, "No image file was named");
        return nullptr;
    }
    // Non-blocking: opening a FIFO would otherwise wait for a writer for
    // ever, out of reach of Cancel. Only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        error =
            makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                      "The image file \"" + path + "\" cannot be opened: " + std::strerror(err));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        error =
            makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                      "The image file \"" + path + "\" cannot be examined: " + std::strerror(err));
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        error = makeError(SB_EXCEPTION_FILE_ERROR, S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                          "\"" + path + "\" is not an image file (not a regular file)");
        return nullptr;
    }
    if (st.st_size == 0) {
        ::close(fd);
        error = makeError(SB_EXCEPTION_INVALID_PARAMETER, 0,
                          "The image file \"" + path + "\" is empty");
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<FileSource>(fd, path, static_cast<uint64_t>(st.st_size));
}

int readPadded(int fd, uint64_t offset, uint64_t bytes, uint64_t fileSize, char* out) {
    uint64_t got = 0;
    while (got < bytes && offset + got < fileSize) {
        const ssize_t n = ::pread(fd, out + got, static_cast<size_t>(bytes - got),
                                  static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        got += static_cast<uint64_t>(n);
    }
    std::memset(out + got, 0, static_cast<size_t>(bytes - got));
    return 0;
}

} // namespace starburn
