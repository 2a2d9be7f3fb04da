// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/mmcemu/sbMmcReplay.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace sbmmc {

namespace {

// "12 00 00 00 24 00 " -> bytes; false for any other line.
bool hexLine(const std::string& line, std::vector<uint8_t>& out) {
    out.clear();
    std::istringstream in(line);
    std::string token;
    while (in >> token) {
        if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
            !std::isxdigit(static_cast<unsigned char>(token[1]))) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
    }
    return !out.empty();
}

bool byteCount(const std::string& line, const char* prefix, size_t& count) {
    const std::string p(prefix);
    if (line.compare(0, p.size(), p) != 0) {
        return false;
    }
    count = std::strtoul(line.c_str() + p.size(), nullptr, 10);
    return true;
}

void keepLonger(std::vector<uint8_t>& slot, std::vector<uint8_t> reply) {
    if (reply.size() > slot.size()) {
        slot = std::move(reply);
    }
}

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

} // namespace

bool readReplay(const std::string& path, Replay& out, std::string& why) {
    std::ifstream in(path);
    if (!in) {
        why = "the SCSI log \"" + path + "\" cannot be read";
        return false;
    }
    Replay r;
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> bytes;
    bool expectCdb = false;
    int profile = -1;
    std::string line;
    auto reply = [&](std::vector<uint8_t> data) {
        if (cdb.empty()) {
            return;
        }
        switch (cdb[0]) {
        case 0x12: // INQUIRY, standard data
            if (cdb.size() >= 6 && !(cdb[1] & 1) && data.size() >= 36) {
                data.resize(std::min<size_t>(data.size(), 5 + data[4]));
                keepLonger(r.inquiry, std::move(data));
            }
            break;
        case 0x46: // GET CONFIGURATION: the whole list tells the loaded profile
            if (data.size() >= 8) {
                const size_t length = std::min<size_t>(data.size(), be32(data.data()) + 4);
                profile = (data[6] << 8) | data[7];
                if (cdb.size() >= 4 && (cdb[1] & 3) == 0 && cdb[2] == 0 && cdb[3] == 0 &&
                    length > 8) {
                    data.resize(length);
                    keepLonger(r.configuration[profile], std::move(data));
                }
            }
            break;
        case 0x5A: // MODE SENSE (10), page 2A
            if (profile >= 0 && cdb.size() >= 3 && (cdb[2] & 0x3f) == 0x2A && data.size() >= 10) {
                const size_t descriptors = (size_t(data[6]) << 8) | data[7];
                if (data.size() > 8 + descriptors + 2) {
                    std::vector<uint8_t> page(data.begin() + 8 + descriptors, data.end());
                    if ((page[0] & 0x3f) == 0x2A && page.size() >= size_t(page[1]) + 2) {
                        page.resize(size_t(page[1]) + 2);
                        keepLonger(r.page2A[profile], std::move(page));
                    }
                }
            }
            break;
        case 0x23: // READ FORMAT CAPACITIES
            if (profile >= 0 && data.size() >= 12) {
                const size_t length = std::min<size_t>(data.size(), size_t(data[3]) + 4);
                data.resize(length);
                const std::pair<int, int> key{profile, data[8] & 3};
                keepLonger(r.formatCapacities[key], std::move(data));
            }
            break;
        default:
            break;
        }
    };
    while (std::getline(in, line)) {
        size_t count = 0;
        if (byteCount(line, "From drive: ", count) || byteCount(line, "To drive: ", count)) {
            const bool fromDrive = line[0] == 'F';
            std::vector<uint8_t> data;
            while (data.size() < count && std::getline(in, line) && hexLine(line, bytes)) {
                data.insert(data.end(), bytes.begin(), bytes.end());
            }
            if (fromDrive) {
                reply(std::move(data));
            }
            expectCdb = false;
        } else if (expectCdb && hexLine(line, bytes)) {
            cdb = bytes;
            expectCdb = false;
        } else if (!line.empty() && std::isalpha(static_cast<unsigned char>(line[0])) &&
                   !hexLine(line, bytes)) {
            expectCdb = true; // a command's name; its bytes follow
        }
    }
    if (r.empty()) {
        why = "the SCSI log \"" + path +
              "\" holds no INQUIRY, GET CONFIGURATION, page 2A or READ FORMAT CAPACITIES answer";
        return false;
    }
    out = std::move(r);
    return true;
}

} // namespace sbmmc
