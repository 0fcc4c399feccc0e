// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/scheme/QvTreatStep.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvVirtualTooth.h"
#include "core/scheme/QvSchemeDetail.h"
#include "core/scheme/QvTreatStepList.h"

using qvscheme::StepForm;

namespace {

struct StepFields
{
    QvToothBase* tooth = nullptr;
    std::int32_t step = 0;
    std::int32_t type = 0;
    QvMatrix matrix;
};

QvToothBase* ResolveById(std::int32_t id, QvModel* model, const QvToothCandidates* candidates)
{
    if (candidates)
        for (QvToothBase* tooth : *candidates)
            if (tooth && tooth->GetID() == id)
                return tooth;
    if (!model)
        return nullptr;
    // Only a tooth may be placed by a step, whatever else is registered under the id.
    return dynamic_cast<QvToothBase*>(model->FindEntity(id));
}

QvToothBase* ResolveByFdi(std::int32_t fdi, QvModel* model) { return model ? model->FindTooth(fdi) : nullptr; }

QvToothBase* ResolveByFdiState(std::int32_t fdi, std::int32_t state, QvModel* model)
{
    return model ? model->FindToothInState(fdi, state) : nullptr;
}

// The old numbering of version 513: its key steps came in two kinds.
std::int32_t TranslateOldType(std::int32_t type)
{
    switch (type)
    {
    case 2:
    case 3:
        return 3;
    case 4:
        return 2;
    case 5:
        return 4;
    case 6:
        return 5;
    default:
        return type;
    }
}

[[nodiscard]] bool ReadFields(std::istream& is, StepForm form, QvModel* model, const QvToothCandidates* candidates,
                              StepFields& out)
{
    std::int32_t kind = 0;
    if (form == StepForm::Tagged)
    {
        if (!qvio::ReadI32(is, kind))
            return false;
        if (kind != 0 && kind != 1)
        {
            is.setstate(std::ios::failbit);
            return false;
        }
    }
    if (!qvio::ReadI32(is, out.step) || !qvio::ReadI32(is, out.type))
        return false;
    std::int32_t fdiOrId = 0;
    std::int32_t state = 0;
    if (!qvio::ReadI32(is, fdiOrId))
        return false;
    const bool hasState = form == StepForm::FdiState || (form == StepForm::Tagged && kind == 0);
    if (hasState && !qvio::ReadI32(is, state))
        return false;
    if (!qvscheme::ReadPlacement(is, out.matrix))
        return false;
    if (form == StepForm::Fdi)
        out.tooth = ResolveByFdi(fdiOrId, model);
    else if (hasState)
        out.tooth = ResolveByFdiState(fdiOrId, state, model);
    else
        out.tooth = ResolveById(fdiOrId, model, candidates);
    return true;
}

void WriteFields(std::ostream& os, StepForm form, const QvTreatStep& step)
{
    const QvToothBase* tooth = step.m_pTooth;
    const auto* scanned = tooth && tooth->GetType() == kQvTypeTooth ? static_cast<const QvTooth*>(tooth) : nullptr;
    // Forms without ids cannot name a virtual tooth (their versions carry none): its
    // number 0 resolves to no tooth when read, rather than to the real tooth it
    // stands in for.
    const std::int32_t fdi = scanned ? scanned->GetFdi() : 0;
    const std::int32_t state = scanned ? scanned->GetState() : 0;
    if (form == StepForm::Tagged)
        qvio::WriteI32(os, scanned ? 0 : 1);
    qvio::WriteI32(os, step.m_nStep);
    qvio::WriteI32(os, step.m_nType);
    if (form == StepForm::Tagged && !scanned)
        qvio::WriteI32(os, tooth ? tooth->GetID() : 0);
    else
    {
        qvio::WriteI32(os, fdi);
        if (form != StepForm::Fdi)
            qvio::WriteI32(os, state);
    }
    step.m_matrix.Write(os);
}

std::unique_ptr<QvMatrix> Placement(const QvFrame& frame)
{
    const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    return std::unique_ptr<QvMatrix>(world.GetTransformTo(frame));
}

// R = inverse(T(A)) x T(B).
QvMatrix RelativeMotion(const QvFrame& a, const QvFrame& b)
{
    const QvFrame world(QvPoint(0.0, 0.0, 0.0), QvVector(1.0, 0.0, 0.0), QvVector(0.0, 1.0, 0.0));
    const std::unique_ptr<QvMatrix> inverseA(a.GetTransformTo(world));
    return *inverseA * *Placement(b);
}

} // namespace

QvTreatStep::QvTreatStep()
    : m_pTooth(nullptr), m_nStep(0), m_nType(0), m_matrix(qvscheme::Identity4()), m_pStepList(nullptr)
{
}

QvTreatStep::QvTreatStep(QvToothBase* tooth, int step, int type, const QvMatrix& matrix)
    : m_pTooth(tooth), m_nStep(step), m_nType(type), m_matrix(matrix), m_pStepList(nullptr)
{
}

QvTreatStep::QvTreatStep(const QvTreatStep& other) = default;

QvTreatStep::~QvTreatStep() = default;

QvMatrix QvTreatStep::GetJawRelativeMatrix() const
{
    if (!m_pTooth || m_pTooth->IsUpper() || !m_pStepList)
        return m_matrix;
    QvMatrix inverse;
    if (!QvInvertJaw(m_pStepList->m_jawMatrix, inverse))
        return m_matrix;
    return inverse * m_matrix;
}

bool QvTreatStep::HasMatrix() const
{
    const std::int64_t count = static_cast<std::int64_t>(m_matrix.m_row) * m_matrix.m_col;
    for (std::int64_t i = 0; i < count; ++i)
        if (!IsZero(m_matrix.m_pData[i]))
            return true;
    return false;
}

void QvTreatStep::GetAxisScales(double& sx, double& sy, double& sz) const
{
    if (!m_pTooth)
    {
        sx = sy = sz = 1.0;
        return;
    }
    const QvMatrix m = m_matrix * QvOwnPlacement(m_pTooth);
    const QvFrame& frame = m_pTooth->m_frame;
    sx = (m * frame.m_dirX).Length();
    sy = (m * frame.m_dirY).Length();
    sz = (m * frame.m_dirZ).Length();
}

QvVector QvTreatStep::GetTranslationTo(const QvTreatStep& other) const
{
    QvFrame a, b;
    return PlacedFrames(other, a, b) ? GetFrameTranslation(a, b) : QvVector();
}

QvVector QvTreatStep::GetRotationTo(const QvTreatStep& other) const
{
    QvFrame a, b;
    return PlacedFrames(other, a, b) ? GetFrameRotation(a, b) : QvVector();
}

bool QvTreatStep::PlacedFrames(const QvTreatStep& other, QvFrame& here, QvFrame& there) const
{
    if (!m_pTooth)
        return false;
    here = m_pTooth->m_frame;
    here.Transform(GetJawRelativeMatrix());
    there = m_pTooth->m_frame;
    there.Transform(other.GetJawRelativeMatrix());
    return true;
}

std::ostream& QvTreatStep::WriteDocument(std::ostream& os, int version) const
{
    WriteFields(os, qvscheme::DocumentStepForm(version), *this);
    return os;
}

bool QvTreatStep::ReadDocument(std::istream& is, int version, QvModel* model, const QvToothCandidates* candidates)
{
    StepFields f;
    if (!ReadFields(is, qvscheme::DocumentStepForm(version), model, candidates, f))
        return false;
    m_pTooth = f.tooth;
    m_nStep = f.step;
    m_nType = f.type;
    m_matrix = f.matrix;
    return true;
}

std::ostream& QvTreatStep::Write(std::ostream& os, int version) const
{
    const StepForm form = qvscheme::FileStepForm(version);
    if (form != StepForm::None)
        WriteFields(os, form, *this);
    return os;
}

bool QvTreatStep::Read(std::istream& is, int version, QvModel* model, const QvToothCandidates* candidates)
{
    const StepForm form = qvscheme::FileStepForm(version);
    if (form == StepForm::None)
        return false;
    StepFields f;
    if (!ReadFields(is, form, model, candidates, f))
        return false;
    m_pTooth = f.tooth;
    m_nStep = f.step;
    m_nType = version == 513 ? TranslateOldType(f.type) : f.type;
    m_matrix = f.matrix;
    return true;
}

QvVector GetFrameTranslation(const QvFrame& a, const QvFrame& b)
{
    const QvMatrix r = RelativeMotion(a, b);
    return QvVector(r[0][3], r[1][3], r[2][3]);
}

QvVector GetFrameRotation(const QvFrame& a, const QvFrame& b)
{
    const QvMatrix r = RelativeMotion(a, b);
    const QvQuaternion q(r);
    QvVector axis(q.m_x, q.m_y, q.m_z);
    const double s = std::min(axis.Length(), 1.0);
    if (s < 1e-12)
        return QvVector(0.0, 0.0, 0.0);
    double angle = 2.0 * std::asin(s);
    if (q.m_w < 0.0)
        angle = kQvTwoPi - angle;
    axis.Normalize();
    if (angle > kQvPi)
    {
        axis.Negate();
        angle = kQvTwoPi - angle;
    }
    return axis * (angle * 57.29577951307855);
}

QvMatrix QvOwnPlacement(const QvToothBase* tooth)
{
    if (tooth && tooth->GetType() == kQvTypeVirtualTooth)
    {
        const QvMatrix& own = static_cast<const QvVirtualTooth*>(tooth)->m_matrix;
        if (own.m_row == 4 && own.m_col == 4)
            return own;
    }
    return qvscheme::Identity4();
}

bool QvInvertJaw(const QvMatrix& jaw, QvMatrix& inverse)
{
    if (jaw.m_row == 4 && jaw.m_col == 4)
    {
        QvMatrix m = jaw;
        if (m.Invert())
        {
            inverse = m;
            return true;
        }
    }
    inverse = qvscheme::Identity4();
    return false;
}

bool QvIsExactIdentity(const QvMatrix& m)
{
    if (m.m_row != m.m_col)
        return false;
    for (int i = 0; i < m.m_row; ++i)
        for (int j = 0; j < m.m_col; ++j)
            if (m[i][j] != (i == j ? 1.0 : 0.0))
                return false;
    return true;
}
