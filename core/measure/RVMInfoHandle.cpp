// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/RVMInfoHandle.h"

#include <cmath>
#include <iostream>

#include "core/measure/QvCepDetail.h"
#include "core/model/QvImage.h"
#include "core/model/QvModel.h"
#include "core/model/QvReadWriteFile.h"

namespace {

using LinePairs = std::vector<std::pair<MEASURE_POINT, MEASURE_POINT>>;

RVPointF Scaled(const QvPoint& p, double w, double h) { return RVPointF{p[0] * w, p[1] * h}; }

} // namespace

RVMInfoHandle::RVMInfoHandle() = default;
RVMInfoHandle::~RVMInfoHandle() = default;

bool RVMInfoHandle::openRVM(const std::string& path)
{
    if (path.empty())
        return false;
    if (!m_pModel)
        m_pModel = std::make_unique<QvModel>();
    QvReadWriteFile reader(m_pModel.get(), 0);
    const bool read = reader.ReadRVM(path);
    if (read)
        std::cout << "读取RVM文件成功" << std::endl;
    m_bComplexPattern = false;
    return read;
}

void RVMInfoHandle::setImageType(unsigned imageKind, const RVImageInfo& image)
{
    m_nImageType = imageKind;
    m_image = image;
}

void RVMInfoHandle::loadData()
{
    imageMeassures.clear();
    m_measureTypes.clear();
    if (!m_pModel)
        return;
    m_pModel->GetImageMeasures(static_cast<int>(m_nImageType), imageMeassures, false);
    for (QvImageMeasure* measure : imageMeassures)
    {
        const QvImage blank(m_image.pixelWidth, m_image.pixelHeight, m_image.bitsPerPixel);
        measure->SetImage(&blank);
        m_measureTypes.push_back(static_cast<unsigned>(measure->m_nType));
    }
}

QvImageMeasure* RVMInfoHandle::imageMeasureByType(int type) const
{
    for (QvImageMeasure* measure : imageMeassures)
        if (measure->m_nType == type)
            return measure;
    return nullptr;
}

void RVMInfoHandle::ImageScale(double& w, double& h) const
{
    w = std::trunc(m_image.width);
    h = std::trunc(m_image.height);
}

std::vector<RVImageMeasureLine> RVMInfoHandle::lineWithType(int type) const
{
    double w = 0.0;
    double h = 0.0;
    ImageScale(w, h);
    std::vector<RVImageMeasureLine> out;
    for (const QvImageMeasure* measure : imageMeassures)
    {
        if (measure->m_nType != type)
            continue;
        std::vector<MeasureLine> lines;
        if (type == kQvMeasureCep)
            lines = lineWithCepMeasure(dynamic_cast<const QvCepMeasure*>(measure));
        else
            measure->GetLines(lines);
        const double angle = measure->GetReferenceAngle();
        for (const MeasureLine& line : lines)
        {
            RVImageMeasureLine item;
            item.start = Scaled(line.m_start, w, h);
            item.end = Scaled(line.m_end, w, h);
            item.color = colorByTcColor(line.m_color, 1.0);
            item.dash = line.m_bDash;
            item.angle = angle;
            out.push_back(item);
        }
    }
    return out;
}

std::vector<RVImageMeasurePoint> RVMInfoHandle::pointWithType(int type) const
{
    double w = 0.0;
    double h = 0.0;
    ImageScale(w, h);
    std::vector<RVImageMeasurePoint> out;
    for (const QvImageMeasure* measure : imageMeassures)
    {
        if (measure->m_nType != type)
            continue;
        std::vector<MeasurePoint> points;
        measure->GetPoints(points);
        for (const MeasurePoint& p : points)
        {
            RVImageMeasurePoint item;
            item.point = Scaled(p.m_point, w, h);
            item.color = colorByTcColor(p.m_color, 1.0);
            out.push_back(item);
        }
    }
    return out;
}

std::vector<RVImageMeasureText> RVMInfoHandle::textWithType(int type) const
{
    double w = 0.0;
    double h = 0.0;
    ImageScale(w, h);
    std::vector<RVImageMeasureText> out;
    for (const QvImageMeasure* measure : imageMeassures)
    {
        if (measure->m_nType != type)
            continue;
        std::vector<MeasureText> texts;
        measure->GetTexts(texts);
        for (const MeasureText& t : texts)
        {
            RVImageMeasureText item;
            item.origin = Scaled(t.m_origin, w, h);
            item.color = colorByTcColor(t.m_color, t.m_nAlpha / 300.0);
            item.text = t.m_text;
            out.push_back(item);
        }
    }
    return out;
}

std::vector<MeasureLine> RVMInfoHandle::lineWithCepMeasure(const QvCepMeasure* measure) const
{
    std::vector<MeasureLine> out;
    if (!measure)
        return out;
    for (const auto& [first, second] : getBasicLinePairWithIsComplexPattern(m_bComplexPattern))
    {
        QvKeyPoint a;
        QvKeyPoint b;
        if (!measure->FindKeyPoint(first, a) || !measure->FindKeyPoint(second, b))
            continue;
        MeasureLine line;
        if (m_bComplexPattern && first == POINT_UI)
        {
            // The incisor-molar line: from the incisors' midpoint to the molars'.
            QvKeyPoint li;
            QvKeyPoint u6;
            if (!measure->FindKeyPoint(POINT_LI, li) || !measure->FindKeyPoint(POINT_U6, u6))
                continue;
            line.m_start = qvcep::Mid(a.m_point, li.m_point);
            line.m_end = qvcep::Mid(b.m_point, u6.m_point);
        }
        else
        {
            line.m_start = a.m_point;
            line.m_end = b.m_point;
        }
        out.push_back(line);
    }
    return out;
}

std::vector<std::pair<MEASURE_POINT, MEASURE_POINT>> RVMInfoHandle::getBasicLinePairWithIsComplexPattern(bool complex)
{
    if (complex)
        return LinePairs{{POINT_S, POINT_N},   {POINT_P, POINT_O},   {POINT_Ba, POINT_N}, {POINT_ANS, POINT_PNS},
                         {POINT_Go, POINT_Me}, {POINT_S, POINT_Gn},  {POINT_Prn, POINT_Pos}, {POINT_N, POINT_Po},
                         {POINT_UI, POINT_L6}, {POINT_Pt, POINT_Gn}, {POINT_N, POINT_A}};
    return LinePairs{{POINT_CM, POINT_SN}, {POINT_SN, POINT_UL}, {POINT_S, POINT_N},    {POINT_N, POINT_A},
                     {POINT_N, POINT_B},   {POINT_N, POINT_Po},  {POINT_P, POINT_O},    {POINT_S, POINT_Gn},
                     {POINT_Me, POINT_T2}, {POINT_A, POINT_Po},  {POINT_UI, POINT_UIA}, {POINT_LI, POINT_LIA},
                     {POINT_Prn, POINT_Pos}};
}

RVColor RVMInfoHandle::colorByTcColor(const QvColor& color, double alpha)
{
    return RVColor{color.m_r / 255.0, color.m_g / 255.0, color.m_b / 255.0, alpha};
}

void RVMInfoHandle::close()
{
    imageMeassures.clear();
    m_measureTypes.clear();
    m_pModel.reset();
}
