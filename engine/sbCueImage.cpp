// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbCueImage.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbStrUtils.h"
#include "engine/sbVerifyPipeline.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

struct TFile {
    int Fd = -1;
    explicit TFile(const std::string& Path) : Fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~TFile() {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;
    // Reads Bytes at Offset; past the file's end it reads zeros, as libburn
    // pads a track's last sector. False on a read error.
    bool Read(char* Out, size_t Bytes, uint64_t Offset) const {
        size_t got = 0;
        while (got < Bytes) {
            const ssize_t n = ::pread(Fd, Out + got, Bytes - got, static_cast<off_t>(Offset + got));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return false;
            }
            if (n == 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        std::memset(Out + got, 0, Bytes - got);
        return true;
    }
};

void SwapSamples(char* Data, size_t Bytes) {
    for (size_t k = 0; k + 1 < Bytes; k += 2) {
        std::swap(Data[k], Data[k + 1]);
    }
}

} // namespace

bool IsCueSheet(const std::string& Path) {
    if (Path.size() < 4) {
        return false;
    }
    std::string end = Path.substr(Path.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".cue";
}

TsbCueSheet ReadCueSheet(const std::string& Path) {
    auto sheet = std::make_unique<SB_CUE_SHEET>();
    char text[1024] = {};
    const uint8_t exception = LibraryCall("StarBurn_CueSheet_Read", [&] {
        return StarBurn_CueSheet_Read(Path.c_str(), sheet.get(), text, sizeof text);
    });
    if (exception != SB_EXCEPTION_NONE) {
        const std::string why = BufferToStr(text, sizeof text);
        Logger().Log("StarBurn_CueSheet_Read() failed, exception " + std::to_string(exception) +
                     ", text \"" + why + "\"");
        throw EsbError(why.empty() ? "The cue sheet " + Path + " cannot be read" : why);
    }
    TsbCueSheet out;
    out.Audio = sheet->IsAudio != 0;
    out.TotalSectors = sheet->TotalSectors;
    out.TotalBytes = sheet->TotalBytes;
    for (uint32_t i = 0; i < sheet->TrackCount && i < SB_CUE_MAX_TRACKS; ++i) {
        const SB_CUE_TRACK& t = sheet->Tracks[i];
        TsbCueTrack track;
        track.Number = t.Number;
        track.Audio = t.IsAudio != 0;
        track.ByteSwapped = t.ByteSwapped != 0;
        track.Line = t.Line;
        track.Sectors = t.Sectors;
        track.Pregap = t.PregapSectors;
        track.Postgap = t.PostgapSectors;
        track.FileOffset = t.FileOffset;
        track.File = BufferToStr(t.FileName, sizeof t.FileName);
        out.Tracks.push_back(track);
    }
    return out;
}

uint32_t CueDiscSectors(int64_t FreeBytes) {
    return static_cast<uint32_t>(std::max<int64_t>(FreeBytes, 0) / 2048) + 150;
}

std::string MsfText(uint32_t Sectors) {
    return fmt::format("{:02}:{:02}:{:02}", Sectors / 4500, Sectors / 75 % 60, Sectors % 75);
}

std::vector<std::string> CueTrackLines(const TsbCueSheet& Sheet, uint32_t DiscSectors) {
    std::vector<std::string> lines;
    for (const TsbCueTrack& t : Sheet.Tracks) {
        std::string line = fmt::format("Track {:02}  {}  {}", t.Number, t.Audio ? "audio" : "data ",
                                       MsfText(t.Sectors));
        if (t.DiscSectors() != t.Sectors) {
            line += "  (padded to " + MsfText(t.DiscSectors()) + ", the shortest track of a CD)";
        }
        if (t.Pregap != 0) {
            line += "  (pregap " + MsfText(t.Pregap) + ")";
        }
        if (t.Postgap != 0) {
            line += "  (postgap " + MsfText(t.Postgap) + ")";
        }
        lines.push_back(line);
    }
    std::string total = "Total " + MsfText(Sheet.TotalSectors);
    if (DiscSectors != 0) {
        total += " of " + MsfText(DiscSectors) + " on the disc" +
                 (Sheet.TotalSectors > DiscSectors ? ": it does not fit" : "");
    }
    lines.push_back(total);
    return lines;
}

TsbVerifyResult VerifyCueDisc(void* Grabber, const TsbCueSheet& Sheet,
                              const TsbVerifyCallbacks& Callbacks) {
    TsbVerifyResult result;
    // Opened before the first read: a missing file fails at once, not after
    // the tracks before it were read.
    std::vector<std::unique_ptr<TFile>> files;
    for (const TsbCueTrack& t : Sheet.Tracks) {
        files.push_back(std::make_unique<TFile>(t.File));
        if (files.back()->Fd < 0) {
            result.Outcome = TsbVerifyOutcome::ImageError;
            result.FailureText = fmt::format("Verification failed: the file of track {:02} ({}) "
                                             "cannot be read ({})",
                                             t.Number, t.File, std::strerror(errno));
            return result;
        }
        ::posix_fadvise(files.back()->Fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    std::vector<TsbComparePart> parts;
    uint32_t lba = 0;
    for (size_t i = 0; i < Sheet.Tracks.size(); ++i) {
        const TsbCueTrack& t = Sheet.Tracks[i];
        // The first track's pregap is the 150 sectors before block 0.
        lba += i == 0 ? 0 : t.Pregap;
        TsbComparePart part;
        part.Spec.StartLba = lba;
        part.Spec.Audio = t.Audio;
        part.Spec.Bytes = uint64_t{t.Sectors} * t.SectorBytes();
        part.Spec.SourceFailure = fmt::format(
            "Verification failed: the file of track {:02} ({}) cannot be read", t.Number, t.File);
        part.Spec.DiffersText = [&t, lba](uint32_t Sector) {
            return fmt::format("Verification failed: track {:02} differs from its file at sector "
                               "{} of the track (disc sector {}, byte {} of {})",
                               t.Number, Sector, lba + Sector,
                               t.FileOffset + uint64_t{Sector} * t.SectorBytes(), t.File);
        };
        part.Spec.UnreadableText = [&t, lba](uint32_t Sector, const std::string& Why) {
            return fmt::format("Verification failed: track {:02}, sector {} cannot be read ({})",
                               t.Number, lba + Sector, Why);
        };
        part.Source = [&t, file = files[i].get(), offset = t.FileOffset](char* Buffer, size_t Bytes,
                                                                         std::string& Why) mutable {
            if (!file->Read(Buffer, Bytes, offset)) {
                Why = std::strerror(errno);
                return false;
            }
            offset += Bytes;
            if (t.ByteSwapped) {
                // The file holds big-endian samples; the disc little-endian ones.
                SwapSamples(Buffer, Bytes);
            }
            return true;
        };
        parts.push_back(std::move(part));
        lba += t.DiscSectors() + t.Postgap;
    }
    result = CompareDiscWith(Grabber, parts, Callbacks);
    // A line for each track read back whole.
    uint64_t sectors = 0;
    for (const TsbCueTrack& t : Sheet.Tracks) {
        sectors += t.Sectors;
        if (sectors > result.Blocks) {
            break;
        }
        result.Notes.push_back(fmt::format("Track {:02}: {} {} sectors ({}) match {}", t.Number,
                                           t.Sectors, t.Audio ? "audio" : "data",
                                           MsfText(t.Sectors), t.File));
    }
    return result;
}
