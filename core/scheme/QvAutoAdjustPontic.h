// SPDX-License-Identifier: GPL-3.0-or-later
// Places a virtual tooth (pontic) between its two neighbours: re-centres it between
// them with its height and lateral offsets, then stretches or shrinks it along the
// arch so that it closes the gaps to both neighbours or removes its overlaps.
//
// All placements are jaw-relative 4 x 4 matrices. The command owns its copies of the
// lists and its result, never the teeth. Overlap and line queries go through the OBB
// trees of the process-wide cache: the neighbours' trees are added there when missing
// and stay, with the placement of their last use; the pontic's own temporary tree
// leaves the cache before Execute returns, on every path.
#pragma once

#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPoint.h"

class QvMesh;
class QvOBBTree;
class QvToothBase;

// Keeps the tree of a temporary mesh in the OBB-tree cache for one scope: built and
// stored on construction, removed on destruction, also while an exception unwinds,
// so that no later mesh at the same address finds it. A failed build stores nothing.
class QvTemporaryOBBTree
{
public:
    explicit QvTemporaryOBBTree(QvMesh* mesh);
    ~QvTemporaryOBBTree();
    QvTemporaryOBBTree(const QvTemporaryOBBTree&) = delete;
    QvTemporaryOBBTree& operator=(const QvTemporaryOBBTree&) = delete;

    // The stored tree; null for a null mesh.
    QvOBBTree* Get() const { return m_pTree; }

private:
    QvMesh* m_pMesh;
    QvOBBTree* m_pTree = nullptr;
};

class QvAutoAdjustPontic : public QvCommand
{
public:
    // Below this room between the neighbours (the pontic's two extents less the
    // overlaps, plus the gaps) the pontic is not placed: the result is all zero.
    static constexpr double kMinimumSpace = 1.5;

    // teeth: [first neighbour or null, virtual tooth, second neighbour or null], then
    // optionally the teeth of the opposing jaw; matrices: one placement per tooth,
    // entry 1 being the virtual tooth's own placement matrix. Both are copied. The
    // result is empty and both offsets are 0.
    QvAutoAdjustPontic(const std::vector<QvToothBase*>& teeth, const std::vector<QvMatrix>& matrices,
                       bool ignoreNeighbours);
    ~QvAutoAdjustPontic() override;

    // Signed distances of the pontic's centre from the neighbours' midpoint along its Z
    // axis and along the lateral axis, as QvScheme::FindVirtualToothNeighbours measures them.
    void SetHeightOffset(double offset) { m_dHeightOffset = offset; }
    void SetLateralOffset(double offset) { m_dLateralOffset = offset; }
    double GetHeightOffset() const { return m_dHeightOffset; }
    double GetLateralOffset() const { return m_dLateralOffset; }

    // Fills the result: the correction to put in front of the virtual tooth's own
    // placement matrix, or the all-zero 4 x 4 matrix when there is no room (an
    // all-zero matrix is never a placement: callers must not multiply it into one).
    // The result is always finite. Entry 1 of the command's matrix list becomes the
    // re-centred placement. False, with the result left empty, only when the lists
    // are unusable: fewer than three teeth, no virtual tooth at entry 1, or a matrix
    // list that does not hold one 4 x 4 matrix per tooth.
    [[nodiscard]] bool Execute() override;

    // Empty before Execute.
    const QvMatrix& GetResult() const { return m_result; }
    const std::vector<QvMatrix>& GetMatrices() const { return m_matrices; }

    // Lifts the pontic (its tree, at the tree's placement) off the opposing jaw (tooth
    // list entries 3 on): when any opposing tooth intersects it, the translation
    // column of correction becomes (deepest penetration + 0.1) x direction, the depth
    // measured along direction from the plane through the placed frame origin of the
    // virtual tooth. A correction that is not 4 x 4 is first made the 4 x 4 identity.
    // Otherwise correction is left untouched.
    void ClearOpposingJaw(QvOBBTree* ponticTree, const QvVector& direction, QvMatrix& correction);

    // The scale k along the arch and the shift t along it that bring the pontic's
    // extents A (first side) and B (second side) to A - a and B - b, a and b being
    // the overlap depths (gap widths negated). False, k and t untouched, when the room
    // (A - a) + (B - b) is below kMinimumSpace, when A + B is 0, or when a value is
    // not finite: the pontic is then not placed.
    [[nodiscard]] static bool ComputeScaleShift(double a, double extentA, double b, double extentB, double& k,
                                                double& t);

    // ---- Data -----------------------------------------------------------------

    std::vector<QvToothBase*> m_teeth;
    std::vector<QvMatrix> m_matrices;
    bool m_bIgnoreNeighbours = false;
    QvMatrix m_result;
    double m_dHeightOffset = 0.0;
    double m_dLateralOffset = 0.0;
};

// The frame of a neighbour as the adjustment sees it: the tooth's frame with its origin
// moved to the crown centre, then placed. The crown centre is the mesh centre projected
// onto the plane fitted to the crown rim (the boundary loop, unplaced); with fewer than
// three usable rim vertices, or when no plane fits, it is the mesh centre itself, and
// for a mesh without vertices the frame's own origin.
QvFrame QvPonticNeighbourFrame(const QvToothBase& tooth, const QvMatrix* placement);

// The axes of a pontic with frame f1 between neighbour frames f0 and f2 (null when
// absent): d runs along the arch from the first side towards the second, s is d turned
// to agree with f1's X axis, y = z x s is the lateral axis and z is f1's Z axis; all
// unit length and orthogonal to z. Without a usable arch direction (no neighbour, or
// the neighbours straight above the pontic) f1's X axis stands in for it, so that the
// axes always make a proper frame.
struct QvPonticAxes
{
    QvVector d;
    QvVector s;
    QvVector y;
    QvVector z;
};
QvPonticAxes QvPonticArchAxes(const QvFrame& f1, const QvFrame* f0, const QvFrame* f2);
