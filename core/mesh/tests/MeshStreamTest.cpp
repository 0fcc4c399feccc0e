// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>

#include "core/base/QvLog.h"
#include "core/mesh/QvMesh.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

namespace fs = std::filesystem;

// Expected bytes, spelled out field by field independently of the writers.
struct Bytes
{
    std::string s;
    template <typename T>
    Bytes& put(T v)
    {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        s.append(b, sizeof(T));
        return *this;
    }
    Bytes& u32(std::uint32_t v) { return put(v); }
    Bytes& i32(std::int32_t v) { return put(v); }
    Bytes& u16(std::uint16_t v) { return put(v); }
    Bytes& i16(std::int16_t v) { return put(v); }
    Bytes& f64(double v) { return put(v); }
    Bytes& f32(float v) { return put(v); }
    Bytes& text(const std::string& t)
    {
        s += t;
        return *this;
    }
    Bytes& entity(std::uint32_t state, const QvPoint& lo, const QvPoint& hi, std::int32_t id)
    {
        u32(state);
        for (double c : lo.m_coord)
            f64(c);
        for (double c : hi.m_coord)
            f64(c);
        return i32(id);
    }
};

std::string TextForm(const QvMesh& mesh)
{
    return qvtest::BytesOf([&](std::ostream& os) { mesh.Write(os, 3); });
}
std::string CompactForm(const QvMesh& mesh)
{
    return qvtest::BytesOf([&](std::ostream& os) { mesh.WriteCompact(os, 3); });
}
std::string FloatForm(const QvMesh& mesh)
{
    return qvtest::BytesOf([&](std::ostream& os) { mesh.WriteFloatForm(os); });
}

bool ReadText(QvMesh& mesh, const std::string& bytes)
{
    std::istringstream is(bytes);
    return mesh.Read(is, 3, nullptr);
}
bool ReadCompact(QvMesh& mesh, const std::string& bytes)
{
    std::istringstream is(bytes);
    return mesh.ReadCompact(is, 3, nullptr);
}

std::string FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The two-triangle strip with a fixed identity and tags 0 and 4.
QvMesh HandFixture()
{
    QvMesh mesh = qvtest::MakeTwoTriangleStrip();
    mesh.SetID(321);
    mesh.m_bbox = QvBBox(QvPoint(0, 0, 0), QvPoint(1, 1, 0));
    mesh.m_faces[1].m_tag = 4;
    return mesh;
}

const QvPoint kStripPoints[4] = {QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0), QvPoint(1, 1, 0)};
const int kStripFaces[2][3] = {{0, 1, 2}, {2, 1, 3}};

TEST(MeshStream, TextFormByteExact)
{
    Bytes b;
    b.entity(0x11, QvPoint(0, 0, 0), QvPoint(1, 1, 0), 321).text("Vertex@4\n");
    for (int i = 0; i < 4; ++i)
        b.u32(0x11).i32(i).f64(kStripPoints[i][0]).f64(kStripPoints[i][1]).f64(kStripPoints[i][2]);
    b.text("Face@2\n");
    for (int f = 0; f < 2; ++f)
        b.u32(0x11).i32(kStripFaces[f][0]).i32(kStripFaces[f][1]).i32(kStripFaces[f][2]).i32(f).i32(f == 1 ? 4 : 0);
    EXPECT_EQ(TextForm(HandFixture()), b.s);
}

TEST(MeshStream, CompactFormByteExact)
{
    Bytes b;
    b.entity(0x11, QvPoint(0, 0, 0), QvPoint(1, 1, 0), 321).i32(4);
    for (int i = 0; i < 4; ++i)
        b.u16(static_cast<std::uint16_t>(i)).f64(kStripPoints[i][0]).f64(kStripPoints[i][1]).f64(kStripPoints[i][2]);
    b.i32(2);
    for (int f = 0; f < 2; ++f)
        b.u16(static_cast<std::uint16_t>(f))
            .u16(static_cast<std::uint16_t>(kStripFaces[f][0]))
            .u16(static_cast<std::uint16_t>(kStripFaces[f][1]))
            .u16(static_cast<std::uint16_t>(kStripFaces[f][2]))
            .i16(f == 1 ? 4 : 0);
    EXPECT_EQ(CompactForm(HandFixture()), b.s);
}

TEST(MeshStream, FloatFormByteExact)
{
    Bytes b;
    for (double c : {0.0, 0.0, 0.0, 1.0, 1.0, 0.0})
        b.f64(c);
    b.i32(4);
    for (const QvPoint& p : kStripPoints)
        b.f32(static_cast<float>(p[0])).f32(static_cast<float>(p[1])).f32(static_cast<float>(p[2]));
    b.i32(2);
    for (const auto& f : kStripFaces)
        b.u16(static_cast<std::uint16_t>(f[0])).u16(static_cast<std::uint16_t>(f[1])).u16(static_cast<std::uint16_t>(f[2]));
    EXPECT_EQ(FloatForm(HandFixture()), b.s);
}

class MeshStl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("rivela_mesh_stl_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::size_t EntryCount() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }
    fs::path m_dir;
};

TEST_F(MeshStl, ByteExact)
{
    Bytes b;
    // Stored normals are written as they are, not recomputed.
    const QvVector normals[2] = {QvVector(0, 0, 1), QvVector(0.6, 0, 0.8)};
    b.text(std::string(80, '\0')).u32(2);
    for (int i = 0; i < 2; ++i)
    {
        const auto& f = kStripFaces[i];
        b.f32(static_cast<float>(normals[i][0])).f32(0).f32(static_cast<float>(normals[i][2]));
        for (int c : f)
            b.f32(static_cast<float>(kStripPoints[c][0])).f32(static_cast<float>(kStripPoints[c][1])).f32(0);
        b.u16(0);
    }
    const fs::path path = m_dir / "strip.stl";
    QvMesh mesh = HandFixture();
    mesh.m_faces[0].SetNormal(normals[0], false);
    mesh.m_faces[1].SetNormal(normals[1], false);
    ASSERT_TRUE(mesh.WriteSTL(path.string()));
    EXPECT_EQ(FileBytes(path), b.s);
    EXPECT_EQ(EntryCount(), 1u); // no temporary left behind
}

TEST_F(MeshStl, SizeFollowsFaceCountAndReplacesOldFile)
{
    const fs::path path = m_dir / "mesh.stl";
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(5000, 'x');
    }
    for (const QvMesh& mesh : {QvMesh(), qvtest::MakeSphere(2), qvtest::MakeCube()})
    {
        ASSERT_TRUE(mesh.WriteSTL(path.string()));
        EXPECT_EQ(fs::file_size(path), 84 + 50 * mesh.m_faces.size());
    }
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(MeshStl, FailuresAreReportedAndLoseNothing)
{
    const QvMesh mesh = qvtest::MakeCube();
    EXPECT_FALSE(mesh.WriteSTL((m_dir / "missing" / "x.stl").string()));
    EXPECT_FALSE(fs::exists(m_dir / "missing"));
    // A directory in the way: the rename fails, the directory and its content stay.
    const fs::path blocked = m_dir / "blocked";
    fs::create_directories(blocked / "inner");
    EXPECT_FALSE(mesh.WriteSTL(blocked.string()));
    EXPECT_TRUE(fs::is_directory(blocked / "inner"));
    EXPECT_EQ(EntryCount(), 1u);
}

// ---- Round trips --------------------------------------------------------------------

void ExpectSameMesh(const QvMesh& read, const QvMesh& original, bool statesKept)
{
    ASSERT_EQ(read.m_vertices.size(), original.m_vertices.size());
    ASSERT_EQ(read.m_faces.size(), original.m_faces.size());
    for (std::size_t i = 0; i < read.m_vertices.size(); ++i)
    {
        const QvVertex& a = read.m_vertices[i];
        const QvVertex& b = original.m_vertices[i];
        ASSERT_EQ(a.m_index, static_cast<int>(i));
        ASSERT_TRUE(std::memcmp(a.m_point.m_coord, b.m_point.m_coord, sizeof(a.m_point.m_coord)) == 0) << i;
        if (statesKept)
            ASSERT_EQ(a.m_state, b.m_state);
        else
            ASSERT_EQ(a.m_state, 0x11u);
        ASSERT_EQ(a.m_edges, b.m_edges) << i; // edges rebuilt in the same order
    }
    for (std::size_t f = 0; f < read.m_faces.size(); ++f)
    {
        const QvFace& a = read.m_faces[f];
        const QvFace& b = original.m_faces[f];
        ASSERT_TRUE(std::equal(a.m_vertices, a.m_vertices + 3, b.m_vertices)) << f;
        ASSERT_TRUE(std::equal(a.m_edges, a.m_edges + 3, b.m_edges)) << f;
        ASSERT_EQ(a.m_tag, b.m_tag) << f;
        ASSERT_EQ(a.m_normal, b.m_normal) << f;
    }
    ASSERT_EQ(read.m_edges.size(), original.m_edges.size());
    EXPECT_EQ(read.GetID(), original.GetID());
    EXPECT_EQ(read.m_state, original.m_state);
    EXPECT_TRUE(qvtest::MeshInvariantsHold(read));
}

struct Width
{
    const char* name;
    int nx, ny, isolated;
    bool wideVertices, wideFaces;
};

class MeshStreamWidths : public ::testing::TestWithParam<Width>
{
};

TEST_P(MeshStreamWidths, EveryFormRoundTrips)
{
    const Width w = GetParam();
    QvMesh mesh = qvtest::MakeGridWithIsolated(w.nx, w.ny, w.isolated);
    mesh.SetID(77);
    mesh.m_state = 0x1013;
    for (QvFace& f : mesh.m_faces)
        f.m_tag = f.m_index % 7 - 1; // -1 .. 5, 16-bit signed in the compact form
    for (QvVertex& v : mesh.m_vertices)
        v.m_state = 0x11 | (v.m_index % 2 ? 0x2u : 0u);
    const std::size_t nv = mesh.m_vertices.size(), nf = mesh.m_faces.size();
    ASSERT_EQ(nv > 65535, w.wideVertices);
    ASSERT_EQ(nf > 65535, w.wideFaces);

    const std::string text = TextForm(mesh);
    const std::string vertexLine = "Vertex@" + std::to_string(nv) + "\n";
    const std::string faceLine = "Face@" + std::to_string(nf) + "\n";
    EXPECT_EQ(text.size(), 56 + vertexLine.size() + 32 * nv + faceLine.size() + 24 * nf);
    QvMesh fromText;
    ASSERT_TRUE(ReadText(fromText, text));
    ExpectSameMesh(fromText, mesh, true);

    const std::string compact = CompactForm(mesh);
    const std::size_t vi = w.wideVertices ? 4 : 2, fi = w.wideFaces ? 4 : 2;
    EXPECT_EQ(compact.size(), 56 + 4 + (vi + 24) * nv + 4 + (fi + 3 * vi + 2) * nf);
    QvMesh fromCompact;
    ASSERT_TRUE(ReadCompact(fromCompact, compact));
    ExpectSameMesh(fromCompact, mesh, false);

    // The float form has no reader in the product: decode it here.
    const std::string floats = FloatForm(mesh);
    ASSERT_EQ(floats.size(), 48 + 4 + 12 * nv + 4 + 3 * vi * nf);
    const char* p = floats.data() + 48;
    std::int32_t count = 0;
    std::memcpy(&count, p, 4);
    EXPECT_EQ(count, static_cast<std::int32_t>(nv));
    p += 4;
    for (std::size_t i = 0; i < nv; ++i, p += 12)
    {
        float xyz[3];
        std::memcpy(xyz, p, 12);
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(xyz[k], static_cast<float>(mesh.m_vertices[i].m_point[k]));
    }
    std::memcpy(&count, p, 4);
    EXPECT_EQ(count, static_cast<std::int32_t>(nf));
    p += 4;
    for (std::size_t f = 0; f < nf; ++f)
        for (int k = 0; k < 3; ++k, p += vi)
        {
            std::int32_t c = 0;
            if (vi == 4)
                std::memcpy(&c, p, 4);
            else
            {
                std::uint16_t s = 0;
                std::memcpy(&s, p, 2);
                c = s;
            }
            ASSERT_EQ(c, mesh.m_faces[f].m_vertices[k]);
        }
}

// 255 x 257 = 65535 vertices; 256 x 256 = 65536; 129 x 257 = 33153 vertices with
// 2 x 128 x 256 = 65536 faces, topped up to 65535 vertices with isolated ones.
INSTANTIATE_TEST_SUITE_P(Widths, MeshStreamWidths,
                         ::testing::Values(Width{"v65535", 255, 257, 0, false, true},
                                           Width{"v65536", 256, 256, 0, true, true},
                                           Width{"v65535f65536", 129, 257, 65535 - 129 * 257, false, true},
                                           Width{"small", 4, 3, 0, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MeshStream, EmptyMeshTextForm)
{
    QvMesh empty;
    empty.SetID(5);
    const std::string bytes = TextForm(empty);
    Bytes b;
    b.entity(0x11, QvPoint(), QvPoint(), 5).text("Vertex@0\nFace@0\n");
    EXPECT_EQ(bytes, b.s);
    QvMesh read;
    ASSERT_TRUE(ReadText(read, bytes));
    EXPECT_TRUE(read.m_vertices.empty());
    EXPECT_TRUE(read.m_faces.empty());
    EXPECT_EQ(read.GetID(), 5);
}

// Header lines are written and read in the classic form whatever the stream's locale.
TEST(MeshStream, HeaderLinesIgnoreLocale)
{
    struct Grouping : std::numpunct<char>
    {
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const QvMesh mesh = qvtest::MakeGrid(40, 30); // 1200 vertices, 2262 faces
    std::ostringstream os;
    os.imbue(std::locale(std::locale::classic(), new Grouping));
    mesh.Write(os, 0);
    const std::string bytes = os.str();
    EXPECT_EQ(bytes.substr(56, 12), "Vertex@1200\n");
    EXPECT_NE(bytes.find("Face@2262\n"), std::string::npos);
    std::istringstream is(bytes);
    is.imbue(std::locale(std::locale::classic(), new Grouping));
    QvMesh read;
    ASSERT_TRUE(read.Read(is, 0, nullptr));
    EXPECT_EQ(read.m_faces.size(), 2262u);
}

TEST(MeshStream, CompactIndicesAreUnsignedAndTagsSigned)
{
    // Corners above 32767 in 16 bits, tags 4 and -1.
    QvMesh mesh = qvtest::MakeGridWithIsolated(3, 3, 40000 - 9);
    ASSERT_TRUE(mesh.AddFace(39999, 39998, 33000, 4));
    ASSERT_TRUE(mesh.AddFace(33000, 39998, 32768, -1));
    QvMesh read;
    ASSERT_TRUE(ReadCompact(read, CompactForm(mesh)));
    const QvFace& a = read.m_faces[read.m_faces.size() - 2];
    const QvFace& b = read.m_faces.back();
    EXPECT_EQ(a.m_vertices[0], 39999);
    EXPECT_EQ(a.m_vertices[2], 33000);
    EXPECT_EQ(a.m_tag, 4);
    EXPECT_EQ(b.m_vertices[2], 32768);
    EXPECT_EQ(b.m_tag, -1);
}

// ---- Damaged input ---------------------------------------------------------------------

std::string EntityBytes() { return Bytes().entity(0x11, QvPoint(), QvPoint(1, 1, 1), 900).s; }

std::string VertexRecord(int index, double x)
{
    return Bytes().u32(0x11).i32(index).f64(x).f64(0).f64(0).s;
}

std::string FaceRecord(int a, int b, int c, int tag = 0) { return Bytes().u32(0x11).i32(a).i32(b).i32(c).i32(0).i32(tag).s; }

std::string ThreeVertices() { return VertexRecord(0, 0) + VertexRecord(1, 1) + Bytes().u32(0x11).i32(2).f64(0).f64(1).f64(0).s; }

struct TextCase
{
    const char* name;
    std::string body; // after the entity record
    bool accepted;
    int logTag; // 962 or 980 when refused
};

TEST(MeshStreamDamage, TextHeaderAndRecordChecks)
{
    const TextCase cases[] = {
        {"vertex keyword only", "Vertex@", false, 962},
        {"vertex keyword only, newline", "Vertex@\n", false, 962},
        {"vertex count 0", "Vertex@0\nFace@0\n", true, 0},
        {"face keyword only", "Vertex@0\nFace@\n", false, 980},
        {"keywords are not compared", "Xxxxxx@0\nYyyy@0\n", true, 0},
        {"negative count", "Vertex@-1\nFace@0\n", false, 962},
        {"count not a number", "Vertex@abc\nFace@0\n", false, 962},
        {"count with trailing text", "Vertex@3x\n" + ThreeVertices() + "Face@0\n", false, 962},
        {"count beyond the data", "Vertex@4\n" + ThreeVertices() + "Face@0\n", false, 962},
        {"huge count", "Vertex@2147483647\n", false, 962},
        {"count past int32", "Vertex@99999999999\n", false, 962},
        {"no face line", "Vertex@3\n" + ThreeVertices(), false, 980},
        {"face line without newline", "Vertex@3\n" + ThreeVertices() + "Face@1", false, 980},
        {"overlong line", "Vertex@" + std::string(5000, '1') + "\n", false, 962},
        {"corner out of range", "Vertex@3\n" + ThreeVertices() + "Face@1\n" + FaceRecord(0, 1, 3), false, 980},
        {"negative corner", "Vertex@3\n" + ThreeVertices() + "Face@1\n" + FaceRecord(0, -1, 2), false, 980},
        {"short face record", "Vertex@3\n" + ThreeVertices() + "Face@1\n" + FaceRecord(0, 1, 2).substr(0, 20), false,
         980},
        {"one face", "Vertex@3\n" + ThreeVertices() + "Face@1\n" + FaceRecord(0, 1, 2, 6), true, 0},
        // Insertion refuses these; they are dropped like in every builder.
        {"repeated corner skipped", "Vertex@3\n" + ThreeVertices() + "Face@2\n" + FaceRecord(0, 1, 1) + FaceRecord(0, 1, 2),
         true, 0},
    };
    const fs::path dir = fs::temp_directory_path() / ("rivela_mesh_log_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    ASSERT_TRUE(QvLog::Instance().Open(dir.string(), "log.txt"));
    for (const TextCase& c : cases)
    {
        QvMesh mesh = qvtest::MakeTwoTriangleStrip();
        const int id = mesh.GetID();
        const std::string before = TextForm(mesh);
        const std::uintmax_t logSize = fs::file_size(dir / "log.txt");
        const bool ok = ReadText(mesh, EntityBytes() + c.body);
        EXPECT_EQ(ok, c.accepted) << c.name;
        const std::string logged = FileBytes(dir / "log.txt").substr(logSize);
        if (ok)
        {
            EXPECT_EQ(mesh.GetID(), 900) << c.name;
            EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh)) << c.name;
            EXPECT_TRUE(logged.empty()) << c.name;
        }
        else
        {
            EXPECT_EQ(TextForm(mesh), before) << c.name; // nothing half-read stays behind
            EXPECT_EQ(mesh.GetID(), id) << c.name;
            const std::string label = "[ERROR][Read(" + std::to_string(c.logTag) + ")]";
            EXPECT_NE(logged.find(label), std::string::npos) << c.name << ": " << logged;
            EXPECT_NE(logged.find("Read mesh failed"), std::string::npos) << c.name;
        }
    }
    QvLog::Instance().ResetForTests();
    fs::remove_all(dir);

    QvMesh one;
    ASSERT_TRUE(ReadText(one, EntityBytes() + "Vertex@3\n" + ThreeVertices() + "Face@1\n" + FaceRecord(0, 1, 2, 6)));
    EXPECT_EQ(one.m_faces[0].m_tag, 6);
    EXPECT_EQ(one.m_faces[0].m_normal, QvVector(0, 0, 1));
}

TEST(MeshStreamDamage, StoredIndicesNeverOverrideOwnIndex)
{
    QvMesh text;
    ASSERT_TRUE(ReadText(text, EntityBytes() + "Vertex@2\n" + VertexRecord(7, 0) + VertexRecord(-3, 1) + "Face@0\n"));
    EXPECT_EQ(text.m_vertices[0].m_index, 0);
    EXPECT_EQ(text.m_vertices[1].m_index, 1);

    Bytes b;
    b.entity(0x11, QvPoint(), QvPoint(), 1).i32(2);
    b.u16(9).f64(0).f64(0).f64(0).u16(65535).f64(1).f64(0).f64(0).i32(0);
    QvMesh compact;
    ASSERT_TRUE(ReadCompact(compact, b.s));
    EXPECT_EQ(compact.m_vertices[0].m_index, 0);
    EXPECT_EQ(compact.m_vertices[1].m_index, 1);
}

TEST(MeshStreamDamage, CompactCountAndCornerChecks)
{
    auto vertices = [](Bytes& b, int n) {
        b.i32(n);
        for (int i = 0; i < n; ++i)
            b.u16(static_cast<std::uint16_t>(i)).f64(i).f64(i % 2).f64(0);
    };
    struct Case
    {
        const char* name;
        std::string bytes;
        bool accepted;
    };
    std::vector<Case> cases;
    {
        Bytes b;
        b.text(EntityBytes()).i32(-1).i32(0);
        cases.push_back({"negative vertex count", b.s, false});
    }
    {
        Bytes b;
        b.text(EntityBytes()).i32(1000);
        cases.push_back({"vertex count beyond data", b.s, false});
    }
    {
        Bytes b;
        b.text(EntityBytes());
        vertices(b, 3);
        b.i32(-5);
        cases.push_back({"negative face count", b.s, false});
    }
    {
        Bytes b;
        b.text(EntityBytes());
        vertices(b, 3);
        b.i32(1).u16(0).u16(0).u16(1).u16(3).i16(0);
        cases.push_back({"corner out of range", b.s, false});
    }
    {
        Bytes b;
        b.text(EntityBytes());
        vertices(b, 3);
        b.i32(2).u16(0).u16(0).u16(1).u16(2).i16(0);
        cases.push_back({"face count beyond data", b.s, false});
    }
    {
        Bytes b;
        b.text(EntityBytes());
        vertices(b, 3);
        b.i32(1).u16(0).u16(0).u16(1).u16(2).i16(-1);
        cases.push_back({"valid", b.s, true});
    }
    {
        Bytes b;
        b.text(EntityBytes());
        vertices(b, 3);
        cases.push_back({"no face count", b.s, false});
    }
    for (const Case& c : cases)
    {
        QvMesh mesh = qvtest::MakeTwoTriangleStrip();
        const std::string before = CompactForm(mesh);
        const bool ok = ReadCompact(mesh, c.bytes);
        EXPECT_EQ(ok, c.accepted) << c.name;
        if (ok)
            EXPECT_TRUE(qvtest::MeshInvariantsHold(mesh)) << c.name;
        else
            EXPECT_EQ(CompactForm(mesh), before) << c.name;
    }
}

// Every truncation fails, every flip either fails cleanly or yields a sound mesh, and
// a refused read leaves the target as it was.
TEST(MeshStreamDamage, SweepsOverEveryReader)
{
    QvMesh source = qvtest::MakeCube();
    for (QvFace& f : source.m_faces)
        f.m_tag = f.m_index % 3;
    using Reader = bool (*)(QvMesh&, const std::string&);
    struct Form
    {
        std::string bytes;
        Reader read;
        std::string (*write)(const QvMesh&);
    } forms[] = {{TextForm(source), ReadText, TextForm}, {CompactForm(source), ReadCompact, CompactForm}};
    for (const Form& form : forms)
    {
        qvtest::ExpectReaderSurvivesDamage(form.bytes, [&](std::istream& is) {
            QvMesh target = qvtest::MakeTwoTriangleStrip();
            const std::string before = form.write(target);
            std::ostringstream copy;
            copy << is.rdbuf();
            const bool ok = form.read(target, copy.str());
            if (ok)
                EXPECT_TRUE(qvtest::MeshInvariantsHold(target));
            else
                EXPECT_EQ(form.write(target), before);
            return ok;
        });
    }
}

} // namespace
