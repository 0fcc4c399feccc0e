// SPDX-License-Identifier: GPL-3.0-or-later
// The design window's controller with recording bars and panes: opening cases from
// the stand-in, the panes a case gets, selection, closing and the failure alerts.
#include "app/design/RVDesignViewController.h"
#include "app/design/tests/DesignTestSupport.h"
#include "app/design/tests/FakeBars.h"
#include "app/platform/Alerts.h"
#include "app/service/RVCaseManager.h"
#include "app/service/RVHttpTransfer.h"

#include <QMessageBox>

#include <gtest/gtest.h>

using namespace designtest;

namespace {

class ViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVModelManager::shared().ResetForTests();
        ResetStandin();
        RVTimeouts().transferMs = 5000;
        RegisterFakeBars();
        RegisterRecordingPanes();
        BarLog().clear();
        platform::SetAlertResponder([this](QMessageBox& box) {
            alerts << box.text();
            return 0;
        });
        controller = std::make_unique<RVDesignViewController>();
    }
    void TearDown() override
    {
        if (controller)
            WaitFor([&] { return !controller->loadingView(); }, 30000);
        controller.reset();
        platform::SetAlertResponder({});
        UnregisterRecordingPanes();
        UnregisterFakeBars();
        RVCaseManager::shared().clear();
        RVModelManager::shared().ResetForTests();
    }
    void Open(const std::shared_ptr<RVCaseInfo>& info)
    {
        controller->setCaseInfo(info);
        ASSERT_TRUE(WaitFor([&] { return !controller->loadingView(); }, 60000));
    }
    QList<int> Ids() { return controller->rightHost().paneIds(); }
    int ActiveId() { return controller->getActivePane() ? controller->getActivePane()->GetID() : 0; }

    std::unique_ptr<RVDesignViewController> controller;
    QStringList alerts;
};

TEST_F(ViewControllerTest, OpensTheDemoCaseBehindTheLoadingView)
{
    controller->initialize();
    EXPECT_TRUE(controller->hasViewDidLoad());
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 1u);
    BarLog().clear();
    const auto info = Case(kRVModelStepAnimation, 7004, "demo.OS");
    controller->setCaseInfo(info);
    // The open runs on a worker: the loading view stands meanwhile.
    ASSERT_NE(controller->loadingView(), nullptr);
    EXPECT_EQ(controller->loadingView()->parentWidget(), controller->view());
    EXPECT_EQ(RVCaseManager::shared().caseInfo(), info);
    ASSERT_TRUE(WaitFor([&] { return !controller->loadingView(); }, 60000));

    EXPECT_EQ(controller->caseInfo(), info);
    EXPECT_TRUE(alerts.isEmpty()) << alerts.join('|').toStdString();
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8}));
    EXPECT_EQ(ActiveId(), 6);
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 15u);
    ASSERT_NE(controller->heldRenderView(), nullptr);
    EXPECT_EQ(controller->leftHost().contentView(), controller->heldRenderView());
    const QStringList log = BarLog();
    EXPECT_TRUE(log.contains("above setAttachBtnEnable 1 0"));
    EXPECT_TRUE(log.contains("above setIsApproveSchemeStep 0"));
    EXPECT_TRUE(log.contains(QStringLiteral("below up %1").arg(kDemoSteps - 1))) << log.join('|').toStdString();
    EXPECT_TRUE(log.contains("below createAuxPane"));
    // The icon strip lists the non-dummy panes in order.
    EXPECT_EQ(controller->paneMenuBar()->iconItems().size(), 3);
}

TEST_F(ViewControllerTest, PanesOfACaseByKindServiceAndApproval)
{
    struct Row {
        quint64 kind;
        const char* file;
        const char* service;
        bool approve;
        QList<int> panes;
        int active;
    };
    const Row rows[] = {
        {kRVModelStepAnimation, "demo.OS", "", false, {6, 7, 8}, 6},
        {kRVModelStepAnimation, "demo.OS", "3", false, {6, 8}, 6},
        {kRVModelDigital, "demo-model.zip", "", false, {6}, 6},
        {kRVModelStepAnimation, "demo.OS", "", true, {6, 7, 8, 11}, 11},
    };
    controller->initialize();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        BarLog().clear();
        auto info = Case(row.kind, 7004, row.file);
        info->serviceType = QString::fromUtf8(row.service);
        info->approveSchemeStep = row.approve;
        Open(info);
        EXPECT_EQ(Ids(), row.panes);
        EXPECT_EQ(ActiveId(), row.active);
        EXPECT_EQ(BarLog().contains(QStringLiteral("pane11 setCaseNo %1 %2").arg(info->caseNo, info->casePhaseId)),
                  row.approve);
        EXPECT_TRUE(BarLog().contains(QStringLiteral("above setIsApproveSchemeStep %1").arg(row.approve)));
    }
}

TEST_F(ViewControllerTest, OnlyBracketCasesGetBracketDesignAndLoseAttachments)
{
    controller->initialize();
    Open(Case(kRVModelSchemeBracket, 7005, "demo-3.RVS"));
    EXPECT_TRUE(alerts.isEmpty()) << alerts.join('|').toStdString();
    EXPECT_TRUE(BarLog().contains("above setAttachBtnEnable 0 1"));
    EXPECT_FALSE(BarLog().contains("above setAttachBtnEnable 1 0"));
}

TEST_F(ViewControllerTest, ASecondCaseWhileLoadingIsRefused)
{
    controller->initialize();
    const auto first = Case(kRVModelStepAnimation, 7004, "demo.OS");
    controller->setCaseInfo(nullptr);
    EXPECT_EQ(controller->caseInfo(), nullptr);
    EXPECT_EQ(controller->loadingView(), nullptr);
    controller->setCaseInfo(first);
    controller->setCaseInfo(Case(kRVModelDigital, 7001, "demo-model.zip"));
    EXPECT_EQ(alerts, QStringList({"正在加载其他模型，请等待！"}));
    EXPECT_EQ(controller->caseInfo(), first);
    ASSERT_TRUE(WaitFor([&] { return !controller->loadingView(); }, 60000));
    EXPECT_EQ(RVModelManager::shared().currentDocument()->caseInfo, first);
}

TEST_F(ViewControllerTest, ACaseHandedInBeforeTheViewLoadedOpensWhenItLoads)
{
    const auto info = Case(kRVModelStepAnimation, 7004, "demo.OS");
    controller->setCaseInfo(info);
    EXPECT_EQ(controller->caseInfo(), info);
    EXPECT_EQ(controller->loadingView(), nullptr);
    controller->initialize();
    EXPECT_NE(controller->loadingView(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return !controller->loadingView(); }, 60000));
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8}));
}

TEST_F(ViewControllerTest, FailuresAlertAndClearAllButSchemeKinds)
{
    controller->initialize();
    // A scheme case whose scheme file is missing: the model opened first stays.
    Open(Case(kRVModelSchemeBackEnd, 7002, "missing.RVS", "1"));
    EXPECT_EQ(alerts, QStringList({"文件下载失败"}));
    EXPECT_NE(controller->heldRenderView(), nullptr);
    EXPECT_EQ(ActiveId(), 6);

    struct Row {
        quint64 kind;
        int failure;
        const char* message; // "" for none
        bool cleared;
    };
    const Row rows[] = {
        {1047, 4, "文件下载失败", false}, {1048, 2, "不兼容的文件版本", false}, {1050, 9, "", false},
        {1041, 1, "文件打开失败", true},  {1049, 3, "暂未支持的文件版本", true}, {1041, 5, "文件打开异常", true},
        {1041, 0, "", true},
    };
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.failure);
        // The document stays open: the window is rebuilt on it as after an open.
        controller->reloadModelView();
        controller->watchThreeModel();
        alerts.clear();
        controller->managerOpenDocumentFailerByID(QString(), row.kind, row.failure);
        EXPECT_EQ(alerts, *row.message ? QStringList({QString::fromUtf8(row.message)}) : QStringList());
        EXPECT_EQ(controller->heldRenderView() == nullptr, row.cleared);
        EXPECT_EQ(Ids().isEmpty(), row.cleared);
        EXPECT_EQ(controller->getActivePane() == nullptr, row.cleared);
    }
}

TEST_F(ViewControllerTest, SelectionRules)
{
    controller->initialize();
    for (int id : {6, 7, 8, 11})
        controller->createPane(id);
    EXPECT_EQ(controller->getActivePane(), nullptr) << "created panes are not selected";
    controller->setActivePane(10);
    EXPECT_EQ(ActiveId(), 10);
    controller->setActivePane(9);
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8, 11, 9}));
    EXPECT_EQ(ActiveId(), 9);

    // A dummy pane becomes active while the box keeps the pane it showed.
    controller->setActivePane(3);
    EXPECT_EQ(ActiveId(), 3);
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8, 11, 3}));
    EXPECT_TRUE(controller->rightHost().IsPaneIDSelected(9) || !controller->rightHost().GetPaneByID(9));

    controller->setActivePane(0);
    EXPECT_EQ(controller->getActivePane(), nullptr);
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8, 11}));

    // A pane that can be made ends absent; one that cannot changes nothing.
    controller->updatePane(9);
    controller->updatePane(12);
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8, 11}));
    controller->removePane(11);
    EXPECT_EQ(Ids(), QList<int>({6, 7, 8}));

    // Selecting 8 keeps the layout flags; 6 resets them; 5 and 12 do nothing.
    controller->layout().resetState(13, false, true);
    controller->paneDidSelect(8);
    EXPECT_EQ(ActiveId(), 8);
    EXPECT_FALSE(controller->getSplitPane());
    EXPECT_TRUE(controller->GetFullScreen());
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 15u);
    controller->paneDidSelect(5);
    controller->paneDidSelect(12);
    EXPECT_EQ(ActiveId(), 8);
    controller->paneDidSelect(6);
    EXPECT_EQ(ActiveId(), 6);
    EXPECT_TRUE(controller->getSplitPane());
    EXPECT_FALSE(controller->GetFullScreen());
    EXPECT_EQ(controller->leftHost().contentView(), controller->heldRenderView());
}

TEST_F(ViewControllerTest, ClosingReleasesPanesViewAndBoxes)
{
    controller->initialize();
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    BarLog().clear();
    QvMenuBar* strip = controller->paneMenuBar();
    controller->closeOpenAll();
    EXPECT_TRUE(Ids().isEmpty());
    EXPECT_EQ(controller->getActivePane(), nullptr);
    EXPECT_EQ(controller->heldRenderView(), nullptr);
    EXPECT_TRUE(BarLog().contains("pane6 Clear") && BarLog().contains("pane8 Clear"));
    EXPECT_TRUE(BarLog().contains("above reset"));
    // The strip still shows the old icons; clicking one selects nothing.
    EXPECT_EQ(strip->iconItems().size(), 3);
    controller->rightHost().paneMenuBar(*strip, 1);
    EXPECT_EQ(controller->getActivePane(), nullptr);
    EXPECT_TRUE(Ids().isEmpty());

    // The document manager's close: the side buttons are disabled too.
    Open(Case(kRVModelStepAnimation, 7004, "demo.OS"));
    auto* bar = static_cast<FakeToolBar*>(controller->auxToolBar());
    EXPECT_TRUE(bar->right->isEnable());
    RVModelManager::shared().closeDocument();
    EXPECT_FALSE(bar->right->isEnable());
    EXPECT_FALSE(bar->left->isEnable());
    EXPECT_TRUE(Ids().isEmpty());
    EXPECT_EQ(controller->heldRenderView(), nullptr);
}

TEST_F(ViewControllerTest, TargetDesignCheckedMakesTheSplitHandlerShowEverything)
{
    controller->initialize();
    auto* bar = static_cast<FakeToolBar*>(controller->auxToolBar());
    ASSERT_TRUE(bar->splitHandler);
    controller->setSpace(11);
    bar->splitHandler();
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 11u);
    bar->targetDesign = true;
    bar->splitHandler();
    EXPECT_EQ(controller->layout().currentSpaceStyle(), 15u);
    EXPECT_EQ(bar->menuDelegate, controller.get());
    // The window lays the boxes out by the layout.
    controller->view()->resize(1600, 1000);
    controller->applyLayout();
    EXPECT_EQ(controller->rightContainerView()->geometry(), QRect(1200, 0, 400, 872));
    EXPECT_EQ(controller->bottomBox()->geometry(), QRect(0, 936, 1600, 64));
}

} // namespace
