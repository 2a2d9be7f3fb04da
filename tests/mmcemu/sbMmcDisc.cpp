// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/mmcemu/sbMmcDisc.h"

#include "ini/sbIni.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace sbmmc {

namespace {

struct MediaName {
    const char* name;
    Medium medium;
    bool restricted;
    int layers;
};

constexpr MediaName kMediaNames[] = {
    {"none", Medium::None, false, 1},
    {"cdr", Medium::CdR, false, 1},
    {"cdrw", Medium::CdRw, false, 1},
    {"dvdr", Medium::DvdR, false, 1},
    {"dvdrw-seq", Medium::DvdRw, false, 1},
    {"dvdrw-ro", Medium::DvdRw, true, 1},
    {"dvdplusr", Medium::DvdPlusR, false, 1},
    {"dvdplusrw", Medium::DvdPlusRw, false, 1},
    {"dvdram", Medium::DvdRam, false, 1},
    {"bdr", Medium::BdR, false, 1},
    {"bdre", Medium::BdRe, false, 1},
    {"dvdr-dl", Medium::DvdR, false, 2},
    {"dvdplusr-dl", Medium::DvdPlusR, false, 2},
    {"bdr-dl", Medium::BdR, false, 2},
    {"bdre-dl", Medium::BdRe, false, 2},
};

bool randomAccess(Medium m, bool restricted) {
    return m == Medium::DvdPlusRw || m == Medium::DvdRam || m == Medium::BdRe ||
           (m == Medium::DvdRw && restricted);
}

// The spare areas a BD gets by default when formatted (768 MiB, as the discs'
// own format descriptors offer).
constexpr int64_t kBdDefaultSpare = 393216;

// Blocks a closed session costs before the next one may start: lead-out,
// the next lead-in and the first pregap on CD (the classic 11400 and 6900),
// a border on DVD-R, a closure on DVD+R.
int32_t sessionGap(Medium m, int closedSession) {
    switch (m) {
    case Medium::CdR:
    case Medium::CdRw:
        return closedSession == 1 ? 11400 : 6900;
    case Medium::DvdR:
    case Medium::DvdRw:
        return closedSession == 1 ? 16384 : 4096;
    case Medium::DvdPlusR:
        return 4096;
    default:
        return 0;
    }
}

int32_t alignUp(int32_t value, int alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

} // namespace

bool parseDiscSpec(std::string_view media, std::string_view state, int64_t capacity, DiscSpec& out,
                   std::string& why) {
    const MediaName* found = nullptr;
    for (const auto& n : kMediaNames) {
        if (sbini::sameName(media, n.name)) {
            found = &n;
        }
    }
    if (found == nullptr) {
        why = "\"" + std::string(media) +
              "\" is not a medium (none, cdr, cdrw, dvdr, dvdrw-seq, dvdrw-ro, dvdplusr, "
              "dvdplusrw, dvdram, bdr, bdre, dvdr-dl, dvdplusr-dl, bdr-dl, bdre-dl)";
        return false;
    }
    std::string s = sbini::trim(state);
    for (auto& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (s.empty()) {
        s = randomAccess(found->medium, found->restricted) && !found->restricted &&
                    found->medium != Medium::DvdRam
                ? "unformatted"
                : "blank";
    }
    if (s != "blank" && s != "appendable" && s != "closed" && s != "unformatted") {
        why = "\"" + s + "\" is not a disc state (blank, appendable, closed, unformatted)";
        return false;
    }
    const bool formattable = randomAccess(found->medium, false) || found->medium == Medium::BdR;
    if (s == "unformatted" && (!formattable || found->restricted)) {
        why = std::string("a ") + found->name + " disc is never unformatted";
        return false;
    }
    if (capacity < 0 || capacity > 0x7fffff00) {
        why = "Capacity is a number of sectors up to 2147483392";
        return false;
    }
    if (capacity != 0 && capacity < 1024) {
        why = "Capacity is at least 1024 sectors";
        return false;
    }
    out.medium = found->medium;
    out.restricted = found->restricted;
    out.layers = found->layers;
    out.state = found->medium == Medium::None ? "blank" : s;
    out.capacity = capacity;
    return true;
}

std::string mediaName(const DiscSpec& spec) {
    for (const auto& n : kMediaNames) {
        if (n.medium == spec.medium && n.restricted == spec.restricted && n.layers == spec.layers) {
            return n.name;
        }
    }
    return "none";
}

bool isCd(Medium m) {
    return m == Medium::CdR || m == Medium::CdRw;
}
bool isDvd(Medium m) {
    return m == Medium::DvdR || m == Medium::DvdRw || m == Medium::DvdPlusR ||
           m == Medium::DvdPlusRw || m == Medium::DvdRam;
}
bool isBd(Medium m) {
    return m == Medium::BdR || m == Medium::BdRe;
}
bool isWriteOnce(Medium m) {
    return m == Medium::CdR || m == Medium::DvdR || m == Medium::DvdPlusR || m == Medium::BdR;
}
bool isErasable(Medium m) {
    return !isWriteOnce(m) && m != Medium::None;
}

int64_t defaultCapacity(Medium m, int layers) {
    if (layers == 2) {
        switch (m) {
        case Medium::DvdR:
            return 4171712;
        case Medium::DvdPlusR:
            return 4173824;
        case Medium::BdR:
        case Medium::BdRe:
            return 24438784;
        default:
            break;
        }
    }
    switch (m) {
    case Medium::CdR:
    case Medium::CdRw:
        return 359849;
    case Medium::DvdR:
    case Medium::DvdRw:
    case Medium::DvdPlusR:
    case Medium::DvdPlusRw:
        return 2295104;
    case Medium::DvdRam:
        return 2236704;
    case Medium::BdR:
    case Medium::BdRe:
        return 12219392;
    case Medium::None:
        break;
    }
    return 0;
}

std::vector<int> defaultSpeeds(Medium m) {
    switch (m) {
    case Medium::CdR:
        return {1764, 4234, 7056, 8467};
    case Medium::CdRw:
        return {706, 1764, 4234};
    case Medium::DvdR:
    case Medium::DvdPlusR:
        return {2770, 5540, 11080, 22160};
    case Medium::DvdRw:
    case Medium::DvdPlusRw:
        return {2770, 5540, 8310};
    case Medium::DvdRam:
        return {4155, 6925};
    case Medium::BdR:
        return {4495, 8990, 17980, 26970};
    case Medium::BdRe:
        return {4495, 8990};
    case Medium::None:
        break;
    }
    return {};
}

int trackAlignment(Medium m) {
    if (isBd(m)) {
        return 32;
    }
    if (isDvd(m)) {
        return 16;
    }
    return 1;
}

bool Layout::overwritable() const {
    return randomAccess(medium, restricted);
}

int Layout::profile() const {
    switch (medium) {
    case Medium::None:
        return 0;
    case Medium::CdR:
        return 0x09;
    case Medium::CdRw:
        return 0x0A;
    case Medium::DvdR:
        return layers == 2 ? 0x15 : 0x11;
    case Medium::DvdRw:
        return restricted ? 0x13 : 0x14;
    case Medium::DvdPlusR:
        return layers == 2 ? 0x2B : 0x1B;
    case Medium::DvdPlusRw:
        return 0x1A;
    case Medium::DvdRam:
        return 0x12;
    case Medium::BdR:
        return 0x41;
    case Medium::BdRe:
        return 0x43;
    }
    return 0;
}

const Track* Layout::openTrack() const {
    if (tracks.empty() || tracks.back().closed) {
        return nullptr;
    }
    return &tracks.back();
}

Track* Layout::openTrack() {
    return const_cast<Track*>(static_cast<const Layout*>(this)->openTrack());
}

int32_t Layout::lastPossibleEnd() const {
    return static_cast<int32_t>(capacity);
}

int32_t Layout::leadOut(int session) const {
    int32_t end = 0;
    for (const auto& t : tracks) {
        if (t.session == session) {
            end = std::max(end, t.end());
        }
    }
    return end;
}

int32_t Layout::sessionStart(int session) const {
    if (session <= 1) {
        return 0;
    }
    return alignUp(leadOut(session - 1) + sessionGap(medium, session - 1), trackAlignment(medium));
}

int32_t Layout::invisibleStart() const {
    const int session = openSession();
    if (tracks.empty() || tracks.back().session != session) {
        return sessionStart(session);
    }
    int32_t next = tracks.back().end();
    if (isCd(medium)) {
        next += 150; // the pregap the drive writes before a track at once
    }
    return alignUp(next, trackAlignment(medium));
}

bool Layout::hasInvisibleTrack() const {
    if (!present() || overwritable() || finalized) {
        return false;
    }
    const Track* open = openTrack();
    if (open != nullptr && open->reserved == 0) {
        return false;
    }
    return invisibleStart() < lastPossibleEnd();
}

int32_t Layout::nextWritable() const {
    if (!present() || overwritable() || finalized) {
        return -1;
    }
    if (const Track* open = openTrack()) {
        if (open->reserved == 0 || open->recorded < open->reserved) {
            return open->start + open->recorded;
        }
    }
    return hasInvisibleTrack() ? invisibleStart() : -1;
}

int32_t Layout::freeBlocks() const {
    if (overwritable()) {
        return formatted ? static_cast<int32_t>(capacity) : 0;
    }
    if (const Track* open = openTrack(); open != nullptr && open->reserved == 0) {
        return std::max(0, lastPossibleEnd() - (open->start + open->recorded));
    }
    return hasInvisibleTrack() ? lastPossibleEnd() - invisibleStart() : 0;
}

int Layout::firstTrackInSession(int session) const {
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].session == session) {
            return static_cast<int>(i) + 1;
        }
    }
    return static_cast<int>(tracks.size()) + 1;
}

int Layout::lastTrackInSession(int session) const {
    int last = 0;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i].session == session) {
            last = static_cast<int>(i) + 1;
        }
    }
    return last;
}

int32_t Layout::readableEnd() const {
    if (overwritable()) {
        return formatted ? static_cast<int32_t>(capacity) : 0;
    }
    int32_t end = 0;
    for (const auto& t : tracks) {
        end = std::max(end, t.closed ? t.end() : t.start + t.recorded);
    }
    return end;
}

bool Layout::blank() const {
    if (overwritable()) {
        return !formatted;
    }
    return tracks.empty() && !finalized;
}

Layout freshLayout(const DiscSpec& spec) {
    Layout l;
    l.medium = spec.medium;
    l.restricted = spec.medium == Medium::DvdRw && spec.restricted;
    l.layers = spec.layers;
    if (!l.present()) {
        return l;
    }
    l.rawCapacity = spec.capacity > 0 ? spec.capacity : defaultCapacity(spec.medium, spec.layers);
    l.capacity = l.rawCapacity;
    if (l.overwritable()) {
        l.formatted = spec.state != "unformatted";
        if (l.formatted && l.medium == Medium::BdRe && l.rawCapacity > 2 * kBdDefaultSpare) {
            l.spareAreas = true;
            l.capacity = l.rawCapacity - kBdDefaultSpare;
        }
        return l;
    }
    if (spec.state == "appendable" || spec.state == "closed") {
        Track t;
        t.recorded = static_cast<int32_t>(std::min<int64_t>(l.capacity / 8, 16384));
        t.tail = isCd(l.medium) ? 2 : 0;
        t.closed = true;
        l.tracks.push_back(t);
        l.closedSessions = 1;
        l.finalized = spec.state == "closed";
    }
    return l;
}

std::string layoutText(const Layout& l) {
    std::ostringstream out;
    DiscSpec spec;
    spec.medium = l.medium;
    spec.restricted = l.restricted;
    spec.layers = l.layers;
    out << "[Disc]\nStamp=" << l.stamp << "\nMedium=" << mediaName(spec)
        << "\nQuickBlanked=" << l.quickBlanked << "\nFormatted=" << l.formatted
        << "\nSpareAreas=" << l.spareAreas << "\nRawCapacity=" << l.rawCapacity
        << "\nCapacity=" << l.capacity << "\nFinalized=" << l.finalized
        << "\nClosedSessions=" << l.closedSessions << "\nTrayOpen=" << l.trayOpen << "\n";
    for (const auto& t : l.tracks) {
        out << "\n[Track]\nStart=" << t.start << "\nRecorded=" << t.recorded
            << "\nReserved=" << t.reserved << "\nTail=" << t.tail << "\nSession=" << t.session
            << "\nBlockLength=" << t.blockLength << "\nControl=" << t.control
            << "\nClosed=" << t.closed << "\n";
    }
    return out.str();
}

namespace {

bool number(const sbini::IniSection& s, std::string_view key, int64_t& out, std::string& why) {
    const sbini::IniEntry* e = s.find(key);
    if (e == nullptr) {
        why = "[" + s.name + "] has no " + std::string(key);
        return false;
    }
    const bool negative = !e->value.empty() && e->value[0] == '-';
    uint64_t n = 0;
    if (!sbini::parseUnsigned(negative ? e->value.substr(1) : e->value, n) || n > 0x7fffffffu) {
        why = std::string(key) + " is not a number: " + e->value;
        return false;
    }
    out = negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n);
    return true;
}

} // namespace

bool parseLayout(std::string_view text, const std::string& origin, Layout& out, std::string& why) {
    std::vector<std::string> problems;
    const sbini::IniDocument doc = sbini::parseIni(text, origin, problems);
    if (!problems.empty()) {
        why = problems.front();
        return false;
    }
    Layout l;
    bool seenDisc = false;
    for (const auto& s : doc.sections) {
        int64_t v[8] = {};
        if (sbini::sameName(s.name, "Disc")) {
            seenDisc = true;
            const sbini::IniEntry* stamp = s.find("Stamp");
            const sbini::IniEntry* medium = s.find("Medium");
            DiscSpec spec;
            if (stamp == nullptr || medium == nullptr ||
                !parseDiscSpec(medium->value, "blank", 0, spec, why)) {
                why = origin + ": the disc section is incomplete";
                return false;
            }
            const char* keys[] = {"QuickBlanked", "Formatted", "SpareAreas",     "RawCapacity",
                                  "Capacity",     "Finalized", "ClosedSessions", "TrayOpen"};
            for (int i = 0; i < 8; ++i) {
                if (!number(s, keys[i], v[i], why)) {
                    why = origin + ": " + why;
                    return false;
                }
            }
            l.stamp = stamp->value;
            l.medium = spec.medium;
            l.restricted = spec.restricted;
            l.layers = spec.layers;
            l.quickBlanked = v[0] != 0;
            l.formatted = v[1] != 0;
            l.spareAreas = v[2] != 0;
            l.rawCapacity = v[3];
            l.capacity = v[4];
            l.finalized = v[5] != 0;
            l.closedSessions = static_cast<int>(v[6]);
            l.trayOpen = v[7] != 0;
        } else if (sbini::sameName(s.name, "Track")) {
            const char* keys[] = {"Start",   "Recorded",    "Reserved", "Tail",
                                  "Session", "BlockLength", "Control",  "Closed"};
            for (int i = 0; i < 8; ++i) {
                if (!number(s, keys[i], v[i], why)) {
                    why = origin + ": " + why;
                    return false;
                }
            }
            Track t;
            t.start = static_cast<int32_t>(v[0]);
            t.recorded = static_cast<int32_t>(v[1]);
            t.reserved = static_cast<int32_t>(v[2]);
            t.tail = static_cast<int32_t>(v[3]);
            t.session = static_cast<int>(v[4]);
            t.blockLength = static_cast<int>(v[5]);
            t.control = static_cast<int>(v[6]);
            t.closed = v[7] != 0;
            l.tracks.push_back(t);
        }
    }
    if (!seenDisc) {
        why = origin + ": no [Disc] section";
        return false;
    }
    out = std::move(l);
    return true;
}

bool replaceFile(const std::string& path, const std::string& text, std::string& why) {
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        why = temporary + ": " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            why = temporary + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        why = path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace sbmmc
