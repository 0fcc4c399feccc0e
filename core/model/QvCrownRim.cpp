// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/model/QvCrownRim.h"

#include <algorithm>
#include <utility>

#include "core/mesh/QvMesh.h"

std::vector<int> CrownRim(const QvMesh& mesh)
{
    const auto isCrown = [&mesh](int f) { return f != -1 && mesh.m_faces[f].m_tag != kQvFaceTagVirtualRoot; };
    // A copy of the crown would create its edges face by face, side by side, each
    // running as its creating face runs: a rim edge, which only one crown face has,
    // runs as that face does and stands in this order among the others.
    std::vector<std::pair<int, int>> rim;
    for (const QvFace& face : mesh.m_faces)
    {
        if (!isCrown(face.m_index))
            continue;
        for (int k = 0; k < 3; ++k)
        {
            const int a = face.m_vertices[k];
            const int b = face.m_vertices[(k + 1) % 3];
            int e = -1;
            for (const int side : face.m_edges)
            {
                if (side < 0)
                    continue;
                const QvEdge& edge = mesh.m_edges[side];
                if ((edge.m_vertices[0] == a && edge.m_vertices[1] == b) ||
                    (edge.m_vertices[0] == b && edge.m_vertices[1] == a))
                {
                    e = side;
                    break;
                }
            }
            if (e == -1)
                e = mesh.FindEdge(a, b);
            if (e != -1 && isCrown(mesh.m_edges[e].m_faces[0]) + isCrown(mesh.m_edges[e].m_faces[1]) == 1)
                rim.emplace_back(a, b);
        }
    }
    if (rim.empty())
        return {};

    // Each end's rim edges in creation order, the first end's entry first, as the copy
    // attaches them.
    std::vector<std::pair<int, int>> incidence;
    incidence.reserve(2 * rim.size());
    for (std::size_t i = 0; i < rim.size(); ++i)
    {
        incidence.emplace_back(rim[i].first, static_cast<int>(i));
        incidence.emplace_back(rim[i].second, static_cast<int>(i));
    }
    std::stable_sort(incidence.begin(), incidence.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<char> visited(rim.size(), 0);
    const auto take = [&](int vertex) {
        auto it = std::lower_bound(incidence.begin(), incidence.end(), vertex,
                                   [](const auto& entry, int v) { return entry.first < v; });
        for (; it != incidence.end() && it->first == vertex; ++it)
            if (!visited[static_cast<std::size_t>(it->second)])
            {
                visited[static_cast<std::size_t>(it->second)] = 1;
                return it->second;
            }
        return -1;
    };

    // The walk of QvMesh::GetBoundaryLoops over these edges, keeping the first longest.
    std::vector<int> best;
    std::vector<int> position(mesh.m_vertices.size(), -1);
    const auto offer = [&best](std::vector<int>&& loop) {
        if (best.empty() || loop.size() > best.size())
            best = std::move(loop);
    };
    for (std::size_t i = 0; i < rim.size(); ++i)
    {
        if (visited[i])
            continue;
        visited[i] = 1;
        const int s = rim[i].first;
        std::vector<int> loop{s, rim[i].second};
        position[static_cast<std::size_t>(loop[0])] = 0;
        position[static_cast<std::size_t>(loop[1])] = 1;
        for (;;)
        {
            const int cur = loop.back();
            const int e = take(cur);
            if (e == -1)
                break;
            const auto& edge = rim[static_cast<std::size_t>(e)];
            const int f = cur == edge.first ? edge.second : edge.first;
            if (f == s)
                break;
            const int k = position[static_cast<std::size_t>(f)];
            if (k != -1)
            {
                offer(std::vector<int>(loop.begin() + k, loop.end()));
                for (std::size_t j = static_cast<std::size_t>(k); j < loop.size(); ++j)
                    position[static_cast<std::size_t>(loop[j])] = -1;
                loop.resize(static_cast<std::size_t>(k));
            }
            position[static_cast<std::size_t>(f)] = static_cast<int>(loop.size());
            loop.push_back(f);
        }
        for (const int v : loop)
            position[static_cast<std::size_t>(v)] = -1;
        offer(std::move(loop));
    }
    return best;
}
