// SPDX-License-Identifier: GPL-3.0-or-later
// Points into vertex rows, and bands of triangles between two vertex chains.
#include <limits>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/mesh/QvMesh.h"

namespace {

// A refused triangle (repeated corner, edge with two faces) is simply left out.
void Tri(QvMesh* mesh, int a, int b, int c)
{
    static_cast<void>(mesh->AddFace(a, b, c, 0));
}

void Zip(QvMesh* mesh, const int* a, int p, const int* b, int q)
{
    if (p <= 0 || q <= 0)
        return;
    int s = 0, t = 0;
    if (a[0] == b[0] && p >= 2 && q >= 2)
    {
        Tri(mesh, a[0], a[1], b[1]);
        s = 1;
    }
    if (a[p - 1] == b[q - 1] && p >= 2 && q >= 2)
    {
        Tri(mesh, a[p - 2], b[q - 2], a[p - 1]);
        t = 1;
    }
    const int na = p - s - t, nb = q - s - t;
    if (na <= 0 || nb <= 0)
        return;
    const int* A = a + s;
    const int* B = b + s;
    int i = 1, j = 0;
    while (true)
    {
        if (i == na)
        {
            if (j + 1 >= nb)
                break;
            Tri(mesh, B[j], B[j + 1], A[na - 1]);
            ++j;
        }
        else
        {
            Tri(mesh, A[i - 1], B[j], A[i]);
            ++i;
            if (j + 1 < nb)
            {
                Tri(mesh, B[j], B[j + 1], A[i - 1]);
                ++j;
            }
        }
    }
}

} // namespace

void QvCreateGumCommandOld::AddVertices(const std::vector<QvPoint>& points, std::vector<int>& indices)
{
    indices.reserve(indices.size() + points.size());
    for (const QvPoint& p : points)
        indices.push_back(m_pGumMesh->AddVertex(p));
}

void QvCreateGumCommandOld::AddPointRows(const std::vector<std::vector<QvPoint>>& rows,
                                         std::vector<std::vector<int>>& out)
{
    out.resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        AddVertices(rows[i], out[i]);
}

void QvCreateGumCommandOld::StitchChains(QvMesh* mesh, const int* a0, const int* a1, const int* b0, const int* b1,
                                         bool byIndex)
{
    int p = static_cast<int>(a1 - a0);
    int q = static_cast<int>(b1 - b0);
    if (p <= 0 || q <= 0)
        return;
    while (p >= 3 && q >= 3)
    {
        const int ma = p / 2;
        int mb = q / 2;
        if (!byIndex)
        {
            const QvPoint& target = mesh->m_vertices[static_cast<std::size_t>(a0[ma])].m_point;
            double best = std::numeric_limits<double>::max();
            for (int j = 0; j < q; ++j)
            {
                const double d = target.SquaredDistance(mesh->m_vertices[static_cast<std::size_t>(b0[j])].m_point);
                if (d < best)
                {
                    best = d;
                    mb = j;
                }
            }
        }
        StitchChains(mesh, a0, a0 + ma + 1, b0, b0 + mb + 1, byIndex);
        a0 += ma;
        b0 += mb;
        p -= ma;
        q -= mb;
    }
    Zip(mesh, a0, p, b0, q);
}

void QvCreateGumCommandOld::StripLists(const std::vector<int>& a, const std::vector<int>& b, bool byIndex)
{
    StitchChains(m_pGumMesh, a.data(), a.data() + a.size(), b.data(), b.data() + b.size(), byIndex);
}

void QvCreateGumCommandOld::StitchChainSequence(const std::vector<std::vector<int>>& chains, bool byIndex)
{
    for (std::size_t i = 0; i + 1 < chains.size(); ++i)
        StripLists(chains[i], chains[i + 1], byIndex);
}

void QvCreateGumCommandOld::StitchBaseChains(const std::vector<int>& a, const std::vector<int>& b)
{
    const std::size_t f0 = m_pGumMesh->m_faces.size();
    StripLists(a, b, true);
    for (std::size_t f = f0; f < m_pGumMesh->m_faces.size(); ++f)
        m_pGumMesh->m_faces[f].m_tag = 6;
}
