// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxTexture.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/geometry/QvLine.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvImage.h"
#include "core/render/QvGL.h"
#include "core/render/QvGLTexture.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvCacheStuff.h"

namespace
{
void DeleteTexture(std::int32_t& id)
{
    if (id < 0)
        return;
    const GLuint name = static_cast<GLuint>(id);
    glDeleteTextures(1, &name);
    id = -1;
}

QvVector Unit(const QvVector& v)
{
    QvVector n = v;
    n.Normalize();
    return n;
}

// Neither strictly before the first point nor strictly beyond the second along axis.
bool Between(const QvVector& fromFirst, const QvVector& fromSecond, const QvVector& axis)
{
    return fromFirst.Dot(axis) * fromSecond.Dot(axis) <= 0.0;
}
} // namespace

std::uint32_t QvAuxUploadTexture(const QvImage& image)
{
    const int w = image.GetWidth(), h = image.GetHeight();
    const int bpp = image.GetBitsPerPixel() / 8 * 8;
    if (w <= 0 || h <= 0 || image.IsEmpty())
        return 0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<unsigned char> pixels;
    GLenum format = GL_RGBA;
    if (bpp == 24 || bpp == 32)
    {
        format = bpp == 24 ? GL_RGB : GL_RGBA;
        pixels.resize(count * static_cast<std::size_t>(bpp / 8));
        image.GetPixelData(pixels.data());
    }
    else
    {
        // Other depths hold fewer bytes than an upload of that size reads: each pixel's
        // colour goes out as RGBA, opaque.
        pixels.resize(count * 4);
        unsigned char* out = pixels.data();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x, out += 4)
            {
                const unsigned char* p = image.GetPixel(x, y);
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
                out[3] = 255;
            }
    }
    return QvCreateTexture(w, h, format == GL_RGBA, pixels.data());
}

void QvAuxDrawTexturedQuad(std::uint32_t texture, const QvPoint c[4], double s0, double t0, double k, bool frontMost,
                           bool arrays)
{
    glPushAttrib(GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT |
                 GL_TEXTURE_BIT);
    if (frontMost)
    {
        glDepthMask(GL_TRUE);
        glDisable(GL_DEPTH_TEST);
    }
    else
    {
        glDepthMask(GL_FALSE);
        glEnable(GL_DEPTH_TEST);
    }
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4ub(255, 255, 255, 255);
    const double st[4][2] = {{s0, t0}, {s0, t0 + k}, {s0 + k, t0 + k}, {s0 + k, t0}};
    if (arrays)
    {
        float xyz[12], uv[8];
        for (int i = 0; i < 4; ++i)
        {
            for (int j = 0; j < 3; ++j)
                xyz[3 * i + j] = static_cast<float>(c[i][j]);
            uv[2 * i] = static_cast<float>(st[i][0]);
            uv[2 * i + 1] = static_cast<float>(st[i][1]);
        }
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glBindBufferARB(GL_ARRAY_BUFFER, 0);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, xyz);
        glTexCoordPointer(2, GL_FLOAT, 0, uv);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glPopClientAttrib();
    }
    else
    {
        glBegin(GL_QUADS);
        for (int i = 0; i < 4; ++i)
        {
            glTexCoord2d(st[i][0], st[i][1]);
            glVertex3d(c[i][0], c[i][1], c[i][2]);
        }
        glEnd();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glPopAttrib();
}

// ---- Texture ------------------------------------------------------------------------------------

QvAuxTexture::QvAuxTexture(bool withOwner) : QvAuxObject(withOwner) { m_hitPriority = 0; }

QvAuxTexture::~QvAuxTexture() { DeleteTexture(m_textureId); }

QvTypeCode QvAuxTexture::GetType() const { return kQvTypeAuxTexture; }

bool QvAuxTexture::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxTexture || QvAuxObject::IsKindOf(code);
}

void QvAuxTexture::SetMode(std::int32_t mode)
{
    m_mode = mode;
    if (mode == 3)
    {
        m_bHitable = false;
        m_bFrontMost = true;
    }
}

bool QvAuxTexture::SetImage(const QvImage* image)
{
    if (image == nullptr || image->GetWidth() <= 0 || image->GetHeight() <= 0 || image->IsEmpty())
        return false;
    const bool had = m_textureId >= 0;
    if (had)
    {
        DeleteTexture(m_textureId);
        m_texOffsetS = 0.0;
        m_texOffsetT = 0.0;
        m_texScale = 1.0;
    }
    m_textureId = static_cast<std::int32_t>(QvAuxUploadTexture(*image));
    m_imageHeight = image->GetHeight();
    m_aspect = static_cast<double>(image->GetWidth()) / image->GetHeight();
    if (m_mode == 2 && !had)
        FitToView(QvViewManager::Instance()->GetView(0));
    return true;
}

void QvAuxTexture::SetCorners(const QvPoint corners[4]) { std::copy(corners, corners + 4, m_corners); }

void QvAuxTexture::SetScreenRect(const QvPoint& p1, const QvPoint& p2)
{
    m_screenRect[0] = QvPoint(p1[0], p2[1], 0.0);
    m_screenRect[1] = QvPoint(p1[0], p1[1], 0.0);
    m_screenRect[2] = QvPoint(p2[0], p1[1], 0.0);
    m_screenRect[3] = QvPoint(p2[0], p2[1], 0.0);
}

void QvAuxTexture::FitToView(const QvView* view)
{
    if (view == nullptr || m_aspect <= 0.0)
        return;
    const double vx = view->GetOrigin().x, vy = view->GetOrigin().y;
    const double vw = view->GetWidth(), vh = view->GetHeight();
    const double a = m_aspect, h = m_imageHeight;
    double e = 0.0, f = 0.0;
    if (h * a / vw > h / vh)
    {
        e = vw - 400.0;
        f = e / a;
    }
    else
    {
        f = vh - 50.0;
        e = a * f;
    }
    SetScreenRect(QvPoint((vw + e) / 2 - e + vx, (vh + f) / 2 - f + 20 + vy, 0.0),
                  QvPoint((vw + e) / 2 + vx, (vh + f) / 2 + 20 + vy, 0.0));
}

void QvAuxTexture::SetAngle(double angle)
{
    const double turn = angle - m_angle;
    if (!IsZero(turn))
    {
        const QvPoint c = (m_screenRect[0] + (m_screenRect[2] - m_screenRect[0]) * 0.5);
        const double cs = std::cos(turn), sn = std::sin(turn);
        for (QvPoint& p : m_screenRect)
        {
            const double x = p[0] - c[0], y = p[1] - c[1];
            p = QvPoint(c[0] + cs * x - sn * y, c[1] + sn * x + cs * y, p[2]);
        }
    }
    m_angle = angle;
}

bool QvAuxTexture::MoveScreenRect(int dx, int dy)
{
    if (m_mode == 3 || (dx == 0 && dy == 0))
        return false;
    for (QvPoint& p : m_screenRect)
        p = p + QvVector(dx, dy, 0.0);
    return true;
}

bool QvAuxTexture::DragScreenRect(const QvGDIPoint& from, const QvGDIPoint& to)
{
    return MoveScreenRect(to.x - from.x, to.y - from.y);
}

bool QvAuxTexture::ScaleScreenRect(double factor)
{
    if (m_mode == 0 || m_mode == 3 || factor <= 0.0)
        return false;
    const double height = m_screenRect[1].Distance(m_screenRect[0]);
    const double width = m_screenRect[2].Distance(m_screenRect[1]);
    if ((height < 100.0 && factor < 1.0) || (height > 3000.0 && factor > 1.0) || height <= 0.0 || width <= 0.0)
        return false;
    const double newHeight = height * factor;
    const double newWidth = m_aspect * newHeight;
    const QvPoint c = m_screenRect[0] + (m_screenRect[2] - m_screenRect[0]) * 0.5;
    const QvVector ex = Unit(m_screenRect[2] - m_screenRect[1]);
    const QvVector ey = Unit(m_screenRect[1] - m_screenRect[0]);
    for (QvPoint& p : m_screenRect)
    {
        const QvVector d = p - c;
        p = c + ex * (d.Dot(ex) * newWidth / width) + ey * (d.Dot(ey) * newHeight / height);
    }
    return true;
}

void QvAuxTexture::CentreInView(const QvView* view)
{
    if (view == nullptr)
        return;
    const QvPoint c = m_screenRect[0] + (m_screenRect[2] - m_screenRect[0]) * 0.5;
    const QvVector shift(view->GetOrigin().x + view->GetWidth() / 2.0 - c[0],
                         view->GetOrigin().y + view->GetHeight() / 2.0 - c[1], 0.0);
    for (QvPoint& p : m_screenRect)
        p = p + shift;
}

QvGDIPoint QvAuxTexture::GetScreenCorner(int i) const
{
    if (i < 0 || i > 3)
        return QvGDIPoint();
    return QvGDIPoint(static_cast<int>(m_screenRect[i][0]), static_cast<int>(m_screenRect[i][1]));
}

void QvAuxTexture::ZoomTexture(bool zoomIn, int x, int y)
{
    const double old = m_texScale;
    const double scale = std::max(0.1, old + (zoomIn ? -0.1 : 0.1));
    if (scale > 0.9)
    {
        m_texScale = 1.0;
        m_texOffsetS = 0.0;
        m_texOffsetT = 0.0;
        return;
    }
    const double width = m_screenRect[2].Distance(m_screenRect[1]);
    const double height = m_screenRect[1].Distance(m_screenRect[0]);
    const double fu = width > 0.0 ? std::clamp((x - m_screenRect[1][0]) / width, 0.0, 1.0) : 0.5;
    const double fv = height > 0.0 ? std::clamp((y - m_screenRect[1][1]) / height, 0.0, 1.0) : 0.5;
    // The image point under the mouse stays under it.
    m_texOffsetS = std::clamp(m_texOffsetS + fu * (old - scale), 0.0, 1.0 - scale);
    m_texOffsetT = std::clamp(m_texOffsetT + fv * (old - scale), 0.0, 1.0 - scale);
    m_texScale = scale;
}

void QvAuxTexture::PlaceInView(const QvView* view)
{
    if (view == nullptr || m_mode == 0)
        return;
    QvPoint rect[4];
    std::copy(m_screenRect, m_screenRect + 4, rect);
    if (m_mode == 3)
    {
        std::int32_t W = 0, H = 0;
        QvViewManager::Instance()->GetSize(W, H);
        for (QvPoint& p : rect)
        {
            if (p[0] < 0.0)
                p[0] += W;
            if (p[1] < 0.0)
                p[1] += H;
        }
        if (W > 0 && H > 0)
        {
            const QvPoint c0 = rect[0];
            const QvVector shift(view->GetWidth() * (c0[0] / W) + view->GetOrigin().x - c0[0],
                                 view->GetHeight() * (c0[1] / H) + view->GetOrigin().y - c0[1], 0.0);
            for (QvPoint& p : rect)
                p = p + shift;
        }
    }
    const double depth = m_bFrontMost ? 0.1 : 0.7;
    for (int i = 0; i < 4; ++i)
        m_corners[i] =
            m_pRender->UnProject(view, QvGDIPoint(static_cast<int>(rect[i][0]), static_cast<int>(rect[i][1])), depth);
}

void QvAuxTexture::DrawQuad(bool arrays) const
{
    QvAuxDrawTexturedQuad(static_cast<std::uint32_t>(std::max(0, m_textureId)), m_corners, m_texOffsetS,
                          m_texOffsetT, m_texScale, m_bFrontMost, arrays);
}

void QvAuxTexture::Draw(QvView* view)
{
    if (!IsShown())
        return;
    std::copy(m_screenRect, m_screenRect + 4, m_lastScreenRect);
    if (m_mode != 0)
        PlaceInView(view);
    DrawQuad(false);
}

void QvAuxTexture::DrawArrays(QvView* view)
{
    if (!IsShown())
        return;
    std::copy(m_screenRect, m_screenRect + 4, m_lastScreenRect);
    if (m_mode != 0)
        PlaceInView(view);
    DrawQuad(true);
}

bool QvAuxTexture::HitTest(int x, int y)
{
    if (!m_bHitable || QvRenderStatus::Instance()->m_pickedStencilKind != 0 || !IsShown() || m_textureId < 0)
        return false;
    if (m_mode == 1 || m_mode == 2)
    {
        const QvPoint p(x, y, 0.0);
        const QvPoint* c = m_screenRect;
        if (!Between(p - c[0], p - c[1], c[1] - c[0]) || !Between(p - c[0], p - c[3], c[2] - c[1]))
            return false;
    }
    const QvLine ray = m_pRender->GetPickRay(QvGDIPoint(x, y));
    const QvPlane plane(m_corners[0], m_corners[1], m_corners[2]);
    QvPoint P;
    if (!plane.IntersectLine(ray, P))
        return false;
    const QvPoint* c = m_corners;
    return Between(P - c[0], P - c[1], c[0] - c[1]) && Between(P - c[0], P - c[3], c[0] - c[3]);
}

// ---- Screen text -----------------------------------------------------------------------------------

QvAuxText::QvAuxText(bool withOwner) : QvAuxTexture(withOwner) { m_mode = 1; }

QvTypeCode QvAuxText::GetType() const { return kQvTypeAuxText; }

bool QvAuxText::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxText || QvAuxTexture::IsKindOf(code); }

void QvAuxText::SetText(const std::string& text)
{
    std::unique_ptr<QvImage> image(QvCacheStuff::Instance().RenderText(text, m_clr));
    if (!image)
        return;
    m_textImageWidth = image->GetWidth();
    m_textImageHeight = image->GetHeight();
    SetImage(image.get());
}

void QvAuxText::SetPosition(const QvGDIPoint& p)
{
    SetScreenRect(QvPoint(p.x, p.y, 0.0), QvPoint(p.x + m_textImageWidth, p.y + m_textImageHeight, 0.0));
}

// ---- Text in space ----------------------------------------------------------------------------------

QvAuxText3D::QvAuxText3D() : QvAuxObject(false) {}

QvAuxText3D::~QvAuxText3D() { DeleteTexture(m_textureId); }

QvTypeCode QvAuxText3D::GetType() const { return kQvTypeAuxText3D; }

bool QvAuxText3D::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxText3D || QvAuxObject::IsKindOf(code);
}

bool QvAuxText3D::SetImage(const QvImage* image)
{
    if (image == nullptr || image->GetWidth() <= 0 || image->GetHeight() <= 0 || image->IsEmpty())
        return false;
    if (m_textureId >= 0)
    {
        DeleteTexture(m_textureId);
        m_aspect = 0.0;
    }
    m_textureId = static_cast<std::int32_t>(QvAuxUploadTexture(*image));
    return true;
}

void QvAuxText3D::SetText(const std::string& text)
{
    std::unique_ptr<QvImage> image(QvCacheStuff::Instance().RenderText(text, m_clr));
    if (!image)
        return;
    // An empty text gives a 0 x 0 image: no texture, no width.
    if (!SetImage(image.get()))
        return;
    m_aspect = static_cast<double>(image->GetWidth()) / static_cast<double>(image->GetHeight());
}

void QvAuxText3D::SetCorners(const QvPoint corners[4]) { std::copy(corners, corners + 4, m_corners); }

void QvAuxText3D::SetPlacement(const QvPoint& origin, const QvVector& right, const QvVector& up)
{
    m_corners[0] = origin;
    m_corners[1] = origin - up * m_size;
    m_corners[2] = m_corners[1] + right * m_size;
    m_corners[3] = origin + right * m_size;
}

std::vector<unsigned char> QvAuxText3D::MakeAlphaImage(int width, int height, const unsigned char* rgba) const
{
    if (width <= 0 || height <= 0 || rgba == nullptr)
        return {};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<unsigned char> out(count * 4);
    for (std::size_t i = 0; i < count; ++i)
    {
        const unsigned char* s = rgba + 4 * i;
        out[4 * i] = static_cast<unsigned char>(m_clr.m_r & 0xFF);
        out[4 * i + 1] = static_cast<unsigned char>(m_clr.m_g & 0xFF);
        out[4 * i + 2] = static_cast<unsigned char>(m_clr.m_b & 0xFF);
        out[4 * i + 3] = static_cast<unsigned char>((s[0] + s[1] + s[2]) / 3);
    }
    return out;
}

void QvAuxText3D::Draw(QvView*)
{
    if (!IsShown() || m_textureId < 0)
        return;
    QvAuxDrawTexturedQuad(static_cast<std::uint32_t>(m_textureId), m_corners, 0.0, 0.0, 1.0, m_bFrontMost, false);
}

void QvAuxText3D::DrawArrays(QvView*)
{
    if (!IsShown())
        return;
    QvAuxDrawTexturedQuad(static_cast<std::uint32_t>(std::max(0, m_textureId)), m_corners, 0.0, 0.0, 1.0,
                          m_bFrontMost, true);
}
