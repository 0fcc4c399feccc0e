// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvPolyline.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <deque>
#include <istream>
#include <memory>
#include <ostream>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvStreamIO.h"

namespace {

constexpr std::uint64_t kPointBytes = 24;
// Start of every nearest and extreme search: farther than any model coordinate.
constexpr double kFar = 1e10;
// Cosine of 0.1 degree: smaller turns do not make a hull vertex.
constexpr double kHullStraightCos = 0.9999984769132877;
// sqrt(2 pi) of the Gaussian weights.
constexpr double kSqrtTwoPi = 2.506628274631083;
// Corner windows reach this many neighbours each way.
constexpr int kCornerWindow = 6;

QvVector Normalized(QvVector v)
{
    v.Normalize();
    return v;
}

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Decimal int32 after optional white space and sign, read the same way in every locale;
// the character after the digits is left in the stream.
bool ReadDecimalInt32(std::istream& is, std::int32_t& value)
{
    using Traits = std::istream::traits_type;
    if (!is)
        return false;
    int c = is.peek();
    while (c != Traits::eof() && IsSpace(c))
    {
        is.get();
        c = is.peek();
    }
    bool negative = false;
    if (c == '+' || c == '-')
    {
        negative = c == '-';
        is.get();
        c = is.peek();
    }
    std::int64_t magnitude = 0;
    bool digits = false;
    while (c != Traits::eof() && c >= '0' && c <= '9')
    {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{1} << 31)
        {
            is.setstate(std::ios::failbit);
            return false;
        }
        digits = true;
        is.get();
        c = is.peek();
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (!digits || signedValue > INT32_MAX || signedValue < INT32_MIN)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

// Modular neighbour index for closed lists; k may exceed n.
int Wrap(int i, int n) { return ((i % n) + n) % n; }

double CrossZ(const QvVector& a, const QvVector& b) { return a[0] * b[1] - a[1] * b[0]; }

// Normal of a planar polygon: the first non-zero fan cross product, else the last one.
QvVector PolygonNormal(const std::vector<QvPoint>& p)
{
    QvVector n;
    for (std::size_t k = 2; k < p.size(); ++k)
    {
        n = (p[1] - p[0]).Cross(p[k] - p[0]);
        if (!n.IsZero())
            break;
    }
    n.Normalize();
    return n;
}

QvPoint MeanOf(const std::vector<QvPoint>& points)
{
    QvPoint sum(0.0, 0.0, 0.0);
    if (points.empty())
        return sum;
    for (const QvPoint& p : points)
        sum += p;
    return sum / static_cast<double>(points.size());
}

} // namespace

// ---------------------------------------------------------------- stream form

std::ostream& QvPolyline::Write(std::ostream& os, bool binary) const
{
    const auto count = static_cast<std::int32_t>(m_points.size());
    if (binary)
    {
        qvio::WriteI32(os, count);
    }
    else
    {
        char text[16];
        const std::to_chars_result r = std::to_chars(text, text + sizeof(text), count);
        os.write(text, r.ptr - text);
        os.put('\n');
        os.flush();
    }
    for (std::int32_t i = 0; i < count; ++i)
        m_points[static_cast<std::size_t>(i)].Write(os);
    return os;
}

bool QvPolyline::Read(std::istream& is, bool binary)
{
    std::int32_t count = 0;
    if (binary)
    {
        if (!qvio::ReadI32(is, count))
            return false;
    }
    else
    {
        if (!ReadDecimalInt32(is, count))
            return false;
        // The newline after the count.
        if (is.get() == std::istream::traits_type::eof())
            return false;
    }
    if (count == 0)
        return true;
    if (!qvio::CountFits(is, count, kPointBytes))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    // Grown as records arrive: a stream that cannot tell its length passes the count check.
    std::vector<QvPoint> points;
    points.reserve(static_cast<std::size_t>(std::min<std::int32_t>(count, 4096)));
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvPoint p;
        if (!p.Read(is))
            return false;
        points.push_back(p);
    }
    m_points = std::move(points);
    return true;
}

// ---------------------------------------------------------------- closing

bool QvPolyline::IsClosed() const { return m_points.size() >= 2 && m_points.front() == m_points.back(); }

void QvPolyline::Close()
{
    if (!m_points.empty() && !IsClosed())
    {
        const QvPoint first = m_points.front();
        m_points.push_back(first);
    }
}

void QvPolyline::Open()
{
    if (IsClosed())
        m_points.pop_back();
}

QvPoint QvPolyline::GetCentroid() const { return MeanOf(m_points); }

// ---------------------------------------------------------------- corners and smoothing

void QvPolyline::FindCorners(std::vector<std::pair<std::int32_t, double>>& out) const
{
    const int n = static_cast<int>(m_points.size());
    if (n == 0)
        return;
    const bool closed = n > 1 && m_points.front() == m_points.back();
    // Closed lists wrap, also for windows wider than the list; open ones stop at their ends.
    auto forward = [&](int i, int k) { return closed ? Wrap(i + k, n) : std::min(i + k, n - 1); };
    auto backward = [&](int i, int k) { return closed ? Wrap(i - k, n) : std::max(i - k, 0); };

    std::vector<double> sharp(static_cast<std::size_t>(n), -1.0);
    for (int i = 0; i < n; ++i)
    {
        for (int k = 1; k <= kCornerWindow; ++k)
        {
            QvVector a = m_points[forward(i, k)] - m_points[i];
            if (a.IsZero())
                continue;
            a.Normalize();
            for (int m = 1; m <= kCornerWindow; ++m)
            {
                QvVector b = m_points[backward(i, m)] - m_points[i];
                if (b.IsZero())
                    continue;
                b.Normalize();
                sharp[i] = std::max(sharp[i], a.Dot(b));
            }
        }
    }

    for (int i = 0; i < n; ++i)
    {
        if (sharp[i] == -1.0)
            continue;
        for (int k = 1; k <= kCornerWindow; ++k)
        {
            for (const int j : {forward(i, k), backward(i, k)})
            {
                if (j != i && sharp[i] > sharp[j])
                    sharp[j] = -1.0;
            }
        }
    }

    for (int i = 0; i < n; ++i)
    {
        if (sharp[i] > -1.0)
            out.emplace_back(i, sharp[i]);
    }
}

void QvPolyline::Smooth(std::int32_t a)
{
    const std::int64_t n = static_cast<std::int64_t>(m_points.size());
    // A window without neighbours has no spread to weight by.
    if (a < 1 || n < 2 * static_cast<std::int64_t>(a) || n < 3)
        return;
    std::vector<double> s;
    std::vector<double> w;
    for (std::int64_t c = 1; c <= n - 2; ++c)
    {
        const std::int64_t d = (a <= c && c < n - a) ? a : 1;
        const std::size_t first = static_cast<std::size_t>(c - d);
        const std::size_t size = static_cast<std::size_t>(2 * d + 1);
        s.assign(size, 0.0);
        for (std::size_t k = 1; k < size; ++k)
            s[k] = m_points[first + k].Distance(m_points[first + k - 1]);
        const double sd = s[static_cast<std::size_t>(d)];
        const double s2d = s[size - 1];
        const double sigma = sd < 0.5 * s2d ? std::fabs(s2d - sd) : sd;
        // Coincident window points give no spread: the point stays where it is.
        if (!(sigma > 0.0))
            continue;
        w.assign(size, 0.0);
        double weightSum = 0.0;
        QvPoint sum(0.0, 0.0, 0.0);
        for (std::size_t k = 0; k < size; ++k)
        {
            const double diff = s[k] - sd;
            w[k] = std::exp(-(diff * diff) / (2.0 * sigma * sigma)) / (sigma * kSqrtTwoPi);
            weightSum += w[k];
            sum += m_points[first + k] * w[k];
        }
        const QvPoint smoothed = sum / weightSum;
        if (std::isfinite(smoothed[0]) && std::isfinite(smoothed[1]) && std::isfinite(smoothed[2]))
            m_points[static_cast<std::size_t>(c)] = smoothed;
    }
}

// ---------------------------------------------------------------- crossings and hull

bool QvPolyline::IsSelfIntersecting() const
{
    const int n = static_cast<int>(m_points.size());
    if (n < 4)
        return false;
    const int m = n - 1;
    const bool closed = IsClosed();
    QvPoint meet;
    for (int i = 0; i < m; ++i)
    {
        const QvLineSeg si(m_points[i], m_points[i + 1]);
        for (int j = i + 2; j < m; ++j)
        {
            // The first and last segments of a closed list share the closing point.
            if (closed && i == 0 && j == m - 1)
                continue;
            if (si.Intersect(QvLineSeg(m_points[j], m_points[j + 1]), meet))
                return true;
        }
    }
    return false;
}

bool PolarAngleLess::operator()(const std::pair<QvPoint, int>& a, const std::pair<QvPoint, int>& b) const
{
    const QvVector da = a.first - m_pivot;
    const QvVector db = b.first - m_pivot;
    const double z = CrossZ(da, db);
    if (z > 0.0)
        return true;
    if (z == 0.0)
        return db.Length() > da.Length();
    return false;
}

bool QvPolyline::ConvexHull(std::vector<int>& out) const
{
    const int n = static_cast<int>(m_points.size());
    if (n <= 3)
    {
        for (int i = 0; i < n; ++i)
            out.push_back(i);
        return true;
    }
    const std::vector<QvPoint>& p = m_points;

    std::vector<std::pair<QvPoint, int>> candidates;
    candidates.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
    {
        const QvVector u = Normalized(p[i] - p[Wrap(i - 1, n)]);
        const QvVector v = Normalized(p[Wrap(i + 1, n)] - p[i]);
        if (u.Dot(v) > kHullStraightCos)
            continue;
        candidates.emplace_back(p[i], i);
    }

    double bestY = kFar;
    double bestX = kFar;
    std::size_t pivotAt = candidates.size();
    for (std::size_t c = 0; c < candidates.size(); ++c)
    {
        const QvPoint& q = candidates[c].first;
        if (q[1] < bestY || (q[1] == bestY && q[0] < bestX))
        {
            bestY = q[1];
            bestX = q[0];
            pivotAt = c;
        }
    }
    if (pivotAt == candidates.size())
        return false;
    std::swap(candidates[0], candidates[pivotAt]);
    // The angle order can be intransitive for nearly collinear points after rounding; a
    // merge sort stays within the range whatever the comparisons answer.
    std::stable_sort(candidates.begin() + 1, candidates.end(), PolarAngleLess(candidates[0].first));

    std::vector<int> hull;
    hull.reserve(candidates.size());
    for (const auto& c : candidates)
        hull.push_back(c.second);

    const QvPoint& pivot = p[hull[0]];
    for (std::size_t e = 3; e < hull.size(); ++e)
    {
        std::size_t f = 1;
        while (f + 1 < e)
        {
            const QvPoint& pf = p[hull[f]];
            const QvVector u = Normalized(pf - p[hull[f + 1]]);
            const QvVector v = Normalized(pivot - pf);
            const QvVector w = Normalized(p[hull[e]] - pf);
            // Pivot and the new point on opposite sides of the edge's line: the point
            // before the new one lies inside the hull.
            if (CrossZ(u, w) * CrossZ(u, v) < 0.0)
            {
                hull.erase(hull.begin() + static_cast<std::ptrdiff_t>(e - 1));
                --e;
            }
            else
            {
                ++f;
            }
        }
    }

    std::sort(hull.begin(), hull.end());
    out.insert(out.end(), hull.begin(), hull.end());
    return true;
}

// ---------------------------------------------------------------- nearest-neighbour chains

double QvPolyline::FindClosestPair(std::int32_t& i, std::int32_t& j) const
{
    i = -1;
    j = -1;
    double best = kFar;
    const int n = static_cast<int>(m_points.size());
    for (int a = 0; a < n; ++a)
    {
        for (int b = a + 1; b < n; ++b)
        {
            const double d = m_points[a].Distance(m_points[b]);
            if (d < best)
            {
                best = d;
                i = a;
                j = b;
            }
        }
    }
    return best;
}

std::int32_t QvPolyline::FindNearestUnvisited(std::int32_t i, const std::vector<bool>& visited) const
{
    const int n = static_cast<int>(m_points.size());
    if (i < 0 || i >= n)
        return -1;
    double best = kFar;
    std::int32_t found = -1;
    for (int k = 0; k < n; ++k)
    {
        if (static_cast<std::size_t>(k) < visited.size() && visited[k])
            continue;
        const double d = m_points[k].Distance(m_points[i]);
        if (d < best)
        {
            best = d;
            found = k;
        }
    }
    return found;
}

bool QvPolyline::SortByNearestNeighbour(std::vector<int>& out) const
{
    const std::size_t n = m_points.size();
    std::int32_t i = -1, j = -1;
    if (n == 0)
        return false;
    FindClosestPair(i, j);
    if (i < 0)
        return false;

    std::vector<bool> visited(n, false);
    visited[i] = true;
    visited[j] = true;
    std::deque<int> chain{i, j};
    while (chain.size() < n)
    {
        const int frontPoint = chain.front();
        const int backPoint = chain.back();
        const std::int32_t g = FindNearestUnvisited(frontPoint, visited);
        const std::int32_t o = FindNearestUnvisited(backPoint, visited);
        // Points 1e10 away from both ends are not chained; no partial order is given out.
        if (g < 0 && o < 0)
            return false;
        bool toFront = g >= 0;
        if (g >= 0 && o >= 0)
            toFront = m_points[g].Distance(m_points[frontPoint]) < m_points[o].Distance(m_points[backPoint]);
        if (toFront)
        {
            chain.push_front(g);
            visited[g] = true;
        }
        else
        {
            chain.push_back(o);
            visited[o] = true;
        }
    }
    out.insert(out.end(), chain.begin(), chain.end());
    return true;
}

void QvPolyline::ReorderByNearestNeighbour()
{
    if (m_points.empty())
        return;
    const bool wasClosed = IsClosed();
    if (wasClosed)
        m_points.pop_back();
    std::vector<int> chain;
    if (!SortByNearestNeighbour(chain))
    {
        // Only a lone point loses its closing copy; a list that could not be chained is kept.
        if (wasClosed && m_points.size() >= 2)
            Close();
        return;
    }
    std::vector<QvPoint> reordered;
    reordered.reserve(chain.size());
    for (const int k : chain)
        reordered.push_back(m_points[static_cast<std::size_t>(k)]);
    m_points = std::move(reordered);
    if (wasClosed)
        Close();
}

// ---------------------------------------------------------------- orientation and area

void QvPolyline::MakeCounterClockwise()
{
    const int n = static_cast<int>(m_points.size());
    int left = 0;
    int right = 0;
    for (int i = 0; i < n; ++i)
    {
        const QvVector in = m_points[i] - m_points[Wrap(i - 1, n)];
        const QvVector outgoing = m_points[Wrap(i + 1, n)] - m_points[i];
        const double z = CrossZ(in, outgoing);
        if (z > 0.0)
            ++left;
        else if (z < 0.0)
            ++right;
    }
    if (n >= 2 && right > left)
        std::reverse(m_points.begin(), m_points.end());
}

double QvPolyline::GetArea()
{
    if (m_points.empty())
        return 0.0;
    MakeCounterClockwise();
    const std::size_t n = m_points.size();
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
    {
        const QvPoint& a = m_points[i];
        const QvPoint& b = m_points[(i + 1) % n];
        sum += a[1] * b[2] - a[2] * b[1];
    }
    return std::fabs(0.5 * sum);
}

double GetPlanarPolygonArea(const std::vector<QvPoint>& points)
{
    if (points.size() < 3)
        return 0.0;
    const QvVector normal = PolygonNormal(points);
    double sum = 0.0;
    for (std::size_t k = 2; k < points.size(); ++k)
        sum += (points[k - 1] - points[0]).Cross(points[k] - points[0]).Dot(normal);
    return std::fabs(0.5 * sum);
}

QvPoint GetPlanarPolygonCentroid(const std::vector<QvPoint>& points)
{
    if (points.size() < 3)
        return MeanOf(points);
    const QvVector normal = PolygonNormal(points);
    double weightSum = 0.0;
    QvPoint sum(0.0, 0.0, 0.0);
    for (std::size_t k = 2; k < points.size(); ++k)
    {
        const double w = (points[k - 1] - points[0]).Cross(points[k] - points[0]).Dot(normal);
        QvPoint c = points[0];
        c += points[k - 1];
        c += points[k];
        sum += (c / 3.0) * w;
        weightSum += w;
    }
    // Without area (all points on a line, or lobes that cancel) the weights say nothing.
    if (weightSum == 0.0 || !std::isfinite(weightSum))
        return MeanOf(points);
    const QvPoint centroid = sum / weightSum;
    if (!std::isfinite(centroid[0]) || !std::isfinite(centroid[1]) || !std::isfinite(centroid[2]))
        return MeanOf(points);
    return centroid;
}

// ---------------------------------------------------------------- flattening

QvMatrix FlattenPointsToPlane(const std::vector<QvPoint>& in, std::vector<QvPoint>& out)
{
    const std::size_t n = in.size();
    out.assign(n, QvPoint(0.0, 0.0, 0.0));
    QvMatrix m(4, 4);
    m.SetIdentity();
    if (n == 1)
    {
        for (int r = 0; r < 3; ++r)
            m[r][3] = -in[0][r];
    }
    else if (n == 2)
    {
        const double d = in[1].Distance(in[0]);
        out[1] = QvPoint(d, 0.0, 0.0);
        const QvMatrix rotation(in[1] - in[0], out[1] - out[0]);
        QvMatrix turn(4, 4);
        turn.SetIdentity();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                turn[r][c] = rotation[r][c];
        QvMatrix shift(4, 4);
        shift.SetIdentity();
        for (int r = 0; r < 3; ++r)
            shift[r][3] = -in[0][r];
        m = turn * shift;
    }
    else if (n >= 3)
    {
        const QvVector x = Normalized(in[1] - in[0]);
        QvVector z;
        for (std::size_t k = 2; k < n; ++k)
        {
            z = x.Cross(in[k] - in[0]);
            if (!z.IsZero())
                break;
        }
        z.Normalize();
        const QvVector y = Normalized(z.Cross(x));
        const QvFrame local(in[0], x, y);
        const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
        const std::unique_ptr<QvMatrix> toLocal(local.GetTransformTo(world));
        m = *toLocal;
        for (std::size_t i = 0; i < n; ++i)
            out[i] = m * in[i];
    }
    // A rigid motion always inverts; only all-coincident points leave a singular matrix,
    // which then stays as it is.
    static_cast<void>(m.Invert());
    return m;
}
