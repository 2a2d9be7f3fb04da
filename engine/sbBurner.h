// SPDX-License-Identifier: GPL-2.0-or-later
// The burner: the one object through which the wizard works on a recorder.
//
// It holds the opened device (the library's grabber handle), an optional file
// tree, the burn options, copies of the chosen device's facts, the buffers
// every library call fills on failure, and the burn thread while one runs.
// Everything runs on the main thread except the burn thread's Execute and the
// events it raises (OnMessage through DoMessage, BurnThreadDone).
#pragma once

#include "base/sbLibraryCall.h"
#include "base/sbTypes.h"
#include "engine/sbImageFeed.h"
#include "engine/sbThread.h"
#include "starburn/StarBurn.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TsbBurner;

// The message event of the burner, the burn thread, the actions and the action
// list: a line for the wizard's log with its kind.
using TsbMessageEvent =
    std::function<void(void* Sender, const std::string& Text, TsbLogItemType Kind)>;

// The five arguments a call on the burner's opened drive begins with, as
// SB_GRABBER_HEAD (starburn/StarBurn.h) declares them: the grabber, the
// exception-text buffer and its size, the status and the failure block.
#define SB_BURNER_HEAD(burner)                                                                     \
    (burner).Grabber, (burner).ExceptionText, sbExceptionTextSize, &(burner).LastStatus,           \
        (burner).FailureInfo

// The four arguments a call on the burner's file tree begins with: the tree,
// the exception-text buffer and its size, the status.
#define SB_TREE_HEAD(burner)                                                                       \
    (burner).FileTree, (burner).ExceptionText, sbExceptionTextSize, &(burner).LastStatus

// The size of the burner's failure-information block.
constexpr std::size_t sbBurnerFailureInfoSize = 64;
// The size of the text buffer every library call fills on failure.
constexpr uint32_t sbExceptionTextSize = 1024;

// Fills an image-file source layout with one track, FileName. Raises EsbError,
// leaving the layout alone, when the name does not fit its field.
void FillFileSourceLayout(FileSourceLayoutRecord& Layout, const std::string& FileName);
// Fills a Session-At-Once layout with one entry per source file. Raises
// EsbError, leaving the layout alone, when there are more files than entries
// or a name does not fit its field.
void FillSessionLayout(SessionLayoutRecord& Layout, const std::vector<std::string>& SourceFiles);
// Raises EsbError when a layout names more tracks than it holds or a track's
// name has no terminator inside its field.
void CheckFileSourceLayout(const FileSourceLayoutRecord& Layout);

// The worker thread base of the burn engine: it knows its burner and passes
// its messages on through OnMessage.
class TsbCustomThread : public TsbThread {
public:
    explicit TsbCustomThread(TsbBurner* Burner);

    TsbMessageEvent OnMessage;

protected:
    // Raises OnMessage with the thread as Sender.
    virtual void DoMessage(const std::string& Text, TsbLogItemType Kind);

    // The burner the thread works for; none once the thread has finished.
    TsbBurner* Burner;
};

// The thread that makes the one long write call (or, in write mode 4, copies a
// built image into a file) while the main thread keeps the window alive.
class TsbBurnThread : public TsbCustomThread {
public:
    using TsbCustomThread::TsbCustomThread;

protected:
    void Execute() override;

private:
    void Write();
    void WriteImageToFile();
};

// The image-writing block: the figures of a copy of a built image into a file.
struct TsbImageWriting {
    int ImageFile = -1;
    int64_t FreeBytesAvailable = 0;
    int64_t TotalVolumeBytes = 0;
    int64_t RemainingBytes = 0;
    int64_t TotalFreeBytes = 0;
    int64_t TotalBytes = 0;
    int64_t ChunkSize = 0;
    int64_t LastPercent = 0;
    int64_t BytesWritten = 0;
    int64_t CurrentPercent = 0;
};

class TsbBurner {
public:
    TsbBurner();
    // Waits for a running burn thread, destroys the file tree and closes the device.
    virtual ~TsbBurner();
    TsbBurner(const TsbBurner&) = delete;
    TsbBurner& operator=(const TsbBurner&) = delete;

    // The current stage message or the text of the last failure; after a burn
    // thread, its result (empty = success).
    std::string StatusText;
    TsbDeviceAddress DeviceAddress{};
    bool BootEnabled = false;
    std::string BootImage;
    TsbTransportType TransportType = ttAspi;

    // The wizard's option record.
    uint8_t WriteMode = 0;
    bool TestWrite = false;
    bool MultiSession = false;
    bool SendOPC = false;
    int32_t OptionValue = 0;
    int32_t SpeedFactor = 0;
    // KBps, handed to SetSpeeds before the write.
    int32_t WriteSpeed = 0;
    // Read the disc back after the write and compare it with the image.
    bool Verify = false;
    // Whether a drive that refuses the power calibration SendOPC asks for
    // stops the burn, before anything is written, instead of a warning and a
    // write without it. Not of the option record: the wizard never sets it.
    bool RequireOPC = false;
    // Where the write begins on the disc: the next writable address the staged
    // preparation read (the track's start when the drive gives none).
    uint32_t WriteStartAddress = 0;

    TsbDiscSpace DiscSpace{};
    std::string VolumeLabel = "NEW";
    TsbWriteModes WriteModes;
    uint8_t DiscType = 0;
    TsbDeviceInfo DeviceInfo{};
    // Raised by DoMessage; the staged action binds it while it runs.
    TsbMessageEvent OnMessage;
    // Source image files of a Session-At-Once write from files.
    std::vector<std::string> SourceFiles;
    std::string DeviceName;
    // With a feed, a Track-At-Once write from a file takes the image from
    // it, as reader Index of several drives, instead of opening the file.
    TsbImageFeed::TReader Stream{nullptr, 0};

    // Set by Cancel, read by the burn thread; never cleared during the burner's life.
    std::atomic<bool> Cancelled{false};
    // Set by the burn thread when it starts a write, cleared when the write or
    // its verification fails.
    std::atomic<bool> WriteStarted{false};

    void* Grabber = nullptr;
    void* FileTree = nullptr;
    uint8_t LastException = 0;
    uint32_t LastStatus = 0;
    char ExceptionText[sbExceptionTextSize]{};
    uint8_t FailureInfo[sbBurnerFailureInfoSize]{};
    TsbImageWriting ImageWriting;
    FileSourceLayoutRecord FileSourceLayout{};

    // Opens the chosen device by address (ttAspi) or by name; raises EsbError on failure.
    void OpenDevice();
    // Releases and destroys the opened device, if any.
    void CloseDevice();
    void DestroyFileTree();
    // Lock and unlock the tray. A failure is logged and shown in a message box; never raises.
    void LockDevice();
    void ReleaseDevice();
    // Asks the running write to stop (from the main thread while the burn thread works).
    void Cancel();

    // Runs the burn thread for the current WriteMode and returns when it has ended.
    void StartBurnThread();
    // Returns when no burn thread is running; processes the front end's
    // messages every 80 ms meanwhile.
    virtual void WaitForBurnThread();
    // The burn thread's termination handler; runs on the burn thread.
    virtual void BurnThreadDone(TsbThread* Sender);
    // Raises OnMessage with the burner as Sender; runs on the burn thread.
    virtual void DoMessage(void* Sender, const std::string& Text, TsbLogItemType Kind);

    // True while a burn thread is running (from its start until its termination handler).
    bool BurnThreadRunning() const { return burnThreadRunning_.load(); }

    // The failure text "<Name>() failed, exception %d, status %d, text \"%s\""
    // filled from LastException, LastStatus and ExceptionText.
    std::string FailureText(const std::string& Name) const;
    // Pattern (with %d, %d and %s) filled from LastException, LastStatus and ExceptionText.
    std::string FormatFailure(const std::string& Pattern) const;
    // How a failed call of Function reads, taken from this burner's buffers;
    // FailurePattern the same in a text of its own (%d, %d and %s: the
    // exception number, the status and the library's text).
    TsbCallFailure Failure(std::string_view Function) const;
    TsbCallFailure FailurePattern(std::string Pattern) const;
    // Keeps a call's exception number in LastException and hands the result on.
    TsbCallResult Kept(TsbCallResult Result);
    // The size in bytes of FileTree's built image.
    int64_t ImageSize() const;
    // Where the disc's last session starts: the start of its first track,
    // as the table of contents gives it (0 when the table names none).
    // Raises EsbError with the library's text when the table cannot be read.
    uint32_t LastSessionStart();

private:
    void lockOrRelease(bool Lock);

    std::unique_ptr<TsbBurnThread> burnThread_;
    std::atomic<bool> burnThreadRunning_{false};
};
