// SPDX-License-Identifier: GPL-3.0-or-later
// The second gum builder on the demo arches (plain and tilted base, finishing flags off
// and on, a tooth pushed out of the arch) and on real crowns, and its small rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "core/geometry/QvMatrix.h"
#include "core/gum/QvCreateGumCommand.h"
#include "core/gum/QvGumRingOps.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"
#include "core/gum/tests/RealCrowns.h"
#include "testing/DemoDentition.h"
#include "testing/MeshInvariants.h"

namespace {

double DistanceToRing(const QvPoint& p, const std::vector<QvPoint>& ring)
{
    double best = 1e300;
    for (std::size_t i = 0; i < ring.size(); ++i)
    {
        const QvPoint& a = ring[i];
        const QvVector ab = ring[(i + 1) % ring.size()] - a;
        const double len2 = ab.SquaredLength();
        const double t = len2 > 0.0 ? std::fmin(1.0, std::fmax(0.0, (p - a).Dot(ab) / len2)) : 0.0;
        best = std::fmin(best, p.Distance(a + ab * t));
    }
    return best;
}

// Empty when the gum is sound: invariants, finite points, one orientation, a flat base
// on the base plane facing away from the teeth and bounded by the wall alone.
std::string GumFault(const QvCreateGumCommand& command, bool onRings = true)
{
    const QvMesh& mesh = *command.m_pGumMesh;
    std::string violation = qvtest::FindMeshInvariantViolation(mesh);
    if (!violation.empty())
        return "invariants: " + violation;
    for (const QvVertex& v : mesh.m_vertices)
        if (!std::isfinite(v.m_point[0] + v.m_point[1] + v.m_point[2]))
            return "not finite";
    if (!qvtest::IsConsistentlyOriented(mesh))
        return "inconsistent orientation";
    int baseFaces = 0;
    for (const QvFace& face : mesh.m_faces)
    {
        if (face.m_tag != 6)
            continue;
        ++baseFaces;
        for (const int v : face.m_vertices)
            if (std::fabs(command.m_basePlane.Distance(mesh.m_vertices[static_cast<std::size_t>(v)].m_point, true)) > 1e-6)
                return "base face off the base plane";
        if (face.m_normal.Dot(command.m_up) < 0.9)
            return "base face not facing away from the teeth";
    }
    if (baseFaces == 0)
        return "no base";
    // Every base edge on the outline is shared with the wall: the base closes the wall.
    for (const QvEdge& edge : mesh.m_edges)
    {
        const int f0 = edge.m_faces[0], f1 = edge.m_faces[1];
        if (f1 < 0 && mesh.m_faces[static_cast<std::size_t>(f0)].m_tag == 6)
            return "base edge left open";
    }
    // Without the finishing steps the only border is the crown rims: every border vertex
    // lies on a tooth's working ring. A bridge patch is a fitted surface whose side
    // curves leave the rings between their points; its border is left to the stitching.
    if (command.m_bCapToothRings || command.m_bStitchBorder || !onRings)
        return "";
    std::vector<std::vector<int>> loops;
    mesh.GetBoundaryLoops(loops);
    if (loops.empty())
        return "no tooth openings";
    for (const std::vector<int>& loop : loops)
        for (const int v : loop)
        {
            double best = 1e300;
            for (const QvGumToothRecord* record : command.m_records)
                best = std::fmin(best, DistanceToRing(mesh.m_vertices[static_cast<std::size_t>(v)].m_point,
                                                      record->m_workRing));
            if (best > 1e-6)
                return "border vertex off the rings by " + std::to_string(best);
        }
    return "";
}

// With RIVELA_GUM_STL_DIR set, the gum and its teeth (placed) go there as STL for review.
void DumpForReview(const std::string& name, const QvCreateGumCommand& command)
{
    const char* dir = std::getenv("RIVELA_GUM_STL_DIR");
    if (!dir)
        return;
    static_cast<void>(command.m_pGumMesh->WriteSTL(std::string(dir) + "/" + name + "_gum.stl"));
    QvMesh teeth;
    for (const auto& [tooth, matrix] : command.m_teeth)
    {
        QvMesh placed(*tooth);
        if (matrix)
            placed.Transform(*matrix);
        std::map<int, int> map;
        static_cast<void>(teeth.AppendMesh(placed, map));
    }
    static_cast<void>(teeth.WriteSTL(std::string(dir) + "/" + name + "_teeth.stl"));
}

struct Arch
{
    explicit Arch(int faces)
    {
        qvtest::DentitionOptions options;
        options.facesPerTooth = faces;
        qvtest::GenerateDentition(model, options);
    }
    std::map<QvToothBase*, QvMatrix*> Teeth(bool upper) const
    {
        std::map<QvToothBase*, QvMatrix*> teeth;
        for (QvEntity* entity : model.m_teeth)
            if (static_cast<QvToothBase*>(entity)->IsUpper() == upper)
                teeth[static_cast<QvToothBase*>(entity)] = nullptr;
        return teeth;
    }
    QvModel model;
};

struct BuildCase
{
    bool upper;
    bool toothFrameBase;
    bool finishing;
};

} // namespace

TEST(GumSecondBuilder, DemoArchesBothBasesFlagsOffAndOn)
{
    Arch arch(1500);
    const BuildCase cases[] = {{true, false, false}, {false, false, false}, {true, true, false},
                               {false, true, false}, {true, false, true},  {false, true, true}};
    for (const BuildCase& c : cases)
    {
        SCOPED_TRACE(std::string(c.upper ? "upper" : "lower") + (c.toothFrameBase ? " tooth-frame base" : " plain base") +
                     (c.finishing ? " capped and stitched" : ""));
        QvCreateGumCommand command(nullptr, arch.model.GetJaw(c.upper)->m_frame, arch.Teeth(c.upper));
        command.SetToothFrameBase(c.toothFrameBase);
        command.SetCapToothRings(c.finishing);
        command.SetStitchBorder(c.finishing);
        ASSERT_TRUE(command.Execute());
        EXPECT_EQ(GumFault(command), "");
        DumpForReview(std::string(c.upper ? "upper" : "lower") + (c.toothFrameBase ? "_frame" : "_plain") +
                          (c.finishing ? "_finished" : ""),
                      command);
        EXPECT_FALSE(command.Execute()) << "a second run";
        EXPECT_NE(command.m_pGumMesh, nullptr);
    }
}

TEST(GumSecondBuilder, ToothPushedOutOfTheArchIsBridged)
{
    Arch arch(1500);
    for (const int fdi : {14, 24, 34, 44})
    {
        SCOPED_TRACE(fdi);
        const bool upper = fdi < 30;
        std::map<QvToothBase*, QvMatrix*> teeth = arch.Teeth(upper);
        // The arch's centre in the occlusal plane; the first premolar moves 6 mm outwards.
        QvVector sum;
        for (const auto& entry : teeth)
            sum = sum + (entry.first->GetCenter() - QvPoint());
        const QvPoint centre = QvPoint() + sum / static_cast<double>(teeth.size());
        QvToothBase* pushed = nullptr;
        for (const auto& entry : teeth)
            if (static_cast<QvTooth*>(entry.first)->GetFdi() == fdi)
                pushed = entry.first;
        ASSERT_NE(pushed, nullptr);
        const QvFrame& jaw = arch.model.GetJaw(upper)->m_frame;
        QvVector out = pushed->GetCenter() - centre;
        out = out - jaw.m_dirZ * out.Dot(jaw.m_dirZ);
        out.Normalize();
        QvMatrix move = qvtest::Translation4(out[0] * 6.0, out[1] * 6.0, out[2] * 6.0);
        teeth[pushed] = &move;
        for (const bool finishing : {false, true})
        {
            QvCreateGumCommand command(nullptr, jaw, teeth);
            command.SetCapToothRings(finishing);
            command.SetStitchBorder(finishing);
            ASSERT_TRUE(command.Execute()) << finishing;
            EXPECT_EQ(GumFault(command, false), "") << finishing;
            DumpForReview("pushed_" + std::to_string(fdi) + (finishing ? "_finished" : ""), command);
            bool bridged = false;
            for (const QvGumToothRecord* record : command.m_records)
                if (record->m_pTooth == pushed)
                    bridged = record->m_continueFace0 || record->m_continueFace1;
            EXPECT_TRUE(bridged);
        }
    }
}

TEST(GumSecondBuilder, RealUpperCrowns)
{
    const std::vector<std::unique_ptr<QvTooth>> teeth = qvtest::RealUpperCrowns();
    if (teeth.empty())
        GTEST_SKIP() << "real teeth not on this machine";
    std::vector<QvToothBase*> list;
    for (auto& t : teeth)
        list.push_back(t.get());
    const QvFrame jaw(QvPoint(), QvVector(0, 1, 0), QvVector(-1, 0, 0));
    for (const bool finishing : {false, true})
    {
        QvCreateGumCommand command(nullptr, jaw, list);
        command.SetCapToothRings(finishing);
        command.SetStitchBorder(finishing);
        ASSERT_TRUE(command.Execute()) << finishing;
        EXPECT_EQ(GumFault(command), "") << finishing;
        EXPECT_GT(command.m_pGumMesh->m_faces.size(), 1000u);
        DumpForReview(finishing ? "real_finished" : "real", command);
    }
}

TEST(GumSecondBuilder, EmptyOrSingleToothListFails)
{
    const QvFrame jaw(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0));
    QvCreateGumCommand empty(nullptr, jaw, std::vector<QvToothBase*>{});
    EXPECT_FALSE(empty.Execute());
    EXPECT_EQ(empty.m_pGumMesh, nullptr);
    QvTooth tooth;
    QvCreateGumCommand twice(nullptr, jaw, std::vector<QvToothBase*>{&tooth, &tooth});
    EXPECT_EQ(twice.m_teeth.size(), 1u);
    EXPECT_FALSE(twice.Execute());
}
