// SPDX-License-Identifier: GPL-3.0-or-later
// The move and rotate gizmo: placement by mode and scale, picking order, drags along
// an arrow and around a ring (damped and not), the read-out, and the handles a drag
// leaves shown. The view looks down -z with one unit 20 pixels wide.
#include <gtest/gtest.h>

#include <cmath>

#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxTransform.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/render/aux/tests/AuxFixture.h"

using namespace aux_test;

namespace
{

class GizmoTest : public AuxFixture
{
protected:
    void SetUp() override
    {
        AuxFixture::SetUp();
        StartAux(400, 400);
        views->GetActiveView()->GetTransform().m_scale = 0.1;
        Frame(); // the view's matrices
        QvCacheStuff::Instance().m_fontPath = RIVELA_FONT_PATH;
    }
    void TearDown() override
    {
        QvCacheStuff::Instance().m_fontPath.clear();
        AuxFixture::TearDown();
    }

    QvGDIPoint At(double x, double y) const { return render->ProjectInActiveView(QvPoint(x, y, 0.0)); }

    static QvFrame World() { return QvFrame(QvPoint(0, 0, 0), QvVector(1, 0, 0), QvVector(0, 1, 0)); }

    static void Place(QvAuxTransform& gizmo)
    {
        gizmo.m_handleScale = 8.0;
        gizmo.SetFrame(World());
    }
};

TEST_F(GizmoTest, ModesPlaceEightUnitArrowsAndRingsOfRadiusFourPointEight)
{
    struct Case
    {
        int mode;
        bool shown[9];
        double arc;
    };
    const Case cases[] = {
        {0, {true, false, true, false, true, false, true, true, true}, 1.570796326795},
        {1, {true, true, true, true, true, true, true, true, true}, 6.28318530718},
        {2, {true, false, true, false, false, false, false, false, true}, 1.570796326795},
    };
    for (const Case& c : cases)
    {
        QvAuxTransform gizmo(c.mode, true);
        Place(gizmo);
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(gizmo.m_pHandles[i]->IsShown(), c.shown[i]) << "mode " << c.mode << " handle " << i;
        for (int i = 0; i < 6; ++i)
        {
            EXPECT_NEAR(gizmo.GetArrow(i)->GetLength(), 8.0, 1e-12);
            QvVector axis(0, 0, 0);
            axis[i / 2] = i % 2 == 0 ? 1.0 : -1.0;
            EXPECT_NEAR(gizmo.GetArrow(i)->GetDirection().Dot(axis), 1.0, 1e-12) << i;
        }
        for (int k = 0; k < 3; ++k)
        {
            EXPECT_NEAR(gizmo.GetRing(k)->m_radius, 4.8, 1e-12);
            EXPECT_DOUBLE_EQ(gizmo.GetRing(k)->m_angle, c.arc);
            // Each ring's normal is its axis; its arc starts at the next positive arrow.
            QvVector axis(0, 0, 0);
            axis[k] = 1.0;
            EXPECT_NEAR(std::fabs(gizmo.GetRing(k)->GetNormal().Dot(axis)), 1.0, 1e-12);
        }
        EXPECT_NEAR(gizmo.GetRing(2)->m_dirU[0], 1.0, 1e-12);
        EXPECT_NEAR(gizmo.GetRing(2)->m_dirV[1], 1.0, 1e-12);
        EXPECT_EQ(Rgb(gizmo.GetRing(0)->m_clr), Rgb(QvColor(255, 0, 0)));
        EXPECT_EQ(Rgb(gizmo.GetArrow(3)->m_clr), Rgb(QvColor(0, 255, 0)));
        EXPECT_EQ(Rgb(gizmo.GetRing(2)->m_highlightClr), Rgb(QvColor(255, 255, 0)));
    }
}

TEST_F(GizmoTest, ArrowDragsShiftAlongTheAxisAFifthWhenDamped)
{
    QvAuxTransform gizmo(1, true);
    Place(gizmo);
    ASSERT_TRUE(gizmo.PickHandle(At(6, 0).x, At(6, 0).y));
    EXPECT_EQ(gizmo.m_dragHandle, 0);
    QvMatrix m = gizmo.GetDragMatrix(At(6, 0), At(9, 0), false);
    EXPECT_NEAR(m[0][3], 3.0, 1e-9);
    EXPECT_NEAR(m[1][3], 0.0, 1e-9);
    EXPECT_NEAR(gizmo.m_curFrame.m_centre[0], 3.0, 1e-9);
    EXPECT_EQ(gizmo.m_readout.mtexts[0], "3.00mm");
    m = gizmo.GetDragMatrix(At(9, 0), At(14, 0), true);
    EXPECT_NEAR(m[0][3], 1.0, 1e-9);
    EXPECT_EQ(gizmo.m_readout.mtexts[0], "4.00mm");

    // Signed along the grabbed arrow: the -X arrow pulled towards -X reads positive.
    Place(gizmo);
    ASSERT_TRUE(gizmo.PickHandle(At(-6, 0).x, At(-6, 0).y));
    EXPECT_EQ(gizmo.m_dragHandle, 1);
    gizmo.GetDragMatrix(At(-6, 0), At(-8, 0), false);
    EXPECT_EQ(gizmo.m_readout.mtexts[0], "2.00mm");

    // A drift of -0.004 does not read "-0.00".
    Place(gizmo);
    ASSERT_TRUE(gizmo.PickHandle(At(6, 0).x, At(6, 0).y));
    gizmo.m_startFrame.m_centre = QvPoint(0.004, 0, 0);
    gizmo.GetDragMatrix(At(6, 0), At(6, 0), false);
    EXPECT_EQ(gizmo.m_readout.mtexts[0], "0.00mm");
}

TEST_F(GizmoTest, QuarterSweepOfTheZRingTurnsNinetyDegreesOrThirtySixDamped)
{
    for (const bool damped : {false, true})
    {
        QvAuxTransform gizmo(1, true);
        Place(gizmo);
        const double r = 4.8 / std::sqrt(2.0);
        ASSERT_TRUE(gizmo.PickHandle(At(r, r).x, At(r, r).y));
        EXPECT_EQ(gizmo.m_dragHandle, 8);
        const QvMatrix m = gizmo.GetDragMatrix(At(4.8, 0), At(0, 4.8), damped);
        const double angle = (damped ? 36.0 : 90.0) * 3.14159265358979 / 180.0;
        const QvPoint p = m * QvPoint(1, 0, 0);
        EXPECT_NEAR(p[0], std::cos(angle), 0.02) << damped;
        EXPECT_NEAR(p[1], std::sin(angle), 0.02) << damped;
        EXPECT_NEAR(p[2], 0.0, 1e-9);
        EXPECT_NEAR(gizmo.m_curFrame.m_dirX[1], std::sin(angle), 0.02);
        EXPECT_EQ(gizmo.m_readout.mtexts[0].substr(0, 2), damped ? "36" : "90") << gizmo.m_readout.mtexts[0];
    }
}

TEST_F(GizmoTest, PickLineAlongTheRingPlaneTurnsNothing)
{
    QvAuxTransform gizmo(1, true);
    Place(gizmo);
    ASSERT_TRUE(gizmo.PickHandle(At(6, 0).x, At(6, 0).y));
    // The X ring stands edge-on to this view: no pick line meets its plane.
    gizmo.m_dragHandle = 6;
    const QvMatrix m = gizmo.GetDragMatrix(At(1, 3), At(-2, 1), false);
    EXPECT_TRUE(m.IsIdentity());
    EXPECT_NEAR(gizmo.m_curFrame.m_dirY[1], 1.0, 1e-12);
    EXPECT_FALSE(gizmo.GetRing(0)->HitTest(At(0, 4.8).x, At(0, 4.8).y));
}

TEST_F(GizmoTest, ArrowsWinOverRingsAndADragShowsOnlyItsHandles)
{
    QvAuxTransform gizmo(1, true);
    Place(gizmo);
    // (0, 4.8) lies on the +Y arrow and on the Z ring.
    ASSERT_TRUE(gizmo.HitTest(At(0, 4.8).x, At(0, 4.8).y));
    EXPECT_EQ(gizmo.m_hoverHandle, 2);
    EXPECT_TRUE(gizmo.GetRing(2)->HitTest(At(0, 4.8).x, At(0, 4.8).y));

    ASSERT_TRUE(gizmo.PickHandle(At(0, -6).x, At(0, -6).y));
    EXPECT_EQ(gizmo.m_dragHandle, 3);
    gizmo.Draw(views->GetActiveView());
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(gizmo.m_pHandles[i]->IsShown(), i == 2 || i == 3) << i;
    // Release: a miss still snapshots the frame and empties the read-out.
    gizmo.GetDragMatrix(At(0, -6), At(0, -7), false);
    EXPECT_FALSE(gizmo.m_readout.mtexts[0].empty());
    EXPECT_FALSE(gizmo.PickHandle(-1, -1));
    EXPECT_EQ(gizmo.m_dragHandle, -1);
    EXPECT_EQ(gizmo.m_readout.mTexture0, nullptr);
    EXPECT_TRUE(gizmo.m_startFrame == gizmo.m_curFrame);
    gizmo.Draw(views->GetActiveView());
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(gizmo.m_pHandles[i]->IsShown()) << i;
    EXPECT_TRUE(gizmo.GetDragMatrix(At(0, 0), At(3, 3), false).IsIdentity());

    gizmo.SetVisible(false);
    EXPECT_FALSE(gizmo.PickHandle(At(6, 0).x, At(6, 0).y));
    EXPECT_FALSE(gizmo.HitTest(At(6, 0).x, At(6, 0).y));
}

} // namespace
