// SPDX-License-Identifier: GPL-2.0-or-later
// A race planted on purpose between a worker thread and a window's slot,
// reached the way the burn sheet's progress reaches its window: a functor
// queued to a widget with QMetaObject::invokeMethod. Built only with the
// thread sanitizer, which must report it under the project's suppressions.
// With --ordered the same program has no race (the worker writes first and
// is joined before the slot runs), and nothing may be reported: the only
// difference between the two runs is the race.
#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QTimer>

#include <cstring>
#include <thread>

namespace {

// Plain on purpose: the race is the point.
int g_percent = 0;

} // namespace

int main(int argc, char** argv) {
    const bool ordered = argc > 1 && std::strcmp(argv[1], "--ordered") == 0;
    QApplication app(argc, argv);
    QLabel label;
    label.show();

    std::thread worker([&] {
        if (ordered) {
            g_percent = 50;
        }
        QMetaObject::invokeMethod(
            &label,
            [&] {
                label.setText(QString::number(g_percent) + " %");
                app.quit();
            },
            Qt::QueuedConnection);
        if (!ordered) {
            g_percent = 50; // after the call was queued: nothing orders it with the slot
        }
    });
    if (ordered) {
        worker.join();
    }
    // Otherwise joined only after the slot has run: whichever of the two
    // accesses comes first in time, nothing orders them.
    QTimer::singleShot(10000, &app, [&] { app.exit(2); });
    const int result = app.exec();
    if (worker.joinable()) {
        worker.join();
    }
    return result;
}
