// SPDX-License-Identifier: GPL-2.0-or-later
// The mocked logind and desktop portal of tests/support/dbusmock_host.py,
// run beside a test inside dbus-run-session. The test asks them what they
// hold while the program under test works; the program reaches the mocks by
// the session bus's address, given to it as its system bus too.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class TDBusMockHost {
public:
    TDBusMockHost() = default;
    TDBusMockHost(const TDBusMockHost&) = delete;
    TDBusMockHost& operator=(const TDBusMockHost&) = delete;
    ~TDBusMockHost() { Stop(); }

    // Starts the mocks; false with Error set when they do not come up.
    bool Start(std::string& Error) {
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        if (session == nullptr || *session == '\0') {
            Error = "no session bus: run the test inside dbus-run-session";
            return false;
        }
        SessionAddress = session;
        int toHost[2];
        int fromHost[2];
        // Kept from the programs the test starts: the mocks end when this
        // side of their input closes, not when the last of those has ended.
        if (::pipe2(toHost, O_CLOEXEC) != 0 || ::pipe2(fromHost, O_CLOEXEC) != 0) {
            Error = "pipe failed";
            return false;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(toHost[0], 0);
            ::dup2(fromHost[1], 1);
            for (int fd : {toHost[0], toHost[1], fromHost[0], fromHost[1]}) {
                ::close(fd);
            }
            ::execl(DBUSMOCK_PYTHON, DBUSMOCK_PYTHON, DBUSMOCK_HOST, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(toHost[0]);
        ::close(fromHost[1]);
        m_to = ::fdopen(toHost[1], "w");
        m_from = ::fdopen(fromHost[0], "r");
        const std::string ready = readLine();
        if (ready != "ready") {
            Error = "the D-Bus mocks did not start (" + ready + ")";
            Stop();
            return false;
        }
        return true;
    }

    void Stop() {
        if (m_to != nullptr) {
            std::fclose(m_to);
            m_to = nullptr;
        }
        if (m_from != nullptr) {
            std::fclose(m_from);
            m_from = nullptr;
        }
        if (m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

    // What logind holds ("what|who|why|mode" each) or the portal holds
    // ("flags|reason" each), now.
    std::vector<std::string> Logind() { return ask("logind"); }
    std::vector<std::string> Portal() { return ask("portal"); }

    // Waits up to five seconds for logind and the portal to hold nothing (a
    // closed inhibitor reaches the mock a moment after it is let go); true
    // when they do.
    bool NothingHeldSoon() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!Logind().empty() || !Portal().empty()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    std::string SessionAddress;

private:
    std::string readLine() {
        std::string line;
        for (int c; m_from != nullptr && (c = std::fgetc(m_from)) != EOF && c != '\n';) {
            line += static_cast<char>(c);
        }
        return line;
    }

    std::vector<std::string> ask(const char* command) {
        if (m_to == nullptr) {
            return {"the mocks are not running"};
        }
        std::fprintf(m_to, "%s\n", command);
        std::fflush(m_to);
        const std::string line = readLine();
        std::vector<std::string> fields;
        std::size_t start = 0;
        for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos;
             start = tab + 1) {
            fields.push_back(line.substr(start, tab - start));
        }
        fields.push_back(line.substr(start));
        // The first field is the count of the others.
        fields.erase(fields.begin());
        return fields;
    }

    pid_t m_pid = -1;
    std::FILE* m_to = nullptr;
    std::FILE* m_from = nullptr;
};
