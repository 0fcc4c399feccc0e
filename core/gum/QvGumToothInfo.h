// SPDX-License-Identifier: GPL-3.0-or-later
// The gum builder's record of one tooth: its crown rim as a ring at the step, the
// contact arcs shared with its neighbours, four corners and the four sides between
// them, the gum axis and the link kinds. Corner kinds: 0 previous, 1 next, 2 flank 2,
// 3 flank 1. Link kinds: 1 no neighbour, 2 shared arc, 3 narrow gap, 4 wide gap.
#pragma once

#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPoint.h"

class QvMatrix;
class QvToothBase;

// One side, from its contact corner to its flank corner.
struct QvGumToothSide
{
    std::vector<QvPoint> m_points;
    int m_nNearFirst = -1;
    int m_nNearLast = -1;
    std::vector<int> m_vertices; // gum vertices from the middle of the gap towards the tooth
    QvPoint m_ctrlPoint;
    int m_nLinkVertex = -1;
};

class QvGumToothInfo
{
public:
    // The ring is empty (and every build step fails) when the tooth has no crown loop.
    QvGumToothInfo(QvToothBase* tooth, const QvMatrix* placement);

    [[nodiscard]] bool BuildSides(const QvPlane& basePlane);
    [[nodiscard]] bool ComputeGumAxis(const QvVector& up, const QvPlane& basePlane);
    [[nodiscard]] bool ChooseContactCorners();
    int FindArcMidpoint(int from, int to, const QvPlane& plane) const;
    bool MarkContactStretches();
    [[nodiscard]] bool ComputeFlankCorners(const QvPlane& plane);
    QvVector GetCornerDirection(const QvPlane& plane, int kind) const;
    double GetCornerRadius(const QvPlane& plane, int kind) const;
    QvPoint GetCornerPoint(int kind) const;
    int GetLinkKind(bool previous) const { return previous ? m_nPrevLink : m_nNextLink; }
    int CornerIndex(int kind) const;

    QvToothBase* m_pTooth;
    std::vector<QvPoint> m_boundaryRing;
    std::vector<QvPoint> m_ring;
    QvPoint m_centre;
    QvVector m_gumAxis;
    int m_nNextCorner = -1;
    int m_nFlank1Corner = -1;
    int m_nPrevCorner = -1;
    int m_nFlank2Corner = -1;
    QvGumToothSide m_sides[4];
    int m_nContactEnd[4] = {-1, -1, -1, -1};
    int m_nContactEndBoundary[4] = {-1, -1, -1, -1};
    int m_nPrevLink = 1;
    int m_nNextLink = 1;
    int m_nPosition = 1;
};

// Two arrays of doubles of one count: the profiles of the tooth patches.
class QvDoublePairArray
{
public:
    QvDoublePairArray() = default;
    QvDoublePairArray(const QvDoublePairArray& other) { *this = other; }
    QvDoublePairArray& operator=(const QvDoublePairArray& other);

    void Resize(int n);
    void ScaleFirst(double f);
    void ScaleSecond(double f);
    void Assign(int n, const double* a, const double* b);
    // Each element = to t + from (1 - t).
    void Lerp(const QvDoublePairArray& from, const QvDoublePairArray& to, double t);

    int m_nCount = 0;
    std::vector<double> m_first;
    std::vector<double> m_second;
};
