// SPDX-License-Identifier: GPL-2.0-or-later
// The staged preparation: up to eleven stages run in a fixed order before
// anything is written, each a row of the table at the end of this file.
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "engine/sbActions.h"
#include "platform/sbSystem.h"

#include <fmt/printf.h>

#include <cstring>

namespace {

std::string YesNo(uint8_t Flag) {
    return BoolToYesNoStr(Flag != 0, true);
}

} // namespace

// One run of the stages, and what a stage hands a later one.
struct TsbStagedAction::TStageRun {
    TsbStagedAction& Action;
    TsbBurner& Burner;
    uint8_t BupSupported = 0;
    // Handed to the image build: where the new session's image starts.
    uint32_t TrackStartAddress = 0;

    // Raises a failed call's text: the stages after it do not run.
    void FailStop(const TsbCallResult& Result) {
        if (Result.Failed()) {
            Burner.StatusText = Result.FailureText;
            throw EsbError(Burner.StatusText);
        }
    }
    // Reports a failed call's text as a warning, whatever the details
    // switch says, and the run goes on.
    void FailWarn(const TsbCallResult& Result) {
        if (Result.Failed()) {
            Burner.StatusText = Result.FailureText;
            Action.Report(Burner.StatusText, litWarning);
        }
    }

    void Cache();
    void UnitReady();
    void WriteModes();
    void BUPState();
    void EnableBUP();
    void SetSpeeds();
    void ReadSpeeds();
    void TrackInformation();
    void DiscInformation();
    void BuildImage();
    void PowerCalibration();
};

void TsbStagedAction::TStageRun::Cache() {
    // On this system the cache of a burn is the drive's own buffer: the
    // library streams the image to it in bounded chunks, and the final
    // sheet's buffer gauge shows how full it is.
    constexpr int64_t mb = 1024 * 1024;
    Burner.StatusText =
        fmt::sprintf(LoadResString(rsCacheUsed), (Burner.DeviceInfo.BufferSize + mb - 1) / mb);
    if (Action.reportDetails()) {
        Action.Report(Burner.StatusText, litInfo);
    }
}

void TsbStagedAction::TStageRun::UnitReady() {
    Action.Announce(rsTestingUnitReady);
    FailStop(Burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_TestUnitReady",
        Burner.Failure("StarBurn_CdvdBurnerGrabber_TestUnitReady"),
        [&] { return StarBurn_CdvdBurnerGrabber_TestUnitReady(SB_BURNER_HEAD(Burner)); })));
}

void TsbStagedAction::TStageRun::WriteModes() {
    uint8_t tao = 0, sao = 0, daoPQ = 0, daoRaw = 0;
    FailStop(Burner.Kept(
        LibraryCall("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes",
                    Burner.Failure("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes"), [&] {
                        return StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                            SB_BURNER_HEAD(Burner), &tao, &sao, &daoPQ, &daoRaw);
                    })));
    Action.Detail(fmt::sprintf("Track-At-Once: %s, Session-At-Once: %s, Disc-At-Once PQ: %s, "
                               "Disc-At-Once raw P-W: %s",
                               YesNo(tao), YesNo(sao), YesNo(daoPQ), YesNo(daoRaw)));
}

void TsbStagedAction::TStageRun::BUPState() {
    uint8_t enabled = 0;
    Action.Announce(rsGettingBupSupport);
    FailStop(Burner.Kept(LibraryCall("StarBurn_CdvdBurnerGrabber_GetBUP",
                                     Burner.Failure("StarBurn_CdvdBurnerGrabber_GetBUP"), [&] {
                                         return StarBurn_CdvdBurnerGrabber_GetBUP(
                                             SB_BURNER_HEAD(Burner), &enabled, &BupSupported);
                                     })));
    Action.Detail(fmt::sprintf("BUP (Buffer Underrun Protection) Enabled: %s, Supported: %s",
                               YesNo(enabled), YesNo(BupSupported)));
}

void TsbStagedAction::TStageRun::EnableBUP() {
    // Without the state stage the protection counts as not supported.
    if (BupSupported == 0) {
        return;
    }
    Action.Announce(rsEnablingBup);
    FailStop(Burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_SetBUP", Burner.Failure("StarBurn_CdvdBurnerGrabber_SetBUP"),
        [&] { return StarBurn_CdvdBurnerGrabber_SetBUP(SB_BURNER_HEAD(Burner), 1); })));
}

void TsbStagedAction::TStageRun::SetSpeeds() {
    Action.Announce(rsSettingSpeeds);
    FailWarn(Burner.Kept(LibraryCall("StarBurn_CdvdBurnerGrabber_SetSpeeds",
                                     Burner.Failure("StarBurn_CdvdBurnerGrabber_SetSpeeds"), [&] {
                                         return StarBurn_CdvdBurnerGrabber_SetSpeeds(
                                             SB_BURNER_HEAD(Burner), 0xFFFF,
                                             static_cast<uint32_t>(Burner.WriteSpeed));
                                     })));
}

void TsbStagedAction::TStageRun::ReadSpeeds() {
    uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
    Action.Announce(rsGettingCurrentSpeeds);
    FailStop(Burner.Kept(LibraryCall("StarBurn_CdvdBurnerGrabber_GetSpeeds",
                                     Burner.Failure("StarBurn_CdvdBurnerGrabber_GetSpeeds"), [&] {
                                         return StarBurn_CdvdBurnerGrabber_GetSpeeds(
                                             SB_BURNER_HEAD(Burner), &currentRead, &maximumRead,
                                             &currentWrite, &maximumWrite);
                                     })));
    Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: "
                              "%u,MaximumReadSpeed: %u,CurrentWriteSpeed: %u,MaximumWriteSpeed: %u",
                              currentRead, maximumRead, currentWrite, maximumWrite));
    for (const auto& [id, current, maximum] :
         {std::tuple{rsCurrentReadSpeed, currentRead, maximumRead},
          std::tuple{rsCurrentWriteSpeed, currentWrite, maximumWrite}}) {
        Burner.StatusText = fmt::sprintf(LoadResString(id), current, maximum);
        if (Action.reportDetails()) {
            Action.Report(Burner.StatusText, litInfo);
        }
    }
}

void TsbStagedAction::TStageRun::TrackInformation() {
    TsbTrackInformation track{};
    Action.Announce(rsGettingTrackInformation);
    FailWarn(Burner.Kept(
        LibraryCall("StarBurn_CdvdBurnerGrabber_GetTrackInformation: (for TRACK_NUMBER_INVISIBLE)",
                    Burner.Failure("StarBurn_CdvdBurnerGrabber_GetTrackInformation"), [&] {
                        return StarBurn_CdvdBurnerGrabber_GetTrackInformation(
                            SB_BURNER_HEAD(Burner), SB_TRACK_NUMBER_INVISIBLE, &track);
                    })));
    // Failed or not: the block as the library left it (zeros when it wrote nothing).
    SB_TRACK_INFORMATION block{};
    std::memcpy(&block, track.Bytes, sizeof block);
    TrackStartAddress = block.TrackStartAddress;
    // The verification reads back from where the write begins.
    Burner.WriteStartAddress =
        block.NextWritableAddressValid ? block.NextWritableAddress : block.TrackStartAddress;
    Action.Detail(fmt::sprintf("Track Blank: %s, NWA valid: %s, free LBs %d, track \u2116 %d",
                               YesNo(block.Blank), YesNo(block.NextWritableAddressValid),
                               block.FreeBlocks, block.TrackNumber));
}

void TsbStagedAction::TStageRun::DiscInformation() {
    SB_DISC_INFORMATION disc{};
    Action.Announce(rsGettingDiscInformation);
    FailStop(Burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
        Burner.Failure("StarBurn_CdvdBurnerGrabber_GetDiscInformation"), [&] {
            return StarBurn_CdvdBurnerGrabber_GetDiscInformation(SB_BURNER_HEAD(Burner), &disc);
        })));
    Action.Detail(fmt::sprintf(
        "Disc erasable: %s, Disc status: 0x%02X, Last session status: 0x%02X, Disc type: %d",
        YesNo(disc.Erasable), disc.DiscStatus, disc.LastSessionStatus, Burner.DiscType));
}

void TsbStagedAction::TStageRun::BuildImage() {
    if (Burner.FileTree == nullptr) {
        return;
    }
    Action.Announce(rsBuildingIsoImage);
    if (Burner.BootEnabled && !Burner.BootImage.empty()) {
        FailStop(Burner.Kept(LibraryCall(
            "StarBurn_ISO9660JolietFileTree_SetBootImage: BootImage: " + Burner.BootImage,
            Burner.FailurePattern("StarBurn_ISO9660JolietFileTree_SetBootImage() failed, "
                                  "exception %d, status %d, text \"%s\"\\n"),
            [&] {
                return StarBurn_ISO9660JolietFileTree_SetBootImage(
                    Burner.FileTree, Burner.BootImage.c_str(), 6, 2, 1, 0, Burner.ExceptionText,
                    sbExceptionTextSize, &Burner.LastStatus);
            })));
    }
    const std::string executable = platform::GetExecutablePath();
    FailStop(Burner.Kept(
        LibraryCall("StarBurn_ISO9660JolietFileTree_BuildImage",
                    // The failure names the tree without "Joliet", as it always did.
                    Burner.Failure("StarBurn_ISO9660FileTree_BuildImage"), [&] {
                        return StarBurn_ISO9660JolietFileTree_BuildImage(
                            SB_TREE_HEAD(Burner), TrackStartAddress, 0, 1,
                            Burner.VolumeLabel.c_str(), executable.c_str(), executable.c_str());
                    })));
    Burner.StatusText = fmt::sprintf("Need to save %d MB", Burner.ImageSize() / 1024 / 1024);
    Logger().Log(Burner.StatusText);
    Action.Report(Burner.StatusText, litInfo);
}

void TsbStagedAction::TStageRun::PowerCalibration() {
    if (!Burner.SendOPC) {
        return;
    }
    Action.Announce(rsSendingOpc);
    const TsbCallResult result = Burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_SendOPC", Burner.Failure("StarBurn_CdvdBurnerGrabber_SendOPC"),
        [&] { return StarBurn_CdvdBurnerGrabber_SendOPC(SB_BURNER_HEAD(Burner)); }));
    // A refusal is never taken for a calibration: it stops the run when the
    // user asked for one to be required, else the user hears of it and the
    // disc is written as without the choice.
    if (Burner.RequireOPC) {
        FailStop(result);
    } else if (result.Failed()) {
        Burner.StatusText = result.FailureText;
        Action.Report(Burner.StatusText + ": the disc is written without power calibration",
                      litWarning);
    }
}

bool TsbStagedAction::reportDetails() const {
    return ActionList()->ReportDetails;
}

void TsbStagedAction::Announce(int Id) {
    TsbBurner& burner = Burner();
    burner.StatusText = LoadResString(Id);
    if (reportDetails()) {
        Report(burner.StatusText, litInfo);
    }
}

void TsbStagedAction::Detail(const std::string& Text) {
    TsbBurner& burner = Burner();
    burner.StatusText = Text;
    Logger().Log(burner.StatusText);
    if (reportDetails()) {
        Report(burner.StatusText, litInfo);
    }
}

void TsbStagedAction::Execute(TsbActionItem* Item) {
    TsbAction::Execute(Item);
    TsbBurner& burner = Burner();
    burner.OnMessage = [this](void* Sender, const std::string& Text, TsbLogItemType Kind) {
        MessageForwarder(Sender, Text, Kind);
    };
    // The stages in the order they run; a stage whose bit is clear is skipped.
    static constexpr struct {
        uint16_t Bit;
        void (TStageRun::*Run)();
    } stages[] = {
        {stCache, &TStageRun::Cache},
        {stUnitReady, &TStageRun::UnitReady},
        {stWriteModes, &TStageRun::WriteModes},
        {stBUPState, &TStageRun::BUPState},
        {stEnableBUP, &TStageRun::EnableBUP},
        {stSetSpeeds, &TStageRun::SetSpeeds},
        {stReadSpeeds, &TStageRun::ReadSpeeds},
        {stTrackInformation, &TStageRun::TrackInformation},
        {stDiscInformation, &TStageRun::DiscInformation},
        {stBuildImage, &TStageRun::BuildImage},
        {stPowerCalibration, &TStageRun::PowerCalibration},
    };
    TStageRun run{*this, burner};
    for (const auto& stage : stages) {
        if ((Stages & stage.Bit) != 0) {
            (run.*stage.Run)();
        }
    }
}
