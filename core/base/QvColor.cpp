// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvColor.h"

#include <cmath>
#include <limits>

#include "core/geometry/QvStreamIO.h"

namespace {

std::int32_t BlendComponent(std::int32_t a, std::int32_t b, double t)
{
    // The difference in 64 bits: b - a of two int32 may not fit in 32.
    const double diff = static_cast<double>(static_cast<std::int64_t>(b) - static_cast<std::int64_t>(a));
    double step = std::trunc(diff * t);
    if (std::isnan(step))
        step = 0.0;
    const double value = static_cast<double>(a) + step;
    if (value <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (value >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

} // namespace

void QvColor::Blend(const QvColor& a, const QvColor& b, double t)
{
    const std::int32_t r = BlendComponent(a.m_r, b.m_r, t);
    const std::int32_t g = BlendComponent(a.m_g, b.m_g, t);
    const std::int32_t bl = BlendComponent(a.m_b, b.m_b, t);
    m_r = r;
    m_g = g;
    m_b = bl;
}

std::ostream& QvColor::Write(std::ostream& os) const
{
    qvio::WriteI32(os, m_r);
    qvio::WriteI32(os, m_g);
    qvio::WriteI32(os, m_b);
    return os;
}

bool QvColor::Read(std::istream& is)
{
    std::int32_t r = 0, g = 0, b = 0;
    if (!qvio::ReadI32(is, r) || !qvio::ReadI32(is, g) || !qvio::ReadI32(is, b))
        return false;
    m_r = r;
    m_g = g;
    m_b = b;
    return true;
}
