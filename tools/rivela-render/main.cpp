// SPDX-License-Identifier: GPL-3.0-or-later
// Draws a case document at one treatment step into a PNG, headless:
// rivela-render CASE.OS OUT.png [--step N] [--width W] [--height H]
// Step -1 (the default is 0) is the last step.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStep.h"
#include "testing/OffscreenGL.h"

namespace
{
int Usage()
{
    std::fprintf(stderr, "usage: rivela-render CASE.OS OUT.png [--step N] [--width W] [--height H]\n");
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string input = argv[1];
    const std::string output = argv[2];
    int step = 0;
    int width = 1280;
    int height = 800;
    for (int i = 3; i + 1 < argc; i += 2)
    {
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--step") == 0)
            step = value;
        else if (std::strcmp(argv[i], "--width") == 0)
            width = value;
        else if (std::strcmp(argv[i], "--height") == 0)
            height = value;
        else
            return Usage();
    }
    if (width < 16 || height < 16 || width > 8192 || height > 8192)
        return Usage();

    QvEnsureSchemeFileLink();
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
    // Frame the model: its centre at the origin, its diagonal across most of the view.
    {
        QvTransform& t = views->GetActiveView()->GetTransform();
        const QvPoint centre = model.m_bbox.GetCentre();
        t.m_translation = QvVector(-centre[0], -centre[1], -centre[2]);
        const double diagonal = model.m_bbox.GetDiagonal();
        if (diagonal > 1e-7)
            t.m_scale = 1.8 / diagonal;
    }
    render->UpdateViewport(width, height);

    // Every tooth at its placement of the chosen step.
    int shown = step;
    if (QvSchemeMgr* schemes = QvGetSchemeMgr(model))
        if (const QvScheme* scheme = schemes->GetCurScheme())
        {
            const int last = scheme->GetStepCount() - 1;
            if (shown < 0 || shown > last)
                shown = last < 0 ? 0 : last;
            QvViewDrawInfo* info = views->GetActiveView()->GetDrawInfo();
            info->SetStep(shown);
            for (QvEntity* entity : model.m_teeth)
                if (auto* tooth = dynamic_cast<QvToothBase*>(entity))
                    if (const QvTreatStep* treat = scheme->FindStep(shown, tooth))
                        info->SetEntityMatrix(tooth, *treat->GetMatrix(), false);
        }

    const bool drawn = render->DrawScene();
    const rivela::testing::RgbaImage image = gl.ReadColor();
    QvVBOHandleMgr::Instance()->Clear();
    views->ResetForTests();
    status->ResetForTests();
    if (!drawn || !rivela::testing::WritePng(output, image))
    {
        std::fprintf(stderr, "rivela-render: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("rendered %s step %d -> %s (%dx%d)\n", input.c_str(), shown, output.c_str(), width, height);
    return 0;
}
