// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvCepMeasure.h"

#include <algorithm>
#include <utility>

#include "core/base/QvText.h"
#include "core/measure/QvFaceMeasures.h"
#include "core/measure/QvMeasureDetail.h"

namespace {

constexpr int kRadiographKind = 11;
constexpr int kAnalysisComplex = 1;
constexpr int kAnalysisBasic = 2;
constexpr int kAnalysisStandard = 0;

// Versions up to these read the old form (and write nothing).
constexpr int kCaseDocumentLastOld = 1027;
constexpr int kOlderLastOld = 515;
// Older-family versions up to this one store the parameter form, later ones the curves.
constexpr int kOlderLastParam = 518;
constexpr int kMeasureFileLastParam = 32769;

// The old form opens with a word for these versions.
bool OldRecordHasLeadingWord(int version)
{
    switch (QvGetMeasureFamily(version))
    {
    case QvMeasureFamily::CaseDocument: return version == 1025 || version == 1026;
    case QvMeasureFamily::Older: return version <= kOlderLastOld;
    default: return false;
    }
}

// Smallest stored sizes of the old form's entries, against which their counts are checked.
constexpr std::uint64_t kOldLandmarkBytes = 4 + 24 + 4;
constexpr std::uint64_t kOldItemBytes = 4 + 8 + 8 + 8 + 4;

// Skips count int32 words after checking they are there.
bool SkipWords(std::istream& is, std::int32_t count)
{
    if (!qvio::CountFits(is, count, 4))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    const std::streamsize bytes = static_cast<std::streamsize>(count) * 4;
    if (bytes > 0 && is.ignore(bytes).gcount() != bytes)
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    return true;
}

bool CheckCount(std::istream& is, std::int32_t count, std::uint64_t recordBytes)
{
    if (qvio::CountFits(is, count, recordBytes))
        return true;
    is.setstate(std::ios::failbit);
    return false;
}

const std::vector<int>& ComplexLandmarks()
{
    static const std::vector<int> ids = {0,  1,  10, 11, 27, 5,  6,  28, 33, 34, 35, 22, 2,  3,  36, 4,  37, 38,
                                         24, 39, 23, 40, 41, 42, 8,  9,  12, 13, 14, 31, 43, 44, 45, 46, 30, 29,
                                         47, 7,  32, 19, 48, 49, 50, 51, 52, 17, 18, 53, 54, 15, 16, 55};
    return ids;
}

const std::vector<int>& BasicLandmarks()
{
    static const std::vector<int> ids = {0, 1, 10, 11, 5, 6, 8, 9, 12, 13, 14, 7, 17, 18, 15, 16};
    return ids;
}

const std::vector<int>& StandardLandmarks()
{
    static const std::vector<int> ids = {0, 1, 10, 11, 5, 6, 22, 2, 3, 4, 24, 23,
                                         8, 9, 12, 13, 14, 31, 30, 7, 17, 18, 15, 16};
    return ids;
}

// The landmark pairs the tracing draws, in drawing order.
constexpr std::pair<int, int> kTracingPairs[] = {
    {0, 1}, {5, 6}, {10, 11}, {28, 6}, {32, 19}, {58, 13}, {5, 12}, {22, 23}, {6, 9}, {15, 49}, {27, 12}, {6, 7},
};

const std::string& CepName()
{
    static const std::string name = Gb18030FromUtf8("头影测量");
    return name;
}

} // namespace

// ---- Items -------------------------------------------------------------------------------------

QvCepMeasureItem::QvCepMeasureItem(int id, const std::vector<QvKeyPoint>& keyPoints, int type, int group,
                                   double value, double minimum, double maximum)
    : m_dValue(value), m_nId(id), m_dMin(minimum), m_dMax(maximum), m_keyPoints(keyPoints), m_nType(type),
      m_nGroup(group)
{
}

bool QvCepMeasureItem::UsesLandmark(int key) const
{
    for (const QvKeyPoint& p : m_keyPoints)
        if (p.m_nKey == key)
            return true;
    return (key == 0 || key == 1) && (m_nType == 2 || m_nType == 3);
}

// ---- Measure -----------------------------------------------------------------------------------

QvCepMeasure::QvCepMeasure()
{
    QvCepMeasure::Clear();
    m_nType = kQvMeasureCep;
    m_nImageKind = kRadiographKind;
    m_name = CepName();
}

QvCepMeasure& QvCepMeasure::operator=(const QvCepMeasure& other)
{
    if (this == &other)
        return *this;
    QvImageMeasure::operator=(other);
    m_items = other.m_items;
    m_nParam1 = other.m_nParam1;
    m_nParam2 = other.m_nParam2;
    m_bOption = other.m_bOption;
    m_curves = other.m_curves;
    return *this;
}

void QvCepMeasure::GetPoints(std::vector<MeasurePoint>& out) const
{
    for (const int id : GetRequiredLandmarks(kAnalysisStandard))
    {
        QvKeyPoint p;
        if (FindKeyPoint(id, p))
            out.push_back(MeasurePoint{p.m_point, QvColor(255, 0, 0)});
    }
}

void QvCepMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    for (const auto& [first, second] : kTracingPairs)
    {
        QvKeyPoint a;
        QvKeyPoint b;
        if (!FindKeyPoint(first, a) || !FindKeyPoint(second, b))
            continue;
        MeasureLine line;
        line.m_start = a.m_point;
        line.m_end = b.m_point;
        out.push_back(line);
    }
}

void QvCepMeasure::Clear()
{
    m_items.clear();
    m_keyPoints.clear();
    m_curves.clear();
    m_nParam1 = 0;
    m_nParam2 = 0;
}

std::vector<int> QvCepMeasure::GetRequiredLandmarks(int analysisKind)
{
    if (analysisKind == kAnalysisComplex)
        return ComplexLandmarks();
    if (analysisKind == kAnalysisBasic)
        return BasicLandmarks();
    return StandardLandmarks();
}

std::vector<int> QvCepMeasure::GetRequiredLandmarksWithDerived(int analysisKind)
{
    std::vector<int> ids = GetRequiredLandmarks(analysisKind);
    if (analysisKind == kAnalysisComplex)
        ids.insert(ids.end(), {56, 57, 58});
    else if (analysisKind != kAnalysisBasic)
        ids.push_back(58);
    return ids;
}

int QvCepMeasure::GetSecondListSize(int analysisKind)
{
    return static_cast<int>(GetRequiredLandmarksWithDerived(analysisKind).size());
}

bool QvCepMeasure::IsLandmarksComplete(bool useSecondList, int analysisKind) const
{
    const std::size_t needed = useSecondList ? GetRequiredLandmarksWithDerived(analysisKind).size()
                                             : GetRequiredLandmarks(analysisKind).size();
    return m_keyPoints.size() == needed;
}

void QvCepMeasure::SetItemValue(int id, double value)
{
    const auto it = std::find_if(m_items.begin(), m_items.end(), [&](const QvCepMeasureItem& item) {
        return item.m_nId == id;
    });
    if (it != m_items.end())
        it->m_dValue = value;
}

// ---- Records -----------------------------------------------------------------------------------

QvCepMeasure::Form QvCepMeasure::FormOf(int version)
{
    switch (QvGetMeasureFamily(version))
    {
    case QvMeasureFamily::CaseDocument: return version <= kCaseDocumentLastOld ? Form::Old : Form::Param;
    case QvMeasureFamily::Older:
        if (version <= kOlderLastOld)
            return Form::Old;
        return version <= kOlderLastParam ? Form::Param : Form::Curve;
    case QvMeasureFamily::MeasureFile: return version <= kMeasureFileLastParam ? Form::Param : Form::Curve;
    case QvMeasureFamily::None: break;
    }
    return Form::None;
}

bool QvCepMeasure::Write(std::ostream& os, int version) const
{
    switch (FormOf(version))
    {
    case Form::Param: return WriteParamRecord(os, version);
    case Form::Curve: return WriteCurveRecord(os, version);
    case Form::Old:
    case Form::None: break;
    }
    return true;
}

bool QvCepMeasure::Read(std::istream& is, int version, QvModel*)
{
    switch (FormOf(version))
    {
    case Form::Old: return ReadOldRecord(is, version);
    case Form::Param: return ReadParamRecord(is, version);
    case Form::Curve: return ReadCurveRecord(is, version);
    case Form::None: break;
    }
    return false;
}

bool QvCepMeasure::WriteParamRecord(std::ostream& os, int version) const
{
    WriteBaseRecord(os, version);
    qvio::WriteI32(os, m_nParam1);
    qvio::WriteI32(os, m_nParam2);
    return !os.fail();
}

bool QvCepMeasure::WriteCurveRecord(std::ostream& os, int version) const
{
    WriteParamRecord(os, version);
    QvWriteCurves(os, m_curves);
    return !os.fail();
}

bool QvCepMeasure::ReadOldRecord(std::istream& is, int version)
{
    std::int32_t word = 0;
    if (OldRecordHasLeadingWord(version) && !qvio::ReadI32(is, word))
        return false;

    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count) || !CheckCount(is, count, kOldLandmarkBytes))
        return false;
    std::vector<QvKeyPoint> landmarks;
    for (std::int32_t i = 0; i < count; ++i)
    {
        QvKeyPoint p;
        std::int32_t words = 0;
        if (!p.Read(is) || !qvio::ReadI32(is, words) || !SkipWords(is, words))
            return false;
        landmarks.push_back(p);
    }

    // The stored items are dropped: the calculators make them again.
    std::int32_t items = 0;
    if (!qvio::ReadI32(is, items) || !CheckCount(is, items, kOldItemBytes))
        return false;
    for (std::int32_t i = 0; i < items; ++i)
    {
        std::int32_t id = 0;
        double value = 0.0;
        double minimum = 0.0;
        double maximum = 0.0;
        std::vector<QvKeyPoint> points;
        if (!qvio::ReadI32(is, id) || !qvio::ReadF64(is, value) || !qvio::ReadF64(is, minimum) ||
            !qvio::ReadF64(is, maximum) || !QvReadKeyPoints(is, points))
            return false;
    }

    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    if (!qvio::ReadI32(is, param1) || !qvio::ReadI32(is, param2))
        return false;
    m_keyPoints = std::move(landmarks);
    m_nParam1 = param1;
    m_nParam2 = param2;
    return true;
}

bool QvCepMeasure::ReadParamRecord(std::istream& is, int version)
{
    BaseRecord record;
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    if (!ReadBaseRecord(is, version, record) || !qvio::ReadI32(is, param1) || !qvio::ReadI32(is, param2))
        return false;
    ApplyBaseRecord(std::move(record));
    m_nParam1 = param1;
    m_nParam2 = param2;
    return true;
}

bool QvCepMeasure::ReadCurveRecord(std::istream& is, int version)
{
    BaseRecord record;
    std::int32_t param1 = 0;
    std::int32_t param2 = 0;
    std::vector<std::vector<QvPoint>> curves;
    if (!ReadBaseRecord(is, version, record) || !qvio::ReadI32(is, param1) || !qvio::ReadI32(is, param2) ||
        !QvReadCurves(is, curves))
        return false;
    ApplyBaseRecord(std::move(record));
    m_nParam1 = param1;
    m_nParam2 = param2;
    m_curves.insert(m_curves.end(), std::make_move_iterator(curves.begin()), std::make_move_iterator(curves.end()));
    return true;
}
