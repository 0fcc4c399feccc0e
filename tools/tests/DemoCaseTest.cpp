// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracketGeo.h"
#include "core/design/QvBracketSeriesMgr.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvAirway.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/model/QvVirtualTooth.h"
#include "core/model/QvZipArchive.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "testing/DemoCase.h"

namespace {

namespace fs = std::filesystem;
using namespace qvtest;

std::string ReadAll(const fs::path& path)
{
    std::ifstream is(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

std::string AfterHeader(const std::string& data) { return data.substr(std::min(data.size(), data.find('\n'))); }

class Folder
{
public:
    explicit Folder(const std::string& name)
        : m_path(fs::temp_directory_path() / (name + "-" + std::to_string(::getpid())))
    {
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~Folder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

DemoOptions SmallOptions()
{
    DemoOptions options;
    options.dentition.facesPerTooth = 300;
    options.steps = 10;
    return options;
}

// ---- An oracle of our own for the declared contacts: every vertex against every
// triangle, nearest point by projection onto the plane or else onto the edges.
struct V3
{
    double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(double s, V3 a) { return {s * a.x, s * a.y, s * a.z}; }
double Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

V3 NearestOnSegment(V3 p, V3 a, V3 b)
{
    const V3 ab = b - a;
    const double t = std::clamp(Dot(p - a, ab) / Dot(ab, ab), 0.0, 1.0);
    return a + t * ab;
}

V3 NearestOnTriangle(V3 p, V3 a, V3 b, V3 c)
{
    const V3 n = Cross(b - a, c - a);
    const V3 q = p - (Dot(p - a, n) / Dot(n, n)) * n;
    const bool inside = Dot(Cross(b - a, q - a), n) >= 0 && Dot(Cross(c - b, q - b), n) >= 0 &&
                        Dot(Cross(a - c, q - c), n) >= 0;
    if (inside)
        return q;
    V3 best = NearestOnSegment(p, a, b);
    for (const V3 x : {NearestOnSegment(p, b, c), NearestOnSegment(p, c, a)})
        if (Dot(p - x, p - x) < Dot(p - best, p - best))
            best = x;
    return best;
}

std::vector<V3> Placed(const QvMesh& mesh, const QvMatrix& m)
{
    std::vector<V3> out;
    for (const QvVertex& v : mesh.m_vertices)
    {
        const double* p = v.m_point.m_coord;
        out.push_back({m[0][0] * p[0] + m[0][1] * p[1] + m[0][2] * p[2] + m[0][3],
                       m[1][0] * p[0] + m[1][1] * p[1] + m[1][2] * p[2] + m[1][3],
                       m[2][0] * p[0] + m[2][1] * p[1] + m[2][2] * p[2] + m[2][3]});
    }
    return out;
}

double BruteClearance(const QvMesh& a, const QvMatrix& ma, const QvMesh& b, const QvMatrix& mb)
{
    const std::vector<V3> pa = Placed(a, ma), pb = Placed(b, mb);
    double gap = 1e300, depth = 0.0;
    auto run = [&](const std::vector<V3>& from, const std::vector<V3>& to, const QvMesh& toMesh) {
        for (const V3 p : from)
        {
            double best = 1e300, side = 0.0;
            for (const QvFace& f : toMesh.m_faces)
            {
                const V3 x = to[static_cast<std::size_t>(f.m_vertices[0])];
                const V3 y = to[static_cast<std::size_t>(f.m_vertices[1])];
                const V3 z = to[static_cast<std::size_t>(f.m_vertices[2])];
                const V3 q = NearestOnTriangle(p, x, y, z);
                const double d = Dot(p - q, p - q);
                if (d < best)
                {
                    best = d;
                    side = Dot(p - q, Cross(y - x, z - x));
                }
            }
            const double d = std::sqrt(best);
            if (side < 0 && d < 2.0)
                depth = std::max(depth, d);
            else
                gap = std::min(gap, d);
        }
    };
    run(pa, pb, b);
    run(pb, pa, a);
    return depth > 0 ? -depth : gap;
}

TEST(DemoDentition, TeethShapesAndReferenceData)
{
    for (const bool thirtyTwo : {false, true})
    {
        DentitionOptions options;
        options.thirtyTwo = thirtyTwo;
        options.facesPerTooth = 400;
        QvModel model;
        GenerateDentition(model, options);
        ASSERT_EQ(model.m_teeth.size(), thirtyTwo ? 32u : 28u);
        ASSERT_EQ(model.m_jaws.size(), 2u);
        ASSERT_EQ(model.m_gums.size(), 2u);
        ASSERT_EQ(model.m_jawBones.size(), 2u);
        ASSERT_NE(model.GetHingeAxis(), nullptr);
        int rooted = 0;
        for (QvEntity* entity : model.m_teeth)
        {
            const auto* tooth = static_cast<const QvTooth*>(entity);
            SCOPED_TRACE(tooth->GetFdi());
            // The tooth frame's X runs mesio-distally (mesial, whichever the quadrant):
            // the crown's extent along it is the tooth's width.
            const QvFrame& frame = *tooth->GetFrame();
            double lo = 1e300, hi = -1e300;
            bool root = false;
            for (const QvFace& f : tooth->m_faces)
                root = root || f.m_tag == 4;
            rooted += root;
            for (const QvVertex& v : tooth->m_vertices)
            {
                const double s = (v.m_point.m_coord[0] - frame.m_centre.m_coord[0]) * frame.m_dirX.m_coord[0] +
                                 (v.m_point.m_coord[1] - frame.m_centre.m_coord[1]) * frame.m_dirX.m_coord[1] +
                                 (v.m_point.m_coord[2] - frame.m_centre.m_coord[2]) * frame.m_dirX.m_coord[2];
                lo = std::min(lo, s);
                hi = std::max(hi, s);
            }
            EXPECT_NEAR(hi - lo, ToothWidth(tooth->GetFdi()), 0.05 * ToothWidth(tooth->GetFdi()));
            const QvToothRef* ref = tooth->GetToothRef();
            ASSERT_NE(ref, nullptr);
            EXPECT_TRUE(ref->HasFacc());
            EXPECT_TRUE(ref->HasMidCurve());
            EXPECT_TRUE(ref->HasAllFeaturePoints());
        }
        EXPECT_GT(rooted, 0);
        EXPECT_LT(rooted, static_cast<int>(model.m_teeth.size()));
    }
}

TEST(DemoCase, StepLayoutAndDeclaredContacts)
{
    const DemoOptions options = SmallOptions();
    DemoCase demo;
    ASSERT_TRUE(BuildDemoCase(demo, options));
    QvScheme& scheme = *demo.scheme;
    EXPECT_EQ(scheme.GetStepCount(), options.steps);
    const QvTooth* t11 = demo.model->FindTooth(11);
    const QvTooth* t31 = demo.model->FindTooth(31);
    ASSERT_TRUE(t11 && t31);
    EXPECT_EQ(scheme.GetInitialStep(t11)->GetType(), kQvStepInitial);
    EXPECT_EQ(scheme.FindFinalStep(t11)->GetStep(), demo.finalStep);
    EXPECT_EQ(scheme.GetTreatStep(demo.keyStep, t11)->GetType(), kQvStepKey);
    EXPECT_EQ(scheme.FindOverCorrectionEnd(t11)->GetStep(), options.steps - 1);
    EXPECT_TRUE(scheme.HasBite(demo.lowerFinalStep + 1));
    ASSERT_NE(scheme.GetTreatStep(demo.lowerFinalStep + 2, t31), nullptr);
    EXPECT_EQ(scheme.GetTreatStep(demo.lowerFinalStep + 2, t31)->GetType(), kQvStepBite);

    ASSERT_EQ(demo.contacts.size(), 7u);
    for (const DemoContact& c : demo.contacts)
    {
        SCOPED_TRACE(std::to_string(c.fdiA) + "-" + std::to_string(c.fdiB) + " at " + std::to_string(c.step));
        EXPECT_TRUE(c.overlap ? c.amount >= 0.05 && c.amount <= 0.3 : c.amount >= 0.1 && c.amount <= 0.5);
        const QvTooth* a = demo.model->FindTooth(c.fdiA);
        const QvTooth* b = demo.model->FindTooth(c.fdiB);
        const double measured = BruteClearance(*a, DemoStepMatrix(scheme, a, c.step), *b, DemoStepMatrix(scheme, b, c.step));
        EXPECT_NEAR(measured, c.overlap ? -c.amount : c.amount, 1e-4);
    }
}

template <typename T>
std::string Bytes(const T& object, int version)
{
    std::ostringstream os;
    object.Write(os, version);
    return os.str();
}

// The scheme's records that the round trip must keep: the pontic in place of the
// extracted tooth, the attachments by tooth, template and steps, the saved target's date.
void ExpectDemoRecords(QvScheme& scheme, const std::vector<DemoAttachment>& attachments, std::size_t ponticVertices)
{
    ASSERT_EQ(scheme.GetVirtualTeeth().size(), 1u);
    const auto* pontic = dynamic_cast<const QvVirtualTooth*>(scheme.GetVirtualTeeth()[0]);
    ASSERT_NE(pontic, nullptr);
    EXPECT_EQ(pontic->m_nFdi, 25);
    EXPECT_EQ(pontic->m_vertices.size(), ponticVertices);
    ASSERT_NE(scheme.FindFinalStep(pontic), nullptr);
    ASSERT_EQ(scheme.GetExtractedTeeth().size(), 1u);
    const auto* extracted = dynamic_cast<const QvTooth*>(*scheme.GetExtractedTeeth().begin());
    ASSERT_NE(extracted, nullptr);
    EXPECT_EQ(extracted->GetFdi(), 25);

    std::vector<QvAttachment*> read;
    scheme.GetAllAttachments(read);
    ASSERT_EQ(read.size(), attachments.size());
    for (std::size_t i = 0; i < read.size(); ++i)
    {
        const auto* tooth = dynamic_cast<const QvTooth*>(read[i]->m_pTooth);
        ASSERT_NE(tooth, nullptr);
        EXPECT_EQ(tooth->GetFdi(), attachments[i].fdi);
        // Resolved against the library read from the Attachment folder.
        ASSERT_NE(read[i]->GetGeometry(), nullptr) << attachments[i].geometry;
        EXPECT_EQ(read[i]->GetGeometry()->m_name, attachments[i].geometry);
        EXPECT_EQ(read[i]->m_nFirstStep, attachments[i].firstStep);
        EXPECT_EQ(read[i]->m_nLastStep, attachments[i].lastStep);
    }
    ASSERT_EQ(scheme.GetTargetMgr().GetEntries().size(), 1u);
    EXPECT_EQ(scheme.GetTargetMgr().GetEntries()[0].m_strName, "2024/3/7");
}

TEST(DemoCase, FilesReadBackAndRepeat)
{
    const DemoOptions options = SmallOptions();
    Folder first("rivela-demo-a"), second("rivela-demo-b");
    std::vector<DemoAttachment> attachments;
    std::size_t ponticVertices = 0, airwayVertices = 0;
    // The clock stands on two different days; the files must not notice.
    const QvDate before = QvSetFixedDate(QvDate{2023, 1, 2});
    {
        DemoCase demo;
        ASSERT_TRUE(BuildDemoCase(demo, options));
        std::string error;
        ASSERT_TRUE(WriteDemoFiles(first.Path().string(), demo, options, &error)) << error;
        attachments = demo.attachments;
        ASSERT_NE(demo.pontic, nullptr);
        ponticVertices = demo.pontic->m_vertices.size();
        ASSERT_NE(demo.model->GetAirway(), nullptr);
        airwayVertices = demo.model->GetAirway()->m_vertices.size();
    }
    (void)QvSetFixedDate(QvDate{2025, 11, 30});
    {
        DemoCase demo;
        ASSERT_TRUE(BuildDemoCase(demo, options));
        std::string error;
        ASSERT_TRUE(WriteDemoFiles(second.Path().string(), demo, options, &error)) << error;
    }
    (void)QvSetFixedDate(before);
    EXPECT_EQ(attachments.size(), 6u);
    // One seed, the same bytes.
    std::size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(first.Path()))
        if (entry.is_regular_file())
        {
            const fs::path rel = fs::relative(entry.path(), first.Path());
            EXPECT_TRUE(ReadAll(entry.path()) == ReadAll(second.Path() / rel)) << rel;
            ++files;
        }
    std::size_t secondFiles = 0;
    for (const auto& entry : fs::recursive_directory_iterator(second.Path()))
        secondFiles += entry.is_regular_file();
    EXPECT_EQ(files, secondFiles);
    for (const char* name : {"demo.OS", "demo-1.RVS", "BKT/DEMO.bkt"})
        EXPECT_TRUE(fs::exists(first.Path() / name)) << name;
    const std::string osHeader = ReadAll(first.Path() / "demo.OS").substr(0, 64);
    EXPECT_NE(osHeader.find("@2024/3/7\n"), std::string::npos) << osHeader;

    // The attachment library read back from the generated folder. The demo cases built
    // above are gone, so nothing refers to the templates being replaced.
    QvAttachGeoMgr::Reset();
    QvAttachGeoMgr::ReadFolder(QvAttachGeoMgr::Instance(), (first.Path() / "Attachment").c_str());
    {
        std::vector<DemoTemplate> templates = MakeDemoTemplates();
        ASSERT_EQ(QvAttachGeoMgr::Instance().size(), templates.size());
        for (DemoTemplate& t : templates)
        {
            SCOPED_TRACE(t.geo->m_name);
            const auto found = std::find_if(QvAttachGeoMgr::Instance().begin(), QvAttachGeoMgr::Instance().end(),
                                            [&](const QvAttachGeo* g) { return g->m_name == t.geo->m_name; });
            ASSERT_NE(found, QvAttachGeoMgr::Instance().end());
            EXPECT_EQ((*found)->GetClassName(), t.geo->GetClassName());
            EXPECT_EQ((*found)->GetKindCode(), t.geo->GetKindCode());
            t.geo->SetID((*found)->GetID());
            t.geo->m_state = (*found)->m_state;
            EXPECT_TRUE(Bytes(**found, t.version) == Bytes(*t.geo, t.version));
        }
    }
    // The bracket series unpacked and read by the series library.
    {
        QvBracketSeriesMgr* mgr = QvBracketSeriesMgr::Instance();
        mgr->ResetForTests();
        fs::create_directories(first.Path() / "tmp");
        mgr->m_baseFolder = (first.Path() / "BKT").string();
        mgr->m_tempFolder = (first.Path() / "tmp").string() + "/";
        testing::internal::CaptureStdout(); // the library reports the folder it makes
        const QvBracketGeoSeries* series = mgr->ReadSeries("DEMO");
        testing::internal::GetCapturedStdout();
        ASSERT_NE(series, nullptr);
        const std::unique_ptr<QvBracketGeoSeries> expected = MakeDemoBracketSeries(options.dentition);
        EXPECT_EQ(series->m_nKey, expected->m_nKey);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(series->m_attributes[i], expected->m_attributes[i]);
        ASSERT_EQ(series->m_bodies.size(), expected->m_bodies.size());
        EXPECT_EQ(series->m_bodies.size(), 28u);
        for (std::size_t i = 0; i < series->m_bodies.size(); ++i)
        {
            // Ids and the shown bit belong to this process (loaded bodies start hidden).
            QvBracketGeo& want = *expected->m_bodies[i];
            const QvBracketGeo& got = *series->m_bodies[i];
            want.SetID(got.GetID());
            want.m_state = got.m_state;
            ASSERT_TRUE(want.m_pSecondMesh && got.m_pSecondMesh);
            want.m_pSecondMesh->SetID(got.m_pSecondMesh->GetID());
            want.m_pSecondMesh->m_state = got.m_pSecondMesh->m_state;
            EXPECT_TRUE(Bytes(got, kQvBracketVersion1) == Bytes(want, kQvBracketVersion1)) << want.m_name;
        }
        EXPECT_NE(mgr->FindGeo("DEMO-36"), nullptr);
        mgr->ResetForTests();
        mgr->m_baseFolder.clear();
        mgr->m_tempFolder.clear();
    }

    // Case document: read, write again, same body.
    const fs::path dir = first.Path();
    {
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        ASSERT_EQ(reader.ReadOS((dir / "demo.OS").string()), 0);
        EXPECT_EQ(model.m_teeth.size(), 28u);
        ASSERT_NE(QvGetSchemeMgr(model), nullptr);
        ASSERT_NE(QvGetSchemeMgr(model)->GetCurScheme(), nullptr);
        EXPECT_EQ(QvGetSchemeMgr(model)->GetCurScheme()->GetStepCount(), options.steps);
        ExpectDemoRecords(*QvGetSchemeMgr(model)->GetCurScheme(), attachments, ponticVertices);
        ASSERT_NE(model.GetAirway(), nullptr);
        EXPECT_EQ(model.GetAirway()->m_vertices.size(), airwayVertices);
        QvReadWriteFile writer(&model, 0);
        ASSERT_TRUE(writer.WriteOS((dir / "again.OS").string(), 0x413));
        // Only the stored next entity id (one int32) may differ: the reader sets the
        // counter from it and then creates entities of its own.
        const std::string again = AfterHeader(ReadAll(dir / "again.OS"));
        const std::string original = AfterHeader(ReadAll(dir / "demo.OS"));
        ASSERT_EQ(again.size(), original.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < again.size(); ++i)
            differing += again[i] != original[i];
        EXPECT_LE(differing, 4u);
    }
    // Dental model from the zip: same meshes as the case document's.
    {
        QvZipArchive zip;
        std::vector<std::string> names;
        testing::internal::CaptureStdout();
        const bool unzipped = zip.Unzip((dir / "demo-model.zip").string(), (dir / "unzipped").string() + "/", &names);
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(unzipped);
        ASSERT_EQ(names, std::vector<std::string>{"DEMO-0001/demo.DM"});
        QvModel fromDM, fromOS;
        QvReadWriteFile dmReader(&fromDM, 0), osReader(&fromOS, 0);
        ASSERT_EQ(dmReader.ReadDM((dir / "unzipped" / names[0]).string()), 0);
        ASSERT_EQ(osReader.ReadOS((dir / "demo.OS").string()), 0);
        ASSERT_EQ(fromDM.m_teeth.size(), fromOS.m_teeth.size());
        for (std::size_t i = 0; i < fromDM.m_teeth.size(); ++i)
        {
            const auto* x = static_cast<const QvTooth*>(fromDM.m_teeth[i]);
            const auto* y = static_cast<const QvTooth*>(fromOS.m_teeth[i]);
            EXPECT_EQ(x->GetFdi(), y->GetFdi());
            ASSERT_EQ(x->m_vertices.size(), y->m_vertices.size());
            for (std::size_t k = 0; k < x->m_vertices.size(); ++k)
                ASSERT_EQ(x->m_vertices[k].m_point, y->m_vertices[k].m_point);
        }
    }
    // Scheme files: one and three schemes, written again unchanged.
    for (const auto& [name, count] : std::map<std::string, std::size_t>{{"demo-1.RVS", 1}, {"demo-3.RVS", 3}})
    {
        SCOPED_TRACE(name);
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        ASSERT_EQ(reader.ReadOS((dir / "demo.OS").string()), 0);
        std::vector<QvScheme*> schemes;
        QvPatientInfo info;
        const int code = reader.ReadRVS((dir / name).string(), schemes, &info);
        std::vector<std::unique_ptr<QvScheme>> owned(schemes.begin(), schemes.end());
        ASSERT_EQ(code, 0);
        ASSERT_EQ(schemes.size(), count);
        EXPECT_EQ(info.m_title, "DEMO-0001");
        for (QvScheme* scheme : schemes)
            ExpectDemoRecords(*scheme, attachments, ponticVertices);
        ASSERT_TRUE(reader.WriteRVS((dir / "again.RVS").string(), 0x2007, schemes));
        EXPECT_EQ(AfterHeader(ReadAll(dir / "again.RVS")), AfterHeader(ReadAll(dir / name)));
    }
}

TEST(DemoCase, DamagedVariantsAreRefused)
{
    const DemoOptions options = SmallOptions();
    Folder folder("rivela-demo-bad");
    DemoCase demo;
    ASSERT_TRUE(BuildDemoCase(demo, options));
    std::string error;
    ASSERT_TRUE(WriteDemoFiles(folder.Path().string(), demo, options, &error)) << error;
    const fs::path bad = folder.Path() / "corrupt";
    const struct
    {
        const char* name;
        int code; // -1: any failure
    } rows[] = {{"truncated.OS", 1}, {"header-only.OS", 1}, {"wrong-tag.OS", -1}, {"newer.OS", 3}, {"older.OS", 2}};
    for (const auto& row : rows)
    {
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        const int code = reader.ReadOS((bad / row.name).string());
        if (row.code < 0)
            EXPECT_NE(code, 0) << row.name;
        else
            EXPECT_EQ(code, row.code) << row.name;
    }
    {
        QvModel model;
        QvReadWriteFile reader(&model, 0);
        EXPECT_EQ(reader.ReadDM((bad / "truncated.DM").string()), 1);
        std::vector<QvScheme*> schemes;
        EXPECT_EQ(reader.ReadRVS((bad / "truncated.RVS").string(), schemes, nullptr), 1);
        for (QvScheme* s : schemes)
            delete s;
    }
    for (const char* name : {"empty.zip", "zip-slip.zip"})
    {
        QvZipArchive zip;
        testing::internal::CaptureStdout();
        const bool unzipped = zip.Unzip((bad / name).string(), (folder.Path() / "out").string() + "/", nullptr);
        testing::internal::GetCapturedStdout();
        EXPECT_FALSE(unzipped) << name;
    }
    EXPECT_FALSE(fs::exists(folder.Path() / "escaped.DM"));
}

} // namespace
