// SPDX-License-Identifier: GPL-3.0-or-later
// Densifies a region of a triangle mesh towards a target edge length: faces that are
// large against the local scale are split at their centroids, then interior edges are
// flipped to shorten them, until no face qualifies. The region's outline is never
// changed, so it stays stitched to the rest of the mesh. Vertices, edges and faces that
// existed before keep their indices; new ones are appended. Face normals are left to the
// caller.
#pragma once

#include <set>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"

class QvMesh;

class QvMeshRefineCommand : public QvCommand
{
public:
    // Region: the faces reached from the seed face without crossing the closed vertex
    // loop (the last vertex joins the first).
    QvMeshRefineCommand(QvMesh* mesh, const std::vector<int>& outlineLoop, int seedFace, double scale);
    // Region: the given faces.
    QvMeshRefineCommand(QvMesh* mesh, const std::set<int>& faces, double scale);
    // Region: every face.
    QvMeshRefineCommand(QvMesh* mesh, double scale);
    ~QvMeshRefineCommand() override;

    // False only without a mesh. A scale of 0 is derived from the outline (the mean
    // length of its edges, or of all edges when there is no outline) and stored back; a
    // negative or non-finite scale, or a derived one that is not positive, refines
    // nothing. Colours are appended for new vertices when the mesh holds one per vertex.
    // Runaway inputs are cut short: at most a number of new vertices proportional to the
    // region's area over the squared scale (and never above two million), and a bounded
    // number of flips per relaxation.
    [[nodiscard]] bool Execute() override;
    const std::set<int>& GetNewVertices() const { return m_newVertices; }
    double GetScale() const { return m_scale; }
    const std::set<int>& GetFaces() const { return m_faces; }

    // ---- steps of Execute; they work on the mesh passed in ----
    static void CollectRegionFaces(const QvMesh* mesh, const std::set<int>& outlineEdges, int seedFace,
                                   std::set<int>& faces);
    static void CollectRegionOutline(const QvMesh* mesh, const std::set<int>& faces, std::set<int>& outlineEdges);
    // True when no corner of the face nor any neighbour of a corner is nearer to the
    // point than the distance.
    static bool IsPointClearOfVertices(const QvMesh* mesh, int face, const QvPoint& point, double distance);
    // Splits the face into three around a new vertex at the point; the face keeps its
    // index, tag and normal for the piece at its first two corners, the two new faces
    // get tag 0 and the same winding. Returns the new vertex.
    static int SplitFace(QvMesh* mesh, int face, const QvPoint& point);
    // Flips the interior edge when the other diagonal is shorter (by more than one in a
    // million), does not exist yet, and the quadrilateral is convex.
    static bool SwapEdge(QvMesh* mesh, int edge);
    // The projection of s into the plane of p, q, r lies on the same side of the three
    // sides as the triangle, judged by the first side against the other two.
    static bool IsProjectionInTriangle(const QvPoint& p, const QvPoint& q, const QvPoint& r, const QvPoint& s);

private:
    QvMesh* m_pMesh = nullptr;
    std::set<int> m_faces;
    std::vector<int> m_outlineLoop;
    int m_nSeedFace = -1;
    double m_scale = 0.0;
    std::set<int> m_newVertices;
};
