// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/RVCepCurve.h"

#include <algorithm>
#include <cmath>

#include "core/measure/QvCepMeasure.h"

namespace {

constexpr int kDragReach = 7;
constexpr int kSafeGap = 5;

// The landmarks of the incisor and molar outlines, whose shape is never dragged.
bool IsFixedShapeLandmark(MEASURE_POINT id)
{
    return id == POINT_U6D || id == POINT_L6D || id == POINT_UIA || id == POINT_LIA;
}

// |p.x - trunc(q.x)| + |p.y - trunc(q.y)|, truncated.
int Manhattan(const RVPointF& p, const QvPoint& q)
{
    return static_cast<int>(std::trunc(std::fabs(p.x - std::trunc(q[0])) + std::fabs(p.y - std::trunc(q[1]))));
}

// Whether the points span the plane: the affine fit then has one answer.
bool SpansPlane(const std::vector<QvPoint>& points)
{
    for (std::size_t i = 1; i < points.size(); ++i)
        for (std::size_t j = i + 1; j < points.size(); ++j)
        {
            const QvVector u = points[i] - points[0];
            const QvVector v = points[j] - points[0];
            if (!IsZero(u[0] * v[1] - u[1] * v[0]))
                return true;
        }
    return false;
}

RVPointF ToPointF(const QvPoint& p) { return RVPointF{p[0], p[1]}; }

} // namespace

RVCepCurve::RVCepCurve() = default;
RVCepCurve::~RVCepCurve() = default;

void RVCepCurve::setDrivenTypes(const std::vector<MEASURE_POINT>& types)
{
    m_drivenTypes = types;
    m_idType.clear();
    for (std::size_t i = 0; i < m_fitPts.size(); ++i)
        for (std::size_t j = 0; j < m_drivenPts.size() && j < m_drivenTypes.size(); ++j)
            if (m_fitPts[i] == m_drivenPts[j])
                m_idType[static_cast<int>(i)] = m_drivenTypes[j];
}

bool RVCepCurve::IsFixedShape() const
{
    return std::any_of(m_drivenTypes.begin(), m_drivenTypes.end(), IsFixedShapeLandmark);
}

bool RVCepCurve::ImageSize(RVSizeF& size) const
{
    const QvImage* image = m_pCepMeasure ? m_pCepMeasure->GetImage() : nullptr;
    if (!image || image->GetWidth() <= 0 || image->GetHeight() <= 0)
        return false;
    size = RVSizeF{static_cast<double>(image->GetWidth()), static_cast<double>(image->GetHeight())};
    return true;
}

QvPoint RVCepCurve::calculateRatioWithImageSize(const RVSizeF& size, const QvGDIPoint& p)
{
    return QvPoint(p.x / size.width, p.y / size.height, 0.0);
}

QvGDIPoint RVCepCurve::calculatePointWithImageSize(const RVSizeF& size, const QvPoint& ratio)
{
    return QvGDIPoint(static_cast<std::int32_t>(std::trunc(size.width * ratio[0] + 0.5)),
                      static_cast<std::int32_t>(std::trunc(size.height * ratio[1] + 0.5)));
}

void RVCepCurve::Interpolate(const std::vector<QvPoint>& points)
{
    m_curve.reset(QvBSplineCurve::Interpolate(points, m_isClosed));
}

void RVCepCurve::generateCurveWitType(int type)
{
    switch (type)
    {
    case 0:
        if (m_curve)
            return;
        if (m_ratioPts.empty())
            BuildFromTemplate();
        else
            RebuildFromRatios();
        return;
    case 1:
    case 2:
        maintainMePts();
        RebuildFromRatios();
        return;
    case 3:
    {
        RVSizeF size;
        if (!ImageSize(size))
            return;
        RatiosFromPixels(size);
        Interpolate(m_realFitPts);
        return;
    }
    default: return;
    }
}

void RVCepCurve::RebuildFromRatios()
{
    RVSizeF size;
    if (!ImageSize(size))
        return;
    m_realFitPts.clear();
    for (const QvPoint& r : m_ratioPts)
    {
        const QvGDIPoint p = calculatePointWithImageSize(size, r);
        m_realFitPts.emplace_back(p.x, p.y, 0.0);
    }
    Interpolate(m_realFitPts);
}

void RVCepCurve::BuildFromTemplate()
{
    RVSizeF size;
    if (!ImageSize(size))
        return;
    std::vector<QvGDIPoint> templatePts(m_drivenPts.begin(),
                                        m_drivenPts.begin() + static_cast<std::ptrdiff_t>(
                                                                  std::min(m_drivenPts.size(), m_drivenTypes.size())));
    std::vector<QvGDIPoint> casePts;
    for (const MEASURE_POINT id : m_drivenTypes)
    {
        QvKeyPoint landmark;
        // A landmark the case lacks would pull the curve towards the image corner.
        if (!m_pCepMeasure->FindKeyPoint(id, landmark))
            return;
        casePts.push_back(calculatePointWithImageSize(size, landmark.m_point));
    }
    // Two landmarks: a third at a right angle makes the fit a rotation with uniform scale.
    const auto addThird = [](std::vector<QvGDIPoint>& pts) {
        const std::int32_t dx = pts[1].x - pts[0].x;
        const std::int32_t dy = pts[1].y - pts[0].y;
        pts.emplace_back(pts[0].x + dy, pts[0].y - dx);
    };
    if (templatePts.size() == 2)
    {
        addThird(templatePts);
        addThird(casePts);
    }
    m_curve = createCurveByTemplateMeasurePts(templatePts, casePts, m_fitPts, m_isClosed);
    if (!m_curve)
        return;
    m_realFitPts = m_curve->m_dataPoints;
    RatiosFromPixels(size);
}

void RVCepCurve::RatiosFromPixels(const RVSizeF& size)
{
    m_ratioPts.clear();
    for (const QvPoint& p : m_realFitPts)
        m_ratioPts.push_back(calculateRatioWithImageSize(
            size, QvGDIPoint(static_cast<std::int32_t>(std::trunc(p[0])), static_cast<std::int32_t>(std::trunc(p[1])))));
}

std::unique_ptr<QvBSplineCurve> RVCepCurve::createCurveByTemplateMeasurePts(const std::vector<QvGDIPoint>& templatePts,
                                                                            const std::vector<QvGDIPoint>& casePts,
                                                                            const std::vector<QvGDIPoint>& fitPts,
                                                                            bool closed)
{
    if (templatePts.size() < 3 || casePts.size() < templatePts.size())
        return nullptr;
    std::vector<QvPoint> src;
    std::vector<QvPoint> tgt;
    for (std::size_t i = 0; i < templatePts.size(); ++i)
    {
        src.emplace_back(templatePts[i].x, templatePts[i].y, 0.0);
        tgt.emplace_back(casePts[i].x, casePts[i].y, 0.0);
    }
    QvMatrix m(4, 4);
    if (!lSaffineTransMatrix2DWithVecPtSrc(src, tgt, m))
        return nullptr;

    std::vector<QvPoint> mapped;
    for (const QvGDIPoint& f : fitPts)
    {
        const auto tied = std::find(templatePts.begin(), templatePts.end(), f);
        if (tied != templatePts.end())
        {
            mapped.push_back(tgt[static_cast<std::size_t>(tied - templatePts.begin())]);
            continue;
        }
        const QvPoint q = m * QvPoint(f.x, f.y, 0.0);
        mapped.emplace_back(std::trunc(q[0]) + 0.5, std::trunc(q[1]) + 0.5, 0.0);
    }
    return std::unique_ptr<QvBSplineCurve>(QvBSplineCurve::Interpolate(mapped, closed));
}

bool RVCepCurve::lSaffineTransMatrix2DWithVecPtSrc(const std::vector<QvPoint>& src, const std::vector<QvPoint>& tgt,
                                                   QvMatrix& out)
{
    const std::size_t n = std::min(src.size(), tgt.size());
    if (n < 3 || !SpansPlane(std::vector<QvPoint>(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(n))))
        return false;
    QvMatrix a(static_cast<std::int32_t>(2 * n), 6);
    QvMatrix b(static_cast<std::int32_t>(2 * n), 1);
    for (std::size_t i = 0; i < n; ++i)
    {
        const int r = static_cast<int>(2 * i);
        a[r][0] = src[i][0];
        a[r][1] = src[i][1];
        a[r][2] = 1.0;
        a[r + 1][3] = src[i][0];
        a[r + 1][4] = src[i][1];
        a[r + 1][5] = 1.0;
        b[r][0] = tgt[i][0];
        b[r + 1][0] = tgt[i][1];
    }
    QvMatrix at = a;
    at.Transpose();
    QvMatrix normal = at * a;
    if (!normal.Invert())
        return false;
    const QvMatrix x = normal * (at * b);
    for (int k = 0; k < 6; ++k)
        if (!std::isfinite(x[k][0]))
            return false;
    out.Create(4, 4);
    out.SetIdentity();
    out[0][0] = x[0][0];
    out[0][1] = x[1][0];
    out[0][3] = x[2][0];
    out[1][0] = x[3][0];
    out[1][1] = x[4][0];
    out[1][3] = x[5][0];
    return true;
}

void RVCepCurve::maintainMePts()
{
    if (m_ratioPts.empty() || !m_pCepMeasure)
        return;
    for (const QvKeyPoint& landmark : m_pCepMeasure->m_keyPoints)
        for (const auto& [index, id] : m_idType)
            if (landmark.m_nKey == id && static_cast<std::size_t>(index) < m_ratioPts.size())
                m_ratioPts[static_cast<std::size_t>(index)] = landmark.m_point;
}

std::vector<RVPointF> RVCepCurve::curvePoints() const
{
    std::vector<RVPointF> out;
    if (!m_curve)
        return out;
    std::vector<double> knots = m_curve->m_knots.m_values;
    knots.erase(std::unique(knots.begin(), knots.end()), knots.end());
    if (knots.size() < 2)
        return out;
    QvPoint last;
    bool any = false;
    for (std::size_t k = 0; k + 1 < knots.size(); ++k)
    {
        const std::unique_ptr<QvBSplineCurve> piece(m_curve->Extract(knots[k], knots[k + 1]));
        if (!piece || piece->m_ctrlPoints.size() < 2)
            continue;
        for (std::size_t i = 0; i + 1 < piece->m_ctrlPoints.size(); ++i)
            out.push_back(ToPointF(piece->m_ctrlPoints[i]));
        last = piece->m_ctrlPoints.back();
        any = true;
    }
    if (any)
        out.push_back(ToPointF(last));
    return out;
}

std::vector<RVPointF> RVCepCurve::crtlPoints() const
{
    std::vector<RVPointF> out;
    if (!m_curve || IsFixedShape())
        return out;
    const std::vector<QvPoint>& data = m_curve->m_dataPoints;
    for (std::size_t i = 0; i < m_fitPts.size() && i < data.size(); ++i)
        if (!m_idType.count(static_cast<int>(i)))
            out.push_back(ToPointF(data[i]));
    return out;
}

bool RVCepCurve::onLButtonDownWithPoint(const RVPointF& p)
{
    if (!m_curve || IsFixedShape())
        return false;
    return calDragId(p);
}

bool RVCepCurve::calDragId(const RVPointF& p)
{
    if (!m_curve)
        return false;
    const std::vector<QvPoint>& data = m_curve->m_dataPoints;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (Manhattan(p, data[i]) <= kDragReach)
        {
            m_dragId = static_cast<int>(i);
            return true;
        }
    return false;
}

bool RVCepCurve::isSafeMoveWithPoint(const RVPointF& p) const
{
    if (!m_curve)
        return false;
    const std::vector<QvPoint>& data = m_curve->m_dataPoints;
    for (std::size_t i = 0; i < data.size(); ++i)
        if (static_cast<int>(i) != m_dragId && Manhattan(p, data[i]) < kSafeGap)
            return false;
    return true;
}

bool RVCepCurve::onMouseMoveWithPoint(const RVPointF& p)
{
    if (!m_curve || m_dragId < 0 || !isSafeMoveWithPoint(p))
        return false;
    if (static_cast<std::size_t>(m_dragId) >= m_realFitPts.size())
        return false;
    const RVRectF rect = m_pDataSource ? m_pDataSource->getImageRect() : RVRectF{};
    if (!rect.Contains(p))
        return false;
    m_realFitPts[static_cast<std::size_t>(m_dragId)] = QvPoint(p.x, p.y, 0.0);
    generateCurveWitType(3);
    return true;
}

void RVCepCurve::clear()
{
    m_dragId = -1;
    m_ratioPts.clear();
    m_realFitPts.clear();
    m_curve.reset();
}
