// SPDX-License-Identifier: GPL-2.0-or-later
// Reading a libburn drive's disc back: real drives through burn_read_data,
// stdio pseudo-drives from their file.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/core/sbFileSource.h"
#include "starburn/libburn/sbLibburnRuntime.h"
#include "starburn/libburn/sbLibburnSense.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace starburn::lb {
namespace {

using namespace burn;

constexpr uint64_t kBlock = 2048;

Error pastRecorded(uint32_t lba, uint32_t blocks, uint64_t recorded) {
    return senseError(SB_EXCEPTION_INVALID_PARAMETER, 0x05, 0x21, 0x00,
                      "Blocks " + std::to_string(lba) + " to " +
                          std::to_string(static_cast<uint64_t>(lba) + blocks - 1) +
                          " go past the recorded data (" + std::to_string(recorded) + " blocks)");
}

// A pseudo-drive's disc is its file: read it directly, the last block padded
// with zeros as the write padded it.
Error readStdioFile(const std::string& path, uint32_t lba, uint32_t blocks, char* out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return makeError(SB_EXCEPTION_NOT_READY, static_cast<uint32_t>(err),
                         "The pseudo-drive's file \"" + path +
                             "\" cannot be read: " + std::strerror(err));
    }
    struct stat st {};
    const uint64_t size = ::fstat(fd, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    const uint64_t recorded = (size + kBlock - 1) / kBlock;
    if (static_cast<uint64_t>(lba) + blocks > recorded) {
        ::close(fd);
        return pastRecorded(lba, blocks, recorded);
    }
    const int err = readPadded(fd, lba * kBlock, blocks * kBlock, size, out);
    ::close(fd);
    if (err != 0) {
        return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                          "The pseudo-drive's file \"" + path +
                              "\" cannot be read: " + std::strerror(err));
    }
    return {};
}

} // namespace

Error Drive::readData(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) {
    auto* out = static_cast<char*>(buffer);
    std::unique_lock lock(mutex_);
    if (!awaitWindDownLocked(lock)) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                         "The drive " + setup_.title + " is writing");
    }
    if (setup_.stdio) {
        const std::string prefix = "stdio:";
        const std::string path = setup_.address.rfind(prefix, 0) == 0
                                     ? setup_.address.substr(prefix.size())
                                     : setup_.address;
        lock.unlock();
        return readStdioFile(path, lba, blocks, out);
    }
    if (Error e = grabLocked(nullptr, [&monitor] { return monitor.cancelled(); })) {
        return e;
    }
    if (!state_.present()) {
        return noDisc();
    }
    uint64_t recorded = state_.readCapacity;
    for (const auto& t : state_.tracks) {
        recorded = std::max<uint64_t>(recorded, static_cast<uint64_t>(t.start) + t.blocks);
    }
    if (static_cast<uint64_t>(lba) + blocks > recorded) {
        return pastRecorded(lba, blocks, recorded);
    }
    // Read in steps a cancel can fall between: libburn's read call is synchronous.
    constexpr uint32_t kStep = 32;
    for (uint32_t done = 0; done < blocks;) {
        if (monitor.cancelled()) {
            return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The read was cancelled");
        }
        const uint32_t n = std::min(kStep, blocks - done);
        off_t count = 0;
        const uint64_t mark = messageMark();
        // bit1: no message of libburn's own; bit2: no second try block by block.
        const int r =
            burn_read_data(drive_, static_cast<off_t>((lba + done) * kBlock), out + done * kBlock,
                           static_cast<off_t>(n * kBlock), &count, 2 | 4);
        if (r <= 0) {
            int err = 0;
            std::string why = failureText(messagesSince(mark), err);
            if (isDisconnection(err) || deviceFileGone(setup_.address)) {
                return makeError(SB_EXCEPTION_NOT_READY, ENODEV,
                                 disconnectedAdvice() +
                                     (why.empty() ? std::string() : " (" + why + ")"));
            }
            // libburn tells neither which block of the step failed nor how
            // many came before it: they are read one by one up to the bad one.
            uint32_t good = 0;
            while (good < n) {
                off_t one = 0;
                const off_t at = static_cast<off_t>((lba + done + good) * kBlock);
                if (burn_read_data(drive_, at, out + (done + good) * kBlock, kBlock, &one, 2 | 4) <=
                        0 ||
                    one < static_cast<off_t>(kBlock)) {
                    break;
                }
                ++good;
            }
            touchLocked();
            if (good == n) {
                done += n; // the step read at its second try, block by block
                continue;
            }
            const uint64_t bad = static_cast<uint64_t>(lba) + done + good;
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              "The drive " + setup_.title + " cannot read block " +
                                  std::to_string(bad) + ". " + senseAdvice({0x3, 0x11, 0x00}, bad) +
                                  " (unrecovered read error, sense 3/11/00" +
                                  (why.empty() ? std::string() : ": " + why) + ")");
        }
        done += n;
        touchLocked();
    }
    return {};
}

} // namespace starburn::lb
