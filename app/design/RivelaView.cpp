// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RivelaView.h"

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMMouseActionManager.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMViewHandle.h"
#include "app/design/RVDMLayout.h"
#include "app/design/RVDesignBarPorts.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "app/platform/Folders.h"
#include "app/platform/NotificationHub.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "app/shell/panes/QvPane.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/mesh/QvParameterizeMgr.h"
#include "core/model/QvModel.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvOpenGLSelect.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"

#include <QLabel>
#include <QOpenGLContext>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// The revision's compare bar answers clear when it has one.
void ClearCompareView(QWidget* view)
{
    if (view && view->metaObject()->indexOfMethod("clear()") >= 0)
        QMetaObject::invokeMethod(view, "clear");
}
} // namespace

// The hubs hold their members weakly through shared pointers; the widget itself is
// owned by Qt, so a small receiver stands in for it and forwards.
class RivelaView::Receiver : public RVDMMouseActionDelegate, public RVDMDrawDelegate, public RV3DOprationDelegate {
public:
    explicit Receiver(RivelaView* view) : m_view(view) {}
    void digitalModelRotateTo(const QvGDIPoint& p) override
    {
        if (QvView* active = QvViewManager::Instance()->GetActiveView())
            RVDMViewHandle::viewRotate(active, p);
    }
    void digitalModelMoveTo(const QvGDIPoint& p) override
    {
        if (QvView* active = QvViewManager::Instance()->GetActiveView())
            RVDMViewHandle::viewTranslate(active, p);
    }
    void digitalModelScaleBy(double d) override { RVDMViewHandle::scaleView(nullptr, d); }
    int currentStep() override { return m_view->m_nCurrentStep; }
    void displayModel() override { m_view->update(); }
    QvAuxRender* auxRender() override { return QvRenderStatus::Instance()->GetAuxRender(); }
    void switchStep(int step, QvScheme* scheme, QvView* view) override { m_view->switchStep(step, scheme, view); }

    void toolBarShowFDI(RVDMToolBarState*, bool on) override { m_view->toolBarShowFDI(on); }
    void toolBarShowSection(RVDMToolBarState*, bool on) override { m_view->toolBarShowSection(on); }
    void toolBarShowCollision(RVDMToolBarState*, bool on) override { m_view->toolBarShowCollision(on); }
    void toolBarShowIPR(RVDMToolBarState*, bool on) override { m_view->toolBarShowIPR(on); }
    void toolBarShowAtt(RVDMToolBarState*, bool on) override { m_view->toolBarShowAtt(on); }
    void toolBarShowGap(RVDMToolBarState*, bool on) override { m_view->toolBarShowGap(on); }
    void toolBarShowCompare(RVDMToolBarState*, bool on) override { m_view->toolBarShowCompare(on); }
    void toolBarShowGrid(RVDMToolBarState*, bool on) override { m_view->toolBarShowGrid(on); }
    void toolBarShowDistMeasure(RVDMToolBarState*, bool on) override { m_view->toolBarShowDistMeasure(on); }
    void toolBarShowTargetDesign(RVDMToolBarState*, bool on) override { m_view->toolBarShowTargetDesign(on); }
    void toolBarShowMoveData(RVDMToolBarState*, bool on) override { m_view->toolBarShowMoveData(on); }
    void toolBarShowBracket(RVDMToolBarState*, bool on) override { m_view->toolBarShowBracket(on); }
    void subToolBarShowUpperJaw(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowUpperJaw(on); }
    void subToolBarShowLowerJaw(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowLowerJaw(on); }
    void subToolBarShowFaceUpperJaw(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowFaceUpperJaw(on); }
    void subToolBarShowFaceLowerJaw(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowFaceLowerJaw(on); }
    void subToolBarShowRight(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowRight(on); }
    void subToolBarShowFront(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowFront(on); }
    void subToolBarShowLeft(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowLeft(on); }
    void subToolBarShowBack(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowBack(on); }
    void subToolBarShowGum(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowGum(on); }
    void subToolBarShowRoot(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowRoot(on); }
    void subToolBarShowJawBone(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowJawBone(on); }
    void subToolBarShowMultiView(RVDMSubToolBarState*, bool on) override { m_view->subToolBarShowMultiView(on); }
    void openRotateView() override { m_view->openRotateView(); }

private:
    RivelaView* m_view;
};

RivelaView::RivelaView(QWidget* parent) : QOpenGLWidget(parent), m_receiver(std::make_shared<Receiver>(this))
{
    setFormat(viewFormat());
    setMouseTracking(true);
    RVDMMouseActionManager::addDelegate(m_receiver);

    m_bottomLabel = new QLabel(QStringLiteral("视图为矫治方案牙齿位置的模拟，临床效果受多种因素影响"), this);
    QFont font = m_bottomLabel->font();
    font.setPixelSize(12);
    m_bottomLabel->setFont(font);
    m_bottomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_bottomLabel->setStyleSheet(QStringLiteral("color: rgb(211, 211, 211); background: transparent;"));
    m_bottomLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    // Wide enough for the whole text at 12 px in a CJK font (300 cut off its first character).
    m_bottomLabel->resize(std::max(340, m_bottomLabel->sizeHint().width() + 8), 20);
}

RivelaView::~RivelaView()
{
    RemoveMenuRotate();
    Clear();
}

QSurfaceFormat RivelaView::viewFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

std::shared_ptr<RivelaDoc> RivelaView::currentDocument() const { return RVModelManager::shared().currentDocument(); }

QvModel* RivelaView::getModel() const
{
    const auto doc = currentDocument();
    return doc ? doc->getModel() : nullptr;
}

// ---- Life cycle

void RivelaView::reloadData()
{
    Clear();
    platform::NotificationHub& hub = platform::NotificationHub::Shared();
    hub.AddObserver(this, platform::notifications::kCreateNewScheme, [this](const QVariantMap&) { createNewScheme(); });
    hub.AddObserver(this, platform::notifications::kApproveSchemeNewSchemeQuit,
                    [this](const QVariantMap&) { cancelCreteNewScheme(); });
    RVDMOprationManager::shared().addDelegate(m_receiver);
    RVDMDrawStatus::shared().delegate = m_receiver;
    if (const auto doc = currentDocument())
        doc->updateOBBTree();

    m_nCurrentStep = 0;
    setViewOpRtType(0);
    setViewOrient(4);
    m_bStepLocked = false;
    m_nCurSplite = 1;

    if (context() && context()->isValid()) {
        makeCurrent();
        initWithContext();
        doneCurrent();
    } else {
        m_bPendingInit = true;
    }

    QvViewManager* views = QvViewManager::Instance();
    const int activeId = views->GetActiveViewId();
    RVDMOprationManager::shared().switchStep(0, RVDMDrawStatus::shared().schemeWithViewId(activeId),
                                             views->GetActiveView());
    showRealRoot(false);
    showJawBone(false);
    showAttachments(true, m_nCurrentStep);
    showIPR(true, m_nCurrentStep);
    showVirtualTeethStep(0);
    update();
}

void RivelaView::reloadScheme()
{
    m_nCurrentStep = 0;
    QvModel* model = getModel();
    QvScheme* scheme = model ? QvGetSchemeMgr(*model)->GetCurScheme() : nullptr;
    QvViewManager* views = QvViewManager::Instance();
    RVDMDrawStatus::shared().setScheme(scheme, views->GetActiveViewId());
    RVDMOprationManager::shared().switchStep(0, scheme, views->GetActiveView());
    showRealRoot(false);
    showJawBone(false);
    showAttachments(true, m_nCurrentStep);
    showIPR(true, m_nCurrentStep);
    showVirtualTeethStep(m_nCurrentStep);
    updateSize();
}

void RivelaView::Clear()
{
    platform::NotificationHub::Shared().RemoveObserver(this);
    RVDMOprationManager::shared().removeDelegate(m_receiver.get());
    if (RVDMDrawStatus::shared().delegate.lock() == m_receiver)
        RVDMDrawStatus::shared().delegate.reset();
    m_bPendingInit = false;
    if (m_compareView) {
        ClearCompareView(m_compareView);
        m_compareView->hide();
        m_compareView->setParent(nullptr);
        m_compareView->deleteLater();
    }
    if (m_subToolBar && m_subToolBarWidget)
        m_subToolBar->setEnableTwoCompView(true);
    if (!m_bRenderReady)
        return;
    const bool hasContext = context() && context()->isValid();
    if (hasContext)
        makeCurrent();
    ClearOpenGL();
    if (hasContext)
        doneCurrent();
    m_bRenderReady = false;
    update();
}

void RivelaView::ClearOpenGL()
{
    QvViewManager::Instance()->ToOneCompView();
    QvCacheStuff::Instance().Clear();
    QvRenderStatus::Instance()->GetAuxRender()->Clear();
    QvViewManager::Instance()->Clear();
    QvVBOHandleMgr::Instance()->Clear();
    QvOBBTreeMgr::Instance()->Clear();
    // Keyed by mesh address like the others: a later model may reuse the addresses.
    QvParameterizeMgr::Instance()->RemoveAll();
    QvRenderStatus::Instance()->GetRender()->SetModel(nullptr);
    QvRenderStatus::Instance()->GetSelector()->SetModel(nullptr);
    QvCacheStuff::Instance().m_pModel = nullptr;
}

void RivelaView::initWithContext()
{
    QvModel* model = getModel();
    if (!model)
        return;
    initRender(model);
    initActiveQvView(model);
    initCacheStuff(model);
    m_bRenderReady = true;
    updateSize();
}

void RivelaView::initRender(QvModel* model)
{
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bSmoothNormals = true;
    status->m_bAltToothMaterial = true;
    status->m_bBackgroundImage = true;
    status->m_bWindowYUp = true;
    status->m_backingScale = static_cast<float>(devicePixelRatioF());
    QvOpenGLRender* render = status->GetRender();
    render->SetBackgroundPath(platform::PathForResource(QStringLiteral("Rivela_bkg"), QStringLiteral("png")).toStdString());
    render->SetModel(model);
    render->InitRender();
    status->GetSelector()->SetModel(model);
}

void RivelaView::initActiveQvView(QvModel* model)
{
    QvViewManager* views = QvViewManager::Instance();
    views->InitActiveView();
    const double diagonal = model->m_bbox.GetDiagonal();
    if (QvView* active = views->GetActiveView(); active && diagonal > 0.0)
        active->GetTransform().m_scale = 2.25 / diagonal;
    RVDMDrawStatus::shared().clearScheme();
    RVDMDrawStatus::shared().setScheme(QvGetSchemeMgr(*model)->GetCurScheme(), views->GetActiveViewId());
}

void RivelaView::initCacheStuff(QvModel* model)
{
    QvCacheStuff& cache = QvCacheStuff::Instance();
    cache.m_pModel = model;
    const QString font = platform::PathForResource(QStringLiteral("font"), QStringLiteral("ttf"));
    cache.m_fontPath = font.isEmpty() ? std::string(kQvLabelFontPath) : font.toStdString();
}

void RivelaView::updateSize()
{
    const double scale = devicePixelRatioF();
    QvRenderStatus::Instance()->m_backingScale = scale;
    const int w = static_cast<int>(width() * scale);
    const int h = static_cast<int>(height() * scale);
    if (m_bRenderReady) {
        QvRenderStatus::Instance()->GetRender()->UpdateViewport(w, h);
        QvViewManager* views = QvViewManager::Instance();
        views->SetSize(w, h);
        if (views->GetViewCount() < 2)
            views->FitSingleView();
        else
            views->LayoutViews();
    }
    m_bottomLabel->move(5, height() - 5 - m_bottomLabel->height());
    if (m_sectionPane)
        m_sectionPane->OnSizeCallback(QRect());
    reposToolBtns();
    reposSubToolBar();
    if (m_compareView)
        m_compareView->setGeometry(rect());
}

void RivelaView::reposSubToolBar()
{
    if (!subToolBar())
        return;
    const QSize size = m_subToolBarWidget->sizeHint();
    m_subToolBarWidget->setGeometry((width() - size.width()) / 2, 10, size.width(), size.height());
}

void RivelaView::reposToolBtns()
{
    if (const auto above = m_above.lock())
        above->reposAboveBtns();
}

// ---- Drawing

void RivelaView::initializeGL()
{
    if (m_bPendingInit) {
        m_bPendingInit = false;
        initWithContext();
        // The view was made just now: turn it the way the window asked before it could.
        if (m_bRenderReady)
            showView(RVDMViewHandle::viewOrient());
    }
}

void RivelaView::resizeGL(int, int) { updateSize(); }

void RivelaView::paintGL()
{
    QvModel* model = getModel();
    if (!model || !m_bRenderReady) {
        // Never leave an old frame standing after the model went.
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        return;
    }
    QvRenderStatus* status = QvRenderStatus::Instance();
    if (QvOpenGLRender* render = status->GetRender())
        render->DrawScene();
    status->GetAuxRender()->Draw();
    if (QvPane* pane = GetActivePane())
        pane->Draw();
}

// ---- Steps and overlays

void RivelaView::switchStep(int step, QvScheme* scheme, QvView* view)
{
    m_nCurrentStep = step;
    RVDMViewHandle::updateView(view, scheme, step);
}

int RivelaView::GetFocusStep()
{
    RVDMOprationManager::shared().switchStep(m_nCurrentStep, nullptr, nullptr);
    return m_nCurrentStep;
}

bool RivelaView::GetTreatStep(TreatSteps& out) const
{
    QvModel* model = getModel();
    QvScheme* scheme = model ? QvGetSchemeMgr(*model)->GetCurScheme() : nullptr;
    if (!scheme)
        return false;
    out.up = scheme->GetJawStepCount(true) - 1;
    out.upExceed = scheme->GetOverCorrectionStepCount(true);
    out.downExceed = scheme->GetOverCorrectionStepCount(false);
    out.down = out.downExceed > 0 ? scheme->GetJawStepCount(false) - 1 : scheme->GetLowerJawFinalStep();
    return true;
}

template <typename Each>
void RivelaView::ForEachView(Each each)
{
    const std::vector<QvView*> views = QvViewManager::Instance()->GetViews();
    for (QvView* view : views)
        each(view, RVDMDrawStatus::shared().schemeWithViewId(view->GetID()));
}

void RivelaView::showOcclusion(bool show, int step)
{
    ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::showOcclusion(show, v, s, step); });
}
void RivelaView::showAdjacent(bool show, int step)
{
    ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::showAdjacent(show, v, s, step); });
}
void RivelaView::showIPR(bool show, int step)
{
    ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::showIPR(show, v, s, step); });
}
void RivelaView::showVirtualTeethStep(int step)
{
    ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::updateVirtualTeeth(v, s, step); });
}
void RivelaView::showComapre(bool show)
{
    ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::showCompareShow(show, v, s); });
}
void RivelaView::showAttachments(bool show, int step)
{
    RVDMViewHandle::hideAllAttachMent();
    if (show)
        ForEachView([&](QvView* v, QvScheme* s) { RVDMViewHandle::updateAttachment(v, s, step); });
}
void RivelaView::showRealRoot(bool show) { RVDMViewHandle::showRealRoot(show); }
void RivelaView::showJawBone(bool show) { RVDMViewHandle::showJawBone(show); }
void RivelaView::showView(int orientation) { RVDMViewHandle::viewShowOrient(nullptr, orientation); }
void RivelaView::setViewOpRtType(int type) { RVDMViewHandle::setViewRotateType(type); }
void RivelaView::setViewOrient(int orientation) { RVDMViewHandle::setViewOrient(orientation); }

// ---- Mouse

QvGDIPoint RivelaView::convertToTruePos(const QPointF& p) const
{
    const double scale = QvRenderStatus::Instance()->m_backingScale;
    QvGDIPoint out;
    out.x = static_cast<std::int32_t>(std::trunc(p.x() * scale));
    out.y = static_cast<std::int32_t>(std::trunc((height() - p.y()) * scale));
    return out;
}

void RivelaView::ActiveView(const QvGDIPoint& p)
{
    QvViewManager* views = QvViewManager::Instance();
    QvView* view = views->GetViewAtPoint(p);
    if (view && view != views->GetActiveView())
        views->SetActiveView(view);
}

void RivelaView::StoreLastPoint(const QvGDIPoint& p) { QvRenderStatus::Instance()->m_lastMousePoint = p; }

void RivelaView::mousePressEvent(QMouseEvent* e)
{
    const QvGDIPoint p = convertToTruePos(e->position());
    QvPane* pane = GetActivePane();
    if (e->button() == Qt::LeftButton) {
        ActiveView(p);
        if (pane)
            pane->LButtonDownCallback(p);
        update();
    } else if (e->button() == Qt::RightButton) {
        QvRenderStatus::Instance()->GetAuxRender()->HitTest(p);
        if (pane)
            pane->rightMouseDownCallback(p);
    }
}

void RivelaView::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        mousePressEvent(e);
        return;
    }
    const QvGDIPoint p = convertToTruePos(e->position());
    ActiveView(p);
    if (QvPane* pane = GetActivePane())
        pane->OnLButtonDblClkCallback(p);
    update();
}

void RivelaView::mouseReleaseEvent(QMouseEvent* e)
{
    const QvGDIPoint p = convertToTruePos(e->position());
    QvPane* pane = GetActivePane();
    if (e->button() == Qt::LeftButton) {
        if (pane)
            pane->LButtonUpCallback(p);
        update();
    } else if (e->button() == Qt::RightButton) {
        QvRenderStatus::Instance()->GetAuxRender()->HitTest(p);
        if (pane)
            pane->rightMouseUpCallback(p);
    }
}

void RivelaView::mouseMoveEvent(QMouseEvent* e)
{
    const QvGDIPoint p = convertToTruePos(e->position());
    QvPane* pane = GetActivePane();
    if (e->buttons() & Qt::LeftButton) {
        if (QvRenderStatus::Instance()->GetAuxRender()->GetHoverObject()) {
            if (pane)
                pane->DragingCallback(p);
        } else {
            RVDMMouseActionManager::digitalModelRotateTo(p);
        }
    } else if (e->buttons() & Qt::RightButton) {
        RVDMMouseActionManager::digitalModelMoveTo(p);
    } else {
        QvRenderStatus::Instance()->GetAuxRender()->HitTest(p);
        if (pane)
            pane->MouseMoveCallback(p);
    }
    StoreLastPoint(p);
    update();
}

void RivelaView::wheelEvent(QWheelEvent* e)
{
    // One notch is 120 eighths of a degree; upwards zooms in with a negative delta.
    const double notches = e->angleDelta().y() / 120.0;
    if (notches == 0.0)
        return;
    RVDMMouseActionManager::digitalModelScaleBy(-notches);
    update();
}

// ---- The design window around the view

namespace {
std::function<QWidget*()>& CompareViewMaker()
{
    static std::function<QWidget*()> maker;
    return maker;
}
} // namespace

void RivelaView::SetCompareViewMaker(std::function<QWidget*()> maker) { CompareViewMaker() = std::move(maker); }

RVDesignToolBarPort* RivelaView::GetAbovePane() const { return m_host ? m_host->viewAbovePane() : nullptr; }

RVStepBarPort* RivelaView::GetBelowPane() const { return m_host ? m_host->viewBelowPane() : nullptr; }

RVSubToolBarPort* RivelaView::subToolBar()
{
    if (!m_subToolBarWidget) {
        m_subToolBar = nullptr;
        if (const auto& make = DesignBars().subToolBar)
            m_subToolBar = make();
        if (!m_subToolBar)
            return nullptr;
        m_subToolBarWidget = m_subToolBar->widget();
        m_subToolBarWidget->setParent(this);
        m_subToolBarWidget->show();
        reposSubToolBar();
    }
    return m_subToolBar;
}

void RivelaView::GetTreatStep()
{
    TreatSteps steps;
    if (!GetTreatStep(steps))
        return;
    if (RVStepBarPort* bar = GetBelowPane()) {
        bar->setUpStep(QString::number(steps.up));
        bar->setDownStep(QString::number(steps.down));
        bar->setUpExceedStep(QString::number(steps.upExceed));
        bar->setDownExceedStep(QString::number(steps.downExceed));
    }
}

// ---- Tool-bar messages

void RivelaView::toolBarShowFDI(bool on) { QvCacheStuff::Instance().ShowFDI(on); }
void RivelaView::toolBarShowGrid(bool on) { QvCacheStuff::Instance().ShowGrid(on); }
void RivelaView::toolBarShowCollision(bool on) { showOcclusion(on, m_nCurrentStep); }
void RivelaView::toolBarShowGap(bool on) { showAdjacent(on, m_nCurrentStep); }
void RivelaView::toolBarShowIPR(bool on) { showIPR(on, m_nCurrentStep); }
void RivelaView::toolBarShowAtt(bool on) { showAttachments(on, m_nCurrentStep); }

void RivelaView::toolBarShowCompare(bool on)
{
    QvModel* model = getModel();
    QvScheme* scheme = model ? QvGetSchemeMgr(*model)->GetCurScheme() : nullptr;
    if (!scheme)
        return;
    if (RVStepBarPort* bar = GetBelowPane())
        (void)bar->didSelectStep(on ? scheme->GetStepCount() - 1 : 0, true);
    showComapre(on);
}

void RivelaView::toolBarShowSection(bool on)
{
    if (on) {
        if (m_host)
            m_host->setActivePane(4);
        QvPane* pane = m_host ? m_host->getActivePane() : nullptr;
        if (pane && pane->GetID() == 4) {
            m_sectionPane = pane;
            pane->setParent(this);
            pane->show();
            QMetaObject::invokeMethod(pane, "initStateWithFrame", Q_ARG(QRect, QRect()));
        }
        return;
    }
    if (m_sectionPane) {
        m_sectionPane->hide();
        m_sectionPane->setParent(nullptr);
    }
    if (m_host)
        m_host->setActivePane(0);
    m_sectionPane = nullptr;
}

void RivelaView::toolBarShowDistMeasure(bool on)
{
    if (m_host)
        m_host->setActivePane(on ? 3 : 0);
}

void RivelaView::toolBarShowTargetDesign(bool on)
{
    if (m_host)
        m_host->setActivePane(on ? 9 : 6);
    if (RVStepBarPort* bar = GetBelowPane())
        bar->SetTargetStep(on);
}

void RivelaView::toolBarShowBracket(bool on)
{
    if (RVSubToolBarPort* bar = subToolBar())
        bar->quitTwoCompView();
    if (m_host)
        m_host->setActivePane(on ? 10 : 6);
}

// The step-movement window belongs to the step panes; without them there is none.
void RivelaView::toolBarShowMoveData(bool) {}

void RivelaView::openRotateView() { CreateMenuRotate(); }

// ---- View-direction messages

void RivelaView::subToolBarShowUpperJaw(bool on) { RVDMViewHandle::viewShowUpperJaw(nullptr, on); }
void RivelaView::subToolBarShowLowerJaw(bool on) { RVDMViewHandle::viewShowLowerJaw(nullptr, on); }
void RivelaView::subToolBarShowFaceUpperJaw(bool on) { RVDMViewHandle::viewShowFaceUpperJaw(nullptr, on); }
void RivelaView::subToolBarShowFaceLowerJaw(bool on) { RVDMViewHandle::viewShowFaceLowerJaw(nullptr, on); }
void RivelaView::subToolBarShowRight(bool) { RVDMViewHandle::viewShowModelOrient(nullptr, 3); }
void RivelaView::subToolBarShowFront(bool) { RVDMViewHandle::viewShowModelOrient(nullptr, 4); }
void RivelaView::subToolBarShowLeft(bool) { RVDMViewHandle::viewShowModelOrient(nullptr, 2); }
void RivelaView::subToolBarShowBack(bool) { RVDMViewHandle::viewShowModelOrient(nullptr, 5); }
void RivelaView::subToolBarShowGum(bool on) { RVDMViewHandle::viewShowGum(nullptr, on); }
void RivelaView::subToolBarShowRoot(bool on) { showRealRoot(on); }
void RivelaView::subToolBarShowJawBone(bool on) { showJawBone(on); }

void RivelaView::subToolBarShowMultiView(bool on)
{
    if (on)
        RVDMViewHandle::toTwoCompView();
    else
        RVDMViewHandle::toOneCompView();
}

// ---- Scheme revision

void RivelaView::createNewScheme()
{
    if (QvViewManager::Instance()->GetViewCount() > 1)
        if (RVSubToolBarPort* bar = subToolBar())
            bar->quitTwoCompView();
    if (RVSubToolBarPort* bar = subToolBar())
        bar->setEnableTwoCompView(false);
    RVDMViewHandle::viewShowModelOrient(nullptr, 4);
    if (!m_compareView && CompareViewMaker())
        m_compareView = CompareViewMaker()();
    if (m_compareView) {
        m_compareView->setParent(this);
        m_compareView->setGeometry(rect());
        m_compareView->show();
    }
}

void RivelaView::cancelCreteNewScheme()
{
    if (m_compareView) {
        m_compareView->hide();
        m_compareView->setParent(nullptr);
        ClearCompareView(m_compareView);
        m_compareView->deleteLater();
    }
    if (RVSubToolBarPort* bar = subToolBar())
        bar->setEnableTwoCompView(true);
}

// ---- Rotate-mode menu

const QList<IconItem>& RivelaView::arrMenuRotate()
{
    if (m_ArrMenuRotate.isEmpty())
        m_ArrMenuRotate = {IconItem(QStringLiteral("竖直旋转_hor"), QStringLiteral("竖直旋转")),
                           IconItem(QStringLiteral("水平旋转_hor"), QStringLiteral("水平旋转")),
                           IconItem(QStringLiteral("自由旋转_hor"), QStringLiteral("自由旋转"))};
    return m_ArrMenuRotate;
}

SmallMenu* RivelaView::CreateMenuRotate()
{
    RVDesignToolBarPort* bar = GetAbovePane();
    NSButtonEx* button = bar ? bar->rotateTypeBtn() : nullptr;
    QWidget* content = window();
    QRect r;
    if (button)
        r = QRect(button->mapTo(button->window(), QPoint(0, 0)), button->size());
    const int rows = static_cast<int>(arrMenuRotate().size());
    const int height = SmallMenu::kRowHeight * rows - SmallMenu::kRowHeight;
    if (!m_sMenuRotate) {
        auto* menu = new SmallMenu(content);
        // Under the button (y grows downwards here).
        menu->setGeometry(r.x() - 10, r.y() + r.height(), SmallMenu::kRowWidth, height);
        menu->addMenuBarItems(arrMenuRotate());
        menu->setSmallDlegate(this);
        menu->show();
        menu->raise();
        m_sMenuRotate = menu;
    }
    return m_sMenuRotate;
}

void RivelaView::replaceItemAtIndex(qsizetype, const IconItem& item, const QList<IconItem>& items)
{
    m_ArrMenuRotate = items;
    int type = 0;
    QString name = QStringLiteral("自由旋转");
    if (item.tooltipName() == QStringLiteral("竖直旋转")) {
        type = 2;
        name = item.tooltipName();
    } else if (item.tooltipName() == QStringLiteral("水平旋转")) {
        type = 1;
        name = item.tooltipName();
    }
    setViewOpRtType(type);
    RemoveMenuRotate();
    RVDesignToolBarPort* bar = GetAbovePane();
    if (NSButtonEx* button = bar ? bar->rotateTypeBtn() : nullptr)
        RVDMLayout::setButtonImage(button, IconItem(name, name).iconName());
    update();
}

void RivelaView::RemoveMenuRotate()
{
    if (!m_sMenuRotate)
        return;
    // The menu may be inside its own click handler: it goes once that returns.
    m_sMenuRotate->hide();
    m_sMenuRotate->setSmallDlegate(nullptr);
    m_sMenuRotate->deleteLater();
    m_sMenuRotate = nullptr;
}
