// SPDX-License-Identifier: GPL-3.0-or-later
// Valid-looking files of many minimal records: they read to the same result as before,
// or past a bound are refused with the reader's code before anything is made for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/model/QvFileBodyLinks.h"
#include "core/model/QvGum.h"
#include "core/model/QvInputBounds.h"
#include "core/model/QvModel.h"
#include "core/model/QvModelLinks.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/CaseHostile.h"

namespace {

using qvtest::ScratchFolder;
using qvtest::WriteWholeFile;

constexpr int kCodeRead = 0;
constexpr int kCodeBad = 1;

class HostileInput : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        QvResetImageMeasureOps();
        QvSetSchemeFileLink(nullptr);
        QvEntity::SetNextId(100);
    }

    int ReadOS(QvModel& model, const std::string& bytes)
    {
        EXPECT_TRUE(WriteWholeFile(m_folder / "case.os", bytes));
        QvReadWriteFile file(&model, 0);
        return file.ReadOS(m_folder / "case.os");
    }
    int ReadDM(QvModel& model, const std::string& bytes)
    {
        EXPECT_TRUE(WriteWholeFile(m_folder / "case.dm", bytes));
        QvReadWriteFile file(&model, 0);
        return file.ReadDM(m_folder / "case.dm");
    }

    ScratchFolder m_folder;
};

TEST_F(HostileInput, ManyGumsReadInFileOrderEachRegisteredOnce)
{
    // A small cut of the 3 MB document of 375,000 gums; the benchmark reads the sizes.
    constexpr int kGums = 20000;
    QvModel model;
    ASSERT_EQ(ReadOS(model, qvtest::HostileGumsDocument(kGums)), kCodeRead);
    ASSERT_EQ(model.m_gums.size(), static_cast<std::size_t>(kGums));
    for (int i = 0; i < kGums; i += 997)
    {
        EXPECT_EQ(model.m_gums[static_cast<std::size_t>(i)]->GetID(), i + 1);
        EXPECT_EQ(model.FindEntity(i + 1), model.m_gums[static_cast<std::size_t>(i)]);
    }

    // Still refused when listed already, however long the list.
    QvEntity* last = model.m_gums.back();
    model.AddEntity(last);
    EXPECT_EQ(model.m_gums.size(), static_cast<std::size_t>(kGums));
}

TEST_F(HostileInput, TeethPastTheBoundAreRefusedBeforeAnyIsMade)
{
    struct Case
    {
        int teeth;
        int code;
    } cases[] = {{kQvMaxTeeth, kCodeRead}, {kQvMaxTeeth + 1, kCodeBad}, {100000, kCodeBad}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.teeth);
        QvModel model;
        ASSERT_EQ(ReadDM(model, qvtest::HostileTeethModel(c.teeth)), c.code);
        EXPECT_EQ(model.m_teeth.size(), c.code == kCodeRead ? static_cast<std::size_t>(c.teeth) : 0u);
    }

    // A dental model appends: the bound is on what the model holds afterwards.
    QvModel model;
    ASSERT_EQ(ReadDM(model, qvtest::HostileTeethModel(kQvMaxTeeth / 2)), kCodeRead);
    EXPECT_EQ(ReadDM(model, qvtest::HostileTeethModel(kQvMaxTeeth / 2 + 1)), kCodeBad);
    EXPECT_EQ(model.m_teeth.size(), static_cast<std::size_t>(kQvMaxTeeth / 2));
}

// The lists are public; the membership index must follow edits made around it.
TEST_F(HostileInput, ListsEditedFromOutsideStayRight)
{
    QvModel model;
    auto* tooth = new QvTooth();
    auto* other = new QvTooth();
    model.AddEntity(tooth);
    model.AddEntity(other);

    // Taken out by hand: adding it again lists it again, once.
    std::erase(model.m_teeth, static_cast<QvEntity*>(tooth));
    model.AddEntity(tooth);
    model.AddEntity(tooth);
    EXPECT_EQ(model.m_teeth, (std::vector<QvEntity*>{other, tooth}));

    // Swapped for another object of the same count: the newcomer is listed, not refused.
    auto* stranger = new QvTooth();
    model.m_teeth[0] = stranger;
    model.AddEntity(other);
    EXPECT_EQ(model.m_teeth, (std::vector<QvEntity*>{stranger, tooth, other}));

    // Registered under an id it no longer has: removing it by that id leaves no entry.
    const int before = tooth->GetID();
    tooth->SetID(before + 100000);
    model.RemoveEntity(before, false);
    EXPECT_EQ(model.FindEntity(before), nullptr);
    EXPECT_EQ(model.m_teeth, (std::vector<QvEntity*>{stranger, other}));
    delete tooth;
}

} // namespace
