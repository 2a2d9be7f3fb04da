// SPDX-License-Identifier: GPL-2.0-or-later
// The skinned controls on their own: frame and outline, dragging, image
// buttons, the page control, the animation strip, the dialogs service and the
// handler guard.
#include "ui/sbAnimate.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"
#include "ui/sbImageButton.h"
#include "ui/sbPageControl.h"
#include "ui/sbSkinnedForm.h"
#include "ui/sbTextFit.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <stdexcept>

namespace {

QImage solid(QSize size, const QColor& color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QPixmap solidPixmap(QSize size, const QColor& color) {
    return QPixmap::fromImage(solid(size, color));
}

} // namespace

class TestUi : public QObject {
    Q_OBJECT

private slots:
    void init() { TsbDialogs::BeginPresets(); }
    void cleanup() { TsbDialogs::EndPresets(); }

    void frameTakesBitmapSizeAndCutsMagenta() {
        TsbSkinnedForm form;
        QImage frame = solid({200, 100}, QColor(10, 20, 30));
        // A magenta border column on the left and one stray pixel.
        for (int y = 0; y < 100; ++y) {
            frame.setPixel(0, y, qRgb(255, 0, 255));
        }
        frame.setPixel(150, 50, qRgb(255, 0, 255));
        form.SetFrameBitmap(frame);
        QCOMPARE(form.size(), QSize(200, 100));
        const QRegion outline = form.mask();
        QVERIFY(!outline.contains(QPoint(0, 0)));
        QVERIFY(!outline.contains(QPoint(0, 99)));
        QVERIFY(!outline.contains(QPoint(150, 50)));
        QVERIFY(outline.contains(QPoint(1, 0)));
        QVERIFY(outline.contains(QPoint(149, 50)));
        QVERIFY(outline.contains(QPoint(151, 50)));
        QVERIFY(outline.contains(QPoint(199, 99)));

        // Magenta next to magenta-like colours: only the exact key is cut.
        QImage near = solid({4, 1}, QColor(254, 0, 255));
        near.setPixel(2, 0, qRgb(255, 0, 255));
        const QRegion nearOutline = TsbSkinnedForm::OutlineOf(near);
        QVERIFY(nearOutline.contains(QPoint(1, 0)));
        QVERIFY(!nearOutline.contains(QPoint(2, 0)));
        QVERIFY(nearOutline.contains(QPoint(3, 0)));
    }

    void frameAndHandlesDragTheWindow() {
        TsbSkinnedForm form;
        form.SetFrameBitmap(solid({300, 200}, Qt::white));
        auto* logo = new QLabel(&form);
        logo->setGeometry(10, 10, 50, 20);
        form.AddDragHandle(logo);
        form.move(100, 100);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        // By a handle: the window follows the mouse until the button goes up.
        const QPoint start = form.pos();
        QTest::mousePress(logo, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(form.Dragging());
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5),
                         QPointF(logo->mapToGlobal(QPoint(5, 5)) + QPoint(40, 25)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(logo, &move);
        QCOMPARE(form.pos(), start + QPoint(40, 25));
        QTest::mouseRelease(logo, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!form.Dragging());

        // By the frame itself, with the left button.
        const QPoint second = form.pos();
        QTest::mousePress(&form, Qt::LeftButton, {}, QPoint(200, 150));
        QVERIFY(form.Dragging());
        QMouseEvent move2(QEvent::MouseMove, QPointF(200, 150),
                          QPointF(form.mapToGlobal(QPoint(200, 150)) + QPoint(-30, 12)),
                          Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &move2);
        QCOMPARE(form.pos(), second + QPoint(-30, 12));
        QTest::mouseRelease(&form, Qt::LeftButton, {}, QPoint(200, 150));
        QVERIFY(!form.Dragging());

        // Nowhere else: not with the right button, not from a plain label or
        // blank page space, not from a disabled button.
        auto* page = new QWidget(&form);
        page->setGeometry(100, 20, 150, 100);
        auto* label = new QLabel(QStringLiteral("Image file path:"), page);
        label->setGeometry(5, 5, 100, 14);
        auto* disabled = new QPushButton(QStringLiteral("Save Log"), page);
        disabled->setGeometry(5, 50, 80, 23);
        disabled->setEnabled(false);
        page->show();
        QTest::mousePress(&form, Qt::RightButton, {}, QPoint(200, 150));
        QVERIFY(!form.Dragging());
        QTest::mouseRelease(&form, Qt::RightButton, {}, QPoint(200, 150));
        QTest::mousePress(logo, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(!form.Dragging());
        QTest::mouseRelease(logo, Qt::RightButton, {}, QPoint(5, 5));
        for (QWidget* w : {page, static_cast<QWidget*>(label), static_cast<QWidget*>(disabled)}) {
            QTest::mousePress(w, Qt::LeftButton, {}, QPoint(3, 3));
            QVERIFY2(!form.Dragging(), qPrintable(w->metaObject()->className()));
            QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(3, 3));
        }

        // After the release, moves no longer move it.
        const QPoint rest = form.pos();
        QMouseEvent move3(QEvent::MouseMove, QPointF(1, 1), QPointF(rest + QPoint(300, 300)),
                          Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &move3);
        QCOMPARE(form.pos(), rest);
    }

    void imageButtonShowsThePictureOfItsState() {
        QWidget parent;
        TsbImageButton button(&parent);
        QCOMPARE(button.sizeHint(), QSize(88, 28)); // no art: a plain button
        button.SetPicture(TsbImageButton::bpNormal, solidPixmap({60, 24}, Qt::white));
        button.SetPicture(TsbImageButton::bpOver, solidPixmap({60, 24}, Qt::yellow));
        button.SetPicture(TsbImageButton::bpPressed, solidPixmap({60, 24}, Qt::red));
        button.SetPicture(TsbImageButton::bpDisabled, solidPixmap({60, 24}, Qt::gray));
        button.setText(QStringLiteral("&Next >"));
        QCOMPARE(button.size(), QSize(60, 24));
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        // Wherever the platform put the mouse, it is away from the button now.
        QEvent away(QEvent::Leave);
        QApplication::sendEvent(&button, &away);
        QCOMPARE(button.CurrentPicture(), TsbImageButton::bpNormal);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(&button, &enter);
        QCOMPARE(button.CurrentPicture(), TsbImageButton::bpOver);
        button.setDown(true);
        QCOMPARE(button.CurrentPicture(), TsbImageButton::bpPressed);
        button.setDown(false);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&button, &leave);
        QCOMPARE(button.CurrentPicture(), TsbImageButton::bpNormal);
        button.setEnabled(false);
        QCOMPARE(button.CurrentPicture(), TsbImageButton::bpDisabled);

        // The picture is what is painted, with the caption over it.
        button.setEnabled(true);
        const QImage painted = button.grab().toImage();
        QCOMPARE(painted.pixelColor(1, 1), QColor(Qt::white));
        bool captionDrawn = false;
        for (int x = 0; x < painted.width() && !captionDrawn; ++x) {
            captionDrawn = painted.pixelColor(x, 12) != QColor(Qt::white);
        }
        QVERIFY(captionDrawn);

        QSignalSpy clicked(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        button.setEnabled(false);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
    }

    void pageControlSwitchesSheetsByIndexOnly() {
        TsbPageControl pages;
        for (int i = 0; i < 3; ++i) {
            pages.AddSheet(QStringLiteral("ts%1").arg(i));
        }
        QCOMPARE(pages.PageCount(), 3);
        QCOMPARE(pages.Page(2)->objectName(), QStringLiteral("ts2"));
        QCOMPARE(pages.ActivePageIndex(), 0);
        pages.SetActivePageIndex(2);
        QCOMPARE(pages.ActivePageIndex(), 2);
        QCOMPARE(pages.ActivePage(), pages.Page(2));
        pages.SetActivePageIndex(7);
        pages.SetActivePageIndex(-1);
        QCOMPARE(pages.ActivePageIndex(), 2);
        QCOMPARE(pages.Page(3), nullptr);
    }

    void animationLoopsOverItsFrames() {
        // Six frames of 10 x 2, one below the other, each of its own grey.
        QImage strip(10, 12, QImage::Format_RGB32);
        for (int f = 0; f < 6; ++f) {
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < 10; ++x) {
                    strip.setPixel(x, f * 2 + y, qRgb(f * 40, f * 40, f * 40));
                }
            }
        }
        TsbAnimate animate;
        QVERIFY(animate.SetStrip(strip, {10, 2}));
        QCOMPARE(animate.FrameCount(), 6);
        animate.SetStartFrame(2);
        animate.SetStopFrame(4);
        animate.SetActive(true);
        QVERIFY(animate.Active());
        QCOMPARE(animate.CurrentFrame(), 2);
        animate.Step();
        QCOMPARE(animate.CurrentFrame(), 3);
        animate.Step();
        QCOMPARE(animate.CurrentFrame(), 4);
        animate.Step();
        QCOMPARE(animate.CurrentFrame(), 2);
        QCOMPARE(animate.grab().toImage().pixelColor(0, 0), QColor(40, 40, 40));

        // The timer moves it on by itself.
        animate.SetInterval(5);
        QTRY_VERIFY(animate.CurrentFrame() != 2);
        animate.SetActive(false);
        QVERIFY(!animate.Active());

        TsbAnimate empty;
        QVERIFY(!empty.SetStrip(QImage(), {10, 2}));
        QVERIFY(!empty.SetStrip(strip, {20, 2}));
        empty.SetActive(true);
        QVERIFY(!empty.Active());
        QCOMPARE(empty.CurrentFrame(), 0);
    }

    void dialogsAnswerFromPresetsAndRecord() {
        QCOMPARE(TsbDialogs::MessageBox(nullptr, QStringLiteral("first"), QStringLiteral("Cap"),
                                        TsbMsgKind::mkWarning),
                 TsbMsgResult::mrOk);
        TsbDialogs::PresetAnswer(TsbMsgResult::mrYes);
        QCOMPARE(TsbDialogs::MessageBox(nullptr, QStringLiteral("sure?"), {},
                                        TsbMsgKind::mkConfirmation, TsbMsgButtons::mbYesNo),
                 TsbMsgResult::mrYes);
        // Without a preset a question takes its safe answer.
        QCOMPARE(TsbDialogs::MessageBox(nullptr, QStringLiteral("again?"), {},
                                        TsbMsgKind::mkConfirmation, TsbMsgButtons::mbYesNo),
                 TsbMsgResult::mrNo);
        TsbDialogs::PresetFileName(QStringLiteral("/tmp/a.iso"));
        QCOMPARE(TsbDialogs::OpenFileName(nullptr, QStringLiteral("Open"), {}),
                 QStringLiteral("/tmp/a.iso"));
        QCOMPARE(TsbDialogs::SaveFileName(nullptr, QStringLiteral("Save"), {}), QString());

        const auto& shown = TsbDialogs::Shown();
        QCOMPARE(shown.size(), size_t(5));
        QCOMPARE(shown[0].Text, QStringLiteral("first"));
        QCOMPARE(shown[0].Caption, QStringLiteral("Cap"));
        QCOMPARE(shown[0].Kind, TsbMsgKind::mkWarning);
        QCOMPARE(shown[3].DialogType, TsbShownDialog::Type::dtOpenFile);
        QCOMPARE(shown[4].DialogType, TsbShownDialog::Type::dtSaveFile);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkConfirmation).size(), size_t(2));

        // A modal window is shown and closed without a nested loop.
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("Modal"));
        TsbDialogs::PresetModalResult(QDialog::Rejected);
        QCOMPARE(TsbDialogs::ExecModal(dialog), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(TsbDialogs::Shown().back().Caption, QStringLiteral("Modal"));
    }

    void realBoxShowsNamesAsPlainTextUnderTheProgramsCaption() {
        TsbDialogs::EndPresets();
        const QString text = QStringLiteral("Cannot open <b>holiday</b> &amp; co.iso");
        QString shownText, shownCaption;
        Qt::TextFormat format = Qt::AutoText;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownText = box->text();
            shownCaption = box->windowTitle();
            format = box->textFormat();
            box->done(QMessageBox::Ok);
        });
        TsbDialogs::MessageBox(nullptr, text, {}, TsbMsgKind::mkError);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shownText, text);
        // Before the program names itself an empty caption stays empty.
        QCOMPARE(shownCaption, QString());
        TsbDialogs::SetDefaultCaption(QStringLiteral("Tavrin"));
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shownCaption = box->windowTitle();
            box->done(QMessageBox::Ok);
        });
        TsbDialogs::MessageBox(nullptr, text, {}, TsbMsgKind::mkError);
        TsbDialogs::SetDefaultCaption({});
        QCOMPARE(shownCaption, QStringLiteral("Tavrin"));
    }

    void controlsGrowToShowTheirWholeTexts() {
        QWidget parent;
        parent.resize(300, 200);
        auto* left = new QLabel(QStringLiteral("Image file path of the image to burn:"), &parent);
        left->setGeometry(10, 10, 40, 13);
        auto* right = new QLabel(QStringLiteral("Burning speed of the recorder:"), &parent);
        right->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        right->setGeometry(200, 40, 60, 13);
        auto* longer = new QLabel(QString(QStringLiteral("word ")).repeated(30), &parent);
        longer->setGeometry(10, 70, 100, 13);
        auto* box = new QCheckBox(QStringLiteral("Send optimum power calibration"), &parent);
        box->setGeometry(10, 150, 30, 17);
        auto* picture = new TsbImageButton(&parent);
        picture->SetPicture(TsbImageButton::bpNormal, solidPixmap({20, 20}, Qt::white));
        picture->setText(QStringLiteral("A caption wider than its picture"));
        sbInstallTextFitter();
        parent.show();
        QVERIFY(QTest::qWaitForWindowExposed(&parent));

        QCOMPARE(left->x(), 10);
        QVERIFY(left->width() >= left->sizeHint().width());
        // Right-aligned: it keeps its right edge and grows to the left.
        QCOMPARE(right->geometry().right(), 259);
        QVERIFY(right->width() >= right->sizeHint().width());
        // Wider than the parent: it wraps and grows down, inside the parent.
        QVERIFY(longer->wordWrap());
        QVERIFY(longer->height() >= longer->heightForWidth(longer->width()));
        QVERIFY(QRect(QPoint(), parent.size()).contains(longer->geometry()));
        QVERIFY(box->width() >= box->sizeHint().width());
        QCOMPARE(picture->size(), QSize(20, 20)); // a picture keeps its size

        // A longer text later: the label grows again.
        left->setText(QStringLiteral("Image file path of the image to burn, typed or dropped:"));
        QTRY_VERIFY(left->width() >= left->sizeHint().width());
    }

    void guardShowsTheErrorAndStopsIt() {
        QWidget owner;
        bool after = false;
        QVERIFY(!sbGuard(&owner, [] { throw std::runtime_error("Disc is not blank"); }));
        QVERIFY(sbGuard(&owner, [&] { after = true; }));
        QVERIFY(after);
        QVERIFY(!sbGuard(&owner, [] { throw 42; }));
        const auto errors = TsbDialogs::ShownMessages(TsbMsgKind::mkError);
        QCOMPARE(errors.size(), size_t(2));
        QCOMPARE(errors[0].Text, QStringLiteral("Disc is not blank"));
        QVERIFY(!errors[1].Text.isEmpty());

        // A connected handler that raises: the signal's emitter carries on.
        QPushButton button;
        int runs = 0;
        QObject::connect(&button, &QPushButton::clicked, &owner, sbGuarded(&owner, [&] {
            ++runs;
            throw std::runtime_error("from a click");
        }));
        button.click();
        button.click();
        QCOMPARE(runs, 2);
        QCOMPARE(TsbDialogs::ShownMessages(TsbMsgKind::mkError).back().Text,
                 QStringLiteral("from a click"));
    }
};

QTEST_MAIN(TestUi)
#include "ui_test.moc"
