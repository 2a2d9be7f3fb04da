// SPDX-License-Identifier: GPL-2.0-or-later
// The write-mode sheet: the modes the recorder can write, the main window
// allows for the inserted disc and the disc type suits, and test mode.
#pragma once

#include "engine/sbModeChoice.h"
#include "forms/sbDockForm.h"

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
struct TsbWizardOptions;

class TfrmBurnMode : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmBurnMode(QWidget* parent = nullptr);

    QLabel* B = nullptr;
    QLabel* laCDTEXTNote = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cmbModes = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* chbTestMode = nullptr;

    bool AllowSAO = true;
    bool AllowTAO = true;
    bool AllowDAOPQ = true;
    bool AllowDAORaw = true;
    // Report the image-file write modes (5 to 8) instead of the tree ones (0 to 3).
    bool ImageFileModes = false;
    int32_t TAOIndex = -1;
    int32_t SAOIndex = -1;
    int32_t DAOPQIndex = -1;
    int32_t DAORawIndex = -1;

    // Fills the list of modes from the burner (see the .cpp).
    void SetPageData(TsbBurner* data) override;
    // Writes the chosen mode and the test flag into options; nothing else.
    void GetModeChoice(TsbWizardOptions& options) const;

private:
    // The index field of a choice (its position in cmbModes, -1 when not offered).
    int32_t& IndexOf(TsbModeChoice choice);
    int32_t IndexOf(TsbModeChoice choice) const;
};
