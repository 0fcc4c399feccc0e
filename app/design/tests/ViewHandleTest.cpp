// SPDX-License-Identifier: GPL-3.0-or-later
// The view bridge and the navigation of the views on the demo case, opened through
// the document manager and drawn headless (OSMesa), with pictures of the two-view
// compare and the bracket layout for people to look at.
#include "app/design/tests/DesignTestSupport.h"

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVDMViewHandle.h"
#include "core/base/QvObject.h"
#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachment.h"
#include "core/model/QvGum.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStep.h"
#include "core/scheme/QvTreatStepList.h"
#include "testing/OffscreenGL.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace designtest;

namespace {

// Odd sizes put the trackball's centre on a pixel.
constexpr int kWidth = 481;
constexpr int kHeight = 361;

struct Window3D : RVDMDrawDelegate {
    int currentStep() override { return step; }
    void displayModel() override { ++draws; }
    QvAuxRender* auxRender() override { return QvRenderStatus::Instance()->GetAuxRender(); }
    int step = 0;
    int draws = 0;
};

struct Bar : RVDMToolBarState {
    bool isAttachmentChecked() const override { return attachments; }
    bool isCompareChecked() const override { return compare; }
    bool isCollisionChecked() const override { return overlays; }
    bool isGapChecked() const override { return overlays; }
    bool isIPRChecked() const override { return overlays; }
    void setCompareChecked(bool on) override { compare = on; }
    void uncheckCollisionAndGap() override {}
    bool attachments = true, compare = false, overlays = false;
};

struct SubBar : RVDMSubToolBarState {
    bool gumState() const override { return gum; }
    void setGumState(bool on) override { gum = on; }
    bool enableTwoCompView() const override { return true; }
    void setEnableTwoCompView(bool) override {}
    bool gum = true;
};

bool SameMatrix(const QvMatrix& a, const QvMatrix& b, double tolerance = 1e-9)
{
    if (a.Rows() != b.Rows() || a.Cols() != b.Cols())
        return false;
    for (int i = 0; i < a.Rows(); ++i)
        for (int j = 0; j < a.Cols(); ++j)
            if (std::fabs(a[i][j] - b[i][j]) > tolerance)
                return false;
    return true;
}

bool IsZero(const QvMatrix& m)
{
    for (int i = 0; i < m.Rows(); ++i)
        for (int j = 0; j < m.Cols(); ++j)
            if (m[i][j] != 0.0)
                return false;
    return m.Rows() > 0;
}

class ViewHandleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVModelManager::shared().ResetForTests();
        ResetStandin();
        const auto info = Case(kRVModelStepAnimation, 7004, "demo.OS");
        ASSERT_EQ(OpenOnWorker(info->openURL, nullptr, info), 0u);
        model = RVDMViewHandle::getModel();
        ASSERT_NE(model, nullptr);
        scheme = RVDMViewHandle::currentDocument()->currentScheme();
        ASSERT_NE(scheme, nullptr);

        gl = std::make_unique<rivela::testing::OffscreenGL>(kWidth, kHeight);
        ASSERT_TRUE(gl->IsValid());
        QvRenderStatus* status = QvRenderStatus::Instance();
        status->ResetForTests();
        status->m_bSmoothNormals = true;
        render = status->GetRender();
        render->SetModel(model);
        ASSERT_TRUE(render->InitRender());
        QvViewManager* views = QvViewManager::Instance();
        views->ResetForTests();
        views->SetSize(kWidth, kHeight);
        views->InitActiveView();
        render->UpdateViewport(kWidth, kHeight);

        RVDMDrawStatus::shared().ResetForTests();
        RVDMOprationManager::shared().ResetForTests();
        window = std::make_shared<Window3D>();
        RVDMDrawStatus::shared().delegate = window;
        for (int id = 0; id < 4; ++id)
            RVDMDrawStatus::shared().setScheme(scheme, id);
        bar = std::make_shared<Bar>();
        sub = std::make_shared<SubBar>();
        RVDMOprationManager::shared().setToolBar(bar);
        RVDMOprationManager::shared().setSubToolBar(sub);
        RVDMViewHandle::setViewRotateType(0);
        RVDMViewHandle::setViewOrient(4);
        RVDMViewHandle::updateView(nullptr, nullptr, 0);
        RVDMViewHandle::viewShowOrient(nullptr, 4);
        Draw();
    }
    void TearDown() override
    {
        if (gl && gl->IsValid()) {
            RVDMViewHandle::clearAllAttachment();
            QvVBOHandleMgr::Instance()->Clear();
            QvViewManager::Instance()->ResetForTests();
            QvRenderStatus::Instance()->ResetForTests();
        }
        RVDMDrawStatus::shared().ResetForTests();
        RVDMOprationManager::shared().ResetForTests();
        RVModelManager::shared().ResetForTests();
    }

    rivela::testing::RgbaImage Draw()
    {
        render->UpdateViewport(kWidth, kHeight);
        render->DrawScene();
        return gl->ReadColor();
    }
    QvView* View(int id) const { return QvViewManager::Instance()->GetView(id); }
    QvTooth* Tooth(int fdi) const { return model->FindTooth(fdi); }
    static QvMatrix StepMatrix(QvScheme& s, int step, const QvToothBase* tooth)
    {
        return *s.FindStep(step, tooth)->GetMatrix();
    }
    const QvMatrix* Placement(QvView* view, QvEntity* entity, bool ghost = false) const
    {
        const QvViewDrawInfo::Entry* entry = view->GetDrawInfo()->FindEntityMatrix(entity, ghost);
        return entry ? &entry->second : nullptr;
    }
    QvAttachment* AttachmentOn(int fdi) const
    {
        for (QvEntity* e : model->m_attachments)
            if (auto* a = dynamic_cast<QvAttachment*>(e); a && a->m_pTooth == Tooth(fdi))
                return a;
        return nullptr;
    }

    QvModel* model = nullptr;
    QvScheme* scheme = nullptr;
    std::unique_ptr<rivela::testing::OffscreenGL> gl;
    QvOpenGLRender* render = nullptr;
    std::shared_ptr<Window3D> window;
    std::shared_ptr<Bar> bar;
    std::shared_ptr<SubBar> sub;
};

// Pixels that differ clearly from the corner: something was drawn.
int Ink(const rivela::testing::RgbaImage& image, int x0, int x1)
{
    const std::uint8_t* corner = image.At(x0 + 1, 1);
    int count = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = x0; x < x1; ++x) {
            const std::uint8_t* p = image.At(x, y);
            if (std::abs(p[0] - corner[0]) + std::abs(p[1] - corner[1]) + std::abs(p[2] - corner[2]) > 60)
                ++count;
        }
    return count;
}

TEST_F(ViewHandleTest, StepsAreClampedAndPlaceTeethGumsAndAttachments)
{
    const int last = scheme->GetStepCount() - 1;
    for (const int step : {0, 3, last, last + 5, 1000}) {
        SCOPED_TRACE(step);
        RVDMViewHandle::updateView(nullptr, nullptr, step);
        const int shown = std::min(step, last);
        const QvMatrix* placed = Placement(View(0), Tooth(11));
        ASSERT_NE(placed, nullptr);
        EXPECT_TRUE(SameMatrix(*placed, StepMatrix(*scheme, shown, Tooth(11))));
        EXPECT_EQ(View(0)->GetDrawInfo()->GetGum(true), scheme->GetGumMgr().FindGum(shown, true));
        // The attachment on 13 lives from step 1 to the upper final step.
        QvAttachment* on13 = AttachmentOn(13);
        EXPECT_EQ(on13 != nullptr, shown >= 1 && shown <= scheme->GetJawLastStep(true) - 3) << shown;
        if (on13) {
            const QvMatrix expected = StepMatrix(*scheme, shown, Tooth(13)) * on13->m_matrix;
            EXPECT_TRUE(SameMatrix(*Placement(View(0), on13), expected));
        }
    }
}

TEST_F(ViewHandleTest, AttachmentsFollowTheToolBarHiddenTeethAndNeverLowerDevices)
{
    // A lower-deviation device on 36 for every step: never shown by a step update.
    QvAttachGeo* device = QvAttachGeoMgr::CreateByKindCode(kQvAttachKindLowerDev);
    ASSERT_NE(device, nullptr);
    QvAttachGeoMgr::Instance().push_back(device);
    auto* attachment = new QvAttachment(device);
    attachment->m_pTooth = Tooth(36);
    attachment->m_nFirstStep = 0;
    attachment->m_nLastStep = scheme->GetStepCount();
    scheme->AddAttachment(Tooth(36), attachment);

    RVDMViewHandle::updateView(View(0), nullptr, 2);
    EXPECT_EQ(std::count(model->m_attachments.begin(), model->m_attachments.end(), attachment), 0);
    EXPECT_NE(AttachmentOn(14), nullptr);

    // A tooth hidden in the view keeps its attachment hidden there.
    View(0)->GetDrawInfo()->HideEntity(Tooth(14));
    RVDMViewHandle::updateView(View(0), nullptr, 3);
    ASSERT_NE(AttachmentOn(14), nullptr);
    EXPECT_FALSE(AttachmentOn(14)->m_state & kQvStateShown);
    EXPECT_TRUE(AttachmentOn(13)->m_state & kQvStateShown);

    bar->attachments = false;
    RVDMViewHandle::updateView(View(0), nullptr, 3);
    EXPECT_TRUE(model->m_attachments.empty());
}

TEST_F(ViewHandleTest, JawButtonsAndGums)
{
    QvView* view = View(0);
    QvViewDrawInfo* info = view->GetDrawInfo();
    // The flag is not used: the upper jaw shows and the lower one hides either way.
    RVDMViewHandle::viewShowUpperJaw(nullptr, false);
    EXPECT_FALSE(info->IsEntityHidden(Tooth(11)));
    EXPECT_TRUE(info->IsEntityHidden(Tooth(31)));
    EXPECT_FALSE(info->IsEntityHidden(model->GetGum(true)));
    EXPECT_TRUE(info->IsEntityHidden(model->GetGum(false)));
    sub->gum = false;
    RVDMViewHandle::viewShowLowerJaw(nullptr, true);
    EXPECT_TRUE(info->IsEntityHidden(Tooth(11)));
    EXPECT_FALSE(info->IsEntityHidden(Tooth(31)));
    EXPECT_TRUE(info->IsEntityHidden(model->GetGum(false))) << "the gum button is off";

    // A jaw whose teeth are all hidden keeps its gum hidden.
    RVDMViewHandle::viewShowJaw(view, false, true, false);
    RVDMViewHandle::viewShowGum(view, true, true);
    EXPECT_TRUE(info->IsEntityHidden(model->GetGum(true)));
    RVDMViewHandle::viewShowJaw(view, true, true, false);
    RVDMViewHandle::viewShowGum(view, true, true);
    EXPECT_FALSE(info->IsEntityHidden(model->GetGum(true)));

    RVDMViewHandle::showJawBone(false);
    for (QvEntity* bone : model->m_jawBones)
        EXPECT_FALSE(bone->m_state & kQvStateShown);
    RVDMViewHandle::hideExtractedTeeth();
    EXPECT_FALSE(Tooth(25)->m_state & kQvStateShown) << "25 is extracted in the scheme";
    EXPECT_TRUE(Tooth(24)->m_state & kQvStateShown);
}

TEST_F(ViewHandleTest, OrientationsExchangeTheSidesAndFitTheModel)
{
    QvView* view = View(0);
    const auto rotationFor = [&](int orientation) {
        RVDMViewHandle::viewShowOrient(view, orientation);
        return view->GetTransform().m_rotation;
    };
    const QvMatrix frame2 = rotationFor(2), frame3 = rotationFor(3), frame4 = rotationFor(4), frame5 = rotationFor(5);
    const struct {
        int asked;
        const QvMatrix* expected;
        int stored;
    } rows[] = {{2, &frame3, 3}, {3, &frame2, 2}, {4, &frame4, 4}, {5, &frame5, 5}};
    for (const auto& row : rows) {
        RVDMViewHandle::viewShowModelOrient(view, row.asked);
        EXPECT_TRUE(SameMatrix(view->GetTransform().m_rotation, *row.expected)) << row.asked;
        EXPECT_EQ(RVDMViewHandle::viewOrient(), row.stored);
    }
    // 0 and 1 are the front; 8 is no orientation and changes nothing.
    for (const int o : {0, 1}) {
        const std::unique_ptr<QvFrame> frame = RVDMViewHandle::getViewFrame(o, false);
        const std::unique_ptr<QvFrame> front = RVDMViewHandle::getViewFrame(4, false);
        ASSERT_TRUE(frame && front);
        EXPECT_TRUE(*frame == *front);
    }
    EXPECT_EQ(RVDMViewHandle::getViewFrame(8, false), nullptr);
    const QvMatrix before = view->GetTransform().m_rotation;
    RVDMViewHandle::viewShowOrient(view, 8);
    EXPECT_TRUE(SameMatrix(view->GetTransform().m_rotation, before));
    EXPECT_EQ(RVDMViewHandle::viewOrient(), 5);
}

TEST_F(ViewHandleTest, CompareGhostsAndTheStepsVirtualTeeth)
{
    window->step = 1000; // beyond the treatment: the bite of the last treatment step
    RVDMViewHandle::showCompareShow(true, View(0), nullptr);
    const int treat = scheme->GetTreatStepCount();
    QvMatrix jaw(4, 4);
    jaw.SetIdentity();
    if (const QvTreatStepList* list = scheme->GetStepList(treat - 1))
        jaw = list->m_jawMatrix;
    ASSERT_FALSE(jaw.IsIdentity()) << "the demo's lower jaw advances at its bite steps";
    const QvMatrix* upper = Placement(View(0), Tooth(11), true);
    const QvMatrix* lower = Placement(View(0), Tooth(31), true);
    ASSERT_TRUE(upper && lower);
    EXPECT_TRUE(SameMatrix(*upper, StepMatrix(*scheme, 0, Tooth(11))));
    EXPECT_TRUE(SameMatrix(*lower, jaw * StepMatrix(*scheme, 0, Tooth(31))));
    RVDMViewHandle::showCompareShow(false, View(0), nullptr);
    EXPECT_EQ(Placement(View(0), Tooth(31), true), nullptr);

    // A tooth that appears during treatment: nothing before its start step.
    auto* pontic = dynamic_cast<QvVirtualTooth*>(scheme->GetVirtualTeeth().front());
    ASSERT_NE(pontic, nullptr);
    pontic->m_nKind = 1;
    pontic->m_nStartStep = 2;
    RVDMViewHandle::updateVirtualTeeth(View(0), nullptr, 1);
    EXPECT_TRUE(IsZero(*Placement(View(0), pontic)));
    RVDMViewHandle::updateVirtualTeeth(View(0), nullptr, 2);
    EXPECT_TRUE(SameMatrix(*Placement(View(0), pontic), StepMatrix(*scheme, 2, pontic) * pontic->m_matrix));
}

TEST_F(ViewHandleTest, OverlaysGoToTheViewsCache)
{
    bar->overlays = true;
    const int last = scheme->GetStepCount() - 1;
    const int treat = scheme->GetTreatStepCount() - 1;
    ASSERT_LT(treat, last);
    QvCacheStuff* cache = QvRenderStatus::Instance()->GetAuxRender()->GetViewCache(0);
    RVDMViewHandle::showAdjacent(true, View(0), nullptr, treat);
    const std::size_t atTreat = cache->m_adjacentObjs.size();
    RVDMViewHandle::showAdjacent(true, View(0), nullptr, last);
    EXPECT_EQ(cache->m_adjacentObjs.size(), atTreat) << "over-correction shows the last treatment step";
    EXPECT_EQ(cache->m_pScheme, scheme);
    EXPECT_EQ(cache->m_pView, View(0));
    // The declared overlap of 11 and 21 shows at its step.
    RVDMViewHandle::updateView(View(0), nullptr, 1);
    EXPECT_FALSE(cache->m_occlusionObjs.empty() && cache->m_adjacentObjs.empty());
    bar->overlays = false;
    RVDMViewHandle::updateAuxLine(View(0), nullptr, 1);
    EXPECT_TRUE(cache->m_adjacentObjs.empty());
    EXPECT_TRUE(cache->m_occlusionObjs.empty());
    EXPECT_TRUE(cache->m_iprMarks.empty());
}

TEST_F(ViewHandleTest, TwoViewCompareSplitsTheJaws)
{
    bar->overlays = true;
    bar->compare = true;
    window->step = 4;
    RVDMViewHandle::toTwoCompView();
    ASSERT_EQ(QvViewManager::Instance()->GetViewCount(), 2u);
    EXPECT_FALSE(bar->compare) << "the compare box is unchecked";
    EXPECT_EQ(QvViewManager::Instance()->m_linkFlags, kQvLinkScale);
    QvViewDrawInfo* left = View(0)->GetDrawInfo();
    QvViewDrawInfo* right = View(1)->GetDrawInfo();
    EXPECT_TRUE(left->IsEntityHidden(Tooth(11)) && !left->IsEntityHidden(Tooth(31)));
    EXPECT_TRUE(right->IsEntityHidden(Tooth(31)) && !right->IsEntityHidden(Tooth(11)));
    // One scheme in both views: upper attachments only on the right, lower only on the left.
    RVDMViewHandle::updateView(nullptr, nullptr, 4);
    ASSERT_TRUE(AttachmentOn(13) && AttachmentOn(36));
    EXPECT_TRUE(left->IsEntityHidden(AttachmentOn(13)) && !right->IsEntityHidden(AttachmentOn(13)));
    EXPECT_TRUE(right->IsEntityHidden(AttachmentOn(36)) && !left->IsEntityHidden(AttachmentOn(36)));
    // Both fitted with 1.75.
    RVDMViewHandle::viewZoomFit();
    EXPECT_DOUBLE_EQ(View(0)->GetTransform().m_scale, View(1)->GetTransform().m_scale);

    const rivela::testing::RgbaImage image = Draw();
    QDir().mkpath(RIVELA_SCREENS_DIR);
    EXPECT_TRUE(rivela::testing::WritePng(std::string(RIVELA_SCREENS_DIR) + "/design-two-view-compare.png", image));
    EXPECT_GT(Ink(image, 0, kWidth / 2), 2000) << "the lower jaw on the left";
    EXPECT_GT(Ink(image, kWidth / 2, kWidth), 2000) << "the upper jaw on the right";

    RVDMViewHandle::toOneCompView();
    EXPECT_EQ(QvViewManager::Instance()->GetViewCount(), 1u);
    EXPECT_EQ(QvViewManager::Instance()->m_linkFlags, 0u);
    EXPECT_FALSE(View(0)->GetDrawInfo()->IsEntityHidden(Tooth(11)));
}

TEST_F(ViewHandleTest, BracketLayoutFitsTheSmallViewsToTheSelectedTooth)
{
    bar->overlays = true;
    RVDMViewHandle::toBracketView();
    ASSERT_EQ(QvViewManager::Instance()->GetViewCount(), 4u);
    for (int id = 1; id <= 3; ++id) {
        EXPECT_TRUE(View(id)->GetDrawInfo()->IsEntityHidden(Tooth(11))) << id;
        EXPECT_TRUE(View(id)->GetDrawInfo()->IsEntityHidden(model->GetGum(true))) << id;
    }
    Tooth(21)->SetSelected(true);
    RVDMViewHandle::viewZoomFit();
    Tooth(21)->SetSelected(false);
    const QvBBox& box = Tooth(21)->m_bbox;
    for (int id = 1; id <= 3; ++id)
        EXPECT_DOUBLE_EQ(View(id)->GetTransform().m_scale, 2.0 / box.GetDiagonal()) << id;
    EXPECT_NE(View(0)->GetTransform().m_scale, View(1)->GetTransform().m_scale);

    RVDMViewHandle::updateView(nullptr, nullptr, 3);
    const rivela::testing::RgbaImage image = Draw();
    QDir().mkpath(RIVELA_SCREENS_DIR);
    EXPECT_TRUE(rivela::testing::WritePng(std::string(RIVELA_SCREENS_DIR) + "/design-bracket-layout.png", image));
    EXPECT_GT(Ink(image, 0, kWidth * 3 / 4 - 2), 4000);
}

TEST_F(ViewHandleTest, RotationModesMovesAndZoom)
{
    QvView* view = View(0);
    QvRenderStatus* status = QvRenderStatus::Instance();
    const QvGDIPoint centre(kWidth / 2, kHeight / 2);
    const auto rotation = [&] { return QvMatrix(view->GetTransform().m_rotation); };

    // An unknown rotate type leaves drags inert.
    RVDMViewHandle::setViewRotateType(3);
    status->m_lastMousePoint = centre;
    QvMatrix before = rotation();
    RVDMViewHandle::viewRotate(nullptr, QvGDIPoint(centre.x + 60, centre.y + 30));
    EXPECT_TRUE(SameMatrix(rotation(), before));

    // A drag without movement turns nothing and leaves the view where it is.
    RVDMViewHandle::setViewRotateType(0);
    const QvVector shift = view->GetTransform().m_translation;
    RVDMViewHandle::viewRotate(nullptr, centre);
    EXPECT_TRUE(SameMatrix(rotation(), before));
    EXPECT_NEAR((view->GetTransform().m_translation - shift).Length(), 0.0, 1e-6);

    const struct {
        int type;
        QvGDIPoint to;
        bool turns;
    } rows[] = {
        {2, {centre.x + 80, centre.y}, false}, // vertical mode, horizontal movement
        {1, {centre.x, centre.y + 80}, false}, // horizontal mode, vertical movement
        {2, {centre.x, centre.y + 80}, true},
        {1, {centre.x + 80, centre.y}, true},
        {0, {centre.x + 40, centre.y + 40}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        RVDMViewHandle::setViewRotateType(row.type);
        Draw();
        status->m_lastMousePoint = centre;
        before = rotation();
        RVDMViewHandle::viewRotate(nullptr, row.to);
        EXPECT_EQ(!SameMatrix(rotation(), before, 1e-12), row.turns);
    }

    // Moves follow the mouse.
    Draw();
    status->m_lastMousePoint = centre;
    const QvVector start = view->GetTransform().m_translation;
    RVDMViewHandle::viewTranslate(nullptr, QvGDIPoint(centre.x + 50, centre.y));
    EXPECT_GT((view->GetTransform().m_translation - start).Length(), 1e-6);

    // Zoom stops at the document's limit and comes back.
    const std::shared_ptr<RivelaDoc> doc = RVDMViewHandle::currentDocument();
    for (int i = 0; i < 200; ++i)
        RVDMViewHandle::scaleView(nullptr, 1.0);
    const double top = view->GetTransform().m_scale;
    EXPECT_LE(top, doc->maxScalaFactor);
    EXPECT_GT(top * 1.05, doc->maxScalaFactor);
    RVDMViewHandle::scaleView(nullptr, 1.0);
    EXPECT_EQ(view->GetTransform().m_scale, top);
    RVDMViewHandle::scaleView(nullptr, -1.0);
    EXPECT_NEAR(view->GetTransform().m_scale, top * 0.95, 1e-12);
}

} // namespace
