// SPDX-License-Identifier: GPL-2.0-or-later
// Cue sheets through libburn's own reader (burn_session_by_cue_file): the
// session of a Disc-At-Once burn, StarBurn_CueSheet_Read, and reading audio
// sectors back (READ CD).
//
// libburn interprets the sheet. What is read here beside it is only what
// libburn keeps to itself and a verification needs: which FILE each TRACK
// stands under, its PREGAP and POSTGAP. libburn opens a relative FILE name
// from the process's working folder, while the programs that write cue
// sheets mean the sheet's folder: libburn is handed a copy of the sheet, line
// for line, with such names made absolute, so its line numbers stay the
// sheet's.
#include "starburn/libburn/sbLibburnCue.h"

#include "starburn/StarBurnLinux.h"
#include "starburn/core/sbCalls.h"
#include "starburn/libburn/sbLibburnDrive.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <libburn/libburn.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace starburn::lb {
namespace {

using namespace burn;

constexpr int kMessageBadCue = 0x00020197;
constexpr int kMessageBadFile = 0x00020194;
constexpr int kMessageAborted = 0x00020199;
// A cue sheet is a few kB; anything far larger is not one.
constexpr std::streamsize kMaxCueBytes = 1 << 20;
constexpr uint32_t kLeadPregap = 150;
// libburn pads a shorter track to 4 seconds, the shortest a CD holds.
constexpr uint32_t kShortestTrack = 300;

struct ScannedFile {
    std::string path;
    std::string type;
};

struct ScannedTrack {
    size_t file = 0;
    uint32_t line = 0;
    uint32_t pregap = 0;
    uint32_t postgap = 0;
};

struct Scan {
    std::vector<std::string> lines; // as the sheet has them
    std::string forLibburn;         // the copy handed to libburn
    std::vector<ScannedFile> files;
    std::vector<ScannedTrack> tracks;
};

std::string upper(std::string s) {
    for (char& c : s) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) {
        return {};
    }
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

uint32_t msfSectors(const std::string& text) {
    int m = 0, s = 0, f = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d", &m, &s, &f) != 3 || m < 0 || s < 0 || f < 0) {
        return 0;
    }
    return static_cast<uint32_t>((m * 60 + s) * 75 + f);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        char cwd[4096];
        return ::getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) : std::string(".");
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// FILE "name" TYPE, or FILE name TYPE: the name, its type and the line
// rewritten with the name made absolute.
std::string fileLine(const std::string& line, const std::string& folder, ScannedFile& file) {
    std::string rest = trimmed(line.substr(4));
    const size_t lastBlank = rest.find_last_of(" \t");
    if (lastBlank == std::string::npos) {
        return line; // libburn says what is wrong with it
    }
    file.type = upper(trimmed(rest.substr(lastBlank + 1)));
    std::string name = trimmed(rest.substr(0, lastBlank));
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    file.path = !name.empty() && name.front() != '/' ? folder + "/" + name : name;
    if (file.path.find('"') != std::string::npos) {
        return line;
    }
    return "FILE \"" + file.path + "\" " + file.type;
}

Error scanSheet(const std::string& path, Scan& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                         "The cue sheet \"" + path + "\" cannot be read: " + std::strerror(err));
    }
    std::string text(static_cast<size_t>(kMaxCueBytes) + 1, '\0');
    in.read(text.data(), kMaxCueBytes + 1);
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > static_cast<size_t>(kMaxCueBytes) || text.find('\0') != std::string::npos) {
        return makeError(SB_EXCEPTION_FILE_ERROR, EINVAL,
                         "\"" + path +
                             "\" is not a cue sheet (a text file of FILE and TRACK "
                             "lines)");
    }
    const std::string folder = folderOf(path);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        out.lines.push_back(line);
        const std::string t = trimmed(line);
        const std::string word = upper(t.substr(0, t.find_first_of(" \t")));
        const std::string arg = trimmed(t.substr(std::min(t.size(), word.size())));
        std::string copy = line;
        if (word == "FILE") {
            ScannedFile f;
            copy = fileLine(t, folder, f);
            out.files.push_back(f);
        } else if (word == "TRACK") {
            ScannedTrack track;
            track.file = out.files.empty() ? 0 : out.files.size() - 1;
            track.line = static_cast<uint32_t>(out.lines.size());
            out.tracks.push_back(track);
        } else if (word == "PREGAP" && !out.tracks.empty()) {
            out.tracks.back().pregap = msfSectors(arg);
        } else if (word == "POSTGAP" && !out.tracks.empty()) {
            out.tracks.back().postgap = msfSectors(arg);
        }
        out.forLibburn += copy + "\n";
    }
    return {};
}

// Where the samples of a WAVE file begin: after its "data" chunk's header.
uint64_t waveDataOffset(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char riff[12] = {};
    if (!in.read(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0) {
        return 0;
    }
    uint64_t at = 12;
    for (int i = 0; i < 64; ++i) {
        char head[8] = {};
        if (!in.read(head, 8)) {
            return 0;
        }
        const uint32_t size = static_cast<uint8_t>(head[4]) | static_cast<uint8_t>(head[5]) << 8 |
                              static_cast<uint8_t>(head[6]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(head[7])) << 24;
        at += 8;
        if (std::memcmp(head, "data", 4) == 0) {
            return at;
        }
        at += size + (size & 1);
        in.seekg(static_cast<std::streamoff>(at));
    }
    return 0;
}

uint32_t lineOfAbort(const std::vector<Message>& messages) {
    for (const Message& m : messages) {
        const size_t at = m.text.find("after line ");
        if (m.code == kMessageAborted && at != std::string::npos) {
            return static_cast<uint32_t>(std::strtoul(m.text.c_str() + at + 11, nullptr, 10));
        }
    }
    return 0;
}

// libburn's reason, in the words a user can act on.
Error refusal(const std::string& path, const Scan& scan, const std::vector<Message>& messages) {
    std::string reason;
    int code = 0;
    for (const Message& m : messages) {
        if (m.failure && m.code != kMessageAborted) {
            reason = m.text;
            code = m.code;
            break;
        }
    }
    const uint32_t line = lineOfAbort(messages);
    const std::string where =
        line >= 1 && line <= scan.lines.size()
            ? "line " + std::to_string(line) + " (\"" + trimmed(scan.lines[line - 1]) + "\")"
            : std::string("a line libburn did not name");
    uint8_t exception = SB_EXCEPTION_NOT_SUPPORTED;
    std::string why;
    std::string instead;
    if (reason.find("track datatype") != std::string::npos) {
        why = "libburn burns only AUDIO and MODE1/2048 tracks, not this one";
        instead = "Burn the data track as an ISO image (MODE1/2048; bchunk makes one from a "
                  "MODE1/2352 BIN), or burn this sheet with cdrdao, which writes raw and mode 2 "
                  "tracks";
    } else if (reason.find("mix") != std::string::npos) {
        why = "libburn does not burn data and audio tracks in one session";
        instead = "Make two cue sheets, one for the data track and one for the audio tracks, "
                  "and burn each on its own disc";
    } else if (reason.find("Multiple occurrences of FILE") != std::string::npos) {
        why = "libburn takes the tracks of one FILE a cue sheet";
        instead = "Join the files into one (the BINs one after the other, or one WAVE) and make "
                  "the sheet's INDEX times count from its start";
    } else if (reason.find("FILE type") != std::string::npos) {
        why = "libburn reads only BINARY, MOTOROLA and WAVE files";
        instead = "Convert the file to WAVE (or raw BINARY) and name that type on the line";
    } else if (code == kMessageBadFile) {
        exception = SB_EXCEPTION_FILE_ERROR;
        why = "the file it names is not there or cannot be read";
        instead = "Put the file beside the cue sheet under that name, or correct the name on the "
                  "line";
    } else {
        why = reason.empty() ? std::string("libburn could not read it") : reason;
        instead = "A cue sheet of FILE BINARY, MOTOROLA or WAVE and TRACK AUDIO or MODE1/2048 "
                  "entries burns";
    }
    return makeError(exception, exception == SB_EXCEPTION_FILE_ERROR ? ENOENT : EINVAL,
                     "The cue sheet \"" + path + "\" cannot be burnt: " + where + ": " + why +
                         (reason.empty() || why == reason ? "" : " (libburn: " + reason + ")") +
                         ". What works instead: " + instead);
}

// The copy libburn reads, removed when the object goes.
struct TempSheet {
    std::string path;
    ~TempSheet() {
        if (!path.empty()) {
            ::unlink(path.c_str());
        }
    }
    Error write(const std::string& text) {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern =
            std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/starburn-cue-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            const int err = errno;
            return makeError(SB_EXCEPTION_FILE_ERROR, static_cast<uint32_t>(err),
                             std::string("No temporary copy of the cue sheet can be made: ") +
                                 std::strerror(err));
        }
        path = pattern;
        const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        if (!ok) {
            return makeError(SB_EXCEPTION_FILE_ERROR, EIO,
                             "No temporary copy of the cue sheet can be made");
        }
        return {};
    }
};

Error fillTracks(const std::string& path, const Scan& scan, CueSession& out) {
    int count = 0;
    burn_track** tracks = burn_session_get_tracks(out.session, &count);
    if (count <= 0 || count > SB_CUE_MAX_TRACKS) {
        return makeError(SB_EXCEPTION_INVALID_PARAMETER, EINVAL,
                         "The cue sheet \"" + path + "\" holds " + std::to_string(count) +
                             " tracks; a CD holds 1 to 99");
    }
    if (static_cast<size_t>(count) != scan.tracks.size()) {
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, EINVAL,
                         "The cue sheet \"" + path + "\" has " +
                             std::to_string(scan.tracks.size()) + " TRACK lines, libburn found " +
                             std::to_string(count) + " tracks in it");
    }
    std::vector<uint64_t> fileAt(scan.files.size(), UINT64_MAX);
    for (int i = 0; i < count; ++i) {
        const ScannedTrack& s = scan.tracks[static_cast<size_t>(i)];
        CueTrack t;
        t.number = burn_session_get_start_tno(out.session, 0) + i;
        t.audio = (burn_track_get_mode(tracks[i]) & BURN_AUDIO) != 0;
        t.sectors = static_cast<uint32_t>(std::max(burn_track_get_sectors(tracks[i]), 0));
        t.pregap = s.pregap;
        t.line = s.line;
        if (s.file < scan.files.size()) {
            const ScannedFile& f = scan.files[s.file];
            t.file = f.path;
            t.swapped = f.type == "MOTOROLA";
            if (fileAt[s.file] == UINT64_MAX) {
                fileAt[s.file] = f.type == "WAVE" ? waveDataOffset(f.path) : 0;
            }
            // Tracks of one file follow each other in it.
            t.offset = fileAt[s.file];
            fileAt[s.file] += static_cast<uint64_t>(t.sectors) * (t.audio ? 2352 : 2048);
        }
        t.postgap = s.postgap;
        out.tracks.push_back(t);
    }
    return {};
}

} // namespace

CueSession::~CueSession() {
    if (session != nullptr) {
        burn_session_free(session);
    }
}

bool CueSession::audio() const {
    return !tracks.empty() &&
           std::all_of(tracks.begin(), tracks.end(), [](const CueTrack& t) { return t.audio; });
}

uint32_t CueSession::discSectors() const {
    uint32_t sum = kLeadPregap;
    for (size_t i = 0; i < tracks.size(); ++i) {
        // The pregap of the first track is the 150 sectors every disc has.
        sum += std::max(tracks[i].sectors, kShortestTrack) + (i == 0 ? 0 : tracks[i].pregap) +
               tracks[i].postgap;
    }
    return sum;
}

uint64_t CueSession::bytes() const {
    uint64_t sum = 0;
    for (const CueTrack& t : tracks) {
        sum += static_cast<uint64_t>(t.sectors) * (t.audio ? 2352 : 2048);
    }
    return sum;
}

Error loadCueSheet(const std::string& path, CueSession& out) {
    Scan scan;
    if (Error e = scanSheet(path, scan)) {
        return e;
    }
    std::string error;
    if (!startLibburn(error)) {
        return makeError(SB_EXCEPTION_GENERIC, 0, error);
    }
    TempSheet copy;
    if (Error e = copy.write(scan.forLibburn)) {
        return e;
    }
    out.session = burn_session_create();
    if (out.session == nullptr) {
        return makeError(SB_EXCEPTION_GENERIC, ENOMEM, "libburn could not set up a session");
    }
    const uint64_t mark = messageMark();
    int packs = 0;
    // No CDTEXTFILE packs (text_packs NULL); CD-TEXT of the sheet's own lines is kept.
    const int r =
        burn_session_by_cue_file(out.session, copy.path.data(), 0, nullptr, nullptr, &packs, 0);
    if (r <= 0) {
        return refusal(path, scan, messagesSince(mark));
    }
    return fillTracks(path, scan, out);
}

Error Drive::readAudio(uint32_t lba, uint32_t blocks, void* buffer, ReadMonitor& monitor) {
    constexpr uint64_t kSector = 2352;
    auto* out = static_cast<char*>(buffer);
    std::unique_lock lock(mutex_);
    if (!awaitWindDownLocked(lock)) {
        return makeError(SB_EXCEPTION_DEVICE_BUSY, EBUSY,
                         "The drive " + setup_.title + " is writing");
    }
    if (setup_.stdio) {
        return makeError(SB_EXCEPTION_NOT_SUPPORTED, 0,
                         "The pseudo-drive " + setup_.title + " holds no audio sectors");
    }
    if (Error e = grabLocked(nullptr, [&monitor] { return monitor.cancelled(); })) {
        return e;
    }
    if (!state_.present()) {
        return noDisc();
    }
    constexpr uint32_t kStep = 24; // READ CD in steps a cancel can fall between
    for (uint32_t done = 0; done < blocks;) {
        if (monitor.cancelled()) {
            return makeError(SB_EXCEPTION_CANCELLED, ECANCELED, "The read was cancelled");
        }
        const uint32_t n = std::min(kStep, blocks - done);
        off_t count = 0;
        const uint64_t mark = messageMark();
        // bit1: no message of libburn's own; bit2: no second try sector by
        // sector; bit4: a sector that is no audio answers -3.
        const int r = burn_read_audio(drive_, static_cast<int>(lba + done), out + done * kSector,
                                      static_cast<off_t>(n * kSector), &count, 2 | 4 | 16);
        if (r <= 0) {
            int err = 0;
            const std::string why = failureText(messagesSince(mark), err);
            const uint64_t bad = lba + done + static_cast<uint64_t>(count) / kSector;
            if (r == -3) {
                return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x05, 0x64, 0x00,
                                  "Sector " + std::to_string(bad) + " is not an audio sector");
            }
            return senseError(SB_EXCEPTION_MEDIUM_ERROR, 0x03, 0x11, 0x00,
                              "Unrecovered read error at sector " + std::to_string(bad) +
                                  (why.empty() ? std::string() : ": " + why));
        }
        done += n;
        touchLocked();
    }
    return {};
}

} // namespace starburn::lb

extern "C" {

STARBURN_API uint8_t StarBurn_CueSheet_Read(const char* pCueFileName, SB_CUE_SHEET* pSheet,
                                            char* pExceptionText, uint32_t ulExceptionTextSize) {
    using namespace starburn;
    const Report where{pExceptionText, ulExceptionTextSize, nullptr, nullptr};
    return guarded(where, [&]() -> uint8_t {
        if (pCueFileName == nullptr || *pCueFileName == '\0' || pSheet == nullptr) {
            return report(where, badArgument("No cue sheet or no record for it was given"));
        }
        std::memset(pSheet, 0, sizeof *pSheet);
        lb::CueSession cue;
        if (Error e = lb::loadCueSheet(pCueFileName, cue)) {
            return report(where, e);
        }
        pSheet->TrackCount = static_cast<uint32_t>(cue.tracks.size());
        pSheet->IsAudio = cue.audio() ? 1 : 0;
        pSheet->TotalSectors = cue.discSectors();
        pSheet->TotalBytes = cue.bytes();
        for (size_t i = 0; i < cue.tracks.size(); ++i) {
            const lb::CueTrack& t = cue.tracks[i];
            SB_CUE_TRACK& out = pSheet->Tracks[i];
            out.Number = static_cast<uint8_t>(t.number);
            out.IsAudio = t.audio ? 1 : 0;
            out.ByteSwapped = t.swapped ? 1 : 0;
            out.Line = t.line;
            out.Sectors = t.sectors;
            out.PregapSectors = i == 0 ? 0 : t.pregap;
            out.PostgapSectors = t.postgap;
            out.FileOffset = t.offset;
            std::snprintf(out.FileName, sizeof out.FileName, "%s", t.file.c_str());
        }
        return SB_EXCEPTION_NONE;
    });
}

} // extern "C"
