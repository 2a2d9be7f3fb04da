// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/virtual/sbVirtualConfig.h"

#include "ini/sbIni.h"

#include "starburn/core/sbDeviceTable.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace starburn::virt {

using namespace sbini;
namespace {

// Capacities of common discs in 2048-byte blocks.
constexpr uint32_t kCd80 = 359846;       // 80-minute CD, 702.8 MB
constexpr uint32_t kDvdPlus = 2295104;   // DVD+R/+RW single layer, 4.7 GB
constexpr uint32_t kDvdDash = 2298496;   // DVD-R/-RW single layer
constexpr uint32_t kDvdPlusDl = 4173824; // DVD+R double layer, 8.5 GB
constexpr uint32_t kDvdDashDl = 4171712; // DVD-R double layer

constexpr std::array kKinds = {
    DiscKind{DISC_TYPE_CDROM, "CD-ROM", false, false, false, kCd80},
    DiscKind{DISC_TYPE_CDR, "CD-R", false, true, false, kCd80},
    DiscKind{DISC_TYPE_CDRW, "CD-RW", false, true, true, kCd80},
    DiscKind{DISC_TYPE_DVDROM, "DVD-ROM", true, false, false, kDvdPlus},
    DiscKind{DISC_TYPE_DVDR, "DVD-R", true, true, false, kDvdDash},
    DiscKind{DISC_TYPE_DVDRWSR, "DVD-RW", true, true, true, kDvdDash},
    DiscKind{DISC_TYPE_DVDPLUSRW, "DVD+RW", true, true, true, kDvdPlus},
    DiscKind{DISC_TYPE_DVDPLUSR, "DVD+R", true, true, false, kDvdPlus},
    DiscKind{DISC_TYPE_DVDPLUSR_DL, "DVD+R DL", true, true, false, kDvdPlusDl},
    DiscKind{DISC_TYPE_DVDR_DL, "DVD-R DL", true, true, false, kDvdDashDl},
};

// Largest disc capacity accepted in a configuration: a 100 GB Blu-ray's worth.
constexpr uint64_t kMaxCapacity = 50000000;

bool parseSpeeds(const std::string& value, bool dvd, std::vector<uint32_t>& out, std::string& why) {
    out.clear();
    if (sameName(trim(value), "none")) {
        return true;
    }
    for (std::string item : splitList(value)) {
        if (!item.empty() && (item.back() == 'x' || item.back() == 'X')) {
            item.pop_back();
        }
        double factor = 0;
        if (!parseDouble(item, factor) || factor <= 0 || factor > 100) {
            why = "\"" + item + "\" is not a speed factor (such as 8 or 2.4, at most 100)";
            return false;
        }
        out.push_back(dvd ? dvdSpeed(factor) : cdSpeed(factor));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

bool parseFlagList(const std::string& value,
                   const std::vector<std::pair<const char*, bool DeviceFacts::*>>& names,
                   DeviceFacts& facts, std::string& why) {
    for (const auto& [name, member] : names) {
        facts.*member = false;
    }
    if (sameName(trim(value), "none")) {
        return true;
    }
    for (const auto& item : splitList(value)) {
        bool found = false;
        for (const auto& [name, member] : names) {
            if (sameName(item, name)) {
                facts.*member = true;
                found = true;
            }
        }
        if (!found) {
            why = "\"" + item + "\" is not one of ";
            for (size_t i = 0; i < names.size(); ++i) {
                why += (i ? ", " : "") + std::string(names[i].first);
            }
            why += " or none";
            return false;
        }
    }
    return true;
}

const std::vector<std::pair<const char*, bool DeviceFacts::*>> kReadFormats = {
    {"CD-R", &DeviceFacts::readsCdR},         {"CD-RW", &DeviceFacts::readsCdRw},
    {"DVD-ROM", &DeviceFacts::readsDvdRom},   {"DVD-R", &DeviceFacts::readsDvdR},
    {"DVD-RAM", &DeviceFacts::readsDvdRam},   {"DVD+R", &DeviceFacts::readsDvdPlusR},
    {"DVD+RW", &DeviceFacts::readsDvdPlusRw}, {"DVD+R DL", &DeviceFacts::readsDvdPlusRDl},
};

const std::vector<std::pair<const char*, bool DeviceFacts::*>> kWriteFormats = {
    {"CD-R", &DeviceFacts::writesCdR},
    {"CD-RW", &DeviceFacts::writesCdRw},
    {"DVD-R", &DeviceFacts::writesDvdR},
    {"DVD-RAM", &DeviceFacts::writesDvdRam},
    {"DVD+R", &DeviceFacts::writesDvdPlusR},
    {"DVD+RW", &DeviceFacts::writesDvdPlusRw},
    {"DVD+R DL", &DeviceFacts::writesDvdPlusRDl},
};

const std::vector<std::pair<const char*, bool DeviceFacts::*>> kWriteModes = {
    {"TAO", &DeviceFacts::trackAtOnce},
    {"SAO", &DeviceFacts::sessionAtOnce},
    {"DAO-PQ", &DeviceFacts::discAtOncePq},
    {"DAO-RAW", &DeviceFacts::discAtOnceRawPw},
};

const std::vector<std::pair<const char*, bool DeviceFacts::*>> kReadModes = {
    {"CDDA", &DeviceFacts::readsCdda},
    {"CDDA-ACCURATE", &DeviceFacts::readsCddaAccurate},
    {"MODE2-FORM1", &DeviceFacts::readsMode2Form1},
    {"MODE2-FORM2", &DeviceFacts::readsMode2Form2},
    {"RAW", &DeviceFacts::readsRaw},
    {"SUBCHANNEL", &DeviceFacts::readsSubchannel},
};

bool parseNumber(const std::string& value, uint64_t max, uint64_t& out, std::string& why) {
    if (!parseUnsigned(value, out) || out > max) {
        why = "\"" + value + "\" is not a number from 0 to " + std::to_string(max);
        return false;
    }
    return true;
}

// A number from 0 to max into a setting of the recorder.
template <class T>
bool setNumber(const std::string& value, uint64_t max, T& out, std::string& why) {
    uint64_t n = 0;
    if (!parseNumber(value, max, n, why)) {
        return false;
    }
    out = static_cast<T>(n);
    return true;
}

template <class T>
bool setNumber(const std::string& value, uint64_t max, std::optional<T>& out, std::string& why) {
    T n{};
    if (!setNumber(value, max, n, why)) {
        return false;
    }
    out = n;
    return true;
}

// One parser per setting of a recorder's section.

bool setDeviceName(RecorderConfig& r, const std::string& v, std::string& why) {
    if (!deviceNumber(v)) {
        why = "\"" + v + "\" is not a device name (CdRom0 to CdRom20)";
        return false;
    }
    r.deviceName = v;
    return true;
}

bool setAddress(RecorderConfig& r, const std::string& v, std::string& why) {
    const auto parts = splitList(v, ':');
    SB_DEVICE_ADDRESS a{1, 0, 0, 0, 0};
    uint8_t* fields[] = {&a.PortID, &a.BusID, &a.TargetID, &a.LUN};
    if (parts.size() != 4) {
        why = "an address is port:bus:target:lun, such as 1:0:2:0";
        return false;
    }
    for (size_t i = 0; i < 4; ++i) {
        if (!setNumber(parts[i], 255, *fields[i], why)) {
            return false;
        }
    }
    r.address = a;
    return true;
}

bool setDriveLetter(RecorderConfig& r, const std::string& v, std::string& why) {
    std::string t = v;
    if (t.size() == 2 && t[1] == ':') {
        t.pop_back();
    }
    if (sameName(t, "none")) {
        r.driveLetter = 0;
        return true;
    }
    if (t.size() != 1 || !std::isalpha(static_cast<unsigned char>(t[0]))) {
        why = "a drive letter is one letter from A to Z (or none)";
        return false;
    }
    r.driveLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
    return true;
}

bool setVendor(RecorderConfig& r, const std::string& v, std::string&) {
    r.facts.vendor = v.substr(0, 63);
    return true;
}

bool setProduct(RecorderConfig& r, const std::string& v, std::string&) {
    r.facts.product = v.substr(0, 63);
    return true;
}

bool setRevision(RecorderConfig& r, const std::string& v, std::string&) {
    r.facts.revision = v.substr(0, 63);
    return true;
}

bool setBufferSize(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, 1u << 30, r.facts.bufferSize, why);
}

bool setReads(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseFlagList(v, kReadFormats, r.facts, why);
}

bool setWrites(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseFlagList(v, kWriteFormats, r.facts, why);
}

bool setWriteModes(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseFlagList(v, kWriteModes, r.facts, why);
}

bool setReadModes(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseFlagList(v, kReadModes, r.facts, why);
}

bool setTestWrite(RecorderConfig& r, const std::string& v, std::string& why) {
    if (!parseBool(v, r.facts.testWrite)) {
        why = "TestWrite is yes or no";
        return false;
    }
    return true;
}

bool setBup(RecorderConfig& r, const std::string& v, std::string& why) {
    if (sameName(v, "no")) {
        r.facts.bupSupported = false;
        r.bupEnabled = false;
    } else if (sameName(v, "supported")) {
        r.facts.bupSupported = true;
        r.bupEnabled = false;
    } else if (sameName(v, "enabled")) {
        r.facts.bupSupported = true;
        r.bupEnabled = true;
    } else {
        why = "BUP is no, supported or enabled";
        return false;
    }
    return true;
}

bool setRegion(RecorderConfig& r, const std::string& v, std::string& why) {
    const auto parts = splitList(v);
    if (parts.size() != 5) {
        why = "Region is five numbers: RPC type, region mask, user changes left, "
              "vendor resets left, region scheme";
        return false;
    }
    uint8_t* fields[] = {&r.region.rpcType, &r.region.regionMask, &r.region.userChangesLeft,
                         &r.region.vendorResetsLeft, &r.region.regionScheme};
    for (size_t i = 0; i < 5; ++i) {
        if (!setNumber(parts[i], 255, *fields[i], why)) {
            return false;
        }
    }
    return true;
}

bool setCdWriteSpeeds(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseSpeeds(v, false, r.cdWriteSpeeds, why);
}

bool setDvdWriteSpeeds(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseSpeeds(v, true, r.dvdWriteSpeeds, why);
}

bool setCdReadSpeeds(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseSpeeds(v, false, r.cdReadSpeeds, why);
}

bool setDvdReadSpeeds(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseSpeeds(v, true, r.dvdReadSpeeds, why);
}

bool setDisc(RecorderConfig& r, const std::string& v, std::string& why) {
    if (sameName(v, "none")) {
        r.disc.type = DISC_TYPE_NO_MEDIA;
        return true;
    }
    const DiscKind* kind = discKindByName(v);
    if (kind == nullptr) {
        why = "\"" + v + "\" is not a disc kind (" + discKindNames() + " or none)";
        return false;
    }
    r.disc.type = kind->type;
    return true;
}

bool setDiscCapacity(RecorderConfig& r, const std::string& v, std::string& why) {
    uint64_t n = 0;
    if (!parseNumber(v, kMaxCapacity, n, why)) {
        return false;
    }
    if (n == 0) {
        why = "a disc holds at least one block";
        return false;
    }
    r.disc.capacity = static_cast<uint32_t>(n);
    return true;
}

bool setDiscState(RecorderConfig& r, const std::string& v, std::string& why) {
    if (sameName(v, "blank")) {
        r.disc.state = InitialState::Blank;
    } else if (sameName(v, "appendable")) {
        r.disc.state = InitialState::Appendable;
    } else if (sameName(v, "complete")) {
        r.disc.state = InitialState::Complete;
    } else {
        why = "DiscState is blank, appendable or complete";
        return false;
    }
    return true;
}

bool setDiscUsed(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, kMaxCapacity, r.disc.usedBlocks, why);
}

bool setFailWriteAtByte(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, UINT64_MAX, r.failWriteAtByte, why);
}

bool setTakeDiscOutAtByte(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, UINT64_MAX, r.takeDiscOutAtByte, why);
}

bool setWriteLimit(RecorderConfig& r, const std::string& v, std::string& why) {
    return parseNumber(v, UINT64_MAX, r.writeLimit, why);
}

bool setReadErrorAtBlock(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, UINT32_MAX, r.readErrorAtBlock, why);
}

bool setCorruptAfterWrite(RecorderConfig& r, const std::string& v, std::string& why) {
    return setNumber(v, UINT64_MAX, r.corruptAfterWrite, why);
}

using Setter = bool (*)(RecorderConfig&, const std::string& value, std::string& why);

constexpr std::pair<const char*, Setter> kSetters[] = {
    {"DeviceName", setDeviceName},
    {"Address", setAddress},
    {"DriveLetter", setDriveLetter},
    {"Vendor", setVendor},
    {"Product", setProduct},
    {"Revision", setRevision},
    {"BufferSize", setBufferSize},
    {"Reads", setReads},
    {"Writes", setWrites},
    {"WriteModes", setWriteModes},
    {"ReadModes", setReadModes},
    {"TestWrite", setTestWrite},
    {"BUP", setBup},
    {"Region", setRegion},
    {"CDWriteSpeeds", setCdWriteSpeeds},
    {"DVDWriteSpeeds", setDvdWriteSpeeds},
    {"CDReadSpeeds", setCdReadSpeeds},
    {"DVDReadSpeeds", setDvdReadSpeeds},
    {"Disc", setDisc},
    {"DiscCapacity", setDiscCapacity},
    {"DiscState", setDiscState},
    {"DiscUsed", setDiscUsed},
    {"FailWriteAtByte", setFailWriteAtByte},
    {"TakeDiscOutAtByte", setTakeDiscOutAtByte},
    {"WriteLimit", setWriteLimit},
    {"ReadErrorAtBlock", setReadErrorAtBlock},
    {"CorruptAfterWrite", setCorruptAfterWrite},
};

// Defaults of a recorder the configuration describes: a capable writer, so a
// section needs only the settings where it differs.
RecorderConfig defaultRecorder() {
    RecorderConfig r;
    r.facts.vendor = "TAVRIN";
    r.facts.product = "Virtual Recorder";
    r.facts.revision = "1.00";
    r.facts.bufferSize = 2 * 1024 * 1024;
    for (const auto& [name, member] : kReadFormats) {
        r.facts.*member = true;
    }
    for (const auto& [name, member] : kWriteFormats) {
        r.facts.*member = (member != &DeviceFacts::writesDvdRam);
    }
    for (const auto& [name, member] : kWriteModes) {
        r.facts.*member = true;
    }
    for (const auto& [name, member] : kReadModes) {
        r.facts.*member = true;
    }
    r.facts.testWrite = true;
    r.facts.bupSupported = true;
    r.region = {2, 0xFD, 4, 4, 1};
    std::string why;
    parseSpeeds("4, 8, 16, 24, 32, 40, 48", false, r.cdWriteSpeeds, why);
    parseSpeeds("2.4, 4, 6, 8, 12, 16", true, r.dvdWriteSpeeds, why);
    parseSpeeds("8, 16, 24, 32, 40, 48", false, r.cdReadSpeeds, why);
    parseSpeeds("4, 8, 12, 16", true, r.dvdReadSpeeds, why);
    r.disc.type = DISC_TYPE_DVDPLUSR;
    return r;
}

// Checks that need the whole section. Returns false with why when the
// recorder cannot be used.
bool finishRecorder(RecorderConfig& r, std::string& why) {
    DeviceFacts& f = r.facts;
    // A drive reads what it writes.
    f.readsCdR = f.readsCdR || f.writesCdR;
    f.readsCdRw = f.readsCdRw || f.writesCdRw;
    f.readsDvdR = f.readsDvdR || f.writesDvdR;
    f.readsDvdRam = f.readsDvdRam || f.writesDvdRam;
    f.readsDvdPlusR = f.readsDvdPlusR || f.writesDvdPlusR;
    f.readsDvdPlusRw = f.readsDvdPlusRw || f.writesDvdPlusRw;
    f.readsDvdPlusRDl = f.readsDvdPlusRDl || f.writesDvdPlusRDl;
    // A drive that writes no medium has no write methods and cannot simulate.
    const bool writes = f.writesCdR || f.writesCdRw || f.writesDvdR || f.writesDvdRam ||
                        f.writesDvdPlusR || f.writesDvdPlusRw || f.writesDvdPlusRDl;
    if (!writes) {
        f.trackAtOnce = f.sessionAtOnce = f.discAtOncePq = f.discAtOnceRawPw = false;
        f.testWrite = false;
        f.bupSupported = false;
        r.bupEnabled = false;
    }
    const bool dvd = f.readsDvdRom || f.readsDvdR || f.readsDvdPlusR || f.readsDvdPlusRw;
    f.readsDvdRom = f.readsDvdRom || dvd;
    if (!f.readsDvdRom) {
        r.region = {};
    }

    if (r.disc.type != DISC_TYPE_NO_MEDIA) {
        const DiscKind* kind = discKindByType(r.disc.type);
        if (!readsKind(f, *kind)) {
            why = std::string("the drive cannot read the ") + kind->name +
                  " disc it is given (see Reads)";
            return false;
        }
        if (r.disc.capacity == 0) {
            r.disc.capacity = kind->capacity;
        }
        if (!kind->recordable) {
            r.disc.state = InitialState::Complete;
            if (r.disc.usedBlocks == 0) {
                r.disc.usedBlocks = r.disc.capacity / 4 * 3;
            }
        }
        if (r.disc.state == InitialState::Blank && r.disc.usedBlocks != 0) {
            why = "a blank disc has no used blocks (DiscUsed); set DiscState too";
            return false;
        }
        if (r.disc.state != InitialState::Blank && r.disc.usedBlocks == 0) {
            why = "a disc that is not blank needs DiscUsed (its written blocks)";
            return false;
        }
        if (r.disc.usedBlocks > r.disc.capacity) {
            why = "DiscUsed is larger than the disc's capacity";
            return false;
        }
    }
    return true;
}

void readRecorder(const sbini::IniDocument& doc, const sbini::IniSection& section,
                  const std::string& id, VirtualConfig& config,
                  std::vector<std::string>& problems) {
    if (!isSafeId(id)) {
        problems.push_back(iniProblem(
            doc, section.line,
            "recorder name \"" + id +
                "\" is not valid: use 1 to 64 letters, digits, '-' or '_'; the recorder is "
                "left out"));
        return;
    }
    for (const auto& other : config.recorders) {
        if (sameName(other.id, id)) {
            problems.push_back(iniProblem(
                doc, section.line, "a second recorder named \"" + id + "\"; it is left out"));
            return;
        }
    }
    RecorderConfig r = defaultRecorder();
    r.id = id;
    r.line = section.line;
    bool usable = true;
    for (const auto& entry : section.entries) {
        Setter setter = nullptr;
        for (const auto& [name, s] : kSetters) {
            if (sameName(name, entry.key)) {
                setter = s;
            }
        }
        if (setter == nullptr) {
            problems.push_back(iniProblem(doc, entry.line,
                                          "unknown setting \"" + entry.key + "\" for recorder \"" +
                                              id + "\"; it is ignored"));
            continue;
        }
        std::string why;
        if (!setter(r, entry.value, why)) {
            problems.push_back(iniProblem(doc, entry.line, entry.key + ": " + why));
            usable = false;
        }
    }
    std::string why;
    if (usable && !finishRecorder(r, why)) {
        problems.push_back(iniProblem(doc, section.line, "recorder \"" + id + "\": " + why));
        usable = false;
    }
    if (!usable) {
        problems.push_back(iniProblem(doc, section.line, "recorder \"" + id + "\" is left out"));
        return;
    }
    config.recorders.push_back(std::move(r));
}

std::optional<std::string> recorderId(const std::string& sectionName) {
    if (sectionName.size() < 8 || !sameName(sectionName.substr(0, 8), "recorder")) {
        return std::nullopt;
    }
    if (sectionName.size() == 8) {
        return std::string();
    }
    if (sectionName[8] != ' ' && sectionName[8] != '\t') {
        return std::nullopt;
    }
    return trim(sectionName.substr(9));
}

void readRecorders(const sbini::IniDocument& doc, VirtualConfig& config,
                   std::vector<std::string>& problems) {
    for (const auto& section : doc.sections) {
        if (auto id = recorderId(section.name)) {
            readRecorder(doc, section, *id, config, problems);
        }
    }
}

} // namespace

const char* const kBuiltInRecorders = R"INI(
[Recorder dvd-writer]
DeviceName = CdRom0
Address = 1:0:0:0
DriveLetter = E
Vendor = TAVRIN
Product = DVD-RW VR-2016
Revision = 1.00
BufferSize = 2097152
Reads = CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM, DVD+R, DVD+RW, DVD+R DL
Writes = CD-R, CD-RW, DVD-R, DVD+R, DVD+RW, DVD+R DL
WriteModes = TAO, SAO, DAO-PQ, DAO-RAW
ReadModes = CDDA, CDDA-ACCURATE, MODE2-FORM1, MODE2-FORM2, RAW, SUBCHANNEL
TestWrite = yes
BUP = supported
Region = 2, 0xFD, 4, 4, 1
CDWriteSpeeds = 4, 8, 16, 24, 32, 40, 48
DVDWriteSpeeds = 2.4, 4, 6, 8, 12, 16
CDReadSpeeds = 8, 16, 24, 32, 40, 48
DVDReadSpeeds = 4, 8, 12, 16
Disc = DVD+R

[Recorder cd-writer]
DeviceName = CdRom1
Address = 1:0:1:0
DriveLetter = F
Vendor = TAVRIN
Product = CD-RW VR-5232
Revision = 2.10
BufferSize = 2097152
Reads = CD-R, CD-RW
Writes = CD-R, CD-RW
WriteModes = TAO, SAO, DAO-PQ, DAO-RAW
ReadModes = CDDA, CDDA-ACCURATE, MODE2-FORM1, MODE2-FORM2, RAW, SUBCHANNEL
TestWrite = yes
BUP = supported
CDWriteSpeeds = 4, 8, 16, 24, 32, 40, 48, 52
DVDWriteSpeeds = none
CDReadSpeeds = 16, 32, 48, 52
DVDReadSpeeds = none
Disc = CD-R

[Recorder dvd-reader]
DeviceName = CdRom2
Address = 1:0:2:0
DriveLetter = G
Vendor = TAVRIN
Product = DVD-ROM VR-16
Revision = 1.02
BufferSize = 524288
Reads = CD-R, CD-RW, DVD-ROM, DVD-R, DVD+R, DVD+RW
Writes = none
WriteModes = none
ReadModes = CDDA, MODE2-FORM1, MODE2-FORM2
TestWrite = no
BUP = no
Region = 2, 0xFD, 5, 4, 1
CDWriteSpeeds = none
DVDWriteSpeeds = none
CDReadSpeeds = 8, 16, 24, 32, 40, 48
DVDReadSpeeds = 4, 8, 12, 16
Disc = DVD-ROM
DiscUsed = 1835008
)INI";

const DiscKind* discKindByName(std::string_view name) {
    const std::string t = trim(name);
    for (const auto& k : kKinds) {
        if (sameName(k.name, t)) {
            return &k;
        }
    }
    return nullptr;
}

const DiscKind* discKindByType(uint8_t type) {
    for (const auto& k : kKinds) {
        if (k.type == type) {
            return &k;
        }
    }
    return nullptr;
}

std::string discKindNames() {
    std::string names;
    for (const auto& k : kKinds) {
        names += (names.empty() ? "" : ", ") + std::string(k.name);
    }
    return names;
}

bool readsKind(const DeviceFacts& f, const DiscKind& kind) {
    switch (kind.type) {
    case DISC_TYPE_CDROM:
        return true;
    case DISC_TYPE_CDR:
        return f.readsCdR;
    case DISC_TYPE_CDRW:
        return f.readsCdRw;
    case DISC_TYPE_DVDROM:
        return f.readsDvdRom;
    case DISC_TYPE_DVDR:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDR_DL:
        return f.readsDvdR;
    case DISC_TYPE_DVDPLUSR:
        return f.readsDvdPlusR;
    case DISC_TYPE_DVDPLUSRW:
        return f.readsDvdPlusRw;
    case DISC_TYPE_DVDPLUSR_DL:
        return f.readsDvdPlusRDl;
    default:
        return false;
    }
}

bool writesKind(const DeviceFacts& f, const DiscKind& kind) {
    switch (kind.type) {
    case DISC_TYPE_CDR:
        return f.writesCdR;
    case DISC_TYPE_CDRW:
        return f.writesCdRw;
    case DISC_TYPE_DVDR:
    case DISC_TYPE_DVDRWSR:
    case DISC_TYPE_DVDR_DL:
        return f.writesDvdR;
    case DISC_TYPE_DVDPLUSR:
        return f.writesDvdPlusR;
    case DISC_TYPE_DVDPLUSRW:
        return f.writesDvdPlusRw;
    case DISC_TYPE_DVDPLUSR_DL:
        return f.writesDvdPlusRDl;
    default:
        return false;
    }
}

bool isSafeId(std::string_view id) {
    // "ejected" is the folder of the ejected discs, not a recorder's.
    if (id.empty() || id.size() > 64 || sameName(id, "ejected")) {
        return false;
    }
    for (size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && (i == 0 || (c != '-' && c != '_'))) {
            return false;
        }
    }
    return true;
}

uint32_t cdSpeed(double factor) {
    return static_cast<uint32_t>(std::lround(factor * 176.4));
}

uint32_t dvdSpeed(double factor) {
    return static_cast<uint32_t>(std::lround(factor * 1385.0));
}

bool isVirtualSection(std::string_view sectionName) {
    return sameName(sectionName, "Virtual") || recorderId(std::string(sectionName)).has_value();
}

VirtualConfig readVirtualConfig(const sbini::IniDocument* configuration,
                                std::vector<std::string>& problems) {
    VirtualConfig config;
    if (configuration != nullptr) {
        bool anyRecorder = false;
        for (const auto& section : configuration->sections) {
            anyRecorder = anyRecorder || recorderId(section.name).has_value();
        }
        config.builtInRecorders = !anyRecorder;
        for (const auto& section : configuration->sections) {
            if (!sameName(section.name, "Virtual")) {
                continue;
            }
            for (const auto& e : section.entries) {
                if (sameName(e.key, "TimeFactor")) {
                    double f = 0;
                    if (!parseDouble(e.value, f) || f < 0 || f > 1000) {
                        problems.push_back(iniProblem(
                            *configuration, e.line,
                            "TimeFactor is a number from 0 (as fast as the disk allows) to 1000"));
                    } else {
                        config.timeFactor = f;
                    }
                } else if (sameName(e.key, "BuiltInRecorders")) {
                    if (!parseBool(e.value, config.builtInRecorders)) {
                        problems.push_back(
                            iniProblem(*configuration, e.line, "BuiltInRecorders is yes or no"));
                    }
                } else {
                    problems.push_back(iniProblem(*configuration, e.line,
                                                  "unknown setting \"" + e.key +
                                                      "\" in [Virtual]; it is ignored"));
                }
            }
        }
    }
    if (config.builtInRecorders) {
        std::vector<std::string> builtInProblems;
        const sbini::IniDocument builtIn = parseIni(kBuiltInRecorders, "built-in", builtInProblems);
        readRecorders(builtIn, config, builtInProblems);
        // The built-in text is ours; a problem in it is a bug worth seeing.
        problems.insert(problems.end(), builtInProblems.begin(), builtInProblems.end());
    }
    if (configuration != nullptr) {
        readRecorders(*configuration, config, problems);
    }
    if (const char* env = std::getenv("STARBURN_TIME_FACTOR"); env != nullptr && *env != '\0') {
        double f = 0;
        if (!parseDouble(env, f) || f < 0 || f > 1000) {
            problems.push_back(std::string("STARBURN_TIME_FACTOR=\"") + env +
                               "\" is not a number from 0 to 1000; it is ignored");
        } else {
            config.timeFactor = f;
        }
    }
    return config;
}

} // namespace starburn::virt
