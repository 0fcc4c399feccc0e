// SPDX-License-Identifier: GPL-3.0-or-later
// The demo case at its key step, picked under the teeth mask in the one-view and the
// bracket layouts: at every drawn tooth's projected crown centre the pick answers the
// tooth that rays through the 8 x 8 pick box meet first, over empty background it
// answers nothing, and it leaves the projection as it found it.
#include <gtest/gtest.h>

#include <map>

#include "core/model/QvToothBase.h"
#include "core/render/aux/tests/AuxFixture.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "testing/SchemeStepView.h"

using namespace aux_test;

namespace
{
struct LayoutCase
{
    const char* name;
    void (*apply)(QvViewManager*);
};

class DemoPickTest : public AuxFixture, public ::testing::WithParamInterface<LayoutCase>
{
};

// The placements the drawers draw an entity with in a view (identity when it has none).
std::vector<QvMatrix> Placements(QvView* view, QvEntity* entity)
{
    std::vector<QvMatrix> out;
    if (const QvViewDrawInfo::MatrixMap* placed = view->GetDrawInfo()->FindEntityMatrices(entity))
        for (const auto& [ghost, matrix] : *placed)
            if (!ghost)
                out.push_back(matrix);
    if (out.empty())
        out.push_back(Translation(0, 0, 0));
    return out;
}

TEST_P(DemoPickTest, TeethUnderTheCursorAreTheFirstOnesRaysMeet)
{
    qvtest::DemoCase demo;
    ASSERT_NO_FATAL_FAILURE(BuildSmallDemo(demo));
    QvModel& model = *demo.model;

    constexpr int W = 512, H = 512;
    StartAux(W, H);
    render->SetModel(&model);
    selector->SetModel(&model);
    GetParam().apply(views);
    ASSERT_EQ(qvtest::ShowSchemeStep(model, *demo.scheme, demo.keyStep), demo.keyStep);
    model.UpdateBBox();

    // Framed on the teeth; the views turned differently (from above, below, the front).
    std::vector<QvEntity*> pickable; // what the tooth mask draws for selection
    {
        std::vector<QvEntity*> all;
        model.GetAllEntities(all);
        for (QvEntity* e : all)
            if ((e->m_state & 0x1001u) == 1u && (e->GetType() & kQvTypeTooth) != 0 && dynamic_cast<QvMesh*>(e))
                pickable.push_back(e);
        QvPoint lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
        for (QvEntity* e : pickable)
            for (int i = 0; i < 3; ++i)
            {
                lo[i] = std::min(lo[i], e->m_bbox.m_minPoint[i]);
                hi[i] = std::max(hi[i], e->m_bbox.m_maxPoint[i]);
            }
        const double pi = 3.14159265358979;
        const double turns[4] = {0.0, pi, -1.2, pi + 1.2};
        for (QvView* view : views->GetViews())
        {
            QvTransform& t = view->GetTransform();
            t.m_translation = QvVector(-(lo[0] + hi[0]) / 2, -(lo[1] + hi[1]) / 2, -(lo[2] + hi[2]) / 2);
            // The small views of the bracket layout closer in, so that crowns are wider than the box.
            t.m_scale = (view->GetID() == 0 ? 1.6 : 3.2) / std::max(hi[0] - lo[0], hi[1] - lo[1]);
            t.m_rotation = QvMatrix(QvVector(1, 0, 0), turns[view->GetID() % 4]);
        }
    }
    status->m_pickMask = kQvTypeTooth;
    Frame();

    int checked = 0, skipped = 0, background = 0;
    std::map<QvEntity*, int> seen;
    for (QvView* view : views->GetViews())
    {
        views->SetActiveView(view);
        std::vector<PlacedTriangles> placed;
        for (QvEntity* e : pickable)
            for (const QvMatrix& m : Placements(view, e))
                placed.push_back(PlaceTriangles(e, *dynamic_cast<QvMesh*>(e), m));

        const auto inView = [&](const QvGDIPoint& p) {
            const int glY = H - p.y;
            return p.x - 4 >= view->GetOrigin().x && p.x + 4 < view->GetOrigin().x + view->GetWidth() &&
                   glY - 4 >= view->GetOrigin().y && glY + 4 < view->GetOrigin().y + view->GetHeight();
        };
        const auto oracle = [&](const QvGDIPoint& p, QvEntity*& out) {
            return NearestUnderPickBox(*render, view, p, placed, out);
        };

        for (const PlacedTriangles& tooth : placed)
        {
            const QvPoint centre((tooth.lo[0] + tooth.hi[0]) / 2, (tooth.lo[1] + tooth.hi[1]) / 2,
                                 (tooth.lo[2] + tooth.hi[2]) / 2);
            const QvGDIPoint p = render->Project(view, centre);
            QvEntity* expected = nullptr;
            if (!inView(p) || !oracle(p, expected))
            {
                ++skipped;
                continue;
            }
            glMatrixMode(GL_PROJECTION);
            double before[16], after[16];
            glGetDoublev(GL_PROJECTION_MATRIX, before);
            QvObject* picked = selector->Pick(p);
            glGetDoublev(GL_PROJECTION_MATRIX, after);
            EXPECT_EQ(picked, expected) << GetParam().name << " view " << view->GetID() << " at " << p.x << ","
                                        << p.y;
            EXPECT_TRUE(std::equal(before, before + 16, after));
            ++checked;
            if (expected != nullptr)
                ++seen[expected];
        }
        // Background: the view's corner, where no ray meets a tooth.
        const QvGDIPoint corner(view->GetOrigin().x + 6, H - (view->GetOrigin().y + 6));
        QvEntity* expected = nullptr;
        ASSERT_TRUE(oracle(corner, expected));
        ASSERT_EQ(expected, nullptr);
        EXPECT_EQ(selector->Pick(corner), nullptr);
        ++background;
    }
    // Most crowns were looked at (the rest lie off a small view or on a tooth's rim);
    // with views from above, below and the front nearly every tooth answered somewhere.
    EXPECT_GT(checked, 2 * skipped) << GetParam().name;
    if (views->GetViewCount() == 4)
    {
        EXPECT_GE(seen.size() * 10, pickable.size() * 9);
    }
    EXPECT_EQ(background, static_cast<int>(views->GetViewCount()));
}

const LayoutCase kLayouts[] = {
    {"one", [](QvViewManager*) {}},
    {"bracket", [](QvViewManager* m) { m->ToBracketView(); }},
};
INSTANTIATE_TEST_SUITE_P(Layouts, DemoPickTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return info.param.name; });
} // namespace
