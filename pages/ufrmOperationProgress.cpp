// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ufrmOperationProgress.h"

#include "ui/sbAnimate.h"
#include "ui/sbGuard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

QPointer<TfrmOperationProgress> g_current;

// The clip: 30 frames of 352 x 18; the window plays the first four.
constexpr QSize ClipFrame(352, 18);

} // namespace

TfrmOperationProgress::TfrmOperationProgress(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowMinMaxButtonsHint) {
    setObjectName(QStringLiteral("frmOperationProgress"));
    setFixedSize(371, 161);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setGeometry(12, 10, 348, 63);
    lblInfo->setWordWrap(true);
    // The engine's texts may carry a drive's or disc's name.
    lblInfo->setTextFormat(Qt::PlainText);
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Animate = new TsbAnimate(this);
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->setGeometry(8, 96, 352, 18);

    lblCancelling = new QLabel(tr("Cancelling..."), this);
    lblCancelling->setObjectName(QStringLiteral("lblCancelling"));
    lblCancelling->move(96, 136);
    lblCancelling->adjustSize();
    lblCancelling->hide();

    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    btnCancel->setAccessibleDescription(tr("Stops the search (Esc)"));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(285, 128, 75, 25);
    connect(btnCancel, &QPushButton::clicked, this, sbGuarded(this, [this] { btnCancelClick(); }));

    // FormCreate
    lblInfo->clear();
    m_isShown = false;
    Animate->SetStrip(QImage(QStringLiteral(":/tavrin/myclock.png")), ClipFrame);
    Animate->SetStartFrame(1);
    Animate->SetStopFrame(4);
    Animate->SetInterval(20);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void TfrmOperationProgress::SetCancelVisible(bool visible) {
    btnCancel->setVisible(visible);
}

void TfrmOperationProgress::btnCancelClick() {
    if (!OnCancel) {
        return;
    }
    lblCancelling->show();
    btnCancel->setEnabled(false);
    OnCancel(this);
}

void TfrmOperationProgress::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Animate->SetActive(true);
    m_isShown = true;
}

void TfrmOperationProgress::hideEvent(QHideEvent* event) {
    Animate->SetActive(false);
    m_isShown = false;
    QWidget::hideEvent(event);
}

void TfrmOperationProgress::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        FormDeactivate();
    }
    QWidget::changeEvent(event);
}

void TfrmOperationProgress::FormDeactivate() {
    if (!m_isShown) {
        return;
    }
    // Taken back once the activation that moved away has settled.
    QTimer::singleShot(0, this, sbGuarded(this, [this] {
                           if (m_isShown && !isActiveWindow()) {
                               raise();
                               activateWindow();
                           }
                       }));
}

void TfrmOperationProgress::closeEvent(QCloseEvent* event) {
    // No close box: the window goes when its operation is over.
    event->ignore();
}

TsbProgressWindow::TsbProgressWindow() : m_form(std::make_unique<TfrmOperationProgress>()) {
    g_current = m_form.get();
}

TsbProgressWindow::~TsbProgressWindow() = default;

void TsbProgressWindow::SetCaption(const std::string& caption) {
    m_form->setWindowTitle(QString::fromStdString(caption));
}

void TsbProgressWindow::SetCancelVisible(bool visible) {
    m_form->SetCancelVisible(visible);
}

void TsbProgressWindow::SetInfoText(const std::string& text) {
    m_form->lblInfo->setText(QString::fromStdString(text));
}

void TsbProgressWindow::SetOnCancel(std::function<void()> onCancel) {
    if (!onCancel) {
        m_form->OnCancel = nullptr;
        return;
    }
    m_form->OnCancel = [onCancel = std::move(onCancel)](TfrmOperationProgress*) { onCancel(); };
}

void TsbProgressWindow::Show() {
    // The window the keyboard was in gets it back when this one goes.
    m_previous = QApplication::activeWindow();
    m_form->show();
    m_form->raise();
    m_form->activateWindow();
}

void TsbProgressWindow::Hide() {
    m_form->hide();
    // Without a window manager nobody else hands the focus back.
    if (m_previous && m_previous->isVisible()) {
        m_previous->raise();
        m_previous->activateWindow();
    }
}

TfrmOperationProgress* CurrentProgressWindow() {
    return g_current.data();
}
