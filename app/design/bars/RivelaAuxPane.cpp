// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaAuxPane.h"

RivelaAuxPane::RivelaAuxPane(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackground);
    setPalette(palette);
}

void RivelaAuxPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateSize();
    update();
}
