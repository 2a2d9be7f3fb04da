// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard burning a folder as a data disc onto an emulated MMC drive
// (tests/mmcemu, preloaded by CTest): the folder typed on the image sheet
// and measured there, its label set on the summary sheet, the disc read
// back by xorriso; and the folders the image sheet refuses, with Next held.
#include "app/sbApplication.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/sbResConst.h"
#include "devices/ufrmSelectDevice.h"
#include "engine/sbBurner.h"
#include "forms/sbTexts.h"
#include "pages/ufrmSourceFileSelection.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestDriveMonitor.h"
#include "tests/support/TestEmulatedDrives.h"
#include "tests/support/TestFolderDisc.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <QUrl>

#include <fmt/printf.h>

#include <dlfcn.h>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& name, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile file(name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

} // namespace

class TestWizardBurnsAFolder : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/tavrin_wizard_folder-XXXXXX")};
    sbMmcEmu_ReloadFn m_reload = nullptr;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // One emulated drive, sr0, with a fresh disc of these settings.
    void drive(const QString& settings) {
        for (const char* tail : {"", ".medium", ".disc", ".layout"}) {
            QFile::remove(path(QStringLiteral("sr0")) + QString::fromLatin1(tail));
        }
        WriteTextFile(path(QStringLiteral("emu.ini")),
                      QStringLiteral("[Drive 0]\nPath = %1\nVendor = ACME\nProduct = WRITER\n%2\n")
                          .arg(path(QStringLiteral("sr0")), settings));
        QCOMPARE(m_reload(), 1);
    }

private slots:
    void initTestCase() {
        m_reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        QVERIFY2(m_reload != nullptr, "libsbmmcemu.so is not preloaded");
        QVERIFY(m_dir.isValid());
        WriteTextFile(path(QStringLiteral("starburn.ini")),
                      QStringLiteral("[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %1\n")
                          .arg(path(QStringLiteral("sr0"))));
        UseEmulatedDrivesIn(m_dir.path());
    }

    void cleanupTestCase() {
        ::unsetenv("SBMMCEMU");
        if (m_reload != nullptr) {
            m_reload();
        }
    }

    void aTypedFolderIsMeasuredLabelledBurntAndReadsBackEqual() {
        drive(QStringLiteral("Media = dvdplusr"));
        const QString folder = path(QStringLiteral("my folder"));
        QByteArray data(300000, '\0');
        for (int i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>((static_cast<unsigned>(i) * 7919u + i / 4096) & 0xFF);
        }
        writeFile(folder + QStringLiteral("/sub/data.bin"), data);
        writeFile(folder + QStringLiteral("/readme.txt"), "hello\n");
        QVERIFY(::mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe")).constData(), 0644) ==
                0);

        TTestDriveMonitorScope udev;
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        const auto control = [main](const char* name) {
            return main->findChild<QWidget*>(QString::fromLatin1(name));
        };
        const auto next = [main] { QTest::mouseClick(main->ButtonNext, Qt::LeftButton); };
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        next();
        next();
        QCOMPARE(main->CurrentSheet(), 3);

        // Typed: measured on a worker while Next waits for its size.
        qobject_cast<QLineEdit*>(control("Edit1"))->setText(folder);
        QTRY_VERIFY(main->SourcePage->FolderName == folder && !main->SourcePage->FolderMeasuring());
        QVERIFY(main->ButtonNext->isEnabled());
        const int64_t bytes = main->SourcePage->FolderBytes;
        QVERIFY2(bytes > data.size() && bytes % 2048 == 0, qPrintable(QString::number(bytes)));
        QCOMPARE(qobject_cast<QLabel*>(control("lblSizeInformation"))->text(),
                 QString::fromStdString(fmt::sprintf(
                     LoadResString(rsFileAndDiscSize), static_cast<double>(bytes) / 1024 / 1024,
                     static_cast<double>(main->Burner().DiscSpace.FreeBytes) / 1024 / 1024)));
        next();
        QCOMPARE(main->CurrentSheet(), 5);

        // Back on the recorder sheet udev announces a drive: the library
        // starts again, and the folder's tree, already handed over, must not
        // outlive the library it was made by.
        const auto back = [main] { QTest::mouseClick(main->ButtonPrev, Qt::LeftButton); };
        back();
        back();
        QCOMPARE(main->CurrentSheet(), 2);
        QVERIFY(udev.Monitor() != nullptr);
        QVERIFY(udev.Monitor()->Send("add " + path(QStringLiteral("sr0")).toStdString() +
                                     " ID_CDROM=1"));
        QTRY_VERIFY_WITH_TIMEOUT(main->DevicePage->lvDevices->topLevelItemCount() == 1 &&
                                     main->ButtonNext->isEnabled(),
                                 10000);
        next();
        QCOMPARE(main->CurrentSheet(), 3);
        QTRY_VERIFY(!main->SourcePage->FolderMeasuring());
        QCOMPARE(main->SourcePage->FolderBytes, bytes);
        next();
        QCOMPARE(main->CurrentSheet(), 5);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(0));

        next();
        QCOMPARE(main->CurrentSheet(), 4);
        auto* verify = qobject_cast<QCheckBox*>(control("chbVerify"));
        if (!verify->isChecked()) {
            QTest::mouseClick(verify, Qt::LeftButton);
        }
        next();
        QCOMPARE(main->CurrentSheet(), 6);
        // The way the tree is written is named like an image's.
        const QString summary =
            main->findChild<QTextEdit*>(QStringLiteral("edtSummary"))->toPlainText();
        QVERIFY2(summary.contains(QStringLiteral("Burning Mode: Track-At-Once")) ||
                     summary.contains(QStringLiteral("Burning Mode: Session-At-Once")),
                 qPrintable(summary));
        auto* label = qobject_cast<QLineEdit*>(control("edtVolumeLabel"));
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("MY_FOLDER"));
        label->setText(QStringLiteral("ferien/été 2024"));
        next(); // the tree built where the session starts, written, verified, ejected
        QCOMPARE(label->text(), QStringLiteral("FERIEN__T__2024"));
        QCOMPARE(main->CurrentSheet(), 1);
        QCOMPARE(main->RunState, 2);

        QStringList rows;
        const auto* log = qobject_cast<QTreeWidget*>(control("lvLog"));
        for (int i = 0; i < log->topLevelItemCount(); ++i) {
            rows << log->topLevelItem(i)->text(0);
        }
        const QString all = rows.join(QLatin1Char('\n'));
        QVERIFY2(all.contains(QStringLiteral("Source folder: %1 (").arg(folder)) &&
                     all.contains(QStringLiteral("label FERIEN__T__2024)")) &&
                     all.contains(QStringLiteral("pipe: skipped: a FIFO")) &&
                     all.contains(QStringLiteral("Disc verified: ")),
                 qPrintable(all));
        QCOMPARE(rows.last(), QStringLiteral("Burning completed"));
        // The bar counted the folder's image, built as it was written.
        const QString mb = QString::number(static_cast<double>(bytes) / 1024 / 1024, 'f', 1);
        QVERIFY2(
            main->findChild<QLabel*>(QStringLiteral("lablProgressCaption"))
                ->text()
                .startsWith(QStringLiteral("%1 of %1 MB").arg(mb)),
            qPrintable(main->findChild<QLabel*>(QStringLiteral("lablProgressCaption"))->text()));

        // What Linux sees: the label, the size the sheet showed, the files.
        const QString disc = path(QStringLiteral("sr0.disc"));
        const TTestRun xorriso = RunProgram(
            QStringLiteral("xorriso"), {QStringLiteral("-indev"), QStringLiteral("stdio:") + disc,
                                        QStringLiteral("-pvd_info")});
        const QString pvd = QString::fromUtf8(xorriso.Output);
        QVERIFY2(pvd.contains(QStringLiteral("Volume Id    : FERIEN__T__2024")), qPrintable(pvd));
        QVERIFY2(pvd.contains(QStringLiteral("1 session, %1 data blocks").arg(bytes / 2048)),
                 qPrintable(pvd));
        const QString out = path(QStringLiteral("out"));
        QCOMPARE(QString::fromStdString(ExtractFolderDisc(QFile::encodeName(disc).toStdString(),
                                                          QFile::encodeName(out).toStdString())),
                 QString());
        QCOMPARE(readAll(out + QStringLiteral("/sub/data.bin")), data);
        QCOMPARE(readAll(out + QStringLiteral("/readme.txt")), QByteArray("hello\n"));
        QVERIFY(!QFile::exists(out + QStringLiteral("/pipe")));
    }

    // A folder too big for the disc (chosen) and an empty one (dropped) each keep the sheet,
    // with their reason on it; an image that fits lets Next go again.
    void theImageSheetRefusesAFolderThatDoesNotFitOrIsEmpty() {
        drive(QStringLiteral("Media = cdr\nCapacity = 2000"));
        const QString big = path(QStringLiteral("big"));
        writeFile(big + QStringLiteral("/a.bin"), QByteArray(5 << 20, 'x'));
        const QString empty = path(QStringLiteral("empty"));
        QVERIFY(QDir().mkpath(empty));
        const QString image = path(QStringLiteral("small.iso"));
        writeFile(image, QByteArray(100 * 2048, 'i'));

        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        const auto next = [main] { QTest::mouseClick(main->ButtonNext, Qt::LeftButton); };
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        next();
        next();
        QCOMPARE(main->CurrentSheet(), 3);
        auto* reason = main->findChild<QLabel*>(QStringLiteral("lblFolder"));

        TsbDialogs::PresetFileName(big);
        QTest::mouseClick(main->findChild<QPushButton*>(QStringLiteral("btnFolder")),
                          Qt::LeftButton);
        QTRY_COMPARE(reason->text(),
                     QStringLiteral("The folder does not fit on the disc: it makes 6 MB, the disc "
                                    "has 3 MB free; nothing was written"));
        QVERIFY(!main->ButtonNext->isEnabled());

        // Dropped from the file manager, as an image file is.
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(empty)});
        QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &dropped, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(main, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &dropped, Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(main, &drop);
        QTRY_COMPARE(reason->text(),
                     QStringLiteral("The folder %1 is empty: there is nothing to burn").arg(empty));
        QVERIFY(!main->ButtonNext->isEnabled());
        QCOMPARE(main->CurrentSheet(), 3);

        main->SourcePage->Edit1->setText(image);
        QTRY_VERIFY(main->ButtonNext->isEnabled());
        QVERIFY(reason->text().isEmpty());
        next();
        QCOMPARE(main->CurrentSheet(), 5);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(0));
    }
};

QTEST_MAIN(TestWizardBurnsAFolder)
#include "wizard_folder_mmc_test.moc"
