// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvGDI.h"

QvGDIPoint QvGDIPoint::Offset(std::int32_t dx, std::int32_t dy) const
{
    return QvGDIPoint(x + dx, y + dy);
}

QvGDIRect::QvGDIRect(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
    : m_topLeft(left, top), m_bottomRight(right, bottom)
{
}

QvGDIRect::QvGDIRect(const QvGDIPoint& topLeft, std::int32_t width, std::int32_t height)
    : m_topLeft(topLeft), m_bottomRight(topLeft.x + width, topLeft.y + height)
{
}

void QvGDIRect::Set(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    m_topLeft.Set(left, top);
    m_bottomRight.Set(right, bottom);
}

bool QvGDIRect::IsEmpty() const
{
    return m_topLeft.x == 0 && m_topLeft.y == 0 && m_bottomRight.x == 0 && m_bottomRight.y == 0;
}

void QvGDIRect::Deflate(std::int32_t dx, std::int32_t dy)
{
    m_topLeft.x += dx;
    m_topLeft.y += dy;
    m_bottomRight.x -= dx;
    m_bottomRight.y -= dy;
}

bool QvGDIRect::Contains(const QvGDIPoint& p) const
{
    return m_topLeft.x <= p.x && p.x <= m_bottomRight.x && m_topLeft.y <= p.y && p.y <= m_bottomRight.y;
}
