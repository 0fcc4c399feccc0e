// SPDX-License-Identifier: GPL-3.0-or-later
// What the auxiliary objects put on the screen: depth passes, stipple, plane fill,
// the grid at backing scale 2, billboard outlines, texture uploads and the placement of
// screen rectangles.
#include <gtest/gtest.h>

#include <cmath>

#include "core/model/QvImage.h"
#include "core/render/aux/QvAuxFace.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/tests/AuxFixture.h"

using namespace aux_test;
using rivela::testing::RgbaImage;

namespace
{
class AuxPixelTest : public AuxFixture
{
protected:
    QvPoint At(int x, int y, double depth = 0.5) const
    {
        return render->UnProjectInActiveView(QvGDIPoint(x, y), depth);
    }
};

int Channel(const RgbaImage& image, int x, int y, int c) { return image.At(x, y)[c]; }

bool Is(const std::uint8_t* p, int r, int g, int b, int tolerance = 0)
{
    return std::abs(p[0] - r) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - b) <= tolerance;
}

// A line across a box: in front of the box in full colour; behind it nothing, or with
// the hidden pass 0.3 x colour added to the square of what is there; front-most full
// colour everywhere; selected red.
TEST_F(AuxPixelTest, DepthPassesOfALine)
{
    StartAux(200, 200);
    AddBox(QvPoint(-0.3, -0.3, -0.1), QvPoint(0.3, 0.3, 0.1));
    const RgbaImage before = Frame();
    auto* line = new QvAuxLine;
    line->m_bSmooth = false;
    line->m_lineWidth = 3.0;
    line->m_clr = QvColor(200, 100, 250);
    line->SetPoints(QvPoint(-0.8, 0, -0.5), QvPoint(0.8, 0, -0.5)); // behind the box
    aux->AddObject(line);
    const QvGDIPoint behind = render->ProjectInActiveView(QvPoint(0, 0, -0.5));
    const QvGDIPoint open = render->ProjectInActiveView(QvPoint(0.6, 0, -0.5));

    RgbaImage image = Frame();
    EXPECT_TRUE(Is(image.At(open.x, open.y), 200, 100, 250));
    EXPECT_TRUE(Is(image.At(behind.x, behind.y), before.At(behind.x, behind.y)[0], before.At(behind.x, behind.y)[1],
                   before.At(behind.x, behind.y)[2]));

    line->m_bDrawHidden = true;
    image = Frame();
    const int expected[3] = {60, 30, 75}; // 0.3 x colour, truncated
    for (int c = 0; c < 3; ++c)
    {
        const double dst = before.At(behind.x, behind.y)[c] / 255.0;
        EXPECT_NEAR(Channel(image, behind.x, behind.y, c), std::min(255.0, expected[c] + 255.0 * dst * dst), 2.0)
            << "channel " << c;
    }
    EXPECT_TRUE(Is(image.At(open.x, open.y), 200, 100, 250));

    line->m_bFrontMost = true;
    image = Frame();
    EXPECT_TRUE(Is(image.At(behind.x, behind.y), 200, 100, 250));
    line->SetSelected(true);
    image = Frame();
    EXPECT_TRUE(Is(image.At(behind.x, behind.y), 255, 0, 0));
}

// Factor 2 over 0x00FF: 16 pixels lit, 16 dark, along a horizontal line.
TEST_F(AuxPixelTest, StippledLineRunsSixteenOnSixteenOff)
{
    StartAux(300, 100);
    Frame();
    auto* line = new QvAuxLine;
    line->m_type = 0;
    line->m_bSmooth = false;
    line->m_bFrontMost = true;
    line->m_clr = QvColor(255, 255, 255);
    line->SetPoints(At(10, 50), At(290, 50));
    aux->AddObject(line);
    const RgbaImage image = Frame();
    // The row the line lit, and its runs between the ends.
    int row = -1;
    for (int y = 45; y <= 55 && row < 0; ++y)
        if (Is(image.At(20, y), 255, 255, 255))
            row = y;
    ASSERT_GE(row, 0);
    std::vector<int> lit, dark;
    bool on = true;
    int run = 0;
    for (int x = 10; x < 290; ++x)
    {
        const bool now = Is(image.At(x, row), 255, 255, 255);
        if (now != on)
        {
            (on ? lit : dark).push_back(run);
            on = now;
            run = 0;
        }
        ++run;
    }
    ASSERT_GE(lit.size(), 6u);
    ASSERT_GE(dark.size(), 6u);
    // Whole runs only (the first and last may be cut by the ends).
    for (std::size_t i = 1; i + 1 < lit.size(); ++i)
        EXPECT_NEAR(lit[i], 16, 1) << "lit run " << i;
    for (std::size_t i = 0; i + 1 < dark.size(); ++i)
        EXPECT_NEAR(dark[i], 16, 1) << "dark run " << i;
}

TEST_F(AuxPixelTest, PlaneFillIsTheSixtyBlendWithAGreenOutline)
{
    StartAux(200, 200);
    const RgbaImage before = Frame();
    auto* plane = new QvAuxPlane;
    plane->m_clr = QvColor(250, 40, 120);
    plane->SetPlane(At(40, 160), At(160, 160) - At(40, 160), At(40, 40) - At(40, 160));
    EXPECT_EQ(plane->m_alpha, 60);
    aux->AddObject(plane);
    const RgbaImage image = Frame();
    const int clr[3] = {250, 40, 120};
    for (const QvGDIPoint p : {QvGDIPoint(100, 100), QvGDIPoint(60, 70), QvGDIPoint(140, 130)})
        for (int c = 0; c < 3; ++c)
        {
            const double a = 60.0 / 255.0;
            EXPECT_NEAR(Channel(image, p.x, p.y, c), clr[c] * a + before.At(p.x, p.y)[c] * (1 - a), 2.0);
        }
    // The outline: green along the left edge, halfway up.
    bool green = false;
    for (int x = 38; x <= 42; ++x)
        green = green || (image.At(x, 100)[1] > 200 && image.At(x, 100)[0] < 120);
    EXPECT_TRUE(green);
    // Outside the quad nothing changed.
    EXPECT_TRUE(Is(image.At(20, 100), before.At(20, 100)[0], before.At(20, 100)[1], before.At(20, 100)[2]));

    // In window pixels: the same picture at its rectangle; hit on an edge and inside.
    auto* flat = new QvAuxPlane2D;
    flat->m_clr = QvColor(0, 0, 255);
    flat->SetRect(QvGDIPoint(20, 190), QvGDIPoint(60, 170));
    aux->AddObject(flat);
    const RgbaImage again = Frame();
    EXPECT_GT(again.At(40, 180)[2], before.At(40, 180)[2]);
    EXPECT_TRUE(flat->HitTest(40, 180));
    EXPECT_EQ(flat->m_hitPart, 1);
    EXPECT_TRUE(flat->HitTest(40, 192));
    EXPECT_EQ(flat->m_hitPart, 2);
    EXPECT_FALSE(flat->HitTest(100, 100));
    EXPECT_EQ(flat->m_hitPart, 0);
}

// A 1000-pixel-wide view at backing scale 2: the margin is 150 pixels; with one unit
// 10 pixels the vertical lines stand every 10 pixels from x = 150, every fifth major.
TEST_F(AuxPixelTest, GridStartsAtTheScaledMarginAndHighlightsEveryFifthLine)
{
    StartAux(1000, 500);
    status->m_backingScale = 2.0;
    views->GetActiveView()->GetTransform().m_scale = 10.0 / 250.0;
    Frame();
    aux->AddObject(new QvAuxGrid);
    const RgbaImage image = Frame();
    const int row = 255; // between two horizontal lines
    const auto colourAt = [&](int x) -> int {
        // 1 major, 2 minor, 0 neither, looked for in the column or its left neighbour.
        for (int dx : {0, -1})
        {
            const std::uint8_t* p = image.At(x + dx, row);
            if (Is(p, 214, 185, 48))
                return 1;
            if (Is(p, 159, 175, 191))
                return 2;
        }
        return 0;
    };
    for (int i = 0; i <= 12; ++i)
        EXPECT_EQ(colourAt(150 + 10 * i), i % 5 == 0 ? 1 : 2) << "line " << i;
    for (int x = 100; x < 148; ++x)
        EXPECT_EQ(colourAt(x), 0) << "inside the margin at " << x;
    EXPECT_EQ(colourAt(155), 0) << "between lines";
}

// A 100 x 50 image gives aspect 2 and a 100 x 50 texture; a 3 x 3 RGB image uploads
// its nine texels exactly and the unpack alignment comes back; an 8-bit image goes up
// as RGBA of its pixels' colours.
TEST_F(AuxPixelTest, TextureUploads)
{
    StartAux(64, 64);
    QvAuxTexture wide;
    QvImage image(100, 50, 32);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    ASSERT_TRUE(wide.SetImage(&image));
    EXPECT_DOUBLE_EQ(wide.m_aspect, 2.0);
    EXPECT_DOUBLE_EQ(wide.m_imageHeight, 50.0);
    GLint w = 0, h = 0, alignment = 0;
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(wide.m_textureId));
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(alignment, 8);

    // A second image replaces the texture and the shown part.
    wide.m_texScale = 0.5;
    wide.m_texOffsetS = 0.2;
    const std::int32_t first = wide.m_textureId;
    QvImage rgb(3, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
        {
            unsigned char* p = rgb.GetPixel(x, y);
            p[0] = static_cast<unsigned char>(10 * x + 1);
            p[1] = static_cast<unsigned char>(20 * y + 2);
            p[2] = static_cast<unsigned char>(30 + x + 3 * y);
        }
    ASSERT_TRUE(wide.SetImage(&rgb));
    EXPECT_EQ(glIsTexture(static_cast<GLuint>(first)), GL_FALSE);
    EXPECT_DOUBLE_EQ(wide.m_texScale, 1.0);
    EXPECT_DOUBLE_EQ(wide.m_texOffsetS, 0.0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(wide.m_textureId));
    unsigned char texels[27] = {};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(texels[(3 * y + x) * 3 + c], rgb.GetPixel(x, y)[c]) << x << "," << y << " channel " << c;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);

    QvImage grey(5, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            std::fill(grey.GetPixel(x, y), grey.GetPixel(x, y) + 3, static_cast<unsigned char>(40 * x + y));
    QvAuxText3D label;
    ASSERT_TRUE(label.SetImage(&grey));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(label.m_textureId));
    unsigned char rgba[60] = {};
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    EXPECT_EQ(rgba[(5 * 2 + 4) * 4 + 0], 40 * 4 + 2);
    EXPECT_EQ(rgba[(5 * 2 + 4) * 4 + 3], 255);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Screen modes: a mode-3 corner at x -120 of a 1000-pixel window counts from the right
// edge (880); front-most rectangles lie at depth 0.1, others at 0.7; mode 2 fits view 0.
TEST_F(AuxPixelTest, ScreenRectanglesArePlacedInTheirView)
{
    StartAux(1000, 500);
    Frame();
    QvImage image(20, 10, 32);
    auto* corner = new QvAuxTexture;
    corner->SetMode(3);
    EXPECT_TRUE(corner->m_bFrontMost);
    EXPECT_FALSE(corner->m_bHitable);
    ASSERT_TRUE(corner->SetImage(&image));
    corner->SetScreenRect(QvPoint(-120, 10, 0), QvPoint(-20, 60, 0));
    aux->AddObject(corner);
    auto* screen = new QvAuxTexture;
    screen->SetMode(1);
    ASSERT_TRUE(screen->SetImage(&image));
    screen->SetScreenRect(QvPoint(100, 100, 0), QvPoint(300, 200, 0));
    aux->AddObject(screen);
    Frame();
    const QvPoint c0 = render->ProjectToWindow(corner->m_corners[0]);
    EXPECT_NEAR(c0[0], 880.0, 1e-6);
    EXPECT_NEAR(c0[2], 0.1, 1e-6);
    EXPECT_NEAR(render->ProjectToWindow(screen->m_corners[1])[2], 0.7, 1e-6);
    EXPECT_FALSE(corner->MoveScreenRect(5, 5)) << "mode 3 does not move";
    EXPECT_TRUE(screen->MoveScreenRect(5, 0));
    EXPECT_FALSE(screen->MoveScreenRect(0, 0));
    EXPECT_EQ(screen->GetScreenCorner(1), QvGDIPoint(105, 100));

    // Mode 2: fitted into view 0 when the first image arrives (wider than the view in
    // proportion: the width is the view's less 400, 600 x 150, 20 pixels off centre).
    QvAuxTexture fitted;
    fitted.SetMode(2);
    QvImage wide(400, 100, 32);
    ASSERT_TRUE(fitted.SetImage(&wide));
    EXPECT_EQ(fitted.GetScreenCorner(1), QvGDIPoint(200, 195));
    EXPECT_EQ(fitted.GetScreenCorner(3), QvGDIPoint(800, 345));
    // Scaling keeps the centre and the aspect; a small rectangle is not shrunk.
    EXPECT_TRUE(fitted.ScaleScreenRect(0.5));
    EXPECT_EQ(fitted.GetScreenCorner(1), QvGDIPoint(350, 232));
    EXPECT_FALSE(fitted.ScaleScreenRect(0.5)) << "75 pixels high";
    EXPECT_FALSE(corner->ScaleScreenRect(2.0));
}

// Billboard outlines: filled in their colour with black borders; a degenerate polygon
// adds nothing; an outline without a colour is mid grey.
TEST_F(AuxPixelTest, BillboardFillsOutlinesInTheirColours)
{
    StartAux(200, 200);
    Frame();
    auto* board = new QvAuxBillBoard;
    board->m_mode = 2;
    const auto square = [&](int x0, int y0, int x1, int y1) {
        return std::vector<QvPoint>{At(x0, y0), At(x1, y0), At(x1, y1), At(x0, y1), At(x0, y0)};
    };
    board->AddPolygon(square(20, 20, 80, 80));
    board->AddColor(QvColor(255, 0, 0));
    board->AddPolygon({});
    board->AddPolygon({At(100, 100), At(110, 100), At(120, 100), At(100, 100)}); // collinear
    EXPECT_EQ(board->m_outlines.size(), 1u);
    board->AddPolygon(square(120, 120, 180, 180));
    aux->AddObject(board); // boxes it
    EXPECT_LT(board->m_bbox.m_minPoint[0], board->m_bbox.m_maxPoint[0]);
    const RgbaImage image = Frame();
    EXPECT_TRUE(Is(image.At(50, 50), 255, 0, 0));
    EXPECT_TRUE(Is(image.At(150, 150), 128, 128, 128));
    // The border of the first square is black somewhere across its left edge.
    bool black = false;
    for (int x = 17; x <= 23; ++x)
        black = black || Is(image.At(x, 50), 0, 0, 0, 10);
    EXPECT_TRUE(black);
}
// The inset picture: a translucent panel, and inside it the outlines squeezed into a
// centred viewport 4/5 of the panel high with the outlines' aspect; the 3-D frame and
// the viewport are left as they were.
TEST_F(AuxPixelTest, BillboardInsetDrawsTheOutlinesInsideItsPanel)
{
    StartAux(200, 200);
    const RgbaImage before = Frame();
    auto* board = new QvAuxBillBoard;
    board->m_mode = 2;
    board->m_clr = QvColor(0, 0, 255);
    // Two outlines side by side: the box is twice as wide as high.
    board->AddPolygon({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(1, 1, 0), QvPoint(0, 1, 0), QvPoint(0, 0, 0)});
    board->AddColor(QvColor(255, 0, 0));
    board->AddPolygon({QvPoint(1, 0, 0), QvPoint(2, 0, 0), QvPoint(2, 1, 0), QvPoint(1, 1, 0), QvPoint(1, 0, 0)});
    board->AddColor(QvColor(0, 255, 0));
    board->UpdateBBox();
    board->SetRect(20, 120, 160, 100); // panel over x 20..180, y 20..120 from the top

    ASSERT_TRUE(gl->MakeCurrent());
    board->DrawInset(views->GetActiveView());
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 200);
    EXPECT_EQ(viewport[3], 200);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const RgbaImage image = gl->ReadColor();
    // The fills: 80 high, 160 wide, centred: x 20..180, y 30..110 from the top.
    EXPECT_TRUE(Is(image.At(60, 70), 255, 0, 0, 2));
    EXPECT_TRUE(Is(image.At(140, 70), 0, 255, 0, 2));
    // The panel's margin above the fills: the background a quarter blue.
    const std::uint8_t* was = before.At(100, 24);
    const std::uint8_t* now = image.At(100, 24);
    EXPECT_NEAR(now[2], was[2] * (195.0 / 255.0) + 60.0, 2.0);
    EXPECT_NEAR(now[0], was[0] * (195.0 / 255.0), 2.0);
    // Outside the panel nothing changed.
    for (const auto& [px, py] : {std::pair{10, 10}, std::pair{100, 150}, std::pair{190, 70}})
        EXPECT_TRUE(Is(image.At(px, py), before.At(px, py)[0], before.At(px, py)[1], before.At(px, py)[2]));
    delete board;
}

// Arrows along every axis both ways and a slanted one: the solid covers the points
// along it (head and shaft) and stops at the tip. Arrows shorter than the head are all head.
TEST_F(AuxPixelTest, ArrowsPointFromStartToStop)
{
    StartAux(200, 200);
    views->GetActiveView()->GetTransform().m_scale = 0.1; // one unit is 10 pixels
    views->GetActiveView()->GetTransform().m_rotation = QvMatrix(QvVector(1, 1, 0), 0.5);
    const RgbaImage before = Frame();
    const QvVector directions[] = {QvVector(1, 0, 0), QvVector(-1, 0, 0), QvVector(0, 1, 0), QvVector(0, -1, 0),
                                   QvVector(0, 0, 1), QvVector(0, 0, -1), QvVector(0.6, -0.48, 0.64)};
    for (const QvVector& d : directions)
        for (double length : {7.0, 2.0})
        {
            auto* arrow = new QvAuxArrow;
            arrow->m_bThick = true;
            arrow->m_bFrontMost = true;
            arrow->m_clr = QvColor(255, 255, 0);
            arrow->SetPoints(QvPoint(0, 0, 0), QvPoint(0, 0, 0) + d * length);
            aux->AddObject(arrow);
            const RgbaImage image = Frame();
            aux->RemoveObject(arrow, true);
            const auto changed = [&](const QvPoint& p) {
                const QvGDIPoint w = render->ProjectInActiveView(p);
                return !Is(image.At(w.x, w.y), before.At(w.x, w.y)[0], before.At(w.x, w.y)[1], before.At(w.x, w.y)[2], 3);
            };
            // Seen end-on an arrow covers its own axis; beside it the far points.
            const bool endOn = std::fabs(d[2]) > 0.9;
            EXPECT_TRUE(changed(QvPoint(0, 0, 0) + d * (0.85 * length))) << d[0] << "," << d[1] << "," << d[2];
            if (!endOn)
            {
                EXPECT_FALSE(changed(QvPoint(0, 0, 0) + d * (length + 1.5)))
                    << "beyond the tip " << d[0] << "," << d[1] << "," << d[2];
            }
        }
}
// Spheres of the point styles measured on the screen (one unit 50 pixels), the GL-point
// styles by their pixel size, the hover shapes, and a hidden point drawing nothing.
TEST_F(AuxPixelTest, PointStylesDrawAndHoverAtTheirSizes)
{
    StartAux(200, 200);
    views->GetActiveView()->GetTransform().m_scale = 0.5;
    const RgbaImage before = Frame();
    const auto width = [&](const RgbaImage& image) {
        int n = 0;
        for (int x = 0; x < 200; ++x)
            n += !Is(image.At(x, 100), before.At(x, 100)[0], before.At(x, 100)[1], before.At(x, 100)[2], 2);
        return n;
    };
    struct Case
    {
        int style;
        double drawn, hover; // diameters in pixels
    };
    const Case cases[] = {{0, 20, 20}, {1, 5, 20}, {2, 40, 50}, {3, 120, 20}, {4, 6, 8}, {5, 30, 30}, {6, 5, 20},
                          {9, 20, 20}};
    for (const Case& k : cases)
    {
        auto* point = new QvAuxPoint;
        point->m_style = k.style;
        point->m_clr = QvColor(255, 255, 255);
        point->m_pos = At(100, 100);
        aux->AddObject(point);
        EXPECT_NEAR(width(Frame()), k.drawn, 2.0) << "style " << k.style;
        ASSERT_EQ(aux->HitTest(QvGDIPoint(100, 100)), point);
        point->m_clr = QvColor(0, 0, 0); // drawn over by the hover shape only where it is larger
        point->m_bHitable = false;
        EXPECT_NEAR(width(Frame()), std::max(k.drawn, k.hover), 2.0) << "hover of style " << k.style;
        point->SetVisible(false);
        EXPECT_EQ(width(Frame()), 0) << "hidden style " << k.style;
        aux->RemoveObject(point, true);
    }
}

// A polyline's strip, four times as wide when selected, and its marked spheres.
TEST_F(AuxPixelTest, PolylineStripAndMarks)
{
    StartAux(200, 200);
    views->GetActiveView()->GetTransform().m_scale = 0.5;
    Frame();
    auto* strip = new QvAuxPolyline;
    strip->m_clr = QvColor(255, 255, 255);
    strip->m_lineWidth = 2.0;
    strip->SetPoints({At(20, 100), At(100, 100), At(180, 60)});
    strip->m_marks = {0, 2, 3};
    aux->AddObject(strip);
    const auto thickness = [&](const RgbaImage& image, int x) {
        int n = 0;
        for (int y = 80; y < 120; ++y)
            n += image.At(x, y)[0] == 255 && image.At(x, y)[2] == 255;
        return n;
    };
    RgbaImage image = Frame();
    EXPECT_NEAR(thickness(image, 50), 2, 1);
    EXPECT_TRUE(Is(image.At(100, 95), 0, 255, 0, 120)) << "mark 2 is green";
    const QvGDIPoint cyan = render->ProjectInActiveView(strip->m_points[2]);
    EXPECT_GT(image.At(cyan.x + 2, cyan.y)[2], 150) << "mark 3 is cyan";
    EXPECT_LT(image.At(cyan.x + 2, cyan.y)[0], 100);
    strip->SetSelected(true); // red, four times as wide
    image = Frame();
    int red = 0;
    for (int y = 80; y < 120; ++y)
        red += Is(image.At(50, y), 255, 0, 0);
    EXPECT_NEAR(red, 8, 1);
}
// The rectangle operations nothing calls yet: turning about the centre, centring in a
// view, zooming the shown part about the mouse and back to the whole image.
TEST(AuxTextureRectTest, TurnCentreAndZoom)
{
    QvAuxTexture texture;
    texture.SetMode(1);
    texture.m_aspect = 2.0;
    texture.SetScreenRect(QvPoint(100, 100, 0), QvPoint(300, 200, 0));
    texture.SetAngle(3.14159265358979 / 2);
    // A quarter turn about (200, 150): corner 1 (100, 100) goes to (250, 50).
    EXPECT_NEAR(texture.m_screenRect[1][0], 250.0, 1e-9);
    EXPECT_NEAR(texture.m_screenRect[1][1], 50.0, 1e-9);
    texture.SetAngle(0.0);
    EXPECT_NEAR(texture.m_screenRect[1][0], 100.0, 1e-9);
    EXPECT_NEAR(texture.m_screenRect[1][1], 100.0, 1e-9);

    QvView view(QvGDIPoint(400, 0), 200, 300);
    texture.CentreInView(&view);
    EXPECT_NEAR(texture.m_screenRect[1][0], 400.0, 1e-9);
    EXPECT_NEAR(texture.m_screenRect[3][0], 600.0, 1e-9);
    EXPECT_NEAR(texture.m_screenRect[3][1], 200.0, 1e-9);

    // Zooming in at the rectangle's far corner keeps that corner of the image under it.
    texture.ZoomTexture(true, 600, 200);
    EXPECT_NEAR(texture.m_texScale, 0.9, 1e-12);
    texture.ZoomTexture(true, 600, 200);
    EXPECT_NEAR(texture.m_texScale, 0.8, 1e-12);
    EXPECT_NEAR(texture.m_texOffsetS, 0.2, 1e-12);
    EXPECT_NEAR(texture.m_texOffsetT, 0.2, 1e-12);
    for (int i = 0; i < 20; ++i)
        texture.ZoomTexture(true, 500, 150);
    EXPECT_NEAR(texture.m_texScale, 0.1, 1e-12);
    EXPECT_LE(texture.m_texOffsetS + texture.m_texScale, 1.0 + 1e-12);
    for (int i = 0; i < 9; ++i)
        texture.ZoomTexture(false, 500, 150);
    EXPECT_EQ(texture.m_texScale, 1.0);
    EXPECT_EQ(texture.m_texOffsetS, 0.0);
    EXPECT_EQ(texture.m_texOffsetT, 0.0);
}
} // namespace
