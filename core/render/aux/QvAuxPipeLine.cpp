// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/render/aux/QvAuxPipeLine.h"

#include "core/base/QvTypeCodes.h"
#include "core/geometry/QvCircle.h"
#include "core/mesh/QvCreateSweepMeshCommand.h"
#include "core/mesh/QvMesh.h"
#include "core/render/QvGL.h"
#include "core/render/QvVBOHandle.h"

QvAuxPipeLine::QvAuxPipeLine() : QvAuxObject(false) {}

QvAuxPipeLine::QvAuxPipeLine(QvBSplineCurve* curve) : QvAuxPipeLine() { SetCurve(curve); }

QvAuxPipeLine::~QvAuxPipeLine() { ClearMesh(); }

QvTypeCode QvAuxPipeLine::GetType() const { return kQvTypeAuxPipeLine; }

bool QvAuxPipeLine::IsKindOf(QvTypeCode code) const
{
    return code == kQvTypeAuxPipeLine || QvAuxObject::IsKindOf(code);
}

double QvAuxPipeLine::TubeRadius(std::int32_t style) { return style == 0 ? 0.2 : style == 1 ? 0.15 : 0.05; }

double QvAuxPipeLine::SampleStep(std::int32_t mode) { return mode == 0 ? 0.05 : mode == 1 ? 0.01 : 0.002; }

void QvAuxPipeLine::ClearMesh()
{
    if (m_pMesh == nullptr)
        return;
    QvVBOHandleMgr::Instance()->Remove(m_pMesh);
    delete m_pMesh;
    m_pMesh = nullptr;
}

void QvAuxPipeLine::SetCurve(QvBSplineCurve* curve)
{
    ClearMesh();
    if (curve == nullptr)
        return;
    QvCircle profile(QvPoint(0, 0, 0), TubeRadius(m_tubeStyle), QvVector(0, 0, 1));
    QvCreateSweepMeshCommand sweep(curve, &profile, SampleStep(m_stepMode));
    if (sweep.Execute())
    {
        m_pMesh = sweep.GetMesh();
        m_pMesh->m_bModified = true;
    }
}

void QvAuxPipeLine::Draw(QvView* view)
{
    if (m_pMesh == nullptr)
        return;
    DrawPasses(view);
}

void QvAuxPipeLine::DrawPass(QvView*, std::int32_t pass)
{
    glPushAttrib(GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_COLOR_BUFFER_BIT);
    BeginPass(pass);
    // Hidden parts blend in the full colour: a tube stays readable behind the crowns.
    QvAuxColor3(m_clr);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    QvVBOHandleMgr* mgr = QvVBOHandleMgr::Instance();
    if (m_pMesh->m_bModified)
        mgr->Update(m_pMesh);
    const QvVBOHandle* handle = mgr->Find(m_pMesh);
    if (handle == nullptr)
        handle = mgr->Prepare(m_pMesh);
    if (handle != nullptr)
    {
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, handle->m_vertexBuffer);
        glVertexPointer(3, GL_FLOAT, 0, nullptr);
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, handle->m_normalBuffer);
        glNormalPointer(GL_FLOAT, 0, nullptr);
        glDrawArrays(GL_TRIANGLES, 0, 3 * static_cast<GLsizei>(m_pMesh->m_faces.size()));
        glBindBufferARB(GL_ARRAY_BUFFER_ARB, 0);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    glPopAttrib();
}
