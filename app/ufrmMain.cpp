#include "app/ufrmMain.h"

#include "app/sbApplication.h"
#include "app/sbTexts.h"
#include "app/ufrmFinish.h"
#include "app/ufrmWelcome.h"
#include "ui/sbImageButton.h"
#include "ui/sbPageControl.h"

#include <QCloseEvent>
#include <QLabel>

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

    FormCreate();
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
