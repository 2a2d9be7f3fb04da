// SPDX-License-Identifier: GPL-2.0-or-later
// What tavrin-burn prints: the log rows of the burn sheet, the write's
// progress, errors and the outcome, in one of three forms.
//
//   terminal  one progress line that redraws in place; log rows print above it
//   plain     (standard output is no terminal) plain lines only, at most one
//             progress line per 5 %
//   json      one JSON object per line for every event
//
// Every method may be called from any thread (the burn thread reports
// progress and log rows while the main thread waits).
#pragma once

#include "base/sbTypes.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class TCliOutputForm { Terminal, Plain, Json };

// Text as a JSON string literal, quotes included. Bytes that are not UTF-8
// become U+FFFD, so the line always parses.
std::string JsonString(std::string_view text);

// One field of a JSON event: its name and its value, already in JSON.
using TJsonField = std::pair<std::string, std::string>;
std::string JsonEvent(const std::string& event, const std::vector<TJsonField>& fields);

// Every log row, note, error, listing and result any TCliOutput of this run
// printed, as plain lines with their times (progress lines left out): what a
// problem report tells of the run.
std::vector<std::string> CliTranscript();

class TCliOutput {
public:
    TCliOutput(TCliOutputForm form, std::FILE* out, std::FILE* err);

    TCliOutputForm Form() const { return form_; }

    // A row of the burn log, with the time it arrived.
    void Log(const std::string& text, TsbLogItemType kind);
    // A line of the program's own (not a log row): plain text, or a JSON
    // event of the given name with a "text" field.
    void Note(const std::string& text);
    // An error: always on standard error; with --json also as an "error" event.
    void Error(const std::string& text);
    // A JSON object of its own (devices), or the text when not --json.
    void Raw(const std::string& line);

    // The write: total bytes and the 1x speed of the disc kind in KB/s.
    void BeginWrite(int64_t totalBytes, uint32_t unitKBps);
    // The read-back of the written blocks: the same progress line, a second
    // time, saying "verify" and without the drive buffer (the write's line
    // is left standing above it).
    void BeginVerify(int64_t totalBytes, uint32_t unitKBps);
    // A disc read into an image file: the verify line, saying "copy".
    void BeginCopy(int64_t totalBytes, uint32_t unitKBps);
    void Progress(int32_t percent);
    void BufferFill(int32_t percent);
    // Called every wait step on the main thread: the terminal line keeps its
    // elapsed time current.
    void Tick();
    // Ends the progress line (a terminal's line is left standing).
    void EndWrite();

    // Every JSON event from now on carries "drive": name first (empty: none),
    // for a run that writes several drives at once.
    void SetDrive(const std::string& name);
    // A terminal's redrawn line shows this instead of the write's progress
    // (empty: the progress again); other forms print nothing for it.
    void Status(const std::string& line);

    // The last event of a run: its exit status and a closing text.
    void Result(int exitStatus, const std::string& outcome, const std::string& text);

private:
    struct TFigures {
        int32_t Percent;
        double DoneMB, TotalMB, MBps, Factor;
        int32_t Buffer;
        int64_t ElapsedSeconds, RemainingSeconds; // remaining -1: not known yet
    };
    TFigures figures() const;
    std::string progressLine(const TFigures& f) const;
    void clearLine();
    void drawLine();
    void emitProgress(bool force);
    std::string json(const std::string& event, std::vector<TJsonField> fields) const;

    const TCliOutputForm form_;
    std::FILE* out_;
    std::FILE* err_;
    std::mutex mutex_;

    void beginPass(int64_t totalBytes, uint32_t unitKBps, bool verify);

    std::string drive_;
    std::string status_;
    bool writing_ = false;
    bool verifying_ = false;
    std::string pass_ = "write";
    bool lineShown_ = false;
    int64_t totalBytes_ = 0;
    uint32_t unitKBps_ = 176;
    int32_t percent_ = 0;
    int32_t buffer_ = 0;
    int32_t lastPlainStep_ = -1;
    int32_t lastJsonPercent_ = -1;
    std::chrono::steady_clock::time_point start_{};
    std::chrono::steady_clock::time_point lastDraw_{};
};
