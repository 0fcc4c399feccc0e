// SPDX-License-Identifier: GPL-3.0-or-later
// The overlay cache on small fixtures: arch order, the FreeType rasteriser, label
// texts and corners, the ray-triangle test, the ramps, the keys and order of the
// contact and IPR labels, the arch layout and the per-view caches.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

#include "core/base/QvLog.h"
#include "core/geometry/QvLine.h"
#include "core/model/QvImage.h"
#include "core/model/QvTooth.h"
#include "core/render/aux/QvAuxFace.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/render/aux/tests/AuxFixture.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"

using namespace aux_test;

namespace
{

class OverlayTest : public AuxFixture
{
protected:
    void SetUp() override
    {
        AuxFixture::SetUp();
        StartAux(64, 64);
        cache = &QvCacheStuff::Instance();
        cache->m_fontPath = RIVELA_FONT_PATH;
        cache->m_pModel = nullptr;
    }
    void TearDown() override
    {
        cache->Clear();
        cache->m_fontPath.clear();
        cache->m_pModel = nullptr;
        AuxFixture::TearDown();
    }

    // A tooth of that number whose crown centre is the point (a small triangle).
    QvTooth* Tooth(int fdi, const QvPoint& at = QvPoint())
    {
        auto tooth = std::make_unique<QvTooth>();
        tooth->SetFdi(fdi);
        tooth->AddVertex(at + QvVector(-0.5, 0, 0));
        tooth->AddVertex(at + QvVector(0.5, 0, 0));
        tooth->AddVertex(at + QvVector(0, 1.5, 0));
        EXPECT_TRUE(tooth->AddFace(0, 1, 2, kQvFaceTagPlain));
        teeth.push_back(std::move(tooth));
        return teeth.back().get();
    }
    QvGapInfo* Gap(QvTooth* a, QvTooth* b, double distance, const QvPoint& point, int kind = 2)
    {
        gaps.push_back(std::make_unique<QvGapInfo>(a, b, kind, point, distance));
        return gaps.back().get();
    }
    std::vector<QvGapInfo*> Gaps() const
    {
        std::vector<QvGapInfo*> out;
        for (const auto& g : gaps)
            out.push_back(g.get());
        return out;
    }

    QvCacheStuff* cache = nullptr;
    std::vector<std::unique_ptr<QvTooth>> teeth;
    std::vector<std::unique_ptr<QvGapInfo>> gaps;
};

std::unique_ptr<QvImage> Render(const std::string& text)
{
    return std::unique_ptr<QvImage>(QvCacheStuff::Instance().RenderText(text, QvColor(0, 0, 255)));
}

TEST(FdiArchOrderTest, MapRunsAroundUpperThenLowerArch)
{
    std::map<int, int, QvFdiArchOrder> m;
    for (int fdi : {38, 11, 85, 21, 61})
        m[fdi] = 0;
    std::vector<int> order;
    for (const auto& [fdi, v] : m)
        order.push_back(fdi);
    EXPECT_EQ(order, (std::vector<int>{11, 61, 21, 85, 38}));
    for (auto [first, second] : {std::pair{11, 21}, std::pair{21, 48}, std::pair{48, 31}, std::pair{15, 55},
                                 std::pair{65, 25}, std::pair{55, 14}, std::pair{11, 51}, std::pair{71, 31}})
    {
        EXPECT_TRUE(QvOverlayArchLess(first, second)) << first << " " << second;
        EXPECT_FALSE(QvOverlayArchLess(second, first)) << first << " " << second;
    }
    EXPECT_FALSE(QvOverlayArchLess(21, 21));
}

TEST(OverlayKeysTest, KeysAndRamps)
{
    struct Key
    {
        int a, b, adjacent, occlusion;
    };
    for (const Key& k : {Key{21, 22, 22, 21}, Key{11, 21, 21, 11}, Key{53, 13, 53, 13}, Key{55, 85, 85, 55},
                         Key{41, 31, 41, 31}, Key{51, 52, 52, 51}})
    {
        EXPECT_EQ(QvCacheStuff::AdjacentKey(k.a, k.b), k.adjacent) << k.a << "," << k.b;
        EXPECT_EQ(QvCacheStuff::OcclusionKey(k.a, k.b), k.occlusion) << k.a << "," << k.b;
        EXPECT_EQ(QvCacheStuff::IprKey(k.a, k.b), k.adjacent) << k.a << "," << k.b;
    }
    struct Ramp
    {
        double value;
        QvColor expected;
    };
    for (const Ramp& r : {Ramp{0.0, {0, 0, 255}}, Ramp{0.5, {0, 255, 0}}, Ramp{0.75, {127, 127, 0}},
                          Ramp{1.2, {255, 0, 0}}, Ramp{-0.3, {0, 255, 0}}})
        EXPECT_EQ(Rgb(QvCacheStuff::AdjacentColor(r.value)), Rgb(r.expected)) << r.value;
    for (const Ramp& r : {Ramp{0.0, {0, 255, 0}}, Ramp{0.25, {0, 128, 127}}, Ramp{0.5, {0, 0, 255}},
                          Ramp{0.75, {127, 0, 128}}, Ramp{1.0, {255, 0, 0}}, Ramp{-0.2, {0, 255, 0}}})
        EXPECT_EQ(Rgb(QvCacheStuff::OcclusionColor(r.value)), Rgb(r.expected)) << r.value;
}

TEST(OverlayKeysTest, RayTriangleTable)
{
    const QvPoint a(0, 0, 0), b(2, 0, 0), c(0, 2, 0);
    struct Case
    {
        QvPoint origin;
        QvVector dir;
        bool hit;
        double t;
    };
    for (const Case& k : {Case{{0.5, 0.5, 1}, {0, 0, -1}, true, 1.0},   // from above
                          Case{{0.5, 0.5, -1}, {0, 0, -1}, true, -1.0}, // behind the start: the whole line
                          Case{{0.5, 0.5, 1}, {0, 0, 1}, true, -1.0},   // the other side
                          Case{{1.5, 1.5, 1}, {0, 0, -1}, false, 0},    // beyond the hypotenuse
                          Case{{-0.1, 0.5, 1}, {0, 0, -1}, false, 0},   // outside an edge
                          Case{{0.5, 0.5, 1}, {1, 0, 0}, false, 0}})    // parallel
    {
        QvPoint hit;
        double t = 0;
        ASSERT_EQ(QvCacheStuff::IntersectLineTriangle(QvLine(k.origin, k.dir), a, b, c, hit, t), k.hit)
            << k.origin[0] << " " << k.dir[2];
        if (k.hit)
        {
            EXPECT_NEAR(t, k.t, 1e-12);
            EXPECT_NEAR(hit[2], 0.0, 1e-12);
        }
    }
}

TEST(OverlayKeysTest, LabelTextsByState)
{
    EXPECT_EQ(QvCacheStuff::LabelText(11, 5), "11(E)");
    EXPECT_EQ(QvCacheStuff::LabelText(11, 3), "11(P)");
    EXPECT_EQ(QvCacheStuff::LabelText(11, 2), "11(I)");
    EXPECT_EQ(QvCacheStuff::LabelText(11, 1), "11");
}

TEST_F(OverlayTest, RenderedTextIsSumOfItsCharactersAndPureBlue)
{
    std::unique_ptr<QvImage> whole = Render("11(E)");
    ASSERT_TRUE(whole);
    int width = 0, height = 0;
    for (char c : std::string("11(E)"))
    {
        std::unique_ptr<QvImage> part = Render(std::string(1, c));
        ASSERT_TRUE(part);
        width += part->GetWidth();
        height = std::max(height, part->GetHeight());
    }
    EXPECT_EQ(whole->GetWidth(), width);
    EXPECT_EQ(whole->GetHeight(), height);
    EXPECT_GT(height, 60); // 96-pixel glyphs
    int covered = 0;
    for (int y = 0; y < whole->GetHeight(); ++y)
        for (int x = 0; x < whole->GetWidth(); ++x)
        {
            const unsigned char* p = whole->GetPixel(x, y);
            const bool blue = p[0] == 0 && p[1] == 0 && p[2] == 255 && p[3] == 255;
            const bool clear = p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
            ASSERT_TRUE(blue || clear) << x << "," << y;
            covered += blue;
        }
    EXPECT_GT(covered, 1000);
    // The one-character rule: bearing spacers on both sides of the glyph, one spare row.
    std::unique_ptr<QvImage> one = Render("1");
    EXPECT_EQ(one->GetBitsPerPixel(), 32);

    std::unique_ptr<QvImage> empty = Render("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->GetWidth(), 0);
    EXPECT_EQ(empty->GetHeight(), 0);

    // Bad UTF-8 bytes are skipped: a stray continuation, a cut sequence, an overlong form.
    std::unique_ptr<QvImage> clean = Render("1(2");
    for (const std::string& bad : {std::string("1\x80(2"), std::string("1(2\xE4\xB8"), std::string("\xC0\xAF" "1(2"),
                                  std::string("1\xFF(\xC3" "2")})
    {
        std::unique_ptr<QvImage> image = Render(bad);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->GetWidth(), clean->GetWidth());
        EXPECT_EQ(image->GetHeight(), clean->GetHeight());
    }
    // A character DejaVu lacks comes from the CJK face when it is installed.
    if (std::filesystem::exists(kQvCjkFontPath))
    {
        EXPECT_GT(Render("\xE7\x9F\xAB")->GetWidth(), 0); // 矫
    }

    cache->m_fontPath = "/nonexistent/font.ttf";
    EXPECT_FALSE(Render("11"));
    cache->m_fontPath.clear();
    EXPECT_FALSE(Render("11"));
}

TEST_F(OverlayTest, NotationSplitsTheStarPrefix)
{
    struct Case
    {
        std::string text;
        int count;
        std::string first, second;
    };
    for (const Case& k : {Case{"*12", 2, "*", "12"}, Case{"*1", 1, "*1", ""}, Case{"1*2", 1, "1*2", ""}})
    {
        QvAuxNotation n;
        n.SetText(k.text);
        EXPECT_EQ(n.mQvAuxTextureCount, k.count) << k.text;
        EXPECT_EQ(n.mtexts[0], k.first) << k.text;
        ASSERT_NE(n.mTexture0, nullptr);
        EXPECT_EQ(n.mTexture1 != nullptr, k.count == 2);
        EXPECT_GT(n.mTexture0->m_aspect, 0.0);
    }
    QvAuxNotation n;
    n.SetText("*12");
    n.SetText("");
    EXPECT_EQ(n.mTexture0, nullptr);
    EXPECT_EQ(n.mTexture1, nullptr);

    // Without a font a star text gets no children at all.
    cache->m_fontPath.clear();
    QvAuxNotation bare;
    bare.SetText("*12");
    EXPECT_EQ(bare.mTexture0, nullptr);
    EXPECT_EQ(bare.mTexture1, nullptr);
    EXPECT_EQ(Rgb(QvAuxNotation::PrefixColor(0)), Rgb(QvColor(255, 0, 0)));
    EXPECT_EQ(Rgb(QvAuxNotation::PrefixColor(1)), Rgb(QvColor(192, 192, 192)));
    EXPECT_EQ(Rgb(QvAuxNotation::PrefixColor(-1)), Rgb(QvColor(0, 255, 0)));
}

TEST_F(OverlayTest, Text3DKeepsTheAspectOfTheLastText)
{
    QvAuxText3D text;
    text.SetText("1");
    const double narrow = text.m_aspect;
    text.SetText("11.5mm");
    std::unique_ptr<QvImage> image = Render("11.5mm");
    EXPECT_DOUBLE_EQ(text.m_aspect, static_cast<double>(image->GetWidth()) / image->GetHeight());
    EXPECT_GT(text.m_aspect, narrow);
    QvAuxText screen;
    screen.SetText("123456");
    EXPECT_EQ(screen.m_textImageWidth, Render("123456")->GetWidth());
    EXPECT_GE(screen.m_textureId, 0);
}

TEST_F(OverlayTest, OcclusionLabelsInArchOrderLargestDistancePerTooth)
{
    QvTooth* t11 = Tooth(11);
    QvTooth* t21 = Tooth(21);
    QvTooth* t36 = Tooth(36);
    QvTooth* t46 = Tooth(46);
    QvTooth* t41 = Tooth(41);
    QvTooth* t31 = Tooth(31);
    QvTooth* t37 = Tooth(37);
    QvTooth* t47 = Tooth(47);
    // Keys 21, 11, 36, 46; tooth 11 twice with 0.3 and 0.8. Only opposing pairs get maps.
    Gap(t21, t31, 0.2, QvPoint(1, 0, 0));
    Gap(t11, t41, 0.3, QvPoint(2, 0, 0));
    Gap(t37, t36, 0.4, QvPoint(3, 0, 0));
    Gap(t46, t47, 0.5, QvPoint(4, 0, 0));
    Gap(t41, t11, 0.8, QvPoint(5, 0, 0));
    QvCacheStuff* view = aux->GetViewCache(0);
    view->m_pView = views->GetView(0);
    view->ShowOcclusion(Gaps());
    std::vector<double> labels;
    int faces = 0;
    for (QvAuxObject* obj : view->m_occlusionObjs)
    {
        EXPECT_EQ(obj->m_pAssView, views->GetView(0));
        if (auto* n = dynamic_cast<QvAuxNotation*>(obj))
        {
            labels.push_back(n->m_arrPt[0]);
            EXPECT_EQ(Rgb(n->m_clr), Rgb(QvColor(255, 0, 255)));
        }
        else
            ++faces;
    }
    // 11 (its 0.8 record), 21, 46, 36.
    EXPECT_EQ(labels, (std::vector<double>{5, 1, 4, 3}));
    EXPECT_EQ(faces, 6);
    EXPECT_EQ(dynamic_cast<QvAuxNotation*>(view->m_occlusionObjs[6])->mtexts[0], "0.8");
    view->ShowOcclusion({});
    EXPECT_TRUE(view->m_occlusionObjs.empty());
    EXPECT_TRUE(aux->GetObjects().empty());
}

TEST_F(OverlayTest, AdjacentLabelsKeyedLastRecordWinsYellowForContacts)
{
    QvTooth* t21 = Tooth(21);
    QvTooth* t22 = Tooth(22);
    QvTooth* t11 = Tooth(11);
    QvTooth* t41 = Tooth(41);
    QvTooth* t42 = Tooth(42);
    Gap(t21, t22, 0.1, QvPoint(1, 0, 0));
    Gap(t11, t21, 0.2, QvPoint(2, 0, 0), kQvGapKindContact);
    Gap(t22, t21, 0.6, QvPoint(3, 0, 0)); // key 22 again: replaces the first
    Gap(t42, t41, 0.4, QvPoint(4, 0, 0));
    QvCacheStuff* view = aux->GetViewCache(1);
    view->ShowAdjacent(Gaps());
    std::vector<std::string> texts;
    for (QvAuxObject* obj : view->m_adjacentObjs)
    {
        auto* n = dynamic_cast<QvAuxNotation*>(obj);
        ASSERT_NE(n, nullptr); // same-jaw pairs: no contact maps
        texts.push_back(n->mtexts[0]);
        EXPECT_EQ(Rgb(n->m_clr), Rgb(n->mtexts[0] == "0.2" ? QvColor(255, 255, 0) : QvColor(0, 255, 0)));
    }
    // Upper 21 then 22, lower 42.
    EXPECT_EQ(texts, (std::vector<std::string>{"0.2", "0.6", "0.4"}));
}

TEST_F(OverlayTest, IprStarsByStepAndSkipsExtractedTeeth)
{
    QvScheme scheme;
    QvTooth* t11 = Tooth(11, QvPoint(-2, 0, 0));
    QvTooth* t12 = Tooth(12, QvPoint(-6, 0, 0));
    QvTooth* t21 = Tooth(21, QvPoint(2, 0, 0));
    QvTooth* t22 = Tooth(22, QvPoint(6, 0, 0));
    QvTooth* t23 = Tooth(23, QvPoint(9, 0, 0));
    std::map<std::int32_t, std::vector<QvIprEntry>> iprs;
    iprs[2].push_back(QvIprEntry(t11, t12, 2, 0.25));
    iprs[5].push_back(QvIprEntry(t11, t21, 5, 0.3));
    iprs[9].push_back(QvIprEntry(t21, t22, 9, 0.44));
    iprs[9].push_back(QvIprEntry(t22, t23, 9, 0.5));
    scheme.GetExtractedTeeth().insert(t23);

    const auto dir = std::filesystem::temp_directory_path() / ("rivela_ipr_" + std::to_string(::getpid()));
    QvLog::Instance().ResetForTests();
    ASSERT_TRUE(QvLog::Instance().Open(dir.string(), "ipr.log"));

    QvCacheStuff* view = aux->GetViewCache(0);
    view->m_pScheme = &scheme;
    view->ShowIPR(iprs, 5, QvColor(0, 255, 255));
    QvLog::Instance().ResetForTests();
    std::ifstream log(dir / "ipr.log");
    std::stringstream lines;
    lines << log.rdbuf();
    std::filesystem::remove_all(dir);
    EXPECT_NE(lines.str().find("Invalid tooth, maybe extracted!"), std::string::npos);

    struct Mark
    {
        int fdi;
        std::string star, rest;
        int type;
        int index;
    };
    // Keys 12, 21, 22 in arch order.
    const Mark expected[] = {{12, "*", "0.2", 1, 1}, {21, "*", "0.3", 0, 3}, {22, "0.4", "", -1, 3}};
    ASSERT_EQ(view->m_iprMarks.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
    {
        const QvIprMark& m = view->m_iprMarks[i];
        EXPECT_EQ(m.m_fdi, expected[i].fdi);
        EXPECT_EQ(m.m_pLabel->mtexts[0], expected[i].star);
        EXPECT_EQ(m.m_pLabel->mtexts[1], expected[i].rest);
        EXPECT_EQ(m.m_pLabel->m_preFixesType, expected[i].type);
        EXPECT_EQ(m.m_pLabel->m_index, expected[i].index);
    }
    // The 11-21 mark points between the two crowns.
    EXPECT_NEAR(view->m_iprMarks[1].m_position[0], 0.0, 1e-9);
    view->HideIPR();
    EXPECT_TRUE(view->m_iprMarks.empty());
    EXPECT_TRUE(aux->GetObjects().empty());
}

TEST_F(OverlayTest, CircularArchFansLabelsOutAlongRadii)
{
    // Upper teeth 17..11, 21..27 on a circle about the origin, in the world frame.
    const double radius = 25.0;
    std::vector<QvArchLabel> labels;
    const int fdis[] = {17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27};
    for (int i = 0; i < 14; ++i)
    {
        const double a = 3.14159265358979 * (0.1 + 0.8 * i / 13.0);
        labels.push_back(QvArchLabel{QvPoint(-radius * std::cos(a), radius * std::sin(a), 0.0), 0.1, fdis[i], 0});
    }
    std::vector<QvPoint> out;
    QvCacheStuff* view = aux->GetViewCache(0);
    view->LayoutArchLabels(labels, out);
    ASSERT_EQ(out.size(), labels.size());
    for (std::size_t i : {std::size_t{0}, labels.size() - 1})
    {
        QvVector radial = labels[i].m_point - QvPoint();
        radial.Normalize();
        const QvPoint want = labels[i].m_point + radial * 10.0;
        EXPECT_NEAR(out[i].Distance(want), 0.0, 1e-6) << i;
    }
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i].Distance(labels[i].m_point), 10.0, 1e-9);
    // A single record: straight out from the centre, no division by a zero span.
    out.clear();
    view->LayoutArchLabels({labels[3]}, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(out[0].Distance(labels[3].m_point), 10.0, 1e-9);
}

TEST_F(OverlayTest, ViewsKeepSeparateOverlaysAndClearIsRepeatable)
{
    QvTooth* t11 = Tooth(11);
    QvTooth* t21 = Tooth(21);
    Gap(t11, t21, 0.2, QvPoint(1, 0, 0));
    QvCacheStuff* a = aux->GetViewCache(0);
    QvCacheStuff* b = aux->GetViewCache(1);
    EXPECT_EQ(aux->GetViewCache(0), a);
    EXPECT_NE(a, b);
    a->ShowAdjacent(Gaps());
    b->ShowAdjacent(Gaps());
    a->HideAdjacent();
    ASSERT_EQ(b->m_adjacentObjs.size(), 1u);
    EXPECT_EQ(aux->GetObjects().count(b->m_adjacentObjs[0]), 1u);

    cache->m_pModel = &model;
    cache->ShowGrid(true);
    cache->ShowGrid(true);
    EXPECT_EQ(aux->GetObjects().size(), 2u); // one grid and b's label
    cache->Clear();
    cache->Clear();
    EXPECT_EQ(cache->m_pGrid, nullptr);
    EXPECT_EQ(cache->m_pModel, &model);
    EXPECT_EQ(cache->m_fontPath, RIVELA_FONT_PATH);
    cache->ShowGrid(false);
    EXPECT_EQ(cache->GetAnchorPoint(t11, true), QvPoint());
    cache->m_pModel = nullptr;
}

} // namespace
