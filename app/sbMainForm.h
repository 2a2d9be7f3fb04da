// SPDX-License-Identifier: GPL-2.0-or-later
// The base of the wizard's main window. It keeps what lives as long as the
// wizard: the order of the sheets, the wizard log, the wizard's actions, the
// burner and the library session, and it offers the navigation hooks the
// wizard window overrides.
#pragma once

#include "app/sbChromeForm.h"

#include <QStringList>

#include <memory>
#include <vector>

class TsbActionList;
class TsbBurnAtOnceToCDDVDAction;
class TsbBurner;
class TsbDockForm;
class TsbLibrarySession;
class TsbLog;

class TsbMainForm : public TsbChromeForm {
    Q_OBJECT

public:
    explicit TsbMainForm(QWidget* parent = nullptr);
    ~TsbMainForm() override;

    virtual void BuildPageSequence();
    // The sheet after (before) index in PageSequence, or -1 when index is
    // not in the sequence or has no neighbour on that side.
    virtual int GetNextPage(int index) const;
    virtual int GetPrevPage(int index) const;
    virtual void LockNavigation();
    virtual void UnlockNavigation();
    // Copies the page's log lines into WizardLog, each tagged with index.
    virtual void MergePageLog(TsbDockForm* page, int index);
    virtual void MergePageActions(TsbDockForm* page, int index);
    virtual void UpdateButtons();
    // Removes the first line tagged index and every line after it.
    virtual void RemovePageLog(int index);
    virtual void RemovePageActions(int index);
    virtual bool ValidatePage();
    virtual void PageLeftBackward(int fromIndex, int toIndex);
    virtual void BeforeNextPage();
    virtual void LocalizeCaptions();
    virtual void StartLibrary();
    virtual void ShutDownLibrary();

    QStringList PageSequence;
    bool CloseAllowed = true;
    // 0 idle, 1 the final page's actions run, 2 they have run.
    int RunState = 0;

    // True once the library has started, until it is shut down.
    bool LibraryStarted() const;
    // The lines collected from the pages, each tagged with its sheet.
    TsbLog& WizardLog() { return *m_wizardLog; }
    const TsbLog& WizardLog() const { return *m_wizardLog; }
    // The actions the final sheet runs, each tagged with its sheet.
    TsbActionList& WizardActions() { return *m_wizardActions; }
    // The one burner every page works on.
    TsbBurner& Burner() { return *m_burner; }
    // The further drives of a burn on every recorder (the first is Burner()),
    // each opened and locked while it is chosen; empty in a one-drive burn.
    std::vector<std::unique_ptr<TsbBurner>>& MoreBurners() { return m_moreBurners; }
    const std::vector<std::unique_ptr<TsbBurner>>& MoreBurners() const { return m_moreBurners; }
    // Burner() and then MoreBurners(): every drive a run writes to.
    std::vector<TsbBurner*> BurnersOfTheRun();
    // Lets every further drive go (unlocked and closed) and forgets it.
    void ReleaseMoreBurners();
    // The burn-image action the burn-options sheet schedules.
    TsbBurnAtOnceToCDDVDAction& BurnImageAction() { return *m_burnImageAction; }

    // Replaces the library session (tests hand in one with their own entry
    // points). Only before the library has been started.
    void SetLibrarySession(std::unique_ptr<TsbLibrarySession> session);

private:
    std::unique_ptr<TsbLog> m_wizardLog;
    std::unique_ptr<TsbActionList> m_wizardActions;
    std::unique_ptr<TsbBurner> m_burner;
    std::vector<std::unique_ptr<TsbBurner>> m_moreBurners;
    std::unique_ptr<TsbBurnAtOnceToCDDVDAction> m_burnImageAction;
    std::unique_ptr<TsbLibrarySession> m_session;
};
