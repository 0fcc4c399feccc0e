// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvCreateSweepMeshCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <set>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"

namespace {

constexpr int kCircleRingPoints = 20;
constexpr double kFitTolerance = 1e-5;

// Rings per parameter interval: d / s truncated, limited to 3..20. Decided in double so
// that a huge, infinite or NaN quotient never reaches the integer conversion.
int RingsPerInterval(double d, double s)
{
    const double q = d / s;
    if (q >= 20.0)
        return 20;
    if (!(q >= 4.0))
        return 3;
    return static_cast<int>(q);
}

// ceil(length / step) as an int, or -1 when it is not a usable count.
int CountAlong(double length, double step)
{
    const double q = std::ceil(length / step);
    if (!(q >= 1.0) || q > static_cast<double>(std::numeric_limits<std::int32_t>::max() / 4))
        return -1;
    return static_cast<int>(q);
}

// Mesh indices are 32-bit: refuse results that would not fit instead of wrapping.
bool FitsIndices(double vertices, double faces)
{
    const double limit = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    return vertices <= limit && faces <= limit && 3.0 * faces <= limit;
}

QvPoint Blend(const QvPoint& a, const QvPoint& b, double f)
{
    return QvPoint((1.0 - f) * a[0] + f * b[0], (1.0 - f) * a[1] + f * b[1], (1.0 - f) * a[2] + f * b[2]);
}

QvVector Normalized(QvVector v)
{
    v.Normalize();
    return v;
}

// The rectangle's corners around centre p with in-plane axes e1, e2.
void RectCorners(const double e[4], const QvPoint& p, const QvVector& e1, const QvVector& e2, QvPoint k[4])
{
    k[0] = p - e1 * e[0] - e2 * e[3];
    k[1] = p - e1 * e[0] + e2 * e[1];
    k[2] = p + e1 * e[2] + e2 * e[1];
    k[3] = p + e1 * e[2] - e2 * e[3];
}

// The closed outline K0 -> K1 -> K2 -> K3 with nH points on the short sides and nW on the
// long ones; each corner once.
void RectOutline(const QvPoint k[4], int nW, int nH, std::vector<QvPoint>& out)
{
    out.clear();
    out.reserve(static_cast<std::size_t>(2 * (nW + nH)));
    for (int i = 0; i < nH; ++i)
        out.push_back(Blend(k[0], k[1], static_cast<double>(i) / nH));
    for (int i = 0; i < nW; ++i)
        out.push_back(Blend(k[1], k[2], static_cast<double>(i) / nW));
    for (int i = 0; i < nH; ++i)
        out.push_back(Blend(k[2], k[3], static_cast<double>(i) / nH));
    for (int i = 0; i < nW; ++i)
        out.push_back(Blend(k[3], k[0], static_cast<double>(i) / nW));
}

// 3 x 3 rotation as plain numbers, so that carrying a ring allocates nothing per point.
struct Rotation
{
    double m[3][3];

    explicit Rotation(const QvMatrix& r)
    {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] = r[i][j];
    }
    QvVector operator*(const QvVector& v) const
    {
        return QvVector(m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
                        m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
                        m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]);
    }
};

// The rotation turning tangent a into tangent b. Opposite tangents get a half turn about
// the ring's own cross axis: the kernel's from-to rotation answers a mirror there, which
// would turn the ring inside out.
Rotation TangentRotation(const QvVector& a, const QvVector& b, const QvVector& crossAxis)
{
    if (a.Cross(b).IsZero() && a.Dot(b) < 0.0)
        return Rotation(QvMatrix(crossAxis, kQvPi));
    return Rotation(QvMatrix(a, b));
}

// Carries ring 0 (given in ring) along the centres and tangents, calling emit(ring) for
// every ring in order, ring 0 included.
template <typename Emit>
void TransportRings(std::vector<QvPoint> ring, QvVector crossAxis, const std::vector<QvPoint>& centres,
                    const std::vector<QvVector>& tangents, Emit&& emit)
{
    emit(ring);
    for (std::size_t g = 1; g < centres.size(); ++g)
    {
        const Rotation r = TangentRotation(tangents[g - 1], tangents[g], crossAxis);
        const QvPoint& from = centres[g - 1];
        const QvPoint& to = centres[g];
        for (QvPoint& x : ring)
            x = to + r * (x - from);
        crossAxis = r * crossAxis;
        emit(ring);
    }
}

// Appends the ring's points as vertices and their indices as a new ring.
void AddRing(QvMesh& mesh, const std::vector<QvPoint>& points, std::vector<std::vector<int>>& rings)
{
    std::vector<int>& ids = rings.emplace_back();
    ids.reserve(points.size());
    for (const QvPoint& p : points)
        ids.push_back(mesh.AddVertex(p));
}

// Side faces between consecutive rings. The circle rings run counter-clockwise about the
// path, the rectangle rings clockwise, hence the two windings.
bool AddSideFaces(QvMesh& mesh, const std::vector<std::vector<int>>& rings, bool rectWinding)
{
    for (std::size_t g = 0; g + 1 < rings.size(); ++g)
    {
        const std::vector<int>& a = rings[g];
        const std::vector<int>& b = rings[g + 1];
        const std::size_t c = a.size();
        if (b.size() != c)
            return false;
        for (std::size_t k = 0; k < c; ++k)
        {
            const std::size_t k1 = (k + 1) % c;
            const bool ok = rectWinding
                                ? mesh.AddFace(a[k], b[k], a[k1], kQvFaceTagPlain) &&
                                      mesh.AddFace(b[k], b[k1], a[k1], kQvFaceTagPlain)
                                : mesh.AddFace(a[k], a[k1], b[k], kQvFaceTagPlain) &&
                                      mesh.AddFace(b[k], a[k1], b[k1], kQvFaceTagPlain);
            if (!ok)
                return false;
        }
    }
    return true;
}

} // namespace

QvCreateSweepMeshCommand::QvCreateSweepMeshCommand(QvBSplineCurve* path, QvGeometry* profile, double step)
    : m_pPath(path), m_pProfile(profile), m_step(step), m_bCapEnds(false)
{
}

QvCreateSweepMeshCommand::QvCreateSweepMeshCommand(QvMesh* mesh, const std::vector<QvSurfacePoint>& samples,
                                                   QvGeometry* profile, double step)
    : m_pProfile(profile), m_pMesh(mesh), m_samples(samples), m_step(step), m_bCapEnds(true)
{
}

QvCreateSweepMeshCommand::~QvCreateSweepMeshCommand()
{
    if (!m_bResultTaken)
        delete m_pResult;
}

QvMesh* QvCreateSweepMeshCommand::GetMesh()
{
    if (m_pResult)
        m_bResultTaken = true;
    return m_pResult;
}

bool QvCreateSweepMeshCommand::Execute()
{
    // A result nobody took would otherwise be lost when this run replaces it.
    if (!m_bResultTaken)
        delete m_pResult;
    m_pResult = nullptr;
    m_bResultTaken = false;

    if (!m_pProfile || !std::isfinite(m_step) || !(m_step > 0.0))
        return false;

    auto mesh = std::make_unique<QvMesh>();
    bool ok = false;
    if (dynamic_cast<QvCircle*>(m_pProfile))
        ok = m_pPath ? SweepCircleAlongCurve(*mesh) : SweepCircleAlongSamples(*mesh);
    else if (dynamic_cast<QvRect*>(m_pProfile))
        ok = m_pPath ? SweepRectAlongCurve(*mesh) : SweepRectAlongSamples(*mesh);
    else if (dynamic_cast<QvEllipse*>(m_pProfile))
        ok = SweepEllipseAlongSamples(*mesh);
    if (!ok)
        return false;
    m_pResult = mesh.release();
    return true;
}

// ---- Curve forms --------------------------------------------------------------------

bool QvCreateSweepMeshCommand::SamplePath(std::vector<QvPoint>& centres, std::vector<QvVector>& tangents) const
{
    if (!m_pPath || !m_pPath->CanEvaluate())
        return false;
    const QvBSplineCurve& path = *m_pPath;
    const QvKnotVector& U = path.m_knots;
    const int p = path.m_degree;
    const int n = U.Size() - 1 - p - 1;

    const double length = path.ArcLength(true, 0.0, 1.0);
    // A path without length gives rings on top of each other and faces without area.
    if (!std::isfinite(length) || IsZero(length))
        return false;
    const double s = m_step / length;

    std::vector<double> params{U[p]};
    for (int k = p + 1; k <= n + 1; ++k)
    {
        const double a = U[k - 1];
        const double d = U[k] - U[k - 1];
        if (d == 0.0)
            continue;
        int c = RingsPerInterval(d, s);
        if (k == p + 1 || k == n + 1)
            c *= 2;
        const double dd = d / c;
        double t = a;
        for (int i = 0; i < c; ++i)
        {
            t += dd;
            params.push_back(t);
        }
    }
    params.back() = U[n + 1];
    if (params.size() < 2)
        return false;

    centres.resize(params.size());
    tangents.resize(params.size());
    QvVector d[1];
    for (std::size_t i = 0; i < params.size(); ++i)
    {
        if (!path.EvaluateDerivatives(1, centres[i], d, params[i]))
            return false;
        tangents[i] = Normalized(d[0]);
    }
    return true;
}

namespace {

// The first ring's in-plane axes from the first tangent and the optional reference.
void FirstFrame(const QvVector& t0, const QvVector* refDir, QvVector& e1, QvVector& e2)
{
    if (std::fabs(t0[0]) < 1e-7)
    {
        e1.Set(1.0, 0.0, 0.0);
    }
    else
    {
        e1.Set(-t0[1], t0[0], 0.0);
        // A reference along the tangent spans no plane with it; the default axis stays then.
        if (refDir)
        {
            const QvVector r = refDir->Cross(t0);
            if (!r.IsZero())
                e1 = r;
        }
    }
    e1.Normalize();
    e2 = Normalized(t0.Cross(e1));
}

} // namespace

bool QvCreateSweepMeshCommand::SweepCircleAlongCurve(QvMesh& mesh)
{
    const auto* circle = dynamic_cast<const QvCircle*>(m_pProfile);
    if (!circle || !m_pPath || !std::isfinite(circle->m_radius) || !(circle->m_radius > 0.0))
        return false;
    std::vector<QvPoint> centres;
    std::vector<QvVector> tangents;
    if (!SamplePath(centres, tangents))
        return false;
    const std::size_t ringCount = centres.size();
    if (!FitsIndices(static_cast<double>(kCircleRingPoints) * ringCount + 2.0,
                     2.0 * kCircleRingPoints * ringCount))
        return false;

    QvVector e1, e2;
    FirstFrame(tangents[0], m_pRefDir, e1, e2);
    const double r = circle->m_radius;
    std::vector<QvPoint> ring0;
    for (int k = 0; k < kCircleRingPoints; ++k)
    {
        const double a = k * kQvPi / 10;
        ring0.push_back(centres[0] + e1 * (r * std::cos(a)) + e2 * (r * std::sin(a)));
    }

    mesh.Reserve(kCircleRingPoints * static_cast<int>(ringCount), kCircleRingPoints * static_cast<int>(ringCount - 1),
                 0);
    Rings rings;
    rings.reserve(ringCount);
    TransportRings(std::move(ring0), e1, centres, tangents,
                   [&](const std::vector<QvPoint>& ring) { AddRing(mesh, ring, rings); });
    if (!AddSideFaces(mesh, rings, false))
        return false;
    if (m_bCapEnds)
    {
        if (!CapRing(mesh, rings.front(), true) || !CapRing(mesh, rings.back(), false))
            return false;
    }
    else if (m_pPath->m_closed && !CloseTube(mesh))
    {
        return false;
    }
    mesh.UpdateFaceNormals();
    return true;
}

bool QvCreateSweepMeshCommand::SweepRectAlongCurve(QvMesh& mesh)
{
    const auto* rect = dynamic_cast<const QvRect*>(m_pProfile);
    if (!rect || !m_pPath)
        return false;
    double e[4];
    rect->GetExtents(e);
    const int nW = CountAlong(rect->GetWidth(), m_step);
    const int nH = CountAlong(rect->GetHeight(), m_step);
    if (nW < 1 || nH < 1)
        return false;
    std::vector<QvPoint> centres;
    std::vector<QvVector> tangents;
    if (!SamplePath(centres, tangents))
        return false;
    const double ringSize = 2.0 * (nW + nH);
    const double ringCount = static_cast<double>(centres.size());
    if (!FitsIndices(ringSize * ringCount + 2.0 * (nW - 1.0) * (nH - 1.0),
                     2.0 * ringSize * ringCount + 4.0 * nW * nH))
        return false;

    QvVector e1, e2;
    FirstFrame(tangents[0], m_pRefDir, e1, e2);
    QvPoint k[4];
    RectCorners(e, centres[0], e1, e2, k);
    std::vector<QvPoint> ring0;
    RectOutline(k, nW, nH, ring0);

    mesh.Reserve(static_cast<int>(ringSize * ringCount), static_cast<int>(2.0 * ringSize * (ringCount - 1.0)), 0);
    Rings rings;
    rings.reserve(centres.size());
    TransportRings(std::move(ring0), e1, centres, tangents,
                   [&](const std::vector<QvPoint>& ring) { AddRing(mesh, ring, rings); });
    if (!AddSideFaces(mesh, rings, true))
        return false;
    if (m_bCapEnds &&
        (!CapRectRing(mesh, rings.front(), nW, nH, true) || !CapRectRing(mesh, rings.back(), nW, nH, false)))
        return false;
    mesh.UpdateFaceNormals();
    return true;
}

// ---- Sample forms -------------------------------------------------------------------

bool QvCreateSweepMeshCommand::SampleNormal(const QvSurfacePoint& sample, QvVector& normal) const
{
    const QvMesh& m = *m_pMesh;
    const int i = sample.m_element;
    normal.SetZero();
    switch (sample.m_kind)
    {
    case kQvSurfaceInFace:
        if (i < 0 || static_cast<std::size_t>(i) >= m.m_faces.size())
            return false;
        normal = m.m_faces[static_cast<std::size_t>(i)].m_normal;
        return true;
    case kQvSurfaceOnEdge:
    {
        if (i < 0 || static_cast<std::size_t>(i) >= m.m_edges.size())
            return false;
        const QvEdge& edge = m.m_edges[static_cast<std::size_t>(i)];
        const int f0 = edge.m_faces[0];
        const int f1 = edge.m_faces[1];
        const int nf = static_cast<int>(m.m_faces.size());
        const bool has0 = f0 >= 0 && f0 < nf;
        const bool has1 = f1 >= 0 && f1 < nf;
        if (has0 && has1)
            normal = Normalized(m.m_faces[f0].m_normal + m.m_faces[f1].m_normal);
        else if (has0)
            normal = m.m_faces[f0].m_normal;
        else if (has1)
            normal = m.m_faces[f1].m_normal;
        return true;
    }
    case kQvSurfaceOnVertex:
        if (i < 0 || static_cast<std::size_t>(i) >= m.m_vertices.size())
            return false;
        normal = m.GetVertexNormal(i);
        return true;
    default:
        return true;
    }
}

bool QvCreateSweepMeshCommand::SweepCircleAlongSamples(QvMesh& mesh)
{
    const auto* circle = dynamic_cast<const QvCircle*>(m_pProfile);
    if (!circle || !std::isfinite(circle->m_radius) || !(circle->m_radius > 0.0))
        return false;
    return SweepRoundAlongSamples(mesh, circle->m_radius, circle->m_radius, circle->GetPerimeter());
}

bool QvCreateSweepMeshCommand::SweepEllipseAlongSamples(QvMesh& mesh)
{
    const auto* ellipse = dynamic_cast<const QvEllipse*>(m_pProfile);
    if (!ellipse)
        return false;
    const double a = ellipse->GetA();
    const double b = ellipse->GetB();
    if (!std::isfinite(a) || !std::isfinite(b) || !(a > 0.0) || !(b > 0.0))
        return false;
    return SweepRoundAlongSamples(mesh, a, b, ellipse->GetPerimeter());
}

bool QvCreateSweepMeshCommand::SweepRoundAlongSamples(QvMesh& mesh, double sa, double sb, double perimeter)
{
    // The tangents read a second sample.
    if (!m_pMesh || m_samples.size() < 2)
        return false;
    const int n = CountAlong(perimeter, m_step);
    // Fewer than three points make a flat ring whose side faces repeat corners.
    if (n < 3)
        return false;
    const std::size_t count = m_samples.size();
    if (!FitsIndices(static_cast<double>(n) * count + 2.0, 2.0 * n * count))
        return false;

    std::vector<QvVector> normals(count);
    for (std::size_t i = 0; i < count; ++i)
        if (!SampleNormal(m_samples[i], normals[i]))
            return false;

    const double step = kQvTwoPi / n;
    std::vector<double> cosw(static_cast<std::size_t>(n));
    std::vector<double> sinw(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k)
    {
        cosw[static_cast<std::size_t>(k)] = sa * std::cos(k * step);
        sinw[static_cast<std::size_t>(k)] = sb * std::sin(k * step);
    }

    mesh.Reserve(n * static_cast<int>(count), 2 * n * static_cast<int>(count - 1), 0);
    const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    Rings rings;
    rings.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        const QvPoint& s = m_samples[i].m_point;
        QvVector t;
        if (i == 0)
            t = m_samples[1].m_point - m_samples[0].m_point;
        else if (i + 1 == count)
            t = s - m_samples[i - 1].m_point;
        else
            t = m_samples[i + 1].m_point - m_samples[i - 1].m_point;
        const QvVector bn = Normalized(normals[i].Cross(t));
        const QvFrame frame(s, bn, normals[i]);
        const std::unique_ptr<QvMatrix> m(world.GetTransformTo(frame));
        std::vector<int>& ring = rings.emplace_back();
        ring.reserve(static_cast<std::size_t>(n));
        for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k)
            ring.push_back(mesh.AddVertex(*m * QvPoint(cosw[k], sinw[k], 0.0)));
    }
    if (!AddSideFaces(mesh, rings, false))
        return false;
    if (m_bCapEnds && (!CapRing(mesh, rings.front(), true) || !CapRing(mesh, rings.back(), false)))
        return false;
    mesh.UpdateFaceNormals();
    return true;
}

bool QvCreateSweepMeshCommand::SweepRectAlongSamples(QvMesh& mesh)
{
    const auto* rect = dynamic_cast<const QvRect*>(m_pProfile);
    if (!rect || !m_pMesh || m_samples.empty())
        return false;
    double e[4];
    rect->GetExtents(e);
    const int nW = CountAlong(rect->GetWidth(), m_step);
    const int nH = CountAlong(rect->GetHeight(), m_step);
    if (nW < 1 || nH < 1)
        return false;

    // Thinning: samples closer than half a step to the last one kept add nothing but noise
    // to the fitted tracks.
    std::vector<QvPoint> positions;
    std::vector<QvVector> normals;
    std::vector<std::int32_t> fixed;
    for (const QvSurfacePoint& sample : m_samples)
    {
        QvVector normal;
        if (!SampleNormal(sample, normal))
            return false;
        if (!positions.empty() && !(sample.m_point.Distance(positions.back()) > 0.5 * m_step))
            continue;
        if (sample.m_kind == kQvSurfaceOnVertex)
            fixed.push_back(static_cast<std::int32_t>(positions.size()));
        positions.push_back(sample.m_point);
        normals.push_back(Normalized(normal));
    }
    const std::size_t m = positions.size();
    if (m < 2)
        return false;

    std::vector<QvVector> smoothed(m);
    for (std::size_t k = 0; k < m; ++k)
    {
        QvVector sum = normals[k];
        if (k > 0)
            sum += normals[k - 1];
        if (k + 1 < m)
            sum += normals[k + 1];
        smoothed[k] = Normalized(sum);
    }

    const std::unique_ptr<QvBSplineCurve> centre(QvBSplineCurve::Fit(positions, fixed, false, kFitTolerance));
    if (!centre || centre->m_params.size() != m)
        return false;
    std::vector<QvPoint> tracks[4];
    for (std::vector<QvPoint>& track : tracks)
        track.reserve(m);
    QvVector d[1];
    for (std::size_t k = 0; k < m; ++k)
    {
        QvPoint p;
        if (!centre->EvaluateDerivatives(1, p, d, centre->GetParameter(static_cast<std::int32_t>(k))))
            return false;
        const QvVector t = Normalized(d[0]);
        const QvVector e1 = Normalized(smoothed[k].Cross(t));
        QvPoint corners[4];
        RectCorners(e, p, e1, smoothed[k], corners);
        for (int q = 0; q < 4; ++q)
            tracks[q].push_back(corners[q]);
    }
    std::unique_ptr<QvBSplineCurve> cornerCurves[4];
    for (int q = 0; q < 4; ++q)
    {
        cornerCurves[q].reset(QvBSplineCurve::Fit(tracks[q], {}, false, kFitTolerance));
        if (!cornerCurves[q])
            return false;
    }

    const double length = centre->ArcLength(true, 0.0, 1.0);
    if (!std::isfinite(length) || IsZero(length))
        return false;
    const double s = m_step / length;
    const std::vector<double>& u = centre->m_params;
    std::vector<double> params{u[0]};
    for (std::size_t i = 1; i < m; ++i)
    {
        const double dd = u[i] - u[i - 1];
        const int c = RingsPerInterval(dd, s);
        for (int j = 1; j <= c; ++j)
            params.push_back(u[i - 1] + j * dd / c);
    }

    const double ringSize = 2.0 * (nW + nH);
    const double ringCount = static_cast<double>(params.size());
    if (!FitsIndices(ringSize * ringCount + 2.0 * (nW - 1.0) * (nH - 1.0),
                     2.0 * ringSize * ringCount + 4.0 * nW * nH))
        return false;
    mesh.Reserve(static_cast<int>(ringSize * ringCount), static_cast<int>(2.0 * ringSize * (ringCount - 1.0)), 0);
    Rings rings;
    rings.reserve(params.size());
    std::vector<QvPoint> outline;
    for (const double t : params)
    {
        QvPoint corners[4];
        for (int q = 0; q < 4; ++q)
            corners[q] = cornerCurves[q]->Evaluate(t);
        RectOutline(corners, nW, nH, outline);
        AddRing(mesh, outline, rings);
    }
    if (!AddSideFaces(mesh, rings, true))
        return false;
    if (m_bCapEnds &&
        (!CapRectRing(mesh, rings.front(), nW, nH, true) || !CapRectRing(mesh, rings.back(), nW, nH, false)))
        return false;
    mesh.UpdateFaceNormals();
    return true;
}

// ---- Ends ---------------------------------------------------------------------------

bool QvCreateSweepMeshCommand::CapRing(QvMesh& mesh, const std::vector<int>& ring, bool reversed)
{
    if (ring.empty())
        return false;
    QvPoint sum;
    for (const int v : ring)
        sum += mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
    const std::size_t n = ring.size();
    const int c = mesh.AddVertex(sum / static_cast<double>(n));
    for (std::size_t i = 1; i <= n; ++i)
    {
        const std::size_t j = i % n;
        const bool ok = reversed ? mesh.AddFace(c, ring[j], ring[i - 1], kQvFaceTagPlain)
                                 : mesh.AddFace(c, ring[i - 1], ring[j], kQvFaceTagPlain);
        if (!ok)
            return false;
    }
    return true;
}

bool QvCreateSweepMeshCommand::CapRectRing(QvMesh& mesh, const std::vector<int>& ring, int nW, int nH, bool reversed)
{
    const std::size_t c = ring.size();
    if (c == 0 || nW < 1 || nH < 1 || c != static_cast<std::size_t>(2 * (nW + nH)))
        return false;
    const auto at = [&](int i) { return ring[static_cast<std::size_t>(i)]; };
    const auto pos = [&](int v) { return mesh.m_vertices[static_cast<std::size_t>(v)].m_point; };
    const int ci = static_cast<int>(c);

    std::vector<int> left(static_cast<std::size_t>(nH + 1));
    std::vector<int> right(static_cast<std::size_t>(nH + 1));
    for (int r = 0; r <= nH; ++r)
    {
        left[static_cast<std::size_t>(r)] = at(r);
        right[static_cast<std::size_t>(r)] = at(2 * nH + nW - r);
    }
    std::vector<int> bottom{at(0)};
    for (int i = 1; i <= nW; ++i)
        bottom.push_back(at(ci - i));
    std::vector<int> top;
    for (int i = 0; i <= nW; ++i)
        top.push_back(at(nH + i));

    std::vector<int> lower = bottom;
    std::vector<int> upper;
    for (int r = 1; r <= nH; ++r)
    {
        if (r == nH)
        {
            upper = top;
        }
        else
        {
            upper.assign(1, left[static_cast<std::size_t>(r)]);
            const QvPoint a = pos(left[static_cast<std::size_t>(r)]);
            const QvPoint b = pos(right[static_cast<std::size_t>(r)]);
            for (int i = 1; i < nW; ++i)
                upper.push_back(mesh.AddVertex(Blend(a, b, static_cast<double>(i) / nW)));
            upper.push_back(right[static_cast<std::size_t>(r)]);
        }
        for (std::size_t i = 1; i <= static_cast<std::size_t>(nW); ++i)
        {
            const int g0 = lower[i - 1], g1 = lower[i], h0 = upper[i - 1], h1 = upper[i];
            const bool ok = reversed ? mesh.AddFace(g0, h0, g1, kQvFaceTagPlain) &&
                                           mesh.AddFace(h0, h1, g1, kQvFaceTagPlain)
                                     : mesh.AddFace(g0, g1, h0, kQvFaceTagPlain) &&
                                           mesh.AddFace(h0, g1, h1, kQvFaceTagPlain);
            if (!ok)
                return false;
        }
        lower.swap(upper);
    }
    return true;
}

bool QvCreateSweepMeshCommand::CloseTube(QvMesh& mesh)
{
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    // Anything but the two end rings of a tube of at least three rings is left open.
    if (loops.size() < 2 || loops[0].size() < 3 || loops[1].size() != loops[0].size())
        return true;
    const std::vector<int>& A = loops[0];
    const std::vector<int>& B = loops[1];
    const std::size_t n = B.size();
    const auto pos = [&](int v) { return mesh.m_vertices[static_cast<std::size_t>(v)].m_point; };

    // The ring before the last, in B's order, through the faces on B's edges.
    std::vector<int> Q(n);
    for (std::size_t t = 0; t < n; ++t)
    {
        const int e = mesh.FindEdge(B[t], B[(t + 1) % n]);
        if (e < 0)
            return true;
        const int f = mesh.m_edges[static_cast<std::size_t>(e)].m_faces[0];
        Q[t] = mesh.m_faces[static_cast<std::size_t>(f)].GetThirdVertex(B[t], B[(t + 1) % n]);
        // Q must be a ring of its own, not A itself (a tube of two rings).
        if (Q[t] < 0 || std::find(A.begin(), A.end(), Q[t]) != A.end())
            return true;
    }

    std::set<int> band;
    std::vector<int> faces;
    for (const int v : B)
    {
        mesh.GetVertexFaces(v, faces, false);
        band.insert(faces.begin(), faces.end());
    }

    std::size_t a = 0;
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < n; ++i)
    {
        const double d = pos(Q[i]).Distance(pos(A[0]));
        if (d < best)
        {
            best = d;
            a = i;
        }
    }
    std::vector<int> Rq(n);
    for (std::size_t i = 0; i < n; ++i)
        Rq[i] = Q[(a + i) % n];
    // Against A's running sense: turned round as a whole. The entry nearest A[0] moves to
    // the end, which only picks the other diagonal of each quad of the closing band.
    if ((pos(A[1]) - pos(A[0])).Dot(pos(Rq[1]) - pos(Rq[0])) < 0.0)
        std::reverse(Rq.begin(), Rq.end());

    for (auto it = band.rbegin(); it != band.rend(); ++it)
        mesh.RemoveFace(*it, false);
    const int firstNew = static_cast<int>(mesh.m_faces.size());
    for (std::size_t j = 0; j < n; ++j)
    {
        const std::size_t j1 = (j + 1) % n;
        if (!mesh.AddFace(A[j], A[j1], Rq[j], kQvFaceTagPlain) ||
            !mesh.AddFace(Rq[j1], Rq[j], A[j1], kQvFaceTagPlain))
            return false;
    }
    mesh.RemoveIsolatedVertices();
    std::vector<int> added;
    for (int f = firstNew; f < static_cast<int>(mesh.m_faces.size()); ++f)
        added.push_back(f);
    mesh.OrientFaces(added);
    return true;
}
