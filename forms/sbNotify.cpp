// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbNotify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>
#include <QWidget>

namespace {

TsbNotifyHandler g_notifyHandler;

bool sessionBusAround() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    // Without an address libdbus would try to launch a bus of its own.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

bool sendOverDBus(const QString& title, const QString& body) {
    if (!sessionBusAround()) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("tavrin") << 0u << QStringLiteral("media-optical") << title << body
         << QStringList() << QVariantMap() << -1;
    // Not waited for: a slow or missing notification service must not hold
    // up the window.
    return bus.send(call);
}

} // namespace

bool NotifyWhenInactive(const QWidget* window, const QString& title, const QString& body) {
    if (!window || window->isActiveWindow()) {
        return false;
    }
    return g_notifyHandler ? g_notifyHandler(title, body) : sendOverDBus(title, body);
}

void SetNotifyHandler(TsbNotifyHandler handler) {
    g_notifyHandler = std::move(handler);
}
