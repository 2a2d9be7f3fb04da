// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard driven as a user drives it, by control names, against virtual
// recorders of the test's own: every sheet, every check on Next, Back, Cancel
// and the close button, the burn in each write mode, test mode, cancel, a
// failing write, and the saved log.
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "devices/sbDeviceList.h"
#include "devices/sbDiscSpeedList.h"
#include "devices/ufrmSelectDevice.h"
#include "engine/sbActions.h"
#include "engine/sbBurner.h"
#include "engine/sbLog.h"
#include "forms/UtilFuncs.h"
#include "pages/ufrmBurnMode.h"
#include "pages/ufrmBurnOptions.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmOptionsSummary.h"
#include "pages/ufrmSelectTransport.h"
#include "pages/ufrmSourceFileSelection.h"
#include "starburn/StarBurnTesting.h"
#include "starburn/libburn/sbLibburnTesting.h"
#include "tests/support/TestArt.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kSector = 2048;

// A CD writer with a small blank CD-R, and a reader the wizard does not list.
QString writerConfig(const QString& writerExtra = {}, const QString& more = {}) {
    return QStringLiteral(R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder writer]
DeviceName = CdRom0
Address = 1:0:0:0
Vendor = ACME
Product = Writer One
Revision = 4.2
Reads = CD-R, CD-RW, DVD-ROM
Writes = CD-R, CD-RW
WriteModes = TAO, SAO, DAO-PQ, DAO-RAW
TestWrite = yes
CDWriteSpeeds = 4, 8, 16
Disc = CD-R
DiscCapacity = 1024
)INI") + writerExtra +
           QStringLiteral(R"INI(

[Recorder reader]
DeviceName = CdRom1
Address = 1:0:1:0
Vendor = ACME
Product = Reader
Writes = none
Disc = CD-ROM
)INI") + more;
}

constexpr qint64 kDiscBytes = 1024 * kSector;

// The writer (CdRom0) held by another program: every opening is refused.
QString heldWriterFault() {
    return QStringLiteral(R"INI(
[Fault held]
Call = StarBurn_CdvdBurnerGrabber_CreateEx
Device = CdRom0
Exception = 6
Status = 16
Text = The recorder Writer One is in use by another program (process 4242), close it there and try again
Count = 0
)INI");
}

// A second CD writer, CdRom2, beside the configured one.
QString secondWriter() {
    return QStringLiteral(R"INI(
[Recorder second]
DeviceName = CdRom2
Address = 1:0:2:0
Vendor = ACME
Product = Writer Two
Writes = CD-R
Disc = CD-R
DiscCapacity = 1024
)INI");
}

} // namespace

class TestWizard : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TTestProgramFolder> m_folder;
    std::unique_ptr<TsbApplication> m_app;
    TMainForm* m_main = nullptr;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    void writeConfig(const QString& text) {
        QFile file(path(QStringLiteral("starburn.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    // An image of whole sectors, each filled with its own pattern.
    QString makeImage(const QString& name, qint64 bytes) {
        QByteArray data(static_cast<int>(bytes), '\0');
        for (int i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>((i / kSector * 31 + i) & 0xFF);
        }
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return {};
        }
        file.write(data);
        return file.fileName();
    }

    static QByteArray readAll(const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    template <class T>
    T* control(const char* name) const {
        return m_main->findChild<T*>(QString::fromLatin1(name));
    }

    void start() {
        m_app = std::make_unique<TsbApplication>();
        m_main = m_app->Main();
        QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
        QVERIFY(m_main->isVisible());
        QCOMPARE(m_main->CurrentSheet(), 0);
    }

    void next() { QTest::mouseClick(m_main->ButtonNext, Qt::LeftButton); }
    void back() { QTest::mouseClick(m_main->ButtonPrev, Qt::LeftButton); }

    // The error boxes shown since the last call.
    QStringList errors() {
        QStringList texts;
        for (const auto& box : TsbDialogs::ShownMessages(TsbMsgKind::mkError)) {
            texts << box.Text;
        }
        TsbDialogs::ClearShown();
        return texts;
    }

    void pickImage(const QString& file) {
        TsbDialogs::PresetFileName(file);
        QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton);
    }

    // From the transport sheet to the image sheet with the writer selected.
    void toImageSheet() {
        start();
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 2);
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 3);
    }

    void chooseMode(const QString& mode, bool test) {
        auto* modes = control<QComboBox>("cmbModes");
        const int at = modes->findText(mode);
        QVERIFY2(at >= 0, qPrintable(mode));
        modes->setCurrentIndex(at);
        auto* testMode = control<QCheckBox>("chbTestMode");
        if (testMode->isChecked() != test) {
            QTest::mouseClick(testMode, Qt::LeftButton);
        }
        QCOMPARE(testMode->isChecked(), test);
    }

    // From the image sheet, with Image chosen, to the end of the burn.
    void burnFromImageSheet(const QString& image, const QString& mode, bool test) {
        pickImage(image);
        next();
        QCOMPARE(m_main->CurrentSheet(), 5);
        chooseMode(mode, test);
        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        next();
        QCOMPARE(m_main->CurrentSheet(), 6);
        next(); // runs the burn
        QCOMPARE(m_main->CurrentSheet(), 1);
        QCOMPARE(m_main->RunState, 2);
    }

    QStringList logRows() const {
        QStringList rows;
        auto* log = control<QTreeWidget>("lvLog");
        for (int i = 0; i < log->topLevelItemCount(); ++i) {
            rows << log->topLevelItem(i)->text(0);
        }
        return rows;
    }

    QString finishText() {
        next();
        [&] { QVERIFY(m_app->Finish()->isVisible()); }();
        [&] { QVERIFY(!m_main->isVisible()); }();
        return m_app->Finish()->DescriptionLabel->text();
    }

    static QString lastEjected(const char* device) {
        char buffer[4096] = {};
        if (StarBurnTesting_GetLastEjectedImage(device, buffer, sizeof buffer) != 0) {
            return {};
        }
        return QString::fromLocal8Bit(buffer);
    }

    // Whether another opener may eject the writer's disc now (the tray is
    // not locked). A successful eject puts a fresh blank disc in.
    static bool trayUnlocked() {
        void* grabber = nullptr;
        char text[1024] = {};
        uint32_t status = 0;
        uint8_t failure[256] = {};
        if (StarBurn_CdvdBurnerGrabber_CreateEx(&grabber, text, sizeof text, &status, failure,
                                                nullptr, nullptr, "CdRom0", 0) != 0) {
            return false;
        }
        const uint8_t result =
            StarBurn_CdvdBurnerGrabber_Eject(grabber, text, sizeof text, &status, failure);
        StarBurn_Destroy(&grabber);
        return result == 0;
    }

private slots:
    void init() {
        TsbDialogs::BeginPresets();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_folder = std::make_unique<TTestProgramFolder>();
        RedirectUserSettings(m_folder->Path() + QStringLiteral("config"));
        m_folder->WriteArt({}, {772, 547});
        SetApplicationFolder(m_folder->Path());
        // The remembered "verify" choice lives in the test's own folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           path(QStringLiteral("config")));
        ::setenv("STARBURN_CONFIG", path(QStringLiteral("starburn.ini")).toLocal8Bit().constData(),
                 1);
        ::setenv("STARBURN_STATE_DIR", path(QStringLiteral("state")).toLocal8Bit().constData(), 1);
        ::setenv("TAVRIN_REGISTRY", path(QStringLiteral("registry.ini")).toLocal8Bit().constData(),
                 1);
        ::unsetenv("STARBURN_TIME_FACTOR");
        writeConfig(writerConfig());
    }

    void cleanup() {
        m_main = nullptr;
        m_app.reset();
        SetApplicationFolder({});
        m_folder.reset();
        m_dir.reset();
        TsbDialogs::EndPresets();
    }

    void sheetsInOrderWithTitlesAndPages() {
        start();
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("SCSI Transport"));
        QCOMPARE(m_main->ButtonNext->text(), QStringLiteral("&Next >"));
        QCOMPARE(m_main->ButtonPrev->text(), QStringLiteral("< &Back"));
        QCOMPARE(m_main->ButtonClose->text(), QStringLiteral("Cancel"));
        auto* spti = control<QRadioButton>("rbSpti");
        QVERIFY(spti && spti->isChecked() && spti->isEnabled());
        QCOMPARE(spti->geometry(), QRect(32, 64, 475, 17));
        QVERIFY(!m_main->TransportPage->UseASPI());

        next();
        QCOMPARE(m_main->CurrentSheet(), 2);
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("Device Selection"));
        QCOMPARE(m_main->LabelSubTitle->text(),
                 QStringLiteral("CD or DVD burning device to use for disc burning."));
        // Only the writer is listed; the reader writes nothing.
        auto* devices = control<QTreeWidget>("lvDevices");
        QCOMPARE(devices->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = devices->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("Writer One"));
        QCOMPARE(row->text(1), QStringLiteral("ACME"));
        QCOMPARE(row->text(2), QStringLiteral("4.2"));
        QCOMPARE(row->text(3), QStringLiteral("CD-R"));
        QCOMPARE(row->text(4), QStringLiteral("Blank"));
        QVERIFY(row->isSelected());
        QCOMPARE(devices->headerItem()->text(3), QStringLiteral("Media "));
        QVERIFY(control<QPushButton>("btnRefresh")->isEnabled());
        QVERIFY(m_main->ButtonNext->isEnabled() && m_main->ButtonPrev->isEnabled());
        QVERIFY(m_main->CloseAllowed);

        next();
        QCOMPARE(m_main->CurrentSheet(), 3);
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("Source Image File Selection"));
        // A fresh page: no file yet, the disc's free space as the disc size.
        QCOMPARE(control<QLabel>("lblSizeInformation")->text(),
                 QStringLiteral("File size: 0.00 Mb      Disc size: 2.00 Mb"));
        QCOMPARE(m_main->Burner().DiscType, uint8_t(DISC_TYPE_CDR));
        QCOMPARE(m_main->Burner().DeviceName, std::string("CdRom0"));
        QCOMPARE(m_main->Burner().DeviceInfo.Product, std::string("Writer One"));
        QCOMPARE(m_main->Burner().DiscSpace.FreeBytes, kDiscBytes);

        const QString image = makeImage(QStringLiteral("small.iso"), 512 * kSector);
        pickImage(image);
        QCOMPARE(control<QLineEdit>("Edit1")->text(), image);
        QCOMPARE(control<QLabel>("lblSizeInformation")->text(),
                 QStringLiteral("File size: 1.00 Mb      Disc size: 2.00 Mb"));
        next();
        QCOMPARE(m_main->CurrentSheet(), 5);
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("Burning Mode"));
        auto* modes = control<QComboBox>("cmbModes");
        QCOMPARE(modes->count(), 4);
        QCOMPARE(modes->itemText(0), QStringLiteral("Disc-At-Once raw P-W"));
        QCOMPARE(modes->itemText(3), QStringLiteral("Track-At-Once"));
        QVERIFY(control<QCheckBox>("chbTestMode")->isEnabled());
        chooseMode(QStringLiteral("Session-At-Once"), false);

        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("Burning Options"));
        auto* speeds = control<QComboBox>("cmbSpeed");
        QCOMPARE(speeds->count(), 3);
        QCOMPARE(speeds->currentIndex(), 2); // the fastest, last
        QVERIFY(!control<QCheckBox>("chbMultiSession")->isVisible());
        QVERIFY(control<QCheckBox>("chbMultiSession")->isChecked()); // Session-At-Once
        speeds->setCurrentIndex(1);
        QTest::mouseClick(control<QCheckBox>("chbSOPC"), Qt::LeftButton);
        const bool opc = control<QCheckBox>("chbSOPC")->isChecked();

        next();
        QCOMPARE(m_main->CurrentSheet(), 6);
        QCOMPARE(m_main->LabelTitle->text(), QStringLiteral("Options Summary"));
        QCOMPARE(m_main->WizardOptions.WriteMode, uint8_t(wmSessionAtOnceFromFile));
        QCOMPARE(m_main->WizardOptions.SpeedFactor, 8);
        QCOMPARE(m_main->WizardOptions.SendOPC, uint8_t(opc ? 1 : 0));
        QCOMPARE(m_main->Burner().SpeedFactor, 8);
        QCOMPARE(m_main->Burner().WriteSpeed, m_main->WizardOptions.WriteSpeed);
        QCOMPARE(control<QLabel>("lblName")->text(),
                 QStringLiteral("Data CD/DVD will be created with the following options chosen:"));
        QCOMPARE(control<QLabel>("lblNextAction")->text(),
                 QStringLiteral("Click Next to start burning"));
        const QString speedText =
            QStringLiteral("8.0x (%1 KB/sec)").arg(m_main->Burner().WriteSpeed);
        const QStringList expected = {
            QStringLiteral("Drive: Writer One ACME (4.2)"),
            QStringLiteral("Transport: SPTI"),
            QStringLiteral("Disc Type: CD-R"),
            QStringLiteral("Selected image file name: ") + image,
            QStringLiteral("Burning Speed: ") + speedText,
            QStringLiteral("Send OPC: ") + (opc ? QStringLiteral("Yes") : QStringLiteral("No")),
            QStringLiteral("Burning Mode: Session-At-Once"),
            QStringLiteral("Test Write: No"),
            QStringLiteral("Verify: No"),
        };
        QCOMPARE(control<QTextEdit>("edtSummary")->toPlainText().split(QLatin1Char('\n')),
                 expected);
        QVERIFY(control<QTextEdit>("edtSummary")->isReadOnly());
        // Back and forward again replaces the lines.
        back();
        next();
        QCOMPARE(control<QTextEdit>("edtSummary")->toPlainText().split(QLatin1Char('\n')),
                 expected);

        // The wizard log so far: one line per sheet that contributes.
        const TsbLog& log = m_main->WizardLog();
        QCOMPARE(log.Count(), 3);
        QCOMPARE(log.Items(0).LogMessage, std::string("Burning image"));
        QCOMPARE(log.Items(1).LogMessage, std::string("Destination device: Writer One"));
        QCOMPARE(log.Items(2).LogMessage, "Source image file: " + image.toStdString());
        QCOMPARE(m_main->WizardActions().Count(), 1);
        QCOMPARE(m_main->WizardActions().Items(0)->Action,
                 static_cast<TsbAction*>(&m_main->BurnImageAction()));
    }

    // An image whose volume descriptor names Described sectors in a file of Sectors.
    QString makeIsoHeader(const QString& name, quint32 sectors, quint32 described) {
        const QString file = makeImage(name, sectors * kSector);
        QByteArray data = readAll(file);
        char* pvd = data.data() + 16 * kSector;
        std::memset(pvd, 0, kSector);
        pvd[0] = 1;
        std::memcpy(pvd + 1, "CD001", 5);
        for (int k = 0; k < 4; ++k) {
            pvd[80 + k] = static_cast<char>((described >> (8 * k)) & 0xFF);
            pvd[87 - k] = static_cast<char>((described >> (8 * k)) & 0xFF);
        }
        pvd[128] = 0x00;
        pvd[129] = 0x08;                  // 2048, little end first
        std::memset(pvd + 883, ' ', 512); // the application-use area, unused
        QFile out(file);
        [&] { QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate)); }();
        out.write(data);
        return file;
    }

    void imageSheetChecksTheIsoItself() {
        toImageSheet();
        // A download cut short: the descriptor names 100 sectors, the file has 40.
        const QString cut = makeIsoHeader(QStringLiteral("cut.iso"), 40, 100);
        pickImage(cut);
        QCOMPARE(control<QLabel>("lblChecksum")->text(), QString());
        next();
        QCOMPARE(errors(), QStringList{QStringLiteral("The image is incomplete: it describes "
                                                      "204800 bytes, the file has 81920 bytes")});
        QCOMPARE(m_main->CurrentSheet(), 3);

        // A checksum implanted by isomd5sum's tool is found and announced.
        const QString whole = makeIsoHeader(QStringLiteral("whole.iso"), 100, 100);
        const QString command = QStringLiteral("implantisomd5 '%1' >/dev/null 2>&1").arg(whole);
        QCOMPARE(std::system(command.toLocal8Bit().constData()), 0);
        pickImage(whole);
        QCOMPARE(control<QLabel>("lblChecksum")->text(),
                 QStringLiteral("Implanted checksum found"));
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 5);
    }

    void verifyAfterBurningIsOfferedAndRemembered_data() {
        QTest::addColumn<QString>("writerExtra");
        QTest::addColumn<bool>("passes");
        QTest::newRow("clean") << QString() << true;
        QTest::newRow("corrupted") << QStringLiteral("CorruptAfterWrite = 70000\n") << false;
    }

    void verifyAfterBurningIsOfferedAndRemembered() {
        QFETCH(QString, writerExtra);
        QFETCH(bool, passes);
        writeConfig(writerConfig(writerExtra));
        const QString image = makeImage(QStringLiteral("verify.iso"), 300 * kSector);
        toImageSheet();
        pickImage(image);
        next();
        chooseMode(QStringLiteral("Disc-At-Once PQ"), false);
        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        // Off on the first run; ticking it is remembered for the next one.
        auto* verify = control<QCheckBox>("chbVerify");
        QVERIFY(verify->isVisible());
        QVERIFY(!verify->isChecked());
        QTest::mouseClick(verify, Qt::LeftButton);
        QVERIFY(verify->isChecked());
        QCOMPARE(QSettings(QStringLiteral("tavrin"), QStringLiteral("tavrin"))
                     .value(QStringLiteral("BurnOptions/VerifyAfterBurning"))
                     .toBool(),
                 true);
        QVERIFY(TfrmBurnOptions().chbVerify->isChecked());
        next();
        QVERIFY(control<QTextEdit>("edtSummary")
                    ->toPlainText()
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("Verify: Yes")));
        next(); // runs the burn and the verification
        QCOMPARE(m_main->RunState, 2);

        const QStringList rows = logRows();
        QVERIFY(rows.contains(QStringLiteral("Verifying disc")));
        QVERIFY(rows.contains(QStringLiteral("Eject disc")));
        if (passes) {
            QVERIFY(rows.contains(QStringLiteral("Disc verified: 300 blocks match the image")));
            const QString sha = QString::fromLatin1(
                QCryptographicHash::hash(readAll(image), QCryptographicHash::Sha256).toHex());
            QVERIFY(rows.contains(QStringLiteral("SHA-256 of the written data: ") + sha));
            QCOMPARE(rows.last(), QStringLiteral("Burning completed"));
            QCOMPARE(finishText(), QStringLiteral("Tavrin has successfully finished!"));
        } else {
            // Byte 70000 lies in block 34.
            QVERIFY(rows.contains(
                QStringLiteral("Verification failed: block 34 differs from the image")));
            QVERIFY(!rows.contains(QStringLiteral("Burning completed")));
            QCOMPARE(finishText(), QStringLiteral("Tavrin has finished with error"));
        }
    }

    void burnsInEveryWriteMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("raw") << QStringLiteral("Disc-At-Once raw P-W");
        QTest::newRow("pq") << QStringLiteral("Disc-At-Once PQ");
        QTest::newRow("sao") << QStringLiteral("Session-At-Once");
        QTest::newRow("tao") << QStringLiteral("Track-At-Once");
    }

    void burnsInEveryWriteMode() {
        QFETCH(QString, mode);
        const QString image = makeImage(QStringLiteral("burn.iso"), 300 * kSector);
        toImageSheet();
        burnFromImageSheet(image, mode, false);

        QVERIFY(errors().isEmpty());
        const QStringList rows = logRows();
        QCOMPARE(rows.first(), QStringLiteral("Burning image"));
        QVERIFY(rows.contains(QStringLiteral("Burning started")));
        QCOMPARE(rows.last(), QStringLiteral("Burning completed"));
        QCOMPARE(control<QProgressBar>("pbWrite")->value(), 100);
        QCOMPARE(control<QLabel>("lblProcentValue")->text(), QStringLiteral("100 %"));
        QVERIFY(control<QPushButton>("btnSaveLog")->isEnabled());
        // After the run: Back and Cancel off, Next on.
        QVERIFY(!m_main->ButtonPrev->isEnabled());
        QVERIFY(!m_main->ButtonClose->isEnabled());
        QVERIFY(m_main->ButtonNext->isEnabled());

        const QString ejected = lastEjected("CdRom0");
        QVERIFY(!ejected.isEmpty());
        QVERIFY2(readAll(ejected) == readAll(image), "the ejected disc differs from the image");
        QCOMPARE(finishText(), QStringLiteral("Tavrin has successfully finished!"));
    }

    void testModeLeavesTheDiscBlank() {
        const QString image = makeImage(QStringLiteral("test.iso"), 200 * kSector);
        toImageSheet();
        burnFromImageSheet(image, QStringLiteral("Disc-At-Once PQ"), true);
        QVERIFY(errors().isEmpty());
        QVERIFY(!control<QCheckBox>("chbSOPC")->isEnabled()); // no calibration in test mode
        const QStringList rows = logRows();
        QVERIFY(rows.contains(QStringLiteral("Eject disc")));
        QCOMPARE(rows.last(), QStringLiteral("Burning completed"));
        const QString ejected = lastEjected("CdRom0");
        QVERIFY(ejected.isEmpty() || readAll(ejected).isEmpty());
        // The disc in the drive is still blank.
        TsbDeviceItem writer;
        writer.DeviceName = "CdRom0";
        writer.TransportType = ttSpti;
        const TsbDiscSpace space = TfrmSelectDevice::QueryDiscSpace(writer);
        QCOMPARE(space.UsedBytes, qint64(0));
        QCOMPARE(space.FreeBytes, kDiscBytes);
        QCOMPARE(finishText(), QStringLiteral("Tavrin has successfully finished!"));
    }

    void cancelDuringTheBurn_data() {
        QTest::addColumn<bool>("confirm");
        QTest::newRow("confirmed") << true;
        QTest::newRow("refused") << false;
    }

    void cancelDuringTheBurn() {
        QFETCH(bool, confirm);
        // 600 KB at 1 MB/s: long enough to press Cancel in the middle.
        writeConfig(writerConfig(QStringLiteral("WriteLimit = 1000000\n")));
        const QString image = makeImage(QStringLiteral("slow.iso"), 300 * kSector);
        toImageSheet();

        bool pressed = false;
        bool nextDisabledAfterPress = false;
        QTimer timer;
        timer.setInterval(5);
        connect(&timer, &QTimer::timeout, this, [&] {
            if (m_main->RunState == 1 && m_main->ButtonClose->isEnabled()) {
                timer.stop();
                pressed = true;
                TsbDialogs::PresetAnswer(confirm ? TsbMsgResult::mrYes : TsbMsgResult::mrNo);
                QTest::mouseClick(m_main->ButtonClose, Qt::LeftButton);
                nextDisabledAfterPress = !m_main->ButtonNext->isEnabled();
            }
        });
        timer.start();
        burnFromImageSheet(image, QStringLiteral("Track-At-Once"), false);
        QVERIFY(pressed);
        QVERIFY(nextDisabledAfterPress);
        const auto asked = TsbDialogs::ShownMessages(TsbMsgKind::mkConfirmation);
        QCOMPARE(asked.size(), size_t(1));
        QCOMPARE(asked[0].Text,
                 QStringLiteral("Are you sure you want to cancel current operation?"));
        QCOMPARE(m_main->Burner().Cancelled.load(), confirm);
        if (confirm) {
            QCOMPARE(errors().size(), 1); // the cancelled write's error box
            QCOMPARE(m_main->FinalPage->RowKind(logRows().size() - 1), litError);
            QCOMPARE(finishText(), QStringLiteral("Burning was canceled by user!"));
        } else {
            QVERIFY(errors().isEmpty());
            QCOMPARE(logRows().last(), QStringLiteral("Burning completed"));
            QVERIFY(readAll(lastEjected("CdRom0")) == readAll(image));
            QCOMPARE(finishText(), QStringLiteral("Tavrin has successfully finished!"));
        }
    }

    void failedWriteShowsErrorRowBoxAndFinishText() {
        writeConfig(writerConfig(QStringLiteral("FailWriteAtByte = 65536\n")));
        const QString image = makeImage(QStringLiteral("fail.iso"), 200 * kSector);
        toImageSheet();
        burnFromImageSheet(image, QStringLiteral("Disc-At-Once PQ"), false);
        const QStringList boxes = errors();
        QCOMPARE(boxes.size(), 1);
        const QStringList rows = logRows();
        QCOMPARE(rows.last(), boxes.first());
        QCOMPARE(m_main->FinalPage->RowKind(rows.size() - 1), litError);
        QCOMPARE(m_main->FinalPage->RowKind(0), litInfo);
        QVERIFY(!rows.contains(QStringLiteral("Burning completed")));
        // The bar ends full after an error too; Save Log is offered.
        QCOMPARE(control<QProgressBar>("pbWrite")->value(), 100);
        QVERIFY(control<QPushButton>("btnSaveLog")->isEnabled());
        QCOMPARE(finishText(), QStringLiteral("Tavrin has finished with error"));
    }

    void savedLogReplacesTheFileAndPadsLinesWithoutTime() {
        const QString image = makeImage(QStringLiteral("log.iso"), 100 * kSector);
        toImageSheet();
        burnFromImageSheet(image, QStringLiteral("Track-At-Once"), false);
        const QString logFile = path(QStringLiteral("burn.txt"));
        TsbDialogs::PresetFileName(logFile);
        TsbDialogs::PresetFileName(logFile);
        QTest::mouseClick(control<QPushButton>("btnSaveLog"), Qt::LeftButton);
        QTest::mouseClick(control<QPushButton>("btnSaveLog"), Qt::LeftButton);
        QVERIFY(errors().isEmpty());

        const QStringList rows = logRows();
        const QByteArray saved = readAll(logFile);
        QVERIFY(saved.endsWith("\r\n"));
        const QList<QByteArray> lines = saved.chopped(2).split('\n');
        QCOMPARE(lines.size(), rows.size()); // the second save replaced the first
        // The wizard's own lines have no time: eight blanks keep the column.
        QCOMPARE(lines[0], QByteArray("         Burning image\r"));
        QCOMPARE(lines[1], QByteArray("         Destination device: Writer One\r"));
        const QRegularExpression timed(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d (.*)$"));
        const auto match = timed.match(QString::fromUtf8(lines.last()));
        QVERIFY(match.hasMatch());
        QCOMPARE(match.captured(1), QStringLiteral("Burning completed"));
        // Cancelling the dialog writes nothing.
        QFile::remove(logFile);
        TsbDialogs::PresetFileName(QString());
        QTest::mouseClick(control<QPushButton>("btnSaveLog"), Qt::LeftButton);
        QVERIFY(!QFile::exists(logFile));
    }

    void proposedLogName() {
        const QDateTime at(QDate(2024, 12, 7), QTime(4, 31, 7));
        QCOMPARE(ProposedLogFileName(at), QStringLiteral("Log_0712_0431.txt"));
        QCOMPARE(ProposedLogFileName(QDateTime(QDate(2025, 2, 3), QTime(9, 5))),
                 QStringLiteral("Log_0302_0905.txt"));
        QCOMPARE(LogTimeText(at), QStringLiteral("04:31:07"));
    }

    void libraryFailingToStartKeepsTheFirstSheet() {
        ::setenv("STARBURN_CONFIG", path(QStringLiteral("missing.ini")).toLocal8Bit().constData(),
                 1);
        start();
        next();
        const QStringList shown = errors();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("StarBurn_UpStartEx() failed, exception ")),
                 qPrintable(shown[0]));
        QCOMPARE(m_main->CurrentSheet(), 0);
        // The next Next tries again.
        ::setenv("STARBURN_CONFIG", path(QStringLiteral("starburn.ini")).toLocal8Bit().constData(),
                 1);
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 2);
    }

    void recorderSheetChecks_data() {
        QTest::addColumn<QString>("writerExtra");
        QTest::addColumn<QString>("more");
        QTest::addColumn<QString>("message");
        QTest::newRow("no recorder")
            << QStringLiteral("Writes = none\n") << QString()
            << QStringLiteral("You must select device that is supports burning "
                              "CD/DVD");
        QTest::newRow("not blank")
            << QStringLiteral("DiscState = appendable\nDiscUsed = 100\n") << QString()
            << QStringLiteral("Disc is not blank, burning is impossible!");
        QTest::newRow("no media") << QStringLiteral("Disc = none\n") << QString()
                                  << QStringLiteral("No media in drive");
        QTest::newRow("track not writable")
            << QString()
            << QStringLiteral(
                   "\n[Fault track]\nCall = StarBurn_CdvdBurnerGrabber_GetTrackInformation"
                   "\nDevice = CdRom0\nException = 5\nCount = 0\n")
            << QStringLiteral("No writable disc is inserted");
        QTest::newRow("disc information missing")
            << QString()
            << QStringLiteral("\n[Fault disc]\nCall = StarBurn_CdvdBurnerGrabber_GetDiscInformation"
                              "\nDevice = CdRom0\nException = 5\nCount = 0\n")
            << QStringLiteral("No writable disc is inserted");
        QTest::newRow("the only writer is in use")
            << QString() << heldWriterFault()
            << QStringLiteral("The recorder Writer One is in use by another program (process "
                              "4242), close it there and try again");
    }

    void recorderSheetChecks() {
        QFETCH(QString, writerExtra);
        QFETCH(QString, more);
        QFETCH(QString, message);
        writeConfig(writerConfig(writerExtra, more));
        start();
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 2);
        next();
        QCOMPARE(errors(), QStringList{message});
        QCOMPARE(m_main->CurrentSheet(), 2);
        QVERIFY(m_main->Burner().Grabber == nullptr); // nothing was opened
    }

    void imageSheetChecks() {
        toImageSheet();
        // Nothing chosen, then a name that does not exist.
        next();
        QCOMPARE(errors(), QStringList{QStringLiteral("You must select image file")});
        QTest::keyClicks(control<QLineEdit>("Edit1"), path(QStringLiteral("nothing.iso")));
        next();
        QCOMPARE(errors(), QStringList{QStringLiteral("You must select image file")});
        QCOMPARE(m_main->CurrentSheet(), 3);

        // One byte more than the disc holds, then exactly as much.
        const QString big = makeImage(QStringLiteral("big.iso"), kDiscBytes + 1);
        pickImage(big);
        next();
        QCOMPARE(errors(), QStringList{QStringLiteral("Image size is too big to fit disc space")});
        QCOMPARE(m_main->CurrentSheet(), 3);
        const QString exact = makeImage(QStringLiteral("exact.iso"), kDiscBytes);
        pickImage(exact);
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 5);
    }

    void noSpeedToChooseGivesAClearMessage() {
        toImageSheet();
        pickImage(makeImage(QStringLiteral("s.iso"), 10 * kSector));
        next();
        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        QCOMPARE(errors(), QStringList());
        // A speed list left empty (a fill that failed after the sheet was
        // shown) while the box still shows its old entries.
        m_main->OptionsPage->SpeedList().Clear();
        next();
        QCOMPARE(errors(), QStringList{QString::fromLatin1(NoSpeedSelectedText)});
        QCOMPARE(m_main->CurrentSheet(), 4);
        QCOMPARE(m_main->WizardActions().Count(), 0);
    }

    void backFromImageSheetReleasesTheLock() {
        toImageSheet();
        QVERIFY(!trayUnlocked()); // locked by the wizard
        back();
        QCOMPARE(m_main->CurrentSheet(), 2);
        QCOMPARE(m_main->WizardLog().Count(), 2); // the image sheet added nothing yet
        QVERIFY(trayUnlocked());
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 3);
        QVERIFY(m_main->Burner().Grabber != nullptr);
        QVERIFY(!trayUnlocked()); // opened and locked again
    }

    void backFromOptionsToModeClearsTheOptions() {
        toImageSheet();
        pickImage(makeImage(QStringLiteral("o.iso"), 10 * kSector));
        next();
        chooseMode(QStringLiteral("Track-At-Once"), false);
        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        next();
        QCOMPARE(m_main->CurrentSheet(), 6);
        QCOMPARE(m_main->WizardOptions.SpeedFactor, 16);
        QCOMPARE(m_main->WizardOptions.MultiSession, uint8_t(1));
        back();
        back();
        QCOMPARE(m_main->CurrentSheet(), 5);
        QCOMPARE(m_main->WizardActions().Count(), 0); // the options sheet's action went
        next();
        QCOMPARE(m_main->CurrentSheet(), 4);
        QCOMPARE(m_main->WizardOptions.WriteMode, uint8_t(wmTrackAtOnceFromFile));
        QCOMPARE(m_main->WizardOptions.SpeedFactor, 0);
        QCOMPARE(m_main->WizardOptions.WriteSpeed, 0);
        QCOMPARE(m_main->WizardOptions.SendOPC, uint8_t(0));
        QCOMPARE(m_main->WizardOptions.MultiSession, uint8_t(0));
        QCOMPARE(m_main->Burner().SpeedFactor, 0);
        next();
        QCOMPARE(m_main->WizardOptions.SpeedFactor, 16);
        QCOMPARE(m_main->WizardActions().Count(), 1);
    }

    void backOnFirstSheetShowsWelcomeAndCancelEnds() {
        start();
        back();
        QVERIFY(!m_main->isVisible());
        QVERIFY(m_app->Welcome()->isVisible());
        QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
        QVERIFY(m_main->isVisible());
        QCOMPARE(m_main->CurrentSheet(), 0);
        QTest::mouseClick(m_main->ButtonClose, Qt::LeftButton);
        QVERIFY(!m_main->isVisible());
        QVERIFY(m_app->Terminated());
    }

    void closeButtonDuringAScanEndsAfterIt() {
        start();
        bool stillShown = false;
        bool terminatedDuringScan = false;
        bool scanning = false;
        QTimer::singleShot(0, this, [&] {
            scanning = m_main->DevicePage && m_main->DevicePage->WorkCount() > 0;
            QTest::mouseClick(m_main->ButtonExit, Qt::LeftButton);
            stillShown = m_main->isVisible();
            terminatedDuringScan = m_app->Terminated();
        });
        next();
        QVERIFY(scanning);
        QVERIFY(stillShown); // the window refuses to close while the scan runs
        QVERIFY(terminatedDuringScan);
        QVERIFY(m_app->Terminated());
        // The scan finished its work: the list is there, the navigation back.
        QCOMPARE(control<QTreeWidget>("lvDevices")->topLevelItemCount(), 1);
        QVERIFY(m_main->CloseAllowed);
    }

    // A drive another program holds is a greyed row with the library's text,
    // beside it and under the list; neither the wizard nor a click selects it.
    void aDriveInUseIsListedButCannotBeChosen() {
        writeConfig(writerConfig({}, heldWriterFault() + secondWriter()));
        start();
        next();
        QCOMPARE(errors(), QStringList());
        auto* devices = control<QTreeWidget>("lvDevices");
        QCOMPARE(devices->topLevelItemCount(), 2);
        QTreeWidgetItem* held = devices->topLevelItem(0);
        const QString advice = QStringLiteral("The recorder Writer One is in use by another "
                                              "program (process 4242), close it there and try "
                                              "again");
        QCOMPARE(held->text(0), QStringLiteral("CdRom0"));
        QCOMPARE(held->text(3), QStringLiteral("In use"));
        QCOMPARE(held->text(5), advice);
        QVERIFY(!(held->flags() & Qt::ItemIsSelectable));
        QVERIFY(!(held->flags() & Qt::ItemIsEnabled));
        auto* note = control<QLabel>("lblUnavailable");
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains(advice), qPrintable(note->text()));

        // The first drive that may be chosen is selected, and a click on the
        // held one changes nothing.
        QCOMPARE(m_main->DevicePage->GetSelectedDevicePath(), std::string("CdRom2"));
        QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                          devices->visualItemRect(held).center());
        QCOMPARE(m_main->DevicePage->GetSelectedDevicePath(), std::string("CdRom2"));
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 3);
        QCOMPARE(m_main->Burner().DeviceName, std::string("CdRom2"));
    }

    // The library's advice for a drive the user may not open, as long as the
    // system makes it: whole beside the row and under the list.
    void aDriveClosedToTheUserShowsTheWholeAdvice() {
        // A file of another user whose group may not write: the text the
        // library gives this process for it.
        const QString device = path(QStringLiteral("sr-closed"));
        QFile(device).open(QIODevice::WriteOnly);
        QVERIFY(::chown(QFile::encodeName(device).constData(), 65534, 65534) == 0 ||
                ::geteuid() != 0);
        QFile::setPermissions(device, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup);
        char text[2048] = {};
        StarBurnLibburnTesting_AccessAdvice(QFile::encodeName(device).constData(), EACCES, nullptr,
                                            text, sizeof text);
        const QString advice = QString::fromLocal8Bit(text);
        QVERIFY2(advice.size() > 250, qPrintable(advice));
        writeConfig(writerConfig({}, secondWriter() + QStringLiteral(R"INI(
[Fault closed]
Call = StarBurn_CdvdBurnerGrabber_GetAccess
Device = CdRom2
Exception = 7
Status = 13
Count = 0
Text = )INI") + advice + QStringLiteral("\n")));
        start();
        next();
        QCOMPARE(errors(), QStringList());
        auto* devices = control<QTreeWidget>("lvDevices");
        QTreeWidgetItem* closed = nullptr;
        for (int i = 0; i < devices->topLevelItemCount(); ++i) {
            if (devices->topLevelItem(i)->text(3) == QStringLiteral("No access")) {
                closed = devices->topLevelItem(i);
            }
        }
        QVERIFY(closed != nullptr);
        QCOMPARE(closed->text(5), advice);
        QCOMPARE(closed->toolTip(0), advice);
        auto* note = control<QLabel>("lblUnavailable");
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("Writer Two: ") + advice);
        QVERIFY2(note->heightForWidth(note->width()) <= note->height(),
                 qPrintable(QStringLiteral("%1 of %2 pixels")
                                .arg(note->heightForWidth(note->width()))
                                .arg(note->height())));
    }

    void refreshReselectsTheDevice() {
        writeConfig(writerConfig({}, secondWriter()));
        start();
        next();
        auto* devices = control<QTreeWidget>("lvDevices");
        QCOMPARE(devices->topLevelItemCount(), 2);
        QCOMPARE(devices->topLevelItem(0)->text(0), QStringLiteral("Writer One"));
        QTest::mouseClick(devices->viewport(), Qt::LeftButton, {},
                          devices->visualItemRect(devices->topLevelItem(1)).center());
        QCOMPARE(m_main->DevicePage->GetSelectedDevicePath(), std::string("CdRom2"));
        QTest::mouseClick(control<QPushButton>("btnRefresh"), Qt::LeftButton);
        QCOMPARE(devices->topLevelItemCount(), 2);
        QCOMPARE(m_main->DevicePage->GetSelectedDevicePath(), std::string("CdRom2"));
        QCOMPARE(m_main->DevicePage->GetPageLog()->Items(0).LogMessage,
                 std::string("Destination device: Writer Two"));
    }
};

QTEST_MAIN(TestWizard)
#include "wizard_test.moc"
