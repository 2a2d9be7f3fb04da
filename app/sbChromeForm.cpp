// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/sbChromeForm.h"
#include "forms/sbProduct.h"

#include "app/sbApplication.h"
#include "base/sbError.h"
#include "forms/HelpLinkFuncs.h"
#include "forms/UtilFuncs.h"
#include "forms/sbIniFile.h"
#include "ui/sbGuard.h"
#include "ui/sbImageButton.h"
#include "ui/sbLinkLabel.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QWindowStateChangeEvent>

namespace {

const QColor DesignGrey(0x80, 0x80, 0x80);

// A picture of the art folder; a missing or unreadable one raises an error
// that names the file.
// A picture for a label on a screen of that pixel ratio: scaled smoothly
// once here, as a label would otherwise scale it pixel by pixel.
QPixmap ScreenPixmap(const QImage& image, qreal ratio) {
    if (ratio <= 1.0 || image.isNull()) {
        return QPixmap::fromImage(image);
    }
    QPixmap pixmap = QPixmap::fromImage(
        image.scaled(image.size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QImage LoadPicture(const QString& path) {
    if (!QFileInfo::exists(path)) {
        throw EsbError("Cannot open file \"" + path.toStdString() +
                       "\". No such file or directory");
    }
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull()) {
        throw EsbError("Cannot read picture \"" + path.toStdString() +
                       "\": " + reader.errorString().toStdString());
    }
    return image;
}

void SetLabelColor(QLabel* label, const QColor& color) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, color);
    label->setPalette(pal);
}

} // namespace

QString VersionLabelText(const QString& version) {
    return QCoreApplication::translate("TsbChromeForm", "Version: %1").arg(version);
}

TsbChromeForm::TsbChromeForm(QWidget* parent) : TsbSkinnedForm(parent) {
    resize(772, 547);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);
    CreateChrome();
    CreateHelpMenu();
}

TsbChromeForm::~TsbChromeForm() = default;

QLabel* TsbChromeForm::AddLabel(QWidget* parent, const QString& name, const QRect& geometry,
                                const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setAttribute(Qt::WA_TranslucentBackground, true);
    return label;
}

void TsbChromeForm::CreateChrome() {
    ImageTopLogo = new QLabel(this);
    ImageTopLogo->setObjectName(QStringLiteral("ImageTopLogo"));
    ImageTopLogo->move(10, 1);
    ImageLeftLogo = new QLabel(this);
    ImageLeftLogo->setObjectName(QStringLiteral("ImageLeftLogo"));
    ImageLeftLogo->move(10, 128);
    AddDragHandle(ImageTopLogo);
    AddDragHandle(ImageLeftLogo);

    LabelVersion = AddLabel(this, QStringLiteral("LabelVersion"), QRect(24, 368, 153, 14));
    LabelVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetLabelColor(LabelVersion, DesignGrey);

    LabelMoreTools = new TsbLinkLabel(this);
    LabelMoreTools->setObjectName(QStringLiteral("LabelMoreTools"));
    LabelMoreTools->setGeometry(24, 384, 153, 14);
    LabelMoreTools->setText(tr("more free tools..."));
    LabelMoreTools->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LabelMoreTools->setCursor(Qt::PointingHandCursor);
    QFont underlined = font();
    underlined.setUnderline(true);
    LabelMoreTools->setFont(underlined);
    SetLabelColor(LabelMoreTools, DesignGrey);
    connect(LabelMoreTools, &TsbLinkLabel::clicked, this,
            sbGuarded(this, [this] { LabelMoreToolsClick(); }));

    auto makeButton = [this](const char* name, const QPoint& pos, const QString& caption) {
        auto* b = new TsbImageButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->move(pos);
        b->setText(caption);
        return b;
    };
    ButtonMin = makeButton("ButtonMin", {696, 4}, {});
    ButtonExit = makeButton("ButtonExit", {728, 4}, {});
    ButtonMin->resize(28, 24);
    ButtonExit->resize(28, 24);
    ButtonMin->setCursor(Qt::PointingHandCursor);
    ButtonExit->setCursor(Qt::PointingHandCursor);
    ButtonMin->setToolTip(tr("Minimize"));
    ButtonExit->setToolTip(tr("Close"));
    ButtonMin->setFocusPolicy(Qt::NoFocus);
    ButtonExit->setFocusPolicy(Qt::NoFocus);
    // Their pictures are their captions; screen readers need the words.
    ButtonMin->setAccessibleName(ButtonMin->toolTip());
    ButtonExit->setAccessibleName(ButtonExit->toolTip());
    ButtonHelp = makeButton("ButtonHelp", {40, 510}, tr("Help"));
    ButtonAbout = makeButton("ButtonAbout", {138, 510}, tr("About"));
    ButtonPrev = makeButton("ButtonPrev", {426, 510}, tr("Back"));
    ButtonNext = makeButton("ButtonNext", {522, 510}, tr("Next"));
    ButtonClose = makeButton("ButtonClose", {672, 510}, tr("Cancel"));

    // Screen readers read the caption as the name; what the button does
    // goes with it.
    ButtonMin->setAccessibleDescription(tr("Minimizes the program's windows"));
    ButtonExit->setAccessibleDescription(tr("Closes the wizard"));
    ButtonHelp->setAccessibleDescription(tr("Opens the help menu (F1: the help pages)"));
    ButtonAbout->setAccessibleDescription(tr("Shows the program's version and web site"));
    ButtonPrev->setAccessibleDescription(tr("Goes back to the previous step"));
    ButtonNext->setAccessibleDescription(tr("Goes on to the next step (Enter)"));
    ButtonClose->setAccessibleDescription(tr("Cancels the wizard (Esc)"));
    connect(ButtonMin, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonMinClick(); }));

    // Enter goes on, Esc cancels, as in any wizard. Alt+N and Alt+B come
    // with the captions' underlined letters.
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto* enter = new QShortcut(QKeySequence(key), this);
        connect(enter, &QShortcut::activated, this, sbGuarded(this, [this] { EnterPressed(); }));
    }
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, sbGuarded(this, [this] { EscapePressed(); }));
    connect(ButtonAbout, &QAbstractButton::clicked, this,
            sbGuarded(this, [this] { ButtonAboutClick(); }));
}

void TsbChromeForm::CreateHelpMenu() {
    ActionList = new QObject(this);
    ActionList->setObjectName(QStringLiteral("ActionList"));
    auto makeAction = [this](const char* name, const QString& caption) {
        auto* a = new QAction(caption, ActionList);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    ActionHelp = makeAction("ActionHelp", tr("Help"));
    ActionHelpContent = makeAction("ActionHelpContent", tr("Help Content"));
    ActionHelpContent->setShortcut(QKeySequence(Qt::Key_F1));
    ActionHelpContent->setShortcutContext(Qt::WindowShortcut);
    ActionQuickStart = makeAction("ActionQuickStart", tr("Quick Start..."));
    ActionHomePage = makeAction("ActionHomePage", tr("Home Page"));
    ActionMoreRelatedTools = makeAction("ActionMoreRelatedTools", tr("More Related Tools..."));
    ActionCheckforUpdates = makeAction("ActionCheckforUpdates", tr("Check for Updates..."));
    ActionContactTechnicalSupport =
        makeAction("ActionContactTechnicalSupport", tr("Contact Technical Support..."));
    ActionAbout = makeAction("ActionAbout", tr("About"));
    // The window holds the F1 shortcut while it is active.
    addAction(ActionHelpContent);

    PopupMenuHelp = new QMenu(this);
    PopupMenuHelp->setObjectName(QStringLiteral("PopupMenuHelp"));
    PopupMenuHelp->addAction(ActionHelpContent);
    PopupMenuHelp->addAction(ActionQuickStart);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionHomePage);
    PopupMenuHelp->addAction(ActionMoreRelatedTools);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionCheckforUpdates);
    PopupMenuHelp->addAction(ActionContactTechnicalSupport);
    PopupMenuHelp->addSeparator();
    PopupMenuHelp->addAction(ActionAbout);

    auto openLink = [this](QAction* action, QString (*lookup)(const QString&)) {
        connect(action, &QAction::triggered, this,
                sbGuarded(this, [lookup] { ShellOpen(lookup(ApplicationTitle())); }));
    };
    openLink(ActionHelpContent, &GetHelpContentLink);
    openLink(ActionQuickStart, &GetVideoDemosLink);
    openLink(ActionHomePage, &GetHomePageLink);
    openLink(ActionMoreRelatedTools, &GetMoreToolsLink);
    openLink(ActionCheckforUpdates, &GetUpdatesLink);
    openLink(ActionContactTechnicalSupport, &GetSupportLink);
    connect(ActionAbout, &QAction::triggered, this,
            sbGuarded(this, [this] { ButtonAboutClick(); }));
    connect(ActionHelp, &QAction::triggered, this,
            sbGuarded(this, [this] { ActionHelpExecute(); }));
    connect(ButtonHelp, &QAbstractButton::clicked, ActionHelp,
            sbGuarded(this, [this] { ActionHelp->trigger(); }));
}

QString TsbChromeForm::ArtFolder() {
    return ArtFolder(TsbIniFile(ProductInfoFile()));
}

QString TsbChromeForm::ArtFolder(const TsbIniFile& productFile) {
    const QString res = productFile.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Res"));
    return IncludeTrailingSlash(ApplicationFolder() + QStringLiteral("sounds/ISORes") + res);
}

void TsbChromeForm::LoadChrome() {
    m_appliedLayout = -1;
    setWindowTitle(ApplicationTitle());

    const TsbIniFile ini(ProductInfoFile());
    LabelVersion->setText(
        VersionLabelText(ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Version"))));

    const int layout = StrToInt(
        ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Skin"), QStringLiteral("0")));

    const QString folder = ArtFolder(ini);

    const QImage top = LoadPicture(folder + QStringLiteral("toplogo.png"));
    ImageTopLogo->setPixmap(ScreenPixmap(top, devicePixelRatioF()));
    ImageTopLogo->resize(top.size());

    const QImage left = LoadPicture(folder + QStringLiteral("leftlogo.png"));
    ImageLeftLogo->setPixmap(ScreenPixmap(left, devicePixelRatioF()));
    ImageLeftLogo->resize(left.size());

    SetFrameBitmap(LoadPicture(folder + QStringLiteral("main.bmp")));

    const auto loadStates = [&folder](TsbImageButton* button, const QString& stem, int states) {
        for (int i = 0; i < states; ++i) {
            const QImage picture =
                LoadPicture(folder + QStringLiteral("%1_%2.bmp").arg(stem).arg(i + 1));
            button->SetPicture(static_cast<TsbImageButton::TPicture>(i),
                               QPixmap::fromImage(picture));
        }
    };
    loadStates(ButtonMin, QStringLiteral("min"), 3);
    loadStates(ButtonExit, QStringLiteral("close"), 3);

    QPixmap bottom[4];
    for (int i = 0; i < 4; ++i) {
        bottom[i] =
            QPixmap::fromImage(LoadPicture(folder + QStringLiteral("bottom_%1.bmp").arg(i + 1)));
    }
    for (TsbImageButton* b : {ButtonHelp, ButtonAbout, ButtonPrev, ButtonNext, ButtonClose}) {
        for (int i = 0; i < 4; ++i) {
            b->SetPicture(static_cast<TsbImageButton::TPicture>(i), bottom[i]);
        }
    }

    if (layout == 0 || layout == 1) {
        ApplyLayout(layout);
        m_appliedLayout = layout;
    }
}

bool TsbChromeForm::LoadChromeReported() {
    return sbGuard(this, [this] { LoadChrome(); });
}

void TsbChromeForm::ApplyLayout(int layout) {
    struct TPlace {
        TsbImageButton* Button;
        QPoint Skin0, Skin1;
    };
    const TPlace places[] = {
        {ButtonMin, {696, 4}, {766, 3}},       {ButtonExit, {728, 4}, {794, 3}},
        {ButtonHelp, {40, 510}, {25, 566}},    {ButtonAbout, {138, 510}, {120, 566}},
        {ButtonPrev, {426, 510}, {400, 566}},  {ButtonNext, {522, 510}, {495, 566}},
        {ButtonClose, {672, 510}, {730, 566}},
    };
    for (const auto& p : places) {
        p.Button->move(layout == 1 ? p.Skin1 : p.Skin0);
    }
    const QColor labels = layout == 1 ? QColor(0xFF, 0xFF, 0xFF) : DesignGrey;
    SetLabelColor(LabelVersion, labels);
    SetLabelColor(LabelMoreTools, labels);
    if (layout == 1) {
        ImageLeftLogo->move(20, ImageLeftLogo->y());
    }
}

void TsbChromeForm::EnterPressed() {
    // A page's own push button with the focus (the "..." button, Save Log)
    // is what Enter presses; anywhere else it is Next.
    QWidget* focused = focusWidget();
    auto* button = qobject_cast<QPushButton*>(focused);
    if (button && button->isEnabled() && button->isVisible()) {
        button->click();
        return;
    }
    if (ButtonNext->isEnabled() && ButtonNext->isVisible()) {
        ButtonNext->click();
    }
}

void TsbChromeForm::EscapePressed() {
    if (ButtonClose->isEnabled() && ButtonClose->isVisible()) {
        ButtonClose->click();
    }
}

void TsbChromeForm::changeEvent(QEvent* event) {
    TsbSkinnedForm::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if ((change->oldState() & Qt::WindowMinimized) && !isMinimized()) {
            if (auto* app = TsbApplication::Instance()) {
                app->RestoreMinimized(this);
            }
        }
    }
}

void TsbChromeForm::ButtonMinClick() {
    if (auto* app = TsbApplication::Instance()) {
        app->Minimize();
    } else {
        showMinimized();
    }
}

void TsbChromeForm::ButtonAboutClick() {
    ShowAboutBox(this);
}

QPoint TsbChromeForm::HelpMenuPoint() const {
    return mapToGlobal(QPoint(ButtonHelp->x(), ButtonHelp->y() + ButtonHelp->height()));
}

void TsbChromeForm::ActionHelpExecute() {
    PopupMenuHelp->popup(HelpMenuPoint());
}

void TsbChromeForm::LabelMoreToolsClick() {
    ShellOpen(GetMoreToolsLink(ApplicationTitle()));
}
