// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbVerify.h"
#include "engine/sbVerifyPipeline.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint64_t BlockSize = 2048;
// Blocks of one read of an image file's sums: 1 MB in memory.
constexpr uint32_t ChunkBlocks = 512;

// The primary volume descriptor's fields (ECMA-119 8.4).
constexpr uint64_t PvdOffset = 16 * BlockSize;
constexpr size_t PvdAppUse = 883;
constexpr uint32_t Md5DefaultSkip = 15;

class TFile {
public:
    explicit TFile(int Fd) : fd_(Fd) {}
    ~TFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// Reads up to Size bytes at Offset; the count read (short only at the end of
// the file), or -1 with errno set.
ssize_t ReadAt(int Fd, void* Buffer, size_t Size, uint64_t Offset) {
    size_t got = 0;
    while (got < Size) {
        const ssize_t n = ::pread(Fd, static_cast<char*>(Buffer) + got, Size - got,
                                  static_cast<off_t>(Offset + got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// The implanted-checksum records of the application-use area, as isomd5sum
// writes them: "ISO MD5SUM = <32 hex>;SKIPSECTORS = <n>;..." (other records
// are skipped).
void ReadImplantedMd5(const unsigned char* AppUse, uint64_t VolumeBytes, TsbImageCheck& Check) {
    const std::string area(reinterpret_cast<const char*>(AppUse), sbIsoAppUseSize);
    const std::string md5Key = "ISO MD5SUM = ";
    const size_t at = area.find(md5Key);
    if (at == std::string::npos || at + md5Key.size() + 32 > area.size()) {
        return;
    }
    std::string md5 = area.substr(at + md5Key.size(), 32);
    if (!std::all_of(md5.begin(), md5.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        return;
    }
    std::transform(md5.begin(), md5.end(), md5.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    uint64_t skip = Md5DefaultSkip;
    const std::string skipKey = "SKIPSECTORS = ";
    const size_t s = area.find(skipKey);
    if (s != std::string::npos) {
        skip = 0;
        for (size_t k = s + skipKey.size();
             k < area.size() && std::isdigit(static_cast<unsigned char>(area[k])); ++k) {
            skip = std::min<uint64_t>(skip * 10 + static_cast<uint64_t>(area[k] - '0'), UINT32_MAX);
        }
    }
    if (skip * BlockSize >= VolumeBytes) {
        return;
    }
    Check.HasImplantedMd5 = true;
    Check.ImplantedMd5 = md5;
    Check.Md5Bytes = VolumeBytes - skip * BlockSize;
}

} // namespace

uint32_t BlocksOfBytes(uint64_t Bytes) {
    return static_cast<uint32_t>(
        std::min<uint64_t>((Bytes + BlockSize - 1) / BlockSize, UINT32_MAX));
}

namespace {

// The check of an image already open as Fd: what is checked is the file that
// is read, whatever is put under its name meanwhile.
TsbImageCheck CheckOpenImage(int Fd, const std::string& Path) {
    struct stat st {};
    if (::fstat(Fd, &st) != 0) {
        throw EsbError("The image file cannot be read: " + Path + ": " + std::strerror(errno));
    }
    TsbImageCheck check;
    check.FileBytes = static_cast<uint64_t>(st.st_size);
    unsigned char pvd[BlockSize];
    const ssize_t n = ReadAt(Fd, pvd, sizeof pvd, PvdOffset);
    if (n < 0) {
        throw EsbError("The image file cannot be read: " + Path + ": " + std::strerror(errno));
    }
    // A descriptor cut short still names the volume it belongs to. Reading a
    // block the program holds involves no drive: not announced in the log.
    SB_PRIMARY_VOLUME_DESCRIPTOR descriptor{};
    QuietLibraryCall([&] {
        return StarBurn_ReadPrimaryVolumeDescriptor(pvd, static_cast<uint32_t>(n), &descriptor);
    });
    if (descriptor.IsPrimary == 0) {
        return check;
    }
    check.IsIso = true;
    const uint64_t blockSize = descriptor.LogicalBlockSize;
    check.DescribedBytes = static_cast<uint64_t>(descriptor.VolumeSpaceSize) *
                           (blockSize != 0 ? blockSize : BlockSize);
    if (n == static_cast<ssize_t>(sizeof pvd)) {
        ReadImplantedMd5(pvd + PvdAppUse, check.DescribedBytes, check);
    }
    return check;
}

} // namespace

TsbImageCheck CheckImageFile(const std::string& Path) {
    TFile file(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Fd() < 0) {
        throw EsbError("The image file cannot be opened: " + Path + ": " + std::strerror(errno));
    }
    return CheckOpenImage(file.Fd(), Path);
}

std::string IncompleteImageText(const TsbImageCheck& Check) {
    return fmt::format("The image is incomplete: it describes {} bytes, the file has {} bytes",
                       Check.DescribedBytes, Check.FileBytes);
}

TsbVerifyResult VerifyWrittenImage(void* Grabber, const std::string& ImagePath, uint32_t StartLba,
                                   const TsbVerifyCallbacks& Callbacks) {
    TsbVerifyResult result;
    const std::string failure = "Verification failed: the image file cannot be read";
    auto imageFailure = [&](const std::string& Why) {
        result.Outcome = TsbVerifyOutcome::ImageError;
        result.FailureText = failure + " (" + Why + ")";
        return result;
    };
    TFile image(::open(ImagePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (image.Fd() < 0 || ::fstat(image.Fd(), &st) != 0) {
        return imageFailure(ImagePath + ": " + std::strerror(errno));
    }
    ::posix_fadvise(image.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    TsbImageCheck check;
    try {
        check = CheckOpenImage(image.Fd(), ImagePath);
    } catch (const EsbError& e) {
        return imageFailure(e.what());
    }
    TsbCompareSpec spec;
    spec.Bytes = static_cast<uint64_t>(st.st_size);
    spec.StartLba = StartLba;
    if (check.HasImplantedMd5) {
        spec.ImplantedMd5 = check.ImplantedMd5;
        spec.Md5Bytes = check.Md5Bytes;
    }
    spec.SourceFailure = failure;
    uint64_t offset = 0;
    const int fd = image.Fd();
    return CompareDiscWith(
        Grabber, spec,
        [&](char* Buffer, size_t Bytes, std::string& Why) {
            const ssize_t got = ReadAt(fd, Buffer, Bytes, offset);
            if (got < 0) {
                Why = ImagePath + ": " + std::strerror(errno);
                return false;
            }
            if (static_cast<size_t>(got) < Bytes) {
                Why = ImagePath + " became shorter during the verification";
                return false;
            }
            offset += Bytes;
            return true;
        },
        Callbacks);
}

TsbVerifyResult VerifyWrittenTree(void* Grabber, void* FileTree, uint32_t StartLba,
                                  const TsbVerifyCallbacks& Callbacks) {
    TsbVerifyResult result;
    const std::string failure = "Verification failed: the folder cannot be read again";
    char text[1024] = {};
    uint32_t status = 0;
    uint32_t high = 0;
    const uint32_t low = QuietLibraryCall(
        [&] { return StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(FileTree, &high); });
    // The tree's image is made again from its first byte, from the files as
    // they are now: each file is compared with what the disc holds of it.
    const TsbCallResult rewound = LibraryCall(
        "StarBurn_ISO9660JolietFileTree_SeekToBegin",
        FailureOf("StarBurn_ISO9660JolietFileTree_SeekToBegin", text, sizeof text, &status), [&] {
            return StarBurn_ISO9660JolietFileTree_SeekToBegin(FileTree, text, sizeof text, &status);
        });
    if (rewound.Failed()) {
        result.Outcome = TsbVerifyOutcome::ImageError;
        result.FailureText = failure + " (" + BufferToStr(text, sizeof text) + ")";
        return result;
    }
    TsbCompareSpec spec;
    spec.Bytes = (static_cast<uint64_t>(high) << 32) | low;
    spec.StartLba = StartLba;
    spec.SourceFailure = failure;
    return CompareDiscWith(
        Grabber, spec,
        [&](char* Buffer, size_t Bytes, std::string& Why) {
            // One read per chunk, as the write's: not announced.
            const uint8_t read = QuietLibraryCall([&] {
                return StarBurn_ISO9660JolietFileTree_Read(FileTree, text, sizeof text, &status,
                                                           static_cast<uint32_t>(Bytes), Buffer);
            });
            if (read != 0) {
                Why = BufferToStr(text, sizeof text);
                return false;
            }
            return true;
        },
        Callbacks);
}

TsbImageSums SumImageFile(const std::string& ImagePath, const TsbVerifyCallbacks& Callbacks) {
    TsbImageSums sums;
    TFile image(::open(ImagePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (image.Fd() < 0) {
        throw EsbError("The image file cannot be opened: " + ImagePath + ": " +
                       std::strerror(errno));
    }
    sums.Check = CheckOpenImage(image.Fd(), ImagePath);
    ::posix_fadvise(image.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    TsbDigest sha256(EVP_sha256());
    std::unique_ptr<TsbDigest> md5;
    if (sums.Check.HasImplantedMd5) {
        md5 = std::make_unique<TsbDigest>(EVP_md5());
    }
    std::vector<char> buffer(static_cast<size_t>(ChunkBlocks * BlockSize));
    const uint64_t total = sums.Check.FileBytes;
    int32_t lastPercent = -1;
    uint64_t offset = 0;
    for (;;) {
        const int32_t percent =
            total == 0 ? 100
                       : static_cast<int32_t>(std::min<uint64_t>(offset, total) * 100 / total);
        if (percent != lastPercent && Callbacks.Progress) {
            lastPercent = percent;
            Callbacks.Progress(percent);
        }
        if (Callbacks.Cancelled && Callbacks.Cancelled()) {
            sums.Cancelled = true;
            return sums;
        }
        const ssize_t got = ReadAt(image.Fd(), buffer.data(), buffer.size(), offset);
        if (got < 0) {
            throw EsbError("The image file cannot be read: " + ImagePath + ": " +
                           std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        const auto bytes = static_cast<size_t>(got);
        sha256.Update(buffer.data(), bytes);
        if (md5) {
            UpdateImplantedMd5(*md5, buffer.data(), bytes, offset, sums.Check.Md5Bytes);
        }
        offset += bytes;
    }
    if (offset != total) {
        throw EsbError(ImagePath + " changed its size while it was read");
    }
    const uint64_t padding = static_cast<uint64_t>(BlocksOfBytes(total)) * BlockSize - total;
    sums.Sha256Written = sha256.HexDigestWithZeros(static_cast<size_t>(padding));
    sums.Sha256 = sha256.HexDigest();
    if (md5) {
        // A file shorter than the part the checksum covers cannot match it.
        sums.Md5Checked = true;
        sums.Md5Correct =
            offset >= sums.Check.Md5Bytes && md5->HexDigest() == sums.Check.ImplantedMd5;
    }
    return sums;
}
