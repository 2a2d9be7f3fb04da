// SPDX-License-Identifier: GPL-2.0-or-later
// Another program run by a test (tavrin-burn, xorriso, tar, lupdate).
//
// Not with QProcess: Qt starts a program from a vfork-like clone that shares
// the test's memory until the exec, and the thread sanitizer's clone hook
// then books the new process in the thread state of the test's own thread.
// The test dies at its next thread ("starting new threads after
// multi-threaded fork") or, told to go on, has forgotten its locks and
// reports races that are not there. popen starts the shell through
// posix_spawn, which the sanitizer leaves alone.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <sys/wait.h>

struct TTestRun {
    int ExitCode = -1; // -1: not started, killed, or stopped after Seconds
    QByteArray Output;
};

// Runs Program with Arguments in Folder (the test's own when empty) for at
// most Seconds. Output holds standard output, and standard error too when
// WithErrors; otherwise standard error stays the test's.
inline TTestRun RunProgram(const QString& Program, const QStringList& Arguments,
                           const QString& Folder = {}, int Seconds = 120, bool WithErrors = true) {
    const auto quoted = [](QString text) {
        return QLatin1Char('\'') + text.replace(QLatin1Char('\''), QLatin1String("'\\''")) +
               QLatin1Char('\'');
    };
    QString command;
    if (!Folder.isEmpty()) {
        command = QStringLiteral("cd ") + quoted(Folder) + QStringLiteral(" && ");
    }
    command += QStringLiteral("exec timeout ") + QString::number(Seconds) + QLatin1Char(' ') +
               quoted(Program);
    for (const QString& argument : Arguments) {
        command += QLatin1Char(' ') + quoted(argument);
    }
    if (WithErrors) {
        command += QStringLiteral(" 2>&1");
    }
    TTestRun run;
    FILE* pipe = ::popen(command.toLocal8Bit().constData(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Output.append(buffer, static_cast<qsizetype>(got));
    }
    const int status = ::pclose(pipe);
    run.ExitCode = WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    return run;
}
