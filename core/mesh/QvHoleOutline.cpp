// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mesh/QvHoleOutline.h"

#include <algorithm>
#include <cmath>

#include "core/mesh/QvMesh.h"

namespace {

struct P2
{
    double u;
    double v;
};

double Orient(const P2& a, const P2& b, const P2& c)
{
    return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

} // namespace

QvHoleOutline::QvHoleOutline(const QvMesh& mesh, const std::vector<int>& loop)
{
    const int count = static_cast<int>(mesh.m_vertices.size());
    const std::size_t n = loop.size();
    if (n < 3)
        return;
    for (const int v : loop)
        if (v < 0 || v >= count)
            return;

    // Newell's normal: its direction makes the loop run counter-clockwise in the plane.
    QvVector normal;
    QvPoint centre(0.0, 0.0, 0.0);
    for (std::size_t i = 0; i < n; ++i)
    {
        const QvPoint& p = mesh.m_vertices[loop[i]].m_point;
        const QvPoint& q = mesh.m_vertices[loop[(i + 1) % n]].m_point;
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
        centre += p;
    }
    const double length = normal.Length();
    if (!(length > 0.0) || !std::isfinite(length))
        return;
    normal = normal / length;
    m_origin = centre / static_cast<double>(n);

    // Any unit axis across the normal, the second completing a right-handed frame.
    QvVector seed(1.0, 0.0, 0.0);
    if (std::abs(normal[0]) > 0.6)
        seed = QvVector(0.0, 1.0, 0.0);
    m_axisU = seed - normal * seed.Dot(normal);
    m_axisU.Normalize();
    m_axisV = normal.Cross(m_axisU);

    double extent = 0.0;
    for (const int v : loop)
    {
        AddVertex(v, mesh.m_vertices[v].m_point);
        extent = std::max(extent, mesh.m_vertices[v].m_point.Distance(m_origin));
    }
    m_dTolerance = 1e-12 * extent * extent;

    // A strongly bent loop may fold over itself in the plane; the flat outline then says
    // nothing about where a patch may lie.
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 2; j < n; ++j)
        {
            if (i == 0 && j == n - 1)
                continue;
            const Flat& a = m_flat[loop[i]];
            const Flat& b = m_flat[loop[(i + 1) % n]];
            const Flat& c = m_flat[loop[j]];
            const Flat& d = m_flat[loop[(j + 1) % n]];
            const P2 p{a.u, a.v}, q{b.u, b.v}, r{c.u, c.v}, t{d.u, d.v};
            if (Orient(p, q, r) * Orient(p, q, t) < 0.0 && Orient(r, t, p) * Orient(r, t, q) < 0.0)
                return;
        }
    m_bUsable = true;
}

void QvHoleOutline::AddVertex(int vertex, const QvPoint& position)
{
    const QvVector d = position - m_origin;
    m_flat[vertex] = Flat{d.Dot(m_axisU), d.Dot(m_axisV)};
}

const QvHoleOutline::Flat* QvHoleOutline::Find(int vertex) const
{
    const auto it = m_flat.find(vertex);
    return it == m_flat.end() ? nullptr : &it->second;
}

bool QvHoleOutline::IsFreeCorner(int previous, int current, int next, const std::vector<int>& front) const
{
    // The last triangle is all that is left of the outline.
    if (!m_bUsable || front.size() <= 3)
        return true;
    const Flat* fa = Find(previous);
    const Flat* fc = Find(current);
    const Flat* fb = Find(next);
    if (fa == nullptr || fc == nullptr || fb == nullptr)
        return true;
    const P2 a{fa->u, fa->v};
    const P2 c{fc->u, fc->v};
    const P2 b{fb->u, fb->v};
    const double eps = m_dTolerance;
    // A reflex (or straight) corner's triangle lies outside the outline.
    if (!(Orient(a, c, b) > eps))
        return false;

    const std::size_t m = front.size();
    for (std::size_t k = 0; k < m; ++k)
    {
        const int w = front[k];
        if (w == previous || w == current || w == next)
            continue;
        const Flat* fw = Find(w);
        if (fw == nullptr)
            continue;
        const P2 p{fw->u, fw->v};
        // Inside or on the triangle: the patch would reach over that vertex.
        if (Orient(a, c, p) >= -eps && Orient(c, b, p) >= -eps && Orient(b, a, p) >= -eps)
            return false;
    }

    // On an outline whose flat image crosses itself a side may pass through the
    // triangle with both ends outside it; the closing side must cross no front side.
    for (std::size_t k = 0; k < m; ++k)
    {
        const int s = front[k];
        const int t = front[(k + 1) % m];
        if (s == previous || s == next || t == previous || t == next)
            continue;
        const Flat* fs = Find(s);
        const Flat* ft = Find(t);
        if (fs == nullptr || ft == nullptr)
            continue;
        const P2 p{fs->u, fs->v};
        const P2 q{ft->u, ft->v};
        const double o1 = Orient(a, b, p);
        const double o2 = Orient(a, b, q);
        const double o3 = Orient(p, q, a);
        const double o4 = Orient(p, q, b);
        if (((o1 > eps && o2 < -eps) || (o1 < -eps && o2 > eps)) &&
            ((o3 > eps && o4 < -eps) || (o3 < -eps && o4 > eps)))
            return false;
    }
    return true;
}
