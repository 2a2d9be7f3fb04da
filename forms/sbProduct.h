// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The product's title and icon, which every window and page shows. The
// application object sets the title once at start-up from the settings file;
// windows created without one (tests) use whatever title was set last.

#include <QIcon>
#include <QString>

QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
// The program's icon for the title: "Quennet" and "Dorvash" have their own,
// any other title the program's default one.
QIcon ApplicationIconFor(const QString& title);
QIcon ApplicationIcon();
