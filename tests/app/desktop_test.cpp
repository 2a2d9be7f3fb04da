// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard as a Linux desktop user meets it: whole texts on every window in
// both skins, the keyboard, a typed, dropped or command-line image, the
// remembered folder, names shown as spelled, minimise and restore, the
// caption and title while a burn runs, and the notification of its end.
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "devices/ufrmSelectDevice.h"
#include "forms/UtilFuncs.h"
#include "forms/sbNotify.h"
#include "pages/ufrmAbout.h"
#include "pages/ufrmCopyDisc.h"
#include "pages/ufrmFinalAction.h"
#include "pages/ufrmOptionsSummary.h"
#include "pages/ufrmSourceFileSelection.h"
#include "starburn/StarBurnTesting.h"
#include "tests/support/TestProgram.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"
#include "ui/sbPageControl.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>

#ifndef TAVRIN_BIN_DIR
#error "TAVRIN_BIN_DIR names the build's program folder (its art)"
#endif

namespace {

constexpr int kSector = 2048;

// A CD writer with a blank CD-R of 1024 sectors (2 MB).
const char* const kWriterConfig = R"INI(
[Virtual]
TimeFactor = 0
BuiltInRecorders = no

[Recorder writer]
DeviceName = CdRom0
Address = 1:0:0:0
Vendor = ACME
Product = Writer One
Revision = 4.2
Writes = CD-R, CD-RW
WriteModes = TAO, SAO
TestWrite = yes
CDWriteSpeeds = 4, 8, 16
Disc = CD-R
DiscCapacity = 1024
)INI";

QString stripped(QString text) {
    return text.remove(QLatin1Char('&'));
}

// Where a control shows less than its whole text: its own box too small for
// the text in its font, or the text reaching out of a parent, which cuts it.
// Measured from the font, not from the control's own size hint.
// The visible controls of a window that a screen reader finds without a
// name, or (when they take the focus) without a description.
QStringList unnamedControls(QWidget* window) {
    QStringList missing;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QTreeWidget*>(w) ||
                             qobject_cast<QProgressBar*>(w) || qobject_cast<QTextEdit*>(w) ||
                             w->objectName() == QLatin1String("pcBurner");
        if (!control || !w->isVisibleTo(window)) {
            continue;
        }
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        if (face == nullptr || face->text(QAccessible::Name).trimmed().isEmpty()) {
            missing << w->objectName() + QStringLiteral(" (name)");
        } else if ((w->focusPolicy() & Qt::TabFocus) &&
                   face->text(QAccessible::Description).trimmed().isEmpty() &&
                   !qobject_cast<QCheckBox*>(w) && !qobject_cast<QRadioButton*>(w)) {
            missing << w->objectName() + QStringLiteral(" (description)");
        }
    }
    return missing;
}

QStringList clippedTexts(QWidget* window) {
    QStringList clipped;
    const auto widgets = window->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (!w->isVisibleTo(window) || w->isWindow()) {
            continue;
        }
        const QFontMetrics fm(w->font());
        QString text;
        QRect textBox; // where the text must fit, in w's coordinates
        QSize need;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            // A label with a buddy draws its mnemonic as an underline.
            text = label->buddy() ? stripped(label->text()) : label->text();
            if (text.isEmpty() || !label->pixmap().isNull() ||
                (Qt::mightBeRichText(text) && label->textFormat() != Qt::PlainText)) {
                continue;
            }
            const QRect box = label->contentsRect();
            const int flags = label->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine;
            need = fm.boundingRect(QRect(0, 0, label->wordWrap() ? box.width() : 100000, 100000),
                                   flags, text)
                       .size();
            textBox = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                          need.boundedTo(box.size()).expandedTo({1, 1}), box);
            if (need.width() > box.width() || need.height() > box.height()) {
                clipped << QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
                               .arg(w->objectName(), text)
                               .arg(need.width())
                               .arg(need.height())
                               .arg(box.width())
                               .arg(box.height());
                continue;
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = stripped(button->text());
            if (text.isEmpty()) {
                continue;
            }
            int room = button->width();
            if (qobject_cast<QCheckBox*>(w)) {
                room -= w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                        w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
            } else if (qobject_cast<QRadioButton*>(w)) {
                room -= w->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                        w->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
            } else if (qobject_cast<QPushButton*>(w)) {
                // The style's margins on both sides of the caption.
                room -= 2 * w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
            } else {
                room -= 4; // an image button's frame
            }
            need = QSize(fm.horizontalAdvance(text), fm.height());
            if (need.width() > room || need.height() > button->height()) {
                clipped << QStringLiteral("%1 \"%2\" needs %3 pixels, has %4")
                               .arg(w->objectName(), text)
                               .arg(need.width())
                               .arg(room);
                continue;
            }
            textBox = QRect(QPoint(button->width() - std::min(button->width(), need.width()), 0),
                            QSize(std::min(button->width(), need.width()), button->height()));
            if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
                textBox.moveLeft(0);
                textBox.setWidth(std::min(button->width(), need.width() + button->width() - room));
            } else {
                textBox = button->rect();
            }
        } else {
            continue;
        }
        for (QWidget* a = w->parentWidget(); a; a = a->parentWidget()) {
            const QRect inAncestor(w->mapTo(a, textBox.topLeft()), textBox.size());
            if (!a->rect().contains(inAncestor)) {
                clipped << QStringLiteral("%1 \"%2\" reaches out of %3")
                               .arg(w->objectName(), text, a->objectName());
                break;
            }
            if (a == window) {
                break;
            }
        }
        // A button that grew for its text must not slide under its neighbour.
        if (qobject_cast<QPushButton*>(w)) {
            for (auto* other : w->parentWidget()->findChildren<QPushButton*>(
                     QString(), Qt::FindDirectChildrenOnly)) {
                if (other != w && other->isVisibleTo(window) &&
                    other->geometry().intersects(w->geometry())) {
                    clipped << QStringLiteral("%1 \"%2\" lies under %3")
                                   .arg(w->objectName(), text, other->objectName());
                }
            }
        }
    }
    return clipped;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TTestProgram> m_program;
    std::unique_ptr<TsbApplication> m_app;
    TMainForm* m_main = nullptr;
    QList<QPair<QString, QString>> m_notified;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    QString makeImage(const QString& name, qint64 sectors) {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            !file.resize(sectors * kSector)) {
            return {};
        }
        return file.fileName();
    }

    // The program folder with the build's art in one of its two skins.
    void useRealArt(int skin) {
        m_program->Folder.WriteSettings(
            QStringLiteral("[SYSTEM]\nName=Tavrin\nVersion=1.0.0\nRes=%1\nSkin=%2\n")
                .arg(skin == 1 ? QStringLiteral("2") : QString())
                .arg(skin));
        const QString sounds = m_program->Folder.Path() + QStringLiteral("sounds");
        if (QFileInfo(sounds).isSymLink()) {
            QFile::remove(sounds);
        } else {
            QDir(sounds).removeRecursively();
        }
        QVERIFY(QFile::link(QStringLiteral(TAVRIN_BIN_DIR "/sounds"), sounds));
        // And the build's translations, for the runs in another language.
        const QString translations = m_program->Folder.Path() + QStringLiteral("translations");
        QFile::remove(translations);
        QVERIFY(QFile::link(QStringLiteral(TAVRIN_BIN_DIR "/translations"), translations));
    }

    template <class T>
    T* control(const char* name) const {
        return m_main->findChild<T*>(QString::fromLatin1(name));
    }

    void start() {
        m_app = std::make_unique<TsbApplication>();
        m_main = m_app->Main();
        m_app->Welcome()->show();
        QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
        QVERIFY(m_main->isVisible());
    }

    void next() { QTest::mouseClick(m_main->ButtonNext, Qt::LeftButton); }

    QStringList errors() {
        QStringList texts;
        for (const auto& box : TsbDialogs::ShownMessages(TsbMsgKind::mkError)) {
            texts << box.Text;
        }
        TsbDialogs::ClearShown();
        return texts;
    }

    void toImageSheet() {
        start();
        next();
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 3);
    }

    // From the image sheet with image named to the end of the burn.
    void burn() {
        next(); // mode
        QCOMPARE(m_main->CurrentSheet(), 5);
        next(); // options
        next(); // summary
        QCOMPARE(m_main->CurrentSheet(), 6);
        next(); // the burn
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 1);
        QCOMPARE(m_main->RunState, 2);
    }

    static void activate(QWidget* w) {
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_program = std::make_unique<TTestProgram>();
        m_program->Folder.WriteArt({}, {772, 547});
        m_program->Folder.WriteSettings(QStringLiteral("[SYSTEM]\nName=Tavrin\nVersion=1.0.0\n"));
        QFile config(path(QStringLiteral("starburn.ini")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(kWriterConfig);
        config.close();
        ::setenv("STARBURN_CONFIG", config.fileName().toLocal8Bit().constData(), 1);
        ::setenv("STARBURN_STATE_DIR", path(QStringLiteral("state")).toLocal8Bit().constData(), 1);
        ::setenv("TAVRIN_REGISTRY", path(QStringLiteral("registry.ini")).toLocal8Bit().constData(),
                 1);
        m_notified.clear();
        SetNotifyHandler([this](const QString& title, const QString& body) {
            m_notified.append({title, body});
            return true;
        });
    }

    void cleanup() {
        SetNotifyHandler(nullptr);
        m_main = nullptr;
        m_app.reset();
        m_program.reset();
        m_dir.reset();
    }

    // Also run at QT_SCALE_FACTOR=2 (a ctest entry of its own).
    void wholeTextsOnEveryWindowInBothSkins() {
        const QString image = makeImage(QStringLiteral("image.iso"), 200);
        for (int skin : {0, 1}) {
            useRealArt(skin);
            m_app = std::make_unique<TsbApplication>();
            m_main = m_app->Main();
            QCOMPARE(m_main->AppliedLayout(), skin);
            // On a scaled screen the logos come at the screen's pixel ratio,
            // drawn smoothly once, not stretched pixel by pixel.
            QCOMPARE(m_main->ImageTopLogo->pixmap().devicePixelRatio(),
                     m_main->devicePixelRatioF());
            // The Tahoma-metric font of fonts-wine stands in when the system has none.
            if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
                QCOMPARE(QFontInfo(m_main->font()).family(), QStringLiteral("Tahoma"));
            }
            const auto check = [skin](QWidget* window, const QString& where) {
                QApplication::processEvents();
                const QStringList clipped = clippedTexts(window);
                QVERIFY2(clipped.isEmpty(),
                         qPrintable(QStringLiteral("skin %1, %2: %3")
                                        .arg(skin)
                                        .arg(where, clipped.join(QLatin1String("; ")))));
            };
            m_app->Welcome()->show();
            check(m_app->Welcome(), QStringLiteral("welcome"));
            m_app->About()->show();
            check(m_app->About(), QStringLiteral("about"));
            m_app->About()->hide();
            QTest::mouseClick(m_app->Welcome()->btnCopyDisc, Qt::LeftButton);
            TfrmCopyDisc* copy = m_app->Welcome()->CopyWindow();
            QVERIFY(copy != nullptr && copy->isVisible());
            check(copy, QStringLiteral("copy"));
            QTest::mouseClick(copy->btnClose, Qt::LeftButton);
            QVERIFY(!copy->isVisible());
            QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
            for (int sheet : {0, 2, 3, 5, 4, 6}) {
                QCOMPARE(m_main->CurrentSheet(), sheet);
                if (sheet == 3) {
                    m_main->SourcePage->Edit1->setText(image);
                    m_main->SourcePage->ReadImageFileSize();
                }
                check(m_main, QStringLiteral("sheet %1").arg(sheet));
                next();
                QCOMPARE(errors(), QStringList());
            }
            QCOMPARE(m_main->CurrentSheet(), 1);
            check(m_main, QStringLiteral("burned"));
            next();
            QVERIFY(m_app->Finish()->isVisible());
            check(m_app->Finish(), QStringLiteral("finish"));
            m_main = nullptr;
            m_app.reset();
        }
    }

    // Also run in German (desktop_test_de). No mouse event from the welcome
    // window to the finish window: Enter goes on, the path is typed, and on
    // every sheet the focus lands on its first control and every control
    // has a name for a screen reader.
    void keyboardAloneBurnsAndEveryControlIsNamed() {
        const QString image = makeImage(QStringLiteral("image.iso"), 200);
        useRealArt(0);
        m_app = std::make_unique<TsbApplication>();
        m_main = m_app->Main();
        activate(m_app->Welcome());
        QTest::keyClick(m_app->Welcome(), Qt::Key_Return);
        QVERIFY(m_main->isVisible());
        activate(m_main);
        // The run in German is in German.
        QCOMPARE(m_main->ButtonNext->text() == QStringLiteral("&Weiter >"),
                 qgetenv("LANGUAGE") == "de");
        for (int sheet : {0, 2, 3, 5, 4, 6}) {
            // The device search's progress window hands the keyboard back.
            QTRY_VERIFY(m_main->isActiveWindow());
            QCOMPARE(m_main->CurrentSheet(), sheet);
            QWidget* focused = QApplication::focusWidget();
            QVERIFY2(
                focused && m_main->pcBurner->ActivePage()->isAncestorOf(focused),
                qPrintable(QStringLiteral("sheet %1: %2")
                               .arg(sheet)
                               .arg(focused ? focused->objectName() : QStringLiteral("none"))));
            const QStringList unnamed = unnamedControls(m_main);
            QVERIFY2(unnamed.isEmpty(), qPrintable(QStringLiteral("sheet %1: %2")
                                                       .arg(sheet)
                                                       .arg(unnamed.join(QLatin1String(", ")))));
            if (sheet == 2) {
                for (int i = 0; i < m_main->DevicePage->lvDevices->topLevelItemCount(); ++i) {
                    QTreeWidgetItem* row = m_main->DevicePage->lvDevices->topLevelItem(i);
                    QVERIFY(!row->data(0, Qt::AccessibleTextRole).toString().isEmpty());
                    QVERIFY(!row->data(0, Qt::AccessibleDescriptionRole).toString().isEmpty());
                }
            }
            if (sheet == 3) {
                QCOMPARE(focused, static_cast<QWidget*>(m_main->SourcePage->Edit1));
                QTest::keyClicks(focused, image);
            }
            QTest::keyClick(focused, Qt::Key_Return);
            QCOMPARE(errors(), QStringList());
        }
        QCOMPARE(m_main->CurrentSheet(), 1);
        QCOMPARE(m_main->RunState, 2);
        QVERIFY(m_main->FinalPage->btnSaveLog->isEnabled());
        // After the burn the focus is on the sheet again, its log first.
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(m_main->FinalPage->lvLog));
        QCOMPARE(unnamedControls(m_main), QStringList());
        QAccessibleInterface* bar =
            QAccessible::queryAccessibleInterface(m_main->FinalPage->pbWrite);
        QVERIFY(bar && bar->valueInterface());
        QCOMPARE(bar->valueInterface()->currentValue().toInt(), 100);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(m_app->Finish()->isVisible());
        QCOMPARE(m_app->Finish()->DescriptionLabel->text(), FinishOutcomeText(true, false));
    }

    void typedPathIsSizedAfterAPauseAndCheckedOnNext() {
        const QString small = makeImage(QStringLiteral("small.iso"), 100);
        const QString big = makeImage(QStringLiteral("big.iso"), 2000); // 3.91 MB > 2 MB
        toImageSheet();
        TsbDialogs::PresetFileName(small);
        QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton);
        auto* sizeLine = control<QLabel>("lblSizeInformation");
        QVERIFY2(sizeLine->text().startsWith(QStringLiteral("File size: 0.20 Mb")),
                 qPrintable(sizeLine->text()));
        // Typed over the picked name: Next at once checks the file named now.
        auto* edit = control<QLineEdit>("Edit1");
        edit->selectAll();
        QTest::keyClicks(edit, big);
        QCOMPARE(edit->text(), big);
        next();
        QCOMPARE(errors(), QStringList{QStringLiteral("Image size is too big to fit disc space")});
        QCOMPARE(m_main->CurrentSheet(), 3);
        // After a pause in typing the size line follows too.
        edit->setText(small);
        QVERIFY(sizeLine->text().contains(QStringLiteral("3.91 Mb")));
        QTRY_VERIFY(sizeLine->text().startsWith(QStringLiteral("File size: 0.20 Mb")));
        edit->setText(path(QStringLiteral("nothing-here.iso")));
        QTRY_VERIFY(sizeLine->text().startsWith(QStringLiteral("File size: 0.00 Mb")));
        edit->setText(small);
        next();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->CurrentSheet(), 5);
    }

    void droppedOrCommandLineImageFillsThePathAndTheFolderIsRemembered() {
        const QString image = makeImage(QStringLiteral("dropped.iso"), 100);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(image)});
        const auto dragEnter = [&] {
            QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton,
                                  Qt::NoModifier);
            QApplication::sendEvent(m_main, &enter);
            return enter.isAccepted();
        };
        start();
        QVERIFY(!dragEnter()); // not on the transport sheet
        next();
        next();
        QCOMPARE(m_main->CurrentSheet(), 3);
        QVERIFY(dragEnter());
        QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_main, &drop);
        QCOMPARE(control<QLineEdit>("Edit1")->text(), image);
        QTRY_VERIFY(control<QLabel>("lblSizeInformation")
                        ->text()
                        .startsWith(QStringLiteral("File size: 0.20 Mb")));
        next();
        QCOMPARE(m_main->CurrentSheet(), 5);
        QVERIFY(
            QFile::exists(m_program->Folder.Path() + QStringLiteral("config/tavrin/tavrin.conf")));
        m_main = nullptr;
        m_app.reset();

        // tavrin IMAGE: the image sheet starts with it; "..." opens in the
        // folder remembered from the last run.
        const TsbCommandLine line = ParseCommandLine(
            {QStringLiteral("tavrin"), QStringLiteral("other.iso")}, QStringLiteral("1.0.0"));
        QVERIFY(!line.Exit);
        QCOMPARE(line.Image, QDir::current().absoluteFilePath(QStringLiteral("other.iso")));
        m_app = std::make_unique<TsbApplication>();
        m_app->SetInitialImage(image);
        m_main = m_app->Main();
        m_app->Welcome()->show();
        QTest::mouseClick(m_app->Welcome()->ButtonNext, Qt::LeftButton);
        next();
        next();
        QCOMPARE(m_main->CurrentSheet(), 3);
        QCOMPARE(control<QLineEdit>("Edit1")->text(), image);
        control<QLineEdit>("Edit1")->clear();
        TsbDialogs::ClearShown();
        QTest::mouseClick(control<QPushButton>("Button1"), Qt::LeftButton);
        QCOMPARE(TsbDialogs::Shown().back().Text, m_dir->path());
    }

    void commandLineHelpVersionAndMistakes() {
        const QString version = QStringLiteral("2.5.1");
        const TsbCommandLine help =
            ParseCommandLine({QStringLiteral("tavrin"), QStringLiteral("--help")}, version);
        QVERIFY(help.Exit);
        QCOMPARE(help.ExitCode, 0);
        QVERIFY(help.Output.contains(QStringLiteral("[IMAGE]")));
        const TsbCommandLine ver =
            ParseCommandLine({QStringLiteral("tavrin"), QStringLiteral("--version")}, version);
        QCOMPARE(ver.Output, QStringLiteral("tavrin 2.5.1\n"));
        for (const QStringList& wrong :
             {QStringList{QStringLiteral("tavrin"), QStringLiteral("a.iso"),
                          QStringLiteral("b.iso")},
              QStringList{QStringLiteral("tavrin"), QStringLiteral("--burn")}}) {
            const TsbCommandLine line = ParseCommandLine(wrong, version);
            QVERIFY(line.Exit);
            QCOMPARE(line.ExitCode, 2);
            QVERIFY(!line.Output.isEmpty());
        }
    }

    void waylandSessionStartsOnXWaylandUnlessAPlatformIsChosen() {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        const QByteArray session = qgetenv("XDG_SESSION_TYPE");
        const QByteArray display = qgetenv("DISPLAY");
        const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("XDG_SESSION_TYPE", "wayland");
        qputenv("DISPLAY", ":0");
        const QStringList plain{QStringLiteral("tavrin")};
        const QString onWayland = ChoosePlatform(plain);
        const QString chosenByArgument = ChoosePlatform(
            {QStringLiteral("tavrin"), QStringLiteral("-platform"), QStringLiteral("wayland")});
        qputenv("QT_QPA_PLATFORM", "wayland");
        const QString chosenByVariable = ChoosePlatform(plain);
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("XDG_SESSION_TYPE", "x11");
        const QString onX11 = ChoosePlatform(plain);
        qputenv("QT_QPA_PLATFORM", platform);
        qputenv("XDG_SESSION_TYPE", session);
        qputenv("DISPLAY", display);
        qputenv("WAYLAND_DISPLAY", wayland);
        QCOMPARE(onWayland, QStringLiteral("xcb"));
        QCOMPARE(chosenByArgument, QString());
        QCOMPARE(chosenByVariable, QString());
        QCOMPARE(onX11, QString());
    }

    void keyboardAloneWalksTheWizard() {
        m_app = std::make_unique<TsbApplication>();
        m_main = m_app->Main();
        activate(m_app->Welcome());
        QTest::keyClick(m_app->Welcome(), Qt::Key_Return);
        QVERIFY(m_main->isVisible());
        activate(m_main);
        QTest::keyClick(m_main, Qt::Key_Return);
        QCOMPARE(m_main->CurrentSheet(), 2);
        // A mnemonic clicks its button a moment later, as the user sees it pressed.
        // The scan's progress window took the activation with it.
        activate(m_main);
        QTest::keyClick(m_main, Qt::Key_B, Qt::AltModifier);
        QTRY_COMPARE(m_main->CurrentSheet(), 0);
        QTest::keyClick(m_main, Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(m_main->CurrentSheet(), 2);
        activate(m_main);

        // Tab: every control of the sheet in reading order, then the bottom row.
        QList<QWidget*> expected;
        for (QWidget* w : m_main->findChildren<QWidget*>()) {
            if (w->isVisibleTo(m_main) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
                !w->focusProxy()) {
                expected << w;
            }
        }
        m_main->ButtonClose->setFocus();
        QList<QWidget*> seen;
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            if (seen.contains(focused)) {
                break;
            }
            seen << focused;
        }
        QCOMPARE(seen.size(), expected.size());
        for (QWidget* w : expected) {
            QVERIFY2(seen.contains(w), qPrintable(w->objectName()));
        }
        QCOMPARE(seen.last(), static_cast<QWidget*>(m_main->ButtonClose));
        const int bottom = seen.indexOf(m_main->ButtonHelp);
        QCOMPARE(seen.mid(bottom),
                 (QList<QWidget*>{m_main->ButtonHelp, m_main->ButtonAbout, m_main->ButtonPrev,
                                  m_main->ButtonNext, m_main->ButtonClose}));
        for (int i = 1; i < bottom; ++i) {
            const QRect a(seen[i - 1]->mapTo(m_main, QPoint()), seen[i - 1]->size());
            const QRect b(seen[i]->mapTo(m_main, QPoint()), seen[i]->size());
            const bool sameRow = std::abs(a.center().y() - b.center().y()) < a.height() / 2 + 4;
            QVERIFY2(sameRow ? b.left() > a.left() : b.top() > a.top(),
                     qPrintable(seen[i]->objectName() + QStringLiteral(" after ") +
                                seen[i - 1]->objectName()));
        }

        // The focused button is marked; each image button says what it is.
        m_main->ButtonNext->setFocus();
        const QImage focused = m_main->ButtonNext->grab().toImage();
        m_main->ButtonPrev->setFocus();
        QVERIFY(m_main->ButtonNext->grab().toImage() != focused);
        for (TsbImageButton* b : m_main->findChildren<TsbImageButton*>()) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(b);
            QVERIFY(face);
            const QString name = face->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(b->objectName()));
            QCOMPARE(name, b->text().isEmpty() ? b->toolTip() : stripped(b->text()));
        }

        // Esc is Cancel: on the first sheets it ends the program.
        QTest::keyClick(m_main, Qt::Key_Escape);
        QVERIFY(m_app->Terminated());
    }

    void burnShowsItsFiguresAndTellsTheDesktopWhenUnseen() {
        const QString image = makeImage(QStringLiteral("a <b>bold<i> &amp; co.iso"), 1000);
        QVERIFY(!image.isEmpty());
        toImageSheet();
        control<QLineEdit>("Edit1")->setText(image);
        next();
        next();
        next();
        const QStringList shown = errors();
        QVERIFY2(shown.isEmpty(), qPrintable(shown.join(QLatin1Char('|'))));
        QCOMPARE(m_main->CurrentSheet(), 6);
        // The name as it is spelled, not as markup.
        const QString summary = control<QTextEdit>("edtSummary")->toPlainText();
        QVERIFY2(summary.contains(image), qPrintable(summary));

        // Watched while it runs: the caption and the title carry the figures.
        StarBurnTesting_SlowWrite("CdRom0", 4 * 1024 * 1024);
        QStringList captions, titles;
        bool escaped = false;
        size_t questions = 0;
        QTimer probe;
        probe.setInterval(10);
        connect(&probe, &QTimer::timeout, this, [&] {
            if (m_main->RunState == 1) {
                captions << control<QLabel>("lablProgressCaption")->text();
                titles << m_main->windowTitle();
                // Esc during the write asks Cancel's question; "No" goes on.
                if (!escaped && m_main->ButtonClose->isEnabled()) {
                    escaped = true;
                    TsbDialogs::PresetAnswer(TsbMsgResult::mrNo);
                    QTest::keyClick(m_main, Qt::Key_Escape);
                    questions = TsbDialogs::ShownMessages(TsbMsgKind::mkConfirmation).size();
                }
            }
        });
        probe.start();
        activate(m_main);
        next();
        probe.stop();
        QCOMPARE(errors(), QStringList());
        QCOMPARE(m_main->RunState, 2);
        const QRegularExpression caption(
            QStringLiteral("^\\d+\\.\\d of 2\\.0 MB · \\d+\\.\\d MB/s \\(\\d+x\\) · "
                           "\\d:\\d\\d elapsed · \\d:\\d\\d left$"));
        QVERIFY2(captions.filter(caption).size() > 0, qPrintable(captions.join(QLatin1Char('|'))));
        QVERIFY(titles.filter(QRegularExpression(QStringLiteral("^\\d+% — Tavrin$"))).size() > 0);
        QCOMPARE(m_main->windowTitle(), QStringLiteral("Tavrin"));
        QVERIFY(escaped);
        QCOMPARE(questions, size_t(1));
        QVERIFY(control<QTreeWidget>("lvLog")
                    ->findItems(QStringLiteral("Burning completed"), Qt::MatchExactly)
                    .size() == 1);
        // The user was looking: no notification.
        QCOMPARE(m_notified.size(), 0);
    }

    void burnEndingUnseenIsNotified() {
        const QString image = makeImage(QStringLiteral("unseen.iso"), 100);
        toImageSheet();
        control<QLineEdit>("Edit1")->setText(image);
        next();
        next();
        next();
        QWidget elsewhere;
        elsewhere.resize(100, 100);
        activate(&elsewhere);
        next();
        QCOMPARE(m_main->RunState, 2);
        QCOMPARE(m_notified.size(), 1);
        QCOMPARE(m_notified[0].first, QStringLiteral("Tavrin"));
        QCOMPARE(m_notified[0].second, FinishOutcomeText(true, false));
    }

    void restoringOneMinimisedWindowRestoresTheOthers() {
        start();
        m_app->About()->show();
        const auto minimized = m_app->Minimize();
        QCOMPARE(minimized.size(), size_t(2));
        QVERIFY(m_main->isMinimized());
        QVERIFY(m_app->About()->isMinimized());
        m_main->showNormal();
        QVERIFY(!m_app->About()->isMinimized());
        QVERIFY(m_app->About()->isVisible());
    }
};

QTEST_MAIN(TestDesktop)
#include "desktop_test.moc"
