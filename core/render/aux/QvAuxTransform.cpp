// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxTransform.h"

#include <cmath>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/geometry/QvTextUtil.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxLine.h"

namespace
{
constexpr double kQuarter = 1.570796326795;
constexpr double kFull = 6.28318530718;
constexpr double kDegree = 0.017453292519944444;

QvVector Unit(const QvVector& v)
{
    QvVector n = v;
    n.Normalize();
    return n;
}
} // namespace

// ---- Ring ----------------------------------------------------------------------------------------------

QvAuxTorus::QvAuxTorus() : QvAuxObject(false) { m_bDrawHidden = true; }

QvTypeCode QvAuxTorus::GetType() const { return kQvTypeAuxTorus; }

bool QvAuxTorus::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxTorus || QvAuxObject::IsKindOf(code); }

void QvAuxTorus::SetArc(const QvPoint& centre, const QvVector& a, const QvVector& b, double angle, double radius)
{
    m_angle = angle;
    m_radius = radius;
    m_centre = centre;
    SetAxes(a, b);
}

void QvAuxTorus::SetAxes(const QvVector& a, const QvVector& b)
{
    m_dirU = Unit(a);
    m_dirV = Unit(a.Cross(b).Cross(a));
}

QvVector QvAuxTorus::GetNormal() const { return Unit(m_dirU.Cross(m_dirV)); }

void QvAuxTorus::Draw(QvView* view) { DrawPasses(view); }

void QvAuxTorus::DrawTube(double tube) const
{
    const QvVector n = GetNormal();
    const double m[16] = {m_dirU[0], m_dirU[1], m_dirU[2], 0, m_dirV[0], m_dirV[1], m_dirV[2], 0,
                          n[0],      n[1],      n[2],      0, 0,         0,         0,         1};
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslated(m_centre[0], m_centre[1], m_centre[2]);
    glMultMatrixd(m);
    const int segments = static_cast<int>(m_angle / kDegree + 0.5);
    const double R = m_radius;
    for (int i = 0; i < segments; ++i)
    {
        const double t[2] = {i * kDegree, (i + 1) * kDegree};
        glBegin(GL_TRIANGLE_STRIP);
        for (int j = 0; j <= 30; ++j)
        {
            const double p = j * 0.20943951023933333;
            for (double a : t)
            {
                glNormal3d(std::cos(a) * std::cos(p), std::sin(a) * std::cos(p), std::sin(p));
                glVertex3d((R + tube * std::cos(p)) * std::cos(a), (R + tube * std::cos(p)) * std::sin(a),
                           tube * std::sin(p));
            }
        }
        glEnd();
    }
    glPopMatrix();
}

void QvAuxTorus::DrawPass(QvView*, std::int32_t pass)
{
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    glEnable(GL_COLOR_MATERIAL);
    BeginPass(pass);
    QvAuxColor3(PassColor(pass, false));
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    DrawTube(m_bThick ? 0.3 : 0.1);
    glPopAttrib();
}

void QvAuxTorus::DrawHover(QvView*)
{
    glPushAttrib(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    QvAuxColor3(m_highlightClr);
    DrawTube(0.1);
    glPopAttrib();
}

bool QvAuxTorus::HitTest(int x, int y)
{
    const QvPoint p0 = m_pRender->UnProjectInActiveView(QvGDIPoint(x, y), 0.0);
    const QvPoint p1 = m_pRender->UnProjectInActiveView(QvGDIPoint(x, y), 1.0);
    if (p0 == p1)
        return false;
    const QvVector n = m_dirU.Cross(m_dirV);
    if (n.IsZero())
        return false;
    QvPoint hit;
    if (!QvPlane(m_centre, Unit(n)).IntersectLine(QvLine(p0, p1), hit))
        return false;
    const QvVector radial = Unit(hit - m_centre);
    const QvPoint q = m_centre + radial * m_radius;
    if (m_dirU.SignedAngle(q - m_centre, Unit(n)) > m_angle)
        return false;
    const QvGDIPoint w = m_pRender->ProjectInActiveView(q);
    return std::abs(w.x - x) + std::abs(w.y - y) < kQvAuxHitPixels;
}

// ---- Gizmo ---------------------------------------------------------------------------------------------

QvAuxTransform::QvAuxTransform(int mode, bool withOwner) : QvAuxObject(withOwner), m_mode(mode)
{
    const QvColor colours[3] = {QvColor(255, 0, 0), QvColor(0, 255, 0), QvColor(0, 0, 255)};
    for (int axis = 0; axis < 3; ++axis)
    {
        for (int k = 0; k < 2; ++k)
        {
            auto* arrow = new QvAuxArrow;
            m_pHandles[2 * axis + k] = arrow;
        }
        m_pHandles[kFirstRing + axis] = new QvAuxTorus;
        for (int i : {2 * axis, 2 * axis + 1, kFirstRing + axis})
        {
            m_pHandles[i]->m_clr = colours[axis];
            m_pHandles[i]->m_highlightClr = QvColor(255, 255, 0);
            m_pHandles[i]->SetVisible(false);
        }
    }
    m_readout.m_clr = QvColor(0, 0, 0);
    m_readout.m_bFrontMost = true;
    m_readout.m_style = 2;
    int shown[kHandles] = {0};
    if (m_mode == 0)
        for (int i : {0, 2, 4, 6, 7, 8})
            shown[i] = 1;
    else if (m_mode == 2)
        for (int i : {0, 2, 8})
            shown[i] = 1;
    else
        for (int& s : shown)
            s = 1;
    for (int i = 0; i < kHandles; ++i)
        m_pHandles[i]->SetVisible(shown[i] != 0);
}

QvAuxTransform::~QvAuxTransform()
{
    for (QvAuxObject*& handle : m_pHandles)
    {
        delete handle;
        handle = nullptr;
    }
}

QvTypeCode QvAuxTransform::GetType() const { return kQvTypeAuxTransform; }

bool QvAuxTransform::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxTransform || QvAuxObject::IsKindOf(code);
}

QvAuxArrow* QvAuxTransform::GetArrow(int i) const { return static_cast<QvAuxArrow*>(m_pHandles[i]); }

QvAuxTorus* QvAuxTransform::GetRing(int i) const { return static_cast<QvAuxTorus*>(m_pHandles[kFirstRing + i]); }

double QvAuxTransform::RingArc() const { return m_mode == 1 ? kFull : kQuarter; }

void QvAuxTransform::SetFrame(const QvFrame& frame)
{
    m_curFrame = frame;
    const QvPoint& c = frame.m_centre;
    const double s = m_handleScale;
    const QvVector axes[3] = {frame.m_dirX, frame.m_dirY, frame.m_dirZ};
    for (int k = 0; k < 3; ++k)
    {
        GetArrow(2 * k)->SetPoints(c, c + axes[k] * s);
        GetArrow(2 * k + 1)->SetPoints(c, c - axes[k] * s);
    }
    GetRing(0)->SetArc(c, axes[1], axes[2], RingArc(), 0.6 * s);
    GetRing(1)->SetArc(c, axes[0], axes[2], RingArc(), 0.6 * s);
    GetRing(2)->SetArc(c, axes[0], axes[1], RingArc(), 0.6 * s);
}

bool QvAuxTransform::Pickable() const
{
    if (!IsShown())
        return false;
    const QvView* view = QvViewManager::Instance()->GetActiveView();
    return view == nullptr || !view->GetDrawInfo()->IsAllHidden(m_pRelEntites);
}

int QvAuxTransform::FindHandle(int x, int y) const
{
    if (m_bTranslate)
        for (int i = 0; i < kFirstRing; ++i)
            if (m_pHandles[i]->HitTest(x, y))
                return i;
    for (int i = kFirstRing; i < kHandles; ++i)
        if (m_pHandles[i]->HitTest(x, y))
            return i;
    return -1;
}

bool QvAuxTransform::PickHandle(int x, int y)
{
    if (!Pickable())
        return false;
    m_dragHandle = -1;
    m_startFrame = m_curFrame;
    m_readout.SetText("");
    m_dragHandle = FindHandle(x, y);
    return m_dragHandle != -1;
}

bool QvAuxTransform::HitTest(int x, int y)
{
    m_hoverHandle = -1;
    if (!Pickable())
        return false;
    m_hoverHandle = FindHandle(x, y);
    return m_hoverHandle != -1;
}

QvMatrix QvAuxTransform::GetDragMatrix(const QvGDIPoint& from, const QvGDIPoint& to, bool damped)
{
    QvMatrix out(4, 4);
    out.SetIdentity();
    if (m_dragHandle < 0 || m_dragHandle >= kHandles)
        return out;
    const QvPoint c = m_curFrame.m_centre;
    if (m_dragHandle < kFirstRing)
    {
        const QvVector d = GetArrow(m_dragHandle)->GetDirection();
        auto onAxis = [&](const QvGDIPoint& p) {
            const QvPoint a = m_pRender->UnProjectInActiveView(p, 0.0);
            return c + d * (a - c).Dot(d);
        };
        QvVector v = onAxis(to) - onAxis(from);
        if (damped)
            v = v * 0.2;
        QvFrame moved = m_curFrame;
        moved.m_centre = c + v;
        SetFrame(moved);
        for (int i = 0; i < 3; ++i)
            out[i][3] = v[i];
    }
    else
    {
        const int axis = m_dragHandle - kFirstRing;
        const QvVector n = GetArrow(2 * axis)->GetDirection();
        const QvPlane plane(c, n);
        bool parallel = false;
        auto direction = [&](const QvGDIPoint& p) {
            QvPoint hit;
            const QvLine line(m_pRender->UnProjectInActiveView(p, 0.0), m_pRender->UnProjectInActiveView(p, 1.0));
            if (!plane.IntersectLine(line, hit))
                parallel = true;
            return Unit(hit - c);
        };
        const QvVector d1 = direction(from);
        const QvVector d2 = direction(to);
        // A pick line along the ring's plane has no point on it: no turn, not a jump.
        if (parallel)
        {
            UpdateReadout();
            return out;
        }
        double a = d1.Angle(d2);
        if (damped)
            a = 2.0 * a / 5.0;
        const QvMatrix R(d1.Cross(d2), a);
        QvFrame turned = m_curFrame;
        if (axis == 0)
            turned.SetAxes(turned.m_dirX, R * m_curFrame.m_dirY);
        else if (axis == 1)
            turned.SetAxes(R * m_curFrame.m_dirX, turned.m_dirY);
        else
            turned.SetAxes(R * m_curFrame.m_dirX, R * m_curFrame.m_dirY);
        SetFrame(turned);
        const QvPoint rc = R * c;
        for (int i = 0; i < 3; ++i)
        {
            for (int j = 0; j < 3; ++j)
                out[i][j] = R[i][j];
            out[i][3] = c[i] - rc[i];
        }
    }
    UpdateReadout();
    return out;
}

void QvAuxTransform::UpdateReadout()
{
    if (m_dragHandle < 0)
    {
        m_readout.SetText("");
        return;
    }
    const QvPoint& c = m_curFrame.m_centre;
    const QvGDIPoint w = m_pRender->ProjectInActiveView(c);
    const QvPoint o = m_pRender->UnProjectInActiveView(w, 0.1);
    const QvVector a = Unit(m_pRender->UnProjectInActiveView(QvGDIPoint(w.x + 1, w.y), 0.1) - o);
    const QvVector b = Unit(m_pRender->UnProjectInActiveView(QvGDIPoint(w.x, w.y - 1), 0.1) - o);
    QvGDIPoint lw = m_pRender->ProjectInActiveView(c + (a + b) * 10.0);
    std::int32_t width = 0, height = 0;
    QvViewManager::Instance()->GetSize(width, height);
    if (lw.x > width)
        lw.x = width;
    if (lw.y < 0)
        lw.y = 0;
    const QvPoint at = m_pRender->UnProjectInActiveView(lw, 0.1);
    m_readout.m_originPt = at;
    m_readout.m_arrPt = at;
    m_readout.m_index = 3;
    std::string text;
    if (m_dragHandle < kFirstRing)
    {
        const double distance = (c - m_startFrame.m_centre).Dot(GetArrow(m_dragHandle)->GetDirection());
        text = FormatTwoDecimals(distance) + "mm";
    }
    else
    {
        const int axis = m_dragHandle - kFirstRing;
        const QvVector& s = axis == 0 ? m_startFrame.m_dirY : axis == 1 ? m_startFrame.m_dirZ : m_startFrame.m_dirX;
        const QvVector& e = axis == 0 ? m_curFrame.m_dirY : axis == 1 ? m_curFrame.m_dirZ : m_curFrame.m_dirX;
        text = FormatDegrees(s.Angle(e) * 180.0 / 3.14159265359);
    }
    m_readout.SetText(text);
}

void QvAuxTransform::ShowReadout(bool show)
{
    if (!show)
        m_readout.SetVisible(false);
}

void QvAuxTransform::SetThick(bool thick)
{
    for (int i = 0; i < kFirstRing; ++i)
        GetArrow(i)->m_bThick = thick;
    for (int i = 0; i < 3; ++i)
        GetRing(i)->m_bThick = thick;
}

void QvAuxTransform::Draw(QvView* view)
{
    if (!IsShown())
        return;
    bool flags[kHandles];
    for (int i = 0; i < kHandles; ++i)
    {
        if (m_dragHandle < 0)
            flags[i] = true;
        else if (m_dragHandle >= kFirstRing)
            flags[i] = i == m_dragHandle;
        else
            flags[i] = i < kFirstRing && i / 2 == m_dragHandle / 2;
    }
    for (int i = 0; i < kHandles; ++i)
    {
        if (m_mode == 1)
            m_pHandles[i]->SetVisible(flags[i]);
        m_pHandles[i]->Draw(view);
    }
    m_readout.Draw(view);
}

void QvAuxTransform::DrawHover(QvView* view)
{
    if (!IsShown() || m_hoverHandle < 0 || m_hoverHandle >= kHandles)
        return;
    m_pHandles[m_hoverHandle]->DrawHover(view);
}
