// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvMeshCrossings.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Intersections_3/Segment_3_Triangle_3.h>
#include <CGAL/Intersections_3/Triangle_3_Triangle_3.h>

#include <algorithm>
#include <cstdint>

#include "core/mesh/QvMesh.h"

namespace {

// Exact predicates on the doubles as stored: a pair is judged exactly as CGAL's
// self-intersection test judges it, so a patch is never refused for a rounding error
// and never kept for one.
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_3;
using Triangle = Kernel::Triangle_3;
using Segment = Kernel::Segment_3;

Point ToPoint(const QvPoint& p) { return Point(p[0], p[1], p[2]); }

Point CornerOf(const QvMesh& mesh, int f, int k) { return ToPoint(mesh.m_vertices[mesh.m_faces[f].m_vertices[k]].m_point); }

bool Collinear(const QvMesh& mesh, int f)
{
    return CGAL::collinear(CornerOf(mesh, f, 0), CornerOf(mesh, f, 1), CornerOf(mesh, f, 2));
}

// Two faces of the mesh with corners shared by index: a shared side crosses only when
// both faces lie flat on the same side of it; a shared corner when the side facing it
// in one face meets the other face; otherwise when the triangles meet at all.
bool FacesCross(const QvMesh& mesh, int f, int g)
{
    const std::int32_t* a = mesh.m_faces[f].m_vertices;
    const std::int32_t* b = mesh.m_faces[g].m_vertices;
    int inB[3] = {-1, -1, -1};
    int shared = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (a[i] == b[j])
            {
                inB[i] = j;
                ++shared;
            }
    if (shared == 3)
        return true;
    const Triangle ta(CornerOf(mesh, f, 0), CornerOf(mesh, f, 1), CornerOf(mesh, f, 2));
    const Triangle tb(CornerOf(mesh, g, 0), CornerOf(mesh, g, 1), CornerOf(mesh, g, 2));
    if (shared == 0)
        return CGAL::do_intersect(ta, tb);
    if (shared == 1)
    {
        int i = 0;
        while (inB[i] == -1)
            ++i;
        const int j = inB[i];
        const Segment sa(ta[(i + 1) % 3], ta[(i + 2) % 3]);
        const Segment sb(tb[(j + 1) % 3], tb[(j + 2) % 3]);
        return CGAL::do_intersect(ta, sb) || CGAL::do_intersect(tb, sa);
    }
    int apexA = 0;
    while (inB[apexA] != -1)
        ++apexA;
    int apexB = 0;
    while (b[apexB] == a[(apexA + 1) % 3] || b[apexB] == a[(apexA + 2) % 3])
        ++apexB;
    const Point& v = ta[(apexA + 1) % 3];
    const Point& w = ta[(apexA + 2) % 3];
    return CGAL::coplanar(v, w, ta[apexA], tb[apexB]) &&
           CGAL::coplanar_orientation(v, w, ta[apexA], tb[apexB]) == CGAL::POSITIVE;
}

struct Box
{
    double lo[3];
    double hi[3];
    int face;
    bool listed; // in `faces` (else only in `others`)
};

} // namespace

bool QvFacesCross(const QvMesh& mesh, const std::vector<int>& faces, const std::vector<int>& others)
{
    const int count = static_cast<int>(mesh.m_faces.size());
    std::vector<char> taken(static_cast<std::size_t>(count), 0);
    std::vector<Box> boxes;
    bool degenerate = false;
    const auto add = [&](int f, bool isListed) {
        if (f < 0 || f >= count || taken[f])
            return;
        taken[f] = 1;
        // A face without area has no sides to cross from: one of ours is a fault in
        // itself, one around the patch is left alone.
        if (Collinear(mesh, f))
        {
            degenerate = degenerate || isListed;
            return;
        }
        Box box{};
        box.face = f;
        box.listed = isListed;
        for (int k = 0; k < 3; ++k)
        {
            box.lo[k] = 1e300;
            box.hi[k] = -1e300;
            for (const int v : mesh.m_faces[f].m_vertices)
            {
                box.lo[k] = std::min(box.lo[k], mesh.m_vertices[v].m_point[k]);
                box.hi[k] = std::max(box.hi[k], mesh.m_vertices[v].m_point[k]);
            }
        }
        boxes.push_back(box);
    };
    for (const int f : faces)
        add(f, true);
    if (degenerate)
        return true;
    for (const int f : others)
        add(f, false);
    // Sweep along x: each box meets only the boxes that start before it ends.
    std::sort(boxes.begin(), boxes.end(), [](const Box& x, const Box& y) { return x.lo[0] < y.lo[0]; });
    for (std::size_t i = 0; i < boxes.size(); ++i)
    {
        const Box& x = boxes[i];
        for (std::size_t j = i + 1; j < boxes.size() && boxes[j].lo[0] <= x.hi[0]; ++j)
        {
            const Box& y = boxes[j];
            if (!x.listed && !y.listed)
                continue;
            if (y.lo[1] > x.hi[1] || x.lo[1] > y.hi[1] || y.lo[2] > x.hi[2] || x.lo[2] > y.hi[2])
                continue;
            if (FacesCross(mesh, x.face, y.face))
                return true;
        }
    }
    return false;
}

namespace {

bool FaceMeetsBox(const QvMesh& mesh, int f, const double lo[3], const double hi[3])
{
    const std::int32_t* c = mesh.m_faces[f].m_vertices;
    for (int k = 0; k < 3; ++k)
    {
        const double x = mesh.m_vertices[c[0]].m_point[k];
        const double y = mesh.m_vertices[c[1]].m_point[k];
        const double z = mesh.m_vertices[c[2]].m_point[k];
        if (std::max({x, y, z}) < lo[k] || std::min({x, y, z}) > hi[k])
            return false;
    }
    return true;
}

std::vector<int> FacesMeetingBox(const QvMesh& mesh, const double lo[3], const double hi[3], int below)
{
    const int count = static_cast<int>(mesh.m_faces.size());
    std::vector<int> near;
    for (int f = 0; f < std::min(below, count); ++f)
        if (FaceMeetsBox(mesh, f, lo, hi))
            near.push_back(f);
    return near;
}

void GrowBox(const QvPoint& p, double lo[3], double hi[3])
{
    for (int k = 0; k < 3; ++k)
    {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
    }
}

} // namespace

std::vector<int> QvFacesInBox(const QvMesh& mesh, const std::vector<int>& faces, int below)
{
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    const int count = static_cast<int>(mesh.m_faces.size());
    for (const int f : faces)
        if (f >= 0 && f < count)
            for (const int v : mesh.m_faces[f].m_vertices)
                GrowBox(mesh.m_vertices[v].m_point, lo, hi);
    return FacesMeetingBox(mesh, lo, hi, below);
}

std::vector<int> QvFacesNearVertices(const QvMesh& mesh, const std::vector<int>& vertices, int below)
{
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    const int count = static_cast<int>(mesh.m_vertices.size());
    for (const int v : vertices)
        if (v >= 0 && v < count)
            GrowBox(mesh.m_vertices[v].m_point, lo, hi);
    return FacesMeetingBox(mesh, lo, hi, below);
}

bool QvLastFaceCrosses(const QvMesh& mesh, const std::vector<int>& near, int firstFace)
{
    const int last = static_cast<int>(mesh.m_faces.size()) - 1;
    if (last < 0)
        return false;
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    for (const int v : mesh.m_faces[last].m_vertices)
        GrowBox(mesh.m_vertices[v].m_point, lo, hi);
    const auto meets = [&](int f) { return FaceMeetsBox(mesh, f, lo, hi); };
    std::vector<int> others;
    for (const int f : near)
        if (f >= 0 && f < last && meets(f))
            others.push_back(f);
    for (int f = std::max(firstFace, 0); f < last; ++f)
        if (meets(f))
            others.push_back(f);
    return QvFacesCross(mesh, {last}, others);
}

bool QvPatchCrosses(const QvMesh& mesh, int firstFace)
{
    const int count = static_cast<int>(mesh.m_faces.size());
    if (firstFace < 0 || firstFace >= count)
        return false;
    std::vector<int> patch;
    for (int f = firstFace; f < count; ++f)
        patch.push_back(f);
    return QvFacesCross(mesh, patch, QvFacesInBox(mesh, patch, firstFace));
}
