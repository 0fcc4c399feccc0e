// SPDX-License-Identifier: GPL-3.0-or-later
// Constrained Delaunay triangulation of a planar point set or of a planar outline given
// as points and segments. The only place that talks to the triangulation library.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"

class QvTriangleCommand : public QvCommand
{
public:
    // What the 3-D constructor makes of its points.
    enum class Shape
    {
        Outline,  // a closed chain of segments through the points, in order: the polygon is filled
        PointSet, // no segments: the whole convex hull of the points is triangulated
    };

    QvTriangleCommand();
    // x, y pairs and index pairs, copied as given.
    QvTriangleCommand(const std::vector<double>& points, const std::vector<std::int32_t>& segments);
    // Flattens the points into their own plane (origin the first point, X towards the
    // second) and keeps their local x and y; an outline also gets the segments
    // (0, 1), (1, 2), ..., (n-1, 0).
    explicit QvTriangleCommand(const std::vector<QvPoint>& points, Shape shape = Shape::Outline);
    ~QvTriangleCommand() override;

    // With at least one segment (two indices), the segments become edges of the result and
    // only the regions they enclose are kept, less those holding a hole point; otherwise
    // the convex hull of the points is triangulated. Counts are the list sizes / 2 (an odd
    // trailing number is ignored). On success the output points are the input points, in
    // their order (duplicates included; a triangle names the first of coincident points),
    // and the output triangles run counter-clockwise.
    // False, with both output lists empty, for fewer than 3 distinct points, points all on
    // one line, a coordinate that is not finite, a segment index out of range, segments
    // that cross each other, a result without triangles, or a failure inside the library.
    // Never prints and never ends the process.
    [[nodiscard]] bool Execute() override;

    std::vector<double> m_inputPoints;
    std::vector<double> m_holePoints;
    std::vector<std::int32_t> m_segments;
    std::vector<double> m_outputPoints;
    std::vector<std::int32_t> m_outputTriangles;
};
