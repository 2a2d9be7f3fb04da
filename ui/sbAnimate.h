// SPDX-License-Identifier: GPL-2.0-or-later
// Plays pictures cut from a strip in a loop, like the animation control of a
// desktop toolkit plays a short clip. The strip holds its frames one below
// the other; StartFrame and StopFrame count from 1.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <vector>

class TsbAnimate : public QWidget {
    Q_OBJECT

public:
    explicit TsbAnimate(QWidget* parent = nullptr);

    // Cuts strip into frames of frameSize; the number of frames is what fits.
    // Returns false (and keeps no frames) when not one frame fits.
    bool SetStrip(const QImage& strip, const QSize& frameSize);
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    QSize FrameSize() const { return m_frameSize; }

    void SetStartFrame(int frame) { m_startFrame = frame; }
    void SetStopFrame(int frame) { m_stopFrame = frame; }
    void SetInterval(int ms) { m_timer.setInterval(ms); }
    int StartFrame() const { return m_startFrame; }
    int StopFrame() const { return m_stopFrame; }
    int Interval() const { return m_timer.interval(); }

    void SetActive(bool active);
    bool Active() const { return m_timer.isActive(); }
    // The frame shown now, counted from 1; 0 when there is none.
    int CurrentFrame() const { return m_current; }
    // Moves to the next frame of the loop (what the timer does).
    void Step();

    QSize sizeHint() const override { return m_frameSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FirstFrame() const;
    int LastFrame() const;

    std::vector<QImage> m_frames;
    QSize m_frameSize;
    QTimer m_timer;
    int m_startFrame = 1;
    int m_stopFrame = 0; // 0: the last frame of the strip
    int m_current = 0;
};
