// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvCamera.h"

void QvCamera::GetLookAt(QvPoint& eye, QvPoint& target, QvVector& up) const
{
    eye = m_eye;
    target = m_target;
    up = m_up;
}

void QvCamera::SetEyeDistance(double d) { m_eye.Set(0.0, 0.0, d); }

void QvCamera::GetViewport(std::int32_t& x, std::int32_t& y, std::int32_t& width, std::int32_t& height) const
{
    x = m_viewport[0];
    y = m_viewport[1];
    width = m_viewport[2];
    height = m_viewport[3];
}

void QvCamera::SetViewport(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
{
    m_viewport[0] = x;
    m_viewport[1] = y;
    m_viewport[2] = width;
    m_viewport[3] = height;
}

void QvCamera::GetFrustum(double& left, double& right, double& bottom, double& top, double& nearPlane,
                          double& farPlane) const
{
    left = m_left;
    right = m_right;
    bottom = m_bottom;
    top = m_top;
    nearPlane = m_near;
    farPlane = m_far;
}

void QvCamera::SetFrustum(double left, double right, double bottom, double top, double nearPlane, double farPlane)
{
    m_left = left;
    m_right = right;
    m_bottom = bottom;
    m_top = top;
    m_near = nearPlane;
    m_far = farPlane;
}
