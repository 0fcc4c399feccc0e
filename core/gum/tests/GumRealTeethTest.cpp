// SPDX-License-Identifier: GPL-3.0-or-later
// The gum around eight real upper crowns (cut from whole CT teeth at their cervical level).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>

#include "core/gum/QvCreateGumCommandOld.h"
#include "core/model/QvTooth.h"
#include "testing/MeshInvariants.h"

namespace {

const char* kFolder = "/work/shared/data/real-teeth/";

bool ReadBinaryStl(const std::string& path, QvMesh& mesh)
{
    std::ifstream in(path, std::ios::binary);
    char header[80];
    std::uint32_t count = 0;
    if (!in.read(header, 80) || !in.read(reinterpret_cast<char*>(&count), 4))
        return false;
    std::vector<QvPoint> corners;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        float f[12];
        char attr[2];
        if (!in.read(reinterpret_cast<char*>(f), 48) || !in.read(attr, 2))
            return false;
        for (int k = 1; k < 4; ++k)
            corners.emplace_back(f[3 * k], f[3 * k + 1], f[3 * k + 2]);
    }
    return mesh.BuildFromTriangleSoup(corners);
}

} // namespace

TEST(GumRealTeeth, UpperCrownsFromFirstMolarToLateralIncisor)
{
    std::vector<std::unique_ptr<QvTooth>> teeth;
    const int universal[] = {3, 4, 5, 6, 7, 8, 9, 10};
    const int fdi[] = {16, 15, 14, 13, 12, 11, 21, 22};
    for (int i = 0; i < 8; ++i)
    {
        auto tooth = std::make_unique<QvTooth>();
        if (!ReadBinaryStl(std::string(kFolder) + "tooth_" + std::to_string(universal[i]) + ".stl", *tooth))
            GTEST_SKIP() << "real teeth not readable";
        tooth->SetFdi(fdi[i]);
        // Upper teeth: crowns point down. Keep the crown below its cervical level.
        tooth->UpdateBBox();
        double zmin = 1e300, zmax = -1e300;
        for (const QvVertex& v : tooth->m_vertices)
        {
            zmin = std::fmin(zmin, v.m_point[2]);
            zmax = std::fmax(zmax, v.m_point[2]);
        }
        tooth->CutByPlane(QvPlane(QvPoint(0, 0, zmin + 0.4 * (zmax - zmin)), QvVector(0, 0, -1)), nullptr);
        tooth->RemoveIsolatedVertices();
        tooth->SetFrame(QvFrame(tooth->GetCenter(), QvVector(1, 0, 0), QvVector(0, 1, 0)));
        teeth.push_back(std::move(tooth));
    }
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
