// SPDX-License-Identifier: GPL-3.0-or-later
// Building curves from points: exact cubics, global interpolation, smoothed least squares and the
// tolerance-driven fit.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvBSplineFitDetail.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvNurbsHelper.h"

namespace {

constexpr double kSmoothing = 0.2;
constexpr std::int32_t kMaxFitControlPoints = 500;
constexpr double kThird = 0.3333333333333333;

using TangentList = std::vector<QvBSplineCurve::TangentCondition>;

bool AllFinite(const std::vector<QvPoint>& points)
{
    for (const QvPoint& p : points)
        if (!std::isfinite(p.m_coord[0]) || !std::isfinite(p.m_coord[1]) || !std::isfinite(p.m_coord[2]))
            return false;
    return true;
}

bool KnotsUsable(const std::vector<double>& U)
{
    for (std::size_t i = 0; i < U.size(); ++i)
        if (!std::isfinite(U[i]) || (i > 0 && !(U[i] >= U[i - 1])))
            return false;
    return true;
}

bool IndicesInRange(const std::vector<std::int32_t>& indices, std::size_t count)
{
    return std::all_of(indices.begin(), indices.end(),
                       [count](std::int32_t i) { return i >= 0 && static_cast<std::size_t>(i) < count; });
}

bool TangentsInRange(const TangentList* tangents, std::size_t count)
{
    if (!tangents)
        return true;
    return std::all_of(tangents->begin(), tangents->end(), [count](const QvBSplineCurve::TangentCondition& c) {
        return c.first >= 0 && static_cast<std::size_t>(c.first) < count;
    });
}

// LU solve in place; false for a singular system or a solution that is not finite.
bool SolvePoints(QvMatrix& K, std::vector<QvPoint>& rhs)
{
    std::vector<int> pivots(static_cast<std::size_t>(K.Rows()), 0);
    if (!K.LUDecompose(pivots))
        return false;
    if (!K.LUBackSubstitutePoints(pivots, rhs))
        return false;
    return AllFinite(rhs);
}

// Basis values and derivatives up to order nk at t, into ders[r*(p+1)+j]; the span.
int Basis(const QvKnotVector& knots, int p, int nk, double t, std::vector<double>& ders)
{
    const int span = knots.FindSpan(p, t);
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;
    ders.resize(P1 * static_cast<std::size_t>(nk + 1) + static_cast<std::size_t>(qvnurbs::BasisWorkSize(p)));
    qvnurbs::BasisDerivatives(knots.m_values.data(), p, span, nk, t, ders.data(),
                              ders.data() + P1 * static_cast<std::size_t>(nk + 1));
    return span;
}

// Square interpolation system: rows of points at u[0..N-1], then first-derivative rows for the
// tangent conditions, then (closed) the continuity rows c^(r)(start) = c^(r)(end), r < p.
bool SolveInterpolation(QvBSplineCurve& curve, const std::vector<QvPoint>& D, const std::vector<double>& u,
                        bool closed, const TangentList* tangents)
{
    const int p = curve.m_degree;
    const int N = static_cast<int>(D.size());
    const int nt = tangents ? static_cast<int>(tangents->size()) : 0;
    const int n = curve.m_knots.Size() - p - 1;
    if (p < 1 || n < p + 1 || n != N + nt + (closed ? p : 0) || static_cast<int>(u.size()) < N ||
        !KnotsUsable(curve.m_knots.m_values))
        return false;

    QvMatrix A(n, n);
    std::vector<QvPoint> rhs(static_cast<std::size_t>(n));
    std::vector<double> ders;
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;
    for (int i = 0; i < N; ++i)
    {
        const int span = Basis(curve.m_knots, p, 0, u[i], ders);
        for (int j = 0; j <= p; ++j)
            A[i][span - p + j] = ders[j];
        rhs[i] = D[i];
    }
    for (int e = 0; e < nt; ++e)
    {
        const auto& [index, vector] = (*tangents)[e];
        const int span = Basis(curve.m_knots, p, 1, u[index], ders);
        for (int j = 0; j <= p; ++j)
            A[N + e][span - p + j] = ders[P1 + j];
        rhs[N + e] = QvPoint(vector[0], vector[1], vector[2]);
    }
    if (closed)
    {
        const double start = curve.m_knots[p];
        const double end = curve.m_knots[n];
        for (int r = 0; r < p; ++r)
        {
            double* row = A[N + nt + r];
            const int s0 = Basis(curve.m_knots, p, r, start, ders);
            for (int j = 0; j <= p; ++j)
                row[s0 - p + j] += ders[static_cast<std::size_t>(r) * P1 + j];
            const int s1 = Basis(curve.m_knots, p, r, end, ders);
            for (int j = 0; j <= p; ++j)
                row[s1 - p + j] -= ders[static_cast<std::size_t>(r) * P1 + j];
        }
    }
    if (!SolvePoints(A, rhs))
        return false;
    curve.m_ctrlPoints = rhs;
    return true;
}

} // namespace

// ---------------------------------------------------------------- exact cubics

QvBSplineCurve* QvBSplineCurve::FromEndTangents(const QvPoint& p0, const QvPoint& p1, const QvVector& t0,
                                                const QvVector& t1)
{
    auto* curve = new QvBSplineCurve(std::vector<QvPoint>{p0, p1}, 3, false);
    QvNurbsHelper::ChordLengthParameters(curve->m_dataPoints, false, curve->m_params);
    curve->m_knots.m_values = {0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0};
    QvVector u = p1 - p0;
    u.Normalize();
    if (t0 == u && t1 == u)
    {
        const double third = (p1 - p0).Length() / 3.0;
        curve->m_ctrlPoints = {p0, p0 + t0 * third, p1 - t1 * third, p1};
    }
    else
    {
        curve->m_ctrlPoints = {p0, p0 + t0 * kThird, p1 - t1 * kThird, p1};
    }
    return curve;
}

QvBSplineCurve* QvBSplineCurve::FromThreePoints(const QvPoint& p0, const QvPoint& p1, const QvPoint& p2,
                                                const QvVector& t0, const QvVector& t2)
{
    const double a = p1.Distance(p0);
    const double b = p2.Distance(p1);
    // A middle point on an end leaves no room for the middle control point (it would be divided by ~0).
    if (IsZero(a) || IsZero(b))
        return FromEndTangents(p0, p2, t0, t2);
    const double u = a / (a + b);
    const QvPoint q1 = p0 + t0 * (u / 3.0);
    const QvPoint q3 = p2 - t2 * ((1.0 - u) / 3.0);
    const double c1 = (1.0 - u) * (1.0 - u);
    const double c3 = u * u;
    const double den = 2.0 * u * (1.0 - u);
    QvPoint q2;
    for (int k = 0; k < 3; ++k)
        q2.m_coord[k] = (p1.m_coord[k] - c1 * q1.m_coord[k] - c3 * q3.m_coord[k]) / den;
    auto* curve = new QvBSplineCurve(std::vector<QvPoint>{p0, p1, p2}, 3, false);
    curve->m_knots.m_values = {0.0, 0.0, 0.0, 0.0, u, 1.0, 1.0, 1.0, 1.0};
    curve->m_ctrlPoints = {p0, q1, q2, q3, p2};
    curve->m_params = {0.0, u, 1.0};
    return curve;
}

// ---------------------------------------------------------------- interpolation

QvBSplineCurve* QvBSplineCurve::Interpolate(const std::vector<QvPoint>& points, bool closed)
{
    const std::size_t N = points.size();
    if (N < 2)
        return nullptr;
    const int p = N == 2 ? 1 : (N == 3 ? 2 : 3);
    auto curve = std::make_unique<QvBSplineCurve>(points, p, closed);
    QvNurbsHelper::ChordLengthParameters(points, closed, curve->m_params);
    curve->m_knots.SetForInterpolation(curve->m_params, p, closed);
    if (N == 2 && !closed)
    {
        curve->m_ctrlPoints = points;
        return curve.release();
    }
    // Two closed points go through the general system too: there and back, with 3 control points.
    if (!SolveInterpolation(*curve, points, curve->m_params, closed, nullptr))
        return nullptr;
    return curve.release();
}

QvBSplineCurve* QvBSplineCurve::InterpolateWithKnots(const std::vector<QvPoint>& points, std::int32_t p,
                                                     const std::vector<double>& params,
                                                     const std::vector<double>& knots, bool closed)
{
    const std::size_t N = points.size();
    if (N < 2 || p < 1 || !KnotsUsable(knots))
        return nullptr;
    auto curve = std::make_unique<QvBSplineCurve>(points, knots, std::vector<QvPoint>{}, p, closed);
    if ((N == 2 || N == 3) && knots.size() == N + static_cast<std::size_t>(p) + 1)
    {
        curve->m_ctrlPoints = points;
        return curve.release();
    }
    if (!SolveInterpolation(*curve, points, params, closed, nullptr))
        return nullptr;
    return curve.release();
}

QvBSplineCurve* QvBSplineCurve::InterpolateWithTangents(const std::vector<QvPoint>& points,
                                                        const std::vector<TangentCondition>& tangents, bool closed)
{
    const std::size_t N = points.size();
    if (N < 2)
        return nullptr;
    if (tangents.empty())
        return Interpolate(points, closed);
    if (closed || tangents.size() > 2 || !TangentsInRange(&tangents, N))
        return nullptr;
    const int p = N == 2 ? 1 : (N == 3 ? 2 : 3);
    auto curve = std::make_unique<QvBSplineCurve>(points, p, false);
    QvNurbsHelper::ChordLengthParameters(points, false, curve->m_params);
    std::vector<std::int32_t> indices;
    for (const TangentCondition& c : tangents)
        indices.push_back(c.first);
    curve->m_knots.SetForTangentInterpolation(curve->m_params, p, indices);
    if (!SolveInterpolation(*curve, points, curve->m_params, false, &tangents))
        return nullptr;
    return curve.release();
}

// ---------------------------------------------------------------- least squares

void QvBSplineCurve::SetupKnots(bool interpolating)
{
    if (interpolating)
        m_knots.SetForInterpolation(m_params, m_degree, false);
    else
        m_knots.SetForApproximation(m_params, static_cast<std::int32_t>(m_ctrlPoints.size()), m_degree);
}

void QvBSplineCurve::SmoothingMatrix(std::int32_t k, QvMatrix& M, double& maxAbs) const
{
    maxAbs = 0.0;
    const int p = m_degree;
    const int n = static_cast<int>(m_ctrlPoints.size());
    if (p < 0 || n < p + 1 || m_knots.Size() < n + p + 1 || M.Rows() < n || M.Cols() < n)
        return;
    std::vector<double> gx;
    std::vector<double> gw;
    QvNurbsHelper::GaussLegendre(p, gx, gw);
    const int nq = static_cast<int>(gx.size());
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;

    // Derivatives of order k at every node of every span, computed once; above the degree they vanish.
    const int nk = std::clamp(k, 0, p);
    const bool vanish = k > p;
    const double* U = m_knots.m_values.data();
    std::vector<double> table(static_cast<std::size_t>(n - p) * nq * P1, 0.0);
    std::vector<double> ders(P1 * static_cast<std::size_t>(nk + 1) + static_cast<std::size_t>(qvnurbs::BasisWorkSize(p)));
    for (int s = p; s < n && !vanish; ++s)
    {
        const double a = U[s];
        const double b = U[s + 1];
        if (!(b > a))
            continue;
        const double h = (b - a) / 2.0;
        const double mid = (a + b) / 2.0;
        for (int q = 0; q < nq; ++q)
        {
            qvnurbs::BasisDerivatives(U, p, s, nk, mid + h * gx[q], ders.data(),
                                      ders.data() + P1 * static_cast<std::size_t>(nk + 1));
            std::copy_n(ders.data() + static_cast<std::size_t>(nk) * P1, P1,
                        table.data() + (static_cast<std::size_t>(s - p) * nq + q) * P1);
        }
    }

    std::vector<double> B(P1);
    for (int g = 0; g < n; ++g)
    {
        for (int s = std::max(g, p); s <= std::min(g + p, n - 1); ++s)
        {
            const double a = U[s];
            const double b = U[s + 1];
            // An empty span contributes nothing (and its basis is 0/0).
            if (!(b > a))
                continue;
            const double h = (b - a) / 2.0;
            std::fill(B.begin(), B.end(), 0.0);
            for (int q = 0; q < nq; ++q)
            {
                const double* vals = table.data() + (static_cast<std::size_t>(s - p) * nq + q) * P1;
                const double ng = vals[g - (s - p)];
                for (std::size_t l = 0; l < P1; ++l)
                    B[l] += gw[q] * ng * vals[l];
            }
            for (int i = s - p; i <= s; ++i)
                M[g][i] += h * B[static_cast<std::size_t>(i - s + p)];
        }
    }
    for (int i = 0; i < n; ++i)
        for (int j = i; j < n; ++j)
            maxAbs = std::max(maxAbs, std::fabs(M[i][j]));
}

void QvBSplineCurve::CollocationMatrix(QvMatrix& A, int* first, int* last, std::int32_t n) const
{
    const int p = m_degree;
    const int m = static_cast<int>(std::min(m_dataPoints.size(), m_params.size()));
    if (n <= 0)
        return;
    // Columns no data row reaches keep the one-row band [m-1, m-1], where they are zero.
    for (int j = 0; j < n; ++j)
    {
        first[j] = -1;
        last[j] = -1;
    }
    if (p < 0 || m_knots.Size() != n + p + 1 || A.Rows() < m || A.Cols() < n)
    {
        for (int j = 0; j < n; ++j)
            first[j] = last[j] = std::max(m - 1, 0);
        return;
    }
    std::vector<double> N(3 * (static_cast<std::size_t>(p) + 1));
    for (int i = 0; i < m; ++i)
    {
        const int span = m_knots.FindSpan(p, m_params[i]);
        qvnurbs::BasisValues(m_knots.m_values.data(), p, span, m_params[i], N.data(), N.data() + (p + 1));
        for (int j = 0; j <= p; ++j)
        {
            const int col = span - p + j;
            A[i][col] = N[j];
            if (first[col] < 0)
                first[col] = i;
            last[col] = i;
        }
    }
    for (int j = 0; j < n; ++j)
        if (first[j] < 0)
            first[j] = last[j] = std::max(m - 1, 0);
}

bool QvBSplineCurve::LeastSquares(std::int32_t n, const std::vector<std::int32_t>& fixed,
                                  const TangentList* tangents, bool closed, bool keepKnots, double w)
{
    const int p = m_degree;
    const int m = static_cast<int>(m_dataPoints.size());
    m_ctrlPoints.assign(static_cast<std::size_t>(std::max(n, 0)), QvPoint());
    if (p < 1 || n < p + 1 || m < 1 || static_cast<int>(m_params.size()) < m ||
        !IndicesInRange(fixed, static_cast<std::size_t>(m)) || !TangentsInRange(tangents, static_cast<std::size_t>(m)))
        return false;
    if (!keepKnots)
    {
        m_knots.Resize(n + p + 1);
        m_knots.SetForApproximation(m_params, n, p);
    }
    if (m_knots.Size() != n + p + 1 || !KnotsUsable(m_knots.m_values))
        return false;

    QvMatrix A(m, n);
    std::vector<int> first(static_cast<std::size_t>(n));
    std::vector<int> last(static_cast<std::size_t>(n));
    CollocationMatrix(A, first.data(), last.data(), n);
    double sMax = 0.0;
    const std::unique_ptr<QvMatrix> S(A.TransposeTimesSelf(first.data(), last.data(), &sMax));
    QvMatrix E(n, n);
    double eMax = 0.0;
    SmoothingMatrix(2, E, eMax);

    const int nf = static_cast<int>(fixed.size());
    const int nt = tangents ? static_cast<int>(tangents->size()) : 0;
    const int size = n + nf + nt + (closed ? p : 0);
    QvMatrix K(size, size);
    // Scaled so that the largest smoothing entry equals the largest data entry; without curvature
    // (degree 1) there is nothing to smooth.
    const bool smooth = eMax > 0.0;
    const double factor = smooth ? w * sMax / eMax : 0.0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            K[i][j] = smooth ? (1.0 - w) * (*S)[i][j] + factor * E[i][j] : (1.0 - w) * (*S)[i][j];

    std::vector<QvPoint> rhs(static_cast<std::size_t>(size));
    for (int j = 0; j < n; ++j)
    {
        QvPoint sum;
        for (int r = first[j]; r <= last[j]; ++r)
            sum += m_dataPoints[r] * A[r][j];
        rhs[j] = sum * (1.0 - w);
    }

    std::vector<double> ders;
    const std::size_t P1 = static_cast<std::size_t>(p) + 1;
    for (int k = 0; k < nf; ++k)
    {
        const int f = fixed[k];
        const int span = Basis(m_knots, p, 0, m_params[f], ders);
        for (int j = 0; j <= p; ++j)
        {
            K[span - p + j][n + k] = ders[j];
            K[n + k][span - p + j] = ders[j];
        }
        rhs[n + k] = m_dataPoints[f];
    }
    for (int e = 0; e < nt; ++e)
    {
        const auto& [index, vector] = (*tangents)[e];
        const int span = Basis(m_knots, p, 1, m_params[index], ders);
        const int c = n + nf + e;
        for (int j = 0; j <= p; ++j)
        {
            K[span - p + j][c] = ders[P1 + j];
            K[c][span - p + j] = ders[P1 + j];
        }
        rhs[c] = QvPoint(vector[0], vector[1], vector[2]);
    }
    if (closed)
    {
        // With few control points one column can carry terms from both ends: accumulate them.
        const double start = m_knots[p];
        const double end = m_knots[n];
        for (int r = 0; r < p; ++r)
        {
            const int c = n + nf + nt + r;
            const int s0 = Basis(m_knots, p, r, start, ders);
            for (int j = 0; j <= p; ++j)
            {
                K[s0 - p + j][c] += ders[static_cast<std::size_t>(r) * P1 + j];
                K[c][s0 - p + j] += ders[static_cast<std::size_t>(r) * P1 + j];
            }
            const int s1 = Basis(m_knots, p, r, end, ders);
            for (int j = 0; j <= p; ++j)
            {
                K[s1 - p + j][c] -= ders[static_cast<std::size_t>(r) * P1 + j];
                K[c][s1 - p + j] -= ders[static_cast<std::size_t>(r) * P1 + j];
            }
        }
    }

    if (!SolvePoints(K, rhs))
        return false;
    std::copy_n(rhs.begin(), n, m_ctrlPoints.begin());
    return true;
}

bool QvBSplineCurve::LeastSquaresOpen(std::int32_t n, const std::vector<std::int32_t>& fixed, bool keepKnots, double w)
{
    return LeastSquares(n, fixed, nullptr, false, keepKnots, w);
}

bool QvBSplineCurve::LeastSquaresClosed(std::int32_t n, const std::vector<std::int32_t>& fixed, bool keepKnots,
                                        double w)
{
    return LeastSquares(n, fixed, nullptr, true, keepKnots, w);
}

bool QvBSplineCurve::LeastSquaresOpenWithTangents(std::int32_t n, const std::vector<TangentCondition>& tangents,
                                                  const std::vector<std::int32_t>& fixed, bool keepKnots, double w)
{
    return LeastSquares(n, fixed, &tangents, false, keepKnots, w);
}

bool QvBSplineCurve::LeastSquaresClosedWithTangents(std::int32_t n, const std::vector<TangentCondition>& tangents,
                                                    const std::vector<std::int32_t>& fixed, bool keepKnots, double w)
{
    return LeastSquares(n, fixed, &tangents, true, keepKnots, w);
}

// ---------------------------------------------------------------- approximation and fits

QvBSplineCurve* QvBSplineCurve::Approximate(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                                            std::int32_t n, bool closed)
{
    if (points.size() < 2 || n < 4)
        return nullptr;
    auto curve = std::make_unique<QvBSplineCurve>(points, 3, closed);
    QvNurbsHelper::ChordLengthParameters(points, closed, curve->m_params);
    if (!curve->LeastSquares(n, fixed, nullptr, closed, false, kSmoothing))
        return nullptr;
    return curve.release();
}

namespace qvbspline_detail {

QvBSplineCurve* FitSearch(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                          const TangentList* tangents, bool closed, double tol, std::vector<std::int32_t>* tried)
{
    const std::size_t N = points.size();
    if (N < 2)
        return nullptr;
    if (N == 2)
    {
        QvVector u = points[1] - points[0];
        u.Normalize();
        return QvBSplineCurve::FromEndTangents(points[0], points[1], u, u);
    }
    if (N <= 4)
        return QvBSplineCurve::Interpolate(points, closed);
    if (!IndicesInRange(fixed, N) || !TangentsInRange(tangents, N))
        return nullptr;

    QvBSplineCurve work(points, 3, closed);
    QvNurbsHelper::ChordLengthParameters(points, closed, work.m_params);
    auto solve = [&](std::int32_t count) {
        if (tangents)
            return closed ? work.LeastSquaresClosedWithTangents(count, *tangents, fixed, false, kSmoothing)
                          : work.LeastSquaresOpenWithTangents(count, *tangents, fixed, false, kSmoothing);
        return closed ? work.LeastSquaresClosed(count, fixed, false, kSmoothing)
                      : work.LeastSquaresOpen(count, fixed, false, kSmoothing);
    };

    struct Stored
    {
        std::unique_ptr<QvBSplineCurve> curve;
        double deviation;
    };
    std::vector<Stored> stored;
    std::int32_t hi = static_cast<std::int32_t>(std::min<std::size_t>(N, kMaxFitControlPoints));
    std::int32_t lo = 5;
    std::int32_t n = (hi + 5) / 2;
    // The interval halves every round; the cap only guards against a logic slip.
    for (int round = 0; round < 64; ++round)
    {
        if (tried)
            tried->push_back(n);
        if (solve(n))
        {
            double dev = 0.0;
            for (std::size_t i = 0; i < N; ++i)
            {
                const double start = work.m_params[i];
                double t = 0.0;
                QvPoint q;
                if (work.ClosestPoint(points[i], t, q, &start))
                    dev = std::max(dev, points[i].SquaredDistance(q));
            }
            stored.push_back({std::make_unique<QvBSplineCurve>(work), dev});
            if (tol > dev)
                hi = n;
            else
                lo = n;
        }
        else
        {
            hi = n;
        }
        const std::int32_t next = (lo + hi + 1) / 2;
        if (next == n)
            break;
        n = next;
    }

    // Fewest control points within tolerance; else the smallest deviation outside it; else (all
    // deviations huge, or only a within-tolerance curve at the ceiling) the smallest deviation of all.
    int chosen = -1;
    for (std::size_t i = 0; i < stored.size(); ++i)
    {
        const Stored& s = stored[i];
        const auto count = s.curve->m_ctrlPoints.size();
        if (s.deviation < tol && count < static_cast<std::size_t>(kMaxFitControlPoints) &&
            (chosen < 0 || count < stored[chosen].curve->m_ctrlPoints.size()))
            chosen = static_cast<int>(i);
    }
    if (chosen < 0)
    {
        for (std::size_t j = 0; j < stored.size(); ++j)
            if (stored[j].deviation >= tol && stored[j].deviation < 1e16 &&
                (chosen < 0 || stored[j].deviation < stored[chosen].deviation))
                chosen = static_cast<int>(j);
    }
    if (chosen < 0)
    {
        for (std::size_t j = 0; j < stored.size(); ++j)
            if (chosen < 0 || stored[j].deviation < stored[chosen].deviation)
                chosen = static_cast<int>(j);
    }
    if (chosen < 0)
        return nullptr;
    return stored[chosen].curve.release();
}

} // namespace qvbspline_detail

QvBSplineCurve* QvBSplineCurve::Fit(const std::vector<QvPoint>& points, const std::vector<std::int32_t>& fixed,
                                    bool closed, double tol)
{
    return qvbspline_detail::FitSearch(points, fixed, nullptr, closed, tol, nullptr);
}

QvBSplineCurve* QvBSplineCurve::FitWithTangents(const std::vector<QvPoint>& points,
                                                const std::vector<std::int32_t>& fixed,
                                                const std::vector<TangentCondition>& tangents, bool closed,
                                                double tol)
{
    return qvbspline_detail::FitSearch(points, fixed, &tangents, closed, tol, nullptr);
}

QvBSplineCurve* QvBSplineCurve::FitWithKnots(const std::vector<QvPoint>& points, const std::vector<double>& knots,
                                             const std::vector<std::int32_t>& fixed, bool closed, double tol)
{
    if (points.size() < 2 || knots.size() < 8)
        return nullptr;
    auto curve = std::make_unique<QvBSplineCurve>(points, knots, std::vector<QvPoint>{}, 3, closed);
    QvNurbsHelper::ChordLengthParameters(points, closed, curve->m_params);
    const auto n = static_cast<std::int32_t>(knots.size()) - 4;
    if (!curve->LeastSquares(n, fixed, nullptr, closed, true, kSmoothing))
        return nullptr;
    return curve.release();
}
