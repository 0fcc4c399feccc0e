// SPDX-License-Identifier: GPL-3.0-or-later
// Selection picking on boxes and small meshes: the selection buffer (nearest, ties,
// overflow, hidden and ghost placements), the vertex pick's 10-pixel rule and the
// edge pick's distances.
#include <gtest/gtest.h>

#include <memory>

#include "core/mesh/QvMeshElements.h"
#include "core/render/aux/tests/AuxFixture.h"

using namespace aux_test;

namespace
{
class PickTest : public AuxFixture
{
protected:
    // A pixel and the window point a world point at the view's centre projects to.
    QvGDIPoint Centre() const { return render->ProjectInActiveView(QvPoint(0, 0, 0)); }
};

TEST_F(PickTest, NothingBeforeAFrameOrWithoutAModelOrOverBackground)
{
    StartAux(200, 200);
    status->m_pickMask = kQvTypeTooth | kQvTypeEntityAnonymous;
    QvEntity* box = AddBox(QvPoint(-0.2, -0.2, -0.2), QvPoint(0.2, 0.2, 0.2));
    EXPECT_EQ(selector->Pick(QvGDIPoint(100, 100)), nullptr) << "no frame yet";
    Frame();
    EXPECT_EQ(selector->Pick(QvGDIPoint(100, 100)), box);
    EXPECT_EQ(selector->Pick(QvGDIPoint(10, 10)), nullptr) << "background";
    status->m_pickMask = kQvTypeVertex;
    EXPECT_EQ(selector->Pick(QvGDIPoint(10, 10)), nullptr) << "background, vertex mode";
    status->m_pickMask = kQvTypeEntityAnonymous;
    selector->SetModel(nullptr);
    EXPECT_EQ(selector->Pick(QvGDIPoint(100, 100)), nullptr) << "no model";
}

TEST_F(PickTest, NearestBoxWinsLaterRecordWinsTiesAndProjectionIsRestored)
{
    StartAux(200, 200);
    status->m_pickMask = kQvTypeEntityAnonymous;
    QvEntity* far = AddBox(QvPoint(-0.3, -0.3, -0.5), QvPoint(0.3, 0.3, -0.1));
    QvEntity* nearBox = AddBox(QvPoint(-0.1, -0.1, 0.0), QvPoint(0.1, 0.1, 0.3));
    Frame();
    const QvGDIPoint c = Centre();

    // A projection of our own, to see it come back.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-3, 5, -2, 7, 0.5, 9);
    double before[16], after[16];
    glGetDoublev(GL_PROJECTION_MATRIX, before);
    EXPECT_EQ(selector->Pick(c), nearBox);
    glGetDoublev(GL_PROJECTION_MATRIX, after);
    for (int i = 0; i < 16; ++i)
        EXPECT_DOUBLE_EQ(after[i], before[i]);
    // Off the near box only the far one is under the 8 x 8 box.
    EXPECT_EQ(selector->Pick(QvGDIPoint(c.x + 25, c.y)), far);

    // Equal front faces: the one drawn later (its record later in the buffer) wins.
    QvEntity* twin = AddBox(QvPoint(-0.1, -0.1, 0.0), QvPoint(0.1, 0.1, 0.3));
    Frame();
    EXPECT_EQ(selector->Pick(c), twin);
    (void)far;
}

TEST_F(PickTest, HiddenAndAllGhostEntitiesAreNeverPicked)
{
    StartAux(200, 200);
    status->m_pickMask = kQvTypeEntityAnonymous;
    QvEntity* back = AddBox(QvPoint(-0.3, -0.3, -0.5), QvPoint(0.3, 0.3, -0.1));
    QvEntity* front = AddBox(QvPoint(-0.1, -0.1, 0.0), QvPoint(0.1, 0.1, 0.3));
    QvViewDrawInfo* info = views->GetActiveView()->GetDrawInfo();
    Frame();
    const QvGDIPoint c = Centre();
    EXPECT_EQ(selector->Pick(c), front);
    info->HideEntity(front);
    EXPECT_EQ(selector->Pick(c), back);
    info->ShowEntity(front);
    info->SetEntityMatrix(front, Translation(0, 0, 0), true); // only a ghost placement
    EXPECT_EQ(selector->Pick(c), back);
    // A normal placement beside the ghost makes it pickable again, where it is placed.
    info->SetEntityMatrix(front, Translation(0.5, 0, 0), false);
    Frame();
    EXPECT_EQ(selector->Pick(c), back);
    EXPECT_EQ(selector->Pick(render->ProjectInActiveView(QvPoint(0.5, 0, 0.3))), front);
}

TEST_F(PickTest, OverflowingTheSelectionBufferGivesNull)
{
    StartAux(100, 100);
    status->m_pickMask = kQvTypeEntityAnonymous;
    // Five words a record: 102 fit in 512, 120 do not.
    for (int i = 0; i < 102; ++i)
        AddBox(QvPoint(-0.1, -0.1, -0.5 + 0.005 * i), QvPoint(0.1, 0.1, -0.49 + 0.005 * i));
    Frame();
    EXPECT_EQ(selector->Pick(Centre()), boxes.back().get()) << "102 records still fit";
    for (int i = 102; i < 120; ++i)
        AddBox(QvPoint(-0.1, -0.1, -0.5 + 0.005 * i), QvPoint(0.1, 0.1, -0.49 + 0.005 * i));
    Frame();
    EXPECT_EQ(selector->Pick(Centre()), nullptr);
}

// A flat triangle facing the viewer at z = 0 with a lone vertex placed on it after the
// frame at a chosen pixel offset from the cursor: it is the nearest vertex to the
// surface point, and the pick keeps it only within 10 pixels (|dx| + |dy|).
TEST_F(PickTest, VertexPickAcceptsTenPixelsManhattan)
{
    StartAux(300, 300);
    auto* mesh = new QvMesh;
    const int a = mesh->AddVertex(QvPoint(-0.9, -0.9, 0));
    const int b = mesh->AddVertex(QvPoint(0.9, -0.9, 0));
    const int c = mesh->AddVertex(QvPoint(0, 0.9, 0));
    ASSERT_TRUE(mesh->AddFace(a, b, c, 0));
    const int lone = mesh->AddVertex(QvPoint(0, 0, 0));
    model.AddEntity(mesh);
    Frame();
    const QvGDIPoint cursor(150, 170);

    struct Case
    {
        int dx, dy;
        std::uint32_t mask;
        bool hit;
    };
    const Case cases[] = {{10, 0, 8, true},  {0, -10, 8, true}, {11, 0, 8, false},
                          {6, 5, 8, false}, {4, 5, 8, true},    {10, 0, 0x18, true}};
    for (const Case& k : cases)
    {
        const QvPoint at = render->UnProjectInActiveView(QvGDIPoint(cursor.x + k.dx, cursor.y + k.dy), 0.5);
        ASSERT_TRUE(mesh->SetVertexPosition(lone, QvPoint(at[0], at[1], 0.0)));
        mesh->UpdateBBox();
        status->m_pickMask = k.mask;
        QvObject* picked = selector->Pick(cursor);
        EXPECT_EQ(picked, k.hit ? &mesh->m_vertices[static_cast<std::size_t>(lone)] : nullptr)
            << k.dx << "," << k.dy << " mask " << k.mask;
    }
}

// Two edges from the nearest vertex to coincident far ends lie at the same distance
// from any point: the edge with the higher index wins, in either build order.
TEST_F(PickTest, EdgePickKeepsTheHigherIndexAmongEqualDistances)
{
    StartAux(300, 300);
    views->GetActiveView()->GetTransform().m_scale = 0.05; // one unit is 7.5 pixels
    for (int order = 0; order < 2; ++order)
    {
        auto* mesh = new QvMesh;
        const int c = mesh->AddVertex(QvPoint(0, 0, 0));
        const int a1 = mesh->AddVertex(QvPoint(3, 0, 0));
        const int b1 = mesh->AddVertex(QvPoint(0, 3, 0));
        const int a2 = mesh->AddVertex(QvPoint(3, 0, 0));
        const int b2 = mesh->AddVertex(QvPoint(0, -3, 0));
        if (order == 0)
        {
            ASSERT_TRUE(mesh->AddFace(c, a1, b1, 0));
            ASSERT_TRUE(mesh->AddFace(c, b2, a2, 0));
        }
        else
        {
            ASSERT_TRUE(mesh->AddFace(c, b2, a2, 0));
            ASSERT_TRUE(mesh->AddFace(c, a1, b1, 0));
        }
        model.AddEntity(mesh);
        Frame();
        // Just above the edge c-a, a little way along it.
        const QvGDIPoint cursor = render->ProjectInActiveView(QvPoint(0.6, 0.3, 0));
        status->m_pickMask = kQvTypeEdge;
        auto* edge = dynamic_cast<QvEdge*>(selector->Pick(cursor));
        ASSERT_NE(edge, nullptr) << "order " << order;
        const int e1 = mesh->FindEdge(c, a1), e2 = mesh->FindEdge(c, a2);
        ASSERT_GE(e1, 0);
        ASSERT_GE(e2, 0);
        EXPECT_EQ(edge->m_index, std::max(e1, e2)) << "order " << order;
        model.RemoveEntity(mesh->GetID(), true);
    }
}

TEST(DistanceToEdgeTest, BeyondAnEndTheNearerEndCounts)
{
    QvMesh mesh;
    const int a = mesh.AddVertex(QvPoint(0, 0, 0));
    const int b = mesh.AddVertex(QvPoint(4, 0, 0));
    const int c = mesh.AddVertex(QvPoint(0, 4, 0));
    ASSERT_TRUE(mesh.AddFace(a, b, c, 0));
    const QvEdge& ab = mesh.m_edges[static_cast<std::size_t>(mesh.FindEdge(a, b))];
    struct Case
    {
        QvPoint p;
        double d;
    };
    const Case cases[] = {{QvPoint(2, 3, 0), 3.0},  {QvPoint(-3, 4, 0), 5.0}, {QvPoint(7, -4, 0), 5.0},
                          {QvPoint(0, 2, 0), 2.0},  {QvPoint(4, 0, 1), 1.0}, {QvPoint(1, 0, 0), 0.0}};
    for (const Case& k : cases)
        EXPECT_NEAR(QvOpenGLSelect::DistanceToEdge(mesh, ab, k.p), k.d, 1e-12) << k.p[0] << "," << k.p[1];
}
} // namespace
