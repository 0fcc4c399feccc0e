// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvView.h"

#include <algorithm>

namespace
{
void SetIdentity16(double m[16])
{
    std::fill(m, m + 16, 0.0);
    m[0] = m[5] = m[10] = m[15] = 1.0;
}
} // namespace

QvView::QvView()
{
    SetIdentity16(m_modelView);
    SetIdentity16(m_projection);
}

QvView::QvView(const QvGDIPoint& origin, std::int32_t width, std::int32_t height)
    : m_origin(origin), m_width(width), m_height(height)
{
    SetIdentity16(m_modelView);
    SetIdentity16(m_projection);
}

void QvView::SetRect(const QvGDIPoint& origin, std::int32_t width, std::int32_t height)
{
    m_origin = origin;
    m_width = width;
    m_height = height;
}

bool QvView::ContainsPoint(const QvGDIPoint& p) const
{
    return m_origin.x <= p.x && p.x <= m_origin.x + m_width && m_origin.y <= p.y && p.y <= m_origin.y + m_height;
}

void QvView::GetViewport(std::int32_t viewport[4]) const
{
    viewport[0] = m_origin.x;
    viewport[1] = m_origin.y;
    viewport[2] = m_width;
    viewport[3] = m_height;
}

void QvView::SetModelViewMatrix(const double matrix[16])
{
    std::copy(matrix, matrix + 16, m_modelView);
    m_bHasDrawMatrices = true;
}

void QvView::SetProjectionMatrix(const double matrix[16]) { std::copy(matrix, matrix + 16, m_projection); }

void QvView::CopyNavigation(const QvView& other)
{
    m_transform.m_rotation = other.m_transform.m_rotation;
    m_transform.m_translation = other.m_transform.m_translation;
    m_transform.m_scale = other.m_transform.m_scale;
}
