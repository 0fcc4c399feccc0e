// SPDX-License-Identifier: GPL-3.0-or-later
// Crown sizes and the per-tooth axis and position measures.
#include <cmath>
#include <initializer_list>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvCutLine.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvTreatStep.h"

namespace {

constexpr double kFloatMax = 3.4028235931503486e36;
constexpr double kTwoPi = 6.28318530718;

const int kUpperList[26] = {18, 17, 16, 15, 55, 14, 54, 13, 53, 12, 52, 11, 51,
                            61, 21, 62, 22, 63, 23, 64, 24, 65, 25, 26, 27, 28};
const int kLowerList[26] = {38, 37, 36, 35, 75, 34, 74, 33, 73, 32, 72, 31, 71,
                            81, 41, 82, 42, 83, 43, 84, 44, 85, 45, 46, 47, 48};
const int kUpperPermanent[16] = {18, 17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27, 28};
const int kLowerPermanent[16] = {38, 37, 36, 35, 34, 33, 32, 31, 41, 42, 43, 44, 45, 46, 47, 48};

// Signed angle in degrees, (-180, 180].
double Degrees(const QvVector& from, const QvVector& to, const QvVector& axis)
{
    double a = from.SignedAngle(to, axis);
    if (a > kQvPi)
        a -= kTwoPi;
    return a * 180.0 / kQvPi;
}

struct JawInputs
{
    const int* list;
    const QvOcclusalPlane* plane;
    const QvArchForm* form;
};

} // namespace

bool QvDentalMeasure::ComputeCrownSizes(int mode)
{
    if (!m_pModel)
        return true;
    std::vector<QvPoint> points;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        auto* tooth = dynamic_cast<QvTooth*>(entity);
        if (!tooth || tooth->GetState() == kQvToothNotMeasured || IsToothExcluded(tooth))
            continue;
        points.clear();
        // A crown without crown faces has no extent to measure.
        if (!GetCrownPoints(m_nStep, tooth, points, true) || points.empty())
            continue;
        QvVector u, v, w;
        double height = 0.0;
        if (mode != 0)
        {
            u = tooth->GetFrame()->m_dirX;
            v = tooth->GetFrame()->m_dirY;
            w = tooth->GetFrame()->m_dirZ;
        }
        else
        {
            std::unique_ptr<QvPlane> plane(GetFaccPlane(tooth));
            std::unique_ptr<QvLine> axis(GetFaccAxis(tooth));
            const QvToothRef* ref = tooth->GetToothRef();
            if (!plane || !axis || !ref || !ref->GetFacc().m_pCurve)
                continue;
            const QvTreatStep* placed = GetToothStep(m_nStep, tooth);
            auto rotate = [&](const QvVector& x) { return placed ? *placed->GetMatrix() * x : x; };
            const QvVector z = rotate(tooth->GetFrame()->m_dirZ);
            const QvVector e =
                rotate(ref->GetVertex(ref->GetMidCurve().GetLastVertex()) - ref->GetVertex(ref->GetMidCurve().GetFirstVertex()));
            u = e.IsZero() ? rotate(tooth->GetFrame()->m_dirX) : z.Cross(e).Cross(z);
            u.Normalize();
            QvVector n = plane->GetNormal();
            n.Normalize();
            QvVector a = axis->GetDirection();
            a.Normalize();
            v = n.Cross(a - n * a.Dot(n));
            height = ref->GetFacc().m_pCurve->ArcLength(false, 0.0, 1.0);
        }
        double loU = kFloatMax, hiU = -kFloatMax, loV = kFloatMax, hiV = -kFloatMax, loW = kFloatMax,
               hiW = -kFloatMax;
        for (const QvPoint& p : points)
        {
            const QvVector q(p.m_coord[0], p.m_coord[1], p.m_coord[2]);
            loU = std::min(loU, q.Dot(u));
            hiU = std::max(hiU, q.Dot(u));
            loV = std::min(loV, q.Dot(v));
            hiV = std::max(hiV, q.Dot(v));
            loW = std::min(loW, q.Dot(w));
            hiW = std::max(hiW, q.Dot(w));
        }
        if (mode != 0)
            height = hiW - loW;
        QvToothMeasure& entry = GetToothMeasure(tooth->GetFdi());
        entry.m_dCrownWidth = hiU - loU;
        entry.m_dCrownThickness = hiV - loV;
        entry.m_dCrownHeight = height;
    }
    return true;
}

namespace {

// The tooth of a listed number the per-tooth measures may use, or null.
QvTooth* UsableByNumber(const QvDentalMeasure& m, int fdi)
{
    QvTooth* tooth = m.m_pModel ? m.m_pModel->FindTooth(fdi) : nullptr;
    if (!tooth || tooth->GetState() == kQvToothNotMeasured || m.IsToothExcluded(tooth))
        return nullptr;
    return tooth;
}

QvPlane PlaneOf(const QvOcclusalPlane& plane)
{
    return QvPlane(plane.m_frame.m_centre, plane.m_frame.m_dirZ);
}

// Runs fn(list index, tooth, occlusal plane, arch form projected onto it) for every
// usable tooth with a tooth record of the jaws that have both plane and arch form.
template <class Fn>
void ForArchTeeth(const QvDentalMeasure& m, std::initializer_list<JawInputs> jaws, Fn fn)
{
    for (const JawInputs& jaw : jaws)
    {
        if (!jaw.plane || !jaw.form)
            continue;
        const QvPlane o = PlaneOf(*jaw.plane);
        std::unique_ptr<QvBSplineCurve> k(jaw.form->GetCurve().ProjectToPlane(o));
        if (!k || !k->CanEvaluate())
            continue;
        for (int i = 0; i < 26; ++i)
        {
            QvTooth* tooth = UsableByNumber(m, jaw.list[i]);
            if (tooth && tooth->GetToothRef())
                fn(jaw, i, tooth, o, *k);
        }
    }
}

} // namespace

bool QvDentalMeasure::ComputeTorques()
{
    for (const JawInputs& jaw : {JawInputs{kUpperList, m_pOcclusalPlane1, nullptr},
                                 JawInputs{kLowerList, m_pOcclusalPlane2, nullptr}})
    {
        if (!jaw.plane)
            continue;
        for (int i = 0; i < 26; ++i)
        {
            QvTooth* tooth = UsableByNumber(*this, jaw.list[i]);
            if (!tooth || !tooth->GetToothRef())
                continue;
            std::unique_ptr<QvPlane> p(GetFaccPlane(tooth));
            std::unique_ptr<QvLine> a(GetFaccAxis(tooth));
            if (!p || !a)
                continue;
            QvVector n = jaw.plane->m_frame.m_dirZ;
            if (n.Dot(tooth->GetFrame()->m_dirZ) > 0.0)
                n.Negate();
            const QvVector q = p->ProjectVector(n);
            const QvVector r = p->ProjectVector(a->GetDirection());
            QvVector s = p->GetNormal();
            if (FdiQuadrant(jaw.list[i]) % 2 == 0)
                s.Negate();
            GetToothMeasure(tooth->GetFdi()).m_dTorque = Degrees(r, q, s);
        }
    }
    return true;
}

bool QvDentalMeasure::ComputeArchOffsets()
{
    ForArchTeeth(*this, {JawInputs{kUpperList, m_pOcclusalPlane1, m_pArchForm1},
                         JawInputs{kLowerList, m_pOcclusalPlane2, m_pArchForm2}},
                 [&](const JawInputs& jaw, int i, QvTooth* tooth, const QvPlane& o, const QvBSplineCurve& curve) {
        if (!tooth->GetToothRef()->GetFacc().m_pCurve)
            return;
        QvPoint m;
        double tm = 0.0;
        tooth->GetToothRef()->GetFacc().m_pCurve->GetMidPoint(m, tm);
        const QvPoint mp = o.ProjectPoint(PlacePoint(m_nStep, tooth, m));
        double t = 0.0;
        QvPoint c;
        QvFrame frame;
        if (!curve.ClosestPoint(mp, t, c) || !jaw.form->GetCurve().GetFrame(frame, t))
            return;
        const QvVector d = mp - c;
        GetToothMeasure(tooth->GetFdi()).m_dArchOffset =
            d.Dot(frame.m_dirZ) > 0.0 ? -d.Length() : d.Length();
        });
    return true;
}

bool QvDentalMeasure::ComputeOcclusalHeights()
{
    for (const JawInputs& jaw : {JawInputs{kUpperList, m_pOcclusalPlane1, nullptr},
                                 JawInputs{kLowerList, m_pOcclusalPlane2, nullptr}})
    {
        if (!jaw.plane)
            continue;
        const QvPlane o = PlaneOf(*jaw.plane);
        for (int i = 0; i < 26; ++i)
        {
            QvTooth* tooth = UsableByNumber(*this, jaw.list[i]);
            QvPoint p;
            if (!tooth || !GetCuspPoint(m_nStep, tooth, p))
                continue;
            const QvVector d = o.ProjectPoint(p) - p;
            GetToothMeasure(tooth->GetFdi()).m_dOcclusalHeight =
                d.Dot(tooth->GetFrame()->m_dirZ) > 0.0 ? -d.Length() : d.Length();
        }
    }
    return true;
}

bool QvDentalMeasure::ComputeTips()
{
    for (const JawInputs& jaw : {JawInputs{kUpperList, m_pOcclusalPlane1, nullptr},
                                 JawInputs{kLowerList, m_pOcclusalPlane2, nullptr}})
    {
        if (!jaw.plane)
            continue;
        for (int i = 0; i < 26; ++i)
        {
            QvTooth* tooth = UsableByNumber(*this, jaw.list[i]);
            if (!tooth)
                continue;
            std::unique_ptr<QvPlane> l(GetLabialPlane(tooth));
            std::unique_ptr<QvLine> a(GetFaccAxis(tooth));
            if (!l || !a)
                continue;
            const QvVector q = l->ProjectVector(a->GetDirection());
            QvVector n = jaw.plane->m_frame.m_dirZ;
            if (n.Dot(tooth->GetFrame()->m_dirZ) > 0.0)
                n.Negate();
            const QvVector r = l->ProjectVector(n);
            GetToothMeasure(tooth->GetFdi()).m_dTip = Degrees(q, r, tooth->GetFrame()->m_dirY);
        }
    }
    return true;
}

bool QvDentalMeasure::ComputeRotations()
{
    ForArchTeeth(*this, {JawInputs{kUpperList, m_pOcclusalPlane1, m_pArchForm1},
                         JawInputs{kLowerList, m_pOcclusalPlane2, m_pArchForm2}},
                 [&](const JawInputs& jaw, int i, QvTooth* tooth, const QvPlane& o, const QvBSplineCurve& curve) {
        std::unique_ptr<QvPlane> l(GetLabialPlane(tooth));
        std::unique_ptr<QvLine> a(GetFaccAxis(tooth));
        if (!l || !a)
            return;
        const QvFrame& frame = *tooth->GetFrame();
        QvVector t = a->GetDirection().Cross(l->GetNormal());
        if (t.Dot(frame.m_dirX) < 0.0)
            t.Negate();
        const QvVector tp = o.ProjectVector(t);
        double u = 0.0;
        QvPoint c;
        if (!curve.ClosestPoint(o.ProjectPoint(a->GetPoint()), u, c))
            return;
        QvPoint kc;
        QvVector d[1];
        if (!curve.EvaluateDerivatives(1, kc, d, u))
            return;
        QvVector tangent = d[0];
        if (tangent.Dot(frame.m_dirX) < 0.0)
            tangent.Negate();
        QvVector s = frame.m_dirZ;
        if (FdiQuadrant(jaw.list[i]) % 2 == 0)
            s.Negate();
        GetToothMeasure(tooth->GetFdi()).m_dRotation = Degrees(tp, tangent, s);
        });
    return true;
}

namespace {

struct ContourTooth
{
    QvTooth* tooth = nullptr;
    std::vector<QvPoint> contour;
    QvVector facing;
};

} // namespace

bool QvDentalMeasure::ComputeContactOffsets()
{
    if (!m_pModel)
        return true;
    for (const int* list : {kUpperPermanent, kLowerPermanent})
    {
        ContourTooth teeth[16];
        std::vector<QvPoint> axisPoints;
        for (int i = 0; i < 16; ++i)
        {
            QvTooth* tooth = m_pModel->FindToothAtPosition(list[i]);
            if (!tooth || tooth->GetState() == kQvToothNotMeasured || IsToothExcluded(tooth))
                continue;
            teeth[i].tooth = tooth;
            if (std::unique_ptr<QvLine> axis(GetFaccAxis(tooth)); axis)
                axisPoints.push_back(axis->GetPoint());
        }
        std::unique_ptr<QvPlane> reference(QvPlane::FitPoints(axisPoints));
        if (!reference)
            continue;
        for (ContourTooth& t : teeth)
        {
            if (!t.tooth)
                continue;
            std::vector<QvPoint> crown;
            (void)GetCrownPoints(m_nStep, t.tooth, crown, true);
            (void)SelectPointsNearPlane(*reference, crown, t.contour);
            t.facing = PlaceVector(m_nStep, t.tooth, t.tooth->GetFrame()->m_dirY);
            if (FdiQuadrant(t.tooth->GetFdi()) % 2 == 1)
                t.facing.Negate();
        }
        std::vector<QvPoint> curvePoints;
        for (int i = 0; i < 16; ++i)
        {
            const ContourTooth& t = teeth[i];
            if (!t.tooth)
                continue;
            const ContourTooth* next = i + 1 < 16 ? &teeth[i + 1] : nullptr;
            // The crown centre where the tooth stands at the step, like its contour.
            const QvPoint centre = PlacePoint(m_nStep, t.tooth, t.tooth->GetFrame()->m_centre);
            if (next && !curvePoints.empty())
            {
                const QvPoint* farthest = nullptr;
                double far = -1.0;
                for (const QvPoint& p : t.contour)
                {
                    bool near = false;
                    for (const QvPoint& q : next->contour)
                        if (p.Distance(q) < 0.02)
                        {
                            near = true;
                            break;
                        }
                    if (!near || (p - centre).Dot(t.facing) <= 0.0)
                        continue;
                    const double d = p.Distance(centre);
                    if (d > far)
                    {
                        far = d;
                        farthest = &p;
                    }
                }
                if (farthest)
                {
                    curvePoints.push_back(*farthest);
                    continue;
                }
            }
            if (t.contour.empty())
                continue;
            const QvVector x = PlaceVector(m_nStep, t.tooth, t.tooth->GetFrame()->m_dirX);
            std::size_t lo = 0, hi = 0;
            for (std::size_t k = 1; k < t.contour.size(); ++k)
            {
                if ((t.contour[k] - centre).Dot(x) < (t.contour[lo] - centre).Dot(x))
                    lo = k;
                if ((t.contour[k] - centre).Dot(x) > (t.contour[hi] - centre).Dot(x))
                    hi = k;
            }
            curvePoints.push_back(t.contour[lo]);
            if (i == 7 || !next || next->contour.empty())
                curvePoints.push_back(t.contour[hi]);
        }
        std::unique_ptr<QvBSplineCurve> fitted(QvBSplineCurve::Fit(curvePoints, {}, false, 1e-5));
        std::unique_ptr<QvBSplineCurve> curve(fitted ? fitted->ProjectToPlane(*reference) : nullptr);
        if (!curve || !curve->CanEvaluate())
            continue;
        for (const ContourTooth& t : teeth)
        {
            if (!t.tooth)
                continue;
            double largest = 0.0;
            for (const QvPoint& p : t.contour)
            {
                const QvPoint projected = reference->ProjectPoint(p);
                double u = 0.0;
                QvPoint f;
                if (curve->ClosestPoint(projected, u, f) && (projected - f).Dot(t.facing) > 0.0)
                    largest = std::max(largest, projected.Distance(f));
            }
            GetToothMeasure(t.tooth->GetFdi()).m_dContactOffset = largest;
        }
    }
    return true;
}

namespace {

struct ContactSets
{
    QvTooth* tooth = nullptr;
    std::vector<QvPoint> crown;
    std::vector<QvPoint> contour;
    std::vector<QvPoint> cut;
    QvVector axis;
};

// Closest distance between the crown points within 0.1 of the plane (searched) and
// the other crown (queries); false when no point lies near the plane.
bool NearPlaneDistance(const QvPlane& plane, const std::vector<QvPoint>& searched, const std::vector<QvPoint>& queries,
                       double& d)
{
    std::vector<QvPoint> near;
    QvPoint f, g;
    return QvDentalMeasure::SelectPointsNearPlane(plane, searched, near) &&
           QvDentalMeasure::FindClosestPoint(near, queries, d, f, g);
}

} // namespace

bool QvDentalMeasure::ComputeContacts()
{
    if (!m_pModel)
        return true;
    for (const int* list : {kUpperPermanent, kLowerPermanent})
    {
        ContactSets sets[16];
        for (int i = 0; i < 16; ++i)
        {
            QvTooth* tooth = m_pModel->FindToothAtPosition(list[i]);
            QvPoint cusp;
            if (!tooth || tooth->GetState() == kQvToothNotMeasured || IsToothExcluded(tooth) ||
                !GetCuspPoint(m_nStep, tooth, cusp))
                continue;
            ContactSets s;
            s.tooth = tooth;
            (void)GetCrownPoints(m_nStep, tooth, s.crown, true);
            s.axis = PlaceVector(m_nStep, tooth, tooth->GetFrame()->m_dirZ);
            (void)SelectPointsNearPlane(QvPlane(cusp, s.axis), s.crown, s.contour);
            if (const QvCutLine* cut = tooth->GetCutLine())
                for (const QvPoint& p : cut->m_points)
                    s.cut.push_back(PlacePoint(m_nStep, tooth, p));
            if (!s.crown.empty() && !s.contour.empty() && !s.cut.empty())
                sets[i] = std::move(s);
        }
        for (int i = 0; i + 1 < 16; ++i)
        {
            const ContactSets& w = sets[i];
            const ContactSets& z = sets[i + 1];
            if (!w.tooth || !z.tooth)
                continue;
            double d1 = 0.0, d2 = 0.0, d3 = 0.0;
            QvPoint f1, g1, f2, g2, f3, g3;
            const bool has1 = FindClosestPoint(w.contour, z.crown, d1, f1, g1);
            const bool has2 = FindClosestPoint(z.contour, w.crown, d2, f2, g2);
            if (!has1 && !has2)
                continue;
            double cross = d1;
            QvPoint f = f1, g = g1;
            if (!has1 || (has2 && d2 < d1))
            {
                cross = d2;
                f = f2;
                g = g2;
            }
            if (!FindClosestPoint(w.cut, z.cut, d3, f3, g3))
                continue;
            const QvPoint m1 = f + (f3 - f) * 0.5;
            const QvPoint m2 = g + (g3 - g) * 0.5;
            double d4 = 0.0, d5 = 0.0;
            const bool has4 = NearPlaneDistance(QvPlane(m1, w.axis), w.crown, z.crown, d4);
            const bool has5 = NearPlaneDistance(QvPlane(m2, z.axis), z.crown, w.crown, d5);
            double refined = m1.Distance(m2);
            if (has4 && has5)
                refined = std::min(d4, d5);
            else if (has4)
                refined = d4;
            else if (has5)
                refined = d5;
            const double contacts[3] = {cross, refined, d3};
            GetToothMeasure(w.tooth->GetFdi()).SetContacts(contacts);
        }
    }
    return true;
}
