// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/sbStartupCheck.h"

#include "app/sbApplication.h"
#include "app/ufrmWelcome.h"
#include "ui/sbDialogs.h"
#include "ui/sbGuard.h"

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

namespace {

// Prints what start-up showed; the loop's exit status.
int ReportStartup() {
    TsbApplication* app = TsbApplication::Instance();
    TfrmWelcome* welcome = app != nullptr ? app->Welcome() : nullptr;
    const bool shown = welcome != nullptr && welcome->isVisible();
    const bool art = shown && !welcome->ImageTopLogo->pixmap().isNull() &&
                     !welcome->ImageLeftLogo->pixmap().isNull();
    std::printf("welcome window: %s\n", shown ? "shown" : "not shown");
    std::printf("title: %s\n", qPrintable(welcome != nullptr ? welcome->windowTitle() : QString()));
    std::printf("art folder: %s (%s)\n", qPrintable(TsbChromeForm::ArtFolder()),
                art ? "loaded" : "not loaded");
    const auto& boxes = TsbDialogs::Shown();
    for (const TsbShownDialog& box : boxes) {
        std::printf("message box: %s\n", qPrintable(box.Text));
    }
    return shown && art && boxes.empty() ? 0 : 1;
}

} // namespace

void ScheduleStartupCheck() {
    QTimer::singleShot(0, qApp, [] {
        int status = 1;
        // An error on the way is one more box of the start-up: the check
        // names it and fails, and the loop still ends.
        if (!sbGuard(nullptr, [&status] { status = ReportStartup(); }) &&
            !TsbDialogs::Shown().empty()) {
            std::printf("message box: %s\n", qPrintable(TsbDialogs::Shown().back().Text));
        }
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });
}
