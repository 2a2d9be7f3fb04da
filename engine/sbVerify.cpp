#include "engine/sbVerify.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>
#include <openssl/evp.h>

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
// Blocks of one read: 1 MB of disc and 1 MB of image in memory, whatever the
// image's size, and small enough that the bar moves and Cancel is answered
// soon even at a slow read speed.
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

std::string Hex(const unsigned char* Digest, unsigned Size) {
    std::string out;
    out.reserve(Size * 2);
    for (unsigned k = 0; k < Size; ++k) {
        out += fmt::format("{:02x}", Digest[k]);
    }
    return out;
}

// One running digest (SHA-256 or MD5) through OpenSSL.
class TDigest {
public:
    explicit TDigest(const EVP_MD* Kind) : ctx_(EVP_MD_CTX_new()) {
        if (ctx_ == nullptr || EVP_DigestInit_ex(ctx_, Kind, nullptr) != 1) {
            EVP_MD_CTX_free(ctx_);
            throw EsbError("The checksum library (OpenSSL) cannot compute a checksum");
        }
    }
    ~TDigest() { EVP_MD_CTX_free(ctx_); }
    TDigest(const TDigest&) = delete;
    TDigest& operator=(const TDigest&) = delete;

    void Update(const void* Data, size_t Size) {
        if (Size > 0) {
            EVP_DigestUpdate(ctx_, Data, Size);
        }
    }
    std::string HexDigest() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_DigestFinal_ex(ctx_, digest, &size);
        return Hex(digest, size);
    }
    // The digest of what was fed so far followed by Zeros zero bytes; this
    // digest goes on unchanged.
    std::string HexDigestWithZeros(size_t Zeros) const {
        TDigest copy(EVP_MD_CTX_get0_md(ctx_));
        if (EVP_MD_CTX_copy_ex(copy.ctx_, ctx_) != 1) {
            throw EsbError("The checksum library (OpenSSL) cannot compute a checksum");
        }
        const std::vector<char> zeros(Zeros, 0);
        copy.Update(zeros.data(), zeros.size());
        return copy.HexDigest();
    }

private:
    EVP_MD_CTX* ctx_;
};

// Feeds the part of Data (Bytes at Offset of the image) that the implanted
// MD5 covers. isomd5sum sums the application-use area as blanks: it holds
// the sum itself. Data is changed there.
void UpdateImplantedMd5(TDigest& Md5, char* Data, size_t Bytes, uint64_t Offset,
                        uint64_t Md5Bytes) {
    if (Offset >= Md5Bytes) {
        return;
    }
    const size_t part = static_cast<size_t>(std::min<uint64_t>(Bytes, Md5Bytes - Offset));
    const uint64_t from = std::max(Offset, sbIsoAppUseOffset);
    const uint64_t to = std::min(Offset + part, sbIsoAppUseOffset + sbIsoAppUseSize);
    if (from < to) {
        std::memset(Data + (from - Offset), ' ', static_cast<size_t>(to - from));
    }
    Md5.Update(Data, part);
}

struct TReader {
    void* Grabber;
    char ExceptionText[1024]{};
    uint32_t Status = 0;
    uint8_t FailureInfo[SB_FAILURE_INFO_SIZE]{};

    uint8_t Read(uint32_t Lba, uint32_t Blocks, void* Buffer) {
        ExceptionText[0] = '\0';
        // A read per chunk: announced once before the first; the caller
        // words a failure with the block it names.
        return QuietLibraryCall([&] {
            return StarBurn_CdvdBurnerGrabber_ReadData(Grabber, ExceptionText, sizeof ExceptionText,
                                                       &Status, FailureInfo, Lba, Blocks, Buffer);
        });
    }
    std::string Text() const { return BufferToStr(ExceptionText, sizeof ExceptionText); }
};

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
    auto imageFailure = [&](const std::string& Why) {
        result.Outcome = TsbVerifyOutcome::ImageError;
        result.FailureText = "Verification failed: the image file cannot be read (" + Why + ")";
        return result;
    };
    TFile image(::open(ImagePath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (image.Fd() < 0 || ::fstat(image.Fd(), &st) != 0) {
        return imageFailure(ImagePath + ": " + std::strerror(errno));
    }
    ::posix_fadvise(image.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    const uint64_t imageBytes = static_cast<uint64_t>(st.st_size);
    const uint32_t total = BlocksOfBytes(imageBytes);

    TsbImageCheck check;
    try {
        check = CheckOpenImage(image.Fd(), ImagePath);
    } catch (const EsbError& e) {
        return imageFailure(e.what());
    }
    TDigest sha256(EVP_sha256());
    std::unique_ptr<TDigest> md5;
    if (check.HasImplantedMd5) {
        md5 = std::make_unique<TDigest>(EVP_md5());
    }

    std::vector<char> disc(static_cast<size_t>(ChunkBlocks * BlockSize));
    std::vector<char> source(disc.size());
    TReader reader{Grabber};
    int32_t lastPercent = -1;
    auto progress = [&](uint32_t Done) {
        const int32_t percent =
            total == 0 ? 100 : static_cast<int32_t>(static_cast<uint64_t>(Done) * 100 / total);
        if (percent != lastPercent && Callbacks.Progress) {
            lastPercent = percent;
            Callbacks.Progress(percent);
        }
    };
    progress(0);
    Logger().Log("StarBurn_CdvdBurnerGrabber_ReadData");

    for (uint32_t done = 0; done < total;) {
        if (Callbacks.Cancelled && Callbacks.Cancelled()) {
            result.Outcome = TsbVerifyOutcome::Cancelled;
            result.FailureText = "Verification cancelled";
            return result;
        }
        const uint32_t blocks = std::min(ChunkBlocks, total - done);
        const size_t bytes = static_cast<size_t>(blocks * BlockSize);
        const uint64_t offset = static_cast<uint64_t>(done) * BlockSize;
        const ssize_t got = ReadAt(image.Fd(), source.data(), bytes, offset);
        if (got < 0) {
            return imageFailure(ImagePath + ": " + std::strerror(errno));
        }
        const uint64_t expected = std::min<uint64_t>(bytes, imageBytes - offset);
        if (static_cast<uint64_t>(got) < expected) {
            return imageFailure(ImagePath + " became shorter during the verification");
        }
        // The write padded the last block with zeros.
        std::memset(source.data() + got, 0, bytes - static_cast<size_t>(got));

        const uint8_t exception = reader.Read(StartLba + done, blocks, disc.data());
        if (exception == SB_EXCEPTION_CANCELLED) {
            result.Outcome = TsbVerifyOutcome::Cancelled;
            result.FailureText = "Verification cancelled";
            return result;
        }
        if (exception != 0) {
            // Which block: the chunk again, block by block, up to the first that fails.
            uint32_t bad = 0;
            std::string text = reader.Text();
            if (exception == SB_EXCEPTION_MEDIUM_ERROR) {
                for (; bad + 1 < blocks; ++bad) {
                    if (reader.Read(StartLba + done + bad, 1, disc.data()) != 0) {
                        text = reader.Text();
                        break;
                    }
                }
            }
            result.Outcome = TsbVerifyOutcome::Unreadable;
            result.FailedBlock = done + bad;
            result.Blocks = done + bad;
            result.FailureText = fmt::format("Verification failed: block {} cannot be read ({})",
                                             result.FailedBlock, text);
            return result;
        }
        if (std::memcmp(disc.data(), source.data(), bytes) != 0) {
            const auto at = std::mismatch(
                disc.begin(), disc.begin() + static_cast<std::ptrdiff_t>(bytes), source.begin());
            const auto block = static_cast<uint32_t>((at.first - disc.begin()) /
                                                     static_cast<std::ptrdiff_t>(BlockSize));
            result.Outcome = TsbVerifyOutcome::Differs;
            result.FailedBlock = done + block;
            result.Blocks = done + block;
            result.FailureText = fmt::format("Verification failed: block {} differs from the image",
                                             result.FailedBlock);
            return result;
        }
        sha256.Update(disc.data(), bytes);
        if (md5) {
            UpdateImplantedMd5(*md5, disc.data(), bytes, offset, check.Md5Bytes);
        }
        done += blocks;
        progress(done);
    }
    result.Blocks = total;
    result.Sha256 = sha256.HexDigest();
    if (md5) {
        result.Md5Checked = true;
        result.Md5Correct = md5->HexDigest() == check.ImplantedMd5;
        if (!result.Md5Correct) {
            result.FailureText = "Implanted MD5 checksum: incorrect (the disc does not match the "
                                 "checksum the image carries)";
        }
    }
    return result;
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
    TDigest sha256(EVP_sha256());
    std::unique_ptr<TDigest> md5;
    if (sums.Check.HasImplantedMd5) {
        md5 = std::make_unique<TDigest>(EVP_md5());
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
