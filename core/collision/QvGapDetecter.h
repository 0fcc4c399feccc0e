// SPDX-License-Identifier: GPL-3.0-or-later
// The gap between two neighbouring teeth of one jaw that do not touch: the smallest
// distance between points where the two placed surfaces cross a few parallel planes,
// and the point midway across it.
//
// The planes contain the pair's direction of greatest spread (the run of the arch
// between the two teeth) and are never normal to the first tooth's long axis: a centre
// plane through the pair's centroid and one 0.2 to either side. When a side plane
// measures the smallest gap it is moved further out while the gap does not widen,
// since the narrowest part of an embrasure often lies off the centre.
//
// The teeth's meshes are never changed or copied: a plane is carried into each
// tooth's own coordinates, the unplaced mesh is cut there and only the section points
// are placed. When the tooth's box tree in the cache (QvOBBTreeMgr) still matches its
// mesh, a cut looks only at the faces of the leaves the plane passes through. The
// pair's principal axes come from each tooth's own centroid and spread, carried by
// its placement, without placing any vertex. A detecter serves one detection of one
// pair at one step; the teeth must not be edited while it lives.
#pragma once

#include <memory>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvPoint.h"

class QvGapInfo;
class QvLine;
class QvMesh;
class QvOBBTree;
class QvToothBase;

// Count, centroid and scatter of a mesh's own vertex positions: those the tree keeps
// when the mesh still has the positions the tree was built on (matches), else summed.
struct QvGapToothMoments
{
    QvGapToothMoments() = default;
    QvGapToothMoments(const QvMesh& mesh, const QvOBBTree* tree);
    double count = 0.0;
    QvPoint centre;
    double scatter[3][3] = {};
    bool matches = false;
};

// The moments of teeth whose meshes match their cached trees, shared by the detecters
// of one pass over a step's pairs, so that each tooth is summed once and not once per
// neighbour. Only the owner of the pass keeps one; the teeth must not be edited and
// the trees not rebuilt while it lives (a tree no longer in the cache is looked up
// again).
class QvGapToothCache
{
public:
    struct Entry
    {
        const QvMesh* mesh;
        const QvOBBTree* tree;
        QvGapToothMoments moments;
    };
    // The entry of the mesh with the tree it was taken with; null when there is none.
    const Entry* Find(const QvMesh* mesh, const QvOBBTree* tree) const
    {
        for (const Entry& e : m_entries)
            if (e.mesh == mesh && e.tree == tree)
                return &e;
        return nullptr;
    }
    void Add(const QvMesh* mesh, const QvOBBTree* tree, const QvGapToothMoments& moments)
    {
        m_entries.push_back(Entry{mesh, tree, moments});
    }

private:
    std::vector<Entry> m_entries;
};

class QvGapDetecter
{
public:
    // Distance the side planes stand off the centre plane, and each outward move.
    static constexpr double kPlaneStep = 0.2;
    // Outward moves of a side plane at most.
    static constexpr int kMaxWalk = 10;

    // The teeth (not owned) with their full 4 x 4 placements at the step, copied; the
    // cache (not owned, may be null) must outlive the detecter.
    QvGapDetecter(QvToothBase* first, const QvMatrix& firstPlacement, QvToothBase* second,
                  const QvMatrix& secondPlacement, QvGapToothCache* cache = nullptr);
    virtual ~QvGapDetecter();
    QvGapDetecter(const QvGapDetecter&) = delete;
    QvGapDetecter& operator=(const QvGapDetecter&) = delete;

    // Builds the planes, measures and makes the record (kind 2, first and second tooth,
    // midpoint, width). True when the gap is wider than 0; a touching pair leaves a
    // record of width 0 and answers false. No record, and false, when no plane cuts
    // both teeth or no frame can be fitted. Planes and record of an earlier call are
    // dropped first.
    [[nodiscard]] bool Detect();
    // The record of the last Detect, owned by the detecter (copy it to keep it); null
    // when there is none.
    QvGapInfo* GetGapInfo() const { return m_pResult.get(); }

    // Appends the centre plane and the two side planes; nothing when the points of the
    // two placed teeth, or the first tooth's own points, give no frame.
    void BuildPlanes();
    // The line through the centre of the tooth's placed points along their direction of
    // greatest spread (the tooth's placement is the first one when it is the first
    // tooth, else the second); null when no frame can be fitted to its vertices.
    std::unique_ptr<QvLine> GetToothAxis(const QvToothBase* tooth) const;
    // The smallest distance from a section point of the second tooth to the section
    // points of the first on the plane, and the midpoint of that closest pair. False
    // when a tooth or the plane is missing or the plane misses either tooth; an empty
    // list of section points leaves the distance at 1e10.
    [[nodiscard]] bool MeasureOnPlane(const QvPlane* plane, double& distance, QvPoint& point);

    const std::vector<std::unique_ptr<QvPlane>>& GetPlanes() const { return m_planes; }
    QvToothBase* GetFirstTooth() const { return m_pFirst; }
    QvToothBase* GetSecondTooth() const { return m_pSecond; }
    const QvMatrix& GetFirstPlacement() const { return m_firstPlacement; }
    const QvMatrix& GetSecondPlacement() const { return m_secondPlacement; }

private:
    // Appends the placed points of the sections of tooth 0 (first) or 1 (second) by
    // the plane; false when the plane misses the tooth.
    bool SectionPoints(int tooth, const QvPlane& plane, std::vector<QvPoint>& out);
    // The cached tree of tooth 0 or 1 when it still matches the mesh, else null; looked
    // up once per detecter, in the pass that takes the tooth's moments.
    const QvOBBTree* FaceIndex(int tooth);
    QvGapToothMoments ToothMoments(int tooth);

    // The section points near the other tooth only, when both teeth have trees: exact
    // when the nearest pair among them lies within the reach gathered (kCut with the
    // measurement), kMissed when the plane misses a tooth, kUnsure when the full
    // sections must decide.
    enum class Near
    {
        kCut,
        kMissed,
        kUnsure
    };
    Near MeasureNear(const QvPlane& plane, double& distance, QvPoint& point);
    Near NearSectionPoints(int tooth, const QvPlane& plane, double reach, std::vector<QvPoint>& out);

    QvToothBase* m_pFirst;
    QvMatrix m_firstPlacement;
    QvToothBase* m_pSecond;
    QvMatrix m_secondPlacement;
    std::vector<std::unique_ptr<QvPlane>> m_planes;
    std::unique_ptr<QvGapInfo> m_pResult;
    const QvOBBTree* m_trees[2] = {nullptr, nullptr};
    bool m_bTreeLooked[2] = {false, false};
    QvGapToothCache* m_pCache = nullptr;
};
