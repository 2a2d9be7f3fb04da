// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbVerifyPipeline.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbStrUtils.h"
#include "engine/sbSectorReader.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr uint64_t BlockSize = 2048;
constexpr uint64_t AudioSectorSize = 2352;
// Blocks of one read: 4 MB (1783 audio sectors), few enough calls that their cost vanishes, and
// small enough that the bar moves and Cancel is answered soon at a slow
// drive's speed.
constexpr uint32_t ChunkBlocks = 2048;
constexpr size_t ChunkBytes = ChunkBlocks * BlockSize;
// Disc blocks in flight: one being read and compared, the others waiting
// for the summing thread or being summed.
constexpr size_t Slots = 3;
// Page-aligned buffers, as a drive's direct reads want them.
constexpr size_t Alignment = 4096;

std::string Hex(const unsigned char* Digest, unsigned Size) {
    std::string out;
    out.reserve(Size * 2);
    for (unsigned k = 0; k < Size; ++k) {
        out += fmt::format("{:02x}", Digest[k]);
    }
    return out;
}

struct TAlignedFree {
    void operator()(char* p) const { std::free(p); }
};
using TAligned = std::unique_ptr<char, TAlignedFree>;

TAligned AlignedBuffer(size_t Bytes) {
    void* p = nullptr;
    if (::posix_memalign(&p, Alignment, Bytes) != 0) {
        throw EsbError("Out of memory for the verification's buffers");
    }
    return TAligned(static_cast<char*>(p));
}

// The summing thread and the disc buffers it shares with the reader. A
// buffer is either free (the reader may fill it) or queued (the summer owns
// it until it gives it back); the lock guards only the two lists.
class TSummer {
public:
    // Spec: the part whose implanted MD5 is checked.
    explicit TSummer(const TsbCompareSpec& Spec) : spec_(Spec), sha256_(EVP_sha256()) {
        if (!Spec.ImplantedMd5.empty()) {
            md5_ = std::make_unique<TsbDigest>(EVP_md5());
        }
        for (size_t k = 0; k < Slots; ++k) {
            buffers_.push_back(AlignedBuffer(ChunkBytes));
            free_.push_back(k);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~TSummer() { Stop(); }
    TSummer(const TSummer&) = delete;
    TSummer& operator=(const TSummer&) = delete;

    // A buffer to read the next block into; waits while all are being summed.
    size_t Acquire() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty(); });
        const size_t slot = free_.front();
        free_.pop_front();
        return slot;
    }
    char* Buffer(size_t Slot) { return buffers_[Slot].get(); }
    // Hands a compared buffer to the summing thread; Md5 when it is of the
    // part the MD5 covers.
    void Submit(size_t Slot, size_t Bytes, uint64_t Offset, bool Md5) {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back({Slot, Bytes, Offset, Md5});
        }
        changed_.notify_all();
    }
    void Release(size_t Slot) {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(Slot);
        }
        changed_.notify_all();
    }
    // Waits until every buffer handed over is summed and ends the thread.
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    std::string Sha256() { return sha256_.HexDigest(); }
    bool Md5Matches() { return md5_ && md5_->HexDigest() == spec_.ImplantedMd5; }
    bool HasMd5() const { return md5_ != nullptr; }

private:
    struct TJob {
        size_t Slot;
        size_t Bytes;
        uint64_t Offset;
        bool Md5;
    };

    void Run() {
        for (;;) {
            TJob job{};
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
                if (queue_.empty()) {
                    return;
                }
                job = queue_.front();
                queue_.pop_front();
            }
            char* data = buffers_[job.Slot].get();
            sha256_.Update(data, job.Bytes);
            if (md5_ && job.Md5) {
                UpdateImplantedMd5(*md5_, data, job.Bytes, job.Offset, spec_.Md5Bytes);
            }
            Release(job.Slot);
        }
    }

    const TsbCompareSpec& spec_;
    TsbDigest sha256_;
    std::unique_ptr<TsbDigest> md5_;
    std::vector<TAligned> buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<size_t> free_;
    std::deque<TJob> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace

TsbDigest::TsbDigest(const EVP_MD* Kind) : ctx_(EVP_MD_CTX_new()) {
    if (ctx_ == nullptr || EVP_DigestInit_ex(ctx_, Kind, nullptr) != 1) {
        EVP_MD_CTX_free(ctx_);
        throw EsbError("The checksum library (OpenSSL) cannot compute a checksum");
    }
}

TsbDigest::~TsbDigest() {
    EVP_MD_CTX_free(ctx_);
}

void TsbDigest::Update(const void* Data, size_t Size) {
    if (Size > 0) {
        EVP_DigestUpdate(ctx_, Data, Size);
    }
}

std::string TsbDigest::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(ctx_, digest, &size);
    return Hex(digest, size);
}

std::string TsbDigest::HexDigestWithZeros(size_t Zeros) const {
    TsbDigest copy(EVP_MD_CTX_get0_md(ctx_));
    if (EVP_MD_CTX_copy_ex(copy.ctx_, ctx_) != 1) {
        throw EsbError("The checksum library (OpenSSL) cannot compute a checksum");
    }
    const std::vector<char> zeros(Zeros, 0);
    copy.Update(zeros.data(), zeros.size());
    return copy.HexDigest();
}

void UpdateImplantedMd5(TsbDigest& Md5, char* Data, size_t Bytes, uint64_t Offset,
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

TsbVerifyResult CompareDiscWith(void* Grabber, const std::vector<TsbComparePart>& Parts,
                                const TsbVerifyCallbacks& Callbacks) {
    TsbVerifyResult result;
    if (Parts.empty()) {
        throw EsbError("Nothing was given to verify");
    }
    uint64_t total = 0;
    for (const TsbComparePart& part : Parts) {
        total += part.Spec.Audio ? (part.Spec.Bytes + AudioSectorSize - 1) / AudioSectorSize
                                 : BlocksOfBytes(part.Spec.Bytes);
    }
    TAligned source = AlignedBuffer(ChunkBytes);
    // Every way out below stops the summer before the buffers go.
    TSummer summer(Parts.front().Spec);
    TsbSectorReader reader{Grabber};
    const uint32_t firstLba = Parts.front().Spec.StartLba;
    int32_t lastPercent = -1;
    uint64_t compared = 0;
    auto progress = [&](uint64_t Done) {
        const int32_t percent = total == 0 ? 100 : static_cast<int32_t>(Done * 100 / total);
        if (percent != lastPercent && Callbacks.Progress) {
            lastPercent = percent;
            Callbacks.Progress(percent);
        }
    };
    auto ended = [&](TsbVerifyOutcome Outcome, uint32_t Failed, std::string Text) {
        result.Outcome = Outcome;
        result.FailedBlock = Failed;
        result.Blocks = static_cast<uint32_t>(compared);
        result.FailureText = std::move(Text);
        return result;
    };
    progress(0);
    Logger().Log(Parts.front().Spec.Audio || Parts.back().Spec.Audio
                     ? "StarBurn_CdvdBurnerGrabber_ReadAudio / StarBurn_CdvdBurnerGrabber_ReadData"
                     : "StarBurn_CdvdBurnerGrabber_ReadData");

    for (size_t p = 0; p < Parts.size(); ++p) {
        const TsbCompareSpec& spec = Parts[p].Spec;
        const uint64_t sectorSize = spec.Audio ? AudioSectorSize : BlockSize;
        const auto chunkSectors = static_cast<uint32_t>(ChunkBytes / sectorSize);
        const auto sectors = static_cast<uint32_t>((spec.Bytes + sectorSize - 1) / sectorSize);
        // Where a sector of this part stands, counted from the first part's start.
        auto at = [&](uint32_t Sector) { return spec.StartLba - firstLba + Sector; };
        for (uint32_t done = 0; done < sectors;) {
            if (Callbacks.Cancelled && Callbacks.Cancelled()) {
                return ended(TsbVerifyOutcome::Cancelled, at(done), "Verification cancelled");
            }
            const uint32_t count = std::min(chunkSectors, sectors - done);
            const auto bytes = static_cast<size_t>(count * sectorSize);
            const uint64_t offset = done * sectorSize;
            const auto expected =
                static_cast<size_t>(std::min<uint64_t>(bytes, spec.Bytes - offset));
            std::string why;
            if (!Parts[p].Source(source.get(), expected, why)) {
                return ended(TsbVerifyOutcome::ImageError, 0,
                             spec.SourceFailure + " (" + why + ")");
            }
            // The write padded the last sector with zeros.
            std::memset(source.get() + expected, 0, bytes - expected);

            const size_t slot = summer.Acquire();
            char* disc = summer.Buffer(slot);
            const uint8_t exception = reader.Read(spec.Audio, spec.StartLba + done, count, disc);
            if (exception == SB_EXCEPTION_CANCELLED) {
                summer.Release(slot);
                return ended(TsbVerifyOutcome::Cancelled, at(done), "Verification cancelled");
            }
            if (exception != 0) {
                // Which sector: the chunk again, sector by sector, up to the first that fails.
                uint32_t bad = 0;
                std::string text = reader.Text();
                if (exception == SB_EXCEPTION_MEDIUM_ERROR) {
                    for (; bad + 1 < count; ++bad) {
                        if (reader.Read(spec.Audio, spec.StartLba + done + bad, 1, disc) != 0) {
                            text = reader.Text();
                            break;
                        }
                    }
                }
                summer.Release(slot);
                return ended(TsbVerifyOutcome::Unreadable, at(done + bad),
                             spec.UnreadableText
                                 ? spec.UnreadableText(done + bad, text)
                                 : fmt::format("Verification failed: block {} cannot be read ({})",
                                               at(done + bad), text));
            }
            if (std::memcmp(disc, source.get(), bytes) != 0) {
                const auto first = std::mismatch(disc, disc + bytes, source.get());
                const auto sector =
                    done +
                    static_cast<uint32_t>(static_cast<uint64_t>(first.first - disc) / sectorSize);
                summer.Release(slot);
                return ended(
                    TsbVerifyOutcome::Differs, at(sector),
                    spec.DiffersText
                        ? spec.DiffersText(sector)
                        : fmt::format("Verification failed: block {} differs from the image",
                                      at(sector)));
            }
            summer.Submit(slot, bytes, offset, p == 0);
            done += count;
            compared += count;
            progress(compared);
        }
    }
    summer.Stop();
    result.Blocks = static_cast<uint32_t>(compared);
    result.Sha256 = summer.Sha256();
    if (summer.HasMd5()) {
        result.Md5Checked = true;
        result.Md5Correct = summer.Md5Matches();
        if (!result.Md5Correct) {
            result.FailureText = "Implanted MD5 checksum: incorrect (the disc does not match the "
                                 "checksum the image carries)";
        }
    }
    return result;
}

TsbVerifyResult CompareDiscWith(void* Grabber, const TsbCompareSpec& Spec,
                                const TsbVerifySource& Source,
                                const TsbVerifyCallbacks& Callbacks) {
    return CompareDiscWith(Grabber, std::vector<TsbComparePart>{{Spec, Source}}, Callbacks);
}
