// SPDX-License-Identifier: GPL-3.0-or-later
// The 3-D view in the centre of the design window: binds the process-wide renderer
// to the open case, draws the scene, the auxiliary objects and the active pane, and
// routes the mouse either to the active pane or to the mouse-action hub. Points go
// to the core in device pixels with y up. GUI thread only.
#pragma once

#include <QList>
#include <QOpenGLWidget>
#include <QPointer>

#include <functional>
#include <memory>

#include "app/shell/panes/QvPane.h"
#include "app/shell/widgets/IconItem.h"
#include "app/shell/widgets/SmallMenu.h"
#include "core/geometry/QvGDI.h"

class QLabel;
class RVDesignToolBarPort;
class RVStepBarPort;
class RVSubToolBarPort;
class QvModel;
class QvPane;
class QvScheme;
class QvView;
class RivelaDoc;

// Receives the request to lay out the tool-bar buttons again.
class RivelaAboveDelegate {
public:
    virtual ~RivelaAboveDelegate() = default;
    virtual void reposAboveBtns() {}
};

// The design window around the view: its pane host and its two bars.
class RivelaViewHost {
public:
    virtual ~RivelaViewHost() = default;
    // 0 leaves no active pane.
    virtual void setActivePane(int id) = 0;
    virtual QvPane* getActivePane() = 0;
    virtual RVDesignToolBarPort* viewAbovePane() = 0;
    virtual RVStepBarPort* viewBelowPane() = 0;
};

class RivelaView : public QOpenGLWidget, public SmallMenuDelegate {
    Q_OBJECT
public:
    explicit RivelaView(QWidget* parent = nullptr);
    ~RivelaView() override;

    // Compatibility profile with the fixed-function calls, depth 24, stencil 8.
    static QSurfaceFormat viewFormat();

    void reloadData();
    void reloadScheme();
    // Before the case model goes: every view, overlay and cache keyed by the model.
    void Clear();

    // The pane the mouse goes to first; none unless set.
    void setActivePaneSource(std::function<QvPane*()> source) { m_activePane = std::move(source); }
    QvPane* GetActivePane() const
    {
        if (m_activePane)
            return m_activePane();
        return m_host ? m_host->getActivePane() : nullptr;
    }
    void setAboveDelegate(std::weak_ptr<RivelaAboveDelegate> d) { m_above = std::move(d); }
    void setHost(RivelaViewHost* host) { m_host = host; }
    RVDesignToolBarPort* GetAbovePane() const;
    RVStepBarPort* GetBelowPane() const;
    // The view-direction bar over the view, made on first use; null without a maker.
    RVSubToolBarPort* subToolBar();
    // The revision's compare bar (made by the scheme-approval panes, when they exist).
    static void SetCompareViewMaker(std::function<QWidget*()> maker);
    QWidget* compareView() const { return m_compareView; }
    QvPane* sectionPane() const { return m_sectionPane; }

    std::shared_ptr<RivelaDoc> currentDocument() const;
    QvModel* getModel() const;

    int currentStep() const { return m_nCurrentStep; }
    void switchStep(int step, QvScheme* scheme, QvView* view);
    int GetFocusStep();
    void SetStepLocked(bool locked) { m_bStepLocked = locked; }
    bool stepLocked() const { return m_bStepLocked; }
    void SetCurSplite(signed char s) { m_nCurSplite = s; }
    signed char GetCurSplite() const { return m_nCurSplite; }

    // Upper, lower, upper over-correction, lower over-correction step counts of the
    // current scheme; false without one.
    struct TreatSteps {
        int up = 0, down = 0, upExceed = 0, downExceed = 0;
    };
    bool GetTreatStep(TreatSteps& out) const;
    // The same counts written into the step bar as decimal texts.
    void GetTreatStep();

    // The tool bars' messages (through the operation hub).
    void toolBarShowFDI(bool on);
    void toolBarShowGrid(bool on);
    void toolBarShowCollision(bool on);
    void toolBarShowGap(bool on);
    void toolBarShowIPR(bool on);
    void toolBarShowAtt(bool on);
    void toolBarShowCompare(bool on);
    void toolBarShowSection(bool on);
    void toolBarShowDistMeasure(bool on);
    void toolBarShowTargetDesign(bool on);
    void toolBarShowBracket(bool on);
    void toolBarShowMoveData(bool on);
    void openRotateView();
    void subToolBarShowUpperJaw(bool on);
    void subToolBarShowLowerJaw(bool on);
    void subToolBarShowFaceUpperJaw(bool on);
    void subToolBarShowFaceLowerJaw(bool on);
    void subToolBarShowRight(bool on);
    void subToolBarShowFront(bool on);
    void subToolBarShowLeft(bool on);
    void subToolBarShowBack(bool on);
    void subToolBarShowGum(bool on);
    void subToolBarShowRoot(bool on);
    void subToolBarShowJawBone(bool on);
    void subToolBarShowMultiView(bool on);

    // Scheme revision started and abandoned.
    void createNewScheme();
    void cancelCreteNewScheme();

    // The rotate-mode menu.
    SmallMenu* CreateMenuRotate();
    const QList<IconItem>& arrMenuRotate();
    void replaceItemAtIndex(qsizetype index, const IconItem& item, const QList<IconItem>& items) override;
    void RemoveMenuRotate();
    SmallMenu* menuRotate() const { return m_sMenuRotate; }

    void showOcclusion(bool show, int step);
    void showAdjacent(bool show, int step);
    void showIPR(bool show, int step);
    void showVirtualTeethStep(int step);
    void showComapre(bool show);
    void showAttachments(bool show, int step);
    void showRealRoot(bool show);
    void showJawBone(bool show);
    void showView(int orientation);
    void setViewOpRtType(int type);
    void setViewOrient(int orientation);

    // A view point (logical pixels, y down) in device pixels with y up.
    QvGDIPoint convertToTruePos(const QPointF& p) const;
    void ActiveView(const QvGDIPoint& p);
    void updateSize();
    void reposToolBtns();
    void reposSubToolBar();

    QLabel* bottomLabel() const { return m_bottomLabel; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    class Receiver;
    void initWithContext();
    void initRender(QvModel* model);
    void initActiveQvView(QvModel* model);
    void initCacheStuff(QvModel* model);
    void ClearOpenGL();
    void StoreLastPoint(const QvGDIPoint& p);
    template <typename Each>
    void ForEachView(Each each);

    std::shared_ptr<Receiver> m_receiver;
    std::function<QvPane*()> m_activePane;
    std::weak_ptr<RivelaAboveDelegate> m_above;
    RivelaViewHost* m_host = nullptr;
    QPointer<QWidget> m_subToolBarWidget;
    RVSubToolBarPort* m_subToolBar = nullptr;
    QPointer<QWidget> m_compareView;
    QPointer<QvPane> m_sectionPane;
    QPointer<SmallMenu> m_sMenuRotate;
    QList<IconItem> m_ArrMenuRotate;
    QLabel* m_bottomLabel = nullptr;
    int m_nCurrentStep = 0;
    bool m_bStepLocked = false;
    signed char m_nCurSplite = 0;
    // reloadData came before the context existed: the renderer is set up in initializeGL.
    bool m_bPendingInit = false;
    bool m_bRenderReady = false;
};
