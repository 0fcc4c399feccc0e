// SPDX-License-Identifier: GPL-3.0-or-later
// The tracing of one cephalometric measure: the curves read from the contour
// template, the derived landmarks the tracing needs (56, 57, 58), and the measure
// table shown beside it.
//
// Order of use: setCepMeasure (a measure holding its landmarks and an image),
// setDataSource, setComplexPattern, readyContourFile, startProcess; for the table
// setMeasureType and updateMeasureItem. After the landmarks change:
// calSpecialMeasurePts and generateCurveWitType(1).
//
// Contour template (little-endian int32 throughout): a header line ending in a line
// feed; the named-point count and per point its name length, name bytes, x, y; the
// curve count and per curve its fit-point count and (x, y) pairs, its driven-landmark
// count and ids, and a closed flag (1 closed).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "core/measure/QvCepMeasure.h"
#include "core/measure/QvCepTables.h"
#include "core/measure/RVCepCurve.h"
#include "core/measure/RVImageMeasureItems.h"

// One row of the measure table. A new row, and a row whose measure is not there,
// holds empty texts.
struct RVCepMeausureInfoItem
{
    std::int64_t type = 0; // measure id
    std::string name;
    std::string referenceValue;
    std::string realValue;
    RVColor textColor;
    std::string sign; // "↑" above the range, "↓" below, " " inside
};

class RVCepCurveHandle
{
public:
    RVCepCurveHandle();
    ~RVCepCurveHandle();
    RVCepCurveHandle(const RVCepCurveHandle&) = delete;
    RVCepCurveHandle& operator=(const RVCepCurveHandle&) = delete;

    void setCepMeasure(QvCepMeasure* measure) { m_pCepMeasure = measure; }
    QvCepMeasure* cepMeasure() const { return m_pCepMeasure; }
    void setDataSource(const RVCepCurveDataSource* source) { m_pDataSource = source; }
    const RVCepCurveDataSource* dataSource() const { return m_pDataSource; }
    void setComplexPattern(bool complex) { m_bComplexPattern = complex; }
    bool isComplexPattern() const { return m_bComplexPattern; }

    // ---- Tracing --------------------------------------------------------------------------

    // Reads the template at path into new curves. False, the curves as they were, when
    // the file is missing, short or holds a count larger than its bytes.
    bool readyContourFile(const std::string& path);
    bool readyContourStream(std::istream& is);
    // The derived landmarks, the stored points handed to the curves, every curve built.
    void startProcess();
    // 56 (midpoint of B and Po) and 57 (ramus centre) with the complex pattern, 58
    // (gonion, crossing of Ar-T1 and Me-T2) always; each only from landmarks held, and
    // 58 not from parallel lines. Stored in place of a held landmark, else appended.
    void calSpecialMeasurePts();
    void generateCurveWitType(int type);
    // Per curve its control polygon.
    std::vector<std::vector<RVPointF>> curvePoints() const;
    // Every curve's drag handles, one list.
    std::vector<RVPointF> crtlPoints() const;
    std::vector<std::unique_ptr<RVCepCurve>>& cepCurveArray() { return m_cepCurveArray; }

    static QvPoint calculateRatioWithImageSize(const RVSizeF& size, const QvGDIPoint& p)
    {
        return RVCepCurve::calculateRatioWithImageSize(size, p);
    }
    static QvGDIPoint calculatePointWithImageSize(const RVSizeF& size, const QvPoint& ratio)
    {
        return RVCepCurve::calculatePointWithImageSize(size, ratio);
    }

    // ---- Measure table ----------------------------------------------------------------------

    // Rows of MeasureNameList0 (type 0), 1 (type 1) or 2 (any other type).
    void setMeasureType(unsigned type);
    const std::vector<RVCepMeausureInfoItem>& measureInfoItems() const { return m_measureInfoItems; }
    void setMeasureInfoItems(const std::vector<RVCepMeausureInfoItem>& rows) { m_measureInfoItems = rows; }
    // Fills each row from the measure's item of the row's id in the selected group
    // (group 3 in the normal pattern; in the complex pattern group 2 for Ricketts' rows,
    // else 0); a row without one is blanked.
    void updateMeasureItem();
    // One item per row id, first of each id, in row order; items of no row dropped.
    void adjustItemSequence(std::vector<QvCepMeasureItem>* items) const;
    // Indices of the items of the selected group.
    std::vector<std::int32_t> getMeasureDataByTypeWithDatas(const std::vector<QvCepMeasureItem>* items,
                                                            bool bRicketts) const;
    void resetMeasureInfoItemsWithType(unsigned) {}

private:
    bool ImageSize(RVSizeF& size) const;
    // Every landmark with the id moves to ratio; appended when none was held.
    void StoreLandmark(int id, const QvPoint& ratio);

    std::vector<std::unique_ptr<RVCepCurve>> m_cepCurveArray;
    QvCepMeasure* m_pCepMeasure = nullptr;
    const RVCepCurveDataSource* m_pDataSource = nullptr;
    bool m_bComplexPattern = false;
    std::vector<RVCepMeausureInfoItem> m_measureInfoItems;
    unsigned m_nMeasureType = 0;
};
