// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaAboveModel.h"

#include "app/design/RVModelManager.h"
#include "app/service/RVCaseManager.h"
#include "app/shell/QvUtilityObj.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

const QString kLeaveBracket = QStringLiteral("是否关闭托槽定位！");

RVDMOprationManager& hub()
{
    return RVDMOprationManager::shared();
}

} // namespace

RivelaAboveModel::RivelaAboveModel()
    : ask([](const QString& question) { return QvUtilityObj::showAlertQuestionWithInfo(question); }),
      post([](std::function<void()> work) { QTimer::singleShot(0, QCoreApplication::instance(), std::move(work)); }),
      exportScheme([] { RVModelManager::shared().exportOS(); })
{
    m_enabled.fill(true);
    m_checked[IPR] = true;
}

void RivelaAboveModel::notify()
{
    if (changed)
        changed();
}

void RivelaAboveModel::setChecked(Box box, bool checked)
{
    m_checked[box] = checked;
    notify();
}

void RivelaAboveModel::setEnabled(Box box, bool enabled)
{
    m_enabled[box] = enabled;
    notify();
}

void RivelaAboveModel::setIsApproveSchemeStep(bool approve)
{
    m_isApproveSchemeStep = approve;
    notify();
}

void RivelaAboveModel::press(Box box)
{
    if (!m_enabled[box])
        return;
    pressed(box, !m_checked[box]);
}

void RivelaAboveModel::pressed(Box box, bool checked)
{
    setChecked(box, checked);
    switch (box) {
    case FDI: OnBnClickedShowFDI(); break;
    case Section: OnBnClickedShowSection(); break;
    case Collision: OnBnClickedShowCollision(); break;
    case Gap: OnBnClickedShowGap(); break;
    case IPR: OnBnClickedShowIPR(); break;
    case Att: OnBnClickedShowAtt(); break;
    case Compare: OnBnClickedShowCompare(); break;
    case TargetDesign: OnBnClickedTargetDesign(); break;
    case BracketDesign: OnBnClickedBracketDesign(); break;
    case Grid: OnBnClickedShowGrid(); break;
    case DistMeasure: OnBnClickedDistanceMeasure(); break;
    case MoveData: OnBnClickedMoveData(); break;
    case SaveScheme: OnBnClickedSaveScheme(); break;
    case kBoxCount: break;
    }
}

void RivelaAboveModel::send(Box box, bool on)
{
    RVDMOprationManager& h = hub();
    switch (box) {
    case FDI: h.toolBarShowFDI(sender, on); break;
    case Section: h.toolBarShowSection(sender, on); break;
    case Collision: h.toolBarShowCollision(sender, on); break;
    case Gap: h.toolBarShowGap(sender, on); break;
    case IPR: h.toolBarShowIPR(sender, on); break;
    case Att: h.toolBarShowAtt(sender, on); break;
    case Compare: h.toolBarShowCompare(sender, on); break;
    case TargetDesign: h.toolBarShowTargetDesign(sender, on); break;
    case BracketDesign: h.toolBarShowBracket(sender, on); break;
    case Grid: h.toolBarShowGrid(sender, on); break;
    case DistMeasure: h.toolBarShowDistMeasure(sender, on); break;
    case MoveData: h.toolBarShowMoveData(sender, on); break;
    case SaveScheme:
    case kBoxCount: break;
    }
}

void RivelaAboveModel::turnOff(Box box)
{
    setChecked(box, false);
    send(box, false);
}

void RivelaAboveModel::splitHandler()
{
    if (updateSplitViewHandler)
        updateSplitViewHandler();
}

void RivelaAboveModel::leaveTargetDesign()
{
    setChecked(TargetDesign, false);
    splitHandler();
    send(TargetDesign, false);
}

void RivelaAboveModel::postSetChecked(Box box, bool checked)
{
    // The check box draws its own state after the action returns; this lands later.
    post([weak = weak_from_this(), box, checked] {
        if (const std::shared_ptr<RivelaAboveModel> self = weak.lock())
            self->setChecked(box, checked);
    });
}

// clang-format off
void RivelaAboveModel::OnBnClickedShowFDI() { send(FDI, isChecked(FDI)); }
void RivelaAboveModel::OnBnClickedShowCollision() { send(Collision, isChecked(Collision)); }
void RivelaAboveModel::OnBnClickedShowGap() { send(Gap, isChecked(Gap)); }
void RivelaAboveModel::OnBnClickedShowIPR() { send(IPR, isChecked(IPR)); }
void RivelaAboveModel::OnBnClickedShowAtt() { send(Att, isChecked(Att)); }
void RivelaAboveModel::OnBnClickedShowCompare() { send(Compare, isChecked(Compare)); }
void RivelaAboveModel::OnBnClickedShowGrid() { send(Grid, isChecked(Grid)); }
void RivelaAboveModel::OnBnClickedMoveData() { send(MoveData, isChecked(MoveData)); }
void RivelaAboveModel::OnBtnClickedRotateType() { hub().openRotateView(); }
// clang-format on

void RivelaAboveModel::OnBnClickedShowSection()
{
    if (isChecked(TargetDesign))
        leaveTargetDesign();
    if (isChecked(BracketDesign))
        turnOff(BracketDesign);
    send(Section, isChecked(Section));
}

void RivelaAboveModel::OnBnClickedDistanceMeasure()
{
    if (isChecked(TargetDesign))
        leaveTargetDesign();
    if (isChecked(BracketDesign)) {
        if (!ask(kLeaveBracket)) {
            postSetChecked(DistMeasure, false);
            return;
        }
        turnOff(BracketDesign);
    }
    send(DistMeasure, isChecked(DistMeasure));
}

void RivelaAboveModel::OnBnClickedTargetDesign()
{
    if (isChecked(Section))
        turnOff(Section);
    if (isChecked(DistMeasure))
        turnOff(DistMeasure);
    if (isChecked(BracketDesign)) {
        if (!ask(kLeaveBracket)) {
            postSetChecked(TargetDesign, false);
            return;
        }
        turnOff(BracketDesign);
    }
    splitHandler();
    send(TargetDesign, isChecked(TargetDesign));
}

void RivelaAboveModel::OnBnClickedBracketDesign()
{
    if (isChecked(Section))
        turnOff(Section);
    if (isChecked(DistMeasure))
        turnOff(DistMeasure);
    if (isChecked(TargetDesign))
        leaveTargetDesign();
    splitHandler();
    if (isChecked(BracketDesign)) {
        send(BracketDesign, true);
        return;
    }
    if (ask(kLeaveBracket))
        send(BracketDesign, false);
    else
        postSetChecked(BracketDesign, true);
}

void RivelaAboveModel::OnBnClickedSaveScheme()
{
    if (exportScheme)
        exportScheme();
    // A push button in the look of a box.
    postSetChecked(SaveScheme, false);
}

void RivelaAboveModel::reset()
{
    for (Box box : {FDI, Section, Collision, Gap, Att, Compare, Grid, DistMeasure, TargetDesign, BracketDesign})
        m_checked[box] = false;
    m_checked[IPR] = true;
    notify();
}

void RivelaAboveModel::resetCollisionAndGapStatus()
{
    m_checked[Collision] = false;
    m_checked[Gap] = false;
    notify();
}

void RivelaAboveModel::setAttachBtnEnable(bool a, bool bracketBtnEnable)
{
    m_enabled[Att] = a;
    m_checked[Att] = a;
    m_enabled[BracketDesign] = bracketBtnEnable;
    notify();
}

QString RivelaAboveModel::GetSchemeTitle()
{
    const std::shared_ptr<RVCaseInfo> info = RVCaseManager::shared().caseInfo();
    const int type = info ? info->schemeType.toInt() : 0;
    switch (type) {
    case 0: return QStringLiteral("数字模型");
    case 1:
    case 2:
    case 3:
    case 4: return info ? info->schemeName : QString();
    case 5: return QStringLiteral("分步动画");
    case 6: return QStringLiteral("托槽定位");
    default: return QStringLiteral("");
    }
}

QString RivelaAboveModel::GetCaseNo()
{
    const std::shared_ptr<RVCaseInfo> info = RVCaseManager::shared().caseInfo();
    return info ? info->caseNo : QString();
}
