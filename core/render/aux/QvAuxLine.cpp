// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxLine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/geometry/QvLine.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"

namespace
{
constexpr GLbitfield kLineGroups = GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT |
                                   GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT;

void SmoothLines(bool blend)
{
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    if (blend)
    {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
}

double Manhattan(const QvPoint& a, int x, int y) { return std::fabs(a[0] - x) + std::fabs(a[1] - y); }

QvVector Normalized(const QvVector& v)
{
    QvVector n = v;
    n.Normalize();
    return n;
}
} // namespace

double QvAuxSegmentHitDistance(const QvGDIPoint& s, const QvGDIPoint& t, int x, int y, bool farEnd)
{
    const QvPoint S(s.x, s.y, 0.0), T(t.x, t.y, 0.0);
    if (S == T)
        return Manhattan(T, x, y);
    const QvPoint Q = QvLine(S, T - S).ClosestPoint(QvPoint(x, y, 0.0));
    if (Q == S || Q == T || (Q - S).Dot(Q - T) <= 0.0)
        return Manhattan(Q, x, y);
    const double ds = Manhattan(S, x, y), dt = Manhattan(T, x, y);
    return farEnd ? std::max(ds, dt) : std::min(ds, dt);
}

// ---- Line -----------------------------------------------------------------------------------

QvAuxLine::QvAuxLine() : QvAuxObject(false) {}

QvTypeCode QvAuxLine::GetType() const { return kQvTypeAuxLine; }

bool QvAuxLine::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxLine || QvAuxObject::IsKindOf(code); }

void QvAuxLine::SetPoints(const QvPoint& start, const QvPoint& stop)
{
    m_startPoint = start;
    m_stopPoint = stop;
}

double QvAuxLine::GetLength() const { return m_startPoint.Distance(m_stopPoint); }

QvVector QvAuxLine::GetDirection() const { return Normalized(m_stopPoint - m_startPoint); }

bool QvAuxLine::SetStipple(int factor, int pattern)
{
    if (m_type != 0)
        return false;
    m_stippleFactor = factor;
    m_stipplePattern = static_cast<std::int16_t>(pattern);
    return true;
}

void QvAuxLine::Draw(QvView* view)
{
    m_bArrays = false;
    DrawPasses(view);
}

void QvAuxLine::DrawArrays(QvView* view)
{
    m_bArrays = true;
    DrawPasses(view);
    m_bArrays = false;
}

void QvAuxLine::DrawPass(QvView*, std::int32_t pass)
{
    glPushAttrib(kLineGroups);
    if (m_bSmooth)
        SmoothLines(!m_bArrays);
    BeginPass(pass);
    QvAuxColor3(PassColor(pass, true));
    glDisable(GL_LIGHTING);
    glLineWidth(static_cast<GLfloat>(m_lineWidth));
    if (m_type == 0)
    {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(m_stippleFactor, static_cast<GLushort>(m_stipplePattern));
    }
    if (m_bArrays)
    {
        glDisable(GL_DEPTH_TEST);
        for (int i = 0; i < 3; ++i)
        {
            mLinesVertex[i] = static_cast<float>(m_startPoint[i]);
            mLinesVertex[3 + i] = static_cast<float>(m_stopPoint[i]);
        }
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glBindBufferARB(GL_ARRAY_BUFFER, 0);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, mLinesVertex);
        glDrawArrays(GL_LINES, 0, 2);
        glPopClientAttrib();
    }
    else
    {
        glBegin(GL_LINES);
        glVertex3d(m_startPoint[0], m_startPoint[1], m_startPoint[2]);
        glVertex3d(m_stopPoint[0], m_stopPoint[1], m_stopPoint[2]);
        glEnd();
    }
    glPopAttrib();
}

void QvAuxLine::DrawHover(QvView*)
{
    if (!IsShown())
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT |
                 GL_COLOR_BUFFER_BIT);
    if (m_bSmooth)
        SmoothLines(true);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(4.0f);
    glColor3ub(255, 0, 0);
    glBegin(GL_LINES);
    glVertex3d(m_startPoint[0], m_startPoint[1], m_startPoint[2]);
    glVertex3d(m_stopPoint[0], m_stopPoint[1], m_stopPoint[2]);
    glEnd();
    glPopAttrib();
}

bool QvAuxLine::HitTest(int x, int y)
{
    const QvGDIPoint s = m_pRender->ProjectInActiveView(m_startPoint);
    const QvGDIPoint t = m_pRender->ProjectInActiveView(m_stopPoint);
    return QvAuxSegmentHitDistance(s, t, x, y, false) < kQvAuxHitPixels;
}

// ---- Arrow ----------------------------------------------------------------------------------

QvAuxArrow::QvAuxArrow() : QvAuxObject(false) { m_bDrawHidden = true; }

QvTypeCode QvAuxArrow::GetType() const { return kQvTypeAuxArrow; }

bool QvAuxArrow::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxArrow || QvAuxObject::IsKindOf(code); }

void QvAuxArrow::SetPoints(const QvPoint& start, const QvPoint& stop)
{
    m_startPoint = start;
    m_stopPoint = stop;
}

double QvAuxArrow::GetLength() const { return m_startPoint.Distance(m_stopPoint); }

QvVector QvAuxArrow::GetDirection() const { return Normalized(m_stopPoint - m_startPoint); }

void QvAuxArrow::Draw(QvView* view) { DrawPasses(view); }

void QvAuxArrow::DrawSolid() const
{
    const QvVector d = Normalized(m_stopPoint - m_startPoint);
    const QvVector v(0.0, d[1], d[2]);
    double a = 0.0, b = 1.570796326795;
    if (!v.IsZero())
    {
        a = v.SignedAngle(QvVector(0, 0, 1), QvVector(1, 0, 0));
        b = v.Angle(d);
    }
    const double r = GetRadius();
    const double length = GetLength();
    // An arrow shorter than its head is all head, its tip still at the stop point.
    const double head = std::min(10.0 * r, length);
    const double shaft = length - head;

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(m_startPoint[0], m_startPoint[1], m_startPoint[2]);
    glRotated(a * 180.0 / -3.14159265359, 1.0, 0.0, 0.0);
    const double turn = b * 180.0 / 3.14159265359;
    glRotated(d[0] > 0.0 ? turn : -turn, 0.0, 1.0, 0.0);
    GLUquadric* quadric = gluNewQuadric();
    if (quadric != nullptr)
    {
        gluQuadricOrientation(quadric, GLU_OUTSIDE);
        gluQuadricDrawStyle(quadric, GLU_FILL);
        if (shaft > 0.0)
            gluCylinder(quadric, r, r, shaft, 32, 32);
        glTranslated(0.0, 0.0, shaft);
        if (head > 0.0)
            gluCylinder(quadric, 2.0 * r, 0.0, head, 32, 32);
        gluDeleteQuadric(quadric);
    }
    glPopMatrix();
}

void QvAuxArrow::DrawPass(QvView*, std::int32_t pass)
{
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
    glEnable(GL_COLOR_MATERIAL);
    BeginPass(pass);
    QvAuxColor3(PassColor(pass, false));
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    DrawSolid();
    glPopAttrib();
}

void QvAuxArrow::DrawHover(QvView*)
{
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT | GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    QvAuxColor3(m_highlightClr);
    DrawSolid();
    glPopAttrib();
}

bool QvAuxArrow::HitTest(int x, int y)
{
    if (!IsShown())
        return false;
    const QvGDIPoint t = m_pRender->ProjectInActiveView(m_stopPoint);
    QvPoint foot = m_startPoint;
    if (m_bHitHeadOnly)
        foot = m_stopPoint + Normalized(m_startPoint - m_stopPoint) * (10.0 * GetRadius());
    const QvGDIPoint s = m_pRender->ProjectInActiveView(foot);
    return QvAuxSegmentHitDistance(s, t, x, y, true) < kQvAuxHitPixels;
}
