// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxFace.h"

#include <algorithm>
#include <memory>

#include "core/geometry/QvMatrix.h"
#include "core/geometry/QvPolyline.h"
#include "core/mesh/QvMesh.h"
#include "core/render/QvGL.h"
#include "core/render/QvOpenGLRender.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/aux/QvAuxPoint.h"

namespace
{
bool ValidCorner(const QvMesh& mesh, int v) { return v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size(); }

// The corners of every face of a fill, three by three; faces with a corner outside
// the mesh are skipped.
template <class Emit>
void ForEachFillCorner(const QvMesh& fill, Emit emit)
{
    for (const QvFace& face : fill.m_faces)
    {
        int c[3];
        face.GetVertices(c[0], c[1], c[2]);
        if (ValidCorner(fill, c[0]) && ValidCorner(fill, c[1]) && ValidCorner(fill, c[2]))
            for (int v : c)
                emit(fill.m_vertices[static_cast<std::size_t>(v)].m_point);
    }
}

// The three corners of a listed face, or false when the face or a corner lies outside the mesh.
bool FaceCorners(const QvMesh& mesh, int face, int c[3])
{
    if (face < 0 || static_cast<std::size_t>(face) >= mesh.m_faces.size())
        return false;
    mesh.m_faces[static_cast<std::size_t>(face)].GetVertices(c[0], c[1], c[2]);
    return ValidCorner(mesh, c[0]) && ValidCorner(mesh, c[1]) && ValidCorner(mesh, c[2]);
}

void Vertex(const QvPoint& p) { glVertex3d(p[0], p[1], p[2]); }

const QvColor& OrGrey(const QvColor& clr) { return clr.IsValid() ? clr : kQvAuxMidGrey; }
} // namespace

// ---- Face map ----------------------------------------------------------------------------------

QvAuxFace::QvAuxFace() : QvAuxObject(false) { m_hitPriority = 1; }

QvAuxFace::QvAuxFace(QvMesh* mesh) : QvAuxObject(false), m_pMesh(mesh) { m_hitPriority = 1; }

QvTypeCode QvAuxFace::GetType() const { return kQvTypeAuxFace; }

bool QvAuxFace::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxFace || QvAuxObject::IsKindOf(code); }

void QvAuxFace::SetVertexColor(int vertex, const QvColor& clr) { m_vertexClrs[vertex] = clr; }

void QvAuxFace::Draw(QvView* view)
{
    if (!IsShown() || m_faces.empty() || m_pMesh == nullptr)
        return;
    const QvMesh& mesh = *m_pMesh;
    bool placed = false;
    if (view != nullptr)
    {
        const QvViewDrawInfo::MatrixMap& placements = view->GetDrawInfo()->GetEntityMatrices(m_pMesh);
        if (!placements.empty())
        {
            double m[16];
            placements.begin()->second.ToGLMatrix(m);
            glMatrixMode(GL_MODELVIEW);
            glPushMatrix();
            glMultMatrixd(m);
            placed = true;
        }
    }
    int c[3];
    if (m_bUniformColor)
    {
        glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        QvAuxColor4(OrGrey(m_uniformClr), 128);
        glBegin(GL_TRIANGLES);
        for (int face : m_faces)
            if (FaceCorners(mesh, face, c))
                for (int v : c)
                    Vertex(mesh.m_vertices[static_cast<std::size_t>(v)].m_point);
        glEnd();
    }
    else
    {
        glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        glShadeModel(GL_SMOOTH);
        glBegin(GL_TRIANGLES);
        for (int face : m_faces)
            if (FaceCorners(mesh, face, c))
                for (int v : c)
                {
                    const auto it = m_vertexClrs.find(v);
                    QvAuxColor4(it != m_vertexClrs.end() ? OrGrey(it->second) : kQvAuxMidGrey, 255);
                    Vertex(mesh.m_vertices[static_cast<std::size_t>(v)].m_point);
                }
        glEnd();
    }
    glPopAttrib();
    if (placed)
    {
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
}

// ---- Grid ---------------------------------------------------------------------------------------------

QvAuxGrid::QvAuxGrid() : QvAuxObject(false) {}

QvTypeCode QvAuxGrid::GetType() const { return kQvTypeAuxGrid; }

bool QvAuxGrid::IsKindOf(QvTypeCode code) const { return code == kQvTypeAuxGrid || QvAuxObject::IsKindOf(code); }

const QvColor& QvAuxGrid::MajorColor()
{
    static const QvColor colour(214, 185, 48);
    return colour;
}

const QvColor& QvAuxGrid::MinorColor()
{
    static const QvColor colour(159, 175, 191);
    return colour;
}

void QvAuxGrid::Draw(QvView* view)
{
    if (!IsShown())
        return;
    const double margin = static_cast<int>(QvRenderStatus::Instance()->m_backingScale * 75.0);
    DrawGrid(view, margin, false);
    if (!m_bFrontMost && m_bDrawHidden)
        DrawGrid(view, margin, false);
}

void QvAuxGrid::DrawArrays(QvView* view)
{
    if (!IsShown())
        return;
    DrawGrid(view, 75.0, true);
    if (!m_bFrontMost && m_bDrawHidden)
        DrawGrid(view, 75.0, true);
}

void QvAuxGrid::DrawGrid(QvView* view, double margin, bool arrays) const
{
    if (view == nullptr)
        return;
    const int m = static_cast<int>(margin);
    const QvGDIPoint origin = view->GetOrigin();
    const QvGDIPoint A(origin.x + m, origin.y + m);
    const QvGDIPoint B(A.x, origin.y + view->GetHeight() - m);
    const QvGDIPoint R(origin.x + view->GetWidth() - m, A.y);
    const QvPoint PA = m_pRender->UnProject(view, A, 0.05);
    const QvPoint PB = m_pRender->UnProject(view, B, 0.05);
    const QvPoint PR = m_pRender->UnProject(view, R, 0.05);
    QvVector u = PR - PA, v = PB - PA;
    const int nu = static_cast<int>(u.Length() + 0.5);
    const int nv = static_cast<int>(v.Length() + 0.5);
    u.Normalize();
    v.Normalize();

    // Segments as (major?, from, to).
    struct Segment
    {
        bool major;
        QvPoint a, b;
    };
    std::vector<Segment> segments;
    segments.reserve(static_cast<std::size_t>(std::max(0, nu) + std::max(0, nv)));
    for (int i = 0; i < nu; ++i)
        segments.push_back({i % 5 == 0, PA + u * i, PB + u * i});
    for (int j = 0; j < nv; ++j)
        segments.push_back({j % 5 == 0, PA + v * j, PR + v * j});

    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_LINE_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glLineWidth(1.0f);
    if (arrays)
    {
        std::vector<float> lines[2];
        for (const Segment& s : segments)
            for (const QvPoint* p : {&s.a, &s.b})
                for (int k = 0; k < 3; ++k)
                    lines[s.major ? 1 : 0].push_back(static_cast<float>((*p)[k]));
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glBindBufferARB(GL_ARRAY_BUFFER, 0);
        glEnableClientState(GL_VERTEX_ARRAY);
        for (int major = 0; major < 2; ++major)
            if (!lines[major].empty())
            {
                QvAuxColor3(major != 0 ? MajorColor() : MinorColor());
                glVertexPointer(3, GL_FLOAT, 0, lines[major].data());
                glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(lines[major].size() / 3));
            }
        glPopClientAttrib();
    }
    else
    {
        glBegin(GL_LINES);
        for (const Segment& s : segments)
        {
            QvAuxColor3(s.major ? MajorColor() : MinorColor());
            Vertex(s.a);
            Vertex(s.b);
        }
        glEnd();
    }
    glPopAttrib();
}

// ---- Billboard --------------------------------------------------------------------------------------

QvAuxBillBoard::QvAuxBillBoard() : QvAuxObject(false) {}

QvAuxBillBoard::~QvAuxBillBoard() { ClearOutlines(); }

QvTypeCode QvAuxBillBoard::GetType() const { return kQvTypeAuxBillBoard; }

bool QvAuxBillBoard::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxBillBoard || QvAuxObject::IsKindOf(code);
}

void QvAuxBillBoard::AddPolygon(const std::vector<QvPoint>& points)
{
    if (points.empty())
        return;
    auto outline = std::make_unique<QvPolyline>(points);
    std::unique_ptr<QvMesh> fill = QvMesh::CreateFromPolygon(*outline);
    if (fill == nullptr)
        return;
    m_outlines.emplace_back(fill.release(), outline.release());
}

void QvAuxBillBoard::AddColor(const QvColor& clr) { m_colors.push_back(clr); }

void QvAuxBillBoard::ClearOutlines()
{
    for (auto& [mesh, polyline] : m_outlines)
    {
        delete mesh;
        delete polyline;
    }
    m_outlines.clear();
    m_colors.clear();
}

void QvAuxBillBoard::SetRect(double x, double y, int width, int height)
{
    m_rectX = x;
    m_rectY = y;
    m_rectWidth = width;
    m_rectHeight = height;
}

void QvAuxBillBoard::Draw(QvView* view)
{
    if (!IsShown())
        return;
    if (m_mode == 2)
        DrawOutlines(view, false);
    else
        DrawRect(view);
}

void QvAuxBillBoard::DrawArrays(QvView* view)
{
    if (!IsShown())
        return;
    if (m_mode == 2)
        DrawOutlines(view, true);
    else
        DrawRect(view);
}

void QvAuxBillBoard::DrawRect(QvView* view) const
{
    if (view == nullptr)
        return;
    const double W = view->GetWidth(), H = view->GetHeight();
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_LINE_BIT |
                 GL_COLOR_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, W, 0.0, H);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    if (m_mode == 1)
    {
        const double x = m_rectX, y = m_rectY;
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4ub(0, 0, 255, 64);
        glBegin(GL_QUADS);
        glVertex2d(x, H - y);
        glVertex2d(x, H - y + m_rectHeight);
        glVertex2d(x + m_rectWidth, H - y + m_rectHeight);
        glVertex2d(x + m_rectWidth, H - y);
        glEnd();
    }
    else
    {
        const double X = static_cast<int>(W * m_rectX), Y = static_cast<int>(H * m_rectY);
        glColor3ub(0, 0, 0);
        glLineWidth(2.0f);
        glBegin(GL_LINE_LOOP);
        glVertex2d(X, Y);
        glVertex2d(X, Y + m_rectHeight);
        glVertex2d(X + m_rectWidth, Y + m_rectHeight);
        glVertex2d(X + m_rectWidth, Y);
        glEnd();
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}

void QvAuxBillBoard::DrawOutlines(QvView* view, bool arrays) const
{
    glPushAttrib(GL_CURRENT_BIT | GL_POINT_BIT | GL_LINE_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT |
                 GL_ENABLE_BIT | GL_POLYGON_BIT);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1.0f, 0.0f);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    for (std::size_t i = 0; i < m_outlines.size(); ++i)
    {
        const QvMesh& fill = *m_outlines[i].first;
        // An outline without a colour of its own is mid grey.
        QvAuxColor3(i < m_colors.size() ? OrGrey(m_colors[i]) : kQvAuxMidGrey);
        if (arrays)
        {
            std::vector<float> xyz;
            xyz.reserve(fill.m_faces.size() * 9);
            ForEachFillCorner(fill, [&xyz](const QvPoint& p) {
                for (int k = 0; k < 3; ++k)
                    xyz.push_back(static_cast<float>(p[k]));
            });
            glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
            glBindBufferARB(GL_ARRAY_BUFFER, 0);
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, xyz.data());
            glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(xyz.size() / 3));
            glPopClientAttrib();
        }
        else
        {
            glBegin(GL_TRIANGLES);
            ForEachFillCorner(fill, [](const QvPoint& p) { Vertex(p); });
            glEnd();
        }
        QvAuxPolyline border;
        border.m_clr = QvColor(0, 0, 0);
        border.m_lineWidth = 1.0;
        border.m_type = 1;
        border.SetPoints(m_outlines[i].second->m_points);
        if (arrays)
            border.DrawArrays(view);
        else
            border.Draw(view);
    }
    glPopAttrib();
}

void QvAuxBillBoard::DrawInset(QvView* view) const
{
    if (view == nullptr || !IsShown() || m_rectWidth <= 0 || m_rectHeight <= 0)
        return;
    const double W = view->GetWidth(), H = view->GetHeight();
    const double x = m_rectX, y = H - m_rectY; // the panel's lower-left corner
    GLint saved[4];
    glGetIntegerv(GL_VIEWPORT, saved);
    glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_LINE_BIT |
                 GL_COLOR_BUFFER_BIT | GL_VIEWPORT_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0.0, W, 0.0, H);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4d(m_clr.m_r / 255.0, m_clr.m_g / 255.0, m_clr.m_b / 255.0, 60.0 / 255.0);
    glBegin(GL_QUADS);
    glVertex2d(x, y);
    glVertex2d(x, y + m_rectHeight);
    glVertex2d(x + m_rectWidth, y + m_rectHeight);
    glVertex2d(x + m_rectWidth, y);
    glEnd();
    glDisable(GL_BLEND);

    const QvVector extent = m_bbox.m_maxPoint - m_bbox.m_minPoint;
    if (!m_outlines.empty() && extent[0] > 0.0 && extent[1] > 0.0)
    {
        const double high = 0.8 * m_rectHeight;
        const double wide = high * extent[0] / extent[1];
        glViewport(static_cast<GLint>(saved[0] + x + (m_rectWidth - wide) / 2.0),
                   static_cast<GLint>(saved[1] + y + (m_rectHeight - high) / 2.0), static_cast<GLsizei>(wide),
                   static_cast<GLsizei>(high));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluOrtho2D(m_bbox.m_minPoint[0], m_bbox.m_maxPoint[0], m_bbox.m_minPoint[1], m_bbox.m_maxPoint[1]);
        glMatrixMode(GL_MODELVIEW);
        for (std::size_t i = 0; i < m_outlines.size(); ++i)
        {
            const QvMesh& fill = *m_outlines[i].first;
            QvAuxColor3(i < m_colors.size() ? OrGrey(m_colors[i]) : kQvAuxMidGrey);
            glBegin(GL_TRIANGLES);
            ForEachFillCorner(fill, [](const QvPoint& p) { glVertex2d(p[0], p[1]); });
            glEnd();
        }
        glColor3ub(0, 0, 0);
        glLineWidth(1.0f);
        for (const auto& outline : m_outlines)
        {
            glBegin(GL_LINE_STRIP);
            for (const QvPoint& p : outline.second->m_points)
                glVertex2d(p[0], p[1]);
            glEnd();
        }
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
    glViewport(saved[0], saved[1], saved[2], saved[3]);
}

void QvAuxBillBoard::UpdateBBox()
{
    if (m_outlines.empty())
        return;
    QvPoint lo(1e8, 1e8, 1e8), hi(-1e8, -1e8, -1e8);
    for (const auto& outline : m_outlines)
        for (const QvPoint& p : outline.second->m_points)
            for (int k = 0; k < 3; ++k)
            {
                lo[k] = std::min(lo[k], p[k]);
                hi[k] = std::max(hi[k], p[k]);
            }
    m_bbox.Set(lo, hi);
}
