// SPDX-License-Identifier: GPL-3.0-or-later
// Images on quadrilaterals as OpenGL textures: a quad of four world points (mode 0)
// or a rectangle in window pixels turned into world points each time it is drawn
// (modes 1 to 3); a screen text; and a world quad showing rendered text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvImage;

class QvAuxTexture : public QvAuxObject
{
public:
    explicit QvAuxTexture(bool withOwner = false);
    // Deletes the texture: needs the GL context current.
    ~QvAuxTexture() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Mode 3 is front-most and not hitable.
    void SetMode(std::int32_t mode);
    // Uploads the image at its own size (8- and 16-bit images as RGBA); replaces and
    // deletes the old texture and resets the shown part. Mode 2 fits into view 0 on
    // its first image. The caller keeps the image. False, nothing changed, for an
    // image without pixels.
    bool SetImage(const QvImage* image);
    void SetCorners(const QvPoint corners[4]);
    // Corners (p1.x, p2.y), p1, (p2.x, p1.y), p2.
    void SetScreenRect(const QvPoint& p1, const QvPoint& p2);
    // As large as the view allows (less margins), centred, 20 pixels down.
    void FitToView(const QvView* view);

    // Rectangle operations of the screen modes.
    void SetAngle(double angle);
    // Refused in mode 3 and for no shift.
    bool MoveScreenRect(int dx, int dy);
    bool DragScreenRect(const QvGDIPoint& from, const QvGDIPoint& to);
    // Refused in modes 0 and 3 and for factor <= 0; no shrinking below 100 pixels of
    // height, no growing above 3000.
    bool ScaleScreenRect(double factor);
    void CentreInView(const QvView* view);
    QvGDIPoint GetScreenCorner(int i) const;
    // The shown part by 0.1 per call about the mouse point, kept within the image.
    void ZoomTexture(bool zoomIn, int x, int y);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;
    bool HitTest(int x, int y) override;

    // The world corners of a screen-mode rectangle in a view (mode 3 placed per view).
    void PlaceInView(const QvView* view);

    std::int32_t m_mode = 0;
    std::int32_t m_textureId = -1;
    QvPoint m_corners[4];
    double m_aspect = 0.0;
    double m_imageHeight = 0.0;
    QvPoint m_screenRect[4];
    QvPoint m_lastScreenRect[4];
    double m_angle = 0.0;
    double m_texScale = 1.0;
    double m_texOffsetS = 0.0;
    double m_texOffsetT = 0.0;

protected:
    void DrawQuad(bool arrays) const;
};

class QvAuxText : public QvAuxTexture
{
public:
    explicit QvAuxText(bool withOwner = false);

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Renders the text in m_clr and shows it; without a rendered image (no font)
    // the previous text stays.
    void SetText(const std::string& text);
    // The rectangle from p to p + the text image's size.
    void SetPosition(const QvGDIPoint& p);

    std::int32_t m_textImageWidth = 0;
    std::int32_t m_textImageHeight = 0;
};

class QvAuxText3D : public QvAuxObject
{
public:
    QvAuxText3D();
    ~QvAuxText3D() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // As QvAuxTexture::SetImage; a replaced texture also resets the aspect to 0.
    bool SetImage(const QvImage* image);
    // Renders the text in m_clr; the aspect becomes the image's width / height. Without
    // a rendered image (no font) the previous text stays.
    void SetText(const std::string& text);
    void SetCorners(const QvPoint corners[4]);
    // origin, origin - size up, that + size right, origin + size right.
    void SetPlacement(const QvPoint& origin, const QvVector& right, const QvVector& up);
    // width x height RGBA pixels of m_clr with the source's (R + G + B) / 3 as alpha.
    std::vector<unsigned char> MakeAlphaImage(int width, int height, const unsigned char* rgba) const;

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;

    std::int32_t m_size = 15;
    std::int32_t m_textureId = -1;
    QvPoint m_corners[4];
    double m_aspect = 0.0;
};

// Uploads an image as a GL texture (rows from the top, unpack alignment 1 and
// restored): RGB for 24 bits, RGBA otherwise, other depths converted. 0 for an image
// without pixels.
std::uint32_t QvAuxUploadTexture(const QvImage& image);
// The textured quad through four corners with texture coordinates from (s0, t0) over k.
void QvAuxDrawTexturedQuad(std::uint32_t texture, const QvPoint corners[4], double s0, double t0, double k,
                           bool frontMost, bool arrays);
