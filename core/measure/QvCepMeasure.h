// SPDX-License-Identifier: GPL-3.0-or-later
// The cephalometric tracing (type 1, kind 11): landmarks keyed by landmark id (0 and
// 1 are the calibration points, 10 mm apart on the ruler), the measure items the
// calculators compute, the tracing curves, the image's pixel rectangle, two
// parameters and an option flag.
#pragma once

#include <cstdint>
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
    enum class Form
    {
        None,
        Old,
        Param,
        Curve,
    };
    static Form FormOf(int version);
};
