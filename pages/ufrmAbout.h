// SPDX-License-Identifier: GPL-2.0-or-later
// The about box: the product's title, icon, version and copyright, and links
// to its home page and its support.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class TsbLinkLabel;

class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QLabel* lblAppName = nullptr;
    QLabel* LabelVersion = nullptr;
    QLabel* LabelCopyright = nullptr;
    TsbLinkLabel* LabelWeb = nullptr;
    TsbLinkLabel* LabelSupportEmail = nullptr;
    QPushButton* Button1 = nullptr;

    // Fills the box; runs every time it is shown.
    void FormShow();
    void LabelWebClick();
    void LabelSupportEmailClick();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The version and copyright labels are filled from their design patterns
    // once; later showings keep what the first one made.
    bool m_patternsFilled = false;
};

// Where the diagnostic log and the virtual recorders' discs are kept: the
// about box's tooltip.
QString AboutFilesText();

// The copyright text for a year and a holder.
QString AboutCopyrightText(int year, const QString& holder);
