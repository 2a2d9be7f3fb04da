// SPDX-License-Identifier: GPL-2.0-or-later
// A window without a system frame. Its background and outline come from one
// bitmap: the picture is drawn at the top left, the window takes its size,
// and every pixel of the key colour (magenta) is cut out of the window's
// shape. The user drags the window with the left button by any part of the
// picture that no control covers, and by the widgets registered as drag
// handles (the logos); nowhere else.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QWidget>

class TsbSkinnedForm : public QWidget {
    Q_OBJECT

public:
    static constexpr QRgb KeyColor = 0xFFFF00FF; // opaque magenta

    explicit TsbSkinnedForm(QWidget* parent = nullptr);

    // Makes frame the window's background and outline; a null image takes
    // the skin away again (a plain framed window of the current size).
    void SetFrameBitmap(const QImage& frame);
    bool HasFrameBitmap() const { return !m_frame.isNull(); }
    const QPixmap& FrameBitmap() const { return m_frame; }

    // The part of frame that is not key colour: the window's shape.
    static QRegion OutlineOf(const QImage& frame);

    // Mouse presses on handle drag the window as presses on the frame do.
    void AddDragHandle(QWidget* handle);

    // Starts moving the window with the mouse; globalPos is where the button
    // went down. The window manager moves it when it can, otherwise the
    // window follows the mouse itself until the button is released.
    void BeginDrag(const QPoint& globalPos);
    bool Dragging() const { return m_dragging; }

    // Paints double-buffered (always so with Qt); kept for the callers that
    // ask for it before showing a window.
    void SetDoubleBuffered(bool on) { m_doubleBuffered = on; }
    bool DoubleBuffered() const { return m_doubleBuffered; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EndDrag();

    QPixmap m_frame;
    bool m_dragging = false;
    bool m_doubleBuffered = false;
    QPoint m_dragOffset;
};
