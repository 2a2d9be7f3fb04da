// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliInhibit.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A bus that does not answer within this holds up the burn no longer.
constexpr uint64_t kCallTimeoutUs = 5'000'000;

std::string errorText(const sd_bus_error& error, int result) {
    if (error.name != nullptr) {
        return std::string(error.name) + ": " + (error.message != nullptr ? error.message : "");
    }
    return std::strerror(-result);
}

struct TBusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using TBus = std::unique_ptr<sd_bus, TBusCloser>;

class TLogindInhibitor : public IsbInhibitor {
public:
    explicit TLogindInhibitor(int fd) : m_fd(fd) {}
    // Closing the descriptor ends the inhibitor.
    ~TLogindInhibitor() override { ::close(m_fd); }

private:
    int m_fd;
};

class TPortalInhibitor : public IsbInhibitor {
public:
    TPortalInhibitor(TBus bus, std::string handle)
        : m_bus(std::move(bus)), m_handle(std::move(handle)) {}
    // Closing the request ends the inhibitor; so would the connection's end.
    ~TPortalInhibitor() override {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_call_method(m_bus.get(), "org.freedesktop.portal.Desktop", m_handle.c_str(),
                           "org.freedesktop.portal.Request", "Close", &error, nullptr, "");
        sd_bus_error_free(&error);
    }

private:
    TBus m_bus;
    std::string m_handle;
};

class TCliInhibitBus : public IsbInhibitBus {
public:
    std::unique_ptr<IsbInhibitor> TakeLogind(const std::string& Why,
                                             std::string& Failure) override {
        sd_bus* raw = nullptr;
        // DBUS_SYSTEM_BUS_ADDRESS, else the system's own socket.
        int result = sd_bus_open_system(&raw);
        TBus bus(raw);
        if (result < 0) {
            Failure = std::string("no system bus (") + std::strerror(-result) + ")";
            return nullptr;
        }
        sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        result =
            sd_bus_call_method(bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss",
                               sbInhibitWhat, sbInhibitWho, Why.c_str(), sbInhibitMode);
        int fd = -1;
        if (result < 0) {
            Failure = errorText(error, result);
        } else if ((result = sd_bus_message_read(reply, "h", &fd)) < 0) {
            Failure = std::string("logind answered without a file descriptor (") +
                      std::strerror(-result) + ")";
            fd = -1;
        } else {
            // The message owns its descriptor; the inhibitor keeps a copy of its own.
            fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            if (fd < 0) {
                Failure =
                    std::string("the inhibitor could not be kept (") + std::strerror(errno) + ")";
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return fd >= 0 ? std::make_unique<TLogindInhibitor>(fd) : nullptr;
    }

    std::unique_ptr<IsbInhibitor> TakePortal(const std::string& Why,
                                             std::string& Failure) override {
        sd_bus* raw = nullptr;
        // DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus; sd-bus launches none.
        int result = sd_bus_open_user(&raw);
        TBus bus(raw);
        if (result < 0) {
            Failure = std::string("no session bus (") + std::strerror(-result) + ")";
            return nullptr;
        }
        sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        result = sd_bus_call_method(
            bus.get(), "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.Inhibit", "Inhibit", &error, &reply, "sua{sv}", "",
            sbPortalInhibitFlags, 1, "reason", "s", Why.c_str());
        const char* handle = nullptr;
        std::unique_ptr<IsbInhibitor> inhibitor;
        if (result < 0) {
            Failure = errorText(error, result);
        } else if ((result = sd_bus_message_read(reply, "o", &handle)) < 0) {
            Failure = std::string("the portal answered without a request (") +
                      std::strerror(-result) + ")";
        } else {
            inhibitor = std::make_unique<TPortalInhibitor>(std::move(bus), handle);
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return inhibitor;
    }
};

} // namespace

std::shared_ptr<IsbInhibitBus> MakeCliInhibitBus() {
    return std::make_shared<TCliInhibitBus>();
}
