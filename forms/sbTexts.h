// SPDX-License-Identifier: GPL-2.0-or-later
// The program's numbered message texts as the windows use them, and the
// translations the windows and the message table are shown in.
#pragma once

#include <QString>

QString ResText(int id);

// Loads the translation of the first language the user asks for
// (UserLanguages: LANGUAGE, LC_ALL, LC_MESSAGES, LANG) that the program has,
// tavrin_<lang>.qm from the translations folder beside the program, installs
// it into the application and hands the lookups below Qt (the message table,
// the engine) to it. Replaces a translation installed before; English when
// none fits. Call after the QCoreApplication exists and before the windows
// are built. Returns the language loaded, or an empty string.
QString InstallTranslations();

// The folder InstallTranslations reads: translations/ in ApplicationFolder().
QString TranslationsFolder();
