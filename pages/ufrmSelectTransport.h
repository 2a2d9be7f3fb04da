// SPDX-License-Identifier: GPL-2.0-or-later
// The first sheet: the SCSI transport through which the recorders are
// reached, by device name (SPTI) or by SCSI address (ASPI).
#pragma once

#include "forms/sbDockForm.h"

class QLabel;
class QRadioButton;

class TSelectTransportForm : public TsbDockForm {
    Q_OBJECT

public:
    explicit TSelectTransportForm(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QRadioButton* rbSpti = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* rbAspi = nullptr;
    QLabel* Label3 = nullptr;

    // True when SPTI is not the choice.
    bool UseASPI() const;

private:
    void FormCreate();
};
