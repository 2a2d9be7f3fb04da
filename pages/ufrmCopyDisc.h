// SPDX-License-Identifier: GPL-2.0-or-later
// The copy window, opened from the welcome window: the disc in a drive read
// into an image file (an audio CD into a BIN and its cue sheet) with its
// SHA-256 beside it, as tavrin-burn copy does. The copy runs on a thread of
// its own; the window shows its progress, asks what to do at the first
// sector that cannot be read, and says at the end what was written.
#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TsbBurner;
class TsbDeviceFinder;
class TsbDeviceItem;
enum class TsbBadSectorChoice;

class TfrmCopyDisc : public QDialog {
    Q_OBJECT

public:
    explicit TfrmCopyDisc(QWidget* parent = nullptr);
    // Stops a copy still running and lets its drive go.
    ~TfrmCopyDisc() override;

    QLabel* lblTitle = nullptr;
    QLabel* lblDrives = nullptr;
    QTreeWidget* lvDrives = nullptr;
    QPushButton* btnRefresh = nullptr;
    QLabel* lblImage = nullptr;
    QLineEdit* edtImage = nullptr;
    QPushButton* btnBrowse = nullptr;
    QProgressBar* pbCopy = nullptr;
    // How much is read, how fast, how long the rest takes.
    QLabel* lblProgress = nullptr;
    // What the last copy wrote, or why it wrote nothing.
    QLabel* lblResult = nullptr;
    QPushButton* btnCopy = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnClose = nullptr;

    // Shows the window, modal to the program's others, and searches the
    // drives. The library must run.
    void Open();
    // Lists the drives the library finds, each with its disc; selects the
    // drive selected before, else the first that holds one to copy.
    void SearchDrives();
    // Refresh: the library is started again first where RestartLibrary lets
    // it, so that a drive plugged in or pulled out meanwhile is seen (the
    // library learns its drives as it starts), then the drives are searched.
    void RefreshDrives();
    // Starts the library again, unless the wizard uses it now. Unset:
    // Refresh only searches.
    std::function<void()> RestartLibrary;
    void btnBrowseClick();
    // Checks the choices, opens the drive and starts the copy.
    void btnCopyClick();
    // Asks the copy to stop; the window says so once it has.
    void btnStopClick();
    bool Copying() const { return m_copying; }

    // Between two looks at the copy's progress.
    int ProgressInterval = 200;

protected:
    // Esc, the close box and Close: while a copy runs, asked first; a yes
    // stops it and the window goes once it has stopped.
    void reject() override;

private:
    class TCopyThread;

    TsbDeviceItem* SelectedDrive() const;
    void FillDrives(const std::string& previous);
    void DriveSelected(QTreeWidgetItem* row);
    void SetCopying(bool copying);
    void ShowProgress();
    // On the window's thread, while the copy thread waits for the answer.
    void AskBadSector(uint32_t sector, const QString& why, const QString& listFile);
    TsbBadSectorChoice WaitForBadSectorAnswer(uint32_t sector, const std::string& why);
    void CopyEnded();
    void CloseDrive();

    std::unique_ptr<TsbDeviceFinder> m_finder;
    std::unique_ptr<TsbBurner> m_burner;
    std::unique_ptr<TCopyThread> m_thread;
    QTimer* m_progressTimer = nullptr;
    bool m_copying = false;
    bool m_closeWhenStopped = false;
    // The image name the window proposed last: replaced by the next drive's
    // own as long as the user has not typed another.
    QString m_proposedName;
    QString m_output;
    uint8_t m_discType = 0;
    std::chrono::steady_clock::time_point m_started;

    // Written by the copy thread, read by the window.
    std::atomic<uint64_t> m_done{0};
    std::atomic<uint64_t> m_total{0};
    std::atomic<bool> m_cancel{false};
    // The bad-sector question: the copy thread waits for its answer, or for
    // a stop.
    std::mutex m_askMutex;
    std::condition_variable m_askAnswered;
    std::optional<TsbBadSectorChoice> m_answer;
};
