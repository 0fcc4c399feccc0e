// SPDX-License-Identifier: GPL-3.0-or-later
// Box hierarchies over the triangles of one mesh: which triangles a line passes
// through, which triangles of two placed meshes cross each other and where.
//
// A tree is built once from the mesh's own vertex positions and is then only placed:
// the mesh is never moved for a query. The boxes are kept as fitted, in the mesh's
// own coordinates, and the placement is applied while a query runs (the other tree's
// boxes and triangles are carried into this tree's frame), so that placing a tree
// costs nothing per node or vertex and queries see the fitted boxes moved by the
// placement. Triangles are read from the mesh when they are tested. A mesh whose
// vertices were moved must have its tree built again; one whose vertex or face storage
// changed makes every query on the old tree find nothing. The tree keeps no copy of
// the positions: a fingerprint of them tells a mesh edited in place.
//
// Queries read the tree only: any number of threads may query one tree while nobody
// places it or runs a collision detecter on it (that writes the face marks).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvOBB.h"
#include "core/geometry/QvPoint.h"

class QvFace;
class QvLine;
class QvMesh;
class QvPlane;

// One mesh triangle of a tree. The marks and the index are working state of the
// pairwise collision detecter; nothing else reads them.
struct QvOBBFace
{
    QvFace* m_pFace = nullptr;
    QvMesh* m_pMesh = nullptr;
    bool m_marks[3] = {false, false, false};
    std::int32_t m_nIndex = -1;
    // The face's corners as built, so that queries need not reach into the mesh.
    std::int32_t m_corners[3] = {-1, -1, -1};
};

// A node's faces, read like a vector of record pointers: the root's all records in face
// order, a leaf's its stretch of the tree's leaf-order list of face numbers.
class QvOBBFaceList
{
public:
    class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QvOBBFace*;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = QvOBBFace*;

        Iterator() = default;
        Iterator(QvOBBFace* records, const std::uint32_t* order, std::size_t at)
            : m_pRecords(records), m_pOrder(order), m_nAt(at)
        {
        }
        QvOBBFace* operator*() const { return m_pRecords + (m_pOrder ? m_pOrder[m_nAt] : m_nAt); }
        Iterator& operator++()
        {
            ++m_nAt;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator old = *this;
            ++m_nAt;
            return old;
        }
        difference_type operator-(const Iterator& other) const
        {
            return static_cast<difference_type>(m_nAt) - static_cast<difference_type>(other.m_nAt);
        }
        bool operator==(const Iterator& other) const { return m_nAt == other.m_nAt; }
        bool operator!=(const Iterator& other) const { return m_nAt != other.m_nAt; }

    private:
        QvOBBFace* m_pRecords = nullptr;
        const std::uint32_t* m_pOrder = nullptr;
        std::size_t m_nAt = 0;
    };

    QvOBBFaceList() = default;
    // order null: the records themselves, in their order.
    QvOBBFaceList(QvOBBFace* records, const std::uint32_t* order, std::size_t count)
        : m_pRecords(records), m_pOrder(order), m_nCount(count)
    {
    }
    Iterator begin() const { return Iterator(m_pRecords, m_pOrder, 0); }
    Iterator end() const { return Iterator(m_pRecords, m_pOrder, m_nCount); }
    std::size_t size() const { return m_nCount; }
    bool empty() const { return m_nCount == 0; }
    QvOBBFace* operator[](std::size_t i) const { return m_pRecords + (m_pOrder ? m_pOrder[i] : i); }

private:
    QvOBBFace* m_pRecords = nullptr;
    const std::uint32_t* m_pOrder = nullptr;
    std::size_t m_nCount = 0;
};

// Two children or none. A tree keeps all its nodes in one array, the root first and
// siblings side by side, so that walks over two trees stay within a few cache lines per
// node; the box is kept as plain parts. Only the root and the leaves list their faces
// (QvOBBTree::GetNodeFaces): the root all of them in face order, a leaf its own stretch
// of the tree's leaf-order list, which the build partitions in place (an inner node's
// stretch is the union of its children's, and its list is left empty).
struct QvOBBTreeNode
{
    bool IsLeaf() const { return m_nFirst == 0; }
    // False only for a root that no box could be fitted to (then the tree finds nothing).
    bool HasBox() const { return m_bBox != 0; }
    const QvOBBTreeNode* GetFirst() const { return m_nFirst ? this + m_nFirst : nullptr; }
    const QvOBBTreeNode* GetSecond() const { return m_nFirst ? this + m_nFirst + 1 : nullptr; }
    // The box fitted to the node's vertices in the mesh's own coordinates; the default
    // box for a node without one.
    QvOBB GetBox() const { return HasBox() ? QvOBB(m_box) : QvOBB(); }

    // What a walk reads first (the links, the ball, the centre) shares a cache line.
    // From this node to its first child in the tree's array; 0 for a leaf.
    std::uint32_t m_nFirst = 0;
    // The node's stretch of the leaf-order face list.
    std::uint32_t m_nFaceBegin = 0;
    std::uint32_t m_nFaceCount : 31 = 0;
    std::uint32_t m_bBox : 1 = 0;
    // Position among the leaves in pre-order; -1 for an inner node.
    std::int32_t m_nLeafIndex = -1;
    // Half the box's diagonal: the radius of a ball around it.
    double m_dRadius = 0.0;
    QvOBBParts m_box;
};

// One pair of crossing triangles: the stretch of the two planes' intersection line
// that both cover, at the trees' placements (start and end are equal when the
// triangles only touch at a point).
struct QvTriSegment
{
    QvOBBFace* m_pFirst = nullptr;
    QvOBBFace* m_pSecond = nullptr;
    QvPoint m_start;
    QvPoint m_end;
    bool m_bFlag = false;
};

// One triangle a line passes through, with the point at the tree's placement.
struct QvLineHit
{
    QvPoint m_point;
    QvOBBFace* m_pFace = nullptr;
};

class QvOBBTree
{
public:
    static constexpr std::int32_t kLeafSize = 5;

    // Builds the tree over the mesh's faces (mesh not owned; it must outlive the tree
    // and keep its faces); the placement is the identity. A mesh with fewer than three
    // vertices gets no root box, and every query on its tree finds nothing. A failed
    // allocation frees what was built and propagates.
    explicit QvOBBTree(QvMesh* mesh);
    // While on, the calling thread keeps the working storage of one build for its next
    // (a batch of builds then touches fresh memory once); turning it off frees it, as
    // does the thread's end. Off by default: a lone build keeps nothing.
    static void KeepBuildScratch(bool keep);
    ~QvOBBTree();
    QvOBBTree(const QvOBBTree&) = delete;
    QvOBBTree& operator=(const QvOBBTree&) = delete;

    // Places the tree at m, a 4 x 4 rigid transform. Any other size leaves the tree as
    // it was. A singular or non-finite m makes every query find nothing until a usable
    // placement is set.
    void SetPlacement(const QvMatrix& m);
    const QvMatrix& GetPlacement() const { return m_placement; }

    // Appends one hit per triangle the infinite line passes through (both sides of the
    // line's point; shared edges hit every triangle that has them). A line without
    // direction hits nothing.
    void IntersectLine(const QvLine& line, std::vector<QvLineHit>& out) const;
    // Appends one segment per crossing triangle pair, this tree's triangle first, in
    // the order of this tree's leaves, then the other's, then the faces within them.
    // Coplanar, parallel and zero-area triangles never cross.
    void Intersect(const QvOBBTree* other, std::vector<QvTriSegment>& out) const;

    // Appends the face records of every leaf whose fitted box comes within tolerance of
    // the plane and, when region is given, does not lie outside it; plane and region are
    // taken in the mesh's own coordinates whatever the placement (the plane's
    // coefficients need not be normalised; distances are then in its own units). Every
    // face that has a corner within tolerance of the plane, or corners on both sides,
    // and a point in the region is among them, rounding included.
    void FindFacesNearPlane(const QvPlane& plane, double tolerance, const QvOBB* region,
                            std::vector<const QvOBBFace*>& out) const;

    // Count, centroid and scatter (the sum of the outer products of the offsets from
    // the centroid, in vertex order, as QvFrame::FitPoints sums them) of a mesh's own
    // vertex positions.
    struct Moments
    {
        double count = 0.0;
        QvPoint centre;
        double scatter[3][3] = {};
    };
    static Moments ComputeMoments(const QvMesh& mesh);
    // The moments of the positions the tree was built on.
    const Moments& GetMoments() const { return m_moments; }
    // True while the mesh's vertex positions are still those the tree was built on, as
    // far as a 64-bit fingerprint of their bits tells (a mesh with a non-finite
    // position never matches).
    bool MatchesPositions() const;

    // False only when no triangle of this tree can cross one of the other's, whatever
    // the rounding: boxes grown by tolerance are apart, or every pair of triangles in
    // touching leaves lies clearly apart (one triangle beyond the other's plane by more
    // than the tolerance, or their stretches on the planes' line apart by more). A
    // filter in front of work that must be exact: true does not mean they cross.
    [[nodiscard]] bool MayCross(const QvOBBTree* other, double tolerance) const;

    // For the face record at position i of the root's list: marks false, index i.
    void ResetFaceMarks();

    QvMesh* GetMesh() const { return m_pMesh; }
    const QvOBBTreeNode* GetRoot() const { return m_pRoot; }
    // The node's faces (see QvOBBTreeNode); empty for an inner node other than the root.
    QvOBBFaceList GetNodeFaces(const QvOBBTreeNode* node) const;
    // Leaves in pre-order.
    const std::vector<const QvOBBTreeNode*>& GetLeaves() const { return m_leaves; }
    std::vector<QvOBBFace>& GetFaces() { return m_faceRecords; }
    const std::vector<QvOBBFace>& GetFaces() const { return m_faceRecords; }
    // The record of mesh face i, null out of range.
    QvOBBFace* GetFace(int face);
    bool OwnsFace(const QvOBBFace* face) const;
    // False once the mesh's vertex or face storage is not the one the tree was built on.
    bool IsCurrent() const;
    // True while the mesh's vertex positions and face corners are still those the tree
    // was built on (IsCurrent tells only the storage apart): fingerprints of both, for
    // callers that must not trust a cached tree whose mesh may have been edited in place.
    bool MatchesMesh() const;
    // The mesh's own position of a vertex, and the position at the placement.
    const QvPoint& GetPosition(int vertex) const;
    QvPoint GetPlacedPosition(int vertex) const;
    // The node's box at the placement (the fitted box moved by it); the default box
    // for a node without one.
    QvOBB GetPlacedBox(const QvOBBTreeNode* node) const;
    std::int32_t GetLeafSize() const { return m_nLeafSize; }

    // Placement rows 0 to 2 as an affine map, for the detecter's sampling.
    struct Affine
    {
        double m_r[3][3];
        double m_t[3];
        QvPoint Apply(const QvPoint& p) const
        {
            QvPoint q;
            for (int i = 0; i < 3; ++i)
                q[i] = m_r[i][0] * p[0] + m_r[i][1] * p[1] + m_r[i][2] * p[2] + m_t[i];
            return q;
        }
        QvVector Turn(const QvVector& v) const
        {
            QvVector w;
            for (int i = 0; i < 3; ++i)
                w[i] = m_r[i][0] * v[0] + m_r[i][1] * v[1] + m_r[i][2] * v[2];
            return w;
        }
    };
    // The affine part of a 4 x 4 matrix; false for another size or a non-finite value.
    [[nodiscard]] static bool ToAffine(const QvMatrix& m, Affine& out);

private:
    struct BuildScratch;
    static BuildScratch& TheScratch();
    void Build();
    void Split(std::size_t index, BuildScratch& scratch);
    bool CanQuery() const { return m_pRoot && m_bPlaced && IsCurrent(); }
    void CollectLeaves();
    QvOBBFace* LeafFace(const QvOBBTreeNode* leaf, std::size_t k) const
    {
        return const_cast<QvOBBFace*>(m_faceRecords.data()) + m_leafOrder[leaf->m_nFaceBegin + k];
    }

    QvMesh* m_pMesh = nullptr;
    std::vector<QvOBBFace> m_faceRecords;
    // Face numbers in leaf order: every leaf's faces are one stretch of it.
    std::vector<std::uint32_t> m_leafOrder;
    QvMatrix m_placement;
    // Every node of the tree, the root first; m_pRoot is null or points at the first.
    std::vector<QvOBBTreeNode> m_nodes;
    QvOBBTreeNode* m_pRoot = nullptr;
    std::int32_t m_nLeafSize = kLeafSize;

    std::vector<const QvOBBTreeNode*> m_leaves;
    Moments m_moments;
    // Fingerprints of the vertex positions and of the face corners the tree was built
    // on; m_bFinite is false when a position was not finite.
    std::uint64_t m_nPositionPrint = 0;
    std::uint64_t m_nCornerPrint = 0;
    bool m_bFinite = true;
    // The mesh storage the tree was built on.
    const void* m_pVertexData = nullptr;
    std::size_t m_nVertexCount = 0;
    const void* m_pFaceData = nullptr;
    // Own coordinates to placed ones and back; m_bPlaced is false while the placement
    // cannot be inverted.
    Affine m_toWorld;
    Affine m_toLocal;
    bool m_bPlaced = true;
};
