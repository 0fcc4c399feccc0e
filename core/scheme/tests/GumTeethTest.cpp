// SPDX-License-Identifier: GPL-3.0-or-later
// The teeth the gums of a step are built around.
#include <gtest/gtest.h>

#include <set>

#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;

// Gives the tooth a crown rim: one loop vertex per height, around x.
void SetRim(QvTooth* tooth, double x, const std::vector<double>& heights)
{
    tooth->m_boundaryLoop.clear();
    for (std::size_t i = 0; i < heights.size(); ++i)
        tooth->m_boundaryLoop.push_back(tooth->AddVertex(QvPoint(x + 0.01 * static_cast<double>(i), 0, heights[i])));
}

TEST(GumTeeth, AToothStandsWithinItsNeighboursWhenSeventyPercentOfItsRimDoes)
{
    struct Case
    {
        int rim;
        int below;
        bool within;
    };
    const Case cases[] = {{10, 7, true}, {10, 6, false}, {5, 4, true}, {5, 3, false}, {10, 0, false}};
    for (const Case& k : cases)
    {
        SchemeCase c({11, 21});
        SetRim(c.Tooth(21), 1, {1.0, 0.5});
        std::vector<double> heights(static_cast<std::size_t>(k.rim), 1.5);
        for (int i = 0; i < k.below; ++i)
            heights[static_cast<std::size_t>(i)] = i == 0 ? 1.0 : 0.9; // at the neighbours' top counts
        SetRim(c.Tooth(11), 0, heights);
        EXPECT_EQ(c.scheme->IsToothWithinNeighbours(0, c.Tooth(11), {c.Tooth(21)}), k.within)
            << k.rim << " " << k.below;
        EXPECT_FALSE(c.scheme->IsToothWithinNeighbours(0, c.Tooth(11), {}));
    }
}

TEST(GumTeeth, ExtractedStateTeethJoinOnlyBelowTheirNeighbours)
{
    for (const double height : {0.5, 2.0})
    {
        SchemeCase c({12, 11, 21, 31});
        c.Tooth(11)->SetState(kQvToothExtracted);
        c.Tooth(31)->SetState(kQvToothExtracted);
        SetRim(c.Tooth(12), -1, {1.0, 0.8, 0.9});
        SetRim(c.Tooth(11), 0, {height, height, height});
        SetRim(c.Tooth(21), 1, {0.7, 0.6, 0.9});
        SetRim(c.Tooth(31), 0, {-1.0, -1.0});
        const std::vector<QvToothBase*> teeth = c.scheme->GetGumTeeth(0);
        const std::set<QvToothBase*> got(teeth.begin(), teeth.end());
        std::set<QvToothBase*> expected = {c.Tooth(12), c.Tooth(21)};
        if (height < 1.0)
            expected.insert(c.Tooth(11));
        // The lower jaw's only tooth is extracted: nothing to order, nothing built.
        EXPECT_EQ(got, expected) << height;
        EXPECT_EQ(teeth.size(), got.size());
    }
}

TEST(GumTeeth, WithoutExtractedStateTeethTheyAreThePresentTeeth)
{
    SchemeCase c({11, 21, 31, 41});
    c.scheme->m_extractedTeeth.insert(c.Tooth(21));
    std::vector<QvToothBase*> present;
    c.scheme->GetTeeth(present);
    EXPECT_EQ(c.scheme->GetGumTeeth(3), present);
}

} // namespace
