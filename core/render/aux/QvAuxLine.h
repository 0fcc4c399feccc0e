// SPDX-License-Identifier: GPL-3.0-or-later
// Straight strokes in model space: a segment (solid or stippled) and a solid arrow
// (cylinder shaft, cone head). Both are hit within 10 pixels (|dx| + |dy|) of their
// projection in the active view.
#pragma once

#include <cstdint>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvAuxLine : public QvAuxObject
{
public:
    QvAuxLine();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void SetPoints(const QvPoint& start, const QvPoint& stop);
    double GetLength() const;
    // (stop - start) normalised; (1, 0, 0) for a line of zero length.
    QvVector GetDirection() const;
    // Only a stippled line (type 0) takes a stipple; false otherwise, nothing stored.
    bool SetStipple(int factor, int pattern);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;
    void DrawHover(QvView* view) override;
    bool HitTest(int x, int y) override;

    QvPoint m_startPoint;
    QvPoint m_stopPoint;
    // 0 stippled, anything else solid.
    std::int32_t m_type = 1;
    double m_lineWidth = 1.0;
    std::int32_t m_stippleFactor = 2;
    std::int16_t m_stipplePattern = 0x00FF;
    bool m_bSmooth = true;
    float mLinesVertex[6] = {};

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;

private:
    bool m_bArrays = false;
};

class QvAuxArrow : public QvAuxObject
{
public:
    // Shows through the teeth by default.
    QvAuxArrow();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void SetPoints(const QvPoint& start, const QvPoint& stop);
    double GetLength() const;
    QvVector GetDirection() const;
    // Shaft radius; the head is 10 radii long and 2 wide.
    double GetRadius() const { return m_bThick ? 0.3 : 0.1; }

    void Draw(QvView* view) override;
    void DrawHover(QvView* view) override;
    bool HitTest(int x, int y) override;

    QvPoint m_startPoint;
    QvPoint m_stopPoint;
    bool m_bThick = false;
    bool m_bHitHeadOnly = false;

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;

private:
    // The solid along +z from the start point, in the current colour and state.
    void DrawSolid() const;
};

// Distance of window point m from the projected segment s-t, by |dx| + |dy|: from
// the foot of the perpendicular when it lies between the ends, else from the nearer
// end (or, with farEnd, the farther one).
double QvAuxSegmentHitDistance(const QvGDIPoint& s, const QvGDIPoint& t, int x, int y, bool farEnd);
