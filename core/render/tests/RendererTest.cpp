// SPDX-License-Identifier: GPL-3.0-or-later
// The renderer's GL state, background, view outlines and the per-view drawing of
// entities, checked on pixels read back from an OSMesa context.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "core/geometry/QvPlane.h"
#include "core/render/tests/RenderFixture.h"

using namespace render_test;
using rivela::testing::RgbaImage;

namespace
{
bool Near(const std::uint8_t* px, int r, int g, int b, int tolerance)
{
    return std::abs(px[0] - r) <= tolerance && std::abs(px[1] - g) <= tolerance && std::abs(px[2] - b) <= tolerance;
}

bool IsOrange(const std::uint8_t* px) { return Near(px, 255, 128, 64, 2); }

std::string TempPath(const std::string& name) { return ::testing::TempDir() + "rivela_render_" + name; }

// A 24-bit BMP whose top half is red and bottom half blue.
bool WriteBmp24(const std::string& path, int w, int h)
{
    const int rowSize = (w * 3 + 3) / 4 * 4;
    const int dataSize = rowSize * h;
    std::vector<unsigned char> bytes(54 + static_cast<std::size_t>(dataSize), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    bytes[26] = 1;
    bytes[28] = 24;
    put32(34, static_cast<std::uint32_t>(dataSize));
    for (int row = 0; row < h; ++row) // bottom-up
        for (int x = 0; x < w; ++x)
        {
            unsigned char* px = &bytes[54 + static_cast<std::size_t>(row * rowSize + x * 3)];
            const bool top = row >= h / 2;
            px[0] = top ? 0 : 255; // blue
            px[1] = 0;
            px[2] = top ? 255 : 0; // red
        }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WritePngHalves(const std::string& path, int w, int h)
{
    RgbaImage image;
    image.width = w;
    image.height = h;
    image.pixels.resize(static_cast<std::size_t>(w * h * 4));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            std::uint8_t* px = &image.pixels[static_cast<std::size_t>((y * w + x) * 4)];
            const bool top = y < h / 2;
            px[0] = top ? 255 : 0;
            px[1] = 0;
            px[2] = top ? 0 : 255;
            px[3] = 255;
        }
    return rivela::testing::WritePng(path, image);
}

GLint TextureInternalFormat(GLuint texture)
{
    GLint format = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    glBindTexture(GL_TEXTURE_2D, 0);
    return format;
}

class RendererTest : public RenderFixture
{
};
} // namespace

TEST_F(RendererTest, InitRenderSetsTheFixedState)
{
    StartGL(32, 32);
    struct Switch
    {
        GLenum cap;
        bool on;
    };
    const Switch switches[] = {
        {GL_COLOR_MATERIAL, true}, {GL_LIGHTING, true},   {GL_LIGHT0, true},       {GL_NORMALIZE, true},
        {GL_DEPTH_TEST, false},    {GL_STENCIL_TEST, false}, {GL_FOG, false},      {GL_BLEND, false},
        {GL_CULL_FACE, false},     {GL_SCISSOR_TEST, false}, {GL_ALPHA_TEST, false}, {GL_LINE_STIPPLE, false},
        {GL_VERTEX_ARRAY, false},  {GL_COLOR_ARRAY, false}, {GL_NORMAL_ARRAY, false},
    };
    for (const Switch& s : switches)
        EXPECT_EQ(glIsEnabled(s.cap) == GL_TRUE, s.on) << std::hex << s.cap;

    struct Value
    {
        GLenum name;
        GLint expected;
    };
    const Value values[] = {
        {GL_COLOR_MATERIAL_FACE, GL_FRONT_AND_BACK},
        {GL_COLOR_MATERIAL_PARAMETER, GL_AMBIENT_AND_DIFFUSE},
        {GL_DEPTH_FUNC, GL_LEQUAL},
        {GL_DEPTH_WRITEMASK, GL_TRUE},
        {GL_STENCIL_FAIL, GL_KEEP},
        {GL_STENCIL_PASS_DEPTH_FAIL, GL_KEEP},
        {GL_STENCIL_PASS_DEPTH_PASS, GL_REPLACE},
        {GL_STENCIL_CLEAR_VALUE, 0},
        {GL_FRONT_FACE, GL_CCW},
        {GL_SHADE_MODEL, GL_SMOOTH},
        {GL_UNPACK_ALIGNMENT, 1},
        {GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE},
    };
    for (const Value& v : values)
    {
        GLint got = -1;
        glGetIntegerv(v.name, &got);
        EXPECT_EQ(got, v.expected) << std::hex << v.name;
    }

    GLfloat f[4];
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, f);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, f);
    EXPECT_EQ(std::vector<float>(f, f + 4), (std::vector<float>{0, 0, 0, 1}));
    glGetFloatv(GL_POLYGON_OFFSET_FACTOR, f);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    glGetFloatv(GL_POLYGON_OFFSET_UNITS, f);
    EXPECT_FLOAT_EQ(f[0], 1.0f);
    const struct
    {
        GLenum name;
        std::vector<float> expected;
    } light[] = {{GL_POSITION, {0, 0, 0, 1}},
                 {GL_AMBIENT, {0.1f, 0.1f, 0.1f, 1}},
                 {GL_DIFFUSE, {0.8f, 0.8f, 0.8f, 1}},
                 {GL_SPECULAR, {0.8f, 0.8f, 0.8f, 1}}};
    for (const auto& l : light)
    {
        glGetLightfv(GL_LIGHT0, l.name, f);
        for (int i = 0; i < 4; ++i)
            EXPECT_FLOAT_EQ(f[i], l.expected[static_cast<std::size_t>(i)]) << std::hex << l.name << " " << i;
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    QvRenderStatus::Instance()->m_bTwoSideLighting = false;
    ASSERT_TRUE(render->InitRender());
    GLint twoSide = -1;
    glGetIntegerv(GL_LIGHT_MODEL_TWO_SIDE, &twoSide);
    EXPECT_EQ(twoSide, GL_FALSE);
}

TEST_F(RendererTest, GradientRunsFromDarkBottomToBlueGreyTop)
{
    StartGL(48, 64);
    QvRenderStatus::Instance()->m_bBackgroundImage = false;
    render->SetModel(nullptr); // the background needs no model
    ASSERT_TRUE(render->DrawScene());
    const RgbaImage img = gl->ReadColor();
    // Pixel centres lie half a pixel inside the polygon: one step of rounding is allowed.
    for (int x : {0, 47})
    {
        EXPECT_TRUE(Near(img.AtGL(x, 0), 14, 28, 39, 1)) << "bottom " << x;
        EXPECT_TRUE(Near(img.AtGL(x, 63), 49, 95, 132, 1)) << "top " << x;
    }
    // Linear in between: the middle rows hold the mean.
    EXPECT_TRUE(Near(img.AtGL(24, 32), (14 + 49) / 2, (28 + 95) / 2, (39 + 132) / 2, 2));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RendererTest, BackgroundImageIsShownUprightOrReplacedByTheGradient)
{
    const std::string png = TempPath("bkg.png");
    const std::string bmp = TempPath("bkg.bmp");
    const std::string corrupt = TempPath("corrupt.png");
    ASSERT_TRUE(WritePngHalves(png, 4, 4));
    ASSERT_TRUE(WriteBmp24(bmp, 3, 4)); // odd width: rows of 9 bytes
    {
        std::ofstream out(corrupt, std::ios::binary);
        out << "\x89PNG\r\n\x1a\nnot really";
    }
    struct Case
    {
        const char* name;
        std::string path;
        bool loads;
        GLint format;
    };
    const Case cases[] = {
        {"png", png, true, GL_RGBA},
        {"bmp", bmp, true, GL_RGB},
        {"missing", TempPath("missing.png"), false, 0},
        {"corrupt", corrupt, false, 0},
        {"no path", "", false, 0},
    };
    for (const Case& k : cases)
    {
        SCOPED_TRACE(k.name);
        StartGL(32, 32);
        render->SetBackgroundPath(k.path);
        EXPECT_EQ(render->LoadBackgroundTexture(), k.loads);
        EXPECT_EQ(render->GetBackgroundTexture() != 0, k.loads);
        if (k.loads)
        {
            EXPECT_EQ(TextureInternalFormat(render->GetBackgroundTexture()), k.format);
        }
        ASSERT_TRUE(render->DrawScene());
        const RgbaImage img = gl->ReadColor();
        if (k.loads)
        {
            EXPECT_TRUE(Near(img.At(16, 1), 255, 0, 0, 1)); // the image's top at the window's top
            EXPECT_TRUE(Near(img.At(16, 30), 0, 0, 255, 1));
        }
        else
        {
            EXPECT_TRUE(Near(img.AtGL(16, 0), 14, 28, 39, 1));
            EXPECT_TRUE(Near(img.AtGL(16, 31), 49, 95, 132, 1));
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

TEST_F(RendererTest, ViewsAreOutlinedInOrangeOnlyWhenThereAreSeveral)
{
    struct Layout
    {
        const char* name;
        void (*apply)(QvViewManager*);
        std::size_t count;
    };
    const Layout layouts[] = {
        {"one", [](QvViewManager*) {}, 1},
        {"two", [](QvViewManager* m) { m->ToTwoCompView(); }, 2},
        {"bracket", [](QvViewManager* m) { m->ToBracketView(); }, 4},
        {"grid", [](QvViewManager* m) { m->ToFourView(); }, 4},
    };
    for (const Layout& layout : layouts)
    {
        SCOPED_TRACE(layout.name);
        StartGL(81, 60);
        layout.apply(views);
        ASSERT_EQ(views->GetViewCount(), layout.count);
        ASSERT_TRUE(render->DrawScene());
        const RgbaImage img = gl->ReadColor();
        int orange = 0;
        for (std::size_t i = 0; i < img.pixels.size(); i += 4)
            orange += IsOrange(&img.pixels[i]);
        if (layout.count == 1)
        {
            EXPECT_EQ(orange, 0);
            continue;
        }
        // Each side of each view has an orange pixel within a pixel of its edge.
        auto orangeNear = [&](int x0, int x1, int y0, int y1) {
            for (int x = std::max(0, x0); x <= std::min(img.width - 1, x1); ++x)
                for (int y = std::max(0, y0); y <= std::min(img.height - 1, y1); ++y)
                    if (IsOrange(img.AtGL(x, y)))
                        return true;
            return false;
        };
        for (const QvView* v : views->GetViews())
        {
            const int x = v->GetOrigin().x, y = v->GetOrigin().y, w = v->GetWidth(), h = v->GetHeight();
            const int mx = x + w / 2, my = y + h / 2;
            EXPECT_TRUE(orangeNear(x, x + 2, my, my)) << "left of view " << v->GetID();
            EXPECT_TRUE(orangeNear(x + w - 2, x + w, my, my)) << "right of view " << v->GetID();
            EXPECT_TRUE(orangeNear(mx, mx, y, y + 2)) << "bottom of view " << v->GetID();
            EXPECT_TRUE(orangeNear(mx, mx, y + h - 2, y + h)) << "top of view " << v->GetID();
            EXPECT_FALSE(IsOrange(img.AtGL(mx, my))) << "inside view " << v->GetID();
        }
    }
}

TEST_F(RendererTest, OnlyShownUndeletedEntitiesAreDrawn)
{
    StartGL(32, 32);
    QvEntity* box = AddBox(QvPoint(-0.5, -0.5, -0.5), QvPoint(0.5, 0.5, 0.5));
    struct Case
    {
        std::uint32_t state;
        bool drawn;
    };
    const Case cases[] = {{0x11, true}, {0x1, true}, {0x3, true}, {0x1001, false}, {0x0, false}, {0x1000, false}};
    for (const Case& k : cases)
    {
        box->m_state = k.state;
        drawer->calls.clear();
        ASSERT_TRUE(render->DrawScene());
        EXPECT_EQ(drawer->calls.size(), k.drawn ? 1u : 0u) << std::hex << k.state;
        EXPECT_EQ(gl->ReadStencil()[16 * 32 + 16], k.drawn ? kBoxStencil : 0) << std::hex << k.state;
    }
}

TEST_F(RendererTest, EachViewDrawsWithItsOwnTransformHiddenSetAndClipPlanes)
{
    StartGL(64, 32);
    QvEntity* box = AddBox(QvPoint(-0.5, -0.5, -0.5), QvPoint(0.5, 0.5, 0.5));
    views->ToTwoCompView();
    QvView* right = views->GetView(0); // (32, 0) 32 x 32
    QvView* left = views->GetView(1);  // (0, 0) 32 x 32
    right->GetTransform().m_scale = 0.5;
    right->GetTransform().m_translation = QvVector(0.25, 0, 0);
    left->GetTransform().m_rotation = QvMatrix(QvVector(0, 1, 0), 0.3);

    // One view: no push around it; two views: each between a push and a pop.
    ASSERT_TRUE(render->DrawScene());
    ASSERT_EQ(drawer->calls.size(), 2u);
    for (const BoxDrawer::Call& c : drawer->calls)
        EXPECT_EQ(c.modelViewDepth, 2);
    EXPECT_EQ(drawer->calls[0].info, right->GetDrawInfo());
    EXPECT_EQ(drawer->calls[1].info, left->GetDrawInfo());

    // Stored model-view = look-at (a shift by -eye z) x rotation x scale x translation,
    // each view from the look-at alone.
    const double eyeZ = render->GetCamera()->m_eye[2];
    for (const QvView* v : {right, left})
    {
        const QvTransform& t = v->GetTransform();
        QvMatrix look = Translation(0, 0, -eyeZ);
        QvMatrix rot(4, 4);
        rot.SetIdentity();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                rot[i][j] = t.m_rotation[i][j];
        QvMatrix scale(4, 4);
        scale.SetIdentity();
        scale[0][0] = scale[1][1] = scale[2][2] = t.m_scale;
        const QvMatrix expected =
            look * rot * scale * Translation(t.m_translation[0], t.m_translation[1], t.m_translation[2]);
        double e[16];
        expected.ToGLMatrix(e);
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(v->GetModelViewMatrix()[i], e[i], 1e-12) << "view " << v->GetID() << " element " << i;
        EXPECT_TRUE(v->HasDrawMatrices());
    }

    // Hidden in the left view only; the right view cuts away x < 0.
    left->GetDrawInfo()->HideEntity(box);
    const QvPlane cut(QvPoint(0, 0, 0), QvVector(1, 0, 0));
    right->GetDrawInfo()->SetClipPlane(&cut);
    drawer->calls.clear();
    ASSERT_TRUE(render->DrawScene());
    ASSERT_EQ(drawer->calls.size(), 1u);
    EXPECT_EQ(drawer->calls[0].info, right->GetDrawInfo());
    EXPECT_TRUE(drawer->calls[0].clip0);
    EXPECT_FALSE(glIsEnabled(GL_CLIP_PLANE0));
    const std::vector<std::uint8_t> stencil = gl->ReadStencil();
    auto at = [&](int x, int yGL) { return stencil[static_cast<std::size_t>((31 - yGL) * 64 + x)]; };
    EXPECT_EQ(at(16, 16), 0); // left view: hidden
    // Right view: eye x = 0.5 x (x + 0.25), window x = 48 + 16 x eye x, so the box
    // (world x -0.5..0.5) covers window x 46..54 and the cut (x >= 0) keeps 50..54.
    EXPECT_EQ(at(52, 16), kBoxStencil);
    EXPECT_EQ(at(47, 16), 0);
    right->GetDrawInfo()->SetClipPlane(nullptr);
    drawer->calls.clear();
    ASSERT_TRUE(render->DrawScene());
    EXPECT_EQ(gl->ReadStencil()[static_cast<std::size_t>((31 - 16) * 64 + 47)], kBoxStencil);
    EXPECT_EQ(gl->ReadStencil()[static_cast<std::size_t>((31 - 16) * 64 + 44)], 0);

    views->ToOneCompView();
    drawer->calls.clear();
    ASSERT_TRUE(render->DrawScene());
    ASSERT_EQ(drawer->calls.size(), 1u);
    EXPECT_EQ(drawer->calls[0].modelViewDepth, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(RendererTest, StencilKindUnderThePointerFollowsThePickMask)
{
    StartGL(32, 32);
    AddBox(QvPoint(-0.5, -0.5, -0.5), QvPoint(0.5, 0.5, 0.5));
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bWindowYUp = true;
    ASSERT_TRUE(render->DrawScene());
    struct Case
    {
        std::uint32_t mask;
        QvGDIPoint p;
        int kind;
    };
    const Case cases[] = {{0x2, {15, 15}, 9}, {0x80, {15, 15}, 0}, {0x2, {1, 1}, 0}};
    for (const Case& k : cases)
    {
        status->m_pickMask = k.mask;
        status->m_pickedStencilKind = -1;
        render->PickStencilKind(k.p);
        EXPECT_EQ(status->m_pickedStencilKind, k.kind) << std::hex << k.mask;
    }
    EXPECT_TRUE(render->HasGeometryUnderCursor(QvGDIPoint(16, 16)));
    EXPECT_FALSE(render->HasGeometryUnderCursor(QvGDIPoint(1, 1)));
}

TEST_F(RendererTest, OverlayDrawingsLandWhereTheyShould)
{
    StartGL(160, 120);
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bWindowYUp = true;
    const std::string icon = TempPath("icon.png");
    ASSERT_TRUE(WritePngHalves(icon, 8, 8)); // opaque: passes the alpha test
    render->SetIconPaths({icon, TempPath("missing_icon.png"), icon});
    status->m_rubberBand.Set(100, 60, 140, 100); // left, top, right, bottom
    ASSERT_TRUE(render->DrawScene());
    const RgbaImage before = gl->ReadColor();
    render->DrawRubberBand();
    render->DrawIconStrip();
    render->DrawAxisGizmo();
    render->DrawEntity(nullptr); // no spare view: nothing
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const RgbaImage after = gl->ReadColor();

    // Rubber band: a quarter of blue over the background inside the rectangle only.
    const std::uint8_t* b0 = before.AtGL(120, 80);
    const std::uint8_t* b1 = after.AtGL(120, 80);
    EXPECT_NEAR(b1[2], b0[2] * 0.75 + 255 * 0.25, 2);
    EXPECT_NEAR(b1[0], b0[0] * 0.75, 2);
    EXPECT_EQ(std::vector<std::uint8_t>(after.AtGL(20, 110), after.AtGL(20, 110) + 3),
              std::vector<std::uint8_t>(before.AtGL(20, 110), before.AtGL(20, 110) + 3));
    // Icons at x 8 and 208 (off the window) with the empty slot between them; the upper
    // half of each icon is red.
    EXPECT_TRUE(Near(after.AtGL(26, 40), 255, 0, 0, 1));
    EXPECT_TRUE(Near(after.AtGL(26, 12), 0, 0, 255, 1));
    EXPECT_FALSE(Near(after.AtGL(126, 40), 255, 0, 0, 30));
    // Axis arrows in the lower right corner, nothing of them at the upper left.
    int changed = 0;
    for (int x = 100; x < 160; ++x)
        for (int y = 0; y < 50; ++y)
            changed += !Near(after.AtGL(x, y), before.AtGL(x, y)[0], before.AtGL(x, y)[1], before.AtGL(x, y)[2], 3);
    EXPECT_GT(changed, 20);
    EXPECT_TRUE(Near(after.AtGL(2, 117), before.AtGL(2, 117)[0], before.AtGL(2, 117)[1], before.AtGL(2, 117)[2], 0));
}

// The composed picture of a small two-view scene against a stored image. Set
// RIVELA_UPDATE_BASELINES=1 to write the baseline anew.
TEST_F(RendererTest, TwoViewSceneMatchesBaseline)
{
    StartGL(64, 64);
    QvEntity* box = AddBox(QvPoint(-0.4, -0.3, -0.2), QvPoint(0.4, 0.3, 0.2));
    views->ToTwoCompView();
    QvView* right = views->GetView(0);
    QvView* left = views->GetView(1);
    left->GetTransform().m_rotation = QvMatrix(QvVector(1, 1, 0), 0.6);
    right->GetDrawInfo()->SetEntityMatrix(box, Translation(0, 0.5, 0), false);
    right->GetDrawInfo()->SetEntityMatrix(box, Translation(0, -0.6, 0), true);
    const QvPlane cut(QvPoint(0.1, 0, 0), QvVector(-1, 0, 0));
    left->GetDrawInfo()->SetClipPlane(&cut);
    ASSERT_TRUE(render->DrawScene());
    const RgbaImage actual = gl->ReadColor();

    // Rasterisers may differ by a shade in lit colours and by a pixel along edges.
    CheckBaseline(actual, "two_view_scene", 6, 8);
}
