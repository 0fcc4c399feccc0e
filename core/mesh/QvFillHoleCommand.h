// SPDX-License-Identifier: GPL-3.0-or-later
// Closes holes of a triangle mesh. A hole is a boundary loop given by the caller as an
// ordered list of vertex indices (the form QvMesh::GetBoundaryLoops returns); the
// command never picks loops itself. Execute does nothing: the strategies are public
// operations called directly on a command built over the target mesh. New faces are
// appended, so the faces an operation adds are the indices from the face count before
// it to the face count after it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"
#include "core/mesh/QvMesh.h"

class QvEdge;
class QvLineSeg;
class QvMeshParameterize;
class QvMultiquadricInterpolator;

// Angle sums to loop positions (or vertices), largest first; a key equal to existing
// keys goes after them, so ties keep insertion order.
using QvAngleRanking = std::multimap<double, int, std::greater<double>>;

class QvFillHoleCommand : public QvCommand
{
public:
    // ---- Class, shared face-list operations, corner-cutting fills: QvFillHoleCommand.cpp

    QvFillHoleCommand();
    // The mesh is not owned and must outlive the command.
    explicit QvFillHoleCommand(QvMesh* mesh);
    // Also releases an extracted patch or side curves a failed fill left behind.
    ~QvFillHoleCommand() override;
    QvFillHoleCommand(const QvFillHoleCommand&) = delete;
    QvFillHoleCommand& operator=(const QvFillHoleCommand&) = delete;

    // Returns true and does nothing.
    [[nodiscard]] bool Execute() override;
    void SetMesh(QvMesh* mesh);
    QvMesh* GetMesh() const { return m_pMesh; }

    // Advancing front over the loop's own vertices, largest angle sum first, no new
    // vertices; a corner whose triangle leaves the loop's outline (seen in its best-fit
    // plane, where the loop does not fold over itself there) is passed over. When no corner of the remaining front can be cut, 0 is
    // returned and the mesh is unchanged. The new faces are oriented against the mesh
    // and get their normals. Returns the number of faces added.
    int FillLoop(const std::vector<int>& loop, int tag);
    // One entry (angle sum at the vertex, position) per front position, appended.
    void RankLoopVertices(const std::vector<int>& front, QvAngleRanking& ranking) const;
    // False for repeated corners, a side whose edge has two faces, coincident or
    // collinear positions.
    [[nodiscard]] bool IsValidTriangle(const int corners[3]) const;
    // Constrained planar triangulation of the loop's positions. False for an empty loop,
    // a failed triangulation, a patch that leaves the hole open or crosses the surface
    // around it; the mesh is then unchanged.
    [[nodiscard]] bool FillLoopPlanar(const std::vector<int>& loop, int tag);
    // Repeatedly removes the face at the first listed vertex that has exactly one face,
    // erasing that vertex from the list. True when a face was removed.
    bool RemoveDanglingFaces(std::vector<int>& vertices);
    // Removes up to count faces from the end of the face list, never face 0, with the
    // vertices they leave without edges.
    void RemoveLastFaces(int count);
    // The angle at corners[0] of the triangle. When that vertex has an entry in both maps
    // (the multimap holding its old sum as a key), the angle is added to it in both and 0
    // is returned; an entry only in the vertex map gives its old sum back unchanged;
    // otherwise the angle is returned and nothing changes.
    double AddCornerAngle(const int corners[3], QvAngleRanking& angleToVertex,
                          std::map<int, double>& vertexToAngle) const;
    // True when the face at edge a-b runs from b to a; a and b must be joined by an edge.
    static bool IsEdgeReversed(const QvMesh* mesh, int a, int b);
    // Angle between the vectors in radians; -1 when either is zero.
    static double VectorAngle(const QvVector& p, const QvVector& q);

    // ---- Refined fill: QvFillHoleRefined.cpp -----------------------------------

    // Advancing front that splits long new sides, then splitting of long thin patch
    // faces; loop sides are never split. The front cuts the corner of largest angle sum
    // whose triangle stays inside the loop's outline. False, mesh unchanged, for an empty loop, a
    // perimeter above 40 or more than 120 vertices; false, with everything this call
    // added removed again, when a corner cannot be cut.
    [[nodiscard]] bool FillLoopRefined(const std::vector<int>& loop, int tag);
    // Closes the corner (previous, current, next) with a fan; the new side is cut into
    // pieces between T and 2T long. The vertices made on it are appended, from previous
    // to next.
    void AddCornerFan(const int corners[3], std::vector<int>& newVertices, int tag, double targetLength);
    // Splits long thin faces of index firstFace and above at the midpoints of their
    // long sides and mends the neighbours the splits leave with hanging vertices.
    void RefinePatch(int firstFace, const std::vector<int>& loop, int tag, double targetLength);

    // ---- Smooth fill: QvFillHoleSmooth.cpp --------------------------------------

    [[nodiscard]] bool FillLoopSmooth(const std::vector<int>& loop, int tag);
    // Copies the selected faces into a new mesh held as the extracted patch; mode 1 the
    // last count faces, 2 the faces around the loop vertices, 3 the faces around the
    // interior one-ring neighbours of the loop vertices.
    bool ExtractPatch(const std::vector<int>& loop, std::vector<int>& boundaryIndices, int count, int mode);
    void SampleParameterDomain(QvMeshParameterize& parameterization, const std::vector<int>& boundaryIndices,
                               std::vector<QvPoint>& points, std::vector<QvLineSeg>& segments);
    static void MakePolygonSegments(const std::vector<QvPoint>& points, std::vector<QvLineSeg>& segments);
    static bool IsInsidePolygon(const QvPoint& point, const std::vector<QvLineSeg>& segments, double farX);
    bool StitchPatch(QvMultiquadricInterpolator& interpolant, const std::map<int, int>& vertexMap, int tag);

    // ---- Boundary edge bridging: QvFillHoleBridge.cpp ---------------------------

    // Strip of triangles between two boundary edges of one loop, straight sides. With
    // separate false the faces (tag 2) go into the target mesh, otherwise into the
    // empty mesh output, oriented against the target's face at the first edge. False,
    // nothing added, for edges sharing a vertex, edges not on one loop, or a degenerate
    // quadrilateral.
    [[nodiscard]] bool BridgeEdges(const QvEdge& first, const QvEdge& second, QvMesh* output, bool separate);
    // The same with sides that leave and enter the edges tangentially to their faces.
    [[nodiscard]] bool BridgeEdgesSmooth(const QvEdge& first, const QvEdge& second, QvMesh* output,
                                         bool separate);
    // The four end vertices in boundary-walk order, arranged so that (c0, c1) and
    // (c2, c3) are the two edges; appended.
    void GetBridgeCorners(const QvEdge& first, const QvEdge& second, std::vector<int>& corners) const;
    // Steps along the sides (at least 2), or -1 for a degenerate quadrilateral.
    static int GetBridgeDivisions(const QvPoint points[4], double factor);
    void BuildBridgeMesh(const QvPoint points[4], int divisions, QvMesh* mesh, bool curved) const;
    void AddBridgeFaces(const QvPoint points[4], const std::vector<int>& corners, int divisions, bool curved);
    void BuildBridgeCurves(const QvPoint points[4], const std::vector<int>& corners, const QvEdge& first,
                           const QvEdge& second);
    void OrientBridgeMesh(int edge, QvMesh* mesh) const;

    // ---- Minimum-cost fill and fairing: QvFillHoleMinCost.cpp -------------------

    [[nodiscard]] bool FillLoopFaired(const std::vector<int>& loop, bool refine, int order,
                                      std::set<int>* newVertices);
    [[nodiscard]] bool FillLoopMinCost(QvMesh* mesh, const std::vector<int>& loop, std::set<int>* faces);
    static double CornerCost(const QvMesh* mesh, int previous, int current, int next);
    static double FoldAngle(const QvMesh* mesh, int edge, const QvPoint& point);

    // ---- Working fields, read-only views for inspection ----------------------------

    const QvMesh* GetExtractedPatch() const { return m_pExtractedPatch.get(); }
    const QvMesh& GetFlatPatch() const { return m_flatPatch; }
    const QvBSplineCurve* GetFirstSideCurve() const { return m_pFirstSideCurve.get(); }
    const QvBSplineCurve* GetSecondSideCurve() const { return m_pSecondSideCurve.get(); }

private:
    // Removes the faces from firstFace on and then the vertices from firstVertex on that
    // no face uses any more: what a fill adds, taken back (QvFillHoleCommand.cpp).
    void TakeBack(int firstFace, int firstVertex);
    // True when the faces from firstFace on cross each other or the surface near them.
    bool PatchCrosses(int firstFace) const;

    // Both bridges: validation, corners, divisions, then the strip (QvFillHoleBridge.cpp).
    bool Bridge(const QvEdge& first, const QvEdge& second, QvMesh* output, bool separate, bool curved);

    QvMesh* m_pMesh = nullptr;
    // Lives between the steps of one smooth fill.
    std::unique_ptr<QvMesh> m_pExtractedPatch;
    // The patch built in the parameter plane by a smooth fill.
    QvMesh m_flatPatch;
    // Curved bridge only: first from P1 to P2, second from P0 to P3.
    std::unique_ptr<QvBSplineCurve> m_pFirstSideCurve;
    std::unique_ptr<QvBSplineCurve> m_pSecondSideCurve;
};
