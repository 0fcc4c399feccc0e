// SPDX-License-Identifier: GPL-3.0-or-later
// The overlays the 3-D window shows over the case model without belonging to a
// pane: FDI tooth labels, the measuring grid and the screen texts (process-wide
// instance), and per view the contact maps with their distance labels and the IPR
// marks of that view's scheme and step. Also the one text rasteriser (FreeType).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "core/base/QvColor.h"
#include "core/geometry/QvGDI.h"
#include "core/geometry/QvPoint.h"

class QvAuxGrid;
class QvBSplineCurve;
class QvFrame;
class QvAuxNotation;
class QvAuxObject;
class QvAuxPipeLine;
class QvAuxPlane;
class QvAuxPlane2D;
class QvAuxPoint;
class QvAuxText;
class QvAuxTexture;
class QvGapInfo;
class QvImage;
class QvIprEntry;
class QvLine;
class QvModel;
class QvScheme;
class QvTooth;
class QvToothRef;
class QvView;

// Arch order of the overlays' maps: upper arch from 18 to 28, then lower from 48 to
// 38; a deciduous tooth sits beside the permanent one of its position, towards the
// midline in quadrants 2 and 3 and away from it in 1 and 4 (11 51, 61 21).
bool QvOverlayArchLess(int a, int b);
struct QvFdiArchOrder
{
    bool operator()(int a, int b) const { return QvOverlayArchLess(a, b); }
};

// Attachment anchors of one tooth: points and the two chosen ones.
class QvAttachAnchorGrid
{
public:
    QvAttachAnchorGrid() = default;
    QvAttachAnchorGrid(const QvAttachAnchorGrid&) = default;
    QvAttachAnchorGrid& operator=(const QvAttachAnchorGrid&) = default;
    virtual ~QvAttachAnchorGrid() = default;

    std::vector<QvPoint> m_points;
    std::int32_t m_first = 0;
    std::int32_t m_second = 0;
    std::vector<QvPoint> m_secondPoints;
    std::vector<QvPoint> m_thirdPoints;
    std::uint64_t m_tail = 0;
};

struct QvArchLabel
{
    QvPoint m_point;
    double m_value = 0.0;
    std::int32_t m_fdi = 0;
    std::int32_t m_kind = 0;
};

struct QvIprMark
{
    QvAuxNotation* m_pLabel = nullptr;
    QvPoint m_position;
    double m_amount = 0.0;
    std::int32_t m_fdi = 0;
    std::int32_t m_step = 0;
};

class QvCacheStuff
{
public:
    QvCacheStuff() = default;
    QvCacheStuff(const QvCacheStuff&) = delete;
    QvCacheStuff& operator=(const QvCacheStuff&) = delete;
    // Deletes no overlay object: registered ones belong to the aux render by then.
    virtual ~QvCacheStuff() = default;

    static QvCacheStuff& Instance();

    // Takes every overlay away; keeps the model, the font path and the view. Needs the
    // GL context current.
    void Clear();

    // ---- Tooth labels ----------------------------------------------------------------------------
    void ShowFDI(bool show);
    void BuildFDILabels();
    // The label of the tooth and its FACC curve, when there are.
    void CollectToothLabels(const QvTooth* tooth, std::vector<QvAuxObject*>& out) const;
    void PlaceLabelOnFacc(const QvTooth* tooth, QvPoint corners[4], bool plain) const;
    void PlaceLabelOnCrown(const QvTooth* tooth, QvPoint corners[4], bool plain) const;
    void FindLabelAnchor(const QvTooth* tooth, QvPoint& anchor) const;
    QvVector EstimateSurfaceNormal(const QvTooth* tooth, const QvPoint& p, int rings) const;
    static bool PointInQuadXY(const QvPoint& p, const QvPoint corners[4]);
    // Hits of the whole line in ascending line parameter (equal parameters once).
    static void IntersectLineWithFaces(const QvLine& line, const QvTooth* tooth, const std::vector<int>& faces,
                                       std::vector<QvPoint>& out);
    // Two-sided; t may be negative.
    static bool IntersectLineTriangle(const QvLine& line, const QvPoint& a, const QvPoint& b, const QvPoint& c,
                                      QvPoint& hit, double& t);

    // ---- Text --------------------------------------------------------------------------------------
    // A new 32-bit image (the caller deletes it): the glyphs at 96 pixels in the
    // colour with alpha 255, else (0, 0, 0, 0). Null without a font path or when the
    // font cannot be opened; "" gives a 0 x 0 image. Invalid UTF-8 bytes are skipped;
    // a character the font lacks comes from the CJK face, else is skipped.
    QvImage* RenderText(const std::string& text, const QvColor& clr) const;

    // ---- Grid, anchors, screen texts ---------------------------------------------------------------
    void ShowGrid(bool show);
    void CreateGrid();
    // An existing grid of the tooth stays.
    void AddAnchorGrid(const QvTooth* tooth, const QvAttachAnchorGrid& grid);
    // (0, 0, 0) for a tooth without a grid or an index outside its points.
    QvPoint GetAnchorPoint(const QvTooth* tooth, bool second) const;
    void ClearScreenTexts();

    // ---- Reference geometry (no caller in the application) -----------------------------------------
    // true builds the overlay anew, false takes it away; missing sources add nothing.
    void ShowMidPlane(bool show);
    void ShowBackPlane(bool show);
    void ShowBeautyPlane(bool show);
    void ShowUpperOcclusalPlane(bool show);
    void ShowLowerOcclusalPlane(bool show);
    void ShowUpperArchForm(bool show);
    void ShowLowerArchForm(bool show);
    // Hiding keeps the texture for the next show; Clear deletes it.
    void ShowCaseImage3(bool show);
    void ShowCaseImage2(bool show);
    // Never registered: drawn with the tooth labels, inside each tooth's placement.
    void ShowFaccCurves(bool show);
    void ShowToothRefMarks(bool show);
    void HideToothRefMarks();
    void HideFaccCurves();
    void HideMidPlane();
    void HideBackPlane();
    void HideBeautyPlane();
    void HideUpperOcclusalPlane();
    void HideLowerOcclusalPlane();
    void HideUpperArchForm();
    void HideLowerArchForm();
    // m_pScheme, else the model's current scheme (then kept).
    QvScheme* GetScheme() { return CurrentScheme(); }
    // Width x height RGBA pixels, each (0, 0, 255, (r + g + b) / 3) of the source.
    static std::vector<unsigned char> MakeBlueAlphaImage(int width, int height, const unsigned char* rgba);

    // ---- Screen texts (no caller in the application) ------------------------------------------------
    void ShowScreenRect(bool show);
    // "矫治后" shown in view 0 only, "矫治前" in view 1 only.
    void ShowCompareTexts();
    void ShowTestText(bool show);
    // The second line reads the product name, "Rivela", or "Belvista" for the partner.
    void ShowTitle(const std::string& text, bool secondLine, bool partner);
    void HideTitle();
    void ShowWatermark(bool show);
    void ShowCaption(const std::string& text);
    void HideCaption();
    // A line per arch width of the scheme's step-0 measure with its end points and a
    // "%0.2lfmm" label, bound to the teeth of its jaw; nothing without a measure.
    void ShowArchWidths(bool show);
    void HideArchWidths();

    // ---- Per-view overlays -------------------------------------------------------------------------
    void ShowAdjacent(const std::vector<QvGapInfo*>& gaps);
    void HideAdjacent();
    void BuildContactFaces(const QvGapInfo* gap, int side);
    void BuildContactLabels(const std::vector<QvGapInfo*>& gaps);

    void ShowOcclusion(const std::vector<QvGapInfo*>& gaps);
    void HideOcclusion();
    void BuildContactFace(const QvGapInfo* gap, int side);
    void BuildOcclusionLabels(const std::vector<QvGapInfo*>& gaps);
    static void GetOcclusionAnchor(const QvGapInfo* gap, QvPoint& contact, int& key);

    void ShowIPR(const std::map<std::int32_t, std::vector<QvIprEntry>>& iprs, int step, const QvColor& clr);
    void HideIPR();
    void CalIPRLocation(const std::vector<QvIprEntry>& entries, int step, const QvColor& clr);

    // One position per record, 10 units out from its point, fanned around the arch.
    void LayoutArchLabels(const std::vector<QvArchLabel>& labels, std::vector<QvPoint>& out) const;
    // The records of both arches, upper first, each arch laid out as above.
    void LayoutBothArches(const std::map<int, QvArchLabel, QvFdiArchOrder>& byKey, std::vector<QvArchLabel>& all,
                          std::vector<QvPoint>& positions) const;

    // The label text of a tooth: the number, with "(E)", "(P)" or "(I)" for states 5, 3, 2.
    static std::string LabelText(int fdi, int state);
    // Key teeth of a pair: the adjacent label's, the occlusion label's, the IPR mark's.
    static int AdjacentKey(int first, int second);
    static int OcclusionKey(int first, int second);
    static int IprKey(int first, int second);
    // Ramps of the contact maps (channels clamped to 0..255).
    static QvColor AdjacentColor(double value);
    static QvColor OcclusionColor(double distance);

    QvModel* m_pModel = nullptr;
    QvAuxPlane* m_pMidPlane = nullptr;
    QvAuxPlane* m_pBackPlane = nullptr;
    // The cephalometric landmark is not built; the field stays null.
    QvAuxPoint* m_pCephPoint = nullptr;
    QvAuxPlane* m_pUpperOcclusalPlane = nullptr;
    QvAuxPlane* m_pLowerOcclusalPlane = nullptr;
    QvAuxPipeLine* m_pUpperArchForm = nullptr;
    QvAuxPipeLine* m_pLowerArchForm = nullptr;
    QvAuxPlane* m_pBeautyPlane = nullptr;
    std::vector<QvAuxObject*> m_beautyPoints;
    QvAuxTexture* m_pImageTexture3 = nullptr;
    QvAuxTexture* m_pImageTexture2 = nullptr;
    QvAuxGrid* m_pGrid = nullptr;
    std::map<QvAuxObject*, const QvToothRef*> m_toothRefMarks;
    std::map<const QvTooth*, QvAuxPipeLine*> m_faccCurves;
    std::map<const QvTooth*, QvAuxTexture*> m_fdiLabels;
    std::map<const QvTooth*, QvAttachAnchorGrid> m_anchorGrids;
    std::vector<QvAuxObject*> m_adjacentObjs;
    std::vector<QvAuxObject*> m_occlusionObjs;
    std::vector<QvIprMark> m_iprMarks;
    QvAuxPlane2D* m_pScreenRect = nullptr;
    std::vector<QvAuxObject*> m_screenTexts;
    QvAuxText* m_pTestText = nullptr;
    QvAuxText* m_pTitleText1 = nullptr;
    QvAuxText* m_pTitleText2 = nullptr;
    QvAuxText* m_pWatermark = nullptr;
    QvAuxText* m_pCaption = nullptr;
    std::vector<QvAuxObject*> m_distanceLabels;
    std::string m_fontPath;
    QvScheme* m_pScheme = nullptr;
    QvView* m_pView = nullptr;

    // Removes a registered object from the aux render and deletes it; deletes one that
    // is not registered.
    static void Discard(QvAuxObject* obj);

private:
    void RemoveAll(std::vector<QvAuxObject*>& objs);
    void ShowPlane(QvAuxPlane*& field, bool show, const QvFrame* frame, double size, const QvColor& clr);
    void ShowArchForm(QvAuxPipeLine*& field, bool show, const QvBSplineCurve* curve, const QvColor& clr);
    void ShowCaseImage(QvAuxTexture*& field, bool show, int key);
    // A white-on-transparent screen label with an anonymous owner, registered.
    QvAuxText* NewScreenText(const std::string& text, const QvColor& clr, const QvGDIPoint& at);
    // Puts the text's owner into the hidden set of each listed view id.
    static void HideTextInViews(QvAuxText* text, std::initializer_list<int> viewIds);
    // Shows the owner again in every view, then removes and deletes the text.
    void RemoveScreenText(QvAuxText*& text);
    void DeleteLabels();
    QvScheme* CurrentScheme();
};

// The strip of the bytes' glyphs, 10 pixels apart and bottom-aligned, opaque in
// the colour where covered; null without a font or glyphs.
QvImage* QvRenderGlyphStrip(const std::string& fontPath, const std::string& text, const QvColor& clr);
// The "font" resource: DejaVu Sans.
inline constexpr const char* kQvLabelFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// Where the FreeType rasteriser looks for characters DejaVu lacks.
inline constexpr const char* kQvCjkFontPath = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
