// SPDX-License-Identifier: GPL-2.0-or-later
// The one place where an error that escapes a handler ends: its text is shown
// in an error box, as a desktop program's framework would, and the event
// loop goes on. Every slot, timer callback and overridden event handler of
// the program runs through sbGuard, so no exception ever unwinds through Qt.
#pragma once

#include <QString>

#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

// Runs fn; shows the text of an exception that escapes it in an error box
// (through TsbDialogs) whose owner is owner. Returns false when fn failed.
bool sbGuard(QWidget* owner, const std::function<void()>& fn) noexcept;

// The text an escaping exception is shown with.
QString sbCurrentExceptionText();

// Wraps a handler so that it can be connected to a signal directly:
//   connect(button, &QAbstractButton::clicked, this, sbGuarded(this, [this] { ... }));
template <class F>
auto sbGuarded(QWidget* owner, F handler) {
    return [owner, handler = std::move(handler)](auto&&... args) mutable {
        sbGuard(owner, [&] {
            // A handler may ignore what the signal carries (clicked's checked flag).
            if constexpr (std::is_invocable_v<F&, decltype(args)...>) {
                handler(std::forward<decltype(args)>(args)...);
            } else {
                handler();
            }
        });
    };
}
