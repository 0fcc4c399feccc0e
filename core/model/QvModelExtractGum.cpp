// SPDX-License-Identifier: GPL-3.0-or-later
// The gum cut out of the scanned jaw along the teeth's cut lines.
#include <algorithm>
#include <limits>
#include <map>
#include <set>

#include "core/mesh/QvMesh.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {

struct ToothCut
{
    const QvTooth* tooth = nullptr;
    std::vector<int> line;         // jaw vertices, closed
    std::vector<int> marks;        // 2: contact with a neighbour
    std::vector<QvPoint> rim;      // crown boundary loop positions
};

int NearestRimVertex(const QvPoint& p, const std::vector<QvPoint>& rim, const std::vector<bool>* used)
{
    double best = std::numeric_limits<double>::max();
    int index = -1;
    for (int i = 0; i < static_cast<int>(rim.size()); ++i)
    {
        if (used && (*used)[static_cast<std::size_t>(i)])
            continue;
        const double d = p.SquaredDistance(rim[static_cast<std::size_t>(i)]);
        if (d < best)
        {
            best = d;
            index = i;
        }
    }
    return index;
}

// Triangles between two chains, advancing on the chain whose new diagonal is shorter.
void Zip(QvMesh& mesh, const std::vector<int>& A, const std::vector<int>& B)
{
    std::size_t i = 0, j = 0;
    auto pos = [&mesh](int v) -> const QvPoint& { return mesh.m_vertices[static_cast<std::size_t>(v)].m_point; };
    while (i + 1 < A.size() || j + 1 < B.size())
    {
        bool advanceA = i + 1 < A.size();
        if (advanceA && j + 1 < B.size())
            advanceA = pos(A[i + 1]).Distance(pos(B[j])) < pos(A[i]).Distance(pos(B[j + 1]));
        if (advanceA)
        {
            static_cast<void>(mesh.AddFace(A[i], A[i + 1], B[j], 0));
            ++i;
        }
        else
        {
            static_cast<void>(mesh.AddFace(A[i], B[j + 1], B[j], 0));
            ++j;
        }
    }
}

// Pairs of rim points along the contact of two crowns, walked from a and b in the
// directions that keep them closest, up to the first pair that touches.
void ContactStretch(const std::vector<QvPoint>& ra, int a, const std::vector<QvPoint>& rb, int b,
                    std::vector<QvPoint>& la, std::vector<QvPoint>& lb)
{
    const int na = static_cast<int>(ra.size()), nb = static_cast<int>(rb.size());
    auto at = [](const std::vector<QvPoint>& r, int i) -> const QvPoint& {
        const int n = static_cast<int>(r.size());
        return r[static_cast<std::size_t>(((i % n) + n) % n)];
    };
    double forward = 0.0, backward = 0.0;
    for (int k = 0; k < 10; ++k)
    {
        forward += at(ra, a + k).SquaredDistance(at(rb, b - k));
        backward += at(ra, a - k).SquaredDistance(at(rb, b + k));
    }
    const int dir = forward <= backward ? 1 : -1;
    const int steps = std::max(na, nb) / 8;
    for (int k = 0; k <= steps; ++k)
    {
        la.push_back(at(ra, a + dir * k));
        lb.push_back(at(rb, b - dir * k));
        if (la.back().Distance(lb.back()) < 0.01)
            break;
    }
}

} // namespace

QvMesh* QvModel::ExtractGum(bool upper) const
{
    const QvJaw* jaw = GetJaw(upper);
    if (!jaw)
        return nullptr;
    const QvMesh& scan = *jaw;
    const int nv = static_cast<int>(scan.m_vertices.size());
    std::vector<ToothCut> cuts;
    for (const QvEntity* entity : m_teeth)
    {
        const QvTooth* tooth = static_cast<const QvTooth*>(entity);
        if (tooth->IsUpper() != upper || tooth->GetState() == kQvToothExtracted || !tooth->GetCutLine())
            continue;
        const QvCutLine& cut = *tooth->GetCutLine();
        ToothCut c;
        c.tooth = tooth;
        c.line = cut.m_vertices;
        c.marks = cut.m_marks;
        if (c.line.size() < 3 || std::any_of(c.line.begin(), c.line.end(), [nv](int v) { return v < 0 || v >= nv; }))
            continue;
        for (const int v : *tooth->GetBoundaryLoop())
            if (v >= 0 && v < static_cast<int>(tooth->m_vertices.size()))
                c.rim.push_back(tooth->m_vertices[static_cast<std::size_t>(v)].m_point);
        c.marks.resize(c.line.size(), 0);
        cuts.push_back(std::move(c));
    }
    if (cuts.empty())
        return nullptr;

    std::vector<bool> marked(scan.m_edges.size(), false);
    std::map<int, QvPoint> cutPoint;
    for (const ToothCut& c : cuts)
    {
        const QvCutLine& cut = *c.tooth->GetCutLine();
        const std::size_t n = c.line.size();
        for (std::size_t i = 0; i < n; ++i)
        {
            const int e = scan.FindEdge(c.line[i], c.line[(i + 1) % n]);
            if (e >= 0)
                marked[static_cast<std::size_t>(e)] = true;
            cutPoint[c.line[i]] = i < cut.m_points.size() ? cut.m_points[i] : scan.m_vertices[static_cast<std::size_t>(c.line[i])].m_point;
        }
    }

    std::vector<std::vector<int>> loops;
    scan.GetBoundaryLoops(loops);
    const std::vector<int>* longest = nullptr;
    for (const std::vector<int>& loop : loops)
        if (!longest || loop.size() > longest->size())
            longest = &loop;
    if (!longest)
        return nullptr;
    std::vector<int> seeds;
    for (std::size_t i = 0; i < longest->size(); ++i)
    {
        const int e = scan.FindEdge((*longest)[i], (*longest)[(i + 1) % longest->size()]);
        if (e >= 0 && !marked[static_cast<std::size_t>(e)] && scan.m_edges[static_cast<std::size_t>(e)].m_faces[0] >= 0)
            seeds.push_back(scan.m_edges[static_cast<std::size_t>(e)].m_faces[0]);
    }
    std::vector<bool> reached(scan.m_faces.size(), false);
    std::vector<int> stack;
    for (const int seed : seeds)
    {
        if (reached[static_cast<std::size_t>(seed)])
            continue;
        reached[static_cast<std::size_t>(seed)] = true;
        stack.push_back(seed);
        while (!stack.empty())
        {
            const int f = stack.back();
            stack.pop_back();
            for (const int e : scan.m_faces[static_cast<std::size_t>(f)].m_edges)
            {
                if (e < 0 || marked[static_cast<std::size_t>(e)])
                    continue;
                const int g = scan.m_edges[static_cast<std::size_t>(e)].GetOtherFace(f);
                if (g >= 0 && g != f && !reached[static_cast<std::size_t>(g)])
                {
                    reached[static_cast<std::size_t>(g)] = true;
                    stack.push_back(g);
                }
            }
        }
    }

    std::vector<int> newIndex(static_cast<std::size_t>(nv), -1);
    std::size_t faceCount = 0;
    for (std::size_t f = 0; f < scan.m_faces.size(); ++f)
        if (reached[f])
        {
            ++faceCount;
            for (const int v : scan.m_faces[f].m_vertices)
                newIndex[static_cast<std::size_t>(v)] = 0;
        }
    auto* gum = new QvMesh();
    gum->Reserve(nv, static_cast<int>(faceCount), static_cast<int>(faceCount * 2));
    for (int v = 0; v < nv; ++v)
        if (newIndex[static_cast<std::size_t>(v)] == 0)
        {
            const auto it = cutPoint.find(v);
            newIndex[static_cast<std::size_t>(v)] =
                gum->AddVertex(it != cutPoint.end() ? it->second : scan.m_vertices[static_cast<std::size_t>(v)].m_point);
        }
    for (std::size_t f = 0; f < scan.m_faces.size(); ++f)
        if (reached[f])
        {
            const QvFace& face = scan.m_faces[f];
            static_cast<void>(gum->AddFace(newIndex[static_cast<std::size_t>(face.m_vertices[0])],
                                           newIndex[static_cast<std::size_t>(face.m_vertices[1])],
                                           newIndex[static_cast<std::size_t>(face.m_vertices[2])], 0));
        }

    // Contact marks move to the two ends of the stretch two neighbours' cut lines share.
    for (std::size_t t = 0; t + 1 < cuts.size(); ++t)
        for (ToothCut* c : {&cuts[t], &cuts[t + 1]})
        {
            const ToothCut& other = c == &cuts[t] ? cuts[t + 1] : cuts[t];
            const std::set<int> theirs(other.line.begin(), other.line.end());
            const int n = static_cast<int>(c->line.size());
            std::vector<bool> shared(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i)
                shared[static_cast<std::size_t>(i)] = theirs.count(c->line[static_cast<std::size_t>(i)]) > 0;
            if (std::none_of(shared.begin(), shared.end(), [](bool b) { return b; }))
                continue;
            for (int i = 0; i < n; ++i)
            {
                const bool in = shared[static_cast<std::size_t>(i)];
                const bool before = shared[static_cast<std::size_t>((i + n - 1) % n)];
                const bool after = shared[static_cast<std::size_t>((i + 1) % n)];
                if (in)
                    c->marks[static_cast<std::size_t>(i)] = (!before || !after) ? 2 : 0;
                else if (c->marks[static_cast<std::size_t>(i)] == 2)
                    c->marks[static_cast<std::size_t>(i)] = 0;
            }
        }

    // The border follows each crown's rim.
    for (ToothCut& c : cuts)
    {
        const int n = static_cast<int>(c.line.size());
        const int m = static_cast<int>(c.rim.size());
        if (m == 0)
            continue;
        auto mapped = [&](int i) { return newIndex[static_cast<std::size_t>(c.line[static_cast<std::size_t>(((i % n) + n) % n)])]; };
        // Stretch starts: mapped vertices after an unmapped one; a line used all round is one stretch.
        std::vector<int> starts;
        for (int i = 0; i < n; ++i)
            if (mapped(i) >= 0 && mapped(i - 1) < 0)
                starts.push_back(i);
        const bool whole = starts.empty() && mapped(0) >= 0;
        if (whole)
            starts.push_back(0);
        if (starts.empty())
            continue;
        // Orient the rim like the cut line.
        {
            const int s = starts.front();
            const int r0 = NearestRimVertex(gum->m_vertices[static_cast<std::size_t>(mapped(s))].m_point, c.rim, nullptr);
            double fw = 0.0, bw = 0.0;
            const int count = std::min(n, m);
            for (int k = 0; k < count && mapped(s + k) >= 0; ++k)
            {
                const QvPoint& p = gum->m_vertices[static_cast<std::size_t>(mapped(s + k))].m_point;
                fw += p.SquaredDistance(c.rim[static_cast<std::size_t>((r0 + k) % m)]);
                bw += p.SquaredDistance(c.rim[static_cast<std::size_t>(((r0 - k) % m + m) % m)]);
            }
            if (bw < fw)
                std::reverse(c.rim.begin(), c.rim.end());
        }
        std::vector<bool> used(static_cast<std::size_t>(m), false);
        for (const int s : starts)
        {
            int r = NearestRimVertex(gum->m_vertices[static_cast<std::size_t>(mapped(s))].m_point, c.rim, &used);
            if (r < 0)
                break;
            for (int k = 0; k < n && mapped(s + k) >= 0; ++k)
            {
                if (used[static_cast<std::size_t>(r)])
                    break;
                static_cast<void>(gum->SetVertexPosition(mapped(s + k), c.rim[static_cast<std::size_t>(r)]));
                used[static_cast<std::size_t>(r)] = true;
                r = (r + 1) % m;
            }
        }
    }

    // Close the gap between neighbours at each contact vertex of the border.
    std::vector<std::vector<int>> border;
    gum->GetBoundaryLoops(border);
    std::set<int> onBorder;
    for (const std::vector<int>& loop : border)
        onBorder.insert(loop.begin(), loop.end());
    for (std::size_t t = 0; t + 1 < cuts.size(); ++t)
    {
        const ToothCut& A = cuts[t];
        const ToothCut& B = cuts[t + 1];
        if (A.rim.empty() || B.rim.empty())
            continue;
        for (std::size_t i = 0; i < A.line.size(); ++i)
        {
            const int a = newIndex[static_cast<std::size_t>(A.line[i])];
            if (A.marks[i] != 2 || a < 0 || !onBorder.count(a))
                continue;
            const QvPoint pa = gum->m_vertices[static_cast<std::size_t>(a)].m_point;
            std::vector<QvPoint> la, lb;
            ContactStretch(A.rim, NearestRimVertex(pa, A.rim, nullptr), B.rim, NearestRimVertex(pa, B.rim, nullptr), la, lb);
            if (la.empty())
                continue;
            const bool firstNearer = la.front().SquaredDistance(pa) <= lb.front().SquaredDistance(pa);
            QvVector across = firstNearer ? lb.front() - la.front() : la.front() - lb.front();
            across.Normalize();
            int partner = -1;
            double best = -2.0;
            std::vector<int> around;
            gum->GetNeighborVertices(a, around);
            for (const int w : around)
            {
                const int e = gum->FindEdge(a, w);
                if (e < 0 || !gum->m_edges[static_cast<std::size_t>(e)].IsBoundary())
                    continue;
                QvVector d = gum->m_vertices[static_cast<std::size_t>(w)].m_point - pa;
                d.Normalize();
                if (d.Dot(across) > best)
                {
                    best = d.Dot(across);
                    partner = w;
                }
            }
            if (partner < 0)
                continue;
            std::vector<int> first, second;
            if (firstNearer)
            {
                first.push_back(a);
                for (std::size_t k = 1; k < la.size(); ++k)
                    first.push_back(gum->AddVertex(la[k]));
                second.push_back(partner);
                for (const QvPoint& p : lb)
                    second.push_back(gum->AddVertex(p));
            }
            else
            {
                first.push_back(partner);
                for (const QvPoint& p : la)
                    first.push_back(gum->AddVertex(p));
                second.push_back(a);
                for (const QvPoint& p : lb)
                    second.push_back(gum->AddVertex(p));
            }
            Zip(*gum, first, second);
        }
    }
    gum->UpdateFaceNormals();
    return gum;
}
