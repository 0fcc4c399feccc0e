// SPDX-License-Identifier: GPL-3.0-or-later
// Scheme bodies of scheme files, scheme sections of case documents and the scheme
// file entry points of the file layer.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "core/model/QvFileVersion.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"
#include "core/scheme/QvSchemeFile.h"
#include "SchemeFileFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using namespace qvschemefiletest;

constexpr int kRvsNewest = 0x2007;
constexpr int kOsNewest = 0x413;

struct OwnedSchemes
{
    ~OwnedSchemes()
    {
        for (QvScheme* s : list)
            delete s;
    }
    std::vector<QvScheme*> list;
};

std::vector<int> Fdis(const std::set<QvToothBase*>& teeth)
{
    std::vector<int> out;
    for (const QvToothBase* t : teeth)
        out.push_back(t->GetPositionFdi());
    std::sort(out.begin(), out.end());
    return out;
}

// ---- Scheme files through the file layer --------------------------------------------------

TEST(SchemeFile, RvsOfTheNewestVersionReadsBackEqual)
{
    for (const int count : {1, 3})
    {
        FileCase c;
        std::vector<std::unique_ptr<QvScheme>> written;
        std::vector<QvScheme*> pointers;
        for (int i = 0; i < count; ++i)
        {
            written.push_back(std::make_unique<QvScheme>());
            FillScheme(c, *written.back(), i);
            pointers.push_back(written.back().get());
        }
        qvtest::ScratchFolder folder;
        QvReadWriteFile file(&c.model, 0);
        ASSERT_TRUE(file.WriteRVS(folder / "plan.rvs", kRvsNewest, pointers));

        const std::size_t teethBefore = c.model.m_virtualTeeth.size();
        OwnedSchemes read;
        QvPatientInfo info;
        ASSERT_EQ(file.ReadRVS(folder / "plan.rvs", read.list, &info), 0) << count;
        ASSERT_EQ(read.list.size(), static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
        {
            const QvScheme& s = *read.list[static_cast<std::size_t>(i)];
            // Writing what was read gives the bytes that were written: every record came back.
            EXPECT_EQ(BodyBytes(s, 0x2007), BodyBytes(*written[static_cast<std::size_t>(i)], 0x2007)) << i;
            EXPECT_EQ(s.m_strName, written[static_cast<std::size_t>(i)]->m_strName);
            EXPECT_EQ(s.GetModel(), &c.model);
            EXPECT_EQ(Fdis(s.m_extractedTeeth), std::vector<int>{16});
            EXPECT_EQ(Fdis(s.m_hiddenTeeth), std::vector<int>{41});
            ASSERT_EQ(s.m_virtualTeeth.size(), 1u);
            EXPECT_TRUE(StepsUseOwnVirtualTeeth(s));
            EXPECT_NE(s.GetTreatStep(2, s.m_virtualTeeth[0]), nullptr);
            EXPECT_EQ(s.m_stepLists.size(), 3u);
            EXPECT_TRUE(s.m_stepLists[2]->m_bBite);
            ASSERT_EQ(s.m_attachLists.size(), 1u);
            EXPECT_EQ(s.m_attachLists[0]->GetTooth(), c.Tooth(11));
            ASSERT_NE(s.m_pClinicalInfo, nullptr);
            EXPECT_EQ(s.m_pClinicalInfo->GetIprMap().at(1)[0].GetKey(), "11-21");
            EXPECT_EQ(s.m_pClinicalInfo->GetIprMap().at(1)[0].GetAmountText(), "0.3");
            EXPECT_EQ(s.m_pClinicalInfo->GetTractions().size(), 3u);
            ASSERT_NE(s.m_pOcclusalPlane1, nullptr);
            EXPECT_TRUE(*s.m_pOcclusalPlane1 == *written[static_cast<std::size_t>(i)]->m_pOcclusalPlane1);
            EXPECT_EQ(s.m_pOcclusalPlane2, nullptr);
            EXPECT_EQ(s.m_pArchForm1, nullptr);
            ASSERT_NE(s.m_pArchForm2, nullptr);
            EXPECT_NE(s.m_pBracketList, nullptr);
            ASSERT_EQ(s.m_targetMgr.GetEntries().size(), 2u);
            EXPECT_EQ(s.m_targetMgr.GetCurrentId(), 4);
            // The virtual tooth's saved position was bound to the scheme's own tooth.
            EXPECT_NE(s.m_targetMgr.GetSnapshots()[0]->FindStep(s.m_virtualTeeth[0]), nullptr);
        }
        // The virtual teeth were filed in the model only while the steps were read.
        EXPECT_EQ(c.model.m_virtualTeeth.size(), teethBefore);
        EXPECT_EQ(c.model.FindEntity(c.Tooth(21)->GetID()), c.Tooth(21));
        // The file layer's single-scheme writer gives the same file for the newest version.
        ASSERT_TRUE(file.WriteRVSScheme(folder / "one.rvs", kRvsNewest, pointers[0]));
        OwnedSchemes one;
        ASSERT_EQ(file.ReadRVS(folder / "one.rvs", one.list, nullptr), 0);
        ASSERT_EQ(one.list.size(), 1u);
        EXPECT_EQ(BodyBytes(*one.list[0], 0x2007), BodyBytes(*written[0], 0x2007));
    }
}

TEST(SchemeFile, RvsStopsAtTheSchemeThatFails)
{
    // The second scheme has attachments on its virtual tooth 32, a number no tooth of
    // the case has, or is cut short; the third follows it intact, but is not read from
    // a stream left mid-record.
    for (const bool truncate : {false, true})
    {
        FileCase c;
        std::vector<std::unique_ptr<QvScheme>> written;
        std::vector<QvScheme*> pointers;
        for (int i = 0; i < 3; ++i)
        {
            written.push_back(std::make_unique<QvScheme>());
            FillScheme(c, *written.back(), i);
            pointers.push_back(written.back().get());
        }
        if (!truncate)
        {
            auto* attachment = new QvAttachment();
            attachment->m_pTooth = written[1]->m_virtualTeeth[0];
            written[1]->AddAttachment(written[1]->m_virtualTeeth[0], attachment);
        }
        qvtest::ScratchFolder folder;
        QvReadWriteFile file(&c.model, 0);
        ASSERT_TRUE(file.WriteRVS(folder / "plan.rvs", kRvsNewest, pointers));
        if (truncate)
        {
            // Cut in the middle of the second body.
            const std::string bytes = qvtest::ReadWholeFile(folder / "plan.rvs");
            const std::size_t second = bytes.size() - BodyBytes(*written[2], kRvsNewest).size() -
                                       BodyBytes(*written[1], kRvsNewest).size() / 2;
            ASSERT_TRUE(qvtest::WriteWholeFile(folder / "plan.rvs", bytes.substr(0, second)));
        }
        OwnedSchemes read;
        EXPECT_EQ(file.ReadRVS(folder / "plan.rvs", read.list, nullptr), 1) << truncate;
        ASSERT_EQ(read.list.size(), 1u) << truncate;
        EXPECT_EQ(BodyBytes(*read.list[0], kRvsNewest), BodyBytes(*written[0], kRvsNewest));
        EXPECT_TRUE(c.model.m_virtualTeeth.empty());
    }
}

TEST(SchemeFile, FailedRvsWriteKeepsTheOldFile)
{
    FileCase c;
    FillScheme(c, *c.scheme, 1);
    qvtest::ScratchFolder folder;
    QvReadWriteFile file(&c.model, 0);
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "plan.rvs", "old bytes"));
    // No scheme body exists for a version beyond the newest.
    EXPECT_FALSE(file.WriteRVS(folder / "plan.rvs", kRvsNewest + 1, {c.scheme.get()}));
    EXPECT_EQ(qvtest::ReadWholeFile(folder / "plan.rvs"), "old bytes");
}

// ---- Item tables ----------------------------------------------------------------------------

// The bytes of a scheme named "A" with value 5 and nothing else, item by item.
std::string EmptySchemeBytes(const std::string& items)
{
    Bytes b;
    std::istringstream list(items);
    int item = 0;
    while (list >> item)
    {
        switch (item)
        {
        case 1:
            b.Text("A");
            break;
        case 2:
        case 3:
            b.Text("");
            break;
        case 4:
            b.I32(5);
            break;
        case 10:
            b.I32(0).I32(0);
            break;
        case 17:
            b.I32(0).I32(-1);
            break;
        default: // counts and presence flags
            b.I32(0);
            break;
        }
    }
    return b.str();
}

TEST(SchemeFile, EmptySchemesFollowTheItemTables)
{
    struct Row
    {
        int version;
        bool document;
        const char* items;
        std::size_t unreadTail; // bytes the reader leaves after the section
    };
    const char* kOld = "1 2 3 4 5 6 8 9 10 11 12 13 14 15";
    const Row rows[] = {
        {8193, false, kOld, 0},
        {8194, false, kOld, 0},
        {8195, false, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {8196, false, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {8197, false, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 16 17", 0},
        {8198, false, "1 2 3 4 5 6 7 8 9 11 12 13 14 15 16 17", 0},
        {8199, false, "1 2 3 4 5 6 7 8 9 11 12 13 14 15 16 17", 0},
        {1025, true, kOld, 0},
        {1026, true, kOld, 0},
        // The store is written after a 1027 section but read only from 1028 on.
        {1027, true, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 8},
        {1028, true, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {1033, true, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {1040, true, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {1041, true, "1 2 3 4 5 6 8 9 10 11 12 13 14 15 17", 0},
        {1042, true, "1 2 3 4 5 6 7 8 9 11 12 13 14 15 17", 0},
        {1043, true, "1 2 3 4 5 6 7 8 9 11 12 13 14 15 17", 0},
    };
    for (const Row& row : rows)
    {
        FileCase c;
        QvScheme s;
        s.SetName("A");
        s.m_nValue = 5;
        const std::string expected = EmptySchemeBytes(row.items);
        EXPECT_EQ(row.document ? SectionBytes(s, row.version) : BodyBytes(s, row.version), expected)
            << row.version;

        QvScheme back;
        back.SetName("old");
        std::istringstream is(expected);
        const bool ok = row.document ? back.ReadDocument(is, row.version, &c.model)
                                     : back.Read(is, row.version, &c.model);
        EXPECT_TRUE(ok) << row.version;
        EXPECT_EQ(back.GetName(), "A");
        EXPECT_EQ(back.m_nValue, 5);
        EXPECT_EQ(back.m_pClinicalInfo, nullptr);
        EXPECT_EQ(back.m_pBracketList, nullptr);
        EXPECT_EQ(qvtest::AllOf(is).size(), row.unreadTail) << row.version;
    }
}

TEST(SchemeFile, VersionsOfNoLayoutWriteAndReadNothing)
{
    FileCase c;
    FillScheme(c, *c.scheme, 1);
    const std::string before = BodyBytes(*c.scheme, 8199);
    for (const int version : {8192, 8200, 0x4001, 0x401, 512, 520, 1024})
    {
        std::ostringstream os;
        c.scheme->Write(os, version);
        EXPECT_TRUE(os.str().empty()) << version;
        EXPECT_FALSE(os) << version; // a writer relying on the stream reports the failure
        std::istringstream is(EmptySchemeBytes("1 2 3 4 5 6 8 9 10 11 12 13 14 15"));
        EXPECT_FALSE(c.scheme->Read(is, version, &c.model)) << version;
        EXPECT_EQ(is.tellg(), 0) << version;
        EXPECT_EQ(c.scheme->GetModel(), &c.model);
    }
    // The content stayed as it was.
    EXPECT_EQ(BodyBytes(*c.scheme, 8199), before);
}

// ---- Older bodies ---------------------------------------------------------------------------

// An older-family step list: int32 count, then per step step, type, FDI (and state
// from 516 on) and the matrix.
Bytes& OldList(Bytes& b, bool withState, std::initializer_list<std::pair<int, int>> fdiTypes, int stepNumber)
{
    b.I32(static_cast<std::int32_t>(fdiTypes.size()));
    for (const auto& [fdi, type] : fdiTypes)
    {
        b.I32(stepNumber).I32(type).I32(fdi);
        if (withState)
            b.I32(kQvToothOrdinary);
        b.Matrix(Identity());
    }
    return b;
}

TEST(SchemeFile, OlderBodiesReadFromTheirTables)
{
    const std::string untitled = Gb18030FromUtf8("未命名");
    struct Row
    {
        const char* name;
        int version;
        std::string bytes;
        bool ok;
        std::string schemeName;
        std::string text1;
        int value;
        std::vector<int> extracted;
        std::size_t lists;
        int typeOf11; // type of tooth 11's step in list 0; 0 for none
        bool clinical;
        std::size_t targets;
    };
    std::vector<Row> rows;
    {
        // 513: decimal length of the first text, a separator, the text; the value; the
        // list count before the tooth sets; old type 6 is a final step.
        Bytes b;
        b.Raw(" \t5:hello").I32(7).I32(1).I32(2).I32(21).I32(99).I32(0);
        OldList(b, false, {{11, 6}}, 0).Zeros(4);
        rows.push_back({"513", 513, b.str(), true, untitled, "hello", 7, {21}, 1, kQvStepFinal, false, 0});
    }
    {
        // A count of 0 ends the body after the tooth sets.
        Bytes b;
        b.Raw("0 ").I32(8).I32(0).I32(1).I32(21).I32(0);
        rows.push_back({"513 without lists", 513, b.str(), true, untitled, "", 8, {21}, 0, 0, false, 0});
    }
    {
        Bytes b;
        b.Raw("-3x").I32(8).I32(-1).Zeros(2);
        rows.push_back({"513 negative list count", 513, b.str(), false, untitled, "", 8, {}, 0, 0, false, 0});
    }
    {
        Bytes b;
        b.Raw("200 ").Raw(std::string(200, 'x')).I32(8).I32(0).Zeros(2);
        rows.push_back({"513 text beyond its buffer", 513, b.str(), false, "", "", 0, {}, 0, 0, false, 0});
    }
    {
        // 514: numbers; the kind pair is read and dropped; no clinical record.
        Bytes b;
        b.Text("B").Text("t1").Text("t2").I32(3).I32(1).I32(21).I32(0).I32(1);
        OldList(b, false, {{11, 1}}, 0).I32(0).I32(1).I32(2).Zeros(4);
        rows.push_back({"514", 514, b.str(), true, "B", "t1", 3, {21}, 1, kQvStepInitial, false, 0});
    }
    {
        // 515: then the clinical record in its old form, taking the kind pair.
        Bytes b;
        b.Text("C").Text("").Text("").I32(4).I32(0).I32(0).I32(1);
        OldList(b, false, {{11, 1}}, 0).I32(0).I32(1).I32(4).Zeros(4).I32(1);
        b.Zeros(2).Text("11").Text("21").Text("").Text("").Text("1").Text("2").Text("3").Text("4").Text("note");
        b.Text("").Text("").Text("").Text("");
        rows.push_back({"515", 515, b.str(), true, "C", "", 4, {}, 1, kQvStepInitial, true, 0});
    }
    for (const int version : {516, 519})
    {
        // 516 to 519: as 8193 (pairs), then the saved targets of the older family, which
        // keep entries of id 2 or more only.
        Bytes b;
        b.Text("D").Text("").Text("").I32(0).I32(1).I32(21).I32(kQvToothOrdinary).I32(0).I32(1);
        OldList(b, true, {{11, 1}, {21, 1}}, 0).I32(0).I32(0).I32(0).Zeros(5);
        b.I32(2);
        OldList(b, false, {{11, 5}}, 0).Text("dropped").I32(1);
        OldList(b, false, {{11, 5}}, 0).Text("kept").I32(3);
        b.I32(1);
        rows.push_back({"516 to 519", version, b.str(), true, "D", "", 0, {21}, 1, kQvStepInitial, false, 1});
    }
    {
        // The clinical record has no form in 516 to 519.
        Bytes b;
        b.Text("E").Text("").Text("").I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).I32(0).Zeros(4).I32(1).Zeros(2);
        rows.push_back({"517 with clinical record", 517, b.str(), false, "E", "", 0, {}, 0, 0, false, 0});
    }
    for (const int version : {520, 521, 528, 529})
        rows.push_back({"no body", version, EmptySchemeBytes("1 2 3 4 5 6 8 9 10 11 12 13 14 15 17"), false, "", "",
                        0, {}, 0, 0, false, 0});

    for (const Row& row : rows)
    {
        FileCase c;
        QvScheme s;
        std::istringstream is(row.bytes);
        EXPECT_EQ(s.Read(is, row.version, &c.model), row.ok) << row.name;
        if (!row.ok)
            continue;
        EXPECT_EQ(s.GetName(), row.schemeName) << row.name;
        EXPECT_EQ(s.m_strText1, row.text1) << row.name;
        EXPECT_EQ(s.m_nValue, row.value) << row.name;
        EXPECT_EQ(Fdis(s.m_extractedTeeth), row.extracted) << row.name;
        EXPECT_EQ(s.m_stepLists.size(), row.lists) << row.name;
        const QvTreatStep* step = s.GetTreatStep(0, c.Tooth(11));
        EXPECT_EQ(step ? step->m_nType : 0, row.typeOf11) << row.name;
        EXPECT_EQ(s.m_pClinicalInfo != nullptr, row.clinical) << row.name;
        EXPECT_EQ(s.m_targetMgr.GetEntries().size(), row.targets) << row.name;
        EXPECT_TRUE(qvtest::AllOf(is).empty()) << row.name;
        EXPECT_TRUE(Consistent(s)) << row.name;
    }
}

TEST(SchemeFile, OlderBodyDetails)
{
    FileCase c;
    {
        // 515 hands the kind pair (1, 4) to the record: kinds 1 and 3.
        Bytes b;
        b.Text("C").Text("").Text("").I32(4).I32(0).I32(0).I32(0).I32(0).I32(1).I32(4).Zeros(4).I32(1);
        b.Zeros(2).Text("11").Text("21").Text("").Text("").Text("1").Text("2").Text("3").Text("4").Text("A");
        b.Text("").Text("B").Text("").Text("");
        QvScheme s;
        std::istringstream is(b.str());
        ASSERT_TRUE(s.Read(is, 515, &c.model));
        ASSERT_NE(s.m_pClinicalInfo, nullptr);
        const std::vector<QvTractionEntry>& tractions = s.m_pClinicalInfo->GetTractions();
        ASSERT_EQ(tractions.size(), 2u);
        EXPECT_EQ(tractions[0].m_nKind, 1);
        EXPECT_EQ(tractions[1].m_nKind, 3);
        EXPECT_EQ(tractions[1].m_nFdi1, 21);
        EXPECT_EQ(s.m_pClinicalInfo->GetRemark(), "A;B");
    }
    {
        // 516 drops an entry of id 1 and with it the current entry.
        Bytes b;
        b.Text("D").Zeros(2).I32(0).Zeros(2).I32(0).I32(0).Zeros(2).Zeros(5).I32(1);
        OldList(b, false, {{11, 5}}, 0).Text("x").I32(1).I32(0);
        QvScheme s;
        std::istringstream is(b.str());
        ASSERT_TRUE(s.Read(is, 516, &c.model));
        EXPECT_TRUE(s.m_targetMgr.GetEntries().empty());
        EXPECT_EQ(s.m_targetMgr.GetCurrentIndex(), -1);
    }
}

// ---- What every reader does -----------------------------------------------------------------

TEST(SchemeFile, ToothReferencesResolveOnceOrNotAtAll)
{
    FileCase c;
    // 21 twice, 99 not in the case, 11 in another state.
    Bytes b;
    b.Text("A").Text("").Text("").I32(0);
    b.I32(4).I32(21).I32(1).I32(21).I32(1).I32(99).I32(1).I32(11).I32(4);
    b.I32(1).I32(11).I32(1);
    b.Zeros(2).Zeros(2).Zeros(5);
    QvScheme s;
    std::istringstream is(b.str());
    ASSERT_TRUE(s.Read(is, 8193, &c.model));
    EXPECT_TRUE(qvtest::AllOf(is).empty());
    EXPECT_EQ(Fdis(s.m_extractedTeeth), std::vector<int>{21});
    EXPECT_EQ(Fdis(s.m_hiddenTeeth), std::vector<int>{11});
    EXPECT_FALSE(s.m_extractedTeeth.count(nullptr));
}

TEST(SchemeFile, StepsTakeTheNumberOfTheirList)
{
    // A damaged record numbers its step 2000000000 inside list 1; editing would grow
    // the lists to that number.
    FileCase c;
    Bytes b;
    b.Text("A").Zeros(2).I32(0).Zeros(2).I32(2);
    b.I32(1).I32(0).I32(kQvStepInitial).I32(11).I32(kQvToothOrdinary).Matrix(Identity());
    b.I32(1).I32(2000000000).I32(kQvStepFinal).I32(11).I32(kQvToothOrdinary).Matrix(Identity());
    b.I32(0).Zeros(2).Zeros(5);
    QvScheme s;
    std::istringstream is(b.str());
    ASSERT_TRUE(s.Read(is, 8193, &c.model));
    ASSERT_EQ(s.m_stepLists.size(), 2u);
    EXPECT_EQ(s.GetTreatStep(1, c.Tooth(11))->m_nStep, 1);
    EXPECT_EQ(s.GetTreatStepCount(), 2);
    EXPECT_TRUE(Consistent(s));
}

TEST(SchemeFile, TrailingEmptyListsGo)
{
    FileCase c;
    QvScheme& s = *c.scheme;
    s.InsertTreatStep(c.Tooth(11), 0, kQvStepInitial);
    s.InsertTreatStep(c.Tooth(11), 2, kQvStepKey);
    s.InsertTreatStep(c.Tooth(11), 5, kQvStepFinal);
    s.GetStepList(5)->RemoveStep(s.GetTreatStep(5, c.Tooth(11)));
    ASSERT_EQ(s.m_stepLists.size(), 6u);
    for (const int version : {8199, 8196})
    {
        std::istringstream is(BodyBytes(s, version));
        QvScheme back;
        ASSERT_TRUE(back.Read(is, version, &c.model));
        // Lists 3 to 5 held no step; list 1 stays though empty.
        ASSERT_EQ(back.m_stepLists.size(), 3u) << version;
        EXPECT_TRUE(back.GetStepList(1)->m_steps.empty());
        EXPECT_EQ(back.GetStepList(3), nullptr);
        EXPECT_EQ(back.GetStepList(-1), nullptr);
    }
    s.GetStepList(2)->RemoveStep(s.GetTreatStep(2, c.Tooth(11)));
    s.GetStepList(0)->RemoveStep(s.GetTreatStep(0, c.Tooth(11)));
    std::istringstream is(BodyBytes(s, 8199));
    QvScheme back;
    ASSERT_TRUE(back.Read(is, 8199, &c.model));
    EXPECT_TRUE(back.m_stepLists.empty());
}

TEST(SchemeFile, OldInitialStepsMoveToStepZero)
{
    struct Row
    {
        int version;
        bool document;
        bool fixed;
    };
    const Row rows[] = {{8195, false, true}, {8196, false, false}, {1033, true, true},
                        {1040, true, false}, {8199, false, false}};
    for (const Row& row : rows)
    {
        FileCase c;
        QvScheme& s = *c.scheme;
        const QvMatrix moved = Placement(QvVector(0, 0, 1), 10, 1, 0, 0);
        // Tooth 11 starts at 3 and moves on at 4; tooth 21 starts at 2 and stays;
        // tooth 31 starts at 0 as it should.
        s.InsertTreatStep(c.Tooth(11), 3, kQvStepInitial, moved);
        s.InsertTreatStep(c.Tooth(11), 4, kQvStepFinal, moved);
        s.InsertTreatStep(c.Tooth(21), 2, kQvStepInitial, moved);
        s.InsertTreatStep(c.Tooth(31), 0, kQvStepInitial, moved);
        s.InsertTreatStep(c.Tooth(31), 4, kQvStepFinal, moved);
        std::istringstream is(row.document ? SectionBytes(s, row.version) : BodyBytes(s, row.version));
        QvScheme back;
        ASSERT_TRUE(row.document ? back.ReadDocument(is, row.version, &c.model)
                                 : back.Read(is, row.version, &c.model));
        using Steps = std::vector<std::pair<int, int>>;
        if (row.fixed)
        {
            const Steps expected = {
                {0, kQvStepInitial}, {1, kQvStepHold}, {2, kQvStepHold}, {3, kQvStepHold}, {4, kQvStepFinal}};
            EXPECT_EQ(StepsOf(back, c.Tooth(11)), expected) << row.version;
            EXPECT_EQ(StepsOf(back, c.Tooth(21)), (Steps{{0, kQvStepInitial}})) << row.version;
            EXPECT_TRUE(Near(*back.GetTreatStep(0, c.Tooth(11))->GetMatrix(), Identity()));
            EXPECT_TRUE(Near(*back.GetTreatStep(2, c.Tooth(11))->GetMatrix(), Identity()));
        }
        else
        {
            EXPECT_EQ(StepsOf(back, c.Tooth(11)), (Steps{{3, kQvStepInitial}, {4, kQvStepFinal}})) << row.version;
            EXPECT_EQ(StepsOf(back, c.Tooth(21)), (Steps{{2, kQvStepInitial}})) << row.version;
        }
        EXPECT_EQ(StepsOf(back, c.Tooth(31)), (Steps{{0, kQvStepInitial}, {4, kQvStepFinal}})) << row.version;
        EXPECT_TRUE(Near(*back.GetTreatStep(0, c.Tooth(31))->GetMatrix(), moved));
        EXPECT_TRUE(Consistent(back));
    }
}

TEST(SchemeFile, OldFormsKeepTwoTractionsAndDropIdNamedTeeth)
{
    FileCase c;
    FillScheme(c, *c.scheme, 2);
    std::istringstream is(BodyBytes(*c.scheme, 8197));
    QvScheme back;
    ASSERT_TRUE(back.Read(is, 8197, &c.model));
    ASSERT_NE(back.m_pClinicalInfo, nullptr);
    const std::vector<QvTractionEntry>& tractions = back.m_pClinicalInfo->GetTractions();
    ASSERT_EQ(tractions.size(), 2u);
    // Kinds from the stored pair (1, 4), first teeth and steps of the first two.
    EXPECT_EQ(tractions[0].m_nKind, 1);
    EXPECT_EQ(tractions[1].m_nKind, 3);
    EXPECT_EQ(tractions[1].m_nFdi1, 12);
    EXPECT_EQ(tractions[1].m_nFdi2, 0);
    EXPECT_TRUE(tractions[1].m_bFlag2);
    EXPECT_EQ(tractions[1].m_nEndStep, 2);
    // 8197 holds no virtual teeth: their steps are not read as steps of another tooth.
    EXPECT_TRUE(back.m_virtualTeeth.empty());
    EXPECT_EQ(back.m_stepLists[1]->m_steps.size(), 3u);
    EXPECT_TRUE(Consistent(back));
}

// ---- The case document ------------------------------------------------------------------------

TEST(SchemeFile, CaseDocumentCarriesTheCurrentScheme)
{
    FileCase c;
    QvSchemeMgr& mgr = QvEnsureSchemeMgr(c.model);
    for (int i = 0; i < 3; ++i)
        FillScheme(c, *mgr.CreateScheme(0, "", false, false), i);
    mgr.SetCurIndex(1);
    const std::string section = SectionBytes(*mgr.GetCurScheme(), 1043);

    qvtest::ScratchFolder folder;
    QvReadWriteFile file(&c.model, 0);
    ASSERT_TRUE(file.WriteOS(folder / "case.os", kOsNewest));

    QvModel other;
    QvReadWriteFile reader(&other, 0);
    ASSERT_EQ(reader.ReadOS(folder / "case.os"), 0);
    const QvSchemeMgr* read = QvGetSchemeMgr(other);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->GetSchemes().size(), 1u);
    EXPECT_EQ(read->GetCurIndex(), 0);
    const QvScheme* s = read->GetCurScheme();
    EXPECT_EQ(s->GetModel(), &other);
    EXPECT_EQ(SectionBytes(*s, 1043), section);
    EXPECT_EQ(s->m_strName, mgr.GetSchemes()[1]->m_strName);
    EXPECT_EQ(Fdis(s->m_extractedTeeth), std::vector<int>{16});
    EXPECT_TRUE(StepsUseOwnVirtualTeeth(*s));
    EXPECT_TRUE(other.m_virtualTeeth.empty());
    ASSERT_EQ(s->m_attachLists.size(), 1u);
    EXPECT_EQ(s->m_attachLists[0]->GetTooth(), other.FindTooth(11));
    // A section never carries brackets.
    EXPECT_EQ(s->m_pBracketList, nullptr);
    other.SetSchemes(nullptr);

    // A model without schemes writes a count of 0 and reads back without any.
    QvModel empty;
    QvReadWriteFile emptyFile(&empty, 0);
    ASSERT_TRUE(emptyFile.WriteOS(folder / "empty.os", kOsNewest));
    QvModel third;
    QvReadWriteFile thirdFile(&third, 0);
    ASSERT_EQ(thirdFile.ReadOS(folder / "empty.os"), 0);
    ASSERT_NE(QvGetSchemeMgr(third), nullptr);
    EXPECT_EQ(QvGetSchemeMgr(third)->GetCurScheme(), nullptr);
}

TEST(SchemeFile, DentalModelGetsItsDefaultScheme)
{
    FileCase c;
    QvSchemeFileLink* link = QvGetSchemeFileLink();
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->AddDefaultScheme(c.model));
    const QvSchemeMgr* mgr = QvGetSchemeMgr(c.model);
    ASSERT_NE(mgr, nullptr);
    ASSERT_EQ(mgr->GetSchemes().size(), 1u);
    const QvScheme* s = mgr->GetCurScheme();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->GetName(), "default");
    EXPECT_EQ(s->GetModel(), &c.model);
    EXPECT_NE(s->GetInitialStep(c.Tooth(31)), nullptr);
}

// ---- Damage ---------------------------------------------------------------------------------

TEST(SchemeFile, ReadersSurviveDamage)
{
    FileCase c;
    FillScheme(c, *c.scheme, 1);
    // A scheme file of a filled scheme and an empty one. The fixture stays small: the
    // virtual tooth has no mesh.
    QvScheme second;
    second.SetName("second");
    qvtest::ScratchFolder folder;
    QvReadWriteFile file(&c.model, 0);
    ASSERT_TRUE(file.WriteRVS(folder / "plan.rvs", kRvsNewest, {c.scheme.get(), &second}));
    const std::string rvs = qvtest::ReadWholeFile(folder / "plan.rvs");

    // Every truncation and many flips of what follows the header line, read as the
    // file layer reads it: patient information, count, scheme bodies.
    const std::string afterHeader = rvs.substr(rvs.find('\n') + 1);
    qvtest::ExpectReaderSurvivesDamage(afterHeader, [&](std::istream& is) {
        QvPatientInfo info;
        std::int32_t count = 0;
        if (!info.Read(is, kRvsNewest) || !qvio::ReadI32(is, count) || count != 2)
            return false;
        OwnedSchemes read;
        for (int i = 0; i < count; ++i)
        {
            read.list.push_back(new QvScheme());
            if (!read.list.back()->Read(is, kRvsNewest, &c.model))
                return false;
            EXPECT_TRUE(Consistent(*read.list.back()));
        }
        EXPECT_TRUE(c.model.m_virtualTeeth.empty());
        return true;
    });
    // Flipped files through the file layer itself.
    const std::string damaged = folder / "damaged.rvs";
    qvtest::SweepByteFlips(
        rvs,
        [&](std::istream& is) {
            if (!qvtest::WriteWholeFile(damaged, qvtest::AllOf(is)))
                return false;
            OwnedSchemes read;
            const int code = file.ReadRVS(damaged, read.list, nullptr);
            EXPECT_TRUE(c.model.m_virtualTeeth.empty());
            return code == 0;
        },
        300, 7);

    QvSchemeMgr& mgr = QvEnsureSchemeMgr(c.model);
    FillScheme(c, *mgr.CreateScheme(0, "", false, true), 2);
    std::ostringstream os;
    mgr.Write(os, 1043);
    qvtest::ExpectReaderSurvivesDamage(os.str(), [&](std::istream& is) {
        QvSchemeMgr read;
        const bool ok = read.Read(is, 1043, &c.model);
        for (const QvSchemeGroup& group : read.GetGroups())
            for (const int index : group.indices)
                EXPECT_NE(read.GetSchemes().at(static_cast<std::size_t>(index)), nullptr);
        return ok;
    });
}

} // namespace
