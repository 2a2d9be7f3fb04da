// SPDX-License-Identifier: GPL-2.0-or-later
#include "devices/sbDiscSpeedList.h"

#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "engine/sbBurner.h"

#include <fmt/printf.h>

namespace {

constexpr uint32_t fastest = 65535;

} // namespace

const char* const NoSpeedSelectedText = SB_TRANSLATE_NOOP(
    "Devices", "No burning speed is selected: the recorder reported no write speed for this disc. "
               "Check the disc and go back to choose the recorder again.");

const TsbSpeedTable& SpeedTableFor(uint8_t DiscType) {
    static const TsbSpeedTable dvd{1385,
                                   {1385, 2770, 3324, 4155, 5540, 6925, 8310, 11080, 16620, 22160}};
    static const TsbSpeedTable cd{176,
                                  {176, 353, 387, 528, 706, 1056, 1400, 1760, 2112, 2800, 3250,
                                   4224, 7040, 7744, 8448, 9152}};
    return IsDVDDiscType(DiscType) ? dvd : cd;
}

TsbDiscSpeedItem* TsbDiscSpeedList::Add() {
    items_.push_back(std::make_unique<TsbDiscSpeedItem>());
    return items_.back().get();
}

TsbDiscSpeedItem* TsbDiscSpeedList::FindBySpeedInPoint(int32_t Factor) const {
    for (const auto& item : items_) {
        if (item->SpeedInPoint == Factor) {
            return item.get();
        }
    }
    return nullptr;
}

void TsbDiscSpeedList::FormatTexts() {
    for (const auto& item : items_) {
        item->StrSpeed = fmt::sprintf("%d.0x", item->SpeedInPoint) + " (" +
                         std::to_string(item->SpeedInSize) + " KB/sec)";
    }
}

void TsbDiscSpeedList::Fill(TsbBurner& Burner) {
    Clear();
    TsbBurner& b = Burner;
    // The unit test and the disc information only prepare the drive: a
    // failure is logged and the list is built all the same.
    b.Kept(LibraryCall("StarBurn_CdvdBurnerGrabber_TestUnitReady",
                       b.Failure("StarBurn_CdvdBurnerGrabber_TestUnitReady"), [&] {
                           return StarBurn_CdvdBurnerGrabber_TestUnitReady(SB_BURNER_HEAD(b));
                       }));
    SB_DISC_INFORMATION disc{};
    b.Kept(LibraryCall("StarBurn_CdvdBurnerGrabber_GetDiscInformation",
                       b.Failure("StarBurn_CdvdBurnerGrabber_GetDiscInformation"), [&] {
                           return StarBurn_CdvdBurnerGrabber_GetDiscInformation(SB_BURNER_HEAD(b),
                                                                                &disc);
                       }));

    const TsbCallResult set = b.Kept(LibraryCall(
        fmt::sprintf("StarBurn_CdvdBurnerGrabber_SetSpeeds: ReadSpeed: %u,WriteSpeed: %u", fastest,
                     fastest),
        b.Failure("StarBurn_CdvdBurnerGrabber_SetSpeeds"),
        [&] { return StarBurn_CdvdBurnerGrabber_SetSpeeds(SB_BURNER_HEAD(b), fastest, fastest); }));
    if (set.Failed()) {
        b.StatusText = set.FailureText;
        throw EsbError(b.StatusText);
    }

    uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
    const TsbCallResult got = b.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_GetSpeeds", b.Failure("StarBurn_CdvdBurnerGrabber_GetSpeeds"),
        [&] {
            return StarBurn_CdvdBurnerGrabber_GetSpeeds(SB_BURNER_HEAD(b), &currentRead,
                                                        &maximumRead, &currentWrite, &maximumWrite);
        }));
    MaxReadSpeed = maximumRead;
    MaxWriteSpeed = maximumWrite;
    if (got.Failed()) {
        throw EsbError(got.FailureText);
    }
    Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: "
                              "%u,MaximumReadSpeed: %u,CurrentWriteSpeed: %u,MaximumWriteSpeed: %u",
                              currentRead, maximumRead, currentWrite, maximumWrite));

    // A request and a question per speed of the table: not announced, so
    // the log keeps to what the user can follow; a refusal is logged.
    const TsbSpeedTable& table = SpeedTableFor(b.DiscType);
    for (const uint32_t requested : table.Speeds) {
        const TsbCallResult refused =
            b.Kept(QuietLibraryCall(b.Failure("StarBurn_CdvdBurnerGrabber_SetSpeeds"), [&] {
                return StarBurn_CdvdBurnerGrabber_SetSpeeds(SB_BURNER_HEAD(b), currentRead,
                                                            requested);
            }));
        if (refused.Failed()) {
            // The drive stays at the speed it had: its answer now would list
            // that speed for this request.
            continue;
        }
        // A failed answer leaves the last good one standing.
        uint32_t answer[4] = {currentRead, maximumRead, currentWrite, maximumWrite};
        const TsbCallResult answered =
            b.Kept(QuietLibraryCall(b.Failure("StarBurn_CdvdBurnerGrabber_GetSpeeds"), [&] {
                return StarBurn_CdvdBurnerGrabber_GetSpeeds(SB_BURNER_HEAD(b), &answer[0],
                                                            &answer[1], &answer[2], &answer[3]);
            }));
        if (!answered.Failed()) {
            currentRead = answer[0];
            maximumRead = answer[1];
            currentWrite = answer[2];
            maximumWrite = answer[3];
        }
        const auto factor = static_cast<int32_t>(currentWrite / table.Unit);
        if (FindBySpeedInPoint(factor) == nullptr) {
            TsbDiscSpeedItem* item = Add();
            item->SpeedInPoint = factor;
            item->SpeedInSize = static_cast<int32_t>(currentWrite);
        }
    }
    FormatTexts();
}
