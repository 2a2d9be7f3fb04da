#include "app/sbMainForm.h"

#include "app/sbDockForm.h"

TsbMainForm::TsbMainForm(QWidget* parent) : TsbChromeForm(parent) {}

TsbMainForm::~TsbMainForm() {
    PageSequence.clear();
    // The burner is gone before the library goes down.
    TsbMainForm::ShutDownLibrary();
}

void TsbMainForm::BuildPageSequence() {
    PageSequence.clear();
}

int TsbMainForm::GetNextPage(int index) const {
    const qsizetype at = PageSequence.indexOf(QString::number(index));
    if (at < 0 || at + 1 >= PageSequence.size()) {
        return -1;
    }
    return PageSequence.at(at + 1).toInt();
}

int TsbMainForm::GetPrevPage(int index) const {
    const qsizetype at = PageSequence.indexOf(QString::number(index));
    if (at <= 0) {
        return -1;
    }
    return PageSequence.at(at - 1).toInt();
}

void TsbMainForm::LockNavigation() {
    CloseAllowed = false;
}

void TsbMainForm::UnlockNavigation() {
    UpdateButtons();
    CloseAllowed = true;
}

void TsbMainForm::MergePageLog(TsbDockForm*, int) {}

void TsbMainForm::MergePageActions(TsbDockForm*, int) {}

void TsbMainForm::UpdateButtons() {}

void TsbMainForm::RemovePageLog(int) {}

void TsbMainForm::RemovePageActions(int) {}

bool TsbMainForm::ValidatePage() {
    return true;
}

void TsbMainForm::PageLeftBackward(int, int) {}

void TsbMainForm::BeforeNextPage() {}

void TsbMainForm::LocalizeCaptions() {}

void TsbMainForm::StartLibrary() {}

void TsbMainForm::ShutDownLibrary() {
    LibraryStarted = false;
}
