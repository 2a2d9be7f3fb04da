// SPDX-License-Identifier: GPL-2.0-or-later
// The final sheet: runs the wizard's actions on the burner while it shows the
// write progress, the recorder's buffer fill and a log of every message, with
// its kind and time; afterwards the log can be saved to a text file. A burn
// on several drives or of several copies runs TsbMultiBurn instead, with one
// row per drive.
//
// The progress, buffer and message handlers may be raised on the burn thread.
// They never touch a control there: a message is queued in arrival order and
// a gauge value is stored as the latest one, and the GUI thread is asked (one
// queued call at a time per kind) to show what has arrived. Raised on the GUI
// thread they show at once, after anything still queued.
#pragma once

#include "base/sbProgressCaption.h"
#include "base/sbTypes.h"
#include "forms/sbDockForm.h"

#include <QIcon>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class QDateTime;
class TsbMultiBurn;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TfrmFinalAction : public TsbDockForm {
    Q_OBJECT

public:
    explicit TfrmFinalAction(QWidget* parent = nullptr);
    ~TfrmFinalAction() override;

    QWidget* pnlTop = nullptr;
    QLabel* lablProgressCaption = nullptr;
    QProgressBar* pbWrite = nullptr;
    QLabel* lblProcentValue = nullptr;
    QLabel* lblBufferStatus = nullptr;
    QProgressBar* pbBuffer = nullptr;
    QLabel* lblBufferValue = nullptr;
    QWidget* pnlFinalPage = nullptr;
    QLabel* lblBurningLog = nullptr;
    QTreeWidget* lvLog = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btnSaveLog = nullptr;
    // A problem report, offered with the log once the run has ended.
    QPushButton* btnSaveReport = nullptr;
    // A burn on several drives or of several copies: one row per drive
    // (recorder, copy, what it does, percent); hidden in a one-drive burn.
    QTreeWidget* lvDrives = nullptr;
    // Indexed by TsbLogItemType: information, error, warning.
    std::array<QIcon, 3> imlSmall;

    TsbLog* WizardLog = nullptr;
    TsbActionList* WizardActions = nullptr;
    bool BufferStatusVisible = false;
    // Seconds of a steady clock; the write's elapsed and remaining times in
    // lablProgressCaption are measured on it (tests give their own).
    std::function<double()> Clock;

    void RefreshPage() override;
    // Resets the gauges and rebuilds the log list from WizardLog.
    void SetPageData(TsbBurner* data) override;
    void ShowBufferStatus(bool show);
    // Runs WizardActions on the burner; returns when they are over. An error
    // of an action ends the run with an error row and an error box.
    void RunActions();
    // Several drives (Burners[0] the page's own) or Copies > 1: RunActions
    // burns WizardActions' image on every burner at once through
    // TsbMultiBurn, Copies discs each, each drive's log lines tagged with
    // its name. Burners empty: the one-drive run.
    void SetManyDiscs(std::vector<TsbBurner*> burners, int copies);
    bool ManyDiscs() const { return !m_burners.empty(); }
    // While such a run goes on: stops every drive.
    void CancelAll();
    // After such a run: its copies that succeeded, those that did not, and
    // whether it was cancelled.
    int CopiesDone() const { return m_copiesDone; }
    int CopiesFailed() const { return m_copiesFailed; }
    bool AllCancelled() const { return m_allCancelled; }
    void btnSaveLogClick();
    void ResetGauges();

    // Safe to call from any thread.
    void ShowProgress(int32_t percent);
    void ShowBufferFill(int32_t percent);
    void AddLogLine(const std::string& text, TsbLogItemType kind);

    // Shows whatever the burn thread has sent and is not shown yet.
    void FlushPending();
    // The kind of a row of lvLog.
    TsbLogItemType RowKind(int row) const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct TPendingRow {
        std::string Text;
        TsbLogItemType Kind;
        QString Time;
    };

    void ApplyProgress();
    // While a write runs: the caption above the gauge and the window title
    // with the percentage.
    void ShowWriteFigures(int32_t percent);
    void ApplyBufferFill();
    // Shows up to Limit queued rows; true when more are waiting.
    bool DrainRows(size_t limit = SIZE_MAX);
    void PostRowDrain();
    static constexpr size_t RowsPerTurn = 200;
    QTreeWidgetItem* AppendRow(const QString& text, TsbLogItemType kind, const QString& time,
                               bool scroll = true);
    void LayOut();
    bool OnGuiThread() const;
    void RunManyDiscs();
    // The drives' rows and new log lines, from the main thread while the run waits.
    void ShowDriveStates(TsbMultiBurn& burn);

    std::vector<TsbBurner*> m_burners;
    int m_copies = 1;
    TsbMultiBurn* m_multi = nullptr;
    int m_copiesDone = 0;
    int m_copiesFailed = 0;
    bool m_allCancelled = false;

    TsbProgressMeter m_meter;
    uint64_t m_meterTotal = 0; // the image's bytes: what the write and the read-back count
    QString m_titleBeforeRun;
    std::atomic<int32_t> m_progress{0};
    std::atomic<int32_t> m_bufferFill{0};
    std::atomic<bool> m_progressPending{false};
    std::atomic<bool> m_bufferPending{false};
    std::atomic<bool> m_rowsPending{false};
    std::mutex m_rowsMutex;
    std::deque<TPendingRow> m_rows;
};

// The name Save Log proposes: "Log_DDMM_HHNN.txt" from the given moment.
QString ProposedLogFileName(const QDateTime& now);
// The time column's text of a moment ("04:31:07").
QString LogTimeText(const QDateTime& time);
// The three log icons, drawn: an information sign, an error sign, a warning sign.
QIcon LogKindIcon(TsbLogItemType kind);
