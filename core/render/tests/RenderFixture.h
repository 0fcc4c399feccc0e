// SPDX-License-Identifier: GPL-3.0-or-later
// Headless renderer fixture: an OSMesa context, a fresh render status and view
// manager, a case model holding anonymous entities, and a box drawer for them that
// records what the renderer hands it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/base/QvEntity.h"
#include "core/geometry/QvMatrix.h"
#include "core/model/QvEntityAnonymous.h"
#include "core/model/QvModel.h"
#include "core/render/QvDrawer.h"
#include "core/render/QvDrawerMgr.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "testing/DemoCase.h"
#include "testing/OffscreenGL.h"

namespace render_test
{

inline constexpr GLint kBoxStencil = 9;

// Draws the entity's box, once per placement (or once without), lit in the colour
// given, writing stencil 9. Records each call.
class BoxDrawer : public QvDrawer
{
public:
    struct Call
    {
        QvEntity* entity;
        QvViewDrawInfo* info;
        GLint modelViewDepth;
        bool clip0;
        double clipEquation[4];
        double modelView[16];
    };

    void Draw(QvEntity* entity, QvViewDrawInfo* info) override
    {
        Call call{entity, info, 0, false, {0, 0, 0, 0}, {}};
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &call.modelViewDepth);
        call.clip0 = glIsEnabled(GL_CLIP_PLANE0) == GL_TRUE;
        if (call.clip0)
            glGetClipPlane(GL_CLIP_PLANE0, call.clipEquation);
        glGetDoublev(GL_MODELVIEW_MATRIX, call.modelView);
        calls.push_back(call);

        glStencilFunc(GL_ALWAYS, kBoxStencil, 0xFF);
        const QvViewDrawInfo::MatrixMap& placements = info->GetEntityMatrices(entity);
        if (placements.empty())
        {
            DrawBox(entity->m_bbox, false);
            return;
        }
        for (const auto& [ghost, matrix] : placements)
        {
            double m[16];
            matrix.ToGLMatrix(m);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glMultMatrixd(m);
            DrawBox(entity->m_bbox, ghost);
            glPopMatrix();
        }
    }
    void DrawSelect(QvEntity*, QvGDIPoint*, QvViewDrawInfo*) override {}

    static void DrawBox(const QvBBox& box, bool ghost)
    {
        glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
        if (ghost)
        {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glColor4ub(120, 255, 120, 130);
        }
        else
        {
            glColor3ub(200, 180, 150);
        }
        const QvPoint& a = box.m_minPoint;
        const QvPoint& b = box.m_maxPoint;
        const double x[2] = {a[0], b[0]}, y[2] = {a[1], b[1]}, z[2] = {a[2], b[2]};
        glBegin(GL_QUADS);
        // -z, +z, -x, +x, -y, +y, counter-clockwise seen from outside
        glNormal3d(0, 0, -1);
        glVertex3d(x[0], y[0], z[0]); glVertex3d(x[0], y[1], z[0]); glVertex3d(x[1], y[1], z[0]); glVertex3d(x[1], y[0], z[0]);
        glNormal3d(0, 0, 1);
        glVertex3d(x[0], y[0], z[1]); glVertex3d(x[1], y[0], z[1]); glVertex3d(x[1], y[1], z[1]); glVertex3d(x[0], y[1], z[1]);
        glNormal3d(-1, 0, 0);
        glVertex3d(x[0], y[0], z[0]); glVertex3d(x[0], y[0], z[1]); glVertex3d(x[0], y[1], z[1]); glVertex3d(x[0], y[1], z[0]);
        glNormal3d(1, 0, 0);
        glVertex3d(x[1], y[0], z[0]); glVertex3d(x[1], y[1], z[0]); glVertex3d(x[1], y[1], z[1]); glVertex3d(x[1], y[0], z[1]);
        glNormal3d(0, -1, 0);
        glVertex3d(x[0], y[0], z[0]); glVertex3d(x[1], y[0], z[0]); glVertex3d(x[1], y[0], z[1]); glVertex3d(x[0], y[0], z[1]);
        glNormal3d(0, 1, 0);
        glVertex3d(x[0], y[1], z[0]); glVertex3d(x[0], y[1], z[1]); glVertex3d(x[1], y[1], z[1]); glVertex3d(x[1], y[1], z[0]);
        glEnd();
        glPopAttrib();
    }

    std::vector<Call> calls;
};

// An OSMesa window of the given size with the renderer initialised for it and one main view.
class RenderFixture : public ::testing::Test
{
protected:
    void StartGL(int width, int height)
    {
        gl = std::make_unique<rivela::testing::OffscreenGL>(width, height);
        ASSERT_TRUE(gl->IsValid());
        QvRenderStatus::Instance()->ResetForTests();
        QvViewManager::Instance()->ResetForTests();
        drawer = new BoxDrawer;
        QvDrawerMgr::Instance()->SetDrawer(kQvTypeEntityAnonymous, drawer);
        render = QvRenderStatus::Instance()->GetRender();
        render->SetModel(&model);
        ASSERT_TRUE(render->InitRender());
        views = QvViewManager::Instance();
        views->SetSize(width, height);
        views->InitActiveView();
        render->UpdateViewport(width, height);
    }

    void TearDown() override
    {
        QvDrawerMgr::Instance()->SetDrawer(kQvTypeEntityAnonymous, nullptr);
        QvViewManager::Instance()->ResetForTests();
        // The renderer's textures belong to this context: drop them while it is current.
        QvRenderStatus::Instance()->ResetForTests();
        gl.reset();
    }

    // The demo case at a size the tests draw quickly: 300 faces a crown, 10 steps.
    static void BuildSmallDemo(qvtest::DemoCase& demo)
    {
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = 300;
        options.steps = 10;
        ASSERT_TRUE(qvtest::BuildDemoCase(demo, options));
    }

    // A box entity of the model, owned by the fixture.
    QvEntity* AddBox(const QvPoint& min, const QvPoint& max)
    {
        auto entity = std::make_unique<QvEntityAnonymous>();
        entity->m_bbox.Set(min, max);
        model.AddEntity(entity.get());
        boxes.push_back(std::move(entity));
        return boxes.back().get();
    }

    // After a resize: the 3-D view's order of calls.
    void Resize(int width, int height)
    {
        views->SetSize(width, height);
        if (views->GetViewCount() < 2)
            views->FitSingleView();
        else
            views->LayoutViews();
        render->UpdateViewport(width, height);
    }

    std::vector<std::unique_ptr<QvEntity>> boxes; // outlive the model
    QvModel model;
    std::unique_ptr<rivela::testing::OffscreenGL> gl;
    BoxDrawer* drawer = nullptr;
    QvOpenGLRender* render = nullptr;
    QvViewManager* views = nullptr;
};

inline QvMatrix Translation(double x, double y, double z)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

#ifdef RIVELA_RENDER_BASELINE_DIR
// Compares a picture with the stored baseline NAME.png: more than allowedPixels pixels
// off by more than tolerance in a channel fail, and the actual picture and the
// difference are written to the temporary folder. RIVELA_UPDATE_BASELINES=1 writes the
// baseline anew and skips the test.
inline void CheckBaseline(const rivela::testing::RgbaImage& actual, const std::string& name, int tolerance,
                          int allowedPixels)
{
    const std::string baseline = std::string(RIVELA_RENDER_BASELINE_DIR) + "/" + name + ".png";
    const char* update = std::getenv("RIVELA_UPDATE_BASELINES");
    if (update != nullptr && std::string(update) == "1")
    {
        ASSERT_TRUE(rivela::testing::WritePng(baseline, actual));
        GTEST_SKIP() << "baseline written to " << baseline;
    }
    rivela::testing::RgbaImage expected;
    ASSERT_TRUE(rivela::testing::ReadPng(baseline, expected)) << baseline;
    const rivela::testing::ImageDiff diff = rivela::testing::CompareImages(actual, expected, tolerance);
    ASSERT_TRUE(diff.sizeMatches);
    if (diff.pixelsOverTolerance > allowedPixels)
    {
        const std::string out = ::testing::TempDir() + "rivela_render_" + name;
        rivela::testing::WritePng(out + "_actual.png", actual);
        rivela::testing::WritePng(out + "_diff.png", diff.diff);
        ADD_FAILURE() << diff.pixelsOverTolerance << " pixels differ (largest channel difference "
                      << diff.maxChannelDelta << "); see " << out << "_actual.png and " << out << "_diff.png";
    }
}
#endif

} // namespace render_test
