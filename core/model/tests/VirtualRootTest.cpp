// SPDX-License-Identifier: GPL-3.0-or-later
// Virtual roots grown onto open crowns: closure, the join with the crown, orientation,
// direction, what is left alone, and the failures that must leave the mesh untouched.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "core/model/tests/ModelFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

// Tooth frame with its Z axis from the crown towards the root: -z for the fixtures,
// whose cusps point to +z.
QvFrame ApicalFrame()
{
    return QvFrame(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, -1.0, 0.0));
}

std::unique_ptr<QvTooth> ToothFrom(const QvMesh& mesh, bool withFrame = true)
{
    auto tooth = std::make_unique<QvTooth>();
    tooth->CopyMeshData(mesh);
    tooth->UpdateBBox();
    if (withFrame)
        tooth->SetFrame(ApicalFrame());
    tooth->m_bModified = false;
    return tooth;
}

bool RunRing(QvTooth& tooth, double length = 2.0, double scale = 0.5)
{
    tooth.UpdateBoundaryLoop();
    QvVirtualRootCommand command(&tooth, *tooth.GetBoundaryLoop(), length, scale);
    command.SetMode(false);
    return command.Execute();
}

bool SamePoint(const QvPoint& a, const QvPoint& b)
{
    // Bitwise equality, NaN included: "unchanged" means not touched at all.
    for (int i = 0; i < 3; ++i)
        if (!(a[i] == b[i]) && !(std::isnan(a[i]) && std::isnan(b[i])))
            return false;
    return true;
}

// Every element, link, tag, normal, the box and the modified flag.
::testing::AssertionResult SameMesh(const QvMesh& a, const QvMesh& b)
{
    if (a.m_vertices.size() != b.m_vertices.size() || a.m_edges.size() != b.m_edges.size() ||
        a.m_faces.size() != b.m_faces.size())
        return ::testing::AssertionFailure() << "element counts differ";
    for (std::size_t v = 0; v < a.m_vertices.size(); ++v)
        if (!SamePoint(a.m_vertices[v].m_point, b.m_vertices[v].m_point) ||
            a.m_vertices[v].m_edges != b.m_vertices[v].m_edges)
            return ::testing::AssertionFailure() << "vertex " << v << " differs";
    for (std::size_t e = 0; e < a.m_edges.size(); ++e)
        for (int k = 0; k < 2; ++k)
            if (a.m_edges[e].m_vertices[k] != b.m_edges[e].m_vertices[k] ||
                a.m_edges[e].m_faces[k] != b.m_edges[e].m_faces[k])
                return ::testing::AssertionFailure() << "edge " << e << " differs";
    for (std::size_t f = 0; f < a.m_faces.size(); ++f)
    {
        const QvFace& x = a.m_faces[f];
        const QvFace& y = b.m_faces[f];
        for (int k = 0; k < 3; ++k)
            if (x.m_vertices[k] != y.m_vertices[k] || x.m_edges[k] != y.m_edges[k])
                return ::testing::AssertionFailure() << "face " << f << " differs";
        if (x.m_tag != y.m_tag || !SamePoint(QvPoint(x.m_normal[0], x.m_normal[1], x.m_normal[2]),
                                             QvPoint(y.m_normal[0], y.m_normal[1], y.m_normal[2])))
            return ::testing::AssertionFailure() << "face " << f << " tag or normal differs";
    }
    if (!SamePoint(a.m_bbox.m_minPoint, b.m_bbox.m_minPoint) || !SamePoint(a.m_bbox.m_maxPoint, b.m_bbox.m_maxPoint))
        return ::testing::AssertionFailure() << "box differs";
    if (a.m_bModified != b.m_bModified)
        return ::testing::AssertionFailure() << "modified flag differs";
    return ::testing::AssertionSuccess();
}

// Six times the enclosed volume; positive for a closed mesh wound outwards.
double SignedVolume6(const QvMesh& mesh)
{
    double sum = 0.0;
    for (const QvFace& f : mesh.m_faces)
    {
        const QvPoint& a = mesh.m_vertices[f.m_vertices[0]].m_point;
        const QvPoint& b = mesh.m_vertices[f.m_vertices[1]].m_point;
        const QvPoint& c = mesh.m_vertices[f.m_vertices[2]].m_point;
        sum += (a - QvPoint()).Dot((b - QvPoint()).Cross(c - QvPoint()));
    }
    return sum;
}

// Open tube around the z axis, both ends open (two rims of `around` vertices).
QvMesh MakeTube(int around, int rings, double radius, double height)
{
    QvMesh mesh;
    for (int r = 0; r < rings; ++r)
        for (int i = 0; i < around; ++i)
        {
            const double a = 6.28318530718 * i / around;
            mesh.AddVertex(QvPoint(radius * std::cos(a), radius * std::sin(a), -height * r / (rings - 1)));
        }
    for (int r = 0; r + 1 < rings; ++r)
        for (int i = 0; i < around; ++i)
        {
            const int a = r * around + i, b = r * around + (i + 1) % around;
            (void)mesh.AddFace(a, b + around, b, 0);
            (void)mesh.AddFace(a, a + around, b + around, 0);
        }
    mesh.UpdateFaceNormals();
    return mesh;
}

} // namespace

// ---- The ring builder on generated crowns ---------------------------------------------

struct CrownCase
{
    int faces;
    int variant;
};

class RingRootOnCrown : public ::testing::TestWithParam<CrownCase>
{
};

TEST_P(RingRootOnCrown, ClosesTheCrownAndJoinsItsRim)
{
    const QvMesh crown = qvtest::MakeOpenCrown(GetParam().faces, GetParam().variant);
    auto tooth = ToothFrom(crown);
    tooth->UpdateBoundaryLoop();
    const std::vector<int> rim = *tooth->GetBoundaryLoop();
    const std::set<int> rimSet(rim.begin(), rim.end());
    ASSERT_GE(rim.size(), 12u);
    const int v0 = static_cast<int>(crown.m_vertices.size());
    const int f0 = static_cast<int>(crown.m_faces.size());

    std::vector<QvPoint> rimPoints;
    for (const int v : rim)
        rimPoints.push_back(crown.m_vertices[v].m_point);
    std::unique_ptr<QvPlane> rimPlane(QvPlane::FitPoints(rimPoints));
    ASSERT_TRUE(rimPlane);

    ASSERT_TRUE(RunRing(*tooth));
    const QvMesh& mesh = *tooth;

    EXPECT_TRUE(mesh.IsClosed());
    EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh));
    // A closed sphere-like surface: nothing refused, nothing doubled.
    const long euler = static_cast<long>(mesh.m_vertices.size()) - static_cast<long>(mesh.m_edges.size()) +
                       static_cast<long>(mesh.m_faces.size());
    EXPECT_EQ(euler, 2);
    // Wound outwards like the crown.
    EXPECT_GT(SignedVolume6(mesh), 0.0);

    // The crown's faces are untouched; every added face is a root face.
    ASSERT_GT(static_cast<int>(mesh.m_faces.size()), f0);
    for (int f = 0; f < f0; ++f)
    {
        EXPECT_EQ(mesh.m_faces[f].m_tag, kQvFaceTagPlain);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(mesh.m_faces[f].m_vertices[k], crown.m_faces[f].m_vertices[k]);
    }
    for (std::size_t f = f0; f < mesh.m_faces.size(); ++f)
        EXPECT_EQ(mesh.m_faces[f].m_tag, kQvFaceTagVirtualRoot) << f;
    EXPECT_TRUE(tooth->HasRootFaces());

    // The rim is now inside the surface and was smoothed with the root; the rest of the
    // crown did not move.
    int movedRim = 0;
    for (int v = 0; v < v0; ++v)
    {
        if (rimSet.count(v))
        {
            EXPECT_FALSE(mesh.IsBoundaryVertex(v)) << v;
            movedRim += SamePoint(mesh.m_vertices[v].m_point, crown.m_vertices[v].m_point) ? 0 : 1;
        }
        else
        {
            EXPECT_TRUE(SamePoint(mesh.m_vertices[v].m_point, crown.m_vertices[v].m_point)) << v;
        }
    }
    EXPECT_GT(movedRim, 0);

    // The root points away from the cusps: its far tip lies across the rim plane from
    // the crown's top.
    int tip = v0;
    for (int v = v0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
        if (rimPlane->Distance(mesh.m_vertices[v].m_point, false) >
            rimPlane->Distance(mesh.m_vertices[tip].m_point, false))
            tip = v;
    const double top = rimPlane->Distance(crown.m_vertices[0].m_point, true);
    const double far = rimPlane->Distance(mesh.m_vertices[tip].m_point, true);
    EXPECT_LT(top * far, 0.0);
    EXPECT_GT(std::fabs(far), 1.0);

    // The stored crown loop is the one the root was built on, not the closed mesh's.
    EXPECT_EQ(*tooth->GetBoundaryLoop(), rim);
    EXPECT_TRUE(mesh.m_bModified);
    for (const QvVertex& v : mesh.m_vertices)
        for (int i = 0; i < 3; ++i)
        {
            EXPECT_GE(v.m_point[i], mesh.m_bbox.m_minPoint[i]);
            EXPECT_LE(v.m_point[i], mesh.m_bbox.m_maxPoint[i]);
        }
}

INSTANTIATE_TEST_SUITE_P(Crowns, RingRootOnCrown,
                         ::testing::Values(CrownCase{600, 0}, CrownCase{2000, 3}, CrownCase{5000, 1},
                                           CrownCase{5000, 6}, CrownCase{20000, 2}),
                         [](const ::testing::TestParamInfo<CrownCase>& info) {
                             return "faces" + std::to_string(info.param.faces) + "_variant" +
                                    std::to_string(info.param.variant);
                         });

// ---- Failures leave the mesh exactly as it was ----------------------------------------

struct FailureCase
{
    const char* name;
    QvMesh (*mesh)();
    bool frame;
    double length;
    double scale;
};

namespace {

QvMesh SmallCrown() { return qvtest::MakeOpenCrown(600, 0); }
QvMesh ClosedCrown() { return qvtest::MakeCrown(2); }
QvMesh LoneTriangle()
{
    QvMesh mesh;
    mesh.AddVertex(QvPoint(0.0, 0.0, 0.0));
    mesh.AddVertex(QvPoint(1.0, 0.0, 0.0));
    mesh.AddVertex(QvPoint(0.0, 1.0, 0.0));
    (void)mesh.AddFace(0, 1, 2, 0);
    mesh.UpdateFaceNormals();
    return mesh;
}
// Four rim vertices: every one lies within twice the mean edge of the first.
QvMesh SquareOfTwoTriangles() { return qvtest::MakeGrid(2, 2); }
// An eight-vertex rim collapsed to one point.
QvMesh CollapsedRim()
{
    QvMesh mesh = qvtest::MakeGrid(3, 3);
    for (int v = 0; v < 9; ++v)
        if (v != 4)
            (void)mesh.SetVertexPosition(v, QvPoint(1.0, 1.0, -1.0));
    mesh.UpdateFaceNormals();
    return mesh;
}
QvMesh CrownWithNanRim()
{
    QvMesh mesh = SmallCrown();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    (void)mesh.SetVertexPosition(static_cast<int>(mesh.m_vertices.size()) - 1, QvPoint(nan, 0.0, 0.0));
    return mesh;
}

} // namespace

class RingRootFailure : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(RingRootFailure, AnswersFalseAndLeavesTheMesh)
{
    const FailureCase& c = GetParam();
    auto tooth = ToothFrom(c.mesh(), c.frame);
    tooth->UpdateBoundaryLoop();
    QvMesh before = *tooth;
    before.m_bModified = tooth->m_bModified; // the copy marks itself modified
    for (const bool blended : {false, true})
    {
        QvVirtualRootCommand command(tooth.get(), *tooth->GetBoundaryLoop(), c.length, c.scale);
        command.SetMode(blended);
        EXPECT_FALSE(command.Execute()) << (blended ? "blended" : "ring");
        EXPECT_TRUE(SameMesh(*tooth, before)) << (blended ? "blended" : "ring");
        EXPECT_FALSE(tooth->HasRootFaces());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RingRootFailure,
    ::testing::Values(
        // No boundary at all: nothing to close.
        FailureCase{"ClosedMesh", &ClosedCrown, true, 2.0, 0.5},
        // Without a frame there is no root direction.
        FailureCase{"UnsetFrame", &SmallCrown, false, 2.0, 0.5},
        // Too few stitch columns to make a wall with an end ring.
        FailureCase{"ThreeVertexRim", &LoneTriangle, true, 2.0, 0.5},
        FailureCase{"FourVertexRim", &SquareOfTwoTriangles, true, 2.0, 0.5},
        // Zero perimeter: the spacing would divide by zero.
        FailureCase{"CollapsedRim", &CollapsedRim, true, 2.0, 0.5},
        FailureCase{"NanOnRim", &CrownWithNanRim, true, 2.0, 0.5},
        FailureCase{"NanLength", &SmallCrown, true, std::numeric_limits<double>::quiet_NaN(), 0.5},
        FailureCase{"InfiniteScale", &SmallCrown, true, 2.0, std::numeric_limits<double>::infinity()}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(RingRootFailure, ACapThatCannotBeSpacedTakesTheWallOutAgain)
{
    // A collapsed triangle first in edge order, exactly the root's length beyond the base
    // plane: the cap picks it (first of the nearest), finds no spacing on it and fails
    // after the wall is already stitched.
    QvMesh mesh;
    for (int k = 0; k < 3; ++k)
        mesh.AddVertex(QvPoint());
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    std::map<int, int> oldToNew;
    ASSERT_TRUE(mesh.AppendMesh(qvtest::MakeOpenCrown(600, 0), oldToNew));
    mesh.UpdateFaceNormals();
    auto tooth = ToothFrom(mesh);
    tooth->UpdateBoundaryLoop();
    ASSERT_GT(tooth->GetBoundaryLoop()->size(), 3u);

    QvVirtualRootCommand probe(tooth.get(), {}, 2.0, 0.5);
    QvPlane plane;
    ASSERT_TRUE(probe.ComputeBasePlane(plane));
    QvPoint p = plane.ProjectPoint(QvPoint()) + plane.GetNormal() * 2.0;
    // A few ulps along z until the distance is exactly the length.
    const double away = plane.GetNormal()[2];
    for (int step = 0; step < 64 && plane.Distance(p, false) != 2.0; ++step)
        p[2] = std::nextafter(p[2], plane.Distance(p, false) < 2.0 ? p[2] + away : p[2] - away);
    ASSERT_EQ(plane.Distance(p, false), 2.0);
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(tooth->SetVertexPosition(k, p));

    QvMesh before = *tooth;
    before.m_bModified = tooth->m_bModified;
    EXPECT_FALSE(RunRing(*tooth));
    EXPECT_TRUE(SameMesh(*tooth, before));
    EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
}

// ---- The document's pass ----------------------------------------------------------------

TEST(GrowVirtualRoots, GrowsOnlyOnOpenLiveTeethWithoutRootFaces)
{
    QvEntity::SetNextId(100);
    QvModel model;
    const QvMesh crown = qvtest::MakeOpenCrown(800, 1);

    QvTooth* grows = qvmodeltest::NewTooth(16);
    grows->CopyMeshData(crown);
    grows->SetFrame(ApicalFrame());
    // Open, but one face already tagged as root: the pass must not add a second root.
    QvTooth* tagged = qvmodeltest::NewTooth(26);
    tagged->CopyMeshData(crown);
    tagged->SetFrame(ApicalFrame());
    tagged->m_faces[0].m_tag = kQvFaceTagVirtualRoot;
    QvTooth* deleted = qvmodeltest::NewTooth(36);
    deleted->CopyMeshData(crown);
    deleted->SetFrame(ApicalFrame());
    deleted->SetDeleted(true);
    QvTooth* closed = qvmodeltest::NewTooth(46);
    qvmodeltest::MakeCrownWithRoot(*closed);
    closed->SetFrame(ApicalFrame());
    QvTooth* frameless = qvmodeltest::NewTooth(11);
    frameless->CopyMeshData(crown);

    std::vector<std::pair<QvTooth*, QvMesh>> untouched;
    for (QvTooth* t : {grows, tagged, deleted, closed, frameless})
    {
        model.AddEntity(t);
        t->m_bModified = false;
        if (t != grows)
            untouched.emplace_back(t, QvMesh(*t));
    }
    for (auto& [t, copy] : untouched)
        copy.m_bModified = false;

    GrowVirtualRoots(model);

    EXPECT_TRUE(grows->IsClosed());
    EXPECT_TRUE(grows->HasRootFaces());
    EXPECT_FALSE(grows->GetBoundaryLoop()->empty());
    for (const auto& [t, copy] : untouched)
        EXPECT_TRUE(SameMesh(*t, copy)) << t->GetFdi();
    // The frameless tooth had its loop refreshed but no root.
    EXPECT_FALSE(frameless->GetBoundaryLoop()->empty());
    EXPECT_TRUE(deleted->GetBoundaryLoop()->empty());
    QvEntity::SetNextId(100);
}

TEST(VirtualRootCommand, BuildsASecondRootOnTheNextLongestLoop)
{
    // The command does not look for existing root faces; the caller does.
    auto tooth = ToothFrom(MakeTube(40, 6, 3.0, 5.0));
    ASSERT_TRUE(RunRing(*tooth));
    EXPECT_TRUE(tooth->HasRootFaces());
    std::vector<std::vector<int>> loops;
    tooth->GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), 40u);

    ASSERT_TRUE(RunRing(*tooth));
    EXPECT_TRUE(tooth->IsClosed());
    EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(*tooth));
    EXPECT_EQ(static_cast<long>(tooth->m_vertices.size()) - static_cast<long>(tooth->m_edges.size()) +
                  static_cast<long>(tooth->m_faces.size()),
              2);
}

// ---- Spacing rules ------------------------------------------------------------------------

TEST(VirtualRootSpacing, StitchPositionsOnARegularLoop)
{
    // 200 vertices, every edge 0.5: the spacing is twice the mean edge, 1.0.
    const int n = 200;
    const double radius = 0.5 / (2.0 * std::sin(3.14159265358979323846 / n));
    std::vector<QvPoint> loop;
    for (int i = 0; i < n; ++i)
    {
        const double a = 2.0 * 3.14159265358979323846 * i / n;
        loop.emplace_back(radius * std::cos(a), radius * std::sin(a), 0.0);
    }
    double perimeter = 0.0;
    for (int i = 0; i < n; ++i)
        perimeter += loop[i].Distance(loop[(i + 1) % n]);
    const double spacing = 2.0 * (perimeter / n);
    EXPECT_NEAR(spacing, 1.0, 1e-12);

    const std::vector<int> chosen = QvVirtualRootCommand::ChooseStitchPositions(loop, spacing);
    ASSERT_GE(chosen.size(), 3u);
    EXPECT_EQ(chosen[0], 0);
    for (std::size_t k = 1; k < chosen.size(); ++k)
    {
        const int h = chosen[k - 1];
        // At least the spacing from the previous one, and the first index that is.
        EXPECT_GE(loop[h].Distance(loop[chosen[k]]), spacing);
        for (int i = h + 1; i < chosen[k]; ++i)
            EXPECT_LT(loop[h].Distance(loop[i]), spacing);
    }
    EXPECT_GE(loop[chosen.back()].Distance(loop[0]), spacing);
    // Chords of three edges are the first to reach 1.0 here; 198 is dropped next to 0.
    EXPECT_EQ(chosen.size(), 66u);
    EXPECT_EQ(chosen.back(), 195);
}

TEST(VirtualRootSpacing, StitchPositionsTable)
{
    const std::vector<QvPoint> path{QvPoint(0, 0, 0),   QvPoint(0.6, 0, 0), QvPoint(1.0, 0, 0), QvPoint(1.5, 0, 0),
                                    QvPoint(2.0, 0, 0), QvPoint(2.0, 0.9, 0), QvPoint(0.5, 0.5, 0)};
    // Exactly the spacing counts; the last (6) lies within it of 0 and is dropped.
    EXPECT_EQ(QvVirtualRootCommand::ChooseStitchPositions(path, 1.0), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(QvVirtualRootCommand::ChooseStitchPositions(path, 0.5), (std::vector<int>{0, 1, 3, 4, 5, 6}));
    EXPECT_EQ(QvVirtualRootCommand::ChooseStitchPositions({QvPoint()}, 1.0), (std::vector<int>{0}));
    EXPECT_TRUE(QvVirtualRootCommand::ChooseStitchPositions({}, 1.0).empty());
}

TEST(VirtualRootSpacing, ColumnAndSpokeCounts)
{
    struct Row
    {
        double length;
        double spacing;
        int wall;
        int cap;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {2.9, 1.0, 2, 2},    // 2.9 e2: three wall vertices (v = 1/3, 2/3, 1); a spoke of 2
        {3.0, 1.0, 3, 3},    {0.4, 1.0, 0, 2}, {0.0, 1.0, 0, 2}, {7.99, 1.0, 7, 7},
        {5.8, 2.0, 2, 2},    {1.0, 0.0, -1, -1}, // zero spacing: no count at all
        {0.0, 0.0, -1, -1},  {nan, 1.0, -1, -1},  {1e30, 1.0, -1, -1},
    };
    for (const Row& r : rows)
    {
        EXPECT_EQ(QvVirtualRootCommand::WallSegments(r.length, r.spacing), r.wall) << r.length << " " << r.spacing;
        EXPECT_EQ(QvVirtualRootCommand::CapSegments(r.length, r.spacing), r.cap) << r.length << " " << r.spacing;
    }
}

// ---- The other builders ---------------------------------------------------------------

TEST(VirtualRootCommand, BlendedBuilderClosesTheCrown)
{
    const QvMesh crown = qvtest::MakeOpenCrown(1500, 4);
    auto tooth = ToothFrom(crown);
    tooth->UpdateBoundaryLoop();
    const int v0 = static_cast<int>(crown.m_vertices.size());
    QvVirtualRootCommand command(tooth.get(), *tooth->GetBoundaryLoop(), 2.0, 0.5);
    command.SetMode(true);
    EXPECT_TRUE(command.Execute());
    EXPECT_TRUE(tooth->IsClosed());
    EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(*tooth));
    EXPECT_GT(SignedVolume6(*tooth), 0.0);
    for (std::size_t f = crown.m_faces.size(); f < tooth->m_faces.size(); ++f)
        EXPECT_EQ(tooth->m_faces[f].m_tag, kQvFaceTagVirtualRoot);
    // The blend moves only the new root; the crown stays as scanned.
    for (int v = 0; v < v0; ++v)
        EXPECT_TRUE(SamePoint(tooth->m_vertices[v].m_point, crown.m_vertices[v].m_point)) << v;
    for (const QvVertex& v : tooth->m_vertices)
        EXPECT_TRUE(std::isfinite(v.m_point[0]) && std::isfinite(v.m_point[1]) && std::isfinite(v.m_point[2]));
}

TEST(VirtualRootCommand, StraightWallEndsOpenOnThePlane)
{
    const QvMesh crown = qvtest::MakeOpenCrown(1500, 2);
    auto tooth = ToothFrom(crown);
    tooth->UpdateBoundaryLoop();
    const std::vector<int> rim = *tooth->GetBoundaryLoop();
    QvVirtualRootCommand command(tooth.get(), rim, 2.0, 0.5);
    const QvPlane plane(QvPoint(0.0, 0.0, -5.0), QvVector(0.0, 0.0, -1.0));
    ASSERT_TRUE(command.BuildStraightWall(plane));

    EXPECT_TRUE(qvtest::MeshInvariantsHold(*tooth));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(*tooth));
    for (std::size_t f = crown.m_faces.size(); f < tooth->m_faces.size(); ++f)
        EXPECT_EQ(tooth->m_faces[f].m_tag, kQvFaceTagVirtualRoot);
    for (const int v : rim)
        EXPECT_FALSE(tooth->IsBoundaryVertex(v));
    // One open end of one vertex per rim vertex, in the plane.
    std::vector<std::vector<int>> loops;
    tooth->GetBoundaryLoops(loops);
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].size(), rim.size());
    for (const int v : loops[0])
        EXPECT_NEAR(plane.Distance(tooth->m_vertices[v].m_point, false), 0.0, 1e-9);
}
