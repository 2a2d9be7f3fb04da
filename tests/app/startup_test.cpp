// SPDX-License-Identifier: GPL-2.0-or-later
// Start-up and the chrome of the three large windows: the settings file,
// the title and icon, the art folder and the two layouts, the failures that
// leave a window without its art, and the welcome and finish windows' buttons.
#include "app/sbApplication.h"
#include "app/sbTermination.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/StarBurnImport.h"
#include "base/sbFrontEnd.h"
#include "forms/HelpLinkFuncs.h"
#include "forms/UtilFuncs.h"
#include "forms/sbProduct.h"
#include "pages/ufrmAbout.h"
#include "starburn/StarBurn.h"
#include "starburn/StarBurnLinux.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"
#include "ui/sbLinkLabel.h"
#include "ui/sbPageControl.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <thread>
#include <vector>

namespace {

QColor textColor(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

std::vector<TsbChromeForm*> chromeWindows(const TsbApplication& app) {
    return {app.Welcome(), app.Finish(), app.Main()};
}

QImage iconImage(const QIcon& icon) {
    return icon.pixmap(32, 32).toImage();
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

    std::unique_ptr<TTestProgram> m_program;

private slots:
    void init() { m_program = std::make_unique<TTestProgram>(); }

    void cleanup() { m_program.reset(); }

    void startsWithItsSettingsFile() {
        // Section and key names in any case, as INI files are read.
        m_program->Folder.WriteSettings(
            QStringLiteral("[system]\r\nNAME=Quennet\r\nversion=2.5 beta\r\n"
                           "res=\r\nSKIN=0\r\n"));
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;

        QCOMPARE(app.Title(), QStringLiteral("Quennet"));
        QCOMPARE(ApplicationTitle(), QStringLiteral("Quennet"));
        QCOMPARE(iconImage(app.Icon()), iconImage(QIcon(QStringLiteral(":/tavrin/a1.png"))));
        QVERIFY(TsbDialogs::Shown().empty());

        QVERIFY(app.Welcome() && app.About() && app.Finish() && app.Main());
        // The main window, created last, has set its texts into the two
        // windows created before it; its own caption is the title.
        QCOMPARE(app.Welcome()->WelcomeLabel->text(), QStringLiteral("Welcome to Tavrin"));
        QCOMPARE(app.Welcome()->windowTitle(), QStringLiteral("Tavrin"));
        QCOMPARE(app.Finish()->windowTitle(), QStringLiteral("Tavrin"));
        QCOMPARE(app.Finish()->CompleteLabel->text(), QStringLiteral("Completing the Tavrin"));
        QCOMPARE(app.Main()->windowTitle(), QStringLiteral("Quennet"));

        for (TsbChromeForm* w : chromeWindows(app)) {
            QCOMPARE(w->LabelVersion->text(), QStringLiteral("Version: 2.5 beta"));
            QCOMPARE(w->AppliedLayout(), 0);
            QVERIFY(w->HasFrameBitmap());
            QCOMPARE(w->size(), QSize(772, 547));
            QCOMPARE(w->ImageTopLogo->size(), QSize(120, 30));
            QCOMPARE(w->ImageLeftLogo->size(), QSize(150, 200));
            QCOMPARE(w->ButtonNext->size(), QSize(88, 28));
            QVERIFY(!w->isVisible());
        }

        // Run shows the welcome window; Cancel there ends the program.
        QTimer::singleShot(0, [&app] {
            QVERIFY(app.Welcome()->isVisible());
            QTest::mouseClick(app.Welcome()->ButtonClose, Qt::LeftButton);
        });
        QCOMPARE(app.Run(), 0);
        QVERIFY(app.Terminated());
        QVERIFY(!app.Welcome()->isVisible());
        QVERIFY(!app.Main()->LibraryStarted());
    }

    void startsWithoutSettingsFile() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        QCOMPARE(app.Title(), QString());
        QCOMPARE(iconImage(app.Icon()), iconImage(QIcon(QStringLiteral(":/tavrin/tavrin.png"))));
        QVERIFY(TsbDialogs::Shown().empty());
        for (TsbChromeForm* w : chromeWindows(app)) {
            QCOMPARE(w->LabelVersion->text(), QStringLiteral("Version: "));
            QCOMPARE(w->AppliedLayout(), 0);
            QVERIFY(w->HasFrameBitmap());
            QCOMPARE(textColor(w->LabelVersion), QColor(0x80, 0x80, 0x80));
        }
    }

    void libraryVersionWarningGoesToAWarningBox() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        QVERIFY(TsbDialogs::Shown().empty()); // the library in use has the expected version
        QVERIFY(!CheckStarBurnVersion(0x20080821));
        const auto warnings = TsbDialogs::ShownMessages(TsbMsgKind::mkWarning);
        QCOMPARE(warnings.size(), size_t(1));
        QCOMPARE(warnings[0].Text,
                 QStringLiteral("StarBurn : Invalid StarBurn.dll version : 0x20080821. "
                                "Expected : 0x20080820"));
        QCOMPARE(warnings[0].Caption, QString());
    }

    // A box raised on a worker (a log that failed under the burn thread) is
    // shown by the window thread, and the worker does not wait for its OK:
    // here the main thread joins the worker before it processes any event.
    void aBoxFromAWorkerThreadDoesNotHoldTheWorker() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        std::thread worker([] {
            ShowMessageBox("The log cannot be written", "Diagnostic log",
                           TsbMessageBoxKind::mbkWarning);
        });
        worker.join();
        QTRY_COMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkWarning).size(), size_t(1));
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkWarning)[0].Text,
                 QStringLiteral("The log cannot be written"));
    }

    // SIGTERM (or Ctrl-C) during a write: the write is cancelled and has
    // ended before the program is told to end. Without the handler the
    // signal would end this test process at once.
    void terminationSignalEndsTheWritesBeforeTheProgram() {
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("recorders.ini"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Virtual]\nTimeFactor = 0\nBuiltInRecorders = no\n"
                   "[Libburn]\nRealDrives = no\n"
                   "[Recorder slow]\nDeviceName = CdRom0\nDisc = CD-R\nWriteLimit = 1000000\n");
        file.close();
        QFile image(dir.filePath(QStringLiteral("image.iso")));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(8 * 1048576, 'i'));
        image.close();
        qputenv("STARBURN_STATE_DIR", dir.filePath(QStringLiteral("state")).toLocal8Bit());
        char text[512] = {};
        QCOMPARE(StarBurn_UpStartEx(config.toLocal8Bit().constData(), text, sizeof text), 0);
        void* grabber = nullptr;
        uint32_t status = 0;
        uint8_t failure[64] = {};
        QCOMPARE(StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, failure,
                                                     nullptr, nullptr, "CdRom0", 0),
                 0);
        std::atomic<int> written{-1};
        const QByteArray path = image.fileName().toLocal8Bit();
        std::thread writer([&] {
            char t[512] = {};
            uint32_t s = 0;
            uint8_t f[64] = {};
            written = StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile(
                grabber, t, sizeof t, &s, f, path.constData(), 1, 0, 0, 0, 5);
        });
        QTest::qWait(300); // the write of 8 MB at 1 MB/s is under way
        int atTheEnd = -2;
        {
            TsbTerminationSignals termination([&] { atTheEnd = written.load(); });
            ::raise(SIGTERM);
            QTRY_VERIFY_WITH_TIMEOUT(atTheEnd != -2, 5000);
        }
        writer.join();
        QCOMPARE(atTheEnd, int(SB_EXCEPTION_CANCELLED));
        StarBurn_Destroy(&grabber);
        StarBurn_DownShut();
        qunsetenv("STARBURN_STATE_DIR");
    }

    void iconFollowsTheTitleExactly() {
        QCOMPARE(iconImage(ApplicationIconFor(QStringLiteral("Dorvash"))),
                 iconImage(QIcon(QStringLiteral(":/tavrin/a2.png"))));
        QCOMPARE(iconImage(ApplicationIconFor(QStringLiteral("quennet"))),
                 iconImage(QIcon(QStringLiteral(":/tavrin/tavrin.png"))));
        QVERIFY(iconImage(ApplicationIconFor(QStringLiteral("Quennet"))) !=
                iconImage(ApplicationIconFor(QStringLiteral("Dorvash"))));
    }

    void layoutOfEachSkinValue_data() {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<int>("layout");
        QTest::newRow("0") << QStringLiteral("0") << 0;
        QTest::newRow("1") << QStringLiteral("1") << 1;
        QTest::newRow("2") << QStringLiteral("2") << -1;
        QTest::newRow("not a number") << QStringLiteral("wide") << -2;
    }

    void layoutOfEachSkinValue() {
        QFETCH(QString, skin);
        QFETCH(int, layout);
        m_program->Folder.WriteSettings(
            QStringLiteral("[SYSTEM]\nName=Tavrin\nVersion=3.1\nRes=2\nSkin=") + skin +
            QLatin1Char('\n'));
        m_program->Folder.WriteArt(QStringLiteral("2"), {840, 620});
        TsbApplication app;

        for (TsbChromeForm* w : chromeWindows(app)) {
            // The version label is set before the layout is read.
            QCOMPARE(w->LabelVersion->text(), QStringLiteral("Version: 3.1"));
            QCOMPARE(w->AppliedLayout(), layout < -1 ? -1 : layout);
        }
        TfrmWelcome* welcome = app.Welcome();
        TfrmFinish* finish = app.Finish();
        TMainForm* main = app.Main();
        const QColor grey(0x80, 0x80, 0x80);

        if (layout == -2) {
            // No art at all, one error box per window, with the error's text.
            const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
            QCOMPARE(errors.size(), size_t(3));
            for (const auto& e : errors) {
                QCOMPARE(e.Text, QStringLiteral("'wide' is not a valid integer value"));
            }
            for (TsbChromeForm* w : chromeWindows(app)) {
                QVERIFY(!w->HasFrameBitmap());
                QVERIFY(w->ImageTopLogo->pixmap().isNull());
                QVERIFY(!w->ButtonNext->HasPictures());
            }
            return;
        }
        QVERIFY(TsbDialogs::Shown().empty());
        for (TsbChromeForm* w : chromeWindows(app)) {
            QCOMPARE(w->size(), QSize(840, 620));
            QVERIFY(w->ButtonHelp->HasPictures());
        }
        if (layout == 1) {
            for (TsbChromeForm* w : chromeWindows(app)) {
                QCOMPARE(w->ButtonMin->pos(), QPoint(766, 3));
                QCOMPARE(w->ButtonExit->pos(), QPoint(794, 3));
                QCOMPARE(w->ButtonHelp->pos(), QPoint(25, 566));
                QCOMPARE(w->ButtonAbout->pos(), QPoint(120, 566));
                QCOMPARE(w->ButtonPrev->pos(), QPoint(400, 566));
                QCOMPARE(w->ButtonNext->pos(), QPoint(495, 566));
                QCOMPARE(w->ButtonClose->pos(), QPoint(730, 566));
                QCOMPARE(textColor(w->LabelVersion), QColor(Qt::white));
                QCOMPARE(textColor(w->LabelMoreTools), QColor(Qt::white));
                QCOMPARE(w->ImageLeftLogo->pos(), QPoint(20, 128));
                QCOMPARE(w->ImageTopLogo->pos(), QPoint(10, 1));
            }
            QCOMPARE(main->pcBurner->pos(), QPoint(240, 110));
            QCOMPARE(main->LabelTitle->pos(), QPoint(252, 70));
            QCOMPARE(main->LabelSubTitle->pos(), QPoint(260, 87));
            QCOMPARE(welcome->PanelMain->pos(), QPoint(270, 90));
            QCOMPARE(finish->CompleteLabel->pos(), QPoint(270, 90));
            QCOMPARE(finish->DescriptionLabel->pos(), QPoint(270, 160));
            return;
        }
        // Layout 0 and the design layout place the same; 2 keeps the design grey.
        for (TsbChromeForm* w : chromeWindows(app)) {
            QCOMPARE(w->ButtonMin->pos(), QPoint(696, 4));
            QCOMPARE(w->ButtonExit->pos(), QPoint(728, 4));
            QCOMPARE(w->ButtonHelp->pos(), QPoint(40, 510));
            QCOMPARE(w->ButtonAbout->pos(), QPoint(138, 510));
            QCOMPARE(w->ButtonPrev->pos(), QPoint(426, 510));
            QCOMPARE(w->ButtonNext->pos(), QPoint(522, 510));
            QCOMPARE(w->ButtonClose->pos(), QPoint(672, 510));
            QCOMPARE(textColor(w->LabelVersion), grey);
            QCOMPARE(textColor(w->LabelMoreTools), grey);
            QCOMPARE(w->ImageLeftLogo->pos(), QPoint(10, 128));
            QCOMPARE(w->LabelVersion->geometry().topLeft(), QPoint(24, 368));
            QCOMPARE(w->LabelMoreTools->geometry().topLeft(), QPoint(24, 384));
        }
        QCOMPARE(main->pcBurner->pos(), QPoint(200, 80));
        QCOMPARE(welcome->PanelMain->pos(), QPoint(232, 96));
        QCOMPARE(finish->CompleteLabel->pos(), QPoint(240, 104));
        QCOMPARE(finish->DescriptionLabel->pos(), QPoint(240, 160));
    }

    void missingArtFolderGivesThreeErrorBoxes() {
        m_program->Folder.WriteSettings(
            QStringLiteral("[SYSTEM]\nName=Tavrin\nVersion=1\nRes=9\n"));
        TsbApplication app;
        const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), size_t(3));
        for (const auto& e : errors) {
            QVERIFY2(e.Text.contains(m_program->Folder.Path() +
                                     QStringLiteral("sounds/ISORes9/toplogo.png")),
                     qPrintable(e.Text));
        }
        // The windows work without their art.
        TfrmWelcome* welcome = app.Welcome();
        QCOMPARE(welcome->LabelVersion->text(), QStringLiteral("Version: 1"));
        welcome->show();
        QVERIFY(QTest::qWaitForWindowExposed(welcome));
        QTest::mouseClick(welcome->ButtonNext, Qt::LeftButton);
        QVERIFY(app.Main()->isVisible());
        QVERIFY(!welcome->isVisible());
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(3));
    }

    void aMissingLaterFileStopsTheRestOfTheArt() {
        m_program->Folder.WriteArt({}, {772, 547}, {"close_2.bmp"});
        TsbApplication app;
        const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), size_t(3));
        QVERIFY(errors[0].Text.contains(QStringLiteral("close_2.bmp")));
        for (TsbChromeForm* w : chromeWindows(app)) {
            // What came before the missing file is there; nothing after it.
            QVERIFY(!w->ImageTopLogo->pixmap().isNull());
            QVERIFY(w->HasFrameBitmap());
            QVERIFY(w->ButtonMin->HasPictures());
            QVERIFY(w->ButtonExit->HasPictures()); // close_1 came before close_2
            QVERIFY(w->ButtonExit->Picture(TsbImageButton::bpOver).isNull());
            QVERIFY(!w->ButtonHelp->HasPictures());
            QCOMPARE(w->AppliedLayout(), -1);
        }
    }

    void welcomeNextBackCancel() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TfrmWelcome* welcome = app.Welcome();
        TMainForm* main = app.Main();
        QVERIFY(!welcome->ButtonPrev->isEnabled());
        QCOMPARE(welcome->ButtonNext->text(), QStringLiteral("Next"));
        QCOMPARE(welcome->ButtonClose->text(), QStringLiteral("Cancel"));

        welcome->move(123, 77);
        welcome->show();
        QVERIFY(QTest::qWaitForWindowExposed(welcome));
        // Back is off: pressing it changes nothing.
        QTest::mouseClick(welcome->ButtonPrev, Qt::LeftButton);
        QVERIFY(welcome->isVisible());
        QVERIFY(!main->isVisible());

        // Next: the main window takes the welcome window's place.
        QTest::mouseClick(welcome->ButtonNext, Qt::LeftButton);
        QVERIFY(main->isVisible());
        QVERIFY(!welcome->isVisible());
        QCOMPARE(main->pos(), QPoint(123, 77));
        QVERIFY(main->DoubleBuffered());
        QVERIFY(!app.Terminated());

        // The title-area close button ends the program like Cancel.
        main->hide();
        welcome->show();
        QTest::mouseClick(welcome->ButtonExit, Qt::LeftButton);
        QVERIFY(app.Terminated());
        QVERIFY(!welcome->isVisible());
    }

    void finishTextsAndFinishButton() {
        QCOMPARE(FinishOutcomeText(true, false),
                 QStringLiteral("Tavrin has successfully finished!"));
        QCOMPARE(FinishOutcomeText(true, true), QStringLiteral("Burning was canceled by user!"));
        QCOMPARE(FinishOutcomeText(false, true), QStringLiteral("Burning was canceled by user!"));
        QCOMPARE(FinishOutcomeText(false, false), QStringLiteral("Tavrin has finished with error"));

        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TfrmFinish* finish = app.Finish();
        QVERIFY(!finish->ButtonPrev->isEnabled());
        QVERIFY(!finish->ButtonClose->isEnabled());
        QCOMPARE(finish->ButtonNext->text(), QStringLiteral("Finish"));
        finish->show();
        QVERIFY(QTest::qWaitForWindowExposed(finish));
        QTest::mouseClick(finish->ButtonClose, Qt::LeftButton);
        QVERIFY(!app.Terminated());
        QTest::mouseClick(finish->ButtonNext, Qt::LeftButton);
        QVERIFY(app.Terminated());
        QVERIFY(!finish->isVisible());
    }

    void closingTheFinishWindowAnyWayEndsTheProgram() {
        m_program->Folder.WriteArt({}, {772, 547});
        {
            TsbApplication app;
            app.Finish()->show();
            QTest::mouseClick(app.Finish()->ButtonExit, Qt::LeftButton);
            QVERIFY(app.Terminated());
        }
        {
            TsbApplication app;
            app.Finish()->show();
            QVERIFY(app.Finish()->close()); // as the window manager would
            QVERIFY(app.Terminated());
        }
    }

    void helpMenuAndLinksOpenTheTitlesPages() {
        m_program->Folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Tavrin\n"));
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        for (TsbChromeForm* w : chromeWindows(app)) {
            m_program->Opened.clear();
            w->show();
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keyClick(w, Qt::Key_F1);
            QCOMPARE(m_program->Opened.size(), size_t(1));
            QCOMPARE(m_program->Opened[0].toString(), GetHelpContentLink(QStringLiteral("Tavrin")));

            QTest::mouseClick(w->LabelMoreTools, Qt::LeftButton);
            QCOMPARE(m_program->Opened.back().toString(),
                     GetMoreToolsLink(QStringLiteral("Tavrin")));
            w->ActionQuickStart->trigger();
            w->ActionHomePage->trigger();
            w->ActionMoreRelatedTools->trigger();
            w->ActionCheckforUpdates->trigger();
            w->ActionContactTechnicalSupport->trigger();
            QCOMPARE(m_program->Opened.size(), size_t(7));
            QCOMPARE(m_program->Opened[2].toString(), GetVideoDemosLink(QStringLiteral("Tavrin")));
            QCOMPARE(m_program->Opened[3].toString(), GetHomePageLink(QStringLiteral("Tavrin")));
            QCOMPARE(m_program->Opened[5].toString(), GetUpdatesLink(QStringLiteral("Tavrin")));
            QCOMPARE(m_program->Opened[6].toString(), GetSupportLink(QStringLiteral("Tavrin")));

            // Help pops the menu up just below the Help button.
            QTest::mouseClick(w->ButtonHelp, Qt::LeftButton);
            QTRY_VERIFY(w->PopupMenuHelp->isVisible());
            const QPoint below =
                w->mapToGlobal(w->ButtonHelp->geometry().bottomLeft() + QPoint(0, 1));
            QCOMPARE(w->HelpMenuPoint(), below);
            // The menu sits there unless the screen's edge pushes it up.
            QCOMPARE(w->PopupMenuHelp->x(), below.x());
            w->PopupMenuHelp->hide();

            // About, from the button and from the menu, shows the about box modally.
            TsbDialogs::ClearShown();
            QTest::mouseClick(w->ButtonAbout, Qt::LeftButton);
            w->ActionAbout->trigger();
            QCOMPARE(TsbDialogs::Shown().size(), size_t(2));
            QCOMPARE(TsbDialogs::Shown()[0].DialogType, TsbShownDialog::Type::dtModalWindow);
            QCOMPARE(TsbDialogs::Shown()[0].Text, QStringLiteral("frmAbout"));
            QCOMPARE(TsbDialogs::Shown()[0].Caption, QStringLiteral("About Tavrin"));
            w->hide();
        }
        const QStringList items = [&] {
            QStringList names;
            for (QAction* a : app.Welcome()->PopupMenuHelp->actions()) {
                names << (a->isSeparator() ? QStringLiteral("-") : a->text());
            }
            return names;
        }();
        QCOMPARE(items, (QStringList{"Help Content", "Quick Start...", "-", "Home Page",
                                     "More Related Tools...", "-", "Check for Updates...",
                                     "Contact Technical Support...", "-", "About"}));
    }

    void aTitleWithoutLinksOpensNothing() {
        m_program->Folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Unknown Product\n"));
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        app.Welcome()->ActionHelpContent->trigger();
        app.Welcome()->ActionHomePage->trigger();
        QTest::mouseClick(app.Welcome()->LabelMoreTools, Qt::LeftButton);
        QVERIFY(m_program->Opened.empty());
        QVERIFY(TsbDialogs::Shown().empty());
    }

    void bothLogosDragTheWindowAlike() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TfrmWelcome* w = app.Welcome();
        w->move(50, 60);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        for (QLabel* logo : {w->ImageTopLogo, w->ImageLeftLogo}) {
            const QPoint before = w->pos();
            QTest::mousePress(logo, Qt::LeftButton, {}, QPoint(3, 3));
            QVERIFY(w->Dragging());
            QMouseEvent move(QEvent::MouseMove, QPointF(3, 3),
                             QPointF(logo->mapToGlobal(QPoint(3, 3)) + QPoint(17, -9)),
                             Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(logo, &move);
            QTest::mouseRelease(logo, Qt::LeftButton, {}, QPoint(3, 3));
            QCOMPARE(w->pos(), before + QPoint(17, -9));
        }
    }

    void minimiseMinimisesTheVisibleWindows() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        app.Welcome()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.Welcome()));
        app.Finish()->show();
        const auto minimized = app.Minimize();
        QCOMPARE(minimized.size(), size_t(2));
        QVERIFY(std::find(minimized.begin(), minimized.end(), app.Welcome()) != minimized.end());
        QVERIFY(std::find(minimized.begin(), minimized.end(), app.Finish()) != minimized.end());
        // The button does the same; the hidden main window is left alone.
        app.Finish()->hide();
        QTest::mouseClick(app.Welcome()->ButtonMin, Qt::LeftButton);
        QVERIFY(!app.Main()->isVisible());
    }

    void everyControlCarriesItsName() {
        m_program->Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        const char* const shared[] = {"ImageTopLogo",   "ImageLeftLogo", "LabelVersion",
                                      "LabelMoreTools", "ButtonMin",     "ButtonExit",
                                      "ButtonHelp",     "ButtonAbout",   "ButtonPrev",
                                      "ButtonNext",     "ButtonClose",   "PopupMenuHelp"};
        for (TsbChromeForm* w : chromeWindows(app)) {
            for (const char* name : shared) {
                QVERIFY2(w->findChild<QWidget*>(QString::fromLatin1(name)), name);
            }
            QVERIFY(w->findChild<QAction*>(QStringLiteral("ActionHelpContent")));
        }
        for (const char* name : {"PanelMain", "WelcomeLabel", "DescriptionLabel", "lblPressNext"}) {
            QVERIFY2(app.Welcome()->findChild<QWidget*>(QString::fromLatin1(name)), name);
        }
        for (const char* name : {"CompleteLabel", "DescriptionLabel"}) {
            QVERIFY2(app.Finish()->findChild<QWidget*>(QString::fromLatin1(name)), name);
        }
        for (const char* name :
             {"pcBurner", "ts0", "ts6", "pnlTs0", "pnlFinalPage", "pnlTs2", "pnlTs3", "pnlTs4",
              "pnlTs5", "pnlTs6", "LabelTitle", "LabelSubTitle"}) {
            QVERIFY2(app.Main()->findChild<QWidget*>(QString::fromLatin1(name)), name);
        }
        QCOMPARE(app.Main()->pcBurner->PageCount(), 7);
        QCOMPARE(app.Main()->Panels[1]->parentWidget(), app.Main()->pcBurner->Page(1));
    }
};

QTEST_MAIN(TestStartup)
#include "startup_test.moc"
