// SPDX-License-Identifier: GPL-2.0-or-later
// Blu-ray discs as libburn's rules have them: a BD-RE is formatted before
// its first write (with spare areas unless asked otherwise), a BD-R only
// when spare areas are asked for, always with the exact format of the
// drive's list whose capacity was checked first; stream recording (no
// defect management) only when asked for.
#include "starburn/libburn/sbLibburnDrive.h"

#include "starburn/StarBurnLinux.h"
#include "starburn/libburn/sbLibburnDriveParts.h"
#include "starburn/libburn/sbLibburnRuntime.h"

#include <libburn/libburn.h>

#include <cerrno>
#include <thread>

namespace starburn::lb {
namespace {

using namespace burn;

constexpr int kBdr = 0x41;
constexpr int kBdre = 0x43;
// The format types of BD (MMC-5 6.5.4): BD-RE with spare areas, BD-RE
// without, BD-R with spare areas.
constexpr int kBdreSpare = 0x30;
constexpr int kBdreNoSpare = 0x31;
constexpr int kBdrSpare = 0x32;

// How often a running format is looked at (a real drive certifying a BD-RE takes hours).
constexpr auto kFormatPoll = std::chrono::milliseconds(100);

} // namespace

Error Drive::setBluRayWrite(uint32_t format, bool streamRecording) {
    std::lock_guard lock(mutex_);
    bluRayFormat_ = format;
    streamRecording_ = streamRecording;
    return {};
}

Error Drive::formatBluRayLocked(const WriteJob& job) {
    const int profile = state_.profile;
    if (setup_.stdio || (profile != kBdr && profile != kBdre) || state_.media != Media::Blank) {
        return {};
    }
    int status = 0;
    off_t size = 0;
    unsigned blockLength = 0;
    int count = 0;
    if (burn_disc_get_formats(drive_, &status, &size, &blockLength, &count) <= 0 ||
        status != BURN_FORMAT_IS_UNFORMATTED) {
        return {};
    }
    const bool spare = bluRayFormat_ != SB_BD_FORMAT_NO_SPARE;
    if (profile == kBdr && bluRayFormat_ != SB_BD_FORMAT_SPARE) {
        return {}; // a BD-R is written unformatted unless spare areas are asked for
    }
    const int wanted = profile == kBdr ? kBdrSpare : spare ? kBdreSpare : kBdreNoSpare;
    // The drive lists its default size first among the formats of a type.
    int index = -1;
    off_t capacity = 0;
    for (int i = 0; i < count && index < 0; ++i) {
        int type = 0;
        off_t bytes = 0;
        unsigned parameter = 0;
        if (burn_disc_get_format_descr(drive_, i, &type, &bytes, &parameter) > 0 &&
            type == wanted) {
            index = i;
            capacity = bytes;
        }
    }
    const std::string what = std::string(profile == kBdr ? "BD-R" : "BD-RE") +
                             (spare ? " with spare areas" : " without spare areas");
    if (index < 0) {
        return notSupported("The drive " + setup_.title + " offers no format for a " + what);
    }
    uint64_t blocks = 0;
    for (const auto& t : job.tracks) {
        blocks += (t.source->size() + 2047) / 2048;
    }
    const uint64_t formattedBlocks = static_cast<uint64_t>(capacity) / 2048;
    if (blocks > formattedBlocks) {
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, ENOSPC,
                         "The image does not fit on the disc: it needs " + std::to_string(blocks) +
                             " blocks, the " + what + " holds " + std::to_string(formattedBlocks) +
                             "; nothing was formatted or written");
    }
    note("Formatting the " + what + " in " + setup_.title + " (" + std::to_string(formattedBlocks) +
         " blocks) before the write");
    // bit7: the format of the list at bits 8-15; size mode 2: its own size.
    const int flag = (index << 8) | 0x80 | (2 << 1);
    const uint64_t mark = messageMark();
    {
        std::lock_guard lock(operationStartMutex());
        burn_disc_format(drive_, 0, flag);
    }
    while (burn_drive_get_status(drive_, nullptr) != BURN_DRIVE_IDLE) {
        std::this_thread::sleep_for(kFormatPoll);
    }
    const bool formatted = burn_drive_wrote_well(drive_) != 0;
    burn_drive_re_assess(drive_, 0);
    refreshLocked();
    if (!formatted || state_.media != Media::Blank) {
        int err = 0;
        const std::string why = failureText(messagesSince(mark), err);
        return makeError(SB_EXCEPTION_MEDIUM_ERROR, err != 0 ? static_cast<uint32_t>(err) : EIO,
                         "Formatting the " + what + " in " + setup_.title + " failed" +
                             (why.empty() ? "" : ": " + why));
    }
    return {};
}

} // namespace starburn::lb
