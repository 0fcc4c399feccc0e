// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's row of tabs: 1 my cases, 2 digital model (its title replaceable
// by the case's), 3 image data. Tabs appear on demand in the order first asked for,
// each followed by a thin separator; every tab but the first has a close box. The
// delegate may refuse a selection (the old tab returns) or a close. GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include <map>

class QHBoxLayout;
class RVButton;
class RVToolBar;

class RVToolBarDelegate {
public:
    virtual ~RVToolBarDelegate() = default;
    // False refuses the selection.
    virtual bool toolBar(RVToolBar& bar, quint64 selectItemType) = 0;
    // False keeps the tab.
    virtual bool toolBarClose(RVToolBar& bar, quint64 closeItemType) = 0;
};

class RVToolBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 38;

    explicit RVToolBar(QWidget* parent = nullptr);

    void setDelegate(RVToolBarDelegate* delegate) { m_delegate = delegate; }

    // The tab, made and appended when missing.
    RVButton* addItem(quint64 type);
    // Removes the tab and its separator; null when there was none. The current type stays.
    RVButton* removeItem(quint64 type);
    // Gives the tab the selected look (made when missing) without asking the delegate.
    void selectItem(quint64 type);
    // A click on the tab, made when missing.
    void clickItem(quint64 type);
    void setTitle(const QString& title, quint64 type);
    QString titleForItemType(quint64 type) const;
    // Removes every tab but tab 1.
    void clear();

    quint64 currentItemType() const { return m_currentItemType; }
    RVButton* button(quint64 type) const;
    RVButton* closeButton(quint64 type) const;
    // Tab types in row order.
    QList<quint64> rowTypes() const;
    // Whether the separator after the tab is shown.
    bool separatorVisible(quint64 type) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btnAction(RVButton* button);
    void closeAction(RVButton* closeButton);
    RVButton* createBtnWithItemType(quint64 type);
    int IndexOf(QWidget* widget) const;
    QWidget* At(int index) const;

    QHBoxLayout* m_stack;
    std::map<quint64, RVButton*> m_allBtn;
    std::map<quint64, QString> m_titles;
    quint64 m_currentItemType = 0;
    RVToolBarDelegate* m_delegate = nullptr;
};
