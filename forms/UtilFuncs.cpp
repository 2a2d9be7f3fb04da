// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/UtilFuncs.h"

#include "platform/sbSystem.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QSettings>

#include <QDesktopServices>
#include <memory>

namespace {

TsbShellOpenHandler g_shellOpenHandler;
int g_busyCount = 0;

} // namespace

bool ShellOpenAllowed(const QString& target) {
    const QString trimmed = target.trimmed();
    if (trimmed.isEmpty()) {
        return false;
    }
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) {
        return !url.host().isEmpty();
    }
    if (scheme == QLatin1String("mailto")) {
        return !url.path().isEmpty();
    }
    return false;
}

bool ShellOpen(const QString& target) {
    if (!ShellOpenAllowed(target)) {
        return false;
    }
    TsbBusyCursor busy;
    const QUrl url(target.trimmed(), QUrl::StrictMode);
    // What the desktop does with the address is its own business: like the
    // shell's verb, its answer is not looked at.
    if (g_shellOpenHandler) {
        g_shellOpenHandler(url);
    } else {
        QDesktopServices::openUrl(url);
    }
    return true;
}

void SetShellOpenHandler(TsbShellOpenHandler handler) {
    g_shellOpenHandler = std::move(handler);
}

void BeginBusyCursor() {
    ++g_busyCount;
    if (!qApp) {
        return;
    }
    if (QGuiApplication::overrideCursor()) {
        QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
}

void EndBusyCursor() {
    if (g_busyCount <= 0) {
        return;
    }
    --g_busyCount;
    if (g_busyCount == 0 && qApp) {
        while (QGuiApplication::overrideCursor()) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
}

int BusyCursorCount() {
    return g_busyCount;
}

QString IncludeTrailingSlash(const QString& path) {
    if (path.isEmpty() || path.endsWith(QLatin1Char('/'))) {
        return path;
    }
    return path + QLatin1Char('/');
}

QString ApplicationFolder() {
    const QString folder = QString::fromStdString(platform::GetExecutableFolder());
    return folder.isEmpty() ? IncludeTrailingSlash(QCoreApplication::applicationDirPath()) : folder;
}

void SetApplicationFolder(const QString& folder) {
    // The whole program (the diagnostic log too) believes it runs from there.
    platform::SetExecutablePathOverride(
        folder.isEmpty() ? std::string()
                         : (IncludeTrailingSlash(folder) + QStringLiteral("tavrin")).toStdString());
}

QString ProductInfoFile() {
    const QString folder = ApplicationFolder();
    const QString product = folder + QStringLiteral("product.ini");
    // The file's first name, which a folder set up by an earlier version may
    // still hold; read only where no product.ini stands beside it.
    const QString earlier = folder + QStringLiteral("lame.dll");
    return !QFileInfo::exists(product) && QFileInfo::exists(earlier) ? earlier : product;
}

namespace {

std::unique_ptr<QSettings> userSettings() {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("tavrin"), QStringLiteral("tavrin"));
}

const QString LastFolderKey = QStringLiteral("Image/LastFolder");

} // namespace

QString LastImageFolder() {
    const QString folder = userSettings()->value(LastFolderKey).toString();
    return QFileInfo(folder).isDir() ? folder : QString();
}

void RememberImageFolder(const QString& imageFile) {
    if (imageFile.isEmpty()) {
        return;
    }
    userSettings()->setValue(LastFolderKey, QFileInfo(imageFile).absolutePath());
}
