// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/sbMainForm.h"

#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbLibrarySession.h"
#include "engine/sbLog.h"
#include "forms/sbDockForm.h"

TsbMainForm::TsbMainForm(QWidget* parent)
    : TsbChromeForm(parent), m_wizardLog(std::make_unique<TsbLog>()),
      m_wizardActions(std::make_unique<TsbActionList>()), m_burner(std::make_unique<TsbBurner>()),
      m_burnImageAction(std::make_unique<TsbBurnAtOnceToCDDVDAction>()),
      m_session(std::make_unique<TsbLibrarySession>()) {}

TsbMainForm::~TsbMainForm() {
    // What uses the library goes first (the burner closes its device); the
    // library is shut down last, whether or not it was ever started.
    m_burnImageAction.reset();
    ReleaseMoreBurners();
    m_burner.reset();
    m_wizardActions.reset();
    m_wizardLog.reset();
    PageSequence.clear();
    TsbMainForm::ShutDownLibrary();
}

void TsbMainForm::ReleaseMoreBurners() {
    for (auto& burner : m_moreBurners) {
        // Each is let go whatever the others do: the next grab must find it free.
        try {
            burner->ReleaseDevice();
        } catch (const std::exception&) {
        }
        try {
            burner->CloseDevice();
        } catch (const std::exception&) {
        }
    }
    m_moreBurners.clear();
}

std::vector<TsbBurner*> TsbMainForm::BurnersOfTheRun() {
    std::vector<TsbBurner*> burners{m_burner.get()};
    for (const auto& more : m_moreBurners) {
        burners.push_back(more.get());
    }
    return burners;
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

void TsbMainForm::MergePageActions(TsbDockForm* page, int index) {
    if (!page) {
        return;
    }
    const TsbActionList* pageActions = page->GetPageActions();
    if (!pageActions) {
        return;
    }
    for (int i = 0; i < pageActions->Count(); ++i) {
        TsbActionItem* item = m_wizardActions->Add();
        item->Assign(*pageActions->Items(i));
        item->PageIndex = index;
    }
}

void TsbMainForm::UpdateButtons() {}

void TsbMainForm::RemovePageLog(int index) {
    m_wizardLog->RemoveFromPage(index);
}

void TsbMainForm::RemovePageActions(int index) {
    m_wizardActions->RemoveFromPage(index);
}

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
