// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvCacheStuff.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>

#include "core/base/QvLog.h"
#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvCircle.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvLine.h"
#include "core/model/QvImage.h"
#include "core/model/QvJaw.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/aux/QvAuxFace.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxPipeLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvGapInfo.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStep.h"

namespace
{

QvAuxRender* Aux() { return QvRenderStatus::Instance()->GetAuxRender(); }

void RemoveAndDelete(QvAuxObject* obj)
{
    if (obj == nullptr)
        return;
    // An object that was never registered (or already taken out) is still ours.
    const auto& set = Aux()->GetObjects();
    const auto& textures = Aux()->GetTextures();
    const bool registered =
        set.count(obj) != 0 || std::find(textures.begin(), textures.end(), obj) != textures.end();
    if (registered)
        Aux()->RemoveObject(obj, true);
    else
        delete obj;
}

std::string Format1(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    return buf;
}

int ToothFdi(const QvToothBase* tooth) { return tooth == nullptr ? 0 : tooth->GetPositionFdi(); }

// World point to the coordinates of an orthonormal frame, and back.
QvPoint ToLocal(const QvPoint& o, const QvVector& x, const QvVector& y, const QvVector& z, const QvPoint& p)
{
    const QvVector d = p - o;
    return QvPoint(d.Dot(x), d.Dot(y), d.Dot(z));
}
QvVector ToWorld(const QvVector& x, const QvVector& y, const QvVector& z, const QvVector& v)
{
    return x * v[0] + y * v[1] + z * v[2];
}

// ---- FreeType --------------------------------------------------------------------------------------

struct FtFace
{
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    explicit FtFace(const std::string& path)
    {
        if (path.empty() || FT_Init_FreeType(&lib) != 0)
        {
            lib = nullptr;
            return;
        }
        if (FT_New_Face(lib, path.c_str(), 0, &face) != 0)
        {
            face = nullptr;
            return;
        }
        FT_Set_Pixel_Sizes(face, 96, 96);
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    }
    ~FtFace()
    {
        if (face != nullptr)
            FT_Done_Face(face);
        if (lib != nullptr)
            FT_Done_FreeType(lib);
    }
    FtFace(const FtFace&) = delete;
    FtFace& operator=(const FtFace&) = delete;
    bool Ok() const { return face != nullptr; }
};

struct Glyph
{
    int rows = 0;
    int width = 0;
    int bx = 0;
    int by = 0;
    int va = 0;
    std::vector<unsigned char> coverage; // rows x width
};

bool LoadGlyph(FT_Face face, unsigned long code, Glyph& out)
{
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0)
        return false;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0)
        return false;
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0)
    {
        FT_Done_Glyph(glyph);
        return false;
    }
    const FT_Bitmap& bm = reinterpret_cast<FT_BitmapGlyph>(glyph)->bitmap;
    const FT_Glyph_Metrics& m = face->glyph->metrics;
    out.bx = static_cast<int>(m.horiBearingX / 64);
    out.by = static_cast<int>(m.horiBearingY / 64);
    out.va = static_cast<int>(m.vertAdvance / 64);
    out.rows = static_cast<int>(bm.rows);
    out.width = static_cast<int>(bm.width);
    out.coverage.assign(static_cast<std::size_t>(out.rows) * static_cast<std::size_t>(out.width), 0);
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.width; ++x)
            out.coverage[static_cast<std::size_t>(y * out.width + x)] = bm.buffer[y * bm.pitch + x];
    FT_Done_Glyph(glyph);
    return true;
}

// Code points of the UTF-8 bytes; malformed, overlong and surrogate sequences skipped.
std::vector<unsigned long> DecodeUtf8(const std::string& text)
{
    std::vector<unsigned long> out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n)
    {
        const unsigned char c = s[i];
        int len = 0;
        unsigned long cp = 0;
        if (c < 0x80)
        {
            out.push_back(c);
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07;
        else
        {
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k)
        {
            if ((s[i + static_cast<std::size_t>(k)] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (s[i + static_cast<std::size_t>(k)] & 0x3F);
        }
        static constexpr unsigned long kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        {
            ++i; // resynchronise on the next byte
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(len);
    }
    return out;
}

void PutPixel(QvImage& img, int x, int y, const QvColor& clr)
{
    // Clamped to the border, as GetPixel does.
    unsigned char* p = img.GetPixel(x, y);
    if (p == nullptr)
        return;
    p[0] = static_cast<unsigned char>(clr.m_r & 0xFF);
    p[1] = static_cast<unsigned char>(clr.m_g & 0xFF);
    p[2] = static_cast<unsigned char>(clr.m_b & 0xFF);
    p[3] = 255;
}

} // namespace

bool QvOverlayArchLess(int a, int b)
{
    const int qa = a / 10, qb = b / 10;
    const int ua = a % 10, ub = b % 10;
    const int fa = a < 50 ? qa : qa - 4;
    const int fb = b < 50 ? qb : qb - 4;
    if (fa == fb)
    {
        const bool outward = fa == 1 || fa == 4; // larger unit first
        if (ua != ub)
            return outward ? ua > ub : ua < ub;
        return outward ? qa < qb : qa > qb;
    }
    // Unknown quadrants after the lower arch, by number.
    auto rank = [](int q) { return q == 1 ? 0 : q == 2 ? 1 : q == 4 ? 2 : q == 3 ? 3 : 4; };
    if (rank(fa) != rank(fb))
        return rank(fa) < rank(fb);
    return fa < fb;
}

void QvCacheStuff::Discard(QvAuxObject* obj) { RemoveAndDelete(obj); }

// ---- Instance and clearing ---------------------------------------------------------------------------

QvCacheStuff& QvCacheStuff::Instance()
{
    static QvCacheStuff instance;
    return instance;
}

void QvCacheStuff::RemoveAll(std::vector<QvAuxObject*>& objs)
{
    std::vector<QvAuxObject*> taken;
    taken.swap(objs);
    for (QvAuxObject* obj : taken)
        RemoveAndDelete(obj);
}

void QvCacheStuff::DeleteLabels()
{
    for (auto& [tooth, label] : m_fdiLabels)
        delete label;
    m_fdiLabels.clear();
}

void QvCacheStuff::Clear()
{
    HideToothRefMarks();
    DeleteLabels();
    HideFaccCurves();
    HideMidPlane();
    HideBackPlane();
    HideBeautyPlane();
    // Kept by their hides for the next show: out of the render now, deleted below.
    for (QvAuxObject* kept : std::initializer_list<QvAuxObject*>{m_pImageTexture3, m_pImageTexture2, m_pCephPoint})
        if (kept != nullptr)
            Aux()->RemoveObject(kept, false);
    HideUpperOcclusalPlane();
    HideUpperArchForm();
    HideLowerOcclusalPlane();
    HideLowerArchForm();
    ShowGrid(false);
    HideOcclusion();
    HideIPR();
    delete m_pImageTexture3;
    delete m_pImageTexture2;
    delete m_pCephPoint;
    m_pImageTexture3 = nullptr;
    m_pImageTexture2 = nullptr;
    m_pCephPoint = nullptr;
    HideAdjacent();
    m_anchorGrids.clear();
    ClearScreenTexts();
    RemoveScreenText(m_pTestText);
    HideTitle();
    ShowWatermark(false);
    HideCaption();
    // The render's Clear deletes every registered object right after this one: leaving
    // these in place would leave the next show deleting them twice.
    ShowScreenRect(false);
    HideArchWidths();
    m_pScheme = nullptr;
}

void QvCacheStuff::ClearScreenTexts()
{
    std::vector<QvAuxObject*> taken;
    taken.swap(m_screenTexts);
    for (QvAuxObject* obj : taken)
    {
        if (obj != nullptr && obj->IsKindOf(kQvTypeAuxText))
        {
            auto* text = static_cast<QvAuxText*>(obj);
            RemoveScreenText(text);
        }
        else
        {
            RemoveAndDelete(obj);
        }
    }
}
void QvCacheStuff::HideOcclusion() { RemoveAll(m_occlusionObjs); }
void QvCacheStuff::HideAdjacent() { RemoveAll(m_adjacentObjs); }

void QvCacheStuff::HideIPR()
{
    std::vector<QvIprMark> taken;
    taken.swap(m_iprMarks);
    for (QvIprMark& mark : taken)
        RemoveAndDelete(reinterpret_cast<QvAuxObject*>(mark.m_pLabel));
}

// ---- Grid and anchors -------------------------------------------------------------------------------

void QvCacheStuff::ShowGrid(bool show)
{
    if (show)
    {
        CreateGrid();
        return;
    }
    if (m_pGrid != nullptr)
    {
        RemoveAndDelete(m_pGrid);
        m_pGrid = nullptr;
    }
}

void QvCacheStuff::CreateGrid()
{
    ShowGrid(false);
    m_pGrid = new QvAuxGrid();
    Aux()->AddObject(m_pGrid);
}

void QvCacheStuff::AddAnchorGrid(const QvTooth* tooth, const QvAttachAnchorGrid& grid)
{
    m_anchorGrids.emplace(tooth, grid);
}

QvPoint QvCacheStuff::GetAnchorPoint(const QvTooth* tooth, bool second) const
{
    const auto it = m_anchorGrids.find(tooth);
    if (it == m_anchorGrids.end())
        return QvPoint();
    const int index = second ? it->second.m_second : it->second.m_first;
    if (index < 0 || static_cast<std::size_t>(index) >= it->second.m_points.size())
        return QvPoint();
    return it->second.m_points[static_cast<std::size_t>(index)];
}

// ---- Text ------------------------------------------------------------------------------------------------

QvImage* QvCacheStuff::RenderText(const std::string& text, const QvColor& clr) const
{
    if (m_fontPath.empty())
        return nullptr;
    FtFace main(m_fontPath);
    if (!main.Ok())
        return nullptr;
    std::unique_ptr<FtFace> cjk;

    // Per character: spacer bx, glyph, spacer bx; each part R + 1 rows with a top offset.
    struct Part
    {
        int width;
        int height;
        int top;
        const Glyph* glyph;
    };
    std::vector<Glyph> glyphs;
    glyphs.reserve(text.size());
    for (unsigned long cp : DecodeUtf8(text))
    {
        Glyph g;
        if (!LoadGlyph(main.face, cp, g))
        {
            if (!cjk)
                cjk = std::make_unique<FtFace>(kQvCjkFontPath);
            if (!cjk->Ok() || !LoadGlyph(cjk->face, cp, g))
                continue;
        }
        glyphs.push_back(std::move(g));
    }
    std::vector<Part> parts;
    for (const Glyph& g : glyphs)
    {
        // A negative bearing would pull the glyph out of the image: no spacer then.
        const int spacer = std::max(0, g.bx);
        parts.push_back({spacer, g.rows + 1, g.rows + 1, nullptr});
        parts.push_back({g.width, g.rows + 1, g.by + 1, &g});
        parts.push_back({spacer, g.rows + 1, g.va, nullptr});
    }
    int width = 0;
    int height = 0;
    for (const Part& p : parts)
    {
        width += p.width;
        height = std::max(height, p.height);
    }
    auto* image = new QvImage(width, height, 32);
    int x = 0;
    for (const Part& p : parts)
    {
        if (p.glyph != nullptr && p.width > 0 && p.height > 0)
        {
            for (int r = 0; r < p.glyph->rows; ++r)
                for (int c = 0; c < p.glyph->width; ++c)
                    if (p.glyph->coverage[static_cast<std::size_t>(r * p.glyph->width + c)] != 0)
                        PutPixel(*image, x + c, height - p.top + r, clr);
        }
        x += p.width;
    }
    return image;
}

QvImage* QvRenderGlyphStrip(const std::string& fontPath, const std::string& text, const QvColor& clr)
{
    FtFace ft(fontPath);
    if (!ft.Ok())
        return nullptr;
    std::vector<Glyph> glyphs;
    for (unsigned char byte : text)
    {
        Glyph g;
        if (LoadGlyph(ft.face, byte, g))
            glyphs.push_back(std::move(g));
    }
    if (glyphs.empty())
        return nullptr;
    int width = 0;
    int height = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i)
    {
        width += glyphs[i].width + (i + 1 < glyphs.size() ? 10 : 0);
        height = std::max(height, glyphs[i].rows);
    }
    if (width <= 0 || height <= 0)
        return nullptr;
    auto* image = new QvImage(width, height, 32);
    int x = 0;
    for (std::size_t i = 0; i < glyphs.size(); ++i)
    {
        const Glyph& g = glyphs[i];
        for (int r = 0; r < g.rows; ++r)
            for (int c = 0; c < g.width; ++c)
                if (g.coverage[static_cast<std::size_t>(r * g.width + c)] != 0)
                    PutPixel(*image, x + c, height - g.rows + r, clr);
        x += g.width + 10;
    }
    return image;
}

// ---- Tooth labels -----------------------------------------------------------------------------------

void QvCacheStuff::ShowFDI(bool show)
{
    if (show)
        BuildFDILabels();
    else
        DeleteLabels();
}

void QvCacheStuff::BuildFDILabels()
{
    DeleteLabels();
    if (m_pModel == nullptr)
        return;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        const auto* tooth = dynamic_cast<const QvTooth*>(entity);
        if (tooth == nullptr)
            continue;
        const std::string text = LabelText(tooth->GetFdi(), tooth->GetState());
        const bool plain = text.find('(') == std::string::npos;
        std::unique_ptr<QvImage> image(RenderText(text, QvColor(0, 0, 255)));
        if (!image)
            continue;
        QvPoint corners[4];
        const QvToothRef* ref = tooth->GetToothRef();
        if (ref != nullptr && ref->HasFacc())
            PlaceLabelOnFacc(tooth, corners, plain);
        else
            PlaceLabelOnCrown(tooth, corners, plain);
        auto* label = new QvAuxTexture(false);
        label->SetMode(0);
        label->SetImage(image.get());
        label->SetCorners(corners);
        m_fdiLabels[tooth] = label;
    }
}

std::string QvCacheStuff::LabelText(int fdi, int state)
{
    std::string text = std::to_string(fdi);
    switch (state)
    {
    case 5: return text + "(E)";
    case 3: return text + "(P)";
    case 2: return text + "(I)";
    default: return text;
    }
}

namespace
{
int Folded(int n) { return n >= 50 ? n - 40 : n; }
} // namespace

int QvCacheStuff::AdjacentKey(int h, int m)
{
    const int hf = Folded(h);
    const int mf = Folded(m);
    return hf < mf ? m : (hf > mf ? h : std::max(h, m));
}

int QvCacheStuff::OcclusionKey(int a, int b)
{
    const int af = Folded(a);
    const int bf = Folded(b);
    return af < bf ? a : (bf < af ? b : std::min(a, b));
}

int QvCacheStuff::IprKey(int a, int b) { return AdjacentKey(a, b); }

void QvCacheStuff::CollectToothLabels(const QvTooth* tooth, std::vector<QvAuxObject*>& out) const
{
    const auto it = m_fdiLabels.find(tooth);
    if (it != m_fdiLabels.end())
        out.push_back(it->second);
    const auto curve = m_faccCurves.find(tooth);
    if (curve != m_faccCurves.end())
        out.push_back(curve->second);
}

void QvCacheStuff::PlaceLabelOnFacc(const QvTooth* tooth, QvPoint corners[4], bool plain) const
{
    const double s = plain ? 1.0 : 2.0;
    const QvToothRef* ref = tooth->GetToothRef();
    if (ref == nullptr || ref->GetFacc().m_pCurve == nullptr)
        return;
    QvFrame f;
    if (!ref->GetFacc().m_pCurve->GetFrame(f, 0.5))
        return;
    QvVector X = f.m_dirX;
    QvVector Y = f.m_dirY;
    QvVector Z = f.m_dirZ;
    if (!tooth->IsUpper())
    {
        X = X * -1.0;
        Y = Y * -1.0;
    }
    const int q = FdiQuadrant(tooth->GetFdi());
    QvVector T = tooth->GetFrame()->m_dirY;
    if (q == 1 || q == 3)
        T = T * -1.0;
    if (T.Dot(Z) < 0.0)
    {
        Z = Z * -1.0;
        X = X * -1.0;
    }
    double d = 0.0;
    for (const QvVertex& v : tooth->m_vertices)
        d = std::max(d, (v.m_point - f.m_centre).Dot(Z));
    const QvPoint K = f.m_centre + Z * d;
    corners[0] = K - X * s + Y * s;
    corners[1] = K - X * s - Y * s;
    corners[2] = K + X * s - Y * s;
    corners[3] = K + X * s + Y * s;
}

void QvCacheStuff::PlaceLabelOnCrown(const QvTooth* tooth, QvPoint corners[4], bool plain) const
{
    const double s = plain ? 1.0 : 2.0;
    QvPoint P;
    FindLabelAnchor(tooth, P);
    QvVector N = EstimateSurfaceNormal(tooth, P, 10);
    N.Normalize();
    const int q = FdiQuadrant(tooth->GetFdi());
    QvVector A0 = tooth->GetFrame()->m_dirX;
    if (q == 2 || q == 3)
        A0 = A0 * -1.0;
    auto frameAt = [&](QvVector& A, QvVector& B) {
        A = A0 - N * A0.Dot(N);
        A.Normalize();
        B = A.Cross(N);
        B.Normalize();
    };
    auto fill = [&](const QvPoint& c, const QvVector& A, const QvVector& B, QvPoint out[4]) {
        out[0] = c - A * s - B * s;
        out[1] = c - A * s + B * s;
        out[2] = c + A * s + B * s;
        out[3] = c + A * s - B * s;
    };
    QvVector A;
    QvVector B;
    frameAt(A, B);
    QvPoint first[4];
    fill(P, A, B, first);
    // Inside test in the plane's own coordinates.
    QvPoint quad[4];
    for (int i = 0; i < 4; ++i)
        quad[i] = ToLocal(P, A, B, N, first[i]);
    double d = 0.0;
    for (const QvVertex& v : tooth->m_vertices)
    {
        const QvPoint local = ToLocal(P, A, B, N, v.m_point);
        if (PointInQuadXY(local, quad))
            d = std::max(d, local[2]);
    }
    const QvPoint P2 = P + N * d;
    frameAt(A, B);
    fill(P2, A, B, corners);
}

void QvCacheStuff::FindLabelAnchor(const QvTooth* tooth, QvPoint& anchor) const
{
    const QvFrame* tf = tooth->GetFrame();
    const auto& verts = tooth->m_vertices;
    auto pos = [&](int i) { return verts[static_cast<std::size_t>(i)].m_point; };
    std::vector<int> crown;
    QvPoint sum;
    for (const QvFace& f : tooth->m_faces)
    {
        if (f.m_tag == kQvFaceTagVirtualRoot)
            continue;
        crown.push_back(f.m_index);
        for (int k = 0; k < 3; ++k)
            sum += pos(f.m_vertices[k]);
    }
    anchor = tf->m_centre;
    if (crown.empty())
        return;
    const QvPoint G = sum / (3.0 * static_cast<double>(crown.size()));
    QvVector X = tf->m_dirX;
    QvVector Y = tf->m_dirY;
    X.Normalize();
    Y.Normalize();
    QvVector Z = X.Cross(Y);
    Z.Normalize();
    const int q = FdiQuadrant(tooth->GetFdi());
    const bool lowSide = (q == 1 || q == 3);
    std::vector<int> kept;
    std::set<int> keptVerts;
    for (int fi : crown)
    {
        const QvFace& f = tooth->m_faces[static_cast<std::size_t>(fi)];
        const QvPoint c = (pos(f.m_vertices[0]) + (pos(f.m_vertices[1]) - QvPoint()) +
                           (pos(f.m_vertices[2]) - QvPoint())) / 3.0;
        const double y = ToLocal(G, X, Y, Z, c)[1];
        if (lowSide ? y < 0.0 : y > 0.0)
        {
            kept.push_back(fi);
            for (int k = 0; k < 3; ++k)
                keptVerts.insert(f.m_vertices[k]);
        }
    }
    QvPoint mn;
    QvPoint mx;
    bool first = true;
    for (int v : keptVerts)
    {
        const QvPoint l = ToLocal(G, X, Y, Z, pos(v));
        for (int k = 0; k < 3; ++k)
        {
            mn[k] = first ? l[k] : std::min(mn[k], l[k]);
            mx[k] = first ? l[k] : std::max(mx[k], l[k]);
        }
        first = false;
    }
    const QvPoint startLocal(mn[0] + (mx[0] - mn[0]) / 2.0, lowSide ? mn[1] : mx[1], mn[2] + (mx[2] - mn[2]) / 2.0);
    const QvVector dirLocal(0.0, lowSide ? 1.0 : -1.0, 0.0);
    const QvPoint start = G + ToWorld(X, Y, Z, startLocal - QvPoint());
    const QvLine line(start, ToWorld(X, Y, Z, dirLocal));
    std::vector<QvPoint> hits;
    IntersectLineWithFaces(line, tooth, kept, hits);
    if (!hits.empty())
        anchor = hits.front();
}

void QvCacheStuff::IntersectLineWithFaces(const QvLine& line, const QvTooth* tooth, const std::vector<int>& faces,
                                          std::vector<QvPoint>& out)
{
    std::map<double, QvPoint> byT;
    for (int fi : faces)
    {
        const QvFace& f = tooth->m_faces[static_cast<std::size_t>(fi)];
        QvPoint hit;
        double t = 0.0;
        if (IntersectLineTriangle(line, tooth->m_vertices[static_cast<std::size_t>(f.m_vertices[0])].m_point,
                                  tooth->m_vertices[static_cast<std::size_t>(f.m_vertices[1])].m_point,
                                  tooth->m_vertices[static_cast<std::size_t>(f.m_vertices[2])].m_point, hit, t))
            byT.emplace(t, hit);
    }
    for (const auto& [t, p] : byT)
        out.push_back(p);
}

bool QvCacheStuff::IntersectLineTriangle(const QvLine& line, const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                         QvPoint& hit, double& t)
{
    const QvPoint& origin = line.GetPoint();
    const QvVector& dir = line.GetDirection();
    const QvVector e1 = b - a;
    const QvVector e2 = c - a;
    const QvVector p = dir.Cross(e2);
    double det = e1.Dot(p);
    QvVector tv;
    if (det > 0.0)
        tv = origin - a;
    else
    {
        tv = a - origin;
        det = -det;
    }
    if (det < static_cast<double>(1e-4f))
        return false;
    const double u = tv.Dot(p);
    if (u < 0.0 || u > det)
        return false;
    const QvVector q = tv.Cross(e1);
    const double v = dir.Dot(q);
    if (v < 0.0 || u + v > det)
        return false;
    t = e2.Dot(q) / det;
    hit = origin + dir * t;
    return true;
}

QvVector QvCacheStuff::EstimateSurfaceNormal(const QvTooth* tooth, const QvPoint& p, int rings) const
{
    int nearest = -1;
    double best = 1e10;
    for (const QvVertex& v : tooth->m_vertices)
    {
        const double d = v.m_point.Distance(p);
        if (d < best)
        {
            best = d;
            nearest = v.m_index;
        }
    }
    QvVector sum;
    if (nearest < 0)
        return QvVector(0.0, 0.0, 1.0);
    std::set<int> faces;
    std::vector<int> frontier{nearest};
    for (int r = 0; r < rings; ++r)
    {
        std::vector<int> next;
        for (int v : frontier)
        {
            std::vector<int> around;
            tooth->GetNeighborVertices(v, around);
            next.insert(next.end(), around.begin(), around.end());
            std::vector<int> vf;
            tooth->GetVertexFaces(v, vf, false);
            faces.insert(vf.begin(), vf.end());
        }
        std::sort(next.begin(), next.end());
        next.erase(std::unique(next.begin(), next.end()), next.end());
        frontier.swap(next);
    }
    for (int f : faces)
        sum = sum + tooth->m_faces[static_cast<std::size_t>(f)].m_normal;
    sum.Normalize();
    return sum;
}

bool QvCacheStuff::PointInQuadXY(const QvPoint& p, const QvPoint corners[4])
{
    int count = 0;
    for (int i = 1; i <= 4; ++i)
    {
        const QvPoint& a = corners[i - 1];
        const QvPoint& b = corners[i % 4];
        if (a[1] == b[1])
            continue;
        const double lo = std::min(a[1], b[1]);
        const double hi = std::max(a[1], b[1]);
        if (lo > p[1] || p[1] > hi)
            continue;
        const double x = (p[1] - a[1]) * (b[0] - a[0]) / (b[1] - a[1]) + a[0];
        if (x > p[0])
            ++count;
    }
    return (count % 2) == 1;
}

// ---- Arch label layout ------------------------------------------------------------------------------

void QvCacheStuff::LayoutBothArches(const std::map<int, QvArchLabel, QvFdiArchOrder>& byKey,
                                    std::vector<QvArchLabel>& all, std::vector<QvPoint>& positions) const
{
    std::vector<QvArchLabel> upper;
    std::vector<QvArchLabel> lower;
    for (const auto& [key, l] : byKey)
    {
        const int q = FdiQuadrant(key);
        (q == 1 || q == 2 ? upper : lower).push_back(l);
    }
    for (const auto* list : {&upper, &lower})
    {
        LayoutArchLabels(*list, positions);
        all.insert(all.end(), list->begin(), list->end());
    }
}

void QvCacheStuff::LayoutArchLabels(const std::vector<QvArchLabel>& labels, std::vector<QvPoint>& out) const
{
    if (labels.empty())
        return;
    QvPoint O;
    QvVector X(1.0, 0.0, 0.0);
    QvVector Y(0.0, 1.0, 0.0);
    if (m_pModel != nullptr)
    {
        O = m_pModel->m_bbox.m_minPoint + (m_pModel->m_bbox.m_maxPoint - m_pModel->m_bbox.m_minPoint) * 0.5;
        const QvSchemeMgr* mgr = QvGetSchemeMgr(*m_pModel);
        const QvScheme* cur = mgr != nullptr ? mgr->GetCurScheme() : nullptr;
        if (cur != nullptr && cur->m_pOcclusalPlane1 != nullptr)
        {
            X = cur->m_pOcclusalPlane1->m_frame.m_dirX;
            Y = cur->m_pOcclusalPlane1->m_frame.m_dirY;
        }
        else if (const QvJaw* upper = m_pModel->GetJaw(true))
        {
            X = upper->GetFrame()->m_dirX;
            Y = upper->GetFrame()->m_dirY * -1.0;
        }
        // Neither: the world frame about the box centre.
    }
    X.Normalize();
    QvVector Z = X.Cross(Y);
    Z.Normalize();
    Y = Z.Cross(X);
    std::vector<QvPoint> local;
    local.reserve(labels.size());
    for (const QvArchLabel& l : labels)
    {
        QvPoint p = ToLocal(O, X, Y, Z, l.m_point);
        p[2] = 0.0;
        local.push_back(p);
    }
    QvPoint K;
    if (local.size() >= 3)
    {
        std::unique_ptr<QvCircle> circle(QvCircle::FitPoints(local));
        if (circle)
            K = QvPoint(circle->m_centre[0], circle->m_centre[1], 0.0);
    }
    const int f1 = labels.front().m_fdi;
    const int f2 = labels.back().m_fdi;
    const int q1 = FdiQuadrant(f1);
    const int q2 = FdiQuadrant(f2);
    const int u1 = f1 % 10;
    const int u2 = f2 % 10;
    const int span = q1 == q2 ? std::abs(u1 - u2) + 1 : u1 + u2;
    QvVector va = local.front() - K;
    QvVector vb = local.back() - K;
    va.Normalize();
    vb.Normalize();
    const double total = va.SignedAngle(vb, QvVector(0.0, 0.0, -1.0));
    // One position (span 1) leaves no room to fan: every label straight out.
    double step = (IsZero(total) || span <= 1) ? 0.0 : total / (span - 1);
    step = -step;
    QvVector W = QvVector(0.0, 0.0, 1.0).Cross(va);
    W.Normalize();
    for (std::size_t i = 0; i < labels.size(); ++i)
    {
        const int f = labels[i].m_fdi;
        const int u = f % 10;
        const int k = FdiQuadrant(f) == q1 ? std::abs(u - u1) : u + u1 - 1;
        const double angle = k * step;
        QvVector dir = va * std::cos(angle) + W * std::sin(angle);
        dir.Normalize();
        const QvVector D = ToWorld(X, Y, Z, dir);
        out.push_back(labels[i].m_point + D * 10.0);
    }
}

// ---- Contact maps -------------------------------------------------------------------------------------

namespace
{
int Channel(double v) { return std::clamp(static_cast<int>(v * 255.0), 0, 255); }
} // namespace

QvColor QvCacheStuff::AdjacentColor(double f)
{
    if (IsZero(f))
        return QvColor(0, 0, 255);
    if (f < 0.0)
        return QvColor(0, 255, 0);
    if (f <= 0.5)
        return QvColor(0, Channel(2.0 * f), Channel(1.0 - 2.0 * f));
    if (f < 1.0)
        return QvColor(Channel(2.0 * f - 1.0), Channel(2.0 - 2.0 * f), 0);
    return QvColor(255, 0, 0);
}

QvColor QvCacheStuff::OcclusionColor(double d)
{
    static const QvColor green(0, 255, 0);
    static const QvColor blue(0, 0, 255);
    static const QvColor red(255, 0, 0);
    auto blend = [](const QvColor& a, const QvColor& b, double t) {
        auto ch = [t](int x, int y) { return x + static_cast<int>(static_cast<double>(y - x) * t); };
        return QvColor(ch(a.m_r, b.m_r), ch(a.m_g, b.m_g), ch(a.m_b, b.m_b));
    };
    // Below zero (interpenetration) stays green rather than leaving 0..255.
    if (d <= 0.0)
        return green;
    if (d <= 0.5)
        return blend(green, blue, 2.0 * d);
    if (d < 1.0)
        return blend(blue, red, 2.0 * (d - 0.5));
    return red;
}

void QvCacheStuff::ShowAdjacent(const std::vector<QvGapInfo*>& gaps)
{
    HideAdjacent();
    for (const QvGapInfo* gap : gaps)
    {
        if (gap == nullptr || gap->GetTooth(0) == nullptr || gap->GetTooth(1) == nullptr)
            continue;
        if (gap->GetTooth(0)->IsUpper() != gap->GetTooth(1)->IsUpper())
        {
            BuildContactFaces(gap, 0);
            BuildContactFaces(gap, 1);
        }
    }
    BuildContactLabels(gaps);
}

void QvCacheStuff::BuildContactFaces(const QvGapInfo* gap, int side)
{
    QvToothBase* tooth = gap->GetTooth(side);
    if (tooth == nullptr || (tooth->m_state & 1U) == 0)
        return;
    auto* face = new QvAuxFace(tooth);
    for (const QvFace* f : gap->GetContactFaces(side))
        face->m_faces.push_back(f->m_index);
    for (const auto& [vertex, value] : gap->GetContactMap(side))
    {
        face->m_pAssView = m_pView;
        face->SetVertexColor(vertex->m_index, AdjacentColor(value));
    }
    m_adjacentObjs.push_back(face);
    Aux()->AddObject(face);
}

void QvCacheStuff::BuildContactLabels(const std::vector<QvGapInfo*>& gaps)
{
    if (gaps.empty())
        return;
    std::map<int, QvArchLabel, QvFdiArchOrder> labels;
    std::map<int, QvToothBase*> teeth;
    for (const QvGapInfo* gap : gaps)
    {
        if (gap == nullptr)
            continue;
        const int h = ToothFdi(gap->GetTooth(0));
        const int m = ToothFdi(gap->GetTooth(1));
        const int key = AdjacentKey(h, m);
        QvArchLabel& l = labels[key];
        l.m_point = gap->m_point;
        l.m_value = gap->m_dDistance;
        l.m_fdi = key;
        l.m_kind = gap->m_nKind == 1 ? 1 : 0;
        teeth[h] = gap->GetTooth(0);
        teeth[m] = gap->GetTooth(1);
    }
    std::vector<QvArchLabel> all;
    std::vector<QvPoint> positions;
    LayoutBothArches(labels, all, positions);
    for (std::size_t i = 0; i < all.size() && i < positions.size(); ++i)
    {
        const QvArchLabel& l = all[i];
        auto* label = new QvAuxNotation();
        label->m_style = 3;
        label->m_clr = l.m_kind == 1 ? QvColor(255, 255, 0) : QvColor(0, 255, 0);
        label->m_bFrontMost = true;
        label->SetText(Format1(l.m_value));
        const int q = FdiQuadrant(l.m_fdi);
        label->m_bFlipHorizontal = (q == 1 || q == 4);
        label->m_originPt = positions[i];
        label->m_arrPt = l.m_point;
        label->m_pAssView = m_pView;
        const auto it = teeth.find(l.m_fdi);
        if (it != teeth.end() && it->second != nullptr)
            label->m_pRelEntites.insert(it->second);
        m_adjacentObjs.push_back(label);
        Aux()->AddObject(label);
    }
}

void QvCacheStuff::ShowOcclusion(const std::vector<QvGapInfo*>& gaps)
{
    HideOcclusion();
    for (const QvGapInfo* gap : gaps)
    {
        if (gap == nullptr || gap->GetTooth(0) == nullptr || gap->GetTooth(1) == nullptr)
            continue;
        if (gap->GetTooth(0)->IsUpper() != gap->GetTooth(1)->IsUpper())
        {
            BuildContactFace(gap, 0);
            BuildContactFace(gap, 1);
        }
    }
    BuildOcclusionLabels(gaps);
    for (QvAuxObject* obj : m_occlusionObjs)
    {
        obj->m_pAssView = m_pView;
        auto* face = dynamic_cast<QvAuxFace*>(obj);
        if (face != nullptr && face->m_pMesh != nullptr)
            face->m_pRelEntites.insert(face->m_pMesh);
    }
}

void QvCacheStuff::BuildContactFace(const QvGapInfo* gap, int side)
{
    auto* face = new QvAuxFace(gap->GetTooth(side));
    for (const QvFace* f : gap->GetContactFaces(side))
        face->m_faces.push_back(f->m_index);
    face->m_pAssView = m_pView;
    for (const auto& [vertex, d] : gap->GetContactMap(side))
        face->SetVertexColor(vertex->m_index, OcclusionColor(d));
    m_occlusionObjs.push_back(face);
    Aux()->AddObject(face);
}

void QvCacheStuff::GetOcclusionAnchor(const QvGapInfo* gap, QvPoint& contact, int& key)
{
    contact = gap->m_point;
    key = OcclusionKey(ToothFdi(gap->GetTooth(0)), ToothFdi(gap->GetTooth(1)));
}

void QvCacheStuff::BuildOcclusionLabels(const std::vector<QvGapInfo*>& gaps)
{
    if (gaps.empty())
        return;
    // Per key tooth its records by distance, largest first, one per distance.
    struct Larger
    {
        bool operator()(double a, double b) const { return a > b; }
    };
    std::map<int, std::map<double, QvArchLabel, Larger>, QvFdiArchOrder> groups;
    for (const QvGapInfo* gap : gaps)
    {
        if (gap == nullptr)
            continue;
        QvArchLabel l;
        GetOcclusionAnchor(gap, l.m_point, l.m_fdi);
        l.m_value = gap->m_dDistance;
        groups[l.m_fdi].emplace(l.m_value, l);
    }
    std::vector<QvArchLabel> list;
    for (const auto& [key, group] : groups)
        list.push_back(group.begin()->second);
    std::vector<QvPoint> positions;
    LayoutArchLabels(list, positions);
    for (std::size_t i = 0; i < list.size() && i < positions.size(); ++i)
    {
        auto* label = new QvAuxNotation();
        label->m_style = 3;
        label->m_clr = QvColor(255, 0, 255);
        label->m_bFrontMost = true;
        label->SetText(Format1(list[i].m_value));
        label->m_originPt = positions[i];
        label->m_arrPt = list[i].m_point;
        const int q = FdiQuadrant(list[i].m_fdi);
        label->m_bFlipHorizontal = (q == 1 || q == 4);
        m_occlusionObjs.push_back(label);
        Aux()->AddObject(label);
    }
}

// ---- IPR marks -----------------------------------------------------------------------------------------

QvScheme* QvCacheStuff::CurrentScheme()
{
    if (m_pScheme == nullptr && m_pModel != nullptr)
    {
        if (const QvSchemeMgr* mgr = QvGetSchemeMgr(*m_pModel))
            m_pScheme = mgr->GetCurScheme();
    }
    return m_pScheme;
}

void QvCacheStuff::ShowIPR(const std::map<std::int32_t, std::vector<QvIprEntry>>& iprs, int step, const QvColor& clr)
{
    HideIPR();
    std::vector<QvIprEntry> all;
    for (const auto& [s, entries] : iprs)
        all.insert(all.end(), entries.begin(), entries.end());
    CalIPRLocation(all, step, clr);
    for (QvIprMark& mark : m_iprMarks)
    {
        std::string text = Format1(mark.m_amount);
        int prefix = -1;
        if (mark.m_step == step)
            text = "*" + text, prefix = 0;
        else if (mark.m_step < step)
            text = "*" + text, prefix = 1;
        // The prefix colour is taken when the text is built.
        mark.m_pLabel->m_preFixesType = prefix;
        mark.m_pLabel->SetText(text);
        mark.m_pLabel->m_pAssView = m_pView;
    }
}

void QvCacheStuff::CalIPRLocation(const std::vector<QvIprEntry>& entries, int step, const QvColor& clr)
{
    QvScheme* scheme = CurrentScheme();
    std::map<int, QvArchLabel, QvFdiArchOrder> byKey;
    for (const QvIprEntry& entry : entries)
    {
        QvToothBase* t1 = nullptr;
        QvToothBase* t2 = nullptr;
        int value = 0;
        double amount = 0.0;
        entry.Get(t1, t2, value, amount);
        if (t1 == nullptr || t2 == nullptr)
            continue;
        if (scheme != nullptr && (scheme->GetExtractedTeeth().count(t1) != 0 || scheme->GetExtractedTeeth().count(t2) != 0))
        {
            QvLog::Instance().Write(QvLog::WARN, "Invalid tooth, maybe extracted!", "CalIPRLocation", __LINE__);
            continue;
        }
        auto placed = [&](QvToothBase* t) {
            QvPoint c = t->GetCenterExcludingRoot();
            if (scheme != nullptr)
                if (const QvTreatStep* s = scheme->FindStep(step, t))
                    c = *s->GetMatrix() * c;
            return c;
        };
        const QvPoint c1 = placed(t1);
        const QvPoint c2 = placed(t2);
        const QvPoint position = c1 + (c2 - c1) * 0.5;
        const int key = IprKey(ToothFdi(t1), ToothFdi(t2));
        byKey[key] = QvArchLabel{position, amount, key, value};
    }
    std::vector<QvArchLabel> all;
    std::vector<QvPoint> positions;
    LayoutBothArches(byKey, all, positions);
    for (std::size_t i = 0; i < all.size() && i < positions.size(); ++i)
    {
        const QvArchLabel& l = all[i];
        auto* label = new QvAuxNotation();
        label->m_style = 3;
        label->m_clr = clr;
        label->m_arrPt = l.m_point;
        label->m_originPt = positions[i];
        const int q = FdiQuadrant(l.m_fdi);
        label->m_index = (q == 1 || q == 4) ? 1 : 3;
        label->m_bFrontMost = true;
        if (m_pModel != nullptr)
            if (QvTooth* t = m_pModel->FindTooth(l.m_fdi))
                label->m_pRelEntites.insert(t);
        m_iprMarks.push_back(QvIprMark{label, l.m_point, l.m_value, l.m_fdi, l.m_kind});
        Aux()->AddObject(label);
    }
}
