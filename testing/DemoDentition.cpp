// SPDX-License-Identifier: GPL-3.0-or-later
#include "testing/DemoDentition.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/base/QvEntity.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvAirway.h"
#include "core/model/QvCrownCurve.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"

namespace qvtest {

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Kind
{
    Incisor,
    Canine,
    Premolar,
    Molar
};

Kind KindOf(int fdi)
{
    const int unit = fdi % 10;
    if (unit <= 2)
        return Kind::Incisor;
    if (unit == 3)
        return Kind::Canine;
    if (unit <= 5)
        return fdi > 50 ? Kind::Molar : Kind::Premolar;
    return Kind::Molar;
}

bool IsUpperFdi(int fdi)
{
    const int quadrant = (fdi < 51 ? fdi : fdi - 40) / 10;
    return quadrant == 1 || quadrant == 2;
}

// Crown proportions by kind: bucco-lingual depth over width, crown height, and the
// occlusal table's share of the crown outline (x, y).
struct Shape
{
    double depth;
    double height;
    double tableX;
    double tableY;
    double cusp;
};

Shape ShapeOf(int fdi)
{
    const bool upper = IsUpperFdi(fdi);
    const double w = ToothWidth(fdi);
    switch (KindOf(fdi))
    {
    case Kind::Incisor:
        return {upper ? 7.0 : 6.0, upper ? 10.5 : 9.0, 0.95, 0.22, 0.15};
    case Kind::Canine:
        return {upper ? 8.0 : 7.5, upper ? 10.5 : 10.0, 0.55, 0.45, 2.0};
    case Kind::Premolar:
        return {upper ? 9.0 : 8.0, 8.0, 0.8, 0.7, 1.8};
    case Kind::Molar:
        return {std::max(w, 9.0) * (upper ? 1.05 : 0.95), 7.0, 0.85, 0.8, 1.6};
    }
    return {7.0, 9.0, 0.8, 0.6, 1.0};
}

// Small deterministic generator (the standard distributions are not portable).
class Rng
{
public:
    explicit Rng(std::uint32_t seed) : m_state(seed * 2654435761u + 0x9e3779b9u) {}
    double Next() // in [-1, 1)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return static_cast<double>(m_state) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t m_state;
};

// Superellipse point: a flatter labial half (exponent 3) than the lingual one.
void Outline(double phi, double a, double b, double* x, double* y)
{
    const double c = std::cos(phi), s = std::sin(phi);
    const double p = s > 0.0 ? 3.0 : 2.0;
    *x = a * (c < 0 ? -1.0 : 1.0) * std::pow(std::fabs(c), 2.0 / p);
    *y = b * (s < 0 ? -1.0 : 1.0) * std::pow(std::fabs(s), 2.0 / p);
}

double Bump(double x, double y, double cx, double cy, double r)
{
    const double dx = x - cx, dy = y - cy;
    return std::exp(-(dx * dx + dy * dy) / (r * r));
}

// Height of the occlusal surface over the table rim at (x, y) of the table.
double CuspHeight(Kind kind, double w, double d, double x, double y, double cusp)
{
    switch (kind)
    {
    case Kind::Incisor:
        return cusp * std::cos(3.0 * kPi * x / w); // mamelons along the edge
    case Kind::Canine:
        return cusp * std::max(0.0, 1.0 - std::fabs(x) / (0.5 * w)) * std::max(0.0, 1.0 - std::fabs(y) / (0.5 * d));
    case Kind::Premolar:
        return cusp * (Bump(x, y, 0.0, 0.22 * d, 0.25 * w) + 0.8 * Bump(x, y, 0.0, -0.22 * d, 0.25 * w));
    case Kind::Molar:
        return cusp * (Bump(x, y, 0.22 * w, 0.22 * d, 0.2 * w) + Bump(x, y, -0.22 * w, 0.22 * d, 0.2 * w) +
                       0.9 * Bump(x, y, 0.22 * w, -0.22 * d, 0.2 * w) + 0.9 * Bump(x, y, -0.22 * w, -0.22 * d, 0.2 * w));
    }
    return 0.0;
}

// Crown grid sizes for a face budget: around x (2 rings - 1) faces.
void GridFor(int faces, int* around, int* rings)
{
    const int a = std::max(8, 4 * static_cast<int>(std::lround(std::sqrt(std::max(faces, 64)) / 4.0)));
    *around = a;
    *rings = std::max(3, static_cast<int>(std::lround((static_cast<double>(faces) / a + 1.0) / 2.0)));
}

QvMatrix Rotation4(int axis, double angle)
{
    QvMatrix m = Identity4();
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    m[i][i] = std::cos(angle);
    m[i][j] = -std::sin(angle);
    m[j][i] = std::sin(angle);
    m[j][j] = std::cos(angle);
    return m;
}

QvPoint Apply(const QvMatrix& m, double x, double y, double z)
{
    return QvPoint(m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3], m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3],
                   m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3]);
}

// Arch curve of one jaw, y = -c x^2 in the plane z = 0, sampled by arc length from the
// midline towards positive x.
struct Arch
{
    double c;
    // Point and unit tangent at arc length s (s >= 0, positive-x side).
    void At(double s, double* x, double* slope) const
    {
        // Invert the arc length by small steps; cheap at these sizes.
        double xs = 0.0, len = 0.0;
        const double h = 0.01;
        while (len < s)
        {
            const double dy = -2.0 * c * (xs + 0.5 * h);
            const double dl = h * std::sqrt(1.0 + dy * dy);
            if (len + dl >= s)
            {
                xs += h * (s - len) / dl;
                break;
            }
            len += dl;
            xs += h;
        }
        *x = xs;
        *slope = -2.0 * c * xs;
    }
};

// A ribbon band along the arch: rings across, `around` points along.
void AddArchBand(QvMesh& mesh, const Arch& arch, double halfLength, double z0, double z1, double offset, int around,
                 int rings)
{
    const int base = static_cast<int>(mesh.m_vertices.size());
    for (int k = 0; k < rings; ++k)
    {
        const double z = z0 + (z1 - z0) * k / (rings - 1);
        for (int m = 0; m < around; ++m)
        {
            const double s = -halfLength + 2.0 * halfLength * m / (around - 1);
            double x = 0.0, slope = 0.0;
            arch.At(std::fabs(s), &x, &slope);
            if (s < 0)
            {
                x = -x;
                slope = -slope;
            }
            const double y = -arch.c * x * x;
            const double n = std::sqrt(1.0 + slope * slope);
            // Outward (labial) normal of y = -c x^2 is (-slope, 1) normalised... pointing +y.
            mesh.AddVertex(QvPoint(x - offset * slope / n, y + offset / n, z));
        }
    }
    for (int k = 0; k + 1 < rings; ++k)
        for (int m = 0; m + 1 < around; ++m)
        {
            const int a = base + k * around + m;
            (void)mesh.AddFace(a, a + 1, a + around, 0);
            (void)mesh.AddFace(a + 1, a + around + 1, a + around, 0);
        }
}

} // namespace

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

QvMatrix Translation4(double x, double y, double z)
{
    QvMatrix m = Identity4();
    m[0][3] = x;
    m[1][3] = y;
    m[2][3] = z;
    return m;
}

QvMatrix RigidInverse(const QvMatrix& m)
{
    QvMatrix r = Identity4();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[j][i];
    for (int i = 0; i < 3; ++i)
        r[i][3] = -(r[i][0] * m[0][3] + r[i][1] * m[1][3] + r[i][2] * m[2][3]);
    return r;
}

double ToothWidth(int fdi)
{
    const int quadrant = fdi / 10, unit = fdi % 10;
    if (unit < 1)
        return 0.0;
    if (quadrant >= 5 && quadrant <= 8)
    {
        if (unit > 5)
            return 0.0;
        static const double upper[5] = {6.5, 5.2, 7.0, 7.3, 8.2};
        static const double lower[5] = {4.2, 4.7, 5.9, 7.7, 9.9};
        return (quadrant <= 6 ? upper : lower)[unit - 1];
    }
    if (quadrant < 1 || quadrant > 4 || unit > 8)
        return 0.0;
    static const double upper[8] = {8.5, 6.5, 7.5, 7.0, 7.0, 10.0, 9.0, 8.5};
    static const double lower[8] = {5.0, 5.5, 7.0, 7.0, 7.0, 11.0, 10.5, 10.0};
    return (quadrant <= 2 ? upper : lower)[unit - 1];
}

std::vector<DentitionTooth> PlanDentition(const DentitionOptions& options)
{
    Rng rng(options.seed);
    std::vector<DentitionTooth> teeth;
    const int units = options.thirtyTwo ? 8 : 7;
    for (int quadrant = 1; quadrant <= 4; ++quadrant)
    {
        const bool upper = quadrant <= 2;
        const bool right = quadrant == 1 || quadrant == 4;
        const Arch arch{upper ? 0.028 : 0.034};
        double along = 0.0;
        for (int unit = 1; unit <= units; ++unit)
        {
            DentitionTooth t;
            t.fdi = (options.deciduousCanines && unit == 3) ? (quadrant + 4) * 10 + 3 : quadrant * 10 + unit;
            t.width = ToothWidth(t.fdi);
            const Shape shape = ShapeOf(t.fdi);
            t.height = shape.height + (KindOf(t.fdi) == Kind::Incisor ? 0.0 : shape.cusp);
            // Roots on the incisors, first premolars and first molars; the others grow them.
            t.withRoot = unit == 1 || unit == 4 || unit == 6;
            // Aligned: centres along the arch by arc length, contacts 0.05 mm apart.
            const double s = along + 0.5 * t.width + 0.05;
            along += t.width + 0.05;
            double x = 0.0, slope = 0.0;
            arch.At(s, &x, &slope);
            // World axes: +x to the patient's right, +y anterior, +z superior (right-handed),
            // so the right quadrants (1, 4) stand at positive x.
            double tx = 1.0, ty = slope; // tangent towards distal on the +x side
            if (!right)
            {
                x = -x;
                tx = -1.0;
            }
            const double n = std::sqrt(tx * tx + ty * ty);
            tx /= n;
            ty /= n;
            const double y = -arch.c * x * x;
            // Crown frame: z to the occlusal plane, y labial (outward), x = y cross z.
            const double zx = 0.0, zy = 0.0, zz = upper ? -1.0 : 1.0;
            double lx = ty, ly = -tx; // a normal of the tangent; turned outward below
            if (ly < 0.0)
            {
                lx = -lx;
                ly = -ly;
            }
            const double xx = ly * zz - 0.0 * zy, xy = 0.0 * zx - lx * zz, xz = lx * zy - ly * zx;
            t.aligned = Identity4();
            const double axes[3][3] = {{xx, xy, xz}, {lx, ly, 0.0}, {zx, zy, zz}};
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    t.aligned[i][j] = axes[j][i];
            // Cusp tips 0.3 mm short of the occlusal plane.
            t.aligned[0][3] = x;
            t.aligned[1][3] = y;
            t.aligned[2][3] = upper ? t.height + 0.3 : -(t.height + 0.3);
            // Crowding: the front teeth most, alternating labial and lingual.
            const double front = unit <= 3 ? 1.0 : (unit <= 5 ? 0.5 : 0.15);
            const double sign = (unit % 2 == 0) ? 1.0 : -1.0;
            t.offset.labial = options.crowding * front * (0.6 * sign + 0.3 * rng.Next());
            t.offset.rotation = options.crowding * front * 0.14 * rng.Next();
            t.offset.tip = options.crowding * front * 0.05 * rng.Next();
            teeth.push_back(t);
        }
    }
    return teeth;
}

QvMatrix ToothPose(const DentitionTooth& tooth, double t)
{
    const double f = 1.0 - t;
    return tooth.aligned * Translation4(0.0, f * tooth.offset.labial, 0.0) * Rotation4(2, f * tooth.offset.rotation) *
           Rotation4(0, f * tooth.offset.tip);
}

QvMesh MakeToothMesh(int fdi, int facesPerTooth, bool withRoot)
{
    const Kind kind = KindOf(fdi);
    const Shape shape = ShapeOf(fdi);
    const double w = ToothWidth(fdi) > 0.0 ? ToothWidth(fdi) : 7.0;
    const double d = shape.depth;
    int around = 0, rings = 0;
    GridFor(facesPerTooth, &around, &rings);
    const int tableRings = std::max(1, static_cast<int>(std::lround(0.4 * rings)));
    const int wallRings = rings - tableRings;
    const double rim = shape.height; // table rim over the cervical rim
    // Horizontal scale of the wall: widest at the height of contour, narrow at the neck.
    auto profile = [](double sigma) { return 1.0 - 0.449 * (sigma - 0.3) * (sigma - 0.3); };

    QvMesh mesh;
    const int rootRings = withRoot ? std::max(2, rings / 3) : 0;
    mesh.Reserve(2 + (rings + rootRings) * around, around * (2 * (rings + rootRings) + 1), 0);
    mesh.AddVertex(QvPoint(0.0, 0.0, rim + (kind == Kind::Incisor ? 0.0 : CuspHeight(kind, w, d, 0.0, 0.0, shape.cusp))));
    for (int k = 1; k <= rings; ++k)
        for (int m = 0; m < around; ++m)
        {
            const double phi = 2.0 * kPi * m / around;
            double ox = 0.0, oy = 0.0;
            Outline(phi, 0.5 * w, 0.5 * d, &ox, &oy);
            double x, y, z;
            if (k <= tableRings)
            {
                const double rho = static_cast<double>(k) / tableRings;
                x = rho * shape.tableX * profile(0.0) * ox;
                y = rho * shape.tableY * profile(0.0) * oy;
                const double fade = 1.0 - std::pow(rho, 4.0);
                z = rim + fade * CuspHeight(kind, w, d, x, y, shape.cusp);
            }
            else
            {
                const double sigma = static_cast<double>(k - tableRings) / wallRings;
                const double blend = std::min(1.0, sigma / 0.35);
                const double smooth = blend * blend * (3.0 - 2.0 * blend);
                const double sx = shape.tableX + (1.0 - shape.tableX) * smooth;
                const double sy = shape.tableY + (1.0 - shape.tableY) * smooth;
                x = profile(sigma) * sx * ox;
                y = profile(sigma) * sy * oy;
                z = rim * (1.0 - sigma);
            }
            mesh.AddVertex(QvPoint(x, y, z));
        }
    auto at = [around](int k, int m) { return 1 + (k - 1) * around + m % around; };
    // Angles increase anticlockwise seen from above and rings go down: outward windings.
    for (int m = 0; m < around; ++m)
        (void)mesh.AddFace(0, at(1, m), at(1, m + 1), 0);
    for (int k = 1; k < rings; ++k)
        for (int m = 0; m < around; ++m)
        {
            (void)mesh.AddFace(at(k, m), at(k + 1, m), at(k, m + 1), 0);
            (void)mesh.AddFace(at(k, m + 1), at(k + 1, m), at(k + 1, m + 1), 0);
        }
    if (withRoot)
    {
        // A tapering root below the cervical rim, closed at an apex; every face tag 4.
        const double length = 1.3 * shape.height;
        for (int k = 1; k <= rootRings; ++k)
        {
            const double tau = static_cast<double>(k) / (rootRings + 1);
            const double scale = profile(1.0) * std::pow(1.0 - tau, 0.7);
            for (int m = 0; m < around; ++m)
            {
                double ox = 0.0, oy = 0.0;
                Outline(2.0 * kPi * m / around, 0.5 * w * 0.85, 0.5 * d * 0.9, &ox, &oy);
                mesh.AddVertex(QvPoint(scale * ox, scale * oy, -length * tau));
            }
        }
        const int apex = mesh.AddVertex(QvPoint(0.0, 0.0, -length));
        for (int k = rings; k < rings + rootRings; ++k)
            for (int m = 0; m < around; ++m)
            {
                (void)mesh.AddFace(at(k, m), at(k + 1, m), at(k, m + 1), 4);
                (void)mesh.AddFace(at(k, m + 1), at(k + 1, m), at(k + 1, m + 1), 4);
            }
        for (int m = 0; m < around; ++m)
            (void)mesh.AddFace(at(rings + rootRings, m), apex, at(rings + rootRings, m + 1), 4);
    }
    mesh.UpdateFaceNormals();
    mesh.UpdateBBox();
    return mesh;
}

namespace {

// Grid index helpers on a mesh made by MakeToothMesh.
int GridVertex(int around, int k, int m) { return 1 + (k - 1) * around + ((m % around) + around) % around; }

int NearestVertex(const QvMesh& mesh, int limit, double x, double y, double z)
{
    int best = 0;
    double bestD = 1e300;
    for (int i = 0; i < limit; ++i)
    {
        const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(i)].m_point;
        const double dx = p.m_coord[0] - x, dy = p.m_coord[1] - y, dz = p.m_coord[2] - z;
        const double dd = dx * dx + dy * dy + dz * dz;
        if (dd < bestD)
        {
            bestD = dd;
            best = i;
        }
    }
    return best;
}

// FACC down the labial face, mid curve across the occlusal table, feature points at
// the incisal edge or cusp tips; all by vertex index of the local mesh (the indices
// survive placing the mesh).
void AddReference(QvTooth& tooth, const QvMesh& local, int fdi, int facesPerTooth)
{
    int around = 0, rings = 0;
    GridFor(facesPerTooth, &around, &rings);
    const int tableRings = std::max(1, static_cast<int>(std::lround(0.4 * rings)));
    const int crownVertices = 1 + rings * around;
    auto* ref = new QvToothRef(&tooth);
    const int labial = around / 4; // phi = 90 degrees
    ref->m_facc.m_vertices = {GridVertex(around, tableRings + 1, labial), GridVertex(around, rings - 1, labial)};
    ref->m_midCurve.m_vertices = {GridVertex(around, tableRings, 0), 0, GridVertex(around, tableRings, around / 2)};
    const Kind kind = KindOf(fdi);
    const double w = ToothWidth(fdi);
    const double d = ShapeOf(fdi).depth;
    const double top = local.m_bbox.m_maxPoint.m_coord[2];
    std::vector<std::pair<int, QvPoint>> points; // key, where
    switch (kind)
    {
    case Kind::Incisor:
        points = {{1, QvPoint(0.0, 0.0, top)}};
        break;
    case Kind::Canine:
        points = {{1, QvPoint(0.0, 0.0, top)}, {2, QvPoint(0.3 * w, 0.0, top)}};
        break;
    case Kind::Premolar:
        points = {{2, QvPoint(0.0, 0.22 * d, top)}, {1, QvPoint(0.0, -0.22 * d, top)}};
        break;
    case Kind::Molar:
        points = {{3, QvPoint(0.22 * w, 0.22 * d, top)},
                  {4, QvPoint(-0.22 * w, 0.22 * d, top)},
                  {5, QvPoint(0.22 * w, -0.22 * d, top)},
                  {6, QvPoint(-0.22 * w, -0.22 * d, top)}};
        break;
    }
    for (const auto& [key, where] : points)
    {
        QvFeaturePoint point(NearestVertex(local, crownVertices, where.m_coord[0], where.m_coord[1], where.m_coord[2]));
        point.m_nKey = key;
        ref->m_featurePoints.push_back(point);
    }
    tooth.SetToothRef(ref);
    for (QvFeaturePoint& point : ref->m_featurePoints)
        point.m_position = tooth.m_vertices[static_cast<std::size_t>(point.m_nVertex)].m_point;
    (void)ref->RefitFacc();
}

} // namespace

namespace {

QvFrame JawFrame(bool upper)
{
    // X anterior, Z towards the jaw's base; the lower frame is the upper one turned
    // half a turn about X, so its Y points to the patient's right.
    // The origin lies on the plane of the jaw's cusp tips: the jaw's occlusal plane.
    return QvFrame(QvPoint(0.0, -20.0, upper ? 0.3 : -0.3), QvVector(0.0, 1.0, 0.0),
                   QvVector(upper ? -1.0 : 1.0, 0.0, 0.0));
}

QvFrame ToothFrame(const DentitionTooth& tooth, const QvMatrix& pose)
{
    // The crown's local x runs mesially in quadrants 1 and 3 and distally in 2 and 4.
    const int quadrant = (tooth.fdi < 51 ? tooth.fdi : tooth.fdi - 40) / 10;
    const double s = (quadrant == 1 || quadrant == 3) ? 1.0 : -1.0;
    const QvVector mesial(s * pose[0][0], s * pose[1][0], s * pose[2][0]);
    const QvVector rootward(-pose[0][2], -pose[1][2], -pose[2][2]);
    return QvFrame(Apply(pose, 0.0, 0.0, 0.5 * tooth.height), mesial, rootward.Cross(mesial));
}

} // namespace

void GenerateDentition(QvModel& model, const DentitionOptions& options)
{
    QvEntity::SetNextId(100);
    if (QvPatientInfo* info = model.GetPatientInfo())
    {
        info->m_text1 = "demo patient";
        info->m_text2 = "F";
        info->m_text3 = "2024-03-07";
        info->m_nPlan = 1;
        info->m_title = "DEMO-0001";
    }
    QvJaw* jaws[2] = {new QvJaw(), new QvJaw()};
    for (int i = 0; i < 2; ++i)
    {
        jaws[i]->SetUpper(i == 0);
        jaws[i]->SetFrame(JawFrame(i == 0));
        model.AddEntity(jaws[i]);
    }
    for (const DentitionTooth& t : PlanDentition(options))
    {
        const bool upper = IsUpperFdi(t.fdi);
        const QvMesh local = MakeToothMesh(t.fdi, options.facesPerTooth, t.withRoot);
        const QvMatrix pose = ToothPose(t, 0.0);
        auto* tooth = new QvTooth();
        tooth->SetFdi(t.fdi);
        tooth->SetState(kQvToothOrdinary);
        tooth->SetJaw(jaws[upper ? 0 : 1]);
        tooth->CopyMeshData(local);
        tooth->Transform(pose);
        tooth->UpdateFaceNormals();
        tooth->UpdateBBox();
        tooth->SetFrame(ToothFrame(t, pose));
        tooth->UpdateCrownLoop();
        AddReference(*tooth, local, t.fdi, options.facesPerTooth);
        model.AddEntity(tooth);
    }
    // Gum bands along each arch below the cervical rims; jaw bones wider and deeper.
    for (int i = 0; i < 2; ++i)
    {
        const bool upper = i == 0;
        const Arch arch{upper ? 0.028 : 0.034};
        const double rim = upper ? 9.0 : -8.5;
        auto* gum = new QvGum();
        gum->SetJaw(jaws[i]);
        AddArchBand(*gum, arch, 52.0, rim, rim + (upper ? 6.0 : -6.0), 4.5, 64, 5);
        gum->UpdateFaceNormals();
        gum->UpdateBBox();
        model.AddEntity(gum);
        auto* bone = new QvJawBone();
        bone->SetUpper(upper);
        AddArchBand(*bone, arch, 58.0, rim + (upper ? 3.0 : -3.0), rim + (upper ? 20.0 : -20.0), 7.0, 48, 6);
        bone->UpdateFaceNormals();
        bone->UpdateBBox();
        bone->SetVisible(false); // the doctor turns the bone on; it would hide the gums
        model.AddEntity(bone);
    }
    auto* hinge = new QvHingeAxis();
    hinge->m_first = QvPoint(-48.0, -75.0, 15.0);
    hinge->m_second = QvPoint(48.0, -75.0, 15.0);
    hinge->m_bbox.Set(hinge->m_first, hinge->m_second);
    model.AddEntity(hinge);
    // The airway: an open tube behind the arches, curving down from the nasopharynx.
    {
        auto* airway = new QvAirway();
        const std::unique_ptr<QvBSplineCurve> centre(QvBSplineCurve::FromEndTangents(
            QvPoint(0.0, -62.0, 30.0), QvPoint(0.0, -66.0, -40.0), QvVector(0.0, -20.0, -40.0),
            QvVector(0.0, 10.0, -60.0)));
        const int rings = 16, around = 24;
        for (int k = 0; k < rings; ++k)
        {
            const double z = 30.0 - 70.0 * k / (rings - 1);
            const double y = -62.0 - 4.0 * std::sin(kPi * k / (rings - 1));
            const double rx = 9.0 - 2.0 * std::sin(kPi * k / (rings - 1)), ry = 6.0;
            for (int m = 0; m < around; ++m)
            {
                const double a = 2.0 * kPi * m / around;
                airway->AddVertex(QvPoint(rx * std::cos(a), y + ry * std::sin(a), z));
            }
        }
        for (int k = 0; k + 1 < rings; ++k)
            for (int m = 0; m < around; ++m)
            {
                const int a = k * around + m, b = k * around + (m + 1) % around;
                (void)airway->AddFace(a, b, a + around, 0);
                (void)airway->AddFace(b, b + around, a + around, 0);
            }
        airway->UpdateFaceNormals();
        airway->UpdateBBox();
        airway->m_frame = QvFrame(QvPoint(0.0, -64.0, -5.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
        if (centre)
            airway->m_curve = *centre;
        model.AddEntity(airway);
    }
    if (QvJawRef* ref = model.GetJawRef())
    {
        // Mid-sagittal plane x = 0: its frame's Z axis is the plane normal (1, 0, 0).
        const QvFrame mid(QvPoint(0.0, -25.0, 0.0), QvVector(0.0, 1.0, 0.0), QvVector(0.0, 0.0, 1.0));
        ref->SetMiddlePlane(mid, {QvPoint(0.0, 2.0, 0.0), QvPoint(0.0, -50.0, 0.0)}, 70.0);
    }
    model.SortTeeth();
    model.UpdateBBox();
}

} // namespace qvtest
