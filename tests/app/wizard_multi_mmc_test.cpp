// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard walked by control names through a burn on every recorder at
// once: emulated drives (the MMC emulator, preloaded by CTest) that libburn
// takes for real ones, the recorder sheet's "every recorder" box ticked:
// two copies on each of three drives, each disc compared with the image in
// the emulator's record of it; the refusal when no disc fits; a cancel of all.
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <dlfcn.h>

namespace {

constexpr int kSector = 2048;
constexpr int kDrives = 3;

void writeText(const QString& name, const QString& text) {
    QFile file(name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text.toUtf8());
    }
}

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList columnOf(const QTreeWidget* list, int column) {
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        texts << list->topLevelItem(i)->text(column);
    }
    return texts;
}

} // namespace

class TestWizardOnEveryEmulatedDrive : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/tavrin_wizard_multi_mmc-XXXXXX")};
    sbMmcEmu_ReloadFn m_reload = nullptr;
    sbMmcEmu_InsertDiscFn m_insert = nullptr;
    QByteArray m_image;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString device(int n) const { return path(QStringLiteral("sr%1").arg(n)); }

    // kDrives emulated DVD+R drives, each with the drive section's extra lines.
    void drives(const QString& extra) {
        QString emu;
        QStringList devices;
        for (int n = 0; n < kDrives; ++n) {
            emu += QStringLiteral("[Drive %1]\nPath = %2\nVendor = ACME\nProduct = DVD WRITER %1\n"
                                  "Revision = 2.10\nMedia = dvdplusr\n%3\n")
                       .arg(n)
                       .arg(device(n), extra);
            devices << device(n);
            QFile::remove(device(n) + QStringLiteral(".disc"));
            QFile::remove(device(n) + QStringLiteral(".medium"));
        }
        writeText(path(QStringLiteral("emu.ini")), emu);
        writeText(path(QStringLiteral("starburn.ini")),
                  QStringLiteral("[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %1\n")
                      .arg(devices.join(QLatin1Char(','))));
        ::setenv("SBMMCEMU", path(QStringLiteral("emu.ini")).toLocal8Bit().constData(), 1);
        QCOMPARE(m_reload(), kDrives);
    }

    // From the welcome window to the recorder sheet with "every recorder" ticked, then Next.
    void toRecorderSheetAndOn(TsbApplication& app) {
        TMainForm* main = app.Main();
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QCOMPARE(main->CurrentSheet(), 2);
        auto* every = main->findChild<QCheckBox*>(QStringLiteral("chbAllDrives"));
        QVERIFY(every != nullptr);
        QVERIFY(!every->isChecked());
        QCOMPARE(every->accessibleName(), QStringLiteral("Burn on every recorder"));
        QTest::mouseClick(every, Qt::LeftButton);
        QVERIFY(every->isChecked());
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
    }

    // Image, mode (Track-At-Once alone), options (the copies, verify), summary, burn.
    void burnFromImageSheet(TMainForm* main, int copiesEach = 1) {
        const auto control = [main](const char* name) {
            return main->findChild<QWidget*>(QString::fromLatin1(name));
        };
        const auto next = [main] { QTest::mouseClick(main->ButtonNext, Qt::LeftButton); };
        QCOMPARE(main->CurrentSheet(), 3);
        TsbDialogs::PresetFileName(path(QStringLiteral("image.iso")));
        QTest::mouseClick(control("Button1"), Qt::LeftButton);
        next();
        QCOMPARE(main->CurrentSheet(), 5);
        const auto* modes = qobject_cast<QComboBox*>(control("cmbModes"));
        QCOMPARE(modes->count(), 1);
        QCOMPARE(modes->currentText(), QStringLiteral("Track-At-Once"));
        next();
        QCOMPARE(main->CurrentSheet(), 4);
        auto* copies = qobject_cast<QSpinBox*>(control("spnCopies"));
        QVERIFY(copies != nullptr);
        QCOMPARE(copies->value(), 1);
        copies->setValue(copiesEach);
        auto* verify = qobject_cast<QCheckBox*>(control("chbVerify"));
        if (!verify->isChecked()) {
            QTest::mouseClick(verify, Qt::LeftButton);
        }
        next();
        QCOMPARE(main->CurrentSheet(), 6);
        next(); // every drive: the burn, the close of the session, the verification, the eject
        QCOMPARE(main->CurrentSheet(), 1);
        QCOMPARE(main->RunState, 2);
    }

private slots:
    void initTestCase() {
        m_reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        QVERIFY2(m_reload != nullptr, "libsbmmcemu.so is not preloaded");
        m_insert =
            reinterpret_cast<sbMmcEmu_InsertDiscFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_InsertDisc"));
        QVERIFY(m_insert != nullptr);
        QVERIFY(m_dir.isValid());
        ::setenv("STARBURN_CONFIG", path(QStringLiteral("starburn.ini")).toLocal8Bit().constData(),
                 1);
        ::setenv("STARBURN_STATE_DIR", path(QStringLiteral("state")).toLocal8Bit().constData(), 1);
        ::setenv("TAVRIN_REGISTRY", path(QStringLiteral("registry.ini")).toLocal8Bit().constData(),
                 1);
        ::setenv("STARBURN_REAL_DRIVES", "1", 1);
        // Not a whole number of sectors: each disc holds it zero-padded.
        m_image = QByteArray(700 * kSector + 100, '\0');
        for (int i = 0; i < m_image.size(); ++i) {
            m_image[i] = static_cast<char>((i / kSector * 31 + i) & 0xFF);
        }
        QFile file(path(QStringLiteral("image.iso")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(m_image);
    }

    void cleanupTestCase() {
        ::unsetenv("SBMMCEMU");
        if (m_reload != nullptr) {
            m_reload();
        }
    }

    void burnsEveryBlankDvdPlusRAtOnceTwiceAndCountsTheCopies() {
        drives(QString());
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        toRecorderSheetAndOn(app);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(0));
        QCOMPARE(main->MoreBurners().size(), size_t(kDrives - 1));
        // Between the two copies each drive's row asks for a disc: the first
        // copy is whole on the disc taken out, and a blank one goes in.
        QByteArray padded = m_image;
        padded.resize(701 * kSector, '\0');
        const auto holdsImage = [&](int n) {
            const QByteArray disc = readAll(device(n) + QStringLiteral(".disc"));
            return disc.size() >= padded.size() && disc.left(padded.size()) == padded;
        };
        QList<int> changed;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] {
            const auto* rows = main->findChild<QTreeWidget*>(QStringLiteral("lvDrives"));
            for (int n = 0; rows && n < rows->topLevelItemCount(); ++n) {
                if (!changed.contains(n) &&
                    rows->topLevelItem(n)->text(2) ==
                        QStringLiteral("Insert a blank disc into CdRom%1").arg(n)) {
                    changed << n;
                    QVERIFY2(holdsImage(n), qPrintable(QStringLiteral("first copy on %1").arg(n)));
                    QCOMPARE(m_insert(device(n).toLocal8Bit().constData(), "dvdplusr", "blank", 0),
                             0);
                }
            }
        });
        timer.start();
        burnFromImageSheet(main, 2);
        timer.stop();
        QCOMPARE(changed.size(), kDrives);

        const auto* rows = main->findChild<QTreeWidget*>(QStringLiteral("lvDrives"));
        QVERIFY(rows != nullptr && rows->isVisible());
        QCOMPARE(rows->topLevelItemCount(), kDrives);
        QCOMPARE(columnOf(rows, 2), QStringList(kDrives, QStringLiteral("Done")));
        QCOMPARE(columnOf(rows, 3), QStringList(kDrives, QStringLiteral("100 %")));
        const QStringList log = columnOf(main->findChild<QTreeWidget*>(QStringLiteral("lvLog")), 0);
        for (int n = 0; n < kDrives; ++n) {
            // Each drive verified on its own, its lines tagged with its name.
            const QString verified =
                QStringLiteral("CdRom%1: Disc verified: 701 blocks match the image").arg(n);
            QVERIFY2(log.contains(verified), qPrintable(log.join(QLatin1Char('\n'))));
        }
        QCOMPARE(log.last(), QStringLiteral("6 of 6 copies done, 0 failed"));
        // Every drive was let go at the end.
        QVERIFY(main->MoreBurners().empty());

        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QVERIFY(app.Finish()->isVisible());
        QCOMPARE(app.Finish()->DescriptionLabel->text(),
                 QStringLiteral("Tavrin has successfully finished!\n\n6 of 6 copies done, "
                                "0 failed"));
        for (int n = 0; n < kDrives; ++n) {
            QVERIFY2(holdsImage(n), qPrintable(QStringLiteral("second copy on %1").arg(n)));
        }
    }

    void refusesWhenNoRecorderHoldsABlankDisc() {
        drives(QStringLiteral("State = closed"));
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TsbDialogs::ClearShown();
        toRecorderSheetAndOn(app);
        QCOMPARE(app.Main()->CurrentSheet(), 2);
        const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), size_t(1));
        QVERIFY2(errors[0].Text.startsWith(
                     QStringLiteral("No listed recorder holds a blank disc it can write.")),
                 qPrintable(errors[0].Text));
        QVERIFY(app.Main()->MoreBurners().empty());
    }

    void cancelStopsEveryDriveAfterTheOneQuestion() {
        drives(QStringLiteral("Faults = slow:40"));
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TMainForm* main = app.Main();
        toRecorderSheetAndOn(app);
        const QTreeWidget* rows = nullptr; // made with the Burning sheet
        bool pressed = false;
        QTimer timer;
        timer.setInterval(20);
        connect(&timer, &QTimer::timeout, this, [&] {
            // Once every drive writes: Cancel, and Yes to its question.
            rows = main->findChild<QTreeWidget*>(QStringLiteral("lvDrives"));
            if (main->RunState != 1 || !rows || !main->ButtonClose->isEnabled() ||
                columnOf(rows, 2) != QStringList(kDrives, QStringLiteral("Writing"))) {
                return;
            }
            timer.stop();
            pressed = true;
            TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
            QTest::mouseClick(main->ButtonClose, Qt::LeftButton);
        });
        timer.start();
        burnFromImageSheet(main);
        QVERIFY(pressed);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkConfirmation).size(), size_t(1));
        const QStringList log = columnOf(main->findChild<QTreeWidget*>(QStringLiteral("lvLog")), 0);
        QVERIFY2(
            columnOf(rows, 2) == QStringList(kDrives, QStringLiteral("Cancelled")),
            qPrintable(columnOf(rows, 2).join(QLatin1Char('|')) + QLatin1Char('\n') +
                       log.mid(std::max<qsizetype>(0, log.size() - 20)).join(QLatin1Char('\n'))));
        QVERIFY(main->MoreBurners().empty());
        QTest::mouseClick(main->ButtonNext, Qt::LeftButton);
        QCOMPARE(app.Finish()->DescriptionLabel->text(),
                 QStringLiteral("Burning was canceled by user!\n\n0 of 3 copies done, 3 failed"));
    }
};

QTEST_MAIN(TestWizardOnEveryEmulatedDrive)
#include "wizard_multi_mmc_test.moc"
