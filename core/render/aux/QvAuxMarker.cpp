// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxMarker.h"

#include <algorithm>
#include <cmath>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvMatrix.h"
#include "core/render/QvGL.h"
#include "core/render/QvMaterial.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"

namespace
{
constexpr double kDegree = 0.017453292519944444;

QvVector Unit(const QvVector& v)
{
    QvVector n = v;
    n.Normalize();
    return n;
}
} // namespace

QvAuxMarker::QvAuxMarker() : QvAuxObject(false) {}

QvTypeCode QvAuxMarker::GetType() const { return kQvTypeAuxMarker; }

bool QvAuxMarker::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxMarker || QvAuxObject::IsKindOf(code); }

void QvAuxMarker::SetPlane(const QvPoint& centre, const QvVector& normal, double half)
{
    m_position = centre;
    m_radius = half;
    m_axisZ = Unit(normal);
    const QvVector seed = std::fabs(m_axisZ[0]) < 0.9 ? QvVector(1, 0, 0) : QvVector(0, 1, 0);
    m_axisX = Unit(seed.Cross(m_axisZ).Cross(m_axisZ) * -1.0);
    m_axisY = Unit(m_axisZ.Cross(m_axisX));
    m_corners = {centre - m_axisX * half - m_axisY * half, centre + m_axisX * half - m_axisY * half,
                 centre + m_axisX * half + m_axisY * half, centre - m_axisX * half + m_axisY * half};
    glGetDoublev(GL_MODELVIEW_MATRIX, m_matrix);
}

void QvAuxMarker::SetPlaneSquare(const QvPoint& centre, const QvVector& normal, double half)
{
    SetPlane(centre, normal, half);
    m_shape = kPlaneSquare;
}

void QvAuxMarker::SetPlaneDisc(const QvPoint& centre, const QvVector& normal, double radius)
{
    SetPlane(centre, normal, radius);
    m_shape = kPlaneDisc;
}

void QvAuxMarker::SetWindowCorners(const QvPoint& p, double halfW, double halfH)
{
    m_position = p;
    m_corners = {QvPoint(p[0] - halfW, p[1] - halfH, 0), QvPoint(p[0] + halfW, p[1] - halfH, 0),
                 QvPoint(p[0] + halfW, p[1] + halfH, 0), QvPoint(p[0] - halfW, p[1] + halfH, 0)};
}

void QvAuxMarker::SetWindowSquare(const QvPoint& p, double half, std::int32_t shape)
{
    m_radius = half;
    SetWindowCorners(p, half, half);
    m_shape = shape;
}

void QvAuxMarker::SetWindowCircle(const QvPoint& p, double radius)
{
    m_radius = radius;
    SetWindowCorners(p, radius, radius);
    m_shape = kWindowCircle;
}

void QvAuxMarker::SetWindowRect(const QvPoint& p, double width, double height, std::int32_t shape)
{
    SetWindowCorners(p, width / 2.0, height / 2.0);
    m_shape = shape;
}

void QvAuxMarker::MoveBy(const QvPoint& position, double dx, double dy)
{
    if (m_corners.empty())
        return;
    m_position = position;
    for (QvPoint& c : m_corners)
    {
        c[0] += dx;
        c[1] += dy;
    }
}

void QvAuxMarker::SetCaptionBitmap(std::int32_t captionWidth, std::int32_t captionHeight, std::int32_t bitmapWidth,
                                   std::int32_t bitmapHeight, const std::vector<std::uint8_t>& bits)
{
    m_captionWidth = captionWidth;
    m_captionHeight = captionHeight;
    m_bitmapWidth = std::max(0, bitmapWidth);
    m_bitmapHeight = std::max(0, bitmapHeight);
    m_bitmap = bits;
    // glBitmap reads whole rows; never past the stored bytes.
    const std::size_t need = static_cast<std::size_t>(m_bitmapWidth) * static_cast<std::size_t>(m_bitmapHeight);
    if (m_bitmap.size() < need)
        m_bitmap.resize(need, 0);
}

QvColor QvAuxMarker::FigureColor(bool hover) const
{
    if (IsSelectedState())
        return m_markerSelClr;
    return hover ? GetHoverColor() : m_markerClr;
}

void QvAuxMarker::Draw(QvView*) { DrawFigure(false); }

void QvAuxMarker::DrawHover(QvView*) { DrawFigure(true); }

void QvAuxMarker::DrawFigure(bool hover)
{
    if (!IsShown() || m_shape == kNone || m_corners.size() < 4)
        return;
    const QvColor clr = FigureColor(hover);
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_LIGHTING_BIT |
                 GL_VIEWPORT_BIT | GL_TRANSFORM_BIT);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    if (m_shape == kPlaneSquare || m_shape == kPlaneDisc)
    {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        if (m_bUseMatrix != 0)
            glLoadMatrixd(m_matrix);
        QvAuxColor4(clr, 255);
        if (m_shape == kPlaneSquare)
        {
            glBegin(GL_QUADS);
            for (const QvPoint& c : m_corners)
                glVertex3d(c[0], c[1], c[2]);
            glEnd();
        }
        else
        {
            glBegin(GL_POLYGON);
            for (int i = 0; i < 360; ++i)
            {
                const QvPoint p = m_position + m_axisX * (m_radius * std::cos(i * kDegree)) +
                                  m_axisY * (m_radius * std::sin(i * kDegree));
                glVertex3d(p[0], p[1], p[2]);
            }
            glEnd();
        }
        glPopMatrix();
        glPopAttrib();
        return;
    }
    const QvView* view = QvViewManager::Instance()->GetActiveView();
    std::int32_t vp[4] = {0, 0, 0, 0};
    if (view != nullptr)
        view->GetViewport(vp);
    std::int32_t winW = 0, winH = 0;
    QvViewManager::Instance()->GetSize(winW, winH);
    if (vp[0] == 0 && QvViewManager::Instance()->GetViewCount() >= 2)
        vp[0] = vp[2];
    glViewport(vp[0], vp[1], vp[2], vp[3]);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(vp[0], vp[0] + vp[2], vp[1], vp[1] + vp[3]);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    auto flip = [&](const QvPoint& p) { return QvPoint(p[0], winH - p[1], 0.0); };
    QvAuxColor3(clr);
    const QvPoint c0 = flip(m_corners[0]), c1 = flip(m_corners[1]), c2 = flip(m_corners[2]), c3 = flip(m_corners[3]);
    const QvPoint centre = flip(m_position);
    switch (m_shape)
    {
    case kWindowCircle:
        glBegin(GL_TRIANGLE_FAN);
        for (int i = 0; i < 360; ++i)
            glVertex2d(centre[0] + m_radius * std::cos(i * kDegree), centre[1] + m_radius * std::sin(i * kDegree));
        glEnd();
        if (!m_caption.empty() && !m_bitmap.empty())
        {
            glColor3ub(255, 255, 255);
            const double dx = m_caption == "?" ? 0.0 : 1.0;
            glRasterPos3d(centre[0] - m_captionWidth / 2.0 + dx, centre[1] - m_captionHeight / 2.0 + 1.0, 0.0);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glBitmap(m_bitmapWidth, m_bitmapHeight, 0, 0, 0, 0, m_bitmap.data());
        }
        break;
    case kWindowTrapezoid:
    {
        // Window rows grow downwards: corners 0 and 1 are the top ones.
        const double inset = (c1[0] - c0[0]) / 4.0;
        glBegin(GL_POLYGON);
        glVertex2d(c0[0] + inset, c0[1]);
        glVertex2d(c1[0] - inset, c1[1]);
        glVertex2d(c2[0], c2[1]);
        glVertex2d(c3[0], c3[1]);
        glEnd();
        break;
    }
    case kWindowTriangle:
        glBegin(GL_TRIANGLES);
        glVertex2d(c0[0], c0[1]);
        glVertex2d(c1[0], (c1[1] + c2[1]) / 2.0);
        glVertex2d(c3[0], c3[1]);
        glEnd();
        break;
    default:
        glBegin(GL_POLYGON);
        for (const QvPoint& c : {c0, c1, c2, c3})
            glVertex2d(c[0], c[1]);
        glEnd();
        break;
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

QvGDIRect QvAuxMarker::BoundingRect(const std::vector<QvPoint>& points)
{
    if (points.empty())
        return QvGDIRect();
    double l = points[0][0], r = l, t = points[0][1], b = t;
    for (const QvPoint& p : points)
    {
        l = std::min(l, p[0]), r = std::max(r, p[0]);
        t = std::min(t, p[1]), b = std::max(b, p[1]);
    }
    return QvGDIRect(static_cast<std::int32_t>(std::floor(l)), static_cast<std::int32_t>(std::floor(t)),
                     static_cast<std::int32_t>(std::ceil(r)), static_cast<std::int32_t>(std::ceil(b)));
}

bool QvAuxMarker::HitTest(int x, int y)
{
    std::vector<QvPoint> window;
    for (const QvPoint& c : m_corners)
    {
        if (m_shape == kPlaneSquare || m_shape == kPlaneDisc)
        {
            QvPoint p = c;
            if (m_bUseMatrix != 0)
            {
                // Into the frame the marker was drawn in, then through the view.
                double current[16];
                glGetDoublev(GL_MODELVIEW_MATRIX, current);
                QvMatrix stored(4, 4), inverse(4, 4);
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j)
                    {
                        stored[i][j] = m_matrix[j * 4 + i];
                        inverse[i][j] = current[j * 4 + i];
                    }
                if (inverse.Invert())
                    p = (inverse * stored) * c;
            }
            const QvGDIPoint w = m_pRender->ProjectInActiveView(p);
            window.emplace_back(w.x, w.y, 0.0);
        }
        else if (m_shape == kNone || m_shape < 0 || m_shape > kWindowTriangle)
        {
            window.emplace_back(0.0, 0.0, 0.0);
        }
        else
        {
            window.push_back(c);
        }
    }
    m_screenRect = BoundingRect(window);
    if (m_shape == kNone)
        return false;
    return !m_screenRect.IsEmpty() && m_screenRect.Contains(QvGDIPoint(x, y));
}
