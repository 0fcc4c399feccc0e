// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvImageMeasure.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"
#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvFaceMeasures.h"
#include "core/measure/QvJawBoneMeasures.h"

namespace {

constexpr int kFamilyCaseDocument = 0x400;
constexpr int kFamilyOlder = 0x200;
constexpr int kFamilyMeasureFile = 0x8000;
// Older-family versions up to this one store the named record. 517 takes the
// flagged record on both sides, as 518 and later do.
constexpr int kOlderLastNamed = 516;

MeasurePoint RedPoint(const QvPoint& p) { return MeasurePoint{p, QvColor(255, 0, 0)}; }

} // namespace

QvMeasureFamily QvGetMeasureFamily(int version)
{
    if (version & kFamilyCaseDocument)
        return QvMeasureFamily::CaseDocument;
    if (version & kFamilyOlder)
        return QvMeasureFamily::Older;
    if (version & kFamilyMeasureFile)
        return QvMeasureFamily::MeasureFile;
    return QvMeasureFamily::None;
}

QvImageMeasure::QvImageMeasure() = default;

QvImageMeasure::~QvImageMeasure() = default;

QvImageMeasure& QvImageMeasure::operator=(const QvImageMeasure& other)
{
    if (this == &other)
        return *this;
    if (other.m_pImage && !other.m_pImage->IsEmpty())
        m_pImage.reset(other.m_pImage->Clone());
    m_nType = other.m_nType;
    m_nImageKind = other.m_nImageKind;
    m_keyPoints = other.m_keyPoints;
    m_bFlag = other.m_bFlag;
    return *this;
}

QvImageMeasure* QvImageMeasure::Create(int type)
{
    switch (type)
    {
    case kQvMeasureCep: return new QvCepMeasure();
    case kQvMeasureFaceGall: return new QvFaceGallMeasure();
    case kQvMeasureFaceRatio: return new QvFaceRatioMeasure();
    case kQvMeasureNoseVerticalLine: return new QvNoseVerticalLineMeasure();
    case kQvMeasurePan: return new QvPanMeasure();
    case kQvMeasureBeautyLine: return new QvBeautyLineMeasure();
    case kQvMeasureMiddleLine: return new QvMiddleLineMeasure();
    case kQvMeasureJawBoneHeights: return new QvJawBoneHeightsMeasure();
    case kQvMeasureChinProminence: return new QvChinProminenceMeasure();
    default: return new QvImageMeasure();
    }
}

// ---- Overlay ---------------------------------------------------------------------------

double QvImageMeasure::GetReferenceAngle() const
{
    const QvImageReference* line = ReferenceLine();
    if (!m_pImage || !line)
        return 0.0;
    const double w = m_pImage->GetWidth();
    const double h = m_pImage->GetHeight();
    const QvPoint& p0 = line->m_keyPoints[0].m_point;
    const QvPoint& p1 = line->m_keyPoints[1].m_point;
    return std::atan2(p1[1] * h - p0[1] * h, p1[0] * w - p0[0] * w);
}

void QvImageMeasure::GetPoints(std::vector<MeasurePoint>& out) const
{
    for (const QvKeyPoint& p : m_keyPoints)
        out.push_back(RedPoint(p.m_point));
}

void QvImageMeasure::GetLines(std::vector<MeasureLine>&) const {}

void QvImageMeasure::GetTexts(std::vector<MeasureText>&) const {}

void QvImageMeasure::Clear() { m_keyPoints.clear(); }

QvPoint QvImageMeasure::GetKeyPoint(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_keyPoints.size())
        return QvPoint();
    return m_keyPoints[static_cast<std::size_t>(index)].m_point;
}

bool QvImageMeasure::IsComplete() const { return m_pImage != nullptr; }

// ---- Records -------------------------------------------------------------------------

QvImageMeasure::RecordForm QvImageMeasure::BaseForm(int version)
{
    switch (QvGetMeasureFamily(version))
    {
    case QvMeasureFamily::CaseDocument: return RecordForm::Named;
    case QvMeasureFamily::Older: return version <= kOlderLastNamed ? RecordForm::Named : RecordForm::Flagged;
    case QvMeasureFamily::MeasureFile: return RecordForm::Flagged;
    case QvMeasureFamily::None: break;
    }
    return RecordForm::None;
}

bool QvImageMeasure::Write(std::ostream& os, int version) const { return WriteBaseRecord(os, version); }

bool QvImageMeasure::Read(std::istream& is, int version, QvModel*)
{
    BaseRecord record;
    if (!ReadBaseRecord(is, version, record))
        return false;
    ApplyBaseRecord(std::move(record));
    return true;
}

bool QvImageMeasure::WriteBaseRecord(std::ostream& os, int version) const
{
    switch (BaseForm(version))
    {
    case RecordForm::Named: return WriteNamedRecord(os, version);
    case RecordForm::Flagged: return WriteFlaggedRecord(os, version);
    case RecordForm::None: break;
    }
    return true;
}

bool QvImageMeasure::WriteNamedRecord(std::ostream& os, int) const
{
    qvio::WriteI32(os, m_nType);
    qvio::WriteI32(os, m_nImageKind);
    qvio::WriteI32(os, 0); // the name is never stored
    QvWriteKeyPoints(os, m_keyPoints);
    return !os.fail();
}

bool QvImageMeasure::WriteFlaggedRecord(std::ostream& os, int) const
{
    qvio::WriteU8(os, m_bFlag ? 1 : 0);
    qvio::WriteI32(os, m_nType);
    qvio::WriteI32(os, m_nImageKind);
    QvWriteKeyPoints(os, m_keyPoints);
    return !os.fail();
}

bool QvImageMeasure::ReadNamedRecord(std::istream& is, int)
{
    BaseRecord record;
    if (!ReadNamedFields(is, record))
        return false;
    ApplyBaseRecord(std::move(record));
    return true;
}

bool QvImageMeasure::ReadFlaggedRecord(std::istream& is, int)
{
    BaseRecord record;
    if (!ReadFlaggedFields(is, record))
        return false;
    ApplyBaseRecord(std::move(record));
    return true;
}

bool QvImageMeasure::ReadBaseRecord(std::istream& is, int version, BaseRecord& out)
{
    switch (BaseForm(version))
    {
    case RecordForm::Named: return ReadNamedFields(is, out);
    case RecordForm::Flagged: return ReadFlaggedFields(is, out);
    case RecordForm::None: break;
    }
    return false;
}

bool QvImageMeasure::ReadNamedFields(std::istream& is, BaseRecord& out)
{
    BaseRecord record;
    std::int32_t nameLength = 0;
    if (!qvio::ReadI32(is, record.type) || !qvio::ReadI32(is, record.kind) || !qvio::ReadI32(is, nameLength))
        return false;
    // The stored name is not used: its bytes are skipped once the length is known to fit.
    if (!qvio::CountFits(is, nameLength, 1))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    if (nameLength > 0 && is.ignore(nameLength).gcount() != nameLength)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    if (!QvReadKeyPoints(is, record.keyPoints))
        return false;
    out = std::move(record);
    return true;
}

bool QvImageMeasure::ReadFlaggedFields(std::istream& is, BaseRecord& out)
{
    BaseRecord record;
    std::uint8_t flag = 0;
    if (!qvio::ReadU8(is, flag) || !qvio::ReadI32(is, record.type) || !qvio::ReadI32(is, record.kind) ||
        !QvReadKeyPoints(is, record.keyPoints))
        return false;
    record.hasFlag = true;
    record.flag = flag != 0;
    out = std::move(record);
    return true;
}

void QvImageMeasure::ApplyBaseRecord(BaseRecord&& record)
{
    m_nType = record.type;
    m_nImageKind = record.kind;
    m_keyPoints = std::move(record.keyPoints);
    if (record.hasFlag)
        m_bFlag = record.flag;
}

// ---- Image and landmarks ---------------------------------------------------------------

void QvImageMeasure::SetImage(const QvImage* image) { m_pImage.reset(image ? image->Clone() : nullptr); }

bool QvImageMeasure::FindKeyPoint(int key, QvKeyPoint& out) const
{
    for (const QvKeyPoint& p : m_keyPoints)
    {
        if (p.m_nKey == key)
        {
            out = p;
            return true;
        }
    }
    return false;
}

void QvImageMeasure::SetKeyPoints(const std::vector<QvKeyPoint>& points)
{
    if (&points != &m_keyPoints)
        m_keyPoints = points;
}

// ---- Reference line ------------------------------------------------------------------

QvImageReference* QvImageMeasure::FindReference() const { return FindImageReference(m_nImageKind); }

QvImageReference* QvImageMeasure::FindImageReference(int kind)
{
    for (QvImageReference& ref : GetImageReferences())
        if (ref.m_nImageKind == kind)
            return &ref;
    return nullptr;
}

const QvImageReference* QvImageMeasure::ReferenceLine() const
{
    // Only the first entry of the kind counts, line or not.
    const QvImageReference* ref = FindReference();
    return ref && ref->m_keyPoints.size() == 2 ? ref : nullptr;
}

bool QvImageMeasure::GetImageSize(double& width, double& height) const
{
    if (!m_pImage || m_pImage->GetWidth() <= 0 || m_pImage->GetHeight() <= 0)
        return false;
    width = m_pImage->GetWidth();
    height = m_pImage->GetHeight();
    return true;
}

void QvImageMeasure::GetReferencePoints(std::vector<QvPoint>& out) const
{
    if (const QvImageReference* line = ReferenceLine())
    {
        out.push_back(line->m_keyPoints[0].m_point);
        out.push_back(line->m_keyPoints[1].m_point);
    }
}

QvVector QvImageMeasure::GetReferenceDirection() const
{
    const QvImageReference* line = ReferenceLine();
    if (!m_pImage || !line)
        return QvVector();
    return line->m_keyPoints[1].m_point - line->m_keyPoints[0].m_point;
}

QvVector QvImageMeasure::GetReferenceNormal() const
{
    const QvImageReference* line = ReferenceLine();
    double w = 0.0;
    double h = 0.0;
    // The normal is divided by the image size: without a size there is none.
    if (!line || !GetImageSize(w, h))
        return QvVector();
    const QvPoint& p0 = line->m_keyPoints[0].m_point;
    const QvPoint& p1 = line->m_keyPoints[1].m_point;
    const double ex = p1[1] * h - p0[1] * h;
    const double ey = p0[0] * w - p1[0] * w;
    return QvVector(ex / w, ey / h, 0.0);
}
