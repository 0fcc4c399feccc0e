// SPDX-License-Identifier: GPL-3.0-or-later
// The cephalometric tracing (type 1, kind 11): landmarks keyed by landmark id (0 and
// 1 are the calibration points, 10 mm apart on the ruler), the measure items the
// calculators compute, the tracing curves, the image's pixel rectangle, two
// parameters and an option flag.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/measure/QvImageMeasure.h"

// One measured value with its normal range and the landmarks it came from.
class QvCepMeasureItem
{
public:
    QvCepMeasureItem() = default;
    QvCepMeasureItem(int id, const std::vector<QvKeyPoint>& keyPoints, int type, int group, double value,
                     double minimum, double maximum);

    // Beyond the range by more than 1e-5.
    bool IsBelowNormal() const { return m_dValue - m_dMin < -1e-5; }
    bool IsAboveNormal() const { return m_dValue - m_dMax > 1e-5; }
    // Whether the value came from the landmark; a distance (display kind 2 or 3) also
    // uses the calibration points 0 and 1.
    bool UsesLandmark(int key) const;

    double m_dValue = 0.0;
    std::int32_t m_nId = 16;
    double m_dMin = 0.0;
    double m_dMax = 0.0;
    std::vector<QvKeyPoint> m_keyPoints;
    // 0 angle, 2 and 3 distance, 4 ratio.
    std::int32_t m_nType = 6;
    std::int32_t m_nGroup = 1;
};

class QvCepMeasure : public QvImageMeasure
{
public:
    QvCepMeasure();
    // Base part, items, parameters, option and curves; the image rectangle stays.
    QvCepMeasure& operator=(const QvCepMeasure& other);

    // The standard analysis's landmarks that the measure holds, in that list's order.
    void GetPoints(std::vector<MeasurePoint>& out) const override;
    // The tracing's reference pairs whose two landmarks are both held.
    void GetLines(std::vector<MeasureLine>& out) const override;
    // Items, landmarks, curves and parameters; rectangle, option, type, kind and name stay.
    void Clear() override;
    // Nothing for the versions read only in the old form.
    bool Write(std::ostream& os, int version) const override;
    // Curves read are appended; the old form replaces the landmarks and drops its items.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    // Landmark ids an analysis needs: kind 1 complex, 2 basic, any other standard.
    static std::vector<int> GetRequiredLandmarks(int analysisKind);
    // The same with the derived landmarks the tracing adds (56, 57, 58).
    static std::vector<int> GetRequiredLandmarksWithDerived(int analysisKind);
    static int GetSecondListSize(int analysisKind);
    // Only the counts are compared.
    bool IsLandmarksComplete(bool useSecondList, int analysisKind) const;
    // The value of the first item with the id; nothing when none has it.
    void SetItemValue(int id, double value);

    // ---- Landmark geometry (pixels of m_imageRect) ---------------------------------

    // N, Me, T2, Ar, S, T1.
    static std::vector<int> GetFaceHeightLandmarks();
    bool GetOption() const { return m_bOption; }
    void SetOption(bool option) { m_bOption = option; }

    // (left + rx (right - left), bottom - ry (bottom - top), 0).
    QvPoint ToPixel(const QvPoint& ratio) const;
    // Degrees about +z in [0, 360): from c - b to a - b.
    double AngleAtVertex(const QvPoint& a, const QvPoint& b, const QvPoint& c) const;
    // Degrees about +z in [0, 360): from d - c to a - b.
    double AngleBetweenLines(const QvPoint& a, const QvPoint& b, const QvPoint& c, const QvPoint& d) const;
    // Degrees in [0, 180] at the crossing O of line(a, b) and line(c, d), from e - O to
    // a - O. Nothing for parallel lines, which have no crossing.
    std::optional<double> AngleAtCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c, const QvPoint& d,
                                          const QvPoint& e) const;
    // Pixels.
    double DistanceBetween(const QvPoint& a, const QvPoint& b) const;
    // From a to the line through b towards c.
    double DistanceToLine(const QvPoint& a, const QvPoint& b, const QvPoint& c) const;
    // From a to the crossing of line(a, b) and line(c, d); nothing when parallel.
    std::optional<double> DistanceToCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                             const QvPoint& d) const;
    // From e to the crossing of line(a, b) and line(c, d); nothing when parallel.
    std::optional<double> DistanceFromCrossing(const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                               const QvPoint& d, const QvPoint& e) const;

    // An angle item of 3, 4 or 5 points (any other count gives 0), rounded to one
    // decimal; above 180 the points (3 or 4) are reversed and 360 taken off; every id
    // but 2 (ANB) keeps the absolute value. False, nothing appended, when a 5-point
    // angle has no crossing.
    bool AddAngleItem(int id, std::vector<QvKeyPoint>& points, int type, int group, double min, double max);
    // A distance item of 2 to 5 points times scale (mm per pixel), rounded to one
    // decimal. False, nothing appended, for a zero scale or lines without a crossing.
    bool AddDistanceItem(int id, const std::vector<QvKeyPoint>& points, int type, int group, double min,
                         double max, double scale);
    // Above 180: value - 360 and true.
    static bool WrapAngle(double& degrees);
    // Lists of 3 or 4 are reversed; others stay.
    static void ReversePoints(std::vector<QvKeyPoint>& points);
    // Appended even when the key is held already.
    void AddKeyPoint(const QvKeyPoint& point);
    void AssignKeyPoints(const std::vector<QvKeyPoint>& points);
    // The value of the first item with the id; false, out untouched, when none.
    static bool FindItemValue(const std::vector<QvCepMeasureItem>& items, int id, double& out);

    // ---- Calculators -----------------------------------------------------------------

    // Replaces the items with those of the analysis kind: 1 complex then Ricketts, 2
    // basic, any other standard. False, items untouched, without landmarks or with an
    // empty image rectangle. The scale is 10 mm over the calibration points' distance;
    // without it no millimetre value is made.
    bool Calculate(int analysisKind);
    void CalculateStandard(double scale); // group 3
    void CalculateBasic(double scale);    // group 4
    void CalculateComplex(double scale);  // group 0
    void CalculateRicketts(double scale); // group 2
    // Gonion at T2, no derived landmark (group 1); nothing dispatches it.
    void CalculateAlternate(double scale);
    // Items 33 and 34 added to whatever the list holds.
    void CalculateCombinedAngles();

    // Base record, int32 parameter 1, int32 parameter 2.
    bool WriteParamRecord(std::ostream& os, int version) const;
    // The same, then the curves.
    bool WriteCurveRecord(std::ostream& os, int version) const;
    [[nodiscard]] bool ReadOldRecord(std::istream& is, int version);
    [[nodiscard]] bool ReadParamRecord(std::istream& is, int version);
    [[nodiscard]] bool ReadCurveRecord(std::istream& is, int version);

    std::vector<QvCepMeasureItem> m_items;
    std::int32_t m_nParam1 = 0;
    std::int32_t m_nParam2 = 0;
    // Pixel rectangle of the radiograph; neither stored nor copied.
    QvGDIRect m_imageRect;
    bool m_bOption = false;
    std::vector<std::vector<QvPoint>> m_curves;

private:
    class Calculator;

    enum class Form
    {
        None,
        Old,
        Param,
        Curve,
    };
    static Form FormOf(int version);
};

// The number printed with a printf pattern in the "C" locale, whatever the process's.
std::string FormatValue(const std::string& pattern, double value);
