// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <sstream>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoCutInstruction.h"
#include "core/design/QvAttachGeoPressureSpot.h"
#include "core/design/QvAttachGeoPressureZone.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/tests/AttachFixtures.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvStreamIO.h"
#include "testing/ByteSweep.h"

namespace {

using Maker = std::function<std::unique_ptr<QvAttachGeo>()>;

template <typename T>
Maker Make()
{
    return [] { return std::make_unique<T>(); };
}

struct ClassRow
{
    const char* cls;
    Maker make;
    QvTypeCode type;
    int kind;
    const char* className;
    bool owned;
};

const ClassRow kClasses[] = {
    {"QvAttachGeo", Make<QvAttachGeo>(), 0x10000000, 0, "QvAttachGeo", false},
    {"QvAttachGeoStd", Make<QvAttachGeoStd>(), 0x10000000, 0x10000001, "QvAttachGeoStd", false},
    {"QvAttachGeoStdCZ", Make<QvAttachGeoStdCZ>(), 0x10000004, 0x10000001, "QvAttachGeoStdCZ", false},
    {"QvAttachGeoStdSP", Make<QvAttachGeoStdSP>(), 0x10000008, 0x10000001, "QvAttachGeoStdSP", false},
    {"QvAttachGeoStdSJ", Make<QvAttachGeoStdSJ>(), 0x10000010, 0x10000001, "QvAttachGeoStdSJ", false},
    {"QvAttachGeoStdSD", Make<QvAttachGeoStdSD>(), 0x10000020, 0x10000001, "QvAttachGeoStdSD", false},
    {"QvAttachGeoStdPD", Make<QvAttachGeoStdPD>(), 0x10000040, 0x10000001, "QvAttachGeoStdPD", false},
    {"QvAttachGeoStdNZ", Make<QvAttachGeoStdNZ>(), 0x10000080, 0x10000001, "QvAttachGeoStdNZ", false},
    {"QvAttachGeoStdPower", Make<QvAttachGeoStdPower>(), 0x10000004, 0x10000080, "QvAttachGeoStdPower", false},
    {"QvAttachGeoLowerDev", Make<QvAttachGeoLowerDev>(), 0x10000800, 0x10000040, "QvAttachGeoStd", false},
    {"QvAttachGeoTowingHook", Make<QvAttachGeoTowingHook>(), 0x10002000, 0x10000010, "QvAttachGeoStd", false},
    {"QvAttachGeoLingualButton", Make<QvAttachGeoLingualButton>(), 0x10002000, 0x10000008, "QvAttachGeoStd",
     false},
    {"QvAttachGeoPressureSpot", Make<QvAttachGeoPressureSpot>(), 0x10000100, 0x10000004, "QvAttachGeo", true},
    {"QvAttachGeoPressureZone", Make<QvAttachGeoPressureZone>(), 0x10000200, 0x10000002, "QvAttachGeo", true},
    {"QvAttachGeoCutInstruction", Make<QvAttachGeoCutInstruction>(), 0x10001000, 0x10000020, "QvAttachGeo", true},
};

TEST(AttachGeoClasses, CodesNamesAndOwnershipFollowTheTable)
{
    for (const ClassRow& row : kClasses)
    {
        SCOPED_TRACE(row.cls);
        std::unique_ptr<QvAttachGeo> geo = row.make();
        EXPECT_EQ(geo->GetType(), row.type);
        EXPECT_EQ(geo->GetKindCode(), row.kind);
        EXPECT_EQ(geo->GetClassName(), row.className);
        EXPECT_EQ(geo->IsOwnedByAttachment(), row.owned);
        EXPECT_EQ(geo->GetFixedValue(), 22);
        for (QvTypeCode code : {QvTypeCode(0x10000000), row.type, QvTypeCode(1), QvTypeCode(2), QvTypeCode(4)})
            EXPECT_TRUE(geo->IsKindOf(code)) << std::hex << code;
        // Codes of other attachment classes and of other scene objects are not bases.
        for (QvTypeCode code : {QvTypeCode(0x10000100), QvTypeCode(0x10000800), QvTypeCode(0x80),
                                QvTypeCode(0x20000001)})
            if (code != row.type)
            {
                EXPECT_FALSE(geo->IsKindOf(code)) << std::hex << code;
            }
        // A bit above 0x10000000 per kind.
        if (row.kind != 0)
        {
            const unsigned bits = static_cast<unsigned>(row.kind) & 0x0fffffffu;
            EXPECT_EQ(bits & (bits - 1), 0u);
        }
    }
}

TEST(AttachGeoClasses, NewValuesAndFrameAccessors)
{
    for (const ClassRow& row : kClasses)
    {
        SCOPED_TRACE(row.cls);
        std::unique_ptr<QvAttachGeo> geo = row.make();
        EXPECT_TRUE(geo->m_name.empty());
        EXPECT_EQ(geo->m_nValue1, 0);
        EXPECT_EQ(geo->m_nValue2, 0);
        EXPECT_TRUE(geo->m_values.empty());
        EXPECT_EQ(geo->GetSize(), 0.0);
        EXPECT_EQ(geo->GetFrame(), QvFrame());
        const QvFrame frame(QvPoint(1, 2, 3), QvVector(1, 0, 0), QvVector(0, 1, 0));
        geo->SetFrame(frame);
        geo->SetSize(4.0);
        geo->SetLabel("x");
        const bool std = dynamic_cast<QvAttachGeoStd*>(geo.get()) != nullptr;
        EXPECT_EQ(geo->GetFrame() == frame, std);
        EXPECT_EQ(geo->GetSize(), std ? 4.0 : 0.0);
        EXPECT_EQ(geo->GetLabel(), std ? "x" : "");
        // Fixed shapes build nothing and succeed; generated ones need a tooth.
        EXPECT_EQ(geo->BuildGeometry(nullptr, {}, nullptr), !row.owned);
    }
    QvAttachGeoStdPower power;
    EXPECT_EQ(power.m_dAngle, 0.0);
    EXPECT_EQ(power.m_dSecondValue, 0.5);
    EXPECT_EQ(power.m_dOffsetValue, 0.2);
    EXPECT_EQ(power.GetSecondMesh(), nullptr);
    EXPECT_FALSE(QvAttachGeoStdPD().TestPDFlag());
}

TEST(AttachGeoNames, CategoryAndNameCode)
{
    struct Row
    {
        const char* name;
        int category;
        bool nameCode;
    };
    const Row rows[] = {
        {"PD01", 2, false}, {"PD012", 0, true}, {"A", 1, true},    {"", 0, true},      {"C123", 1, true},
        {"CX", 3, true},    {"B12345", 2, false}, {"H9", 8, true}, {"I9", 0, true},    {"ABCD", 1, true},
        {"PDXY", 2, false}, {"G", 7, true},     {"a12", 0, true},  {"E0000", 5, true}, {"F", 6, true},
        {"D1", 4, true},
    };
    for (const Row& r : rows)
    {
        QvAttachGeoStd geo;
        geo.m_name = r.name;
        EXPECT_EQ(geo.GetCategory(), r.category) << '"' << r.name << '"';
        EXPECT_EQ(geo.TestNameCode(), r.nameCode) << '"' << r.name << '"';
    }

    struct DevRow
    {
        const char* name;
        bool code;
    };
    for (const DevRow& r : {DevRow{"AB1CD2X", true}, DevRow{"AB1CD2", true}, DevRow{"AB1CD", false},
                            DevRow{"AB1CD1", false}, DevRow{"", false}})
    {
        QvAttachGeoLowerDev dev;
        dev.m_name = r.name;
        EXPECT_EQ(dev.TestNameCode(), r.code) << r.name;
    }
}

TEST(AttachGeoNames, ContainsValue)
{
    QvAttachGeo geo;
    EXPECT_FALSE(geo.ContainsValue(0));
    geo.m_values = {5, -2};
    EXPECT_TRUE(geo.ContainsValue(-2));
    EXPECT_FALSE(geo.ContainsValue(0));
}

TEST(AttachGeoStd, AxesComeFromTheGivenFrameAndPlane)
{
    QvAttachGeoStd geo;
    const QvPlane plane(QvPoint(0, 0, 0), QvVector(0, 0, 1));
    const QvFrame frame(QvPoint(5, 5, 5), QvVector(0, 1, 0), QvVector(-1, 0, 1));
    // Z = X x Y = (1, 0, 1) / sqrt 2; reversed and projected into z = 0.
    QvVector inPlane;
    QvVector normal;
    geo.GetAxes(plane, frame, inPlane, normal);
    EXPECT_NEAR(inPlane[0], -1.0 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(inPlane[1], 0.0, 1e-12);
    EXPECT_NEAR(inPlane[2], 0.0, 1e-12);
    EXPECT_NEAR(normal[2], 1.0, 1e-12);
}

// ---- Stream forms ----------------------------------------------------------------------------

const int kVersions[] = {16385, 16386, 16387, 16388, 16389};

std::string Bytes(const QvAttachGeo& geo, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { geo.Write(os, version); });
}

void ExpectSameMesh(const QvMesh& a, const QvMesh& b)
{
    ASSERT_EQ(a.m_vertices.size(), b.m_vertices.size());
    ASSERT_EQ(a.m_faces.size(), b.m_faces.size());
    for (std::size_t i = 0; i < a.m_vertices.size(); ++i)
        EXPECT_EQ(a.m_vertices[i].m_point.Distance(b.m_vertices[i].m_point), 0.0);
}

TEST(AttachGeoStream, EveryClassRoundTripsEveryVersion)
{
    for (const ClassRow& row : kClasses)
        for (int version : kVersions)
        {
            SCOPED_TRACE(std::string(row.cls) + " " + std::to_string(version));
            std::unique_ptr<QvAttachGeo> source = row.make();
            qvdesigntest::Populate(*source, "CZ01");
            const std::string bytes = Bytes(*source, version);

            std::unique_ptr<QvAttachGeo> read = row.make();
            std::istringstream is(bytes, std::ios::binary);
            ASSERT_TRUE(read->Read(is, version, nullptr));
            EXPECT_EQ(is.peek(), std::char_traits<char>::eof()) << "form not consumed exactly";

            EXPECT_EQ(read->m_name, "CZ01");
            EXPECT_EQ(read->m_nValue1, 7);
            const bool rich = version >= 16386;
            EXPECT_EQ(read->m_nValue2, rich ? -9 : 0);
            EXPECT_EQ(read->m_values, rich ? std::vector<std::int32_t>({3, 1, 4}) : std::vector<std::int32_t>());
            EXPECT_EQ(read->m_text, rich ? "text" : "");
            if (dynamic_cast<QvAttachGeoStd*>(read.get()))
            {
                EXPECT_EQ(read->GetFrame(), source->GetFrame());
                EXPECT_EQ(read->GetSize(), 2.5);
                const bool labelled = version >= 16386 && version <= 16388;
                EXPECT_EQ(read->GetLabel(), labelled ? "label" : "");
            }
            if (auto* power = dynamic_cast<QvAttachGeoStdPower*>(read.get()))
            {
                EXPECT_EQ(power->m_dAngle, 30.0);
                EXPECT_EQ(power->m_dSecondValue, 0.75);
                EXPECT_EQ(power->m_dOffsetValue, 0.4);
                // Split on reading: one cube each.
                EXPECT_EQ(power->m_faces.size(), 12u);
                ASSERT_NE(power->GetSecondMesh(), nullptr);
                EXPECT_EQ(power->GetSecondMesh()->m_faces.size(), 12u);
            }
            else
            {
                ExpectSameMesh(*read, *source);
            }
            if (auto* zone = dynamic_cast<QvAttachGeoPressureZone*>(read.get()))
            {
                EXPECT_EQ(zone->m_nMaxVertexCount, 6);
            }
            if (auto* cut = dynamic_cast<QvAttachGeoCutInstruction*>(read.get()))
            {
                EXPECT_EQ(cut->m_nMaxVertexCount, 4);
            }
        }
}

TEST(AttachGeoStream, TruncatedOrDamagedFormsFailCleanly)
{
    for (const ClassRow& row : kClasses)
        for (int version : {16385, 16386, 16387, 16389})
        {
            SCOPED_TRACE(std::string(row.cls) + " " + std::to_string(version));
            std::unique_ptr<QvAttachGeo> source = row.make();
            qvdesigntest::Populate(*source, "CZ01");
            qvtest::ExpectReaderSurvivesDamage(
                Bytes(*source, version),
                [&](std::istream& is) { return row.make()->Read(is, version, nullptr); }, 60);
        }
}

TEST(AttachGeoStream, VersionsAboveTheLastHaveNoForm)
{
    for (const ClassRow& row : kClasses)
    {
        SCOPED_TRACE(row.cls);
        std::unique_ptr<QvAttachGeo> source = row.make();
        qvdesigntest::Populate(*source, "X");
        EXPECT_TRUE(Bytes(*source, 16390).empty());
        const std::string bytes = Bytes(*source, 16389);
        std::istringstream is(bytes, std::ios::binary);
        std::unique_ptr<QvAttachGeo> read = row.make();
        EXPECT_FALSE(read->Read(is, 16390, nullptr));
        EXPECT_EQ(is.tellg(), 0) << "nothing may be consumed";
    }
}

TEST(AttachGeoStream, StandardFormsHoldExactlyTheListedFields)
{
    QvAttachGeoStd geo;
    qvdesigntest::Populate(geo, "NAME5");
    const std::size_t meshBytes = qvtest::BytesOf([&](std::ostream& os) { geo.QvMesh::Write(os, 16387); }).size();
    // name, first and second value, list of 3, text
    const std::size_t base = meshBytes + (4 + 5) + 4 + 4 + (4 + 3 * 4) + (4 + 4);
    const std::size_t base1 = meshBytes + (4 + 5) + 4;
    const std::size_t frame = 96;
    const std::size_t label = 4 + 5;
    EXPECT_EQ(Bytes(geo, 16385).size(), base1 + frame + 16 + 8);
    EXPECT_EQ(Bytes(geo, 16386).size(), base + frame + 16 + 8 + label);
    EXPECT_EQ(Bytes(geo, 16387).size(), base + frame + 8 + label);
    EXPECT_EQ(Bytes(geo, 16388).size(), base + frame + 8 + label);
    EXPECT_EQ(Bytes(geo, 16389).size(), base + frame + 8);

    // The two unused doubles of the oldest forms are written as 0 and ignored when read.
    std::string bytes = Bytes(geo, 16386);
    const std::size_t unused = base + frame;
    double zero[2];
    std::memcpy(zero, bytes.data() + unused, 16);
    EXPECT_EQ(zero[0], 0.0);
    EXPECT_EQ(zero[1], 0.0);
    const double junk = 123.0;
    std::memcpy(bytes.data() + unused, &junk, 8);
    QvAttachGeoStd read;
    std::istringstream is(bytes, std::ios::binary);
    ASSERT_TRUE(read.Read(is, 16386, nullptr));
    EXPECT_EQ(read.GetSize(), 2.5);
}

TEST(AttachGeoStream, BadLengthsAndCountsAreRefused)
{
    QvAttachGeo geo;
    qvdesigntest::Populate(geo, "NAME");
    const std::string good = Bytes(geo, 16387);
    const std::size_t meshBytes = qvtest::BytesOf([&](std::ostream& os) { geo.QvMesh::Write(os, 16387); }).size();
    const std::size_t listCount = meshBytes + 4 + 4 + 4 + 4;

    struct Patch
    {
        const char* what;
        std::size_t at;
        std::int32_t value;
    };
    for (const Patch& p : {Patch{"negative name length", meshBytes, -1},
                           Patch{"name longer than the stream", meshBytes, 1 << 30},
                           Patch{"negative list count", listCount, -2},
                           Patch{"list count past the end", listCount, 1 << 28}})
    {
        std::string bytes = good;
        std::memcpy(bytes.data() + p.at, &p.value, 4);
        QvAttachGeo read;
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_FALSE(read.Read(is, 16387, nullptr)) << p.what;
        EXPECT_TRUE(read.m_name.empty()) << p.what;
    }

    // A stored name is taken up to its first zero byte.
    QvAttachGeo zeroed;
    qvdesigntest::Populate(zeroed, std::string("AB\0CD", 5));
    std::istringstream is(Bytes(zeroed, 16389), std::ios::binary);
    QvAttachGeo read;
    ASSERT_TRUE(read.Read(is, 16389, nullptr));
    EXPECT_EQ(read.m_name, "AB");
}

TEST(AttachGeoStream, ZoneAndCutInstructionFailWithTheirBasePart)
{
    // Specified as accepting any base part; a failed mesh must not make a template.
    for (const Maker& make : {Make<QvAttachGeoPressureZone>(), Make<QvAttachGeoCutInstruction>(),
                              Make<QvAttachGeoStdPower>()})
    {
        std::unique_ptr<QvAttachGeo> source = make();
        qvdesigntest::Populate(*source, "Z");
        std::string bytes = Bytes(*source, 16388);
        // Break the "Vertex@" count line of the mesh part.
        const std::size_t at = bytes.find("Vertex@");
        ASSERT_NE(at, std::string::npos);
        bytes[at + 7] = 'x';
        std::istringstream is(bytes, std::ios::binary);
        EXPECT_FALSE(make()->Read(is, 16388, nullptr)) << source->GetClassName();
    }
}

TEST(AttachGeoCopy, CopiesCarryEveryField)
{
    QvAttachGeoStdPower power;
    qvdesigntest::Populate(power, "PW01");
    power.SplitParts();
    ASSERT_NE(power.GetSecondMesh(), nullptr);
    const QvAttachGeoStdPower copy(power);
    EXPECT_EQ(copy.m_name, "PW01");
    EXPECT_EQ(copy.m_values, power.m_values);
    EXPECT_EQ(copy.GetFrame(), power.GetFrame());
    EXPECT_EQ(copy.GetLabel(), "label");
    EXPECT_EQ(copy.m_dOffsetValue, 0.4);
    EXPECT_EQ(copy.m_secondFrame, power.m_secondFrame);
    EXPECT_EQ(copy.GetID(), power.GetID());
    ASSERT_NE(copy.GetSecondMesh(), nullptr);
    EXPECT_NE(copy.GetSecondMesh(), power.GetSecondMesh());
    EXPECT_EQ(copy.GetSecondMesh()->m_faces.size(), 12u);

    QvAttachGeoCutInstruction cut;
    qvdesigntest::Populate(cut, "CUT");
    const QvAttachGeoCutInstruction cutCopy(cut);
    EXPECT_EQ(cutCopy.m_nMaxVertexCount, 4);
    EXPECT_EQ(cutCopy.m_faces.size(), cut.m_faces.size());
}

} // namespace
