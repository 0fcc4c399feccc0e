// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvBSplineSurface.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"
#include "core/geometry/QvPlane.h"

namespace {

using Curve = std::unique_ptr<QvBSplineCurve>;
using Net = std::vector<std::vector<QvPoint>>;

bool IsFinite(const QvPoint& p)
{
    return std::isfinite(p.m_coord[0]) && std::isfinite(p.m_coord[1]) && std::isfinite(p.m_coord[2]);
}

bool NetFinite(const Net& net)
{
    for (const auto& row : net)
        for (const QvPoint& p : row)
            if (!IsFinite(p))
                return false;
    return true;
}

// sum over l of N[l] * row[l], accumulated from the origin in the order of l.
inline void AddRow(const double* N, const QvPoint* row, int q, double out[3])
{
    out[0] = out[1] = out[2] = 0.0;
    for (int l = 0; l <= q; ++l)
    {
        out[0] += N[l] * row[l].m_coord[0];
        out[1] += N[l] * row[l].m_coord[1];
        out[2] += N[l] * row[l].m_coord[2];
    }
}

// sum over k of Nu[k] * (sum over l of Nv[l] * P[su-p+k][sv-q+l]): the inner sum first, for each k.
inline void TensorSum(const double* Nu, const double* Nv, const std::vector<QvPoint>* rows, int p, int q, int col,
                      double out[3])
{
    out[0] = out[1] = out[2] = 0.0;
    for (int k = 0; k <= p; ++k)
    {
        double inner[3];
        AddRow(Nv, rows[k].data() + col, q, inner);
        out[0] += Nu[k] * inner[0];
        out[1] += Nu[k] * inner[1];
        out[2] += Nu[k] * inner[2];
    }
}

// S(u, v) from the spans. FP, FQ > 0 fix the degrees at compile time (stack buffers, unrolled loops);
// 0 takes them at run time.
template <int FP, int FQ>
QvPoint EvaluateKernel(const double* Uu, const double* Uv, const std::vector<QvPoint>* rows, int p, int q, int su,
                       int sv, double u, double v)
{
    double out[3];
    if constexpr (FP > 0 && FQ > 0)
    {
        double Nu[FP + 1];
        double Nv[FQ + 1];
        double work[2 * (std::max(FP, FQ) + 1)];
        qvnurbs::BasisValues(Uu, FP, su, u, Nu, work);
        qvnurbs::BasisValues(Uv, FQ, sv, v, Nv, work);
        TensorSum(Nu, Nv, rows, FP, FQ, sv - FQ, out);
    }
    else
    {
        qvnurbs::Scratch scratch;
        const std::size_t P1 = static_cast<std::size_t>(p) + 1;
        const std::size_t Q1 = static_cast<std::size_t>(q) + 1;
        double* Nu = scratch.Get(P1 + Q1 + 2 * std::max(P1, Q1));
        double* Nv = Nu + P1;
        double* work = Nv + Q1;
        qvnurbs::BasisValues(Uu, p, su, u, Nu, work);
        qvnurbs::BasisValues(Uv, q, sv, v, Nv, work);
        TensorSum(Nu, Nv, rows, p, q, sv - q, out);
    }
    return QvPoint(out[0], out[1], out[2]);
}

// The straight cubic from a to b with uniform speed (inner control points at the thirds).
Curve StraightCubic(const QvPoint& a, const QvPoint& b)
{
    QvVector dir = b - a;
    dir.Normalize();
    return Curve(QvBSplineCurve::FromEndTangents(a, b, dir, dir));
}

// Gives c every knot of target that it lacks, multiplicities included. False when an insertion is
// refused (a value outside the domain, or beyond multiplicity p).
bool InsertMissing(QvBSplineCurve& c, const std::vector<double>& target)
{
    const std::vector<double> missing = qvknots::MissingKnots(c.m_knots.m_values, target);
    for (double x : missing)
        if (!c.InsertKnot(true, x))
            return false;
    return true;
}

// Both curves get the knots of the other; true when they then share one knot vector (within 1e-7).
bool MakePairCompatible(QvBSplineCurve& a, QvBSplineCurve& b)
{
    if (!InsertMissing(b, a.m_knots.m_values) || !InsertMissing(a, b.m_knots.m_values))
        return false;
    return a.m_ctrlPoints.size() == b.m_ctrlPoints.size() && a.m_knots.Size() == b.m_knots.Size();
}

bool SameKnots(const QvKnotVector& a, const QvKnotVector& b)
{
    if (a.Size() != b.Size())
        return false;
    for (std::int32_t i = 0; i < a.Size(); ++i)
        if (!IsZero(a[i] - b[i]))
            return false;
    return true;
}

void MapToUnit(const std::vector<double>& t, std::vector<double>& out)
{
    out.assign(t.size(), 0.0);
    if (t.empty())
        return;
    const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    const double range = *hi - *lo;
    // Values without spread have no place on [0, 1] to map to: they all stay at 0.
    if (!(range > 0.0) || !std::isfinite(range))
        return;
    for (std::size_t i = 0; i < t.size(); ++i)
        out[i] = (t[i] - *lo) / range;
}

} // namespace

// ---------------------------------------------------------------- construction

QvBSplineSurface::QvBSplineSurface() : m_uDegree(-1), m_vDegree(-1), m_fitValue(0.0) {}

QvBSplineSurface::QvBSplineSurface(const std::vector<QvPoint>& dataPoints, const std::vector<std::int32_t>& fitIndices,
                                   double fitValue)
    : m_uDegree(-1), m_vDegree(-1), m_dataPoints(dataPoints), m_fitIndices(fitIndices), m_fitValue(fitValue)
{
}

bool QvBSplineSurface::CanEvaluate() const
{
    const int p = m_uDegree;
    const int q = m_vDegree;
    const std::size_t nu = m_ctrlNet.size();
    if (p < 0 || q < 0 || nu < static_cast<std::size_t>(p) + 1)
        return false;
    const std::size_t nv = m_ctrlNet.front().size();
    if (nv < static_cast<std::size_t>(q) + 1)
        return false;
    for (const auto& row : m_ctrlNet)
        if (row.size() != nv)
            return false;
    return m_uKnots.m_values.size() == nu + static_cast<std::size_t>(p) + 1 &&
           m_vKnots.m_values.size() == nv + static_cast<std::size_t>(q) + 1;
}

void QvBSplineSurface::Allocate(std::int32_t p, std::int32_t q, std::int32_t nu, std::int32_t nv)
{
    m_uDegree = p;
    m_vDegree = q;
    m_ctrlNet.clear();
    m_ctrlNet.assign(static_cast<std::size_t>(std::max(nu, 0)),
                     std::vector<QvPoint>(static_cast<std::size_t>(std::max(nv, 0))));
    m_uKnots.Resize(p + nu + 1);
    m_vKnots.Resize(q + nv + 1);
}

// ---------------------------------------------------------------- evaluation

QvPoint QvBSplineSurface::Evaluate(double u, double v) const
{
    // The cheap part of CanEvaluate here; the rows the spans touch are checked below.
    const int p = m_uDegree;
    const int q = m_vDegree;
    const std::size_t nu = m_ctrlNet.size();
    if (p < 0 || q < 0 || nu < static_cast<std::size_t>(p) + 1 ||
        m_uKnots.m_values.size() != nu + static_cast<std::size_t>(p) + 1)
        return QvPoint();
    const std::size_t nv = m_ctrlNet.front().size();
    if (nv < static_cast<std::size_t>(q) + 1 || m_vKnots.m_values.size() != nv + static_cast<std::size_t>(q) + 1)
        return QvPoint();
    const double* Uu = m_uKnots.m_values.data();
    const double* Uv = m_vKnots.m_values.data();
    u = std::clamp(u, Uu[p], Uu[nu]);
    v = std::clamp(v, Uv[q], Uv[nv]);
    const int su = m_uKnots.FindSpan(p, u);
    const int sv = m_vKnots.FindSpan(q, v);
    const std::vector<QvPoint>* rows = m_ctrlNet.data() + (su - p);
    for (int k = 0; k <= p; ++k)
        if (rows[k].size() != nv)
            return QvPoint();
    if (p == 3 && q == 3)
        return EvaluateKernel<3, 3>(Uu, Uv, rows, 3, 3, su, sv, u, v);
    return EvaluateKernel<0, 0>(Uu, Uv, rows, p, q, su, sv, u, v);
}

bool QvBSplineSurface::GetPoint(QvPoint& out, const double* u, const double* v) const
{
    if (!u || !v || !(*u >= 0.0 && *u <= 1.0) || !(*v >= 0.0 && *v <= 1.0))
    {
        out = QvPoint();
        return false;
    }
    out = Evaluate(*u, *v);
    return true;
}

bool QvBSplineSurface::EvaluateDerivatives(std::int32_t a, std::int32_t b, QvPoint& out, QvVector* D, double u,
                                           double v) const
{
    a = std::max(a, 0);
    b = std::max(b, 0);
    out = QvPoint();
    for (int i = 0; i < a * b; ++i)
        D[i].SetZero();
    if (!CanEvaluate())
        return false;
    const int p = m_uDegree;
    const int q = m_vDegree;
    const int nu = static_cast<int>(m_ctrlNet.size());
    const int nv = static_cast<int>(m_ctrlNet.front().size());
    const double* Uu = m_uKnots.m_values.data();
    const double* Uv = m_vKnots.m_values.data();
    u = std::clamp(u, Uu[p], Uu[nu]);
    v = std::clamp(v, Uv[q], Uv[nv]);
    const int su = m_uKnots.FindSpan(p, u);
    const int sv = m_vKnots.FindSpan(q, v);
    // Derivatives above the degree are zero and already in place.
    const int au = std::min(a, p);
    const int bv = std::min(b, q);
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;
    const std::size_t Q1 = static_cast<std::size_t>(q) + 1;
    const std::size_t du = P1 * static_cast<std::size_t>(au + 1);
    const std::size_t dv = Q1 * static_cast<std::size_t>(bv + 1);
    qvnurbs::Scratch scratch;
    double* Du = scratch.Get(du + dv + static_cast<std::size_t>(qvnurbs::BasisWorkSize(std::max(p, q))));
    double* Dv = Du + du;
    double* work = Dv + dv;
    qvnurbs::BasisDerivatives(Uu, p, su, au, u, Du, work);
    qvnurbs::BasisDerivatives(Uv, q, sv, bv, v, Dv, work);
    const std::vector<QvPoint>* rows = m_ctrlNet.data() + (su - p);
    double s[3];
    TensorSum(Du, Dv, rows, p, q, sv - q, s);
    out = QvPoint(s[0], s[1], s[2]);
    for (int i = 1; i <= au; ++i)
        for (int j = 1; j <= bv; ++j)
        {
            TensorSum(Du + static_cast<std::size_t>(i) * P1, Dv + static_cast<std::size_t>(j) * Q1, rows, p, q,
                      sv - q, s);
            D[(i - 1) * b + (j - 1)] = QvVector(s[0], s[1], s[2]);
        }
    return true;
}

bool QvBSplineSurface::EvaluateDerivatives(std::int32_t a, std::int32_t b, QvPoint& out, std::vector<QvVector>& D,
                                           double u, double v) const
{
    D.assign(static_cast<std::size_t>(std::max(a, 0)) * static_cast<std::size_t>(std::max(b, 0)), QvVector());
    return EvaluateDerivatives(a, b, out, D.data(), u, v);
}

// ---------------------------------------------------------------- iso-curves

QvBSplineCurve* QvBSplineSurface::GetUIsoCurve(const double* pv) const
{
    if (!pv || !(*pv >= 0.0 && *pv <= 1.0) || !CanEvaluate())
        return nullptr;
    const int q = m_vDegree;
    const int nv = static_cast<int>(m_ctrlNet.front().size());
    const double* Uv = m_vKnots.m_values.data();
    const double v = std::clamp(*pv, Uv[q], Uv[nv]);
    const int sv = m_vKnots.FindSpan(q, v);
    qvnurbs::Scratch scratch;
    double* Nv = scratch.Get(3 * (static_cast<std::size_t>(q) + 1));
    qvnurbs::BasisValues(Uv, q, sv, v, Nv, Nv + q + 1);
    // Each row evaluated as a curve in v: the same basis for every row.
    std::vector<QvPoint> points;
    points.reserve(m_ctrlNet.size());
    for (const auto& row : m_ctrlNet)
    {
        double s[3];
        AddRow(Nv, row.data() + (sv - q), q, s);
        points.emplace_back(s[0], s[1], s[2]);
    }
    return new QvBSplineCurve(m_uKnots.m_values, points, m_uDegree, false);
}

QvBSplineCurve* QvBSplineSurface::GetVIsoCurve(const double* pu) const
{
    if (!pu || !(*pu >= 0.0 && *pu <= 1.0) || !CanEvaluate())
        return nullptr;
    const int p = m_uDegree;
    const int nu = static_cast<int>(m_ctrlNet.size());
    const int nv = static_cast<int>(m_ctrlNet.front().size());
    const double* Uu = m_uKnots.m_values.data();
    const double u = std::clamp(*pu, Uu[p], Uu[nu]);
    const int su = m_uKnots.FindSpan(p, u);
    qvnurbs::Scratch scratch;
    double* Nu = scratch.Get(3 * (static_cast<std::size_t>(p) + 1));
    qvnurbs::BasisValues(Uu, p, su, u, Nu, Nu + p + 1);
    std::vector<QvPoint> points;
    points.reserve(static_cast<std::size_t>(nv));
    for (int j = 0; j < nv; ++j)
    {
        double s[3] = {0.0, 0.0, 0.0};
        for (int k = 0; k <= p; ++k)
        {
            const QvPoint& P = m_ctrlNet[static_cast<std::size_t>(su - p + k)][static_cast<std::size_t>(j)];
            s[0] += Nu[k] * P.m_coord[0];
            s[1] += Nu[k] * P.m_coord[1];
            s[2] += Nu[k] * P.m_coord[2];
        }
        points.emplace_back(s[0], s[1], s[2]);
    }
    return new QvBSplineCurve(m_vKnots.m_values, points, m_vDegree, false);
}

// ---------------------------------------------------------------- constructions from curves

QvBSplineSurface* QvBSplineSurface::FromBoundaryCurves(const QvBSplineCurve* c0, const QvBSplineCurve* c1,
                                                       const QvBSplineCurve* c2, const QvBSplineCurve* c3)
{
    const QvBSplineCurve* inputs[4] = {c0, c1, c2, c3};
    for (const QvBSplineCurve* c : inputs)
    {
        // The three terms are combined entry by entry from straight cubics: only cubic boundaries
        // give nets of one size.
        if (!c || c->m_degree != 3 || !c->CanEvaluate())
            return nullptr;
    }
    QvBSplineCurve G0(*c0);
    QvBSplineCurve G1(*c1);
    QvBSplineCurve G2(*c2);
    QvBSplineCurve G3(*c3);
    if (!MakePairCompatible(G0, G2) || !MakePairCompatible(G1, G3))
        return nullptr;
    for (int k = 1; k <= 9; ++k)
    {
        const double t = k * 0.1;
        static_cast<void>(G0.InsertKnot(false, t));
        static_cast<void>(G2.InsertKnot(false, t));
        static_cast<void>(G1.InsertKnot(false, t));
        static_cast<void>(G3.InsertKnot(false, t));
    }
    // A refinement value that one side holds exactly and the other only within 1e-7 went into one of
    // them alone: bring the pairs together again.
    if (!MakePairCompatible(G0, G2) || !MakePairCompatible(G1, G3))
        return nullptr;

    const std::size_t m0 = G0.m_ctrlPoints.size();
    const std::size_t m1 = G1.m_ctrlPoints.size();

    auto surface = std::make_unique<QvBSplineSurface>();
    surface->m_uDegree = G1.m_degree;
    surface->m_vDegree = G0.m_degree;
    surface->m_uKnots = G1.m_knots;
    surface->m_vKnots = G0.m_knots;
    // P[i][j] = R1[i][j] + R2[j][i] - R3[i][j], summed into the net term by term.
    Net& P = surface->m_ctrlNet;
    P.assign(m1, std::vector<QvPoint>(m0));

    // R1: ruled between v = 0 and v = 1, refined to the v knots.
    Curve F;
    for (std::size_t i = 0; i < m1; ++i)
    {
        Curve line = StraightCubic(G1.m_ctrlPoints[i], G3.m_ctrlPoints[i]);
        if (!InsertMissing(*line, G0.m_knots.m_values) || line->m_ctrlPoints.size() != m0)
            return nullptr;
        P[i] = line->m_ctrlPoints;
        if (i == 0)
            F = std::move(line);
    }
    // R2: ruled between u = 0 and u = 1, refined to the u knots.
    Curve E0;
    Curve E1;
    for (std::size_t j = 0; j < m0; ++j)
    {
        Curve line = StraightCubic(G0.m_ctrlPoints[j], G2.m_ctrlPoints[j]);
        if (!InsertMissing(*line, G1.m_knots.m_values) || line->m_ctrlPoints.size() != m1)
            return nullptr;
        for (std::size_t i = 0; i < m1; ++i)
            P[i][j] += line->m_ctrlPoints[i];
        if (j == 0)
            E0 = std::make_unique<QvBSplineCurve>(*line);
        if (j == m0 - 1)
            E1 = std::move(line);
    }
    // R3: the bilinear corner term.
    for (std::size_t i = 0; i < m1; ++i)
    {
        Curve line = StraightCubic(E0->m_ctrlPoints[i], E1->m_ctrlPoints[i]);
        if (!InsertMissing(*line, F->m_knots.m_values) || line->m_ctrlPoints.size() != m0)
            return nullptr;
        for (std::size_t j = 0; j < m0; ++j)
            P[i][j] -= line->m_ctrlPoints[j];
    }
    if (!NetFinite(surface->m_ctrlNet))
        return nullptr;
    return surface.release();
}

QvBSplineSurface* QvBSplineSurface::Skin(const std::vector<QvBSplineCurve*>& curves)
{
    const std::size_t K = curves.size();
    if (K < 2)
        return nullptr;
    for (const QvBSplineCurve* c : curves)
        if (!c || !c->CanEvaluate() || c->m_degree < 1)
            return nullptr;
    if (!QvNurbsHelper::AreCompatible(curves))
        return nullptr;
    // Compatibility adds values but never multiplicity: curves that still differ give rows of
    // different lengths, which no net holds.
    const QvBSplineCurve& head = *curves.front();
    for (const QvBSplineCurve* c : curves)
        if (c->m_ctrlPoints.size() != head.m_ctrlPoints.size() || !SameKnots(c->m_knots, head.m_knots))
            return nullptr;

    const std::size_t n = head.m_ctrlPoints.size();
    const int q = static_cast<int>(std::min<std::size_t>(K - 1, 3));
    const int nv = static_cast<int>(K);
    auto surface = std::make_unique<QvBSplineSurface>();
    surface->Allocate(head.m_degree, q, static_cast<std::int32_t>(n), nv);
    for (std::size_t j = 0; j < n; ++j)
        for (std::size_t i = 0; i < K; ++i)
            surface->m_ctrlNet[j][i] = curves[i]->m_ctrlPoints[j];
    surface->m_uKnots = head.m_knots;

    // Skinning parameters: the chord-length parameters of the rows, averaged.
    std::vector<double> w(K, 0.0);
    std::vector<double> u;
    for (std::size_t j = 0; j < n; ++j)
    {
        u.clear();
        QvNurbsHelper::ChordLengthParameters(surface->m_ctrlNet[j], false, u);
        for (std::size_t k = 0; k < K; ++k)
            w[k] += u[k];
    }
    w[0] = 0.0;
    if (K >= 3)
        for (std::size_t k = 1; k + 1 < K; ++k)
            w[k] = w[k] / static_cast<double>(n);
    w[K - 1] = 1.0;
    surface->m_vKnots.SetForInterpolation(w, q, false);

    // Every row interpolates its K points at the same parameters with the same knots: one
    // factorisation serves them all. (Three curves are solved too, so that the middle one is met.)
    QvMatrix A(nv, nv);
    std::vector<double> N(static_cast<std::size_t>(3 * (q + 1)));
    for (int k = 0; k < nv; ++k)
    {
        const int span = surface->m_vKnots.FindSpan(q, w[static_cast<std::size_t>(k)]);
        qvnurbs::BasisValues(surface->m_vKnots.m_values.data(), q, span, w[static_cast<std::size_t>(k)], N.data(),
                             N.data() + q + 1);
        for (int l = 0; l <= q; ++l)
            A[k][span - q + l] = N[static_cast<std::size_t>(l)];
    }
    std::vector<int> pivots(static_cast<std::size_t>(nv), 0);
    if (!A.LUDecompose(pivots))
        return nullptr;
    for (auto& row : surface->m_ctrlNet)
        if (!A.LUBackSubstitutePoints(pivots, row))
            return nullptr;
    if (!NetFinite(surface->m_ctrlNet))
        return nullptr;
    return surface.release();
}

QvBSplineSurface* QvBSplineSurface::Sweep(const QvBSplineCurve* profile, const QvBSplineCurve* path)
{
    if (!profile || !path || !profile->CanEvaluate() || !path->CanEvaluate() || path->m_ctrlPoints.size() < 2)
        return nullptr;
    const std::vector<QvPoint>& Q = path->m_ctrlPoints;
    const std::size_t nu = Q.size();
    const std::size_t nv = profile->m_ctrlPoints.size();
    auto surface = std::make_unique<QvBSplineSurface>();
    surface->Allocate(path->m_degree, profile->m_degree, static_cast<std::int32_t>(nu), static_cast<std::int32_t>(nv));
    surface->m_uKnots = path->m_knots;
    surface->m_vKnots = profile->m_knots;
    surface->m_ctrlNet[0] = profile->m_ctrlPoints;
    QvVector d = Q[1] - Q[0];
    for (std::size_t a = 1; a < nu; ++a)
    {
        const QvVector dn = Q[a] - Q[a - 1];
        const QvMatrix R(d, dn);
        const std::vector<QvPoint>& prev = surface->m_ctrlNet[a - 1];
        std::vector<QvPoint>& row = surface->m_ctrlNet[a];
        for (std::size_t k = 0; k < nv; ++k)
            row[k] = Q[a] + R * (prev[k] - Q[a - 1]);
        d = dn;
    }
    if (!NetFinite(surface->m_ctrlNet))
        return nullptr;
    return surface.release();
}

QvBSplineSurface* QvBSplineSurface::Tube(const QvCircle& circle, const QvBSplineCurve* path)
{
    if (!path || !path->CanEvaluate() || path->m_ctrlPoints.size() < 2)
        return nullptr;
    const QvVector& n = circle.m_normal;
    QvVector e1(1.0, 0.0, 0.0);
    if (!(std::fabs(n[0]) < 1e-7))
    {
        e1 = QvVector(-n[1], n[0], 0.0);
        e1.Normalize();
    }
    QvVector e2 = n.Cross(e1);
    e2.Normalize();
    std::vector<QvPoint> points;
    points.reserve(40);
    const double r = circle.m_radius;
    for (int k = 0; k < 40; ++k)
    {
        const double t = k * kQvPi / 20.0;
        points.push_back(circle.m_centre + e1 * (r * std::cos(t)) + e2 * (r * std::sin(t)));
    }
    const Curve profile(QvBSplineCurve::Fit(points, {}, true, 1e-5));
    if (!profile)
        return nullptr;
    return Sweep(profile.get(), path);
}

// ---------------------------------------------------------------- least-squares surface

void QvBSplineSurface::SetUParameters(const std::vector<double>& t) { MapToUnit(t, m_uParams); }

void QvBSplineSurface::SetVParameters(const std::vector<double>& t) { MapToUnit(t, m_vParams); }

void QvBSplineSurface::SetupKnots()
{
    const auto nu = static_cast<std::int32_t>(m_ctrlNet.size());
    const auto nv = static_cast<std::int32_t>(m_ctrlNet.empty() ? 0 : m_ctrlNet.front().size());
    std::vector<double> u = m_uParams;
    std::vector<double> v = m_vParams;
    std::sort(u.begin(), u.end());
    std::sort(v.begin(), v.end());
    m_uKnots.SetForApproximation(u, nu, m_uDegree);
    m_vKnots.SetForApproximation(v, nv, m_vDegree);
}

void QvBSplineSurface::CollocationMatrix(QvMatrix& N, std::vector<std::vector<std::int32_t>>& lists, std::int32_t nu,
                                         std::int32_t nv) const
{
    const std::size_t m = std::min({m_dataPoints.size(), m_uParams.size(), m_vParams.size()});
    const int p = m_uDegree;
    const int q = m_vDegree;
    nu = std::max(nu, 0);
    nv = std::max(nv, 0);
    N.Create(static_cast<std::int32_t>(m), nu * nv);
    lists.assign(static_cast<std::size_t>(nu) * static_cast<std::size_t>(nv), {});
    // Knots that do not fit the net have no basis to tabulate.
    if (p < 0 || q < 0 || nu < p + 1 || nv < q + 1 || m_uKnots.Size() != nu + p + 1 || m_vKnots.Size() != nv + q + 1)
        return;
    qvnurbs::Scratch scratch;
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;
    const std::size_t Q1 = static_cast<std::size_t>(q) + 1;
    double* Nu = scratch.Get(P1 + Q1 + 2 * std::max(P1, Q1));
    double* Nv = Nu + P1;
    double* work = Nv + Q1;
    const double* Uu = m_uKnots.m_values.data();
    const double* Uv = m_vKnots.m_values.data();
    for (std::size_t h = 0; h < m; ++h)
    {
        const double u = std::clamp(m_uParams[h], Uu[p], Uu[nu]);
        const double v = std::clamp(m_vParams[h], Uv[q], Uv[nv]);
        const int su = m_uKnots.FindSpan(p, u);
        const int sv = m_vKnots.FindSpan(q, v);
        qvnurbs::BasisValues(Uu, p, su, u, Nu, work);
        qvnurbs::BasisValues(Uv, q, sv, v, Nv, work);
        double* row = N[static_cast<int>(h)];
        for (int i = su - p; i <= su; ++i)
            for (int j = sv - q; j <= sv; ++j)
            {
                const int col = i * nv + j;
                row[col] = Nu[i - (su - p)] * Nv[j - (sv - q)];
                lists[static_cast<std::size_t>(col)].push_back(static_cast<std::int32_t>(h));
            }
    }
}

bool QvBSplineSurface::LeastSquaresFit(std::int32_t nu, std::int32_t nv)
{
    Allocate(m_uDegree, m_vDegree, nu, nv);
    const std::size_t m = m_dataPoints.size();
    if (m_uDegree < 0 || m_vDegree < 0 || nu < m_uDegree + 1 || nv < m_vDegree + 1 || m_uParams.size() != m ||
        m_vParams.size() != m)
        return false;
    SetupKnots();
    // Fewer parameters than control points leave the knot rule without knots.
    if (m_uKnots.Size() != nu + m_uDegree + 1 || m_vKnots.Size() != nv + m_vDegree + 1)
        return false;

    QvMatrix N;
    std::vector<std::vector<std::int32_t>> lists;
    CollocationMatrix(N, lists, nu, nv);
    const int cols = nu * nv;
    QvMatrix A(cols, cols);
    for (int j = 0; j < cols; ++j)
    {
        const auto& lj = lists[static_cast<std::size_t>(j)];
        if (lj.empty())
            continue;
        for (int k = 0; k < cols; ++k)
        {
            const auto& lk = lists[static_cast<std::size_t>(k)];
            if (lk.empty())
                continue;
            const int from = std::max(lj.front(), lk.front());
            const int to = std::min(lj.back(), lk.back());
            double s = 0.0;
            for (int h = from; h <= to; ++h)
                s += N[h][j] * N[h][k];
            A[j][k] = s;
        }
    }
    std::vector<QvPoint> B(static_cast<std::size_t>(cols));
    for (int k = 0; k < cols; ++k)
    {
        double s[3] = {0.0, 0.0, 0.0};
        for (std::int32_t h : lists[static_cast<std::size_t>(k)])
        {
            const double w = N[h][k];
            const QvPoint& d = m_dataPoints[static_cast<std::size_t>(h)];
            s[0] += w * d.m_coord[0];
            s[1] += w * d.m_coord[1];
            s[2] += w * d.m_coord[2];
        }
        B[static_cast<std::size_t>(k)] = QvPoint(s[0], s[1], s[2]);
    }
    std::vector<int> pivots(static_cast<std::size_t>(cols), 0);
    if (!A.LUDecompose(pivots) || !A.LUBackSubstitutePoints(pivots, B))
        return false;
    for (const QvPoint& b : B)
        if (!IsFinite(b))
            return false;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j)
            m_ctrlNet[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] =
                B[static_cast<std::size_t>(i * nv + j)];
    return true;
}

QvBSplineSurface* QvBSplineSurface::FitPoints(const std::vector<QvPoint>& points)
{
    if (points.size() <= 2)
        return nullptr;
    for (const QvPoint& p : points)
        if (!IsFinite(p))
            return nullptr;
    const std::unique_ptr<QvPlane> plane(QvPlane::FitPoints(points));
    if (!plane)
        return nullptr;
    const std::unique_ptr<QvFrame> frame(QvFrame::FitPoints(points, true));
    if (!frame)
        return nullptr;
    std::vector<double> s(points.size());
    std::vector<double> t(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
    {
        const QvVector d = plane->ProjectPoint(points[i]) - frame->m_centre;
        s[i] = d.Dot(frame->m_dirZ);
        t[i] = d.Dot(frame->m_dirY);
    }
    for (const std::vector<double>* list : {&s, &t})
    {
        const auto [lo, hi] = std::minmax_element(list->begin(), list->end());
        // Points without spread in one direction of the plane span no surface.
        if (!(*hi - *lo > 0.0))
            return nullptr;
    }
    QvBSplineSurface work;
    work.m_dataPoints = points;
    MapToUnit(s, work.m_uParams);
    MapToUnit(t, work.m_vParams);
    work.m_uDegree = 3;
    work.m_vDegree = 3;
    if (!work.LeastSquaresFit(10, 8))
        return nullptr;
    return new QvBSplineSurface(work);
}

bool QvBSplineSurface::Fit(const std::vector<std::int32_t>& fitIndices, double fitValue)
{
    if (m_dataPoints.size() < 3)
        return false;
    m_fitIndices = fitIndices;
    m_fitValue = fitValue;
    if (!m_uParams.empty() && !m_vParams.empty())
    {
        m_uDegree = 3;
        m_vDegree = 3;
        return LeastSquaresFit(10, 8);
    }
    const std::unique_ptr<QvBSplineSurface> s(FitPoints(m_dataPoints));
    if (!s)
        return false;
    // The caller's list and value stay: the fitted surface has none of its own to give.
    const std::vector<std::int32_t> indices = m_fitIndices;
    *this = *s;
    m_fitIndices = indices;
    m_fitValue = fitValue;
    return true;
}

void QvBSplineSurface::Transform(const QvMatrix& m)
{
    if (m_ctrlNet.empty())
        return;
    for (auto& row : m_ctrlNet)
        for (QvPoint& p : row)
            p = m * p;
    for (QvPoint& p : m_dataPoints)
        p = m * p;
}
