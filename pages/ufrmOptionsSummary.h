// SPDX-License-Identifier: GPL-2.0-or-later
// The summary sheet: the options chosen on the earlier sheets, one per line.
// The main window writes every text of the page.
#pragma once

#include "forms/sbDockForm.h"

class QLabel;
class QTextEdit;

class TfrmOptionsSummary : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmOptionsSummary(QWidget* parent = nullptr);

    QLabel* lblName = nullptr;
    QTextEdit* edtSummary = nullptr;
    QLabel* lblNextAction = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};
