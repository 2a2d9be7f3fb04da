// SPDX-License-Identifier: GPL-2.0-or-later
// A test's own surroundings of the program: a program folder for its
// settings file and art, every dialog answered from presets, and the
// desktop's "open" recorded instead of performed, and the user's settings
// (~/.config/tavrin) kept in the test's folder. Undone when it goes.
#pragma once

#include "forms/UtilFuncs.h"
#include "tests/support/TestArt.h"
#include "ui/sbDialogs.h"

#include <QSettings>
#include <QUrl>
#include <vector>

// Points the user's settings (QSettings, user scope) at folder.
inline void RedirectUserSettings(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
}

class TTestProgram {
public:
    TTestProgram() {
        TsbDialogs::BeginPresets();
        RedirectUserSettings(Folder.Path() + QStringLiteral("config"));
        SetApplicationFolder(Folder.Path());
        // Remembered choices (tavrin/tavrin.conf) go to the test's own folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           Folder.Path() + QStringLiteral("config"));
        SetShellOpenHandler([this](const QUrl& url) {
            Opened.push_back(url);
            return true;
        });
    }
    ~TTestProgram() {
        SetShellOpenHandler(nullptr);
        SetApplicationFolder({});
        TsbDialogs::EndPresets();
    }
    TTestProgram(const TTestProgram&) = delete;
    TTestProgram& operator=(const TTestProgram&) = delete;

    TTestProgramFolder Folder;
    std::vector<QUrl> Opened;
};
