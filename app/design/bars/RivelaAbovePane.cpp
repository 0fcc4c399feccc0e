// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/design/bars/RivelaAbovePane.h"

#include "app/platform/Folders.h"
#include "app/shell/widgets/NSButtonEx.h"

#include <QHBoxLayout>

namespace {

QString strip(const QString& name)
{
    return platform::PathForResource(name, QStringLiteral("png"));
}

} // namespace

RivelaAbovePane::RivelaAbovePane(QWidget* parent)
    : RivelaAuxPane(parent), m_model(std::make_shared<RivelaAboveModel>())
{
    RVDMOprationManager::shared().setToolBar(m_model);
    setupSubviews();
    m_model->changed = [this] { syncBoxes(); };
    syncBoxes();
}

NSCheckBoxEx* RivelaAbovePane::addCheckBoxWithFrame(const QRect& frame, const QString& toolTip,
                                                    const QString& imageName, RivelaAboveModel::Box box)
{
    auto* check = new NSCheckBoxEx(stackView);
    check->setGeometry(frame);
    check->setImage(strip(imageName));
    check->setToolTip(toolTip);
    check->setTarget([this, box](NSButtonEx* sender) {
        m_model->pressed(box, static_cast<NSCheckBoxEx*>(sender)->isChecked());
    });
    m_boxes[box] = check;
    return check;
}

NSButtonEx* RivelaAbovePane::addButtonWithFrame(const QRect& frame, const QString& toolTip, const QString& imageName,
                                                std::function<void()> action)
{
    auto* button = new NSButtonEx(this);
    button->setGeometry(frame);
    button->setImage(strip(imageName));
    button->setToolTip(toolTip);
    button->setTarget([action = std::move(action)](NSButtonEx*) { action(); });
    return button;
}

void RivelaAbovePane::setupSubviews()
{
    using B = RivelaAboveModel;
    stackView = new QWidget(this);
    m_row = new QHBoxLayout(stackView);
    m_row->setContentsMargins(0, 0, 0, 0);
    m_row->setSpacing(3);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addStretch(1);
    outer->addWidget(stackView, 0, Qt::AlignVCenter);
    outer->addStretch(1);

    struct Spec {
        NSCheckBoxEx** box;
        const char* toolTip;
        const char* image;
        B::Box id;
    };
    const Spec specs[] = {
        {&showFDIBtn, "牙位", "牙位", B::FDI},
        {&showSectionBtn, "截面", "截面", B::Section},
        {&showCollisionBtn, "咬合碰撞", "咬合碰撞", B::Collision},
        {&showGapBtn, "相邻碰撞", "相邻碰撞", B::Gap},
        {&showIPRBtn, "邻面去釉", "IPR", B::IPR},
        {&showAttBtn, "附件", "附件", B::Att},
        {&showCompareBtn, "矫治对比", "矫治对比", B::Compare},
        {&targetDesignBtn, "目标位模拟", "目标位", B::TargetDesign},
        {&bracketDesignBtn, "托槽", "bracket_design", B::BracketDesign},
        {&showGridBtn, "网格", "网格", B::Grid},
        {&distMeasureBtn, "测量", "测量", B::DistMeasure},
        {&showMoveDataBtn, "移动数据表", "移动数据表", B::MoveData},
    };
    QList<NSButtonEx*> row;
    for (const Spec& spec : specs) {
        *spec.box = addCheckBoxWithFrame(QRect(), QString::fromUtf8(spec.toolTip), QString::fromUtf8(spec.image),
                                         spec.id);
        row.append(*spec.box);
    }
    rotateTypeBtn = addButtonWithFrame(QRect(), QStringLiteral("自由旋转"), QStringLiteral("自由旋转"),
                                       [this] { m_model->OnBtnClickedRotateType(); });
    rotateTypeBtn->setParent(stackView);
    row.append(rotateTypeBtn);
    saveSchemeBtn = addCheckBoxWithFrame(QRect(), QStringLiteral("保存方案"), QStringLiteral("save_scheme"),
                                         B::SaveScheme);
    row.append(saveSchemeBtn);
    for (NSButtonEx* control : row) {
        control->setFixedSize(kToolSize, kToolSize);
        m_row->addWidget(control);
    }
}

void RivelaAbovePane::showMenuBar()
{
    initRightMenuBar();
}

void RivelaAbovePane::initRightMenuBar()
{
    if (!menuRightBtn) {
        menuRightBtn = addButtonWithFrame(QRect(0, 0, kMenuButtonSize, kMenuButtonSize), QStringLiteral(""),
                                          QStringLiteral("左"), [this] { OnBnClickedShowSplite(); });
        menuLeftBtn = addButtonWithFrame(QRect(0, 0, kMenuButtonSize, kMenuButtonSize), QStringLiteral(""),
                                         QStringLiteral("大2"), [this] { OnBnClickedFullScreen(); });
    }
    menuRightBtn->show();
    menuLeftBtn->hide();
    reposMenuBar();
}

void RivelaAbovePane::reposMenuBar()
{
    if (!menuRightBtn)
        return;
    const int y = (height() - kMenuButtonSize) / 2;
    const int rightX = width() - 10 - kMenuButtonSize;
    menuRightBtn->move(rightX, y);
    menuLeftBtn->move(rightX - 10 - kMenuButtonSize, y);
    menuRightBtn->raise();
    menuLeftBtn->raise();
}

void RivelaAbovePane::OnBnClickedShowSplite()
{
    if (menuDelegate)
        menuDelegate->OnBnClickedShowSplite();
}

void RivelaAbovePane::OnBnClickedFullScreen()
{
    if (menuDelegate)
        menuDelegate->OnBnClickedFullScreen();
}

void RivelaAbovePane::syncBoxes()
{
    for (int i = 0; i < RivelaAboveModel::kBoxCount; ++i) {
        const auto b = RivelaAboveModel::Box(i);
        NSCheckBoxEx* check = m_boxes[b];
        if (!check)
            continue;
        if (check->isChecked() != m_model->isChecked(b) || check->isEnable() != m_model->isEnabled(b)) {
            check->setChecked(m_model->isChecked(b));
            check->setEnable(m_model->isEnabled(b));
        }
    }
    if (targetDesignBtn)
        targetDesignBtn->setVisible(!m_model->isApproveSchemeStep());
}
