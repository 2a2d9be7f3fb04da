// SPDX-License-Identifier: GPL-2.0-or-later
// A start-up check for installers and packagers: with TAVRIN_STARTUP_CHECK=1
// in the environment the program starts as always, and once its event loop
// has shown the welcome window it prints what it showed (title, art folder,
// any message box that start-up raised) and ends. Message boxes are recorded
// rather than shown, so a broken install ends with a report instead of
// waiting for a click. Without the variable nothing changes.
#pragma once

// True when TAVRIN_STARTUP_CHECK asks for the check. Call before the
// application object is made: it also records message boxes from then on.
bool StartupCheckRequested();

// Queues the check to run once the event loop has shown the welcome window;
// the loop then ends with 0 when the window shows its art, else 1.
void ScheduleStartupCheck();
