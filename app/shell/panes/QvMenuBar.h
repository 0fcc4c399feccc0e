// SPDX-License-Identifier: GPL-3.0-or-later
// The icon menu bar of a pane host: one icon per listed non-dummy pane (the second
// of the four state images of its strip), the selected one underlined, the selected
// icon's tooltip written as a title below, clicks reported to the delegate.
// A missing icon picture draws nothing and takes no room. GUI thread only.
#pragma once

#include "app/shell/widgets/IconItem.h"

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QWidget>

#include <limits>
#include <vector>

class QvMenuBar;

class QvMenuBarDelegate {
public:
    virtual ~QvMenuBarDelegate() = default;
    virtual void paneMenuBar(QvMenuBar& bar, qint64 didSelectIconAtIndex) = 0;
};

// Layout of one icon, rebuilt at every drawing.
struct QvMenuBarData {
    qint64 index = 0;
    double originX = 0; // widths of the icons before it, spacing not included
    QImage image;       // the strip's second state
    QSizeF size;        // a quarter of the strip's width, its full height
};

class QvMenuBar : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 kNotFound = std::numeric_limits<qint64>::max();
    static inline const QColor kSelectionColour{28, 115, 168};
    static inline const QColor kBackgroundColour{248, 248, 248};

    explicit QvMenuBar(QWidget* parent = nullptr);

    void setDelegate(QvMenuBarDelegate* delegate) { m_delegate = delegate; }
    QvMenuBarDelegate* delegate() const { return m_delegate; }

    void configureIconItems(const QList<IconItem>& items);
    const QList<IconItem>& iconItems() const { return m_iconItems; }
    void setSelectedIndex(qint64 index);
    qint64 selectedIndex() const { return m_selectedIndex; }
    bool considerSelected() const { return m_considerSelected; }
    void setConsiderSelected(bool value) { m_considerSelected = value; }
    const QString& title() const { return m_strTitle; }
    const std::vector<QvMenuBarData>& dataArray() const { return m_dataArray; }

    // The icon under a point of the widget (y down from the top), kNotFound when none.
    qint64 indexOfPoint(const QPointF& point) const;
    // x of icon i's right edge.
    double iconOriginXAtIndex(qint64 index) const;
    static double firstIconsOriginX() { return 12; }
    // The icon's resource name with ".png"; null past the last item.
    QString imagePathAtIndex(qint64 index) const;
    void calculateImageData();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    void drawIcons(QPainter& painter);
    void drawLines(QPainter& painter);
    void drawText(QPainter& painter);

    bool m_considerSelected = true;
    qint64 m_selectedIndex = 0;
    QvMenuBarDelegate* m_delegate = nullptr;
    QString m_strTitle;
    QList<IconItem> m_iconItems;
    std::vector<QvMenuBarData> m_dataArray;
};
