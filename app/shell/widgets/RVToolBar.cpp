// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/widgets/RVToolBar.h"

#include "app/platform/Folders.h"
#include "app/shell/widgets/RVButton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>

namespace {

const QColor kBarColour(211, 206, 212);

// A missing picture is a null pixmap: the button then draws no image.
QPixmap Picture(const QString& name)
{
    const QString path = platform::PathForResource(name, QStringLiteral("png"));
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

bool IsSeparator(QWidget* widget)
{
    return widget && !qobject_cast<RVButton*>(widget);
}

} // namespace

RVToolBar::RVToolBar(QWidget* parent) : QWidget(parent), m_stack(new QHBoxLayout)
{
    setFixedHeight(kHeight);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(76, 5, 0, 0);
    outer->setSpacing(0);
    m_stack->setSpacing(0);
    m_stack->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(m_stack);
    outer->addStretch(1);
}

QSize RVToolBar::sizeHint() const
{
    return QSize(QWidget::sizeHint().width(), kHeight);
}

QSize RVToolBar::minimumSizeHint() const
{
    return QSize(0, kHeight);
}

void RVToolBar::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), kBarColour);
}

bool RVToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        if (auto* tab = qobject_cast<RVButton*>(watched))
            if (RVButton* close = closeButton(quint64(tab->type())))
                close->move(tab->width() - 15, (tab->height() - 10) / 2);
    return QWidget::eventFilter(watched, event);
}

int RVToolBar::IndexOf(QWidget* widget) const
{
    return m_stack->indexOf(widget);
}

QWidget* RVToolBar::At(int index) const
{
    QLayoutItem* item = index >= 0 ? m_stack->itemAt(index) : nullptr;
    return item ? item->widget() : nullptr;
}

RVButton* RVToolBar::button(quint64 type) const
{
    const auto it = m_allBtn.find(type);
    return it == m_allBtn.end() ? nullptr : it->second;
}

RVButton* RVToolBar::closeButton(quint64 type) const
{
    RVButton* tab = button(type);
    return tab ? tab->findChild<RVButton*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

QList<quint64> RVToolBar::rowTypes() const
{
    QList<quint64> types;
    for (int i = 0; i < m_stack->count(); ++i)
        if (auto* tab = qobject_cast<RVButton*>(At(i)))
            types << quint64(tab->type());
    return types;
}

bool RVToolBar::separatorVisible(quint64 type) const
{
    RVButton* tab = button(type);
    QWidget* next = tab ? At(IndexOf(tab) + 1) : nullptr;
    return IsSeparator(next) && !next->isHidden();
}

RVButton* RVToolBar::createBtnWithItemType(quint64 type)
{
    auto* tab = new RVButton;
    tab->setTitle(titleForItemType(type), RVButton::Normal);
    tab->setType(qint64(type));
    tab->setImage(Picture(QStringLiteral("tabbar_rivela_icon")), RVButton::Normal);
    tab->setMaskColor(Qt::transparent);
    tab->setTopCornerRadius(5);
    tab->setContentInsets(QMargins(5, 0, 15, 0));
    tab->setContentPosition(RVButton::Left);
    tab->setBackgroundColor(kBarColour, RVButton::Normal);
    tab->setBackgroundColor(Qt::white, RVButton::Selected);
    tab->setTitleColor(Qt::black, RVButton::Normal);
    tab->setFixedWidth(200);
    tab->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    connect(tab, &QAbstractButton::clicked, this, [this, tab] { btnAction(tab); });
    if (type != 1) {
        auto* close = new RVButton(tab);
        close->setCheckable(false);
        close->setImage(Picture(QStringLiteral("close_6x6")), RVButton::Normal);
        close->setMaskColor(Qt::transparent);
        close->setFixedSize(10, 10);
        close->move(200 - 5 - 10, 0);
        // Kept vertically centred as the tab grows with the bar.
        tab->installEventFilter(this);
        connect(close, &QAbstractButton::clicked, this, [this, close] { closeAction(close); });
    }
    return tab;
}

RVButton* RVToolBar::addItem(quint64 type)
{
    if (RVButton* tab = button(type))
        return tab;
    RVButton* tab = createBtnWithItemType(type);
    m_allBtn[type] = tab;
    m_stack->addWidget(tab);
    auto* line = new QWidget;
    line->setFixedWidth(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, QColor(142, 142, 147));
    line->setPalette(palette);
    auto* column = new QWidget;
    column->setFixedWidth(1);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 5, 0, 5);
    columnLayout->addWidget(line);
    m_stack->addWidget(column);
    if (RVButton* close = closeButton(type))
        close->move(tab->width() - 15, (tab->height() - 10) / 2);
    return tab;
}

RVButton* RVToolBar::removeItem(quint64 type)
{
    RVButton* tab = button(type);
    if (!tab)
        return nullptr;
    if (QWidget* next = At(IndexOf(tab) + 1); IsSeparator(next)) {
        m_stack->removeWidget(next);
        next->deleteLater();
    }
    m_stack->removeWidget(tab);
    m_allBtn.erase(quint64(tab->type()));
    tab->hide();
    tab->setParent(nullptr);
    tab->deleteLater();
    return tab;
}

void RVToolBar::selectItem(quint64 type)
{
    RVButton* selected = addItem(type);
    m_currentItemType = type;
    for (const auto& [other, tab] : m_allBtn) {
        if (tab == selected)
            continue;
        tab->setIsSelected(false);
        if (QWidget* next = At(IndexOf(tab) + 1))
            next->show();
    }
    selected->setIsSelected(true);
    const int i = IndexOf(selected);
    if (QWidget* next = At(i + 1))
        next->hide();
    if (i >= 2)
        if (QWidget* previous = At(i - 1))
            previous->hide();
}

void RVToolBar::clickItem(quint64 type)
{
    btnAction(addItem(type));
}

void RVToolBar::btnAction(RVButton* tab)
{
    const quint64 r = quint64(tab->type());
    const quint64 s = m_currentItemType;
    selectItem(r);
    if (r == 2) {
        tab->setTitle(titleForItemType(2), RVButton::Normal);
        tab->update();
    }
    if (r != s && m_delegate && !m_delegate->toolBar(*this, r))
        selectItem(s);
}

void RVToolBar::closeAction(RVButton* close)
{
    auto* tab = qobject_cast<RVButton*>(close->parentWidget());
    if (!tab)
        return;
    const quint64 type = quint64(tab->type());
    if (m_delegate && !m_delegate->toolBarClose(*this, type))
        return;
    removeItem(type);
}

void RVToolBar::setTitle(const QString& title, quint64 type)
{
    m_titles[type] = title;
}

QString RVToolBar::titleForItemType(quint64 type) const
{
    switch (type) {
    case 1:
        return QStringLiteral("我的病例");
    case 2: {
        const auto it = m_titles.find(2);
        return it != m_titles.end() ? it->second : QStringLiteral("数字模型");
    }
    case 3:
        return QStringLiteral("影像资料");
    default:
        return {};
    }
}

void RVToolBar::clear()
{
    QList<quint64> types;
    for (const auto& entry : m_allBtn)
        if (entry.first != 1)
            types << entry.first;
    for (quint64 type : types)
        removeItem(type);
}
