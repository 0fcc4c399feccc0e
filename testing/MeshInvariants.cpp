// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/MeshInvariants.h"

#include <algorithm>
#include <sstream>
#include <utility>

namespace qvtest {

namespace {

std::string Describe(const char* what, long long index)
{
    std::ostringstream os;
    os << what << " (element " << index << ")";
    return os.str();
}

bool Has(const std::int32_t* slots, int n, int value)
{
    return std::find(slots, slots + n, value) != slots + n;
}

// +1 when the face runs from a to b, -1 when from b to a, 0 when a-b is not one of its sides.
int Direction(const QvFace& face, int a, int b)
{
    for (int k = 0; k < 3; ++k)
    {
        const int from = face.m_vertices[k];
        const int to = face.m_vertices[(k + 1) % 3];
        if (from == a && to == b)
            return 1;
        if (from == b && to == a)
            return -1;
    }
    return 0;
}

} // namespace

std::string FindMeshInvariantViolation(const QvMesh& mesh)
{
    const long long nv = static_cast<long long>(mesh.m_vertices.size());
    const long long ne = static_cast<long long>(mesh.m_edges.size());
    const long long nf = static_cast<long long>(mesh.m_faces.size());
    auto validVertex = [&](long long v) { return v >= 0 && v < nv; };
    auto validEdge = [&](long long e) { return e >= 0 && e < ne; };
    auto validFace = [&](long long f) { return f >= 0 && f < nf; };

    // Stamped per vertex: a repeated edge, or two edges to the same neighbour, show
    // without sorting anything.
    std::vector<long long> edgeSeenBy(static_cast<std::size_t>(ne), -1);
    std::vector<long long> neighbourSeenBy(static_cast<std::size_t>(nv), -1);
    for (long long v = 0; v < nv; ++v)
    {
        const QvVertex& vertex = mesh.m_vertices[v];
        if (vertex.m_index != v)
            return Describe("vertex holds a wrong own index", v);
        for (const int e : vertex.m_edges)
        {
            if (!validEdge(e) || !Has(mesh.m_edges[e].m_vertices, 2, static_cast<int>(v)))
                return Describe("vertex lists an edge that does not end at it", v);
            if (edgeSeenBy[e] == v)
                return Describe("vertex lists an edge twice", v);
            edgeSeenBy[e] = v;
            const int other = mesh.m_edges[e].GetOtherVertex(static_cast<int>(v));
            if (other < 0 || other >= nv)
                return Describe("vertex has an edge with an invalid far end", v);
            if (neighbourSeenBy[other] == v)
                return Describe("two edges join the same vertices", v);
            neighbourSeenBy[other] = v;
        }
    }

    long long faceSlots = 0;
    for (long long e = 0; e < ne; ++e)
    {
        const QvEdge& edge = mesh.m_edges[e];
        if (edge.m_index != e)
            return Describe("edge holds a wrong own index", e);
        const int a = edge.m_vertices[0], b = edge.m_vertices[1];
        if (!validVertex(a) || !validVertex(b) || a == b)
            return Describe("edge has invalid ends", e);
        for (const int end : {a, b})
        {
            const auto& list = mesh.m_vertices[end].m_edges;
            if (std::find(list.begin(), list.end(), static_cast<int>(e)) == list.end())
                return Describe("edge missing from the incidence list of an end", e);
        }
        const int f0 = edge.m_faces[0], f1 = edge.m_faces[1];
        if (!validFace(f0))
            return Describe("edge without a valid first face", e);
        if (f1 != -1 && (!validFace(f1) || f1 == f0))
            return Describe("edge with an invalid second face", e);
        for (const int f : {f0, f1})
        {
            if (f == -1)
                continue;
            ++faceSlots;
            if (!Has(mesh.m_faces[f].m_edges, 3, static_cast<int>(e)))
                return Describe("edge names a face that does not have it as a side", e);
        }
    }

    for (long long f = 0; f < nf; ++f)
    {
        const QvFace& face = mesh.m_faces[f];
        if (face.m_index != f)
            return Describe("face holds a wrong own index", f);
        const auto& c = face.m_vertices;
        for (const int v : c)
            if (!validVertex(v))
                return Describe("face with an invalid corner", f);
        if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0])
            return Describe("face with a repeated corner", f);
        const auto& s = face.m_edges;
        if (s[0] == s[1] || s[1] == s[2] || s[2] == s[0])
            return Describe("face with a repeated side", f);
        for (const int e : s)
        {
            if (!validEdge(e))
                return Describe("face with an invalid side", f);
            const QvEdge& edge = mesh.m_edges[e];
            if (!Has(edge.m_faces, 2, static_cast<int>(f)))
                return Describe("face side does not name the face", f);
            if (!Has(c, 3, edge.m_vertices[0]) || !Has(c, 3, edge.m_vertices[1]))
                return Describe("face side does not join two of its corners", f);
        }
    }
    if (faceSlots != 3 * nf)
        return "edge face slots do not add up to three per face";
    return std::string();
}

::testing::AssertionResult MeshInvariantsHold(const QvMesh& mesh)
{
    const std::string violation = FindMeshInvariantViolation(mesh);
    if (violation.empty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << violation;
}

bool IsConsistentlyOriented(const QvMesh& mesh)
{
    for (const QvEdge& edge : mesh.m_edges)
    {
        if (edge.m_faces[1] == -1)
            continue;
        const int a = edge.m_vertices[0], b = edge.m_vertices[1];
        const int d0 = Direction(mesh.m_faces[edge.m_faces[0]], a, b);
        const int d1 = Direction(mesh.m_faces[edge.m_faces[1]], a, b);
        if (d0 == 0 || d0 != -d1)
            return false;
    }
    return true;
}

} // namespace qvtest
