// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbImageButton.h"

#include <QEnterEvent>
#include <QPainter>
#include <QStyle>

TsbImageButton::TsbImageButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover, true);
    resize(sizeHint());
}

void TsbImageButton::SetPicture(TPicture which, const QPixmap& picture) {
    m_pictures[which] = picture;
    if (which == bpNormal && !picture.isNull()) {
        resize(picture.size());
    }
    update();
}

TsbImageButton::TPicture TsbImageButton::CurrentPicture() const {
    if (!isEnabled()) {
        return bpDisabled;
    }
    if (isDown()) {
        return bpPressed;
    }
    if (m_over) {
        return bpOver;
    }
    return bpNormal;
}

QSize TsbImageButton::sizeHint() const {
    if (!m_pictures[bpNormal].isNull()) {
        return m_pictures[bpNormal].size();
    }
    return {88, 28};
}

void TsbImageButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const TPicture state = CurrentPicture();

    QPixmap picture = m_pictures[state];
    if (picture.isNull() && state != bpNormal) {
        picture = m_pictures[bpNormal];
    }
    if (!picture.isNull()) {
        painter.drawPixmap(0, 0, picture);
    } else {
        // No art: a flat rounded button in the palette's colours.
        QColor face = palette().button().color();
        if (state == bpOver) {
            face = face.lighter(106);
        } else if (state == bpPressed) {
            face = face.darker(112);
        }
        painter.setPen(palette().mid().color());
        painter.setBrush(face);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }

    if (hasFocus()) {
        // The keyboard's button: a dotted frame inside the picture, in the
        // caption's colour so it shows on either skin.
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(palette().buttonText().color(), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    if (text().isEmpty()) {
        return;
    }
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.setFont(font());
    QRect textRect = rect();
    if (state == bpPressed) {
        textRect.translate(0, 1);
    }
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, text());
}

void TsbImageButton::focusInEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusInEvent(event);
}

void TsbImageButton::focusOutEvent(QFocusEvent* event) {
    update();
    QAbstractButton::focusOutEvent(event);
}

void TsbImageButton::enterEvent(QEnterEvent* event) {
    m_over = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TsbImageButton::leaveEvent(QEvent* event) {
    m_over = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TsbImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            m_over = false;
        }
        update();
    }
    QAbstractButton::changeEvent(event);
}
