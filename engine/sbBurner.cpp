// SPDX-License-Identifier: GPL-2.0-or-later
#include "engine/sbBurner.h"

#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbFrontEnd.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "engine/sbCueImage.h"
#include "engine/sbInhibit.h"
#include "starburn/StarBurnLinux.h"

#include <fmt/printf.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace {

constexpr auto waitStep = std::chrono::milliseconds(80);

struct TsbModeInfo {
    const char* Name;     // the mode's name in the "Burning mode" message
    const char* Function; // the library function, as logged before the call
    const char* Failed;   // the name its failure text gives
};

const TsbModeInfo* ModeInfo(uint8_t WriteMode) {
    // Both tree-based Disc-At-Once modes fail with one text.
    static const TsbModeInfo modes[] = {
        {"Track-At-Once (from tree)", "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree",
         "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree"},
        {"Session-At-Once (from tree)", "StarBurn_CdvdBurnerGrabber_SessionAtOnce",
         "StarBurn_CdvdBurnerGrabber_SessionAtOnce"},
        {"Disc-At-Once PQ (from tree)", "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree",
         "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree"},
        {"Disc-At-Once raw P-W (from tree)", "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree",
         "StarBurn_CdvdBurnerGrabber_DiscAtOncePQ[RawPW]FromTree"},
        {nullptr, nullptr, nullptr},
        {"Disc-At-Once PQ (from file)", "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile",
         "StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile"},
        {"Disc-At-Once raw P-W (from file)", "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile",
         "StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile"},
        {"Track-At-Once (from file)", "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile",
         "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile"},
        {"Session-At-Once (from file)", "StarBurn_CdvdBurnerGrabber_SessionAtOnce",
         "StarBurn_CdvdBurnerGrabber_SessionAtOnce"},
    };
    if (WriteMode >= std::size(modes) || modes[WriteMode].Name == nullptr) {
        return nullptr;
    }
    return &modes[WriteMode];
}

} // namespace

// ---------------------------------------------------------------------------
// Source layouts

void FillFileSourceLayout(FileSourceLayoutRecord& Layout, const std::string& FileName) {
    if (FileName.size() >= SB_FILE_SOURCE_PATH_SIZE) {
        throw EsbError(fmt::sprintf("The source file name is too long to burn (%d characters, at "
                                    "most %d): %s",
                                    FileName.size(), SB_FILE_SOURCE_PATH_SIZE - 1, FileName));
    }
    std::memset(&Layout, 0, sizeof Layout);
    Layout.TrackCount = 1;
    std::memcpy(Layout.Tracks[0].FileName, FileName.data(), FileName.size());
}

void FillSessionLayout(SessionLayoutRecord& Layout, const std::vector<std::string>& SourceFiles) {
    if (SourceFiles.size() > SB_SESSION_MAX_ENTRIES) {
        throw EsbError(fmt::sprintf("Too many source files for one session (%d, at most %d)",
                                    SourceFiles.size(), SB_SESSION_MAX_ENTRIES));
    }
    for (const std::string& fileName : SourceFiles) {
        if (fileName.size() >= SB_SESSION_PATH_SIZE) {
            throw EsbError(fmt::sprintf("The source file name is too long to burn in one session "
                                        "(%d characters, at most %d): %s",
                                        fileName.size(), SB_SESSION_PATH_SIZE - 1, fileName));
        }
    }
    std::memset(&Layout, 0, sizeof Layout);
    Layout.EntryCount = static_cast<uint32_t>(SourceFiles.size());
    for (std::size_t k = 0; k < SourceFiles.size(); ++k) {
        std::memcpy(Layout.Entries[k].FileName, SourceFiles[k].data(), SourceFiles[k].size());
    }
}

void CheckFileSourceLayout(const FileSourceLayoutRecord& Layout) {
    if (Layout.TrackCount > SB_FILE_SOURCE_MAX_TRACKS) {
        throw EsbError(fmt::sprintf("The source layout names %d tracks, at most %d can be burnt",
                                    Layout.TrackCount, SB_FILE_SOURCE_MAX_TRACKS));
    }
    for (uint32_t track = 0; track < Layout.TrackCount; ++track) {
        const char* name = Layout.Tracks[track].FileName;
        if (std::memchr(name, 0, SB_FILE_SOURCE_PATH_SIZE) == nullptr) {
            throw EsbError(
                fmt::sprintf("The source file name of track %d is not terminated", track + 1));
        }
    }
}

// ---------------------------------------------------------------------------
// TsbCustomThread

TsbCustomThread::TsbCustomThread(TsbBurner* Burner) : Burner(Burner) {}

void TsbCustomThread::DoMessage(const std::string& Text, TsbLogItemType Kind) {
    if (OnMessage) {
        OnMessage(this, Text, Kind);
    }
}

// ---------------------------------------------------------------------------
// TsbBurnThread

void TsbBurnThread::Execute() {
    TsbBurner& burner = *Burner;
    burner.StatusText.clear();
    if (burner.WriteMode != wmImageToFile) {
        CallBackEventer().DoCancelEnabled(true);
    }
    try {
        if (burner.WriteMode == wmImageToFile) {
            WriteImageToFile();
        } else if (ModeInfo(burner.WriteMode) != nullptr) {
            Write();
        } else {
            // An empty result would read as a finished burn.
            burner.StatusText =
                fmt::sprintf("Unknown write mode %d: nothing was written", burner.WriteMode);
            Logger().Log(burner.StatusText);
        }
    } catch (const std::exception& error) {
        // A thread must never let an error escape: it would end the program.
        burner.StatusText = error.what();
        burner.WriteStarted = false;
    } catch (...) {
        burner.StatusText = "The burn failed with an unknown error";
        burner.WriteStarted = false;
    }
    CallBackEventer().DoCancelEnabled(false);
    Burner = nullptr;
}

void TsbBurnThread::Write() {
    TsbBurner& burner = *Burner;
    const TsbModeInfo& mode = *ModeInfo(burner.WriteMode);
    if (burner.WriteMode == wmTrackAtOnceFromFile && burner.FileSourceLayout.TrackCount == 0) {
        // No call would be made, and no failure would read as a finished burn.
        throw EsbError("The source layout names no track: nothing was burnt Track-At-Once");
    }
    burner.WriteStarted = true;
    DoMessage(LoadResString(rsBurningMode) + ": " + mode.Name, litInfo);
    DoMessage(LoadResString(rsBurningStarted), litInfo);

    // Every write's failure is the mode's own text.
    const TsbCallFailure failure = burner.Failure(mode.Failed);
    TsbCallResult result;
    switch (burner.WriteMode) {
    case wmTrackAtOnceFromTree:
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromTree(
                SB_BURNER_HEAD(burner), burner.FileTree, 1, burner.TestWrite, burner.MultiSession,
                1, SB_WRITE_REVISION);
        });
        break;
    case wmSessionAtOnceFromTree:
    case wmSessionAtOnceFromFile: {
        // The layout is large (29 KB); it lives on the heap, not on the thread's stack.
        auto layout = std::make_unique<SessionLayoutRecord>();
        std::memset(layout.get(), 0, sizeof(SessionLayoutRecord));
        const bool fromTree = burner.WriteMode == wmSessionAtOnceFromTree;
        if (fromTree) {
            layout->EntryCount = 1;
            layout->Entries[0].FileTree = burner.FileTree;
        } else {
            FillSessionLayout(*layout, burner.SourceFiles);
        }
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_SessionAtOnce(SB_BURNER_HEAD(burner), layout.get(),
                                                            fromTree ? 1 : 0, burner.TestWrite, 1,
                                                            1, SB_WRITE_REVISION);
        });
        break;
    }
    case wmDiscAtOncePQFromTree:
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromTree(
                SB_BURNER_HEAD(burner), burner.FileTree, 0, burner.TestWrite, 0, 1,
                SB_WRITE_REVISION);
        });
        break;
    case wmDiscAtOnceRawPWFromTree:
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromTree(
                SB_BURNER_HEAD(burner), burner.FileTree, 0, burner.TestWrite, 0, 1,
                SB_WRITE_REVISION);
        });
        break;
    case wmDiscAtOncePQFromFile:
        CheckFileSourceLayout(burner.FileSourceLayout);
        if (burner.SourceFiles.size() == 1 && IsCueSheet(burner.SourceFiles.front())) {
            // libburn reads the sheet and its files itself.
            const TsbCallFailure cueFailure =
                burner.Failure("StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue");
            result = LibraryCall("StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue", cueFailure, [&] {
                return StarBurn_CdvdBurnerGrabber_DiscAtOnceFromCue(
                    SB_BURNER_HEAD(burner), burner.SourceFiles.front().c_str(), burner.TestWrite,
                    1);
            });
            break;
        }
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_DiscAtOncePQFromFile(
                SB_BURNER_HEAD(burner), &burner.FileSourceLayout, 0, burner.TestWrite, 0, 0, 1,
                SB_WRITE_REVISION);
        });
        break;
    case wmDiscAtOnceRawPWFromFile:
        CheckFileSourceLayout(burner.FileSourceLayout);
        result = LibraryCall(mode.Function, failure, [&] {
            return StarBurn_CdvdBurnerGrabber_DiscAtOnceRawPWFromFile(
                SB_BURNER_HEAD(burner), &burner.FileSourceLayout, 0, burner.TestWrite, 0, 0, 1,
                SB_WRITE_REVISION);
        });
        break;
    case wmTrackAtOnceFromFile: {
        if (burner.Stream.Feed != nullptr) {
            // One of several drives fed by one reader of the image (engine/sbImageFeed).
            result = LibraryCall(
                "StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream",
                burner.Failure("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream"), [&] {
                    return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromStream(
                        SB_BURNER_HEAD(burner), burner.Stream.Feed->Size(),
                        TsbImageFeed::StreamRead, &burner.Stream, 1, burner.TestWrite,
                        burner.MultiSession, 1, SB_WRITE_REVISION);
                });
            break;
        }
        CheckFileSourceLayout(burner.FileSourceLayout);
        const uint32_t tracks = burner.FileSourceLayout.TrackCount;
        // One track after another, announced once.
        for (uint32_t track = 0; track < tracks && !result.Failed(); ++track) {
            result = LibraryCall(track == 0, mode.Function, failure, [&] {
                return StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                    SB_BURNER_HEAD(burner), burner.FileSourceLayout.Tracks[track].FileName, 1,
                    burner.TestWrite, burner.MultiSession, 1, SB_WRITE_REVISION);
            });
        }
        break;
    }
    default:
        break;
    }

    burner.Kept(result);
    if (result.Failed()) {
        burner.StatusText = result.FailureText;
        burner.WriteStarted = false;
    }
}

void TsbBurnThread::WriteImageToFile() {
    TsbBurner& burner = *Burner;
    TsbImageWriting& image = burner.ImageWriting;
    CallBackEventer().DoImageBuildStart();
    constexpr int64_t bufferSize = 65536;
    std::vector<char> buffer(bufferSize, 0);
    image.LastPercent = 0;
    CallBackEventer().DoCancelEnabled(true);
    burner.WriteStarted = true;
    for (;;) {
        image.BytesWritten = image.TotalBytes - image.RemainingBytes;
        image.CurrentPercent =
            image.TotalBytes == 0 ? 0 : image.BytesWritten * 100 / image.TotalBytes;
        if (image.CurrentPercent != image.LastPercent && image.CurrentPercent != 100) {
            image.LastPercent = image.CurrentPercent;
            CallBackEventer().DoProgress(static_cast<int32_t>(image.CurrentPercent));
        }
        if (image.RemainingBytes <= 0 || burner.Cancelled) {
            break;
        }
        image.ChunkSize = image.RemainingBytes < bufferSize ? image.RemainingBytes : bufferSize;
        // One read per 64 KB chunk: the log has the action's trial read, not these.
        const TsbCallResult read = burner.Kept(QuietLibraryCall(
            burner.FailurePattern("StarBurn_ISO9660FileTree_Read(loop) failed, exception %d, "
                                  "status %d, text \"%s\""),
            [&] {
                return StarBurn_ISO9660JolietFileTree_Read(
                    SB_TREE_HEAD(burner), static_cast<uint32_t>(image.ChunkSize), buffer.data());
            }));
        if (read.Failed()) {
            burner.StatusText = read.FailureText;
            throw EsbError(burner.StatusText);
        }
        // A short write is not a failure by itself: write what is left of the chunk.
        const char* data = buffer.data();
        int64_t left = image.ChunkSize;
        while (left > 0) {
            const ssize_t written = ::write(image.ImageFile, data, static_cast<size_t>(left));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                burner.LastStatus = static_cast<uint32_t>(errno);
                // The wizard's own text; on this system the call that failed
                // is write(2), and the status is its errno.
                burner.StatusText = fmt::sprintf("WriteFile( %d ) failed, status %d",
                                                 image.ChunkSize, burner.LastStatus);
                throw EsbError(burner.StatusText);
            }
            data += written;
            left -= written;
        }
        image.RemainingBytes -= image.ChunkSize;
    }
}

// ---------------------------------------------------------------------------
// TsbBurner

TsbBurner::TsbBurner() {
    std::memset(&FileSourceLayout, 0, sizeof FileSourceLayout);
}

TsbBurner::~TsbBurner() {
    // The burn thread reads the source files: it is waited for first.
    WaitForBurnThread();
    SourceFiles.clear();
    // Logging can fail (an unwritable log file); the handles go all the same.
    try {
        DestroyFileTree();
    } catch (const std::exception&) {
        QuietLibraryCall([&] { StarBurn_Destroy(&FileTree); });
    }
    try {
        CloseDevice();
    } catch (const std::exception&) {
        QuietLibraryCall([&] { StarBurn_Destroy(&Grabber); });
    }
}

std::string TsbBurner::FailureText(const std::string& Name) const {
    return LibraryFailureText(Name, LastException, LastStatus, ExceptionText, sizeof ExceptionText);
}

TsbCallFailure TsbBurner::Failure(std::string_view Function) const {
    return FailureOf(Function, ExceptionText, sizeof ExceptionText, &LastStatus);
}

TsbCallFailure TsbBurner::FailurePattern(std::string Pattern) const {
    return {std::move(Pattern), ExceptionText, sizeof ExceptionText, &LastStatus};
}

TsbCallResult TsbBurner::Kept(TsbCallResult Result) {
    LastException = Result.Exception;
    return Result;
}

uint32_t TsbBurner::LastSessionStart() {
    SB_TOC_INFORMATION toc{};
    const TsbCallResult read = Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_GetTOCInformation",
        Failure("StarBurn_CdvdBurnerGrabber_GetTOCInformation"),
        [&] { return StarBurn_CdvdBurnerGrabber_GetTOCInformation(SB_BURNER_HEAD(*this), &toc); }));
    if (read.Failed()) {
        throw EsbError(read.FailureText);
    }
    // Copied out first: std::min takes references, and the record is packed.
    const uint32_t listed = toc.NumberOfEntries;
    const uint32_t entries = std::min<uint32_t>(listed, SB_TOC_MAX_ENTRIES);
    for (uint32_t i = 0; toc.Valid != 0 && i < entries; ++i) {
        const SB_TOC_ENTRY entry = toc.Entries[i];
        if (entry.TrackNumber == toc.FirstTrackInLastSession) {
            return entry.StartAddress;
        }
    }
    return 0;
}

int64_t TsbBurner::ImageSize() const {
    uint32_t high = 0;
    const uint32_t low = LibraryCall("StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs", [&] {
        return StarBurn_ISO9660JolietFileTree_GetSizeInUCHARs(FileTree, &high);
    });
    return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

std::string TsbBurner::FormatFailure(const std::string& Pattern) const {
    return fmt::sprintf(Pattern, LastException, static_cast<int32_t>(LastStatus),
                        BufferToStr(ExceptionText, sizeof ExceptionText));
}

void TsbBurner::OpenDevice() {
    CloseDevice();
    // Either way the log and the failure name Create, as the wizard always did.
    const TsbCallResult result = Kept(LibraryCall(
        "StarBurn_CdvdBurnerGrabber_Create (before create)",
        Failure("StarBurn_CdvdBurnerGrabber_Create"), [&] {
            return TransportType == ttAspi
                       ? StarBurn_CdvdBurnerGrabber_Create(
                             &Grabber, ExceptionText, sbExceptionTextSize, &LastStatus, FailureInfo,
                             LibraryCallback, nullptr, DeviceAddress.PortID, DeviceAddress.BusID,
                             DeviceAddress.TargetID, DeviceAddress.LUN, 0)
                       : StarBurn_CdvdBurnerGrabber_CreateEx(
                             &Grabber, ExceptionText, sbExceptionTextSize, &LastStatus, FailureInfo,
                             LibraryCallback, nullptr, DeviceName.c_str(), 0);
        }));
    if (result.Failed()) {
        Grabber = nullptr;
        StatusText = result.FailureText;
        throw EsbError(StatusText);
    }
    Logger().Log(fmt::sprintf(
        "StarBurn_CdvdBurnerGrabber_Create (after create): PortID:%d,BusID:%d,TargetID:%d,LUN:%d",
        DeviceAddress.PortID, DeviceAddress.BusID, DeviceAddress.TargetID, DeviceAddress.LUN));
}

void TsbBurner::CloseDevice() {
    if (Grabber == nullptr) {
        return;
    }
    ReleaseDevice();
    LibraryCall("StarBurn_Destroy: Grabber", [&] { StarBurn_Destroy(&Grabber); });
    Grabber = nullptr;
}

void TsbBurner::DestroyFileTree() {
    if (FileTree == nullptr) {
        return;
    }
    LibraryCall("StarBurn_Destroy: FileTree", [&] { StarBurn_Destroy(&FileTree); });
    FileTree = nullptr;
}

void TsbBurner::LockDevice() {
    lockOrRelease(true);
}

void TsbBurner::ReleaseDevice() {
    lockOrRelease(false);
}

void TsbBurner::lockOrRelease(bool Lock) {
    const char* name =
        Lock ? "StarBurn_CdvdBurnerGrabber_Lock" : "StarBurn_CdvdBurnerGrabber_Release";
    LastException = 0;
    if (Grabber == nullptr) {
        return;
    }
    // The two characters backslash and n are part of these texts.
    const TsbCallFailure failure =
        FailurePattern(std::string(name) + "() failed, exception %d, status %d, text \"%s\"\\n");
    const TsbCallResult result = Kept(LibraryCall(name, failure, [&] {
        return Lock ? StarBurn_CdvdBurnerGrabber_Lock(SB_BURNER_HEAD(*this))
                    : StarBurn_CdvdBurnerGrabber_Release(SB_BURNER_HEAD(*this));
    }));
    if (result.Failed()) {
        StatusText = result.FailureText;
        ShowMessageBox(StatusText, "Error", TsbMessageBoxKind::mbkError);
    }
}

void TsbBurner::Cancel() {
    // Set first: the write the library stops may end on its thread at once,
    // and whoever reads how it ended must find it cancelled, not failed.
    Cancelled = true;
    if (WriteMode != wmImageToFile) {
        LibraryCall("StarBurn_CdvdBurnerGrabber_Cancel",
                    [&] { return StarBurn_CdvdBurnerGrabber_Cancel(Grabber); });
    }
}

void TsbBurner::StartBurnThread() {
    WaitForBurnThread();
    // A disc write keeps the computer awake until it has ended; a copy into
    // a file needs no drive.
    std::optional<TsbStayAwake> awake;
    if (WriteMode != wmImageToFile) {
        awake.emplace(WriteReason(SourceFiles.size() == 1 ? SourceFiles.front() : std::string(),
                                  DriveTitle(DeviceName, DeviceInfo.Product)));
    }
    burnThread_ = std::make_unique<TsbBurnThread>(this);
    burnThread_->OnTerminate = [this](TsbThread* Sender) { BurnThreadDone(Sender); };
    burnThread_->OnMessage = [this](void* Sender, const std::string& Text, TsbLogItemType Kind) {
        DoMessage(Sender, Text, Kind);
    };
    burnThreadRunning_ = true;
    burnThread_->Start();
    WaitForBurnThread();
}

void TsbBurner::WaitForBurnThread() {
    while (burnThread_) {
        if (burnThread_->WaitFor(waitStep)) {
            // Joins the worker: nothing of it runs on once it is freed.
            burnThread_.reset();
            break;
        }
        ProcessMessages();
    }
}

void TsbBurner::BurnThreadDone(TsbThread* /*Sender*/) {
    burnThreadRunning_ = false;
}

void TsbBurner::DoMessage(void* /*Sender*/, const std::string& Text, TsbLogItemType Kind) {
    if (OnMessage) {
        OnMessage(this, Text, Kind);
    }
}
