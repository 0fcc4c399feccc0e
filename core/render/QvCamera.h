// SPDX-License-Identifier: GPL-3.0-or-later
// The camera shared by every view: it looks from the eye on the z axis down to the
// origin; each view turns, scales and moves the model in front of it.
#pragma once

#include <cstdint>

#include "core/geometry/QvPoint.h"

class QvCamera
{
public:
    QvCamera() = default;

    void GetLookAt(QvPoint& eye, QvPoint& target, QvVector& up) const;
    // eye = (0, 0, d)
    void SetEyeDistance(double d);
    bool IsOrthographic() const { return m_bOrthographic; }

    // Kept for completeness; the renderer takes its viewports and bounds from the views.
    void GetViewport(std::int32_t& x, std::int32_t& y, std::int32_t& width, std::int32_t& height) const;
    void SetViewport(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
    void GetFrustum(double& left, double& right, double& bottom, double& top, double& nearPlane,
                    double& farPlane) const;
    void SetFrustum(double left, double right, double bottom, double top, double nearPlane, double farPlane);

    QvPoint m_eye;
    QvPoint m_target;
    QvVector m_up{0.0, 1.0, 0.0};
    std::int32_t m_viewport[4] = {0, 0, 0, 0};
    double m_left = 0.0, m_right = 0.0, m_bottom = 0.0, m_top = 0.0, m_near = 0.0, m_far = 0.0;
    // glOrtho when set, glFrustum otherwise.
    bool m_bOrthographic = true;
};
