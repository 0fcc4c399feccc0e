// SPDX-License-Identifier: GPL-3.0-or-later
// Integer RGB colours (components normally 0..255).
#pragma once

#include <cstdint>
#include <iosfwd>

class QvColor
{
public:
    // Unset: all three components -1.
    QvColor() = default;
    QvColor(std::int32_t r, std::int32_t g, std::int32_t b) : m_r(r), m_g(g), m_b(b) {}

    // This colour becomes a + trunc((b - a) * t) per component. Results beyond the
    // int32 range saturate and a NaN step counts as 0, so no t is undefined behaviour.
    void Blend(const QvColor& a, const QvColor& b, double t);
    // False only for the unset colour (-1, -1, -1).
    bool IsValid() const { return !(m_r == -1 && m_g == -1 && m_b == -1); }

    // r, g, b as int32: 12 bytes.
    std::ostream& Write(std::ostream& os) const;
    // False when the stream runs short; the colour is then unchanged.
    [[nodiscard]] bool Read(std::istream& is);

    std::int32_t m_r = -1;
    std::int32_t m_g = -1;
    std::int32_t m_b = -1;
};
