// SPDX-License-Identifier: GPL-3.0-or-later
// Minimum-cost hole filling: corners are cut cheapest first (small angle, little fold
// against the faces beside them), the cut faces are refined to the boundary's edge
// length and the new vertices faired with the hole's loop held.
//
// Failure contract: FillLoopMinCost answers false for no mesh, a vertex out of range, a
// front with no corner that can be cut (a corner whose triangle leaves the loop's
// outline in its best-fit plane is not cut), or a face the mesh refused; the mesh is
// then unchanged and the face set empty. FillLoopFaired answers false, with everything
// it added removed again, when the cutting, refinement or fairing fails or the patch
// crosses itself or the surface near it; its output set is then empty.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/QvHoleOutline.h"
#include "core/mesh/QvMeshCrossings.h"
#include "core/mesh/QvMeshRefineCommand.h"
#include "core/mesh/QvMeshSmoothCommand.h"

namespace {

constexpr double kForbidden = DBL_MAX;
constexpr double kClosingSideExists = 8.988465674311579e307;
constexpr double kOneFoldBack = 4.4942328371557893e307;
constexpr double kThreePi = 9.424777960770001;

// 0, pi or acos of the cosine, with the same snapping as the corner angle.
double SnappedAngle(double cosine)
{
    if (IsZero(cosine - 1.0))
        return 0.0;
    if (IsZero(cosine + 1.0))
        return kQvPi;
    return std::acos(std::clamp(cosine, -1.0, 1.0));
}

bool CutCheapestCorners(QvMesh* mesh, const std::vector<int>& loop, std::set<int>* faces, bool keepClear);

} // namespace

bool QvFillHoleCommand::FillLoopFaired(const std::vector<int>& loop, bool refine, int order, std::set<int>* newVertices)
{
    if (m_pMesh == nullptr)
        return false;
    QvMesh& mesh = *m_pMesh;
    const int firstFace = static_cast<int>(mesh.m_faces.size());
    const int firstVertex = static_cast<int>(mesh.m_vertices.size());
    std::set<int> faces;
    const bool cut = CutCheapestCorners(m_pMesh, loop, &faces, false);
    // A failed fill leaves the mesh as it found it, without the vertices it made.
    const auto fail = [&]() {
        TakeBack(firstFace, firstVertex);
        if (newVertices != nullptr)
            newVertices->clear();
        return false;
    };
    // An empty face set would make the refinement take the whole mesh.
    if (!cut || !refine || faces.empty())
    {
        if (!cut || !PatchCrosses(firstFace))
            return cut;
        // Without refinement the cut is the patch: it is cut once more, passing over every
        // corner whose triangle would cross the surface or the faces cut before it.
        TakeBack(firstFace, firstVertex);
        if (CutCheapestCorners(m_pMesh, loop, &faces, true) && !PatchCrosses(firstFace))
            return true;
        TakeBack(firstFace, firstVertex);
        return false;
    }

    QvMeshRefineCommand refinement(m_pMesh, faces, 0.0);
    if (!refinement.Execute())
        return fail();
    const std::set<int> created = refinement.GetNewVertices();
    if (newVertices != nullptr)
        *newVertices = created;
    // Nothing to fair when the refinement added no vertex: the patch is already final.
    if (order < 0 || order > 2 || created.empty())
    {
        if (PatchCrosses(firstFace))
            return fail();
        return true;
    }

    const std::set<int> held(loop.begin(), loop.end());
    QvMeshSmoothCommand smoothing(m_pMesh);
    bool faired = false;
    if (order == 0)
        faired = smoothing.FairLaplacian(created, held, 0);
    else if (order == 1)
        faired = smoothing.FairBiLaplacian(created, held, 1);
    else
        faired = smoothing.FairTriLaplacian(created, held, 2);
    // Fairing can bend a patch on a scan's uneven rim through itself or the surface
    // beside the hole.
    if (faired && !PatchCrosses(firstFace))
        return true;
    return fail();
}

namespace {

// The corner cutting of FillLoopMinCost. With keepClear a corner whose triangle would cross
// the surface near the hole or the faces cut so far is passed over for the next cheapest.
bool CutCheapestCorners(QvMesh* mesh, const std::vector<int>& loop, std::set<int>* faces, bool keepClear)
{
    if (mesh == nullptr)
        return false;
    if (loop.size() < 3)
        return true;
    const int vertexCount = static_cast<int>(mesh->m_vertices.size());
    for (const int v : loop)
        if (v < 0 || v >= vertexCount)
            return false;
    std::set<int> local;
    std::set<int>& added = faces != nullptr ? *faces : local;
    added.clear();

    const bool reversed = QvFillHoleCommand::IsEdgeReversed(mesh, loop[0], loop[1]);
    const int n = static_cast<int>(loop.size());
    // Loop positions still on the front, in loop order, with their neighbours there.
    std::vector<int> positions(n);
    std::vector<int> before(n);
    std::vector<int> after(n);
    for (int k = 0; k < n; ++k)
    {
        positions[k] = k;
        before[k] = (k + n - 1) % n;
        after[k] = (k + 1) % n;
    }

    const int firstFace = static_cast<int>(mesh->m_faces.size());
    const auto undo = [&]() {
        for (int f = static_cast<int>(mesh->m_faces.size()) - 1; f >= firstFace; --f)
            mesh->RemoveFace(f, false);
        added.clear();
        return false;
    };
    const QvHoleOutline outline(*mesh, loop);
    const std::vector<int> near = keepClear ? QvFacesNearVertices(*mesh, loop, firstFace) : std::vector<int>();
    // Cheapest first, the first in loop order on equal costs. A cut changes the costs of
    // the corners at or beside its three vertices only: it adds the one side between its
    // neighbours and gives its two sides their second face.
    std::vector<double> costs(n, kForbidden);
    std::set<std::pair<double, int>> ranked;
    const auto rank = [&](int k) {
        if (costs[k] < kForbidden)
            ranked.erase({costs[k], k});
        costs[k] = QvFillHoleCommand::CornerCost(mesh, loop[before[k]], loop[k], loop[after[k]]);
        if (mesh->m_vertices[loop[k]].m_edges.empty())
            costs[k] = kForbidden;
        if (costs[k] < kForbidden)
            ranked.emplace(costs[k], k);
        else
            costs[k] = kForbidden;
    };
    for (int k = 0; k < n; ++k)
        rank(k);
    std::vector<int> front;
    while (positions.size() >= 3)
    {
        front.clear();
        for (const int k : positions)
            front.push_back(loop[k]);
        int chosen = -1;
        const int face = static_cast<int>(mesh->m_faces.size());
        for (const auto& [cost, k] : ranked)
        {
            const int c = loop[k];
            const int p = loop[before[k]];
            const int nx = loop[after[k]];
            // A corner without area (a spike, coincident or collinear points) covers
            // nothing; any other must keep its triangle inside the outline.
            if (!(cost <= 0.0 || outline.IsFreeCorner(p, c, nx, front)))
                continue;
            const bool accepted = reversed ? mesh->AddFace(c, nx, p, 0) : mesh->AddFace(nx, c, p, 0);
            // A refused face would leave a gap in the patch: the hole is not closed.
            if (!accepted)
                return undo();
            if (keepClear && QvLastFaceCrosses(*mesh, near, firstFace))
            {
                mesh->RemoveFace(face, false);
                continue;
            }
            chosen = k;
            break;
        }
        if (chosen == -1)
            return undo();
        added.insert(face);
        positions.erase(std::find(positions.begin(), positions.end(), chosen));
        ranked.erase({costs[chosen], chosen});
        costs[chosen] = kForbidden;
        const int corners[3] = {loop[before[chosen]], loop[chosen], loop[after[chosen]]};
        after[before[chosen]] = after[chosen];
        before[after[chosen]] = before[chosen];
        const auto touched = [&corners](int v) { return v == corners[0] || v == corners[1] || v == corners[2]; };
        for (const int k : positions)
            if (touched(loop[before[k]]) || touched(loop[k]) || touched(loop[after[k]]))
                rank(k);
    }
    return true;
}

} // namespace

bool QvFillHoleCommand::FillLoopMinCost(QvMesh* mesh, const std::vector<int>& loop, std::set<int>* faces)
{
    return CutCheapestCorners(mesh, loop, faces, false);
}


double QvFillHoleCommand::CornerCost(const QvMesh* mesh, int previous, int current, int next)
{
    const int a = previous;
    const int c = current;
    const int b = next;
    if (a == b)
        return -2.0;
    if (mesh->FindEdge(a, b) != -1)
        return kClosingSideExists;
    const QvPoint& pa = mesh->m_vertices[a].m_point;
    const QvPoint& pb = mesh->m_vertices[b].m_point;
    const QvPoint& pc = mesh->m_vertices[c].m_point;
    const QvVector u = pa - pc;
    const QvVector v = pb - pc;
    if (u.SquaredLength() * v.SquaredLength() == 0.0)
        return -1.0;

    double angle = -1.0;
    const double x = u.Length() * v.Length();
    if (x != 0.0)
    {
        const double cosine = u.Dot(v) / x;
        if (IsZero(cosine - 1.0))
            return 0.0;
        if (IsZero(cosine + 1.0))
            return kThreePi;
        angle = std::acos(std::clamp(cosine, -1.0, 1.0));
        if (angle == kQvPi)
            return kThreePi;
        if (angle == 0.0)
            return 0.0;
    }

    const int e1 = mesh->FindEdge(a, c);
    const int e2 = mesh->FindEdge(c, b);
    if (e1 == -1 || e2 == -1)
        return kForbidden;
    const double f1 = FoldAngle(mesh, e1, pb);
    const double f2 = FoldAngle(mesh, e2, pa);
    const bool back1 = f1 == kQvPi;
    const bool back2 = f2 == kQvPi;
    if (back1 && back2)
        return kClosingSideExists;
    if (back1 || back2)
        return kOneFoldBack;
    return angle + f1 + f2;
}

double QvFillHoleCommand::FoldAngle(const QvMesh* mesh, int edge, const QvPoint& point)
{
    if (mesh == nullptr || edge < 0 || edge >= static_cast<int>(mesh->m_edges.size()))
        return kForbidden;
    const QvEdge& e = mesh->m_edges[edge];
    if (e.m_faces[1] != -1)
        return kForbidden;
    const int f = e.GetOtherFace(-1);
    if (f == -1)
        return kForbidden;
    const QvFace& face = mesh->m_faces[f];
    int x = e.m_vertices[0];
    int y = e.m_vertices[1];
    // Take the side in the direction its face runs. An edge keeps the direction of the
    // face that made it; once that face is removed, the face left may run the other
    // way, and the fold measured against the edge's own direction would be pi minus the
    // true one.
    for (int k = 0; k < 3; ++k)
        if (face.m_vertices[k] == y && face.m_vertices[(k + 1) % 3] == x)
        {
            std::swap(x, y);
            break;
        }
    const int w = face.GetThirdVertex(x, y);
    if (w == -1)
        return kForbidden;
    const QvPoint& px = mesh->m_vertices[x].m_point;
    const QvPoint& py = mesh->m_vertices[y].m_point;
    const QvPoint& pw = mesh->m_vertices[w].m_point;
    const QvVector n1 = (py - px).Cross(pw - py);
    const QvVector n2 = (px - py).Cross(point - px);
    const double t = n1.Length() * n2.Length();
    if (t == 0.0)
        return -1.0;
    return SnappedAngle(n1.Dot(n2) / t);
}
