// SPDX-License-Identifier: GPL-2.0-or-later
#include "forms/sbDockForm.h"

#include <QEvent>

TsbDockForm::TsbDockForm(QWidget* parent) : QWidget(parent) {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSize(8);
    setFont(tahoma);
    // Pages are white like the sheet they sit on.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

TsbDockForm::~TsbDockForm() {
    m_pageData = nullptr;
    if (m_panel) {
        m_panel->removeEventFilter(this);
    }
}

void TsbDockForm::BeginWork() {
    ++m_workCount;
    if (OnWorkBegin) {
        OnWorkBegin(this);
    }
}

void TsbDockForm::EndWork() {
    --m_workCount;
    if (OnWorkEnd) {
        OnWorkEnd(this);
    }
}

void TsbDockForm::RefreshPage() {}

void TsbDockForm::SetPageData(TsbBurner* data) {
    m_pageData = data;
    RefreshPage();
}

void TsbDockForm::DockInto(QWidget* panel) {
    if (m_panel) {
        m_panel->removeEventFilter(this);
    }
    m_panel = panel;
    setParent(panel, Qt::Widget);
    if (panel) {
        panel->installEventFilter(this);
        FollowPanel();
    }
}

void TsbDockForm::FollowPanel() {
    if (m_panel) {
        setGeometry(5, 5, m_panel->width() - 5, m_panel->height() - 5);
    }
}

bool TsbDockForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_panel && event->type() == QEvent::Resize) {
        FollowPanel();
    }
    return QWidget::eventFilter(watched, event);
}

TsbLog* TsbDockForm::GetPageLog() {
    return nullptr;
}

TsbActionList* TsbDockForm::GetPageActions() {
    return nullptr;
}
