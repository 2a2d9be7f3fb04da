// SPDX-License-Identifier: GPL-2.0-or-later
// Small routines the windows share: opening an address in the user's
// browser or mail program, the busy cursor, and path helpers.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

// Opens target with the desktop's handler for it, under a busy cursor.
// Only web (http, https) and mail (mailto) addresses are handed over: the
// addresses come from the settings file and from tables, and neither may
// make the program open a local file or start a program. Anything else,
// and an empty target, opens nothing and shows nothing. Returns whether the
// target was handed to the desktop.
bool ShellOpen(const QString& target);
// Whether ShellOpen would hand target to the desktop.
bool ShellOpenAllowed(const QString& target);

// Replaces the desktop call ShellOpen makes (tests record instead of opening
// a browser). An empty handler restores the desktop.
using TsbShellOpenHandler = std::function<bool(const QUrl&)>;
void SetShellOpenHandler(TsbShellOpenHandler handler);

// The busy cursor: nested begin/end pairs keep the hourglass until the
// outermost end.
void BeginBusyCursor();
void EndBusyCursor();
int BusyCursorCount();

class TsbBusyCursor {
public:
    TsbBusyCursor() { BeginBusyCursor(); }
    ~TsbBusyCursor() { EndBusyCursor(); }
    TsbBusyCursor(const TsbBusyCursor&) = delete;
    TsbBusyCursor& operator=(const TsbBusyCursor&) = delete;
};

// Path with a trailing "/" added when missing; an empty path stays empty.
QString IncludeTrailingSlash(const QString& path);

// The folder of the program's executable, ending in "/". Tests point the
// program at a folder of their own with SetApplicationFolder; an empty
// text returns to the executable's real folder.
QString ApplicationFolder();
void SetApplicationFolder(const QString& folder);

// The product file in the application folder: "product.ini", or "lame.dll"
// (its earlier name) in a folder that has only that one.
QString ProductInfoFile();

// The folder of the image last chosen, kept between runs in the user's
// settings (~/.config/tavrin/tavrin.conf); empty when none is known.
QString LastImageFolder();
void RememberImageFolder(const QString& imageFile);
