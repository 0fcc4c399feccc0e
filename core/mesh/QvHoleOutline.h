// SPDX-License-Identifier: GPL-3.0-or-later
// A hole's loop flattened into its best-fit plane, for the corner choices of the fills:
// a corner is cut only when its triangle lies inside what is left of the outline, so
// that a patch never covers itself. Works on loop vertices and on vertices a fill places
// on a straight new side (they flatten onto that side, as the plane map is affine).
#pragma once

#include <unordered_map>
#include <vector>

#include "core/geometry/QvPoint.h"

class QvMesh;

class QvHoleOutline
{
public:
    // Flattens the loop's vertices. Not usable (every corner passes) for a loop that
    // encloses no area or has vertices outside the mesh.
    QvHoleOutline(const QvMesh& mesh, const std::vector<int>& loop);

    bool IsUsable() const { return m_bUsable; }
    // Flattens one more vertex (a vertex a fill created on a new side).
    void AddVertex(int vertex, const QvPoint& position);

    // True when the corner (previous, current, next) of the front turns the loop's way
    // and its triangle holds no other front vertex, and its closing side crosses no
    // side of the front. Always true when not usable, for the last three vertices, or
    // when a corner is not flattened.
    bool IsFreeCorner(int previous, int current, int next, const std::vector<int>& front) const;

private:
    struct Flat
    {
        double u;
        double v;
    };
    const Flat* Find(int vertex) const;

    bool m_bUsable = false;
    QvPoint m_origin;
    QvVector m_axisU;
    QvVector m_axisV;
    // Scale of the outline squared: orientation tests below it count as zero.
    double m_dTolerance = 0.0;
    std::unordered_map<int, Flat> m_flat;
};
