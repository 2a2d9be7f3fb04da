// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbReportSaver.h"

#include "devices/sbDeviceReport.h"
#include "engine/sbProblemReport.h"
#include "forms/UtilFuncs.h"
#include "forms/sbIniFile.h"
#include "forms/sbProduct.h"
#include "ui/sbDialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

namespace {

std::function<std::vector<std::string>()>& linesSource() {
    static std::function<std::vector<std::string>()> source;
    return source;
}

} // namespace

void SetReportLinesSource(std::function<std::vector<std::string>()> source) {
    linesSource() = std::move(source);
}

void SaveProblemReport(QWidget* parent) {
    const QString fileName = TsbDialogs::SaveFileName(
        parent, QCoreApplication::translate("TsbReportSaver", "Save Problem Report"),
        QCoreApplication::translate("TsbReportSaver", "Problem reports (*.tar.gz)"),
        QDir::home().filePath(QString::fromStdString(ProposedReportFileName())),
        QStringLiteral("tar.gz"));
    if (fileName.isEmpty()) {
        return;
    }
    TsbProblemReport report;
    const TsbIniFile product(ProductInfoFile());
    report.Program = (ApplicationTitle() + QLatin1Char(' ') +
                      product.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Version")))
                         .trimmed()
                         .toStdString();
    report.Drives = RememberedDrives();
    if (linesSource()) {
        report.RunLog = linesSource()();
    }
    // The remembered choices (tavrin.conf).
    const QString settings =
        QSettings(QStringLiteral("tavrin"), QStringLiteral("tavrin")).fileName();
    report.SettingsFiles.push_back(QFile::encodeName(settings).toStdString());
    try {
        WriteProblemReport(QFile::encodeName(fileName).toStdString(), report);
    } catch (const std::exception& e) {
        // A warning, not an error: an error box would offer the report again.
        TsbDialogs::MessageBox(parent, QString::fromStdString(e.what()), QString(),
                               TsbMsgKind::mkWarning);
        return;
    }
    TsbDialogs::MessageBox(
        parent,
        QCoreApplication::translate("TsbReportSaver",
                                    "The problem report is saved in %1. Send it with a few "
                                    "words on what you did and what went wrong.")
            .arg(fileName),
        QString(), TsbMsgKind::mkInformation);
}
