// SPDX-License-Identifier: GPL-2.0-or-later
// What every command of tavrin-burn stands on: the terminal's front-end
// hooks and the library session, the two ways a run ends early, the
// question before a burn or an erase, and the wrapper that gives a command
// its output and its exit status.
#pragma once

#include "base/sbTypes.h"
#include "cli/sbCliCommands.h"
#include "cli/sbCliOutput.h"
#include "engine/sbLibrarySession.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace cli {

// A run that ends early: its exit status and the text that says why.
struct ECliStop {
    int Status;
    std::string Text;
};

[[noreturn]] void stop(int status, const std::string& text);

TCliOutputForm outputForm(bool json);
TsbTransportType transportOf(const std::string& name);

// The front-end hooks of a terminal, and the library session, for one command.
class TCliFrontEnd {
public:
    TCliFrontEnd(TCliOutput& output, TCliSignals& signals);
    ~TCliFrontEnd();
    TCliFrontEnd(const TCliFrontEnd&) = delete;
    TCliFrontEnd& operator=(const TCliFrontEnd&) = delete;

    // Run on the main thread every step the engine waits for a worker.
    std::function<void()> OnWait;

    TCliSignals& Signals() { return signals_; }

private:
    TCliOutput& output_;
    TCliSignals& signals_;
    TsbLibrarySession session_;
};

// A question of the burn: answered by --yes, asked on a terminal, refused
// without one. Ctrl-C while it waits counts as no.
bool ask(const std::string& question, bool yes, TCliOutput& output, TCliSignals& signals);

// The rows in columns as wide as their widest cell. Widths count characters,
// not bytes, so a translated heading (GERÄT) keeps its column straight.
void printTable(TCliOutput& output, const std::vector<std::vector<std::string>>& rows);

// The outcome line and the exit status.
int finish(TCliOutput& output, int status, const std::string& outcome, const std::string& text);
int stopped(TCliOutput& output, const ECliStop& e);

// Runs a command's body with its output: a stop it raises ends the run with
// its own status, any other error as a failed burn.
template <class Body>
int runCommand(bool json, Body&& body) {
    TCliOutput output(outputForm(json), stdout, stderr);
    try {
        return body(output);
    } catch (const ECliStop& e) {
        return stopped(output, e);
    } catch (const std::exception& e) {
        output.Error(e.what());
        return finish(output, exBurnFailed, "failed", e.what());
    }
}

} // namespace cli
