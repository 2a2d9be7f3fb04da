// SPDX-License-Identifier: GPL-2.0-or-later
// The program's texts in the user's language, below Qt: the message table,
// the engine and tavrin-burn look their texts up here. The source texts are
// English; translations come from translations/tavrin_<lang>.ts, either
// through a hook (the wizard hands the lookup to Qt's translators) or from a
// catalog file generated from the same .ts at build time (tavrin-burn).
//
// lupdate reads SbTranslate(context, text) as translate() and
// SB_TRANSLATE_NOOP(context, text) as QT_TRANSLATE_NOOP() (the tavrin_lupdate
// target passes it those aliases), so both land in the .ts files.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Marks a text in a table for translation; the table's user translates it
// when it shows it (SbTranslate with the same context).
#define SB_TRANSLATE_NOOP(context, text) text

// The text in the user's language, or the text itself when no translation
// is loaded or the catalog lacks it. Safe on any thread once loaded.
std::string SbTranslate(const char* context, const char* text);

// The languages the user asks for, first choice first, the way gettext reads
// them: LANGUAGE (a colon-separated list), then the first set of LC_ALL,
// LC_MESSAGES, LANG. "de_AT.UTF-8@euro" gives "de_AT" and then "de". A locale
// of C or POSIX ends the list (English). LANGUAGE counts even under the C
// locale, so `LANGUAGE=de tavrin-burn` is German on a system without locales.
std::vector<std::string> UserLanguages();

// Loads the catalog folder/<stem>_<lang>.cat of the first of UserLanguages()
// that has one. Returns that language, or "" (English) when none has.
// Replaces any catalog or hook loaded before. Call before threads start.
std::string LoadTranslationCatalog(const std::string& folder, const std::string& stem);

// Parses a catalog's bytes (as written by tavrin_tscat) and makes it the
// lookup. False, and English, for bytes that are no catalog.
bool SetTranslationCatalog(const std::string& bytes);

// The wizard's lookup: Qt's translators. An empty hook (and a loaded
// catalog's absence) means English.
using TsbTranslateHook = std::function<std::string(const char* context, const char* text)>;
void SetTranslateHook(TsbTranslateHook hook);

// Back to the English source texts (tests).
void ClearTranslations();
