// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbActions.h"

#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "engine/sbCueImage.h"
#include "engine/sbInhibit.h"
#include "engine/sbThread.h"
#include "engine/sbVerify.h"
#include "platform/sbSystem.h"

#include <fmt/printf.h>

#include <cstring>
#include <optional>

namespace {

// What the disc in the burner's drive is, as its disc information says, for
// a message that tells the user what a failure left behind. Asked with
// buffers of its own: the burner keeps the failure being reported.
std::string DiscStateText(const TsbBurner& burner) {
    SB_DISC_INFORMATION disc{};
    char text[sbExceptionTextSize] = {};
    uint32_t status = 0;
    uint8_t failureInfo[sbBurnerFailureInfoSize] = {};
    const TsbCallResult result = LibraryCall(
        "StarBurn_CdvdBurnerGrabber_GetDiscInformation",
        FailureOf("StarBurn_CdvdBurnerGrabber_GetDiscInformation", text, sizeof text, &status),
        [&] {
            return StarBurn_CdvdBurnerGrabber_GetDiscInformation(burner.Grabber, text, sizeof text,
                                                                 &status, failureInfo, &disc);
        });
    if (result.Failed()) {
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
    const TsbCallResult result = burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_Eject", burner.Failure("StarBurn_CdvdBurnerGrabber_Eject"),
        [&] { return StarBurn_CdvdBurnerGrabber_Eject(SB_BURNER_HEAD(burner)); }));
    if (result.Failed()) {
        burner.StatusText = result.FailureText;
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
    // The two characters backslash and n are part of the failure's text.
    const TsbCallResult result = burner.Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_CloseSession",
        burner.FailurePattern("StarBurn_CdvdBurnerGrabber_CloseSession() failed, exception %d, "
                              "status %d, text \"%s\"\\n"),
        [&] { return StarBurn_CdvdBurnerGrabber_CloseSession(SB_BURNER_HEAD(burner)); }));
    if (!result.Failed()) {
        return;
    }
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

std::string VerifyingDiscText() {
    return SbTranslate("Engine", "Verifying disc");
}

bool TsbAction::VerifyDisc(const std::string& ImagePath) {
    TsbBurner& burner = Burner();
    auto line = [this](const std::string& Text, TsbLogItemType Kind) {
        Logger().Log(Text);
        Report(Text, Kind);
    };
    if (burner.TestWrite) {
        line(SbTranslate("Engine", "Verification skipped: test mode writes nothing"), litInfo);
        return true;
    }
    burner.StatusText = VerifyingDiscText();
    line(burner.StatusText, litInfo);
    const TsbStayAwake awake(
        VerifyReason(ImagePath, DriveTitle(burner.DeviceName, burner.DeviceInfo.Product)));
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
            // No image path: the disc was burnt from the burner's file tree (a folder).
            if (ImagePath.empty() && burner.FileTree != nullptr) {
                result = VerifyWrittenTree(burner.Grabber, burner.FileTree,
                                           burner.WriteStartAddress, callbacks);
            } else if (IsCueSheet(ImagePath)) {
                result = VerifyCueDisc(burner.Grabber, ReadCueSheet(ImagePath), callbacks);
            } else {
                result = VerifyWrittenImage(burner.Grabber, ImagePath, burner.WriteStartAddress,
                                            callbacks);
            }
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

    for (const std::string& note : result.Notes) {
        line(note, litInfo);
    }
    switch (result.Outcome) {
    case TsbVerifyOutcome::Match:
        line(fmt::sprintf(SbTranslate("Engine", "Disc verified: %u blocks match the image"),
                          result.Blocks),
             litInfo);
        line(SbTranslate("Engine", "SHA-256 of the written data: ") + result.Sha256, litInfo);
        if (result.Md5Checked) {
            line(result.Md5Correct ? SbTranslate("Engine", "Implanted MD5 checksum: correct")
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
        if (IsCueSheet(sourceFileName) && burner.WriteMode != wmDiscAtOncePQFromFile) {
            // libburn burns a cue sheet's tracks and pregaps in one go.
            Report("A cue sheet is burnt Disc-At-Once (with its pregaps), not " +
                       std::string(burner.WriteMode == wmTrackAtOnceFromFile ? "Track-At-Once"
                                                                             : "as chosen"),
                   litWarning);
            burner.WriteMode = wmDiscAtOncePQFromFile;
            burner.MultiSession = false;
        }
    }
    ResetLastReportedProgress();
    // One hold from the write through the session's close and the
    // verification: the computer stays awake while the disc is unfinished.
    std::optional<TsbStayAwake> awake;
    awake.emplace(
        WriteReason(burner.SourceFiles.size() == 1 ? burner.SourceFiles.front() : std::string(),
                    DriveTitle(burner.DeviceName, burner.DeviceInfo.Product)));
    burner.StartBurnThread();
    if (!burner.StatusText.empty()) {
        throw EsbError(burner.StatusText);
    }
    if ((burner.WriteMode == wmTrackAtOnceFromTree || burner.WriteMode == wmTrackAtOnceFromFile) &&
        !burner.TestWrite) {
        CloseSession();
    }
    // Verification needs the one image file the write read, or its file tree.
    const bool fromTree = !fromFile && burner.FileTree != nullptr;
    const bool verified = !burner.Verify || (fromTree ? VerifyDisc(std::string())
                                                      : burner.SourceFiles.size() != 1 ||
                                                            VerifyDisc(burner.SourceFiles.front()));
    awake.reset();
    // A disc that failed its verification still comes out of the drive (unless asked to stay).
    if (EjectWhenDone) {
        EjectDisc();
    }
    if (verified) {
        Report(LoadResString(rsBurningCompleted), litInfo);
    }
}
