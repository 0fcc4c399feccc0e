// SPDX-License-Identifier: GPL-3.0-or-later
// The gum around eight real upper crowns (cut from whole CT teeth at their cervical level).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvTooth.h"
#include "core/gum/tests/RealCrowns.h"
#include "testing/MeshInvariants.h"

TEST(GumRealTeeth, UpperCrownsFromFirstMolarToLateralIncisor)
{
    const std::vector<std::unique_ptr<QvTooth>> teeth = qvtest::RealUpperCrowns();
    if (teeth.empty())
        GTEST_SKIP() << "real teeth not readable";
    std::map<QvToothBase*, QvMatrix*> map;
    for (auto& t : teeth)
        map[t.get()] = nullptr;
    // Jaw frame: Z from the crowns toward the jaw's base.
    const QvFrame jaw(QvPoint(), QvVector(0, 1, 0), QvVector(-1, 0, 0));
    ASSERT_GT(jaw.m_dirZ[2], 0.9);
    QvCreateGumCommandOld command(jaw, map);
    command.SetCapToothRings(false);
    command.SetStitchBorder(false);
    ASSERT_TRUE(command.Execute());
    const QvMesh& gum = *command.m_pGumMesh;
    EXPECT_TRUE(qvtest::MeshInvariantsHold(gum));
    EXPECT_GT(gum.m_faces.size(), 1000u);
    for (const QvVertex& v : gum.m_vertices)
        ASSERT_TRUE(std::isfinite(v.m_point[0]) && std::isfinite(v.m_point[1]) && std::isfinite(v.m_point[2]));
    // Every tooth hole is bounded by its crown rim.
    std::vector<std::vector<int>> loops;
    gum.GetBoundaryLoops(loops);
    EXPECT_GE(loops.size(), 1u);
}
