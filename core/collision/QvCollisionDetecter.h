// SPDX-License-Identifier: GPL-3.0-or-later
// Whether two placed meshes penetrate each other and, when they do, how deep and
// where. Detection runs in five stages over the crossing triangle pairs the two OBB
// trees report:
//   1 contact regions: the crossing faces of mesh A, grouped through shared vertices,
//     and the faces of mesh B they cross;
//   2 per region its faces, the contour of its crossing segments, the plane fitted
//     to the contour and the order of the regions (longest contour first);
//   3 penetration patches: per region and mesh, the surface lying inside the other
//     mesh, flooded from a seed found by ray parity along the region's plane normal;
//   4 patches of one mesh sharing a region are merged and paired with the patches of
//     the other mesh;
//   5 per pair, the largest distance from a vertex of one patch to the samples of the
//     other: the penetration depth, the deepest point and per-vertex depths.
//
// A detecter serves one Detect call on trees placed beforehand (the first tree's mesh
// is mesh A, the second's mesh B). It writes the working marks of both trees' face
// records, so while it lives nobody may place those trees or run another detecter on
// them. It never moves a mesh or a tree: a failure part way (an allocation, say)
// leaves the meshes and placements as they were, and the destructor frees whatever
// the stages made. The stages are public so that each can be checked on its own.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "core/collision/QvContactPatch.h"
#include "core/design/QvOBBTree.h"
#include "core/collision/QvPatchPair.h"
#include "core/geometry/QvPlane.h"

class QvGapInfo;
class QvLine;
class QvVertex;

class QvCollisionDetecter
{
public:
    // Stores the trees (not owned). Their face marks are reset by Detect once the trees
    // are found to cross; the stages called on their own work on the marks as they are.
    QvCollisionDetecter(QvOBBTree* a, QvOBBTree* b);
    virtual ~QvCollisionDetecter();
    QvCollisionDetecter(const QvCollisionDetecter&) = delete;
    QvCollisionDetecter& operator=(const QvCollisionDetecter&) = delete;

    // False, with nothing else done, when no triangle pair crosses (or a tree is
    // missing). Otherwise runs the five stages and answers true: the surfaces
    // intersect, and the depth and contact data are in GetGapInfo().
    [[nodiscard]] bool Detect();
    // The result of a true Detect, owned by the detecter (copy it to keep it); null
    // before, after a false Detect, or when a tree has no mesh. Its teeth are the
    // meshes when they are teeth, null otherwise.
    QvGapInfo* GetGapInfo() const { return m_pGapInfo.get(); }

    // ---- Stage 1 and 2: contact regions and their contours ----
    void FindContactRegions();
    void BuildRegionContours();

    // ---- Stage 3: penetration patches ----
    void FindPenetrationPatches();
    // Ray parity of p against the other tree's mesh along the line: inside when an
    // odd number of the line's crossings lie below p; an odd crossing count makes it
    // outside.
    bool IsPointInside(const QvLine* line, QvOBBTree* other, const QvPoint& p);
    // The face's vertices inside the other mesh along dir; marks the face touched.
    std::vector<QvVertex*> FindInsideVertices(QvOBBFace* face, const QvVector& dir);
    // A face around vertex (a corner of face), neither crossing nor visited, with all
    // three corners inside the other mesh; -1 when none.
    int FindSeedFace(bool onA, QvVertex* vertex, QvFace* face, const QvVector& dir);
    int FindSeed(bool onA, const std::vector<int>& faces, const QvVector& dir);
    // New patch, owned by the caller.
    std::unique_ptr<QvContactPatch> GrowPatch(QvOBBFace* seed, int region);
    void FloodFaces(QvOBBFace* seed, std::set<int>& regions, std::vector<QvOBBFace*>& faces);
    // The faces (of side A when onA, else B) that no flood has finished yet.
    std::vector<int> RemainingRegionFaces(bool onA, const std::vector<int>& faces);

    // ---- Stage 4 and 5: pairing and depth ----
    void PairPatches();
    void MeasurePenetration();
    void SplitPatchesBySide(std::vector<int>& onA, std::vector<int>& onB) const;
    void MergeSharedPatches(const std::vector<int>& side, std::vector<bool>& removed);
    static void MergePatch(QvContactPatch* into, QvContactPatch* from);
    std::multimap<int, int> PairSharedPatches(const std::vector<int>& first, const std::vector<int>& second) const;
    void SamplePatch(QvContactPatch* patch, const QvMatrix& m, std::vector<QvPatchVertex>& vertices,
                     std::vector<QvPoint>& points);

    // ---- Working data, in stage order ----
    QvOBBTree* m_pTreeA;
    QvOBBTree* m_pTreeB;
    std::vector<QvTriSegment> m_segments;
    std::vector<QvLineHit> m_lineHits;
    // Crossing face index -> region id, per mesh (a face of B met by two regions keeps
    // the first one's id).
    std::map<int, int> m_faceRegionA;
    std::map<int, int> m_faceRegionB;
    // Region id -> its faces, ascending, per mesh.
    std::map<int, std::vector<int>> m_regionFacesA;
    std::map<int, std::vector<int>> m_regionFacesB;
    // Regions with a usable contour, longest first.
    std::vector<int> m_regionOrder;
    // Region id -> contour plane (an entry may hold null).
    std::map<int, std::unique_ptr<QvPlane>> m_regionPlanes;
    std::vector<QvPoint> m_insidePoints;
    std::vector<std::pair<double, int>> m_insideKeys;
    std::vector<std::unique_ptr<QvContactPatch>> m_patches;
    std::vector<QvPatchPair> m_pairs;
    std::unique_ptr<QvGapInfo> m_pGapInfo;

private:
    // The tree whose face records hold the face, and the other one.
    QvOBBTree* TreeOf(const QvOBBFace* face) const;
    QvOBBTree* OtherTree(const QvOBBTree* tree) const;
    // The face across each of the face's three sides, -1 for none.
    static void EdgeNeighbours(const QvMesh& mesh, const QvFace& face, int out[3]);
};
