// SPDX-License-Identifier: GPL-2.0-or-later
// The wizard on emulated MMC drives (tests/mmcemu, preloaded by CTest below
// libburn): the library's configuration and state, the emulator's drives and
// the wizard's settings, all files of the test's folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <cstdlib>

// Writes text to the file name, replacing what it held.
inline void WriteTextFile(const QString& name, const QString& text) {
    QFile file(name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text.toUtf8());
    }
}

// The library reads folder/starburn.ini and keeps its state in folder/state,
// the emulator reads its drives from folder/emu.ini (once it is reloaded),
// the wizard keeps its settings in folder/registry.ini, and the library
// takes the emulated drives for real ones.
inline void UseEmulatedDrivesIn(const QString& folder) {
    const QDir dir(folder);
    const auto set = [&dir](const char* name, const char* file) {
        ::setenv(name, dir.filePath(QString::fromLatin1(file)).toLocal8Bit().constData(), 1);
    };
    set("SBMMCEMU", "emu.ini");
    set("STARBURN_CONFIG", "starburn.ini");
    set("STARBURN_STATE_DIR", "state");
    set("TAVRIN_REGISTRY", "registry.ini");
    ::setenv("STARBURN_REAL_DRIVES", "1", 1);
}
