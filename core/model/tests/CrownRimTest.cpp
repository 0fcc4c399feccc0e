// SPDX-License-Identifier: GPL-3.0-or-later
// The crown rim found on the tooth's own edges against the rim of a copy of the crown
// faces: the same vertices in the same order, on shapes that give one rim, holes, rims
// touching at a vertex, ties between equal loops, flipped faces, and on real teeth.
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/model/QvCrownRim.h"
#include "core/model/QvToothBase.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshRealTeeth.h"

namespace {

// The rim as a tooth record read used to find it: the longest boundary loop of a copy
// of the crown faces, mapped back to the tooth's vertices.
std::vector<int> RimOfCopy(const QvMesh& tooth)
{
    std::vector<int> crown;
    for (const QvFace& f : tooth.m_faces)
        if (f.m_tag != kQvFaceTagVirtualRoot)
            crown.push_back(f.m_index);
    if (crown.empty())
        return {};
    std::map<int, int> newToOld;
    const std::unique_ptr<QvMesh> copy = tooth.ExtractFaces(crown, newToOld);
    std::vector<int> loop = LongestBoundaryLoop(*copy);
    for (int& v : loop)
        v = newToOld.at(v);
    return loop;
}

void TagBelow(QvMesh& mesh, double z)
{
    for (QvFace& f : mesh.m_faces)
    {
        double centre = 0.0;
        for (const int c : f.m_vertices)
            centre += mesh.m_vertices[static_cast<std::size_t>(c)].m_point[2] / 3.0;
        f.m_tag = centre < z ? kQvFaceTagVirtualRoot : kQvFaceTagPlain;
    }
}

// Every face a root face with the given chance, and some crown faces flipped (their
// corners then run against their side slots).
void TagAtRandom(QvMesh& mesh, double chance, unsigned seed)
{
    std::mt19937 random(seed);
    std::bernoulli_distribution root(chance);
    std::bernoulli_distribution flip(0.1);
    for (QvFace& f : mesh.m_faces)
    {
        f.m_tag = root(random) ? kQvFaceTagVirtualRoot : kQvFaceTagPlain;
        if (flip(random))
            f.Flip();
    }
}

void ExpectSameRim(const QvMesh& tooth, const std::string& what)
{
    SCOPED_TRACE(what);
    const std::vector<int> expected = RimOfCopy(tooth);
    EXPECT_EQ(CrownRim(tooth), expected);
}

TEST(CrownRim, MatchesTheRimOfACopyOfTheCrown)
{
    {
        QvMesh tooth = qvtest::MakeCrown(4);
        ExpectSameRim(tooth, "closed crown, no root: no rim");
        EXPECT_TRUE(CrownRim(tooth).empty());
        TagBelow(tooth, 0.0);
        ExpectSameRim(tooth, "root below the equator");
        EXPECT_FALSE(CrownRim(tooth).empty());
        TagBelow(tooth, 1e9);
        ExpectSameRim(tooth, "all root: no rim");
        EXPECT_TRUE(CrownRim(tooth).empty());
    }
    {
        const QvMesh open = qvtest::MakeGrid(12, 9);
        ExpectSameRim(open, "open crown without root faces");
    }
    {
        // Holes, rims meeting at a vertex and loops of equal length, from many seeds.
        for (unsigned seed = 1; seed <= 12; ++seed)
        {
            QvMesh tooth = qvtest::MakeSphere(3);
            TagAtRandom(tooth, 0.05 * seed, seed);
            ExpectSameRim(tooth, "sphere, random root faces, seed " + std::to_string(seed));
        }
        QvMesh grid = qvtest::MakeGrid(20, 20);
        TagAtRandom(grid, 0.3, 99);
        ExpectSameRim(grid, "open grid, random root faces");
    }
}

TEST(CrownRim, MatchesOnRealTeeth)
{
    const std::vector<std::string> files = qvtest::RealToothFiles();
    if (files.empty())
        GTEST_SKIP() << "no real teeth on this machine";
    for (std::size_t i = 0; i < files.size(); ++i)
    {
        QvMesh tooth;
        ASSERT_TRUE(qvtest::ReadBinaryStl(files[i], tooth)) << files[i];
        ASSERT_GT(tooth.m_faces.size(), 1000u) << files[i];
        // The crown above the middle of the tooth's height, the rest its root.
        TagBelow(tooth, (tooth.m_bbox.m_minPoint[2] + tooth.m_bbox.m_maxPoint[2]) / 2.0);
        ExpectSameRim(tooth, files[i] + ", cut at half height");
        EXPECT_GT(CrownRim(tooth).size(), 20u) << files[i];
        if (i < 2)
        {
            TagAtRandom(tooth, 0.2, static_cast<unsigned>(i + 1));
            ExpectSameRim(tooth, files[i] + ", random root faces");
        }
    }
}

} // namespace
