// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard on a desktop. It keeps the computer awake while it burns:
// against logind and the desktop portal mocked by python-dbusmock (inside
// dbus-run-session), what the mocks hold while the wizard writes, after the
// burn ended well, badly or cancelled, while the wizard waits on its sheets,
// and when there is no bus. And it saves a problem report from the error box
// and from the burning sheet.
#include "app/sbApplication.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/sbLogger.h"
#include "engine/sbBurner.h"
#include "tests/support/DBusMockHost.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kSector = 2048;

// A CD writer that writes 1 MB a second: a 1 MB image takes a second.
QString writerConfig(const QString& extra = {}) {
    return QStringLiteral(R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder writer]
DeviceName = CdRom0
Address = 1:0:0:0
Vendor = ACME
Product = Writer One
Writes = CD-R, CD-RW
WriteModes = TAO, SAO, DAO-PQ, DAO-RAW
Disc = CD-R
DiscCapacity = 2048
WriteLimit = 1000000
)INI") + extra;
}

QString readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestWizardDesktop : public QObject {
    Q_OBJECT

    TDBusMockHost m_mocks;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TTestProgram> m_program;
    std::unique_ptr<TsbApplication> m_app;
    TMainForm* m_main = nullptr;
    // What the mocks held at each look during the burn.
    QStringList m_seen;
    int m_tests = 0;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    void setBuses(const QByteArray& system, const QByteArray& session) {
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", system.constData(), 1);
        ::setenv("DBUS_SESSION_BUS_ADDRESS", session.constData(), 1);
    }

    QByteArray nowhere(const char* name) const {
        return "unix:path=" + path(QString::fromLatin1(name)).toLocal8Bit();
    }

    void writeConfig(const QString& text) {
        QFile file(path(QStringLiteral("starburn.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    QString makeImage(qint64 bytes) {
        QFile file(path(QStringLiteral("image.iso")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return {};
        }
        file.write(QByteArray(static_cast<int>(bytes), 'x'));
        return file.fileName();
    }

    void next() { QTest::mouseClick(m_main->ButtonNext, Qt::LeftButton); }

    QStringList held() {
        QStringList rows;
        for (const auto& row : m_mocks.Logind()) {
            rows << QStringLiteral("logind ") + QString::fromStdString(row);
        }
        for (const auto& row : m_mocks.Portal()) {
            rows << QStringLiteral("portal ") + QString::fromStdString(row);
        }
        return rows;
    }

    // Through every sheet to the end of a Track-At-Once burn of image, looking
    // at what the mocks hold every 100 ms while it writes; onWrite is called
    // once when the write is under way.
    void burn(const QString& image, const std::function<void()>& onWrite = {}) {
        m_app = std::make_unique<TsbApplication>();
        m_main = m_app->Main();
        QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
        next(); // transport
        next(); // recorder
        QCOMPARE(m_main->CurrentSheet(), 3);
        // Waiting on its sheets, the wizard holds nothing.
        QCOMPARE(held(), QStringList());
        TsbDialogs::PresetFileName(image);
        QTest::mouseClick(m_main->findChild<QPushButton*>(QStringLiteral("Button1")),
                          Qt::LeftButton);
        next();
        auto* modes = m_main->findChild<QComboBox*>(QStringLiteral("cmbModes"));
        modes->setCurrentIndex(modes->findText(QStringLiteral("Track-At-Once")));
        next(); // mode
        next(); // options
        QCOMPARE(m_main->CurrentSheet(), 6);
        bool called = false;
        QTimer look;
        look.setInterval(100);
        connect(&look, &QTimer::timeout, this, [&] {
            if (m_main->RunState != 1 || !m_main->ButtonClose->isEnabled()) {
                return; // the write has not begun
            }
            m_seen << held().join(QLatin1Char(';'));
            if (onWrite && !called) {
                called = true;
                onWrite();
            }
        });
        look.start();
        next(); // runs the burn
        look.stop();
        QCOMPARE(m_main->CurrentSheet(), 1);
    }

    QString log() const { return readAll(QString::fromStdString(Logger().LogFileName())); }

private slots:
    void initTestCase() {
        std::string error;
        QVERIFY2(m_mocks.Start(error), error.c_str());
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QFile registry(path(QStringLiteral("registry.ini")));
        QVERIFY(registry.open(QIODevice::WriteOnly));
        registry.write("[HKEY_LOCAL_MACHINE\\Software\\Korvath\\StarBurnVelmarSample]\n"
                       "LogEnabled=1\n");
        registry.close();
        // Before the logger reads its switch.
        ::setenv("TAVRIN_REGISTRY", path(QStringLiteral("registry.ini")).toLocal8Bit().constData(),
                 1);
        QVERIFY(Logger().Enabled());
    }

    void init() {
        m_program = std::make_unique<TTestProgram>();
        m_program->Folder.WriteArt({}, {772, 547});
        m_program->Folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Tavrin\nVersion=1.0.0\n"));
        ::setenv("STARBURN_CONFIG", path(QStringLiteral("starburn.ini")).toLocal8Bit().constData(),
                 1);
        // Each test's own discs: a cancelled write leaves its disc written to.
        ::setenv("STARBURN_STATE_DIR",
                 path(QStringLiteral("state-%1").arg(++m_tests)).toLocal8Bit().constData(), 1);
        writeConfig(writerConfig());
        const QByteArray mocks = QByteArray::fromStdString(m_mocks.SessionAddress);
        setBuses(mocks, mocks);
        QFile::remove(QString::fromStdString(Logger().LogFileName()));
        m_seen.clear();
        QVERIFY(m_mocks.NothingHeldSoon());
    }

    void cleanup() {
        m_main = nullptr;
        m_app.reset();
        m_program.reset();
        QVERIFY(m_mocks.NothingHeldSoon());
    }

    void aBurnHoldsLogindsInhibitorUntilItEnds() {
        burn(makeImage(1024 * kSector));
        QVERIFY(TsbDialogs::ShownMessages(TsbMsgKind::mkError).empty());
        const QString expected = QStringLiteral(
            "logind sleep:idle|Tavrin|Tavrin is writing image.iso to CdRom0 (Writer One)|block");
        QVERIFY2(!m_seen.isEmpty() && m_seen.count(expected) == m_seen.size(),
                 qPrintable(m_seen.join(QLatin1Char('\n'))));
        // Let go at the end of the burn, while the wizard still runs.
        QVERIFY(m_mocks.NothingHeldSoon());
        const QString lines = log();
        QCOMPARE(lines.count(QStringLiteral("Sleep and idle suspend held off (logind): Tavrin is "
                                            "writing image.iso to CdRom0 (Writer One)")),
                 1);
        QCOMPARE(lines.count(QStringLiteral("Sleep and idle suspend allowed again (logind)")), 1);
        QVERIFY(lines.indexOf(QStringLiteral("held off")) <
                lines.indexOf(QStringLiteral("StarBurn_CdvdBurnerGrabber_TrackAtOnceFromFile")));
        QVERIFY(lines.indexOf(QStringLiteral("allowed again")) <
                lines.indexOf(QStringLiteral("StarBurn_CdvdBurnerGrabber_Eject")));
    }

    void aCancelledBurnLetsGo() {
        burn(makeImage(1024 * kSector), [this] {
            TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
            QTest::mouseClick(m_main->ButtonClose, Qt::LeftButton);
        });
        QVERIFY(m_main->Burner().Cancelled.load());
        QVERIFY(!m_seen.isEmpty() && m_seen.first().startsWith(QStringLiteral("logind ")));
        QVERIFY(m_mocks.NothingHeldSoon());
        QCOMPARE(log().count(QStringLiteral("Sleep and idle suspend allowed again (logind)")), 1);
    }

    // The report's file, read out of the archive by tar.
    static QString fromReport(const QString& report, const QString& name) {
        const TTestRun tar =
            RunProgram(QStringLiteral("tar"),
                       {QStringLiteral("-xzOf"), report, QStringLiteral("--wildcards"),
                        QStringLiteral("*/") + name},
                       {}, 120, false);
        return QString::fromUtf8(tar.Output);
    }

    void aFailedBurnLetsGo() {
        writeConfig(writerConfig(QStringLiteral("FailWriteAtByte = 1048576\n")));
        burn(makeImage(1024 * kSector));
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(1));
        QVERIFY(!m_seen.isEmpty() && m_seen.first().startsWith(QStringLiteral("logind ")));
        QVERIFY(m_mocks.NothingHeldSoon());
        const QString lines = log();
        QCOMPARE(lines.count(QStringLiteral("Sleep and idle suspend allowed again (logind)")), 1);
        QVERIFY(lines.indexOf(QStringLiteral("TrackAtOnceFromFile() failed")) <
                lines.indexOf(QStringLiteral("allowed again")));
    }

    void theErrorBoxAndTheBurningSheetSaveAProblemReport() {
        writeConfig(writerConfig(QStringLiteral("FailWriteAtByte = 1048576\n")));
        const QString fromBox = path(QStringLiteral("box-report.tar.gz"));
        // Asked once the write runs, after the image was picked: the box that
        // ends the run has its button pressed.
        burn(makeImage(1024 * kSector), [&] {
            TsbDialogs::PresetErrorBoxButton();
            TsbDialogs::PresetFileName(fromBox);
        });
        const auto boxes = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(boxes.size(), size_t(1));
        QCOMPARE(boxes[0].Button, QStringLiteral("Save Problem &Report..."));
        // What the user saw, the failure last; the drive that failed.
        const QString rows = fromReport(fromBox, QStringLiteral("log.txt"));
        QVERIFY2(rows.contains(QStringLiteral("Burning image")), qPrintable(rows));
        QVERIFY2(rows.trimmed().endsWith(boxes[0].Text), qPrintable(rows));
        const QString drives = fromReport(fromBox, QStringLiteral("drives.txt"));
        QVERIFY2(drives.startsWith(QStringLiteral("CdRom0\t")) &&
                     drives.contains(QStringLiteral("vendor \"ACME\"\tproduct \"Writer One\"")),
                 qPrintable(drives));
        QVERIFY(fromReport(fromBox, QStringLiteral("version.txt"))
                    .startsWith(QStringLiteral("Tavrin ")));
        const auto saved = TsbDialogs::ShownMessages(TsbMsgKind::mkInformation);
        QVERIFY(!saved.empty() && saved.back().Text.contains(fromBox));

        // The same from the burning sheet, once the run is over.
        auto* button = m_main->findChild<QPushButton*>(QStringLiteral("btnSaveReport"));
        QVERIFY(button && button->isEnabled());
        const QString fromSheet = path(QStringLiteral("sheet-report.tar.gz"));
        TsbDialogs::PresetFileName(fromSheet);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(fromReport(fromSheet, QStringLiteral("log.txt")), rows);
        // A cancelled file dialog saves nothing.
        TsbDialogs::PresetFileName(QString());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(QDir(path(QString())).entryList({QStringLiteral("*.tar.gz")}).size(), 2);
    }

    void withoutLogindThePortalHoldsIt() {
        setBuses(nowhere("no-system-bus"), QByteArray::fromStdString(m_mocks.SessionAddress));
        burn(makeImage(1024 * kSector));
        const QString expected =
            QStringLiteral("portal 12|Tavrin is writing image.iso to CdRom0 (Writer One)");
        QVERIFY2(!m_seen.isEmpty() && m_seen.count(expected) == m_seen.size(),
                 qPrintable(m_seen.join(QLatin1Char('\n'))));
        QVERIFY(m_mocks.NothingHeldSoon());
        QCOMPARE(log().count(QStringLiteral("Sleep and idle suspend allowed again (desktop "
                                            "portal)")),
                 1);
    }

    void noBusCostsOneLogLineAndNoFailure() {
        setBuses(nowhere("no-system-bus"), nowhere("no-session-bus"));
        burn(makeImage(256 * kSector));
        QVERIFY(TsbDialogs::ShownMessages(TsbMsgKind::mkError).empty());
        const QString lines = log();
        QCOMPARE(lines.count(QStringLiteral("Sleep and idle suspend")), 1);
        QCOMPARE(lines.count(QStringLiteral("Sleep and idle suspend are not held off, the work "
                                            "goes on (logind: no system bus")),
                 1);
        auto* rows = m_main->findChild<QTreeWidget*>(QStringLiteral("lvLog"));
        QCOMPARE(rows->topLevelItem(rows->topLevelItemCount() - 1)->text(0),
                 QStringLiteral("Burning completed"));
    }
};

QTEST_MAIN(TestWizardDesktop)
#include "wizard_desktop_test.moc"
