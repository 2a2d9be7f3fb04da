// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliRun.h"

#include "base/StarBurnImport.h"
#include "base/sbFrontEnd.h"
#include "base/sbResConst.h"
#include "base/sbTranslate.h"
#include "cli/sbCliSignals.h"
#include "platform/sbSystem.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace cli {

void stop(int status, const std::string& text) {
    throw ECliStop{status, text};
}

TCliOutputForm outputForm(bool json) {
    if (json) {
        return TCliOutputForm::Json;
    }
    return ::isatty(STDOUT_FILENO) ? TCliOutputForm::Terminal : TCliOutputForm::Plain;
}

TsbTransportType transportOf(const std::string& name) {
    return name == "aspi" ? ttAspi : ttSpti;
}

TCliFrontEnd::TCliFrontEnd(TCliOutput& output, TCliSignals& signals)
    : output_(output), signals_(signals) {
    SetMessageBoxHook(
        [this](const std::string& text, const std::string& caption, TsbMessageBoxKind kind) {
            const std::string shown = caption.empty() || caption == "Error" || caption == "Warning"
                                          ? text
                                          : caption + ": " + text;
            if (kind == TsbMessageBoxKind::mbkError) {
                output_.Error(shown);
            } else {
                output_.Error((kind == TsbMessageBoxKind::mbkWarning ? "warning: " : "") + shown);
            }
        });
    // No progress window: a search from the terminal shows nothing while it runs.
    SetProgressWindowFactory(nullptr);
    SetProcessMessagesHook([this] {
        if (OnWait) {
            OnWait();
        }
    });
    // The version line is for a debugger; a wrong version also shows a
    // warning box, which reaches standard error through the hook above.
    platform::SetDebugOutputSink([](std::string_view) {});
    CheckStarBurnVersion();
    platform::SetDebugOutputSink(nullptr);
    session_.StartLibrary();
}

TCliFrontEnd::~TCliFrontEnd() {
    session_.ShutDownLibrary();
    SetProcessMessagesHook(nullptr);
    SetMessageBoxHook(nullptr);
}

bool ask(const std::string& question, bool yes, TCliOutput& output, TCliSignals& signals) {
    if (yes) {
        return true;
    }
    if (!::isatty(STDIN_FILENO)) {
        stop(exUsage, fmt::format(fmt::runtime(SbTranslate(
                                      "tavrin-burn", "\"{}\" needs an answer and there is no "
                                                     "terminal to ask; add --yes to answer yes")),
                                  question));
    }
    output.Raw(question + " [y/N]");
    std::string answer;
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signals.WakeFd(), POLLIN, 0}};
        if (::poll(fds, signals.WakeFd() >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (signals.Requested()) {
            signals.Acknowledge();
            stop(exCancelled, LoadResString(rsCanceledByUser));
        }
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n <= 0 || c == '\n') {
            break;
        }
        answer += c;
    }
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

void printTable(TCliOutput& output, const std::vector<std::vector<std::string>>& rows) {
    // UTF-8: every byte but a continuation byte starts a character; fmt pads
    // by characters too.
    auto characters = [](const std::string& text) {
        return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }));
    };
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t c = 0; c < row.size(); ++c) {
            widths[c] = std::max(widths[c], characters(row[c]));
        }
    }
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += c + 1 < row.size() ? fmt::format("{:<{}}  ", row[c], widths[c]) : row[c];
        }
        output.Raw(line);
    }
}

int finish(TCliOutput& output, int status, const std::string& outcome, const std::string& text) {
    output.Result(status, outcome, text);
    return status;
}

int stopped(TCliOutput& output, const ECliStop& e) {
    const char* outcome = e.Status == exCancelled ? "cancelled"
                          : e.Status == exUsage   ? "usage"
                                                  : "no-drive-or-disc";
    if (e.Status == exCancelled) {
        output.Note(e.Text);
    } else {
        output.Error(e.Text);
    }
    return finish(output, e.Status, outcome, e.Text);
}

} // namespace cli
