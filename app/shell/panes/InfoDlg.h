// SPDX-License-Identifier: GPL-3.0-or-later
// A pane host: an ordered list of side panes with unique ids over a box that shows
// one non-dummy pane at a time, made on demand by the pane factory, removed singly or
// in bulk (with a keep rule), and an icon menu bar kept in step with the list.
// GUI thread only.
//
// Every listed non-dummy pane carries its menu index (0, 1, 2 ... in list order,
// dummy panes skipped and left at -1); icon k of the bar belongs to menu index k.
#pragma once

#include "app/service/RVCaseInfo.h"
#include "app/shell/panes/QvMenuBar.h"
#include "app/shell/panes/QvPane.h"

#include <QObject>
#include <QPointer>

#include <memory>

class InfoDlgDelegate {
public:
    virtual ~InfoDlgDelegate() = default;
    // A pane was made the box's content (not sent when that followed RemovePane).
    virtual void paneDidSelect(int id) = 0;
};

class InfoDlg : public QObject, public QvMenuBarDelegate {
    Q_OBJECT
public:
    // The box is held weakly; its content is one widget in a layout of its own.
    explicit InfoDlg(QWidget* box);
    ~InfoDlg() override;

    // The listed pane with the id, else a new one from the factory (given the host's
    // case and listed); null when the factory makes none (list and menu unchanged).
    QvPane* AddPane(int id);
    // Drops the pane; sets the remove flag, so the next selection tells no delegate.
    void RemovePane(int id);
    // Drops every pane, or with keep every pane but ids 5, 6, 7, 8 and 11.
    void RemoveAllPaneIsKeep(bool keep);
    // Drops every pane later, on the GUI thread's queue (panes added meanwhile too).
    void RemoveAllPaneIsKeepImagePane(bool keep);
    // Drops every pane at once; the menu bar keeps its icons until the next update.
    void RemoveAllPane();
    // Shows a listed non-dummy pane in the box.
    void SelectPane(int id);
    bool IsPaneIDSelected(int id) const;
    // Detaches every listed pane but the cross-section pane (it lives over the 3-D view).
    void RemoveAllPaneSubview();
    void AddPaneSubview(int id);
    // A widget that is not a pane resets the selected menu index to -1.
    void setContentView(QWidget* view);
    QvPane* GetPaneByID(int id) const;
    QvPane* CheckUnique(int id) const { return GetPaneByID(id); }

    QvMenuBar* GetMenuBar() const { return m_menuBar; }
    void SetMenuBar(QvMenuBar* bar);
    void updateMenuBar();
    void paneMenuBar(QvMenuBar& bar, qint64 index) override;

    void setDelegate(InfoDlgDelegate* delegate) { m_delegate = delegate; }
    void setCaseinfo(std::shared_ptr<RVCaseInfo> info) { m_caseinfo = std::move(info); }
    const std::shared_ptr<RVCaseInfo>& caseinfo() const { return m_caseinfo; }
    const QList<QvPane*>& panes() const { return m_arrPane; }
    QList<int> paneIds() const;
    qint64 lastSegSelected() const { return m_lastSegSelected; }
    bool removeFlag() const { return m_removeFlag; }
    QWidget* box() const { return m_box; }
    QWidget* contentView() const;

private:
    void Detach(QvPane* pane);
    void Drop(QvPane* pane);

    bool m_removeFlag = false;
    InfoDlgDelegate* m_delegate = nullptr;
    std::shared_ptr<RVCaseInfo> m_caseinfo;
    QList<QvPane*> m_arrPane;
    qint64 m_lastSegSelected = -1;
    QPointer<QvMenuBar> m_menuBar;
    QPointer<QWidget> m_box;
    QPointer<QWidget> m_content;
};
