// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvFaceMeasures.h"

#include <algorithm>
#include <cmath>

#include "core/base/QvText.h"
#include "core/measure/QvMeasureDetail.h"

using qvmeasure::YellowText;

namespace {

constexpr int kFaceRatioKind = 2;
constexpr int kFacePhotoKind = 1;
constexpr int kFrontalKind = 3;
constexpr int kRadiographKind = 11;

constexpr std::size_t kThirdsLandmarks = 4;
constexpr std::size_t kFaceRatioComplete = 10;

constexpr int kChinUpper = 69;
constexpr int kChinLower = 70;
constexpr int kChinPoint = 71;
constexpr int kGallTextKey = 62;
constexpr std::size_t kGallLandmarks = 8;
constexpr std::size_t kGallCurves = 4;
constexpr std::size_t kGallShownPoints = 4;

MeasureLine Line(const QvPoint& a, const QvPoint& b)
{
    MeasureLine line;
    line.m_start = a;
    line.m_end = b;
    return line;
}

MeasureLine DashedLine(const QvPoint& a, const QvPoint& b, const QvColor& color)
{
    MeasureLine line = Line(a, b);
    line.m_color = color;
    line.m_bDash = true;
    return line;
}

// The texts of one group of intervals: each interval over the smallest of them (and
// of 1.0). Nothing when that smallest is zero or a ratio is not finite, so no
// infinite or undefined ratio reaches the overlay.
bool RatioTexts(const std::vector<double>& intervals, std::vector<std::string>& out)
{
    double smallest = 1.0;
    for (const double d : intervals)
        smallest = std::min(smallest, d);
    if (IsZero(smallest) || !std::isfinite(smallest))
        return false;
    std::vector<std::string> texts;
    for (const double d : intervals)
    {
        const double ratio = d / smallest;
        if (!std::isfinite(ratio))
            return false;
        texts.push_back(FormatOneDecimal(ratio));
    }
    out = std::move(texts);
    return true;
}

// The key's landmark; the origin when the measure has none.
QvPoint KeyPosition(const QvImageMeasure& m, int key)
{
    QvKeyPoint p;
    return m.FindKeyPoint(key, p) ? p.m_point : QvPoint();
}

} // namespace

// ---- Facial thirds and fifths --------------------------------------------------------------

QvFaceRatioMeasure::QvFaceRatioMeasure()
{
    m_nType = kQvMeasureFaceRatio;
    m_nImageKind = kFaceRatioKind;
    // This name is kept in UTF-8, unlike the others.
    m_name = "三庭五眼";
}

void QvFaceRatioMeasure::GetPoints(std::vector<MeasurePoint>&) const {}

void QvFaceRatioMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    const QvVector d = GetReferenceDirection() * 2.0;
    const QvVector n = GetReferenceNormal() * 2.0;
    for (std::size_t i = 0; i < m_keyPoints.size(); ++i)
    {
        const QvPoint& p = m_keyPoints[i].m_point;
        if (i < kThirdsLandmarks)
            out.push_back(DashedLine(p - d, p + d, QvColor(0, 0, 255)));
        else
            out.push_back(DashedLine(p - n, p + n, QvColor(0, 255, 0)));
    }
}

void QvFaceRatioMeasure::GetTexts(std::vector<MeasureText>& out) const
{
    const std::size_t countA = std::min(m_keyPoints.size(), kThirdsLandmarks);
    const std::size_t countB = m_keyPoints.size() - countA;
    const auto a = [&](std::size_t k) -> const QvPoint& { return m_keyPoints[k].m_point; };
    const auto b = [&](std::size_t k) -> const QvPoint& { return m_keyPoints[countA + k].m_point; };

    // The thirds' texts stand beside the last fifths landmark; without one they have no place.
    if (countA >= 2 && countB >= 1)
    {
        std::vector<double> intervals;
        for (std::size_t k = 1; k < countA; ++k)
            intervals.push_back(std::fabs(a(k)[1] - a(k - 1)[1]));
        std::vector<std::string> texts;
        if (RatioTexts(intervals, texts))
        {
            const double x = b(countB - 1)[0] + 0.1;
            for (std::size_t k = 1; k < countA; ++k)
                out.push_back(YellowText(QvPoint(x, a(k - 1)[1] - 0.05, 0.0), texts[k - 1]));
        }
    }
    if (countB >= 2)
    {
        std::vector<double> intervals;
        for (std::size_t k = 1; k < countB; ++k)
            intervals.push_back(std::fabs(b(k)[0] - b(k - 1)[0]));
        std::vector<std::string> texts;
        if (RatioTexts(intervals, texts))
        {
            const double y = a(0)[1] + 0.1;
            for (std::size_t k = 1; k < countB; ++k)
                out.push_back(YellowText(QvPoint(b(k - 1)[0] + 0.01, y, 0.0), texts[k - 1]));
        }
    }
}

bool QvFaceRatioMeasure::IsComplete() const { return m_keyPoints.size() >= kFaceRatioComplete; }

// ---- Nasal vertical line --------------------------------------------------------------------

QvNoseVerticalLineMeasure::QvNoseVerticalLineMeasure()
{
    m_nType = kQvMeasureNoseVerticalLine;
    m_nImageKind = kFacePhotoKind;
    m_name = Gb18030FromUtf8("鼻下垂线");
}

void QvNoseVerticalLineMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    if (m_keyPoints.empty())
        return;
    const QvPoint& p0 = m_keyPoints[0].m_point;
    out.push_back(Line(p0, p0 + GetReferenceNormal() * 0.5));
}

bool QvNoseVerticalLineMeasure::IsComplete() const { return !m_keyPoints.empty(); }

// ---- Aesthetic line -------------------------------------------------------------------------

QvBeautyLineMeasure::QvBeautyLineMeasure()
{
    m_nType = kQvMeasureBeautyLine;
    m_nImageKind = kFacePhotoKind;
    m_name = Gb18030FromUtf8("审美线");
}

void QvBeautyLineMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    if (m_keyPoints.size() < 2)
        return;
    const QvPoint& p0 = m_keyPoints[0].m_point;
    const QvPoint& p1 = m_keyPoints[1].m_point;
    const QvVector s = p0 - p1;
    out.push_back(Line(p1 - s, p0 + s));
}

bool QvBeautyLineMeasure::IsComplete() const { return m_keyPoints.size() >= 2; }

// ---- Midline ----------------------------------------------------------------------------------

QvMiddleLineMeasure::QvMiddleLineMeasure()
{
    m_nType = kQvMeasureMiddleLine;
    m_nImageKind = kFrontalKind;
    m_name = Gb18030FromUtf8("中线");
}

void QvMiddleLineMeasure::GetPoints(std::vector<MeasurePoint>& out) const
{
    for (std::size_t i = 0; i < m_keyPoints.size() && i < 2; ++i)
        out.push_back(MeasurePoint{m_keyPoints[i].m_point, QvColor(255, 0, 0)});
}

void QvMiddleLineMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    if (m_keyPoints.size() < 2)
        return;
    const QvPoint& p0 = m_keyPoints[0].m_point;
    const QvPoint& p1 = m_keyPoints[1].m_point;
    const QvVector d = (p1 - p0) * 2.0;
    out.push_back(Line(p1 + d, p0 - d));
}

bool QvMiddleLineMeasure::IsComplete() const { return m_keyPoints.size() >= 4; }

// ---- Chin prominence -----------------------------------------------------------------------

QvChinProminenceMeasure::QvChinProminenceMeasure()
{
    m_nType = kQvMeasureChinProminence;
    m_nImageKind = kRadiographKind;
    m_name = "ChinPro";
}

QvChinProminenceMeasure& QvChinProminenceMeasure::operator=(const QvChinProminenceMeasure& other)
{
    QvImageMeasure::operator=(other);
    m_dValue = other.m_dValue;
    return *this;
}

void QvChinProminenceMeasure::GetPoints(std::vector<MeasurePoint>& out) const
{
    if (IsComplete())
        out.push_back(MeasurePoint{KeyPosition(*this, kChinPoint), QvColor(255, 0, 0)});
}

void QvChinProminenceMeasure::GetLines(std::vector<MeasureLine>& out) const
{
    double w = 0.0;
    double h = 0.0;
    // The perpendicular is taken in pixels: without an image size there is none.
    if (!IsComplete() || !GetImageSize(w, h))
        return;
    const QvPoint a = KeyPosition(*this, kChinUpper);
    const QvPoint b = KeyPosition(*this, kChinLower);
    const QvVector m((b[1] * h - a[1] * h) / w, (a[0] * w - b[0] * w) / h, 0.0);
    const QvPoint c = KeyPosition(*this, kChinPoint);
    out.push_back(Line(c - m * 0.5, c + m));
}

void QvChinProminenceMeasure::GetTexts(std::vector<MeasureText>& out) const
{
    std::string text;
    if (qvmeasure::MillimetreText(m_dValue, text))
        out.push_back(YellowText(QvPoint(), text));
}

void QvChinProminenceMeasure::Clear()
{
    QvImageMeasure::Clear();
    m_dValue = 0.0;
}

bool QvChinProminenceMeasure::IsComplete() const { return m_keyPoints.size() == 3; }

bool QvChinProminenceMeasure::Write(std::ostream& os, int version) const
{
    if (BaseForm(version) == RecordForm::None)
        return true;
    WriteBaseRecord(os, version);
    qvio::WriteF64(os, m_dValue);
    return !os.fail();
}

bool QvChinProminenceMeasure::Read(std::istream& is, int version, QvModel*)
{
    BaseRecord record;
    double value = 0.0;
    if (!ReadBaseRecord(is, version, record) || !qvio::ReadF64(is, value))
        return false;
    ApplyBaseRecord(std::move(record));
    m_dValue = value;
    return true;
}

// ---- GALL -------------------------------------------------------------------------------------

QvFaceGallMeasure::QvFaceGallMeasure()
{
    m_nType = kQvMeasureFaceGall;
    m_nImageKind = kRadiographKind;
    m_name = "GALL";
}

QvFaceGallMeasure& QvFaceGallMeasure::operator=(const QvFaceGallMeasure& other)
{
    QvImageMeasure::operator=(other);
    m_nParam = other.m_nParam;
    m_values = other.m_values;
    m_curves = other.m_curves;
    m_frame = other.m_frame;
    m_dFrameValue = other.m_dFrameValue;
    return *this;
}

void QvFaceGallMeasure::GetPoints(std::vector<MeasurePoint>& out) const
{
    for (std::size_t i = 0; i < m_keyPoints.size() && i < kGallShownPoints; ++i)
        out.push_back(MeasurePoint{m_keyPoints[i].m_point, QvColor(255, 0, 0)});
}

void QvFaceGallMeasure::GetTexts(std::vector<MeasureText>& out) const
{
    std::string text;
    if (IsComplete() && qvmeasure::MillimetreText(GetValue(0), text))
        out.push_back(YellowText(KeyPosition(*this, kGallTextKey), text));
}

void QvFaceGallMeasure::Clear()
{
    QvImageMeasure::Clear();
    m_values.clear();
    m_curves.clear();
    m_frame = QvFrame();
    m_dFrameValue = 0.0;
}

bool QvFaceGallMeasure::IsComplete() const
{
    return m_keyPoints.size() == kGallLandmarks && m_curves.size() == kGallCurves;
}

double QvFaceGallMeasure::GetValue(int key) const
{
    const auto it = m_values.find(key);
    return it == m_values.end() ? 0.0 : it->second;
}

bool QvFaceGallMeasure::IsStageComplete(bool full) const { return full ? IsComplete() : m_keyPoints.size() == 2; }

void QvFaceGallMeasure::SetCurvePair(bool first, const std::vector<std::vector<QvPoint>>& curves)
{
    for (std::size_t i = 0; i < curves.size(); ++i)
    {
        const std::size_t index = first ? i : 2 + i;
        if (index >= m_curves.size())
            m_curves.resize(index + 1);
        m_curves[index] = curves[i];
    }
}

void QvFaceGallMeasure::SetFrame(const QvFrame& frame, double value)
{
    m_frame = frame;
    m_dFrameValue = value;
}

bool QvFaceGallMeasure::Write(std::ostream& os, int version) const
{
    if (BaseForm(version) == RecordForm::None)
        return true;
    WriteBaseRecord(os, version);
    qvio::WriteI32(os, m_nParam);
    qvmeasure::WriteIntDoubleMap(os, m_values);
    QvWriteCurves(os, m_curves);
    m_frame.Write(os, true);
    qvio::WriteF64(os, m_dFrameValue);
    return !os.fail();
}

bool QvFaceGallMeasure::Read(std::istream& is, int version, QvModel*)
{
    BaseRecord record;
    std::int32_t param = 0;
    std::vector<std::pair<int, double>> values;
    std::vector<std::vector<QvPoint>> curves;
    QvFrame frame;
    double frameValue = 0.0;
    if (!ReadBaseRecord(is, version, record) || !qvio::ReadI32(is, param) ||
        !qvmeasure::ReadIntDoublePairs(is, values) || !QvReadCurves(is, curves) || !frame.Read(is, true) ||
        !qvio::ReadF64(is, frameValue))
        return false;
    ApplyBaseRecord(std::move(record));
    m_nParam = param;
    for (const auto& [key, value] : values)
        m_values[key] = value;
    m_curves.insert(m_curves.end(), curves.begin(), curves.end());
    m_frame = frame;
    m_dFrameValue = frameValue;
    return true;
}

// ---- Curve lists --------------------------------------------------------------------------

void QvWriteCurves(std::ostream& os, const std::vector<std::vector<QvPoint>>& curves)
{
    qvio::WriteI32(os, static_cast<std::int32_t>(curves.size()));
    for (const std::vector<QvPoint>& curve : curves)
        qvmeasure::WritePoints(os, curve);
}

bool QvReadCurves(std::istream& is, std::vector<std::vector<QvPoint>>& out)
{
    std::int32_t count = 0;
    if (!qvio::ReadI32(is, count))
        return false;
    if (!qvio::CountFits(is, count, 4))
    {
        is.setstate(std::ios::failbit);
        return false;
    }
    std::vector<std::vector<QvPoint>> curves;
    for (std::int32_t i = 0; i < count; ++i)
    {
        std::vector<QvPoint> curve;
        if (!qvmeasure::ReadPoints(is, curve))
            return false;
        curves.push_back(std::move(curve));
    }
    out.insert(out.end(), std::make_move_iterator(curves.begin()), std::make_move_iterator(curves.end()));
    return true;
}
