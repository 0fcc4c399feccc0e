// SPDX-License-Identifier: GPL-3.0-or-later
// Evaluation of one tooth pair or tooth-attachment pair at its step.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/collision/QvCollisionDetecter.h"
#include "core/collision/QvGapDetecter.h"
#include "core/collision/QvRigidPlacement.h"
#include "core/geometry/QvOBB.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvTreatStep.h"

namespace {

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

// A 4 x 4 placement from a stored matrix: itself, a 3 x 3 turn without translation,
// or the identity for any other size.
QvMatrix AsPlacement(const QvMatrix& m)
{
    if (m.Rows() == 4 && m.Cols() == 4)
        return m;
    QvMatrix out = Identity4();
    if (m.Rows() == 3 && m.Cols() == 3)
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                out[i][j] = m[i][j];
    return out;
}

// The tooth's placement at the step: its entry there or the nearest earlier one, else
// its initial entry, else the identity.
QvMatrix StepPlacement(const QvScheme* scheme, int step, const QvToothBase* tooth)
{
    if (scheme)
        if (const QvTreatStep* entry = scheme->FindStep(step, tooth))
            return AsPlacement(*entry->GetMatrix());
    return Identity4();
}

// The mesh's tree from the cache, built there first when the case did not build it.
QvOBBTree* CachedTree(QvMesh* mesh)
{
    QvOBBTreeMgr* cache = QvOBBTreeMgr::Instance();
    if (QvOBBTree* tree = cache->FindTree(mesh))
        return tree;
    cache->AddMesh(mesh);
    return cache->FindTree(mesh);
}

// Moves a mesh in place and puts it back, bit for bit, when it goes, whatever ends the
// evaluation. Putting back from a copy of the positions rather than by the inverse
// placement leaves no rounding behind (evaluations repeat on every step shown) and
// works for any placement, singular ones included.
class MovedMesh
{
public:
    MovedMesh() = default;
    MovedMesh(const MovedMesh&) = delete;
    MovedMesh& operator=(const MovedMesh&) = delete;
    ~MovedMesh() { Restore(); }

    void Move(QvMesh& mesh, const QvMatrix& placement)
    {
        m_points.reserve(mesh.m_vertices.size());
        for (const QvVertex& v : mesh.m_vertices)
            m_points.push_back(v.m_point);
        m_normals.reserve(mesh.m_faces.size());
        for (const QvFace& f : mesh.m_faces)
            m_normals.push_back(f.m_normal);
        m_box = mesh.m_bbox;
        m_pMesh = &mesh;
        mesh.QvMesh::Transform(placement);
    }

    void Restore() noexcept
    {
        if (!m_pMesh)
            return;
        for (std::size_t i = 0; i < m_points.size() && i < m_pMesh->m_vertices.size(); ++i)
            m_pMesh->m_vertices[i].m_point = m_points[i];
        for (std::size_t i = 0; i < m_normals.size() && i < m_pMesh->m_faces.size(); ++i)
            m_pMesh->m_faces[i].m_normal = m_normals[i];
        m_pMesh->m_bbox = m_box;
        m_pMesh = nullptr;
    }

private:
    QvMesh* m_pMesh = nullptr;
    std::vector<QvPoint> m_points;
    std::vector<QvVector> m_normals;
    QvBBox m_box;
};

// Rounding that no exact triangle test can see past: a pair of teeth that the filter
// finds clear by this much never crosses under the exact test either.
constexpr double kClearance = 1e-5;


// One tooth of a pair made ready for the collision test.
struct PlacedTooth
{
    QvMatrix placement;
    QvOBBTree* tree = nullptr;
    // A virtual tooth: its placement may scale it, which a tree placement cannot carry,
    // so the exact test moves its mesh and builds a tree on the moved mesh. Before that,
    // the cached tree of its own mesh, placed when the placement is rigid, tells cheaply
    // whether the test can find anything at all.
    QvMesh* virtualMesh = nullptr;
    QvOBBTree* filterTree = nullptr;
    // That tree: the evaluation's own, never cached, so that no other user of the
    // cache meets a tree whose mesh has moved back.
    std::unique_ptr<QvOBBTree> ownTree;

    // A box holding the placed tooth, grown by the zero tolerance against rounding;
    // false when there is none.
    bool Bounds(QvOBB& out) const
    {
        if (virtualMesh)
            return PlacedVertexBounds(out);
        if (!tree || !tree->GetRoot() || !tree->GetRoot()->HasBox())
            return false;
        out = tree->GetPlacedBox(tree->GetRoot());
        for (double& h : out.m_halfSize)
            h += 1e-7;
        return true;
    }

    // The box of the virtual tooth's vertices as the placement moves them.
    bool PlacedVertexBounds(QvOBB& out) const
    {
        if (virtualMesh->m_vertices.empty())
            return false;
        QvPoint lo = placement * virtualMesh->m_vertices.front().m_point;
        QvPoint hi = lo;
        for (const QvVertex& v : virtualMesh->m_vertices)
        {
            const QvPoint p = placement * v.m_point;
            for (int k = 0; k < 3; ++k)
            {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
        }
        const QvPoint centre((lo[0] + hi[0]) / 2.0, (lo[1] + hi[1]) / 2.0, (lo[2] + hi[2]) / 2.0);
        out = QvOBB(QvFrame(centre, QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0)), (hi[0] - lo[0]) / 2.0 + 1e-7,
                    (hi[1] - lo[1]) / 2.0 + 1e-7, (hi[2] - lo[2]) / 2.0 + 1e-7);
        return true;
    }

    // The tree the filter may use: the placed scanned tree, or the virtual tooth's
    // placed own tree when its placement is rigid; null when there is none.
    const QvOBBTree* FilterTree()
    {
        if (!virtualMesh)
            return tree;
        if (!filterTree && QvIsRigidPlacement(placement))
        {
            // The cached tree of the unmoved mesh, built (or built again when the mesh
            // changed since) as the case document builds every tree.
            QvOBBTree* own = CachedTree(virtualMesh);
            if (own && !own->MatchesMesh())
            {
                QvOBBTreeMgr::Instance()->RemoveMesh(virtualMesh);
                own = CachedTree(virtualMesh);
            }
            if (own && own->MatchesMesh())
            {
                own->SetPlacement(placement);
                filterTree = own;
            }
        }
        return filterTree;
    }

    void MoveAndBuildOwnTree(MovedMesh& moved)
    {
        if (!virtualMesh || ownTree)
            return;
        moved.Move(*virtualMesh, placement);
        ownTree = std::make_unique<QvOBBTree>(virtualMesh);
        tree = ownTree.get();
    }
};

void Prepare(const QvScheme* scheme, int step, QvToothBase* tooth, PlacedTooth& out)
{
    out.placement = StepPlacement(scheme, step, tooth);
    if (tooth->IsKindOf(kQvTypeTooth))
    {
        out.tree = CachedTree(tooth);
        if (out.tree)
            out.tree->SetPlacement(out.placement);
    }
    else if (tooth->IsKindOf(kQvTypeVirtualTooth))
    {
        out.placement = out.placement * QvOwnPlacement(tooth);
        out.virtualMesh = tooth;
    }
    else
        out.tree = CachedTree(tooth);
}

// Whether the two teeth may touch: false only when boxes holding them are apart or,
// for a virtual tooth, when its cached tree shows that no triangles can cross; in
// either case the exact test would find nothing and the virtual teeth need no tree.
bool MayMeet(PlacedTooth& a, PlacedTooth& b)
{
    QvOBB boxA, boxB;
    if (a.Bounds(boxA) && b.Bounds(boxB) && boxA.IsOutside(boxB))
        return false;
    if (!a.virtualMesh && !b.virtualMesh)
        return true;
    const QvOBBTree* treeA = a.FilterTree();
    const QvOBBTree* treeB = b.FilterTree();
    return !treeA || !treeB || treeA->MayCross(treeB, kClearance);
}

std::unique_ptr<QvGapInfo> KeptCopy(const QvGapInfo* record)
{
    if (!record || !(record->m_dDistance >= kQvContactMinDistance))
        return nullptr;
    return std::make_unique<QvGapInfo>(*record);
}

} // namespace

void Candidate::Evaluate(QvScheme* scheme, QvGapToothCache* cache)
{
    if (!m_bDirty)
        return;
    if (!m_pFirst || !m_pSecond || m_pFirst == m_pSecond)
    {
        m_pResult.reset();
        m_bDirty = false;
        return;
    }

    PlacedTooth first, second;
    std::unique_ptr<QvGapInfo> kept;
    bool collided = false;
    Prepare(scheme, m_nStep, m_pFirst, first);
    Prepare(scheme, m_nStep, m_pSecond, second);
    if (MayMeet(first, second))
    {
        // Declared first, gone last: the meshes are back before anything else happens,
        // on every way out of this block.
        MovedMesh movedFirst, movedSecond;
        first.MoveAndBuildOwnTree(movedFirst);
        second.MoveAndBuildOwnTree(movedSecond);
        {
            QvCollisionDetecter detecter(first.tree, second.tree);
            collided = detecter.Detect();
            if (collided)
                kept = KeptCopy(detecter.GetGapInfo());
        }
        first.ownTree.reset();
        second.ownTree.reset();
    }
    // Opposing teeth are never measured for gaps; the gap detecter places copies of
    // the meshes, now back where they were, itself.
    if (!collided && m_bSameJaw)
    {
        QvGapDetecter gap(m_pFirst, first.placement, m_pSecond, second.placement, cache);
        if (gap.Detect())
            kept = KeptCopy(gap.GetGapInfo());
    }
    m_pResult = std::move(kept);
    m_bDirty = false;
}

void AttCandidate::Evaluate(QvScheme* scheme)
{
    if (!m_bDirty || !m_pTooth || !m_pAttachment)
        return;
    QvAttachGeo* geo = m_pAttachment->GetGeometry();
    QvOBBTree* toothTree = CachedTree(m_pTooth);
    QvOBBTree* geoTree = geo ? CachedTree(geo) : nullptr;
    std::unique_ptr<QvGapInfo> kept;
    if (toothTree && geoTree)
    {
        toothTree->SetPlacement(StepPlacement(scheme, m_nStep, m_pTooth));
        const QvMatrix onTooth = m_pAttachment->m_pTooth ? StepPlacement(scheme, m_nStep, m_pAttachment->m_pTooth)
                                                         : Identity4();
        geoTree->SetPlacement(onTooth * AsPlacement(m_pAttachment->m_matrix));
        QvCollisionDetecter detecter(geoTree, toothTree);
        if (detecter.Detect())
            kept = KeptCopy(detecter.GetGapInfo());
    }
    m_pResult = std::move(kept);
    m_bDirty = false;
}
