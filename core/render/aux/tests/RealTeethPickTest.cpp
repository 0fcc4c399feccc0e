// SPDX-License-Identifier: GPL-3.0-or-later
// Picking on real teeth (the scanned upper central incisors, about 28 000 faces each):
// the tooth under each crown's projected centre, and the vertex pick at visible
// vertices. Skipped when the folder of real teeth is not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/design/QvBracketGeo.h"
#include "core/model/QvTooth.h"
#include "core/render/aux/tests/AuxFixture.h"

using namespace aux_test;

namespace
{
class RealTeethPickTest : public AuxFixture
{
protected:
    // A tooth of the case model with the triangles of a scanned file; null when it cannot be read.
    QvTooth* AddRealTooth(const std::string& file)
    {
        QvBracketGeo scan;
        if (!scan.LoadStl(std::string(RIVELA_REAL_TEETH_DIR) + "/" + file))
            return nullptr;
        auto* tooth = new QvTooth;
        tooth->CopyMeshData(scan);
        tooth->UpdateBBox();
        model.AddEntity(tooth);
        return tooth;
    }
};

TEST_F(RealTeethPickTest, TeethAndVerticesUnderTheCursor)
{
    if (!std::filesystem::exists(RIVELA_REAL_TEETH_DIR))
        GTEST_SKIP() << "no real teeth at " << RIVELA_REAL_TEETH_DIR;
    StartAux(400, 400);
    QvTooth* right = AddRealTooth("tooth_8.stl");
    QvTooth* left = AddRealTooth("tooth_9.stl");
    ASSERT_NE(right, nullptr);
    ASSERT_NE(left, nullptr);
    model.UpdateBBox();
    QvView* view = views->GetActiveView();
    QvTransform& t = view->GetTransform();
    const QvPoint c = model.m_bbox.GetCentre();
    t.m_translation = QvVector(-c[0], -c[1], -c[2]);
    t.m_scale = 1.6 / model.m_bbox.GetDiagonal();
    // Turned so that the teeth are seen from the side and from above at once.
    t.m_rotation = QvMatrix(QvVector(1, 0.3, 0), 1.2);
    Frame();

    std::vector<PlacedTriangles> placed;
    for (QvTooth* tooth : {right, left})
        placed.push_back(PlaceTriangles(tooth, *tooth, Translation(0, 0, 0)));

    // The teeth mask: each crown's centre answers what rays through the box meet first.
    status->m_pickMask = kQvTypeTooth;
    int checked = 0;
    for (const PlacedTriangles& tooth : placed)
    {
        const QvPoint centre((tooth.lo[0] + tooth.hi[0]) / 2, (tooth.lo[1] + tooth.hi[1]) / 2,
                             (tooth.lo[2] + tooth.hi[2]) / 2);
        const QvGDIPoint p = render->Project(view, centre);
        QvEntity* expected = nullptr;
        if (!NearestUnderPickBox(*render, view, p, placed, expected))
            continue;
        EXPECT_EQ(selector->Pick(p), expected);
        ++checked;
    }
    EXPECT_GT(checked, 0);

    // The vertex mask at visible vertices (the surface point under the cursor lies at
    // their depth): a vertex within 10 pixels, no farther from the surface point than
    // the one aimed at.
    status->m_pickMask = kQvTypeVertex;
    int aimed = 0;
    for (QvTooth* tooth : {right, left})
        for (std::size_t i = 0; i < tooth->m_vertices.size(); i += 211)
        {
            const QvPoint& v = tooth->m_vertices[i].m_point;
            const QvPoint w = render->ProjectToWindow(view, v);
            const QvGDIPoint cursor = render->Project(view, v);
            if (cursor.x < 0 || cursor.y < 0 || cursor.x >= 400 || cursor.y >= 400)
                continue;
            const QvPoint surface = render->GetPointUnderCursor(cursor);
            if (std::fabs(render->ProjectToWindow(view, surface)[2] - w[2]) > 1e-3)
                continue; // behind the surface, or on a silhouette
            auto* picked = dynamic_cast<QvVertex*>(selector->Pick(cursor));
            ASSERT_NE(picked, nullptr) << "vertex " << i;
            const QvGDIPoint at = render->Project(view, picked->m_point);
            EXPECT_LE(std::abs(at.x - cursor.x) + std::abs(at.y - cursor.y), 10);
            EXPECT_LE(picked->m_point.Distance(surface), v.Distance(surface) + 1e-9);
            ++aimed;
        }
    EXPECT_GT(aimed, 20);
}
} // namespace
