// SPDX-License-Identifier: GPL-3.0-or-later
// The overlays a doctor reads each step, on the demo case: the two-view layout with
// step 0 beside the key step (FDI labels, grid, the key step's adjacent contacts and
// both views' IPR marks), and the bite step with its occlusion overlay; each against
// a stored picture (RIVELA_UPDATE_BASELINES=1 writes them anew). Every blue label
// pixel must lie inside the projected quad of a tooth's label.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxPipeLine.h"
#include "core/render/aux/QvAuxTransform.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/render/aux/tests/AuxFixture.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "testing/SchemeStepView.h"

using namespace aux_test;
using rivela::testing::RgbaImage;

namespace
{

class OverlayDemoTest : public AuxFixture
{
protected:
    void Load(int width, int height, bool twoViews, int step)
    {
        ASSERT_NO_FATAL_FAILURE(BuildSmallDemo(demo));
        StartAux(width, height);
        render->SetModel(demo.model.get());
        selector->SetModel(demo.model.get());
        if (twoViews)
            views->ToTwoCompView();
        ASSERT_EQ(qvtest::ShowSchemeStep(*demo.model, *demo.scheme, step), step);
        demo.model->UpdateBBox();
        const QvBBox& box = demo.model->m_bbox;
        for (QvView* view : views->GetViews())
        {
            QvTransform& t = view->GetTransform();
            const QvPoint c = box.GetCentre();
            t.m_translation = QvVector(-c[0], -c[1], -c[2]);
            // From the front, close enough that the 2 mm labels are read at full size.
            t.m_scale = 4.0 / std::max(box.m_maxPoint[0] - box.m_minPoint[0], box.m_maxPoint[1] - box.m_minPoint[1]);
            // Occlusal direction +z up on the screen, the incisors (+y) towards the eye.
            t.m_rotation = QvMatrix(QvVector(0, 0, 1), 3.14159265358979) * QvMatrix(QvVector(1, 0, 0), 1.45);
        }
        cache = &QvCacheStuff::Instance();
        cache->m_pModel = demo.model.get();
        cache->m_fontPath = RIVELA_FONT_PATH;
    }

    void TearDown() override
    {
        if (cache != nullptr)
        {
            cache->Clear();
            cache->ShowFDI(false);
            cache->m_pModel = nullptr;
            cache->m_fontPath.clear();
        }
        AuxFixture::TearDown();
    }

    QvMatrix Placement(QvView* view, const QvTooth* tooth)
    {
        const QvViewDrawInfo::Entry* placed = view->GetDrawInfo()->FindEntityMatrix(const_cast<QvTooth*>(tooth), false);
        return placed != nullptr ? placed->second : Translation(0, 0, 0);
    }

    // Crown centre where the view places the tooth.
    QvPoint Placed(QvView* view, const QvTooth* tooth)
    {
        return Placement(view, tooth) * tooth->GetCenterExcludingRoot();
    }

    // A gap record per tooth pair: the point between the placed crowns, the declared
    // amount; with contact maps on the vertices of either tooth within reach of the other.
    QvGapInfo* Pair(QvView* view, int a, int b, double distance, double reach)
    {
        QvTooth* ta = demo.model->FindTooth(a);
        QvTooth* tb = demo.model->FindTooth(b);
        EXPECT_TRUE(ta != nullptr && tb != nullptr) << a << "-" << b;
        if (ta == nullptr || tb == nullptr)
            return nullptr;
        const QvMatrix ma = Placement(view, ta), mb = Placement(view, tb);
        std::vector<QvFace*> faces[2];
        QvGapInfo::ContactMap maps[2];
        QvPoint nearest[2];
        double best = 1e300;
        const QvTooth* teeth[2] = {ta, tb};
        const QvMatrix* m[2] = {&ma, &mb};
        for (int side = 0; side < 2; ++side)
        {
            const QvTooth* self = teeth[side];
            const QvTooth* other = teeth[1 - side];
            std::vector<QvPoint> far;
            for (const QvVertex& v : other->m_vertices)
                far.push_back(*m[1 - side] * v.m_point);
            std::vector<bool> near(self->m_vertices.size(), false);
            for (const QvVertex& v : self->m_vertices)
            {
                const QvPoint p = *m[side] * v.m_point;
                double d = 1e300;
                for (const QvPoint& q : far)
                    d = std::min(d, p.Distance(q));
                if (d < best)
                {
                    best = d;
                    nearest[side] = p;
                }
                if (d < reach)
                {
                    near[static_cast<std::size_t>(v.m_index)] = true;
                    maps[side][const_cast<QvVertex*>(&v)] = d / reach;
                }
            }
            for (const QvFace& f : self->m_faces)
                if (near[static_cast<std::size_t>(f.m_vertices[0])] || near[static_cast<std::size_t>(f.m_vertices[1])] ||
                    near[static_cast<std::size_t>(f.m_vertices[2])])
                    faces[side].push_back(const_cast<QvFace*>(&f));
        }
        const QvPoint between = Placed(view, ta) + (Placed(view, tb) - Placed(view, ta)) * 0.5;
        gaps.push_back(std::make_unique<QvGapInfo>(ta, tb, std::vector<QvGapSegment>{}, faces[0], faces[1], distance,
                                                   maps[0], maps[1], between));
        return gaps.back().get();
    }

    // Every strongly blue pixel of a view lies in the projected quad of some label, and
    // each label seen from the front shows blue in its own quad.
    void CheckLabelPixels(const RgbaImage& image, QvView* view, const std::vector<int>& mustShow)
    {
        struct Quad
        {
            int fdi;
            double x[4], y[4];
        };
        std::vector<Quad> quads;
        for (const auto& [tooth, label] : cache->m_fdiLabels)
        {
            if ((tooth->m_state & kQvStateShown) == 0)
                continue;
            Quad q{tooth->GetFdi(), {}, {}};
            const QvMatrix m = Placement(view, tooth);
            for (int i = 0; i < 4; ++i)
            {
                const QvPoint w = render->ProjectToWindow(view, m * label->m_corners[i]);
                q.x[i] = w[0];
                q.y[i] = image.height - w[1];
            }
            quads.push_back(q);
        }
        auto inside = [](const Quad& q, double px, double py, double margin) {
            double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
            for (int i = 0; i < 4; ++i)
            {
                minX = std::min(minX, q.x[i]), maxX = std::max(maxX, q.x[i]);
                minY = std::min(minY, q.y[i]), maxY = std::max(maxY, q.y[i]);
            }
            return px >= minX - margin && px <= maxX + margin && py >= minY - margin && py <= maxY + margin;
        };
        std::int32_t vp[4];
        view->GetViewport(vp);
        std::map<int, int> perTooth;
        int stray = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
            {
                const std::uint8_t* p = image.At(x, y);
                if (!(p[2] > 200 && p[0] < 60 && p[1] < 60))
                    continue;
                const int glY = image.height - 1 - y;
                if (x < vp[0] || x >= vp[0] + vp[2] || glY < vp[1] || glY >= vp[1] + vp[3])
                    continue;
                bool found = false;
                for (const Quad& q : quads)
                    if (inside(q, x + 0.5, y + 0.5, 2.0))
                    {
                        ++perTooth[q.fdi];
                        found = true;
                    }
                stray += !found;
            }
        EXPECT_EQ(stray, 0) << "view " << view->GetID();
        for (int fdi : mustShow)
            EXPECT_GT(perTooth[fdi], 10) << "label of " << fdi << " in view " << view->GetID();
    }

    qvtest::DemoCase demo;
    QvCacheStuff* cache = nullptr;
    std::vector<std::unique_ptr<QvGapInfo>> gaps;
};

TEST_F(OverlayDemoTest, StepZeroBesideKeyStepWithLabelsGridContactsAndIpr)
{
    ASSERT_NO_FATAL_FAILURE(Load(720, 400, true, demo.keyStep));
    QvView* before = views->GetView(0);
    QvView* key = views->GetView(1);
    // The left view at step 0.
    for (QvEntity* entity : demo.model->m_teeth)
        if (auto* tooth = dynamic_cast<QvTooth*>(entity))
            before->GetDrawInfo()->SetEntityMatrix(tooth, qvtest::DemoStepMatrix(*demo.scheme, tooth, 0), false);

    cache->ShowFDI(true);
    cache->ShowGrid(true);
    ASSERT_EQ(cache->m_fdiLabels.size(), demo.model->m_teeth.size());
    // The key step's same-jaw contacts, as the collision manager would hand them over.
    for (const qvtest::DemoContact& c : demo.contacts)
        if (c.step == demo.keyStep)
            Pair(key, c.fdiA, c.fdiB, c.overlap ? -c.amount : c.amount, 0.6);
    ASSERT_FALSE(gaps.empty());
    std::vector<QvGapInfo*> list;
    for (const auto& g : gaps)
        list.push_back(g.get());
    QvCacheStuff* keyCache = aux->GetViewCache(key->GetID());
    keyCache->m_pModel = demo.model.get();
    keyCache->m_pScheme = demo.scheme;
    keyCache->m_pView = key;
    keyCache->ShowAdjacent(list);

    ASSERT_NE(demo.scheme->m_pClinicalInfo, nullptr);
    const QvIprMap& iprs = demo.scheme->m_pClinicalInfo->GetIprMap();
    int stepOf = 0;
    for (QvView* view : {before, key})
    {
        QvCacheStuff* c = aux->GetViewCache(view->GetID());
        c->m_pModel = demo.model.get();
        c->m_pScheme = demo.scheme;
        c->m_pView = view;
        stepOf = view == before ? 0 : demo.keyStep;
        c->ShowIPR(iprs, stepOf, QvColor(0, 255, 255));
        EXPECT_FALSE(c->m_iprMarks.empty());
        for (const QvIprMark& mark : c->m_iprMarks)
            EXPECT_EQ(mark.m_pLabel->mQvAuxTextureCount, mark.m_step <= stepOf ? 2 : 1);
    }

    const RgbaImage actual = Frame();
    // From the front: the patient's right central on the left.
    const QvTooth* t11 = demo.model->FindTooth(11);
    const QvTooth* t21 = demo.model->FindTooth(21);
    EXPECT_LT(render->Project(before, Placed(before, t11)).x, render->Project(before, Placed(before, t21)).x);
    CheckLabelPixels(actual, before, {11, 21});
    CheckLabelPixels(actual, key, {11, 21});
    CheckBaseline(actual, "overlays_two_views", 6, 40);
}

TEST_F(OverlayDemoTest, BiteStepOcclusionOverlay)
{
    ASSERT_NO_FATAL_FAILURE(Load(480, 400, false, demo.lowerFinalStep + 2));
    QvView* view = views->GetView(0);
    // Opposing pairs of the bite: the molars and the centrals, with their clearance.
    for (auto [a, b] : {std::pair{16, 46}, std::pair{26, 36}, std::pair{11, 41}, std::pair{21, 31}})
    {
        QvTooth* ta = demo.model->FindTooth(a);
        QvTooth* tb = demo.model->FindTooth(b);
        ASSERT_TRUE(ta != nullptr && tb != nullptr);
        const double d = qvtest::DemoClearance(*ta, Placement(view, ta), *tb, Placement(view, tb));
        Pair(view, a, b, std::max(0.0, d), 2.5);
    }
    std::vector<QvGapInfo*> list;
    for (const auto& g : gaps)
        list.push_back(g.get());
    QvCacheStuff* c = aux->GetViewCache(view->GetID());
    c->m_pModel = demo.model.get();
    c->m_pView = view;
    c->ShowOcclusion(list);
    int labels = 0;
    for (QvAuxObject* obj : c->m_occlusionObjs)
        labels += dynamic_cast<QvAuxNotation*>(obj) != nullptr;
    EXPECT_EQ(labels, 4);
    const RgbaImage actual = Frame();
    CheckBaseline(actual, "overlays_occlusion", 6, 40);
}

// Pictures for review: the reference overlays (arch-form tubes, FACC curves drawn
// with the teeth, the upper occlusal plane), step 0's arch widths from the measure
// store and the gizmo on tooth 11, from the front; and the same arch seen from below.
TEST_F(OverlayDemoTest, ReferenceOverlaysArchWidthsAndGizmo)
{
    ASSERT_NO_FATAL_FAILURE(Load(480, 400, false, 0));
    QvView* view = views->GetView(0);
    auto* measure = new QvDentalMeasure(demo.model.get(), 0);
    measure->ComputeArchWidths();
    ASSERT_GE(measure->GetArchWidths().size(), 2u);
    QvGetDentalMeasureMgr(*demo.scheme).SetMeasure(0, measure);
    cache->m_pScheme = demo.scheme;
    cache->ShowUpperArchForm(true);
    cache->ShowLowerArchForm(true);
    cache->ShowFaccCurves(true);
    cache->ShowArchWidths(true);
    ASSERT_NE(cache->m_pUpperArchForm, nullptr);
    ASSERT_FALSE(cache->m_faccCurves.empty());
    ASSERT_EQ(cache->m_distanceLabels.size(), 4 * measure->GetArchWidths().size());

    auto* gizmo = new QvAuxTransform(1, true);
    gizmo->m_handleScale = 8.0;
    const QvTooth* t11 = demo.model->FindTooth(11);
    ASSERT_NE(t11, nullptr);
    gizmo->SetFrame(QvFrame(Placed(view, t11), QvVector(1, 0, 0), QvVector(0, 1, 0)));
    aux->AddObject(gizmo);

    RgbaImage front = Frame();
    auto count = [](const RgbaImage& image, int r, int g, int b) {
        int n = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
            {
                const std::uint8_t* p = image.At(x, y);
                n += std::abs(p[0] - r) < 40 && std::abs(p[1] - g) < 40 && std::abs(p[2] - b) < 40;
            }
        return n;
    };
    // The gizmo's red X arrow and ring, and the arch-width strokes, are on screen.
    EXPECT_GT(count(front, 255, 0, 0), 50);
    EXPECT_GT(count(front, 44, 143, 211), 20);
    rivela::testing::WritePng(::testing::TempDir() + "rivela_overlays_reference_front.png", front);
    CheckBaseline(front, "overlays_reference_front", 6, 40);

    // From below the lower arch: both tubes and the lower widths.
    view->GetTransform().m_rotation = QvMatrix(QvVector(1, 0, 0), 3.14159265358979);
    view->GetTransform().m_scale *= 0.5;
    gizmo->SetVisible(false);
    const RgbaImage below = Frame();
    EXPECT_GT(count(below, 0, 0, 255), 30);
    CheckBaseline(below, "overlays_reference_below", 6, 40);
}

} // namespace
