// SPDX-License-Identifier: GPL-2.0-or-later
// Tavrin's entry point: tavrin [IMAGE], --help, --version.
#include "app/sbApplication.h"
#include "app/sbStartupCheck.h"
#include "forms/UtilFuncs.h"
#include "forms/sbIniFile.h"
#include "forms/sbTexts.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// Parses the command line; false when the program ends here, with code.
bool ReadCommandLine(const QStringList& arguments, QString& image, int& code) {
    const TsbIniFile product(ProductInfoFile());
    const TsbCommandLine line = ParseCommandLine(
        arguments, product.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Version")));
    if (line.Exit) {
        std::fputs(line.Output.toLocal8Bit().constData(), line.ExitCode ? stderr : stdout);
        code = line.ExitCode;
        return false;
    }
    image = line.Image;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    try {
        int code = 0;
        QString image;
        const QStringList printing = {QStringLiteral("-h"), QStringLiteral("--help"),
                                      QStringLiteral("--help-all"), QStringLiteral("-v"),
                                      QStringLiteral("--version")};
        for (const QString& option : printing) {
            if (arguments.contains(option)) {
                // Help and version need no display.
                QCoreApplication console(argc, argv);
                QCoreApplication::setApplicationName(QStringLiteral("tavrin"));
                InstallTranslations();
                ReadCommandLine(QCoreApplication::arguments(), image, code);
                return code;
            }
        }
        const QString platform = ChoosePlatform(arguments);
        if (!platform.isEmpty()) {
            ::setenv("QT_QPA_PLATFORM", platform.toLocal8Bit().constData(), 1);
        }
        QApplication qtApp(argc, argv);
        QApplication::setApplicationName(QStringLiteral("tavrin"));
        InstallTranslations();
        // Qt's own options (-platform ...) are gone from arguments() by now.
        if (!ReadCommandLine(QApplication::arguments(), image, code)) {
            return code;
        }
        const bool check = StartupCheckRequested();
        TsbApplication app;
        app.SetInitialImage(image);
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
