#include "app/sbStartupCheck.h"

#include "app/sbApplication.h"
#include "app/ufrmWelcome.h"
#include "ui/sbDialogs.h"

#include <QCoreApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool StartupCheckRequested() {
    const char* value = std::getenv("TAVRIN_STARTUP_CHECK");
    if (value == nullptr || std::strcmp(value, "1") != 0) {
        return false;
    }
    TsbDialogs::BeginPresets();
    return true;
}

void ScheduleStartupCheck() {
    QTimer::singleShot(0, qApp, [] {
        TsbApplication* app = TsbApplication::Instance();
        TfrmWelcome* welcome = app != nullptr ? app->Welcome() : nullptr;
        const bool shown = welcome != nullptr && welcome->isVisible();
        const bool art = shown && !welcome->ImageTopLogo->pixmap().isNull() &&
                         !welcome->ImageLeftLogo->pixmap().isNull();
        std::printf("welcome window: %s\n", shown ? "shown" : "not shown");
        std::printf("title: %s\n",
                    qPrintable(welcome != nullptr ? welcome->windowTitle() : QString()));
        std::printf("art folder: %s (%s)\n", qPrintable(TsbChromeForm::ArtFolder()),
                    art ? "loaded" : "not loaded");
        const auto& boxes = TsbDialogs::Shown();
        for (const TsbShownDialog& box : boxes) {
            std::printf("message box: %s\n", qPrintable(box.Text));
        }
        std::fflush(stdout);
        QCoreApplication::exit(shown && art && boxes.empty() ? 0 : 1);
    });
}
