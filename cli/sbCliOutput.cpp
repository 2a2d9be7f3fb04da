// SPDX-License-Identifier: GPL-2.0-or-later
#include "cli/sbCliOutput.h"

#include "base/sbStrUtils.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

// A terminal line is redrawn at most this often; more would only flicker.
constexpr auto redrawStep = std::chrono::milliseconds(100);

std::string timeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

const char* kindName(TsbLogItemType kind) {
    switch (kind) {
    case litError:
        return "error";
    case litWarning:
        return "warning";
    default:
        return "info";
    }
}

std::string clockText(int64_t seconds) {
    if (seconds < 0) {
        return "--:--";
    }
    if (seconds >= 3600) {
        return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
    }
    return fmt::format("{:02}:{:02}", seconds / 60, seconds % 60);
}

std::string number(double value, int decimals) {
    return fmt::format("{:.{}f}", value, decimals);
}

} // namespace

std::string JsonString(std::string_view text) {
    // The round trip through UTF-16 replaces every byte that is not UTF-8.
    const std::string clean = Utf16ToUtf8(Utf8ToUtf16(text));
    std::string json;
    json.reserve(clean.size() + 2);
    json += '"';
    for (const char c : clean) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7F) {
                json += fmt::format("\\u{:04x}", u);
            } else {
                json += c;
            }
        }
    }
    json += '"';
    return json;
}

std::string JsonEvent(const std::string& event, const std::vector<TJsonField>& fields) {
    std::string line = "{\"event\":" + JsonString(event);
    for (const auto& [name, value] : fields) {
        line += "," + JsonString(name) + ":" + value;
    }
    return line + "}";
}

TCliOutput::TCliOutput(TCliOutputForm form, std::FILE* out, std::FILE* err)
    : form_(form), out_(out), err_(err) {}

std::string TCliOutput::json(const std::string& event, std::vector<TJsonField> fields) const {
    if (!drive_.empty()) {
        fields.insert(fields.begin(), {"drive", JsonString(drive_)});
    }
    return JsonEvent(event, fields);
}

void TCliOutput::SetDrive(const std::string& name) {
    std::lock_guard lock(mutex_);
    drive_ = name;
}

void TCliOutput::Status(const std::string& line) {
    std::lock_guard lock(mutex_);
    status_ = line;
    if (form_ != TCliOutputForm::Terminal) {
        return;
    }
    if (status_.empty()) {
        clearLine();
    } else if (Clock::now() - lastDraw_ >= redrawStep) {
        drawLine();
    }
}

void TCliOutput::clearLine() {
    if (lineShown_) {
        std::fputs("\r\033[K", out_);
        lineShown_ = false;
    }
}

void TCliOutput::drawLine() {
    std::fputs(("\r" + (status_.empty() ? progressLine(figures()) : status_) + "\033[K").c_str(),
               out_);
    std::fflush(out_);
    lineShown_ = true;
    lastDraw_ = Clock::now();
}

namespace {

struct TTranscript {
    std::mutex Mutex;
    std::vector<std::string> Lines;
};

TTranscript& transcript() {
    static TTranscript t;
    return t;
}

void record(const std::string& line) {
    // A run prints a few hundred lines; a runaway one stops being recorded.
    constexpr std::size_t kMostLines = 20000;
    TTranscript& t = transcript();
    std::lock_guard lock(t.Mutex);
    if (t.Lines.size() < kMostLines) {
        t.Lines.push_back(line);
    }
}

} // namespace

std::vector<std::string> CliTranscript() {
    TTranscript& t = transcript();
    std::lock_guard lock(t.Mutex);
    return t.Lines;
}

void TCliOutput::Log(const std::string& text, TsbLogItemType kind) {
    std::lock_guard lock(mutex_);
    const std::string time = timeOfDay();
    record(time + "  " +
           (kind == litError     ? "error: "
            : kind == litWarning ? "warning: "
                                 : "") +
           text);
    if (form_ == TCliOutputForm::Json) {
        std::fputs((json("log", {{"time", JsonString(time)},
                                 {"kind", JsonString(kindName(kind))},
                                 {"text", JsonString(text)}}) +
                    "\n")
                       .c_str(),
                   out_);
        std::fflush(out_);
        return;
    }
    clearLine();
    const char* mark = kind == litError ? "error: " : kind == litWarning ? "warning: " : "";
    std::fputs((time + "  " + mark + text + "\n").c_str(), out_);
    if (form_ == TCliOutputForm::Terminal && (writing_ || !status_.empty())) {
        drawLine();
    }
    std::fflush(out_);
}

void TCliOutput::Note(const std::string& text) {
    std::lock_guard lock(mutex_);
    record(timeOfDay() + "  " + text);
    if (form_ == TCliOutputForm::Json) {
        std::fputs((json("note", {{"text", JsonString(text)}}) + "\n").c_str(), out_);
    } else {
        clearLine();
        std::fputs((text + "\n").c_str(), out_);
        if (form_ == TCliOutputForm::Terminal && writing_) {
            drawLine();
        }
    }
    std::fflush(out_);
}

void TCliOutput::Error(const std::string& text) {
    std::lock_guard lock(mutex_);
    record(timeOfDay() + "  tavrin-burn: " + text);
    if (form_ == TCliOutputForm::Json) {
        std::fputs((json("error", {{"text", JsonString(text)}}) + "\n").c_str(), out_);
        std::fflush(out_);
    } else {
        clearLine();
        std::fflush(out_);
    }
    std::fputs(("tavrin-burn: " + text + "\n").c_str(), err_);
    std::fflush(err_);
}

void TCliOutput::Raw(const std::string& line) {
    std::lock_guard lock(mutex_);
    record(line);
    std::fputs((line + "\n").c_str(), out_);
    std::fflush(out_);
}

void TCliOutput::BeginWrite(int64_t totalBytes, uint32_t unitKBps) {
    beginPass(totalBytes, unitKBps, false);
}

void TCliOutput::BeginVerify(int64_t totalBytes, uint32_t unitKBps) {
    beginPass(totalBytes, unitKBps, true);
}

void TCliOutput::BeginCopy(int64_t totalBytes, uint32_t unitKBps) {
    beginPass(totalBytes, unitKBps, true);
    std::lock_guard lock(mutex_);
    pass_ = "copy";
}

void TCliOutput::beginPass(int64_t totalBytes, uint32_t unitKBps, bool verify) {
    std::lock_guard lock(mutex_);
    if (form_ == TCliOutputForm::Terminal && writing_ && lineShown_) {
        // The finished pass keeps its line; the next one draws below it.
        drawLine();
        std::fputs("\n", out_);
        lineShown_ = false;
    }
    writing_ = true;
    verifying_ = verify;
    pass_ = verify ? "verify" : "write";
    totalBytes_ = totalBytes;
    unitKBps_ = unitKBps == 0 ? 176 : unitKBps;
    percent_ = 0;
    buffer_ = 0;
    lastPlainStep_ = -1;
    lastJsonPercent_ = -1;
    start_ = Clock::now();
    lastDraw_ = {};
}

TCliOutput::TFigures TCliOutput::figures() const {
    TFigures f{};
    f.Percent = std::clamp(percent_, 0, 100);
    f.TotalMB = static_cast<double>(totalBytes_) / 1048576.0;
    f.DoneMB = f.TotalMB * f.Percent / 100.0;
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    f.ElapsedSeconds = static_cast<int64_t>(seconds);
    f.MBps = seconds > 0.05 ? f.DoneMB / seconds : 0;
    f.Factor = f.MBps * 1048576.0 / 1000.0 / unitKBps_;
    f.Buffer = std::clamp(buffer_, 0, 100);
    f.RemainingSeconds = f.Percent > 0 && f.Percent < 100
                             ? static_cast<int64_t>(seconds * (100 - f.Percent) / f.Percent)
                             : (f.Percent >= 100 ? 0 : -1);
    return f;
}

std::string TCliOutput::progressLine(const TFigures& f) const {
    if (verifying_) {
        return fmt::format("{} {:3} %  {} of {} MB read  {} MB/s ({}x)  {} elapsed, {} left", pass_,
                           f.Percent, number(f.DoneMB, 1), number(f.TotalMB, 1), number(f.MBps, 1),
                           number(f.Factor, 1), clockText(f.ElapsedSeconds),
                           clockText(f.RemainingSeconds));
    }
    return fmt::format("{:3} %  {} of {} MB  {} MB/s ({}x)  buffer {:3} %  {} elapsed, {} left",
                       f.Percent, number(f.DoneMB, 1), number(f.TotalMB, 1), number(f.MBps, 1),
                       number(f.Factor, 1), f.Buffer, clockText(f.ElapsedSeconds),
                       clockText(f.RemainingSeconds));
}

void TCliOutput::emitProgress(bool force) {
    if (!writing_) {
        return;
    }
    switch (form_) {
    case TCliOutputForm::Terminal:
        if (force || Clock::now() - lastDraw_ >= redrawStep) {
            drawLine();
        }
        break;
    case TCliOutputForm::Plain: {
        const int32_t step = std::clamp(percent_, 0, 100) / 5;
        if (step != lastPlainStep_) {
            lastPlainStep_ = step;
            std::fputs(("Progress: " + progressLine(figures()) + "\n").c_str(), out_);
            std::fflush(out_);
        }
        break;
    }
    case TCliOutputForm::Json:
        if (percent_ != lastJsonPercent_) {
            lastJsonPercent_ = percent_;
            const TFigures f = figures();
            std::fputs(
                (json("progress", {{"pass", JsonString(pass_)},
                                   {"percent", std::to_string(f.Percent)},
                                   {"written_mb", number(f.DoneMB, 1)},
                                   {"total_mb", number(f.TotalMB, 1)},
                                   {"mb_per_second", number(f.MBps, 2)},
                                   {"x_factor", number(f.Factor, 1)},
                                   {"buffer_percent", std::to_string(f.Buffer)},
                                   {"elapsed_seconds", std::to_string(f.ElapsedSeconds)},
                                   {"remaining_seconds",
                                    f.RemainingSeconds < 0 ? std::string("null")
                                                           : std::to_string(f.RemainingSeconds)}}) +
                 "\n")
                    .c_str(),
                out_);
            std::fflush(out_);
        }
        break;
    }
}

void TCliOutput::Progress(int32_t percent) {
    std::lock_guard lock(mutex_);
    const bool changed = percent != percent_;
    percent_ = percent;
    emitProgress(changed && form_ != TCliOutputForm::Terminal);
}

void TCliOutput::BufferFill(int32_t percent) {
    std::lock_guard lock(mutex_);
    buffer_ = percent;
    if (form_ == TCliOutputForm::Terminal) {
        emitProgress(false);
    }
}

void TCliOutput::Tick() {
    std::lock_guard lock(mutex_);
    if (form_ == TCliOutputForm::Terminal) {
        emitProgress(false);
    }
}

void TCliOutput::EndWrite() {
    std::lock_guard lock(mutex_);
    if (!writing_) {
        return;
    }
    if (form_ == TCliOutputForm::Terminal && lineShown_) {
        drawLine();
        std::fputs("\n", out_);
        lineShown_ = false;
    }
    writing_ = false;
    verifying_ = false;
    std::fflush(out_);
}

void TCliOutput::Result(int exitStatus, const std::string& outcome, const std::string& text) {
    std::lock_guard lock(mutex_);
    record(timeOfDay() + "  exit status " + std::to_string(exitStatus) + " (" + outcome +
           "): " + text);
    if (form_ == TCliOutputForm::Json) {
        std::fputs((json("result", {{"exit_status", std::to_string(exitStatus)},
                                    {"outcome", JsonString(outcome)},
                                    {"text", JsonString(text)}}) +
                    "\n")
                       .c_str(),
                   out_);
        std::fflush(out_);
    }
}
