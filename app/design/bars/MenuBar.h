// SPDX-License-Identifier: GPL-3.0-or-later
// The icon bar: a row of named images, 10 points apart at their natural size, that
// reports clicks by position. The icon under the mouse at entry shows NAME_select,
// disabled icons NAME_disable (which wins); clicks on disabled icons are dropped.
// Icons are disabled by name: updateIconItems lists them and clears
// considerSelected; considerSelected true enables all without touching the list.
// A missing image draws nothing and takes no room. GUI thread only.
#pragma once

#include "app/shell/widgets/IconItem.h"

#include <QImage>
#include <QList>
#include <QRectF>
#include <QWidget>

#include <limits>
#include <vector>

class MenuBar;

class MenuBarDelegate {
public:
    virtual ~MenuBarDelegate() = default;
    virtual void menuBarDidSelectIconAtIndex(MenuBar& bar, qint64 index) = 0;
};

// Layout of one icon, rebuilt at every drawing.
struct MenuBarData {
    qint64 index = 0;
    double originX = 0; // widths of the images before it, gaps not included
    QImage image;
    QSizeF size;
};

class MenuBar : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 kNotFound = std::numeric_limits<qint64>::max();
    static constexpr double kIconSpacing = 10;

    explicit MenuBar(QWidget* parent = nullptr);

    // Not owned; must outlive the bar or be reset.
    void setDelegate(MenuBarDelegate* delegate) { m_delegate = delegate; }

    // Replaces the icons; the disabled names and considerSelected stay.
    void configureIconItems(const QList<IconItem>& items);
    // Disables the icons whose names occur in the list (all others enabled) and
    // clears considerSelected.
    void updateIconItems(const QList<IconItem>& items);
    void setSelectedIndex(qint64 index);
    void setConsiderSelected(bool value);
    void setAllowedEnabled(bool value) { m_allowedEnabled = value; }

    const QList<IconItem>& iconItems() const { return m_iconItems; }
    const QList<IconItem>& replaceItems() const { return m_replaceItems; }
    const QList<qint64>& indexItems() const { return m_indexItems; }
    const std::vector<MenuBarData>& dataArray() const { return m_dataArray; }
    qint64 selectedIndex() const { return m_selectedIndex; }
    bool considerSelected() const { return m_considerSelected; }
    bool allowedEnabled() const { return m_allowedEnabled; }
    bool highlighted() const { return m_highlighted; }
    qint64 hightlightedIndex() const { return m_hightlightedIndex; }

    // The image name drawn for icon i (with its variant); null past the end.
    QString imagePathAtIndex(qint64 index) const;
    // The icon under a point of the bar (only x counts), kNotFound when none.
    qint64 indexOfPoint(const QPointF& point) const;
    // x of icon i's right edge.
    double iconOriginXAtIndex(qint64 index) const;
    static double firstIconsOriginX() { return 0; }
    // Icon i's rectangle (y down from the top), vertically centred.
    QRectF iconRect(qint64 index) const;
    // The tooltip of the icon under the point; "" when it has none.
    QString stringForToolTip(const QPointF& point) const;
    bool isIconDisabled(qint64 index) const;

    void calculateImageData();
    void addTooltips();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void drawIcons(QPainter& painter);
    void rebuildIndexItems();

    QList<IconItem> m_iconItems;
    std::vector<MenuBarData> m_dataArray;
    QList<IconItem> m_replaceItems;
    QList<qint64> m_indexItems;
    std::vector<QRectF> m_toolTipRects;
    bool m_highlighted = false;
    bool m_allowedEnabled = true;
    bool m_considerSelected = true;
    qint64 m_selectedIndex = 0;
    qint64 m_hightlightedIndex = 0;
    MenuBarDelegate* m_delegate = nullptr;
};
