// SPDX-License-Identifier: GPL-3.0-or-later
// Clinical information and IPR: entries, the old and new record forms by version, and
// the texts the old form keeps the tractions in.
#include <gtest/gtest.h>

#include <cstring>
#include <locale>
#include <sstream>

#include "core/geometry/QvStreamIO.h"
#include "core/scheme/QvClinicalInfo.h"
#include "SchemeFixtures.h"
#include "testing/ByteSweep.h"

namespace {

using namespace qvschemetest;

QvTractionEntry Traction(int kind, int fdi1, int fdi2, bool flag1, bool flag2, int start, int end)
{
    QvTractionEntry t;
    t.m_nKind = kind;
    t.m_nFdi1 = fdi1;
    t.m_nFdi2 = fdi2;
    t.m_bFlag1 = flag1;
    t.m_bFlag2 = flag2;
    t.m_nStartStep = start;
    t.m_nEndStep = end;
    return t;
}

bool SameTraction(const QvTractionEntry& a, const QvTractionEntry& b)
{
    return a.m_nKind == b.m_nKind && a.m_nFdi1 == b.m_nFdi1 && a.m_nFdi2 == b.m_nFdi2 && a.m_bFlag1 == b.m_bFlag1 &&
           a.m_bFlag2 == b.m_bFlag2 && a.m_nStartStep == b.m_nStartStep && a.m_nEndStep == b.m_nEndStep;
}

// IPR at steps 4 and 2 (written in ascending order), one adjustment, three tractions
// and a remark.
QvClinicalInfo FullRecord(const SchemeCase& c)
{
    QvClinicalInfo info;
    QvIprMap ipr;
    ipr[4] = {QvIprEntry(c.Tooth(11), c.Tooth(21), 1, 0.26), QvIprEntry(c.Tooth(31), c.Tooth(41), 2, 0.5)};
    ipr[2] = {QvIprEntry(c.Tooth(21), c.Tooth(11), 3, 0.1)};
    info.SetIprMap(ipr);
    QvIprMap adjustments;
    adjustments[7] = {QvIprEntry(c.Tooth(41), c.Tooth(31), 0, 1.25)};
    info.SetAdjustments(adjustments);
    info.SetTractions({Traction(4, 13, 43, false, true, 2, 9), Traction(6, 23, 33, true, false, 3, 11),
                       Traction(7, 16, 46, true, true, 1, 5)});
    info.SetRemark("keep the midline");
    return info;
}

std::string WriteRecord(const QvClinicalInfo& info, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { info.Write(os, version); });
}

void ExpectSameMaps(const QvIprMap& a, const QvIprMap& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib)
    {
        EXPECT_EQ(ia->first, ib->first);
        ASSERT_EQ(ia->second.size(), ib->second.size());
        for (std::size_t k = 0; k < ia->second.size(); ++k)
        {
            EXPECT_EQ(ia->second[k].m_pTooth1, ib->second[k].m_pTooth1);
            EXPECT_EQ(ia->second[k].m_pTooth2, ib->second[k].m_pTooth2);
            EXPECT_EQ(ia->second[k].m_nValue, ib->second[k].m_nValue);
            EXPECT_EQ(ia->second[k].m_dAmount, ib->second[k].m_dAmount);
        }
    }
}

// Old-form bytes: empty maps, then the thirteen texts.
std::string OldFormBytes(const std::array<std::string, 13>& texts)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, 0);
        for (const std::string& t : texts)
            qvio::WriteString(os, t);
    });
}

struct CommaPoint : std::numpunct<char>
{
    char do_decimal_point() const override { return ','; }
};

TEST(IprEntry, KeyAndAmountText)
{
    SchemeCase c;
    const QvIprEntry entry(c.Tooth(11), c.Tooth(21), 5, 0.26);
    EXPECT_EQ(entry.GetKey(), "11-21");
    EXPECT_TRUE(entry.MatchesKey("11-21"));
    EXPECT_FALSE(entry.MatchesKey("21-11"));
    EXPECT_EQ(entry.GetAmountText(), "0.3");
    QvToothBase* a = nullptr;
    QvToothBase* b = nullptr;
    int value = 0;
    double amount = 0;
    entry.Get(a, b, value, amount);
    EXPECT_EQ(a, c.Tooth(11));
    EXPECT_EQ(b, c.Tooth(21));
    EXPECT_EQ(value, 5);
    EXPECT_EQ(amount, 0.26);

    const struct
    {
        double amount;
        const char* text;
    } amounts[] = {{0.0, "0.0"}, {0.25, "0.2"}, {0.35, "0.3"}, {0.05, "0.1"}, {1.96, "2.0"}, {-0.26, "-0.3"}, {12.0, "12.0"}};
    // A process locale with a decimal comma must not change the text.
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
    for (const auto& k : amounts)
        EXPECT_EQ(QvIprEntry(nullptr, nullptr, 0, k.amount).GetAmountText(), k.text) << k.amount;
    std::locale::global(previous);

    // A missing tooth counts as 0 rather than crashing the key.
    EXPECT_EQ(QvIprEntry(c.Tooth(31), nullptr, 0, 0).GetKey(), "31-0");
}

TEST(ClinicalInfo, FormByVersion)
{
    SchemeCase c;
    const QvClinicalInfo info = FullRecord(c);
    const std::size_t maps = (4 + 2 * 8 + 3 * 20) + (4 + 8 + 20);
    const std::size_t newTail = 4 + 3 * 22 + 4 + info.GetRemark().size();
    const std::size_t oldTail = 13 * 4 + (2 + 2 + 1 + 1 + 1 + 2) + info.GetRemark().size();
    const struct
    {
        int version;
        std::size_t bytes; // 0: nothing written and the read fails
    } cases[] = {
        {1025, maps + oldTail}, {1041, maps + oldTail}, {1042, maps + newTail}, {1043, maps + newTail},
        {8193, maps + oldTail}, {8197, maps + oldTail}, {8198, maps + newTail}, {8199, maps + newTail},
        {513, maps + oldTail},  {515, maps + oldTail},  {516, 0},               {529, 0},
        {0x801, 0},             {0x8001, 0},            {0, 0},
    };
    for (const auto& k : cases)
    {
        const std::string bytes = WriteRecord(info, k.version);
        EXPECT_EQ(bytes.size(), k.bytes) << k.version;
        QvClinicalInfo back;
        back.SetLegacyKinds(1, 2);
        std::istringstream is(bytes);
        const bool read = back.Read(is, k.version, &c.model);
        EXPECT_EQ(read, k.bytes != 0) << k.version;
        if (!read)
        {
            EXPECT_TRUE(back.GetTractions().empty());
            continue;
        }
        ExpectSameMaps(back.GetIprMap(), info.GetIprMap());
        ExpectSameMaps(back.GetAdjustments(), info.GetAdjustments());
        EXPECT_EQ(back.GetRemark(), info.GetRemark()) << k.version;
        ASSERT_EQ(back.GetTractions().size(), k.bytes == maps + newTail ? 3u : 2u) << k.version;
        if (k.bytes == maps + newTail)
        {
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_TRUE(SameTraction(back.GetTractions()[i], info.GetTractions()[i])) << k.version;
        }
        else
        {
            // Only the first two travel, without second tooth and flags, kinds from the pair.
            EXPECT_TRUE(SameTraction(back.GetTractions()[0], Traction(1, 13, 0, true, true, 2, 9)));
            EXPECT_TRUE(SameTraction(back.GetTractions()[1], Traction(2, 23, 0, true, true, 3, 11)));
        }
    }
}

TEST(ClinicalInfo, NewFormKeepsStepsInAscendingOrder)
{
    SchemeCase c;
    const QvClinicalInfo info = FullRecord(c);
    const std::string bytes = WriteRecord(info, 8198);
    std::istringstream is(bytes);
    std::int32_t steps = 0;
    std::int32_t first = 0;
    ASSERT_TRUE(qvio::ReadI32(is, steps));
    ASSERT_TRUE(qvio::ReadI32(is, first));
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(first, 2);

    QvClinicalInfo back;
    std::istringstream again(bytes);
    ASSERT_TRUE(back.Read(again, 8198, &c.model));
    ASSERT_EQ(back.GetIprMap().size(), 2u);
    EXPECT_EQ(back.GetIprMap().begin()->first, 2);
    const QvIprEntry& entry = back.GetIprMap().at(4)[0];
    EXPECT_EQ(entry.GetKey(), "11-21");
    EXPECT_EQ(entry.GetAmountText(), "0.3");
}

TEST(ClinicalInfo, OldFormTexts)
{
    SchemeCase c;
    // One traction: nothing of it or of the remark survives.
    QvClinicalInfo one;
    one.SetTractions({Traction(1, 13, 43, true, true, 1, 4)});
    one.SetRemark("lost");
    for (const std::string& text : one.ToLegacyTexts())
        EXPECT_TRUE(text.empty());
    QvClinicalInfo back;
    std::istringstream is(WriteRecord(one, 8197));
    ASSERT_TRUE(back.Read(is, 8197, &c.model));
    EXPECT_TRUE(back.GetTractions().empty());
    EXPECT_TRUE(back.GetRemark().empty());

    // The remark collects texts 8 to 12, skipping empty ones.
    std::array<std::string, 13> texts;
    texts[8] = "A";
    texts[10] = "B";
    texts[12] = "C";
    QvClinicalInfo remark;
    std::istringstream r(OldFormBytes(texts));
    ASSERT_TRUE(remark.Read(r, 1041, &c.model));
    EXPECT_EQ(remark.GetRemark(), "A;B;C");
    EXPECT_TRUE(remark.GetTractions().empty()); // text 0 empty

    // Numbers as the texts hold them; the pair (3, 4) names no traction and kind 3.
    texts = {};
    texts[0] = " 13";
    texts[1] = "-23x";
    texts[4] = "abc";
    texts[5] = "+7";
    texts[6] = "99999999999";
    texts[7] = "";
    QvClinicalInfo parsed;
    parsed.SetLegacyKinds(3, 4);
    std::istringstream p(OldFormBytes(texts));
    ASSERT_TRUE(parsed.Read(p, 8195, &c.model));
    ASSERT_EQ(parsed.GetTractions().size(), 2u);
    EXPECT_TRUE(SameTraction(parsed.GetTractions()[0], Traction(0, 13, 0, true, true, 0, 7)));
    EXPECT_TRUE(SameTraction(parsed.GetTractions()[1], Traction(3, -23, 0, true, true, 2147483647, 0)));
}

TEST(ClinicalInfo, LegacyKindCodes)
{
    const int expected[] = {0, 1, 2, 0, 3, 5, 6, 7, 0};
    for (int code = 0; code <= 8; ++code)
        EXPECT_EQ(QvClinicalInfo::KindFromLegacyCode(code), expected[code]) << code;
    EXPECT_EQ(QvClinicalInfo::KindFromLegacyCode(-3), 0);
}

TEST(ClinicalInfo, CopyKeepsTheTargetsLegacyPair)
{
    SchemeCase c;
    QvClinicalInfo source = FullRecord(c);
    source.SetLegacyKinds(5, 6);
    QvClinicalInfo target;
    target.SetLegacyKinds(1, 2);
    target = source;
    int a = 0;
    int b = 0;
    target.GetLegacyKinds(a, b);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(target.GetTractions().size(), 3u);
    EXPECT_EQ(target.GetRemark(), source.GetRemark());
    ExpectSameMaps(target.GetIprMap(), source.GetIprMap());

    const QvClinicalInfo copied(source);
    copied.GetLegacyKinds(a, b);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    target = target;
    EXPECT_EQ(target.GetTractions().size(), 3u);
    target.SetIprMap(target.GetIprMap());
    EXPECT_EQ(target.GetIprMap().size(), 2u);
}

TEST(ClinicalInfo, HasContent)
{
    SchemeCase c;
    QvClinicalInfo info;
    EXPECT_FALSE(info.HasContent());
    QvIprMap one;
    one[1] = {QvIprEntry(c.Tooth(11), c.Tooth(21), 0, 0.2)};
    info.SetIprMap(one);
    EXPECT_FALSE(info.HasContent()); // a single step does not count
    one[3] = {};
    info.SetAdjustments(one);
    EXPECT_TRUE(info.HasContent());
    QvClinicalInfo remark;
    remark.SetRemark("x");
    EXPECT_TRUE(remark.HasContent());
}

TEST(ClinicalInfo, UnresolvedTeethDropTheirEntries)
{
    SchemeCase c;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) {
        qvio::WriteI32(os, 1); // one step
        qvio::WriteI32(os, 3);
        qvio::WriteI32(os, 3); // three entries
        for (const auto& [a, b] : {std::pair{11, 21}, std::pair{11, 77}, std::pair{55, 31}})
        {
            qvio::WriteI32(os, a);
            qvio::WriteI32(os, b);
            qvio::WriteI32(os, 0);
            qvio::WriteF64(os, 0.4);
        }
        qvio::WriteI32(os, 0); // no adjustments
        qvio::WriteI32(os, 0); // no tractions
        qvio::WriteString(os, "");
    });
    QvClinicalInfo info;
    std::istringstream is(bytes);
    ASSERT_TRUE(info.Read(is, 1043, &c.model));
    ASSERT_EQ(info.GetIprMap().at(3).size(), 1u);
    EXPECT_EQ(info.GetIprMap().at(3)[0].GetKey(), "11-21");
}

TEST(ClinicalInfo, DamagedRecordsLeaveTheRecordUnchanged)
{
    SchemeCase c;
    const QvClinicalInfo info = FullRecord(c);
    for (const int version : {8197, 8198})
    {
        const std::string bytes = WriteRecord(info, version);
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& is) {
            QvClinicalInfo back;
            back.SetRemark("before");
            const bool ok = back.Read(is, version, &c.model);
            if (!ok)
            {
                EXPECT_EQ(back.GetRemark(), "before");
            }
            return ok;
        });
    }

    // The single entries of both kinds.
    const QvIprEntry entry(c.Tooth(11), c.Tooth(21), 3, 0.2);
    qvtest::ExpectReaderSurvivesDamage(qvtest::BytesOf([&](std::ostream& os) { entry.Write(os, 8199); }),
                                       [&](std::istream& is) {
                                           QvIprEntry back;
                                           return back.Read(is, 8199, &c.model);
                                       });
    const QvTractionEntry traction = Traction(3, 13, 43, false, true, 2, 8);
    const std::string tractionBytes = qvtest::BytesOf([&](std::ostream& os) { traction.Write(os); });
    EXPECT_EQ(tractionBytes.size(), 22u);
    qvtest::ExpectReaderSurvivesDamage(tractionBytes, [&](std::istream& is) {
        QvTractionEntry back;
        const bool ok = back.Read(is);
        if (!ok)
        {
            EXPECT_EQ(back.m_nFdi1, 0);
        }
        return ok;
    });

    // A negative text length and a traction count beyond the bytes left.
    std::array<std::string, 13> texts;
    std::string bad = OldFormBytes(texts);
    const std::int32_t negative = -5;
    std::memcpy(bad.data() + 8 + 4 * 8, &negative, 4);
    QvClinicalInfo back;
    std::istringstream is(bad);
    EXPECT_FALSE(back.Read(is, 8197, &c.model));
    const std::string many = qvtest::BytesOf([](std::ostream& os) {
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, 1 << 30);
    });
    std::istringstream m(many);
    EXPECT_FALSE(back.Read(m, 8199, &c.model));

    // A remark holding a zero byte ends there on both sides.
    QvClinicalInfo zero;
    zero.SetRemark(std::string("ab\0cd", 5));
    QvClinicalInfo read;
    std::istringstream z(WriteRecord(zero, 1042));
    ASSERT_TRUE(read.Read(z, 1042, &c.model));
    EXPECT_EQ(read.GetRemark(), "ab");
}

} // namespace
