// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbSkinnedForm.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

TsbSkinnedForm::TsbSkinnedForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowFlag(Qt::FramelessWindowHint, true);
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void TsbSkinnedForm::SetFrameBitmap(const QImage& frame) {
    if (frame.isNull()) {
        m_frame = QPixmap();
        clearMask();
        update();
        return;
    }
    QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
    m_frame = QPixmap::fromImage(rgb);
    setFixedSize(rgb.size());
    setMask(OutlineOf(rgb));
    update();
}

QRegion TsbSkinnedForm::OutlineOf(const QImage& frame) {
    const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
    QRegion outline;
    // Runs of kept pixels, row by row; a frame has a few per row.
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        int x = 0;
        while (x < rgb.width()) {
            while (x < rgb.width() && (line[x] | 0xFF000000) == KeyColor) {
                ++x;
            }
            const int start = x;
            while (x < rgb.width() && (line[x] | 0xFF000000) != KeyColor) {
                ++x;
            }
            if (x > start) {
                outline += QRect(start, y, x - start, 1);
            }
        }
    }
    return outline;
}

void TsbSkinnedForm::AddDragHandle(QWidget* handle) {
    if (handle) {
        handle->installEventFilter(this);
    }
}

void TsbSkinnedForm::BeginDrag(const QPoint& globalPos) {
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    if (QWindow* handle = windowHandle(); handle && handle->startSystemMove()) {
        return;
    }
    // No window manager move on this platform: follow the mouse ourselves.
    m_dragging = true;
    m_dragOffset = globalPos - frameGeometry().topLeft();
    qApp->installEventFilter(this);
}

void TsbSkinnedForm::EndDrag() {
    if (m_dragging) {
        m_dragging = false;
        qApp->removeEventFilter(this);
    }
}

void TsbSkinnedForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // On a scaled screen the picture is drawn larger: smoothly, not in blocks.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!m_frame.isNull()) {
        painter.drawPixmap(0, 0, m_frame);
        return;
    }
    // Without its picture the window still has to look like a window.
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().mid().color());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TsbSkinnedForm::mousePressEvent(QMouseEvent* event) {
    // A press that a control let through (a label, blank page space, a
    // disabled button) arrives here too: only the frame picture itself, where
    // no control lies, moves the window, and only with the left button.
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint())) {
        BeginDrag(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    event->ignore();
}

bool TsbSkinnedForm::eventFilter(QObject* watched, QEvent* event) {
    if (m_dragging) {
        switch (event->type()) {
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(event);
            move(me->globalPosition().toPoint() - m_dragOffset);
            return true;
        }
        case QEvent::MouseButtonRelease:
            EndDrag();
            return true;
        default:
            break;
        }
        return QWidget::eventFilter(watched, event);
    }
    if (event->type() == QEvent::MouseButtonPress && watched != this) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            BeginDrag(me->globalPosition().toPoint());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
