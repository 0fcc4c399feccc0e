// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvKnotVector.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kKnotTolerance = 1e-7;

// Mean of u[i..i+p-1].
double Average(const std::vector<double>& u, std::size_t i, std::int32_t p)
{
    double s = 0.0;
    for (std::int32_t k = 0; k < p; ++k)
        s += u[i + static_cast<std::size_t>(k)];
    return s / p;
}

} // namespace

void QvKnotVector::Resize(std::int32_t n)
{
    m_values.clear();
    if (n > 0)
        m_values.resize(static_cast<std::size_t>(n), 0.0);
}

void QvKnotVector::SetForInterpolation(const std::vector<double>& u, std::int32_t p, bool closed)
{
    m_values.clear();
    const std::int32_t m = static_cast<std::int32_t>(u.size());
    if (m == 0 || p < 0)
        return;
    if (!closed)
    {
        m_values.assign(static_cast<std::size_t>(m + p + 1), 0.0);
        for (std::int32_t i = 0; i <= p; ++i)
            m_values[i] = u[0];
        for (std::int32_t i = m; i <= m + p; ++i)
            m_values[i] = u[m - 1];
        for (std::int32_t j = 1; j <= m - p - 1; ++j)
            m_values[p + j] = Average(u, static_cast<std::size_t>(j), p);
        return;
    }
    m_values.assign(static_cast<std::size_t>(m + 2 * p), 0.0);
    for (std::int32_t i = 0; i <= p; ++i)
        m_values[i] = u[0];
    for (std::int32_t i = 1; i <= m - 2; ++i)
        m_values[p + i] = u[i];
    for (std::int32_t i = m + p - 1; i <= m + 2 * p - 1; ++i)
        m_values[i] = u[m - 1];
}

void QvKnotVector::SetForTangentInterpolation(const std::vector<double>& u, std::int32_t p,
                                              const std::vector<std::int32_t>& indices)
{
    const std::int32_t k = static_cast<std::int32_t>(indices.size());
    if (k == 0)
    {
        SetForInterpolation(u, p, false);
        return;
    }
    m_values.clear();
    const std::int32_t m = static_cast<std::int32_t>(u.size());
    if (m == 0 || p < 1 || k > 2)
        return;
    m_values.assign(static_cast<std::size_t>(m + k + p + 1), 0.0);
    for (std::int32_t i = 0; i <= p; ++i)
        m_values[i] = u[0];
    for (std::int32_t i = m + k; i <= m + k + p; ++i)
        m_values[i] = u[m - 1];
    if (k == 2)
    {
        for (std::int32_t i = 0; i <= m - p; ++i)
            m_values[p + 1 + i] = Average(u, static_cast<std::size_t>(i), p);
    }
    else if (indices[0] == 0)
    {
        for (std::int32_t i = 0; i <= m - p - 1; ++i)
            m_values[p + 1 + i] = Average(u, static_cast<std::size_t>(i), p);
    }
    else
    {
        for (std::int32_t i = 1; i <= m - p; ++i)
            m_values[p + i] = Average(u, static_cast<std::size_t>(i), p);
    }
}

void QvKnotVector::SetForApproximation(const std::vector<double>& u, std::int32_t n, std::int32_t p)
{
    m_values.clear();
    const std::int32_t m = static_cast<std::int32_t>(u.size());
    if (p < 0 || n < p + 1 || m < n)
        return;
    m_values.assign(static_cast<std::size_t>(n + p + 1), 0.0);
    for (std::int32_t i = n; i <= n + p; ++i)
        m_values[i] = 1.0;

    // Cut the parameters into n consecutive groups of nearly equal size, one mean per group.
    std::vector<double> q(static_cast<std::size_t>(n), 0.0);
    double a = -1.0;
    std::int32_t start = 0;
    const double step = static_cast<double>(m) / static_cast<double>(n);
    for (std::int32_t i = 0; i < n; ++i)
    {
        a = a + step;
        std::int32_t b = static_cast<std::int32_t>(a + 0.5);
        b = std::clamp(b, start, m - 1);
        if (b == start)
        {
            q[i] = u[b];
        }
        else
        {
            double s = 0.0;
            for (std::int32_t r = start; r <= b; ++r)
                s += u[r];
            q[i] = s / (b - start + 1);
        }
        start = std::min(b + 1, m - 1);
    }
    for (std::int32_t j = 1; j <= n - p - 1; ++j)
        m_values[p + j] = Average(q, static_cast<std::size_t>(j), p);
}

void QvKnotVector::InsertAfter(std::int32_t i, double x)
{
    const std::int32_t at = std::clamp(i + 1, 0, Size());
    m_values.insert(m_values.begin() + at, x);
}

void QvKnotVector::Merge(const QvKnotVector& other, std::int32_t p)
{
    const std::vector<double> missing = qvknots::MissingKnots(m_values, other.m_values);
    for (double x : missing)
    {
        const std::int32_t n = Size() - p - 2;
        // Inside the domain the span places x; outside it (or on a vector too short for a
        // span) the sorted position does, so the vector stays sorted.
        if (p >= 0 && n >= p && x >= m_values[p] && x <= m_values[n + 1])
        {
            InsertAfter(FindSpan(p, x), x);
        }
        else
        {
            const auto at = std::upper_bound(m_values.begin(), m_values.end(), x);
            m_values.insert(at, x);
        }
    }
}

void QvKnotVector::Normalize()
{
    if (m_values.empty())
        return;
    const double f = m_values.front();
    const double l = m_values.back();
    if (!(l != f))
        return;
    const double s = 1.0 / (l - f);
    for (double& x : m_values)
        x = x * s - f * s;
}

namespace qvknots {

std::vector<double> MissingKnots(const std::vector<double>& mine, const std::vector<double>& other)
{
    std::vector<double> missing;
    std::size_t i = 0;
    std::size_t j = 0;
    while (j < other.size())
    {
        if (i == mine.size())
        {
            missing.insert(missing.end(), other.begin() + static_cast<std::ptrdiff_t>(j), other.end());
            break;
        }
        const double t = mine[i];
        const double o = other[j];
        if (o < t - kKnotTolerance)
        {
            missing.push_back(o);
            ++j;
        }
        else if (t < o - kKnotTolerance)
        {
            ++i;
        }
        else
        {
            ++i;
            ++j;
        }
    }
    return missing;
}

} // namespace qvknots
