// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "core/geometry/QvPlane.h"
#include "core/model/QvEntityAnonymous.h"
#include "core/render/QvViewDrawInfo.h"

namespace
{
QvMatrix Shift(double x)
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    m[0][3] = x;
    return m;
}

// The placements in drawing order as (ghost, x shift).
std::vector<std::pair<bool, double>> Passes(QvViewDrawInfo& info, QvEntity* e)
{
    std::vector<std::pair<bool, double>> out;
    for (const auto& [ghost, m] : info.GetEntityMatrices(e))
        out.emplace_back(ghost, m[0][3]);
    return out;
}
} // namespace

TEST(ViewDrawInfo, NormalPlacementComesFirstAndIsReplacedInPlace)
{
    QvViewDrawInfo info;
    QvEntityAnonymous tooth;
    EXPECT_TRUE(info.GetEntityMatrices(&tooth).empty()); // drawn once, at its own position

    info.SetEntityMatrix(&tooth, Shift(2.0), true); // ghost first on purpose
    info.SetEntityMatrix(&tooth, Shift(1.0), false);
    using P = std::vector<std::pair<bool, double>>;
    EXPECT_EQ(Passes(info, &tooth), (P{{false, 1.0}, {true, 2.0}}));

    info.SetEntityMatrix(&tooth, Shift(3.0), false);
    EXPECT_EQ(Passes(info, &tooth), (P{{false, 3.0}, {true, 2.0}}));
    ASSERT_NE(info.FindEntityMatrix(&tooth, true), nullptr);
    EXPECT_DOUBLE_EQ(info.FindEntityMatrix(&tooth, true)->second[0][3], 2.0);

    // Removing the ghost twice: the second time there is none and nothing changes.
    EXPECT_TRUE(info.RemoveEntityMatrix(&tooth, true));
    EXPECT_TRUE(info.RemoveEntityMatrix(&tooth, true));
    EXPECT_EQ(Passes(info, &tooth), (P{{false, 3.0}}));

    EXPECT_TRUE(info.ClearEntityMatrices(&tooth));
    EXPECT_EQ(info.FindEntityMatrices(&tooth), nullptr);
}

TEST(ViewDrawInfo, RemovingFromAnEntityWithoutPlacementsDrawsItOnce)
{
    QvViewDrawInfo info;
    QvEntityAnonymous other;
    EXPECT_TRUE(info.RemoveEntityMatrix(&other, false));
    EXPECT_EQ(info.FindEntityMatrix(&other, false), nullptr);
    EXPECT_TRUE(info.GetEntityMatrices(&other).empty());
}

TEST(ViewDrawInfo, ResetKeepsHiddenSetAndClipPlanes)
{
    QvViewDrawInfo info;
    QvEntityAnonymous a;
    info.SetEntityMatrix(&a, Shift(1.0), false);
    info.SetGums(reinterpret_cast<QvGum*>(&a), reinterpret_cast<QvGum*>(&a));
    info.SetStep(4);
    info.HideEntity(&a);
    QvPlane plane(QvPoint(0, 0, 1), QvVector(0, 0, 1));
    info.SetClipPlane(&plane);

    info.Reset();
    EXPECT_TRUE(info.GetAllEntityMatrices().empty());
    EXPECT_EQ(info.GetGum(true), nullptr);
    EXPECT_EQ(info.GetGum(false), nullptr);
    EXPECT_EQ(info.GetStep(), -1);
    EXPECT_TRUE(info.IsEntityHidden(&a));
    EXPECT_EQ(info.GetClipPlanes().size(), 1u);
}

TEST(ViewDrawInfo, IsAllHiddenCases)
{
    QvEntityAnonymous a, b, c;
    struct Case
    {
        const char* name;
        std::vector<QvEntity*> hidden;
        std::set<QvEntity*> asked;
        bool expected;
    };
    const Case cases[] = {
        {"empty set", {&a}, {}, false},
        {"nothing hidden", {}, {&a}, false},
        {"one of two hidden", {&a}, {&a, &b}, false},
        {"both hidden", {&a, &b}, {&a, &b}, true},
        {"hidden set larger", {&a, &b, &c}, {&b}, true},
    };
    for (const Case& k : cases)
    {
        QvViewDrawInfo info;
        info.HideEntities(k.hidden);
        EXPECT_EQ(info.IsAllHidden(k.asked), k.expected) << k.name;
    }
}

TEST(ViewDrawInfo, HideAndShow)
{
    QvViewDrawInfo info;
    QvEntityAnonymous a, b;
    info.HideEntity(&a);
    info.HideEntity(&a);
    info.HideEntities({&b});
    EXPECT_EQ(info.GetHiddenEntities().size(), 2u);
    info.ShowEntity(&a);
    info.ShowEntity(&a);
    EXPECT_FALSE(info.IsEntityHidden(&a));
    EXPECT_TRUE(info.IsEntityHidden(&b));
    info.ShowAllEntities();
    EXPECT_FALSE(info.IsEntityHidden(&b));
}

TEST(ViewDrawInfo, ClipPlanes)
{
    QvViewDrawInfo info;
    const QvPlane p1(QvPoint(0, 0, 1), QvVector(0, 0, 1));
    const QvPlane p2(QvPoint(1, 0, 0), QvVector(1, 0, 0));

    info.SetClipPlane(&p1);
    info.SetClipPlane(&p2); // replaces
    ASSERT_EQ(info.GetClipPlanes().size(), 1u);
    EXPECT_DOUBLE_EQ(info.GetClipPlanes()[0]->m_coef[0], 1.0);
    EXPECT_NE(info.GetClipPlanes()[0], &p2); // a copy

    // Setting the plane the info already holds must not read a deleted plane.
    info.SetClipPlane(info.GetClipPlanes()[0]);
    ASSERT_EQ(info.GetClipPlanes().size(), 1u);
    EXPECT_DOUBLE_EQ(info.GetClipPlanes()[0]->m_coef[3], -1.0);

    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(info.AddClipPlane(p1));
    EXPECT_FALSE(info.AddClipPlane(p1));
    EXPECT_EQ(info.GetClipPlanes().size(), 5u);

    info.SetClipPlane(nullptr); // removes the section cut
    EXPECT_TRUE(info.GetClipPlanes().empty());
}

TEST(ViewDrawInfo, CopyIsDeep)
{
    QvViewDrawInfo info;
    QvEntityAnonymous a;
    const QvPlane p(QvPoint(0, 0, 1), QvVector(0, 0, 1));
    info.SetClipPlane(&p);
    info.SetEntityMatrix(&a, Shift(1.0), false);
    info.HideEntity(&a);

    QvViewDrawInfo copy;
    copy = info;
    QvViewDrawInfo constructed(info);
    info.SetClipPlane(nullptr);
    for (QvViewDrawInfo* c : {&copy, &constructed})
    {
        ASSERT_EQ(c->GetClipPlanes().size(), 1u);
        EXPECT_DOUBLE_EQ(c->GetClipPlanes()[0]->m_coef[2], 1.0);
        EXPECT_TRUE(c->IsEntityHidden(&a));
        EXPECT_NE(c->FindEntityMatrix(&a, false), nullptr);
    }
}
