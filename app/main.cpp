// Tavrin's entry point.
#include "app/sbApplication.h"
#include "app/sbStartupCheck.h"
#include "ui/sbGuard.h"

#include <QApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    try {
        const bool check = StartupCheckRequested();
        TsbApplication app;
        if (check) {
            ScheduleStartupCheck();
        }
        return app.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrin: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "tavrin: an unknown error ended the program\n");
    }
    return 1;
}
