// SPDX-License-Identifier: GPL-2.0-or-later
// The product file ("product.ini") and other INI files the windows read, seen
// through the program's one INI reader (ini/sbIni.h, whose rules README.md
// gives). A file that is missing, unreadable or refused reads as an empty one;
// a refused file is reported once as debugger output.
#pragma once

#include "ini/sbIni.h"

#include <QString>

class TsbIniFile {
public:
    explicit TsbIniFile(const QString& fileName);

    const QString& FileName() const { return m_fileName; }
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = {}) const;

private:
    const sbini::IniEntry* Find(const QString& section, const QString& key) const;

    QString m_fileName;
    sbini::IniDocument m_document;
};

// The integer a settings text stands for: optional blanks, an optional sign
// and decimal digits, or "$"/"0x" and hexadecimal digits. Anything else
// raises an error that says which text was not a number.
int StrToInt(const QString& text);
