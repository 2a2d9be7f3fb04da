// SPDX-License-Identifier: GPL-2.0-or-later
// The burn-options sheet: the write speed (from the speeds the recorder
// accepts for the inserted disc), power calibration and verification after
// burning (off until the user ticks it once, then remembered), and the copies
// in a row on each recorder. The multisession box follows the write mode and
// stays hidden.
#pragma once

#include "devices/sbDiscSpeedList.h"
#include "forms/sbDockForm.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;

class TfrmBurnOptions : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmBurnOptions(QWidget* parent = nullptr);
    ~TfrmBurnOptions() override;

    QLabel* Label1 = nullptr;
    QCheckBox* chbSOPC = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* cmbSpeed = nullptr;
    QCheckBox* chbVerify = nullptr;
    QLabel* lblMultisession = nullptr;
    QCheckBox* chbMultiSession = nullptr;
    // Discs in a row on each recorder (1: the one-disc burn); more than one
    // are written Track-At-Once, each after the next blank disc is put in.
    QLabel* lblCopies = nullptr;
    QSpinBox* spnCopies = nullptr;

    bool MultiSessionVisible = false;
    TsbDiscSpeedList& SpeedList() { return *m_speedList; }

    // Fills the speeds from the burner's opened recorder (see the .cpp).
    void SetPageData(TsbBurner* data) override;
    // The speed at the selected position; raises EsbError when the list
    // offers no speed to select.
    const TsbDiscSpeedItem& GetSelectedSpeed() const;
    bool GetSendOPC() const;
    bool GetMultiSession() const;
    bool GetVerify() const;
    int GetCopies() const;

private:
    std::unique_ptr<TsbDiscSpeedList> m_speedList;
};
