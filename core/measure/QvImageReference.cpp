// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/measure/QvImageReference.h"

#include <istream>
#include <ostream>

#include "core/geometry/QvStreamIO.h"

void QvImageReference::SetKeyPoints(const std::vector<QvKeyPoint>& points)
{
    if (&points != &m_keyPoints)
        m_keyPoints = points;
}

std::ostream& QvImageReference::Write(std::ostream& os) const
{
    qvio::WriteI32(os, m_nImageKind);
    QvWriteKeyPoints(os, m_keyPoints);
    return os;
}

bool QvImageReference::Read(std::istream& is)
{
    std::int32_t kind = 0;
    std::vector<QvKeyPoint> points;
    if (!qvio::ReadI32(is, kind) || !QvReadKeyPoints(is, points))
        return false;
    m_nImageKind = kind;
    m_keyPoints = std::move(points);
    return true;
}

std::vector<QvImageReference>& GetImageReferences()
{
    static std::vector<QvImageReference> references;
    return references;
}

void ResetImageReferences() { GetImageReferences().clear(); }
