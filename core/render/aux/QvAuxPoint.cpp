// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxPoint.h"

#include <cmath>
#include <cstdlib>

#include "core/geometry/QvBBox.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/render/QvGL.h"
#include "core/render/QvMaterial.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvViewManager.h"

namespace
{
constexpr GLbitfield kPassGroups =
    GL_CURRENT_BIT | GL_POINT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT |
    GL_COLOR_BUFFER_BIT;

void LitSphere(const QvPoint& at, double radius)
{
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(at[0], at[1], at[2]);
    if (GLUquadric* quadric = gluNewQuadric())
    {
        gluSphere(quadric, radius, 32, 32);
        gluDeleteQuadric(quadric);
    }
    glPopMatrix();
}

void GLPoint(const QvPoint& at, float size)
{
    glDisable(GL_LIGHTING);
    glPointSize(size);
    glBegin(GL_POINTS);
    glVertex3d(at[0], at[1], at[2]);
    glEnd();
}

bool NearInWindow(const QvOpenGLRender* render, const QvPoint& p, int x, int y)
{
    const QvGDIPoint w = render->ProjectInActiveView(p);
    return std::abs(w.x - x) + std::abs(w.y - y) < kQvAuxHitPixels;
}

QvVector Unit(const QvVector& v)
{
    QvVector n = v;
    n.Normalize();
    return n;
}
} // namespace

// ---- Point ------------------------------------------------------------------------------------

QvAuxPoint::QvAuxPoint() : QvAuxObject(false) {}

QvTypeCode QvAuxPoint::GetType() const { return kQvTypeAuxPoint; }

bool QvAuxPoint::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxPoint || QvAuxObject::IsKindOf(code); }

double QvAuxPoint::DrawRadius(std::int32_t style)
{
    switch (style)
    {
    case 1: return 0.05;
    case 2: return 0.4;
    case 3: return 1.2;
    case 4:
    case 6: return 0.0;
    case 5: return 0.3;
    default: return 0.2;
    }
}

double QvAuxPoint::HoverRadius(std::int32_t style)
{
    switch (style)
    {
    case 2: return 0.5;
    case 4: return 0.0;
    case 5: return 0.3;
    default: return 0.2;
    }
}

void QvAuxPoint::Draw(QvView* view) { DrawPasses(view); }

void QvAuxPoint::DrawPass(QvView*, std::int32_t pass)
{
    glPushAttrib(kPassGroups);
    BeginPass(pass);
    QvAuxColor3(PassColor(pass, true));
    if (m_style == 4)
    {
        GLPoint(m_pos, 6.0f);
    }
    else if (m_style == 6)
    {
        glEnable(GL_POINT_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        GLPoint(m_pos, 5.0f);
    }
    else
    {
        LitSphere(m_pos, DrawRadius(m_style));
    }
    glPopAttrib();
}

void QvAuxPoint::DrawHover(QvView*)
{
    if (!IsShown())
        return;
    glPushAttrib(kPassGroups);
    if (m_bFrontMost)
        glDisable(GL_DEPTH_TEST);
    else
        glEnable(GL_DEPTH_TEST);
    QvAuxColor3(GetHoverColor());
    if (m_style == 4)
        GLPoint(m_pos, 8.0f);
    else
        LitSphere(m_pos, HoverRadius(m_style));
    glPopAttrib();
}

bool QvAuxPoint::HitTest(int x, int y) { return NearInWindow(m_pRender, m_pos, x, y); }

// ---- Polyline ------------------------------------------------------------------------------

QvAuxPolyline::QvAuxPolyline() : QvAuxObject(false) {}

QvTypeCode QvAuxPolyline::GetType() const { return kQvTypeAuxPolyline; }

bool QvAuxPolyline::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxPolyline || QvAuxObject::IsKindOf(code);
}

void QvAuxPolyline::SetPoints(const std::vector<QvPoint>& points)
{
    m_points = points;
    m_marks.assign(points.size(), 0);
}

void QvAuxPolyline::SetMarks(const std::vector<int>& marks)
{
    m_marks.resize(m_points.size(), 0);
    for (std::size_t i = 0; i < marks.size() && i < m_marks.size(); ++i)
        m_marks[i] = marks[i];
}

bool QvAuxPolyline::RemovePoint(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_points.size())
        return false;
    m_points.erase(m_points.begin() + index);
    if (static_cast<std::size_t>(index) < m_marks.size())
        m_marks.erase(m_marks.begin() + index);
    return true;
}

void QvAuxPolyline::Draw(QvView* view)
{
    m_bArrays = false;
    DrawPasses(view);
}

void QvAuxPolyline::DrawArrays(QvView* view)
{
    m_bArrays = true;
    DrawPasses(view);
    m_bArrays = false;
}

void QvAuxPolyline::DrawPass(QvView*, std::int32_t pass)
{
    if (m_points.empty())
        return;
    glPushAttrib(kPassGroups);
    BeginPass(pass);
    const QvColor colour = PassColor(pass, true);
    QvAuxColor3(colour);
    if (m_type == 1 || m_type == 2)
    {
        glDisable(GL_LIGHTING);
        glLineWidth(static_cast<GLfloat>(IsSelectedState() ? 4.0 * m_lineWidth : m_lineWidth));
        if (m_bArrays)
        {
            std::vector<float> xyz;
            xyz.reserve(m_points.size() * 3);
            for (const QvPoint& p : m_points)
                for (int i = 0; i < 3; ++i)
                    xyz.push_back(static_cast<float>(p[i]));
            glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
            glBindBufferARB(GL_ARRAY_BUFFER, 0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, xyz.data());
            glDrawArrays(GL_LINE_STRIP, 0, static_cast<GLsizei>(m_points.size()));
            glPopClientAttrib();
        }
        else
        {
            glBegin(GL_LINE_STRIP);
            for (const QvPoint& p : m_points)
                glVertex3d(p[0], p[1], p[2]);
            glEnd();
        }
    }
    if (m_type == 0 || m_type == 2)
    {
        const struct
        {
            int mark;
            QvColor colour;
        } order[3] = {{2, QvColor(0, 255, 0)}, {3, QvColor(0, 255, 255)}, {1, colour}};
        for (const auto& o : order)
            for (std::size_t i = 0; i < m_points.size() && i < m_marks.size(); ++i)
                if (m_marks[i] == o.mark)
                {
                    QvAuxColor3(o.colour);
                    LitSphere(m_points[i], 0.2);
                }
    }
    glPopAttrib();
}

void QvAuxPolyline::DrawHover(QvView*)
{
    if (!IsShown() || m_points.empty())
        return;
    glPushAttrib(kPassGroups);
    glEnable(GL_DEPTH_TEST);
    QvAuxColor3(GetHoverColor());
    if (m_type == 1)
    {
        glDisable(GL_LIGHTING);
        glLineWidth(4.0f);
        glBegin(GL_LINE_STRIP);
        for (const QvPoint& p : m_points)
            glVertex3d(p[0], p[1], p[2]);
        glEnd();
    }
    else if (m_hoverIndex >= 0 && static_cast<std::size_t>(m_hoverIndex) < m_points.size() &&
             static_cast<std::size_t>(m_hoverIndex) < m_marks.size() && m_marks[m_hoverIndex] != 0)
    {
        LitSphere(m_points[static_cast<std::size_t>(m_hoverIndex)], 0.2);
    }
    glPopAttrib();
}

bool QvAuxPolyline::HitTest(int x, int y)
{
    m_hoverIndex = -1;
    const auto markOf = [&](std::size_t i) { return i < m_marks.size() ? m_marks[i] : 0; };
    for (int round = 0; round < 2; ++round)
        for (std::size_t i = 0; i < m_points.size(); ++i)
        {
            const int mark = markOf(i);
            const bool wanted = round == 0 ? (mark == 1 || mark == 2) : mark == 0;
            if (wanted && NearInWindow(m_pRender, m_points[i], x, y))
            {
                m_hoverIndex = static_cast<std::int32_t>(i);
                return true;
            }
        }
    return false;
}

bool QvAuxPolyline::IsExclusiveHit()
{
    return m_hoverIndex >= 0 && static_cast<std::size_t>(m_hoverIndex) < m_marks.size() &&
           m_marks[static_cast<std::size_t>(m_hoverIndex)] != 0;
}

// ---- Plane -------------------------------------------------------------------------------------

void QvAuxDrawPlaneQuad(const QvPoint c[4], const QvColor& clr, std::uint8_t alpha, std::int32_t gridMode)
{
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const auto line = [](const QvPoint& a, const QvPoint& b) {
        glVertex3d(a[0], a[1], a[2]);
        glVertex3d(b[0], b[1], b[2]);
    };
    if (gridMode == 0)
    {
        QvAuxColor4(clr, alpha);
        glDepthMask(GL_FALSE);
        glBegin(GL_QUADS);
        for (int i = 0; i < 4; ++i)
            glVertex3d(c[i][0], c[i][1], c[i][2]);
        glEnd();
        glDepthMask(GL_TRUE);
    }
    else
    {
        glEnable(GL_LINE_SMOOTH);
        const QvVector u = c[1] - c[0], v = c[3] - c[0];
        const double lu = u.Length(), lv = v.Length();
        const QvVector eu = Unit(u), ev = Unit(v);
        const QvPoint m0 = c[0] + u * 0.5;
        const QvPoint m1 = c[3] + u * 0.5; // middle of edge 2-3
        glLineWidth(1.0f);
        glColor4ub(150, 150, 150, 200);
        glBegin(GL_LINES);
        for (double t = 1.0; t < lu / 2.0; t += 1.0)
        {
            line(m0 + eu * t, m1 + eu * t);
            line(m0 - eu * t, m1 - eu * t);
        }
        for (double t = 1.0; t < lv; t += 1.0)
            line(c[0] + ev * t, c[1] + ev * t);
        glEnd();
        glLineWidth(2.0f);
        glColor4ub(0, 250, 0, 150);
        glBegin(GL_LINES);
        if (static_cast<int>(lu) > 9)
            for (double t = 5.0; t <= 5.0 * std::floor(lu / 10.0); t += 5.0)
            {
                line(m0 + eu * t, m1 + eu * t);
                line(m0 - eu * t, m1 - eu * t);
            }
        if (static_cast<int>(lv) > 4)
            for (double t = 5.0; t <= 5.0 * std::floor(lv / 5.0); t += 5.0)
                line(c[0] + ev * t, c[1] + ev * t);
        glEnd();
    }
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
    glColor3ub(0, 250, 0);
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < 4; ++i)
        glVertex3d(c[i][0], c[i][1], c[i][2]);
    glEnd();
    glPopAttrib();
}

QvAuxPlane::QvAuxPlane() : QvAuxObject(false) {}

QvTypeCode QvAuxPlane::GetType() const { return kQvTypeAuxPlane; }

bool QvAuxPlane::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxPlane || QvAuxObject::IsKindOf(code); }

void QvAuxPlane::SetPlane(const QvPoint& origin, const QvVector& u, const QvVector& v)
{
    m_corners[0] = origin;
    m_corners[1] = origin + u;
    m_corners[2] = origin + u + v;
    m_corners[3] = origin + v;
}

void QvAuxPlane::GetPlane(QvPoint& origin, QvVector& u, QvVector& v) const
{
    origin = m_corners[0];
    u = m_corners[1] - m_corners[0];
    v = m_corners[3] - m_corners[0];
}

QvVector QvAuxPlane::GetNormal() const
{
    return Unit((m_corners[1] - m_corners[0]).Cross(m_corners[2] - m_corners[0]));
}

void QvAuxPlane::FitToBox(const QvBBox& box, const QvPlane& plane)
{
    const double d = box.GetDiagonal();
    const QvPoint c = plane.ProjectPoint(box.GetCentre());
    const QvVector e1 = Unit(plane.GetPoint() - c);
    const QvVector e2 = Unit(plane.GetNormal().Cross(e1));
    SetPlane(c + e1 * (d / 2) + e2 * (d / 2), e1 * -d, e2 * -d);
}

void QvAuxPlane::Draw(QvView*)
{
    if (IsShown())
        QvAuxDrawPlaneQuad(m_corners, m_clr, m_alpha, m_gridMode);
}

void QvAuxPlane::DrawArrays(QvView* view)
{
    if (!IsShown())
        return;
    if (m_gridMode != 0)
    {
        Draw(view);
        return;
    }
    float xyz[12];
    const int order[4] = {0, 1, 3, 2};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 3; ++i)
            xyz[3 * k + i] = static_cast<float>(m_corners[order[k]][i]);
    float loop[12];
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 3; ++i)
            loop[3 * k + i] = static_cast<float>(m_corners[k][i]);
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    QvAuxColor4(m_clr, m_alpha);
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, xyz);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDepthMask(GL_TRUE);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(2.0f);
    glVertexPointer(3, GL_FLOAT, 0, loop);
    glDrawArrays(GL_LINE_LOOP, 0, 4);
    glPopClientAttrib();
    glPopAttrib();
}

// ---- Plane in window pixels --------------------------------------------------------------------

QvAuxPlane2D::QvAuxPlane2D() : QvAuxObject(false) {}

QvTypeCode QvAuxPlane2D::GetType() const { return kQvTypeAuxPlane2D; }

bool QvAuxPlane2D::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxPlane2D || QvAuxObject::IsKindOf(code);
}

void QvAuxPlane2D::SetRect(const QvGDIPoint& p1, const QvGDIPoint& p2)
{
    m_corners[0] = p1;
    m_corners[1] = QvGDIPoint(p2.x, p1.y);
    m_corners[2] = p2;
    m_corners[3] = QvGDIPoint(p1.x, p2.y);
}

void QvAuxPlane2D::GetRect(QvGDIPoint& p1, QvGDIPoint& p2) const
{
    p1 = m_corners[0];
    p2 = m_corners[2];
}

void QvAuxPlane2D::Draw(QvView* view)
{
    if (!IsShown())
        return;
    QvPoint world[4];
    for (int i = 0; i < 4; ++i)
        world[i] = m_pRender->UnProject(view, m_corners[i], 0.01);
    QvAuxDrawPlaneQuad(world, m_clr, m_alpha, m_gridMode);
}

bool QvAuxPlane2D::HitTest(int x, int y)
{
    m_hitPart = 0;
    if (!IsShown())
        return false;
    const QvPoint p = m_pRender->UnProjectInActiveView(QvGDIPoint(x, y), 0.0);
    const double tolerance = p.Distance(m_pRender->UnProjectInActiveView(QvGDIPoint(x, y + 4), 0.0));
    for (int k = 0; k < 4; ++k)
    {
        const QvPoint a = m_pRender->UnProjectInActiveView(m_corners[k], 0.0);
        const QvPoint b = m_pRender->UnProjectInActiveView(m_corners[(k + 1) % 4], 0.0);
        if (QvLineSeg(a, b).Distance(p) <= tolerance)
        {
            m_hitPart = k + 2;
            return true;
        }
    }
    if (m_corners[0].x < x && x < m_corners[2].x && m_corners[2].y < y && y < m_corners[0].y)
    {
        m_hitPart = 1;
        return true;
    }
    return false;
}
