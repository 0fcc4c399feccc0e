// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <set>

#include "core/mesh/QvMesh.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

using qvtest::MeshInvariantsHold;

QvMesh MeshWithVertices(int n)
{
    QvMesh mesh;
    for (int i = 0; i < n; ++i)
        mesh.AddVertex(QvPoint(i, i * i, 0));
    return mesh;
}

// Everything that identifies the mesh's contents, for "nothing changed" checks.
struct Snapshot
{
    std::vector<std::array<int, 4>> faces;
    std::vector<std::array<int, 4>> edges;
    std::vector<std::vector<int>> incidence;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Snap(const QvMesh& mesh)
{
    Snapshot s;
    for (const QvFace& f : mesh.m_faces)
        s.faces.push_back({f.m_vertices[0], f.m_vertices[1], f.m_vertices[2], f.m_tag});
    for (const QvEdge& e : mesh.m_edges)
        s.edges.push_back({e.m_vertices[0], e.m_vertices[1], e.m_faces[0], e.m_faces[1]});
    for (const QvVertex& v : mesh.m_vertices)
        s.incidence.push_back(v.m_edges.ToVector());
    return s;
}

TEST(Mesh, NewMeshAndTypeCodes)
{
    QvEntity::SetNextId(500);
    const QvMesh mesh;
    EXPECT_EQ(mesh.GetID(), 500);
    EXPECT_EQ(mesh.GetType(), kQvTypeMesh);
    for (QvTypeCode code : {kQvTypeObject, kQvTypeEntity, kQvTypeMesh})
        EXPECT_TRUE(mesh.IsKindOf(code));
    for (QvTypeCode code : {kQvTypeVertex, kQvTypeFace, kQvTypeJaw, 3u})
        EXPECT_FALSE(mesh.IsKindOf(code));
    EXPECT_FALSE(mesh.m_bFirstFlag);
    EXPECT_TRUE(mesh.m_bModified);
    EXPECT_TRUE(mesh.m_bThirdFlag);
    EXPECT_TRUE(mesh.m_vertices.empty());
    QvEntity::SetNextId(100);
}

TEST(Mesh, CopyKeepsIdentityAndSetsModified)
{
    QvMesh source = qvtest::MakeTwoTriangleStrip();
    source.m_colors = {QvColor(1, 2, 3), QvColor(4, 5, 6), QvColor(7, 8, 9), QvColor(0, 0, 0)};
    source.m_bFirstFlag = true;
    source.m_bModified = false;
    source.m_state = 0x13;

    const QvMesh copy(source);
    EXPECT_EQ(copy.GetID(), source.GetID());
    EXPECT_EQ(copy.m_state, 0x13u);
    EXPECT_TRUE(copy.m_bFirstFlag);
    EXPECT_TRUE(copy.m_bModified);
    EXPECT_EQ(Snap(copy), Snap(source));
    EXPECT_EQ(copy.m_colors.size(), 4u);

    QvMesh assigned;
    assigned.m_bModified = true;
    assigned = source;
    EXPECT_EQ(assigned.GetID(), source.GetID());
    EXPECT_FALSE(assigned.m_bModified); // assignment copies the flag
    EXPECT_TRUE(assigned.m_bFirstFlag);
    EXPECT_EQ(Snap(assigned), Snap(source));

    QvMesh& self = assigned;
    assigned = self;
    EXPECT_EQ(Snap(assigned), Snap(source));
}

TEST(Mesh, ClearKeepsColoursAndIdentity)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    mesh.m_colors.assign(4, QvColor(1, 1, 1));
    const int id = mesh.GetID();
    mesh.m_bModified = false;
    mesh.Clear();
    EXPECT_TRUE(mesh.m_vertices.empty() && mesh.m_edges.empty() && mesh.m_faces.empty());
    EXPECT_EQ(mesh.m_colors.size(), 4u);
    EXPECT_EQ(mesh.GetID(), id);
    EXPECT_TRUE(mesh.m_bModified);
}

TEST(Mesh, KernelEditsLeaveModifiedFlagAlone)
{
    QvMesh mesh = qvtest::MakeGrid(4, 4);
    mesh.m_bModified = false;
    mesh.AddVertex(QvPoint(9, 9, 9));
    (void)mesh.AddFace(0, 5, 1, 0);
    EXPECT_TRUE(mesh.SetVertexPosition(0, QvPoint(-1, 0, 0)));
    mesh.UpdateFaceNormals();
    mesh.OrientFaces({1, 2});
    mesh.RemoveFace(3, true);
    mesh.RemoveIsolatedVertices();
    mesh.Reserve(100, 100, 100);
    EXPECT_FALSE(mesh.m_bModified);
}

TEST(Mesh, SetVertexPositionChecksRange)
{
    QvMesh mesh = MeshWithVertices(3);
    EXPECT_TRUE(mesh.SetVertexPosition(2, QvPoint(5, 5, 5)));
    EXPECT_EQ(mesh.m_vertices[2].m_point, QvPoint(5, 5, 5));
    for (int bad : {-1, 3, 1000})
        EXPECT_FALSE(mesh.SetVertexPosition(bad, QvPoint(1, 1, 1)));
}

TEST(Mesh, AddFaceReusesSharedEdge)
{
    QvMesh mesh = MeshWithVertices(4);
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(2, 1, 3, 6));
    ASSERT_EQ(mesh.m_edges.size(), 5u);
    const int shared = mesh.FindEdge(1, 2);
    ASSERT_NE(shared, -1);
    EXPECT_EQ(mesh.m_edges[shared].m_faces[0], 0);
    EXPECT_EQ(mesh.m_edges[shared].m_faces[1], 1);
    const QvFace& second = mesh.m_faces[1];
    EXPECT_EQ(second.m_edges[0], shared);
    const QvEdge& e13 = mesh.m_edges[second.m_edges[1]];
    const QvEdge& e32 = mesh.m_edges[second.m_edges[2]];
    EXPECT_EQ((std::array<int, 2>{e13.m_vertices[0], e13.m_vertices[1]}), (std::array<int, 2>{1, 3}));
    EXPECT_EQ((std::array<int, 2>{e32.m_vertices[0], e32.m_vertices[1]}), (std::array<int, 2>{3, 2}));
    EXPECT_EQ(e13.m_faces[0], 1);
    EXPECT_EQ(second.m_tag, 6);
    // Incidence order: first vertex's list first, then the second's, as edges are created.
    EXPECT_EQ(mesh.m_vertices[1].m_edges, (std::vector<int>{0, 1, 3}));
    EXPECT_TRUE(MeshInvariantsHold(mesh));
}

TEST(Mesh, AddFaceRefusals)
{
    QvMesh mesh = MeshWithVertices(3);
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0)); // every side gets its second face
    EXPECT_TRUE(MeshInvariantsHold(mesh));
    const Snapshot before = Snap(mesh);
    struct Case
    {
        int a, b, c;
    } refused[] = {{0, 1, 2}, {2, 1, 0}, {0, 0, 1}, {0, 1, 1}, {1, 0, 1}, {0, 1, 5},
                   {-1, 0, 1}, {0, -1, 1}, {0, 1, -1}, {3, 0, 1}};
    for (const Case& c : refused)
    {
        EXPECT_FALSE(mesh.AddFace(c.a, c.b, c.c, 0)) << c.a << " " << c.b << " " << c.c;
        const int corners[3] = {c.a, c.b, c.c};
        EXPECT_FALSE(mesh.AddFace(corners, 0));
        EXPECT_EQ(Snap(mesh), before);
    }
}

// A side with two faces refuses the face even when its other sides are new.
TEST(Mesh, AddFaceRefusesThirdFaceOnOneSideWithoutPartialEdit)
{
    QvMesh mesh = MeshWithVertices(5);
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(1, 0, 3, 0));
    const Snapshot before = Snap(mesh);
    EXPECT_FALSE(mesh.AddFace(0, 1, 4, 0));
    EXPECT_EQ(Snap(mesh), before);
}

TEST(Mesh, NormalsAreZeroUntilUpdated)
{
    QvMesh mesh = MeshWithVertices(4);
    mesh.m_vertices[0].m_point = QvPoint(0, 0, 0);
    mesh.m_vertices[1].m_point = QvPoint(1, 0, 0);
    mesh.m_vertices[2].m_point = QvPoint(0, 1, 0);
    mesh.m_vertices[3].m_point = QvPoint(2, 0, 0); // collinear with 0 and 1
    ASSERT_TRUE(mesh.AddFace(0, 1, 2, 0));
    ASSERT_TRUE(mesh.AddFace(0, 3, 1, 0));
    EXPECT_TRUE(mesh.m_faces[0].m_normal.IsZero());
    mesh.UpdateFaceNormals({1});
    EXPECT_TRUE(mesh.m_faces[0].m_normal.IsZero());
    EXPECT_EQ(mesh.m_faces[1].m_normal, QvVector(1, 0, 0)); // degenerate face
    mesh.UpdateFaceNormals();
    EXPECT_EQ(mesh.m_faces[0].m_normal, QvVector(0, 0, 1));
}

TEST(Mesh, RemoveFirstFaceOfStrip)
{
    for (const bool removeVertices : {false, true})
    {
        QvMesh mesh = qvtest::MakeTwoTriangleStrip(); // (0, 1, 2), (2, 1, 3)
        ASSERT_TRUE(mesh.RemoveFace(0, removeVertices));
        ASSERT_EQ(mesh.m_faces.size(), 1u);
        EXPECT_EQ(mesh.m_edges.size(), 3u); // 0-1 and 2-0 went with face 0
        EXPECT_EQ(mesh.m_vertices.size(), removeVertices ? 3u : 4u);
        EXPECT_TRUE(MeshInvariantsHold(mesh));
        const QvFace& left = mesh.m_faces[0];
        // The surviving face keeps its corners by position.
        EXPECT_EQ(mesh.m_vertices[left.m_vertices[0]].m_point, QvPoint(0, 1, 0));
        EXPECT_EQ(mesh.m_vertices[left.m_vertices[1]].m_point, QvPoint(1, 0, 0));
        EXPECT_EQ(mesh.m_vertices[left.m_vertices[2]].m_point, QvPoint(1, 1, 0));
        const int shared = mesh.FindEdge(left.m_vertices[0], left.m_vertices[1]);
        ASSERT_NE(shared, -1);
        EXPECT_EQ(mesh.m_edges[shared].m_faces[0], 0);
        EXPECT_EQ(mesh.m_edges[shared].m_faces[1], -1);
    }
}

TEST(Mesh, RemoveLastFaceMovesNothing)
{
    QvMesh mesh = qvtest::MakeGrid(3, 3);
    const Snapshot before = Snap(mesh);
    ASSERT_TRUE(mesh.RemoveFace(static_cast<int>(mesh.m_faces.size()) - 1, false));
    const Snapshot after = Snap(mesh);
    ASSERT_EQ(after.faces.size(), before.faces.size() - 1);
    EXPECT_TRUE(std::equal(after.faces.begin(), after.faces.end(), before.faces.begin()));
    EXPECT_TRUE(MeshInvariantsHold(mesh));
}

TEST(Mesh, RemoveFaceSparesKeptVertices)
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    ASSERT_TRUE(mesh.RemoveFace(0, std::set<int>{0}));
    EXPECT_EQ(mesh.m_vertices.size(), 4u); // vertex 0 emptied but kept
    EXPECT_TRUE(mesh.m_vertices[0].m_edges.empty());
    QvMesh other = qvtest::MakeTwoTriangleStrip();
    ASSERT_TRUE(other.RemoveFace(0, std::set<int>{3}));
    EXPECT_EQ(other.m_vertices.size(), 3u); // 3 is not emptied; 0 goes
    EXPECT_TRUE(MeshInvariantsHold(mesh));
    EXPECT_TRUE(MeshInvariantsHold(other));
}

TEST(Mesh, RemoveIsolatedVerticesCompactsFromTheEnd)
{
    QvMesh mesh = MeshWithVertices(5);
    ASSERT_TRUE(mesh.AddFace(0, 2, 4, 0));
    const QvPoint p0 = mesh.m_vertices[0].m_point, p2 = mesh.m_vertices[2].m_point, p4 = mesh.m_vertices[4].m_point;
    mesh.m_colors = {QvColor(0, 0, 0), QvColor(1, 0, 0), QvColor(2, 0, 0), QvColor(3, 0, 0), QvColor(4, 0, 0)};
    mesh.RemoveIsolatedVertices();
    ASSERT_EQ(mesh.m_vertices.size(), 3u);
    EXPECT_EQ(mesh.m_vertices[0].m_point, p0);
    EXPECT_EQ(mesh.m_vertices[1].m_point, p4);
    EXPECT_EQ(mesh.m_vertices[2].m_point, p2);
    EXPECT_EQ(mesh.m_colors.size(), 3u);
    EXPECT_EQ(mesh.m_colors[1].m_r, 4);
    EXPECT_EQ(mesh.m_faces[0].m_vertices[2], 1);
    EXPECT_TRUE(MeshInvariantsHold(mesh));

    EXPECT_FALSE(mesh.RemoveIsolatedVertex(0)); // has edges
    EXPECT_FALSE(mesh.RemoveIsolatedVertex(-1));
    EXPECT_FALSE(mesh.RemoveIsolatedVertex(3));
}

// Faces by corner positions, in winding order from the lowest corner, with tags:
// what an exchange must not change.
std::multiset<std::vector<double>> FacesByPosition(const QvMesh& mesh)
{
    std::multiset<std::vector<double>> out;
    for (const QvFace& f : mesh.m_faces)
    {
        int k0 = 0;
        for (int k = 1; k < 3; ++k)
            if (f.m_vertices[k] < f.m_vertices[k0])
                k0 = k;
        std::vector<double> key;
        std::vector<std::array<double, 3>> corners;
        for (int k = 0; k < 3; ++k)
        {
            const QvPoint& p = mesh.m_vertices[f.m_vertices[k]].m_point;
            corners.push_back({p[0], p[1], p[2]});
        }
        const auto first = std::min_element(corners.begin(), corners.end()) - corners.begin();
        for (int k = 0; k < 3; ++k)
            key.insert(key.end(), corners[(first + k) % 3].begin(), corners[(first + k) % 3].end());
        key.push_back(f.m_tag);
        out.insert(key);
    }
    return out;
}

TEST(Mesh, ExchangesRenumberEveryReference)
{
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    const int shared = strip.FindEdge(1, 2);
    ASSERT_TRUE(strip.SwapFaces(0, 1));
    EXPECT_EQ(strip.m_faces[0].m_vertices[0], 2);
    EXPECT_EQ(strip.m_edges[shared].m_faces[0], 1); // slots follow the faces, not swapped twice
    EXPECT_EQ(strip.m_edges[shared].m_faces[1], 0);
    EXPECT_TRUE(MeshInvariantsHold(strip));

    QvMesh sphere = qvtest::MakeSphere(1);
    for (int v = 0; v < static_cast<int>(sphere.m_vertices.size()); ++v)
        sphere.m_colors.push_back(QvColor(v, 0, 0));
    const auto faces = FacesByPosition(sphere);
    std::mt19937_64 rng(3);
    const int nv = static_cast<int>(sphere.m_vertices.size());
    const int ne = static_cast<int>(sphere.m_edges.size());
    const int nf = static_cast<int>(sphere.m_faces.size());
    for (int round = 0; round < 200; ++round)
    {
        const int kind = round % 3;
        const int n = kind == 0 ? nv : kind == 1 ? ne : nf;
        const int a = static_cast<int>(rng() % n), b = static_cast<int>(rng() % n);
        if (kind == 0)
        {
            const QvColor colourA = sphere.m_colors[a], colourB = sphere.m_colors[b];
            ASSERT_TRUE(sphere.SwapVertices(a, b));
            EXPECT_EQ(sphere.m_colors[a].m_r, colourB.m_r);
            EXPECT_EQ(sphere.m_colors[b].m_r, colourA.m_r);
        }
        else if (kind == 1)
            ASSERT_TRUE(sphere.SwapEdges(a, b));
        else
            ASSERT_TRUE(sphere.SwapFaces(a, b));
        ASSERT_TRUE(MeshInvariantsHold(sphere)) << round;
        ASSERT_TRUE(qvtest::IsConsistentlyOriented(sphere)) << round;
        ASSERT_EQ(FacesByPosition(sphere), faces) << round;
    }
}

TEST(Mesh, FindEdgeBothDirectionsAndSelf)
{
    const QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    EXPECT_EQ(mesh.FindEdge(1, 2), mesh.FindEdge(2, 1));
    EXPECT_NE(mesh.FindEdge(1, 2), -1);
    EXPECT_EQ(mesh.FindEdge(0, 3), -1);
    EXPECT_EQ(mesh.FindEdge(1, 1), -1);
}

TEST(Mesh, FanWalk)
{
    const QvMesh grid = qvtest::MakeGrid(3, 3);
    // Interior vertex: the fan closes on the start edge.
    for (const int e : grid.m_vertices[4].m_edges)
        EXPECT_EQ(grid.FindFanBoundaryEdge(4, e), e);
    // Boundary vertex 1: from one boundary edge the walk ends at the other.
    EXPECT_EQ(grid.FindFanBoundaryEdge(1, grid.FindEdge(1, 0)), grid.FindEdge(1, 2));
    for (const int e : grid.m_vertices[1].m_edges)
    {
        const int end = grid.FindFanBoundaryEdge(1, e);
        ASSERT_NE(end, -1);
        EXPECT_TRUE(grid.m_edges[end].IsBoundary());
    }
}

// ---- Orientation ---------------------------------------------------------------------

bool AllNormalsOutward(QvMesh& mesh, const QvPoint& centre)
{
    mesh.UpdateFaceNormals();
    for (const QvFace& f : mesh.m_faces)
        if (f.m_normal.Dot(mesh.m_vertices[f.m_vertices[0]].m_point - centre) <= 0)
            return false;
    return true;
}

TEST(MeshOrientation, RepairsRandomFlipsOnClosedMeshes)
{
    struct Fixture
    {
        QvMesh mesh;
        QvPoint centre;
    };
    std::vector<Fixture> fixtures;
    fixtures.push_back({qvtest::MakeSphere(3), QvPoint()});
    fixtures.push_back({qvtest::MakeCube(1e-3), QvPoint(0.5e-3, 0.5e-3, 0.5e-3)});
    fixtures.push_back({qvtest::MakeCube(1e3), QvPoint(500, 500, 500)});
    std::mt19937_64 rng(7);
    for (Fixture& fx : fixtures)
    {
        ASSERT_TRUE(AllNormalsOutward(fx.mesh, fx.centre));
        const int nf = static_cast<int>(fx.mesh.m_faces.size());
        for (int round = 0; round < 20; ++round)
        {
            QvMesh mesh = fx.mesh;
            std::vector<int> listed;
            for (int f = 0; f < nf; ++f)
                if (rng() % 4 != 0) // three quarters listed, at least a few seeds
                {
                    listed.push_back(f);
                    if (rng() % 2)
                        mesh.m_faces[f].Flip();
                }
            if (static_cast<int>(listed.size()) == nf)
                listed.pop_back(), mesh.m_faces[nf - 1] = fx.mesh.m_faces[nf - 1];
            std::shuffle(listed.begin(), listed.end(), rng);
            mesh.OrientFaces(listed);
            EXPECT_TRUE(qvtest::IsConsistentlyOriented(mesh)) << round;
            EXPECT_TRUE(AllNormalsOutward(mesh, fx.centre)) << round;
            EXPECT_TRUE(MeshInvariantsHold(mesh));
        }
    }
}

TEST(MeshOrientation, NothingToCompareAgainst)
{
    QvMesh mesh = qvtest::MakeSphere(1);
    mesh.m_faces[3].Flip();
    mesh.m_faces[10].Flip();
    const Snapshot flipped = Snap(mesh);
    mesh.OrientFaces({});
    EXPECT_EQ(Snap(mesh), flipped); // nothing listed: nothing may flip
    std::vector<int> all(mesh.m_faces.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<int>(i);
    mesh.OrientFaces(all);
    EXPECT_EQ(Snap(mesh), flipped); // every face listed: no seed
}

// Unlisted faces win even when they are the minority.
TEST(MeshOrientation, UnlistedFacesAreNeverFlipped)
{
    QvMesh mesh = qvtest::MakeGrid(4, 4);
    for (QvFace& f : mesh.m_faces)
        if (f.m_index != 0)
            f.Flip();
    std::vector<int> listed;
    for (int f = 1; f < static_cast<int>(mesh.m_faces.size()); ++f)
        listed.push_back(f);
    mesh.OrientFaces(listed);
    mesh.UpdateFaceNormals();
    for (const QvFace& f : mesh.m_faces)
        EXPECT_EQ(f.m_normal, QvVector(0, 0, 1)) << f.m_index;
}

// ---- Random edits against a model ------------------------------------------------------

// Vertex identity is its x coordinate, so moved vertices can be followed.
struct Model
{
    std::multiset<std::array<int, 4>> faces; // ids from the smallest, in winding order, then tag
    std::set<int> vertices;

    static std::array<int, 4> Key(int a, int b, int c, int tag)
    {
        if (b < a && b < c)
            return {b, c, a, tag};
        if (c < a && c < b)
            return {c, a, b, tag};
        return {a, b, c, tag};
    }
    int SideUse(int a, int b) const
    {
        int n = 0;
        for (const auto& f : faces)
            for (int k = 0; k < 3; ++k)
                if (std::minmax(f[k], f[(k + 1) % 3]) == std::minmax(a, b))
                    ++n;
        return n;
    }
    bool Used(int id) const
    {
        for (const auto& f : faces)
            if (f[0] == id || f[1] == id || f[2] == id)
                return true;
        return false;
    }
};

int IdOf(const QvMesh& mesh, int v) { return static_cast<int>(mesh.m_vertices[v].m_point.m_coord[0]); }

::testing::AssertionResult Matches(const QvMesh& mesh, const Model& model)
{
    std::vector<int> vertices;
    for (int v = 0; v < static_cast<int>(mesh.m_vertices.size()); ++v)
    {
        vertices.push_back(IdOf(mesh, v));
        if (mesh.m_colors[v].m_r != IdOf(mesh, v))
            return ::testing::AssertionFailure() << "colour does not follow vertex " << v;
    }
    std::sort(vertices.begin(), vertices.end());
    if (!std::equal(vertices.begin(), vertices.end(), model.vertices.begin(), model.vertices.end()))
        return ::testing::AssertionFailure() << "vertex sets differ";
    std::vector<std::array<int, 4>> faces;
    faces.reserve(mesh.m_faces.size());
    for (const QvFace& f : mesh.m_faces)
        faces.push_back(Model::Key(IdOf(mesh, f.m_vertices[0]), IdOf(mesh, f.m_vertices[1]),
                                   IdOf(mesh, f.m_vertices[2]), f.m_tag));
    std::sort(faces.begin(), faces.end());
    if (!std::equal(faces.begin(), faces.end(), model.faces.begin(), model.faces.end()))
        return ::testing::AssertionFailure() << "face sets differ";
    return ::testing::AssertionSuccess();
}

TEST(MeshRandomEdits, InvariantsAndModelAgreeOverTenThousandEdits)
{
    std::mt19937_64 rng(2024);
    QvMesh mesh;
    Model model;
    int nextId = 0;
    auto addVertex = [&] {
        mesh.AddVertex(QvPoint(nextId, 0.5, 0));
        mesh.m_colors.push_back(QvColor(nextId, 0, 0));
        model.vertices.insert(nextId++);
    };
    for (int i = 0; i < 12; ++i)
        addVertex();

    int added = 0, refused = 0, removed = 0;
    for (int step = 0; step < 10000; ++step)
    {
        const int nv = static_cast<int>(mesh.m_vertices.size());
        const int nf = static_cast<int>(mesh.m_faces.size());
        const int kind = static_cast<int>(rng() % 100);
        if (nv < 24 || (kind < 6 && nv < 40))
        {
            addVertex();
        }
        else if (kind < 60)
        {
            // Mostly valid indices, sometimes out of range.
            auto pick = [&] { return static_cast<int>(rng() % (nv + 2)) - 1; };
            const int a = pick(), b = pick(), c = pick();
            const bool valid = a >= 0 && b >= 0 && c >= 0 && a < nv && b < nv && c < nv && a != b && b != c &&
                               a != c;
            const int tag = static_cast<int>(rng() % 3) * 2;
            bool expect = valid;
            if (valid)
            {
                const int ia = IdOf(mesh, a), ib = IdOf(mesh, b), ic = IdOf(mesh, c);
                expect = model.SideUse(ia, ib) < 2 && model.SideUse(ib, ic) < 2 && model.SideUse(ic, ia) < 2;
            }
            const bool got = mesh.AddFace(a, b, c, tag);
            ASSERT_EQ(got, expect) << "step " << step;
            if (got)
            {
                model.faces.insert(Model::Key(IdOf(mesh, a), IdOf(mesh, b), IdOf(mesh, c), tag));
                ++added;
            }
            else
                ++refused;
        }
        else if (kind < 90 && nf > 0)
        {
            const int f = static_cast<int>(rng() % nf);
            const int mode = static_cast<int>(rng() % 3);
            const QvFace face = mesh.m_faces[f];
            std::set<int> kept;
            for (int v = 0; v < nv; ++v)
                if (rng() % 2)
                    kept.insert(v);
            model.faces.erase(model.faces.find(Model::Key(IdOf(mesh, face.m_vertices[0]), IdOf(mesh, face.m_vertices[1]),
                                                          IdOf(mesh, face.m_vertices[2]), face.m_tag)));
            for (const int v : face.m_vertices)
            {
                const bool spare = mode == 0 || (mode == 2 && kept.count(v) != 0);
                if (!spare && !model.Used(IdOf(mesh, v)))
                    model.vertices.erase(IdOf(mesh, v));
            }
            if (mode == 2)
                ASSERT_TRUE(mesh.RemoveFace(f, kept));
            else
                ASSERT_TRUE(mesh.RemoveFace(f, mode == 1));
            ++removed;
        }
        else if (kind < 98)
        {
            const int v = static_cast<int>(rng() % nv);
            const int id = IdOf(mesh, v);
            const bool expect = !model.Used(id);
            ASSERT_EQ(mesh.RemoveIsolatedVertex(v), expect) << "step " << step;
            if (expect)
                model.vertices.erase(id);
        }
        else
        {
            mesh.RemoveIsolatedVertices();
            for (auto it = model.vertices.begin(); it != model.vertices.end();)
                it = model.Used(*it) ? std::next(it) : model.vertices.erase(it);
        }
        ASSERT_TRUE(MeshInvariantsHold(mesh)) << "step " << step;
        ASSERT_EQ(mesh.m_faces.size(), model.faces.size()) << "step " << step;
        ASSERT_EQ(mesh.m_vertices.size(), model.vertices.size()) << "step " << step;
        // The full comparison sorts both sides; every few steps is enough to place a fault.
        if (step % 16 == 0 || step == 9999)
        {
            ASSERT_TRUE(Matches(mesh, model)) << "step " << step;
        }
    }
    // The walk must really exercise both outcomes of insertion and the removals.
    EXPECT_GT(added, 1000);
    EXPECT_GT(refused, 500);
    EXPECT_GT(removed, 1000);
}

} // namespace
