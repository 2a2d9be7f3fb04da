// The wizard's main window: one sheet of the page control at a time, with
// the sheet's title and subtitle above it and the chrome around it. Each
// sheet has a panel into which the sheet's page is docked.
#pragma once

#include "app/sbMainForm.h"

#include <array>

class QLabel;
class TsbPageControl;
class TsbTabSheet;

class TMainForm : public TsbMainForm {
    Q_OBJECT

public:
    static constexpr int SheetCount = 7;

    explicit TMainForm(QWidget* parent = nullptr);

    TsbPageControl* pcBurner = nullptr;
    std::array<TsbTabSheet*, SheetCount> Sheets{};
    // pnlTs0, pnlFinalPage, pnlTs2 ... pnlTs6, by sheet.
    std::array<QWidget*, SheetCount> Panels{};
    QLabel* LabelTitle = nullptr;
    QLabel* LabelSubTitle = nullptr;

    void BuildPageSequence() override;
    void LocalizeCaptions() override;
    // The title and subtitle of the current sheet.
    void ShowSheetTitles();

protected:
    void ApplyLayout(int layout) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
};

// Title and subtitle of a sheet.
QString SheetTitle(int sheet);
QString SheetSubTitle(int sheet);
