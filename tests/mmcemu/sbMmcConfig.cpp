// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/mmcemu/sbMmcConfig.h"

#include "ini/sbIni.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace sbmmc {

using sbini::sameName;

namespace {

bool parseCount(std::string_view text, int64_t limit, int64_t& out) {
    uint64_t n = 0;
    if (!sbini::parseUnsigned(text, n) || n > static_cast<uint64_t>(limit)) {
        return false;
    }
    out = static_cast<int64_t>(n);
    return true;
}

// "name@N" or "name:N"; the number after the separator.
bool argumentOf(std::string_view item, std::string_view name, char separator,
                std::string_view& argument) {
    if (item.size() <= name.size() + 1 || !sameName(item.substr(0, name.size()), name) ||
        item[name.size()] != separator) {
        return false;
    }
    argument = item.substr(name.size() + 1);
    return true;
}

// "N" or "N/QQ": so many commands answer 2/04/QQ (QQ hexadecimal, 01 when
// not given: becoming ready).
bool parseNotReady(std::string_view arg, Faults& f) {
    const size_t slash = arg.find('/');
    int64_t n = 0;
    if (!parseCount(arg.substr(0, slash), 1000000, n)) {
        return false;
    }
    int ascq = 0x01;
    if (slash != std::string_view::npos) {
        const std::string_view hex = arg.substr(slash + 1);
        if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
            !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
            return false;
        }
        ascq = std::stoi(std::string(hex), nullptr, 16);
    }
    f.notReady = static_cast<int>(n);
    f.notReadyAscq = static_cast<uint8_t>(ascq);
    return true;
}

} // namespace

bool parseFaults(std::string_view text, Faults& out, std::string& why) {
    Faults f;
    std::string normal(text);
    std::replace(normal.begin(), normal.end(), ',', ' ');
    std::replace(normal.begin(), normal.end(), '\t', ' ');
    for (const auto& raw : sbini::splitList(normal, ' ')) {
        const std::string item = sbini::trim(raw);
        if (item.empty()) {
            continue;
        }
        std::string_view arg;
        int64_t n = 0;
        if (sameName(item, "write-protected")) {
            f.writeProtected = true;
        } else if (sameName(item, "close-error")) {
            f.closeError = true;
        } else if (sameName(item, "opc-error")) {
            f.opcError = true;
        } else if (sameName(item, "write-opc-error")) {
            f.writeOpcError = true;
        } else if (argumentOf(item, "full", '@', arg) && parseCount(arg, 0x7fffffff, n)) {
            f.fullAt = static_cast<int32_t>(n);
        } else if (argumentOf(item, "write-error", '@', arg) && parseCount(arg, 0x7fffffff, n)) {
            f.writeErrors.push_back(static_cast<int32_t>(n));
        } else if (argumentOf(item, "read-error", '@', arg) && parseCount(arg, 0x7fffffff, n)) {
            f.readErrors.push_back(static_cast<int32_t>(n));
        } else if (argumentOf(item, "not-ready", ':', arg) && parseNotReady(arg, f)) {
        } else if (argumentOf(item, "no-disc-after", ':', arg) && parseCount(arg, INT64_MAX, n)) {
            f.noDiscAfter = n;
        } else if (argumentOf(item, "unplug", '@', arg) && parseCount(arg, INT64_MAX, n) && n > 0) {
            f.unplugAt = n;
        } else if (argumentOf(item, "slow", ':', arg) && parseCount(arg, 60000, n)) {
            f.slowMs = static_cast<int>(n);
        } else {
            why = "\"" + item +
                  "\" is not a fault (write-error@LBA, read-error@LBA, not-ready:N[/ASCQ], "
                  "no-disc-after:N, unplug@N, slow:MS, write-protected, close-error, opc-error, "
                  "write-opc-error, full@LBA)";
            return false;
        }
    }
    out = f;
    return true;
}

std::vector<DriveConfig> readConfig(const std::string& file, std::vector<std::string>& problems) {
    std::vector<DriveConfig> drives;
    std::string error;
    const auto doc = sbini::readIniFile(file, problems, error, "emulator configuration");
    if (!doc) {
        problems.push_back(error);
        return drives;
    }
    for (const auto& section : doc->sections) {
        const std::string& name = section.name;
        if (name.size() < 7 || !sameName(name.substr(0, 6), "Drive ")) {
            problems.push_back(
                sbini::iniProblem(*doc, section.line, "[" + name + "] is not a [Drive N] section"));
            continue;
        }
        DriveConfig c;
        int64_t number = 0;
        if (!parseCount(sbini::trim(name.substr(6)), 99, number)) {
            problems.push_back(sbini::iniProblem(*doc, section.line,
                                                 "a drive section is [Drive N], N from 0 to 99"));
            continue;
        }
        c.number = static_cast<int>(number);
        std::string media = "none";
        std::string state;
        int64_t capacity = 0;
        bool usable = true;
        auto bad = [&](const sbini::IniEntry& e, const std::string& why) {
            problems.push_back(sbini::iniProblem(*doc, e.line, e.key + ": " + why));
            usable = false;
        };
        for (const auto& e : section.entries) {
            int64_t n = 0;
            if (sameName(e.key, "Path")) {
                c.path = e.value;
            } else if (sameName(e.key, "Vendor") || sameName(e.key, "Product") ||
                       sameName(e.key, "Revision")) {
                const size_t limit = sameName(e.key, "Vendor")    ? 8
                                     : sameName(e.key, "Product") ? 16
                                                                  : 4;
                if (e.value.size() > limit ||
                    std::any_of(e.value.begin(), e.value.end(),
                                [](char ch) { return ch < 0x20 || ch > 0x7e; })) {
                    bad(e, "at most " + std::to_string(limit) + " printable ASCII characters");
                }
                (sameName(e.key, "Vendor")    ? c.vendor
                 : sameName(e.key, "Product") ? c.product
                                              : c.revision) = e.value;
            } else if (sameName(e.key, "Media")) {
                media = e.value;
            } else if (sameName(e.key, "State")) {
                state = e.value;
            } else if (sameName(e.key, "Capacity")) {
                if (!parseCount(e.value, 0x7fffff00, capacity)) {
                    bad(e, "a number of sectors");
                }
            } else if (sameName(e.key, "Speeds")) {
                c.speeds.clear();
                for (const auto& s : sbini::splitList(e.value)) {
                    if (!parseCount(sbini::trim(s), 0xffff, n) || n < 150) {
                        bad(e, "write speeds in kB/s from 150 to 65535, separated by commas");
                        break;
                    }
                    c.speeds.push_back(static_cast<int>(n));
                }
                std::sort(c.speeds.begin(), c.speeds.end());
            } else if (sameName(e.key, "Buffer")) {
                if (!parseCount(e.value, 65535, n) || n < 64) {
                    bad(e, "the buffer in kB, from 64 to 65535");
                }
                c.bufferKb = static_cast<int>(n);
            } else if (sameName(e.key, "Faults")) {
                std::string why;
                if (!parseFaults(e.value, c.faults, why)) {
                    bad(e, why);
                }
            } else if (sameName(e.key, "Replay")) {
                c.replay = e.value;
            } else {
                problems.push_back(sbini::iniProblem(
                    *doc, e.line, "unknown setting \"" + e.key + "\"; it is ignored"));
            }
        }
        std::string why;
        if (!parseDiscSpec(media, state, capacity, c.disc, why)) {
            problems.push_back(sbini::iniProblem(*doc, section.line, why));
            usable = false;
        }
        if (c.path.empty() || c.path.front() != '/') {
            problems.push_back(sbini::iniProblem(
                *doc, section.line,
                "[" + name + "] needs Path, the absolute path of its device file"));
            usable = false;
        }
        for (const auto& other : drives) {
            if (other.path == c.path || other.number == c.number) {
                problems.push_back(sbini::iniProblem(*doc, section.line,
                                                     "a second drive with that number or Path"));
                usable = false;
            }
        }
        if (!usable) {
            problems.push_back(sbini::iniProblem(*doc, section.line, "[" + name + "] is left out"));
            continue;
        }
        drives.push_back(std::move(c));
    }
    return drives;
}

} // namespace sbmmc
