// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbAnimate.h"

#include "ui/sbGuard.h"

#include <QPainter>

#include <algorithm>

TsbAnimate::TsbAnimate(QWidget* parent) : QWidget(parent) {
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, sbGuarded(this, [this] { Step(); }));
}

bool TsbAnimate::SetStrip(const QImage& strip, const QSize& frameSize) {
    m_frames.clear();
    m_current = 0;
    m_frameSize = frameSize;
    if (strip.isNull() || frameSize.isEmpty() || strip.width() < frameSize.width()) {
        update();
        return false;
    }
    for (int top = 0; top + frameSize.height() <= strip.height(); top += frameSize.height()) {
        m_frames.push_back(strip.copy(0, top, frameSize.width(), frameSize.height()));
    }
    if (!m_frames.empty()) {
        m_current = FirstFrame();
    }
    update();
    return !m_frames.empty();
}

int TsbAnimate::FirstFrame() const {
    return std::clamp(m_startFrame, 1, std::max(1, FrameCount()));
}

int TsbAnimate::LastFrame() const {
    const int last = m_stopFrame <= 0 ? FrameCount() : std::min(m_stopFrame, FrameCount());
    return std::max(FirstFrame(), last);
}

void TsbAnimate::SetActive(bool active) {
    if (active == m_timer.isActive()) {
        return;
    }
    if (active && !m_frames.empty()) {
        m_current = FirstFrame();
        m_timer.start();
    } else {
        m_timer.stop();
    }
    update();
}

void TsbAnimate::Step() {
    if (m_frames.empty()) {
        return;
    }
    m_current = m_current >= LastFrame() || m_current < FirstFrame() ? FirstFrame() : m_current + 1;
    update();
}

void TsbAnimate::paintEvent(QPaintEvent*) {
    if (m_current < 1 || m_current > FrameCount()) {
        return;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_frames[static_cast<size_t>(m_current - 1)]);
}
