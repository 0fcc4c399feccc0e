// SPDX-License-Identifier: GPL-3.0-or-later
// One frame of the demo case (28 teeth at about 5 000 or 20 000 faces a crown, 25
// extracted and a pontic in its place, shown at step 3 with six attachments, gums and
// jaw bones) drawn headless at 1280 x 800 on Mesa's llvmpipe through OSMesa, glFinish in
// every timed frame:
//   BM_Frame_Rivela       the renderer: camera, gradient, view, every entity through its
//                         drawer and vertex buffers, stencil values;
//   BM_Frame_GLArrays     a minimal GL program drawing the same triangles (each mesh at its
//                         placement, baked into one vertex buffer of positions and normals
//                         in the renderer's unindexed layout) with one glDrawArrays, the
//                         same light, light model and matrices, depth test only;
//   BM_Frame_GLElements   the same with shared vertices and one glDrawElements, so that
//                         the rasteriser's vertex cache saves lighting work.
// The two minimal programs are the throughput limit of this rasteriser for the scene.
// Counters: triangles per frame, Mtri/s, and the pixels the entities cover (the
// renderer's stencil, the minimal programs' depth), which must agree between the three.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bench/BenchGL.h"
#include "bench/BenchMain.h"
#include "core/design/QvAttachment.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvModel.h"
#include "core/render/QvDrawerMgr.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "testing/DemoCase.h"
#include "testing/OffscreenGL.h"
#include "testing/SchemeStepView.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;
constexpr int kStep = 3;

rivela::testing::OffscreenGL& Context() { return benchgl::Context(kWidth, kHeight); }

struct Drawn
{
    const QvMesh* mesh;
    QvMatrix placement;
};

struct Scene
{
    qvtest::DemoCase demo;
    std::vector<Drawn> drawn;
    long triangles = 0;
    double projection[16];
    double modelView[16];
};

Scene* g_active = nullptr;

const QvMesh* DrawnMesh(QvEntity* entity)
{
    if (auto* attachment = dynamic_cast<QvAttachment*>(entity))
        return attachment->GetGeometry();
    return dynamic_cast<QvMesh*>(entity);
}

// The renderer set up on the scene's model as the 3-D view sets it up: smooth tooth
// normals, the alternative tooth material, the view framed on the teeth from above.
void Activate(Scene& scene)
{
    if (g_active == &scene)
        return;
    g_active = &scene;
    QvRenderStatus* status = QvRenderStatus::Instance();
    status->m_bSmoothNormals = true;
    status->m_bAltToothMaterial = true;
    status->m_bBackgroundImage = false;
    QvModel& model = *scene.demo.model;
    QvView& view = benchgl::ShowStep(model, *scene.demo.scheme, kStep, kWidth, kHeight);
    QvPoint lo(1e300, 1e300, 1e300), hi(-1e300, -1e300, -1e300);
    scene.drawn.clear();
    std::vector<QvEntity*> all;
    model.GetAllEntities(all);
    for (QvEntity* entity : all)
    {
        const QvMesh* mesh = DrawnMesh(entity);
        if ((entity->m_state & 0x1001u) != 1u || mesh == nullptr || mesh->m_faces.empty() ||
            QvDrawerMgr::Instance()->GetDrawer(entity->GetType()) == nullptr)
            continue;
        QvMatrix placement(4, 4);
        placement.SetIdentity();
        if (const QvViewDrawInfo::Entry* placed = view.GetDrawInfo()->FindEntityMatrix(entity, false))
            placement = placed->second;
        else if (auto* attachment = dynamic_cast<QvAttachment*>(entity))
            placement = attachment->m_matrix;
        scene.drawn.push_back({mesh, placement});
        if (entity->GetType() == kQvTypeTooth)
            for (const QvVertex& v : mesh->m_vertices)
            {
                const QvPoint p = placement * v.m_point;
                for (int i = 0; i < 3; ++i)
                {
                    lo[i] = std::min(lo[i], p[i]);
                    hi[i] = std::max(hi[i], p[i]);
                }
            }
    }
    // One frame uploads the buffers and leaves the view's matrices.
    benchgl::FrameOn(view, lo, hi, kWidth, kHeight);
    std::copy_n(view.GetProjectionMatrix(), 16, scene.projection);
    std::copy_n(view.GetModelViewMatrix(), 16, scene.modelView);
    scene.triangles = 0;
    for (const Drawn& d : scene.drawn)
        if (const QvVBOHandle* handle = QvVBOHandleMgr::Instance()->Find(const_cast<QvMesh*>(d.mesh)))
            scene.triangles += handle->m_triangleCount;
}

// Released by main while the attachment library their attachments use still exists.
std::map<int, std::unique_ptr<Scene>> g_scenes;

Scene& GetScene(int faces)
{
    std::unique_ptr<Scene>& scene = g_scenes[faces];
    if (!scene)
    {
        Context();
        scene = std::make_unique<Scene>();
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = faces;
        options.steps = 10;
        if (!qvtest::BuildDemoCase(scene->demo, options))
            std::abort();
    }
    Activate(*scene);
    return *scene;
}

// Pixels the entities cover: the renderer's stencil marks them (its translucent pontic
// writes no depth); the minimal programs leave depth there.
long CoveredPixels(bool byStencil)
{
    if (byStencil)
    {
        const std::vector<std::uint8_t> stencil = Context().ReadStencil();
        return static_cast<long>(std::count_if(stencil.begin(), stencil.end(), [](std::uint8_t s) { return s != 0; }));
    }
    const std::vector<float> depth = Context().ReadDepth();
    return static_cast<long>(std::count_if(depth.begin(), depth.end(), [](float d) { return d < 1.0f; }));
}

void Report(benchmark::State& state, const Scene& scene, bool byStencil)
{
    state.counters["triangles"] = static_cast<double>(scene.triangles);
    state.counters["Mtri/s"] = benchmark::Counter(static_cast<double>(scene.triangles) / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels"] = static_cast<double>(CoveredPixels(byStencil));
}

void BM_Frame_Rivela(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    QvOpenGLRender* render = QvRenderStatus::Instance()->GetRender();
    for (auto _ : state)
    {
        render->DrawScene();
        glFinish();
    }
    Report(state, scene, true);
}

// ---- The minimal programs -------------------------------------------------------------

// Placed corners and normals (area-weighted vertex normals, turned with the mesh).
struct Baked
{
    std::vector<float> interleaved; // x y z nx ny nz per corner, unindexed
    std::vector<float> vertices;    // the same per shared vertex
    std::vector<std::uint32_t> indices;
};

Baked Bake(const Scene& scene)
{
    Baked out;
    for (const Drawn& d : scene.drawn)
    {
        const QvMesh& mesh = *d.mesh;
        std::vector<std::array<double, 3>> normals(mesh.m_vertices.size(), {0, 0, 0});
        for (const QvFace& f : mesh.m_faces)
        {
            const QvPoint& a = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point;
            const QvPoint& b = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point;
            const QvPoint& c = mesh.m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point;
            const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
            for (int k : f.m_vertices)
                for (int i = 0; i < 3; ++i)
                    normals[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)] += n[i];
        }
        const QvMatrix& m = d.placement;
        const std::uint32_t base = static_cast<std::uint32_t>(out.vertices.size() / 6);
        std::vector<float> placed;
        for (std::size_t k = 0; k < mesh.m_vertices.size(); ++k)
        {
            const QvPoint p = m * mesh.m_vertices[k].m_point;
            const std::array<double, 3>& n = normals[k];
            double r[3];
            for (int i = 0; i < 3; ++i)
                r[i] = m[i][0] * n[0] + m[i][1] * n[1] + m[i][2] * n[2];
            const double len = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
            for (int i = 0; i < 3; ++i)
                placed.push_back(static_cast<float>(p[i]));
            for (int i = 0; i < 3; ++i)
                placed.push_back(static_cast<float>(len > 0 ? r[i] / len : 0.0));
        }
        out.vertices.insert(out.vertices.end(), placed.begin(), placed.end());
        for (const QvFace& f : mesh.m_faces)
            for (int k : f.m_vertices)
            {
                out.indices.push_back(base + static_cast<std::uint32_t>(k));
                const float* corner = &placed[static_cast<std::size_t>(k) * 6];
                out.interleaved.insert(out.interleaved.end(), corner, corner + 6);
            }
    }
    return out;
}

// The renderer's light and light model, its matrices, depth testing; nothing else.
void MinimalState(const Scene& scene)
{
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const GLfloat position[4] = {0, 0, 0, 1}, ambient[4] = {0.1f, 0.1f, 0.1f, 1};
    const GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1}, specular[4] = {0.8f, 0.8f, 0.8f, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glViewport(0, 0, kWidth, kHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(scene.projection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(scene.modelView);
    glColor3ub(200, 200, 200);
}

void BM_Frame_GLArrays(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    const Baked baked = Bake(scene);
    GLuint buffer = 0;
    glGenBuffersARB(1, &buffer);
    glBindBufferARB(GL_ARRAY_BUFFER, buffer);
    glBufferDataARB(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(baked.interleaved.size() * sizeof(float)),
                    baked.interleaved.data(), GL_STATIC_DRAW);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    MinimalState(scene);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 6 * sizeof(float), nullptr);
    glNormalPointer(GL_FLOAT, 6 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    const GLsizei corners = static_cast<GLsizei>(baked.interleaved.size() / 6);
    for (auto _ : state)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawArrays(GL_TRIANGLES, 0, corners);
        glFinish();
    }
    Report(state, scene, false);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glPopAttrib();
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    glDeleteBuffersARB(1, &buffer);
}

void BM_Frame_GLElements(benchmark::State& state)
{
    Scene& scene = GetScene(static_cast<int>(state.range(0)));
    const Baked baked = Bake(scene);
    GLuint buffers[2] = {0, 0};
    glGenBuffersARB(2, buffers);
    glBindBufferARB(GL_ARRAY_BUFFER, buffers[0]);
    glBufferDataARB(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(baked.vertices.size() * sizeof(float)),
                    baked.vertices.data(), GL_STATIC_DRAW);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferDataARB(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(baked.indices.size() * sizeof(std::uint32_t)),
                    baked.indices.data(), GL_STATIC_DRAW);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    MinimalState(scene);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, 6 * sizeof(float), nullptr);
    glNormalPointer(GL_FLOAT, 6 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    const GLsizei count = static_cast<GLsizei>(baked.indices.size());
    for (auto _ : state)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDrawElements(GL_TRIANGLES, count, GL_UNSIGNED_INT, nullptr);
        glFinish();
    }
    Report(state, scene, false);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glPopAttrib();
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    glBindBufferARB(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDeleteBuffersARB(2, buffers);
}

// The rasteriser's threads do much of the work: wall-clock time is the measure.
BENCHMARK(BM_Frame_Rivela)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Frame_GLArrays)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Frame_GLElements)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return benchgl::RunHeadless(argc, argv, [] { g_scenes.clear(); });
}
