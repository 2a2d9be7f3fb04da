#include "engine/sbActions.h"

#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "engine/sbThread.h"
#include "engine/sbVerify.h"
#include "platform/sbSystem.h"

#include <fmt/printf.h>

#include <cstring>

namespace {

// The common failure text of a library function, as a pattern for FailStop and FailWarn.
std::string failureFormat(const std::string& Name) {
    return Name + "() failed, exception %d, status %d, text \"%s\"";
}

std::string YesNo(uint8_t Flag) {
    return BoolToYesNoStr(Flag != 0, true);
}

// What the disc in the burner's drive is, as its disc information says, for
// a message that tells the user what a failure left behind. Asked with
// buffers of its own: the burner keeps the failure being reported.
std::string DiscStateText(const TsbBurner& burner) {
    SB_DISC_INFORMATION disc{};
    char text[sbExceptionTextSize] = {};
    uint32_t status = 0;
    uint8_t failureInfo[sbBurnerFailureInfoSize] = {};
    Logger().Log("StarBurn_CdvdBurnerGrabber_GetDiscInformation");
    const uint8_t result = StarBurn_CdvdBurnerGrabber_GetDiscInformation(
        burner.Grabber, text, sizeof text, &status, failureInfo, &disc);
    if (result != 0) {
        Logger().Log(LibraryFailureText("StarBurn_CdvdBurnerGrabber_GetDiscInformation", result,
                                        status, text, sizeof text));
        return "as the drive does not tell: most likely appendable, its last session open";
    }
    switch (disc.DiscStatus) {
    case SB_DISC_STATUS_BLANK:
        return "blank";
    case SB_DISC_STATUS_COMPLETE:
        return "complete";
    case SB_DISC_STATUS_APPENDABLE:
        return disc.LastSessionStatus == SB_SESSION_STATUS_COMPLETE
                   ? "appendable"
                   : "appendable, its last session open (unfinished)";
    default:
        return "in a state the drive does not name";
    }
}

// Runs one function on a worker thread.
class TsbFunctionThread : public TsbThread {
public:
    explicit TsbFunctionThread(std::function<void()> Body) : body_(std::move(Body)) {}

protected:
    void Execute() override { body_(); }

private:
    std::function<void()> body_;
};

} // namespace

// ---------------------------------------------------------------------------
// TsbActionItem, TsbActionList

void TsbActionItem::Assign(const TsbActionItem& Source) {
    Action = Source.Action;
    PageIndex = Source.PageIndex;
}

TsbActionItem* TsbActionList::Add() {
    items_.push_back(std::make_unique<TsbActionItem>(this));
    return items_.back().get();
}

void TsbActionList::Delete(int Index) {
    items_.erase(items_.begin() + Index);
}

void TsbActionList::RemoveFromPage(int32_t PageIndex) {
    for (std::size_t first = 0; first < items_.size(); ++first) {
        if (items_[first]->PageIndex == PageIndex) {
            while (items_.size() > first) {
                items_.pop_back();
            }
            return;
        }
    }
}

void TsbActionList::BindMessages() {
    for (const auto& item : items_) {
        if (item->Action != nullptr) {
            item->Action->OnMessage = OnMessage;
        }
    }
}

// ---------------------------------------------------------------------------
// TsbAction

void TsbAction::Execute(TsbActionItem* Item) {
    if (Item == nullptr) {
        throw EsbError("Invalid action");
    }
    actionList_ = Item->Collection();
    CallBackEventer().DoProgress(0);
}

void TsbAction::Report(const std::string& Text, TsbLogItemType Kind) {
    if (OnMessage) {
        OnMessage(this, Text, Kind);
    }
}

void TsbAction::MessageForwarder(void* /*Sender*/, const std::string& Text, TsbLogItemType Kind) {
    Report(Text, Kind);
}

TsbBurner& TsbAction::Burner() const {
    if (actionList_ == nullptr || actionList_->Burner == nullptr) {
        throw EsbError("The action has no burner to work on");
    }
    return *actionList_->Burner;
}

void TsbAction::EjectDisc() {
    TsbBurner& burner = Burner();
    burner.ReleaseDevice();
    Logger().Log("StarBurn_CdvdBurnerGrabber_Eject");
    burner.LastException =
        StarBurn_CdvdBurnerGrabber_Eject(burner.Grabber, burner.ExceptionText, sbExceptionTextSize,
                                         &burner.LastStatus, burner.FailureInfo);
    if (burner.LastException != 0) {
        burner.StatusText = burner.FailureText("StarBurn_CdvdBurnerGrabber_Eject");
        Logger().Log(burner.StatusText);
        Report(burner.StatusText, litError);
        return;
    }
    burner.StatusText = LoadResString(rsEjectDisc);
    Report(burner.StatusText, litInfo);
}

void TsbAction::CloseSession() {
    TsbBurner& burner = Burner();
    CallBackEventer().DoProgress(100);
    burner.StatusText = LoadResString(rsClosingSession);
    Report(burner.StatusText, litInfo);
    Logger().Log("StarBurn_CdvdBurnerGrabber_CloseSession");
    burner.LastException = StarBurn_CdvdBurnerGrabber_CloseSession(
        burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
        burner.FailureInfo);
    if (burner.LastException == 0) {
        return;
    }
    // The two characters backslash and n are part of this text.
    burner.StatusText = burner.FailureText("StarBurn_CdvdBurnerGrabber_CloseSession") + "\\n";
    Logger().Log(burner.StatusText);
    // The track is written, but a disc whose session is still open is no
    // finished burn: other drives may not read it until it is closed.
    const std::string why = BufferToStr(burner.ExceptionText, sizeof burner.ExceptionText);
    burner.StatusText = "The session could not be closed" + (why.empty() ? "" : " (" + why + ")") +
                        ": the disc is left " + DiscStateText(burner);
    Logger().Log(burner.StatusText);
    Succeeded = false;
    burner.WriteStarted = false;
    throw EsbError(burner.StatusText);
}

bool TsbAction::VerifyDisc(const std::string& ImagePath) {
    TsbBurner& burner = Burner();
    auto line = [this](const std::string& Text, TsbLogItemType Kind) {
        Logger().Log(Text);
        Report(Text, Kind);
    };
    if (burner.TestWrite) {
        line("Verification skipped: test mode writes nothing", litInfo);
        return true;
    }
    burner.StatusText = "Verifying disc";
    line(burner.StatusText, litInfo);
    // The disc is read on a worker, so the window stays alive and Cancel is heard.
    TsbVerifyResult result;
    TsbVerifyCallbacks callbacks;
    callbacks.Progress = [](int32_t Percent) { CallBackEventer().DoProgress(Percent); };
    callbacks.Cancelled = [&burner] { return burner.Cancelled.load(); };
    TsbFunctionThread worker([&] {
        // Raised from the worker, as the burn thread raises them, so they
        // reach the window after the burn thread's own.
        // Nothing may escape a thread: it would end the program.
        try {
            CallBackEventer().DoCancelEnabled(true);
            result =
                VerifyWrittenImage(burner.Grabber, ImagePath, burner.WriteStartAddress, callbacks);
        } catch (const std::exception& e) {
            result.Outcome = TsbVerifyOutcome::ImageError;
            result.FailureText = std::string("Verification failed: ") + e.what();
        } catch (...) {
            result.Outcome = TsbVerifyOutcome::ImageError;
            result.FailureText = "Verification failed with an unknown error";
        }
        try {
            CallBackEventer().DoCancelEnabled(false);
        } catch (...) {
            // The button stays as it was; the result below is what counts.
        }
    });
    worker.Start();
    while (!worker.WaitFor(std::chrono::milliseconds(80))) {
        ProcessMessages();
    }
    worker.Join();

    switch (result.Outcome) {
    case TsbVerifyOutcome::Match:
        line(fmt::sprintf("Disc verified: %u blocks match the image", result.Blocks), litInfo);
        line("SHA-256 of the written data: " + result.Sha256, litInfo);
        if (result.Md5Checked) {
            line(result.Md5Correct ? std::string("Implanted MD5 checksum: correct")
                                   : result.FailureText,
                 result.Md5Correct ? litInfo : litError);
        }
        break;
    case TsbVerifyOutcome::Cancelled:
        line(result.FailureText, litWarning);
        break;
    default:
        line(result.FailureText, litError);
        break;
    }
    if (result.Passed()) {
        return true;
    }
    burner.StatusText = result.FailureText;
    Succeeded = false;
    if (result.Outcome != TsbVerifyOutcome::Cancelled) {
        // The finish window then tells of an error, not of a finished burn.
        burner.WriteStarted = false;
    }
    return false;
}

// ---------------------------------------------------------------------------
// TsbStagedAction

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

void TsbStagedAction::FailStop(const std::string& Text) {
    TsbBurner& burner = Burner();
    if (burner.LastException == 0) {
        return;
    }
    burner.StatusText = burner.FormatFailure(Text);
    Logger().Log(burner.StatusText);
    throw EsbError(burner.StatusText);
}

void TsbStagedAction::FailWarn(const std::string& Text) {
    TsbBurner& burner = Burner();
    if (burner.LastException == 0) {
        return;
    }
    burner.StatusText = burner.FormatFailure(Text);
    Logger().Log(burner.StatusText);
    Report(burner.StatusText, litWarning);
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

    // Each library call of a stage: announced in the diagnostic log, its
    // result kept in the burner.
    auto call = [&burner](const char* LogText, auto&& Function) {
        Logger().Log(LogText);
        burner.LastException = Function();
    };
    const auto stage = [this](uint16_t Bit) { return (Stages & Bit) != 0; };

    if (stage(stCache)) {
        burner.StatusText = fmt::sprintf(LoadResString(rsCacheUsed), 160);
        if (reportDetails()) {
            Report(burner.StatusText, litInfo);
        }
    }

    if (stage(stUnitReady)) {
        Announce(rsTestingUnitReady);
        call("StarBurn_CdvdBurnerGrabber_TestUnitReady", [&] {
            return StarBurn_CdvdBurnerGrabber_TestUnitReady(burner.Grabber, burner.ExceptionText,
                                                            sbExceptionTextSize, &burner.LastStatus,
                                                            burner.FailureInfo);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_TestUnitReady"));
    }

    if (stage(stWriteModes)) {
        uint8_t tao = 0, sao = 0, daoPQ = 0, daoRaw = 0;
        call("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes", [&] {
            return StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, &tao, &sao, &daoPQ, &daoRaw);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_ProbeSupportedWriteModes"));
        Detail(fmt::sprintf("Track-At-Once: %s, Session-At-Once: %s, Disc-At-Once PQ: %s, "
                            "Disc-At-Once raw P-W: %s",
                            YesNo(tao), YesNo(sao), YesNo(daoPQ), YesNo(daoRaw)));
    }

    uint8_t bupEnabled = 0, bupSupported = 0;
    if (stage(stBUPState)) {
        Announce(rsGettingBupSupport);
        call("StarBurn_CdvdBurnerGrabber_GetBUP", [&] {
            return StarBurn_CdvdBurnerGrabber_GetBUP(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, &bupEnabled, &bupSupported);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_GetBUP"));
        Detail(fmt::sprintf("BUP (Buffer Underrun Protection) Enabled: %s, Supported: %s",
                            YesNo(bupEnabled), YesNo(bupSupported)));
    }

    if (stage(stEnableBUP) && bupSupported != 0) {
        Announce(rsEnablingBup);
        call("StarBurn_CdvdBurnerGrabber_SetBUP", [&] {
            return StarBurn_CdvdBurnerGrabber_SetBUP(burner.Grabber, burner.ExceptionText,
                                                     sbExceptionTextSize, &burner.LastStatus,
                                                     burner.FailureInfo, 1);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_SetBUP"));
    }

    if (stage(stSetSpeeds)) {
        Announce(rsSettingSpeeds);
        call("StarBurn_CdvdBurnerGrabber_SetSpeeds", [&] {
            return StarBurn_CdvdBurnerGrabber_SetSpeeds(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, 0xFFFF, static_cast<uint32_t>(burner.WriteSpeed));
        });
        FailWarn(failureFormat("StarBurn_CdvdBurnerGrabber_SetSpeeds"));
    }

    if (stage(stReadSpeeds)) {
        uint32_t currentRead = 0, maximumRead = 0, currentWrite = 0, maximumWrite = 0;
        Announce(rsGettingCurrentSpeeds);
        call("StarBurn_CdvdBurnerGrabber_GetSpeeds", [&] {
            return StarBurn_CdvdBurnerGrabber_GetSpeeds(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, &currentRead, &maximumRead, &currentWrite, &maximumWrite);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_GetSpeeds"));
        Logger().Log(fmt::sprintf("StarBurn_CdvdBurnerGrabber_GetSpeeds: CurrentReadSpeed: "
                                  "%u,MaximumReadSpeed: %u,CurrentWriteSpeed: "
                                  "%u,MaximumWriteSpeed: %u",
                                  currentRead, maximumRead, currentWrite, maximumWrite));
        burner.StatusText =
            fmt::sprintf(LoadResString(rsCurrentReadSpeed), currentRead, maximumRead);
        if (reportDetails()) {
            Report(burner.StatusText, litInfo);
        }
        burner.StatusText =
            fmt::sprintf(LoadResString(rsCurrentWriteSpeed), currentWrite, maximumWrite);
        if (reportDetails()) {
            Report(burner.StatusText, litInfo);
        }
    }

    TsbTrackInformation track{};
    // Handed to the image build: where the new session's image starts.
    uint32_t trackStartAddress = 0;
    if (stage(stTrackInformation)) {
        Announce(rsGettingTrackInformation);
        call("StarBurn_CdvdBurnerGrabber_GetTrackInformation: (for TRACK_NUMBER_INVISIBLE)", [&] {
            return StarBurn_CdvdBurnerGrabber_GetTrackInformation(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, SB_TRACK_NUMBER_INVISIBLE, &track);
        });
        FailWarn(failureFormat("StarBurn_CdvdBurnerGrabber_GetTrackInformation"));
        SB_TRACK_INFORMATION block{};
        std::memcpy(&block, track.Bytes, sizeof block);
        trackStartAddress = block.TrackStartAddress;
        // The verification reads back from where the write begins.
        burner.WriteStartAddress =
            block.NextWritableAddressValid ? block.NextWritableAddress : block.TrackStartAddress;
        Detail(fmt::sprintf("Track Blank: %s, NWA valid: %s, free LBs %d, track \u2116 %d",
                            YesNo(block.Blank), YesNo(block.NextWritableAddressValid),
                            block.FreeBlocks, block.TrackNumber));
    }

    if (stage(stDiscInformation)) {
        SB_DISC_INFORMATION disc{};
        Announce(rsGettingDiscInformation);
        call("StarBurn_CdvdBurnerGrabber_GetDiscInformation", [&] {
            return StarBurn_CdvdBurnerGrabber_GetDiscInformation(
                burner.Grabber, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                burner.FailureInfo, &disc);
        });
        FailStop(failureFormat("StarBurn_CdvdBurnerGrabber_GetDiscInformation"));
        Detail(fmt::sprintf(
            "Disc erasable: %s, Disc status: 0x%02X, Last session status: 0x%02X, Disc type: %d",
            YesNo(disc.Erasable), disc.DiscStatus, disc.LastSessionStatus, burner.DiscType));
    }

    if (stage(stBuildImage) && burner.FileTree != nullptr) {
        Announce(rsBuildingIsoImage);
        if (burner.BootEnabled && !burner.BootImage.empty()) {
            Logger().Log("StarBurn_ISO9660JolietFileTree_SetBootImage: BootImage: " +
                         burner.BootImage);
            burner.LastException = StarBurn_ISO9660JolietFileTree_SetBootImage(
                burner.FileTree, burner.BootImage.c_str(), 6, 2, 1, 0, burner.ExceptionText,
                sbExceptionTextSize, &burner.LastStatus);
            FailStop("StarBurn_ISO9660JolietFileTree_SetBootImage() failed, exception %d, status "
                     "%d, text \"%s\"\\n");
        }
        const std::string executable = platform::GetExecutablePath();
        call("StarBurn_ISO9660JolietFileTree_BuildImage", [&] {
            return StarBurn_ISO9660JolietFileTree_BuildImage(
                burner.FileTree, burner.ExceptionText, sbExceptionTextSize, &burner.LastStatus,
                trackStartAddress, 0, 1, burner.VolumeLabel.c_str(), executable.c_str(),
                executable.c_str());
        });
        FailStop("StarBurn_ISO9660FileTree_BuildImage() failed, exception %d, status %d, text "
                 "\"%s\"");
        uint32_t high = 0;
        const uint32_t low = StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(burner.FileTree, &high);
        const int64_t size = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
        burner.StatusText = fmt::sprintf("Need to save %d MB", size / 1024 / 1024);
        Logger().Log(burner.StatusText);
        Report(burner.StatusText, litInfo);
    }

    if (stage(stPowerCalibration) && burner.SendOPC) {
        Announce(rsSendingOpc);
        call("StarBurn_CdvdBurnerGrabber_SendOPC", [&] {
            return StarBurn_CdvdBurnerGrabber_SendOPC(burner.Grabber, burner.ExceptionText,
                                                      sbExceptionTextSize, &burner.LastStatus,
                                                      burner.FailureInfo);
        });
        // A refusal is never taken for a calibration: it stops the run when
        // the user asked for one to be required, else the user hears of it
        // and the disc is written as without the choice.
        const std::string failure = failureFormat("StarBurn_CdvdBurnerGrabber_SendOPC");
        if (burner.RequireOPC) {
            FailStop(failure);
        } else if (burner.LastException != 0) {
            burner.StatusText = burner.FormatFailure(failure);
            Logger().Log(burner.StatusText);
            Report(burner.StatusText + ": the disc is written without power calibration",
                   litWarning);
        }
    }
}

// ---------------------------------------------------------------------------
// TsbBurnAtOnceToCDDVDAction

void TsbBurnAtOnceToCDDVDAction::Execute(TsbActionItem* Item) {
    TsbStagedAction::Execute(Item);
    TsbBurner& burner = Burner();
    const std::string& sourceFileName = ActionList()->Options.SourceFileName;
    const bool fromFile =
        burner.WriteMode >= wmDiscAtOncePQFromFile && burner.WriteMode <= wmSessionAtOnceFromFile;
    if (fromFile && UseSourceFile) {
        // A name that does not fit the layout stops here, before anything is changed.
        FillFileSourceLayout(burner.FileSourceLayout, sourceFileName);
        burner.SourceFiles.clear();
        burner.SourceFiles.push_back(sourceFileName);
        Logger().Log("Source file name: " + sourceFileName);
    }
    ResetLastReportedProgress();
    burner.StartBurnThread();
    if (!burner.StatusText.empty()) {
        throw EsbError(burner.StatusText);
    }
    if ((burner.WriteMode == wmTrackAtOnceFromTree || burner.WriteMode == wmTrackAtOnceFromFile) &&
        !burner.TestWrite) {
        CloseSession();
    }
    // Verification needs the one image file the write read.
    const bool verified =
        !burner.Verify || burner.SourceFiles.size() != 1 || VerifyDisc(burner.SourceFiles.front());
    // A disc that failed its verification still comes out of the drive (unless asked to stay).
    if (EjectWhenDone) {
        EjectDisc();
    }
    if (verified) {
        Report(LoadResString(rsBurningCompleted), litInfo);
    }
}
