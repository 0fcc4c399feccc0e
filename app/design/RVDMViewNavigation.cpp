// SPDX-License-Identifier: GPL-3.0-or-later
// Navigation of the views: trackball and constrained rotation with re-centring, moves,
// zoom within the document's limits, the case's predefined orientations and fitting.
#include "app/design/RVDMViewHandle.h"

#include "app/design/RivelaDoc.h"
#include "core/base/QvObject.h"
#include "core/base/QvTypeCodes.h"
#include "core/design/QvBracket.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/QvViewOrient.h"

#include <atomic>
#include <vector>

namespace {

std::atomic<int> g_viewOrient{4};
std::atomic<int> g_rotateType{0};

QvViewManager& Views() { return *QvViewManager::Instance(); }
QvView* ResolveView(QvView* view) { return view ? view : Views().GetActiveView(); }
QvOpenGLRender& Render() { return *QvRenderStatus::Instance()->GetRender(); }
QvVector AsVector(const QvPoint& p) { return p - QvPoint(); }

bool Shown(const QvEntity* entity) { return (entity->m_state & kQvStateShown) != 0; }
bool Deleted(const QvEntity* entity) { return (entity->m_state & kQvStateDeleted) != 0; }

// The centre of what the view shows keeps its place on the screen after a turn.
void Recentre(QvView* view, const QvPoint& centre)
{
    const QvPoint window = Render().ProjectToWindow(centre);
    const QvPoint moved = Render().UnProjectByViewTransform(window);
    Views().TranslateView(view, moved - centre);
}

void Turn(QvView* view, const QvVector& a, const QvVector& b)
{
    const double angle = a.Angle(b);
    const QvVector axis = a.Cross(b);
    Views().RotateView(view, QvMatrix(axis, 2.0 * angle));
}

void RotateAbout(QvView* view, const QvGDIPoint& point, const QvVector& direction)
{
    view = ResolveView(view);
    if (!view || !RVDMViewHandle::getModel())
        return;
    const QvPoint centre = RVDMViewHandle::calRotateBox(view).GetCentre();
    const QvLine line(QvPoint(), direction);
    const QvPoint a = Render().MapToTrackball(QvRenderStatus::Instance()->m_lastMousePoint);
    const QvPoint b = Render().MapToTrackball(point);
    Turn(view, a - line.ClosestPoint(a), b - line.ClosestPoint(b));
    Recentre(view, centre);
}

} // namespace

void RVDMViewHandle::setViewOrient(int orientation) { g_viewOrient = orientation; }
int RVDMViewHandle::viewOrient() { return g_viewOrient; }
void RVDMViewHandle::setViewRotateType(int type) { g_rotateType = type; }
int RVDMViewHandle::viewRotateType() { return g_rotateType; }

void RVDMViewHandle::viewRotate(QvView* view, const QvGDIPoint& point)
{
    switch (viewRotateType()) {
    case 0:
        viewRotateNormal(view, point);
        break;
    case 1:
        viewRotateHorizontal(view, point);
        break;
    case 2:
        viewRotateVertical(view, point);
        break;
    default:
        break;
    }
}

void RVDMViewHandle::viewRotateNormal(QvView* view, const QvGDIPoint& point)
{
    view = ResolveView(view);
    if (!view)
        return;
    const QvVector a = AsVector(Render().MapToTrackball(QvRenderStatus::Instance()->m_lastMousePoint));
    const QvVector b = AsVector(Render().MapToTrackball(point));
    Turn(view, a, b);
    Recentre(view, calRotateBox(view).GetCentre());
}

void RVDMViewHandle::viewRotateHorizontal(QvView* view, const QvGDIPoint& point)
{
    RotateAbout(view, point, QvVector(0.0, 1.0, 0.0));
}

void RVDMViewHandle::viewRotateVertical(QvView* view, const QvGDIPoint& point)
{
    RotateAbout(view, point, QvVector(1.0, 0.0, 0.0));
}

void RVDMViewHandle::viewTranslate(QvView* view, const QvGDIPoint& point)
{
    view = ResolveView(view);
    if (!view)
        return;
    const QvPoint from = Render().UnProjectInActiveView(QvRenderStatus::Instance()->m_lastMousePoint, 0.0);
    const QvPoint to = Render().UnProjectInActiveView(point, 0.0);
    Views().TranslateView(view, to - from);
}

void RVDMViewHandle::scaleView(QvView* view, double delta)
{
    view = ResolveView(view);
    const std::shared_ptr<RivelaDoc> document = currentDocument();
    if (!view || !document)
        return;
    const double d = 0.05 * delta;
    const double zoom = view->GetTransform().m_scale;
    if (document->canScaleModelWithFactor(zoom + zoom * d))
        Views().ScaleView(view, 1.0 + d);
}

std::unique_ptr<QvFrame> RVDMViewHandle::getViewFrame(int orientation, bool horizontal)
{
    auto frame = std::make_unique<QvFrame>();
    if (!QvGetViewFrame(getModel(), orientation, horizontal, *frame))
        return nullptr;
    return frame;
}

void RVDMViewHandle::viewShowOrient(QvView* view, int orientation)
{
    const std::unique_ptr<QvFrame> frame = getViewFrame(orientation, false);
    if (!frame)
        return;
    setViewOrient(orientation);
    view = ResolveView(view);
    if (view)
        Views().SetViewOrient(view, frame->m_centre, frame->m_dirX, frame->m_dirY);
    viewZoomFit();
}

QvBBox RVDMViewHandle::calRotateBox(QvView* view)
{
    QvBBox box;
    view = ResolveView(view);
    QvModel* model = getModel();
    if (!model)
        return box;
    std::vector<QvEntity*> entities;
    model->GetAllEntities(entities);
    bool first = true;
    for (QvEntity* entity : entities) {
        if (!entity || !Shown(entity) || entity->GetType() == kQvTypeBracket)
            continue;
        if (view && view->GetDrawInfo()->IsEntityHidden(entity))
            continue;
        if (!entity->m_bbox.IsValid())
            continue;
        if (first)
            box = entity->m_bbox;
        else
            box.Merge(entity->m_bbox);
        first = false;
    }
    return box;
}

void RVDMViewHandle::viewZoomFit()
{
    QvModel* model = getModel();
    if (!model)
        return;
    std::vector<QvEntity*> entities;
    model->GetAllEntities(entities);
    QvBBox all;
    bool first = true;
    for (QvEntity* entity : entities) {
        if (!entity || !Shown(entity) || Deleted(entity))
            continue;
        if (first)
            all = entity->m_bbox;
        else
            all.Merge(entity->m_bbox);
        first = false;
    }
    QvViewManager& views = Views();
    const std::size_t count = views.GetViewCount();
    QvBBox selected;
    if (count == 4)
        for (QvEntity* entity : entities) {
            if (!entity || !Shown(entity) || !(entity->m_state & kQvStateSelected))
                continue;
            if (entity->IsKindOf(kQvTypeBracket)) {
                if (const auto* bracket = dynamic_cast<QvBracket*>(entity); bracket && bracket->m_pTooth)
                    selected = bracket->m_pTooth->m_bbox;
            } else if (entity->IsKindOf(kQvTypeTooth)) {
                selected = entity->m_bbox;
            }
        }
    const double k = count == 1 ? 2.25 : 1.75;
    const double diagonal = first ? 0.0 : all.GetDiagonal();
    for (QvView* view : views.GetViews()) {
        QvTransform& transform = view->GetTransform();
        if (count == 4 && view->GetID() != 0 && selected.IsValid()) {
            transform.m_scale = 2.0 / selected.GetDiagonal();
            transform.m_translation = QvPoint() - selected.GetCentre();
        } else if (diagonal >= 1e-7) {
            // An empty model leaves the views as they are.
            transform.m_scale = k / diagonal;
            transform.m_translation = QvPoint() - all.GetCentre();
        }
    }
}
