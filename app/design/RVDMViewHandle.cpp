// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/RVDMViewHandle.h"

#include "app/design/RVDMDrawStatus.h"
#include "app/design/RVDMOprationManager.h"
#include "app/design/RVModelManager.h"
#include "app/design/RivelaDoc.h"
#include "core/base/QvObject.h"
#include "core/collision/QvCollisionDetectMgr.h"
#include "core/design/QvAttachGeo.h"
#include "core/design/QvAttachment.h"
#include "core/design/QvBracket.h"
#include "core/model/QvGum.h"
#include "core/model/QvHingeAxis.h"
#include "core/model/QvJaw.h"
#include "core/model/QvJawBone.h"
#include "core/model/QvModel.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothBase.h"
#include "core/model/QvToothList.h"
#include "core/model/QvVirtualTooth.h"
#include "core/render/QvView.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/scheme/QvClinicalInfo.h"
#include "core/scheme/QvGumMgr.h"
#include "core/scheme/QvScheme.h"
#include "core/scheme/QvSchemeMgr.h"
#include "core/scheme/QvTreatStep.h"
#include "core/scheme/QvTreatStepList.h"

#include <algorithm>
#include <vector>

namespace {

QvViewManager& Views() { return *QvViewManager::Instance(); }

QvView* ResolveView(QvView* view) { return view ? view : Views().GetActiveView(); }

QvScheme* ResolveScheme(QvScheme* scheme, const QvView* view)
{
    if (scheme)
        return scheme;
    return view ? RVDMDrawStatus::shared().schemeWithViewId(view->GetID()) : nullptr;
}

// The step itself, or the last one when it is beyond; -1 when the count is 0.
int Clamp(int step, int count) { return step >= count ? count - 1 : step; }

QvMatrix Identity4()
{
    QvMatrix m(4, 4);
    m.SetIdentity();
    return m;
}

// The lower-jaw (bite) transform of the step, identity when the step has no list.
QvMatrix LowerJawAt(const QvScheme& scheme, int step)
{
    if (const QvTreatStepList* list = scheme.GetStepList(step))
        return list->m_jawMatrix;
    return Identity4();
}

bool ToothIsUpper(const QvToothBase* tooth) { return tooth && tooth->IsUpper(); }

std::vector<QvAttachment*> SchemeAttachments(const QvScheme* scheme)
{
    std::vector<QvAttachment*> out;
    if (scheme)
        scheme->GetAllAttachments(out);
    return out;
}

template <typename T>
bool Contains(const std::vector<T*>& list, const void* item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool IsLowerDev(const QvAttachment* attachment)
{
    const QvAttachGeo* geo = attachment->GetGeometry();
    return geo == nullptr || geo->GetKindCode() == kQvAttachKindLowerDev;
}

QvMatrix AttachmentPlacement(const QvScheme& scheme, int step, const QvToothBase* tooth, const QvAttachment& a)
{
    const QvTreatStep* placed = scheme.FindStep(step, tooth);
    return placed ? *placed->GetMatrix() * a.m_matrix : a.m_matrix;
}

// The overlay cache of the view, bound to the scheme; null without a renderer.
QvCacheStuff* CacheOf(QvView* view, QvScheme* scheme)
{
    QvAuxRender* aux = RVDMDrawStatus::shared().auxRender();
    if (!aux)
        return nullptr;
    QvCacheStuff* cache = aux->GetViewCache(view->GetID());
    cache->m_pModel = scheme->GetModel();
    cache->m_pScheme = scheme;
    cache->m_pView = view;
    return cache;
}

// The overlay cache for a view and scheme given or taken from the active view;
// null when either is missing.
QvCacheStuff* OverlayCache(QvView*& view, QvScheme*& scheme)
{
    view = ResolveView(view);
    scheme = ResolveScheme(scheme, view);
    return view && scheme ? CacheOf(view, scheme) : nullptr;
}

void ShowJaws(QvView* view, bool upper, bool lower)
{
    RVDMViewHandle::viewShowJaw(view, upper, true, false);
    RVDMViewHandle::viewShowJaw(view, lower, false, false);
}

} // namespace

std::shared_ptr<RivelaDoc> RVDMViewHandle::currentDocument() { return RVModelManager::shared().currentDocument(); }

QvModel* RVDMViewHandle::getModel()
{
    const std::shared_ptr<RivelaDoc> document = currentDocument();
    return document ? document->getModel() : nullptr;
}

// ---------------------------------------------------------------- visibility

void RVDMViewHandle::viewShowJaw(QvView* view, bool show, bool isUp, bool setJaw)
{
    QvModel* model = getModel();
    view = ResolveView(view);
    if (!model || !view)
        return;
    QvScheme* scheme = RVDMDrawStatus::shared().schemeWithViewId(view->GetID());
    std::vector<QvEntity*> list;
    if (setJaw)
        for (QvEntity* jaw : model->m_jaws)
            if (static_cast<QvJaw*>(jaw)->IsUpper() == isUp)
                list.push_back(jaw);
    for (QvEntity* gum : model->m_gums)
        if (static_cast<QvGum*>(gum)->IsUpper() == isUp)
            list.push_back(gum);
    if (QvToothList* teeth = model->GetToothList(isUp))
        list.push_back(teeth);
    for (QvEntity* tooth : model->m_teeth)
        if (ToothIsUpper(dynamic_cast<QvToothBase*>(tooth)) == isUp)
            list.push_back(tooth);
    for (QvEntity* tooth : model->m_virtualTeeth)
        if (ToothIsUpper(dynamic_cast<QvToothBase*>(tooth)) == isUp)
            list.push_back(tooth);
    if (scheme)
        for (QvToothBase* tooth : scheme->GetVirtualTeeth())
            if (ToothIsUpper(tooth) == isUp)
                list.push_back(tooth);
    for (QvEntity* entity : model->m_brackets)
        if (const QvBracket* bracket = dynamic_cast<QvBracket*>(entity))
            if (ToothIsUpper(bracket->m_pTooth) == isUp)
                list.push_back(entity);
    QvViewDrawInfo* info = view->GetDrawInfo();
    if (show)
        info->ShowEntities(list);
    else
        info->HideEntities(list);

    const std::vector<QvAttachment*> owned = SchemeAttachments(scheme);
    std::vector<QvEntity*> shown, hidden;
    for (QvEntity* entity : model->m_attachments) {
        auto* attachment = dynamic_cast<QvAttachment*>(entity);
        if (!attachment || ToothIsUpper(attachment->m_pTooth) != isUp)
            continue;
        const bool visible = show && Contains(owned, attachment) && !info->IsEntityHidden(attachment->m_pTooth);
        (visible ? shown : hidden).push_back(entity);
    }
    info->ShowEntities(shown);
    info->HideEntities(hidden);
}

void RVDMViewHandle::viewShowGum(QvView* view, bool show, bool isUp)
{
    QvModel* model = getModel();
    view = ResolveView(view);
    if (!model || !view)
        return;
    QvViewDrawInfo* info = view->GetDrawInfo();
    if (show) {
        const bool anyTooth = std::any_of(model->m_teeth.begin(), model->m_teeth.end(), [&](QvEntity* e) {
            return ToothIsUpper(dynamic_cast<QvToothBase*>(e)) == isUp && (e->m_state & kQvStateShown) &&
                   !info->IsEntityHidden(e);
        });
        if (!anyTooth)
            return;
    }
    std::vector<QvEntity*> gums;
    for (QvEntity* gum : model->m_gums)
        if (static_cast<QvGum*>(gum)->IsUpper() == isUp)
            gums.push_back(gum);
    if (show)
        info->ShowEntities(gums);
    else
        info->HideEntities(gums);
}

void RVDMViewHandle::viewShowGum(QvView* view, bool show)
{
    viewShowGum(view, show, true);
    viewShowGum(view, show, false);
}

void RVDMViewHandle::showRealRoot(bool show)
{
    if (QvModel* model = getModel())
        for (QvEntity* entity : model->m_teeth)
            if (auto* tooth = dynamic_cast<QvTooth*>(entity))
                (void)tooth->ShowRealRoot(show);
}

void RVDMViewHandle::showJawBone(bool show)
{
    if (QvModel* model = getModel())
        for (QvEntity* bone : model->m_jawBones)
            bone->SetVisible(show);
}

void RVDMViewHandle::hideExtractedTeeth()
{
    const std::shared_ptr<RivelaDoc> document = currentDocument();
    QvModel* model = document ? document->getModel() : nullptr;
    QvScheme* scheme = document ? document->currentScheme() : nullptr;
    if (!model || !scheme)
        return;
    for (QvEntity* entity : model->m_teeth) {
        auto* tooth = static_cast<QvToothBase*>(entity);
        tooth->SetVisible(!scheme->GetExtractedTeeth().count(tooth) && !scheme->GetHiddenTeeth().count(tooth));
    }
}

// ---------------------------------------------------------------- jaw buttons

void RVDMViewHandle::viewShowUpperJaw(QvView* view, bool)
{
    const bool gum = RVDMOprationManager::shared().showGum();
    ShowJaws(view, true, false);
    viewShowGum(view, gum, true);
    viewShowGum(view, false, false);
    updateView(view, nullptr, RVDMDrawStatus::shared().currentStep());
}

void RVDMViewHandle::viewShowLowerJaw(QvView* view, bool)
{
    const bool gum = RVDMOprationManager::shared().showGum();
    ShowJaws(view, false, true);
    viewShowGum(view, false, true);
    viewShowGum(view, gum, false);
    updateView(view, nullptr, RVDMDrawStatus::shared().currentStep());
}

void RVDMViewHandle::viewShowFaceUpperJaw(QvView* view, bool on)
{
    viewShowFaceUpperJaw(view, on, RVDMDrawStatus::shared().currentStep());
}

void RVDMViewHandle::viewShowFaceUpperJaw(QvView* view, bool, int step)
{
    const bool gum = RVDMOprationManager::shared().showGum();
    ShowJaws(view, true, false);
    viewShowGum(view, gum, true);
    viewShowGum(view, false, false);
    viewShowOrient(view, 6);
    updateView(view, nullptr, step);
}

void RVDMViewHandle::viewShowFaceLowerJaw(QvView* view, bool)
{
    const bool gum = RVDMOprationManager::shared().showGum();
    ShowJaws(view, false, true);
    viewShowGum(view, false, true);
    viewShowGum(view, gum, false);
    viewShowOrient(view, 7);
    updateView(view, nullptr, RVDMDrawStatus::shared().currentStep());
}

void RVDMViewHandle::viewShowModelOrient(QvView* view, int orientation)
{
    ShowJaws(view, true, true);
    viewShowGum(view, RVDMOprationManager::shared().showGum());
    if (orientation == 2)
        orientation = 3;
    else if (orientation == 3)
        orientation = 2;
    viewShowOrient(view, orientation);
}

// ---------------------------------------------------------------- layouts

void RVDMViewHandle::toOneCompView()
{
    QvViewManager& views = Views();
    views.ToOneCompView();
    views.ResetDrawInfos();
    views.ShowAllEntities();
    QvView* main = views.GetView(0);
    if (!main)
        return;
    views.SetActiveView(main);
    viewShowOrient(main, 4);
    views.m_linkFlags = 0;
    if (const std::shared_ptr<RVDMToolBarState> bar = RVDMOprationManager::shared().toolBar())
        bar->setCompareChecked(false);
    RVDMOprationManager::shared().switchStep(RVDMDrawStatus::shared().currentStep(), nullptr, nullptr);
}

void RVDMViewHandle::toTwoCompView()
{
    QvModel* model = getModel();
    if (!model)
        return;
    QvViewManager& views = Views();
    views.ResetDrawInfos();
    views.ShowAllEntities();
    views.ToTwoCompView();
    QvView* left = views.GetView(0);
    QvView* right = views.GetView(1);
    if (!left || !right)
        return;
    viewShowOrient(right, 6);
    viewShowOrient(left, 7);
    views.SetActiveView(left);

    for (QvEntity* entity : model->m_teeth)
        (ToothIsUpper(dynamic_cast<QvToothBase*>(entity)) ? left : right)->GetDrawInfo()->HideEntity(entity);
    for (QvEntity* entity : model->m_virtualTeeth)
        (ToothIsUpper(dynamic_cast<QvToothBase*>(entity)) ? left : right)->GetDrawInfo()->HideEntity(entity);
    for (QvEntity* entity : model->m_attachments)
        if (auto* attachment = dynamic_cast<QvAttachment*>(entity))
            (ToothIsUpper(attachment->m_pTooth) ? left : right)->GetDrawInfo()->HideEntity(entity);
    if (QvGum* lower = model->GetGum(false))
        right->GetDrawInfo()->HideEntity(lower);
    if (QvGum* upper = model->GetGum(true))
        left->GetDrawInfo()->HideEntity(upper);

    RVDMDrawStatus& status = RVDMDrawStatus::shared();
    QvScheme* rightScheme = status.schemeWithViewId(1);
    QvScheme* leftScheme = status.schemeWithViewId(0);
    if (const std::shared_ptr<RVDMToolBarState> bar = RVDMOprationManager::shared().toolBar())
        bar->setCompareChecked(false);
    const int step = status.currentStep();
    RVDMOprationManager::shared().switchStep(step, nullptr, nullptr);
    updateAuxLine(right, rightScheme, step);
    updateAuxLine(left, leftScheme, step);
    QvCacheStuff::Instance().ClearScreenTexts();
    views.m_linkFlags = kQvLinkScale;
}

void RVDMViewHandle::toBracketView()
{
    QvModel* model = getModel();
    if (!model)
        return;
    QvViewManager& views = Views();
    views.ResetDrawInfos();
    views.ShowAllEntities();
    views.ToBracketView();
    if (QvView* view = views.GetView(2))
        viewShowOrient(view, 6);
    if (QvView* view = views.GetView(3))
        viewShowOrient(view, 7);
    if (QvView* main = views.GetView(0))
        views.SetActiveView(main);
    std::vector<QvEntity*> hidden(model->m_teeth);
    hidden.insert(hidden.end(), model->m_attachments.begin(), model->m_attachments.end());
    for (const bool upper : {true, false}) {
        if (QvGum* gum = model->GetGum(upper))
            hidden.push_back(gum);
        if (QvJaw* jaw = model->GetJaw(upper))
            hidden.push_back(jaw);
        if (QvJawBone* bone = model->GetJawBone(upper))
            hidden.push_back(bone);
    }
    for (int id = 1; id <= 3; ++id)
        if (QvView* view = views.GetView(id))
            view->GetDrawInfo()->HideEntities(hidden);
    views.m_linkFlags = 0;
}

// ---------------------------------------------------------------- a step

void RVDMViewHandle::updateView(QvView* view, QvScheme* scheme, int step)
{
    QvView* resolved = ResolveView(view);
    if (!resolved)
        return;
    scheme = ResolveScheme(scheme, resolved);
    if (!scheme || scheme->GetStepCount() <= 0)
        return;
    step = Clamp(step, scheme->GetStepCount());
    QvViewManager& views = Views();
    std::vector<QvToothBase*> teeth;
    scheme->GetTeeth(teeth);

    for (QvToothBase* tooth : teeth)
        if (const QvTreatStep* placed = scheme->FindStep(step, tooth)) {
            if (view)
                view->GetDrawInfo()->SetEntityMatrix(tooth, *placed->GetMatrix(), false);
            else
                views.SetEntityMatrix(tooth, *placed->GetMatrix(), false);
        }
    QvGum* upper = scheme->GetGumMgr().FindGum(step, true);
    QvGum* lower = scheme->GetGumMgr().FindGum(step, false);
    if (view)
        view->GetDrawInfo()->SetGums(upper, lower);
    else
        views.SetGums(upper, lower);

    updateAuxLine(view, scheme, step);

    QvModel* model = getModel();
    QvSchemeMgr* schemes = model ? QvGetSchemeMgr(*model) : nullptr;
    if (views.GetViewCount() < 2 || (schemes && schemes->GetCompareScheme()))
        updateAttachment(view, scheme, step);
    else
        updateAttachmentAndMultiView(scheme, step);

    if (view) {
        updateJawBone(view, scheme, step);
        updateVirtualTeeth(view, scheme, step);
    } else {
        for (QvView* each : std::vector<QvView*>(views.GetViews())) {
            QvScheme* own = RVDMDrawStatus::shared().schemeWithViewId(each->GetID());
            updateVirtualTeeth(each, own, step);
            updateJawBone(each, own, step);
        }
    }
    showCompareShow(RVDMOprationManager::shared().showCompare(), view, scheme);
}

void RVDMViewHandle::updateJawBone(QvView* view, QvScheme* scheme, int step)
{
    QvModel* model = getModel();
    view = ResolveView(view);
    if (!model || !view || !scheme)
        return;
    const QvMatrix jaw = LowerJawAt(*scheme, step);
    if (QvJawBone* bone = model->GetJawBone(false))
        view->GetDrawInfo()->SetEntityMatrix(bone, jaw, false);
    if (QvHingeAxis* hinge = model->GetHingeAxis())
        view->GetDrawInfo()->SetEntityMatrix(hinge, jaw, false);
}

void RVDMViewHandle::updateVirtualTeeth(QvView* view, QvScheme* scheme, int step)
{
    view = ResolveView(view);
    if (!view)
        return;
    scheme = ResolveScheme(scheme, view);
    if (!scheme || scheme->GetStepCount() <= 0)
        return;
    step = Clamp(step, scheme->GetStepCount());
    for (QvToothBase* base : scheme->GetVirtualTeeth()) {
        const QvTreatStep* placed = scheme->FindStep(step, base);
        auto* tooth = dynamic_cast<QvVirtualTooth*>(base);
        if (!placed || !tooth)
            continue;
        QvMatrix matrix = *placed->GetMatrix() * tooth->m_matrix;
        // A tooth that appears during treatment does not exist before its start step.
        if (tooth->m_nKind == 1 && step < tooth->m_nStartStep)
            matrix = QvMatrix(4, 4);
        view->GetDrawInfo()->SetEntityMatrix(tooth, matrix, false);
    }
}

void RVDMViewHandle::updateAuxLine(QvView* view, QvScheme* scheme, int step)
{
    const std::shared_ptr<RVDMToolBarState> bar = RVDMOprationManager::shared().toolBar();
    showOcclusion(bar && bar->isCollisionChecked(), view, scheme, step);
    showAdjacent(bar && bar->isGapChecked(), view, scheme, step);
    showIPR(bar && bar->isIPRChecked(), view, scheme, step);
}

// ---------------------------------------------------------------- overlays

void RVDMViewHandle::showOcclusion(bool show, QvView* view, QvScheme* scheme, int step)
{
    QvCacheStuff* cache = OverlayCache(view, scheme);
    if (!cache)
        return;
    step = Clamp(step, scheme->GetStepCount());
    if (!show) {
        cache->HideOcclusion();
        return;
    }
    std::vector<QvGapInfo*> contacts;
    QvGetCollisionDetectMgr(*scheme).GetStepContacts(step, false, true, contacts);
    cache->ShowOcclusion(contacts);
}

void RVDMViewHandle::showAdjacent(bool show, QvView* view, QvScheme* scheme, int step)
{
    QvCacheStuff* cache = OverlayCache(view, scheme);
    if (!cache)
        return;
    step = Clamp(step, scheme->GetTreatStepCount());
    if (!show) {
        cache->HideAdjacent();
        return;
    }
    std::vector<QvGapInfo*> contacts;
    QvGetCollisionDetectMgr(*scheme).GetStepContacts(step, true, false, contacts);
    cache->ShowAdjacent(contacts);
}

void RVDMViewHandle::showIPR(bool show, QvView* view, QvScheme* scheme, int step)
{
    QvCacheStuff* cache = OverlayCache(view, scheme);
    if (!cache)
        return;
    step = Clamp(step, scheme->GetStepCount());
    if (!show) {
        cache->HideIPR();
        return;
    }
    if (const QvClinicalInfo* info = scheme->m_pClinicalInfo)
        cache->ShowIPR(info->GetIprMap(), step, QvColor(0, 255, 255));
}

void RVDMViewHandle::showCompareShow(bool show, QvView* view, QvScheme* scheme)
{
    view = ResolveView(view);
    scheme = ResolveScheme(scheme, view);
    if (!view || !scheme)
        return;
    std::vector<QvToothBase*> teeth;
    scheme->GetTeeth(teeth);
    QvViewDrawInfo* info = view->GetDrawInfo();
    if (!show) {
        for (QvToothBase* tooth : teeth)
            info->RemoveEntityMatrix(tooth, true);
        return;
    }
    int step = RVDMDrawStatus::shared().currentStep();
    const int treat = scheme->GetTreatStepCount();
    if (step >= treat)
        step = treat - 1;
    const QvMatrix jaw = LowerJawAt(*scheme, step);
    for (QvToothBase* tooth : teeth) {
        const QvTreatStep* initial = scheme->FindStep(0, tooth);
        if (!initial)
            continue;
        const QvMatrix ghost = tooth->IsUpper() ? *initial->GetMatrix() : jaw * *initial->GetMatrix();
        info->SetEntityMatrix(tooth, ghost, true);
    }
}

// ---------------------------------------------------------------- attachments

namespace {

void TakeAttachmentsOut(QvModel& model, bool showInViews)
{
    const std::vector<QvEntity*> listed = model.m_attachments;
    for (QvEntity* attachment : listed) {
        attachment->SetVisible(false);
        Views().ClearEntityMatrices(attachment);
        if (showInViews)
            Views().ShowEntity(attachment);
    }
    for (QvEntity* attachment : listed)
        model.RemoveEntity(attachment->GetID(), false);
}

} // namespace

void RVDMViewHandle::hideAllAttachMent()
{
    if (QvModel* model = getModel())
        TakeAttachmentsOut(*model, false);
}

void RVDMViewHandle::clearAllAttachment()
{
    if (QvModel* model = getModel())
        TakeAttachmentsOut(*model, true);
}

void RVDMViewHandle::hideAllAttachMentWithScheme(QvScheme* scheme)
{
    if (!scheme)
        return;
    QvModel* model = getModel();
    for (QvAttachment* attachment : SchemeAttachments(scheme)) {
        attachment->SetVisible(false);
        Views().ClearEntityMatrices(attachment);
        if (model)
            model->RemoveEntity(attachment->GetID(), false);
    }
}

void RVDMViewHandle::updateAttachment(QvView* view, QvScheme* scheme, int step)
{
    QvModel* model = getModel();
    view = ResolveView(view);
    scheme = ResolveScheme(scheme, view);
    if (!model || !view || !scheme || scheme->GetStepCount() <= 0)
        return;
    step = Clamp(step, scheme->GetStepCount());
    hideAllAttachMentWithScheme(scheme);
    if (!RVDMOprationManager::shared().showAttachment())
        return;
    QvViewDrawInfo* info = view->GetDrawInfo();
    std::vector<QvToothBase*> teeth;
    scheme->GetTeeth(teeth);
    for (QvToothBase* tooth : teeth) {
        std::vector<QvAttachment*> attachments;
        scheme->GetAttachmentsAtStep(tooth, step, attachments);
        for (QvAttachment* attachment : attachments) {
            if (IsLowerDev(attachment))
                continue;
            attachment->SetVisible(!info->IsEntityHidden(tooth));
            for (QvView* other : Views().GetViews())
                if (other != view && RVDMDrawStatus::shared().schemeWithViewId(other->GetID()) != scheme)
                    other->GetDrawInfo()->HideEntity(attachment);
            model->AddEntity(attachment);
            info->SetEntityMatrix(attachment, AttachmentPlacement(*scheme, step, tooth, *attachment), false);
        }
    }
}

void RVDMViewHandle::updateAttachmentAndMultiView(QvScheme* scheme, int step)
{
    QvModel* model = getModel();
    if (!model || !scheme || scheme->GetStepCount() <= 0)
        return;
    step = Clamp(step, scheme->GetStepCount());
    hideAllAttachMent();
    if (!RVDMOprationManager::shared().showAttachment())
        return;
    QvViewManager& views = Views();
    QvView* active = views.GetActiveView();
    std::vector<QvToothBase*> teeth;
    scheme->GetTeeth(teeth);
    for (QvToothBase* tooth : teeth) {
        std::vector<QvAttachment*> attachments;
        scheme->GetAttachmentsAtStep(tooth, step, attachments);
        for (QvAttachment* attachment : attachments) {
            if (IsLowerDev(attachment))
                continue;
            attachment->SetVisible(!(active && active->GetDrawInfo()->IsEntityHidden(tooth)));
            if (views.GetViewCount() >= 2)
                for (const int id : {1, 0})
                    if (QvView* each = views.GetView(id)) {
                        if (each->GetDrawInfo()->IsEntityHidden(tooth))
                            each->GetDrawInfo()->HideEntity(attachment);
                        else
                            attachment->SetVisible(true);
                    }
            model->AddEntity(attachment);
            views.SetEntityMatrix(attachment, AttachmentPlacement(*scheme, step, tooth, *attachment), false);
        }
    }
}
