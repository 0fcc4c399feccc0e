// SPDX-License-Identifier: GPL-3.0-or-later
// Boxes aligned with their own frame: the nodes of the collision trees over tooth meshes.
#pragma once

#include <cstddef>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPoint.h"

class QvLine;
class QvMatrix;

// A box's centre, unit axes and half sizes without the frame object: the form owners of
// many boxes (tree nodes) keep. Converting to and from QvOBB copies the values as they are.
struct QvOBBParts
{
    QvPoint m_centre;
    QvVector m_axes[3];
    double m_halfSize[3] = {0.0, 0.0, 0.0};
};

// The points c + u X + v Y + w Z with |u| <= hx, |v| <= hy, |w| <= hz.
class QvOBB
{
public:
    // Default frame (zero axes) and zero half sizes, for the owner to fill in.
    QvOBB();
    QvOBB(const QvFrame& frame, double hx, double hy, double hz);
    // A copy of other moved by m; half sizes kept.
    QvOBB(const QvOBB& other, const QvMatrix& m);
    QvOBB(const QvOBB& other) = default;
    QvOBB& operator=(const QvOBB& other) = default;

    explicit QvOBB(const QvOBBParts& parts);

    // Principal-axes box of the points; null for fewer than 3 points or a failed fit. Caller owns it.
    [[nodiscard]] static QvOBB* FromPoints(const std::vector<QvPoint>& points);
    // The same box without allocating; false (out unchanged) where FromPoints gives null.
    [[nodiscard]] static bool FitPoints(const QvPoint* points, std::size_t count, QvOBBParts& out);

    // The centre follows the point rule (a 4 x 4 matrix translates), the axes the vector rule.
    void Transform(const QvMatrix& m);
    // The frame axis of the largest (1), middle (2) or smallest (3) half size; (0, 0, 0) otherwise.
    QvVector GetAxisByExtent(int rank) const;
    // Separating-axis test over the 15 candidate axes; touching boxes are not separated, and an
    // edge pair of parallel axes (no axis of its own) never separates.
    bool IsOutside(const QvOBB& other) const;
    // The same tests on boxes kept as parts.
    static bool IsOutside(const QvOBBParts& a, const QvOBBParts& b);
    bool IsOutside(const QvOBBParts& other) const;
    // True when the infinite line misses the box; touching is not missing.
    bool IsLineOutside(const QvLine& line) const;
    static bool IsLineOutside(const QvOBBParts& box, const QvLine& line);
    // Signs along (X, Y, Z) by index: 0 ---, 1 --+, 2 +-+, 3 +--, 4 -+-, 5 -++, 6 +++, 7 ++-
    // (6 and 7 are the other way round from the axis-aligned box).
    void GetCorners(QvPoint corners[8]) const;

    QvFrame m_frame;
    double m_halfSize[3];
};
