// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/panes/QvPane.h"

#include "app/shell/widgets/XibManager.h"

#include <map>

namespace {

std::map<int, QvPane::Maker>& Makers()
{
    static std::map<int, QvPane::Maker> makers;
    return makers;
}

std::function<QWidget*()>& ViewProvider()
{
    static std::function<QWidget*()> provider;
    return provider;
}

struct IconRow {
    int id;
    const char* icon;
    const char* tooltip;
};

constexpr IconRow kIcons[] = {
    {6, "model_measure", "模型测量"},           {7, "clinical_info", "矫治说明"},
    {8, "right_bar_stepinfo", "分步信息"},      {9, "right_bar_target", "目标位模拟"},
    {10, "bracket", "托槽定位"},                {11, "right_bar_approvescheme", "审核分步"},
};

} // namespace

QvPane::QvPane(QWidget* parent) : QWidget(parent) {}

QvPane::~QvPane()
{
    clearUndoData();
}

void QvPane::RegisterPaneClass(int id, Maker maker)
{
    Makers()[id] = std::move(maker);
}

void QvPane::UnregisterAllPaneClasses()
{
    Makers().clear();
}

QvPane* QvPane::CreatePaneWithID(int id)
{
    QvPane* pane = nullptr;
    if (id == 4) {
        pane = XibManager::shared().objectFromClass<SectionPane>();
    } else if (id == 3 || (id >= 6 && id <= 11)) {
        const auto it = Makers().find(id);
        if (it != Makers().end() && it->second)
            pane = it->second();
    }
    if (!pane)
        return nullptr;
    for (const IconRow& row : kIcons)
        if (row.id == id)
            pane->setIconItem(IconItem::iconItemWithIconName(QString::fromUtf8(row.icon), QString::fromUtf8(row.tooltip)));
    pane->m_id = id;
    pane->Initialize();
    return pane;
}

void QvPane::SetActiveViewProvider(std::function<QWidget*()> provider)
{
    ViewProvider() = std::move(provider);
}

void QvPane::InvalidateView()
{
    if (!ViewProvider())
        return;
    if (QWidget* view = ViewProvider()())
        view->repaint();
}
