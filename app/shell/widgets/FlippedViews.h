// SPDX-License-Identifier: GPL-3.0-or-later
// Plain container views with the origin at the top left. Every Qt widget already
// counts y downwards; the classes keep the names the panes and the thumbnail
// scroller are written against.
#pragma once

#include <QWidget>

class RVView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    bool isFlipped() const { return true; }
};

class QvFlippedView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    bool isFlipped() const { return true; }
};
