// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmFinalAction.h"

#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbUtils.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbLog.h"
#include "engine/sbMultiBurn.h"
#include "forms/sbReportSaver.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>

namespace {

constexpr int KindRole = Qt::UserRole + 1;
// The log part as laid out: the log list and the controls under it keep
// their distances to the panel's right and bottom edges.
constexpr int DesignPanelWidth = 555;
constexpr int DesignPanelHeight = 336;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

QProgressBar* makeGauge(QWidget* parent, const char* name) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QString percentText(int32_t value) {
    return QString::number(value) + QStringLiteral(" %");
}

// What a drive does, in the words of its row.
QString phaseText(const TsbDriveState& state) {
    const std::string& phase = state.Phase;
    if (phase == "waiting for a disc") {
        return TfrmFinalAction::tr("Insert a blank disc into %1")
            .arg(QString::fromStdString(state.Name));
    }
    if (phase == "preparing") {
        return TfrmFinalAction::tr("Preparing");
    }
    if (phase == "writing") {
        return TfrmFinalAction::tr("Writing");
    }
    if (phase == "verifying") {
        return TfrmFinalAction::tr("Verifying");
    }
    if (phase == "done") {
        return TfrmFinalAction::tr("Done");
    }
    if (phase == "failed") {
        return TfrmFinalAction::tr("Failed");
    }
    return TfrmFinalAction::tr("Waiting");
}

// How a drive's last copy ended, in the words of its row.
QString outcomeText(TsbCopyOutcome outcome) {
    switch (outcome) {
    case TsbCopyOutcome::Done:
        return TfrmFinalAction::tr("Done");
    case TsbCopyOutcome::VerifyFailed:
        return TfrmFinalAction::tr("Verification failed");
    case TsbCopyOutcome::Cancelled:
        return TfrmFinalAction::tr("Cancelled");
    case TsbCopyOutcome::Failed:
        break;
    }
    return TfrmFinalAction::tr("Failed");
}

} // namespace

QString ProposedLogFileName(const QDateTime& now) {
    return QStringLiteral("Log_") + now.toString(QStringLiteral("ddMM_HHmm")) +
           QStringLiteral(".txt");
}

QString LogTimeText(const QDateTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QIcon LogKindIcon(TsbLogItemType kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    switch (kind) {
    case litError:
        p.setPen(QPen(QColor(0x90, 0, 0), 1));
        p.setBrush(QColor(0xE0, 0x20, 0x20));
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5, 5), QPointF(11, 11));
        p.drawLine(QPointF(11, 5), QPointF(5, 11));
        break;
    case litWarning: {
        QPainterPath triangle;
        triangle.moveTo(8, 0.5);
        triangle.lineTo(15.5, 15);
        triangle.lineTo(0.5, 15);
        triangle.closeSubpath();
        p.setPen(QPen(QColor(0x80, 0x60, 0), 1));
        p.setBrush(QColor(0xFF, 0xD0, 0x20));
        p.drawPath(triangle);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 3, 16, 13), Qt::AlignCenter, QStringLiteral("!"));
        break;
    }
    case litInfo:
    default:
        p.setPen(QPen(QColor(0x30, 0x50, 0x90), 1));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        p.setPen(QColor(0x10, 0x40, 0xC0));
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    p.end();
    return QIcon(pixmap);
}

TfrmFinalAction::TfrmFinalAction(QWidget* parent) : TsbDockForm(parent) {
    setObjectName(QStringLiteral("frmFinalAction"));
    resize(559, 409);
    for (int kind = 0; kind < 3; ++kind) {
        imlSmall[static_cast<size_t>(kind)] = LogKindIcon(static_cast<TsbLogItemType>(kind));
    }

    pnlTop = new QWidget(this);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    lablProgressCaption = makeLabel(pnlTop, "lablProgressCaption", QString());
    lablProgressCaption->move(8, 0);
    pbWrite = makeGauge(pnlTop, "pbWrite");
    pbWrite->setGeometry(8, 16, 505, 16);
    lblProcentValue = makeLabel(pnlTop, "lblProcentValue", QStringLiteral("0 %"));
    lblProcentValue->move(520, 16);
    lblBufferStatus = makeLabel(pnlTop, "lblBufferStatus", tr("Buffer status:"));
    lblBufferStatus->move(8, 36);
    lblBufferStatus->adjustSize();
    pbBuffer = makeGauge(pnlTop, "pbBuffer");
    pbBuffer->setGeometry(8, 52, 505, 16);
    lblBufferValue = makeLabel(pnlTop, "lblBufferValue", QStringLiteral("0 %"));
    lblBufferValue->setGeometry(520, 53, 35, 14);

    pnlFinalPage = new QWidget(this);
    pnlFinalPage->setObjectName(QStringLiteral("pnlFinalPage"));
    lblBurningLog = makeLabel(pnlFinalPage, "lblBurningLog", tr("Burning log:"));
    lblBurningLog->move(8, 2);
    lblBurningLog->adjustSize();
    lvLog = new QTreeWidget(pnlFinalPage);
    lvLog->setObjectName(QStringLiteral("lvLog"));
    lvLog->setGeometry(8, 18, 537, 253);
    lvLog->setRootIsDecorated(false);
    lvLog->setUniformRowHeights(true);
    lvLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvLog->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvLog->setSortingEnabled(false);
    lvLog->setIconSize(QSize(16, 16));
    lvLog->header()->setSectionsClickable(false);
    lvLog->header()->setStretchLastSection(false);
    lvLog->setHeaderLabels({tr("Information"), tr("Time")});
    lvLog->setColumnWidth(0, 440);
    lvLog->setColumnWidth(1, 60);
    Label2 =
        makeLabel(pnlFinalPage, "Label2", tr("Click Save Log to save Burning Log text to a file."));
    Label2->move(8, 284);
    Label2->adjustSize();
    btnSaveLog = new QPushButton(tr("Save &Log ..."), pnlFinalPage);
    btnSaveLog->setObjectName(QStringLiteral("btnSaveLog"));
    btnSaveLog->setGeometry(8, 303, 100, 23);
    btnSaveLog->setEnabled(false);
    connect(btnSaveLog, &QPushButton::clicked, this,
            sbGuarded(this, [this] { btnSaveLogClick(); }));
    btnSaveReport = new QPushButton(tr("Save &Report ..."), pnlFinalPage);
    btnSaveReport->setObjectName(QStringLiteral("btnSaveReport"));
    btnSaveReport->setGeometry(116, 303, 110, 23);
    btnSaveReport->setEnabled(false);
    // Captions in another language may be longer: the buttons grow, side by side.
    btnSaveLog->resize(std::max(btnSaveLog->width(), btnSaveLog->sizeHint().width()),
                       btnSaveLog->height());
    btnSaveReport->setGeometry(btnSaveLog->geometry().right() + 9, btnSaveReport->y(),
                               std::max(btnSaveReport->width(), btnSaveReport->sizeHint().width()),
                               btnSaveReport->height());
    pbWrite->setAccessibleName(tr("Burning progress"));
    pbWrite->setAccessibleDescription(tr("How much of the image is written (or read back)"));
    pbBuffer->setAccessibleName(tr("Buffer status"));
    pbBuffer->setAccessibleDescription(tr("How full the recorder's buffer is"));
    lvLog->setAccessibleName(tr("Burning log"));
    lvLog->setAccessibleDescription(tr("Every step of the burn with its time"));
    btnSaveLog->setAccessibleDescription(Label2->text());
    btnSaveReport->setAccessibleDescription(
        tr("Saves a problem report (.tar.gz) to send to the developers"));
    connect(btnSaveReport, &QPushButton::clicked, this,
            sbGuarded(this, [this] { SaveProblemReport(this); }));

    lvDrives = new QTreeWidget(pnlTop);
    lvDrives->setObjectName(QStringLiteral("lvDrives"));
    lvDrives->setRootIsDecorated(false);
    lvDrives->setUniformRowHeights(true);
    lvDrives->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDrives->setSelectionMode(QAbstractItemView::NoSelection);
    lvDrives->setSortingEnabled(false);
    lvDrives->header()->setSectionsClickable(false);
    lvDrives->setHeaderLabels({tr("Recorder"), tr("Copy"), tr("State"), tr("Progress")});
    lvDrives->setColumnWidth(0, 190);
    lvDrives->setColumnWidth(1, 60);
    lvDrives->setColumnWidth(2, 210);
    lvDrives->setAccessibleName(tr("Recorders"));
    lvDrives->setAccessibleDescription(tr("What each recorder does, and how far it is"));
    lvDrives->hide();

    ShowBufferStatus(false);
    lablProgressCaption->clear();
    Clock = [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
}

TfrmFinalAction::~TfrmFinalAction() {
    WizardLog = nullptr;
    WizardActions = nullptr;
}

bool TfrmFinalAction::OnGuiThread() const {
    return QThread::currentThread() == thread();
}

void TfrmFinalAction::LayOut() {
    // Up to four drives' rows are seen at once; more scroll.
    const int drivesHeight =
        ManyDiscs() ? 24 + 18 * static_cast<int>(std::min<size_t>(m_burners.size(), 4)) : 0;
    const int topHeight = (BufferStatusVisible ? 70 : 36) + (ManyDiscs() ? drivesHeight + 4 : 0);
    pnlTop->setGeometry(0, 0, width(), topHeight);
    pnlFinalPage->setGeometry(0, topHeight, width(), std::max(0, height() - topHeight));
    const int panelWidth = pnlFinalPage->width();
    const int panelHeight = pnlFinalPage->height();
    lvLog->resize(std::max(0, 537 + panelWidth - DesignPanelWidth),
                  std::max(0, 253 + panelHeight - DesignPanelHeight));
    Label2->move(8, 284 + panelHeight - DesignPanelHeight);
    btnSaveLog->move(8, 303 + panelHeight - DesignPanelHeight);
    // Beside Save Log, however wide its caption made it.
    btnSaveReport->move(std::max(116, btnSaveLog->geometry().right() + 9),
                        303 + panelHeight - DesignPanelHeight);
    const int right = width() - 559;
    pbBuffer->resize(std::max(0, 505 + right), 16);
    lblBufferValue->move(520 + right, 53);
    if (BufferStatusVisible) {
        pbWrite->setGeometry(8, 16, pbBuffer->width(), 16);
        lblProcentValue->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        lblProcentValue->setGeometry(lblBufferValue->x(), pbWrite->y(), 35, 14);
    } else {
        pbWrite->setGeometry(8, 16, lvLog->width(), 16);
        // Beside a caption the percentage moves to the right end.
        const bool caption = !lablProgressCaption->isHidden();
        lblProcentValue->setAlignment(caption ? Qt::AlignRight | Qt::AlignVCenter
                                              : Qt::AlignCenter);
        lblProcentValue->setGeometry(lvLog->x(), 0, lvLog->width(), 14);
    }
    lablProgressCaption->setGeometry(8, 0, std::max(0, pbWrite->width() - 40), 14);
    lvDrives->setVisible(ManyDiscs());
    if (ManyDiscs()) {
        lvDrives->setGeometry(8, topHeight - drivesHeight - 4, lvLog->width(), drivesHeight);
    }
}

void TfrmFinalAction::resizeEvent(QResizeEvent* event) {
    TsbDockForm::resizeEvent(event);
    LayOut();
}

void TfrmFinalAction::showEvent(QShowEvent* event) {
    TsbDockForm::showEvent(event);
    if (!BufferStatusVisible) {
        LayOut();
        pnlTop->repaint();
        lvLog->repaint();
        lblBurningLog->repaint();
    }
}

void TfrmFinalAction::ShowBufferStatus(bool show) {
    BufferStatusVisible = show;
    lblBufferStatus->setVisible(show);
    pbBuffer->setVisible(show);
    lblBufferValue->setVisible(show);
    lablProgressCaption->setVisible(show);
    LayOut();
}

void TfrmFinalAction::RefreshPage() {}

void TfrmFinalAction::ResetGauges() {
    m_progress = 0;
    m_bufferFill = 0;
    pbWrite->setValue(0);
    pbBuffer->setValue(0);
    lblProcentValue->setText(QStringLiteral("0 %"));
    lblBufferValue->setText(QStringLiteral("0 %"));
    pbBuffer->setEnabled(true);
    lablProgressCaption->clear();
    lablProgressCaption->setVisible(BufferStatusVisible);
    LayOut();
}

void TfrmFinalAction::SetPageData(TsbBurner* data) {
    TsbDockForm::SetPageData(data);
    ResetGauges();
    {
        // Rows of a burn thread that has long ended belong to no run any more.
        std::lock_guard lock(m_rowsMutex);
        m_rows.clear();
    }
    lvLog->setUpdatesEnabled(false);
    lvLog->clear();
    if (WizardLog) {
        for (int i = 0; i < WizardLog->Count(); ++i) {
            const TsbLogItem& item = WizardLog->Items(i);
            QString time;
            if (item.LogTime != TDateTime{}) {
                const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    item.LogTime.time_since_epoch())
                                    .count();
                time = LogTimeText(QDateTime::fromMSecsSinceEpoch(ms));
            }
            AppendRow(QString::fromStdString(item.LogMessage), litInfo, time, false);
        }
    }
    lvLog->setUpdatesEnabled(true);
}

QTreeWidgetItem* TfrmFinalAction::AppendRow(const QString& text, TsbLogItemType kind,
                                            const QString& time, bool scroll) {
    auto* row = new QTreeWidgetItem(QStringList{text, time});
    const int index = kind <= litWarning ? kind : litInfo;
    row->setIcon(0, imlSmall[static_cast<size_t>(index)]);
    row->setData(0, KindRole, index);
    // The sign before the row, in words.
    row->setData(0, Qt::AccessibleDescriptionRole,
                 index == litError     ? tr("Error")
                 : index == litWarning ? tr("Warning")
                                       : tr("Information"));
    lvLog->addTopLevelItem(row);
    if (scroll) {
        lvLog->scrollToItem(row);
    }
    return row;
}

TsbLogItemType TfrmFinalAction::RowKind(int row) const {
    const QTreeWidgetItem* item = lvLog->topLevelItem(row);
    return item ? static_cast<TsbLogItemType>(item->data(0, KindRole).toInt()) : litInfo;
}

void TfrmFinalAction::ApplyProgress() {
    const int32_t value = m_progress.load();
    pbWrite->setValue(std::clamp(value, 0, 100));
    lblProcentValue->setText(percentText(value));
    ShowWriteFigures(value);
}

void TfrmFinalAction::ShowWriteFigures(int32_t percent) {
    if (!m_meter.Started()) {
        return;
    }
    lablProgressCaption->setText(QString::fromStdString(m_meter.Update(percent, Clock())));
    if (lablProgressCaption->isHidden()) {
        lablProgressCaption->show();
        LayOut();
    }
    window()->setWindowTitle(
        QStringLiteral("%1% \u2014 %2").arg(std::clamp(percent, 0, 100)).arg(m_titleBeforeRun));
}

void TfrmFinalAction::ApplyBufferFill() {
    const int32_t value = m_bufferFill.load();
    pbBuffer->setValue(std::clamp(value, 0, 100));
    lblBufferValue->setText(percentText(value));
}

bool TfrmFinalAction::DrainRows(size_t limit) {
    std::deque<TPendingRow> rows;
    bool more = false;
    {
        std::lock_guard lock(m_rowsMutex);
        if (m_rows.size() <= limit) {
            rows.swap(m_rows);
        } else {
            rows.assign(std::make_move_iterator(m_rows.begin()),
                        std::make_move_iterator(m_rows.begin() + static_cast<long>(limit)));
            m_rows.erase(m_rows.begin(), m_rows.begin() + static_cast<long>(limit));
            more = true;
        }
    }
    QTreeWidgetItem* last = nullptr;
    for (const TPendingRow& row : rows) {
        last = AppendRow(QString::fromStdString(row.Text), row.Kind, row.Time, false);
    }
    if (last) {
        lvLog->scrollToItem(last);
    }
    return more;
}

void TfrmFinalAction::PostRowDrain() {
    if (m_rowsPending.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(this,
                              sbGuarded(this,
                                        [this] {
                                            m_rowsPending = false;
                                            // A long backlog is shown in slices so the window keeps
                                            // answering.
                                            if (DrainRows(RowsPerTurn)) {
                                                PostRowDrain();
                                            }
                                        }),
                              Qt::QueuedConnection);
}

void TfrmFinalAction::FlushPending() {
    m_rowsPending = false;
    DrainRows();
    m_progressPending = false;
    ApplyProgress();
    m_bufferPending = false;
    ApplyBufferFill();
}

void TfrmFinalAction::ShowProgress(int32_t percent) {
    m_progress = std::min(percent, 100);
    if (OnGuiThread()) {
        ApplyProgress();
        QCoreApplication::processEvents();
        return;
    }
    if (!m_progressPending.exchange(true)) {
        QMetaObject::invokeMethod(this,
                                  sbGuarded(this,
                                            [this] {
                                                // Cleared before the value is read: a value stored
                                                // after this point asks for another update.
                                                m_progressPending = false;
                                                ApplyProgress();
                                            }),
                                  Qt::QueuedConnection);
    }
}

void TfrmFinalAction::ShowBufferFill(int32_t percent) {
    m_bufferFill = percent;
    if (OnGuiThread()) {
        ApplyBufferFill();
        QCoreApplication::processEvents();
        return;
    }
    if (!m_bufferPending.exchange(true)) {
        QMetaObject::invokeMethod(this,
                                  sbGuarded(this,
                                            [this] {
                                                m_bufferPending = false;
                                                ApplyBufferFill();
                                            }),
                                  Qt::QueuedConnection);
    }
}

void TfrmFinalAction::AddLogLine(const std::string& text, TsbLogItemType kind) {
    const QString time = LogTimeText(QDateTime::currentDateTime());
    if (OnGuiThread()) {
        // Rows the burn thread sent earlier come first.
        m_rowsPending = false;
        DrainRows();
        AppendRow(QString::fromStdString(text), kind, time);
        QCoreApplication::processEvents();
        return;
    }
    {
        std::lock_guard lock(m_rowsMutex);
        m_rows.push_back({text, kind, time});
    }
    PostRowDrain();
}

void TfrmFinalAction::SetManyDiscs(std::vector<TsbBurner*> burners, int copies) {
    m_burners = std::move(burners);
    m_copies = std::max(1, copies);
    lvDrives->clear();
    for (const TsbBurner* b : m_burners) {
        lvDrives->addTopLevelItem(new QTreeWidgetItem(
            QStringList{QString::fromStdString(b->DeviceInfo.Product + " (" + b->DeviceName + ")"),
                        QString(), tr("Waiting"), percentText(0)}));
    }
    LayOut();
}

void TfrmFinalAction::CancelAll() {
    if (m_multi) {
        m_multi->CancelAll();
    }
}

void TfrmFinalAction::ShowDriveStates(TsbMultiBurn& burn) {
    const std::vector<TsbDriveState> states = burn.States();
    // Lines a drive's thread sent through the program's own eventer come first.
    m_rowsPending = false;
    DrainRows();
    const QString time = LogTimeText(QDateTime::currentDateTime());
    QTreeWidgetItem* last = nullptr;
    for (const TsbDriveLine& line : burn.TakeLines()) {
        const std::string& name = line.Drive < states.size() ? states[line.Drive].Name : "";
        last = AppendRow(QString::fromStdString(name + ": " + line.Text), line.Kind, time, false);
    }
    if (last) {
        lvLog->scrollToItem(last);
    }
    int sum = 0;
    for (size_t i = 0; i < states.size(); ++i) {
        QTreeWidgetItem* row = lvDrives->topLevelItem(static_cast<int>(i));
        if (!row) {
            continue;
        }
        const TsbDriveState& state = states[i];
        row->setText(1, state.Copy > 0 ? tr("%1 of %2").arg(state.Copy).arg(m_copies) : QString());
        row->setText(2, phaseText(state));
        row->setText(3, percentText(state.Percent));
        sum += std::clamp(state.Percent, 0, 100);
    }
    if (!states.empty()) {
        const int mean = sum / static_cast<int>(states.size());
        pbWrite->setValue(mean);
        lblProcentValue->setText(percentText(mean));
    }
}

void TfrmFinalAction::RunManyDiscs() {
    btnSaveLog->setEnabled(false);
    btnSaveReport->setEnabled(false);
    ResetGauges();
    m_copiesDone = 0;
    m_copiesFailed = 0;
    m_allCancelled = false;
    const std::string image = WizardActions ? WizardActions->Options.SourceFileName : std::string();
    {
        TsbMultiBurn burn(image);
        burn.Copies = m_copies;
        for (TsbBurner* b : m_burners) {
            burn.Add(*b, b->DeviceName);
        }
        burn.OnWait = [this, &burn] { ShowDriveStates(burn); };
        m_multi = &burn;
        try {
            burn.Run();
        } catch (...) {
            const QString text = sbCurrentExceptionText();
            AddLogLine(text.toStdString(), litError);
            TsbDialogs::MessageBox(this, text, QString(), TsbMsgKind::mkError);
        }
        m_multi = nullptr;
        burn.OnWait = {};
        ShowDriveStates(burn);
        for (size_t i = 0; i < burn.DriveCount(); ++i) {
            const std::vector<TsbDriveCopyResult>& results = burn.Results(i);
            if (QTreeWidgetItem* row = lvDrives->topLevelItem(static_cast<int>(i))) {
                // The row ends with how the drive's last copy ended.
                row->setText(2, results.empty() ? outcomeText(TsbCopyOutcome::Failed)
                                                : outcomeText(results.back().Outcome));
            }
        }
        const TsbCopyTally tally = burn.Tally();
        m_copiesDone = tally.Done;
        m_copiesFailed = tally.Failed;
        m_allCancelled = burn.Cancelled();
    }
    AddLogLine(tr("%1 of %2 copies done, %3 failed")
                   .arg(m_copiesDone)
                   .arg(m_copiesDone + m_copiesFailed)
                   .arg(m_copiesFailed)
                   .toStdString(),
               m_copiesFailed > 0 ? litWarning : litInfo);
    FlushPending();
    pbWrite->setValue(100);
    lblProcentValue->setText(percentText(100));
    btnSaveLog->setEnabled(true);
    btnSaveReport->setEnabled(true);
    for (TsbBurner* b : m_burners) {
        // Each drive is let go for the next grab, whatever the others did.
        try {
            b->ReleaseDevice();
        } catch (const std::exception&) {
        }
    }
}

void TfrmFinalAction::RunActions() {
    if (ManyDiscs()) {
        RunManyDiscs();
        return;
    }
    btnSaveLog->setEnabled(false);
    btnSaveReport->setEnabled(false);
    ResetGauges();
    m_titleBeforeRun = window()->windowTitle();
    if (WizardActions && PageData()) {
        if (WizardActions->Options.SourceIsFile == 0 && PageData()->FileTree != nullptr) {
            // A folder's image is made as it is written: its tree knows the size.
            try {
                m_meterTotal = static_cast<uint64_t>(std::max<int64_t>(0, PageData()->ImageSize()));
            } catch (const std::exception&) {
                m_meterTotal = 0;
            }
        } else {
            const QFileInfo image(QFile::decodeName(WizardActions->Options.SourceFileName.c_str()));
            m_meterTotal = static_cast<uint64_t>(std::max<qint64>(0, image.size()));
        }
        m_meter.Start(m_meterTotal, PageData()->DiscType);
    }

    TsbCallBackEventer& eventer = CallBackEventer();
    eventer.SetOnProgress([this](TsbCallBackEventer&, int32_t percent) { ShowProgress(percent); });
    eventer.SetOnBufferStatus(
        [this](TsbCallBackEventer&, int32_t percent) { ShowBufferFill(percent); });
    eventer.SetOnImageBuildStart([](TsbCallBackEventer&) {});
    if (WizardActions) {
        WizardActions->OnMessage = [this](void*, const std::string& text, TsbLogItemType kind) {
            AddLogLine(text, kind);
            if (text == VerifyingDiscText() && m_meter.Started() && PageData()) {
                // The read-back runs the bar again: the write's last figures
                // first, then the caption counts what is read, from its own start.
                FlushPending();
                m_meter.Start(m_meterTotal, PageData()->DiscType);
            }
        };
        WizardActions->BindMessages();
        WizardActions->Burner = PageData();
        try {
            for (int i = 0; i < WizardActions->Count(); ++i) {
                TsbActionItem* item = WizardActions->Items(i);
                if (item->Action) {
                    item->Action->Execute(item);
                }
            }
        } catch (...) {
            const QString text = sbCurrentExceptionText();
            AddLogLine(text.toStdString(), litError);
            TsbDialogs::MessageBox(this, text, QString(), TsbMsgKind::mkError);
        }
        WizardActions->Burner = nullptr;
    }
    eventer.SetOnImageBuildStart({});
    eventer.SetOnBufferStatus({});
    eventer.SetOnProgress({});
    if (WizardActions) {
        // The actions outlive this run; none keeps a handler into the page.
        WizardActions->OnMessage = {};
        WizardActions->BindMessages();
    }

    FlushPending();
    // The caption keeps the figures of the write as it ended; the title is
    // the window's own again.
    m_meter = TsbProgressMeter();
    window()->setWindowTitle(m_titleBeforeRun);
    ShowProgress(100);
    m_bufferFill = 0;
    ApplyBufferFill();
    btnSaveLog->setEnabled(true);
    btnSaveReport->setEnabled(true);
    if (TsbBurner* burner = PageData()) {
        burner->ReleaseDevice();
    }
}

void TfrmFinalAction::btnSaveLogClick() {
    const QString fileName = TsbDialogs::SaveFileName(
        this, QString(), tr("Text files (*.txt)"),
        ProposedLogFileName(QDateTime::currentDateTime()), QStringLiteral("txt"));
    if (fileName.isEmpty()) {
        return;
    }
    QByteArray text;
    for (int i = 0; i < lvLog->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = lvLog->topLevelItem(i);
        QString time = row->columnCount() > 1 ? row->text(1) : QString();
        if (time.isEmpty()) {
            time = QStringLiteral("        ");
        }
        text += (time + QLatin1Char(' ') + row->text(0)).toUtf8() + "\r\n";
    }
    if (text.isEmpty()) {
        // An empty log is no file: the one the user chose to replace goes.
        if (QFile::exists(fileName) && !QFile::remove(fileName)) {
            throw EsbError("Cannot replace the file " + fileName.toStdString());
        }
        return;
    }
    // Written beside the old file and put in its place only when complete:
    // a failure half-way leaves whatever was there whole.
    QSaveFile file(fileName);
    // Flushed and checked before the commit: a write that breaks off while
    // the commit flushes (a full disc, a size limit) would still be renamed.
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.flush()) {
        const std::string reason = file.errorString().toStdString();
        file.cancelWriting();
        file.commit();
        throw EsbError("Cannot save the log to " + fileName.toStdString() + ": " + reason);
    }
    if (!file.commit()) {
        throw EsbError("Cannot save the log to " + fileName.toStdString() + ": " +
                       file.errorString().toStdString());
    }
}
