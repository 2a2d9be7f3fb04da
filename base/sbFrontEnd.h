// SPDX-License-Identifier: GPL-2.0-or-later
// What a front end (the wizard's windows, a command-line tool, a test)
// installs into the engine. The engine never includes Qt: it reaches the
// front end only through these hooks. Each hook has a plain default so the
// engine works without a front end (tests, benchmarks).
#pragma once

#include <functional>
#include <memory>
#include <string>

// Called between the 80 ms steps in which the main thread waits for a worker
// (device search, burn thread). The GUI processes its pending window events
// here. Default: nothing.
void SetProcessMessagesHook(std::function<void()> hook);
void ProcessMessages();

// While it lives, ProcessMessages does nothing on the calling thread: a
// thread of its own that runs one drive's burn among several waits there,
// and only the main thread processes the front end's messages. Workers an
// engine thread starts inherit it (engine/sbThread).
class TsbQuietWaits {
public:
    explicit TsbQuietWaits(bool quiet = true);
    ~TsbQuietWaits();
    TsbQuietWaits(const TsbQuietWaits&) = delete;
    TsbQuietWaits& operator=(const TsbQuietWaits&) = delete;

private:
    bool previous_;
};
bool WaitsAreQuiet();

enum class TsbMessageBoxKind { mbkError, mbkWarning, mbkInformation };

// A message box with an OK button: the burner's lock and release failures,
// the library version warning, a diagnostic log that cannot be written. It
// may be called on any thread and never waits there for the user: a worker
// thread goes on while the window thread shows the box. Default: the text
// goes to standard error.
using TsbMessageBoxHook = std::function<void(const std::string& text, const std::string& caption,
                                             TsbMessageBoxKind kind)>;
void SetMessageBoxHook(TsbMessageBoxHook hook);
void ShowMessageBox(const std::string& text, const std::string& caption, TsbMessageBoxKind kind);

// The small window with an animation and a Cancel button that the device
// search shows while it runs. The GUI implements it with its operation
// progress window; tests use a double.
class IsbProgressWindow {
public:
    virtual ~IsbProgressWindow() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetCancelVisible(bool visible) = 0;
    virtual void SetInfoText(const std::string& text) = 0;
    // Called on the main thread when the user presses Cancel.
    virtual void SetOnCancel(std::function<void()> onCancel) = 0;
    virtual void Show() = 0;
    virtual void Hide() = 0;
};

// Creates the progress window for a search that shows one. Default: no
// factory, and a search asked to show progress shows nothing.
using TsbProgressWindowFactory = std::function<std::unique_ptr<IsbProgressWindow>()>;
void SetProgressWindowFactory(TsbProgressWindowFactory factory);
std::unique_ptr<IsbProgressWindow> CreateProgressWindow();
