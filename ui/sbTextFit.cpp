// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbTextFit.h"

#include "ui/sbImageButton.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace {

// Room a push button's frame takes on either side of its caption.
constexpr int kButtonPadding = 6;

bool managedByLayout(const QWidget* w) {
    const QWidget* parent = w->parentWidget();
    return !parent || parent->layout() != nullptr;
}

// Moves r back inside a parent of the given size where it sticks out.
QRect keepInside(QRect r, const QSize& parent) {
    if (r.right() >= parent.width()) {
        r.moveLeft(std::max(0, parent.width() - r.width()));
    }
    if (r.left() < 0) {
        r.moveLeft(0);
    }
    if (r.bottom() >= parent.height()) {
        r.moveTop(std::max(0, parent.height() - r.height()));
    }
    if (r.top() < 0) {
        r.moveTop(0);
    }
    return r;
}

void growLabel(QLabel* label) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) {
        return;
    }
    const QSize parent = label->parentWidget()->size();
    QRect r = label->geometry();
    if (!label->wordWrap()) {
        const QSize need = label->sizeHint();
        if (need.width() <= r.width() && need.height() <= r.height()) {
            return;
        }
        if (need.width() > parent.width()) {
            // Too long for the parent on one line: break it into lines.
            label->setWordWrap(true);
        } else {
            const int dw = std::max(0, need.width() - r.width());
            const Qt::Alignment align = label->alignment();
            if (align & Qt::AlignRight) {
                r.setLeft(r.left() - dw);
            } else if (align & Qt::AlignHCenter) {
                r.setLeft(r.left() - dw / 2);
                r.setRight(r.right() + (dw - dw / 2));
            } else {
                r.setRight(r.right() + dw);
            }
            r.setHeight(std::max(r.height(), need.height()));
            label->setGeometry(keepInside(r, parent));
            return;
        }
    }
    int width = std::min(r.width(), parent.width());
    if (r.left() + width > parent.width()) {
        r.moveLeft(std::max(0, parent.width() - width));
    }
    const int height = label->heightForWidth(width);
    if (height <= r.height() && width == r.width()) {
        return;
    }
    r.setWidth(width);
    r.setHeight(std::max(r.height(), height));
    label->setGeometry(keepInside(r, parent));
}

void growButton(QAbstractButton* button) {
    if (button->text().isEmpty()) {
        return;
    }
    int need = 0;
    if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
        need = button->sizeHint().width();
    } else {
        QString caption = button->text();
        caption.remove(QLatin1Char('&'));
        need = button->fontMetrics().horizontalAdvance(caption) + 2 * kButtonPadding;
    }
    if (need <= button->width()) {
        return;
    }
    QRect r = button->geometry();
    r.setWidth(need);
    button->setGeometry(keepInside(r, button->parentWidget()->size()));
}

class TTextFitter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWidgetType()) {
            return false;
        }
        auto* w = static_cast<QWidget*>(watched);
        switch (event->type()) {
        case QEvent::Show:
            sbGrowToFit(w);
            break;
        case QEvent::LayoutRequest:
            // A child's size hint changed (a new text) and no layout takes care of it.
            if (!w->layout()) {
                for (QObject* child : w->children()) {
                    if (child->isWidgetType()) {
                        sbGrowToFit(static_cast<QWidget*>(child));
                    }
                }
            }
            break;
        default:
            break;
        }
        return false;
    }
};

} // namespace

void sbGrowToFit(QWidget* w) {
    if (!w || w->isWindow() || managedByLayout(w) || qobject_cast<TsbImageButton*>(w)) {
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        growLabel(label);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QRadioButton*>(w)) {
            growButton(button);
        }
    }
}

void sbFitTexts(QWidget* root) {
    if (!root) {
        return;
    }
    sbGrowToFit(root);
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* child : children) {
        sbGrowToFit(child);
    }
}

void sbInstallTextFitter() {
    static QPointer<TTextFitter> fitter;
    if (fitter || !qApp) {
        return;
    }
    fitter = new TTextFitter(qApp);
    qApp->installEventFilter(fitter);
}
