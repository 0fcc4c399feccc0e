// SPDX-License-Identifier: GPL-3.0-or-later
// The design window of the main window's second tab: opens the case handed to it on
// a worker behind a loading view, answers the document manager (rebuilding the 3-D
// view, the side panes and the bars, releasing them before a document closes,
// alerting open failures), hosts the side panes on the right and keeps the active
// pane the 3-D view's mouse goes to, and arranges its four spaces (see RVDMLayout).
// GUI thread only, but for the open itself.
#pragma once

#include "app/design/RVDMLayout.h"
#include "app/design/RVDesignBarPorts.h"
#include "app/design/RivelaView.h"
#include "app/shell/panes/InfoDlg.h"
#include "app/shell/panes/QvMenuBar.h"
#include "app/shell/widgets/LoadingView.h"
#include "app/shell/widgets/RVToolBar.h"
#include "app/shell/window/ShellSubsystems.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>


class RVDesignViewController : public RVDMViewController,
                               public InfoDlgDelegate,
                               public RivelaViewHost,
                               public RivelaMenuBarDelegate,
                               public RVDMLayoutHost {
public:
    RVDesignViewController();
    ~RVDesignViewController() override;

    // Pane hosts, then the view tree with both bars; loads the root view.
    void initialize() override;
    QWidget* view() override;
    void setToolBar(RVToolBar* bar) override { m_toolBar = bar; }
    bool hasViewDidLoad() const { return m_hasViewDidLoad; }

    // Opening and closing.
    void setCaseInfo(std::shared_ptr<RVCaseInfo> info) override;
    const std::shared_ptr<RVCaseInfo>& caseInfo() const { return m_caseInfo; }
    void closeOpenAll() override;
    void willSwitchNewCase() override { closeOpenAll(); }
    void closeDocument();
    void reloadModelView() override;
    void reloadScheme() override;
    void watchThreeModel() override;
    void showLoadingView();
    void hideLoadingView();
    LoadingView* loadingView() const { return m_loadingView; }
    // The document manager's reports.
    void managerWillCloseDocumentByID(const QString&) override { closeDocument(); }
    void managerWillDownloadFileByID(const QString&, quint64) override {}
    void managerOpenDocumentFailerByID(const QString& id, quint64 modelType, int failerType) override;

    // Side panes.
    void setActivePane(int id) override;
    QvPane* getActivePane() override { return m_pActivePaneRight; }
    void setSelectPane(int id);
    void paneDidSelect(int id) override;
    void createPane(int id) override;
    void removePane(int id) override;
    void updatePane(int id);
    void reloadInfoDlgMenu();
    void reloadAuxPane();
    void clearAuxPane();
    void setAllowedEnabled(bool enabled);
    void OnBtnClickedScheme();
    InfoDlg& leftHost() { return *m_infoDlgLeft; }
    InfoDlg& rightHost() { return *m_infoDlgRight; }
    QvMenuBar* paneMenuBar();

    // Views for the rest of the window.
    QWidget* getActiveView() override { return renderView(); }
    QWidget* getAbovePane() override;
    QWidget* getBelowPane() override;
    bool getSplitPane() override { return m_layout.splitState(); }
    bool GetFullScreen() override { return m_layout.isFullScreen(); }
    QvPane* getLeftActivePane() { return nullptr; }
    void updateRenderView() override;
    void exportOS() override;
    void UpdateTabBarPane(const QRect&) override {}
    void refreshWeb() {}
    QString getWindowTitle();
    RivelaView* renderView();
    // The view held now, without making one.
    RivelaView* heldRenderView() const { return m_renderView; }
    RVDesignToolBarPort* auxToolBar();
    RVStepBarPort* treatStepToolBar();

    // The window's arrangement.
    RVDMLayout& layout() { return m_layout; }
    void setSpace(std::uint64_t s) { m_layout.setSpace(s); }
    void showSpace(std::uint64_t s) { m_layout.showSpace(s); }
    void hideSpace(std::uint64_t s) { m_layout.hideSpace(s); }
    void OnBnClickedShowSplite() override { m_layout.OnBnClickedShowSplite(); }
    void OnBnClickedFullScreen() override { m_layout.OnBnClickedFullScreen(); }
    void showBelowPane(bool shown);
    QWidget* topBox() const { return m_topBox; }
    QWidget* leftBox() const { return m_leftBox; }
    QWidget* rightContainerView() const { return m_rightContainerView; }
    QWidget* bottomBox() const { return m_bottomBox; }
    void applyLayout();

    // RivelaViewHost
    RVDesignToolBarPort* viewAbovePane() override { return auxToolBar(); }
    RVStepBarPort* viewBelowPane() override { return treatStepToolBar(); }
    // RVDMLayoutHost
    RVDesignToolBarPort* layoutToolBar() override { return auxToolBar(); }
    int layoutActivePaneId() override;
    double layoutRootWidth() override;
    void layoutSetRenderSplit(bool split) override;
    void layoutUpdatePaneFullScreen(bool fullScreen) override;
    void layoutChanged() override { applyLayout(); }

private:
    class Root;
    class Listener;
    // The root view and its boxes, without loading.
    void BuildTree();
    void initInfoDlg();
    void initSubViews();
    void viewDidLoad();
    void setupCustomConstraints();
    void ShowInLeft(RivelaView* view);

    std::shared_ptr<Listener> m_listener;
    std::shared_ptr<RVCaseInfo> m_caseInfo;
    bool m_hasViewDidLoad = false;
    RVDMLayout m_layout;
    QPointer<RVToolBar> m_toolBar;
    QPointer<QWidget> m_root;
    QWidget* m_topBox = nullptr;
    QWidget* m_centerContainerView = nullptr;
    QWidget* m_leftBox = nullptr;
    QWidget* m_rightContainerView = nullptr;
    QWidget* m_rightTabBox = nullptr;
    QWidget* m_rightPaneBox = nullptr;
    QWidget* m_bottomBox = nullptr;
    std::unique_ptr<InfoDlg> m_infoDlgLeft;
    std::unique_ptr<InfoDlg> m_infoDlgRight;
    QPointer<QvMenuBar> m_paneMenuBar;
    QPointer<QvPane> m_pActivePaneRight;
    QPointer<RivelaView> m_renderView;
    RVDesignToolBarPort* m_auxToolBar = nullptr;
    QPointer<QWidget> m_auxToolBarWidget;
    RVStepBarPort* m_treatStepToolBar = nullptr;
    QPointer<QWidget> m_treatStepToolBarWidget;
    QPointer<LoadingView> m_loadingView;
};
