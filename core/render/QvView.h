// SPDX-License-Identifier: GPL-3.0-or-later
// One viewport of the 3-D window: its rectangle in GL window pixels, its own
// navigation (rotation, translation, zoom), its draw information, and the matrices
// it was last drawn with, which every conversion between window and world in this
// view goes through.
#pragma once

#include <cstdint>

#include "core/geometry/QvFrame.h"
#include "core/geometry/QvGDI.h"
#include "core/render/QvViewDrawInfo.h"

class QvView
{
public:
    // At the origin with no size.
    QvView();
    // origin: lower-left corner, y upwards. Identity navigation, empty draw information.
    QvView(const QvGDIPoint& origin, std::int32_t width, std::int32_t height);
    QvView(const QvView&) = delete;
    QvView& operator=(const QvView&) = delete;
    virtual ~QvView() = default;

    void SetRect(const QvGDIPoint& origin, std::int32_t width, std::int32_t height);
    // Edges included on all four sides.
    bool ContainsPoint(const QvGDIPoint& p) const;

    const QvGDIPoint& GetOrigin() const { return m_origin; }
    std::int32_t GetWidth() const { return m_width; }
    std::int32_t GetHeight() const { return m_height; }
    // (x, y, width, height) as GLU takes it.
    void GetViewport(std::int32_t viewport[4]) const;

    // The matrices of the last draw, column-major. Identity until the view is drawn.
    void SetModelViewMatrix(const double matrix[16]);
    const double* GetModelViewMatrix() const { return m_modelView; }
    void SetProjectionMatrix(const double matrix[16]);
    const double* GetProjectionMatrix() const { return m_projection; }
    // Whether the view has been drawn since it was made, i.e. its matrices are real.
    bool HasDrawMatrices() const { return m_bHasDrawMatrices; }

    std::int32_t GetID() const { return m_id; }
    void SetID(std::int32_t id) { m_id = id; }

    QvTransform& GetTransform() { return m_transform; }
    const QvTransform& GetTransform() const { return m_transform; }
    // Copies rotation, translation and zoom of another view.
    void CopyNavigation(const QvView& other);

    QvViewDrawInfo* GetDrawInfo() { return &m_drawInfo; }
    const QvViewDrawInfo* GetDrawInfo() const { return &m_drawInfo; }

    QvGDIPoint m_origin;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    double m_modelView[16];
    // Each view keeps its own projection: views of different shapes (the bracket
    // layout) project differently, so no view may borrow another's.
    double m_projection[16];
    bool m_bHasDrawMatrices = false;
    std::int32_t m_id = 0;
    QvTransform m_transform;
    QvViewDrawInfo m_drawInfo;
};
