// SPDX-License-Identifier: GPL-3.0-or-later
// Measures on face photographs and on the lateral radiograph's soft tissue: facial
// thirds and fifths, nasal vertical line, aesthetic line, midline, chin prominence
// and the GALL measure. Each derives its overlay from its landmarks; texts whose
// value cannot be formed (a zero divisor, a value that is not finite) are left out.
#pragma once

#include <map>
#include <vector>

#include "core/geometry/QvFrame.h"
#include "core/measure/QvImageMeasure.h"

// Facial thirds (landmarks 0 to 3, lines along the reference) and fifths (landmarks 4
// on, lines across it) on images of kind 2, with their ratios to the smallest interval.
class QvFaceRatioMeasure : public QvImageMeasure
{
public:
    QvFaceRatioMeasure();
    void GetPoints(std::vector<MeasurePoint>& out) const override;
    void GetLines(std::vector<MeasureLine>& out) const override;
    // Thirds' texts first (only with a landmark of the fifths to place them), then the
    // fifths'. A group whose smallest interval is zero gives no texts.
    void GetTexts(std::vector<MeasureText>& out) const override;
    // At least 10 landmarks.
    bool IsComplete() const override;
};

// A line from landmark 0 along half the reference normal; kind 1.
class QvNoseVerticalLineMeasure : public QvImageMeasure
{
public:
    QvNoseVerticalLineMeasure();
    // Nothing without a landmark.
    void GetLines(std::vector<MeasureLine>& out) const override;
    bool IsComplete() const override;
};

// The segment through landmarks 1 and 0, continued by its length beyond each end;
// kind 1.
class QvBeautyLineMeasure : public QvImageMeasure
{
public:
    QvBeautyLineMeasure();
    // Nothing with fewer than two landmarks.
    void GetLines(std::vector<MeasureLine>& out) const override;
    bool IsComplete() const override;
};

// The line through landmarks 0 and 1 continued twice its length beyond each; kind 3.
class QvMiddleLineMeasure : public QvImageMeasure
{
public:
    QvMiddleLineMeasure();
    // The points of landmarks 0 and 1 (those there are).
    void GetPoints(std::vector<MeasurePoint>& out) const override;
    // Nothing with fewer than two landmarks.
    void GetLines(std::vector<MeasureLine>& out) const override;
    // At least 4 landmarks.
    bool IsComplete() const override;
};

// Chin prominence on the radiograph (kind 11): landmarks by key 69, 70 and 71, the
// value in millimetres stored after the base record.
class QvChinProminenceMeasure : public QvImageMeasure
{
public:
    QvChinProminenceMeasure();
    QvChinProminenceMeasure& operator=(const QvChinProminenceMeasure& other);

    // Landmark 71, when complete.
    void GetPoints(std::vector<MeasurePoint>& out) const override;
    // When complete and an image of positive size is held: through landmark 71,
    // perpendicular in pixels to the line from 69 to 70.
    void GetLines(std::vector<MeasureLine>& out) const override;
    // The value ("%.2fmm") at the origin, whether complete or not.
    void GetTexts(std::vector<MeasureText>& out) const override;
    // Landmarks and value.
    void Clear() override;
    // Exactly 3 landmarks.
    bool IsComplete() const override;
    bool Write(std::ostream& os, int version) const override;
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    void SetValue(double value) { m_dValue = value; }

    double m_dValue = 0.0;
};

// The GALL measure on the radiograph (kind 11): eight landmarks and four curves, a
// map of values, a frame and its value, all stored after the base record.
class QvFaceGallMeasure : public QvImageMeasure
{
public:
    QvFaceGallMeasure();
    QvFaceGallMeasure& operator=(const QvFaceGallMeasure& other);

    // The first four landmarks.
    void GetPoints(std::vector<MeasurePoint>& out) const override;
    // When complete: value 0 ("%.2fmm") at landmark 62.
    void GetTexts(std::vector<MeasureText>& out) const override;
    // Landmarks, values, curves, frame and frame value; m_nParam stays.
    void Clear() override;
    // Exactly 8 landmarks and 4 curves.
    bool IsComplete() const override;
    bool Write(std::ostream& os, int version) const override;
    // Values read are merged into the map, curves read are appended.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    void SetValue(int key, double value) { m_values[key] = value; }
    // 0 when the key is missing.
    double GetValue(int key) const;
    // With full, IsComplete; otherwise exactly two landmarks.
    bool IsStageComplete(bool full) const;
    void SetCurves(const std::vector<std::vector<QvPoint>>& curves) { m_curves = curves; }
    // Curve i goes to index i (first) or 2 + i; the list grows with empty curves to
    // reach an index beyond its end.
    void SetCurvePair(bool first, const std::vector<std::vector<QvPoint>>& curves);
    void SetFrame(const QvFrame& frame, double value);

    std::int32_t m_nParam = 0;
    std::map<int, double> m_values;
    std::vector<std::vector<QvPoint>> m_curves;
    QvFrame m_frame;
    double m_dFrameValue = 0.0;
};

// The curve list of a record: int32 count, per curve int32 point count and points.
void QvWriteCurves(std::ostream& os, const std::vector<std::vector<QvPoint>>& curves);
// Appends the stored curves to out; false (out unchanged) on a short stream or a bad count.
[[nodiscard]] bool QvReadCurves(std::istream& is, std::vector<std::vector<QvPoint>>& out);
