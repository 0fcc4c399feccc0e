// SPDX-License-Identifier: GPL-3.0-or-later
// Jaw-level measures: midlines, curve of Spee, Bolton, incisor overlaps, canine,
// transverse and molar relations, arch widths, aesthetic and incisor measures.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvRefPlane.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/scheme/QvTreatStep.h"

namespace {

bool MiddlePlane(const QvModel* model, QvFrame& frame, double& value)
{
    const QvJawRef* ref = model ? model->GetJawRef() : nullptr;
    return ref && ref->GetMiddlePlane(frame, value);
}

bool ValidJawFrame(const QvModel* model, bool upper, QvFrame& out)
{
    const QvJaw* jaw = model ? model->GetJaw(upper) : nullptr;
    if (!jaw || !jaw->GetFrame()->IsValid())
        return false;
    out = *jaw->GetFrame();
    return true;
}

QvTooth* Found(const QvModel* model, int position)
{
    QvTooth* tooth = model ? model->FindToothAtPosition(position) : nullptr;
    return QvDentalMeasure::IsToothAbsent(tooth) ? nullptr : tooth;
}

QvPoint Mid(const QvPoint& a, const QvPoint& b)
{
    return a + (b - a) * 0.5;
}

// The point between the two central incisors of a jaw (key 0 upper, 1 lower) at a
// step; false when either is missing or has no incisal point.
bool CentralIncisalMid(const QvDentalMeasure& m, const QvModel* model, int step, int key, QvPoint& out)
{
    static const int teeth[2][2] = {{11, 21}, {31, 41}};
    QvTooth* a = Found(model, teeth[key][0]);
    QvTooth* b = Found(model, teeth[key][1]);
    QvPoint pa, pb;
    if (!a || !b || !m.GetIncisalPoint(step, a, pa) || !m.GetIncisalPoint(step, b, pb))
        return false;
    out = Mid(pa, pb);
    return true;
}

double AcosDegrees(double c)
{
    return std::acos(std::clamp(c, -1.0, 1.0)) * 180.0 / kQvPi;
}

} // namespace

// ---- Midlines and Spee ------------------------------------------------------------------

void QvDentalMeasure::ClassifyMidline(double signedDistance, QvMidlineDeviation& entry)
{
    const double d = std::fabs(signedDistance);
    entry.m_dDeviation = d;
    if (d <= 0.5)
    {
        entry.m_nStatus = entry.m_nSide = 1;
        return;
    }
    entry.m_nStatus = 2;
    entry.m_nSide = signedDistance > 0.5 ? 2 : 3;
}

bool QvDentalMeasure::ComputeMidlines()
{
    QvFrame mid, lowerJaw;
    double value = 0.0;
    if (!MiddlePlane(m_pModel, mid, value) || !ValidJawFrame(m_pModel, false, lowerJaw))
        return false;
    const QvPlane s(mid.m_centre, mid.m_dirZ);
    const QvVector l = lowerJaw.m_dirY;
    for (int key = 0; key < 2; ++key)
    {
        QvMidlineDeviation entry;
        if (!CentralIncisalMid(*this, m_pModel, m_nStep, key, entry.m_contactPoint))
            continue;
        entry.m_projection = s.ProjectPoint(entry.m_contactPoint);
        const double d = entry.m_contactPoint.Distance(entry.m_projection);
        ClassifyMidline((entry.m_contactPoint - entry.m_projection).Dot(l) >= 0.0 ? d : -d, entry);
        entry.m_dPlaneValue = value;
        entry.m_bUpper = key == 0;
        SetMidline(key, entry);
    }
    return true;
}

bool QvDentalMeasure::ComputeSpeeCurves()
{
    QvFrame mid, upperJaw;
    double value = 0.0;
    if (!MiddlePlane(m_pModel, mid, value) || !ValidJawFrame(m_pModel, true, upperJaw))
        return false;
    const QvPlane s(mid.m_centre, mid.m_dirZ);
    const QvVector up = upperJaw.m_dirZ;
    const int sides[2][7] = {{41, 42, 43, 44, 45, 46, 47}, {37, 36, 35, 34, 33, 32, 31}};
    std::vector<QvPoint> lists[2];
    for (int k = 0; k < 2; ++k)
        for (int position : sides[k])
        {
            QvTooth* tooth = Found(m_pModel, position);
            if (!tooth)
                continue;
            QvPoint cusp;
            if (!GetCuspPoint(m_nStep, tooth, cusp))
                return false;
            lists[k].push_back(s.ProjectPoint(cusp));
        }
    for (int k = 0; k < 2; ++k)
        if (lists[k].size() >= 2)
            SetSpeeCurve(k, SpeeCurveOfCusps(k, lists[k], up));
    return true;
}

QvSpeeCurve QvDentalMeasure::SpeeCurveOfCusps(int side, const std::vector<QvPoint>& p, const QvVector& up)
{
    if (p.size() < 2)
        return QvSpeeCurve();
    const QvLine chord(p.front(), p.front() - p.back());
    double best = 0.0, sign = 1.0;
    QvPoint foot, deepest;
    for (std::size_t j = 1; j + 1 < p.size(); ++j)
    {
        const QvPoint f = chord.ClosestPoint(p[j]);
        const double dist = f.Distance(p[j]);
        if (dist > best)
        {
            best = dist;
            foot = f;
            deepest = p[j];
            sign = (f - p[j]).Dot(up) > 0.0 ? 1.0 : -1.0;
        }
    }
    return QvSpeeCurve(side, p.front(), p.back(), foot, deepest, sign * best);
}

// ---- Bolton ---------------------------------------------------------------------------------

namespace {

void Classify(QvBoltonRatio& r, double low, double high)
{
    const double u = r.m_dUpperSum, l = r.m_dLowerSum;
    if (low * u - l >= 0.01)
        r.m_nStatus = 2, r.m_nKind = 2;
    else if (l - high * u >= 0.01)
        r.m_nStatus = 2, r.m_nKind = 3;
    else
        r.m_nStatus = 1, r.m_nKind = 1;
}

} // namespace

bool QvDentalMeasure::ComputeBoltonRatios()
{
    static const int kAll[28] = {17, 16, 15, 14, 13, 12, 11, 21, 22, 23, 24, 25, 26, 27,
                                 37, 36, 35, 34, 33, 32, 31, 41, 42, 43, 44, 45, 46, 47};
    bool any = false;
    for (int fdi : kAll)
        any = any || m_toothMeasures.count(fdi);
    if (!any)
        ComputeCrownSizes(0);
    auto width = [&](int fdi) {
        const QvTooth* tooth = m_pModel ? m_pModel->FindTooth(fdi) : nullptr;
        const auto it = m_toothMeasures.find(fdi);
        if (IsToothAbsent(tooth) || IsToothExcluded(tooth) || it == m_toothMeasures.end())
            return 0.0;
        return it->second.m_dCrownWidth;
    };
    auto sum = [&](std::initializer_list<int> list, double start) {
        for (int fdi : list)
            start += width(fdi);
        return start;
    };
    const double upperA = sum({13, 12, 11, 21, 22, 23}, 0.0);
    const double lowerA = sum({33, 32, 31, 41, 42, 43}, 0.0);
    const double upperT = sum({16, 15, 14, 24, 25, 26}, upperA);
    const double lowerT = sum({36, 35, 34, 44, 45, 46}, lowerA);
    QvBoltonRatio anterior;
    anterior.m_dUpperSum = upperA;
    anterior.m_dLowerSum = lowerA;
    anterior.m_bOverall = false;
    Classify(anterior, 0.7702, 0.8058);
    QvBoltonRatio overall;
    overall.m_dUpperSum = upperT;
    overall.m_dLowerSum = lowerT;
    overall.m_bOverall = true;
    Classify(overall, 0.8999, 0.9301);
    SetBoltonRatio(0, anterior);
    SetBoltonRatio(1, overall);
    return true;
}

// ---- Overlaps -------------------------------------------------------------------------------

bool QvDentalMeasure::ComputeIncisorOverlaps()
{
    std::unique_ptr<QvPlane> plane(GetLowerAnteriorPlane());
    if (!plane)
        return false;
    const int lowerPositions[8] = {44, 43, 42, 41, 31, 32, 33, 34};
    QvTooth* lower[8] = {};
    std::unique_ptr<QvBBox> boxes[8];
    for (int i = 0; i < 8; ++i)
        if ((lower[i] = Found(m_pModel, lowerPositions[i])))
            boxes[i].reset(GetToothBox(lower[i]));
    for (int position : {11, 12, 13, 21, 22, 23})
    {
        QvTooth* upper = Found(m_pModel, position);
        std::unique_ptr<QvBBox> box(upper ? GetToothBox(upper) : nullptr);
        if (!box)
            continue;
        std::vector<QvTooth*> list;
        for (int i = 0; i < 8; ++i)
            if (boxes[i] && !box->IsOutside(*boxes[i]))
                list.push_back(lower[i]);
        box.reset();
        ComputeOverjet(upper, list, plane.get());
        ComputeOverbite(upper, list, plane.get());
    }
    return true;
}

int QvDentalMeasure::GradeOverjet(const QvIncisorOverlap& o)
{
    if (o.m_bReverse)
        return 6;
    const double v = o.m_dValue;
    if (std::fabs(v) < 1e-5)
        return 5;
    if (v > 8.0)
        return 4;
    if (v > 5.0)
        return 3;
    if (v > 3.0)
        return 2;
    return 1;
}

int QvDentalMeasure::GradeOverbite(const QvIncisorOverlap& o)
{
    if (o.m_bReverse)
        return 6;
    const double f = o.m_dValue;
    if (std::fabs(f) < 1e-5)
        return 5;
    if (f > 2.0 / 3.0)
        return 4;
    if (f > 0.5)
        return 3;
    if (f > 1.0 / 3.0)
        return 2;
    return 1;
}

void QvDentalMeasure::ComputeOverjet(QvTooth* upper, const std::vector<QvTooth*>& lower, const QvPlane* plane)
{
    if (!upper || !plane || !upper->GetToothRef())
        return;
    const QvVector u = plane->GetNormal();
    const QvVector x = PlaceVector(m_nStep, upper, upper->GetFrame()->m_dirX);
    QvVector k = u.Cross(x - u * x.Dot(u));
    k.Normalize();
    if (FdiQuadrant(upper->GetFdi()) == 1)
        k.Negate();
    const QvToothRef& ref = *upper->GetToothRef();
    std::vector<QvPoint> measuring;
    for (int v : ref.GetMidCurve().m_vertices)
        measuring.push_back(PlacePoint(m_nStep, upper, ref.GetVertex(v)));

    std::vector<QvIncisorOverlap> candidates;
    for (const QvPoint& p : measuring)
        for (QvTooth* tooth : lower)
        {
            QvLine line(p, k);
            const QvTreatStep* placed = GetToothStep(m_nStep, tooth);
            QvMatrix inverse;
            bool toLocal = false;
            if (placed)
            {
                inverse = *placed->GetMatrix();
                toLocal = inverse.Invert();
            }
            if (toLocal)
                line = QvLine(inverse * p, inverse * k);
            std::vector<QvPoint> hits;
            if (!tooth->IntersectLine(line, hits))
                continue;
            double bound = 1e10;
            QvPoint nearest;
            bool any = false;
            for (QvPoint h : hits)
            {
                if (toLocal)
                    h = *placed->GetMatrix() * h;
                const double d = h.Distance(p);
                if (d < bound)
                {
                    bound = d;
                    nearest = h;
                    any = true;
                }
            }
            if (!any)
                continue;
            QvIncisorOverlap c;
            c.m_direction = k;
            c.m_pTooth = tooth;
            c.m_bReverse = (nearest - p).Dot(k) < 0.0;
            c.m_dValue = bound;
            candidates.push_back(c);
        }

    if (candidates.empty())
    {
        const QvPoint g = PlacePoint(m_nStep, upper, ref.GetVertex(ref.GetMidCurve().GetMiddleVertex()));
        QvTooth* chosen = nullptr;
        double best = -1.0;
        for (int fdi : {44, 43, 42, 41, 31, 32, 33, 34})
        {
            QvTooth* tooth = m_pModel ? m_pModel->FindToothAtPosition(fdi) : nullptr;
            if (IsToothAbsent(tooth) || !tooth->GetToothRef() || IsToothExcluded(tooth))
                continue;
            const QvToothRef& lr = *tooth->GetToothRef();
            QvVector dir = g - PlacePoint(m_nStep, tooth, lr.GetVertex(lr.GetMidCurve().GetMiddleVertex()));
            dir.Normalize();
            const double along = std::fabs(dir.Dot(u));
            if (along > best)
            {
                best = along;
                chosen = tooth;
            }
        }
        if (!chosen)
            return;
        std::vector<QvPoint> vertices;
        (void)GetCrownPoints(m_nStep, chosen, vertices, false);
        if (vertices.empty())
            return;
        std::vector<double> heights;
        for (const QvPoint& v : vertices)
            heights.push_back(plane->Distance(v, true));
        for (const QvPoint& p : measuring)
        {
            const double h = plane->Distance(p, true);
            std::size_t at = 0;
            for (std::size_t i = 1; i < heights.size(); ++i)
                if (std::fabs(heights[i] - h) < std::fabs(heights[at] - h))
                    at = i;
            const QvLine line(p, k);
            double negative = 0.0, positive = 0.0;
            int nNegative = 0, nPositive = 0;
            for (std::size_t i = 0; i < vertices.size(); ++i)
            {
                if (std::fabs(heights[i] - heights[at]) > 0.5)
                    continue;
                double t = 0.0;
                (void)line.ClosestPoint(vertices[i], &t);
                if (t < 0.0)
                    negative += t, ++nNegative;
                else
                    positive += t, ++nPositive;
            }
            QvIncisorOverlap c;
            c.m_pTooth = chosen;
            c.m_bReverse = nNegative > 0;
            c.m_dValue = nNegative > 0 ? -negative / nNegative : (nPositive > 0 ? positive / nPositive : 0.0);
            candidates.push_back(c);
        }
    }
    if (candidates.empty())
        return;
    const QvIncisorOverlap* chosen = nullptr;
    for (const QvIncisorOverlap& c : candidates)
        if (c.m_bReverse)
        {
            chosen = &c;
            break;
        }
    if (!chosen)
        for (const QvIncisorOverlap& c : candidates)
            if (!chosen || c.m_dValue < chosen->m_dValue)
                chosen = &c;
    QvIncisorOverlap entry = *chosen;
    entry.m_nStatus = entry.m_nKind = GradeOverjet(entry);
    SetOverjet(upper->GetFdi(), entry);
}

void QvDentalMeasure::ComputeOverbite(QvTooth* upper, const std::vector<QvTooth*>& lower, const QvPlane* plane)
{
    if (!upper || !plane)
        return;
    std::vector<QvPoint> vertices;
    if (!GetCrownPoints(m_nStep, upper, vertices, false) || vertices.empty())
        return;
    QvPoint top;
    double highest = -1e10;
    for (const QvPoint& v : vertices)
        if (const double d = plane->Distance(v, true); d > highest)
        {
            highest = d;
            top = v;
        }
    const QvPlane q(top, plane->GetNormal());
    std::vector<QvIncisorOverlap> candidates;
    for (QvTooth* tooth : lower)
    {
        std::vector<QvPoint> crown;
        (void)GetCrownPoints(m_nStep, tooth, crown, true);
        if (crown.empty())
            continue;
        double m = 1e10, big = -1e10;
        for (const QvPoint& p : crown)
        {
            const double d = q.Distance(p, true);
            if (d < m)
                m = d;
            else if (d > big)
                big = d;
        }
        // A crown entirely on the plane has no height to measure against.
        if (m < 0.0 && big > m)
        {
            QvIncisorOverlap c;
            c.m_point = top;
            c.m_direction = plane->GetNormal();
            c.m_pTooth = tooth;
            c.m_dValue = -m / (big - m);
            candidates.push_back(c);
        }
    }
    if (candidates.empty())
    {
        const QvToothRef* ref = upper->GetToothRef();
        if (!ref)
            return;
        const QvPoint g = PlacePoint(m_nStep, upper, ref->GetVertex(ref->GetMidCurve().GetMiddleVertex()));
        QvTooth* chosen = nullptr;
        double best = -1.0;
        for (int fdi : {44, 43, 42, 41, 31, 32, 33, 34})
        {
            QvTooth* tooth = m_pModel ? m_pModel->FindTooth(fdi) : nullptr;
            if (IsToothAbsent(tooth) || !tooth->GetToothRef() || IsToothExcluded(tooth))
                continue;
            const QvToothRef& lr = *tooth->GetToothRef();
            QvVector dir = g - PlacePoint(m_nStep, tooth, lr.GetVertex(lr.GetMidCurve().GetMiddleVertex()));
            dir.Normalize();
            const double along = std::fabs(dir.Dot(plane->GetNormal()));
            if (along > best)
            {
                best = along;
                chosen = tooth;
            }
        }
        if (!chosen)
            return;
        std::vector<QvPoint> crown;
        (void)GetCrownPoints(m_nStep, chosen, crown, true);
        if (crown.empty())
            return;
        double m = 1e10;
        for (const QvPoint& p : crown)
            m = std::min(m, q.Distance(p, true));
        QvIncisorOverlap c;
        c.m_point = top;
        c.m_direction = plane->GetNormal();
        c.m_pTooth = chosen;
        c.m_bReverse = true;
        c.m_dValue = std::fabs(m);
        candidates.push_back(c);
    }
    const QvIncisorOverlap* chosen = nullptr;
    for (const QvIncisorOverlap& c : candidates)
        if (c.m_dValue > 0.0 && (!chosen || c.m_dValue > chosen->m_dValue))
            chosen = &c;
    if (!chosen)
        return;
    QvIncisorOverlap entry = *chosen;
    entry.m_nStatus = entry.m_nKind = GradeOverbite(entry);
    SetOverbite(upper->GetFdi(), entry);
}

// ---- Canine, transverse and molar relations ----------------------------------------------

namespace {

// A feature point's stored position placed at the step; false when the tooth lacks it.
bool FeaturePoint(const QvDentalMeasure& m, const QvTooth* tooth, int key, QvPoint& out)
{
    if (!tooth || !tooth->GetToothRef())
        return false;
    const QvFeaturePoint* f = tooth->GetToothRef()->FindFeaturePoint(key);
    if (!f)
        return false;
    out = m.PlacePoint(m.m_nStep, tooth, f->m_position);
    return true;
}

} // namespace

QvCanineRelation QvDentalMeasure::ClassifyCanine(double r)
{
    QvCanineRelation entry;
    entry.m_nClass = r > 0.9 ? 3 : (r < 0.1 ? 2 : 1);
    entry.m_nGrade = entry.m_nClass == 1 ? 1 : 2;
    return entry;
}

bool QvDentalMeasure::ComputeCanineRelations()
{
    const int sides[2][3] = {{13, 43, 44}, {23, 33, 34}};
    for (const auto& side : sides)
    {
        QvPoint points[3];
        QvTooth* upper = nullptr;
        bool ok = true;
        for (int i = 0; i < 3 && ok; ++i)
        {
            QvTooth* tooth = Found(m_pModel, side[i]);
            ok = tooth && !IsToothExcluded(tooth) && FeaturePoint(*this, tooth, 2, points[i]);
            if (i == 0)
                upper = tooth;
        }
        if (!ok)
            continue;
        const QvVector span = points[2] - points[1];
        const double d = span.Length();
        // Lower cusps that coincide give no line to measure along.
        if (IsZero(d))
            continue;
        const double t = (points[0] - points[1]).Dot(span) / d;
        const double r = t / d;
        SetCanineRelation(upper->GetFdi(), ClassifyCanine(r));
    }
    return true;
}

bool QvDentalMeasure::ComputeTransverseRelations()
{
    if (!m_pModel)
        return true;
    std::map<int, std::vector<std::pair<QvPoint, QvPoint>>> segments;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        auto* tooth = dynamic_cast<QvTooth*>(entity);
        if (IsToothAbsent(tooth) || !tooth->GetToothRef() || IsToothExcluded(tooth))
            continue;
        const int kind = tooth->GetToothKind();
        QvPoint p[7];
        if (kind == 4 && FeaturePoint(*this, tooth, 3, p[3]) && FeaturePoint(*this, tooth, 4, p[4]) &&
            FeaturePoint(*this, tooth, 5, p[5]) && FeaturePoint(*this, tooth, 6, p[6]))
            segments[tooth->GetFdi()] = {{p[3], p[5]}, {p[4], p[6]}};
        else if (kind == 3 && FeaturePoint(*this, tooth, 1, p[1]) && FeaturePoint(*this, tooth, 2, p[2]))
            segments[tooth->GetFdi()] = {{p[2], p[1]}};
    }
    const int uppers[2][4] = {{17, 16, 15, 14}, {24, 25, 26, 27}};
    const int lowers[2][4] = {{47, 46, 45, 44}, {34, 35, 36, 37}};
    for (int side = 0; side < 2; ++side)
    {
        const bool right = side == 0;
        std::unique_ptr<QvPlane> b(GetBuccalPlane(0, right));
        std::unique_ptr<QvLine> s(GetBuccalLine(0, right));
        if (!b || !s)
            continue;
        const QvVector d = s->GetDirection().Cross(b->GetNormal());
        std::unique_ptr<QvBBox> lowerBoxes[4];
        QvTooth* lowerTeeth[4] = {};
        for (int i = 0; i < 4; ++i)
            if ((lowerTeeth[i] = m_pModel->FindToothAtPosition(lowers[side][i])))
                lowerBoxes[i].reset(GetToothBox(lowerTeeth[i]));
        for (int position : uppers[side])
        {
            QvTooth* upper = m_pModel->FindToothAtPosition(position);
            std::unique_ptr<QvBBox> box(upper ? GetToothBox(upper) : nullptr);
            if (!box)
                continue;
            std::vector<QvTooth*> candidates;
            for (int i = 0; i < 4; ++i)
                if (lowerBoxes[i] && !box->IsOutside(*lowerBoxes[i]))
                    candidates.push_back(lowerTeeth[i]);
            int level = 0;
            const auto own = segments.find(upper->GetFdi());
            if (own == segments.end() || candidates.empty())
                continue;
            for (const auto& [a1, a2] : own->second)
            {
                const QvLine w(b->ProjectPoint(a1), d);
                const std::pair<QvPoint, QvPoint>* nearest = nullptr;
                double bound = 1e10;
                for (QvTooth* c : candidates)
                    if (const auto it = segments.find(c->GetFdi()); it != segments.end())
                        for (const auto& seg : it->second)
                            if (const double dist = w.Distance(b->ProjectPoint(seg.first)); dist < bound)
                            {
                                bound = dist;
                                nearest = &seg;
                            }
                if (!nearest)
                    continue;
                double sParam = 0.0, p1 = 0.0, p2 = 0.0;
                (void)w.ClosestPoint(a2, &sParam);
                (void)w.ClosestPoint(nearest->first, &p1);
                (void)w.ClosestPoint(nearest->second, &p2);
                if (sParam < 0.0)
                    sParam = -sParam, p1 = -p1, p2 = -p2;
                QvTransverseRelation entry;
                if (p1 > sParam)
                    entry.m_nKind = entry.m_nGrade = 5;
                else if (p2 < 0.0)
                {
                    entry.m_nKind = 6;
                    entry.m_nGrade = 5;
                    entry.m_bLingual = true;
                }
                else
                {
                    // A cusp on the line itself has no span: the ratio is taken as 0.
                    const double r = IsZero(sParam) ? 0.0 : p1 / sParam;
                    const int g = r < -0.3 ? 4 : (r < 0.1 ? 3 : (r > 0.75 ? 2 : 1));
                    entry.m_nKind = entry.m_nGrade = g;
                }
                if (entry.m_nGrade > level)
                {
                    level = entry.m_nGrade;
                    SetTransverseRelation(upper->GetFdi(), entry);
                }
            }
        }
    }
    return true;
}

int QvDentalMeasure::ClassifyMolar(double da, double db)
{
    if (da >= 0.0 && db >= 0.0)
        return 1;
    if (da > 0.0 && db < 0.0)
        return 2;
    return da < 0.0 && db > 0.0 ? 3 : 0;
}

std::size_t QvDentalMeasure::MolarValueCount(int molarClass)
{
    return molarClass == 1 ? 6 : (molarClass == 2 ? 3 : 2);
}

bool QvDentalMeasure::ComputeMolarRelation()
{
    if (!m_pModel)
        return true;
    const int rows[2][2] = {{16, 46}, {26, 36}};
    for (int side = 0; side < 2; ++side)
    {
        const bool right = side == 0;
        std::unique_ptr<QvLine> l(GetBuccalLine(0, right));
        if (!l)
            continue;
        auto usable = [&](int position) -> QvTooth* {
            QvTooth* tooth = Found(m_pModel, position);
            return tooth && !IsToothExcluded(tooth) && tooth->GetToothRef() ? tooth : nullptr;
        };
        QvTooth* molars[2] = {usable(rows[side][0]), usable(rows[side][1])};
        if (!molars[0] || !molars[1])
            continue;
        QvPoint p3[2], p4[2];
        for (int m = 0; m < 2; ++m)
        {
            const QvToothRef& ref = *molars[m]->GetToothRef();
            bool keys = ref.m_featurePoints.size() == 4;
            for (int key : {3, 4, 5, 6})
                keys = keys && ref.GetFeatureVertex(key) != -1;
            if (keys)
            {
                p3[m] = PlacePoint(m_nStep, molars[m], ref.GetVertex(ref.GetFeatureVertex(3)));
                p4[m] = PlacePoint(m_nStep, molars[m], ref.GetVertex(ref.GetFeatureVertex(4)));
            }
        }
        const QvBSplineCurve* facc = molars[1]->GetToothRef()->GetFacc().m_pCurve;
        if (!facc || !usable(rows[side][1]))
            continue;
        QvPoint e0 = facc->Evaluate(0.0), e1 = facc->Evaluate(1.0);
        if ((e1 - e0).Dot(molars[1]->GetFrame()->m_dirZ) > 0.0)
            std::swap(e0, e1);
        e1 = PlacePoint(m_nStep, molars[1], e1);
        const QvPoint u = l->ClosestPoint(p3[0]);
        const QvPoint m = l->ClosestPoint(e1);
        const QvPoint a = l->ClosestPoint(p4[1]);
        const QvPoint b = l->ClosestPoint(p3[1]);
        const QvPoint mid1 = Mid(m, a), mid2 = Mid(m, b);
        const QvVector x = molars[1]->GetFrame()->m_dirX;
        const double da = (u - mid1).Dot(x), db = (mid2 - u).Dot(x);
        QvMolarRelation entry;
        entry.m_nClass = ClassifyMolar(da, db);
        entry.m_nGrade = entry.m_nClass == 0 ? 0 : (entry.m_nClass == 1 ? 1 : 2);
        QvVector r = p3[0] - p4[0];
        r.Normalize();
        auto value = [&](const QvPoint& s, const QvPoint& w) {
            const QvPoint sp = l->ClosestPoint(s), wp = l->ClosestPoint(w);
            const double d = sp.Distance(wp);
            return (sp - wp).Dot(r) > 0.0 ? d : -d;
        };
        const int q = FdiQuadrant(rows[side][0]) * 10, ql = FdiQuadrant(rows[side][1]) * 10;
        auto point = [&](int position, int key, QvPoint& out) { return FeaturePoint(*this, usable(position), key, out); };
        entry.m_values.assign(MolarValueCount(entry.m_nClass), 0.0);
        entry.m_values[0] = u.Distance(m);
        QvPoint s, w1, w2;
        if (entry.m_nClass == 1)
        {
            for (int i = 0; i < 3; ++i)
                if (point(q + 3 + i, 2, s) && point(ql + 3 + i, 3 + i >= 6 ? 3 : 2, w1) &&
                    point(ql + 4 + i, 4 + i >= 6 ? 3 : 2, w2))
                    entry.m_values[1 + static_cast<std::size_t>(i)] = value(s, Mid(w1, w2));
            // The opposing molar's mesio-buccal cusp serves as its reference.
            if (point(q + 6, 3, s) && point(ql + 6, 3, w1))
                entry.m_values[4] = value(s, w1);
            if (point(q + 7, 3, s) && point(ql + 7, 3, w1))
                entry.m_values[5] = value(s, w1);
        }
        else if (entry.m_nClass == 2)
        {
            if (point(q + 6, 3, s) && point(ql + 5, 2, w1) && point(ql + 6, 3, w2))
                entry.m_values[1] = value(s, Mid(w1, w2));
            if (point(q + 7, 3, s) && point(ql + 6, 4, w1) && point(ql + 7, 3, w2))
                entry.m_values[2] = value(s, Mid(w1, w2));
        }
        else if (point(q + 5, 2, s) && point(ql + 6, 3, w1))
            entry.m_values[1] = value(s, w1);
        SetMolarRelation(rows[side][0], entry);
    }
    return true;
}

// ---- Arch widths ------------------------------------------------------------------------------

void QvDentalMeasure::ComputeArchWidths()
{
    if (!m_pModel)
        return;
    const int rows[3][3] = {{0, 14, 24}, {1, 16, 26}, {3, 36, 46}};
    for (const auto& row : rows)
    {
        const QvTooth* teeth[2] = {Found(m_pModel, row[1]), Found(m_pModel, row[2])};
        QvPoint points[2];
        bool ok = true;
        for (int i = 0; i < 2 && ok; ++i)
        {
            const QvToothRef* ref = teeth[i] ? teeth[i]->GetToothRef() : nullptr;
            ok = ref && !ref->m_featurePoints.empty();
            if (!ok)
                break;
            if (row[0] == 3)
            {
                const QvFeaturePoint* f = ref->GetFeatureVertex(4) != -1 ? ref->FindFeaturePoint(4) : nullptr;
                ok = f != nullptr;
                if (ok)
                    points[i] = f->m_position;
            }
            else
                points[i] = ref->GetVertex(ref->GetMidCurve().GetMiddleVertex());
        }
        if (!ok)
            continue;
        QvArchWidth entry;
        entry.m_dWidth = points[0].Distance(points[1]);
        entry.m_first = points[0];
        entry.m_second = points[1];
        SetArchWidth(row[0], entry);
    }

    QvPoint contact[2];
    const int pairs[2][2] = {{34, 35}, {44, 45}};
    for (int k = 0; k < 2; ++k)
    {
        const QvTooth* a = Found(m_pModel, pairs[k][0]);
        const QvTooth* b = Found(m_pModel, pairs[k][1]);
        if (!a || !b || !a->GetToothRef() || !b->GetToothRef() || !a->GetToothRef()->GetFacc().m_pCurve ||
            !b->GetToothRef()->GetFacc().m_pCurve)
            return;
        const QvPoint f = Mid(a->GetToothRef()->GetFacc().m_pCurve->Evaluate(1.0),
                              b->GetToothRef()->GetFacc().m_pCurve->Evaluate(1.0));
        std::map<int, int> contactPairs;
        FindContactPairs(a, b, contactPairs);
        contact[k] = f;
        double bound = 1.7976931348623157e308;
        for (const auto& [i, j] : contactPairs)
        {
            const QvPoint m =
                Mid(a->m_vertices[static_cast<std::size_t>(i)].m_point, b->m_vertices[static_cast<std::size_t>(j)].m_point);
            if (const double d = m.Distance(f); d < bound)
            {
                bound = d;
                contact[k] = m;
            }
        }
    }
    QvArchWidth entry;
    entry.m_dWidth = contact[0].Distance(contact[1]);
    entry.m_first = contact[0];
    entry.m_second = contact[1];
    SetArchWidth(2, entry);
}

// ---- Aesthetic, midline and incisor measures ------------------------------------------------

bool QvDentalMeasure::ComputeAestheticDistances()
{
    const QvJawRef* jawRef = m_pModel ? m_pModel->GetJawRef() : nullptr;
    const QvBeautyPlane* beauty = jawRef ? jawRef->m_pBeautyPlane : nullptr;
    if (!beauty || beauty->m_lipPoints.size() != 2)
        return false;
    std::vector<QvPoint> before, after;
    QvTooth* t21 = nullptr;
    for (int position : {11, 21})
    {
        QvTooth* tooth = Found(m_pModel, position);
        if (position == 21)
            t21 = tooth;
        QvPoint p;
        if (!tooth || IsToothExcluded(tooth) || !GetIncisalPoint(m_nStep, tooth, p))
            continue;
        QvPoint unplaced;
        const bool initial = m_bInitial;
        m_bInitial = true;
        (void)GetIncisalPoint(m_nStep, tooth, unplaced);
        m_bInitial = initial;
        before.push_back(unplaced);
        after.push_back(p);
    }
    if (before.size() != 2 || !t21)
        return false;
    const QvVector d = Mid(after[0], after[1]) - Mid(before[0], before[1]);
    const QvPoint q0 = beauty->m_lipPoints[0] + d * 0.5;
    const QvPoint q1 = beauty->m_lipPoints[1] + d * 0.3;
    QvVector n = beauty->m_frame.m_dirZ;
    if (n.Dot(PlaceVector(m_nStep, t21, t21->GetFrame()->m_dirY)) < 0.0)
        n.Negate();
    const QvPlane plane(beauty->m_frame.m_centre, n);
    QvAestheticDistance first, second;
    first.m_dDistance = plane.Distance(q0, true);
    first.m_bFirst = true;
    first.m_nStatus = first.m_nKind = std::fabs(first.m_dDistance + 1.4) <= 1.87 ? 1 : 2;
    second.m_dDistance = plane.Distance(q1, true);
    second.m_bFirst = false;
    second.m_nStatus = second.m_nKind = std::fabs(second.m_dDistance - 0.6) <= 1.87 ? 1 : 2;
    SetAestheticDistance(0, first);
    SetAestheticDistance(1, second);
    return true;
}

namespace {

int GradeMidlineOffset(double x)
{
    if (x >= 0.0 && x <= 0.5)
        return 1;
    if (x > 0.5 && x <= 2.0)
        return 2;
    if (x > 2.0 && x <= 3.0)
        return 3;
    return 4;
}

} // namespace

bool QvDentalMeasure::ComputeMidlineOffsets()
{
    QvFrame mid;
    double value = 0.0;
    if (!MiddlePlane(m_pModel, mid, value))
        return false;
    const QvPlane plane(mid.m_centre, mid.m_dirZ);
    const int teeth[2][4] = {{11, 21, 12, 22}, {31, 41, 32, 42}};
    for (int key = 0; key < 2; ++key)
    {
        QvPoint p[4];
        bool counts[4];
        for (int i = 0; i < 4; ++i)
        {
            QvTooth* tooth = Found(m_pModel, teeth[key][i]);
            counts[i] = tooth && GetIncisalPoint(m_nStep, tooth, p[i]);
        }
        int first = -1;
        if (counts[0] && counts[1])
            first = 0;
        else if (!counts[0] && !counts[1] && counts[2] && counts[3])
            first = 2;
        if (first < 0)
            continue;
        QvMidlineOffset entry;
        entry.m_dOffset = plane.Distance(Mid(p[first], p[first + 1]), false);
        entry.m_nStatus = entry.m_nKind = GradeMidlineOffset(entry.m_dOffset);
        entry.m_bUpper = key == 0;
        SetMidlineOffset(key, entry);
    }
    return true;
}

bool QvDentalMeasure::ComputeMidlineDiscrepancy()
{
    QvFrame mid, lowerJaw;
    double value = 0.0;
    if (!MiddlePlane(m_pModel, mid, value) || !ValidJawFrame(m_pModel, false, lowerJaw))
        return false;
    const QvPlane plane(mid.m_centre, mid.m_dirZ);
    const QvVector y = lowerJaw.m_dirY;
    double offsets[2] = {0.0, 0.0};
    for (int key = 0; key < 2; ++key)
    {
        QvPoint m;
        if (!CentralIncisalMid(*this, m_pModel, m_nStep, key, m))
            return true;
        const QvPoint p = plane.ProjectPoint(m);
        offsets[key] = (m - p).Dot(y) < 0.0 ? -m.Distance(p) : m.Distance(p);
    }
    QvMidlineDiscrepancy entry;
    entry.m_dUpper = offsets[0];
    entry.m_dLower = offsets[1];
    entry.m_nStatus = entry.m_nKind = std::fabs(offsets[0] - offsets[1]) <= 0.5 ? 1 : 2;
    SetMidlineDiscrepancy(0, entry);
    return true;
}

void QvDentalMeasure::ClassifyInterincisal(QvInterincisalAngle& entry)
{
    if (entry.m_dAngle - 125.4 > 7.9)
        entry.m_nStatus = 2, entry.m_nKind = 2;
    else if (125.4 - entry.m_dAngle > 7.9)
        entry.m_nStatus = 2, entry.m_nKind = 3;
    else
        entry.m_nStatus = 1, entry.m_nKind = 1;
}

bool QvDentalMeasure::ComputeInterincisalAngles()
{
    const int pairs[2][2] = {{11, 41}, {21, 31}};
    for (const auto& pair : pairs)
    {
        QvTooth* upper = Found(m_pModel, pair[0]);
        QvTooth* lower = Found(m_pModel, pair[1]);
        if (!upper || !lower || IsToothExcluded(upper) || IsToothExcluded(lower))
            continue;
        QvVector a = PlaceVector(m_nStep, upper, upper->GetFrame()->m_dirZ);
        QvVector b = PlaceVector(m_nStep, lower, lower->GetFrame()->m_dirZ);
        QvInterincisalAngle entry;
        entry.m_dAngle = AcosDegrees(a.Dot(b));
        ClassifyInterincisal(entry);
        SetInterincisalAngle(pair[0], entry);
    }
    return true;
}

bool QvDentalMeasure::ComputeLowerIncisorAngles()
{
    double o = 0.0;
    for (int fdi : {31, 41})
    {
        QvTooth* tooth = Found(m_pModel, fdi);
        QvFrame mid;
        double value = 0.0;
        if (!tooth || IsToothExcluded(tooth) || !MiddlePlane(m_pModel, mid, value))
            continue;
        const QvPlane r(mid.m_centre, mid.m_dirZ);
        QvPlane s;
        if (!m_pModel->GetJawRef()->GetViewFrame(m_pModel, s))
            return false;
        QvLine line;
        if (!r.IntersectPlane(s, line))
            return false;
        QvVector e = line.GetDirection();
        e.Normalize();
        std::vector<QvPoint> back;
        if (!m_pModel->GetJawRef()->GetBackBoundaryPoints(back) || back.size() < 4)
            return false;
        if (e.Dot(r.ProjectPoint(back[2]) - r.ProjectPoint(back[3])) < 0.0)
            e.Negate();
        QvVector h = s.GetNormal();
        h.Normalize();
        if (h.Dot(s.ProjectPoint(back[2]) - back[2]) < 0.0)
            h.Negate();
        // Without a cephalometric tracing the angle keeps its last value (0 at first).
        if (const auto* cep = dynamic_cast<const QvCepMeasure*>(m_pModel->FindImageMeasure(kQvCepMeasureType, false)))
            (void)QvCepMeasure::FindItemValue(cep->m_items, 5, o);
        const double t = o * kQvPi / 180.0;
        QvVector w = e * std::cos(t) + h * std::sin(t);
        w.Normalize();
        const QvVector v = w.Cross(e);
        const QvVector a = PlaceVector(m_nStep, tooth, tooth->GetFrame()->m_dirZ);
        const QvVector nr = r.GetNormal();
        QvVector in = a - nr * a.Dot(nr);
        in.Normalize();
        double first = AcosDegrees(e.Dot(in));
        if (e.Cross(in).Dot(v) < 0.0)
            first = 360.0 - first;
        const QvVector minusI = in * -1.0;
        double second = AcosDegrees(minusI.Dot(w));
        if (minusI.Cross(w).Dot(v) < 0.0)
            second = 360.0 - second;
        const int f1 = std::fabs(first - 54.9) <= 6.1 ? 1 : 0;
        const int f2 = std::fabs(second - 93.9) <= 6.2 ? 1 : 0;
        QvIncisorAngles entry;
        entry.m_dFirst = first;
        entry.m_dSecond = second;
        entry.m_nStatus = 3 - f1 - f2;
        entry.m_nKind = 4 - f1 - 2 * f2;
        SetLowerIncisorAngles(fdi, entry);
    }
    return true;
}
