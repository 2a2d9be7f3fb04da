// SPDX-License-Identifier: GPL-2.0-or-later
#include "starburn/libburn/sbLibburnConfig.h"

#include "ini/sbIni.h"

#include "starburn/core/sbDeviceTable.h"

#include <cctype>
#include <cstdlib>

namespace starburn::lb {

using namespace sbini;
namespace {

// "[Drive /dev/sr0]" -> "/dev/sr0", "[Stdio out]" -> "out"; nothing when the
// section is not of that kind.
std::optional<std::string> sectionArgument(std::string_view section, std::string_view kind) {
    if (section.size() <= kind.size() || !sameName(section.substr(0, kind.size()), kind)) {
        return std::nullopt;
    }
    const char gap = section[kind.size()];
    if (gap != ' ' && gap != '\t') {
        return std::nullopt;
    }
    return trim(section.substr(kind.size() + 1));
}

bool parseAddress(const std::string& value, SB_DEVICE_ADDRESS& out, std::string& why) {
    const auto parts = splitList(value, ':');
    if (parts.size() != 4) {
        why = "an address is port:bus:target:lun, such as 2:0:0:0";
        return false;
    }
    uint8_t* fields[] = {&out.PortID, &out.BusID, &out.TargetID, &out.LUN};
    for (size_t i = 0; i < 4; ++i) {
        uint64_t n = 0;
        if (!parseUnsigned(parts[i], n) || n > 255) {
            why = "\"" + parts[i] + "\" is not a number from 0 to 255";
            return false;
        }
        *fields[i] = static_cast<uint8_t>(n);
    }
    out.Present = 1;
    return true;
}

// A placement key; false when the key is not one, with why empty, or when the
// value is bad, with why set.
bool readPlacement(const sbini::IniEntry& e, Placement& p, std::string& why) {
    if (sameName(e.key, "DeviceName")) {
        if (!deviceNumber(e.value)) {
            why = "\"" + e.value + "\" is not a device name (CdRom0 to CdRom20)";
            return false;
        }
        p.deviceName = e.value;
        return true;
    }
    if (sameName(e.key, "Address")) {
        SB_DEVICE_ADDRESS a{};
        if (!parseAddress(e.value, a, why)) {
            return false;
        }
        p.address = a;
        return true;
    }
    if (sameName(e.key, "DriveLetter")) {
        std::string t = e.value;
        if (t.size() == 2 && t[1] == ':') {
            t.pop_back();
        }
        if (sameName(t, "none")) {
            p.driveLetter = 0;
            return true;
        }
        if (t.size() != 1 || !std::isalpha(static_cast<unsigned char>(t[0]))) {
            why = "a drive letter is one letter from A to Z (or none)";
            return false;
        }
        p.driveLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(t[0])));
        return true;
    }
    why.clear();
    return false;
}

// "yes" (libburn's file), "stderr", or "no".
bool parseScsiLog(std::string_view text, ScsiLog& out) {
    if (sameName(text, "stderr")) {
        out = ScsiLog::StandardError;
        return true;
    }
    bool on = false;
    if (!parseBool(text, on)) {
        return false;
    }
    out = on ? ScsiLog::File : ScsiLog::Off;
    return true;
}

// Whole seconds, 0 (ask once) to kLongestReadyWait.
bool parseReadyWait(std::string_view text, std::chrono::seconds& out) {
    uint64_t n = 0;
    if (!parseUnsigned(text, n) || n > static_cast<uint64_t>(kLongestReadyWait.count())) {
        return false;
    }
    out = std::chrono::seconds(n);
    return true;
}

std::string readyWaitRange() {
    return "a number of seconds from 0 to " + std::to_string(kLongestReadyWait.count());
}

void readMainSection(const sbini::IniDocument& doc, const sbini::IniSection& section,
                     LibburnConfig& config, std::vector<std::string>& problems) {
    for (const auto& e : section.entries) {
        if (sameName(e.key, "RealDrives")) {
            if (!parseBool(e.value, config.realDrives)) {
                problems.push_back(iniProblem(doc, e.line, "RealDrives is yes or no"));
            }
        } else if (sameName(e.key, "ScsiLog")) {
            if (!parseScsiLog(e.value, config.scsiLog)) {
                problems.push_back(iniProblem(doc, e.line, "ScsiLog is yes, no or stderr"));
            }
        } else if (sameName(e.key, "ReadyWait")) {
            if (!parseReadyWait(e.value, config.readyWait)) {
                problems.push_back(iniProblem(doc, e.line, "ReadyWait is " + readyWaitRange()));
            }
        } else if (sameName(e.key, "Devices")) {
            config.devices.clear();
            for (const auto& item : splitList(e.value)) {
                if (item.empty() || item.front() != '/') {
                    problems.push_back(iniProblem(doc, e.line,
                                                  "\"" + item +
                                                      "\" is not a device file path such as "
                                                      "/dev/sr0; it is ignored"));
                    continue;
                }
                config.devices.push_back(item);
            }
        } else {
            problems.push_back(iniProblem(
                doc, e.line, "unknown setting \"" + e.key + "\" in [Libburn]; it is ignored"));
        }
    }
}

void readDriveSection(const sbini::IniDocument& doc, const sbini::IniSection& section,
                      const std::string& file, LibburnConfig& config,
                      std::vector<std::string>& problems) {
    if (file.empty() || file.front() != '/') {
        problems.push_back(iniProblem(doc, section.line,
                                      "[" + section.name +
                                          "] does not name a device file such as /dev/sr0; "
                                          "the section is ignored"));
        return;
    }
    RealDrivePlacement rp{file, {}};
    rp.placement.line = section.line;
    bool usable = true;
    for (const auto& e : section.entries) {
        std::string why;
        if (!readPlacement(e, rp.placement, why)) {
            problems.push_back(iniProblem(doc, e.line,
                                          why.empty() ? "unknown setting \"" + e.key + "\" for " +
                                                            file + "; it is ignored"
                                                      : e.key + ": " + why));
            usable = usable && why.empty();
        }
    }
    if (!usable) {
        problems.push_back(iniProblem(doc, section.line,
                                      "the placement of " + file +
                                          " is ignored; the drive "
                                          "takes a free name"));
        return;
    }
    config.placements.push_back(std::move(rp));
}

void readStdioSection(const sbini::IniDocument& doc, const sbini::IniSection& section,
                      const std::string& id, LibburnConfig& config,
                      std::vector<std::string>& problems) {
    StdioDriveConfig s;
    s.id = id;
    s.placement.line = section.line;
    bool usable = !id.empty();
    if (id.empty()) {
        problems.push_back(iniProblem(doc, section.line, "a [Stdio] section needs a name"));
    }
    for (const auto& e : section.entries) {
        if (sameName(e.key, "Path")) {
            s.path = e.value;
            continue;
        }
        std::string why;
        if (!readPlacement(e, s.placement, why)) {
            if (why.empty()) {
                problems.push_back(iniProblem(doc, e.line,
                                              "unknown setting \"" + e.key +
                                                  "\" for pseudo-drive \"" + id +
                                                  "\"; it is ignored"));
            } else {
                problems.push_back(iniProblem(doc, e.line, e.key + ": " + why));
                usable = false;
            }
        }
    }
    if (s.path.empty() || s.path.front() != '/') {
        problems.push_back(iniProblem(doc, section.line,
                                      "pseudo-drive \"" + id +
                                          "\" needs Path, the absolute path of the image file "
                                          "it writes"));
        usable = false;
    }
    for (const auto& other : config.stdioDrives) {
        if (sameName(other.id, id)) {
            problems.push_back(
                iniProblem(doc, section.line, "a second pseudo-drive named \"" + id + "\""));
            usable = false;
        }
    }
    if (!usable) {
        problems.push_back(
            iniProblem(doc, section.line, "pseudo-drive \"" + id + "\" is left out"));
        return;
    }
    config.stdioDrives.push_back(std::move(s));
}

} // namespace

bool isLibburnSection(std::string_view name) {
    return sameName(name, "Libburn") || sectionArgument(name, "Drive").has_value() ||
           sectionArgument(name, "Stdio").has_value() || sameName(name, "Stdio");
}

LibburnConfig readLibburnConfig(const sbini::IniDocument* doc, std::vector<std::string>& problems) {
    LibburnConfig config;
    if (doc != nullptr) {
        config.origin = doc->origin;
        for (const auto& section : doc->sections) {
            if (sameName(section.name, "Libburn")) {
                readMainSection(*doc, section, config, problems);
            } else if (auto file = sectionArgument(section.name, "Drive")) {
                readDriveSection(*doc, section, *file, config, problems);
            } else if (auto id = sectionArgument(section.name, "Stdio")) {
                readStdioSection(*doc, section, *id, config, problems);
            } else if (sameName(section.name, "Stdio")) {
                readStdioSection(*doc, section, "", config, problems);
            }
        }
    }
    // The environment has the last word, so a test run or a single session can
    // switch real drives off (or on) whatever the configuration says.
    if (const char* env = std::getenv("STARBURN_REAL_DRIVES"); env != nullptr && *env != '\0') {
        bool on = true;
        if (parseBool(env, on)) {
            config.realDrives = on;
        } else {
            problems.push_back(std::string("STARBURN_REAL_DRIVES=\"") + env +
                               "\" is not yes or no (1 or 0); it is ignored");
        }
    }
    // Asked for one run without touching the configuration.
    if (const char* env = std::getenv("STARBURN_SCSI_LOG"); env != nullptr && *env != '\0') {
        if (!parseScsiLog(env, config.scsiLog)) {
            problems.push_back(std::string("STARBURN_SCSI_LOG=\"") + env +
                               "\" is not yes, no or stderr; it is ignored");
        }
    }
    if (const char* env = std::getenv("STARBURN_READY_WAIT"); env != nullptr && *env != '\0') {
        if (!parseReadyWait(env, config.readyWait)) {
            problems.push_back(std::string("STARBURN_READY_WAIT=\"") + env + "\" is not " +
                               readyWaitRange() + "; it is ignored");
        }
    }
    return config;
}

} // namespace starburn::lb
