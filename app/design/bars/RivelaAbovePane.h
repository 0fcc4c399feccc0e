// SPDX-License-Identifier: GPL-3.0-or-later
// The design tool bar above the 3-D view: a centred row of 64 x 64 image boxes, one
// per display aid or design tool, and the split-view and full-screen buttons at the
// right edge. The boxes show the state of RivelaAboveModel (model()), which the hub
// holds as its tool bar; change states through the model, never through the boxes.
// GUI thread only.
#pragma once

#include "app/design/bars/RivelaAboveModel.h"
#include "app/design/RVDesignBarPorts.h"
#include "app/design/bars/RivelaAuxPane.h"

#include <functional>
#include <memory>

class NSButtonEx;
class NSCheckBoxEx;
class QHBoxLayout;

// Stored for the host; the bar sends it nothing.
class RivelaTabBarDelegate {
public:
    virtual ~RivelaTabBarDelegate() = default;
};

class RivelaAbovePane : public RivelaAuxPane {
    Q_OBJECT
public:
    static constexpr int kToolSize = 64;
    static constexpr int kMenuButtonSize = 32;

    // Registers its model as the hub's tool bar and builds the row.
    explicit RivelaAbovePane(QWidget* parent = nullptr);

    void setupSubviews();
    NSCheckBoxEx* addCheckBoxWithFrame(const QRect& frame, const QString& toolTip, const QString& imageName,
                                       RivelaAboveModel::Box box);
    NSButtonEx* addButtonWithFrame(const QRect& frame, const QString& toolTip, const QString& imageName,
                                   std::function<void()> action);
    // The split-view and full-screen buttons; the full-screen one starts hidden.
    void showMenuBar();
    void initRightMenuBar();
    void reposMenuBar();
    void reposAboveBtns() { reposMenuBar(); }
    void UpdateSize() override { reposMenuBar(); }

    void reset() { m_model->reset(); }
    void resetCollisionAndGapStatus() { m_model->resetCollisionAndGapStatus(); }
    void setIsApproveSchemeStep(bool approve) { m_model->setIsApproveSchemeStep(approve); }
    bool isApproveSchemeStep() const { return m_model->isApproveSchemeStep(); }
    void setAttachBtnEnable(bool a, bool bracketBtnEnable) { m_model->setAttachBtnEnable(a, bracketBtnEnable); }
    bool showAttachment() const { return m_model->showAttachment(); }
    bool showCompare() const { return m_model->showCompare(); }
    QString GetSchemeTitle() const { return RivelaAboveModel::GetSchemeTitle(); }
    QString GetCaseNo() const { return RivelaAboveModel::GetCaseNo(); }

    void OnBnClickedShowSplite();
    void OnBnClickedFullScreen();
    void OnBtnClickedCephalometry() {}

    void setUpdateSplitViewHandler(std::function<void()> handler)
    {
        m_model->updateSplitViewHandler = std::move(handler);
    }
    // Not owned; the host clears them before it goes.
    void setMenuDelegate(RivelaMenuBarDelegate* delegate) { menuDelegate = delegate; }
    void setTabDelegate(RivelaTabBarDelegate* delegate) { tabDelegate = delegate; }

    const std::shared_ptr<RivelaAboveModel>& model() const { return m_model; }
    NSCheckBoxEx* box(RivelaAboveModel::Box b) const { return m_boxes[b]; }

    QWidget* stackView = nullptr;
    NSCheckBoxEx* showFDIBtn = nullptr;
    NSCheckBoxEx* showSectionBtn = nullptr;
    NSCheckBoxEx* showCollisionBtn = nullptr;
    NSCheckBoxEx* showGapBtn = nullptr;
    NSCheckBoxEx* showIPRBtn = nullptr;
    NSCheckBoxEx* showAttBtn = nullptr;
    NSCheckBoxEx* showCompareBtn = nullptr;
    NSCheckBoxEx* showGridBtn = nullptr;
    NSCheckBoxEx* distMeasureBtn = nullptr;
    NSCheckBoxEx* targetDesignBtn = nullptr;
    NSCheckBoxEx* bracketDesignBtn = nullptr;
    NSCheckBoxEx* showMoveDataBtn = nullptr;
    NSButtonEx* rotateTypeBtn = nullptr;
    NSCheckBoxEx* cephalometryBtn = nullptr; // never made
    NSCheckBoxEx* saveSchemeBtn = nullptr;
    NSButtonEx* menuRightBtn = nullptr;
    NSButtonEx* menuLeftBtn = nullptr;
    RivelaMenuBarDelegate* menuDelegate = nullptr;
    RivelaTabBarDelegate* tabDelegate = nullptr;

private:
    // The boxes show the model's states.
    void syncBoxes();

    std::shared_ptr<RivelaAboveModel> m_model;
    std::array<NSCheckBoxEx*, RivelaAboveModel::kBoxCount> m_boxes{};
    QHBoxLayout* m_row = nullptr;
};
