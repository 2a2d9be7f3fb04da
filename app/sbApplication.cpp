#include "app/sbApplication.h"

#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/StarBurnImport.h"
#include "base/sbCallBack.h"
#include "base/sbFrontEnd.h"
#include "base/sbLogger.h"
#include "forms/UtilFuncs.h"
#include "forms/sbIniFile.h"
#include "forms/sbProduct.h"
#include "pages/ufrmAbout.h"
#include "pages/ufrmOperationProgress.h"
#include "ui/sbDialogs.h"

#include <QApplication>
#include <QFont>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

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

void ApplyApplicationStyle() {
    // The windows are laid out for Tahoma and Verdana; where they are not
    // installed, the closest fonts of the desktop stand in.
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
                // A box belongs to the window thread; the worker waits for the answer.
                QMetaObject::invokeMethod(qApp, show, Qt::BlockingQueuedConnection);
            }
        });
    SetProgressWindowFactory([]() -> std::unique_ptr<IsbProgressWindow> {
        return std::make_unique<TsbProgressWindow>();
    });
}

void RemoveFrontEndHooks() {
    SetProcessMessagesHook(nullptr);
    SetMessageBoxHook(nullptr);
    SetProgressWindowFactory(nullptr);
}

TsbApplication* TsbApplication::Instance() {
    return g_instance;
}

TsbApplication::TsbApplication() {
    g_instance = this;
    // The front end answers the engine from the start: the library's version
    // check may already want a message box.
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
    QGuiApplication::setApplicationDisplayName(m_title);
    QGuiApplication::setWindowIcon(m_icon);
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The windows, in this order; the welcome window is the main form.
    m_welcome = std::make_unique<TfrmWelcome>();
    m_about = std::make_unique<TfrmAbout>();
    m_finish = std::make_unique<TfrmFinish>();
    m_main = std::make_unique<TMainForm>();
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
    RemoveFrontEndHooks();
    g_instance = nullptr;
}

int TsbApplication::Run() {
    if (m_terminated) {
        return 0;
    }
    m_welcome->show();
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
            w->showMinimized();
            minimized.push_back(w);
        }
    }
    return minimized;
}
