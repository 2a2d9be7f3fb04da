#include "app/sbIniFile.h"

#include "devices/sbError.h"

#include <QFile>

namespace {

QString fold(const QString& name) {
    return name.trimmed().toCaseFolded();
}

QString unquote(QString value) {
    value = value.trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first) {
            return value.mid(1, value.size() - 2);
        }
    }
    return value;
}

} // namespace

TsbIniFile::TsbIniFile(const QString& fileName) : m_fileName(fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    // A settings file is small; one that is not is not ours, and reading a
    // bounded amount keeps a wrong file from eating the memory.
    constexpr qint64 MaxSize = 1 << 20;
    const QByteArray raw = file.read(MaxSize);
    QString text = QString::fromUtf8(raw);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }

    QString section;
    bool haveSection = false;
    const auto lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            if (close < 0) {
                continue;
            }
            section = fold(line.mid(1, close - 1));
            haveSection = true;
            bool known = false;
            for (const auto& s : m_sections) {
                known = known || s == section;
            }
            if (!known) {
                m_sections.push_back(section);
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!haveSection || eq <= 0) {
            continue;
        }
        const QString key = fold(line.left(eq));
        if (key.isEmpty() || Find(section, key)) {
            continue;
        }
        m_entries.push_back({section, key, unquote(line.mid(eq + 1))});
    }
}

const TsbIniFile::TEntry* TsbIniFile::Find(const QString& section, const QString& key) const {
    const QString s = fold(section);
    const QString k = fold(key);
    for (const auto& e : m_entries) {
        if (e.Section == s && e.Key == k) {
            return &e;
        }
    }
    return nullptr;
}

bool TsbIniFile::SectionExists(const QString& section) const {
    const QString s = fold(section);
    for (const auto& known : m_sections) {
        if (known == s) {
            return true;
        }
    }
    return false;
}

bool TsbIniFile::ValueExists(const QString& section, const QString& key) const {
    return Find(section, key) != nullptr;
}

QString TsbIniFile::ReadString(const QString& section, const QString& key,
                               const QString& defaultValue) const {
    const TEntry* e = Find(section, key);
    return e ? e->Value : defaultValue;
}

int StrToInt(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    int value = 0;
    QString digits = t;
    bool negative = false;
    if (digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+'))) {
        negative = digits.front() == QLatin1Char('-');
        digits.remove(0, 1);
    }
    if (digits.startsWith(QLatin1Char('$'))) {
        value = digits.mid(1).toInt(&ok, 16);
    } else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        value = digits.mid(2).toInt(&ok, 16);
    } else if (!digits.isEmpty() && digits.front().isDigit()) {
        value = digits.toInt(&ok, 10);
    }
    if (!ok) {
        throw EsbError("'" + text.toStdString() + "' is not a valid integer value");
    }
    return negative ? -value : value;
}
