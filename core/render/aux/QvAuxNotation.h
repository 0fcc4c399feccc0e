// SPDX-License-Identifier: GPL-3.0-or-later
// The label of a measurement: a leader line to the point it refers to, a shape
// (style 1 white diamond, 2 yellow box, 3 call-out with arrow head and underline)
// and its text on quads that face the viewer, rebuilt each frame from window
// offsets. A leading "*" is drawn as a coloured glyph of its own.
#pragma once

#include <cstdint>
#include <string>

#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvAuxText3D;
class QvImage;

class QvAuxNotation : public QvAuxObject
{
public:
    QvAuxNotation();
    ~QvAuxNotation() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // m_clr, m_bFrontMost and m_preFixesType are taken now. An empty text leaves no
    // children; so does a "*" text whose star cannot be rendered.
    void SetText(const std::string& text);
    void ClearTexts();
    // The star glyph strip with the font of the process-wide overlay cache; null
    // without a font.
    static QvImage* RenderTextImage(const std::string& text, const QvColor& clr);
    // Colour of the "*": 0 red, 1 grey, else green.
    static QvColor PrefixColor(std::int32_t type);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;
    bool HitTest(int, int) override { return false; }
    void UpdateBBox() override;

    QvPoint m_originPt;
    QvPoint m_arrPt;
    std::int32_t m_style = 1;
    std::int32_t m_index = 0;
    std::int32_t m_textSize = 0;
    std::int32_t m_preFixesType = -1;
    double m_textHeight = 1.2;
    bool m_bFlipHorizontal = false;
    std::int32_t mQvAuxTextureCount = 0;
    std::string mtexts[2];
    std::int32_t m_text_width[2] = {0, 0};
    QvAuxText3D* mTexture0 = nullptr;
    QvAuxText3D* mTexture1 = nullptr;

private:
    void DrawLabel(QvView* view);
    void DrawDiamond(QvView* view);
    void DrawBox(QvView* view);
    void DrawCallout(QvView* view);
    // h 0 means m_textHeight.
    void PlaceText(QvView* view, const QvPoint& anchor, double h);
    QvAuxText3D* NewChild() const;
};
