#include "app/sbMainForm.h"

#include "app/sbDockForm.h"
#include "engine/sbLibrarySession.h"
#include "engine/sbLog.h"

TsbMainForm::TsbMainForm(QWidget* parent)
    : TsbChromeForm(parent), m_wizardLog(std::make_unique<TsbLog>()),
      m_session(std::make_unique<TsbLibrarySession>()) {}

TsbMainForm::~TsbMainForm() {
    // What uses the library goes first; the library is shut down last,
    // whether or not it was ever started.
    m_wizardLog.reset();
    PageSequence.clear();
    TsbMainForm::ShutDownLibrary();
}

bool TsbMainForm::LibraryStarted() const {
    return m_session->LibraryStarted();
}

void TsbMainForm::SetLibrarySession(std::unique_ptr<TsbLibrarySession> session) {
    if (session) {
        m_session = std::move(session);
    }
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

void TsbMainForm::MergePageLog(TsbDockForm* page, int index) {
    if (!page) {
        return;
    }
    const TsbLog* pageLog = page->GetPageLog();
    if (!pageLog) {
        return;
    }
    for (int i = 0; i < pageLog->Count(); ++i) {
        TsbLogItem& line = m_wizardLog->Add();
        line.Assign(pageLog->Items(i));
        line.PageOwner = index;
    }
}

// The wizard's actions come with the burn engine; until then there are none
// to merge or remove.
void TsbMainForm::MergePageActions(TsbDockForm*, int) {}

void TsbMainForm::UpdateButtons() {}

void TsbMainForm::RemovePageLog(int index) {
    m_wizardLog->RemoveFromPage(index);
}

void TsbMainForm::RemovePageActions(int) {}

bool TsbMainForm::ValidatePage() {
    return true;
}

void TsbMainForm::PageLeftBackward(int, int) {}

void TsbMainForm::BeforeNextPage() {}

void TsbMainForm::LocalizeCaptions() {}

void TsbMainForm::StartLibrary() {
    m_session->StartLibrary();
}

void TsbMainForm::ShutDownLibrary() {
    m_session->ShutDownLibrary();
}
