// SPDX-License-Identifier: GPL-3.0-or-later
// Layouts, lookups, broadcasts and link flags of the view manager; no GL needed.
#include <gtest/gtest.h>

#include <vector>

#include "core/model/QvEntityAnonymous.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"

namespace
{
struct Rect
{
    int id, x, y, w, h;
    bool operator==(const Rect&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Rect& r)
{
    return os << "{id " << r.id << " at " << r.x << "," << r.y << " " << r.w << "x" << r.h << "}";
}

std::vector<Rect> Rects(const QvViewManager& m)
{
    std::vector<Rect> out;
    for (const QvView* v : m.GetViews())
        out.push_back({v->GetID(), v->GetOrigin().x, v->GetOrigin().y, v->GetWidth(), v->GetHeight()});
    return out;
}

class ViewManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QvRenderStatus::Instance()->ResetForTests();
        m = QvViewManager::Instance();
        m->ResetForTests();
    }
    void TearDown() override
    {
        m->ResetForTests();
        QvRenderStatus::Instance()->ResetForTests();
    }
    void Start(int w, int h)
    {
        m->SetSize(w, h);
        m->InitActiveView();
    }
    void Resize(int w, int h)
    {
        m->SetSize(w, h);
        if (m->GetViewCount() < 2)
            m->FitSingleView();
        else
            m->LayoutViews();
    }
    QvViewManager* m = nullptr;
};
} // namespace

TEST_F(ViewManagerTest, LayoutsByWindowSize)
{
    using R = std::vector<Rect>;
    Start(1001, 600);
    EXPECT_EQ(Rects(*m), (R{{0, 0, 0, 1001, 600}}));
    EXPECT_EQ(m->GetActiveViewId(), 0);

    m->ToTwoCompView();
    EXPECT_EQ(Rects(*m), (R{{0, 500, 0, 500, 600}, {1, 0, 0, 500, 600}}));
    m->ToTwoCompView(); // already two views
    EXPECT_EQ(m->GetViewCount(), 2u);
    Resize(801, 401);
    EXPECT_EQ(Rects(*m), (R{{0, 400, 0, 400, 401}, {1, 0, 0, 400, 401}}));

    m->ToOneCompView();
    EXPECT_EQ(Rects(*m), (R{{0, 0, 0, 801, 401}}));

    Resize(1000, 600);
    m->ToBracketView();
    EXPECT_EQ(Rects(*m), (R{{0, 0, 0, 750, 600}, {1, 750, 399, 250, 199}, {2, 750, 199, 250, 199}, {3, 750, 0, 250, 199}}));
    EXPECT_TRUE(QvRenderStatus::Instance()->GetRender()->IsBracketLayout());
    m->ToTwoCompView(); // four views: nothing
    EXPECT_EQ(m->GetViewCount(), 4u);
    Resize(1200, 900);
    EXPECT_EQ(Rects(*m), (R{{0, 0, 0, 900, 900}, {1, 900, 599, 300, 299}, {2, 900, 299, 300, 299}, {3, 900, 0, 300, 299}}));

    m->ToOneCompView();
    m->ToFourView();
    EXPECT_FALSE(QvRenderStatus::Instance()->GetRender()->IsBracketLayout());
    EXPECT_EQ(Rects(*m), (R{{0, 0, 450, 600, 450}, {1, 601, 450, 600, 450}, {2, 0, 0, 600, 450}, {3, 601, 0, 600, 450}}));
}

TEST_F(ViewManagerTest, LayoutsNeedTheMainView)
{
    m->SetSize(640, 480);
    m->ToTwoCompView();
    m->ToBracketView();
    m->ToOneCompView();
    m->FitSingleView();
    m->LayoutViews();
    EXPECT_EQ(m->GetViewCount(), 0u);
    EXPECT_EQ(m->GetActiveView(), nullptr);

    Start(640, 480);
    m->InitActiveView(); // a second call keeps the ids unique
    EXPECT_EQ(m->GetViewCount(), 1u);
    m->Clear();
    EXPECT_EQ(m->GetActiveViewId(), -1);
    EXPECT_EQ(m->GetActiveView(), nullptr);
}

TEST_F(ViewManagerTest, PointLookupIncludesEdgesAndFollowsListOrder)
{
    Start(1001, 600);
    m->ToTwoCompView();
    QvView* main = m->GetView(0);
    QvView* left = m->GetView(1);
    struct Case
    {
        QvGDIPoint p;
        QvView* expected;
    };
    const Case cases[] = {
        {{500, 300}, main}, // on both rectangles' edge: the first in the list
        {{499, 300}, left}, {{0, 0}, left}, {{1000, 600}, main}, {{1001, 601}, nullptr}, {{-1, 10}, nullptr},
    };
    for (const Case& k : cases)
        EXPECT_EQ(m->GetViewAtPoint(k.p), k.expected) << k.p.x << "," << k.p.y;
    m->SetActiveView(left);
    EXPECT_EQ(m->GetActiveView(), left);
}

TEST_F(ViewManagerTest, NewViewsCopyNavigationAndOneViewKeepsMainViewState)
{
    Start(800, 600);
    QvView* main = m->GetView(0);
    main->GetTransform().m_scale = 2.5;
    main->GetTransform().m_translation = QvVector(1, 2, 3);
    main->GetTransform().m_rotation = QvMatrix(QvVector(0, 0, 1), 0.5);
    QvEntityAnonymous e;
    main->GetDrawInfo()->HideEntity(&e);

    m->ToBracketView();
    for (int id = 1; id <= 3; ++id)
    {
        const QvTransform& t = m->GetView(id)->GetTransform();
        EXPECT_DOUBLE_EQ(t.m_scale, 2.5);
        EXPECT_EQ(t.m_translation, QvVector(1, 2, 3));
        EXPECT_DOUBLE_EQ(t.m_rotation[0][1], main->GetTransform().m_rotation[0][1]);
        EXPECT_FALSE(m->GetView(id)->GetDrawInfo()->IsEntityHidden(&e));
    }
    m->SetActiveView(m->GetView(2));
    m->ToOneCompView();
    EXPECT_EQ(m->GetView(0), main);
    EXPECT_EQ(m->GetActiveViewId(), 0);
    EXPECT_DOUBLE_EQ(main->GetTransform().m_scale, 2.5);
    EXPECT_TRUE(main->GetDrawInfo()->IsEntityHidden(&e));
}

TEST_F(ViewManagerTest, LinkFlagsSpreadNavigationOnce)
{
    struct Case
    {
        std::uint32_t flags;
        double otherScale;
        double otherShiftX;
        double otherRotated; // rotation[1][0] of the other view
    };
    const double s = std::sin(0.3);
    const Case cases[] = {
        {0, 1.0, 0.0, 0.0},
        {kQvLinkScale, 2.0, 0.0, 0.0},
        {kQvLinkTranslate, 1.0, 5.0, 0.0},
        {kQvLinkRotate, 1.0, 0.0, s},
        {kQvLinkScale | kQvLinkTranslate | kQvLinkRotate, 2.0, 5.0, s},
    };
    for (const Case& k : cases)
    {
        m->ResetForTests();
        Start(800, 600);
        m->ToTwoCompView();
        m->m_linkFlags = k.flags;
        QvView* given = m->GetView(0);
        QvView* other = m->GetView(1);
        m->ScaleView(given, 2.0);
        m->TranslateView(given, QvVector(5, 0, 0));
        m->RotateView(given, QvMatrix(QvVector(0, 0, 1), 0.3));
        EXPECT_DOUBLE_EQ(given->GetTransform().m_scale, 2.0) << k.flags;
        EXPECT_DOUBLE_EQ(given->GetTransform().m_translation[0], 5.0) << k.flags;
        EXPECT_NEAR(given->GetTransform().m_rotation[1][0], s, 1e-12) << k.flags;
        EXPECT_DOUBLE_EQ(other->GetTransform().m_scale, k.otherScale) << k.flags;
        EXPECT_DOUBLE_EQ(other->GetTransform().m_translation[0], k.otherShiftX) << k.flags;
        EXPECT_NEAR(other->GetTransform().m_rotation[1][0], k.otherRotated, 1e-12) << k.flags;
    }
}

TEST_F(ViewManagerTest, LinkedRotationKeepsRelativeOrientation)
{
    Start(800, 600);
    m->ToTwoCompView();
    m->m_linkFlags = kQvLinkRotate;
    QvView* a = m->GetView(0);
    QvView* b = m->GetView(1);
    b->GetTransform().m_rotation = QvMatrix(QvVector(1, 0, 0), 0.7);
    const QvMatrix r(QvVector(0, 1, 1), 0.4);
    // Oracle: relative orientation a^-1 b before and after.
    QvMatrix aInv = a->GetTransform().m_rotation;
    ASSERT_TRUE(aInv.Invert());
    const QvMatrix before = aInv * b->GetTransform().m_rotation;
    m->RotateView(a, r);
    QvMatrix aInv2 = a->GetTransform().m_rotation;
    ASSERT_TRUE(aInv2.Invert());
    const QvMatrix after = aInv2 * b->GetTransform().m_rotation;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(after[i][j], before[i][j], 1e-12);
}

TEST_F(ViewManagerTest, BroadcastsReachEveryView)
{
    Start(800, 600);
    m->ToBracketView();
    QvEntityAnonymous e;
    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 4.0;
    for (QvView* v : m->GetViews())
        v->GetDrawInfo()->HideEntity(&e);

    m->SetEntityMatrix(&e, shift, true);
    EXPECT_FALSE(m->ShowEntity(nullptr));
    for (QvView* v : m->GetViews())
        EXPECT_TRUE(v->GetDrawInfo()->IsEntityHidden(&e));
    EXPECT_TRUE(m->ShowEntity(&e));
    m->SetGums(reinterpret_cast<QvGum*>(&e), nullptr);
    for (QvView* v : m->GetViews())
    {
        EXPECT_FALSE(v->GetDrawInfo()->IsEntityHidden(&e));
        ASSERT_NE(v->GetDrawInfo()->FindEntityMatrix(&e, true), nullptr);
        EXPECT_EQ(v->GetDrawInfo()->GetGum(true), reinterpret_cast<QvGum*>(&e));
    }
    m->RemoveEntityMatrixInViews(&e, true, {m->GetView(1)});
    EXPECT_EQ(m->GetView(1)->GetDrawInfo()->FindEntityMatrix(&e, true), nullptr);
    EXPECT_NE(m->GetView(2)->GetDrawInfo()->FindEntityMatrix(&e, true), nullptr);
    EXPECT_TRUE(m->ClearEntityMatrices(&e));
    m->ResetDrawInfos();
    for (QvView* v : m->GetViews())
    {
        EXPECT_EQ(v->GetDrawInfo()->FindEntityMatrices(&e), nullptr);
        EXPECT_EQ(v->GetDrawInfo()->GetGum(true), nullptr);
    }
}

TEST_F(ViewManagerTest, FindViewByModelViewUsesTheZeroTolerance)
{
    Start(800, 600);
    m->ToTwoCompView();
    double a[16] = {}, b[16] = {};
    a[0] = 1.0;
    b[0] = 2.0;
    m->GetView(0)->SetModelViewMatrix(a);
    m->GetView(1)->SetModelViewMatrix(b);
    b[0] += 5e-8;
    EXPECT_EQ(m->FindViewByModelView(b), m->GetView(1));
    b[0] += 1e-6;
    EXPECT_EQ(m->FindViewByModelView(b), nullptr);
}

TEST(RenderStatus, Defaults)
{
    QvRenderStatus* s = QvRenderStatus::Instance();
    s->m_renderMode = 3;
    s->m_pickMask = 8;
    s->m_bWindowYUp = true;
    s->m_backingScale = 2.0;
    s->ResetForTests();
    EXPECT_NE(s->GetRender(), nullptr);
    EXPECT_EQ(s->m_renderMode, 1);
    EXPECT_EQ(s->m_pickMask, 0x300005c5u);
    EXPECT_EQ(s->m_lastMousePoint, QvGDIPoint(0, 0));
    EXPECT_EQ(s->m_pickedStencilKind, 0);
    EXPECT_TRUE(s->m_rubberBand.IsEmpty());
    EXPECT_FALSE(s->m_bSmoothNormals);
    EXPECT_FALSE(s->m_bAltToothMaterial);
    EXPECT_TRUE(s->m_bBackgroundImage);
    EXPECT_TRUE(s->m_bTwoSideLighting);
    EXPECT_FALSE(s->m_bWindowYUp);
    EXPECT_DOUBLE_EQ(s->m_backingScale, 1.0);
    EXPECT_FALSE(s->m_bAttachHiddenPass);
    EXPECT_TRUE(s->m_bPowerSecondMesh);

    const QvOpenGLRender* r = s->GetRender();
    EXPECT_EQ(r->GetWidth(), 100);
    EXPECT_EQ(r->GetHeight(), 100);
    EXPECT_EQ(r->GetBackgroundTexture(), 0u);
    EXPECT_EQ(r->GetModel(), nullptr);
    EXPECT_FALSE(r->IsBracketLayout());
    EXPECT_TRUE(r->GetCamera()->IsOrthographic());
    QvPoint eye, target;
    QvVector up;
    r->GetCamera()->GetLookAt(eye, target, up);
    EXPECT_EQ(up, QvVector(0, 1, 0));
    EXPECT_EQ(r->m_spareViews.GetActiveViewId(), -1);
}

TEST(RenderStatus, StencilKindsAgainstThePickMask)
{
    struct Case
    {
        int kind;
        std::uint32_t mask;
        bool pickable;
    };
    const Case cases[] = {
        {2, 0x80, true},        {2, 0x20000001, false}, {7, 0x20000001, true}, {1, 0x300005c5, true},
        {5, 0x800, true},       {5, 0x80, false},       {12, 0x80, true},      {9, 0x2, true},
        {0, 0xffffffff, false}, {13, 0xffffffff, false}, {-1, 0xffffffff, false},
    };
    for (const Case& k : cases)
        EXPECT_EQ(QvOpenGLRender::IsKindPickable(k.kind, k.mask), k.pickable) << k.kind << " " << std::hex << k.mask;
}

TEST(RenderStatus, TrackballMapping)
{
    QvRenderStatus* s = QvRenderStatus::Instance();
    s->ResetForTests();
    QvOpenGLRender* r = s->GetRender();
    r->m_width = 101;
    r->m_height = 201;
    struct Case
    {
        bool yUp;
        QvGDIPoint p;
        QvPoint expected;
    };
    const double corner = 1.0 / (2.0 * std::sqrt(2.0));
    const Case cases[] = {
        {false, {50, 100}, {0, 0, 1}},
        {false, {0, 0}, {-1, 1, corner}},
        {true, {0, 0}, {-1, -1, corner}},
        {true, {100, 200}, {1, 1, corner}},
        // r2 = 0.25: on the sphere
        {true, {75, 100}, {0.5, 0, std::sqrt(0.75)}},
    };
    for (const Case& k : cases)
    {
        s->m_bWindowYUp = k.yUp;
        const QvPoint t = r->MapToTrackball(k.p);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(t[i], k.expected[i], 1e-12) << k.p.x << "," << k.p.y << " up " << k.yUp;
    }
    r->m_width = 1;
    r->m_height = 1;
    const QvPoint t = r->MapToTrackball(QvGDIPoint(0, 0));
    EXPECT_TRUE(std::isfinite(t[0]) && std::isfinite(t[1]) && std::isfinite(t[2]));
    s->ResetForTests();
}
