// SPDX-License-Identifier: GPL-3.0-or-later
// The one translation unit that includes CGAL: it takes long to compile, so nothing else
// should include it.
#include "core/mesh/QvTriangleCommand.h"

#include <cmath>
#include <cstddef>
#include <exception>
#include <new>
#include <queue>

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Constrained_triangulation_face_base_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_data_structure_2.h>
#include <CGAL/Triangulation_face_base_with_info_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"

namespace {

struct VertexInfo
{
    // Index of the first input point at this position; -1 for a vertex the library made
    // itself, which only happens where two segments cross.
    int m_index = -1;
};

struct FaceInfo
{
    bool m_inDomain = true;
};

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using VertexBase = CGAL::Triangulation_vertex_base_with_info_2<VertexInfo, Kernel>;
using FaceBaseInfo = CGAL::Triangulation_face_base_with_info_2<FaceInfo, Kernel>;
using FaceBase = CGAL::Constrained_triangulation_face_base_2<Kernel, FaceBaseInfo>;
using Tds = CGAL::Triangulation_data_structure_2<VertexBase, FaceBase>;
// Exact predicates let crossing segments be detected instead of breaking the structure.
using Cdt = CGAL::Constrained_Delaunay_triangulation_2<Kernel, Tds, CGAL::Exact_predicates_tag>;
using CdtPoint = Cdt::Point;

// Marks every face reachable from start without crossing a segment as outside.
void CarveFrom(const Cdt& cdt, std::queue<Cdt::Face_handle>& pending)
{
    while (!pending.empty())
    {
        const Cdt::Face_handle face = pending.front();
        pending.pop();
        for (int i = 0; i < 3; ++i)
        {
            if (cdt.is_constrained(Cdt::Edge(face, i)))
                continue;
            const Cdt::Face_handle next = face->neighbor(i);
            if (next->info().m_inDomain)
            {
                next->info().m_inDomain = false;
                pending.push(next);
            }
        }
    }
}

// Whole worker: false leaves the outputs untouched for the caller to clear.
bool Triangulate(const std::vector<double>& inputPoints, const std::vector<std::int32_t>& segments,
                 const std::vector<double>& holePoints, std::vector<double>& outPoints,
                 std::vector<std::int32_t>& outTriangles)
{
    const std::size_t pointCount = inputPoints.size() / 2;
    const std::size_t segmentCount = segments.size() / 2;
    const std::size_t holeCount = holePoints.size() / 2;
    // Segments make a planar straight-line graph whose enclosed regions are kept;
    // without any, the convex hull is triangulated.
    const bool useSegments = segmentCount > 0;

    for (std::size_t i = 0; i < 2 * pointCount; ++i)
        if (!std::isfinite(inputPoints[i]))
            return false;
    for (std::size_t i = 0; i < 2 * segmentCount; ++i)
        if (segments[i] < 0 || static_cast<std::size_t>(segments[i]) >= pointCount)
            return false;

    Cdt cdt;
    std::vector<Cdt::Vertex_handle> handles(pointCount);
    Cdt::Face_handle hint;
    for (std::size_t i = 0; i < pointCount; ++i)
    {
        // Outlines arrive in order, so the previous point is a good place to start looking.
        const Cdt::Vertex_handle v = cdt.insert(CdtPoint(inputPoints[2 * i], inputPoints[2 * i + 1]), hint);
        if (v->info().m_index < 0)
            v->info().m_index = static_cast<int>(i);
        handles[i] = v;
        hint = v->face();
    }
    if (cdt.number_of_vertices() < 3 || cdt.dimension() < 2)
        return false;

    if (useSegments)
    {
        for (std::size_t s = 0; s < segmentCount; ++s)
        {
            const Cdt::Vertex_handle a = handles[static_cast<std::size_t>(segments[2 * s])];
            const Cdt::Vertex_handle b = handles[static_cast<std::size_t>(segments[2 * s + 1])];
            if (a != b) // a segment between coincident points has nothing to keep
                cdt.insert_constraint(a, b);
        }
        // A vertex the library had to add marks a crossing: the outline is not simple.
        for (const Cdt::Vertex_handle v : cdt.finite_vertex_handles())
            if (v->info().m_index < 0)
                return false;

        std::queue<Cdt::Face_handle> pending;
        Cdt::Face_circulator around = cdt.incident_faces(cdt.infinite_vertex());
        const Cdt::Face_circulator first = around;
        do
        {
            around->info().m_inDomain = false;
            pending.push(around);
        } while (++around != first);
        CarveFrom(cdt, pending);

        for (std::size_t h = 0; h < holeCount; ++h)
        {
            const double x = holePoints[2 * h];
            const double y = holePoints[2 * h + 1];
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            const Cdt::Face_handle face = cdt.locate(CdtPoint(x, y));
            if (face == Cdt::Face_handle() || cdt.is_infinite(face) || !face->info().m_inDomain)
                continue;
            face->info().m_inDomain = false;
            pending.push(face);
            CarveFrom(cdt, pending);
        }
    }

    std::vector<std::int32_t> triangles;
    triangles.reserve(3 * cdt.number_of_faces());
    for (const Cdt::Face_handle face : cdt.finite_face_handles())
    {
        if (!face->info().m_inDomain)
            continue;
        for (int k = 0; k < 3; ++k)
            triangles.push_back(face->vertex(k)->info().m_index);
    }
    if (triangles.empty())
        return false;

    outTriangles = std::move(triangles);
    outPoints.assign(inputPoints.begin(), inputPoints.begin() + static_cast<std::ptrdiff_t>(2 * pointCount));
    return true;
}

} // namespace

QvTriangleCommand::QvTriangleCommand() = default;

QvTriangleCommand::QvTriangleCommand(const std::vector<double>& points, const std::vector<std::int32_t>& segments)
    : m_inputPoints(points), m_segments(segments)
{
}

QvTriangleCommand::QvTriangleCommand(const std::vector<QvPoint>& points, Shape shape)
{
    std::vector<QvPoint> flat;
    static_cast<void>(FlattenPointsToPlane(points, flat));
    m_inputPoints.reserve(2 * flat.size());
    for (const QvPoint& p : flat)
    {
        m_inputPoints.push_back(p[0]);
        m_inputPoints.push_back(p[1]);
    }
    if (shape == Shape::Outline && !flat.empty())
    {
        const std::int32_t n = static_cast<std::int32_t>(flat.size());
        m_segments.reserve(2 * flat.size());
        for (std::int32_t i = 0; i < n; ++i)
        {
            m_segments.push_back(i);
            m_segments.push_back((i + 1) % n);
        }
    }
}

QvTriangleCommand::~QvTriangleCommand() = default;

bool QvTriangleCommand::Execute()
{
    m_outputPoints.clear();
    m_outputTriangles.clear();
    try
    {
        return Triangulate(m_inputPoints, m_segments, m_holePoints, m_outputPoints, m_outputTriangles);
    }
    catch (const std::bad_alloc&)
    {
        throw;
    }
    catch (const std::exception&)
    {
        // CGAL reports broken preconditions by exception; the input was unusable.
        m_outputPoints.clear();
        m_outputTriangles.clear();
        return false;
    }
}
