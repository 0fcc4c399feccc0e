// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/model/QvToothList.h"
#include "core/model/QvToothEmbeded.h"
#include "core/model/tests/CaseTestSupport.h"
#include "testing/ByteSweep.h"
#include "testing/CaseFixtures.h"
#include "testing/MeshFixtures.h"
#include "testing/MeshRealTeeth.h"

namespace {

using namespace qvcasetest;

constexpr std::int32_t kTracingValue = 1234;
constexpr std::int32_t kStoredNextId = 5000;

// Every test starts without links and with the counter reset; links installed by a
// test are removed again after its models are gone.
class CaseDocument : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        QvResetImageMeasureOps();
        QvSetSchemeFileLink(nullptr);
        QvEntity::SetNextId(100);
    }
};

qvtest::CaseOptions SmallCase()
{
    qvtest::CaseOptions options;
    options.fdis = {11, 16, 36};
    options.crownRings = 2;
    options.crownAround = 5;
    options.gumAround = 6;
    options.gumRings = 2;
    options.boneAround = 5;
    options.boneRings = 2;
    options.airwayAround = 5;
    options.airwayRings = 2;
    return options;
}

std::string OSBody(const QvModel& model, int version)
{
    return qvtest::BytesOf([&](std::ostream& os) { model.WriteOS(os, version); });
}

bool ReadOSFrom(QvModel& model, const std::string& bytes, int version, bool* consumed = nullptr)
{
    std::istringstream is(bytes);
    const bool ok = model.ReadOS(is, version, nullptr);
    if (consumed)
        *consumed = is.peek() == std::char_traits<char>::eof();
    return ok;
}

bool ReadDMFrom(QvModel& model, const std::string& bytes, int version, bool* consumed = nullptr)
{
    std::istringstream is(bytes);
    const bool ok = model.ReadDM(is, version);
    if (consumed)
        *consumed = is.peek() == std::char_traits<char>::eof();
    return ok;
}

TEST_F(CaseDocument, GeneratedCaseRoundTripsAtTheNewestVersion)
{
    QvModel source;
    qvtest::FillCase(source);
    ASSERT_EQ(source.m_teeth.size(), 28u);
    const std::string bytes = OSBody(source, 0x413);

    QvModel back;
    bool consumed = false;
    ASSERT_TRUE(ReadOSFrom(back, bytes, 0x413, &consumed));
    EXPECT_TRUE(consumed);
    ExpectSameCase(source, back);
    // The stored next id lies above every id of the case: new entities cannot collide.
    const std::int32_t next = QvEntity::NextId();
    for (const auto& [id, entity] : back.m_entityMap)
        EXPECT_LT(id, next);
}

TEST_F(CaseDocument, DentalModelRoundTripsThroughTheUncalledWriter)
{
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    for (const int version : {0x806, 0x805, 0x802})
    {
        SCOPED_TRACE(version);
        const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { source.WriteDM(os, version); });
        QvModel back;
        bool consumed = false;
        ASSERT_TRUE(ReadDMFrom(back, bytes, version, &consumed));
        EXPECT_TRUE(consumed);
        EXPECT_EQ(back.m_teeth.size(), 3u);
        EXPECT_EQ(back.m_gums.size(), 2u);
        EXPECT_EQ(back.m_jawBones.size(), version >= 0x803 ? 2u : 0u);
        EXPECT_EQ(back.GetAirway() != nullptr, version >= 0x805);
        if (version == 0x806)
        {
            ExpectSameCase(source, back);
            // From 2054 the gums carry their meshes.
            ExpectSameMesh(*static_cast<QvMesh*>(source.m_gums[0]), *static_cast<QvMesh*>(back.m_gums[0]));
        }
    }
}

// ---- Teeth read side by side ------------------------------------------------------------

void ExpectSameTopology(const QvMesh& a, const QvMesh& b)
{
    ASSERT_EQ(a.m_vertices.size(), b.m_vertices.size());
    ASSERT_EQ(a.m_edges.size(), b.m_edges.size());
    ASSERT_EQ(a.m_faces.size(), b.m_faces.size());
    for (std::size_t i = 0; i < a.m_vertices.size(); ++i)
    {
        ASSERT_EQ(a.m_vertices[i].m_point, b.m_vertices[i].m_point) << "vertex " << i;
        ASSERT_EQ(a.m_vertices[i].m_edges, b.m_vertices[i].m_edges) << "vertex " << i;
    }
    for (std::size_t i = 0; i < a.m_edges.size(); ++i)
        for (int k = 0; k < 2; ++k)
        {
            ASSERT_EQ(a.m_edges[i].m_vertices[k], b.m_edges[i].m_vertices[k]) << "edge " << i;
            ASSERT_EQ(a.m_edges[i].m_faces[k], b.m_edges[i].m_faces[k]) << "edge " << i;
        }
    for (std::size_t i = 0; i < a.m_faces.size(); ++i)
    {
        for (int k = 0; k < 3; ++k)
        {
            ASSERT_EQ(a.m_faces[i].m_vertices[k], b.m_faces[i].m_vertices[k]) << "face " << i;
            ASSERT_EQ(a.m_faces[i].m_edges[k], b.m_faces[i].m_edges[k]) << "face " << i;
        }
        ASSERT_EQ(a.m_faces[i].m_normal, b.m_faces[i].m_normal) << "face " << i;
        ASSERT_EQ(a.m_faces[i].m_tag, b.m_faces[i].m_tag) << "face " << i;
    }
}

// A mesh record read alone, with readOne(mesh, stream, model), against the mesh read
// within the case.
template <class T, class Read>
void ExpectReadAlone(const std::string& record, const QvEntity& read, Read readOne)
{
    QvModel model;
    T alone;
    std::istringstream is(record);
    ASSERT_TRUE(readOne(alone, is, &model));
    ExpectSameTopology(alone, static_cast<const QvMesh&>(read));
}

// Each tooth of a read case against its record read alone: edges, incidence lists,
// sides, normals, root and crown rim all the same; so too the gums, jaw bones and
// airway built beside them. The real teeth (where the shared data is on this machine)
// carry a grown root on their lower part, so their rims are found on real geometry; a
// record that fails leaves the meshes before it whole.
TEST_F(CaseDocument, MeshesReadSideBySideMatchRecordsReadAlone)
{
    QvModel source;
    qvtest::FillCase(source);
    std::size_t next = 0;
    // Two upper and two lower real teeth keep the test short.
    for (const int number : {3, 8, 29, 30})
    {
        QvMesh real;
        if (!qvtest::LoadRealTooth(number, real))
            break;
        // Upper crowns point to -z: their roots lie above.
        const double up = number <= 10 ? -1.0 : 1.0;
        real.UpdateBBox();
        const double low = up > 0 ? real.m_bbox.m_minPoint.m_coord[2] : real.m_bbox.m_maxPoint.m_coord[2];
        const double high = up > 0 ? real.m_bbox.m_maxPoint.m_coord[2] : real.m_bbox.m_minPoint.m_coord[2];
        const double cut = 0.6 * low + 0.4 * high;
        for (QvFace& f : real.m_faces)
        {
            double z = 0.0;
            for (const int c : f.m_vertices)
                z += real.m_vertices[static_cast<std::size_t>(c)].m_point.m_coord[2] / 3.0;
            f.m_tag = up * z < up * cut ? kQvFaceTagVirtualRoot : kQvFaceTagPlain;
        }
        static_cast<QvTooth*>(source.m_teeth[next++])->CopyMeshData(real);
    }
    const int version = 0x806;
    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { source.WriteDM(os, version); });

    // The first tooth record's start, and each tooth's own record.
    std::vector<std::string> records;
    for (const QvEntity* entity : source.m_teeth)
        records.push_back(qvtest::BytesOf(
            [&](std::ostream& os) { static_cast<const QvTooth*>(entity)->WriteRecord(os, version); }));
    const std::size_t first = bytes.find(records[0]);
    ASSERT_NE(first, std::string::npos);
    ASSERT_EQ(source.m_jawBones.size(), 2u);
    ASSERT_FALSE(source.m_gums.empty());
    ASSERT_NE(source.GetAirway(), nullptr);
    std::vector<std::string> gums;
    for (const QvEntity* gum : source.m_gums)
        gums.push_back(
            qvtest::BytesOf([&](std::ostream& os) { static_cast<const QvGum*>(gum)->WriteModel(os, version); }));
    std::vector<std::string> bones;
    for (const QvEntity* bone : source.m_jawBones)
        bones.push_back(qvtest::BytesOf([&](std::ostream& os) { bone->Write(os, version); }));
    const std::string airway = qvtest::BytesOf([&](std::ostream& os) { source.GetAirway()->Write(os, version); });

    const auto expectAsAlone = [&](const QvModel& back) {
        for (std::size_t i = 0; i < back.m_teeth.size(); ++i)
        {
            SCOPED_TRACE(i);
            const auto* read = static_cast<const QvTooth*>(back.m_teeth[i]);
            QvModel aloneModel;
            QvTooth alone;
            std::istringstream is(records[i]);
            ASSERT_TRUE(alone.ReadRecord(is, version, &aloneModel));
            ExpectSameTopology(alone, *read);
            EXPECT_EQ(alone.m_boundaryLoop, read->m_boundaryLoop);
            if (i < next)
            {
                EXPECT_FALSE(read->m_boundaryLoop.empty());
            }
            ASSERT_EQ(alone.GetRoot() == nullptr, read->GetRoot() == nullptr);
            if (alone.GetRoot())
                ExpectSameTopology(*alone.GetRoot(), *read->GetRoot());
        }
        const auto readModel = [&](QvGum& gum, std::istream& is, QvModel* model) {
            return gum.ReadModel(is, version, model);
        };
        const auto read = [&](auto& mesh, std::istream& is, QvModel* model) { return mesh.Read(is, version, model); };
        for (std::size_t i = 0; i < back.m_gums.size(); ++i)
        {
            SCOPED_TRACE("gum " + std::to_string(i));
            ExpectReadAlone<QvGum>(gums[i], *back.m_gums[i], readModel);
        }
        for (std::size_t i = 0; i < back.m_jawBones.size(); ++i)
        {
            SCOPED_TRACE("jaw bone " + std::to_string(i));
            ExpectReadAlone<QvJawBone>(bones[i], *back.m_jawBones[i], read);
        }
        if (back.GetAirway())
            ExpectReadAlone<QvAirway>(airway, *back.GetAirway(), read);
    };

    QvModel back;
    ASSERT_TRUE(ReadDMFrom(back, bytes, version));
    ASSERT_EQ(back.m_teeth.size(), source.m_teeth.size());
    ASSERT_EQ(back.m_gums.size(), source.m_gums.size());
    ASSERT_EQ(back.m_jawBones.size(), 2u);
    ASSERT_NE(back.GetAirway(), nullptr);
    expectAsAlone(back);

    // Cut inside the third tooth record: the first two are read and whole.
    const std::string cutBytes = bytes.substr(0, first + records[0].size() + records[1].size() + 100);
    QvModel partial;
    EXPECT_FALSE(ReadDMFrom(partial, cutBytes, version));
    ASSERT_EQ(partial.m_teeth.size(), 2u);
    expectAsAlone(partial);

    // Cut inside the second jaw bone: the teeth, gums and first jaw bone are whole.
    const std::size_t secondBone = bytes.find(bones[1]);
    ASSERT_NE(secondBone, std::string::npos);
    QvModel upToBone;
    EXPECT_FALSE(ReadDMFrom(upToBone, bytes.substr(0, secondBone + bones[1].size() / 2), version));
    ASSERT_EQ(upToBone.m_teeth.size(), source.m_teeth.size());
    ASSERT_EQ(upToBone.m_gums.size(), source.m_gums.size());
    ASSERT_EQ(upToBone.m_jawBones.size(), 1u);
    expectAsAlone(upToBone);
}

// ---- Older versions, built section by section from the read tables --------------------

void PutCurrentInfo(std::ostream& os, const std::string& title)
{
    qvio::WriteString(os, "text one");
    qvio::WriteString(os, "M");
    qvio::WriteString(os, "");
    qvio::WriteI32(os, 2);
    qvio::WriteString(os, title);
}

void PutOldFixedInfo(std::ostream& os, const std::string& title)
{
    std::string block(1100, '\0');
    block.replace(0, 8, "text one");
    block[256] = 'M';
    const std::int32_t plan = 2;
    std::memcpy(&block[296], &plan, 4);
    block.replace(300, title.size(), title);
    os.write(block.data(), static_cast<std::streamsize>(block.size()));
}

// The jaw reference set without its flag: plane slots by the form the version reads,
// the mid-sagittal plane (always the first slot) present, the others empty.
void PutJawRefSlots(std::ostream& os, int version, const QvRefPlane& middle)
{
    int slots = 2;
    if ((version & 0x400) != 0)
        slots = (version <= 1026 || version == 1029) ? 3 : 2;
    else if ((version & 0x800) != 0)
        slots = version <= 2049 ? 3 : 2;
    qvio::WriteI32(os, 1);
    middle.Write(os, version);
    for (int i = 1; i < slots; ++i)
        qvio::WriteI32(os, 0);
}

// The parts one table row is built from: a case of two jaws, tooth 11, one gum.
struct Parts
{
    QvModel model;
    const QvJaw* upper = nullptr;
    const QvJaw* lower = nullptr;
    const QvTooth* tooth = nullptr;
    const QvGum* gum = nullptr;
    Parts()
    {
        qvtest::CaseOptions options = SmallCase();
        options.fdis = {11};
        qvtest::FillCase(model, options);
        upper = model.GetJaw(true);
        lower = model.GetJaw(false);
        tooth = model.FindTooth(11);
        gum = model.GetGum(true);
    }
    void PutEntities(std::ostream& os, int version, bool dentalModel) const
    {
        qvio::WriteI32(os, kStoredNextId);
        qvio::WriteI32(os, 2);
        upper->WriteRecord(os, version);
        lower->WriteRecord(os, version);
        qvio::WriteI32(os, 1);
        tooth->WriteRecord(os, version);
        qvio::WriteI32(os, 1);
        if (dentalModel)
            gum->WriteModel(os, version);
        else
            gum->WriteRecord(os, version);
    }
    void PutBones(std::ostream& os, int version) const
    {
        qvio::WriteI32(os, 1);
        model.m_jawBones[0]->Write(os, version);
    }
    void PutOptional(std::ostream& os, int version, const QvEntity* entity) const
    {
        qvio::WriteI32(os, 1);
        entity->Write(os, version);
    }
    // One old-form reference record that ends at its state (4), then the set.
    void PutToothRefs(std::ostream& os, int version) const
    {
        qvio::WriteI32(os, 1);
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, 11);
        qvio::WriteI32(os, 4);
        PutJawRefSlots(os, version, *model.GetJawRef()->m_pMiddlePlane);
    }
};

// The sections from the jaw bones to the tooth references, laid out alike in both formats.
template <typename Row>
void PutBonesToToothRefs(std::ostream& os, const Parts& parts, const Row& row)
{
    if (row.bones)
        parts.PutBones(os, row.version);
    if (row.hinge)
        parts.PutOptional(os, row.version, parts.model.GetHingeAxis());
    if (row.airway)
        parts.PutOptional(os, row.version, parts.model.GetAirway());
    if (row.oldToothRefs)
    {
        parts.PutToothRefs(os, row.version);
    }
    else
    {
        qvio::WriteI32(os, 1);
        PutJawRefSlots(os, row.version, *parts.model.GetJawRef()->m_pMiddlePlane);
    }
}

struct OSRow
{
    int version;
    enum Info { OldFixed, Image, Current } info;
    enum Tracing { NoTracing, Record, FlagZero, FlagOne } tracing;
    bool bones, hinge, airway, oldToothRefs;
};

// One row per case-document version: the sections its reader expects.
const OSRow kOSRows[] = {
    {0x402, OSRow::OldFixed, OSRow::NoTracing, false, false, false, true},
    {0x403, OSRow::Image, OSRow::Record, false, false, false, true},
    {0x404, OSRow::Current, OSRow::FlagZero, false, false, false, true},
    {0x405, OSRow::Current, OSRow::FlagOne, false, false, false, true},
    {0x406, OSRow::Current, OSRow::NoTracing, true, false, false, true},
    {0x407, OSRow::Current, OSRow::NoTracing, true, true, false, true},
    {0x408, OSRow::Current, OSRow::NoTracing, true, true, true, true},
    {0x409, OSRow::Current, OSRow::NoTracing, true, true, true, true},
    {0x410, OSRow::Current, OSRow::NoTracing, true, true, true, true},
    {0x411, OSRow::Current, OSRow::NoTracing, true, true, true, false},
    {0x412, OSRow::Current, OSRow::NoTracing, true, true, true, false},
    {0x413, OSRow::Current, OSRow::NoTracing, true, true, true, false},
};

std::string BuildOS(const Parts& parts, const OSRow& row)
{
    std::ostringstream os;
    if (row.info == OSRow::OldFixed)
        PutOldFixedInfo(os, "C-OLD");
    else
        PutCurrentInfo(os, "C-OLD");
    if (row.info == OSRow::Image)
        qvio::WriteI32(os, 0);
    parts.PutEntities(os, row.version, false);
    if (row.tracing == OSRow::FlagZero)
        qvio::WriteI32(os, 0);
    if (row.tracing == OSRow::FlagOne)
        qvio::WriteI32(os, 1);
    if (row.tracing == OSRow::Record || row.tracing == OSRow::FlagOne)
        qvio::WriteI32(os, kTracingValue);
    PutBonesToToothRefs(os, parts, row);
    qvio::WriteI32(os, 0); // no schemes
    return os.str();
}

TEST_F(CaseDocument, EveryCaseDocumentVersionReadsItsOwnSections)
{
    InstallFakeImageMeasures(true);
    const Parts parts;
    for (const OSRow& row : kOSRows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << row.version);
        QvModel model;
        bool consumed = false;
        ASSERT_TRUE(ReadOSFrom(model, BuildOS(parts, row), row.version, &consumed));
        EXPECT_TRUE(consumed);
        EXPECT_EQ(model.GetPatientInfo()->m_title, "C-OLD");
        EXPECT_EQ(model.GetPatientInfo()->m_nPlan, 2);
        ASSERT_EQ(model.m_jaws.size(), 2u);
        ASSERT_EQ(model.m_teeth.size(), 1u);
        const QvTooth* tooth = model.FindTooth(11);
        ASSERT_NE(tooth, nullptr);
        EXPECT_EQ(tooth->GetJaw(), model.GetJaw(true));
        EXPECT_NE(tooth->GetToothRef(), nullptr);
        ASSERT_EQ(model.m_gums.size(), 1u);
        EXPECT_EQ(model.GetGum(true), model.m_gums[0]);
        EXPECT_EQ(model.m_jawBones.size(), row.bones ? 1u : 0u);
        EXPECT_EQ(model.GetHingeAxis() != nullptr, row.hinge);
        EXPECT_EQ(model.GetAirway() != nullptr, row.airway);
        ASSERT_NE(model.GetJawRef(), nullptr);
        ExpectSamePlane(parts.model.GetJawRef()->m_pMiddlePlane, model.GetJawRef()->m_pMiddlePlane);
        const QvImageMeasure* tracing = model.FindImageMeasure(1, false);
        EXPECT_EQ(tracing != nullptr, row.tracing != OSRow::NoTracing);
        if (tracing)
        {
            EXPECT_EQ(AsFake(tracing)->value, row.tracing == OSRow::FlagZero ? 0 : kTracingValue);
        }
        EXPECT_GE(QvEntity::NextId(), kStoredNextId);
    }
}

struct DMRow
{
    int version;
    bool oldFixedInfo, bones, hinge, airway, oldToothRefs;
};

const DMRow kDMRows[] = {
    {0x801, true, false, false, false, true},  {0x802, false, false, false, false, true},
    {0x803, false, true, false, false, true},  {0x804, false, true, true, false, true},
    {0x805, false, true, true, true, true},    {0x806, false, true, true, true, false},
};

std::string BuildDM(const Parts& parts, const DMRow& row)
{
    std::ostringstream os;
    if (row.oldFixedInfo)
        PutOldFixedInfo(os, "C-DM");
    else
        PutCurrentInfo(os, "C-DM");
    parts.PutEntities(os, row.version, true);
    PutBonesToToothRefs(os, parts, row);
    return os.str();
}

TEST_F(CaseDocument, EveryDentalModelVersionReadsItsOwnSections)
{
    FakeSchemeLog log;
    QvSetSchemeFileLink(std::make_unique<FakeSchemeLink>(&log));
    const Parts parts;
    for (const DMRow& row : kDMRows)
    {
        SCOPED_TRACE(testing::Message() << std::hex << row.version);
        QvModel model;
        const int before = log.defaultSchemes;
        bool consumed = false;
        ASSERT_TRUE(ReadDMFrom(model, BuildDM(parts, row), row.version, &consumed));
        EXPECT_TRUE(consumed);
        EXPECT_EQ(log.defaultSchemes, before + 1); // the case starts with its "default" scheme
        EXPECT_EQ(model.GetPatientInfo()->m_title, "C-DM");
        EXPECT_EQ(model.m_jaws.size(), 2u);
        ASSERT_NE(model.FindTooth(11), nullptr);
        EXPECT_NE(model.FindTooth(11)->GetToothRef(), nullptr);
        EXPECT_EQ(model.m_gums.size(), 1u);
        EXPECT_EQ(model.m_jawBones.size(), row.bones ? 1u : 0u);
        EXPECT_EQ(model.GetHingeAxis() != nullptr, row.hinge);
        EXPECT_EQ(model.GetAirway() != nullptr, row.airway);
        ExpectSamePlane(parts.model.GetJawRef()->m_pMiddlePlane, model.GetJawRef()->m_pMiddlePlane);
    }
}

// ---- Sections that belong to other libraries ------------------------------------------

TEST_F(CaseDocument, TracingNeedsTheImageMeasureCode)
{
    const Parts parts;
    const OSRow record = kOSRows[1];  // 0x403
    const OSRow flagZero = kOSRows[2]; // 0x404
    const OSRow flagOne = kOSRows[3];  // 0x405
    {
        QvModel model; // nothing can read a stored tracing
        EXPECT_FALSE(ReadOSFrom(model, BuildOS(parts, record), record.version));
    }
    {
        QvModel model; // a tracing flagged absent needs nothing
        EXPECT_TRUE(ReadOSFrom(model, BuildOS(parts, flagZero), flagZero.version));
        EXPECT_TRUE(model.m_imageMeasures.empty());
    }
    InstallFakeImageMeasures(false);
    {
        QvModel model; // measures without a reader
        EXPECT_FALSE(ReadOSFrom(model, BuildOS(parts, flagOne), flagOne.version));
    }
}

TEST_F(CaseDocument, SchemeSectionGoesThroughTheSchemeLibrary)
{
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    // Without the scheme library an empty section is written and only such reads back.
    std::string bytes = OSBody(source, 0x413);
    {
        QvModel back;
        EXPECT_TRUE(ReadOSFrom(back, bytes, 0x413));
        bytes.replace(bytes.size() - 4, 4, std::string("\x01\0\0\0", 4));
        QvModel other;
        EXPECT_FALSE(ReadOSFrom(other, bytes, 0x413));
    }

    FakeSchemeLog log;
    QvSetSchemeFileLink(std::make_unique<FakeSchemeLink>(&log));
    bytes = OSBody(source, 0x413);
    QvModel back;
    bool consumed = false;
    ASSERT_TRUE(ReadOSFrom(back, bytes, 0x413, &consumed));
    EXPECT_TRUE(consumed);
    EXPECT_EQ(log.documentSchemes, std::vector<std::int32_t>{77});
    EXPECT_EQ(log.lastOwner, &back); // no owner given: the schemes bind to the model read
    EXPECT_EQ(log.defaultSchemes, 0);
    // A scheme record that fails fails the document.
    bytes.replace(bytes.size() - 4, 4, std::string("\xff\xff\xff\xff", 4));
    QvModel failed;
    EXPECT_FALSE(ReadOSFrom(failed, bytes, 0x413));
}

// ---- Edge cases of the case document ----------------------------------------------------

TEST_F(CaseDocument, ModelWithoutOptionalRecordsWritesThreeZeroFlags)
{
    QvModel model;
    qvtest::CaseOptions options = SmallCase();
    options.withHinge = false;
    options.withAirway = false;
    qvtest::FillCase(model, options);
    delete model.m_pJawRef;
    model.m_pJawRef = nullptr;
    const std::string part = qvtest::BytesOf(
        [&](std::ostream& os) { model.WriteOSPart(os, 0x413, QvModel::OSWriteStop::AfterJawBones); });
    const std::string full = OSBody(model, 0x413);
    ASSERT_EQ(full.size(), part.size() + 16);
    EXPECT_EQ(full.substr(part.size()), std::string(16, '\0')); // hinge, airway, jaw refs, no schemes
}

TEST_F(CaseDocument, NegativeJawCountFailsAfterInfoAndNextId)
{
    std::ostringstream os;
    PutCurrentInfo(os, "C-NEG");
    qvio::WriteI32(os, kStoredNextId);
    qvio::WriteI32(os, -1);
    QvModel model;
    EXPECT_FALSE(ReadOSFrom(model, os.str(), 0x413));
    EXPECT_EQ(model.GetPatientInfo()->m_title, "C-NEG");
    EXPECT_GE(QvEntity::NextId(), kStoredNextId);

    // A count that the bytes left cannot hold is refused before anything is made.
    std::ostringstream huge;
    PutCurrentInfo(huge, "C-HUGE");
    qvio::WriteI32(huge, 200);
    qvio::WriteI32(huge, 0x7fffffff);
    QvModel other;
    EXPECT_FALSE(ReadOSFrom(other, huge.str(), 0x413));
    EXPECT_TRUE(other.m_jaws.empty());
}

TEST_F(CaseDocument, SmallStoredNextIdLeavesTheCounterAtItsFloor)
{
    const Parts parts;
    std::string bytes = BuildOS(parts, kOSRows[11]);
    QvModel model;
    // The next id follows the patient information (current form).
    const std::size_t at = 4 + 8 + 4 + 1 + 4 + 4 + 4 + 5;
    const std::int32_t forty = 40;
    bytes.replace(at, 4, reinterpret_cast<const char*>(&forty), 4);
    ASSERT_TRUE(ReadOSFrom(model, bytes, 0x413));
    EXPECT_GE(QvEntity::NextId(), 100);
}

TEST_F(CaseDocument, ReadingADocumentReplacesWhatTheModelHeld)
{
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    const std::string bytes = OSBody(source, 0x413);
    QvModel model;
    qvtest::FillCase(model, SmallCase()); // destroyed by the read (ASan reports a leak otherwise)
    ASSERT_TRUE(ReadOSFrom(model, bytes, 0x413));
    EXPECT_EQ(model.m_jaws.size(), 2u);
    EXPECT_EQ(model.m_teeth.size(), 3u);
    EXPECT_EQ(model.m_gums.size(), 2u);
    EXPECT_EQ(model.m_jawBones.size(), 2u);
}

TEST_F(CaseDocument, ToothReferenceRecordsBindOrAreDropped)
{
    const Parts parts;
    const auto refsFor = [](std::int32_t fdi, std::int32_t state) {
        std::ostringstream os;
        qvio::WriteI32(os, 1);
        qvio::WriteI32(os, 0);
        qvio::WriteI32(os, fdi);
        qvio::WriteI32(os, state);
        for (int i = 0; i < 2; ++i) // two-plane form of 1030 on, both empty
            qvio::WriteI32(os, 0);
        return os.str();
    };
    QvModel model;
    std::string all = qvtest::BytesOf([&](std::ostream& os) { parts.model.WriteOS(os, 0x410); });
    ASSERT_TRUE(ReadOSFrom(model, all, 0x410));
    // A left-out tooth (state 4) whose number names no tooth: dropped, not leaked.
    std::istringstream missing(refsFor(45, 4));
    EXPECT_TRUE(model.ReadToothRefs(missing, 0x410));
    // Any other state needs its tooth.
    std::istringstream unbound(refsFor(45, 1));
    EXPECT_FALSE(model.ReadToothRefs(unbound, 0x410));
}

TEST_F(CaseDocument, FailedFlaggedJawRefDropsTheSet)
{
    QvModel model;
    std::ostringstream os;
    qvio::WriteI32(os, 1);
    qvio::WriteI32(os, 1); // a present plane with nothing after it
    std::istringstream is(os.str());
    EXPECT_FALSE(model.ReadFlaggedJawRef(is, 0x413));
    EXPECT_EQ(model.GetJawRef(), nullptr);
}

TEST_F(CaseDocument, BodiesSurviveDamage)
{
    InstallFakeImageMeasures(true);
    QvModel source;
    qvtest::FillCase(source, SmallCase());
    const auto readOS = [](int version) {
        return [version](std::istream& is) {
            QvModel model;
            return model.ReadOS(is, version, nullptr);
        };
    };
    {
        SCOPED_TRACE("OS 0x413");
        qvtest::ExpectReaderSurvivesDamage(OSBody(source, 0x413), readOS(0x413), 300);
    }
    const Parts parts;
    for (const OSRow& row : {kOSRows[1], kOSRows[4]})
    {
        SCOPED_TRACE(testing::Message() << "OS " << std::hex << row.version);
        qvtest::ExpectReaderSurvivesDamage(BuildOS(parts, row), readOS(row.version), 200);
    }
    for (const int version : {0x806, 0x801})
    {
        SCOPED_TRACE(testing::Message() << "DM " << std::hex << version);
        const std::string bytes = version == 0x806
                                      ? qvtest::BytesOf([&](std::ostream& os) { source.WriteDM(os, version); })
                                      : BuildDM(parts, kDMRows[0]);
        qvtest::ExpectReaderSurvivesDamage(bytes, [version](std::istream& is) {
            QvModel model;
            return model.ReadDM(is, version);
        }, 200);
    }
}

// ---- The 0x100 family -------------------------------------------------------------------

TEST_F(CaseDocument, OlderFamilyBodiesRoundTrip)
{
    QvModel source;
    qvtest::CaseOptions options = SmallCase();
    options.fdis.clear();
    options.crownRings = 1;
    qvtest::FillCase(source, options);
    // The system writes no tooth of this family and reads gums only up to 259: a body
    // of jaws, jaw bones, hinge axis and airway is what round-trips at 0x107.
    while (!source.m_teeth.empty())
        source.RemoveEntity(source.m_teeth.back()->GetID(), true);
    while (!source.m_gums.empty())
        source.RemoveEntity(source.m_gums.back()->GetID(), true);
    for (QvEntity* jaw : source.m_jaws)
    {
        static_cast<QvJaw*>(jaw)->CopyMeshData(qvtest::MakeGrid(3, 3));
        static_cast<QvJaw*>(jaw)->InitLabels();
    }

    const std::string bytes = qvtest::BytesOf([&](std::ostream& os) { source.WriteTSD(os, 0x107); });
    QvModel back;
    std::istringstream is(bytes);
    ASSERT_TRUE(back.ReadTSD(is, 0x107));
    EXPECT_EQ(is.peek(), std::char_traits<char>::eof());
    EXPECT_EQ(back.m_jaws.size(), 2u);
    EXPECT_EQ(static_cast<QvJaw*>(back.m_jaws[0])->m_vertices.size(), 9u);
    EXPECT_EQ(back.m_jawBones.size(), 2u);
    ASSERT_NE(back.GetAirway(), nullptr);
    ExpectSameMesh(*source.GetAirway(), *back.GetAirway());
    EXPECT_EQ(back.GetPatientInfo()->m_title, source.GetPatientInfo()->m_title);

    // Tooth lists up to 0x104.
    auto* list = new QvToothList();
    list->SetJaw(source.GetJaw(true));
    source.AddEntity(list);
    const std::string older = qvtest::BytesOf([&](std::ostream& os) { source.WriteTSD(os, 0x104); });
    QvModel back104;
    std::istringstream is104(older);
    ASSERT_TRUE(back104.ReadTSD(is104, 0x104));
    ASSERT_EQ(back104.m_toothLists.size(), 1u);
    EXPECT_EQ(back104.GetToothList(true), back104.m_toothLists[0]);

    EXPECT_TRUE(qvtest::BytesOf([&](std::ostream& os) { source.WriteTSD(os, 0x101); }).empty());
    EXPECT_TRUE(qvtest::BytesOf([&](std::ostream& os) { source.WriteTSD(os, 0x413); }).empty());
    std::istringstream none(bytes);
    QvModel rejected;
    EXPECT_FALSE(rejected.ReadTSD(none, 0x108));

    // The variant with embedded teeth.
    auto* embedded = new QvToothEmbeded();
    embedded->CopyMeshData(qvtest::MakeGrid(2, 3));
    source.AddEntity(embedded);
    const std::string variant = qvtest::BytesOf([&](std::ostream& os) { source.WriteTSDWithEmbedded(os, 0x107); });
    QvModel backVariant;
    std::istringstream isVariant(variant);
    ASSERT_TRUE(backVariant.ReadTSDWithEmbedded(isVariant, 0x107));
    ASSERT_EQ(backVariant.m_embeddedTeeth.size(), 1u);
    EXPECT_EQ(static_cast<QvMesh*>(backVariant.m_embeddedTeeth[0])->m_faces.size(), 4u);
    EXPECT_NE(backVariant.GetHingeAxis(), nullptr);
}

} // namespace
