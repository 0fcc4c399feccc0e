// SPDX-License-Identifier: GPL-3.0-or-later
// Draws a case document at one treatment step into a PNG, headless:
// rivela-render CASE.OS OUT.png [--step N] [--layout 1|2|4] [--orient 0..7] [--width W] [--height H]
// Step -1 (the default is 0) is the last step. Layout 1 is the single view, 2 the
// two-view comparison, 4 the bracket layout; every view shows the step, framed on
// the teeth it draws. --orient turns every view to one of the case's orientations
// (4 front, 2 right, 3 left, 5 back, 6 upper occlusal, 7 lower occlusal); without it
// the views keep the model's own axes. --grow-roots 1 grows the short virtual root
// on every crown that has none, as the case document does when it opens a case.
// --jaw 1 draws the upper jaw alone, --jaw 2 the lower (0, the default: both), so
// that an occlusal view is not hidden behind the other jaw. --tooth FDI draws that
// tooth alone, close up.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/design/QvAttachGeoMgr.h"
#include "core/model/QvModel.h"
#include "core/design/QvAttachment.h"
#include "core/model/QvGum.h"
#include "core/scheme/QvSchemeGums.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualRootCommand.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "core/render/QvViewOrient.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"
#include "testing/OffscreenGL.h"
#include "testing/SchemeStepView.h"

namespace
{
int Usage()
{
    std::fprintf(stderr,
                 "usage: rivela-render CASE.OS OUT.png [--step N] [--layout 1|2|4] [--orient 0..7] [--grow-roots 0|1] "
                 "[--jaw 0|1|2] [--tooth FDI] [--width W] [--height H]\n");
    return 2;
}

bool IsDrawnIn(const QvEntity* entity, const QvView& view)
{
    return (entity->m_state & 0x1001u) == 1u && !view.GetDrawInfo()->IsEntityHidden(entity);
}

// Zooms and moves the view so that the teeth it draws (at their placements in it, as
// its rotation turns them) stand centred and fill nine tenths of it along the side
// that limits them. The model box is no guide:
// it holds the origin and far entities such as the airway and the hinge axis. With no
// tooth to draw the model box is used after all.
void FrameOnTeeth(QvModel& model, QvView& view)
{
    QvTransform& t = view.GetTransform();
    const QvMatrix& r = t.m_rotation;
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
    auto take = [&](const QvPoint& world) {
        for (int i = 0; i < 3; ++i)
        {
            const double v = r[i][0] * world[0] + r[i][1] * world[1] + r[i][2] * world[2];
            lo[i] = std::min(lo[i], v);
            hi[i] = std::max(hi[i], v);
        }
    };
    std::vector<QvEntity*> teeth(model.m_teeth);
    teeth.insert(teeth.end(), model.m_virtualTeeth.begin(), model.m_virtualTeeth.end());
    QvViewDrawInfo* info = view.GetDrawInfo();
    for (QvEntity* entity : teeth)
    {
        auto* tooth = dynamic_cast<QvMesh*>(entity);
        if (tooth == nullptr || !IsDrawnIn(tooth, view))
            continue;
        std::vector<const QvMatrix*> placements;
        if (const QvViewDrawInfo::MatrixMap* placed = info->FindEntityMatrices(tooth))
            for (const auto& [ghost, matrix] : *placed)
                if (!ghost)
                    placements.push_back(&matrix);
        if (placements.empty())
            placements.push_back(nullptr);
        for (const QvMatrix* m : placements)
            for (const QvVertex& v : tooth->m_vertices)
                take(m != nullptr ? *m * v.m_point : v.m_point);
    }
    if (lo[0] > hi[0])
    {
        take(model.m_bbox.m_minPoint);
        take(model.m_bbox.m_maxPoint);
    }
    // The middle of the turned box, back in model coordinates (rotations invert by
    // their transpose).
    const double mid[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    QvPoint centre;
    for (int i = 0; i < 3; ++i)
        centre[i] = r[0][i] * mid[0] + r[1][i] * mid[1] + r[2][i] * mid[2];
    t.m_translation = QvVector(-centre[0], -centre[1], -centre[2]);
    // At zoom 1 the view shows 2 w / m by 2 h / m units, m its shorter side.
    const double w = std::max(1, view.GetWidth()), h = std::max(1, view.GetHeight());
    const double m = std::min(w, h);
    const double spanX = std::max(hi[0] - lo[0], 1e-6), spanY = std::max(hi[1] - lo[1], 1e-6);
    t.m_scale = 0.9 * std::min(2.0 * w / m / spanX, 2.0 * h / m / spanY);
}
// Hides in every view what belongs to the jaw not drawn: teeth, gums, jaw bones and
// the attachments on those teeth.
void HideOtherJaw(QvModel& model, bool drawUpper, QvViewManager& views)
{
    std::vector<QvEntity*> hidden;
    auto other = [drawUpper](const QvToothBase* tooth) { return tooth != nullptr && tooth->IsUpper() != drawUpper; };
    for (const std::vector<QvEntity*>* list : {&model.m_teeth, &model.m_virtualTeeth})
        for (QvEntity* entity : *list)
            if (other(dynamic_cast<QvToothBase*>(entity)))
                hidden.push_back(entity);
    for (QvEntity* entity : model.m_gums)
        if (auto* gum = dynamic_cast<QvGum*>(entity); gum != nullptr && gum->IsUpper() != drawUpper)
            hidden.push_back(entity);
    for (QvEntity* entity : model.m_jawBones)
        if (auto* bone = dynamic_cast<QvJawBone*>(entity); bone != nullptr && bone->IsUpper() != drawUpper)
            hidden.push_back(entity);
    for (QvEntity* entity : model.m_attachments)
        if (auto* attachment = dynamic_cast<QvAttachment*>(entity); attachment != nullptr && other(attachment->m_pTooth))
            hidden.push_back(entity);
    for (QvView* view : views.GetViews())
        view->GetDrawInfo()->HideEntities(hidden);
}
// Hides every entity in every view but the tooth with the FDI number; false when
// the case has no such tooth.
bool HideAllButTooth(QvModel& model, int fdi, QvViewManager& views)
{
    QvEntity* kept = nullptr;
    for (QvEntity* entity : model.m_teeth)
        if (auto* tooth = dynamic_cast<QvTooth*>(entity); tooth != nullptr && tooth->GetFdi() == fdi)
            kept = entity;
    if (kept == nullptr)
        return false;
    std::vector<QvEntity*> all, hidden;
    model.GetAllEntities(all);
    for (QvEntity* entity : all)
        if (entity != nullptr && entity != kept)
            hidden.push_back(entity);
    for (QvView* view : views.GetViews())
        view->GetDrawInfo()->HideEntities(hidden);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string input = argv[1];
    const std::string output = argv[2];
    int step = 0;
    int layout = 1;
    int width = 1280;
    int height = 800;
    int orient = -1;
    bool growRoots = false;
    int jaws = 0;
    int onlyTooth = 0;
    for (int i = 3; i < argc; i += 2)
    {
        if (i + 1 >= argc)
            return Usage();
        char* end = nullptr;
        const long value = std::strtol(argv[i + 1], &end, 10);
        if (end == argv[i + 1] || *end != '\0' || value < -1000000 || value > 1000000)
            return Usage();
        if (std::strcmp(argv[i], "--step") == 0)
            step = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--layout") == 0)
            layout = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--orient") == 0 && value >= 0 && value <= 7)
            orient = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--grow-roots") == 0 && (value == 0 || value == 1))
            growRoots = value == 1;
        else if (std::strcmp(argv[i], "--jaw") == 0 && value >= 0 && value <= 2)
            jaws = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--tooth") == 0 && value >= 11 && value <= 88)
            onlyTooth = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--width") == 0)
            width = static_cast<int>(value);
        else if (std::strcmp(argv[i], "--height") == 0)
            height = static_cast<int>(value);
        else
            return Usage();
    }
    if (width < 16 || height < 16 || width > 8192 || height > 8192 || (layout != 1 && layout != 2 && layout != 4))
        return Usage();

    QvEnsureSchemeFileLink();
    // The attachment templates the case names, from the folder beside it (as the demo
    // writes them); without them its attachments have no shape.
    {
        const std::string::size_type slash = input.find_last_of('/');
        const std::string folder = (slash == std::string::npos ? std::string(".") : input.substr(0, slash)) + "/Attachment";
        QvAttachGeoMgr::ReadFolder(QvAttachGeoMgr::Instance(), folder.c_str());
    }
    QvModel model;
    {
        QvReadWriteFile reader(&model, 0);
        const int result = reader.ReadOS(input);
        if (result != 0)
        {
            std::fprintf(stderr, "rivela-render: cannot read %s (result %d)\n", input.c_str(), result);
            return 1;
        }
    }
    if (growRoots)
        for (QvEntity* entity : model.m_teeth)
        {
            auto* tooth = dynamic_cast<QvTooth*>(entity);
            if (tooth == nullptr || (tooth->m_state & 0x1000u) != 0 || tooth->HasRootFaces())
                continue;
            tooth->UpdateBoundaryLoop();
            const std::vector<int> loop = *tooth->GetBoundaryLoop();
            QvVirtualRootCommand grow(tooth, loop, 2.0, 0.5);
            grow.SetMode(false);
            (void)grow.Execute();
        }
    // The camera distance follows the model box, made of the entities' own boxes.
    std::vector<QvEntity*> entities;
    model.GetAllEntities(entities);
    for (QvEntity* entity : entities)
        if (entity != nullptr)
            entity->UpdateBBox();
    model.UpdateBBox();

    rivela::testing::OffscreenGL gl(width, height);
    if (!gl.IsValid())
    {
        std::fprintf(stderr, "rivela-render: no OSMesa context\n");
        return 1;
    }
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bSmoothNormals = true;
    status->m_bAltToothMaterial = true;
    QvOpenGLRender* render = status->GetRender();
    render->SetModel(&model);
    if (!render->InitRender())
        return 1;
    QvViewManager* views = QvViewManager::Instance();
    views->SetSize(width, height);
    views->InitActiveView();
    if (layout == 2)
        views->ToTwoCompView();
    else if (layout == 4)
        views->ToBracketView();

    int shown = 0;
    if (QvSchemeMgr* schemes = QvGetSchemeMgr(model))
        if (QvScheme* scheme = schemes->GetCurScheme())
        {
            // As opening the case does: the gums of every step around the teeth placed there.
            static_cast<void>(PrepareSchemeGums(*scheme, true));
            shown = std::max(0, qvtest::ShowSchemeStep(model, *scheme, step));
        }
    if (jaws != 0)
        HideOtherJaw(model, jaws == 1, *views);
    if (onlyTooth != 0 && !HideAllButTooth(model, onlyTooth, *views))
    {
        std::fprintf(stderr, "rivela-render: the case has no tooth %d\n", onlyTooth);
        return 1;
    }
    // Attachments of the step joined the model.
    model.UpdateBBox();
    QvFrame turn;
    if (orient >= 0 && !QvGetViewFrame(&model, orient, false, turn))
    {
        std::fprintf(stderr, "rivela-render: the case has no upper jaw to orient by\n");
        return 1;
    }
    for (QvView* view : views->GetViews())
    {
        if (orient >= 0)
        {
            // Rows: the screen's X, Y and Z in model coordinates; each view is turned
            // on its own (turning through the manager would pass it on to linked views).
            QvMatrix& r = view->GetTransform().m_rotation;
            r = QvMatrix(3, 3);
            const QvVector* axes[3] = {&turn.m_dirX, &turn.m_dirY, &turn.m_dirZ};
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    r[i][j] = (*axes[i])[j];
        }
        FrameOnTeeth(model, *view);
    }
    render->UpdateViewport(width, height);

    const bool drawn = render->DrawScene();
    const rivela::testing::RgbaImage image = gl.ReadColor();
    // The displayed attachments go back to their scheme before the model is cleared.
    for (QvEntity* attachment : std::vector<QvEntity*>(model.m_attachments))
        model.RemoveEntity(attachment->GetID(), false);
    QvVBOHandleMgr::Instance()->Clear();
    views->ResetForTests();
    status->ResetForTests();
    if (!drawn || !rivela::testing::WritePng(output, image))
    {
        std::fprintf(stderr, "rivela-render: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("rendered %s step %d layout %d -> %s (%dx%d)\n", input.c_str(), shown, layout, output.c_str(), width,
                height);
    return 0;
}
