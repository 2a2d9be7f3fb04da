#include "devices/sbDiscSpeedList.h"

#include "base/sbError.h"
#include "base/sbLogger.h"
#include "base/sbUtils.h"
#include "engine/sbBurner.h"

#include <fmt/printf.h>

namespace {

constexpr uint32_t fastest = 65535;

} // namespace

const char* const NoSpeedSelectedText =
    "No burning speed is selected: the recorder reported no write speed for this disc. "
    "Check the disc and go back to choose the recorder again.";

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
    auto failure = [&Burner](const char* Name) { return Burner.FailureText(Name); };

    Logger().Log("StarBurn_CdvdBurnerGrabber_TestUnitReady");
    Burner.LastException = StarBurn_CdvdBurnerGrabber_TestUnitReady(
        Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
        Burner.FailureInfo);
    if (Burner.LastException != 0) {
        Logger().Log(failure("StarBurn_CdvdBurnerGrabber_TestUnitReady"));
    }

    SB_DISC_INFORMATION disc{};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetDiscInformation");
    Burner.LastException = StarBurn_CdvdBurnerGrabber_GetDiscInformation(
        Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
        Burner.FailureInfo, &disc);
    if (Burner.LastException != 0) {
        Logger().Log(failure("StarBurn_CdvdBurnerGrabber_GetDiscInformation"));
    }

    Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_SetSpeeds: ReadSpeed: %u,WriteSpeed: %u",
                              fastest, fastest));
    Burner.LastException = StarBurn_CdvdBurnerGrabber_SetSpeeds(
        Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
        Burner.FailureInfo, fastest, fastest);
    if (Burner.LastException != 0) {
        Burner.StatusText = failure("StarBurn_CdvdBurnerGrabber_SetSpeeds");
        Logger().Log(Burner.StatusText);
        throw EsbError(Burner.StatusText);
    }

    uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetSpeeds");
    Burner.LastException = StarBurn_CdvdBurnerGrabber_GetSpeeds(
        Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
        Burner.FailureInfo, &currentRead, &maximumRead, &currentWrite, &maximumWrite);
    MaxReadSpeed = maximumRead;
    MaxWriteSpeed = maximumWrite;
    if (Burner.LastException != 0) {
        const std::string text = failure("StarBurn_CdvdBurnerGrabber_GetSpeeds");
        Logger().Log(text);
        throw EsbError(text);
    }
    Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: "
                              "%u,MaximumReadSpeed: %u,CurrentWriteSpeed: %u,MaximumWriteSpeed: %u",
                              currentRead, maximumRead, currentWrite, maximumWrite));

    const TsbSpeedTable& table = SpeedTableFor(Burner.DiscType);
    for (const uint32_t requested : table.Speeds) {
        Burner.LastException = StarBurn_CdvdBurnerGrabber_SetSpeeds(
            Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
            Burner.FailureInfo, currentRead, requested);
        if (Burner.LastException != 0) {
            // The drive stays at the speed it had: its answer now would list
            // that speed for this request.
            Logger().Log(failure("StarBurn_CdvdBurnerGrabber_SetSpeeds"));
            continue;
        }
        // A failed answer leaves the last good one standing.
        uint32_t answer[4] = {currentRead, maximumRead, currentWrite, maximumWrite};
        Burner.LastException = StarBurn_CdvdBurnerGrabber_GetSpeeds(
            Burner.Grabber, Burner.ExceptionText, sbExceptionTextSize, &Burner.LastStatus,
            Burner.FailureInfo, &answer[0], &answer[1], &answer[2], &answer[3]);
        if (Burner.LastException == 0) {
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
