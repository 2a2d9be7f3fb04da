// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbIniFile.h"

#include "base/sbError.h"

#include "platform/sbSystem.h"

#include <QFile>
#include <QFileInfo>

TsbIniFile::TsbIniFile(const QString& fileName) : m_fileName(fileName) {
    const std::string path = QFile::encodeName(fileName).toStdString();
    if (path.empty() || !QFileInfo::exists(fileName)) {
        return;
    }
    std::vector<std::string> problems;
    std::string error;
    if (auto document = sbini::readIniFile(path, problems, error, "settings file")) {
        m_document = std::move(*document);
    } else {
        platform::OutputDebugString(error);
    }
}

const sbini::IniEntry* TsbIniFile::Find(const QString& section, const QString& key) const {
    return m_document.find(section.trimmed().toStdString(), key.trimmed().toStdString());
}

bool TsbIniFile::SectionExists(const QString& section) const {
    return m_document.hasSection(section.trimmed().toStdString());
}

bool TsbIniFile::ValueExists(const QString& section, const QString& key) const {
    return Find(section, key) != nullptr;
}

QString TsbIniFile::ReadString(const QString& section, const QString& key,
                               const QString& defaultValue) const {
    const sbini::IniEntry* e = Find(section, key);
    return e ? QString::fromStdString(e->value) : defaultValue;
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
