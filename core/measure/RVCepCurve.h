// SPDX-License-Identifier: GPL-3.0-or-later
// One curve of a cephalometric tracing. It starts as a template curve (fit points in
// the template's plane, tied to some landmarks) and becomes a B-spline in the pixels
// of the case's radiograph: carried onto the case by the least-squares affine map of
// its template landmarks onto the case's, or rebuilt from points stored with the
// measure. Fit points tied to a landmark sit on it and follow it; the free ones can be
// dragged.
//
// Pixels are those of the image the measure holds (W x H); ratio points are fractions
// of that size. A curve whose measure holds no image, or misses one of the curve's
// driven landmarks, or whose template landmarks lie on one line, gets no B-spline.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvGDI.h"
#include "core/geometry/QvMatrix.h"
#include "core/measure/QvCepTables.h"
#include "core/measure/RVImageMeasureItems.h"

class QvCepMeasure;

// Gives the shown image's rectangle in image pixels, the coordinates of the mouse.
class RVCepCurveDataSource
{
public:
    virtual ~RVCepCurveDataSource() = default;
    virtual RVRectF getImageRect() const = 0;
};

class RVCepCurve
{
public:
    RVCepCurve();
    ~RVCepCurve();
    RVCepCurve(const RVCepCurve&) = delete;
    RVCepCurve& operator=(const RVCepCurve&) = delete;

    // ---- Configuration (the template reader) ----------------------------------------

    void setFitPoints(const std::vector<QvGDIPoint>& points) { m_fitPts = points; }
    void setDrivenPoints(const std::vector<QvGDIPoint>& points) { m_drivenPts = points; }
    // Also ties every fit point equal to a driven position to that landmark (a later
    // driven landmark replaces an earlier one).
    void setDrivenTypes(const std::vector<MEASURE_POINT>& types);
    void setClosed(bool closed) { m_isClosed = closed; }
    void setCepMeasure(QvCepMeasure* measure) { m_pCepMeasure = measure; }
    // Not owned; must outlive its use here.
    void setDataSource(const RVCepCurveDataSource* source) { m_pDataSource = source; }
    const RVCepCurveDataSource* dataSource() const { return m_pDataSource; }
    // Points stored with the measure, one per fit point.
    void setRatioPts(const std::vector<QvPoint>& points) { m_ratioPts = points; }

    // ---- Building ------------------------------------------------------------------------

    // 0 initial (nothing when built; from the ratio points when there are any, else from
    // the template), 1 and 2 after landmarks moved, 3 after a drag; other types nothing.
    void generateCurveWitType(int type);
    // The fit points carried by the template-to-case map, tied ones onto their case
    // landmark, free ones to whole pixels plus half a pixel, interpolated. Null with
    // fewer than 3 template points or when they lie on one line.
    static std::unique_ptr<QvBSplineCurve> createCurveByTemplateMeasurePts(
        const std::vector<QvGDIPoint>& templatePts, const std::vector<QvGDIPoint>& casePts,
        const std::vector<QvGDIPoint>& fitPts, bool closed);
    // The least-squares 2-D affine map from src to tgt as a 4 x 4 matrix. False, out
    // unchanged, when the normal matrix is singular (fewer than 3 points, or all on a line).
    [[nodiscard]] static bool lSaffineTransMatrix2DWithVecPtSrc(const std::vector<QvPoint>& src,
                                                                const std::vector<QvPoint>& tgt, QvMatrix& out);
    // The tied ratio points from the measure's landmarks.
    void maintainMePts();

    // The control polygon as cubic Bezier pieces, joints once.
    std::vector<RVPointF> curvePoints() const;
    // The free fit points (drag handles); none for incisor and molar curves.
    std::vector<RVPointF> crtlPoints() const;

    // ---- Mouse (image pixels) --------------------------------------------------------------

    bool onLButtonDownWithPoint(const RVPointF& p);
    bool onMouseMoveWithPoint(const RVPointF& p);
    void onLButtonUp() { m_dragId = -1; }
    // The first data point within Manhattan distance 7 becomes the dragged one.
    bool calDragId(const RVPointF& p);
    // No other data point within Manhattan distance 4.
    bool isSafeMoveWithPoint(const RVPointF& p) const;

    // Ends a drag, forgets the points and the B-spline.
    void clear();

    static QvPoint calculateRatioWithImageSize(const RVSizeF& size, const QvGDIPoint& p);
    static QvGDIPoint calculatePointWithImageSize(const RVSizeF& size, const QvPoint& ratio);

    // ---- State ----------------------------------------------------------------------------------

    const QvBSplineCurve* curve() const { return m_curve.get(); }
    const std::vector<QvPoint>& ratioPts() const { return m_ratioPts; }
    const std::vector<QvPoint>& realFitPts() const { return m_realFitPts; }
    const std::map<int, MEASURE_POINT>& idType() const { return m_idType; }
    int dragId() const { return m_dragId; }
    // Incisor and molar curves, tied to 50, 51, 16 or 18, are never dragged.
    bool IsFixedShape() const;

private:
    bool ImageSize(RVSizeF& size) const;
    void BuildFromTemplate();
    void RebuildFromRatios();
    // Each pixel fit point, truncated to whole pixels, as a ratio point.
    void RatiosFromPixels(const RVSizeF& size);
    void Interpolate(const std::vector<QvPoint>& points);

    std::vector<MEASURE_POINT> m_drivenTypes;
    std::vector<QvGDIPoint> m_fitPts;
    std::vector<QvGDIPoint> m_drivenPts;
    bool m_isClosed = false;
    std::unique_ptr<QvBSplineCurve> m_curve;
    int m_dragId = -1;
    std::vector<QvPoint> m_ratioPts;
    std::vector<QvPoint> m_realFitPts;
    std::map<int, MEASURE_POINT> m_idType;
    QvCepMeasure* m_pCepMeasure = nullptr;
    const RVCepCurveDataSource* m_pDataSource = nullptr;
};
