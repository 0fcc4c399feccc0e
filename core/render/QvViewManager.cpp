// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvViewManager.h"

#include <algorithm>

#include "core/geometry/QvFrame.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"

namespace
{
// The upper-left 3 x 3 block of a rotation given as 3 x 3 or 4 x 4; empty otherwise.
QvMatrix Rotation3(const QvMatrix& r)
{
    if (r.Rows() < 3 || r.Cols() < 3)
        return QvMatrix();
    if (r.Rows() == 3 && r.Cols() == 3)
        return r;
    QvMatrix out(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            out[i][j] = r[i][j];
    return out;
}

QvOpenGLRender* Renderer() { return QvRenderStatus::Instance()->GetRender(); }
} // namespace

QvViewManager::~QvViewManager() { Clear(); }

QvViewManager* QvViewManager::Instance()
{
    static QvViewManager instance;
    return &instance;
}

void QvViewManager::ResetForTests()
{
    Clear();
    m_linkFlags = 0;
    m_width = 0;
    m_height = 0;
}

void QvViewManager::SetSize(std::int32_t width, std::int32_t height)
{
    m_width = width;
    m_height = height;
}

void QvViewManager::GetSize(std::int32_t& width, std::int32_t& height) const
{
    width = m_width;
    height = m_height;
}

QvView* QvViewManager::AddView(std::int32_t id, const QvGDIPoint& origin, std::int32_t width, std::int32_t height)
{
    m_views.reserve(m_views.size() + 1);
    QvView* view = new QvView(origin, width, height);
    view->SetID(id);
    m_views.push_back(view);
    return view;
}

void QvViewManager::InitActiveView()
{
    // Ids stay unique: a second call finds the main view in place and only refits it.
    if (QvView* main = GetView(0))
        main->SetRect(QvGDIPoint(0, 0), m_width, m_height);
    else
        AddView(0, QvGDIPoint(0, 0), m_width, m_height);
    m_activeId = 0;
}

void QvViewManager::Clear()
{
    for (QvView* view : m_views)
        delete view;
    m_views.clear();
    m_activeId = -1;
}

void QvViewManager::SetActiveView(QvView* view)
{
    if (view != nullptr)
        m_activeId = view->GetID();
}

QvView* QvViewManager::GetActiveView() const { return GetView(m_activeId); }

QvView* QvViewManager::GetView(std::int32_t id) const
{
    for (QvView* view : m_views)
        if (view->GetID() == id)
            return view;
    return nullptr;
}

QvView* QvViewManager::GetViewAtPoint(const QvGDIPoint& p) const
{
    for (QvView* view : m_views)
        if (view->ContainsPoint(p))
            return view;
    return nullptr;
}

QvView* QvViewManager::FindViewByModelView(const double matrix[16]) const
{
    for (QvView* view : m_views)
    {
        const double* stored = view->GetModelViewMatrix();
        bool equal = true;
        for (int i = 0; i < 16 && equal; ++i)
            equal = IsZero(stored[i] - matrix[i]);
        if (equal)
            return view;
    }
    return nullptr;
}

void QvViewManager::ToOneCompView()
{
    if (m_views.size() < 2)
        return;
    QvView* main = GetView(0);
    if (main == nullptr)
        return;
    for (QvView* view : m_views)
        if (view != main)
            delete view;
    m_views.assign(1, main);
    main->SetRect(QvGDIPoint(0, 0), m_width, m_height);
    m_activeId = 0;
}

void QvViewManager::ToTwoCompView()
{
    if (m_views.size() >= 2)
        return;
    QvView* main = GetView(0);
    if (main == nullptr)
        return;
    const std::int32_t half = m_width / 2;
    QvView* compare = AddView(1, QvGDIPoint(0, 0), half, m_height);
    compare->CopyNavigation(*main);
    main->SetRect(QvGDIPoint(half, 0), half, m_height);
    m_activeId = 0;
}

void QvViewManager::PlaceBracketViews()
{
    // The thirds are cut from the exact product of the height and the constant, which
    // lies just below a whole number for heights divisible by three (600 gives 199 and
    // 399); a double product would round up to it. Extended precision keeps it below.
    const long double h = m_height;
    const std::int32_t d = static_cast<std::int32_t>(0.75 * m_width);
    const std::int32_t a = static_cast<std::int32_t>(0.25 * m_width);
    const std::int32_t b = static_cast<std::int32_t>(h * static_cast<long double>(0.3333333333333333));
    const std::int32_t top = static_cast<std::int32_t>(h * static_cast<long double>(0.6666666666666666));
    if (QvView* v = GetView(0))
        v->SetRect(QvGDIPoint(0, 0), d, m_height);
    if (QvView* v = GetView(1))
        v->SetRect(QvGDIPoint(d, top), a, b);
    if (QvView* v = GetView(2))
        v->SetRect(QvGDIPoint(d, b), a, b);
    if (QvView* v = GetView(3))
        v->SetRect(QvGDIPoint(d, 0), a, b);
}

bool QvViewManager::AddThreeViewsLikeMain()
{
    if (m_views.size() >= 2)
        return false;
    QvView* main = GetView(0);
    if (main == nullptr)
        return false;
    for (std::int32_t id = 1; id <= 3; ++id)
        AddView(id, QvGDIPoint(0, 0), 0, 0)->CopyNavigation(*main);
    return true;
}

void QvViewManager::ToBracketView()
{
    if (!AddThreeViewsLikeMain())
        return;
    PlaceBracketViews();
    m_activeId = 0;
    Renderer()->m_bBracketLayout = true;
}

void QvViewManager::ToFourView()
{
    if (!AddThreeViewsLikeMain())
        return;
    // The grid is not the bracket layout, whatever was shown before.
    Renderer()->m_bBracketLayout = false;
    m_activeId = 0;
    LayoutViews();
}

void QvViewManager::FitSingleView()
{
    if (m_views.size() > 1)
        return;
    if (QvView* main = GetView(0))
        main->SetRect(QvGDIPoint(0, 0), m_width, m_height);
}

void QvViewManager::LayoutViews()
{
    const std::int32_t halfW = m_width / 2;
    const std::int32_t halfH = m_height / 2;
    if (m_views.size() == 2)
    {
        if (QvView* v = GetView(1))
            v->SetRect(QvGDIPoint(0, 0), halfW, m_height);
        if (QvView* v = GetView(0))
            v->SetRect(QvGDIPoint(halfW, 0), halfW, m_height);
    }
    else if (m_views.size() == 4)
    {
        if (Renderer()->m_bBracketLayout)
        {
            PlaceBracketViews();
            return;
        }
        if (QvView* v = GetView(0))
            v->SetRect(QvGDIPoint(0, halfH), halfW, halfH);
        if (QvView* v = GetView(1))
            v->SetRect(QvGDIPoint(halfW + 1, halfH), halfW, halfH);
        if (QvView* v = GetView(2))
            v->SetRect(QvGDIPoint(0, 0), halfW, halfH);
        if (QvView* v = GetView(3))
            v->SetRect(QvGDIPoint(halfW + 1, 0), halfW, halfH);
    }
}

void QvViewManager::ScaleView(QvView* view, double factor)
{
    if (view == nullptr)
        return;
    view->GetTransform().m_scale *= factor;
    if ((m_linkFlags & kQvLinkScale) == 0)
        return;
    for (QvView* other : m_views)
        if (other != view)
            other->GetTransform().m_scale *= factor;
}

void QvViewManager::TranslateView(QvView* view, const QvVector& v)
{
    if (view == nullptr)
        return;
    view->GetTransform().m_translation += v;
    if ((m_linkFlags & kQvLinkTranslate) == 0)
        return;
    for (QvView* other : m_views)
        if (other != view)
            other->GetTransform().m_translation += v;
}

void QvViewManager::RotateView(QvView* view, const QvMatrix& r)
{
    const QvMatrix r3 = Rotation3(r);
    if (view == nullptr || r3.Rows() != 3)
        return;
    // (R x A) x (A^-1 x V) is R x V: each linked view turns by the same R and keeps its
    // orientation relative to the given one, without inverting A.
    if ((m_linkFlags & kQvLinkRotate) != 0)
        for (QvView* other : m_views)
            if (other != view)
                other->GetTransform().m_rotation = r3 * Rotation3(other->GetTransform().m_rotation);
    view->GetTransform().m_rotation = r3 * Rotation3(view->GetTransform().m_rotation);
}

void QvViewManager::SetViewOrient(QvView* view, const QvPoint& p, const QvVector& xAxis, const QvVector& yAxis)
{
    if (view == nullptr)
        return;
    QvOpenGLRender* render = Renderer();
    const QvPoint w = render->ProjectToWindow(view, p);
    QvFrame from(QvPoint(), xAxis, yAxis);
    from.Transform(Rotation3(view->GetTransform().m_rotation));
    const QvFrame to(QvPoint(), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    const QvTransform t = from.GetRigidTransformTo(to);
    RotateView(view, t.m_rotation);
    const QvPoint moved = render->UnProjectByViewTransform(view, w);
    TranslateView(view, moved - p);
}

void QvViewManager::ShowAllEntities()
{
    for (QvView* view : m_views)
        view->GetDrawInfo()->ShowAllEntities();
}

void QvViewManager::ResetDrawInfos()
{
    for (QvView* view : m_views)
        view->GetDrawInfo()->Reset();
}

void QvViewManager::SetGums(QvGum* upper, QvGum* lower)
{
    for (QvView* view : m_views)
        view->GetDrawInfo()->SetGums(upper, lower);
}

void QvViewManager::SetEntityMatrix(QvEntity* entity, const QvMatrix& matrix, bool ghost)
{
    for (QvView* view : m_views)
        view->GetDrawInfo()->SetEntityMatrix(entity, matrix, ghost);
}

bool QvViewManager::ClearEntityMatrices(QvEntity* entity)
{
    for (QvView* view : m_views)
        view->GetDrawInfo()->ClearEntityMatrices(entity);
    return true;
}

bool QvViewManager::ShowEntity(QvEntity* entity)
{
    if (entity == nullptr)
        return false;
    for (QvView* view : m_views)
        view->GetDrawInfo()->ShowEntity(entity);
    return true;
}

void QvViewManager::RemoveEntityMatrixInViews(QvEntity* entity, bool ghost, const std::vector<QvView*>& views)
{
    for (QvView* view : views)
        if (view != nullptr)
            view->GetDrawInfo()->RemoveEntityMatrix(entity, ghost);
}
