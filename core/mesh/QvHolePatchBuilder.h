// SPDX-License-Identifier: GPL-3.0-or-later
// Triangulates a flat hole outline into a patch: Delaunay insertion of the points inside
// an enclosing triangle, the outline segments forced in by re-triangulating the faces they
// cross, then everything outside the outline removed. Only x and y of the inputs take part
// in the planar tests. Construct with the input, Run once, read the patch, destroy.
#pragma once

#include <array>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvMesh.h"

class QvHolePatchBuilder
{
public:
    QvHolePatchBuilder();
    explicit QvHolePatchBuilder(const std::vector<QvPoint>& points);
    // segments: one closed chain in order (segment k ends where k + 1 begins, the last
    // where the first begins), every end point one of the points.
    QvHolePatchBuilder(const std::vector<QvPoint>& points, const std::vector<QvLineSeg>& segments);
    ~QvHolePatchBuilder();
    QvHolePatchBuilder(const QvHolePatchBuilder&) = delete;
    QvHolePatchBuilder& operator=(const QvHolePatchBuilder&) = delete;

    // Builds the patch; call once on a fresh builder. False, with the patch as far as it
    // got, for non-finite input, crossing segments (nothing built), a face with collinear
    // corners met during insertion, a point lying inside a segment, a crossed region that
    // is not one simple loop or cannot be split and re-triangulated, or a segment that
    // did not become an edge. Without segments the enclosing triangle stays.
    [[nodiscard]] bool Run();
    void GetPatch(QvMesh& target) const;
    // Hands the patch over without copying it; the builder's patch is empty afterwards.
    void TakePatch(QvMesh& target);
    // Appends, per segment, the first patch vertex at its start point (none when there
    // is no such vertex) and returns the list; every call appends again.
    std::vector<int>& GetBoundaryVertexIndices();
    // Removes the faces and vertices of the enclosing triangle (vertices 0, 1, 2) when
    // the patch has more than three vertices.
    void RemoveSuperTriangle();
    // The face exists, has three different corners at different positions, and they
    // are not collinear.
    bool IsFaceValid(int face) const;

    // ---- steps of Run ----
    // True when no two non-adjacent segments meet.
    bool IsSegmentChainSimple() const;
    // Enclosing triangle as vertices 0, 1, 2 and face 0 of the empty patch, strictly
    // around every point; false, nothing done, without points.
    bool CreateSuperTriangle();
    // Bowyer-Watson step: the faces whose circumcircle holds p are replaced by a fan
    // around p. False, nothing changed, when a face has collinear corners or no
    // star-shaped cavity can be formed. A point on an existing vertex, or one outside
    // every face, is added without faces. (Run inserts all its points in one go.)
    [[nodiscard]] bool InsertPoint(const QvPoint& p);
    // Makes the segment an edge by re-triangulating the faces it crosses; true when it
    // crosses none.
    [[nodiscard]] bool InsertSegment(const QvLineSeg& segment);
    // The boundary of the face set as one closed walk ending with its start vertex.
    [[nodiscard]] bool GetCavityBoundary(const std::set<int>& faces, std::vector<int>& loop) const;
    // The loop's two sides of the segment as chains from one segment end through the
    // loop to the other; a chain of two vertices or fewer is emptied.
    [[nodiscard]] bool SplitCavity(const std::vector<int>& loop, const QvLineSeg& segment, std::vector<int>& right,
                                   std::vector<int>& left) const;
    // Ear cutting of a simple closed vertex loop, flattest convex ear first, never an
    // ear that holds another loop vertex. False when no ear can be cut (the faces cut
    // so far stay).
    [[nodiscard]] bool TriangulatePolygon(std::vector<int>& loop);
    // Reverses the loop when it runs clockwise (by its signed area).
    void OrientCounterClockwise(std::vector<int>& loop) const;
    // Interior angle at position i, negative at a reflex corner.
    double GetCornerAngle(const std::vector<int>& loop, int i) const;
    // Floods from the outer side of every outline edge and removes what it reaches.
    void RemoveOutside();

    QvMesh m_patch;
    std::vector<QvPoint> m_points;
    std::vector<QvLineSeg> m_segments;
    std::vector<int> m_boundaryIndices;

private:
    // The patch's elements during point insertion, numbered and edited exactly as the
    // mesh numbers and edits them, without its per-element objects and scratch lists.
    struct Triangulation;
    // Moves the patch into the triangulation and back.
    void BeginInsertion();
    void EndInsertion();
    [[nodiscard]] bool InsertOnePoint(const QvPoint& p);
    std::unique_ptr<Triangulation> m_fast;

    // First patch vertex at the planar position of p; -1 when none.
    int FindVertexAt(const QvPoint& p) const;
    // The face's circumcircle in the plane, centre and radius; false when its corners
    // have none.
    bool FaceCircle(int face, QvPoint& centre, double& radius) const;
    // Keeps every face's circumcircle (or the flag that it has none), unless they already
    // follow the patch: InsertPoint keeps them, the other steps drop them, and a face count
    // other than theirs (the patch edited from outside) has them computed again.
    void TrackFaces();
    // The face that holds q (the first in index order when q lies on a side); -1 when none.
    int LocateFace(const QvPoint& q) const;
    void RemoveTrackedFace(int face);
    [[nodiscard]] bool AddTrackedFace(int a, int b, int c);

    struct Circle
    {
        QvPoint centre;
        double radius = 0.0;
        bool undefined = false;
    };
    std::vector<Circle> m_circles;
    int m_undefinedCount = 0;
    bool m_tracking = false;
    // Per face, the insertion that last tested it (tested) or took it into its cavity.
    std::vector<unsigned> m_tested;
    std::vector<unsigned> m_inCavity;
    unsigned m_insertion = 0;
    // Scratch lists of one insertion, kept for their capacity.
    std::vector<int> m_cavity;
    std::vector<std::pair<int, int>> m_rim;
    std::vector<int> m_rimVertices;
    std::vector<int> m_cavityVertices;
    // Flat boxes of the faces (x low, x high, y low, y high) and flat vertex positions,
    // kept from one InsertSegment to the next while nothing else edits the patch.
    void UpdateBoxes();
    std::vector<std::array<double, 4>> m_faceBoxes;
    std::vector<std::array<double, 2>> m_vertexXY;
    bool m_boxesValid = false;
};
