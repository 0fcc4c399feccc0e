// SPDX-License-Identifier: GPL-3.0-or-later
// Moves mesh vertices towards their neighbours without changing the topology:
// explicit smoothing passes (QvMeshSmoothCommand.cpp) and fairing by one sparse
// linear system (QvMeshFairing.cpp).
//
// Construct with the mesh (and, for Execute and SmoothListed, a vertex list), call
// one or more operations, destroy. The mesh is not owned and must outlive the
// command. Only Execute, SmoothLaplacian and SmoothListed recompute face normals;
// nothing here updates the bounding box or sets m_bModified, which is the caller's
// business.
//
// Common guarantees:
// - no operation writes a non-finite coordinate: a vertex whose new position would
//   not be finite (a ring whose neighbours all sit on the vertex, a degenerate
//   weight) keeps its position;
// - no explicit pass turns a face over: a move that would (the face's normal turning
//   against its old one) is halved for that vertex until it does not, or dropped;
// - vertex indices outside the mesh are ignored;
// - per-vertex colours are smoothed only when the mesh holds one colour per vertex;
//   components are truncated towards zero and saturate at the int32 range.
#pragma once

#include <set>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"

class QvMesh;

class QvMeshSmoothCommand : public QvCommand
{
public:
    // No mesh: every operation answers false or appends nothing.
    QvMeshSmoothCommand();
    // Empty list: Execute moves nothing, SmoothListed smooths every vertex.
    explicit QvMeshSmoothCommand(QvMesh* mesh);
    QvMeshSmoothCommand(QvMesh* mesh, const std::vector<int>& vertices);
    ~QvMeshSmoothCommand() override;

    // Distance-weighted smoothing of the listed vertices, in list order and in place
    // (a later entry already sees the moves of earlier ones), once per iteration;
    // colours alike; then face normals. False only without a mesh.
    [[nodiscard]] bool Execute() override;

    // Appends, per listed vertex, p + lambda * (ring centroid - p), all computed from
    // the unchanged positions; the mesh is not changed. Indices outside the mesh
    // append nothing.
    void LaplacianPoints(const std::vector<int>& vertices, std::vector<QvPoint>& points, double lambda) const;
    void LaplacianPoints(const std::vector<int>& vertices, std::vector<QvPoint>& points) const;
    // One such position from the given position array (one entry per mesh vertex);
    // a vertex without neighbours keeps its position, an index outside the array
    // gives (0, 0, 0).
    QvVector LaplacianPoint(int vertex, const std::vector<QvVector>& positions, double lambda) const;

    // Uniform smoothing of the non-boundary vertices of the set: per pass every
    // vertex moves to p + lambda (ring mean - p) from the positions of the previous
    // pass; colours are blended the same way, written at once. Then face normals.
    // False, nothing changed, without a mesh, with an empty set or a non-finite
    // lambda.
    [[nodiscard]] bool SmoothLaplacian(const std::set<int>& vertices, int iterations, double lambda);

    // Groups with a factor each: per pass, group by group, the non-boundary vertices
    // of a group move to p + factor (ring mean - p), the group's moves applied
    // together, so a later group sees the earlier groups' moves. False, nothing
    // changed, without a mesh, without groups, with fewer factors than groups or a
    // non-finite factor.
    [[nodiscard]] bool SmoothWeighted(const std::vector<std::set<int>>& groups, const std::vector<double>& factors,
                                      int iterations);

    // Two-stage smoothing with correction of the command's list (every vertex when it
    // is empty), boundary included: with q the ring means, a listed vertex moves to
    // 0.5 (q_v + p_v) + 0.5 * mean over its ring of (q_j - p_j); colours alike;
    // the moves of one pass are applied together. Then face normals. False only
    // without a mesh.
    [[nodiscard]] bool SmoothListed(int iterations);

    // Both factors in one step on the non-boundary vertices of the set, with U the
    // distance-weighted umbrella vector and U2 the umbrella of U:
    // p += (lambda + mu) U + lambda mu U2. Colours and normals are not touched.
    // False, nothing changed, without a mesh, with an empty set or a non-finite factor.
    [[nodiscard]] bool SmoothLambdaMu(const std::set<int>& vertices, int iterations, double lambda, double mu);

    // Weight of the edge (i, j): kind 0 uniform (1), 1 the edge length, 2 the
    // cotangent weight (sum of the cotangents of the angles opposite the edge, twice
    // the single one on a boundary edge; a face of (numerically) zero area adds
    // nothing; 0 when i and j share no edge); any other kind 0.
    static double EdgeWeight(const QvMesh* mesh, int i, int j, int kind);

    // Fairing: the free vertices get the positions that make the first, second or
    // third power of the normalised umbrella operator (I - W) vanish on them, with
    // W's rows the ring weights of the given kind divided by their sum. Every other
    // vertex, and a free vertex in its neighbours' rows when it is also held, stays
    // where it is. A ring whose weights add up to (nearly) zero takes uniform
    // weights; a free vertex without neighbours keeps its position.
    // False, and no vertex moves, without a mesh, with an empty free set, a free
    // index outside the mesh, an unknown weight kind, or when the sparse solve fails.
    // Face normals, box and m_bModified are not touched.
    [[nodiscard]] bool FairLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                     int weightKind);
    [[nodiscard]] bool FairBiLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                       int weightKind);
    [[nodiscard]] bool FairTriLaplacian(const std::set<int>& freeVertices, const std::set<int>& heldVertices,
                                        int weightKind);

private:
    bool Fair(const std::set<int>& freeVertices, const std::set<int>& heldVertices, int weightKind, int order);

    QvMesh* m_pMesh = nullptr;
    std::vector<int> m_vertexList;
    int m_nIterations = 1;
};
