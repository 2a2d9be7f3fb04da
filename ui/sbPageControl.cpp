// SPDX-License-Identifier: GPL-2.0-or-later
#include "ui/sbPageControl.h"

TsbPageControl::TsbPageControl(QWidget* parent) : QStackedWidget(parent) {
    setFrameShape(QFrame::NoFrame);
}

TsbTabSheet* TsbPageControl::AddSheet(const QString& name) {
    auto* sheet = new TsbTabSheet(this);
    sheet->setObjectName(name);
    addWidget(sheet);
    return sheet;
}

TsbTabSheet* TsbPageControl::Page(int index) const {
    return qobject_cast<TsbTabSheet*>(widget(index));
}

void TsbPageControl::SetActivePageIndex(int index) {
    if (index >= 0 && index < count()) {
        setCurrentIndex(index);
    }
}
