// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/QvDrawers.h"

#include <vector>

#include "core/base/QvTypeCodes.h"
#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachGeoStdPower.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracket.h"
#include "core/design/QvBracketGeo.h"
#include "core/geometry/QvMatrix.h"
#include "core/mesh/QvMesh.h"
#include "core/model/QvGum.h"
#include "core/model/QvRoot.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"
#include "core/render/QvGL.h"
#include "core/render/QvMaterial.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvVBOHandle.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxObject.h"
#include "core/render/aux/QvCacheStuff.h"

namespace
{
constexpr GLbitfield kFiveGroups =
    GL_CURRENT_BIT | GL_LIGHTING_BIT | GL_DEPTH_BUFFER_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT;
constexpr std::uint32_t kAttachPowerKind = 0x10000080;

bool IsSelected(const QvObject* object) { return (object->m_state & kQvStateSelected) != 0; }

std::int32_t RenderMode() { return QvRenderStatus::Instance()->m_renderMode; }

void SetStencil(std::int32_t value) { glStencilFunc(GL_ALWAYS, value, 0xFF); }

// One placement pass: the matrix (null: the entity's own position) and the ghost flag.
struct Pass
{
    const QvMatrix* matrix;
    bool ghost;
};

std::vector<Pass> PassesOf(QvViewDrawInfo* info, QvEntity* entity)
{
    std::vector<Pass> passes;
    if (info != nullptr)
        for (const auto& [ghost, matrix] : info->GetEntityMatrices(entity))
            passes.push_back({&matrix, ghost});
    if (passes.empty())
        passes.push_back({nullptr, false});
    return passes;
}

void PushMatrix(const QvMatrix* matrix)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    if (matrix != nullptr)
    {
        double m[16];
        matrix->ToGLMatrix(m);
        glMultMatrixd(m);
    }
}

void PopMatrix()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// Translucent ghost colour over colour material; no material is applied.
void GhostLook(unsigned char alpha)
{
    const QvColor& c = GetGhostColor();
    glEnable(GL_COLOR_MATERIAL);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glColor4ub(static_cast<GLubyte>(c.m_r), static_cast<GLubyte>(c.m_g), static_cast<GLubyte>(c.m_b), alpha);
}

void DrawGeometry(QvMesh* mesh)
{
    if (QvVBOHandle* handle = QvVBOHandleMgr::Instance()->Prepare(mesh))
        QvDrawHandle(*handle, RenderMode());
}

// The shared pass of the jaw, gum and jaw-bone drawers.
void DrawPlainPasses(QvMesh* mesh, QvViewDrawInfo* info, GLbitfield groups, std::int32_t stencil,
                     unsigned char ghostAlpha, QvMaterialPreset preset)
{
    if (mesh == nullptr)
        return;
    QvVBOHandleMgr::Instance()->Update(mesh);
    for (const Pass& pass : PassesOf(info, mesh))
    {
        glPushAttrib(groups);
        SetStencil(stencil);
        PushMatrix(pass.matrix);
        if (pass.ghost)
        {
            glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
            GhostLook(ghostAlpha);
        }
        else
        {
            GetMaterial(IsSelected(mesh) ? QvMaterialPreset::Selected : preset).Apply();
        }
        DrawGeometry(mesh);
        if (pass.ghost)
            glPopAttrib();
        PopMatrix();
        glPopAttrib();
    }
}

void DrawFacesImmediate(const QvMesh& mesh)
{
    glBegin(GL_TRIANGLES);
    for (const QvFace& face : mesh.m_faces)
    {
        int c[3];
        face.GetVertices(c[0], c[1], c[2]);
        for (int v : c)
            if (v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size())
            {
                const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
                glVertex3d(p[0], p[1], p[2]);
            }
    }
    glEnd();
}

QvMaterialPreset ToothPreset(const QvMesh* mesh)
{
    if (IsSelected(mesh))
        return QvMaterialPreset::Selected;
    const auto* tooth = dynamic_cast<const QvTooth*>(mesh);
    if (tooth != nullptr)
    {
        switch (tooth->GetState())
        {
        case kQvToothExtracted:
            return QvMaterialPreset::ToothState5;
        case kQvToothStateP:
            return QvMaterialPreset::ToothState3;
        case kQvToothStateI:
            return QvMaterialPreset::ToothState2;
        default:
            break;
        }
        if (tooth->m_bMarked)
            return QvMaterialPreset::ToothFlagged;
    }
    if (QvRenderStatus::Instance()->m_bAltToothMaterial)
        return QvMaterialPreset::ToothAlternative;
    return QvMaterialPreset::Tooth;
}

void GlColor(const QvColor& c) { glColor3ub(static_cast<GLubyte>(c.m_r), static_cast<GLubyte>(c.m_g), static_cast<GLubyte>(c.m_b)); }

QvColor AttachmentColor(int category, bool secondMesh)
{
    switch (category)
    {
    case 3:
        return GetAttachmentGreenColor();
    case 4:
        return GetAttachmentColorByFlag(secondMesh);
    case 6:
    case 7:
        return GetAttachmentBlueColor();
    default:
        return GetAttachmentColor();
    }
}

QvMatrix Multiply(const QvMatrix& a, const QvMatrix& b)
{
    QvMatrix out(4, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[i][k] * b[k][j];
            out[i][j] = sum;
        }
    return out;
}

// Pick pass of a mesh entity whose type bit is in the pick mask: its faces under one name,
// ghost passes left out.
void PickMeshFaces(QvEntity* entity, QvViewDrawInfo* info, QvTypeCode type)
{
    auto* mesh = dynamic_cast<QvMesh*>(entity);
    if (mesh == nullptr || (QvRenderStatus::Instance()->m_pickMask & type) == 0)
        return;
    for (const Pass& pass : PassesOf(info, entity))
    {
        if (pass.ghost)
            continue;
        PushMatrix(pass.matrix);
        glPushName(static_cast<GLuint>(entity->GetID()));
        DrawFacesImmediate(*mesh);
        glPopName();
        PopMatrix();
    }
}
// Labels go inside the tooth's placement, so they follow it through every step.
void DrawToothLabels(const QvTooth* tooth, QvViewDrawInfo*)
{
    std::vector<QvAuxObject*> labels;
    QvCacheStuff::Instance().CollectToothLabels(tooth, labels);
    if (labels.empty())
        return;
    QvView* view = QvViewManager::Instance()->GetActiveView();
    for (QvAuxObject* label : labels)
        label->Draw(view);
}

} // namespace

// ---- Plain mesh ----------------------------------------------------------------------

void QvMeshDrawer::Draw(QvEntity* entity, QvViewDrawInfo*)
{
    auto* mesh = dynamic_cast<QvMesh*>(entity);
    if (mesh == nullptr)
        return;
    glPushAttrib(GL_LIGHTING_BIT);
    SetStencil(kQvStencilMesh);
    GetMaterial(IsSelected(mesh) ? QvMaterialPreset::Selected : QvMaterialPreset::Plain).Apply();
    DrawGeometry(mesh);
    glPopAttrib();
}

// ---- Tooth -----------------------------------------------------------------------------

void QvToothDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    auto* mesh = dynamic_cast<QvMesh*>(entity);
    if (mesh == nullptr)
        return;
    QvVBOHandleMgr::Instance()->Update(mesh);
    const auto* tooth = dynamic_cast<const QvTooth*>(mesh);
    QvRoot* root = (tooth != nullptr && tooth->IsRootShown()) ? tooth->GetRoot() : nullptr;
    for (const Pass& pass : PassesOf(info, entity))
    {
        glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
        SetStencil(kQvStencilTooth);
        PushMatrix(pass.matrix);
        if (pass.ghost)
        {
            glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
            GhostLook(kQvToothGhostAlpha);
        }
        else
        {
            GetMaterial(ToothPreset(mesh)).Apply();
        }
        DrawGeometry(mesh);
        if (pass.ghost)
            glPopAttrib();
        glPopAttrib();
        if (!pass.ghost && tooth != nullptr)
            DrawToothLabels(tooth, info);

        if (root != nullptr)
        {
            glPushAttrib(GL_CURRENT_BIT | GL_LIGHTING_BIT);
            if (pass.ghost)
            {
                glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
                GhostLook(kQvRootGhostAlpha);
            }
            else
            {
                GetMaterial(IsSelected(root) ? QvMaterialPreset::Selected : QvMaterialPreset::Root).Apply();
            }
            DrawGeometry(root);
            if (pass.ghost)
                glPopAttrib();
            glPopAttrib();
        }
        PopMatrix();
    }
}

void QvToothDrawer::DrawSelect(QvEntity* entity, QvGDIPoint*, QvViewDrawInfo* info)
{
    PickMeshFaces(entity, info, kQvTypeTooth);
}

// ---- Gum, jaw, jaw bone ------------------------------------------------------------------

void QvGumDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    auto* gum = dynamic_cast<QvGum*>(entity);
    if (gum == nullptr)
        return;
    QvMesh* mesh = gum;
    if (info != nullptr)
        if (QvGum* stepGum = info->GetGum(gum->IsUpper()))
            mesh = stepGum;
    DrawPlainPasses(mesh, info, GL_CURRENT_BIT | GL_LIGHTING_BIT, kQvStencilGum, kQvGhostAlpha,
                    QvMaterialPreset::Gum);
}

void QvJawDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    DrawPlainPasses(dynamic_cast<QvMesh*>(entity), info, GL_CURRENT_BIT | GL_LIGHTING_BIT, kQvStencilJaw,
                    kQvGhostAlpha, QvMaterialPreset::Plain);
}

void QvJawBoneDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    DrawPlainPasses(dynamic_cast<QvMesh*>(entity), info, kFiveGroups, kQvStencilJawBone, 255,
                    QvMaterialPreset::JawBone);
}

// ---- Attachment ----------------------------------------------------------------------------

void QvAttachmentDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    auto* attachment = dynamic_cast<QvAttachment*>(entity);
    if (attachment == nullptr || attachment->m_pTooth == nullptr ||
        (attachment->m_pTooth->m_state & kQvStateShown) == 0)
        return;
    QvAttachGeo* geo = attachment->GetGeometry();
    if (geo == nullptr)
        return;
    QvVBOHandleMgr::Instance()->Update(geo);
    QvMesh* second = nullptr;
    if (static_cast<std::uint32_t>(geo->GetKindCode()) == kAttachPowerKind)
        if (auto* power = dynamic_cast<QvAttachGeoStdPower*>(geo))
            second = power->GetSecondMesh();
    if (second != nullptr)
        QvVBOHandleMgr::Instance()->Update(second);
    const QvRenderStatus* status = QvRenderStatus::Instance();
    const int category = geo->GetCategory();
    const bool selected = IsSelected(attachment);

    enum class Kind { Hidden, Normal, Second };
    std::vector<Kind> kinds;
    if (status->m_bAttachHiddenPass && category == 3)
        kinds.push_back(Kind::Hidden);
    kinds.push_back(Kind::Normal);
    if (status->m_bPowerSecondMesh && second != nullptr)
        kinds.push_back(Kind::Second);

    QvMatrix display(4, 4);
    attachment->GetDrawMatrix(display);
    const QvMatrix& own = attachment->m_matrix;
    for (const Pass& pass : PassesOf(info, entity))
        for (const Kind kind : kinds)
        {
            glPushAttrib(kFiveGroups);
            SetStencil(kQvStencilAttachment);
            QvMatrix matrix = pass.matrix != nullptr ? *pass.matrix : own;
            if (kind == Kind::Second)
            {
                const QvMatrix displayOwn = Multiply(display, own);
                if (pass.matrix != nullptr)
                {
                    QvMatrix ownInverse = own;
                    if (!ownInverse.Invert())
                        ownInverse.SetIdentity();
                    matrix = Multiply(Multiply(*pass.matrix, ownInverse), displayOwn);
                }
                else
                {
                    matrix = displayOwn;
                }
            }
            PushMatrix(&matrix);
            if (pass.ghost)
            {
                GhostLook(kQvGhostAlpha);
            }
            else if (selected)
            {
                GetMaterial(QvMaterialPreset::Selected).Apply();
                if (kind == Kind::Hidden)
                {
                    glEnable(GL_DEPTH_TEST);
                    glDepthFunc(GL_GREATER);
                    glDepthMask(GL_FALSE);
                }
            }
            else
            {
                GetMaterial(QvMaterialPreset::Attachment).Apply();
                glEnable(GL_COLOR_MATERIAL);
                const QvColor c = AttachmentColor(category, kind == Kind::Second);
                if (kind == Kind::Second)
                {
                    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                    glEnable(GL_BLEND);
                    glColor4ub(static_cast<GLubyte>(c.m_r), static_cast<GLubyte>(c.m_g),
                               static_cast<GLubyte>(c.m_b), 160);
                }
                else if (kind == Kind::Hidden)
                {
                    glEnable(GL_DEPTH_TEST);
                    glDepthFunc(GL_GREATER);
                    glDepthMask(GL_FALSE);
                    glColor3ub(0, static_cast<GLubyte>(static_cast<int>(c.m_g * 0.7)), 0);
                }
                else
                {
                    GlColor(c);
                }
            }
            DrawGeometry(kind == Kind::Second ? second : geo);
            PopMatrix();
            glPopAttrib();
        }
}

// ---- Bracket -------------------------------------------------------------------------------

void QvBracketDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    auto* bracket = dynamic_cast<QvBracket*>(entity);
    if (bracket == nullptr || bracket->m_pGeo == nullptr)
        return;
    QvMesh* mesh = bracket->m_pGeo;
    QvVBOHandleMgr::Instance()->Update(mesh);
    for (const Pass& pass : PassesOf(info, entity))
    {
        glPushAttrib(kFiveGroups);
        SetStencil(kQvStencilBracket);
        PushMatrix(pass.matrix != nullptr ? pass.matrix : &bracket->m_matrix);
        if (pass.ghost)
        {
            GhostLook(kQvGhostAlpha);
        }
        else if (IsSelected(bracket))
        {
            GetMaterial(QvMaterialPreset::Selected).Apply();
        }
        else
        {
            GetMaterial(QvMaterialPreset::Bracket).Apply();
            glEnable(GL_COLOR_MATERIAL);
            glColor3ub(178, 178, 178);
        }
        DrawGeometry(mesh);
        PopMatrix();
        glPopAttrib();
    }
}

void QvBracketDrawer::DrawSelect(QvEntity* entity, QvGDIPoint* pickPoint, QvViewDrawInfo* info)
{
    auto* bracket = dynamic_cast<QvBracket*>(entity);
    if (bracket == nullptr || bracket->m_pGeo == nullptr)
        return;
    const QvMesh& mesh = *bracket->m_pGeo;
    const std::uint32_t mask = QvRenderStatus::Instance()->m_pickMask;
    for (const Pass& pass : PassesOf(info, entity))
    {
        PushMatrix(pass.matrix != nullptr ? pass.matrix : &bracket->m_matrix);
        if ((mask & 0x20000000u) != 0 || (mask & 1u) != 0)
        {
            glPushName(static_cast<GLuint>(entity->GetID()));
            DrawFacesImmediate(mesh);
            glPopName();
        }
        else if ((mask & kQvTypeFace) != 0)
        {
            for (const QvFace& face : mesh.m_faces)
            {
                int c[3];
                face.GetVertices(c[0], c[1], c[2]);
                glPushName(static_cast<GLuint>(face.m_index));
                glBegin(GL_TRIANGLES);
                for (int v : c)
                    if (v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size())
                    {
                        const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
                        glVertex3d(p[0], p[1], p[2]);
                    }
                glEnd();
                glPopName();
            }
        }
        else if ((mask & kQvTypeEdge) != 0)
        {
            for (const QvEdge& edge : mesh.m_edges)
            {
                glPushName(static_cast<GLuint>(edge.m_index));
                glBegin(GL_LINES);
                for (int v : edge.m_vertices)
                    if (v >= 0 && static_cast<std::size_t>(v) < mesh.m_vertices.size())
                    {
                        const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
                        glVertex3d(p[0], p[1], p[2]);
                    }
                glEnd();
                glPopName();
            }
        }
        else if ((mask & kQvTypeVertex) != 0 && pickPoint != nullptr)
        {
            std::vector<int> near;
            CollectVerticesNearPoint(mesh.m_vertices, *pickPoint, near);
            for (int v : near)
            {
                const QvPoint& p = mesh.m_vertices[static_cast<std::size_t>(v)].m_point;
                glPushName(static_cast<GLuint>(mesh.m_vertices[static_cast<std::size_t>(v)].m_index));
                glBegin(GL_POINTS);
                glVertex3d(p[0], p[1], p[2]);
                glEnd();
                glPopName();
            }
        }
        PopMatrix();
    }
}

// ---- Virtual tooth -----------------------------------------------------------------------

void QvToothVirtualDrawer::Draw(QvEntity* entity, QvViewDrawInfo* info)
{
    auto* mesh = dynamic_cast<QvMesh*>(entity);
    if (mesh == nullptr)
        return;
    QvVBOHandleMgr::Instance()->Update(mesh);
    for (const Pass& pass : PassesOf(info, entity))
    {
        glPushAttrib(kFiveGroups);
        SetStencil(kQvStencilVirtualTooth);
        PushMatrix(pass.matrix);
        if (pass.ghost)
        {
            GhostLook(kQvGhostAlpha);
        }
        else
        {
            glEnable(GL_COLOR_MATERIAL);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            glEnable(GL_BLEND);
            glDepthMask(GL_FALSE);
            glColor4ub(199, 180, 110, 120);
        }
        DrawGeometry(mesh);
        PopMatrix();
        glPopAttrib();
    }
}

void QvToothVirtualDrawer::DrawSelect(QvEntity* entity, QvGDIPoint*, QvViewDrawInfo* info)
{
    PickMeshFaces(entity, info, kQvTypeVirtualTooth);
}
