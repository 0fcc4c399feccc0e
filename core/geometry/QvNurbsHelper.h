// SPDX-License-Identifier: GPL-3.0-or-later
// Class-level B-spline operations: chord-length parameters, basis functions with their
// derivatives, the Gauss-Legendre table, and making curves share one knot vector.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/geometry/QvKnotVector.h"
#include "core/geometry/QvPoint.h"

class QvBSplineCurve;

class QvNurbsHelper
{
public:
    QvNurbsHelper() = default;
    virtual ~QvNurbsHelper() = default;

    // u gets one entry per segment plus one (N open, N+1 closed): 0, the running chord-length
    // fractions, and exactly 1.0 last. A single open point gives the one entry 1.0; coincident
    // points (zero total length) give evenly spaced parameters; no points give an empty list.
    static void ChordLengthParameters(const std::vector<QvPoint>& points, bool closed, std::vector<double>& u);

    // ders[r][j]: the r-th derivative of basis function span-p+j at t, r = 0..min(p, k).
    // A knot vector too short for degree p (fewer than 2p+2 knots) or p < 0 gives no rows and span -1.
    static void BasisFunctions(const QvKnotVector& knots, std::int32_t p, std::int32_t k,
                               std::vector<std::vector<double>>& ders, std::int32_t& span, double t);

    // order/2 + 1 points, abscissae ascending on [-1, 1], exact for polynomials up to that order.
    // Orders 2..21 come from the 12-digit table; orders below 2 give the one-point rule (0, 2);
    // higher orders are computed to full precision.
    static void GaussLegendre(std::int32_t order, std::vector<double>& x, std::vector<double>& w);

    // Refines the curves in place to common knot values; false, and nothing changed, when the
    // degrees differ. Fewer than two curves: true.
    [[nodiscard]] static bool AreCompatible(const std::vector<QvBSplineCurve*>& curves);
};

// Allocation-free kernels behind the evaluators of curves and surfaces.
namespace qvnurbs {

// Doubles of work space BasisDerivatives needs for degree p (its output not included).
constexpr int BasisWorkSize(int p) { return (p + 1) * (p + 1) + 4 * (p + 1); }

// Values N[0..p] of the non-zero basis functions of `span` at t (U holds the knots).
// work: at least 2(p+1) doubles. Inline, so that a constant degree unrolls.
inline void BasisValues(const double* U, int p, int span, double t, double* N, double* work)
{
    double* left = work;
    double* right = work + (p + 1);
    N[0] = 1.0;
    for (int j = 1; j <= p; ++j)
    {
        left[j] = t - U[span + 1 - j];
        right[j] = U[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r)
        {
            const double temp = N[r] / (right[r + 1] + left[j - r]);
            N[r] = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        N[j] = saved;
    }
}

// ders[r*(p+1) + j], r = 0..nk (nk <= p): the r-th derivative of basis function span-p+j at t.
// work: BasisWorkSize(p) doubles.
inline void BasisDerivatives(const double* U, int p, int span, int nk, double t, double* ders, double* work)
{
    const int P = p + 1;
    double* ndu = work;       // ndu[j * P + r]
    double* a = ndu + P * P;  // two rows of P
    double* left = a + 2 * P; // P
    double* right = left + P; // P
    auto NDU = [ndu, P](int row, int col) -> double& { return ndu[row * P + col]; };
    auto A = [a, P](int row, int col) -> double& { return a[row * P + col]; };

    NDU(0, 0) = 1.0;
    for (int j = 1; j <= p; ++j)
    {
        left[j] = t - U[span + 1 - j];
        right[j] = U[span + j] - t;
        double saved = 0.0;
        for (int r = 0; r < j; ++r)
        {
            NDU(j, r) = right[r + 1] + left[j - r];
            const double temp = NDU(r, j - 1) / NDU(j, r);
            NDU(r, j) = saved + right[r + 1] * temp;
            saved = left[j - r] * temp;
        }
        NDU(j, j) = saved;
    }
    for (int j = 0; j <= p; ++j)
        ders[j] = NDU(j, p);

    for (int r = 0; r <= p; ++r)
    {
        std::fill(a, a + 2 * P, 0.0);
        int s1 = 0;
        int s2 = 1;
        A(0, 0) = 1.0;
        for (int q = 1; q <= nk; ++q)
        {
            double d = 0.0;
            const int rk = r - q;
            const int pk = p - q;
            if (r >= q)
            {
                A(s2, 0) = A(s1, 0) / NDU(pk + 1, rk);
                d = A(s2, 0) * NDU(rk, pk);
            }
            const int j1 = rk >= -1 ? 1 : -rk;
            const int j2 = (r - 1 <= pk) ? q - 1 : p - r;
            for (int j = j1; j <= j2; ++j)
            {
                A(s2, j) = (A(s1, j) - A(s1, j - 1)) / NDU(pk + 1, rk + j);
                d += A(s2, j) * NDU(rk + j, pk);
            }
            if (r <= pk)
            {
                A(s2, q) = -A(s1, q - 1) / NDU(pk + 1, r);
                d += A(s2, q) * NDU(r, pk);
            }
            ders[q * P + r] = d;
            std::swap(s1, s2);
        }
    }

    int f = p;
    for (int q = 1; q <= nk; ++q)
    {
        for (int j = 0; j <= p; ++j)
            ders[q * P + j] *= f;
        f *= (p - q);
    }
}

// The tabulated rule for orders 2..21 (abscissae and weights, count order/2+1); null outside.
int GaussLegendreTable(int order, const double** x, const double** w);

// Fixed-size scratch on the stack for the usual degrees, the heap beyond them.
class Scratch
{
public:
    double* Get(std::size_t n)
    {
        if (n <= kInline)
            return m_inline;
        m_heap.resize(n);
        return m_heap.data();
    }

private:
    static constexpr std::size_t kInline = 256;
    double m_inline[kInline];
    std::vector<double> m_heap;
};

} // namespace qvnurbs
