// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/intersections.h>
#include <gtest/gtest.h>

#include "core/design/QvOBBTree.h"
#include "core/design/QvOBBTreeMgr.h"
#include "core/design/tests/CollisionFixtures.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "testing/MeshRealTeeth.h"

namespace {

using qvtest::FacePairs;
using qvtest::Identity4;
using qvtest::IsFinite;
using qvtest::Rigid;
using qvtest::Skew;
using qvtest::Translation;
using qvtest::Triangle;

using K = CGAL::Exact_predicates_inexact_constructions_kernel;

K::Point_3 ToCgal(const QvPoint& p) { return K::Point_3(p[0], p[1], p[2]); }
QvPoint FromCgal(const K::Point_3& p) { return QvPoint(p.x(), p.y(), p.z()); }

K::Triangle_3 PlacedTriangle(const QvMesh& mesh, int face, const QvMatrix& m)
{
    const QvFace& f = mesh.m_faces[static_cast<std::size_t>(face)];
    return K::Triangle_3(ToCgal(m * mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point),
                         ToCgal(m * mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point),
                         ToCgal(m * mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point));
}

// The oracle: every face pair of the two placed meshes tested with CGAL's exact
// predicates; non-coplanar crossings with the stretch CGAL constructs.
struct OracleCrossing
{
    QvPoint m_start;
    QvPoint m_end;
};

std::map<std::pair<int, int>, OracleCrossing> OracleCrossings(const QvMesh& a, const QvMatrix& ma, const QvMesh& b,
                                                              const QvMatrix& mb)
{
    std::map<std::pair<int, int>, OracleCrossing> crossings;
    std::vector<K::Triangle_3> tb;
    for (std::size_t j = 0; j < b.m_faces.size(); ++j)
        tb.push_back(PlacedTriangle(b, static_cast<int>(j), mb));
    for (std::size_t i = 0; i < a.m_faces.size(); ++i)
    {
        const K::Triangle_3 ta = PlacedTriangle(a, static_cast<int>(i), ma);
        for (std::size_t j = 0; j < tb.size(); ++j)
        {
            // The boxes of the triangles only skip pairs that cannot meet.
            if (!CGAL::do_overlap(ta.bbox(), tb[j].bbox()))
                continue;
            if (ta.is_degenerate() || tb[j].is_degenerate() || !CGAL::do_intersect(ta, tb[j]))
                continue;
            if (CGAL::coplanar(ta[0], ta[1], ta[2], tb[j][0]) && CGAL::coplanar(ta[0], ta[1], ta[2], tb[j][1]) &&
                CGAL::coplanar(ta[0], ta[1], ta[2], tb[j][2]))
                continue; // coplanar: never a crossing here
            const auto result = CGAL::intersection(ta, tb[j]);
            OracleCrossing c;
            if (const K::Segment_3* s = boost::get<K::Segment_3>(&*result))
            {
                c.m_start = FromCgal(s->source());
                c.m_end = FromCgal(s->target());
            }
            else if (const K::Point_3* p = boost::get<K::Point_3>(&*result))
                c.m_start = c.m_end = FromCgal(*p);
            else
                continue;
            crossings[{static_cast<int>(i), static_cast<int>(j)}] = c;
        }
    }
    return crossings;
}

// The tree query against the oracle: the same face pairs, and each stretch with the
// same ends (in either order). Answers the number of crossings.
std::size_t ExpectSameAsOracle(QvMesh& a, const QvMatrix& ma, QvMesh& b, const QvMatrix& mb, const std::string& what)
{
    SCOPED_TRACE(what);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    ta.SetPlacement(ma);
    tb.SetPlacement(mb);
    std::vector<QvTriSegment> segments;
    ta.Intersect(&tb, segments);

    const auto oracle = OracleCrossings(a, ma, b, mb);
    std::set<std::pair<int, int>> expected;
    for (const auto& entry : oracle)
        expected.insert(entry.first);
    EXPECT_EQ(FacePairs(segments), expected);
    EXPECT_EQ(segments.size(), FacePairs(segments).size()) << "a face pair reported twice";
    for (const QvTriSegment& s : segments)
    {
        const auto it = oracle.find({s.m_pFirst->m_nIndex, s.m_pSecond->m_nIndex});
        if (it == oracle.end())
            continue;
        const QvPoint& p = it->second.m_start;
        const QvPoint& q = it->second.m_end;
        const double same = std::max(s.m_start.Distance(p), s.m_end.Distance(q));
        const double swapped = std::max(s.m_start.Distance(q), s.m_end.Distance(p));
        EXPECT_LT(std::min(same, swapped), 1e-7) << "faces " << s.m_pFirst->m_nIndex << ", " << s.m_pSecond->m_nIndex;
        EXPECT_FALSE(s.m_bFlag);
    }
    return oracle.size();
}

// Faces under a node, from its leaves.
void SubtreeFaces(const QvOBBTree& tree, const QvOBBTreeNode* node, std::vector<const QvOBBFace*>& out)
{
    if (node->IsLeaf())
    {
        const QvOBBFaceList faces = tree.GetNodeFaces(node);
        out.insert(out.end(), faces.begin(), faces.end());
        return;
    }
    SubtreeFaces(tree, node->GetFirst(), out);
    SubtreeFaces(tree, node->GetSecond(), out);
}

void ForEachNode(const QvOBBTreeNode* node, const std::function<void(const QvOBBTreeNode*)>& visit)
{
    if (!node)
        return;
    visit(node);
    ForEachNode(node->GetFirst(), visit);
    ForEachNode(node->GetSecond(), visit);
}

bool BoxContains(const QvOBB& box, const QvPoint& p, double tolerance)
{
    const QvVector d = p - box.m_frame.m_centre;
    return std::fabs(d.Dot(box.m_frame.m_dirX)) <= box.m_halfSize[0] + tolerance &&
           std::fabs(d.Dot(box.m_frame.m_dirY)) <= box.m_halfSize[1] + tolerance &&
           std::fabs(d.Dot(box.m_frame.m_dirZ)) <= box.m_halfSize[2] + tolerance;
}

// Every node's placed box holds the placed corners of every face below it.
void ExpectBoxesHoldFaces(const QvOBBTree& tree, const QvMatrix& m)
{
    const QvMesh& mesh = *tree.GetMesh();
    ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) {
        const QvOBB box = tree.GetPlacedBox(node);
        std::vector<const QvOBBFace*> faces;
        SubtreeFaces(tree, node, faces);
        for (const QvOBBFace* f : faces)
            for (const int c : f->m_corners)
                ASSERT_TRUE(BoxContains(box, m * mesh.m_vertices[static_cast<std::size_t>(c)].m_point, 1e-9));
    });
}

bool SameBox(const QvOBB& a, const QvOBB& b, double tolerance)
{
    return a.m_frame.m_centre.Distance(b.m_frame.m_centre) < tolerance &&
           (a.m_frame.m_dirX - b.m_frame.m_dirX).Length() < tolerance &&
           (a.m_frame.m_dirY - b.m_frame.m_dirY).Length() < tolerance &&
           (a.m_frame.m_dirZ - b.m_frame.m_dirZ).Length() < tolerance &&
           std::fabs(a.m_halfSize[0] - b.m_halfSize[0]) < tolerance &&
           std::fabs(a.m_halfSize[1] - b.m_halfSize[1]) < tolerance &&
           std::fabs(a.m_halfSize[2] - b.m_halfSize[2]) < tolerance;
}

// ---------------------------------------------------------------- structure

TEST(OBBTree, SmallMeshesAreOneLeafHoldingEveryFace)
{
    struct Case
    {
        const char* name;
        QvMesh mesh;
    };
    QvMesh five = qvtest::MakeGrid(4, 2); // 6 faces: trimmed to 5 below
    ASSERT_TRUE(five.RemoveFace(5, true));
    Case cases[] = {
        {"one triangle", Triangle(QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0))},
        {"strip", qvtest::MakeTwoTriangleStrip()},
        {"five faces", five},
    };
    for (Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        QvOBBTree tree(&c.mesh);
        ASSERT_NE(tree.GetRoot(), nullptr);
        EXPECT_TRUE(tree.GetRoot()->IsLeaf());
        EXPECT_EQ(tree.GetNodeFaces(tree.GetRoot()).size(), c.mesh.m_faces.size());
        EXPECT_EQ(tree.GetLeaves().size(), 1u);
        EXPECT_EQ(tree.GetLeafSize(), 5);
        EXPECT_TRUE(tree.GetPlacement().IsIdentity());
    }
}

TEST(OBBTree, LeavesPartitionTheFacesAndBoxesHoldThem)
{
    QvMesh sphere = qvtest::MakeSphere(4, 3.0); // 2048 faces
    QvMesh crown = qvtest::MakeCrown(3);
    for (QvMesh* mesh : {&sphere, &crown})
    {
        QvOBBTree tree(mesh);
        std::vector<int> seen(mesh->m_faces.size(), 0);
        std::size_t large = 0;
        for (const QvOBBTreeNode* leaf : tree.GetLeaves())
        {
            // More than 5 faces only where no centre plane separates them (typically a
            // fan whose shared corner lies just below every plane).
            const QvOBBFaceList leafFaces = tree.GetNodeFaces(leaf);
            if (leafFaces.size() > 5)
            {
                ++large;
                const QvOBB box = leaf->GetBox();
                for (int rank = 1; rank <= 3; ++rank)
                {
                    const QvPlane plane(box.m_frame.m_centre, box.GetAxisByExtent(rank));
                    std::size_t below = 0;
                    for (const QvOBBFace* f : leafFaces)
                    {
                        bool any = false;
                        for (const int c : f->m_corners)
                            any = any || plane.Distance(mesh->m_vertices[static_cast<std::size_t>(c)].m_point, true) < 0.0;
                        below += any ? 1 : 0;
                    }
                    EXPECT_TRUE(below == 0 || below == leafFaces.size());
                }
            }
            EXPECT_FALSE(leafFaces.empty());
            for (const QvOBBFace* f : leafFaces)
                ++seen[static_cast<std::size_t>(f->m_nIndex)];
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), static_cast<long>(seen.size()));
        EXPECT_LT(large * 20, tree.GetLeaves().size());
        ForEachNode(tree.GetRoot(), [](const QvOBBTreeNode* node) {
            EXPECT_EQ(node->GetFirst() == nullptr, node->GetSecond() == nullptr);
            EXPECT_TRUE(node->HasBox());
        });
        // The root keeps every face record in face order.
        const QvOBBFaceList rootFaces = tree.GetNodeFaces(tree.GetRoot());
        ASSERT_EQ(rootFaces.size(), mesh->m_faces.size());
        for (std::size_t i = 0; i < mesh->m_faces.size(); ++i)
        {
            EXPECT_EQ(rootFaces[i]->m_pFace, &mesh->m_faces[i]);
            EXPECT_EQ(rootFaces[i]->m_pMesh, mesh);
        }
        ExpectBoxesHoldFaces(tree, Identity4());
        const QvMatrix m = Skew(QvVector(4.0, -2.0, 7.5));
        tree.SetPlacement(m);
        ExpectBoxesHoldFaces(tree, m);
    }
}

// Every box is the principal-axes fit of its node's distinct vertices in ascending
// order, to the bit: the build's own gathering and fitting (no heap, positions side by
// side, corners moved with the faces) must not change a single split.
TEST(OBBTree, EveryBoxIsTheFitOfItsVertices)
{
    std::vector<QvMesh> meshes;
    meshes.push_back(qvtest::MakeCrown(3));
    meshes.push_back(qvtest::BumpySphere(4, 1.0, 0.1, 7));
    for (const int number : qvtest::RealToothNumbers())
    {
        meshes.emplace_back();
        ASSERT_TRUE(qvtest::LoadRealTooth(number, meshes.back()));
        if (meshes.size() == 3)
            break;
    }
    for (QvMesh& mesh : meshes)
    {
        const QvOBBTree tree(&mesh);
        std::size_t checked = 0;
        ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) {
            std::vector<const QvOBBFace*> faces;
            SubtreeFaces(tree, node, faces);
            std::vector<int> corners;
            for (const QvOBBFace* f : faces)
                corners.insert(corners.end(), std::begin(f->m_corners), std::end(f->m_corners));
            std::sort(corners.begin(), corners.end());
            corners.erase(std::unique(corners.begin(), corners.end()), corners.end());
            std::vector<QvPoint> points;
            if (node == tree.GetRoot())
                for (const QvVertex& v : mesh.m_vertices)
                    points.push_back(v.m_point);
            else
                for (const int c : corners)
                    points.push_back(mesh.m_vertices[static_cast<std::size_t>(c)].m_point);
            const std::unique_ptr<QvOBB> fitted(QvOBB::FromPoints(points));
            ASSERT_NE(fitted, nullptr);
            ASSERT_TRUE(node->HasBox());
            const QvOBB box = node->GetBox();
            for (int i = 0; i < 3; ++i)
            {
                EXPECT_EQ(box.m_frame.m_centre[i], fitted->m_frame.m_centre[i]);
                EXPECT_EQ(box.m_frame.m_dirX[i], fitted->m_frame.m_dirX[i]);
                EXPECT_EQ(box.m_frame.m_dirY[i], fitted->m_frame.m_dirY[i]);
                EXPECT_EQ(box.m_frame.m_dirZ[i], fitted->m_frame.m_dirZ[i]);
                EXPECT_EQ(box.m_halfSize[i], fitted->m_halfSize[i]);
            }
            EXPECT_EQ(node->m_dRadius, std::sqrt(box.m_halfSize[0] * box.m_halfSize[0] +
                                                 box.m_halfSize[1] * box.m_halfSize[1] +
                                                 box.m_halfSize[2] * box.m_halfSize[2]));
            ++checked;
        });
        EXPECT_GT(checked, mesh.m_faces.size() / 4);
    }
}

TEST(OBBTree, FacesNoPlaneSeparatesStayInOneLeaf)
{
    // Eight copies of one triangle (own vertices, same positions): every plane leaves
    // them on one side, so the root stays a leaf of 8.
    QvMesh mesh;
    for (int k = 0; k < 8; ++k)
    {
        const int a = mesh.AddVertex(QvPoint(0, 0, 0));
        const int b = mesh.AddVertex(QvPoint(1, 0, 0));
        const int c = mesh.AddVertex(QvPoint(0, 1, 0.5));
        ASSERT_TRUE(mesh.AddFace(a, b, c, 0));
    }
    QvOBBTree tree(&mesh);
    ASSERT_EQ(tree.GetLeaves().size(), 1u);
    EXPECT_EQ(tree.GetNodeFaces(tree.GetLeaves()[0]).size(), 8u);
}

TEST(OBBTree, MeshWithoutBoxFindsNothing)
{
    QvMesh twoPoints;
    twoPoints.AddVertex(QvPoint(0, 0, 0));
    twoPoints.AddVertex(QvPoint(1, 0, 0));
    QvMesh empty;
    QvMesh sphere = qvtest::MakeSphere(2);
    QvOBBTree treeSphere(&sphere);
    for (QvMesh* mesh : {&twoPoints, &empty})
    {
        QvOBBTree tree(mesh);
        ASSERT_NE(tree.GetRoot(), nullptr);
        EXPECT_FALSE(tree.GetRoot()->HasBox());
        std::vector<QvTriSegment> segments;
        tree.Intersect(&treeSphere, segments);
        treeSphere.Intersect(&tree, segments);
        EXPECT_TRUE(segments.empty());
        std::vector<QvLineHit> hits;
        tree.IntersectLine(QvLine(QvPoint(0, 0, 0), QvVector(0, 0, 1)), hits);
        EXPECT_TRUE(hits.empty());
        tree.ResetFaceMarks();
    }
    QvOBBTree none(nullptr);
    EXPECT_EQ(none.GetRoot(), nullptr);
    std::vector<QvTriSegment> segments;
    treeSphere.Intersect(&none, segments);
    treeSphere.Intersect(nullptr, segments);
    EXPECT_TRUE(segments.empty());
}

// ---------------------------------------------------------------- placement

TEST(OBBTree, PlacementMovesTheFittedBoxes)
{
    QvMesh mesh = qvtest::MakeCrown(3);
    QvOBBTree tree(&mesh);
    std::vector<QvOBB> fitted;
    ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) { fitted.push_back(tree.GetPlacedBox(node)); });

    const QvMatrix m = Skew(QvVector(1.0, 2.0, -3.0));
    tree.SetPlacement(m);
    std::vector<QvOBB> placed;
    ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) { placed.push_back(tree.GetPlacedBox(node)); });
    tree.SetPlacement(m);
    std::size_t i = 0;
    ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) {
        EXPECT_TRUE(SameBox(tree.GetPlacedBox(node), placed[i], 1e-12));
        EXPECT_TRUE(SameBox(placed[i], QvOBB(fitted[i], m), 1e-12));
        ++i;
    });

    tree.SetPlacement(Rigid(QvVector(1, 0, 0), 2.0, QvVector(-5, 0, 1)));
    tree.SetPlacement(Identity4());
    i = 0;
    ForEachNode(tree.GetRoot(), [&](const QvOBBTreeNode* node) {
        EXPECT_TRUE(SameBox(tree.GetPlacedBox(node), fitted[i], 1e-12));
        ++i;
    });
}

TEST(OBBTree, UnusablePlacementsFindNothingUntilReplaced)
{
    QvMesh a = qvtest::MakeSphere(2);
    QvMesh b = qvtest::MakeSphere(2);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    tb.SetPlacement(Translation(QvVector(1.0, 0.3, 0.1)));
    std::vector<QvTriSegment> base;
    ta.Intersect(&tb, base);
    ASSERT_FALSE(base.empty());

    QvMatrix flat(4, 4); // rank 0: the mesh collapses to a point
    flat[3][3] = 1.0;
    QvMatrix nan = Identity4();
    nan[0][3] = std::nan("");
    for (const QvMatrix* bad : {&flat, &nan})
    {
        ta.SetPlacement(*bad);
        std::vector<QvTriSegment> segments;
        ta.Intersect(&tb, segments);
        tb.Intersect(&ta, segments);
        EXPECT_TRUE(segments.empty());
        std::vector<QvLineHit> hits;
        ta.IntersectLine(QvLine(QvPoint(0, 0, 0), QvVector(0.1, 0.2, 1)), hits);
        EXPECT_TRUE(hits.empty());
    }
    // A 3 x 3 matrix is not a placement: the tree stays where it was.
    const QvMatrix turn(QvVector(0, 0, 1), 1.0);
    ta.SetPlacement(Identity4());
    ta.SetPlacement(turn);
    EXPECT_TRUE(ta.GetPlacement().IsIdentity());
    std::vector<QvTriSegment> again;
    ta.Intersect(&tb, again);
    EXPECT_EQ(FacePairs(again), FacePairs(base));
}

TEST(OBBTree, TreeOfAnEditedMeshFindsNothing)
{
    // The tree reads triangles from the mesh: once the mesh's storage changed, its face
    // records and corners no longer describe it, and the old tree must not read it.
    QvMesh a = qvtest::MakeSphere(2);
    QvMesh b = qvtest::MakeSphere(2);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    tb.SetPlacement(Translation(QvVector(0.5, 0.2, 0.1)));
    const QvLine line(QvPoint(0.1, 0.05, 0), QvVector(0.2, 0.1, 1));
    std::vector<QvTriSegment> segments;
    std::vector<QvLineHit> hits;
    ta.Intersect(&tb, segments);
    ta.IntersectLine(line, hits);
    ASSERT_FALSE(segments.empty());
    ASSERT_FALSE(hits.empty());
    EXPECT_TRUE(ta.IsCurrent());

    a.AddVertex(QvPoint(9, 9, 9));
    EXPECT_FALSE(ta.IsCurrent());
    segments.clear();
    hits.clear();
    ta.Intersect(&tb, segments);
    tb.Intersect(&ta, segments);
    ta.IntersectLine(line, hits);
    EXPECT_TRUE(segments.empty());
    EXPECT_TRUE(hits.empty());
}

// ---------------------------------------------------------------- crossings

TEST(OBBTree, TrianglePairCases)
{
    const QvPoint o(0, 0, 0), x(2, 0, 0), y(0, 2, 0);
    struct Case
    {
        const char* name;
        QvPoint b[3];
        int segments;     // expected count (0 or 1)
        QvPoint from, to; // expected stretch, either order
    };
    const Case cases[] = {
        {"crossing through the interior", {{0.2, 0.5, -1}, {1.0, 0.5, -1}, {0.6, 0.5, 1}}, 1, {0.4, 0.5, 0}, {0.8, 0.5, 0}},
        {"edge across edge", {{1, -1, -1}, {1, 1, 1}, {1, -1, 1}}, 1, {1, 0, 0}, {1, 0, 0}},
        {"vertex on the face", {{0.5, 0.5, 0}, {0.5, 0.2, 1}, {0.9, 0.5, 1}}, 1, {0.5, 0.5, 0}, {0.5, 0.5, 0}},
        {"coincident", {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, 0, {}, {}},
        {"coplanar overlapping", {{0.5, 0.5, 0}, {2.5, 0.5, 0}, {0.5, 2.5, 0}}, 0, {}, {}},
        {"parallel apart", {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}}, 0, {}, {}},
        {"apart", {{5, 5, -1}, {6, 5, 1}, {5, 6, 1}}, 0, {}, {}},
        {"plane misses above", {{0.2, 0.5, 0.1}, {1.0, 0.5, 0.1}, {0.6, 0.5, 1}}, 0, {}, {}},
        // Zero area: a needle through the face. Never a crossing, and nothing not finite.
        {"collinear needle", {{0.5, 0.5, -1}, {0.5, 0.5, 1}, {0.5, 0.5, 0.3}}, 0, {}, {}},
        // A sliver tilted out of the face's plane by less than the on-plane tolerance:
        // every corner counts as on the plane although the planes are not parallel.
        {"sliver flat in the plane", {{0.2, 0.2, 0}, {0.8, 0.2, 0}, {0.5, 0.200001, 5e-9}}, 0, {}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        for (const bool swap : {false, true})
        {
            QvMesh a = Triangle(o, x, y);
            QvMesh b = Triangle(c.b[0], c.b[1], c.b[2]);
            // Placed apart by the same skew motion: the answer does not depend on the placement.
            const QvMatrix m = Skew(QvVector(3, -1, 2));
            QvOBBTree ta(&a);
            QvOBBTree tb(&b);
            ta.SetPlacement(m);
            tb.SetPlacement(m);
            std::vector<QvTriSegment> segments;
            (swap ? tb : ta).Intersect(swap ? &ta : &tb, segments);
            ASSERT_EQ(static_cast<int>(segments.size()), c.segments) << (swap ? "swapped" : "");
            for (const QvTriSegment& s : segments)
            {
                EXPECT_TRUE(IsFinite(s.m_start) && IsFinite(s.m_end));
                const QvPoint from = m * c.from;
                const QvPoint to = m * c.to;
                const double same = std::max(s.m_start.Distance(from), s.m_end.Distance(to));
                const double swapped = std::max(s.m_start.Distance(to), s.m_end.Distance(from));
                EXPECT_LT(std::min(same, swapped), 1e-9);
            }
        }
    }
}

TEST(OBBTree, IntersectMatchesAllPairsOnRandomMeshes)
{
    std::size_t soupCrossings = 0;
    std::size_t sphereCrossings = 0;
    for (std::uint64_t seed = 1; seed <= 12; ++seed)
    {
        qvtest::Rng rng(seed);
        const auto randomPlacement = [&rng](double spread) {
            const QvVector axis(qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1));
            return Rigid(axis, qvtest::Uniform(rng, 0, 3),
                         QvVector(qvtest::Uniform(rng, -spread, spread), qvtest::Uniform(rng, -spread, spread),
                                  qvtest::Uniform(rng, -spread, spread)));
        };
        QvMesh soupA = qvtest::TriangleSoup(80, 0.6, seed * 2);
        QvMesh soupB = qvtest::TriangleSoup(80, 0.6, seed * 2 + 1);
        soupCrossings += ExpectSameAsOracle(soupA, randomPlacement(0.5), soupB, randomPlacement(0.5),
                                            "soups " + std::to_string(seed));

        QvMesh bumpyA = qvtest::BumpySphere(3, 1.0, 0.15, seed * 3);
        QvMesh bumpyB = qvtest::BumpySphere(2, 0.8, 0.2, seed * 3 + 1);
        sphereCrossings += ExpectSameAsOracle(bumpyA, randomPlacement(0.3), bumpyB, randomPlacement(1.5),
                                              "bumpy spheres " + std::to_string(seed));
    }
    // Enough crossings for the comparison to mean something.
    EXPECT_GT(soupCrossings, 200u);
    EXPECT_GT(sphereCrossings, 200u);
}

TEST(OBBTree, IntersectMatchesAllPairsOnSpheresAtOffsets)
{
    // Unit spheres with centres d apart along a skew direction: overlapping, barely
    // overlapping, touching (the inscribed meshes then stay apart) and apart.
    QvVector dir(0.37, -0.52, 0.77);
    dir.Normalize();
    struct Case
    {
        const char* name;
        double d;
        bool crossing;
    };
    const Case cases[] = {{"deep", 1.0, true}, {"shallow", 1.95, true}, {"touching", 2.0, false}, {"apart", 2.6, false}};
    for (const Case& c : cases)
    {
        QvMesh a = qvtest::MakeSphere(3);
        QvMesh b = qvtest::MakeSphere(3);
        const QvMatrix ma = Rigid(QvVector(1, 2, 3), 0.4, QvVector(0.5, -0.25, 2.0));
        const QvMatrix mb = Rigid(QvVector(-2, 1, 0.5), 1.1, QvVector(0.5, -0.25, 2.0) + dir * c.d);
        ExpectSameAsOracle(a, ma, b, mb, c.name);
        QvOBBTree ta(&a);
        QvOBBTree tb(&b);
        ta.SetPlacement(ma);
        tb.SetPlacement(mb);
        std::vector<QvTriSegment> segments;
        ta.Intersect(&tb, segments);
        EXPECT_EQ(!segments.empty(), c.crossing) << c.name;
    }
}

// Leaves of a tree whose placed boxes meet the query box, by descent from the root.
void OverlappingLeaves(const QvOBBTree& tree, const QvOBBTreeNode* node, const QvOBB& query,
                       std::vector<const QvOBBTreeNode*>& out)
{
    if (!node || tree.GetPlacedBox(node).IsOutside(query))
        return;
    if (node->IsLeaf())
    {
        out.push_back(node);
        return;
    }
    OverlappingLeaves(tree, node->GetFirst(), query, out);
    OverlappingLeaves(tree, node->GetSecond(), query, out);
}

TEST(OBBTree, SegmentsComeInLeafOrder)
{
    // The order of a plain descent: this tree's leaves meeting the other's root box,
    // each with the other's leaves meeting its box, then face by face.
    QvMesh a = qvtest::BumpySphere(4, 1.0, 0.1, 5);
    QvMesh b = qvtest::BumpySphere(4, 1.0, 0.1, 6);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    ta.SetPlacement(Rigid(QvVector(1, 0, 1), 0.5, QvVector(0, 0, 0)));
    tb.SetPlacement(Rigid(QvVector(0, 1, 1), 1.5, QvVector(1.2, 0.6, 0.3)));
    std::vector<QvTriSegment> segments;
    ta.Intersect(&tb, segments);
    ASSERT_GT(segments.size(), 50u);
    const std::set<std::pair<int, int>> found = FacePairs(segments);

    std::vector<std::pair<int, int>> expected;
    std::vector<const QvOBBTreeNode*> leavesA;
    OverlappingLeaves(ta, ta.GetRoot(), tb.GetPlacedBox(tb.GetRoot()), leavesA);
    for (const QvOBBTreeNode* leafA : leavesA)
    {
        std::vector<const QvOBBTreeNode*> leavesB;
        OverlappingLeaves(tb, tb.GetRoot(), ta.GetPlacedBox(leafA), leavesB);
        for (const QvOBBTreeNode* leafB : leavesB)
            for (const QvOBBFace* fa : ta.GetNodeFaces(leafA))
                for (const QvOBBFace* fb : tb.GetNodeFaces(leafB))
                    if (found.count({fa->m_nIndex, fb->m_nIndex}) != 0)
                        expected.emplace_back(fa->m_nIndex, fb->m_nIndex);
    }
    std::vector<std::pair<int, int>> order;
    for (const QvTriSegment& s : segments)
        order.emplace_back(s.m_pFirst->m_nIndex, s.m_pSecond->m_nIndex);
    EXPECT_EQ(order, expected);
}

TEST(OBBTree, ResultsAreAppended)
{
    QvMesh a = qvtest::MakeSphere(2);
    QvMesh b = qvtest::MakeSphere(2);
    QvOBBTree ta(&a);
    QvOBBTree tb(&b);
    tb.SetPlacement(Translation(QvVector(0.7, 0.2, -0.1)));

    std::vector<QvTriSegment> fresh;
    ta.Intersect(&tb, fresh);
    ASSERT_FALSE(fresh.empty());
    std::vector<QvTriSegment> segments(1);
    segments[0].m_bFlag = true;
    ta.Intersect(&tb, segments);
    ASSERT_EQ(segments.size(), fresh.size() + 1);
    EXPECT_TRUE(segments[0].m_bFlag);
    EXPECT_EQ(segments[1].m_pFirst, fresh[0].m_pFirst);

    const QvLine line(QvPoint(0.1, 0.05, 0), QvVector(0.2, 0.1, 1));
    std::vector<QvLineHit> hits(1);
    ta.IntersectLine(line, hits);
    EXPECT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0].m_pFace, nullptr);
}

// ---------------------------------------------------------------- lines

TEST(OBBTree, LineCases)
{
    // Faces (0, 1, 2) and (2, 1, 3) of the unit square share the diagonal (1,0,0)-(0,1,0).
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    QvOBBTree tree(&strip);
    const QvVector up(0, 0, 1);
    struct Case
    {
        const char* name;
        QvLine line;
        std::set<int> faces;
    };
    const Case cases[] = {
        {"inside face 0", QvLine(QvPoint(0.25, 0.25, 3), up), {0}},
        {"inside face 1", QvLine(QvPoint(0.75, 0.75, -2), up), {1}},
        {"through the shared edge", QvLine(QvPoint(0.5, 0.5, 1), up), {0, 1}},
        {"through the shared corner", QvLine(QvPoint(1, 0, 1), up), {0, 1}},
        {"through a corner of one face", QvLine(QvPoint(0, 0, 1), up), {0}},
        {"beside the strip", QvLine(QvPoint(2, 2, 0), up), {}},
        {"in the strip's plane", QvLine(QvPoint(0, 0.5, 0), QvVector(1, 0, 0)), {}},
        {"slanted", QvLine(QvPoint(0.1, 0.1, -1), QvVector(0.1, 0.1, 1)), {0}},
        {"no direction", QvLine(), {}},
    };
    for (const Case& c : cases)
    {
        std::vector<QvLineHit> hits;
        tree.IntersectLine(c.line, hits);
        std::set<int> faces;
        for (const QvLineHit& h : hits)
        {
            faces.insert(h.m_pFace->m_nIndex);
            EXPECT_TRUE(IsFinite(h.m_point));
            EXPECT_NEAR(h.m_point[2], 0.0, 1e-12) << c.name;
            EXPECT_LT(c.line.Distance(h.m_point), 1e-12) << c.name;
        }
        EXPECT_EQ(faces, c.faces) << c.name;
        EXPECT_EQ(hits.size(), c.faces.size()) << c.name;
    }

    // Placed: the hit lies on the placed face; a zero-area face is never hit.
    tree.SetPlacement(Translation(QvVector(0, 0, 5)));
    std::vector<QvLineHit> hits;
    tree.IntersectLine(QvLine(QvPoint(0.25, 0.25, 0), up), hits);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_LT(hits[0].m_point.Distance(QvPoint(0.25, 0.25, 5)), 1e-12);

    QvMesh needle = Triangle(QvPoint(0, 0, -1), QvPoint(0, 0, 1), QvPoint(0, 0, 0.5));
    QvOBBTree needleTree(&needle);
    hits.clear();
    needleTree.IntersectLine(QvLine(QvPoint(0, 0, 0), QvVector(1, 0, 0)), hits);
    EXPECT_TRUE(hits.empty());
}

TEST(OBBTree, LineMatchesAllFacesOnAPlacedMesh)
{
    QvMesh mesh = qvtest::BumpySphere(4, 2.0, 0.1, 7);
    QvOBBTree tree(&mesh);
    const QvMatrix m = Skew(QvVector(1, -2, 0.5));
    tree.SetPlacement(m);
    qvtest::Rng rng(99);
    for (int k = 0; k < 200; ++k)
    {
        const QvPoint p = m * QvPoint(qvtest::Uniform(rng, -2.5, 2.5), qvtest::Uniform(rng, -2.5, 2.5),
                                      qvtest::Uniform(rng, -2.5, 2.5));
        const QvVector d(qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1), qvtest::Uniform(rng, -1, 1));
        const QvLine line(p, d);
        std::vector<QvLineHit> hits;
        tree.IntersectLine(line, hits);
        std::set<int> found;
        for (const QvLineHit& h : hits)
            found.insert(h.m_pFace->m_nIndex);
        ASSERT_EQ(found.size(), hits.size());

        const K::Line_3 oracleLine(ToCgal(line.m_point), K::Vector_3(line.m_direction[0], line.m_direction[1],
                                                                     line.m_direction[2]));
        std::set<int> expected;
        for (std::size_t f = 0; f < mesh.m_faces.size(); ++f)
            if (CGAL::do_intersect(oracleLine, PlacedTriangle(mesh, static_cast<int>(f), m)))
                expected.insert(static_cast<int>(f));
        ASSERT_EQ(found, expected) << "line " << k;
        for (const QvLineHit& h : hits)
        {
            const K::Triangle_3 t = PlacedTriangle(mesh, h.m_pFace->m_nIndex, m);
            EXPECT_LT(std::sqrt(CGAL::squared_distance(t, ToCgal(h.m_point))), 1e-9);
            EXPECT_LT(line.Distance(h.m_point), 1e-9);
        }
    }
}

// The faces with an edge that a plane section can pass (corners not all strictly on
// one side, within 1e-7 counting as on the plane).
std::set<int> FacesTouchingPlane(const QvMesh& mesh, const QvPlane& plane)
{
    std::set<int> faces;
    for (std::size_t f = 0; f < mesh.m_faces.size(); ++f)
    {
        int sum = 0;
        for (const int c : mesh.m_faces[f].m_vertices)
        {
            const double d = plane.Distance(mesh.m_vertices[static_cast<std::size_t>(c)].m_point, true);
            sum += std::fabs(d) < 1e-7 ? 0 : (d > 0.0 ? 1 : -1);
        }
        if (sum != 3 && sum != -3)
            faces.insert(static_cast<int>(f));
    }
    return faces;
}

TEST(OBBTree, FacesNearPlaneHoldEveryFaceThePlaneMeets)
{
    QvMesh mesh = qvtest::BumpySphere(4, 2.0, 0.1, 11);
    QvOBBTree tree(&mesh);
    tree.SetPlacement(Skew(QvVector(3.0, 1.0, -2.0))); // the query ignores the placement
    QvVector n(0.3, -0.8, 0.5);
    n.Normalize();
    // Planes through a vertex, across the middle, grazing and missing; one with an
    // unnormalised normal.
    const QvPoint& corner = mesh.m_vertices[7].m_point;
    QvPlane scaled(QvPoint(0.2, 0.0, 0.1), n);
    for (double& c : scaled.m_coef)
        c *= 3.0;
    const QvPlane planes[] = {QvPlane(corner, n), QvPlane(QvPoint(0.1, 0.2, 0.0), n), scaled,
                              QvPlane(QvPoint(0.0, 0.0, 2.15), QvVector(0, 0, 1)),
                              QvPlane(QvPoint(0.0, 0.0, 5.0), QvVector(0, 0, 1))};
    for (const QvPlane& plane : planes)
    {
        std::vector<const QvOBBFace*> found;
        tree.FindFacesNearPlane(plane, 1e-6, nullptr, found);
        std::set<int> faces;
        for (const QvOBBFace* f : found)
            EXPECT_TRUE(faces.insert(f->m_nIndex).second) << "each face once";
        for (const int f : FacesTouchingPlane(mesh, plane))
            EXPECT_TRUE(faces.count(f)) << "face " << f;
        // The query is a filter, not a scan: most faces stay out.
        EXPECT_LT(faces.size(), mesh.m_faces.size() / 2);

        // Within a region: at least the faces met whose corners lie in it.
        const QvOBB region(QvFrame(QvPoint(1.0, 0.5, 0.0), QvVector(1, 0, 0), QvVector(0, 1, 0)), 1.0, 1.0, 1.0);
        found.clear();
        tree.FindFacesNearPlane(plane, 1e-6, &region, found);
        std::set<int> inRegion;
        for (const QvOBBFace* f : found)
            inRegion.insert(f->m_nIndex);
        for (const int f : FacesTouchingPlane(mesh, plane))
        {
            bool inside = false;
            for (const int c : mesh.m_faces[static_cast<std::size_t>(f)].m_vertices)
            {
                const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(c)].m_point;
                inside = inside || (std::fabs(p[0] - 1.0) <= 1.0 && std::fabs(p[1] - 0.5) <= 1.0 && std::fabs(p[2]) <= 1.0);
            }
            if (inside)
            {
                EXPECT_TRUE(inRegion.count(f)) << "face " << f;
            }
        }
    }
}

TEST(OBBTree, MatchesMeshUntilAVertexOrCornerChanges)
{
    QvMesh mesh = qvtest::BumpySphere(2, 1.0, 0.1, 5);
    QvOBBTree tree(&mesh);
    EXPECT_TRUE(tree.MatchesMesh());
    tree.SetPlacement(Translation(QvVector(1, 2, 3)));
    EXPECT_TRUE(tree.MatchesMesh()) << "placing the tree is no edit";

    const QvPoint kept = mesh.m_vertices[3].m_point;
    mesh.m_vertices[3].m_point[1] += 1e-9;
    EXPECT_FALSE(tree.MatchesMesh());
    mesh.m_vertices[3].m_point = kept;
    EXPECT_TRUE(tree.MatchesMesh());

    mesh.m_faces[2].Flip();
    EXPECT_FALSE(tree.MatchesMesh());
}

// MayCross is a filter in front of Intersect: whenever Intersect finds a crossing, it
// must say so; apart meshes it clears.
TEST(OBBTree, MayCrossNeverMissesACrossing)
{
    QvVector dir(0.37, -0.52, 0.77);
    dir.Normalize();
    struct Case
    {
        const char* name;
        double d;
    };
    const Case cases[] = {{"deep", 1.0}, {"shallow", 1.95}, {"grazing", 1.999}, {"touching", 2.0}, {"close", 2.01},
                          {"apart", 2.6}};
    int cleared = 0;
    for (const Case& c : cases)
        for (std::uint64_t seed = 1; seed <= 3; ++seed)
        {
            QvMesh a = qvtest::BumpySphere(3, 1.0, 0.02, seed);
            QvMesh b = qvtest::BumpySphere(3, 1.0, 0.02, seed + 10);
            const QvMatrix ma = Rigid(QvVector(1, 2, 3), 0.4 * seed, QvVector(0.5, -0.25, 2.0));
            const QvMatrix mb = Rigid(QvVector(-2, 1, 0.5), 1.1, QvVector(0.5, -0.25, 2.0) + dir * c.d);
            QvOBBTree ta(&a), tb(&b);
            ta.SetPlacement(ma);
            tb.SetPlacement(mb);
            std::vector<QvTriSegment> segments;
            ta.Intersect(&tb, segments);
            const bool may = ta.MayCross(&tb, 1e-5);
            if (!segments.empty())
            {
                EXPECT_TRUE(may && tb.MayCross(&ta, 1e-5)) << c.name << " seed " << seed;
            }
            cleared += !may;
            if (c.d >= 2.6)
            {
                EXPECT_FALSE(may) << c.name;
            }
        }
    EXPECT_GE(cleared, 3) << "the filter clears meshes that do not cross";
}

TEST(OBBTree, ResetFaceMarksClearsMarksAndNumbersFaces)
{
    QvMesh mesh = qvtest::MakeSphere(1);
    QvOBBTree tree(&mesh);
    for (QvOBBFace& f : tree.GetFaces())
    {
        f.m_marks[0] = f.m_marks[1] = f.m_marks[2] = true;
        f.m_nIndex = 77;
    }
    tree.ResetFaceMarks();
    for (std::size_t i = 0; i < tree.GetFaces().size(); ++i)
    {
        const QvOBBFace& f = tree.GetFaces()[i];
        EXPECT_FALSE(f.m_marks[0] || f.m_marks[1] || f.m_marks[2]);
        EXPECT_EQ(f.m_nIndex, static_cast<int>(i));
    }
}

// ---------------------------------------------------------------- cache

class OBBTreeMgrTest : public ::testing::Test
{
protected:
    void SetUp() override { QvOBBTreeMgr::Instance()->Clear(); }
    void TearDown() override { QvOBBTreeMgr::Instance()->Clear(); }
};

TEST_F(OBBTreeMgrTest, AddFindRemoveClear)
{
    QvOBBTreeMgr* mgr = QvOBBTreeMgr::Instance();
    EXPECT_EQ(mgr, QvOBBTreeMgr::Instance());
    QvMesh a = qvtest::MakeSphere(1);
    QvMesh b = qvtest::MakeCube();

    EXPECT_FALSE(mgr->HasTree(&a));
    EXPECT_EQ(mgr->FindTree(&a), nullptr);
    mgr->RemoveMesh(&a); // nothing to remove
    mgr->AddMesh(nullptr);

    mgr->AddMesh(&a);
    QvOBBTree* tree = mgr->FindTree(&a);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->GetMesh(), &a);
    tree->SetPlacement(Translation(QvVector(1, 2, 3)));
    mgr->AddMesh(&a); // already cached: the same tree, placement kept
    EXPECT_EQ(mgr->FindTree(&a), tree);
    EXPECT_FALSE(mgr->FindTree(&a)->GetPlacement().IsIdentity());

    mgr->AddMesh(&b);
    EXPECT_TRUE(mgr->HasTree(&b));
    mgr->RemoveMesh(&a);
    EXPECT_FALSE(mgr->HasTree(&a));
    EXPECT_TRUE(mgr->HasTree(&b));

    mgr->AddMesh(&a);
    mgr->RemoveMeshes({&a, &b, &a});
    EXPECT_FALSE(mgr->HasTree(&a) || mgr->HasTree(&b));

    mgr->AddMesh(&a);
    mgr->AddMesh(&b);
    mgr->Clear();
    EXPECT_EQ(mgr->FindTree(&a), nullptr);
    EXPECT_EQ(mgr->FindTree(&b), nullptr);
}

// Eight threads add, find, query and remove trees of shared meshes at once. Run the
// test program under ThreadSanitizer (a -fsanitize=thread build) to check the locking;
// under the other sanitizers it checks that no tree is lost or freed twice.
TEST_F(OBBTreeMgrTest, ManyThreadsShareTheCache)
{
    QvOBBTreeMgr* mgr = QvOBBTreeMgr::Instance();
    std::vector<QvMesh> meshes;
    for (int i = 0; i < 6; ++i)
        meshes.push_back(qvtest::MakeSphere(2, 1.0 + 0.1 * i));
    QvMesh shared = qvtest::MakeSphere(3);
    mgr->AddMesh(&shared);
    QvOBBTree* sharedTree = mgr->FindTree(&shared);

    std::atomic<int> lineHits{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 40; ++round)
            {
                QvMesh* mesh = &meshes[static_cast<std::size_t>((t + round) % 6)];
                mgr->AddMesh(mesh);
                // Another thread may remove it at any moment: the pointer is not used.
                (void)mgr->FindTree(mesh);
                if (round % 3 == t % 3)
                    mgr->RemoveMesh(mesh);
                // Line queries only read a tree: any number may run on the shared one.
                QvOBBTree* tree = mgr->FindTree(&shared);
                if (tree == sharedTree)
                {
                    std::vector<QvLineHit> hits;
                    tree->IntersectLine(QvLine(QvPoint(0.01 * t, 0.02, 0), QvVector(0.1, 0.05, 1)), hits);
                    lineHits += static_cast<int>(hits.size());
                }
                mgr->HasTree(mesh);
            }
        });
    for (std::thread& th : threads)
        th.join();
    for (QvMesh& mesh : meshes)
    {
        const QvOBBTree* tree = mgr->FindTree(&mesh);
        EXPECT_TRUE(tree == nullptr || tree->GetMesh() == &mesh);
    }
    EXPECT_EQ(lineHits, 8 * 40 * 2);
    EXPECT_EQ(mgr->FindTree(&shared), sharedTree);

    // Many threads adding one mesh at once: one tree survives.
    QvMesh one = qvtest::MakeSphere(3);
    threads.clear();
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] { mgr->AddMesh(&one); });
    for (std::thread& th : threads)
        th.join();
    ASSERT_NE(mgr->FindTree(&one), nullptr);
    EXPECT_EQ(mgr->FindTree(&one)->GetMesh(), &one);
}

// The trees of a case's meshes built side by side: each the same as one built alone
// (leaves, their faces in order, boxes to the bit), every mesh once, nulls and repeats
// skipped, a tree already cached kept. Run under ThreadSanitizer as well.
TEST_F(OBBTreeMgrTest, AddMeshesBuildsTheSameTreesSideBySide)
{
    QvOBBTreeMgr* mgr = QvOBBTreeMgr::Instance();
    std::vector<QvMesh> meshes;
    for (int i = 0; i < 9; ++i)
        meshes.push_back(i % 3 == 2 ? qvtest::TriangleSoup(300 + 40 * i, 2.0, static_cast<std::uint64_t>(i))
                                    : qvtest::BumpySphere(2 + i % 2, 1.0 + 0.1 * i, 0.1, static_cast<std::uint64_t>(i)));
    mgr->AddMesh(&meshes[4]);
    QvOBBTree* kept = mgr->FindTree(&meshes[4]);
    std::vector<QvMesh*> list{nullptr};
    for (QvMesh& m : meshes)
        list.push_back(&m);
    list.push_back(&meshes[0]);

    mgr->AddMeshes(list, 4);
    EXPECT_EQ(mgr->GetTreeCount(), meshes.size());
    EXPECT_EQ(mgr->FindTree(&meshes[4]), kept);
    for (QvMesh& m : meshes)
    {
        const QvOBBTree* built = mgr->FindTree(&m);
        ASSERT_NE(built, nullptr);
        EXPECT_EQ(built->GetMesh(), &m);
        const QvOBBTree alone(&m);
        ASSERT_EQ(built->GetLeaves().size(), alone.GetLeaves().size());
        for (std::size_t l = 0; l < alone.GetLeaves().size(); ++l)
        {
            const QvOBBTreeNode* a = built->GetLeaves()[l];
            const QvOBBTreeNode* b = alone.GetLeaves()[l];
            const QvOBBFaceList facesA = built->GetNodeFaces(a);
            const QvOBBFaceList facesB = alone.GetNodeFaces(b);
            ASSERT_EQ(facesA.size(), facesB.size());
            for (std::size_t k = 0; k < facesA.size(); ++k)
                EXPECT_EQ(facesA[k]->m_nIndex, facesB[k]->m_nIndex);
            ASSERT_EQ(a->HasBox(), b->HasBox());
            if (a->HasBox())
            {
                for (int i = 0; i < 3; ++i)
                {
                    EXPECT_EQ(a->m_box.m_centre[i], b->m_box.m_centre[i]);
                    EXPECT_EQ(a->m_box.m_axes[0][i], b->m_box.m_axes[0][i]);
                    EXPECT_EQ(a->m_box.m_halfSize[i], b->m_box.m_halfSize[i]);
                }
            }
        }
        EXPECT_TRUE(built->MatchesMesh());
    }

    // One thread, and more threads than meshes, build the same.
    mgr->Clear();
    mgr->AddMeshes(list, 1);
    EXPECT_EQ(mgr->GetTreeCount(), meshes.size());
    mgr->Clear();
    mgr->AddMeshes(list, 64);
    EXPECT_EQ(mgr->GetTreeCount(), meshes.size());
    mgr->AddMeshes({}, 0);
    EXPECT_EQ(mgr->GetTreeCount(), meshes.size());
}

} // namespace
