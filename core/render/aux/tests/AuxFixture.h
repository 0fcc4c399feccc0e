// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the picking and auxiliary-object tests: a box drawer that also
// draws for selection, a frame of scene plus auxiliary objects, and a ray cast
// against placed meshes as the oracle of what lies under a pixel.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include "core/mesh/QvMesh.h"
#include "core/render/QvOpenGLSelect.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/tests/RenderFixture.h"

namespace aux_test
{
using namespace render_test;

inline std::tuple<int, int, int> Rgb(const QvColor& c) { return {c.m_r, c.m_g, c.m_b}; }

// Draws each non-ghost placement's box under the entity's id, as the mesh drawers do.
class SelectBoxDrawer : public BoxDrawer
{
public:
    void DrawSelect(QvEntity* entity, QvGDIPoint*, QvViewDrawInfo* info) override
    {
        glPushName(static_cast<GLuint>(entity->GetID()));
        const QvViewDrawInfo::MatrixMap& placements = info->GetEntityMatrices(entity);
        if (placements.empty())
            DrawBox(entity->m_bbox, false);
        for (const auto& [ghost, matrix] : placements)
        {
            if (ghost)
                continue;
            double m[16];
            matrix.ToGLMatrix(m);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glMultMatrixd(m);
            DrawBox(entity->m_bbox, false);
            glPopMatrix();
        }
        glPopName();
    }
};

class AuxFixture : public RenderFixture
{
protected:
    void StartAux(int width, int height)
    {
        StartGL(width, height);
        selectDrawer = new SelectBoxDrawer;
        QvDrawerMgr::Instance()->SetDrawer(kQvTypeEntityAnonymous, selectDrawer);
        drawer = selectDrawer;
        status = QvRenderStatus::Instance();
        aux = status->GetAuxRender();
        selector = status->GetSelector();
        selector->SetModel(&model);
    }

    void TearDown() override
    {
        if (aux != nullptr)
            aux->Clear();
        QvVBOHandleMgr::Instance()->Clear();
        RenderFixture::TearDown();
    }

    // What the 3-D view does each frame: the scene, then the auxiliary objects.
    rivela::testing::RgbaImage Frame()
    {
        EXPECT_TRUE(render->DrawScene());
        aux->Draw();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return gl->ReadColor();
    }

    SelectBoxDrawer* selectDrawer = nullptr;
    QvRenderStatus* status = nullptr;
    QvAuxRender* aux = nullptr;
    QvOpenGLSelect* selector = nullptr;
};

// A mesh's triangles at one placement, in world coordinates.
struct PlacedTriangles
{
    QvEntity* entity = nullptr;
    QvMatrix placement;
    std::vector<QvPoint> corners; // three per triangle
    QvPoint lo, hi;
};

inline PlacedTriangles PlaceTriangles(QvEntity* entity, const QvMesh& mesh, const QvMatrix& placement)
{
    PlacedTriangles out;
    out.entity = entity;
    out.placement = placement;
    out.lo = QvPoint(1e300, 1e300, 1e300);
    out.hi = QvPoint(-1e300, -1e300, -1e300);
    std::vector<QvPoint> placed;
    placed.reserve(mesh.m_vertices.size());
    for (const QvVertex& v : mesh.m_vertices)
    {
        placed.push_back(placement * v.m_point);
        for (int i = 0; i < 3; ++i)
        {
            out.lo[i] = std::min(out.lo[i], placed.back()[i]);
            out.hi[i] = std::max(out.hi[i], placed.back()[i]);
        }
    }
    for (const QvFace& f : mesh.m_faces)
        for (int v : f.m_vertices)
            out.corners.push_back(placed[static_cast<std::size_t>(v)]);
    return out;
}

// Distance along the ray to its first triangle (Moller-Trumbore), or infinity.
inline double RayHit(const QvLine& ray, const PlacedTriangles& mesh)
{
    double best = std::numeric_limits<double>::infinity();
    const QvPoint& o = ray.m_point;
    const QvVector& d = ray.m_direction;
    // Slab test against the placed box first.
    double t0 = -1e300, t1 = 1e300;
    for (int i = 0; i < 3; ++i)
    {
        if (std::fabs(d[i]) < 1e-15)
        {
            if (o[i] < mesh.lo[i] || o[i] > mesh.hi[i])
                return best;
            continue;
        }
        double a = (mesh.lo[i] - o[i]) / d[i], b = (mesh.hi[i] - o[i]) / d[i];
        if (a > b)
            std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    if (t0 > t1)
        return best;
    for (std::size_t k = 0; k + 2 < mesh.corners.size(); k += 3)
    {
        const QvVector e1 = mesh.corners[k + 1] - mesh.corners[k];
        const QvVector e2 = mesh.corners[k + 2] - mesh.corners[k];
        const QvVector p = d.Cross(e2);
        const double det = e1.Dot(p);
        if (std::fabs(det) < 1e-14)
            continue;
        const QvVector s = o - mesh.corners[k];
        const double u = s.Dot(p) / det;
        if (u < 0.0 || u > 1.0)
            continue;
        const QvVector q = s.Cross(e1);
        const double v = d.Dot(q) / det;
        if (v < 0.0 || u + v > 1.0)
            continue;
        const double t = e2.Dot(q) / det;
        if (t >= 0.0 && t < best)
            best = t;
    }
    return best;
}

// The entity of the first triangle the ray meets, or null.
inline QvEntity* FirstHit(const QvLine& ray, const std::vector<PlacedTriangles>& meshes)
{
    double best = std::numeric_limits<double>::infinity();
    QvEntity* hit = nullptr;
    for (const PlacedTriangles& mesh : meshes)
    {
        const double t = RayHit(ray, mesh);
        if (t < best)
        {
            best = t;
            hit = mesh.entity;
        }
    }
    return hit;
}

// What a pick under the box at p should find. Selection draws the entities whose box
// the ray under the cursor meets, records every triangle inside the 8 x 8 pick box and
// keeps the one of least depth: the entity of the nearest surface point under the box.
// Rays through every pixel corner of the box find it (null when they meet nothing).
// False when the two nearest entities lie within 0.05 units of each other there, too
// close to call between the samples.
inline bool NearestUnderPickBox(const QvOpenGLRender& render, const QvView* view, const QvGDIPoint& p,
                                const std::vector<PlacedTriangles>& placed, QvEntity*& out)
{
    const QvLine centre = render.GetPickRay(view, p);
    std::map<QvEntity*, double> nearest;
    for (int dy = -kQvPickBoxHalf; dy <= kQvPickBoxHalf; ++dy)
        for (int dx = -kQvPickBoxHalf; dx <= kQvPickBoxHalf; ++dx)
        {
            const QvLine ray = render.GetPickRay(view, QvGDIPoint(p.x + dx, p.y + dy));
            for (const PlacedTriangles& mesh : placed)
            {
                if (!mesh.entity->IsHitByLine(centre, mesh.placement))
                    continue;
                const double t = RayHit(ray, mesh);
                if (t < std::numeric_limits<double>::infinity())
                {
                    auto it = nearest.emplace(mesh.entity, t).first;
                    it->second = std::min(it->second, t);
                }
            }
        }
    out = nullptr;
    double best = std::numeric_limits<double>::infinity(), second = best;
    for (const auto& [entity, t] : nearest)
        if (t < best)
        {
            second = best;
            best = t;
            out = entity;
        }
        else if (t < second)
        {
            second = t;
        }
    return out == nullptr || second - best > 0.05;
}

} // namespace aux_test
