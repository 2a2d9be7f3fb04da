// SPDX-License-Identifier: GPL-2.0-or-later
// SIGINT and SIGTERM end the wizard as Cancel would, without its question:
// every running write of the library is cancelled and awaited (a recorder
// left writing with nobody to finish the write stays busy and holds an
// unfinished track), then the program ends. The handler only writes a byte
// to a pipe; the window thread does the rest, outside the handler.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TsbTerminationSignals : public QObject {
public:
    // OnTerminate runs on the window thread once the writes have ended.
    explicit TsbTerminationSignals(std::function<void()> onTerminate);
    ~TsbTerminationSignals() override;

    TsbTerminationSignals(const TsbTerminationSignals&) = delete;
    TsbTerminationSignals& operator=(const TsbTerminationSignals&) = delete;

private:
    void Signalled();

    std::function<void()> m_onTerminate;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_done = false;
};
