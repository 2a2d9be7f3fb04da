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
    // The size of the file last picked through the dialog.
    int64_t ImageFileSize = 0;
    TsbBurner* Burner = nullptr;

    void RefreshPage() override;
    void SetPageData(TsbBurner* data) override;

    void Button1Click();
    void Edit1Change(const QString& text);
    void WriteSizeLine();
    // Shows "Implanted checksum found" when the image file carries one.
    void WriteChecksumLine();
};
