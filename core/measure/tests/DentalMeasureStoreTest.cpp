// SPDX-License-Identifier: GPL-3.0-or-later
// The dental measure's records, copies, stream forms and the per-scheme store.
#include <gtest/gtest.h>

#include <sstream>

#include "core/measure/QvDentalMeasure.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"
#include "testing/ByteSweep.h"

namespace {

constexpr int kVersion = 8199;

QvOcclusalPlane MakePlane(double z)
{
    QvOcclusalPlane plane;
    plane.m_frame = QvFrame(QvPoint(1.0, 2.0, z), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    plane.m_dValue = 3.5;
    plane.m_keyPoints = {QvKeyPoint(QvPoint(0.1, 0.2, z), 4)};
    return plane;
}

QvArchForm MakeForm(bool upper)
{
    QvArchForm form;
    form.SetUpper(upper);
    std::unique_ptr<QvBSplineCurve> curve(QvBSplineCurve::Fit(
        {QvPoint(-20, 0, 0), QvPoint(-10, 15, 0), QvPoint(0, 20, 0), QvPoint(10, 15, 0), QvPoint(20, 0, 0)}, {},
        false, 1e-5));
    form.SetCurve(*curve);
    form.SetPoints({QvPoint(-20, 0, 0), QvPoint(20, 0, 0)});
    return form;
}

QvDentalMeasure TwoTeeth()
{
    QvDentalMeasure m(nullptr, 2);
    m.GetToothMeasure(11).SetCrownWidth(8.5);
    m.GetToothMeasure(21).SetTorque(-3.25);
    const double contacts[3] = {0.1, 0.2, 0.3};
    m.GetToothMeasure(21).SetContacts(contacts);
    m.m_name = "abc";
    return m;
}

QvDentalMeasure Full()
{
    QvDentalMeasure m = TwoTeeth();
    m.SetFirstOcclusalPlane(MakePlane(1.0));
    m.SetSecondOcclusalPlane(MakePlane(-1.0));
    m.SetFirstArchForm(MakeForm(true));
    m.SetSecondArchForm(MakeForm(false));
    return m;
}

void ExpectSameMembers(const QvDentalMeasure& a, const QvDentalMeasure& b)
{
    ASSERT_EQ(a.m_toothMeasures.size(), b.m_toothMeasures.size());
    for (const auto& [fdi, t] : a.m_toothMeasures)
    {
        const QvToothMeasure& u = b.m_toothMeasures.at(fdi);
        EXPECT_EQ(t.m_dCrownWidth, u.m_dCrownWidth);
        EXPECT_EQ(t.m_dTorque, u.m_dTorque);
        EXPECT_EQ(t.m_contacts, u.m_contacts);
    }
    EXPECT_EQ(a.m_name, b.m_name);
    for (auto [p, q] : {std::pair{a.m_pOcclusalPlane1, b.m_pOcclusalPlane1},
                        std::pair{a.m_pOcclusalPlane2, b.m_pOcclusalPlane2}})
    {
        ASSERT_EQ(p == nullptr, q == nullptr);
        if (p)
        {
            EXPECT_TRUE(*p == *q);
        }
    }
    for (auto [p, q] : {std::pair{a.m_pArchForm1, b.m_pArchForm1}, std::pair{a.m_pArchForm2, b.m_pArchForm2}})
    {
        ASSERT_EQ(p == nullptr, q == nullptr);
        if (p)
        {
            EXPECT_EQ(p->IsUpper(), q->IsUpper());
            EXPECT_EQ(p->GetPoints().size(), q->GetPoints().size());
            EXPECT_NEAR(p->GetCurve().Evaluate(0.3).Distance(q->GetCurve().Evaluate(0.3)), 0.0, 1e-12);
        }
    }
}

TEST(DentalMeasureRecord, CopiesOwnTheirPlanesAndKeepTheirOwnInitialFlag)
{
    auto* source = new QvDentalMeasure(Full());
    source->m_bInitial = true;
    source->SetMidline(0, QvMidlineDeviation{});
    QvDentalMeasure copy(*source);
    EXPECT_FALSE(copy.m_bInitial);
    EXPECT_NE(copy.m_pArchForm1, source->m_pArchForm1);
    QvDentalMeasure assigned;
    assigned.m_bInitial = true;
    assigned.SetFirstOcclusalPlane(MakePlane(9.0));
    assigned = *source;
    EXPECT_TRUE(assigned.m_bInitial);
    const QvDentalMeasure& self = assigned;
    assigned = self;
    delete source;
    const QvDentalMeasure reference = Full();
    ExpectSameMembers(reference, copy);
    ExpectSameMembers(reference, assigned);
    EXPECT_EQ(copy.GetMidlines().size(), 1u);

    // Reset empties the maps and keeps the planes for another run.
    copy.SetBoltonRatio(1, QvBoltonRatio{});
    copy.Reset();
    EXPECT_TRUE(copy.GetToothMeasures().empty());
    EXPECT_TRUE(copy.GetBoltonRatios().empty());
    EXPECT_TRUE(copy.GetMidlines().empty());
    EXPECT_NE(copy.m_pOcclusalPlane2, nullptr);
    EXPECT_EQ(copy.m_name, "abc");
}

TEST(DentalMeasureRecord, InsertCreatesDefaultsThenOverwrites)
{
    QvDentalMeasure m;
    const QvBoltonRatio fresh;
    EXPECT_EQ(fresh.m_dUpperSum, 1.0);
    EXPECT_EQ(fresh.m_dLowerSum, 0.0);
    QvBoltonRatio r;
    r.m_dUpperSum = 47.0;
    r.m_dLowerSum = 36.0;
    r.m_bOverall = false;
    m.SetBoltonRatio(0, r);
    r.m_dLowerSum = 35.0;
    m.SetBoltonRatio(0, r);
    ASSERT_EQ(m.GetBoltonRatios().size(), 1u);
    EXPECT_EQ(m.GetBoltonRatios().at(0).m_dLowerSum, 35.0);
    EXPECT_FALSE(m.GetBoltonRatios().at(0).m_bOverall);
}

TEST(DentalMeasureRecord, SpeeDepthClassification)
{
    struct Case
    {
        double depth;
        int status;
        int kind;
    };
    for (const Case c : {Case{-0.3, 2, 3}, Case{0.0, 1, 1}, Case{2.0, 1, 1}, Case{2.01, 2, 2}})
    {
        const QvSpeeCurve s(1, QvPoint(), QvPoint(), QvPoint(), QvPoint(), c.depth);
        EXPECT_EQ(s.m_nStatus, c.status) << c.depth;
        EXPECT_EQ(s.m_nKind, c.kind) << c.depth;
        EXPECT_FALSE(s.m_bRight);
    }
}

TEST(DentalMeasureFormat, GoldenBytesOfTwoTeethWithoutPlanes)
{
    const std::string bytes = qvtest::BytesOf([](std::ostream& os) { TwoTeeth().Write(os, kVersion); });
    ASSERT_EQ(bytes.size(), 284u);
    std::string expected;
    auto i32 = [&](std::int32_t v) { expected.append(reinterpret_cast<const char*>(&v), 4); };
    auto f64 = [&](double v) { expected.append(reinterpret_cast<const char*>(&v), 8); };
    i32(2);
    i32(11);
    for (double v : {0.0, 0.0, 8.5, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0})
        f64(v);
    i32(21);
    for (double v : {0.0, 0.0, 0.0, -3.25, 0.0, 0.0, 0.0, 0.0, 0.0, 0.1, 0.2, 0.3})
        f64(v);
    std::string name(64, '\0');
    name.replace(0, 3, "abc");
    expected += name;
    for (int k = 0; k < 4; ++k)
        i32(0);
    EXPECT_EQ(bytes, expected);

    // Absent members stay as the reader had them.
    QvDentalMeasure read;
    read.SetFirstArchForm(MakeForm(true));
    std::istringstream is(bytes);
    ASSERT_TRUE(read.Read(is, kVersion));
    EXPECT_NE(read.m_pArchForm1, nullptr);
    EXPECT_EQ(read.m_name, "abc");
    EXPECT_EQ(read.GetToothMeasures().at(21).m_contacts[2], 0.3);
}

TEST(DentalMeasureFormat, BothFormsRoundTripAndSurviveDamage)
{
    const QvDentalMeasure full = Full();
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { full.Write(os, kVersion); });
    QvDentalMeasure read;
    std::istringstream is(bytes);
    ASSERT_TRUE(read.Read(is, kVersion));
    ExpectSameMembers(full, read);
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& s) {
        QvDentalMeasure m;
        return m.Read(s, kVersion);
    });

    const std::string shortForm = qvtest::BytesOf([&](std::ostream& os) { full.WritePlanesAndArchForms(os, kVersion); });
    QvDentalMeasure planes;
    std::istringstream ss(shortForm);
    ASSERT_TRUE(planes.ReadPlanesAndArchForms(ss, kVersion));
    ASSERT_NE(planes.m_pArchForm2, nullptr);
    EXPECT_FALSE(planes.m_pArchForm2->IsUpper());
    EXPECT_TRUE(*planes.m_pOcclusalPlane1 == *full.m_pOcclusalPlane1);
    qvtest::ExpectReaderSurvivesDamage(shortForm, [](std::istream& s) {
        QvDentalMeasure m;
        return m.ReadPlanesAndArchForms(s, kVersion);
    });

    // A measure lacking a member cannot be written in the short form.
    std::ostringstream os;
    TwoTeeth().WritePlanesAndArchForms(os, kVersion);
    EXPECT_FALSE(os);
    EXPECT_TRUE(os.str().empty());
}

TEST(DentalMeasureFormat, DuplicateToothAndFailedMemberStopTheRead)
{
    std::string bytes = qvtest::BytesOf([](std::ostream& os) { TwoTeeth().Write(os, kVersion); });
    // Second entry renamed to 11.
    const std::int32_t eleven = 11;
    bytes.replace(104, 4, reinterpret_cast<const char*>(&eleven), 4);
    QvDentalMeasure m;
    std::istringstream is(bytes);
    EXPECT_FALSE(m.Read(is, kVersion));
    EXPECT_EQ(m.GetToothMeasures().size(), 1u);

    // A negative count reads no entries and goes on with the name.
    std::string none = qvtest::BytesOf([](std::ostream& os) { QvDentalMeasure().Write(os, kVersion); });
    const std::int32_t negative = -5;
    none.replace(0, 4, reinterpret_cast<const char*>(&negative), 4);
    std::istringstream ns(none);
    QvDentalMeasure n;
    EXPECT_TRUE(n.Read(ns, kVersion));
}

TEST(DentalMeasureFormat, NamesAreCutToSixtyThreeBytesAtACharacterBoundary)
{
    struct Case
    {
        std::string name;
        std::size_t kept;
    };
    const std::string twoByte = "\xD6\xD0";          // one GB18030 character of two bytes
    const std::string fourByte = "\x81\x30\x81\x30"; // one of four bytes
    const Case cases[] = {
        {std::string(63, 'a'), 63},
        {std::string(70, 'a'), 63},
        {std::string(62, 'a') + twoByte, 62},
        {std::string(61, 'a') + twoByte, 63},
        {std::string(60, 'a') + fourByte, 60},
        {std::string(59, 'a') + fourByte + "b", 63},
    };
    for (const Case& c : cases)
    {
        QvDentalMeasure m;
        m.m_name = c.name;
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { m.Write(os, kVersion); });
        EXPECT_EQ(bytes[4 + 63], '\0');
        QvDentalMeasure read;
        std::istringstream is(bytes);
        ASSERT_TRUE(read.Read(is, kVersion));
        EXPECT_EQ(read.m_name, c.name.substr(0, c.kept));
    }
}

TEST(DentalMeasureStore, OwnsOneMeasurePerStep)
{
    QvDentalMeasureMgr store;
    EXPECT_EQ(store.GetMeasure(0), nullptr);
    EXPECT_FALSE(store.RemoveMeasure(0));
    store.SetMeasure(0, new QvDentalMeasure(nullptr, 0));
    auto* second = new QvDentalMeasure(nullptr, 0);
    store.SetMeasure(0, second); // the first is deleted (ASan reports a leak otherwise)
    store.SetMeasure(0, second); // storing the stored one changes nothing
    EXPECT_EQ(store.GetMeasure(0), second);
    store.SetMeasure(4, new QvDentalMeasure(nullptr, 4));
    EXPECT_TRUE(store.RemoveMeasure(4));
    EXPECT_EQ(store.GetMeasures().size(), 1u);
}

TEST(DentalMeasureStore, StreamsRoundTripAndStopAtADuplicateStep)
{
    QvDentalMeasureMgr store;
    store.SetMeasure(1, new QvDentalMeasure(Full()));
    store.SetMeasure(3, new QvDentalMeasure(Full()));
    for (const bool full : {true, false})
    {
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) {
            full ? store.Write(os, kVersion) : store.WritePlanesAndArchForms(os, kVersion);
        });
        auto read = [&](std::istream& is, QvDentalMeasureMgr& into) {
            return full ? into.Read(is, kVersion, nullptr) : into.ReadPlanesAndArchForms(is, kVersion, nullptr);
        };
        QvDentalMeasureMgr back;
        back.SetMeasure(7, new QvDentalMeasure());
        std::istringstream is(bytes);
        ASSERT_TRUE(read(is, back));
        ASSERT_EQ(back.GetMeasures().size(), 2u);
        EXPECT_EQ(back.GetMeasure(3)->m_nStep, 3);
        if (full)
        {
            ExpectSameMembers(*store.GetMeasure(3), *back.GetMeasure(3));
        }
        qvtest::ExpectReaderSurvivesDamage(bytes, [&](std::istream& s) {
            QvDentalMeasureMgr m;
            return read(s, m);
        }, 200);

        // Step 1 renamed to 3: the second entry fails and the first stays.
        std::string duplicate = bytes;
        const std::int32_t three = 3;
        duplicate.replace(4, 4, reinterpret_cast<const char*>(&three), 4);
        std::istringstream ds(duplicate);
        QvDentalMeasureMgr dup;
        EXPECT_FALSE(read(ds, dup));
        EXPECT_EQ(dup.GetMeasures().size(), 1u);
    }
    const std::int32_t zero = 0;
    std::istringstream empty(std::string(reinterpret_cast<const char*>(&zero), 4));
    EXPECT_TRUE(store.Read(empty, kVersion, nullptr));
    EXPECT_TRUE(store.GetMeasures().empty());
}

TEST(DentalMeasureStore, SchemeKeepsItsStoreThroughClearButNotIntoCopies)
{
    QvScheme scheme;
    QvDentalMeasureMgr& store = QvGetDentalMeasureMgr(scheme);
    EXPECT_EQ(&store, &QvGetDentalMeasureMgr(scheme));
    store.SetMeasure(0, new QvDentalMeasure(nullptr, 0));
    scheme.Clear(false);
    EXPECT_EQ(&store, &QvGetDentalMeasureMgr(scheme));
    EXPECT_NE(store.GetMeasure(0), nullptr);
    QvScheme copy;
    copy.CopyFrom(scheme, false);
    EXPECT_EQ(copy.GetMeasureStore(), nullptr);
}

} // namespace
