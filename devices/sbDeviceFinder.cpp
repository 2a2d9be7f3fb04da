// SPDX-License-Identifier: GPL-2.0-or-later
// The device search: a thread that enumerates the devices of one transport
// while the main thread waits in 80 ms steps.
#include "base/sbCallBack.h"
#include "base/sbLibraryCall.h"
#include "base/sbLogger.h"
#include "base/sbResConst.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDeviceReport.h"
#include "platform/sbDrives.h"
#include "platform/sbSystem.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"

#include <chrono>

namespace {

constexpr auto waitStep = std::chrono::milliseconds(80);
constexpr uint32_t textSize = 1024;
constexpr int lastDeviceNumber = 20;

// What the drive-letter lookup asks the operating system on Windows, the
// library answers here: every device name that has a letter is defined in the
// platform's table of letters before a search, so the probe finds the letter
// of a device it opened by name. A question per possible name: not announced.
void DefineDriveLettersFromLibrary() {
    platform::ClearDosDevices();
    for (int n = 0; n <= lastDeviceNumber; ++n) {
        const std::string name = "CdRom" + std::to_string(n);
        char drive[8] = {};
        if (QuietLibraryCall([&] {
                return StarBurn_GetDriveLetterByDeviceName(name.c_str(), drive, sizeof drive);
            }) == 0 &&
            drive[0] != '\0') {
            platform::DefineDosDevice(drive[0], "\\Device\\" + name);
        }
    }
}

} // namespace

// ---------------------------------------------------------------------------
// TsbDeviceFinderThread

TsbDeviceFinderThread::TsbDeviceFinderThread(TsbDeviceList* Devices)
    : devices_(Devices), transportType_(Devices->TransportType) {}

void TsbDeviceFinderThread::Execute() {
    // Nothing may leave a thread: an error ends this search with the devices found so far.
    try {
        if (transportType_ == ttSpti) {
            // Every name is tried: most are no drive, and the probe that
            // follows a drive's name is what the log is for. Not announced.
            for (int n = 0; n <= lastDeviceNumber; ++n) {
                const std::string name = "CdRom" + std::to_string(n);
                void* grabber = nullptr;
                char text[textSize]{};
                uint32_t status = 0;
                uint8_t failureInfo[SB_FAILURE_INFO_SIZE]{};
                const uint8_t result = QuietLibraryCall([&] {
                    return StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, textSize, &status,
                                                               failureInfo, nullptr, nullptr,
                                                               name.c_str(), 1);
                });
                // A drive that is there but may not be opened now is still
                // reported: the probe lists it with the reason.
                if (result != SB_EXCEPTION_NONE && !AccessOfFailedOpening(result, status)) {
                    continue;
                }
                if (grabber != nullptr) {
                    QuietLibraryCall([&] { StarBurn_Destroy(&grabber); });
                }
                LibraryCallback(SB_REASON_DEVICE_FOUND, devices_, nullptr,
                                const_cast<char*>(name.c_str()));
            }
        } else if (transportType_ == ttAspi) {
            LibraryCall("StarBurn_FindDevice",
                        [&] { return StarBurn_FindDevice(5, 0, LibraryCallback, devices_); });
        }
    } catch (const std::exception& error) {
        // Most likely the diagnostic log itself could not be written.
        platform::OutputDebugString(std::string("Device search failed: ") + error.what());
    }
}

// ---------------------------------------------------------------------------
// TsbDeviceFinder

TsbDeviceFinder::TsbDeviceFinder() {
    RegisterDeviceProbe();
}

TsbDeviceFinder::~TsbDeviceFinder() {
    WaitForSearch();
}

void TsbDeviceFinder::Search(bool ShowProgress) {
    // The window is this search's own: a search started from the messages
    // processed while this one waits gets a window of its own, and each goes
    // with the search that made it, whatever happens below.
    std::unique_ptr<IsbProgressWindow> window;
    if (ShowProgress) {
        window = CreateProgressWindow();
    }
    struct WindowGuard {
        IsbProgressWindow*& current;
        IsbProgressWindow* previous;
        ~WindowGuard() { current = previous; }
    } guard{progressWindow_, progressWindow_};
    progressWindow_ = window.get();

    if (window) {
        Devices.Cancelled = false;
        window->SetCaption(LoadResString(rsScanningDevices));
        window->SetCancelVisible(true);
        window->SetInfoText(InfoText);
        window->Show();
        window->SetOnCancel([this] { CancelSearch(); });
        ProcessMessages();
    }
    // A search still running is waited for before its list is touched: the
    // search thread appends to it without a lock.
    WaitForSearch();
    Devices.Clear();
    Devices.TransportType = TransportType;
    DefineDriveLettersFromLibrary();

    searchThread_ = std::make_unique<TsbDeviceFinderThread>(&Devices);
    searchThread_->OnTerminate = [this](TsbThread* Sender) { SearchThreadDone(Sender); };
    searchThread_->Start();
    WaitForSearch();
    RememberDrivesForReport(Devices);

    if (window) {
        window->Hide();
    }
}

void TsbDeviceFinder::CancelSearch() {
    Devices.Cancelled = true;
}

void TsbDeviceFinder::WaitForSearch() {
    while (searchThread_) {
        if (searchThread_->WaitFor(waitStep)) {
            searchThread_.reset();
            break;
        }
        ProcessMessages();
    }
}

void TsbDeviceFinder::SearchThreadDone(TsbThread* /*Sender*/) {
    // Runs on the search thread, which must not free itself: WaitForSearch
    // lets go of the thread object on the waiting thread once it has ended.
}
