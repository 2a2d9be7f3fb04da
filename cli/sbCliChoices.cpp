// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliChoices.h"

#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "cli/sbCliRun.h"

#include <fmt/format.h>

#include <algorithm>
#include <sys/stat.h>
#include <vector>

namespace cli {

namespace {

// The mode sheet's order.
constexpr TCliMode kModes[] = {
    {"raw", mcDAORaw},
    {"dao", mcDAOPQ},
    {"sao", mcSAO},
    {"tao", mcTAO},
};

bool offered(const TCliMode& mode, const TsbDeviceItem& device) {
    // The main window allows the Disc- and Session-At-Once modes for a blank disc alone.
    const bool allowed = mode.Choice == mcTAO || DiscAllowsWholeDiscModes(device.DiscInformation);
    return ModeChoiceOffered(mode.Choice, device.WriteModes, device.DiscType, allowed);
}

} // namespace

const TCliMode& chooseMode(const TsbDeviceItem& device, const std::string& option) {
    std::vector<const TCliMode*> modes;
    for (const TCliMode& mode : kModes) {
        if (offered(mode, device)) {
            modes.push_back(&mode);
        }
    }
    if (modes.empty()) {
        stop(exNoDriveOrDisc,
             SbTranslate("tavrin-burn", "The recorder offers no burning mode for this disc"));
    }
    const std::string wanted = option.empty() ? "tao" : option;
    for (const TCliMode* mode : modes) {
        if (wanted == mode->Option) {
            return *mode;
        }
    }
    if (option.empty()) {
        return *modes.front();
    }
    std::string names;
    for (const TCliMode* mode : modes) {
        names += (names.empty() ? "" : ", ") + std::string(mode->Option);
    }
    const auto* asked = std::find_if(std::begin(kModes), std::end(kModes),
                                     [&](const TCliMode& m) { return option == m.Option; });
    stop(exNoDriveOrDisc,
         fmt::format(
             fmt::runtime(SbTranslate("tavrin-burn",
                                      "{} is not offered for this recorder and disc; offered: {}")),
             ModeChoiceName(asked->Choice), names));
}

TsbImageCheck existingImage(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stop(exUsage, LoadResString(rsMustSelectImageFile) + ": " + path);
    }
    try {
        return CheckImageFile(path);
    } catch (const EsbError& e) {
        stop(exUsage, e.what());
    }
}

int64_t checkImage(const std::string& path, const TsbDiscSpace& space) {
    const TsbImageCheck check = existingImage(path);
    const auto size = static_cast<int64_t>(check.FileBytes);
    if (size > space.FreeBytes) {
        stop(exNoDriveOrDisc, LoadResString(rsImageTooBig));
    }
    if (check.Incomplete()) {
        stop(exUsage, IncompleteImageText(check));
    }
    return size;
}

TCliSpeed chooseSpeed(const TsbDiscSpeedList& speeds, const std::string& option,
                      const TsbSpeedTable& table) {
    if (option == "max") {
        if (speeds.Count() == 0) {
            throw EsbError(SbTranslate("Devices", NoSpeedSelectedText));
        }
        const TsbDiscSpeedItem* fastest = speeds.Items(speeds.Count() - 1);
        return {fastest->SpeedInPoint, fastest->SpeedInSize};
    }
    if (option.back() == 'x' || option.back() == 'X') {
        const int factor = std::stoi(option.substr(0, option.size() - 1));
        const TsbDiscSpeedItem* item = speeds.FindBySpeedInPoint(factor);
        if (item == nullptr) {
            std::string list;
            for (int i = 0; i < speeds.Count(); ++i) {
                list += (list.empty() ? "" : ", ") + speeds.Items(i)->StrSpeed;
            }
            stop(exUsage,
                 fmt::format(
                     fmt::runtime(SbTranslate("tavrin-burn",
                                              "{}x is not a speed of this drive for this disc; it "
                                              "offers: {}")),
                     factor, list.empty() ? SbTranslate("tavrin-burn", "none") : list));
        }
        return {item->SpeedInPoint, item->SpeedInSize};
    }
    const int32_t kbps = std::stoi(option);
    return {std::max<int32_t>(1, kbps / static_cast<int32_t>(table.Unit)), kbps};
}

} // namespace cli

std::string CheckSpeedText(const std::string& text) {
    if (text == "max") {
        return "";
    }
    std::string digits = text;
    if (!digits.empty() && (digits.back() == 'x' || digits.back() == 'X')) {
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
        std::stoi(digits) == 0) {
        return SbTranslate("tavrin-burn",
                           "the speed is max, a number of KB/s (1385) or an x-factor (8x): ") +
               text;
    }
    return "";
}
