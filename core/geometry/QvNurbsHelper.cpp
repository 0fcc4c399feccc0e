// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvNurbsHelper.h"

#include <algorithm>
#include <cmath>

namespace {

// Gauss-Legendre rules of 2..11 points, each value rounded to 12 significant digits.
constexpr double kX2[] = {-0.57735026919, 0.57735026919};
constexpr double kW2[] = {1.0, 1.0};
constexpr double kX3[] = {-0.774596669241, 0.0, 0.774596669241};
constexpr double kW3[] = {0.555555555556, 0.888888888889, 0.555555555556};
constexpr double kX4[] = {-0.861136311594, -0.339981043585, 0.339981043585, 0.861136311594};
constexpr double kW4[] = {0.347854845137, 0.652145154863, 0.652145154863, 0.347854845137};
constexpr double kX5[] = {-0.906179845939, -0.538469310106, 0.0, 0.538469310106, 0.906179845939};
constexpr double kW5[] = {0.236926885056, 0.478628670499, 0.568888888889, 0.478628670499, 0.236926885056};
constexpr double kX6[] = {-0.932469514203, -0.661209386466, -0.238619186083,
                          0.238619186083,  0.661209386466,  0.932469514203};
constexpr double kW6[] = {0.171324492379, 0.360761573048, 0.467913934573,
                          0.467913934573, 0.360761573048, 0.171324492379};
constexpr double kX7[] = {-0.949107912343, -0.741531185599, -0.405845151377, 0.0,
                          0.405845151377,  0.741531185599,  0.949107912343};
constexpr double kW7[] = {0.129484966169, 0.279705391489, 0.381830050505, 0.417959183673,
                          0.381830050505, 0.279705391489, 0.129484966169};
constexpr double kX8[] = {-0.960289856498, -0.796666477414, -0.525532409916, -0.183434642496,
                          0.183434642496,  0.525532409916,  0.796666477414,  0.960289856498};
constexpr double kW8[] = {0.10122853629,  0.222381034453, 0.313706645878, 0.362683783378,
                          0.362683783378, 0.313706645878, 0.222381034453, 0.10122853629};
constexpr double kX9[] = {-0.968160239508, -0.836031107327, -0.613371432701, -0.324253423404, 0.0,
                          0.324253423404,  0.613371432701,  0.836031107327,  0.968160239508};
constexpr double kW9[] = {0.0812743883616, 0.180648160695, 0.260610696403, 0.31234707704, 0.330239355001,
                          0.31234707704,   0.260610696403, 0.180648160695, 0.0812743883616};
constexpr double kX10[] = {-0.973906528517, -0.865063366689, -0.679409568299, -0.433395394129, -0.148874338982,
                           0.148874338982,  0.433395394129,  0.679409568299,  0.865063366689,  0.973906528517};
constexpr double kW10[] = {0.0666713443087, 0.149451349151, 0.219086362516, 0.26926671931,  0.295524224715,
                           0.295524224715,  0.26926671931,  0.219086362516, 0.149451349151, 0.0666713443087};
constexpr double kX11[] = {-0.978228658146, -0.887062599768, -0.730152005574, -0.519096129207,
                           -0.269543155952, 0.0,             0.269543155952,  0.519096129207,
                           0.730152005574,  0.887062599768,  0.978228658146};
constexpr double kW11[] = {0.0556685671162, 0.125580369465, 0.186290210928, 0.233193764592,
                           0.26280454451,   0.272925086778, 0.26280454451,  0.233193764592,
                           0.186290210928,  0.125580369465, 0.0556685671162};

constexpr const double* kTableX[] = {kX2, kX3, kX4, kX5, kX6, kX7, kX8, kX9, kX10, kX11};
constexpr const double* kTableW[] = {kW2, kW3, kW4, kW5, kW6, kW7, kW8, kW9, kW10, kW11};

// Newton on the Legendre polynomial of degree c, for rules beyond the table.
void ComputeGaussLegendre(int c, std::vector<double>& x, std::vector<double>& w)
{
    const double pi = std::acos(-1.0);
    for (int i = 0; i < c; ++i)
    {
        double z = std::cos(pi * (i + 0.75) / (c + 0.5));
        double dp = 1.0;
        for (int it = 0; it < 100; ++it)
        {
            double p0 = 1.0;
            double p1 = z;
            for (int k = 2; k <= c; ++k)
            {
                const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
                p0 = p1;
                p1 = p2;
            }
            dp = c * (z * p1 - p0) / (z * z - 1.0);
            const double dz = p1 / dp;
            z -= dz;
            if (std::fabs(dz) < 1e-16)
                break;
        }
        // Roots come out descending; store ascending.
        x[static_cast<std::size_t>(c - 1 - i)] = z;
        w[static_cast<std::size_t>(c - 1 - i)] = 2.0 / ((1.0 - z * z) * dp * dp);
    }
    if (c % 2 == 1)
        x[static_cast<std::size_t>(c / 2)] = 0.0;
}

} // namespace

namespace qvnurbs {

int GaussLegendreTable(int order, const double** x, const double** w)
{
    if (order < 2 || order > 21)
        return 0;
    const int c = order / 2 + 1;
    *x = kTableX[c - 2];
    *w = kTableW[c - 2];
    return c;
}

} // namespace qvnurbs

void QvNurbsHelper::ChordLengthParameters(const std::vector<QvPoint>& points, bool closed, std::vector<double>& u)
{
    u.clear();
    const std::size_t N = points.size();
    if (N == 0)
        return;
    const std::size_t s = closed ? N : N - 1;
    u.resize(s + 1, 0.0);
    double L = 0.0;
    for (std::size_t i = 0; i < s; ++i)
        L += points[(i + 1) % N].Distance(points[i]);
    // Without any length the fractions are 0/0: fall back to even spacing.
    const bool even = !(L > 0.0) || !std::isfinite(L);
    for (std::size_t j = 1; j < s; ++j)
    {
        if (even)
            u[j] = static_cast<double>(j) / static_cast<double>(s);
        else
            u[j] = u[j - 1] + points[j].Distance(points[j - 1]) / L;
    }
    u[s] = 1.0;
}

void QvNurbsHelper::BasisFunctions(const QvKnotVector& knots, std::int32_t p, std::int32_t k,
                                   std::vector<std::vector<double>>& ders, std::int32_t& span, double t)
{
    if (p < 0 || knots.Size() < 2 * p + 2)
    {
        ders.clear();
        span = -1;
        return;
    }
    span = knots.FindSpan(p, t);
    const int nk = std::clamp(k, 0, p);
    qvnurbs::Scratch scratch;
    const std::size_t P = static_cast<std::size_t>(p) + 1;
    double* out = scratch.Get(P * static_cast<std::size_t>(nk + 1) + static_cast<std::size_t>(qvnurbs::BasisWorkSize(p)));
    double* work = out + P * static_cast<std::size_t>(nk + 1);
    qvnurbs::BasisDerivatives(knots.m_values.data(), p, span, nk, t, out, work);
    ders.resize(static_cast<std::size_t>(nk) + 1);
    for (int r = 0; r <= nk; ++r)
        ders[r].assign(out + r * P, out + (r + 1) * P);
}

void QvNurbsHelper::GaussLegendre(std::int32_t order, std::vector<double>& x, std::vector<double>& w)
{
    const double* tx = nullptr;
    const double* tw = nullptr;
    if (const int c = qvnurbs::GaussLegendreTable(order, &tx, &tw); c > 0)
    {
        x.assign(tx, tx + c);
        w.assign(tw, tw + c);
        return;
    }
    if (order < 2)
    {
        x.assign(1, 0.0);
        w.assign(1, 2.0);
        return;
    }
    const int c = order / 2 + 1;
    x.assign(static_cast<std::size_t>(c), 0.0);
    w.assign(static_cast<std::size_t>(c), 0.0);
    ComputeGaussLegendre(c, x, w);
}
