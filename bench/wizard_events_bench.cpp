// SPDX-License-Identifier: GPL-2.0-or-later
// The final sheet under a burst of burn-thread events: a worker raises
// progress and buffer events (and optionally log rows) as fast as it can
// while the GUI thread runs its event loop. A 1 ms timer on the GUI thread
// stamps every turn of the loop; the largest gap between two turns is how
// long the window stood still. At the end the gauges must show the last
// values raised.
//
//   wizard_events_bench [--events N] [--rows N] [--spread-ms N]
//
// --spread-ms spreads the burst over about that many milliseconds (0: all at
// once), as a real write spreads its reports over the burn.
#include "pages/ufrmFinalAction.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    int events = 10000;
    int rows = 0;
    int spreadMs = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--events") == 0) {
            events = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--rows") == 0) {
            rows = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--spread-ms") == 0) {
            spreadMs = std::atoi(argv[i + 1]);
        }
    }

    TfrmFinalAction page;
    page.resize(559, 409);
    page.show();
    QApplication::processEvents();

    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 maxGap = 0;
    long turns = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        maxGap = std::max(maxGap, now - lastTurn);
        lastTurn = now;
        ++turns;
    });

    std::atomic<bool> done{false};
    qint64 raiseNs = 0;
    const int lastProgress = 99;
    const int lastBuffer = 37;
    clock.start();
    ticker.start();
    std::thread worker([&] {
        QElapsedTimer raise;
        raise.start();
        for (int i = 0; i < events; ++i) {
            page.ShowProgress(i * 100 / events);
            page.ShowBufferFill(i % 101);
            if (rows > 0 && i % std::max(1, events / rows) == 0) {
                page.AddLogLine("row " + std::to_string(i), litInfo);
            }
            if (spreadMs > 0 && i % 100 == 99) {
                std::this_thread::sleep_for(
                    std::chrono::microseconds(spreadMs * 100'000LL / events));
            }
        }
        page.ShowProgress(lastProgress);
        page.ShowBufferFill(lastBuffer);
        raiseNs = raise.nsecsElapsed();
        done = true;
    });

    // The GUI thread runs its loop until the worker is done and the last
    // values are on the controls.
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done && page.pbWrite->value() == lastProgress &&
            page.lblBufferValue->text() == QStringLiteral("37 %")) {
            loop.quit();
        }
    });
    check.start();
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    worker.join();
    const qint64 totalNs = clock.nsecsElapsed();

    const bool shown = page.pbWrite->value() == lastProgress &&
                       page.lblProcentValue->text() == QStringLiteral("99 %") &&
                       page.lblBufferValue->text() == QStringLiteral("37 %");
    std::printf("events raised:        %d progress + %d buffer, %d log rows\n", events + 1,
                events + 1, page.lvLog->topLevelItemCount());
    std::printf("raising on worker:    %.1f ms\n", raiseNs / 1e6);
    std::printf("until last value shown: %.1f ms\n", totalNs / 1e6);
    std::printf("GUI loop turns:       %ld\n", turns);
    std::printf("largest gap between turns: %.2f ms (target: at most 50 ms)\n", maxGap / 1e6);
    std::printf("last values shown:    %s (progress %d, buffer %s)\n", shown ? "yes" : "NO",
                page.pbWrite->value(), qPrintable(page.lblBufferValue->text()));
    return shown && maxGap <= 50'000'000 ? 0 : 1;
}
