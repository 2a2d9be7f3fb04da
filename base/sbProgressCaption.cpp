// SPDX-License-Identifier: GPL-2.0-or-later
#include "base/sbProgressCaption.h"

#include "base/sbTranslate.h"
#include "base/sbUtils.h"
#include "starburn/StarBurn.h"

#include <fmt/printf.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
// A speed needs some time behind it; the first instants would show wild figures.
constexpr double kMinSecondsForSpeed = 0.5;

} // namespace

double OneXBytesPerSecond(uint8_t discType) {
    // Every DVD kind, also the two the speed tables measure against the CD's unit.
    if (IsDVDDiscType(discType) || discType == DISC_TYPE_DVDR_DL ||
        discType == DISC_TYPE_HDDVDROM) {
        return 1385000.0;
    }
    if (discType == DISC_TYPE_BDR || discType == DISC_TYPE_BDRE) {
        return 4495500.0;
    }
    return 176400.0;
}

std::string DurationText(double seconds) {
    const auto total = static_cast<int64_t>(std::max(0.0, std::floor(seconds + 0.5)));
    const int64_t hours = total / 3600;
    const int64_t minutes = total / 60 % 60;
    const int64_t secs = total % 60;
    if (hours > 0) {
        return fmt::sprintf("%d:%02d:%02d", hours, minutes, secs);
    }
    return fmt::sprintf("%d:%02d", minutes, secs);
}

std::string ProgressCaption(uint64_t bytesDone, uint64_t bytesTotal, double elapsedSeconds,
                            uint8_t discType) {
    bytesDone = std::min(bytesDone, bytesTotal);
    std::string text = fmt::sprintf(SbTranslate("Progress", "%.1f of %.1f MB"),
                                    static_cast<double>(bytesDone) / kMegabyte,
                                    static_cast<double>(bytesTotal) / kMegabyte);
    const bool speedKnown = bytesDone > 0 && elapsedSeconds >= kMinSecondsForSpeed;
    if (speedKnown) {
        const double speed = static_cast<double>(bytesDone) / elapsedSeconds;
        text += fmt::sprintf(" \u00B7 %.1f MB/s (%.0fx)", speed / kMegabyte,
                             speed / OneXBytesPerSecond(discType));
    }
    text += " \u00B7 " +
            fmt::sprintf(SbTranslate("Progress", "%s elapsed"), DurationText(elapsedSeconds));
    if (speedKnown) {
        const double left =
            static_cast<double>(bytesTotal - bytesDone) * elapsedSeconds / bytesDone;
        text += " \u00B7 " + fmt::sprintf(SbTranslate("Progress", "%s left"), DurationText(left));
    }
    return text;
}

void TsbProgressMeter::Start(uint64_t bytesTotal, uint8_t discType) {
    m_started = true;
    m_clockRunning = false;
    m_total = bytesTotal;
    m_discType = discType;
    m_startSeconds = 0;
}

std::string TsbProgressMeter::Update(int32_t percent, double nowSeconds) {
    if (!m_started) {
        return {};
    }
    if (!m_clockRunning) {
        m_clockRunning = true;
        m_startSeconds = nowSeconds;
    }
    const auto clamped = static_cast<uint64_t>(std::clamp(percent, 0, 100));
    // The library reports whole percents; the amount written follows them.
    const uint64_t done = m_total / 100 * clamped + m_total % 100 * clamped / 100;
    return ProgressCaption(done, m_total, nowSeconds - m_startSeconds, m_discType);
}
