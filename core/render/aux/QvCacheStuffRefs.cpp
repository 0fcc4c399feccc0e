// SPDX-License-Identifier: GPL-3.0-or-later
// The overlay cache's reference geometry, screen texts and arch widths: offered for
// the panes, called by none of them today.
#include <cstdio>
#include <set>
#include <memory>

#include "core/geometry/QvBSplineCurve.h"
#include "core/geometry/QvFrame.h"
#include "core/measure/QvDentalMeasure.h"
#include "core/model/QvImage.h"
#include "core/model/QvJawRef.h"
#include "core/model/QvModel.h"
#include "core/model/QvPatientInfo.h"
#include "core/model/QvTooth.h"
#include "core/model/QvToothRef.h"
#include "core/render/QvRenderStatus.h"
#include "core/render/QvView.h"
#include "core/render/QvViewDrawInfo.h"
#include "core/render/QvViewManager.h"
#include "core/render/aux/QvAuxLine.h"
#include "core/render/aux/QvAuxNotation.h"
#include "core/render/aux/QvAuxPipeLine.h"
#include "core/render/aux/QvAuxPoint.h"
#include "core/render/aux/QvAuxRender.h"
#include "core/render/aux/QvAuxTexture.h"
#include "core/render/aux/QvCacheStuff.h"
#include "core/scheme/QvArchForm.h"
#include "core/scheme/QvScheme.h"

namespace
{
QvAuxRender* Aux() { return QvRenderStatus::Instance()->GetAuxRender(); }

const QvColor kRefPlaneColour(100, 200, 100);
const QvColor kGreen(0, 255, 0);
const QvColor kBlue(0, 0, 255);
const QvColor kTubeGrey(64, 64, 64);
const QvColor kPointGrey(64, 64, 64);
const QvColor kArchWidthColour(44, 143, 211);

// Removes and deletes the object of a field and empties the field.
template <typename T> void Drop(T*& field)
{
    QvCacheStuff::Discard(field);
    field = nullptr;
}

QvAuxPipeLine* NewTube(const QvBSplineCurve* curve, const QvColor& clr)
{
    auto* tube = new QvAuxPipeLine;
    tube->m_tubeStyle = 1;
    tube->m_clr = clr;
    tube->SetCurve(const_cast<QvBSplineCurve*>(curve));
    return tube;
}

QvAuxPoint* NewMark(const QvPoint& at, std::int32_t style, const QvColor& clr)
{
    auto* point = new QvAuxPoint;
    point->m_pos = at;
    point->m_style = style;
    point->m_bHitable = false;
    point->m_clr = clr;
    return point;
}

bool IsUpperFdi(int fdi)
{
    const int q = fdi / 10;
    return q == 1 || q == 2 || q == 5 || q == 6;
}
} // namespace

// ---- Planes and arch forms ------------------------------------------------------------------------------

void QvCacheStuff::ShowPlane(QvAuxPlane*& field, bool show, const QvFrame* frame, double size, const QvColor& clr)
{
    Drop(field);
    if (!show || frame == nullptr)
        return;
    field = new QvAuxPlane;
    field->m_clr = clr;
    field->SetPlane(frame->m_centre, frame->m_dirX * size, frame->m_dirY * size);
    Aux()->AddObject(field);
}

void QvCacheStuff::ShowMidPlane(bool show)
{
    QvFrame frame;
    double size = 0.0;
    const QvJawRef* ref = m_pModel != nullptr ? m_pModel->GetJawRef() : nullptr;
    const bool found = ref != nullptr && ref->GetMiddlePlane(frame, size);
    ShowPlane(m_pMidPlane, show, found ? &frame : nullptr, size, kRefPlaneColour);
}

void QvCacheStuff::ShowBackPlane(bool show)
{
    QvFrame frame;
    double size = 0.0;
    const QvJawRef* ref = m_pModel != nullptr ? m_pModel->GetJawRef() : nullptr;
    const bool found = ref != nullptr && ref->GetBackBoundaryPlane(frame, size);
    ShowPlane(m_pBackPlane, show, found ? &frame : nullptr, size, kRefPlaneColour);
}

void QvCacheStuff::ShowBeautyPlane(bool show)
{
    HideBeautyPlane();
    const QvJawRef* ref = m_pModel != nullptr ? m_pModel->GetJawRef() : nullptr;
    if (!show || ref == nullptr || ref->m_pBeautyPlane == nullptr)
        return;
    const QvRefPlane& plane = *ref->m_pBeautyPlane;
    ShowPlane(m_pBeautyPlane, true, &plane.m_frame, plane.m_dSize, kRefPlaneColour);
    for (const QvPoint& p : plane.m_points)
    {
        QvAuxPoint* mark = NewMark(p, 2, kGreen);
        m_beautyPoints.push_back(mark);
        Aux()->AddObject(mark);
    }
}

void QvCacheStuff::HideMidPlane() { Drop(m_pMidPlane); }
void QvCacheStuff::HideBackPlane() { Drop(m_pBackPlane); }

void QvCacheStuff::HideBeautyPlane()
{
    if (m_pBeautyPlane == nullptr)
        return;
    Drop(m_pBeautyPlane);
    RemoveAll(m_beautyPoints);
}

void QvCacheStuff::ShowUpperOcclusalPlane(bool show)
{
    const QvScheme* scheme = CurrentScheme();
    const QvOcclusalPlane* plane = scheme != nullptr ? scheme->m_pOcclusalPlane1 : nullptr;
    ShowPlane(m_pUpperOcclusalPlane, show, plane != nullptr ? &plane->m_frame : nullptr,
              plane != nullptr ? plane->m_dValue : 0.0, kGreen);
}

void QvCacheStuff::ShowLowerOcclusalPlane(bool show)
{
    const QvScheme* scheme = CurrentScheme();
    const QvOcclusalPlane* plane = scheme != nullptr ? scheme->m_pOcclusalPlane2 : nullptr;
    ShowPlane(m_pLowerOcclusalPlane, show, plane != nullptr ? &plane->m_frame : nullptr,
              plane != nullptr ? plane->m_dValue : 0.0, kBlue);
}

void QvCacheStuff::HideUpperOcclusalPlane() { Drop(m_pUpperOcclusalPlane); }
void QvCacheStuff::HideLowerOcclusalPlane() { Drop(m_pLowerOcclusalPlane); }

void QvCacheStuff::ShowArchForm(QvAuxPipeLine*& field, bool show, const QvBSplineCurve* curve, const QvColor& clr)
{
    Drop(field);
    if (!show || curve == nullptr)
        return;
    field = NewTube(curve, clr);
    field->m_bDrawHidden = true;
    Aux()->AddObject(field);
}

void QvCacheStuff::ShowUpperArchForm(bool show)
{
    const QvScheme* scheme = CurrentScheme();
    const QvArchForm* form = scheme != nullptr ? scheme->m_pArchForm1 : nullptr;
    ShowArchForm(m_pUpperArchForm, show, form != nullptr ? &form->GetCurve() : nullptr, kGreen);
}

void QvCacheStuff::ShowLowerArchForm(bool show)
{
    const QvScheme* scheme = CurrentScheme();
    const QvArchForm* form = scheme != nullptr ? scheme->m_pArchForm2 : nullptr;
    ShowArchForm(m_pLowerArchForm, show, form != nullptr ? &form->GetCurve() : nullptr, kBlue);
}

void QvCacheStuff::HideUpperArchForm() { Drop(m_pUpperArchForm); }
void QvCacheStuff::HideLowerArchForm() { Drop(m_pLowerArchForm); }

// ---- Case images ----------------------------------------------------------------------------------------

void QvCacheStuff::ShowCaseImage(QvAuxTexture*& field, bool show, int key)
{
    if (!show)
    {
        if (field != nullptr)
            Aux()->RemoveObject(field, false);
        return;
    }
    if (field == nullptr)
    {
        const QvPatientInfo* info = m_pModel != nullptr ? m_pModel->GetPatientInfo() : nullptr;
        const QvPatientImage* record = info != nullptr ? info->FindImage(key) : nullptr;
        if (record == nullptr || record->m_pImage == nullptr)
            return;
        field = new QvAuxTexture(true);
        field->SetMode(2);
        field->SetImage(record->m_pImage);
        field->SetVisible(false);
    }
    Aux()->AddObject(field);
}

void QvCacheStuff::ShowCaseImage3(bool show) { ShowCaseImage(m_pImageTexture3, show, 3); }
void QvCacheStuff::ShowCaseImage2(bool show) { ShowCaseImage(m_pImageTexture2, show, 2); }

// ---- Per-tooth curves and marks -------------------------------------------------------------------------

void QvCacheStuff::HideFaccCurves()
{
    for (auto& [tooth, curve] : m_faccCurves)
        delete curve;
    m_faccCurves.clear();
}

void QvCacheStuff::ShowFaccCurves(bool show)
{
    HideFaccCurves();
    if (!show || m_pModel == nullptr)
        return;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        const auto* tooth = dynamic_cast<const QvTooth*>(entity);
        const QvToothRef* ref = tooth != nullptr ? tooth->GetToothRef() : nullptr;
        if (ref == nullptr || ref->GetFacc().m_pCurve == nullptr)
            continue;
        QvAuxPipeLine* tube = NewTube(ref->GetFacc().m_pCurve, QvColor(255, 0, 0));
        tube->m_bHitable = false;
        m_faccCurves[tooth] = tube;
    }
}

void QvCacheStuff::HideToothRefMarks()
{
    std::map<QvAuxObject*, const QvToothRef*> taken;
    taken.swap(m_toothRefMarks);
    for (auto& [obj, ref] : taken)
        Discard(obj);
}

void QvCacheStuff::ShowToothRefMarks(bool show)
{
    HideToothRefMarks();
    if (!show || m_pModel == nullptr)
        return;
    for (QvEntity* entity : m_pModel->m_teeth)
    {
        const auto* tooth = dynamic_cast<const QvTooth*>(entity);
        const QvToothRef* ref = tooth != nullptr ? tooth->GetToothRef() : nullptr;
        if (ref == nullptr || tooth->GetState() == 4)
            continue;
        if (ref->GetFacc().m_pCurve != nullptr)
        {
            QvAuxPipeLine* tube = NewTube(ref->GetFacc().m_pCurve, kTubeGrey);
            tube->m_bHitable = false;
            m_toothRefMarks[tube] = ref;
        }
        for (int v : ref->GetFacc().m_vertices)
            m_toothRefMarks[NewMark(ref->GetVertex(v), 5, kPointGrey)] = ref;
        for (int v : ref->GetMidCurve().m_vertices)
            m_toothRefMarks[NewMark(ref->GetVertex(v), 5, kGreen)] = ref;
        for (const QvFeaturePoint& f : ref->m_featurePoints)
            m_toothRefMarks[NewMark(ref->GetVertex(f.m_nVertex), 5, kBlue)] = ref;
    }
    for (auto& [obj, ref] : m_toothRefMarks)
        Aux()->AddObject(obj);
}

std::vector<unsigned char> QvCacheStuff::MakeBlueAlphaImage(int width, int height, const unsigned char* rgba)
{
    if (width <= 0 || height <= 0 || rgba == nullptr)
        return {};
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<unsigned char> out(4 * n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const unsigned char* s = rgba + 4 * i;
        out[4 * i + 2] = 255;
        out[4 * i + 3] = static_cast<unsigned char>((s[0] + s[1] + s[2]) / 3);
    }
    return out;
}

// ---- Screen texts ---------------------------------------------------------------------------------------

QvAuxText* QvCacheStuff::NewScreenText(const std::string& text, const QvColor& clr, const QvGDIPoint& at)
{
    auto* label = new QvAuxText(true);
    label->m_clr = clr;
    label->SetText(text);
    label->SetPosition(at);
    Aux()->AddObject(label);
    return label;
}

void QvCacheStuff::HideTextInViews(QvAuxText* text, std::initializer_list<int> viewIds)
{
    if (text == nullptr || text->GetOwner() == nullptr)
        return;
    for (int id : viewIds)
        if (QvView* view = QvViewManager::Instance()->GetView(id))
            view->GetDrawInfo()->HideEntities({text->GetOwner()});
}

void QvCacheStuff::RemoveScreenText(QvAuxText*& text)
{
    if (text == nullptr)
        return;
    // The owner dies with the text: no view may keep it in its hidden set, where a later
    // entity at the same address would be hidden by mistake.
    if (QvEntity* owner = text->GetOwner())
        for (QvView* view : QvViewManager::Instance()->GetViews())
            view->GetDrawInfo()->ShowEntities({owner});
    Drop(text);
}

void QvCacheStuff::ShowScreenRect(bool show)
{
    Drop(m_pScreenRect);
    if (!show)
        return;
    std::int32_t width = 0, height = 0;
    QvViewManager::Instance()->GetSize(width, height);
    m_pScreenRect = new QvAuxPlane2D;
    m_pScreenRect->m_clr = QvColor(255, 255, 255);
    m_pScreenRect->m_alpha = 130;
    m_pScreenRect->SetRect(QvGDIPoint(10, 10), QvGDIPoint(width - 10, height - 10));
    Aux()->AddObject(m_pScreenRect);
}

void QvCacheStuff::ShowCompareTexts()
{
    ClearScreenTexts();
    QvAuxText* after = NewScreenText("矫治后", QvColor(0, 0, 0), QvGDIPoint(20, 20));
    HideTextInViews(after, {1});
    QvAuxText* before = NewScreenText("矫治前", QvColor(0, 0, 0), QvGDIPoint(20, 20));
    HideTextInViews(before, {0});
    m_screenTexts = {after, before};
}

void QvCacheStuff::ShowTestText(bool show)
{
    RemoveScreenText(m_pTestText);
    if (!show)
        return;
    m_pTestText = NewScreenText("123456", QvColor(255, 255, 255), QvGDIPoint(200, 200));
    if (QvViewManager::Instance()->GetViewCount() >= 2)
        HideTextInViews(m_pTestText, {1});
}

void QvCacheStuff::ShowTitle(const std::string& text, bool secondLine, bool partner)
{
    HideTitle();
    const QvColor grey(155, 155, 155);
    m_pTitleText1 = NewScreenText(text, grey, QvGDIPoint(20, 20));
    if (secondLine)
        m_pTitleText2 = NewScreenText(partner ? "Belvista" : "Rivela", grey,
                                      QvGDIPoint(20, 24 + m_pTitleText1->m_textImageHeight));
    if (QvViewManager::Instance()->GetViewCount() >= 2)
    {
        HideTextInViews(m_pTitleText1, {0});
        HideTextInViews(m_pTitleText2, {0});
    }
}

void QvCacheStuff::HideTitle()
{
    RemoveScreenText(m_pTitleText1);
    RemoveScreenText(m_pTitleText2);
}

void QvCacheStuff::ShowWatermark(bool show)
{
    RemoveScreenText(m_pWatermark);
    if (!show)
        return;
    std::int32_t width = 0, height = 0;
    QvViewManager::Instance()->GetSize(width, height);
    m_pWatermark = NewScreenText("Rivela", QvColor(255, 255, 255), QvGDIPoint(20, height - 120));
    const std::size_t views = QvViewManager::Instance()->GetViewCount();
    if (views == 2)
        HideTextInViews(m_pWatermark, {1});
    else if (views == 4)
        HideTextInViews(m_pWatermark, {0, 1, 2});
}

void QvCacheStuff::ShowCaption(const std::string& text)
{
    HideCaption();
    m_pCaption = NewScreenText(text, QvColor(255, 255, 255), QvGDIPoint(20, 120));
    const std::size_t views = QvViewManager::Instance()->GetViewCount();
    if (views == 2)
        HideTextInViews(m_pCaption, {0});
    else if (views == 4)
        HideTextInViews(m_pCaption, {0, 1, 3});
}

void QvCacheStuff::HideCaption() { RemoveScreenText(m_pCaption); }

// ---- Arch widths ----------------------------------------------------------------------------------------

void QvCacheStuff::HideArchWidths() { RemoveAll(m_distanceLabels); }

void QvCacheStuff::ShowArchWidths(bool show)
{
    HideArchWidths();
    QvScheme* scheme = CurrentScheme();
    if (!show || scheme == nullptr || m_pModel == nullptr)
        return;
    const QvDentalMeasure* measure = QvGetDentalMeasureMgr(*scheme).GetMeasure(0);
    if (measure == nullptr)
        return;
    std::set<QvEntity*> upper, lower;
    for (QvEntity* entity : m_pModel->m_teeth)
        if (const auto* tooth = dynamic_cast<const QvTooth*>(entity))
            (IsUpperFdi(tooth->GetFdi()) ? upper : lower).insert(entity);
    for (const auto& [key, width] : measure->GetArchWidths())
    {
        const std::set<QvEntity*>& teeth = key < 2 ? upper : lower;
        auto* line = new QvAuxLine;
        line->SetPoints(width.m_first, width.m_second);
        line->m_clr = kArchWidthColour;
        std::vector<QvAuxObject*> parts{line, NewMark(width.m_first, 0, kArchWidthColour),
                                        NewMark(width.m_second, 0, kArchWidthColour)};
        char text[64];
        std::snprintf(text, sizeof text, "%0.2lfmm", width.m_dWidth);
        auto* label = new QvAuxNotation;
        label->m_clr = QvColor(0, 0, 0);
        label->m_style = 2;
        label->m_originPt = width.m_first + (width.m_second - width.m_first) * 0.5;
        label->m_arrPt = label->m_originPt;
        label->SetText(text);
        parts.push_back(label);
        for (QvAuxObject* obj : parts)
        {
            obj->m_pRelEntites.insert(teeth.begin(), teeth.end());
            m_distanceLabels.push_back(obj);
            Aux()->AddObject(obj);
        }
    }
}
