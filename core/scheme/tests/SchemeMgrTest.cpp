// SPDX-License-Identifier: GPL-3.0-or-later
// The scheme manager: groups, current and compared scheme, its part of the case
// document and the older multi-scheme forms.
#include <gtest/gtest.h>

#include <sstream>

#include "core/model/tests/ScratchFolder.h"
#include "core/scheme/QvSchemeMgr.h"
#include "SchemeFileFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using namespace qvschemefiletest;

// A manager over the case with schemes named "0", "1", ... in group 0.
QvSchemeMgr& ManagerWith(FileCase& c, int count)
{
    QvSchemeMgr& mgr = QvEnsureSchemeMgr(c.model);
    for (int i = 0; i < count; ++i)
        mgr.CreateScheme(0, std::to_string(i), true, false);
    return mgr;
}

std::vector<std::string> Names(const QvSchemeMgr& mgr)
{
    std::vector<std::string> out;
    for (const QvScheme* s : mgr.GetSchemes())
        out.push_back(s->GetName());
    return out;
}

TEST(SchemeMgr, NewManagerHasTheTwoDefaultGroupsAndNoScheme)
{
    QvSchemeMgr mgr;
    EXPECT_EQ(mgr.GetCurScheme(), nullptr);
    EXPECT_EQ(mgr.GetCompareScheme(), nullptr);
    ASSERT_EQ(mgr.GetGroups().size(), 2u);
    // GB18030 in the core.
    EXPECT_EQ(mgr.GetGroups()[0].name, "\xD2\xBD\xC9\xFA\xB7\xBD\xB0\xB8");
    EXPECT_EQ(Utf8FromGb18030(mgr.GetGroups()[0].name), "医生方案");
    EXPECT_EQ(Utf8FromGb18030(mgr.GetGroups()[1].name), "专家方案");
    EXPECT_TRUE(mgr.GetGroups()[0].indices.empty());
    EXPECT_TRUE(mgr.GetGroups()[1].indices.empty());
}

TEST(SchemeMgr, AddSchemeFilesIntoGroups)
{
    struct Row
    {
        int group;
        bool taken;
        std::size_t groupsAfter;
    };
    const Row rows[] = {{0, true, 2}, {1, true, 2}, {2, true, 3}, {3, false, 2}, {-1, false, 2}};
    for (const Row& row : rows)
    {
        QvSchemeMgr mgr;
        auto scheme = std::make_unique<QvScheme>();
        QvScheme* raw = scheme.get();
        QvSchemeMgr* answer = mgr.AddScheme(row.group, raw, true);
        EXPECT_EQ(answer != nullptr, row.taken) << row.group;
        ASSERT_EQ(mgr.GetGroups().size(), row.groupsAfter) << row.group;
        if (!row.taken)
        {
            EXPECT_TRUE(mgr.GetSchemes().empty());
            EXPECT_EQ(mgr.GetCurScheme(), nullptr);
            continue;
        }
        scheme.release();
        EXPECT_EQ(answer, &mgr);
        EXPECT_EQ(mgr.GetGroups()[static_cast<std::size_t>(row.group)].indices, std::vector<int>{0});
        EXPECT_EQ(mgr.GetCurScheme(), raw);
        EXPECT_EQ(mgr.GetScheme(row.group, 0), raw);
        EXPECT_TRUE(mgr.IsCurScheme(row.group, 0));
        if (row.group == 2)
        {
            EXPECT_TRUE(mgr.GetGroups()[2].name.empty());
        }
    }
    QvSchemeMgr mgr;
    EXPECT_EQ(mgr.AddScheme(0, nullptr, true), nullptr);
}

TEST(SchemeMgr, RemovingSchemesKeepsCurrentAndCompareOnTheirSchemes)
{
    struct Row
    {
        const char* name;
        int current;
        int compare;
        int removeCol;
        int currentAfter;
        int compareAfter;
        std::vector<std::string> namesAfter;
    };
    const Row rows[] = {
        {"current after the removed", 2, -1, 1, 1, -1, {"0", "2"}},
        {"current removed moves back", 1, -1, 1, 0, -1, {"0", "2"}},
        {"first current removed", 0, -1, 0, -1, -1, {"1", "2"}},
        {"current before the removed", 0, -1, 2, 0, -1, {"0", "1"}},
        {"compared removed", 2, 1, 1, 1, -1, {"0", "2"}},
        {"compared after the removed", 0, 2, 1, 0, 1, {"0", "2"}},
        {"compared before the removed", 2, 0, 2, 1, 0, {"0", "1"}},
    };
    for (const Row& row : rows)
    {
        FileCase c;
        QvSchemeMgr& mgr = ManagerWith(c, 3);
        mgr.SetCurIndex(row.current);
        mgr.SetCompareIndex(row.compare);
        const QvScheme* current = mgr.GetCurScheme();
        const QvScheme* compared = mgr.GetCompareScheme();
        mgr.RemoveSchemeAt(0, row.removeCol);
        EXPECT_EQ(Names(mgr), row.namesAfter) << row.name;
        EXPECT_EQ(mgr.GetCurIndex(), row.currentAfter) << row.name;
        EXPECT_EQ(mgr.GetCompareIndex(), row.compareAfter) << row.name;
        EXPECT_EQ(mgr.GetGroups()[0].indices, (std::vector<int>{0, 1})) << row.name;
        if (row.currentAfter >= 0 && row.current != row.removeCol)
        {
            EXPECT_EQ(mgr.GetCurScheme(), current) << row.name;
        }
        if (row.compareAfter >= 0)
        {
            EXPECT_EQ(mgr.GetCompareScheme(), compared) << row.name;
        }
    }
}

TEST(SchemeMgr, RemovalRenumbersEveryGroup)
{
    FileCase c;
    QvSchemeMgr& mgr = ManagerWith(c, 2);
    QvScheme* expert = mgr.CreateScheme(1, "expert", false, true);
    QvScheme* extra = mgr.CreateScheme(2, "extra", false, false);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(mgr.CreateScheme(4, "refused", false, false), nullptr);
    mgr.RemoveScheme(mgr.GetSchemes()[0]);
    EXPECT_EQ(mgr.GetGroups()[0].indices, std::vector<int>{0});
    EXPECT_EQ(mgr.GetGroups()[1].indices, std::vector<int>{1});
    EXPECT_EQ(mgr.GetGroups()[2].indices, std::vector<int>{2});
    EXPECT_EQ(mgr.GetCurScheme(), expert);
    EXPECT_EQ(mgr.GetScheme(2, 0), extra);
    mgr.RemoveScheme(extra);
    EXPECT_TRUE(mgr.GetGroups()[2].indices.empty());
    // Positions that do not exist change nothing.
    mgr.RemoveSchemeAt(0, 5);
    mgr.RemoveSchemeAt(7, 0);
    mgr.SetCurScheme(0, 3);
    EXPECT_EQ(mgr.GetSchemes().size(), 2u);
    EXPECT_EQ(mgr.GetCurScheme(), expert);
    mgr.SetCurScheme(0, 0);
    EXPECT_EQ(mgr.GetCurScheme(), mgr.GetSchemes()[0]);
    // The current index named directly; an index beyond the list names no scheme.
    mgr.SetCurIndex(9);
    EXPECT_EQ(mgr.GetCurScheme(), nullptr);
    mgr.ClearCurIndex();
    EXPECT_EQ(mgr.GetCurIndex(), -1);
}

TEST(SchemeMgr, GroupOperationsNothingCallsYet)
{
    FileCase c;
    QvSchemeMgr& mgr = ManagerWith(c, 2);
    mgr.CreateScheme(1, "e0", false, false);
    mgr.CreateScheme(1, "e1", false, false);
    mgr.RenameGroup(1, "renamed");
    mgr.RenameScheme(1, 1, "e1 renamed");
    EXPECT_EQ(mgr.GetGroups()[1].name, "renamed");
    EXPECT_EQ(mgr.GetScheme(1, 1)->GetName(), "e1 renamed");

    QvScheme* source = mgr.GetScheme(0, 1);
    source->InsertTreatStep(c.Tooth(11), 2, kQvStepFinal, Translation(1, 2, 3));
    QvScheme* copy = mgr.CopyScheme(0, 1, "copy", 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetName(), "copy");
    EXPECT_EQ(mgr.GetCurScheme(), copy);
    ASSERT_NE(copy->GetTreatStep(2, c.Tooth(11)), nullptr);
    EXPECT_TRUE(Near(*copy->GetTreatStep(2, c.Tooth(11))->GetMatrix(), Translation(1, 2, 3)));
    EXPECT_EQ(mgr.CopyScheme(0, 9, "none", 1), nullptr);

    mgr.SetCompareIndex(0);
    mgr.RemoveGroup(1);
    EXPECT_EQ(Names(mgr), (std::vector<std::string>{"0", "1"}));
    ASSERT_EQ(mgr.GetGroups().size(), 1u);
    EXPECT_EQ(mgr.GetGroups()[0].indices, (std::vector<int>{0, 1}));
    EXPECT_EQ(mgr.GetCurScheme(), mgr.GetSchemes()[1]);
    EXPECT_EQ(mgr.GetCompareIndex(), 0);

    mgr.Clear();
    EXPECT_TRUE(mgr.GetSchemes().empty());
    EXPECT_EQ(mgr.GetGroups().size(), 2u);
    EXPECT_EQ(mgr.GetCurIndex(), -1);
    EXPECT_EQ(mgr.GetCompareIndex(), -1);
}

TEST(SchemeMgr, TheModelAsksItsManagerAboutTheCurrentScheme)
{
    FileCase c;
    EXPECT_EQ(QvGetSchemeMgr(c.model), nullptr);
    QvSchemeMgr& mgr = QvEnsureSchemeMgr(c.model);
    EXPECT_EQ(&QvEnsureSchemeMgr(c.model), &mgr);
    EXPECT_EQ(c.model.GetSchemes(), &mgr);
    EXPECT_EQ(mgr.GetModel(), &c.model);

    QvScheme* s = mgr.CreateScheme(0, "s", true, true);
    EXPECT_EQ(s->GetModel(), &c.model);
    s->m_extractedTeeth.insert(c.Tooth(21));
    auto* virtualTooth = new QvVirtualTooth();
    s->m_virtualTeeth.push_back(virtualTooth);
    EXPECT_TRUE(mgr.IsExtractedInCurrentScheme(c.Tooth(21)));
    EXPECT_FALSE(mgr.IsExtractedInCurrentScheme(c.Tooth(11)));
    std::vector<QvEntity*> meshes;
    c.model.GetAllMeshes(meshes);
    EXPECT_NE(std::find(meshes.begin(), meshes.end(), virtualTooth), meshes.end());
    mgr.ClearCurIndex();
    EXPECT_FALSE(mgr.IsExtractedInCurrentScheme(c.Tooth(21)));
}

// ---- Case document -----------------------------------------------------------------------

TEST(SchemeMgr, DocumentKeepsOnlyTheCurrentScheme)
{
    FileCase c;
    QvSchemeMgr& mgr = ManagerWith(c, 3);
    mgr.SetCurIndex(1);
    std::ostringstream os;
    mgr.Write(os, 1043);

    QvSchemeMgr read;
    std::istringstream is(os.str());
    ASSERT_TRUE(read.Read(is, 1043, &c.model));
    EXPECT_EQ(Names(read), std::vector<std::string>{"1"});
    EXPECT_EQ(read.GetCurIndex(), 0);
    EXPECT_EQ(read.GetGroups()[0].indices, std::vector<int>{0});
    EXPECT_EQ(read.GetCurScheme()->GetModel(), &c.model);

    // No current scheme: a count of 0, which reads back as no scheme.
    mgr.ClearCurIndex();
    std::ostringstream none;
    mgr.Write(none, 1043);
    EXPECT_EQ(none.str(), Bytes().I32(0).str());
    QvSchemeMgr empty;
    std::istringstream emptyIs(none.str());
    ASSERT_TRUE(empty.Read(emptyIs, 1043, &c.model));
    EXPECT_EQ(empty.GetCurIndex(), -1);
    EXPECT_TRUE(empty.GetGroups()[0].indices.empty());
}

TEST(SchemeMgr, DamagedCountsAndSectionsFail)
{
    FileCase c;
    QvSchemeMgr& mgr = ManagerWith(c, 1);
    mgr.SetCurIndex(0);
    std::ostringstream os;
    mgr.GetCurScheme()->WriteDocument(os, 1043);
    const std::string section = os.str();
    struct Row
    {
        const char* name;
        std::string bytes;
        std::size_t schemesKept;
    };
    const Row rows[] = {
        {"negative count", Bytes().I32(-1).Raw(section).str(), 0},
        {"count beyond the bytes", Bytes().I32(0x7fffffff).Raw(section).str(), 0},
        // The second section is cut short: the first stays and is the only one filed.
        {"second section short", Bytes().I32(2).Raw(section).Raw(section.substr(0, 30)).str(), 1},
    };
    for (const Row& row : rows)
    {
        QvSchemeMgr read;
        std::istringstream is(row.bytes);
        EXPECT_FALSE(read.Read(is, 1043, &c.model)) << row.name;
        EXPECT_EQ(read.GetSchemes().size(), row.schemesKept) << row.name;
        EXPECT_EQ(read.GetGroups()[0].indices.size(), row.schemesKept) << row.name;
        EXPECT_EQ(read.GetCurScheme(), nullptr) << row.name;
    }
}

// ---- Older multi-scheme forms -----------------------------------------------------------

// A 513 body without step lists: only the first text and the integer.
std::string OldestBody(int value) { return Bytes().Raw("0 ").I32(value).I32(0).I32(0).I32(0).str(); }

TEST(SchemeMgr, OlderMultiSchemeForms)
{
    struct Row
    {
        const char* name;
        int version;
        std::string bytes;
        bool ok;
        std::vector<int> group0;
    };
    // 514 to 517 read a 514 body; one with nothing in it.
    const std::string body514 = Bytes().Text("n").Zeros(2).I32(0).Zeros(4).I32(0).I32(0).Zeros(4).str();
    const Row rows[] = {
        {"first form", 513, Bytes().I32(1).I32(2).Raw(OldestBody(1)).Raw(OldestBody(2)).str(), true, {0, 1}},
        {"second form", 514,
         Bytes().I32(0).I32(2).Raw(body514).Raw(body514).I32(2).Text("a").I32(1).I32(1).Text("b").I32(0).str(), true,
         {0, 1, 1}},
        {"group index naming no scheme", 514,
         Bytes().I32(0).I32(1).Raw(body514).I32(1).Text("a").I32(1).I32(3).str(), false, {0}},
        {"group name beyond 200 bytes", 514,
         Bytes().I32(0).I32(1).Raw(body514).I32(1).Text(std::string(201, 'g')).I32(0).str(), false, {0}},
        {"negative scheme count", 513, Bytes().I32(0).I32(-2).str(), false, {}},
        {"third form", 518, Bytes().I32(0).I32(0).str(), false, {}},
    };
    for (const Row& row : rows)
    {
        FileCase c;
        QvSchemeMgr mgr;
        std::istringstream is(row.bytes);
        EXPECT_EQ(mgr.ReadOldForm(is, row.version, &c.model), row.ok) << row.name;
        EXPECT_EQ(mgr.GetGroups()[0].indices, row.group0) << row.name;
        EXPECT_EQ(mgr.GetCurIndex(), -1) << row.name;
        if (row.ok)
        {
            EXPECT_TRUE(qvtest::AllOf(is).empty()) << row.name;
        }
    }
}

TEST(SchemeMgr, GroupRecordsReplaceTheGroups)
{
    FileCase c;
    QvSchemeMgr& mgr = ManagerWith(c, 3);
    const std::string records =
        Bytes().I32(3).Text("x").I32(1).I32(2).Text("y").I32(0).Text("z").I32(2).I32(0).I32(1).str();
    std::istringstream is(records);
    ASSERT_TRUE(mgr.ReadGroups(is, 515));
    ASSERT_EQ(mgr.GetGroups().size(), 3u);
    EXPECT_EQ(mgr.GetGroups()[0].name, "x");
    EXPECT_EQ(mgr.GetGroups()[0].indices, std::vector<int>{2});
    EXPECT_TRUE(mgr.GetGroups()[1].indices.empty());
    EXPECT_EQ(mgr.GetGroups()[2].indices, (std::vector<int>{0, 1}));

    // A record naming no scheme leaves the groups as they were.
    std::istringstream bad(Bytes().I32(1).Text("w").I32(1).I32(3).str());
    EXPECT_FALSE(mgr.ReadGroups(bad, 515));
    EXPECT_EQ(mgr.GetGroups()[0].name, "x");
    qvtest::ExpectReaderSurvivesDamage(records, [&](std::istream& in) {
        QvSchemeMgr other;
        other.CreateScheme(0, "a", false, false);
        other.CreateScheme(0, "b", false, false);
        other.CreateScheme(0, "c", false, false);
        return other.ReadGroups(in, 515);
    });
}

} // namespace
