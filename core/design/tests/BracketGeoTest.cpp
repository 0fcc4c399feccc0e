// SPDX-License-Identifier: GPL-3.0-or-later
// Bracket bodies and series: record forms, BKT files through the file layer, STL import.
#include <cstring>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "core/design/QvBracketGeo.h"
#include "core/design/tests/BracketTestSupport.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/tests/ScratchFolder.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

constexpr int kVersion = kQvBracketVersion1;

void ExpectSameMesh(const QvMesh& a, const QvMesh& b)
{
    ASSERT_EQ(a.m_vertices.size(), b.m_vertices.size());
    ASSERT_EQ(a.m_faces.size(), b.m_faces.size());
    for (std::size_t i = 0; i < a.m_vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a.m_vertices[i].m_point[k], b.m_vertices[i].m_point[k]);
    for (std::size_t i = 0; i < a.m_faces.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(a.m_faces[i].m_vertices[k], b.m_faces[i].m_vertices[k]);
}

void ExpectSameBody(const QvBracketGeo& a, const QvBracketGeo& b)
{
    ExpectSameMesh(a, b);
    EXPECT_EQ(a.m_name, b.m_name);
    EXPECT_EQ(a.m_secondText, b.m_secondText);
    EXPECT_EQ(a.m_nNumber, b.m_nNumber);
    EXPECT_EQ(a.m_nFdi, b.m_nFdi);
    for (int k = 0; k < 3; ++k)
    {
        EXPECT_EQ(a.m_frame.m_centre[k], b.m_frame.m_centre[k]);
        EXPECT_EQ(a.m_frame.m_dirX[k], b.m_frame.m_dirX[k]);
        EXPECT_EQ(a.m_frame.m_dirY[k], b.m_frame.m_dirY[k]);
        EXPECT_EQ(a.m_frame.m_dirZ[k], b.m_frame.m_dirZ[k]);
        EXPECT_EQ(a.m_firstVector[k], b.m_firstVector[k]);
        EXPECT_EQ(a.m_secondVector[k], b.m_secondVector[k]);
    }
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(a.m_params[k], b.m_params[k]);
    ASSERT_EQ(a.m_pSecondMesh != nullptr, b.m_pSecondMesh != nullptr);
    if (a.m_pSecondMesh)
        ExpectSameMesh(*a.m_pSecondMesh, *b.m_pSecondMesh);
}

std::string BodyBytes(const QvBracketGeo& body)
{
    return qvtest::BytesOf([&](std::ostream& os) { body.Write(os, kVersion); });
}

std::string SeriesBytes(const QvBracketGeoSeries& series)
{
    return qvtest::BytesOf([&](std::ostream& os) { series.Write(os, kVersion); });
}

} // namespace

TEST(BracketGeo, TypeCodesAnswerBracketAndMeshButNotTooth)
{
    QvBracketGeo body;
    EXPECT_EQ(body.GetType(), 0x20000001u);
    for (const QvTypeCode code : {0x20000001u, 4u, 1u, 2u})
        EXPECT_TRUE(body.IsKindOf(code)) << code;
    for (const QvTypeCode code : {0x80u, 0x10000000u, 0x40000080u})
        EXPECT_FALSE(body.IsKindOf(code)) << code;
    EXPECT_EQ(body.m_nNumber, 0);
    EXPECT_TRUE(body.m_name.empty());
    EXPECT_EQ(body.m_pSecondMesh, nullptr);
}

TEST(BracketGeo, RecordRoundTripKeepsEveryField)
{
    const auto body = qvtest::MakeBody("U11-ROTH", 11, 1.5);
    const std::string bytes = BodyBytes(*body);

    std::istringstream is(bytes);
    QvBracketGeo back;
    ASSERT_TRUE(back.Read(is, kVersion, nullptr));
    EXPECT_EQ(is.tellg(), static_cast<std::streamoff>(bytes.size())) << "the record is consumed exactly";
    ExpectSameBody(*body, back);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(back));
    // Writing what was read gives the same bytes.
    EXPECT_EQ(BodyBytes(back), bytes);
}

TEST(BracketGeo, BodyWithoutSecondMeshWritesAReadableEmptyOne)
{
    auto body = qvtest::MakeBody("L31", 31);
    body->m_pSecondMesh.reset();
    std::istringstream is(BodyBytes(*body));
    QvBracketGeo back;
    ASSERT_TRUE(back.Read(is, kVersion, nullptr));
    ASSERT_NE(back.m_pSecondMesh, nullptr);
    EXPECT_TRUE(back.m_pSecondMesh->m_vertices.empty());
    EXPECT_TRUE(back.m_pSecondMesh->m_faces.empty());
    EXPECT_EQ(back.m_name, "L31");
}

TEST(BracketGeo, FailedReadLeavesTheBodyAsItWas)
{
    const auto source = qvtest::MakeBody("NEW", 21, 2.0);
    std::string bytes = BodyBytes(*source);
    bytes.resize(bytes.size() - 3); // cut inside the second mesh

    auto body = qvtest::MakeBody("OLD", 11, 1.0);
    const auto copy = qvtest::MakeBody("OLD", 11, 1.0);
    std::istringstream is(bytes);
    EXPECT_FALSE(body->Read(is, kVersion, nullptr));
    ExpectSameBody(*copy, *body);
}

TEST(BracketGeo, TruncatedOrDamagedRecordsFailCleanly)
{
    const auto body = qvtest::MakeBody("U12", 12);
    qvtest::ExpectReaderSurvivesDamage(BodyBytes(*body), [](std::istream& is) {
        QvBracketGeo b;
        return b.Read(is, kVersion, nullptr);
    });
}

TEST(BracketText, StoredTextsAreTakenUpToTheirFirstZeroByte)
{
    struct Case
    {
        std::string stored; // count and bytes as written
        bool ok;
        std::string text;
    };
    auto counted = [](std::int32_t n, const std::string& bytes) {
        return qvtest::BytesOf([&](std::ostream& os) {
            qvio::WriteI32(os, n);
            os.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        });
    };
    const Case cases[] = {
        {counted(5, std::string("AB\0\0\0", 5)), true, "AB"},
        {counted(0, ""), true, ""},
        {counted(3, "XYZ"), true, "XYZ"},
        {counted(3, std::string("\0YZ", 3)), true, ""},
        {counted(-1, "XYZ"), false, "unchanged"},
        {counted(4, "XYZ"), false, "unchanged"},
        {counted(0x7fffffff, "XYZ"), false, "unchanged"},
    };
    for (const Case& c : cases)
    {
        std::istringstream is(c.stored);
        std::string text = "unchanged";
        EXPECT_EQ(qvbracket::ReadText(is, text), c.ok) << c.text;
        EXPECT_EQ(text, c.text);
    }
}

TEST(BracketSeries, RoundTripKeepsHeaderFieldsAndBodiesInOrder)
{
    const auto series = qvtest::MakeSeries("ROTH22", {11, 12, 41});
    const std::string bytes = SeriesBytes(*series);
    std::istringstream is(bytes);
    QvBracketGeoSeries back;
    ASSERT_TRUE(back.Read(is, kVersion, nullptr));
    EXPECT_EQ(back.m_name, "ROTH22");
    EXPECT_EQ(back.m_nKey, 3);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(back.m_attributes[i], series->m_attributes[i]);
    ASSERT_EQ(back.m_bodies.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        ExpectSameBody(*series->m_bodies[i], *back.m_bodies[i]);
    EXPECT_EQ(SeriesBytes(back), bytes);
}

TEST(BracketSeries, CountZeroGivesAnEmptyButNamedSeries)
{
    const auto series = qvtest::MakeSeries("EMPTY", {}, 9);
    std::istringstream is(SeriesBytes(*series));
    QvBracketGeoSeries back;
    ASSERT_TRUE(back.Read(is, kVersion, nullptr));
    EXPECT_EQ(back.m_name, "EMPTY");
    EXPECT_EQ(back.m_nKey, 9);
    EXPECT_EQ(back.m_attributes[7], "EMPTY-attr8");
    EXPECT_TRUE(back.m_bodies.empty());
}

TEST(BracketSeries, BadCountsAndBrokenBodiesAreRefused)
{
    // The body count sits after the name, the key and eight attribute texts.
    const auto series = qvtest::MakeSeries("S", {11, 12});
    const std::string bytes = SeriesBytes(*series);
    std::size_t countAt = 4 + 1 + 4;
    for (int i = 0; i < 8; ++i)
        countAt += 4 + series->m_attributes[i].size();
    auto withCount = [&](std::int32_t count) {
        std::string b = bytes;
        std::memcpy(b.data() + countAt, &count, 4);
        return b;
    };
    // The second body cut short: the series is not a series.
    const std::string secondBodyCut = bytes.substr(0, bytes.size() - 10);

    for (const std::string& damaged : {withCount(-1), withCount(3), withCount(1 << 30), secondBodyCut})
    {
        QvBracketGeoSeries back;
        back.m_name = "before";
        std::istringstream is(damaged);
        EXPECT_FALSE(back.Read(is, kVersion, nullptr));
        EXPECT_EQ(back.m_name, "before");
        EXPECT_TRUE(back.m_bodies.empty());
    }
    qvtest::ExpectReaderSurvivesDamage(bytes, [](std::istream& is) {
        QvBracketGeoSeries s;
        return s.Read(is, kVersion, nullptr);
    });
}

TEST(BracketSeries, ListConstructorTakesOwnershipOnce)
{
    auto* a = new QvBracketGeo;
    auto* b = new QvBracketGeo;
    QvBracketGeoSeries series({a, nullptr, b, a});
    ASSERT_EQ(series.m_bodies.size(), 2u);
    EXPECT_EQ(series.m_bodies[0], a);
    EXPECT_EQ(series.m_bodies[1], b);
}

// ---- BKT files through the file layer ---------------------------------------------------

TEST(BracketFile, WrittenFileReadsBackWithHeaderVersion)
{
    QvEnsureBracketFileLink();
    qvtest::ScratchFolder folder;
    const auto series = qvtest::MakeSeries("MBT", {11, 21});
    QvReadWriteFile file(nullptr, 0);
    ASSERT_TRUE(file.WriteBKT(folder / "MBT.bkt", kVersion, series.get()));

    const std::string bytes = qvtest::ReadWholeFile(folder / "MBT.bkt");
    ASSERT_EQ(bytes.rfind("Rivela BKT File #V1.0(", 0), 0u) << bytes.substr(0, 40);

    std::unique_ptr<QvBracketGeoSeries> back(file.ReadBKT(folder / "MBT.bkt"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->m_name, "MBT");
    ASSERT_EQ(back->m_bodies.size(), 2u);
    ExpectSameBody(*series->m_bodies[1], *back->m_bodies[1]);
}

TEST(BracketFile, UnknownVersionMissingFileAndBrokenBodyGiveNoSeries)
{
    QvEnsureBracketFileLink();
    qvtest::ScratchFolder folder;
    const auto series = qvtest::MakeSeries("MBT", {11});
    const std::string body = SeriesBytes(*series);
    QvReadWriteFile file(nullptr, 0);

    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "v2.bkt", "Rivela BKT File #V2.0(B)@2024/1/1\n" + body));
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "noheader.bkt", body));
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "cut.bkt",
                                       QvMakeHeader(kQvFileBKT, kVersion) + "\n" + body.substr(0, body.size() / 2)));
    for (const char* name : {"v2.bkt", "noheader.bkt", "cut.bkt", "missing.bkt"})
        EXPECT_EQ(std::unique_ptr<QvBracketGeoSeries>(file.ReadBKT(folder / name)), nullptr) << name;
}

// ---- STL import ------------------------------------------------------------------------

TEST(BracketStl, BinaryOutputOfABodyReadsBackTriangleForTriangle)
{
    qvtest::ScratchFolder folder;
    QvMesh sphere = qvtest::MakeSphere(2, 3.0);
    ASSERT_TRUE(sphere.WriteSTL(folder / "body.stl"));
    EXPECT_EQ(qvtest::ReadWholeFile(folder / "body.stl").size(), 84 + 50 * sphere.m_faces.size());

    QvBracketGeo body;
    ASSERT_TRUE(body.LoadStl(folder / "body.stl"));
    EXPECT_EQ(body.m_faces.size(), sphere.m_faces.size());
    EXPECT_EQ(body.m_vertices.size(), sphere.m_vertices.size()) << "shared corners are welded again";
    EXPECT_TRUE(qvtest::MeshInvariantsHold(body));
    EXPECT_TRUE(qvtest::IsConsistentlyOriented(body));
    EXPECT_NEAR(body.m_bbox.m_maxPoint[0], 3.0, 1e-6);
}

TEST(BracketStl, SizeDecidesBetweenBinaryAndText)
{
    qvtest::ScratchFolder folder;
    QvMesh cube = qvtest::MakeCube(2.0);
    ASSERT_TRUE(cube.WriteSTL(folder / "cube.stl"));
    const std::string binary = qvtest::ReadWholeFile(folder / "cube.stl");

    struct Case
    {
        const char* what;
        std::string bytes;
        std::size_t faces;
    };
    const Case cases[] = {
        {"exactly 84 + 50 c bytes: binary", binary, 12},
        {"one byte longer: text, which holds no facet", binary + "x", 0},
        {"no facets at all", std::string(80, '\0') + std::string(4, '\0'), 0},
        {"shorter than a header: text", "solid x\n", 0},
    };
    for (const Case& c : cases)
    {
        ASSERT_TRUE(qvtest::WriteWholeFile(folder / "in.stl", c.bytes));
        QvBracketGeo body;
        ASSERT_TRUE(body.LoadStl(folder / "in.stl")) << c.what;
        EXPECT_EQ(body.m_faces.size(), c.faces) << c.what;
    }
}

TEST(BracketStl, TextFacetsOfSevenLinesEachAreRead)
{
    qvtest::ScratchFolder folder;
    const std::string text =
        "solid two\r\n"
        "  facet normal 0 0 1\r\n"
        "    outer loop\r\n"
        "      vertex 0 0 0\r\n"
        "      vertex 1.5e0 0 0\r\n"
        "      vertex 0 +1 0\r\n"
        "    endloop\r\n"
        "  endfacet\r\n"
        "  facet normal 0 0 1\n"
        "    outer loop\n"
        "vertex 1.5 0 0\n"
        "\tvertex 1.5 1 0\n"
        "vertex 0 1 0\n"
        "    endloop\n"
        "  endfacet\n"
        "endsolid two\n"
        "  facet normal 0 0 1\n"; // after the end: never read
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "two.stl", text));
    QvBracketGeo body;
    ASSERT_TRUE(body.LoadStl(folder / "two.stl"));
    EXPECT_EQ(body.m_faces.size(), 2u);
    EXPECT_EQ(body.m_vertices.size(), 4u);
    EXPECT_DOUBLE_EQ(body.m_bbox.m_maxPoint[0], 1.5);
}

TEST(BracketStl, CutOrMalformedTextFacetsLeaveTheBodyUnchanged)
{
    qvtest::ScratchFolder folder;
    const std::string head = "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n";
    const std::string cases[] = {
        head + "vertex 1 0 0\n",                  // third corner missing
        head + "vertex 1 0 0\nvertex 0 one 0\n",   // not a number
        head + "vertex 1 0\nvertex 0 1 0\n",       // two coordinates
        head + "vertex 1 0 0\nvortex 0 1 0\n",     // not a vertex line
    };
    for (const std::string& c : cases)
    {
        ASSERT_TRUE(qvtest::WriteWholeFile(folder / "bad.stl", c));
        QvBracketGeo body;
        body.CopyMeshData(qvtest::MakeCube());
        EXPECT_FALSE(body.LoadStl(folder / "bad.stl")) << c;
        EXPECT_EQ(body.m_faces.size(), 12u) << c;
    }
    QvBracketGeo body;
    EXPECT_FALSE(body.LoadStl(folder / "missing.stl"));
}

TEST(BracketStl, LoadingReplacesThePreviousMesh)
{
    qvtest::ScratchFolder folder;
    QvMesh strip = qvtest::MakeTwoTriangleStrip();
    ASSERT_TRUE(strip.WriteSTL(folder / "strip.stl"));
    QvBracketGeo body;
    body.CopyMeshData(qvtest::MakeCube());
    body.m_colors.assign(body.m_vertices.size(), QvColor());
    ASSERT_TRUE(body.LoadStl(folder / "strip.stl"));
    EXPECT_EQ(body.m_faces.size(), 2u);
    EXPECT_EQ(body.m_vertices.size(), 4u);
    EXPECT_TRUE(body.m_colors.empty());
    EXPECT_TRUE(qvtest::MeshInvariantsHold(body));
}
