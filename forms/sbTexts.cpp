// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbTexts.h"

#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "forms/UtilFuncs.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

QString ResText(int id) {
    return QString::fromStdString(LoadResString(id));
}

QString TranslationsFolder() {
    return ApplicationFolder() + QStringLiteral("translations");
}

QString InstallTranslations() {
    // The program's translation and Qt's own (the file dialog's buttons).
    static std::unique_ptr<QTranslator> program;
    static std::unique_ptr<QTranslator> qt;
    for (auto* installed : {&program, &qt}) {
        if (*installed) {
            QCoreApplication::removeTranslator(installed->get());
            installed->reset();
        }
    }
    ClearTranslations();
    for (const std::string& language : UserLanguages()) {
        // This language's own file: QTranslator would also take de for de_AT,
        // but UserLanguages names de itself, after de_AT, as tavrin-burn reads it.
        const QString file = TranslationsFolder() + QStringLiteral("/tavrin_") +
                             QString::fromStdString(language) + QStringLiteral(".qm");
        auto translator = std::make_unique<QTranslator>();
        if (!QFile::exists(file) || !translator->load(file)) {
            continue;
        }
        QCoreApplication::installTranslator(translator.get());
        program = std::move(translator);
        auto base = std::make_unique<QTranslator>();
        if (base->load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(base.get());
            qt = std::move(base);
        }
        SetTranslateHook([](const char* context, const char* text) {
            return QCoreApplication::translate(context, text).toStdString();
        });
        return QString::fromStdString(language);
    }
    return {};
}
