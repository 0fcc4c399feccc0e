// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer's node records of an older planning format (one tooth's placement
// per step as position and quaternion) and the step conversions that go with them.
// They live here, not beside the file layer, because they read and build schemes.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachStepList.h"
#include "core/design/QvAttachment.h"
#include "core/geometry/QvStreamIO.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"

namespace {

constexpr std::uint8_t kNodeKind = 8;
// int32 step, 3 floats position, 4 floats quaternion, int32 flags.
constexpr std::uint64_t kNodeRecordBytes = 4 + 12 + 16 + 4;
constexpr int kFirstAttachBit = 4;
constexpr int kAttachBits = 32 - kFirstAttachBit;
constexpr std::uint32_t kKindMask = 0xF;
// Components of the rotated frame origin below this count as 0.
constexpr double kOriginZero = 0.0001;
constexpr double kZero = 1e-7;

// Record kinds of the flags' low bits.
constexpr int kNodeOther = 0;
constexpr int kNodeFixed = 1;
constexpr int kNodeMoving = 2;

int NodeKindOfType(int type)
{
    switch (type)
    {
    case kQvStepMoving: return kNodeMoving;
    case kQvStepInitial:
    case kQvStepKey:
    case kQvStepFinal: return kNodeFixed;
    default: return kNodeOther;
    }
}

bool StepTypeOfKind(std::uint32_t kind, int& type)
{
    switch (kind)
    {
    case kNodeMoving: type = kQvStepMoving; return true;
    case kNodeFixed: type = kQvStepKey; return true;
    case kNodeOther: type = kQvStepHold; return true;
    default: return false;
    }
}

bool ValidNodeFdi(int fdi)
{
    const int quadrant = fdi / 10;
    const int unit = fdi % 10;
    return quadrant >= 1 && quadrant <= 4 && unit >= 1 && unit <= 8;
}

bool IsFourByFour(const QvMatrix& m) { return m.Rows() == 4 && m.Cols() == 4; }

// The tooth's step that stands for step i: the greatest step number not above i, the
// first step for i before it. Gaps in the tooth's steps therefore repeat the step before.
const QvTreatStep* NodeStep(const std::vector<QvTreatStep*>& steps, int i)
{
    const QvTreatStep* chosen = steps.front();
    for (const QvTreatStep* step : steps)
        if (step->m_nStep <= i)
            chosen = step;
    return chosen;
}

QvScheme* CurrentScheme(QvModel* model)
{
    QvSchemeMgr* mgr = model ? QvGetSchemeMgr(*model) : nullptr;
    return mgr ? mgr->GetCurScheme() : nullptr;
}

struct NodeRecord
{
    std::int32_t step = 0;
    float position[3] = {};
    float quaternion[4] = {};
    std::uint32_t flags = 0;
};

bool ReadNodeRecord(std::istream& is, NodeRecord& r)
{
    if (!qvio::ReadI32(is, r.step))
        return false;
    for (float& v : r.position)
        if (!qvio::ReadF32(is, v) || !std::isfinite(v))
            return false;
    double norm = 0.0;
    for (float& v : r.quaternion)
    {
        if (!qvio::ReadF32(is, v) || !std::isfinite(v))
            return false;
        norm += static_cast<double>(v) * v;
    }
    return norm > 0.0 && std::isfinite(norm) && qvio::ReadU32(is, r.flags);
}

} // namespace

int QvReadWriteFile::NodeStepType(int stepType)
{
    switch (stepType)
    {
    case 3: return 2;
    case 4: return 3;
    default: return 1;
    }
}

void QvReadWriteFile::BuildNodeMatrix(const float q[4], const float translation[3], QvMatrix& out,
                                      const QvToothBase* tooth)
{
    double x = q[0], y = q[1], z = q[2], w = q[3];
    const double norm = std::sqrt(x * x + y * y + z * z + w * w);
    if (norm > 0.0 && std::isfinite(norm))
    {
        x /= norm;
        y /= norm;
        z /= norm;
        w /= norm;
    }
    else
    {
        x = y = z = 0.0;
        w = 1.0;
    }
    QvMatrix rotation(3, 3);
    QvQuaternion(w, x, y, z).ToMatrix(rotation);
    const QvPoint origin = tooth ? tooth->GetFrame()->m_centre : QvPoint();
    QvPoint turned = rotation * origin;
    for (int k = 0; k < 3; ++k)
        if (std::fabs(turned[k]) < kOriginZero)
            turned[k] = 0.0;
    out.Create(4, 4);
    for (int r = 0; r < 3; ++r)
    {
        for (int c = 0; c < 3; ++c)
            out[r][c] = rotation[r][c];
        out[r][3] = static_cast<double>(translation[r]) + origin[r] - turned[r];
    }
    out[3][3] = 1.0;
}

QvBBox QvReadWriteFile::GetAttachmentBox(const QvAttachment* attachment)
{
    const QvAttachGeo* geo = attachment ? attachment->GetGeometry() : nullptr;
    if (!geo || geo->m_vertices.empty())
        return QvBBox(QvPoint(), QvPoint());
    std::vector<QvPoint> placed;
    placed.reserve(geo->m_vertices.size());
    for (const QvVertex& vertex : geo->m_vertices)
        placed.push_back(attachment->m_matrix * vertex.m_point);
    QvBBox box;
    box.SetFromPoints(placed);
    return box;
}

bool QvReadWriteFile::WriteToothNodes(std::ostream& os, QvScheme* scheme, QvToothBase* tooth, const QvMatrix& extra)
{
    if (!scheme || !tooth || !IsFourByFour(extra) || !ValidNodeFdi(tooth->GetPositionFdi()))
        return false;
    std::vector<QvTreatStep*> steps;
    scheme->GetToothSteps(tooth, steps);
    if (steps.empty())
        return false;
    const int first = steps.front()->m_nStep;
    const int last = steps.back()->m_nStep;
    const QvAttachStepList* attachList = scheme->GetAttachStepList(tooth);
    const int count = std::max(scheme->GetStepCount() - 1, 0);
    const QvPoint centre = tooth->GetCenter();

    qvio::WriteU8(os, kNodeKind);
    qvio::WriteI32(os, count);
    qvio::WriteU32(os, MakeToothCode(tooth));
    for (int i = 1; i <= count; ++i)
    {
        const QvTreatStep* step = NodeStep(steps, i);
        const QvMatrix placement = step->HasMatrix() && IsFourByFour(step->m_matrix) ? step->m_matrix : QvMatrix();
        QvMatrix moved = IsFourByFour(placement) ? extra * placement : extra;
        QvFrame frame = *tooth->GetFrame();
        frame.Transform(moved);
        const QvPoint position = moved * centre;
        const QvQuaternion q = QvQuaternion::FromAxes(frame.m_dirX, frame.m_dirY, frame.m_dirZ);

        std::uint32_t flags = 0;
        if (i >= first && i <= last)
            flags = static_cast<std::uint32_t>(NodeKindOfType(step->m_nType));
        if (attachList)
        {
            const std::vector<QvAttachment*>& attachments = attachList->GetAttachments();
            for (std::size_t k = 0; k < attachments.size() && k < kAttachBits; ++k)
                if (attachments[k] && attachments[k]->IsInStep(i))
                    flags |= 1u << (kFirstAttachBit + k);
        }
        qvio::WriteI32(os, i);
        for (int k = 0; k < 3; ++k)
            qvio::WriteF32(os, static_cast<float>(position[k]));
        for (const double v : {q.m_x, q.m_y, q.m_z, q.m_w})
            qvio::WriteF32(os, static_cast<float>(v));
        qvio::WriteU32(os, flags);
    }
    os.flush();
    return static_cast<bool>(os);
}

bool QvReadWriteFile::ReadToothNodes(std::istream& is, QvModel* model, int count, unsigned toothCode,
                                     ToothAttachments& attachments, ToothSteps& steps)
{
    if (!model || !qvio::CountFits(is, count, kNodeRecordBytes))
        return false;
    QvTooth* tooth = model->FindTooth(ToothCodeToFdi(toothCode));
    if (!tooth)
        return false;

    // Everything is gathered first: a bad record leaves both maps as they were.
    std::vector<std::unique_ptr<QvTreatStep>> read;
    std::vector<std::pair<std::size_t, int>> attachSteps; // (index, step), in record order
    const std::vector<QvAttachment*>* toothAttachments = nullptr;
    if (const auto found = attachments.find(tooth); found != attachments.end())
        toothAttachments = &found->second;
    int type = kQvStepHold;
    for (int i = 0; i < count; ++i)
    {
        NodeRecord r;
        if (!ReadNodeRecord(is, r) || r.step < 1 || r.step > count)
            return false;
        // An unknown kind keeps the type of the record before.
        static_cast<void>(StepTypeOfKind(r.flags & kKindMask, type));
        QvMatrix placement;
        BuildNodeMatrix(r.quaternion, r.position, placement, tooth);
        QvFrame target(QvPoint(r.position[0], r.position[1], r.position[2]), QvVector(placement[0][0], placement[1][0], placement[2][0]),
                       QvVector(placement[0][1], placement[1][1], placement[2][1]));
        const std::unique_ptr<QvMatrix> carry(tooth->GetFrame()->GetTransformTo(target));
        read.push_back(std::make_unique<QvTreatStep>(tooth, r.step, type, *carry));
        for (int k = 0; k < kAttachBits; ++k)
            if (r.flags & (1u << (kFirstAttachBit + k)))
                attachSteps.emplace_back(static_cast<std::size_t>(k), r.step);
    }

    if (!read.empty())
    {
        std::vector<QvTreatStep*>& list = steps[tooth];
        for (auto& step : read)
            list.push_back(step.release());
    }
    if (toothAttachments)
        for (const auto& [k, step] : attachSteps)
        {
            if (k >= toothAttachments->size() || !(*toothAttachments)[k])
                continue; // bits past the tooth's list name nothing
            QvAttachment* attachment = (*toothAttachments)[k];
            if (attachment->m_nFirstStep == 0)
                attachment->m_nFirstStep = step;
            attachment->m_nLastStep = step;
        }
    return true;
}

bool QvReadWriteFile::HasMovement(const std::map<QvToothBase*, QvTreatStep*>& steps)
{
    for (const auto& [tooth, step] : steps)
    {
        if (!step || !step->HasMatrix())
            continue;
        const QvMatrix& m = step->m_matrix;
        for (int r = 0; r < 3 && r < m.Rows(); ++r)
            for (int c = 0; c < m.Cols() && c < 4; ++c)
                if (std::fabs(m[r][c] - (r == c ? 1.0 : 0.0)) > kZero)
                    return true;
    }
    return false;
}

void QvReadWriteFile::ShiftStepsDown(ToothSteps& steps, ToothAttachments& attachments, QvClinicalInfo* clinical)
{
    for (auto& [tooth, list] : steps)
        for (QvTreatStep* step : list)
            if (step)
                step->m_nStep -= 1;
    for (auto& [tooth, list] : attachments)
        for (QvAttachment* attachment : list)
            if (attachment)
            {
                attachment->m_nFirstStep -= 1;
                attachment->m_nLastStep -= 1;
            }
    if (!clinical)
        return;
    QvIprMap shifted;
    for (const auto& [key, entries] : clinical->GetIprMap())
    {
        std::vector<QvIprEntry>& moved = shifted[key - 1];
        for (QvIprEntry entry : entries)
        {
            entry.m_nValue -= 1; // the entry's own step
            moved.push_back(entry);
        }
    }
    clinical->SetIprMap(shifted);
}

void QvReadWriteFile::NormalizeStepTypes(bool afterHolds)
{
    QvScheme* scheme = CurrentScheme(m_pModel);
    if (!scheme)
        return;
    std::vector<QvToothBase*> teeth;
    scheme->GetTeeth(teeth);
    for (QvToothBase* tooth : teeth)
    {
        std::vector<QvTreatStep*> steps;
        scheme->GetToothSteps(tooth, steps);
        for (QvTreatStep* step : steps)
        {
            if (step->m_nType != kQvStepMoving)
                break;
            step->m_nType = kQvStepHold;
        }
        for (auto it = steps.rbegin(); it != steps.rend() && (*it)->m_nType == kQvStepMoving; ++it)
            (*it)->m_nType = kQvStepHold;

        int holds = 0, others = 0;
        for (QvTreatStep* step : steps)
        {
            if (step->m_nType == kQvStepKey)
            {
                if (!afterHolds)
                    step->m_nType = kQvStepInitial;
                else if (holds >= 1 && others == 1)
                {
                    step->m_nType = kQvStepInitial;
                    steps.front()->m_nType = kQvStepHold;
                }
                break;
            }
            ++(step->m_nType == kQvStepHold ? holds : others);
        }
        for (auto it = steps.rbegin(); it != steps.rend(); ++it)
            if ((*it)->m_nType == kQvStepKey)
            {
                (*it)->m_nType = kQvStepFinal;
                break;
            }
    }
}

void QvReadWriteFile::TrimSteps()
{
    QvScheme* scheme = CurrentScheme(m_pModel);
    if (!scheme || !m_pModel)
        return;
    std::vector<QvTreatStep*> removed;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        std::vector<QvTreatStep*> steps;
        scheme->GetToothSteps(static_cast<QvToothBase*>(entity), steps);
        std::size_t begin = 0;
        while (begin < steps.size() && steps[begin]->m_nType != kQvStepInitial)
            ++begin;
        if (begin == steps.size())
            begin = 0; // no initial step: the leading steps stay
        std::size_t end = steps.size();
        while (end > 0 && steps[end - 1]->m_nType != kQvStepFinal && steps[end - 1]->m_nType != kQvStepInitial)
            --end;
        if (end == 0)
            end = steps.size(); // no final or initial step: the trailing steps stay
        for (std::size_t i = 0; i < steps.size(); ++i)
            if (i < begin || i >= end)
                removed.push_back(steps[i]);
    }
    scheme->RemoveTreatSteps(removed);
}
