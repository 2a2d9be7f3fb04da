#include "base/sbResConst.h"

#include <algorithm>
#include <iterator>

namespace {

struct TResourceText {
    int Id;
    const char* Text;
};

// Sorted by id.
constexpr TResourceText kTexts[] = {
    {rsNextButton, "&Next >"},
    {rsBackButton, "< &Back"},
    {rsCancelButton, "Cancel"},
    {rsFinishButton, "&Finish"},
    {rsScanningDevices, "Scanning devices"},
    {rsSelectBurningDevice, "You must select device that is supports burning CD/DVD"},
    {rsNoWritableDisc, "No writable disc is inserted"},
    {rsYes, "Yes"},
    {rsNo, "No"},
    {rsBurningStarted, "Burning started"},
    {rsTestingUnitReady, "Testing unit ready"},
    {rsGettingTrackInformation, "Getting track information"},
    {rsGettingDiscInformation, "Getting disc information"},
    {rsBuildingIsoImage, "Building ISO image"},
    {rsClosingSession, "Closing session"},
    {rsBurningCompleted, "Burning completed"},
    {rsCurrentReadSpeed, "Current read speed %d KBps (%d maximum)"},
    {rsCurrentWriteSpeed, "Current write speed %d KBps (%d maximum)"},
    {rsGettingCurrentSpeeds, "Getting current CD/DVD speeds"},
    {rsEnablingBup, "Enabling BUP (Buffer Underrun Protection)"},
    {rsGettingBupSupport, "Getting BUP (Buffer Underrun Protection) support"},
    {rsCacheUsed, "%d MBs of cache will be used during burn process"},
    {rsFinished, "Finished!"},
    {rsEjectDisc, "Eject disc"},
    {rsBlank, "Blank"},
    {rsNoMediaInDrive, "No media in drive"},
    {rsSettingSpeeds, "Setting CD/DVD speeds"},
    {rsSendingOpc, "Sending OPC (Optimum Power Calibration)"},
    {rsBurningMode, "Burning mode"},
    {rsDiscNotBlank, "Disc is not blank, burning is impossible!"},
    {rsWelcomeTitle, "Welcome to Tavrin"},
    {rsBurning, "Burning"},
    {rsDeviceSelection, "Device Selection"},
    {rsBurningOptions, "Burning Options"},
    {rsBurningOptionsHint, "You can choose various burning options"},
    {rsScsiTransport, "SCSI Transport"},
    {rsScsiTransportHint, "The SCSI transport is a method to access devices"},
    {rsReviewOptionsHint,
     "Review the Data CD/DVD options you have chosen before proceed with burning"},
    {rsOptionsSummary, "Options Summary"},
    {rsClickNextToBurn, "Click Next to start burning"},
    {rsSuccessfullyFinished, "Tavrin has successfully finished!"},
    {rsCompletingWizard, "Completing the Tavrin"},
    {rsFinishedWithError, "Tavrin has finished with error"},
    {rsCanceledByUser, "Burning was canceled by user!"},
    {rsSummaryIntro, "Data CD/DVD will be created with the following options chosen:"},
    {rsBurningModeHint, "You can choose burning mode"},
    {rsBurningModeTitle, "Burning Mode"},
    {rsTestModeDataHint,
     "Test mode does everything as in normal burning process, but with the device laser turned "
     "off. It allows to test the Data CD/DVD compilation for errors."},
    {rsTestModeAudioHint,
     "Test mode does everything as in normal burning process, but with the device laser turned "
     "off. It allows to test the Audio CD compilation for errors."},
    {rsDestinationDevice, "Destination device"},
    {rsScanningSystemHint, "Tavrin is scanning your system for CD and DVD devices."},
    {rsBurningImage, "Burning image"},
    {rsSourceImageFile, "Source image file:"},
    {rsSourceFileSelection, "Source Image File Selection"},
    {rsSelectImageFileHint, "Please select an image file you would like to burn"},
    {rsMustSelectImageFile, "You must select image file"},
    {rsConfirmCancel, "Are you sure you want to cancel current operation?"},
    {rsImageTooBig, "Image size is too big to fit disc space"},
    {rsFileAndDiscSize, "File size: %.2f Mb      Disc size: %.2f Mb"},
    {rsSummaryDrive, "Drive: %s %s (%s)"},
    {rsSummaryImageFile, "Selected image file name: %s"},
    {rsSummaryDiscType, "Disc Type: %s"},
    {rsSummarySendOpc, "Send OPC: %s"},
    {rsSummaryBurningSpeed, "Burning Speed: %s"},
    {rsSummaryTestWrite, "Test Write: %s"},
    {rsSummaryTransport, "Transport: %s"},
    {rsSummaryBurningMode, "Burning Mode: %s"},
    {rsBurningFileSystemImage, "Burning file system image..."},
    {rsDestinationDeviceHint, "CD or DVD burning device to use for disc burning."},
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
    return found->Text;
}
