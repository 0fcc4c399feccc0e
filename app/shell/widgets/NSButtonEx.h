// SPDX-License-Identifier: GPL-3.0-or-later
// Image buttons drawn from a four-frame state strip (see ImageStrips.h), and their
// check-box variant. The status is a bit set: 1 normal, 2 disabled, 4 mouse over,
// 8 pressed (checked). GUI thread only.
#pragma once

#include "app/shell/widgets/IconItem.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QWidget>

#include <functional>

class NSButtonEx : public QWidget {
    Q_OBJECT
public:
    enum Status : unsigned { kNormal = 1, kDisabled = 2, kMouseOver = 4, kPressed = 8 };
    enum Style : unsigned { kStrip = 1, kIconItem = 2, kStripWithLine = 3 };
    using Action = std::function<void(NSButtonEx*)>;

    explicit NSButtonEx(QWidget* parent = nullptr);

    // The strip at the path, drawn at the bottom-left corner (style 1), 10 pixels
    // above it (style 3), or not drawn (style 2: the icon item named by its
    // resource name, whose look the owner draws).
    void setImage(const QString& path);
    void setImageWithLine(const QString& path);
    void setImageWithItem(const IconItem& item);
    // Empties the frame list and answers the four frames of the strip at the path.
    QList<QImage> getArrayWithPath(const QString& path);

    void setTarget(Action action) { m_action = std::move(action); }
    void setEnable(bool enable);
    bool isEnable() const { return !(m_nButtonStatus & kDisabled); }

    static int indexForStatus(unsigned status);
    // The frame the button shows now; -1 when it draws none.
    int shownFrame() const;

    unsigned m_nButtonStatus = kNormal;
    unsigned m_nButtonStyle = kStrip;
    unsigned m_nButtonText = 1;
    QColor m_textColor;
    QList<QImage> m_arrImg;

    void update();
    void setStatus(unsigned textState);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

    bool hasAction() const { return static_cast<bool>(m_action); }
    void performAction() { m_action(this); }

private:
    void setStrip(const QString& path, Style style);
    Action m_action;
};

// Acts on the press: the flag flips, the action runs, and the pressed frame shows
// while checked.
class NSCheckBoxEx : public NSButtonEx {
    Q_OBJECT
public:
    explicit NSCheckBoxEx(QWidget* parent = nullptr) : NSButtonEx(parent) {}

    void setChecked(bool checked);
    bool isChecked() const { return m_bChecked; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override {}

private:
    bool m_bChecked = false;
};
