// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shell/panes/InfoDlg.h"

#include "app/platform/Dispatch.h"

#include <QVBoxLayout>

namespace {

// The cross-section pane belongs to the interface loader, every other pane to its host.
bool OwnedByLoader(const QvPane* pane)
{
    return pane->property("rivelaXibOwned").toBool();
}

} // namespace

InfoDlg::InfoDlg(QWidget* box) : m_box(box)
{
    if (box && !box->layout()) {
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
    }
}

InfoDlg::~InfoDlg()
{
    if (m_menuBar && m_menuBar->delegate() == this)
        m_menuBar->setDelegate(nullptr);
    for (QvPane* pane : std::exchange(m_arrPane, {}))
        if (!OwnedByLoader(pane))
            delete pane;
}

QList<int> InfoDlg::paneIds() const
{
    QList<int> ids;
    for (const QvPane* pane : m_arrPane)
        ids << pane->GetID();
    return ids;
}

QWidget* InfoDlg::contentView() const
{
    return m_content;
}

QvPane* InfoDlg::GetPaneByID(int id) const
{
    for (QvPane* pane : m_arrPane)
        if (pane->GetID() == id)
            return pane;
    return nullptr;
}

QvPane* InfoDlg::AddPane(int id)
{
    m_removeFlag = false;
    if (QvPane* pane = GetPaneByID(id))
        return pane;
    QvPane* pane = QvPane::CreatePaneWithID(id);
    if (!pane)
        return nullptr;
    pane->setCaseInfo(m_caseinfo);
    m_arrPane.append(pane);
    // A pane deleted with its box (or by anyone) leaves the list.
    connect(pane, &QObject::destroyed, this, [this, pane] { m_arrPane.removeOne(pane); });
    updateMenuBar();
    return pane;
}

void InfoDlg::Detach(QvPane* pane)
{
    if (pane == m_content)
        m_content = nullptr;
    if (pane->parentWidget()) {
        if (m_box && m_box->layout())
            m_box->layout()->removeWidget(pane);
        pane->hide();
        pane->setParent(nullptr);
    }
}

// Taken off the list before Clear, so a pane that asks its host sees it gone.
void InfoDlg::Drop(QvPane* pane)
{
    m_arrPane.removeOne(pane);
    pane->Clear();
    if (!OwnedByLoader(pane))
        pane->deleteLater();
}

void InfoDlg::RemovePane(int id)
{
    m_removeFlag = true;
    const bool selected = IsPaneIDSelected(id);
    QvPane* pane = GetPaneByID(id);
    if (!pane)
        return;
    if (selected)
        Detach(pane);
    Drop(pane);
    updateMenuBar();
}

void InfoDlg::RemoveAllPaneIsKeep(bool keep)
{
    const QList<QvPane*> walk = m_arrPane;
    for (QvPane* pane : walk) {
        const int id = pane->GetID();
        if (keep && (id == 5 || id == 6 || id == 7 || id == 8 || id == 11))
            continue;
        Detach(pane);
        Drop(pane);
    }
    updateMenuBar();
}

void InfoDlg::RemoveAllPaneIsKeepImagePane(bool)
{
    QPointer<InfoDlg> self(this);
    platform::AsyncOnGui([self] {
        if (!self)
            return;
        while (!self->m_arrPane.isEmpty()) {
            QvPane* pane = self->m_arrPane.last();
            self->Detach(pane);
            self->Drop(pane);
        }
        self->updateMenuBar();
    });
}

void InfoDlg::RemoveAllPane()
{
    while (!m_arrPane.isEmpty()) {
        QvPane* pane = m_arrPane.last();
        Detach(pane);
        Drop(pane);
    }
}

bool InfoDlg::IsPaneIDSelected(int id) const
{
    for (const QvPane* pane : m_arrPane)
        if (pane->GetID() == id && pane->m_segCtrlIndex == m_lastSegSelected)
            return true;
    return false;
}

void InfoDlg::RemoveAllPaneSubview()
{
    for (QvPane* pane : m_arrPane)
        if (pane->m_id != 4)
            Detach(pane);
}

void InfoDlg::AddPaneSubview(int id)
{
    QvPane* pane = GetPaneByID(id);
    if (!pane)
        return;
    setContentView(pane);
    m_lastSegSelected = pane->m_segCtrlIndex;
    if (m_menuBar)
        m_menuBar->setSelectedIndex(pane->m_segCtrlIndex);
}

void InfoDlg::setContentView(QWidget* view)
{
    if (m_box) {
        QLayout* layout = m_box->layout();
        if (m_content && m_content != view) {
            layout->removeWidget(m_content);
            m_content->hide();
            if (!qobject_cast<QvPane*>(m_content.data()))
                m_content->setParent(nullptr);
        }
        if (view) {
            if (layout->indexOf(view) < 0)
                layout->addWidget(view);
            view->show();
        }
    }
    m_content = view;
    if (!qobject_cast<QvPane*>(view))
        m_lastSegSelected = -1;
}

void InfoDlg::SelectPane(int id)
{
    if (IsPaneIDSelected(id))
        return;
    QvPane* pane = GetPaneByID(id);
    if (!pane || pane->IsDummy())
        return;
    RemoveAllPaneSubview();
    AddPaneSubview(id);
    if (m_removeFlag) {
        m_removeFlag = false;
        return;
    }
    if (m_delegate)
        m_delegate->paneDidSelect(id);
}

void InfoDlg::SetMenuBar(QvMenuBar* bar)
{
    m_menuBar = bar;
    if (bar)
        bar->setDelegate(this);
    updateMenuBar();
}

void InfoDlg::updateMenuBar()
{
    QList<IconItem> items;
    qint64 counter = 0;
    for (QvPane* pane : m_arrPane) {
        if (pane->IsDummy())
            continue;
        pane->m_segCtrlIndex = counter++;
        if (pane->iconItem())
            items << *pane->iconItem();
    }
    if (m_menuBar)
        m_menuBar->configureIconItems(items);
    m_lastSegSelected = -1;
}

void InfoDlg::paneMenuBar(QvMenuBar&, qint64 index)
{
    if (index == m_lastSegSelected)
        return;
    for (QvPane* pane : m_arrPane) {
        if (pane->m_segCtrlIndex == index) {
            SelectPane(pane->GetID());
            m_lastSegSelected = index;
            return;
        }
    }
}
