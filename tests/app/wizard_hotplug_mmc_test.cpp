// SPDX-License-Identifier: GPL-2.0-or-later
// The Device Selection sheet as drives and discs come and go: emulated MMC
// drives (preloaded by CTest) are plugged in and pulled out, and an emulated
// udev monitor announces it, as udev would, through a pipe.
#include "app/sbApplication.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "devices/ufrmSelectDevice.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/support/TestDriveMonitor.h"
#include "tests/support/TestEmulatedDrives.h"
#include "tests/support/TestProgram.h"
#include "ui/sbImageButton.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <dlfcn.h>

namespace {

QStringList rowTexts(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        texts << list->topLevelItem(i)->text(column);
    }
    return texts;
}

QString selectedProduct(const QTreeWidget* list) {
    const auto selected = list->selectedItems();
    return selected.size() == 1 ? selected.first()->text(0) : QString();
}

} // namespace

class TestWizardHotplug : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/tavrin_wizard_hotplug-XXXXXX")};
    sbMmcEmu_ReloadFn m_reload = nullptr;
    sbMmcEmu_InsertDiscFn m_insert = nullptr;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString drive(int n, const QString& product, const QString& media) const {
        return QStringLiteral("[Drive %1]\nPath = %2\nVendor = ACME\nProduct = %3\nMedia = %4\n")
            .arg(n)
            .arg(path(QStringLiteral("sr%1").arg(n)), product, media);
    }
    // The emulator's drives are now these (and only these files exist).
    void plug(const QString& drives) {
        WriteTextFile(path(QStringLiteral("emu.ini")), drives);
        QVERIFY(m_reload() >= 0);
    }

private slots:
    void initTestCase() {
        m_reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        m_insert =
            reinterpret_cast<sbMmcEmu_InsertDiscFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_InsertDisc"));
        QVERIFY2(m_reload != nullptr, "libsbmmcemu.so is not preloaded");
        QVERIFY(m_dir.isValid());
        // Both device files are named; the USB writer's does not exist yet.
        WriteTextFile(
            path(QStringLiteral("starburn.ini")),
            QStringLiteral("[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %1,%2\n")
                .arg(path(QStringLiteral("sr0")), path(QStringLiteral("sr1"))));
        UseEmulatedDrivesIn(m_dir.path());
    }

    void cleanupTestCase() {
        ::unsetenv("SBMMCEMU");
        if (m_reload != nullptr) {
            m_reload();
        }
    }

    void aWriterPluggedInAppearsAndOnePulledOutGoesWhileTheSelectionStays() {
        plug(drive(0, QStringLiteral("DVD WRITER 8"), QStringLiteral("dvdplusr")));
        TTestDriveMonitorScope udev;
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QCOMPARE(main->CurrentSheet(), 2);
        TfrmSelectDevice* page = main->DevicePage;
        QVERIFY(page != nullptr);
        page->DiscPollInterval = 100;
        const QTreeWidget* devices = page->lvDevices;
        QCOMPARE(rowTexts(devices, 0), QStringList{QStringLiteral("DVD WRITER 8")});
        QCOMPARE(selectedProduct(devices), QStringLiteral("DVD WRITER 8"));
        QVERIFY(udev.Monitor() != nullptr);

        // A USB writer without a disc is plugged in: its row comes, waiting
        // for a disc; the selection stays where it was.
        plug(drive(0, QStringLiteral("DVD WRITER 8"), QStringLiteral("dvdplusr")) +
             drive(1, QStringLiteral("USB WRITER"), QStringLiteral("none")));
        // A disk that is no optical drive is nothing to the sheet.
        QVERIFY(udev.Monitor()->Send("add /dev/sdz DEVTYPE=disk ID_TYPE=disk"));
        QVERIFY(udev.Monitor()->Send("add " + path(QStringLiteral("sr1")).toStdString() +
                                     " ID_CDROM=1"));
        QTRY_COMPARE_WITH_TIMEOUT(devices->topLevelItemCount(), 2, 10000);
        QCOMPARE(rowTexts(devices, 0),
                 (QStringList{QStringLiteral("DVD WRITER 8"), QStringLiteral("USB WRITER")}));
        QCOMPARE(devices->topLevelItem(1)->text(3), QStringLiteral("Empty"));
        QCOMPARE(devices->topLevelItem(1)->text(5),
                 QStringLiteral("Insert a blank disc into USB WRITER"));
        QVERIFY(page->lblUnavailable->text().contains(
            QStringLiteral("Insert a blank disc into USB WRITER")));
        QCOMPARE(selectedProduct(devices), QStringLiteral("DVD WRITER 8"));

        // A blank disc put in: the poll of the waiting drive finds it.
        QCOMPARE(m_insert(path(QStringLiteral("sr1")).toLocal8Bit().constData(), "cdr", "blank", 0),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(devices->topLevelItem(1)->text(3), QStringLiteral("CD-R"), 10000);
        QCOMPARE(devices->topLevelItem(1)->text(4), QStringLiteral("Blank"));
        QVERIFY(page->lblUnavailable->isHidden());

        // The user picks the USB writer; the other drive is pulled out. Its
        // row goes, and the USB writer stays selected under its new name.
        QTreeWidgetItem* usb = devices->topLevelItem(1);
        QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                          devices->visualItemRect(usb).center());
        QCOMPARE(selectedProduct(devices), QStringLiteral("USB WRITER"));
        QVERIFY(QFile::remove(path(QStringLiteral("sr0"))));
        plug(drive(1, QStringLiteral("USB WRITER"), QStringLiteral("cdr")));
        QVERIFY(udev.Monitor()->Send("remove " + path(QStringLiteral("sr0")).toStdString() +
                                     " ID_CDROM=1"));
        QTRY_COMPARE_WITH_TIMEOUT(devices->topLevelItemCount(), 1, 10000);
        QCOMPARE(rowTexts(devices, 0), QStringList{QStringLiteral("USB WRITER")});
        QCOMPARE(selectedProduct(devices), QStringLiteral("USB WRITER"));

        // And the wizard goes on with it.
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QCOMPARE(main->CurrentSheet(), 3);
    }

    // udev's "change" of a drive (its disc taken out, another put in) renews
    // that drive's row at once; the poll, an hour apart here, plays no part.
    void aDiscTakenOutAndPutInIsShownOnItsRowAsUdevSaysSo() {
        const QString sr0 = path(QStringLiteral("sr0"));
        plug(drive(0, QStringLiteral("DVD WRITER 8"), QStringLiteral("dvdplusr")) +
             drive(1, QStringLiteral("USB WRITER"), QStringLiteral("cdr")));
        TTestDriveMonitorScope udev;
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QCOMPARE(main->CurrentSheet(), 2);
        TfrmSelectDevice* page = main->DevicePage;
        QVERIFY(page != nullptr);
        page->DiscPollInterval = 3600 * 1000;
        const QTreeWidget* devices = page->lvDevices;
        QCOMPARE(rowTexts(devices, 0),
                 (QStringList{QStringLiteral("DVD WRITER 8"), QStringLiteral("USB WRITER")}));
        QCOMPARE(devices->topLevelItem(0)->text(3), QStringLiteral("DVD+R"));
        QCOMPARE(selectedProduct(devices), QStringLiteral("DVD WRITER 8"));
        QVERIFY(udev.Monitor() != nullptr);

        // Taken out.
        const auto remove =
            reinterpret_cast<sbMmcEmu_RemoveDiscFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_RemoveDisc"));
        QVERIFY(remove != nullptr);
        QCOMPARE(remove(sr0.toLocal8Bit().constData()), 0);
        QVERIFY(udev.Monitor()->Send("change " + sr0.toStdString() +
                                     " ID_CDROM=1 DISK_MEDIA_CHANGE=1"));
        QTRY_COMPARE_WITH_TIMEOUT(devices->topLevelItem(0)->text(3), QStringLiteral("Empty"),
                                  10000);
        QCOMPARE(devices->topLevelItem(0)->text(5),
                 QStringLiteral("Insert a blank disc into DVD WRITER 8"));
        QCOMPARE(devices->topLevelItem(1)->text(3), QStringLiteral("CD-R"));
        QCOMPARE(selectedProduct(devices), QStringLiteral("DVD WRITER 8"));

        // Another one put in: only udev's word reaches the sheet before the poll.
        QCOMPARE(m_insert(sr0.toLocal8Bit().constData(), "cdr", "blank", 0), 0);
        QVERIFY(udev.Monitor()->Send("change " + sr0.toStdString() +
                                     " ID_CDROM=1 DISK_MEDIA_CHANGE=1 ID_CDROM_MEDIA=1"));
        QTRY_COMPARE_WITH_TIMEOUT(devices->topLevelItem(0)->text(3), QStringLiteral("CD-R"), 10000);
        QCOMPARE(devices->topLevelItem(0)->text(4), QStringLiteral("Blank"));
        QVERIFY(page->lblUnavailable->isHidden());
        QCOMPARE(selectedProduct(devices), QStringLiteral("DVD WRITER 8"));
    }
};

QTEST_MAIN(TestWizardHotplug)
#include "wizard_hotplug_mmc_test.moc"
