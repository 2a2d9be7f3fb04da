// SPDX-License-Identifier: GPL-2.0-or-later
// A button drawn from pictures: one each for normal, mouse over, pressed and
// disabled, with its caption drawn centred over the picture. The button takes
// the size of its normal picture. Without pictures it draws a plain flat
// button of its own, so a window whose art failed to load stays usable. The
// button with the keyboard focus is marked with a dotted frame.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

class TsbImageButton : public QAbstractButton {
    Q_OBJECT

public:
    enum TPicture { bpNormal, bpOver, bpPressed, bpDisabled, bpCount };

    explicit TsbImageButton(QWidget* parent = nullptr);

    void SetPicture(TPicture which, const QPixmap& picture);
    QPixmap Picture(TPicture which) const { return m_pictures[which]; }
    bool HasPictures() const { return !m_pictures[bpNormal].isNull(); }
    // The picture the button shows in its present state.
    TPicture CurrentPicture() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPixmap m_pictures[bpCount];
    bool m_over = false;
};
