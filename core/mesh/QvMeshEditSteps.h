// SPDX-License-Identifier: GPL-3.0-or-later
// The topology edits of an indexed triangle mesh, written once for the mesh's own
// elements and for the lean copy the hole patch builder inserts points into: both must
// number, orient and order their elements identically.
//
// A store has vectors m_vertices, m_edges and m_faces. A vertex lists its edges in
// m_edges (AddEdge appends, RemoveEdge takes out the first occurrence), an edge has
// m_vertices[2] and m_faces[2], a face m_vertices[3] and m_edges[3]; elements with an
// m_index keep it equal to their position.
#pragma once

#include <algorithm>
#include <utility>

namespace qvmeshedit {

template <class Element>
void SetIndex(Element& element, int index)
{
    if constexpr (requires { element.m_index; })
        element.m_index = index;
}

template <class T>
void SwapValue(T& slot, T a, T b)
{
    if (slot == a)
        slot = b;
    else if (slot == b)
        slot = a;
}

// Appends value to list[0, count) unless it is -1 or listed already.
inline void AppendUnique(int* list, int& count, int value)
{
    if (value != -1 && std::find(list, list + count, value) == list + count)
        list[count++] = value;
}

template <class Store>
int FindEdge(const Store& s, int a, int b)
{
    if (a == b)
        return -1;
    for (const int e : s.m_vertices[a].m_edges)
        if (s.m_edges[e].GetOtherVertex(a) == b)
            return e;
    return -1;
}

// Adds the triangle (a, b, c), reusing existing edges; new edges run from corner k to
// corner k + 1. False, and nothing changes, for a corner out of range, a repeated
// corner, or a side whose edge already has two faces.
template <class Store>
bool AddFace(Store& s, int a, int b, int c)
{
    const int nv = static_cast<int>(s.m_vertices.size());
    if (a < 0 || a >= nv || b < 0 || b >= nv || c < 0 || c >= nv || a == b || b == c || c == a)
        return false;
    const int corners[3] = {a, b, c};
    int sides[3];
    for (int k = 0; k < 3; ++k)
    {
        sides[k] = FindEdge(s, corners[k], corners[(k + 1) % 3]);
        if (sides[k] != -1 && s.m_edges[sides[k]].m_faces[1] != -1)
            return false;
    }
    const int face = static_cast<int>(s.m_faces.size());
    for (int k = 0; k < 3; ++k)
    {
        if (sides[k] != -1)
        {
            s.m_edges[sides[k]].m_faces[1] = face;
            continue;
        }
        const int from = corners[k];
        const int to = corners[(k + 1) % 3];
        const int edge = static_cast<int>(s.m_edges.size());
        auto& added = s.m_edges.emplace_back();
        SetIndex(added, edge);
        added.m_vertices[0] = from;
        added.m_vertices[1] = to;
        added.m_faces[0] = face;
        added.m_faces[1] = -1;
        s.m_vertices[from].AddEdge(edge);
        s.m_vertices[to].AddEdge(edge);
        sides[k] = edge;
    }
    auto& added = s.m_faces.emplace_back();
    SetIndex(added, face);
    for (int k = 0; k < 3; ++k)
    {
        added.m_vertices[k] = corners[k];
        added.m_edges[k] = sides[k];
    }
    return true;
}

// Exchanges faces a and b; the sides' face slots follow.
template <class Store>
void SwapFaces(Store& s, int a, int b)
{
    if (a == b)
        return;
    std::swap(s.m_faces[a], s.m_faces[b]);
    SetIndex(s.m_faces[a], a);
    SetIndex(s.m_faces[b], b);
    // A side shared by both faces must be renumbered once, not twice.
    int sides[6];
    int count = 0;
    for (const int f : {a, b})
        for (const int e : s.m_faces[f].m_edges)
            AppendUnique(sides, count, e);
    for (int i = 0; i < count; ++i)
    {
        SwapValue(s.m_edges[sides[i]].m_faces[0], a, b);
        SwapValue(s.m_edges[sides[i]].m_faces[1], a, b);
    }
}

// Exchanges edges a and b; the faces' side slots and the ends' edge lists follow.
template <class Store>
void SwapEdges(Store& s, int a, int b)
{
    if (a == b)
        return;
    std::swap(s.m_edges[a], s.m_edges[b]);
    SetIndex(s.m_edges[a], a);
    SetIndex(s.m_edges[b], b);
    int faces[4];
    int ends[4];
    int faceCount = 0;
    int endCount = 0;
    for (const int e : {a, b})
    {
        for (const int f : s.m_edges[e].m_faces)
            AppendUnique(faces, faceCount, f);
        for (const int v : s.m_edges[e].m_vertices)
            AppendUnique(ends, endCount, v);
    }
    for (int i = 0; i < faceCount; ++i)
        for (auto& side : s.m_faces[faces[i]].m_edges)
            SwapValue<std::remove_reference_t<decltype(side)>>(side, a, b);
    for (int i = 0; i < endCount; ++i)
        for (auto& entry : s.m_vertices[ends[i]].m_edges)
            SwapValue<std::remove_reference_t<decltype(entry)>>(entry, a, b);
}

// The first half of removing a face: the last face takes its place, and its sides left
// without a face move to the end of the edge list (largest first) and leave their ends'
// lists. The removed face is then the last and those edges the last ones; the count of
// those edges is returned for the caller to drop them with the face.
template <class Store>
int DetachFace(Store& s, int face)
{
    const int last = static_cast<int>(s.m_faces.size()) - 1;
    SwapFaces(s, face, last);
    int dead[3];
    int deadCount = 0;
    for (const int e : s.m_faces[last].m_edges)
    {
        auto& side = s.m_edges[e];
        if (side.m_faces[1] == -1)
        {
            dead[deadCount++] = e;
        }
        else
        {
            side.m_faces[0] = side.GetOtherFace(last);
            side.m_faces[1] = -1;
        }
    }
    for (int i = 1; i < deadCount; ++i)
        for (int j = i; j > 0 && dead[j - 1] < dead[j]; --j)
            std::swap(dead[j - 1], dead[j]);
    const int edgeCount = static_cast<int>(s.m_edges.size());
    for (int i = 0; i < deadCount; ++i)
    {
        const int target = edgeCount - 1 - i;
        SwapEdges(s, dead[i], target);
        for (const int v : s.m_edges[target].m_vertices)
            s.m_vertices[v].RemoveEdge(target);
    }
    return deadCount;
}

} // namespace qvmeshedit
