// SPDX-License-Identifier: GPL-3.0-or-later
// Area drawings: chosen triangles of a mesh coloured per vertex and following the
// mesh's placement in the view (contact maps); a millimetre grid facing the viewer;
// filled outlines with black borders (cross-sections), with two screen-rectangle modes.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "core/base/QvColor.h"
#include "core/geometry/QvPoint.h"
#include "core/render/aux/QvAuxObject.h"

class QvMesh;
class QvPolyline;

// Drawn where a vertex, outline or face has no colour of its own.
inline const QvColor kQvAuxMidGrey(128, 128, 128);

class QvAuxFace : public QvAuxObject
{
public:
    QvAuxFace();
    explicit QvAuxFace(QvMesh* mesh);

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void SetVertexColor(int vertex, const QvColor& clr);

    // Faces or corners outside the mesh are skipped.
    void Draw(QvView* view) override;

    QvMesh* m_pMesh = nullptr;
    std::vector<int> m_faces;
    bool m_bUniformColor = false;
    QvColor m_uniformClr;
    std::map<int, QvColor> m_vertexClrs;
};

class QvAuxGrid : public QvAuxObject
{
public:
    QvAuxGrid();

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;

    // Every fifth line, from the first.
    static const QvColor& MajorColor();
    static const QvColor& MinorColor();

private:
    void DrawGrid(QvView* view, double margin, bool arrays) const;
};

class QvAuxBillBoard : public QvAuxObject
{
public:
    QvAuxBillBoard();
    // Deletes every outline's mesh and polyline.
    ~QvAuxBillBoard() override;

    QvTypeCode GetType() const override;
    bool IsKindOf(QvTypeCode code) const override;

    // Nothing for no points or an outline that cannot be triangulated.
    void AddPolygon(const std::vector<QvPoint>& points);
    void AddColor(const QvColor& clr);
    void ClearOutlines();
    void SetRect(double x, double y, int width, int height);

    void Draw(QvView* view) override;
    void DrawArrays(QvView* view) override;
    bool HitTest(int, int) override { return false; }
    void UpdateBBox() override;
    // The outlines as a flat picture inside the screen rectangle (pixels, y from the
    // top as in mode 1): a translucent panel in m_clr, the fills seen along z in a
    // viewport 4/5 of the panel's height with the box's aspect, black borders on top.
    // Nothing draws it yet; the section pane draws outlines in model space.
    void DrawInset(QvView* view) const;

    double m_rectX = 0.0;
    double m_rectY = 0.0;
    std::int32_t m_rectWidth = 0;
    std::int32_t m_rectHeight = 0;
    // 0 outlined screen rectangle, 1 translucent screen rectangle, 2 filled outlines.
    std::int32_t m_mode = 0;
    std::vector<std::pair<QvMesh*, QvPolyline*>> m_outlines;
    std::vector<QvColor> m_colors;

private:
    void DrawRect(QvView* view) const;
    void DrawOutlines(QvView* view, bool arrays) const;
};
