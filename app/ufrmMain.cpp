// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/ufrmMain.h"

#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmWelcome.h"
#include "base/sbCallBack.h"
#include "base/sbError.h"
#include "base/sbResConst.h"
#include "base/sbStrUtils.h"
#include "base/sbUtils.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "devices/ufrmSelectDevice.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbLog.h"
#include "engine/sbVerify.h"
#include "forms/UtilFuncs.h"
#include "forms/sbNotify.h"
#include "forms/sbProduct.h"
#include "forms/sbTexts.h"
#include "pages/ufrmBurnMode.h"
#include "pages/ufrmBurnOptions.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmOptionsSummary.h"
#include "pages/ufrmSelectTransport.h"
#include "pages/ufrmSourceFileSelection.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"
#include "ui/sbImageButton.h"
#include "ui/sbPageControl.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QShowEvent>
#include <QTextEdit>
#include <QThread>

#include <fmt/printf.h>

namespace {

struct TSheetTexts {
    int Title, SubTitle;
};

constexpr std::array<TSheetTexts, TMainForm::SheetCount> SheetTexts{{
    {15220, 15221}, // 0 transport
    {15202, 15972}, // 1 final action
    {15204, 15974}, // 2 recorder
    {15953, 15954}, // 3 image file
    {15210, 15211}, // 4 burn options
    {15235, 15234}, // 5 write mode
    {15223, 15222}, // 6 summary
}};

} // namespace

QString SheetTitle(int sheet) {
    return sheet >= 0 && sheet < TMainForm::SheetCount
               ? ResText(SheetTexts[static_cast<size_t>(sheet)].Title)
               : QString();
}

QString SheetSubTitle(int sheet) {
    return sheet >= 0 && sheet < TMainForm::SheetCount
               ? ResText(SheetTexts[static_cast<size_t>(sheet)].SubTitle)
               : QString();
}

TMainForm::TMainForm(QWidget* parent) : TsbMainForm(parent) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Tavrin"));
    // An image file dropped onto the window while the image sheet shows.
    setAcceptDrops(true);

    LabelTitle = AddLabel(this, QStringLiteral("LabelTitle"), QRect(212, 50, 540, 16));
    QFont bold = font();
    bold.setBold(true);
    bold.setPointSize(9);
    LabelTitle->setFont(bold);
    LabelSubTitle = AddLabel(this, QStringLiteral("LabelSubTitle"), QRect(222, 67, 530, 14));

    pcBurner = new TsbPageControl(this);
    pcBurner->setObjectName(QStringLiteral("pcBurner"));
    pcBurner->setGeometry(200, 80, 560, 416);
    static const char* const panelNames[SheetCount] = {"pnlTs0", "pnlFinalPage", "pnlTs2", "pnlTs3",
                                                       "pnlTs4", "pnlTs5",       "pnlTs6"};
    for (int i = 0; i < SheetCount; ++i) {
        TsbTabSheet* sheet = pcBurner->AddSheet(QStringLiteral("ts%1").arg(i));
        sheet->setAutoFillBackground(true);
        QPalette white = sheet->palette();
        white.setColor(QPalette::Window, Qt::white);
        sheet->setPalette(white);
        auto* panel = new QWidget(sheet);
        panel->setObjectName(QString::fromLatin1(panelNames[i]));
        panel->setGeometry(sheet->rect());
        panel->setAutoFillBackground(true);
        panel->setPalette(white);
        Sheets[static_cast<size_t>(i)] = sheet;
        Panels[static_cast<size_t>(i)] = panel;
    }
    // Panels fill their sheets whatever size the page control takes.
    for (int i = 0; i < SheetCount; ++i) {
        Panels[static_cast<size_t>(i)]->setGeometry(0, 0, pcBurner->width(), pcBurner->height());
    }
    pcBurner->SetActivePageIndex(0);
    pcBurner->setAccessibleName(tr("Wizard steps"));

    CallBackEventer().SetOnCancelEnabled(
        [this](TsbCallBackEventer&, bool enabled) { SetCancelEnabled(enabled); });
    connect(ButtonNext, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonNextClick(); }));
    connect(ButtonPrev, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonPrevClick(); }));
    connect(ButtonClose, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonCloseClick(); }));
    connect(ButtonExit, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonCloseClick(); }));

    FormCreate();
}

TMainForm::~TMainForm() {
    CallBackEventer().SetOnCancelEnabled({});
}

void TMainForm::FormCreate() {
    if (auto* app = TsbApplication::Instance()) {
        if (TfrmWelcome* welcome = app->Welcome()) {
            welcome->WelcomeLabel->setText(ResText(15200));
            welcome->setWindowTitle(windowTitle());
        }
        if (TfrmFinish* finish = app->Finish()) {
            finish->setWindowTitle(windowTitle());
            finish->CompleteLabel->setText(ResText(15230));
        }
    }
    LoadChromeReported();
}

void TMainForm::ApplyLayout(int layout) {
    TsbMainForm::ApplyLayout(layout);
    if (layout == 1) {
        pcBurner->move(240, 110);
        LabelTitle->move(252, 70);
        LabelSubTitle->move(260, 87);
    } else {
        pcBurner->move(200, 80);
    }
}

void TMainForm::BuildPageSequence() {
    PageSequence = {QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("3"),
                    QStringLiteral("5"), QStringLiteral("4"), QStringLiteral("6"),
                    QStringLiteral("1")};
}

void TMainForm::LocalizeCaptions() {
    ButtonNext->setText(ResText(15101));
    ButtonPrev->setText(ResText(15102));
    ButtonClose->setText(ResText(15103));
}

void TMainForm::ShowSheetTitles() {
    LabelTitle->setText(SheetTitle(pcBurner->ActivePageIndex()));
    LabelSubTitle->setText(SheetSubTitle(pcBurner->ActivePageIndex()));
    // The step a screen reader is in: the sheet's title and subtitle.
    pcBurner->setAccessibleDescription(LabelTitle->text() + QStringLiteral(": ") +
                                       LabelSubTitle->text());
    if (TsbTabSheet* sheet = pcBurner->ActivePage()) {
        sheet->setAccessibleName(LabelTitle->text());
        sheet->setAccessibleDescription(LabelSubTitle->text());
    }
}

void TMainForm::FocusSheet() {
    // The sheet's first control in the tab order, else Next: the focus is
    // never left on a hidden sheet or on the first button of the window.
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if (pcBurner->ActivePage() && pcBurner->ActivePage()->isAncestorOf(w) &&
            (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(this) && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    if (ButtonNext->isEnabled()) {
        ButtonNext->setFocus(Qt::TabFocusReason);
    }
}

int TMainForm::CurrentSheet() const {
    return pcBurner->ActivePageIndex();
}

void TMainForm::SetCurrentSheet(int index) {
    pcBurner->SetActivePageIndex(index);
}

void TMainForm::LockNavigation() {
    TsbMainForm::LockNavigation();
    ButtonPrev->setEnabled(false);
    ButtonNext->setEnabled(false);
    ButtonClose->setEnabled(false);
}

void TMainForm::UpdateButtons() {
    ButtonPrev->setEnabled(RunState != 2);
    // A folder that cannot be burnt (or is still being measured) keeps its sheet.
    ButtonNext->setEnabled(RunState == 2 || CurrentSheet() != 3 || !SourcePage ||
                           SourcePage->FolderRefusal().isEmpty());
    ButtonClose->setEnabled(RunState != 2);
}

void TMainForm::PageLeftBackward(int, int toIndex) {
    if (toIndex == 2) {
        Burner().ReleaseDevice();
        ReleaseMoreBurners();
    }
}

void TMainForm::BeforeNextPage() {}

void TMainForm::SetCancelEnabled(bool enabled) {
    if (QThread::currentThread() != thread()) {
        // Raised on the burn thread: the button belongs to this one.
        QMetaObject::invokeMethod(this,
                                  sbGuarded(this, [this, enabled] { SetCancelEnabled(enabled); }),
                                  Qt::QueuedConnection);
        return;
    }
    ButtonClose->setEnabled(enabled);
}

void TMainForm::OrderTabs() {
    // Reading order: the sheet's controls as the focus chain has them, then
    // the buttons along the bottom from left to right.
    QList<QWidget*> order;
    for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) && pcBurner->isAncestorOf(w)) {
            order << w;
        }
    }
    order << ButtonHelp << ButtonAbout << ButtonPrev << ButtonNext << ButtonClose;
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (CurrentSheet() == 3 && SourcePage && !DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    sbGuard(this, [&] {
        const QString file = DroppedFile(event->mimeData());
        if (CurrentSheet() != 3 || !SourcePage || file.isEmpty()) {
            return;
        }
        event->acceptProposedAction();
        // As if typed: the size line follows after the pause.
        SourcePage->Edit1->setText(file);
        activateWindow();
    });
}

QString DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) {
        return {};
    }
    const QList<QUrl> urls = data->urls();
    return urls.size() == 1 && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}

void TMainForm::showEvent(QShowEvent* event) {
    TsbMainForm::showEvent(event);
    if (!event->spontaneous()) {
        sbGuard(this, [this] { FormShow(); });
    }
}

void TMainForm::FormShow() {
    BuildPageSequence();
    SheetEntered();
    LocalizeCaptions();
    ShowTransportPage();
    FocusSheet();
}

void TMainForm::SheetEntered() {
    TsbBusyCursor busy;
    FocusSheet();
    switch (CurrentSheet()) {
    case 0:
        ButtonNext->setText(ResText(15101));
        ButtonClose->setText(ResText(15103));
        break;
    case 1:
        RunState = 1;
        ShowSheetTitles();
        LockNavigation();
        if (FinalPage && FinalPage->ManyDiscs()) {
            // The drives' own eventers do not reach the window's: Cancel is
            // there for the whole run.
            ButtonClose->setEnabled(true);
        }
        if (FinalPage) {
            FinalPage->RunActions();
        }
        // Every drive is let go once the run is over.
        ReleaseMoreBurners();
        RunState = 2;
        ButtonNext->setEnabled(true);
        // The user may have turned to something else during the burn.
        NotifyWhenInactive(this, ApplicationTitle(), FinishText());
        break;
    default:
        ButtonNext->setText(ResText(15101));
        break;
    }
    UpdateButtons();
    ShowSheetTitles();
    FocusSheet();
}

QString TMainForm::FinishText() {
    if (FinalPage && FinalPage->ManyDiscs()) {
        return FinishCopiesText(FinalPage->CopiesDone(), FinalPage->CopiesFailed(),
                                FinalPage->AllCancelled());
    }
    return FinishOutcomeText(Burner().WriteStarted.load(), Burner().Cancelled.load());
}

void TMainForm::ButtonNextClick() {
    if (RunState == 2) {
        if (auto* app = TsbApplication::Instance(); app && app->Finish()) {
            TfrmFinish* finish = app->Finish();
            finish->move(pos());
            finish->SetDoubleBuffered(true);
            finish->show();
            finish->activateWindow();
            finish->repaint();
            finish->DescriptionLabel->setText(FinishText());
        }
        hide();
        return;
    }
    if (CurrentSheet() == 0) {
        StartLibrary();
        BuildPageSequence();
    }
    ValidatePage();
    BeforeNextPage();
    const int next = GetNextPage(CurrentSheet());
    if (next < 0) {
        return;
    }
    CollectPageResults();
    PreparePage(next);
    SetCurrentSheet(next);
    SheetEntered();
}

void TMainForm::ButtonPrevClick() {
    const int current = CurrentSheet();
    if (current == 0) {
        if (auto* app = TsbApplication::Instance(); app && app->Welcome()) {
            TfrmWelcome* welcome = app->Welcome();
            welcome->move(pos());
            welcome->show();
            welcome->activateWindow();
            welcome->repaint();
        }
        hide();
        return;
    }
    const int prev = GetPrevPage(current);
    if (prev < 0) {
        return;
    }
    PageLeftBackward(current, prev);
    RemovePageLog(current);
    RemovePageActions(current);
    SetCurrentSheet(prev);
    SheetEntered();
}

void TMainForm::ButtonCloseClick() {
    auto* app = TsbApplication::Instance();
    switch (RunState) {
    case 1:
        ButtonNext->setEnabled(false);
        if (TsbDialogs::MessageBox(this, ResText(15958), QString(), TsbMsgKind::mkConfirmation,
                                   TsbMsgButtons::mbYesNo) == TsbMsgResult::mrYes) {
            if (FinalPage && FinalPage->ManyDiscs()) {
                FinalPage->CancelAll();
            } else {
                Burner().Cancel();
            }
            RunState = 0;
            ButtonClose->setEnabled(false);
        }
        break;
    case 0:
        close();
        if (app && app->Welcome()) {
            app->Welcome()->close();
        }
        break;
    default:
        if (app && app->Welcome()) {
            app->Welcome()->close();
        }
        break;
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!CloseAllowed) {
        event->ignore();
    } else {
        event->accept();
    }
    // Either way the program ends once control is back in the event loop.
    if (auto* app = TsbApplication::Instance(); app && app->Welcome()) {
        app->Welcome()->close();
    }
}
