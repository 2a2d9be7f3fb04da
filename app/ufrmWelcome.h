// SPDX-License-Identifier: GPL-2.0-or-later
// The first window the user sees, and the program's main form: closing it
// ends the program. Next opens the wizard's main window in its place.
#pragma once

#include "app/sbChromeForm.h"

class QWidget;

class TfrmWelcome : public TsbChromeForm {
    Q_OBJECT

public:
    explicit TfrmWelcome(QWidget* parent = nullptr);

    QWidget* PanelMain = nullptr;
    QLabel* WelcomeLabel = nullptr;
    QLabel* DescriptionLabel = nullptr;
    QLabel* lblPressNext = nullptr;

    void ButtonNextClick();
    void ButtonCloseClick();
    void CenterOnScreen();

protected:
    void ApplyLayout(int layout) override;
    void closeEvent(QCloseEvent* event) override;
};
