// SPDX-License-Identifier: GPL-2.0-or-later
// A label the user can click, with mouse enter and leave reported, for the
// text links of the windows ("more free tools...", the about box's links).
#pragma once

#include <QLabel>

class TsbLinkLabel : public QLabel {
    Q_OBJECT

public:
    explicit TsbLinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();
    void mouseEntered();
    void mouseLeft();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
};
