// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvInterpolation.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include <Eigen/Core>
#include <Eigen/LU>

#include "core/geometry/QvMatrix.h"

void QvThinPlateSpline::SetSamples(const std::vector<QvTpsSample>& samples)
{
    m_samples = samples;
    m_bSolved = false;
}

bool QvThinPlateSpline::Solve()
{
    if (m_bSolved)
        return true;
    m_bSolved = BuildSystem();
    return m_bSolved;
}

double QvThinPlateSpline::Kernel(double r)
{
    return std::pow(r, 3);
}

bool QvThinPlateSpline::BuildSystem()
{
    const int n = static_cast<int>(m_samples.size());
    if (n == 0)
        return false;

    const int order = n + 5;
    Eigen::MatrixXd m = Eigen::MatrixXd::Zero(order, order);
    for (int i = 0; i < n + 4; ++i)
    {
        m(n + 4, i) = 1.0;
        m(i, n + 4) = 1.0;
    }
    for (int j = 0; j < n; ++j)
    {
        for (int k = 0; k < n; ++k)
        {
            const double d = Kernel(m_samples[j].m_position.Distance(m_samples[k].m_position));
            m(j, k) = d;
            m(k, j) = d;
        }
    }
    for (int j = 0; j < n; ++j)
    {
        const QvPoint& p = m_samples[j].m_position;
        m(j, n) = m(n, j) = 1.0;
        m(j, n + 1) = m(n + 1, j) = p[0];
        m(j, n + 2) = m(n + 2, j) = p[1];
        m(j, n + 3) = m(n + 3, j) = p[2];
    }

    Eigen::VectorXd rhs = Eigen::VectorXd::Zero(order);
    for (int j = 0; j < n; ++j)
        rhs(j) = m_samples[j].m_value;

    // The kernel diagonal is zero, so the factorisation has to pivot; full pivoting also
    // tells a singular system (too few or degenerate samples) by a threshold relative to
    // the matrix, so that samples in micrometres or metres are judged alike.
    const Eigen::FullPivLU<Eigen::MatrixXd> lu(m);
    if (!lu.isInvertible())
        return false;
    const Eigen::VectorXd c = lu.solve(rhs);
    if (!c.allFinite())
        return false;
    m_coefficients.assign(c.data(), c.data() + order);
    return true;
}

double QvThinPlateSpline::Evaluate(const QvPoint& p)
{
    if (!Solve())
        return std::numeric_limits<double>::max();
    const std::size_t n = m_samples.size();
    const std::vector<double>& c = m_coefficients;
    double f = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        f += c[i] * Kernel(p.Distance(m_samples[i].m_position));
    f += c[n] + c[n + 1] * p[0] + c[n + 2] * p[1] + c[n + 3] * p[2];
    return f;
}

QvVector QvThinPlateSpline::Gradient(const QvPoint& p)
{
    if (!Solve())
        return QvVector(0.0, 0.0, 0.0);
    const std::size_t n = m_samples.size();
    const std::vector<double>& c = m_coefficients;
    QvVector g;
    for (std::size_t i = 0; i < n; ++i)
    {
        const QvVector d = p - m_samples[i].m_position;
        g += d * (c[i] * d.Length());
    }
    g = g * 3.0;
    g += QvVector(c[n + 1], c[n + 2], c[n + 3]);
    return g;
}

QvVector QvThinPlateSpline::Normal(const QvPoint& p)
{
    QvVector g = Gradient(p);
    g.Normalize();
    return -g;
}

QvPoint QvThinPlateSpline::ProjectToSurface(const QvPoint& p)
{
    QvPoint cur = p;
    for (int pass = 0; pass < 10; ++pass)
    {
        const QvPoint prev = cur;
        const double f = Evaluate(prev);
        const QvVector g = Gradient(prev);
        // A flat spot (or an unsolvable field) gives no direction to step in.
        if (g.IsZero())
            return prev;
        cur = prev - g * (f / g.SquaredLength());
        if (cur.Distance(prev) <= 1e-4)
            break;
    }
    return cur;
}

QvMultiquadricInterpolator::QvMultiquadricInterpolator(const std::vector<QvPoint>& values,
                                                       const std::vector<double>& x,
                                                       const std::vector<double>& y, const double& c)
    : m_x(x), m_y(y), m_c(c), m_values(values)
{
}

void QvMultiquadricInterpolator::SetSamples(const std::vector<double>& x, const std::vector<double>& y,
                                            double c)
{
    m_x = x;
    m_y = y;
    m_c = c;
}

void QvMultiquadricInterpolator::SetValues(const std::vector<QvPoint>& values)
{
    m_values = values;
}

bool QvMultiquadricInterpolator::Solve()
{
    m_weights.clear();
    const int n = static_cast<int>(m_values.size());
    if (n == 0 || m_x.size() < m_values.size() || m_y.size() < m_values.size())
        return false;

    const double c2 = m_c * m_c;
    Eigen::MatrixXd m(n + 1, n + 1);
    for (int j = 0; j < n; ++j)
    {
        for (int i = 0; i < n; ++i)
        {
            const double dy = m_y[i] - m_y[j];
            const double dx = m_x[i] - m_x[j];
            m(i, j) = std::sqrt(dy * dy + dx * dx + c2);
        }
        m(j, n) = 1.0;
        m(n, j) = 1.0;
    }
    m(n, n) = 0.0;

    // The bordered system is indefinite and its leading pivots shrink with the shape
    // constant: on real holes, with samples micrometres apart in the parameter plane, a
    // factorisation without pivoting gives up on systems that are well solvable. Partial
    // pivoting solves the same system; only a numerically singular one (two samples at
    // one point) is refused.
    const Eigen::PartialPivLU<Eigen::MatrixXd> lu(m);
    const Eigen::VectorXd pivots = lu.matrixLU().diagonal().cwiseAbs();
    if (!(pivots.minCoeff() > pivots.maxCoeff() * 1e-14))
        return false;

    Eigen::MatrixXd b(n + 1, 3);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 3; ++k)
            b(i, k) = m_values[i][k];
    b.row(n).setZero();
    const Eigen::MatrixXd x = lu.solve(b);
    if (!x.allFinite())
        return false;

    std::vector<QvPoint> weights(static_cast<std::size_t>(n) + 1);
    for (int i = 0; i <= n; ++i)
        weights[i] = QvPoint(x(i, 0), x(i, 1), x(i, 2));
    m_weights = std::move(weights);
    return true;
}

QvPoint QvMultiquadricInterpolator::Evaluate(double x, double y) const
{
    if (m_weights.empty())
        return QvPoint(0.0, 0.0, 0.0);
    const std::size_t n = m_weights.size() - 1;
    if (m_x.size() < n || m_y.size() < n)
        return QvPoint(0.0, 0.0, 0.0);

    const double c2 = m_c * m_c;
    QvPoint result = m_weights[n];
    for (std::size_t i = 0; i < n; ++i)
    {
        const double dy = y - m_y[i];
        const double dx = x - m_x[i];
        result += m_weights[i] * std::sqrt(c2 + dy * dy + dx * dx);
    }
    return result;
}
