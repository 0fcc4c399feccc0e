// SPDX-License-Identifier: GPL-3.0-or-later
// The gum cut from a scanned jaw: a flat grid scan with two touching crowns.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "core/model/QvCutLine.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"

namespace {

constexpr int kW = 12, kH = 8;
int GridVertex(int i, int j) { return j * (kW + 1) + i; }

void AddGrid(QvMesh& mesh, double z, int i0, int i1, int j0, int j1, bool allVertices)
{
    for (int j = 0; j <= kH; ++j)
        for (int i = 0; i <= kW; ++i)
            if (allVertices)
                mesh.AddVertex(QvPoint(i, j, z));
    for (int j = j0; j < j1; ++j)
        for (int i = i0; i < i1; ++i)
        {
            EXPECT_TRUE(mesh.AddFace(GridVertex(i, j), GridVertex(i + 1, j), GridVertex(i + 1, j + 1), 0));
            EXPECT_TRUE(mesh.AddFace(GridVertex(i, j), GridVertex(i + 1, j + 1), GridVertex(i, j + 1), 0));
        }
}

// Closed rectangle of grid vertices, counter-clockwise from (i0, j0).
std::vector<int> Rectangle(int i0, int i1, int j0, int j1)
{
    std::vector<int> loop;
    for (int i = i0; i < i1; ++i)
        loop.push_back(GridVertex(i, j0));
    for (int j = j0; j < j1; ++j)
        loop.push_back(GridVertex(i1, j));
    for (int i = i1; i > i0; --i)
        loop.push_back(GridVertex(i, j1));
    for (int j = j1; j > j0; --j)
        loop.push_back(GridVertex(i0, j));
    return loop;
}

// A crown over the grid squares of the rectangle, its rim 0.1 above the scan and
// shifted by dx along the arch.
QvTooth* Crown(QvJaw* jaw, int fdi, int i0, int i1, double dx = 0.0)
{
    auto* tooth = new QvTooth();
    tooth->SetFdi(fdi);
    tooth->SetJaw(jaw);
    AddGrid(*tooth, 0.1, i0, i1, 2, 5, true);
    for (QvVertex& v : tooth->m_vertices)
        v.m_point[0] += dx;
    tooth->UpdateBoundaryLoop();
    QvCutLine cut(jaw, -1);
    EXPECT_TRUE(cut.SetIndices(Rectangle(i0, i1, 2, 5)));
    std::vector<int> marks(cut.m_vertices.size(), 0);
    EXPECT_TRUE(cut.SetMarks(marks));
    tooth->SetCutLine(cut);
    return tooth;
}

} // namespace

TEST(ExtractGum, CutsTheCrownsOutAndSnapsTheBorderToTheirRims)
{
    QvModel model;
    auto* jaw = new QvJaw();
    jaw->SetUpper(true);
    AddGrid(*jaw, 0.0, 0, kW, 0, kH, true);
    model.AddEntity(jaw);
    QvTooth* a = Crown(jaw, 16, 2, 5);
    QvTooth* b = Crown(jaw, 15, 5, 8);
    model.AddEntity(a);
    model.AddEntity(b);

    std::unique_ptr<QvMesh> gum(model.ExtractGum(true));
    ASSERT_NE(gum, nullptr);
    // 192 scan faces less the 36 under the crowns, and a few closing the contact.
    EXPECT_GE(gum->m_faces.size(), 156u);
    EXPECT_LE(gum->m_faces.size(), 162u);
    std::vector<std::vector<int>> loops;
    gum->GetBoundaryLoops(loops);
    ASSERT_GE(loops.size(), 2u); // the scan's edge and the hole of the crowns
    std::vector<QvPoint> rims;
    for (const QvTooth* t : {a, b})
        for (const int v : *t->GetBoundaryLoop())
            rims.push_back(t->m_vertices[static_cast<std::size_t>(v)].m_point);
    int onRim = 0;
    for (const std::vector<int>& loop : loops)
        for (const int v : loop)
        {
            const QvPoint& p = gum->m_vertices[static_cast<std::size_t>(v)].m_point;
            if (std::fabs(p[2]) < 1e-12)
                continue; // the scan's own edge
            double best = 1e9;
            for (const QvPoint& r : rims)
                best = std::fmin(best, p.Distance(r));
            EXPECT_LT(best, 1e-12);
            ++onRim;
        }
    EXPECT_GE(onRim, 18);
    // Nothing of the model changed.
    EXPECT_EQ(jaw->m_faces.size(), 192u);
    EXPECT_EQ(jaw->m_vertices[static_cast<std::size_t>(GridVertex(3, 2))].m_point[2], 0.0);

    EXPECT_EQ(model.ExtractGum(false), nullptr); // no lower jaw
}

// Two crowns cut along one shared line but standing 0.4 apart: the gum bridges the
// gap at both ends of the contact, so no slit runs between the teeth.
TEST(ExtractGum, ClosesTheGapAtTheContact)
{
    QvModel model;
    auto* jaw = new QvJaw();
    jaw->SetUpper(true);
    AddGrid(*jaw, 0.0, 0, kW, 0, kH, true);
    model.AddEntity(jaw);
    QvTooth* a = Crown(jaw, 16, 2, 5, -0.2);
    QvTooth* b = Crown(jaw, 15, 5, 8, 0.2);
    model.AddEntity(a);
    model.AddEntity(b);

    std::unique_ptr<QvMesh> gum(model.ExtractGum(true));
    ASSERT_NE(gum, nullptr);
    auto onRim = [](const QvTooth* t, const QvPoint& p) {
        for (const int v : *t->GetBoundaryLoop())
            if (t->m_vertices[static_cast<std::size_t>(v)].m_point.Distance(p) < 1e-9)
                return true;
        return false;
    };
    // Faces joining a point of one rim to a point of the other, at each end of the contact.
    int bridgesFront = 0, bridgesBack = 0;
    for (const QvFace& f : gum->m_faces)
    {
        bool onA = false, onB = false;
        double y = 0.0;
        for (const int v : f.m_vertices)
        {
            const QvPoint& p = gum->m_vertices[static_cast<std::size_t>(v)].m_point;
            const bool inA = onRim(a, p), inB = onRim(b, p);
            onA = onA || (inA && !inB);
            onB = onB || (inB && !inA);
            y += p[1] / 3.0;
        }
        if (onA && onB)
            ++(y < 3.5 ? bridgesFront : bridgesBack);
    }
    EXPECT_GE(bridgesFront, 1);
    EXPECT_GE(bridgesBack, 1);
    // Each crown's rim corners at the contact belong to gum faces: the border runs
    // round both crowns instead of cutting across the gap between them.
    const QvPoint corners[] = {{4.8, 2, 0.1}, {5.2, 2, 0.1}, {4.8, 5, 0.1}, {5.2, 5, 0.1}};
    for (const QvPoint& c : corners)
    {
        bool reached = false;
        for (const QvFace& f : gum->m_faces)
            for (const int v : f.m_vertices)
                reached = reached || gum->m_vertices[static_cast<std::size_t>(v)].m_point.Distance(c) < 1e-9;
        EXPECT_TRUE(reached) << c[0] << " " << c[1];
    }
}

TEST(ExtractGum, NullWithoutTeethOrBorder)
{
    QvModel model;
    auto* jaw = new QvJaw();
    jaw->SetUpper(true);
    AddGrid(*jaw, 0.0, 0, kW, 0, kH, true);
    model.AddEntity(jaw);
    EXPECT_EQ(model.ExtractGum(true), nullptr);
}
