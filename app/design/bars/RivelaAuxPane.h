// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the bars above and below the 3-D view: a light-blue strip with three
// hooks for the case's life (filled for a new case, emptied when it closes,
// re-laid out after every size change, which is followed by a redraw).
#pragma once

#include <QColor>
#include <QWidget>

class RivelaAuxPane : public QWidget {
    Q_OBJECT
public:
    static inline const QColor kBackground{212, 239, 252};

    explicit RivelaAuxPane(QWidget* parent = nullptr);

    virtual void createAuxPane() {}
    virtual void removeAuxPane() {}
    virtual void UpdateSize() {}

protected:
    void resizeEvent(QResizeEvent* event) override;
};
