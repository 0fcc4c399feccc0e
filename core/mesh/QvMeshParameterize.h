// SPDX-License-Identifier: GPL-3.0-or-later
// Flattens a disc-like mesh patch into the unit square: the longest boundary loop is
// placed first, every other vertex follows by mean-value weights (one sparse system
// for u and v together), and u and v are rescaled to [0, 1] independently.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/geometry/QvPoint.h"
#include "core/geometry/QvSparseSolver.h"

class QvMesh;

class QvMeshParameterize
{
public:
    // mode 0: the loop projected onto its least-squares plane; mode 1: the unit circle by
    // chord length. Any other mode makes Run fail. The mesh is not owned and never changed;
    // it must stay unchanged and alive while this object is used.
    QvMeshParameterize(QvMesh* mesh, std::int32_t mode);
    virtual ~QvMeshParameterize();
    QvMeshParameterize(const QvMeshParameterize&) = delete;
    QvMeshParameterize& operator=(const QvMeshParameterize&) = delete;

    // The whole computation. False for a mesh without a boundary loop, a loop that cannot be
    // placed (fewer than 3 vertices, no plane), an unknown mode, a failed solve, or a patch
    // whose u or v values all coincide; the pairs are then not to be used.
    [[nodiscard]] bool Run();
    // The pair of vertex i after a successful Run; nothing is written for an index without one.
    void GetUV(std::int32_t i, double& u, double& v) const;
    // Copy of the mesh (same vertex, edge and face numbering) with vertex i at (u_i, v_i, 0);
    // null before a successful Run.
    std::unique_ptr<QvMesh> CreateParameterMesh() const;

    // ---- steps of Run ----
    [[nodiscard]] bool MapBoundary();
    void InitArrays();
    void BuildSystem();
    // Appends the raw mean-value weight of each incident edge of vertex i, in incidence order.
    void VertexWeights(std::int32_t i, std::vector<double>& out) const;
    [[nodiscard]] bool Solve();
    void Normalize();
    // Biconjugate-gradient alternative to Solve (Run does not take it): u, v of the interior
    // vertices become the iterates from their current values. Always true.
    bool SolveBcg();

    QvMesh* m_pMesh;
    std::int32_t m_mode;
    std::vector<double> m_u;
    std::vector<double> m_v;
    std::vector<std::vector<double>> m_weights;
    std::vector<QvSparseTriplet> m_triplets;

private:
    // Set by a successful Run only: the flat copy is never built from a failed one.
    bool m_bSolved = false;
};

// ---- shared with the local parameterisation ----

// Places a closed vertex loop (positions in loop order) in the XY plane: projection onto its
// least-squares plane turned so that the normal becomes +Z, and, when the projected loop
// crosses itself, the runs between consecutive convex-hull vertices laid straight along the
// hull edges. out receives one (x, y, 0) per loop position. False for fewer than 3 positions
// or a failed plane fit.
[[nodiscard]] bool QvPlaceLoopByProjection(const std::vector<QvPoint>& loop, std::vector<QvPoint>& out);

// Raw mean-value weight of the edge from p_i to p_j with the opposite corners of its faces
// (one or two): the sum of tan(a / 2) over the faces, a the angle at p_i, divided by |p_j - p_i|.
double QvMeanValueWeight(const QvPoint& pi, const QvPoint& pj, const QvPoint* pk, int cornerCount);

// Divides the weights by their sum. When the sum is not a positive finite number (degenerate
// corners, a zero-length edge), every weight becomes 1 / count instead, so the vertex still
// lands inside its neighbours rather than poisoning the system.
void QvNormalizeWeights(std::vector<double>& weights);
