// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/sbTermination.h"

#include "base/sbLibraryCall.h"
#include "starburn/StarBurnLinux.h"
#include "ui/sbGuard.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
struct sigaction g_previous[2];

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// Seconds a real drive gets to stop writing before the program ends anyway.
constexpr uint32_t kPatienceSeconds = 10;

} // namespace

TsbTerminationSignals::TsbTerminationSignals(std::function<void()> onTerminate)
    : m_onTerminate(std::move(onTerminate)) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // no pipe, no handler: the signals keep their default effect
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    // No window owns this: an error is shown in a box of its own.
    connect(m_notifier.get(), &QSocketNotifier::activated, this,
            sbGuarded(nullptr, [this] { Signalled(); }));
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_previous[0]);
    ::sigaction(SIGTERM, &action, &g_previous[1]);
}

TsbTerminationSignals::~TsbTerminationSignals() {
    if (m_notifier) {
        ::sigaction(SIGINT, &g_previous[0], nullptr);
        ::sigaction(SIGTERM, &g_previous[1], nullptr);
    }
}

void TsbTerminationSignals::Signalled() {
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    if (m_done) {
        return; // a second signal while the first is answered changes nothing
    }
    m_done = true;
    LibraryCall("StarBurn_AbortWrites", [] { return StarBurn_AbortWrites(kPatienceSeconds); });
    if (m_onTerminate) {
        m_onTerminate();
    }
}
