// SPDX-License-Identifier: GPL-3.0-or-later
// Draws one frame of the 3-D window with fixed-function OpenGL: camera, background,
// every view of the view manager through the drawers, view outlines. Also converts
// between world points and window pixels through the matrices each view was last
// drawn with. Every operation needs the GL context current.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry/QvGDI.h"
#include "core/geometry/QvLine.h"
#include "core/geometry/QvPoint.h"
#include "core/render/QvCamera.h"
#include "core/render/QvViewManager.h"

class QvAuxObject;
class QvEntity;
class QvModel;
class QvView;

// Background gradient: dark at the bottom, blue-grey at the top.
inline constexpr unsigned char kQvGradientBottom[3] = {14, 28, 39};
inline constexpr unsigned char kQvGradientTop[3] = {49, 95, 132};
// Outline of each view when several are shown.
inline constexpr unsigned char kQvViewFrameColor[3] = {255, 128, 64};

class QvOpenGLRender
{
public:
    QvOpenGLRender();
    QvOpenGLRender(const QvOpenGLRender&) = delete;
    QvOpenGLRender& operator=(const QvOpenGLRender&) = delete;
    // Deletes the background and icon textures.
    virtual ~QvOpenGLRender();

    // ---- Set-up and frame -----------------------------------------------------

    // Sets the fixed GL state and loads the background texture (a missing image
    // leaves the gradient). True.
    bool InitRender();
    // Stores the window size, then the camera distance.
    void UpdateViewport(std::int32_t width, std::int32_t height);
    // One frame: camera, background, views, view outlines. True. Without a model the
    // views show no entities.
    bool DrawScene();
    // Reads the image at the background path into a texture; false, with no texture,
    // when it cannot be read or has a depth other than 24 or 32 bits.
    [[nodiscard]] bool LoadBackgroundTexture();

    void SetModel(QvModel* model) { m_pModel = model; }
    QvModel* GetModel() const { return m_pModel; }
    void SetBackgroundPath(const std::string& path) { m_backgroundPath = path; }
    const std::string& GetBackgroundPath() const { return m_backgroundPath; }
    QvCamera* GetCamera() const { return m_pCamera; }
    std::int32_t GetWidth() const { return m_width; }
    std::int32_t GetHeight() const { return m_height; }
    std::uint32_t GetBackgroundTexture() const { return m_backgroundTexture; }
    bool IsBracketLayout() const { return m_bBracketLayout; }

    // ---- Camera -----------------------------------------------------------------

    // Eye far enough back that every view's scaled model lies in front of it.
    void UpdateCameraDistance();
    // Camera distance, model-view = look-at, colour, depth and stencil cleared.
    void SetupCamera();

    // ---- Parts of a frame ---------------------------------------------------------

    void DrawBackground();
    void DrawBackgroundTexture();
    void DrawGradient();
    void DrawViews();
    // Orange outlines, only with two or more views.
    void DrawViewFrames();
    // The matrices a view is drawn with, column-major, in double precision (GL keeps
    // floats, so reading them back would lose digits). Projection: bounds by the view's
    // aspect (the shorter side spans two units), near 1, far 2 x eye z + 1, ortho or
    // perspective by the camera. Model-view: look-at x rotation x zoom x translation.
    void GetViewProjection(const QvView* view, double out[16]) const;
    void GetViewModelView(const QvView* view, double out[16]) const;
    // Loads them into GL (the model-view replaces the current one) and sets the viewport.
    void ApplyViewProjection(const QvView* view) const;
    void ApplyViewTransform(const QvView* view) const;

    // ---- Window and world -----------------------------------------------------------
    // Window points are GL drawable pixels; y is flipped as window height - y unless
    // the render status says windows grow upwards. Each conversion uses the matrices
    // the view itself was last drawn with.

    QvPoint UnProject(const QvView* view, const QvGDIPoint& p, double depth) const;
    QvPoint UnProjectInActiveView(const QvGDIPoint& p, double depth) const;
    // World point at the depth buffer's value under the pixel (the far plane where
    // nothing was drawn), in the active view.
    QvPoint GetPointUnderCursor(const QvGDIPoint& p) const;
    // Rounded to the nearest pixel.
    QvGDIPoint Project(const QvView* view, const QvPoint& p) const;
    QvGDIPoint ProjectInActiveView(const QvPoint& p) const;
    // (window x, GL y, depth 0..1), unrounded and unflipped.
    QvPoint ProjectToWindow(const QvView* view, const QvPoint& p) const;
    QvPoint ProjectToWindow(const QvPoint& p) const;
    // ProjectToWindow with y flipped as window height - y; depth 0 unless kept.
    QvPoint ProjectToWindowFlipped(const QvPoint& p, bool keepDepth) const;
    // Inverse of ProjectToWindow through the model-view the view's current navigation
    // will give at the next frame (nothing drawn).
    QvPoint UnProjectByViewTransform(const QvView* view, const QvPoint& w) const;
    QvPoint UnProjectByViewTransform(const QvPoint& w) const;
    // Through the view whose stored model-view equals GL's current one; y flipped.
    // The origin when no view matches.
    QvPoint UnProjectByCurrentModelView(const QvGDIPoint& p, double depth) const;
    // From the point at depth 0 towards the point at depth 1, in the active view.
    QvLine GetPickRay(const QvGDIPoint& p) const;
    QvLine GetPickRay(const QvView* view, const QvGDIPoint& p) const;
    // A point on the virtual trackball: a unit sphere joined to a hyperbolic sheet.
    QvPoint MapToTrackball(const QvGDIPoint& p) const;

    // ---- Smaller operations -------------------------------------------------------

    void EnableColorMaterial();
    void SetupLight();
    void Flush();
    void GetProjectionMatrix(double out[16]) const;
    void GetModelViewMatrix(double out[16]) const;
    // True when the depth under the pixel is not the far plane.
    bool HasGeometryUnderCursor(const QvGDIPoint& p) const;
    // Reads the 2 x 2 stencil values at the point and keeps one whose kind the pick
    // mask accepts in the render status.
    void PickStencilKind(const QvGDIPoint& p);
    static bool IsKindPickable(std::int32_t kind, std::uint32_t pickMask);
    // Axis arrows in each view's lower right corner.
    void DrawAxisGizmo();
    void DrawRubberBand();
    void SetIconPaths(const std::vector<std::string>& paths);
    void DrawIconStrip();
    // One entity through its drawer in the spare view list's active view.
    void DrawEntity(QvEntity* entity);

    // ---- State ------------------------------------------------------------------

    std::int32_t m_width = 100;
    std::int32_t m_height = 100;
    std::uint32_t m_backgroundTexture = 0;
    std::vector<std::uint32_t> m_iconTextures;
    std::vector<std::string> m_iconPaths;
    QvCamera* m_pCamera = nullptr;
    QvModel* m_pModel = nullptr;
    std::string m_backgroundPath;
    // Text labels of the axis gizmo, installed with the auxiliary objects' code.
    QvAuxObject* m_pAxisLabel = nullptr;
    QvViewManager m_spareViews;
    QvPoint m_eye;
    bool m_bSpareFlag = false;
    // Set by the bracket layout; four views are then laid out as that layout.
    bool m_bBracketLayout = false;

private:
    // GL bottom-up y of a window point.
    double ToGLY(std::int32_t y) const;
    void PushPixelMatrices() const;
    void PopPixelMatrices() const;
    bool LoadIconTextures();
};
