// SPDX-License-Identifier: GPL-3.0-or-later
// The base of every side pane of the design window: a panel the pane host shows, and
// the receiver of the 3-D view's mouse and drawing callbacks while it is the active
// pane. It carries its id, its menu icon, the case it works on and an undo stack.
// Panes are made by id only through CreatePaneWithID, from the classes registered
// for each id. GUI thread only.
//
// Ids: 3 point distance and 4 cross-section (dummy panes: no icon, never shown in a
// pane box), 6 model measure, 7 clinical information, 8 step information, 9 target
// design, 10 bracket design, 11 scheme approval. No pane has id 5.
#pragma once

#include "app/service/RVCaseInfo.h"
#include "app/shell/panes/RVHandle.h"
#include "app/shell/widgets/IconItem.h"
#include "core/geometry/QvGDI.h"

#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QvObject;

class QvPane : public QWidget, public RVHandle {
    Q_OBJECT
public:
    explicit QvPane(QWidget* parent = nullptr);

    // Callbacks of the 3-D view; the base does nothing (OnSizeCallback sets the frame).
    virtual int GetID() const { return m_id; }
    virtual QString GetTitle() const { return QString(""); }
    virtual bool IsDummy() const { return true; }
    virtual void LButtonDownCallback(const QvGDIPoint&) {}
    virtual void DragingCallback(const QvGDIPoint&) {}
    virtual void LButtonUpCallback(const QvGDIPoint&) {}
    virtual void MouseMoveCallback(const QvGDIPoint&) {}
    virtual void OnLButtonDblClkCallback(const QvGDIPoint&) {}
    virtual void rightMouseDownCallback(const QvGDIPoint&) {}
    virtual void rightMouseUpCallback(const QvGDIPoint&) {}
    virtual void OnSizeCallback(const QRect& rect) { setGeometry(rect); }
    virtual void Draw() {}
    virtual void HighLightObjectCallback(QvObject*) {}
    // The host drops the pane.
    virtual void Clear() {}
    // Right after the factory set the id; the answer is not used.
    virtual bool Initialize() { return true; }

    // A new pane, or null for an id without a pane class (5 included) or whose class
    // could not make one. Ids 6 to 11 get their menu icon.
    static QvPane* CreatePaneWithID(int id);

    // What makes a pane of the id: the pane subsystems register their classes.
    // Id 4 is not made here but taken from the interface loader (class SectionPane).
    using Maker = std::function<QvPane*()>;
    static void RegisterPaneClass(int id, Maker maker);
    static void UnregisterAllPaneClasses(); // tests

    // Redraws the 3-D view at once through the application's main window; nothing
    // when there is no main window or no 3-D view.
    void InvalidateView();
    // How panes reach the 3-D view (set by the application).
    static void SetActiveViewProvider(std::function<QWidget*()> provider);

    int m_id = 0;
    qint64 m_segCtrlIndex = -1;

    const std::optional<IconItem>& iconItem() const { return m_iconItem; }
    void setIconItem(std::optional<IconItem> item) { m_iconItem = std::move(item); }
    const std::shared_ptr<RVCaseInfo>& caseInfo() const { return m_caseInfo; }
    virtual void setCaseInfo(std::shared_ptr<RVCaseInfo> info) { m_caseInfo = std::move(info); }

    ~QvPane() override;

private:
    std::optional<IconItem> m_iconItem;
    std::shared_ptr<RVCaseInfo> m_caseInfo;
};

// The cross-section pane comes from the interface file "SectionPane"; its subsystem
// registers that file with the interface loader, holding a pane of this class or a
// subclass. The loader owns it: hosts never delete it.
class SectionPane : public QvPane {
    Q_OBJECT
public:
    using QvPane::QvPane;
};
