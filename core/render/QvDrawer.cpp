// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvDrawer.h"

#include <cstdlib>

#include "core/mesh/QvMesh.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"

void QvDrawer::CollectVerticesNearPoint(const std::vector<QvVertex>& vertices, const QvGDIPoint& point,
                                        std::vector<int>& out)
{
    // The views keep the matrices they were drawn with, so projecting needs no GL state.
    const QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    for (std::size_t i = 0; i < vertices.size(); ++i)
    {
        const QvGDIPoint w = render->ProjectInActiveView(vertices[i].m_point);
        if (std::abs(w.x - point.x) <= 9 && std::abs(w.y - point.y) <= 9)
            out.push_back(static_cast<int>(i));
    }
}
