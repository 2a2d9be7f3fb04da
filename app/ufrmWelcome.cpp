// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/ufrmWelcome.h"

#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "pages/ufrmCopyDisc.h"
#include "ui/sbGuard.h"
#include "ui/sbImageButton.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

TfrmWelcome::TfrmWelcome(QWidget* parent) : TsbChromeForm(parent) {
    setObjectName(QStringLiteral("frmWelcome"));
    setWindowTitle(QStringLiteral("Tavrin"));

    PanelMain = new QWidget(this);
    PanelMain->setObjectName(QStringLiteral("PanelMain"));
    PanelMain->setGeometry(232, 96, 497, 361);
    PanelMain->setAutoFillBackground(true);
    QPalette white = PanelMain->palette();
    white.setColor(QPalette::Window, Qt::white);
    PanelMain->setPalette(white);

    WelcomeLabel = AddLabel(PanelMain, QStringLiteral("WelcomeLabel"), QRect(0, 0, 309, 41),
                            tr("Welcome to Tavrin"));
    QFont verdana(QStringLiteral("Verdana"));
    verdana.setPointSize(13);
    verdana.setBold(true);
    WelcomeLabel->setFont(verdana);
    WelcomeLabel->setWordWrap(true);
    WelcomeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    DescriptionLabel =
        AddLabel(PanelMain, QStringLiteral("DescriptionLabel"), QRect(0, 64, 457, 33),
                 tr("The wizard will guide you through file system image burning "
                    "process using Tavrin."));
    DescriptionLabel->setWordWrap(true);
    DescriptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    lblPressNext = AddLabel(PanelMain, QStringLiteral("lblPressNext"), QRect(0, 104, 457, 16),
                            tr("Click Next to continue or Cancel to exit"));

    btnCopyDisc = new QPushButton(tr("Cop&y a disc to an image file..."), PanelMain);
    btnCopyDisc->setObjectName(QStringLiteral("btnCopyDisc"));
    btnCopyDisc->move(0, 140);
    btnCopyDisc->adjustSize();
    btnCopyDisc->setAccessibleDescription(
        tr("Reads a CD, DVD or Blu-ray disc into an image file with its SHA-256 checksum"));
    connect(btnCopyDisc, &QPushButton::clicked, this,
            sbGuarded(this, [this] { btnCopyDiscClick(); }));

    ButtonPrev->setEnabled(false);
    connect(ButtonNext, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonNextClick(); }));
    connect(ButtonClose, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonCloseClick(); }));
    connect(ButtonExit, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonCloseClick(); }));

    // FormCreate
    SetDoubleBuffered(true);
    LoadChromeReported();
    CenterOnScreen();
}

void TfrmWelcome::CenterOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmWelcome::ApplyLayout(int layout) {
    TsbChromeForm::ApplyLayout(layout);
    PanelMain->move(layout == 1 ? QPoint(270, 90) : QPoint(232, 96));
}

void TfrmWelcome::ButtonNextClick() {
    auto* app = TsbApplication::Instance();
    TMainForm* main = app ? app->Main() : nullptr;
    if (!main) {
        return;
    }
    main->SetDoubleBuffered(true);
    main->move(pos());
    main->show();
    main->activateWindow();
    main->repaint();
    hide();
}

TfrmCopyDisc* TfrmWelcome::CopyWindow() const {
    return m_copyWindow.data();
}

void TfrmWelcome::btnCopyDiscClick() {
    auto* app = TsbApplication::Instance();
    TMainForm* main = app ? app->Main() : nullptr;
    if (!main) {
        return;
    }
    // The library the burn would start on its second sheet: one session for both.
    main->StartLibrary();
    if (!m_copyWindow) {
        // Freed with the pages, before the main window shuts the library down.
        m_copyWindow = app->Own(new TfrmCopyDisc(this));
        // Refresh sees drives plugged in meanwhile, while the wizard, which
        // holds the library's drives from its recorder sheet on, is not open.
        m_copyWindow->RestartLibrary = [app] {
            TMainForm* wizard = app->Main();
            if (wizard && !wizard->isVisible() && !(app->Finish() && app->Finish()->isVisible())) {
                wizard->RestartLibrary();
            }
        };
    }
    m_copyWindow->Open();
}

void TfrmWelcome::ButtonCloseClick() {
    close();
}

void TfrmWelcome::closeEvent(QCloseEvent* event) {
    event->accept();
    // The welcome window is the main form: once it closes, the program ends.
    if (auto* app = TsbApplication::Instance(); app && app->Welcome() == this) {
        app->Terminate();
    }
}
