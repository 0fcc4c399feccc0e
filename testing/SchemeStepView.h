// SPDX-License-Identifier: GPL-3.0-or-later
// Puts a scheme's step on the views of the view manager the way the design window
// shows a step: present teeth shown at their step placement, extracted and hidden
// teeth hidden, the scheme's virtual teeth in the case model at their placement, the
// step's gums, the attachments of the step added to the case model on their teeth, and
// the lower jaw bone and hinge axis moved with the lower jaw. For the tools and tests that draw a case headless;
// header-only, so that only programs linking the renderer compile it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachment.h"
#include "core/geometry/QvMatrix.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvModel.h"
#include "core/model/QvToothBase.h"
#include "core/model/QvVirtualTooth.h"
#include "core/render/QvViewManager.h"
#include "core/scheme/QvGumMgr.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvTreatStep.h"
#include "core/scheme/QvTreatStepList.h"

namespace qvtest {

// The step shown (a negative step or one past the last gives the last) or -1 when the
// scheme has no step. Attachments and virtual teeth in the model are taken out of it
// first (not deleted: the schemes own them).
inline int ShowSchemeStep(QvModel& model, QvScheme& scheme, int step)
{
    const int count = scheme.GetStepCount();
    if (count <= 0)
        return -1;
    if (step < 0 || step >= count)
        step = count - 1;
    QvViewManager* views = QvViewManager::Instance();

    std::vector<QvToothBase*> present;
    scheme.GetTeeth(present);
    for (QvEntity* entity : model.m_teeth)
        entity->SetVisible(std::find(present.begin(), present.end(), entity) != present.end());
    for (QvToothBase* tooth : present)
        if (const QvTreatStep* placed = scheme.FindStep(step, tooth))
            views->SetEntityMatrix(tooth, *placed->GetMatrix(), false);

    for (QvEntity* listed : std::vector<QvEntity*>(model.m_virtualTeeth))
        model.RemoveEntity(listed->GetID(), false);
    for (QvToothBase* tooth : scheme.GetVirtualTeeth())
        model.AddEntity(tooth);

    QvGumMgr& gums = scheme.GetGumMgr();
    views->SetGums(gums.FindGum(step, true), gums.FindGum(step, false));

    for (QvEntity* shown : std::vector<QvEntity*>(model.m_attachments))
        model.RemoveEntity(shown->GetID(), false);
    for (QvToothBase* tooth : present)
    {
        const QvTreatStep* placed = scheme.FindStep(step, tooth);
        std::vector<QvAttachment*> attachments;
        scheme.GetAttachmentsAtStep(tooth, step, attachments);
        for (QvAttachment* attachment : attachments)
        {
            const QvAttachGeo* geo = attachment->GetGeometry();
            if (geo == nullptr || geo->GetKindCode() == kQvAttachKindLowerDev)
                continue;
            attachment->SetVisible((tooth->m_state & kQvStateShown) != 0);
            model.AddEntity(attachment);
            views->SetEntityMatrix(attachment,
                                   placed != nullptr ? *placed->GetMatrix() * attachment->m_matrix
                                                     : attachment->m_matrix,
                                   false);
        }
    }

    QvMatrix lowerJaw(4, 4);
    lowerJaw.SetIdentity();
    if (const QvTreatStepList* list = scheme.GetStepList(step))
        lowerJaw = list->m_jawMatrix;
    if (QvJawBone* bone = model.GetJawBone(false))
        views->SetEntityMatrix(bone, lowerJaw, false);
    if (QvHingeAxis* hinge = model.GetHingeAxis())
        views->SetEntityMatrix(hinge, lowerJaw, false);

    for (QvToothBase* base : scheme.GetVirtualTeeth())
    {
        auto* tooth = dynamic_cast<QvVirtualTooth*>(base);
        const QvTreatStep* placed = scheme.FindStep(step, base);
        if (tooth == nullptr || placed == nullptr)
            continue;
        QvMatrix matrix = *placed->GetMatrix() * tooth->m_matrix;
        // A kind-1 tooth does not exist before its start step.
        if (tooth->m_nKind == 1 && step < tooth->m_nStartStep)
            matrix = QvMatrix(4, 4);
        views->SetEntityMatrix(tooth, matrix, false);
    }
    return step;
}

} // namespace qvtest
