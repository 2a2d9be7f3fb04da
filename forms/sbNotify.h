// SPDX-License-Identifier: GPL-2.0-or-later
// A desktop notification when a burn ends while the user looks elsewhere:
// org.freedesktop.Notifications on the session bus, when the session has one.
#pragma once

#include <QString>

#include <functional>

class QWidget;

// Sends title and body to the desktop when window is not the active window;
// returns whether a notification went out. Nothing is sent while the user
// is looking at the window, or when there is no session bus.
bool NotifyWhenInactive(const QWidget* window, const QString& title, const QString& body);

// Replaces the D-Bus call (tests record instead); an empty handler restores it.
using TsbNotifyHandler = std::function<bool(const QString& title, const QString& body)>;
void SetNotifyHandler(TsbNotifyHandler handler);
