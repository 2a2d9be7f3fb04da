// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard's pages on their own: the transport choice, the write-mode
// list, the speed and calibration choices, the image-file line, the recorder
// page's answers without a selection, and the final page's gauges, rows and
// saved log, including events raised on another thread.
#include "base/sbError.h"
#include "devices/sbDiscSpeedList.h"
#include "devices/ufrmSelectDevice.h"
#include "engine/sbBurner.h"
#include "engine/sbLog.h"
#include "forms/UtilFuncs.h"
#include "forms/sbWizardOptions.h"
#include "pages/ufrmBurnMode.h"
#include "pages/ufrmBurnOptions.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmSelectTransport.h"
#include "pages/ufrmSourceFileSelection.h"
#include "starburn/StarBurn.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <thread>

#include <sys/resource.h>

namespace {

TsbBurner& cdBurner(TsbBurner& burner, uint8_t mode) {
    burner.WriteModes = TsbWriteModes{1, 1, 1, 1, 1};
    burner.DiscType = DISC_TYPE_CDR;
    burner.WriteMode = mode;
    return burner;
}

QStringList items(const QComboBox* box) {
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) {
        texts << box->itemText(i);
    }
    return texts;
}

} // namespace

class TestWizardPages : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() {
        TsbDialogs::BeginPresets();
        RedirectUserSettings(m_dir.filePath(QStringLiteral("config")));
    }
    void cleanup() { TsbDialogs::EndPresets(); }

    void transportPageOffersSptiFirst() {
        TSelectTransportForm page;
        QVERIFY(page.rbSpti->isChecked());
        QVERIFY(page.rbSpti->isEnabled());
        QVERIFY(!page.UseASPI());
        page.show();
        QTest::mouseClick(page.rbAspi, Qt::LeftButton);
        QVERIFY(page.UseASPI());
    }

    void burnModeListsModesInFixedOrder() {
        TfrmBurnMode page;
        QCOMPARE(page.Label1->y(), page.laCDTEXTNote->y() + 3);
        QCOMPARE(page.chbTestMode->y(), page.Label2->y() + 40);
        QVERIFY(page.laCDTEXTNote->isHidden());
        TsbBurner burner;
        page.ImageFileModes = true;
        page.SetPageData(&cdBurner(burner, wmTrackAtOnceFromFile));
        QCOMPARE(items(page.cmbModes), (QStringList{"Disc-At-Once raw P-W", "Disc-At-Once PQ",
                                                    "Session-At-Once", "Track-At-Once"}));
        QCOMPARE(page.cmbModes->currentIndex(), 3);
        TsbWizardOptions options;
        options.SpeedFactor = 12; // left alone
        page.GetModeChoice(options);
        QCOMPARE(options.WriteMode, uint8_t(wmTrackAtOnceFromFile));
        QCOMPARE(options.SpeedFactor, 12);
        page.cmbModes->setCurrentIndex(1);
        page.GetModeChoice(options);
        QCOMPARE(options.WriteMode, uint8_t(wmDiscAtOncePQFromFile));
        page.ImageFileModes = false;
        page.GetModeChoice(options);
        QCOMPARE(options.WriteMode, uint8_t(wmDiscAtOncePQFromTree));
    }

    void burnModeOnDvdOrAppendableDiscOffersTrackAtOnceOnly() {
        TfrmBurnMode page;
        TsbBurner burner;
        cdBurner(burner, wmDiscAtOncePQFromFile).DiscType = DISC_TYPE_DVDPLUSR;
        page.SetPageData(&burner);
        QCOMPARE(items(page.cmbModes), QStringList{"Track-At-Once"});
        QCOMPARE(page.cmbModes->currentIndex(), 0);

        cdBurner(burner, wmSessionAtOnceFromFile);
        page.AllowSAO = page.AllowDAOPQ = page.AllowDAORaw = false;
        page.SetPageData(&burner);
        QCOMPARE(items(page.cmbModes), QStringList{"Track-At-Once"});
    }

    void burnModeTestBoxAndNoModes() {
        TfrmBurnMode page;
        TsbBurner burner;
        cdBurner(burner, wmTrackAtOnceFromFile);
        burner.WriteModes.CanTestWrite = 0;
        burner.TestWrite = true;
        page.SetPageData(&burner);
        QVERIFY(!page.chbTestMode->isEnabled());
        QVERIFY(page.chbTestMode->isChecked());

        burner.WriteModes = TsbWriteModes{0, 0, 0, 0, 0};
        page.SetPageData(&burner);
        QCOMPARE(page.cmbModes->count(), 0);
        TsbWizardOptions options;
        page.ImageFileModes = true;
        page.GetModeChoice(options);
        QCOMPARE(options.WriteMode, uint8_t(wmTrackAtOnceFromFile));
        QCOMPARE(options.TestWrite, uint8_t(1));
    }

    void wizardOptionsReachTheBurnerWhole() {
        TsbWizardOptions options;
        options.WriteMode = wmSessionAtOnceFromFile;
        options.TestWrite = 1;
        options.MultiSession = 1;
        options.SendOPC = 1;
        options.SpeedFactor = 8;
        options.WriteSpeed = 1411;
        TsbBurner burner;
        burner.OptionValue = 99;
        CopyWizardOptions(options, burner);
        QCOMPARE(burner.WriteMode, uint8_t(wmSessionAtOnceFromFile));
        QVERIFY(burner.TestWrite && burner.MultiSession && burner.SendOPC);
        QCOMPARE(burner.OptionValue, 0);
        QCOMPARE(burner.SpeedFactor, 8);
        QCOMPARE(burner.WriteSpeed, 1411);
        CopyWizardOptions(TsbWizardOptions{}, burner);
        QVERIFY(!burner.TestWrite && !burner.MultiSession && !burner.SendOPC);
        QCOMPARE(burner.SpeedFactor, 0);
    }

    void burnOptionsWithoutSpeedsRaisesAClearMessage() {
        TfrmBurnOptions page;
        QCOMPARE(page.cmbSpeed->count(), 1); // "Fastest", until the first fill
        try {
            page.GetSelectedSpeed();
            QFAIL("no error");
        } catch (const EsbError& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QString::fromLatin1(NoSpeedSelectedText));
        }
    }

    void burnOptionsFollowModeTestAndSpeed() {
        QVERIFY(m_dir.isValid());
        const QString config = m_dir.filePath(QStringLiteral("o.ini"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Virtual]\nTimeFactor = 0\nBuiltInRecorders = no\n[Recorder w]\n"
                   "DeviceName = CdRom0\nWrites = CD-R\nCDWriteSpeeds = 4, 8, 16\nDisc = CD-R\n");
        file.close();
        ::setenv("STARBURN_CONFIG", config.toLocal8Bit().constData(), 1);
        ::setenv("STARBURN_STATE_DIR",
                 m_dir.filePath(QStringLiteral("s")).toLocal8Bit().constData(), 1);
        char text[1024] = {};
        QCOMPARE(int(StarBurn_UpStartEx(nullptr, text, sizeof text)), 0);
        {
            TsbBurner burner;
            burner.TransportType = ttSpti;
            burner.DeviceName = "CdRom0";
            burner.DiscType = DISC_TYPE_CDR;
            burner.OpenDevice();
            TfrmBurnOptions page;

            burner.WriteMode = wmDiscAtOncePQFromFile;
            burner.SendOPC = true;
            burner.SpeedFactor = 3; // matches no speed: the last stays selected
            page.SetPageData(&burner);
            QCOMPARE(items(page.cmbSpeed).size(), 3);
            QCOMPARE(page.cmbSpeed->currentIndex(), 2);
            QVERIFY(!page.GetMultiSession());
            QVERIFY(page.GetSendOPC() && page.chbSOPC->isEnabled());
            QCOMPARE(page.GetSelectedSpeed().SpeedInPoint, 16);

            burner.WriteMode = wmSessionAtOnceFromFile;
            burner.TestWrite = true;
            burner.SpeedFactor = 8;
            page.SetPageData(&burner);
            QVERIFY(page.GetMultiSession());
            QVERIFY(!page.GetSendOPC() && !page.chbSOPC->isEnabled());
            QCOMPARE(page.GetSelectedSpeed().SpeedInPoint, 8);
            QVERIFY(page.chbMultiSession->isHidden());
        }
        StarBurn_DownShut();
    }

    void sourcePageSizeLine() {
        TfrmSourceFileSelection page;
        TsbBurner burner;
        burner.DiscSpace.FreeBytes = 734003200;
        page.SetPageData(&burner);
        QCOMPARE(page.lblSizeInformation->text(),
                 QStringLiteral("File size: 0.00 Mb      Disc size: 700.00 Mb"));
        // A sparse image of 700 MB.
        const QString image = m_dir.filePath(QStringLiteral("big.iso"));
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(734003200));
        file.close();
        TsbDialogs::PresetFileName(image);
        QTest::mouseClick(page.Button1, Qt::LeftButton);
        QCOMPARE(page.ImageFileName, image);
        QCOMPARE(page.ImageFileSize, qint64(734003200));
        QCOMPARE(page.lblSizeInformation->text(),
                 QStringLiteral("File size: 700.00 Mb      Disc size: 700.00 Mb"));
        // Typing changes the name only; cancelling the dialog changes nothing.
        page.Edit1->setText(QStringLiteral("/typed.iso"));
        QCOMPARE(page.ImageFileName, QStringLiteral("/typed.iso"));
        QCOMPARE(page.ImageFileSize, qint64(734003200));
        TsbDialogs::PresetFileName(QString());
        QTest::mouseClick(page.Button1, Qt::LeftButton);
        QCOMPARE(page.ImageFileName, QStringLiteral("/typed.iso"));
        QCOMPARE(page.lblSizeInformation->text(),
                 QStringLiteral("File size: 700.00 Mb      Disc size: 700.00 Mb"));
        // A FIFO is refused at once with a message; the window never waits on it.
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.iso"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        TsbDialogs::ClearShown();
        TsbDialogs::PresetFileName(fifo);
        QTest::mouseClick(page.Button1, Qt::LeftButton);
        QCOMPARE(page.ImageFileSize, qint64(0));
        const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), size_t(1));
        QVERIFY(errors[0].Text.contains(QStringLiteral("not a regular file")));
    }

    void devicePageWithoutSelection() {
        TfrmSelectDevice page;
        QCOMPARE(page.GetSelectedDiscType(), uint8_t(DISC_TYPE_UNKNOWN));
        QCOMPARE(page.GetSelectedDiscSpace().TotalBytes, qint64(0));
        TsbDiscInformation disc;
        disc.Bytes[0] = 7;
        disc.Bytes[5] = 9;
        const TsbDiscInformation out = page.GetSelectedDiscInfo(disc);
        QCOMPARE(int(out.Bytes[0]), 0);
        QCOMPARE(int(out.Bytes[5]), 9); // the rest untouched
        const TsbWriteModes modes = page.GetSelectedWriteModes(TsbWriteModes{0, 0, 0, 0, 1});
        QVERIFY(modes.CanWriteTAO && modes.CanWriteSAO && modes.CanWriteDAOPQ &&
                modes.CanWriteDAORaw && modes.CanTestWrite);
        QCOMPARE(page.GetSelectedAddress().Present, uint8_t(0));
        QCOMPARE(page.GetSelectedDevicePath("kept"), std::string("kept"));
        QCOMPARE(page.GetPageLog()->Count(), 0);
        QVERIFY(!page.GetSelectedDVDRPC().Valid);
        QCOMPARE(page.lvDevices->columnCount(), 7);
        QCOMPARE(page.lvDevices->columnWidth(0), 150);
    }

    void finalPageGaugesAndRows() {
        TfrmFinalAction page;
        page.ShowProgress(150);
        QCOMPARE(page.pbWrite->value(), 100);
        QCOMPARE(page.lblProcentValue->text(), QStringLiteral("100 %"));
        page.ShowBufferFill(120);
        QCOMPARE(page.lblBufferValue->text(), QStringLiteral("120 %"));

        TsbLog log;
        log.Add().LogMessage = "without time";
        TsbLogItem& timed = log.Add();
        timed.LogMessage = "with time";
        timed.ItemType = litError; // shown with the information sign all the same
        timed.LogTime = std::chrono::system_clock::now();
        page.WizardLog = &log;
        TsbBurner burner;
        page.SetPageData(&burner);
        QCOMPARE(page.pbWrite->value(), 0);
        QCOMPARE(page.lblBufferValue->text(), QStringLiteral("0 %"));
        QCOMPARE(page.lvLog->topLevelItemCount(), 2);
        QCOMPARE(page.lvLog->topLevelItem(0)->text(1), QString());
        QCOMPARE(page.lvLog->topLevelItem(1)->text(1).size(), 8);
        QCOMPARE(page.RowKind(1), litInfo);
        QVERIFY(!page.btnSaveLog->isEnabled());
        // The three signs differ.
        const QImage info = page.imlSmall[0].pixmap(16, 16).toImage();
        QVERIFY(info != page.imlSmall[1].pixmap(16, 16).toImage());
        QVERIFY(info != page.imlSmall[2].pixmap(16, 16).toImage());
    }

    void eventsFromAnotherThreadKeepOrderAndLatestValue() {
        TfrmFinalAction page;
        TsbBurner burner;
        page.SetPageData(&burner);
        constexpr int kRows = 500;
        std::thread worker([&page] {
            for (int i = 1; i <= kRows; ++i) {
                page.AddLogLine("row " + std::to_string(i), i % 3 == 0 ? litWarning : litInfo);
                page.ShowProgress(i * 100 / kRows);
                page.ShowBufferFill(i % 97);
            }
            page.ShowBufferFill(42);
        });
        worker.join();
        // Nothing has touched the controls yet; the queued calls show it all.
        QCOMPARE(page.lvLog->topLevelItemCount(), 0);
        QTRY_COMPARE(page.lvLog->topLevelItemCount(), kRows);
        QTRY_COMPARE(page.lblBufferValue->text(), QStringLiteral("42 %"));
        QTRY_COMPARE(page.pbWrite->value(), 100);
        for (int i = 0; i < kRows; ++i) {
            QCOMPARE(page.lvLog->topLevelItem(i)->text(0), QStringLiteral("row %1").arg(i + 1));
            QCOMPARE(page.RowKind(i), (i + 1) % 3 == 0 ? litWarning : litInfo);
        }
        // A row raised on the page's own thread comes after the queued ones.
        std::thread late([&page] { page.AddLogLine("queued", litInfo); });
        late.join();
        page.AddLogLine("direct", litError);
        QCOMPARE(page.lvLog->topLevelItem(kRows)->text(0), QStringLiteral("queued"));
        QCOMPARE(page.lvLog->topLevelItem(kRows + 1)->text(0), QStringLiteral("direct"));
        QCOMPARE(page.RowKind(kRows + 1), litError);
    }

    void savingAnEmptyLogRemovesTheOldFile() {
        TfrmFinalAction page;
        page.btnSaveLog->setEnabled(true);
        page.show();
        const QString name = m_dir.filePath(QStringLiteral("empty.txt"));
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old log\r\n");
        old.close();
        TsbDialogs::PresetFileName(name);
        QTest::mouseClick(page.btnSaveLog, Qt::LeftButton);
        QVERIFY(!QFile::exists(name));
        QVERIFY(TsbDialogs::ShownMessages(TsbMsgKind::mkError).empty());
        // A name without an extension gets the text files' one.
        page.AddLogLine("line", litInfo);
        TsbDialogs::PresetFileName(m_dir.filePath(QStringLiteral("plain")));
        QTest::mouseClick(page.btnSaveLog, Qt::LeftButton);
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("plain.txt"))));
    }

    void saveLogFailingHalfWayLeavesTheOldFileWhole() {
        TfrmFinalAction page;
        page.btnSaveLog->setEnabled(true);
        page.show();
        QTemporaryDir folder;
        const QString name = folder.filePath(QStringLiteral("kept.txt"));
        QFile old(name);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the log of yesterday\r\n");
        old.close();
        for (int i = 0; i < 200; ++i) {
            page.AddLogLine("a line of the burn that fills the file past its limit", litInfo);
        }
        // Files may not grow past 4 KB: the write breaks off half-way.
        struct rlimit before {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = before;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        // Typed without the suffix: the dialog adds it and asks about kept.txt.
        TsbDialogs::PresetFileName(folder.filePath(QStringLiteral("kept")));
        QTest::mouseClick(page.btnSaveLog, Qt::LeftButton);
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldSignal);

        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).size(), size_t(1));
        QFile kept(name);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the log of yesterday\r\n"));
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("kept.txt")});
        // Without the limit the same save replaces it.
        TsbDialogs::PresetFileName(folder.filePath(QStringLiteral("kept")));
        QTest::mouseClick(page.btnSaveLog, Qt::LeftButton);
        QVERIFY(QFileInfo(name).size() > 4096);
    }
};

QTEST_MAIN(TestWizardPages)
#include "wizard_pages_test.moc"
