// SPDX-License-Identifier: GPL-2.0-or-later
// The summary sheet: the options chosen on the earlier sheets, one per line.
// The main window writes every text of the page. A folder burnt as a data
// disc gets its volume label here.
#pragma once

#include "forms/sbDockForm.h"

#include <string>

class QLabel;
class QLineEdit;
class QTextEdit;

class TfrmOptionsSummary : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmOptionsSummary(QWidget* parent = nullptr);

    QLabel* lblName = nullptr;
    QTextEdit* edtSummary = nullptr;
    QLabel* lblNextAction = nullptr;
    QLabel* lblVolumeLabel = nullptr;
    QLineEdit* edtVolumeLabel = nullptr;

    // Shows the label field, filled with the label folder's name gives
    // unless it was offered for that folder before (the user's own stays).
    void OfferVolumeLabel(const QString& folder);
    void HideVolumeLabel();
    // The field's label in ISO 9660's characters, shown so.
    std::string FixVolumeLabel();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceControls();

    QString m_labelFolder;
};
