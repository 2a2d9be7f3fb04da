// SPDX-License-Identifier: GPL-2.0-or-later
// The shared routines of the windows: the settings reader, ShellOpen and its
// refusals, the busy cursor, the path helpers, and the page protocol of the
// main window's base and the page base.
#include "app/sbMainForm.h"
#include "base/sbError.h"
#include "engine/sbLibrarySession.h"
#include "engine/sbLog.h"
#include "forms/UtilFuncs.h"
#include "forms/sbDockForm.h"
#include "forms/sbIniFile.h"
#include "tests/support/TestArt.h"
#include "ui/sbDialogs.h"

#include <QApplication>
#include <QCursor>
#include <QTest>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

class TCountingPage : public TsbDockForm {
public:
    int Refreshes = 0;
    void RefreshPage() override { ++Refreshes; }
};

class TLoggingPage : public TsbDockForm {
public:
    TsbLog Log;
    TsbLog* GetPageLog() override { return &Log; }
};

// A library whose start and stop the test counts.
int g_upStarts = 0;
int g_downShuts = 0;
uint8_t g_upStartResult = 0;

uint8_t countingUpStart(const char*, char* text, uint32_t size) {
    ++g_upStarts;
    if (g_upStartResult != 0 && size > 0) {
        text[0] = 0;
    }
    return g_upStartResult;
}

void countingDownShut() {
    ++g_downShuts;
}

std::unique_ptr<TsbLibrarySession> countingSession() {
    g_upStarts = 0;
    g_downShuts = 0;
    g_upStartResult = 0;
    return std::make_unique<TsbLibrarySession>(
        TsbLibraryEntryPoints{&countingUpStart, &countingDownShut});
}

void addLine(TsbLog& log, const char* text, int owner, TsbLogItemType type = litInfo) {
    TsbLogItem& line = log.Add();
    line.LogMessage = text;
    line.PageOwner = owner;
    line.ItemType = type;
    line.LogTime = std::chrono::system_clock::now();
}

QStringList messages(const TsbLog& log) {
    QStringList result;
    for (int i = 0; i < log.Count(); ++i) {
        result << QString::fromStdString(log.Items(i).LogMessage);
    }
    return result;
}

class TCountingMainForm : public TsbMainForm {
public:
    int ButtonUpdates = 0;
    void UpdateButtons() override { ++ButtonUpdates; }
};

} // namespace

class TestUtil : public QObject {
    Q_OBJECT

private slots:
    void init() { TsbDialogs::BeginPresets(); }
    void cleanup() {
        SetShellOpenHandler(nullptr);
        SetApplicationFolder({});
        TsbDialogs::EndPresets();
    }

    void productFileReadsByTheIniRules() {
        TTestProgramFolder folder;
        folder.WriteSettings(QStringLiteral("\xEF\xBB\xBF; product\n"
                                            "orphan=ignored\n"
                                            "[System]\n"
                                            "  Name =  Tavrin Studio  \n"
                                            "name=Second\n"
                                            "Version=\"1.2 \"\n"
                                            "Empty=\n"
                                            "no equals sign\n"
                                            "[other]\n"
                                            "Name=Other\n"
                                            "[SYSTEM]\n"
                                            "Res=late\n"));
        const TsbIniFile ini(folder.Path() + QStringLiteral("product.ini"));
        QVERIFY(ini.SectionExists(QStringLiteral("system")));
        QVERIFY(ini.SectionExists(QStringLiteral("OTHER")));
        QVERIFY(!ini.SectionExists(QStringLiteral("missing")));
        // The last of two equal keys wins, as in every settings file.
        QCOMPARE(ini.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("NAME")),
                 QStringLiteral("Second"));
        QCOMPARE(ini.ReadString(QStringLiteral("other"), QStringLiteral("name")),
                 QStringLiteral("Other"));
        QCOMPARE(ini.ReadString(QStringLiteral("system"), QStringLiteral("version")),
                 QStringLiteral("1.2 "));
        QVERIFY(ini.ValueExists(QStringLiteral("system"), QStringLiteral("Empty")));
        QCOMPARE(
            ini.ReadString(QStringLiteral("system"), QStringLiteral("Empty"), QStringLiteral("d")),
            QString());
        QCOMPARE(
            ini.ReadString(QStringLiteral("system"), QStringLiteral("orphan"), QStringLiteral("d")),
            QStringLiteral("d"));
        // A section written twice adds to the first.
        QCOMPARE(ini.ReadString(QStringLiteral("system"), QStringLiteral("res")),
                 QStringLiteral("late"));

        const TsbIniFile missing(folder.Path() + QStringLiteral("nothing.ini"));
        QCOMPARE(missing.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Skin"),
                                    QStringLiteral("0")),
                 QStringLiteral("0"));
    }

    void strToIntAcceptsNumbersOnly() {
        QCOMPARE(StrToInt(QStringLiteral("0")), 0);
        QCOMPARE(StrToInt(QStringLiteral(" 1")), 1);
        QCOMPARE(StrToInt(QStringLiteral("-12")), -12);
        QCOMPARE(StrToInt(QStringLiteral("$1A")), 26);
        QCOMPARE(StrToInt(QStringLiteral("0x10")), 16);
        for (const char* bad : {"", "abc", "1.5", "2x", "99999999999", "-", "0x"}) {
            bool raised = false;
            try {
                StrToInt(QString::fromLatin1(bad));
            } catch (const std::exception& e) {
                raised = true;
                QCOMPARE(QString::fromUtf8(e.what()),
                         QStringLiteral("'%1' is not a valid integer value")
                             .arg(QString::fromLatin1(bad)));
            }
            QVERIFY2(raised, bad);
        }
    }

    void shellOpenHandsOnlyWebAndMailAddresses() {
        std::vector<QUrl> opened;
        SetShellOpenHandler([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        QVERIFY(ShellOpen(QStringLiteral("https://tavrin.example.org/help/")));
        QVERIFY(ShellOpen(QStringLiteral("http://korvath.example.net/")));
        QVERIFY(ShellOpen(QStringLiteral("mailto:support@korvath.example.net")));
        QVERIFY(ShellOpen(QStringLiteral("HTTPS://TAVRIN.EXAMPLE.ORG/")));
        QCOMPARE(opened.size(), size_t(4));
        QCOMPARE(opened[2].scheme(), QStringLiteral("mailto"));

        const char* const refused[] = {"",
                                       "   ",
                                       "file:///etc/passwd",
                                       "FILE:/home/user/image.iso",
                                       "/usr/bin/xterm",
                                       "xterm -e sh",
                                       "C:\\Windows\\notepad.exe",
                                       "..\\setup.exe",
                                       "javascript:alert(1)",
                                       "ftp://example.org/",
                                       "smb://server/share",
                                       "https://",
                                       "mailto:",
                                       "data:text/html,hi"};
        for (const char* target : refused) {
            QVERIFY2(!ShellOpen(QString::fromLatin1(target)), target);
        }
        QCOMPARE(opened.size(), size_t(4));
        QCOMPARE(BusyCursorCount(), 0);
        QVERIFY(TsbDialogs::Shown().empty());
    }

    void shellOpenEndsTheBusyCursorWhenTheDesktopFails() {
        int busyInside = -1;
        SetShellOpenHandler([&](const QUrl&) -> bool {
            busyInside = BusyCursorCount();
            throw std::runtime_error("no browser");
        });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 ShellOpen(QStringLiteral("https://tavrin.example.org/")));
        QCOMPARE(busyInside, 1);
        QCOMPARE(BusyCursorCount(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void busyCursorCountsNestedPairs() {
        QCOMPARE(BusyCursorCount(), 0);
        BeginBusyCursor();
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        BeginBusyCursor();
        QCOMPARE(BusyCursorCount(), 2);
        EndBusyCursor();
        QCOMPARE(BusyCursorCount(), 1);
        QVERIFY(QGuiApplication::overrideCursor());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EndBusyCursor();
        QCOMPARE(BusyCursorCount(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
        // An end without a begin changes nothing.
        EndBusyCursor();
        QCOMPARE(BusyCursorCount(), 0);
        {
            TsbBusyCursor outer;
            TsbBusyCursor inner;
            QCOMPARE(BusyCursorCount(), 2);
        }
        QCOMPARE(BusyCursorCount(), 0);
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void pathHelpers() {
        QCOMPARE(IncludeTrailingSlash(QStringLiteral("/opt/tavrin")),
                 QStringLiteral("/opt/tavrin/"));
        QCOMPARE(IncludeTrailingSlash(QStringLiteral("/opt/tavrin/")),
                 QStringLiteral("/opt/tavrin/"));
        QCOMPARE(IncludeTrailingSlash(QString()), QString());
        SetApplicationFolder(QStringLiteral("/srv/app"));
        QCOMPARE(ApplicationFolder(), QStringLiteral("/srv/app/"));
        QCOMPARE(ProductInfoFile(), QStringLiteral("/srv/app/product.ini"));
        SetApplicationFolder({});
        QCOMPARE(ApplicationFolder(), IncludeTrailingSlash(QCoreApplication::applicationDirPath()));
    }

    // A folder an earlier version set up holds the product file under its
    // first name: read while it is the only one, never beside product.ini.
    void theProductFileOfAnEarlierVersionIsReadWhenAlone() {
        TTestProgramFolder folder;
        SetApplicationFolder(folder.Path());
        folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Earlier\n"),
                             QStringLiteral("lame.dll"));
        QCOMPARE(ProductInfoFile(), folder.Path() + QStringLiteral("lame.dll"));
        folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Now\n"));
        QCOMPARE(ProductInfoFile(), folder.Path() + QStringLiteral("product.ini"));
        SetApplicationFolder({});
    }

    void nextAndPreviousSheetFollowTheSequence() {
        TsbMainForm form;
        QCOMPARE(form.GetNextPage(0), -1); // empty sequence
        form.PageSequence = {"0", "2", "3", "5", "4", "6", "1"};
        QCOMPARE(form.GetNextPage(0), 2);
        QCOMPARE(form.GetNextPage(5), 4);
        QCOMPARE(form.GetNextPage(6), 1);
        QCOMPARE(form.GetNextPage(1), -1); // the last
        QCOMPARE(form.GetNextPage(9), -1); // not in the sequence
        QCOMPARE(form.GetPrevPage(0), -1); // the first
        QCOMPARE(form.GetPrevPage(2), 0);
        QCOMPARE(form.GetPrevPage(4), 5);
        QCOMPARE(form.GetPrevPage(1), 6);
        QCOMPARE(form.GetPrevPage(-3), -1);
        form.BuildPageSequence();
        QVERIFY(form.PageSequence.isEmpty());
    }

    void navigationLockFollowsWork() {
        TCountingMainForm form;
        QVERIFY(form.CloseAllowed);
        QCOMPARE(form.RunState, 0);
        QVERIFY(!form.LibraryStarted());
        TCountingPage page;
        page.OnWorkBegin = [&form](TsbDockForm*) { form.LockNavigation(); };
        page.OnWorkEnd = [&form](TsbDockForm*) { form.UnlockNavigation(); };
        page.BeginWork();
        QCOMPARE(page.WorkCount(), 1);
        QVERIFY(!form.CloseAllowed);
        QCOMPARE(form.ButtonUpdates, 0);
        page.EndWork();
        QCOMPARE(page.WorkCount(), 0);
        QVERIFY(form.CloseAllowed);
        QCOMPARE(form.ButtonUpdates, 1);
        QVERIFY(form.ValidatePage());
    }

    void pageDataRefreshesThePage() {
        TCountingPage page;
        QCOMPARE(page.PageData(), nullptr);
        QCOMPARE(page.WorkCount(), 0);
        auto* data = reinterpret_cast<TsbBurner*>(&page); // any address: the page only keeps it
        page.SetPageData(data);
        QCOMPARE(page.PageData(), data);
        QCOMPARE(page.Refreshes, 1);
        QCOMPARE(page.GetPageLog(), nullptr);
        QCOMPARE(page.GetPageActions(), nullptr);
        // Work events without handlers only count.
        page.BeginWork();
        page.BeginWork();
        page.EndWork();
        QCOMPARE(page.WorkCount(), 1);
    }

    void mergePageLogCopiesAndTagsTheLines() {
        TsbMainForm form;
        TLoggingPage page;
        addLine(page.Log, "Destination device: CdRom0", 0, litWarning);
        addLine(page.Log, "second", 7, litError);
        const auto stamp = page.Log.Items(0).LogTime;

        form.MergePageLog(&page, 2);
        QCOMPARE(messages(form.WizardLog()), (QStringList{"Destination device: CdRom0", "second"}));
        QCOMPARE(form.WizardLog().Items(0).PageOwner, 2);
        QCOMPARE(form.WizardLog().Items(1).PageOwner, 2);
        QCOMPARE(form.WizardLog().Items(0).ItemType, litWarning);
        QCOMPARE(form.WizardLog().Items(1).ItemType, litError);
        QVERIFY(form.WizardLog().Items(0).LogTime == stamp);
        // Copies: the page keeps its own lines and tags.
        QCOMPARE(page.Log.Count(), 2);
        QCOMPARE(page.Log.Items(1).PageOwner, 7);

        // No page, or a page without a log: nothing.
        form.MergePageLog(nullptr, 3);
        TCountingPage noLog;
        form.MergePageLog(&noLog, 3);
        QCOMPARE(form.WizardLog().Count(), 2);
    }

    void removePageLogCutsFromTheSheetsFirstLine() {
        TsbMainForm form;
        addLine(form.WizardLog(), "a", 0);
        addLine(form.WizardLog(), "b", 2);
        addLine(form.WizardLog(), "c", 3);
        addLine(form.WizardLog(), "d", 2);
        form.RemovePageLog(5);
        QCOMPARE(form.WizardLog().Count(), 4);
        // The sheet's first line and everything after it, whatever their tags.
        form.RemovePageLog(3);
        QCOMPARE(messages(form.WizardLog()), (QStringList{"a", "b"}));
        form.RemovePageLog(0);
        QCOMPARE(form.WizardLog().Count(), 0);
    }

    void librarySessionOfTheMainForm() {
        {
            auto form = std::make_unique<TsbMainForm>();
            form->SetLibrarySession(countingSession());
            QVERIFY(!form->LibraryStarted());
            form->StartLibrary();
            form->StartLibrary();
            QCOMPARE(g_upStarts, 1);
            QVERIFY(form->LibraryStarted());
            form.reset();
            QCOMPARE(g_downShuts, 1);
        }
        {
            // Never started: destroying the window still shuts the library down once.
            auto form = std::make_unique<TsbMainForm>();
            form->SetLibrarySession(countingSession());
            form.reset();
            QCOMPARE(g_upStarts, 0);
            QCOMPARE(g_downShuts, 1);
        }
        {
            // A failed start raises its text and the next attempt calls again.
            TsbMainForm form;
            form.SetLibrarySession(countingSession());
            g_upStartResult = 3;
            try {
                form.StartLibrary();
                QFAIL("the start should have failed");
            } catch (const EsbError& e) {
                QCOMPARE(QString::fromUtf8(e.what()),
                         QStringLiteral("StarBurn_UpStartEx() failed, exception 3"));
            }
            QVERIFY(!form.LibraryStarted());
            g_upStartResult = 0;
            form.StartLibrary();
            QCOMPARE(g_upStarts, 2);
            QVERIFY(form.LibraryStarted());
            form.ShutDownLibrary();
            QVERIFY(!form.LibraryStarted());
        }
    }

    void dockIntoFillsThePanelAndFollowsIt() {
        QWidget panel;
        panel.resize(300, 200);
        panel.show();
        auto* page = new TCountingPage;
        page->DockInto(&panel);
        QCOMPARE(page->parentWidget(), &panel);
        QVERIFY(!page->isWindow());
        QCOMPARE(page->geometry(), QRect(5, 5, 295, 195));
        panel.resize(420, 330);
        QCOMPARE(page->geometry(), QRect(5, 5, 415, 325));
        // Docked into another panel, it follows that one only.
        QWidget other;
        other.resize(100, 80);
        other.show();
        page->DockInto(&other);
        QCOMPARE(page->geometry(), QRect(5, 5, 95, 75));
        panel.resize(500, 500);
        QCOMPARE(page->geometry(), QRect(5, 5, 95, 75));
    }
};

QTEST_MAIN(TestUtil)
#include "util_test.moc"
