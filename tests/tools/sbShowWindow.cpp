// SPDX-License-Identifier: GPL-2.0-or-later
// Shows one of the program's windows as the user would meet it, for
// screenshots of the art and the layouts:
//   tavrin_show PROGRAM_FOLDER welcome|main|finish|about|progress
// PROGRAM_FOLDER holds product.ini and sounds/ (the build's bin/ does).
#include "app/sbApplication.h"
#include "app/ufrmFinish.h"
#include "app/ufrmMain.h"
#include "app/ufrmWelcome.h"
#include "base/sbFrontEnd.h"
#include "forms/UtilFuncs.h"
#include "forms/sbTexts.h"
#include "pages/ufrmAbout.h"
#include "pages/ufrmOperationProgress.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: tavrin_show PROGRAM_FOLDER welcome|main|finish|about|progress\n");
        return 2;
    }
    SetApplicationFolder(QString::fromLocal8Bit(argv[1]));
    const QString which = QString::fromLatin1(argv[2]);
    TsbApplication app;
    std::unique_ptr<IsbProgressWindow> progress;
    if (which == QLatin1String("welcome")) {
        app.Welcome()->show();
    } else if (which == QLatin1String("main")) {
        app.Main()->BuildPageSequence();
        app.Main()->LocalizeCaptions();
        app.Main()->ShowSheetTitles();
        app.Main()->move(app.Welcome()->pos());
        app.Main()->show();
    } else if (which == QLatin1String("finish")) {
        app.Finish()->DescriptionLabel->setText(FinishOutcomeText(true, false));
        app.Finish()->move(app.Welcome()->pos());
        app.Finish()->show();
    } else if (which == QLatin1String("about")) {
        app.About()->show();
    } else if (which == QLatin1String("progress")) {
        progress = CreateProgressWindow();
        progress->SetCaption(ResText(15109).toStdString());
        progress->SetCancelVisible(true);
        progress->SetInfoText(ResText(15605).toStdString());
        progress->SetOnCancel([] {});
        progress->Show();
    } else {
        std::fprintf(stderr, "tavrin_show: no window named %s\n", argv[2]);
        return 2;
    }
    return QApplication::exec();
}
