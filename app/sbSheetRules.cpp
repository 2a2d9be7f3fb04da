// SPDX-License-Identifier: GPL-2.0-or-later
// The rules of each sheet of the wizard: what Next checks and hands over
// when a sheet is left, what the sheet adds to the wizard log and the
// actions, and how a sheet's page is made ready on arrival. The window
// itself (ufrmMain) only calls them in the sheet order.
#include "app/ufrmMain.h"

#include "app/sbApplication.h"
#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "devices/ufrmSelectDevice.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbCueImage.h"
#include "engine/sbFolderSource.h"
#include "engine/sbLog.h"
#include "engine/sbModeChoice.h"
#include "engine/sbVerify.h"
#include "forms/UtilFuncs.h"
#include "forms/sbTexts.h"
#include "pages/ufrmBurnMode.h"
#include "pages/ufrmBurnOptions.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmOptionsSummary.h"
#include "pages/ufrmSelectTransport.h"
#include "pages/ufrmSourceFileSelection.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTextEdit>

#include <fmt/printf.h>

template <class T>
bool TMainForm::CreatePage(T*& page, int sheet) {
    if (page) {
        return false;
    }
    page = new T(Panels[static_cast<size_t>(sheet)]);
    if (auto* app = TsbApplication::Instance()) {
        app->Own(page);
    }
    page->DockInto(Panels[static_cast<size_t>(sheet)]);
    OrderTabs();
    return true;
}

void TMainForm::ShowTransportPage() {
    CreatePage(TransportPage, 0);
    TransportPage->show();
}

bool TMainForm::ValidatePage() {
    switch (CurrentSheet()) {
    case 2:
        LeaveRecorderSheet();
        break;
    case 3:
        LeaveImageSheet();
        break;
    case 4:
        LeaveOptionsSheet();
        break;
    case 5:
        LeaveModeSheet();
        break;
    case 6:
        LeaveSummarySheet();
        break;
    default:
        break;
    }
    return true;
}

// The recorder sheet: a recorder with a blank writable disc, its facts in
// the burner, the drive opened and locked.
void TMainForm::LeaveRecorderSheet() {
    TsbBurner& burner = Burner();
    if (!DevicePage) {
        throw EsbError(LoadResString(rsSelectBurningDevice));
    }
    DevicePage->ShowScanProgress = true;
    ReleaseMoreBurners();
    if (DevicePage->AllDrivesChosen()) {
        LeaveRecorderSheetForEveryDrive();
        return;
    }
    if (!DevicePage->SelectedDevice()) {
        // Drives that are all in use or closed to the user say why.
        const std::string refusal = DevicePage->RefusalText();
        throw EsbError(refusal.empty() ? LoadResString(rsSelectBurningDevice) : refusal);
    }
    // The command-line program makes the same checks and hands the same
    // facts over through the same functions.
    const TsbDeviceItem& device = *DevicePage->SelectedDevice();
    CheckRecorderForBurn(device, device.DiscSpace);
    CopyDeviceChoice(device, TransportPage && TransportPage->UseASPI() ? ttAspi : ttSpti, burner);
    burner.OpenDevice();
    burner.LockDevice();
}

void TMainForm::LeaveRecorderSheetForEveryDrive() {
    // tavrin-burn --all's rule, and the checks Next makes of one drive.
    const std::vector<TsbDeviceItem*> devices = DevicePage->SuitableDevices();
    if (devices.empty()) {
        throw EsbError(tr("No listed recorder holds a blank disc it can write. Put one in and "
                          "click Refresh, or untick \"Burn on every recorder with a suitable "
                          "disc\".")
                           .toStdString());
    }
    const TsbTransportType transport = TransportPage && TransportPage->UseASPI() ? ttAspi : ttSpti;
    TsbBurner& burner = Burner();
    CopyDeviceChoice(*devices.front(), transport, burner);
    burner.OpenDevice();
    burner.LockDevice();
    try {
        for (size_t i = 1; i < devices.size(); ++i) {
            MoreBurners().push_back(std::make_unique<TsbBurner>());
            TsbBurner& more = *MoreBurners().back();
            CopyDeviceChoice(*devices[i], transport, more);
            more.OpenDevice();
            more.LockDevice();
        }
    } catch (...) {
        // The sheet stays: no drive of this choice is kept.
        ReleaseMoreBurners();
        burner.ReleaseDevice();
        throw;
    }
}

void TMainForm::CheckManyDiscs() {
    const QString name = SourcePage ? SourcePage->ImageFileName : QString();
    if (FolderSource) {
        throw EsbError(tr("Several recorders and copies burn an image file: a folder is burnt on "
                          "one recorder, one disc at a time.")
                           .toStdString());
    }
    if (IsCueSheet(name.toStdString())) {
        throw EsbError(tr("Several recorders and copies burn an image file: a cue sheet is "
                          "burnt on one recorder, one disc at a time.")
                           .toStdString());
    }
    if (WizardOptions.WriteMode != wmTrackAtOnceFromFile) {
        throw EsbError(tr("Several recorders and copies are written Track-At-Once: go Back to "
                          "the write mode and choose Track-At-Once.")
                           .toStdString());
    }
}

// The image sheet: an image file that exists, fits the disc and is complete.
void TMainForm::LeaveImageSheet() {
    TsbBurner& burner = Burner();
    const QString name = SourcePage ? SourcePage->ImageFileName : QString();
    FolderSource = false;
    if (IsSourceFolder(QFile::encodeName(name).toStdString())) {
        LeaveImageSheetWithFolder();
        return;
    }
    // A tree left from a folder chosen before is not burnt with the image.
    burner.DestroyFileTree();
    const QFileInfo file(name);
    if (name.isEmpty() || !file.exists() || !file.isFile()) {
        throw EsbError(LoadResString(rsMustSelectImageFile));
    }
    if (IsCueSheet(name.toStdString()) && !MoreBurners().empty()) {
        CheckManyDiscs();
    }
    if (IsCueSheet(name.toStdString())) {
        // Read as libburn will burn it: a sheet it cannot burn stops here, with its line.
        const TsbCueSheet sheet = ReadCueSheet(QFile::encodeName(name).toStdString());
        const uint32_t disc = CueDiscSectors(burner.DiscSpace.FreeBytes);
        if (sheet.TotalSectors > disc) {
            throw EsbError("The cue sheet does not fit on the disc: " +
                           MsfText(sheet.TotalSectors) + " of " + MsfText(disc));
        }
        RememberImageFolder(name);
        return;
    }
    // The file named now, as it is now: not the size of a file picked
    // earlier, nor one from before the user's last keystroke.
    if (SourcePage->ReadImageFileSize() > burner.DiscSpace.FreeBytes) {
        throw EsbError(LoadResString(rsImageTooBig));
    }
    for (const auto& more : MoreBurners()) {
        if (SourcePage->ReadImageFileSize() > more->DiscSpace.FreeBytes) {
            throw EsbError(tr("The image does not fit on the disc in %1.")
                               .arg(QString::fromStdString(more->DeviceName))
                               .toStdString());
        }
    }
    const TsbImageCheck check = CheckImageFile(QFile::encodeName(name).toStdString());
    if (check.Incomplete()) {
        throw EsbError(IncompleteImageText(check));
    }
    RememberImageFolder(name);
}

// A folder measured to fit the disc, its tree handed to the burner.
void TMainForm::LeaveImageSheetWithFolder() {
    TsbBurner& burner = Burner();
    if (SourcePage->FolderName != SourcePage->ImageFileName) {
        // Named in the last moment: the folder is looked at now.
        SourcePage->LookAtSource();
    }
    const QString refusal = SourcePage->FolderRefusal();
    if (!refusal.isEmpty()) {
        throw EsbError(refusal.toStdString());
    }
    if (!MoreBurners().empty()) {
        CheckManyDiscs();
    }
    // Back and Next again: the burner still holds the tree it was handed.
    if (!SourcePage->HandOverFolderTree(burner) && burner.FileTree == nullptr) {
        SourcePage->LookAtSource();
        throw EsbError(SourcePage->FolderRefusal().toStdString());
    }
    FolderSource = true;
    RememberImageFolder(SourcePage->FolderName);
}

// The options sheet: its choices in the option record, the record on the burner.
void TMainForm::LeaveOptionsSheet() {
    TsbBurner& burner = Burner();
    if (!OptionsPage) {
        return;
    }
    TsbWizardOptions options = WizardOptions;
    options.MultiSession = OptionsPage->GetMultiSession() ? 1 : 0;
    options.SendOPC = OptionsPage->GetSendOPC() ? 1 : 0;
    burner.Verify = OptionsPage->GetVerify();
    const TsbDiscSpeedItem& speed = OptionsPage->GetSelectedSpeed();
    options.SpeedFactor = speed.SpeedInPoint;
    options.WriteSpeed = speed.SpeedInSize;
    WizardOptions = options;
    CopyWizardOptions(WizardOptions, burner);
    Copies = OptionsPage->GetCopies();
    if (!ManyDiscs()) {
        return;
    }
    CheckManyDiscs();
    for (const auto& more : MoreBurners()) {
        // Each drive at the chosen speed, or at its own fastest below it.
        TsbDiscSpeedList speeds;
        speeds.Fill(*more);
        const TsbDiscSpeedItem* chosen = speeds.Count() > 0 ? speeds.Items(0) : nullptr;
        for (int i = 0; i < speeds.Count(); ++i) {
            if (speeds.Items(i)->SpeedInPoint <= speed.SpeedInPoint) {
                chosen = speeds.Items(i);
            }
        }
        if (!chosen) {
            throw EsbError(SbTranslate("Devices", NoSpeedSelectedText));
        }
        TsbWizardOptions own = WizardOptions;
        own.SpeedFactor = chosen->SpeedInPoint;
        own.WriteSpeed = chosen->SpeedInSize;
        CopyWizardOptions(own, *more);
        more->Verify = burner.Verify;
    }
}

// The mode sheet: a new option record of the mode and test choice, on the burner.
void TMainForm::LeaveModeSheet() {
    TsbBurner& burner = Burner();
    TsbWizardOptions options{};
    if (ModePage) {
        ModePage->GetModeChoice(options);
    }
    WizardOptions = options;
    CopyWizardOptions(WizardOptions, burner);
}

void TMainForm::LeaveSummarySheet() {
    if (!FolderSource || !SummaryPage) {
        return;
    }
    const std::string label = SummaryPage->FixVolumeLabel();
    Burner().VolumeLabel = label;
    // The source row of the image sheet names the label the disc gets.
    for (int i = 0; i < WizardLog().Count(); ++i) {
        if (WizardLog().Items(i).PageOwner == 3) {
            WizardLog().Items(i).LogMessage = FolderSourceLine(
                WizardActions().Options.SourceFileName, SourcePage->FolderBytes, label);
            break;
        }
    }
}

void TMainForm::CollectPageResults() {
    switch (CurrentSheet()) {
    case 0: {
        WizardLog().Clear();
        TsbLogItem& line = WizardLog().Add();
        line.LogMessage = LoadResString(rsBurningImage);
        line.PageOwner = 0;
        break;
    }
    case 2:
        RemovePageActions(2);
        if (MoreBurners().empty()) {
            MergePageLog(DevicePage, 2);
            break;
        }
        // Every drive of the burn, each by its name.
        RemovePageLog(2);
        for (TsbBurner* b : BurnersOfTheRun()) {
            TsbLogItem& line = WizardLog().Add();
            line.LogMessage = LoadResString(rsDestinationDevice) + ": " + b->DeviceInfo.Product +
                              " (" + b->DeviceName + ")";
            line.ItemType = litInfo;
            line.PageOwner = 2;
        }
        break;
    case 3: {
        RemovePageLog(3);
        const QString name = SourcePage ? SourcePage->ImageFileName : QString();
        if (FolderSource) {
            const std::string folder = QFile::encodeName(SourcePage->FolderName).toStdString();
            TsbLogItem& line = WizardLog().Add();
            line.LogMessage =
                FolderSourceLine(folder, SourcePage->FolderBytes, FolderLabelOf(folder));
            line.PageOwner = 3;
            // What the tree skipped or renamed, as tavrin-burn lists it.
            for (const std::string& note : SourcePage->FolderNotes) {
                TsbLogItem& row = WizardLog().Add();
                row.LogMessage = note;
                row.ItemType = litWarning;
                row.PageOwner = 3;
            }
            WizardActions().Options.SourceIsFile = 0;
            WizardActions().Options.SourceFileName = folder;
            break;
        }
        TsbLogItem& line = WizardLog().Add();
        line.LogMessage = LoadResString(rsSourceImageFile) + " " + name.toStdString();
        line.PageOwner = 3;
        WizardActions().Options.SourceIsFile = 1;
        WizardActions().Options.SourceFileName = QFile::encodeName(name).toStdString();
        if (IsCueSheet(name.toStdString())) {
            // The summary shows the sheet's tracks and their sum against the disc.
            const TsbCueSheet sheet = ReadCueSheet(WizardActions().Options.SourceFileName);
            for (const std::string& text :
                 CueTrackLines(sheet, CueDiscSectors(Burner().DiscSpace.FreeBytes))) {
                TsbLogItem& track = WizardLog().Add();
                track.LogMessage = text;
                track.PageOwner = 3;
            }
        }
        break;
    }
    case 4: {
        RemovePageActions(4);
        MergePageLog(OptionsPage, 4);
        TsbActionItem* item = WizardActions().Add();
        item->Action = &BurnImageAction();
        item->PageIndex = 4;
        break;
    }
    default:
        break;
    }
}

void TMainForm::PreparePage(int index) {
    TsbBurner& burner = Burner();
    switch (index) {
    case 1:
        CopyWizardOptions(WizardOptions, burner);
        CreatePage(FinalPage, 1);
        FinalPage->WizardLog = &WizardLog();
        FinalPage->WizardActions = &WizardActions();
        FinalPage->ShowBufferStatus(false);
        FinalPage->SetPageData(&burner);
        FinalPage->SetManyDiscs(ManyDiscs() ? BurnersOfTheRun() : std::vector<TsbBurner*>{},
                                Copies);
        FinalPage->show();
        break;
    case 2:
        CreatePage(DevicePage, 2);
        DevicePage->ScanInfoText = LoadResString(rsScanningSystemHint);
        DevicePage->ListAllDevices = false;
        DevicePage->OnWorkBegin = [this](TsbDockForm*) { LockNavigation(); };
        DevicePage->OnWorkEnd = [this](TsbDockForm*) { UnlockNavigation(); };
        // A drive plugged in or pulled out: the library learns its drives as
        // it starts. The drive a Back left open (its lock already
        // let go) is closed first.
        DevicePage->OnDrivesAddedOrRemoved = [this] { RestartLibrary(); };
        burner.TransportType = TransportPage && TransportPage->UseASPI() ? ttAspi : ttSpti;
        // The page is shown first so the list is seen filling.
        DevicePage->show();
        DevicePage->SetPageData(&burner);
        break;
    case 3:
        if (CreatePage(SourcePage, 3)) {
            SourcePage->OnFolderStateChanged = [this] { UpdateButtons(); };
            // The image named on the command line ("Open with").
            if (auto* app = TsbApplication::Instance(); app && !app->InitialImage().isEmpty()) {
                SourcePage->Edit1->setText(app->InitialImage());
            }
        } else if (!SourcePage->FolderName.isEmpty()) {
            // Back on the recorder sheet the library may have started again
            // (the trees dropped before it stopped), and the folder may have changed.
            SourcePage->LookAtSource();
        }
        SourcePage->SetPageData(&burner);
        SourcePage->show();
        break;
    case 4:
        CreatePage(OptionsPage, 4);
        OptionsPage->SetPageData(&burner);
        OptionsPage->show();
        break;
    case 5: {
        CreatePage(ModePage, 5);
        const bool blank =
            DevicePage && DiscAllowsWholeDiscModes(DevicePage->GetSelectedDiscInfo());
        ModePage->AllowSAO = blank;
        ModePage->AllowDAOPQ = blank;
        ModePage->AllowDAORaw = blank;
        if (!MoreBurners().empty()) {
            // Several drives are fed one stream, written Track-At-Once.
            ModePage->AllowSAO = false;
            ModePage->AllowDAOPQ = false;
            ModePage->AllowDAORaw = false;
        }
        // A folder is written from its tree, as it is made.
        ModePage->ImageFileModes = !FolderSource;
        ModePage->SetPageData(&burner);
        ModePage->show();
        break;
    }
    case 6:
        if (CreatePage(SummaryPage, 6)) {
            SummaryPage->lblNextAction->setText(ResText(15228));
            SummaryPage->lblName->setText(ResText(15233));
        }
        if (FolderSource) {
            SummaryPage->OfferVolumeLabel(SourcePage->FolderName);
        } else {
            SummaryPage->HideVolumeLabel();
        }
        // Plain text: an image, drive or disc name is shown as it is spelled.
        SummaryPage->edtSummary->setPlainText(SummaryLines().join(QLatin1Char('\n')));
        SummaryPage->show();
        break;
    default:
        break;
    }
}

QString WriteModeSummaryName(uint8_t mode) {
    // A folder is burnt from its tree, in the same ways as an image file.
    switch (mode) {
    case wmDiscAtOncePQFromFile:
    case wmDiscAtOncePQFromTree:
        return QStringLiteral("Disc-At-Once PQ");
    case wmDiscAtOnceRawPWFromFile:
    case wmDiscAtOnceRawPWFromTree:
        return QStringLiteral("Disc-At-Once Raw PW");
    case wmTrackAtOnceFromFile:
    case wmTrackAtOnceFromTree:
        return QStringLiteral("Track-At-Once");
    case wmSessionAtOnceFromFile:
    case wmSessionAtOnceFromTree:
        return QStringLiteral("Session-At-Once");
    default:
        return QString();
    }
}

QStringList TMainForm::SummaryLines() const {
    const TsbBurner& burner = const_cast<TMainForm*>(this)->Burner();
    auto line = [](int id, const std::string& value) {
        return QString::fromStdString(fmt::sprintf(LoadResString(id), value));
    };
    const std::string speed = fmt::sprintf("%d.0x", burner.SpeedFactor) + " (" +
                              std::to_string(burner.WriteSpeed) + " KB/sec)";
    const QString imageFile = SourcePage ? SourcePage->ImageFileName : QString();
    QStringList lines{
        QString::fromStdString(fmt::sprintf(LoadResString(rsSummaryDrive),
                                            burner.DeviceInfo.Product, burner.DeviceInfo.Vendor,
                                            burner.DeviceInfo.ProductRevisionLevel)),
        line(rsSummaryTransport, burner.TransportType == ttAspi ? "ASPI" : "SPTI"),
        line(rsSummaryDiscType, DiscTypeToStr(burner.DiscType)),
        FolderSource && SourcePage
            ? tr("Folder: %1 (%2 MB)")
                  .arg(SourcePage->FolderName)
                  .arg((SourcePage->FolderBytes + 1024 * 1024 - 1) / (1024 * 1024))
            : line(rsSummaryImageFile, imageFile.toStdString()),
        line(rsSummaryBurningSpeed, speed),
        line(rsSummarySendOpc, BoolToYesNoStr(burner.SendOPC, false)),
        line(rsSummaryBurningMode, WriteModeSummaryName(burner.WriteMode).toStdString()),
        line(rsSummaryTestWrite, BoolToYesNoStr(burner.TestWrite, false)),
        tr("Verify: ") + QString::fromStdString(BoolToYesNoStr(burner.Verify, false)),
    };
    if (!MoreBurners().empty()) {
        QStringList names;
        for (TsbBurner* b : const_cast<TMainForm*>(this)->BurnersOfTheRun()) {
            names << QString::fromStdString(b->DeviceName);
        }
        lines << tr("Recorders, all at once: %1").arg(names.join(QStringLiteral(", ")));
    }
    if (Copies > 1) {
        lines << tr("Copies on each recorder: %1").arg(Copies);
    }
    return lines;
}

void TMainForm::RestartLibrary() {
    ReleaseMoreBurners();
    Burner().CloseDevice();
    // A folder's trees are the library's: freed while it still runs, and
    // none is being made as it stops.
    Burner().DestroyFileTree();
    if (SourcePage) {
        SourcePage->DropMeasure();
    }
    ShutDownLibrary();
    StartLibrary();
}
