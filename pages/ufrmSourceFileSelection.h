// SPDX-License-Identifier: GPL-2.0-or-later
// The image-file sheet: the ISO image (or the folder) to burn, a line
// comparing its size with the free space of the disc in the chosen recorder,
// and a line under it when the image carries an implanted checksum, or
// when the folder is being measured or cannot be burnt. The main window
// checks the choice when Next is pressed.
#pragma once

#include "forms/sbDockForm.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TsbFolderMeasure;

class TfrmSourceFileSelection : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmSourceFileSelection(QWidget* parent = nullptr);
    // Waits for a folder still being measured.
    ~TfrmSourceFileSelection() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* Button1 = nullptr;
    QLabel* lblSizeInformation = nullptr;
    QLabel* lblChecksum = nullptr;
    QPushButton* btnFolder = nullptr;
    // What keeps a folder from being burnt, or that it is being measured.
    QLabel* lblFolder = nullptr;

    // Follows every change of the edit box.
    QString ImageFileName;
    // The size of the file the edit box named when it was last looked at:
    // after a pick through the dialog, a drop, or a pause in typing.
    int64_t ImageFileSize = 0;
    TsbBurner* Burner = nullptr;
    // Waits for a pause in typing before the named file is looked at.
    QTimer* SizeTimer = nullptr;
    static constexpr int TypingPauseMs = 400;

    // The folder named when the edit box was last looked at, or empty when it
    // named none; its image's size once measured, and the entries its tree
    // skipped or renamed.
    QString FolderName;
    int64_t FolderBytes = 0;
    std::vector<std::string> FolderNotes;
    // Raised on the window's thread when the folder's state changes.
    std::function<void()> OnFolderStateChanged;

    // Whether FolderName is being measured.
    bool FolderMeasuring() const;
    // Why FolderName cannot be burnt on the disc (cannot be read, empty,
    // too big; "still being measured" while it is), or empty when it can.
    QString FolderRefusal() const;
    // Moves the measured folder's tree into burner; false when there is none
    // (a burner that was handed it before keeps it).
    bool HandOverFolderTree(TsbBurner& burner);

    void RefreshPage() override;
    void SetPageData(TsbBurner* data) override;

    void Button1Click();
    // Chooses a folder in a folder dialog.
    void FolderButtonClick();
    // What the edit box names now: an image file's size, or a folder's
    // measure started.
    void LookAtSource();
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

    // Waits for a measure still running and frees the measured tree: the
    // library is about to stop, and its trees must go while it lives. The
    // folder is measured again when the sheet is shown next.
    void DropMeasure();

private:
    // Measures FolderName on a worker, the window alive meanwhile.
    void MeasureFolder();
    void FolderMeasured();
    void ForgetFolder();
    void WriteFolderLine();

    // One worker at a time: a folder named while one is measured is looked
    // at when it ends.
    std::unique_ptr<TsbFolderMeasure> m_measure;
    bool m_measureAgain = false;
    // The finished measure of FolderName, holding its tree until handed over.
    std::unique_ptr<TsbFolderMeasure> m_measured;
};
