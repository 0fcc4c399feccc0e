// SPDX-License-Identifier: GPL-3.0-or-later
// The generated demo case drawn at a step in the four views of the bracket layout,
// turned different ways: the stencil under each drawn entity's projected centre names
// its drawer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/base/QvTypeCodes.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracket.h"
#include "core/design/QvBracketGeo.h"
#include "core/mesh/QvMesh.h"
#include "core/render/QvDrawers.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/tests/RenderFixture.h"
#include "core/scheme/QvScheme.h"
#include "testing/DemoCase.h"
#include "testing/SchemeStepView.h"

using namespace render_test;

namespace
{
const std::map<QvTypeCode, int> kStencilByType = {
    {kQvTypeMesh, kQvStencilMesh},           {kQvTypeTooth, kQvStencilTooth},
    {kQvTypeGum, kQvStencilGum},             {kQvTypeJaw, kQvStencilJaw},
    {kQvTypeJawBone, kQvStencilJawBone},     {kQvTypeAttachment, kQvStencilAttachment},
    {kQvTypeBracket, kQvStencilBracket},     {kQvTypeVirtualTooth, kQvStencilVirtualTooth},
};

// The mesh an entity's drawer draws and the placement it draws it with in a view.
const QvMesh* DrawnMesh(QvEntity* entity)
{
    if (auto* attachment = dynamic_cast<QvAttachment*>(entity))
        return attachment->GetGeometry();
    if (auto* bracket = dynamic_cast<QvBracket*>(entity))
        return bracket->m_pGeo;
    return dynamic_cast<QvMesh*>(entity);
}

QvMatrix PlacementIn(QvView& view, QvEntity* entity)
{
    if (const QvViewDrawInfo::Entry* placed = view.GetDrawInfo()->FindEntityMatrix(entity, false))
        return placed->second;
    if (auto* attachment = dynamic_cast<QvAttachment*>(entity))
        return attachment->m_matrix;
    if (auto* bracket = dynamic_cast<QvBracket*>(entity))
        return bracket->m_matrix;
    return Translation(0, 0, 0);
}

// Where to look for an entity: the middle of its placed mesh's box, then the middles of
// its faces nearest to that, for a shape (a curved band) that does not cover its centre.
std::vector<QvPoint> PlacedCentres(const QvMesh& mesh, const QvMatrix& placement)
{
    std::vector<QvPoint> placed;
    QvPoint lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
    for (const QvVertex& v : mesh.m_vertices)
    {
        placed.push_back(placement * v.m_point);
        for (int i = 0; i < 3; ++i)
        {
            lo[i] = std::min(lo[i], placed.back()[i]);
            hi[i] = std::max(hi[i], placed.back()[i]);
        }
    }
    const QvPoint centre((lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2);
    std::vector<QvPoint> faces;
    for (const QvFace& f : mesh.m_faces)
    {
        QvPoint m(0, 0, 0);
        for (int v : f.m_vertices)
            for (int i = 0; i < 3; ++i)
                m[i] += placed[static_cast<std::size_t>(v)][i] / 3;
        faces.push_back(m);
    }
    const auto distance = [&](const QvPoint& p) {
        return (p[0] - centre[0]) * (p[0] - centre[0]) + (p[1] - centre[1]) * (p[1] - centre[1]) +
               (p[2] - centre[2]) * (p[2] - centre[2]);
    };
    std::sort(faces.begin(), faces.end(), [&](const QvPoint& a, const QvPoint& b) { return distance(a) < distance(b); });
    faces.insert(faces.begin(), centre);
    return faces;
}

struct Buffers
{
    std::vector<std::uint8_t> stencil;
    std::vector<float> depth;
};

class DemoStencilTest : public RenderFixture
{
protected:
    void TearDown() override
    {
        QvVBOHandleMgr::Instance()->Clear();
        RenderFixture::TearDown();
    }

    Buffers Frame()
    {
        EXPECT_TRUE(render->DrawScene());
        return {gl->ReadStencil(), gl->ReadDepth()};
    }
};
} // namespace

TEST_F(DemoStencilTest, EachEntityOwnsTheStencilAtItsProjectedCentre)
{
    qvtest::DemoCase demo;
    ASSERT_NO_FATAL_FAILURE(BuildSmallDemo(demo));
    QvModel& model = *demo.model;

    constexpr int W = 640, H = 480;
    StartGL(W, H);
    render->SetModel(&model);
    views->ToBracketView();
    // Step 3: attachments on six teeth, the pontic in place of the extracted 25.
    ASSERT_EQ(qvtest::ShowSchemeStep(model, *demo.scheme, 3), 3);
    // The demo saves its bones hidden; shown here so that every kind is checked.
    for (QvEntity* bone : model.m_jawBones)
        bone->SetVisible(true);
    model.UpdateBBox();

    std::vector<QvEntity*> drawn;
    {
        std::vector<QvEntity*> all;
        model.GetAllEntities(all);
        for (QvEntity* entity : all)
        {
            const QvMesh* mesh = DrawnMesh(entity);
            if ((entity->m_state & 0x1001u) == 1u && mesh != nullptr && !mesh->m_faces.empty() &&
                kStencilByType.count(entity->GetType()) != 0)
                drawn.push_back(entity);
        }
    }
    // Frame every view on the teeth. The main view looks from above, view 1 from below
    // (the lower arch hides under the upper one from above), views 2 and 3 from above and
    // below turned towards the front: gums and jaw bones are curtains along the arches,
    // seen edge-on from straight above or below.
    {
        QvPoint lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
        for (QvEntity* entity : model.m_teeth)
            if (entity->m_state & kQvStateShown)
                for (int i = 0; i < 3; ++i)
                {
                    lo[i] = std::min(lo[i], entity->m_bbox.m_minPoint[i]);
                    hi[i] = std::max(hi[i], entity->m_bbox.m_maxPoint[i]);
                }
        for (QvView* view : views->GetViews())
        {
            QvTransform& t = view->GetTransform();
            t.m_translation = QvVector(-(lo[0] + hi[0]) / 2, -(lo[1] + hi[1]) / 2, -(lo[2] + hi[2]) / 2);
            t.m_scale = 1.6 / std::max(hi[0] - lo[0], hi[1] - lo[1]);
        }
        const double pi = 3.14159265358979;
        views->GetView(1)->GetTransform().m_rotation = QvMatrix(QvVector(1, 0, 0), pi);
        views->GetView(2)->GetTransform().m_rotation = QvMatrix(QvVector(1, 0, 0), -0.5);
        views->GetView(3)->GetTransform().m_rotation = QvMatrix(QvVector(1, 0, 0), pi + 0.5);
    }
    render->UpdateViewport(W, H);

    const Buffers full = Frame();
    // Each entity alone (the others hidden in every view): what it covers and its depth.
    std::map<QvEntity*, Buffers> alone;
    std::set<std::size_t> underVirtual; // pixels a translucent virtual tooth may take over
    for (QvEntity* entity : drawn)
    {
        for (QvView* view : views->GetViews())
        {
            view->GetDrawInfo()->ShowAllEntities();
            view->GetDrawInfo()->HideEntities(drawn);
            view->GetDrawInfo()->ShowEntity(entity);
        }
        alone[entity] = Frame();
        if (entity->GetType() == kQvTypeVirtualTooth)
            for (std::size_t k = 0; k < alone[entity].stencil.size(); ++k)
                if (alone[entity].stencil[k] != 0)
                    underVirtual.insert(k);
    }
    views->ShowAllEntities();

    // An entity owns its centre pixel in the full picture when, drawn alone, it covers
    // that pixel and leaves there the very depth the full picture holds: nothing that
    // writes depth lies in front of it. Where it is occluded the view is passed over.
    // An entity that does not cover its own centre (a curved band) is looked for at its
    // face middles, nearest to the centre first. A virtual tooth writes no depth: it
    // owns the pixel when its centre lies no deeper than what the full picture holds
    // there, since its surface is nearer than its centre. Virtual teeth are drawn last
    // and take over any pixel of theirs they are in front of, so pixels they cover are
    // not used for other entities.
    std::map<QvEntity*, int> checked;
    for (QvEntity* entity : drawn)
    {
        const int want = kStencilByType.at(entity->GetType());
        for (QvView* view : views->GetViews())
        {
            const Buffers& own = alone[entity];
            // The first candidate the entity covers when drawn alone.
            QvPoint centre;
            QvGDIPoint p;
            std::size_t k = 0;
            bool covered = false;
            for (const QvPoint& candidate : PlacedCentres(*DrawnMesh(entity), PlacementIn(*view, entity)))
            {
                p = render->Project(view, candidate);
                const int glY = H - p.y;
                if (p.x < view->GetOrigin().x || p.x >= view->GetOrigin().x + view->GetWidth() ||
                    glY < view->GetOrigin().y || glY >= view->GetOrigin().y + view->GetHeight())
                    continue;
                k = static_cast<std::size_t>(p.y) * W + static_cast<std::size_t>(p.x);
                if (own.stencil[k] == want)
                {
                    centre = candidate;
                    covered = true;
                    break;
                }
            }
            if (!covered)
                continue;
            bool owns = false;
            if (want == kQvStencilVirtualTooth)
                owns = render->ProjectToWindow(view, centre)[2] <= full.depth[k];
            else
                owns = own.depth[k] == full.depth[k] && underVirtual.count(k) == 0;
            if (!owns)
                continue;
            EXPECT_EQ(full.stencil[k], want) << "entity " << entity->GetID() << " type " << std::hex
                                             << entity->GetType() << std::dec << " in view " << view->GetID()
                                             << " at " << p.x << "," << p.y;
            ++checked[entity];
        }
    }
    // Every entity was seen in one view at least.
    int teeth = 0, attachments = 0, virtualTeeth = 0, gums = 0, bones = 0;
    for (QvEntity* entity : drawn)
    {
        const QvTypeCode type = entity->GetType();
        EXPECT_GT(checked[entity], 0) << "entity " << entity->GetID() << " type " << std::hex << type;
        teeth += type == kQvTypeTooth;
        attachments += type == kQvTypeAttachment;
        virtualTeeth += type == kQvTypeVirtualTooth;
        gums += type == kQvTypeGum;
        bones += type == kQvTypeJawBone;
    }
    EXPECT_EQ(teeth, 27);
    EXPECT_EQ(attachments, 6);
    EXPECT_EQ(virtualTeeth, 1);
    EXPECT_EQ(gums, 2);
    EXPECT_EQ(bones, 2);
    QvVBOHandleMgr::Instance()->Clear();
}
