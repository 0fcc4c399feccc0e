// SPDX-License-Identifier: GPL-3.0-or-later
// Gums of the demo case: every step, both jaws, checked for holes, orientation,
// base faces and finite positions.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <map>
#include <memory>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/scheme/QvScheme.h"
#include "core/model/QvToothBase.h"
#include "testing/DemoCase.h"
#include "testing/DemoDentition.h"
#include "testing/MeshInvariants.h"

namespace {

struct DemoFixture
{
    explicit DemoFixture(int faces)
    {
        qvtest::DemoOptions options;
        options.dentition.facesPerTooth = faces;
        ok = qvtest::BuildDemoCase(demo, options);
    }
    qvtest::DemoCase demo;
    bool ok = false;
};

// Distance from p to the closed polyline.
double DistanceToRing(const QvPoint& p, const std::vector<QvPoint>& ring)
{
    double best = 1e300;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const QvPoint& a = ring[i];
        const QvPoint& b = ring[(i + 1) % ring.size()];
        const QvVector ab = b - a;
        const double len2 = ab.SquaredLength();
        double t = len2 > 0.0 ? (p - a).Dot(ab) / len2 : 0.0;
        t = std::fmin(1.0, std::fmax(0.0, t));
        best = std::fmin(best, p.Distance(a + ab * t));
    }
    return best;
}

// Every face reached from the last one agrees with its neighbours across shared edges.
bool ConsistentFromLastFace(const QvMesh& mesh)
{
    for (const QvEdge& edge : mesh.m_edges)
    {
        if (edge.m_faces[1] < 0)
            continue;
        const QvFace& f = mesh.m_faces[static_cast<std::size_t>(edge.m_faces[0])];
        const QvFace& g = mesh.m_faces[static_cast<std::size_t>(edge.m_faces[1])];
        auto directed = [&](const QvFace& face) {
            for (int k = 0; k < 3; ++k)
                if (face.m_vertices[k] == edge.m_vertices[0] && face.m_vertices[(k + 1) % 3] == edge.m_vertices[1])
                    return 1;
            return -1;
        };
        if (directed(f) == directed(g))
            return false;
    }
    return true;
}

struct GumCheck
{
    bool built = false;
    std::string failure;
};

GumCheck BuildAndCheck(QvScheme& scheme, int step, bool upper, bool capAndStitch = false)
{
    GumCheck result;
    std::map<QvToothBase*, QvMatrix*> teeth;
    scheme.BuildGumTeeth(step, upper, teeth);
    QvFrame frame = scheme.GetModel()->GetJaw(upper)->m_frame;
    if (!upper && step < static_cast<int>(scheme.m_stepLists.size()))
        frame.Transform(scheme.m_stepLists[static_cast<std::size_t>(step)]->m_jawMatrix);
    QvCreateGumCommandOld command(frame, teeth);
    command.SetCapToothRings(capAndStitch);
    command.SetStitchBorder(capAndStitch);
    result.built = command.Execute();
    for (auto& entry : teeth)
        delete entry.second;
    if (!result.built)
        return result;
    const QvMesh& mesh = *command.m_pGumMesh;
    const std::string violation = qvtest::FindMeshInvariantViolation(mesh);
    if (!violation.empty())
        result.failure = "invariants: " + violation;
    for (const QvVertex& v : mesh.m_vertices)
        if (!std::isfinite(v.m_point[0]) || !std::isfinite(v.m_point[1]) || !std::isfinite(v.m_point[2]))
            result.failure = "not finite";
    if (capAndStitch)
        return result;
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    for (const std::vector<int>& loop : loops)
        for (const int v : loop)
        {
            double best = 1e300;
            for (const QvGumToothInfo* info : command.m_toothInfos)
                best = std::fmin(best, DistanceToRing(mesh.m_vertices[static_cast<std::size_t>(v)].m_point, info->m_ring));
            if (best > 1e-6)
                result.failure = "border vertex off the rings by " + std::to_string(best);
        }
    if (!ConsistentFromLastFace(mesh))
        result.failure = "inconsistent orientation";
    for (const QvFace& face : mesh.m_faces)
        if (face.m_tag == 6)
        {
            for (int k = 0; k < 3; ++k)
                if (std::fabs(command.m_basePlane.Distance(mesh.m_vertices[static_cast<std::size_t>(face.m_vertices[k])].m_point, true)) > 1e-6)
                    result.failure = "base face off the base plane";
            if (face.m_normal.Dot(command.m_up) < 0.9)
                result.failure = "base face not facing up";
        }
    return result;
}

} // namespace

TEST(GumDemo, EveryStepBothJaws)
{
    // The demo case itself takes most of the time at 5k faces under the sanitizers; the
    // builder's own cost at 5k and 20k is measured in bench/gum_build.cpp.
    DemoFixture f(2000);
    ASSERT_TRUE(f.ok);
    QvScheme& scheme = *f.demo.scheme;
    const int steps = scheme.GetStepCount();
    ASSERT_GT(steps, 10);
    // Step 0 first: it computes any missing crown rim, after which builds share nothing
    // but reads and may run side by side, as a case being opened may run them.
    std::vector<GumCheck> checks(static_cast<std::size_t>(2 * steps));
    checks[0] = BuildAndCheck(scheme, 0, true);
    checks[1] = BuildAndCheck(scheme, 0, false);
    std::vector<std::thread> workers;
    std::atomic<int> next{2};
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&] {
            for (int k = next++; k < 2 * steps; k = next++)
                checks[static_cast<std::size_t>(k)] = BuildAndCheck(scheme, k / 2, k % 2 == 0);
        });
    for (std::thread& t : workers)
        t.join();
    for (int k = 0; k < 2 * steps; ++k)
    {
        EXPECT_TRUE(checks[static_cast<std::size_t>(k)].built) << "step " << k / 2 << (k % 2 == 0 ? " upper" : " lower");
        EXPECT_EQ(checks[static_cast<std::size_t>(k)].failure, "") << "step " << k / 2;
    }
}

TEST(GumDemo, InitialArchesAt5kAnd20k)
{
    for (const int faces : {5000, 20000})
    {
        QvModel model;
        qvtest::DentitionOptions options;
        options.facesPerTooth = faces;
        qvtest::GenerateDentition(model, options);
        for (const bool upper : {true, false})
        {
            std::map<QvToothBase*, QvMatrix*> teeth;
            for (QvEntity* entity : model.m_teeth)
                if (static_cast<QvToothBase*>(entity)->IsUpper() == upper)
                    teeth[static_cast<QvToothBase*>(entity)] = nullptr;
            QvCreateGumCommandOld command(model.GetJaw(upper)->m_frame, teeth);
            command.SetCapToothRings(false);
            command.SetStitchBorder(false);
            ASSERT_TRUE(command.Execute()) << faces;
            EXPECT_TRUE(qvtest::MeshInvariantsHold(*command.m_pGumMesh));
            for (const QvVertex& v : command.m_pGumMesh->m_vertices)
                ASSERT_TRUE(std::isfinite(v.m_point[0] + v.m_point[1] + v.m_point[2]));
        }
    }
}

TEST(GumDemo, CapsAndStitchedBorderKeepTheMeshSound)
{
    DemoFixture f(1500);
    ASSERT_TRUE(f.ok);
    for (const bool upper : {true, false})
    {
        const GumCheck check = BuildAndCheck(*f.demo.scheme, 12, upper, true);
        EXPECT_TRUE(check.built);
        EXPECT_EQ(check.failure, "");
    }
}
