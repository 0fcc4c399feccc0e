// SPDX-License-Identifier: GPL-3.0-or-later
// A row of square image buttons, centred, reporting a click as the button's index.
// GUI thread only.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QList>
#include <QWidget>

#include <functional>

class QvToolbarView : public QWidget {
    Q_OBJECT
public:
    explicit QvToolbarView(QWidget* parent = nullptr) : QWidget(parent) {}

    // Lays out one square button per image, each as high as the first image and
    // stretched to it. Buttons of an earlier call stay; indices continue after them.
    // An empty list adds nothing.
    void configureImages(const QList<QImage>& images);
    void setBlock(std::function<void(qsizetype)> block) { m_block = std::move(block); }
    const QList<QAbstractButton*>& buttonArray() const { return m_buttonArray; }

private:
    void buttonAction(QAbstractButton* sender);

    std::function<void(qsizetype)> m_block;
    QList<QAbstractButton*> m_buttonArray;
};
