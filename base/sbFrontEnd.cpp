// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbFrontEnd.h"

#include <cstdio>
#include <mutex>

namespace {

// The hooks are installed once by the front end before any worker runs; the
// mutex only keeps a late re-install from racing a reader.
std::mutex g_mutex;
std::function<void()> g_processMessages;
TsbMessageBoxHook g_messageBox;
TsbProgressWindowFactory g_progressWindowFactory;

template <class T>
T copyOf(const T& hook) {
    std::lock_guard lock(g_mutex);
    return hook;
}

// Set on a thread that waits for a worker of its own (a drive of several
// written at once): the front end's messages are the main thread's.
thread_local bool t_quiet = false;

} // namespace

TsbQuietWaits::TsbQuietWaits(bool quiet) : previous_(t_quiet) {
    t_quiet = quiet;
}

TsbQuietWaits::~TsbQuietWaits() {
    t_quiet = previous_;
}

bool WaitsAreQuiet() {
    return t_quiet;
}

void SetProcessMessagesHook(std::function<void()> hook) {
    std::lock_guard lock(g_mutex);
    g_processMessages = std::move(hook);
}

void ProcessMessages() {
    if (t_quiet) {
        return;
    }
    if (auto hook = copyOf(g_processMessages)) {
        hook();
    }
}

void SetMessageBoxHook(TsbMessageBoxHook hook) {
    std::lock_guard lock(g_mutex);
    g_messageBox = std::move(hook);
}

void ShowMessageBox(const std::string& text, const std::string& caption, TsbMessageBoxKind kind) {
    if (auto hook = copyOf(g_messageBox)) {
        hook(text, caption, kind);
        return;
    }
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
}

void SetProgressWindowFactory(TsbProgressWindowFactory factory) {
    std::lock_guard lock(g_mutex);
    g_progressWindowFactory = std::move(factory);
}

std::unique_ptr<IsbProgressWindow> CreateProgressWindow() {
    if (auto factory = copyOf(g_progressWindowFactory)) {
        return factory();
    }
    return nullptr;
}
