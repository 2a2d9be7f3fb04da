// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbLinkLabel.h"

#include <QMouseEvent>

TsbLinkLabel::TsbLinkLabel(QWidget* parent) : QLabel(parent) {}

// Taken here, so the press neither drags the window nor loses the release.
void TsbLinkLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TsbLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

void TsbLinkLabel::enterEvent(QEnterEvent* event) {
    emit mouseEntered();
    QLabel::enterEvent(event);
}

void TsbLinkLabel::leaveEvent(QEvent* event) {
    emit mouseLeft();
    QLabel::leaveEvent(event);
}
