// SPDX-License-Identifier: GPL-3.0-or-later
// Small marks: a point drawn as a lit sphere or a fixed-size GL point by style; a
// line strip with spheres on its marked vertices; a translucent quadrilateral with a
// green outline, in space or given in window pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvBBox;
class QvPlane;

class QvAuxPoint : public QvAuxObject
{
public:
    QvAuxPoint();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override { Draw(view); }
    void DrawHover(QvView* view) override;
    bool HitTest(int x, int y) override;

    // Sphere radius of a style, drawn and hovered; 0 for the GL-point styles.
    static double DrawRadius(std::int32_t style);
    static double HoverRadius(std::int32_t style);

    QvPoint m_pos;
    // 0..6 (see DrawRadius); others draw as 0.
    std::int32_t m_style = 0;

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;
};

class QvAuxPolyline : public QvAuxObject
{
public:
    QvAuxPolyline();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Replaces the points; every mark becomes 0.
    void SetPoints(const std::vector<QvPoint>& points);
    // Over the first marks; entries beyond the point list are dropped.
    void SetMarks(const std::vector<int>& marks);
    // False, nothing changed, for an index outside the list.
    bool RemovePoint(int index);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;
    void DrawHover(QvView* view) override;
    // Marked vertices (1, 2) first, then unmarked ones; mark 3 is never hit.
    bool HitTest(int x, int y) override;
    // Only a hit on a marked vertex ends the search.
    bool IsExclusiveHit() override;

    std::vector<QvPoint> m_points;
    // 0 marks only, 1 line only, 2 both.
    std::int32_t m_type = 2;
    std::int32_t m_hoverIndex = -1;
    // Per vertex: 0 none, 1 pass colour, 2 green, 3 cyan.
    std::vector<int> m_marks;
    double m_lineWidth = 2.0;

protected:
    void DrawPass(QvView* view, std::int32_t pass) override;

private:
    bool m_bArrays = false;
};

class QvAuxPlane : public QvAuxObject
{
public:
    QvAuxPlane();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Corners origin, origin + u, origin + u + v, origin + v.
    void SetPlane(const QvPoint& origin, const QvVector& u, const QvVector& v);
    void GetPlane(QvPoint& origin, QvVector& u, QvVector& v) const;
    QvVector GetNormal() const;
    // A square of the box's diagonal in the plane, centred on the box centre's projection.
    void FitToBox(const QvBBox& box, const QvPlane& plane);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;

    QvPoint m_corners[4];
    // 0 translucent fill, else a grid every 1 and 5 units.
    std::int32_t m_gridMode = 0;
    std::uint8_t m_alpha = 60;
};

class QvAuxPlane2D : public QvAuxObject
{
public:
    QvAuxPlane2D();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Corners p1, (p2.x, p1.y), p2, (p1.x, p2.y).
    void SetRect(const QvGDIPoint& p1, const QvGDIPoint& p2);
    // Corners 0 and 2.
    void GetRect(QvGDIPoint& p1, QvGDIPoint& p2) const;

    void Draw(QvView* view) override;
    // Within 4 pixels of an edge (m_hitPart 2..5), else strictly inside (1).
    bool HitTest(int x, int y) override;

    QvGDIPoint m_corners[4];
    std::int32_t m_gridMode = 0;
    std::uint8_t m_alpha = 60;
    std::int32_t m_hitPart = 0;
};

// The plane picture through four world corners: fill or grid, then the green outline.
void QvAuxDrawPlaneQuad(const QvPoint corners[4], const QvColor& clr, std::uint8_t alpha, std::int32_t gridMode);
