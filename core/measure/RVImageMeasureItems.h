// SPDX-License-Identifier: GPL-3.0-or-later
// The plain values the image views draw: positions in points of the shown image's
// size, colours as red, green, blue and alpha from 0 to 1, angles in radians.
#pragma once

#include <string>

struct RVPointF
{
    double x = 0.0;
    double y = 0.0;
    bool operator==(const RVPointF&) const = default;
};

struct RVSizeF
{
    double width = 0.0;
    double height = 0.0;
};

struct RVRectF
{
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    // Left and bottom edges inside, right and top outside; an empty rectangle holds nothing.
    bool Contains(const RVPointF& p) const
    {
        return width > 0.0 && height > 0.0 && p.x >= x && p.x < x + width && p.y >= y && p.y < y + height;
    }
};

// All zero: no colour.
struct RVColor
{
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 0.0;
    bool operator==(const RVColor&) const = default;
};

struct RVImageMeasureItem
{
    RVColor color;
    // The measure's reference-line angle; set on lines only.
    double angle = 0.0;
};

struct RVImageMeasureLine : RVImageMeasureItem
{
    RVPointF start;
    RVPointF end;
    bool dash = false;
    bool isDash() const { return dash; }
};

struct RVImageMeasurePoint : RVImageMeasureItem
{
    RVPointF point;
};

struct RVImageMeasureText : RVImageMeasureItem
{
    std::string text; // UTF-8
    RVPointF origin;
};
