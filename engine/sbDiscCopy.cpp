// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbDiscCopy.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbStrUtils.h"
#include "engine/sbSectorReader.h"
#include "engine/sbVerifyPipeline.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t kDataChunk = 256; // 512 KiB a read
constexpr uint32_t kAudioChunk = 96; // 220 KiB a read
constexpr uint32_t kDataControl = 0x04;

bool Exists(const std::string& Path) {
    struct stat st {};
    return ::lstat(Path.c_str(), &st) == 0;
}

std::string BaseName(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

std::string WithoutExtension(const std::string& Path) {
    const size_t dot = Path.rfind('.');
    const size_t slash = Path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return Path;
    }
    return Path.substr(0, dot);
}

std::string Errno(int Err) {
    return std::strerror(Err);
}

// A file written beside its name, hidden while it grows (".NAME.XXXXXX"),
// and given its name only by Commit: a copy that fails leaves nothing that
// looks like an image.
class TSafeFile {
public:
    explicit TSafeFile(std::string Path) : path_(std::move(Path)) {
        const size_t slash = path_.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash);
        temp_ = (dir.empty() ? std::string("/") : dir) + "/." + BaseName(path_) + ".XXXXXX";
        fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
        if (fd_ < 0) {
            const int err = errno;
            temp_.clear();
            throw EsbError("The image file " + path_ + " cannot be created: " + Errno(err));
        }
        ::fchmod(fd_, 0644);
    }
    ~TSafeFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        if (!temp_.empty()) {
            ::unlink(temp_.c_str());
        }
    }
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    void Write(const void* Data, size_t Size) {
        const char* p = static_cast<const char*>(Data);
        while (Size > 0) {
            const ssize_t n = ::write(fd_, p, Size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                const int err = n < 0 ? errno : EIO;
                throw EsbError("The image file " + path_ + " cannot be written: " + Errno(err));
            }
            p += n;
            Size -= static_cast<size_t>(n);
        }
    }
    void Write(const std::string& Text) { Write(Text.data(), Text.size()); }

    // On the storage, then under its name; over a file of that name only
    // when Replace says so (a rename, so the name never stands empty).
    void Commit(bool Replace = false) {
        if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
            fd_ = -1;
            const int err = errno;
            throw EsbError("The image file " + path_ + " cannot be written: " + Errno(err));
        }
        fd_ = -1;
        if (Replace) {
            if (::rename(temp_.c_str(), path_.c_str()) != 0) {
                const int err = errno;
                throw EsbError("The image file " + path_ +
                               " cannot be given its name: " + Errno(err));
            }
            temp_.clear();
            return;
        }
        if (::link(temp_.c_str(), path_.c_str()) != 0) {
            const int err = errno;
            throw EsbError("The image file " + path_ + " cannot be given its name: " + Errno(err));
        }
        ::unlink(temp_.c_str());
        temp_.clear();
    }

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
};

// One pass over the disc's tracks into one file.
struct TCopy {
    TsbSectorReader Reader;
    const TsbCopyCallbacks& Callbacks;
    TsbCopyResult& Result;
    TSafeFile& Out;
    TsbDigest Sha{EVP_sha256()};
    uint64_t Total = 0;
    uint64_t Done = 0;
    bool Fill = false;

    void Progress() {
        if (Callbacks.Progress) {
            Callbacks.Progress(Done, Total);
        }
    }

    // A sector that failed alone: stop, or zeros (asked once).
    bool BadSector(uint32_t Lba) {
        if (!Fill) {
            const std::string why = Reader.Text();
            const TsbBadSectorChoice choice =
                Callbacks.BadSector ? Callbacks.BadSector(Lba, why) : TsbBadSectorChoice::Stop;
            if (choice == TsbBadSectorChoice::Stop) {
                Result.FailureText = fmt::format(
                    "Sector {} cannot be read ({}). The copy is stopped and no image was written. "
                    "Clean the disc (wipe from the centre outwards) and copy it again, or try "
                    "another drive; a copy that fills unreadable sectors with zeros lists them",
                    Lba, why);
                return false;
            }
            Fill = true;
        }
        Result.BadSectors.push_back(Lba);
        return true;
    }

    // Copies Sectors from Lba on. Audio: a tail of sectors that read as no
    // audio ends the track early; Readable tells how many were audio.
    bool Track(bool Audio, uint32_t Lba, uint32_t Sectors, uint32_t& Readable) {
        const uint32_t bytes = Audio ? 2352 : 2048;
        const uint32_t chunk = Audio ? kAudioChunk : kDataChunk;
        std::vector<char> buffer(static_cast<size_t>(chunk) * bytes);
        Readable = Sectors;
        for (uint32_t s = 0; s < Sectors;) {
            if (Callbacks.Cancelled && Callbacks.Cancelled()) {
                Result.Cancelled = true;
                Result.FailureText = "The copy was cancelled; no image was written";
                return false;
            }
            const uint32_t n = std::min(chunk, Sectors - s);
            if (Reader.Read(Audio, Lba + s, n, buffer.data()) != SB_EXCEPTION_NONE) {
                // Sector by sector, to find the one that fails.
                for (uint32_t k = 0; k < n; ++k) {
                    char* at = buffer.data() + static_cast<size_t>(k) * bytes;
                    if (Reader.Read(Audio, Lba + s + k, 1, at) == SB_EXCEPTION_NONE) {
                        continue;
                    }
                    if (Audio && Reader.NotOfTheTrack()) {
                        Readable = s + k;
                        Write(buffer.data(), static_cast<size_t>(k) * bytes);
                        return true;
                    }
                    if (!BadSector(Lba + s + k)) {
                        return false;
                    }
                    std::memset(at, 0, bytes);
                }
            }
            Write(buffer.data(), static_cast<size_t>(n) * bytes);
            s += n;
        }
        return true;
    }

    void Write(const char* Data, size_t Size) {
        Out.Write(Data, Size);
        Sha.Update(Data, Size);
        Done += Size;
        Result.Bytes += Size;
        Progress();
    }
};

void WriteChecksum(const std::string& Path, const std::string& Sha256, bool Replace) {
    TSafeFile sum(Path + ".sha256");
    // The form sha256sum writes and `sha256sum -c` reads (two blanks: binary-safe text mode).
    sum.Write(Sha256 + "  " + BaseName(Path) + "\n");
    sum.Commit(Replace);
}

std::string CueText(const std::string& Bin, const TsbCopyPlan& Plan,
                    const std::vector<uint32_t>& Pregaps) {
    std::string text = "FILE \"" + BaseName(Bin) + "\" BINARY\n";
    for (size_t i = 0; i < Plan.Tracks.size(); ++i) {
        const TsbCopyTrack& t = Plan.Tracks[i];
        text += fmt::format("  TRACK {:02} AUDIO\n", t.Number);
        if (i < Pregaps.size() && Pregaps[i] != 0) {
            const uint32_t p = Pregaps[i];
            text += fmt::format("    PREGAP {:02}:{:02}:{:02}\n", p / 4500, p / 75 % 60, p % 75);
        }
        // INDEX 01 at the track's first sector in the BIN.
        uint64_t at = 0;
        for (size_t j = 0; j < i; ++j) {
            at += Plan.Tracks[j].Sectors;
        }
        text += fmt::format("    INDEX 01 {:02}:{:02}:{:02}\n", at / 4500, at / 75 % 60, at % 75);
    }
    return text;
}

struct TTocEntry {
    int Number;
    uint32_t Start;
    bool Data;
};

// The disc's tracks in the order of their start.
std::vector<TTocEntry> TocTracks(const SB_TOC_INFORMATION& Toc) {
    std::vector<TTocEntry> entries;
    // Copied out first: std::min takes references, and the record is packed.
    const uint32_t inToc = Toc.NumberOfEntries;
    const uint32_t count = std::min<uint32_t>(inToc, SB_TOC_MAX_ENTRIES);
    for (uint32_t i = 0; Toc.Valid != 0 && i < count; ++i) {
        const SB_TOC_ENTRY e = Toc.Entries[i];
        if (e.TrackNumber >= 1 && e.TrackNumber <= 99) {
            entries.push_back({e.TrackNumber, e.StartAddress, (e.AdrControl & kDataControl) != 0});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const TTocEntry& a, const TTocEntry& b) { return a.Start < b.Start; });
    return entries;
}

} // namespace

bool HoldsOnlyAudio(const TsbTOCInformation& Toc) {
    static_assert(sizeof Toc.Bytes == sizeof(SB_TOC_INFORMATION));
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    std::memcpy(toc.get(), Toc.Bytes, sizeof Toc.Bytes);
    const std::vector<TTocEntry> entries = TocTracks(*toc);
    return !entries.empty() &&
           std::none_of(entries.begin(), entries.end(), [](const TTocEntry& e) { return e.Data; });
}

std::vector<std::string> CopyOutputFiles(bool Audio, const std::string& OutPath) {
    const std::string image = Audio ? AudioBinName(OutPath) : OutPath;
    return {image, image + ".sha256", Audio ? AudioCueName(OutPath) : image + ".bad-sectors"};
}

uint64_t TsbCopyPlan::Bytes() const {
    uint64_t sum = 0;
    for (const TsbCopyTrack& t : Tracks) {
        sum += static_cast<uint64_t>(t.Sectors) * (t.Audio ? 2352 : 2048);
    }
    return sum;
}

std::string AudioBinName(const std::string& OutPath) {
    return WithoutExtension(OutPath) + ".bin";
}

std::string AudioCueName(const std::string& OutPath) {
    return WithoutExtension(OutPath) + ".cue";
}

TsbCopyPlan PlanDiscCopy(void* Grabber) {
    auto toc = std::make_unique<SB_TOC_INFORMATION>();
    char text[1024] = {};
    uint32_t status = 0;
    uint8_t failure[SB_FAILURE_INFO_SIZE] = {};
    const TsbCallResult read = LibraryCall(
        "StarBurn_CdvdBurnerGrabber_GetTOCInformation",
        FailureOf("StarBurn_CdvdBurnerGrabber_GetTOCInformation", text, sizeof text, &status), [&] {
            return StarBurn_CdvdBurnerGrabber_GetTOCInformation(Grabber, text, sizeof text, &status,
                                                                failure, toc.get());
        });
    if (read.Failed()) {
        throw EsbError(read.FailureText);
    }
    const std::vector<TTocEntry> entries = TocTracks(*toc);
    if (entries.empty()) {
        throw EsbError("The disc holds no track to copy");
    }
    // Read by value: a reference into the packed record would be misaligned.
    const uint32_t leadOut = toc->LeadOutStartAddress;
    auto endOf = [&](size_t i) -> uint32_t {
        return i + 1 < entries.size() ? entries[i + 1].Start : leadOut;
    };
    TsbCopyPlan plan;
    const auto data =
        std::find_if(entries.begin(), entries.end(), [](const TTocEntry& e) { return e.Data; });
    if (data == entries.end()) {
        plan.Audio = true;
        for (size_t i = 0; i < entries.size(); ++i) {
            const uint32_t end = endOf(i);
            plan.Tracks.push_back({entries[i].Number, true, entries[i].Start,
                                   end > entries[i].Start ? end - entries[i].Start : 0, 0});
        }
        return plan;
    }
    const size_t index = static_cast<size_t>(data - entries.begin());
    const uint32_t end = endOf(index);
    TsbCopyTrack track{data->Number, false, data->Start, end > data->Start ? end - data->Start : 0,
                       0};
    // The volume's own size: a track written track at once ends in run-out
    // blocks that are no part of the image.
    std::vector<char> block(2048);
    TsbSectorReader reader{Grabber};
    if (track.Sectors > 16 &&
        reader.Read(false, track.Start + 16, 1, block.data()) == SB_EXCEPTION_NONE) {
        SB_PRIMARY_VOLUME_DESCRIPTOR pvd{};
        QuietLibraryCall(
            [&] { return StarBurn_ReadPrimaryVolumeDescriptor(block.data(), 2048, &pvd); });
        if (pvd.IsPrimary != 0) {
            const uint32_t blockSize = pvd.LogicalBlockSize != 0 ? pvd.LogicalBlockSize : 2048;
            const uint64_t blocks = (uint64_t{pvd.VolumeSpaceSize} * blockSize + 2047) / 2048;
            plan.SizeFromVolume = blocks <= track.Sectors;
            track.Sectors = static_cast<uint32_t>(std::min<uint64_t>(blocks, track.Sectors));
            plan.VolumeLabel = pvd.VolumeIdentifier;
        }
    }
    plan.Tracks.push_back(track);
    return plan;
}

TsbCopyResult CopyDisc(void* Grabber, const TsbCopyPlan& Plan, const std::string& OutPath,
                       const TsbCopyCallbacks& Callbacks, bool Replace) {
    TsbCopyResult result;
    const std::string image = Plan.Audio ? AudioBinName(OutPath) : OutPath;
    for (const std::string& name : CopyOutputFiles(Plan.Audio, OutPath)) {
        if (!Replace && Exists(name)) {
            result.FailureText = name + " exists already; choose another name or remove it";
            return result;
        }
    }
    TSafeFile out(image);
    TCopy copy{TsbSectorReader{Grabber}, Callbacks, result, out};
    copy.Total = Plan.Bytes();
    Logger().Log(Plan.Audio ? "StarBurn_CdvdBurnerGrabber_ReadAudio"
                            : "StarBurn_CdvdBurnerGrabber_ReadData");
    std::vector<uint32_t> pregaps(Plan.Tracks.size(), 0);
    TsbCopyPlan written = Plan;
    for (size_t i = 0; i < Plan.Tracks.size(); ++i) {
        const TsbCopyTrack& t = Plan.Tracks[i];
        uint32_t readable = 0;
        if (!copy.Track(t.Audio, t.Start, t.Sectors, readable)) {
            return result;
        }
        written.Tracks[i].Sectors = readable;
        if (readable < t.Sectors && i + 1 < pregaps.size()) {
            // Sectors between the tracks that read as no audio: the next one's pregap.
            pregaps[i + 1] = t.Sectors - readable;
        }
        copy.Total -= static_cast<uint64_t>(t.Sectors - readable) * 2352;
    }
    out.Commit(Replace);
    result.Sha256 = copy.Sha.HexDigest();
    result.Files.push_back(image);
    WriteChecksum(image, result.Sha256, Replace);
    result.Files.push_back(image + ".sha256");
    if (Plan.Audio) {
        TSafeFile cue(AudioCueName(OutPath));
        cue.Write(CueText(image, written, pregaps));
        cue.Commit(Replace);
        result.Files.push_back(AudioCueName(OutPath));
    }
    if (!result.BadSectors.empty()) {
        TSafeFile bad(image + ".bad-sectors");
        bad.Write("# Sectors of the disc that could not be read; filled with zeros in " +
                  BaseName(image) + "\n");
        for (uint32_t lba : result.BadSectors) {
            bad.Write(std::to_string(lba) + "\n");
        }
        bad.Commit(Replace);
        result.Files.push_back(image + ".bad-sectors");
    } else if (Replace) {
        // An earlier copy's list would name sectors this image holds whole.
        ::unlink((image + ".bad-sectors").c_str());
    }
    result.Done = true;
    return result;
}
