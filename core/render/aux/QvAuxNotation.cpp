// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxNotation.h"

#include <algorithm>
#include <memory>

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvGDI.h"
#include "core/geometry/QvLine.h"
#include "core/model/QvImage.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/QvCacheStuff.h"

namespace
{

// Labels sit in a plane near the viewer, in front of the model.
constexpr double kNearDepth = 0.1;

QvVector Unit(const QvVector& v)
{
    QvVector u = v;
    u.Normalize();
    return u;
}

void DrawTempLine(QvView* view, const QvAuxNotation& n, const QvPoint& a, const QvPoint& b, double width)
{
    QvAuxLine line;
    line.m_bFrontMost = n.m_bFrontMost;
    line.m_clr = n.m_clr;
    line.m_lineWidth = width;
    line.SetPoints(a, b);
    line.Draw(view);
}

} // namespace

QvAuxNotation::QvAuxNotation() : QvAuxObject(false) {}

QvAuxNotation::~QvAuxNotation() { ClearTexts(); }

QvTypeCode QvAuxNotation::GetType() const { return kQvTypeAuxNotation; }

bool QvAuxNotation::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxNotation || QvAuxObject::IsKindOf(code);
}

void QvAuxNotation::ClearTexts()
{
    delete mTexture0;
    delete mTexture1;
    mTexture0 = nullptr;
    mTexture1 = nullptr;
}

QvColor QvAuxNotation::PrefixColor(std::int32_t type)
{
    if (type == 0)
        return QvColor(255, 0, 0);
    if (type == 1)
        return QvColor(192, 192, 192);
    return QvColor(0, 255, 0);
}

QvImage* QvAuxNotation::RenderTextImage(const std::string& text, const QvColor& clr)
{
    const std::string& path = QvCacheStuff::Instance().m_fontPath;
    if (path.empty())
        return nullptr;
    return QvRenderGlyphStrip(path, text, clr);
}

QvAuxText3D* QvAuxNotation::NewChild() const
{
    auto* child = new QvAuxText3D();
    child->m_bFrontMost = m_bFrontMost;
    child->m_clr = m_clr;
    return child;
}

void QvAuxNotation::SetText(const std::string& text)
{
    ClearTexts();
    if (text.empty())
        return;
    m_textSize = static_cast<std::int32_t>(text.size());
    if (text[0] != '*' || text.size() < 3)
    {
        mQvAuxTextureCount = 1;
        mtexts[0] = text;
        mtexts[1].clear();
        mTexture0 = NewChild();
        mTexture0->SetText(mtexts[0]);
        return;
    }
    mQvAuxTextureCount = 2;
    mtexts[0] = "*";
    mtexts[1] = text.substr(1);
    std::unique_ptr<QvImage> star(RenderTextImage(mtexts[0], PrefixColor(m_preFixesType)));
    if (!star || star->GetHeight() <= 0)
        return;
    mTexture0 = NewChild();
    mTexture0->SetImage(star.get());
    mTexture0->m_aspect = static_cast<double>(star->GetWidth()) / static_cast<double>(star->GetHeight());
    mTexture1 = NewChild();
    mTexture1->SetText(mtexts[1]);
}

void QvAuxNotation::UpdateBBox()
{
    QvPoint mn;
    QvPoint mx;
    for (int k = 0; k < 3; ++k)
    {
        mn[k] = std::min(m_originPt[k], m_arrPt[k]);
        mx[k] = std::max(m_originPt[k], m_arrPt[k]);
    }
    m_bbox = QvBBox(mn, mx);
}

void QvAuxNotation::Draw(QvView* view)
{
    if (!IsShown() || view == nullptr || m_pRender == nullptr)
        return;
    DrawLabel(view);
    if (!m_bFrontMost && m_bDrawHidden)
        DrawLabel(view);
}

void QvAuxNotation::DrawArrays(QvView* view) { Draw(view); }

void QvAuxNotation::DrawLabel(QvView* view)
{
    DrawTempLine(view, *this, m_originPt, m_arrPt, 1.5);
    switch (m_style)
    {
    case 1: DrawDiamond(view); break;
    case 2: DrawBox(view); break;
    case 3: DrawCallout(view); break;
    default: break;
    }
}

void QvAuxNotation::DrawDiamond(QvView* view)
{
    const QvGDIPoint W = m_pRender->Project(view, m_originPt);
    const QvPoint Q = m_pRender->UnProject(view, W, kNearDepth);
    const QvVector u = Unit(m_pRender->UnProject(view, QvGDIPoint(W.x, W.y - 10), kNearDepth) - Q);
    const QvVector r = Unit(m_pRender->UnProject(view, QvGDIPoint(W.x + 10, W.y), kNearDepth) - Q);
    const QvPoint c[4] = {Q - r * 3.0, Q + u * 3.0, Q + r * 3.0, Q - u * 3.0};
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_LINE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glColor4d(1.0, 1.0, 1.0, 0.5);
    glBegin(GL_POLYGON);
    for (const QvPoint& p : c)
        glVertex3d(p[0], p[1], p[2]);
    glEnd();
    glLineWidth(2.0f);
    glColor3d(0.0, 0.0, 0.0);
    glBegin(GL_LINE_LOOP);
    for (const QvPoint& p : c)
        glVertex3d(p[0], p[1], p[2]);
    glEnd();
    glPopAttrib();
    PlaceText(view, Q - r * 2.0 - u * 0.5, m_textHeight);
}

void QvAuxNotation::DrawBox(QvView* view)
{
    if (m_textSize == 0 || mTexture0 == nullptr)
        return;
    const QvGDIPoint W = m_pRender->Project(view, m_originPt);
    const QvPoint Q = m_pRender->UnProject(view, W, kNearDepth);
    const QvVector u = Unit(m_pRender->UnProject(view, QvGDIPoint(W.x, W.y - 10), kNearDepth) - Q);
    const QvVector r = Unit(m_pRender->UnProject(view, QvGDIPoint(W.x + 10, W.y), kNearDepth) - Q);
    const double o = m_textSize * 0.15 * 0.8666666666666667;
    QvPoint c[4];
    switch (m_index)
    {
    case 1: c[0] = Q, c[1] = Q + u * 0.195, c[2] = Q + r * o + u * 0.195, c[3] = Q + r * o; break;
    case 2: c[0] = Q - u * 0.195, c[1] = Q, c[2] = Q + r * o, c[3] = Q + r * o - u * 0.195; break;
    case 3:
    {
        const double k = 4.0 / 3.0 * mTexture0->m_aspect;
        c[0] = Q - r * k - u * 1.3, c[1] = Q - r * k, c[2] = Q, c[3] = Q - u * 1.3;
        break;
    }
    case 4: c[0] = Q - r * o, c[1] = Q - r * o + u * 0.195, c[2] = Q + u * 0.195, c[3] = Q; break;
    default: // centred, also for indices outside 0..4
        c[0] = Q - r * (o / 2) - u * 0.0975, c[1] = Q - r * (o / 2) + u * 0.0975;
        c[2] = Q + r * (o / 2) + u * 0.0975, c[3] = Q + r * (o / 2) - u * 0.0975;
        break;
    }
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_LINE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glLineWidth(1.0f);
    glColor3ub(255, 255, 0);
    glBegin(GL_POLYGON);
    for (const QvPoint& p : c)
        glVertex3d(p[0], p[1], p[2]);
    glEnd();
    glColor3ub(0, 0, 0);
    glBegin(GL_LINE_LOOP);
    for (const QvPoint& p : c)
        glVertex3d(p[0], p[1], p[2]);
    glEnd();
    glPopAttrib();
    PlaceText(view, c[1] + r * 0.4 - u * 0.2, 0.8);
}

void QvAuxNotation::DrawCallout(QvView* view)
{
    // Without text the leader still gets its head and underline, of no length.
    const double w =
        mTexture0 == nullptr ? 0.0 : m_textHeight * (mTexture0->m_aspect + (mTexture1 ? mTexture1->m_aspect : 0.0));
    const QvGDIPoint Wa = m_pRender->Project(view, m_arrPt);
    const QvGDIPoint Wo = m_pRender->Project(view, m_originPt);
    const QvPoint A = m_pRender->UnProject(view, Wa, kNearDepth);
    const QvPoint O = m_pRender->UnProject(view, Wo, kNearDepth);
    const QvPoint D = m_pRender->UnProject(view, QvGDIPoint(Wo.x + 10, Wo.y), kNearDepth);
    QvVector e = Unit(D - O);
    const QvVector f = Unit(A - O);
    bool reversed = false;
    if (m_index == 1 || (m_index != 3 && f.Dot(e) > 0.0))
        reversed = true;
    if (reversed)
        e = e * -1.0;
    const QvPoint E = O + e * w;
    const QvVector g = Unit(O - A);
    const QvLine ray = m_pRender->GetPickRay(view, Wa);
    const QvVector n = Unit(ray.GetDirection().Cross(g));
    const QvPoint H1 = A + (g * 0.8660254037844214 + n * 0.5000000000000299);
    const QvPoint H2 = A + (g * 0.8660254037844214 - n * 0.5000000000000299);
    DrawTempLine(view, *this, A, H1, 1.5);
    DrawTempLine(view, *this, A, H2, 1.5);
    DrawTempLine(view, *this, O, E, 1.0);
    if (mTexture0 == nullptr)
        return;
    const QvGDIPoint left = m_pRender->Project(view, reversed ? E : O);
    PlaceText(view, m_pRender->UnProject(view, QvGDIPoint(left.x, left.y + 5), kNearDepth), m_textHeight);
}

void QvAuxNotation::PlaceText(QvView* view, const QvPoint& P, double h)
{
    if (h == 0.0)
        h = m_textHeight;
    const QvGDIPoint Wp = m_pRender->Project(view, P);
    const QvPoint R = m_pRender->UnProject(view, Wp, kNearDepth);
    const QvVector s = Unit(m_pRender->UnProject(view, QvGDIPoint(Wp.x + 10, Wp.y), kNearDepth) - R);
    const QvVector t = Unit(m_pRender->UnProject(view, QvGDIPoint(Wp.x, Wp.y + 10), kNearDepth) - R);
    const bool yUp = QvRenderStatus::Instance()->m_bWindowYUp;
    auto place = [&](QvAuxText3D* child, QvPoint c[4]) {
        if (yUp)
        {
            std::swap(c[0], c[1]);
            std::swap(c[2], c[3]);
        }
        child->SetCorners(c);
        child->Draw(view);
    };
    double a = 0.0;
    if (mTexture0 != nullptr)
    {
        const double w0 = mTexture0->m_aspect * h;
        a = w0 + w0 / 3.0;
        QvPoint c[4] = {R, R + t * h, R + s * a + t * h, R + s * a};
        place(mTexture0, c);
    }
    if (mTexture1 != nullptr)
    {
        const double w1 = mTexture1->m_aspect * h;
        QvPoint c[4] = {R + s * a, R + s * a + t * h, R + s * (a + w1) + t * h, R + s * (a + w1)};
        place(mTexture1, c);
    }
}
