// SPDX-License-Identifier: GPL-2.0-or-later
// The base of every wizard page. A page is a window of its own that the
// main window docks into the panel of one of its sheets; the main window
// hands it the shared burner as its page data and collects the page's log
// lines when the page is left forward.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

class TsbBurner;
class TsbLog;
class TsbActionList;

class TsbDockForm : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TsbDockForm* sender)>;

    explicit TsbDockForm(QWidget* parent = nullptr);
    ~TsbDockForm() override;

    // A long operation of the page starts or ends. Pages that disable their
    // own controls meanwhile override these and call the base last.
    virtual void BeginWork();
    virtual void EndWork();
    // Fills the page's controls from PageData; the base does nothing.
    virtual void RefreshPage();
    // Stores the data object (not owned), then RefreshPage.
    virtual void SetPageData(TsbBurner* data);
    // Places the page inside panel: 5 pixels in from its top left, reaching
    // its right and bottom edges, and following the panel's size.
    virtual void DockInto(QWidget* panel);
    // The page's own log lines and actions, or nullptr; the main window
    // copies from them and never takes them over.
    virtual TsbLog* GetPageLog();
    virtual TsbActionList* GetPageActions();

    TsbBurner* PageData() const { return m_pageData; }
    int WorkCount() const { return m_workCount; }

    TNotifyEvent OnWorkBegin;
    TNotifyEvent OnWorkEnd;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FollowPanel();

    TsbBurner* m_pageData = nullptr;
    int m_workCount = 0;
    QPointer<QWidget> m_panel;
};
