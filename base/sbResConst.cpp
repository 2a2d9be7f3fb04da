// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbResConst.h"

#include "base/sbTranslate.h"

#include <algorithm>
#include <iterator>

namespace {

struct TResourceText {
    int Id;
    const char* Text;
};

// Sorted by id.
constexpr TResourceText kTexts[] = {
    {rsNextButton, SB_TRANSLATE_NOOP("Messages", "&Next >")},
    {rsBackButton, SB_TRANSLATE_NOOP("Messages", "< &Back")},
    {rsCancelButton, SB_TRANSLATE_NOOP("Messages", "Cancel")},
    {rsFinishButton, SB_TRANSLATE_NOOP("Messages", "&Finish")},
    {rsScanningDevices, SB_TRANSLATE_NOOP("Messages", "Scanning devices")},
    {rsSelectBurningDevice,
     SB_TRANSLATE_NOOP("Messages", "You must select device that is supports burning CD/DVD")},
    {rsNoWritableDisc, SB_TRANSLATE_NOOP("Messages", "No writable disc is inserted")},
    {rsYes, SB_TRANSLATE_NOOP("Messages", "Yes")},
    {rsNo, SB_TRANSLATE_NOOP("Messages", "No")},
    {rsBurningStarted, SB_TRANSLATE_NOOP("Messages", "Burning started")},
    {rsTestingUnitReady, SB_TRANSLATE_NOOP("Messages", "Testing unit ready")},
    {rsGettingTrackInformation, SB_TRANSLATE_NOOP("Messages", "Getting track information")},
    {rsGettingDiscInformation, SB_TRANSLATE_NOOP("Messages", "Getting disc information")},
    {rsBuildingIsoImage, SB_TRANSLATE_NOOP("Messages", "Building ISO image")},
    {rsClosingSession, SB_TRANSLATE_NOOP("Messages", "Closing session")},
    {rsBurningCompleted, SB_TRANSLATE_NOOP("Messages", "Burning completed")},
    {rsCurrentReadSpeed, SB_TRANSLATE_NOOP("Messages", "Current read speed %d KBps (%d maximum)")},
    {rsCurrentWriteSpeed,
     SB_TRANSLATE_NOOP("Messages", "Current write speed %d KBps (%d maximum)")},
    {rsGettingCurrentSpeeds, SB_TRANSLATE_NOOP("Messages", "Getting current CD/DVD speeds")},
    {rsEnablingBup, SB_TRANSLATE_NOOP("Messages", "Enabling BUP (Buffer Underrun Protection)")},
    {rsGettingBupSupport,
     SB_TRANSLATE_NOOP("Messages", "Getting BUP (Buffer Underrun Protection) support")},
    {rsCacheUsed,
     SB_TRANSLATE_NOOP("Messages", "%d MBs of cache will be used during burn process")},
    {rsFinished, SB_TRANSLATE_NOOP("Messages", "Finished!")},
    {rsEjectDisc, SB_TRANSLATE_NOOP("Messages", "Eject disc")},
    {rsBlank, SB_TRANSLATE_NOOP("Messages", "Blank")},
    {rsNoMediaInDrive, SB_TRANSLATE_NOOP("Messages", "No media in drive")},
    {rsSettingSpeeds, SB_TRANSLATE_NOOP("Messages", "Setting CD/DVD speeds")},
    {rsSendingOpc, SB_TRANSLATE_NOOP("Messages", "Sending OPC (Optimum Power Calibration)")},
    {rsBurningMode, SB_TRANSLATE_NOOP("Messages", "Burning mode")},
    {rsDiscNotBlank, SB_TRANSLATE_NOOP("Messages", "Disc is not blank, burning is impossible!")},
    {rsWelcomeTitle, SB_TRANSLATE_NOOP("Messages", "Welcome to Tavrin")},
    {rsBurning, SB_TRANSLATE_NOOP("Messages", "Burning")},
    {rsDeviceSelection, SB_TRANSLATE_NOOP("Messages", "Device Selection")},
    {rsBurningOptions, SB_TRANSLATE_NOOP("Messages", "Burning Options")},
    {rsBurningOptionsHint, SB_TRANSLATE_NOOP("Messages", "You can choose various burning options")},
    {rsScsiTransport, SB_TRANSLATE_NOOP("Messages", "SCSI Transport")},
    {rsScsiTransportHint,
     SB_TRANSLATE_NOOP("Messages", "The SCSI transport is a method to access devices")},
    {rsReviewOptionsHint,
     SB_TRANSLATE_NOOP(
         "Messages", "Review the Data CD/DVD options you have chosen before proceed with burning")},
    {rsOptionsSummary, SB_TRANSLATE_NOOP("Messages", "Options Summary")},
    {rsClickNextToBurn, SB_TRANSLATE_NOOP("Messages", "Click Next to start burning")},
    {rsSuccessfullyFinished, SB_TRANSLATE_NOOP("Messages", "Tavrin has successfully finished!")},
    {rsCompletingWizard, SB_TRANSLATE_NOOP("Messages", "Completing the Tavrin")},
    {rsFinishedWithError, SB_TRANSLATE_NOOP("Messages", "Tavrin has finished with error")},
    {rsCanceledByUser, SB_TRANSLATE_NOOP("Messages", "Burning was canceled by user!")},
    {rsSummaryIntro,
     SB_TRANSLATE_NOOP("Messages",
                       "Data CD/DVD will be created with the following options chosen:")},
    {rsBurningModeHint, SB_TRANSLATE_NOOP("Messages", "You can choose burning mode")},
    {rsBurningModeTitle, SB_TRANSLATE_NOOP("Messages", "Burning Mode")},
    {rsTestModeDataHint,
     SB_TRANSLATE_NOOP(
         "Messages",
         "Test mode does everything as in normal burning process, but with the device laser turned "
         "off. It allows to test the Data CD/DVD compilation for errors.")},
    {rsTestModeAudioHint,
     SB_TRANSLATE_NOOP(
         "Messages",
         "Test mode does everything as in normal burning process, but with the device laser turned "
         "off. It allows to test the Audio CD compilation for errors.")},
    {rsDestinationDevice, SB_TRANSLATE_NOOP("Messages", "Destination device")},
    {rsScanningSystemHint,
     SB_TRANSLATE_NOOP("Messages", "Tavrin is scanning your system for CD and DVD devices.")},
    {rsBurningImage, SB_TRANSLATE_NOOP("Messages", "Burning image")},
    {rsSourceImageFile, SB_TRANSLATE_NOOP("Messages", "Source image file:")},
    {rsSourceFileSelection, SB_TRANSLATE_NOOP("Messages", "Source Image File Selection")},
    {rsSelectImageFileHint,
     SB_TRANSLATE_NOOP("Messages", "Please select an image file you would like to burn")},
    {rsMustSelectImageFile, SB_TRANSLATE_NOOP("Messages", "You must select image file")},
    {rsConfirmCancel,
     SB_TRANSLATE_NOOP("Messages", "Are you sure you want to cancel current operation?")},
    {rsImageTooBig, SB_TRANSLATE_NOOP("Messages", "Image size is too big to fit disc space")},
    {rsFileAndDiscSize,
     SB_TRANSLATE_NOOP("Messages", "File size: %.2f Mb      Disc size: %.2f Mb")},
    {rsSummaryDrive, SB_TRANSLATE_NOOP("Messages", "Drive: %s %s (%s)")},
    {rsSummaryImageFile, SB_TRANSLATE_NOOP("Messages", "Selected image file name: %s")},
    {rsSummaryDiscType, SB_TRANSLATE_NOOP("Messages", "Disc Type: %s")},
    {rsSummarySendOpc, SB_TRANSLATE_NOOP("Messages", "Send OPC: %s")},
    {rsSummaryBurningSpeed, SB_TRANSLATE_NOOP("Messages", "Burning Speed: %s")},
    {rsSummaryTestWrite, SB_TRANSLATE_NOOP("Messages", "Test Write: %s")},
    {rsSummaryTransport, SB_TRANSLATE_NOOP("Messages", "Transport: %s")},
    {rsSummaryBurningMode, SB_TRANSLATE_NOOP("Messages", "Burning Mode: %s")},
    {rsBurningFileSystemImage, SB_TRANSLATE_NOOP("Messages", "Burning file system image...")},
    {rsDestinationDeviceHint,
     SB_TRANSLATE_NOOP("Messages", "CD or DVD burning device to use for disc burning.")},
};

static_assert(std::is_sorted(std::begin(kTexts), std::end(kTexts),
                             [](const TResourceText& a, const TResourceText& b) {
                                 return a.Id < b.Id;
                             }),
              "the lookup needs the table sorted by id");

} // namespace

std::string LoadResString(int id) {
    const auto found =
        std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                         [](const TResourceText& entry, int key) { return entry.Id < key; });
    if (found == std::end(kTexts) || found->Id != id) {
        return {};
    }
    return SbTranslate("Messages", found->Text);
}
