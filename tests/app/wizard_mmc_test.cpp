// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard walked by control names through a burn onto a drive libburn
// takes for a real one: the MMC emulator, preloaded by CTest, answers the
// SG_IO of the device file the library's configuration names. The disc is
// then compared with the image in the emulator's own record of it.
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "forms/UtilFuncs.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestEmulatedDrives.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <dlfcn.h>
#include <memory>

namespace {

constexpr int kSector = 2048;

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestWizardOnAnEmulatedDrive : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/tavrin_wizard_mmc-XXXXXX")};
    sbMmcEmu_ReloadFn m_reload = nullptr;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() {
        m_reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        QVERIFY2(m_reload != nullptr, "libsbmmcemu.so is not preloaded");
        QVERIFY(m_dir.isValid());
        const QString device = path(QStringLiteral("sr0"));
        WriteTextFile(path(QStringLiteral("emu.ini")),
                      QStringLiteral("[Drive 0]\nPath = %1\nVendor = ACME\nProduct = DVD WRITER 8\n"
                                     "Revision = 2.10\nMedia = dvdplusr\n")
                          .arg(device));
        WriteTextFile(path(QStringLiteral("starburn.ini")),
                      QStringLiteral("[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %1\n")
                          .arg(device));
        UseEmulatedDrivesIn(m_dir.path());
        QCOMPARE(m_reload(), 1);
    }

    void cleanupTestCase() {
        ::unsetenv("SBMMCEMU");
        if (m_reload != nullptr) {
            m_reload();
        }
    }

    void burnsADvdPlusRThatReadsBackAsTheImage() {
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        // Not a whole number of sectors: the disc holds it zero-padded.
        QByteArray image(700 * kSector + 100, '\0');
        for (int i = 0; i < image.size(); ++i) {
            image[i] = static_cast<char>((i / kSector * 31 + i) & 0xFF);
        }
        const QString imageFile = path(QStringLiteral("image.iso"));
        {
            QFile file(imageFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(image);
        }

        TsbApplication app;
        TMainForm* main = app.Main();
        const auto control = [main](const char* name) {
            return main->findChild<QWidget*>(QString::fromLatin1(name));
        };
        const auto next = [main] { QTest::mouseClick(main->ButtonNext, Qt::LeftButton); };
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        QCOMPARE(main->CurrentSheet(), 0);
        next();
        QCOMPARE(main->CurrentSheet(), 2);
        const auto* devices = qobject_cast<QTreeWidget*>(control("lvDevices"));
        QVERIFY(devices != nullptr);
        QCOMPARE(devices->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = devices->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("DVD WRITER 8"));
        QCOMPARE(row->text(1), QStringLiteral("ACME"));
        QCOMPARE(row->text(2), QStringLiteral("2.10"));
        QCOMPARE(row->text(3), QStringLiteral("DVD+R"));
        QCOMPARE(row->text(4), QStringLiteral("Blank"));
        QVERIFY(row->isSelected());
        next();
        QCOMPARE(main->CurrentSheet(), 3);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(0));

        TsbDialogs::PresetFileName(imageFile);
        QTest::mouseClick(control("Button1"), Qt::LeftButton);
        next();
        QCOMPARE(main->CurrentSheet(), 5);
        const auto* modes = qobject_cast<QComboBox*>(control("cmbModes"));
        QCOMPARE(modes->count(), 1);
        QCOMPARE(modes->currentText(), QStringLiteral("Track-At-Once"));
        next();
        QCOMPARE(main->CurrentSheet(), 4);
        auto* verify = qobject_cast<QCheckBox*>(control("chbVerify"));
        QTest::mouseClick(verify, Qt::LeftButton);
        QVERIFY(verify->isChecked());
        next();
        QCOMPARE(main->CurrentSheet(), 6);
        next(); // the burn, the close of the session, the verification, the eject
        QCOMPARE(main->CurrentSheet(), 1);
        QCOMPARE(main->RunState, 2);

        QStringList rows;
        const auto* log = qobject_cast<QTreeWidget*>(control("lvLog"));
        for (int i = 0; i < log->topLevelItemCount(); ++i) {
            rows << log->topLevelItem(i)->text(0);
        }
        QVERIFY2(rows.contains(QStringLiteral("Disc verified: 701 blocks match the image")),
                 qPrintable(rows.join(QLatin1Char('\n'))));
        QCOMPARE(rows.last(), QStringLiteral("Burning completed"));
        next();
        QVERIFY(app.Finish()->isVisible());
        QCOMPARE(app.Finish()->DescriptionLabel->text(),
                 QStringLiteral("Tavrin has successfully finished!"));

        // What the drive recorded, sector 0 at byte 0, against the padded image.
        image.resize(701 * kSector, '\0');
        const QByteArray disc = readAll(path(QStringLiteral("sr0.disc")));
        QVERIFY(disc.size() >= image.size());
        QVERIFY2(disc.left(image.size()) == image, "the disc differs from the image");
    }
};

QTEST_MAIN(TestWizardOnAnEmulatedDrive)
#include "wizard_mmc_test.moc"
