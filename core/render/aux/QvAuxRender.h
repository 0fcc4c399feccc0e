// SPDX-License-Identifier: GPL-3.0-or-later
// The registered auxiliary objects: drawn in every view after the scene, and
// searched for the one under the mouse. Objects are ordered by hit priority, then
// registration (not address: overlapping objects must not draw in an order that
// depends on the heap); textures are kept apart in the order they were registered
// and are found only when no other object is hit.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "core/geometry/QvGDI.h"

class QvAuxObject;
class QvCacheStuff;
class QvView;

class QvAuxRender
{
public:
    struct Order
    {
        bool operator()(const QvAuxObject* a, const QvAuxObject* b) const;
    };

    QvAuxRender() = default;
    QvAuxRender(const QvAuxRender&) = delete;
    QvAuxRender& operator=(const QvAuxRender&) = delete;
    // Clear.
    ~QvAuxRender();

    // Updates the object's box and registers it once; the render deletes it only in Clear.
    void AddObject(QvAuxObject* obj);
    // Nothing happens for an object that is not registered (it is not deleted).
    void RemoveObject(QvAuxObject* obj, bool deleteIt);
    // Deletes every registered object and the per-view overlay caches; no hovered
    // object afterwards. Needs the GL context current (textures are deleted).
    void Clear();
    // The overlay cache of a view id, made empty on first use.
    QvCacheStuff* GetViewCache(int viewId);

    // Every registered object in every view, each with its view's stored matrices.
    void Draw();
    // The object under the window point, remembered as the hovered one; null for none.
    QvAuxObject* HitTest(const QvGDIPoint& pt);

    // Objects that need not be registered, with no view binding or hidden sets.
    void DrawObject(QvView* view, QvAuxObject* obj);
    void DrawObjects(QvView* view, const std::vector<QvAuxObject*>& objs);
    void DrawObjectInActiveView(QvAuxObject* obj);

    void ToggleHoveredSelection();

    QvAuxObject* GetHoverObject() const { return m_pHoverObject; }
    const std::set<QvAuxObject*, Order>& GetObjects() const { return m_objectSet; }
    const std::vector<QvAuxObject*>& GetTextures() const { return m_textureList; }

    std::set<QvAuxObject*, Order> m_objectSet;
    std::vector<QvAuxObject*> m_textureList;
    QvAuxObject* m_pHoverObject = nullptr;
    std::map<int, QvCacheStuff*> m_viewCaches;

private:
    std::uint64_t m_nextOrder = 0;
};
