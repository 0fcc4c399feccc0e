// SPDX-License-Identifier: GPL-3.0-or-later
// Tooth-set files, the OSD reader, STL import (generated and real teeth) and the
// case-model helpers kept for older conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <locale>
#include <filesystem>
#include <sstream>

#include "core/base/QvLog.h"
#include "core/geometry/QvStreamIO.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvGum.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothList.h"
#include "core/model/QvToothRef.h"
#include "ScratchFolder.h"
#include "testing/MeshRealTeeth.h"
#include "testing/ByteSweep.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshInvariants.h"

namespace {

constexpr int kTSD = 0x101;
constexpr std::int32_t kJawId = 3;

// A tooth record of the oldest family bound to jaw kJawId.
void WriteOldestTooth(std::ostream& os)
{
    qvtest::MakeTwoTriangleStrip().Write(os, kTSD);
    QvVector().Write(os); // cut line: vector, two entries, anchor, extra
    qvio::WriteI32(os, 2);
    for (const int v : {0, 1, 0, 2})
        qvio::WriteI32(os, v);
    QvPoint(1.0, 0.0, 0.0).Write(os);
    QvPoint(2.0, 0.0, 0.0).Write(os);
    qvio::WriteI32(os, 0);
    qvio::WriteI32(os, 0);
    QvFrame(QvPoint(0.0, 0.0, 1.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0)).Write(os);
    qvio::WriteI32(os, kJawId);
    qvio::WriteI32(os, 26);
    qvio::WriteI32(os, 3);
    for (const int v : {0, 1, 3})
        qvio::WriteI32(os, v);
}

struct TsdParts
{
    std::string id = "250";
    bool gum = false;
    bool toothList = false;
    std::string end = std::string(1, '\xFF');
};

// Id line, transform, jaw, tooth, optionally gum and tooth list, then the end.
std::string TsdBody(const TsdParts& p)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        os << p.id << '\n';
        QvTransform().Write(os);
        QvJaw jaw;
        jaw.m_vertices.clear();
        static_cast<void>(jaw.BuildFromTriangleSoup({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0)}));
        jaw.SetID(kJawId);
        jaw.InitLabels();
        qvio::WriteU8(os, 1);
        jaw.WriteFull(os, kTSD);
        qvio::WriteU8(os, 3);
        WriteOldestTooth(os);
        if (p.gum)
        {
            QvGum gum;
            gum.SetID(40);
            qvio::WriteU8(os, 2);
            gum.Write(os, kTSD);
        }
        if (p.toothList)
        {
            QvToothList list;
            list.SetID(41);
            qvio::WriteU8(os, 5);
            list.Write(os, kTSD);
        }
        os << p.end;
    });
}

class LegacyFiles : public ::testing::Test
{
protected:
    void SetUp() override { QvEntity::SetNextId(100); }
    void TearDown() override
    {
        QvEntity::SetNextId(100);
        QvLog::Instance().ResetForTests();
    }
    bool ReadBody(QvModel& model, const std::string& bytes)
    {
        QvReadWriteFile file(&model, 0);
        std::istringstream is(bytes);
        return file.ReadTSD_V0(is, kTSD);
    }
    qvtest::ScratchFolder folder;
};

TEST_F(LegacyFiles, TsdBodyReadsTaggedRecordsAndSetsTheIdCounter)
{
    QvModel model;
    ASSERT_TRUE(ReadBody(model, TsdBody({})));
    ASSERT_EQ(model.m_jaws.size(), 1u);
    ASSERT_EQ(model.m_teeth.size(), 1u);
    const auto* tooth = static_cast<const QvTooth*>(model.m_teeth[0]);
    EXPECT_EQ(tooth->GetFdi(), 26);
    EXPECT_EQ(tooth->GetJaw(), model.m_jaws[0]);
    EXPECT_EQ(QvEntity::NextId(), 250);

    // An id below 100 still leaves the counter at 100, also when the body fails.
    TsdParts low;
    low.id = "7";
    low.end = "";
    QvModel other;
    EXPECT_FALSE(ReadBody(other, TsdBody(low)));
    EXPECT_EQ(QvEntity::NextId(), 100);
}

TEST_F(LegacyFiles, UnknownTagIsLoggedAndKeepsWhatWasRead)
{
    ASSERT_TRUE(QvLog::Instance().Open(folder.Path().string(), "log.txt"));
    TsdParts parts;
    parts.end = std::string(1, '\x04');
    QvModel model;
    EXPECT_FALSE(ReadBody(model, TsdBody(parts)));
    EXPECT_EQ(model.m_jaws.size(), 1u);
    EXPECT_EQ(model.m_teeth.size(), 1u);
    QvLog::Instance().ResetForTests();
    const std::string log = qvtest::ReadWholeFile(folder / "log.txt");
    EXPECT_NE(log.find("ERROR"), std::string::npos) << log;
    EXPECT_NE(log.find("ReadTSD_V0(717)"), std::string::npos) << log;
    EXPECT_NE(log.find("Unknown file node type, read TSD file failed"), std::string::npos) << log;
}

TEST_F(LegacyFiles, BadIdLinesAndEarlyEndsFail)
{
    struct Case
    {
        const char* id;
        const char* end;
        bool counterKept; // the id line itself was refused
    } cases[] = {
        {"12a", "\xFF", true}, {"", "\xFF", true}, {"99999999999", "\xFF", true}, {"2147483648", "\xFF", true},
        {"300", "", false},    // ends before the end byte
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.id);
        TsdParts parts;
        parts.id = c.id;
        parts.end = c.end;
        const std::string bytes = TsdBody(parts);
        QvModel model;
        QvEntity::SetNextId(555);
        EXPECT_FALSE(ReadBody(model, bytes));
        EXPECT_EQ(QvEntity::NextId(), c.counterKept ? 555 : 300);
    }
}

TEST_F(LegacyFiles, FailedRecordIsNotAdded)
{
    // A gum cut short after a whole tooth: the tooth stays, the gum is not added.
    std::string bytes = TsdBody({});
    bytes.pop_back();
    bytes += qvtest::BytesOf([](std::ostream& os) {
        qvio::WriteU8(os, 2);
        os << "short";
    });
    QvModel model;
    EXPECT_FALSE(ReadBody(model, bytes));
    EXPECT_EQ(model.m_gums.size(), 0u);
    EXPECT_EQ(model.m_teeth.size(), 1u);
}

TEST_F(LegacyFiles, TsdFileHeaderNamesTheBody)
{
    const std::string body = TsdBody({});
    struct Case
    {
        std::string header;
        bool read;
    } cases[] = {
        {QvMakeHeader(kQvFileTSD, kTSD), true},
        {"Rivela TSD File #V2.1(B)@2020/1/1", false},
        {"Rivela TSD File #V9.9(B)@2020/1/1", false},
        {"Rivela TSD File (B) #V2.0", false},
        {"no version at all", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.header);
        ASSERT_TRUE(qvtest::WriteWholeFile(folder / "a.tsd", c.header + "\n" + body));
        QvModel model;
        QvReadWriteFile file(&model, 5);
        EXPECT_EQ(file.ReadTSD(folder / "a.tsd"), c.read);
        EXPECT_EQ(model.m_jaws.size(), c.read ? 1u : 0u);
    }
    QvReadWriteFile file(nullptr, 0);
    EXPECT_FALSE(file.ReadTSD(folder / "missing.tsd"));
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "a.osd", QvMakeHeader(kQvFileOSD, 0x201) + "\n"));
    EXPECT_FALSE(file.ReadOSD(folder / "a.osd"));
}

TEST_F(LegacyFiles, WriterRoundTripsJawsGumsAndToothLists)
{
    QvModel source;
    auto* jaw = new QvJaw();
    static_cast<void>(jaw->BuildFromTriangleSoup({QvPoint(0, 0, 0), QvPoint(1, 0, 0), QvPoint(0, 1, 0)}));
    jaw->InitLabels();
    source.AddEntity(jaw);
    auto* gum = new QvGum();
    gum->SetJaw(jaw);
    source.AddEntity(gum);
    auto* list = new QvToothList();
    list->SetJaw(jaw);
    source.AddEntity(list);
    QvReadWriteFile writer(&source, 0);
    // A stream whose locale groups digits still gets a plain id line.
    struct Grouping : std::numpunct<char>
    {
        std::string do_grouping() const override { return "\1"; }
        char do_thousands_sep() const override { return ','; }
    };
    std::ostringstream os;
    os.imbue(std::locale(std::locale::classic(), new Grouping));
    QvEntity::SetNextId(4321);
    ASSERT_TRUE(writer.WriteTSD_V0(os, kTSD));
    EXPECT_EQ(os.str().substr(0, 5), "4321\n");

    QvModel back;
    ASSERT_TRUE(ReadBody(back, os.str()));
    ASSERT_EQ(back.m_jaws.size(), 1u);
    ASSERT_EQ(back.m_gums.size(), 1u);
    ASSERT_EQ(back.m_toothLists.size(), 1u);
    EXPECT_EQ(static_cast<QvGum*>(back.m_gums[0])->GetJaw(), back.m_jaws[0]);
    EXPECT_EQ(static_cast<QvToothList*>(back.m_toothLists[0])->GetJaw(), back.m_jaws[0]);

    // A tooth cannot be written in this family; a failed stream is reported.
    source.AddEntity(new QvTooth());
    std::ostringstream withTooth;
    EXPECT_FALSE(writer.WriteTSD_V0(withTooth, kTSD));
    QvModel empty;
    QvReadWriteFile emptyWriter(&empty, 0);
    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_FALSE(emptyWriter.WriteTSD_V0(failed, kTSD));
}

TEST_F(LegacyFiles, TsdBodySurvivesDamage)
{
    TsdParts all;
    all.gum = true;
    all.toothList = true;
    qvtest::ExpectReaderSurvivesDamage(TsdBody(all), [](std::istream& is) {
        QvModel model;
        QvReadWriteFile file(&model, 0);
        return file.ReadTSD_V0(is, kTSD);
    });
}

// ---- STL import ----------------------------------------------------------------------

std::string BinaryStl(const QvMesh& mesh, std::uint32_t storedCount)
{
    return qvtest::BytesOf([&](std::ostream& os) {
        os << std::string(80, ' ');
        qvio::WriteU32(os, storedCount);
        for (const QvFace& face : mesh.m_faces)
        {
            for (int k = 0; k < 3; ++k)
                qvio::WriteF32(os, 0.0f);
            for (const int corner : face.m_vertices)
                for (int k = 0; k < 3; ++k)
                    qvio::WriteF32(os, static_cast<float>(mesh.m_vertices[static_cast<std::size_t>(corner)].m_point[k]));
            qvio::WriteU16(os, 0xFFFF);
        }
    });
}

const char* const kTetrahedron = "solid t\n"
                                  "facet normal 0 0 -1\n outer loop\n  vertex 0 0 0\n  vertex 0 1 0\n  vertex 1 0 0\n endloop\nendfacet\n"
                                  "facet normal 0 -1 0\n outer loop\n  vertex 0 0 0\n  vertex 1 0 0\n  vertex 0 0 1\n endloop\nendfacet\n"
                                  "facet normal -1 0 0\n outer loop\n  vertex 0 0 0\n  vertex 0 0 1\n  vertex 0 1 0\n endloop\nendfacet\n"
                                  "facet normal 1 1 1\n outer loop\n  vertex 1 0 0\n  vertex 0 1 0\n  vertex 0 0 1\n endloop\nendfacet\n"
                                  "endsolid t\n";

TEST_F(LegacyFiles, StlFormIsChosenBySizeAndCountsAreSafe)
{
    const QvMesh cube = qvtest::MakeCube();
    ASSERT_EQ(cube.m_faces.size(), 12u);
    const std::string binary = BinaryStl(cube, 12);
    ASSERT_EQ(binary.size(), 684u);
    struct Case
    {
        const char* what;
        std::string bytes;
        int faces; // -1: null
        int vertices;
    } cases[] = {
        {"binary", binary, 12, 8},
        {"a byte longer: text", binary + " ", -1, 0},
        {"count wraps in 32 bits", std::string(80, 'x') + std::string("\x00\x00\x00\x80", 4), -1, 0},
        {"text tetrahedron", kTetrahedron, 4, 4},
        {"empty solid", "solid x\nendsolid x\n", -1, 0},
        {"empty file", "", -1, 0},
        {"bad vertex line", std::string(kTetrahedron).replace(std::string(kTetrahedron).find("vertex 0 1 0"), 12, "vertex 0 y 0"), -1, 0},
        {"comma locale text", "solid c\nfacet normal 0 0 1\nouter loop\nvertex 0,5 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n", -1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(qvtest::WriteWholeFile(folder / "in.stl", c.bytes));
        QvReadWriteFile file(nullptr, 3);
        std::unique_ptr<QvMesh> mesh(file.ImportSTL(folder / "in.stl"));
        if (c.faces < 0)
        {
            EXPECT_EQ(mesh, nullptr);
            continue;
        }
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(static_cast<int>(mesh->m_faces.size()), c.faces);
        EXPECT_EQ(static_cast<int>(mesh->m_vertices.size()), c.vertices);
        EXPECT_TRUE(mesh->IsClosed());
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(*mesh));
        EXPECT_EQ(file.GetOption(), 0);
    }
    QvReadWriteFile file(nullptr, 0);
    EXPECT_EQ(std::unique_ptr<QvMesh>(file.ImportSTL(folder / "missing.stl")), nullptr);
    std::vector<QvPoint> corners;
    ASSERT_TRUE(qvtest::WriteWholeFile(folder / "in.stl", binary));
    EXPECT_FALSE(QvReadWriteFile::ReadAsciiSTL(folder / "in.stl", corners) && !corners.empty());
    corners.clear();
    EXPECT_TRUE(QvReadWriteFile::ReadBinarySTL(folder / "in.stl", corners));
    EXPECT_EQ(corners.size(), 36u);
}

TEST_F(LegacyFiles, StlImportSurvivesDamage)
{
    const std::string path = folder / "sweep.stl";
    const qvtest::StreamReader import = [&](std::istream& is) {
        const std::string bytes((std::istreambuf_iterator<char>(is)), std::istreambuf_iterator<char>());
        if (!qvtest::WriteWholeFile(path, bytes))
            return false;
        QvReadWriteFile file(nullptr, 0);
        std::unique_ptr<QvMesh> mesh(file.ImportSTL(path));
        return mesh != nullptr;
    };
    // A text file cut after a whole facet is still a file of fewer facets, so only
    // the binary form must refuse every truncation.
    qvtest::ExpectReaderSurvivesDamage(BinaryStl(qvtest::MakeCube(), 12), import, 100);
    const qvtest::SweepReport text = qvtest::SweepTruncations(kTetrahedron, import);
    EXPECT_EQ(text.truncationsRun, static_cast<int>(std::strlen(kTetrahedron)));
    static_cast<void>(qvtest::SweepByteFlips(kTetrahedron, import, 100, 3));
}

TEST_F(LegacyFiles, RealTeethImportClosedAndConsistentlyOriented)
{
    const auto files = qvtest::RealToothFiles();
    if (files.empty())
        GTEST_SKIP() << "no real teeth in " << RIVELA_REAL_TEETH_DIR;
    for (const std::string& path : files)
    {
        SCOPED_TRACE(path);
        std::ifstream is(path, std::ios::binary);
        is.seekg(80);
        std::uint32_t count = 0;
        ASSERT_TRUE(qvio::ReadU32(is, count));
        QvReadWriteFile file(nullptr, 0);
        std::unique_ptr<QvMesh> mesh(file.ImportSTL(path));
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->m_faces.size(), count);
        EXPECT_TRUE(mesh->IsClosed());
        EXPECT_TRUE(qvtest::IsConsistentlyOriented(*mesh));
        // One closed genus-0 surface: V - E + F = 2.
        EXPECT_EQ(static_cast<long>(mesh->m_vertices.size()) - static_cast<long>(mesh->m_edges.size()) +
                      static_cast<long>(mesh->m_faces.size()),
                  2);
    }
}

// ---- Case-model helpers ----------------------------------------------------------------

TEST_F(LegacyFiles, JawBoneMatrixAddsOneHiddenBoneOnce)
{
    QvModel model;
    const QvMatrix first = model.GetJawBoneMatrix(false);
    EXPECT_TRUE(first.IsIdentity());
    ASSERT_EQ(model.m_jawBones.size(), 1u);
    const auto* bone = static_cast<const QvJawBone*>(model.m_jawBones[0]);
    EXPECT_FALSE(bone->IsUpper());
    EXPECT_EQ(bone->m_state & kQvStateShown, 0u);
    static_cast<void>(model.GetJawBoneMatrix(false));
    EXPECT_EQ(model.m_jawBones.size(), 1u);

    QvMatrix shift(4, 4);
    shift.SetIdentity();
    shift[0][3] = 2.0;
    model.SetJawBoneMatrix(true, shift, false);
    model.SetJawBoneMatrix(true, shift, true);
    EXPECT_EQ(model.m_jawBones.size(), 2u);
    EXPECT_DOUBLE_EQ(model.GetJawBoneMatrix(true)[0][3], 4.0);
}

TEST_F(LegacyFiles, CutLineOwnerAndClearedReferenceData)
{
    QvModel model;
    auto* jaw = new QvJaw();
    model.AddEntity(jaw);
    std::vector<QvTooth*> teeth;
    for (const int fdi : {11, 12})
    {
        auto* tooth = new QvTooth();
        tooth->SetFdi(fdi);
        tooth->CopyMeshData(qvtest::MakeCube());
        model.AddEntity(tooth);
        teeth.push_back(tooth);
        tooth->SetToothRef(new QvToothRef(tooth));
    }
    teeth[1]->SetCutLine(QvCutLine(jaw, 0));
    int count = 0;
    EXPECT_EQ(QvModel::FindToothByCutLineOwner(teeth, jaw, count), teeth[1]);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(QvModel::FindToothByCutLineOwner(teeth, teeth[0], count), nullptr);

    ASSERT_NE(model.m_pJawRef, nullptr);
    model.m_pJawRef->SetMiddlePlane(QvFrame(QvPoint(), QvVector(1, 0, 0), QvVector(0, 1, 0)), {}, 1.0);
    model.ClearReferenceData();
    for (const QvTooth* tooth : teeth)
        EXPECT_EQ(tooth->GetToothRef(), nullptr);
    QvFrame frame;
    double size = 0.0;
    EXPECT_FALSE(model.m_pJawRef->GetMiddlePlane(frame, size));
    model.ClearReferenceData(); // twice: nothing left to delete
}

TEST_F(LegacyFiles, NeighbourDirectionFromTheFirstFaccVertices)
{
    QvModel model;
    std::vector<QvTooth*> teeth;
    const double xs[] = {0.0, 10.0, 30.0};
    const int fdis[] = {11, 12, 21};
    for (int i = 0; i < 3; ++i)
    {
        auto* tooth = new QvTooth();
        tooth->SetFdi(fdis[i]);
        QvMesh cube = qvtest::MakeCube();
        QvMatrix move(4, 4);
        move.SetIdentity();
        move[0][3] = xs[i];
        cube.Transform(move);
        tooth->CopyMeshData(cube);
        model.AddEntity(tooth);
        teeth.push_back(tooth);
        auto* ref = new QvToothRef(tooth);
        ref->m_facc.m_vertices = {0, 1};
        tooth->SetToothRef(ref);
    }
    QvVector d;
    // 11's neighbour is the next (12): same quadrant, 11 is smaller, so reversed.
    ASSERT_TRUE(QvModel::GetNeighbourDirection(teeth, teeth[0]->GetToothRef(), d));
    EXPECT_NEAR(d[0], -10.0, 1e-12);
    // 21's neighbour is 12: other quadrant, not reversed.
    ASSERT_TRUE(QvModel::GetNeighbourDirection(teeth, teeth[2]->GetToothRef(), d));
    EXPECT_NEAR(d[0], -20.0, 1e-12);

    teeth[1]->GetToothRef()->m_facc.m_vertices.clear();
    EXPECT_FALSE(QvModel::GetNeighbourDirection(teeth, teeth[0]->GetToothRef(), d));
    teeth[1]->GetToothRef()->m_facc.m_vertices = {999};
    EXPECT_FALSE(QvModel::GetNeighbourDirection(teeth, teeth[0]->GetToothRef(), d));
    const std::vector<QvTooth*> alone = {teeth[0]};
    EXPECT_FALSE(QvModel::GetNeighbourDirection(alone, teeth[0]->GetToothRef(), d));
    QvModel::OrientToothRefs(teeth); // refs without curves or points: nothing to do, nothing breaks
}

} // namespace
