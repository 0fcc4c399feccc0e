// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxRender.h"

#include <algorithm>
#include <functional>

#include "core/render/QvGL.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxObject.h"
#include "core/render/aux/QvCacheStuff.h"

namespace
{
// The view's viewport and both of its stored matrices; every view keeps its own
// projection, so none borrows the one the last drawn view left in GL.
void EnterView(const QvView* view)
{
    glPushAttrib(GL_VIEWPORT_BIT | GL_TRANSFORM_BIT);
    glViewport(view->GetOrigin().x, view->GetOrigin().y, view->GetWidth(), view->GetHeight());
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadMatrixd(view->GetProjectionMatrix());
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixd(view->GetModelViewMatrix());
}

void LeaveView()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

bool ShownIn(const QvAuxObject* obj, const QvView* view)
{
    return (obj->m_pAssView == nullptr || obj->m_pAssView == view) &&
           !view->GetDrawInfo()->IsAllHidden(obj->m_pRelEntites);
}
} // namespace

bool QvAuxRender::Order::operator()(const QvAuxObject* a, const QvAuxObject* b) const
{
    if (a->m_hitPriority != b->m_hitPriority)
        return a->m_hitPriority < b->m_hitPriority;
    if (a->m_registerOrder != b->m_registerOrder)
        return a->m_registerOrder < b->m_registerOrder;
    return std::less<const QvAuxObject*>()(a, b);
}

QvAuxRender::~QvAuxRender() { Clear(); }

void QvAuxRender::AddObject(QvAuxObject* obj)
{
    if (obj == nullptr)
        return;
    obj->UpdateBBox();
    if (obj->IsKindOf(kQvTypeAuxTexture))
    {
        // One entry each, so that a deleting RemoveObject leaves none dangling.
        if (std::find(m_textureList.begin(), m_textureList.end(), obj) == m_textureList.end())
            m_textureList.push_back(obj);
    }
    else if (m_objectSet.count(obj) == 0)
    {
        // The key changes only while the object is out of the set.
        obj->m_registerOrder = ++m_nextOrder;
        m_objectSet.insert(obj);
    }
}

void QvAuxRender::RemoveObject(QvAuxObject* obj, bool deleteIt)
{
    if (obj == nullptr)
        return;
    bool registered = false;
    if (obj->IsKindOf(kQvTypeAuxTexture))
    {
        const auto it = std::find(m_textureList.begin(), m_textureList.end(), obj);
        registered = it != m_textureList.end();
        if (registered)
            m_textureList.erase(it);
    }
    else
    {
        registered = m_objectSet.erase(obj) != 0;
    }
    if (!registered)
        return;
    if (m_pHoverObject == obj)
        m_pHoverObject = nullptr;
    if (deleteIt)
        delete obj;
}

void QvAuxRender::Clear()
{
    // Emptied before deleting, so a destructor that looks back finds nothing stale.
    const std::vector<QvAuxObject*> objects(m_objectSet.begin(), m_objectSet.end());
    const std::vector<QvAuxObject*> textures = std::move(m_textureList);
    m_objectSet.clear();
    m_textureList.clear();
    m_pHoverObject = nullptr;
    for (QvAuxObject* obj : objects)
        delete obj;
    for (QvAuxObject* obj : textures)
        delete obj;
    // Their overlay objects were registered and are gone with the rest.
    for (auto& [id, cache] : m_viewCaches)
        delete cache;
    m_viewCaches.clear();
}

QvCacheStuff* QvAuxRender::GetViewCache(int viewId)
{
    QvCacheStuff*& cache = m_viewCaches[viewId];
    if (cache == nullptr)
        cache = new QvCacheStuff();
    return cache;
}

void QvAuxRender::Draw()
{
    for (QvView* view : QvViewManager::Instance()->GetViews())
    {
        EnterView(view);
        for (QvAuxObject* obj : m_textureList)
            if (ShownIn(obj, view))
                obj->Draw(view);
        for (auto it = m_objectSet.rbegin(); it != m_objectSet.rend(); ++it)
            if (ShownIn(*it, view))
                (*it)->Draw(view);
        if (m_pHoverObject != nullptr && !view->GetDrawInfo()->IsAllHidden(m_pHoverObject->m_pRelEntites))
            m_pHoverObject->DrawHover(view);
        LeaveView();
    }
}

QvAuxObject* QvAuxRender::HitTest(const QvGDIPoint& pt)
{
    m_pHoverObject = nullptr;
    for (QvAuxObject* obj : m_objectSet)
    {
        if (!obj->IsShown() || !obj->m_bHitable)
            continue;
        if (obj->HitTest(pt.x, pt.y))
        {
            m_pHoverObject = obj;
            if (obj->IsExclusiveHit())
                break;
        }
    }
    if (m_pHoverObject != nullptr)
        return m_pHoverObject;
    for (auto it = m_textureList.rbegin(); it != m_textureList.rend(); ++it)
        if ((*it)->HitTest(pt.x, pt.y))
            return m_pHoverObject = *it;
    return nullptr;
}

void QvAuxRender::DrawObject(QvView* view, QvAuxObject* obj) { DrawObjects(view, {obj}); }

void QvAuxRender::DrawObjects(QvView* view, const std::vector<QvAuxObject*>& objs)
{
    if (view == nullptr)
        return;
    EnterView(view);
    for (QvAuxObject* obj : objs)
        if (obj != nullptr)
            obj->Draw(view);
    LeaveView();
}

void QvAuxRender::DrawObjectInActiveView(QvAuxObject* obj)
{
    DrawObject(QvViewManager::Instance()->GetActiveView(), obj);
}

void QvAuxRender::ToggleHoveredSelection()
{
    if (m_pHoverObject != nullptr)
        m_pHoverObject->SetSelected(!m_pHoverObject->IsSelectedState());
}
