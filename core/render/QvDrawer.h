// SPDX-License-Identifier: GPL-3.0-or-later
// A drawer puts one kind of scene entity on the screen and offers it to selection
// picking. Drawers hold no state: all they need comes from the entity, the view's
// draw information and the render status.
#pragma once

#include <vector>

#include "core/geometry/QvGDI.h"

class QvVertex;

class QvEntity;
class QvViewDrawInfo;

class QvDrawer
{
public:
    QvDrawer() = default;
    QvDrawer(const QvDrawer&) = delete;
    QvDrawer& operator=(const QvDrawer&) = delete;
    virtual ~QvDrawer() = default;

    // Called with the view's model-view set up and depth and stencil tests on.
    virtual void Draw(QvEntity* entity, QvViewDrawInfo* drawInfo) = 0;
    // Called inside GL_SELECT mode; pushes names only for what is pickable.
    virtual void DrawSelect(QvEntity* entity, QvGDIPoint* pickPoint, QvViewDrawInfo* drawInfo) = 0;

    // Appends the index of every vertex whose window position in the active view lies
    // within 9 pixels of the point on both axes.
    static void CollectVerticesNearPoint(const std::vector<QvVertex>& vertices, const QvGDIPoint& point,
                                         std::vector<int>& out);
};
