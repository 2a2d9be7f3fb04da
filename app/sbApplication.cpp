// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/sbApplication.h"

#include "forms/sbTexts.h"

#include "app/sbTermination.h"

#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/StarBurnImport.h"
#include "base/sbCallBack.h"
#include "base/sbFrontEnd.h"
#include "base/sbLogger.h"
#include "engine/sbLog.h"
#include "forms/UtilFuncs.h"
#include "forms/sbDesktopInhibit.h"
#include "forms/sbIniFile.h"
#include "forms/sbProduct.h"
#include "forms/sbReportSaver.h"
#include "pages/ufrmAbout.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmOperationProgress.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"
#include "ui/sbTextFit.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QMetaObject>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <utility>

namespace {

TsbApplication* g_instance = nullptr;

} // namespace

void ShowAboutBox(QWidget* owner) {
    if (g_instance && g_instance->About()) {
        TsbDialogs::ExecModal(*g_instance->About());
        return;
    }
    TfrmAbout about(owner);
    TsbDialogs::ExecModal(about);
}

void LoadTahomaIfMissing() {
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        return;
    }
    // Wine's fonts (Debian's fonts-wine) have Tahoma's metrics, which every
    // control's size was measured in.
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"}) {
        QFontDatabase::addApplicationFont(QStringLiteral("/usr/share/wine/fonts/") +
                                          QString::fromLatin1(file));
    }
}

void ApplyApplicationStyle() {
    // The windows are laid out for Tahoma and Verdana; where they are not
    // installed, the closest fonts of the desktop stand in, and a text that
    // needs more room than it was given takes it.
    LoadTahomaIfMissing();
    sbInstallTextFitter();
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Noto Sans"), QStringLiteral("Sans Serif")});
    QFont::insertSubstitutions(
        QStringLiteral("Verdana"),
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans"), QStringLiteral("Sans Serif")});
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    QApplication::setFont(tahoma);
}

void InstallFrontEndHooks() {
    SetProcessMessagesHook([] {
        if (QThread::currentThread() == qApp->thread()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
    });
    SetMessageBoxHook(
        [](const std::string& text, const std::string& caption, TsbMessageBoxKind kind) {
            const TsbMsgKind msgKind = kind == TsbMessageBoxKind::mbkError ? TsbMsgKind::mkError
                                       : kind == TsbMessageBoxKind::mbkWarning
                                           ? TsbMsgKind::mkWarning
                                           : TsbMsgKind::mkInformation;
            const QString qtext = QString::fromStdString(text);
            const QString qcaption = QString::fromStdString(caption);
            auto show = [=] { TsbDialogs::MessageBox(nullptr, qtext, qcaption, msgKind); };
            if (QThread::currentThread() == qApp->thread()) {
                show();
            } else {
                // A box belongs to the window thread. The worker does not wait
                // for the OK: a burn thread held up by a box (a log that
                // failed mid-write) would let the drive's buffer run dry.
                QMetaObject::invokeMethod(qApp, sbGuarded(nullptr, show), Qt::QueuedConnection);
            }
        });
    SetProgressWindowFactory([]() -> std::unique_ptr<IsbProgressWindow> {
        return std::make_unique<TsbProgressWindow>();
    });
    // Writes, verifications and erases keep the computer awake.
    SetInhibitBus(MakeDesktopInhibitBus());
}

void RemoveFrontEndHooks() {
    SetProcessMessagesHook(nullptr);
    SetMessageBoxHook(nullptr);
    SetProgressWindowFactory(nullptr);
    SetInhibitBus(nullptr);
}

TsbApplication* TsbApplication::Instance() {
    return g_instance;
}

TsbApplication::TsbApplication() {
    g_instance = this;
    // The front end answers the engine from the start: the library's version
    // check may already want a message box.
    // Every window's text is read in the user's language from the start.
    InstallTranslations();
    InstallFrontEndHooks();
    CheckStarBurnVersion();
    Logger();
    CallBackEventer();

    // The title and the icon it chooses.
    const TsbIniFile ini(ProductInfoFile());
    m_title = ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Name"));
    m_icon = ApplicationIconFor(m_title);
    SetApplicationTitle(m_title);

    // The framework's part: look, title, icon, hooks.
    ApplyApplicationStyle();
    // The title goes to the boxes without a caption of their own, not to
    // Qt's display name: that would be appended to every window's caption.
    TsbDialogs::SetDefaultCaption(m_title);
    QGuiApplication::setWindowIcon(m_icon);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    // Ctrl-C in the terminal or a SIGTERM from the session: running writes
    // are cancelled and awaited, then the program ends with 128 + 2.
    m_termination = std::make_unique<TsbTerminationSignals>([this] {
        m_terminated = true;
        QCoreApplication::exit(130);
    });

    // The windows, in this order; the welcome window is the main form.
    m_welcome = std::make_unique<TfrmWelcome>();
    m_about = std::make_unique<TfrmAbout>();
    m_finish = std::make_unique<TfrmFinish>();
    m_main = std::make_unique<TMainForm>();

    // A problem report tells what the user saw: the burning sheet's rows once
    // it has some, else the wizard log of the sheets so far. Every error box
    // offers one.
    SetReportLinesSource([this] {
        std::vector<std::string> lines;
        const QTreeWidget* rows = m_main && m_main->FinalPage ? m_main->FinalPage->lvLog : nullptr;
        for (int i = 0; rows != nullptr && i < rows->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = rows->topLevelItem(i);
            lines.push_back((row->text(1).isEmpty()
                                 ? row->text(0)
                                 : row->text(1) + QStringLiteral("  ") + row->text(0))
                                .toStdString());
        }
        for (int i = 0; lines.empty() && m_main && i < m_main->WizardLog().Count(); ++i) {
            lines.push_back(m_main->WizardLog().Items(i).LogMessage);
        }
        return lines;
    });
    TsbDialogs::SetErrorBoxButton(
        QCoreApplication::translate("TsbApplication", "Save Problem &Report..."),
        [](QWidget* parent) { SaveProblemReport(parent); });
}

TsbApplication::~TsbApplication() {
    // What the application owns goes in the reverse order of its creation:
    // the pages, then the main window (which frees the burner and shuts the
    // library down), the finish window, the about box, the welcome window.
    for (auto it = m_owned.rbegin(); it != m_owned.rend(); ++it) {
        delete it->data();
    }
    m_owned.clear();
    m_main.reset();
    m_finish.reset();
    m_about.reset();
    m_welcome.reset();
    m_termination.reset();
    RemoveFrontEndHooks();
    TsbDialogs::SetErrorBoxButton({}, nullptr);
    SetReportLinesSource(nullptr);
    TsbDialogs::SetDefaultCaption({});
    g_instance = nullptr;
}

int TsbApplication::Run() {
    if (m_terminated) {
        return 0;
    }
    m_welcome->show();
    // The keyboard starts here, with or without a window manager to say so.
    m_welcome->activateWindow();
    if (m_terminated) {
        return 0;
    }
    return QApplication::exec();
}

void TsbApplication::Terminate() {
    m_terminated = true;
    QCoreApplication::quit();
}

std::vector<QWidget*> TsbApplication::Minimize() {
    std::vector<QWidget*> minimized;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w->isVisible() && w->isWindow() && w->windowType() != Qt::Popup &&
            w->windowType() != Qt::ToolTip) {
            minimized.push_back(w);
        }
    }
    m_minimized.assign(minimized.begin(), minimized.end());
    for (QWidget* w : minimized) {
        w->showMinimized();
    }
    return minimized;
}

void TsbApplication::RestoreMinimized(QWidget* restored) {
    bool member = false;
    for (const auto& w : m_minimized) {
        member |= w == restored;
    }
    if (!member) {
        return;
    }
    // Taken first: each window restored here reports its own restore.
    const auto others = std::exchange(m_minimized, {});
    for (const auto& w : others) {
        if (w && w != restored && w->isMinimized()) {
            w->showNormal();
        }
    }
    restored->raise();
    restored->activateWindow();
}

TsbCommandLine ParseCommandLine(const QStringList& arguments, const QString& version) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "TsbApplication", "Burns a CD or DVD image file onto a disc, step by step."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("IMAGE"),
        QCoreApplication::translate("TsbApplication",
                                    "The image file to burn (the wizard starts with "
                                    "it filled in)."),
        QStringLiteral("[IMAGE]"));
    TsbCommandLine result;
    if (!parser.parse(arguments)) {
        result.Exit = true;
        result.ExitCode = 2;
        result.Output = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(help)) {
        result.Exit = true;
        result.Output = parser.helpText();
        return result;
    }
    if (parser.isSet(versionOption)) {
        result.Exit = true;
        result.Output = QStringLiteral("tavrin %1\n").arg(version);
        return result;
    }
    const QStringList images = parser.positionalArguments();
    if (images.size() > 1) {
        result.Exit = true;
        result.ExitCode = 2;
        result.Output =
            QCoreApplication::translate("TsbApplication", "tavrin: one image at a time\n");
        return result;
    }
    if (!images.isEmpty()) {
        result.Image = QFileInfo(images.first()).absoluteFilePath();
    }
    return result;
}

QString ChoosePlatform(const QStringList& arguments) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        arguments.contains(QStringLiteral("-platform")) ||
        arguments.contains(QStringLiteral("--platform"))) {
        return {};
    }
    const bool wayland =
        qgetenv("XDG_SESSION_TYPE") == "wayland" || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // XWayland is there when the session offers an X display.
    if (wayland && !qEnvironmentVariableIsEmpty("DISPLAY")) {
        return QStringLiteral("xcb");
    }
    return {};
}
