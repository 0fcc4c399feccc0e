// SPDX-License-Identifier: GPL-3.0-or-later
// Auxiliary objects on the demo case: a face map follows tooth 11 to its placement at
// the key step, and one object of every kind in the two-view layout against a stored
// picture (RIVELA_UPDATE_BASELINES=1 writes it anew; positions come from the case's
// own placed crowns, so a change of the case moves the objects with the teeth).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "core/model/QvImage.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/render/aux/QvAuxFace.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/tests/AuxFixture.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "testing/SchemeStepView.h"

using namespace aux_test;
using rivela::testing::RgbaImage;

namespace
{
class AuxDemoTest : public AuxFixture
{
protected:
    void Load(int width, int height, bool twoViews)
    {
        ASSERT_NO_FATAL_FAILURE(BuildSmallDemo(demo));
        StartAux(width, height);
        render->SetModel(demo.model.get());
        selector->SetModel(demo.model.get());
        if (twoViews)
            views->ToTwoCompView();
        ASSERT_EQ(qvtest::ShowSchemeStep(*demo.model, *demo.scheme, demo.keyStep), demo.keyStep);
        demo.model->UpdateBBox();
        const QvBBox& box = demo.model->m_bbox;
        for (QvView* view : views->GetViews())
        {
            QvTransform& t = view->GetTransform();
            const QvPoint c = box.GetCentre();
            t.m_translation = QvVector(-c[0], -c[1], -c[2]);
            t.m_scale = 1.7 / std::max(box.m_maxPoint[0] - box.m_minPoint[0], box.m_maxPoint[1] - box.m_minPoint[1]);
            t.m_rotation = QvMatrix(QvVector(1, 0, 0), view->GetID() == 0 ? 0.0 : -1.1);
        }
    }

    // The middle of a tooth's crown box where the key step places it.
    QvPoint Crown(int fdi, const QvMatrix** placement = nullptr)
    {
        QvTooth* tooth = demo.model->FindTooth(fdi);
        EXPECT_NE(tooth, nullptr) << fdi;
        const QvViewDrawInfo::Entry* placed = views->GetView(0)->GetDrawInfo()->FindEntityMatrix(tooth, false);
        const QvMatrix m = placed != nullptr ? placed->second : Translation(0, 0, 0);
        if (placement != nullptr)
            *placement = placed != nullptr ? &placed->second : nullptr;
        const PlacedTriangles t = PlaceTriangles(tooth, *tooth, m);
        return QvPoint((t.lo[0] + t.hi[0]) / 2, (t.lo[1] + t.hi[1]) / 2, (t.lo[2] + t.hi[2]) / 2);
    }

    qvtest::DemoCase demo;
};

std::vector<bool> Mask(const RgbaImage& image, int r, int g, int b)
{
    std::vector<bool> out(static_cast<std::size_t>(image.width * image.height));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
        {
            const std::uint8_t* p = image.At(x, y);
            out[static_cast<std::size_t>(y * image.width + x)] = p[0] == r && p[1] == g && p[2] == b;
        }
    return out;
}

int Count(const std::vector<bool>& m) { return static_cast<int>(std::count(m.begin(), m.end(), true)); }

int Differ(const std::vector<bool>& a, const std::vector<bool>& b)
{
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// Drawn alone the tooth covers what its face map covers with every face listed; the
// map drawn without the step placement lies elsewhere.
TEST_F(AuxDemoTest, FaceMapFollowsToothElevenToItsStepPlacement)
{
    ASSERT_NO_FATAL_FAILURE(Load(320, 320, false));
    QvTooth* tooth = demo.model->FindTooth(11);
    ASSERT_NE(tooth, nullptr);
    // Close in on the crown: one millimetre is 16 pixels.
    QvTransform& t = views->GetActiveView()->GetTransform();
    const QvPoint c = Crown(11);
    t.m_translation = QvVector(-c[0], -c[1], -c[2]);
    t.m_scale = 0.1;
    QvViewDrawInfo* info = views->GetActiveView()->GetDrawInfo();
    std::vector<QvEntity*> all;
    demo.model->GetAllEntities(all);
    info->HideEntities(all);
    info->ShowEntity(tooth);
    ASSERT_TRUE(render->DrawScene());
    const std::vector<std::uint8_t> stencil = gl->ReadStencil();
    std::vector<bool> alone(stencil.size());
    for (std::size_t i = 0; i < stencil.size(); ++i)
        alone[i] = stencil[i] != 0;
    ASSERT_GT(Count(alone), 200);

    info->HideEntity(tooth);
    auto* map = new QvAuxFace(tooth);
    for (int f = 0; f < static_cast<int>(tooth->m_faces.size()); ++f)
        map->m_faces.push_back(f);
    map->m_faces.push_back(static_cast<int>(tooth->m_faces.size()) + 3); // outside the mesh: skipped
    map->m_faces.push_back(-1);
    for (int v = 0; v < static_cast<int>(tooth->m_vertices.size()); ++v)
        map->SetVertexColor(v, QvColor(255, 0, 255));
    aux->AddObject(map);
    const std::vector<bool> mapped = Mask(Frame(), 255, 0, 255);
    const int along = Differ(alone, mapped);
    EXPECT_LT(along, Count(alone) / 20) << Count(alone) << " pixels under the tooth";

    // Without its placement the map stands where the tooth's own coordinates put it.
    const QvMatrix placed = info->FindEntityMatrix(tooth, false)->second;
    info->ClearEntityMatrices(tooth);
    const std::vector<bool> unplaced = Mask(Frame(), 255, 0, 255);
    EXPECT_GT(Differ(unplaced, mapped), 5 * along + 200) << "the key step moves tooth 11";
    info->SetEntityMatrix(tooth, placed, false);
}

// A vertex without a colour draws mid grey; an empty face list draws nothing.
TEST_F(AuxDemoTest, FaceMapWithoutColoursIsMidGrey)
{
    StartAux(100, 100);
    Frame();
    auto* mesh = new QvMesh;
    const int a = mesh->AddVertex(QvPoint(-0.8, -0.8, 0));
    const int b = mesh->AddVertex(QvPoint(0.8, -0.8, 0));
    const int c = mesh->AddVertex(QvPoint(0, 0.8, 0));
    ASSERT_TRUE(mesh->AddFace(a, b, c, 0));
    model.AddEntity(mesh);
    mesh->SetVisible(false); // only the map is drawn
    auto* map = new QvAuxFace(mesh);
    aux->AddObject(map);
    const RgbaImage empty = Frame();
    map->m_faces = {0};
    const RgbaImage grey = Frame();
    const QvGDIPoint centre = render->ProjectInActiveView(QvPoint(0, -0.2, 0));
    EXPECT_EQ(grey.At(centre.x, centre.y)[0], 128);
    EXPECT_EQ(grey.At(centre.x, centre.y)[1], 128);
    EXPECT_NE(empty.At(centre.x, centre.y)[0], 128);
}

QvImage* Checker(int w, int h, int bpp)
{
    auto* image = new QvImage(w, h, bpp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            unsigned char* p = image->GetPixel(x, y);
            const bool on = ((x / 4) + (y / 4)) % 2 == 0;
            p[0] = on ? 250 : 30;
            p[1] = on ? 220 : 60;
            p[2] = static_cast<unsigned char>(on ? 40 : 200);
            p[3] = 255;
        }
    return image;
}

TEST_F(AuxDemoTest, EveryKindInTwoViewsMatchesBaseline)
{
    ASSERT_NO_FATAL_FAILURE(Load(640, 400, true));
    const double pi = 3.14159265358979;
    const QvPoint c21 = Crown(21), c16 = Crown(16), c26 = Crown(26), c13 = Crown(13),
                  c23 = Crown(23), c36 = Crown(36), c46 = Crown(46), c33 = Crown(33);

    auto* stipple = new QvAuxLine;
    stipple->m_type = 0;
    stipple->m_lineWidth = 2.0;
    stipple->m_clr = QvColor(255, 60, 60);
    stipple->m_bFrontMost = true;
    stipple->SetPoints(c16, c26);
    aux->AddObject(stipple);

    auto* arrow = new QvAuxArrow;
    arrow->m_clr = QvColor(60, 160, 255);
    arrow->m_bThick = true;
    arrow->SetPoints(c26 + QvVector(0, 0, 5), c26 + QvVector(9, 0, 5));
    aux->AddObject(arrow);

    auto* sphere = new QvAuxPoint;
    sphere->m_clr = QvColor(40, 220, 90);
    sphere->m_style = 3;
    sphere->m_pos = c21 + QvVector(0, 0, 3);
    aux->AddObject(sphere);
    auto* dot = new QvAuxPoint;
    dot->m_clr = QvColor(255, 255, 255);
    dot->m_style = 4;
    dot->m_bFrontMost = true;
    dot->m_pos = c13;
    aux->AddObject(dot);

    auto* strip = new QvAuxPolyline;
    strip->m_clr = QvColor(255, 140, 0);
    strip->m_bFrontMost = true;
    std::vector<QvPoint> arch;
    for (int fdi : {17, 15, 13, 11, 21, 23, 25, 27})
        if (demo.model->FindTooth(fdi) != nullptr && (demo.model->FindTooth(fdi)->m_state & kQvStateShown) != 0)
            arch.push_back(Crown(fdi) + QvVector(0, 0, 2));
    strip->SetPoints(arch);
    strip->m_marks.assign(arch.size(), 0);
    strip->m_marks[0] = 1;
    strip->m_marks[1] = 2;
    strip->m_marks[2] = 3;
    aux->AddObject(strip);

    auto* plane = new QvAuxPlane;
    plane->m_clr = QvColor(0, 200, 255);
    plane->SetPlane(c13 + QvVector(-4, -4, -1), c23 - c13 + QvVector(8, 0, 0), QvVector(0, 10, 0));
    aux->AddObject(plane);

    auto* rect = new QvAuxPlane2D;
    rect->m_clr = QvColor(255, 255, 0);
    rect->SetRect(QvGDIPoint(10, 390), QvGDIPoint(70, 340));
    aux->AddObject(rect);

    std::unique_ptr<QvImage> checker(Checker(16, 16, 32));
    auto* quad = new QvAuxTexture(true);
    ASSERT_TRUE(quad->SetImage(checker.get()));
    const QvPoint q[4] = {c36 + QvVector(-3, -3, 2), c36 + QvVector(-3, 3, 2), c36 + QvVector(3, 3, 2),
                          c36 + QvVector(3, -3, 2)};
    quad->SetCorners(q);
    quad->m_bFrontMost = true;
    aux->AddObject(quad);

    std::unique_ptr<QvImage> label(Checker(24, 8, 24));
    auto* text = new QvAuxText;
    ASSERT_TRUE(text->SetImage(label.get()));
    text->m_textImageWidth = 48;
    text->m_textImageHeight = 16;
    text->SetPosition(QvGDIPoint(10, 10));
    aux->AddObject(text);

    auto* text3D = new QvAuxText3D;
    ASSERT_TRUE(text3D->SetImage(label.get()));
    text3D->m_size = 6;
    text3D->m_bFrontMost = true;
    text3D->SetPlacement(c46 + QvVector(-3, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
    aux->AddObject(text3D);

    QvTooth* tooth11 = demo.model->FindTooth(11);
    auto* map = new QvAuxFace(tooth11);
    double zMin = 1e300, zMax = -1e300;
    for (const QvVertex& v : tooth11->m_vertices)
    {
        zMin = std::min(zMin, v.m_point[2]);
        zMax = std::max(zMax, v.m_point[2]);
    }
    for (int f = 0; f < static_cast<int>(tooth11->m_faces.size()); f += 2)
        map->m_faces.push_back(f);
    for (int v = 0; v < static_cast<int>(tooth11->m_vertices.size()); ++v)
    {
        const double t = (tooth11->m_vertices[static_cast<std::size_t>(v)].m_point[2] - zMin) / (zMax - zMin);
        map->SetVertexColor(v, QvColor(static_cast<int>(255 * t), 40, static_cast<int>(255 * (1 - t))));
    }
    aux->AddObject(map);

    auto* grid = new QvAuxGrid;
    grid->m_pAssView = views->GetView(1);
    aux->AddObject(grid);

    auto* board = new QvAuxBillBoard;
    board->m_mode = 2;
    std::vector<QvPoint> ring;
    for (int i = 0; i <= 24; ++i)
    {
        const double a = 2 * pi * (i % 24) / 24.0;
        ring.push_back(c33 + QvVector(4 * std::cos(a), 4 * std::sin(a), 6));
    }
    board->AddPolygon(ring);
    board->AddColor(QvColor(120, 200, 120));
    aux->AddObject(board);

    const RgbaImage actual = Frame();
    CheckBaseline(actual, "aux_objects_two_views", 6, 20);
}
} // namespace
