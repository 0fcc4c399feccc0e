// SPDX-License-Identifier: GPL-3.0-or-later
// Ordered point lists, open or closed (the last point repeating the first), and the
// point-list algorithms of sections, outlines and boundary loops.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <utility>
#include <vector>

#include "core/geometry/QvGeometry.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvPolyline : public QvGeometry
{
public:
    QvPolyline() = default;
    explicit QvPolyline(const std::vector<QvPoint>& points) : m_points(points) {}

    // Count (int32 when binary, decimal text and a newline otherwise), then the points
    // as 24-byte records in both forms.
    std::ostream& Write(std::ostream& os, bool binary) const;
    // False on a failed stream or a negative or oversized count; the list is then unchanged.
    // A count of 0 also leaves the list as it was.
    [[nodiscard]] bool Read(std::istream& is, bool binary);

    bool IsClosed() const;
    // Appends the first point unless already closed; an empty list stays empty.
    void Close();
    void Open();
    // Mean of the points; (0, 0, 0) for an empty list.
    QvPoint GetCentroid() const;

    // Appends (index, sharpness) of local turning points; sharpness is the largest cosine
    // between a forward and a backward neighbour direction (-1 straight, 1 folded back).
    void FindCorners(std::vector<std::pair<std::int32_t, double>>& out) const;
    // Gaussian-weighted smoothing over windows of half-width a, in place; does nothing
    // for a below 1 or fewer than max(3, 2a) points.
    void Smooth(std::int32_t a);
    bool IsSelfIntersecting() const;
    // Appends the indices of the 2-D (x, y) hull vertices in ascending order, treating the
    // list as a cycle; vertices turning by less than 0.1 degree in list order are left out.
    // False, with nothing appended, when no point can start the hull.
    [[nodiscard]] bool ConvexHull(std::vector<int>& out) const;
    // Closest pair i < j and its distance; 1e10 and i = j = -1 when none is closer.
    double FindClosestPair(std::int32_t& i, std::int32_t& j) const;
    // Nearest point to point i among the unvisited ones; -1 when none lies within 1e10.
    std::int32_t FindNearestUnvisited(std::int32_t i, const std::vector<bool>& visited) const;
    // Appends the indices chained by proximity (closest pair first, then the nearest point
    // at the nearer end). False, appending nothing, when no chain covers every point.
    [[nodiscard]] bool SortByNearestNeighbour(std::vector<int>& out) const;
    void ReorderByNearestNeighbour();
    // Reverses the list when its x-y turns are more often right than left.
    void MakeCounterClockwise();
    // Area of the projection onto the y-z plane; may reverse the list first.
    double GetArea();

    std::vector<QvPoint> m_points;
};

// Area of a planar polygon in its own plane; 0 for fewer than 3 points.
double GetPlanarPolygonArea(const std::vector<QvPoint>& points);
// Area centroid of a planar polygon; the mean of the points when it has no area.
QvPoint GetPlanarPolygonCentroid(const std::vector<QvPoint>& points);
// Maps the points into the frame of their own plane (origin the first point, X towards the
// second); returns the 4 x 4 matrix that carries the flat points back.
QvMatrix FlattenPointsToPlane(const std::vector<QvPoint>& in, std::vector<QvPoint>& out);

// Hull ordering about a pivot: by turn direction, nearer first when collinear.
struct PolarAngleLess
{
    explicit PolarAngleLess(const QvPoint& pivot) : m_pivot(pivot) {}
    bool operator()(const std::pair<QvPoint, int>& a, const std::pair<QvPoint, int>& b) const;

    QvPoint m_pivot;
};
