// SPDX-License-Identifier: GPL-2.0-or-later
// A small window that tells the user a long operation runs (the device
// search): a description, a looping animation and a Cancel button. It stays
// in front of the program's other windows while it is shown.
#pragma once

#include "base/sbFrontEnd.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class TsbAnimate;

class TfrmOperationProgress : public QWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TfrmOperationProgress* sender)>;

    explicit TfrmOperationProgress(QWidget* parent = nullptr);

    QLabel* lblInfo = nullptr;
    TsbAnimate* Animate = nullptr;
    QLabel* lblCancelling = nullptr;
    QPushButton* btnCancel = nullptr;

    // Raised once per showing when the user presses Cancel.
    TNotifyEvent OnCancel;
    bool IsShown() const { return m_isShown; }

    void SetCancelVisible(bool visible);
    void btnCancelClick();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormDeactivate();

    bool m_isShown = false;
};

// The engine's progress window, implemented by TfrmOperationProgress.
class TsbProgressWindow : public IsbProgressWindow {
public:
    TsbProgressWindow();
    ~TsbProgressWindow() override;

    void SetCaption(const std::string& caption) override;
    void SetCancelVisible(bool visible) override;
    void SetInfoText(const std::string& text) override;
    void SetOnCancel(std::function<void()> onCancel) override;
    void Show() override;
    void Hide() override;

    TfrmOperationProgress* Form() const { return m_form.get(); }

private:
    std::unique_ptr<TfrmOperationProgress> m_form;
    QPointer<QWidget> m_previous;
};

// The progress window the engine's factory hands out; the last one created,
// while it lives (tests look at it).
TfrmOperationProgress* CurrentProgressWindow();
