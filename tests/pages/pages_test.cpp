// SPDX-License-Identifier: GPL-2.0-or-later
// The about box, the help links and the operation progress window.
#include "app/sbApplication.h"
#include "base/sbFrontEnd.h"
#include "base/sbLogger.h"
#include "forms/HelpLinkFuncs.h"
#include "forms/UtilFuncs.h"
#include "forms/sbProduct.h"
#include "pages/ufrmAbout.h"
#include "pages/ufrmOperationProgress.h"
#include "platform/sbRegistry.h"
#include "tests/support/TestProgram.h"
#include "ui/sbAnimate.h"
#include "ui/sbDialogs.h"
#include "ui/sbLinkLabel.h"

#include <QDate>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <memory>
#include <vector>

class TestPages : public QObject {
    Q_OBJECT

    std::unique_ptr<TTestProgram> m_program;

private slots:
    void init() { m_program = std::make_unique<TTestProgram>(); }

    void cleanup() {
        SetApplicationTitle({});
        RemoveFrontEndHooks();
        m_program.reset();
    }

    void helpLinkTableHasSixRowsOnTwoSites() {
        QCOMPARE(HelpLinkTitleCount(), 6);
        QSet<QString> titles;
        QSet<QString> homes;
        QSet<QString> supports;
        for (int row = 0; row < HelpLinkTitleCount(); ++row) {
            const QString title = HelpLinkTitle(row);
            titles << title;
            homes << GetHomePageLink(title);
            supports << GetSupportLink(title);
            for (int kind = 0; kind < 6; ++kind) {
                const QString link = GetHelpLink(static_cast<THelpLinkKind>(kind), title);
                QVERIFY2(ShellOpenAllowed(link), qPrintable(title + QStringLiteral(": ") + link));
            }
            // The product's own pages differ from its neighbours'.
            QVERIFY(GetHelpContentLink(title) != GetVideoDemosLink(title));
        }
        QCOMPARE(titles.size(), 6);
        QVERIFY(titles.contains(QStringLiteral("Tavrin")));
        // One home page and one support address per site.
        QCOMPARE(homes.size(), 2);
        QCOMPARE(supports.size(), 2);
        QCOMPARE(HelpLinkTitle(6), QString());
    }

    void lookupIsExactAndCaseSensitive() {
        QCOMPARE(GetHomePageLink(QStringLiteral("Tavrin")),
                 QStringLiteral("https://tavrin.example.org/"));
        QCOMPARE(GetHomePageLink(QStringLiteral("tavrin")), QString());
        QCOMPARE(GetHelpContentLink(QStringLiteral("Tavrin ")), QString());
        QCOMPARE(GetSupportLink(QString()), QString());
        QCOMPARE(GetMoreToolsLink(QStringLiteral("Korvath ISO Burner")),
                 QStringLiteral("https://korvath.example.net/free-tools/?ref=iso-burner"));
        QCOMPARE(GetSupportLink(QStringLiteral("Velmar Image Writer")),
                 QStringLiteral("mailto:support@korvath.example.net"));
    }

    void aboutBoxFirstAndSecondShowing() {
        SetApplicationTitle(QStringLiteral("Tavrin"));
        m_program->Folder.WriteSettings(
            QStringLiteral("[SYSTEM]\nVersion=1.4.2\nCopyright=Tavrin Labs\n"));
        TfrmAbout about;
        QCOMPARE(about.size(), QSize(385, 159));
        QCOMPARE(about.LabelVersion->text(), QStringLiteral("%1"));

        QCOMPARE(TsbDialogs::ExecModal(about), int(QDialog::Accepted));
        const int year = QDate::currentDate().year();
        QCOMPARE(about.windowTitle(), QStringLiteral("About Tavrin"));
        QCOMPARE(about.lblAppName->text(), QStringLiteral("Tavrin"));
        QCOMPARE(about.LabelVersion->text(), QStringLiteral("1.4.2"));
        QCOMPARE(about.LabelCopyright->text(),
                 AboutCopyrightText(year, QStringLiteral("Tavrin Labs")));
        QVERIFY(about.LabelCopyright->text().contains(QString::number(year)));
        QCOMPARE(about.LabelWeb->text(), GetHomePageLink(QStringLiteral("Tavrin")));
        QCOMPARE(about.LabelSupportEmail->text(), GetSupportLink(QStringLiteral("Tavrin")));
        QVERIFY(!about.Image1->pixmap().isNull());

        // A second showing keeps what the first one made, even when the
        // settings file has changed meanwhile.
        m_program->Folder.WriteSettings(
            QStringLiteral("[SYSTEM]\nVersion=9%d\nCopyright=Else %s\n"));
        TsbDialogs::ExecModal(about);
        QCOMPARE(about.LabelVersion->text(), QStringLiteral("1.4.2"));
        QCOMPARE(about.LabelCopyright->text(),
                 AboutCopyrightText(year, QStringLiteral("Tavrin Labs")));

        // The links open their pages; OK closes the box.
        about.show();
        QTest::mouseClick(about.LabelWeb, Qt::LeftButton);
        QTest::mouseClick(about.LabelSupportEmail, Qt::LeftButton);
        QCOMPARE(m_program->Opened.size(), size_t(2));
        QCOMPARE(m_program->Opened[0].toString(), GetHomePageLink(QStringLiteral("Tavrin")));
        QCOMPARE(m_program->Opened[1].toString(), GetSupportLink(QStringLiteral("Tavrin")));
        QTest::mouseClick(about.Button1, Qt::LeftButton);
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void aboutBoxWithoutSettingsOrLinks() {
        SetApplicationTitle(QStringLiteral("Nobody's Product"));
        TfrmAbout about;
        TsbDialogs::ExecModal(about);
        QCOMPARE(about.LabelVersion->text(), QString());
        QCOMPARE(about.LabelCopyright->text(),
                 AboutCopyrightText(QDate::currentDate().year(), QString()));
        QCOMPARE(about.LabelWeb->text(), QString());
        QCOMPARE(about.LabelSupportEmail->text(), QString());
        about.show();
        QTest::mouseClick(about.LabelWeb, Qt::LeftButton);
        QVERIFY(m_program->Opened.empty());
        QVERIFY(TsbDialogs::ShownMessages(TsbMsgKind::mkError).empty());
    }

    void aboutBoxSaysWhereTheLogAndTheDiscsAre() {
        SetApplicationTitle(QStringLiteral("Tavrin"));
        TfrmAbout about;
        TsbDialogs::ExecModal(about);
        const QString help = about.toolTip();
        QVERIFY2(help.contains(QString::fromStdString(Logger().LogFileName())), qPrintable(help));
        QVERIFY2(help.contains(QString::fromStdString(platform::RegistryFilePath())),
                 qPrintable(help));
        QVERIFY(help.contains(QStringLiteral("~/.local/share/tavrin/starburn/")));
    }

    void aboutLinksShowTheHandCursor() {
        SetApplicationTitle(QStringLiteral("Tavrin"));
        TfrmAbout about;
        about.show();
        emit about.LabelWeb->mouseEntered();
        QCOMPARE(about.cursor().shape(), Qt::PointingHandCursor);
        emit about.LabelWeb->mouseLeft();
        QCOMPARE(about.cursor().shape(), Qt::ArrowCursor);
        emit about.LabelSupportEmail->mouseEntered();
        QCOMPARE(about.cursor().shape(), Qt::PointingHandCursor);
    }

    void progressCancelWithoutHandlerChangesNothing() {
        TfrmOperationProgress progress;
        QCOMPARE(progress.size(), QSize(371, 161));
        QVERIFY(progress.lblInfo->text().isEmpty());
        QVERIFY(!progress.IsShown());
        progress.show();
        QVERIFY(QTest::qWaitForWindowExposed(&progress));
        QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
        QVERIFY(progress.btnCancel->isEnabled());
        QVERIFY(progress.lblCancelling->isHidden());
    }

    void progressCancelRunsTheHandlerOnce() {
        TfrmOperationProgress progress;
        int cancels = 0;
        TfrmOperationProgress* sender = nullptr;
        progress.OnCancel = [&](TfrmOperationProgress* s) {
            ++cancels;
            sender = s;
        };
        progress.show();
        QVERIFY(QTest::qWaitForWindowExposed(&progress));
        QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
        QTest::mouseClick(progress.btnCancel, Qt::LeftButton);
        QCOMPARE(cancels, 1);
        QCOMPARE(sender, &progress);
        QVERIFY(!progress.btnCancel->isEnabled());
        QVERIFY(progress.lblCancelling->isVisible());
        QCOMPARE(progress.lblCancelling->text(), QStringLiteral("Cancelling..."));
    }

    void progressWindowThroughTheEngineFactory() {
        InstallFrontEndHooks();
        std::unique_ptr<IsbProgressWindow> window = CreateProgressWindow();
        QVERIFY(window);
        TfrmOperationProgress* form = CurrentProgressWindow();
        QVERIFY(form);
        window->SetCaption("Scanning devices");
        window->SetCancelVisible(true);
        window->SetInfoText("Tavrin is scanning your system for CD and DVD devices.");
        int cancels = 0;
        window->SetOnCancel([&] { ++cancels; });
        QCOMPARE(form->windowTitle(), QStringLiteral("Scanning devices"));
        QCOMPARE(form->lblInfo->text(),
                 QStringLiteral("Tavrin is scanning your system for CD and DVD devices."));

        window->Show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        QVERIFY(form->IsShown());
        QVERIFY(form->btnCancel->isVisible());
        // The clip plays its first four frames over and over.
        QVERIFY(form->Animate->Active());
        QCOMPARE(form->Animate->FrameCount(), 30);
        QCOMPARE(form->Animate->FrameSize(), QSize(352, 18));
        QCOMPARE(form->Animate->StartFrame(), 1);
        QCOMPARE(form->Animate->StopFrame(), 4);
        QCOMPARE(form->Animate->Interval(), 20);
        QTRY_COMPARE(form->Animate->CurrentFrame(), 4);
        QTRY_COMPARE(form->Animate->CurrentFrame(), 1);

        QTest::mouseClick(form->btnCancel, Qt::LeftButton);
        QCOMPARE(cancels, 1);

        window->SetCancelVisible(false);
        QVERIFY(!form->btnCancel->isVisible());
        window->Hide();
        QVERIFY(!form->IsShown());
        QVERIFY(!form->Animate->Active());
        window.reset();
        QCOMPARE(CurrentProgressWindow(), nullptr);

        RemoveFrontEndHooks();
        QVERIFY(!CreateProgressWindow());
    }

    void progressWindowStaysInFrontWhileShown() {
        QWidget other;
        other.setWindowTitle(QStringLiteral("other"));
        other.resize(200, 100);
        other.show();
        TfrmOperationProgress progress;
        progress.show();
        progress.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&progress));

        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&progress));

        progress.hide();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);
        QTest::qWait(20);
        QCOMPARE(QApplication::activeWindow(), &other);
    }

    void progressWindowRefusesToBeClosed() {
        TfrmOperationProgress progress;
        progress.show();
        QVERIFY(!progress.close());
        QVERIFY(progress.isVisible());
        progress.hide();
        QVERIFY(!progress.isVisible());
    }
};

QTEST_MAIN(TestPages)
#include "pages_test.moc"
