// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeDetail.h"

namespace {

bool IsLower(const QvToothBase* tooth) { return tooth && !tooth->IsUpper(); }

bool IsAnchor(const QvTreatStep* step)
{
    return step && (step->m_nType == kQvStepKey || step->m_nType == kQvStepInitial || step->m_nType == kQvStepFinal);
}

// The tooth's stored frame placed by matrix x own placement.
QvFrame PlacedFrame(const QvToothBase* tooth, const QvMatrix& matrix, const QvMatrix& own)
{
    QvFrame frame = tooth->m_frame;
    frame.Transform(matrix * own);
    return frame;
}

} // namespace

QvVector QuaternionToEuler(const QvQuaternion& q)
{
    const double w = q.m_w, x = q.m_x, y = q.m_y, z = q.m_z;
    const double yaw = std::atan2(2.0 * (w * z + x * y), w * w + x * x - y * y - z * z);
    // Rounding can push the argument just past 1 near pitch +-90 degrees, where asin
    // would give not-a-number and poison every interpolated placement.
    const double pitch = std::asin(std::clamp(-2.0 * (x * z - w * y), -1.0, 1.0));
    const double roll = std::atan2(2.0 * (w * x + y * z), w * w - x * x - y * y + z * z);
    return QvVector(yaw, pitch, roll);
}

QvVector QuaternionToEulerRPY(const QvQuaternion& q)
{
    const double w = q.m_w, x = q.m_x, y = q.m_y, z = q.m_z;
    const double roll = std::atan2(2.0 * (w * x + y * z), 1.0 - 2.0 * (x * x + y * y));
    const double pitch = std::asin(std::clamp(-2.0 * (x * z - w * y), -1.0, 1.0));
    const double yaw = std::atan2(2.0 * (w * z + x * y), 1.0 - 2.0 * (y * y + z * z));
    return QvVector(roll, pitch, yaw);
}

QvQuaternion EulerToQuaternion(double yaw, double pitch, double roll)
{
    const double s0 = std::sin(yaw / 2.0), c0 = std::cos(yaw / 2.0);
    const double s1 = std::sin(pitch / 2.0), c1 = std::cos(pitch / 2.0);
    const double s2 = std::sin(roll / 2.0), c2 = std::cos(roll / 2.0);
    return QvQuaternion(c0 * c1 * c2 + s0 * s1 * s2, c0 * c1 * s2 - s0 * s1 * c2, c0 * s1 * c2 + s0 * c1 * s2,
                        s0 * c1 * c2 - c0 * s1 * s2);
}

void QvScheme::RemoveBiteSteps()
{
    for (QvTreatStepList* list : m_stepLists)
        std::erase_if(list->m_steps, [](QvTreatStep* step) {
            if (step->m_nType != kQvStepBite || !IsLower(step->m_pTooth))
                return false;
            delete step;
            return true;
        });
}

void QvScheme::AddBiteSteps()
{
    std::vector<const QvToothBase*> teeth;
    {
        std::vector<QvToothBase*> present;
        GetTeeth(present);
        for (QvToothBase* tooth : present)
            if (IsLower(tooth))
                teeth.push_back(tooth);
        for (QvToothBase* tooth : m_virtualTeeth)
            if (IsLower(tooth) && GetInitialStep(tooth))
                teeth.push_back(tooth);
    }
    for (const QvToothBase* tooth : teeth)
    {
        for (std::size_t i = 0; i < m_stepLists.size(); ++i)
        {
            QvTreatStepList* list = m_stepLists[i];
            if (!list->m_bBite)
                continue;
            // A step of the tooth in this very list already follows this list's jaw:
            // J x inverse(J) would only add rounding.
            if (list->FindStep(tooth))
                continue;
            const QvTreatStep* anchor = nullptr;
            for (std::size_t k = i; k-- > 0 && !anchor;)
                if (QvTreatStep* g = m_stepLists[k]->FindStep(tooth); IsAnchor(g))
                    anchor = g;
            // Without an earlier anchor there is no jaw-relative position to follow.
            if (!anchor)
                continue;
            QvMatrix inverse;
            (void)QvInvertJaw(anchor->m_pStepList->m_jawMatrix, inverse);
            list->AddNewStep(const_cast<QvToothBase*>(tooth), static_cast<int>(i), kQvStepBite,
                             list->m_jawMatrix * inverse * anchor->m_matrix);
        }
    }
}

void QvScheme::StripJawTransform(const QvToothBase* tooth)
{
    if (!IsLower(tooth))
        return;
    for (QvTreatStepList* list : m_stepLists)
        if (QvTreatStep* step = list->FindStep(tooth); step && !QvIsExactIdentity(list->m_jawMatrix))
        {
            QvMatrix inverse;
            // A jaw matrix that cannot be inverted is ignored both ways.
            if (QvInvertJaw(list->m_jawMatrix, inverse))
                step->m_matrix = inverse * step->m_matrix;
        }
}

void QvScheme::ApplyJawTransform(const QvToothBase* tooth)
{
    if (!IsLower(tooth))
        return;
    for (QvTreatStepList* list : m_stepLists)
        if (QvTreatStep* step = list->FindStep(tooth); step && !QvIsExactIdentity(list->m_jawMatrix))
        {
            QvMatrix inverse;
            if (QvInvertJaw(list->m_jawMatrix, inverse))
                step->m_matrix = list->m_jawMatrix * step->m_matrix;
        }
}

int QvScheme::CountMovingSteps(const QvTreatStep* from, const QvTreatStep* to) const
{
    if (!from || !to)
        return 0;
    int count = 0;
    const int end = std::min(to->m_nStep, static_cast<int>(m_stepLists.size()));
    for (int n = std::max(from->m_nStep + 1, 0); n < end; ++n)
        if (const QvTreatStep* step = m_stepLists[static_cast<std::size_t>(n)]->FindStep(from->m_pTooth);
            step && step->m_nType == kQvStepMoving)
            ++count;
    return count;
}

void QvScheme::InterpolateSteps(QvTreatStep* from, QvTreatStep* to)
{
    const int c = CountMovingSteps(from, to);
    if (c == 0)
        return;
    QvToothBase* tooth = from->m_pTooth;
    if (!tooth)
        return;
    const bool isVirtual = tooth->GetType() == kQvTypeVirtualTooth;
    double scale[3] = {1.0, 1.0, 1.0};
    if (isVirtual)
        from->GetAxisScales(scale[0], scale[1], scale[2]);

    const QvMatrix own = QvOwnPlacement(tooth);
    const QvTreatStep* initial = GetInitialStep(tooth);
    // Every tooth of a scheme has an initial step; without one the stored position
    // stands in for it.
    const QvFrame f0 = PlacedFrame(tooth, initial ? initial->m_matrix : qvscheme::Identity4(), own);
    const QvFrame fa = PlacedFrame(tooth, from->m_matrix, own);
    const QvFrame fb = PlacedFrame(tooth, to->m_matrix, own);

    const std::unique_ptr<QvMatrix> motion(fa.GetTransformTo(fb));
    const QvVector angles = QuaternionToEuler(QvQuaternion(*motion));
    const QvVector shift = fb.m_centre - fa.m_centre;

    int skipped = 0;
    const QvTreatStep* previous = from;
    const int span = to->m_nStep - from->m_nStep;
    for (int i = 1; i < span; ++i)
    {
        const int n = from->m_nStep + i;
        QvTreatStep* x = n >= 0 && n < static_cast<int>(m_stepLists.size())
                             ? m_stepLists[static_cast<std::size_t>(n)]->FindStep(tooth)
                             : nullptr;
        if (!x)
        {
            ++skipped;
            continue;
        }
        if (x->m_nType != kQvStepMoving)
        {
            x->m_matrix = previous->m_matrix;
            ++skipped;
            continue;
        }
        const double t = static_cast<double>(i - skipped) / static_cast<double>(c + 1);
        QvMatrix rotation(3, 3);
        EulerToQuaternion(t * angles[0], t * angles[1], t * angles[2]).ToMatrix(rotation);
        const QvFrame ft(fa.m_centre + shift * t, rotation * fa.m_dirX, rotation * fa.m_dirY);
        const std::unique_ptr<QvMatrix> placement(f0.GetTransformTo(ft));
        x->m_matrix = *placement;
        if (isVirtual)
            FixVirtualToothScale(x, scale);
        previous = x;
    }
}

void QvScheme::FixVirtualToothScale(QvTreatStep* step, const double scale[3])
{
    if (!step || !step->m_pTooth || step->m_pTooth->GetType() != kQvTypeVirtualTooth)
        return;
    const QvToothBase* tooth = step->m_pTooth;
    const QvMatrix own = QvOwnPlacement(tooth);
    QvMatrix ownInverse = own;
    if (!ownInverse.Invert())
        return;
    const QvFrame& fr = tooth->m_frame;
    const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    const std::unique_ptr<QvMatrix> place(world.GetTransformTo(fr));
    const std::unique_ptr<QvMatrix> unplace(fr.GetTransformTo(world));
    QvMatrix s(4, 4);
    s[0][0] = scale[0];
    s[1][1] = scale[1];
    s[2][2] = scale[2];
    s[3][3] = 1.0;
    const QvMatrix k = *place * s * *unplace;

    QvFrame fp = fr;
    fp.Transform(step->m_matrix * own);
    const std::unique_ptr<QvMatrix> g(fr.GetTransformTo(fp));
    step->m_matrix = *g * k * ownInverse;
}

void QvScheme::ReinterpolateAround(int step, QvToothBase* tooth)
{
    QvTreatStep* here = GetTreatStep(step, tooth);
    if (!here)
        return;
    StripJawTransform(tooth);
    InterpolateSteps(FindPrevKeyStep(step, tooth), here);
    InterpolateSteps(here, FindNextKeyStep(step, tooth));
    ApplyJawTransform(tooth);
}
