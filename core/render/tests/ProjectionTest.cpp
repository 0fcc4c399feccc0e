// SPDX-License-Identifier: GPL-3.0-or-later
// Camera distance, per-view projections, conversions between window and world,
// picking rays and view orientation, against the closed form of an orthographic view:
// a view w x h with m = min(w, h) shows eye x in [-w/m, w/m] and eye y in [-h/m, h/m].
#include <gtest/gtest.h>

#include <cmath>

#include "core/render/tests/RenderFixture.h"

using namespace render_test;

namespace
{
QvVector Rotate(const QvMatrix& r, const QvVector& v)
{
    return QvVector(r[0][0] * v[0] + r[0][1] * v[1] + r[0][2] * v[2], r[1][0] * v[0] + r[1][1] * v[1] + r[1][2] * v[2],
                    r[2][0] * v[0] + r[2][1] * v[1] + r[2][2] * v[2]);
}

// Window x, GL y and depth of a world point in a view, from the view's navigation,
// the camera distance d and the far plane 2d + 1.
QvPoint Oracle(const QvView* v, double d, const QvPoint& p)
{
    const QvTransform& t = v->GetTransform();
    const QvVector shifted = QvVector(p[0], p[1], p[2]) + t.m_translation;
    const QvVector eye = Rotate(t.m_rotation, shifted * t.m_scale);
    const double w = v->GetWidth(), h = v->GetHeight(), m = std::min(w, h);
    const double zEye = eye[2] - d;
    const double n = 1.0, f = 2.0 * d + 1.0;
    const double zNdc = -2.0 / (f - n) * zEye - (f + n) / (f - n);
    return QvPoint(v->GetOrigin().x + w / 2 + eye[0] * m / 2, v->GetOrigin().y + h / 2 + eye[1] * m / 2,
                   (zNdc + 1.0) / 2.0);
}

class ProjectionTest : public RenderFixture
{
protected:
    // Different navigation in every view.
    void Navigate()
    {
        for (QvView* v : views->GetViews())
        {
            const int i = v->GetID();
            QvTransform& t = v->GetTransform();
            t.m_scale = 1.0 + 0.3 * i;
            t.m_translation = QvVector(0.1 * i, -0.05 * i, 0.2);
            t.m_rotation = QvMatrix(QvVector(i + 1.0, 1.0, 0.5), 0.2 * i + 0.1);
        }
    }
};

struct LayoutCase
{
    const char* name;
    void (*apply)(QvViewManager*);
};
const LayoutCase kLayouts[] = {
    {"one", [](QvViewManager*) {}},
    {"two", [](QvViewManager* m) { m->ToTwoCompView(); }},
    {"bracket", [](QvViewManager* m) { m->ToBracketView(); }},
    {"grid", [](QvViewManager* m) { m->ToFourView(); }},
};
} // namespace

TEST_F(ProjectionTest, CameraStandsBehindEveryScaledView)
{
    StartGL(32, 32);
    const double a = 25.0 / std::sqrt(3.0); // a box of diagonal 50
    model.m_bbox.Set(QvPoint(-a, -a, 10 - a), QvPoint(a, a, 10 + a));
    render->UpdateViewport(32, 32);
    EXPECT_NEAR(render->GetCamera()->m_eye[2], 62.0, 1e-9);
    ASSERT_TRUE(render->DrawScene());
    const double* p = views->GetView(0)->GetProjectionMatrix();
    EXPECT_NEAR(p[10], -2.0 / 124.0, 1e-12); // near 1, far 125
    EXPECT_NEAR(p[14], -126.0 / 124.0, 1e-12);

    // The farthest view decides: (|t + c| + g) x s + 2 with t = (0, 0, 5), s = 2.
    views->ToTwoCompView();
    views->GetView(1)->GetTransform().m_scale = 2.0;
    views->GetView(1)->GetTransform().m_translation = QvVector(0, 0, 5);
    render->UpdateCameraDistance();
    EXPECT_NEAR(render->GetCamera()->m_eye[2], (15.0 + 50.0) * 2.0 + 2.0, 1e-9);

    views->Clear();
    render->UpdateCameraDistance();
    EXPECT_DOUBLE_EQ(render->GetCamera()->m_eye[2], -10.0);
}

TEST_F(ProjectionTest, ShorterSideSpansTwoUnits)
{
    struct Case
    {
        int w, h;
        double right, top;
    };
    const Case cases[] = {{800, 600, 800.0 / 600.0, 1.0}, {300, 900, 1.0, 3.0}, {64, 64, 1.0, 1.0}};
    for (const Case& k : cases)
    {
        StartGL(k.w, k.h);
        ASSERT_TRUE(render->DrawScene());
        const double* p = views->GetView(0)->GetProjectionMatrix();
        EXPECT_NEAR(p[0], 1.0 / k.right, 1e-12) << k.w << "x" << k.h;
        EXPECT_NEAR(p[5], 1.0 / k.top, 1e-12) << k.w << "x" << k.h;
        EXPECT_DOUBLE_EQ(p[12], 0.0);
        EXPECT_DOUBLE_EQ(p[13], 0.0);
    }
}

// Every view converts through its own projection, whichever view was drawn last; in the
// bracket layout the last view drawn is a small one of another shape.
TEST_F(ProjectionTest, ProjectAndUnProjectRoundTripInEveryViewOfEveryLayout)
{
    const QvPoint worldPoints[] = {{0, 0, 0}, {0.3, -0.2, 0.1}, {-0.45, 0.35, -0.25}};
    for (const LayoutCase& layout : kLayouts)
        for (bool yUp : {false, true})
        {
            SCOPED_TRACE(std::string(layout.name) + (yUp ? " y up" : " y down"));
            StartGL(120, 90);
            AddBox(QvPoint(-0.5, -0.5, -0.5), QvPoint(0.5, 0.5, 0.5));
            QvRenderStatus::Instance()->m_bWindowYUp = yUp;
            layout.apply(views);
            Navigate();
            ASSERT_TRUE(render->DrawScene());
            const double d = render->GetCamera()->m_eye[2];
            for (QvView* v : views->GetViews())
            {
                SCOPED_TRACE("view " + std::to_string(v->GetID()));
                views->SetActiveView(v);
                for (const QvPoint& p : worldPoints)
                {
                    const QvPoint expected = Oracle(v, d, p);
                    const QvPoint w = render->ProjectToWindow(v, p);
                    for (int i = 0; i < 3; ++i)
                        EXPECT_NEAR(w[i], expected[i], 1e-6);
                    const QvPoint wActive = render->ProjectToWindow(p);
                    EXPECT_NEAR(wActive[0], expected[0], 1e-6);
                    const double y = yUp ? expected[1] : 90.0 - expected[1];
                    const QvGDIPoint px(static_cast<int>(std::trunc(expected[0] + 0.5)),
                                        static_cast<int>(std::trunc(y + 0.5)));
                    EXPECT_EQ(render->Project(v, p), px);
                    EXPECT_EQ(render->ProjectInActiveView(p), px);
                }
                // Pixels of the view back to the world and forth again.
                const int x0 = v->GetOrigin().x, gy0 = v->GetOrigin().y;
                for (int fx : {1, 2, 3})
                    for (int fy : {1, 3})
                        for (double depth : {0.25, 0.5, 0.75})
                        {
                            const int gx = x0 + v->GetWidth() * fx / 4;
                            const int gy = gy0 + v->GetHeight() * fy / 4;
                            const QvGDIPoint q(gx, yUp ? gy : 90 - gy);
                            const QvPoint world = render->UnProject(v, q, depth);
                            const QvPoint back = render->ProjectToWindow(v, world);
                            EXPECT_NEAR(back[0], gx, 1e-6);
                            EXPECT_NEAR(back[1], gy, 1e-6);
                            EXPECT_NEAR(back[2], depth, 1e-6);
                            EXPECT_EQ(render->Project(v, world), q);
                            const QvPoint active = render->UnProjectInActiveView(q, depth);
                            EXPECT_NEAR(active.Distance(world), 0.0, 1e-9);
                            // The pick ray runs through every depth of the pixel, away from the eye.
                            const QvLine ray = render->GetPickRay(q);
                            EXPECT_NEAR(ray.Distance(world), 0.0, 1e-6);
                            const QvVector towards = Rotate(v->GetTransform().m_rotation, ray.GetDirection());
                            EXPECT_NEAR(towards[2], -1.0, 1e-9);
                        }
            }
        }
}

TEST_F(ProjectionTest, ProjectRoundsAndFlipsY)
{
    StartGL(64, 64);
    render->UpdateViewport(64, 600); // a 600-pixel-high window
    QvView* v = views->GetView(0);
    v->SetRect(QvGDIPoint(0, 0), 64, 64);
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    v->SetModelViewMatrix(identity);
    v->SetProjectionMatrix(identity);
    // gluProject places it at (10.5, 20.4).
    const QvPoint p(10.5 / 32.0 - 1.0, 20.4 / 32.0 - 1.0, 0.0);
    const QvPoint w = render->ProjectToWindow(v, p);
    EXPECT_NEAR(w[0], 10.5, 1e-12);
    EXPECT_NEAR(w[1], 20.4, 1e-12);
    EXPECT_EQ(render->Project(v, p), QvGDIPoint(11, 580));
    const QvPoint flipped = render->ProjectToWindowFlipped(p, false);
    EXPECT_NEAR(flipped[1], 579.6, 1e-9);
    EXPECT_DOUBLE_EQ(flipped[2], 0.0);
    EXPECT_NEAR(render->ProjectToWindowFlipped(p, true)[2], 0.5, 1e-12);
    QvRenderStatus::Instance()->m_bWindowYUp = true;
    EXPECT_EQ(render->Project(v, p), QvGDIPoint(11, 20));
}

TEST_F(ProjectionTest, PointUnderCursorReadsTheDepthBuffer)
{
    StartGL(64, 64);
    AddBox(QvPoint(-0.5, -0.5, -0.25), QvPoint(0.5, 0.5, 0.25));
    for (bool yUp : {false, true})
    {
        QvRenderStatus::Instance()->m_bWindowYUp = yUp;
        ASSERT_TRUE(render->DrawScene());
        const double d = render->GetCamera()->m_eye[2];
        // Window (32, 32) is the centre either way; the front face is at z = 0.25.
        const QvPoint hit = render->GetPointUnderCursor(QvGDIPoint(32, 32));
        EXPECT_NEAR(hit[0], 0.0, 1e-9);
        EXPECT_NEAR(hit[1], 0.0, 1e-9);
        EXPECT_NEAR(hit[2], 0.25, 1e-5);
        // Off the box: the far plane, 2d + 1 in front of the eye.
        const QvPoint miss = render->GetPointUnderCursor(QvGDIPoint(2, yUp ? 2 : 62));
        EXPECT_NEAR(miss[2], d - (2.0 * d + 1.0), 1e-5);
        EXPECT_NEAR(miss[0], -30.0 / 32.0, 1e-9);
        EXPECT_NEAR(miss[1], -30.0 / 32.0, 1e-9);
        // Outside the window nothing is read: the far plane too.
        EXPECT_NEAR(render->GetPointUnderCursor(QvGDIPoint(-5, 500))[2], d - (2.0 * d + 1.0), 1e-5);
    }
}

TEST_F(ProjectionTest, UnProjectByViewTransformPredictsTheNextFrame)
{
    StartGL(80, 60);
    views->ToTwoCompView();
    Navigate();
    ASSERT_TRUE(render->DrawScene());
    QvView* v = views->GetView(1); // not the active view
    const QvPoint w(23.25, 17.5, 0.4);
    // Move and turn the view; the world point predicted for w must land on w next frame.
    QvTransform& t = v->GetTransform();
    t.m_translation += QvVector(0.05, -0.1, 0.02);
    t.m_rotation = QvMatrix(QvVector(0, 1, 0), 0.35) * t.m_rotation;
    const QvPoint predicted = render->UnProjectByViewTransform(v, w);
    ASSERT_TRUE(render->DrawScene());
    const QvPoint landed = render->ProjectToWindow(v, predicted);
    EXPECT_NEAR(landed[0], w[0], 1e-6);
    EXPECT_NEAR(landed[1], w[1], 1e-6);
}

TEST_F(ProjectionTest, SetViewOrientTurnsTheGivenViewAndKeepsThePointInPlace)
{
    for (bool linked : {false, true})
    {
        SCOPED_TRACE(linked ? "linked" : "independent");
        StartGL(80, 60);
        views->ToTwoCompView();
        Navigate();
        views->m_linkFlags = linked ? kQvLinkRotate : 0;
        QvView* v = views->GetView(1); // the active view is 0
        QvView* other = views->GetView(0);
        const QvMatrix otherBefore = other->GetTransform().m_rotation;
        const QvMatrix vBefore = v->GetTransform().m_rotation;
        ASSERT_TRUE(render->DrawScene());
        const QvPoint p(0.3, -0.2, 0.1);
        const QvPoint before = render->ProjectToWindow(v, p);

        QvVector x(1, 1, 0), y(-1, 1, 0);
        views->SetViewOrient(v, p, x, y);
        ASSERT_TRUE(render->DrawScene());
        const QvPoint after = render->ProjectToWindow(v, p);
        EXPECT_NEAR(after[0], before[0], 1e-6);
        EXPECT_NEAR(after[1], before[1], 1e-6);

        x.Normalize();
        y.Normalize();
        const QvMatrix& r = v->GetTransform().m_rotation;
        const QvVector rx = Rotate(r, x), ry = Rotate(r, y);
        EXPECT_NEAR(rx[0], 1.0, 1e-9);
        EXPECT_NEAR(ry[1], 1.0, 1e-9);

        // The other view turns by the same rotation only when rotations are linked.
        QvMatrix turn = vBefore;
        ASSERT_TRUE(turn.Invert());
        turn = r * turn;
        const QvMatrix expectedOther = linked ? turn * otherBefore : otherBefore;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                EXPECT_NEAR(other->GetTransform().m_rotation[i][j], expectedOther[i][j], 1e-9);
    }
}

TEST_F(ProjectionTest, UnProjectThroughTheViewHoldingTheCurrentModelView)
{
    StartGL(80, 60);
    views->ToTwoCompView();
    Navigate();
    ASSERT_TRUE(render->DrawScene());
    for (QvView* v : views->GetViews())
    {
        // Leave GL with this view's model-view, as the aux render does while it draws it.
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixd(v->GetModelViewMatrix());
        const QvGDIPoint q(v->GetOrigin().x + 10, 25);
        QvRenderStatus::Instance()->m_bWindowYUp = false; // this conversion always flips
        const QvPoint expected = render->UnProject(v, q, 0.3);
        QvRenderStatus::Instance()->m_bWindowYUp = true;
        EXPECT_NEAR(render->UnProjectByCurrentModelView(q, 0.3).Distance(expected), 0.0, 1e-9) << v->GetID();
    }
    glLoadIdentity();
    EXPECT_EQ(render->UnProjectByCurrentModelView(QvGDIPoint(5, 5), 0.3), QvPoint());
}
