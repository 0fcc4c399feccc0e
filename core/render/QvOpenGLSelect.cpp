// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvOpenGLSelect.h"

#include <algorithm>
#include <cstdlib>
#include <set>

#include "core/base/QvEntity.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/render/QvDrawer.h"
#include "core/render/QvDrawerMgr.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"

namespace
{
QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

QvView* ActiveView() { return QvViewManager::Instance()->GetActiveView(); }

// The non-ghost placements the drawers draw the entity with: none when all are
// ghosts, one unplaced when it has none at all.
std::vector<QvMatrix> PlacementsOf(QvEntity* entity, const QvViewDrawInfo* info)
{
    std::vector<QvMatrix> out;
    const QvViewDrawInfo::MatrixMap* placements = info->FindEntityMatrices(entity);
    if (placements == nullptr || placements->empty())
    {
        out.push_back(Identity4());
        return out;
    }
    for (const auto& [ghost, matrix] : *placements)
        if (!ghost)
            out.push_back(matrix);
    return out;
}

// Each entity once, in first-seen order: a candidate hit under several placements
// visits every placement of its own each time, so repeats find nothing new.
std::vector<QvEntity*> Distinct(const std::vector<QvEntity*>& candidates)
{
    std::vector<QvEntity*> out;
    std::set<QvEntity*> seen;
    for (QvEntity* entity : candidates)
        if (seen.insert(entity).second)
            out.push_back(entity);
    return out;
}
} // namespace

QvObject* QvOpenGLSelect::Pick(const QvGDIPoint& pt)
{
    m_ptPick = pt;
    QvView* view = ActiveView();
    // Before a frame the view holds no real matrices; without a model there is nothing.
    if (m_pModel == nullptr || view == nullptr || !view->HasDrawMatrices())
        return nullptr;
    m_pickRay = QvRenderStatus::Instance()->GetRender()->GetPickRay(pt);

    std::vector<QvEntity*> candidates;
    CollectCandidates(candidates);
    const std::uint32_t mask = QvRenderStatus::Instance()->m_pickMask;
    if ((mask & kQvTypeVertex) != 0)
        return PickNearestVertex(candidates, pt);
    if ((mask & kQvTypeEdge) != 0)
        return PickNearestEdge(candidates, pt);
    return PickFromBuffer(candidates);
}

QvObject* QvOpenGLSelect::PickFromBuffer(const std::vector<QvEntity*>& candidates)
{
    GLuint buffer[kQvSelectBufferWords];
    glSelectBuffer(kQvSelectBufferWords, buffer);
    glRenderMode(GL_SELECT);
    SetupPickProjection();
    DrawSelect(candidates);
    const GLint records = glRenderMode(GL_RENDER);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(m_projMatrix);
    if (records <= 0)
        return nullptr;

    QvEntity* best = nullptr;
    GLuint bestDepth = 0xFFFFFFFFu;
    std::size_t at = 0;
    for (GLint r = 0; r < records && at + 3 <= kQvSelectBufferWords; ++r)
    {
        const GLuint names = buffer[at];
        const GLuint minDepth = buffer[at + 1];
        const std::size_t next = at + 3 + names;
        if (names > 0 && next <= kQvSelectBufferWords)
            if (QvEntity* entity = m_pModel->FindEntity(static_cast<int>(buffer[next - 1])))
                if (minDepth <= bestDepth) // the later record wins a tie
                {
                    best = entity;
                    bestDepth = minDepth;
                }
        at = next;
    }
    return best;
}

void QvOpenGLSelect::SetupPickProjection()
{
    glGetDoublev(GL_PROJECTION_MATRIX, m_projMatrix);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const QvView* view = ActiveView();
    if (view != nullptr)
    {
        // The box over the view's own projection: right for a perspective camera too,
        // and the window's y direction is taken into account.
        const QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
        const double glY = QvRenderStatus::Instance()->m_bWindowYUp ? m_ptPick.y : render->GetHeight() - m_ptPick.y;
        GLint viewport[4] = {view->GetOrigin().x, view->GetOrigin().y, view->GetWidth(), view->GetHeight()};
        gluPickMatrix(m_ptPick.x, glY, 2.0 * kQvPickBoxHalf, 2.0 * kQvPickBoxHalf, viewport);
        glMultMatrixd(view->GetProjectionMatrix());
    }
    glInitNames();
    glPushName(0);
}

void QvOpenGLSelect::CollectCandidates(std::vector<Candidate>& out)
{
    const QvView* view = ActiveView();
    if (m_pModel == nullptr || view == nullptr)
        return;
    const QvViewDrawInfo* info = view->GetDrawInfo();
    std::vector<QvEntity*> entities;
    m_pModel->GetAllEntities(entities);
    for (QvEntity* entity : entities)
    {
        if (entity == nullptr || (entity->m_state & 0x1001u) != 1u || info->IsEntityHidden(entity))
            continue;
        for (const QvMatrix& placement : PlacementsOf(entity, info))
            if (entity->IsHitByLine(m_pickRay, placement))
                out.push_back({entity, placement});
    }
}

void QvOpenGLSelect::CollectCandidates(std::vector<QvEntity*>& out)
{
    std::vector<Candidate> hits;
    CollectCandidates(hits);
    for (const Candidate& hit : hits)
        out.push_back(hit.entity);
}

void QvOpenGLSelect::DrawSelect(const std::vector<QvEntity*>& candidates)
{
    QvView* view = ActiveView();
    if (view == nullptr)
        return;
    for (QvEntity* entity : candidates)
        if (QvDrawer* drawer = QvDrawerMgr::Instance()->GetDrawer(entity->GetType()))
        {
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixd(view->GetModelViewMatrix());
            drawer->DrawSelect(entity, &m_ptPick, view->GetDrawInfo());
        }
}

QvVertex* QvOpenGLSelect::PickNearestVertex(const std::vector<QvEntity*>& candidates, const QvGDIPoint& pt)
{
    const QvView* view = ActiveView();
    if (view == nullptr)
        return nullptr;
    const QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    const QvPoint p = render->GetPointUnderCursor(pt);
    double best = 1e10;
    QvVertex* vertex = nullptr;
    QvMatrix bestPlacement = Identity4();
    for (QvEntity* entity : Distinct(candidates))
    {
        auto* mesh = dynamic_cast<QvMesh*>(entity);
        if (mesh == nullptr || !entity->IsKindOf(kQvTypeMesh))
            continue;
        for (const QvMatrix& placement : PlacementsOf(entity, view->GetDrawInfo()))
        {
            // The placed point's coordinates as the matrix product gives them.
            double m[16];
            placement.ToGLMatrix(m);
            for (QvVertex& v : mesh->m_vertices)
            {
                const QvPoint& a = v.m_point;
                const double x = m[0] * a[0] + m[4] * a[1] + m[8] * a[2] + m[12] - p[0];
                const double y = m[1] * a[0] + m[5] * a[1] + m[9] * a[2] + m[13] - p[1];
                const double z = m[2] * a[0] + m[6] * a[1] + m[10] * a[2] + m[14] - p[2];
                const double d = x * x + y * y + z * z;
                if (d < best)
                {
                    best = d;
                    vertex = &v;
                    bestPlacement = placement;
                }
            }
        }
    }
    if (vertex == nullptr)
        return nullptr;
    const QvGDIPoint w = render->ProjectInActiveView(bestPlacement * vertex->m_point);
    return std::abs(pt.x - w.x) + std::abs(pt.y - w.y) <= 10 ? vertex : nullptr;
}

QvEdge* QvOpenGLSelect::PickNearestEdge(const std::vector<QvEntity*>& candidates, const QvGDIPoint& pt)
{
    QvVertex* vertex = PickNearestVertex(candidates, pt);
    if (vertex == nullptr || m_pModel == nullptr)
        return nullptr;
    auto* mesh = dynamic_cast<QvMesh*>(m_pModel->FindMeshOfVertex(vertex));
    if (mesh == nullptr)
        return nullptr;
    const QvPoint p = QvRenderStatus::Instance()->GetRender()->GetPointUnderCursor(pt);
    const int index = static_cast<int>(vertex - mesh->m_vertices.data());
    std::vector<int> faces;
    mesh->GetVertexFaces(index, faces, false);
    std::set<int> edges;
    for (int f : faces)
    {
        if (f < 0 || static_cast<std::size_t>(f) >= mesh->m_faces.size())
            continue;
        int e[3];
        mesh->m_faces[static_cast<std::size_t>(f)].GetEdges(e[0], e[1], e[2]);
        for (int k : e)
            if (k >= 0 && static_cast<std::size_t>(k) < mesh->m_edges.size())
                edges.insert(k);
    }
    double best = 1e10;
    QvEdge* kept = nullptr;
    for (int e : edges)
    {
        QvEdge& edge = mesh->m_edges[static_cast<std::size_t>(e)];
        const double d = DistanceToEdge(*mesh, edge, p);
        if (d <= best)
        {
            best = d;
            kept = &edge;
        }
    }
    return kept;
}

double QvOpenGLSelect::DistanceToEdge(const QvMesh& mesh, const QvEdge& edge, const QvPoint& p)
{
    const std::size_t count = mesh.m_vertices.size();
    const int ia = edge.m_vertices[0], ib = edge.m_vertices[1];
    if (ia < 0 || ib < 0 || static_cast<std::size_t>(ia) >= count || static_cast<std::size_t>(ib) >= count)
        return 1e10;
    const QvPoint& a = mesh.m_vertices[static_cast<std::size_t>(ia)].m_point;
    const QvPoint& b = mesh.m_vertices[static_cast<std::size_t>(ib)].m_point;
    const QvPoint f = QvLine(a, a - b).ClosestPoint(p);
    if (f == a || f == b || (f - a).Dot(f - b) >= 0.0)
        return std::min(p.Distance(a), p.Distance(b));
    return p.Distance(f);
}
