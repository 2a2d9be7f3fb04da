// SPDX-License-Identifier: GPL-2.0-or-later
// The first window the user sees, and the program's main form: closing it
// ends the program. Next opens the wizard's main window in its place; the
// copy entry opens the copy window over it, and the burn's sheets never see it.
#pragma once

#include "app/sbChromeForm.h"

#include <QPointer>

class QPushButton;
class QWidget;
class TfrmCopyDisc;

class TfrmWelcome : public TsbChromeForm {
    Q_OBJECT

public:
    explicit TfrmWelcome(QWidget* parent = nullptr);

    QWidget* PanelMain = nullptr;
    QLabel* WelcomeLabel = nullptr;
    QLabel* DescriptionLabel = nullptr;
    QLabel* lblPressNext = nullptr;
    // "Copy a disc to an image file": the copy window.
    QPushButton* btnCopyDisc = nullptr;

    void ButtonNextClick();
    // Starts the library (the wizard's own session) and opens the copy window.
    void btnCopyDiscClick();
    // The copy window once it has been opened; it lives as long as the
    // program's pages.
    TfrmCopyDisc* CopyWindow() const;
    void ButtonCloseClick();
    void CenterOnScreen();

protected:
    void ApplyLayout(int layout) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QPointer<TfrmCopyDisc> m_copyWindow;
};
