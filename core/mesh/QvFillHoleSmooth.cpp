// SPDX-License-Identifier: GPL-3.0-or-later
// Smooth hole filling: a rough fill gives the hole's surroundings a closed disc to
// flatten; an interpolating surface over the flat piece lifts a freshly triangulated
// outline-and-grid patch back into space, stitched in along the hole's own loop.
//
// Failure contract of FillLoopSmooth: every failure leaves the mesh as it was (an empty
// loop, a vertex out of range, a perimeter above 40, a loop neither the front nor the
// planar fill can close roughly, a piece without exactly one boundary loop, a failed
// flattening, interpolant, patch or stitch, or a patch that crosses itself or the surface
// near the hole), so that the caller's next strategy finds the hole.
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/geometry/QvInterpolation.h"
#include "core/geometry/QvLine.h"
#include "core/mesh/QvFillHoleCommand.h"
#include "core/mesh/QvHolePatchBuilder.h"
#include "core/mesh/QvMeshParameterize.h"

namespace {

// Holes with a longer boundary are not smooth-filled.
constexpr double kMaxPerimeter = 40.0;
// Shape constant of the interpolating surface over the unit parameter square.
constexpr double kShape = 0.02;
// Grid size limits: the grid never falls below 10 x 10, and a degenerate outline
// (edges near zero against the piece) cannot ask for an unbounded one.
constexpr int kMinGrid = 10;
constexpr double kMaxGrid = 1000.0;

bool LoopIsValid(const QvMesh& mesh, const std::vector<int>& loop)
{
    const int count = static_cast<int>(mesh.m_vertices.size());
    for (const int v : loop)
        if (v < 0 || v >= count)
            return false;
    return true;
}

// A segment wholly above or below a ray at height y, by far more than the intersection
// test's tolerances, cannot meet it.
bool SpansHeight(const QvLineSeg& s, double y)
{
    const double margin = 1e-6 * (1.0 + s.Length());
    return !(std::min(s.m_start[1], s.m_end[1]) - margin > y || std::max(s.m_start[1], s.m_end[1]) + margin < y);
}

// The inside test of IsInsidePolygon over the segments that span the point's height, in
// their order in the outline.
bool InsideBySpanning(const QvPoint& point, const std::vector<const QvLineSeg*>& spanning, double farX)
{
    const QvLineSeg ray(QvPoint(farX, point[1], point[2]), point);
    int crossings = 0;
    for (const QvLineSeg* s : spanning)
    {
        QvPoint x;
        if (!s->Intersect(ray, x))
            continue;
        if (x == point || x.Distance(point) < 0.001)
            return false;
        ++crossings;
    }
    return crossings % 2 == 1;
}

} // namespace

bool QvFillHoleCommand::FillLoopSmooth(const std::vector<int>& loop, int tag)
{
    if (m_pMesh == nullptr || loop.empty() || !LoopIsValid(*m_pMesh, loop))
        return false;
    QvMesh& mesh = *m_pMesh;
    const int n = static_cast<int>(loop.size());
    double perimeter = 0.0;
    for (int i = 0; i < n; ++i)
        perimeter += mesh.m_vertices[loop[i]].m_point.Distance(mesh.m_vertices[loop[(i + 1) % n]].m_point);
    if (!(perimeter <= kMaxPerimeter))
        return false;

    const int firstFace = static_cast<int>(mesh.m_faces.size());
    const int firstVertex = static_cast<int>(mesh.m_vertices.size());
    int rough = FillLoop(loop, tag);
    // A triangle's rough fill is the result; a rough fill that had to be refused is not.
    if (n < 4)
        return n < 3 || rough > 0;
    // Where the front cannot close the loop without crossing, the planar fill's cap
    // gives the flattening its disc as well. That fill renews every face's normal, which
    // taking its faces back does not undo: a failure puts the old normals back.
    std::vector<QvVector> normals;
    if (rough == 0)
    {
        normals.reserve(mesh.m_faces.size());
        for (const QvFace& face : mesh.m_faces)
            normals.push_back(face.m_normal);
        if (FillLoopPlanar(loop, tag))
            rough = static_cast<int>(mesh.m_faces.size()) - firstFace;
    }
    struct NormalsBack
    {
        QvMesh& mesh;
        const std::vector<QvVector>& normals;
        bool kept = false;
        ~NormalsBack()
        {
            if (!kept)
                for (std::size_t f = 0; f < normals.size() && f < mesh.m_faces.size(); ++f)
                    mesh.m_faces[f].m_normal = normals[f];
        }
    } normalsBack{mesh, normals};
    // A failure after the rough fill takes it back: the hole is left as it was.
    const auto fail = [&]() {
        TakeBack(firstFace, firstVertex);
        m_pExtractedPatch.reset();
        return false;
    };

    std::vector<int> boundary;
    if (!ExtractPatch(loop, boundary, rough, 2))
        return fail();
    std::vector<std::vector<int>> loops;
    m_pExtractedPatch->GetBoundaryLoops(loops);
    if (loops.size() != 1)
        return fail();
    QvMeshParameterize parameterization(m_pExtractedPatch.get(), 0);
    if (!parameterization.Run())
        return fail();

    // The rough fill only gave the flattening a closed disc.
    RemoveLastFaces(rough);

    const int pieceCount = static_cast<int>(m_pExtractedPatch->m_vertices.size());
    std::vector<double> x;
    std::vector<double> y;
    std::vector<QvPoint> values;
    x.reserve(pieceCount);
    y.reserve(pieceCount);
    values.reserve(pieceCount);
    for (int i = 0; i < pieceCount; ++i)
    {
        double u = 0.0;
        double v = 0.0;
        parameterization.GetUV(i, u, v);
        x.push_back(u);
        y.push_back(v);
        values.push_back(m_pExtractedPatch->m_vertices[i].m_point);
    }
    QvMultiquadricInterpolator interpolant(values, x, y, kShape);
    if (!interpolant.Solve())
        return false;

    std::vector<QvPoint> points;
    std::vector<QvLineSeg> segments;
    SampleParameterDomain(parameterization, boundary, points, segments);
    for (const QvLineSeg& s : segments)
        points.push_back(s.m_start);
    QvHolePatchBuilder builder(points, segments);
    if (!builder.Run())
        return false;
    // Flat outline vertex i stands for loop vertex i only when every loop vertex kept a
    // segment of its own (two loop vertices at one parameter point leave one segment
    // less) and each segment start found its own vertex.
    const std::vector<int> outline = builder.GetBoundaryVertexIndices();
    builder.TakePatch(m_flatPatch);
    // A patch without faces would leave the hole open while reporting success.
    if (m_flatPatch.m_faces.empty() || static_cast<int>(outline.size()) != n ||
        static_cast<int>(std::set<int>(outline.begin(), outline.end()).size()) != n)
    {
        m_flatPatch.Clear();
        return false;
    }
    std::map<int, int> vertexMap;
    for (int i = 0; i < n; ++i)
        vertexMap.emplace(outline[i], loop[i]);

    bool stitched = StitchPatch(interpolant, vertexMap, tag);
    // The lifted patch may bend through the surface beside the hole.
    if (stitched && PatchCrosses(firstFace))
    {
        TakeBack(firstFace, firstVertex);
        stitched = false;
    }
    if (stitched)
    {
        std::vector<int> added;
        for (int f = firstFace; f < static_cast<int>(mesh.m_faces.size()); ++f)
            added.push_back(f);
        mesh.UpdateFaceNormals(added);
        mesh.OrientFaces(added);
        m_pExtractedPatch.reset();
        m_flatPatch.Clear();
        normalsBack.kept = true;
    }
    return stitched;
}

bool QvFillHoleCommand::ExtractPatch(const std::vector<int>& loop, std::vector<int>& boundaryIndices, int count,
                                     int mode)
{
    if (m_pMesh == nullptr || (loop.empty() && mode > 3) || !LoopIsValid(*m_pMesh, loop))
        return false;
    const QvMesh& mesh = *m_pMesh;
    const int faceCount = static_cast<int>(mesh.m_faces.size());

    std::set<int> faces;
    std::vector<int> around;
    if (mode == 1)
    {
        for (int f = faceCount - 1; f >= 0 && f >= faceCount - count; --f)
            faces.insert(f);
    }
    else if (mode == 2)
    {
        for (const int v : loop)
        {
            mesh.GetVertexFaces(v, around, false);
            faces.insert(around.begin(), around.end());
        }
    }
    else if (mode == 3)
    {
        std::set<int> ring;
        std::vector<int> neighbours;
        for (const int v : loop)
        {
            mesh.GetNeighborVertices(v, neighbours);
            ring.insert(neighbours.begin(), neighbours.end());
        }
        for (const int w : ring)
        {
            mesh.GetVertexFaces(w, around, false);
            if (!around.empty() && around.size() >= mesh.m_vertices[w].m_edges.size())
                faces.insert(around.begin(), around.end());
        }
    }

    std::vector<int> number(mesh.m_vertices.size(), -1);
    std::vector<int> order;
    for (const int f : faces)
        for (const int v : mesh.m_faces[f].m_vertices)
            if (number[v] == -1)
            {
                number[v] = static_cast<int>(order.size());
                order.push_back(v);
            }

    auto patch = std::make_unique<QvMesh>();
    patch->Reserve(static_cast<int>(order.size()), static_cast<int>(faces.size()), -1);
    for (const int v : order)
        patch->AddVertex(mesh.m_vertices[v].m_point);
    for (const int f : faces)
    {
        const std::int32_t* c = mesh.m_faces[f].m_vertices;
        static_cast<void>(patch->AddFace(number[c[0]], number[c[1]], number[c[2]], 0));
    }
    m_pExtractedPatch = std::move(patch);
    for (const int v : loop)
        if (number[v] != -1)
            boundaryIndices.push_back(number[v]);
    return true;
}

void QvFillHoleCommand::SampleParameterDomain(QvMeshParameterize& parameterization,
                                              const std::vector<int>& boundaryIndices, std::vector<QvPoint>& points,
                                              std::vector<QvLineSeg>& segments)
{
    const int k = static_cast<int>(boundaryIndices.size());
    if (k == 0 || !m_pExtractedPatch)
        return;
    double uMin = 10000.0;
    double vMin = 10000.0;
    double uMax = -10000.0;
    double vMax = -10000.0;
    std::vector<QvPoint> outline;
    outline.reserve(k);
    for (const int b : boundaryIndices)
    {
        double u = 0.0;
        double v = 0.0;
        parameterization.GetUV(b, u, v);
        outline.emplace_back(u, v, 0.0);
        uMin = std::min(uMin, u);
        uMax = std::max(uMax, u);
        vMin = std::min(vMin, v);
        vMax = std::max(vMax, v);
    }
    MakePolygonSegments(outline, segments);

    QvMesh& piece = *m_pExtractedPatch;
    piece.UpdateBBox();
    const double diagonal = piece.m_bbox.m_minPoint.Distance(piece.m_bbox.m_maxPoint);
    const int pieceCount = static_cast<int>(piece.m_vertices.size());
    double edgeSum = 0.0;
    for (int i = 0; i < k; ++i)
    {
        const int a = boundaryIndices[i];
        const int b = boundaryIndices[(i + 1) % k];
        if (a >= 0 && a < pieceCount && b >= 0 && b < pieceCount)
            edgeSum += piece.m_vertices[a].m_point.Distance(piece.m_vertices[b].m_point);
    }
    const double meanEdge = edgeSum / k;
    const double ratio = diagonal / meanEdge;
    int grid = kMinGrid;
    if (std::isfinite(ratio) && ratio > 0.0)
    {
        grid = static_cast<int>(static_cast<int>(std::min(ratio, 1.5 * kMaxGrid)) / 1.5);
        if (grid < 11)
            grid = kMinGrid;
    }

    const double du = (uMax - uMin) / grid;
    const double dv = (vMax - vMin) / grid;
    const double farX = uMin - 10000.0;
    // Every grid row shares its height: the sides spanning it are found once per row.
    std::vector<std::vector<const QvLineSeg*>> spanning(grid);
    for (int j = 0; j < grid; ++j)
        for (const QvLineSeg& s : segments)
            if (SpansHeight(s, vMin + j * dv))
                spanning[j].push_back(&s);
    std::vector<QvPoint> retained;
    for (int i = 0; i < grid; ++i)
        for (int j = 0; j < grid; ++j)
        {
            const QvPoint candidate(uMin + i * du, vMin + j * dv, 0.0);
            if (segments.size() >= 3 && InsideBySpanning(candidate, spanning[j], farX))
                retained.push_back(candidate);
        }

    const double tolerance = retained.size() < 3 ? 2.5e-4 : 0.25 * retained[0].Distance(retained[1]);
    // A point can only be that close to a side inside the side's box widened by the
    // tolerance (and the containment test's own); the other sides are not tested.
    struct Side
    {
        const QvLineSeg* segment;
        QvLine line;
        double lo[2];
        double hi[2];
    };
    std::vector<Side> sides;
    sides.reserve(segments.size());
    for (const QvLineSeg& s : segments)
    {
        QvVector direction = s.m_end - s.m_start;
        direction.Normalize();
        const double margin = tolerance + 1e-6 * (1.0 + s.Length());
        sides.push_back({&s,
                         QvLine(s.m_start, direction),
                         {std::min(s.m_start[0], s.m_end[0]) - margin, std::min(s.m_start[1], s.m_end[1]) - margin},
                         {std::max(s.m_start[0], s.m_end[0]) + margin, std::max(s.m_start[1], s.m_end[1]) + margin}});
    }
    for (const QvPoint& g : retained)
    {
        bool rejected = false;
        for (const Side& side : sides)
        {
            if (g[0] < side.lo[0] || g[0] > side.hi[0] || g[1] < side.lo[1] || g[1] > side.hi[1])
                continue;
            if (side.segment->Contains(side.line.ClosestPoint(g)) && side.line.Distance(g) < tolerance)
            {
                rejected = true;
                break;
            }
        }
        if (!rejected)
            points.push_back(g);
    }
}

void QvFillHoleCommand::MakePolygonSegments(const std::vector<QvPoint>& points, std::vector<QvLineSeg>& segments)
{
    const std::size_t k = points.size();
    for (std::size_t i = 0; i < k; ++i)
    {
        const QvPoint& a = points[i];
        const QvPoint& b = points[(i + 1) % k];
        if (!(a == b))
            segments.emplace_back(a, b);
    }
}

bool QvFillHoleCommand::IsInsidePolygon(const QvPoint& point, const std::vector<QvLineSeg>& segments, double farX)
{
    if (segments.size() < 3)
        return false;
    std::vector<const QvLineSeg*> spanning;
    for (const QvLineSeg& s : segments)
        if (SpansHeight(s, point[1]))
            spanning.push_back(&s);
    return InsideBySpanning(point, spanning, farX);
}

bool QvFillHoleCommand::StitchPatch(QvMultiquadricInterpolator& interpolant, const std::map<int, int>& vertexMap,
                                    int tag)
{
    if (m_pMesh == nullptr || m_flatPatch.IsEmpty())
        return false;
    QvMesh& mesh = *m_pMesh;
    const int firstVertex = static_cast<int>(mesh.m_vertices.size());
    const int flatCount = static_cast<int>(m_flatPatch.m_vertices.size());

    // A flat vertex that no face uses (a point the triangulation left aside) would
    // become a stray vertex of the mesh; only used ones are lifted.
    std::vector<char> used(flatCount, 0);
    for (const QvFace& f : m_flatPatch.m_faces)
        for (const int v : f.m_vertices)
            used[v] = 1;
    std::vector<int> target(flatCount, -1);
    for (int i = 0; i < flatCount; ++i)
    {
        const auto mapped = vertexMap.find(i);
        if (mapped != vertexMap.end())
        {
            target[i] = mapped->second;
            continue;
        }
        if (!used[i])
            continue;
        const QvPoint& p = m_flatPatch.m_vertices[i].m_point;
        target[i] = mesh.AddVertex(interpolant.Evaluate(p[0], p[1]));
    }

    const int firstFace = static_cast<int>(mesh.m_faces.size());
    const auto undo = [&]() {
        for (int f = static_cast<int>(mesh.m_faces.size()) - 1; f >= firstFace; --f)
            mesh.RemoveFace(f, false);
        for (int v = static_cast<int>(mesh.m_vertices.size()) - 1; v >= firstVertex; --v)
            mesh.RemoveIsolatedVertex(v);
    };
    const int vertexCount = static_cast<int>(mesh.m_vertices.size());
    for (const QvFace& f : m_flatPatch.m_faces)
    {
        const int corners[3] = {target[f.m_vertices[0]], target[f.m_vertices[1]], target[f.m_vertices[2]]};
        bool inRange = true;
        for (const int c : corners)
            inRange = inRange && c >= 0 && c < vertexCount;
        if (!inRange || !IsValidTriangle(corners) || !mesh.AddFace(corners, tag))
        {
            undo();
            return false;
        }
    }
    return true;
}
