// Reads a settings file in INI format the way desktop programs have always
// read them: section and key names compared without regard to case, the
// first of two equal sections or keys wins, values trimmed of blanks and of
// one pair of enclosing quotes, ";" starts a comment line. A file that is
// missing or unreadable reads as an empty one.
#pragma once

#include <QString>

#include <vector>

class TsbIniFile {
public:
    explicit TsbIniFile(const QString& fileName);

    const QString& FileName() const { return m_fileName; }
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = {}) const;

private:
    struct TEntry {
        QString Section; // case-folded
        QString Key;     // case-folded
        QString Value;
    };
    const TEntry* Find(const QString& section, const QString& key) const;

    QString m_fileName;
    std::vector<QString> m_sections; // case-folded, in file order
    std::vector<TEntry> m_entries;
};

// The integer a settings text stands for: optional blanks, an optional sign
// and decimal digits, or "$"/"0x" and hexadecimal digits. Anything else
// raises an error that says which text was not a number.
int StrToInt(const QString& text);
