// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/DemoCase.h"

#include <minizip/zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <map>
#include <sstream>

#include "core/design/QvAttachGeoMgr.h"
#include "core/design/QvAttachGeoStd.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracketGeo.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvCompress.h"
#include "core/model/QvFileVersion.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeFileLinkImpl.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStepList.h"

namespace qvtest {

namespace {

namespace fs = std::filesystem;

struct Placed
{
    std::vector<QvPoint> points;
    std::vector<std::array<int, 3>> faces;
    double lo[3] = {1e300, 1e300, 1e300};
    double hi[3] = {-1e300, -1e300, -1e300};
};

Placed Place(const QvMesh& mesh, const QvMatrix& m)
{
    Placed out;
    out.points.reserve(mesh.m_vertices.size());
    for (const QvVertex& v : mesh.m_vertices)
    {
        const double* p = v.m_point.m_coord;
        QvPoint q;
        for (int i = 0; i < 3; ++i)
        {
            q.m_coord[i] = m[i][0] * p[0] + m[i][1] * p[1] + m[i][2] * p[2] + m[i][3];
            out.lo[i] = std::min(out.lo[i], q.m_coord[i]);
            out.hi[i] = std::max(out.hi[i], q.m_coord[i]);
        }
        out.points.push_back(q);
    }
    for (const QvFace& f : mesh.m_faces)
        out.faces.push_back({f.m_vertices[0], f.m_vertices[1], f.m_vertices[2]});
    return out;
}

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Nearest point of triangle abc to p (the region walk of Ericson's book).
void ClosestOnTriangle(const double* p, const double* a, const double* b, const double* c, double* out)
{
    double ab[3], ac[3], ap[3];
    for (int i = 0; i < 3; ++i)
    {
        ab[i] = b[i] - a[i];
        ac[i] = c[i] - a[i];
        ap[i] = p[i] - a[i];
    }
    const double d1 = Dot(ab, ap), d2 = Dot(ac, ap);
    auto set = [out](const double* base, const double* e1, double s, const double* e2, double t) {
        for (int i = 0; i < 3; ++i)
            out[i] = base[i] + s * e1[i] + t * e2[i];
    };
    if (d1 <= 0.0 && d2 <= 0.0)
        return set(a, ab, 0.0, ac, 0.0);
    double bp[3];
    for (int i = 0; i < 3; ++i)
        bp[i] = p[i] - b[i];
    const double d3 = Dot(ab, bp), d4 = Dot(ac, bp);
    if (d3 >= 0.0 && d4 <= d3)
        return set(a, ab, 1.0, ac, 0.0);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0)
        return set(a, ab, d1 / (d1 - d3), ac, 0.0);
    double cp[3];
    for (int i = 0; i < 3; ++i)
        cp[i] = p[i] - c[i];
    const double d5 = Dot(ab, cp), d6 = Dot(ac, cp);
    if (d6 >= 0.0 && d5 <= d6)
        return set(a, ab, 0.0, ac, 1.0);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0)
        return set(a, ab, 0.0, ac, d2 / (d2 - d6));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0)
    {
        const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        for (int i = 0; i < 3; ++i)
            out[i] = b[i] + w * (c[i] - b[i]);
        return;
    }
    const double denom = 1.0 / (va + vb + vc);
    set(a, ab, vb * denom, ac, vc * denom);
}

double BoxDistance2(const double* p, const double* lo, const double* hi)
{
    double d = 0.0;
    for (int i = 0; i < 3; ++i)
    {
        const double e = p[i] < lo[i] ? lo[i] - p[i] : (p[i] > hi[i] ? p[i] - hi[i] : 0.0);
        d += e * e;
    }
    return d;
}

// One direction of the clearance: vertices of `from` against triangles of `to`. A
// triangle whose box is farther than the best so far cannot be the nearest one.
void OneWay(const Placed& from, const Placed& to, double* gap, double* depth)
{
    const double margin = 2.0;
    struct Near
    {
        int face;
        double lo[3], hi[3];
    };
    std::vector<Near> faces;
    for (std::size_t f = 0; f < to.faces.size(); ++f)
    {
        Near n{static_cast<int>(f), {1e300, 1e300, 1e300}, {-1e300, -1e300, -1e300}};
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 3; ++i)
            {
                const double v = to.points[static_cast<std::size_t>(to.faces[f][k])].m_coord[i];
                n.lo[i] = std::min(n.lo[i], v);
                n.hi[i] = std::max(n.hi[i], v);
            }
        bool near = true;
        for (int i = 0; i < 3; ++i)
            near = near && n.hi[i] >= from.lo[i] - margin && n.lo[i] <= from.hi[i] + margin;
        if (near)
            faces.push_back(n);
    }
    for (const QvPoint& q : from.points)
    {
        const double* p = q.m_coord;
        const double outside = BoxDistance2(p, to.lo, to.hi);
        // Outside the other crown's box the vertex is outside the crown, no nearer than the box.
        if (outside > margin * margin || (outside > 0.0 && outside >= *gap * *gap))
            continue;
        double best = 1e300, side = 1.0;
        for (const Near& n : faces)
        {
            if (BoxDistance2(p, n.lo, n.hi) >= best)
                continue;
            const auto& tri = to.faces[static_cast<std::size_t>(n.face)];
            const double* a = to.points[static_cast<std::size_t>(tri[0])].m_coord;
            const double* b = to.points[static_cast<std::size_t>(tri[1])].m_coord;
            const double* c = to.points[static_cast<std::size_t>(tri[2])].m_coord;
            double x[3];
            ClosestOnTriangle(p, a, b, c, x);
            const double dx = p[0] - x[0], dy = p[1] - x[1], dz = p[2] - x[2];
            const double d = dx * dx + dy * dy + dz * dz;
            if (d < best)
            {
                best = d;
                const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
                const double v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
                const double nn[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
                side = dx * nn[0] + dy * nn[1] + dz * nn[2];
            }
        }
        if (best == 1e300)
            continue;
        const double d = std::sqrt(best);
        if (side < 0.0 && d < margin)
            *depth = std::max(*depth, d);
        else
            *gap = std::min(*gap, d);
    }
}

QvTooth* ToothOf(const QvModel& model, int fdi) { return model.FindTooth(fdi); }

QvPoint Centre(const QvMesh& mesh, const QvMatrix& m)
{
    const QvPoint c((mesh.m_bbox.m_minPoint.m_coord[0] + mesh.m_bbox.m_maxPoint.m_coord[0]) * 0.5,
                    (mesh.m_bbox.m_minPoint.m_coord[1] + mesh.m_bbox.m_maxPoint.m_coord[1]) * 0.5,
                    (mesh.m_bbox.m_minPoint.m_coord[2] + mesh.m_bbox.m_maxPoint.m_coord[2]) * 0.5);
    QvPoint out;
    for (int i = 0; i < 3; ++i)
        out.m_coord[i] = m[i][0] * c.m_coord[0] + m[i][1] * c.m_coord[1] + m[i][2] * c.m_coord[2] + m[i][3];
    return out;
}

// Moves B at the step along the line between the crown centres until the clearance
// is the target; false when the target cannot be bracketed.
bool SetContact(QvScheme& scheme, QvTooth* a, QvTooth* b, int step, double target)
{
    QvTreatStep* stepB = scheme.GetTreatStep(step, b);
    if (!a || !b || !stepB)
        return false;
    const QvMatrix ma = DemoStepMatrix(scheme, a, step);
    const QvMatrix mb = *stepB->GetMatrix();
    const QvPoint ca = Centre(*a, ma), cb = Centre(*b, mb);
    double u[3] = {cb.m_coord[0] - ca.m_coord[0], cb.m_coord[1] - ca.m_coord[1], 0.0};
    const double n = std::sqrt(u[0] * u[0] + u[1] * u[1]);
    if (n <= 0.0)
        return false;
    u[0] /= n;
    u[1] /= n;
    auto shifted = [&](double s) { return Translation4(s * u[0], s * u[1], 0.0) * mb; };
    auto f = [&](double s) { return DemoClearance(*a, ma, *b, shifted(s)) - target; };
    double lo = -2.5, hi = 2.5;
    if (!(f(lo) < 0.0 && f(hi) > 0.0))
        return false;
    for (int i = 0; i < 34; ++i)
    {
        const double mid = 0.5 * (lo + hi);
        (f(mid) < 0.0 ? lo : hi) = mid;
    }
    stepB->SetMatrix(shifted(hi));
    return true;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream is(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(is), std::istreambuf_iterator<char>());
}

bool WriteAll(const std::string& path, const std::string& data)
{
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os.write(data.data(), static_cast<std::streamsize>(data.size()));
    os.close();
    return static_cast<bool>(os);
}

// Dates what is written while it lives; the previous setting comes back after.
class FixedDate
{
public:
    explicit FixedDate(const QvDate& date) : m_previous(QvSetFixedDate(date)) {}
    ~FixedDate() { QvSetFixedDate(m_previous); }
    FixedDate(const FixedDate&) = delete;
    FixedDate& operator=(const FixedDate&) = delete;

private:
    QvDate m_previous;
};

// A box of width x height on z = 0 narrowing to a top face at z = depth: the body of
// an attachment or of a bracket part, frame at the centre of its base.
void AddFrustum(QvMesh& mesh, double width, double height, double depth, double top, double z0 = 0.0)
{
    const int base = static_cast<int>(mesh.m_vertices.size());
    for (int level = 0; level < 2; ++level)
    {
        const double s = level == 0 ? 1.0 : top;
        const double z = z0 + (level == 0 ? 0.0 : depth);
        mesh.AddVertex(QvPoint(-0.5 * width * s, -0.5 * height * s, z));
        mesh.AddVertex(QvPoint(0.5 * width * s, -0.5 * height * s, z));
        mesh.AddVertex(QvPoint(0.5 * width * s, 0.5 * height * s, z));
        mesh.AddVertex(QvPoint(-0.5 * width * s, 0.5 * height * s, z));
    }
    // Outward windings: base seen from below, top from above, sides from outside.
    const int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                              {1, 2, 6}, {1, 6, 5}, {2, 3, 7}, {2, 7, 6}, {3, 0, 4}, {3, 4, 7}};
    for (const auto& f : faces)
        (void)mesh.AddFace(base + f[0], base + f[1], base + f[2], 0);
}

template <typename T>
DemoTemplate Template(const std::string& name, double width, double height, double depth, int version)
{
    auto geo = std::make_unique<T>();
    AddFrustum(*geo, width, height, depth, 0.7);
    geo->UpdateFaceNormals();
    geo->UpdateBBox();
    geo->m_name = name;
    geo->m_text = "demo";
    geo->m_frame = QvFrame(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    geo->m_dSize = width;
    geo->m_label = name;
    return DemoTemplate{std::move(geo), version};
}

// Where an attachment sits on a tooth at its crowded pose: on the labial face at
// 45 % of the crown height, its base on the surface, its Z axis pointing labially.
QvMatrix LabialPlacement(const DentitionTooth& t, int facesPerTooth)
{
    const QvMesh local = MakeToothMesh(t.fdi, facesPerTooth, false);
    double labial = 0.0;
    for (const QvVertex& v : local.m_vertices)
        if (std::abs(v.m_point.m_coord[0]) < 0.15 * t.width && v.m_point.m_coord[2] > 0.25 * t.height &&
            v.m_point.m_coord[2] < 0.65 * t.height)
            labial = std::max(labial, v.m_point.m_coord[1]);
    QvMatrix turn = Identity4();
    // Columns: attachment X along -X, Y along the crown's Z, Z along the labial Y (a rotation).
    turn[0][0] = -1.0;
    turn[1][1] = 0.0;
    turn[2][1] = 1.0;
    turn[1][2] = 1.0;
    turn[2][2] = 0.0;
    return ToothPose(t, 0.0) * Translation4(0.0, labial, 0.45 * t.height) * turn;
}

bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zf)
        return false;
    bool ok = true;
    for (const auto& [name, data] : entries)
    {
        zip_fileinfo info{}; // zero time stamp: same bytes every run
        ok = ok && zipOpenNewFileInZip64(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                         Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
    }
    return zipClose(zf, nullptr) == ZIP_OK && ok;
}

} // namespace

double DemoClearance(const QvMesh& a, const QvMatrix& placeA, const QvMesh& b, const QvMatrix& placeB)
{
    const Placed pa = Place(a, placeA), pb = Place(b, placeB);
    double gap = 1e300, depth = 0.0;
    OneWay(pa, pb, &gap, &depth);
    OneWay(pb, pa, &gap, &depth);
    return depth > 0.0 ? -depth : gap;
}

QvMatrix DemoStepMatrix(const QvScheme& scheme, const QvMesh* tooth, int step)
{
    const auto* base = dynamic_cast<const QvToothBase*>(tooth);
    const QvTreatStep* found = base ? scheme.FindStep(step, base) : nullptr;
    return found ? *found->GetMatrix() : Identity4();
}

int DemoFacesPreset(const std::string& name)
{
    if (name == "5k")
        return 5000;
    if (name == "20k")
        return 20000;
    if (name == "50k")
        return 50000;
    return 0;
}

std::vector<DemoTemplate> MakeDemoTemplates()
{
    std::vector<DemoTemplate> out;
    // Both template-file forms: class name (16386) and kind code (16389).
    out.push_back(Template<QvAttachGeoStd>("A-Rect3x2", 3.0, 2.0, 1.0, kQvAttachGeoVersion5));
    out.push_back(Template<QvAttachGeoStdCZ>("B-Rect4x2V", 2.0, 4.0, 1.2, kQvAttachGeoVersion2));
    out.push_back(Template<QvAttachGeoStdSP>("C-Bevel3x2", 3.0, 2.0, 0.9, kQvAttachGeoVersion2));
    out.push_back(Template<QvAttachGeoLingualButton>("D-Button", 2.5, 2.5, 1.5, kQvAttachGeoVersion5));
    return out;
}

std::unique_ptr<QvBracketGeoSeries> MakeDemoBracketSeries(const DentitionOptions& options)
{
    auto series = std::make_unique<QvBracketGeoSeries>();
    series->m_name = "DEMO";
    series->m_nKey = 1;
    const char* attributes[8] = {"MBT", "0.022", "metal", "twin", "Rivela", "demo series", "", ""};
    for (int i = 0; i < 8; ++i)
        series->m_attributes[i] = attributes[i];
    for (const DentitionTooth& t : PlanDentition(options))
    {
        auto* body = new QvBracketGeo();
        // A pad on the tooth and the twin wings over it.
        const double pad = std::min(3.4, 0.45 * t.width);
        AddFrustum(*body, pad, 3.0, 0.4, 0.95);
        AddFrustum(*body, 0.8 * pad, 2.2, 1.4, 0.9, 0.4);
        body->UpdateFaceNormals();
        body->UpdateBBox();
        body->m_name = "DEMO-" + std::to_string(t.fdi);
        body->m_secondText = "demo";
        body->m_nNumber = t.fdi;
        body->m_nFdi = t.fdi;
        body->m_frame = QvFrame(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
        body->m_firstVector = QvVector(0.0, 0.0, 1.0);
        body->m_secondVector = QvVector(1.0, 0.0, 0.0);
        body->m_params[0] = 1.0;
        body->m_params[1] = 0.4;
        body->m_pSecondMesh = std::make_unique<QvMesh>();
        AddFrustum(*body->m_pSecondMesh, pad, 3.0, 0.4, 0.95);
        series->m_bodies.push_back(body);
    }
    return series;
}

bool BuildDemoCase(DemoCase& demo, const DemoOptions& options)
{
    if (options.steps < 10)
        return false;
    QvEnsureSchemeFileLink();
    const FixedDate dated(options.date);
    // Before the dentition resets the entity counter: whether the library still
    // lacked them must not shift the case's ids.
    QvAttachGeoMgr::Library& library = QvAttachGeoMgr::Instance();
    for (DemoTemplate& t : MakeDemoTemplates())
        if (!QvAttachGeoMgr::FindByName(library, t.geo->m_name))
        {
            t.geo->SetVisible(false);
            library.push_back(t.geo.release());
        }
    demo.model = std::make_unique<QvModel>();
    QvModel& model = *demo.model;
    GenerateDentition(model, options.dentition);
    const std::vector<DentitionTooth> plan = PlanDentition(options.dentition);

    const int last = options.steps - 1;
    const int F = options.steps - 4, K = F / 2, FL = F - 2, KL = FL / 2;
    demo.finalStep = F;
    demo.keyStep = K;
    demo.lowerFinalStep = FL;
    QvSchemeMgr& mgr = QvEnsureSchemeMgr(model);
    QvScheme* scheme = mgr.CreateScheme(0, "default", false, true);
    if (!scheme)
        return false;
    demo.scheme = scheme;
    scheme->m_strText1 = "generated plan";
    // 25 is extracted; a pontic with its crown stands in from step 1 on.
    demo.extractedFdi = 25;
    if (QvTooth* extracted = ToothOf(model, demo.extractedFdi))
    {
        (void)scheme->InsertTreatStep(extracted, 0, kQvStepInitial, Identity4());
        scheme->SetExtracted(extracted, true);
        auto* pontic = new QvVirtualTooth();
        pontic->CopyMeshData(*extracted);
        pontic->UpdateFaceNormals();
        pontic->UpdateBBox();
        pontic->SetJaw(extracted->GetJaw());
        pontic->SetFrame(*extracted->GetFrame());
        pontic->UpdateBoundaryLoop();
        pontic->m_matrix = Identity4();
        pontic->m_nFdi = demo.extractedFdi;
        pontic->m_nStartStep = 1;
        scheme->m_virtualTeeth.push_back(pontic);
        model.AddEntity(pontic);
        demo.pontic = pontic;
    }
    for (const DentitionTooth& t : plan)
    {
        QvToothBase* tooth = ToothOf(model, t.fdi);
        if (t.fdi == demo.extractedFdi)
            tooth = demo.pontic;
        if (!tooth)
            continue;
        const bool upper = t.fdi / 10 == 1 || t.fdi / 10 == 2 || t.fdi / 10 == 5 || t.fdi / 10 == 6;
        const QvMatrix back = RigidInverse(ToothPose(t, 0.0));
        const int fin = upper ? F : FL, key = upper ? K : KL;
        const int end = upper ? last : FL;
        for (int s = 0; s <= end; ++s)
        {
            int type = kQvStepMoving;
            double progress = static_cast<double>(s) / fin;
            if (s == 0)
                type = kQvStepInitial;
            else if (s == key)
                type = kQvStepKey;
            else if (s == fin)
                type = kQvStepFinal;
            else if (s > fin)
            {
                progress = 1.0 + 0.05 * (s - fin);
                type = s == last ? kQvStepOverCorrectionEnd : kQvStepMoving;
            }
            (void)scheme->InsertTreatStep(tooth, s, type, ToothPose(t, progress) * back);
        }
    }
    // The lower jaw advances over two bite steps and stays there.
    for (int s = FL + 1; s <= last; ++s)
        if (QvTreatStepList* list = scheme->GetStepList(s))
        {
            list->m_jawMatrix = Translation4(0.0, s == FL + 1 ? 0.5 : 1.0, 0.0);
            list->m_bBite = s <= FL + 2;
        }
    scheme->AddBiteSteps();

    // Declared contacts: (step, A, B, overlap?, amount), B moved.
    const DemoContact wanted[] = {
        {std::max(1, K - 2), 11, 21, true, 0.15}, {K, 12, 13, false, 0.30}, {F, 22, 23, true, 0.25},
        {1, 14, 15, false, 0.20},                 {1, 31, 41, true, 0.10}, {FL, 33, 34, false, 0.45},
        {KL, 42, 43, true, 0.05},
    };
    for (const DemoContact& c : wanted)
    {
        QvTooth* a = ToothOf(model, c.fdiA);
        QvTooth* b = ToothOf(model, c.fdiB);
        if (SetContact(*scheme, a, b, c.step, c.overlap ? -c.amount : c.amount))
            demo.contacts.push_back(c);
    }

    // Attachments: (tooth, template, first step, last step).
    const DemoAttachment placed[] = {
        {13, "B-Rect4x2V", 1, F},      {23, "B-Rect4x2V", 1, F},      {14, "C-Bevel3x2", 2, K + 1},
        {24, "C-Bevel3x2", 2, K + 1}, {36, "A-Rect3x2", 1, FL},       {46, "A-Rect3x2", 1, FL},
    };
    for (const DemoAttachment& a : placed)
    {
        QvTooth* tooth = ToothOf(model, a.fdi);
        const auto t = std::find_if(plan.begin(), plan.end(), [&](const DentitionTooth& p) { return p.fdi == a.fdi; });
        QvAttachGeo* geo = QvAttachGeoMgr::FindByName(library, a.geometry);
        if (!tooth || t == plan.end() || !geo)
            continue;
        auto* attachment = new QvAttachment(geo);
        attachment->m_pTooth = tooth;
        attachment->m_matrix = LabialPlacement(*t, options.dentition.facesPerTooth);
        attachment->m_nFirstStep = a.firstStep;
        attachment->m_nLastStep = a.lastStep;
        scheme->AddAttachment(tooth, attachment);
        demo.attachments.push_back(a);
    }

    // Occlusal planes and arch forms of both jaws (first upper, second lower): each
    // plane is its jaw frame, whose origin lies on the cusp tips' plane.
    QvFrame midFrame;
    double midSize = 0.0;
    const bool haveMid = model.GetJawRef() && model.GetJawRef()->GetMiddlePlane(midFrame, midSize);
    for (const bool upper : {true, false})
    {
        const QvJaw* jaw = model.GetJaw(upper);
        if (!jaw)
            continue;
        QvOcclusalPlane plane;
        plane.m_frame = *jaw->GetFrame();
        QvArchForm form(upper, &model, QvPlane(plane.m_frame.m_centre, plane.m_frame.m_dirZ));
        if (haveMid && form.Create(QvPlane(midFrame.m_centre, midFrame.m_dirZ)))
            upper ? scheme->SetArchForm(&form) : scheme->SetArchForm2(&form);
        upper ? scheme->SetOcclusalPlane(&plane) : scheme->SetOcclusalPlane2(&plane);
    }

    // Clinical record: an IPR between the upper centrals at the key step and a remark.
    QvClinicalInfo clinical;
    if (QvTooth* t11 = ToothOf(model, 11); QvTooth* t21 = ToothOf(model, 21))
        clinical.GetIprMap()[K].push_back(QvIprEntry(t11, t21, 1, 0.3));
    if (QvTooth* t12 = ToothOf(model, 12); QvTooth* t13 = ToothOf(model, 13))
        clinical.GetIprMap()[K].push_back(QvIprEntry(t12, t13, 1, 0.2));
    clinical.SetRemark("wear aligners 22 h a day; IPR before step " + std::to_string(K));
    scheme->SetClinicalInfo(&clinical);
    // Saved target: the positions at the last treatment step.
    scheme->GetTargetMgr().Capture(1);
    return true;
}

std::string DemoManifest(const DemoCase& demo, const DemoOptions& options)
{
    std::ostringstream os;
    os.imbue(std::locale::classic());
    os << "seed " << options.dentition.seed << "\n";
    os << "teeth " << (demo.model ? demo.model->m_teeth.size() : 0) << "\n";
    os << "faces_per_tooth " << options.dentition.facesPerTooth << "\n";
    os << "steps " << options.steps << "\n";
    os << "key_step " << demo.keyStep << "\n";
    os << "final_step " << demo.finalStep << "\n";
    os << "lower_final_step " << demo.lowerFinalStep << "\n";
    os << "extracted " << demo.extractedFdi << "\n";
    if (demo.pontic)
        os << "pontic " << demo.extractedFdi << "\n";
    for (const DemoAttachment& a : demo.attachments)
        os << "attachment " << a.fdi << ' ' << a.firstStep << ' ' << a.lastStep << ' ' << a.geometry << "\n";
    for (const DemoContact& c : demo.contacts)
    {
        char amount[32];
        std::snprintf(amount, sizeof amount, "%.3f", c.amount);
        os << "contact " << c.step << ' ' << c.fdiA << ' ' << c.fdiB << ' ' << (c.overlap ? "overlap" : "gap") << ' '
           << amount << "\n";
    }
    return os.str();
}

bool WriteDemoFiles(const std::string& folder, DemoCase& demo, const DemoOptions& options, std::string* error)
{
    auto fail = [error](const std::string& what) {
        if (error)
            *error = what;
        return false;
    };
    if (!demo.model || !demo.scheme)
        return fail("no case built");
    std::error_code ec;
    fs::create_directories(fs::path(folder) / "corrupt", ec);
    if (ec)
        return fail("cannot create " + folder);
    QvEnsureSchemeFileLink();
    const FixedDate dated(options.date);
    const fs::path dir(folder);
    QvModel& model = *demo.model;
    QvReadWriteFile file(&model, 0);

    const std::string os = (dir / "demo.OS").string();
    if (!file.WriteOS(os, 0x413))
        return fail("cannot write " + os);

    std::ostringstream dm;
    dm.imbue(std::locale::classic());
    dm << QvMakeHeader(kQvFileDM, 0x806) << '\n';
    model.WriteDM(dm, 0x806);
    const std::string zip = (dir / "demo-model.zip").string();
    fs::remove(zip, ec);
    if (!WriteZip(zip, {{"DEMO-0001/demo.DM", dm.str()}}))
        return fail("cannot write " + zip);

    const std::string rvs1 = (dir / "demo-1.RVS").string();
    if (!file.WriteRVS(rvs1, 0x2007, {demo.scheme}))
        return fail("cannot write " + rvs1);
    {
        QvScheme copyA, copyB;
        copyA.SetModel(&model);
        copyB.SetModel(&model);
        copyA.CopyFrom(*demo.scheme, true);
        copyB.CopyFrom(*demo.scheme, true);
        copyA.SetName("variant A");
        copyB.SetName("variant B");
        const std::string rvs3 = (dir / "demo-3.RVS").string();
        if (!file.WriteRVS(rvs3, 0x2007, {demo.scheme, &copyA, &copyB}))
            return fail("cannot write " + rvs3);
    }
    // The resource libraries: attachment templates and the packed bracket series.
    fs::create_directories(dir / "Attachment", ec);
    fs::create_directories(dir / "BKT", ec);
    if (ec)
        return fail("cannot create the library folders in " + folder);
    for (const DemoTemplate& t : MakeDemoTemplates())
    {
        const std::string path = (dir / "Attachment" / (t.geo->m_name + ".ATT")).string();
        if (!QvAttachGeoMgr::WriteTemplate(path, *t.geo, t.version))
            return fail("cannot write " + path);
    }
    {
        QvEnsureBracketFileLink();
        const std::unique_ptr<QvBracketGeoSeries> series = MakeDemoBracketSeries(options.dentition);
        const std::string unpacked = (dir / ".DEMO.bkt.unpacked").string();
        const std::string packed = (dir / "BKT" / (series->m_name + ".bkt")).string();
        QvReadWriteFile bracketFile(nullptr, 0);
        const bool ok = bracketFile.WriteBKT(unpacked, kQvBracketVersion1, series.get()) &&
                        QvCompress::Compress(unpacked, packed) == 0;
        fs::remove(unpacked, ec);
        if (!ok)
            return fail("cannot write " + packed);
    }
    if (!WriteAll((dir / "manifest.txt").string(), DemoManifest(demo, options)))
        return fail("cannot write the manifest");

    // Damaged variants; README lists what each reader answers.
    const fs::path bad = dir / "corrupt";
    const std::string osBytes = ReadAll(os);
    const std::size_t eol = osBytes.find('\n');
    const std::string body = osBytes.substr(eol);
    const std::string version = QvFileVersionMgr::Instance().GetVersionText(kQvFileOS, 0x413);
    std::string newer = osBytes.substr(0, eol);
    if (const std::size_t at = newer.find("#V" + version); at != std::string::npos && !version.empty())
        newer[at + 2 + version.size() - 1] = static_cast<char>(version.back() == '9' ? 'Z' : version.back() + 1);
    struct Variant
    {
        const char* name;
        std::string data;
        const char* note;
    };
    const Variant variants[] = {
        {"truncated.OS", osBytes.substr(0, osBytes.size() / 2), "ReadOS 1"},
        {"header-only.OS", osBytes.substr(0, eol + 1), "ReadOS 1"},
        {"wrong-tag.OS", QvMakeHeader(kQvFileDM, 0x806) + body, "ReadOS 3"},
        {"newer.OS", newer + body, "ReadOS 3"},
        {"older.OS", QvMakeHeader(kQvFileOS, 0x401) + body, "ReadOS 2"},
        {"truncated.DM", dm.str().substr(0, dm.str().size() / 3), "ReadDM 1"},
        {"truncated.RVS", ReadAll(rvs1).substr(0, ReadAll(rvs1).size() / 2), "ReadRVS 1"},
    };
    std::string readme;
    for (const Variant& v : variants)
    {
        if (!WriteAll((bad / v.name).string(), v.data))
            return fail(std::string("cannot write ") + v.name);
        readme += std::string(v.name) + " " + v.note + "\n";
    }
    const std::string empty = (bad / "empty.zip").string();
    const std::string slip = (bad / "zip-slip.zip").string();
    fs::remove(empty, ec);
    fs::remove(slip, ec);
    if (!WriteZip(empty, {}) || !WriteZip(slip, {{"../escaped.DM", dm.str()}, {"/absolute.DM", dm.str()}}))
        return fail("cannot write the damaged archives");
    readme += "empty.zip Unzip false\nzip-slip.zip Unzip false\n";
    if (!WriteAll((bad / "README.txt").string(), readme))
        return fail("cannot write corrupt/README.txt");
    return true;
}

} // namespace qvtest
