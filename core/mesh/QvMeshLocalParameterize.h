// SPDX-License-Identifier: GPL-3.0-or-later
// Flattens one patch of a mesh into the unit square: the faces inside a closed vertex
// loop that touch a seed vertex. Only the patch's vertices enter the linear system
// (numbered compactly); the rest of the mesh is left out and shows at (-1, -1, -1) in
// the flat copy.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/geometry/QvSparseSolver.h"

class QvMesh;

// Membership classes of vertices, edges and faces.
inline constexpr std::uint32_t kQvPatchInside = 0;
inline constexpr std::uint32_t kQvPatchBorder = 1;
inline constexpr std::uint32_t kQvPatchOutside = 2;

class QvMeshLocalParameterize
{
public:
    // Whole mesh: the longest boundary loop is placed, every other vertex (those of shorter
    // loops too) is solved as an inner one.
    explicit QvMeshLocalParameterize(QvMesh* mesh);
    // Patch: the region bounded by loop (closed; consecutive vertices must be joined by
    // edges) whose faces touch seed. Without such a region only the loop takes part.
    // Loop entries that are not vertices of the mesh make Run fail.
    QvMeshLocalParameterize(QvMesh* mesh, const std::vector<std::int32_t>& loop, std::int32_t seed);
    virtual ~QvMeshLocalParameterize();
    QvMeshLocalParameterize(const QvMeshLocalParameterize&) = delete;
    QvMeshLocalParameterize& operator=(const QvMeshLocalParameterize&) = delete;

    // The whole computation. False when the loop cannot be placed (fewer than 3 vertices, no
    // plane, an entry outside the mesh), the solve fails, or the patch's u or v values all
    // coincide; the pairs are then not to be used and no flat copy is made.
    [[nodiscard]] bool Run();
    // The pair of vertex i after Run; nothing is written for an index without one.
    void GetUV(std::int32_t i, double& u, double& v) const;
    // Copy of the mesh (same numbering): vertex i at (u_i, v_i, 0) inside the patch or on
    // its loop, at (-1, -1, -1) outside; null before a successful Run.
    std::unique_ptr<QvMesh> CreateParameterMesh() const;
    // Breadth-first flood fill over faces, never crossing a barrier edge. The first
    // component (in ascending face order of its first face) with the seed as a corner is
    // appended in reach order: true. False, appending nothing, when no component has it.
    static bool FindRegionFaces(const QvMesh* mesh, const std::vector<std::int32_t>& barrierEdges,
                                std::int32_t seed, std::vector<std::int32_t>& faces);

    // ---- steps of Run ----
    [[nodiscard]] bool MapBoundary();
    void InitArrays();
    void BuildSystem();
    // One raw mean-value weight per incident edge of vertex i; 0 for an outside edge, and
    // outside faces do not contribute.
    void VertexWeights(std::int32_t i, std::vector<double>& out) const;
    [[nodiscard]] bool Solve();
    void Normalize();
    // Debug output: each value followed by two spaces, one row a line, into DumpTablePath()
    // (replaced). Nothing is written when the file cannot be opened.
    static void DumpTable(const std::vector<std::vector<double>>& rows);
    // "t.txt" in the system's temporary folder.
    static std::string DumpTablePath();

    QvMesh* m_pMesh;
    std::vector<std::int32_t> m_loop;
    std::vector<std::uint32_t> m_vertexClasses;
    std::vector<std::uint32_t> m_edgeClasses;
    std::vector<std::uint32_t> m_faceClasses;
    std::vector<double> m_u;
    std::vector<double> m_v;
    std::vector<std::vector<double>> m_weights;
    std::vector<QvSparseTriplet> m_triplets;

private:
    // Compact index of every vertex that takes part, -1 for the others.
    std::vector<std::int32_t> m_compact;
    bool m_bSolved = false;
};
