// SPDX-License-Identifier: GPL-3.0-or-later
// Hit tests of lines, arrows, points and polylines in window pixels, the render's
// hit and draw order, the texture list, registration and removal, and which views an
// object is drawn in.
#include <gtest/gtest.h>

#include <functional>

#include "core/model/QvImage.h"
#include "core/render/QvMaterial.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/tests/AuxFixture.h"

using namespace aux_test;
using rivela::testing::RgbaImage;

namespace
{
class AuxHitTest : public AuxFixture
{
protected:
    void Start(int w = 400, int h = 400)
    {
        StartAux(w, h);
        Frame(); // the views' matrices
    }
    // The world point under a window point, halfway in depth.
    QvPoint At(int x, int y) const { return render->UnProjectInActiveView(QvGDIPoint(x, y), 0.5); }

    QvAuxPoint* MarkAt(int x, int y, const QvColor& clr, int priority)
    {
        auto* point = new QvAuxPoint;
        point->m_pos = At(x, y);
        point->m_style = 4;
        point->m_bFrontMost = true;
        point->m_clr = clr;
        point->m_hitPriority = priority;
        return point;
    }
};

bool Near(const std::uint8_t* p, int r, int g, int b, int tolerance)
{
    return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
}

TEST_F(AuxHitTest, LinesAndArrowsAreHitWithinTenPixelsManhattan)
{
    StartAux(400, 400);
    views->GetActiveView()->GetTransform().m_scale = 0.1; // one unit is 20 pixels
    Frame();
    struct Case
    {
        const char* what;
        QvGDIPoint from, to; // window points of the ends
        QvGDIPoint mouse;
        bool line, arrow;
    };
    const Case cases[] = {
        {"9 above the middle", {100, 200}, {300, 200}, {200, 191}, true, true},
        {"10 above the middle", {100, 200}, {300, 200}, {200, 190}, false, false},
        {"45 degrees, 5 + 5 off", {100, 100}, {300, 300}, {205, 195}, false, false},
        {"45 degrees, 4 + 4 off", {100, 100}, {300, 300}, {204, 196}, true, true},
        {"beyond the stop end", {100, 200}, {300, 200}, {305, 203}, true, false},
        {"beyond the start end", {100, 200}, {300, 200}, {96, 195}, true, false},
        {"beyond a short one, both ends near", {298, 200}, {300, 200}, {303, 201}, true, true},
        {"beyond a short one, far end 11 away", {292, 200}, {300, 200}, {303, 200}, true, false},
        {"zero length, 9 away", {200, 200}, {200, 200}, {205, 204}, true, true},
    };
    for (const Case& k : cases)
    {
        QvAuxLine line;
        line.SetPoints(At(k.from.x, k.from.y), At(k.to.x, k.to.y));
        EXPECT_EQ(line.HitTest(k.mouse.x, k.mouse.y), k.line) << "line: " << k.what;
        QvAuxArrow arrow;
        arrow.SetPoints(At(k.from.x, k.from.y), At(k.to.x, k.to.y));
        EXPECT_EQ(arrow.HitTest(k.mouse.x, k.mouse.y), k.arrow) << "arrow: " << k.what;
    }
    // Head only: the head's base lies 10 r (one unit) before the tip.
    QvAuxArrow arrow;
    arrow.SetPoints(At(100, 200), At(300, 200));
    arrow.m_bHitHeadOnly = true;
    EXPECT_FALSE(arrow.HitTest(150, 200)) << "on the shaft";
    EXPECT_TRUE(arrow.HitTest(290, 200)) << "on the head";
    arrow.SetVisible(false);
    EXPECT_FALSE(arrow.HitTest(290, 200)) << "hidden";
}

TEST_F(AuxHitTest, PointsAndPolylineVertices)
{
    Start();
    QvAuxPoint point;
    point.m_pos = At(200, 200);
    EXPECT_TRUE(point.HitTest(205, 196));
    EXPECT_FALSE(point.HitTest(205, 195));

    QvAuxPolyline strip;
    strip.SetPoints({At(100, 100), At(104, 100), At(200, 100), At(300, 100)});
    strip.m_marks = {0, 1, 3, 2};
    EXPECT_TRUE(strip.HitTest(101, 100));
    EXPECT_EQ(strip.m_hoverIndex, 1) << "marked vertices come first";
    EXPECT_TRUE(strip.IsExclusiveHit());
    EXPECT_FALSE(strip.HitTest(200, 100)) << "mark 3 is never hit";
    EXPECT_EQ(strip.m_hoverIndex, -1);
    strip.m_marks = {0, 0, 0, 2};
    EXPECT_TRUE(strip.HitTest(101, 100));
    EXPECT_EQ(strip.m_hoverIndex, 0);
    EXPECT_FALSE(strip.IsExclusiveHit()) << "an unmarked vertex lets the search go on";
    QvAuxPolyline empty;
    EXPECT_FALSE(empty.HitTest(0, 0));
}

// Lower priority, then lower address, is hit first and drawn on top; a texture is
// found only when nothing else is hit, the latest registered first.
TEST_F(AuxHitTest, PriorityThenRegistrationOrdersHitsAndDrawing)
{
    Start();
    QvAuxPoint* low = MarkAt(200, 200, QvColor(255, 0, 0), 1);
    QvAuxPoint* high = MarkAt(200, 200, QvColor(0, 0, 255), 2);
    aux->AddObject(high);
    aux->AddObject(low);
    aux->AddObject(low); // once only
    EXPECT_EQ(aux->GetObjects().size(), 2u);
    // Drawn before any hit test: the hovered object's highlight would cover both.
    rivela::testing::RgbaImage image = Frame();
    EXPECT_TRUE(Near(image.At(200, 200), 255, 0, 0, 0)) << "drawn on top";
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), low);
    EXPECT_EQ(aux->GetHoverObject(), low);
    image = Frame();
    EXPECT_TRUE(Near(image.At(200, 200), GetHoverColor().m_r, GetHoverColor().m_g, GetHoverColor().m_b, 0));

    // Equal priorities: the one registered first, wherever the heap put the two.
    QvAuxPoint* a = MarkAt(100, 100, QvColor(0, 255, 0), 2);
    QvAuxPoint* b = MarkAt(100, 100, QvColor(255, 255, 0), 2);
    aux->AddObject(std::less<QvAuxPoint*>()(a, b) ? b : a);
    aux->AddObject(std::less<QvAuxPoint*>()(a, b) ? a : b);
    QvAuxPoint* first = std::less<QvAuxPoint*>()(a, b) ? b : a;
    image = Frame();
    EXPECT_TRUE(Near(image.At(100, 100), first->m_clr.m_r, first->m_clr.m_g, first->m_clr.m_b, 0));
    EXPECT_EQ(aux->HitTest(QvGDIPoint(100, 100)), first);

    // Not shown or not hitable: passed over.
    low->m_bHitable = false;
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), high);
    high->SetVisible(false);
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), nullptr);
    low->m_bHitable = true;
    high->SetVisible(true);

    // Textures under the same spot and beside it.
    QvImage pixels(4, 4, 32);
    auto* older = new QvAuxTexture;
    auto* newer = new QvAuxTexture;
    for (QvAuxTexture* t : {older, newer})
    {
        t->SetMode(1);
        ASSERT_TRUE(t->SetImage(&pixels));
        t->SetScreenRect(QvPoint(150, 150, 0), QvPoint(260, 260, 0));
        aux->AddObject(t);
    }
    aux->AddObject(older); // a texture registered twice keeps one entry
    EXPECT_EQ(aux->GetTextures().size(), 2u);
    Frame(); // places the screen rectangles
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), low) << "the point before the textures";
    EXPECT_EQ(aux->HitTest(QvGDIPoint(240, 170)), newer);
    aux->RemoveObject(newer, true);
    EXPECT_EQ(aux->HitTest(QvGDIPoint(240, 170)), older);
    aux->RemoveObject(older, true); // no entry is left to dangle
    EXPECT_TRUE(aux->GetTextures().empty());
    EXPECT_EQ(aux->HitTest(QvGDIPoint(240, 170)), nullptr);

    // Removing the hovered object forgets it; removing an unregistered one deletes nothing.
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), low);
    aux->RemoveObject(low, true);
    EXPECT_EQ(aux->GetHoverObject(), nullptr);
    QvAuxPoint* stray = MarkAt(10, 10, QvColor(1, 2, 3), 2);
    aux->RemoveObject(stray, true);
    EXPECT_EQ(stray->m_clr.m_g, 2) << "still alive";
    delete stray;
    EXPECT_EQ(aux->HitTest(QvGDIPoint(200, 200)), high);
    aux->Clear();
    EXPECT_EQ(aux->GetHoverObject(), nullptr);
    EXPECT_TRUE(aux->GetObjects().empty());
}

// An object hidden through its owner in one view, one bound to a view, and a front-most
// point in the four views of the bracket layout, each at the pixel its view projects.
TEST_F(AuxHitTest, ViewsDrawTheirOwnObjectsWithTheirOwnProjections)
{
    Start(480, 360);
    views->ToBracketView();
    // The layout keeps every view's aspect; a view of its own shape (drawn last) shows
    // that none borrows another's projection.
    views->GetView(3)->SetRect(views->GetView(3)->GetOrigin(), views->GetView(3)->GetWidth(), 60);
    for (QvView* view : views->GetViews())
        view->GetTransform().m_rotation = QvMatrix(QvVector(1, 2, 0.5), 0.3 * view->GetID());
    Frame();
    auto* bound = new QvAuxPoint;
    auto* everywhere = new QvAuxPoint;
    auto* withOwner = new QvAuxTexture(true);
    ASSERT_NE(withOwner->GetOwner(), nullptr);
    everywhere->m_pos = QvPoint(0.2, -0.1, 0.3);
    bound->m_pos = QvPoint(-0.3, 0.2, 0.0);
    for (QvAuxPoint* p : {bound, everywhere})
    {
        p->m_style = 4;
        p->m_bFrontMost = true;
    }
    everywhere->m_clr = QvColor(255, 0, 255);
    bound->m_clr = QvColor(0, 255, 0);
    bound->m_pAssView = views->GetView(2);
    aux->AddObject(everywhere);
    aux->AddObject(bound);
    // The texture's owner hidden in view 1: a world quad drawn in the other views only.
    QvImage white(2, 2, 32);
    for (int x = 0; x < 2; ++x)
        for (int y = 0; y < 2; ++y)
            std::fill(white.GetPixel(x, y), white.GetPixel(x, y) + 4, 255);
    ASSERT_TRUE(withOwner->SetImage(&white));
    const QvPoint quad[4] = {QvPoint(-0.6, -0.6, -0.2), QvPoint(-0.6, -0.4, -0.2), QvPoint(-0.4, -0.4, -0.2),
                             QvPoint(-0.4, -0.6, -0.2)};
    withOwner->SetCorners(quad);
    aux->AddObject(withOwner);
    views->GetView(1)->GetDrawInfo()->HideEntity(withOwner->GetOwner());

    const rivela::testing::RgbaImage image = Frame();
    for (QvView* view : views->GetViews())
    {
        const QvGDIPoint p = render->Project(view, everywhere->m_pos);
        EXPECT_TRUE(Near(image.At(p.x, p.y), 255, 0, 255, 0)) << "view " << view->GetID() << " at " << p.x << "," << p.y;
        const QvGDIPoint q = render->Project(view, bound->m_pos);
        EXPECT_EQ(Near(image.At(q.x, q.y), 0, 255, 0, 0), view->GetID() == 2) << "view " << view->GetID();
        const QvGDIPoint t = render->Project(view, QvPoint(-0.5, -0.5, -0.2));
        EXPECT_EQ(Near(image.At(t.x, t.y), 255, 255, 255, 0), view->GetID() != 1) << "view " << view->GetID();
    }
}
// Objects a pane keeps to itself: drawn in the active view only, whatever their view
// binding says, without being registered.
TEST_F(AuxHitTest, UnregisteredObjectsDrawInTheActiveView)
{
    Start(400, 200);
    views->ToTwoCompView();
    const RgbaImage before = Frame();
    QvAuxPoint* mark = MarkAt(0, 0, QvColor(0, 255, 255), 2);
    mark->m_pos = QvPoint(0.1, 0.2, 0.0);
    mark->m_pAssView = views->GetView(1);
    views->SetActiveView(views->GetView(0));
    aux->DrawObjectInActiveView(mark);
    const RgbaImage image = gl->ReadColor();
    const QvGDIPoint in0 = render->Project(views->GetView(0), mark->m_pos);
    const QvGDIPoint in1 = render->Project(views->GetView(1), mark->m_pos);
    EXPECT_TRUE(Near(image.At(in0.x, in0.y), 0, 255, 255, 0));
    EXPECT_TRUE(Near(image.At(in1.x, in1.y), before.At(in1.x, in1.y)[0], before.At(in1.x, in1.y)[1],
                     before.At(in1.x, in1.y)[2], 0));
    EXPECT_TRUE(aux->GetObjects().empty());
    delete mark;
}
} // namespace
