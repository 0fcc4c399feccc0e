// SPDX-License-Identifier: GPL-3.0-or-later
// Closes a scanned crown, open along its gum line, with a short artificial root built
// into the tooth's own mesh. Every face it adds carries kQvFaceTagVirtualRoot, which is
// how the rest of the system tells that a tooth has a root.
//
// Construct with the tooth, a copy of its crown boundary loop, the root length and the
// end-ring scale; choose the builder with SetMode; Execute once; destroy. The command
// owns nothing it was given and keeps no result: the root lives in the tooth's mesh.
//
// The root grows along the tooth frame's Z axis (crown towards root). When a root
// cannot be built the tooth's mesh is left exactly as it was (vertices, edges, faces,
// box and flags); only the tooth's stored crown loop may have been refreshed. The one
// false answer that keeps a root is the blended builder's unsolved implicit surface.
#pragma once

#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvPoint.h"

class QvBSplineSurface;
class QvModel;
class QvPlane;
class QvToothBase;

// The ring root (length, ring scale) grown on every tooth of the list from its refreshed
// crown loop, the teeth side by side (threads as QvParallelFor: 0 is one per hardware
// thread); the same roots as growing them one after another. A tooth whose root cannot
// be built stays as the command leaves it. The teeth must be distinct.
void QvGrowRingRoots(const std::vector<QvToothBase*>& teeth, double length, double ringScale, unsigned threads = 0);

class QvVirtualRootCommand : public QvCommand
{
public:
    // No tooth, empty loop, both values 0, ring builder.
    QvVirtualRootCommand();
    // Stores the values (the loop copied); the ring builder is selected. The loop only
    // heads the list of vertices smoothed after building.
    QvVirtualRootCommand(QvToothBase* tooth, const std::vector<int>& boundaryLoop, double length, double ringScale);
    ~QvVirtualRootCommand() override;

    // false: ring builder (the default); true: blended builder.
    void SetMode(bool mode) { m_bMode = mode; }

    // The selected builder's result.
    [[nodiscard]] bool Execute() override;

    // Wall skinned between the crown loop and a narrowed end ring, stitched to the crown,
    // capped, oriented with the crown and smoothed together with the crown's rim. A root
    // that crosses itself or the crown is built again at half the length, up to three
    // times; the last one is kept.
    // False without a tooth, for a closed mesh (no crown loop), a tooth without a frame,
    // a loop too short or degenerate to stitch (fewer than three stitch columns), a
    // failed curve fit or skinning, or a root that would need an absurd vertex count.
    [[nodiscard]] bool BuildRingRoot();
    // The same root, then the ring next to the crown pulled onto an implicit surface
    // through the crown's rim and the rim rings smoothed with growing weights. The root
    // stays whatever the answer; true when the implicit surface could be solved. False,
    // with nothing added, where BuildRingRoot fails.
    [[nodiscard]] bool BuildBlendedRoot();
    // An open straight wall from the tooth's stored crown loop to the loop projected onto
    // the plane and pulled towards its centre by the ring scale; the end stays open.
    // False, nothing added, without a tooth, for a loop of fewer than 3 valid vertices
    // or a degenerate loop.
    [[nodiscard]] bool BuildStraightWall(const QvPlane& plane);

    // Through the loop's farthest point along the frame's Z axis, normal that axis.
    // False for an empty loop, an index outside the mesh, an unset frame or a point that
    // is not finite; the plane is then unchanged.
    [[nodiscard]] bool ComputeBasePlane(QvPlane& plane) const;

    // ---- Spacing rules of the stitching and the cap -----------------------------------

    // Stitch positions along a closed loop: 0, then from the last chosen h the first i
    // with |P(h) - P(i)| >= spacing, until i reaches the end; the last is dropped when it
    // lies closer than spacing to position 0 (position 0 itself is never dropped).
    static std::vector<int> ChooseStitchPositions(const std::vector<QvPoint>& loop, double spacing);
    // Inner wall vertices of a column: trunc(wallLength / spacing); -1 when the ratio is
    // not finite or would need an absurd vertex count.
    static int WallSegments(double wallLength, double spacing);
    // Segments of a cap spoke: trunc(distance / spacing), at least 2 whenever that is
    // below 3; -1 as above.
    static int CapSegments(double distance, double spacing);

private:
    // Fits, skins and stitches the wall onto the loop; false, nothing added, on failure.
    bool BuildRootWall(const QvPlane& plane, const std::vector<int>& loop, double length);
    bool StitchWall(const QvBSplineSurface& surface, const std::vector<double>& params, const std::vector<int>& loop);
    // Caps the boundary loop whose first vertex lies nearest `length` from the plane;
    // false, nothing added, when there is none or it cannot be capped.
    bool CapOpenEnd(const QvPlane& plane, double length);
    bool CapLoop(const std::vector<int>& loop);

    QvToothBase* m_pTooth = nullptr;
    std::vector<int> m_boundaryLoop;
    double m_dLength = 0.0;
    double m_dRingScale = 0.0;
    bool m_bMode = false;
};

// The open document's root-growing pass: every tooth of the model's teeth list, in list
// order, that is not marked deleted and has no root face yet gets its crown loop
// refreshed and a ring-built root of length 2.0 and ring scale 0.5. Teeth whose root
// cannot be built keep their open crown.
void GrowVirtualRoots(QvModel& model);
