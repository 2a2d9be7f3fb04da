// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard's main window: one sheet of the page control at a time, with
// the sheet's title and subtitle above it and the chrome around it. Each
// sheet has a panel into which the sheet's page is docked.
#pragma once

#include "app/sbMainForm.h"
#include "forms/sbWizardOptions.h"

#include <QStringList>

#include <array>

class QLabel;
class TSelectTransportForm;
class TfrmBurnMode;
class TfrmBurnOptions;
class TfrmFinalAction;
class TfrmOptionsSummary;
class TfrmSelectDevice;
class TfrmSourceFileSelection;
class TsbPageControl;
class TsbTabSheet;

class TMainForm : public TsbMainForm {
    Q_OBJECT

public:
    static constexpr int SheetCount = 7;

    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    TsbPageControl* pcBurner = nullptr;
    std::array<TsbTabSheet*, SheetCount> Sheets{};
    // pnlTs0, pnlFinalPage, pnlTs2 ... pnlTs6, by sheet.
    std::array<QWidget*, SheetCount> Panels{};
    QLabel* LabelTitle = nullptr;
    QLabel* LabelSubTitle = nullptr;

    // The pages, created on the first arrival at their sheet and owned by
    // the application object.
    TfrmFinalAction* FinalPage = nullptr;
    TfrmSelectDevice* DevicePage = nullptr;
    TfrmSourceFileSelection* SourcePage = nullptr;
    TfrmBurnOptions* OptionsPage = nullptr;
    TSelectTransportForm* TransportPage = nullptr;
    TfrmBurnMode* ModePage = nullptr;
    TfrmOptionsSummary* SummaryPage = nullptr;
    // The choices of the write-mode and burn-options sheets.
    TsbWizardOptions WizardOptions;
    // The copies field of the burn-options sheet: discs in a row on each drive.
    int Copies = 1;
    // The image sheet was left with a folder: it is burnt as a data disc from
    // the burner's file tree (the action list's SourceFileName names it).
    bool FolderSource = false;

    // Several drives or several copies: the Burning sheet runs them all at
    // once (TsbMultiBurn), Track-At-Once only.
    bool ManyDiscs() const { return !MoreBurners().empty() || Copies > 1; }
    // The finish window's text (and the notice's) once the run is over.
    QString FinishText();

    void BuildPageSequence() override;
    void LocalizeCaptions() override;
    void LockNavigation() override;
    void UpdateButtons() override;
    // The checks and hand-overs of the sheet being left forward; raises
    // EsbError when it may not be left.
    bool ValidatePage() override;
    void PageLeftBackward(int fromIndex, int toIndex) override;
    void BeforeNextPage() override;

    // The title and subtitle of the current sheet.
    void ShowSheetTitles();
    // After every switch of the current sheet; on the final sheet it runs
    // the burn and returns when it is over.
    void SheetEntered();
    void CollectPageResults();
    void PreparePage(int index);
    void ShowTransportPage();
    // The lines of the summary sheet, from the burner and the image file.
    QStringList SummaryLines() const;
    // Enables Cancel; the eventer raises it, on any thread, when a
    // cancellable write starts or ends.
    void SetCancelEnabled(bool enabled);
    int CurrentSheet() const;
    // The library learns its drives as it starts: a drive plugged in or
    // pulled out is seen after this. The drives the burner and its fellows
    // hold (a Back leaves them open, their locks let go) are closed first.
    void RestartLibrary();

    // Puts the sheets' controls before the bottom buttons in the Tab order.
    void OrderTabs();
    // Puts the keyboard focus on the current sheet's first control.
    void FocusSheet();

    void FormShow();
    void ButtonNextClick();
    void ButtonPrevClick();
    void ButtonCloseClick();

protected:
    void ApplyLayout(int layout) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The rules of the sheets left forward (app/sbSheetRules.cpp).
    void LeaveRecorderSheet();
    // With "every recorder" ticked: every suitable drive opened and locked.
    void LeaveRecorderSheetForEveryDrive();
    // What several drives or copies cannot burn (a cue sheet, a mode other
    // than Track-At-Once); raises EsbError.
    void CheckManyDiscs();
    void LeaveImageSheet();
    void LeaveImageSheetWithFolder();
    void LeaveOptionsSheet();
    void LeaveModeSheet();
    // A folder's volume label, as fixed, on the burner and in the log.
    void LeaveSummarySheet();
    void FormCreate();
    void SetCurrentSheet(int index);
    // Makes the sheet's page, docked into its panel and owned by the
    // application, unless Page is there already; true when it made it.
    template <class T>
    bool CreatePage(T*& page, int sheet);
};

class QMimeData;
// The one local file a drop carries, else an empty text.
QString DroppedFile(const QMimeData* data);

// The write mode's name in the summary.
QString WriteModeSummaryName(uint8_t mode);

// Title and subtitle of a sheet.
QString SheetTitle(int sheet);
QString SheetSubTitle(int sheet);
