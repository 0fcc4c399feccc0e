// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/model/QvEntityAnonymous.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothEmbeded.h"
#include "core/model/QvToothList.h"
#include "core/model/QvVirtualTooth.h"

namespace {

class EntityClasses : public ::testing::Test
{
protected:
    void SetUp() override { QvEntity::SetNextId(100); }
    void TearDown() override { QvEntity::SetNextId(100); }
};

TEST_F(EntityClasses, TypeCodesAndKindOfTests)
{
    struct Case
    {
        const char* name;
        std::unique_ptr<QvObject> object;
        QvTypeCode code;
        std::vector<QvTypeCode> kindOf;
    };
    const std::vector<QvTypeCode> probes = {1,          2,          4,          64,         128,
                                            256,        1024,       2048,       2049,       0x40000040,
                                            0x40000080, 0x40000000, 0x10080000, 0x20001000, 0x10000000};
    Case cases[] = {
        {"jaw", std::make_unique<QvJaw>(), 64, {1, 2, 4, 64}},
        {"tooth", std::make_unique<QvTooth>(), 128, {1, 2, 4, 0x40000040, 128}},
        {"gum", std::make_unique<QvGum>(), 256, {1, 2, 4, 256}},
        {"tooth list", std::make_unique<QvToothList>(), 1024, {1, 2, 1024}},
        {"jaw bone", std::make_unique<QvJawBone>(), 2048, {1, 2, 4, 2048}},
        {"hinge axis", std::make_unique<QvHingeAxis>(), 2049, {1, 2, 2049}},
        {"root", std::make_unique<QvRoot>(), 4, {1, 2, 4}},
        {"tooth base", std::make_unique<QvToothBase>(), 0x40000040, {1, 2, 4, 0x40000040}},
        {"virtual tooth", std::make_unique<QvVirtualTooth>(), 0x40000080, {1, 2, 4, 0x40000040, 0x40000080}},
        {"embedded tooth", std::make_unique<QvToothEmbeded>(), 0x40000000, {1, 2, 4, 0x40000000}},
        {"anonymous", std::make_unique<QvEntityAnonymous>(), 0x10080000, {1, 2, 0x10080000}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.object->GetType(), c.code);
        for (const QvTypeCode probe : probes)
        {
            const bool expected = std::find(c.kindOf.begin(), c.kindOf.end(), probe) != c.kindOf.end();
            EXPECT_EQ(c.object->IsKindOf(probe), expected) << std::hex << probe;
        }
    }
}

TEST_F(EntityClasses, EveryEntityDrawsOneIdAndCountersCanBeSet)
{
    QvTooth tooth;
    EXPECT_EQ(tooth.GetID(), 100);
    QvJaw jaw;
    EXPECT_EQ(jaw.GetID(), 101);
    EXPECT_EQ(QvEntity::NextId(), 102);
    QvGum gum;
    EXPECT_EQ(gum.GetID(), 103);

    QvEntity::SetNextId(57);
    EXPECT_EQ(QvEntityAnonymous().GetID(), 100);
    QvEntity::SetNextId(250);
    QvHingeAxis axis;
    EXPECT_EQ(axis.GetID(), 250);
    QvHingeAxis copy(axis);
    EXPECT_EQ(copy.GetID(), 250); // copies share the id
}

TEST_F(EntityClasses, AssigningVirtualTeethNeverLeavesTwoWithOneId)
{
    QvVirtualTooth source;
    source.m_nFdi = 36;
    source.m_nKind = 1;
    source.m_nStartStep = 4;
    source.SetFactors(0.5, 2.0, 3.0);

    QvVirtualTooth other; // an id of its own
    const int otherId = other.GetID();
    other = source;
    EXPECT_EQ(other.GetID(), otherId);
    EXPECT_EQ(other.m_nFdi, 36);
    EXPECT_EQ(other.m_nKind, 1);
    EXPECT_EQ(other.m_nStartStep, 4);
    EXPECT_EQ(other.m_factors[1], 2.0);

    QvVirtualTooth twin(source); // shares the source's id
    ASSERT_EQ(twin.GetID(), source.GetID());
    const int next = QvEntity::NextId() + 1;
    twin = source;
    EXPECT_EQ(twin.GetID(), next);
    EXPECT_NE(twin.GetID(), source.GetID());
}

TEST_F(EntityClasses, JawBoneStartsUpperWithIdentityPlacement)
{
    const QvJawBone bone;
    EXPECT_TRUE(bone.IsUpper());
    ASSERT_EQ(bone.m_matrix.Rows(), 4);
    EXPECT_TRUE(bone.m_matrix.IsIdentity());
}

TEST_F(EntityClasses, DestroyedJawLeavesNoPartPointingAtIt)
{
    QvTooth tooth;
    QvVirtualTooth pontic;
    QvGum gum;
    QvToothList list;
    auto jaw = std::make_unique<QvJaw>();
    tooth.SetJaw(jaw.get());
    pontic.SetJaw(jaw.get());
    gum.SetJaw(jaw.get());
    list.SetJaw(jaw.get());
    QvTooth copy(tooth); // a copy is bound as well
    QvGum gumCopy(gum);
    EXPECT_EQ(copy.GetJaw(), jaw.get());

    {
        QvTooth shortLived;
        shortLived.SetJaw(jaw.get()); // unbinds itself when it goes
    }
    jaw.reset();
    for (const QvToothBase* t : {static_cast<const QvToothBase*>(&tooth), static_cast<const QvToothBase*>(&pontic),
                                 static_cast<const QvToothBase*>(&copy)})
        EXPECT_EQ(t->GetJaw(), nullptr);
    EXPECT_EQ(gum.GetJaw(), nullptr);
    EXPECT_EQ(gumCopy.GetJaw(), nullptr);
    EXPECT_EQ(list.GetJaw(), nullptr);
    EXPECT_FALSE(gum.IsUpper());
    EXPECT_FALSE(list.IsUpper());
}

TEST_F(EntityClasses, ShowRealRootOnlyWhereThereIsOne)
{
    QvTooth withRoot;
    withRoot.SetRoot(new QvRoot());
    EXPECT_EQ(withRoot.GetRoot()->GetOwner(), &withRoot);
    QvTooth without;
    withRoot.m_bModified = false;
    without.m_bModified = false;

    EXPECT_TRUE(withRoot.ShowRealRoot(true));
    EXPECT_TRUE(withRoot.IsRootShown());
    EXPECT_TRUE(withRoot.m_bModified);
    EXPECT_TRUE(without.ShowRealRoot(true));
    EXPECT_FALSE(without.IsRootShown());
    EXPECT_FALSE(withRoot.ShowRealRoot(true)); // unchanged request

    withRoot.DeleteRoot();
    EXPECT_EQ(withRoot.GetRoot(), nullptr);
    EXPECT_FALSE(withRoot.IsRootShown());
}

} // namespace
