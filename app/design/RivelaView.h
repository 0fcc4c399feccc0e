// SPDX-License-Identifier: GPL-3.0-or-later
// The 3-D view in the centre of the design window: binds the process-wide renderer
// to the open case, draws the scene, the auxiliary objects and the active pane, and
// routes the mouse either to the active pane or to the mouse-action hub. Points go
// to the core in device pixels with y up. GUI thread only.
#pragma once

#include <QOpenGLWidget>

#include <functional>
#include <memory>

#include "core/geometry/QvGDI.h"

class QLabel;
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

class RivelaView : public QOpenGLWidget {
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
    QvPane* GetActivePane() const { return m_activePane ? m_activePane() : nullptr; }
    void setAboveDelegate(std::weak_ptr<RivelaAboveDelegate> d) { m_above = std::move(d); }

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
    QLabel* m_bottomLabel = nullptr;
    int m_nCurrentStep = 0;
    bool m_bStepLocked = false;
    signed char m_nCurSplite = 0;
    // reloadData came before the context existed: the renderer is set up in initializeGL.
    bool m_bPendingInit = false;
    bool m_bRenderReady = false;
};
