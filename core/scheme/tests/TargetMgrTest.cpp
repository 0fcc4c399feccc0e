// SPDX-License-Identifier: GPL-3.0-or-later
// Saved targets: applying one, capturing, and the three stored forms.
#include <gtest/gtest.h>

#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "SchemeFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using namespace qvschemetest;

// A scheme whose teeth 11, 21, 31 have an initial step and a final step at 6, with a
// moved jaw in list 6, and a store holding entries 3 and 4.
struct TargetCase : SchemeCase
{
    TargetCase() : SchemeCase({11, 21, 31})
    {
        QvScheme& s = *scheme;
        for (QvTooth* tooth : teeth)
        {
            s.InsertTreatStep(tooth, 0, kQvStepInitial);
            s.InsertTreatStep(tooth, 6, kQvStepFinal, Translation(1, 0, 0));
        }
        s.m_stepLists[6]->m_jawMatrix = jaw;
        saved3 = Translation(0, 3, 0);
        saved4 = Placement(QvVector(0, 0, 1), 4, 0, 0, 4);
        for (const auto& [id, m] : {std::pair{3, saved3}, std::pair{4, saved4}})
        {
            for (QvTooth* tooth : teeth)
                s.GetTreatStep(6, tooth)->m_matrix = FdiIsUpper(tooth->GetFdi()) ? m : jaw * m;
            s.GetTargetMgr().Capture(id);
        }
        for (QvTooth* tooth : teeth)
            s.GetTreatStep(6, tooth)->m_matrix = Translation(1, 0, 0);
    }
    QvMatrix jaw = Translation(0, 0, -2);
    QvMatrix saved3, saved4;
};

TEST(SavedTargets, ApplyingAnEntrySetsTheFinalStepsFromItsSnapshot)
{
    TargetCase c;
    QvScheme& s = *c.scheme;
    QvSchemeTargetMgr& targets = s.GetTargetMgr();
    ASSERT_EQ(targets.GetEntries().size(), 2u);
    // Snapshots hold jaw-relative final steps at step 0.
    const QvTreatStep* snap = targets.GetSnapshots()[1]->FindStep(c.Tooth(31));
    EXPECT_EQ(snap->m_nStep, 0);
    EXPECT_EQ(snap->m_nType, kQvStepFinal);
    EXPECT_TRUE(Near(snap->m_matrix, c.saved4, 1e-12));

    s.m_extractedTeeth.insert(c.Tooth(21));
    s.m_hiddenTeeth.insert(c.Tooth(11));
    s.m_stepLists[3]->m_bBite = true;
    ASSERT_TRUE(targets.ApplyTarget(4));
    EXPECT_EQ(targets.GetCurrentId(), 4);
    EXPECT_TRUE(Near(s.GetTreatStep(6, c.Tooth(11))->m_matrix, c.saved4, 1e-12)); // hidden: takes it
    EXPECT_TRUE(Near(s.GetTreatStep(6, c.Tooth(21))->m_matrix, Translation(1, 0, 0), 0)); // extracted: keeps
    EXPECT_TRUE(Near(s.GetTreatStep(6, c.Tooth(31))->m_matrix, c.jaw * c.saved4, 1e-12));
    EXPECT_EQ(s.GetTreatStep(3, c.Tooth(31))->m_nType, kQvStepBite);

    // An id no entry has changes nothing.
    ASSERT_FALSE(targets.ApplyTarget(7));
    EXPECT_EQ(targets.GetCurrentId(), 4);
    EXPECT_TRUE(Near(s.GetTreatStep(6, c.Tooth(31))->m_matrix, c.jaw * c.saved4, 1e-12));
}

TEST(SavedTargets, EntryOperations)
{
    TargetCase c;
    QvSchemeTargetMgr& targets = c.scheme->GetTargetMgr();
    EXPECT_EQ(targets.FindIndex(4), 1);
    EXPECT_TRUE(targets.HasEntry(3));
    EXPECT_TRUE(Near(targets.GetTargetMatrix(c.Tooth(31), 3), c.saved3, 1e-12));
    // Without an entry of the id: the final step, jaw-relative.
    EXPECT_TRUE(Near(targets.GetTargetMatrix(c.Tooth(31), 9), Translation(1, 0, 2), 1e-12));

    c.scheme->GetTreatStep(6, c.Tooth(11))->m_matrix = Translation(5, 5, 5);
    targets.UpdateTooth(c.Tooth(11), 3);
    EXPECT_TRUE(Near(targets.GetTargetMatrix(c.Tooth(11), 3), Translation(5, 5, 5), 0));
    targets.RemoveTooth(c.Tooth(11));
    EXPECT_TRUE(Near(targets.GetTargetMatrix(c.Tooth(11), 3), Identity(), 0));
    targets.UpdateTooth(c.Tooth(11), 3);
    EXPECT_TRUE(Near(targets.GetTargetMatrix(c.Tooth(11), 3), Translation(5, 5, 5), 0));

    targets.RemoveEntry(4);
    EXPECT_EQ(targets.GetCurrentIndex(), 0);
    EXPECT_EQ(targets.GetCurrentId(), 3);
    targets.RecaptureCurrent();
    EXPECT_EQ(targets.GetEntries().size(), 1u);
    targets.RemoveEntry(3);
    EXPECT_EQ(targets.GetCurrentId(), 2);

    const std::string date = QvSchemeTargetMgr::MakeDateText();
    int y = 0, m = 0, d = 0;
    EXPECT_EQ(std::sscanf(date.c_str(), "%d/%d/%d", &y, &m, &d), 3);
    EXPECT_GE(y, 2024);
    EXPECT_NE(date.find('/'), std::string::npos);
}

// ---- Stored forms ------------------------------------------------------------------

enum class Form
{
    Scheme,
    Document,
    Legacy,
};

std::string WriteStore(const QvSchemeTargetMgr& targets, Form form, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        if (form == Form::Scheme)
            targets.Write(os, version);
        else if (form == Form::Document)
            targets.WriteDocument(os, version);
        else
            targets.WriteLegacy(os, version);
    });
}

bool ReadStore(QvSchemeTargetMgr& targets, std::istream& is, Form form, int version, QvModel* model)
{
    if (form == Form::Scheme)
        return targets.Read(is, version, model);
    if (form == Form::Document)
        return targets.ReadDocument(is, version, model);
    return targets.ReadLegacy(is, version, model);
}

TEST(SavedTargetForms, EveryFormReadsBackAndSurvivesDamage)
{
    TargetCase c;
    const QvSchemeTargetMgr& source = c.scheme->GetTargetMgr();
    const std::pair<Form, int> forms[] = {{Form::Scheme, 8195}, {Form::Scheme, 8199}, {Form::Document, 1028},
                                          {Form::Document, 1043}, {Form::Legacy, 516}, {Form::Legacy, 520}};
    for (const auto& [form, version] : forms)
    {
        const std::string bytes = WriteStore(source, form, version);
        QvScheme other;
        std::istringstream is(bytes);
        ASSERT_TRUE(ReadStore(other.GetTargetMgr(), is, form, version, &c.model)) << version;
        EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
        const QvSchemeTargetMgr& read = other.GetTargetMgr();
        ASSERT_EQ(read.GetEntries().size(), 2u) << version;
        EXPECT_EQ(read.GetEntries()[1].m_nId, 4);
        EXPECT_EQ(read.GetEntries()[0].m_strName, source.GetEntries()[0].m_strName);
        EXPECT_EQ(read.GetCurrentIndex(), 1);
        EXPECT_EQ(read.GetOwner(), &other);
        EXPECT_TRUE(Near(read.GetSnapshots()[1]->FindStep(c.Tooth(31))->m_matrix, c.saved4, 1e-12));
        qvtest::ExpectReaderSurvivesDamage(bytes, [&, f = form, v = version](std::istream& in) {
            QvScheme scratch;
            return ReadStore(scratch.GetTargetMgr(), in, f, v, &c.model);
        });
    }
}

// One entry with the given id and an empty snapshot, then the current index.
std::string OneEntry(int id, int current, Form form, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        qvio::WriteI32(os, 1);
        QvTreatStepList empty;
        if (form == Form::Scheme)
            empty.Write(os, version);
        else
            empty.WriteDocument(os, version);
        qvio::WriteString(os, "saved");
        qvio::WriteI32(os, id);
        qvio::WriteI32(os, current);
    });
}

TEST(SavedTargetForms, StoredIdsAndCurrentIndex)
{
    SchemeCase c;
    struct Case
    {
        Form form;
        int version;
        int storedId;
        int storedCurrent;
        std::size_t entries;
        int id;
        int current;
    };
    const Case cases[] = {
        {Form::Scheme, 8199, 0, 0, 1, 1, 0},    {Form::Scheme, 8199, -5, 0, 1, 1, 0},
        {Form::Document, 1030, 0, 0, 1, 1, 0},  {Form::Legacy, 518, 1, 0, 0, 0, -1},
        {Form::Legacy, 518, 0, -1, 0, 0, -1},   {Form::Legacy, 518, 2, 0, 1, 2, 0},
        {Form::Scheme, 8199, 3, 5, 1, 3, -1}, // a current index past the entries
    };
    for (const Case& k : cases)
    {
        QvSchemeTargetMgr targets(c.scheme.get());
        std::istringstream is(OneEntry(k.storedId, k.storedCurrent, k.form, k.version));
        ASSERT_TRUE(ReadStore(targets, is, k.form, k.version, &c.model)) << k.storedId;
        ASSERT_EQ(targets.GetEntries().size(), k.entries) << k.storedId;
        if (k.entries)
        {
            EXPECT_EQ(targets.GetEntries()[0].m_nId, k.id);
        }
        EXPECT_EQ(targets.GetCurrentIndex(), k.current) << k.storedId;
    }
}

TEST(SavedTargetForms, VersionsWithoutTheStoreReadAndWriteNothing)
{
    TargetCase c;
    QvSchemeTargetMgr& source = c.scheme->GetTargetMgr();
    EXPECT_TRUE(WriteStore(source, Form::Scheme, 8194).empty());
    EXPECT_TRUE(WriteStore(source, Form::Legacy, 515).empty());
    EXPECT_TRUE(WriteStore(source, Form::Legacy, 521).empty());
    const std::string junk = "\x05\x00\x00\x00";
    struct Case
    {
        Form form;
        int version;
        bool result;
    };
    for (const Case& k : {Case{Form::Scheme, 8194, true}, Case{Form::Document, 1027, true},
                          Case{Form::Legacy, 515, true}, Case{Form::Legacy, 521, false}})
    {
        QvSchemeTargetMgr targets(c.scheme.get());
        std::istringstream is(junk);
        EXPECT_EQ(ReadStore(targets, is, k.form, k.version, &c.model), k.result) << k.version;
        EXPECT_EQ(is.tellg(), 0);
        EXPECT_TRUE(targets.GetEntries().empty());
        EXPECT_EQ(targets.GetCurrentIndex(), -1);
    }
}

TEST(SavedTargetForms, AFailedSnapshotLeavesTheStoreAsItWas)
{
    TargetCase c;
    QvSchemeTargetMgr& targets = c.scheme->GetTargetMgr();
    std::string bytes = WriteStore(targets, Form::Scheme, 8199);
    bytes.resize(bytes.size() - 30);
    std::istringstream is(bytes);
    EXPECT_FALSE(targets.Read(is, 8199, &c.model));
    EXPECT_EQ(targets.GetEntries().size(), 2u);
    EXPECT_EQ(targets.GetCurrentId(), 4);

    // A copy is deep and keeps its owner.
    QvScheme other;
    other.GetTargetMgr() = targets;
    EXPECT_EQ(other.GetTargetMgr().GetOwner(), &other);
    EXPECT_NE(other.GetTargetMgr().GetSnapshots()[0], targets.GetSnapshots()[0]);
    EXPECT_EQ(other.GetTargetMgr().GetCurrentId(), 4);
}

} // namespace
