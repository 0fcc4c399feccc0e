// SPDX-License-Identifier: GPL-3.0-or-later
// Schemes at and past the bounds on what a file may ask: the initial steps of as many
// teeth as a model may hold, and scheme bodies with too many step lists or virtual teeth.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/model/QvInputBounds.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/tests/SchemeFileFixtures.h"
#include "testing/CaseHostile.h"

namespace {

using namespace qvschemetest;
using namespace qvschemefiletest;

constexpr int kNewestBody = 8199;

TEST(HostileScheme, InitialStepsOfAFullModelKeepTheirOrder)
{
    std::vector<int> fdis(static_cast<std::size_t>(kQvMaxTeeth), 11);
    SchemeCase c(fdis);
    QvScheme& s = *c.scheme;
    QvTooth* extracted = c.teeth[3];
    QvTooth* hidden = c.teeth[4];
    QvTooth* placedLater = c.teeth[5];
    QvTooth* keyAtZero = c.teeth[6];
    s.m_extractedTeeth.insert(extracted);
    s.m_hiddenTeeth.insert(hidden);
    s.InsertTreatStep(placedLater, 2, kQvStepInitial);
    s.InsertTreatStep(keyAtZero, 0, kQvStepKey);

    testing::internal::CaptureStdout();
    s.CreateInitialSteps();
    EXPECT_FALSE(testing::internal::GetCapturedStdout().empty()); // refused for the key at 0

    // List 0: the step that was there, then one initial step per remaining tooth in
    // model order, as one search and insertion per tooth gave.
    std::vector<QvTreatStep*> expected;
    expected.push_back(s.GetTreatStep(0, keyAtZero));
    for (QvTooth* tooth : c.teeth)
        if (tooth != extracted && tooth != hidden && tooth != placedLater && tooth != keyAtZero)
            expected.push_back(s.GetTreatStep(0, tooth));
    ASSERT_EQ(s.m_stepLists[0]->m_steps, expected);
    for (std::size_t i = 1; i < expected.size(); ++i)
    {
        ASSERT_NE(expected[i], nullptr);
        EXPECT_EQ(expected[i]->m_nType, kQvStepInitial);
        EXPECT_TRUE(Near(expected[i]->m_matrix, Identity()));
    }
    EXPECT_EQ(s.GetInitialStep(placedLater)->m_nStep, 2);
    EXPECT_TRUE(s.m_hiddenTeeth.empty());
    EXPECT_TRUE(Consistent(s));

    // Run again, nothing is added.
    const std::size_t listed = s.m_stepLists[0]->m_steps.size();
    testing::internal::CaptureStdout();
    s.CreateInitialSteps();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(s.m_stepLists[0]->m_steps.size(), listed + 1); // the hidden tooth, shown again
}

TEST(HostileScheme, DentalModelOfAFullModelGetsItsDefaultScheme)
{
    qvtest::ScratchFolder folder;
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "full.dm", qvtest::HostileTeethModel(kQvMaxTeeth)));
    FileCase c;
    QvModel model;
    QvReadWriteFile file(&model, 0);
    ASSERT_EQ(file.ReadDM(folder / "full.dm"), 0);
    const QvScheme* scheme = QvEnsureSchemeMgr(model).GetCurScheme();
    ASSERT_NE(scheme, nullptr);
    EXPECT_EQ(scheme->GetName(), "default");
    ASSERT_EQ(scheme->m_stepLists.size(), 1u);
    EXPECT_EQ(scheme->m_stepLists[0]->m_steps.size(), static_cast<std::size_t>(kQvMaxTeeth));
}

// The body of a scheme with `lists` empty step lists and `virtualTeeth` virtual teeth.
std::string BodyWith(FileCase& c, int lists, int virtualTeeth)
{
    QvScheme s;
    s.SetModel(&c.model);
    for (int i = 0; i < lists; ++i)
        s.m_stepLists.push_back(new QvTreatStepList());
    for (int i = 0; i < virtualTeeth; ++i)
        s.m_virtualTeeth.push_back(new QvVirtualTooth());
    // A step keeps the last list, which a reader would otherwise drop as empty.
    if (lists > 0)
        s.m_stepLists.back()->AddNewStep(c.teeth[0], lists - 1, kQvStepFinal, Identity());
    return BodyBytes(s, kNewestBody);
}

TEST(HostileScheme, BodiesPastTheBoundsAreRefused)
{
    FileCase c;
    struct Case
    {
        int lists;
        int virtualTeeth;
        bool read;
    } cases[] = {{kQvMaxSchemeSteps, 0, true},
                 {kQvMaxSchemeSteps + 1, 0, false},
                 {2, kQvMaxVirtualTeeth, true},
                 {2, kQvMaxVirtualTeeth + 1, false}};
    for (const Case& k : cases)
    {
        SCOPED_TRACE(testing::Message() << k.lists << " lists, " << k.virtualTeeth << " virtual teeth");
        std::istringstream is(BodyWith(c, k.lists, k.virtualTeeth));
        QvScheme back;
        EXPECT_EQ(back.Read(is, kNewestBody, &c.model), k.read);
        if (k.read)
        {
            EXPECT_EQ(back.m_stepLists.size(), static_cast<std::size_t>(k.lists));
            EXPECT_EQ(back.m_virtualTeeth.size(), static_cast<std::size_t>(k.virtualTeeth));
        }
        else
        {
            EXPECT_LE(back.m_stepLists.size(), 1u);
            EXPECT_TRUE(back.m_virtualTeeth.empty());
        }
        // Whatever the answer, the model keeps none of the scheme's virtual teeth.
        EXPECT_TRUE(c.model.m_virtualTeeth.empty());
    }
}

} // namespace
