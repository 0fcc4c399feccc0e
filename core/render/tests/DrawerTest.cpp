// SPDX-License-Identifier: GPL-3.0-or-later
// Palette and material presets, the vertex-buffer cache and the drawers, checked
// headless on an OSMesa context.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracket.h"
#include "core/design/QvBracketGeo.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvGum.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/render/QvDrawers.h"
#include "core/render/QvMaterial.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/tests/RenderFixture.h"
#include "testing/MeshFixtures.h"

using namespace render_test;

namespace
{
struct ExpectedPreset
{
    QvMaterialPreset preset;
    int ambient[4], diffuse[4], specular[4], emission[4];
    float shininess;
};

const ExpectedPreset kExpected[] = {
    {QvMaterialPreset::Gum, {33, 33, 33, 128}, {33, 33, 33, 128}, {38, 13, 13, 25}, {153, 104, 102, 255}, 128},
    {QvMaterialPreset::Plain, {153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::Selected, {153, 153, 153, 153}, {214, 164, 76, 255}, {64, 64, 64, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::PlainCopy, {153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::Tooth, {50, 50, 50, 153}, {60, 60, 60, 255}, {0, 0, 0, 255}, {153, 143, 133, 255}, 10},
    {QvMaterialPreset::ToothState2, {128, 128, 128, 153}, {115, 115, 115, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::ToothState3, {128, 128, 128, 153}, {128, 128, 230, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::ToothState5, {128, 128, 128, 153}, {64, 128, 128, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::ToothFlagged, {128, 128, 128, 153}, {153, 153, 153, 255}, {51, 51, 51, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::ToothAlternative, {110, 110, 110, 153}, {60, 60, 60, 255}, {43, 43, 43, 255}, {153, 153, 153, 255}, 128},
    {QvMaterialPreset::Attachment, {110, 110, 110, 153}, {255, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::Root, {110, 110, 110, 153}, {60, 60, 60, 255}, {43, 43, 43, 255}, {100, 100, 50, 200}, 10},
    {QvMaterialPreset::JawBone, {153, 153, 153, 153}, {178, 178, 178, 255}, {38, 33, 30, 255}, {0, 0, 0, 255}, 10},
    {QvMaterialPreset::Bracket, {110, 110, 110, 153}, {255, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, 10},
};

void ExpectColor(const QvColor& c, int r, int g, int b)
{
    EXPECT_EQ(c.m_r, r);
    EXPECT_EQ(c.m_g, g);
    EXPECT_EQ(c.m_b, b);
}

GLint BufferSize(GLuint name)
{
    GLint size = -1;
    glBindBufferARB(GL_ARRAY_BUFFER, name);
    glGetBufferParameterivARB(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    return size;
}

std::vector<float> BufferData(GLuint name)
{
    std::vector<float> data(static_cast<std::size_t>(BufferSize(name)) / sizeof(float));
    glBindBufferARB(GL_ARRAY_BUFFER, name);
    glGetBufferSubDataARB(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(data.size() * sizeof(float)), data.data());
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    return data;
}
} // namespace

TEST(Palette, FixedColours)
{
    ExpectColor(GetHoverColor(), 255, 255, 0);
    ExpectColor(GetSelectedColor(), 255, 0, 0);
    ExpectColor(GetGhostColor(), 120, 255, 120);
    ExpectColor(GetAttachmentColor(), 222, 112, 112);
    ExpectColor(GetAttachmentGreenColor(), 40, 222, 40);
    ExpectColor(GetAttachmentBlueColor(), 0, 194, 255);
    ExpectColor(GetAttachmentColorByFlag(true), 40, 222, 40);
    ExpectColor(GetAttachmentColorByFlag(false), 222, 112, 112);
    ExpectColor(GetGreenColor(), 0, 255, 0);
}

class DrawerTest : public RenderFixture
{
protected:
    void TearDown() override
    {
        QvVBOHandleMgr::Instance()->Clear();
        RenderFixture::TearDown();
    }

    // A tooth of a sphere mesh whose lower half is tagged virtual root, and a real
    // root mesh beside it.
    QvTooth* AddTooth(double radius = 1.0)
    {
        auto tooth = std::make_unique<QvTooth>();
        tooth->CopyMeshData(qvtest::MakeSphere(2, radius));
        tooth->UpdateFaceNormals();
        for (QvFace& face : tooth->m_faces)
        {
            int a, b, c;
            face.GetVertices(a, b, c);
            if (tooth->m_vertices[a].m_point[2] + tooth->m_vertices[b].m_point[2] + tooth->m_vertices[c].m_point[2] < 0)
                face.m_tag = kQvFaceTagVirtualRoot;
        }
        tooth->UpdateBBox();
        auto* root = new QvRoot;
        root->CopyMeshData(qvtest::MakeCube(0.5));
        root->UpdateFaceNormals();
        tooth->SetRoot(root);
        // The model owns its teeth.
        QvTooth* raw = tooth.release();
        model.AddEntity(raw);
        model.UpdateBBox();
        return raw;
    }

    void Frame()
    {
        render->UpdateViewport(gl->Width(), gl->Height());
        ASSERT_TRUE(render->DrawScene());
    }

    QvGDIPoint CentreOf(const QvPoint& p) { return render->Project(views->GetActiveView(), p); }

    std::uint8_t StencilAt(const QvGDIPoint& p)
    {
        const std::vector<std::uint8_t> stencil = gl->ReadStencil();
        return stencil[static_cast<std::size_t>(p.y * gl->Width() + p.x)];
    }

    std::array<std::uint8_t, 4> ColorAt(const QvGDIPoint& p)
    {
        const rivela::testing::RgbaImage image = gl->ReadColor();
        const std::uint8_t* px = &image.pixels[static_cast<std::size_t>((p.y * image.width + p.x) * 4)];
        return {px[0], px[1], px[2], px[3]};
    }
};

TEST_F(DrawerTest, MaterialPresetsReachGL)
{
    StartGL(16, 16);
    for (const ExpectedPreset& e : kExpected)
    {
        SCOPED_TRACE(static_cast<int>(e.preset));
        glEnable(GL_COLOR_MATERIAL);
        GetMaterial(e.preset).Apply();
        EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
        const std::pair<GLenum, const int*> parts[] = {
            {GL_AMBIENT, e.ambient}, {GL_DIFFUSE, e.diffuse}, {GL_SPECULAR, e.specular}, {GL_EMISSION, e.emission}};
        for (const auto& [pname, want] : parts)
            for (GLenum face : {GL_FRONT, GL_BACK})
            {
                GLfloat v[4];
                glGetMaterialfv(face, pname, v);
                for (int i = 0; i < 4; ++i)
                    EXPECT_FLOAT_EQ(v[i], static_cast<float>(want[i]) / 255.0f) << pname << " " << i;
            }
        GLfloat shininess = 0;
        glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
        EXPECT_FLOAT_EQ(shininess, e.shininess);
        // Colour material is off, so a colour call leaves the material alone.
        glColor3ub(0, 255, 0);
        GLfloat diffuse[4];
        glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
        EXPECT_FLOAT_EQ(diffuse[1], static_cast<float>(e.diffuse[1]) / 255.0f);
    }
}

TEST_F(DrawerTest, BufferSizesAndRootFaces)
{
    StartGL(16, 16);
    QvTooth* tooth = AddTooth();
    QvVBOHandleMgr* mgr = QvVBOHandleMgr::Instance();
    int nonRoot = 0;
    for (const QvFace& f : tooth->m_faces)
        nonRoot += f.m_tag != kQvFaceTagVirtualRoot;
    ASSERT_GT(nonRoot, 0);
    ASSERT_LT(nonRoot, static_cast<int>(tooth->m_faces.size()));

    struct Case
    {
        bool rootShown;
        int triangles;
    };
    for (const Case c : {Case{false, static_cast<int>(tooth->m_faces.size())}, Case{true, nonRoot},
                         Case{false, static_cast<int>(tooth->m_faces.size())}})
    {
        SCOPED_TRACE(c.rootShown);
        tooth->ShowRealRoot(c.rootShown);
        tooth->m_bModified = true;
        mgr->Update(tooth);
        EXPECT_FALSE(tooth->m_bModified);
        EXPECT_EQ(mgr->GetHandleCount(), 1u);
        const QvVBOHandle* h = mgr->Find(tooth);
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(h->m_triangleCount, c.triangles);
        EXPECT_EQ(BufferSize(h->m_vertexBuffer), 36 * c.triangles);
        EXPECT_EQ(BufferSize(h->m_normalBuffer), 36 * c.triangles);
        EXPECT_EQ(BufferSize(h->m_edgeBuffer), 24 * static_cast<int>(tooth->m_edges.size()));
        EXPECT_EQ(BufferSize(h->m_pointBuffer), 12 * static_cast<int>(tooth->m_vertices.size()));
        // Exactly the non-root faces, in face order.
        const std::vector<float> corners = BufferData(h->m_vertexBuffer);
        int k = 0;
        for (const QvFace& f : tooth->m_faces)
        {
            if (c.rootShown && f.m_tag == kQvFaceTagVirtualRoot)
                continue;
            int v[3];
            f.GetVertices(v[0], v[1], v[2]);
            for (int j = 0; j < 3; ++j)
                for (int d = 0; d < 3; ++d)
                    ASSERT_EQ(corners[static_cast<std::size_t>(9 * k + 3 * j + d)],
                              static_cast<float>(tooth->m_vertices[v[j]].m_point[d]));
            ++k;
        }
    }
    // A reload gives new names, and an unmodified mesh is left alone.
    const GLuint before = mgr->Find(tooth)->m_vertexBuffer;
    mgr->Update(tooth);
    EXPECT_EQ(mgr->Find(tooth)->m_vertexBuffer, before);
    mgr->Remove(tooth);
    EXPECT_EQ(mgr->Find(tooth), nullptr);
    EXPECT_FALSE(glIsBufferARB(before));
}

TEST_F(DrawerTest, SmoothNormalsOnlyForTeeth)
{
    StartGL(16, 16);
    QvRenderStatus::Instance()->m_bSmoothNormals = true;
    QvTooth* tooth = AddTooth();
    QvMesh plain = qvtest::MakeSphere(2, 1.0);
    plain.UpdateFaceNormals();
    QvVBOHandleMgr* mgr = QvVBOHandleMgr::Instance();
    mgr->Update(tooth);
    mgr->Update(&plain);

    // Smooth: every corner of a vertex carries the same unit normal.
    const std::vector<float> normals = BufferData(mgr->Find(tooth)->m_normalBuffer);
    std::map<int, std::array<float, 3>> seen;
    for (std::size_t k = 0; k < tooth->m_faces.size(); ++k)
    {
        int v[3];
        tooth->m_faces[k].GetVertices(v[0], v[1], v[2]);
        for (int j = 0; j < 3; ++j)
        {
            const float* n = &normals[9 * k + 3 * static_cast<std::size_t>(j)];
            const auto [it, fresh] = seen.emplace(v[j], std::array<float, 3>{n[0], n[1], n[2]});
            if (!fresh)
            {
                for (int d = 0; d < 3; ++d)
                    ASSERT_FLOAT_EQ(it->second[static_cast<std::size_t>(d)], n[d]);
            }
            EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0, 1e-5);
        }
    }
    // Flat for a plain mesh whatever the switch says: each corner has its face's normal.
    const std::vector<float> flat = BufferData(mgr->Find(&plain)->m_normalBuffer);
    for (std::size_t k = 0; k < plain.m_faces.size(); ++k)
        for (int j = 0; j < 3; ++j)
            for (int d = 0; d < 3; ++d)
                ASSERT_FLOAT_EQ(flat[9 * k + 3 * static_cast<std::size_t>(j) + static_cast<std::size_t>(d)],
                                static_cast<float>(plain.m_faces[k].m_normal[d]));
    mgr->Remove(&plain);
}

TEST(VBOExtensions, WholeWordsOnly)
{
    const char* list = "GL_ARB_vertex_buffer_object GL_ARB_multitexture GL_EXT_abc";
    struct Case
    {
        const char* name;
        bool found;
    };
    for (const Case c : {Case{"GL_ARB_vertex_buffer_object", true}, Case{"GL_ARB_multitexture", true},
                         Case{"GL_EXT_abc", true}, Case{"GL_ARB_vertex", false}, Case{"buffer_object", false},
                         Case{"GL_EXT_ab", false}, Case{"", false}, Case{"GL_ARB_multitexture GL_EXT_abc", false}})
        EXPECT_EQ(QvVBOHandleMgr::IsExtensionInList(list, c.name), c.found) << c.name;
    // A name that first occurs inside a longer one and later whole.
    EXPECT_TRUE(QvVBOHandleMgr::IsExtensionInList("GL_Xabc GL_X", "GL_X"));
}

TEST_F(DrawerTest, ToothStencilColourAndRedrawAfterClear)
{
    StartGL(96, 96);
    QvTooth* tooth = AddTooth();
    QvVBOHandleMgr* mgr = QvVBOHandleMgr::Instance();
    Frame();
    const QvGDIPoint centre = CentreOf(QvPoint(0, 0, 0));
    EXPECT_EQ(StencilAt(centre), kQvStencilTooth);
    const auto plainColour = ColorAt(centre);

    // The buffers go with the GL state; the mesh is not marked, yet the next frame
    // uploads it again instead of drawing nothing.
    mgr->Clear();
    EXPECT_EQ(mgr->Find(tooth), nullptr);
    EXPECT_FALSE(tooth->m_bModified);
    Frame();
    EXPECT_EQ(StencilAt(centre), kQvStencilTooth);
    EXPECT_NE(mgr->Find(tooth), nullptr);
    EXPECT_EQ(ColorAt(centre), plainColour);

    // State 3 is drawn with its blue diffuse, which the default's warm emission is not.
    tooth->SetState(kQvToothStateP);
    Frame();
    const auto blue = ColorAt(centre);
    EXPECT_GT(blue[2], blue[0]);
    EXPECT_GE(plainColour[0], plainColour[2]);
    // Selected wins over the state: the selected preset's diffuse is orange.
    tooth->m_state |= kQvStateSelected;
    Frame();
    const auto selected = ColorAt(centre);
    EXPECT_GT(selected[0], selected[2]);
    tooth->m_state &= ~kQvStateSelected;

    // Render mode 3: red points only, far fewer pixels than the filled tooth.
    auto toothPixels = [&] {
        const std::vector<std::uint8_t> stencil = gl->ReadStencil();
        return std::count(stencil.begin(), stencil.end(), static_cast<std::uint8_t>(kQvStencilTooth));
    };
    const auto filled = toothPixels();
    QvRenderStatus::Instance()->m_renderMode = kQvRenderPoints;
    Frame();
    const auto points = toothPixels();
    EXPECT_GT(points, 0);
    EXPECT_LT(points * 3, filled);
    QvRenderStatus::Instance()->m_renderMode = kQvRenderSolid;
}

TEST_F(DrawerTest, GhostPlacementIsTranslucentGreen)
{
    StartGL(128, 64);
    QvTooth* tooth = AddTooth(0.5);
    model.m_bbox.Set(QvPoint(-2, -1, -1), QvPoint(2, 1, 1));
    QvViewDrawInfo* info = views->GetActiveView()->GetDrawInfo();
    info->SetEntityMatrix(tooth, Translation(-1, 0, 0), false);
    info->SetEntityMatrix(tooth, Translation(1, 0, 0), true);
    Frame();
    const QvGDIPoint normal = CentreOf(QvPoint(-1, 0, 0));
    const QvGDIPoint ghost = CentreOf(QvPoint(1, 0, 0));
    EXPECT_EQ(StencilAt(normal), kQvStencilTooth);
    EXPECT_EQ(StencilAt(ghost), kQvStencilTooth);
    const auto g = ColorAt(ghost);
    EXPECT_GT(g[1], g[0]);
    EXPECT_GT(g[1], g[2]);
    const auto n = ColorAt(normal);
    EXPECT_LE(n[1], n[0] + 2);
}

TEST(DrawerMgr, RegistersTheEightDrawers)
{
    QvDrawerMgr* mgr = QvDrawerMgr::Instance();
    EXPECT_NE(dynamic_cast<QvJawDrawer*>(mgr->GetDrawer(kQvTypeJaw)), nullptr);
    EXPECT_NE(dynamic_cast<QvGumDrawer*>(mgr->GetDrawer(kQvTypeGum)), nullptr);
    EXPECT_NE(dynamic_cast<QvToothDrawer*>(mgr->GetDrawer(kQvTypeTooth)), nullptr);
    EXPECT_NE(dynamic_cast<QvMeshDrawer*>(mgr->GetDrawer(kQvTypeMesh)), nullptr);
    EXPECT_NE(dynamic_cast<QvAttachmentDrawer*>(mgr->GetDrawer(kQvTypeAttachment)), nullptr);
    EXPECT_NE(dynamic_cast<QvJawBoneDrawer*>(mgr->GetDrawer(kQvTypeJawBone)), nullptr);
    EXPECT_NE(dynamic_cast<QvBracketDrawer*>(mgr->GetDrawer(kQvTypeBracket)), nullptr);
    EXPECT_NE(dynamic_cast<QvToothVirtualDrawer*>(mgr->GetDrawer(kQvTypeVirtualTooth)), nullptr);
    EXPECT_EQ(mgr->GetDrawer(kQvTypeHingeAxis), nullptr);
}

// ---- Every drawer on pixels ---------------------------------------------------------------

namespace
{
using Rgb = std::array<double, 3>;

// What a face turned straight to the light shows. The light sits at the eye and the
// viewer looks along -z, so at a vertex right in front of the eye N.L = N.H = 1 and
// fixed-function lighting gives emission + ambient x (0.2 scene + 0.1 light) +
// diffuse x 0.8 + specular x 0.8, each channel clamped to 255.
Rgb FacingLit(const std::int32_t ambient[4], const std::int32_t diffuse[4], const std::int32_t specular[4],
              const std::int32_t emission[4])
{
    Rgb out{};
    for (std::size_t i = 0; i < 3; ++i)
        out[i] = std::min(255.0, emission[i] + 0.3 * ambient[i] + 0.8 * diffuse[i] + 0.8 * specular[i]);
    return out;
}

Rgb PresetLit(QvMaterialPreset preset)
{
    const QvMaterial& m = GetMaterial(preset);
    return FacingLit(m.m_ambient, m.m_diffuse, m.m_specular, m.m_emission);
}

// Colour material over a preset (its specular and emission stay) or over GL's default
// material, whose specular and emission are black.
Rgb ColourLit(int r, int g, int b, const QvMaterial* preset = nullptr)
{
    const std::int32_t colour[4] = {r, g, b, 255};
    const std::int32_t black[4] = {0, 0, 0, 255};
    return FacingLit(colour, colour, preset ? preset->m_specular : black, preset ? preset->m_emission : black);
}

const Rgb kGhostLit = ColourLit(120, 255, 120);

// A flat square of 5 x 5 vertices facing +z whose middle vertex stands at the centre,
// so that the pixel there shows that vertex's lighting.
QvMesh Square(const QvPoint& centre, double spacing = 0.1)
{
    QvMesh mesh = qvtest::MakeGrid(5, 5, spacing);
    mesh.Transform(Translation(centre[0] - 2 * spacing, centre[1] - 2 * spacing, centre[2]));
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

const QvPoint kCentre(0, 0, 0);
const QvPoint kAside(0.6, 0, 0);
const QvPoint kOff(0.3, 0.2, 0);

// One case's entities. Geometries, brackets and virtual teeth are not the model's to
// delete, so they are declared before it and outlive it.
struct Scene
{
    template <typename T>
    T* Own(std::vector<std::unique_ptr<T>>& list, const QvPoint& at)
    {
        list.push_back(std::make_unique<T>());
        list.back()->CopyMeshData(Square(at));
        list.back()->UpdateBBox();
        return list.back().get();
    }
    template <typename T>
    T* Add(const QvPoint& at)
    {
        auto* entity = new T;
        entity->CopyMeshData(Square(at));
        entity->UpdateBBox();
        model.AddEntity(entity);
        return entity;
    }
    QvAttachment* Attach(QvAttachGeo* geo, bool toothShown = true)
    {
        teeth.push_back(std::make_unique<QvTooth>());
        teeth.back()->SetVisible(toothShown);
        auto* attachment = new QvAttachment(geo);
        attachment->m_pTooth = teeth.back().get();
        attachment->m_matrix = Translation(-kOff[0], -kOff[1], 0);
        model.AddEntity(attachment);
        return attachment;
    }
    QvAttachGeo* Geo(const std::string& name)
    {
        QvAttachGeo* geo = Own(geos, kOff);
        geo->m_name = name;
        return geo;
    }
    // Category 4 with its main mesh aside and its second mesh where the attachment's
    // own placement puts the centre.
    QvAttachGeoStdPower* Power()
    {
        QvAttachGeoStdPower* geo = Own(powerGeos, QvPoint(kAside[0] + kOff[0], kOff[1], 0));
        geo->m_name = "D-Power";
        geo->m_pSecondMesh = std::make_unique<QvMesh>(Square(kOff));
        return geo;
    }
    QvBracket* Bracket()
    {
        brackets.push_back(std::make_unique<QvBracket>(Own(bracketGeos, kOff)));
        brackets.back()->m_matrix = Translation(-kOff[0], -kOff[1], 0);
        model.AddEntity(brackets.back().get());
        return brackets.back().get();
    }
    QvVirtualTooth* Virtual()
    {
        QvVirtualTooth* tooth = Own(virtualTeeth, kCentre);
        model.AddEntity(tooth);
        return tooth;
    }

    std::vector<std::unique_ptr<QvAttachGeo>> geos;
    std::vector<std::unique_ptr<QvAttachGeoStdPower>> powerGeos;
    std::vector<std::unique_ptr<QvBracketGeo>> bracketGeos;
    std::vector<std::unique_ptr<QvBracket>> brackets;
    std::vector<std::unique_ptr<QvVirtualTooth>> virtualTeeth;
    std::vector<std::unique_ptr<QvTooth>> teeth;
    std::vector<std::unique_ptr<QvMesh>> meshes;
    QvModel model;
};

// What one pixel must show: the stencil value, and unless colour is empty the lit
// colour laid over the background with that alpha; whether the drawing wrote depth.
struct Probe
{
    QvPoint at;
    int stencil;
    std::optional<Rgb> colour = std::nullopt;
    double alpha = 1.0;
    bool writesDepth = true;
};

struct DrawCase
{
    std::string what;
    std::function<void(Scene&, QvViewDrawInfo&)> build;
    std::vector<Probe> probes;
};
} // namespace

TEST_F(DrawerTest, EveryDrawerWritesItsStencilAndColour)
{
    StartGL(96, 96);
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bBackgroundImage = false; // the gradient, the same in every frame
    QvViewDrawInfo& info = *views->GetActiveView()->GetDrawInfo();
    const Rgb plain = PresetLit(QvMaterialPreset::Plain);
    const QvMaterial& attachmentPreset = GetMaterial(QvMaterialPreset::Attachment);

    std::vector<DrawCase> cases = {
        {"plain mesh", [](Scene& s, QvViewDrawInfo&) { s.Add<QvMesh>(kCentre); }, {{kCentre, kQvStencilMesh, plain}}},
        {"jaw", [](Scene& s, QvViewDrawInfo&) { s.Add<QvJaw>(kCentre); }, {{kCentre, kQvStencilJaw, plain}}},
        {"selected jaw", [](Scene& s, QvViewDrawInfo&) { s.Add<QvJaw>(kCentre)->SetSelected(true); },
         {{kCentre, kQvStencilJaw, PresetLit(QvMaterialPreset::Selected)}}},
        {"jaw bone", [](Scene& s, QvViewDrawInfo&) { s.Add<QvJawBone>(kCentre); },
         {{kCentre, kQvStencilJawBone, PresetLit(QvMaterialPreset::JawBone)}}},
        {"gum", [](Scene& s, QvViewDrawInfo&) { s.Add<QvGum>(kCentre); },
         {{kCentre, kQvStencilGum, PresetLit(QvMaterialPreset::Gum)}}},
        // The step's gum (a lower one: this gum has no jaw) is drawn in place of the entity.
        {"gum of the step",
         [](Scene& s, QvViewDrawInfo& i) {
             s.Add<QvGum>(kAside);
             s.meshes.push_back(std::make_unique<QvGum>());
             s.meshes.back()->CopyMeshData(Square(kCentre));
             i.SetGums(nullptr, static_cast<QvGum*>(s.meshes.back().get()));
         },
         {{kCentre, kQvStencilGum, PresetLit(QvMaterialPreset::Gum)}, {kAside, 0}}},
        // Attachments and brackets stand at their own placement when the view gives none.
        {"attachment on a hidden tooth", [](Scene& s, QvViewDrawInfo&) { s.Attach(s.Geo("A1"), false); },
         {{kCentre, 0}}},
        {"attachment placed by the view",
         [](Scene& s, QvViewDrawInfo& i) {
             QvAttachment* a = s.Attach(s.Geo("A1"));
             a->m_matrix = Translation(5, 5, 0);
             i.SetEntityMatrix(a, Translation(-kOff[0], -kOff[1], 0), false);
         },
         {{kCentre, kQvStencilAttachment}}},
        // Power: the main mesh aside, the second mesh translucent green at the centre.
        {"power attachment", [](Scene& s, QvViewDrawInfo&) { s.Attach(s.Power()); },
         {{kCentre, kQvStencilAttachment, ColourLit(40, 222, 40, &attachmentPreset), 160 / 255.0},
          {kAside, kQvStencilAttachment}}},
        {"power attachment, second mesh off",
         [](Scene& s, QvViewDrawInfo&) {
             QvRenderStatus::Instance()->m_bPowerSecondMesh = false;
             s.Attach(s.Power());
         },
         {{kCentre, 0}, {kAside, kQvStencilAttachment}}},
        {"bracket", [](Scene& s, QvViewDrawInfo&) { s.Bracket(); },
         {{kCentre, kQvStencilBracket, ColourLit(178, 178, 178, &GetMaterial(QvMaterialPreset::Bracket))}}},
        {"selected bracket", [](Scene& s, QvViewDrawInfo&) { s.Bracket()->SetSelected(true); },
         {{kCentre, kQvStencilBracket, PresetLit(QvMaterialPreset::Selected)}}},
        // Translucent and leaving the depth buffer alone; selection does not change it.
        {"virtual tooth", [](Scene& s, QvViewDrawInfo&) { s.Virtual(); },
         {{kCentre, kQvStencilVirtualTooth, ColourLit(199, 180, 110), 120 / 255.0, false}}},
        {"selected virtual tooth", [](Scene& s, QvViewDrawInfo&) { s.Virtual()->SetSelected(true); },
         {{kCentre, kQvStencilVirtualTooth, ColourLit(199, 180, 110), 120 / 255.0, false}}},
    };
    // Attachment colours by the category the name gives.
    const struct
    {
        const char* name;
        int r, g, b;
    } categories[] = {{"Z1", 222, 112, 112}, {"A1", 222, 112, 112}, {"PD12", 222, 112, 112}, {"C1", 40, 222, 40},
                      {"D1", 222, 112, 112}, {"E1", 222, 112, 112}, {"F1", 0, 194, 255},     {"G1", 0, 194, 255},
                      {"H1", 222, 112, 112}};
    for (const auto& c : categories)
    {
        const std::string name = c.name;
        cases.push_back({"attachment " + name, [name](Scene& s, QvViewDrawInfo&) { s.Attach(s.Geo(name)); },
                         {{kCentre, kQvStencilAttachment, ColourLit(c.r, c.g, c.b, &attachmentPreset)}}});
    }
    // Ghost copies: translucent green with each drawer's alpha (the jaw bone's is opaque).
    const auto ghost = [](QvEntity* e, QvViewDrawInfo& i, const QvMatrix& m) { i.SetEntityMatrix(e, m, true); };
    const QvMatrix none = Translation(0, 0, 0);
    const QvMatrix back = Translation(-kOff[0], -kOff[1], 0);
    const std::pair<const char*, std::function<void(Scene&, QvViewDrawInfo&)>> ghosts[] = {
        {"tooth", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Add<QvTooth>(kCentre), i, none); }},
        {"gum", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Add<QvGum>(kCentre), i, none); }},
        {"jaw", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Add<QvJaw>(kCentre), i, none); }},
        {"jaw bone", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Add<QvJawBone>(kCentre), i, none); }},
        {"attachment", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Attach(s.Geo("C1")), i, back); }},
        {"bracket", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Bracket(), i, back); }},
        {"virtual tooth", [&](Scene& s, QvViewDrawInfo& i) { ghost(s.Virtual(), i, none); }},
    };
    const int ghostStencil[] = {kQvStencilTooth,      kQvStencilGum,     kQvStencilJaw,          kQvStencilJawBone,
                                kQvStencilAttachment, kQvStencilBracket, kQvStencilVirtualTooth};
    const double ghostAlpha[] = {130, 60, 60, 255, 60, 60, 60};
    for (std::size_t k = 0; k < std::size(ghosts); ++k)
        cases.push_back({std::string("ghost ") + ghosts[k].first, ghosts[k].second,
                         {{kCentre, ghostStencil[k], kGhostLit, ghostAlpha[k] / 255.0}}});

    // The background under every probe, from a frame without entities.
    std::map<std::pair<int, int>, std::array<std::uint8_t, 4>> background;
    {
        Scene empty;
        render->SetModel(&empty.model);
        Frame();
        for (const QvPoint& p : {kCentre, kAside})
        {
            const QvGDIPoint px = CentreOf(p);
            background[{px.x, px.y}] = ColorAt(px);
        }
    }

    for (const DrawCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        status->m_bPowerSecondMesh = true;
        views->ResetDrawInfos();
        {
            Scene scene;
            c.build(scene, info);
            render->SetModel(&scene.model);
            Frame();
            const std::vector<float> depth = gl->ReadDepth();
            for (const Probe& p : c.probes)
            {
                const QvGDIPoint px = CentreOf(p.at);
                SCOPED_TRACE(std::to_string(px.x) + "," + std::to_string(px.y));
                EXPECT_EQ(StencilAt(px), p.stencil);
                if (p.stencil == 0)
                    continue;
                EXPECT_EQ(depth[static_cast<std::size_t>(px.y * gl->Width() + px.x)] < 1.0f, p.writesDepth);
                if (!p.colour)
                    continue;
                const auto got = ColorAt(px);
                const auto& under = background[{px.x, px.y}];
                for (std::size_t i = 0; i < 3; ++i)
                    EXPECT_NEAR(got[i], p.alpha * (*p.colour)[i] + (1.0 - p.alpha) * under[i], 2.5) << "channel " << i;
            }
            // The buffers of this scene's meshes go with it.
            QvVBOHandleMgr::Instance()->Clear();
        }
    }
    status->m_bPowerSecondMesh = true;
    render->SetModel(&model);
}

// Each render mode on one drawer: filled (with or without black edges), edges only,
// red points only.
TEST_F(DrawerTest, RenderModesFillEdgeOrDot)
{
    StartGL(96, 96);
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bBackgroundImage = false;
    Scene scene;
    QvJaw* jaw = scene.Add<QvJaw>(kCentre);
    jaw->CopyMeshData(Square(kCentre, 0.3));
    jaw->UpdateBBox();
    render->SetModel(&scene.model);
    struct Counts
    {
        long stencil = 0, black = 0, red = 0, lit = 0;
    };
    auto frame = [&](std::int32_t mode) {
        status->m_renderMode = mode;
        Frame();
        const std::vector<std::uint8_t> stencil = gl->ReadStencil();
        const rivela::testing::RgbaImage image = gl->ReadColor();
        Counts n;
        for (std::size_t k = 0; k < stencil.size(); ++k)
        {
            if (stencil[k] != kQvStencilJaw)
                continue;
            ++n.stencil;
            const std::uint8_t* px = &image.pixels[4 * k];
            n.black += px[0] < 8 && px[1] < 8 && px[2] < 8;
            n.red += px[0] > 245 && px[1] < 8 && px[2] < 8;
            // Light grey, darkening away from the middle as the light turns off the normal.
            n.lit += px[2] > 150 && px[0] - px[2] >= 0 && px[0] - px[2] < 12;
        }
        return n;
    };
    const Counts solid = frame(kQvRenderSolid);
    const Counts framed = frame(kQvRenderSolidEdges);
    const Counts edges = frame(kQvRenderEdges);
    const Counts points = frame(kQvRenderPoints);
    status->m_renderMode = kQvRenderSolid;
    render->SetModel(&model);
    QvVBOHandleMgr::Instance()->Clear();

    EXPECT_GT(solid.stencil, 2000);
    EXPECT_EQ(solid.black + solid.red, 0);
    EXPECT_GT(solid.lit, solid.stencil * 9 / 10);
    // Edges on top of the same fill.
    EXPECT_GE(framed.stencil, solid.stencil);
    EXPECT_GT(framed.black, 300);
    EXPECT_GT(framed.lit, solid.stencil / 2);
    // Only the edges: black and far fewer pixels, nothing lit.
    EXPECT_EQ(edges.black, edges.stencil);
    EXPECT_LT(edges.stencil, solid.stencil / 2);
    EXPECT_GT(edges.stencil, 300);
    // Only 5 x 5 red dots at the 25 vertices.
    EXPECT_EQ(points.red, points.stencil);
    EXPECT_NEAR(static_cast<double>(points.stencil), 25 * 25, 100);
}
