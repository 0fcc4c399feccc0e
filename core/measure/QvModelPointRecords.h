// SPDX-License-Identifier: GPL-3.0-or-later
// The four small point records a case model carries for its measurement file. What
// their points mean is fixed nowhere; they are read and written so that a file is
// read completely. Readers read the whole record before changing anything: on a
// short stream or a bad count they answer false and the record is as it was.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <utility>
#include <vector>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvPoint.h"

class QvModel;

// Points with a (label, value) pair each, and an optional curve.
class QvModelPointSet
{
public:
    QvModelPointSet() = default;
    QvModelPointSet(const QvModelPointSet& other) { *this = other; }
    // Deep copy, the curve included.
    QvModelPointSet& operator=(const QvModelPointSet& other);
    ~QvModelPointSet() = default;

    // Empties both lists and deletes the curve.
    void Clear();
    // Copies the curve into the set's own one; null is ignored.
    void SetCurve(const QvBSplineCurve* curve);
    // Points present, and with withCurve a curve as well.
    bool HasData(bool withCurve) const;

    // The layout the version selects: from 0x8003 in its family the new one (no vertex
    // index, a curve flag at the end), else the old one, whose vertex index is the
    // nearest vertex of the model's lower jaw (-1 without one). False, nothing
    // written, for a version of neither the 0x8000 nor the 0x200 family.
    bool Write(std::ostream& os, int version, const QvModel* model) const;
    // Appends the stored points and pairs; a stored curve replaces the set's curve.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    std::vector<QvPoint> m_points;
    std::vector<std::pair<std::int32_t, double>> m_attributes;
    std::unique_ptr<QvBSplineCurve> m_pCurve;
};

// Two point lists, chosen by a flag (true the first).
class QvModelPointLists
{
public:
    void Clear();
    bool HasPoints(bool first) const { return !GetPoints(first).empty(); }
    std::vector<QvPoint>& GetPoints(bool first) { return first ? m_first : m_second; }
    const std::vector<QvPoint>& GetPoints(bool first) const { return first ? m_first : m_second; }
    void SetPoints(bool first, const std::vector<QvPoint>& points) { GetPoints(first) = points; }

    // int32 count and the points of the first list, then of the second.
    bool Write(std::ostream& os, int version) const;
    // Appends the stored points to each list.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    std::vector<QvPoint> m_first;
    std::vector<QvPoint> m_second;
};

// Two point lists with one value each.
class QvModelPointListsEx
{
public:
    // The lists and both values.
    void Clear();
    bool HasPoints(bool first) const { return !GetPoints(first).empty(); }
    std::vector<QvPoint>& GetPoints(bool first) { return first ? m_first : m_second; }
    const std::vector<QvPoint>& GetPoints(bool first) const { return first ? m_first : m_second; }
    void SetPoints(bool first, const std::vector<QvPoint>& points) { GetPoints(first) = points; }
    double GetValue(bool first) const { return first ? m_dFirstValue : m_dSecondValue; }
    void SetValue(bool first, double value) { (first ? m_dFirstValue : m_dSecondValue) = value; }

    // Per list: int32 count, the points, the list's value.
    bool Write(std::ostream& os, int version) const;
    // Appends the stored points; the stored values replace the old ones.
    [[nodiscard]] bool Read(std::istream& is, int version, QvModel* model);

    std::vector<QvPoint> m_first;
    std::vector<QvPoint> m_second;
    double m_dFirstValue = 0.0;
    double m_dSecondValue = 0.0;
};

// Two 2-D values held as points (z stays 0).
class QvModelVectorPair
{
public:
    // x and y of both to 0.
    void Reset();
    // Point 0 or 1 (any other index gives point 1).
    QvPoint GetPoint(int index) const { return index == 0 ? m_first : m_second; }
    // Neither point has both x and y zero.
    bool IsValid() const;

    // The two points, 24 bytes each.
    bool Write(std::ostream& os) const;
    [[nodiscard]] bool Read(std::istream& is);

    QvPoint m_first;
    QvPoint m_second;
};

// Installs in the model those of the four records it does not hold yet.
void QvInstallPointRecords(QvModel& model);
