// SPDX-License-Identifier: GPL-2.0-or-later
// Walks the wizard on the built-in virtual recorders and saves a picture of
// every sheet, for docs/screenshots/:
//   wizard_screens PROGRAM_FOLDER OUTPUT_FOLDER
// PROGRAM_FOLDER holds product.ini and sounds/ (the build's bin/ does). Dialogs
// are answered from presets; the burn is slowed down so it is caught halfway.
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "devices/ufrmSelectDevice.h"
#include "forms/UtilFuncs.h"
#include "starburn/StarBurnTesting.h"
#include "ui/sbDialogs.h"
#include "ui/sbImageButton.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace {

void settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

bool save(QWidget* window, const QString& file) {
    settle();
    return window->grab().save(file);
}

} // namespace

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: wizard_screens PROGRAM_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    QTemporaryDir state;
    ::setenv("STARBURN_STATE_DIR",
             state.filePath(QStringLiteral("state")).toLocal8Bit().constData(), 1);
    ::unsetenv("STARBURN_CONFIG");
    ::setenv("STARBURN_TIME_FACTOR", "0", 1);
    // The pictures' walk leaves the user's last image folder alone.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       state.filePath(QStringLiteral("config")));
    SetApplicationFolder(QString::fromLocal8Bit(argv[1]));
    const QString out = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    QDir().mkpath(out);

    const QString image = state.filePath(QStringLiteral("holiday-photos.iso"));
    {
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(24 * 1024 * 1024)) {
            return 1;
        }
    }

    TsbDialogs::BeginPresets();
    TsbApplication app;
    TMainForm* main = app.Main();
    auto next = [main] { main->ButtonNext->click(); };
    bool ok = true;

    app.Welcome()->show();
    ok &= save(app.Welcome(), out + QStringLiteral("welcome.png"));
    app.Welcome()->ButtonNext->click();
    ok &= save(main, out + QStringLiteral("sheet-transport.png"));
    next();
    auto* devices = main->findChild<QTreeWidget*>(QStringLiteral("lvDevices"));
    // The CD writer: its blank CD-R.
    for (int i = 0; i < devices->topLevelItemCount(); ++i) {
        if (devices->topLevelItem(i)->text(0).contains(QStringLiteral("CD-RW"))) {
            devices->setCurrentItem(devices->topLevelItem(i));
        }
    }
    ok &= save(main, out + QStringLiteral("sheet-device.png"));
    next();
    TsbDialogs::PresetFileName(image);
    main->findChild<QAbstractButton*>(QStringLiteral("Button1"))->click();
    ok &= save(main, out + QStringLiteral("sheet-image.png"));
    next();
    auto* modes = main->findChild<QComboBox*>(QStringLiteral("cmbModes"));
    modes->setCurrentIndex(modes->findText(QStringLiteral("Track-At-Once")));
    ok &= save(main, out + QStringLiteral("sheet-mode.png"));
    next();
    ok &= save(main, out + QStringLiteral("sheet-options.png"));
    next();
    ok &= save(main, out + QStringLiteral("sheet-summary.png"));

    // 24 MB at 8 MB/s: the picture is taken halfway.
    StarBurnTesting_SlowWrite("CdRom1", 8 * 1024 * 1024);
    bool midway = false;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        auto* bar = main->findChild<QWidget*>(QStringLiteral("pbWrite"));
        if (!midway && bar && main->RunState == 1 && bar->property("value").toInt() >= 45) {
            midway = true;
            ok &= save(main, out + QStringLiteral("sheet-burning.png"));
        }
    });
    probe.start();
    next();
    probe.stop();
    ok &= midway;
    ok &= save(main, out + QStringLiteral("sheet-burned.png"));
    next();
    ok &= save(app.Finish(), out + QStringLiteral("finish-success.png"));
    std::printf("%s\n", ok ? "saved" : "some pictures are missing");
    return ok ? 0 : 1;
}
