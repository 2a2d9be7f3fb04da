// SPDX-License-Identifier: GPL-2.0-or-later
// The last window: tells whether the run succeeded, failed or was cancelled.
// Its Finish and close buttons end the program; Back and Cancel stay off.
#pragma once

#include "app/sbChromeForm.h"

class TfrmFinish : public TsbChromeForm {
    Q_OBJECT

public:
    explicit TfrmFinish(QWidget* parent = nullptr);

    QLabel* CompleteLabel = nullptr;
    QLabel* DescriptionLabel = nullptr;

    void ButtonNextClick();
    void ButtonExitClick();

protected:
    void ApplyLayout(int layout) override;
    void closeEvent(QCloseEvent* event) override;
};

// The outcome text of a run from the burner's flags.
QString FinishOutcomeText(bool writeStarted, bool cancelled);
// The outcome text of a run on several drives or of several copies: the
// outcome as above (a success only when every copy succeeded), then how many
// copies were done and how many failed.
QString FinishCopiesText(int done, int failed, bool cancelled);
