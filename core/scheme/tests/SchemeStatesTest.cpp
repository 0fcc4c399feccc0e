// SPDX-License-Identifier: GPL-3.0-or-later
// Extracted and hidden teeth, attachments by tooth and step (with the attachment
// library's own records), small step queries and the scheme's shape and clinical
// records through copy and clear.
#include <gtest/gtest.h>

#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvSchemeAttachLinkImpl.h"
#include "SchemeFixtures.h"

namespace {

using namespace qvschemetest;

// Counts its own destruction.
class CountedAttachment : public QvAttachment
{
public:
    CountedAttachment(int first, int last, int* destroyed) : m_destroyed(destroyed)
    {
        m_nFirstStep = first;
        m_nLastStep = last;
    }
    ~CountedAttachment() override { ++*m_destroyed; }

private:
    int* m_destroyed;
};

// A case whose scheme holds real attachment lists.
struct AttachCase : SchemeCase
{
    AttachCase() : SchemeCase({11, 21, 31, 41}) { QvInstallSchemeAttachLink(); }

    // A new attachment of the tooth, registered in the model when asked.
    CountedAttachment* Add(int fdi, int first, int last, bool registered = true)
    {
        auto* attachment = new CountedAttachment(first, last, &destroyed);
        attachment->m_pTooth = Tooth(fdi);
        if (registered)
            model.AddEntity(attachment);
        scheme->AddAttachment(Tooth(fdi), attachment);
        return attachment;
    }

    int destroyed = 0;
};

TEST(SchemeStates, ExtractedAndHiddenSets)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    for (const bool extracted : {true, false})
    {
        // The two sets behave alike through their own setters.
        auto set = [&](QvToothBase* t, bool on) { extracted ? s.SetExtracted(t, on) : s.SetHidden(t, on); };
        auto is = [&](QvToothBase* t) { return extracted ? s.IsExtracted(t) : s.IsHidden(t); };
        std::set<QvToothBase*>& members = extracted ? s.GetExtractedTeeth() : s.GetHiddenTeeth();
        set(c.Tooth(11), true);
        set(c.Tooth(11), true);
        EXPECT_EQ(members.size(), 1u);
        set(c.Tooth(21), false); // not in the set: nothing
        set(nullptr, true);
        EXPECT_EQ(members.size(), 1u);
        EXPECT_TRUE(is(c.Tooth(11)));
        set(c.Tooth(11), false);
        EXPECT_TRUE(members.empty());

        const std::set<QvToothBase*> given = {c.Tooth(21), c.Tooth(31), nullptr};
        extracted ? s.SetExtractedTeeth(given) : s.SetHiddenTeeth(given);
        EXPECT_EQ(members, (std::set<QvToothBase*>{c.Tooth(21), c.Tooth(31)}));
        // Given its own set, a set keeps it.
        extracted ? s.SetExtractedTeeth(members) : s.SetHiddenTeeth(members);
        EXPECT_EQ(members.size(), 2u);
    }

    // Present teeth leave out both sets; initial steps empty the hidden set only.
    std::vector<QvToothBase*> present;
    s.GetTeeth(present);
    EXPECT_EQ(present, (std::vector<QvToothBase*>{c.Tooth(11), c.Tooth(41)}));
    s.CreateInitialSteps();
    EXPECT_TRUE(s.GetHiddenTeeth().empty());
    EXPECT_EQ(s.GetExtractedTeeth().size(), 2u);
    EXPECT_EQ(s.GetInitialStep(c.Tooth(21)), nullptr);
}

TEST(SchemeStates, AttachmentsByToothAndStep)
{
    AttachCase c;
    QvScheme& s = *c.scheme;
    CountedAttachment* a = c.Add(11, 3, 5);
    CountedAttachment* b = c.Add(11, 1, 3);
    CountedAttachment* d = c.Add(21, 0, 9);
    ASSERT_EQ(s.m_attachLists.size(), 2u);
    s.AddAttachment(c.Tooth(11), a); // already listed
    EXPECT_EQ(s.m_attachLists[0]->GetAttachments().size(), 2u);

    const struct
    {
        int step;
        std::vector<QvAttachment*> expected;
    } steps[] = {{2, {b}}, {3, {a, b}}, {4, {a}}, {5, {a}}, {6, {}}};
    for (const auto& k : steps)
    {
        std::vector<QvAttachment*> out;
        s.GetAttachmentsAtStep(c.Tooth(11), k.step, out);
        EXPECT_EQ(out, k.expected) << k.step;
    }
    std::vector<QvAttachment*> none;
    s.GetAttachmentsAtStep(c.Tooth(31), 4, none);
    EXPECT_TRUE(none.empty());

    // A second list of the same tooth is not searched; null entries are passed over.
    s.m_attachLists.push_back(new QvAttachStepList(c.Tooth(11), {new CountedAttachment(4, 4, &c.destroyed)}));
    s.m_attachLists.push_back(nullptr);
    std::vector<QvAttachment*> at4;
    s.GetAttachmentsAtStep(c.Tooth(11), 4, at4);
    EXPECT_EQ(at4, (std::vector<QvAttachment*>{a}));
    std::vector<QvAttachment*> all;
    s.GetAllAttachments(all);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], a);
    EXPECT_EQ(all[2], d);
    std::vector<QvAttachment*> collected = {d};
    s.CollectAttachments(collected);
    EXPECT_EQ(collected.size(), 5u);
    s.m_attachLists.pop_back();
}

TEST(SchemeStates, RemovingAttachments)
{
    AttachCase c;
    QvScheme& s = *c.scheme;
    c.Add(11, 1, 2);
    CountedAttachment* kept21 = c.Add(21, 1, 2);
    c.Add(31, 1, 2);
    c.Add(11, 2, 4, false); // never in the model: still the scheme's to delete
    const QvAttachStepList* list21 = s.m_attachLists[1];
    const QvAttachStepList* list31 = s.m_attachLists[2];
    const std::size_t inModel = c.model.m_attachments.size();

    s.RemoveToothAttachments(c.Tooth(41)); // no list
    EXPECT_EQ(s.m_attachLists.size(), 3u);
    EXPECT_EQ(c.destroyed, 0);

    s.RemoveToothAttachments(c.Tooth(11));
    EXPECT_EQ(c.destroyed, 2);
    ASSERT_EQ(s.m_attachLists.size(), 2u);
    EXPECT_EQ(s.m_attachLists[0], list21);
    EXPECT_EQ(s.m_attachLists[1], list31);
    EXPECT_EQ(c.model.m_attachments.size(), inModel - 1);

    // Removing one attachment: only one the tooth's list holds.
    auto* stranger = new CountedAttachment(0, 0, &c.destroyed);
    s.RemoveAttachment(c.Tooth(21), stranger);
    s.RemoveAttachment(c.Tooth(41), kept21);
    EXPECT_EQ(c.destroyed, 2);
    EXPECT_EQ(s.m_attachLists[0]->GetAttachments().size(), 1u);
    const int id = kept21->GetID();
    s.RemoveAttachment(c.Tooth(21), kept21);
    EXPECT_EQ(c.destroyed, 3);
    EXPECT_EQ(c.model.FindEntity(id), nullptr);
    EXPECT_TRUE(s.m_attachLists[0]->GetAttachments().empty());
    delete stranger;

    // Clearing the scheme destroys the rest.
    s.Clear(true);
    EXPECT_EQ(c.destroyed, 5);
    EXPECT_TRUE(s.m_attachLists.empty());
    EXPECT_TRUE(c.model.m_attachments.empty());
}

TEST(SchemeStates, CopiedAttachmentsBelongToTheCopy)
{
    AttachCase c;
    QvScheme& s = *c.scheme;
    c.Add(11, 3, 5);
    c.Add(21, 1, 8);
    {
        QvScheme copy;
        copy.CopyFrom(s, false);
        ASSERT_EQ(copy.m_attachLists.size(), 2u);
        std::vector<QvAttachment*> copied;
        copy.GetAttachmentsAtStep(c.Tooth(11), 4, copied);
        ASSERT_EQ(copied.size(), 1u);
        EXPECT_NE(copied[0], s.m_attachLists[0]->GetAttachments()[0]);
        EXPECT_EQ(copied[0]->m_nLastStep, 5);
        EXPECT_EQ(copy.m_attachLists[1]->GetTooth(), c.Tooth(21));
        // The final-step copies: those present at the final step, at step 1 only.
        s.InsertTreatStep(c.Tooth(11), 0, kQvStepInitial);
        s.InsertTreatStep(c.Tooth(11), 6, kQvStepFinal);
        s.InsertTreatStep(c.Tooth(21), 0, kQvStepInitial);
        s.InsertTreatStep(c.Tooth(21), 6, kQvStepFinal);
        copy.CopyFrom(s, false);
        ASSERT_TRUE(copy.CopyEndAttachments());
        ASSERT_EQ(copy.m_attachLists.size(), 1u);
        EXPECT_EQ(copy.m_attachLists[0]->GetTooth(), c.Tooth(21));
        EXPECT_EQ(copy.m_attachLists[0]->GetAttachments()[0]->m_nFirstStep, 1);
    }
    // The copy's destruction took its own attachments and left the source's alone.
    EXPECT_EQ(c.destroyed, 0);
    std::vector<QvAttachment*> all;
    s.GetAllAttachments(all);
    EXPECT_EQ(all.size(), 2u);
}

TEST(SchemeStates, StepQueries)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    QvToothBase* t = c.Tooth(11);
    s.InsertTreatStep(t, 0, kQvStepInitial);
    s.InsertTreatStep(t, 2, kQvStepKey);
    s.InsertTreatStep(t, 3, kQvStepHold);
    s.InsertTreatStep(t, 4, kQvStepHold);
    s.InsertTreatStep(t, 6, kQvStepFinal);
    s.InsertTreatStep(c.Tooth(21), 5, kQvStepKey);
    s.m_stepLists[3]->m_bBite = true;

    const struct
    {
        int step;
        int next;     // step number of FindNextStep, -1 for null
        int prevFixed; // step number of FindPrevFixedStep(step), -1 for null
        bool bite;
    } cases[] = {
        {-3, 0, -1, false}, {0, 2, -1, false}, {2, 3, 0, false}, {3, 4, 2, true},
        {5, 6, 2, false},   {6, -1, 2, false}, {7, -1, 6, false}, {40, -1, 6, false},
    };
    const auto number = [](const QvTreatStep* step) { return step ? step->m_nStep : -1; };
    for (const auto& k : cases)
    {
        EXPECT_EQ(number(s.FindNextStep(k.step, t)), k.next) << k.step;
        EXPECT_EQ(number(s.FindPrevFixedStep(k.step, t)), k.prevFixed) << k.step;
        EXPECT_EQ(s.HasBite(k.step), k.bite) << k.step;
    }
    EXPECT_EQ(s.FindNextStep(0, nullptr), nullptr);
    EXPECT_EQ(s.FindPrevFixedStep(5, nullptr), nullptr);

    // Each given step leaves the list that holds it; a step held nowhere is ignored.
    QvTreatStep loose;
    s.RemoveTreatSteps({s.GetTreatStep(3, t), s.GetTreatStep(5, c.Tooth(21)), &loose});
    EXPECT_EQ(StepsOf(s, t), (std::vector<std::pair<int, int>>{{0, 1}, {2, 3}, {4, 4}, {6, 5}}));
    EXPECT_TRUE(StepsOf(s, c.Tooth(21)).empty());
    EXPECT_TRUE(Consistent(s));
}

TEST(SchemeStates, ShapeAndClinicalRecords)
{
    SchemeCase c;
    QvScheme& s = *c.scheme;
    QvOcclusalPlane plane;
    plane.m_dValue = 3.0;
    plane.m_keyPoints = {QvKeyPoint(QvPoint(1, 2, 3), 4)};
    s.SetOcclusalPlane(&plane);
    s.SetOcclusalPlane2(nullptr);
    ASSERT_NE(s.m_pOcclusalPlane1, nullptr);
    EXPECT_NE(s.m_pOcclusalPlane1, &plane);
    EXPECT_TRUE(*s.m_pOcclusalPlane1 == plane);
    EXPECT_EQ(s.m_pOcclusalPlane2, nullptr);
    QvOcclusalPlane* first = s.m_pOcclusalPlane1;
    plane.m_dValue = 5.0;
    s.SetOcclusalPlane(&plane);
    EXPECT_EQ(s.m_pOcclusalPlane1, first); // copied into the present record
    EXPECT_EQ(first->m_dValue, 5.0);
    s.SetOcclusalPlane2(&plane);

    QvArchForm form(false, &c.model, QvPlane(QvPoint(0, 0, 0), QvVector(0, 0, 1)));
    form.SetThirdMolars(true);
    form.SetPoints({QvPoint(1, 1, 1)});
    s.SetArchForm(&form);
    s.SetArchForm2(&form);
    ASSERT_NE(s.m_pArchForm1, nullptr);
    EXPECT_FALSE(s.m_pArchForm1->IsUpper());
    EXPECT_EQ(s.m_pArchForm1->GetPoints().size(), 1u);
    EXPECT_EQ(s.m_pArchForm1->m_pModel, nullptr); // assigned: the new record keeps its own
    EXPECT_FALSE(s.m_pArchForm1->m_bThirdMolars);

    QvClinicalInfo info;
    info.SetRemark("note");
    info.SetLegacyKinds(4, 5);
    s.SetClinicalInfo(&info);
    s.SetClinicalInfo(nullptr);
    ASSERT_NE(s.m_pClinicalInfo, nullptr);
    EXPECT_EQ(s.m_pClinicalInfo->GetRemark(), "note");
    int k1 = -1;
    int k2 = -1;
    s.m_pClinicalInfo->GetLegacyKinds(k1, k2);
    EXPECT_EQ(k1, 0);

    // A deep copy holds records of its own.
    QvScheme copy;
    copy.CopyFrom(s, false);
    ASSERT_NE(copy.m_pOcclusalPlane2, nullptr);
    EXPECT_NE(copy.m_pOcclusalPlane2, s.m_pOcclusalPlane2);
    EXPECT_TRUE(*copy.m_pOcclusalPlane2 == *s.m_pOcclusalPlane2);
    ASSERT_NE(copy.m_pArchForm2, nullptr);
    EXPECT_NE(copy.m_pArchForm2, s.m_pArchForm2);
    EXPECT_EQ(copy.m_pArchForm2->GetPoints().size(), 1u);
    ASSERT_NE(copy.m_pClinicalInfo, nullptr);
    EXPECT_NE(copy.m_pClinicalInfo, s.m_pClinicalInfo);
    EXPECT_EQ(copy.m_pClinicalInfo->GetRemark(), "note");

    // A source without records leaves none in the target.
    QvScheme bare;
    copy.CopyFrom(bare, false);
    EXPECT_EQ(copy.m_pOcclusalPlane1, nullptr);
    EXPECT_EQ(copy.m_pArchForm1, nullptr);
    EXPECT_EQ(copy.m_pClinicalInfo, nullptr);

    s.DeleteShapeRecords();
    EXPECT_EQ(s.m_pOcclusalPlane1, nullptr);
    EXPECT_EQ(s.m_pOcclusalPlane2, nullptr);
    EXPECT_EQ(s.m_pArchForm1, nullptr);
    EXPECT_EQ(s.m_pArchForm2, nullptr);
    EXPECT_NE(s.m_pClinicalInfo, nullptr);
    s.Clear(true);
    EXPECT_EQ(s.m_pClinicalInfo, nullptr);
}

} // namespace
