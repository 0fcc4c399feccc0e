// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/gum/QvGumHelpers.h"

#include <algorithm>
#include <limits>

#include "core/mesh/QvMesh.h"

void GumChordParameters(const std::vector<QvPoint>& points, std::vector<double>& params)
{
    const std::size_t n = points.size();
    params.assign(n, 0.0);
    if (n == 0)
        return;
    double total = 0.0;
    for (std::size_t j = 0; j + 1 < n; ++j)
        total += points[j].Distance(points[j + 1]);
    if (n >= 3)
    {
        // A chain of zero length has no chord: spread the parameters evenly.
        const bool even = !(total > 0.0);
        for (std::size_t k = 1; k + 1 < n; ++k)
            params[k] = even ? static_cast<double>(k) / static_cast<double>(n - 1)
                             : params[k - 1] + points[k - 1].Distance(points[k]) / total;
    }
    params[n - 1] = 1.0;
}

void GumEvenValues(int count, std::vector<double>& values, double a, double b)
{
    if (count <= 0)
        return;
    values.reserve(values.size() + static_cast<std::size_t>(count));
    if (count == 1)
    {
        values.push_back(a);
        return;
    }
    const double s = (b - a) / static_cast<double>(count - 1);
    for (int i = 0; i < count; ++i)
        values.push_back(std::min(b, a + static_cast<double>(i) * s));
}

void GumLerpPoints(const QvPoint& p0, const QvPoint& p1, const std::vector<double>& ts, std::vector<QvPoint>& out)
{
    out.reserve(out.size() + ts.size());
    for (const double t : ts)
    {
        const double w = 1.0 - t;
        out.emplace_back(p0[0] * w + p1[0] * t, p0[1] * w + p1[1] * t, p0[2] * w + p1[2] * t);
    }
}

void GumSegmentSamples(const QvPoint& p0, const QvPoint& p1, int count, std::vector<QvPoint>& out)
{
    std::vector<double> ts;
    GumEvenValues(count, ts, 0.0, 1.0);
    GumLerpPoints(p0, p1, ts, out);
}

void GumResampleAt(const std::vector<QvPoint>& points, const std::vector<double>& ts, std::vector<QvPoint>& out)
{
    const std::size_t n = points.size();
    if (n == 0)
        return;
    const std::size_t m = ts.size() >= 3 ? ts.size() : 2;
    if (n == 1)
    {
        out.insert(out.end(), m, points[0]);
        return;
    }
    std::vector<double> s;
    GumChordParameters(points, s);
    out.push_back(points[0]);
    for (std::size_t k = 1; k + 1 < m; ++k)
    {
        const double t = std::clamp(ts[k], 0.0, 1.0);
        std::size_t i = 1;
        while (i < n - 1 && !(s[i] > t))
            ++i;
        const double span = s[i] - s[i - 1];
        const double u = span > 0.0 ? std::clamp((t - s[i - 1]) / span, 0.0, 1.0) : 0.0;
        const QvPoint& a = points[i - 1];
        const QvPoint& b = points[i];
        const double w = 1.0 - u;
        out.emplace_back(a[0] * w + b[0] * u, a[1] * w + b[1] * u, a[2] * w + b[2] * u);
    }
    out.push_back(points[n - 1]);
}

void GumResampleEven(const std::vector<QvPoint>& points, int count, std::vector<QvPoint>& out)
{
    std::vector<double> ts;
    GumEvenValues(count, ts, 0.0, 1.0);
    GumResampleAt(points, ts, out);
}

void GumMiddleChain(const std::vector<QvPoint>& pointsA, const std::vector<int>& idxA,
                    const std::vector<QvPoint>& pointsB, const std::vector<int>& idxB, std::vector<QvPoint>& out)
{
    if (idxB.empty() || idxA.empty())
        return;
    std::vector<QvPoint> chainB;
    chainB.reserve(idxB.size());
    for (const int i : idxB)
        chainB.push_back(pointsB[static_cast<std::size_t>(i)]);
    std::vector<double> s;
    GumChordParameters(chainB, s);
    std::vector<QvPoint> chainA;
    chainA.reserve(idxA.size());
    for (auto it = idxA.rbegin(); it != idxA.rend(); ++it)
        chainA.push_back(pointsA[static_cast<std::size_t>(*it)]);
    std::vector<QvPoint> r;
    GumResampleAt(chainA, s, r);
    out.reserve(out.size() + chainB.size());
    for (std::size_t j = 0; j < chainB.size(); ++j)
    {
        // One B point still pairs with A's chain start (the resampling answers two points).
        const QvPoint& a = r[std::min(j, r.size() - 1)];
        out.push_back(QvPoint((a[0] + chainB[j][0]) * 0.5, (a[1] + chainB[j][1]) * 0.5, (a[2] + chainB[j][2]) * 0.5));
    }
}

int GumMostAlignedPoint(const QvPoint& origin, const QvPoint& target, const std::vector<QvPoint>& points, int skip)
{
    QvVector v = target - origin;
    v.Normalize();
    double best = -1.0;
    int index = -1;
    for (int i = 0; i < static_cast<int>(points.size()); ++i)
    {
        if (i == skip)
            continue;
        QvVector w = points[static_cast<std::size_t>(i)] - origin;
        w.Normalize();
        const double c = v.Dot(w);
        if (c > best)
        {
            best = c;
            index = i;
        }
    }
    return index;
}

int GumNearestPointInRange(const QvPoint& p, const std::vector<QvPoint>& points, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, static_cast<int>(points.size()) - 1);
    double best = std::numeric_limits<double>::max();
    int index = -1;
    for (int i = first; i <= last; ++i)
    {
        const double d = p.SquaredDistance(points[static_cast<std::size_t>(i)]);
        if (d < best)
        {
            best = d;
            index = i;
        }
    }
    return index;
}

int GumNearestPoint(const QvPoint& p, const std::vector<QvPoint>& points)
{
    return GumNearestPointInRange(p, points, 0, static_cast<int>(points.size()) - 1);
}

int GumNearestVertex(const QvPoint& p, const QvMesh& mesh, const int* first, const int* last)
{
    double best = std::numeric_limits<double>::max();
    int index = -1;
    for (const int* it = first; it < last; ++it)
    {
        const double d = p.SquaredDistance(mesh.m_vertices[static_cast<std::size_t>(*it)].m_point);
        if (d < best)
        {
            best = d;
            index = static_cast<int>(it - first);
        }
    }
    return index;
}

void GumLargestRingGap(const std::vector<int>& indices, int n, int& first, int& second)
{
    first = second = -1;
    const int c = static_cast<int>(indices.size());
    if (c == 0 || n <= 0)
        return;
    int bestGap = 0;
    int at = 0;
    for (int i = 0; i < c; ++i)
    {
        const int next = indices[static_cast<std::size_t>((i + 1) % c)];
        const int gap = ((next + n - indices[static_cast<std::size_t>(i)]) % n + n) % n;
        if (gap > bestGap)
        {
            bestGap = gap;
            at = i;
        }
    }
    int a = indices[static_cast<std::size_t>(at)];
    int b = indices[static_cast<std::size_t>((at + 1) % c)];
    if (a > b)
        std::swap(a, b);
    if (b - a > n / 2)
        std::swap(a, b);
    first = a;
    second = b;
}

double GumPolylineLength(const std::vector<QvPoint>& points)
{
    double length = 0.0;
    for (std::size_t i = 1; i < points.size(); ++i)
        length += points[i - 1].Distance(points[i]);
    return length;
}

std::vector<QvPoint> GumResampled(const std::vector<QvPoint>& points, int count)
{
    std::vector<QvPoint> out;
    GumResampleEven(points, count, out);
    return out;
}

std::vector<QvPoint> GumSlice(const std::vector<QvPoint>& points, int first, int last)
{
    const int n = static_cast<int>(points.size());
    if (n == 0)
        return {};
    first = std::clamp(first, 0, n - 1);
    last = std::clamp(last, first, n - 1);
    return std::vector<QvPoint>(points.begin() + first, points.begin() + last + 1);
}
