// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RVDMSubToolBar.h"

#include "app/design/RVDMDrawStatus.h"
#include "app/platform/Folders.h"
#include "app/shell/widgets/NSButtonEx.h"
#include "core/render/QvViewManager.h"

#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(barsLog, "rivela.bars", QtInfoMsg)

RVDMOprationManager& hub()
{
    return RVDMOprationManager::shared();
}

void setJawType(unsigned type)
{
    RVDMDrawStatus::shared().drawJawType = type;
}

} // namespace

RVDMSubToolBarModel::RVDMSubToolBarModel()
    : viewCount([] { return QvViewManager::Instance()->GetViewCount(); })
{
}

void RVDMSubToolBarModel::OnBnClickedUpperJaw()
{
    setJawType(1);
    hub().subToolBarShowUpperJaw(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedLowerJaw()
{
    setJawType(2);
    hub().subToolBarShowLowerJaw(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedFaceUpperJaw()
{
    setJawType(3);
    hub().subToolBarShowFaceUpperJaw(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedFaceLowerJaw()
{
    setJawType(4);
    hub().subToolBarShowFaceLowerJaw(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedRight()
{
    setJawType(0);
    hub().subToolBarShowRight(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedFront()
{
    setJawType(0);
    hub().subToolBarShowFront(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedLeft()
{
    setJawType(0);
    hub().subToolBarShowLeft(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedBack()
{
    setJawType(0);
    hub().subToolBarShowBack(sender, true);
}

void RVDMSubToolBarModel::OnBnClickedViewGum()
{
    showGum = !showGum;
    hub().subToolBarShowGum(sender, showGum);
}

void RVDMSubToolBarModel::OnBnClickedShowRoot()
{
    showRoot = !showRoot;
    hub().subToolBarShowRoot(sender, showRoot);
}

void RVDMSubToolBarModel::OnBnClickedShowJawBone()
{
    showJawBone = !showJawBone;
    hub().subToolBarShowJawBone(sender, showJawBone);
}

void RVDMSubToolBarModel::OnBtnClickedViewType()
{
    if (!m_enableTwoCompView)
        return;
    if (viewCount() >= 2) {
        viewTypeImage = QStringLiteral("multi_view");
        viewTypeToolTip = QStringLiteral("双视图");
        hub().subToolBarShowMultiView(sender, false);
    } else {
        viewTypeImage = QStringLiteral("single_view");
        viewTypeToolTip = QStringLiteral("单视图");
        hub().subToolBarShowMultiView(sender, true);
    }
}

void RVDMSubToolBarModel::quitTwoCompView()
{
    if (viewCount() < 2)
        return;
    setJawType(0);
    viewTypeImage = QStringLiteral("multi_view");
    viewTypeToolTip = QStringLiteral("双视图");
    hub().subToolBarShowMultiView(sender, false);
}

RVDMSubToolBar::RVDMSubToolBar(QWidget* parent)
    : QWidget(parent), m_model(std::make_shared<RVDMSubToolBarModel>())
{
    hub().setSubToolBar(m_model);
    setupSubViews();
}

NSButtonEx* RVDMSubToolBar::addButtonWithFrame(const QRect& frame, const QString& toolTip, const QString& imageName,
                                               void (RVDMSubToolBar::*action)())
{
    auto* button = new NSButtonEx(this);
    button->setGeometry(frame);
    button->setToolTip(toolTip);
    button->setImage(platform::PathForResource(imageName, QStringLiteral("png")));
    button->setTarget([this, action](NSButtonEx*) { (this->*action)(); });
    return button;
}

void RVDMSubToolBar::setupSubViews()
{
    struct Spec {
        NSButtonEx** button;
        const char* toolTip;
        const char* image;
        void (RVDMSubToolBar::*action)();
    };
    const Spec specs[] = {
        {&upJawBtn, "上颌", "upper_jaw", &RVDMSubToolBar::OnBnClickedUpperJaw},
        {&faceUpperJawBtn, "上颌面", "face_upper_jaw", &RVDMSubToolBar::OnBnClickedFaceUpperJaw},
        {&rightSideBtn, "右侧", "right_side", &RVDMSubToolBar::OnBnClickedRight},
        {&frontSideBtn, "正面", "front_side", &RVDMSubToolBar::OnBnClickedFront},
        {&backSideBtn, "舌侧", "back_side", &RVDMSubToolBar::OnBnClickedBack},
        {&leftSideBtn, "左侧", "left_side", &RVDMSubToolBar::OnBnClickedLeft},
        {&faceLowerJawBtn, "下颌面", "face_lower_jaw", &RVDMSubToolBar::OnBnClickedFaceLowerJaw},
        {&lowerJawBtn, "下颌", "lower_jaw", &RVDMSubToolBar::OnBnClickedLowerJaw},
        {&viewGumBtn, "牙龈", "view_gum", &RVDMSubToolBar::OnBnClickedViewGum},
        {&showRootBtn, "牙根", "real_root", &RVDMSubToolBar::OnBnClickedShowRoot},
        {&showJawBoneBtn, "颌骨", "jaw_bone", &RVDMSubToolBar::OnBnClickedShowJawBone},
        {&viewTypeBtn, "多视图", "multi_view", &RVDMSubToolBar::OnBtnClickedViewType},
    };
    int x = kButtonWidth;
    for (const Spec& spec : specs) {
        *spec.button = addButtonWithFrame(QRect(x, 0, kButtonWidth, kHeight), QString::fromUtf8(spec.toolTip),
                                          QString::fromUtf8(spec.image), spec.action);
        x += kButtonWidth;
    }
    m_shownViewTypeImage = QStringLiteral("multi_view");
    totalWidth = x;
    qCDebug(barsLog).noquote() << QStringLiteral("totalWidth = %1").arg(totalWidth, 0, 'f', 6);
    updateGeometry();
}

void RVDMSubToolBar::syncViewTypeButton()
{
    viewTypeBtn->setToolTip(m_model->viewTypeToolTip);
    if (m_shownViewTypeImage != m_model->viewTypeImage) {
        m_shownViewTypeImage = m_model->viewTypeImage;
        viewTypeBtn->setImage(platform::PathForResource(m_shownViewTypeImage, QStringLiteral("png")));
    }
}

// clang-format off
void RVDMSubToolBar::OnBnClickedUpperJaw() { m_model->OnBnClickedUpperJaw(); }
void RVDMSubToolBar::OnBnClickedLowerJaw() { m_model->OnBnClickedLowerJaw(); }
void RVDMSubToolBar::OnBnClickedFaceUpperJaw() { m_model->OnBnClickedFaceUpperJaw(); }
void RVDMSubToolBar::OnBnClickedFaceLowerJaw() { m_model->OnBnClickedFaceLowerJaw(); }
void RVDMSubToolBar::OnBnClickedRight() { m_model->OnBnClickedRight(); }
void RVDMSubToolBar::OnBnClickedFront() { m_model->OnBnClickedFront(); }
void RVDMSubToolBar::OnBnClickedLeft() { m_model->OnBnClickedLeft(); }
void RVDMSubToolBar::OnBnClickedBack() { m_model->OnBnClickedBack(); }
void RVDMSubToolBar::OnBnClickedViewGum() { m_model->OnBnClickedViewGum(); }
void RVDMSubToolBar::OnBnClickedShowRoot() { m_model->OnBnClickedShowRoot(); }
void RVDMSubToolBar::OnBnClickedShowJawBone() { m_model->OnBnClickedShowJawBone(); }
// clang-format on

void RVDMSubToolBar::OnBtnClickedViewType()
{
    m_model->OnBtnClickedViewType();
    syncViewTypeButton();
}

void RVDMSubToolBar::quitTwoCompView()
{
    m_model->quitTwoCompView();
    syncViewTypeButton();
}
