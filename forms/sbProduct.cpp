// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbProduct.h"

namespace {

QString g_title;

} // namespace

QString ApplicationTitle() {
    return g_title;
}

void SetApplicationTitle(const QString& title) {
    g_title = title;
}

QIcon ApplicationIconFor(const QString& title) {
    if (title == QLatin1String("Quennet")) {
        return QIcon(QStringLiteral(":/tavrin/a1.png"));
    }
    if (title == QLatin1String("Dorvash")) {
        return QIcon(QStringLiteral(":/tavrin/a2.png"));
    }
    return QIcon(QStringLiteral(":/tavrin/tavrin.png"));
}

QIcon ApplicationIcon() {
    return ApplicationIconFor(ApplicationTitle());
}
