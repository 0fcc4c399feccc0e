// SPDX-License-Identifier: GPL-3.0-or-later
// The overlay cache's reference geometry, screen texts and arch widths on the demo
// case, the pipe line's tube and buffers, and the point marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvImage.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxMarker.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxPipeLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/render/aux/tests/AuxFixture.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"

using namespace aux_test;

namespace
{

class RefOverlayTest : public AuxFixture
{
protected:
    void SetUp() override
    {
        AuxFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(BuildSmallDemo(demo));
        StartAux(200, 200);
        cache = &QvCacheStuff::Instance();
        cache->m_pModel = demo.model.get();
        cache->m_fontPath = RIVELA_FONT_PATH;
    }
    void TearDown() override
    {
        cache->Clear();
        cache->m_pModel = nullptr;
        cache->m_fontPath.clear();
        AuxFixture::TearDown();
    }

    bool Registered(const QvAuxObject* obj) const
    {
        const auto& set = aux->GetObjects();
        const auto& tex = aux->GetTextures();
        return std::any_of(set.begin(), set.end(), [&](const QvAuxObject* o) { return o == obj; }) ||
               std::find(tex.begin(), tex.end(), obj) != tex.end();
    }
    template <typename T> int CountRegistered() const
    {
        int n = 0;
        for (const QvAuxObject* obj : aux->GetObjects())
            n += dynamic_cast<const T*>(obj) != nullptr;
        return n;
    }

    qvtest::DemoCase demo;
    QvCacheStuff* cache = nullptr;
};

TEST_F(RefOverlayTest, PlanesAndArchFormsOfTheCaseAndItsScheme)
{
    QvJawRef* ref = demo.model->GetJawRef();
    ASSERT_NE(ref, nullptr);
    // The demo has a mid-sagittal plane only.
    cache->ShowBackPlane(true);
    EXPECT_EQ(cache->m_pBackPlane, nullptr);
    cache->ShowMidPlane(true);
    ASSERT_NE(cache->m_pMidPlane, nullptr);
    EXPECT_TRUE(Registered(cache->m_pMidPlane));
    EXPECT_EQ(Rgb(cache->m_pMidPlane->m_clr), Rgb(QvColor(100, 200, 100)));
    QvFrame mid;
    double size = 0.0;
    ASSERT_TRUE(ref->GetMiddlePlane(mid, size));
    EXPECT_LT(cache->m_pMidPlane->m_corners[2].Distance(mid.m_centre + (mid.m_dirX + mid.m_dirY) * size), 1e-9);

    const QvFrame beauty(QvPoint(0, 20, 10), QvVector(1, 0, 0), QvVector(0, 0, 1));
    ref->SetBeautyPlane(beauty, {QvPoint(0, 20, 0), QvPoint(5, 20, 0), QvPoint(-5, 20, 0)}, {}, 30.0);
    cache->ShowBeautyPlane(true);
    cache->ShowBeautyPlane(true);
    EXPECT_EQ(cache->m_beautyPoints.size(), 3u);
    EXPECT_EQ(CountRegistered<QvAuxPoint>(), 3);
    EXPECT_EQ(CountRegistered<QvAuxPlane>(), 2);
    cache->ShowBeautyPlane(false);
    EXPECT_EQ(CountRegistered<QvAuxPoint>(), 0);
    EXPECT_TRUE(cache->m_beautyPoints.empty());

    cache->m_pScheme = demo.scheme;
    cache->ShowUpperOcclusalPlane(true);
    cache->ShowLowerOcclusalPlane(true);
    cache->ShowUpperArchForm(true);
    cache->ShowLowerArchForm(true);
    ASSERT_NE(cache->m_pUpperOcclusalPlane, nullptr);
    ASSERT_NE(cache->m_pLowerArchForm, nullptr);
    EXPECT_EQ(Rgb(cache->m_pUpperOcclusalPlane->m_clr), Rgb(QvColor(0, 255, 0)));
    EXPECT_EQ(Rgb(cache->m_pLowerOcclusalPlane->m_clr), Rgb(QvColor(0, 0, 255)));
    EXPECT_EQ(Rgb(cache->m_pUpperArchForm->m_clr), Rgb(QvColor(0, 255, 0)));
    EXPECT_NE(cache->m_pUpperArchForm->m_pMesh, nullptr);
    EXPECT_EQ(cache->m_pUpperArchForm->m_tubeStyle, 1);
    EXPECT_TRUE(cache->m_pLowerArchForm->m_bDrawHidden);
    Frame();

    // A show without a scheme plane adds nothing; Clear takes everything, twice.
    QvScheme empty;
    cache->m_pScheme = &empty;
    cache->ShowUpperOcclusalPlane(true);
    EXPECT_EQ(cache->m_pUpperOcclusalPlane, nullptr);
    cache->Clear();
    cache->Clear();
    EXPECT_EQ(cache->m_pMidPlane, nullptr);
    EXPECT_EQ(cache->m_pLowerArchForm, nullptr);
    EXPECT_EQ(cache->m_pScheme, nullptr);
    EXPECT_EQ(cache->m_pModel, demo.model.get());
    EXPECT_EQ(cache->m_fontPath, RIVELA_FONT_PATH);
    EXPECT_TRUE(aux->GetObjects().empty());
}

TEST_F(RefOverlayTest, CaseImagesAreKeptWhileHiddenAndDeletedByClear)
{
    auto* record = new QvPatientImage;
    record->m_pImage = new QvImage(8, 4, 32);
    demo.model->GetPatientInfo()->SetImage(3, record);
    cache->ShowCaseImage2(true);
    EXPECT_EQ(cache->m_pImageTexture2, nullptr);
    cache->ShowCaseImage3(true);
    QvAuxTexture* texture = cache->m_pImageTexture3;
    ASSERT_NE(texture, nullptr);
    EXPECT_TRUE(Registered(texture));
    EXPECT_FALSE(texture->IsShown());
    EXPECT_EQ(texture->m_mode, 2);
    cache->ShowCaseImage3(false);
    EXPECT_FALSE(Registered(texture));
    EXPECT_EQ(cache->m_pImageTexture3, texture);
    cache->ShowCaseImage3(true);
    EXPECT_EQ(cache->m_pImageTexture3, texture);
    EXPECT_TRUE(Registered(texture));
    cache->ShowCaseImage3(false);
    // Hidden now: Clear still deletes it (the leak check would report it otherwise).
    cache->Clear();
    EXPECT_EQ(cache->m_pImageTexture3, nullptr);
}

TEST_F(RefOverlayTest, FaccCurvesFollowTheToothAndMarksSkipStateFour)
{
    QvTooth* skipped = demo.model->FindTooth(11);
    ASSERT_NE(skipped, nullptr);
    ASSERT_NE(skipped->GetToothRef(), nullptr);
    const int state = skipped->GetState();
    skipped->SetState(kQvToothNotMeasured);

    cache->ShowFaccCurves(true);
    std::size_t withCurve = 0;
    for (QvEntity* e : demo.model->m_teeth)
        if (auto* t = dynamic_cast<QvTooth*>(e))
            withCurve += t->GetToothRef() != nullptr && t->GetToothRef()->GetFacc().m_pCurve != nullptr;
    ASSERT_GT(withCurve, 0u);
    EXPECT_EQ(cache->m_faccCurves.size(), withCurve);
    EXPECT_TRUE(aux->GetObjects().empty());
    std::vector<QvAuxObject*> drawn;
    cache->CollectToothLabels(skipped, drawn);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0], cache->m_faccCurves.at(skipped));
    EXPECT_FALSE(drawn[0]->m_bHitable);

    cache->ShowToothRefMarks(true);
    ASSERT_FALSE(cache->m_toothRefMarks.empty());
    for (const auto& [obj, ref] : cache->m_toothRefMarks)
    {
        EXPECT_NE(ref->GetTooth(), skipped);
        EXPECT_TRUE(Registered(obj));
        EXPECT_FALSE(obj->m_bHitable);
    }
    cache->ShowToothRefMarks(true);
    EXPECT_EQ(aux->GetObjects().size(), cache->m_toothRefMarks.size());
    cache->Clear();
    EXPECT_TRUE(cache->m_faccCurves.empty());
    EXPECT_TRUE(aux->GetObjects().empty());
    skipped->SetState(state);
}

TEST_F(RefOverlayTest, ScreenTextsHideInTheirViewsAndLeaveNoHiddenOwnerBehind)
{
    views->ToTwoCompView();
    cache->ShowCompareTexts();
    cache->ShowCompareTexts();
    ASSERT_EQ(cache->m_screenTexts.size(), 2u);
    cache->ShowTestText(true);
    cache->ShowTitle("Plan A", true, false);
    cache->ShowWatermark(true);
    cache->ShowCaption("Step 3");
    ASSERT_NE(cache->m_pTitleText2, nullptr);
    EXPECT_GT(cache->m_pTitleText2->m_textImageWidth, 0);
    EXPECT_EQ(aux->GetTextures().size(), 7u);

    struct Case
    {
        QvAuxObject* text;
        bool hidden0, hidden1;
    };
    const Case cases[] = {
        {cache->m_screenTexts[0], false, true}, {cache->m_screenTexts[1], true, false},
        {cache->m_pTestText, false, true},      {cache->m_pTitleText1, true, false},
        {cache->m_pTitleText2, true, false},    {cache->m_pWatermark, false, true},
        {cache->m_pCaption, true, false},
    };
    std::vector<std::set<QvEntity*>> owners;
    for (const Case& c : cases)
    {
        owners.push_back(c.text->m_pRelEntites);
        EXPECT_EQ(views->GetView(0)->GetDrawInfo()->IsAllHidden(c.text->m_pRelEntites), c.hidden0);
        EXPECT_EQ(views->GetView(1)->GetDrawInfo()->IsAllHidden(c.text->m_pRelEntites), c.hidden1);
    }
    cache->ShowScreenRect(true);
    ASSERT_NE(cache->m_pScreenRect, nullptr);
    EXPECT_EQ(cache->m_pScreenRect->m_alpha, 130);
    Frame();
    cache->Clear();
    EXPECT_TRUE(aux->GetTextures().empty());
    EXPECT_EQ(cache->m_pScreenRect, nullptr);
    // Deleted owners leave no view's hidden set (only their addresses are compared).
    for (const auto& set : owners)
        for (QvView* view : views->GetViews())
            EXPECT_FALSE(view->GetDrawInfo()->IsAllHidden(set));
}

TEST_F(RefOverlayTest, ArchWidthsOfStepZeroFromTheMeasureStore)
{
    cache->m_pScheme = demo.scheme;
    cache->ShowArchWidths(true);
    EXPECT_TRUE(cache->m_distanceLabels.empty());

    auto* measure = new QvDentalMeasure(demo.model.get(), 0);
    measure->SetArchWidth(0, QvArchWidth{43.358, QvPoint(-21.679, 5, 0), QvPoint(21.679, 5, 0)});
    measure->SetArchWidth(3, QvArchWidth{52.004, QvPoint(-26.002, -20, -4), QvPoint(26.002, -20, -4)});
    QvGetDentalMeasureMgr(*demo.scheme).SetMeasure(0, measure);
    cache->ShowArchWidths(true);
    cache->ShowArchWidths(true);
    ASSERT_EQ(cache->m_distanceLabels.size(), 8u);
    std::vector<std::string> texts;
    for (QvAuxObject* obj : cache->m_distanceLabels)
    {
        EXPECT_TRUE(Registered(obj));
        if (auto* line = dynamic_cast<QvAuxLine*>(obj))
        {
            EXPECT_EQ(Rgb(line->m_clr), Rgb(QvColor(44, 143, 211)));
        }
        if (auto* label = dynamic_cast<QvAuxNotation*>(obj))
            texts.push_back(label->mtexts[0]);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"43.36mm", "52.00mm"}));
    // The upper width goes with the upper teeth, the lower one with the lower teeth.
    const QvAuxObject* upper = cache->m_distanceLabels[0];
    const QvAuxObject* lower = cache->m_distanceLabels[4];
    for (QvEntity* e : demo.model->m_teeth)
    {
        const int fdi = static_cast<QvTooth*>(e)->GetFdi();
        const bool isUpper = fdi / 10 == 1 || fdi / 10 == 2;
        EXPECT_EQ(upper->m_pRelEntites.count(e), isUpper ? 1u : 0u) << fdi;
        EXPECT_EQ(lower->m_pRelEntites.count(e), isUpper ? 0u : 1u) << fdi;
    }
    cache->ShowArchWidths(false);
    EXPECT_TRUE(cache->m_distanceLabels.empty());
    EXPECT_TRUE(aux->GetObjects().empty());
}

TEST_F(RefOverlayTest, PipeLineRebuildsItsTubeAndDropsTheOldBuffersFirst)
{
    ASSERT_NE(demo.scheme->m_pArchForm1, nullptr);
    QvBSplineCurve* curve = &demo.scheme->m_pArchForm1->GetCurve();
    auto* pipe = new QvAuxPipeLine;
    pipe->m_tubeStyle = 1;
    pipe->m_clr = QvColor(0, 255, 0);
    pipe->SetCurve(curve);
    ASSERT_NE(pipe->m_pMesh, nullptr);
    // The first ring lies 0.15 around the curve's start.
    const QvPoint start = curve->Evaluate(curve->m_knots[0]);
    int ring = 0;
    for (const QvVertex& v : pipe->m_pMesh->m_vertices)
        ring += std::fabs(v.m_point.Distance(start) - 0.15) < 1e-6;
    EXPECT_GE(ring, 8);

    aux->AddObject(pipe);
    QvVBOHandleMgr* mgr = QvVBOHandleMgr::Instance();
    Frame();
    ASSERT_NE(mgr->Find(pipe->m_pMesh), nullptr);
    const std::size_t handles = mgr->GetHandleCount();
    pipe->SetCurve(curve); // under ASan a stale handle of the old mesh would be read at the next draw
    EXPECT_EQ(mgr->GetHandleCount(), handles - 1);
    Frame();
    EXPECT_EQ(mgr->GetHandleCount(), handles);
    EXPECT_FALSE(pipe->HitTest(100, 100));
    pipe->SetCurve(nullptr);
    EXPECT_EQ(pipe->m_pMesh, nullptr);
    EXPECT_EQ(mgr->GetHandleCount(), handles - 1);
}

TEST_F(RefOverlayTest, MarkerRectanglesAndColours)
{
    QvAuxMarker marker;
    marker.SetWindowRect(QvPoint(50, 60, 0), 20, 10);
    EXPECT_TRUE(marker.HitTest(59, 64));
    EXPECT_FALSE(marker.HitTest(61, 60));
    EXPECT_EQ(marker.m_screenRect.m_topLeft.x, 40);
    EXPECT_EQ(marker.m_screenRect.m_bottomRight.y, 65);
    marker.MoveBy(QvPoint(60, 60, 0), 10, 0);
    EXPECT_TRUE(marker.HitTest(69, 60));
    marker.SetShape(QvAuxMarker::kNone);
    EXPECT_FALSE(marker.HitTest(0, 0));
    EXPECT_FALSE(marker.HitTest(60, 60));

    marker.SetWindowCircle(QvPoint(100, 100, 0), 6);
    marker.SetSelected(true);
    EXPECT_EQ(Rgb(marker.FigureColor(true)), Rgb(QvColor(0, 0, 255)));
    marker.SetSelected(false);
    EXPECT_EQ(Rgb(marker.FigureColor(false)), Rgb(QvColor(255, 0, 0)));
    marker.m_caption = "?";
    marker.SetCaptionBitmap(8, 8, 8, 8, {0xFF});
    EXPECT_EQ(marker.m_bitmap.size(), 64u);
    aux->DrawObjectInActiveView(&marker);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
