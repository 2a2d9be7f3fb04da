// SPDX-License-Identifier: GPL-2.0-or-later
// The image-file sheet: the ISO image to burn, a line comparing its size
// with the free space of the disc in the chosen recorder, and a line under it
// when the image carries an implanted checksum. The main window
// checks the choice when Next is pressed.
#pragma once

#include "forms/sbDockForm.h"

#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TfrmSourceFileSelection : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmSourceFileSelection(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* lblSizeInformation = nullptr;
    QLabel* lblChecksum = nullptr;

    // Follows every change of the edit box.
    QString ImageFileName;
    // The size of the file the edit box named when it was last looked at:
    // after a pick through the dialog, a drop, or a pause in typing.
    int64_t ImageFileSize = 0;
    TsbBurner* Burner = nullptr;
    // Waits for a pause in typing before the named file is looked at.
    QTimer* SizeTimer = nullptr;
    static constexpr int TypingPauseMs = 400;

    void RefreshPage() override;
    void SetPageData(TsbBurner* data) override;

    void Button1Click();
    void Edit1Change(const QString& text);
    void WriteSizeLine();
    // Shows "Implanted checksum found" when the image file carries one.
    void WriteChecksumLine();
    // Looks at the file named now (its size only; it is not read) and shows
    // the size line for it; 0 when there is no such file.
    int64_t ReadImageFileSize();
    // The folder the "..." dialog opens in: the named file's, else the last
    // image's (remembered between runs), else none.
    QString StartFolder() const;
};
