// SPDX-License-Identifier: GPL-3.0-or-later
// Integer points and rectangles in view pixels.
#pragma once

#include <cstdint>

class QvGDIPoint
{
public:
    QvGDIPoint() = default;
    QvGDIPoint(std::int32_t px, std::int32_t py) : x(px), y(py) {}

    void Set(std::int32_t px, std::int32_t py)
    {
        x = px;
        y = py;
    }
    bool operator==(const QvGDIPoint& other) const { return x == other.x && y == other.y; }
    // A moved copy; this point stays where it is.
    QvGDIPoint Offset(std::int32_t dx, std::int32_t dy) const;

    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Edges are inclusive and their order is not enforced.
class QvGDIRect
{
public:
    QvGDIRect() = default;
    QvGDIRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    QvGDIRect(const QvGDIPoint& topLeft, std::int32_t width, std::int32_t height);

    void Set(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    // Only the all-zero rectangle is empty: a zero-width one elsewhere still holds its edge.
    bool IsEmpty() const;
    // Shrinks by dx on the left and right and dy at the top and bottom; negative values grow it.
    void Deflate(std::int32_t dx, std::int32_t dy);
    bool Contains(const QvGDIPoint& p) const;

    QvGDIPoint m_topLeft;     // x = left, y = top
    QvGDIPoint m_bottomRight; // x = right, y = bottom
};
