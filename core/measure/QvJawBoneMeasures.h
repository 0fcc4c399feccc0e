// SPDX-License-Identifier: GPL-3.0-or-later
// Measures of the jaw bones: the heights measured on the radiograph (kind 11) and
// the panoramic measure, whose type and kind come from its record.
#pragma once

#include <map>
#include <vector>

#include "core/measure/QvImageMeasure.h"

// Heights by key, stored after the base record.
class QvJawBoneHeightsMeasure : public QvImageMeasure
{
public:
    QvJawBoneHeightsMeasure();
    QvJawBoneHeightsMeasure& operator=(const QvJawBoneHeightsMeasure& other);

    // Exactly 4 heights.
    bool IsComplete() const override;
    bool Write(std::ostream& os, int version) const override;
    // Heights read are merged into the map (a key read replaces its value).
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model) override;

    void SetHeight(int key, double value) { m_heights[key] = value; }
    // 0 when the key is missing.
    double GetHeight(int key) const;

    std::map<int, double> m_heights;
};

// One tooth mark of the panoramic measure.
struct QvPanPoint
{
    // Codes 0 to 7 and 0 to 25, and a position within the image (1e-7 tolerance).
    bool IsValid() const;

    std::int32_t m_nCodeA = 0;
    std::int32_t m_nCodeB = 0;
    QvPoint m_point;
    bool m_bSet = false;
};

// Stored with the base record only; its own marks are kept in memory (the pan
// record exists for the older files, which no file of the system contains).
class QvPanMeasure : public QvImageMeasure
{
public:
    // Type and kind 0 until a record is read; empty name.
    QvPanMeasure() = default;
    // Copies the marks and both parameters only.
    QvPanMeasure& operator=(const QvPanMeasure& other);

    // Marks and parameters; the landmarks stay.
    void Clear() override;

    void SetPanPoints(const std::vector<QvPanPoint>& points) { m_panPoints = points; }

    // [int32 4001 for versions 513 to 515, 1025 and 1026], int32 count, per mark int32
    // code A, int32 code B and the point, then both parameters.
    bool WritePanRecord(std::ostream& os, int version) const;
    // Replaces the marks (each marked as set) and parameters; false (unchanged) on a
    // short stream or a bad count.
    [[nodiscard]] bool ReadPanRecord(std::istream& is, int version);

    std::vector<QvPanPoint> m_panPoints;
    std::int32_t m_nParam1 = 0;
    std::int32_t m_nParam2 = 0;
};
