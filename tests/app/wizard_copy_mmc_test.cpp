// SPDX-License-Identifier: GPL-2.0-or-later
// The welcome window's copy entry on a drive libburn takes for a real one
// (the MMC emulator, preloaded by CTest): a DVD+R that tavrin-burn wrote is
// copied back to an image file through the copy window, then copied again
// past a sector the drive cannot read, stopped once and filled with zeros
// once, as the user answers. A drive plugged in or pulled out while the
// window is open is seen at Refresh.
#include "app/sbApplication.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "forms/UtilFuncs.h"
#include "pages/ufrmCopyDisc.h"
#include "tests/mmcemu/sbMmcEmu.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestEmulatedDrives.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>
#include <dlfcn.h>

namespace {

constexpr int kSector = 2048;
constexpr int kBlocks = 700;

QByteArray readAll(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// An ISO 9660 image of kBlocks blocks whose primary volume descriptor says
// so, and a pattern no two sectors share elsewhere.
QByteArray isoImage() {
    QByteArray image(kBlocks * kSector, '\0');
    for (int i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>((i / kSector * 31 + i) & 0xFF);
    }
    QByteArray pvd(kSector, '\0');
    pvd[0] = 1;
    pvd.replace(1, 5, "CD001");
    pvd[6] = 1;
    pvd.replace(40, 32, QByteArray("HOLIDAY_2026").leftJustified(32, ' '));
    for (int k = 0; k < 4; ++k) {
        pvd[80 + k] = static_cast<char>(kBlocks >> (8 * k));
        pvd[87 - k] = static_cast<char>(kBlocks >> (8 * k));
    }
    pvd[129] = 0x08; // logical block size 2048, both byte orders
    pvd[130] = 0x08;
    image.replace(16 * kSector, kSector, pvd);
    return image;
}

QString sha256Line(const QByteArray& data, const QString& name) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()) +
           QStringLiteral("  ") + name + QLatin1Char('\n');
}

QStringList messages(TsbMsgKind kind) {
    QStringList texts;
    for (const TsbShownDialog& shown : TsbDialogs::ShownMessages(kind)) {
        texts << shown.Text;
    }
    return texts;
}

} // namespace

class TestCopyWindowOnAnEmulatedDrive : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir{QStringLiteral("/tmp/tavrin_wizard_copy_mmc-XXXXXX")};
    sbMmcEmu_ReloadFn m_reload = nullptr;
    QByteArray m_image;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // sr0, and with plugged a USB writer, sr1, with a blank disc.
    void configureDrive(const QString& faults, bool plugged = false) {
        QString ini = QStringLiteral("[Drive 0]\nPath = %1\nVendor = ACME\nProduct = DVD WRITER 8\n"
                                     "Revision = 2.10\nMedia = dvdplusr\n%2")
                          .arg(path(QStringLiteral("sr0")), faults);
        if (plugged) {
            ini += QStringLiteral("\n[Drive 1]\nPath = %1\nVendor = ACME\nProduct = USB WRITER\n"
                                  "Revision = 1.00\nMedia = dvdplusr\n")
                       .arg(path(QStringLiteral("sr1")));
        }
        WriteTextFile(path(QStringLiteral("emu.ini")), ini);
        QCOMPARE(m_reload(), plugged ? 2 : 1);
    }

    // The welcome window shown, and its copy entry clicked.
    static TfrmCopyDisc* openCopyWindow(TsbApplication& app) {
        app.Welcome()->show();
        QTest::mouseClick(app.Welcome()->btnCopyDisc, Qt::LeftButton);
        return app.Welcome()->CopyWindow();
    }

    static QStringList driveNames(const TfrmCopyDisc* window) {
        QStringList names;
        for (int i = 0; i < window->lvDrives->topLevelItemCount(); ++i) {
            names << window->lvDrives->topLevelItem(i)->text(0);
        }
        return names;
    }

    // Copies with the window's own proposal and waits for the end.
    static void copy(TfrmCopyDisc* window) {
        QTest::mouseClick(window->btnCopy, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Copying(), 60000);
    }

private slots:
    void initTestCase() {
        m_reload = reinterpret_cast<sbMmcEmu_ReloadFn>(::dlsym(RTLD_DEFAULT, "sbMmcEmu_Reload"));
        QVERIFY2(m_reload != nullptr, "libsbmmcemu.so is not preloaded");
        QVERIFY(m_dir.isValid());
        WriteTextFile(
            path(QStringLiteral("starburn.ini")),
            QStringLiteral("[Virtual]\nBuiltInRecorders = no\n[Libburn]\nDevices = %1,%2\n")
                .arg(path(QStringLiteral("sr0")), path(QStringLiteral("sr1"))));
        UseEmulatedDrivesIn(m_dir.path());
        configureDrive({});

        // The disc as tavrin-burn leaves it: written, closed, still in the drive.
        m_image = isoImage();
        const QString imageFile = path(QStringLiteral("images/holiday.iso"));
        QVERIFY(QDir().mkpath(path(QStringLiteral("images"))));
        {
            QFile file(imageFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(m_image);
        }
        const TTestRun burn = RunProgram(QStringLiteral(TAVRIN_BURN),
                                         {QStringLiteral("burn"), imageFile,
                                          QStringLiteral("--device"), QStringLiteral("CdRom0"),
                                          QStringLiteral("--no-eject"), QStringLiteral("--yes")});
        QVERIFY2(burn.ExitCode == 0, burn.Output.constData());
    }

    void cleanupTestCase() {
        ::unsetenv("SBMMCEMU");
        if (m_reload != nullptr) {
            m_reload();
        }
    }

    void theWelcomeWindowsEntryCopiesTheDiscByteForByte() {
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        // The folder of the last image is where a copy goes first.
        RememberImageFolder(path(QStringLiteral("holiday.iso")));
        TsbApplication app;
        TfrmCopyDisc* window = openCopyWindow(app);
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(window->lvDrives->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = window->lvDrives->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("DVD WRITER 8"));
        QCOMPARE(row->text(2), QStringLiteral("DVD+R"));
        QCOMPARE(row->text(4), QStringLiteral("HOLIDAY_2026"));
        const QString image = path(QStringLiteral("HOLIDAY_2026.iso"));
        QCOMPARE(window->edtImage->text(), image);

        copy(window);
        QCOMPARE(messages(TsbMsgKind::mkError), QStringList());
        QVERIFY2(readAll(image) == m_image, "the copy differs from the image burnt");
        QCOMPARE(QString::fromLatin1(readAll(image + QStringLiteral(".sha256"))),
                 sha256Line(m_image, QStringLiteral("HOLIDAY_2026.iso")));
        QVERIFY(!QFile::exists(image + QStringLiteral(".bad-sectors")));
        QVERIFY2(window->lblResult->text().startsWith(QStringLiteral("Disc copied to ") + image),
                 qPrintable(window->lblResult->text()));

        // Closed while it copies: asked, stopped, and no half image left
        // behind (a copy quicker than the question is whole, with its sum).
        const QString closed = path(QStringLiteral("closed.iso"));
        window->edtImage->setText(closed);
        window->btnCopyClick();
        QVERIFY(window->Copying());
        TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
        window->close();
        QVERIFY(messages(TsbMsgKind::mkConfirmation)
                    .contains(QStringLiteral("A copy is running. Stop it? No image is written.")));
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
        QVERIFY(!window->Copying());
        const QStringList left = QDir(m_dir.path())
                                     .entryList(QDir::Files | QDir::Hidden)
                                     .filter(QStringLiteral("closed"));
        if (!left.isEmpty()) {
            QCOMPARE(left, QStringList({QStringLiteral("closed.iso"),
                                        QStringLiteral("closed.iso.sha256")}));
            QVERIFY(readAll(closed) == m_image);
            QCOMPARE(QString::fromLatin1(readAll(closed + QStringLiteral(".sha256"))),
                     sha256Line(m_image, QStringLiteral("closed.iso")));
        }
        QCOMPARE(messages(TsbMsgKind::mkError), QStringList());

        // The burn's way is as it was: Next opens the wizard on its first sheet.
        QTest::mouseClick(app.Welcome()->ButtonNext, Qt::LeftButton);
        QVERIFY(app.Main()->isVisible());
        QCOMPARE(app.Main()->CurrentSheet(), 0);
    }

    void anUnreadableSectorStopsTheCopyOrIsFilledWithZerosAsTheUserSays() {
        configureDrive(QStringLiteral("Faults = read-error@333\n"));
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TfrmCopyDisc* window = openCopyWindow(app);
        QVERIFY(window != nullptr);
        const QString image = path(QStringLiteral("HOLIDAY_2026.iso"));
        window->edtImage->setText(image);
        const QByteArray before = readAll(image);
        QVERIFY(!before.isEmpty());

        // Replace the last copy, then stop at the bad sector: the last copy stays.
        TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
        TsbDialogs::PresetAnswer(TsbMsgResult::mrNo);
        copy(window);
        QStringList asked = messages(TsbMsgKind::mkConfirmation);
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.first().startsWith(QStringLiteral("Files of this copy exist already:\n") +
                                          image + QLatin1Char('\n') + image +
                                          QStringLiteral(".sha256\n\nReplace them?")),
                 qPrintable(asked.first()));
        QStringList warnings = messages(TsbMsgKind::mkWarning);
        QCOMPARE(warnings.size(), 1);
        QVERIFY2(warnings.first().startsWith(QStringLiteral("Sector 333 cannot be read (")),
                 qPrintable(warnings.first()));
        QVERIFY2(warnings.first().contains(QStringLiteral("HOLIDAY_2026.iso.bad-sectors")),
                 qPrintable(warnings.first()));
        const QStringList errors = messages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(QStringLiteral("Sector 333 cannot be read")),
                 qPrintable(errors.first()));
        QVERIFY(readAll(image) == before);
        QCOMPARE(QDir(m_dir.path())
                     .entryList(QDir::Files | QDir::Hidden)
                     .filter(QStringLiteral("HOLIDAY_2026")),
                 QStringList({QStringLiteral("HOLIDAY_2026.iso"),
                              QStringLiteral("HOLIDAY_2026.iso.sha256")}));

        // Again, and fill: the sector is zeros, listed, and the sum is the new image's.
        TsbDialogs::ClearShown();
        TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
        TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
        copy(window);
        QCOMPARE(messages(TsbMsgKind::mkError), QStringList());
        QCOMPARE(messages(TsbMsgKind::mkWarning).size(), 1);
        QByteArray expected = m_image;
        expected.replace(333 * kSector, kSector, QByteArray(kSector, '\0'));
        QVERIFY2(readAll(image) == expected, "the sector that failed is not zeros in the copy");
        QCOMPARE(QString::fromLatin1(readAll(image + QStringLiteral(".sha256"))),
                 sha256Line(expected, QStringLiteral("HOLIDAY_2026.iso")));
        QVERIFY(readAll(image + QStringLiteral(".bad-sectors")).contains("\n333\n"));
        QVERIFY2(window->lblResult->text().contains(
                     QStringLiteral("1 unreadable sector filled with zeros: 333 (listed in ") +
                     image + QStringLiteral(".bad-sectors)")),
                 qPrintable(window->lblResult->text()));
    }

    void aDrivePluggedInOrPulledOutIsSeenAtRefresh() {
        configureDrive({});
        TTestProgram program;
        program.Folder.WriteArt({}, {772, 547});
        TsbApplication app;
        TfrmCopyDisc* window = openCopyWindow(app);
        QVERIFY(window != nullptr);
        QCOMPARE(driveNames(window), QStringList{QStringLiteral("DVD WRITER 8")});

        configureDrive({}, true);
        QTest::mouseClick(window->btnRefresh, Qt::LeftButton);
        QCOMPARE(driveNames(window),
                 QStringList({QStringLiteral("DVD WRITER 8"), QStringLiteral("USB WRITER")}));
        // The drive chosen before stays chosen, and copies as before.
        QVERIFY(window->lvDrives->currentItem() != nullptr);
        QCOMPARE(window->lvDrives->currentItem()->text(0), QStringLiteral("DVD WRITER 8"));
        const QString image = path(QStringLiteral("after-refresh.iso"));
        window->edtImage->setText(image);
        copy(window);
        QCOMPARE(messages(TsbMsgKind::mkError), QStringList());
        QVERIFY2(readAll(image) == m_image, "the copy after Refresh differs from the image burnt");

        // Pulled out: udev takes its device file away.
        QVERIFY(QFile::remove(path(QStringLiteral("sr1"))));
        configureDrive({});
        QTest::mouseClick(window->btnRefresh, Qt::LeftButton);
        QCOMPARE(driveNames(window), QStringList{QStringLiteral("DVD WRITER 8")});
        window->close();
    }
};

QTEST_MAIN(TestCopyWindowOnAnEmulatedDrive)
#include "wizard_copy_mmc_test.moc"
