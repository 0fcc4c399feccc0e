// SPDX-License-Identifier: GPL-3.0-or-later
// The one process-wide record of the 3-D window's drawing state: it owns the
// renderer and holds the render mode, the pick mask, the last mouse point and the
// switches that the drawers and the picking code read.
#pragma once

#include <cstdint>

#include "core/geometry/QvGDI.h"

class QvAuxRender;
class QvOpenGLRender;
class QvOpenGLSelect;

// Render modes.
inline constexpr std::int32_t kQvRenderSolidEdges = 0;
inline constexpr std::int32_t kQvRenderSolid = 1;
inline constexpr std::int32_t kQvRenderEdges = 2;
inline constexpr std::int32_t kQvRenderPoints = 3;

inline constexpr std::uint32_t kQvDefaultPickMask = 0x300005c5;

class QvRenderStatus
{
public:
    // Creates the renderer and sets every switch to its default.
    QvRenderStatus();
    QvRenderStatus(const QvRenderStatus&) = delete;
    QvRenderStatus& operator=(const QvRenderStatus&) = delete;
    virtual ~QvRenderStatus();

    // The process-wide instance, made on first use.
    static QvRenderStatus* Instance();
    // A new renderer and picker, no auxiliary objects and the default switches (for
    // tests; call with the GL context of the old renderer current, or none, since
    // textures are deleted).
    void ResetForTests();

    QvOpenGLRender* GetRender() const { return m_pRender; }
    QvAuxRender* GetAuxRender() const { return m_pAuxRender; }
    QvOpenGLSelect* GetSelector() const { return m_pSelector; }

    QvOpenGLRender* m_pRender = nullptr;
    QvAuxRender* m_pAuxRender = nullptr;
    QvOpenGLSelect* m_pSelector = nullptr;
    std::int32_t m_renderMode = kQvRenderSolid;
    std::uint32_t m_pickMask = kQvDefaultPickMask;
    QvGDIPoint m_lastMousePoint;
    std::int32_t m_pickedStencilKind = 0;
    QvGDIRect m_rubberBand;
    bool m_bFlag1 = false;
    bool m_bFlag2 = false;
    // Teeth get smooth normals in their vertex buffers.
    bool m_bSmoothNormals = false;
    bool m_bAltToothMaterial = false;
    // The background texture when set, else the gradient.
    bool m_bBackgroundImage = true;
    bool m_bTwoSideLighting = true;
    // Window points grow upwards like GL's; otherwise y is flipped as height - y.
    bool m_bWindowYUp = false;
    double m_backingScale = 1.0;
    bool m_bAttachHiddenPass = false;
    bool m_bPowerSecondMesh = true;

private:
    void SetDefaults();
};
