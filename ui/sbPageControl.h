// SPDX-License-Identifier: GPL-2.0-or-later
// A page control whose tabs are hidden: a stack of sheets of which one is
// shown. The program switches sheets itself; the control never announces a
// change, so whoever switches decides what happens on arrival.
#pragma once

#include <QStackedWidget>
#include <QWidget>

class TsbTabSheet : public QWidget {
    Q_OBJECT

public:
    explicit TsbTabSheet(QWidget* parent = nullptr) : QWidget(parent) {}
};

class TsbPageControl : public QStackedWidget {
    Q_OBJECT

public:
    explicit TsbPageControl(QWidget* parent = nullptr);

    // Appends a sheet named name; its index is the number of sheets before it.
    TsbTabSheet* AddSheet(const QString& name);
    int PageCount() const { return count(); }
    TsbTabSheet* Page(int index) const;

    int ActivePageIndex() const { return currentIndex(); }
    // Shows sheet index; an index outside the sheets changes nothing.
    void SetActivePageIndex(int index);
    TsbTabSheet* ActivePage() const { return Page(currentIndex()); }
};
