// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvOpenGLRender.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/base/QvEntity.h"
#include "core/geometry/QvBBox.h"
#include "core/geometry/QvFrame.h"
#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPlane.h"
#include "core/model/QvImage.h"
#include "core/model/QvModel.h"
#include "core/render/QvDrawer.h"
#include "core/render/QvDrawerMgr.h"
#include "core/render/QvGL.h"
#include "core/render/QvGLTexture.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/aux/QvAuxObject.h"

namespace
{
QvRenderStatus* Status() { return QvRenderStatus::Instance(); }

// Truncation toward zero that stays defined for every double: NaN gives 0 and values
// beyond the int32 range saturate.
std::int32_t TruncToInt(double v)
{
    if (std::isnan(v))
        return 0;
    const double t = std::trunc(v);
    if (t <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (t >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(t);
}

void ViewportOf(const QvView* view, GLint out[4])
{
    std::int32_t vp[4];
    view->GetViewport(vp);
    for (int i = 0; i < 4; ++i)
        out[i] = vp[i];
}

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

// A 3 x 3 rotation (or the upper-left block of a bigger one) in a 4 x 4 placement.
QvMatrix Pad4(const QvMatrix& r)
{
    QvMatrix m = Identity4();
    const int n = std::min(3, std::min(r.Rows(), r.Cols()));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            m[i][j] = r[i][j];
    return m;
}

// The texture's first row is GL's bottom row: the image's rows are taken from the
// bottom up so that its top stands at the top of the window.
GLuint UploadImageTexture(const QvImage& image)
{
    const int bpp = image.GetBitsPerPixel();
    if (bpp != 24 && bpp != 32)
        return 0;
    const int w = image.GetWidth();
    const int h = image.GetHeight();
    if (w <= 0 || h <= 0)
        return 0;
    const std::size_t row = static_cast<std::size_t>(w) * static_cast<std::size_t>(bpp / 8);
    std::vector<unsigned char> packed(row * static_cast<std::size_t>(h));
    image.GetPixelData(packed.data());
    std::vector<unsigned char> flipped(packed.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(packed.data() + row * static_cast<std::size_t>(h - 1 - y), row,
                    flipped.data() + row * static_cast<std::size_t>(y));

    return QvCreateTexture(w, h, bpp == 32, flipped.data());
}

void DrawTexturedQuad(float x0, float y0, float x1, float y1)
{
    const GLfloat vertices[] = {x0, y1, 0.0f, x1, y1, 0.0f, x0, y0, 0.0f, x1, y0, 0.0f};
    const GLfloat texCoords[] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};
    glBindBufferARB(GL_ARRAY_BUFFER, 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, texCoords);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}
} // namespace

QvOpenGLRender::QvOpenGLRender() : m_pCamera(new QvCamera) {}

QvOpenGLRender::~QvOpenGLRender()
{
    if (m_backgroundTexture != 0)
        glDeleteTextures(1, &m_backgroundTexture);
    if (!m_iconTextures.empty())
        glDeleteTextures(static_cast<GLsizei>(m_iconTextures.size()), m_iconTextures.data());
    delete m_pAxisLabel;
    delete m_pCamera;
}

// ---- Set-up and frame -------------------------------------------------------------

void QvOpenGLRender::EnableColorMaterial()
{
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
}

void QvOpenGLRender::SetupLight()
{
    // The model-view is the identity here, so the light stands at the eye.
    const GLfloat position[] = {0.0f, 0.0f, 0.0f, 1.0f};
    const GLfloat ambient[] = {0.1f, 0.1f, 0.1f, 1.0f};
    const GLfloat diffuse[] = {0.8f, 0.8f, 0.8f, 1.0f};
    const GLfloat specular[] = {0.8f, 0.8f, 0.8f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
}

bool QvOpenGLRender::InitRender()
{
    EnableColorMaterial();
    SetupLight();
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, Status()->m_bTwoSideLighting ? GL_TRUE : GL_FALSE);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_DEPTH_TEST);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glStencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    glDisable(GL_STENCIL_TEST);
    glClearStencil(0);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glFrontFace(GL_CCW);
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_FOG);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LINE_STIPPLE);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPolygonOffset(1.0f, 1.0f);
    // A missing image is not an error here: the gradient stands in for it.
    (void)LoadBackgroundTexture();
    return true;
}

void QvOpenGLRender::UpdateViewport(std::int32_t width, std::int32_t height)
{
    m_width = width;
    m_height = height;
    UpdateCameraDistance();
}

bool QvOpenGLRender::LoadBackgroundTexture()
{
    QvImage image;
    if (m_backgroundPath.empty() || !image.ReadFromFile(m_backgroundPath))
        return false;
    const GLuint name = UploadImageTexture(image);
    if (name == 0)
        return false;
    if (m_backgroundTexture != 0)
        glDeleteTextures(1, &m_backgroundTexture);
    m_backgroundTexture = name;
    return true;
}

bool QvOpenGLRender::DrawScene()
{
    SetupCamera();
    DrawBackground();
    DrawViews();
    DrawViewFrames();
    return true;
}

// ---- Camera -------------------------------------------------------------------------

void QvOpenGLRender::UpdateCameraDistance()
{
    QvPoint centre;
    double diagonal = 0.0;
    if (m_pModel != nullptr)
    {
        centre = m_pModel->m_bbox.GetCentre();
        diagonal = m_pModel->m_bbox.GetDiagonal();
    }
    const QvVector c(centre[0], centre[1], centre[2]);
    double d = -10.0;
    for (const QvView* view : QvViewManager::Instance()->GetViews())
    {
        const QvTransform& t = view->GetTransform();
        d = std::max(d, ((t.m_translation + c).Length() + diagonal) * t.m_scale + 2.0);
    }
    m_pCamera->SetEyeDistance(d);
}

void QvOpenGLRender::SetupCamera()
{
    UpdateCameraDistance();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    QvPoint target;
    QvVector up;
    m_pCamera->GetLookAt(m_eye, target, up);
    gluLookAt(m_eye[0], m_eye[1], m_eye[2], target[0], target[1], target[2], up[0], up[1], up[2]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

// ---- Parts of a frame -----------------------------------------------------------------

void QvOpenGLRender::PushPixelMatrices() const
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, m_width, 0.0, m_height);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void QvOpenGLRender::PopPixelMatrices() const
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void QvOpenGLRender::DrawBackground()
{
    // An image that could not be loaded falls back to the gradient, never to a blank quad.
    if (Status()->m_bBackgroundImage && m_backgroundTexture != 0)
        DrawBackgroundTexture();
    else
        DrawGradient();
}

void QvOpenGLRender::DrawBackgroundTexture()
{
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
    glViewport(0, 0, m_width, m_height);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glBindTexture(GL_TEXTURE_2D, m_backgroundTexture);
    // The texture is modulated by the current colour: white shows it as it is.
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    PushPixelMatrices();
    DrawTexturedQuad(0.0f, 0.0f, static_cast<float>(m_width), static_cast<float>(m_height));
    PopPixelMatrices();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glPopAttrib();
}

void QvOpenGLRender::DrawGradient()
{
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
    glViewport(0, 0, m_width, m_height);
    glDisable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    PushPixelMatrices();
    glBegin(GL_POLYGON);
    glColor3ub(kQvGradientBottom[0], kQvGradientBottom[1], kQvGradientBottom[2]);
    glVertex2d(0.0, 0.0);
    glVertex2d(m_width, 0.0);
    glColor3ub(kQvGradientTop[0], kQvGradientTop[1], kQvGradientTop[2]);
    glVertex2d(m_width, m_height);
    glVertex2d(0.0, m_height);
    glEnd();
    PopPixelMatrices();
    glPopAttrib();
}

void QvOpenGLRender::GetViewProjection(const QvView* view, double out[16]) const
{
    const double w = view->GetWidth();
    const double h = view->GetHeight();
    const double m = std::min(w, h);
    const double l = -w / m, r = w / m, b = -h / m, t = h / m;
    const double n = 1.0;
    const double f = 2.0 * m_pCamera->m_eye[2] + 1.0;
    std::fill(out, out + 16, 0.0);
    if (m_pCamera->IsOrthographic())
    {
        out[0] = 2.0 / (r - l);
        out[5] = 2.0 / (t - b);
        out[10] = -2.0 / (f - n);
        out[12] = -(r + l) / (r - l);
        out[13] = -(t + b) / (t - b);
        out[14] = -(f + n) / (f - n);
        out[15] = 1.0;
    }
    else
    {
        out[0] = 2.0 * n / (r - l);
        out[5] = 2.0 * n / (t - b);
        out[8] = (r + l) / (r - l);
        out[9] = (t + b) / (t - b);
        out[10] = -(f + n) / (f - n);
        out[11] = -1.0;
        out[14] = -2.0 * f * n / (f - n);
    }
}

void QvOpenGLRender::GetViewModelView(const QvView* view, double out[16]) const
{
    QvPoint eye, target;
    QvVector up;
    m_pCamera->GetLookAt(eye, target, up);
    QvVector f = target - eye;
    f.Normalize();
    QvVector s = f.Cross(up);
    s.Normalize();
    QvVector u = s.Cross(f);
    u.Normalize();

    // gluLookAt's matrix: rows s, u, -f, after a shift by -eye.
    QvMatrix look = Identity4();
    for (int j = 0; j < 3; ++j)
    {
        look[0][j] = s[j];
        look[1][j] = u[j];
        look[2][j] = -f[j];
    }
    QvMatrix toEye = Identity4();
    for (int i = 0; i < 3; ++i)
        toEye[i][3] = -eye[i];

    const QvTransform& t = view->GetTransform();
    QvMatrix scale = Identity4();
    scale[0][0] = scale[1][1] = scale[2][2] = t.m_scale;
    QvMatrix translate = Identity4();
    for (int i = 0; i < 3; ++i)
        translate[i][3] = t.m_translation[i];

    // The zoom is uniform, so it commutes with the rotation.
    const QvMatrix modelView = look * toEye * Pad4(t.m_rotation) * scale * translate;
    modelView.ToGLMatrix(out);
}

void QvOpenGLRender::ApplyViewProjection(const QvView* view) const
{
    double matrix[16];
    GetViewProjection(view, matrix);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(matrix);
    glMatrixMode(GL_MODELVIEW);
}

void QvOpenGLRender::ApplyViewTransform(const QvView* view) const
{
    double matrix[16];
    GetViewModelView(view, matrix);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(matrix);
    glViewport(view->GetOrigin().x, view->GetOrigin().y, view->GetWidth(), view->GetHeight());
}

void QvOpenGLRender::DrawViews()
{
    QvViewManager* manager = QvViewManager::Instance();
    const bool several = manager->GetViewCount() >= 2;
    std::vector<QvEntity*> entities;

    glPushAttrib(GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_STENCIL_TEST);
    glEnable(GL_DEPTH_TEST);
    for (QvView* view : manager->GetViews())
    {
        // A view without area has no aspect and shows nothing.
        if (view->GetWidth() <= 0 || view->GetHeight() <= 0)
            continue;
        if (several)
            glPushMatrix();

        ApplyViewProjection(view);
        ApplyViewTransform(view);

        QvViewDrawInfo* info = view->GetDrawInfo();
        const std::vector<QvPlane*>& planes = info->GetClipPlanes();
        const std::size_t planeCount = std::min(planes.size(), QvViewDrawInfo::kMaxClipPlanes);
        for (std::size_t j = 0; j < planeCount; ++j)
        {
            const GLenum id = static_cast<GLenum>(GL_CLIP_PLANE0 + j);
            glClipPlane(id, planes[j]->m_coef);
            glEnable(id);
        }

        if (m_pModel != nullptr)
        {
            entities.clear();
            m_pModel->GetAllEntities(entities);
            QvDrawerMgr* drawers = QvDrawerMgr::Instance();
            for (QvEntity* entity : entities)
            {
                if (entity == nullptr || (entity->m_state & 0x1001u) != 1u || info->IsEntityHidden(entity))
                    continue;
                if (QvDrawer* drawer = drawers->GetDrawer(entity->GetType()))
                    drawer->Draw(entity, info);
            }
        }

        for (std::size_t j = 0; j < planeCount; ++j)
            glDisable(static_cast<GLenum>(GL_CLIP_PLANE0 + j));

        // The drawers restore what they change, so these are still what GL holds.
        double matrix[16];
        GetViewProjection(view, matrix);
        view->SetProjectionMatrix(matrix);
        GetViewModelView(view, matrix);
        view->SetModelViewMatrix(matrix);
        if (several)
            glPopMatrix();
    }
    glPopAttrib();
}

void QvOpenGLRender::DrawViewFrames()
{
    QvViewManager* manager = QvViewManager::Instance();
    if (manager->GetViewCount() < 2)
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_LINE_BIT);
    glViewport(0, 0, m_width, m_height);
    glDisable(GL_LIGHTING);
    PushPixelMatrices();
    glLineWidth(0.75f);
    glColor3ub(kQvViewFrameColor[0], kQvViewFrameColor[1], kQvViewFrameColor[2]);
    for (const QvView* view : manager->GetViews())
    {
        const double x = view->GetOrigin().x;
        const double y = view->GetOrigin().y;
        const double w = view->GetWidth();
        const double h = view->GetHeight();
        glBegin(GL_LINE_LOOP);
        glVertex2d(x + 1.0, y + 1.0);
        glVertex2d(x + w, y + 1.0);
        glVertex2d(x + w, y + h);
        glVertex2d(x + 1.0, y + h);
        glEnd();
    }
    PopPixelMatrices();
    glPopAttrib();
}

// ---- Window and world -------------------------------------------------------------------

double QvOpenGLRender::ToGLY(std::int32_t y) const
{
    return Status()->m_bWindowYUp ? static_cast<double>(y) : static_cast<double>(m_height) - y;
}

QvPoint QvOpenGLRender::UnProject(const QvView* view, const QvGDIPoint& p, double depth) const
{
    if (view == nullptr)
        return QvPoint();
    GLint viewport[4];
    ViewportOf(view, viewport);
    double x = 0.0, y = 0.0, z = 0.0;
    if (gluUnProject(static_cast<double>(p.x), ToGLY(p.y), depth, view->GetModelViewMatrix(),
                     view->GetProjectionMatrix(), viewport, &x, &y, &z) != GL_TRUE)
        return QvPoint();
    return QvPoint(x, y, z);
}

QvPoint QvOpenGLRender::UnProjectInActiveView(const QvGDIPoint& p, double depth) const
{
    return UnProject(QvViewManager::Instance()->GetActiveView(), p, depth);
}

QvPoint QvOpenGLRender::GetPointUnderCursor(const QvGDIPoint& p) const
{
    GLfloat depth = 1.0f; // stays the far plane when the pixel lies outside the window
    glReadPixels(p.x, TruncToInt(ToGLY(p.y)), 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return UnProjectInActiveView(p, depth);
}

QvPoint QvOpenGLRender::ProjectToWindow(const QvView* view, const QvPoint& p) const
{
    if (view == nullptr)
        return QvPoint();
    GLint viewport[4];
    ViewportOf(view, viewport);
    double x = 0.0, y = 0.0, z = 0.0;
    if (gluProject(p[0], p[1], p[2], view->GetModelViewMatrix(), view->GetProjectionMatrix(), viewport, &x, &y,
                   &z) != GL_TRUE)
        return QvPoint();
    return QvPoint(x, y, z);
}

QvPoint QvOpenGLRender::ProjectToWindow(const QvPoint& p) const
{
    return ProjectToWindow(QvViewManager::Instance()->GetActiveView(), p);
}

QvGDIPoint QvOpenGLRender::Project(const QvView* view, const QvPoint& p) const
{
    if (view == nullptr)
        return QvGDIPoint();
    const QvPoint w = ProjectToWindow(view, p);
    const double y = Status()->m_bWindowYUp ? w[1] : static_cast<double>(m_height) - w[1];
    return QvGDIPoint(TruncToInt(w[0] + 0.5), TruncToInt(y + 0.5));
}

QvGDIPoint QvOpenGLRender::ProjectInActiveView(const QvPoint& p) const
{
    return Project(QvViewManager::Instance()->GetActiveView(), p);
}

QvPoint QvOpenGLRender::ProjectToWindowFlipped(const QvPoint& p, bool keepDepth) const
{
    const QvPoint w = ProjectToWindow(p);
    return QvPoint(w[0], static_cast<double>(m_height) - w[1], keepDepth ? w[2] : 0.0);
}

QvPoint QvOpenGLRender::UnProjectByViewTransform(const QvView* view, const QvPoint& w) const
{
    if (view == nullptr)
        return QvPoint();
    double mv[16];
    GetViewModelView(view, mv);
    GLint viewport[4];
    ViewportOf(view, viewport);
    double x = 0.0, y = 0.0, z = 0.0;
    if (gluUnProject(w[0], w[1], w[2], mv, view->GetProjectionMatrix(), viewport, &x, &y, &z) != GL_TRUE)
        return QvPoint();
    return QvPoint(x, y, z);
}

QvPoint QvOpenGLRender::UnProjectByViewTransform(const QvPoint& w) const
{
    return UnProjectByViewTransform(QvViewManager::Instance()->GetActiveView(), w);
}

QvPoint QvOpenGLRender::UnProjectByCurrentModelView(const QvGDIPoint& p, double depth) const
{
    double current[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, current);
    // GL holds the matrix in single precision: compare with the stored one rounded alike.
    const QvView* view = nullptr;
    for (const QvView* candidate : QvViewManager::Instance()->GetViews())
    {
        const double* stored = candidate->GetModelViewMatrix();
        bool equal = true;
        for (int i = 0; i < 16 && equal; ++i)
            equal = IsZero(static_cast<double>(static_cast<float>(stored[i])) - current[i]);
        if (equal)
        {
            view = candidate;
            break;
        }
    }
    if (view == nullptr)
        return QvPoint();
    GLint viewport[4];
    ViewportOf(view, viewport);
    double x = 0.0, y = 0.0, z = 0.0;
    if (gluUnProject(static_cast<double>(p.x), static_cast<double>(m_height) - p.y, depth, view->GetModelViewMatrix(),
                     view->GetProjectionMatrix(), viewport, &x, &y, &z) != GL_TRUE)
        return QvPoint();
    return QvPoint(x, y, z);
}

QvLine QvOpenGLRender::GetPickRay(const QvView* view, const QvGDIPoint& p) const
{
    const QvPoint a = UnProject(view, p, 0.0);
    const QvPoint b = UnProject(view, p, 1.0);
    return QvLine(a, b - a); // the constructor normalises the direction
}

QvLine QvOpenGLRender::GetPickRay(const QvGDIPoint& p) const
{
    return GetPickRay(QvViewManager::Instance()->GetActiveView(), p);
}

QvPoint QvOpenGLRender::MapToTrackball(const QvGDIPoint& p) const
{
    // A window one pixel wide or high would divide by zero.
    const double wSpan = std::max(1, m_width - 1);
    const double hSpan = std::max(1, m_height - 1);
    const double x = p.x * 2.0 / wSpan - 1.0;
    const double y0 = p.y * 2.0 / hSpan;
    const double y = Status()->m_bWindowYUp ? y0 - 1.0 : 1.0 - y0;
    const double r2 = x * x + y * y;
    const double z = r2 < 0.5 ? std::sqrt(1.0 - r2) : 1.0 / (2.0 * std::sqrt(r2));
    return QvPoint(x, y, z);
}

// ---- Smaller operations -------------------------------------------------------------------

void QvOpenGLRender::Flush() { glFlush(); }

void QvOpenGLRender::GetProjectionMatrix(double out[16]) const { glGetDoublev(GL_PROJECTION_MATRIX, out); }

void QvOpenGLRender::GetModelViewMatrix(double out[16]) const { glGetDoublev(GL_MODELVIEW_MATRIX, out); }

bool QvOpenGLRender::HasGeometryUnderCursor(const QvGDIPoint& p) const
{
    GLfloat depth = 1.0f;
    glReadPixels(p.x, TruncToInt(ToGLY(p.y)), 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth != 1.0f;
}

bool QvOpenGLRender::IsKindPickable(std::int32_t kind, std::uint32_t pickMask)
{
    static constexpr std::uint32_t kMasks[13] = {0,          0x3c,       0xb8,  0x118, 0x58,       0x800,     0x10000038,
                                                 0x20000039, 0x40000018, 0x80a, 0x40000039, 0x83c, 0x40000098};
    if (kind < 1 || kind > 12)
        return false;
    return (kMasks[kind] & pickMask) != 0;
}

void QvOpenGLRender::PickStencilKind(const QvGDIPoint& p)
{
    GLubyte values[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(p.x, TruncToInt(ToGLY(p.y)), 2, 2, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, values);
    QvRenderStatus* status = Status();
    status->m_pickedStencilKind = 0;
    for (GLubyte v : values)
        if (IsKindPickable(v, status->m_pickMask))
        {
            status->m_pickedStencilKind = v;
            return;
        }
}

void QvOpenGLRender::DrawAxisGizmo()
{
    if (m_height <= 0)
        return;
    const std::int32_t gizmoH = 100;
    const std::int32_t gizmoW = TruncToInt(gizmoH * static_cast<double>(m_width) / m_height);
    GLUquadric* quadric = gluNewQuadric();
    if (quadric == nullptr)
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_VIEWPORT_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_COLOR_MATERIAL);
    const double aspect = static_cast<double>(gizmoW) / gizmoH;
    for (const QvView* view : QvViewManager::Instance()->GetViews())
    {
        glViewport(view->GetOrigin().x + view->GetWidth() - gizmoW, view->GetOrigin().y, gizmoW, gizmoH);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(-aspect, aspect, -1.0, 1.0, -10.0, 10.0);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        double rotation[16];
        view->GetTransform().m_rotation.ToGLMatrixPadded(rotation);
        glMultMatrixd(rotation);
        struct Axis
        {
            float colour[3];
            double angle, ax, ay, az;
        };
        const Axis axes[3] = {{{0.5f, 0.125f, 0.125f}, 90.0, 0.0, 1.0, 0.0},
                              {{0.125f, 0.5f, 0.125f}, -90.0, 1.0, 0.0, 0.0},
                              {{0.125f, 0.125f, 0.5f}, 0.0, 0.0, 0.0, 1.0}};
        for (const Axis& axis : axes)
        {
            glPushMatrix();
            if (axis.angle != 0.0)
                glRotated(axis.angle, axis.ax, axis.ay, axis.az);
            glColor3fv(axis.colour);
            gluCylinder(quadric, 0.05, 0.05, 0.6, 32, 1);
            glTranslated(0.0, 0.0, 0.6);
            gluCylinder(quadric, 0.1, 0.0, 0.2, 32, 1);
            glPopMatrix();
        }
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glPopAttrib();
    gluDeleteQuadric(quadric);
}

void QvOpenGLRender::DrawRubberBand()
{
    const QvGDIRect& r = Status()->m_rubberBand;
    if (r.IsEmpty())
        return;
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT);
    glViewport(0, 0, m_width, m_height);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 1.0f, 0.25f);
    PushPixelMatrices();
    const double top = ToGLY(r.m_topLeft.y);
    const double bottom = ToGLY(r.m_bottomRight.y);
    glBegin(GL_QUADS);
    glVertex2d(r.m_topLeft.x, bottom);
    glVertex2d(r.m_bottomRight.x, bottom);
    glVertex2d(r.m_bottomRight.x, top);
    glVertex2d(r.m_topLeft.x, top);
    glEnd();
    PopPixelMatrices();
    glPopAttrib();
}

void QvOpenGLRender::SetIconPaths(const std::vector<std::string>& paths)
{
    if (!m_iconTextures.empty())
        glDeleteTextures(static_cast<GLsizei>(m_iconTextures.size()), m_iconTextures.data());
    m_iconTextures.clear();
    m_iconPaths = paths;
}

bool QvOpenGLRender::LoadIconTextures()
{
    m_iconTextures.reserve(m_iconPaths.size());
    for (const std::string& path : m_iconPaths)
    {
        QvImage image;
        // An unreadable icon keeps its slot with texture 0, so the strip's spacing stays.
        m_iconTextures.push_back(image.ReadFromFile(path) ? UploadImageTexture(image) : 0u);
    }
    return true;
}

void QvOpenGLRender::DrawIconStrip()
{
    if (m_iconPaths.empty())
        return;
    if (m_iconTextures.size() != m_iconPaths.size())
    {
        SetIconPaths(std::vector<std::string>(m_iconPaths));
        (void)LoadIconTextures();
    }
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, m_width, m_height);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glDepthRange(0.0, 0.0);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    PushPixelMatrices();
    for (std::size_t i = 0; i < m_iconTextures.size(); ++i)
    {
        if (m_iconTextures[i] == 0)
            continue;
        glBindTexture(GL_TEXTURE_2D, m_iconTextures[i]);
        const float x = 8.0f + 100.0f * static_cast<float>(i);
        DrawTexturedQuad(x, 8.0f, x + 36.0f, 44.0f);
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    PopPixelMatrices();
    glDepthRange(0.0, 1.0);
    glPopAttrib();
}

void QvOpenGLRender::DrawEntity(QvEntity* entity)
{
    QvView* view = m_spareViews.GetActiveView();
    if (entity == nullptr || view == nullptr)
        return;
    if (QvDrawer* drawer = QvDrawerMgr::Instance()->GetDrawer(entity->GetType()))
        drawer->Draw(entity, view->GetDrawInfo());
}
