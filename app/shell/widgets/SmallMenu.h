// SPDX-License-Identifier: GPL-3.0-or-later
// The small icon pop-up under the 3-D view's rotate-mode button: a column of
// 100 x 40 rows, one per icon of the list but the last, which is the current
// choice. A click makes the clicked icon the choice (it changes places with the
// old one) and tells the owner. GUI thread only.
//
// Icons are named by their strip resource (four frames; rows draw frame 1, frame 2
// under the mouse).
#pragma once

#include "app/shell/widgets/IconItem.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class SmallMenu;

class SmallMenuDelegate {
public:
    virtual ~SmallMenuDelegate() = default;
    // The clicked row, its icon and the new full list (choice last).
    virtual void replaceItemAtIndex(qsizetype index, const IconItem& item, const QList<IconItem>& items) = 0;
};

class SmallMenuItem : public QWidget {
    Q_OBJECT
public:
    explicit SmallMenuItem(QWidget* parent = nullptr);

    // Cuts every icon's strip; the row draws the icon at its own index.
    void setMenuBarItems(const QList<IconItem>& items, qsizetype index);
    qsizetype m_index() const { return m_rowIndex; }
    // 1 normal, 4 under the mouse.
    unsigned status() const { return m_nStatus; }
    static int indexForStatus(unsigned status);
    // The frame the row draws now; -1 without icons.
    int shownFrame() const;
    void setClickAction(std::function<void(SmallMenuItem*)> action) { m_action = std::move(action); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QList<QList<QImage>> m_arrImages;
    unsigned m_nStatus = 1;
    qsizetype m_rowIndex = 0;
    std::function<void(SmallMenuItem*)> m_action;
};

class SmallMenu : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowWidth = 100;
    static constexpr int kRowHeight = 40;

    explicit SmallMenu(QWidget* parent = nullptr) : QWidget(parent) {}

    // The full list, the current choice last.
    void addMenuBarItems(const QList<IconItem>& items);
    void setSmallDlegate(SmallMenuDelegate* delegate) { m_delegate = delegate; }
    SmallMenuDelegate* smallDlegate() const { return m_delegate; }
    qsizetype selectedIndex() const { return m_selectedIndex; }

    // The rows now shown, top to bottom, and their icons.
    const QList<SmallMenuItem*>& rows() const { return m_rows; }
    const QList<IconItem>& shownItems() const { return m_arrItems; }
    const QList<IconItem>& fullList() const { return m_arrBackup; }

    void clickAction(SmallMenuItem* sender);

private:
    void initMenuBarItems();
    void updateMenuBar(qsizetype index);

    QList<SmallMenuItem*> m_rows;
    QList<IconItem> m_arrItems;
    QList<IconItem> m_arrBackup;
    QList<IconItem> m_arrTemporare;
    SmallMenuDelegate* m_delegate = nullptr;
    qsizetype m_selectedIndex = 0;
};
