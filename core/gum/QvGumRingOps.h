// SPDX-License-Identifier: GPL-3.0-or-later
// Ring and border operations both gum builders share: arch order, facing and middle
// corners of a crown ring, the gum direction of a tooth, welding two touching rings,
// the lid over a ring and the stitching of a gum border run onto ring points.
#pragma once

#include <map>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPoint.h"

class QvMatrix;
class QvMesh;
class QvToothBase;

// Teeth along the arch against the jaw's Y axis: centres (placed) projected onto their
// plane and chained by proximity.
void GumArchOrder(const std::map<QvToothBase*, QvMatrix*>& teeth, const QvFrame& jawFrame,
                  std::vector<QvToothBase*>& out);

// Computes a missing crown rim: the boundary of the crown faces of a tooth closed by a
// grown root, else the open boundary.
void GumEnsureCrownLoop(QvToothBase* tooth);

// The crown rim as placed points, turned counter-clockwise about the tooth's Z axis, and
// their mean; both left empty when the tooth has no rim.
void GumPlacedRing(const QvToothBase* tooth, const QvMatrix* placement, std::vector<QvPoint>& ring, QvPoint& centre);

// Mean edge length over all edges of the meshes (null ones skipped); 0 without edges.
double GumMeanEdgeLength(const std::vector<QvMesh*>& meshes);

// The ring point halfway (projected onto the plane) along the forward run from `from`
// to `to`, the bracketing point farther from the half-way length; -1 when from = to.
int GumRingMiddleIndex(const std::vector<QvPoint>& ring, int from, int to, const QvPlane& plane);

// Corners facing the previous and the next tooth from the anchors (0..3) of the facing
// regions; an arch end takes the point across the centre. A region of one point gives
// its corner and clears its anchors. False when either corner stays -1.
bool GumFacingCorners(const std::vector<QvPoint>& ring, const QvPoint& centre, int archPos, int anchors[4],
                      int& cornerPrev, int& cornerNext);

// Side k of a ring: from its facing corner (next for 0 and 3, previous for 1 and 2)
// walking forward (0, 2) or backward (1, 3) to its middle corner (mid A for 0 and 1, mid
// B for 2 and 3), both included. False when a side has fewer than two points.
bool GumRingSide(const std::vector<QvPoint>& ring, int k, int cornerNext, int cornerPrev, int midA, int midB,
                 std::vector<QvPoint>& out);

// Steps along the ring from a side's facing corner to its anchor (0 without one).
int GumSideOffset(int ringSize, int k, int corner, int anchor);

// The boundary loop holding the vertex; null when none does or the vertex is -1.
const std::vector<int>* GumLoopOf(const std::vector<std::vector<int>>& loops, int vertex);
// The loop forward from vertex a to vertex b, both included; empty when either is not on it.
std::vector<int> GumLoopPart(const std::vector<int>& loop, int a, int b);

// Unit direction from the tooth's foot on the base plane to the centre, the foot held
// within 0.6 of the ring's radius. False when the ring fits no plane or the normal runs
// parallel to the base plane.
bool GumRingDirection(const std::vector<QvPoint>& ring, const QvPoint& centre, const QvVector& midBDirection,
                      const QvVector& up, const QvPlane& basePlane, QvVector& out);

// One ring of a neighbouring pair as the welding sees it.
struct QvGumRingView
{
    std::vector<QvPoint>* ring;
    int boundaryCount; // points of the untouched crown rim
    QvPoint centre;
    int* anchor;  // four ring indices of the facing-region ends
    int* anchor2; // the contact ends in crown-rim numbering
};

// Contact between ring A and its right neighbour B: touching rings are welded along a
// mid-curve and keep the contact ends as anchors; otherwise each gets one facing point
// (B's across from A's when facingFromB is false, its own best aligned one when true).
// False only for an empty ring.
bool GumWeldRings(QvGumRingView a, QvGumRingView b, double tolerance, bool facingFromB);

// A lid of ladder chords over the ring, starting beside ringStart, faces turned against up.
void GumCapRing(QvMesh* mesh, const std::vector<QvPoint>& ring, int ringStart, const QvVector& up);

// Snaps a run of gum border vertices onto ring points, fanning the ring points between
// neighbouring assignments into the border faces. A pinned run keeps its end vertices
// and does not close on itself.
void GumStitchBorderRun(QvMesh* mesh, const std::vector<int>& gumRun, const std::vector<QvPoint>& ringPoints,
                        bool pinnedEnds);

// Whether a single closed border run turns against its ring points (and so is reversed).
bool GumRunAgainstRing(const std::vector<QvPoint>& ringPoints, const std::vector<QvPoint>& gumPoints);
