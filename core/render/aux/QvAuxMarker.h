// SPDX-License-Identifier: GPL-3.0-or-later
// A marked spot: a translucent square or disc lying in a plane of the model, or a
// small filled figure at a window point (square, circle with a bitmap caption,
// trapezoid, rectangle, triangle). Hit by the window rectangle around its corners.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvAuxMarker : public QvAuxObject
{
public:
    // 0 square in a plane, 1 window square, 2 disc in a plane, 3 window circle, 4 none,
    // 5 window trapezoid, 6 window rectangle, 7 window triangle.
    enum Shape
    {
        kPlaneSquare = 0,
        kWindowSquare = 1,
        kPlaneDisc = 2,
        kWindowCircle = 3,
        kNone = 4,
        kWindowTrapezoid = 5,
        kWindowRect = 6,
        kWindowTriangle = 7
    };

    QvAuxMarker();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // The plane setters also keep the current GL model-view.
    void SetPlaneSquare(const QvPoint& centre, const QvVector& normal, double half);
    void SetPlaneDisc(const QvPoint& centre, const QvVector& normal, double radius);
    // kWindowSquare or kWindowTrapezoid.
    void SetWindowSquare(const QvPoint& p, double half, std::int32_t shape = kWindowSquare);
    void SetWindowCircle(const QvPoint& p, double radius);
    // kWindowRect or kWindowTriangle.
    void SetWindowRect(const QvPoint& p, double width, double height, std::int32_t shape = kWindowRect);
    void SetShape(std::int32_t shape) { m_shape = shape; }
    void MoveBy(const QvPoint& position, double dx, double dy);
    void SetCaptionBitmap(std::int32_t captionWidth, std::int32_t captionHeight, std::int32_t bitmapWidth,
                          std::int32_t bitmapHeight, const std::vector<std::uint8_t>& bits);

    void Draw(QvView* view) override;
    void DrawHover(QvView* view) override;
    bool HitTest(int x, int y) override;

    // The colour of a pass: selected beats hovered beats normal.
    QvColor FigureColor(bool hover) const;
    // The window rectangle around points (0 x 0 for none).
    static QvGDIRect BoundingRect(const std::vector<QvPoint>& points);

    QvColor m_markerClr{255, 0, 0};
    QvColor m_markerSelClr{0, 0, 255};
    std::vector<QvPoint> m_corners;
    std::int32_t m_bUseMatrix = 0;
    std::string m_caption;
    QvGDIRect m_screenRect;
    std::int32_t m_shape = kPlaneSquare;
    QvPoint m_position;
    QvVector m_axisX, m_axisY, m_axisZ;
    double m_radius = 0.0;
    double m_matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::int32_t m_captionWidth = 0, m_captionHeight = 0;
    std::int32_t m_bitmapWidth = 0, m_bitmapHeight = 0;
    std::vector<std::uint8_t> m_bitmap;

private:
    void DrawFigure(bool hover);
    void SetPlane(const QvPoint& centre, const QvVector& normal, double half);
    void SetWindowCorners(const QvPoint& p, double halfW, double halfH);
};
