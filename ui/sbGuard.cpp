// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbGuard.h"

#include "ui/sbDialogs.h"

#include <QCoreApplication>
#include <QWidget>

#include <exception>
#include <new>

namespace {

// The last resort has to work when nothing else does: translating allocates,
// so when that fails too the English text, which needs no memory, is shown.
QString unknownErrorText() noexcept {
    try {
        return QCoreApplication::translate("sbGuard", "An unknown error occurred");
    } catch (...) {
        return QStringLiteral("An unknown error occurred");
    }
}

} // namespace

QString sbCurrentExceptionText() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QCoreApplication::translate("sbGuard", "Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return unknownErrorText();
    }
}

bool sbGuard(QWidget* owner, const std::function<void()>& fn) noexcept {
    try {
        fn();
        return true;
    } catch (...) {
        QString text;
        try {
            text = sbCurrentExceptionText();
        } catch (...) {
            text = unknownErrorText();
        }
        // Showing the box may fail itself (no memory, a box raising again):
        // then there is nothing left to tell the user, and the loop goes on.
        try {
            TsbDialogs::MessageBox(owner, text, QString(), TsbMsgKind::mkError);
        } catch (...) {
        }
        return false;
    }
}
