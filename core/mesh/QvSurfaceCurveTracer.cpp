// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvSurfaceCurveTracer.h"

#include <algorithm>
#include <cmath>

#include "core/geometry/QvBSplineCurve.h"
#include "core/mesh/QvMesh.h"
#include "core/mesh/QvParameterizeMgr.h"

namespace {

// Parameter resolution of every bisection of the walk.
constexpr double kStep = 1e-6;

bool IsVertexOf(const QvMesh& mesh, std::int32_t v)
{
    return v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size();
}

bool IsFaceOf(const QvMesh& mesh, std::int32_t f)
{
    return f >= 0 && static_cast<std::size_t>(f) < mesh.m_faces.size();
}

// Left-out vertices of a local flattening sit at (-1, -1, -1); flat ones have z = 0.
bool IsLeftOut(const QvPoint& p)
{
    return p[2] < -0.5;
}

// Twice the signed area of the face in the flat XY plane.
double FlatArea(const QvMesh& flat, const QvFace& face)
{
    const QvPoint& r = flat.m_vertices[static_cast<std::size_t>(face.m_vertices[0])].m_point;
    const QvPoint& s = flat.m_vertices[static_cast<std::size_t>(face.m_vertices[1])].m_point;
    const QvPoint& t = flat.m_vertices[static_cast<std::size_t>(face.m_vertices[2])].m_point;
    return (s[0] - r[0]) * (t[1] - r[1]) - (s[1] - r[1]) * (t[0] - r[0]);
}

// The winding of the flattened patch: the sign of its total signed area. A face that winds
// the other way lies folded over the patch (or outside it) and is not walked into.
int PatchWinding(const QvMesh& flat)
{
    double total = 0.0;
    for (const QvFace& face : flat.m_faces)
    {
        bool inside = true;
        for (const int v : face.m_vertices)
            inside = inside && !IsLeftOut(flat.m_vertices[static_cast<std::size_t>(v)].m_point);
        if (inside)
            total += FlatArea(flat, face);
    }
    return total > 0.0 ? 1 : (total < 0.0 ? -1 : 0);
}

QvSurfacePoint VertexSample(const QvMesh& flat, std::int32_t v)
{
    QvSurfacePoint sample;
    sample.m_point = flat.m_vertices[static_cast<std::size_t>(v)].m_point;
    sample.m_element = v;
    sample.m_kind = kQvSurfaceOnVertex;
    return sample;
}

QvSurfacePoint EdgeSample(const QvPoint& point, std::int32_t edge)
{
    QvSurfacePoint sample;
    sample.m_point = point;
    sample.m_element = edge;
    sample.m_kind = kQvSurfaceOnEdge;
    return sample;
}

QvPoint Weighted(const QvMesh& mesh, std::int32_t v, double w)
{
    const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
    return QvPoint(p[0] * w, p[1] * w, p[2] * w);
}

} // namespace

QvSurfaceCurveTracer::QvSurfaceCurveTracer(QvMesh* mesh, const std::vector<std::int32_t>& chain)
    : m_pMesh(mesh), m_chain(chain)
{
}

QvSurfaceCurveTracer::~QvSurfaceCurveTracer() = default;

bool QvSurfaceCurveTracer::Run(bool closed)
{
    if (!m_pMesh || m_chain.size() < 2)
        return false;
    for (const std::int32_t v : m_chain)
        if (!IsVertexOf(*m_pMesh, v))
            return false;

    QvParameterizeMgr* cache = QvParameterizeMgr::Instance();
    const QvMesh* flat = cache->FindFlatMesh(m_pMesh);
    if (!flat)
    {
        cache->AddMesh(m_pMesh);
        flat = cache->FindFlatMesh(m_pMesh);
    }
    // A copy whose numbering no longer matches the mesh cannot be walked.
    if (!flat || flat->m_vertices.size() != m_pMesh->m_vertices.size())
        return false;

    std::vector<QvPoint> flatChain;
    flatChain.reserve(m_chain.size());
    for (const std::int32_t v : m_chain)
        flatChain.push_back(flat->m_vertices[static_cast<std::size_t>(v)].m_point);
    std::unique_ptr<QvBSplineCurve> flatCurve(QvBSplineCurve::Interpolate(flatChain, closed));
    if (!flatCurve)
        return false;

    std::vector<QvSurfacePoint> traced;
    TraceSamples(flat, m_chain, flatCurve.get(), traced, closed);
    flatCurve.reset();

    for (QvSurfacePoint& sample : traced)
        (void)ComputeWeights(sample);
    traced.erase(std::remove_if(traced.begin(), traced.end(),
                                [](const QvSurfacePoint& s) { return s.m_kind == kQvSurfaceNone; }),
                 traced.end());

    const double meanEdge = cache->GetMeanEdgeLength(m_pMesh);
    m_anchorIndices.clear();
    m_samples.clear();
    std::vector<QvPoint> fitting;
    QvPoint lastKept(0.0, 0.0, 0.0);
    const QvMesh& mesh = *m_pMesh;
    for (QvSurfacePoint sample : traced)
    {
        switch (sample.m_kind)
        {
        case kQvSurfaceInFace:
            sample.m_point = Weighted(mesh, sample.m_vertex1, sample.m_weight1) +
                             (Weighted(mesh, sample.m_vertex2, sample.m_weight2) - QvPoint()) +
                             (Weighted(mesh, sample.m_vertex3, sample.m_weight3) - QvPoint());
            fitting.push_back(sample.m_point);
            m_samples.push_back(sample);
            break;
        case kQvSurfaceOnEdge:
            sample.m_point = Weighted(mesh, sample.m_vertex1, sample.m_weight1) +
                             (Weighted(mesh, sample.m_vertex2, sample.m_weight2) - QvPoint());
            m_samples.push_back(sample);
            // Crossings closer together than an edge would only make the fit wiggle.
            if (sample.m_point.Distance(lastKept) > meanEdge)
            {
                fitting.push_back(sample.m_point);
                lastKept = sample.m_point;
            }
            break;
        case kQvSurfaceOnVertex:
            m_anchorIndices.push_back(static_cast<std::int32_t>(fitting.size()));
            sample.m_point = mesh.m_vertices[static_cast<std::size_t>(sample.m_element)].m_point;
            fitting.push_back(sample.m_point);
            m_samples.push_back(sample);
            lastKept = sample.m_point;
            break;
        default:
            break;
        }
    }

    m_pCurve.reset();
    if (m_bFitCurve)
    {
        QvBSplineCurve* curve = QvBSplineCurve::Fit(fitting, m_anchorIndices, closed, 1e-5);
        if (!curve)
            curve = QvBSplineCurve::Interpolate(fitting, closed);
        if (!curve)
            return false;
        m_pCurve.reset(curve);
    }
    return true;
}

void QvSurfaceCurveTracer::TraceSamples(const QvMesh* flat, const std::vector<std::int32_t>& chain,
                                        const QvBSplineCurve* curve, std::vector<QvSurfacePoint>& out, bool closed)
{
    if (!flat || !curve)
        return;
    for (const std::int32_t v : chain)
        if (!IsVertexOf(*flat, v))
            return;
    m_winding = PatchWinding(*flat);

    const std::int32_t n = static_cast<std::int32_t>(chain.size());
    const std::int32_t segments = closed ? n : n - 1;
    for (std::int32_t d = 0; d < segments; ++d)
    {
        const std::int32_t a = chain[static_cast<std::size_t>(d)];
        const std::int32_t b = chain[static_cast<std::size_t>((d + 1) % n)];
        const double t0 = curve->GetParameter(d);
        const double t1 = curve->GetParameter(d + 1);
        double tA = t0, tB = t1;
        const std::int32_t e = FindStartFace(flat, curve, a, tA, t0, kStep);
        const std::int32_t f = FindStartFace(flat, curve, b, tB, t1, -kStep);
        out.push_back(VertexSample(*flat, a));
        if ((e == -1 && f == -1) || e == f)
            continue;

        // One face crossing: from `from` (inside face c) towards the fixed bound `to`; dir is +1 when
        // walking up the parameter and -1 when walking down. Each face's exit is searched over the
        // whole remaining range: a bound left over from the previous face may already lie inside it.
        // On success sets c to the face entered and from to the parameter to resume at.
        auto crossFace = [&](std::int32_t& c, double& from, double to, double dir) -> bool {
            bool found = false;
            double mid = from;
            std::int32_t g = -1, k = -1;
            while (dir * (to - from) >= kStep)
            {
                mid = (from + to) / 2.0;
                const QvPoint q = curve->Evaluate(mid);
                if (FindNeighborFace(flat, q, c, g, k))
                {
                    found = true;
                    break;
                }
                if (IsPointInFace(flat, q, c))
                    from = mid;
                else
                    to = mid;
            }
            if (!found)
                return false;
            double inside = from, outside = mid;
            while (dir * (outside - inside) >= kStep)
            {
                const double m = (inside + outside) / 2.0;
                if (IsPointInFace(flat, curve->Evaluate(m), c))
                    inside = m;
                else
                    outside = m;
            }
            const QvPoint crossing = curve->Evaluate(outside);
            double next = mid;
            // mid may lie a face further on; the first point past c names the face entered.
            std::int32_t g2 = -1, k2 = -1;
            if (FindNeighborFace(flat, crossing, c, g2, k2))
            {
                g = g2;
                k = k2;
                next = outside;
            }
            out.push_back(EdgeSample(crossing, k));
            c = g;
            from = next;
            return true;
        };

        // Backward walk from face c down to lower; its crossings come out in curve order.
        auto walkBackward = [&](std::int32_t c, double lower, double upper) {
            const std::size_t first = out.size();
            double hi = upper;
            while (crossFace(c, hi, lower, -1.0))
            {
            }
            std::reverse(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
        };

        if (e == -1)
        {
            walkBackward(f, tA, tB);
            continue;
        }

        // Forward walk from e; every crossing moves lo up by at least half a step.
        std::int32_t c = e;
        double lo = tA;
        bool reached = false;
        while (crossFace(c, lo, tB, 1.0))
        {
            if (c == f)
            {
                reached = true;
                break;
            }
        }
        if (!reached && f != -1)
            walkBackward(f, lo, tB);
    }
    if (!closed)
        out.push_back(VertexSample(*flat, chain.back()));
}

bool QvSurfaceCurveTracer::ComputeWeights(QvSurfacePoint& sample) const
{
    if (sample.m_kind != kQvSurfaceOnEdge && sample.m_kind != kQvSurfaceInFace)
        return false;
    const QvMesh* flat = QvParameterizeMgr::Instance()->FindFlatMesh(m_pMesh);
    auto drop = [&sample]() {
        sample.m_kind = kQvSurfaceNone;
        return false;
    };
    if (!flat)
        return drop();
    const QvPoint& p = sample.m_point;

    if (sample.m_kind == kQvSurfaceOnEdge)
    {
        if (sample.m_element < 0 || static_cast<std::size_t>(sample.m_element) >= flat->m_edges.size())
            return drop();
        const QvEdge& edge = flat->m_edges[static_cast<std::size_t>(sample.m_element)];
        const QvPoint& f = flat->m_vertices[static_cast<std::size_t>(edge.m_vertices[0])].m_point;
        const QvPoint& g = flat->m_vertices[static_cast<std::size_t>(edge.m_vertices[1])].m_point;
        const double length = g.Distance(f);
        if (!(length > 0.0) || !std::isfinite(length))
            return drop();
        // The crossing is taken just past the edge; clamping keeps the mapped point on it.
        const double s = std::clamp(p.Distance(f) / length, 0.0, 1.0);
        sample.m_vertex1 = edge.m_vertices[0];
        sample.m_weight1 = 1.0 - s;
        sample.m_vertex2 = edge.m_vertices[1];
        sample.m_weight2 = s;
        return true;
    }

    if (!IsFaceOf(*flat, sample.m_element))
        return drop();
    const QvFace& face = flat->m_faces[static_cast<std::size_t>(sample.m_element)];
    const QvPoint& r = flat->m_vertices[static_cast<std::size_t>(face.m_vertices[0])].m_point;
    const QvPoint& s = flat->m_vertices[static_cast<std::size_t>(face.m_vertices[1])].m_point;
    const QvPoint& t = flat->m_vertices[static_cast<std::size_t>(face.m_vertices[2])].m_point;
    const double dR = (r - t).Cross(s - t)[2];
    const double dS = (s - t).Cross(r - t)[2];
    if (dR == 0.0 || dS == 0.0 || !std::isfinite(dR))
        return drop();
    const double wR = (p - t).Cross(s - t)[2] / dR;
    const double wS = (p - t).Cross(r - t)[2] / dS;
    sample.m_vertex1 = face.m_vertices[0];
    sample.m_weight1 = wR;
    sample.m_vertex2 = face.m_vertices[1];
    sample.m_weight2 = wS;
    sample.m_vertex3 = face.m_vertices[2];
    sample.m_weight3 = 1.0 - wR - wS;
    return true;
}

std::int32_t QvSurfaceCurveTracer::FindStartFace(const QvMesh* flat, const QvBSplineCurve* curve,
                                                 std::int32_t vertex, double& t, double t0, double dt) const
{
    t = t0 + dt;
    if (!flat || !curve || !IsVertexOf(*flat, vertex))
        return -1;
    std::vector<int> faces;
    flat->GetVertexFaces(vertex, faces, false);
    for (int attempt = 0;; ++attempt)
    {
        const QvPoint q = curve->Evaluate(t);
        for (const int f : faces)
            if (IsWalkableFace(flat, f) && IsPointInFace(flat, q, f))
                return f;
        if (attempt == 5)
            return -1;
        t = (t + t0) / 2.0;
    }
}

bool QvSurfaceCurveTracer::FindNeighborFace(const QvMesh* flat, const QvPoint& point, std::int32_t face,
                                            std::int32_t& outFace, std::int32_t& outEdge) const
{
    if (!flat || !IsFaceOf(*flat, face))
        return false;
    for (const int e : flat->m_faces[static_cast<std::size_t>(face)].m_edges)
    {
        const int g = flat->m_edges[static_cast<std::size_t>(e)].GetOtherFace(face);
        if (g != -1 && IsWalkableFace(flat, g) && IsPointInFace(flat, point, g))
        {
            outFace = g;
            outEdge = e;
            return true;
        }
    }
    return false;
}

bool QvSurfaceCurveTracer::IsPointInFace(const QvMesh* flat, const QvPoint& point, std::int32_t face) const
{
    if (!flat || !IsFaceOf(*flat, face))
        return false;
    const QvFace& f = flat->m_faces[static_cast<std::size_t>(face)];
    const QvPoint& r = flat->m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point;
    const QvPoint& s = flat->m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point;
    const QvPoint& t = flat->m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point;
    const QvVector nR = (r - point).Cross(s - r);
    const QvVector nS = (s - point).Cross(t - s);
    const QvVector nT = (t - point).Cross(r - t);
    return !(nR.Dot(nS) < 0.0 || nS.Dot(nT) < 0.0 || nT.Dot(nR) < 0.0);
}

bool QvSurfaceCurveTracer::IsWalkableFace(const QvMesh* flat, std::int32_t face) const
{
    if (!flat || !IsFaceOf(*flat, face))
        return false;
    const QvFace& f = flat->m_faces[static_cast<std::size_t>(face)];
    for (const int v : f.m_vertices)
        if (IsLeftOut(flat->m_vertices[static_cast<std::size_t>(v)].m_point))
            return false;
    const double area = FlatArea(*flat, f);
    if (m_winding == 0)
        return area != 0.0 && std::isfinite(area);
    return area * m_winding > 0.0 && std::isfinite(area);
}
