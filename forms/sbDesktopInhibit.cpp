// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbDesktopInhibit.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QVariantMap>

#include <atomic>

namespace {

// A bus that does not answer within this holds up the window no longer.
constexpr int kCallTimeoutMs = 5000;

QString systemBusAddress() {
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address.isEmpty() ? QStringLiteral("unix:path=/run/dbus/system_bus_socket")
                             : QString::fromLocal8Bit(address);
}

// Empty when the session has no bus: without an address libdbus would try to
// launch a bus of its own.
QString sessionBusAddress() {
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) {
        return QString::fromLocal8Bit(address);
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString socket = runtime + QStringLiteral("/bus");
    return !runtime.isEmpty() && QFileInfo::exists(socket) ? QStringLiteral("unix:path=") + socket
                                                           : QString();
}

// Every hold has a connection of its own, opened at the address of the
// moment: the portal ties its inhibitor to the connection that asked.
QDBusConnection openConnection(const QString& address, QString& name) {
    static std::atomic<int> next{0};
    name = QStringLiteral("tavrin-inhibit-%1").arg(next++);
    return QDBusConnection::connectToBus(address, name);
}

std::string errorText(const QDBusMessage& reply) {
    return (reply.errorName() + QStringLiteral(": ") + reply.errorMessage()).toStdString();
}

class TLogindInhibitor : public IsbInhibitor {
public:
    // Closing the last copy of the descriptor ends the inhibitor.
    explicit TLogindInhibitor(QDBusUnixFileDescriptor fd) : m_fd(std::move(fd)) {}

private:
    QDBusUnixFileDescriptor m_fd;
};

class TPortalInhibitor : public IsbInhibitor {
public:
    TPortalInhibitor(QString name, QString handle)
        : m_name(std::move(name)), m_handle(std::move(handle)) {}
    ~TPortalInhibitor() override {
        QDBusConnection bus(m_name);
        bus.call(QDBusMessage::createMethodCall(
                     QStringLiteral("org.freedesktop.portal.Desktop"), m_handle,
                     QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close")),
                 QDBus::Block, kCallTimeoutMs);
        // The portal also lets go of what a vanished connection held.
        QDBusConnection::disconnectFromBus(m_name);
    }

private:
    QString m_name;
    QString m_handle;
};

class TDesktopInhibitBus : public IsbInhibitBus {
public:
    std::unique_ptr<IsbInhibitor> TakeLogind(const std::string& Why,
                                             std::string& Failure) override {
        QString name;
        QDBusConnection bus = openConnection(systemBusAddress(), name);
        std::unique_ptr<IsbInhibitor> inhibitor;
        if (!bus.isConnected()) {
            Failure = "no system bus (" + bus.lastError().message().toStdString() + ")";
        } else if (!(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
            Failure = "the system bus passes no file descriptors";
        } else {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
            call << QString::fromLatin1(sbInhibitWhat) << QString::fromLatin1(sbInhibitWho)
                 << QString::fromStdString(Why) << QString::fromLatin1(sbInhibitMode);
            const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
            const QDBusUnixFileDescriptor fd =
                reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                    ? reply.arguments().constFirst().value<QDBusUnixFileDescriptor>()
                    : QDBusUnixFileDescriptor();
            if (fd.isValid()) {
                inhibitor = std::make_unique<TLogindInhibitor>(fd);
            } else {
                Failure = reply.type() == QDBusMessage::ErrorMessage
                              ? errorText(reply)
                              : std::string("logind answered without a file descriptor");
            }
        }
        // The descriptor holds the inhibitor; the connection is not needed for it.
        QDBusConnection::disconnectFromBus(name);
        return inhibitor;
    }

    std::unique_ptr<IsbInhibitor> TakePortal(const std::string& Why,
                                             std::string& Failure) override {
        const QString address = sessionBusAddress();
        if (address.isEmpty()) {
            Failure = "no session bus";
            return nullptr;
        }
        QString name;
        QDBusConnection bus = openConnection(address, name);
        if (bus.isConnected()) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                QStringLiteral("org.freedesktop.portal.Desktop"),
                QStringLiteral("/org/freedesktop/portal/desktop"),
                QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
            call << QString() << sbPortalInhibitFlags
                 << QVariantMap{{QStringLiteral("reason"), QString::fromStdString(Why)}};
            const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
            const QString handle =
                reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                    ? reply.arguments().constFirst().value<QDBusObjectPath>().path()
                    : QString();
            if (!handle.isEmpty()) {
                return std::make_unique<TPortalInhibitor>(name, handle);
            }
            Failure = reply.type() == QDBusMessage::ErrorMessage
                          ? errorText(reply)
                          : std::string("the portal answered without a request");
        } else {
            Failure = "no session bus (" + bus.lastError().message().toStdString() + ")";
        }
        QDBusConnection::disconnectFromBus(name);
        return nullptr;
    }
};

} // namespace

std::shared_ptr<IsbInhibitBus> MakeDesktopInhibitBus() {
    return std::make_shared<TDesktopInhibitBus>();
}
